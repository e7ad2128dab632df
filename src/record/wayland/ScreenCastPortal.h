// The screen of a Wayland session through the desktop portal (org.freedesktop.portal.ScreenCast)
// over D-Bus, asynchronously: a share of one monitor, handed over as a PipeWire connection.
#pragma once

#include <QDBusConnection>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <QSize>
#include <QString>
#include <QTimer>
#include <QVariantMap>

#include <functional>

class QDBusAbstractInterface;
class QDBusPendingCallWatcher;

// What a started share gives.
struct ScreenCastStream {
    QDBusUnixFileDescriptor pipeWire; // a PipeWire connection that sees only the shared node
    quint32 nodeId = 0;               // the PipeWire node of the monitor
    QSize size;                       // the monitor's size as the portal tells it; may be empty
    QString restoreToken;             // to pass next time so that nobody is asked; may be empty
};

// The Debian package of the portal back end for the desktop named like XDG_CURRENT_DESKTOP
// ("GNOME", "ubuntu:GNOME", "KDE", "sway"...); all three choices when it is none of those.
QString portalBackendPackage(const QString& currentDesktop);

// Asks whether `bus` offers a desktop portal that can share a monitor (starting the portal if the
// bus can). `done` runs once on `context`'s thread with an empty text when it can, else with a
// sentence for the user that names what to install. Never blocks; gives up after `timeoutMs`.
void checkScreenCastPortal(const QDBusConnection& bus, QObject* context,
                           std::function<void(const QString& problem)> done, int timeoutMs = 5000);

class ScreenCastPortal final : public QObject
{
    Q_OBJECT
public:
    explicit ScreenCastPortal(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                              QObject* parent = nullptr);
    // Closes the share if one is open.
    ~ScreenCastPortal() override;

    // The token a previous share returned; the portal then shares the same monitor without
    // asking, while the user has not revoked it. Empty: the user is asked.
    void setRestoreToken(const QString& token) { m_restoreToken = token; }

    // Asks the portal for a share of one monitor (the user may see the system's share dialog).
    // Never blocks; ends with exactly one started() or failed(). Ignored while a start is going.
    void start();
    // Ends the share, or abandons a start (then neither started() nor failed() follows). Safe to
    // call at any time.
    void close();
    bool isOpen() const { return !m_session.isEmpty(); }

Q_SIGNALS:
    void started(const ScreenCastStream& stream);
    // `reason` is a sentence for the user; `canceled`: the user declined the share dialog.
    void failed(const QString& reason, bool canceled);
    // The portal ended an open share (the user revoked it, the desktop went away).
    void closed();

private:
    enum class Step { Idle, Properties, CreateSession, SelectSources, Start, OpenRemote, Open };

    void onProperties(QDBusPendingCallWatcher* call);
    void request(Step step, const QString& method, const QList<QVariant>& args,
                 QVariantMap options);
    void onRequestCalled(QDBusPendingCallWatcher* call, const QString& expectedPath);
    void onResponse(uint response, const QVariantMap& results);
    // Watches the session the portal opened and asks which screen to share.
    void onSessionCreated(const QString& path);
    void openRemote();
    void fail(const QString& reason, bool canceled = false);
    void watchRequest(const QString& path);
    void dropRequest();
    QString newToken();
    QString stepName() const;

    QDBusConnection m_bus;
    Step m_step = Step::Idle;
    QString m_restoreToken;
    uint m_version = 0;
    uint m_cursorModes = 0;
    QString m_session;
    QDBusAbstractInterface* m_request = nullptr; // the request whose Response is awaited
    QDBusAbstractInterface* m_sessionWatch = nullptr;
    QTimer m_answerTimer;
    ScreenCastStream m_stream;
    int m_tokens = 0;
};
