// The MP4 files of one folder, newest first.
#include "library/FolderScan.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <algorithm>

Q_LOGGING_CATEGORY(lcLibrary, "vistrel.library")

namespace
{

// Writes `text` and its terminator into `field`; false (field untouched) when it does not fit.
// A cut name would point at another file, so the caller leaves such a file out.
template <std::size_t N> bool copyInto(wchar_t (&field)[N], const QString& text)
{
    if (text.toStdWString().size() >= N)
        return false;
    const int n = text.toWCharArray(field);
    field[n] = L'\0';
    return true;
}

} // namespace

void TraverseFolder(QString folder, QVector<_FILE_INFO_>& list)
{
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    qCDebug(lcLibrary) << folder;
    const QFileInfoList entries = QDir(folder).entryInfoList();
    for (const QFileInfo& entry : entries) {
        if (!entry.isFile())
            continue;
        if (entry.suffix().compare(QLatin1String("mp4"), Qt::CaseInsensitive) != 0)
            continue;
        _FILE_INFO_ info;
        info.n64FileSize = entry.size();
        const QString time = entry.lastModified().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        copyInto(info.wszModifyTime, time);
        if (!copyInto(info.wszFileName, entry.fileName())) {
            qCDebug(lcLibrary) << "name too long, left out:" << entry.fileName();
            continue;
        }
        qCDebug(lcLibrary) << time;
        list.prepend(info);
    }
}

bool VectorCmp(const _FILE_INFO_& a, _FILE_INFO_ b)
{
    return ModifyTimeOf(a).compare(ModifyTimeOf(b), Qt::CaseInsensitive) > 0;
}

QVector<_FILE_INFO_> ScanFolderNewestFirst(const QString& folder)
{
    QVector<_FILE_INFO_> list;
    TraverseFolder(folder, list);
    if (list.size() >= 2)
        std::sort(list.begin(), list.end(), VectorCmp);
    return list;
}

QString FileNameOf(const _FILE_INFO_& info)
{
    return QString::fromWCharArray(info.wszFileName);
}

QString ModifyTimeOf(const _FILE_INFO_& info)
{
    return QString::fromWCharArray(info.wszModifyTime);
}
