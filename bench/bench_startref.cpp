// The start-up benchmark's reference: the least a Qt Widgets program does to show a window of
// Vistrel's size. Writes "window shown" to standard error when it is.
#include <QApplication>
#include <QMainWindow>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setFixedSize(1000, 600);
    window.show();
    std::fprintf(stderr, "window shown\n");
    return app.exec();
}
