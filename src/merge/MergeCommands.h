// Names, paths and argument lists of the merge job's runs: one conversion per input, one join.
#pragma once

#include "library/MediaProbe.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

// The path of queued file `name` in the folder text `folder` ("/" between them, not doubled).
QString mergeInputPath(const QString& folder, const QString& name);

// "folder/Merge_yyyy-MM-dd hh-mm-ss.mp4" for a job started at `now` (24-hour clock), or the
// first free "(1)", "(2)", ... variant of it when that file exists.
QString mergeOutputPath(const QString& folder, const QDateTime& now);

// The transport stream name of input `index` (from 1): "1.ts", "2.ts", ...
QString mergeTsName(int index);
// The name of input `index`'s sound copied out to be completed with silence: "1.aac", ...
QString mergeSoundName(int index);

// Arguments that copy the streams of `inputPath` into the MPEG transport stream `tsPath`.
// `h264Video`: the video is H.264, whose packets need start codes in a transport stream.
// `soundPackets` (from MergeSoundCarry; below 0: all): how many sound packets are kept.
// `soundPieces`: when not empty, the sound is taken from these ADTS files (plain names in the
// run's working directory), one after the other, instead of from the input, starting with its
// first picture. `inputStart`: the input's first timestamp (MediaFacts::startSeconds);
// `pictureStart`: where its first picture starts (IsoTrackEnds::videoStart), s.
QStringList changeToTsArguments(const QString& inputPath, const QString& tsPath, bool h264Video,
                                int soundPackets = -1, const QStringList& soundPieces = {},
                                double inputStart = 0, double pictureStart = 0);

// Arguments that copy the first sound track of `inputPath` into the ADTS file `adtsPath`.
QStringList soundOnlyArguments(const QString& inputPath, const QString& adtsPath);

// Arguments that encode `packets` packets of silent AAC-LC sound like the sound of `facts` (its
// rate and channels) into the ADTS file `adtsPath`.
QStringList silenceArguments(const MediaFacts& facts, int packets, const QString& adtsPath);

// The first `frames` frames of the ADTS data `adts` (all of them when it has fewer; empty when
// it is not ADTS).
QByteArray adtsFrames(const QByteArray& adts, int frames);

// What the conversion of one part keeps of its sound.
struct MergeSoundPlan {
    int packets = -1; // the sound packets it writes (below 0: all the part has)
    int lead = 0;     // of those, silence before the part's own sound
    int silence = 0;  // and silence after it
};

// How much of each part's sound a merge keeps, so that the sound stays with the pictures.
// The join butts each part's sound against the sound before it and each part's picture against
// the picture before it, so sound running on past its picture delays the sound of every later
// part (a whole remainder of it froze the picture at each join), and sound cut at a packet
// near the picture's end is up to half a packet off. Parts of one length round the same way
// each time: the error added up to tens of milliseconds over a dozen joins. Each part therefore
// keeps the number of packets that brings the sound joined so far nearest to its pictures.
// Sound that starts after its first picture or stops short of its last (a recording's sound
// ends a tenth of a second before its picture) would leave gaps that players close, pulling
// every later part's sound early: the missing packets are added as silence where they can be.
class MergeSoundCarry
{
public:
    // The plan for the next part, whose picture ends at `videoEnd` and whose sound starts at
    // `audioStart` and ends at `audioEnd` (s from its first picture, see isoTrackEnds; an end
    // below 0 is unknown). `fill`: silence may be added (AAC-LC sound only).
    MergeSoundPlan planFor(const MediaFacts& facts, double videoEnd, double audioStart,
                           double audioEnd, bool fill);

private:
    double m_soundAhead = 0; // how far the sound joined so far runs past its pictures, s
};

// Arguments that join the transport streams `tsNames` into the MP4 `outputName`, streams
// copied. The names are plain file names in the run's working directory: the concat protocol
// splits its list on '|' and cannot take one inside a path. `streams`: what the parts hold
// alike. AAC sound's transport stream framing must become MP4's; the turn players give the
// pictures, which a transport stream does not carry, is written again; HEVC is tagged as Apple's
// players require.
QStringList joinArguments(const QStringList& tsNames, const QString& outputName,
                          const MediaFacts& streams);
