// The one local event loop a modal job runs in: the progress dialog repaints, its Cancel works,
// and the stop request it sets reaches the job.
#pragma once

#include "app/DRUI.h"
#include "support/JobResult.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

template <typename Job, typename Request> JobResult DRUI::RunJob(Job& job, const Request& request)
{
    JobResult result;
    bool done = false;
    QEventLoop loop;
    const QMetaObject::Connection ended =
        connect(&job, &Job::finished, &loop, [&](const JobResult& r) {
            result = r;
            done = true;
            loop.quit();
            Q_EMIT JobEnded();
        });
    // The tool can stay silent for a long while: the request is looked at on a timer too.
    QTimer poll;
    poll.setInterval(100);
    connect(&poll, &QTimer::timeout, this, &DRUI::ForwardCancelRequest);
    poll.start();
    if (job.start(request) && !done)
        loop.exec();
    if (!done) {
        // Only the application's quit ends the loop early: the job is canceled (nothing of it
        // is left) and waited for, where a quitting application still delivers events.
        job.cancel();
        while (!done && job.isRunning())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    disconnect(ended);
    return result;
}
