// Entry point: the launcher, or the application proper with one argument.
#include "app/DRUI.h"
#include "app/LaunchMode.h"
#include "app/SingleInstance.h"
#include "app/UserFolders.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QLoggingCategory>
#include <QProcess>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace
{

Q_LOGGING_CATEGORY(lcStart, "vistrel.start")

int g_signalPipe[2] = {-1, -1};

extern "C" void onQuitSignal(int)
{
    const int saved = errno;
    const char byte = 'q';
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

// SIGTERM (a logout, a service stop) and SIGINT (Ctrl+C) end the program the way the window's
// close button does, so a running recording is finalised and Out.txt removed. The handler only
// writes to a pipe; the event loop does the rest.
template <typename Quit> void quitOnSignals(QObject* context, Quit quit)
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [quit] {
        char bytes[16];
        while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        quit();
    });
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

// After the event loop a second signal ends the program at once, even while the window's
// destruction waits for the tool.
void restoreQuitSignals()
{
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
}

// Relaunches the program as the same user, with the same environment, detached, with "start",
// from the user's state folder (so its log lands there, not in a menu's working folder).
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

int runApplication(int argc, char* argv[])
{
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
    quitOnSignals(&app, [&window, &quitAsked] {
        quitAsked = true;
        if (window)
            window->close();
        QCoreApplication::quit();
    });

    const int out = ::open("Out.txt", O_RDWR | O_CREAT, 0644);
    if (out >= 0)
        ::dup2(out, STDERR_FILENO);
    else
        qCWarning(lcStart) << "Out.txt cannot be opened; standard error stays where it was";

    QString error;
    if (adoptEarlierSettings(settingsFileIn(QCoreApplication::applicationDirPath()),
                             userSettingsFile(), &error) == SettingsAdoption::Adopted)
        qCInfo(lcStart) << "settings of an earlier version moved to" << userSettingsFile();
    else if (!error.isEmpty())
        qCWarning(lcStart) << "earlier settings not moved:" << error;

    window = new DRUI(nullptr, {});
    QApplication::setWindowIcon(appIcon());
    QObject::connect(&instance, &SingleInstance::activationRequested, window, [window] {
        qCInfo(lcStart) << "a second start asked for the window";
        window->showNormal();
        window->raise();
        window->activateWindow();
        // A box over the window stays in front of it.
        if (QWidget* modal = QApplication::activeModalWidget()) {
            modal->raise();
            modal->activateWindow();
        }
    });
    window->Init();
    window->show();
    qCDebug(lcStart) << "window shown, pid" << QCoreApplication::applicationPid();
    // A signal that came while Init waited for a run found no event loop to end.
    if (!quitAsked)
        app.exec();
    restoreQuitSignals();
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
