// Stream facts of the merge inputs, read from the tool's input descriptions, and the check
// that they can be joined by stream copy.
#include "merge/MergeProbe.h"

#include "media/ToolOutput.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace
{

// Splits a stream description on the commas outside parentheses and brackets:
// "yuv420p(tv, bt709, progressive)" is one field.
QStringList topLevelFields(const QString& text)
{
    QStringList fields;
    int depth = 0;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('(') || c == QLatin1Char('['))
            ++depth;
        else if ((c == QLatin1Char(')') || c == QLatin1Char(']')) && depth > 0)
            --depth;
        else if (c == QLatin1Char(',') && depth == 0) {
            fields.append(text.mid(start, i - start).trimmed());
            start = i + 1;
        }
    }
    fields.append(text.mid(start).trimmed());
    return fields;
}

// "30", "29.97" or "1k" before the unit word `unit` ("fps", "tbr"); 0 when no field has it.
double rateField(const QStringList& fields, const QString& unit)
{
    static const QRegularExpression re(QStringLiteral("^(\\d+(?:\\.\\d+)?)(k?) (\\w+)"));
    for (const QString& field : fields) {
        const QRegularExpressionMatch m = re.match(field);
        if (m.hasMatch() && m.captured(3) == unit)
            return m.captured(1).toDouble() * (m.captured(2).isEmpty() ? 1 : 1000);
    }
    return 0;
}

void readVideo(const QStringList& fields, MediaFacts& facts)
{
    static const QRegularExpression sizeRe(QStringLiteral("^(\\d+x\\d+)(?:\\s|$)"));
    facts.hasVideo = true;
    facts.videoCodec = fields.value(0).section(QLatin1Char(' '), 0, 0);
    for (qsizetype i = 1; i < fields.size(); ++i) {
        const QRegularExpressionMatch m = sizeRe.match(fields.at(i));
        if (m.hasMatch()) {
            facts.size = m.captured(1);
            // The pixel format comes between the codec and the size, when the tool knows it.
            if (i == 2)
                facts.pixelFormat = fields.at(1).section(QLatin1Char('('), 0, 0).trimmed();
            break;
        }
    }
    facts.frameRate = rateField(fields, QStringLiteral("fps"));
    if (facts.frameRate <= 0)
        facts.frameRate = rateField(fields, QStringLiteral("tbr"));
}

void readAudio(const QStringList& fields, MediaFacts& facts)
{
    static const QRegularExpression hzRe(QStringLiteral("^(\\d+) Hz$"));
    facts.hasAudio = true;
    facts.audioCodec = fields.value(0).section(QLatin1Char(' '), 0, 0);
    for (qsizetype i = 1; i < fields.size(); ++i) {
        const QRegularExpressionMatch m = hzRe.match(fields.at(i));
        if (m.hasMatch()) {
            facts.sampleRate = m.captured(1).toInt();
            facts.channels = fields.value(i + 1);
            break;
        }
    }
}

// The average rate of a live recording wanders a little around its nominal rate (29.97 for
// 30): such files join cleanly, so only a real difference of rate counts.
bool sameRate(double a, double b)
{
    if (a <= 0 || b <= 0)
        return true;
    return std::fabs(a - b) <= 0.01 * std::max(a, b);
}

QString rateText(double rate)
{
    return QString::number(rate, 'g', 6) + QStringLiteral(" fps");
}

QStringList differences(const MediaFacts& f, const MediaFacts& ref)
{
    QStringList out;
    const auto differ = [&out](const QString& what, const QString& mine, const QString& theirs) {
        if (mine != theirs)
            out.append(what + QLatin1Char(' ') + mine);
    };
    if (f.hasVideo != ref.hasVideo) {
        out.append(f.hasVideo ? QStringLiteral("has video") : QStringLiteral("no video"));
    } else if (f.hasVideo) {
        differ(QStringLiteral("video codec"), f.videoCodec, ref.videoCodec);
        differ(QStringLiteral("size"), f.size, ref.size);
        differ(QStringLiteral("pixel format"), f.pixelFormat, ref.pixelFormat);
        if (!sameRate(f.frameRate, ref.frameRate))
            differ(QStringLiteral("frame rate"), rateText(f.frameRate), rateText(ref.frameRate));
    }
    if (f.hasAudio != ref.hasAudio) {
        out.append(f.hasAudio ? QStringLiteral("has audio") : QStringLiteral("no audio"));
    } else if (f.hasAudio) {
        differ(QStringLiteral("audio codec"), f.audioCodec, ref.audioCodec);
        differ(QStringLiteral("sample rate"), QString::number(f.sampleRate) + QStringLiteral(" Hz"),
               QString::number(ref.sampleRate) + QStringLiteral(" Hz"));
        differ(QStringLiteral("channels"), f.channels, ref.channels);
    }
    return out;
}

qsizetype firstOpened(const QStringList& names, const QVector<MediaFacts>& facts)
{
    for (qsizetype i = 0; i < names.size() && i < facts.size(); ++i) {
        if (facts.at(i).opened)
            return i;
    }
    return -1;
}

} // namespace

QVector<MediaFacts> parseInputDescriptions(const QString& text)
{
    static const QRegularExpression inputRe(QStringLiteral("^Input #\\d+, "));
    static const QRegularExpression streamRe(
        QStringLiteral("^\\s*Stream #\\d+:\\d+\\S*: (Video|Audio): (.*)$"));
    static const QRegularExpression lineEnds(QStringLiteral("[\\r\\n]+"));

    QVector<MediaFacts> inputs;
    for (const QString& line : text.split(lineEnds, Qt::SkipEmptyParts)) {
        if (inputRe.match(line).hasMatch()) {
            MediaFacts facts;
            facts.opened = true;
            inputs.append(facts);
            continue;
        }
        if (inputs.isEmpty())
            continue;
        MediaFacts& facts = inputs.last();
        const qsizetype at = line.indexOf(QLatin1String("Duration: "));
        if (at >= 0 && line.trimmed().startsWith(QLatin1String("Duration: "))) {
            if (facts.durationSeconds < 0)
                facts.durationSeconds = parseClockSeconds(line.mid(at + 10));
            continue;
        }
        const QRegularExpressionMatch m = streamRe.match(line);
        if (!m.hasMatch())
            continue;
        const QStringList fields = topLevelFields(m.captured(2));
        if (m.captured(1) == QLatin1String("Video") && !facts.hasVideo)
            readVideo(fields, facts);
        else if (m.captured(1) == QLatin1String("Audio") && !facts.hasAudio)
            readAudio(fields, facts);
    }
    return inputs;
}

QStringList describeArguments(const QStringList& paths)
{
    QStringList args{QStringLiteral("-hide_banner")};
    for (const QString& path : paths)
        args << QStringLiteral("-i") << path;
    return args;
}

QString mediaSummary(const MediaFacts& facts)
{
    QStringList parts;
    parts.append(facts.hasVideo ? QStringLiteral("%1 %2 %3 %4")
                                      .arg(facts.videoCodec, facts.size, facts.pixelFormat,
                                           rateText(facts.frameRate))
                                : QStringLiteral("no video"));
    parts.append(facts.hasAudio ? QStringLiteral("%1 %2 Hz %3")
                                      .arg(facts.audioCodec)
                                      .arg(facts.sampleRate)
                                      .arg(facts.channels)
                                : QStringLiteral("no audio"));
    return parts.join(QStringLiteral(", "));
}

QStringList mergeMismatches(const QStringList& names, const QVector<MediaFacts>& facts)
{
    QStringList lines;
    const qsizetype ref = firstOpened(names, facts);
    for (qsizetype i = 0; i < names.size(); ++i) {
        if (i >= facts.size() || !facts.at(i).opened) {
            lines.append(QStringLiteral("%1: cannot be read as a video").arg(names.at(i)));
            continue;
        }
        if (i == ref)
            continue;
        const QStringList diff = differences(facts.at(i), facts.at(ref));
        if (!diff.isEmpty())
            lines.append(names.at(i) + QStringLiteral(": ") + diff.join(QStringLiteral(", ")));
    }
    return lines;
}

QString mergeRefusal(const QStringList& names, const QVector<MediaFacts>& facts)
{
    const QStringList lines = mergeMismatches(names, facts);
    if (lines.isEmpty())
        return QString();
    const qsizetype ref = firstOpened(names, facts);
    const QString head =
        ref < 0 ? QStringLiteral("Merge failed, these files cannot be read as videos:")
                : QStringLiteral("These files do not match %1 (%2) and cannot be merged with it:")
                      .arg(names.at(ref), mediaSummary(facts.at(ref)));
    return head + QLatin1Char('\n') + lines.join(QLatin1Char('\n'));
}
