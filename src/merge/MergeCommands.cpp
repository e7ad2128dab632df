// Names, paths and argument lists of the merge job's runs: one conversion per input, one join.
#include "merge/MergeCommands.h"

#include "support/Helpers.h"

#include <algorithm>
#include <cmath>

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

QStringList changeToTsArguments(const QString& inputPath, const QString& tsPath, bool h264Video,
                                int soundPackets)
{
    // Subtitle and data streams cannot be copied into a transport stream; they are left out
    // rather than failing the whole merge.
    QStringList args{QStringLiteral("-hide_banner"), QStringLiteral("-i"),   inputPath,
                     QStringLiteral("-c"),           QStringLiteral("copy"), QStringLiteral("-sn"),
                     QStringLiteral("-dn")};
    // The filter refuses any other codec; the muxer converts those on its own.
    if (h264Video)
        args << QStringLiteral("-bsf:v") << QStringLiteral("h264_mp4toannexb");
    // Sound before the file's start (the encoder's priming, hidden by the file's edit list)
    // would play in a transport stream, and the join keeps it at every seam: each part's sound
    // would start a packet later than its picture, and the lag grow with each part.
    args << QStringLiteral("-bsf:a") << QStringLiteral("noise=drop='lt(pts,0)'");
    // Counted after the priming is dropped; the picture goes on to its end.
    if (soundPackets >= 0)
        args << QStringLiteral("-frames:a") << QString::number(soundPackets);
    args << QStringLiteral("-f") << QStringLiteral("mpegts") << tsPath;
    return args;
}

int MergeSoundCarry::packetsFor(const MediaFacts& facts, double videoEnd, double audioEnd)
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
        return -1;
    }
    const double packet = double(samples) / facts.sampleRate;
    const int wanted = std::max(1, int(std::lround((videoEnd - m_soundAhead) / packet)));
    // The last packet is kept whole however little of it the file plays.
    const int present = audioEnd > 0 ? int(std::ceil(audioEnd / packet - 1e-6)) : wanted;
    // A part whose sound stops short leaves a gap that more sound of later parts cannot fill
    // without running into the parts after them.
    m_soundAhead = present < wanted ? 0 : m_soundAhead + wanted * packet - videoEnd;
    return wanted;
}

QStringList joinArguments(const QStringList& tsNames, const QString& outputName,
                          const MediaFacts& streams)
{
    QStringList args{QStringLiteral("-hide_banner"), QStringLiteral("-i"),
                     QStringLiteral("concat:") + tsNames.join(QLatin1Char('|')),
                     QStringLiteral("-c"), QStringLiteral("copy")};
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
