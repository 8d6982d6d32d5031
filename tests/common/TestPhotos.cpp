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
    // Tests want the file quickly; unknown names are ignored by the other encoder.
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
