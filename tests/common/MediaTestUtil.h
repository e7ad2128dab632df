// Test helpers that make small clips with the real media tool and look into files.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace testutil
{

struct ClipOptions {
    double seconds = 2;
    QString size = QStringLiteral("320x240");
    int rate = 30;
    int keyframeEvery = 30; // frames between keyframes
    bool video = true;
    bool audio = true;
    int sampleRate = 44100;
};

// Writes an H.264 (+ AAC) MP4, or an AAC-only one, made from lavfi test sources. Returns false on
// failure.
bool makeClip(const QString& path, const ClipOptions& opts = ClipOptions());

// The real ffmpeg / ffprobe of the system.
QString ffmpegPath();
QString ffprobePath();

// Container duration in seconds from ffprobe, -1 when unreadable.
double probeDuration(const QString& path);
// codec_type of every stream, in order ("video", "audio").
QStringList probeStreamTypes(const QString& path);
// "key=value" lines of ffprobe -show_streams for stream `index` of `type` ("v:0", "a:0").
QString probeStreamEntry(const QString& path, const QString& selector, const QString& entry);
// Presentation time of the first video picture shown, seconds; -1 when none.
double firstVideoFrameTime(const QString& path);
// True when a full decode prints no error.
bool decodesCleanly(const QString& path);
// SHA-1 of the file's bytes.
QByteArray checksum(const QString& path);
// Writes `bytes` random bytes.
bool writeRandomFile(const QString& path, int bytes);
// Whether a fragmented MP4 ends with the index its writer adds last (an "mfro" box): the tool
// finished it, rather than being cut off after some fragment.
bool fragmentedMp4Finished(const QString& path);

// A copy of `source` with its index at the front, cut to half its size: it still says it lasts
// as long as `source`, but its data ends half way.
bool makeCutShort(const QString& source, const QString& path);
// Every entry of `dir`, hidden ones and folders included, sorted by name.
QStringList entriesIn(const QString& dir);

// Writes `bytes` zero bytes to `path`; false when the disk refuses them.
bool fill(const QString& path, qint64 bytes);

// A 15 MiB file system mounted at `dir` for one test and unmounted when it ends, also on
// failure (mounting needs root; `mounted` is false where it is not permitted). `readOnly`: no
// one can write to it.
struct SmallDisk {
    explicit SmallDisk(const QString& dir, bool readOnly = false);
    ~SmallDisk();
    QString path;
    bool mounted = false;
};

} // namespace testutil
