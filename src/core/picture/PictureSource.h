#pragma once

#include <QFuture>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTransform>
#include <memory>

namespace kovra {

// One picture file as the main window shows it. Opened through openRegularFile (never blocks).
// The file stays open while the source lives, so every decode reads the same file the header came from.
// Decoded images are kept inside the source: one reduced size, and the full size while it is the one asked
// for (a JPEG's is dropped when a reduced one is asked for; other formats reduce from it and keep it, a
// HEIF's reduction coming from an embedded thumbnail instead when one covers it).
// Use from one thread (the user-interface thread).
class PictureSource
{
public:
    // What one decode of the shown picture may hold at once: the image and the decoder's own buffers
    // (libjpeg's, or libheif's and its codec's).
    static constexpr qint64 MemoryBudget = qint64(900) << 20;

    // nullptr when the file is missing, not a regular file, or has no readable header, and when not even
    // its smallest decode would fit MemoryBudget.
    static std::shared_ptr<const PictureSource> open(const QString& path);
    ~PictureSource();
    PictureSource(const PictureSource&) = delete;
    PictureSource& operator=(const PictureSource&) = delete;

    QString path() const;
    // The file's own pixel grid: the coordinates of the area files. For HEIF (HEIC, AVIF) the primary image
    // after the file's own rotation, mirror and crop, which libheif applies while decoding: the grid the
    // picture is shown in (the file's bytes are registered unchanged, never converted).
    QSize fileSize() const;
    int orientation() const;          // EXIF orientation 1..8 (1 when absent, and for HEIF)
    QSize uprightSize() const;        // fileSize() as shown upright (width and height swapped for 5..8)
    QTransform fileToUpright() const; // file pixel coordinates -> upright pixel coordinates
    // The upright picture decoded for display at `scale` shown pixels per file pixel: decoded at the
    // smallest size not smaller than needed (JPEG: libjpeg's 1/2, 1/4, 1/8 directly; HEIF: an embedded
    // thumbnail at least that large, else the full decode reduced), full size only when scale >= 1.
    // A null QImage when the data cannot be decoded, or the decode would hold more than MemoryBudget
    // (a progressive JPEG: libjpeg's coefficients of the whole picture, besides the image).
    // The result covers the whole upright picture: its size divided by uprightSize() is its scale
    // (uprightSize() / 2^k, rounded down, for a reduced decode).
    QImage image(double scale) const;

    // Whether the full size can be shown first in part, the whole following: a JPEG decoded in one sequential
    // scan (a progressive one decodes every scan of the whole picture for any part of it) by the program's
    // own decoder, whose full decode fits MemoryBudget.
    bool decodesRegions() const;
    // The rectangle `upright` of the upright picture (clipped to it) at full size, decoded alone: its size is
    // the clipped rectangle's. Null when !decodesRegions(), when it would not fit MemoryBudget beside the full
    // decode, or when the data cannot be decoded.
    QImage region(const QRect& upright) const;
    // Starts the full-size decode on a thread of its own, once (again after it was stopped), and gives what
    // finishes when it ends, decoded or not; image(scale >= 1) then returns it without decoding, and
    // meanwhile waits for it: there is one full decode of a source at a time. Asking for a reduced image or
    // stopFullDecode() stops it, and so does the source's end. A finished future when !decodesRegions() or
    // the full size is already there.
    QFuture<void> decodeFullInBackground() const;
    void stopFullDecode() const;
    bool hasFullImage() const; // the full size is decoded and held (after a background decode, once it ended)

    // The reduction 1, 2, 4 or 8 that image(scale) decodes at for a picture of uprightSize.
    static int reductionFor(QSize uprightSize, double scale);

private:
    friend std::shared_ptr<const PictureSource> openPictureCached(const QString& path);
    struct Private;
    explicit PictureSource(std::unique_ptr<Private> d);
    std::unique_ptr<Private> d;
};

// The last opened picture, kept by path, size and modification time: opening the same unchanged file again
// returns the same object and its decoded images without decoding again.
std::shared_ptr<const PictureSource> openPictureCached(const QString& path);

} // namespace kovra
