#include "SearchIndex.h"

#include "AreaFiles.h"
#include "FileOps.h"
#include "ImageFolders.h"
#include "NativePath.h"
#include "ProfileFile.h"

#include <QDir>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <optional>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace kovra {
namespace {

// Follows every item in the folded text. A noncharacter: no decoded and folded item holds it, so a
// search text without it never matches across two items.
constexpr char16_t Separator = 0xFFFF;

// A change of any file of an image folder, and the folder itself going away.
constexpr uint32_t FolderEvents = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                                  IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_MASK_ADD;
// Image folders appearing, going, renamed or retargeted (links) in the folder that holds them.
constexpr uint32_t ParentEvents = IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                  IN_MOVE_SELF | IN_ONLYDIR | IN_MASK_ADD;

// File systems that report only the changes made through this machine's own kernel, if any: a change made
// on the server or by another client never arrives.
bool deliversNotifications(const QByteArray& native)
{
    struct statfs fs;
    if (::statfs(native.constData(), &fs) != 0)
        return false;
    switch (quint32(fs.f_type)) {
    case 0x6969:     // NFS
    case 0x517B:     // SMB
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB2
    case 0x65735546: // FUSE (sshfs, rclone, cloud drives)
    case 0x73757245: // Coda
    case 0x5346414F: // AFS
    case 0x6B414653: // kAFS
    case 0x01021997: // 9P
    case 0x00C36400: // Ceph
    case 0x47504653: // GPFS
    case 0x0BD00BD0: // Lustre
    case 0x01161970: // GFS2
    case 0x7461636F: // OCFS2
        return false;
    default:
        return true;
    }
}

bool equalsAscii(const char* name, size_t length, const char* lower)
{
    if (std::strlen(lower) != length)
        return false;
    for (size_t i = 0; i < length; ++i)
        if (char(std::tolower(static_cast<unsigned char>(name[i]))) != lower[i])
            return false;
    return true;
}

// A name the scan may read through, in any case: IMAGE.INI or an area file.
bool isSearchedName(const char* name)
{
    const size_t n = std::strlen(name);
    if (equalsAscii(name, n, "image.ini"))
        return true;
    return n >= 9 && equalsAscii(name, 4, "area") && equalsAscii(name + n - 4, 4, ".ini");
}

struct Listing
{
    bool readable = false;
    bool searchedLink = false; // IMAGE.INI or an area file is a symbolic link
    bool anyLink = false;      // some entry is one
};

// The folder's entries by type alone (one listing, no stat of each file).
Listing listFolder(const QByteArray& native)
{
    Listing l;
    DIR* dir = ::opendir(native.constData());
    if (!dir)
        return l;
    l.readable = true;
    while (const dirent* e = ::readdir(dir)) {
        bool link = e->d_type == DT_LNK;
        if (e->d_type == DT_UNKNOWN) {
            struct stat st;
            link = ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISLNK(st.st_mode);
        }
        if (link) {
            l.anyLink = true;
            l.searchedLink = l.searchedLink || isSearchedName(e->d_name);
        }
    }
    ::closedir(dir);
    return l;
}

QString parentOf(const QString& folder)
{
    return folder.left(std::max<qsizetype>(folder.lastIndexOf(u'/'), 0));
}

QByteArray nativeDir(const QString& path)
{
    return path.isEmpty() ? QByteArray("/") : nativePath(path);
}

bool isRegularFile(const QByteArray& native)
{
    struct stat st;
    return ::stat(native.constData(), &st) == 0 && S_ISREG(st.st_mode);
}

struct Info
{
    QString title;
    QString stored;   // Filename as the search reads it
    QString whole;    // the whole stored Filename
    QString resolved; // the picture path as resolved when read
    bool resolvedKept = false;
    // Stored absolute paths outside the folder (unwatched), each with its folder.
    std::vector<std::pair<QByteArray, QByteArray>> outside;

    bool keep = false;

    // Each stored path outside is still a file, or its folder is still missing: then no file of that
    // name in any case can be there, and the resolution (which tries case variants) is unchanged.
    bool outsideSettled() const
    {
        return std::all_of(outside.begin(), outside.end(), [](const auto& o) {
            struct stat st;
            return isRegularFile(o.first) || (::stat(o.second.constData(), &st) != 0 && errno == ENOENT);
        });
    }
};

// The picture path depends on which of the stored paths are files and on which files the folder holds.
// The folder's watch reports the latter (unless a link there leads elsewhere); the stored paths outside
// it are looked at again at every answer, and the kept path is used while they are settled.
Info readInfo(const QString& folder, bool plainFolder)
{
    const ProfileFile ini = ProfileFile::load(imageIniPath(folder));
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
        if (QDir::isAbsolutePath(path) && parentOf(clean) != inside)
            info.outside.emplace_back(nativePath(path), nativeDir(parentOf(clean)));
    }
    const bool settled = info.outsideSettled();
    info.resolved = picturePathOf(folder, info.stored, info.whole);
    info.resolvedKept = settled && info.outsideSettled();
    return info;
}

QString picturePathFor(const QString& folder, const Info& info)
{
    return info.resolvedKept && info.outsideSettled() ? info.resolved : picturePathOf(folder, info.stored, info.whole);
}

struct Entry
{
    QString text;                                  // the folded items, each followed by Separator
    std::array<qint32, AreaCount + 1> areaStart{}; // area a's items are text[areaStart[a], areaStart[a + 1])
    int wd = -1;                                   // the folder's own watch
    bool current = false;
    bool plain = false; // no symbolic link among its entries
    std::optional<Info> info;
};

struct Loaded
{
    Entry entry;
    bool trusted = false;
};

// parentDevice: the device of the folder holding it, whose file system is known to notify.
Loaded loadFolder(int fd, const QString& folder, bool parentTrusted, dev_t parentDevice)
{
    Loaded r;
    const QByteArray native = nativePath(folder);
    bool trusted = parentTrusted && fd >= 0;
    struct stat st;
    if (::lstat(native.constData(), &st) != 0) {
        // Missing: its coming is reported in the parent; anything else cannot be watched.
        trusted = trusted && errno == ENOENT;
    } else if (!S_ISDIR(st.st_mode)) {
        trusted = false; // a link: the changes of its target's folder are reported there
    } else if (trusted) {
        // The watch before the first read: a change after this point is reported.
        r.entry.wd = ::inotify_add_watch(fd, native.constData(), FolderEvents);
        const Listing listing = listFolder(native);
        trusted = r.entry.wd >= 0 && (st.st_dev == parentDevice || deliversNotifications(native)) && listing.readable &&
                  !listing.searchedLink;
        r.entry.plain = !listing.anyLink;
    }
    // Folded into a buffer that keeps its size from folder to folder, then copied once at its length.
    thread_local QString text;
    text.resize(0);
    for (int a = 0; a < AreaCount; ++a) {
        r.entry.areaStart[size_t(a)] = qint32(text.size());
        const ProfileFile file = ProfileFile::load(areaFilePath(folder, a));
        if (file.status() == ProfileFile::Status::Unreadable)
            trusted = false; // the next read may succeed
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
    r.entry.areaStart[AreaCount] = qint32(text.size());
    if (!text.isEmpty())
        r.entry.text = QString(text.constData(), text.size());
    r.trusted = trusted;
    return r;
}

// The areas of the entry with an item holding the folded search text, ascending.
QList<int> hitsOf(const Entry& e, QStringView needle)
{
    QList<int> hits;
    const QStringView text(e.text);
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype at = text.indexOf(needle, from);
        if (at < 0)
            break;
        const auto next = std::upper_bound(e.areaStart.begin(), e.areaStart.end(), qint32(at));
        hits.append(int(next - e.areaStart.begin()) - 1);
        from = *next;
    }
    return hits;
}

// The folders read in the background after a search that found nothing in memory.
struct Build
{
    std::thread thread;
    std::atomic<bool> stop{false};
    QStringList folders;
    std::vector<char> parentTrusted;
    std::vector<dev_t> parentDevice;
    std::vector<std::optional<Loaded>> loaded;
};

struct Parent
{
    int wd = -1;
    dev_t dev = 0;
    ino_t ino = 0;
    bool trusted = false;
};

} // namespace

struct SearchIndex::Impl
{
    int fd = -1;
    QHash<QString, Entry> entries;
    QHash<QString, Parent> parents;
    QHash<int, QStringList> folderWatches; // wd -> image folders
    QHash<int, QStringList> parentWatches; // wd -> folders holding image folders
    const FileOps* ops = nullptr;          // the FileOps the entries were read through
    bool busy = false;
    int readLastSearch = 0;
    std::unique_ptr<Build> build;
    int installListener = -1;

    Impl() : fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC))
    {
        installListener = FileOps::addInstallListener([this] { joinBuild(true); });
    }
    ~Impl()
    {
        FileOps::removeInstallListener(installListener);
        joinBuild(true);
        if (fd >= 0)
            ::close(fd);
    }

    // Reads the folders on a thread of its own at low priority, leaving the other core to the windows.
    // The watches are added before each folder is read, so what changes meanwhile is queued and seen by
    // the drain after the commit.
    void startBuild(const QStringList& folders, std::vector<char> parentTrusted, std::vector<dev_t> parentDevice)
    {
        build = std::make_unique<Build>();
        Build* b = build.get();
        b->folders = folders;
        b->parentTrusted = std::move(parentTrusted);
        b->parentDevice = std::move(parentDevice);
        b->loaded.resize(size_t(folders.size()));
        b->thread = std::thread([b, fd = fd] {
            ::setpriority(PRIO_PROCESS, pid_t(::gettid()), 10);
            try {
                for (qsizetype i = 0; i < b->folders.size() && !b->stop.load(std::memory_order_relaxed); ++i) {
                    const size_t k = size_t(i);
                    b->loaded[k] = loadFolder(fd, b->folders[i], b->parentTrusted[k], b->parentDevice[k]);
                }
            } catch (...) {
                // What was not read is read by the next search.
            }
        });
    }

    // Waits for the background reading, stopped after its current folder first or read to the end; what
    // it read stays for finishBuild.
    void joinBuild(bool stopFirst)
    {
        if (!build)
            return;
        if (stopFirst)
            build->stop.store(true, std::memory_order_relaxed);
        if (build->thread.joinable())
            build->thread.join();
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

    void invalidateAll()
    {
        for (Entry& e : entries)
            e.current = false;
    }

    void invalidate(const QString& folder)
    {
        const auto it = entries.find(folder);
        if (it != entries.end())
            it->current = false;
    }

    void invalidateChildrenOf(const QString& parent)
    {
        for (auto it = entries.begin(); it != entries.end(); ++it)
            if (parentOf(it.key()) == parent)
                it->current = false;
    }

    void unmapFolderWatch(int wd, const QString& folder)
    {
        const auto it = folderWatches.find(wd);
        if (it == folderWatches.end())
            return;
        it->removeAll(folder);
        if (it->isEmpty()) {
            folderWatches.erase(it);
            if (!parentWatches.contains(wd))
                ::inotify_rm_watch(fd, wd);
        }
    }

    void forgetParent(int wd)
    {
        for (const QString& p : parentWatches.take(wd)) {
            invalidateChildrenOf(p);
            parents.remove(p);
        }
        if (!folderWatches.contains(wd))
            ::inotify_rm_watch(fd, wd);
    }

    void handle(const inotify_event& ev)
    {
        if (ev.mask & IN_Q_OVERFLOW) {
            invalidateAll();
            return;
        }
        const bool gone = ev.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT);
        if (const auto it = folderWatches.find(ev.wd); it != folderWatches.end()) {
            for (const QString& f : std::as_const(*it))
                invalidate(f);
            if (ev.mask & IN_IGNORED) {
                for (const QString& f : std::as_const(*it))
                    if (const auto e = entries.find(f); e != entries.end() && e->wd == ev.wd)
                        e->wd = -1;
                folderWatches.erase(it);
            }
        }
        if (const auto it = parentWatches.find(ev.wd); it != parentWatches.end()) {
            if (ev.len > 0) {
                const QString name = fromNativePath(QByteArrayView(ev.name, qsizetype(std::strlen(ev.name))));
                for (const QString& p : std::as_const(*it))
                    invalidate(p + u'/' + name);
            }
            if (gone)
                forgetParent(ev.wd); // the path names another folder now, or none
        }
    }

    // Reads every notification queued so far, without waiting.
    void drain()
    {
        if (fd < 0)
            return;
        alignas(inotify_event) char buffer[64 * 1024];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return;
            for (ssize_t at = 0; at < n;) {
                const auto* ev = reinterpret_cast<const inotify_event*>(buffer + at);
                handle(*ev);
                at += ssize_t(sizeof(inotify_event) + ev->len);
            }
        }
    }

    // Whether changes of the folders directly inside path are reported; watches it on first use, and
    // notices when the path has come to name another folder since.
    bool parentTrusted(const QString& path)
    {
        const QByteArray native = nativeDir(path);
        struct stat st;
        const bool exists = ::stat(native.constData(), &st) == 0;
        auto it = parents.find(path);
        if (it != parents.end()) {
            if (exists && it->wd >= 0 && it->dev == st.st_dev && it->ino == st.st_ino)
                return it->trusted;
            invalidateChildrenOf(path);
            if (it->wd >= 0) {
                parentWatches[it->wd].removeAll(path);
                if (parentWatches[it->wd].isEmpty())
                    forgetParent(it->wd);
            }
            parents.remove(path);
        }
        if (!exists || fd < 0)
            return false;
        Parent p;
        p.wd = ::inotify_add_watch(fd, native.constData(), ParentEvents);
        struct stat now;
        if (p.wd < 0 || ::stat(native.constData(), &now) != 0)
            return false;
        p.dev = now.st_dev;
        p.ino = now.st_ino;
        p.trusted = deliversNotifications(native);
        parentWatches[p.wd].append(path);
        parents.insert(path, p);
        return p.trusted;
    }

    void commit(const QString& folder, Loaded&& loaded)
    {
        const auto old = entries.find(folder);
        if (old != entries.end() && old->wd >= 0 && old->wd != loaded.entry.wd)
            unmapFolderWatch(old->wd, folder);
        Entry& e = entries[folder];
        if (loaded.entry.wd >= 0 && e.wd != loaded.entry.wd) {
            QStringList& watched = folderWatches[loaded.entry.wd];
            if (!watched.contains(folder))
                watched.append(folder);
        }
        e = std::move(loaded.entry);
        e.current = loaded.trusted;
        if (!e.current) {
            e.text = QString(); // read again at every search: nothing to keep
            e.info.reset();
        }
    }

    // Entries of folders no longer searched, with their watches.
    void prune(const QStringList& folders)
    {
        QSet<QString> wanted(folders.begin(), folders.end());
        for (auto it = entries.begin(); it != entries.end();) {
            if (wanted.contains(it.key())) {
                ++it;
                continue;
            }
            if (it->wd >= 0)
                unmapFolderWatch(it->wd, it.key());
            it = entries.erase(it);
        }
    }
};

SearchIndex::SearchIndex() : d(std::make_unique<Impl>()) {}

SearchIndex::~SearchIndex() = default;

SearchIndex& SearchIndex::shared()
{
    static SearchIndex index;
    return index;
}

QList<SearchRow> SearchIndex::search(const QStringList& folders, const Matcher& matcher, const SearchProgress& progress,
                                     int threads)
{
    // An empty text finds nothing; a search started from within a search (an event handled while the
    // gauge is painted) is answered by the scan, leaving the index to the outer one.
    if (matcher.isEmpty() || d->busy)
        return searchFolders(folders, matcher, progress, threads);
    d->busy = true;
    struct Done
    {
        bool& busy;
        ~Done() { busy = false; }
    } done{d->busy};

    // A search soon after the first one stops the background reading and reads the rest itself.
    const bool built = d->build != nullptr;
    d->finishBuild(false);
    d->drain();
    if (d->ops != &FileOps::current()) {
        d->invalidateAll();
        d->ops = &FileOps::current();
    }

    const int n = int(folders.size());
    std::vector<const Entry*> known(static_cast<size_t>(n), nullptr);
    std::vector<char> parentTrusted(static_cast<size_t>(n), 0);
    std::vector<dev_t> parentDevice(static_cast<size_t>(n), dev_t(-1));
    QHash<QString, bool> parentState;
    for (int i = 0; i < n; ++i) {
        const QString parent = parentOf(folders[i]);
        auto p = parentState.find(parent);
        if (p == parentState.end())
            p = parentState.insert(parent, d->parentTrusted(parent));
        parentTrusted[size_t(i)] = *p;
        if (*p)
            parentDevice[size_t(i)] = d->parents.value(parent).dev;
    }
    bool anyKnown = false;
    for (int i = 0; i < n; ++i) {
        const auto it = d->entries.constFind(folders[i]);
        if (it != d->entries.cend() && it->current && parentTrusted[size_t(i)]) {
            known[size_t(i)] = &*it;
            anyKnown = true;
        }
    }

    // Nothing in memory: the scan answers as soon as it would without an index, and the index is
    // built behind it for the next search.
    if (!anyKnown && !built && std::any_of(parentTrusted.begin(), parentTrusted.end(), [](char t) { return t; })) {
        QList<SearchRow> rows = searchFolders(folders, matcher, progress, threads);
        d->readLastSearch = n;
        d->startBuild(folders, std::move(parentTrusted), std::move(parentDevice));
        return rows;
    }

    // Nothing changes the hash while both threads read it; what they read is kept afterwards.
    const QString& needle = matcher.foldedText();
    const bool impossible = needle.contains(QChar(Separator));
    std::vector<std::optional<Loaded>> fresh(static_cast<size_t>(n));
    std::vector<std::optional<Info>> infos(static_cast<size_t>(n));
    std::vector<std::optional<SearchRow>> found(static_cast<size_t>(n));
    const int fd = d->fd;
    forEachFolder(
        n, threads,
        [&](int i) {
            const size_t k = size_t(i);
            const Entry* e = known[k];
            if (!e) {
                fresh[k] = loadFolder(fd, folders[i], parentTrusted[k], parentDevice[k]);
                e = &fresh[k]->entry;
            }
            if (impossible)
                return;
            QList<int> hits = hitsOf(*e, needle);
            if (hits.isEmpty())
                return;
            if (!e->info)
                infos[k] = readInfo(folders[i], (known[k] || fresh[k]->trusted) && e->plain);
            const Info& info = e->info ? *e->info : *infos[k];
            found[k] = SearchRow{info.title, picturePathFor(folders[i], info), folders[i], i, std::move(hits)};
        },
        progress);

    int read = 0;
    for (int i = 0; i < n; ++i) {
        const size_t k = size_t(i);
        if (fresh[k]) {
            d->commit(folders[i], std::move(*fresh[k]));
            ++read;
        }
        if (infos[k] && infos[k]->keep) {
            Entry& e = d->entries[folders[i]];
            if (e.current)
                e.info = std::move(infos[k]);
        }
    }
    d->readLastSearch = read;
    // What changed while the folders were read is read again next time.
    d->drain();
    if (d->entries.size() > n)
        d->prune(folders);

    QList<SearchRow> rows;
    for (auto& row : found)
        if (row)
            rows.append(std::move(*row));
    return rows;
}

SearchIndex::Stats SearchIndex::stats()
{
    d->finishBuild(true);
    d->drain();
    Stats s;
    s.folders = int(d->entries.size());
    s.readLastSearch = d->readLastSearch;
    s.watches = int(d->folderWatches.size() + d->parentWatches.size());
    s.notifications = d->fd >= 0;
    auto bytes = [](const QString& t) { return qint64(t.capacity()) * 2; };
    qint64 m = 0;
    for (auto it = d->entries.cbegin(); it != d->entries.cend(); ++it) {
        if (it->current)
            ++s.current;
        // The key, the entry and the hash's node and bucket.
        m += bytes(it.key()) + qint64(sizeof(Entry)) + 32 + bytes(it->text);
        if (it->info)
            m += bytes(it->info->title) + bytes(it->info->stored) + bytes(it->info->whole) + bytes(it->info->resolved);
    }
    for (const QStringList& l : std::as_const(d->folderWatches))
        m += qint64(l.size()) * 8 + 48;
    s.memoryBytes = m;
    return s;
}

} // namespace kovra
