#include "TestPhotos.h"

#include <QtEndian>
#include <cstring>
#include <libheif/heif.h>
#include <memory>

namespace photos {
namespace {

struct ContextFree
{
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct EncoderRelease
{
    void operator()(heif_encoder* e) const { heif_encoder_release(e); }
};
struct ImageRelease
{
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct HandleRelease
{
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct OptionsFree
{
    void operator()(heif_encoding_options* o) const { heif_encoding_options_free(o); }
};
using Image = std::unique_ptr<heif_image, ImageRelease>;
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;

// The picture as libheif's interleaved RGB(A) of 8 bits, or of 10 bits in 16-bit little-endian samples.
Image heifImageOf(const QImage& picture, int bitDepth)
{
    const bool alpha = picture.hasAlphaChannel();
    const bool wide = bitDepth > 8;
    const heif_chroma chroma = wide ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                    : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
    heif_image* created = nullptr;
    if (heif_image_create(picture.width(), picture.height(), heif_colorspace_RGB, chroma, &created).code)
        return {};
    Image image(created);
    if (heif_image_add_plane(image.get(), heif_channel_interleaved, picture.width(), picture.height(), bitDepth).code)
        return {};
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image.get(), heif_channel_interleaved, &stride);
    const QImage rgba = picture.convertToFormat(QImage::Format_RGBA8888);
    const int channels = alpha ? 4 : 3;
    for (int y = 0; y < rgba.height(); ++y) {
        const uchar* in = rgba.constScanLine(y);
        uint8_t* out = plane + qsizetype(y) * stride;
        for (int x = 0; x < rgba.width(); ++x) {
            for (int c = 0; c < channels; ++c) {
                const uchar v = in[x * 4 + c];
                if (wide)
                    qToLittleEndian<quint16>(quint16((v << 2) | (v >> 6)), out + (x * channels + c) * 2);
                else
                    out[x * channels + c] = v;
            }
        }
    }
    return image;
}

heif_error appendTo(heif_context*, const void* data, size_t size, void* userdata)
{
    static_cast<QByteArray*>(userdata)->append(static_cast<const char*>(data), qsizetype(size));
    return {heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

} // namespace

QByteArray heifBytes(const QImage& image, const HeifOptions& options)
{
    const std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    heif_encoder* made = nullptr;
    if (!context || heif_context_get_encoder_for_format(
                        context.get(), options.av1 ? heif_compression_AV1 : heif_compression_HEVC, &made)
                        .code)
        return {};
    const std::unique_ptr<heif_encoder, EncoderRelease> encoder(made);
    heif_encoder_set_lossy_quality(encoder.get(), options.quality);
    // Tests want the file quickly.
    if (options.fast)
        heif_encoder_set_parameter(encoder.get(), options.av1 ? "speed" : "preset", options.av1 ? "9" : "ultrafast");
    heif_encoder_set_parameter(encoder.get(), "chroma", options.fullChroma ? "444" : "420");
    const std::unique_ptr<heif_encoding_options, OptionsFree> encoding(heif_encoding_options_alloc());
    if (!encoding || encoding->version < 5)
        return {};
    encoding->image_orientation = heif_orientation(options.orientation);

    if (!options.before.isNull()) {
        const Image other = heifImageOf(options.before, options.bitDepth);
        if (!other ||
            heif_context_encode_image(context.get(), other.get(), encoder.get(), encoding.get(), nullptr).code)
            return {};
    }
    const Image primary = heifImageOf(image, options.bitDepth);
    heif_image_handle* handle = nullptr;
    if (!primary ||
        heif_context_encode_image(context.get(), primary.get(), encoder.get(), encoding.get(), &handle).code)
        return {};
    const Handle primaryHandle(handle);
    if (heif_context_set_primary_image(context.get(), primaryHandle.get()).code)
        return {};
    if (options.exifOrientation > 0) {
        const QByteArray exif = exifOrientationSegment(options.exifOrientation).mid(4); // from "Exif\0\0"
        if (heif_context_add_exif_metadata(context.get(), primaryHandle.get(), exif.constData(), int(exif.size())).code)
            return {};
    }
    if (!options.thumbnail.isNull()) {
        const Image source = heifImageOf(options.thumbnail, options.bitDepth);
        heif_image_handle* thumbnail = nullptr;
        if (!source || heif_context_encode_thumbnail(context.get(), source.get(), primaryHandle.get(), encoder.get(),
                                                     encoding.get(), options.thumbnailSide, &thumbnail)
                           .code)
            return {};
        const Handle thumbnailHandle(thumbnail);
        if (!thumbnailHandle)
            return {};
    }
    QByteArray bytes;
    heif_writer writer{1, appendTo};
    if (heif_context_write(context.get(), &writer, &bytes).code)
        return {};
    return bytes;
}

bool writeHeif(const QString& path, const QImage& image, const HeifOptions& options)
{
    const QByteArray bytes = heifBytes(image, options);
    QFile f(path);
    return !bytes.isEmpty() && f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

namespace {

QByteArray be16(int v)
{
    QByteArray b(2, 0);
    qToBigEndian<quint16>(quint16(v), b.data());
    return b;
}

QByteArray be32(qint64 v)
{
    QByteArray b(4, 0);
    qToBigEndian<quint32>(quint32(v), b.data());
    return b;
}

QByteArray box(const char* type, const QByteArray& body)
{
    return be32(body.size() + 8) + type + body;
}

QByteArray fullBox(const char* type, int version, int flags, const QByteArray& body)
{
    return box(type, be32((qint64(version) << 24) | flags) + body);
}

// The first box of `type` anywhere in bytes (found by its name), whole; empty when there is none.
QByteArray findBox(const QByteArray& bytes, const char* type)
{
    const qsizetype at = bytes.indexOf(type);
    if (at < 4)
        return {};
    const qint64 size = qFromBigEndian<quint32>(bytes.constData() + at - 4);
    return size >= 8 && at - 4 + size <= bytes.size() ? bytes.mid(at - 4, size) : QByteArray();
}

} // namespace

QByteArray heifGridBytes(const QImage& image, QSize tileSize, const HeifOptions& options)
{
    const int angle = options.orientation == 1   ? 0
                      : options.orientation == 8 ? 1
                      : options.orientation == 3 ? 2
                      : options.orientation == 6 ? 3
                                                 : -1;
    if (image.isNull() || tileSize.isEmpty() || angle < 0)
        return {};
    const int columns = (image.width() + tileSize.width() - 1) / tileSize.width();
    const int rows = (image.height() + tileSize.height() - 1) / tileSize.height();
    if (columns > 256 || rows > 256 || image.width() > 65535 || image.height() > 65535)
        return {};
    HeifOptions tileOptions;
    tileOptions.av1 = options.av1;
    tileOptions.bitDepth = options.bitDepth;
    tileOptions.fullChroma = options.fullChroma;
    tileOptions.quality = options.quality;
    tileOptions.fast = options.fast;
    const char* configType = options.av1 ? "av1C" : "hvcC";
    const char* itemType = options.av1 ? "av01" : "hvc1";

    // Items 1..n the tiles in rows, item n + 1 the grid. Properties: each tile's coding configuration, then
    // the tile's and the grid's extents, then the grid's rotation.
    const int tiles = columns * rows;
    const int gridId = tiles + 1;
    QByteArray configs, coded;
    QList<qint64> tileOffsets, tileLengths;
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < columns; ++c) {
            QImage tile(tileSize, QImage::Format_RGB32);
            tile.fill(Qt::black);
            QPainter(&tile).drawImage(0, 0, image, c * tileSize.width(), r * tileSize.height(), tileSize.width(),
                                      tileSize.height());
            const QByteArray single = heifBytes(tile, tileOptions);
            const QByteArray config = findBox(single, configType);
            const QByteArray mdat = findBox(single, "mdat");
            if (config.isEmpty() || mdat.size() <= 8)
                return {};
            configs += config;
            tileOffsets.append(coded.size());
            tileLengths.append(mdat.size() - 8);
            coded += mdat.mid(8);
        }
    }
    const int tileExtent = tiles + 1, gridExtent = tiles + 2, rotation = tiles + 3;
    const QByteArray ipco =
        box("ipco", configs + fullBox("ispe", 0, 0, be32(tileSize.width()) + be32(tileSize.height())) +
                        fullBox("ispe", 0, 0, be32(image.width()) + be32(image.height())) +
                        box("irot", QByteArray(1, char(angle))));
    // ipma with 16-bit property indices (flags 1); the top bit marks a property essential.
    QByteArray associations = be32(tiles + 1);
    for (int i = 1; i <= tiles; ++i)
        associations += be16(i) + char(2) + be16(0x8000 | i) + be16(tileExtent);
    associations +=
        be16(gridId) + char(angle ? 2 : 1) + be16(gridExtent) + (angle ? be16(0x8000 | rotation) : QByteArray());
    QByteArray infe;
    for (int i = 1; i <= tiles; ++i)
        infe += fullBox("infe", 2, 1, be16(i) + be16(0) + itemType + QByteArray(1, 0)); // hidden
    infe += fullBox("infe", 2, 0, be16(gridId) + be16(0) + "grid" + QByteArray(1, 0));
    QByteArray references = be16(gridId) + be16(tiles);
    for (int i = 1; i <= tiles; ++i)
        references += be16(i);
    // The grid's own data: version, flags (16-bit sizes), rows and columns less one, the output size.
    const QByteArray gridData = QByteArray(1, 0) + QByteArray(1, 0) + char(rows - 1) + char(columns - 1) +
                                be16(image.width()) + be16(image.height());

    // iloc version 1, 32-bit offsets and lengths: its size does not depend on where mdat starts.
    const auto meta = [&](qint64 mdatData) {
        QByteArray locations = QByteArray(1, 0x44) + QByteArray(1, 0) + be16(tiles + 1);
        for (int i = 1; i <= tiles; ++i)
            locations +=
                be16(i) + be16(0) + be16(0) + be16(1) + be32(mdatData + tileOffsets[i - 1]) + be32(tileLengths[i - 1]);
        locations += be16(gridId) + be16(1) + be16(0) + be16(1) + be32(0) + be32(gridData.size()); // in idat
        return fullBox("meta", 0, 0,
                       fullBox("hdlr", 0, 0, be32(0) + "pict" + QByteArray(12, 0) + QByteArray(1, 0)) +
                           fullBox("pitm", 0, 0, be16(gridId)) + fullBox("iloc", 1, 0, locations) +
                           fullBox("iinf", 0, 0, be16(tiles + 1) + infe) +
                           fullBox("iref", 0, 0, box("dimg", references)) +
                           box("iprp", ipco + fullBox("ipma", 0, 1, associations)) + box("idat", gridData));
    };
    const QByteArray ftyp = box("ftyp", QByteArray(options.av1 ? "avif" : "heic") + be32(0) + "mif1" +
                                            (options.av1 ? "avif" : "heic") + "miaf");
    const qint64 headerSize = ftyp.size() + meta(0).size();
    return ftyp + meta(headerSize + 8) + box("mdat", coded);
}

QByteArray withHeifDeclaredSize(QByteArray heif, QSize from, QSize to)
{
    // ispe: size, "ispe", version and flags, then width and height as 32-bit big-endian numbers.
    for (qsizetype at = heif.indexOf("ispe"); at >= 0 && at + 16 <= heif.size(); at = heif.indexOf("ispe", at + 4)) {
        uchar* p = reinterpret_cast<uchar*>(heif.data()) + at + 8;
        if (qFromBigEndian<quint32>(p) == quint32(from.width()) &&
            qFromBigEndian<quint32>(p + 4) == quint32(from.height())) {
            qToBigEndian<quint32>(quint32(to.width()), p);
            qToBigEndian<quint32>(quint32(to.height()), p + 4);
        }
    }
    return heif;
}

} // namespace photos
