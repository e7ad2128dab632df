// A recording that ends badly is still kept and told: the tool killed under the window, the
// whole program killed (recovered at the next start).
#include "MediaTestUtil.h"
#include "RecordingTest.h"
#include "app/UserFolders.h"
#include "media/ToolRun.h"
#include "record/RecordNames.h"
#include "record/RecordingSession.h"
#include "support/WorkingFile.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

class TestRecordSafety : public QObject
{
    Q_OBJECT
public:
    TestRecordSafety(bool ready, const QString& why) : m_ready(ready), m_why(why) {}

private Q_SLOTS:
    void initTestCase();
    void toolKilledWhileRecording();
    void programKilledRecoveredAtNextStart();
    void saveFolderDeletedWhileRecording_data();
    void saveFolderDeletedWhileRecording();
    void recordAgainRightAfterStop();

private:
    bool m_ready;
    QString m_why;
};

void TestRecordSafety::initTestCase()
{
    if (!m_ready)
        QSKIP(qPrintable(m_why));
}

void TestRecordSafety::toolKilledWhileRecording()
{
    rectest::PageRecording rec;
    QVERIFY(rec.start(QStringLiteral("Microphone")));
    testui::ModalAnswerer& boxes = rec.boxes;
    const QString& saveDir = rec.saveDir;
    std::unique_ptr<DRUI>& w = rec.window;
    QTest::qWait(3500);
    rectest::killNow(w->m_pRecordProcess->processId());

    // The page goes back to idle by itself (no clock running over nothing) ...
    QVERIFY(QTest::qWaitFor([] { return !DRUI::m_bIsStart; }, 5000));
    QCOMPARE(w->m_pRecordButton->text(), QStringLiteral("Start"));
    QVERIFY(w->isVisible() && !w->isMinimized());
    QVERIFY(testui::waitUntilIdle(*w));

    // ... keeps what was recorded under the recording's name, and says what happened.
    const QStringList files = testui::filesIn(saveDir);
    QCOMPARE(files.size(), 1);
    const QString path = QDir(saveDir).filePath(files[0]);
    QVERIFY(QTest::qWaitFor([&] { return boxes.texts().size() == 1; }, 5000));
    QVERIFY2(boxes.texts()[0].contains(QLatin1String("stopped unexpectedly")) &&
                 boxes.texts()[0].contains(QLatin1String("crashed")) &&
                 boxes.texts()[0].contains(files[0]),
             qPrintable(boxes.texts()[0]));
    // Lost: the last half-second fragment at most, and what the encoder still held.
    const double duration = testutil::probeDuration(path);
    QVERIFY2(duration >= 2.6, qPrintable(QString::number(duration)));
    QVERIFY(testutil::decodesCleanly(path));
}

void TestRecordSafety::programKilledRecoveredAtNextStart()
{
    QTemporaryDir tmp;
    const QString saveDir = tmp.filePath(QStringLiteral("Screen Save"));
    // The tool does not go on recording on its own, and what it wrote plays to the end. The
    // program shares this test's (private) home, where the folders worked in are listed.
    QString why;
    const QString work =
        rectest::recordThenKillProgram(saveDir, tmp.path(), QDir::homePath(), 4500, &why);
    QVERIFY2(!work.isEmpty(), qPrintable(why));
    const QString finalName = finalNameForWorkingFile(QFileInfo(work).fileName());
    QVERIFY2(!finalName.isEmpty(), qPrintable(work));
    const double duration = testutil::probeDuration(work);
    QVERIFY2(duration >= 4.0, qPrintable(QString::number(duration)));
    // Told to stop once, the tool wrote the end of its file too.
    QVERIFY(testutil::fragmentedMp4Finished(work));

    // Recovered at once, however recent: no process holds it, and the save folder has been
    // changed since. Another working file that a recording elsewhere holds is left alone.
    const QString busy = QDir(saveDir).filePath(workingFileName(QStringLiteral("busy.mp4")));
    QVERIFY(testutil::writeRandomFile(busy, 4096));
    const QByteArray busySum = testutil::checksum(busy);
    WorkLock elsewhere;
    QVERIFY(elsewhere.acquire(busy));

    testui::ModalAnswerer boxes;
    auto w = testui::makeWindow(tmp.path(), tmp.filePath(QStringLiteral("Other")), true);
    QVERIFY(QTest::qWaitFor(
        [&] {
            return testui::filesIn(saveDir) == QStringList({QFileInfo(busy).fileName(), finalName});
        },
        30000));
    QVERIFY(QTest::qWaitFor([&] { return boxes.texts().size() == 1; }, 5000));
    QVERIFY2(boxes.texts()[0].contains(QLatin1String("recovered")) &&
                 boxes.texts()[0].contains(QDir(saveDir).filePath(finalName)),
             qPrintable(boxes.texts()[0]));
    QCOMPARE(testutil::checksum(busy), busySum);
    const QString finalPath = QDir(saveDir).filePath(finalName);
    QVERIFY(testutil::decodesCleanly(finalPath));
    const double first = testutil::firstVideoFrameTime(finalPath);
    QVERIFY2(first >= 0 && first < 0.05, qPrintable(QString::number(first)));
    QVERIFY(testutil::probeDuration(finalPath) >= 3.5);
}

void TestRecordSafety::saveFolderDeletedWhileRecording_data()
{
    QTest::addColumn<bool>("moved"); // renamed (or put in the bin) instead of deleted
    QTest::newRow("deleted") << false;
    QTest::newRow("moved") << true;
}

void TestRecordSafety::saveFolderDeletedWhileRecording()
{
    QFETCH(bool, moved);
    rectest::PageRecording rec;
    QVERIFY(rec.start());
    const QString& saveDir = rec.saveDir;
    const QString movedDir = rec.tmp.filePath(QStringLiteral("Bin"));
    QVERIFY(moved ? QDir().rename(saveDir, movedDir) : QDir(saveDir).removeRecursively());

    if (moved) {
        // The recording goes on, and is finished where its folder went; a crash meanwhile
        // would be recovered there.
        QTest::qWait(1500);
        QVERIFY(DRUI::m_bIsStart);
        QVERIFY(RememberedWorkFolders(workJournalFile()).contains(movedDir));
        rec.window->btnSlotRecord();
        QVERIFY(testui::waitUntilIdle(*rec.window));
        QCOMPARE(testui::filesIn(movedDir).size(), 1);
        QCOMPARE(rec.boxes.texts(), QStringList());
        return;
    }
    // Stopped at once, and told why, rather than recording on into nothing until Stop.
    QVERIFY(QTest::qWaitFor([] { return !DRUI::m_bIsStart; }, 5000));
    QVERIFY(testui::waitUntilIdle(*rec.window));
    QVERIFY(QTest::qWaitFor([&] { return rec.boxes.texts().size() == 1; }, 5000));
    QVERIFY2(rec.boxes.texts()[0].contains(QLatin1String("the folder ") + saveDir +
                                           QLatin1String(" was deleted")),
             qPrintable(rec.boxes.texts()[0]));
}

void TestRecordSafety::recordAgainRightAfterStop()
{
    rectest::PageRecording rec;
    QVERIFY(rec.start());
    testui::ModalAnswerer& boxes = rec.boxes;
    const QString& saveDir = rec.saveDir;
    std::unique_ptr<DRUI>& w = rec.window;
    QTest::qWait(1500);
    w->btnSlotRecord();
    w->btnSlotRecord();

    // The second recording waits for the first to be finalised, then goes on until Stop.
    QVERIFY(QTest::qWaitFor([&] { return testui::filesIn(saveDir).size() == 1; }, 20000));
    QVERIFY(testui::waitUntilLive(*w));
    QTest::qWait(1500);
    QVERIFY(DRUI::m_bIsStart);
    w->btnSlotRecord();
    QVERIFY(testui::waitUntilIdle(*w));
    const QStringList files = testui::filesIn(saveDir);
    QCOMPARE(files.size(), 2);
    for (const QString& file : files)
        QVERIFY(testutil::probeDuration(QDir(saveDir).filePath(file)) >= 1.2);
    QCOMPARE(boxes.texts(), QStringList());
}

RECTEST_MAIN(TestRecordSafety)
#include "tst_recordsafety.moc"
