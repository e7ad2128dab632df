// One run of the media tool: start, read, wait with a live event loop, stop, verdict.
#pragma once

#include "media/ToolOutput.h"

#include <QEventLoop>
#include <QObject>
#include <QProcess>
#include <QStringList>

#include <functional>

class QTimer;

// The verdict of one run.
struct ToolResult {
    enum class Status {
        Succeeded,     // normal exit 0, no failure marker, the expected output has a stream
        FailedToStart, // the tool is missing or not executable
        Crashed,       // killed by a signal
        ExitCode,      // exited with a non-zero code
        Marker,        // printed a failure marker ("Invalid data", ...)
        NoOutput,      // the expected output is missing, empty or holds no stream with data
        TimedOut,      // outlived its time limit and was killed
        Canceled,      // stopped by cancel()
    };
    Status status = Status::Succeeded;
    int exitCode = 0;
    QString lastErrorLine; // the tool's last line that reads as an error, for messages
    FailureCause cause = FailureCause::None; // why it failed (None when it did not)
    QString causeLine;                       // the tool's line that named the cause, if any
    bool ok() const { return status == Status::Succeeded; }
};

// A short English sentence for the log and for messages.
QString describeToolResult(const ToolResult& result);

class ToolRun final : public QObject
{
    Q_OBJECT
public:
    explicit ToolRun(QObject* parent = nullptr);
    // Kills a run that is still going; the tool is never left behind.
    ~ToolRun() override;

    // "tool" in the executable's folder.
    static QString defaultProgram();
    // The program to run (tests pass fakes). Default: defaultProgram().
    void setProgram(const QString& program) { m_program = program; }
    QString program() const { return m_program; }
    // Working directory of the next runs; empty: the application's.
    void setWorkingDirectory(const QString& dir) { m_workingDir = dir; }
    // A file the run must leave holding a stream with data to succeed (outputHasStreams);
    // empty: no such check.
    void setExpectedOutput(const QString& path) { m_expectedOutput = path; }
    // Line substrings that make a run fail (besides a failing exit). Default: "Invalid data".
    void setFailureMarkers(const QStringList& markers) { m_failureMarkers = markers; }
    // ms after which a run is killed and judged TimedOut; 0 (default): no limit.
    void setTimeLimit(int ms) { m_timeLimitMs = ms; }
    // ms from "q" to terminate, and again from terminate to kill. Default 3000.
    void setStopGrace(int ms) { m_stopGraceMs = ms; }
    // Runs in the child process before the tool is executed, for the next runs (a capture that
    // hands the tool a pipe of its own, say). Only async-signal-safe calls belong there.
    void setChildSetup(std::function<void()> setup) { m_childSetup = std::move(setup); }
    // For runs that must keep their ending (a recording): should this program die, the tool is
    // told to stop exactly once, by a small watcher process that sees the program's end, and
    // still writes the end of its output. Otherwise the kernel's parent-death signal stops it,
    // which comes once for every thread of the dying program; from the second on, the tool
    // leaves at once without its ending. Applies to the next runs.
    void setStopOnceIfOrphaned(bool on) { m_stopOnceIfOrphaned = on; }

    // Starts a run without waiting. It ends with exactly one finished(), also when the tool
    // cannot be started. Returns false (and does nothing) while a run is still going.
    bool start(const QStringList& args);
    // Waits for the current run with a local event loop; returns its verdict at once when no
    // run is going. `flags` can exclude user input (listing and probe runs). When the
    // application quits meanwhile, the run is canceled and waited for, and judged Canceled.
    ToolResult wait(QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);
    // start() then wait().
    ToolResult run(const QStringList& args,
                   QEventLoop::ProcessEventsFlags flags = QEventLoop::AllEvents);

    // Asks the tool to end its run and close its output: "q\r\n", then terminate and kill on
    // timers if it does not exit. The verdict is judged as usual.
    void quit();
    // quit(), and the run is judged Canceled whatever it did.
    void cancel();

    bool isRunning() const;
    qint64 processId() const;
    // Complete lines read since the last call (readyRead() says there are new ones).
    QStringList takeLines();
    // Verdict of the last finished run.
    ToolResult lastResult() const { return m_result; }
    // Up to the last 200 lines of the current or last run.
    QStringList tail() const { return m_tail; }

Q_SIGNALS:
    // New complete lines are waiting in takeLines().
    void readyRead();
    // The run has ended; emitted once per start().
    void finished(const ToolResult& result);

private:
    void onReadyRead();
    void onErrorOccurred(QProcess::ProcessError error);
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void consume(const QStringList& lines);
    FailureCause causeOf(const ToolResult& result) const;
    void conclude(ToolResult result);
    void escalate();
    // The watcher of the run about to start; false when it cannot be started.
    bool startOwnerWatch();
    void endOwnerWatch();

    QProcess* m_process = nullptr;
    QProcess* m_ownerWatch = nullptr;
    QTimer* m_limitTimer = nullptr;
    QTimer* m_stopTimer = nullptr;
    QString m_program;
    QString m_workingDir;
    QString m_expectedOutput;
    QStringList m_failureMarkers{QStringLiteral("Invalid data")};
    std::function<void()> m_childSetup;
    int m_timeLimitMs = 0;
    int m_stopGraceMs = 3000;
    int m_stopStage = 0;

    LineAssembler m_assembler;
    QStringList m_pending;
    QStringList m_tail;
    bool m_running = false;
    bool m_canceled = false;
    bool m_timedOut = false;
    bool m_markerSeen = false;
    bool m_emptyOutputSaid = false;
    bool m_starting = false;
    bool m_stopOnceIfOrphaned = false;
    QString m_lastErrorLine;
    FailureCause m_lineCause = FailureCause::None; // the weightiest cause a line named
    QString m_causeLine;
    ToolResult m_result;
};
