// Wayland recording benchmark: the whole 1920x1080 screen of the headless GNOME desktop
// (tests/media/fixtures/wayland-session.sh, started without a window) through the portal,
// PipeWire and the picture pipe, with the moving screen's flashes and beeps and the computer's
// sound. Prints the pictures in the file, lost pictures, the A/V offset, and the CPU of this
// program (PipeWire's thread apart), of the tool and of the compositor.
//
//   bench_wayland --session SESSION_DIR --work DIR [--seconds 20]
#include "BenchUtil.h"
#include "BenchWindow.h"
#include "RecordAnalysis.h"

#include "media/ToolRun.h"
#include "record/RecordCommand.h"
#include "record/wayland/WaylandCapture.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>

#include <cmath>
#include <unistd.h>

using namespace bench;

namespace
{

constexpr double kSteadyFromMs = 3000;
constexpr double kSteadyEndBeforeMs = 1000;

// CPU seconds of the threads of this process named `name`.
double threadCpuSeconds(const QString& name)
{
    double seconds = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks.filePath(task + QStringLiteral("/comm")));
        if (!comm.open(QIODevice::ReadOnly) || comm.readAll().trimmed() != name.toUtf8())
            continue;
        QFile stat(tasks.filePath(task + QStringLiteral("/stat")));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12)
            seconds += (fields[11].toDouble() + fields[12].toDouble()) / sysconf(_SC_CLK_TCK);
    }
    return seconds;
}

qint64 sessionPid(const QString& dir, const QString& comm)
{
    QFile pids(dir + QStringLiteral("/pids"));
    if (!pids.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : pids.readAll().split('\n')) {
        const QList<QByteArray> parts = line.split(' ');
        if (parts.size() == 2 && parts[1] == comm.toUtf8())
            return parts[0].toLongLong();
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const QString sessionDir = option(args, QStringLiteral("--session"));
    const QString work = option(args, QStringLiteral("--work"));
    const double lengthMs =
        option(args, QStringLiteral("--seconds"), QStringLiteral("20")).toDouble() * 1000;
    const QMap<QString, QString> session = readSessionEnv(sessionDir);
    if (work.isEmpty() || session.isEmpty()) {
        note(
            QStringLiteral("usage: bench_wayland --session SESSION_DIR --work DIR [--seconds 20]"));
        return 2;
    }
    for (auto it = session.cbegin(); it != session.cend(); ++it)
        qputenv(it.key().toUtf8().constData(), it.value().toUtf8());
    QCoreApplication app(argc, argv);
    QDir().mkpath(work);
    const QString part = QStringLiteral("Recording on Wayland");

    QProcess screen;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
    screen.setProcessEnvironment(env);
    QStringList flashes;
    for (int at = 3000; at <= lengthMs - 3000; at += 3000)
        flashes << QString::number(at);
    screen.start(QCoreApplication::applicationDirPath() + QStringLiteral("/bench_screen"),
                 {QStringLiteral("--sink"), QStringLiteral("speakers"), QStringLiteral("--flashes"),
                  flashes.join(QLatin1Char(','))});
    if (!waitFor([&] { return screen.readAllStandardOutput().contains("ready"); }, 15000)) {
        note(QStringLiteral("the moving screen did not start"));
        return 1;
    }

    WaylandCapture capture;
    capture.setRestoreToken(session.value(QStringLiteral("RESTORE_TOKEN")));
    bool prepared = false;
    QString failure;
    QObject::connect(&capture, &CaptureSource::prepared, &app, [&] { prepared = true; });
    QObject::connect(&capture, &CaptureSource::failed, &app,
                     [&](const QString& reason) { failure = reason; });
    capture.prepare();
    if (!waitFor([&] { return prepared || !failure.isEmpty(); }, 20000) || !prepared) {
        note(QStringLiteral("no screen share: ") + failure);
        return 1;
    }

    const QString output = work + QStringLiteral("/wayland.mp4");
    QFile::remove(output);
    ToolRun run;
    run.setProgram(toolPath());
    const QStringList audio{QStringLiteral("speakers.monitor")};
    const double start = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    const double startMs = nowMs();
    const QStringList toolArgs =
        recordArguments(capture.inputArguments(audio, start), int(audio.size()),
                        capture.pictureFilter(), capture.feedsTool(), output);
    capture.beforeStart(run);
    capture.started(run.start(toolArgs));
    screen.write("go\n");

    idleFor(startMs + kSteadyFromMs - nowMs());
    const qint64 mutter = sessionPid(sessionDir, QStringLiteral("mutter"));
    const double wall0 = nowMs();
    const double self0 = cpuSeconds(getpid());
    const double thread0 = threadCpuSeconds(QStringLiteral("vistrel-screen"));
    const double tool0 = cpuSeconds(run.processId());
    const double mutter0 = cpuSeconds(mutter);
    idleFor(startMs + lengthMs - kSteadyEndBeforeMs - nowMs());
    const double seconds = (nowMs() - wall0) / 1000;
    const double self = (cpuSeconds(getpid()) - self0) / seconds;
    const double thread = (threadCpuSeconds(QStringLiteral("vistrel-screen")) - thread0) / seconds;
    const double tool = (cpuSeconds(run.processId()) - tool0) / seconds;
    const double compositor = (cpuSeconds(mutter) - mutter0) / seconds;
    idleFor(startMs + lengthMs - nowMs());
    const double stopped = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    // As the program stops: the pictures up to now go in, then the tool ends with them.
    if (capture.finishFeeding())
        waitFor([&] { return !run.isRunning(); }, 5000);
    run.quit();
    waitFor([&] { return !run.isRunning(); }, 30000);
    const quint64 written = capture.picturesWritten();
    const quint64 fresh = capture.picturesFresh();
    capture.release();
    const quint64 received = capture.picturesReceived();
    const double delay = capture.picturesDelayMs();
    screen.write("quit\n");
    screen.waitForFinished(5000);

    const ToolCounters counters = lastProgressCounters(run.tail());
    const RecordingFacts facts = analyseRecording(
        toolPath(), output, double(kRecordRateNumerator) / kRecordRateDenominator, work);
    if (!run.lastResult().ok() || !facts.ok) {
        note(QStringLiteral("recording failed: %1 %2")
                 .arg(describeToolResult(run.lastResult()), facts.problem));
        return 1;
    }
    row(part, QStringLiteral("pictures in the file / run length"),
        QStringLiteral("%1 (%2 s)").arg(facts.frames).arg(facts.videoSeconds, 0, 'f', 2),
        QStringLiteral("%1 s").arg(stopped - start, 0, 'f', 2), {}, {}, {});
    row(part, QStringLiteral("pictures written / new / from the compositor (their delay)"),
        QStringLiteral("%1 / %2 / %3 (%4 ms)")
            .arg(written)
            .arg(fresh)
            .arg(received)
            .arg(delay, 0, 'f', 1),
        {}, {}, {}, {});
    row(part, QStringLiteral("new pictures per second in the file"),
        QStringLiteral("%1 fps").arg(double(facts.frames - facts.repeated) / facts.videoSeconds, 0,
                                     'f', 2),
        {}, {}, {}, {});
    row(part, QStringLiteral("lost pictures in the file / tool's drop counter"),
        QStringLiteral("%1 / %2").arg(facts.lost).arg(counters.drop), {}, {}, QStringLiteral("0"),
        yesNo(facts.lost == 0 && counters.drop == 0));
    QStringList offsets;
    double worst = 0;
    for (const double offset : facts.offsetsMs) {
        offsets << QString::number(qRound(offset));
        worst = std::max(worst, std::fabs(offset));
    }
    row(part, QStringLiteral("A/V offset, sound after picture (each flash, ms)"),
        offsets.isEmpty() ? QStringLiteral("no flash paired") : offsets.join(QStringLiteral(", ")),
        {}, {}, QStringLiteral("|A/V| ≤ 40 ms"), yesNo(!offsets.isEmpty() && worst <= 40));
    row(part, QStringLiteral("CPU: this program (PipeWire's thread) + tool"),
        QStringLiteral("%1 (%2) + %3 = %4 of a core")
            .arg(self, 0, 'f', 3)
            .arg(thread, 0, 'f', 3)
            .arg(tool, 0, 'f', 3)
            .arg(self + tool, 0, 'f', 3),
        {}, {}, QStringLiteral("≤ 0.5"), yesNo(self + tool <= 0.5));
    row(part, QStringLiteral("CPU of the compositor (apart)"),
        QStringLiteral("%1 of a core").arg(compositor, 0, 'f', 3), {}, {}, {}, {});
    return 0;
}
