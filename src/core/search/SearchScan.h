#pragma once

#include "AreaFiles.h"
#include "CodePage.h"
#include "FileOps.h"
#include "Matching.h"
#include "Numbers.h"
#include "ProfileFile.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <charconv>
#include <functional>
#include <optional>

namespace kovra {

// One result row: an image folder with at least one hit.
struct SearchRow
{
    QString title;           // Title of IMAGE.INI, at most 125 bytes, "Non Titled" when missing
    QString picturePath;     // Filename, at most 125 bytes, then resolvePicturePath; empty when missing
    QString folder;          // full path of the image folder
    int folderPosition = -1; // its position in the folder list that was scanned
    QList<int> hitAreas;     // area indexes with hits, ascending

    // The hit area list as text: a comma before each index (",0,7,12").
    QString hitAreaText() const;

    bool operator==(const SearchRow&) const = default;
};

// Called after each folder: position (0-based) of the folder just scanned, and the number of folders.
// It may end the search early by throwing SearchCancelled: the search then returns through the
// exception once its threads have stopped, and an index keeps every folder it read whole (nothing
// half-read), so that the next search goes on from there.
using SearchProgress = std::function<void(int position, int count)>;
struct SearchCancelled
{
};

// Runs work(i) for every i in [0, n) on up to `threads` threads (0: as many as pay, at most two) and
// calls progress(i, n) on the calling thread only, once per i, in ascending order, each after work(i)
// has finished. An exception of work reaches the caller once both threads have stopped.
void forEachFolder(int n, int threads, const std::function<void(int)>& work, const SearchProgress& progress);

// The items of an area file as the search reads them: Sum read with a buffer of SearchSumBufferSize
// bytes (a rejected number counts as 0), each item cut as a 256-byte buffer cuts it (at most 255
// bytes, never inside a double-byte character), a missing key skipped. Calls visit(item) in item order
// until it returns true; returns whether it did.
template <typename Visit>
bool visitSearchItems(const ProfileFile& file, Visit&& visit)
{
    const int count = numbers::toInt16(file.read(u"ItemCount", u"Sum", u"0", SearchSumBufferSize)).value_or(qint16(0));
    char key[16] = {'I', 't', 'e', 'm'}; // "Item" + K in decimal, no padding
    for (int k = 0; k < count; ++k) {
        const auto end = std::to_chars(key + 4, key + sizeof key, k).ptr;
        const auto item = file.find("Items", QByteArrayView(key, end - key));
        if (item && visit(item->first(codepage::safeCut(*item, ItemBufferSize - 1))))
            return true;
    }
    return false;
}

// Scans every folder of the list (full paths in folder-list order, as the folder list gives them) for
// items matching the search text and returns the rows in that order. Every area file is read from disk
// once per scan, nothing is cached between scans. The call is synchronous; inside it up to `threads`
// threads read folders (0: as many as pay, at most two), but progress is reported on the calling
// thread only, once per folder, in ascending order. An empty search text finds nothing. The files are
// read through ops from both threads, so it must be thread-safe.
QList<SearchRow> searchFolders(const QStringList& folders, const Matcher& matcher, const SearchProgress& progress = {},
                               int threads = 0, FileOps& ops = FileOps::current());

// The scan of one folder; nullopt when it has no hit.
std::optional<SearchRow> searchFolder(const QString& folder, int position, const Matcher& matcher,
                                      FileOps& ops = FileOps::current());

} // namespace kovra
