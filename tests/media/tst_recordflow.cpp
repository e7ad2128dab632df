// Recording through the window's own slots with the real media tool, X display and sound
// server: each sound choice gives a whole, named MP4 of the screen that starts at once.
#include "MediaTestUtil.h"
#include "RecordTestEnv.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace
{

const QRegularExpression
    kTimeName(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\d\\.mp4$"));

QString trayEntry(const DRUI& w, int index)
{
    return w.m_pTrayMenu ? w.m_pTrayMenu->actions().at(index)->text() : QString();
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
    void twoStartsInOneSecond();

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

    QTest::newRow("both sources") << "Computer sounds and Microphone"
                                  << "Screen Save";
    QTest::newRow("computer sounds") << "Computer sounds"
                                     << "Screen Save";
    QTest::newRow("microphone, folder with blanks and non-ASCII") << "Microphone"
                                                                  << "Aufnahmen für Jörg/録画 2024";
    QTest::newRow("no sound") << "None"
                              << "Screen Save";
}

void TestRecordFlow::recordEachChoice()
{
    QFETCH(QString, choice);
    QFETCH(QString, folder);

    rectest::BoxAnswerer boxes;
    QTemporaryDir tmp;
    const QString saveDir = tmp.filePath(folder);
    auto w = rectest::makeWindow(tmp.path(), saveDir);
    const int item = DRUI::m_pAudioComBox->findText(choice);
    QVERIFY(item >= 0);
    DRUI::m_pAudioComBox->setCurrentIndex(item);

    w->btnSlotRecord();
    QVERIFY(DRUI::m_bIsStart);
    QCOMPARE(w->m_pRecordButton->text(), QStringLiteral("Stop"));
    QCOMPARE(trayEntry(*w, 1), QStringLiteral("Stop"));
    QVERIFY(!w->isVisible() || w->isMinimized());
    QVERIFY(rectest::waitUntilLive(*w));
    QTest::qWait(4000);
    // The status shows the recorded time and the working file's size.
    const QStringList status = DRUI::m_pStereoMix->text().split(QLatin1Char('\n'));
    QCOMPARE(status.size(), 5);
    QCOMPARE(status[0], QStringLiteral("Recording... "));
    QVERIFY2(status[2] >= QLatin1String("00:00:03"), qPrintable(status[2]));
    QVERIFY2(status[4] != QLatin1String("0 Bytes"), qPrintable(status[4]));

    w->btnSlotRecord();
    QVERIFY(!DRUI::m_bIsStart);
    QCOMPARE(w->m_pRecordButton->text(), QStringLiteral("Start"));
    QCOMPARE(trayEntry(*w, 1), QStringLiteral("Start"));
    QVERIFY(w->isVisible() && !w->isMinimized());
    QVERIFY(!DRUI::m_pStereoMix->isVisible());
    QVERIFY(rectest::waitUntilIdle(*w));

    // One file, named by its start, no working file left.
    const QStringList files = rectest::filesIn(saveDir);
    QCOMPARE(files.size(), 1);
    QVERIFY2(kTimeName.match(files[0]).hasMatch(), qPrintable(files[0]));
    const QString path = QDir(saveDir).filePath(files[0]);

    const double duration = testutil::probeDuration(path);
    QVERIFY2(duration >= 3.0 && duration <= 5.0, qPrintable(QString::number(duration)));
    const bool audio = choice != QLatin1String("None");
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
    const double first = rectest::firstPictureTime(path);
    QVERIFY2(first >= 0 && first < 0.05, qPrintable(QString::number(first)));
    QVERIFY(testutil::decodesCleanly(path));
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join(QLatin1Char('|'))));
}

void TestRecordFlow::twoStartsInOneSecond()
{
    rectest::BoxAnswerer boxes;
    QTemporaryDir tmp;
    const QString saveDir = tmp.filePath(QStringLiteral("Screen Save"));
    auto w = rectest::makeWindow(tmp.path(), saveDir);

    // Start, stop and start again early in one second. The second start waits for the first
    // recording to end and be finalised, and must not take its name.
    QVERIFY(QTest::qWaitFor([] { return QTime::currentTime().msec() < 200; }, 2000));
    w->btnSlotRecord();
    w->btnSlotRecord();
    w->btnSlotRecord();
    QVERIFY(DRUI::m_bIsStart);
    QVERIFY(QTest::qWaitFor(
        [&] { return rectest::filesIn(saveDir).size() == 2 && w->m_bRecordLive; }, 40000));
    QTest::qWait(1000);
    w->btnSlotRecord();
    QVERIFY(rectest::waitUntilIdle(*w));

    QStringList files = rectest::filesIn(saveDir);
    QCOMPARE(files.size(), 2);
    files.sort();
    // "(" sorts before ".": the second recording's name comes first.
    const QString first = files[1];
    QVERIFY2(kTimeName.match(first).hasMatch(), qPrintable(first));
    QCOMPARE(files[0], first.chopped(4) + QStringLiteral("(1).mp4"));
    for (const QString& f : files)
        QVERIFY2(testutil::decodesCleanly(QDir(saveDir).filePath(f)), qPrintable(f));
    // A stop before the first frame still leaves a picture.
    QVERIFY(testutil::probeStreamTypes(QDir(saveDir).filePath(first)).contains("video"));
    QVERIFY2(boxes.texts.isEmpty(), qPrintable(boxes.texts.join(QLatin1Char('|'))));
}

RECTEST_MAIN(TestRecordFlow)
#include "tst_recordflow.moc"
