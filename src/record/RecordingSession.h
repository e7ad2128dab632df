// A recording from start to its finished file: the capture, the tool's run into a hidden
// fragmented working file, the low-space watch, the finalisation into the named MP4, and the
// recovery of working files a crash left behind. One state, one outcome per recording.
#pragma once

#include "record/CaptureSource.h"
#include "record/RecordingFinalizer.h"
#include "support/WorkingFile.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVector>

class PulseListing;
class QTimer;
class SoundWatch;
class ToolRun;
struct PulseDevice;

// How one recording (or one recovered working file) ended.
struct RecordingOutcome {
    enum class Kind {
        Saved,           // finished and finalised into `path` (`reason`, when not empty: why
                         // it is shorter than the recording ran)
        Recovered,       // a working file a crash left was made into `path` at start-up
        Nothing,         // nothing was recorded; no file is left
        StoppedByTool,   // the tool ended on its own (`reason`: its last error line); what was
                         // recorded is in `path` (empty when nothing was)
        StoppedLowSpace, // stopped because the folder's disk was nearly full; as StoppedByTool
        Failed,          // could not start (`path` empty), or could not be finalised and was
                         // kept as it was recorded in `path`; `reason` says why
    };
    Kind kind = Kind::Nothing;
    QString path;
    QString reason;
};

class RecordingSession final : public QObject
{
    Q_OBJECT
public:
    enum class State {
        Idle,       // nothing runs
        Starting,   // the capture is being readied or the tool has not delivered a picture yet
        Live,       // pictures are being written
        Stopping,   // the tool was asked to end and closes the working file
        Finalising, // the working file (or a recovered one) becomes the named file
    };
    Q_ENUM(State)

    explicit RecordingSession(QObject* parent = nullptr);
    // A run still going is killed; its working file stays and is recovered at the next start.
    ~RecordingSession() override;

    // The media tool (tests pass another). Default: ToolRun::defaultProgram().
    void setProgram(const QString& program);
    // Where pictures come from; the session takes ownership. Needed before start().
    void setCapture(CaptureSource* capture);
    CaptureSource* capture() const { return m_capture; }
    // Free bytes of the folder's disk below which a recording stops. Default 10 MiB.
    void setLowSpaceLimit(quint64 bytes) { m_lowSpaceLimit = bytes; }
    // How often the free space is looked at, in ms. Default 200.
    void setSpaceCheckInterval(int ms);

    State state() const { return m_state; }
    // A start waits for the previous recording to be finalised.
    bool startWaiting() const { return m_startWaiting; }
    // A recording, a finalisation or a recovery is going, or a start waits for one.
    bool isBusy() const;
    // The run, for its process id and output (tests, benchmarks).
    ToolRun& run() const { return *m_run; }
    // The hidden file the current recording is written to; empty when none.
    QString workingFile() const { return m_workPath; }
    // ms since the first picture was delivered; 0 before it.
    qint64 liveMs() const;

    // Records `audioSources` (PulseAudio sources: none, one, or two mixed into one track) into
    // folder `folder`, named by `startTime`. Never blocks: Starting, then Live at the first
    // picture. A start while the previous recording is still ending waits for it. The recording
    // ends with exactly one ended().
    void start(const QString& folder, const QStringList& audioSources, const QDateTime& startTime);
    // Asks the current recording to end (and a waiting start to be dropped). The tool is asked
    // to quit once it has delivered its first picture (a quit before that leaves a file without
    // one), and after 10 s in any case; a capture that feeds the tool ends its input instead,
    // after the pictures up to the stop, and the tool is asked to quit only if it has not ended
    // 5 s later.
    void stop();
    // Removes what crashed cuts and merges left in `folder` (RemoveLeftovers), and finalises the
    // recordings' working files a crash left there, one after another whenever nothing
    // else runs; each ends with ended(Recovered) (nothing for a file without a picture). A file
    // another process is still writing (it holds the file's lock) is left alone.
    void recoverLeftovers(const QString& folder);
    // For the program's exit: the recording is asked to end, waiting starts and recoveries are
    // dropped. isBusy() tells when it is over.
    void finish();
    // For the program's exit when finish() takes too long: a finalisation is abandoned and its
    // working file stays for the next start. isBusy() tells when it is over.
    void abandon();

Q_SIGNALS:
    void stateChanged(RecordingSession::State state);
    void ended(const RecordingOutcome& outcome);
    // The recording's folder was moved (renamed, put in the bin) to `folder`, where the
    // recording goes on and is finished.
    void folderMoved(const QString& folder);

private:
    void setState(State state);
    void launch();
    void onPrepared();
    void onCaptureFailed(const QString& reason, bool canceled);
    void onCaptureLost(const QString& reason);
    // Takes, unless another cause was found first, that the tool wrote no picture (`when`: "in
    // 30 s", or empty) as the cause the recording ends with.
    void noPicture(const QString& when);
    // Ends the live run: through the capture's last pictures, or at once.
    void endRun();
    void onRunOutput();
    void onRunFinished(const ToolResult& result);
    void onFinalized(const FinalizeOutcome& outcome);
    // Stops a recording whose disk is nearly full, or whose file was deleted.
    void checkSpace();
    // Stops a recording one of whose sound sources went away: the server records another in
    // its place (the default microphone where computer sounds were chosen).
    void checkSources(const QVector<PulseDevice>& sources);
    void next();
    void endWith(const RecordingOutcome& outcome);

    QPointer<CaptureSource> m_capture;
    ToolRun* m_run = nullptr;
    RecordingFinalizer* m_finalizer = nullptr;
    QTimer* m_spaceTimer = nullptr;
    SoundWatch* m_soundWatch = nullptr;
    PulseListing* m_sourceListing = nullptr;
    State m_state = State::Idle;
    quint64 m_lowSpaceLimit = 10485760;

    // The current recording.
    QString m_folder;
    QStringList m_audioSources;
    QDateTime m_startTime;
    QString m_finalPath;
    QString m_workPath;
    WorkLock m_workLock;      // on the working file (or the leftover) being written or finalised
    qint64 m_liveSinceMs = 0; // monotonic ms of the first picture; 0 before it
    qint64 m_ranMs = 0;       // from the first picture to the stop asked for
    double m_writtenSeconds = -1; // the length the tool last said it had written
    int m_runSerial = 0;          // tells a stale first-picture timer from the current run's
    bool m_stopAsked = false;     // the user (or the low-space watch) asked the run to end
    bool m_ending = false;        // endRun() was called for the current run
    bool m_lowSpace = false;      // the low-space watch stopped it
    QString m_toolFailure;        // why the tool ended on its own
    bool m_soundFailed = false;   // m_toolFailure is the tool's word on a sound source
    bool m_toolMissing = false;   // the tool could not even be started
    bool m_startWaiting = false;  // start() came while the previous recording was ending

    // Recovery.
    QStringList m_leftovers; // working files waiting to be finalised
    bool m_finalisingLeftover = false;
};
