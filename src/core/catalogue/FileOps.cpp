#include "FileOps.h"
#include "NativePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <limits>
#include <map>
#include <mutex>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace kovra {
namespace {

FileOps& defaultOps()
{
    static FileOps ops;
    return ops;
}

std::atomic<FileOps*> g_current{nullptr};

bool writeAll(int fd, const char* data, qsizetype size)
{
    qsizetype done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size_t(size - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += n;
    }
    return true;
}

// A file opened from a descriptor that still answers with its name (image readers look at its suffix).
class NamedFile : public QFile
{
public:
    explicit NamedFile(const QString& name) : m_name(name) {}
    QString fileName() const override { return m_name; }

private:
    QString m_name;
};

} // namespace

std::unique_ptr<QFile> openRegularFile(const QString& path)
{
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer, forever.
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    struct stat st;
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return nullptr;
    }
    auto file = std::make_unique<NamedFile>(path);
    if (!file->open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<QFile>(std::move(file));
}

FileOps::ReadStatus FileOps::readFile(const QString& path, QByteArray& out)
{
    out.clear();
    // Non-blocking open: a FIFO in place of a file must not hang the program; only regular files are read.
    // A name missing in this case is found in another (image.ini for IMAGE.INI), as Windows finds it.
    const int fd = openExisting(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? ReadStatus::Missing : ReadStatus::Failed;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return ReadStatus::Failed; // a folder, a FIFO or a device
    }
    // Sparse or not, a file of gigabytes would take the memory and many seconds before anything is shown.
    if (st.st_size > MaxProfileFileSize) {
        ::close(fd);
        return ReadStatus::TooLarge;
    }
    // Read straight into the result, up to the size the file has now: a search reads some hundred thousand
    // small files, and a further read to meet the end would cost a third more calls into the kernel. A
    // file that reports no size (or grows while read) is read on to its end.
    out.resize(qsizetype(st.st_size));
    qsizetype got = 0;
    for (;;) {
        if (got == out.size()) {
            if (got > 0 && got == qsizetype(st.st_size))
                break;
            if (out.size() + 65536 > MaxProfileFileSize + 1)
                out.resize(MaxProfileFileSize + 1);
            else
                out.resize(out.size() + 65536);
            if (got == out.size()) { // it grew past the limit while being read
                ::close(fd);
                out.clear();
                return ReadStatus::TooLarge;
            }
        }
        const ssize_t n = ::read(fd, out.data() + got, size_t(out.size() - got));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            out.clear();
            return ReadStatus::Failed;
        }
        if (n == 0)
            break;
        got += n;
    }
    ::close(fd);
    if (got > MaxProfileFileSize) {
        out.clear();
        return ReadStatus::TooLarge;
    }
    out.resize(got);
    return ReadStatus::Ok;
}

bool FileOps::writeFile(const QString& path, const QByteArray& data)
{
    const QByteArray native = nativePath(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool written = writeAll(fd, data.constData(), data.size());
    return ::close(fd) == 0 && written;
}

namespace {

bool openAndSync(const QString& path, int flags)
{
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_CLOEXEC | flags);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

} // namespace

bool FileOps::syncFile(const QString& path)
{
    return openAndSync(path, O_NONBLOCK);
}

bool FileOps::syncFolder(const QString& path)
{
    return openAndSync(path, O_DIRECTORY);
}

bool FileOps::rename(const QString& from, const QString& to)
{
    return ::rename(nativePath(from).constData(), nativePath(to).constData()) == 0;
}

bool FileOps::removeFile(const QString& path)
{
    return ::unlink(nativePath(path).constData()) == 0;
}

bool FileOps::makeDir(const QString& path)
{
    return ::mkdir(nativePath(path).constData(), 0777) == 0;
}

bool FileOps::removeDir(const QString& path)
{
    return ::rmdir(nativePath(path).constData()) == 0;
}

bool FileOps::copyFile(const QString& from, const QString& to, const CopyProgress& progress)
{
    const std::unique_ptr<QFile> source = openRegularFile(from);
    if (!source)
        return false;
    const qint64 total = source->size();
    const QByteArray target = nativePath(to);
    const int out = ::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0)
        return false;
    // A picture may be larger than the memory to spare: one chunk at a time.
    constexpr qint64 ChunkSize = 1 << 20;
    QByteArray chunk(ChunkSize, Qt::Uninitialized);
    qint64 done = 0;
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(source->handle(), chunk.data(), size_t(ChunkSize));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        if (!writeAll(out, chunk.constData(), n)) {
            ok = false;
            break;
        }
        done += n;
        if (progress)
            progress(done, std::max(total, done));
    }
    ok = ok && ::fsync(out) == 0;
    ok = ::close(out) == 0 && ok;
    if (!ok)
        ::unlink(target.constData());
    return ok;
}

bool FileOps::isReadOnly(const QString& path)
{
    struct stat st;
    return ::stat(nativePath(path).constData(), &st) == 0 && !(st.st_mode & S_IWUSR);
}

bool FileOps::copyPermissions(const QString& from, const QString& to)
{
    struct stat st;
    return ::stat(nativePath(from).constData(), &st) == 0 &&
           ::chmod(nativePath(to).constData(), st.st_mode & 07777) == 0;
}

FileOps& FileOps::current()
{
    FileOps* ops = g_current.load();
    return ops ? *ops : defaultOps();
}

FileOps* FileOps::install(FileOps* ops)
{
    return g_current.exchange(ops);
}

bool isTempName(QStringView fileName)
{
    static const QRegularExpression form(QStringLiteral("^\\..+\\.kovra-tmp-[1-9][0-9]{0,9}-[0-9a-f]{8}$"),
                                         QRegularExpression::DotMatchesEverythingOption);
    return form.match(fileName.toString()).hasMatch();
}

namespace {

QString tempNameFor(const QString& path)
{
    const QFileInfo info(path);
    const QString name = u'.' + info.fileName() + QString::fromUtf16(TempMarker) + QString::number(qint64(::getpid())) +
                         u'-' + QStringLiteral("%1").arg(QRandomGenerator::global()->generate(), 8, 16, QChar(u'0'));
    return info.path() + u'/' + name;
}

bool isTaken(const QString& path)
{
    struct stat st;
    return ::lstat(nativePath(path).constData(), &st) == 0 || errno != ENOENT;
}

// Locks held by this process: flock conflicts between two descriptors of one process too, so a thread
// that already holds a folder's lock counts up instead of locking again.
struct HeldLock
{
    std::thread::id owner;
    int depth = 0;
    int fd = -1;
};
std::mutex g_locksMutex;
std::condition_variable g_locksChanged;
std::map<std::pair<quint64, quint64>, HeldLock> g_locks;

constexpr auto LockPatience = std::chrono::seconds(10);

} // namespace

WriteLock::WriteLock(const QString& pathInFolder)
{
    const QString folder = QFileInfo(pathInFolder).absolutePath();
    const int fd = ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st;
    if (fd < 0 || ::fstat(fd, &st) != 0) {
        if (fd >= 0)
            ::close(fd);
        return; // no folder to lock: the write itself will find out
    }
    m_device = quint64(st.st_dev);
    m_inode = quint64(st.st_ino);
    const auto key = std::make_pair(m_device, m_inode);
    const auto deadline = std::chrono::steady_clock::now() + LockPatience;
    std::unique_lock guard(g_locksMutex);
    for (;;) {
        const auto it = g_locks.find(key);
        if (it == g_locks.end())
            break;
        if (it->second.owner == std::this_thread::get_id()) {
            ++it->second.depth;
            ::close(fd);
            m_held = true;
            return;
        }
        if (g_locksChanged.wait_until(guard, deadline) == std::cv_status::timeout && g_locks.count(key)) {
            ::close(fd);
            m_timedOut = true;
            return;
        }
    }
    g_locks[key] = HeldLock{std::this_thread::get_id(), 1, fd};
    guard.unlock();
    // Another process may hold it: wait for it without blocking for ever.
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            m_held = true;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR)
            break; // a file system without locks: go on unlocked
        if (std::chrono::steady_clock::now() >= deadline) {
            m_timedOut = true;
            break;
        }
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(16));
    }
    guard.lock();
    g_locks.erase(key);
    ::close(fd);
    g_locksChanged.notify_all();
}

WriteLock::~WriteLock()
{
    if (!m_held)
        return;
    const std::lock_guard guard(g_locksMutex);
    const auto it = g_locks.find(std::make_pair(m_device, m_inode));
    if (it == g_locks.end() || --it->second.depth > 0)
        return;
    ::flock(it->second.fd, LOCK_UN);
    ::close(it->second.fd);
    g_locks.erase(it);
    g_locksChanged.notify_all();
}

FileReplacement::~FileReplacement()
{
    for (const Staged& s : m_staged)
        FileOps::current().removeFile(s.temp);
}

bool FileReplacement::add(const QString& pathAsNamed, const QByteArray& data)
{
    const QString path = existingPath(pathAsNamed); // never a second file that differs only in case
    FileOps& ops = FileOps::current();
    if (ops.isReadOnly(path))
        return false;
    QString temp = tempNameFor(path);
    for (int tries = 0; isTaken(temp) && tries < 8; ++tries)
        temp = tempNameFor(path);
    if (isTaken(temp))
        return false;
    // The data reaches the disk before the rename can make it the file: a power cut never leaves an
    // empty or half-written file under the target's name.
    if (!ops.writeFile(temp, data) || !ops.syncFile(temp)) {
        ops.removeFile(temp);
        return false;
    }
    // The replacement must not change who may read or write the file.
    if (pathKind(path) != PathKind::Missing && !ops.copyPermissions(path, temp)) {
        ops.removeFile(temp);
        return false;
    }
    m_staged.append(Staged{temp, path});
    return true;
}

bool FileReplacement::commit()
{
    FileOps& ops = FileOps::current();
    bool all = true;
    QStringList folders;
    for (const Staged& s : m_staged) {
        if (!ops.rename(s.temp, s.target)) {
            ops.removeFile(s.temp);
            all = false;
            continue;
        }
        const QString folder = QFileInfo(s.target).absolutePath();
        if (!folders.contains(folder))
            folders.append(folder);
    }
    m_staged.clear();
    // The new names reach the disk too. The files are replaced whatever this says, so a failure here
    // is no failure of the write: there is nothing left to undo.
    for (const QString& folder : folders)
        ops.syncFolder(folder);
    return all;
}

void removeTempLeftovers(const QString& folder)
{
    for (const QString& name : folderEntries(folder)) {
        const QString path = folder + u'/' + name;
        if (!isTempName(name) || isSymLink(path) || !isRegularFile(path))
            continue;
        // A writer that still runs owns its temporary file.
        const QStringView tail = QStringView(name).mid(name.lastIndexOf(QString::fromUtf16(TempMarker)) +
                                                       qsizetype(std::size(TempMarker) - 1));
        const qint64 pid = tail.left(tail.indexOf(u'-')).toLongLong();
        if (pid <= 0 || pid > std::numeric_limits<pid_t>::max() || ::kill(pid_t(pid), 0) == 0 || errno != ESRCH)
            continue;
        FileOps::current().removeFile(path);
    }
}

} // namespace kovra
