// A frame-exact cut as one asynchronous job.
#include "cut/SmartCutter.h"

#include "cut/CutLogic.h"
#include "dialogs/JobText.h"
#include "media/ToolRun.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace
{

bool joinFailureMayBeTheFiles(FailureCause cause)
{
    switch (cause) {
    case FailureCause::DiskFull:
    case FailureCause::NotWritable:
    case FailureCause::ToolMissing:
    case FailureCause::ToolStopped:
    case FailureCause::InputMissing:
        return false;
    default:
        return true;
    }
}

const QString kTable = QStringLiteral("table.crc");
const QString kFirst = QStringLiteral("first.bin");
const QString kHead = QStringLiteral("head.mp4");
const QString kBody = QStringLiteral("body.mp4");
const QString kTail = QStringLiteral("tail.mp4");
const QString kList = QStringLiteral("pieces.ffconcat");

// Rough costs for the progress bar, in seconds of this machine's work: a run's start-up, a
// second of media copied, a million pixels encoded.
constexpr double kRunWeight = 0.25;
constexpr double kCopyWeight = 0.006;
constexpr double kEncodeWeight = 0.008;

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The format name and the index of the first video stream of input #0 in the tool's
// description of its inputs.
void readInputLayout(const QStringList& lines, QString* container, int* videoStream)
{
    static const QRegularExpression inputRe(QStringLiteral("^Input #(\\d+), (.*), from '"));
    static const QRegularExpression videoRe(QStringLiteral("^\\s*Stream #0:(\\d+)\\S*: Video: "));
    bool inFirst = false;
    for (const QString& line : lines) {
        if (const QRegularExpressionMatch m = inputRe.match(line); m.hasMatch()) {
            inFirst = m.captured(1) == QLatin1String("0");
            if (inFirst)
                *container = m.captured(2);
            continue;
        }
        if (line.startsWith(QLatin1String("Output #")))
            return;
        if (const QRegularExpressionMatch m = videoRe.match(line); inFirst && m.hasMatch()) {
            *videoStream = m.captured(1).toInt();
            return;
        }
    }
}

SmartCutResult canceledResult()
{
    SmartCutResult result;
    result.outcome = SmartCutResult::Outcome::Canceled;
    return result;
}

int pixelsOf(const QString& size)
{
    const QStringList parts = size.split(QLatin1Char('x'));
    return parts.size() == 2 ? parts.at(0).toInt() * parts.at(1).toInt() : 1920 * 1080;
}

} // namespace

SmartCutter::SmartCutter(QObject* parent) : QObject(parent), m_run(new ToolRun(this))
{
    qRegisterMetaType<SmartCutResult>();
    // A damaged input is read to its end and the tool exits 0: its own words tell.
    m_run->setFailureMarkers(QStringList{QStringLiteral("Invalid data")} + damageMarkers());
    connect(m_run, &ToolRun::readyRead, this, &SmartCutter::onLines);
    connect(m_run, &ToolRun::finished, this, &SmartCutter::onRunFinished);
}

SmartCutter::~SmartCutter()
{
    // The tool goes first, so that nothing writes into what is removed next.
    delete m_run;
    if (m_running && !m_output.isEmpty())
        QFile::remove(m_output);
}

void SmartCutter::setProgram(const QString& program)
{
    m_run->setProgram(program);
}

bool SmartCutter::start(const QString& source, double startSeconds, double endSeconds,
                        const QString& outputPath)
{
    if (m_running)
        return false;
    m_running = true;
    m_canceled = false;
    m_trace = true;
    m_source = QFileInfo(source).absoluteFilePath();
    m_output = QFileInfo(outputPath).absoluteFilePath();
    m_startMark = startSeconds;
    m_endMark = endSeconds;
    m_src = CutSource();
    m_plan = CutPlan();
    m_headShift = 0;
    m_percent = 0;
    m_doneWeight = 0;

    // Compared in milliseconds: the marks may have fractions.
    QString problem = CutSpanProblem(qint64(std::floor(startSeconds * 1000)),
                                     qint64(std::floor(endSeconds * 1000)));
    if (problem.isEmpty() && startSeconds < 0)
        problem = QStringLiteral("The start must not lie before the beginning of the file.");
    if (problem.isEmpty()) {
        // Beside the output, so that nothing crosses file systems and the folder's owner
        // sees where the space went; hidden, so no folder list shows it.
        m_work =
            std::make_unique<QTemporaryDir>(QDir(QFileInfo(m_output).absolutePath())
                                                .filePath(QStringLiteral(".vistrel-cut-XXXXXX")));
        if (!m_work->isValid())
            problem = jobFailureText(JobKind::Cut, FailureCause::NotWritable,
                                     QFileInfo(m_output).absolutePath(), m_work->errorString());
        else
            m_workLock.acquire(m_work->path());
    }
    if (!problem.isEmpty()) {
        // Told after start() returns, as every other outcome.
        QTimer::singleShot(0, this, [this, problem] {
            if (m_canceled)
                finish(canceledResult());
            else
                fail(problem);
        });
        return true;
    }
    // Until the probe has told the plan: a probe, a second of 1080p pictures and a join.
    m_totalWeight = stepWeight(Step::Probe) + 2 * kRunWeight + 30 * 2.07 * kEncodeWeight +
                    (endSeconds - startSeconds) * kCopyWeight;
    runStep(Step::Probe);
    return true;
}

void SmartCutter::cancel()
{
    if (!m_running || m_canceled)
        return;
    m_canceled = true;
    m_run->cancel();
}

double SmartCutter::stepWeight(Step step) const
{
    const double megapixels = pixelsOf(m_src.facts.size) / 1e6;
    switch (step) {
    case Step::Probe:
        return kRunWeight + probeWindowLength(m_startMark, m_endMark) * kCopyWeight;
    case Step::Head:
        return kRunWeight + m_plan.head.count * megapixels * kEncodeWeight;
    case Step::Tail:
        return kRunWeight + m_plan.tail.count * megapixels * kEncodeWeight;
    case Step::Body:
        return kRunWeight + m_plan.bodyDurationUs / 1e6 * kCopyWeight;
    case Step::Join:
    case Step::KeyframeCut:
        return kRunWeight + 2 * (m_endMark - m_startMark) * kCopyWeight;
    }
    return kRunWeight;
}

double SmartCutter::remainingWeight(Step after) const
{
    double sum = 0;
    for (Step step = stepAfter(after);; step = stepAfter(step)) {
        sum += stepWeight(step);
        if (step == Step::Join || step == Step::KeyframeCut)
            return sum;
    }
}

SmartCutter::Step SmartCutter::stepAfter(Step done) const
{
    if (m_plan.fallback != CutFallback::None)
        return Step::KeyframeCut;
    switch (done) {
    case Step::Probe:
        if (m_plan.head.count > 0)
            return Step::Head;
        [[fallthrough]];
    case Step::Head:
        if (m_plan.bodyCopied)
            return Step::Body;
        [[fallthrough]];
    case Step::Body:
        if (m_plan.tail.count > 0)
            return Step::Tail;
        [[fallthrough]];
    default:
        return Step::Join;
    }
}

void SmartCutter::report(double stepFraction)
{
    const double done = m_doneWeight + stepWeight(m_step) * std::clamp(stepFraction, 0.0, 1.0);
    const int percent = std::min(99, int(std::floor(100.0 * done / m_totalWeight)));
    if (percent > m_percent) {
        m_percent = percent;
        Q_EMIT progressChanged(percent);
    }
}

void SmartCutter::runStep(Step step)
{
    m_step = step;
    m_lines.clear();
    QStringList args;
    QString expected;
    m_stepOrigin = 0;
    switch (step) {
    case Step::Probe: {
        const CutProbeFiles files{m_work->filePath(kTable), m_work->filePath(kFirst)};
        const double from = probeWindowStart(m_startMark);
        args = cutProbeArguments(m_source, from, probeWindowLength(m_startMark, m_endMark), files,
                                 m_trace);
        expected = files.table;
        // The window keeps the file's own times, so its progress starts where it starts.
        m_stepOrigin = from;
        m_stepLength = probeWindowLength(m_startMark, m_endMark);
        break;
    }
    case Step::Head:
    case Step::Tail: {
        const EncodePiece& piece = step == Step::Head ? m_plan.head : m_plan.tail;
        expected = m_work->filePath(step == Step::Head ? kHead : kTail);
        args = encodePieceArguments(m_source, m_plan, piece, expected);
        m_stepLength = piece.durationUs / 1e6;
        break;
    }
    case Step::Body:
        expected = m_work->filePath(kBody);
        args = bodyCopyArguments(m_plan, m_source, expected);
        m_stepLength = m_plan.bodyDurationUs / 1e6;
        break;
    case Step::Join: {
        QFile list(m_work->filePath(kList));
        if (!list.open(QIODevice::WriteOnly) ||
            list.write(cutConcatList(m_plan, m_source, kHead, kBody, kTail).toUtf8()) < 0 ||
            !list.flush()) {
            fail(jobFailureText(JobKind::Cut, FailureCause::NotWritable,
                                QFileInfo(m_output).absolutePath(), list.errorString()));
            return;
        }
        list.close();
        args = cutJoinArguments(m_plan, list.fileName(), m_source, m_headShift, m_output);
        expected = m_output;
        m_stepLength = m_plan.frames > 0 ? (m_endMark - m_startMark) : 0;
        break;
    }
    case Step::KeyframeCut:
        args = keyframeCutArguments(m_plan, m_source, m_output);
        expected = m_output;
        m_stepLength = m_endMark - m_startMark;
        break;
    }
    m_run->setExpectedOutput(expected);
    if (!m_run->start(args))
        fail(QStringLiteral("The cut failed: the media tool is still busy."));
}

void SmartCutter::onLines()
{
    for (const QString& line : m_run->takeLines()) {
        m_lines.append(line);
        const ProgressRecord record = parseProgressRecord(line);
        if (record.valid && record.timeSeconds >= 0 && m_stepLength > 0)
            report((record.timeSeconds - m_stepOrigin) / m_stepLength);
    }
}

void SmartCutter::onRunFinished(const ToolResult& result)
{
    if (!m_running)
        return;
    if (m_canceled || result.status == ToolResult::Status::Canceled) {
        finish(canceledResult());
        return;
    }
    m_doneWeight += stepWeight(m_step);
    switch (m_step) {
    case Step::Probe:
        afterProbe(result);
        break;
    case Step::Head:
    case Step::Tail:
        afterPiece(result);
        break;
    case Step::Body:
        afterBody(result);
        break;
    case Step::Join:
    case Step::KeyframeCut:
        afterJoin(result);
        break;
    }
}

void SmartCutter::afterProbe(const ToolResult& result)
{
    if (!result.ok()) {
        // The header trace knows a few codecs only; for the others the cut copies anyway.
        const bool traceRefused =
            std::any_of(m_lines.cbegin(), m_lines.cend(), [](const QString& line) {
                return line.contains(QLatin1String("not supported by the bitstream filter"));
            });
        if (m_trace && traceRefused) {
            m_trace = false;
            m_doneWeight -= stepWeight(Step::Probe);
            runStep(Step::Probe);
            return;
        }
        qCWarning(lcCut).noquote() << "cut probe failed:" << describeToolResult(result);
        const bool noPicture =
            std::any_of(m_lines.cbegin(), m_lines.cend(), [](const QString& line) {
                return line.startsWith(QLatin1String("Stream map '0:v:0' matches no streams"));
            });
        fail(noPicture ? QStringLiteral("Clip failed: %1 has no picture to cut.")
                             .arg(QFileInfo(m_source).fileName())
                       : failureText(result));
        return;
    }
    const QVector<MediaFacts> facts = parseInputDescriptions(m_lines.join(QLatin1Char('\n')));
    m_src.facts = facts.value(0);
    readInputLayout(m_lines, &m_src.container, &m_src.videoStream);
    m_src.startTime = inputStartSeconds(m_lines);
    const PacketTables tables = parseFrameCrc(QString::fromUtf8(readAll(m_work->filePath(kTable))));
    m_src.video = tables.first;
    m_src.audio = tables.second;
    if (m_trace)
        m_src.trace = parseHeaderTrace(m_lines);
    m_src.x264Info = x264InfoIn(readAll(m_work->filePath(kFirst)));

    m_plan = planSmartCut(m_src, m_startMark, m_endMark);
    if (!m_plan.failure.isEmpty()) {
        qCWarning(lcCut).noquote() << "cut refused:" << m_plan.failure
                                   << cutFallbackText(m_plan.fallback) << m_plan.fallbackDetail;
        fail(m_plan.failure);
        return;
    }
    if (m_plan.fallback != CutFallback::None)
        qCInfo(lcCut).noquote() << "cut from a keyframe:" << cutFallbackText(m_plan.fallback)
                                << m_plan.fallbackDetail;
    else
        qCInfo(lcCut).noquote() << "frame-exact cut:" << m_plan.head.count << "pictures re-encoded,"
                                << m_plan.bodyFrames << "copied," << m_plan.tail.count
                                << "re-encoded at the end; x264" << m_plan.settings.preset
                                << m_plan.settings.params;
    m_totalWeight = m_doneWeight + remainingWeight(Step::Probe);
    runStep(stepAfter(Step::Probe));
}

void SmartCutter::afterPiece(const ToolResult& result)
{
    const bool head = m_step == Step::Head;
    const EncodePiece& piece = head ? m_plan.head : m_plan.tail;
    if (!result.ok()) {
        fallBack(CutFallback::Check,
                 QStringLiteral("encoding failed: ") + describeToolResult(result));
        return;
    }
    const HeaderTrace trace = parseHeaderTrace(m_lines);
    const QString problem = encodedPieceProblem(m_src, piece, trace);
    if (!problem.isEmpty()) {
        fallBack(CutFallback::Check,
                 (head ? QStringLiteral("head: ") : QStringLiteral("tail: ")) + problem);
        return;
    }
    if (head)
        m_headShift = headDecodeShift(m_plan, trace);
    runStep(stepAfter(m_step));
}

void SmartCutter::afterBody(const ToolResult& result)
{
    if (!result.ok()) {
        fallBack(CutFallback::Check, QStringLiteral("body: ") + describeToolResult(result));
        return;
    }
    runStep(stepAfter(Step::Body));
}

void SmartCutter::afterJoin(const ToolResult& result)
{
    const int frames = framesWritten(m_lines);
    if (result.ok() && frames == m_plan.frames) {
        SmartCutResult saved;
        saved.outcome = SmartCutResult::Outcome::Saved;
        saved.outputPath = m_output;
        saved.exact = m_plan.exact;
        saved.startSeconds = m_plan.startUs / 1e6;
        if (m_plan.fallback != CutFallback::None)
            saved.fallbackReason = cutFallbackText(m_plan.fallback) +
                                   (m_plan.fallbackDetail.isEmpty()
                                        ? QString()
                                        : QStringLiteral(" (%1)").arg(m_plan.fallbackDetail));
        finish(saved);
        return;
    }
    const QString detail =
        result.ok()
            ? QStringLiteral("%1 pictures written instead of %2").arg(frames).arg(m_plan.frames)
            : describeToolResult(result);
    // A join the file itself may have failed is done again as a copy from a keyframe; a full
    // disk, a killed tool or a vanished folder would only fail it again, or hide the cause
    // behind a later start.
    if (m_step == Step::Join && (result.ok() || joinFailureMayBeTheFiles(result.cause))) {
        fallBack(CutFallback::Check, QStringLiteral("join: ") + detail);
        return;
    }
    qCWarning(lcCut).noquote() << "cut failed:" << detail;
    fail(result.ok() ? jobFailureText(JobKind::Cut, FailureCause::InputDamaged,
                                      QFileInfo(m_source).fileName(), detail)
                     : failureText(result));
}

void SmartCutter::fallBack(CutFallback reason, const QString& detail)
{
    qCInfo(lcCut).noquote() << "frame-exact cut abandoned, copying from a keyframe:"
                            << cutFallbackText(reason) << detail;
    m_plan = planKeyframeCut(m_src, m_startMark, m_endMark, reason, detail);
    if (!m_plan.failure.isEmpty()) {
        fail(m_plan.failure);
        return;
    }
    m_totalWeight = std::max(m_totalWeight, m_doneWeight + stepWeight(Step::KeyframeCut));
    runStep(Step::KeyframeCut);
}

QString SmartCutter::failureText(const ToolResult& result) const
{
    return jobFailureText(JobKind::Cut, result, m_source, QFileInfo(m_output).absolutePath());
}

void SmartCutter::fail(const QString& sentence)
{
    SmartCutResult failed;
    failed.failure = sentence;
    finish(failed);
}

void SmartCutter::finish(SmartCutResult result)
{
    m_running = false;
    if (m_work) {
        m_work->remove();
        m_work.reset();
        m_workLock.release();
    }
    if (result.outcome != SmartCutResult::Outcome::Saved && !m_output.isEmpty())
        QFile::remove(m_output);
    qCInfo(lcCut).noquote() << "cut of" << m_source << "ended:"
                            << (result.outcome == SmartCutResult::Outcome::Saved      ? "saved"
                                : result.outcome == SmartCutResult::Outcome::Canceled ? "canceled"
                                                                                      : "failed")
                            << result.failure << result.fallbackReason;
    Q_EMIT finished(result);
}
