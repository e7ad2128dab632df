// The Wayland capture on a private headless GNOME desktop (fixtures/wayland-session.sh): a share
// approved in advance, the screen's pictures through PipeWire and a pipe into the real tool, and
// what happens when the tool dies or there is no portal at all.
#include "MediaTestUtil.h"
#include "ScreenCode.h"
#include "media/ToolRun.h"
#include "record/RecordCommand.h"
#include "record/wayland/ScreenCastPortal.h"
#include "record/wayland/WaylandCapture.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace
{

const double kRate = double(kRecordRateNumerator) / kRecordRateDenominator;

double nowSeconds()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

// The painted clock (ms) of every picture of `path`, -1 where it cannot be read.
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

} // namespace

class TestWaylandCapture final : public QObject
{
    Q_OBJECT
public:
    TestWaylandCapture(bool ready, QString why) : m_ready(ready), m_why(std::move(why)) {}

private Q_SLOTS:
    void init();
    void recordsTheLiveScreen();
    void survivesAKilledTool();
    void saysWhatIsMissingWithoutAPortal();

private:
    // A capture prepared with a freshly approved share (never the share dialog, which nobody
    // can answer here).
    bool prepare(WaylandCapture& capture);
    // Starts the tool on the capture's inputs with `audio`, writing `output`; returns the
    // timeline's start (wall-clock seconds), or -1.
    double startTool(WaylandCapture& capture, ToolRun& run, const QStringList& audio,
                     const QString& output);

    bool m_ready;
    QString m_why;
};

void TestWaylandCapture::init()
{
    if (!m_ready)
        QSKIP(qPrintable(m_why));
}

bool TestWaylandCapture::prepare(WaylandCapture& capture)
{
    QProcess approve;
    approve.start(QStringLiteral("sh"),
                  {qEnvironmentVariable("VISTREL_SOURCE_DIR") +
                       QStringLiteral("/tests/media/fixtures/wayland-session.sh"),
                   QStringLiteral("approve"), qEnvironmentVariable("VISTREL_WAYLAND_DIR")});
    approve.waitForFinished(10000);
    const QString token = QString::fromUtf8(approve.readAllStandardOutput()).trimmed();
    if (token.isEmpty()) {
        qWarning() << "no approved share:" << approve.readAllStandardError();
        return false;
    }
    capture.setRestoreToken(token);
    QSignalSpy prepared(&capture, &CaptureSource::prepared);
    QSignalSpy failed(&capture, &CaptureSource::failed);
    capture.prepare();
    if (!prepared.wait(15000)) {
        qWarning() << "not prepared:" << failed;
        return false;
    }
    return failed.isEmpty();
}

double TestWaylandCapture::startTool(WaylandCapture& capture, ToolRun& run,
                                     const QStringList& audio, const QString& output)
{
    run.setProgram(testutil::ffmpegPath());
    const double start = nowSeconds();
    const QStringList args =
        recordArguments(capture.inputArguments(audio, start), int(audio.size()),
                        capture.pictureFilter(), capture.feedsTool(), output);
    capture.beforeStart(run);
    const bool running = run.start(args);
    capture.started(running);
    return running ? start : -1;
}

void TestWaylandCapture::recordsTheLiveScreen()
{
    QTemporaryDir dir;
    WaylandCapture capture;
    QSignalSpy tokens(&capture, &WaylandCapture::restoreTokenChanged);
    QVERIFY(prepare(capture));
    // The portal hands out the token for the next time (the same one or a new one, which the
    // owner is told to store).
    QVERIFY(!capture.restoreToken().isEmpty());
    if (!tokens.isEmpty())
        QCOMPARE(tokens.last().at(0).toString(), capture.restoreToken());
    QCOMPARE(capture.pictureSize(), QSize(1920, 1080));

    ToolRun run;
    const QString output = dir.filePath(QStringLiteral("screen.mp4"));
    const double start = startTool(capture, run, {QStringLiteral("mic")}, output);
    QVERIFY(start > 0);
    QTest::qWait(5000);
    const double stop = nowSeconds();
    QSignalSpy finished(&run, &ToolRun::finished);
    run.quit();
    QVERIFY(finished.wait(10000));
    capture.release();
    QVERIFY2(run.lastResult().ok(), qPrintable(describeToolResult(run.lastResult())));

    QCOMPARE(testutil::probeStreamTypes(output), (QStringList{"video", "audio"}));
    QCOMPARE(testutil::probeStreamEntry(output, QStringLiteral("v:0"), QStringLiteral("width")),
             QStringLiteral("1920"));
    QCOMPARE(testutil::probeStreamEntry(output, QStringLiteral("v:0"), QStringLiteral("height")),
             QStringLiteral("1080"));

    // One picture per period of the run, however few the compositor sent.
    const QVector<qint64> clocks = paintedClocks(output);
    const double seconds = double(clocks.size()) / kRate;
    QVERIFY2(
        qAbs(seconds - (stop - start)) <= 0.5,
        qPrintable(
            QStringLiteral("%1 s of pictures in a run of %2 s").arg(seconds).arg(stop - start)));

    // Live: new pictures every second, and the painted clock keeps pace with the pictures' own
    // times: the newest clock shown stands as far ahead of the picture's time in the second
    // half as in the first (within what a busy machine delays the compositor or the tool). Not
    // in the first seconds: the tool reads no picture while it opens the sound input and the
    // encoder, and the pictures due meanwhile go in late, all alike.
    const int settled = int(2 * kRate);
    const int middle = (settled + int(clocks.size())) / 2;
    QVERIFY(clocks.size() > 2 * settled);
    QSet<qint64> distinct;
    qint64 lead[2] = {std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::min()};
    for (int i = settled; i < clocks.size(); ++i) {
        QVERIFY2(clocks[i] >= 0, qPrintable(QStringLiteral("picture %1 unreadable").arg(i)));
        QVERIFY2(clocks[i] >= clocks[i - 1], qPrintable(QStringLiteral("clock back at %1").arg(i)));
        distinct.insert(clocks[i]);
        qint64& half = lead[i < middle ? 0 : 1];
        half = qMax(half, clocks[i] - qint64(double(i) * 1000.0 / kRate));
    }
    QVERIFY2(qAbs(lead[1] - lead[0]) <= 600,
             qPrintable(QStringLiteral("the screen's clock gained %1 ms on the pictures' times")
                            .arg(lead[1] - lead[0])));
    const double settledSeconds = double(clocks.size() - settled) / kRate;
    QVERIFY2(
        distinct.size() >= 3 * settledSeconds,
        qPrintable(
            QStringLiteral("%1 new pictures in %2 s").arg(distinct.size()).arg(settledSeconds)));
}

void TestWaylandCapture::survivesAKilledTool()
{
    QTemporaryDir dir;
    WaylandCapture capture;
    QVERIFY(prepare(capture));
    ToolRun run;
    QVERIFY(startTool(capture, run, {}, dir.filePath(QStringLiteral("killed.mp4"))) > 0);
    QTRY_VERIFY_WITH_TIMEOUT(capture.picturesWritten() > 10, 10000);

    QSignalSpy finished(&run, &ToolRun::finished);
    ::kill(pid_t(run.processId()), SIGKILL);
    QVERIFY(finished.wait(5000));
    // The writer notices the closed pipe and stops, without a signal that ends this program;
    // the pipe no longer takes pictures.
    QTest::qWait(300);
    const quint64 written = capture.picturesWritten();
    QTest::qWait(300);
    QCOMPARE(capture.picturesWritten(), written);
    QElapsedTimer released;
    released.start();
    capture.release();
    QVERIFY2(released.elapsed() < 1000, qPrintable(QString::number(released.elapsed())));
}

void TestWaylandCapture::saysWhatIsMissingWithoutAPortal()
{
    // A session bus of its own that offers no service at all.
    QTemporaryDir dir;
    const QString socket = dir.filePath(QStringLiteral("bus"));
    QFile config(dir.filePath(QStringLiteral("bus.conf")));
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
    QProcess daemon;
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--config-file=") + config.fileName(), QStringLiteral("--nofork"),
                  QStringLiteral("--nopidfile")});
    QVERIFY(daemon.waitForStarted());
    QTRY_VERIFY(QFile::exists(socket));
    {
        const QDBusConnection bus = QDBusConnection::connectToBus(
            QStringLiteral("unix:path=") + socket, QStringLiteral("no-portal"));
        QVERIFY(bus.isConnected());

        QString problem;
        bool answered = false;
        checkScreenCastPortal(bus, this, [&](const QString& text) {
            problem = text;
            answered = true;
        });
        QTRY_VERIFY(answered);

        WaylandCapture capture(bus);
        QSignalSpy failed(&capture, &CaptureSource::failed);
        capture.prepare();
        QVERIFY(failed.wait(10000));
        // The page's warning and Record's message name the same packages, the desktop's own
        // back end among them.
        QCOMPARE(failed.first().at(0).toString(), problem);
        QVERIFY(!failed.first().at(1).toBool());
        QVERIFY2(problem.contains(QLatin1String("xdg-desktop-portal and "
                                                "xdg-desktop-portal-gnome")),
                 qPrintable(problem));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("no-portal"));
    daemon.kill();
    daemon.waitForFinished();
}

// The desktop's variables from the fixture (VISTREL_WAYLAND_DIR/env) go into this process's
// environment before anything reads them: the session bus, PipeWire's PulseAudio server.
int main(int argc, char** argv)
{
    QString why;
    QFile env(qEnvironmentVariable("VISTREL_WAYLAND_DIR") + QStringLiteral("/env"));
    const bool ready = env.open(QIODevice::ReadOnly);
    if (ready) {
        for (const QByteArray& line : env.readAll().split('\n')) {
            const qsizetype eq = line.indexOf('=');
            if (eq > 0)
                qputenv(line.left(eq).constData(), line.mid(eq + 1).trimmed());
        }
    } else {
        why = QStringLiteral("no Wayland desktop: run through ctest, whose fixture starts it");
    }
    QCoreApplication app(argc, argv);
    TestWaylandCapture test(ready, why);
    return QTest::qExec(&test, argc, argv);
}

#include "tst_waylandcapture.moc"
