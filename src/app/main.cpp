// Entry point: the elevating launcher, or the application proper with one argument.
#include "app/DRUI.h"
#include "app/LaunchMode.h"

#include <QApplication>
#include <QFont>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace
{

int runLauncher()
{
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (pkexec.isEmpty()) {
        std::fprintf(stderr,
                     "Vistrel: pkexec was not found; to start without elevation, run: "
                     "%s start\n",
                     qPrintable(QCoreApplication::applicationFilePath()));
        return 0;
    }
    QProcess::startDetached(pkexec,
                            elevatedRelaunchArguments(QProcessEnvironment::systemEnvironment(),
                                                      QCoreApplication::applicationFilePath()));
    return 0;
}

int runApplication(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QFont::insertSubstitution(QStringLiteral("Calibri"), QStringLiteral("Carlito"));
    // The window ends the program when it closes; a message box closing while the window is
    // hidden for a recording must not.
    QApplication::setQuitOnLastWindowClosed(false);

    const int out = ::open("Out.txt", O_RDWR | O_CREAT, 0644);
    if (out >= 0)
        ::dup2(out, STDERR_FILENO);

    auto* window = new DRUI(nullptr, {});
    window->Init();
    window->show();
    app.exec();

    if (out >= 0) {
        ::close(out);
        ::unlink("Out.txt");
    }
    delete window;
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (launchModeFor(argc) == LaunchMode::Application)
        return runApplication(argc, argv);
    // The launcher needs no display.
    QCoreApplication app(argc, argv);
    return runLauncher();
}
