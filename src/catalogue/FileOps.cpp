#include "FileOps.h"
#include "NativePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

} // namespace

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
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ::close(fd);
            return false;
        }
        done += n;
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

bool FileOps::copyFile(const QString& from, const QString& to)
{
    QByteArray data;
    if (readFile(from, data) != ReadStatus::Ok)
        return false;
    return writeFile(to, data);
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
