#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <memory>

namespace kovra {

// A HEIF still picture (HEIC from phones, AVIF, any image brand of the format) read through libheif from a
// file that the caller keeps open. Opening reads the boxes only, never the coded pixels.
//
// The picture is the file's primary image with the file's own transformations applied (irot, imir, clap):
// libheif turns and crops it upright while decoding, so size() is the upright size and the decoded image
// is upright. An EXIF orientation inside the file is ignored: for HEIF the transformations are
// authoritative, and applying both would turn the picture twice.
//
// Decoded images are RGB32, or ARGB32_Premultiplied when the picture has alpha; 10- and 12-bit pictures
// are reduced to 8 bits.
class HeifPicture
{
public:
    // At most this many leading bytes decide isHeif().
    static constexpr int HeadBytes = 256;
    // Larger files are not read: libheif holds the coded data of the image it decodes in memory.
    static constexpr qint64 MaxFileSize = qint64(256) << 20;

    // Whether the bytes begin with an ftyp box whose major or a compatible brand is a HEIF image or
    // sequence brand (heic, heix, heim, heis, hevc, hevx, hevm, hevs, mif1, mif2, msf1, avif, avis),
    // whatever the file is called.
    static bool isHeif(QByteArrayView head);

    // Reads the header of the file open at descriptor `fd` (by position, never moving the descriptor's own
    // offset), which must stay open while the object lives. nullptr when libheif cannot read it, it is
    // larger than MaxFileSize, its primary image has no size or a side beyond the area files' 16-bit
    // coordinates, or this libheif has no decoder for its coding.
    static std::unique_ptr<HeifPicture> open(int fd);
    ~HeifPicture();
    HeifPicture(const HeifPicture&) = delete;
    HeifPicture& operator=(const HeifPicture&) = delete;

    QSize size() const;
    bool hasAlpha() const;
    int bitDepth() const; // of the luma samples as coded: 8, 10, 12

    // What decode() holds at its peak: an estimate from the header, never below what libheif 1.15 was
    // measured to hold.
    qint64 decodeBytes() const;
    // The primary image decoded, of size(); a null image when the data cannot be decoded.
    QImage decode() const;

    // The smallest embedded thumbnail of the picture's proportions that is at least `minimum` in both
    // directions; -1 when there is none.
    int thumbnailCovering(QSize minimum) const;
    QSize thumbnailSize(int thumbnail) const;
    qint64 thumbnailDecodeBytes(int thumbnail) const;
    // The thumbnail decoded upright at its own size; null when it cannot be decoded.
    QImage decodeThumbnail(int thumbnail) const;

private:
    struct Private;
    explicit HeifPicture(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};

} // namespace kovra
