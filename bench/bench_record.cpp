// Recording benchmark: the whole 1920x1080 screen with moving content, flashes and beeps,
// recorded through the window's own slots and, in the same run, by a peer recorder (Debian's
// simplescreenrecorder) at the same settings from the same sound source; pairs in alternating
// order, medians of the pairs. Then one long recording by Vistrel for the A/V offset over time.
//
//   bench_record --av SESSION_DIR --work DIR [--seconds 10] [--pairs 3] [--long 60]
#include "BenchUtil.h"
#include "BenchWindow.h"
#include "PeerRecorder.h"
#include "RecordAnalysis.h"

#include "app/DRUI.h"
#include "media/ToolRun.h"
#include "record/RecordCommand.h"
#include "record/RecordingSession.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>

#include <cmath>
#include <functional>
#include <unistd.h>

using namespace bench;

namespace
{

constexpr double kVistrelRate = double(kRecordRateNumerator) / kRecordRateDenominator;
constexpr double kPeerRate = 30;
// CPU is measured from this long after the start command to this long before the stop.
constexpr double kSteadyFromMs = 3000;
constexpr double kSteadyEndBeforeMs = 1000;
// Flashes (with their beeps) from this long after the start command, one every kFlashEveryMs,
// the last at least kFlashesEndBeforeMs before the stop.
constexpr int kFirstFlashMs = 2500;
constexpr int kFlashEveryMs = 2000;
constexpr int kFlashesEndBeforeMs = 1500;

qint64 epochMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// The moving screen, a separate program on the X display. Its painted clock runs from `epoch`.
class Screen final
{
public:
    bool start(const QMap<QString, QString>& session, const QString& home, double longestMs)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), session.value(QStringLiteral("DISPLAY")));
        env.insert(QStringLiteral("PULSE_SERVER"), session.value(QStringLiteral("PULSE_SERVER")));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("HOME"), home);
        m_process.setProcessEnvironment(env);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QStringList flashes;
        for (int at = kFirstFlashMs; at <= longestMs - kFlashesEndBeforeMs; at += kFlashEveryMs)
            flashes << QString::number(at);
        m_process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/bench_screen"),
                        {QStringLiteral("--sink"), QStringLiteral("speakers"),
                         QStringLiteral("--flashes"), flashes.join(QLatin1Char(','))});
        if (!waitFor([this] { return readLines().contains(QStringLiteral("ready")); }, 15000))
            return false;
        for (const QString& line : std::as_const(m_seen)) {
            if (line.startsWith(QLatin1String("epoch ")))
                m_epoch = line.mid(6).toLongLong();
        }
        return m_epoch > 0;
    }
    // Starts the flash schedule (its times are from now); flashes past the stop just do not show.
    void go() { m_process.write("go\n"); }
    // Wall-clock ms since the epoch of the painted clock's `clockMs`.
    qint64 wallOf(qint64 clockMs) const { return m_epoch + clockMs; }
    // What the screen said since the last call.
    QStringList said()
    {
        const QStringList lines = readLines();
        m_seen.clear();
        return lines;
    }
    void stop()
    {
        m_process.write("quit\n");
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(2000);
    }

private:
    QStringList readLines()
    {
        m_seen += QString::fromUtf8(m_process.readAllStandardOutput()).split(QLatin1Char('\n'));
        return m_seen;
    }
    QProcess m_process;
    QStringList m_seen;
    qint64 m_epoch = 0;
};

// CPU of some processes over a stretch of wall-clock time.
class CpuMeter final
{
public:
    void begin(const QList<qint64>& pids)
    {
        m_pids = pids;
        m_start.clear();
        for (const qint64 pid : pids)
            m_start << cpuSeconds(pid);
        m_wall = nowMs();
    }
    // Cores used by each process since begin(); -1 for one that could not be read.
    QVector<double> end() const
    {
        QVector<double> cores;
        const double seconds = (nowMs() - m_wall) / 1000;
        for (qsizetype i = 0; i < m_pids.size(); ++i) {
            const double now = cpuSeconds(m_pids.at(i));
            cores << (now < 0 || m_start.at(i) < 0 || seconds <= 0
                          ? -1
                          : (now - m_start.at(i)) / seconds);
        }
        return cores;
    }

private:
    QList<qint64> m_pids;
    QVector<double> m_start;
    double m_wall = 0;
};

struct Run {
    bool ok = false;
    QString file;
    double cores = -1;     // every process of the recorder over the steady stretch
    double selfCores = -1; // Vistrel: the program without the tool
    qint64 startAt = 0;    // wall-clock ms of the start command
    qint64 liveAt = 0;     // Vistrel: when the page reported the first picture
    qint64 stopAt = 0;     // wall-clock ms of the stop command
    ToolCounters counters; // Vistrel: the tool's own counters
    RecordingFacts facts;
    // From the file: start command to the first picture, and the screen's last moments before
    // the stop command that the file lacks (ms).
    double toFirstMs = -1;
    double missingAtEndMs = -1;
    double firstAfterLiveMs = 0; // Vistrel: the first picture after the page reported it (ms)
    double meanAvMs = 0;
    double worstAvMs = 0;
    bool avPaired = false;
    // How long after its beep began the screen's flash reached the X server (mean, ms): the
    // screen's own lag, taken off each offset so that the offsets are the recorder's.
    double screenLagMs = 0;
};

// The screen's lag over the flashes it reported since the last call (0 when none).
double screenLagOf(const QStringList& said)
{
    static const QRegularExpression flash(
        QStringLiteral("^flash \\d+ .*beep at (\\d+), painted at \\d+, visible at (\\d+)"));
    double sum = 0;
    int count = 0;
    for (const QString& line : said) {
        const QRegularExpressionMatch m = flash.match(line);
        if (m.hasMatch()) {
            sum += m.captured(2).toDouble() - m.captured(1).toDouble();
            ++count;
        }
    }
    return count ? sum / count : 0;
}

// Reads the recording back and relates its pictures to the screen's clock and the commands.
void analyse(Run& run, double rate, const Screen& screen, const QString& scratch)
{
    if (!run.ok)
        return;
    run.facts = analyseRecording(toolPath(), run.file, rate, scratch);
    if (!run.facts.ok || run.facts.firstClockMs < 0) {
        run.ok = false;
        note(QStringLiteral("%1 could not be read: %2").arg(run.file, run.facts.problem));
        return;
    }
    run.toFirstMs = double(screen.wallOf(run.facts.firstClockMs) - run.startAt);
    run.missingAtEndMs = double(run.stopAt - screen.wallOf(run.facts.lastClockMs));
    if (run.liveAt > 0)
        run.firstAfterLiveMs = double(screen.wallOf(run.facts.firstClockMs) - run.liveAt);
    double sum = 0;
    for (double& offset : run.facts.offsetsMs) {
        offset += run.screenLagMs;
        sum += offset;
        run.worstAvMs = std::max(run.worstAvMs, std::fabs(offset));
    }
    run.avPaired = !run.facts.offsetsMs.isEmpty() &&
                   run.facts.offsetsMs.size() == run.facts.videoFlashes.size();
    run.meanAvMs = run.facts.offsetsMs.isEmpty() ? 0 : sum / double(run.facts.offsetsMs.size());
    note(QStringLiteral("%1: %2 frames, %3 s, %4 repeated, %5 lost; first picture %6 ms after the "
                        "start command, %7 ms missing before the stop; A/V %8 ms mean, %9 worst "
                        "(the screen's lag of %10 ms taken off)")
             .arg(QFileInfo(run.file).fileName())
             .arg(run.facts.frames)
             .arg(run.facts.videoSeconds, 0, 'f', 3)
             .arg(run.facts.repeated)
             .arg(run.facts.lost)
             .arg(run.toFirstMs)
             .arg(run.missingAtEndMs)
             .arg(run.meanAvMs, 0, 'f', 1)
             .arg(run.worstAvMs, 0, 'f', 1)
             .arg(run.screenLagMs, 0, 'f', 1));
}

Run recordWithVistrel(const QString& work, double lengthMs, Screen& screen)
{
    Run run;
    const std::unique_ptr<DRUI> owner = makeWindow(work, work + QStringLiteral("/recordings"));
    DRUI& window = *owner;
    const RecordingSession* session = window.findChild<RecordingSession*>();
    window.btnSlot();
    // Wait for the sound choices, in case they are listed after the page is built.
    waitFor([&] { return DRUI::m_pAudioComBox && DRUI::m_pAudioComBox->count() > 1; }, 10000);
    const int sys = DRUI::m_pAudioComBox->findText(QStringLiteral("Computer sounds"));
    if (sys < 0) {
        note(QStringLiteral("no \"Computer sounds\" choice: the sound server was not listed"));
        return run;
    }
    DRUI::m_pAudioComBox->setCurrentIndex(sys);

    const double click = nowMs();
    run.startAt = epochMs();
    screen.go();
    window.btnSlotRecord();
    CpuMeter cpu;
    bool measuring = false;
    const auto live = [&] {
        if (!run.liveAt && session->state() == RecordingSession::State::Live)
            run.liveAt = epochMs();
        if (!measuring && nowMs() >= click + kSteadyFromMs &&
            window.m_pRecordProcess->isRunning()) {
            measuring = true;
            cpu.begin({qint64(getpid()), window.m_pRecordProcess->processId()});
        }
        return nowMs() >= click + lengthMs - kSteadyEndBeforeMs;
    };
    waitFor(live, lengthMs);
    const QVector<double> cores = measuring ? cpu.end() : QVector<double>{-1, -1};
    idleFor(click + lengthMs - nowMs());
    run.stopAt = epochMs();
    window.btnSlotRecord();
    if (!waitFor([&] { return !session->isBusy(); }, 60000)) {
        note(QStringLiteral("the recording did not finish"));
        return run;
    }
    if (!run.liveAt)
        note(QStringLiteral("the recording never reported a picture"));
    run.selfCores = cores.at(0);
    run.cores = cores.at(0) < 0 || cores.at(1) < 0 ? -1 : cores.at(0) + cores.at(1);
    run.counters = lastProgressCounters(window.m_pRecordProcess->tail());
    run.file = window.m_strRecordFile;
    run.ok = run.liveAt > 0 && QFile::exists(run.file);
    return run;
}

Run recordWithPeer(const QString& work, const QMap<QString, QString>& session, int serial,
                   double lengthMs, Screen& screen)
{
    Run run;
    PeerRecorder peer(work + QStringLiteral("/peer"), session, QStringLiteral("speakers.monitor"));
    const QString output = work + QStringLiteral("/peer-%1.mp4").arg(serial);
    if (!peer.launch(output)) {
        note(QStringLiteral("the peer did not start: ") + peer.log().right(3000));
        return run;
    }
    const double click = nowMs();
    run.startAt = epochMs();
    screen.go();
    peer.record();
    idleFor(click + kSteadyFromMs - nowMs());
    CpuMeter cpu;
    cpu.begin({peer.processId()});
    idleFor(click + lengthMs - kSteadyEndBeforeMs - nowMs());
    run.cores = cpu.end().at(0);
    idleFor(click + lengthMs - nowMs());
    run.stopAt = epochMs();
    const bool ended = peer.saveAndQuit();
    if (!ended)
        note(QStringLiteral("the peer did not end cleanly: ") + peer.log().right(3000));
    run.file = output;
    run.ok = ended && QFileInfo(output).size() > 0;
    return run;
}

QString cores(double c)
{
    return c < 0 ? QStringLiteral("failed") : QStringLiteral("%1 cores").arg(c, 0, 'f', 3);
}

QString avText(const Run& r)
{
    if (!r.ok)
        return QStringLiteral("failed");
    if (!r.avPaired)
        return QStringLiteral("%1 flashes, %2 paired")
            .arg(r.facts.videoFlashes.size())
            .arg(r.facts.offsetsMs.size());
    return QStringLiteral("%1 (%2)").arg(qRound(r.meanAvMs)).arg(qRound(r.worstAvMs));
}

// "a / b / c" of one figure over the runs.
QString each(const QVector<Run>& runs, const std::function<QString(const Run&)>& text)
{
    QStringList parts;
    for (const Run& r : runs)
        parts << (r.ok ? text(r) : QStringLiteral("failed"));
    return parts.join(QStringLiteral(" / "));
}

double medianOf(const QVector<Run>& runs, const std::function<double(const Run&)>& value)
{
    QVector<double> values;
    for (const Run& r : runs) {
        if (!r.ok)
            return -1;
        values << value(r);
    }
    return values.isEmpty() ? -1 : median(values);
}

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const QString avDir = option(args, QStringLiteral("--av"));
    const QString work = option(args, QStringLiteral("--work"));
    const double lengthMs =
        option(args, QStringLiteral("--seconds"), QStringLiteral("10")).toDouble() * 1000;
    const int pairs = option(args, QStringLiteral("--pairs"), QStringLiteral("3")).toInt();
    const double longMs =
        option(args, QStringLiteral("--long"), QStringLiteral("60")).toDouble() * 1000;
    const QString analyseOnly = option(args, QStringLiteral("--analyse"));
    if (!analyseOnly.isEmpty()) {
        // Reads a recording back without recording (for looking into a result).
        QCoreApplication core(argc, argv);
        const RecordingFacts facts =
            analyseRecording(toolPath(), analyseOnly, kVistrelRate, QDir::tempPath());
        return facts.ok ? 0 : 1;
    }
    const QMap<QString, QString> session = readSessionEnv(avDir);
    if (work.isEmpty() || session.isEmpty() ||
        !prepareWindowEnvironment(work, session.value(QStringLiteral("SCREEN_SIZE")))) {
        note(QStringLiteral("usage: bench_record --av SESSION_DIR --work DIR [--seconds 10] "
                            "[--pairs 3] [--long 60]"));
        return 2;
    }
    // The window itself is offscreen (it hides while recording anyway), on a screen of the X
    // screen's size, which is what the recording captures; the tool records the X display.
    for (const QString& key : {QStringLiteral("DISPLAY"), QStringLiteral("PULSE_SERVER")})
        qputenv(key.toUtf8().constData(), session.value(key).toUtf8());
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    answerBoxes(&app, 100);
    const QString part = QStringLiteral("Recording");
    if (!PeerRecorder::available()) {
        row(part, QStringLiteral("the peer recorder (simplescreenrecorder)"),
            QStringLiteral("not installed"), {}, {}, {}, yesNo(false));
        return 1;
    }

    Screen screen;
    if (!screen.start(session, work + QStringLiteral("/home"), std::max(lengthMs, longMs))) {
        note(QStringLiteral("the moving screen did not start"));
        return 1;
    }
    // A freshly started sound server settles its latencies with its first capture stream: a
    // short capture first, so that no measured recording is that first one.
    timedRun(toolPath(),
             {QStringLiteral("-hide_banner"), QStringLiteral("-f"), QStringLiteral("pulse"),
              QStringLiteral("-i"), QStringLiteral("speakers.monitor"), QStringLiteral("-t"),
              QStringLiteral("3"), QStringLiteral("-f"), QStringLiteral("null"),
              QStringLiteral("-")});

    QVector<Run> ours, theirs;
    for (int pair = 0; pair < pairs; ++pair) {
        // Alternate the order, so that neither always runs on a warmer (or busier) machine.
        for (int side = 0; side < 2; ++side) {
            const bool vistrel = (side == 0) == (pair % 2 == 0);
            Run run = vistrel ? recordWithVistrel(work, lengthMs, screen)
                              : recordWithPeer(work, session, pair, lengthMs, screen);
            const QStringList said = screen.said();
            note(QStringLiteral("screen: ") + said.join(QStringLiteral("; ")));
            run.screenLagMs = screenLagOf(said);
            analyse(run, vistrel ? kVistrelRate : kPeerRate, screen, work);
            (vistrel ? ours : theirs) << run;
        }
    }
    Run longRun;
    if (longMs > 0) {
        longRun = recordWithVistrel(work, longMs, screen);
        longRun.screenLagMs = screenLagOf(screen.said());
        analyse(longRun, kVistrelRate, screen, work);
    }
    screen.stop();

    const QString runs = QStringLiteral("%1 pairs of %2 s, alternating order; each run: ")
                             .arg(pairs)
                             .arg(lengthMs / 1000);
    const auto fps = [](const Run& r) {
        return double(r.facts.frames - r.facts.repeated) / r.facts.videoSeconds;
    };
    const double ourFps = medianOf(ours, fps);
    const double theirFps = medianOf(theirs, fps);
    row(part,
        QStringLiteral("new pictures per second in the file (%1)")
            .arg(runs + QStringLiteral("Vistrel / peer")),
        QStringLiteral("%1 fps (%2)")
            .arg(ourFps, 0, 'f', 2)
            .arg(each(ours, [&](const Run& r) { return QString::number(fps(r), 'f', 2); })),
        QStringLiteral("%1 fps (%2)")
            .arg(theirFps, 0, 'f', 2)
            .arg(each(theirs, [&](const Run& r) { return QString::number(fps(r), 'f', 2); })),
        {}, QStringLiteral("≥ 29.9 fps"), yesNo(ourFps >= 29.9));

    const auto lost = [](const Run& r) { return double(r.facts.lost); };
    const double ourLost = medianOf(ours, lost);
    const double theirLost = medianOf(theirs, lost);
    row(part, QStringLiteral("lost pictures in the file, median (each)"),
        QStringLiteral("%1 (%2)").arg(ourLost).arg(
            each(ours, [](const Run& r) { return QString::number(r.facts.lost); })),
        QStringLiteral("%1 (%2)").arg(theirLost).arg(
            each(theirs, [](const Run& r) { return QString::number(r.facts.lost); })),
        {}, QStringLiteral("≤ the peer's"),
        yesNo(ourLost >= 0 && theirLost >= 0 && ourLost <= theirLost));
    row(part, QStringLiteral("repeated pictures in the file (each; also a stalled moving screen)"),
        each(ours, [](const Run& r) { return QString::number(r.facts.repeated); }),
        each(theirs, [](const Run& r) { return QString::number(r.facts.repeated); }), {}, {}, {});

    const auto absMean = [](const Run& r) { return std::fabs(r.meanAvMs); };
    const double ourAv = medianOf(ours, absMean);
    const double theirAv = medianOf(theirs, absMean);
    bool avMet = ourAv >= 0 && theirAv >= 0 && ourAv <= 15 && ourAv < theirAv;
    for (const Run& r : std::as_const(ours))
        avMet = avMet && r.avPaired && r.worstAvMs <= 40;
    QVector<double> lags;
    for (const Run& r : ours + theirs)
        lags << r.screenLagMs;
    row(part,
        QStringLiteral("A/V offset at the flashes, sound after picture, less the screen's own lag "
                       "(its flash reached the X server %1 ms after its beep began, median): mean "
                       "(worst) per run, ms")
            .arg(median(lags), 0, 'f', 1),
        each(ours, avText), each(theirs, avText), {},
        QStringLiteral("|mean| ≤ 15, each ≤ 40, |mean| < the peer's"), yesNo(avMet));
    if (longMs > 0) {
        QString drift = QStringLiteral("failed");
        bool longMet = false;
        if (longRun.ok && longRun.avPaired) {
            const QVector<double>& o = longRun.facts.offsetsMs;
            const qsizetype third = o.size() / 3;
            double early = 0, late = 0;
            for (qsizetype i = 0; i < third; ++i) {
                early += o.at(i) / double(third);
                late += o.at(o.size() - 1 - i) / double(third);
            }
            drift = QStringLiteral("%1 (%2); first third %3, last third %4")
                        .arg(qRound(longRun.meanAvMs))
                        .arg(qRound(longRun.worstAvMs))
                        .arg(qRound(early))
                        .arg(qRound(late));
            longMet = std::fabs(longRun.meanAvMs) <= 15 && longRun.worstAvMs <= 40;
        }
        row(part,
            QStringLiteral("A/V offset over a %1 s recording: mean (worst), ms").arg(longMs / 1000),
            drift, {}, {}, QStringLiteral("|mean| ≤ 15, each ≤ 40"), yesNo(longMet));
    }

    QVector<double> ratios;
    for (qsizetype i = 0; i < ours.size() && i < theirs.size(); ++i) {
        if (ours.at(i).cores > 0 && theirs.at(i).cores > 0)
            ratios << ours.at(i).cores / theirs.at(i).cores;
    }
    const double ratio = ratios.size() == pairs ? median(ratios) : -1;
    const auto coresOf = [](const Run& r) { return r.cores; };
    row(part,
        QStringLiteral("whole recording CPU, every process of the recorder (%1 s to %2 s after "
                       "the start; ratio: median of the pairs)")
            .arg(kSteadyFromMs / 1000)
            .arg((lengthMs - kSteadyEndBeforeMs) / 1000),
        cores(medianOf(ours, coresOf)), cores(medianOf(theirs, coresOf)), ratioText(ratio),
        QStringLiteral("≤ 0.8×"), yesNo(ratio > 0 && ratio <= 0.8));
    const double self = medianOf(ours, [](const Run& r) { return r.selfCores; });
    row(part, QStringLiteral("Vistrel's own CPU while recording (without the tool)"),
        QStringLiteral("%1 % of a core").arg(self * 100, 0, 'f', 2), {}, {},
        QStringLiteral("≤ 2 %"), yesNo(self >= 0 && self <= 0.02));

    const auto toFirst = [](const Run& r) { return r.toFirstMs; };
    row(part, QStringLiteral("start command to the first picture in the file, median (each)"),
        QStringLiteral("%1 (%2)").arg(
            ms(medianOf(ours, toFirst)),
            each(ours, [](const Run& r) { return QString::number(qRound(r.toFirstMs)); })),
        QStringLiteral("%1 (%2)").arg(
            ms(medianOf(theirs, toFirst)),
            each(theirs, [](const Run& r) { return QString::number(qRound(r.toFirstMs)); })),
        ratioText(medianOf(ours, toFirst) / medianOf(theirs, toFirst)), {}, {});
    QVector<Run> all = ours;
    if (longRun.ok)
        all << longRun;
    bool coverMet = true;
    for (const Run& r : std::as_const(all))
        coverMet = coverMet && r.ok && r.missingAtEndMs <= 300 && r.firstAfterLiveMs <= 300;
    row(part,
        QStringLiteral("what the file lacks of the screen from the page's first picture to the "
                       "stop command: at the start / at the end, ms (each; Vistrel's last is the "
                       "long recording)"),
        each(all,
             [](const Run& r) {
                 return QStringLiteral("%1/%2")
                     .arg(qRound(std::max(0.0, r.firstAfterLiveMs)))
                     .arg(qRound(r.missingAtEndMs));
             }),
        each(theirs, [](const Run& r) { return QString::number(qRound(r.missingAtEndMs)); }), {},
        QStringLiteral("≤ 300"), yesNo(coverMet));
    return 0;
}
