// Pure rules of the cut editor: probed durations, marks, output names and the tool's arguments.
#pragma once

#include <QLoggingCategory>
#include <QString>
#include <QStringList>

Q_DECLARE_LOGGING_CATEGORY(lcCut)

// Seconds of a probed duration text "hh:mm:ss" (the hours may have more digits); -1 when the
// text is not three ":"-separated numbers (empty, "N/A, sta", ...).
qint64 ProbeTextToSeconds(const QString& text);

// A decimal text read the way atoi reads it: optional blanks and sign, then the leading
// digits; 0 when there are none.
qint64 DecimalTextToSeconds(const QString& text);

// Why the span from `startSeconds` to `endSeconds` cannot be cut, as a sentence for the user;
// empty when it can (the end lies after the start).
QString CutSpanProblem(qint64 startSeconds, qint64 endSeconds);

// "outDir/Cut_" + the source's file name, before any free-name choice.
QString CutOutputPath(const QString& outDir, const QString& sourcePath);

// The tool's arguments for copying `source` from `startSeconds` to `endSeconds` into `output`
// without re-encoding. `output` may exist already (the caller reserves it) and is overwritten.
QStringList CutArguments(const QString& source, qint64 startSeconds, qint64 endSeconds,
                         const QString& output);
