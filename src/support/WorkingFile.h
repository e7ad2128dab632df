// The one way a finished file reaches the user: written aside under a hidden name in the target
// folder, then moved into place under the first free name. A folder list never shows the hidden
// name, and a failed or canceled job removes it.
#pragma once

#include <QString>

// A hidden working path for `finalPath`: same folder, "." + base + "." + `tag` + ".part" + the
// extension (from which the tool picks the container).
QString WorkingPathFor(const QString& finalPath, const QString& tag);

// True for a name ReserveWorkingFile makes.
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

// An advisory lock that this process holds on a working file or folder while it writes there,
// so that a later start tells a crash's leftover (nobody holds it) from work still going in
// another process. The system drops it when the holder ends, a crash included.
class WorkLock final
{
public:
    WorkLock() = default;
    ~WorkLock() { release(); }
    WorkLock(const WorkLock&) = delete;
    WorkLock& operator=(const WorkLock&) = delete;

    // Takes the lock on `path` (a file or a folder) without waiting. False when another holder
    // has it, or the path cannot be opened. `inherited`: the media tool started meanwhile holds
    // it too, until it ends (a tool still closing a file after this process died).
    bool acquire(const QString& path, bool inherited = false);
    void release();
    bool isHeld() const { return m_fd >= 0; }
    // Where the locked file is now (it may have been moved with its folder); empty when it was
    // deleted, or nothing is held.
    QString currentPath() const;

private:
    int m_fd = -1;
};

// True when `path` belongs to the user this process runs as: in a folder several users write
// to, what another user's crash left is theirs to recover or remove.
bool IsOwnFile(const QString& path);

// Removes what a crashed job of this user left in `folder` that nobody holds: working files and the
// private folders of cuts and merges (".vistrel-cut-*", ".vistrel-merge-*"). Returns what it
// removed.
QStringList RemoveLeftovers(const QString& folder);

// The folders this program writes working files into, kept in the file `journalPath`, so that a
// start after a crash knows where to look. Adds `folder` (once).
void RememberWorkFolder(const QString& journalPath, const QString& folder);
// The folders RememberWorkFolder kept.
QStringList RememberedWorkFolders(const QString& journalPath);
