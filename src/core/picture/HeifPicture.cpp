#include "HeifPicture.h"

#include "HeifBoxes.h"

#include <QThread>
#include <QtEndian>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <libheif/heif.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace kovra {
namespace {

// The area files hold 16-bit signed coordinates: a side beyond them could not be marked. libheif refuses
// such a picture while it reads the boxes, before it allocates anything for it.
constexpr int MaxSide = 32767;
constexpr int MaxThumbnails = 16;

constexpr std::array<const char*, 13> HeifBrands = {"heic", "heix", "heim", "heis", "hevc", "hevx", "hevm",
                                                    "hevs", "mif1", "mif2", "msf1", "avif", "avis"};
constexpr std::array<const char*, 8> HevcBrands = {"heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs"};
constexpr std::array<const char*, 2> Av1Brands = {"avif", "avis"};

// The brands of the ftyp box at the start of head: the major brand, then the compatible ones.
std::vector<QByteArrayView> brandsOf(QByteArrayView head)
{
    if (head.size() < 16 || head.sliced(4, 4) != "ftyp")
        return {};
    quint64 size = qFromBigEndian<quint32>(head.data());
    qsizetype start = 8;
    if (size == 1) { // the size follows as 64 bits
        if (head.size() < 24)
            return {};
        size = qFromBigEndian<quint64>(head.data() + 8);
        start = 16;
    }
    // Major brand and minor version, then the compatible brands up to the end of the box.
    if (size < quint64(start) + 8)
        return {};
    const qsizetype end = qsizetype(std::min<quint64>(size, quint64(head.size())));
    std::vector<QByteArrayView> brands;
    if (start + 4 <= end)
        brands.push_back(head.sliced(start, 4));
    for (qsizetype at = start + 8; at + 4 <= end; at += 4)
        brands.push_back(head.sliced(at, 4));
    return brands;
}

template <size_t N>
bool anyOf(const std::vector<QByteArrayView>& brands, const std::array<const char*, N>& set)
{
    return std::any_of(brands.begin(), brands.end(), [&](QByteArrayView b) {
        return std::any_of(set.begin(), set.end(), [&](const char* s) { return b == s; });
    });
}

// libheif reads through these with the file's descriptor, by position: the descriptor's own offset stays
// where its owner left it. libheif serialises the reads of its tile threads.
struct FileSpan
{
    int fd = -1;
    qint64 size = 0;
    qint64 position = 0;
};

int64_t positionOf(void* span)
{
    return static_cast<FileSpan*>(span)->position;
}

int readFrom(void* data, size_t size, void* userdata)
{
    auto* span = static_cast<FileSpan*>(userdata);
    if (qint64(size) > span->size - span->position)
        return 1;
    auto* out = static_cast<char*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(span->fd, out + done, size - done, off_t(span->position + qint64(done)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return 1; // an error, or the file was cut short since it was opened
        done += size_t(n);
    }
    span->position += qint64(size);
    return 0;
}

int seekTo(int64_t position, void* userdata)
{
    auto* span = static_cast<FileSpan*>(userdata);
    if (position < 0 || position > span->size)
        return 1;
    span->position = position;
    return 0;
}

heif_reader_grow_status waitForSize(int64_t target, void* userdata)
{
    return target <= static_cast<FileSpan*>(userdata)->size ? heif_reader_grow_status_size_reached
                                                            : heif_reader_grow_status_size_beyond_eof;
}

// Whether the handle's image holds no more pixels than its header says: a grid or overlay whose own
// data declares a larger canvas would be allocated at that size by libheif, past every estimate here.
bool canvasWithinHeader(const FileSpan& span, heif_item_id id, const heif_image_handle* handle)
{
    const auto read = [&span](qint64 offset, qint64 size, char* out) {
        FileSpan at{span.fd, span.size, offset};
        return readFrom(out, size_t(size), &at) == 0;
    };
    const heifboxes::ItemCanvas canvas = heifboxes::derivedCanvas(read, span.size, id);
    if (!canvas.derived)
        return true;
    if (!canvas.size)
        return false;
    qint64 w = heif_image_handle_get_ispe_width(handle), h = heif_image_handle_get_ispe_height(handle);
    if (w <= 0 || h <= 0) {
        w = heif_image_handle_get_width(handle);
        h = heif_image_handle_get_height(handle);
    }
    return qint64(canvas.size->width()) * canvas.size->height() <= w * h;
}

// libheif keeps a pointer to the table for the context's whole life.
const heif_reader FileReader = {1, positionOf, readFrom, seekTo, waitForSize};

struct ContextFree
{
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleRelease
{
    void operator()(const heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageRelease
{
    void operator()(const heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree
{
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<const heif_image_handle, HandleRelease>;
using Image = std::unique_ptr<heif_image, ImageRelease>;
using Options = std::unique_ptr<heif_decoding_options, OptionsFree>;

void initialiseOnce()
{
    // Counted by libheif; never released, so contexts may be made until the program ends.
    [[maybe_unused]] static const bool initialised = heif_init(nullptr).code == heif_error_Ok;
}

// What decoding an image of `size` holds at its peak, from the header alone. The header does not tell the
// chroma subsampling, so the planes count as 4:4:4: the codec's frame and libheif's copy of it, the 32-bit
// result and the codec's side data; for samples of more than 8 bits the intermediate of the reduction to
// 8; for AV1 what dav1d keeps besides when it decodes on threads (the coefficients among it); the coded
// data read by libheif and copied by the codec. A grid of tiles holds about as much. Held against
// measured decodes by the tests (2 megapixels, bytes a pixel held / estimated): HEVC 8-bit 4:2:0 11-12 /
// 14.7, 10-bit 4:2:0 18-21 / 26.7, 10-bit 4:4:4 with alpha 21-23 / 32.6; AV1 8-bit 4:2:0 12-16 / 22.8,
// 8-bit 4:4:4 with alpha 20-23 / 29.
qint64 workingBytes(QSize size, int bitDepth, bool alpha, bool mayBeAv1, qint64 codedBytes)
{
    const qint64 sampleBytes = bitDepth >= 1 && bitDepth <= 8 ? 1 : 2; // unknown depth: the wider samples
    const qint64 planeBytes = (3 + (alpha ? 1 : 0)) * sampleBytes;
    qint64 perPixel = 2 * planeBytes + 4 + 3;
    if (sampleBytes > 1)
        perPixel += 6;
    if (mayBeAv1)
        perPixel += 3 * planeBytes;
    return qint64(size.width()) * size.height() * perPixel + 2 * codedBytes;
}

// Same proportions as the picture within a pixel's rounding of the thumbnail's sides.
bool sameProportions(QSize thumbnail, QSize picture)
{
    const qint64 cross = qint64(thumbnail.width()) * picture.height() - qint64(thumbnail.height()) * picture.width();
    return std::abs(cross) <= std::max(picture.width(), picture.height());
}

// The decoded RGBA bytes become, in their own buffer, the 32-bit pixels Qt draws fastest.
void packInPlace(uchar* bits, int width, int height, int stride, bool alpha, bool premultiplied)
{
    for (int y = 0; y < height; ++y) {
        uchar* p = bits + qsizetype(y) * stride;
        for (int x = 0; x < width; ++x, p += 4) {
            const uint a = alpha ? p[3] : 255;
            QRgb pixel;
            if (!alpha)
                pixel = qRgb(p[0], p[1], p[2]);
            else if (premultiplied) // a colour above its alpha would overflow when blended
                pixel = qRgba(std::min<uint>(p[0], a), std::min<uint>(p[1], a), std::min<uint>(p[2], a), int(a));
            else
                pixel = qPremultiply(qRgba(p[0], p[1], p[2], int(a)));
            std::memcpy(p, &pixel, sizeof pixel);
        }
    }
}

// The handle decoded upright into 8-bit RGBA by libheif, handed to a QImage without a copy.
QImage decodeHandle(const heif_image_handle* handle, QSize expected, bool alpha)
{
    const Options options(heif_decoding_options_alloc());
    if (!options)
        return {};
    options->ignore_transformations = 0;
    if (options->version >= 2)
        options->convert_hdr_to_8bit = 1;
    heif_image* decoded = nullptr;
    const heif_error error =
        heif_decode_image(handle, &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options.get());
    Image image(decoded);
    if (error.code != heif_error_Ok || !image)
        return {};
    const int width = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(image.get(), heif_channel_interleaved);
    // Never another size than the header said: the views and the area files rely on it.
    if (QSize(width, height) != expected || heif_image_get_bits_per_pixel(image.get(), heif_channel_interleaved) != 32)
        return {};
    int stride = 0;
    uchar* bits = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    if (!bits || stride < width * 4 || stride % 4 != 0)
        return {};
    packInPlace(bits, width, height, stride, alpha, heif_image_is_premultiplied_alpha(image.get()) != 0);
    heif_image* owner = image.release();
    return QImage(
        bits, width, height, stride, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32,
        [](void* i) { heif_image_release(static_cast<heif_image*>(i)); }, owner);
}

struct Thumbnail
{
    Handle handle;
    QSize size;
    int bitDepth = 8;
    bool alpha = false;
};

} // namespace

struct HeifPicture::Private
{
    // Declared first: libheif reads through it until the context and every handle are gone.
    FileSpan span;
    Context context;
    Handle primary;
    QSize size;
    bool alpha = false;
    int bitDepth = 8;
    bool mayBeAv1 = false;             // by the brands: AV1, or a generic brand only
    std::vector<Thumbnail> thumbnails; // smallest first
};

HeifPicture::HeifPicture(std::unique_ptr<Private> p) : d(std::move(p)) {}

HeifPicture::~HeifPicture() = default;

bool HeifPicture::isHeif(QByteArrayView head)
{
    return anyOf(brandsOf(head.first(std::min<qsizetype>(head.size(), HeadBytes))), HeifBrands);
}

std::unique_ptr<HeifPicture> HeifPicture::open(int fd)
{
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > MaxFileSize)
        return nullptr;
    auto p = std::make_unique<Private>();
    p->span = {fd, qint64(st.st_size), 0};

    std::array<char, HeadBytes> head{};
    const qint64 headSize = std::min<qint64>(HeadBytes, p->span.size);
    if (readFrom(head.data(), size_t(headSize), &p->span) != 0 || seekTo(0, &p->span) != 0)
        return nullptr;
    const auto brands = brandsOf(QByteArrayView(head.data(), headSize));
    if (!anyOf(brands, HeifBrands))
        return nullptr;
    // The brands tell the coding; the generic ones (mif1, msf1) may be either.
    const bool hevc = anyOf(brands, HevcBrands);
    const bool av1 = anyOf(brands, Av1Brands);
    const bool canHevc = heif_have_decoder_for_format(heif_compression_HEVC) != 0;
    const bool canAv1 = heif_have_decoder_for_format(heif_compression_AV1) != 0;
    if (!((hevc && canHevc) || (av1 && canAv1) || (!hevc && !av1 && (canHevc || canAv1))))
        return nullptr;
    p->mayBeAv1 = av1 || !hevc;

    initialiseOnce();
    p->context.reset(heif_context_alloc());
    if (!p->context)
        return nullptr;
    heif_context_set_maximum_image_size_limit(p->context.get(), MaxSide);
    // Tiles (a phone's photo is a grid of 512 x 512 pictures) are decoded on this many threads at once.
    heif_context_set_max_decoding_threads(p->context.get(), std::max(1, QThread::idealThreadCount()));
    if (heif_context_read_from_reader(p->context.get(), &FileReader, &p->span, nullptr).code != heif_error_Ok)
        return nullptr;
    heif_image_handle* primary = nullptr;
    heif_item_id primaryId = 0;
    if (heif_context_get_primary_image_handle(p->context.get(), &primary).code != heif_error_Ok || !primary)
        return nullptr;
    p->primary.reset(primary);
    if (heif_context_get_primary_image_ID(p->context.get(), &primaryId).code != heif_error_Ok)
        return nullptr;
    p->size = QSize(heif_image_handle_get_width(primary), heif_image_handle_get_height(primary));
    if (p->size.isEmpty() || p->size.width() > MaxSide || p->size.height() > MaxSide ||
        !canvasWithinHeader(p->span, primaryId, primary))
        return nullptr;
    p->alpha = heif_image_handle_has_alpha_channel(primary) != 0;
    p->bitDepth = heif_image_handle_get_luma_bits_per_pixel(primary);

    std::array<heif_item_id, MaxThumbnails> ids{};
    const int count = heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), MaxThumbnails);
    for (int i = 0; i < count; ++i) {
        heif_image_handle* t = nullptr;
        if (heif_image_handle_get_thumbnail(primary, ids[size_t(i)], &t).code != heif_error_Ok || !t)
            continue;
        Thumbnail thumbnail{Handle(t), QSize(heif_image_handle_get_width(t), heif_image_handle_get_height(t)),
                            heif_image_handle_get_luma_bits_per_pixel(t), heif_image_handle_has_alpha_channel(t) != 0};
        // One of other proportions is not the picture as shown (a thumbnail left unturned, say).
        if (!thumbnail.size.isEmpty() && sameProportions(thumbnail.size, p->size) &&
            canvasWithinHeader(p->span, ids[size_t(i)], thumbnail.handle.get()))
            p->thumbnails.push_back(std::move(thumbnail));
    }
    std::sort(p->thumbnails.begin(), p->thumbnails.end(), [](const Thumbnail& a, const Thumbnail& b) {
        return qint64(a.size.width()) * a.size.height() < qint64(b.size.width()) * b.size.height();
    });
    return std::unique_ptr<HeifPicture>(new HeifPicture(std::move(p)));
}

QSize HeifPicture::size() const
{
    return d->size;
}

bool HeifPicture::hasAlpha() const
{
    return d->alpha;
}

int HeifPicture::bitDepth() const
{
    return d->bitDepth;
}

qint64 HeifPicture::decodeBytes() const
{
    return workingBytes(d->size, d->bitDepth, d->alpha, d->mayBeAv1, d->span.size);
}

QImage HeifPicture::decode() const
{
    return decodeHandle(d->primary.get(), d->size, d->alpha);
}

int HeifPicture::thumbnailCovering(QSize minimum) const
{
    for (size_t i = 0; i < d->thumbnails.size(); ++i) {
        const QSize s = d->thumbnails[i].size;
        if (s.width() >= minimum.width() && s.height() >= minimum.height())
            return int(i);
    }
    return -1;
}

QSize HeifPicture::thumbnailSize(int thumbnail) const
{
    return thumbnail >= 0 && size_t(thumbnail) < d->thumbnails.size() ? d->thumbnails[size_t(thumbnail)].size : QSize();
}

qint64 HeifPicture::thumbnailDecodeBytes(int thumbnail) const
{
    if (thumbnail < 0 || size_t(thumbnail) >= d->thumbnails.size())
        return 0;
    const Thumbnail& t = d->thumbnails[size_t(thumbnail)];
    return workingBytes(t.size, t.bitDepth, t.alpha, d->mayBeAv1, d->span.size);
}

QImage HeifPicture::decodeThumbnail(int thumbnail) const
{
    if (thumbnail < 0 || size_t(thumbnail) >= d->thumbnails.size())
        return {};
    const Thumbnail& t = d->thumbnails[size_t(thumbnail)];
    return decodeHandle(t.handle.get(), t.size, t.alpha);
}

} // namespace kovra
