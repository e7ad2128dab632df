// Merge page at scale: folders of 50 and 200 short 1080p recordings. Measures, from entering
// the page, the first row, all rows with durations, a second refresh of the unchanged folder,
// how long the entry call holds the window, and the worst lateness of a 10 ms timer.
//
//   bench_page --work DIR [--media DIR] [--counts 50,200]
#include "BenchUtil.h"
#include "BenchWindow.h"

#include "library/MediaProbe.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTableWidget>
#include <QThread>
#include <QTimer>

#include <algorithm>

using namespace bench;

namespace
{

constexpr int kTickMs = 10;
constexpr int kDistinctClips = 4;

// Short recordings: 1080p H.264 + AAC, 2 to 5 s, a keyframe every 2 s, mostly still.
QStringList makeClips(const QString& mediaDir)
{
    QStringList clips;
    QDir().mkpath(mediaDir);
    for (int i = 0; i < kDistinctClips; ++i) {
        const QString path = QDir(mediaDir).filePath(QStringLiteral("clip%1.mp4").arg(i));
        if (!QFileInfo::exists(path) &&
            timedRun(toolPath(), {QStringLiteral("-v"),
                                  QStringLiteral("error"),
                                  QStringLiteral("-y"),
                                  QStringLiteral("-f"),
                                  QStringLiteral("lavfi"),
                                  QStringLiteral("-i"),
                                  QStringLiteral("testsrc2=size=1920x1080:rate=30"),
                                  QStringLiteral("-f"),
                                  QStringLiteral("lavfi"),
                                  QStringLiteral("-i"),
                                  QStringLiteral("sine=frequency=440:sample_rate=44100"),
                                  QStringLiteral("-t"),
                                  QString::number(2 + i),
                                  QStringLiteral("-c:v"),
                                  QStringLiteral("libx264"),
                                  QStringLiteral("-preset"),
                                  QStringLiteral("ultrafast"),
                                  QStringLiteral("-crf"),
                                  QStringLiteral("35"),
                                  QStringLiteral("-g"),
                                  QStringLiteral("60"),
                                  QStringLiteral("-pix_fmt"),
                                  QStringLiteral("yuv420p"),
                                  QStringLiteral("-c:a"),
                                  QStringLiteral("aac"),
                                  path}) < 0)
            return {};
        clips << path;
    }
    return clips;
}

// `count` recordings named and dated one minute apart, as a save folder holds them.
bool makeFolder(const QString& folder, const QStringList& clips, int count)
{
    if (QDir(folder).entryList({QStringLiteral("*.mp4")}, QDir::Files).size() == count)
        return true;
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    const QDateTime first(QDate(2024, 5, 1), QTime(8, 0));
    for (int i = 0; i < count; ++i) {
        const QDateTime when = first.addSecs(60 * i);
        const QString path = QDir(folder).filePath(
            when.toString(QStringLiteral("yyyy-MM-dd hh-mm-ss")) + QStringLiteral(".mp4"));
        if (!QFile::copy(clips.at(i % clips.size()), path))
            return false;
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite) ||
            !file.setFileTime(when, QFileDevice::FileModificationTime))
            return false;
    }
    return true;
}

struct Refresh {
    double returned = -1; // the entry call gave the window back
    double firstRow = -1; // a row is shown
    double allTimes = -1; // every row shows its duration
    double worstLate = 0; // worst lateness of the 10 ms timer
    int rows = 0;
};

// Enters the merge page on `folder` and watches the folder list fill.
Refresh enterPage(DRUI& window)
{
    Refresh r;
    QTableWidget* table = window.m_pSourceVideoTable;
    const auto allTimes = [table] {
        for (int row = 0; row < table->rowCount(); ++row) {
            const QTableWidgetItem* time = table->item(row, 2);
            if (!time || time->text().isEmpty())
                return false;
        }
        return table->rowCount() > 0;
    };
    double begun = 0;
    bool entered = false;
    const auto look = [&] {
        if (!entered)
            return;
        const double at = nowMs() - begun;
        if (r.firstRow < 0 && table->rowCount() > 0 && table->item(0, 0))
            r.firstRow = at;
        if (r.allTimes < 0 && allTimes())
            r.allTimes = at;
    };
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    double last = -1;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double now = nowMs();
        if (last >= 0)
            r.worstLate = std::max(r.worstLate, now - last - kTickMs);
        last = now;
        look();
    });
    tick.start(kTickMs);
    // Rows left from an earlier visit must not count as the new ones.
    table->setRowCount(0);
    QTimer::singleShot(0, [&] {
        begun = nowMs();
        entered = true;
        window.btnEditSlot();
        r.returned = nowMs() - begun;
        look();
    });
    waitFor([&] { return r.allTimes >= 0; }, 120000);
    // A little longer, so a stall right after the last duration is seen too.
    idleFor(200);
    r.rows = table->rowCount();
    return r;
}

double oneProbe(const QString& clip)
{
    QVector<double> runs;
    for (int i = 0; i < 5; ++i)
        runs << timedRun(toolPath(), {QStringLiteral("-hide_banner"), QStringLiteral("-i"), clip},
                         {}, false);
    return median(runs);
}

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const QString work = option(args, QStringLiteral("--work"));
    const QString media = option(args, QStringLiteral("--media"), work + QStringLiteral("/media"));
    const QStringList counts =
        option(args, QStringLiteral("--counts"), QStringLiteral("50,200")).split(QLatin1Char(','));
    if (work.isEmpty() || !prepareWindowEnvironment(work)) {
        note(QStringLiteral("usage: bench_page --work DIR [--media DIR] [--counts 50,200]"));
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    answerBoxes(&app, 100);
    const QString part = QStringLiteral("Merge page");

    const QStringList clips = makeClips(media + QStringLiteral("/clips"));
    if (clips.isEmpty()) {
        row(part, QStringLiteral("making the recordings"), QStringLiteral("failed"), {}, {}, {},
            yesNo(false));
        return 1;
    }
    const double probe = oneProbe(clips.first());

    for (const QString& text : counts) {
        const int count = text.toInt();
        const QString folder = media + QStringLiteral("/folder%1").arg(count);
        if (!makeFolder(folder, clips, count)) {
            row(part, QStringLiteral("making a folder of %1").arg(count), QStringLiteral("failed"),
                {}, {}, {}, yesNo(false));
            continue;
        }
        // A new window each time: nothing probed before.
        const std::unique_ptr<DRUI> window = makeWindow(work, work + QStringLiteral("/recordings"));
        window->m_pMergeDirEdit->setText(folder);
        const Refresh first = enterPage(*window);
        const Refresh second = enterPage(*window);
        note(QStringLiteral("%1 files: rows %2/%3").arg(count).arg(first.rows).arg(second.rows));
        const QString n = QStringLiteral("%1 files: ").arg(count);
        const bool big = count >= 200;
        row(part, n + QStringLiteral("first row after entering the page"), ms(first.firstRow), {},
            {}, {}, {});
        row(part, n + QStringLiteral("all rows with durations vs probing one by one"),
            ms(first.allTimes),
            QStringLiteral("%1 × %2 = %3").arg(count).arg(ms(probe), ms(count * probe)),
            ratioText(first.allTimes / (count * probe)), big ? QStringLiteral("≤ 2 s") : QString(),
            big ? yesNo(first.allTimes >= 0 && first.allTimes <= 2000 && first.rows == count)
                : QString());
        if (big) {
            // The floor of describing in batches: one tool start-up (a probe of one file) for
            // every batch run the page makes (at most 48 files a run, in as many runs as lanes).
            const int runs =
                int(planDescribeBatches(count, std::clamp(QThread::idealThreadCount(), 1, 4), 48)
                        .size());
            const double floor = runs * probe;
            row(part,
                n + QStringLiteral("all rows with durations vs one tool start-up × the "
                                   "batch runs (the method's floor)"),
                ms(first.allTimes),
                QStringLiteral("%1 × %2 = %3").arg(runs).arg(ms(probe), ms(floor)),
                ratioText(first.allTimes / floor), QStringLiteral("≤ 1.5×"),
                yesNo(first.allTimes >= 0 && first.allTimes <= 1.5 * floor));
        }
        row(part, n + QStringLiteral("second refresh of the unchanged folder, all durations"),
            ms(second.allTimes), ms(probe) + QStringLiteral(" (one probe)"),
            ratioText(second.allTimes / probe), QStringLiteral("≤ 100 ms"),
            yesNo(second.allTimes >= 0 && second.allTimes <= 100));
        const double held = std::max(first.returned, second.returned);
        const double late = std::max(first.worstLate, second.worstLate);
        row(part, n + QStringLiteral("entering the page holds the window for"), ms(held), {}, {},
            QStringLiteral("≤ 100 ms"), yesNo(held <= 100));
        row(part, n + QStringLiteral("worst lateness of a 10 ms timer"), ms(late), {}, {},
            QStringLiteral("≤ 100 ms"), yesNo(late <= 100));
    }
    return 0;
}
