// The cut job: one stream-copy run of the tool into a hidden file, moved into place on success.
#include "cut/CutJob.h"

#include "cut/CutLogic.h"
#include "dialogs/JobText.h"
#include "media/ToolRun.h"
#include "support/Helpers.h"
#include "support/WorkingFile.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace
{

// A copy shorter than its span by more than this is a damaged input, not rounding.
constexpr double kShortByMoreThan = 0.5;

QString seconds1(double seconds)
{
    return QString::number(seconds, 'f', 1);
}

} // namespace

CutJob::CutJob(QObject* parent) : QObject(parent), m_run(new ToolRun(this))
{
    // A damaged input is read to its end and the tool exits 0: its own words tell.
    m_run->setFailureMarkers(QStringList{QStringLiteral("Invalid data")} + damageMarkers());
    connect(m_run, &ToolRun::readyRead, this, &CutJob::onOutput);
    connect(m_run, &ToolRun::finished, this, &CutJob::onRunFinished);
}

void CutJob::setProgram(const QString& program)
{
    m_run->setProgram(program);
}

bool CutJob::start(const CutRequest& request)
{
    if (m_running)
        return false;
    m_running = true;
    m_canceled = false;
    m_request = request;
    m_workPath.clear();
    m_outputPath = GetRealFileName(CutOutputPath(request.outputFolder, request.source));

    const QString problem = CutSpanProblem(request.startSeconds, request.endSeconds);
    QString error;
    if (problem.isEmpty())
        m_workPath = ReserveWorkingFile(m_outputPath, &error);
    if (m_workPath.isEmpty()) {
        const QString why = problem.isEmpty()
                                ? QStringLiteral("cannot write in the output folder: ") + error
                                : problem;
        qCWarning(lcCut).noquote() << "not cut:" << why;
        // Told from the event loop, as every other end is.
        QTimer::singleShot(0, this, [this, why] { conclude(JobResult::Kind::Failed, why); });
        return true;
    }
    m_tracker.reset(double(request.endSeconds - request.startSeconds));
    m_run->setExpectedOutput(m_workPath);
    // An absolute path starts with "/", so the tool never takes a "name:" prefix for a
    // protocol.
    m_run->start(CutArguments(QFileInfo(request.source).absoluteFilePath(), request.startSeconds,
                              request.endSeconds, QFileInfo(m_workPath).absoluteFilePath()));
    return true;
}

void CutJob::cancel()
{
    if (!m_running)
        return;
    m_canceled = true;
    m_run->cancel();
}

void CutJob::onOutput()
{
    for (const QString& line : m_run->takeLines()) {
        const ProgressRecord record = parseProgressRecord(line);
        if (!record.valid || record.timeSeconds < 0)
            continue;
        m_writtenSeconds = record.timeSeconds;
        Q_EMIT progress(m_tracker.update(record.timeSeconds), m_request.source, m_outputPath);
    }
}

void CutJob::onRunFinished(const ToolResult& result)
{
    if (m_canceled || result.status == ToolResult::Status::Canceled) {
        conclude(JobResult::Kind::Canceled);
        return;
    }
    if (!result.ok()) {
        qCWarning(lcCut).noquote() << "cut failed:" << describeToolResult(result);
        conclude(JobResult::Kind::Failed,
                 jobFailureText(JobKind::Cut, result, m_request.source, m_request.outputFolder));
        return;
    }
    // An input cut short whose index still promises the whole length gives a short copy and
    // an exit code of 0.
    const double span = double(m_request.endSeconds - m_request.startSeconds);
    if (m_writtenSeconds >= 0 && span - m_writtenSeconds > kShortByMoreThan) {
        const QString detail = QStringLiteral("it ends after %1 s of the %2 s asked for")
                                   .arg(seconds1(m_writtenSeconds), seconds1(span));
        qCWarning(lcCut).noquote() << "cut too short:" << detail;
        conclude(JobResult::Kind::Failed,
                 jobFailureText(JobKind::Cut, FailureCause::InputDamaged,
                                QFileInfo(m_request.source).fileName(), detail));
        return;
    }
    QString error;
    const QString placed = MoveIntoPlace(m_workPath, m_outputPath, &error);
    if (placed.isEmpty()) {
        qCWarning(lcCut).noquote() << "cannot move" << m_workPath << "into place:" << error;
        conclude(JobResult::Kind::Failed, jobFailureText(JobKind::Cut, FailureCause::NotWritable,
                                                         m_request.outputFolder, error));
        return;
    }
    m_outputPath = placed;
    m_workPath.clear();
    conclude(JobResult::Kind::Saved);
}

void CutJob::conclude(JobResult::Kind kind, const QString& reason)
{
    if (!m_workPath.isEmpty())
        QFile::remove(m_workPath);
    m_workPath.clear();
    m_running = false;
    Q_EMIT finished({kind, m_outputPath, reason});
}
