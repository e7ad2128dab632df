// One Vistrel per user: the first start holds a lock file and listens on a local socket in the
// user's runtime folder; a later start asks it to show its window and ends.
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

class QLocalServer;

class SingleInstance final : public QObject
{
    Q_OBJECT
public:
    enum class Claim {
        Primary,   // this process is the one instance
        Activated, // another instance runs and showed its window
        Failed,    // neither: errorString() says why
    };

    // `folder` holds the lock file "instance.lock" and the socket "instance"; claim() makes it
    // (0700) when it is missing. Takes nothing yet.
    explicit SingleInstance(const QString& folder, QObject* parent = nullptr);
    // Stops listening and releases the lock.
    ~SingleInstance() override;

    // Becomes the one instance: takes the lock (a lock left by a process that is gone is taken
    // over, and its socket replaced) and listens for later starts. When a running instance
    // holds the lock, asks it to show its window instead; retries for up to `waitMs` while that
    // one is starting or ending.
    Claim claim(int waitMs = 10000);
    // Only asks a running instance to show its window, taking no lock: true when one answered
    // within `waitMs`.
    bool activateRunning(int waitMs) const;
    // Stops answering later starts (they then wait for the lock), keeping the lock: for the
    // program's way out, while the window is being closed.
    void stopListening();

    bool isPrimary() const { return m_lock.isLocked(); }
    QString errorString() const { return m_error; }
    QString lockFilePath() const;
    QString socketPath() const;

    // The folder of this user's instance: "vistrel" in the user's runtime folder
    // ($XDG_RUNTIME_DIR, or Qt's fallback when it is unset).
    static QString defaultFolder();
    // The guard through which this process became the one instance, or null. Whoever must be
    // alone (recovering leftover recordings, say) asks this.
    static const SingleInstance* primary();

Q_SIGNALS:
    // A later start asked for the window.
    void activationRequested();

private:
    void answer();

    QString m_folder;
    QLockFile m_lock;
    QLocalServer* m_server = nullptr;
    QString m_error;
};
