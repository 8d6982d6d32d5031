#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <QTransform>
#include <memory>

namespace kovra {

// One picture file as the main window shows it.
class PictureSource
{
public:
    // nullptr when the file is missing, not a regular file, or has no readable header.
    static std::shared_ptr<const PictureSource> open(const QString& path);
    QString path() const;
    QSize fileSize() const;           // the file's own pixel grid: the coordinates of the area files
    int orientation() const;          // EXIF orientation 1..8 (1 when absent)
    QSize uprightSize() const;        // fileSize() as shown upright (width and height swapped for 5..8)
    QTransform fileToUpright() const; // file pixel coordinates -> upright pixel coordinates
    // The upright picture decoded for display at `scale` shown pixels per file pixel. A null QImage when
    // the data cannot be decoded.
    QImage image(double scale) const;

private:
    QString m_path;
    QSize m_size;
    int m_orientation = 1;
    mutable QImage m_full;
    mutable bool m_decoded = false;
};

// The last opened picture, kept by path, size and modification time.
std::shared_ptr<const PictureSource> openPictureCached(const QString& path);

} // namespace kovra
