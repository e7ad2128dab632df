// The MP4 files of one folder, newest first.
#include "library/FolderScan.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cwchar>

namespace
{

template <std::size_t N> void copyInto(wchar_t (&field)[N], const QString& text)
{
    const QString cut = text.left(qsizetype(N) - 1);
    const int n = cut.toWCharArray(field);
    field[std::min<std::size_t>(std::size_t(n), N - 1)] = L'\0';
}

} // namespace

void TraverseFolder(QString folder, QVector<_FILE_INFO_>& list)
{
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    qDebug() << folder;
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
        copyInto(info.wszFileName, entry.fileName());
        qDebug() << time;
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
