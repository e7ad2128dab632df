// Texts of the job progress dialog: the progress lines, the outcome and the cancel question.
#include "dialogs/JobText.h"

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

QString jobCancelQuestion(JobKind kind)
{
    return kind == JobKind::Merge ? QStringLiteral("Are you sure to cancel the the video merge?")
                                  : QStringLiteral("Are you sure to cancel the video cut?");
}
