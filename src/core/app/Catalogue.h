#pragma once

#include "AreaFiles.h"
#include "ConflictCopies.h"
#include "FileOps.h"
#include "ImageFolders.h"
#include "SearchScan.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

class QTemporaryDir;
class QTimer;

namespace kovra {

class SearchIndex;
class ShownImage;

// What a file dropped for registration is.
enum class DropCheck {
    Accepted,
    Ignored,                 // nothing to take (no path, a folder): no message
    RefusedByExtension,      // GIF by name
    RefusedByContent,        // GIF by its first three bytes
    UnstorableName,          // the name holds what an INI value cannot keep, or would read back changed
    UnstorableProgramFolder, // the program folder's path holds what an INI value cannot keep
    BlankAroundName,         // a blank at either end of the name: the reader would cut it off
    Undecodable,             // no picture the main window could show: no readable header, or past the budget
};

// A picture pasted from the clipboard, written as a PNG file so that it is checked, previewed and copied
// as a dropped file is.
struct PastedPicture
{
    enum class Status { Ok, NoPicture, WriteFailed }; // NoPicture: a null image, or one PNG cannot hold
    Status status = Status::Ok;
    QString path; // Ok: the PNG file, named for the time of the paste
};

// What a typed image title is, against the titles listed.
enum class TitleCheck {
    Ok,
    Empty,
    Taken,           // another image has that title
    Unstorable,      // a character an INI value cannot keep
    ChangedByReader, // blanks or quotes around it, which the reader takes off
};

// A typed item, checked against the rows the window already holds.
struct ItemCheck
{
    enum class Status { Ok, LineBreak, Unencodable, TooMany };
    Status status = Status::Ok;
    QString character; // Unencodable: the first character the code page cannot hold
    QByteArray bytes;  // Ok: the row as the area file stores it
};

// The catalogue in a program folder, and every operation the user performs on it. The windows, kovra-cli
// and the tests use this one object; it returns typed results and shows nothing, the windows turn them
// into their fixed messages. It holds the folder list and the image list (titles of the folder list
// without the manual folder, in the same order), the image the main window shows, and the search index.
class Catalogue : public QObject
{
    Q_OBJECT

public:
    // A list longer than this cannot be saved: Sum reads back as a 16-bit number.
    static constexpr int MaxItems = 32767;

    // ops: what the index reads through (the real file system unless a test gives another).
    explicit Catalogue(const QString& programFolder, FileOps& ops = FileOps::current(), QObject* parent = nullptr);
    ~Catalogue() override;

    QString programFolder() const { return m_programFolder; }
    QString settingsFilePath() const;
    FileOps& fileOps() const { return m_ops; }
    ShownImage& shownImage() { return *m_shown; }
    const ShownImage& shownImage() const { return *m_shown; }
    SearchIndex& searchIndex() { return *m_index; }

    // --- The folder list and the image list
    QStringList folderList() const { return m_folders; } // as last read
    void readFolderList();                               // from the disk
    QList<TitleEntry> imageList() const { return m_images; }
    // The folder list read again and the image list built from it (titles read with defaultTitle);
    // imageListChanged follows. Without images the shown image is cleared when clearWhenEmpty is set.
    void rebuildImageList(const QString& defaultTitle = nonTitled(), bool clearWhenEmpty = true);
    bool isListed(const QString& folder) const;
    // The registration window's list: the folder list read again, the titles with "Non Titled".
    QList<TitleEntry> registeredImages();

    // --- Following the disk while the program runs
    // From now on, folders coming, going or renamed in the program folder, titles changed in IMAGE.INI
    // and the shown image's files changed by others (a sync program, kovra-cli, another kovra) are
    // followed, through the search index's inotify instance, a burst taken as one change within a second.
    // The list keeps the shown image by its folder (imageListChanged, listFollowedDisk() true); when the
    // shown folder goes the first image is chosen as after a deletion, unless its edits are unsaved: it
    // then stays shown with a notice. False when the kernel reports nothing (no inotify).
    bool followDisk();
    bool isFollowingDisk() const { return m_live != nullptr; }
    // True while imageListChanged tells a change followed from the disk, false for a rebuild.
    bool listFollowedDisk() const { return m_followedEmit; }
    // While it answers true (the list's popup is open) changes wait.
    void setDiskFollowHold(std::function<bool()> hold) { m_hold = std::move(hold); }
    // Takes the changes noted so far now, without waiting for the burst to end (tests, tools).
    void takeDiskChanges();

    // --- Registration
    // GIF by name, then by content; then whether its name can be stored; last whether it can be shown.
    DropCheck checkDroppedFile(const QString& path) const;
    // The pasted image as a PNG file "yyyyMMddhhmmss.png" (the time of the paste) in a folder of the
    // catalogue's own outside the program folder, kept while the catalogue lives: registering it copies it
    // into the new image folder under that name. Written through FileOps.
    PastedPicture stagePastedPicture(const QImage& image, const QDateTime& now = QDateTime::currentDateTime());
    // The typed title in the code page's forms (checked, compared and stored as such) and its check.
    static QString titleOf(const QString& typed);
    static TitleCheck checkTitle(const QString& title, const QList<TitleEntry>& listed);
    // A new image folder for the picture; the image list is rebuilt on success.
    CreateResult registerImage(const QString& picture, const QString& title, const CopyProgress& progress = {});
    // The image folder deleted (true when it is gone); the image list is rebuilt either way.
    bool deleteImage(const QString& folder);

    // --- Items of an area
    static ItemCheck checkItem(const QString& typed, int rowCount);
    QList<QByteArray> readItems(const QString& folder, int area) const;
    // Replaces the stored rows with these.
    WriteStatus saveItems(const QString& folder, int area, const QList<QByteArray>& rows);
    // The rows as edited from loaded (as read when editing began), merged with the rows stored now: what
    // another writer added or removed meanwhile stays so, the rows added here come at the end. The result
    // holds the rows as stored.
    ItemMerge saveItems(const QString& folder, int area, const QList<QByteArray>& loaded,
                        const QList<QByteArray>& rows);

    // --- The arrangement of the shown image
    // Merged with what another writer saved since the areas were read (ShownImage::saveArrangement).
    struct ArrangementSave
    {
        WriteStatus status = WriteStatus::Failed;
        QList<int> changedElsewhere; // areas changed here and by another writer: saved as here
        bool operator==(WriteStatus s) const { return status == s; }
    };
    ArrangementSave saveArrangement();

    // --- Search over the folder list: through the index, which keeps what it read for the next search;
    // or one scan of the disk that keeps nothing (one-shot callers such as kovra-cli). Same rows.
    QList<SearchRow> search(const QString& text, const SearchProgress& progress = {});
    QList<SearchRow> scan(const QString& text) const;

    // --- Conflict copies that sync programs left beside IMAGE.INI and the area files
    // Every image folder of the folder list (read again, the manual folder left out) merged, one report
    // per copy, in folder-list order. The image list is not rebuilt: the caller does that when it shows it.
    QList<ConflictMerge> mergeConflictCopies(ConflictMode mode = ConflictMode::Merge);

signals:
    void imageListChanged();
    // Conflict copies that arrived while the disk was followed were merged into their files (only the
    // copies that gave something or were left alone are worth telling; the receiver decides).
    void conflictCopiesMerged(const QList<ConflictMerge>& merges);

private:
    struct Live;
    void noteDiskChange(const QString& folder, const QString& name, bool isFolder, bool everything);
    void followListed();

    QString m_programFolder;
    FileOps& m_ops;
    ShownImage* m_shown;
    std::unique_ptr<SearchIndex> m_index;
    QStringList m_folders;
    QList<TitleEntry> m_images;
    std::unique_ptr<QTemporaryDir> m_pasted; // the pasted pictures, made at the first paste
    std::unique_ptr<Live> m_live;            // made by followDisk
    std::function<bool()> m_hold;
    bool m_followedEmit = false;
    bool m_searching = false;
};

} // namespace kovra
