// One Vistrel per user: a lock file says who runs, a local socket carries "show your window".
#include "app/SingleInstance.h"

#include "app/UserFolders.h"

#include <QDeadlineTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QThread>

namespace
{

Q_LOGGING_CATEGORY(lcInstance, "vistrel.instance")

const QByteArray kShow = "show\n";
const QByteArray kShown = "shown\n";

const SingleInstance* g_primary = nullptr;

} // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent)
    : QObject(parent), m_folder(folder), m_lock(folder + QStringLiteral("/instance.lock"))
{
    // The lock is held for the program's whole life: only a holder that is gone makes it
    // stale, never its age.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance()
{
    stopListening();
    if (g_primary == this)
        g_primary = nullptr;
}

QString SingleInstance::lockFilePath() const
{
    return m_lock.fileName();
}

QString SingleInstance::socketPath() const
{
    return m_folder + QStringLiteral("/instance");
}

QString SingleInstance::defaultFolder()
{
    // Empty when Qt finds no usable runtime folder (it says why).
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QString() : runtime + QStringLiteral("/vistrel");
}

const SingleInstance* SingleInstance::primary()
{
    return g_primary;
}

SingleInstance::Claim SingleInstance::claim(int waitMs)
{
    if (m_folder.isEmpty()) {
        m_error = QStringLiteral("no runtime folder for the instance lock (XDG_RUNTIME_DIR)");
        return Claim::Failed;
    }
    if (!makePrivateFolder(m_folder, &m_error))
        return Claim::Failed;
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        if (m_lock.tryLock(0)) {
            g_primary = this;
            // A socket left by a crashed instance would refuse the name.
            QLocalServer::removeServer(socketPath());
            m_server = new QLocalServer(this);
            m_server->setSocketOptions(QLocalServer::UserAccessOption);
            connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::answer);
            if (!m_server->listen(socketPath()))
                qCWarning(lcInstance)
                    << "later starts cannot reach this one:" << m_server->errorString();
            return Claim::Primary;
        }
        if (m_lock.error() != QLockFile::LockFailedError) {
            m_error = QStringLiteral("cannot create the lock file %1").arg(lockFilePath());
            return Claim::Failed;
        }
        // Another instance holds the lock; it may still be starting (not listening yet) or
        // be on its way out (no longer listening): ask, else try both again shortly.
        if (activateRunning(int(qMax<qint64>(deadline.remainingTime(), 0))))
            return Claim::Activated;
        if (deadline.hasExpired()) {
            qint64 pid = 0;
            m_lock.getLockInfo(&pid, nullptr, nullptr);
            m_error = QStringLiteral("Vistrel is already running (process %1) but does not "
                                     "answer")
                          .arg(pid);
            return Claim::Failed;
        }
        QThread::msleep(100);
    }
}

bool SingleInstance::activateRunning(int waitMs) const
{
    if (m_folder.isEmpty())
        return false;
    const QDeadlineTimer deadline(waitMs);
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(int(deadline.remainingTime())))
        return false;
    socket.write(kShow);
    QByteArray reply;
    while (!reply.contains('\n') && socket.waitForReadyRead(int(deadline.remainingTime())))
        reply += socket.readAll();
    return reply == kShown;
}

void SingleInstance::stopListening()
{
    if (m_server)
        m_server->close();
}

void SingleInstance::answer()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // A line, or enough bytes to know it is not one of ours.
            if (!socket->canReadLine() && socket->bytesAvailable() < 64)
                return;
            if (socket->readLine() == kShow) {
                Q_EMIT activationRequested();
                socket->write(kShown);
            }
            socket->disconnectFromServer();
        });
    }
}
