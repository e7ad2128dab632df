// Recording the screen of a Wayland session through the desktop portal and PipeWire.
#include "record/wayland/WaylandCapture.h"

#include "media/ToolRun.h"
#include "record/RecordCommand.h"
#include "record/wayland/PipeWireStream.h"
#include "record/wayland/ScreenCastPortal.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcWayland, "vistrel.record.wayland")

namespace
{

// The descriptor under which the tool reads the pictures.
constexpr int kToolPictureFd = 3;

} // namespace

bool WaylandCapture::isWaylandSession(const QProcessEnvironment& environment)
{
    return !environment.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty() ||
           environment.value(QStringLiteral("XDG_SESSION_TYPE")) == QLatin1String("wayland");
}

WaylandCapture::WaylandCapture(const QDBusConnection& bus, QObject* parent)
    : CaptureSource(parent), m_portal(new ScreenCastPortal(bus, this))
{
    m_firstPictureTimer.setSingleShot(true);
    connect(&m_firstPictureTimer, &QTimer::timeout, this,
            [this] { fail(QStringLiteral("The shared screen sent no picture.")); });
    connect(m_portal, &ScreenCastPortal::started, this, &WaylandCapture::onShareStarted);
    connect(m_portal, &ScreenCastPortal::failed, this,
            [this](const QString& reason, bool canceled) { fail(reason, canceled); });
    connect(m_portal, &ScreenCastPortal::closed, this,
            [this] { lose(QStringLiteral("The screen share was ended by the system.")); });
}

WaylandCapture::~WaylandCapture()
{
    release();
}

void WaylandCapture::prepare()
{
    if (m_state != State::Idle) {
        qCWarning(lcWayland) << "prepare() while a capture is under way; ignored";
        return;
    }
    m_state = State::Sharing;
    m_size = QSize();
    m_portal->setRestoreToken(m_restoreToken);
    m_portal->start();
}

void WaylandCapture::onShareStarted(const ScreenCastStream& stream)
{
    if (m_state != State::Sharing)
        return;
    // Some portals hand out a new token with every share: the one that comes back is kept.
    if (!stream.restoreToken.isEmpty() && stream.restoreToken != m_restoreToken) {
        m_restoreToken = stream.restoreToken;
        Q_EMIT restoreTokenChanged(m_restoreToken);
    }
    m_state = State::Connecting;
    m_stream = new PipeWireStream(this);
    const int serial = ++m_streamSerial;
    connect(m_stream, &PipeWireStream::firstPicture, this, [this, serial](QSize size) {
        if (serial == m_streamSerial)
            onFirstPicture(size);
    });
    connect(m_stream, &PipeWireStream::ended, this, [this, serial](const QString& reason) {
        if (serial == m_streamSerial)
            lose(reason);
    });
    QString error;
    if (!m_stream->start(stream.pipeWire.fileDescriptor(), stream.nodeId, &error)) {
        fail(error);
        return;
    }
    m_firstPictureTimer.start(m_firstPictureWaitMs);
}

void WaylandCapture::onFirstPicture(QSize size)
{
    if (m_state != State::Connecting)
        return;
    m_firstPictureTimer.stop();
    m_size = size;
    QString error;
    if (!m_pipe.open(&error)) {
        fail(error);
        return;
    }
    qCInfo(lcWayland) << "screen ready at" << size;
    m_state = State::Ready;
    Q_EMIT prepared();
}

QStringList WaylandCapture::inputArguments(const QStringList& audioSources, double startSeconds)
{
    m_startSeconds = startSeconds;
    // The pictures come last, as x11grab does: the tool opens the sound inputs first and reads
    // no picture meanwhile; the writer then catches up on the pictures due.
    return soundInputArguments(audioSources, startSeconds) +
           rawPictureInputArguments(m_size.width(), m_size.height(), kToolPictureFd);
}

void WaylandCapture::beforeStart(ToolRun& run)
{
    m_run = &run;
    run.setChildSetup(m_pipe.childSetup(kToolPictureFd));
}

void WaylandCapture::started(bool running)
{
    // The set-up served this run only: a later run must not get whatever descriptor then
    // has the pipe's number.
    if (m_run)
        m_run->setChildSetup({});
    m_run = nullptr;
    m_pipe.closeReadEnd();
    if (!running || m_state != State::Ready)
        return;
    m_state = State::Recording;
    m_pipe.start(&m_stream->pictures(), m_size.width(), m_size.height(), m_startSeconds,
                 kRecordRateNumerator, kRecordRateDenominator);
}

bool WaylandCapture::finishFeeding()
{
    if (m_state != State::Recording)
        return false;
    m_pipe.finish();
    return true;
}

void WaylandCapture::release()
{
    m_firstPictureTimer.stop();
    m_pipe.stop();
    if (m_stream) {
        m_stream->stop();
        m_received = m_stream->received();
        m_delayMs = m_stream->meanDelayMs();
        delete m_stream;
        m_stream = nullptr;
        ++m_streamSerial;
    }
    m_portal->close();
    if (m_state == State::Recording)
        qCInfo(lcWayland) << "pictures written" << m_pipe.written() << "of which new"
                          << m_pipe.fresh() << "received" << m_received << "after" << m_delayMs
                          << "ms on average";
    m_state = State::Idle;
}

quint64 WaylandCapture::picturesReceived() const
{
    return m_stream ? m_stream->received() : m_received;
}

double WaylandCapture::picturesDelayMs() const
{
    return m_stream ? m_stream->meanDelayMs() : m_delayMs;
}

void WaylandCapture::fail(const QString& reason, bool canceled)
{
    if (m_state == State::Idle)
        return;
    release();
    Q_EMIT failed(reason, canceled);
}

void WaylandCapture::lose(const QString& reason)
{
    if (m_state == State::Ready || m_state == State::Recording)
        Q_EMIT lost(reason);
    else
        fail(reason);
}
