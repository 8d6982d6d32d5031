#include "PictureSource.h"
#include "BackgroundTask.h"
#include "FileOps.h"
#include "HeifPicture.h"
#include "JpegDecode.h"
#include "JpegEighth.h"
#include "JpegLayout.h"
#include "NativePath.h"

#include <QFile>
#include <QImageReader>
#include <QPromise>
#include <cmath>
#include <sys/stat.h>
#include <vector>

namespace kovra {
namespace {

// Qt's default limit (128 MB) refuses a 36-megapixel photo; the budget lets a decode of up to 235 megapixels
// at 4 bytes a pixel through. Beyond that a full-size decode gives a null image, a reduced one still works.
constexpr int AllocationLimitMb = int(PictureSource::MemoryBudget >> 20);

// libjpeg's memory manager takes its limit from JPEGMEM (thousands of bytes) at every decode; beyond it the
// whole-picture coefficient buffer fails instead of growing, should a file ever get past the header check
// below. Set before main, while no other thread can read the environment.
[[maybe_unused]] const bool jpegMemoryLimited = [] {
    return qputenv("JPEGMEM", QByteArray::number(PictureSource::MemoryBudget / 1000));
}();
constexpr int FastQuality = 40;

// What identifies the file's content for the cache: it changes when the file is replaced or written.
struct Stamp
{
    qint64 size = -1;
    qint64 mtimeNs = 0;
    quint64 inode = 0;
    quint64 device = 0;
    bool operator==(const Stamp&) const = default;
};

Stamp stampOf(const struct stat& st)
{
    return {qint64(st.st_size), qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, quint64(st.st_ino),
            quint64(st.st_dev)};
}

int orientationOf(QImageIOHandler::Transformations t)
{
    switch (int(t)) {
    case QImageIOHandler::TransformationMirror:
        return 2;
    case QImageIOHandler::TransformationRotate180:
        return 3;
    case QImageIOHandler::TransformationFlip:
        return 4;
    case QImageIOHandler::TransformationFlipAndRotate90:
        return 5;
    case QImageIOHandler::TransformationRotate90:
        return 6;
    case QImageIOHandler::TransformationMirrorAndRotate90:
        return 7;
    case QImageIOHandler::TransformationRotate270:
        return 8;
    default:
        return 1;
    }
}

bool swapsAxes(int orientation)
{
    return orientation >= 5;
}

// Above this size a quarter turn moves the pixels within the decoded buffer instead of into a second one,
// so that a 100-megapixel photo shown at 100 % stays within its memory bound whatever its orientation.
constexpr qsizetype InPlaceTurnBytes = qsizetype(128) << 20;

// A quarter turn of a 32-bit image within its own buffer: every pixel moves once along the cycles of the
// permutation (a bit per pixel marks those already placed). Lines of 32-bit images hold no padding, so the
// buffer of a W x H image is exactly that of the H x W result.
QImage quarterTurnInPlace(QImage image, bool clockwise)
{
    const qsizetype w = image.width();
    const qsizetype h = image.height();
    const qsizetype n = w * h;
    auto* px = reinterpret_cast<quint32*>(image.bits());
    // Result pixel i = (u, v) on the h-wide grid takes the source pixel at this index.
    const auto source = [&](qsizetype i) {
        const qsizetype u = i % h;
        const qsizetype v = i / h;
        return clockwise ? (h - 1 - u) * w + v : u * w + (w - 1 - v);
    };
    std::vector<bool> placed(size_t(n), false);
    for (qsizetype start = 0; start < n; ++start) {
        if (placed[size_t(start)])
            continue;
        const quint32 first = px[start];
        qsizetype at = start;
        for (;;) {
            placed[size_t(at)] = true;
            const qsizetype from = source(at);
            if (from == start) {
                px[at] = first;
                break;
            }
            px[at] = px[from];
            at = from;
        }
    }
    auto* owner = new QImage(std::move(image));
    const QImage::Format format = owner->format();
    return QImage(
        owner->bits(), int(h), int(w), int(h * 4), format, [](void* p) { delete static_cast<QImage*>(p); }, owner);
}

QImage quarterTurn(QImage image, bool clockwise)
{
    if (image.depth() == 32 && image.sizeInBytes() > InPlaceTurnBytes)
        return quarterTurnInPlace(std::move(image), clockwise);
    return image.transformed(QTransform().rotate(clockwise ? 90 : 270));
}

// Turns a decoded image of the file's grid upright. Mirrors work in place on the moved image and come first,
// so that a quarter turn is the last step (the transpositions 5 and 7 are a mirror and a clockwise turn).
QImage turnUpright(QImage image, int orientation)
{
    switch (orientation) {
    case 2:
        return std::move(image).mirrored(true, false);
    case 3:
        return std::move(image).mirrored(true, true);
    case 4:
        return std::move(image).mirrored(false, true);
    case 5:
        return quarterTurn(std::move(image).mirrored(false, true), true);
    case 6:
        return quarterTurn(std::move(image), true);
    case 7:
        return quarterTurn(std::move(image).mirrored(true, false), true);
    case 8:
        return quarterTurn(std::move(image), false);
    default:
        return image;
    }
}

// A full-size JPEG through the program's own decoder, upright. Thread-safe: it reads the descriptor with
// pread only.
JpegDecode decodeFullJpeg(int fd, int orientation, const std::atomic<bool>* stop)
{
    JpegDecode decoded = decodeJpegFile(fd, {.fileRect = {}, .stop = stop, .memoryLimit = PictureSource::MemoryBudget});
    if (decoded.status == JpegDecode::Status::Decoded)
        decoded.image = turnUpright(std::move(decoded.image), orientation);
    return decoded;
}

QFuture<void> finishedFuture()
{
    QPromise<void> promise;
    promise.start();
    promise.finish();
    return promise.future();
}

} // namespace

struct PictureSource::Private
{
    ~Private() { stopBackground(); } // before the file closes: the thread reads its descriptor

    QString path;
    std::unique_ptr<QFile> file;
    Stamp stamp;
    QByteArray format;
    QSize fileSize;
    int orientation = 1;
    bool scalableDecode = false; // the format's reader decodes at a reduced size directly (JPEG)
    qint64 decoderBytes = 0;     // what the decoder holds for the whole picture whatever the output size
    int bytesPerPixel = 4;
    int jpegComponents = 0; // from the headers; 1 and 3 are the program's own decoder's
    // HEIF, HEIC, AVIF: libheif over the same descriptor. It decodes at full size only and turns the
    // picture upright itself, so orientation stays 1 and fileSize is the upright grid.
    std::unique_ptr<HeifPicture> heif;

    // Decoded upright images: the full size, and one reduction (2, 4 or 8) of it.
    QImage full;
    bool fullFailed = false;
    QImage reduced;
    int reducedBy = 0;
    bool reducedFailed = false;

    // The full size decoding on a thread of its own: its result, written by the thread, read after the join.
    std::unique_ptr<BackgroundTask> background;
    std::shared_ptr<JpegDecode> backgroundResult;
    QFuture<void> backgroundDone;

    bool ownJpeg() const { return format == "jpeg" && (jpegComponents == 1 || jpegComponents == 3); }
    void adoptBackground();
    void stopBackground();
    qint64 decodeBytes(int reduction) const;
    qint64 smallestViewBytes() const;
    int heifThumbnailFor(int reduction) const;
    QImage decode(int reduction);
    QImage reducedFromThumbnail(int reduction) const;
    const QImage& fullImage();
};

// What a decode at `reduction` holds at its peak: the decoder's own buffers and the image it makes.
qint64 PictureSource::Private::decodeBytes(int reduction) const
{
    const qint64 w = (fileSize.width() + reduction - 1) / reduction;
    const qint64 h = (fileSize.height() + reduction - 1) / reduction;
    return decoderBytes + w * h * bytesPerPixel;
}

// What the least decode that shows the picture at all holds: the eighth, or the full size for a format
// that decodes only that; for HEIF an embedded thumbnail that covers the eighth, when it holds less.
qint64 PictureSource::Private::smallestViewBytes() const
{
    if (!heif)
        return decodeBytes(scalableDecode ? 8 : 1);
    const qint64 whole = heif->decodeBytes();
    const int thumbnail = heifThumbnailFor(8);
    return thumbnail < 0 ? whole : std::min(whole, heif->thumbnailDecodeBytes(thumbnail) + decodeBytes(8));
}

// The HEIF thumbnail that gives the reduction's whole size without enlarging; -1 when none does.
int PictureSource::Private::heifThumbnailFor(int reduction) const
{
    if (!heif || reduction <= 1)
        return -1;
    return heif->thumbnailCovering(QSize(fileSize.width() / reduction, fileSize.height() / reduction));
}

QImage PictureSource::Private::decode(int reduction)
{
    if (heif) // full size only; the reductions are made from it or from a thumbnail
        return reduction == 1 && heif->decodeBytes() <= MemoryBudget ? heif->decode() : QImage();
    if (decodeBytes(reduction) > MemoryBudget)
        return {};
    if (reduction == 1 && ownJpeg()) {
        JpegDecode whole = decodeFullJpeg(file->handle(), orientation, nullptr);
        if (whole.status != JpegDecode::Status::Unsupported)
            return whole.image;
    }
    if (reduction == 8 && format == "jpeg") {
        // A photo shown whole: its blocks' means are the picture, about 1.7 times faster than libjpeg's 1/8.
        if (!file->seek(0))
            return {};
        QImage eighth = decodeJpegEighth(file->readAll());
        if (!eighth.isNull())
            return turnUpright(std::move(eighth), orientation);
    }
    if (!file->seek(0))
        return {};
    QImageReader reader(file.get(), format);
    reader.setAutoTransform(false); // turned upright below, in one step
    reader.setAllocationLimit(AllocationLimitMb);
    if (reduction > 1) {
        // Qt picks libjpeg's denominator from (file size / scaled size) rounded down; the size rounded down
        // makes that exactly `reduction`, and equals libjpeg's own output when the sides divide evenly.
        reader.setScaledSize(QSize(fileSize.width() / reduction, fileSize.height() / reduction));
        // Below Qt's high-quality threshold the JPEG reader uses libjpeg's fast integer transform and plain
        // chroma upsampling: invisible at a reduced size, and a good part of a reduced decode's time.
        reader.setQuality(FastQuality);
    }
    QImage image;
    if (!reader.read(&image))
        return {};
    return turnUpright(std::move(image), orientation);
}

// A HEIF reduction from the smallest embedded thumbnail that covers it: libheif has no reduced decode,
// and a phone's thumbnail decodes in a fraction of the time of the picture. Scaled to the reduction's
// exact size, as every other decode gives.
QImage PictureSource::Private::reducedFromThumbnail(int reduction) const
{
    const int thumbnail = heifThumbnailFor(reduction);
    if (thumbnail < 0 || heif->thumbnailDecodeBytes(thumbnail) + decodeBytes(reduction) > MemoryBudget)
        return {};
    const QImage decoded = heif->decodeThumbnail(thumbnail);
    if (decoded.isNull())
        return {};
    return decoded.scaled(fileSize.width() / reduction, fileSize.height() / reduction, Qt::IgnoreAspectRatio,
                          Qt::SmoothTransformation);
}

// Waits for the background decode and keeps what it made; a stopped one leaves the full size to decode again.
void PictureSource::Private::adoptBackground()
{
    if (!background)
        return;
    background->join();
    background.reset();
    backgroundDone = QFuture<void>();
    if (backgroundResult->status == JpegDecode::Status::Decoded) {
        full = std::move(backgroundResult->image);
        fullFailed = full.isNull();
    } else if (backgroundResult->status != JpegDecode::Status::Stopped) {
        fullFailed = true;
    }
    backgroundResult.reset();
}

void PictureSource::Private::stopBackground()
{
    if (!background)
        return;
    background->requestStop();
    background->join();
    background.reset();
    backgroundResult.reset();
    backgroundDone = QFuture<void>();
}

const QImage& PictureSource::Private::fullImage()
{
    adoptBackground();
    if (full.isNull() && !fullFailed) {
        full = decode(1);
        fullFailed = full.isNull();
    }
    return full;
}

PictureSource::PictureSource(std::unique_ptr<Private> p) : d(std::move(p)) {}

PictureSource::~PictureSource() = default;

std::shared_ptr<const PictureSource> PictureSource::open(const QString& path)
{
    std::unique_ptr<QFile> file = openRegularFile(path);
    if (!file)
        return nullptr;
    struct stat st;
    if (::fstat(file->handle(), &st) != 0)
        return nullptr;
    auto p = std::make_unique<Private>();
    if (HeifPicture::isHeif(file->peek(HeifPicture::HeadBytes))) {
        // By content: Qt's reader has no HEIF support, and a phone's photo may come under any name.
        p->heif = HeifPicture::open(file->handle());
        if (!p->heif)
            return nullptr;
        p->fileSize = p->heif->size();
        p->format = "heif";
    } else {
        QImageReader header(file.get());
        header.setAllocationLimit(AllocationLimitMb);
        p->fileSize = header.size();
        p->format = header.format();
        p->orientation = orientationOf(header.transformation());
        p->scalableDecode = header.supportsOption(QImageIOHandler::ScaledSize);
    }
    if (p->fileSize.isEmpty() || p->format.isEmpty())
        return nullptr;
    if (p->format == "jpeg" && file->seek(0)) {
        if (const auto layout = readJpegLayout(*file); layout && layout->size == p->fileSize) {
            p->decoderBytes = layout->coefficientBytes;
            p->bytesPerPixel = layout->components == 1 ? 1 : 4;
            p->jpegComponents = layout->components;
        }
    }
    // A picture no view of which fits the budget cannot be shown at all.
    if (p->smallestViewBytes() > MemoryBudget)
        return nullptr;
    p->path = path;
    p->file = std::move(file);
    p->stamp = stampOf(st);
    return std::shared_ptr<const PictureSource>(new PictureSource(std::move(p)));
}

QString PictureSource::path() const
{
    return d->path;
}

QSize PictureSource::fileSize() const
{
    return d->fileSize;
}

int PictureSource::orientation() const
{
    return d->orientation;
}

QSize PictureSource::uprightSize() const
{
    return swapsAxes(d->orientation) ? d->fileSize.transposed() : d->fileSize;
}

QTransform PictureSource::fileToUpright() const
{
    // Pixel edges map to pixel edges: a file pixel rectangle maps onto the upright pixel rectangle.
    const qreal w = d->fileSize.width();
    const qreal h = d->fileSize.height();
    // QTransform(m11, m12, m21, m22, dx, dy): x' = m11 x + m21 y + dx, y' = m12 x + m22 y + dy.
    switch (d->orientation) {
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

int PictureSource::reductionFor(QSize upright, double scale)
{
    if (scale >= 1.0 || upright.isEmpty())
        return 1;
    const double s = std::isfinite(scale) && scale > 0.0 ? scale : 0.0;
    // Tolerance: a scale computed as box / side must not ask for one pixel more than the box.
    const int needW = std::max(1, int(std::ceil(upright.width() * s - 1e-6)));
    const int needH = std::max(1, int(std::ceil(upright.height() * s - 1e-6)));
    for (int reduction : {8, 4, 2}) {
        if (upright.width() / reduction >= needW && upright.height() / reduction >= needH)
            return reduction;
    }
    return 1;
}

QImage PictureSource::image(double scale) const
{
    const int reduction = reductionFor(uprightSize(), scale);
    if (reduction == 1)
        return d->fullImage();
    if (d->scalableDecode) {
        d->stopBackground();
        // The view no longer needs the full size, and decoding it again is what showing it at 100 % costs.
        d->full = QImage();
        d->fullFailed = false;
    }
    if (d->reducedBy == reduction)
        return d->reducedFailed ? QImage() : d->reduced;
    d->reduced = QImage(); // release the previous reduction before decoding the next
    d->reducedBy = reduction;
    if (d->scalableDecode) {
        d->reduced = d->decode(reduction);
    } else {
        // A full decode already made is the quickest source; without one, a HEIF thumbnail may do.
        if (d->full.isNull())
            d->reduced = d->reducedFromThumbnail(reduction);
        if (d->reduced.isNull()) {
            // The format decodes at full size only: decode once, keep it, and reduce from it.
            const QImage& whole = d->fullImage();
            if (!whole.isNull())
                d->reduced = whole.scaled(whole.width() / reduction, whole.height() / reduction, Qt::IgnoreAspectRatio,
                                          Qt::SmoothTransformation);
        }
    }
    d->reducedFailed = d->reduced.isNull();
    return d->reduced;
}

bool PictureSource::decodesRegions() const
{
    return d->ownJpeg() && d->decoderBytes == 0 && d->decodeBytes(1) <= MemoryBudget;
}

QImage PictureSource::region(const QRect& upright) const
{
    const QRect part = upright & QRect(QPoint(), uprightSize());
    if (!decodesRegions() || part.isEmpty())
        return {};
    // Both decodes count: the part stays shown while the whole is decoded behind it.
    if (d->decodeBytes(1) + qint64(part.width()) * part.height() * d->bytesPerPixel > MemoryBudget)
        return {};
    const QRect fileRect = fileToUpright().inverted().mapRect(QRectF(part)).toAlignedRect();
    JpegDecode decoded =
        decodeJpegFile(d->file->handle(), {.fileRect = fileRect, .stop = nullptr, .memoryLimit = MemoryBudget});
    if (decoded.status != JpegDecode::Status::Decoded)
        return {};
    QImage image = turnUpright(std::move(decoded.image), d->orientation);
    return image.size() == part.size() ? image : QImage();
}

QFuture<void> PictureSource::decodeFullInBackground() const
{
    if (d->background)
        return d->backgroundDone;
    if (!d->full.isNull() || d->fullFailed || !decodesRegions())
        return finishedFuture();
    auto result = std::make_shared<JpegDecode>();
    auto promise = std::make_shared<QPromise<void>>();
    promise->start();
    d->backgroundDone = promise->future();
    d->backgroundResult = result;
    const int fd = d->file->handle();
    const int orientation = d->orientation;
    d->background = std::make_unique<BackgroundTask>([fd, orientation, result, promise](const std::atomic<bool>& stop) {
        try {
            *result = decodeFullJpeg(fd, orientation, &stop);
        } catch (...) {
            *result = {};
        }
        promise->finish();
    });
    return d->backgroundDone;
}

void PictureSource::stopFullDecode() const
{
    d->stopBackground();
}

bool PictureSource::hasFullImage() const
{
    if (d->background && d->backgroundDone.isFinished())
        d->adoptBackground();
    return !d->full.isNull();
}

std::shared_ptr<const PictureSource> openPictureCached(const QString& path)
{
    static std::shared_ptr<const PictureSource> last;
    struct stat st;
    if (last && last->path() == path && ::stat(nativePath(path).constData(), &st) == 0 && stampOf(st) == last->d->stamp)
        return last;
    last.reset(); // free the previous picture's images before decoding the next
    last = PictureSource::open(path);
    return last;
}

} // namespace kovra
