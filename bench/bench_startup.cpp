// Start-up benchmark: the program started the way a user starts it ("vistrel start", on the X
// display, with the sound server up), from process start to the window shown and to the sound
// choices listed, and its resident memory after start-up; against a bare Qt window.
//
//   bench_startup --av SESSION_DIR --work DIR --app PATH_TO_VISTREL [--runs 5]
#include "BenchUtil.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

using namespace bench;

namespace
{

constexpr double kSettleMs = 1000;

struct Start {
    double shown = -1;  // ms from process start to "window shown"
    double listed = -1; // ms to the sound choices listed (Vistrel only)
    double rss = -1;    // MiB, kSettleMs after both
};

// Starts `program` in a folder of its own and watches its log file (Out.txt in that folder).
Start launch(const QString& program, const QStringList& args, const QString& dir,
             const QMap<QString, QString>& session, bool listsSound)
{
    Start s;
    QProcessEnvironment env = desktopProgramEnvironment(session, dir);
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("vistrel.*=true"));

    const QString log = dir + QStringLiteral("/Out.txt");
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir);
    // Vistrel sends its standard error to Out.txt itself; the reference is sent there.
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(listsSound ? dir + QStringLiteral("/early.txt") : log);
    const double begun = nowMs();
    p.start(program, args);
    if (!p.waitForStarted(10000)) {
        note(QStringLiteral("could not start ") + program);
        return s;
    }
    QByteArray text;
    const double limit = begun + 20000;
    while (nowMs() < limit && (s.shown < 0 || (listsSound && s.listed < 0))) {
        QFile file(log);
        if (file.open(QIODevice::ReadOnly)) {
            file.seek(text.size());
            text += file.readAll();
        }
        if (s.shown < 0 && text.contains("window shown"))
            s.shown = nowMs() - begun;
        if (listsSound && s.listed < 0 && text.contains("sources:"))
            s.listed = nowMs() - begun;
        if (p.state() != QProcess::Running)
            break;
        QThread::usleep(1000);
    }
    QThread::msleep(ulong(kSettleMs));
    s.rss = residentMiB(p.processId());
    p.terminate();
    if (!p.waitForFinished(15000)) {
        note(QStringLiteral("%1 ignored SIGTERM; killing it").arg(program));
        p.kill();
        p.waitForFinished(5000);
    }
    if (s.shown < 0)
        note(QStringLiteral("%1 never showed its window:\n%2")
                 .arg(program, QString::fromUtf8(text.right(3000))));
    return s;
}

// A copy of the program with its "tool" link in a folder of its own, so its settings and log
// stay there.
QString installCopy(const QString& app, const QString& dir)
{
    QDir().mkpath(dir);
    const QString copy = dir + QStringLiteral("/vistrel");
    QFile::remove(copy);
    QFile::remove(dir + QStringLiteral("/tool"));
    if (!QFile::copy(app, copy) || !QFile::link(toolPath(), dir + QStringLiteral("/tool")))
        return {};
    QFile::setPermissions(copy, QFile::permissions(app));
    return copy;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication core(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString work = option(args, QStringLiteral("--work"));
    const QString app = option(args, QStringLiteral("--app"));
    const int runs = option(args, QStringLiteral("--runs"), QStringLiteral("5")).toInt();
    const QMap<QString, QString> session = readSessionEnv(option(args, QStringLiteral("--av")));
    if (work.isEmpty() || app.isEmpty() || session.isEmpty()) {
        note(QStringLiteral("usage: bench_startup --av SESSION_DIR --work DIR --app VISTREL "
                            "[--runs 5]"));
        return 2;
    }
    const QString part = QStringLiteral("Start-up");
    const QString reference =
        QCoreApplication::applicationDirPath() + QStringLiteral("/bench_startref");

    QVector<double> shown, listed, rss, refShown, refRss;
    for (int run = 0; run <= runs; ++run) {
        const QString dir = work + QStringLiteral("/start%1").arg(run);
        QDir(dir).removeRecursively();
        const QString copy = installCopy(app, dir + QStringLiteral("/app"));
        if (copy.isEmpty()) {
            row(part, QStringLiteral("installing a copy of the program"), QStringLiteral("failed"),
                {}, {}, {}, yesNo(false));
            return 1;
        }
        const Start v =
            launch(copy, {QStringLiteral("start")}, dir + QStringLiteral("/app"), session, true);
        const Start r = launch(reference, {}, dir + QStringLiteral("/ref"), session, false);
        // The first start of each warms the disk cache and the font cache; not counted.
        if (run == 0)
            continue;
        shown << v.shown;
        listed << v.listed;
        rss << v.rss;
        refShown << r.shown;
        refRss << r.rss;
        note(QStringLiteral("start %1: shown %2 ms, listed %3 ms, %4 MiB; reference %5 ms, %6 MiB")
                 .arg(run)
                 .arg(v.shown)
                 .arg(v.listed)
                 .arg(v.rss)
                 .arg(r.shown)
                 .arg(r.rss));
    }
    const auto failed = [](const QVector<double>& v) { return v.contains(-1.0); };
    const double s = failed(shown) ? -1 : median(shown);
    const double l = failed(listed) ? -1 : median(listed);
    const double m = failed(rss) ? -1 : median(rss);
    const double rs = failed(refShown) ? -1 : median(refShown);
    const double rm = failed(refRss) ? -1 : median(refRss);
    row(part, QStringLiteral("process start → window shown vs a bare Qt window"), ms(s), ms(rs),
        ratioText(s / rs), QStringLiteral("≤ 500 ms"), yesNo(s >= 0 && s <= 500));
    row(part, QStringLiteral("process start → sound choices listed"), ms(l), {}, {}, {}, {});
    row(part, QStringLiteral("resident memory after start-up vs a bare Qt window"),
        QStringLiteral("%1 MiB").arg(m, 0, 'f', 1), QStringLiteral("%1 MiB").arg(rm, 0, 'f', 1),
        ratioText(m / rm), QStringLiteral("≤ 80 MB"), yesNo(m > 0 && m <= 80));
    return 0;
}
