// The inputs' stream facts and duration texts read from real tool output, and the merge
// mismatches listed from them.
#include "merge/MergeProbe.h"

#include <QtTest>

Q_DECLARE_METATYPE(MediaFacts)

namespace
{

// Captured from `ffmpeg -hide_banner -i a.mp4 -i b.mp4 -i missing.mp4` (FFmpeg 5.1).
const char* const kTwoThenMissing = R"(Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'a.mp4':
  Metadata:
    major_brand     : isom
    encoder         : Lavf59.27.100
  Duration: 00:00:02.00, start: 0.000000, bitrate: 130 kb/s
  Stream #0:0[0x1](und): Video: h264 (High) (avc1 / 0x31637661), yuv420p(progressive), 320x240 [SAR 1:1 DAR 4:3], 45 kb/s, 30 fps, 30 tbr, 15360 tbn (default)
    Metadata:
      handler_name    : VideoHandler
      vendor_id       : [0][0][0][0]
      encoder         : Lavc59.37.100 libx264
    Side data:
      displaymatrix: rotation of -90.00 degrees
  Stream #0:1[0x2](und): Audio: aac (LC) (mp4a / 0x6134706D), 44100 Hz, mono, fltp, 69 kb/s (default)
Input #1, mov,mp4,m4a,3gp,3g2,mj2, from 'b.mp4':
  Metadata:
    major_brand     : isom
    encoder         : Lavf59.27.100
  Duration: 00:00:02.00, start: 0.000000, bitrate: 72 kb/s
  Stream #1:0[0x1](und): Video: h264 (High) (avc1 / 0x31637661), yuv420p(progressive), 640x480 [SAR 1:1 DAR 4:3], 66 kb/s, 25 fps, 25 tbr, 12800 tbn (default)
    Metadata:
      handler_name    : VideoHandler
missing.mp4: No such file or directory
)";

// Colour details inside the pixel format, a fractional rate, a sound-only file and a
// transport stream; warnings of a damaged file before them.
const char* const kVarious = R"([mov,mp4,m4a,3gp,3g2,mj2 @ 0x55c749fec140] moov atom not found
Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'd.mp4':
  Metadata:
  Duration: 00:00:01.00, start: 0.000000, bitrate: 67 kb/s
  Stream #0:0[0x1](und): Video: h264 (High) (avc1 / 0x31637661), yuv420p(tv, bt709, progressive), 320x240 [SAR 1:1 DAR 4:3], 57 kb/s, 29.97 fps, 29.97 tbr, 30k tbn (default)
Input #1, mov,mp4,m4a,3gp,3g2,mj2, from 'aud.mp4':
  Metadata:
  Duration: 00:00:01.00, start: 0.000000, bitrate: 79 kb/s
  Stream #1:0[0x1](und): Audio: aac (mp4a / 0x6134706D), 44100 Hz, mono, fltp, 70 kb/s (default)
Input #2, mpegts, from '1.ts':
  Duration: 00:00:02.02, start: 1.443444, bitrate: 191 kb/s
  Program 1 
  Stream #2:0[0x100]: Video: h264 (High) ([27][0][0][0] / 0x001B), yuv420p(progressive), 320x240 [SAR 1:1 DAR 4:3], 30 fps, 30 tbr, 90k tbn
  Stream #2:1[0x101](und): Audio: aac (LC) ([15][0][0][0] / 0x000F), 48000 Hz, stereo, fltp, 71 kb/s
  Stream #2:2[0x102](und): Audio: mp3, 22050 Hz, mono, fltp, 32 kb/s
Input #3, matroska,webm, from 'live.mkv':
  Duration: N/A, start: 0.000000, bitrate: N/A
  Stream #3:0: Video: vp9 (Profile 0), yuv420p(tv), 1280x720, SAR 1:1 DAR 16:9, 1k tbr, 1k tbn (default)
At least one output file must be specified
)";

QString summary(const MediaFacts& f)
{
    QString video = f.hasVideo ? QStringLiteral("%1 %2 %3 %4")
                                     .arg(f.videoCodec, f.size, f.pixelFormat)
                                     .arg(f.frameRate)
                               : QStringLiteral("no video");
    QString audio = f.hasAudio ? QStringLiteral("%1%2 %3 %4")
                                     .arg(f.audioCodec, f.audioProfile.isEmpty()
                                                            ? QString()
                                                            : QLatin1Char('/') + f.audioProfile)
                                     .arg(f.sampleRate)
                                     .arg(f.channels)
                               : QStringLiteral("no audio");
    if (f.rotation != 0)
        video += QStringLiteral(" turned %1").arg(f.rotation);
    return QStringLiteral("%1 | %2 | %3 from %4 | %5")
        .arg(video, audio)
        .arg(f.durationSeconds)
        .arg(f.startSeconds)
        .arg(f.durationText);
}

MediaFacts clip(const QString& size = QStringLiteral("320x240"), double rate = 30,
                bool audio = true)
{
    MediaFacts f;
    f.opened = true;
    f.durationSeconds = 2;
    f.hasVideo = true;
    f.videoCodec = QStringLiteral("h264");
    f.size = size;
    f.pixelFormat = QStringLiteral("yuv420p");
    f.frameRate = rate;
    f.hasAudio = audio;
    if (audio) {
        f.audioCodec = QStringLiteral("aac");
        f.sampleRate = 44100;
        f.channels = QStringLiteral("mono");
    }
    return f;
}

} // namespace

class TestMergeProbe : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data();
    void parse();
    void mismatches_data();
    void mismatches();
};

void TestMergeProbe::parse_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("two inputs, the run stops at a missing third")
        << QString::fromUtf8(kTwoThenMissing)
        << QStringList{
               QStringLiteral(
                   "h264 320x240 yuv420p 30 turned 270 | aac/LC 44100 mono | 2 from 0 | 00:00:02"),
               QStringLiteral("h264 640x480 yuv420p 25 | no audio | 2 from 0 | 00:00:02")};
    // The duration texts are the one-file probe's, odd as they are.
    QTest::newRow("colour details, sound only, transport stream, unknown length")
        << QString::fromUtf8(kVarious)
        << QStringList{
               QStringLiteral("h264 320x240 yuv420p 29.97 | no audio | 1 from 0 | 00:00:01"),
               QStringLiteral("no video | aac 44100 mono | 1 from 0 | 00:00:01"),
               QStringLiteral(
                   "h264 320x240 yuv420p 30 | aac/LC 48000 stereo | 2.02 from 1.44344 | 00:00:02"),
               QStringLiteral("vp9 1280x720 yuv420p 1000 | no audio | -1 from 0 | N/A, sta")};
    // A finalised recording: its hidden lead-in drags "fps" down; its own rate is the tbr.
    QTest::newRow("recording trimmed by an edit list, 100 hours")
        << QStringLiteral("Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'rec.mp4':\n"
                          "  Duration: 100:00:04.21, start: 0.000000, bitrate: 437 kb/s\n"
                          "  Stream #0:0[0x1](und): Video: h264 (Constrained Baseline) (avc1 / "
                          "0x31637661), yuv420p(progressive), 1280x720, 148 kb/s, 18.87 fps, "
                          "29.97 tbr, 11988 tbn (default)\n")
        << QStringList{
               QStringLiteral("h264 1280x720 yuv420p 29.97 | no audio | 360004 from 0 | 100:00:0")};
    QTest::newRow("nothing opened") << QStringLiteral("x.mp4: Invalid data found when processing "
                                                      "input\r\n")
                                    << QStringList();
}

void TestMergeProbe::parse()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QStringList got;
    for (const MediaFacts& f : parseInputDescriptions(text)) {
        QVERIFY(f.opened);
        got.append(summary(f));
    }
    QCOMPARE(got, expected);
}

void TestMergeProbe::mismatches_data()
{
    // Three queued files, a.mp4, b.mp4 and c.mp4; fewer facts when the tool stopped early.
    QTest::addColumn<QVector<MediaFacts>>("facts");
    QTest::addColumn<QStringList>("expected");

    MediaFacts allOther = clip(QStringLiteral("640x480"), 25);
    allOther.videoCodec = QStringLiteral("hevc");
    allOther.pixelFormat = QStringLiteral("yuv444p");
    allOther.sampleRate = 48000;
    allOther.channels = QStringLiteral("stereo");
    allOther.rotation = 90;

    QTest::newRow("same streams; a live recording's rate wobbles")
        << QVector<MediaFacts>{clip(), clip(), clip(QStringLiteral("320x240"), 29.97)}
        << QStringList();
    QTest::newRow("other size, one without audio")
        << QVector<MediaFacts>{clip(), clip(QStringLiteral("640x480")),
                               clip(QStringLiteral("320x240"), 30, false)}
        << QStringList{QStringLiteral("b.mp4: size 640x480"), QStringLiteral("c.mp4: no audio")};
    QTest::newRow("every difference of a file on its line")
        << QVector<MediaFacts>{clip(QStringLiteral("320x240"), 30, false), allOther, clip()}
        << QStringList{QStringLiteral("b.mp4: video codec hevc, size 640x480, pixel format "
                                      "yuv444p, frame rate 25 fps, rotation 90°, has audio"),
                       QStringLiteral("c.mp4: has audio")};
    QTest::newRow("unreadable first file; the rest compared with the next")
        << QVector<MediaFacts>{MediaFacts(), clip(), allOther}
        << QStringList{
               QStringLiteral("a.mp4: cannot be read as a video"),
               QStringLiteral("c.mp4: video codec hevc, size 640x480, pixel format "
                              "yuv444p, frame rate 25 fps, rotation 90°, sample rate 48000 Hz, "
                              "channels stereo")};
    QTest::newRow("described fewer files than queued")
        << QVector<MediaFacts>{clip(), clip()}
        << QStringList{QStringLiteral("c.mp4: cannot be read as a video")};
}

void TestMergeProbe::mismatches()
{
    QFETCH(QVector<MediaFacts>, facts);
    QFETCH(QStringList, expected);
    const QStringList names{QStringLiteral("a.mp4"), QStringLiteral("b.mp4"),
                            QStringLiteral("c.mp4")};
    QCOMPARE(mergeMismatches(names, facts), expected);
}

QTEST_GUILESS_MAIN(TestMergeProbe)
#include "tst_mergeprobe.moc"
