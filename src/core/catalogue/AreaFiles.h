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

// The stored items of one area, each value whole and byte for byte as stored (Sum read with the item
// window's buffer; a missing key gives an empty value; a Sum that is no number gives no items).
QList<QByteArray> readItemBytes(const QString& folder, int areaIndex);

// Writes Sum, removes section Items and writes Item0... with each value's bytes exactly as given, in one
// atomic replacement. Refuses (InvalidInput, nothing written) a value holding CR or LF.
WriteStatus saveItemBytes(const QString& folder, int areaIndex, const QList<QByteArray>& items);

// readItemBytes as text, for callers that need no byte fidelity.
QStringList readItems(const QString& folder, int areaIndex);

// saveItemBytes of the items in the code page. Refuses (without writing) items that the code page cannot
// hold (Unencodable) or that hold a line break or NUL (InvalidInput); the first refused item decides.
WriteStatus saveItems(const QString& folder, int areaIndex, const QStringList& items);

} // namespace kovra
