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
// `endSeconds` (from mergePartEnd; below 0: keep everything): where the streams are cut off, so
// that the sound ends with the picture.
QStringList changeToTsArguments(const QString& inputPath, const QString& tsPath, bool h264Video,
                                double endSeconds = -1);

// Where a part of a merge is cut off when it is converted: so that every picture stays and the
// sound ends within half a sound packet of the video's end `videoEndSeconds` (s on the file's
// timeline, see isoVideoEndSeconds; below 0 when unknown, and then -1: nothing is cut off).
// The join aligns each part's picture with the end of the one before; sound running on past
// the picture pushed the pictures after a join later (a 0.3 s remainder froze the picture at
// every join) or the sound itself.
double mergePartEnd(const MediaFacts& facts, double videoEndSeconds);

// Arguments that join the transport streams `tsNames` into the MP4 `outputName`, streams
// copied. The names are plain file names in the run's working directory: the concat protocol
// splits its list on '|' and cannot take one inside a path. `aacAudio`: the audio is AAC,
// whose transport stream framing must become MP4's.
QStringList joinArguments(const QStringList& tsNames, const QString& outputName, bool aacAudio);
