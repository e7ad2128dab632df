// Test helpers that make small clips with the real media tool and look into files.
#include "MediaTestUtil.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>

namespace testutil
{

namespace
{

QString runCapture(const QString& program, const QStringList& args, int* exitCode = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    p.waitForFinished(120000);
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromUtf8(p.readAll());
}

} // namespace

QString ffmpegPath()
{
    return QStandardPaths::findExecutable(QStringLiteral("ffmpeg"));
}

QString ffprobePath()
{
    return QStandardPaths::findExecutable(QStringLiteral("ffprobe"));
}

bool makeClip(const QString& path, const ClipOptions& opts)
{
    QStringList args{QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y")};
    if (opts.video)
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
             << QStringLiteral("testsrc=duration=%1:size=%2:rate=%3")
                    .arg(opts.seconds)
                    .arg(opts.size)
                    .arg(opts.rate);
    if (opts.audio)
        args << QStringLiteral("-f") << QStringLiteral("lavfi") << QStringLiteral("-i")
             << QStringLiteral("sine=frequency=440:duration=%1:sample_rate=%2")
                    .arg(opts.seconds)
                    .arg(opts.sampleRate);
    if (opts.video)
        args << QStringLiteral("-c:v") << QStringLiteral("libx264") << QStringLiteral("-preset")
             << QStringLiteral("ultrafast") << QStringLiteral("-pix_fmt")
             << QStringLiteral("yuv420p") << QStringLiteral("-g")
             << QString::number(opts.keyframeEvery) << QStringLiteral("-keyint_min")
             << QString::number(opts.keyframeEvery) << QStringLiteral("-sc_threshold")
             << QStringLiteral("0");
    if (opts.audio)
        args << QStringLiteral("-c:a") << QStringLiteral("aac");
    args << path;
    int code = -1;
    const QString out = runCapture(ffmpegPath(), args, &code);
    if (code != 0)
        qWarning("makeClip failed: %s", qPrintable(out));
    return code == 0;
}

bool makeCutShort(const QString& source, const QString& path)
{
    int code = -1;
    runCapture(ffmpegPath(),
               {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-y"),
                QStringLiteral("-i"), source, QStringLiteral("-c"), QStringLiteral("copy"),
                QStringLiteral("-movflags"), QStringLiteral("+faststart"), path},
               &code);
    QFile file(path);
    return code == 0 && file.resize(file.size() / 2);
}

QStringList entriesIn(const QString& dir)
{
    return QDir(dir).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

double probeDuration(const QString& path)
{
    bool ok = false;
    const double d = runCapture(ffprobePath(),
                                {QStringLiteral("-v"), QStringLiteral("error"),
                                 QStringLiteral("-show_entries"), QStringLiteral("format=duration"),
                                 QStringLiteral("-of"), QStringLiteral("csv=p=0"), path})
                         .trimmed()
                         .toDouble(&ok);
    return ok ? d : -1;
}

QStringList probeStreamTypes(const QString& path)
{
    const QString out = runCapture(
        ffprobePath(), {QStringLiteral("-v"), QStringLiteral("error"),
                        QStringLiteral("-show_entries"), QStringLiteral("stream=codec_type"),
                        QStringLiteral("-of"), QStringLiteral("csv=p=0"), path});
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString probeStreamEntry(const QString& path, const QString& selector, const QString& entry)
{
    return runCapture(ffprobePath(),
                      {QStringLiteral("-v"), QStringLiteral("error"),
                       QStringLiteral("-select_streams"), selector, QStringLiteral("-show_entries"),
                       QStringLiteral("stream=") + entry, QStringLiteral("-of"),
                       QStringLiteral("csv=p=0"), path})
        .trimmed();
}

double firstVideoFrameTime(const QString& path)
{
    // Every decoded frame is read: a file that starts with hidden pre-roll (an input-seeked
    // cut, a trimmed recording) shows its first picture only after those packets.
    const QString out = runCapture(
        ffprobePath(),
        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-select_streams"),
         QStringLiteral("v:0"), QStringLiteral("-show_entries"), QStringLiteral("frame=pts_time"),
         QStringLiteral("-of"), QStringLiteral("csv=p=0"), path});
    bool ok = false;
    const double t = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                         .value(0)
                         .section(QLatin1Char(','), 0, 0)
                         .trimmed()
                         .toDouble(&ok);
    return ok ? t : -1;
}

bool decodesCleanly(const QString& path)
{
    int code = -1;
    const QString out =
        runCapture(ffmpegPath(),
                   {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path,
                    QStringLiteral("-f"), QStringLiteral("null"), QStringLiteral("-")},
                   &code);
    if (!out.trimmed().isEmpty())
        qWarning("decode errors in %s: %s", qPrintable(path), qPrintable(out.left(500)));
    return code == 0 && out.trimmed().isEmpty();
}

QByteArray checksum(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(&f);
    return hash.result().toHex();
}

bool writeRandomFile(const QString& path, int bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    QByteArray data(bytes, '\0');
    for (char& c : data)
        c = char(QRandomGenerator::global()->bounded(256));
    return f.write(data) == bytes;
}

bool fragmentedMp4Finished(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() < 16 || !f.seek(f.size() - 16))
        return false;
    return f.read(16).mid(4, 4) == "mfro";
}

bool fill(const QString& path, qint64 bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    const QByteArray block(1 << 20, '\0');
    while (bytes > 0) {
        const qint64 n = qMin<qint64>(bytes, block.size());
        if (f.write(block.constData(), n) != n)
            return false;
        bytes -= n;
    }
    return f.flush();
}

SmallDisk::SmallDisk(const QString& dir, bool readOnly) : path(dir)
{
    QDir().mkpath(path);
    const QString options = readOnly ? QStringLiteral("size=15m,ro") : QStringLiteral("size=15m");
    mounted =
        QProcess::execute(QStringLiteral("mount"),
                          {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                           options, QStringLiteral("tmpfs"), path}) == 0;
}

SmallDisk::~SmallDisk()
{
    if (mounted)
        QProcess::execute(QStringLiteral("umount"), {path});
}

} // namespace testutil
