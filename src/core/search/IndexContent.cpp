#include "IndexContent.h"

#include "FileOps.h"
#include "FolderWatcher.h"
#include "ImageFolders.h"
#include "Matching.h"
#include "NativePath.h"
#include "ProfileFile.h"
#include "SearchScan.h"

#include <QDir>
#include <algorithm>

namespace kovra {

bool IndexContent::Info::outsideSettled() const
{
    // Each stored path outside is still a file, or its folder is still missing: then no file of that
    // name in any case can be there, and the resolution (which tries case variants) is unchanged.
    return std::all_of(outside.begin(), outside.end(),
                       [](const auto& o) { return isRegularFile(o.first) || pathStatus(o.second).absent; });
}

// The picture path depends on which of the stored paths are files and on which files the folder holds.
// The folder's watch reports the latter (unless a link there leads elsewhere); the stored paths outside
// it are looked at again at every answer, and the kept path is used while they are settled.
QString IndexContent::Info::picturePath(const QString& folder) const
{
    return resolvedKept && outsideSettled() ? resolved : picturePathOf(folder, stored, whole);
}

IndexContent::Info IndexContent::readInfo(const QString& folder, bool plainFolder, FileOps& ops)
{
    const ProfileFile ini = ProfileFile::load(imageIniPath(folder), ops);
    Info info;
    info.title = ini.read(u"ImageFile", u"Title", nonTitled(), TitleBufferSize);
    info.stored = ini.read(u"ImageFile", u"Filename", u"", SearchFilenameBufferSize);
    info.whole = ini.value(u"ImageFile", u"Filename").value_or(QString());
    info.keep = ini.status() != ProfileFile::Status::Unreadable;
    if (!plainFolder)
        return info;
    const QString inside = QDir::cleanPath(QDir::isAbsolutePath(folder) ? folder : QDir(folder).absolutePath());
    for (const QString& path : {info.stored, info.whole}) {
        const QString clean = QDir::cleanPath(path);
        const QString holder = FolderWatcher::holderOf(clean).toString();
        if (QDir::isAbsolutePath(path) && holder != inside)
            info.outside.emplace_back(path, holder.isEmpty() ? QStringLiteral("/") : holder);
    }
    const bool settled = info.outsideSettled();
    info.resolved = picturePathOf(folder, info.stored, info.whole);
    info.resolvedKept = settled && info.outsideSettled();
    return info;
}

IndexContent::Entry IndexContent::read(const QString& folder, FileOps& ops, bool& readWhole)
{
    Entry entry;
    readWhole = true;
    // Folded into a buffer that keeps its size from folder to folder, then copied once at its length.
    thread_local QString text;
    text.resize(0);
    for (int a = 0; a < AreaCount; ++a) {
        entry.areaStart[size_t(a)] = qint32(text.size());
        const ProfileFile file = ProfileFile::load(areaFilePath(folder, a), ops);
        if (file.status() == ProfileFile::Status::Unreadable)
            readWhole = false; // the next read may succeed
        if (file.status() != ProfileFile::Status::Loaded)
            continue;
        visitSearchItems(file, [&](QByteArrayView item) {
            if (!item.isEmpty()) {
                appendFoldedBytes(item, text);
                text += QChar(Separator);
            }
            return false;
        });
    }
    entry.areaStart[AreaCount] = qint32(text.size());
    if (!text.isEmpty())
        entry.text = QString(text.constData(), text.size());
    return entry;
}

QList<int> IndexContent::hitsOf(const Entry& entry, QStringView needle)
{
    QList<int> hits;
    const QStringView text(entry.text);
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype at = text.indexOf(needle, from);
        if (at < 0)
            break;
        const auto next = std::upper_bound(entry.areaStart.begin(), entry.areaStart.end(), qint32(at));
        hits.append(int(next - entry.areaStart.begin()) - 1);
        from = *next;
    }
    return hits;
}

void IndexContent::put(const QString& folder, Entry&& entry, bool current)
{
    ++m_generation;
    Entry& e = m_entries[folder];
    e = std::move(entry);
    if (!current) {
        e.text = QString();
        e.info.reset();
    }
}

void IndexContent::keepInfo(const QString& folder, Info&& info)
{
    const auto it = m_entries.find(folder);
    if (it != m_entries.end())
        it->info = std::move(info);
}

void IndexContent::prune(const QSet<QString>& wanted)
{
    ++m_generation;
    for (auto it = m_entries.begin(); it != m_entries.end();)
        it = wanted.contains(it.key()) ? std::next(it) : m_entries.erase(it);
}

qint64 IndexContent::memoryBytes() const
{
    auto bytes = [](const QString& t) { return qint64(t.capacity()) * 2; };
    qint64 m = 0;
    for (auto it = m_entries.cbegin(); it != m_entries.cend(); ++it) {
        // The key, the entry and the hash's node and bucket.
        m += bytes(it.key()) + qint64(sizeof(Entry)) + 32 + bytes(it->text);
        if (it->info)
            m += bytes(it->info->title) + bytes(it->info->stored) + bytes(it->info->whole) + bytes(it->info->resolved);
    }
    return m;
}

} // namespace kovra
