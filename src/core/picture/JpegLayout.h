#pragma once

#include <QSize>
#include <optional>

class QIODevice;

namespace kovra {

// A JPEG's frame as libjpeg will decode it, read from the headers up to the first scan with libjpeg's own
// marker walk (bytes between markers skipped, fill bytes, one frame only), so that what a decode will hold
// is known before libjpeg allocates it.
struct JpegLayout
{
    QSize size;
    int components = 0;
    // A progressive file, or one whose first scan lacks a component, makes libjpeg keep the coefficients of
    // every block of the whole picture (64 of 2 bytes a block, each component's blocks padded to its MCUs)
    // whatever the output size; 0 for a file decoded in one sequential scan.
    qint64 coefficientBytes = 0;
};

// nullopt when libjpeg would stop before the first scan: not a JPEG, a damaged or cut header, a frame it
// does not decode (lossless, hierarchical, not 8-bit). Reads from the device's current position.
std::optional<JpegLayout> readJpegLayout(QIODevice& device);

} // namespace kovra
