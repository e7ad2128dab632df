// Pure parsing of the media tool's merged output: line assembly, markers, progress.
#include "media/ToolOutput.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

QStringList LineAssembler::feed(const QByteArray& chunk)
{
    m_partial += m_decoder.decode(chunk);
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < m_partial.size(); ++i) {
        const QChar c = m_partial.at(i);
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r')) {
            if (i > start)
                lines.append(m_partial.mid(start, i - start));
            start = i + 1;
        }
    }
    m_partial.remove(0, start);
    return lines;
}

QString LineAssembler::flush()
{
    QString rest = m_partial;
    m_partial.clear();
    return rest;
}

FailureCause causeOfLine(const QString& line)
{
    const auto has = [&line](const char* text) { return line.contains(QLatin1String(text)); };
    if (has("No space left on device"))
        return FailureCause::DiskFull;
    if (has("Read-only file system") || has("Permission denied"))
        return FailureCause::NotWritable;
    // The tool's own words when a signal ends it: it closes its output and exits 255.
    if (has("received signal 15") || has("received signal 2,") || has("received signal 9"))
        return FailureCause::ToolStopped;
    if (!damageIn(line).isEmpty())
        return FailureCause::InputDamaged;
    if (has("No such file or directory"))
        return FailureCause::InputMissing;
    if (has("Invalid data found") || has("moov atom not found"))
        return FailureCause::InputFormat;
    return FailureCause::None;
}

QString tellingErrorLine(const QString& previous, const QString& line)
{
    static const QRegularExpression component(
        QStringLiteral("^\\[[^\\]]+ @ 0x[0-9a-fA-F]+\\]\\s*(.+)$"));
    static const QStringList generic{QStringLiteral(": Invalid argument"),
                                     QStringLiteral(": Input/output error"),
                                     QStringLiteral(": Operation not permitted"),
                                     QStringLiteral(": Invalid data found when processing input")};
    const QString told = line.trimmed();
    const bool genericEnd = std::any_of(generic.begin(), generic.end(),
                                        [&told](const QString& end) { return told.endsWith(end); });
    const QRegularExpressionMatch said = component.match(previous.trimmed());
    if (!genericEnd || !said.hasMatch() || component.match(told).hasMatch())
        return told;
    return said.captured(1) + QStringLiteral(" (") + told + QLatin1Char(')');
}

QStringList damageMarkers()
{
    return {QStringLiteral("corrupt input packet"), QStringLiteral("Invalid NAL unit size"),
            QStringLiteral("partial file"), QStringLiteral("Packet corrupt")};
}

QString damageIn(const QString& line)
{
    for (const QString& marker : damageMarkers()) {
        if (line.contains(marker))
            return marker;
    }
    return {};
}

double parseClockSeconds(const QString& text)
{
    static const QRegularExpression re(QStringLiteral("^(\\d+):(\\d{2}):(\\d{2}(?:\\.\\d+)?)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return -1;
    return m.captured(1).toDouble() * 3600 + m.captured(2).toDouble() * 60 +
           m.captured(3).toDouble();
}

QString durationAfterMarker(const QString& text)
{
    static const QString marker = QStringLiteral("Duration: ");
    const qsizetype at = text.indexOf(marker);
    if (at < 0)
        return {};
    return text.mid(at + marker.size(), 8);
}

ProgressRecord parseProgressRecord(const QString& line)
{
    // Every record starts with one of these words, or (an encoding run's in another layout)
    // carries both time= and bitrate=; a log line quoting "frame=" is not a record.
    static const QRegularExpression record(
        QStringLiteral("^\\s*(?:frame=|size=|Lsize=)|time=.*bitrate="));
    static const QRegularExpression frame(QStringLiteral("(?:^|\\s)frame=\\s*(\\d+)"));
    ProgressRecord out;
    if (!record.match(line).hasMatch())
        return out;
    out.valid = true;
    const QRegularExpressionMatch f = frame.match(line);
    if (f.hasMatch())
        out.frame = f.captured(1).toLongLong();
    const qsizetype t = line.lastIndexOf(QLatin1String("time="));
    if (t >= 0)
        out.timeSeconds = parseClockSeconds(line.mid(t + 5).trimmed());
    return out;
}

void ProgressTracker::reset(double totalSeconds)
{
    m_total = totalSeconds;
    m_doneStages = 0;
    m_percent = 0;
}

void ProgressTracker::completeStage(double stageSeconds)
{
    m_doneStages += std::max(0.0, stageSeconds);
    update(0);
}

int ProgressTracker::update(double stageSeconds)
{
    if (!(m_total > 0)) // a NaN total fails this test too
        return m_percent;
    const double done = m_doneStages + std::max(0.0, stageSeconds);
    // Clamped as a double: a huge ratio would overflow the conversion to int.
    const double ratio = std::clamp(done * 100.0 / m_total, 0.0, 99.0);
    m_percent = std::max(m_percent, int(std::floor(ratio)));
    return m_percent;
}

QString shellQuoted(const QString& program, const QStringList& args)
{
    static const QRegularExpression safe(QStringLiteral("^[A-Za-z0-9_@%+=:,./-]+$"));
    QStringList words;
    words.reserve(args.size() + 1);
    for (const QString& word : QStringList(program) + args) {
        if (safe.match(word).hasMatch())
            words.append(word);
        else
            words.append(QLatin1Char('\'') +
                         QString(word).replace(QLatin1String("'"), QLatin1String("'\\''")) +
                         QLatin1Char('\''));
    }
    return words.join(QLatin1Char(' '));
}
