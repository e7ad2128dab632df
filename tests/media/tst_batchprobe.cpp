// Durations of many files from few runs of the real tool: the same texts the one-file probe
// gives, files it cannot read in the middle of a run (a missing tool: ui/tst_merge_page), and the
// merge page that lists a folder at once, fills the durations in the background and probes
// nothing again for an unchanged folder.
#include "MediaTestUtil.h"
#include "WindowFixture.h"
#include "library/BatchProbe.h"
#include "media/ToolRun.h"
#include "merge/MergeJob.h"

#include <QLineEdit>
#include <QTableWidget>
#include <QtTest>

#include <memory>

Q_DECLARE_METATYPE(DescribeDepth)

class TestBatchProbe : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void sameTextsAsOneFileProbe_data();
    void sameTextsAsOneFileProbe();
    void newStartDropsTheOldWork();
    void mergePageListsAtOnceAndRemembers();

private:
    // Describes `paths` with `probe` and returns what was said about each, in report order.
    QList<QPair<QString, MediaFacts>> describe(BatchProbe& probe, const QStringList& paths);
    // Copies of the clips named and dated one minute apart in a new folder.
    QString makeFolder(int count);

    QTemporaryDir m_dir;
    QStringList m_files; // readable and unreadable files, a missing one, odd names
    QStringList m_clips; // two readable clips of different lengths
};

void TestBatchProbe::initTestCase()
{
    testutil::ClipOptions one;
    one.seconds = 1;
    one.size = QStringLiteral("160x120");
    testutil::ClipOptions three = one;
    three.seconds = 3;
    three.audio = false;
    m_clips = {m_dir.filePath(QStringLiteral("one.mp4")),
               m_dir.filePath(QStringLiteral("three \"quoted\" ü.mp4"))};
    QVERIFY(testutil::makeClip(m_clips[0], one));
    QVERIFY(testutil::makeClip(m_clips[1], three));
    const QString noise = m_dir.filePath(QStringLiteral("noise.mp4"));
    QVERIFY(testutil::writeRandomFile(noise, 4096));
    // Cut before its index: the tool cannot open it.
    const QString cut = m_dir.filePath(QStringLiteral("cut short.mp4"));
    QFile whole(m_clips[0]);
    QVERIFY(whole.open(QIODevice::ReadOnly));
    QFile part(cut);
    QVERIFY(part.open(QIODevice::WriteOnly));
    part.write(whole.read(whole.size() / 2));
    part.close();
    // A container whose duration a quick look does not vouch for.
    const QString matroska = m_dir.filePath(QStringLiteral("one.mkv"));
    QCOMPARE(
        QProcess::execute(testutil::ffmpegPath(),
                          {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"),
                           m_clips[0], QStringLiteral("-c"), QStringLiteral("copy"), matroska}),
        0);
    m_files = {m_clips[0], noise,      m_clips[1], m_dir.filePath(QStringLiteral("gone.mp4")),
               cut,        m_clips[0], matroska,   m_clips[1]};
}

QList<QPair<QString, MediaFacts>> TestBatchProbe::describe(BatchProbe& probe,
                                                           const QStringList& paths)
{
    QList<QPair<QString, MediaFacts>> said;
    connect(&probe, &BatchProbe::described, this,
            [&said](const QString& path, const FileStamp&, const MediaFacts& facts) {
                said.append({path, facts});
            });
    QSignalSpy finished(&probe, &BatchProbe::finished);
    probe.start(paths);
    if (!finished.wait(30000))
        qWarning("the probe did not finish");
    probe.disconnect(this);
    return said;
}

void TestBatchProbe::sameTextsAsOneFileProbe_data()
{
    QTest::addColumn<int>("lanes");
    QTest::addColumn<int>("limit");
    QTest::addColumn<DescribeDepth>("depth");
    QTest::newRow("all in one run") << 1 << 48 << DescribeDepth::Streams;
    QTest::newRow("two runs at once, two files a run") << 2 << 2 << DescribeDepth::Streams;
    QTest::newRow("one file a run") << 2 << 1 << DescribeDepth::Streams;
    QTest::newRow("durations only, all in one run") << 1 << 48 << DescribeDepth::Duration;
    QTest::newRow("durations only, three files a run") << 2 << 3 << DescribeDepth::Duration;
}

void TestBatchProbe::sameTextsAsOneFileProbe()
{
    QFETCH(int, lanes);
    QFETCH(int, limit);
    QFETCH(DescribeDepth, depth);
    const std::unique_ptr<DRUI> window = testui::makeWindow(m_dir.path(), m_dir.path());
    window->m_pDeviceProcess->setProgram(testutil::ffmpegPath());

    BatchProbe probe;
    probe.setProgram(testutil::ffmpegPath());
    probe.setLanes(lanes);
    probe.setBatchLimit(limit);
    probe.setDepth(depth);
    const QList<QPair<QString, MediaFacts>> said = describe(probe, m_files);
    QCOMPARE(said.size(), m_files.size());
    QMap<QString, int> times;
    for (const auto& [path, facts] : said) {
        ++times[path];
        const QString single = window->GetVedioTimeSeconds(path);
        QCOMPARE(facts.durationText, single);
        QCOMPARE(facts.opened, !single.isEmpty());
        // A quick look serves the MP4 clips; what it cannot open or vouch for is looked at
        // again in full.
        QCOMPARE(facts.detailed,
                 depth == DescribeDepth::Streams || !path.endsWith(".mp4") || !facts.opened);
        QCOMPARE(facts.pixelFormat.isEmpty(), !facts.detailed || !facts.opened);
    }
    // Each file once; the repeated ones once per mention.
    QCOMPARE(times.value(m_clips[0]), 2);
    QCOMPARE(times.value(m_files[1]), 1);
    QCOMPARE(times.value(m_files[4]), 1);
    QVERIFY(!probe.isRunning());
}

void TestBatchProbe::newStartDropsTheOldWork()
{
    BatchProbe probe;
    probe.setProgram(testutil::ffmpegPath());
    QStringList said;
    connect(
        &probe, &BatchProbe::described, this,
        [&said](const QString& path, const FileStamp&, const MediaFacts&) { said.append(path); });
    QSignalSpy finished(&probe, &BatchProbe::finished);
    probe.start({m_clips[0], m_clips[0], m_clips[0]});
    probe.start({m_clips[1]});
    QVERIFY(finished.wait(30000));
    QTest::qWait(300);
    QCOMPARE(said, QStringList{m_clips[1]});
    QCOMPARE(finished.size(), 1);
}

QString TestBatchProbe::makeFolder(int count)
{
    const QString folder = m_dir.filePath(QStringLiteral("folder"));
    QDir().mkpath(folder);
    const QDateTime first = QDateTime::currentDateTime().addDays(-1);
    for (int i = 0; i < count; ++i) {
        const QString path = QStringLiteral("%1/rec %2.mp4").arg(folder).arg(i);
        QFile::copy(m_clips[i % 2], path);
        QFile file(path);
        if (file.open(QIODevice::ReadWrite))
            file.setFileTime(first.addSecs(60 * i), QFileDevice::FileModificationTime);
    }
    return folder;
}

void TestBatchProbe::mergePageListsAtOnceAndRemembers()
{
    // A tool that counts its runs.
    const QString count = m_dir.filePath(QStringLiteral("runs.txt"));
    const QString wrapper = m_dir.filePath(QStringLiteral("counting-tool"));
    QFile script(wrapper);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write(QStringLiteral("#!/bin/sh\necho run >> '%1'\nexec '%2' \"$@\"\n")
                     .arg(count, testutil::ffmpegPath())
                     .toUtf8());
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const auto runs = [&count] {
        QFile f(count);
        return f.open(QIODevice::ReadOnly) ? int(f.readAll().count('\n')) : 0;
    };
    const auto times = [](const QTableWidget* table) {
        QStringList texts;
        for (int row = 0; row < table->rowCount(); ++row)
            texts.append(table->item(row, 2)->text());
        return texts;
    };

    QTemporaryDir home;
    const std::unique_ptr<DRUI> owner = testui::makeWindow(home.path(), home.path());
    DRUI& window = *owner;
    window.m_pDeviceProcess->setProgram(wrapper);
    const auto pending = [&window] {
        const auto* prober = window.findChild<BatchProbe*>();
        return prober && prober->isRunning();
    };
    const auto refresh = [&window] {
        QFocusEvent focusOut(QEvent::FocusOut);
        QApplication::sendEvent(window.m_pMergeDirEdit, &focusOut);
    };
    constexpr int kFiles = 6;
    const QString folder = makeFolder(kFiles);
    window.m_pMergeDirEdit->setText(folder);

    // Every row is there when the page shows, before any duration is known.
    window.btnEditSlot();
    QTableWidget* source = window.m_pSourceVideoTable;
    QCOMPARE(source->rowCount(), kFiles);
    QVERIFY(pending());
    // A row queued before its duration is known gets it when it comes.
    source->selectRow(0);
    window.btnAddSlot();
    QCOMPARE(window.m_pTargetVideoTable->rowCount(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!pending(), 30000);
    QStringList expected;
    for (int row = 0; row < kFiles; ++row)
        expected.append(row % 2 ? QStringLiteral("00:00:01") : QStringLiteral("00:00:03"));
    QCOMPARE(times(source), expected);
    QCOMPARE(window.m_pTargetVideoTable->item(0, 2)->text(), QStringLiteral("00:00:03"));
    const int firstRuns = runs();
    QVERIFY2(firstRuns >= 1 && firstRuns < kFiles, qPrintable(QString::number(firstRuns)));

    // An unchanged folder shows every duration at once and runs nothing.
    refresh();
    QCOMPARE(times(source), expected);
    QVERIFY(!pending());
    QTest::qWait(200);
    QCOMPARE(runs(), firstRuns);

    // A file that changed (now the 3 s clip) is probed again, and only that one.
    const QString changed = QStringLiteral("%1/rec 0.mp4").arg(folder);
    QFile::remove(changed);
    QVERIFY(QFile::copy(m_clips[1], changed));
    refresh();
    QVERIFY(pending());
    QTRY_VERIFY_WITH_TIMEOUT(!pending(), 30000);
    QCOMPARE(runs(), firstRuns + 1);
    const QList<QTableWidgetItem*> row =
        source->findItems(QStringLiteral("rec 0.mp4"), Qt::MatchExactly);
    QCOMPARE(row.size(), 1);
    QCOMPARE(source->item(row.first()->row(), 2)->text(), QStringLiteral("00:00:03"));

    // The page knows durations only: the merge job's check describes its files in full once,
    // and a second check of the same files runs nothing.
    auto* job = window.findChild<MergeJob*>();
    job->setProgram(wrapper);
    QSignalSpy checked(job, &MergeJob::checked);
    const MergeRequest request{
        {folder + QStringLiteral("/rec 1.mp4"), folder + QStringLiteral("/rec 3.mp4")},
        home.path(),
        QDateTime::currentDateTime()};
    QList<int> runsAfter;
    for (int check = 0; check < 2; ++check) {
        checked.clear();
        QVERIFY(job->check(request));
        QVERIFY(checked.wait(10000));
        QCOMPARE(checked.first().first().toString(), QString());
        runsAfter.append(runs());
    }
    QVERIFY(runsAfter[0] > firstRuns + 1);
    QCOMPARE(runsAfter[1], runsAfter[0]);
}

VISTREL_UI_TEST_MAIN(TestBatchProbe)
#include "tst_batchprobe.moc"
