// Writing aside under a hidden name and moving into place.
#include "support/WorkingFile.h"

#include "support/Helpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

namespace
{

// A name taken by a file that appears meanwhile only moves on to the next one; more than this
// many in a row is not a race but a folder that refuses.
constexpr int kAttempts = 16;

} // namespace

QString WorkingPathFor(const QString& finalPath, const QString& tag)
{
    const auto [dir, base, ext] = SplitPath(finalPath);
    return dir + QLatin1Char('.') + base + QLatin1Char('.') + tag + QStringLiteral(".part") + ext;
}

bool IsWorkingFileName(const QString& fileName)
{
    static const QRegularExpression re(QStringLiteral("^\\..+\\.[^.]+\\.part(\\.[^.]*)?$"));
    return re.match(fileName).hasMatch();
}

QStringList WorkingFilesIn(const QString& dir)
{
    QStringList paths;
    const QDir folder(dir);
    const QStringList names =
        folder.entryList({QStringLiteral(".*.part*")}, QDir::Files | QDir::Hidden, QDir::Name);
    for (const QString& name : names) {
        if (IsWorkingFileName(name))
            paths.append(folder.filePath(name));
    }
    return paths;
}

QString ReserveWorkingFile(const QString& finalPath, QString* error)
{
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const QString token =
            QString::number(QRandomGenerator::global()->generate() & 0xffffff, 36);
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
