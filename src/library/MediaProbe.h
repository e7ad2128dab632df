// What the media tool says about media files when it describes them
// (`tool -hide_banner -i A -i B ...`), and how many files one such run may describe.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// What the tool says about one input: its length and its first video and audio stream.
struct MediaFacts {
    bool opened = false;         // the tool could open and describe the input
    bool detailed = true;        // false: described for its duration only (DescribeDepth)
    QString container;           // the names the tool reads it by: "mov,mp4,m4a,3gp,3g2,mj2"
    double durationSeconds = -1; // -1 when the tool printed none or "N/A"
    QString durationText;        // what the one-file duration probe gives: "hh:mm:ss", or empty
    double startSeconds = 0;     // the first timestamp ("start:"), 0 when none is given
    bool hasVideo = false;
    QString videoCodec;   // "h264"
    QString size;         // "320x240"
    QString pixelFormat;  // "yuv420p"
    double frameRate = 0; // frames per second ("fps", else "tbr"); 0 when unknown
    int rotation = 0;     // degrees players turn the picture by, 0..359 (its display matrix)
    bool hasAudio = false;
    QString audioCodec;   // "aac"
    QString audioProfile; // "LC", "HE-AAC", ...; empty when the tool names none
    int sampleRate = 0;   // Hz
    QString channels;     // "mono", "stereo", "5.1(side)", ...
};

// The facts of every input described in `text` (the merged output of
// `tool -hide_banner -i A -i B ...`), in input order. The tool stops at the first input it
// cannot open, so the result holds only the inputs before it. Each input's durationText is the
// 8 characters after the first "Duration: " of its description, from its "Input #" line on:
// for a file the tool can open, exactly what the one-file probe of that file gives.
QVector<MediaFacts> parseInputDescriptions(const QString& text);

// How much the tool learns of each file it describes.
enum class DescribeDepth {
    // Every stream decoded until its format is known (pixel format, profile).
    Streams,
    // The container's own header only, no picture decoded: about three times quicker. The
    // duration is the one a full description gives for the files the trust test below accepts;
    // the streams' pixel formats are unknown.
    Duration,
};

// The arguments that make the tool describe `paths` (and stop: there is no output).
QStringList describeArguments(const QStringList& paths,
                              DescribeDepth depth = DescribeDepth::Streams);

// Whether the duration of a file described at DescribeDepth::Duration is the one a full
// description gives: an MP4 or QuickTime file (whose header holds its length) with a duration.
// Other files are described again in full.
bool durationOnlyIsExact(const MediaFacts& facts);

// Whether the tool's output `text` of a run that was to describe `path` (first) says anything of
// it: the tool names each file it reads ("Input #0, ... from '<path>'", "<path>: Invalid data
// ..."). A run that does not (it hung, crashed, or is not the media tool) failed on its own.
bool toolSpokeOf(const QString& text, const QString& path);

// How many files one describing run may open at once under the open-file limit
// `openFileLimit` (the tool keeps every input open until it stops), at most `most`.
int describeBatchLimit(qint64 openFileLimit, int most);

// Sizes of the describing runs for `count` files with `lanes` runs going at once and at most
// `limit` files a run: as few runs as the limit allows, at least one per lane, in a multiple of
// the lanes and of even sizes, so that the lanes finish together.
QVector<int> planDescribeBatches(int count, int lanes, int limit);
