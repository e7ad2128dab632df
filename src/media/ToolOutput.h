// Pure parsing of the media tool's merged output: line assembly, markers, progress.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringList>

// Assembles the tool's output into lines. Progress records end with '\r', log lines with '\n';
// both end a line here. A partial line, or a partial UTF-8 sequence, waits for the next chunk.
class LineAssembler final
{
public:
    // Feeds one chunk; returns the lines it completed, without their terminators. Empty lines
    // are dropped.
    QStringList feed(const QByteArray& chunk);
    // The text still waiting for its line end (the tool exited mid-line).
    QString flush();

private:
    QStringDecoder m_decoder{QStringDecoder::Utf8};
    QString m_partial;
};

// One progress record of the tool: "frame=  12 fps=... time=00:00:00.40 bitrate=...", or for
// sound only "size=  256kB time=...", the last one with "Lsize=".
struct ProgressRecord {
    bool valid = false;      // the line is a progress record
    qint64 frame = -1;       // "frame=" count; -1 when the record has none (sound only)
    double timeSeconds = -1; // "time=" in seconds; -1 when absent or N/A
};

// The progress record a line holds; valid is false for any other line.
ProgressRecord parseProgressRecord(const QString& line);

// What made a run fail, in the terms the user is told.
enum class FailureCause {
    None,
    ToolMissing,  // the tool could not be started
    ToolCrashed,  // the tool died of a fault of its own
    ToolStopped,  // the tool was killed or terminated from outside
    DiskFull,     // no space left on the output's disk
    NotWritable,  // the output cannot be written (read-only, permission)
    InputMissing, // an input does not exist
    InputDamaged, // an input is cut short or corrupt
    InputFormat,  // an input is not a media file the tool can read
    Other,
};

// The cause a line of the tool's output names ("No space left on device", "partial file", ...);
// None for every other line.
FailureCause causeOfLine(const QString& line);

// The line to tell for a failure the tool reported in `line`. The tool ends a failed opening
// with "name: reason" in the system's generic words; when the line before came from the part of
// the tool that failed ("[x11grab @ 0x55…] Capture area ... outside the screen size ..."), that
// line says why and leads.
QString tellingErrorLine(const QString& previous, const QString& line);

// Markers of a damaged input: the tool reads on past them and exits 0, with a short output.
QStringList damageMarkers();
// The damage marker `line` holds ("partial file"), or empty.
QString damageIn(const QString& line);

// Seconds of "HH:MM:SS.cc" (hours may have more digits); -1 when the text is not such a time.
double parseClockSeconds(const QString& text);

// The 8 characters after the first "Duration: " in `text`, or empty when there is none.
QString durationAfterMarker(const QString& text);

// Percentage of a job from seconds done against the expected total. Never goes backwards and
// stays at most 99: only the job's final report may say 100.
class ProgressTracker final
{
public:
    explicit ProgressTracker(double totalSeconds = 0) : m_total(totalSeconds) {}
    void reset(double totalSeconds);
    // Adds the seconds of a stage that has ended (e.g. one finished conversion).
    void completeStage(double stageSeconds);
    // Reports the current stage's position; returns the percentage to show.
    int update(double stageSeconds);
    int percent() const { return m_percent; }

private:
    double m_total = 0;
    double m_doneStages = 0;
    int m_percent = 0;
};

// The argument list quoted for a POSIX shell, for the debug trace.
QString shellQuoted(const QString& program, const QStringList& args);
