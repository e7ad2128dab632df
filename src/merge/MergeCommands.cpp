// Names, paths and argument lists of the merge job's runs: one conversion per input, one join.
#include "merge/MergeCommands.h"

#include "support/Helpers.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace
{

// Sound before the file's start (the encoder's priming, hidden by the file's edit list) would
// play in a transport stream, and the join keeps it at every seam: each part's sound would
// start a packet later than its picture, and the lag grow with each part.
const QString kDropPriming = QStringLiteral("noise=drop='lt(pts,0)'");

} // namespace

QString mergeInputPath(const QString& folder, const QString& name)
{
    if (folder.endsWith(QLatin1Char('/')))
        return folder + name;
    return folder + QLatin1Char('/') + name;
}

QString mergeOutputPath(const QString& folder, const QDateTime& now)
{
    const QString name = QStringLiteral("Merge_") +
                         now.toString(QStringLiteral("yyyy-MM-dd hh-mm-ss")) +
                         QStringLiteral(".mp4");
    return GetRealFileName(mergeInputPath(folder, name));
}

QString mergeTsName(int index)
{
    return QString::number(index) + QStringLiteral(".ts");
}

QString mergeSoundName(int index)
{
    return QString::number(index) + QStringLiteral(".aac");
}

QStringList changeToTsArguments(const QString& inputPath, const QString& tsPath, bool h264Video,
                                int soundPackets, const QStringList& soundPieces, double inputStart,
                                double pictureStart)
{
    QStringList args{QStringLiteral("-hide_banner")};
    if (soundPieces.isEmpty()) {
        args << QStringLiteral("-i") << inputPath;
    } else {
        // The tool moves each input to start at 0 (from its first timestamp, `inputStart`), and
        // the input further so that its first picture starts with the pieces.
        args << QStringLiteral("-itsoffset") << QString::number(inputStart - pictureStart, 'f', 6)
             << QStringLiteral("-i") << inputPath << QStringLiteral("-i")
             << QStringLiteral("concat:") + soundPieces.join(QLatin1Char('|'))
             << QStringLiteral("-map") << QStringLiteral("0:v:0") << QStringLiteral("-map")
             << QStringLiteral("1:a:0");
    }
    // Subtitle and data streams cannot be copied into a transport stream; they are left out
    // rather than failing the whole merge.
    args << QStringLiteral("-c") << QStringLiteral("copy") << QStringLiteral("-sn")
         << QStringLiteral("-dn");
    // The filter refuses any other codec; the muxer converts those on its own.
    if (h264Video)
        args << QStringLiteral("-bsf:v") << QStringLiteral("h264_mp4toannexb");
    if (soundPieces.isEmpty())
        args << QStringLiteral("-bsf:a") << kDropPriming;
    // Counted after the priming is dropped; the picture goes on to its end.
    if (soundPackets >= 0)
        args << QStringLiteral("-frames:a") << QString::number(soundPackets);
    args << QStringLiteral("-f") << QStringLiteral("mpegts") << tsPath;
    return args;
}

QStringList soundOnlyArguments(const QString& inputPath, const QString& adtsPath)
{
    return {QStringLiteral("-hide_banner"), QStringLiteral("-i"),     inputPath,
            QStringLiteral("-map"),         QStringLiteral("0:a:0"),  QStringLiteral("-c"),
            QStringLiteral("copy"),         QStringLiteral("-bsf:a"), kDropPriming,
            QStringLiteral("-f"),           QStringLiteral("adts"),   adtsPath};
}

QStringList silenceArguments(const MediaFacts& facts, int packets, const QString& adtsPath)
{
    // The description says "3 channels" of a count without a layout name; the source reads
    // "3c".
    static const QRegularExpression countOnly(QStringLiteral("^(\\d+) channels$"));
    QString layout = facts.channels;
    layout.replace(countOnly, QStringLiteral("\\1c"));
    return {QStringLiteral("-hide_banner"),
            QStringLiteral("-f"),
            QStringLiteral("lavfi"),
            QStringLiteral("-i"),
            QStringLiteral("anullsrc=r=%1:cl=%2").arg(facts.sampleRate).arg(layout),
            QStringLiteral("-frames:a"),
            QString::number(packets),
            QStringLiteral("-c:a"),
            QStringLiteral("aac"),
            QStringLiteral("-f"),
            QStringLiteral("adts"),
            adtsPath};
}

QByteArray adtsFrames(const QByteArray& adts, int frames)
{
    qsizetype at = 0;
    for (int i = 0; i < frames && at + 7 <= adts.size(); ++i) {
        // A frame starts with 12 set bits; its length (header included) is 13 bits from bit 30.
        if (uchar(adts.at(at)) != 0xff || (uchar(adts.at(at + 1)) & 0xf0) != 0xf0)
            return {};
        const int length = (uchar(adts.at(at + 3)) & 0x03) << 11 | uchar(adts.at(at + 4)) << 3 |
                           uchar(adts.at(at + 5)) >> 5;
        if (length < 7 || at + length > adts.size())
            return {};
        at += length;
    }
    return adts.left(at);
}

MergeSoundPlan MergeSoundCarry::planFor(const MediaFacts& facts, double videoEnd, double audioStart,
                                        double audioEnd, bool fill)
{
    // Samples in a packet, for the codecs whose packets all hold the same number; the others
    // (Opus's packets, say, vary) are kept whole.
    const QString& codec = facts.audioCodec;
    const int samples = codec == QLatin1String("aac")                                     ? 1024
                        : codec == QLatin1String("mp3") || codec == QLatin1String("mp2")  ? 1152
                        : codec == QLatin1String("ac3") || codec == QLatin1String("eac3") ? 1536
                                                                                          : 0;
    if (!facts.hasAudio || samples == 0 || facts.sampleRate <= 0 || videoEnd <= 0) {
        m_soundAhead = 0; // the join aligns the next part by its picture
        return {};
    }
    const double packet = double(samples) / facts.sampleRate;
    const int wanted = std::max(1, int(std::lround((videoEnd - m_soundAhead) / packet)));
    // Silence follows sound cut at whole packets, so sound that starts before the picture
    // (it would be moved) is left as it is.
    const bool fillable = fill && codec == QLatin1String("aac") &&
                          facts.audioProfile == QLatin1String("LC") && audioStart > -packet / 2;
    // The last packet is kept whole however little of it the file plays.
    const auto packetsTo = [packet](double end) { return int(std::ceil(end / packet - 1e-6)); };
    if (!fillable) {
        if (audioEnd > 0 && packetsTo(audioEnd) < wanted) {
            // The gap stays; more sound of later parts cannot fill it without running into the
            // parts after them.
            m_soundAhead = 0;
            return {wanted, 0, 0};
        }
        m_soundAhead += wanted * packet - videoEnd;
        return {wanted, 0, 0};
    }
    const int lead = std::max(0, int(std::lround(audioStart / packet)));
    // The ends are edit-list times, rounded to the movie's scale (milliseconds, often): a
    // millisecond past the last packet counted one that is not there, and left a packet's gap.
    // A last packet that plays less than a tenth of itself is counted out: the silence then runs
    // a packet long, and the count of packets kept cuts it off.
    const int own = audioEnd > 0 ? packetsTo(audioEnd - audioStart - packet / 10) : wanted;
    m_soundAhead += wanted * packet - videoEnd;
    return {wanted, std::min(lead, wanted), std::max(0, wanted - lead - own)};
}

QStringList joinArguments(const QStringList& tsNames, const QString& outputName,
                          const MediaFacts& streams)
{
    // The transport streams say which streams they hold but not the sound's form, which the
    // tool learns from the first sound packet: in a file of a high rate that comes tens of
    // megabytes in, past the tool's default 5 MB (the tool reads no further than it needs).
    QStringList args{QStringLiteral("-hide_banner"),
                     QStringLiteral("-probesize"),
                     QStringLiteral("400M"),
                     QStringLiteral("-analyzeduration"),
                     QStringLiteral("30M"),
                     QStringLiteral("-i"),
                     QStringLiteral("concat:") + tsNames.join(QLatin1Char('|')),
                     QStringLiteral("-c"),
                     QStringLiteral("copy")};
    if (streams.hasAudio && streams.audioCodec == QLatin1String("aac"))
        args << QStringLiteral("-bsf:a") << QStringLiteral("aac_adtstoasc");
    if (streams.hasVideo && streams.videoCodec == QLatin1String("hevc"))
        args << QStringLiteral("-tag:v") << QStringLiteral("hvc1");
    if (streams.rotation != 0)
        args << QStringLiteral("-metadata:s:v:0")
             << QStringLiteral("rotate=%1").arg(streams.rotation);
    args << QStringLiteral("-f") << QStringLiteral("mp4") << outputName;
    return args;
}
