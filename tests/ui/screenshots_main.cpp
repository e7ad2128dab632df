// Shows every screen of the program in turn for scripts/screenshots: prints
// "ready NAME X Y W H" (the window's place on the screen) when a screen is painted, then waits
// for a line on standard input before the next one. Not shipped.
#include "app/DRUI.h"
#include "dialogs/MessageBox.h"
#include "dialogs/ScanUI.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <string>

namespace
{

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Announces a painted screen and waits for the caller to take its picture.
bool announce(const char* name, const QWidget& window)
{
    settle(400);
    const QRect g = window.frameGeometry();
    std::printf("ready %s %d %d %d %d\n", name, g.x(), g.y(), g.width(), g.height());
    std::fflush(stdout);
    std::string line;
    return bool(std::getline(std::cin, line));
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    auto window = std::make_unique<DRUI>();
    window->m_strIniPath = QDir::current().filePath(QStringLiteral("ScreenRecord.ini"));
    window->Init();
    window->show();

    const QString source = QStringLiteral("/home/user/Videos/2024-05-01 10-00-00.mp4");
    const QString cutFile = QStringLiteral("/home/user/Videos/Cut_2024-05-01 10-00-00.mp4");

    const std::function<void()> screens[] = {
        [&] { window->btnSlotBack(); },
        [&] { window->btnSlot(); },
        [&] {
            window->btnSlotBack();
            window->btnMontageSlot();
        },
        [&] {
            window->btnSlotBack();
            window->btnEditSlot();
        },
    };
    const char* names[] = {"home", "record", "cut", "merge"};
    for (int i = 0; i < 4; ++i) {
        screens[i]();
        if (!announce(names[i], *window))
            return 1;
    }
    window->btnSlotBack();

    {
        CMessageBox box;
        box.PlaceOver(window.get());
        box.InitInfoDialog(QStringLiteral("Cut success, file path is %1 ").arg(cutFile));
        box.show();
        if (!announce("info", *window))
            return 1;
    }
    {
        CMessageBox box;
        box.PlaceOver(window.get());
        box.InitQuestionDialog(QStringLiteral("Are you sure to cancel the the video merge?"));
        box.show();
        if (!announce("question", *window))
            return 1;
    }
    {
        SCANUI dlg;
        dlg.InitSlot(window.get());
        dlg.setGeometry(window->x() + window->width() / 4, window->y() + window->height() / 4, 500,
                        250);
        dlg.show();
        Q_EMIT window->CutProcessCallBack(45, source, cutFile, 0);
        if (!announce("progress", *window))
            return 1;
        // Leave without the outcome box: the job is only pretended.
        SCANUI::m_bIsFinished = true;
        dlg.hide();
    }
    window.reset();
    return 0;
}
