// The recording session without a window, with the real media tool, X display and sound
// server, and with fakes: how a recording ends, and that its outcome tells the truth.
#include "MediaTestUtil.h"
#include "RecordingTest.h"
#include "media/ToolRun.h"
#include "record/RecordingSession.h"
#include "record/X11Capture.h"

#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

Q_DECLARE_METATYPE(RecordingOutcome)
Q_DECLARE_METATYPE(RecordingOutcome::Kind)

namespace
{

QString fake(const char* name)
{
    return qEnvironmentVariable("VISTREL_SOURCE_DIR") + QStringLiteral("/tests/media/fakes/") +
           QString::fromLatin1(name);
}

} // namespace

class TestRecordSession : public QObject
{
    Q_OBJECT
public:
    TestRecordSession(bool ready, const QString& why) : m_ready(ready), m_why(why) {}

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void endsTruthfully_data();
    void endsTruthfully();
    void secondStartWaitsForTheFirst();
    void readOnlyFolderIsTold();
    void unpluggedSourceIsTold();

private:
    // Starts a recording of the microphone into the save folder.
    void start();
    // Waits for the next outcome.
    RecordingOutcome outcome();

    bool m_ready;
    QString m_why;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_save;
    std::unique_ptr<RecordingSession> m_session;
    std::unique_ptr<QSignalSpy> m_ended;
};

void TestRecordSession::initTestCase()
{
    if (!m_ready)
        QSKIP(qPrintable(m_why));
    qRegisterMetaType<RecordingOutcome>();
    qputenv("VISTREL_REAL_TOOL", testutil::ffmpegPath().toUtf8());
}

void TestRecordSession::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_save = m_dir->filePath(QStringLiteral("Screen Save"));
    m_session = std::make_unique<RecordingSession>();
    const QStringList size =
        qEnvironmentVariable("SCREEN_SIZE", QStringLiteral("640x480")).split(QLatin1Char('x'));
    m_session->setCapture(new X11Capture(qEnvironmentVariable("DISPLAY"),
                                         QSize(size.value(0).toInt(), size.value(1).toInt())));
    m_ended = std::make_unique<QSignalSpy>(m_session.get(), &RecordingSession::ended);
}

void TestRecordSession::cleanup()
{
    QVERIFY(QTest::qWaitFor([&] { return !m_session->isBusy(); }, 30000));
    m_ended.reset();
    m_session.reset();
}

void TestRecordSession::start()
{
    m_session->start(m_save, {QStringLiteral("mic")}, QDateTime::currentDateTime());
}

RecordingOutcome TestRecordSession::outcome()
{
    const qsizetype seen = m_ended->size();
    if (!QTest::qWaitFor([&] { return m_ended->size() > seen; }, 60000))
        return {RecordingOutcome::Kind::Nothing, {}, QStringLiteral("no outcome")};
    return m_ended->last().first().value<RecordingOutcome>();
}

void TestRecordSession::endsTruthfully_data()
{
    QTest::addColumn<QString>("program"); // the tool; empty: the real one
    QTest::addColumn<QString>("ending");  // "stop", "kill" (the tool, -9), "none" (ends itself)
    QTest::addColumn<RecordingOutcome::Kind>("kind");
    QTest::addColumn<QString>("reason"); // in the outcome's reason
    QTest::addColumn<bool>("kept");      // a playable file under the recording's name

    using Kind = RecordingOutcome::Kind;
    QTest::newRow("stopped by the user") << QString() << "stop" << Kind::Saved << "" << true;
    QTest::newRow("tool killed") << QString() << "kill" << Kind::StoppedByTool << "crashed" << true;
    QTest::newRow("tool loses the screen")
        << fake("record_fails_midway.sh") << "none" << Kind::StoppedByTool
        << "the X display went away" << false;
    QTest::newRow("tool missing") << "/nonexistent/tool"
                                  << "none" << Kind::Failed
                                  << "Cannot record: The media tool could not be started" << false;
    QTest::newRow("finalisation fails: kept as recorded, not called saved")
        << fake("finalise_fails.sh") << "stop" << Kind::Failed << "No space left on device" << true;
}

void TestRecordSession::endsTruthfully()
{
    QFETCH(QString, program);
    QFETCH(QString, ending);
    QFETCH(RecordingOutcome::Kind, kind);
    QFETCH(QString, reason);
    QFETCH(bool, kept);
    if (!program.isEmpty())
        m_session->setProgram(program);
    QSignalSpy states(m_session.get(), &RecordingSession::stateChanged);

    start();
    if (ending != QLatin1String("none")) {
        QVERIFY(QTest::qWaitFor([&] { return m_session->state() == RecordingSession::State::Live; },
                                30000));
        // A fragment is written every 2 s: past the second one, two are whole.
        QTest::qWait(4500);
        if (ending == QLatin1String("stop"))
            m_session->stop();
        else
            rectest::killNow(m_session->run().processId());
    }
    const RecordingOutcome ended = outcome();
    QCOMPARE(ended.kind, kind);
    QVERIFY2(ended.reason.contains(reason), qPrintable(ended.reason));
    QCOMPARE(m_session->state(), RecordingSession::State::Idle);
    QCOMPARE(states.last().first().value<RecordingSession::State>(), RecordingSession::State::Idle);
    const QStringList files = testui::filesIn(m_save);
    if (!kept) {
        QVERIFY2(files.isEmpty(), qPrintable(files.join(QLatin1Char(','))));
        QVERIFY(ended.path.isEmpty());
        return;
    }
    QCOMPARE(files, QStringList{QFileInfo(ended.path).fileName()});
    QVERIFY(!files.first().startsWith(QLatin1Char('.')));
    QVERIFY(testutil::probeDuration(ended.path) >= 2.0);
    QVERIFY(testutil::decodesCleanly(ended.path));
}

void TestRecordSession::secondStartWaitsForTheFirst()
{
    // Start, stop before the first picture and start again within one second: the first still
    // gets a picture, the second waits for it to be finalised and must not take its name.
    QVERIFY(QTest::qWaitFor([] { return QTime::currentTime().msec() < 200; }, 2000));
    const QDateTime now = QDateTime::currentDateTime();
    m_session->start(m_save, {}, now);
    QTest::qWait(20);
    QCOMPARE(m_session->state(), RecordingSession::State::Starting);
    m_session->stop();
    m_session->start(m_save, {}, now);
    QVERIFY(m_session->isBusy());
    const RecordingOutcome first = outcome();
    QVERIFY(QTest::qWaitFor([&] { return m_session->state() == RecordingSession::State::Live; },
                            30000));
    QTest::qWait(1000);
    m_session->stop();
    const RecordingOutcome second = outcome();
    QCOMPARE(first.kind, RecordingOutcome::Kind::Saved);
    QCOMPARE(second.kind, RecordingOutcome::Kind::Saved);
    QCOMPARE(second.path, first.path.chopped(4) + QStringLiteral("(1).mp4"));
    QCOMPARE(testui::filesIn(m_save),
             QStringList({QFileInfo(second.path).fileName(), QFileInfo(first.path).fileName()}));
    QVERIFY(testutil::probeStreamTypes(first.path).contains(QStringLiteral("video")));
}

void TestRecordSession::readOnlyFolderIsTold()
{
    testutil::SmallDisk disk(m_dir->filePath(QStringLiteral("read-only")), true);
    if (!disk.mounted)
        QSKIP("mounting a read-only tmpfs is not permitted here (needs root)");
    m_session->start(disk.path, {}, QDateTime::currentDateTime());
    const RecordingOutcome ended = outcome();
    QCOMPARE(ended.kind, RecordingOutcome::Kind::Failed);
    QVERIFY2(ended.reason.contains(QLatin1String("cannot be written to")) &&
                 ended.reason.contains(QLatin1String("Read-only")),
             qPrintable(ended.reason));
}

void TestRecordSession::unpluggedSourceIsTold()
{
    // A headset plugged in for this recording and unplugged during it: the server would go on
    // recording its default microphone in the headset's place.
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"),
                {QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                 QStringLiteral("sink_name=headset")});
    QVERIFY(pactl.waitForFinished() && pactl.exitCode() == 0);
    const QString module = QString::fromUtf8(pactl.readAllStandardOutput()).trimmed();
    auto unplug = qScopeGuard([&] {
        QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module});
    });
    m_session->start(m_save, {QStringLiteral("headset.monitor")}, QDateTime::currentDateTime());
    QVERIFY(QTest::qWaitFor([&] { return m_session->state() == RecordingSession::State::Live; },
                            30000));
    QTest::qWait(1000);
    unplug.dismiss();
    QCOMPARE(QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("unload-module"), module}),
             0);
    const RecordingOutcome ended = outcome();
    QCOMPARE(ended.kind, RecordingOutcome::Kind::StoppedByTool);
    QVERIFY2(ended.reason.contains(QLatin1String("headset.monitor went away")),
             qPrintable(ended.reason));
    QVERIFY(QFileInfo::exists(ended.path));
}

RECTEST_MAIN(TestRecordSession)
#include "tst_recordsession.moc"
