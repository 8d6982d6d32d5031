#include "NativePath.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace kovra {
namespace {

constexpr char16_t EscapeBase = 0xDC00; // a byte b that is no UTF-8 becomes EscapeBase + b (b >= 0x80)

bool isEscape(char16_t u)
{
    return u >= EscapeBase + 0x80 && u <= EscapeBase + 0xFF;
}

bool isContinuation(unsigned char b)
{
    return (b & 0xC0) == 0x80;
}

// Length of the valid UTF-8 sequence at p (of n bytes), 0 when there is none; its code point in cp.
int utf8Sequence(const unsigned char* p, qsizetype n, char32_t& cp)
{
    const unsigned char b = p[0];
    int length = 0;
    char32_t min = 0;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
        cp = b & 0x1F;
        min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        cp = b & 0x0F;
        min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        cp = b & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (n < length)
        return 0;
    for (int i = 1; i < length; ++i) {
        if (!isContinuation(p[i]))
            return 0;
        cp = (cp << 6) | (p[i] & 0x3F);
    }
    // No overlong forms, no encoded surrogates (they would collide with the escapes), nothing past U+10FFFF.
    if (cp < min || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
        return 0;
    return length;
}

void appendUtf8(QByteArray& out, char32_t cp)
{
    if (cp < 0x80) {
        out.append(char(cp));
    } else if (cp < 0x800) {
        out.append(char(0xC0 | (cp >> 6)));
        out.append(char(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.append(char(0xE0 | (cp >> 12)));
        out.append(char(0x80 | ((cp >> 6) & 0x3F)));
        out.append(char(0x80 | (cp & 0x3F)));
    } else {
        out.append(char(0xF0 | (cp >> 18)));
        out.append(char(0x80 | ((cp >> 12) & 0x3F)));
        out.append(char(0x80 | ((cp >> 6) & 0x3F)));
        out.append(char(0x80 | (cp & 0x3F)));
    }
}

bool isAscii(QByteArrayView bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

bool statOf(const QString& path, struct stat& st, bool follow)
{
    const QByteArray native = nativePath(path);
    if (native.isEmpty())
        return false;
    return (follow ? ::stat(native.constData(), &st) : ::lstat(native.constData(), &st)) == 0;
}

} // namespace

QByteArray nativePath(const QString& path)
{
    QByteArray out;
    out.reserve(path.size());
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = path[i].unicode();
        if (u < 0x80) {
            out.append(char(u));
        } else if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(path[i + 1].unicode())) {
            appendUtf8(out, QChar::surrogateToUcs4(u, path[i + 1].unicode()));
            ++i;
        } else if (isEscape(u)) {
            out.append(char(u - EscapeBase));
        } else if (QChar::isSurrogate(u)) {
            appendUtf8(out, 0xFFFD); // no name on disk reads back as this
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

QString fromNativePath(QByteArrayView bytes)
{
    if (isAscii(bytes))
        return QString::fromLatin1(bytes.data(), bytes.size());
    QString out;
    out.reserve(bytes.size());
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        if (p[i] < 0x80) {
            out.append(QChar(char16_t(p[i])));
            ++i;
            continue;
        }
        char32_t cp = 0;
        const int length = utf8Sequence(p + i, n - i, cp);
        if (length == 0) {
            out.append(QChar(char16_t(EscapeBase + p[i])));
            ++i;
            continue;
        }
        const char32_t one[1] = {cp};
        out.append(QString::fromUcs4(one, 1));
        i += length;
    }
    return out;
}

bool hasEscapedBytes(QStringView path)
{
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = path[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(path[i + 1].unicode()))
            ++i;
        else if (isEscape(u))
            return true;
    }
    return false;
}

QString displayPath(const QString& path)
{
    if (!hasEscapedBytes(path))
        return path;
    QString out;
    const qsizetype n = path.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t u = path[i].unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(path[i + 1].unicode())) {
            out.append(path[i]);
            out.append(path[++i]);
        } else if (isEscape(u)) {
            out += QStringLiteral("\\x") + QString::number(unsigned(u - EscapeBase), 16).toUpper();
        } else {
            out.append(path[i]);
        }
    }
    return out;
}

PathKind pathKind(const QString& path)
{
    struct stat st;
    if (!statOf(path, st, true))
        return PathKind::Missing;
    if (S_ISREG(st.st_mode))
        return PathKind::File;
    if (S_ISDIR(st.st_mode))
        return PathKind::Folder;
    return PathKind::Other;
}

bool isSymLink(const QString& path)
{
    struct stat st;
    return statOf(path, st, false) && S_ISLNK(st.st_mode);
}

bool isPresent(const QString& path)
{
    struct stat st;
    return statOf(path, st, false);
}

bool isRegularFile(const QString& path)
{
    return pathKind(path) == PathKind::File;
}

bool isFolder(const QString& path)
{
    return pathKind(path) == PathKind::Folder;
}

QString canonicalPath(const QString& path)
{
    const QByteArray native = nativePath(path);
    if (native.isEmpty())
        return {};
    const std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(native.constData(), nullptr), &std::free);
    return resolved ? fromNativePath(resolved.get()) : QString();
}

bool liesInside(const QString& path, const QString& folder)
{
    const QString root = canonicalPath(folder);
    if (root.isEmpty() || !path.startsWith(u'/'))
        return false;
    QString existing = path;
    QString rest;
    QString resolved = canonicalPath(existing);
    while (resolved.isEmpty()) {
        const qsizetype slash = existing.lastIndexOf(u'/');
        const QString name = existing.mid(slash + 1);
        if (name == u"." || name == u"..")
            return false; // beneath a missing folder: no write could go there, and no text tells where it leads
        if (!name.isEmpty())
            rest.prepend(u'/' + name);
        existing = slash == 0 ? QStringLiteral("/") : existing.left(slash);
        resolved = canonicalPath(existing);
    }
    const QString full = (resolved == u"/" ? QString() : resolved) + rest;
    const QString prefix = root == u"/" ? root : root + u'/';
    return full.size() > prefix.size() && full.startsWith(prefix);
}

QString symLinkTarget(const QString& path)
{
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(nativePath(path).constData(), buf, sizeof buf);
    return n > 0 ? fromNativePath(QByteArrayView(buf, n)) : QString();
}

bool isReadableFolder(const QString& path)
{
    DIR* dir = ::opendir(nativePath(path).constData());
    if (!dir)
        return false;
    ::closedir(dir);
    return true;
}

PathStatus pathStatus(const QString& path, bool followLinks)
{
    PathStatus s;
    struct stat st;
    if (!statOf(path, st, followLinks)) {
        s.absent = !path.isEmpty() && errno == ENOENT;
        return s;
    }
    s.kind = S_ISREG(st.st_mode) ? PathKind::File : S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::Other;
    s.symLink = S_ISLNK(st.st_mode);
    s.device = quint64(st.st_dev);
    s.inode = quint64(st.st_ino);
    s.size = qint64(st.st_size);
    return s;
}

bool onSameMount(const QString& a, const QString& b)
{
    struct statx sa
    {
    }, sb{};
    if (::statx(AT_FDCWD, nativePath(a).constData(), 0, STATX_MNT_ID, &sa) != 0 ||
        ::statx(AT_FDCWD, nativePath(b).constData(), 0, STATX_MNT_ID, &sb) != 0)
        return false;
    if (sa.stx_dev_major != sb.stx_dev_major || sa.stx_dev_minor != sb.stx_dev_minor)
        return false;
    return !(sa.stx_mask & sb.stx_mask & STATX_MNT_ID) || sa.stx_mnt_id == sb.stx_mnt_id;
}

namespace {

// Calls visit(entry, dir) for each entry of the folder but "." and ".."; false when it cannot be read.
template <typename Visit>
bool listFolder(const QString& folder, Visit&& visit)
{
    DIR* dir = ::opendir(nativePath(folder).constData());
    if (!dir)
        return false;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArrayView name(entry->d_name);
        if (name != "." && name != "..")
            visit(*entry, dir);
    }
    ::closedir(dir);
    return true;
}

} // namespace

QStringList folderEntries(const QString& folder, bool* ok)
{
    QStringList names;
    const bool read =
        listFolder(folder, [&](const dirent& entry, DIR*) { names.append(fromNativePath(entry.d_name)); });
    if (ok)
        *ok = read;
    return names;
}

QStringList symLinkEntries(const QString& folder, bool* ok)
{
    QStringList names;
    const bool read = listFolder(folder, [&](const dirent& entry, DIR* dir) {
        bool link = entry.d_type == DT_LNK;
        if (entry.d_type == DT_UNKNOWN) {
            struct stat st;
            link = ::fstatat(::dirfd(dir), entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISLNK(st.st_mode);
        }
        if (link)
            names.append(fromNativePath(entry.d_name));
    });
    if (ok)
        *ok = read;
    return names;
}

namespace {

// The last folder listed for a lookup, per thread (the search reads two folders at once). A folder that
// gains, loses or renames an entry gets a new modification time; a listing is kept only when that time
// lies well in the past, so a change in the same clock tick as the listing cannot go unseen.
struct Listing
{
    QString folder;
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    QStringList names;
};
thread_local Listing t_listing;

bool sameTime(const timespec& a, const timespec& b)
{
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

QStringList namesOf(const QString& folder)
{
    struct stat st;
    if (!statOf(folder, st, true))
        return {};
    Listing& last = t_listing;
    if (last.folder == folder && last.device == st.st_dev && last.inode == st.st_ino &&
        sameTime(last.modified, st.st_mtim))
        return last.names;
    QStringList names = folderEntries(folder);
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct stat after;
    const bool settled =
        statOf(folder, after, true) && sameTime(after.st_mtim, st.st_mtim) && now.tv_sec - st.st_mtim.tv_sec >= 2;
    if (settled)
        last = Listing{folder, st.st_dev, st.st_ino, st.st_mtim, names};
    else
        last = Listing{};
    return names;
}

} // namespace

namespace {

// The one entry of path's folder whose name equals path's last component without regard to case; empty
// when there is none or more than one.
QString caseMatch(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    const QString folder = slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : path.left(slash);
    const QString name = path.mid(slash + 1);
    if (name.isEmpty() || name == u"." || name == u"..")
        return {};
    QString found;
    for (const QString& entry : namesOf(folder)) {
        if (entry.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (!found.isEmpty())
            return {}; // two names match: none of them is the one meant
        found = entry;
    }
    if (found.isEmpty())
        return {};
    return slash < 0 ? found : path.left(slash + 1) + found;
}

} // namespace

QString existingPath(const QString& path)
{
    if (path.isEmpty() || isPresent(path))
        return path;
    const QString match = caseMatch(path);
    return match.isEmpty() ? path : match;
}

int openExisting(const QString& path, int flags)
{
    // The exact name costs one call as before; the folder is looked at only when it is missing.
    const int fd = ::open(nativePath(path).constData(), flags);
    if (fd >= 0 || errno != ENOENT || path.isEmpty())
        return fd;
    const QString match = caseMatch(path);
    if (match.isEmpty()) {
        errno = ENOENT;
        return -1;
    }
    return ::open(nativePath(match).constData(), flags);
}

} // namespace kovra
