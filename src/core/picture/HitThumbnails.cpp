#include "HitThumbnails.h"
#include "AreaFiles.h"
#include "NativePath.h"
#include "PictureSource.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QImageReader>
#include <QPainter>
#include <QSaveFile>
#include <QStandardPaths>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <vector>

namespace kovra {

std::atomic<int> HitThumbnails::s_made{0};

namespace {

// Bumped when the look of a thumbnail changes, so old cache files are no longer found.
constexpr int CacheVersion = 1;
constexpr double MarginShare = 0.15;
constexpr int MinMargin = 8;
constexpr int FrameWidth = 2; // as the main window's hit frames

// The rectangles of the hit areas, file pixels; an area without one (zero or negative size) is left out.
QList<QRect> hitRectangles(const HitThumbnails::Request& request)
{
    QList<QRect> rects;
    for (const int area : request.hitAreas) {
        if (area < 0 || area >= AreaCount)
            continue;
        const auto g = readAreaGeometry(request.folder, area);
        const QRect r(g[0].value_or(0), g[1].value_or(0), g[2].value_or(0), g[3].value_or(0));
        if (r.width() > 0 && r.height() > 0)
            rects.append(r);
    }
    return rects;
}

// The part of the photo shown: the hits' union with a margin, clipped to the photo; the whole photo without
// a hit inside it.
QRect cropOf(const QList<QRect>& rects, QSize fileSize)
{
    const QRect photo(QPoint(0, 0), fileSize);
    if (rects.isEmpty())
        return photo;
    QRect u;
    for (const QRect& r : rects)
        u |= r;
    const int mx = std::max(MinMargin, int(std::lround(u.width() * MarginShare)));
    const int my = std::max(MinMargin, int(std::lround(u.height() * MarginShare)));
    const QRect crop = u.adjusted(-mx, -my, mx, my) & photo;
    return crop.isEmpty() ? photo : crop;
}

bool isCacheName(const QString& name)
{
    // 40 hex digits, ".png", and QSaveFile's suffix on a temporary left by an interrupted write.
    if (name.size() < 44 || name.mid(40, 4) != u".png")
        return false;
    return std::all_of(name.begin(), name.begin() + 40, [](QChar c) { return std::isxdigit(c.unicode()) != 0; });
}

} // namespace

QString HitThumbnails::defaultDirectory()
{
    // Without a cache location (no home folder) there is no disk cache, rather than one in the working folder.
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return base.isEmpty() ? QString() : base + QStringLiteral("/kovra/thumbnails");
}

HitThumbnails::HitThumbnails(QString cacheDirectory, qint64 limitBytes, QObject* parent)
    : QObject(parent), m_directory(std::move(cacheDirectory)), m_limit(limitBytes)
{
    m_pool.setMaxThreadCount(2);
}

HitThumbnails::~HitThumbnails()
{
    {
        const QMutexLocker lock(&m_queueMutex);
        m_queue.clear();
    }
    m_pool.waitForDone();
}

QString HitThumbnails::keyOf(const Request& request, QSize devicePixels)
{
    // The folder too: its area files give the rectangles, and two folders may name the same picture.
    QString key = request.folder + u'\n' + request.picturePath + u'\n';
    for (const int area : request.hitAreas)
        key += u',' + QString::number(area);
    return key + u'\n' + QString::number(devicePixels.width()) + u'x' + QString::number(devicePixels.height());
}

int HitThumbnails::madeCount()
{
    return s_made.load();
}

HitThumbnails::Thumbnail HitThumbnails::thumbnail(const Request& request, QSize devicePixels)
{
    const QString key = keyOf(request, devicePixels);
    Entry* known = m_memory.object(key);
    if (known && known->generation == m_generation)
        return known->thumbnail;
    if (known)
        known->generation = m_generation; // checked once per generation; shown as it was meanwhile
    if (!m_pending.contains(key) && !devicePixels.isEmpty()) {
        m_pending.insert(key);
        const QMutexLocker lock(&m_queueMutex);
        m_queue.push_back({key, request, devicePixels, m_generation});
        while (m_queue.size() > size_t(MaxQueued)) {
            m_pending.remove(m_queue.front().key);
            m_queue.pop_front();
        }
        startWorkers();
    }
    return known ? known->thumbnail : Thumbnail{};
}

void HitThumbnails::dropPending()
{
    const QMutexLocker lock(&m_queueMutex);
    for (const Job& job : m_queue)
        m_pending.remove(job.key);
    m_queue.clear();
    ++m_generation;
}

// Called with m_queueMutex held.
void HitThumbnails::startWorkers()
{
    while (m_workers < m_pool.maxThreadCount() && size_t(m_workers) < m_queue.size()) {
        ++m_workers;
        m_pool.start([this] { work(); });
    }
}

void HitThumbnails::work()
{
    for (;;) {
        Job job;
        {
            const QMutexLocker lock(&m_queueMutex);
            if (m_queue.empty()) {
                --m_workers;
                return;
            }
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        const Thumbnail made = make(job);
        QMetaObject::invokeMethod(
            this, [this, key = job.key, made, g = job.generation] { finished(key, made, g); }, Qt::QueuedConnection);
    }
}

void HitThumbnails::finished(const QString& key, const Thumbnail& made, int generation)
{
    m_pending.remove(key);
    m_memory.insert(key, new Entry{made, generation});
    emit ready(key);
}

HitThumbnails::Thumbnail HitThumbnails::make(const Job& job)
{
    const Thumbnail failed{State::Failed, {}};
    struct stat st;
    if (::stat(nativePath(job.request.picturePath).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return failed;
    const QList<QRect> rects = hitRectangles(job.request);

    // The disk cache's key: the request, the file's stamp and the rectangles read now.
    QString fileKey = QString::number(CacheVersion) + u'\n' + job.key + u'\n' + QString::number(qint64(st.st_size)) +
                      u'\n' + QString::number(qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec);
    for (const QRect& r : rects)
        fileKey += QStringLiteral("\n%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    const QString cachePath =
        m_directory + u'/' +
        QString::fromLatin1(QCryptographicHash::hash(fileKey.toUtf8(), QCryptographicHash::Sha1).toHex()) +
        QStringLiteral(".png");

    if (!m_directory.isEmpty()) {
        QImageReader reader(cachePath, "png");
        const QImage cached = reader.read();
        if (!cached.isNull() && cached.width() <= job.pixels.width() && cached.height() <= job.pixels.height()) {
            ::utimensat(AT_FDCWD, nativePath(cachePath).constData(), nullptr, 0); // the oldest go first
            return {State::Ready, cached};
        }
    }

    const auto source = PictureSource::open(job.request.picturePath);
    if (!source)
        return failed;
    const QRect crop = cropOf(rects, source->fileSize());
    const QTransform toUpright = source->fileToUpright();
    const QRectF uprightCrop = toUpright.mapRect(QRectF(crop));
    const double fit = std::min(job.pixels.width() / uprightCrop.width(), job.pixels.height() / uprightCrop.height());
    s_made.fetch_add(1);
    // A large picture is decoded by one worker at a time (formats that cannot reduce while decoding are
    // decoded whole first), so that the two together stay near one picture's memory budget.
    const double decodeScale = std::min(fit, 1.0);
    const QSize upright = source->uprightSize();
    const bool large = qint64(upright.width()) * upright.height() * 4 > PictureSource::MemoryBudget / 4;
    static QMutex largeDecode;
    std::optional<QMutexLocker<QMutex>> oneAtATime;
    if (large)
        oneAtATime.emplace(&largeDecode);
    const QImage decoded = source->image(decodeScale);
    oneAtATime.reset();
    if (decoded.isNull())
        return failed;
    const double fx = double(decoded.width()) / source->uprightSize().width();
    const double fy = double(decoded.height()) / source->uprightSize().height();
    // Rounded to the nearest decoded pixel on each side, so that the proportions stay the crop's.
    const QRect part =
        QRect(QPoint(int(std::lround(uprightCrop.left() * fx)), int(std::lround(uprightCrop.top() * fy))),
              QPoint(int(std::lround(uprightCrop.right() * fx)) - 1, int(std::lround(uprightCrop.bottom() * fy)) - 1)) &
        decoded.rect();
    if (part.isEmpty())
        return failed;
    QImage out = decoded.copy(part)
                     .scaled(job.pixels, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                     .convertToFormat(QImage::Format_RGB32);
    const double sx = double(out.width()) / part.width();
    const double sy = double(out.height()) / part.height();
    {
        QPainter p(&out);
        p.setPen(QPen(Qt::red, FrameWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
        p.setBrush(Qt::NoBrush);
        for (const QRect& r : rects) {
            const QRectF u = toUpright.mapRect(QRectF(r));
            const QRect frame =
                QRectF(QPointF((u.left() * fx - part.left()) * sx, (u.top() * fy - part.top()) * sy),
                       QPointF((u.right() * fx - part.left()) * sx, (u.bottom() * fy - part.top()) * sy))
                    .toRect();
            // The pen's two pixels lie inside the rectangle, as the main window draws its frames.
            p.drawRect(QRectF(frame).adjusted(1, 1, -1, -1));
        }
    }

    // A cache that cannot be written only costs the next decode.
    if (!m_directory.isEmpty() && QDir().mkpath(m_directory)) {
        QSaveFile file(cachePath);
        if (file.open(QIODevice::WriteOnly) && out.save(&file, "PNG") && file.commit())
            prune();
    }
    return {State::Ready, out};
}

void HitThumbnails::prune()
{
    const QMutexLocker lock(&m_pruneMutex);
    struct File
    {
        QString path;
        qint64 size;
        qint64 mtimeNs;
    };
    std::vector<File> files;
    qint64 total = 0;
    QDirIterator it(m_directory, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        if (!isCacheName(it.fileName()))
            continue;
        struct stat st;
        if (::lstat(nativePath(it.filePath()).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        files.push_back(
            {it.filePath(), qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec});
        total += qint64(st.st_size);
    }
    if (total <= m_limit)
        return;
    std::sort(files.begin(), files.end(), [](const File& a, const File& b) { return a.mtimeNs < b.mtimeNs; });
    for (const File& f : files) {
        if (total < m_limit / 4 * 3)
            break;
        if (QFile::remove(f.path))
            total -= f.size;
    }
}

} // namespace kovra
