#include "ImageFolders.h"

#include "CodePage.h"
#include "FileOps.h"
#include "ProfileFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace kovra {

QStringList folderList(const QString& programFolder)
{
    QDir dir(programFolder);
    // Links that lead nowhere (dangling, or a loop) are no folders; a link back to the program folder
    // itself is the program folder, not an image: reading it as one would take KOVRA.INI's neighbours
    // for area files, and saving there would write into the program folder.
    QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
    const QString self = QFileInfo(programFolder).canonicalFilePath();
    names.removeIf([&](const QString& name) {
        const QFileInfo info(dir.filePath(name));
        return info.isSymLink() && (!info.isDir() || info.canonicalFilePath() == self);
    });
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = a.compare(b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    QStringList paths;
    paths.reserve(names.size());
    for (const QString& name : names)
        paths.append(dir.filePath(name));
    return paths;
}

void removeLeftovers(const QString& programFolder)
{
    removeTempLeftovers(programFolder);
    for (const QString& folder : folderList(programFolder))
        removeTempLeftovers(folder);
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
    QList<TitleEntry> list;
    for (int p = 0; p < folders.size(); ++p) {
        const QString& folder = folders[p];
        if (isManualFolder(folder))
            continue;
        const QString title =
            getProfileString(u"ImageFile", u"Title", defaultTitle, TitleBufferSize, imageIniPath(folder));
        list.append(TitleEntry{title, folder, p});
    }
    return list;
}

QString resolvePicturePath(const QString& folder, const QString& storedFilename)
{
    if (storedFilename.isEmpty())
        return storedFilename;
    // Only an absolute path is taken as stored: a relative one would name a file of the working folder.
    if (QDir::isAbsolutePath(storedFilename) && QFileInfo(storedFilename).isFile())
        return storedFilename;
    // Windows paths use '\', ours '/'; a name of ours may hold a '\' itself, so try the longer name too.
    QStringList candidates;
    const qsizetype anySeparator = std::max(storedFilename.lastIndexOf(u'\\'), storedFilename.lastIndexOf(u'/'));
    candidates.append(storedFilename.mid(anySeparator + 1));
    candidates.append(storedFilename.mid(storedFilename.lastIndexOf(u'/') + 1));
    for (const QString& name : candidates) {
        if (name.isEmpty() || name == u"." || name == u"..")
            continue;
        const QString local = QDir(folder).filePath(name);
        if (QFileInfo(local).isFile())
            return local;
    }
    return storedFilename;
}

QString picturePathOf(const QString& folder, int bufferSize)
{
    const ProfileFile ini = ProfileFile::load(imageIniPath(folder));
    const QString stored = ini.read(u"ImageFile", u"Filename", u"", bufferSize);
    const QString resolved = resolvePicturePath(folder, stored);
    const bool found = resolved != stored || (QDir::isAbsolutePath(stored) && QFileInfo(stored).isFile());
    if (found || stored.isEmpty())
        return resolved;
    // A path longer than the reader's buffer names no file once cut: look at the whole stored value.
    const QString whole = ini.value(u"ImageFile", u"Filename").value_or(QString());
    return whole != stored ? resolvePicturePath(folder, whole) : resolved;
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
                               const QString& title, const QDateTime& now)
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
    if (!ops.copyFile(picturePath, copyPath))
        return undo(CreateError::CopyPicture);
    return {CreateError::None, folder};
}

bool deleteImageFolder(const QString& programFolder, const QString& folder)
{
    if (folder.isEmpty())
        return false;
    // "x/" would follow a link named x and "x/." would name the program folder itself: clean first.
    const QString path = QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isDir() || isManualFolder(path))
        return false;
    const QString program = QFileInfo(programFolder).canonicalFilePath();
    const QString canonical = info.canonicalFilePath();
    if (program.isEmpty() || canonical.isEmpty() || canonical == program ||
        QFileInfo(canonical).absolutePath() != program)
        return false;
    FileOps& ops = FileOps::current();
    const QDir dir(path);
    const auto files = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& f : files) {
        // The read-only attribute protects a file from deletion as from writes: it stays, and so does
        // its folder. A symbolic link has no such bit of its own and is removed itself, never its target.
        if (!f.isSymLink() && ops.isReadOnly(f.absoluteFilePath()))
            continue;
        ops.removeFile(f.absoluteFilePath());
    }
    ops.removeDir(path);
    return !isTaken(path);
}

} // namespace kovra
