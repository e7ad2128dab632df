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

struct Report {
    int percent;
    QString current;
    QString destination;
    int result;
};

QList<Report> reports(const QSignalSpy& spy)
{
    QList<Report> out;
    for (const QList<QVariant>& args : spy)
        out.append(
            {args.at(0).toInt(), args.at(1).toString(), args.at(2).toString(), args.at(3).toInt()});
    return out;
}

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
    void refusesFilesThatDoNotMatch_data();
    void refusesFilesThatDoNotMatch();
    void namesAQueuedFileThatIsGone();
    void brokenOrCanceledRunLeavesNothing_data();
    void brokenOrCanceledRunLeavesNothing();

private:
    // Copies the clips `clips` (keys of m_clips) into the work folder under the given names.
    void place(const QList<QPair<QString, QString>>& clipsAndNames);
    // Lists the work folder and queues `names` in this order, as the page's Add does.
    void queue(const QStringList& names);
    // Runs the job into the work folder; returns its result.
    int merge();

    QTemporaryDir m_clipDir;
    QHash<QString, QString> m_clips; // "plain", "big", "mute" -> path
    QString m_fake;
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_work; // input and output folder, named with '|' and blanks
    std::unique_ptr<DRUI> m_window;
    std::unique_ptr<QSignalSpy> m_spy;
    std::unique_ptr<uitest::BoxAnswerer> m_boxes;
};

void TestMergeJob::initTestCase()
{
    QVERIFY(!testutil::ffmpegPath().isEmpty());
    testutil::ClipSpec plain;
    plain.seconds = 1.5;
    testutil::ClipSpec big = plain;
    big.size = QStringLiteral("640x480");
    testutil::ClipSpec mute = plain;
    mute.audio = false;
    const QList<QPair<QString, testutil::ClipSpec>> specs{{QStringLiteral("plain"), plain},
                                                          {QStringLiteral("big"), big},
                                                          {QStringLiteral("mute"), mute}};
    for (const auto& [key, spec] : specs) {
        m_clips[key] = m_clipDir.filePath(key + QStringLiteral(".mp4"));
        QVERIFY(testutil::makeClip(m_clips[key], spec));
    }
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

void TestMergeJob::place(const QList<QPair<QString, QString>>& clipsAndNames)
{
    for (const auto& [clip, name] : clipsAndNames)
        QVERIFY(QFile::copy(m_clips.value(clip), m_work + QLatin1Char('/') + name));
}

void TestMergeJob::queue(const QStringList& names)
{
    m_window->m_pMergeDirEdit->setText(m_work);
    m_window->RefreshMergeFolderList();
    QTableWidget* source = m_window->m_pSourceVideoTable;
    for (const QString& name : names) {
        const QList<QTableWidgetItem*> found = source->findItems(name, Qt::MatchExactly);
        QVERIFY2(found.size() == 1, qPrintable(name));
        source->selectRow(found.first()->row());
        m_window->btnAddSlot();
    }
    QCOMPARE(m_window->m_pTargetVideoTable->rowCount(), names.size());
}

int TestMergeJob::merge()
{
    m_window->m_strMergeOutDir = m_work;
    return m_window->StartMergeJob();
}

void TestMergeJob::joinsClipsFromAnAwkwardFolder()
{
    const QStringList names{QStringLiteral("Straße 日本.mp4"), QStringLiteral("take \"two\".mp4"),
                            QStringLiteral("three.mp4")};
    place({{QStringLiteral("plain"), names[0]},
           {QStringLiteral("plain"), names[1]},
           {QStringLiteral("plain"), names[2]}});
    // A file of the user's that the original design overwrote and then deleted.
    const QString users = m_work + QStringLiteral("/1.ts");
    QVERIFY(testutil::writeRandomFile(users, 4096));
    const QByteArray usersSum = testutil::checksum(users);
    queue(names);

    QCOMPARE(merge(), 0);

    const QList<Report> got = reports(*m_spy);
    QVERIFY(!got.isEmpty());
    int last = 0;
    for (qsizetype i = 0; i + 1 < got.size(); ++i) {
        QVERIFY2(got[i].percent < 100 && got[i].result == 0, qPrintable(QString::number(i)));
        QVERIFY(got[i].percent >= last);
        last = got[i].percent;
    }
    QCOMPARE(got.last().percent, 100);
    QCOMPARE(got.last().result, 0);
    const QString output = got.last().destination;
    QVERIFY2(QRegularExpression(
                 QStringLiteral("/Merge_\\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\d\\.mp4$"))
                 .match(output)
                 .hasMatch(),
             qPrintable(output));
    QCOMPARE(QFileInfo(output).absolutePath(), QFileInfo(m_work).absoluteFilePath());

    QStringList expected = names;
    expected << QStringLiteral("1.ts") << QFileInfo(output).fileName();
    expected.sort();
    QCOMPARE(entries(m_work), expected);
    QCOMPARE(testutil::checksum(users), usersSum);

    const double single = testutil::probeDuration(m_clips.value(QStringLiteral("plain")));
    QVERIFY(qAbs(testutil::probeDuration(output) - 3 * single) <= 0.5);
    QCOMPARE(testutil::probeStreamTypes(output),
             (QStringList{QStringLiteral("video"), QStringLiteral("audio")}));
    QVERIFY(testutil::decodesCleanly(output));
}

void TestMergeJob::secondJobInTheSameSecondTakesAFreeName()
{
    place({{QStringLiteral("plain"), QStringLiteral("a.mp4")},
           {QStringLiteral("plain"), QStringLiteral("b.mp4")}});
    queue({QStringLiteral("a.mp4"), QStringLiteral("b.mp4")});
    QCOMPARE(merge(), 0);
    const QString first = reports(*m_spy).last().destination;
    const QByteArray firstSum = testutil::checksum(first);

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
        before.insert(taken, testutil::checksum(taken));
    }
    m_spy->clear();
    QCOMPARE(merge(), 0);
    const QString second = reports(*m_spy).last().destination;
    QVERIFY2(second.endsWith(QStringLiteral("(1).mp4")), qPrintable(second));
    QVERIFY(before.contains(second.left(second.size() - 7) + QStringLiteral(".mp4")));
    QCOMPARE(testutil::checksum(first), firstSum);
    for (auto it = before.cbegin(); it != before.cend(); ++it)
        QCOMPARE(testutil::checksum(it.key()), it.value());
    QVERIFY(testutil::decodesCleanly(second));
}

void TestMergeJob::refusesFilesThatDoNotMatch_data()
{
    QTest::addColumn<QString>("other");
    QTest::addColumn<QString>("mismatch");
    QTest::newRow("other size") << QStringLiteral("big") << QStringLiteral("size 640x480");
    QTest::newRow("one without audio") << QStringLiteral("mute") << QStringLiteral("no audio");
}

void TestMergeJob::refusesFilesThatDoNotMatch()
{
    QFETCH(QString, other);
    QFETCH(QString, mismatch);
    place({{QStringLiteral("plain"), QStringLiteral("a.mp4")},
           {other, QStringLiteral("odd one.mp4")},
           {QStringLiteral("plain"), QStringLiteral("c.mp4")}});
    queue({QStringLiteral("a.mp4"), QStringLiteral("odd one.mp4"), QStringLiteral("c.mp4")});
    const QStringList before = entries(m_work);

    QCOMPARE(merge(), 1);

    QCOMPARE(m_boxes->seen.size(), 1);
    const QString text = m_boxes->seen.first().text;
    QVERIFY2(text.contains(QStringLiteral("odd one.mp4: ") + mismatch), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("c.mp4:")), qPrintable(text));
    QCOMPARE(m_spy->count(), 0);
    QCOMPARE(entries(m_work), before);
}

void TestMergeJob::namesAQueuedFileThatIsGone()
{
    place({{QStringLiteral("plain"), QStringLiteral("a.mp4")},
           {QStringLiteral("plain"), QStringLiteral("gone soon.mp4")}});
    queue({QStringLiteral("a.mp4"), QStringLiteral("gone soon.mp4")});
    QVERIFY(QFile::remove(m_work + QStringLiteral("/gone soon.mp4")));
    const QStringList before = entries(m_work);

    QCOMPARE(merge(), 1);

    QCOMPARE(m_boxes->seen.size(), 1);
    QVERIFY2(m_boxes->seen.first().text.contains(QStringLiteral("gone soon.mp4")),
             qPrintable(m_boxes->seen.first().text));
    QCOMPARE(m_spy->count(), 0);
    QCOMPARE(entries(m_work), before);
}

void TestMergeJob::brokenOrCanceledRunLeavesNothing_data()
{
    QTest::addColumn<QString>("stage");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<int>("result");
    const QString join = QStringLiteral("join");
    const QString convert = QStringLiteral("convert");
    QTest::newRow("cancel during the join") << join << QStringLiteral("slow") << true << 2;
    QTest::newRow("cancel during a conversion") << convert << QStringLiteral("slow") << true << 2;
    QTest::newRow("join reports invalid data") << join << QStringLiteral("fail") << false << 1;
    QTest::newRow("join crashes") << join << QStringLiteral("crash") << false << 1;
    QTest::newRow("join writes nothing and exits 0")
        << join << QStringLiteral("silent") << false << 1;
    QTest::newRow("conversion fails") << convert << QStringLiteral("fail") << false << 1;
}

void TestMergeJob::brokenOrCanceledRunLeavesNothing()
{
    QFETCH(QString, stage);
    QFETCH(QString, mode);
    QFETCH(bool, cancel);
    QFETCH(int, result);
    qputenv("VISTREL_FAKE_STAGE", stage.toUtf8());
    qputenv("VISTREL_FAKE_MODE", mode.toUtf8());
    place({{QStringLiteral("plain"), QStringLiteral("a.mp4")},
           {QStringLiteral("plain"), QStringLiteral("b.mp4")}});
    queue({QStringLiteral("a.mp4"), QStringLiteral("b.mp4")});
    const QStringList before = entries(m_work);

    // The progress dialog's confirmed Cancel sets the stop request while the slow run waits
    // silently for "q".
    ToolRun* slow =
        stage == QLatin1String("join") ? m_window->m_pMergeProcess : m_window->m_pChangeTSProcess;
    QTimer canceler;
    canceler.setInterval(20);
    connect(&canceler, &QTimer::timeout, this, [slow] {
        if (slow->isRunning())
            DRUI::m_bisFinished = true;
    });
    if (cancel)
        canceler.start();

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(merge(), result);
    QVERIFY2(clock.elapsed() < 20000, "the run was not stopped");

    const QList<Report> got = reports(*m_spy);
    QCOMPARE(
        std::count_if(got.cbegin(), got.cend(), [](const Report& r) { return r.percent == 100; }),
        1);
    QCOMPARE(got.last().percent, 100);
    QCOMPARE(got.last().result, result);
    QCOMPARE(entries(m_work), before);
}

VISTREL_UI_TEST_MAIN(TestMergeJob)
#include "tst_merge_job.moc"
