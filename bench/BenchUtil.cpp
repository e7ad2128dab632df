// Shared parts of the benchmark programs.
#include "BenchUtil.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace bench
{

namespace
{

QElapsedTimer& clock()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer;
}

} // namespace

double nowMs()
{
    return double(clock().nsecsElapsed()) / 1e6;
}

double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // The command name is in parentheses and may hold blanks; the fields follow the last ')'.
    const qsizetype close = text.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = text.mid(close + 2).split(' ');
    // Fields 14 and 15 of the whole line (utime, stime) are 11 and 12 after the name.
    if (fields.size() < 13)
        return -1;
    const double ticks = fields.at(11).toDouble() + fields.at(12).toDouble();
    return ticks / double(sysconf(_SC_CLK_TCK));
}

double residentMiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

double median(QVector<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double timedRun(const QString& program, const QStringList& args, const QString& workDir,
                bool mustSucceed)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (!workDir.isEmpty())
        p.setWorkingDirectory(workDir);
    const double start = nowMs();
    p.start(program, args);
    p.waitForFinished(-1);
    const double took = nowMs() - start;
    const QByteArray out = p.readAll();
    if (p.exitStatus() != QProcess::NormalExit || (mustSucceed && p.exitCode() != 0)) {
        note(QStringLiteral("FAILED: %1 %2\n%3")
                 .arg(program, args.join(QLatin1Char(' ')), QString::fromUtf8(out.right(2000))));
        return -1;
    }
    return took;
}

QByteArray captureRun(const QString& program, const QStringList& args, bool* ok, bool mergeErrors)
{
    QProcess p;
    if (mergeErrors)
        p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    p.waitForFinished(-1);
    const bool good = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!good)
        note(QStringLiteral("FAILED: %1 %2\n%3")
                 .arg(program, args.join(QLatin1Char(' ')),
                      QString::fromUtf8(p.readAllStandardError().right(2000))));
    if (ok)
        *ok = good;
    return p.readAllStandardOutput();
}

void flushWrites()
{
    ::sync();
}

QString toolPath()
{
    const QString beside = QCoreApplication::applicationDirPath() + QStringLiteral("/tool");
    if (QFileInfo::exists(beside))
        return QFileInfo(beside).canonicalFilePath();
    return QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
}

QMap<QString, QString> readSessionEnv(const QString& dir)
{
    QMap<QString, QString> env;
    QFile file(dir + QStringLiteral("/env"));
    if (!file.open(QIODevice::ReadOnly))
        return env;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            env.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
    }
    return env;
}

QProcessEnvironment desktopProgramEnvironment(const QMap<QString, QString>& session,
                                              const QString& dir)
{
    const QString home = dir + QStringLiteral("/home");
    const QString runtime = dir + QStringLiteral("/runtime");
    QDir().mkpath(home);
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), session.value(QStringLiteral("DISPLAY")));
    env.insert(QStringLiteral("PULSE_SERVER"), session.value(QStringLiteral("PULSE_SERVER")));
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    // On the X display, not offscreen: the programs show a window and grab the screen there.
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    return env;
}

void row(const QString& part, const QString& figure, const QString& value, const QString& reference,
         const QString& ratio, const QString& target, const QString& met)
{
    const QStringList cells{part, figure, value, reference, ratio, target, met};
    QString line = QStringLiteral("ROW");
    for (const QString& cell : cells)
        line += QLatin1Char('\t') + (cell.isEmpty() ? QStringLiteral("–") : cell);
    std::fprintf(stdout, "%s\n", line.toUtf8().constData());
    std::fflush(stdout);
    note(line);
}

QString ms(double milliseconds)
{
    if (milliseconds < 0)
        return QStringLiteral("failed");
    if (milliseconds >= 10000)
        return QStringLiteral("%1 s").arg(milliseconds / 1000, 0, 'f', 1);
    if (milliseconds >= 1000)
        return QStringLiteral("%1 s").arg(milliseconds / 1000, 0, 'f', 2);
    return QStringLiteral("%1 ms").arg(qRound(milliseconds));
}

QString ratioText(double ratio)
{
    if (ratio < 0 || !std::isfinite(ratio))
        return QStringLiteral("failed");
    return QStringLiteral("%1×").arg(ratio, 0, 'f', ratio < 10 ? 3 : 1);
}

QString yesNo(bool met)
{
    return met ? QStringLiteral("yes") : QStringLiteral("**no**");
}

void note(const QString& text)
{
    std::fprintf(stderr, "[%9.1f ms] %s\n", nowMs(), text.toUtf8().constData());
    std::fflush(stderr);
}

QString option(const QStringList& args, const QString& name, const QString& fallback)
{
    const qsizetype at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args.at(at + 1) : fallback;
}

} // namespace bench
