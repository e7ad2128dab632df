// Turns a recording's working file into its named MP4: trimmed to the first frame, index first.
#include "record/RecordingFinalizer.h"

#include "record/RecordCommand.h"
#include "record/RecordNames.h"
#include "support/Helpers.h"
#include "support/WorkingFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcFinalize, "vistrel.record.finalize")

namespace
{

// A working file this large is a recording even if the probe cannot say so: never removed.
constexpr qint64 kNeverDiscardBytes = 1024 * 1024;
// Room kept free beside the copy, so that finalising never fills the disk to the last byte.
constexpr qint64 kCopyHeadroomBytes = 1024 * 1024;

} // namespace

RecordingFinalizer::RecordingFinalizer(QObject* parent)
    : QObject(parent), m_probe(new ToolRun(this)), m_copy(new ToolRun(this))
{
    m_probe->setTimeLimit(30000);
    connect(m_probe, &ToolRun::readyRead, this, [this] { m_probeLines += m_probe->takeLines(); });
    connect(m_probe, &ToolRun::finished, this, &RecordingFinalizer::onProbeFinished);
    connect(m_copy, &ToolRun::readyRead, this, [this] { m_copy->takeLines(); });
    connect(m_copy, &ToolRun::finished, this, &RecordingFinalizer::onCopyFinished);
}

void RecordingFinalizer::setProgram(const QString& program)
{
    m_probe->setProgram(program);
    m_copy->setProgram(program);
}

bool RecordingFinalizer::start(const QString& workPath, const QString& finalPath)
{
    if (m_running)
        return false;
    m_running = true;
    m_aborted = false;
    m_workPath = workPath;
    m_finalPath = finalPath;
    m_tempPath.clear();
    m_probeLines.clear();
    qCInfo(lcFinalize).noquote() << "finalising" << workPath << "into" << finalPath;
    if (!QFileInfo::exists(workPath)) {
        concludeLater({FinalizeOutcome::Kind::Nothing, workPath, {}, {}});
        return true;
    }
    // An empty file needs no tool to judge it (a hung tool would hold the judgement up).
    if (QFileInfo(workPath).size() == 0) {
        QFile::remove(workPath);
        concludeLater({FinalizeOutcome::Kind::Nothing, workPath, {}, {}});
        return true;
    }
    m_probe->start(videoStartProbeArguments(workPath));
    return true;
}

void RecordingFinalizer::abort()
{
    if (!m_running || m_aborted)
        return;
    m_aborted = true;
    if (m_probe->isRunning())
        m_probe->cancel();
    else if (m_copy->isRunning())
        m_copy->cancel();
}

void RecordingFinalizer::onProbeFinished(const ToolResult& result)
{
    if (m_aborted) {
        conclude({FinalizeOutcome::Kind::Aborted, m_workPath, {}, {}});
        return;
    }
    const double start = videoStartSeconds(m_probeLines);
    const qint64 size = QFileInfo(m_workPath).size();
    if (start < 0) {
        const bool toolJudged = result.status == ToolResult::Status::Succeeded ||
                                result.status == ToolResult::Status::ExitCode ||
                                result.status == ToolResult::Status::Marker;
        // The tool opened the file and found no picture: the capture never delivered a
        // fragment (stopped before its first frame, or killed before its header was written).
        if ((toolJudged && size < kNeverDiscardBytes) || size == 0) {
            QFile::remove(m_workPath);
            conclude({FinalizeOutcome::Kind::Nothing, m_workPath, {}, {}});
            return;
        }
        keepAsIs(describeToolResult(result));
        return;
    }
    const QFileInfo finalInfo(m_finalPath);
    if (qint64(GetFreeSpace(finalInfo.absolutePath())) < size + kCopyHeadroomBytes) {
        keepAsIs(QStringLiteral("not enough free space for a finalised copy"));
        return;
    }
    QString error;
    m_tempPath = ReserveWorkingFile(m_finalPath, &error);
    if (m_tempPath.isEmpty()) {
        keepAsIs(QStringLiteral("the folder cannot take a finalised copy: ") + error);
        return;
    }
    m_tempLock.acquire(m_tempPath);
    m_copy->setExpectedOutput(m_tempPath);
    m_copy->start(finalizeArguments(m_workPath, start, m_tempPath));
}

void RecordingFinalizer::onCopyFinished(const ToolResult& result)
{
    if (m_aborted || result.status == ToolResult::Status::Canceled) {
        QFile::remove(m_tempPath);
        conclude({FinalizeOutcome::Kind::Aborted, m_workPath, {}, {}});
        return;
    }
    if (!result.ok()) {
        QFile::remove(m_tempPath);
        keepAsIs(describeToolResult(result));
        return;
    }
    QString error;
    const QString target = MoveIntoPlace(m_tempPath, m_finalPath, &error);
    if (target.isEmpty()) {
        QFile::remove(m_tempPath);
        keepAsIs(QStringLiteral("the finalised copy could not be moved into place: ") + error);
        return;
    }
    QFile::remove(m_workPath);
    conclude({FinalizeOutcome::Kind::Finalised, m_workPath, target, {}});
}

void RecordingFinalizer::keepAsIs(const QString& reason)
{
    qCWarning(lcFinalize).noquote() << "keeping" << m_workPath << "as it is:" << reason;
    // The fragmented working file plays as it is; only its lead-in is not trimmed.
    const QString target = MoveIntoPlace(m_workPath, m_finalPath);
    if (!target.isEmpty())
        conclude({FinalizeOutcome::Kind::KeptAsIs, m_workPath, target, reason});
    else
        conclude({FinalizeOutcome::Kind::KeptAsIs, m_workPath, m_workPath, reason});
}

void RecordingFinalizer::concludeLater(FinalizeOutcome outcome)
{
    QMetaObject::invokeMethod(
        this, [this, outcome] { conclude(outcome); }, Qt::QueuedConnection);
}

void RecordingFinalizer::conclude(const FinalizeOutcome& outcome)
{
    m_running = false;
    m_tempLock.release();
    qCInfo(lcFinalize).noquote() << "finalised" << outcome.workPath << "->" << outcome.finalPath
                                 << "kind" << int(outcome.kind);
    Q_EMIT finished(outcome);
}
