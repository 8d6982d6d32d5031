// The JPEG readers on arbitrary bytes: the reduced decoder gives a null image or one of the header's size
// divided by 8, the layout reader nothing or a plausible frame, the full-size decode (whole and a crop, for
// frames of at most 4 MP) a failure or an image of the frame's size, the crop's clipped; never a read outside
// the data (the sanitizers watch), never an endless loop, never the process ended by libjpeg.

#include "FuzzSupport.h"
#include "JpegDecode.h"
#include "JpegEighth.h"
#include "JpegLayout.h"

#include <QBuffer>

#include <cstdint>

using namespace kovra;
using namespace kovra::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QImage image = decodeJpegEighth(bytes);
    QByteArray copy = bytes.toByteArray();
    QBuffer device(&copy);
    device.open(QIODevice::ReadOnly);
    const std::optional<JpegLayout> layout = readJpegLayout(device);
    if (layout)
        check(layout->size.width() >= 1 && layout->size.height() >= 1 && layout->size.width() <= 65535 &&
                  layout->size.height() <= 65535 && layout->components >= 1 && layout->coefficientBytes >= 0,
              "implausible layout");
    if (layout && qint64(layout->size.width()) * layout->size.height() <= 4'000'000) {
        const JpegDecode whole = decodeJpegBytes(bytes);
        check(whole.status != JpegDecode::Status::Decoded || whole.image.size() == layout->size,
              "full decode of another size");
        const QRect crop(layout->size.width() / 3, layout->size.height() / 2, 37, 21);
        const JpegDecode part = decodeJpegBytes(bytes, {.fileRect = crop, .stop = nullptr, .memoryLimit = 64 << 20});
        check(part.status != JpegDecode::Status::Decoded ||
                  part.image.size() == (crop & QRect(QPoint(), layout->size)).size(),
              "crop of another size");
    }
    if (!image.isNull()) {
        check(image.width() >= 1 && image.height() >= 1 && image.width() <= 8191 && image.height() <= 8191,
              "eighth of impossible size");
        check(image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_Grayscale8,
              "eighth of another format");
    }
    return 0;
}
