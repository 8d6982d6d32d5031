#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

// The one place where a path held as text becomes the bytes the kernel takes, and back.
// Every system call of the catalogue layer takes its path through nativePath().
//
// Paths are UTF-8 on the kernel's side, but a folder unpacked from a Windows archive may carry code page
// 932 bytes in its name. Such bytes must survive: each byte of a name that is not part of valid UTF-8
// becomes the lone surrogate U+DC80..U+DCFF in the text and turns back into the same byte, so every
// name read from the disk reaches the same file again. Qt's own file classes lose such bytes; the core
// queries paths that may hold them only through the functions below.
namespace kovra {

QByteArray nativePath(const QString& path);
QString fromNativePath(QByteArrayView bytes);

// True when the text holds a byte of a name that is not UTF-8 (such a path cannot be stored as text).
bool hasEscapedBytes(QStringView path);
// The path as a message shows it: each such byte as \xNN.
QString displayPath(const QString& path);

// What a name is, from stat() through nativePath.
enum class PathKind { Missing, File, Folder, Other };
PathKind pathKind(const QString& path);     // follows symbolic links
bool isSymLink(const QString& path);        // the entry itself is a symbolic link
bool isPresent(const QString& path);        // any entry, a link that leads nowhere included
bool isRegularFile(const QString& path);    // pathKind(path) == File
bool isFolder(const QString& path);         // pathKind(path) == Folder
QString canonicalPath(const QString& path); // realpath(); empty when it cannot be resolved
QString symLinkTarget(const QString& path); // readlink(); empty when no link
// True when the absolute path, with every symbolic link on its way resolved as the kernel would (the entry
// itself too when it exists; '..' after a link leads out of the link's target), names an entry below the
// folder (resolved the same way). Components below the deepest existing folder are taken as written.
bool liesInside(const QString& path, const QString& folder);
bool isReadableFolder(const QString& path); // a folder that opendir() opens

// One stat() of the path (lstat() when followLinks is false): what it is, and the device and inode that
// tell it from another entry under the same name later.
struct PathStatus
{
    PathKind kind = PathKind::Missing; // Missing too when the name cannot be looked at
    bool absent = false;               // nothing has this name (ENOENT), as against a name not looked at
    bool symLink = false;              // lstat() only
    quint64 device = 0, inode = 0;
    qint64 size = 0; // bytes, as stat() gives them (a sparse file's holes included)
};
PathStatus pathStatus(const QString& path, bool followLinks = true);
// Both entries lie on one mount: the same device and, where the kernel tells it, the same mount (a bind
// mount of a folder of the same device has its own). False when either cannot be looked at.
bool onSameMount(const QString& a, const QString& b);

// The names of a folder (without "." and ".."), in the order readdir() gives them; empty when the folder
// cannot be read (ok, when given, tells which).
QStringList folderEntries(const QString& folder, bool* ok = nullptr);
// The names among them that are symbolic links, from the types of the same one listing (a file is
// looked at on its own only where the file system gives no type).
QStringList symLinkEntries(const QString& folder, bool* ok = nullptr);

// The path as it exists on disk: path itself when that entry exists; otherwise the one entry of the same
// folder whose name equals the last component without regard to case (a catalogue copied through a
// system that changes case); otherwise, also when two names match, path unchanged.
QString existingPath(const QString& path);
// ::open() of the path as existingPath() finds it, at the cost of one call when the exact name exists.
int openExisting(const QString& path, int flags);

} // namespace kovra
