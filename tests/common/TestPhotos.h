#pragma once

// Photos made at test time: a JPEG of a given picture, optionally with an EXIF orientation tag written
// as a minimal APP1 segment right after the start-of-image marker; HEIC and AVIF photos through libheif's
// encoders (TestPhotos.cpp, in kovra_testfixtures).

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSize>

namespace photos {

struct HeifOptions
{
    bool av1 = false;        // AVIF through aom instead of HEIC through x265
    int orientation = 1;     // how the stored picture is turned to be shown, numbered as EXIF does (irot, imir)
    int exifOrientation = 0; // when set: an Exif block holding this orientation tag
    int bitDepth = 8;        // 8, or 10 (HEIC only: aom 3.6 aborts on 10-bit input)
    bool fullChroma = false; // 4:4:4 instead of 4:2:0
    QImage thumbnail{};      // when set: an embedded thumbnail of it, fitted into thumbnailSide pixels
    int thumbnailSide = 0;   // (less than the thumbnail picture's longer side, or libheif stores none)
    QImage before{};         // when set: another top-level image stored ahead of the primary one
    int quality = 90;
    bool fast = true; // the encoders' fastest settings, else their defaults (a photo's coding tools)
};

// The image encoded as a HEIF file (alpha kept when the image has it); empty when libheif cannot encode it.
QByteArray heifBytes(const QImage& image, const HeifOptions& options = {});
bool writeHeif(const QString& path, const QImage& image, const HeifOptions& options = {});

// The image as a grid of coded tiles of tileSize, as a phone stores a photo: each tile encoded on its own
// (edge tiles padded), the grid the primary item, cropped to the image's size; opaque. Options: av1,
// orientation 1, 3, 6 or 8 (an irot box on the grid), bitDepth, fullChroma, quality, fast. Empty when it
// cannot.
QByteArray heifGridBytes(const QImage& image, QSize tileSize, const HeifOptions& options = {});

// The HEIF bytes with every image spatial extent (ispe) box of size `from` declaring `to` instead: a small
// file that claims a large picture.
QByteArray withHeifDeclaredSize(QByteArray heif, QSize from, QSize to);

inline QByteArray exifOrientationSegment(int orientation)
{
    // "Exif\0\0", a big-endian TIFF header, one IFD with the single tag 0x0112 (SHORT), no next IFD.
    QByteArray tiff("MM\x00\x2a\x00\x00\x00\x08", 8);
    tiff += QByteArray("\x00\x01", 2);                                     // one entry
    tiff += QByteArray("\x01\x12\x00\x03\x00\x00\x00\x01", 8);             // tag, SHORT, count 1
    tiff += char(0) + QByteArray(1, char(orientation)) + QByteArray(2, 0); // value, padded
    tiff += QByteArray(4, 0);                                              // no next IFD
    const QByteArray payload = QByteArray("Exif\x00\x00", 6) + tiff;
    const int length = int(payload.size()) + 2;
    return QByteArray("\xff\xe1", 2) + char(length >> 8) + char(length & 0xff) + payload;
}

// The image as Qt's writer encodes it; empty when it cannot.
inline QByteArray jpegBytes(const QImage& image, int quality = 85)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    return image.save(&buffer, "JPEG", quality) ? bytes : QByteArray();
}

// Writes image as a JPEG at path; orientation 0 writes no EXIF segment.
inline bool writeJpeg(const QString& path, const QImage& image, int orientation = 0, int quality = 85)
{
    QByteArray bytes = jpegBytes(image, quality);
    if (bytes.isEmpty())
        return false;
    if (orientation > 0)
        bytes.insert(2, exifOrientationSegment(orientation));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A photo of size with a few coloured blocks, so that positions on it can be recognised.
inline QImage shelf(QSize size, QColor background = QColor(90, 70, 50))
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(background);
    QPainter p(&image);
    p.fillRect(QRect(QPoint(size.width() * 3 / 4, size.height() * 3 / 4), size / 8), Qt::yellow);
    return image;
}

} // namespace photos
