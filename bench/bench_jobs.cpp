// Cut and merge benchmark: the window's jobs end to end against the same tool runs made
// directly, and against plain copies of the bytes, on 5-minute 1080p H.264/AAC files made at
// bench time; and the frame-exact cut against the plain copy cut and a whole re-encode.
//
//   bench_jobs --work DIR --media DIR [--rounds 5] [--only cut|smartcut|merge] [--load]
#include "BenchUtil.h"
#include "BenchWindow.h"

#include "cut/CutLogic.h"
#include "cut/SmartCutter.h"
#include "dialogs/ScanUI.h"
#include "merge/MergeCommands.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMap>
#include <QProcess>
#include <QScopeGuard>
#include <QTableWidget>

using namespace bench;

namespace
{

// Added to the part of every row: what else the machine was doing.
QString g_partSuffix;

constexpr qint64 kLongSeconds = 300;
constexpr qint64 kSpanSeconds = 60;
constexpr int kSegmentSeconds = 30;

// The median of the rounds' ratios `a[i] / b[i]`: each pair ran back to back, so a busy
// moment of the machine weighs on both sides of it. -1 when a run failed.
double pairedRatio(const QVector<double>& a, const QVector<double>& b)
{
    QVector<double> ratios;
    for (qsizetype i = 0; i < a.size() && i < b.size(); ++i) {
        if (a.at(i) <= 0 || b.at(i) <= 0)
            return -1;
        ratios << a.at(i) / b.at(i);
    }
    return ratios.isEmpty() ? -1 : median(ratios);
}

// The times of `runs` in ms, for the log.
QString listed(const QVector<double>& runs)
{
    QStringList texts;
    for (const double run : runs)
        texts << QString::number(qRound(run));
    return texts.join(QStringLiteral(" "));
}

// A file of `repeats` copies of one 1080p segment made from lavfi test sources (`rate` pictures a
// second, a beep, encoded with `encode`), joined by stream copy into `name` in `mediaDir`. A
// file there from an earlier run is kept.
bool makeJoinedFile(const QString& mediaDir, const QString& name, const QString& rate,
                    const QStringList& encode, int repeats, QString* path)
{
    *path = QDir(mediaDir).filePath(name);
    if (QFileInfo(*path).size() > 100'000'000)
        return true;
    QDir().mkpath(mediaDir);
    const QString segment = QDir(mediaDir).filePath(QStringLiteral("segment.mp4"));
    note(QStringLiteral("making ") + name);
    if (timedRun(toolPath(),
                 QStringList{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                             QStringLiteral("testsrc2=size=1920x1080:rate=") + rate,
                             QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                             QStringLiteral("sine=frequency=440:sample_rate=44100")} +
                     encode + QStringList{segment}) < 0)
        return false;
    const QString list = QDir(mediaDir).filePath(QStringLiteral("segments.txt"));
    QFile file(list);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (int i = 0; i < repeats; ++i)
        file.write("file 'segment.mp4'\n");
    file.close();
    const bool ok =
        timedRun(toolPath(), {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                              QStringLiteral("-f"), QStringLiteral("concat"),
                              QStringLiteral("-safe"), QStringLiteral("0"), QStringLiteral("-i"),
                              list, QStringLiteral("-c"), QStringLiteral("copy"),
                              QStringLiteral("-movflags"), QStringLiteral("+faststart"), *path}) >=
        0;
    QFile::remove(segment);
    QFile::remove(list);
    return ok;
}

// A 5-minute 1080p file of about 300 MB: 30 s segments at a steady 8 Mbit/s, a keyframe every
// 2 s like a recording.
bool makeLongFile(const QString& mediaDir, QString* longPath)
{
    return makeJoinedFile(mediaDir, QStringLiteral("long.mp4"), QStringLiteral("30"),
                          {QStringLiteral("-t"),
                           QString::number(kSegmentSeconds),
                           QStringLiteral("-c:v"),
                           QStringLiteral("libx264"),
                           QStringLiteral("-preset"),
                           QStringLiteral("ultrafast"),
                           QStringLiteral("-b:v"),
                           QStringLiteral("8M"),
                           QStringLiteral("-maxrate"),
                           QStringLiteral("8M"),
                           QStringLiteral("-bufsize"),
                           QStringLiteral("16M"),
                           QStringLiteral("-g"),
                           QStringLiteral("60"),
                           QStringLiteral("-keyint_min"),
                           QStringLiteral("60"),
                           QStringLiteral("-sc_threshold"),
                           QStringLiteral("0"),
                           QStringLiteral("-pix_fmt"),
                           QStringLiteral("yuv420p"),
                           QStringLiteral("-c:a"),
                           QStringLiteral("aac"),
                           QStringLiteral("-b:a"),
                           QStringLiteral("128k")},
                          int(kLongSeconds / kSegmentSeconds), longPath);
}

// A 5-minute 1080p recording as Vistrel makes them (ultrafast at its default quality, 29.97 fps,
// a keyframe every 2 s, AAC at 44.1 kHz): segments of 900 whole pictures (30.03 s), so every
// picture lasts the same.
bool makeRecordingFile(const QString& mediaDir, QString* path)
{
    return makeJoinedFile(mediaDir, QStringLiteral("recording.mp4"), QStringLiteral("30000/1001"),
                          {QStringLiteral("-frames:v"), QStringLiteral("900"), QStringLiteral("-t"),
                           QStringLiteral("30.03"), QStringLiteral("-c:v"),
                           QStringLiteral("libx264"), QStringLiteral("-preset"),
                           QStringLiteral("ultrafast"), QStringLiteral("-pix_fmt"),
                           QStringLiteral("yuv420p"), QStringLiteral("-g"), QStringLiteral("60"),
                           QStringLiteral("-sc_threshold"), QStringLiteral("0"),
                           QStringLiteral("-c:a"), QStringLiteral("aac")},
                          10, path);
}

// The window's cut job from its start to its final report, with the progress dialog up.
double vistrelCut(DRUI& window, const QString& source, qint64 start, qint64 end,
                  const QString& outDir)
{
    flushWrites();
    window.m_strCutSrcFile = source;
    window.m_n64StartTime = start;
    window.m_n64EndTime = end;
    window.m_strCutOutDir = outDir;
    DRUI::m_bisFinished = false;
    double ended = -1;
    int result = -1;
    // Connected before the dialog, so the time is taken before it tells the outcome.
    const QMetaObject::Connection c =
        QObject::connect(&window, &DRUI::CutProcessCallBack, &window,
                         [&](int percent, const QString&, const QString&, int error) {
                             if (percent == 100 && ended < 0) {
                                 ended = nowMs();
                                 result = error;
                             }
                         });
    SCANUI dlg;
    dlg.InitSlot(&window);
    dlg.show();
    const double begun = nowMs();
    window.StartQProcessCut();
    QObject::disconnect(c);
    const QString output = window.m_strCutOutFile;
    const bool ok = result == 0 && QFileInfo(output).size() > 0;
    QFile::remove(output);
    if (!ok) {
        note(QStringLiteral("the cut job failed with %1").arg(result));
        return -1;
    }
    return ended - begun;
}

// The tool runs a job made, captured from the log line ToolRun writes for each run ("run:" and a
// command a shell could paste, optionally "cd DIR && " first).
QStringList* g_capturedRuns = nullptr;
QtMessageHandler g_previousHandler = nullptr;

// Small files the job wrote for its runs (lists of pieces), as they were when a run started.
QMap<QString, QByteArray> g_capturedFiles;

QStringList shellWords(const QString& line);

void captureRuns(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (g_capturedRuns && message.startsWith(QLatin1String("run: "))) {
        g_capturedRuns->append(message.mid(5));
        for (const QString& word : shellWords(message.mid(5))) {
            QFile file(word);
            if (word.contains(QLatin1String("/.vistrel-")) && file.size() < 65536 &&
                file.open(QIODevice::ReadOnly))
                g_capturedFiles.insert(word, file.readAll());
        }
    }
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

// The words of a command as a POSIX shell splits them: blanks apart, single quotes literal,
// a backslash quoting the next character.
QStringList shellWords(const QString& line)
{
    QStringList words;
    QString word;
    bool inWord = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            word += line.at(++i);
            inWord = true;
        } else if (c == QLatin1Char('\'')) {
            const qsizetype close = line.indexOf(QLatin1Char('\''), i + 1);
            word += line.mid(i + 1, close - i - 1);
            i = close;
            inWord = true;
        } else if (c == QLatin1Char(' ')) {
            if (inWord)
                words << word;
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words << word;
    return words;
}

// Runs the captured commands one after another, as a script would, in the folders they name
// (made for the replay and removed after it, with the output `output`); total ms or -1.
double replayRuns(const QStringList& commands, const QString& output)
{
    flushWrites();
    QStringList made;
    const auto ensureFolder = [&made](const QString& dir) {
        if (!dir.isEmpty() && !QFileInfo::exists(dir) && QDir().mkpath(dir))
            made << dir;
    };
    double total = 0;
    for (const QString& command : commands) {
        QStringList words = shellWords(command);
        QString workDir;
        if (words.size() > 3 && words.at(0) == QLatin1String("cd") &&
            words.at(2) == QLatin1String("&&")) {
            workDir = words.at(1);
            ensureFolder(workDir);
            words = words.mid(3);
        }
        for (const QString& word : std::as_const(words)) {
            if (word.startsWith(QLatin1Char('/')) && word.contains(QLatin1String("/.vistrel-")))
                ensureFolder(QFileInfo(word).absolutePath());
            // What the job wrote itself between its runs is written here too.
            const auto written = g_capturedFiles.constFind(word);
            QFile file(word);
            if (written != g_capturedFiles.constEnd() && !file.exists() &&
                file.open(QIODevice::WriteOnly))
                file.write(*written);
        }
        if (words.isEmpty())
            return -1;
        const double took = timedRun(words.first(), words.mid(1), workDir);
        if (took < 0) {
            total = -1;
            break;
        }
        total += took;
    }
    for (const QString& dir : std::as_const(made))
        QDir(dir).removeRecursively();
    QFile::remove(output);
    return total;
}

double directCut(const QString& source, qint64 start, qint64 end, const QString& outDir)
{
    flushWrites();
    const QString output = QDir(outDir).filePath(QStringLiteral("direct.mp4"));
    const double took = timedRun(toolPath(), CutArguments(source, start, end, output));
    QFile::remove(output);
    return took;
}

double copyFile(const QString& source, const QString& outDir)
{
    flushWrites();
    const QString output = QDir(outDir).filePath(QStringLiteral("copy.mp4"));
    const double took = timedRun(QStringLiteral("cp"), {source, output});
    QFile::remove(output);
    return took;
}

// One frame-exact cut from its start to its result, as the cut job runs it; -1 when it did
// not save a frame-exact cut.
double smartCut(SmartCutter& cutter, const QString& source, qint64 start, qint64 end,
                const QString& outDir)
{
    flushWrites();
    const QString output = QDir(outDir).filePath(QStringLiteral(".smart.part.mp4"));
    SmartCutResult result;
    QEventLoop loop;
    const QMetaObject::Connection c =
        QObject::connect(&cutter, &SmartCutter::finished, &loop, [&](const SmartCutResult& r) {
            result = r;
            loop.quit();
        });
    const double begun = nowMs();
    cutter.start(source, double(start), double(end), output);
    loop.exec();
    const double took = nowMs() - begun;
    QObject::disconnect(c);
    QFile::remove(output);
    if (result.outcome != SmartCutResult::Outcome::Saved || !result.exact) {
        note(QStringLiteral("the smart cut did not save a frame-exact cut: %1%2")
                 .arg(result.failure, result.fallbackReason));
        return -1;
    }
    return took;
}

// The same span re-encoded whole, as fast as x264 goes, the sound copied.
double reencodeCut(const QString& source, qint64 start, qint64 end, const QString& outDir)
{
    flushWrites();
    const QString output = QDir(outDir).filePath(QStringLiteral("reencoded.mp4"));
    const double took =
        timedRun(toolPath(),
                 {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                  QStringLiteral("-ss"), QString::number(start), QStringLiteral("-i"), source,
                  QStringLiteral("-t"), QString::number(end - start), QStringLiteral("-c:v"),
                  QStringLiteral("libx264"), QStringLiteral("-preset"), QStringLiteral("ultrafast"),
                  QStringLiteral("-c:a"), QStringLiteral("copy"), output});
    QFile::remove(output);
    return took;
}

void benchSmartCut(const QString& recording, const QString& outDir, int rounds)
{
    const QString part = QStringLiteral("Cut") + g_partSuffix;
    // Marks in whole seconds, between keyframes (every 2.002 s): a head of about a second.
    const qint64 start = 121;
    const qint64 end = start + kSpanSeconds;
    SmartCutter cutter;
    cutter.setProgram(toolPath());
    QVector<double> smart, copy, full;
    smartCut(cutter, recording, start, end, outDir); // warms the caches; not counted
    for (int round = 0; round < rounds; ++round) {
        if (round % 2) {
            copy << directCut(recording, start, end, outDir);
            smart << smartCut(cutter, recording, start, end, outDir);
        } else {
            smart << smartCut(cutter, recording, start, end, outDir);
            copy << directCut(recording, start, end, outDir);
        }
    }
    // A whole re-encode takes the better part of a minute on a busy machine: two runs.
    for (int round = 0; round < 2; ++round)
        full << reencodeCut(recording, start, end, outDir);
    note(QStringLiteral("smart cut runs: %1; copy: %2; re-encode: %3")
             .arg(listed(smart), listed(copy), listed(full)));
    const auto failed = [](const QVector<double>& v) { return v.contains(-1.0); };
    const double m = failed(smart) ? -1 : median(smart);
    const double c = failed(copy) ? -1 : median(copy);
    const double f = failed(full) ? -1 : median(full);
    const double size = double(QFileInfo(recording).size()) / 1e6;
    row(part,
        QStringLiteral("frame-exact cut of 60 s of a 5-min 1080p recording (%1 MB), whole "
                       "seconds between keyframes, vs the plain copy cut (ratio: median over "
                       "back-to-back pairs)")
            .arg(qRound(size)),
        ms(m), ms(c), ratioText(pairedRatio(smart, copy)), QStringLiteral("≤ 2 s"),
        yesNo(m > 0 && m <= 2000));
    row(part, QStringLiteral("the frame-exact cut vs re-encoding the same 60 s whole (ultrafast)"),
        ms(m), ms(f), ratioText(m / f), QStringLiteral("≤ 0.2×"),
        yesNo(m > 0 && f > 0 && m <= 0.2 * f));
}

void benchCut(DRUI& window, const QString& source, const QString& outDir, int rounds)
{
    const QString part = QStringLiteral("Cut") + g_partSuffix;
    const qint64 middle = (kLongSeconds - kSpanSeconds) / 2;
    const qint64 last = kLongSeconds - kSpanSeconds;
    QVector<double> vistrel, direct, copy, atStart, atEnd;
    // One of each first, to warm the caches; not counted. The job's own tool runs are kept
    // from it: the same commands run directly are the reference.
    QStringList jobRuns;
    g_capturedRuns = &jobRuns;
    vistrelCut(window, source, middle, middle + kSpanSeconds, outDir);
    g_capturedRuns = nullptr;
    const QString jobOutput = window.m_strCutOutFile;
    note(QStringLiteral("the cut job's runs:\n") + jobRuns.join(QLatin1Char('\n')));
    const auto sameRuns = [&] { return replayRuns(jobRuns, jobOutput); };
    sameRuns();
    directCut(source, middle, middle + kSpanSeconds, outDir);
    for (int round = 0; round < rounds; ++round) {
        // Alternate the order so neither side always runs on a warmer machine.
        if (round % 2) {
            direct << sameRuns();
            vistrel << vistrelCut(window, source, middle, middle + kSpanSeconds, outDir);
        } else {
            vistrel << vistrelCut(window, source, middle, middle + kSpanSeconds, outDir);
            direct << sameRuns();
        }
        atStart << vistrelCut(window, source, 0, kSpanSeconds, outDir);
        atEnd << vistrelCut(window, source, last, last + kSpanSeconds, outDir);
        copy << copyFile(source, outDir);
    }
    note(QStringLiteral("cut runs, Vistrel: %1; direct: %2").arg(listed(vistrel), listed(direct)));
    const auto failed = [](const QVector<double>& v) { return v.contains(-1.0); };
    const double v = failed(vistrel) ? -1 : median(vistrel);
    const double d = failed(direct) ? -1 : median(direct);
    const double c = failed(copy) ? -1 : median(copy);
    const double s = failed(atStart) ? -1 : median(atStart);
    const double e = failed(atEnd) ? -1 : median(atEnd);
    const double size = double(QFileInfo(source).size()) / 1e6;
    row(part,
        QStringLiteral("60 s from the middle of a 5-min 1080p file (%1 MB): Vistrel's job vs the "
                       "same %2 tool runs made directly (ratio: median over back-to-back pairs)")
            .arg(qRound(size))
            .arg(jobRuns.size()),
        ms(v), ms(d), ratioText(pairedRatio(vistrel, direct)), QStringLiteral("≤ 1.05×"),
        yesNo(v > 0 && d > 0 && pairedRatio(vistrel, direct) <= 1.05));
    row(part, QStringLiteral("the job's commands run directly vs cp of the whole file"), ms(d),
        ms(c), ratioText(d / c), {}, {});
    row(part, QStringLiteral("Vistrel's job: 60 s at the end vs 60 s at the start"), ms(e), ms(s),
        ratioText(e / s), QStringLiteral("≈ 1× (±10 %)"),
        yesNo(e > 0 && s > 0 && e <= 1.1 * s && e >= 0.9 * s));
}

// Lists the merge folder through the page and queues `names` through Add, as a user would.
bool queueThroughPage(DRUI& window, const QString& folder, const QStringList& names)
{
    window.m_pMergeDirEdit->setText(folder);
    window.btnEditSlot();
    QTableWidget* source = window.m_pSourceVideoTable;
    const auto listed = [source] {
        for (int row = 0; row < source->rowCount(); ++row) {
            const QTableWidgetItem* time = source->item(row, 2);
            if (!time || time->text().isEmpty())
                return false;
        }
        return source->rowCount() > 0;
    };
    if (!waitFor(listed, 60000))
        return false;
    window.m_pTargetVideoTable->setRowCount(0);
    for (const QString& name : names) {
        const QList<QTableWidgetItem*> found = source->findItems(name, Qt::MatchExactly);
        if (found.isEmpty())
            return false;
        source->selectRow(found.first()->row());
        window.btnAddSlot();
    }
    return window.m_pTargetVideoTable->rowCount() == names.size();
}

double vistrelMerge(DRUI& window, const QString& outDir)
{
    flushWrites();
    window.m_strMergeOutDir = outDir;
    double ended = -1;
    int result = -1;
    const QMetaObject::Connection c =
        QObject::connect(&window, &DRUI::AddProcessCallBack, &window,
                         [&](int percent, const QString&, const QString&, int error) {
                             if (percent == 100 && ended < 0) {
                                 ended = nowMs();
                                 result = error;
                             }
                         });
    window.m_vecMergeFiles.clear();
    for (int row = 0; row < window.m_pTargetVideoTable->rowCount(); ++row)
        window.m_vecMergeFiles.append(window.m_pTargetVideoTable->item(row, 0)->text());
    DRUI::m_bisFinished = false;
    SCANUI dlg;
    dlg.InitSlot(&window);
    dlg.show();
    const double begun = nowMs();
    window.StartQProcessMerge();
    QObject::disconnect(c);
    const QString output = window.m_strMergeOutFile;
    const bool ok = result == 0 && QFileInfo(output).size() > 0;
    QFile::remove(output);
    if (!ok) {
        note(QStringLiteral("the merge job failed with %1").arg(result));
        return -1;
    }
    return ended - begun;
}

// The job's own runs, one after another: each input into a transport stream, then the join.
double directMerge(const QStringList& inputs, const QString& outDir)
{
    flushWrites();
    const QString work = QDir(outDir).filePath(QStringLiteral("direct"));
    QDir(work).removeRecursively();
    QDir().mkpath(work);
    double total = 0;
    QStringList tsNames;
    for (int i = 0; i < inputs.size(); ++i) {
        tsNames << mergeTsName(i + 1);
        const double took =
            timedRun(toolPath(),
                     changeToTsArguments(inputs.at(i), QDir(work).filePath(tsNames.last()), true));
        if (took < 0)
            return -1;
        total += took;
    }
    MediaFacts streams; // the benchmark's clips: H.264 and AAC
    streams.hasAudio = true;
    streams.audioCodec = QStringLiteral("aac");
    const double join =
        timedRun(toolPath(), joinArguments(tsNames, QStringLiteral("joined.mp4"), streams), work);
    QDir(work).removeRecursively();
    return join < 0 ? -1 : total + join;
}

double concatDemuxerMerge(const QStringList& inputs, const QString& outDir)
{
    flushWrites();
    const QString list = QDir(outDir).filePath(QStringLiteral("inputs.txt"));
    QFile file(list);
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    for (const QString& input : inputs)
        file.write("file '" + input.toUtf8() + "'\n");
    file.close();
    const QString output = QDir(outDir).filePath(QStringLiteral("concat.mp4"));
    const double took =
        timedRun(toolPath(), {QStringLiteral("-hide_banner"), QStringLiteral("-y"),
                              QStringLiteral("-f"), QStringLiteral("concat"),
                              QStringLiteral("-safe"), QStringLiteral("0"), QStringLiteral("-i"),
                              list, QStringLiteral("-c"), QStringLiteral("copy"), output});
    QFile::remove(output);
    QFile::remove(list);
    return took;
}

double catBytes(const QStringList& inputs, const QString& outDir)
{
    flushWrites();
    const QString output = QDir(outDir).filePath(QStringLiteral("cat.bin"));
    QStringList args{QStringLiteral("-c"), QStringLiteral("cat \"$@\" > \"$0\""), output};
    args += inputs;
    const double took = timedRun(QStringLiteral("sh"), args);
    QFile::remove(output);
    return took;
}

void benchMerge(DRUI& window, const QString& longPath, const QString& mediaDir,
                const QString& outDir, int rounds)
{
    const QString part = QStringLiteral("Merge") + g_partSuffix;
    const QString folder = QDir(mediaDir).filePath(QStringLiteral("merge"));
    QDir().mkpath(folder);
    const QStringList names{QStringLiteral("a.mp4"), QStringLiteral("b.mp4"),
                            QStringLiteral("c.mp4")};
    QStringList inputs;
    for (const QString& name : names) {
        inputs << QDir(folder).filePath(name);
        if (QFileInfo(inputs.last()).size() != QFileInfo(longPath).size()) {
            QFile::remove(inputs.last());
            QFile::copy(longPath, inputs.last());
        }
    }
    if (!queueThroughPage(window, folder, names)) {
        row(part, QStringLiteral("queueing the files through the page"), QStringLiteral("failed"),
            {}, {}, {}, yesNo(false));
        return;
    }
    QVector<double> vistrel, direct, concat, cat;
    vistrelMerge(window, outDir);
    for (int round = 0; round < rounds; ++round) {
        if (round % 2) {
            direct << directMerge(inputs, outDir);
            vistrel << vistrelMerge(window, outDir);
        } else {
            vistrel << vistrelMerge(window, outDir);
            direct << directMerge(inputs, outDir);
        }
        concat << concatDemuxerMerge(inputs, outDir);
        cat << catBytes(inputs, outDir);
    }
    note(
        QStringLiteral("merge runs, Vistrel: %1; direct: %2").arg(listed(vistrel), listed(direct)));
    const auto failed = [](const QVector<double>& v) { return v.contains(-1.0); };
    const double v = failed(vistrel) ? -1 : median(vistrel);
    const double d = failed(direct) ? -1 : median(direct);
    const double c = failed(concat) ? -1 : median(concat);
    const double b = failed(cat) ? -1 : median(cat);
    row(part,
        QStringLiteral("3 × 5-min 1080p: Vistrel's job vs the same runs made directly "
                       "(3 conversions + join; ratio: median over back-to-back pairs)"),
        ms(v), ms(d), ratioText(pairedRatio(vistrel, direct)), QStringLiteral("≤ 1.05×"),
        yesNo(v > 0 && d > 0 && pairedRatio(vistrel, direct) <= 1.05));
    row(part, QStringLiteral("the direct runs vs a one-pass concat-demuxer merge"), ms(d), ms(c),
        ratioText(d / c), {}, {});
    row(part, QStringLiteral("the direct runs vs cat of the bytes"), ms(d), ms(b), ratioText(d / b),
        {}, {});
}

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    const QString work = option(args, QStringLiteral("--work"));
    const QString media = option(args, QStringLiteral("--media"), work + QStringLiteral("/media"));
    const int rounds = option(args, QStringLiteral("--rounds"), QStringLiteral("5")).toInt();
    const QString only = option(args, QStringLiteral("--only"));
    if (work.isEmpty() || !prepareWindowEnvironment(work)) {
        note(QStringLiteral("usage: bench_jobs --work DIR [--media DIR] [--rounds 5] "
                            "[--only cut|smartcut|merge] [--load]"));
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    answerBoxes(&app, 20);
    g_previousHandler = qInstallMessageHandler(captureRuns);
    // --load: the same rows while another process keeps one core busy (stopped by its PID).
    QProcess load;
    if (args.contains(QStringLiteral("--load"))) {
        load.start(QStringLiteral("/bin/sh"),
                   {QStringLiteral("-c"), QStringLiteral("while :; do :; done")});
        if (!load.waitForStarted()) {
            note(QStringLiteral("the busy process did not start"));
            return 1;
        }
        g_partSuffix = QStringLiteral(" (one core busy)");
    }
    const auto stopLoad = qScopeGuard([&load] {
        if (load.state() != QProcess::NotRunning) {
            load.kill(); // SIGKILL to its own PID
            load.waitForFinished();
        }
    });

    QString longPath;
    if (only != QLatin1String("smartcut") && !makeLongFile(media, &longPath)) {
        row(QStringLiteral("Cut"), QStringLiteral("making the 5-minute file"),
            QStringLiteral("failed"), {}, {}, {}, yesNo(false));
        return 1;
    }
    const QString outDir = work + QStringLiteral("/out");
    QDir().mkpath(outDir);
    const std::unique_ptr<DRUI> window = makeWindow(work, work + QStringLiteral("/recordings"));
    if (only.isEmpty() || only == QLatin1String("cut"))
        // A cut takes a fraction of a second: more rounds for a steady median.
        benchCut(*window, longPath, outDir, 3 * rounds);
    if (only.isEmpty() || only == QLatin1String("cut") || only == QLatin1String("smartcut")) {
        QString recording;
        if (makeRecordingFile(media, &recording))
            benchSmartCut(recording, outDir, rounds);
        else
            row(QStringLiteral("Cut"), QStringLiteral("making the 5-minute recording"),
                QStringLiteral("failed"), {}, {}, {}, yesNo(false));
    }
    if (only.isEmpty() || only == QLatin1String("merge"))
        benchMerge(*window, longPath, media, outDir, rounds + 2);
    return 0;
}
