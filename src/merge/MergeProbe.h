// The check that the merge inputs, as the tool describes them, can be joined by stream copy.
#pragma once

#include "library/MediaProbe.h"

#include <QString>
#include <QStringList>
#include <QVector>

// The streams of one input for the user: "h264 320x240 yuv420p 30 fps, aac 44100 Hz mono".
QString mediaSummary(const MediaFacts& facts);

// Why the files cannot be joined by stream copy: one line per file that cannot be read or
// differs from the first readable file, "name: size 640x480, no audio", every difference
// named. Empty when all match. `names` and `facts` run in parallel.
QStringList mergeMismatches(const QStringList& names, const QVector<MediaFacts>& facts);

// The message that refuses the merge: the first readable file with its streams, then the
// lines of mergeMismatches. Empty when the files can be merged.
QString mergeRefusal(const QStringList& names, const QVector<MediaFacts>& facts);
