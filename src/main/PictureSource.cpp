#include "PictureSource.h"

#include <QDateTime>
#include <QFileInfo>
#include <QImageReader>

namespace kovra {

std::shared_ptr<const PictureSource> PictureSource::open(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile())
        return nullptr;
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (!size.isValid())
        return nullptr;
    auto p = std::make_shared<PictureSource>();
    p->m_path = path;
    p->m_size = size;
    switch (reader.transformation()) {
    case QImageIOHandler::TransformationMirror:
        p->m_orientation = 2;
        break;
    case QImageIOHandler::TransformationRotate180:
        p->m_orientation = 3;
        break;
    case QImageIOHandler::TransformationFlip:
        p->m_orientation = 4;
        break;
    case QImageIOHandler::TransformationFlipAndRotate90:
        p->m_orientation = 5;
        break;
    case QImageIOHandler::TransformationRotate90:
        p->m_orientation = 6;
        break;
    case QImageIOHandler::TransformationMirrorAndRotate90:
        p->m_orientation = 7;
        break;
    case QImageIOHandler::TransformationRotate270:
        p->m_orientation = 8;
        break;
    default:
        p->m_orientation = 1;
        break;
    }
    return p;
}

QString PictureSource::path() const
{
    return m_path;
}

QSize PictureSource::fileSize() const
{
    return m_size;
}

int PictureSource::orientation() const
{
    return m_orientation;
}

QSize PictureSource::uprightSize() const
{
    return m_orientation >= 5 ? m_size.transposed() : m_size;
}

QTransform PictureSource::fileToUpright() const
{
    const double w = m_size.width();
    const double h = m_size.height();
    switch (m_orientation) {
    case 2:
        return QTransform(-1, 0, 0, 1, w, 0);
    case 3:
        return QTransform(-1, 0, 0, -1, w, h);
    case 4:
        return QTransform(1, 0, 0, -1, 0, h);
    case 5:
        return QTransform(0, 1, 1, 0, 0, 0);
    case 6:
        return QTransform(0, 1, -1, 0, h, 0);
    case 7:
        return QTransform(0, -1, -1, 0, h, w);
    case 8:
        return QTransform(0, -1, 1, 0, 0, w);
    default:
        return QTransform();
    }
}

QImage PictureSource::image(double) const
{
    if (!m_decoded) {
        m_decoded = true;
        QImageReader reader(m_path);
        reader.setAutoTransform(true);
        reader.setAllocationLimit(2048);
        m_full = reader.read();
    }
    return m_full;
}

std::shared_ptr<const PictureSource> openPictureCached(const QString& path)
{
    static std::shared_ptr<const PictureSource> last;
    static QDateTime lastTime;
    static qint64 lastSize = -1;
    const QFileInfo info(path);
    if (last && last->path() == path && info.lastModified() == lastTime && info.size() == lastSize)
        return last;
    last = PictureSource::open(path);
    lastTime = info.lastModified();
    lastSize = info.size();
    return last;
}

} // namespace kovra
