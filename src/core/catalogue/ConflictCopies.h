#pragma once

#include "ProfileFile.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace kovra {

// A file that a sync program kept beside an INI file of an image folder when two computers changed it
// while apart. Only IMAGE.INI and the area files are recognised: pictures are never merged.
struct ConflictName
{
    enum class Source {
        Syncthing, // NAME.sync-conflict-YYYYMMDD-HHMMSS-DEVICE.EXT
        Nextcloud, // NAME (conflicted copy YYYY-MM-DD HHMMSS).EXT, also ownCloud
        Dropbox,   // NAME (… conflicted copy …).EXT
    };
    Source source = Source::Syncthing;
    QString original; // "IMAGE.INI" or "Area<n>.INI", as the catalogue names it
    int area = -1;    // the area index; -1 for IMAGE.INI
};

// The file a name is a conflict copy of; nullopt for any other name. NAME and EXT match without regard to
// case, as existingPath finds the catalogue's names.
std::optional<ConflictName> conflictCopyOf(QStringView fileName);

// The conflict copies directly inside an image folder (regular files, no links), by name, ascending.
QStringList conflictCopies(const QString& folder);

// What merging an area file copy into the file gives; pure, on parsed files.
struct AreaMerge
{
    QByteArray bytes;             // the merged file
    QList<QByteArray> itemsAdded; // the copy's rows the file lacked, in the copy's order
    bool rectTaken = false;       // the file's area was not in use and the copy's was
    bool tooManyItems = false;    // the united rows would pass what Sum counts: the items stay as they are
    bool changed = false;         // bytes differ from the file's
};
// The file's rows first, then each row of the copy beyond the number of times the file holds it; Sum
// follows. Visible and the rectangle stay the file's unless the file's area is not in use and the copy's
// is (with four values the marker reading converts). Edits splice as AreaFiles writes, so every other
// byte of the file stays as it was.
AreaMerge mergeAreaFile(const ProfileFile& file, const ProfileFile& copy);

// One conflict copy, merged or looked at.
struct ConflictMerge
{
    enum class Problem {
        None,
        CopyTooLarge,   // more than MaxProfileFileSize: not read, left alone
        CopyUnreadable, // cannot be read, or is no INI file of its kind (UTF-16, no section of its own)
        FileUnreadable, // the file it belongs to cannot be read, so nothing is merged into it
        WriteFailed,    // the merged file did not land (lock, read-only, disk); the copy is kept
        TooManyItems,   // the united rows would pass what Sum can count: nothing merged, the copy is kept
        RemoveFailed,   // merged, but the copy could not be removed
    };
    QString folder;   // the image folder, full path
    QString title;    // the image's title as the title lists read it
    QString copyName; // the copy's file name
    QString fileName; // the file's name as on disk
    int area = -1;    // -1 for IMAGE.INI
    ConflictName::Source source = ConflictName::Source::Syncthing;
    Problem problem = Problem::None;
    QList<QByteArray> itemsAdded;
    bool rectTaken = false;
    bool copyBecameFile = false;      // there was no file: the copy's content is the file now
    std::optional<QString> copyTitle; // IMAGE.INI: the copy's Title when it differs from the file's
    bool fileChanged = false;         // the file is (or would be) written
    bool copyRemoved = false;

    // Something of the copy is (or would be) in the file, or the user should know about it.
    bool takesOver() const { return !itemsAdded.isEmpty() || rectTaken || copyBecameFile || copyTitle.has_value(); }
};

enum class ConflictMode { Preview, Merge };

// Every conflict copy of an image folder, in name order, one report each. Preview changes nothing.
// Merge holds the folder's WriteLock, writes each merged file through FileOps (temporary, rename, folder
// sync) and removes a copy only after its file landed and the folder was synced, then syncs the removal.
// Copies of one file are merged in turn, each into the result of the one before.
QList<ConflictMerge> mergeConflictCopies(const QString& folder, ConflictMode mode);

} // namespace kovra
