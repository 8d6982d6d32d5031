#pragma once

#include <atomic>

#include "FileOps.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace kovra {

inline constexpr int TitleBufferSize = 126;    // titles: at most 125 bytes
inline constexpr int FilenameBufferSize = 254; // the main window's picture path: at most 253 bytes
inline constexpr int SearchFilenameBufferSize = 126;

inline QString nonTitled()
{
    return QStringLiteral("Non Titled");
}

// The folder list: the subfolders of the program folder by full path, ascending by name without regard
// to case. Symbolic links to folders are listed too, as the platform's folder list would, except links
// that lead nowhere (dangling or looping) and links to the program folder itself. Hidden folders (names
// beginning with '.') are left out. Names keep bytes that are not UTF-8 (see NativePath.h).
QStringList folderList(const QString& programFolder);

// At start-up: removes the temporary files that an interrupted write of ours left in the program folder
// and in every folder of the folder list (removeTempLeftovers: only names of our temporary form).
void removeLeftovers(const QString& programFolder);
// The same for the image folders only, until `stop`: run behind the windows, since it lists every folder
// (a second at 100,000 images) and no reader ever opens a temporary.
void removeImageFolderLeftovers(const QString& programFolder, const std::atomic<bool>& stop);

// True for a folder that title lists leave out: its path ends in "manual" in any case.
bool isManualFolder(QStringView path);

// One entry of a title list, with the folder it names: callers select and delete by folder.
struct TitleEntry
{
    QString title;
    QString folder;          // full path
    int folderPosition = -1; // position in the folder list it was built from
};

// A title list built from a folder list, leaving out the manual folders; each title read with
// TitleBufferSize and the given default ("" for the main window at start-up, "Non Titled" elsewhere).
// Long lists are read on two threads through FileOps::current(), which must then be thread-safe.
QList<TitleEntry> titleList(const QStringList& folders, const QString& defaultTitle);

QString imageIniPath(const QString& folder);

// The picture the readers show for a folder. For a stored Filename that lies inside the image folder:
// that file. Otherwise (the original of a copied catalogue, a Windows path, a moved catalogue) the file
// of the same name inside the image folder when that exists; else the stored file when that exists; else
// the stored value unchanged. Names match without regard to case when the exact name is missing.
QString resolvePicturePath(const QString& folder, const QString& storedFilename);

// Filename as read with bufferSize, the picture it resolves to, and whether that is a file. A stored
// value longer than the buffer that names no file once cut is resolved whole.
struct PictureResolution
{
    QString stored;
    QString path;
    bool found = false;
};
PictureResolution resolvePicture(const QString& folder, int bufferSize = FilenameBufferSize,
                                 FileOps& ops = FileOps::current());
// The same from values already read from IMAGE.INI: Filename as read with the buffer, and whole.
PictureResolution resolvePicture(const QString& folder, const QString& stored, const QString& whole);
QString picturePathOf(const QString& folder, int bufferSize = FilenameBufferSize, FileOps& ops = FileOps::current());
QString picturePathOf(const QString& folder, const QString& stored, const QString& whole);

// Image folder name for a registration time: "yyyyMMddhhmmss" in local time.
QString imageFolderName(const QDateTime& localTime);

enum class CreateError {
    None,
    FolderExists,
    MakeFolder,
    WriteIni,
    CopyPicture,
    Unencodable,
    InvalidInput, // a line break in the title, or a copy name that is no plain file name of its own
};

struct CreateResult
{
    CreateError error = CreateError::None;
    QString folder; // the new image folder on success
};

// Registers a picture: a new folder named after `now` (the next free second when the name is taken),
// IMAGE.INI with Path, Filename and Title in this order, and a byte-for-byte copy of the picture under
// copyName. All or nothing: on any failure what this call made is removed again. Refuses a copyName that
// is not a plain file name or that would replace IMAGE.INI or an area file, and a title with a line break.
// The copy streams; progress (optional) is called between its chunks, so a window can keep itself painted.
CreateResult createImageFolder(const QString& programFolder, const QString& picturePath, const QString& copyName,
                               const QString& title, const QDateTime& now, const CopyProgress& progress = {});

// Deletes an image folder: the regular files directly inside it, then the folder. Refuses anything that
// is not a direct subfolder of the program folder, a symbolic link, and a manual folder.
// A read-only file (owner-write bit off) is not deleted, so its folder stays.
// Returns true when the folder is gone.
bool deleteImageFolder(const QString& programFolder, const QString& folder);

} // namespace kovra
