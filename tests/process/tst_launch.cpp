// The built executable in both launch modes, run from a private copy; the window it builds.
#include "app/DRUI.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStackedLayout>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

namespace
{

const char kShown[] = "window shown";

// A copy of the executable with its "tool" link, so Out.txt and ScreenRecord.ini land here.
struct AppCopy {
    AppCopy()
    {
        const QString bin = qEnvironmentVariable("VISTREL_BIN_DIR");
        executable = QDir(dir.path()).canonicalPath() + QStringLiteral("/vistrel");
        ok = QDir().mkpath(dir.filePath(QStringLiteral("home"))) &&
             QDir().mkpath(dir.filePath(QStringLiteral("run"))) &&
             QFile::setPermissions(dir.filePath(QStringLiteral("run")),
                                   QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner) &&
             QFile::copy(bin + QStringLiteral("/vistrel"), executable) &&
             QFile::link(QFile::symLinkTarget(bin + QStringLiteral("/tool")),
                         dir.filePath(QStringLiteral("tool")));
    }
    QString path(const QString& name) const { return dir.filePath(name); }

    QTemporaryDir dir;
    QString executable;
    bool ok = false;
};

QProcessEnvironment baseEnvironment(const AppCopy& app)
{
    QProcessEnvironment env;
    env.insert(QStringLiteral("PATH"), QStringLiteral("/usr/bin:/bin"));
    env.insert(QStringLiteral("HOME"), app.path(QStringLiteral("home")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), app.path(QStringLiteral("run")));
    // No sound server: the device listing fails at once instead of reaching the user's.
    env.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/native"));
    return env;
}

bool catchesTerm(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return line.mid(7).trimmed().toULongLong(nullptr, 16) & (1ull << (SIGTERM - 1));
    }
    return false;
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestLaunch : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void applicationRunsAndCleansUp_data();
    void applicationRunsAndCleansUp();
    void launcherRelaunchesElevated_data();
    void launcherRelaunchesElevated();
    void launcherWithoutPkexec();
    void windowFrame();
};

void TestLaunch::applicationRunsAndCleansUp_data()
{
    QTest::addColumn<QString>("before"); // what lies at Out.txt before the start
    QTest::addColumn<int>("signal");
    QTest::newRow("fresh start, logout") << "nothing" << int(SIGTERM);
    QTest::newRow("fresh start, Ctrl+C") << "nothing" << int(SIGINT);
    QTest::newRow("file left by a killed run") << "file" << int(SIGTERM);
    QTest::newRow("Out.txt cannot be opened") << "folder" << int(SIGTERM);
}

void TestLaunch::applicationRunsAndCleansUp()
{
    QFETCH(QString, before);
    QFETCH(int, signal);
    AppCopy app;
    QVERIFY(app.ok);
    const QString out = app.path(QStringLiteral("Out.txt"));
    const QByteArray old(64 * 1024, '#');
    if (before == QLatin1String("file")) {
        QFile file(out);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(old);
    } else if (before == QLatin1String("folder")) {
        QVERIFY(QDir().mkdir(out));
    }

    QProcessEnvironment env = baseEnvironment(app);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    QProcess proc;
    proc.setProcessEnvironment(env);
    proc.setWorkingDirectory(app.dir.path());
    proc.start(app.executable, {QStringLiteral("x")});
    QVERIFY(proc.waitForStarted(10000));
    const qint64 pid = proc.processId();

    QByteArray stderrText;
    if (before == QLatin1String("folder")) {
        QTRY_VERIFY_WITH_TIMEOUT((stderrText += proc.readAllStandardError()).contains(kShown),
                                 30000);
        QVERIFY(stderrText.contains("Out.txt cannot be opened"));
    } else {
        // Standard error, Qt's messages included, goes to the file while the program runs.
        QTRY_VERIFY_WITH_TIMEOUT(readAll(out).contains(kShown), 30000);
        QCOMPARE(QFile::symLinkTarget(QStringLiteral("/proc/%1/fd/2").arg(pid)), out);
        // Not truncated: what the new run has not overwritten is still there.
        if (before == QLatin1String("file"))
            QVERIFY(readAll(out).endsWith(old.right(1024)));
    }
    QVERIFY(catchesTerm(pid));

    ::kill(pid_t(pid), signal);
    QVERIFY(proc.waitForFinished(30000));
    QCOMPARE(proc.exitStatus(), QProcess::NormalExit);
    QCOMPARE(proc.exitCode(), 0);
    if (before == QLatin1String("folder"))
        QVERIFY(QFileInfo(out).isDir());
    else
        QVERIFY(!QFileInfo::exists(out));
}

void TestLaunch::launcherRelaunchesElevated_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("no argument") << QStringList{};
    QTest::newRow("two arguments") << QStringList{"start", "again"};
}

void TestLaunch::launcherRelaunchesElevated()
{
    QFETCH(QStringList, arguments);
    AppCopy app;
    QVERIFY(app.ok);
    QVERIFY(QDir().mkdir(app.path(QStringLiteral("bin"))));
    const QString log = app.path(QStringLiteral("pkexec.log"));
    const QString release = app.path(QStringLiteral("release"));
    // Holds on until the test releases it, so the launcher must not wait for it.
    const QString pkexec = app.path(QStringLiteral("bin/pkexec"));
    QFile script(pkexec);
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n"
                 "i=0\n"
                 "while [ ! -e \"$RELEASE\" ] && [ $i -lt 200 ]; do sleep 0.05; i=$((i+1)); done\n"
                 "for a in \"$@\"; do printf '%s\\0' \"$a\"; done >\"$LOG.part\"\n"
                 "mv \"$LOG.part\" \"$LOG\"\n");
    script.close();
    QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    QProcessEnvironment env = baseEnvironment(app);
    env.insert(QStringLiteral("PATH"),
               app.path(QStringLiteral("bin")) + QStringLiteral(":/usr/bin:/bin"));
    env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":93"));
    env.insert(QStringLiteral("XAUTHORITY"), QStringLiteral("/run/user/1000/xauth"));
    env.insert(QStringLiteral("LOG"), log);
    env.insert(QStringLiteral("RELEASE"), release);
    // Were the launcher to build a window, this platform would abort it.
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
    QProcess proc;
    proc.setProcessEnvironment(env);
    proc.setWorkingDirectory(app.dir.path());
    proc.start(app.executable, arguments);
    QVERIFY(proc.waitForFinished(20000));
    QCOMPARE(proc.exitStatus(), QProcess::NormalExit);
    QCOMPARE(proc.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(log));
    QVERIFY(!QFileInfo::exists(app.path(QStringLiteral("Out.txt"))));

    QFile releaseFile(release);
    QVERIFY(releaseFile.open(QIODevice::WriteOnly));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(log), 20000);
    QByteArrayList words = readAll(log).split('\0');
    words.removeLast();
    QStringList relaunch;
    for (const QByteArray& word : words)
        relaunch.append(QString::fromUtf8(word));
    QCOMPARE(relaunch,
             (QStringList{"env", "DISPLAY=:93", "XAUTHORITY=/run/user/1000/xauth",
                          "PULSE_SERVER=unix:/nonexistent/native", app.executable, "start"}));
}

void TestLaunch::launcherWithoutPkexec()
{
    AppCopy app;
    QVERIFY(app.ok);
    QVERIFY(QDir().mkdir(app.path(QStringLiteral("bin"))));
    QProcessEnvironment env = baseEnvironment(app);
    env.insert(QStringLiteral("PATH"), app.path(QStringLiteral("bin")));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("no-such-platform"));
    QProcess proc;
    proc.setProcessEnvironment(env);
    proc.setWorkingDirectory(app.dir.path());
    proc.start(app.executable, {});
    QVERIFY(proc.waitForFinished(20000));
    QCOMPARE(proc.exitStatus(), QProcess::NormalExit);
    QCOMPARE(proc.exitCode(), 0);
    const QStringList lines =
        QString::fromUtf8(proc.readAllStandardError()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().contains(app.executable + QStringLiteral(" start")),
             qPrintable(lines.first()));
    QVERIFY(proc.readAllStandardOutput().isEmpty());
}

void TestLaunch::windowFrame()
{
    QTemporaryDir dir;
    // Page builders may tell the user something in a box; answer it so the test goes on.
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    answer.start(100);
    DRUI window;
    window.m_strIniPath = dir.filePath(QStringLiteral("ScreenRecord.ini"));
    window.Init();
    window.show();
    QCOMPARE(window.windowTitle(), QStringLiteral("Vistrel"));
    QCOMPARE(window.size(), QSize(1000, 600));
    QCOMPARE(window.minimumSize(), window.maximumSize());
    QCOMPARE(window.m_pStackedLayout->count(), 4);
    QCOMPARE(window.m_pStackedLayout->currentIndex(), 0);
}

int main(int argc, char* argv[])
{
    QTemporaryDir home;
    QTemporaryDir runtime;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_RUNTIME_DIR", runtime.path().toUtf8());
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("PULSE_SERVER", "unix:/nonexistent/native");
    QApplication app(argc, argv);
    TestLaunch test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_launch.moc"
