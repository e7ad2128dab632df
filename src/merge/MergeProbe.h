// Stream facts of the merge inputs, read from the tool's input descriptions, and the check
// that they can be joined by stream copy.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

// What the tool says about one input: its length and its first video and audio stream.
struct MediaFacts {
    bool opened = false;         // the tool could open and describe the input
    double durationSeconds = -1; // -1 when the tool printed none or "N/A"
    bool hasVideo = false;
    QString videoCodec;   // "h264"
    QString size;         // "320x240"
    QString pixelFormat;  // "yuv420p"
    double frameRate = 0; // frames per second ("fps", else "tbr"); 0 when unknown
    bool hasAudio = false;
    QString audioCodec; // "aac"
    int sampleRate = 0; // Hz
    QString channels;   // "mono", "stereo", "5.1(side)", ...
};

// The facts of every input described in `text` (the merged output of
// `tool -hide_banner -i A -i B ...`), in input order. The tool stops at the first input it
// cannot open, so the result holds only the inputs before it.
QVector<MediaFacts> parseInputDescriptions(const QString& text);

// The arguments that make the tool describe `paths` (and stop: there is no output).
QStringList describeArguments(const QStringList& paths);

// The streams of one input for the user: "h264 320x240 yuv420p 30 fps, aac 44100 Hz mono".
QString mediaSummary(const MediaFacts& facts);

// Why the files cannot be joined by stream copy: one line per file that cannot be read or
// differs from the first readable file, "name: size 640x480, no audio", every difference
// named. Empty when all match. `names` and `facts` run in parallel.
QStringList mergeMismatches(const QStringList& names, const QVector<MediaFacts>& facts);

// The message that refuses the merge: the first readable file with its streams, then the
// lines of mergeMismatches. Empty when the files can be merged.
QString mergeRefusal(const QStringList& names, const QVector<MediaFacts>& facts);
