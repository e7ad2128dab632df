// Describes many media files in the background with few runs of the media tool: each run
// describes a batch of files (`tool -hide_banner -i A -i B ...`), and a few runs go at once.
#pragma once

#include "library/MediaProbe.h"
#include "library/ProbeCache.h"
#include "media/ToolRun.h"

#include <QList>
#include <QObject>
#include <QStringList>

class BatchProbe final : public QObject
{
    Q_OBJECT
public:
    explicit BatchProbe(QObject* parent = nullptr);

    // The media tool to run (default: ToolRun::defaultProgram()); applies to the next runs.
    void setProgram(const QString& program) { m_program = program; }
    QString program() const { return m_program; }
    // Runs going at once (default: one per processor, 1 to 4).
    void setLanes(int lanes);
    // Files one run describes at most (default: 48, fewer under a low open-file limit).
    void setBatchLimit(int limit);
    // How much each file is described (default: Streams); applies to the next start(). At
    // Duration, a file whose duration that depth cannot give exactly (see durationOnlyIsExact)
    // or that it cannot open is described again in full, so every duration is the one the
    // one-file probe gives; MediaFacts::detailed tells which facts are whole.
    void setDepth(DescribeDepth depth) { m_depth = depth; }

    // Describes `paths` (absolute paths), dropping whatever the previous call still had to do.
    // Never blocks. Each file gets exactly one described(), then finished() follows once; with
    // no paths, finished() follows from the event loop.
    void start(const QStringList& paths);
    // Drops what is still to be described and stops the runs going; no more signals follow
    // for the dropped work.
    void cancel();
    // The last start() has not finished yet.
    bool isRunning() const { return m_active; }
    // Why the tool could not be started for the last start() (its files are then described
    // as unreadable, but nothing is known about them); empty when it could.
    QString startFailure() const { return m_startFailure; }

Q_SIGNALS:
    // What the tool said about `path`, which was as `stamp` says when the run started;
    // facts.opened is false when it could not read it (or could not be started at all).
    void described(const QString& path, const FileStamp& stamp, const MediaFacts& facts);
    // Every file of the last start() has been described.
    void finished();

private:
    struct Batch {
        QStringList paths;
        DescribeDepth depth = DescribeDepth::Streams;
    };
    struct Lane {
        ToolRun* run = nullptr;
        DescribeDepth depth = DescribeDepth::Streams;
        QStringList batch;
        QVector<FileStamp> stamps; // of the batch's files, taken before the run
        QString text;
    };
    void fill();
    void launch(Lane& lane, const Batch& batch);
    // Emits described() for file `index` of `lane`'s batch; false when a handler started or
    // canceled meanwhile.
    bool report(const Lane& lane, qsizetype index, const MediaFacts& facts);
    void onLaneFinished(ToolRun* run, const ToolResult& result);
    void concludeIfDone();
    void retire(Lane& lane);

    QString m_program;
    int m_lanes = 2;
    int m_batchLimit = 48;
    QList<Lane> m_running;  // lanes with a run of the current work
    QList<Batch> m_batches; // batches still to run, in order
    DescribeDepth m_depth = DescribeDepth::Streams;
    qsizetype m_left = 0;     // files still to be reported
    quint64 m_generation = 0; // bumped by start() and cancel()
    bool m_active = false;    // between start() and its finished()
    QString m_startFailure;
};
