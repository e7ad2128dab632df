// Command lines of a recording and of its finalisation, and the reading of the finaliser's probe.
#include "record/RecordCommand.h"

#include <QRegularExpression>
#include <QVector>

#include <algorithm>
#include <cmath>

namespace
{

// Output options of every recording: the rates and speed the program has always used, H.264 + AAC.
QStringList encodeOptions()
{
    return {QStringLiteral("-c:v"),
            QStringLiteral("libx264"),
            QStringLiteral("-preset"),
            QStringLiteral("ultrafast"),
            QStringLiteral("-pix_fmt"),
            QStringLiteral("yuv420p"),
            QStringLiteral("-r"),
            kRecordFrameRate,
            QStringLiteral("-c:a"),
            QStringLiteral("aac"),
            QStringLiteral("-ar"),
            QStringLiteral("44100"),
            QStringLiteral("-max_muxing_queue_size"),
            QStringLiteral("9999")};
}

// Fragmented MP4: a killed tool leaves a file playable up to its last fragment. A fragment
// starts at each keyframe (every 60 frames, 2 s) and after half a second at most, since the
// tool holds a fragment in memory until it ends: a killed tool loses at most that half second.
// Without flushing every packet the tool would also keep up to 32 KiB in memory, which for a
// still screen is many seconds.
QStringList fragmentedOutput(const QString& path)
{
    return {QStringLiteral("-g"),
            QStringLiteral("60"),
            QStringLiteral("-flush_packets"),
            QStringLiteral("1"),
            QStringLiteral("-movflags"),
            QStringLiteral("+frag_keyframe+empty_moov+default_base_moof"),
            QStringLiteral("-frag_duration"),
            QStringLiteral("500000"),
            QStringLiteral("-f"),
            QStringLiteral("mp4"),
            QStringLiteral("-y"),
            path};
}

QString seconds6(double seconds)
{
    return QString::number(seconds, 'f', 6);
}

} // namespace

const QString kRecordFrameRate = QStringLiteral("29.97");

// Each grab is stamped with the wall clock just before the screen is read, and the sound with
// the time its first sample was captured (measured exact to a few ms). Left to the output's
// rate conversion (-r), a grab went out one to two frame slots after its stamp: the picture
// came 45-80 ms after its sound. The fps filter puts each grab on the slot at or before its
// stamp instead, so a picture shows from the slot in which it was taken; the sound then leads
// or follows by less than a frame (about 0 ms on average over runs, each flash within 25 ms).
//
// x11grab delivers bgr0, for which the tool's scaler has no direct path to yuv420p: its general
// path cost about 0.23 of a core at 1080p30. Through bgr24 (a cheap repacking) it takes the
// direct path, at half that cost and the same picture.
const QString kX11PictureFilter =
    QStringLiteral("fps=%1:round=down,format=bgr24,format=yuv420p").arg(kRecordFrameRate);

QStringList soundInputArguments(const QStringList& sources, double startSeconds)
{
    QStringList args;
    for (const QString& source : sources)
        args << QStringLiteral("-itsoffset") << seconds6(-startSeconds) << QStringLiteral("-f")
             << QStringLiteral("pulse") << QStringLiteral("-i") << source;
    return args;
}

QStringList x11grabInputArguments(const QString& display, int width, int height,
                                  double startSeconds)
{
    // The screen is grabbed at the file's own rate: grabbed at 30 for a file of 29.97, the tool
    // dropped one picture in every thousand, about two a minute.
    return {QStringLiteral("-itsoffset"),  seconds6(-startSeconds),
            QStringLiteral("-f"),          QStringLiteral("x11grab"),
            QStringLiteral("-framerate"),  kRecordFrameRate,
            QStringLiteral("-video_size"), QStringLiteral("%1x%2").arg(width & ~1).arg(height & ~1),
            QStringLiteral("-i"),          display + QStringLiteral("+0,0")};
}

QStringList rawPictureInputArguments(int width, int height, int fd)
{
    // Named as a file: an input named "pipe:..." makes the tool stop reading "q" from its
    // standard input, so it could no longer be stopped cleanly.
    return {QStringLiteral("-f"),          QStringLiteral("rawvideo"),
            QStringLiteral("-pix_fmt"),    QStringLiteral("yuv420p"),
            QStringLiteral("-video_size"), QStringLiteral("%1x%2").arg(width).arg(height),
            QStringLiteral("-framerate"),  kRecordFrameRate,
            QStringLiteral("-i"),          QStringLiteral("/dev/fd/%1").arg(fd)};
}

QStringList recordArguments(const QStringList& inputs, int soundInputs,
                            const QString& pictureFilter, bool endWithPictures,
                            const QString& outputPath)
{
    // The sound inputs open first: x11grab grabs its first frame when it opens and each pulse
    // input takes up to 2 s to open, so opened first the screen would freeze for that long.
    // -copyts keeps the inputs' own (wall-clock) stamps, which their offsets align.
    QStringList args{QStringLiteral("-hide_banner"), QStringLiteral("-copyts")};
    args << inputs;
    args << QStringLiteral("-map") << QStringLiteral("%1:v").arg(soundInputs);
    if (!pictureFilter.isEmpty())
        args << QStringLiteral("-vf") << pictureFilter;
    // The sound is held to the wall clock the pictures are stamped with by filling a lead, or
    // dropping a lag, at once, never by stretching it. A sound server's stamps jitter under load
    // (PipeWire's ran up to 0.15 s ahead now and then), and filling each lead of 0.1 s with
    // silence, never taken back, put the sound 0.46 s behind after 30 s; following the jitter
    // by stretching moved the sound by as much. Only a jump of 0.3 s or more, sound the server
    // lost, is filled.
    const QString follow = QStringLiteral("aresample=async=1:min_hard_comp=0.3");
    if (soundInputs == 1) {
        args << QStringLiteral("-map") << QStringLiteral("0:a") << QStringLiteral("-af") << follow;
    } else if (soundInputs >= 2) {
        // amix pairs samples in arrival order; each input is first padded to the common clock
        // so that the later-opened source is not pulled forward.
        args << QStringLiteral("-filter_complex")
             << QStringLiteral("[0:a]%1:first_pts=0[a0];[1:a]%1:first_pts=0[a1];"
                               "[a0][a1]amix=inputs=2:duration=longest[a]")
                    .arg(follow)
             << QStringLiteral("-map") << QStringLiteral("[a]");
    }
    // Otherwise the sound inputs would keep the run going after the last picture, and the file
    // would end with sound taken after the stop.
    if (endWithPictures)
        args << QStringLiteral("-shortest");
    args << encodeOptions() << fragmentedOutput(outputPath);
    return args;
}

QStringList videoStartProbeArguments(const QString& workPath)
{
    return {QStringLiteral("-hide_banner"), QStringLiteral("-i"),        workPath,
            QStringLiteral("-map"),         QStringLiteral("0:v:0"),     QStringLiteral("-c"),
            QStringLiteral("copy"),         QStringLiteral("-frames:v"), QStringLiteral("3"),
            QStringLiteral("-f"),           QStringLiteral("framemd5"),  QStringLiteral("-")};
}

QString soundSourceFailure(const QString& line, const QStringList& sources)
{
    for (const QString& source : sources) {
        const QString prefix = source + QStringLiteral(": ");
        if (!source.isEmpty() && line.startsWith(prefix))
            return QStringLiteral("the sound from %1 failed (%2).")
                .arg(source, line.mid(prefix.size()).trimmed());
    }
    return {};
}

double videoStartSeconds(const QStringList& probeLines)
{
    static const QRegularExpression timeBase(QStringLiteral("^#tb 0: (\\d+)/(\\d+)\\s*$"));
    static const QRegularExpression packet(
        QStringLiteral("^0,\\s*(-?\\d+),\\s*(-?\\d+),\\s*(\\d+),\\s*\\d+,"));
    double num = 0;
    double den = 0;
    QVector<qint64> pts;
    QVector<qint64> durations;
    for (const QString& line : probeLines) {
        const QRegularExpressionMatch tb = timeBase.match(line);
        if (tb.hasMatch()) {
            num = tb.captured(1).toDouble();
            den = tb.captured(2).toDouble();
            continue;
        }
        const QRegularExpressionMatch p = packet.match(line);
        if (p.hasMatch()) {
            pts.append(p.captured(2).toLongLong());
            durations.append(p.captured(3).toLongLong());
        }
    }
    if (pts.isEmpty() || num <= 0 || den <= 0)
        return -1;
    qint64 start = pts[0];
    if (pts.size() >= 2) {
        qint64 frame = durations[0];
        if (frame <= 0 && pts.size() >= 3)
            frame = pts[2] - pts[1];
        if (frame > 0 && double(pts[1] - pts[0]) > 1.5 * double(frame))
            start = pts[1];
    }
    return std::max(0.0, double(start) * num / den);
}

QStringList finalizeArguments(const QString& workPath, double startSeconds,
                              const QString& outputPath)
{
    QStringList args{QStringLiteral("-hide_banner")};
    const double start = std::floor(startSeconds * 1e6) / 1e6;
    // Input seeking: the packets before the start are kept as hidden pre-roll (an edit list),
    // so the picture starts exactly there and the sound with it.
    if (start > 0)
        args << QStringLiteral("-ss") << seconds6(start);
    args << QStringLiteral("-i") << workPath << QStringLiteral("-map") << QStringLiteral("0")
         << QStringLiteral("-c") << QStringLiteral("copy");
    if (start > 0) {
        // Hidden pre-roll is honoured by players but not by a stream copy into a transport
        // stream, which a merge makes of every input: there the stretched first keyframe froze
        // the picture for the whole lead-in and the sound before the start played. The sound
        // before the start is dropped (its stamps are kept, so it stays in step), and a lone
        // first keyframe (no reordering) is moved to one frame (at 29.97 fps) before the start.
        args << QStringLiteral("-copypriorss:a") << QStringLiteral("0") << QStringLiteral("-bsf:v")
             << QStringLiteral("setts=ts='if(eq(N,0)*eq(PTS,DTS),max(TS,-1001/30000/TB),TS)'");
    }
    // The output is a working file reserved for this copy: it is ours to overwrite.
    args << QStringLiteral("-movflags") << QStringLiteral("+faststart") << QStringLiteral("-f")
         << QStringLiteral("mp4") << QStringLiteral("-y") << outputPath;
    return args;
}

QString fellBehindText(double ranSeconds, double writtenSeconds)
{
    // A stop lands up to a few frames after the last picture written, and the sound inputs can
    // hold the first picture up by a second or two.
    if (ranSeconds <= 0 || writtenSeconds < 0 ||
        ranSeconds - writtenSeconds <= std::max(2.0, 0.1 * ranSeconds))
        return {};
    return QStringLiteral("this computer could not keep up with the screen: %1 s of the %2 s "
                          "recorded were written.")
        .arg(QString::number(writtenSeconds, 'f', 1), QString::number(ranSeconds, 'f', 1));
}
