#include "SearchIndex.h"

#include "BackgroundTask.h"
#include "FileOps.h"
#include "FolderWatcher.h"
#include "IndexContent.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <atomic>
#include <optional>
#include <vector>

namespace kovra {
namespace {

// One image folder read: its content, and the watch that was added before the read.
struct Loaded
{
    IndexContent::Entry entry;
    FolderWatcher::Watch watch;
    bool readWhole = false;

    bool current() const { return watch.trusted && readWhole; }
};

// The folders read in the background after a search that found nothing in memory.
struct Build
{
    QStringList folders;
    std::vector<FolderWatcher::Holder> holders;
    std::vector<std::optional<Loaded>> loaded;
    std::unique_ptr<BackgroundTask> task; // last: stopped and joined before what it fills goes
};

} // namespace

struct SearchIndex::Impl
{
    FileOps& ops;
    FolderWatcher watcher;
    IndexContent content;
    bool busy = false;
    int readLastSearch = 0;
    std::unique_ptr<Build> build; // last: its thread stops before the watcher and the content go

    explicit Impl(FileOps& fileOps) : ops(fileOps) {}

    // The watch before the first read: what changes after it is reported.
    Loaded load(const QString& folder, const FolderWatcher::Holder& holder) const
    {
        Loaded r;
        r.watch = watcher.watch(folder, holder);
        r.entry = IndexContent::read(folder, ops, r.readWhole);
        r.entry.plain = r.watch.plain;
        return r;
    }

    // Reads the folders on a thread of its own at low priority, leaving the other core to the windows.
    // The watches are added before each folder is read, so what changes meanwhile is queued and seen by
    // the drain after the commit.
    void startBuild(const QStringList& folders, std::vector<FolderWatcher::Holder> holders)
    {
        build = std::make_unique<Build>();
        Build* b = build.get();
        b->folders = folders;
        b->holders = std::move(holders);
        b->loaded.resize(size_t(folders.size()));
        b->task = std::make_unique<BackgroundTask>(
            [this, b](const std::atomic<bool>& stop) {
                for (qsizetype i = 0; i < b->folders.size() && !stop; ++i)
                    b->loaded[size_t(i)] = load(b->folders[i], b->holders[size_t(i)]);
            },
            BackgroundTask::Priority::Low);
    }

    // Waits for the background reading, stopped after its current folder first or read to the end; what
    // it read stays for finishBuild.
    void joinBuild(bool stopFirst)
    {
        if (!build)
            return;
        if (stopFirst)
            build->task->requestStop();
        try {
            build->task->join();
        } catch (...) {
            // What was not read is read by the next search.
        }
    }

    // Keeps what the background reading read, before any notification is drained: a notification of a
    // folder whose watch it added is only understood once the watch is mapped.
    void finishBuild(bool wait)
    {
        if (!build)
            return;
        joinBuild(!wait);
        for (qsizetype i = 0; i < build->folders.size(); ++i)
            if (auto& loaded = build->loaded[size_t(i)])
                commit(build->folders[i], std::move(*loaded));
        build.reset();
    }

    void commit(const QString& folder, Loaded&& loaded)
    {
        watcher.commit(folder, loaded.watch, loaded.readWhole);
        content.put(folder, std::move(loaded.entry), loaded.current());
    }

    // Which folders of the list answer from memory, with their holding folders: kept between searches
    // and found again only when the list, a holding folder, a folder's record or the content changed
    // since, so that a search while nothing changed does not look up every folder again.
    struct Known
    {
        QStringList folders;
        QStringList holderPaths;                         // each holding folder once
        std::vector<FolderWatcher::Holder> holderStates; // as holder() found them
        std::vector<FolderWatcher::Holder> holders;      // per folder
        std::vector<const IndexContent::Entry*> entries; // per folder: current and in memory, or null
        int count = 0;                                   // entries not null
        quint64 watcherGeneration = 0, contentGeneration = 0;
        bool valid = false;
    } known;

    static bool sameHolder(const FolderWatcher::Holder& a, const FolderWatcher::Holder& b)
    {
        return a.trusted == b.trusted && a.device == b.device;
    }

    void refreshKnown(const QStringList& folders)
    {
        if (known.valid && (folders.isSharedWith(known.folders) || folders == known.folders)) {
            // Every holding folder is looked at each time: one that has come to name another folder
            // marks its folders, which changes the generation.
            bool same = true;
            for (qsizetype h = 0; h < known.holderPaths.size(); ++h)
                same = sameHolder(watcher.holder(known.holderPaths[h]), known.holderStates[size_t(h)]) && same;
            if (same && watcher.generation() == known.watcherGeneration &&
                content.generation() == known.contentGeneration)
                return;
        }
        known = Known{};
        known.folders = folders;
        const size_t n = size_t(folders.size());
        known.holders.resize(n);
        known.entries.assign(n, nullptr);
        // Each holding folder once per search; the folders of one mostly come one after another.
        QHash<QString, qsizetype> holderIndex;
        QStringView lastHolder;
        for (size_t i = 0; i < n; ++i) {
            const QStringView holder = FolderWatcher::holderOf(folders[qsizetype(i)]);
            if (i > 0 && holder == lastHolder) {
                known.holders[i] = known.holders[i - 1];
                continue;
            }
            const QString path = holder.toString();
            auto p = holderIndex.find(path);
            if (p == holderIndex.end()) {
                p = holderIndex.insert(path, known.holderPaths.size());
                known.holderPaths.append(path);
                known.holderStates.push_back(watcher.holder(path));
            }
            known.holders[i] = known.holderStates[size_t(*p)];
            lastHolder = holder;
        }
        for (size_t i = 0; i < n; ++i) {
            const QString& folder = folders[qsizetype(i)];
            if (known.holders[i].trusted && watcher.isCurrent(folder)) {
                known.entries[i] = content.find(folder);
                known.count += known.entries[i] != nullptr;
            }
        }
        known.watcherGeneration = watcher.generation();
        known.contentGeneration = content.generation();
        known.valid = true;
    }
};

SearchIndex::SearchIndex(FileOps& ops) : d(std::make_unique<Impl>(ops)) {}

SearchIndex::~SearchIndex() = default;

FolderWatcher& SearchIndex::watcher()
{
    return d->watcher;
}

QList<SearchRow> SearchIndex::search(const QStringList& folders, const Matcher& matcher, const SearchProgress& progress,
                                     int threads)
{
    // An empty text finds nothing; a search started from within a search (an event handled while the
    // gauge is painted) is answered by the scan, leaving the index to the outer one.
    if (matcher.isEmpty() || d->busy)
        return searchFolders(folders, matcher, progress, threads, d->ops);
    d->busy = true;
    struct Done
    {
        bool& busy;
        ~Done() { busy = false; }
    } done{d->busy};

    // A search soon after the first one stops the background reading and reads the rest itself.
    const bool built = d->build != nullptr;
    d->finishBuild(false);
    d->watcher.drain();
    d->watcher.forgetNotified(); // nothing is being read now

    const int n = int(folders.size());
    d->refreshKnown(folders);
    const std::vector<const IndexContent::Entry*>& known = d->known.entries;
    std::vector<FolderWatcher::Holder> holders = d->known.holders;

    // Nothing in memory: the scan answers as soon as it would without an index, and the index is
    // built behind it for the next search; also when the scan is cancelled, so that searches started
    // and cancelled one after another (typing) still come to answer from memory.
    if (d->known.count == 0 && !built &&
        std::any_of(holders.begin(), holders.end(), [](const FolderWatcher::Holder& h) { return h.trusted; })) {
        d->readLastSearch = n;
        try {
            QList<SearchRow> rows = searchFolders(folders, matcher, progress, threads, d->ops);
            d->startBuild(folders, std::move(holders));
            return rows;
        } catch (...) {
            d->startBuild(folders, std::move(holders));
            throw;
        }
    }

    // Nothing changes the hash while both threads read it; what they read is kept afterwards. With
    // everything in memory one thread answers: a second costs more than it saves.
    const QString& needle = matcher.foldedText();
    const bool impossible = needle.contains(QChar(IndexContent::Separator));
    std::vector<std::optional<Loaded>> fresh(static_cast<size_t>(n));
    std::vector<std::optional<IndexContent::Info>> infos(static_cast<size_t>(n));
    std::vector<std::optional<SearchRow>> found(static_cast<size_t>(n));
    // What was read is kept even when the progress callback ends the search: both threads have stopped
    // by then, and every folder read whole is committed as it would be at the end.
    const auto keep = [&] {
        int read = 0;
        for (int i = 0; i < n; ++i) {
            const size_t k = size_t(i);
            if (fresh[k]) {
                d->commit(folders[i], std::move(*fresh[k]));
                ++read;
            }
            if (infos[k] && infos[k]->keep && d->watcher.isCurrent(folders[i]))
                d->content.keepInfo(folders[i], std::move(*infos[k]));
        }
        d->readLastSearch = read;
        // What changed while the folders were read is read again next time.
        d->watcher.drain();
        d->watcher.forgetNotified();
    };
    try {
        forEachFolder(
            n, d->known.count == n ? 1 : threads,
            [&](int i) {
                const size_t k = size_t(i);
                const IndexContent::Entry* e = known[k];
                if (!e) {
                    fresh[k] = d->load(folders[i], holders[k]);
                    e = &fresh[k]->entry;
                }
                if (impossible)
                    return;
                QList<int> hits = IndexContent::hitsOf(*e, needle);
                if (hits.isEmpty())
                    return;
                if (!e->info)
                    infos[k] =
                        IndexContent::readInfo(folders[i], (known[k] || fresh[k]->current()) && e->plain, d->ops);
                const IndexContent::Info& info = e->info ? *e->info : *infos[k];
                found[k] = SearchRow{info.title, info.picturePath(folders[i]), folders[i], i, std::move(hits)};
            },
            progress);
    } catch (...) {
        keep();
        throw;
    }
    keep();
    if (d->content.size() > n) {
        const QSet<QString> wanted(folders.begin(), folders.end());
        d->watcher.prune(wanted);
        d->content.prune(wanted);
    }

    QList<SearchRow> rows;
    for (auto& row : found)
        if (row)
            rows.append(std::move(*row));
    return rows;
}

SearchIndex::Stats SearchIndex::stats()
{
    d->finishBuild(true);
    d->watcher.drain();
    d->watcher.forgetNotified();
    Stats s;
    s.folders = int(d->content.size());
    s.current = d->watcher.currentCount();
    s.readLastSearch = d->readLastSearch;
    s.watches = d->watcher.watchCount();
    s.notifications = d->watcher.notifies();
    s.memoryBytes = d->content.memoryBytes() + d->watcher.memoryBytes();
    return s;
}

} // namespace kovra
