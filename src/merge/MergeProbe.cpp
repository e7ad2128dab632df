// The check that the merge inputs, as the tool describes them, can be joined by stream copy.
#include "merge/MergeProbe.h"

#include <algorithm>
#include <cmath>

namespace
{

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
        // The joined track is turned one way for all its pictures.
        differ(QStringLiteral("rotation"), QString::number(f.rotation) + QStringLiteral("°"),
               QString::number(ref.rotation) + QStringLiteral("°"));
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

QString mediaSummary(const MediaFacts& facts)
{
    QStringList parts;
    parts.append(facts.hasVideo ? QStringLiteral("%1 %2 %3 %4")
                                      .arg(facts.videoCodec, facts.size, facts.pixelFormat,
                                           rateText(facts.frameRate))
                                : QStringLiteral("no video"));
    if (facts.hasVideo && facts.rotation != 0)
        parts.last() += QStringLiteral(" rotation %1°").arg(facts.rotation);
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
