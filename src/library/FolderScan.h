// The MP4 files of one folder, newest first.
#pragma once

#include <QLoggingCategory>
#include <QString>
#include <QVector>
#include <string>

Q_DECLARE_LOGGING_CATEGORY(lcLibrary)

// One MP4 file of a folder.
struct _FILE_INFO_ {
    qint64 n64FileSize = 0;      // bytes
    std::string strDuration;     // "hh:mm:ss" from the duration probe; empty after the scan
    wchar_t wszModifyTime[64]{}; // last modification, local time, "yyyy-MM-dd hh:mm:ss"
    wchar_t wszFileName[256]{};  // name without folder, extension included
};

// Adds one record per file of `folder` (one level, hidden files left out) whose suffix is
// "mp4" in any letter case, each at the front of `list`. A name that does not fit
// `wszFileName` is left out. Writes the folder and each time to the debug stream.
void TraverseFolder(QString folder, QVector<_FILE_INFO_>& list);

// True when `a` was modified later than `b`: sorting with it puts the newest first.
bool VectorCmp(const _FILE_INFO_& a, _FILE_INFO_ b);

// The scan sorted newest first, as every page lists it.
QVector<_FILE_INFO_> ScanFolderNewestFirst(const QString& folder);

// The record's file name and modification time as text.
QString FileNameOf(const _FILE_INFO_& info);
QString ModifyTimeOf(const _FILE_INFO_& info);
