// The duration probe and the cut job with the real media tool on small clips, and with fakes.
#include "../ui/UiTestUtil.h"
#include "MediaTestUtil.h"
#include "app/DRUI.h"
#include "dialogs/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>
#include <memory>

namespace
{

QString fakeTool()
{
    return qEnvironmentVariable("VISTREL_SOURCE_DIR") +
           QStringLiteral("/tests/media/fakes/cut_fake_tool.sh");
}

// Every file in `dir`, hidden ones included.
QStringList allFiles(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

// Runs `action` while answering the modal boxes it opens: message boxes with OK, a folder
// dialog with `folder` (rejected when empty). Returns the class names of the boxes seen.
QStringList answeringModals(const std::function<void()>& action, const QString& folder = {})
{
    QStringList seen;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal->property("answered").toBool())
            return;
        const QString name = QString::fromLatin1(modal->metaObject()->className());
        auto* box = qobject_cast<CMessageBox*>(modal);
        auto* chooser = qobject_cast<QFileDialog*>(modal);
        auto* dialog = qobject_cast<QDialog*>(modal);
        if (!box && !chooser && (!dialog || name == QLatin1String("SCANUI")))
            return;
        modal->setProperty("answered", true);
        seen << name;
        if (box) {
            box->btnSlotOK();
        } else if (chooser && !folder.isEmpty()) {
            // As a user types the path into the name field and presses Choose.
            auto* nameEdit = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(nameEdit);
            nameEdit->setText(folder);
            QMetaObject::invokeMethod(chooser, "accept");
        } else {
            dialog->reject(); // anything unexpected fails the test instead of hanging it
        }
    });
    timer.start(20);
    action();
    return seen;
}

} // namespace

class TestCutJob : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void probe_data();
    void probe();
    void probeOutlivingItsLimitIsKilled();

    void cutStartsAtTheStartMark();
    void awkwardPathsSurvive();
    void failureLeavesNothing_data();
    void failureLeavesNothing();
    void cancelLeavesNothing_data();
    void cancelLeavesNothing();
    void backwardSpanRunsNothing_data();
    void backwardSpanRunsNothing();
    void cutButtonRunsTheJobUnderItsDialog();

private:
    // One cut of `source` from `start` to `end` into m_out; returns its result.
    int cut(const QString& source, qint64 start, qint64 end);
    // The reports before the last stay below 100 with result 0; the last is (100, result).
    void checkReports(const QSignalSpy& spy, int result);

    QTemporaryDir m_dir;
    QString m_clip20; // 20 s, a keyframe every 4 s
    QString m_clip2;  // 2 s
    QString m_random; // random bytes named .mp4
    QByteArray m_clip20Sum;
    QString m_out;
    std::unique_ptr<QTemporaryDir> m_outDir;
    std::unique_ptr<DRUI> m_window;
};

void TestCutJob::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_clip20 = m_dir.filePath(QStringLiteral("clip.mp4"));
    m_clip2 = m_dir.filePath(QStringLiteral("short.mp4"));
    m_random = m_dir.filePath(QStringLiteral("noise.mp4"));
    testutil::ClipOptions opts;
    opts.seconds = 20;
    opts.rate = 10;
    opts.keyframeEvery = 40;
    QVERIFY(testutil::makeClip(m_clip20, opts));
    opts.seconds = 2;
    QVERIFY(testutil::makeClip(m_clip2, opts));
    QVERIFY(testutil::writeRandomFile(m_random, 200000));
    m_clip20Sum = testutil::checksum(m_clip20);

    m_window = std::make_unique<DRUI>();
    m_window->m_strIniPath = m_dir.filePath(QStringLiteral("ScreenRecord.ini"));
    m_window->Init();
}

void TestCutJob::init()
{
    m_outDir = std::make_unique<QTemporaryDir>();
    m_out = m_outDir->path();
    DRUI::m_bisFinished = false;
    m_window->m_pCutProcess->setProgram(ToolRun::defaultProgram());
    m_window->m_pDeviceProcess->setProgram(ToolRun::defaultProgram());
    m_window->m_pDeviceProcess->setTimeLimit(30000);
    qunsetenv("VISTREL_FAKE_MODE");
}

void TestCutJob::cleanup()
{
    QCOMPARE(testutil::checksum(m_clip20), m_clip20Sum);
    QVERIFY(!m_window->m_pCutProcess->isRunning());
}

int TestCutJob::cut(const QString& source, qint64 start, qint64 end)
{
    m_window->m_strCutSrcFile = source;
    m_window->m_n64StartTime = start;
    m_window->m_n64EndTime = end;
    m_window->m_strCutOutDir = m_out;
    return m_window->StartQProcessCut();
}

void TestCutJob::checkReports(const QSignalSpy& spy, int result)
{
    QVERIFY(!spy.isEmpty());
    int last = 0;
    for (qsizetype i = 0; i + 1 < spy.size(); ++i) {
        const int percent = spy.at(i).at(0).toInt();
        QVERIFY2(percent < 100 && percent >= last, qPrintable(QString::number(percent)));
        QCOMPARE(spy.at(i).at(3).toInt(), 0);
        last = percent;
    }
    QCOMPARE(spy.last().at(0).toInt(), 100);
    QCOMPARE(spy.last().at(3).toInt(), result);
}

void TestCutJob::probe_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("fakeMode"); // empty: the real tool
    QTest::addColumn<QString>("expected");
    QTest::newRow("two-second clip")
        << QStringLiteral("short.mp4") << QString() << QStringLiteral("00:00:02");
    QTest::newRow("missing file") << QStringLiteral("gone.mp4") << QString() << QString();
    QTest::newRow("random bytes") << QStringLiteral("noise.mp4") << QString() << QString();
    QTest::newRow("hundred hours")
        << QStringLiteral("short.mp4") << QStringLiteral("long") << QStringLiteral("100:00:0");
    QTest::newRow("tool missing") << QStringLiteral("short.mp4") << QStringLiteral("-")
                                  << QString();
}

void TestCutJob::probe()
{
    QFETCH(QString, file);
    QFETCH(QString, fakeMode);
    QFETCH(QString, expected);
    if (fakeMode == QLatin1String("-")) {
        m_window->m_pDeviceProcess->setProgram(m_dir.filePath(QStringLiteral("no-tool")));
    } else if (!fakeMode.isEmpty()) {
        qputenv("VISTREL_FAKE_MODE", fakeMode.toUtf8());
        m_window->m_pDeviceProcess->setProgram(fakeTool());
    }
    // What an earlier listing or probe left must never be taken for this file's duration.
    m_window->m_strDeviceText = QStringLiteral("  Duration: 01:00:00.00, start: 0.0\n");
    QCOMPARE(m_window->GetVedioTimeSeconds(m_dir.filePath(file)), expected);
}

void TestCutJob::probeOutlivingItsLimitIsKilled()
{
    qputenv("VISTREL_FAKE_MODE", "hang");
    m_window->m_pDeviceProcess->setProgram(fakeTool());
    m_window->m_pDeviceProcess->setTimeLimit(1500);
    QCOMPARE(m_window->GetVedioTimeSeconds(m_clip2), QStringLiteral("00:00:42"));
    QVERIFY(!m_window->m_pDeviceProcess->isRunning());
    QCOMPARE(m_window->m_pDeviceProcess->lastResult().status, ToolResult::Status::TimedOut);
}

void TestCutJob::cutStartsAtTheStartMark()
{
    QSignalSpy spy(m_window.get(), &DRUI::CutProcessCallBack);
    QCOMPARE(cut(m_clip20, 5, 12), 0);
    checkReports(spy, 0);
    const QString first = m_out + QStringLiteral("/Cut_clip.mp4");
    QCOMPARE(spy.last().at(2).toString(), first);
    QCOMPARE(allFiles(m_out), QStringList{QStringLiteral("Cut_clip.mp4")});
    QVERIFY(qAbs(testutil::probeDuration(first) - 7.0) <= 0.5);
    // Seeking after the input would start the picture at the next keyframe, 3 s in.
    const double firstPicture = testutil::firstVideoFrameTime(first);
    QVERIFY2(firstPicture >= 0 && firstPicture < 0.2, qPrintable(QString::number(firstPicture)));
    QCOMPARE(testutil::probeStreamTypes(first),
             QStringList({QStringLiteral("video"), QStringLiteral("audio")}));
    QVERIFY(testutil::decodesCleanly(first));

    spy.clear();
    QCOMPARE(cut(m_clip20, 5, 12), 0);
    checkReports(spy, 0);
    QCOMPARE(spy.last().at(2).toString(), m_out + QStringLiteral("/Cut_clip(1).mp4"));
    QCOMPARE(allFiles(m_out),
             QStringList({QStringLiteral("Cut_clip(1).mp4"), QStringLiteral("Cut_clip.mp4")}));
}

void TestCutJob::awkwardPathsSurvive()
{
    const QString folder = m_dir.filePath(QStringLiteral("my clips ☂"));
    QVERIFY(QDir().mkpath(folder));
    const QString name = QStringLiteral("a \"quoted\" clip ünï.mp4");
    const QString source = folder + QLatin1Char('/') + name;
    QVERIFY(QFile::copy(m_clip2, source));
    const QByteArray sum = testutil::checksum(source);
    m_out = m_outDir->filePath(QStringLiteral("out put ü"));
    QVERIFY(QDir().mkpath(m_out));

    QSignalSpy spy(m_window.get(), &DRUI::CutProcessCallBack);
    QCOMPARE(cut(source, 1, 2), 0);
    const QString output = m_out + QStringLiteral("/Cut_") + name;
    QCOMPARE(spy.last().at(2).toString(), output);
    QCOMPARE(allFiles(m_out), QStringList{QStringLiteral("Cut_") + name});
    QVERIFY(qAbs(testutil::probeDuration(output) - 1.0) <= 0.5);
    QCOMPARE(testutil::checksum(source), sum);
}

void TestCutJob::failureLeavesNothing_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<QString>("fakeMode"); // empty: the real tool; "-": no tool at all
    QTest::newRow("random bytes") << QStringLiteral("noise.mp4") << qint64(1) << qint64(3)
                                  << QString();
    QTest::newRow("missing source")
        << QStringLiteral("gone.mp4") << qint64(1) << qint64(3) << QString();
    QTest::newRow("tool missing") << QStringLiteral("clip.mp4") << qint64(1) << qint64(3)
                                  << QStringLiteral("-");
    QTest::newRow("tool crashes") << QStringLiteral("clip.mp4") << qint64(1) << qint64(3)
                                  << QStringLiteral("crash");
    QTest::newRow("tool exits with an error")
        << QStringLiteral("clip.mp4") << qint64(1) << qint64(3) << QStringLiteral("fail");
    QTest::newRow("tool writes nothing")
        << QStringLiteral("clip.mp4") << qint64(1) << qint64(3) << QStringLiteral("silent");
}

void TestCutJob::failureLeavesNothing()
{
    QFETCH(QString, source);
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QFETCH(QString, fakeMode);
    if (fakeMode == QLatin1String("-")) {
        m_window->m_pCutProcess->setProgram(m_dir.filePath(QStringLiteral("no-tool")));
    } else if (!fakeMode.isEmpty()) {
        qputenv("VISTREL_FAKE_MODE", fakeMode.toUtf8());
        m_window->m_pCutProcess->setProgram(fakeTool());
    }
    const QByteArray sum = testutil::checksum(m_dir.filePath(source));

    QSignalSpy spy(m_window.get(), &DRUI::CutProcessCallBack);
    QCOMPARE(cut(m_dir.filePath(source), start, end), 1);
    checkReports(spy, 1);
    QCOMPARE(allFiles(m_out), QStringList());
    QCOMPARE(testutil::checksum(m_dir.filePath(source)), sum);
}

void TestCutJob::cancelLeavesNothing_data()
{
    QTest::addColumn<bool>("whileSilent");
    QTest::newRow("cancel as progress arrives") << false;
    QTest::newRow("cancel while the tool is silent") << true;
}

void TestCutJob::cancelLeavesNothing()
{
    QFETCH(bool, whileSilent);
    qputenv("VISTREL_FAKE_MODE", "slow");
    m_window->m_pCutProcess->setProgram(fakeTool());
    QSignalSpy spy(m_window.get(), &DRUI::CutProcessCallBack);
    QMetaObject::Connection onProgress;
    if (whileSilent) {
        // Fires inside the job's wait: the window's event loop stays alive during a cut.
        QTimer::singleShot(400, m_window.get(), [] { DRUI::m_bisFinished = true; });
    } else {
        onProgress = connect(m_window.get(), &DRUI::CutProcessCallBack, this, [](int percent) {
            if (percent < 100)
                DRUI::m_bisFinished = true;
        });
    }
    QCOMPARE(cut(m_clip20, 5, 12), 2);
    disconnect(onProgress);
    checkReports(spy, 2);
    QCOMPARE(spy.first().at(0).toInt(), 14); // time=1 s of a 7 s span
    QCOMPARE(allFiles(m_out), QStringList());
}

void TestCutJob::backwardSpanRunsNothing_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::newRow("end equal to start") << qint64(7) << qint64(7);
    QTest::newRow("end before start") << qint64(12) << qint64(5);
}

void TestCutJob::backwardSpanRunsNothing()
{
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    m_window->m_strCutSrcFile = m_clip20;
    m_window->m_n64StartTime = start;
    m_window->m_n64EndTime = end;
    QSignalSpy runs(m_window->m_pCutProcess, &ToolRun::finished);
    QSignalSpy reports(m_window.get(), &DRUI::CutProcessCallBack);
    const QStringList seen = answeringModals([&] { m_window->btnSlotLayout3Cut(); }, m_out);
    // A message instead of the folder choice; no run, no report, no file.
    QCOMPARE(seen, QStringList{QStringLiteral("CMessageBox")});
    QCOMPARE(runs.size(), 0);
    QCOMPARE(reports.size(), 0);
    QCOMPARE(allFiles(m_out), QStringList());
}

void TestCutJob::cutButtonRunsTheJobUnderItsDialog()
{
    m_window->m_strCutSrcFile = m_clip20;
    m_window->m_n64StartTime = 2;
    m_window->m_n64EndTime = 6;
    DRUI::m_bisFinished = true; // as the previous job's dialog leaves it
    // The chooser opens where the last cut went; an earlier test's folder is gone by now.
    m_window->m_strCutOutDir = m_out;
    QSignalSpy reports(m_window.get(), &DRUI::CutProcessCallBack);
    const QStringList seen = answeringModals([&] { m_window->btnSlotLayout3Cut(); }, m_out);
    QCOMPARE(seen, QStringList({QStringLiteral("QFileDialog"), QStringLiteral("CMessageBox")}));
    QCOMPARE(m_window->m_strCutOutDir, m_out);
    checkReports(reports, 0);
    QCOMPARE(allFiles(m_out), QStringList{QStringLiteral("Cut_clip.mp4")});
}

VISTREL_UI_TEST_MAIN(TestCutJob)

#include "tst_cutjob.moc"
