#include "FileOps.h"
#include "NativePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
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
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            out.clear();
            return ReadStatus::Failed;
        }
        if (n == 0)
            break;
        out.append(buf, n);
    }
    ::close(fd);
    return ReadStatus::Ok;
}

bool FileOps::writeFile(const QString& path, const QByteArray& data)
{
    const QByteArray native = nativePath(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    if (!writeAll(fd, data.constData(), data.size())) {
        ::close(fd);
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
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
    return QDir().mkdir(path);
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
    const QFileInfo info(path);
    return info.exists() && !(info.permissions() & QFileDevice::WriteOwner);
}

bool FileOps::copyPermissions(const QString& from, const QString& to)
{
    return QFile::setPermissions(to, QFile::permissions(from));
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

bool atomicWrite(const QString& pathAsNamed, const QByteArray& data)
{
    const QString path = existingPath(pathAsNamed); // never a second file that differs only in case
    FileOps& ops = FileOps::current();
    if (ops.isReadOnly(path))
        return false;
    const QString temp = path + QString::fromUtf16(TempSuffix);
    ops.removeFile(temp); // a leftover of a crash may carry permissions that refuse the write
    if (!ops.writeFile(temp, data)) {
        ops.removeFile(temp);
        return false;
    }
    // The replacement must not change who may read or write the file.
    if (QFileInfo::exists(path) && !ops.copyPermissions(path, temp)) {
        ops.removeFile(temp);
        return false;
    }
    if (!ops.rename(temp, path)) {
        ops.removeFile(temp);
        return false;
    }
    return true;
}

void removeTempLeftovers(const QString& folder)
{
    const QDir dir(folder);
    const QString pattern = QStringLiteral("*") + QString::fromUtf16(TempSuffix);
    // Our naming exactly: a user's "photo.KOVRA-TMP" is not ours (name filters ignore case unless told).
    for (const QString& name :
         dir.entryList({pattern}, QDir::Files | QDir::Hidden | QDir::System | QDir::CaseSensitive))
        FileOps::current().removeFile(dir.filePath(name));
}

} // namespace kovra
