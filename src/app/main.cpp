// Entry point: the launcher, or the application proper with one argument.
#include "app/DRUI.h"
#include "app/EndOnSignals.h"
#include "app/LaunchMode.h"
#include "app/SingleInstance.h"
#include "app/UserFolders.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QIcon>
#include <QLoggingCategory>
#include <QProcess>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace
{

Q_LOGGING_CATEGORY(lcStart, "vistrel.start")

const char kNoDisplay[] =
    "there is no display to show the window on (neither DISPLAY nor WAYLAND_DISPLAY is set)";

// Why the window would have nowhere to show, or empty when it has: an X or Wayland display, or
// a platform chosen by the user (QT_QPA_PLATFORM). Without one Qt aborts, with advice to
// reinstall; so it does for an X display that is gone or a screen the display does not have.
QString displayProblem()
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") ||
        !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        return {};
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty())
        return QString::fromLatin1(kNoDisplay);
    int screen = 0;
    xcb_connection_t* connection = xcb_connect(display.constData(), &screen);
    const int error = xcb_connection_has_error(connection);
    xcb_disconnect(connection);
    if (error == XCB_CONN_CLOSED_INVALID_SCREEN)
        return QStringLiteral("the X display %1 has no screen %2")
            .arg(QString::fromLocal8Bit(display))
            .arg(screen);
    if (error != 0)
        return QStringLiteral("the X display %1 cannot be reached")
            .arg(QString::fromLocal8Bit(display));
    return {};
}

int runLauncher()
{
    // A running instance only has to show its window.
    if (SingleInstance(SingleInstance::defaultFolder()).activateRunning(5000))
        return 0;
    const QString executable = QCoreApplication::applicationFilePath();
    const auto fail = [&executable](const QString& why) {
        std::fprintf(stderr, "Vistrel: cannot start %s: %s\n", executable.toUtf8().constData(),
                     why.toUtf8().constData());
        return 1;
    };
    if (const QString problem = displayProblem(); !problem.isEmpty())
        return fail(problem);
    const QString state = stateFolderFor(QProcessEnvironment::systemEnvironment());
    if (state.isEmpty())
        return fail(QStringLiteral("neither XDG_STATE_HOME nor HOME names a folder"));
    QString error;
    if (!makePrivateFolder(state, &error))
        return fail(error);
    QProcess relaunch;
    relaunch.setProgram(executable);
    relaunch.setArguments({QStringLiteral("start")});
    relaunch.setWorkingDirectory(state);
    if (!relaunch.startDetached())
        return fail(relaunch.errorString());
    return 0;
}

QIcon appIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128})
        icon.addFile(QStringLiteral(":/icon/org.vistrel.Vistrel-%1.png").arg(size));
    return icon;
}

// Settings an earlier version kept beside the executable move to the user's config folder.
void adoptSettingsOfEarlierVersion()
{
    QString error;
    if (adoptEarlierSettings(settingsFileIn(QCoreApplication::applicationDirPath()),
                             userSettingsFile(), &error) == SettingsAdoption::Adopted)
        qCInfo(lcStart) << "settings of an earlier version moved to" << userSettingsFile();
    else if (!error.isEmpty())
        qCWarning(lcStart) << "earlier settings not moved:" << error;
}

// What a second start asks of this one: the window in front, and any box over it in front of it.
void bringForward(QWidget* window)
{
    qCInfo(lcStart) << "a second start asked for the window";
    window->showNormal();
    window->raise();
    window->activateWindow();
    if (QWidget* modal = QApplication::activeModalWidget()) {
        modal->raise();
        modal->activateWindow();
    }
}

int runApplication(int argc, char* argv[])
{
    if (const QString problem = displayProblem(); !problem.isEmpty()) {
        std::fprintf(stderr, "Vistrel: %s\n", problem.toUtf8().constData());
        return 1;
    }
    QApplication app(argc, argv);
    // A second start only brings this one's window forward; it never touches Out.txt.
    SingleInstance instance(SingleInstance::defaultFolder());
    switch (instance.claim()) {
    case SingleInstance::Claim::Primary:
        break;
    case SingleInstance::Claim::Activated:
        return 0;
    case SingleInstance::Claim::Failed:
        std::fprintf(stderr, "Vistrel: %s\n", instance.errorString().toUtf8().constData());
        return 1;
    }
    QFont::insertSubstitution(QStringLiteral("Calibri"), QStringLiteral("Carlito"));
    // The window ends the program when it closes; a message box closing while the window is
    // hidden for a recording must not.
    QApplication::setQuitOnLastWindowClosed(false);

    DRUI* window = nullptr;
    bool quitAsked = false;
    // Before Out.txt exists, so whoever sees the file may already ask the program to quit.
    EndOnSignals(
        &app, [&window] { return window; }, [&quitAsked] { quitAsked = true; });

    // A log still there is that of a run that crashed or was killed (a normal end removes it):
    // kept as Out.previous.txt, and never written over. Anything else there is no log to keep.
    bool kept = !QFileInfo(QStringLiteral("Out.txt")).isFile();
    if (!kept) {
        QFile::remove(QStringLiteral("Out.previous.txt"));
        kept = QFile::rename(QStringLiteral("Out.txt"), QStringLiteral("Out.previous.txt"));
    }
    const int out = ::open("Out.txt", O_WRONLY | O_CREAT | (kept ? O_TRUNC : O_APPEND), 0644);
    if (out >= 0)
        ::dup2(out, STDERR_FILENO);
    else
        qCWarning(lcStart) << "Out.txt cannot be opened; standard error stays where it was";

    adoptSettingsOfEarlierVersion();
    window = new DRUI(nullptr, {});
    QApplication::setWindowIcon(appIcon());
    QObject::connect(&instance, &SingleInstance::activationRequested, window,
                     [window] { bringForward(window); });
    window->Init();
    window->show();
    qCDebug(lcStart) << "window shown, pid" << QCoreApplication::applicationPid();
    // A signal that came while Init waited for a run found no event loop to end.
    if (!quitAsked)
        app.exec();
    RestoreDefaultSignals();
    // From here a later start waits for the lock (and says so if it waits too long) instead of
    // asking a window that is closing, maybe finishing a recording first.
    instance.stopListening();
    qCDebug(lcStart) << "event loop ended";

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
    // Names the settings folder (~/.config/Vistrel), the window class and the desktop entry.
    QCoreApplication::setApplicationName(QStringLiteral("Vistrel"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.vistrel.Vistrel"));
    if (launchModeFor(argc) == LaunchMode::Application)
        return runApplication(argc, argv);
    // The launcher needs no display.
    QCoreApplication app(argc, argv);
    return runLauncher();
}
