// The screen of a Wayland session through the desktop portal over D-Bus, asynchronously.
#include "record/wayland/ScreenCastPortal.h"

#include <QDBusAbstractInterface>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QLoggingCategory>
#include <QRandomGenerator>

Q_LOGGING_CATEGORY(lcPortal, "vistrel.record.portal")

namespace
{

// The bus's asyncCall, except that a bus never connected (no session bus in the environment)
// answers with Disconnected from the event loop, as a lost one does: Qt gives such a call no
// answer at all, and its watcher would wait for ever.
QDBusPendingCall callOn(const QDBusConnection& bus, const QDBusMessage& message, int timeoutMs)
{
    if (!bus.isConnected())
        return QDBusPendingCall::fromError(
            QDBusError(QDBusError::Disconnected, QStringLiteral("Not connected to a bus")));
    return bus.asyncCall(message, timeoutMs);
}

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kScreenCast = QStringLiteral("org.freedesktop.portal.ScreenCast");

constexpr uint kSourceMonitor = 1;
constexpr uint kCursorHidden = 1;
constexpr uint kCursorEmbedded = 2;
constexpr uint kPersistUntilRevoked = 2;
// The steps that show no dialog answer within this; the share dialog has no limit.
constexpr int kAnswerMs = 20000;

// The Response signal of one portal request. An empty service name matches any sender, so no
// blocking look-up of the portal's owner is made here; the request's path is private to us.
class PortalRequest final : public QDBusAbstractInterface
{
    Q_OBJECT
public:
    PortalRequest(const QString& path, const QDBusConnection& bus, QObject* parent)
        : QDBusAbstractInterface(QString(), path, "org.freedesktop.portal.Request", bus, parent)
    {
    }
Q_SIGNALS:
    void Response(uint response, const QVariantMap& results);
};

// The Closed signal of a portal session.
class PortalSession final : public QDBusAbstractInterface
{
    Q_OBJECT
public:
    PortalSession(const QString& path, const QDBusConnection& bus, QObject* parent)
        : QDBusAbstractInterface(QString(), path, "org.freedesktop.portal.Session", bus, parent)
    {
    }
Q_SIGNALS:
    void Closed(const QVariantMap& details);
};

QDBusMessage portalCall(const QString& interface, const QString& method,
                        const QList<QVariant>& args)
{
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, interface, method);
    message.setArguments(args);
    return message;
}

QString backendAdvice()
{
    return portalBackendPackage(qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
}

QString missingPortalText()
{
    return QStringLiteral("Recording a Wayland screen needs the desktop portal: install "
                          "xdg-desktop-portal and %1.")
        .arg(backendAdvice());
}

QString noScreenCastText()
{
    return QStringLiteral("The desktop portal cannot share the screen: install %1.")
        .arg(backendAdvice());
}

// A sentence for a failed call to the portal.
QString describeCallError(const QDBusError& error)
{
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
        return missingPortalText();
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownObject:
    case QDBusError::UnknownProperty:
        return noScreenCastText();
    case QDBusError::Disconnected:
        return QStringLiteral("There is no session bus to reach the desktop portal: Vistrel must "
                              "run as the logged-in user, in that user's session.");
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return QStringLiteral("The desktop portal did not answer.");
    default:
        break;
    }
    if (error.name() == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return missingPortalText();
    // A portal without a ScreenCast back end says so only in the message of InvalidArgs.
    if (error.type() == QDBusError::InvalidArgs &&
        error.message().contains(QLatin1String("interface"), Qt::CaseInsensitive))
        return noScreenCastText();
    return QStringLiteral("The desktop portal failed: %1").arg(error.message());
}

// The share's problem given the ScreenCast properties, or an empty text when it can share.
QString problemOfSourceTypes(const QVariant& types)
{
    if (!types.isValid())
        return noScreenCastText();
    if (!(types.toUInt() & kSourceMonitor))
        return QStringLiteral("The desktop portal cannot share a whole screen: install %1.")
            .arg(backendAdvice());
    return {};
}

QString objectPathText(const QVariant& value)
{
    if (value.canConvert<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

// The first stream of Start's "streams" (a(ua{sv})): node id and size.
bool readFirstStream(const QVariant& value, quint32* node, QSize* size)
{
    if (!value.canConvert<QDBusArgument>())
        return false;
    const QDBusArgument streams = value.value<QDBusArgument>();
    bool found = false;
    streams.beginArray();
    while (!streams.atEnd()) {
        uint id = 0;
        QVariantMap properties;
        streams.beginStructure();
        streams >> id >> properties;
        streams.endStructure();
        if (found)
            continue;
        found = true;
        *node = id;
        const QVariant sizeValue = properties.value(QStringLiteral("size"));
        if (sizeValue.canConvert<QDBusArgument>()) {
            const QDBusArgument pair = sizeValue.value<QDBusArgument>();
            int width = 0;
            int height = 0;
            pair.beginStructure();
            pair >> width >> height;
            pair.endStructure();
            *size = QSize(width, height);
        }
    }
    streams.endArray();
    return found;
}

} // namespace

QString portalBackendPackage(const QString& currentDesktop)
{
    const QStringList names = currentDesktop.toLower().split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& name : names) {
        if (name == QLatin1String("gnome") || name == QLatin1String("ubuntu") ||
            name == QLatin1String("budgie") || name == QLatin1String("pantheon"))
            return QStringLiteral("xdg-desktop-portal-gnome");
        if (name == QLatin1String("kde"))
            return QStringLiteral("xdg-desktop-portal-kde");
        if (name == QLatin1String("sway") || name == QLatin1String("wlroots") ||
            name == QLatin1String("hyprland") || name == QLatin1String("river") ||
            name == QLatin1String("wayfire") || name == QLatin1String("labwc"))
            return QStringLiteral("xdg-desktop-portal-wlr");
    }
    return QStringLiteral("the portal of your desktop (xdg-desktop-portal-gnome, "
                          "xdg-desktop-portal-kde or xdg-desktop-portal-wlr)");
}

void checkScreenCastPortal(const QDBusConnection& bus, QObject* context,
                           std::function<void(const QString& problem)> done, int timeoutMs)
{
    // Reading a property starts an activatable portal, as a share would.
    const QDBusMessage get =
        portalCall(QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                   {kScreenCast, QStringLiteral("AvailableSourceTypes")});
    auto* watcher = new QDBusPendingCallWatcher(callOn(bus, get, timeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [done](QDBusPendingCallWatcher* call) {
                         call->deleteLater();
                         const QDBusPendingReply<QDBusVariant> reply = *call;
                         const QString problem =
                             reply.isError() ? describeCallError(reply.error())
                                             : problemOfSourceTypes(reply.value().variant());
                         if (!problem.isEmpty())
                             qCInfo(lcPortal).noquote() << "no screen sharing:" << problem;
                         done(problem);
                     });
}

ScreenCastPortal::ScreenCastPortal(const QDBusConnection& bus, QObject* parent)
    : QObject(parent), m_bus(bus)
{
    m_answerTimer.setSingleShot(true);
    connect(&m_answerTimer, &QTimer::timeout, this,
            [this] { fail(QStringLiteral("The desktop portal did not answer.")); });
}

ScreenCastPortal::~ScreenCastPortal()
{
    close();
}

void ScreenCastPortal::start()
{
    if (m_step != Step::Idle)
        return;
    m_stream = ScreenCastStream();
    m_step = Step::Properties;
    // Without a bus the call fails at once with Disconnected, told from the event loop.
    const QDBusMessage getAll = portalCall(QStringLiteral("org.freedesktop.DBus.Properties"),
                                           QStringLiteral("GetAll"), {kScreenCast});
    auto* watcher = new QDBusPendingCallWatcher(callOn(m_bus, getAll, kAnswerMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &ScreenCastPortal::onProperties);
}

void ScreenCastPortal::onProperties(QDBusPendingCallWatcher* call)
{
    call->deleteLater();
    if (m_step != Step::Properties)
        return;
    const QDBusPendingReply<QVariantMap> reply = *call;
    if (reply.isError()) {
        fail(describeCallError(reply.error()));
        return;
    }
    const QVariantMap properties = reply.value();
    const QString problem =
        problemOfSourceTypes(properties.value(QStringLiteral("AvailableSourceTypes")));
    if (!problem.isEmpty()) {
        fail(problem);
        return;
    }
    m_version = properties.value(QStringLiteral("version")).toUInt();
    m_cursorModes = properties.value(QStringLiteral("AvailableCursorModes")).toUInt();
    qCDebug(lcPortal) << "ScreenCast version" << m_version << "cursor modes" << m_cursorModes;
    request(Step::CreateSession, QStringLiteral("CreateSession"), {},
            {{QStringLiteral("session_handle_token"), newToken()}});
}

void ScreenCastPortal::request(Step step, const QString& method, const QList<QVariant>& args,
                               QVariantMap options)
{
    m_step = step;
    // The Response must be listened for before the call: its path is known from our name and
    // the handle token.
    const QString token = newToken();
    options.insert(QStringLiteral("handle_token"), token);
    QString sender = m_bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString path =
        QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
    watchRequest(path);
    QList<QVariant> all = args;
    all.append(options);
    auto* watcher = new QDBusPendingCallWatcher(
        callOn(m_bus, portalCall(kScreenCast, method, all), kAnswerMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this, path](QDBusPendingCallWatcher* call) { onRequestCalled(call, path); });
    // The share dialog waits for the user; the other steps answer at once.
    if (step == Step::Start)
        m_answerTimer.stop();
    else
        m_answerTimer.start(kAnswerMs);
}

void ScreenCastPortal::onRequestCalled(QDBusPendingCallWatcher* call, const QString& expectedPath)
{
    call->deleteLater();
    // The answer to a call of a start that was closed meanwhile.
    if (!m_request || m_request->path() != expectedPath)
        return;
    const QDBusPendingReply<QDBusObjectPath> reply = *call;
    if (reply.isError()) {
        fail(describeCallError(reply.error()));
        return;
    }
    // Portals older than the handle token answer on a path of their own choosing.
    const QString path = reply.value().path();
    if (path != expectedPath) {
        qCDebug(lcPortal) << "request answered on" << path;
        watchRequest(path);
    }
}

void ScreenCastPortal::watchRequest(const QString& path)
{
    dropRequest();
    auto* request = new PortalRequest(path, m_bus, this);
    connect(request, &PortalRequest::Response, this, &ScreenCastPortal::onResponse);
    m_request = request;
}

void ScreenCastPortal::dropRequest()
{
    if (!m_request)
        return;
    m_request->disconnect(this);
    m_request->deleteLater();
    m_request = nullptr;
}

void ScreenCastPortal::onResponse(uint response, const QVariantMap& results)
{
    m_answerTimer.stop();
    const Step step = m_step;
    dropRequest();
    if (response == 1) {
        qCInfo(lcPortal) << "the user declined to share the screen";
        fail(QStringLiteral("Screen sharing was canceled."), true);
        return;
    }
    if (response != 0) {
        fail(QStringLiteral("The desktop portal could not %1 (it answered %2).")
                 .arg(stepName())
                 .arg(response));
        return;
    }
    switch (step) {
    case Step::CreateSession:
        onSessionCreated(objectPathText(results.value(QStringLiteral("session_handle"))));
        return;
    case Step::SelectSources:
        request(Step::Start, QStringLiteral("Start"),
                {QVariant::fromValue(QDBusObjectPath(m_session)), QString()}, {});
        return;
    case Step::Start:
        if (!readFirstStream(results.value(QStringLiteral("streams")), &m_stream.nodeId,
                             &m_stream.size)) {
            fail(QStringLiteral("The desktop portal shared no screen."));
            return;
        }
        m_stream.restoreToken = results.value(QStringLiteral("restore_token")).toString();
        qCInfo(lcPortal) << "sharing node" << m_stream.nodeId << "of size" << m_stream.size
                         << (m_stream.restoreToken.isEmpty() ? "without" : "with")
                         << "a restore token";
        openRemote();
        return;
    default:
        return;
    }
}

void ScreenCastPortal::onSessionCreated(const QString& path)
{
    m_session = path;
    if (m_session.isEmpty()) {
        fail(QStringLiteral("The desktop portal opened no session."));
        return;
    }
    auto* session = new PortalSession(m_session, m_bus, this);
    connect(session, &PortalSession::Closed, this, [this] {
        qCInfo(lcPortal) << "the portal closed the screen share";
        m_session.clear();
        const bool open = m_step == Step::Open;
        if (open) {
            m_step = Step::Idle;
            Q_EMIT closed();
        } else if (m_step != Step::Idle) {
            fail(QStringLiteral("The desktop portal ended the screen share."));
        }
    });
    m_sessionWatch = session;
    QVariantMap options{{QStringLiteral("types"), kSourceMonitor},
                        {QStringLiteral("multiple"), false}};
    if (m_cursorModes & kCursorEmbedded)
        options.insert(QStringLiteral("cursor_mode"), kCursorEmbedded);
    else if (m_cursorModes & kCursorHidden)
        options.insert(QStringLiteral("cursor_mode"), kCursorHidden);
    if (m_version >= 4) {
        options.insert(QStringLiteral("persist_mode"), kPersistUntilRevoked);
        if (!m_restoreToken.isEmpty())
            options.insert(QStringLiteral("restore_token"), m_restoreToken);
    }
    request(Step::SelectSources, QStringLiteral("SelectSources"),
            {QVariant::fromValue(QDBusObjectPath(m_session))}, options);
}

void ScreenCastPortal::openRemote()
{
    m_step = Step::OpenRemote;
    const QDBusMessage open =
        portalCall(kScreenCast, QStringLiteral("OpenPipeWireRemote"),
                   {QVariant::fromValue(QDBusObjectPath(m_session)), QVariantMap()});
    auto* watcher = new QDBusPendingCallWatcher(callOn(m_bus, open, kAnswerMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                call->deleteLater();
                if (m_step != Step::OpenRemote)
                    return;
                const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *call;
                if (reply.isError()) {
                    fail(describeCallError(reply.error()));
                    return;
                }
                m_stream.pipeWire = reply.value();
                if (!m_stream.pipeWire.isValid()) {
                    fail(QStringLiteral("The desktop portal gave no PipeWire connection."));
                    return;
                }
                m_step = Step::Open;
                Q_EMIT started(m_stream);
            });
}

void ScreenCastPortal::fail(const QString& reason, bool canceled)
{
    if (m_step == Step::Idle)
        return;
    qCWarning(lcPortal).noquote() << "screen share failed while trying to" << stepName() << "-"
                                  << reason;
    close();
    Q_EMIT failed(reason, canceled);
}

void ScreenCastPortal::close()
{
    m_answerTimer.stop();
    // A request still waiting (the share dialog, say) is withdrawn.
    if (m_request) {
        m_bus.asyncCall(QDBusMessage::createMethodCall(
            kService, m_request->path(), QStringLiteral("org.freedesktop.portal.Request"),
            QStringLiteral("Close")));
        dropRequest();
    }
    if (m_sessionWatch) {
        m_sessionWatch->disconnect(this);
        m_sessionWatch->deleteLater();
        m_sessionWatch = nullptr;
    }
    if (!m_session.isEmpty()) {
        m_bus.asyncCall(QDBusMessage::createMethodCall(
            kService, m_session, QStringLiteral("org.freedesktop.portal.Session"),
            QStringLiteral("Close")));
        m_session.clear();
    }
    m_stream = ScreenCastStream();
    m_step = Step::Idle;
}

QString ScreenCastPortal::newToken()
{
    return QStringLiteral("vistrel%1_%2")
        .arg(++m_tokens)
        .arg(QRandomGenerator::global()->generate());
}

QString ScreenCastPortal::stepName() const
{
    switch (m_step) {
    case Step::Properties:
        return QStringLiteral("read what it can share");
    case Step::CreateSession:
        return QStringLiteral("open a screen-sharing session");
    case Step::SelectSources:
        return QStringLiteral("select the screen");
    case Step::Start:
        return QStringLiteral("start sharing the screen");
    case Step::OpenRemote:
        return QStringLiteral("connect to the shared screen");
    case Step::Idle:
    case Step::Open:
        break;
    }
    return QStringLiteral("share the screen");
}

#include "ScreenCastPortal.moc"
