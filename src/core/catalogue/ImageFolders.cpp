#include "ImageFolders.h"

#include "BackgroundTask.h"
#include "CodePage.h"
#include "FileOps.h"
#include "NativePath.h"
#include "ProfileFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <atomic>
#include <thread>

namespace kovra {

QStringList folderList(const QString& programFolder)
{
    // Listed with readdir() and stat() on the kernel's bytes: a folder named in code page 932 bytes keeps
    // its name, where Qt's file classes would lose it.
    QStringList names;
    const QString self = canonicalPath(programFolder);
    const QString prefix = programFolder.endsWith(u'/') ? programFolder : programFolder + u'/';
    for (const QString& name : folderEntries(programFolder)) {
        // Hidden folders (.git, .thumbnails, a sync tool's .stfolder) are no images, as the desktop hides them.
        if (name.startsWith(u'.'))
            continue;
        const QString path = prefix + name;
        if (!isFolder(path))
            continue;
        // Links that lead nowhere (dangling, or a loop) are no folders; a link back to the program folder
        // itself is the program folder, not an image: reading it as one would take KOVRA.INI's neighbours
        // for area files, and saving there would write into the program folder.
        if (isSymLink(path) && canonicalPath(path) == self)
            continue;
        names.append(name);
    }
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    QStringList paths;
    paths.reserve(names.size());
    for (const QString& name : names)
        paths.append(prefix + name);
    return paths;
}

void removeLeftovers(const QString& programFolder)
{
    removeTempLeftovers(programFolder);
    const std::atomic<bool> never{false};
    removeImageFolderLeftovers(programFolder, never);
}

void removeImageFolderLeftovers(const QString& programFolder, const std::atomic<bool>& stop)
{
    for (const QString& folder : folderList(programFolder)) {
        if (stop)
            return;
        removeTempLeftovers(folder);
    }
}

bool isManualFolder(QStringView path)
{
    return path.right(6).compare(u"manual", Qt::CaseInsensitive) == 0;
}

QString imageIniPath(const QString& folder)
{
    return folder + QStringLiteral("/IMAGE.INI");
}

QList<TitleEntry> titleList(const QStringList& folders, const QString& defaultTitle)
{
    QList<int> positions;
    for (int p = 0; p < folders.size(); ++p)
        if (!isManualFolder(folders[p]))
            positions.append(p);
    QList<TitleEntry> list(positions.size());
    // Each title is one small file read: two threads keep the disk and the parser busy at once. Every
    // entry has its own place, so the list's order is the folder list's whatever thread reads it.
    std::atomic<qsizetype> next{0};
    auto readTitles = [&](const std::atomic<bool>* stop) {
        for (qsizetype k; !(stop && *stop) && (k = next.fetch_add(1, std::memory_order_relaxed)) < positions.size();) {
            const int p = positions[k];
            const QString& folder = folders[p];
            list[k] = TitleEntry{
                getProfileString(u"ImageFile", u"Title", defaultTitle, TitleBufferSize, imageIniPath(folder)), folder,
                p};
        }
    };
    constexpr qsizetype MinTitlesPerThread = 64;
    if (positions.size() >= 2 * MinTitlesPerThread && std::thread::hardware_concurrency() > 1) {
        // An exception here leaves through the helper's destructor, which stops it after its current title.
        BackgroundTask helper([&](const std::atomic<bool>& stop) { readTitles(&stop); });
        readTitles(nullptr);
        helper.join();
    } else {
        readTitles(nullptr);
    }
    return list;
}

namespace {

// The picture file at path, in any case of its name; empty when there is none.
QString pictureFileAt(const QString& path)
{
    if (isRegularFile(path))
        return path;
    const QString other = existingPath(path);
    return other != path && isRegularFile(other) ? other : QString();
}

// The name a stored path gives its picture inside folder, if that picture is there.
QString localPicture(const QString& folder, const QString& name)
{
    if (name.isEmpty() || name == u"." || name == u"..")
        return {};
    if (QString local = pictureFileAt(folder + u'/' + name); !local.isEmpty())
        return local;
    // A copy unpacked from a Windows archive keeps the name's code page bytes, which are seldom UTF-8.
    if (const auto bytes = codepage::encode(name); bytes && *bytes != name.toUtf8())
        return pictureFileAt(folder + u'/' + fromNativePath(*bytes));
    return {};
}

bool isInside(const QString& folder, const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash > 0 && QDir::cleanPath(path.left(slash)) == QDir::cleanPath(folder);
}

} // namespace

QString resolvePicturePath(const QString& folder, const QString& storedFilename)
{
    if (storedFilename.isEmpty())
        return storedFilename;
    // Only an absolute path is taken as stored: a relative one would name a file of the working folder.
    const bool absolute = storedFilename.startsWith(u'/');
    if (absolute && isInside(folder, storedFilename)) {
        if (QString stored = pictureFileAt(storedFilename); !stored.isEmpty())
            return stored;
    }
    // A path outside the image folder (the original of a copied catalogue, a Windows path) gives way to
    // the file of that name in the folder. Windows paths use '\', ours '/'; a name of ours may hold a '\'
    // itself, so the longer name is tried too.
    const qsizetype anySeparator = std::max(storedFilename.lastIndexOf(u'\\'), storedFilename.lastIndexOf(u'/'));
    for (const QString& name :
         {storedFilename.mid(anySeparator + 1), storedFilename.mid(storedFilename.lastIndexOf(u'/') + 1)}) {
        if (const QString local = localPicture(folder, name); !local.isEmpty())
            return local;
    }
    if (absolute) {
        if (QString stored = pictureFileAt(storedFilename); !stored.isEmpty())
            return stored;
    }
    return storedFilename;
}

PictureResolution resolvePicture(const QString& folder, int bufferSize, FileOps& ops)
{
    const ProfileFile ini = ProfileFile::load(imageIniPath(folder), ops);
    return resolvePicture(folder, ini.read(u"ImageFile", u"Filename", u"", bufferSize),
                          ini.value(u"ImageFile", u"Filename").value_or(QString()));
}

PictureResolution resolvePicture(const QString& folder, const QString& stored, const QString& whole)
{
    PictureResolution r;
    r.stored = stored;
    if (r.stored.isEmpty())
        return r;
    r.path = resolvePicturePath(folder, r.stored);
    r.found = isRegularFile(r.path);
    // A path longer than the reader's buffer names no file once cut: look at the whole stored value.
    if (!r.found && whole != r.stored) {
        r.path = resolvePicturePath(folder, whole);
        r.found = isRegularFile(r.path);
    }
    return r;
}

QString picturePathOf(const QString& folder, int bufferSize, FileOps& ops)
{
    return resolvePicture(folder, bufferSize, ops).path;
}

QString picturePathOf(const QString& folder, const QString& stored, const QString& whole)
{
    return resolvePicture(folder, stored, whole).path;
}

QString imageFolderName(const QDateTime& localTime)
{
    return localTime.toString(QStringLiteral("yyyyMMddHHmmss"));
}

namespace {

// The copy keeps the picture's own name, which must stay a plain file name of the image folder and
// must not take the place of the folder's own files.
bool isUsableCopyName(const QString& name)
{
    if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/') || name.contains(QChar(u'\0')))
        return false;
    if (name.compare(u"IMAGE.INI", Qt::CaseInsensitive) == 0)
        return false;
    static const QRegularExpression areaFile(QStringLiteral("^area[0-9]+\\.ini$"),
                                             QRegularExpression::CaseInsensitiveOption);
    return !areaFile.match(name).hasMatch();
}

bool isTaken(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink(); // a dangling link holds its name too
}

} // namespace

CreateResult createImageFolder(const QString& programFolder, const QString& picturePath, const QString& copyName,
                               const QString& title, const QDateTime& now, const CopyProgress& progress)
{
    FileOps& ops = FileOps::current();
    const QDir program(programFolder);
    if (!isUsableCopyName(copyName))
        return {CreateError::InvalidInput, {}};
    // Never over an existing folder: two registrations within a second take the next free second.
    QDateTime when = now;
    QString folder = program.filePath(imageFolderName(when));
    for (int tries = 0; isTaken(folder) && tries < 3600; ++tries) {
        when = when.addSecs(1);
        folder = program.filePath(imageFolderName(when));
    }
    if (isTaken(folder))
        return {CreateError::FolderExists, {}};
    const QString copyPath = folder + u'/' + copyName;

    // The description is complete in memory before anything is made on the disk.
    ProfileFile ini;
    const QString section = QStringLiteral("ImageFile");
    WriteStatus st = ini.set(section, u"Path", folder);
    if (st == WriteStatus::Ok)
        st = ini.set(section, u"Filename", copyPath);
    if (st == WriteStatus::Ok)
        st = ini.set(section, u"Title", title);
    if (st == WriteStatus::Unencodable)
        return {CreateError::Unencodable, {}};
    if (st != WriteStatus::Ok)
        return {CreateError::InvalidInput, {}};

    if (!ops.makeDir(folder))
        return {CreateError::MakeFolder, {}};
    auto undo = [&](CreateError error) {
        ops.removeFile(copyPath);
        ops.removeFile(imageIniPath(folder));
        removeTempLeftovers(folder);
        ops.removeDir(folder);
        return CreateResult{error, {}};
    };
    if (ini.save(imageIniPath(folder)) != WriteStatus::Ok)
        return undo(CreateError::WriteIni);
    if (!ops.copyFile(picturePath, copyPath, progress))
        return undo(CreateError::CopyPicture);
    return {CreateError::None, folder};
}

bool deleteImageFolder(const QString& programFolder, const QString& folder)
{
    if (folder.isEmpty())
        return false;
    // "x/" would follow a link named x and "x/." would name the program folder itself: clean first.
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    if (isSymLink(path) || !isFolder(path) || isManualFolder(path))
        return false;
    const QString program = canonicalPath(programFolder);
    const QString canonical = canonicalPath(path);
    if (program.isEmpty() || canonical.isEmpty() || canonical == program ||
        canonical.left(std::max<qsizetype>(canonical.lastIndexOf(u'/'), 1)) != program)
        return false;
    // A folder mounted here holds someone else's files: removing them would reach past the catalogue.
    if (!onSameMount(path, program))
        return false;
    FileOps& ops = FileOps::current();
    for (const QString& name : folderEntries(path)) {
        const QString file = path + u'/' + name;
        if (pathKind(file) == PathKind::Folder)
            continue; // subfolders are not entered, nor links to folders
        // The read-only attribute protects a file from deletion as from writes: it stays, and so does
        // its folder. A symbolic link has no such bit of its own and is removed itself, never its target.
        if (!isSymLink(file) && ops.isReadOnly(file))
            continue;
        ops.removeFile(file);
    }
    ops.removeDir(path);
    return !isTaken(path);
}

} // namespace kovra
