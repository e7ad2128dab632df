// SIGTERM and SIGINT end the program in whatever state it is.
#include "app/EndOnSignals.h"

#include "app/DRUI.h"
#include "dialogs/MessageBox.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace
{

Q_LOGGING_CATEGORY(lcSignals, "vistrel.start")

int g_signalPipe[2] = {-1, -1};

extern "C" void onQuitSignal(int)
{
    const int saved = errno;
    const char byte = 'q';
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

void endNow(DRUI* window)
{
    // A second signal (a double Ctrl+C, a logout's repeated request) while the first is still
    // being answered, say while a recording is saved, changes nothing: the program is ending.
    static bool ending = false;
    if (ending) {
        qCInfo(lcSignals) << "asked again to end by a signal: already ending";
        return;
    }
    ending = true;
    qCInfo(lcSignals) << "asked to end by a signal";
    // A job stops without the question its dialog would ask, and a question already open is
    // answered "no": the stop request itself ends the job.
    DRUI::m_bisFinished = true;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<CMessageBox*>(widget); box && box->isVisible())
            box->Close();
    }
    if (window)
        window->close();
    // Not quit(): that asks every window to close first, and one that refuses would keep the
    // program running without its window.
    QCoreApplication::exit(0);
}

} // namespace

void EndOnSignals(QObject* context, std::function<DRUI*()> window, std::function<void()> ended)
{
    if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [window, ended] {
        char bytes[16];
        while (::read(g_signalPipe[0], bytes, sizeof bytes) > 0) {
        }
        if (ended)
            ended();
        endNow(window ? window() : nullptr);
    });
    struct sigaction action = {};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

void RestoreDefaultSignals()
{
    ::signal(SIGTERM, SIG_DFL);
    ::signal(SIGINT, SIG_DFL);
}
