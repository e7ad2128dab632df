// Shared parts of the benchmark programs: clocks, CPU and memory of a process, timed runs of
// other programs, and the result rows that bench/run gathers into one table.
#pragma once

#include <QMap>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QVector>

namespace bench
{

// Milliseconds on a steady clock (shared by every caller in the process).
double nowMs();

// CPU seconds (user + system, all threads) that process `pid` has used; -1 when unreadable.
double cpuSeconds(qint64 pid);

// Resident memory of process `pid` in MiB; -1 when unreadable.
double residentMiB(qint64 pid);

// Median of `values` (0 when empty).
double median(QVector<double> values);

// Runs `program` with `args` to its end (no time limit) and returns the wall time in ms, or -1
// when it did not exit 0 and `mustSucceed` (its output then goes to the log). `workDir` may be
// empty.
double timedRun(const QString& program, const QStringList& args, const QString& workDir = {},
                bool mustSucceed = true);

// Runs `program` to its end and returns its standard output; the merged output goes to the log
// when it does not exit 0, and `ok` (if given) says whether it did.
QByteArray captureRun(const QString& program, const QStringList& args, bool* ok = nullptr,
                      bool mergeErrors = false);

// Writes every dirty page to disk, so that the next timed run does not pay for the write-back
// of the one before.
void flushWrites();

// The media tool the benchmarks run directly: the same binary as the "tool" link beside the
// program.
QString toolPath();

// KEY=VALUE lines of the session file that av-session.sh writes (DISPLAY, PULSE_SERVER, ...).
QMap<QString, QString> readSessionEnv(const QString& dir);

// The environment of a desktop program started on the session's X display and sound server
// with a home and a runtime folder of its own, made in `dir` ("home", "runtime").
QProcessEnvironment desktopProgramEnvironment(const QMap<QString, QString>& session,
                                              const QString& dir);

// One line of the result table. `value` and `reference` are texts with their units; `ratio`
// may be empty; `met` is "yes", "no" or "" (no target).
void row(const QString& part, const QString& figure, const QString& value, const QString& reference,
         const QString& ratio, const QString& target, const QString& met);

// Text forms for the table.
QString ms(double milliseconds);
QString ratioText(double ratio);
QString yesNo(bool met);

// Writes a line to the log (standard error) with the time since the process started.
void note(const QString& text);

// Command-line options of the form --name value.
QString option(const QStringList& args, const QString& name, const QString& fallback = {});

} // namespace bench
