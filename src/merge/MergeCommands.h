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

// Arguments that copy the streams of `inputPath` into the MPEG transport stream `tsPath`.
// `h264Video`: the video is H.264, whose packets need start codes in a transport stream.
// `soundPackets` (from MergeSoundCarry; below 0: all): how many sound packets are kept.
QStringList changeToTsArguments(const QString& inputPath, const QString& tsPath, bool h264Video,
                                int soundPackets = -1);

// How much of each part's sound a merge keeps, so that the sound stays with the pictures.
// The join butts each part's sound against the sound before it and each part's picture against
// the picture before it, so sound running on past its picture delays the sound of every later
// part (a whole remainder of it froze the picture at each join), and sound cut at a packet
// near the picture's end is up to half a packet off. Parts of one length round the same way
// each time: the error added up to tens of milliseconds over a dozen joins. Each part therefore
// keeps the number of packets that brings the sound joined so far nearest to its pictures.
class MergeSoundCarry
{
public:
    // The sound packets to keep of the next part (below 0: all), whose picture and sound end at
    // `videoEnd` and `audioEnd` (s on its timeline, see isoTrackEnds; below 0 when unknown).
    int packetsFor(const MediaFacts& facts, double videoEnd, double audioEnd);

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
