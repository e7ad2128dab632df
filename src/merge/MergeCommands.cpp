// Names, paths and argument lists of the merge job's runs: one conversion per input, one join.
#include "merge/MergeCommands.h"

#include "support/Helpers.h"

#include <algorithm>

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
                                double endSeconds)
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
    // Each stream stops by itself at its first packet from there on.
    if (endSeconds > 0)
        args << QStringLiteral("-t") << QString::number(endSeconds, 'f', 6);
    args << QStringLiteral("-f") << QStringLiteral("mpegts") << tsPath;
    return args;
}

double mergePartEnd(const MediaFacts& facts, double videoEndSeconds)
{
    if (videoEndSeconds <= 0)
        return -1;
    if (!facts.hasAudio || facts.sampleRate <= 0)
        return videoEndSeconds;
    // Sound packets whose start lies before the cut-off stay: the sound then ends within half a
    // packet of the picture. The last picture starts a whole frame before the end.
    const double samples = facts.audioCodec == QLatin1String("mp3") ? 1152 : 1024;
    double margin = samples / facts.sampleRate / 2;
    if (facts.frameRate > 0)
        margin = std::min(margin, 0.5 / facts.frameRate);
    return videoEndSeconds - margin;
}

QStringList joinArguments(const QStringList& tsNames, const QString& outputName, bool aacAudio)
{
    QStringList args{QStringLiteral("-hide_banner"), QStringLiteral("-i"),
                     QStringLiteral("concat:") + tsNames.join(QLatin1Char('|')),
                     QStringLiteral("-c"), QStringLiteral("copy")};
    if (aacAudio)
        args << QStringLiteral("-bsf:a") << QStringLiteral("aac_adtstoasc");
    args << QStringLiteral("-f") << QStringLiteral("mp4") << outputName;
    return args;
}
