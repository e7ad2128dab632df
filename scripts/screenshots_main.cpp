// Shows every screen of the program in turn for scripts/screenshots: prints
// "ready NAME X Y W H" (the window's place on the screen) when a screen is painted, then waits
// for a line on standard input before the next one. The lists hold clips with names of real
// length, made with the real tool. Not shipped.
#include "MediaTestUtil.h"
#include "app/DRUI.h"
#include "dialogs/MessageBox.h"
#include "dialogs/ScanUI.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolTip>

#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>
#include <string>

namespace
{

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Announces a painted screen and waits for the caller to take its picture.
bool announce(const char* name, const QWidget& window)
{
    settle(400);
    const QRect g = window.frameGeometry();
    std::printf("ready %s %d %d %d %d\n", name, g.x(), g.y(), g.width(), g.height());
    std::fflush(stdout);
    std::string line;
    return bool(std::getline(std::cin, line));
}

// Names as recordings, cuts and a user's own files have them, with their lengths in seconds.
struct Clip {
    const char* name;
    int seconds;
};
const Clip kClips[] = {
    {"2024-05-01 14-03-09.mp4", 127},
    {"Holiday in Southern Tuscany with the whole family – part 2 (final cut).mp4", 754},
    {"Cut_2024-05-01 14-03-09.mp4", 65},
    {"Quarterly_review_meeting_recording_with_the_sales_team_2024-Q2.mp4", 42},
    {"2024-05-02 09-15-44(1).mp4", 9},
};

bool makeClips(const QString& folder)
{
    for (const Clip& clip : kClips) {
        testutil::ClipOptions opts;
        opts.seconds = clip.seconds;
        opts.size = QStringLiteral("64x48");
        opts.rate = 2;
        opts.keyframeEvery = 20;
        opts.audio = false;
        if (!testutil::makeClip(QDir(folder).filePath(QString::fromUtf8(clip.name)), opts))
            return false;
    }
    return true;
}

// Waits until the folder list has every duration (they are probed in the background).
void waitForDurations(const QTableWidget& table)
{
    for (int i = 0; i < 150; ++i) {
        bool all = table.rowCount() > 0;
        for (int row = 0; row < table.rowCount(); ++row)
            all = all && table.item(row, 2) && !table.item(row, 2)->text().isEmpty();
        if (all)
            return;
        settle(100);
    }
}

// Shows `text` as the tooltip of `widget`, as hovering at `at` within it would.
void showTip(QWidget* widget, const QPoint& at, const QString& text)
{
    QToolTip::showText(widget->mapToGlobal(at), text, widget);
}

// The example paths the boxes and the progress dialog show: real names of real length.
const QString kFolder =
    QStringLiteral("/home/alexandra/Videos/Holiday in Southern Tuscany with the whole family");
const QString kLongPath =
    QStringLiteral("/home/alexandra/Videos/Familienurlaub_in_der_Toskana_mit_der_ganzen_Familie_"
                   "2024/Cut_Holiday in Southern Tuscany with the whole family – part 2 (final "
                   "cut).mp4");

// The pages, the audio choices, the merge lists and two tooltips.
bool shootPages(DRUI& window)
{
    QTableWidget* sourceList = window.m_pSourceVideoTable;
    QTableWidget* mergeList = window.m_pTargetVideoTable;
    const std::pair<const char*, std::function<void()>> screens[] = {
        {"home", [&] { window.btnSlotBack(); }},
        {"record", [&] { window.btnSlot(); }},
        {"record-audio", [&] { window.m_pAudioComBox->showPopup(); }},
        {"cut",
         [&] {
             window.m_pAudioComBox->hidePopup();
             window.btnSlotBack();
             window.btnMontageSlot();
             window.m_pCutVideoTable->selectRow(1);
             window.CutTableItemClick(window.m_pCutVideoTable->item(1, 0));
         }},
        {"merge",
         [&] {
             window.btnSlotBack();
             window.btnEditSlot();
             waitForDurations(*sourceList);
             for (int row : {1, 0, 3}) {
                 sourceList->selectRow(row);
                 window.btnAddSlot();
             }
             mergeList->selectRow(0);
             sourceList->selectRow(1);
         }},
        {"merge-tooltip",
         [&] {
             // The long holiday name, elided in the folder list.
             const QTableWidgetItem* name =
                 sourceList->findItems(QString::fromUtf8(kClips[1].name), Qt::MatchExactly)
                     .value(0);
             if (name) {
                 const QRect cell = sourceList->visualItemRect(name);
                 showTip(sourceList->viewport(), cell.topLeft() + QPoint(20, 10), name->toolTip());
             }
         }},
        {"help-tooltip",
         [&] {
             QToolTip::hideText();
             QWidget* help = window.m_pLayout4Widget->childAt(915, 45);
             if (help)
                 showTip(help, QPoint(10, 10), help->toolTip());
         }},
    };
    for (const auto& [name, show] : screens) {
        show();
        if (!announce(name, window))
            return false;
    }
    QToolTip::hideText();
    window.btnSlotBack();
    return true;
}

// Two information boxes with long texts and the cancel question.
bool shootBoxes(DRUI& window)
{
    const QString boxes[] = {
        QStringLiteral("Cut success, file path is %1 ").arg(kLongPath),
        QStringLiteral("The recording stopped unexpectedly: [x11grab @ 0x55d0c4a3f2c0] Cannot get "
                       "the image data event_error: response_type:0 error_code:8 sequence:12 "
                       "resource_id:419 major_code:73 minor_code:0\nWhat was recorded is kept in "
                       "2024-05-01 14-03-09.mp4."),
    };
    const char* boxNames[] = {"info", "info-stopped"};
    for (int i = 0; i < 2; ++i) {
        CMessageBox box;
        box.PlaceOver(&window);
        box.InitInfoDialog(boxes[i]);
        box.show();
        if (!announce(boxNames[i], window))
            return false;
    }
    CMessageBox box;
    box.PlaceOver(&window);
    box.InitQuestionDialog(QStringLiteral("Are you sure to cancel the the video merge?"));
    box.show();
    return announce("question", window);
}

// The progress dialog of a cut and of a merge, part way.
bool shootProgress(DRUI& window)
{
    for (const bool merge : {false, true}) {
        SCANUI dlg;
        dlg.InitSlot(&window);
        dlg.setGeometry(window.x() + window.width() / 4, window.y() + window.height() / 4, 500,
                        250);
        dlg.show();
        if (merge) {
            Q_EMIT window.AddProcessCallBack(
                62, kLongPath, kFolder + QStringLiteral("/Merge_2024-05-02 09-15-44.mp4"), 0);
        } else {
            Q_EMIT window.CutProcessCallBack(
                45, kFolder + QStringLiteral("/2024-05-01 14-03-09.mp4"),
                kFolder + QStringLiteral("/Cut_2024-05-01 14-03-09.mp4"), 0);
        }
        if (!announce(merge ? "progress-merge" : "progress", window))
            return false;
        // Leave without the outcome box: the job is only pretended.
        SCANUI::m_bIsFinished = true;
        dlg.hide();
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    QTemporaryDir videos;
    if (!videos.isValid() || !makeClips(videos.path()))
        return 1;
    const QString ini = QDir::current().filePath(QStringLiteral("ScreenRecord.ini"));
    QSettings(ini, QSettings::IniFormat)
        .setValue(QStringLiteral("/screen_record/save_path"), videos.path());

    auto window = std::make_unique<DRUI>();
    window->m_strIniPath = ini;
    window->Init();
    window->show();
    const bool shot = shootPages(*window) && shootBoxes(*window) && shootProgress(*window);
    window.reset();
    return shot ? 0 : 1;
}
