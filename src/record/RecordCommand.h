// Command lines of a recording and of its finalisation, and the reading of the finaliser's probe.
#pragma once

#include <QString>
#include <QStringList>

// Frames per second of every recording, exactly as the tool reads its "29.97".
constexpr int kRecordRateNumerator = 2997;
constexpr int kRecordRateDenominator = 100;

// What a Linux recording captures and where it writes.
struct LinuxCapture {
    QString display; // the X display as DISPLAY names it: ":0", ":1.0", "host:10.0"
    int width = 0;   // the X screen in pixels; an odd size is cut to even
    int height = 0;
    QStringList audioSources; // PulseAudio sources: none, one, or two mixed into one track
    double startSeconds = 0;  // wall-clock seconds (since the epoch) when the tool is launched
    QString outputPath;       // the working file (fragmented MP4); never overwritten
};

// The x11grab input for `display`: the whole screen from its top-left corner.
QString x11grabInput(const QString& display);

// Arguments of a Linux recording: the PulseAudio inputs first and x11grab last, all shifted by
// the same -startSeconds on wall-clock timestamps so that sound and picture stay in step; H.264
// and AAC in a fragmented MP4 with a keyframe (and a fragment) about every 2 s.
QStringList linuxRecordArguments(const LinuxCapture& capture);

// The PulseAudio inputs `sources`, their wall-clock timestamps shifted by -startSeconds.
QStringList pulseInputArguments(const QStringList& sources, double startSeconds);

// A picture input of raw I420 pictures of `width` x `height` at the recording's frame rate,
// read from the tool's file descriptor `fd` (as /dev/fd/N); picture n is the one at n / rate on
// the timeline.
QStringList rawPictureInputArguments(int width, int height, int fd);

// The output part of a recording whose inputs are `audioInputs` sound inputs followed by one
// picture input: the picture through `pictureFilter` (empty: none), the sound (none, one, or
// two mixed into one track), H.264 and AAC in a fragmented MP4 at `outputPath` with a keyframe
// (and a fragment) about every 2 s.
QStringList recordOutputArguments(int audioInputs, const QString& pictureFilter,
                                  const QString& outputPath);

// Arguments of an AVFoundation recording (macOS). `screen` is the screen device's digit;
// `audioData` is the sound box's data (-2 none, -1 microphone and computer sounds mixed into one
// track, else a device index); `mic` and `sys` the discovered device indexes.
QStringList avfoundationRecordArguments(char screen, int audioData, int mic, int sys,
                                        const QString& outputPath);

// The frame count of a progress line ("frame=  12 fps=..."), or -1 for any other line.
int progressFrameCount(const QString& line);

// Arguments of the run that prints the first video packets of `workPath` (framemd5 on stdout).
QStringList videoStartProbeArguments(const QString& workPath);

// Where the picture of a working file starts, in seconds from its start, read from the output
// of the run above: the first frame with its own time. The muxer of a fragmented MP4 moves a
// track's first frame to 0 and stretches it over the lead-in before the capture began; the next
// frame carries the true time. Returns -1 when the output lists no video packet.
double videoStartSeconds(const QStringList& probeLines);

// Arguments of the stream copy of `workPath` into `outputPath` from `startSeconds` (index at
// the front). The start is rounded down to whole microseconds so the frame there is kept; the
// sound before it is dropped and the keyframe before it is kept for one frame only, so a copy
// that ignores hidden pre-roll (a merge) shows no frozen lead-in.
QStringList finalizeArguments(const QString& workPath, double startSeconds,
                              const QString& outputPath);
