// The merge job: check, one conversion per input, one join, move into place.
#include "merge/MergeJob.h"

#include "dialogs/JobText.h"
#include "media/OutputCheck.h"
#include "media/ToolRun.h"
#include "merge/MergeCommands.h"
#include "merge/MergeProbe.h"
#include "support/Helpers.h"
#include "support/WorkingFile.h"

#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcMerge, "vistrel.merge")

namespace
{

const QString kJoinedName = QStringLiteral("joined.mp4");
const QString kSilenceName = QStringLiteral("silence.aac");
// A part shorter than its input says by more than this is a damaged input, not rounding.
constexpr double kShortByMoreThan = 0.5;

QString seconds1(double seconds)
{
    return QString::number(seconds, 'f', 1);
}

// Room a merge takes while it works, as a multiple of its parts' size: their transport streams
// and the joined file.
constexpr double kSpaceFactor = 2.1;

double inputBytes(const QStringList& inputs)
{
    double bytes = 0;
    for (const QString& path : inputs)
        bytes += double(QFileInfo(path).size());
    return bytes;
}

} // namespace

MergeJob::MergeJob(QObject* parent)
    : QObject(parent), m_convert(new ToolRun(this)), m_join(new ToolRun(this))
{
    connect(&m_prober, &BatchProbe::described, this, &MergeJob::onDescribed);
    connect(&m_prober, &BatchProbe::finished, this, &MergeJob::concludeCheck);
    // A damaged input is read to its end and the tool exits 0: its own words tell. The join
    // reads the concatenated parts, whose every seam the tool calls a corrupt packet: there
    // only the joined length tells.
    m_convert->setFailureMarkers(QStringList{QStringLiteral("Invalid data")} + damageMarkers());
    m_join->setFailureMarkers({QStringLiteral("Invalid data"), QStringLiteral("No such file")});
    connect(m_convert, &ToolRun::readyRead, this, [this] { onOutput(m_convert, false); });
    connect(m_join, &ToolRun::readyRead, this, [this] { onOutput(m_join, true); });
    connect(m_convert, &ToolRun::finished, this, &MergeJob::onConverted);
    connect(m_join, &ToolRun::finished, this, &MergeJob::onJoined);
}

MergeJob::~MergeJob() = default;

void MergeJob::setProgram(const QString& program)
{
    m_prober.setProgram(program);
    m_convert->setProgram(program);
    m_join->setProgram(program);
}

bool MergeJob::start(const MergeRequest& request)
{
    if (!check(request))
        return false;
    m_merging = true;
    m_outputPath = mergeOutputPath(request.outputFolder, request.startTime);
    return true;
}

bool MergeJob::check(const MergeRequest& request)
{
    if (m_busy)
        return false;
    m_busy = true;
    m_merging = false;
    m_canceled = false;
    m_request = request;
    m_facts = QVector<MediaFacts>(request.inputs.size());
    m_stamps = QVector<FileStamp>(request.inputs.size());
    m_unknown.clear();

    // Files queued from more than one folder are named by their paths when missing.
    QSet<QString> folders;
    for (const QString& path : request.inputs)
        folders.insert(QFileInfo(path).absolutePath());
    QStringList missing;
    for (qsizetype i = 0; i < request.inputs.size(); ++i) {
        const QString& path = request.inputs.at(i);
        const QString name = folders.size() > 1 ? path : QFileInfo(path).fileName();
        const FileStamp stamp = fileStampOf(path);
        if (!QFileInfo(path).isFile()) {
            if (!missing.contains(name))
                missing.append(name);
        } else if (const MediaFacts* known = m_cache.find(path, stamp); known && known->detailed) {
            // Described in full since it last changed: no run of its own.
            m_facts[i] = *known;
            m_stamps[i] = stamp;
        } else if (!m_unknown.contains(path)) {
            m_unknown.append(path);
        }
    }
    const QFileInfo outDir(request.outputFolder);
    const qint64 need = qint64(kSpaceFactor * inputBytes(request.inputs));
    QString refusal;
    if (!missing.isEmpty()) {
        refusal =
            QStringLiteral("Merge failed, these files are no longer in the video directory:\n") +
            missing.join(QLatin1Char('\n'));
    } else if (request.outputFolder.isEmpty() || !outDir.isDir() || !outDir.isWritable()) {
        const QString why = !outDir.isDir() ? QStringLiteral("it does not exist")
                                            : FolderProblem(request.outputFolder);
        refusal = QStringLiteral("Merge failed, the folder %1 cannot be written to (%2).")
                      .arg(request.outputFolder, why);
    } else if (const qint64 free = qint64(GetFreeSpace(request.outputFolder)); free < need) {
        // The parts' transport streams (a little larger than the parts) and the joined file
        // are both in the output folder before the streams go: found out at the end, a long
        // merge would fail there.
        const auto size = [](qint64 bytes) {
            return QString::fromStdString(GetFileSizeString(bytes));
        };
        refusal = QStringLiteral("Merge failed: the disk of %1 has %2 free; the merge needs about "
                                 "%3 while it works.")
                      .arg(request.outputFolder, size(free), size(need));
    }
    if (!refusal.isEmpty()) {
        m_unknown.clear();
        QTimer::singleShot(0, this, [this, refusal] {
            m_busy = false;
            Q_EMIT checked(refusal);
            if (m_merging)
                conclude(JobResult::Kind::Failed, refusal);
        });
        return true;
    }
    // Files nobody described yet: a few runs that describe many each.
    m_prober.start(m_unknown);
    return true;
}

void MergeJob::onDescribed(const QString& path, const FileStamp& stamp, const MediaFacts& facts)
{
    for (qsizetype i = 0; i < m_request.inputs.size(); ++i) {
        if (m_request.inputs.at(i) == path) {
            m_facts[i] = facts;
            m_stamps[i] = stamp;
        }
    }
    if (m_prober.startFailure().isEmpty())
        m_cache.insert(path, stamp, facts);
}

void MergeJob::concludeCheck()
{
    QString refusal;
    if (m_canceled) {
        m_busy = false;
        if (m_merging)
            conclude(JobResult::Kind::Canceled);
        return;
    }
    if (!m_prober.startFailure().isEmpty()) {
        refusal = QStringLiteral("Merge failed. ") + m_prober.startFailure();
    } else {
        QStringList names;
        for (const QString& path : std::as_const(m_request.inputs))
            names.append(QFileInfo(path).fileName());
        refusal = mergeRefusal(names, m_facts);
    }
    if (!refusal.isEmpty())
        qCWarning(lcMerge).noquote() << "merge refused:" << refusal;
    if (!m_merging) {
        m_busy = false;
        Q_EMIT checked(refusal);
        return;
    }
    Q_EMIT checked(refusal);
    if (!refusal.isEmpty()) {
        conclude(JobResult::Kind::Failed, refusal);
        return;
    }

    // The transport streams and the joined file live in a private folder beside the output
    // (same file system, so the final rename is a move); it goes in every outcome, and no
    // file of the user's in the output folder is ever touched.
    m_work = std::make_unique<QTemporaryDir>(
        mergeInputPath(m_request.outputFolder, QStringLiteral(".vistrel-merge-XXXXXX")));
    if (!m_work->isValid()) {
        qCWarning(lcMerge) << "cannot make a working folder in" << m_request.outputFolder << ":"
                           << m_work->errorString();
        conclude(JobResult::Kind::Failed,
                 jobFailureText(JobKind::Merge, FailureCause::NotWritable, m_request.outputFolder,
                                m_work->errorString()));
        return;
    }
    m_workLock.acquire(m_work->path());
    QVector<double> durations;
    m_expectedSeconds = 0;
    for (const MediaFacts& facts : std::as_const(m_facts))
        durations.append(facts.durationSeconds);
    m_progress.start(durations);
    m_tsNames.clear();
    m_index = 0;
    m_convert->setWorkingDirectory(m_work->path());
    readParts();
    planSound(true);
    int silence = 0;
    for (const Part& part : std::as_const(m_parts))
        silence = std::max({silence, part.sound.lead, part.sound.silence});
    if (silence == 0) {
        convertNext();
        return;
    }
    // Encoded once, as long as the longest gap; each part takes what it needs.
    m_step = Step::Silence;
    m_convert->setExpectedOutput(m_work->filePath(kSilenceName));
    m_convert->start(silenceArguments(m_facts.first(), silence, kSilenceName));
}

void MergeJob::readParts()
{
    m_parts.clear();
    for (qsizetype i = 0; i < m_request.inputs.size(); ++i) {
        const MediaFacts& facts = m_facts.at(i);
        Part part;
        part.ends = isoTrackEnds(QFileInfo(m_request.inputs.at(i)).absoluteFilePath());
        // A part begins at the file's first timestamp (an MP4's header counts its length from
        // 0) and, when its picture's end is known, ends there: sound running on is cut off.
        part.seconds = part.ends.video > 0 ? part.ends.video - std::max(0.0, facts.startSeconds)
                                           : facts.durationSeconds;
        m_parts.append(part);
    }
}

void MergeJob::planSound(bool fill)
{
    MergeSoundCarry carry;
    for (qsizetype i = 0; i < m_parts.size(); ++i) {
        Part& part = m_parts[i];
        const IsoTrackEnds& ends = part.ends;
        // The join takes each part from its first picture on, hidden ones included.
        const auto fromPicture = [&ends](double at) { return at > 0 ? at - ends.videoStart : -1; };
        part.sound =
            carry.planFor(m_facts.at(i), fromPicture(ends.video), ends.audioStart - ends.videoStart,
                          fromPicture(ends.audio), fill);
    }
}

void MergeJob::cancel()
{
    if (!m_busy || m_canceled)
        return;
    m_canceled = true;
    if (m_prober.isRunning()) {
        m_prober.cancel();
        QTimer::singleShot(0, this, &MergeJob::concludeCheck);
    } else if (m_convert->isRunning()) {
        m_convert->cancel();
    } else if (m_join->isRunning()) {
        m_join->cancel();
    }
}

void MergeJob::convertNext()
{
    if (m_index >= m_request.inputs.size()) {
        join();
        return;
    }
    if (partChanged())
        return;
    const QString input = QFileInfo(m_request.inputs.at(m_index)).absoluteFilePath();
    Q_EMIT progress(m_progress.percent(), input, m_outputPath);
    const MergeSoundPlan& plan = m_parts.at(m_index).sound;
    if (plan.lead == 0 && plan.silence == 0) {
        convertPart();
        return;
    }
    const QString sound = mergeSoundName(m_index + 1);
    m_step = Step::Sound;
    m_convert->setExpectedOutput(m_work->filePath(sound));
    m_convert->start(soundOnlyArguments(input, sound));
}

bool MergeJob::partChanged()
{
    const QString& input = m_request.inputs.at(m_index);
    if (fileStampOf(input) == m_stamps.at(m_index))
        return false;
    qCWarning(lcMerge).noquote() << input << "changed since it was checked";
    conclude(JobResult::Kind::Failed, QStringLiteral("Merge failed: %1 changed during the merge.")
                                          .arg(QFileInfo(input).fileName()));
    return true;
}

void MergeJob::convertPart()
{
    const QString input = QFileInfo(m_request.inputs.at(m_index)).absoluteFilePath();
    const MediaFacts& facts = m_facts.at(m_index);
    const Part& part = m_parts.at(m_index);
    QStringList pieces;
    if (part.sound.lead > 0 || part.sound.silence > 0)
        pieces = soundPieces(part.sound);
    m_tsNames.append(mergeTsName(m_index + 1));
    const QString tsPath = m_work->filePath(m_tsNames.last());
    m_step = Step::Part;
    m_convert->setExpectedOutput(tsPath);
    m_writtenSeconds = -1;
    m_convert->start(changeToTsArguments(input, tsPath, facts.videoCodec == QLatin1String("h264"),
                                         part.sound.packets, pieces, facts.startSeconds,
                                         part.ends.videoStart));
}

QStringList MergeJob::soundPieces(const MergeSoundPlan& plan)
{
    QStringList pieces;
    if (plan.lead > 0) {
        // As many packets of the silence as the lead takes.
        const QString lead = QStringLiteral("%1-lead.aac").arg(m_index + 1);
        QFile silence(m_work->filePath(kSilenceName));
        QFile out(m_work->filePath(lead));
        const QByteArray frames = silence.open(QIODevice::ReadOnly)
                                      ? adtsFrames(silence.readAll(), plan.lead)
                                      : QByteArray();
        if (!frames.isEmpty() && out.open(QIODevice::WriteOnly) &&
            out.write(frames) == frames.size() && out.flush())
            pieces << lead;
        else
            qCWarning(lcMerge) << "cannot write the silence before part" << m_index + 1 << ":"
                               << out.errorString();
    }
    pieces << mergeSoundName(m_index + 1);
    if (plan.silence > 0)
        pieces << kSilenceName;
    return pieces;
}

void MergeJob::onConverted(const ToolResult& result)
{
    if (m_canceled || result.status == ToolResult::Status::Canceled) {
        conclude(JobResult::Kind::Canceled);
        return;
    }
    if (m_step == Step::Silence) {
        // Without it the merge goes on with the gaps left open, each later sound a little early.
        if (!result.ok()) {
            qCWarning(lcMerge).noquote()
                << "silence for short sound failed:" << describeToolResult(result);
            planSound(false);
        }
        convertNext();
        return;
    }
    const QString input = m_request.inputs.at(m_index);
    if (m_step == Step::Sound) {
        // Sound the copy-out cannot take (AAC whose channels only a table inside it names) is
        // converted with the part, its gaps left open; a damaged input fails there.
        if (!result.ok()) {
            qCWarning(lcMerge).noquote()
                << "the sound of" << input << "cannot be completed:" << describeToolResult(result);
            m_parts[m_index].sound.lead = 0;
            m_parts[m_index].sound.silence = 0;
        }
        convertPart();
        return;
    }
    // Changed while it was read: what the run made of it (or its failure) is not the file's.
    if (partChanged())
        return;
    if (!result.ok()) {
        qCWarning(lcMerge).noquote()
            << "conversion of" << input << "failed:" << describeToolResult(result);
        conclude(JobResult::Kind::Failed,
                 jobFailureText(JobKind::Merge, result, input, m_request.outputFolder));
        return;
    }
    // An input cut short whose index still promises the whole length converts into a short
    // part, and the tool exits 0.
    const double expected = m_parts.at(m_index).seconds;
    if (expected > 0 && m_writtenSeconds >= 0 && expected - m_writtenSeconds > kShortByMoreThan) {
        const QString detail = QStringLiteral("it ends after %1 s of the %2 s it says it lasts")
                                   .arg(seconds1(m_writtenSeconds), seconds1(expected));
        qCWarning(lcMerge).noquote() << input << "is short:" << detail;
        conclude(JobResult::Kind::Failed, jobFailureText(JobKind::Merge, FailureCause::InputDamaged,
                                                         QFileInfo(input).fileName(), detail));
        return;
    }
    m_expectedSeconds += std::max(0.0, expected);
    m_progress.conversionDone(m_index);
    ++m_index;
    convertNext();
}

void MergeJob::join()
{
    m_join->setWorkingDirectory(m_work->path());
    m_join->setExpectedOutput(m_work->filePath(kJoinedName));
    m_writtenSeconds = -1;
    Q_EMIT progress(m_progress.percent(), m_outputPath, m_outputPath);
    m_join->start(joinArguments(m_tsNames, kJoinedName, m_facts.first()));
}

void MergeJob::onJoined(const ToolResult& result)
{
    // A cancel confirmed while the join was ending still means "no output".
    if (m_canceled || result.status == ToolResult::Status::Canceled) {
        conclude(JobResult::Kind::Canceled);
        return;
    }
    if (!result.ok()) {
        qCWarning(lcMerge).noquote() << "join failed:" << describeToolResult(result);
        conclude(JobResult::Kind::Failed,
                 jobFailureText(JobKind::Merge, result, m_outputPath, m_request.outputFolder));
        return;
    }
    // Each part was checked; half a second a part is what rounding may take away.
    const double allowed = kShortByMoreThan * double(m_request.inputs.size());
    if (m_writtenSeconds >= 0 && m_expectedSeconds - m_writtenSeconds > allowed) {
        const QString detail = QStringLiteral("lasts %1 s where its parts last %2 s")
                                   .arg(seconds1(m_writtenSeconds), seconds1(m_expectedSeconds));
        qCWarning(lcMerge).noquote() << "joined file too short:" << detail;
        conclude(JobResult::Kind::Failed,
                 jobFailureText(JobKind::Merge, FailureCause::Other, {},
                                QStringLiteral("the joined file ") + detail + QLatin1Char('.')));
        return;
    }
    // The join takes the streams it could describe; sound it could not is left out without a
    // word (a part's sound far into a file of a high rate).
    if (m_facts.first().hasAudio && isoTrackEnds(m_work->filePath(kJoinedName)).audio < 0) {
        qCWarning(lcMerge) << "joined file has no sound";
        conclude(JobResult::Kind::Failed,
                 jobFailureText(JobKind::Merge, FailureCause::Other, {},
                                QStringLiteral("the joined file has no sound, where its parts "
                                               "have.")));
        return;
    }
    QString error;
    const QString placed = MoveIntoPlace(m_work->filePath(kJoinedName), m_outputPath, &error);
    if (placed.isEmpty()) {
        qCWarning(lcMerge).noquote()
            << "cannot move the joined file to" << m_outputPath << ":" << error;
        conclude(JobResult::Kind::Failed, jobFailureText(JobKind::Merge, FailureCause::NotWritable,
                                                         m_request.outputFolder, error));
        return;
    }
    m_outputPath = placed;
    conclude(JobResult::Kind::Saved);
}

void MergeJob::onOutput(ToolRun* run, bool joining)
{
    for (const QString& line : run->takeLines()) {
        const ProgressRecord record = parseProgressRecord(line);
        if (!record.valid || record.timeSeconds < 0)
            continue;
        if (!joining && m_step != Step::Part)
            continue;
        m_writtenSeconds = record.timeSeconds;
        if (joining)
            Q_EMIT progress(m_progress.join(record.timeSeconds), m_outputPath, m_outputPath);
        else
            Q_EMIT progress(m_progress.conversion(m_index, record.timeSeconds),
                            QFileInfo(m_request.inputs.at(m_index)).absoluteFilePath(),
                            m_outputPath);
    }
}

void MergeJob::conclude(JobResult::Kind kind, const QString& reason)
{
    m_work.reset();
    m_workLock.release();
    m_busy = false;
    m_merging = false;
    qCInfo(lcMerge) << "merge of" << m_request.inputs.size() << "files into" << m_outputPath
                    << "ended with" << int(kind);
    Q_EMIT finished({kind, m_outputPath, reason});
}
