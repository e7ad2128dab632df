// The cut job: the frame-exact cut engine writes a hidden file, moved into place on success.
#include "cut/CutJob.h"

#include "cut/CutLogic.h"
#include "cut/SmartCutter.h"
#include "dialogs/JobText.h"
#include "media/ToolRun.h"
#include "support/Helpers.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>

CutJob::CutJob(QObject* parent) : QObject(parent), m_cutter(new SmartCutter(this))
{
    connect(m_cutter, &SmartCutter::progressChanged, this,
            [this](int percent) { Q_EMIT progress(percent, m_request.source, m_outputPath); });
    connect(m_cutter, &SmartCutter::finished, this, &CutJob::onCut);
}

void CutJob::setProgram(const QString& program)
{
    m_cutter->setProgram(program);
}

ToolRun& CutJob::run() const
{
    return m_cutter->run();
}

bool CutJob::start(const CutRequest& request)
{
    if (m_running)
        return false;
    m_running = true;
    m_request = request;
    m_workPath.clear();
    m_outputPath = GetRealFileName(CutOutputPath(request.outputFolder, request.source));

    const QString problem = CutSpanProblem(request.startSeconds, request.endSeconds);
    QString error;
    if (problem.isEmpty())
        m_workPath = ReserveWorkingFile(m_outputPath, &error);
    if (m_workPath.isEmpty()) {
        const QString why = problem.isEmpty()
                                ? jobFailureText(JobKind::Cut, FailureCause::NotWritable,
                                                 request.outputFolder, error)
                                : problem;
        qCWarning(lcCut).noquote() << "not cut:" << why;
        // Told from the event loop, as every other end is.
        QTimer::singleShot(0, this, [this, why] { conclude(JobResult::Kind::Failed, why); });
        return true;
    }
    m_workLock.acquire(m_workPath);
    // An absolute path starts with "/", so the tool never takes a "name:" prefix for a
    // protocol.
    m_sourceStamp = fileStampOf(request.source);
    m_cutter->start(QFileInfo(request.source).absoluteFilePath(), double(request.startSeconds),
                    double(request.endSeconds), QFileInfo(m_workPath).absoluteFilePath());
    // The first step reads the file, which takes a while for a large one: the dialog says what
    // is being cut from the start.
    Q_EMIT progress(0, m_request.source, m_outputPath);
    return true;
}

void CutJob::cancel()
{
    if (m_running)
        m_cutter->cancel();
}

void CutJob::onCut(const SmartCutResult& result)
{
    // Rewritten or replaced while it was read: what the cut made of it (or its failure) is not
    // the file's. (A file gone is told as such by the cut itself.)
    const QFileInfo source(m_request.source);
    if (result.outcome != SmartCutResult::Outcome::Canceled && source.exists() &&
        fileStampOf(m_request.source) != m_sourceStamp) {
        qCWarning(lcCut).noquote() << m_request.source << "changed during the cut";
        conclude(JobResult::Kind::Failed,
                 QStringLiteral("Clip failed: %1 changed during the cut.").arg(source.fileName()));
        return;
    }
    switch (result.outcome) {
    case SmartCutResult::Outcome::Canceled:
        conclude(JobResult::Kind::Canceled);
        return;
    case SmartCutResult::Outcome::Failed:
        qCWarning(lcCut).noquote() << "cut failed:" << result.failure;
        conclude(JobResult::Kind::Failed, result.failure);
        return;
    case SmartCutResult::Outcome::Saved:
        break;
    }
    if (!result.fallbackReason.isEmpty())
        qCInfo(lcCut).noquote() << "cut from a keyframe:" << result.fallbackReason;
    QString error;
    // The name wanted, not the free one chosen at the start: should that be taken meanwhile,
    // the next free one is "Cut_a(2).mp4", not "Cut_a(1)(1).mp4".
    const QString placed =
        MoveIntoPlace(m_workPath, CutOutputPath(m_request.outputFolder, m_request.source), &error);
    if (placed.isEmpty()) {
        qCWarning(lcCut).noquote() << "cannot move" << m_workPath << "into place:" << error;
        conclude(JobResult::Kind::Failed, jobFailureText(JobKind::Cut, FailureCause::NotWritable,
                                                         m_request.outputFolder, error));
        return;
    }
    m_outputPath = placed;
    m_workPath.clear();
    conclude(JobResult::Kind::Saved,
             result.exact ? QString() : cutStartNotice(result.startSeconds));
}

void CutJob::conclude(JobResult::Kind kind, const QString& reason)
{
    if (!m_workPath.isEmpty())
        QFile::remove(m_workPath);
    m_workPath.clear();
    m_workLock.release();
    m_running = false;
    Q_EMIT finished({kind, m_outputPath, reason});
}
