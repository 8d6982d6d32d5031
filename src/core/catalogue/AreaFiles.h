#pragma once

#include "ProfileFile.h"

#include <QByteArray>
#include <QList>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

namespace kovra {

// The sections and keys of an area file, for every reader and writer of them.
inline const QString AreaSection = QStringLiteral("Area");
inline const QString ItemCountSection = QStringLiteral("ItemCount");
inline const QString ItemsSection = QStringLiteral("Items");
inline const std::array<QString, 4> GeometryKeys = {QStringLiteral("Left"), QStringLiteral("Top"),
                                                    QStringLiteral("Width"), QStringLiteral("Height")};

inline constexpr int AreaCount = 30;
inline constexpr int GeometryBufferSize = 16;   // Visible, Left, Top, Width, Height: at most 15 bytes
inline constexpr int ItemSumBufferSize = 10;    // Sum in the item window
inline constexpr int SearchSumBufferSize = 126; // Sum in the search
inline constexpr int ItemBufferSize = 256;      // an item as the search reads it: at most 255 bytes

// "<folder>/Area<n>.INI", n in decimal without padding.
QString areaFilePath(const QString& folder, int areaIndex);

// Which item areas of the shown image are in use.
struct AreaTable
{
    std::array<bool, AreaCount> shown{};

    int freeCount() const;
    int firstFree() const; // -1 when all are in use
};

// One area as the main window's reader leaves it.
struct LoadedArea
{
    enum class State {
        NotInUse, // Visible is not exactly "True": hide the marker, clear the flag
        InUse,    // all four values converted: place and show the marker, set the flag
        Failed,   // a value could not be converted: apply the values before it, keep the flag, stay hidden
        Unread,   // after a failure: keep the flag, stay hidden
    };
    State state = State::Unread;
    // Left, Top, Width, Height in this order; on Failed only those before the failing one are set.
    std::array<std::optional<qint16>, 4> geometry;
};

// Reads Visible and the rectangles of the 30 area files, stopping at the first value that cannot
// be converted, as the main window's marker reading does.
std::array<LoadedArea, AreaCount> loadImageAreas(const QString& folder);

// One area as that reader reads it, without stopping: NotInUse, InUse or Failed.
LoadedArea readImageArea(const QString& folder, int areaIndex);
// Whether two readings of an area mean the same: the state, and the numbers read unless it is not in use.
bool sameReading(const LoadedArea& a, const LoadedArea& b);

// Left, Top, Width, Height of one area, each nullopt when it cannot be converted; Visible is not read.
std::array<std::optional<qint16>, 4> readAreaGeometry(const QString& folder, int areaIndex);

// One marker as the arrangement window saves it.
struct AreaMarker
{
    bool visible = false;
    QRectF rect; // single-precision values of the display
};

// Writes section Area (Visible, Left, Top, Width, Height) of the 30 files, all or nothing: every new file
// is written aside first, and the old files are replaced only when all of them could be. Areas whose
// leaveAlone entry is true are left exactly as they are on disk (neither read for writing nor replaced).
WriteStatus saveArrangement(const QString& folder, const std::array<AreaMarker, AreaCount>& markers,
                            const std::array<bool, AreaCount>& leaveAlone = {});

// One area of an arrangement save that merges with what another writer saved meanwhile.
struct ArrangementArea
{
    AreaMarker marker;
    bool leaveAlone = false;  // unread: neither read for writing nor replaced
    bool changedHere = false; // opened, moved, resized or deleted since read or last saved
    LoadedArea read;          // the file as it was read or saved then
};
struct ArrangementMerge
{
    WriteStatus status = WriteStatus::Failed;
    // After a save: each area as its file reads now (a leaveAlone area keeps its reading), and which were
    // written; the rest kept another writer's change.
    std::array<LoadedArea, AreaCount> disk;
    std::array<bool, AreaCount> written{};
    QList<int> changedElsewhere; // changed here and on disk, differently: written as here
};
// Under the folder's write lock, reads each file again and writes an area only when it changed here or
// nobody changed its file since it was read; each written area as saveArrangement writes it, all staged
// before the first replacement.
ArrangementMerge mergeArrangement(const QString& folder, const std::array<ArrangementArea, AreaCount>& areas);

// The stored items of one area, each value whole and byte for byte as stored (Sum read with the item
// window's buffer; a missing key gives an empty value; a Sum that is no number gives no items).
QList<QByteArray> readItemBytes(const QString& folder, int areaIndex);
// The same rows of an area file already loaded.
QList<QByteArray> readItemBytes(const ProfileFile& file);

// Writes Sum, removes section Items and writes Item0... with each value's bytes exactly as given, in one
// atomic replacement. Refuses (InvalidInput, nothing written) a value holding CR or LF.
WriteStatus saveItemBytes(const QString& folder, int areaIndex, const QList<QByteArray>& items);

// Three-way merge of an area's rows: theirs (on disk now) minus the rows removed here (in base, not in
// mine; one occurrence each, the same one among equal rows where it still exists), then the rows added
// here (in mine, not in base) at the end. Rows count by occurrence.
QList<QByteArray> mergeItemRows(const QList<QByteArray>& base, const QList<QByteArray>& mine,
                                const QList<QByteArray>& theirs);
struct ItemMerge
{
    WriteStatus status = WriteStatus::Failed;
    QList<QByteArray> rows; // as stored, when written
};
// saveItemBytes of mergeItemRows(base, mine, the rows on disk), read under the folder's write lock.
ItemMerge mergeItemBytes(const QString& folder, int areaIndex, const QList<QByteArray>& base,
                         const QList<QByteArray>& mine);

// readItemBytes as text, for callers that need no byte fidelity.
QStringList readItems(const QString& folder, int areaIndex);

// saveItemBytes of the items in the code page. Refuses (without writing) items that the code page cannot
// hold (Unencodable) or that hold a line break or NUL (InvalidInput); the first refused item decides.
WriteStatus saveItems(const QString& folder, int areaIndex, const QStringList& items);

} // namespace kovra
