// Writing aside under a hidden name and moving into place.
#include "support/WorkingFile.h"

#include "support/Helpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace
{

// A name taken by a file that appears meanwhile only moves on to the next one; more than this
// many in a row is not a race but a folder that refuses.
constexpr int kAttempts = 16;

} // namespace

QString WorkingPathFor(const QString& finalPath, const QString& tag)
{
    const auto [dir, base, ext] = SplitPath(finalPath);
    const QString rest = QLatin1Char('.') + tag + QStringLiteral(".part") + ext;
    // The working name of a final name that (nearly) fills a file name is shortened in its own
    // part, never in its tag or its extension.
    return dir + QLatin1Char('.') + FitNamePart(QStringLiteral("."), base, rest) + rest;
}

bool IsWorkingFileName(const QString& fileName)
{
    static const QRegularExpression re(
        QStringLiteral("^\\..+\\.vistrel-[0-9a-f]{6}\\.part(\\.[^.]*)?$"));
    return re.match(fileName).hasMatch();
}

QStringList WorkingFilesIn(const QString& dir)
{
    QStringList paths;
    const QDir folder(dir);
    const QStringList names = folder.entryList({QStringLiteral(".*.vistrel-*.part*")},
                                               QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        if (IsWorkingFileName(name))
            paths.append(folder.filePath(name));
    }
    return paths;
}

QString ReserveWorkingFile(const QString& finalPath, QString* error)
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        // The program's name and six hex digits in the tag: what a start after a crash removes
        // must be its own, never a user's hidden ".trip.2024.part".
        const QString token =
            QStringLiteral("vistrel-%1")
                .arg(QRandomGenerator::global()->generate() & 0xffffff, 6, 16, QLatin1Char('0'));
        const QString path = WorkingPathFor(finalPath, token);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return path;
        if (!QFileInfo::exists(path)) {
            if (error)
                *error = file.errorString();
            return {};
        }
    }
    if (error)
        *error = QStringLiteral("no free working name");
    return {};
}

QString MoveIntoPlace(const QString& workPath, const QString& wanted, QString* error)
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const QString target = GetRealFileName(wanted);
        QFile work(workPath);
        // rename() never replaces an existing file: one that appeared under the name meanwhile
        // only moves this one on to the next free name.
        if (work.rename(target))
            return target;
        if (!QFileInfo::exists(target)) {
            if (error)
                *error = work.errorString();
            return {};
        }
    }
    if (error)
        *error = QStringLiteral("no free name");
    return {};
}

bool WorkLock::acquire(const QString& path, bool inherited)
{
    release();
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NONBLOCK | (inherited ? 0 : O_CLOEXEC));
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

void WorkLock::release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

QString WorkLock::currentPath() const
{
    if (m_fd < 0)
        return {};
    // The kernel keeps the path of an open file up to date; a deleted one's ends " (deleted)".
    const QString path = QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(m_fd));
    if (path.isEmpty() || path.endsWith(QLatin1String(" (deleted)")) || !QFileInfo::exists(path))
        return {};
    return path;
}

bool IsOwnFile(const QString& path)
{
    return QFileInfo(path).ownerId() == ::geteuid();
}

QStringList RemoveLeftovers(const QString& folder)
{
    QStringList removed;
    for (const QString& path : WorkingFilesIn(folder)) {
        WorkLock lock;
        if (IsOwnFile(path) && lock.acquire(path) && QFile::remove(path))
            removed.append(path);
    }
    const QDir dir(folder);
    // The private folders of a cut or a merge that did not end (the running ones are locked).
    const QStringList jobs =
        dir.entryList({QStringLiteral(".vistrel-merge-*"), QStringLiteral(".vistrel-cut-*")},
                      QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : jobs) {
        WorkLock lock;
        QDir work(dir.filePath(name));
        if (IsOwnFile(work.path()) && lock.acquire(work.path()) && work.removeRecursively())
            removed.append(work.path());
    }
    return removed;
}

void RememberWorkFolder(const QString& journalPath, const QString& folder)
{
    const QString absolute = QDir(folder).absolutePath();
    QStringList folders = RememberedWorkFolders(journalPath);
    if (folder.isEmpty() || folders.contains(absolute))
        return;
    folders.append(absolute);
    QSaveFile file(journalPath);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(folders.join(QLatin1Char('\n')).toUtf8() + '\n');
    file.commit();
}

QStringList RememberedWorkFolders(const QString& journalPath)
{
    QFile file(journalPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
