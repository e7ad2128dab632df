// Watching the sound server's sources, on libpulse's own thread.
#include "media/SoundWatch.h"

#include <QLoggingCategory>
#include <QMetaObject>

#include <pulse/context.h>
#include <pulse/subscribe.h>
#include <pulse/thread-mainloop.h>

Q_LOGGING_CATEGORY(lcSoundWatch, "vistrel.media.sound")

namespace
{

void onEvent(pa_context*, pa_subscription_event_type_t type, uint32_t, void* self)
{
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) != PA_SUBSCRIPTION_EVENT_SOURCE ||
        (type & PA_SUBSCRIPTION_EVENT_TYPE_MASK) != PA_SUBSCRIPTION_EVENT_REMOVE)
        return;
    auto* watch = static_cast<SoundWatch*>(self);
    QMetaObject::invokeMethod(watch, &SoundWatch::sourceRemoved, Qt::QueuedConnection);
}

void onState(pa_context* context, void* self)
{
    if (pa_context_get_state(context) != PA_CONTEXT_READY)
        return;
    pa_context_set_subscribe_callback(context, &onEvent, self);
    if (pa_operation* op =
            pa_context_subscribe(context, PA_SUBSCRIPTION_MASK_SOURCE, nullptr, nullptr))
        pa_operation_unref(op);
}

} // namespace

SoundWatch::SoundWatch(QObject* parent) : QObject(parent) {}

SoundWatch::~SoundWatch()
{
    stop();
}

void SoundWatch::start()
{
    stop();
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop)
        return;
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Vistrel");
    if (!m_context) {
        stop();
        return;
    }
    pa_context_set_state_callback(m_context, &onState, this);
    // Never starts a server of its own: a recording's sound comes from the running one.
    if (pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0 ||
        pa_threaded_mainloop_start(m_loop) < 0) {
        qCInfo(lcSoundWatch) << "no sound server to watch";
        stop();
    }
}

void SoundWatch::stop()
{
    if (m_loop)
        pa_threaded_mainloop_stop(m_loop);
    if (m_context) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_set_subscribe_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    if (m_loop)
        pa_threaded_mainloop_free(m_loop);
    m_loop = nullptr;
}
