// Recording and finalising command lines, and the reading of where a recording's picture starts.
#include "record/RecordCommand.h"

#include <QTest>

namespace
{

// Index of the `n`-th "-i" and the input that follows it.
QString inputAt(const QStringList& args, int n)
{
    int seen = 0;
    for (int i = 0; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("-i") && seen++ == n)
            return args[i + 1];
    }
    return {};
}

int countOf(const QStringList& args, const QString& word)
{
    return int(args.count(word));
}

// The option value that follows `option` ("" when absent).
QString valueOf(const QStringList& args, const QString& option)
{
    const qsizetype at = args.indexOf(option);
    return at >= 0 && at + 1 < args.size() ? args[at + 1] : QString();
}

} // namespace

class TestRecordCommand : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void linuxCommand_data();
    void linuxCommand();
    void videoStart_data();
    void videoStart();
    void soundSourceFailure_data();
    void soundSourceFailure();
    void fellBehind_data();
    void fellBehind();
    void finalizeStartsAtTheFrame_data();
    void finalizeStartsAtTheFrame();
};

void TestRecordCommand::linuxCommand_data()
{
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<QString>("display");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("grab");

    QTest::newRow("no sound") << QStringList{} << ":0" << 1920 << 1080 << "1920x1080"
                              << ":0+0,0";
    QTest::newRow("both sources") << QStringList{"mic", "speakers.monitor"} << ":0.0" << 1366 << 768
                                  << "1366x768"
                                  << ":0.0+0,0";
    QTest::newRow("odd screen cut to even")
        << QStringList{"mic"} << "localhost:10.0" << 1365 << 767 << "1364x766"
        << "localhost:10.0+0,0";
}

void TestRecordCommand::linuxCommand()
{
    QFETCH(QStringList, sources);
    QFETCH(QString, display);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(QString, size);
    QFETCH(QString, grab);

    const double start = 1717171717.25;
    const QString output =
        QStringLiteral("/home/ü ser/Screen Save/.2024-05-01 14-03-09.recording.mp4");
    const QStringList args = recordArguments(
        soundInputArguments(sources, start) + x11grabInputArguments(display, width, height, start),
        int(sources.size()), kX11PictureFilter, false, output);

    // Sound inputs open first, the screen last; every input gets the same clock offset.
    for (int i = 0; i < sources.size(); ++i)
        QCOMPARE(inputAt(args, i), sources[i]);
    QCOMPARE(inputAt(args, int(sources.size())), grab);
    QCOMPARE(countOf(args, QStringLiteral("-i")), int(sources.size()) + 1);
    QCOMPARE(countOf(args, QStringLiteral("-itsoffset")), int(sources.size()) + 1);
    QCOMPARE(countOf(args, QStringLiteral("-1717171717.250000")), int(sources.size()) + 1);
    QVERIFY(args.contains(QStringLiteral("-copyts")));
    QCOMPARE(valueOf(args, QStringLiteral("-video_size")), size);
    // Grabbed at the file's rate: otherwise the tool drops a picture in every thousand.
    QCOMPARE(valueOf(args, QStringLiteral("-framerate")), valueOf(args, QStringLiteral("-r")));

    // One picture and at most one sound track: two sources are mixed, not mapped twice.
    QCOMPARE(countOf(args, QStringLiteral("-map")), sources.isEmpty() ? 1 : 2);
    QCOMPARE(args.join(QLatin1Char(' ')).contains(QLatin1String("amix=inputs=2")),
             sources.size() == 2);
    // Ended when asked, not by whichever input ends first: a sound source that goes away
    // leaves the screen recording.
    QVERIFY(!args.contains(QStringLiteral("-shortest")));

    // A fragmented MP4, written to the path as one argument.
    QVERIFY(valueOf(args, QStringLiteral("-movflags")).contains(QLatin1String("frag_keyframe")));
    QCOMPARE(args.last(), output);
}

void TestRecordCommand::videoStart_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<double>("seconds");

    const QString tb = QStringLiteral("#tb 0: 1/11988");
    QTest::newRow("first frame stretched over the lead-in")
        << QStringList{tb, "#stream#, dts,        pts, duration,     size, hash",
                       "0,          0,          0,      400,     1877, 92987aa1",
                       "0,      11121,      11121,      400,       88, ff0be455",
                       "0,      11521,      11521,      400,       39, 16e36d07"}
        << 11121.0 / 11988.0;
    QTest::newRow("no lead-in: starts at the first frame")
        << QStringList{tb, "0,          0,          0,      400,     1877, 9298",
                       "0,        400,        400,      400,       88, ff0b",
                       "0,        800,        800,      400,       39, 16e3"}
        << 0.0;
    QTest::newRow("packet durations missing: the frame step tells")
        << QStringList{tb, "0,          0,          0,        0,     1877, 9298",
                       "0,      24000,      24000,        0,       88, ff0b",
                       "0,      24400,      24400,        0,       39, 16e3"}
        << 24000.0 / 11988.0;
    QTest::newRow("no picture") << QStringList{tb, "Output file is empty, nothing was encoded"}
                                << -1.0;
}

void TestRecordCommand::videoStart()
{
    QFETCH(QStringList, lines);
    QFETCH(double, seconds);
    QCOMPARE(videoStartSeconds(lines), seconds);
}

void TestRecordCommand::soundSourceFailure_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("told");
    // The sound server stopped while recording.
    QTest::newRow("source gone") << "alsa_output.pci.monitor: Generic error in an external library"
                                 << "the sound from alsa_output.pci.monitor failed (Generic error "
                                    "in an external library).";
    QTest::newRow("its input's description")
        << "Input #1, pulse, from 'alsa_output.pci.monitor':" << QString();
    QTest::newRow("another input's warning")
        << "[pulse @ 0x55d] Thread message queue blocking; consider raising the "
           "thread_queue_size option (current value: 8)"
        << QString();
    QTest::newRow("the output's error") << "/home/u/.rec.mp4: No space left on device" << QString();
}

void TestRecordCommand::soundSourceFailure()
{
    QFETCH(QString, line);
    QFETCH(QString, told);
    QCOMPARE(::soundSourceFailure(
                 line, {QStringLiteral("mic"), QStringLiteral("alsa_output.pci.monitor")}),
             told);
}

void TestRecordCommand::fellBehind_data()
{
    QTest::addColumn<double>("ran");
    QTest::addColumn<double>("written");
    QTest::addColumn<bool>("told");
    QTest::newRow("kept up") << 10.6 << 10.5 << false;
    QTest::newRow("a short one held up at its start") << 3.0 << 1.2 << false;
    QTest::newRow("a long one a few seconds behind") << 600.0 << 590.0 << false;
    QTest::newRow("4K on a busy machine") << 10.6 << 1.3 << true;
    QTest::newRow("unknown length") << 10.6 << -1.0 << false;
}

void TestRecordCommand::fellBehind()
{
    QFETCH(double, ran);
    QFETCH(double, written);
    QFETCH(bool, told);
    QCOMPARE(!fellBehindText(ran, written).isEmpty(), told);
}

void TestRecordCommand::finalizeStartsAtTheFrame_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<QString>("ss");

    QTest::newRow("no lead-in: no seek") << 0.0 << QString();
    // Rounding up would put the first frame a microsecond before the start and drop it.
    QTest::newRow("rounded down to the microsecond") << 11121.0 / 11988.0 << "0.927677";
}

void TestRecordCommand::finalizeStartsAtTheFrame()
{
    QFETCH(double, start);
    QFETCH(QString, ss);

    const QString work = QStringLiteral("/m/Screen Save/.a b.recording.mp4");
    const QString out = QStringLiteral("/m/Screen Save/.a b.finalising.mp4");
    const QStringList args = finalizeArguments(work, start, out);
    QCOMPARE(valueOf(args, QStringLiteral("-ss")), ss);
    if (!ss.isEmpty())
        QVERIFY(args.indexOf(QStringLiteral("-ss")) < args.indexOf(QStringLiteral("-i")));
    QCOMPARE(valueOf(args, QStringLiteral("-i")), work);
    QCOMPARE(valueOf(args, QStringLiteral("-c")), QStringLiteral("copy"));
    QCOMPARE(valueOf(args, QStringLiteral("-movflags")), QStringLiteral("+faststart"));
    QCOMPARE(args.last(), out);
}

QTEST_GUILESS_MAIN(TestRecordCommand)
#include "tst_recordcommand.moc"
