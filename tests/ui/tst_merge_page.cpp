// The merge page offscreen: the 20-file limit, moving rows and the buttons' states, and the
// merge list kept across visits. (The folder list and its durations: media/tst_batchprobe.)
#include "MediaTestUtil.h"
#include "ModalAnswerer.h"
#include "WindowFixture.h"
#include "library/BatchProbe.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedLayout>
#include <QTableWidget>
#include <QtTest>

#include <memory>

class TestMergePage : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void twentyFilesAtMost_data();
    void twentyFilesAtMost();
    void moveRows_data();
    void moveRows();
    void mergeListKeptAcrossVisits();
    void mergeButton_data();
    void mergeButton();
    void missingToolIsToldAndForgotten_data();
    void missingToolIsToldAndForgotten();

private:
    // Clicks `row` of `table` as the user would (the row must be on screen).
    void clickRow(QTableWidget* table, int row, bool twice = false);
    // Queues the folder-list rows of `names` in this order with a click and Add each.
    void queue(const QStringList& names);
    // "name time" of every merge-list row, top to bottom.
    QStringList mergeList() const;
    int selectedMergeRow() const;

    QTemporaryDir m_folder; // one.mp4 (1 s, oldest), two.mp4 (2 s), three.mp4 (3 s, newest)
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<DRUI> m_window;
    std::unique_ptr<testui::ModalAnswerer> m_boxes;
};

void TestMergePage::initTestCase()
{
    const QDateTime base = QDateTime::currentDateTime().addDays(-1);
    const QStringList names{QStringLiteral("one.mp4"), QStringLiteral("two.mp4"),
                            QStringLiteral("three.mp4")};
    for (int i = 0; i < names.size(); ++i) {
        testutil::ClipOptions opts;
        opts.seconds = i + 1;
        opts.size = QStringLiteral("160x120");
        const QString path = m_folder.filePath(names[i]);
        QVERIFY(testutil::makeClip(path, opts));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(base.addSecs(60 * i), QFileDevice::FileModificationTime));
    }
}

void TestMergePage::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    m_window = testui::makeWindow(m_root->path(), m_root->path());
    m_window->m_pDeviceProcess->setProgram(testutil::ffmpegPath());
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->m_pMergeDirEdit->setText(m_folder.path());
    m_window->btnEditSlot();
    QCOMPARE(m_window->m_pStackedLayout->currentIndex(), 3);
    // The durations are probed in the background.
    QTRY_VERIFY(!m_window->findChild<BatchProbe*>()->isRunning());
    m_boxes = std::make_unique<testui::ModalAnswerer>();
}

void TestMergePage::cleanup()
{
    m_boxes.reset();
    m_window.reset();
    m_root.reset();
}

void TestMergePage::clickRow(QTableWidget* table, int row, bool twice)
{
    const QPoint at = table->visualItemRect(table->item(row, 0)).center();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
    if (twice) {
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(table->viewport(), Qt::LeftButton, {}, at);
    }
}

void TestMergePage::queue(const QStringList& names)
{
    QTableWidget* source = m_window->m_pSourceVideoTable;
    for (const QString& name : names) {
        const QList<QTableWidgetItem*> found = source->findItems(name, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        clickRow(source, found.first()->row());
        QVERIFY(m_window->m_pAddButton->isEnabled());
        QTest::mouseClick(m_window->m_pAddButton, Qt::LeftButton);
    }
}

QStringList TestMergePage::mergeList() const
{
    QStringList rows;
    const QTableWidget* target = m_window->m_pTargetVideoTable;
    for (int row = 0; row < target->rowCount(); ++row)
        rows.append(target->item(row, 0)->text() + QLatin1Char(' ') + target->item(row, 2)->text());
    return rows;
}

int TestMergePage::selectedMergeRow() const
{
    const QList<QTableWidgetItem*> cells = m_window->m_pTargetVideoTable->selectedItems();
    return cells.size() == 3 ? cells.first()->row() : -1;
}

void TestMergePage::twentyFilesAtMost_data()
{
    QTest::addColumn<bool>("doubleClick");
    QTest::newRow("Add button") << false;
    QTest::newRow("double-click") << true;
}

void TestMergePage::twentyFilesAtMost()
{
    QFETCH(bool, doubleClick);
    QTableWidget* source = m_window->m_pSourceVideoTable;
    QTableWidget* target = m_window->m_pTargetVideoTable;
    const auto add = [&] {
        clickRow(source, 1, doubleClick);
        if (!doubleClick)
            QTest::mouseClick(m_window->m_pAddButton, Qt::LeftButton);
    };
    for (int i = 0; i < 19; ++i) {
        add();
        QCOMPARE(m_window->m_pMergeButton->isEnabled(), i >= 1);
    }
    QCOMPARE(target->rowCount(), 19);
    QVERIFY(m_boxes->seen.isEmpty());
    add();
    QCOMPARE(target->rowCount(), 20);
    QVERIFY(m_boxes->seen.isEmpty());
    add();
    QCOMPARE(target->rowCount(), 20);
    QCOMPARE(m_boxes->seen.size(), 1);
    QCOMPARE(m_boxes->seen.first().text,
             QStringLiteral("You can merge multiple files no more than 20 files at one time"));

    // With nothing selected in the folder list the limit is still told.
    source->clearSelection();
    m_window->btnAddSlot();
    QCOMPARE(m_boxes->seen.size(), 2);
    QCOMPARE(target->rowCount(), 20);
    QCOMPARE(target->item(19, 0)->text(), QStringLiteral("two.mp4"));
}

void TestMergePage::moveRows_data()
{
    QTest::addColumn<QStringList>("queued");
    QTest::addColumn<int>("clicked");
    QTest::addColumn<QString>("moves"); // 'u' Up, 'd' Down
    QTest::addColumn<QStringList>("order");
    QTest::addColumn<int>("selected");
    QTest::addColumn<bool>("upEnabled");
    QTest::addColumn<bool>("downEnabled");

    const QString one = QStringLiteral("one.mp4");
    const QString two = QStringLiteral("two.mp4");
    const QString three = QStringLiteral("three.mp4");
    const QString r1 = QStringLiteral("one.mp4 00:00:01");
    const QString r2 = QStringLiteral("two.mp4 00:00:02");
    const QString r3 = QStringLiteral("three.mp4 00:00:03");

    QTest::newRow("second of two up: Up off, Down stays off")
        << QStringList{one, two} << 1 << QStringLiteral("u") << QStringList{r2, r1} << 0 << false
        << false;
    QTest::newRow("middle of three up") << QStringList{one, two, three} << 1 << QStringLiteral("u")
                                        << QStringList{r2, r1, r3} << 0 << false << true;
    QTest::newRow("last of three up turns Down on")
        << QStringList{one, two, three} << 2 << QStringLiteral("u") << QStringList{r1, r3, r2} << 1
        << true << true;
    QTest::newRow("first of three down twice")
        << QStringList{one, two, three} << 0 << QStringLiteral("dd") << QStringList{r2, r3, r1} << 2
        << true << false;
}

void TestMergePage::moveRows()
{
    QFETCH(QStringList, queued);
    QFETCH(int, clicked);
    QFETCH(QString, moves);
    QFETCH(QStringList, order);
    QFETCH(int, selected);
    QFETCH(bool, upEnabled);
    QFETCH(bool, downEnabled);
    queue(queued);
    clickRow(m_window->m_pTargetVideoTable, clicked);
    QVERIFY(m_window->m_pDelButton->isEnabled());
    for (QChar move : moves)
        QTest::mouseClick(move == QLatin1Char('u') ? m_window->m_pUpButton
                                                   : m_window->m_pDownButton,
                          Qt::LeftButton);
    QCOMPARE(mergeList(), order);
    QCOMPARE(selectedMergeRow(), selected);
    QCOMPARE(m_window->m_pUpButton->isEnabled(), upEnabled);
    QCOMPARE(m_window->m_pDownButton->isEnabled(), downEnabled);
}

void TestMergePage::mergeListKeptAcrossVisits()
{
    queue({QStringLiteral("two.mp4"), QStringLiteral("one.mp4"), QStringLiteral("three.mp4")});
    const QStringList before = mergeList();
    QPushButton* back = nullptr;
    for (QPushButton* button : m_window->m_pLayout4Widget->findChildren<QPushButton*>()) {
        if (button->text() == QLatin1String("Back"))
            back = button;
    }
    QVERIFY(back);
    QTest::mouseClick(back, Qt::LeftButton);
    QCOMPARE(m_window->m_pStackedLayout->currentIndex(), 0);
    m_window->btnEditSlot();
    QCOMPARE(m_window->m_pStackedLayout->currentIndex(), 3);
    QCOMPARE(mergeList(), before);
    QVERIFY(m_window->m_pMergeButton->isEnabled());

    // Deleting down to one row leaves nothing to merge.
    for (int row : {2, 0}) {
        clickRow(m_window->m_pTargetVideoTable, row);
        QTest::mouseClick(m_window->m_pDelButton, Qt::LeftButton);
    }
    QCOMPARE(mergeList(), QStringList{before.at(1)});
    QVERIFY(!m_window->m_pMergeButton->isEnabled());
}

void TestMergePage::mergeButton_data()
{
    // After queueing: "delete" deletes a queued file, "browse" lists another folder (without
    // those files) in the directory box.
    QTest::addColumn<QString>("after");
    QTest::addColumn<QStringList>("modals"); // what the user sees, in order
    QTest::addColumn<QString>("told");       // the start of the last box's text
    const QStringList modals{QStringLiteral("QFileDialog"), QStringLiteral("CMessageBox")};
    QTest::newRow("refused: told before any dialog")
        << QStringLiteral("delete") << modals
        << QStringLiteral("Merge failed, these files are no longer in the video directory:");
    QTest::newRow("merged under the dialog")
        << QString() << modals << QStringLiteral("Merge success, file path is ");
    QTest::newRow("the queued files, whatever the box shows since")
        << QStringLiteral("browse") << modals << QStringLiteral("Merge success, file path is ");
}

void TestMergePage::mergeButton()
{
    QFETCH(QString, after);
    QFETCH(QStringList, modals);
    QFETCH(QString, told);
    // A folder of its own, so a queued file can go.
    QTemporaryDir in;
    for (const QString& name : {QStringLiteral("one.mp4"), QStringLiteral("two.mp4")})
        QVERIFY(QFile::copy(m_folder.filePath(name), in.filePath(name)));
    m_window->m_pMergeDirEdit->setText(in.path());
    m_window->btnEditSlot();
    QTRY_VERIFY(!m_window->findChild<BatchProbe*>()->isRunning());
    queue({QStringLiteral("one.mp4"), QStringLiteral("two.mp4")});
    const bool gone = after == QLatin1String("delete");
    if (gone)
        QVERIFY(QFile::remove(in.filePath(QStringLiteral("two.mp4"))));
    QTemporaryDir outDir;
    if (after == QLatin1String("browse")) {
        m_window->m_pMergeDirEdit->setText(outDir.path());
        m_window->btnEditSlot();
    }
    m_boxes->folder = outDir.path();
    QSignalSpy reports(m_window.get(), &DRUI::AddProcessCallBack);

    QTest::mouseClick(m_window->m_pMergeButton, Qt::LeftButton);

    QStringList seen;
    for (const testui::SeenModal& m : m_boxes->seen)
        seen << m.type;
    QCOMPARE(seen, modals);
    QVERIFY2(m_boxes->seen.last().text.startsWith(told), qPrintable(m_boxes->seen.last().text));
    QCOMPARE(testutil::entriesIn(outDir.path()).size(), gone ? 0 : 1);
    QCOMPARE(reports.isEmpty(), gone);
}

void TestMergePage::missingToolIsToldAndForgotten_data()
{
    QTest::addColumn<QString>("program"); // in the folder listed, or absolute
    QTest::addColumn<QString>("told");
    QTest::newRow("missing") << "no-tool"
                             << "could not be started";
    QTest::newRow("failing without a word on the files") << "/bin/false"
                                                         << "failed (exit code 1)";
}

void TestMergePage::missingToolIsToldAndForgotten()
{
    QFETCH(QString, program);
    QFETCH(QString, told);
    // A folder the page has not described yet, listed without a working tool: told once, and
    // not taken for unreadable files.
    QTemporaryDir in;
    QVERIFY(QFile::copy(m_folder.filePath(QStringLiteral("one.mp4")),
                        in.filePath(QStringLiteral("again.mp4"))));
    const QString tool = m_window->m_pDeviceProcess->program();
    m_window->m_pDeviceProcess->setProgram(QDir(in.path()).absoluteFilePath(program));
    m_window->m_pMergeDirEdit->setText(in.path());
    m_window->btnEditSlot();
    QTRY_COMPARE(m_boxes->texts().size(), 1);
    QVERIFY2(m_boxes->texts().first().startsWith(QStringLiteral("The videos were not checked: The "
                                                                "media tool ") +
                                                 told),
             qPrintable(m_boxes->texts().first()));
    QCOMPARE(m_window->m_pSourceVideoTable->item(0, 2)->text(), QString());

    // The tool put back: the same file is described, without a restart, under a busy pointer.
    m_window->m_pDeviceProcess->setProgram(tool);
    m_window->btnEditSlot();
    QWidget* list = m_window->m_pSourceVideoTable->viewport();
    QCOMPARE(list->cursor().shape(), Qt::BusyCursor);
    QTRY_COMPARE(m_window->m_pSourceVideoTable->item(0, 2)->text(), QStringLiteral("00:00:01"));
    QTRY_VERIFY(!list->testAttribute(Qt::WA_SetCursor));
    QCOMPARE(m_boxes->texts().size(), 1);
}

VISTREL_UI_TEST_MAIN(TestMergePage)
#include "tst_merge_page.moc"
