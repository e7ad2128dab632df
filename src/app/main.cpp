// Entry point: the elevating launcher, or the application proper with one argument.
#include "app/DRUI.h"
#include "app/LaunchMode.h"

#include <QApplication>
#include <QFont>
#include <QLoggingCategory>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>

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

int runLauncher()
{
    const QString pkexec = QStandardPaths::findExecutable(QStringLiteral("pkexec"));
    if (pkexec.isEmpty()) {
        std::fprintf(stderr,
                     "Vistrel: pkexec was not found; to start without elevation, run: "
                     "%s start\n",
                     QCoreApplication::applicationFilePath().toUtf8().constData());
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

    window = new DRUI(nullptr, {});
    window->Init();
    window->show();
    qCDebug(lcStart) << "window shown, pid" << QCoreApplication::applicationPid();
    // A signal that came while Init waited for a run found no event loop to end.
    if (!quitAsked)
        app.exec();
    restoreQuitSignals();
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
    if (launchModeFor(argc) == LaunchMode::Application)
        return runApplication(argc, argv);
    // The launcher needs no display.
    QCoreApplication app(argc, argv);
    return runLauncher();
}
