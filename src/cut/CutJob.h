// The cut job: the span of one file cut frame-exactly where it can be (and from the next
// keyframe where it cannot) into "Cut_" + its name in a chosen folder, written aside and moved
// into place on success.
#pragma once

#include "library/ProbeCache.h"
#include "support/JobResult.h"
#include "support/WorkingFile.h"

#include <QObject>
#include <QString>

class SmartCutter;
class ToolRun;
struct SmartCutResult;

// What to cut: the span from `startSeconds` to `endSeconds` (whole seconds) of `source`, into
// the folder `outputFolder`.
struct CutRequest {
    QString source;
    qint64 startSeconds = 0;
    qint64 endSeconds = 0;
    QString outputFolder;
};

class CutJob final : public QObject
{
    Q_OBJECT
public:
    explicit CutJob(QObject* parent = nullptr);

    // The media tool (tests pass fakes). Default: ToolRun::defaultProgram().
    void setProgram(const QString& program);
    // The run the job's steps go through, for its process id and output (tests, benchmarks).
    ToolRun& run() const;

    // Starts the cut. Never blocks; ends with exactly one finished(), also when the request
    // cannot be cut. The output name is the first free one from "Cut_" + the source's name.
    // Returns false (and does nothing) while a cut is going.
    bool start(const CutRequest& request);
    // Stops the cut; finished() follows with Canceled and nothing is left behind.
    void cancel();
    bool isRunning() const { return m_running; }

Q_SIGNALS:
    // Percent done (0..99; the end is told by finished()), the source and the output path.
    void progress(int percent, const QString& source, const QString& output);
    // Saved results of a cut that starts later than the mark say so in `reason`.
    void finished(const JobResult& result);

private:
    void onCut(const SmartCutResult& result);
    void conclude(JobResult::Kind kind, const QString& reason = QString());

    SmartCutter* m_cutter = nullptr;
    CutRequest m_request;
    FileStamp m_sourceStamp; // the source as it was when the cut started
    QString m_outputPath;
    QString m_workPath;
    WorkLock m_workLock; // tells a start after a crash that the working file is not a leftover
    bool m_running = false;
};
