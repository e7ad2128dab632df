// Reading a recording back for the recording benchmark: frames, repeated and lost pictures,
// and the offset between the screen's flashes and their beeps.
#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

struct RecordingFacts {
    bool ok = false;
    QString problem;          // why the file could not be read
    int frames = 0;           // video frames in the file
    double videoSeconds = 0;  // from the first frame's time to the end of the last frame
    int repeated = 0;         // frames identical to the one before (duplicated by the tool)
    int lost = 0;             // captures missing between frames, read from the screen's clock
    int unreadable = 0;       // frames whose clock could not be read (flashes cover none)
    qint64 firstClockMs = -1; // the screen's clock in the first and last readable frames
    qint64 lastClockMs = -1;
    QVector<double> videoFlashes; // seconds of the first frame of each flash
    QVector<double> audioBeeps;   // seconds of the start of each beep
    QVector<double> offsetsMs;    // beep minus flash, per pair, ms (positive: sound late)
};

// Decodes `path` with `tool` and reads its pictures and sound. `captureRate` is the rate the
// screen was grabbed at (frames per second).
RecordingFacts analyseRecording(const QString& tool, const QString& path, double captureRate,
                                const QString& scratchDir);

// The counters of the tool's last progress line in `lines` ("frame=... dup=N drop=N").
struct ToolCounters {
    bool found = false;
    int frames = 0;
    int dup = 0;
    int drop = 0;
};
ToolCounters lastProgressCounters(const QStringList& lines);
