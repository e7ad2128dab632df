// A window for the tests: settings in a private file, the save folder given, and the main() of
// a widget test (offscreen, with a private HOME and no reachable sound server unless the test
// brings its own).
#pragma once

#include "app/DRUI.h"

#include <QApplication>
#include <QTemporaryDir>

#include <memory>

class RecordingSession;

namespace testui
{

// An initialised, shown window whose settings live in `iniDir` and whose save folder is
// `saveDir`. `recordPage`: the record page is shown through the Record tile (which builds the
// tray) and its sound choices are listed.
std::unique_ptr<DRUI> makeWindow(const QString& iniDir, const QString& saveDir,
                                 bool recordPage = false);

// The window's recording session.
RecordingSession& sessionOf(const DRUI& window);
// Waits (event loop running) until the recording has delivered its first picture.
bool waitUntilLive(const DRUI& window, int ms = 30000);
// Waits until no recording is wanted and the session has nothing left to do.
bool waitUntilIdle(const DRUI& window, int ms = 60000);

// Plain files of `dir`, hidden ones included, sorted by name.
QStringList filesIn(const QString& dir);

} // namespace testui

// main() for a widget test: a private HOME and runtime folder, no reachable sound server and
// the offscreen platform before the application exists, so a window never touches the user's
// files or devices.
#define VISTREL_UI_TEST_MAIN(TestClass)                                                            \
    int main(int argc, char* argv[])                                                               \
    {                                                                                              \
        QTemporaryDir home;                                                                        \
        qputenv("HOME", home.path().toUtf8());                                                     \
        qputenv("XDG_RUNTIME_DIR", home.path().toUtf8());                                          \
        qputenv("QT_QPA_PLATFORM", "offscreen");                                                   \
        qputenv("PULSE_SERVER", "unix:" + home.path().toUtf8() + "/no-server");                    \
        QApplication app(argc, argv);                                                              \
        QApplication::setQuitOnLastWindowClosed(false);                                            \
        Q_INIT_RESOURCE(drui);                                                                     \
        TestClass test;                                                                            \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
