// The merge job with the real media tool on tiny clips: the joined file, the folder it leaves,
// refused inputs, and runs that fail or are canceled.
#include "../ui/UiTestUtil.h"
#include "MediaTestUtil.h"
#include "app/DRUI.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace
{

// Every entry of `dir`, hidden ones included, sorted.
QStringList entries(const QString& dir)
{
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestMergeJob : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void joinsClipsFromAnAwkwardFolder();
    void secondJobInTheSameSecondTakesAFreeName();
    void refusedBeforeAnyRun_data();
    void refusedBeforeAnyRun();
    void brokenOrCanceledRunLeavesNothing_data();
    void brokenOrCanceledRunLeavesNothing();

private:
    // Copies clip `clip` ("plain", "big", "mute") into the work folder as each of `names`,
    // lists the folder and queues `names` in this order, as the page's Add does.
    void queue(const QStringList& names, const QString& clip = QStringLiteral("plain"));
    // Runs the job into the work folder; returns its result.
    int merge();
    // The final report: {percent, destination, result}; checks it is the only one with 100.
    QVariantList finalReport() const;

    QTemporaryDir m_clipDir;
    QString m_fake;
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_work; // input and output folder, named with '|', blanks and non-ASCII
    std::unique_ptr<DRUI> m_window;
    std::unique_ptr<QSignalSpy> m_spy;
    std::unique_ptr<uitest::BoxAnswerer> m_boxes;
};

void TestMergeJob::initTestCase()
{
    testutil::ClipOptions plain;
    plain.seconds = 1.5;
    testutil::ClipOptions big = plain;
    big.size = QStringLiteral("640x480");
    testutil::ClipOptions mute = plain;
    mute.audio = false;
    QVERIFY(testutil::makeClip(m_clipDir.filePath(QStringLiteral("plain.mp4")), plain));
    QVERIFY(testutil::makeClip(m_clipDir.filePath(QStringLiteral("big.mp4")), big));
    QVERIFY(testutil::makeClip(m_clipDir.filePath(QStringLiteral("mute.mp4")), mute));
    m_fake = qEnvironmentVariable("VISTREL_SOURCE_DIR") +
             QStringLiteral("/tests/media/fakes/merge_fake_tool.sh");
    QVERIFY(QFileInfo(m_fake).isExecutable());
    qputenv("VISTREL_REAL_TOOL", testutil::ffmpegPath().toUtf8());
}

void TestMergeJob::init()
{
    qunsetenv("VISTREL_FAKE_STAGE");
    DRUI::m_bisFinished = false;
    m_root = std::make_unique<QTemporaryDir>();
    m_work = m_root->filePath(QStringLiteral("my | videos ü"));
    QVERIFY(QDir().mkpath(m_work));
    m_window = std::make_unique<DRUI>();
    m_window->m_strIniPath = m_root->filePath(QStringLiteral("ScreenRecord.ini"));
    m_window->Init();
    for (ToolRun* run :
         {m_window->m_pDeviceProcess, m_window->m_pChangeTSProcess, m_window->m_pMergeProcess})
        run->setProgram(m_fake);
    m_spy = std::make_unique<QSignalSpy>(m_window.get(), &DRUI::AddProcessCallBack);
    m_boxes = std::make_unique<uitest::BoxAnswerer>();
}

void TestMergeJob::cleanup()
{
    m_boxes.reset();
    m_spy.reset();
    m_window.reset();
    m_root.reset();
}

void TestMergeJob::queue(const QStringList& names, const QString& clip)
{
    for (const QString& name : names) {
        const QString path = m_work + QLatin1Char('/') + name;
        if (!QFileInfo::exists(path))
            QVERIFY(QFile::copy(m_clipDir.filePath(clip + QStringLiteral(".mp4")), path));
    }
    m_window->m_pMergeDirEdit->setText(m_work);
    m_window->RefreshMergeFolderList();
    QTableWidget* source = m_window->m_pSourceVideoTable;
    for (const QString& name : names) {
        const QList<QTableWidgetItem*> found = source->findItems(name, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        source->selectRow(found.first()->row());
        m_window->btnAddSlot();
    }
}

int TestMergeJob::merge()
{
    m_window->m_strMergeOutDir = m_work;
    return m_window->StartMergeJob();
}

QVariantList TestMergeJob::finalReport() const
{
    int finals = 0;
    int last = 0;
    for (const QList<QVariant>& report : *m_spy) {
        const int percent = report.at(0).toInt();
        finals += percent == 100;
        if (percent < last || (percent < 100 && report.at(3).toInt() != 0))
            return {};
        last = percent;
    }
    if (finals != 1 || m_spy->last().at(0).toInt() != 100)
        return {};
    return {100, m_spy->last().at(2), m_spy->last().at(3)};
}

void TestMergeJob::joinsClipsFromAnAwkwardFolder()
{
    // A file of the user's that the original design overwrote and then deleted.
    const QString users = m_work + QStringLiteral("/1.ts");
    QVERIFY(testutil::writeRandomFile(users, 4096));
    const QByteArray usersSum = testutil::checksum(users);
    const QStringList names{QStringLiteral("Straße 日本.mp4"), QStringLiteral("take \"two\".mp4"),
                            QStringLiteral("three.mp4")};
    queue(names);

    QCOMPARE(merge(), 0);

    const QVariantList report = finalReport();
    QVERIFY(!report.isEmpty());
    QCOMPARE(report.value(2).toInt(), 0);
    const QString output = report.value(1).toString();
    QVERIFY2(QRegularExpression(QStringLiteral("/Merge_\\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\d"
                                               "\\.mp4$"))
                 .match(output)
                 .hasMatch(),
             qPrintable(output));
    QStringList expected = names;
    expected << QStringLiteral("1.ts") << QFileInfo(output).fileName();
    expected.sort();
    QCOMPARE(entries(m_work), expected);
    QCOMPARE(testutil::checksum(users), usersSum);

    const double single = testutil::probeDuration(m_clipDir.filePath(QStringLiteral("plain.mp4")));
    QVERIFY(qAbs(testutil::probeDuration(output) - 3 * single) <= 0.5);
    QCOMPARE(testutil::probeStreamTypes(output),
             (QStringList{QStringLiteral("video"), QStringLiteral("audio")}));
    QVERIFY(testutil::decodesCleanly(output));
}

void TestMergeJob::secondJobInTheSameSecondTakesAFreeName()
{
    queue({QStringLiteral("a.mp4"), QStringLiteral("b.mp4")});
    QCOMPARE(merge(), 0);

    // Whatever second the next job starts in, a file of that second's name is already there,
    // as after a job that ended a moment ago.
    QHash<QString, QByteArray> before;
    const QDateTime now = QDateTime::currentDateTime();
    for (int s = 0; s < 15; ++s) {
        const QString taken = m_work + QStringLiteral("/Merge_") +
                              now.addSecs(s).toString(QStringLiteral("yyyy-MM-dd hh-mm-ss")) +
                              QStringLiteral(".mp4");
        if (!QFileInfo::exists(taken))
            QVERIFY(testutil::writeRandomFile(taken, 512));
    }
    for (const QString& name : entries(m_work))
        before.insert(name, testutil::checksum(m_work + QLatin1Char('/') + name));
    m_spy->clear();
    QCOMPARE(merge(), 0);

    const QString second = QFileInfo(finalReport().value(1).toString()).fileName();
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
    queue({QStringLiteral("a.mp4")});
    queue({QStringLiteral("odd one.mp4")}, odd);
    queue({QStringLiteral("c.mp4")});
    if (deleted)
        QVERIFY(QFile::remove(m_work + QStringLiteral("/odd one.mp4")));
    const QStringList before = entries(m_work);

    QCOMPARE(merge(), 1);

    QCOMPARE(m_boxes->seen.size(), 1);
    const QString text = m_boxes->seen.first().text + QLatin1Char('\n');
    QVERIFY2(text.contains(expected) && !text.contains(QStringLiteral("c.mp4")), qPrintable(text));
    QCOMPARE(m_spy->count(), 0);
    QCOMPARE(entries(m_work), before);
}

void TestMergeJob::brokenOrCanceledRunLeavesNothing_data()
{
    QTest::addColumn<QString>("stage");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<int>("result");
    const QString join = QStringLiteral("join");
    QTest::newRow("cancel during the join") << join << QStringLiteral("slow") << 2;
    QTest::newRow("cancel during a conversion")
        << QStringLiteral("convert") << QStringLiteral("slow") << 2;
    QTest::newRow("join reports invalid data") << join << QStringLiteral("fail") << 1;
    QTest::newRow("join crashes") << join << QStringLiteral("crash") << 1;
    QTest::newRow("join writes nothing and exits 0") << join << QStringLiteral("silent") << 1;
}

void TestMergeJob::brokenOrCanceledRunLeavesNothing()
{
    QFETCH(QString, stage);
    QFETCH(QString, mode);
    QFETCH(int, result);
    qputenv("VISTREL_FAKE_STAGE", stage.toUtf8());
    qputenv("VISTREL_FAKE_MODE", mode.toUtf8());
    queue({QStringLiteral("a.mp4"), QStringLiteral("b.mp4")});
    const QStringList before = entries(m_work);

    // The progress dialog's confirmed Cancel sets the stop request while the slow run waits
    // silently for "q".
    ToolRun* slow =
        stage == QLatin1String("join") ? m_window->m_pMergeProcess : m_window->m_pChangeTSProcess;
    QTimer canceler;
    connect(&canceler, &QTimer::timeout, this, [slow] {
        if (slow->isRunning())
            DRUI::m_bisFinished = true;
    });
    if (result == 2)
        canceler.start(20);

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(merge(), result);
    QVERIFY2(clock.elapsed() < 20000, "the run was not stopped");
    QCOMPARE(finalReport().value(2).toInt(), result);
    QCOMPARE(entries(m_work), before);
}

VISTREL_UI_TEST_MAIN(TestMergeJob)
#include "tst_merge_job.moc"
