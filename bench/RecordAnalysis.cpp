// Reading a recording back for the recording benchmark.
#include "RecordAnalysis.h"

#include "BenchUtil.h"
#include "ScreenCode.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

using namespace screencode;

namespace
{

// Beep windows are 1 ms of sound; the beep is about -9 dBFS, silence far below -60.
constexpr double kBeepLevelDb = -20;
constexpr double kQuietBetweenBeeps = 0.4; // s

struct Picture {
    double seconds = 0;
    QByteArray checksum;
    qint64 clock = -1;
    bool lit = false;
};

bool readPictures(const QString& tool, const QString& path, const QString& scratch,
                  QVector<Picture>& pictures, QString& problem)
{
    const QString cellsPath = QDir(scratch).filePath(QStringLiteral("cells.raw"));
    QFile::remove(cellsPath);
    // showinfo sees the whole picture (its time and checksum); the rest keeps one grey value per
    // cell of the strip. -copyts keeps the file's own times, the same as for the sound below.
    const QString filter =
        QStringLiteral("showinfo,crop=%1:%2:0:0,scale=%3:1:flags=area,format=gray")
            .arg(kStripWidth)
            .arg(kStripHeight)
            .arg(kBits + kFlashCells);
    bool ok = false;
    const QByteArray log = bench::captureRun(
        tool,
        {QStringLiteral("-hide_banner"), QStringLiteral("-nostats"), QStringLiteral("-copyts"),
         QStringLiteral("-i"), path, QStringLiteral("-map"), QStringLiteral("0:v:0"),
         QStringLiteral("-vf"), filter, QStringLiteral("-fps_mode"), QStringLiteral("passthrough"),
         QStringLiteral("-f"), QStringLiteral("rawvideo"), QStringLiteral("-y"), cellsPath},
        &ok, true);
    if (!ok) {
        problem = QStringLiteral("the video could not be decoded");
        return false;
    }
    static const QRegularExpression info(QStringLiteral(
        "\\sn:\\s*\\d+\\s+pts:\\s*-?\\d+\\s+pts_time:(\\S+).*\\schecksum:([0-9A-Fa-f]+)"));
    for (const QByteArray& line : log.split('\n')) {
        const QRegularExpressionMatch m = info.match(QString::fromUtf8(line));
        if (!m.hasMatch())
            continue;
        Picture picture;
        picture.seconds = m.captured(1).toDouble();
        picture.checksum = m.captured(2).toLatin1();
        pictures.append(picture);
    }
    QFile cells(cellsPath);
    if (!cells.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("no strip was written");
        return false;
    }
    const QByteArray bytes = cells.readAll();
    const int stride = kBits + kFlashCells;
    if (bytes.size() != pictures.size() * stride) {
        problem = QStringLiteral("%1 frames described but %2 strips read")
                      .arg(pictures.size())
                      .arg(bytes.size() / stride);
        return false;
    }
    for (qsizetype i = 0; i < pictures.size(); ++i) {
        const auto* strip = reinterpret_cast<const unsigned char*>(bytes.constData() + i * stride);
        pictures[i].clock = decodeClock(strip);
        pictures[i].lit = flashLit(strip);
    }
    return !pictures.isEmpty();
}

QVector<double> readBeeps(const QString& tool, const QString& path, const QString& scratch)
{
    const QString levelsPath = QDir(scratch).filePath(QStringLiteral("levels.txt"));
    QFile::remove(levelsPath);
    const QString filter = QStringLiteral("aresample=48000,asetnsamples=n=48:p=0,"
                                          "astats=metadata=1:reset=1,"
                                          "ametadata=mode=print:key=lavfi.astats.Overall.RMS_level:"
                                          "file=%1")
                               .arg(levelsPath);
    bool ok = false;
    bench::captureRun(tool,
                      {QStringLiteral("-hide_banner"), QStringLiteral("-nostats"),
                       QStringLiteral("-copyts"), QStringLiteral("-i"), path,
                       QStringLiteral("-map"), QStringLiteral("0:a:0"), QStringLiteral("-af"),
                       filter, QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
                      &ok, true);
    QVector<double> beeps;
    QFile levels(levelsPath);
    if (!ok || !levels.open(QIODevice::ReadOnly))
        return beeps;
    static const QRegularExpression time(QStringLiteral("pts_time:(\\S+)"));
    double at = 0;
    bool loud = false;
    double lastBeep = -1e9;
    for (const QByteArray& raw : levels.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw);
        const QRegularExpressionMatch m = time.match(line);
        if (m.hasMatch()) {
            at = m.captured(1).toDouble();
            continue;
        }
        if (!line.startsWith(QLatin1String("lavfi.astats.Overall.RMS_level=")))
            continue;
        const QString value = line.section(QLatin1Char('='), 1);
        const double db = value.contains(QLatin1String("inf")) ? -200 : value.toDouble();
        const bool nowLoud = db > kBeepLevelDb;
        if (nowLoud && !loud && at - lastBeep > kQuietBetweenBeeps) {
            beeps.append(at);
            lastBeep = at;
        }
        loud = nowLoud;
    }
    return beeps;
}

} // namespace

RecordingFacts analyseRecording(const QString& tool, const QString& path, double captureRate,
                                const QString& scratchDir)
{
    RecordingFacts facts;
    QVector<Picture> pictures;
    if (!readPictures(tool, path, scratchDir, pictures, facts.problem))
        return facts;

    facts.frames = int(pictures.size());
    const double frame = 1.0 / captureRate;
    facts.videoSeconds = pictures.last().seconds - pictures.first().seconds + frame;
    // The first frame that showed the last clock read: a screen that stalled shows one clock in
    // several frames, which are repeated pictures, not lost ones.
    qsizetype since = -1;
    bool wasLit = false;
    for (qsizetype i = 0; i < pictures.size(); ++i) {
        const Picture& p = pictures.at(i);
        if (i > 0 && p.checksum == pictures.at(i - 1).checksum)
            ++facts.repeated;
        if (p.lit && !wasLit)
            facts.videoFlashes.append(p.seconds);
        wasLit = p.lit;
        if (p.clock < 0) {
            ++facts.unreadable;
            continue;
        }
        if (facts.firstClockMs < 0)
            facts.firstClockMs = p.clock;
        facts.lastClockMs = p.clock;
        if (since >= 0) {
            const qint64 gapMs = p.clock - pictures.at(since).clock;
            if (gapMs < 0) {
                ++facts.unreadable;
                continue;
            }
            if (gapMs == 0)
                continue;
            // The clock moves every 4 ms, so the captures between two frames are plain to see.
            const qint64 captures = qRound64(double(gapMs) / 1000.0 / frame);
            const qint64 missing = captures - (i - since);
            if (missing > 0) {
                bench::note(QStringLiteral("%1 capture(s) missing before frame %2 at %3 s "
                                           "(clock gap %4 ms)")
                                .arg(missing)
                                .arg(i)
                                .arg(p.seconds, 0, 'f', 3)
                                .arg(gapMs));
                facts.lost += int(missing);
            }
        }
        since = i;
    }

    // Where the file places each picture against the screen's clock in it: the tool's picture
    // stamps relative to the painted clock (constant for stamps taken at the grab).
    QVector<double> stampMinusClock;
    for (const Picture& p : std::as_const(pictures)) {
        if (p.clock >= 0)
            stampMinusClock << p.seconds * 1000 - double(p.clock);
    }
    if (!stampMinusClock.isEmpty()) {
        std::sort(stampMinusClock.begin(), stampMinusClock.end());
        bench::note(QStringLiteral("picture time minus the clock in it: %1 ms min, %2 ms median")
                        .arg(stampMinusClock.first(), 0, 'f', 1)
                        .arg(stampMinusClock.at(stampMinusClock.size() / 2), 0, 'f', 1));
    }

    facts.audioBeeps = readBeeps(tool, path, scratchDir);
    QStringList flashes, beeps;
    for (const double t : std::as_const(facts.videoFlashes))
        flashes << QString::number(t, 'f', 3);
    for (const double t : std::as_const(facts.audioBeeps))
        beeps << QString::number(t, 'f', 3);
    bench::note(QStringLiteral("flashes at %1; beeps at %2")
                    .arg(flashes.join(QStringLiteral(", ")), beeps.join(QStringLiteral(", "))));
    for (const double flash : std::as_const(facts.videoFlashes)) {
        double best = 1e9;
        for (const double beep : std::as_const(facts.audioBeeps)) {
            if (std::fabs(beep - flash) < std::fabs(best))
                best = beep - flash;
        }
        if (std::fabs(best) < 0.5)
            facts.offsetsMs.append(best * 1000);
    }
    facts.ok = true;
    return facts;
}

ToolCounters lastProgressCounters(const QStringList& lines)
{
    static const QRegularExpression frameRe(QStringLiteral("(?:^|\\s)frame=\\s*(\\d+)"));
    static const QRegularExpression dupRe(QStringLiteral("\\sdup=\\s*(\\d+)"));
    static const QRegularExpression dropRe(QStringLiteral("\\sdrop=\\s*(\\d+)"));
    ToolCounters counters;
    for (qsizetype i = lines.size() - 1; i >= 0; --i) {
        const QRegularExpressionMatch f = frameRe.match(lines.at(i));
        if (!f.hasMatch())
            continue;
        counters.found = true;
        counters.frames = f.captured(1).toInt();
        // The tool prints dup= and drop= only once either is non-zero.
        counters.dup = dupRe.match(lines.at(i)).captured(1).toInt();
        counters.drop = dropRe.match(lines.at(i)).captured(1).toInt();
        break;
    }
    return counters;
}
