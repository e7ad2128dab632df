// A signal ends the program in any state: here a running merge, with its cancel question open
// or not. The job is canceled without a (second) question, nothing of it is left, and the
// process ends.
#include "MediaTestUtil.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class TestSignals : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void termEndsARunningMerge_data();
    void termEndsARunningMerge();
};

void TestSignals::termEndsARunningMerge_data()
{
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QByteArray>("waitFor");
    QTest::addColumn<int>("boxes");
    QTest::newRow("question open") << QStringLiteral("ask") << QByteArray("ASKING") << 1;
    QTest::newRow("no question") << QStringLiteral("run") << QByteArray("JOINING") << 0;
}

void TestSignals::termEndsARunningMerge()
{
    QFETCH(QString, mode);
    QFETCH(QByteArray, waitFor);
    QFETCH(int, boxes);
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in"));
    const QString out = dir.filePath(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(in) && QDir().mkpath(out));
    for (const char* name : {"a.mp4", "b.mp4"})
        QVERIFY(testutil::makeClip(in + QLatin1Char('/') + QLatin1String(name)));

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VISTREL_REAL_TOOL"), testutil::ffmpegPath());
    env.insert(QStringLiteral("VISTREL_FAKE_STAGE"), QStringLiteral("join"));
    env.insert(QStringLiteral("VISTREL_FAKE_MODE"), QStringLiteral("slow"));
    program.setProcessEnvironment(env);
    program.start(QCoreApplication::applicationDirPath() + QStringLiteral("/process_signal_helper"),
                  {in + QStringLiteral("/a.mp4"), in + QStringLiteral("/b.mp4"), out,
                   qEnvironmentVariable("VISTREL_SOURCE_DIR") +
                       QStringLiteral("/tests/media/fakes/merge_fake_tool.sh"),
                   mode});
    QVERIFY(program.waitForStarted());
    QByteArray said;
    QVERIFY(QTest::qWaitFor(
        [&] {
            said += program.readAllStandardOutput();
            return said.contains(waitFor) || program.state() == QProcess::NotRunning;
        },
        60000));
    QVERIFY2(said.contains(waitFor), said.constData());

    ::kill(pid_t(program.processId()), SIGTERM);
    QVERIFY2(program.waitForFinished(15000), "the process outlived the signal");
    said += program.readAllStandardOutput();
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    // No question but the one the user opened, nor an outcome box after it.
    QVERIFY2(said.contains("BOXES " + QByteArray::number(boxes)), said.constData());
    QCOMPARE(QDir(out).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
}

QTEST_GUILESS_MAIN(TestSignals)
#include "tst_signals.moc"
