// The cut page offscreen: its list, the choice of a file, the slider, the marks and the buttons.
#include "MediaTestUtil.h"
#include "ModalAnswerer.h"
#include "WindowFixture.h"
#include "media/ToolRun.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStackedLayout>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace
{

void makeFile(const QString& path, const QString& modified)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.setFileTime(QDateTime::fromString(modified, QStringLiteral("yyyy-MM-dd hh:mm")),
                             QFileDevice::FileModificationTime));
}

// A drag of the handle to `seconds`.
void drag(QSlider* slider, int seconds)
{
    slider->setSliderDown(true);
    slider->setSliderPosition(seconds);
    slider->setSliderDown(false);
}

} // namespace

class TestCutPage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();

    void choosingAFileSizesTheSlider();
    void buttonsFollowTheMarks();
    void marksTakeTheDraggedPosition();
    void unreadableFileRefusesMarks_data();
    void unreadableFileRefusesMarks();
    void folderEditRefreshesOnFocusOut();
    void probeOutlivingItsLimitIsKilled();
    void cutButton_data();
    void cutButton();

private:
    QStringList rows() const;
    // A real click on the row that shows `name`.
    void choose(const QString& name);
    void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }

    QTemporaryDir m_dir;
    QString m_folder;
    std::unique_ptr<DRUI> m_window;
};

void TestCutPage::initTestCase()
{
    m_folder = m_dir.filePath(QStringLiteral("videos"));
    QVERIFY(QDir().mkpath(m_folder));
    // The fake tool reads "broken" as invalid data and "live" as of unknown length; every
    // other file lasts 00:02:07.52.
    makeFile(m_folder + QStringLiteral("/older.mp4"), QStringLiteral("2023-01-01 10:00"));
    makeFile(m_folder + QStringLiteral("/broken.mp4"), QStringLiteral("2023-02-01 10:00"));
    makeFile(m_folder + QStringLiteral("/live.mp4"), QStringLiteral("2023-03-01 10:00"));
    makeFile(m_folder + QStringLiteral("/clip.mp4"), QStringLiteral("2023-06-01 10:00"));
    makeFile(m_folder + QStringLiteral("/notes.txt"), QStringLiteral("2023-07-01 10:00"));

    testutil::ClipOptions opts;
    opts.seconds = 6.5;
    QVERIFY(testutil::makeClip(m_dir.filePath(QStringLiteral("real.mp4")), opts));

    m_window = testui::makeWindow(m_dir.path(), m_folder);
    m_window->m_pCutProcess->setProgram(testutil::ffmpegPath());
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestCutPage::init()
{
    qputenv("VISTREL_FAKE_MODE", "probe");
    m_window->m_pDeviceProcess->setProgram(qEnvironmentVariable("VISTREL_SOURCE_DIR") +
                                           QStringLiteral("/tests/media/fakes/cut_fake_tool.sh"));
    m_window->m_pDeviceProcess->setTimeLimit(30000);
    m_window->m_pCutDirEdit->setText(m_folder);
    m_window->btnMontageSlot();
    QCOMPARE(m_window->m_pStackedLayout->currentIndex(), 2);
}

QStringList TestCutPage::rows() const
{
    QStringList names;
    const QTableWidget* table = m_window->m_pCutVideoTable;
    for (int row = 0; row < table->rowCount(); ++row)
        names << table->item(row, 0)->text();
    return names;
}

void TestCutPage::choose(const QString& name)
{
    QTableWidget* table = m_window->m_pCutVideoTable;
    const QList<QTableWidgetItem*> found = table->findItems(name, Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    table->scrollToItem(found.first());
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {},
                      table->visualItemRect(found.first()).center());
}

void TestCutPage::choosingAFileSizesTheSlider()
{
    QCOMPARE(rows(), QStringList({QStringLiteral("clip.mp4"), QStringLiteral("live.mp4"),
                                  QStringLiteral("broken.mp4"), QStringLiteral("older.mp4")}));
    drag(m_window->m_pSlider, 0);
    choose(QStringLiteral("clip.mp4"));
    QCOMPARE(m_window->m_strCutSrcFile, m_folder + QStringLiteral("/clip.mp4"));
    QCOMPARE(m_window->m_pSlider->minimum(), 0);
    QCOMPARE(m_window->m_pSlider->maximum(), 127);
    QCOMPARE(m_window->m_pSlider->value(), 0);
    QCOMPARE(m_window->m_pTimeLabel->text(), QStringLiteral("00:00:00/00:02:07"));
}

void TestCutPage::buttonsFollowTheMarks()
{
    choose(QStringLiteral("clip.mp4"));
    QVERIFY(m_window->m_pStartButton->isEnabled());
    QVERIFY(!m_window->m_pEndButton->isEnabled());
    QVERIFY(!m_window->m_pCutButton->isEnabled());

    drag(m_window->m_pSlider, 10);
    click(m_window->m_pStartButton);
    QVERIFY(m_window->m_pEndButton->isEnabled());
    QVERIFY(!m_window->m_pCutButton->isEnabled());
    drag(m_window->m_pSlider, 40);
    click(m_window->m_pEndButton);
    QVERIFY(m_window->m_pCutButton->isEnabled());
    click(m_window->m_pStartButton); // moves the start mark only
    QVERIFY(m_window->m_pCutButton->isEnabled());

    // A new choice asks for both marks again; the stored marks stay until then.
    choose(QStringLiteral("older.mp4"));
    QVERIFY(m_window->m_pStartButton->isEnabled());
    QVERIFY(!m_window->m_pEndButton->isEnabled());
    QVERIFY(!m_window->m_pCutButton->isEnabled());
    QCOMPARE(m_window->m_pStartLabel->text(), QStringLiteral("00:00"));
    QCOMPARE(m_window->m_pEndLabel->text(), QStringLiteral("00:00"));

    click(m_window->m_pStartButton);
    click(m_window->m_pEndButton);
    QVERIFY(m_window->m_pCutButton->isEnabled());
    QTableWidget* table = m_window->m_pCutVideoTable;
    table->clearSelection();
    Q_EMIT table->itemClicked(table->item(0, 0));
    QVERIFY(!m_window->m_pCutButton->isEnabled());
    QVERIFY(m_window->m_pStartButton->isEnabled());
}

void TestCutPage::marksTakeTheDraggedPosition()
{
    QSlider* slider = m_window->m_pSlider;
    choose(QStringLiteral("clip.mp4"));
    drag(slider, 10);
    QCOMPARE(m_window->m_pTimeLabel->text(), QStringLiteral("00:00:10/00:02:07"));
    click(m_window->m_pStartButton);
    drag(slider, 40);
    click(m_window->m_pEndButton);
    QCOMPARE(m_window->m_n64StartTime, qint64(10));
    QCOMPARE(m_window->m_n64EndTime, qint64(40));
    QCOMPARE(m_window->m_pStartLabel->text(), QStringLiteral("00:00:10"));
    QCOMPARE(m_window->m_pEndLabel->text(), QStringLiteral("00:00:40"));

    // Keys move the handle, and the position with it.
    slider->setFocus();
    QTest::keyClick(slider, Qt::Key_Right);
    QCOMPARE(slider->value(), 41);
    click(m_window->m_pEndButton);
    QCOMPARE(m_window->m_n64EndTime, qint64(41));

    // A second file starts at 0, the handle and the position both.
    choose(QStringLiteral("older.mp4"));
    QCOMPARE(slider->value(), 0);
    QCOMPARE(m_window->m_pTimeLabel->text(), QStringLiteral("00:00:00/00:02:07"));
    click(m_window->m_pStartButton);
    QCOMPARE(m_window->m_n64StartTime, qint64(0));

    drag(slider, 20);
    m_window->btnSlotBack();
    QCOMPARE(m_window->m_pStackedLayout->currentIndex(), 0);
    QCOMPARE(slider->value(), 0);
    QCOMPARE(m_window->m_n64StartTime, qint64(0));
}

void TestCutPage::unreadableFileRefusesMarks_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("told");
    const QString damaged = QStringLiteral("The file could not be read. It may be damaged.");
    QTest::newRow("damaged file") << QStringLiteral("broken.mp4") << damaged;
    QTest::newRow("unknown length") << QStringLiteral("live.mp4") << damaged;
    QTest::newRow("tool missing: not blamed on the file")
        << QStringLiteral("-")
        << QStringLiteral("The file was not checked: The media tool could "
                          "not be started");
    QTest::newRow("tool failing without a word on the file: not blamed on it")
        << QStringLiteral("!") << QStringLiteral("The file was not checked: The media tool failed");
}

void TestCutPage::unreadableFileRefusesMarks()
{
    QFETCH(QString, file);
    QFETCH(QString, told);
    choose(QStringLiteral("clip.mp4"));
    drag(m_window->m_pSlider, 30);

    testui::ModalAnswerer boxes;
    if (file == QLatin1String("-")) {
        m_window->m_pDeviceProcess->setProgram(m_dir.filePath(QStringLiteral("no-tool")));
        file = QStringLiteral("older.mp4");
    } else if (file == QLatin1String("!")) {
        m_window->m_pDeviceProcess->setProgram(QStringLiteral("/bin/false"));
        file = QStringLiteral("older.mp4");
    }
    choose(file);
    QCOMPARE(boxes.texts().size(), 1);
    QVERIFY2(boxes.texts().first().startsWith(told), qPrintable(boxes.texts().first()));
    QCOMPARE(m_window->m_n64Duration, qint64(0));
    QCOMPARE(m_window->m_pSlider->maximum(), 0);
    QVERIFY(m_window->m_pTimeLabel->text().contains(QLatin1String("unknown")));
    QVERIFY(!m_window->m_pStartButton->isEnabled());
    QVERIFY(!m_window->m_pEndButton->isEnabled());
    QVERIFY(!m_window->m_pCutButton->isEnabled());
}

void TestCutPage::folderEditRefreshesOnFocusOut()
{
    const QString other = m_dir.filePath(QStringLiteral("other folder"));
    QVERIFY(QDir().mkpath(other));
    makeFile(other + QStringLiteral("/only.mp4"), QStringLiteral("2023-01-01 10:00"));
    if (m_window->m_pAddButton)
        m_window->m_pAddButton->setEnabled(true);

    // The file chosen stays chosen while its folder is listed again, not in another's list.
    choose(QStringLiteral("clip.mp4"));
    QFocusEvent focusOut(QEvent::FocusOut);
    QApplication::sendEvent(m_window->m_pCutDirEdit, &focusOut);
    QCOMPARE(m_window->m_pCutVideoTable->currentItem()->text(), QStringLiteral("clip.mp4"));
    QVERIFY(m_window->m_pStartButton->isEnabled());
    m_window->m_pCutDirEdit->setText(other);
    QApplication::sendEvent(m_window->m_pCutDirEdit, &focusOut);
    QCOMPARE(rows(), QStringList{QStringLiteral("only.mp4")});
    QVERIFY(m_window->m_strCutSrcFile.isEmpty() && !m_window->m_pStartButton->isEnabled());
    if (m_window->m_pAddButton)
        QVERIFY(!m_window->m_pAddButton->isEnabled());

    m_window->m_pCutDirEdit->clear();
    QApplication::sendEvent(m_window->m_pCutDirEdit, &focusOut);
    QCOMPARE(rows(), QStringList{QStringLiteral("only.mp4")});

    // Enter lists the folder typed as well.
    m_window->m_pCutDirEdit->setText(m_folder);
    QTest::keyClick(m_window->m_pCutDirEdit, Qt::Key_Return);
    QVERIFY(rows().contains(QStringLiteral("clip.mp4")));
}

// The texts of long durations are checked in unit/tst_cutlogic and unit/tst_mergeprobe.
void TestCutPage::probeOutlivingItsLimitIsKilled()
{
    ToolRun* run = m_window->m_pDeviceProcess;
    qputenv("VISTREL_FAKE_MODE", "hang");
    run->setTimeLimit(1500);
    // What an earlier listing or probe left must never be taken for this file's duration.
    m_window->m_strDeviceText = QStringLiteral("  Duration: 01:00:00.00, start: 0.0\n");
    QCOMPARE(m_window->GetVedioTimeSeconds(m_folder + QStringLiteral("/clip.mp4")),
             QStringLiteral("00:00:42"));
    QVERIFY(!run->isRunning());
}

void TestCutPage::cutButton_data()
{
    QTest::addColumn<qint64>("start");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<bool>("chooseFolder");
    QTest::addColumn<QStringList>("modals"); // the modal windows the user sees, in order
    QTest::addColumn<QStringList>("files");  // what the output folder holds afterwards
    QTest::addColumn<double>("lasts");       // the cut's length, when it is made
    const QStringList cut{QStringLiteral("Cut_real.mp4")};
    const QStringList told{QStringLiteral("QFileDialog"), QStringLiteral("CMessageBox")};
    QTest::newRow("end before start: told, no folder asked")
        << qint64(4) << qint64(2) << true << QStringList{QStringLiteral("CMessageBox")}
        << QStringList() << 0.0;
    QTest::newRow("folder chooser canceled: nothing")
        << qint64(1) << qint64(3) << false << QStringList{QStringLiteral("QFileDialog")}
        << QStringList() << 0.0;
    QTest::newRow("a span: cut under the dialog, success told")
        << qint64(1) << qint64(3) << true << told << cut << 2.0;
    // The slider shows whole seconds (6 of 6.5): its end stands for the file's.
    QTest::newRow("end at the slider's end: to the end of the file")
        << qint64(1) << qint64(6) << true << told << cut << 5.5;
}

void TestCutPage::cutButton()
{
    QFETCH(qint64, start);
    QFETCH(qint64, end);
    QFETCH(bool, chooseFolder);
    QFETCH(QStringList, modals);
    QFETCH(QStringList, files);
    QFETCH(double, lasts);
    QTemporaryDir out;
    m_window->m_strCutSrcFile = m_dir.filePath(QStringLiteral("real.mp4"));
    m_window->m_n64Duration = 6;
    m_window->m_n64StartTime = start;
    m_window->m_n64EndTime = end;
    m_window->m_strCutOutDir = out.path();
    m_window->m_pCutDirEdit->setText(out.path()); // the folder listed gets the cut
    DRUI::m_bisFinished = true;                   // as the previous job's dialog leaves it
    QSignalSpy reports(m_window.get(), &DRUI::CutProcessCallBack);
    testui::ModalAnswerer answerer;
    if (chooseFolder)
        answerer.folder = out.path();
    m_window->btnSlotLayout3Cut();
    QTRY_COMPARE(answerer.seen.size(), modals.size());
    QStringList seen;
    for (const testui::SeenModal& m : answerer.seen)
        seen << m.type;
    QCOMPARE(seen, modals);
    QCOMPARE(testui::filesIn(out.path()), files);
    QCOMPARE(reports.isEmpty(), files.isEmpty());
    if (!files.isEmpty()) {
        QCOMPARE(reports.last().at(0).toInt(), 100);
        QCOMPARE(reports.last().at(3).toInt(), 0);
        QVERIFY(answerer.seen.last().text.startsWith(QLatin1String("Cut success")));
        QCOMPARE(rows(), files);
        const double duration = testutil::probeDuration(out.filePath(files.first()));
        QVERIFY2(qAbs(duration - lasts) < 0.2, qPrintable(QString::number(duration)));
    }
}

VISTREL_UI_TEST_MAIN(TestCutPage)

#include "tst_cutpage.moc"
