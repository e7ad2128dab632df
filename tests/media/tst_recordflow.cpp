// Recording through the window's own slots with the real media tool, X display and sound
// server: each sound choice gives a whole, named MP4 of the screen that starts at once.
#include "MediaTestUtil.h"
#include "RecordingTest.h"
#include "media/ToolRun.h"
#include "record/RecordingSession.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace
{

const QRegularExpression
    kTimeName(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\d\\.mp4$"));

QString trayEntry(const DRUI& w, int index)
{
    QMenu* menu = w.m_pTrayIcon ? w.m_pTrayIcon->contextMenu() : nullptr;
    return menu ? menu->actions().at(index)->text() : QString();
}

} // namespace

class TestRecordFlow : public QObject
{
    Q_OBJECT
public:
    TestRecordFlow(bool ready, const QString& why) : m_ready(ready), m_why(why) {}

private Q_SLOTS:
    void initTestCase();
    void recordEachChoice_data();
    void recordEachChoice();

private:
    bool m_ready;
    QString m_why;
};

void TestRecordFlow::initTestCase()
{
    if (!m_ready)
        QSKIP(qPrintable(m_why));
}

void TestRecordFlow::recordEachChoice_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("player");

    // A program playing with a desktop's usual latency keeps the server's null sink working in
    // small blocks; without one, its monitor and the test microphone deliver 2 s blocks.
    QTest::newRow("both sources, 2 s blocks") << "Computer sounds and Microphone"
                                              << "Screen Save" << false;
    QTest::newRow("computer sounds, a program playing") << "Computer sounds"
                                                        << "Screen Save" << true;
    QTest::newRow("microphone, folder with blanks and non-ASCII")
        << "Microphone"
        << "Aufnahmen für Jörg/録画 2024" << false;
    QTest::newRow("no sound") << "None"
                              << "Screen Save" << false;
}

void TestRecordFlow::recordEachChoice()
{
    QFETCH(QString, choice);
    QFETCH(QString, folder);
    QFETCH(bool, player);

    QProcess pacat;
    if (player) {
        pacat.setStandardInputFile(QStringLiteral("/dev/zero"));
        pacat.start(QStringLiteral("pacat"),
                    {QStringLiteral("--playback"), QStringLiteral("--device=speakers"),
                     QStringLiteral("--raw"), QStringLiteral("--latency-msec=20")});
        QVERIFY2(pacat.waitForStarted(), "pacat (pulseaudio-utils) did not start");
        QTest::qWait(500);
    }
    const auto stopPlayer = qScopeGuard([&] {
        pacat.kill();
        pacat.waitForFinished();
    });
    testui::ModalAnswerer boxes;
    QTemporaryDir tmp;
    const QString saveDir = tmp.filePath(folder);
    auto w = testui::makeWindow(tmp.path(), saveDir, true);
    const int item = DRUI::m_pAudioComBox->findText(choice);
    QVERIFY(item >= 0);
    DRUI::m_pAudioComBox->setCurrentIndex(item);

    w->btnSlotRecord();
    QVERIFY(DRUI::m_bIsStart);
    QCOMPARE(w->m_pRecordButton->text(), QStringLiteral("Stop"));
    QCOMPARE(trayEntry(*w, 1), QStringLiteral("Stop"));
    QVERIFY(!w->isVisible() || w->isMinimized());
    QVERIFY(testui::waitUntilLive(*w));
    QElapsedTimer live;
    live.start();
    QTest::qWait(4000);
    // The status shows the recorded time and the working file's size.
    const QStringList status = DRUI::m_pStereoMix->text().split(QLatin1Char('\n'));
    QCOMPARE(status.size(), 5);
    QCOMPARE(status[0], QStringLiteral("Recording... "));
    QVERIFY2(status[2] >= QLatin1String("00:00:03"), qPrintable(status[2]));
    QVERIFY2(status[4] != QLatin1String("0 Bytes"), qPrintable(status[4]));

    const double asked = double(live.elapsed()) / 1000;
    w->btnSlotRecord();
    QVERIFY(!DRUI::m_bIsStart);
    QCOMPARE(w->m_pRecordButton->text(), QStringLiteral("Start"));
    QCOMPARE(trayEntry(*w, 1), QStringLiteral("Start"));
    QVERIFY(w->isVisible() && !w->isMinimized());
    QVERIFY(!DRUI::m_pStereoMix->isVisible());
    QVERIFY(testui::waitUntilIdle(*w));

    // One file, named by its start, no working file left.
    const QStringList files = testui::filesIn(saveDir);
    QCOMPARE(files.size(), 1);
    QVERIFY2(kTimeName.match(files[0]).hasMatch(), qPrintable(files[0]));
    const QString path = QDir(saveDir).filePath(files[0]);

    const bool audio = choice != QLatin1String("None");
    // The file holds the screen from the first picture the page reported to the Stop click,
    // picture and sound: within 0.3 s, plus the one picture the length is rounded to.
    for (const QString& stream : audio ? QStringList{"v:0", "a:0"} : QStringList{"v:0"}) {
        const double length =
            testutil::probeStreamEntry(path, stream, QStringLiteral("duration")).toDouble();
        QVERIFY2(std::abs(length - asked) <= 0.3 + 1001.0 / 30000,
                 qPrintable(QStringLiteral("%1: %2 s for %3 s from the first picture to Stop")
                                .arg(stream)
                                .arg(length)
                                .arg(asked)));
    }
    QCOMPARE(testutil::probeStreamTypes(path),
             audio ? (QStringList{"video", "audio"}) : QStringList{"video"});
    QCOMPARE(testutil::probeStreamEntry(path, QStringLiteral("v:0"), QStringLiteral("codec_name")),
             QStringLiteral("h264"));
    QCOMPARE(testutil::probeStreamEntry(path, QStringLiteral("v:0"), QStringLiteral("width")),
             QStringLiteral("640"));
    QCOMPARE(testutil::probeStreamEntry(path, QStringLiteral("v:0"), QStringLiteral("height")),
             QStringLiteral("480"));
    if (audio)
        QCOMPARE(
            testutil::probeStreamEntry(path, QStringLiteral("a:0"), QStringLiteral("codec_name")),
            QStringLiteral("aac"));
    // No lead-in: the picture starts with the file.
    const double first = testutil::firstVideoFrameTime(path);
    QVERIFY2(first >= 0 && first < 0.05, qPrintable(QString::number(first)));
    QVERIFY(testutil::decodesCleanly(path));
    QVERIFY2(boxes.texts().isEmpty(), qPrintable(boxes.texts().join(QLatin1Char('|'))));
}

RECTEST_MAIN(TestRecordFlow)
#include "tst_recordflow.moc"
