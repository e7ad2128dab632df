// What the container structure of a media file says: whether a file the media tool wrote holds
// any media, and where an MP4's video ends.
#pragma once

#include <QString>

// True when `path` holds at least one stream with data: an MP4 whose movie box has a track and
// whose media data is not empty, an MPEG transport stream with at least one PES packet, or a
// non-empty file of any other kind. False for a missing or empty file, an MP4 without tracks
// (the tool's leftover for "-t 0"), a fragmented MP4 without fragments and an MP4 without its
// movie box (a run killed mid-way).
bool outputHasStreams(const QString& path);

// Where the first video and the first sound track of an MP4 or MOV file end, in seconds on the
// file's timeline (their edit lists counted, as players and the media tool count them); -1 for
// a track that is missing or whose end is unknown, and for both in other files, fragmented ones
// and unreadable ones. The starts are where the first packet a stream copy keeps begins: the
// first picture, which may come before the file's start (a keyframe its first pictures need),
// and the first sound at or after the start (an encoder's priming before it is dropped).
struct IsoTrackEnds {
    double video = -1;
    double audio = -1;
    double videoStart = 0;
    double audioStart = 0;
};
IsoTrackEnds isoTrackEnds(const QString& path);

// Where the first video track of the MP4 or MOV file `path` ends, in seconds on the file's
// timeline (its edit list counted, as players and the media tool count it); -1 for other files,
// fragmented ones, files without video and unreadable ones.
double isoVideoEndSeconds(const QString& path);
