// A frame-exact cut as one asynchronous job: probe the span, re-encode the pictures from the
// start mark to the first keyframe, copy the rest, join; or, where that cannot be done without
// visible loss, copy from the first keyframe after the mark. Progress over all steps, cancel at
// any step, one result.
#pragma once

#include "cut/SmartCutSteps.h"
#include "support/WorkingFile.h"

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class QTemporaryDir;
class ToolRun;
struct ToolResult;

// How a cut ended.
struct SmartCutResult {
    enum class Outcome {
        Saved,    // the cut is in outputPath
        Failed,   // nothing was written; `failure` says why
        Canceled, // cancel() was called; nothing was written
    };
    Outcome outcome = Outcome::Failed;
    QString outputPath;      // Saved: the path given to start(), now holding the cut
    bool exact = false;      // Saved: it starts with the picture shown at the start mark
    double startSeconds = 0; // Saved: where it starts in the source (s from the file's start);
                             // later than the start mark when not exact
    QString fallbackReason;  // Saved by copying from a keyframe: why, for the log (also when the
                             // mark lies on that keyframe and the cut is exact); else empty
    QString failure;         // Failed: why, as a sentence for the user
};
Q_DECLARE_METATYPE(SmartCutResult)

class SmartCutter final : public QObject
{
    Q_OBJECT
public:
    explicit SmartCutter(QObject* parent = nullptr);
    // A cutter destroyed while it runs stops its tool and removes what it wrote, without a
    // finished() signal.
    ~SmartCutter() override;

    // The media tool to run (default: ToolRun::defaultProgram()).
    void setProgram(const QString& program);

    // Starts cutting `source` from `startSeconds` to `endSeconds` (s from the file's start)
    // into `outputPath`, an MP4 that the caller then moves into place (its hidden working file:
    // it may exist and is overwritten). The working files go into a hidden folder of their own
    // beside `outputPath`. Ends with exactly one finished(), also when the input is unusable;
    // on failure and cancel `outputPath` is removed, the working folder always. The source is
    // only read. Returns false (and does nothing) while a cut is running.
    bool start(const QString& source, double startSeconds, double endSeconds,
               const QString& outputPath);
    // Stops the running step; finished() then reports Canceled.
    void cancel();
    bool isRunning() const { return m_running; }
    // The last percentage reported (0 before the first report).
    int percent() const { return m_percent; }
    // The run every step goes through (for its process id and output).
    ToolRun& run() const { return *m_run; }

Q_SIGNALS:
    // Percent done over all steps: never goes backwards, below 100 until finished().
    void progressChanged(int percent);
    // The one final report of a start(). It is emitted from within the tool's own report: a
    // receiver that wants the cutter gone uses deleteLater().
    void finished(const SmartCutResult& result);

private:
    enum class Step { Probe, Head, Body, Tail, Join, KeyframeCut };

    void runStep(Step step);
    // The step of the frame-exact plan after `done`.
    Step stepAfter(Step done) const;
    void onLines();
    void onRunFinished(const ToolResult& result);
    void afterProbe(const ToolResult& result);
    void afterPiece(const ToolResult& result);
    void afterBody(const ToolResult& result);
    void afterJoin(const ToolResult& result);
    void fallBack(CutFallback reason, const QString& detail);
    void finish(SmartCutResult result);
    void fail(const QString& sentence);
    // The user's sentence for a run that failed.
    QString failureText(const ToolResult& result) const;
    // Progress weights (rough seconds of work) of the steps still to come under m_plan.
    double remainingWeight(Step after) const;
    double stepWeight(Step step) const;
    void report(double stepFraction);

    ToolRun* m_run = nullptr;
    std::unique_ptr<QTemporaryDir> m_work;
    WorkLock m_workLock; // held while m_work is ours, so no clean-up takes it
    QString m_source;
    QString m_output;
    double m_startMark = 0;
    double m_endMark = 0;
    bool m_running = false;
    bool m_canceled = false;
    bool m_trace = true;
    Step m_step = Step::Probe;
    QStringList m_lines; // the current run's output
    CutSource m_src;
    CutPlan m_plan;
    qint64 m_headShift = 0;

    double m_doneWeight = 0;
    double m_totalWeight = 1;
    double m_stepLength = 0; // seconds the current step's time= runs through
    double m_stepOrigin = 0; // its time= at the start
    int m_percent = 0;
};
