#pragma once

#include "AreaFiles.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <array>
#include <optional>
#include <utility>
#include <vector>

namespace kovra {

class FileOps;

// What the search index holds of each image folder: every area file's items as the scan reads them,
// folded once and joined, and the title and Filename of IMAGE.INI once a hit needed them.
class IndexContent
{
public:
    // Follows every item in the folded text. A noncharacter: no decoded and folded item holds it, so a
    // search text without it never matches across two items.
    static constexpr char16_t Separator = 0xFFFF;

    // IMAGE.INI as an answer needs it.
    struct Info
    {
        QString title;
        QString stored;   // Filename as the search reads it
        QString whole;    // the whole stored Filename
        QString resolved; // the picture path as resolved when read
        bool resolvedKept = false;
        // Stored absolute paths outside the folder (unwatched), each with its folder.
        std::vector<std::pair<QString, QString>> outside;
        bool keep = false; // IMAGE.INI was read (or is missing): worth keeping

        // The picture path now: the kept one while the stored paths outside the folder are settled.
        QString picturePath(const QString& folder) const;
        bool outsideSettled() const;
    };

    struct Entry
    {
        QString text;                                  // the folded items, each followed by Separator
        std::array<qint32, AreaCount + 1> areaStart{}; // area a's items are text[areaStart[a], areaStart[a + 1])
        bool plain = false;                            // no symbolic link among the folder's entries
        std::optional<Info> info;
    };

    // Every area file of the folder read through ops as the scan reads it (visitSearchItems); readWhole
    // is false when one could not be read. Any thread.
    static Entry read(const QString& folder, FileOps& ops, bool& readWhole);
    // IMAGE.INI read through ops. plainFolder: the folder's watch reports which files it holds, so the
    // resolved picture path can be kept. Any thread.
    static Info readInfo(const QString& folder, bool plainFolder, FileOps& ops);
    // The areas of the entry with an item holding the folded search text, ascending.
    static QList<int> hitsOf(const Entry& entry, QStringView needle);

    const Entry* find(const QString& folder) const
    {
        const auto it = m_entries.constFind(folder);
        return it == m_entries.cend() ? nullptr : &*it;
    }
    // Keeps what was read; of a folder that is not current only that it is known (it is read again at
    // every search: nothing to keep).
    void put(const QString& folder, Entry&& entry, bool current);
    void keepInfo(const QString& folder, Info&& info);
    // Forgets the folders not wanted.
    void prune(const QSet<QString>& wanted);

    qsizetype size() const { return m_entries.size(); }
    // Changes whenever an entry is put or forgotten: while it stays the same, what find() returned stays
    // valid and unchanged (apart from the Info keepInfo adds).
    quint64 generation() const { return m_generation; }
    qint64 memoryBytes() const; // heap held by the content (estimate from sizes and capacities)

private:
    QHash<QString, Entry> m_entries;
    quint64 m_generation = 0;
};

} // namespace kovra
