// Finalising a recording's working file with the real media tool: the lead-in is trimmed, the
// file is complete and indexed at the front, and nothing is ever lost or left behind.
#include "MediaTestUtil.h"
#include "merge/MergeCommands.h"
#include "record/RecordNames.h"
#include "record/RecordingFinalizer.h"
#include "support/Helpers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using testutil::ffmpegPath;

Q_DECLARE_METATYPE(FinalizeOutcome)

namespace
{

// A working file as a recording leaves it: sound from 0, the picture from `leadIn` seconds
// (wall-clock stamps kept), fragmented. `seconds` of picture.
bool makeWorkingFile(const QString& path, double leadIn, double seconds, bool audio = true)
{
    QStringList args{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-copyts")};
    if (audio)
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
             << QStringLiteral("sine=frequency=440:duration=%1").arg(leadIn + seconds);
    args << QStringLiteral("-itsoffset") << QString::number(leadIn) << QStringLiteral("-f")
         << QStringLiteral("lavfi") << QStringLiteral("-i")
         << QStringLiteral("testsrc=size=320x240:rate=30:duration=%1").arg(seconds);
    args << QStringLiteral("-map") << (audio ? QStringLiteral("1:v") : QStringLiteral("0:v"));
    if (audio)
        args << QStringLiteral("-map") << QStringLiteral("0:a") << QStringLiteral("-c:a")
             << QStringLiteral("aac");
    args << QStringLiteral("-c:v") << QStringLiteral("libx264") << QStringLiteral("-preset")
         << QStringLiteral("ultrafast") << QStringLiteral("-pix_fmt") << QStringLiteral("yuv420p")
         << QStringLiteral("-r") << QStringLiteral("29.97") << QStringLiteral("-g")
         << QStringLiteral("60") << QStringLiteral("-movflags")
         << QStringLiteral("+frag_keyframe+empty_moov+default_base_moof") << QStringLiteral("-f")
         << QStringLiteral("mp4") << path;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(ffmpegPath(), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning("%s", p.readAll().constData());
        return false;
    }
    return true;
}

// True when the movie box comes before the media data (the index is at the front).
bool indexAtFront(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    const QByteArray head = f.read(1 << 20);
    const qsizetype moov = head.indexOf("moov");
    const qsizetype mdat = head.indexOf("mdat");
    return moov >= 0 && (mdat < 0 || moov < mdat);
}

bool truncateTo(const QString& path, qint64 size)
{
    QFile f(path);
    return f.open(QIODevice::ReadWrite) && f.resize(size);
}

// Runs the media tool in `dir`; false (with its output shown) when it fails.
bool runTool(const QStringList& args, const QString& dir)
{
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(ffmpegPath(), QStringList{QStringLiteral("-v"), QStringLiteral("error")} + args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        qWarning("%s", p.readAll().constData());
        return false;
    }
    return true;
}

// How long the longest video packet of `path` shows, in seconds (-1 when none is listed).
double longestVideoPacket(const QString& path)
{
    QProcess p;
    p.start(testutil::ffprobePath(),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
             QStringLiteral("v:0"), QStringLiteral("-show_entries"),
             QStringLiteral("packet=duration_time"), QStringLiteral("-of"),
             QStringLiteral("csv=p=0"), path});
    if (!p.waitForFinished(60000))
        return -1;
    double longest = -1;
    for (const QByteArray& line : p.readAllStandardOutput().split('\n')) {
        bool ok = false;
        const double d = line.trimmed().toDouble(&ok);
        if (ok)
            longest = std::max(longest, d);
    }
    return longest;
}

} // namespace

class TestRecordFinalize : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void finalises_data();
    void finalises();
    void nothingRecorded_data();
    void nothingRecorded();
    void keptWhenTheToolIsMissing();
    void keptWhenTheDiskIsNearlyFull();
    void joinsWithoutLeadIn();

private:
    FinalizeOutcome finalise(const QString& work, const QString& final,
                             const QString& program = QString());
};

void TestRecordFinalize::initTestCase()
{
    qRegisterMetaType<FinalizeOutcome>();
    if (ffmpegPath().isEmpty())
        QSKIP("ffmpeg is not installed");
}

FinalizeOutcome TestRecordFinalize::finalise(const QString& work, const QString& final,
                                             const QString& program)
{
    RecordingFinalizer finalizer;
    finalizer.setProgram(program.isEmpty() ? ffmpegPath() : program);
    QSignalSpy done(&finalizer, &RecordingFinalizer::finished);
    if (!finalizer.start(work, final))
        return {};
    if (!done.wait(60000))
        return {};
    return done.at(0).at(0).value<FinalizeOutcome>();
}

void TestRecordFinalize::finalises_data()
{
    QTest::addColumn<double>("leadIn");
    QTest::addColumn<bool>("audio");
    QTest::addColumn<bool>("truncated");
    QTest::addColumn<bool>("finalTaken");

    QTest::newRow("lead-in trimmed") << 1.5 << true << false << false;
    QTest::newRow("picture only, no lead-in") << 0.0 << false << false << false;
    QTest::newRow("final name taken meanwhile") << 0.8 << true << false << true;
    QTest::newRow("tool killed mid-fragment") << 1.0 << true << true << false;
}

void TestRecordFinalize::finalises()
{
    QFETCH(double, leadIn);
    QFETCH(bool, audio);
    QFETCH(bool, truncated);
    QFETCH(bool, finalTaken);

    QTemporaryDir tmp;
    const QDir dir(tmp.filePath(QStringLiteral("Screen Säve")));
    QVERIFY(QDir().mkpath(dir.path()));
    const QString finalPath = dir.filePath(QStringLiteral("2024-05-01 14-03-09.mp4"));
    const QString work = dir.filePath(workingFileName(QStringLiteral("2024-05-01 14-03-09.mp4")));
    const double seconds = 4.0;
    QVERIFY(makeWorkingFile(work, leadIn, seconds, audio));
    double shortest = seconds - 0.3;
    if (truncated) {
        // A fragment every 2 s: cutting into the last one keeps the first.
        QVERIFY(truncateTo(work, QFileInfo(work).size() * 3 / 4));
        shortest = 1.5;
    }
    QByteArray other;
    if (finalTaken) {
        QVERIFY(testutil::writeRandomFile(finalPath, 1000));
        other = testutil::checksum(finalPath);
    }

    const FinalizeOutcome outcome = finalise(work, finalPath);
    QCOMPARE(int(outcome.kind), int(FinalizeOutcome::Kind::Finalised));
    const QString expectedPath =
        finalTaken ? dir.filePath(QStringLiteral("2024-05-01 14-03-09(1).mp4")) : finalPath;
    QCOMPARE(outcome.finalPath, expectedPath);
    if (finalTaken)
        QCOMPARE(testutil::checksum(finalPath), other);

    // Nothing but the recording is left in the folder.
    QVERIFY(!QFileInfo::exists(work));
    QCOMPARE(dir.entryList(QDir::Files | QDir::Hidden).size(), finalTaken ? 2 : 1);

    // The picture starts at once (no frozen lead-in), sound and picture have the same length,
    // and the file is whole.
    const double first = testutil::firstVideoFrameTime(expectedPath);
    QVERIFY2(first >= 0 && first < 0.05, qPrintable(QString::number(first)));
    const double duration = testutil::probeDuration(expectedPath);
    QVERIFY2(duration >= shortest && duration <= seconds + 0.2,
             qPrintable(QString::number(duration)));
    QCOMPARE(testutil::probeStreamTypes(expectedPath),
             audio ? (QStringList{"video", "audio"}) : QStringList{"video"});
    if (audio && !truncated) {
        const double audioLength = testutil::probeStreamEntry(expectedPath, QStringLiteral("a:0"),
                                                              QStringLiteral("duration"))
                                       .toDouble();
        QVERIFY2(qAbs(audioLength - duration) < 0.2, qPrintable(QString::number(audioLength)));
    }
    QVERIFY(indexAtFront(expectedPath));
    QVERIFY(testutil::decodesCleanly(expectedPath));
}

void TestRecordFinalize::nothingRecorded_data()
{
    QTest::addColumn<int>("keepBytes"); // -1: no working file at all
    QTest::newRow("the tool never wrote a file") << -1;
    QTest::newRow("killed before its header") << 28;
    QTest::newRow("made, never written") << 0;
}

void TestRecordFinalize::nothingRecorded()
{
    QFETCH(int, keepBytes);

    QTemporaryDir tmp;
    const QString work = tmp.filePath(QStringLiteral(".a.recording.mp4"));
    const QString finalPath = tmp.filePath(QStringLiteral("a.mp4"));
    if (keepBytes >= 0) {
        QVERIFY(makeWorkingFile(work, 0.5, 1.0));
        QVERIFY(truncateTo(work, keepBytes));
    }
    const FinalizeOutcome outcome = finalise(work, finalPath);
    QCOMPARE(int(outcome.kind), int(FinalizeOutcome::Kind::Nothing));
    QVERIFY(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void TestRecordFinalize::keptWhenTheToolIsMissing()
{
    // Without the tool nothing can be judged: the recording is kept, under its name, as it is.
    QTemporaryDir tmp;
    const QString work = tmp.filePath(QStringLiteral(".a.recording.mp4"));
    const QString finalPath = tmp.filePath(QStringLiteral("a.mp4"));
    QVERIFY(makeWorkingFile(work, 0.5, 2.0));
    const QByteArray sum = testutil::checksum(work);

    const FinalizeOutcome outcome =
        finalise(work, finalPath, tmp.filePath(QStringLiteral("no-tool")));
    QCOMPARE(int(outcome.kind), int(FinalizeOutcome::Kind::KeptAsIs));
    QCOMPARE(outcome.finalPath, finalPath);
    QVERIFY(!outcome.reason.isEmpty());
    QCOMPARE(testutil::checksum(finalPath), sum);
    QVERIFY(!QFileInfo::exists(work));
}

void TestRecordFinalize::keptWhenTheDiskIsNearlyFull()
{
    // A finalised copy needs as much room again: without it the copy would fill the disk to
    // the last byte and fail half-written. The recording is kept as it is instead.
    QTemporaryDir tmp;
    testutil::SmallDisk disk(tmp.filePath(QStringLiteral("small disk")));
    if (!disk.mounted)
        QSKIP("mounting a 15 MiB tmpfs is not permitted here (needs root)");
    const QString work = QDir(disk.path).filePath(QStringLiteral(".a.recording.mp4"));
    const QString finalPath = QDir(disk.path).filePath(QStringLiteral("a.mp4"));
    QVERIFY(makeWorkingFile(work, 0.5, 4.0));
    const QByteArray sum = testutil::checksum(work);
    const qint64 free = qint64(GetFreeSpace(disk.path));
    QVERIFY(testutil::fill(QDir(disk.path).filePath(QStringLiteral("filler")),
                           free - QFileInfo(work).size() / 2));

    const FinalizeOutcome outcome = finalise(work, finalPath);
    QCOMPARE(int(outcome.kind), int(FinalizeOutcome::Kind::KeptAsIs));
    QVERIFY2(outcome.reason.contains(QLatin1String("free space")), qPrintable(outcome.reason));
    QCOMPARE(outcome.finalPath, finalPath);
    QCOMPARE(testutil::checksum(finalPath), sum);
    QCOMPARE(QDir(disk.path).entryList(QDir::Files | QDir::Hidden),
             QStringList({QStringLiteral("a.mp4"), QStringLiteral("filler")}));
}

void TestRecordFinalize::joinsWithoutLeadIn()
{
    // A merge copies each input into a transport stream, which shows whatever pre-roll a
    // recording hides: a finalised recording must carry none worth seeing, or every join
    // freezes for the capture's lead-in and the merge outlasts its parts.
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    const double leadIns[] = {2.5, 1.2};
    const double seconds = 2.0;
    QStringList tsNames;
    double sum = 0;
    for (int i = 0; i < 2; ++i) {
        const QString work = dir.filePath(QStringLiteral(".%1.recording.mp4").arg(i));
        const QString finalPath = dir.filePath(QStringLiteral("%1.mp4").arg(i));
        QVERIFY(makeWorkingFile(work, leadIns[i], seconds));
        QCOMPARE(int(finalise(work, finalPath).kind), int(FinalizeOutcome::Kind::Finalised));
        const double length = testutil::probeDuration(finalPath);
        QVERIFY2(qAbs(length - seconds) < 0.2, qPrintable(QString::number(length)));
        sum += length;
        tsNames << mergeTsName(i + 1);
        QVERIFY(runTool(changeToTsArguments(finalPath, dir.filePath(tsNames.last()), true),
                        dir.path()));
    }
    const QString merged = QStringLiteral("merged.mp4");
    MediaFacts streams;
    streams.hasAudio = true;
    streams.audioCodec = QStringLiteral("aac");
    QVERIFY(runTool(joinArguments(tsNames, merged, streams), dir.path()));

    const double duration = testutil::probeDuration(dir.filePath(merged));
    QVERIFY2(qAbs(duration - sum) <= 0.5,
             qPrintable(QStringLiteral("%1 s merged, %2 s of parts").arg(duration).arg(sum)));
    // No picture stands still at a join: every frame lasts about one frame's time.
    const double longest = longestVideoPacket(dir.filePath(merged));
    QVERIFY2(longest > 0 && longest < 0.07, qPrintable(QString::number(longest)));
}

QTEST_GUILESS_MAIN(TestRecordFinalize)
#include "tst_recordfinalize.moc"
