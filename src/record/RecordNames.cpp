// File names of a recording (final, working, finalising) and the texts the recording shows.
#include "record/RecordNames.h"

#include "support/Helpers.h"
#include "support/WorkingFile.h"

#include <QDir>
#include <QFileInfo>

namespace
{

const QString kMp4 = QStringLiteral(".mp4");
const QString kWorkingSuffix = QStringLiteral(".recording.mp4");

QString baseOf(const QString& fileName)
{
    return fileName.endsWith(kMp4) ? fileName.chopped(kMp4.size()) : fileName;
}

QStringList hiddenFilesEndingWith(const QString& dir, const QString& suffix)
{
    QStringList paths;
    const QDir folder(dir);
    const QStringList names =
        folder.entryList(QStringList{QStringLiteral(".*") + suffix},
                         QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names)
        paths.append(folder.filePath(name));
    return paths;
}

} // namespace

QString recordingFileName(const QDateTime& start)
{
    return start.toString(QStringLiteral("yyyy-MM-dd hh-mm-ss")) + kMp4;
}

QString workingFileName(const QString& finalFileName)
{
    return QLatin1Char('.') + baseOf(finalFileName) + kWorkingSuffix;
}

QString finalNameForWorkingFile(const QString& workingFileName)
{
    if (!workingFileName.startsWith(QLatin1Char('.')) ||
        workingFileName.size() <= 1 + kWorkingSuffix.size() ||
        !workingFileName.endsWith(kWorkingSuffix))
        return {};
    return workingFileName.mid(1, workingFileName.size() - 1 - kWorkingSuffix.size()) + kMp4;
}

RecordingPaths chooseRecordingPaths(const QString& dir, const QDateTime& start)
{
    const QDir folder(dir);
    const QString base = baseOf(recordingFileName(start));
    for (int n = 0;; ++n) {
        const QString name =
            n == 0 ? base + kMp4 : QStringLiteral("%1(%2)%3").arg(base).arg(n).arg(kMp4);
        RecordingPaths paths{folder.filePath(name), folder.filePath(workingFileName(name))};
        if (!QFileInfo::exists(paths.finalPath) && !QFileInfo::exists(paths.workPath))
            return paths;
    }
}

QStringList leftoverWorkingFiles(const QString& dir)
{
    QStringList paths;
    for (const QString& path : hiddenFilesEndingWith(dir, kWorkingSuffix)) {
        if (!finalNameForWorkingFile(QFileInfo(path).fileName()).isEmpty() && IsOwnFile(path))
            paths.append(path);
    }
    return paths;
}

QString recordingStatusText(qint64 seconds, qint64 bytes, bool started)
{
    return (started ? QStringLiteral("Recording... \n\n") : QStringLiteral("Starting... \n\n")) +
           QString::fromStdString(GetTimeStringA(seconds)) + QStringLiteral("\n\n") +
           QString::fromStdString(GetFileSizeString(bytes));
}
