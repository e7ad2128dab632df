// Texts of the job progress dialog: the progress lines, the outcome and the cancel question.
#include "dialogs/JobText.h"

#include "support/Helpers.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace
{

// Whether the tool's `line` is about `path`: it names the path it could not open first.
bool namesPath(const QString& line, const QString& path)
{
    return !path.isEmpty() && line.startsWith(path + QStringLiteral(": "));
}

} // namespace

JobKind jobKindFromType(int oprType)
{
    return oprType == int(JobKind::Merge) ? JobKind::Merge : JobKind::Cut;
}

QList<JobProgressLine> jobProgressLines(JobKind kind, int percent, const QString& current,
                                        const QString& destination)
{
    return {
        {QStringLiteral("  Process: %1%").arg(percent), QString()},
        {kind == JobKind::Merge ? QStringLiteral("  Current Merger: ")
                                : QStringLiteral("  Current Cut: "),
         current},
        {QStringLiteral("  Destination: "), destination},
    };
}

QString jobProgressText(JobKind kind, int percent, const QString& current,
                        const QString& destination)
{
    QStringList lines;
    for (const JobProgressLine& line : jobProgressLines(kind, percent, current, destination))
        lines.append(line.words + line.path);
    return lines.join(QLatin1Char('\n'));
}

QString jobOutcomeText(JobKind kind, int error, const QString& destination)
{
    if (error != 0) {
        return kind == JobKind::Merge
                   ? QStringLiteral("Merge failed, not an valid format, it's better to merge "
                                    "created mp4 files")
                   : QStringLiteral("Clip failed, not an valid format, it's better to clip "
                                    "created mp4 files");
    }
    const QString format = kind == JobKind::Merge
                               ? QStringLiteral("Merge success, file path is %1 ")
                               : QStringLiteral("Cut success, file path is %1 ");
    return format.arg(destination);
}

QString jobFailureText(JobKind kind, FailureCause cause, const QString& subject,
                       const QString& detail)
{
    const QString failed =
        kind == JobKind::Merge ? QStringLiteral("Merge failed: ") : QStringLiteral("Clip failed: ");
    const QString why = detail.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(detail);
    switch (cause) {
    case FailureCause::DiskFull:
        return failed + QStringLiteral("the disk of %1 is full.").arg(subject);
    case FailureCause::NotWritable:
        return failed + QStringLiteral("the folder %1 cannot be written to%2.").arg(subject, why);
    case FailureCause::ToolMissing:
        return failed + QStringLiteral("the media tool could not be started%1.").arg(why);
    case FailureCause::ToolCrashed:
        return failed + QStringLiteral("the media tool crashed.");
    case FailureCause::ToolStopped:
        return failed + QStringLiteral("the media tool was stopped by another program.");
    case FailureCause::InputMissing:
        return failed + QStringLiteral("%1 cannot be found.").arg(subject);
    case FailureCause::InputDamaged:
        return failed + QStringLiteral("%1 is damaged%2.").arg(subject, why);
    case FailureCause::InputFormat:
        return jobOutcomeText(kind, 1, QString());
    case FailureCause::None:
    case FailureCause::Other:
        break;
    }
    return failed + (detail.isEmpty() ? QStringLiteral("the media tool failed.") : detail);
}

QString jobFailureText(JobKind kind, const ToolResult& result, const QString& input,
                       const QString& outputFolder)
{
    switch (result.cause) {
    case FailureCause::DiskFull:
        return jobFailureText(kind, result.cause, outputFolder, {});
    case FailureCause::NotWritable:
        // The tool names the path it was refused: it may be the input's.
        if (namesPath(result.causeLine, input))
            return jobFailureText(kind, FailureCause::Other, {},
                                  QStringLiteral("%1 cannot be read (permission denied).")
                                      .arg(QFileInfo(input).fileName()));
        return jobFailureText(kind, result.cause, outputFolder,
                              result.causeLine.contains(QLatin1String("Read-only"))
                                  ? QStringLiteral("its disk is read-only")
                                  : QStringLiteral("permission denied"));
    case FailureCause::ToolMissing:
        return jobFailureText(kind, result.cause, {}, result.lastErrorLine);
    case FailureCause::InputDamaged:
        return jobFailureText(kind, result.cause, QFileInfo(input).fileName(),
                              damageIn(result.causeLine));
    case FailureCause::Other:
        return jobFailureText(kind, result.cause, {}, describeToolResult(result));
    case FailureCause::InputMissing:
        // The tool names the path it could not find: when that is not the input, the folder
        // its output went to (or the job's working folder in it) is gone.
        if (!namesPath(result.causeLine, input))
            return jobFailureText(kind, FailureCause::NotWritable, outputFolder,
                                  QStringLiteral("it is gone"));
        return jobFailureText(kind, result.cause, QFileInfo(input).fileName(), {});
    default:
        return jobFailureText(kind, result.cause, QFileInfo(input).fileName(), {});
    }
}

QString cutStartNotice(double startSeconds)
{
    const auto whole = static_cast<long long>(std::floor(std::max(0.0, startSeconds)));
    return QStringLiteral("The cut starts at %1, the first point that can be cut without "
                          "re-encoding.")
        .arg(QString::fromStdString(GetTimeStringA(whole)));
}

QString jobCancelQuestion(JobKind kind)
{
    return kind == JobKind::Merge ? QStringLiteral("Are you sure to cancel the the video merge?")
                                  : QStringLiteral("Are you sure to cancel the video cut?");
}
