// Text forms of durations and byte counts, free disk space, ticks and free output names.
#include "support/Helpers.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStorageInfo>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/statvfs.h>

std::string GetTimeStringA(long long seconds)
{
    char text[64];
    if (seconds >= 3600) {
        const long long h = seconds / 3600;
        const long long m = (seconds - 3600 * h) / 60;
        const long long s = seconds - 60 * (seconds / 60);
        std::snprintf(text, sizeof text, "%02d:%02d:%02d", int(h), int(m), int(s));
    } else if (seconds < 60) {
        std::snprintf(text, sizeof text, "00:00:%02d", int(seconds));
    } else {
        std::snprintf(text, sizeof text, "00:%02d:%02d", int(seconds / 60),
                      int(seconds - 60 * (seconds / 60)));
    }
    return text;
}

std::string GetFileSizeString(long long bytes)
{
    constexpr long long KB = 1024LL;
    constexpr long long MB = KB * 1024;
    constexpr long long GB = MB * 1024;
    constexpr long long TB = GB * 1024;
    char text[64];
    if (bytes >= TB)
        std::snprintf(text, sizeof text, "%.2f TB", double(bytes) / double(TB));
    else if (bytes >= GB)
        std::snprintf(text, sizeof text, "%.2f GB", double(bytes) / double(GB));
    else if (bytes >= MB)
        std::snprintf(text, sizeof text, "%.2f MB", double(bytes) / double(MB));
    else if (bytes < KB)
        std::snprintf(text, sizeof text, "%d Bytes", int(bytes));
    else
        std::snprintf(text, sizeof text, "%.2f KB", double(bytes) / double(KB));
    return text;
}

int rsb_getFreeSpace(char* path, int /*length*/, unsigned int* high, unsigned int* low)
{
    *high = 0;
    *low = 0;
    for (;;) {
        if (path[0] != '/')
            return 0;
        struct statvfs fs;
        if (::statvfs(path, &fs) == 0) {
            const quint64 free = quint64(fs.f_bavail) * quint64(fs.f_frsize);
            *high = unsigned(free >> 32);
            *low = unsigned(free & 0xffffffffu);
            return 0;
        }
        if (std::strlen(path) < 2)
            return -1;
        char* slash = std::strrchr(path, '/');
        if (slash == path)
            path[1] = '\0';
        else
            *slash = '\0';
    }
}

quint64 GetFreeSpace(const QString& dir)
{
    QByteArray bytes = dir.toUtf8();
    unsigned int high = 0;
    unsigned int low = 0;
    rsb_getFreeSpace(bytes.data(), int(bytes.size()), &high, &low);
    return (quint64(high) << 32) | low;
}

long rsb_getTickCount()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return long(now.tv_sec) * 1000 + long(now.tv_nsec / 1000000);
}

namespace
{

// A dangling symbolic link counts as taken: writing through it would create a file elsewhere.
bool isTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

PathParts SplitPath(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const QString name = path.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return {path.left(slash + 1), dot < 0 ? name : name.left(dot),
            dot < 0 ? QString() : name.mid(dot)};
}

QString FitNamePart(const QString& head, const QString& base, const QString& tail)
{
    constexpr int kNameMaxBytes = 255;
    QString name = base;
    while (name.size() > 1 && (head + name + tail).toUtf8().size() > kNameMaxBytes) {
        name.chop(1);
        if (name.back().isHighSurrogate())
            name.chop(1);
    }
    return name;
}

QString GetRealFileName(const QString& source)
{
    const auto [dir, base, ext] = SplitPath(source);
    for (int n = 0;; ++n) {
        const QString tail =
            n == 0 ? ext : QLatin1Char('(') + QString::number(n) + QLatin1Char(')') + ext;
        const QString candidate = dir + FitNamePart({}, base, tail) + tail;
        if (!isTaken(candidate))
            return candidate;
    }
}

QString FolderProblem(const QString& dir)
{
    const QString path = QDir::cleanPath(QDir(dir).absolutePath());
    QFileInfo at(path);
    QString where;   // the parent that stands in the way, when it is not the folder itself
    QString missing; // the first folder on the way that does not exist
    while (!at.exists() && !at.isRoot()) {
        missing = at.absoluteFilePath();
        at = QFileInfo(at.absolutePath());
        where = at.absoluteFilePath();
    }
    const QString prefix = where.isEmpty() ? QString() : where + QStringLiteral(": ");
    if (!at.isDir())
        return at.absoluteFilePath() + QStringLiteral(" is a file");
    if (at.isWritable())
        return {};
    if (QStorageInfo(at.absoluteFilePath()).isReadOnly())
        return prefix + QStringLiteral("its disk is read-only");
    // Where removable disks are mounted, a folder missing there is mostly a disk not connected.
    static const QRegularExpression mounts(QStringLiteral("^/(media|mnt|run/media)/"));
    if (!missing.isEmpty() && mounts.match(path).hasMatch())
        return missing + QStringLiteral(" does not exist: is its disk connected?");
    return prefix + QStringLiteral("permission denied");
}
