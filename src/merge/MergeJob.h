// The merge job: checks that the files can be joined by stream copy, converts each into an
// MPEG transport stream in a private folder beside the output, joins those and moves the result
// into place.
#pragma once

#include "library/BatchProbe.h"
#include "library/ProbeCache.h"
#include "media/OutputCheck.h"
#include "merge/MergeCommands.h"
#include "merge/MergeProgress.h"
#include "support/JobResult.h"
#include "support/WorkingFile.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>
#include <QVector>

#include <memory>

class QTemporaryDir;
class ToolRun;
struct ToolResult;

// What to merge: `inputs` (paths) in joining order into "Merge_" + `startTime` in
// `outputFolder`.
struct MergeRequest {
    QStringList inputs;
    QString outputFolder;
    QDateTime startTime;
};

class MergeJob final : public QObject
{
    Q_OBJECT
public:
    explicit MergeJob(QObject* parent = nullptr);
    ~MergeJob() override;

    // The media tool (tests pass fakes). Default: ToolRun::defaultProgram().
    void setProgram(const QString& program);
    // What every probe found, by file: the folder list puts its durations in, and the check
    // reads the files described in full there (and describes the others).
    ProbeCache& probeCache() { return m_cache; }
    // The runs of the conversions and of the join (tests, benchmarks).
    ToolRun& conversionRun() const { return *m_convert; }
    ToolRun& joinRun() const { return *m_join; }

    // Checks that the request's files exist, the output folder can be written and the files'
    // streams match, describing the files not known yet. Never blocks; ends with one checked().
    // Returns false (and does nothing) while the job is busy.
    bool check(const MergeRequest& request);
    // Checks as above and, when the files can be merged, merges them. Never blocks; ends with
    // exactly one finished() (Failed with the check's message when they cannot be merged).
    // Returns false (and does nothing) while the job is busy.
    bool start(const MergeRequest& request);
    // Stops the job; finished() follows with Canceled and nothing is left behind.
    void cancel();
    bool isRunning() const { return m_busy; }

Q_SIGNALS:
    // Why the files cannot be merged, as a message for the user; empty when they can.
    void checked(const QString& refusal);
    // Percent done (0..99), the file being converted (the output while joining), the output.
    void progress(int percent, const QString& current, const QString& output);
    void finished(const JobResult& result);

private:
    void onDescribed(const QString& path, const FileStamp& stamp, const MediaFacts& facts);
    void concludeCheck();
    // Reads each part's track times and length.
    void readParts();
    // Plans each part's sound (`fill`: silence may complete sound that starts late or stops
    // short).
    void planSound(bool fill);
    void convertNext();
    // Fails the merge when the part about to be read is no longer the file that was checked
    // (replaced, rewritten, cut short).
    bool partChanged();
    void convertPart();
    // The sound files the part being converted is made of (see changeToTsArguments).
    QStringList soundPieces(const MergeSoundPlan& plan);
    void join();
    void onConverted(const ToolResult& result);
    void onJoined(const ToolResult& result);
    void onOutput(ToolRun* run, bool joining);
    void conclude(JobResult::Kind kind, const QString& reason = QString());

    ProbeCache m_cache;
    BatchProbe m_prober;
    ToolRun* m_convert = nullptr;
    ToolRun* m_join = nullptr;

    MergeRequest m_request;
    QVector<MediaFacts> m_facts; // of m_request.inputs, in order
    QVector<FileStamp> m_stamps; // of m_request.inputs when they were described
    QStringList m_unknown;       // inputs the check has to describe
    bool m_busy = false;
    bool m_merging = false; // start(), not only check()
    bool m_canceled = false;

    std::unique_ptr<QTemporaryDir> m_work;
    WorkLock m_workLock; // tells a start after a crash that the folder is not a leftover
    QString m_outputPath;
    QStringList m_tsNames;
    struct Part {
        IsoTrackEnds ends;
        double seconds = -1; // from its first timestamp to its picture's end (-1: unknown)
        MergeSoundPlan sound;
    };
    QVector<Part> m_parts; // of m_request.inputs, in order
    // The conversion run's current step: the silence some parts' sound is completed with, a
    // part's sound copied out to be completed, a part converted.
    enum class Step { Silence, Sound, Part };
    Step m_step = Step::Part;
    int m_index = 0; // input being converted, from 0
    MergeProgress m_progress;
    double m_writtenSeconds = -1; // time= of the current run's last progress record
    double m_expectedSeconds = 0; // the lengths of the parts converted, added up
};
