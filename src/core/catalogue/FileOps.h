#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

namespace kovra {

// Opens path for reading so that it can never block: a non-blocking open of regular files only (a FIFO,
// device, socket or folder fails), then the descriptor is made blocking again for ordinary reads.
// nullptr when the file is missing or cannot be read. Use it for every picture the program opens.
std::unique_ptr<QFile> openRegularFile(const QString& path);

// Progress of a long copy: bytes done and total; called on the caller's thread between chunks.
using CopyProgress = std::function<void(qint64 done, qint64 total)>;

// The largest INI file read: the files this program and the earlier build write are a few KB, and an
// area file with a 10 MB item still reads. A larger file is not read into memory at all.
inline constexpr qint64 MaxProfileFileSize = 16 * 1024 * 1024;

// The file operations behind every write of the catalogue and every read of an INI file.
// Tests install a subclass that fails on purpose: CI runs as root, which ignores permission bits.
class FileOps
{
public:
    enum class ReadStatus { Ok, Missing, Failed, TooLarge };

    virtual ~FileOps() = default;

    // TooLarge (nothing read) for a file of more than MaxProfileFileSize bytes.
    virtual ReadStatus readFile(const QString& path, QByteArray& out);
    // Creates path, which must not exist yet (exclusive: never another writer's file), and writes data.
    // The data is not yet on stable storage: syncFile does that.
    virtual bool writeFile(const QString& path, const QByteArray& data);
    // Flushes the file's data to stable storage.
    virtual bool syncFile(const QString& path);
    // Flushes a folder's entries (a rename done in it) to stable storage.
    virtual bool syncFolder(const QString& path);
    virtual bool rename(const QString& from, const QString& to);
    virtual bool removeFile(const QString& path);
    virtual bool makeDir(const QString& path);
    virtual bool removeDir(const QString& path);
    // Copies the regular file from (opened as openRegularFile does) to a new file to, in chunks of
    // bounded size, calling progress after each chunk. Never replaces an existing file; a failed copy
    // leaves nothing at to.
    virtual bool copyFile(const QString& from, const QString& to, const CopyProgress& progress = {});
    // Windows' read-only attribute: a file whose owner-write bit is off.
    virtual bool isReadOnly(const QString& path);
    // Gives to the permission bits of from.
    virtual bool copyPermissions(const QString& from, const QString& to);

    // The operations in force; the default is the real file system.
    static FileOps& current();
    // Installs ops (not owned) and returns the previous one; nullptr restores the default.
    static FileOps* install(FileOps* ops);
};

// Installs a FileOps for the lifetime of a scope (tests).
class ScopedFileOps
{
public:
    explicit ScopedFileOps(FileOps* ops) : m_previous(FileOps::install(ops)) {}
    ~ScopedFileOps() { FileOps::install(m_previous); }
    ScopedFileOps(const ScopedFileOps&) = delete;
    ScopedFileOps& operator=(const ScopedFileOps&) = delete;

private:
    FileOps* m_previous;
};

// Temporary files of a write lie beside their target, hidden, named "." + target name + TempMarker + the
// writer's process id + "-" + eight random hexadecimal digits, created exclusively: no user file has
// such a name by accident, and no two writes share one.
inline constexpr char16_t TempMarker[] = u".kovra-tmp-";
// True for a name that this program's writes give their temporary files.
bool isTempName(QStringView fileName);

// Serialises the read-modify-write of the files of one folder between processes (and threads): an
// advisory lock (flock) on the folder itself, so no extra file is needed. Held from construction to
// destruction; nested locks of one thread on one folder are fine. Waits at most a few seconds for
// another writer; timedOut() then tells the caller to give up without writing. Where the folder cannot
// be locked at all (it cannot be opened, or the file system has no locks) the write goes on unlocked.
class WriteLock
{
public:
    explicit WriteLock(const QString& pathInFolder);
    ~WriteLock();
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;
    bool timedOut() const { return m_timedOut; }

private:
    quint64 m_device = 0, m_inode = 0;
    bool m_held = false;
    bool m_timedOut = false;
};

// Replaces several files, all or nothing up to the renames: add() writes each new content to a
// temporary file beside its target and flushes it; commit() renames them over their targets in the
// order added and flushes each folder. Temporary files not committed are removed on destruction.
class FileReplacement
{
public:
    FileReplacement() = default;
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // False (nothing left behind) for a read-only target or when the disk refuses.
    bool add(const QString& path, const QByteArray& data);
    // True when every target was replaced. A rename that fails keeps that target's old file; the
    // others are still replaced.
    bool commit();

private:
    struct Staged
    {
        QString temp, target;
    };
    QList<Staged> m_staged;
};

// Removes the temporary files that writes of ours left directly inside folder: only names of our
// form, only regular files, and only of writers that no longer run.
void removeTempLeftovers(const QString& folder);

} // namespace kovra
