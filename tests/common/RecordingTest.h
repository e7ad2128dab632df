// The base of the recording tests: the private X display and sound server that the CTest
// fixture started, an offscreen Qt screen of the same size, and processes to kill.
#pragma once

#include "ModalAnswerer.h"
#include "WindowFixture.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>

class QProcess;

namespace rectest
{

// Reads DISPLAY, PULSE_SERVER and SCREEN_SIZE from the session the fixture started
// (VISTREL_AV_DIR/env; the Wayland desktop's variables from VISTREL_WAYLAND_DIR/env when that
// is set) into this process's environment, points HOME at `home` (default: a temporary folder)
// and gives Qt's offscreen platform one screen of the screen's size. Call before the
// QApplication exists. False, with the reason in `why`, when there is no session.
bool prepareEnvironment(QString* why, const QString& home = QString());

// Sends SIGKILL to `pid`.
void killNow(qint64 pid);
// True when process `pid` has ended (gone, or a zombie nobody reaped yet).
bool processGone(qint64 pid);
// Runs the stand-in program a test can kill (media_record_helper, beside the test) recording
// into `saveDir` with the settings in `iniDir` and HOME `home`, kills it (SIGKILL) `recordMs`
// after its recording is live and waits up to 10 s for its tool to end. Returns the one working
// file left in `saveDir`; empty, with the reason in `why`, when a step fails. A tool that
// outlives the wait is killed too.
QString recordThenKillProgram(const QString& saveDir, const QString& iniDir, const QString& home,
                              int recordMs, QString* why);

// A recording started through the record page into "Screen Save" of a fresh folder; every box
// the program shows is answered and kept in `boxes`.
struct PageRecording {
    testui::ModalAnswerer boxes;
    QTemporaryDir tmp;
    QString saveDir = tmp.filePath(QStringLiteral("Screen Save"));
    std::unique_ptr<DRUI> window;
    // Opens the window on the record page, chooses `sound` (empty: what the page offers first)
    // and presses Record. True once the recording is live.
    bool start(const QString& sound = QString());
};

} // namespace rectest

// main() for a recording test: the environment is prepared before the QApplication, and the
// test object gets the verdict (bool ready, QString why) in its constructor.
#define RECTEST_MAIN(TestClass)                                                                    \
    int main(int argc, char** argv)                                                                \
    {                                                                                              \
        QString why;                                                                               \
        const bool ready = rectest::prepareEnvironment(&why);                                      \
        QApplication app(argc, argv);                                                              \
        QApplication::setQuitOnLastWindowClosed(false);                                            \
        TestClass test(ready, why);                                                                \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
