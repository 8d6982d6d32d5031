#pragma once

#include "Matching.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace kovra {

// One result row: an image folder with at least one hit.
struct SearchRow
{
    QString title;           // Title of IMAGE.INI, at most 125 bytes, "Non Titled" when missing
    QString picturePath;     // Filename, at most 125 bytes, then resolvePicturePath; empty when missing
    QString folder;          // full path of the image folder
    int folderPosition = -1; // its position in the folder list that was scanned
    QList<int> hitAreas;     // area indexes with hits, ascending

    // The hit area list as text: a comma before each index (",0,7,12").
    QString hitAreaText() const;

    bool operator==(const SearchRow&) const = default;
};

// Called after each folder: position (0-based) of the folder just scanned, and the number of folders.
using SearchProgress = std::function<void(int position, int count)>;

// Scans every folder of the list (full paths in folder-list order, as the folder list gives them) for
// items matching the search text and returns the rows in that order. Every area file is read from disk
// once per scan, nothing is cached between scans. The call is synchronous; inside it up to `threads`
// threads read folders (0: as many as pay, at most two), but progress is reported on the calling
// thread only, once per folder, in ascending order. An empty search text finds nothing.
QList<SearchRow> searchFolders(const QStringList& folders, const Matcher& matcher, const SearchProgress& progress = {},
                               int threads = 0);

// The scan of one folder; nullopt when it has no hit.
std::optional<SearchRow> searchFolder(const QString& folder, int position, const Matcher& matcher);

} // namespace kovra
