#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace kovra {

// The pictures offered for registration at once (one drop, one choice in the file dialog, one paste),
// taken in turn: the registration window shows the current one, and the user registers or skips it.
// Holds no widget and touches no window; building it from a folder lists that folder.
class RegistrationQueue
{
public:
    // The suffixes of the picture files a folder offers and the file dialog lists, lower case, no dot.
    static QStringList pictureSuffixes();
    // True when the name ends in one of pictureSuffixes(), in any case.
    static bool isPictureName(const QString& name);

    // What building the queue found in one folder of the paths.
    struct Folder
    {
        QString path;
        int pictures = 0; // taken into the queue
        int gifs = 0;     // left out: GIF by name, or a picture name over GIF content
    };

    RegistrationQueue() = default;
    // The files in the order given; a folder gives the regular files directly inside it whose names are
    // picture names, in name order (as the folder list: without regard to case, then by case), without
    // hidden files and without GIF files, which are counted instead. Empty paths are left out.
    static RegistrationQueue ofPaths(const QStringList& paths);
    // A picture pasted from the clipboard, written to path: no title is proposed from its made-up name.
    static RegistrationQueue ofPasted(const QString& path);

    const QList<Folder>& folders() const { return m_folders; }
    int count() const { return int(m_entries.size()); }
    bool isEmpty() const { return m_entries.isEmpty(); }
    // Several pictures: each can be skipped, and the position is shown.
    bool isBatch() const { return count() > 1; }
    bool atEnd() const { return m_current >= count(); }
    // 1 for the first; 0 when there is no current picture.
    int number() const { return atEnd() ? 0 : m_current + 1; }
    // Empty when there is no current picture.
    QString currentPath() const;
    // "2/5" for the second of five; empty unless a picture of a batch is current.
    QString positionText() const;

    // The current picture is done with: registered, or skipped (by the user, or refused at the check).
    void registered();
    void skip();
    int registeredCount() const { return m_registered; }
    // The last picture is done with and at least one was registered: the registration is complete.
    bool isComplete() const { return atEnd() && m_registered > 0; }

    // The title to put into the title box for the current picture, given what the box holds: the file's
    // name without its extension, for every picture of a batch and for a single one only while the box is
    // empty; nothing for a pasted picture or when no picture is current.
    std::optional<QString> proposedTitle(const QString& typed) const;

private:
    struct Entry
    {
        QString path;
        bool pasted = false;
    };
    QList<Entry> m_entries;
    QList<Folder> m_folders;
    int m_current = 0;
    int m_registered = 0;
};

} // namespace kovra
