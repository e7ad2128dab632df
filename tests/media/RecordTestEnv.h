// Shared set-up of the recording tests: the private X display and sound server, an offscreen
// Qt screen of the same size, a window that records into a given folder, and message boxes
// answered as they appear.
#pragma once

#include "app/DRUI.h"

#include <QObject>
#include <QStringList>
#include <QTimer>

#include <memory>

namespace rectest
{

// Reads DISPLAY, PULSE_SERVER and SCREEN_SIZE from the session that the CTest fixture started
// (VISTREL_AV_DIR/env) into this process's environment, points HOME at a private folder and
// gives Qt's offscreen platform one screen of the X screen's size. Call before the
// QApplication exists. `home` is made and used as HOME (default: a temporary folder). False,
// with the reason in `why`, when there is no session.
bool prepareEnvironment(QString* why, const QString& home = QString());

// Answers every message box that shows (OK) and keeps its title and text.
class BoxAnswerer final : public QObject
{
    Q_OBJECT
public:
    BoxAnswerer();
    QStringList texts;  // the texts of the answered boxes, in order
    QStringList titles; // their window titles

private:
    void answer();
    QTimer m_timer;
};

// A window whose settings live in `iniDir` and whose save folder is `saveDir`, initialised,
// with the record page shown through the Record tile (which builds the tray) and its sound
// choices listed.
std::unique_ptr<DRUI> makeWindow(const QString& iniDir, const QString& saveDir);

// Waits (event loop running) until the window's recording has delivered its first frame.
bool waitUntilLive(DRUI& window, int ms = 30000);

// Waits until the recording run and its finalisation have ended.
bool waitUntilIdle(DRUI& window, int ms = 60000);

// Plain files of `dir`, hidden ones included.
QStringList filesIn(const QString& dir);

// Time of the first picture a player shows, in seconds; -1 when there is none. Unlike a look at
// the first packet only, this sees past the hidden pre-roll that a finalised recording starts
// with.
double firstPictureTime(const QString& path);

// Sends SIGKILL to `pid`.
void killNow(qint64 pid);

// True when process `pid` has ended (gone, or a zombie nobody reaped yet).
bool processGone(qint64 pid);

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
