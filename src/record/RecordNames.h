// File names of a recording (final, working, finalising) and the texts the recording shows.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// Free bytes below which a running recording stops (10 MiB).
constexpr quint64 kRecordLowSpaceBytes = 10485760;

// "yyyy-MM-dd hh-mm-ss.mp4" of `start` (local time, 24-hour clock).
QString recordingFileName(const QDateTime& start);

// The hidden name the tool writes a recording under while it runs: "." + base +
// ".recording.mp4" for "base.mp4".
QString workingFileName(const QString& finalFileName);

// The final file name a working file name stands for ("" when it is not a working file name).
QString finalNameForWorkingFile(const QString& workingFileName);

// The final and working paths of a new recording.
struct RecordingPaths {
    QString finalPath;
    QString workPath;
};

// Paths of a recording started at `start` in folder `dir`: the time name, or the first of its
// "(1)", "(2)", ... forms for which neither the final file nor its working file exists yet.
RecordingPaths chooseRecordingPaths(const QString& dir, const QDateTime& start);

// Working files this user's recordings left in `dir` (by a crash), as full paths, oldest name
// first.
QStringList leftoverWorkingFiles(const QString& dir);

// The status label while recording: "Recording... \n\n" + elapsed time + "\n\n" + size;
// "Starting... " in place of "Recording... " until the first picture is written (the system may
// be asking the user to share the screen, or the sound inputs are opening).
QString recordingStatusText(qint64 seconds, qint64 bytes, bool started = true);
