// Probe results remembered by file, so that a refresh of an unchanged folder runs no probe.
#pragma once

#include "library/MediaProbe.h"

#include <QHash>
#include <QString>

// A file as it was when it was probed: its size and last modification.
struct FileStamp {
    qint64 size = -1;       // bytes; -1 when the file does not exist
    qint64 modifiedMs = -1; // ms since the epoch
    bool operator==(const FileStamp& other) const
    {
        return size == other.size && modifiedMs == other.modifiedMs;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

// The stamp of `path` as the file is on disk now.
FileStamp fileStampOf(const QString& path);

class ProbeCache final
{
public:
    // The facts remembered for `path` when they were probed from the file as `stamp` describes
    // it; nullptr when the file was never probed, or was changed since. The pointer is valid
    // until the next insert().
    const MediaFacts* find(const QString& path, const FileStamp& stamp) const;
    // Remembers `facts` of `path` as the file was at `stamp` (taken before the probe started),
    // in place of anything remembered for it before. A missing file, and one the tool could not
    // open, is not remembered.
    void insert(const QString& path, const FileStamp& stamp, const MediaFacts& facts);
    qsizetype size() const { return m_entries.size(); }

private:
    struct Entry {
        FileStamp stamp;
        MediaFacts facts;
    };
    QHash<QString, Entry> m_entries; // by absolute, clean path
};
