#include "FolderWatcher.h"

#include "NativePath.h"

#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace kovra {
namespace {

// A change of any file of an image folder, and the folder itself going away.
constexpr uint32_t FolderEvents = IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                                  IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR | IN_MASK_ADD;
// Image folders appearing, going, renamed or retargeted (links) in the folder that holds them.
constexpr uint32_t ParentEvents = IN_ATTRIB | IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                  IN_MOVE_SELF | IN_ONLYDIR | IN_MASK_ADD;

// File systems that report only the changes made through this machine's own kernel, if any: a change made
// on the server or by another client never arrives.
bool deliversNotifications(const QString& path)
{
    struct statfs fs;
    if (::statfs(nativePath(path).constData(), &fs) != 0)
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

// Without regard to ASCII case only, as the file names of the catalogue compare.
bool equalsAscii(QStringView name, const char* lower)
{
    if (size_t(name.size()) != std::strlen(lower))
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        char16_t c = name[i].unicode();
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c - u'A' + u'a');
        if (c != char16_t(lower[i]))
            return false;
    }
    return true;
}

// A name the scan may read through, in any case: IMAGE.INI or an area file.
bool isSearchedName(QStringView name)
{
    if (equalsAscii(name, "image.ini"))
        return true;
    return name.size() >= 9 && equalsAscii(name.first(4), "area") && equalsAscii(name.last(4), ".ini");
}

// The root folder holds the folders of "/x".
QString folderPath(const QString& holder)
{
    return holder.isEmpty() ? QStringLiteral("/") : holder;
}

} // namespace

FolderWatcher::FolderWatcher() : m_fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

FolderWatcher::~FolderWatcher()
{
    m_notifier.reset();
    if (m_fd >= 0)
        ::close(m_fd);
}

QStringView FolderWatcher::holderOf(QStringView folder)
{
    return folder.first(std::max<qsizetype>(folder.lastIndexOf(u'/'), 0));
}

FolderWatcher::Holder FolderWatcher::holder(const QString& path)
{
    const QString dir = folderPath(path);
    const PathStatus st = pathStatus(dir);
    const bool exists = st.kind != PathKind::Missing;
    auto it = m_parents.find(path);
    if (it != m_parents.end()) {
        if (exists && it->wd >= 0 && it->device == st.device && it->inode == st.inode)
            return {it->trusted, it->device};
        markChildrenOf(path);
        if (it->wd >= 0) {
            m_parentWatches[it->wd].removeAll(path);
            if (m_parentWatches[it->wd].isEmpty())
                forgetParent(it->wd);
        }
        m_parents.remove(path);
    }
    if (!exists || m_fd < 0)
        return {};
    Parent p;
    p.wd = ::inotify_add_watch(m_fd, nativePath(dir).constData(), ParentEvents);
    // Looked at again after the watch: what it names from here on is reported.
    const PathStatus now = pathStatus(dir);
    if (p.wd < 0 || now.kind == PathKind::Missing)
        return {};
    p.device = now.device;
    p.inode = now.inode;
    p.trusted = deliversNotifications(dir);
    m_parentWatches[p.wd].append(path);
    m_parents.insert(path, p);
    return {p.trusted, p.device};
}

FolderWatcher::Watch FolderWatcher::watch(const QString& folder, const Holder& holder) const
{
    Watch w;
    bool trusted = holder.trusted && m_fd >= 0;
    const PathStatus st = pathStatus(folder, false);
    if (st.kind == PathKind::Missing) {
        // Missing: its coming is reported in the holding folder; anything else cannot be watched.
        trusted = trusted && st.absent;
    } else if (st.kind != PathKind::Folder) {
        trusted = false; // a link: the changes of its target's folder are reported there
    } else if (trusted) {
        w.wd = ::inotify_add_watch(m_fd, nativePath(folder).constData(), FolderEvents);
        bool readable = false;
        const QStringList links = symLinkEntries(folder, &readable);
        trusted = w.wd >= 0 && (st.device == holder.device || deliversNotifications(folder)) && readable &&
                  std::none_of(links.begin(), links.end(), [](const QString& name) { return isSearchedName(name); });
        w.plain = links.isEmpty();
    }
    w.trusted = trusted;
    return w;
}

void FolderWatcher::commit(const QString& folder, const Watch& watch, bool readWhole)
{
    ++m_generation;
    const auto old = m_folders.find(folder);
    if (old != m_folders.end() && old->wd >= 0 && old->wd != watch.wd)
        unmapFolderWatch(old->wd, folder);
    Folder& f = m_folders[folder];
    if (watch.wd >= 0 && f.wd != watch.wd) {
        QStringList& watched = m_folderWatches[watch.wd];
        if (!watched.contains(folder))
            watched.append(folder);
    }
    f.wd = watch.wd;
    f.current = watch.trusted && readWhole && !m_lostAll && !m_notified.contains(watch.wd);
}

bool FolderWatcher::isCurrent(const QString& folder) const
{
    const auto it = m_folders.constFind(folder);
    return it != m_folders.cend() && it->current;
}

int FolderWatcher::currentCount() const
{
    return int(std::count_if(m_folders.cbegin(), m_folders.cend(), [](const Folder& f) { return f.current; }));
}

void FolderWatcher::markAll()
{
    ++m_generation;
    for (Folder& f : m_folders)
        f.current = false;
}

void FolderWatcher::mark(const QString& folder)
{
    ++m_generation;
    const auto it = m_folders.find(folder);
    if (it != m_folders.end())
        it->current = false;
}

void FolderWatcher::markChildrenOf(const QString& holder)
{
    ++m_generation;
    for (auto it = m_folders.begin(); it != m_folders.end(); ++it)
        if (holderOf(it.key()) == holder)
            it->current = false;
}

void FolderWatcher::unmapFolderWatch(int wd, const QString& folder)
{
    const auto it = m_folderWatches.find(wd);
    if (it == m_folderWatches.end())
        return;
    it->removeAll(folder);
    if (it->isEmpty()) {
        m_folderWatches.erase(it);
        if (!isHeld(wd))
            ::inotify_rm_watch(m_fd, wd);
    }
}

void FolderWatcher::forgetParent(int wd)
{
    for (const QString& p : m_parentWatches.take(wd)) {
        markChildrenOf(p);
        m_parents.remove(p);
    }
    if (!isHeld(wd))
        ::inotify_rm_watch(m_fd, wd);
}

bool FolderWatcher::isHeld(int wd) const
{
    return m_folderWatches.contains(wd) || m_parentWatches.contains(wd) || m_followWatches.contains(wd);
}

void FolderWatcher::report(const Change& change) const
{
    if (m_onChange)
        m_onChange(change);
}

bool FolderWatcher::notifyPromptly()
{
    if (m_fd < 0)
        return false;
    if (!m_notifier) {
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { drain(); });
    }
    return true;
}

void FolderWatcher::follow(const QSet<QString>& folders)
{
    if (m_fd < 0)
        return;
    for (auto it = m_followed.begin(); it != m_followed.end();) {
        if (folders.contains(it.key())) {
            ++it;
            continue;
        }
        const int wd = it.value();
        const QString folder = it.key();
        it = m_followed.erase(it);
        if (const auto w = m_followWatches.find(wd); w != m_followWatches.end()) {
            w->removeAll(folder);
            if (w->isEmpty()) {
                m_followWatches.erase(w);
                if (!isHeld(wd))
                    ::inotify_rm_watch(m_fd, wd);
            }
        }
    }
    for (const QString& folder : folders) {
        if (m_followed.contains(folder))
            continue;
        const int wd = ::inotify_add_watch(m_fd, nativePath(folder).constData(), FolderEvents);
        if (wd < 0)
            continue;
        m_followed.insert(folder, wd);
        QStringList& watched = m_followWatches[wd];
        if (!watched.contains(folder))
            watched.append(folder);
    }
}

void FolderWatcher::handle(const inotify_event& ev)
{
    ++m_generation;
    if (ev.mask & IN_Q_OVERFLOW) {
        markAll();
        m_lostAll = true;
        report({{}, {}, false, true});
        return;
    }
    const bool gone = ev.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT);
    const QString name =
        ev.len > 0 ? fromNativePath(QByteArrayView(ev.name, qsizetype(std::strlen(ev.name)))) : QString();
    m_notified.insert(ev.wd);
    // Told before the records below forget the watch.
    QStringList told;
    for (const auto* watches : {&m_folderWatches, &m_parentWatches, &m_followWatches})
        if (const auto it = watches->constFind(ev.wd); it != watches->cend())
            for (const QString& f : *it)
                if (!told.contains(f))
                    told.append(f);
    if (!(ev.mask & IN_IGNORED) || ev.len > 0)
        for (const QString& f : std::as_const(told))
            report({f, name, (ev.mask & IN_ISDIR) != 0});
    if (ev.mask & IN_IGNORED) {
        if (const auto it = m_followWatches.find(ev.wd); it != m_followWatches.end()) {
            for (const QString& f : std::as_const(*it))
                m_followed.remove(f);
            m_followWatches.erase(it);
        }
    }
    if (const auto it = m_folderWatches.find(ev.wd); it != m_folderWatches.end()) {
        for (const QString& f : std::as_const(*it))
            mark(f);
        if (ev.mask & IN_IGNORED) {
            for (const QString& f : std::as_const(*it))
                if (const auto e = m_folders.find(f); e != m_folders.end() && e->wd == ev.wd)
                    e->wd = -1;
            m_folderWatches.erase(it);
        }
    }
    if (const auto it = m_parentWatches.find(ev.wd); it != m_parentWatches.end()) {
        if (ev.len > 0) {
            for (const QString& p : std::as_const(*it))
                mark(p + u'/' + name);
        }
        if (gone)
            forgetParent(ev.wd); // the path names another folder now, or none
    }
}

void FolderWatcher::drain()
{
    if (m_fd < 0)
        return;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
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

void FolderWatcher::prune(const QSet<QString>& wanted)
{
    ++m_generation;
    for (auto it = m_folders.begin(); it != m_folders.end();) {
        if (wanted.contains(it.key())) {
            ++it;
            continue;
        }
        if (it->wd >= 0)
            unmapFolderWatch(it->wd, it.key());
        it = m_folders.erase(it);
    }
}

qint64 FolderWatcher::memoryBytes() const
{
    // The key is shared with the content's; the record and the hash's node and bucket.
    qint64 m = qint64(m_folders.size()) * qint64(sizeof(Folder) + 32);
    for (const QStringList& l : std::as_const(m_folderWatches))
        m += qint64(l.size()) * 8 + 48;
    return m;
}

} // namespace kovra
