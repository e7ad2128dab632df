// The frame-exact cut with the real media tool on tiny clips of every kind it meets (recordings,
// camera files with B-frames, irregular keyframes, HEVC, settings x264 cannot reproduce), the
// merge of its cuts, and cuts that fail or are canceled.
#include "MediaTestUtil.h"
#include "cut/SmartCutter.h"
#include "dialogs/JobText.h"
#include "media/OutputCheck.h"
#include "media/ToolRun.h"
#include "merge/MergeCommands.h"
#include "record/RecordCommand.h"
#include "support/Helpers.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <csignal>

namespace
{

struct Packet {
    double pts = 0; // seconds
    double dts = 0;
    bool key = false;
    QString hash;
};

QByteArray run(const QString& program, const QStringList& args, const QString& dir = {})
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(program, args);
    p.waitForFinished(120000);
    if (p.exitCode() != 0)
        qWarning("%s failed: %s", qPrintable(program), p.readAllStandardError().constData());
    return p.readAllStandardOutput();
}

QByteArray tool(const QStringList& args, const QString& dir = {})
{
    return run(testutil::ffmpegPath(),
               QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y")} +
                   args,
               dir);
}

// The packets of stream `selector` ("v:0", "a:0") in presentation order, as ffprobe sees them.
QVector<Packet> packets(const QString& path, const QString& selector)
{
    const QJsonObject top =
        QJsonDocument::fromJson(
            run(testutil::ffprobePath(),
                {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
                 selector, QStringLiteral("-show_entries"),
                 QStringLiteral("packet=pts_time,dts_time,flags,data_hash"),
                 QStringLiteral("-show_data_hash"), QStringLiteral("MD5"), QStringLiteral("-of"),
                 QStringLiteral("json"), path}))
            .object();
    QVector<Packet> list;
    for (const QJsonValue& v : top.value(QStringLiteral("packets")).toArray()) {
        const QJsonObject o = v.toObject();
        list.append({o.value(QStringLiteral("pts_time")).toString().toDouble(),
                     o.value(QStringLiteral("dts_time")).toString().toDouble(),
                     o.value(QStringLiteral("flags")).toString().startsWith(QLatin1Char('K')),
                     o.value(QStringLiteral("data_hash")).toString()});
    }
    std::sort(list.begin(), list.end(),
              [](const Packet& a, const Packet& b) { return a.pts < b.pts; });
    return list;
}

// MD5 of every decoded picture in presentation order (hidden pre-roll is not shown).
QStringList pictureHashes(const QString& path)
{
    QStringList hashes;
    const QList<QByteArray> lines =
        tool({QStringLiteral("-i"), path, QStringLiteral("-map"), QStringLiteral("0:v:0"),
              QStringLiteral("-fps_mode"), QStringLiteral("passthrough"), QStringLiteral("-f"),
              QStringLiteral("framemd5"), QStringLiteral("-")})
            .split('\n');
    for (const QByteArray& line : lines) {
        if (!line.startsWith('#') && !line.isEmpty())
            hashes << QString::fromLatin1(line.split(',').last().trimmed());
    }
    return hashes;
}

// `count` decoded pictures from the one at `seconds` on, shrunk to 64x48 grey. Decoded from
// the start: a seek showed a picture twice in HEVC.
QVector<QByteArray> pictures(const QString& path, double seconds, int count)
{
    const QByteArray raw =
        tool({QStringLiteral("-i"), path, QStringLiteral("-map"), QStringLiteral("0:v:0"),
              QStringLiteral("-fps_mode"), QStringLiteral("passthrough"),
              QStringLiteral("-frames:v"), QString::number(count), QStringLiteral("-vf"),
              QStringLiteral("select=gte(t\\,%1),scale=64:48").arg(seconds - 0.001, 0, 'f', 6),
              QStringLiteral("-pix_fmt"), QStringLiteral("gray"), QStringLiteral("-f"),
              QStringLiteral("rawvideo"), QStringLiteral("-")});
    QVector<QByteArray> list;
    for (int at = 0; at + 64 * 48 <= raw.size(); at += 64 * 48)
        list << raw.mid(at, 64 * 48);
    return list;
}

double difference(const QByteArray& a, const QByteArray& b)
{
    double sum = 0;
    for (qsizetype i = 0; i < a.size() && i < b.size(); ++i)
        sum += std::abs(int(uchar(a.at(i))) - int(uchar(b.at(i))));
    return sum / double(std::max<qsizetype>(1, a.size()));
}

// The presentation index of the picture shown at `seconds`, and of the first at or after it.
int shownAt(const QVector<Packet>& v, double seconds)
{
    int s = 0;
    for (int i = 0; i < v.size() && v.at(i).pts <= seconds + 1e-6; ++i)
        s = i;
    return s;
}
int firstFrom(const QVector<Packet>& v, double seconds)
{
    int e = 0;
    while (e < v.size() && v.at(e).pts < seconds - 1e-6)
        ++e;
    return e;
}

const QString kLavfiSize = QStringLiteral("size=320x240");

} // namespace

class TestSmartCut : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cut_data();
    void cut();
    void mergeOfTwoCutsHoldsExactlyTheirPictures();
    void cancelLeavesNothing_data();
    void cancelLeavesNothing();

private:
    // Runs a cut of `source` into `out`; checks its reports, that the source is untouched and
    // that no working folder is left.
    void cutInto(const QString& source, double start, double end, const QString& out,
                 SmartCutResult* result);
    QString clip(const QString& kind) const { return m_clips.filePath(kind + ".mp4"); }

    QTemporaryDir m_clips;
    std::unique_ptr<QTemporaryDir> m_outDir;
    QString m_out;
    std::unique_ptr<SmartCutter> m_cutter;
};

void TestSmartCut::initTestCase()
{
    QVERIFY(m_clips.isValid());
    // The test picture with a stripe whose grey level changes with every picture, so that
    // neighbouring pictures differ clearly.
    const QString video =
        QStringLiteral("testsrc=%1:rate=%2:duration=%3,format=yuv420p,"
                       "geq=lum='if(lt(X,80),mod(N*37,256),lum(X,Y))':cb='cb(X,Y)':cr='cr(X,Y)'");
    const QString sound = QStringLiteral("sine=frequency=440:sample_rate=%1:duration=%2");
    const auto make = [&](const QString& kind, const QString& rate, int seconds, int hz,
                          const QStringList& encode) {
        QStringList args{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                         video.arg(kLavfiSize, rate).arg(seconds)};
        if (hz > 0)
            args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
                 << sound.arg(hz).arg(seconds) << QStringLiteral("-c:a") << QStringLiteral("aac");
        tool(args + encode + QStringList{clip(kind)});
        QVERIFY2(QFileInfo(clip(kind)).size() > 0, qPrintable(kind));
    };
    const QStringList x264{QStringLiteral("-c:v"), QStringLiteral("libx264"),
                           QStringLiteral("-pix_fmt"), QStringLiteral("yuv420p")};
    // A recording: ultrafast at 29.97 fps with a keyframe every 2 s, written fragmented and
    // finalised as the recorder does (a hidden lead-in, a stretched first keyframe).
    make(QStringLiteral("fragmented"), QStringLiteral("30000/1001"), 9, 44100,
         x264 + QStringList{QStringLiteral("-preset"), QStringLiteral("ultrafast"),
                            QStringLiteral("-g"), QStringLiteral("60"), QStringLiteral("-movflags"),
                            QStringLiteral("+frag_keyframe+empty_moov+default_base_moof")});
    run(testutil::ffmpegPath(), finalizeArguments(clip(QStringLiteral("fragmented")), 0.3,
                                                  clip(QStringLiteral("recording"))));
    // A camera file: B-frames, CABAC, sound at 48 kHz.
    make(QStringLiteral("camera"), QStringLiteral("25"), 7, 48000,
         x264 + QStringList{QStringLiteral("-preset"), QStringLiteral("medium"),
                            QStringLiteral("-g"), QStringLiteral("50")});
    // Keyframes one picture apart; their idr_pic_id alternate 0, 1, 0, 1, 0.
    make(QStringLiteral("irregular"), QStringLiteral("25"), 6, 48000,
         x264 + QStringList{QStringLiteral("-preset"), QStringLiteral("medium"),
                            QStringLiteral("-g"), QStringLiteral("250"),
                            QStringLiteral("-force_key_frames"),
                            QStringLiteral("0,1.04,2.04,3.04,5")});
    make(QStringLiteral("hevc"), QStringLiteral("25"), 6, 48000,
         {QStringLiteral("-c:v"), QStringLiteral("libx265"), QStringLiteral("-preset"),
          QStringLiteral("ultrafast"), QStringLiteral("-x265-params"),
          QStringLiteral("keyint=50:log-level=error")});
    // Overscan is written into the parameter sets but not into x264's info string: the
    // re-encoded pictures' sets differ, which only the check after encoding can tell.
    make(QStringLiteral("overscan"), QStringLiteral("25"), 5, 0,
         x264 + QStringList{QStringLiteral("-g"), QStringLiteral("50"),
                            QStringLiteral("-x264-params"), QStringLiteral("overscan=show")});
    make(QStringLiteral("yuv444"), QStringLiteral("25"), 5, 0,
         {QStringLiteral("-c:v"), QStringLiteral("libx264"), QStringLiteral("-pix_fmt"),
          QStringLiteral("yuv444p"), QStringLiteral("-g"), QStringLiteral("50")});
    make(QStringLiteral("longgroup"), QStringLiteral("25"), 8, 0,
         x264 + QStringList{QStringLiteral("-g"), QStringLiteral("250"),
                            QStringLiteral("-force_key_frames"), QStringLiteral("0,6.4")});
    // A cut made before by copying from a keyframe: no x264 info string in its first picture,
    // the settings come from the parameter sets.
    tool({QStringLiteral("-ss"), QStringLiteral("2"), QStringLiteral("-i"),
          clip(QStringLiteral("camera")), QStringLiteral("-c"), QStringLiteral("copy"),
          clip(QStringLiteral("recut"))});
    // Its sound starting 2 s after its picture.
    tool({QStringLiteral("-i"), clip(QStringLiteral("camera")), QStringLiteral("-itsoffset"),
          QStringLiteral("2"), QStringLiteral("-i"), clip(QStringLiteral("camera")),
          QStringLiteral("-map"), QStringLiteral("0:v"), QStringLiteral("-map"),
          QStringLiteral("1:a"), QStringLiteral("-c"), QStringLiteral("copy"),
          clip(QStringLiteral("latesound"))});
    // Every fifth picture left out, the times kept: uneven durations.
    make(QStringLiteral("uneven"), QStringLiteral("25"), 5, 0,
         x264 + QStringList{QStringLiteral("-vf"), QStringLiteral("select=not(eq(mod(n\\,5)\\,2))"),
                            QStringLiteral("-fps_mode"), QStringLiteral("passthrough"),
                            QStringLiteral("-g"), QStringLiteral("25")});
}

void TestSmartCut::init()
{
    m_outDir = std::make_unique<QTemporaryDir>();
    m_out = m_outDir->filePath(QStringLiteral(".Cut_clip.k3v.part.mp4"));
    m_cutter = std::make_unique<SmartCutter>();
}

void TestSmartCut::cutInto(const QString& source, double start, double end, const QString& out,
                           SmartCutResult* result)
{
    const QByteArray sum = testutil::checksum(source);
    QSignalSpy progress(m_cutter.get(), &SmartCutter::progressChanged);
    QSignalSpy finished(m_cutter.get(), &SmartCutter::finished);
    QVERIFY(m_cutter->start(source, start, end, out));
    QVERIFY(finished.wait(60000));
    QCOMPARE(finished.size(), 1);
    *result = finished.first().at(0).value<SmartCutResult>();
    int last = 0;
    for (const QList<QVariant>& report : std::as_const(progress)) {
        QVERIFY(report.at(0).toInt() > last && report.at(0).toInt() < 100);
        last = report.at(0).toInt();
    }
    QCOMPARE(testutil::checksum(source), sum);
    for (const QString& name : testutil::entriesIn(QFileInfo(out).absolutePath()))
        QVERIFY2(!name.startsWith(QLatin1String(".vistrel-cut")), qPrintable(name));
}

void TestSmartCut::cut_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<bool>("exact"); // false: it copies from the first keyframe after the start
    QTest::addColumn<int>("head");   // pictures re-encoded at the start; -1: not checked
    QTest::newRow("recording") << QStringLiteral("recording") << 3 << 6 << true << -1;
    QTest::newRow("recording to past its end")
        << QStringLiteral("recording") << 6 << 12 << true << -1;
    QTest::newRow("camera, end not clean") << QStringLiteral("camera") << 1 << 5 << true << 25;
    QTest::newRow("camera, start on a keyframe") << QStringLiteral("camera") << 2 << 5 << true << 0;
    QTest::newRow("head of one picture") << QStringLiteral("irregular") << 1 << 3 << true << 1;
    // The head's own IDR picture has idr_pic_id 0 too: the next keyframe is taken.
    QTest::newRow("idr_pic_id 0 right after a one-picture head")
        << QStringLiteral("irregular") << 2 << 4 << true << 26;
    QTest::newRow("sound starting a second after the start mark")
        << QStringLiteral("latesound") << 1 << 5 << true << 25;
    QTest::newRow("a cut of a cut") << QStringLiteral("recut") << 1 << 4 << true << 25;
    QTest::newRow("HEVC") << QStringLiteral("hevc") << 1 << 4 << false << 0;
    QTest::newRow("parameter sets unlike the source's after encoding")
        << QStringLiteral("overscan") << 1 << 4 << false << 0;
    QTest::newRow("4:4:4 pictures") << QStringLiteral("yuv444") << 1 << 4 << false << 0;
    QTest::newRow("more than 5 s to re-encode")
        << QStringLiteral("longgroup") << 1 << 7 << false << 0;
    QTest::newRow("uneven picture durations") << QStringLiteral("uneven") << 1 << 4 << false << 0;
}

void TestSmartCut::cut()
{
    QFETCH(QString, kind);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(bool, exact);
    QFETCH(int, head);
    const QString source = clip(kind);
    QFile reserved(m_out); // the caller's hidden working file, reserved empty
    QVERIFY(reserved.open(QIODevice::WriteOnly));
    reserved.close();

    SmartCutResult result;
    cutInto(source, start, end, m_out, &result);
    QCOMPARE(result.outcome, SmartCutResult::Outcome::Saved);
    QCOMPARE(result.exact, exact);
    QCOMPARE(result.fallbackReason.isEmpty(), exact);

    const QVector<Packet> src = packets(source, QStringLiteral("v:0"));
    const QVector<Packet> out = packets(m_out, QStringLiteral("v:0"));
    const int s = shownAt(src, start);
    const int e = firstFrom(src, end);
    int k = s;
    while (k < e && !src.at(k).key)
        ++k;
    const int first = exact ? s : k; // the source picture the result starts with
    QCOMPARE(result.startSeconds, src.at(first).pts);
    if (exact) {
        QCOMPARE(out.size(), e - s);
    } else {
        // To the first clean end at or after the end mark: a few pictures more at most.
        QVERIFY2(out.size() >= e - k && out.size() <= e - k + 4,
                 qPrintable(QString::number(out.size())));
        QVERIFY(cutStartNotice(result.startSeconds)
                    .contains(QString::fromStdString(GetTimeStringA(qint64(src.at(k).pts)))));
    }
    // The copied pictures are the source's packets as they were, each at its place: all from
    // the first copied one (a keyframe) on, but a few re-encoded at a B-frame end.
    int copiedFrom = 0;
    while (copiedFrom < out.size() && out.at(copiedFrom).hash != src.at(first + copiedFrom).hash)
        ++copiedFrom;
    if (head >= 0)
        QCOMPARE(copiedFrom, head);
    QVERIFY(copiedFrom < out.size() && src.at(first + copiedFrom).key);
    int copiedTo = copiedFrom;
    while (copiedTo < out.size() && out.at(copiedTo).hash == src.at(first + copiedTo).hash)
        ++copiedTo;
    QVERIFY2(
        copiedTo >= out.size() - (exact ? 4 : 0),
        qPrintable(
            QStringLiteral("copied %1 to %2 of %3").arg(copiedFrom).arg(copiedTo).arg(out.size())));

    // Nothing hidden: no edit list, and both streams start at 0, unless the sound starts
    // later in the source.
    const bool late = kind == QLatin1String("latesound");
    QFile file(m_out);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().contains("elst"), late);
    QCOMPARE(out.first().pts, 0.0);
    QVERIFY(out.first().dts <= 0);
    const QVector<Packet> sound = packets(m_out, QStringLiteral("a:0"));
    // As the merge reads the file's header.
    const IsoTrackEnds ends = isoTrackEnds(m_out);
    QVERIFY(qAbs(ends.audioStart - (sound.isEmpty() ? 0 : sound.first().pts)) < 1e-3);
    if (!sound.isEmpty()) {
        // The sound starts with the source's packet nearest the first picture, as far from it
        // as in the source.
        const QVector<Packet> sourceSound = packets(source, QStringLiteral("a:0"));
        const auto found =
            std::find_if(sourceSound.cbegin(), sourceSound.cend(),
                         [&](const Packet& p) { return p.hash == sound.first().hash; });
        QVERIFY(found != sourceSound.cend());
        const double frame = sourceSound.at(1).pts - sourceSound.at(0).pts;
        const double after = found->pts - src.at(first).pts;
        QVERIFY2(late ? after > 0.9 && std::abs(after - sound.first().pts) <= 1e-3
                      : sound.first().pts == 0 && std::abs(after) <= frame / 2 + 1e-4,
                 qPrintable(QStringLiteral("%1 %2").arg(after).arg(sound.first().pts)));
    }
    // The first picture is the one shown at the mark, not a neighbour.
    const QVector<QByteArray> around = pictures(source, src.at(std::max(0, first - 1)).pts, 3);
    const QVector<QByteArray> mine = pictures(m_out, 0, 1);
    QVERIFY(around.size() == 3 && mine.size() == 1);
    const QByteArray& shown = around.at(first > 0 ? 1 : 0);
    const double own = difference(mine.first(), shown);
    for (const QByteArray& other : around) {
        if (&other != &shown)
            QVERIFY2(difference(mine.first(), other) > own + 4.0,
                     qPrintable(
                         QStringLiteral("%1 vs %2").arg(own).arg(difference(mine.first(), other))));
    }
    QVERIFY(testutil::decodesCleanly(m_out));
}

void TestSmartCut::mergeOfTwoCutsHoldsExactlyTheirPictures()
{
    const QString source = clip(QStringLiteral("recording"));
    const QStringList sourcePictures = pictureHashes(source);
    const QVector<Packet> src = packets(source, QStringLiteral("v:0"));
    // The recording's hidden lead-in has packets but no pictures.
    const int hidden =
        int(std::count_if(src.cbegin(), src.cend(), [](const Packet& p) { return p.pts < 0; }));
    const QList<std::pair<int, int>> spans{{1, 3}, {4, 8}};
    QStringList expected;
    QStringList tsNames;
    double videoSum = 0;
    int index = 0;
    for (const auto& [start, end] : spans) {
        const QString cut = m_outDir->filePath(QStringLiteral("cut%1.mp4").arg(index++));
        SmartCutResult result;
        cutInto(source, start, end, cut, &result);
        QCOMPARE(result.outcome, SmartCutResult::Outcome::Saved);
        // Every picture from the keyframe on decodes to the source's own at its place.
        const QStringList mine = pictureHashes(cut);
        const int s = shownAt(src, start);
        QCOMPARE(mine.size(), firstFrom(src, end) - s);
        int k = s;
        while (!src.at(k).key)
            ++k;
        for (int i = k - s; i < mine.size(); ++i)
            QCOMPARE(mine.at(i), sourcePictures.at(s + i - hidden));
    }
    // The two cuts are merged with a part between them whose sound runs on half a second past
    // its picture, as a recording's can: the picture after it must not wait for that sound.
    const QString longSound = m_outDir->filePath(QStringLiteral("long.mp4"));
    tool({QStringLiteral("-i"), m_outDir->filePath(QStringLiteral("cut0.mp4")),
          QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
          QStringLiteral("sine=sample_rate=44100:duration=%1")
              .arg(isoVideoEndSeconds(m_outDir->filePath(QStringLiteral("cut0.mp4"))) + 0.5),
          QStringLiteral("-map"), QStringLiteral("0:v"), QStringLiteral("-map"),
          QStringLiteral("1:a"), QStringLiteral("-c:v"), QStringLiteral("copy"),
          QStringLiteral("-c:a"), QStringLiteral("aac"), longSound});
    MediaFacts facts;
    facts.hasAudio = true;
    facts.audioCodec = QStringLiteral("aac");
    facts.sampleRate = 44100;
    facts.frameRate = 29.97;
    MergeSoundCarry sound;
    for (const QString& part : {m_outDir->filePath(QStringLiteral("cut0.mp4")), longSound,
                                m_outDir->filePath(QStringLiteral("cut1.mp4"))}) {
        tsNames << mergeTsName(int(tsNames.size()) + 1);
        const IsoTrackEnds ends = isoTrackEnds(part);
        tool(changeToTsArguments(part, m_outDir->filePath(tsNames.last()), true,
                                 sound.planFor(facts, ends.video, 0, ends.audio, false).packets));
        expected += pictureHashes(part);
        videoSum += isoVideoEndSeconds(part);
    }
    tool(joinArguments(tsNames, QStringLiteral("joined.mp4"), facts), m_outDir->path());
    const QString joined = m_outDir->filePath(QStringLiteral("joined.mp4"));
    QCOMPARE(pictureHashes(joined), expected);
    QVERIFY(std::abs(isoVideoEndSeconds(joined) - videoSum) < 0.002);
}

void TestSmartCut::cancelLeavesNothing_data()
{
    QTest::addColumn<int>("run"); // the run during which Cancel is pressed (or the tool killed)
    QTest::addColumn<bool>("kill");
    QTest::newRow("while probing") << 0 << false;
    QTest::newRow("while re-encoding") << 1 << false;
    QTest::newRow("while joining") << 2 << false;
    // Not copied round from a keyframe, with a success at a later start.
    QTest::newRow("tool killed while joining") << 2 << true;
}

void TestSmartCut::cancelLeavesNothing()
{
    QFETCH(int, run);
    QFETCH(bool, kill);
    auto* runner = m_cutter->findChild<ToolRun*>();
    QVERIFY(runner);
    int ended = 0;
    connect(runner, &ToolRun::finished, this, [&] { ++ended; });
    connect(runner, &ToolRun::readyRead, this, [&] {
        if (ended != run)
            return;
        if (kill)
            ::kill(pid_t(runner->processId()), SIGKILL);
        else
            m_cutter->cancel();
    });
    SmartCutResult result;
    cutInto(clip(QStringLiteral("recording")), 3, 6, m_out, &result);
    QCOMPARE(result.outcome,
             kill ? SmartCutResult::Outcome::Failed : SmartCutResult::Outcome::Canceled);
    if (kill)
        QVERIFY2(result.failure.contains(QLatin1String("stopped by another program")),
                 qPrintable(result.failure));
    QCOMPARE(ended, run + 1);
    QCOMPARE(testutil::entriesIn(m_outDir->path()), QStringList());
}

QTEST_GUILESS_MAIN(TestSmartCut)

#include "tst_smartcut.moc"
