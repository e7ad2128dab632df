// Recording a Wayland screen through the window, on the private headless GNOME desktop of
// fixtures/wayland-session.sh with its moving clock: each sound choice, the share remembered from
// one recording to the next, a desktop without the portal, and recordings ended by a killed tool,
// a killed program or a full disk.
#include "MediaTestUtil.h"
#include "RecordingTest.h"
#include "ScreenCode.h"
#include "media/ToolRun.h"
#include "record/RecordCommand.h"
#include "record/RecordNames.h"
#include "record/RecordingSession.h"
#include "record/wayland/WaylandCapture.h"
#include "support/Helpers.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <limits>
#include <memory>

namespace
{

const double kRate = double(kRecordRateNumerator) / kRecordRateDenominator;
// The fixture's tones: the microphone's and the computer's own sound. A tone is in a file when
// its band is louder than kHeard (dB); the other tone leaks into it at -68 dB at most.
constexpr int kMicHz = 440;
constexpr int kComputerHz = 3000;
constexpr double kHeard = -50;

QString iniPath(const QString& iniDir)
{
    return QDir(iniDir).filePath(QStringLiteral("ScreenRecord.ini"));
}

// The clock that the fixture's moving window painted into every picture of `path` (the low 32
// bits of the wall clock in ms), -1 where it cannot be read.
QVector<qint64> paintedClocks(const QString& path)
{
    using namespace screencode;
    QProcess tool;
    tool.start(testutil::ffmpegPath(),
               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                QStringLiteral("-map"), QStringLiteral("0:v"), QStringLiteral("-vf"),
                QStringLiteral("crop=%1:%2:0:0,scale=%3:1:flags=area,format=gray")
                    .arg(kStripWidth)
                    .arg(kStripHeight)
                    .arg(kBits + kFlashCells),
                QStringLiteral("-f"), QStringLiteral("rawvideo"), QStringLiteral("-")});
    tool.waitForFinished(120000);
    const QByteArray cells = tool.readAllStandardOutput();
    QVector<qint64> clocks;
    const int perPicture = kBits + kFlashCells;
    for (qsizetype at = 0; at + perPicture <= cells.size(); at += perPicture)
        clocks.append(decodeClock(reinterpret_cast<const unsigned char*>(cells.constData() + at)));
    return clocks;
}

// What keeps `clocks` from showing the live screen, or an empty text: every clock read and none
// going back, at least 3 new ones a second, none shown for more than a second (the opening
// included), and the clock keeping pace with the pictures' own times (it gains at most 0.6 s on
// them from the first half of the file to the second, whatever a busy machine delays).
QString liveScreenProblem(const QVector<qint64>& clocks)
{
    if (clocks.size() < 2 * kRate)
        return QStringLiteral("only %1 pictures").arg(clocks.size());
    const qsizetype middle = clocks.size() / 2;
    qint64 lead[2] = {std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::min()};
    QSet<qint64> distinct;
    qsizetype shownSince = 0;
    for (qsizetype i = 0; i < clocks.size(); ++i) {
        if (clocks[i] < 0)
            return QStringLiteral("picture %1 unreadable").arg(i);
        if (i > 0 && clocks[i] < clocks[i - 1])
            return QStringLiteral("the clock goes back at picture %1").arg(i);
        if (i > 0 && clocks[i] != clocks[i - 1])
            shownSince = i;
        if (double(i - shownSince) > kRate)
            return QStringLiteral("pictures %1 to %2 show one clock").arg(shownSince).arg(i);
        distinct.insert(clocks[i]);
        qint64& half = lead[i < middle ? 0 : 1];
        half = qMax(half, clocks[i] - qint64(double(i) * 1000.0 / kRate));
    }
    if (qAbs(lead[1] - lead[0]) > 600)
        return QStringLiteral("the screen's clock gained %1 ms on the pictures' times")
            .arg(lead[1] - lead[0]);
    const double seconds = double(clocks.size()) / kRate;
    if (distinct.size() < 3 * seconds)
        return QStringLiteral("%1 new pictures in %2 s").arg(distinct.size()).arg(seconds);
    return {};
}

// How long (ms) before the wall-clock time `wallMs` the moving window painted `clock`.
qint64 paintedBefore(qint64 wallMs, qint64 clock)
{
    return qint32(quint32(wallMs) - quint32(clock));
}

// The level (dB, mean over the file) of the sound of `path` in a narrow band around `hz`.
double toneLevel(const QString& path, int hz)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(testutil::ffmpegPath(),
               {QStringLiteral("-hide_banner"), QStringLiteral("-nostats"), QStringLiteral("-i"),
                path, QStringLiteral("-map"), QStringLiteral("0:a:0"), QStringLiteral("-af"),
                QStringLiteral("bandpass=f=%1:width_type=h:width=50,volumedetect").arg(hz),
                QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")});
    tool.waitForFinished(60000);
    static const QRegularExpression mean(QStringLiteral("mean_volume: (-?[0-9.]+) dB"));
    const QRegularExpressionMatch m = mean.match(QString::fromUtf8(tool.readAll()));
    return m.hasMatch() ? m.captured(1).toDouble() : -200;
}

} // namespace

class TestWaylandRecord : public QObject
{
    Q_OBJECT
public:
    TestWaylandRecord(bool ready, const QString& why) : m_ready(ready), m_why(why) {}

private Q_SLOTS:
    void initTestCase();
    void recordEachChoice_data();
    void recordEachChoice();
    void endsOnItsOwn_data();
    void endsOnItsOwn();
    void programKilledRecoveredAtNextStart();
    void withoutAPortal();

private:
    bool m_ready;
    QString m_why;
    // The settings of every window and program here. It starts with a share approved in
    // advance, as the system keeps one the user chose to remember (nobody can answer the share
    // dialog here); each recording keeps the token for the next one in it.
    QTemporaryDir m_ini;
};

void TestWaylandRecord::initTestCase()
{
    if (!m_ready)
        QSKIP(qPrintable(m_why));
    QProcess approve;
    approve.start(QStringLiteral("sh"),
                  {qEnvironmentVariable("VISTREL_SOURCE_DIR") +
                       QStringLiteral("/tests/media/fixtures/wayland-session.sh"),
                   QStringLiteral("approve"), qEnvironmentVariable("VISTREL_WAYLAND_DIR")});
    QVERIFY(approve.waitForFinished(10000));
    const QString token = QString::fromUtf8(approve.readAllStandardOutput()).trimmed();
    QVERIFY2(!token.isEmpty(), approve.readAllStandardError().constData());
    QSettings(iniPath(m_ini.path()), QSettings::IniFormat)
        .setValue(WaylandCapture::restoreTokenKey(), token);
}

void TestWaylandRecord::recordEachChoice_data()
{
    QTest::addColumn<QString>("choice");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<bool>("mic");
    QTest::addColumn<bool>("computer");

    QTest::newRow("both sources, 10 s") << "Computer sounds and Microphone" << 10 << true << true;
    QTest::newRow("computer sounds") << "Computer sounds" << 4 << false << true;
    QTest::newRow("microphone") << "Microphone" << 4 << true << false;
    QTest::newRow("no sound") << "None" << 4 << false << false;
}

void TestWaylandRecord::recordEachChoice()
{
    QFETCH(QString, choice);
    QFETCH(int, seconds);
    QFETCH(bool, mic);
    QFETCH(bool, computer);

    testui::ModalAnswerer boxes;
    QTemporaryDir save;
    // A new window each time, as a new start of the program: it shares the screen with the
    // token the last recording stored, so nobody is asked (else it would wait for the dialog).
    auto w = testui::makeWindow(m_ini.path(), save.path(), true);
    const int item = DRUI::m_pAudioComBox->findText(choice);
    QVERIFY(item >= 0);
    DRUI::m_pAudioComBox->setCurrentIndex(item);

    const qint64 recordMs = QDateTime::currentMSecsSinceEpoch();
    w->btnSlotRecord();
    QVERIFY(testui::waitUntilLive(*w, 15000));
    QTest::qWait(int(recordMs + seconds * 1000 - QDateTime::currentMSecsSinceEpoch()));
    const qint64 stopMs = QDateTime::currentMSecsSinceEpoch();
    w->btnSlotRecord();
    QVERIFY(testui::waitUntilIdle(*w));
    QVERIFY2(boxes.texts().isEmpty(), qPrintable(boxes.texts().join(QLatin1Char('|'))));

    // The token the portal handed back is kept for the next recording.
    const auto* capture = qobject_cast<WaylandCapture*>(testui::sessionOf(*w).capture());
    QVERIFY(capture && !capture->restoreToken().isEmpty());
    QCOMPARE(QSettings(iniPath(m_ini.path()), QSettings::IniFormat)
                 .value(WaylandCapture::restoreTokenKey())
                 .toString(),
             capture->restoreToken());

    const QStringList files = testui::filesIn(save.path());
    QCOMPARE(files.size(), 1);
    const QString path = save.filePath(files[0]);
    QCOMPARE(testutil::probeStreamEntry(path, QStringLiteral("v:0"), QStringLiteral("width")),
             QStringLiteral("1920"));
    QCOMPARE(testutil::probeStreamEntry(path, QStringLiteral("v:0"), QStringLiteral("height")),
             QStringLiteral("1080"));
    const QVector<qint64> clocks = paintedClocks(path);
    const QString problem = liveScreenProblem(clocks);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));

    // The file shows the screen up to the Stop click: its last picture is at most 0.3 s older
    // than the click, beyond the time the compositor took for its last new picture. It starts
    // once the shared screen sent its first picture (up to a second after Record on the first
    // share here), and no sound taken after the click makes it longer.
    qsizetype newest = clocks.size() - 1;
    while (newest > 0 && clocks[newest - 1] == clocks.last())
        --newest;
    const qint64 lastGap = newest > 0 ? clocks[newest] - clocks[newest - 1] : 0;
    const qint64 endLag = paintedBefore(stopMs, clocks.last());
    QVERIFY2(endLag <= 300 + lastGap,
             qPrintable(QStringLiteral("the last picture shows the screen %1 ms before Stop, "
                                       "the one before it %2 ms earlier")
                            .arg(endLag)
                            .arg(lastGap)));
    const double asked = double(stopMs - recordMs) / 1000.0;
    const double duration = testutil::probeDuration(path);
    QVERIFY2(duration >= asked - 1.5 && duration <= asked + 0.1,
             qPrintable(QStringLiteral("%1 s recorded from Record to Stop %2 s apart")
                            .arg(duration)
                            .arg(asked)));

    // The chosen sounds, both in one track.
    QCOMPARE(testutil::probeStreamTypes(path),
             mic || computer ? (QStringList{"video", "audio"}) : QStringList{"video"});
    if (mic || computer) {
        const double micLevel = toneLevel(path, kMicHz);
        const double computerLevel = toneLevel(path, kComputerHz);
        QVERIFY2((micLevel > kHeard) == mic && (computerLevel > kHeard) == computer,
                 qPrintable(QStringLiteral("microphone %1 dB, computer %2 dB")
                                .arg(micLevel)
                                .arg(computerLevel)));
    }
}

void TestWaylandRecord::endsOnItsOwn_data()
{
    QTest::addColumn<bool>("lowSpace");
    QTest::newRow("tool killed") << false;
    QTest::newRow("low space") << true;
}

void TestWaylandRecord::endsOnItsOwn()
{
    QFETCH(bool, lowSpace);

    QTemporaryDir tmp;
    QString saveDir = tmp.filePath(QStringLiteral("Screen Save"));
    std::unique_ptr<testutil::SmallDisk> disk;
    if (lowSpace) {
        disk = std::make_unique<testutil::SmallDisk>(tmp.filePath(QStringLiteral("small disk")));
        if (!disk->mounted)
            QSKIP("mounting a 15 MiB tmpfs is not permitted here (needs root)");
        saveDir = disk->path;
    }
    testui::ModalAnswerer boxes;
    auto w = testui::makeWindow(m_ini.path(), saveDir, true);
    DRUI::m_pAudioComBox->setCurrentIndex(DRUI::m_pAudioComBox->findText("Microphone"));
    w->btnSlotRecord();
    QVERIFY(testui::waitUntilLive(*w, 15000));
    QTest::qWait(3000);
    if (lowSpace) {
        // Leave 9 MiB: below the 10 MiB a recording needs, enough to finalise it.
        const qint64 free = qint64(GetFreeSpace(saveDir));
        QVERIFY(
            testutil::fill(QDir(saveDir).filePath(QStringLiteral("filler")), free - 9 * 1048576));
    } else {
        rectest::killNow(w->m_pRecordProcess->processId());
    }

    // The page goes back to idle by itself, keeps what was recorded and says why.
    QVERIFY(QTest::qWaitFor([] { return !DRUI::m_bIsStart; }, 5000));
    QCOMPARE(w->m_pRecordButton->text(), QStringLiteral("Start"));
    QVERIFY(testui::waitUntilIdle(*w));
    QStringList files = testui::filesIn(saveDir);
    files.removeAll(QStringLiteral("filler"));
    QCOMPARE(files.size(), 1);
    const QString path = QDir(saveDir).filePath(files[0]);
    QVERIFY(QTest::qWaitFor([&] { return boxes.texts().size() == 1; }, 5000));
    const QString told = boxes.texts()[0];
    QVERIFY2(lowSpace
                 ? told == QLatin1String("Not enough space, recording stopped.")
                 : told.contains(QLatin1String("stopped unexpectedly")) && told.contains(files[0]),
             qPrintable(told));
    const double duration = testutil::probeDuration(path);
    QVERIFY2(duration >= 2.0, qPrintable(QString::number(duration)));
    QVERIFY(testutil::decodesCleanly(path));
    if (lowSpace)
        return;

    // The next recording of the same window shares the screen again without asking.
    w->btnSlotRecord();
    QVERIFY(testui::waitUntilLive(*w, 15000));
    QTest::qWait(1500);
    w->btnSlotRecord();
    QVERIFY(testui::waitUntilIdle(*w));
    QCOMPARE(testui::filesIn(saveDir).size(), 2);
    QCOMPARE(boxes.texts().size(), 1);
}

void TestWaylandRecord::programKilledRecoveredAtNextStart()
{
    QTemporaryDir tmp;
    const QString saveDir = tmp.filePath(QStringLiteral("Screen Save"));
    // Without the program the pictures end, and the tool with them.
    QString why;
    const QString work = rectest::recordThenKillProgram(
        saveDir, m_ini.path(), tmp.filePath(QStringLiteral("home")), 3000, &why);
    QVERIFY2(!work.isEmpty(), qPrintable(why));
    const QString finalName = finalNameForWorkingFile(QFileInfo(work).fileName());
    QVERIFY2(!finalName.isEmpty(), qPrintable(work));
    QVERIFY(testutil::fragmentedMp4Finished(work));

    testui::ModalAnswerer boxes;
    auto w = testui::makeWindow(m_ini.path(), saveDir, true);
    QVERIFY(
        QTest::qWaitFor([&] { return testui::filesIn(saveDir) == QStringList{finalName}; }, 30000));
    QVERIFY(QTest::qWaitFor([&] { return boxes.texts().size() == 1; }, 5000));
    QVERIFY2(boxes.texts()[0].contains(QLatin1String("recovered")) &&
                 boxes.texts()[0].contains(finalName),
             qPrintable(boxes.texts()[0]));
    const QString finalPath = QDir(saveDir).filePath(finalName);
    QVERIFY(testutil::decodesCleanly(finalPath));
    const double duration = testutil::probeDuration(finalPath);
    // Lost with the program: the pictures that still waited in it for the tool.
    QVERIFY2(duration >= 2.0, qPrintable(QString::number(duration)));
}

void TestWaylandRecord::withoutAPortal()
{
    // The desktop of the fixture, but with a session bus of its own that offers nothing.
    QTemporaryDir tmp;
    const QString socket = tmp.filePath(QStringLiteral("bus"));
    QFile config(tmp.filePath(QStringLiteral("bus.conf")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                                "Configuration 1.0//EN\" \"http://www.freedesktop.org/standards/"
                                "dbus/1.0/busconfig.dtd\"><busconfig><type>session</type>"
                                "<auth>EXTERNAL</auth><listen>unix:path=%1</listen>"
                                "<policy context=\"default\"><allow send_destination=\"*\"/>"
                                "<allow receive_sender=\"*\"/><allow own=\"*\"/></policy>"
                                "</busconfig>")
                     .arg(socket)
                     .toUtf8());
    config.close();
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
               QStringLiteral("--nopidfile")});
    QVERIFY(bus.waitForStarted());
    const auto stopBus = qScopeGuard([&] {
        bus.kill();
        bus.waitForFinished();
    });
    QTRY_VERIFY(QFile::exists(socket));
    QFile env(qEnvironmentVariable("VISTREL_WAYLAND_DIR") + QStringLiteral("/env"));
    QFile ownEnv(tmp.filePath(QStringLiteral("env")));
    QVERIFY(env.open(QIODevice::ReadOnly) && ownEnv.open(QIODevice::WriteOnly));
    ownEnv.write(env.readAll() + "\nDBUS_SESSION_BUS_ADDRESS=unix:path=" + socket.toUtf8() + '\n');
    ownEnv.close();

    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VISTREL_WAYLAND_DIR"), tmp.path());
    program.setProcessEnvironment(environment);
    const QString saveDir = tmp.filePath(QStringLiteral("Screen Save"));
    program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/media_record_helper"),
                  {saveDir, tmp.path(), tmp.filePath(QStringLiteral("home"))});
    QVERIFY(program.waitForFinished(30000));
    const QStringList said = QString::fromUtf8(program.readAllStandardOutput()).split('\n');

    // Record says what to install instead of recording a black screen, and the record page
    // warns the same.
    QVERIFY2(said.size() >= 3 && said[0] == QLatin1String("ENDED"),
             qPrintable(said.join(QLatin1Char('|'))));
    QCOMPARE(said[1], QStringLiteral("Recording a Wayland screen needs the desktop portal: "
                                     "install xdg-desktop-portal and xdg-desktop-portal-gnome."));
    QCOMPARE(said[2], said[1]);
    QVERIFY(testui::filesIn(saveDir).isEmpty());
}

RECTEST_MAIN(TestWaylandRecord)
#include "tst_waylandrecord.moc"
