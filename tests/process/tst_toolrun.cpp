// The media tool runner against fake tools for each way a run can go, and against the real tool.
#include "MediaTestUtil.h"
#include "media/ToolRun.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <csignal>

Q_DECLARE_METATYPE(ToolResult::Status)

namespace
{

QString fake(const char* name)
{
    return qEnvironmentVariable("VISTREL_SOURCE_DIR") + QStringLiteral("/tests/process/fakes/") +
           QLatin1String(name);
}

bool processGone(qint64 pid)
{
    return pid > 0 && ::kill(pid_t(pid), 0) == -1 && errno == ESRCH;
}

// Lines of a run, collected the way the window's handlers take them.
struct Collector {
    explicit Collector(ToolRun* run)
    {
        QObject::connect(run, &ToolRun::readyRead, run, [this, run] {
            ++reads;
            lines += run->takeLines();
        });
    }
    QStringList lines;
    int reads = 0;
};

} // namespace

class TestToolRun : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void outputAndVerdict_data();
    void outputAndVerdict();
    void crashIsReportedOnce();
    void failedStartIsReportedOnce_data();
    void failedStartIsReportedOnce();
    void quitEndsTheRun();
    void stopEscalates_data();
    void stopEscalates();
    void timeLimitKillsAHangingTool();
    void pathReachesTheToolIntact();
    void eventLoopRunsWhileWaiting_data();
    void eventLoopRunsWhileWaiting();
    void applicationQuitCancelsAWaitedRun();
    void realToolOutputCheck_data();
    void realToolOutputCheck();
};

void TestToolRun::initTestCase()
{
    QVERIFY2(QFile::exists(fake("chunks.sh")), "VISTREL_SOURCE_DIR must name the source tree");
}

void TestToolRun::outputAndVerdict_data()
{
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("chunks");
    QTest::addColumn<QStringList>("markers");
    QTest::addColumn<ToolResult::Status>("status");
    QTest::addColumn<QStringList>("lines");

    const QStringList defaults{QStringLiteral("Invalid data")};
    QTest::newRow("missing input named by a caller's marker")
        << 0 << QStringList{"/v/1.ts: No such f", "ile or directory\\n"}
        << QStringList{"Invalid data", "No such file"} << ToolResult::Status::Marker
        << QStringList{"/v/1.ts: No such file or directory"};
    QTest::newRow("progress ended by carriage return, then a log line")
        << 0
        << QStringList{"size=  1kB time=00:00:01.00 bitrate=8.0kbits/s\\r",
                       "[aac @ 0x1] Qavg: 1\\n"}
        << defaults << ToolResult::Status::Succeeded
        << QStringList{"size=  1kB time=00:00:01.00 bitrate=8.0kbits/s", "[aac @ 0x1] Qavg: 1"};
    QTest::newRow("last line without its end")
        << 0 << QStringList{"  Duration: 00:0", "0:02.00, start"} << defaults
        << ToolResult::Status::Succeeded << QStringList{"Duration: 00:00:02.00, start"};
    QTest::newRow("non-zero exit")
        << 1 << QStringList{"Error opening output file /x/a.mp4.\\n"} << defaults
        << ToolResult::Status::ExitCode << QStringList{"Error opening output file /x/a.mp4."};
}

void TestToolRun::outputAndVerdict()
{
    QFETCH(int, exitCode);
    QFETCH(QStringList, chunks);
    QFETCH(QStringList, markers);
    QFETCH(ToolResult::Status, status);
    QFETCH(QStringList, lines);
    ToolRun run;
    run.setProgram(fake("chunks.sh"));
    run.setFailureMarkers(markers);
    Collector collected(&run);
    const ToolResult result = run.run(QStringList{QString::number(exitCode)} + chunks);
    QCOMPARE(result.status, status);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(collected.lines, lines);
    if (status == ToolResult::Status::ExitCode)
        QCOMPARE(result.lastErrorLine, lines.last());
}

void TestToolRun::crashIsReportedOnce()
{
    ToolRun run;
    run.setProgram(fake("crash.sh"));
    QSignalSpy finished(&run, &ToolRun::finished);
    QVERIFY(run.start({}));
    QVERIFY(finished.wait(10000));
    QTest::qWait(100); // Qt reports a crash twice; a second report would come now
    QCOMPARE(finished.count(), 1);
    QCOMPARE(run.lastResult().status, ToolResult::Status::Crashed);
    QVERIFY(!run.lastResult().ok());
}

void TestToolRun::failedStartIsReportedOnce_data()
{
    QTest::addColumn<QString>("program");
    QTest::newRow("missing tool") << QStringLiteral("/vistrel/no such dir/tool");
    QTest::newRow("not executable") << QStringLiteral("COPY");
    QTest::newRow("no program") << QString();
}

void TestToolRun::failedStartIsReportedOnce()
{
    QFETCH(QString, program);
    QTemporaryDir dir;
    if (program == QLatin1String("COPY")) {
        program = dir.filePath(QStringLiteral("tool"));
        QVERIFY(QFile::copy(fake("chunks.sh"), program));
        QVERIFY(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner));
    }
    ToolRun run;
    run.setProgram(program);
    QSignalSpy finished(&run, &ToolRun::finished);
    QVERIFY(run.start({QStringLiteral("0")}));
    // Reported after start() returns, so a caller that connects late still hears it.
    QCOMPARE(finished.count(), 0);
    QCOMPARE(run.wait().status, ToolResult::Status::FailedToStart);
    QTest::qWait(100);
    QCOMPARE(finished.count(), 1);
    QVERIFY(!run.isRunning());
}

void TestToolRun::quitEndsTheRun()
{
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("out.mp4"));
    ToolRun run;
    run.setProgram(fake("until_q.sh"));
    run.setExpectedOutput(output);
    QSignalSpy read(&run, &ToolRun::readyRead);
    QVERIFY(run.start({output}));
    // A second start while the tool runs is refused and changes nothing.
    QVERIFY(!run.start({output}));
    QVERIFY(read.wait(10000));
    run.quit();
    const ToolResult result = run.wait();
    QCOMPARE(result.status, ToolResult::Status::Succeeded);
    QVERIFY(QFile::exists(output));
}

void TestToolRun::stopEscalates_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<ToolResult::Status>("status");
    QTest::newRow("ignores q, ends by terminate") << "term" << false << ToolResult::Status::Crashed;
    QTest::newRow("ignores terminate too, ends by kill")
        << "kill" << false << ToolResult::Status::Crashed;
    QTest::newRow("canceled, ends by kill") << "kill" << true << ToolResult::Status::Canceled;
}

void TestToolRun::stopEscalates()
{
    QFETCH(QString, mode);
    QFETCH(bool, cancel);
    QFETCH(ToolResult::Status, status);
    ToolRun run;
    run.setProgram(fake("stubborn.sh"));
    run.setStopGrace(200);
    QSignalSpy read(&run, &ToolRun::readyRead);
    QVERIFY(run.start({mode}));
    QVERIFY(read.wait(10000));
    const qint64 pid = run.processId();
    cancel ? run.cancel() : run.quit();
    QCOMPARE(run.wait().status, status);
    QVERIFY(processGone(pid));
}

void TestToolRun::timeLimitKillsAHangingTool()
{
    ToolRun run;
    run.setProgram(fake("stubborn.sh"));
    run.setTimeLimit(300);
    QSignalSpy read(&run, &ToolRun::readyRead);
    QVERIFY(run.start({QStringLiteral("kill")}));
    QVERIFY(read.wait(10000));
    const qint64 pid = run.processId();
    QCOMPARE(run.wait(QEventLoop::ExcludeUserInputEvents).status, ToolResult::Status::TimedOut);
    QVERIFY(processGone(pid));
}

void TestToolRun::pathReachesTheToolIntact()
{
    QTemporaryDir dir;
    const QString list = dir.filePath(QStringLiteral("args"));
    const QStringList args{QStringLiteral("/home/u/My Videos/Cut_\"best\" | take 2 é 录像.mp4"),
                           QStringLiteral("it's $HOME `id` * ;"), QString(),
                           QStringLiteral("concat:/v/1.ts|/v/2.ts|")};
    ToolRun run;
    run.setProgram(fake("args.sh"));
    Collector collected(&run);
    QVERIFY(run.run(QStringList{list} + args).ok());
    QFile file(list);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QByteArray expected;
    QStringList printed;
    for (const QString& arg : args) {
        expected += arg.toUtf8() + '\0';
        printed.append(QStringLiteral("arg: ") + arg);
    }
    QCOMPARE(file.readAll(), expected);
    QCOMPARE(collected.lines, printed);
}

void TestToolRun::eventLoopRunsWhileWaiting_data()
{
    QTest::addColumn<bool>("excludeUserInput");
    QTest::newRow("job run") << false;
    QTest::newRow("listing or probe run") << true;
}

void TestToolRun::eventLoopRunsWhileWaiting()
{
    QFETCH(bool, excludeUserInput);
    ToolRun run;
    run.setProgram(fake("chunks.sh"));
    Collector collected(&run);
    int ticks = 0;
    QTimer repaint;
    connect(&repaint, &QTimer::timeout, this, [&ticks] { ++ticks; });
    repaint.start(20);
    const ToolResult result =
        run.run({QStringLiteral("0"), QStringLiteral("a\\n"), QStringLiteral("b\\n"),
                 QStringLiteral("c\\n"), QStringLiteral("d\\n")},
                excludeUserInput ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents);
    QVERIFY(result.ok());
    QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
    // The handler saw the lines as they came, not all at the end.
    QVERIFY(collected.reads >= 3);
}

void TestToolRun::applicationQuitCancelsAWaitedRun()
{
    QTemporaryDir dir;
    const QString output = dir.filePath(QStringLiteral("out.mp4"));
    ToolRun run;
    run.setProgram(fake("until_q.sh"));
    run.setExpectedOutput(output);
    ToolResult result;
    bool waited = false;
    QTimer::singleShot(0, this, [&] {
        QTimer::singleShot(300, qApp, &QCoreApplication::quit);
        result = run.run({output});
        waited = true;
    });
    QCoreApplication::exec();
    QVERIFY(waited);
    QVERIFY(!run.isRunning());
    QCOMPARE(result.status, ToolResult::Status::Canceled);
}

void TestToolRun::realToolOutputCheck_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("output");
    QTest::addColumn<ToolResult::Status>("status");
    QTest::newRow("whole clip copied")
        << QStringList{} << "out.mp4" << ToolResult::Status::Succeeded;
    QTest::newRow("negative length leaves a file without tracks")
        << QStringList{"-t", "-1"} << "out.mp4" << ToolResult::Status::NoOutput;
    QTest::newRow("fragmented, nothing copied")
        << QStringList{"-t", "-1", "-movflags", "+frag_keyframe+empty_moov+default_base_moof"}
        << "out.mp4" << ToolResult::Status::NoOutput;
    QTest::newRow("transport stream")
        << QStringList{"-bsf:v", "h264_mp4toannexb"} << "out.ts" << ToolResult::Status::Succeeded;
}

// Exit code 0 alone is no success: the tool exits 0 for runs that wrote no media.
void TestToolRun::realToolOutputCheck()
{
    QFETCH(QStringList, options);
    QFETCH(QString, output);
    QFETCH(ToolResult::Status, status);
    QTemporaryDir dir;
    const QString clip = dir.filePath(QStringLiteral("clip.mp4"));
    testutil::ClipOptions opts;
    opts.seconds = 1;
    QVERIFY(testutil::makeClip(clip, opts));
    output = dir.filePath(output);
    ToolRun run;
    run.setExpectedOutput(output);
    const ToolResult result = run.run(QStringList{"-hide_banner", "-y", "-i", clip, "-c", "copy"} +
                                      options + QStringList{output});
    QCOMPARE(result.status, status);
    QCOMPARE(result.exitCode, 0);
}

QTEST_GUILESS_MAIN(TestToolRun)
#include "tst_toolrun.moc"
