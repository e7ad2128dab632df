// Names and paths of real length: every column of the lists, every line of a message and the end
// of every path in the progress dialog stay in view; icon-only buttons say what they do, and
// every text of the window is in the program's one face.
#include "MediaTestUtil.h"
#include "WindowFixture.h"
#include "dialogs/MessageBox.h"
#include "dialogs/ScanUI.h"
#include "library/BatchProbe.h"
#include "media/ToolRun.h"

#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QStackedLayout>
#include <QTableWidget>
#include <QtTest>

#include <memory>

namespace
{

const QString kFolder =
    QStringLiteral("/home/alexandra/Videos/Holiday in Southern Tuscany with the whole family");
const QStringList kNames{
    QStringLiteral("2024-05-01 14-03-09.mp4"),
    QStringLiteral("Holiday in Southern Tuscany with the whole family – part 2 (final cut).mp4"),
    QStringLiteral("Quarterly_review_meeting_recording_with_the_sales_team_2024-Q2.mp4"),
};

} // namespace

class TestLongNames : public QObject
{
    Q_OBJECT

    QTemporaryDir m_videos;
    QTemporaryDir m_settings;
    std::unique_ptr<DRUI> m_window;

private Q_SLOTS:
    void initTestCase()
    {
        testutil::ClipOptions clip;
        clip.size = QStringLiteral("64x48");
        clip.audio = false;
        for (const QString& name : kNames)
            QVERIFY(testutil::makeClip(m_videos.filePath(name), clip));
        m_window = testui::makeWindow(m_settings.path(), m_videos.path());
        m_window->m_pDeviceProcess->setProgram(testutil::ffmpegPath());
        m_window->btnMontageSlot();
        m_window->btnEditSlot();
        QTRY_VERIFY(!m_window->findChild<BatchProbe*>()->isRunning());
        for (int row = 0; row < kNames.size(); ++row) {
            m_window->m_pSourceVideoTable->selectRow(row);
            m_window->btnAddSlot();
        }
        QCOMPARE(m_window->m_pTargetVideoTable->rowCount(), kNames.size());
    }

    void cleanupTestCase() { m_window.reset(); }

    void listsKeepEveryColumnInView_data()
    {
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("list");
        QTest::newRow("merge folder list") << 3 << "source";
        QTest::newRow("merge list") << 3 << "target";
        QTest::newRow("cut list") << 2 << "cut";
    }

    void listsKeepEveryColumnInView()
    {
        QFETCH(int, page);
        QFETCH(QString, list);
        m_window->m_pStackedLayout->setCurrentIndex(page);
        QTableWidget* table = list == QLatin1String("source")   ? m_window->m_pSourceVideoTable
                              : list == QLatin1String("target") ? m_window->m_pTargetVideoTable
                                                                : m_window->m_pCutVideoTable;
        QCOMPARE(table->rowCount(), kNames.size());
        const int last = table->columnCount() - 1;
        QTRY_VERIFY(table->isVisible() && table->horizontalScrollBar()->maximum() == 0 &&
                    table->columnViewportPosition(last) + table->columnWidth(last) <=
                        table->viewport()->width());
        // Size and Time show whole, no name wraps out of its row, and the name, elided in its
        // middle, is whole in its tooltip (the merge list's shows the file's folder too).
        const QAbstractItemView* view = table;
        for (int column = 1; column <= last; ++column)
            QVERIFY(table->columnWidth(column) >= view->sizeHintForColumn(column));
        for (int row = 0; row < table->rowCount(); ++row) {
            QVERIFY(table->item(row, last) && !table->item(row, last)->text().isEmpty());
            QVERIFY(table->rowHeight(row) >= view->sizeHintForRow(row));
            const QString tip = table->item(row, 0)->toolTip();
            QVERIFY2(tip == table->item(row, 0)->text() ||
                         tip.endsWith(QLatin1Char('/') + table->item(row, 0)->text()),
                     qPrintable(tip));
        }
    }

    void messageShowsEveryLine_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("end");
        QTest::newRow("cut success, long path")
            << QStringLiteral("Cut success, file path is %1/Cut_%2 ").arg(kFolder, kNames[1])
            << "(final cut).mp4";
        QTest::newRow("path without blanks")
            << QStringLiteral("Cut success, file path is /home/alexandra/Videos/"
                              "Familienurlaub_in_der_Toskana_mit_der_ganzen_Familie_im_Sommer_"
                              "2024/Cut_%1 ")
                   .arg(kNames[2])
            << "2024-Q2.mp4";
        QTest::newRow("recording stopped")
            << QStringLiteral("The recording stopped unexpectedly: [x11grab @ 0x55d0c4a3f2c0] "
                              "Cannot get the image data event_error: response_type:0 "
                              "error_code:8 sequence:12 resource_id:419 major_code:73 "
                              "minor_code:0\nWhat was recorded is kept in %1.")
                   .arg(kNames[0])
            << "14-03-09.mp4.";
    }

    void messageShowsEveryLine()
    {
        QFETCH(QString, text);
        QFETCH(QString, end);
        CMessageBox box;
        box.PlaceOver(m_window.get());
        box.InitInfoDialog(text);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));

        QCOMPARE(box.width(), 400);
        QVERIFY(box.screen()->availableGeometry().contains(box.geometry()));
        const QLabel* label = box.m_pMessageLabel;
        QVERIFY(box.rect().contains(QRect(label->mapTo(&box, QPoint()), label->size())));
        QVERIFY(label->height() >= label->heightForWidth(label->width()));
        // Nothing runs past the right edge, and the file name at the end shows.
        QString shown = label->text();
        for (const QString& word :
             shown.split(QRegularExpression(QStringLiteral("[ \\n\\x{200B}]")), Qt::SkipEmptyParts))
            QVERIFY2(label->fontMetrics().horizontalAdvance(word) <= label->contentsRect().width(),
                     qPrintable(word));
        QVERIFY2(shown.remove(QChar(0x200B)).trimmed().endsWith(end), qPrintable(shown));
    }

    void progressKeepsTheEndOfEachPath_data()
    {
        QTest::addColumn<bool>("merge");
        QTest::newRow("cut") << false;
        QTest::newRow("merge") << true;
    }

    void progressKeepsTheEndOfEachPath()
    {
        QFETCH(bool, merge);
        const QString current = kFolder + QLatin1Char('/') + kNames[1];
        const QString destination = kFolder + QStringLiteral("/Merge_") + kNames[0];
        SCANUI dlg;
        dlg.InitSlot(m_window.get());
        dlg.show();
        if (merge)
            Q_EMIT m_window->AddProcessCallBack(45, current, destination, 0);
        else
            Q_EMIT m_window->CutProcessCallBack(45, current, destination, 0);

        const QLabel* label = dlg.m_pInfoLabel;
        const QStringList lines = label->text().split(QLatin1Char('\n'));
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], QStringLiteral("  Process: 45%"));
        for (const QString& line : lines)
            QVERIFY2(label->fontMetrics().horizontalAdvance(line) <= label->contentsRect().width(),
                     qPrintable(line));
        const QString words = merge ? QStringLiteral("  Current Merger: /home/")
                                    : QStringLiteral("  Current Cut: /home/");
        QVERIFY2(lines[1].startsWith(words) && lines[1].contains(QChar(0x2026)) &&
                     lines[1].endsWith(QStringLiteral("(final cut).mp4")),
                 qPrintable(lines[1]));
        QVERIFY2(lines[2].startsWith(QStringLiteral("  Destination: /home/")) &&
                     lines[2].endsWith(kNames[0]),
                 qPrintable(lines[2]));
        // Pretended job: the dialog goes without an outcome.
        dlg.hide();
    }

    void iconButtonsSayWhatTheyDoInOneFace()
    {
        CMessageBox box;
        box.InitInfoDialog(QStringLiteral("Done."));
        SCANUI dlg;
        for (const QWidget* root : {static_cast<QWidget*>(m_window.get()),
                                    static_cast<QWidget*>(&box), static_cast<QWidget*>(&dlg)}) {
            for (const QPushButton* button : root->findChildren<QPushButton*>()) {
                if (button->text().isEmpty() && !button->icon().isNull())
                    QVERIFY2(!button->toolTip().isEmpty(), root->metaObject()->className());
            }
        }
        // Every widget that shows a text; a list's items and header take the list's face.
        for (const QWidget* widget : m_window->findChildren<QWidget*>()) {
            const auto* label = qobject_cast<const QLabel*>(widget);
            const auto* button = qobject_cast<const QAbstractButton*>(widget);
            if ((label && !label->text().isEmpty()) || (button && !button->text().isEmpty()) ||
                qobject_cast<const QAbstractItemView*>(widget) ||
                qobject_cast<const QLineEdit*>(widget))
                QVERIFY2(QFontInfo(widget->font()).family() == QLatin1String("Carlito"),
                         widget->metaObject()->className());
        }
    }
};

VISTREL_UI_TEST_MAIN(TestLongNames)
#include "tst_longnames.moc"
