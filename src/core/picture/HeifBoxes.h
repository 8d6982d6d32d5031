#pragma once

#include <QSize>
#include <QtGlobal>
#include <functional>
#include <optional>

namespace kovra::heifboxes {

// Reads `size` bytes at `offset` of the file into `out`; false when they are not all there.
using ReadAt = std::function<bool(qint64 offset, qint64 size, char* out)>;

// What a HEIF file's item declares about its own pixels, read from the boxes without libheif: a derived
// image ('grid' of tiles, 'iovl' overlay) names its output size in its item data, and libheif allocates
// that size whatever the item's ispe says. A file whose derived image is larger than its ispe would make
// the decode hold far more than the header promised.
struct ItemCanvas
{
    bool derived = false;      // a grid or overlay item
    std::optional<QSize> size; // its declared output size; none when its data cannot be read
};

ItemCanvas derivedCanvas(const ReadAt& read, qint64 fileSize, quint32 itemId);

} // namespace kovra::heifboxes
