// What the media tool says about media files when it describes them.
#include "library/MediaProbe.h"

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
            // The pixel format comes between the codec and the size ("none" when the tool has
            // not decoded a picture).
            if (i == 2)
                facts.pixelFormat = fields.at(1).section(QLatin1Char('('), 0, 0).trimmed();
            if (facts.pixelFormat == QLatin1String("none"))
                facts.pixelFormat.clear();
            break;
        }
    }
    // "tbr" is the stream's own rate. "fps" is frames over the stream's span, and a recording
    // trimmed by an edit list counts its hidden lead-in there: a 4 s recording at 29.97 showed
    // "18.87 fps" and would be refused next to its twin.
    facts.frameRate = rateField(fields, QStringLiteral("tbr"));
    if (facts.frameRate <= 0)
        facts.frameRate = rateField(fields, QStringLiteral("fps"));
}

void readAudio(const QStringList& fields, MediaFacts& facts)
{
    static const QRegularExpression hzRe(QStringLiteral("^(\\d+) Hz$"));
    // "aac (LC) (mp4a / 0x6134706D)": the profile, when named, comes before the codec's tag.
    static const QRegularExpression profileRe(QStringLiteral("^\\S+ \\(([^()/]+)\\)"));
    facts.hasAudio = true;
    facts.audioCodec = fields.value(0).section(QLatin1Char(' '), 0, 0);
    facts.audioProfile = profileRe.match(fields.value(0)).captured(1);
    for (qsizetype i = 1; i < fields.size(); ++i) {
        const QRegularExpressionMatch m = hzRe.match(fields.at(i));
        if (m.hasMatch()) {
            facts.sampleRate = m.captured(1).toInt();
            facts.channels = fields.value(i + 1);
            break;
        }
    }
}

} // namespace

QVector<MediaFacts> parseInputDescriptions(const QString& text)
{
    static const QRegularExpression inputRe(QStringLiteral("^Input #\\d+, (.*?), from '"));
    static const QRegularExpression streamRe(
        QStringLiteral("^\\s*Stream #\\d+:\\d+\\S*: (Video|Audio): (.*)$"));
    static const QRegularExpression lineEnds(QStringLiteral("[\\r\\n]+"));

    QVector<MediaFacts> inputs;
    // Each input's description as the probe's buffer holds it: its lines, each ended by '\n'.
    QStringList descriptions;
    bool inVideo = false; // the lines that follow belong to an input's first video stream
    for (const QString& line : text.split(lineEnds, Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch input = inputRe.match(line);
        if (input.hasMatch()) {
            inVideo = false;
            MediaFacts facts;
            facts.opened = true;
            facts.container = input.captured(1);
            inputs.append(facts);
            descriptions.append(line + QLatin1Char('\n'));
            continue;
        }
        if (inputs.isEmpty())
            continue;
        descriptions.last() += line + QLatin1Char('\n');
        MediaFacts& facts = inputs.last();
        const qsizetype at = line.indexOf(QLatin1String("Duration: "));
        if (at >= 0 && line.trimmed().startsWith(QLatin1String("Duration: "))) {
            if (facts.durationSeconds < 0) {
                facts.durationSeconds = parseClockSeconds(line.mid(at + 10));
                const qsizetype start = line.indexOf(QLatin1String(", start: "));
                if (start >= 0)
                    facts.startSeconds =
                        line.mid(start + 9).section(QLatin1Char(','), 0, 0).toDouble();
            }
            continue;
        }
        // The side data printed under the first video stream: the turn players give it.
        static const QRegularExpression rotationRe(
            QStringLiteral("displaymatrix: rotation of (-?[0-9.]+) degrees"));
        if (const QRegularExpressionMatch r = rotationRe.match(line);
            r.hasMatch() && inVideo && facts.rotation == 0) {
            facts.rotation = ((int(std::lround(r.captured(1).toDouble())) % 360) + 360) % 360;
            continue;
        }
        const QRegularExpressionMatch m = streamRe.match(line);
        if (!m.hasMatch())
            continue;
        inVideo = m.captured(1) == QLatin1String("Video") && !facts.hasVideo;
        const QStringList fields = topLevelFields(m.captured(2));
        if (m.captured(1) == QLatin1String("Video") && !facts.hasVideo)
            readVideo(fields, facts);
        else if (m.captured(1) == QLatin1String("Audio") && !facts.hasAudio)
            readAudio(fields, facts);
    }
    for (qsizetype i = 0; i < inputs.size(); ++i)
        inputs[i].durationText = durationAfterMarker(descriptions.at(i));
    return inputs;
}

QStringList describeArguments(const QStringList& paths, DescribeDepth depth)
{
    QStringList args{QStringLiteral("-hide_banner")};
    for (const QString& path : paths) {
        // Per input: decode nothing, and stop reading packets after the first.
        if (depth == DescribeDepth::Duration)
            args << QStringLiteral("-skip_frame") << QStringLiteral("all")
                 << QStringLiteral("-probesize") << QStringLiteral("32");
        args << QStringLiteral("-i") << path;
    }
    return args;
}

bool durationOnlyIsExact(const MediaFacts& facts)
{
    return facts.opened && facts.durationSeconds >= 0 && !facts.durationText.isEmpty() &&
           facts.container.startsWith(QLatin1String("mov,"));
}

int describeBatchLimit(qint64 openFileLimit, int most)
{
    // Besides one descriptor per input the tool needs its standard channels, its libraries
    // and, for some containers, a second descriptor per input; keep a margin.
    constexpr qint64 kReserve = 32;
    const qint64 room = (openFileLimit - kReserve) / 2;
    return int(std::clamp<qint64>(room, 1, std::max(1, most)));
}

QVector<int> planDescribeBatches(int count, int lanes, int limit)
{
    QVector<int> sizes;
    if (count <= 0)
        return sizes;
    lanes = std::max(1, lanes);
    limit = std::max(1, limit);
    int runs = std::max((count + limit - 1) / limit, std::min(lanes, count));
    runs = std::min(count, (runs + lanes - 1) / lanes * lanes);
    for (int i = 0; i < runs; ++i)
        sizes.append(count / runs + (i < count % runs ? 1 : 0));
    return sizes;
}

bool toolSpokeOf(const QString& text, const QString& path)
{
    return text.contains(QLatin1String("Input #")) || text.contains(path);
}
