// The media tool's output as lines, markers, times and progress; the shell form of the trace.
#include "media/ToolOutput.h"

#include <QProcess>
#include <QTest>

class TestToolOutput : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lines_data();
    void lines();
    void progressRecords_data();
    void progressRecords();
    void progressNeverBackwardsNorComplete();
    void tellingErrorLine_data();
    void tellingErrorLine();
    void traceCanBePastedIntoAShell();
};

void TestToolOutput::lines_data()
{
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("rest");

    QTest::newRow("marker split between two reads")
        << QByteArrayList{"[in#0] Invalid da", "ta found when processing input\n"}
        << QStringList{"[in#0] Invalid data found when processing input"} << QString();
    QTest::newRow("several progress records in one read")
        << QByteArrayList{"frame=   10 time=00:00:00.33 bitrate=N/A\rframe=   20 "
                          "time=00:00:00.66 bitrate=N/A\rframe=   30 time=00:00:01.00 "
                          "bitrate=N/A\r"}
        << QStringList{"frame=   10 time=00:00:00.33 bitrate=N/A",
                       "frame=   20 time=00:00:00.66 bitrate=N/A",
                       "frame=   30 time=00:00:01.00 bitrate=N/A"}
        << QString();
    QTest::newRow("CRLF and blank lines")
        << QByteArrayList{"first\r\n\n\nsecond\r\n"} << QStringList{"first", "second"} << QString();
    QTest::newRow("UTF-8 character split between reads")
        << QByteArrayList{"Input #0, mov, from '/v/Caf\xc3", "\xa9 \xe5\xbd", "\x95.mp4':\n"}
        << QStringList{QStringLiteral("Input #0, mov, from '/v/Café 录.mp4':")} << QString();
    QTest::newRow("line without its end waits")
        << QByteArrayList{"  Duration: 00:00:0", "2.00, start"} << QStringList{}
        << QStringLiteral("  Duration: 00:00:02.00, start");
}

void TestToolOutput::lines()
{
    QFETCH(QByteArrayList, chunks);
    QFETCH(QStringList, lines);
    QFETCH(QString, rest);
    LineAssembler assembler;
    QStringList got;
    for (const QByteArray& chunk : chunks)
        got += assembler.feed(chunk);
    QCOMPARE(got, lines);
    QCOMPARE(assembler.flush(), rest);
}

void TestToolOutput::progressRecords_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("record");
    QTest::addColumn<qint64>("frame");
    QTest::addColumn<double>("seconds");

    QTest::newRow("video progress")
        << "frame=   45 fps=0.0 q=-1.0 size=     256kB time=00:00:01.50 bitrate=1398.1kbits/s "
           "speed=2.9x"
        << true << qint64(45) << 1.5;
    QTest::newRow("audio-only progress, no frame=")
        << "size=     120kB time=00:01:02.25 bitrate=  15.8kbits/s speed=  60x" << true
        << qint64(-1) << 62.25;
    QTest::newRow("time not known yet")
        << "size=       0kB time=N/A bitrate=N/A speed=N/A" << true << qint64(-1) << -1.0;
    QTest::newRow("negative time before the first packet")
        << "frame=    0 fps=0.0 q=0.0 size=       0kB time=-00:00:00.02 bitrate=N/A" << true
        << qint64(0) << -1.0;
    QTest::newRow("a log line quoting frame= is no record")
        << "[mp4 @ 0x5] pts has no value, frame=12 dropped" << false << qint64(-1) << -1.0;
    QTest::newRow("duration") << "  Duration: 00:02:07.52, start: 0.000000, bitrate: 1520 kb/s"
                              << false << qint64(-1) << -1.0;
}

void TestToolOutput::progressRecords()
{
    QFETCH(QString, line);
    QFETCH(bool, record);
    QFETCH(qint64, frame);
    QFETCH(double, seconds);
    const ProgressRecord parsed = parseProgressRecord(line);
    QCOMPARE(parsed.valid, record);
    QCOMPARE(parsed.frame, frame);
    QCOMPARE(parsed.timeSeconds, seconds);
}

void TestToolOutput::progressNeverBackwardsNorComplete()
{
    ProgressTracker tracker(10);
    QCOMPARE(tracker.update(2.5), 25);
    // time= can step back across a discontinuity; the bar must not.
    QCOMPARE(tracker.update(1.0), 25);
    QCOMPARE(tracker.update(9.99), 99);
    // Output longer than expected (rounding of the span) still leaves 100 to the final report.
    QCOMPARE(tracker.update(10.0), 99);
    QCOMPARE(tracker.update(1e300), 99);
    QCOMPARE(tracker.update(-5), 99);

    ProgressTracker unknown(0);
    QCOMPARE(unknown.update(5), 0);
}

void TestToolOutput::tellingErrorLine_data()
{
    QTest::addColumn<QString>("previous");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("told");

    QTest::newRow("grab's reason leads the generic end")
        << "[x11grab @ 0x558857cef940] Capture area 1280x718 at position 0.0 outside the "
           "screen size 640x480"
        << ":91+0,0: Invalid argument"
        << "Capture area 1280x718 at position 0.0 outside the screen size 640x480 "
           "(:91+0,0: Invalid argument)";
    QTest::newRow("a telling end stands alone") << "[aac @ 0x1f00] Too many bits"
                                                << "/v/out.mp4: No space left on device"
                                                << "/v/out.mp4: No space left on device";
    QTest::newRow("no component line before") << "Input #0, x11grab, from ':0':"
                                              << "nosuch: Input/output error"
                                              << "nosuch: Input/output error";
    QTest::newRow("the component's own error") << "frame=  1 time=00:00:00.03 bitrate=N/A"
                                               << "[pulse @ 0xab] pa_simple_new() failed"
                                               << "[pulse @ 0xab] pa_simple_new() failed";
}

void TestToolOutput::tellingErrorLine()
{
    QFETCH(QString, previous);
    QFETCH(QString, line);
    QFETCH(QString, told);
    QCOMPARE(::tellingErrorLine(previous, line), told);
}

void TestToolOutput::traceCanBePastedIntoAShell()
{
    const QStringList args{QStringLiteral("%s\\0"),
                           QStringLiteral("/home/u/My Videos/a \"b\" | c.mp4"),
                           QStringLiteral("it's $HOME `id` *"),
                           QStringLiteral("录像 Café"),
                           QString(),
                           QStringLiteral("-bsf:v"),
                           QStringLiteral("concat:1.ts|2.ts|")};
    QProcess shell;
    shell.start(QStringLiteral("/bin/sh"),
                {QStringLiteral("-c"), shellQuoted(QStringLiteral("printf"), args)});
    QVERIFY(shell.waitForFinished(10000));
    QCOMPARE(shell.exitCode(), 0);
    QByteArrayList printed = shell.readAllStandardOutput().split('\0');
    printed.removeLast();
    QStringList words;
    for (const QByteArray& word : printed)
        words.append(QString::fromUtf8(word));
    QCOMPARE(words, args.mid(1));
}

QTEST_GUILESS_MAIN(TestToolOutput)
#include "tst_tooloutput.moc"
