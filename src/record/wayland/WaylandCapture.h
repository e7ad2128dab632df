// Recording the screen of a Wayland session: a share of one monitor through the desktop portal,
// its pictures from PipeWire paced into the tool through a pipe, the sound from PulseAudio.
#pragma once

#include "record/CaptureSource.h"
#include "record/wayland/PicturePipe.h"

#include <QDBusConnection>
#include <QPointer>
#include <QProcessEnvironment>
#include <QSize>
#include <QTimer>

class PipeWireStream;
class ScreenCastPortal;
struct ScreenCastStream;

class WaylandCapture final : public CaptureSource
{
    Q_OBJECT
public:
    // The settings key under which the owner keeps the restore token between runs.
    static QString restoreTokenKey() { return QStringLiteral("/screen_record/restore_token"); }
    // Whether the screen belongs to a Wayland session (WAYLAND_DISPLAY set or
    // XDG_SESSION_TYPE=wayland), whatever platform Qt itself runs on.
    static bool isWaylandSession(
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment());

    explicit WaylandCapture(const QDBusConnection& bus = QDBusConnection::sessionBus(),
                            QObject* parent = nullptr);
    ~WaylandCapture() override;

    // The token of an earlier share (from the settings); empty: the user is asked.
    void setRestoreToken(const QString& token) { m_restoreToken = token; }
    QString restoreToken() const { return m_restoreToken; }
    // ms to wait for the first picture once the share has started. Default 5000.
    void setFirstPictureWait(int ms) { m_firstPictureWaitMs = ms; }

    // Shares the screen through the portal (the system may ask the user), connects to its
    // PipeWire stream and waits for the first picture; ends with prepared() or failed().
    void prepare() override;
    // The sound inputs, then the pictures as raw I420 from the tool's descriptor 3.
    QStringList inputArguments(const QStringList& audioSources, double startSeconds) override;
    bool feedsTool() const override { return true; }
    // Gives the tool the pipe's read end as its descriptor 3.
    void beforeStart(ToolRun& run) override;
    // Starts writing pictures when the tool runs.
    void started(bool running) override;
    // Writes the pictures up to now, then closes the pipe.
    bool finishFeeding() override;
    // Stops writing, disconnects from PipeWire and ends the share.
    void release() override;

    // The size of the recorded pictures (the first picture's, cut to even); empty before
    // prepared().
    QSize pictureSize() const { return m_size; }
    // Of the current or last recording: pictures written to the tool, how many were new, and
    // pictures received from the compositor.
    quint64 picturesWritten() const { return m_pipe.written(); }
    quint64 picturesFresh() const { return m_pipe.fresh(); }
    quint64 picturesReceived() const;
    // How long pictures took on average from the compositor to this program, ms.
    double picturesDelayMs() const;

Q_SIGNALS:
    // The portal gave a new restore token: the owner stores it (restoreTokenKey()).
    void restoreTokenChanged(const QString& token);

private:
    enum class State { Idle, Sharing, Connecting, Ready, Recording };

    void onShareStarted(const ScreenCastStream& stream);
    void onFirstPicture(QSize size);
    void fail(const QString& reason, bool canceled = false);
    void lose(const QString& reason);

    ScreenCastPortal* m_portal = nullptr;
    // One per share; its signals come queued from PipeWire's thread, and those of an earlier
    // share (told apart by m_streamSerial) are ignored.
    PipeWireStream* m_stream = nullptr;
    int m_streamSerial = 0;
    PicturePipe m_pipe;
    QPointer<ToolRun> m_run;
    QTimer m_firstPictureTimer;
    QString m_restoreToken;
    QSize m_size;
    double m_startSeconds = 0;
    quint64 m_received = 0; // pictures the last stream received, and their mean delay
    double m_delayMs = 0;
    int m_firstPictureWaitMs = 5000;
    State m_state = State::Idle;
};
