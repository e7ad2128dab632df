// The job progress dialog: progress, the outcome shown once, and cancelling a running job.
#include "ModalAnswerer.h"
#include "WindowFixture.h"
#include "app/DRUI.h"
#include "dialogs/ScanUI.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <memory>

namespace
{

enum Kind { Merge = 1, Cut = 2 };

const QString kSource = QStringLiteral("/home/u/Videos/2024-05-01 10-00-00.mp4");
const QString kDestination = QStringLiteral("/home/u/Out/Cut_2024-05-01 10-00-00.mp4");

} // namespace

class TestScanUi : public QObject
{
    Q_OBJECT

    std::unique_ptr<DRUI> m_window;
    QTemporaryDir m_dir;

    void reportFor(int kind, int percent, const QString& current, const QString& destination,
                   int error)
    {
        if (kind == Merge)
            Q_EMIT m_window->AddProcessCallBack(percent, current, destination, error);
        else
            Q_EMIT m_window->CutProcessCallBack(percent, current, destination, error);
    }

    static QPushButton* button(SCANUI& dlg, const QString& text)
    {
        for (QPushButton* b : dlg.findChildren<QPushButton*>()) {
            if (b->text() == text)
                return b;
        }
        return nullptr;
    }

    void showDialog(SCANUI& dlg)
    {
        dlg.InitSlot(m_window.get());
        dlg.setGeometry(m_window->x() + 250, m_window->y() + 150, 500, 250);
        dlg.show();
    }

    static void askToClose(SCANUI& dlg, const QString& way)
    {
        if (way == QLatin1String("Cancel button"))
            QTest::mouseClick(button(dlg, QStringLiteral("Cancel")), Qt::LeftButton);
        else if (way == QLatin1String("close button"))
            QTest::mouseClick(button(dlg, QString()), Qt::LeftButton);
        else
            QTest::keyClick(&dlg, Qt::Key_Escape);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_window = testui::makeWindow(m_dir.path(), m_dir.path());
    }

    void cleanupTestCase() { m_window.reset(); }

    void init() { DRUI::m_bisFinished = false; }

    void finalReportClosesAndTellsOutcome_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("finalPercent");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("current");
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QString>("told");

        QTest::newRow("cut succeeds")
            << int(Cut) << 100 << 0 << kSource << kDestination
            << QStringLiteral("Cut success, file path is %1 ").arg(kDestination);
        QTest::newRow("merge succeeds")
            << int(Merge) << 100 << 0 << kSource << QStringLiteral("/o/Merge_x.mp4")
            << QStringLiteral("Merge success, file path is /o/Merge_x.mp4 ");
        const QString unicode = QStringLiteral("/tmp/Видео 日本 été/Cut_クリップ ü.mp4");
        QTest::newRow("non-Latin-1 paths")
            << int(Cut) << 100 << 0 << QStringLiteral("/tmp/Видео 日本 été/クリップ ü.mp4")
            << unicode << QStringLiteral("Cut success, file path is %1 ").arg(unicode);
        QTest::newRow("percent signs in paths")
            << int(Cut) << 100 << 0 << QStringLiteral("/v/100%2 done.mp4")
            << QStringLiteral("/o/%1 %3.mp4")
            << QStringLiteral("Cut success, file path is /o/%1 %3.mp4 ");
        QTest::newRow("cut fails")
            << int(Cut) << 100 << 1 << kSource << kDestination
            << QStringLiteral(
                   "Clip failed, not an valid format, it's better to clip created mp4 files");
        QTest::newRow("merge fails")
            << int(Merge) << 100 << 1 << kSource << kDestination
            << QStringLiteral(
                   "Merge failed, not an valid format, it's better to merge created mp4 files");
        QTest::newRow("fails before the end")
            << int(Cut) << 40 << 1 << kSource << kDestination
            << QStringLiteral(
                   "Clip failed, not an valid format, it's better to clip created mp4 files");
    }

    void finalReportClosesAndTellsOutcome()
    {
        QFETCH(int, kind);
        QFETCH(int, finalPercent);
        QFETCH(int, error);
        QFETCH(QString, current);
        QFETCH(QString, destination);
        QFETCH(QString, told);

        testui::ModalAnswerer answerer;
        SCANUI dlg;
        showDialog(dlg);
        QCOMPARE(QApplication::activeModalWidget(), &dlg);

        for (int percent = 5; percent < 100; percent += 5) {
            reportFor(kind, percent, current, destination, 0);
            QCOMPARE(SCANUI::m_progressBar->value(), percent);
            const QString text = dlg.m_pInfoLabel->text();
            QVERIFY2(text.contains(QStringLiteral("%1%").arg(percent)), qPrintable(text));
            QVERIFY2(text.contains(current), qPrintable(text));
            QVERIFY2(text.contains(destination), qPrintable(text));
        }
        QVERIFY(dlg.isVisible());
        QVERIFY(answerer.seen.isEmpty());

        reportFor(kind, finalPercent, current, destination, error);
        QVERIFY(!dlg.isVisible());
        QCOMPARE(answerer.seen.size(), 1);
        QCOMPARE(answerer.seen.first().text, told);
        QVERIFY(!answerer.seen.first().question);
        QVERIFY(!DRUI::m_bisFinished);
    }

    void cancelWhileJobRuns_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("question");

        const QString cut = QStringLiteral("Are you sure to cancel the video cut?");
        // Each way of asking, each answer once.
        QTest::newRow("Cancel button, OK") << int(Cut) << "Cancel button"
                                           << "OK" << cut;
        QTest::newRow("close button, NO") << int(Cut) << "close button"
                                          << "NO" << cut;
        QTest::newRow("Escape, NO") << int(Cut) << "Escape"
                                    << "NO" << cut;
        QTest::newRow("merge, OK")
            << int(Merge) << "Cancel button"
            << "OK" << QStringLiteral("Are you sure to cancel the the video merge?");
    }

    // A job that reports progress from the event loop, as the real jobs do while they wait for
    // the tool, and stops when the dialog raises the stop request.
    void cancelWhileJobRuns()
    {
        QFETCH(int, kind);
        QFETCH(QString, way);
        QFETCH(QString, answer);
        QFETCH(QString, question);

        testui::ModalAnswerer answerer;
        answerer.answer = answer;
        SCANUI dlg;
        showDialog(dlg);

        int percent = 0;
        int percentAtQuestion = -1;
        answerer.hook = [&](CMessageBox*, const testui::SeenModal& box) {
            if (box.question)
                percentAtQuestion = percent;
            return false;
        };
        QEventLoop jobLoop;
        QTimer job;
        connect(&job, &QTimer::timeout, this, [&] {
            if (DRUI::m_bisFinished) {
                job.stop();
                reportFor(kind, 100, kSource, kDestination, 2);
                jobLoop.quit();
                return;
            }
            if (percent >= 60) {
                job.stop();
                reportFor(kind, 100, kSource, kDestination, 0);
                jobLoop.quit();
                return;
            }
            reportFor(kind, ++percent, kSource, kDestination, 0);
        });
        job.start(20);
        QTimer::singleShot(100, &dlg, [&] { askToClose(dlg, way); });
        QTimer::singleShot(20000, &jobLoop, &QEventLoop::quit);
        jobLoop.exec();
        QVERIFY2(!job.isActive(), "the job never ended");

        QVERIFY(!answerer.seen.isEmpty());
        QCOMPARE(answerer.seen.first().text, question);
        QVERIFY(answerer.seen.first().question);
        QVERIFY(!dlg.isVisible());
        if (answer == QLatin1String("OK")) {
            QVERIFY(DRUI::m_bisFinished);
            QCOMPARE(SCANUI::m_progressBar->value(), 0);
            // The user asked for it: no "failed" box after the question.
            QCOMPARE(answerer.seen.size(), 1);
        } else {
            QVERIFY(!DRUI::m_bisFinished);
            QVERIFY2(percent > percentAtQuestion, "the job did not go on after NO");
            QCOMPARE(answerer.seen.size(), 2);
            QVERIFY(answerer.seen.last().text.contains(QStringLiteral("success")));
        }
    }

    void finalReportWhileAsking_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("told");
        QTest::addColumn<bool>("loopFirst"); // the job's loop ends, its report comes after

        const QString saved = QStringLiteral("Cut success, file path is %1 ").arg(kDestination);
        QTest::newRow("job succeeds") << 0 << saved << false;
        QTest::newRow("job fails")
            << 1
            << QStringLiteral(
                   "Clip failed, not an valid format, it's better to clip created mp4 files")
            << false;
        QTest::newRow("job's loop ends first") << 0 << saved << true;
    }

    void finalReportWhileAsking()
    {
        QFETCH(int, error);
        QFETCH(QString, told);
        QFETCH(bool, loopFirst);

        testui::ModalAnswerer answerer;
        SCANUI dlg;
        showDialog(dlg);
        reportFor(Cut, 30, kSource, kDestination, 0);

        answerer.hook = [&](CMessageBox* box, const testui::SeenModal& seen) {
            if (!seen.question)
                return false;
            // The job ends while the user still reads the question.
            QTimer::singleShot(0, box, [&] {
                if (loopFirst)
                    Q_EMIT m_window->JobEnded();
                else
                    reportFor(Cut, 100, kSource, kDestination, error);
            });
            return true;
        };
        bool stuck = false;
        QTimer::singleShot(5000, &dlg, [&] {
            stuck = true;
            dlg.m_cancelBox.Close();
        });
        QTest::mouseClick(button(dlg, QStringLiteral("Cancel")), Qt::LeftButton);
        if (loopFirst)
            reportFor(Cut, 100, kSource, kDestination, error);

        QVERIFY2(!stuck, "the question stayed open after the job ended");
        QVERIFY(!dlg.m_cancelBox.isVisible());
        QVERIFY(!dlg.isVisible());
        QCOMPARE(answerer.seen.size(), 2);
        QCOMPARE(answerer.seen.at(1).text, told);
        QVERIFY(!DRUI::m_bisFinished);
    }

    void earlierFailureDoesNotEndNextDialog()
    {
        testui::ModalAnswerer answerer;
        {
            SCANUI failed;
            showDialog(failed);
            reportFor(Cut, 100, kSource, kDestination, 1);
        }
        answerer.seen.clear();
        answerer.answer = QStringLiteral("NO");

        SCANUI dlg;
        showDialog(dlg);
        QTest::mouseClick(button(dlg, QStringLiteral("Cancel")), Qt::LeftButton);
        QTRY_COMPARE(answerer.seen.size(), 1);
        QVERIFY(answerer.seen.first().question);
        QVERIFY(dlg.isVisible());
        QVERIFY(!DRUI::m_bisFinished);

        answerer.answer = QStringLiteral("OK");
        reportFor(Cut, 100, kSource, kDestination, 0);
        QVERIFY(!dlg.isVisible());
    }
};

VISTREL_UI_TEST_MAIN(TestScanUi)
#include "tst_scanui.moc"
