// The merge job with the real media tool on tiny clips: the joined file, the folder it leaves,
// refused inputs, and runs that fail or are canceled.
#include "MediaTestUtil.h"
#include "media/ToolRun.h"
#include "merge/MergeJob.h"
#include "support/Helpers.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(JobResult)
Q_DECLARE_METATYPE(JobResult::Kind)

class TestMergeJob : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void joinsClipsFromAnAwkwardFolder();
    void secondJobInTheSameSecondTakesAFreeName();
    void partsOfOtherLengths_data();
    void partsOfOtherLengths();
    void refusedBeforeAnyRun_data();
    void refusedBeforeAnyRun();
    void refusedWithoutRoomToWork();
    void brokenOrCanceledRunLeavesNothing_data();
    void brokenOrCanceledRunLeavesNothing();

private:
    // Copies clip `clip` ("plain", "big", "mute") into the work folder as each of `names` and
    // returns their paths in this order.
    QStringList place(const QStringList& names, const QString& clip = QStringLiteral("plain"));
    // Runs the job on `inputs` into the work folder to its end.
    JobResult merge(const QStringList& inputs);

    QTemporaryDir m_clipDir;
    QString m_fake;
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_work; // input and output folder, named with '|', blanks and non-ASCII
    std::unique_ptr<MergeJob> m_job;
    std::unique_ptr<QSignalSpy> m_progress;
};

void TestMergeJob::initTestCase()
{
    qRegisterMetaType<JobResult>();
    testutil::ClipOptions plain;
    plain.seconds = 1.5;
    testutil::ClipOptions big = plain;
    big.size = QStringLiteral("640x480");
    testutil::ClipOptions mute = plain;
    mute.audio = false;
    QVERIFY(testutil::makeClip(m_clipDir.filePath(QStringLiteral("plain.mp4")), plain));
    QVERIFY(testutil::makeClip(m_clipDir.filePath(QStringLiteral("big.mp4")), big));
    QVERIFY(testutil::makeClip(m_clipDir.filePath(QStringLiteral("mute.mp4")), mute));
    // Cut short with its index at the front: it still says it lasts 6 s, its data ends at 3.
    testutil::ClipOptions longer = plain;
    longer.seconds = 6;
    const QString whole = m_clipDir.filePath(QStringLiteral("whole.mp4"));
    QVERIFY(testutil::makeClip(whole, longer));
    QVERIFY(testutil::makeCutShort(whole, m_clipDir.filePath(QStringLiteral("short.mp4"))));
    m_fake = qEnvironmentVariable("VISTREL_SOURCE_DIR") +
             QStringLiteral("/tests/media/fakes/merge_fake_tool.sh");
    QVERIFY(QFileInfo(m_fake).isExecutable());
    qputenv("VISTREL_REAL_TOOL", testutil::ffmpegPath().toUtf8());
}

void TestMergeJob::init()
{
    qunsetenv("VISTREL_FAKE_STAGE");
    m_root = std::make_unique<QTemporaryDir>();
    m_work = m_root->filePath(QStringLiteral("my | videos ü"));
    QVERIFY(QDir().mkpath(m_work));
    m_job = std::make_unique<MergeJob>();
    m_job->setProgram(m_fake);
    m_progress = std::make_unique<QSignalSpy>(m_job.get(), &MergeJob::progress);
}

void TestMergeJob::cleanup()
{
    QVERIFY(!m_job->isRunning());
    // Progress never goes back and never says 100: only the end says the job is done.
    int last = 0;
    for (const QList<QVariant>& report : *m_progress) {
        const int percent = report.at(0).toInt();
        QVERIFY2(percent >= last && percent < 100, qPrintable(QString::number(percent)));
        last = percent;
    }
    m_progress.reset();
    m_job.reset();
    m_root.reset();
}

QStringList TestMergeJob::place(const QStringList& names, const QString& clip)
{
    QStringList paths;
    for (const QString& name : names) {
        paths << m_work + QLatin1Char('/') + name;
        if (!QFileInfo::exists(paths.last()))
            QFile::copy(m_clipDir.filePath(clip + QStringLiteral(".mp4")), paths.last());
    }
    return paths;
}

JobResult TestMergeJob::merge(const QStringList& inputs)
{
    QSignalSpy finished(m_job.get(), &MergeJob::finished);
    if (!m_job->start(MergeRequest{inputs, m_work, QDateTime::currentDateTime()}))
        return {};
    if (!finished.wait(60000) || finished.size() != 1)
        return {};
    return finished.first().first().value<JobResult>();
}

void TestMergeJob::joinsClipsFromAnAwkwardFolder()
{
    // A file of the user's that a merge writing its pieces beside the output would clobber.
    const QString users = m_work + QStringLiteral("/1.ts");
    QVERIFY(testutil::writeRandomFile(users, 4096));
    const QByteArray usersSum = testutil::checksum(users);
    const QStringList names{QStringLiteral("Straße 日本.mp4"), QStringLiteral("take \"two\".mp4"),
                            QStringLiteral("three.mp4")};

    const JobResult result = merge(place(names));

    QCOMPARE(result.kind, JobResult::Kind::Saved);
    const QString output = result.outputPath;
    QVERIFY2(QRegularExpression(QStringLiteral("/Merge_\\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\d"
                                               "\\.mp4$"))
                 .match(output)
                 .hasMatch(),
             qPrintable(output));
    QStringList expected = names;
    expected << QStringLiteral("1.ts") << QFileInfo(output).fileName();
    expected.sort();
    QCOMPARE(testutil::entriesIn(m_work), expected);
    QCOMPARE(testutil::checksum(users), usersSum);

    const double single = testutil::probeDuration(m_clipDir.filePath(QStringLiteral("plain.mp4")));
    QVERIFY(qAbs(testutil::probeDuration(output) - 3 * single) <= 0.5);
    QCOMPARE(testutil::probeStreamTypes(output),
             (QStringList{QStringLiteral("video"), QStringLiteral("audio")}));
    // The encoder's priming before each part's start is not played: picture and sound start
    // together (every part is converted alike, so each seam is as the start).
    QCOMPARE(
        testutil::probeStreamEntry(output, QStringLiteral("a:0"), QStringLiteral("start_time")),
        testutil::probeStreamEntry(output, QStringLiteral("v:0"), QStringLiteral("start_time")));
    QVERIFY(testutil::decodesCleanly(output));
}

void TestMergeJob::partsOfOtherLengths_data()
{
    QTest::addColumn<QStringList>("make"); // the tool's options that make the middle part
    QTest::newRow("sound running on past the picture") << QStringList{
        "-f", "lavfi", "-i", "sine=duration=4", "-map", "0:v", "-map", "1:a", "-c:v", "copy"};
    QTest::newRow("sound stopping short of the picture") << QStringList{
        "-f", "lavfi", "-i", "sine=duration=1", "-map", "0:v", "-map", "1:a", "-c:v", "copy"};
    QTest::newRow("timestamps from 10 s") << QStringList{"-c", "copy", "-output_ts_offset", "10"};
}

void TestMergeJob::partsOfOtherLengths()
{
    QFETCH(QStringList, make);
    const QStringList parts = place({QStringLiteral("a.mp4"), QStringLiteral("c.mp4")});
    const QString odd = m_work + QStringLiteral("/b.mp4");
    QCOMPARE(
        QProcess::execute(testutil::ffmpegPath(), QStringList{"-v", "error", "-i", parts.first()} +
                                                      make + QStringList{odd}),
        0);

    const JobResult result = merge({parts.first(), odd, parts.last()});

    QCOMPARE(result.kind, JobResult::Kind::Saved);
    const double single = testutil::probeDuration(parts.first());
    QVERIFY(qAbs(testutil::probeDuration(result.outputPath) - 3 * single) <= 0.1);
    // Players play the sound's packets one after the other, gaps closed: there must be as much
    // sound as picture, or the sound after a gap plays early.
    const auto entry = [&result](const char* stream, const char* name) {
        return testutil::probeStreamEntry(result.outputPath, QLatin1String(stream),
                                          QLatin1String(name))
            .toDouble();
    };
    const double sound = entry("a:0", "nb_frames") * 1024 / entry("a:0", "sample_rate");
    QVERIFY2(qAbs(sound - entry("v:0", "duration")) < 0.03, qPrintable(QString::number(sound)));
}

void TestMergeJob::secondJobInTheSameSecondTakesAFreeName()
{
    const QStringList inputs = place({QStringLiteral("a.mp4"), QStringLiteral("b.mp4")});
    // Whatever second the job ends in, a file of that second's name is already there, as
    // after a job that ended a moment ago.
    const QDateTime now = QDateTime::currentDateTime();
    for (int s = 0; s < 15; ++s)
        QVERIFY(testutil::writeRandomFile(
            m_work + QStringLiteral("/Merge_") +
                now.addSecs(s).toString(QStringLiteral("yyyy-MM-dd hh-mm-ss")) +
                QStringLiteral(".mp4"),
            512));
    QHash<QString, QByteArray> before;
    for (const QString& name : testutil::entriesIn(m_work))
        before.insert(name, testutil::checksum(m_work + QLatin1Char('/') + name));

    const QString second = QFileInfo(merge(inputs).outputPath).fileName();
    QVERIFY2(second.endsWith(QStringLiteral("(1).mp4")) &&
                 before.contains(second.left(second.size() - 7) + QStringLiteral(".mp4")),
             qPrintable(second));
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QCOMPARE(testutil::checksum(m_work + QLatin1Char('/') + it.key()), it.value());
}

void TestMergeJob::refusedBeforeAnyRun_data()
{
    QTest::addColumn<QString>("odd");      // clip of the second file
    QTest::addColumn<bool>("deleted");     // the second file is gone before the job
    QTest::addColumn<QString>("expected"); // in the message
    QTest::newRow("other size") << QStringLiteral("big") << false
                                << QStringLiteral("odd one.mp4: size 640x480\n");
    QTest::newRow("one without audio")
        << QStringLiteral("mute") << false << QStringLiteral("odd one.mp4: no audio\n");
    QTest::newRow("queued file deleted")
        << QStringLiteral("plain") << true << QStringLiteral("\nodd one.mp4");
}

void TestMergeJob::refusedBeforeAnyRun()
{
    QFETCH(QString, odd);
    QFETCH(bool, deleted);
    QFETCH(QString, expected);
    const QStringList inputs = place({QStringLiteral("a.mp4")}) +
                               place({QStringLiteral("odd one.mp4")}, odd) +
                               place({QStringLiteral("c.mp4")});
    if (deleted)
        QVERIFY(QFile::remove(inputs.at(1)));
    const QStringList before = testutil::entriesIn(m_work);
    QSignalSpy checked(m_job.get(), &MergeJob::checked);
    QSignalSpy conversions(&m_job->conversionRun(), &ToolRun::finished);

    const JobResult result = merge(inputs);

    QCOMPARE(result.kind, JobResult::Kind::Failed);
    QCOMPARE(checked.size(), 1);
    QCOMPARE(checked.first().first().toString(), result.reason);
    const QString text = result.reason + QLatin1Char('\n');
    QVERIFY2(text.contains(expected) && !text.contains(QStringLiteral("c.mp4")), qPrintable(text));
    QCOMPARE(conversions.size(), 0);
    QCOMPARE(testutil::entriesIn(m_work), before);
}

void TestMergeJob::refusedWithoutRoomToWork()
{
    testutil::SmallDisk disk(m_root->filePath(QStringLiteral("small disk")));
    if (!disk.mounted)
        QSKIP("mounting a tmpfs is not permitted here (needs root)");
    m_work = disk.path;
    const QStringList inputs = place({QStringLiteral("a.mp4"), QStringLiteral("b.mp4")});
    // Room for the parts once more, not for their streams and the joined file as well.
    QFile filler(m_work + QStringLiteral("/filler"));
    QVERIFY(filler.open(QIODevice::WriteOnly));
    const qint64 parts = QFileInfo(inputs.at(0)).size() * 2;
    QVERIFY(filler.write(QByteArray(qint64(GetFreeSpace(m_work)) - parts, 'x')) > 0);
    filler.close();

    const JobResult result = merge(inputs);
    QCOMPARE(result.kind, JobResult::Kind::Failed);
    QVERIFY2(result.reason.contains(QLatin1String("; the merge needs about")),
             qPrintable(result.reason));
}

void TestMergeJob::brokenOrCanceledRunLeavesNothing_data()
{
    QTest::addColumn<QString>("stage");
    QTest::addColumn<QString>("mode"); // of the fake; empty: the real tool
    QTest::addColumn<JobResult::Kind>("result");
    QTest::addColumn<QString>("told"); // the start of the reason
    const QString join = QStringLiteral("join");
    const QString convert = QStringLiteral("convert");
    const auto canceled = JobResult::Kind::Canceled;
    const auto failed = JobResult::Kind::Failed;
    QTest::newRow("cancel during the join") << join << "slow" << canceled << "";
    QTest::newRow("cancel during a conversion") << convert << "slow" << canceled << "";
    QTest::newRow("cancel as the join ends") << join << "" << canceled << "";
    QTest::newRow("join reports invalid data")
        << join << "fail" << failed << "Merge failed, not an valid format";
    QTest::newRow("join crashes") << join << "crash" << failed
                                  << "Merge failed: the media tool crashed.";
    QTest::newRow("join writes nothing and exits 0")
        << join << "silent" << failed << "Merge failed: ";
    QTest::newRow("an input cut short, its index whole")
        << "damaged"
        << "" << failed << "Merge failed: b.mp4 is damaged";
    QTest::newRow("join leaves the sound out")
        << join << "mute" << failed << "Merge failed: the joined file has no sound";
    QTest::newRow("a part rewritten after the check")
        << convert << "touch" << failed << "Merge failed: b.mp4 changed during the merge.";
    QTest::newRow("a conversion finds the disk full")
        << convert << "full" << failed << "Merge failed: the disk of ";
}

void TestMergeJob::brokenOrCanceledRunLeavesNothing()
{
    QFETCH(QString, stage);
    QFETCH(QString, mode);
    QFETCH(JobResult::Kind, result);
    QFETCH(QString, told);
    if (!mode.isEmpty())
        qputenv("VISTREL_FAKE_STAGE", stage.toUtf8());
    qputenv("VISTREL_FAKE_MODE", mode.toUtf8());
    const QStringList inputs = place({QStringLiteral("a.mp4")}) +
                               place({QStringLiteral("b.mp4")}, stage == QLatin1String("damaged")
                                                                    ? QStringLiteral("short")
                                                                    : QStringLiteral("plain"));
    const QStringList before = testutil::entriesIn(m_work);
    qputenv("VISTREL_FAKE_TOUCH", QFile::encodeName(inputs.last()));

    ToolRun& run = stage == QLatin1String("join") ? m_job->joinRun() : m_job->conversionRun();
    if (result == JobResult::Kind::Canceled && !mode.isEmpty()) {
        // The slow run waits silently for "q" once it has said how far it is.
        connect(&run, &ToolRun::readyRead, m_job.get(), [this] { m_job->cancel(); });
    } else if (result == JobResult::Kind::Canceled) {
        // The join's last words: its file is whole and the tool about to exit.
        connect(&run, &ToolRun::readyRead, m_job.get(), [this, &run] {
            if (run.tail().join(QLatin1Char('\n')).contains(QLatin1String("Lsize=")))
                m_job->cancel();
        });
    }

    QElapsedTimer clock;
    clock.start();
    const JobResult ended = merge(inputs);
    QCOMPARE(ended.kind, result);
    QVERIFY2(clock.elapsed() < 20000, "the run was not stopped");
    QVERIFY2(told.isEmpty() ? ended.reason.isEmpty() : ended.reason.startsWith(told),
             qPrintable(ended.reason));
    QCOMPARE(testutil::entriesIn(m_work), before);
}

QTEST_GUILESS_MAIN(TestMergeJob)
#include "tst_merge_job.moc"
