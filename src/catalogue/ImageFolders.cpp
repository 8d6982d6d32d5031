#include "ImageFolders.h"

#include "CodePage.h"
#include "FileOps.h"
#include "ProfileFile.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace kovra {

QStringList folderList(const QString& programFolder)
{
    QDir dir(programFolder);
    QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
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
    const QString asStored = QString(storedFilename).replace(u'\\', u'/');
    if (QFileInfo(storedFilename).isFile())
        return storedFilename;
    const qsizetype slash = asStored.lastIndexOf(u'/');
    const QString name = asStored.mid(slash + 1);
    if (!name.isEmpty()) {
        const QString local = QDir(folder).filePath(name);
        if (QFileInfo(local).isFile())
            return local;
    }
    return storedFilename;
}

QString picturePathOf(const QString& folder, int bufferSize)
{
    const QString stored = getProfileString(u"ImageFile", u"Filename", u"", bufferSize, imageIniPath(folder));
    return resolvePicturePath(folder, stored);
}

QString imageFolderName(const QDateTime& localTime)
{
    return localTime.toString(QStringLiteral("yyyyMMddHHmmss"));
}

CreateResult createImageFolder(const QString& programFolder, const QString& picturePath, const QString& copyName,
                               const QString& title, const QDateTime& now)
{
    FileOps& ops = FileOps::current();
    const QDir program(programFolder);
    // Never over an existing folder: two registrations within a second take the next free second.
    QDateTime when = now;
    QString folder = program.filePath(imageFolderName(when));
    for (int tries = 0; QFileInfo::exists(folder) && tries < 3600; ++tries) {
        when = when.addSecs(1);
        folder = program.filePath(imageFolderName(when));
    }
    if (QFileInfo::exists(folder))
        return {CreateError::FolderExists, {}};
    const QString copyPath = folder + u'/' + copyName;
    if (!codepage::canEncode(folder) || !codepage::canEncode(copyPath) || !codepage::canEncode(title))
        return {CreateError::Unencodable, {}};
    if (!ops.makeDir(folder))
        return {CreateError::MakeFolder, {}};

    auto undo = [&](CreateError error) {
        ops.removeFile(copyPath);
        ops.removeFile(imageIniPath(folder));
        removeTempLeftovers(folder);
        ops.removeDir(folder);
        return CreateResult{error, {}};
    };

    ProfileFile ini;
    const QString section = QStringLiteral("ImageFile");
    if (ini.set(section, u"Path", folder) != WriteStatus::Ok ||
        ini.set(section, u"Filename", copyPath) != WriteStatus::Ok ||
        ini.set(section, u"Title", title) != WriteStatus::Ok)
        return undo(CreateError::Unencodable);
    if (ini.save(imageIniPath(folder)) != WriteStatus::Ok)
        return undo(CreateError::WriteIni);
    if (!ops.copyFile(picturePath, copyPath))
        return undo(CreateError::CopyPicture);
    return {CreateError::None, folder};
}

bool deleteImageFolder(const QString& programFolder, const QString& folder)
{
    const QFileInfo info(folder);
    if (info.isSymLink() || !info.isDir() || isManualFolder(folder))
        return false;
    const QString parent = QFileInfo(info.absolutePath()).canonicalFilePath();
    if (parent.isEmpty() || parent != QFileInfo(programFolder).canonicalFilePath())
        return false;
    FileOps& ops = FileOps::current();
    const QDir dir(folder);
    const auto files = dir.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& f : files)
        ops.removeFile(f.absoluteFilePath()); // a symbolic link is removed itself, never its target
    ops.removeDir(folder);
    return !QFileInfo::exists(folder) && !QFileInfo(folder).isSymLink();
}

} // namespace kovra
