// Text forms of durations and byte counts, free disk space, ticks and free output names.
#pragma once

#include <QString>
#include <string>

// Whole seconds as "hh:mm:ss" (hours grow past two digits; negative seconds print as given).
std::string GetTimeStringA(long long seconds);

// A byte count as "12.50 MB", "1.00 GB", ... or "1023 Bytes".
std::string GetFileSizeString(long long bytes);

// Free bytes for an unprivileged user on the file system of `path` or of its nearest existing
// ancestor. `path` is UTF-8 and is shortened in place; `length` is unused. The count comes back
// in two 32-bit halves. Returns 0, or -1 when not even "/" can be queried. A relative path
// answers 0 free bytes with status 0.
int rsb_getFreeSpace(char* path, int length, unsigned int* high, unsigned int* low);

// rsb_getFreeSpace on the UTF-8 bytes of `dir`, as one count (0 when it cannot be measured).
quint64 GetFreeSpace(const QString& dir);

// Why files cannot be written in the folder `dir`, or it cannot be made: "its disk is
// read-only", "permission denied", "/a/b is a file"; for a folder that does not exist, the
// reason of its nearest existing parent, named, or where removable disks are mounted, that a
// folder on the way does not exist. Empty when nothing stands in the way.
QString FolderProblem(const QString& dir);

// Milliseconds of a monotonic clock since an arbitrary fixed moment.
long rsb_getTickCount();

// A path's folder part (up to and including its last '/'), its name before the last '.', and
// that '.' with what follows (empty when the name has no '.').
struct PathParts {
    QString dir;
    QString base;
    QString ext;
};
PathParts SplitPath(const QString& path);

// `base` shortened by whole characters from its end until `head + base + tail` fits in a file
// name (255 bytes of UTF-8); one character at least is kept.
QString FitNamePart(const QString& head, const QString& base, const QString& tail);

// The first of "dir/base(1).ext", "dir/base(2).ext", ... that does not exist, or `source`
// itself when it does not exist; `base` shortened (FitNamePart) where the name would not fit.
QString GetRealFileName(const QString& source);
