#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

class QSocketNotifier;
struct inotify_event;

namespace kovra {

// Which image folders are proven unchanged since they were read. One inotify instance: a watch on each
// image folder and one on each folder holding them; a notification for a folder, or for its name in the
// folder holding it, marks it as changed until it is read again.
//
// Never proven current: every folder after a lost notification queue (IN_Q_OVERFLOW); the folders of a
// holding folder whose path has come to name another directory; a folder without a watch (none left past
// max_user_watches, no permission, no inotify at all); one on a file system that does not report changes
// made elsewhere (network shares, FUSE and cluster file systems); a symbolic link, and a folder in which
// IMAGE.INI or an area file is one; a folder whose holding folder is not trusted itself.
//
// The same instance also tells the catalogue what changed on disk while the program runs: the folders it
// follows, the holding folders, and every image folder the index watches, through the change handler,
// called from every drain; notifyPromptly() drains as soon as the kernel has something queued.
//
// One thread at a time, except watch(), which touches nothing but the kernel.
class FolderWatcher
{
public:
    FolderWatcher();
    ~FolderWatcher();
    FolderWatcher(const FolderWatcher&) = delete;
    FolderWatcher& operator=(const FolderWatcher&) = delete;

    // The folder holding an image folder: the path up to its last '/' (a view of folder).
    static QStringView holderOf(QStringView folder);

    // A holding folder as holder() found it.
    struct Holder
    {
        bool trusted = false; // folders directly inside it coming, going or renamed are reported
        quint64 device = 0;   // its file system, known to report changes
    };
    // Watches the holding folder on first use. When its path has come to name another folder since, the
    // folders inside it are marked and it is watched anew.
    Holder holder(const QString& path);

    // The image folder's watch, added before its files are read: a change after this point is reported.
    // Any thread may call it while another thread calls it too.
    struct Watch
    {
        int wd = -1;
        bool trusted = false; // every change of what a read finds now will be reported
        bool plain = false;   // no entry of the folder is a symbolic link
    };
    Watch watch(const QString& folder, const Holder& holder) const;

    // After the read: the folder is current when its watch was trusted and the read found every file
    // readable, until a notification marks it.
    void commit(const QString& folder, const Watch& watch, bool readWhole);
    bool isCurrent(const QString& folder) const;
    int currentCount() const;
    // Changes whenever a folder's record may have changed (a commit, a mark, a prune, a holding folder
    // watched anew): while it stays the same, every isCurrent() answer stays the same.
    quint64 generation() const { return m_generation; }

    // Reads every notification queued so far, without waiting, and marks the folders they touch.
    void drain();
    // Forgets the folders not wanted, with their watches.
    void prune(const QSet<QString>& wanted);
    // When no read is under way (every watch added is committed): the notifications drained so far are
    // no longer held against a commit.
    void forgetNotified()
    {
        m_notified.clear();
        m_lostAll = false;
    }

    // What a notification named: an entry (name) of a watched folder, or the folder itself going (empty
    // name). everything: notifications were lost, anything may have changed.
    struct Change
    {
        QString folder;
        QString name;
        bool isFolder = false; // the entry named is a folder
        bool everything = false;
    };
    void setChangeHandler(std::function<void(const Change&)> handler) { m_onChange = std::move(handler); }
    // Drains on the calling thread's event loop whenever a notification is queued. False without inotify.
    bool notifyPromptly();
    // Watches exactly these folders for the change handler, apart from the index's own records (which a
    // folder here never makes current).
    void follow(const QSet<QString>& folders);
    bool isFollowed(const QString& folder) const { return m_followed.contains(folder); }

    bool notifies() const { return m_fd >= 0; } // false: inotify is not available, no folder is current
    int watchCount() const { return int(m_folderWatches.size() + m_parentWatches.size()); }
    qint64 memoryBytes() const; // heap held by the folder records and watch maps (estimate)

private:
    struct Folder
    {
        int wd = -1; // the folder's own watch
        bool current = false;
    };
    struct Parent
    {
        int wd = -1;
        quint64 device = 0, inode = 0;
        bool trusted = false;
    };

    void markAll();
    void mark(const QString& folder);
    void markChildrenOf(const QString& holder);
    void unmapFolderWatch(int wd, const QString& folder);
    void forgetParent(int wd);
    void handle(const inotify_event& ev);
    void report(const Change& change) const;
    bool isHeld(int wd) const; // by a record of the index, a holding folder or a followed folder

    int m_fd = -1;
    quint64 m_generation = 0;
    QHash<QString, Folder> m_folders;
    QHash<QString, Parent> m_parents;
    QHash<int, QStringList> m_folderWatches; // wd -> image folders
    QHash<int, QStringList> m_parentWatches; // wd -> folders holding image folders
    QHash<QString, int> m_followed;          // folder -> wd, for the change handler
    QHash<int, QStringList> m_followWatches; // wd -> followed folders
    // Watches notified since forgetNotified(), and whether notifications were lost: a drain while a read
    // was under way (the notifier) means what its commit brings may already be old.
    QSet<int> m_notified;
    bool m_lostAll = false;
    std::function<void(const Change&)> m_onChange;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace kovra
