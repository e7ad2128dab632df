// Command lines of a recording and of its finalisation, and the reading of the finaliser's probe.
#pragma once

#include <QString>
#include <QStringList>

// Frames per second of every recording; the picture is captured at this rate too.
extern const QString kRecordFrameRate;
// The same rate as a fraction, exactly as the tool reads "29.97".
constexpr int kRecordRateNumerator = 2997;
constexpr int kRecordRateDenominator = 100;

// The inputs of the PulseAudio sources `sources` (none, one, or two that the output part mixes
// into one track). Every input of a recording stamps wall-clock time; shifted by -startSeconds
// (wall-clock seconds since the epoch just before the run starts), they share one timeline.
QStringList soundInputArguments(const QStringList& sources, double startSeconds);

// The x11grab input of the whole X screen `display` (as DISPLAY names it: ":0", "host:10.0"),
// `width` x `height` pixels (an odd size is cut to even), on the same timeline.
QStringList x11grabInputArguments(const QString& display, int width, int height,
                                  double startSeconds);

// A picture input of raw I420 pictures of `width` x `height` at the recording's frame rate,
// read from the tool's file descriptor `fd` (as /dev/fd/N); picture n is the one at n / rate on
// the timeline.
QStringList rawPictureInputArguments(int width, int height, int fd);

// The x11grab picture's conversion to the file's pixel format (see the .cpp).
extern const QString kX11PictureFilter;

// A whole recording: `inputs` are the sound inputs first (`soundInputs` of them) and the
// picture last; `pictureFilter` (may be empty) converts the picture; H.264 and AAC in a
// fragmented MP4 at `outputPath` (a working file the caller made for it) with a keyframe and a
// fragment about every 2 s. `endWithPictures`: the run ends when the picture input ends (a
// capture that writes the pictures itself ends them at a stop), and the sound with them.
QStringList recordArguments(const QStringList& inputs, int soundInputs,
                            const QString& pictureFilter, bool endWithPictures,
                            const QString& outputPath);

// When `line` of a recording's output tells that one of the sound `sources` failed (the tool
// names the input, "<source>: <error>", and records on without its sound): a sentence naming
// the source and the error. Empty for every other line.
QString soundSourceFailure(const QString& line, const QStringList& sources);

// Why a recording that ran `ranSeconds` (first picture to Stop) and of which the tool wrote
// `writtenSeconds` is that much shorter, when it is: the tool fell behind the screen and drops
// the pictures still waiting when it is told to stop. Empty when it kept up (or is unknown).
QString fellBehindText(double ranSeconds, double writtenSeconds);

// Arguments of the run that prints the first video packets of `workPath` (framemd5 on stdout).
QStringList videoStartProbeArguments(const QString& workPath);

// Where the picture of a working file starts, in seconds from its start, read from the output
// of the run above: the first frame with its own time. The muxer of a fragmented MP4 moves a
// track's first frame to 0 and stretches it over the lead-in before the capture began; the next
// frame carries the true time. Returns -1 when the output lists no video packet.
double videoStartSeconds(const QStringList& probeLines);

// Arguments of the stream copy of `workPath` into `outputPath` (overwritten) from
// `startSeconds` (index at the front). The start is rounded down to whole microseconds so the frame
// there is kept; the sound before it is dropped and the keyframe before it is kept for one frame
// only, so a copy that ignores hidden pre-roll (a merge) shows no frozen lead-in.
QStringList finalizeArguments(const QString& workPath, double startSeconds,
                              const QString& outputPath);
