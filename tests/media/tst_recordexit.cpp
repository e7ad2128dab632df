// A recording ended by the program rather than the user: the disk running low, the window
// closed, Quit in the tray. Each leaves a whole file under the recording's name.
#include "MediaTestUtil.h"
#include "RecordingTest.h"
#include "media/ToolRun.h"
#include "record/RecordNames.h"
#include "record/RecordingSession.h"
#include "support/Helpers.h"

#include <QApplication>
#include <QComboBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace
{

const QRegularExpression
    kTimeName(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\d\\.mp4$"));

// The one recording in `dir`: named by its start, whole, at least `seconds` long.
void checkOneRecording(const QString& dir, double seconds)
{
    QStringList recordings;
    for (const QString& f : testui::filesIn(dir)) {
        QVERIFY2(!f.startsWith(QLatin1Char('.')), qPrintable(f));
        if (f.endsWith(QLatin1String(".mp4")))
            recordings << f;
    }
    QCOMPARE(recordings.size(), 1);
    QVERIFY2(kTimeName.match(recordings[0]).hasMatch(), qPrintable(recordings[0]));
    const QString path = QDir(dir).filePath(recordings[0]);
    const double duration = testutil::probeDuration(path);
    QVERIFY2(duration >= seconds, qPrintable(QString::number(duration)));
    const double first = testutil::firstVideoFrameTime(path);
    QVERIFY2(first >= 0 && first < 0.05, qPrintable(QString::number(first)));
    QVERIFY(testutil::decodesCleanly(path));
}

} // namespace

class TestRecordExit : public QObject
{
    Q_OBJECT
public:
    TestRecordExit(bool ready, const QString& why) : m_ready(ready), m_why(why) {}

private Q_SLOTS:
    void initTestCase();
    void lowSpaceStops();
    void endedWithTheProgram_data();
    void endedWithTheProgram();

private:
    bool m_ready;
    QString m_why;
};

void TestRecordExit::initTestCase()
{
    if (!m_ready)
        QSKIP(qPrintable(m_why));
}

void TestRecordExit::lowSpaceStops()
{
    QTemporaryDir tmp;
    testutil::SmallDisk disk(tmp.filePath(QStringLiteral("small disk")));
    if (!disk.mounted)
        QSKIP("mounting a 15 MiB tmpfs is not permitted here (needs root in a privileged "
              "environment)");
    testui::ModalAnswerer boxes;
    {
        auto w = testui::makeWindow(tmp.path(), disk.path, true);
        DRUI::m_pAudioComBox->setCurrentIndex(DRUI::m_pAudioComBox->findText("Microphone"));
        w->btnSlotRecord();
        QVERIFY(testui::waitUntilLive(*w));
        QTest::qWait(2500);
        QVERIFY(DRUI::m_bIsStart);

        // Leave 9 MiB: below the 10 MiB the recording needs, enough to finalise it.
        const qint64 free = qint64(GetFreeSpace(disk.path));
        QVERIFY(
            testutil::fill(QDir(disk.path).filePath(QStringLiteral("filler")), free - 9 * 1048576));
        QVERIFY(QTest::qWaitFor([] { return !DRUI::m_bIsStart; }, 2000));
        QCOMPARE(w->m_pRecordButton->text(), QStringLiteral("Start"));
        QVERIFY(testui::waitUntilIdle(*w));
        QTest::qWait(1000);
        QCOMPARE(boxes.texts(),
                 QStringList{QStringLiteral("Not enough space, recording stopped.")});
        QCOMPARE(boxes.seen.first().title, QStringLiteral("Recorder"));
        QCOMPARE(DRUI::m_nRecorderRet, 0);

        // Record again on the full disk: told the same, before any file is made.
        w->btnSlotRecord();
        QVERIFY(QTest::qWaitFor([&] { return boxes.texts().size() == 2; }, 10000));
        QCOMPARE(boxes.texts().last(), QStringLiteral("Not enough space, recording stopped."));
        QVERIFY(testui::waitUntilIdle(*w));
    }
    checkOneRecording(disk.path, 1.5);
}

void TestRecordExit::endedWithTheProgram_data()
{
    QTest::addColumn<bool>("trayQuit");
    QTest::newRow("window closed") << false;
    QTest::newRow("Quit in the tray") << true;
}

void TestRecordExit::endedWithTheProgram()
{
    QFETCH(bool, trayQuit);

    rectest::PageRecording rec;
    QVERIFY(rec.start());
    testui::ModalAnswerer& boxes = rec.boxes;
    const QString& saveDir = rec.saveDir;
    std::unique_ptr<DRUI>& w = rec.window;

    // As the program runs: the window's close ends the application's event loop, then the
    // window is destroyed, which must finalise the recording before it returns.
    QTimer::singleShot(3000, w.get(), [&] {
        if (trayQuit)
            w->btnSlotMenuQuit();
        else
            w->close();
    });
    QTimer giveUp;
    giveUp.setSingleShot(true);
    connect(&giveUp, &QTimer::timeout, qApp, &QCoreApplication::quit);
    giveUp.start(60000);
    QApplication::exec();
    QVERIFY2(giveUp.isActive(), "closing the window did not end the event loop");
    QVERIFY(!w->isVisible());
    w.reset();
    QVERIFY(!DRUI::m_bIsStart);
    checkOneRecording(saveDir, 2.0);
    QVERIFY2(boxes.texts().isEmpty(), qPrintable(boxes.texts().join(QLatin1Char('|'))));
}

RECTEST_MAIN(TestRecordExit)
#include "tst_recordexit.moc"
