// The one way a finished file reaches the user: written aside under a hidden name in the target
// folder, then moved into place under the first free name. A folder list never shows the hidden
// name, and a failed or canceled job removes it.
#pragma once

#include <QString>

// A hidden working path for `finalPath`: same folder, "." + base + "." + `tag` + ".part" + the
// extension (from which the tool picks the container).
QString WorkingPathFor(const QString& finalPath, const QString& tag);

// True for a name WorkingPathFor makes (with any tag).
bool IsWorkingFileName(const QString& fileName);

// The working files in `dir` (full paths): left there by a job or a finalisation that a crash
// interrupted, unless one is still going.
QStringList WorkingFilesIn(const QString& dir);

// Creates an empty working file for `finalPath` that did not exist before, so it is ours to
// overwrite and remove, and returns its path. Empty, with the reason in `error`, when the folder
// cannot take it.
QString ReserveWorkingFile(const QString& finalPath, QString* error = nullptr);

// Moves `workPath` to `wanted`, or to the first free "(n)" form of it when that is taken (an
// existing file is never replaced), and returns the name it now has. Empty, with the reason in
// `error`, when it cannot be moved.
QString MoveIntoPlace(const QString& workPath, const QString& wanted, QString* error = nullptr);
