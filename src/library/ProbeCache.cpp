// Probe results remembered by file.
#include "library/ProbeCache.h"

#include <QDir>
#include <QFileInfo>

namespace
{

// Beyond this many files the memory is given back at once; the next refreshes probe again.
constexpr qsizetype kMostEntries = 20000;

QString keyOf(const QString& path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

FileStamp fileStampOf(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile())
        return {};
    return {info.size(), info.lastModified().toMSecsSinceEpoch()};
}

const MediaFacts* ProbeCache::find(const QString& path, const FileStamp& stamp) const
{
    if (stamp.size < 0)
        return nullptr;
    const auto it = m_entries.constFind(keyOf(path));
    if (it == m_entries.constEnd() || !(it->stamp == stamp))
        return nullptr;
    return &it->facts;
}

void ProbeCache::insert(const QString& path, const FileStamp& stamp, const MediaFacts& facts)
{
    if (stamp.size < 0)
        return;
    const QString key = keyOf(path);
    // Why the tool could not open a file may pass (its permissions, a busy machine): it is
    // asked again next time.
    if (!facts.opened) {
        m_entries.remove(key);
        return;
    }
    if (m_entries.size() >= kMostEntries && !m_entries.contains(key))
        m_entries.clear();
    m_entries.insert(key, {stamp, facts});
}
