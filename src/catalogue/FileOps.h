#pragma once

#include <QByteArray>
#include <QFile>
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

// The file operations behind every write of the catalogue and every read of an INI file.
// Tests install a subclass that fails on purpose: CI runs as root, which ignores permission bits.
class FileOps
{
public:
    enum class ReadStatus { Ok, Missing, Failed };

    virtual ~FileOps() = default;

    virtual ReadStatus readFile(const QString& path, QByteArray& out);
    // Creates or truncates path and writes data to stable storage.
    virtual bool writeFile(const QString& path, const QByteArray& data);
    // Replaces to with from in one step.
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

// Suffix of the temporary files of atomic writes; leftovers with it are ours to remove.
inline constexpr char16_t TempSuffix[] = u".kovra-tmp";

// Writes data to path through a temporary file in the same folder and a rename,
// keeping the old file's permissions. Refuses a read-only file. Nothing half-written remains.
bool atomicWrite(const QString& path, const QByteArray& data);

// Removes leftover temporary files of ours directly inside folder.
void removeTempLeftovers(const QString& folder);

} // namespace kovra
