// The Wayland capture on a private headless GNOME desktop (fixtures/wayland-session.sh), without
// the window (tst_waylandrecord.cpp records through it): a share approved in advance, the screen's
// pictures through PipeWire and a pipe into the real tool, and a tool that dies under it.
#include "MediaTestUtil.h"
#include "media/ToolRun.h"
#include "record/RecordCommand.h"
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

double nowSeconds()
{
    return double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
}

} // namespace

class TestWaylandCapture final : public QObject
{
    Q_OBJECT
public:
    TestWaylandCapture(bool ready, QString why) : m_ready(ready), m_why(std::move(why)) {}

private Q_SLOTS:
    void init();
    void survivesAKilledTool();

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
