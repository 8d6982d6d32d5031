#pragma once

#include "SearchScan.h"

#include <QList>
#include <QStringList>
#include <memory>

namespace kovra {

class FolderWatcher;

// The searchable content of image folders kept in memory between searches, so that a search reads again
// only what changed since the last one. Per folder it holds every area file's items as the scan reads
// them, already folded for matching, and (once a search needed it) the title and Filename of IMAGE.INI
// (IndexContent).
//
// It is never stale: the kernel reports every change in a watched folder, and the notifications are read
// before each answer, so a change made a moment before the search is seen (FolderWatcher). A folder that
// cannot be proven current is read from disk again, as the scan reads it: after a notification for it or
// its name, and wherever FolderWatcher cannot prove it current; also when a file could not be read.
// Every file is read through the FileOps the index was given, as the scan reads it; that FileOps must
// outlive the index and be thread-safe (the index reads on threads of its own).
//
// The answer is the scan's answer: the same rows in folder-list order, hit areas, titles and picture
// paths (picture paths are resolved at every answer, since the picture may lie outside the folder).
// When nothing is in memory yet, the scan itself answers, as fast as without an index, and the folders
// are then read on a background thread of the index's own, also when the scan was cancelled; the next
// search stops that thread and keeps what it read. A search cancelled by its progress callback keeps
// the folders it read. While the folder list and the disk are unchanged, which folders answer from
// memory is not looked up again, and one thread answers. One index serves one thread at a time.
class SearchIndex
{
public:
    explicit SearchIndex(FileOps& ops = FileOps::current());
    ~SearchIndex();
    SearchIndex(const SearchIndex&) = delete;
    SearchIndex& operator=(const SearchIndex&) = delete;

    // searchFolders with the index: same arguments, same result, same progress calls. Folders that are
    // current answer from memory; the others are read (up to `threads` threads) and kept.
    QList<SearchRow> search(const QStringList& folders, const Matcher& matcher, const SearchProgress& progress = {},
                            int threads = 0);

    struct Stats
    {
        int folders = 0;            // folders held
        int current = 0;            // of them proven current now
        int readLastSearch = 0;     // folders read from disk by the last search
        int watches = 0;            // inotify watches held
        bool notifications = false; // false when inotify is not available at all: every search reads all
        qint64 memoryBytes = 0;     // heap held by the index's content (estimate from sizes and capacities)
    };
    // Waits for the background reading first.
    Stats stats();

    // The index's one inotify instance, which the catalogue also follows the disk with. Draining it at
    // any time on the index's thread keeps the index's proof: a read under way is not taken as current
    // when a notification for its folder was drained meanwhile.
    FolderWatcher& watcher();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace kovra
