// Describes many media files in the background with few runs of the media tool.
#include "library/BatchProbe.h"

#include "library/FolderScan.h"

#include <QThread>
#include <QTimer>

#include <algorithm>
#include <sys/resource.h>

namespace
{

constexpr int kMostLanes = 4;
constexpr int kMostPerRun = 48;
// A describing run may take long on a slow disk, but never forever.
constexpr int kRunLimitMs = 30000;
constexpr int kRunLimitPerFileMs = 500;
// A run that is no longer wanted gets this long for "q" and then for terminate.
constexpr int kStopGraceMs = 300;

qint64 openFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 1024;
    return qint64(limit.rlim_cur);
}

} // namespace

BatchProbe::BatchProbe(QObject* parent)
    : QObject(parent), m_program(ToolRun::defaultProgram()),
      m_lanes(std::clamp(QThread::idealThreadCount(), 1, kMostLanes)),
      m_batchLimit(describeBatchLimit(openFileLimit(), kMostPerRun))
{
}

void BatchProbe::setLanes(int lanes)
{
    m_lanes = std::max(1, lanes);
}

void BatchProbe::setBatchLimit(int limit)
{
    m_batchLimit = std::max(1, limit);
}

void BatchProbe::start(const QStringList& paths)
{
    cancel();
    m_startFailure.clear();
    const quint64 generation = m_generation;
    m_active = true;
    m_left = paths.size();
    qsizetype at = 0;
    for (const int size : planDescribeBatches(int(paths.size()), m_lanes, m_batchLimit)) {
        m_batches.append({paths.mid(at, size), m_depth});
        at += size;
    }
    if (paths.isEmpty()) {
        QTimer::singleShot(0, this, [this, generation] {
            if (generation == m_generation)
                concludeIfDone();
        });
        return;
    }
    fill();
}

void BatchProbe::cancel()
{
    ++m_generation;
    m_batches.clear();
    m_left = 0;
    m_active = false;
    for (Lane& lane : m_running)
        retire(lane);
    m_running.clear();
}

void BatchProbe::retire(Lane& lane)
{
    // The run is stopped and the object goes once it has ended; its result is not wanted.
    ToolRun* run = lane.run;
    run->disconnect(this);
    connect(run, &ToolRun::finished, run, &QObject::deleteLater);
    run->cancel();
    if (!run->isRunning())
        run->deleteLater();
}

void BatchProbe::fill()
{
    while (m_running.size() < m_lanes && !m_batches.isEmpty()) {
        m_running.append(Lane());
        launch(m_running.last(), m_batches.takeFirst());
    }
}

void BatchProbe::launch(Lane& lane, const Batch& batch)
{
    lane.run = new ToolRun(this);
    lane.depth = batch.depth;
    lane.batch = batch.paths;
    for (const QString& path : lane.batch)
        lane.stamps.append(fileStampOf(path));
    ToolRun* run = lane.run;
    run->setProgram(m_program);
    run->setStopGrace(kStopGraceMs);
    run->setTimeLimit(kRunLimitMs + kRunLimitPerFileMs * int(lane.batch.size()));
    connect(run, &ToolRun::readyRead, this, [this, run] {
        for (Lane& l : m_running) {
            if (l.run == run) {
                for (const QString& line : run->takeLines())
                    l.text += line + QLatin1Char('\n');
            }
        }
    });
    connect(run, &ToolRun::finished, this,
            [this, run](const ToolResult& result) { onLaneFinished(run, result); });
    qCDebug(lcLibrary) << "describing" << lane.batch.size() << "files in one run";
    run->start(describeArguments(lane.batch, lane.depth));
}

bool BatchProbe::report(const Lane& lane, qsizetype index, const MediaFacts& facts)
{
    const quint64 generation = m_generation;
    --m_left;
    Q_EMIT described(lane.batch.at(index), lane.stamps.value(index), facts);
    return generation == m_generation;
}

void BatchProbe::onLaneFinished(ToolRun* run, const ToolResult& result)
{
    const auto it = std::find_if(m_running.begin(), m_running.end(),
                                 [run](const Lane& l) { return l.run == run; });
    if (it == m_running.end())
        return;
    const Lane lane = *it;
    m_running.erase(it);
    run->deleteLater();

    const bool saidNothing = result.status != ToolResult::Status::Canceled &&
                             !lane.batch.isEmpty() && !toolSpokeOf(lane.text, lane.batch.first());
    if (result.status == ToolResult::Status::FailedToStart || saidNothing) {
        // Without the tool nothing can be described: every file is done with at once.
        m_startFailure = describeToolResult(result);
        qCWarning(lcLibrary).noquote() << "cannot describe files:" << m_startFailure;
        Lane rest = lane;
        for (const Batch& batch : std::as_const(m_batches)) {
            rest.batch += batch.paths;
            for (const QString& path : batch.paths)
                rest.stamps.append(fileStampOf(path));
        }
        m_batches.clear();
        for (qsizetype i = 0; i < rest.batch.size(); ++i) {
            if (!report(rest, i, MediaFacts()))
                return;
        }
        concludeIfDone();
        return;
    }

    const QVector<MediaFacts> facts = parseInputDescriptions(lane.text);
    const qsizetype done = std::min<qsizetype>(facts.size(), lane.batch.size());
    const bool quick = lane.depth == DescribeDepth::Duration;
    Batch again; // described quickly, but to be described in full
    for (qsizetype i = 0; i < done; ++i) {
        MediaFacts described = facts.at(i);
        described.detailed = !quick;
        if (quick && !durationOnlyIsExact(described)) {
            again.paths.append(lane.batch.at(i));
            continue;
        }
        if (!report(lane, i, described))
            return;
    }
    if (done < lane.batch.size()) {
        // The tool stops at the first input it cannot open: that one is unreadable (a quick
        // look is confirmed in full first), and the files after it get a run of their own.
        qCDebug(lcLibrary).noquote()
            << "cannot describe" << lane.batch.at(done) << "-" << describeToolResult(result);
        const QStringList rest = lane.batch.mid(done + 1);
        if (!rest.isEmpty())
            m_batches.prepend({rest, lane.depth});
        if (quick)
            again.paths.append(lane.batch.at(done));
        else if (!report(lane, done, MediaFacts()))
            return;
    }
    if (!again.paths.isEmpty())
        m_batches.prepend(again);
    fill();
    concludeIfDone();
}

void BatchProbe::concludeIfDone()
{
    if (!m_active || m_left > 0 || !m_running.isEmpty() || !m_batches.isEmpty())
        return;
    m_active = false;
    Q_EMIT finished();
}
