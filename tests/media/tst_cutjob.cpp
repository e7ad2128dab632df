// The cut job with the real media tool on small clips and with fakes: the span that lands, the
// names it takes, and failures and cancels that leave nothing behind.
#include "MediaTestUtil.h"
#include "cut/CutJob.h"
#include "media/ToolRun.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(JobResult)

namespace
{

const QString kClip = QStringLiteral("my clips ☂/a \"quoted\" clip ü.mp4");
const QString kCut = QStringLiteral("Cut_a \"quoted\" clip ü.mp4");

QString fakeTool()
{
    return qEnvironmentVariable("VISTREL_SOURCE_DIR") +
           QStringLiteral("/tests/media/fakes/cut_fake_tool.sh");
}

} // namespace

class TestCutJob : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void cutStartsAtTheStartMark();
    void failureLeavesNothing_data();
    void failureLeavesNothing();
    void cancelLeavesNothing();
    void backwardSpanRunsNothing();

private:
    // Runs one cut of `source` from `start` to `end` into m_out to its end.
    JobResult cut(const QString& source, qint64 start, qint64 end);

    QTemporaryDir m_dir;
    QString m_clip20; // 20 s, a keyframe every 4 s
    QByteArray m_clip20Sum;
    QString m_out;
    std::unique_ptr<QTemporaryDir> m_outDir;
    std::unique_ptr<CutJob> m_job;
    std::unique_ptr<QSignalSpy> m_progress;
};

void TestCutJob::initTestCase()
{
    qRegisterMetaType<JobResult>();
    QVERIFY(m_dir.isValid());
    // Blanks, quotes and non-ASCII in the folder and name: they must reach the tool intact.
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("my clips ☂"))));
    m_clip20 = m_dir.filePath(kClip);
    testutil::ClipOptions opts;
    opts.seconds = 20;
    opts.rate = 10;
    opts.keyframeEvery = 40;
    QVERIFY(testutil::makeClip(m_clip20, opts));
    QVERIFY(testutil::writeRandomFile(m_dir.filePath(QStringLiteral("noise.mp4")), 200000));
    testutil::ClipOptions soundOnly;
    soundOnly.video = false;
    QVERIFY(testutil::makeClip(m_dir.filePath(QStringLiteral("sound.mp4")), soundOnly));
    QVERIFY(testutil::makeCutShort(m_clip20, m_dir.filePath(QStringLiteral("cut short.mp4"))));
    m_clip20Sum = testutil::checksum(m_clip20);
}

void TestCutJob::init()
{
    m_outDir = std::make_unique<QTemporaryDir>();
    m_out = m_outDir->filePath(QStringLiteral("out put ü"));
    QVERIFY(QDir().mkpath(m_out));
    m_job = std::make_unique<CutJob>();
    m_progress = std::make_unique<QSignalSpy>(m_job.get(), &CutJob::progress);
    qunsetenv("VISTREL_FAKE_MODE");
}

void TestCutJob::cleanup()
{
    QCOMPARE(testutil::checksum(m_clip20), m_clip20Sum);
    QVERIFY(!m_job->isRunning());
    QVERIFY(!m_job->run().isRunning());
    // Progress runs from low to high and never says 100: only the end says the job is done.
    int last = 0;
    for (const QList<QVariant>& report : *m_progress) {
        const int percent = report.at(0).toInt();
        QVERIFY2(percent >= last && percent < 100, qPrintable(QString::number(percent)));
        last = percent;
    }
}

JobResult TestCutJob::cut(const QString& source, qint64 start, qint64 end)
{
    QSignalSpy finished(m_job.get(), &CutJob::finished);
    m_progress->clear();
    if (!m_job->start(CutRequest{source, start, end, m_out}))
        return {};
    if (!finished.wait(60000) || finished.size() != 1)
        return {};
    return finished.first().first().value<JobResult>();
}

void TestCutJob::cutStartsAtTheStartMark()
{
    JobResult result = cut(m_clip20, 5, 12);
    QCOMPARE(result.kind, JobResult::Kind::Saved);
    const QString first = m_out + QLatin1Char('/') + kCut;
    QCOMPARE(result.outputPath, first);
    QVERIFY(!m_progress->isEmpty());
    QCOMPARE(m_progress->last().at(2).toString(), first);
    QCOMPARE(testutil::entriesIn(m_out), QStringList{kCut});
    QVERIFY(qAbs(testutil::probeDuration(first) - 7.0) <= 0.5);
    // Seeking after the input would start the picture at the next keyframe, 3 s in.
    const double firstPicture = testutil::firstVideoFrameTime(first);
    QVERIFY2(firstPicture >= 0 && firstPicture < 0.2, qPrintable(QString::number(firstPicture)));
    QCOMPARE(testutil::probeStreamTypes(first),
             QStringList({QStringLiteral("video"), QStringLiteral("audio")}));
    QVERIFY(testutil::decodesCleanly(first));

    result = cut(m_clip20, 5, 12);
    const QString second = QStringLiteral("Cut_a \"quoted\" clip ü(1).mp4");
    QCOMPARE(result.outputPath, m_out + QLatin1Char('/') + second);
    QCOMPARE(testutil::entriesIn(m_out), QStringList({second, kCut}));
}

void TestCutJob::failureLeavesNothing_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("fakeMode"); // empty: the real tool; "-": no tool at all
    QTest::addColumn<QString>("told");     // the start of the reason
    const QString format = QStringLiteral("Clip failed, not an valid format");
    QTest::newRow("random bytes") << "noise.mp4" << QString() << format;
    QTest::newRow("sound only") << "sound.mp4" << QString()
                                << "Clip failed: sound.mp4 has no picture to cut.";
    QTest::newRow("missing source")
        << "gone.mp4" << QString() << "Clip failed: gone.mp4 cannot be found.";
    QTest::newRow("input cut short, index still whole")
        << "cut short.mp4" << QString() << "Clip failed: cut short.mp4 is damaged";
    QTest::newRow("tool missing") << kClip << "-"
                                  << "Clip failed: the media tool could not be started";
    QTest::newRow("tool crashes") << kClip << "crash"
                                  << "Clip failed: the media tool crashed.";
    QTest::newRow("disk full") << kClip << "fail"
                               << "Clip failed: the disk of ";
    QTest::newRow("output folder gone") << kClip << "outgone"
                                        << "Clip failed: the folder ";
    QTest::newRow("input not readable") << kClip << "denied"
                                        << "Clip failed: a \"quoted\" clip ü.mp4 cannot be read";
    QTest::newRow("tool exits 0 without output") << kClip << "silent"
                                                 << "Clip failed";
    QTest::newRow("source rewritten while it is cut")
        << "changing.mp4"
        << "touch"
        << "Clip failed: changing.mp4 changed during the cut.";
}

void TestCutJob::failureLeavesNothing()
{
    QFETCH(QString, source);
    QFETCH(QString, fakeMode);
    QFETCH(QString, told);
    if (fakeMode == QLatin1String("-")) {
        m_job->setProgram(m_dir.filePath(QStringLiteral("no-tool")));
    } else if (!fakeMode.isEmpty()) {
        qputenv("VISTREL_FAKE_MODE", fakeMode.toUtf8());
        m_job->setProgram(fakeTool());
    }
    if (fakeMode == QLatin1String("touch")) {
        QFile::remove(m_dir.filePath(source));
        QVERIFY(QFile::copy(m_clip20, m_dir.filePath(source)));
        qputenv("VISTREL_REAL_TOOL", testutil::ffmpegPath().toUtf8());
    }
    const QByteArray sum = testutil::checksum(m_dir.filePath(source));

    const JobResult result = cut(m_dir.filePath(source), 1, 3);
    QCOMPARE(result.kind, JobResult::Kind::Failed);
    QVERIFY2(result.reason.startsWith(told), qPrintable(result.reason));
    QCOMPARE(testutil::entriesIn(m_out), QStringList());
    if (fakeMode != QLatin1String("touch"))
        QCOMPARE(testutil::checksum(m_dir.filePath(source)), sum);
}

void TestCutJob::cancelLeavesNothing()
{
    // The tool stays quiet until "q": the cancel must not wait for it to speak. Cancels during
    // each of the engine's runs are in tst_smartcut.
    qputenv("VISTREL_FAKE_MODE", "slow");
    m_job->setProgram(fakeTool());
    QTimer::singleShot(400, m_job.get(), [this] { m_job->cancel(); });
    QCOMPARE(cut(m_clip20, 5, 12).kind, JobResult::Kind::Canceled);
    QCOMPARE(testutil::entriesIn(m_out), QStringList());
}

void TestCutJob::backwardSpanRunsNothing()
{
    QSignalSpy runs(&m_job->run(), &ToolRun::finished);
    for (const auto& [start, end] : {std::pair{7, 7}, std::pair{12, 5}}) {
        const JobResult result = cut(m_clip20, start, end);
        QCOMPARE(result.kind, JobResult::Kind::Failed);
        QVERIFY(result.reason.contains(QLatin1String("The end must be after the start")));
    }
    QCOMPARE(runs.size(), 0);
    QCOMPARE(testutil::entriesIn(m_out), QStringList());
}

QTEST_GUILESS_MAIN(TestCutJob)
#include "tst_cutjob.moc"
