// Texts of the job progress dialog: the progress lines, the outcome and the cancel question.
#pragma once

#include "media/ToolRun.h"

#include <QList>
#include <QString>

// Which job a progress dialog follows; the values are the dialog's operation type.
enum class JobKind {
    Merge = 1,
    Cut = 2,
};

// The kind for a stored operation type: 1 is a merge, anything else a cut.
JobKind jobKindFromType(int oprType);

// One progress line: its words, and the path it names (empty on the percent line), so a
// dialog can shorten the path to its room.
struct JobProgressLine {
    QString words;
    QString path;
};

// The three progress lines: percent, the file being processed, the destination. Paths are
// kept as given, whatever characters (or '%' signs) they hold.
QList<JobProgressLine> jobProgressLines(JobKind kind, int percent, const QString& current,
                                        const QString& destination);

// The three progress lines as one text, each path whole.
QString jobProgressText(JobKind kind, int percent, const QString& current,
                        const QString& destination);

// The information text at the end of a job: success naming `destination`, or the failure
// text when `error` is not 0.
QString jobOutcomeText(JobKind kind, int error, const QString& destination);

// Why a job failed, for its outcome box: the program's format text when an input is not a media
// file the tool can read, else the cause in words. `subject` is what the cause concerns (an
// input's name, the output folder), `detail` the tool's own words or a measured fact; either
// may be empty.
QString jobFailureText(JobKind kind, FailureCause cause, const QString& subject,
                       const QString& detail);

// jobFailureText for a run that failed: the cause it names concerns `input` (its file name is
// told) or, for a full or unwritable disk, `outputFolder`.
QString jobFailureText(JobKind kind, const ToolResult& result, const QString& input,
                       const QString& outputFolder);

// The sentence added to a cut's success text when the cut could not start at its start mark:
// "The cut starts at 00:00:12, the first point that can be cut without re-encoding." with
// `startSeconds`, where it really starts in the source, shown as hh:mm:ss rounded down.
QString cutStartNotice(double startSeconds);

// The question asked before a running job is abandoned.
QString jobCancelQuestion(JobKind kind);
