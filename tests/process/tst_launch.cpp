// The built executable in both launch modes, run from a private copy.
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <unistd.h>

namespace
{

const char kShown[] = "window shown";

// A copy of the executable with its "tool" link, a private home (settings, state) and runtime
// folder (the instance lock).
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

QProcessEnvironment appEnvironment(const AppCopy& app)
{
    QProcessEnvironment env;
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
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

// The process that wrote "window shown, pid N" into the log at `out`.
qint64 shownPid(const QString& out)
{
    static const QRegularExpression shown(QStringLiteral("window shown, pid (\\d+)"));
    return shown.match(QString::fromUtf8(readAll(out))).captured(1).toLongLong();
}

// Asks a process that is not the test's child to end (SIGTERM) and waits until it has.
bool endProcess(qint64 pid)
{
    ::kill(pid_t(pid), SIGTERM);
    const QString stat = QStringLiteral("/proc/%1/stat").arg(pid);
    const QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        const QByteArray text = readAll(stat);
        const int close = text.lastIndexOf(')');
        // Gone, or a zombie nobody has reaped yet.
        if (close < 0 || text.mid(close + 2, 1) == "Z")
            return true;
        QTest::qWait(50);
    }
    return false;
}

} // namespace

class TestLaunch : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void applicationRunsAndCleansUp_data();
    void applicationRunsAndCleansUp();
    void launcherRelaunchesAsTheUser();
    void launcherTellsWhyItCannotStart_data();
    void launcherTellsWhyItCannotStart();
    void secondStartShowsTheFirst_data();
    void secondStartShowsTheFirst();
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

    QProcess proc;
    proc.setProcessEnvironment(appEnvironment(app));
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
        // A killed run's log is kept beside, whole, not written over.
        if (before == QLatin1String("file")) {
            QCOMPARE(readAll(app.path(QStringLiteral("Out.previous.txt"))), old);
            QVERIFY(!readAll(out).contains(old.left(16)));
        }
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

void TestLaunch::launcherRelaunchesAsTheUser()
{
    // Where the state folder lies without XDG_STATE_HOME is checked by the install check.
    AppCopy app;
    QVERIFY(app.ok);
    QProcessEnvironment env = appEnvironment(app);
    env.insert(QStringLiteral("XDG_STATE_HOME"), app.path(QStringLiteral("my state")));
    env.insert(QStringLiteral("VISTREL_TEST_MARK"), QStringLiteral("kept"));
    QProcess launcher;
    launcher.setProcessEnvironment(env);
    launcher.setWorkingDirectory(app.dir.path());
    launcher.start(app.executable, {QStringLiteral("start"), QStringLiteral("again")});
    QVERIFY(launcher.waitForFinished(20000));
    QCOMPARE(launcher.exitStatus(), QProcess::NormalExit);
    QCOMPARE(launcher.exitCode(), 0);

    // The relaunched copy works in the state folder, made for the user alone.
    const QString state = app.path(QStringLiteral("my state/vistrel"));
    const QString out = state + QStringLiteral("/Out.txt");
    QTRY_VERIFY_WITH_TIMEOUT(readAll(out).contains(kShown), 30000);
    QCOMPARE(QFile::permissions(state) & 0x0077, QFile::Permissions());
    const qint64 pid = shownPid(out);
    QVERIFY(pid > 0);
    // Not the test's child: ended here even when a check below fails.
    auto ending = qScopeGuard([pid] { endProcess(pid); });
    const QString proc = QStringLiteral("/proc/%1/").arg(pid);
    QCOMPARE(QFile::symLinkTarget(proc + QStringLiteral("cwd")), state);
    QCOMPARE(readAll(proc + QStringLiteral("cmdline")),
             app.executable.toUtf8() + QByteArray("\0start\0", 7));
    const QByteArray environment = '\0' + readAll(proc + QStringLiteral("environ"));
    QVERIFY(environment.contains(QByteArray("\0VISTREL_TEST_MARK=kept\0", 24)));
    QCOMPARE(QFileInfo(proc).ownerId(), ::getuid());
    QVERIFY(!QFileInfo::exists(app.path(QStringLiteral("Out.txt"))));

    ending.dismiss();
    QVERIFY(endProcess(pid));
    QVERIFY(!QFileInfo::exists(out));
}

void TestLaunch::launcherTellsWhyItCannotStart_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("problem");
    QTest::newRow("state folder is a file") << QStringList() << "state";
    QTest::newRow("no display, launcher") << QStringList() << "display";
    QTest::newRow("no display, application") << QStringList{QStringLiteral("start")} << "display";
    QTest::newRow("X display gone, launcher") << QStringList() << "gone";
    QTest::newRow("X display gone, application") << QStringList{QStringLiteral("start")} << "gone";
}

void TestLaunch::launcherTellsWhyItCannotStart()
{
    QFETCH(QStringList, args);
    QFETCH(QString, problem);
    AppCopy app;
    QVERIFY(app.ok);
    QFile blocker(app.path(QStringLiteral("state")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    QProcessEnvironment env = appEnvironment(app);
    if (problem == QLatin1String("state"))
        env.insert(QStringLiteral("XDG_STATE_HOME"), blocker.fileName());
    else
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (problem == QLatin1String("gone"))
        env.insert(QStringLiteral("DISPLAY"), QStringLiteral(":9876"));
    QProcess launcher;
    launcher.setProcessEnvironment(env);
    launcher.start(app.executable, args);
    QVERIFY(launcher.waitForFinished(20000));
    QCOMPARE(launcher.exitStatus(), QProcess::NormalExit);
    QVERIFY(launcher.exitCode() != 0);
    const QString said = QString::fromUtf8(launcher.readAllStandardError());
    const QString cause =
        problem == QLatin1String("state")  ? blocker.fileName() + QStringLiteral("/vistrel")
        : problem == QLatin1String("gone") ? QStringLiteral("the X display :9876 cannot be reached")
                                           : QStringLiteral("no display to show the window on");
    QVERIFY2(said.startsWith(QLatin1String("Vistrel: ")) && said.contains(cause), qPrintable(said));
}

void TestLaunch::secondStartShowsTheFirst_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("second start with one argument") << "application";
    QTest::newRow("second start through the launcher") << "launcher";
    QTest::newRow("two starts at the same moment") << "together";
    QTest::newRow("start after a crash left the lock and socket") << "crash";
}

void TestLaunch::secondStartShowsTheFirst()
{
    QFETCH(QString, how);
    AppCopy app;
    QVERIFY(app.ok);
    const QString one = app.path(QStringLiteral("one"));
    const QString two = app.path(QStringLiteral("two"));
    QVERIFY(QDir().mkpath(one) && QDir().mkpath(two));
    QProcess first;
    QProcess second;
    for (QProcess* p : {&first, &second})
        p->setProcessEnvironment(appEnvironment(app));
    first.setWorkingDirectory(one);
    second.setWorkingDirectory(two);
    first.start(app.executable, {QStringLiteral("start")});
    if (how == QLatin1String("crash")) {
        QTRY_VERIFY_WITH_TIMEOUT(readAll(one + QStringLiteral("/Out.txt")).contains(kShown), 30000);
        first.kill();
        QVERIFY(first.waitForFinished(10000));
        QVERIFY(QFileInfo::exists(app.path(QStringLiteral("run/vistrel/instance.lock"))));
        // The next start takes over the dead one's lock and socket.
        first.setWorkingDirectory(app.path(QStringLiteral("home")));
        first.start(app.executable, {QStringLiteral("start")});
    }
    if (how == QLatin1String("together")) {
        second.start(app.executable, {QStringLiteral("start")});
    } else {
        const QString log = first.workingDirectory() + QStringLiteral("/Out.txt");
        QTRY_VERIFY_WITH_TIMEOUT(readAll(log).contains(kShown), 30000);
        second.start(app.executable, how == QLatin1String("launcher")
                                         ? QStringList()
                                         : QStringList{QStringLiteral("x")});
    }

    // Exactly one runs; the other showed its window and left, without a log of its own.
    QTRY_VERIFY_WITH_TIMEOUT(
        first.state() == QProcess::NotRunning || second.state() == QProcess::NotRunning, 30000);
    QProcess* running = &first;
    QProcess* later = &second;
    if (first.state() == QProcess::NotRunning)
        std::swap(running, later);
    QCOMPARE(later->exitStatus(), QProcess::NormalExit);
    QCOMPARE(later->exitCode(), 0);
    QCOMPARE(running->state(), QProcess::Running);
    const QString log = running->workingDirectory() + QStringLiteral("/Out.txt");
    QTRY_VERIFY_WITH_TIMEOUT(readAll(log).contains("a second start asked for the window"), 10000);
    QVERIFY(!QFileInfo::exists(later->workingDirectory() + QStringLiteral("/Out.txt")));
    QVERIFY(!QFileInfo::exists(app.path(QStringLiteral("home/.local/state/vistrel/Out.txt"))));
    running->terminate();
    QVERIFY(running->waitForFinished(30000));
}

QTEST_GUILESS_MAIN(TestLaunch)
#include "tst_launch.moc"
