// Texts of the job progress dialog: the progress lines, the outcome and the cancel question.
#include "dialogs/JobText.h"

#include "support/Helpers.h"

#include <algorithm>
#include <cmath>

JobKind jobKindFromType(int oprType)
{
    return oprType == int(JobKind::Merge) ? JobKind::Merge : JobKind::Cut;
}

QString jobProgressText(JobKind kind, int percent, const QString& current,
                        const QString& destination)
{
    const QString format =
        kind == JobKind::Merge
            ? QStringLiteral("  Process: %1%\n  Current Merger: %2\n  Destination: %3")
            : QStringLiteral("  Process: %1%\n  Current Cut: %2\n  Destination: %3");
    // One multi-argument pass, so a "%2" inside a path is not taken for a placeholder.
    return format.arg(QString::number(percent), current, destination);
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
