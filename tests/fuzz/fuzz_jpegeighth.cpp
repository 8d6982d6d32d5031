// The reduced JPEG decoder on arbitrary bytes: a null image or one of the header's size divided by 8,
// never a read outside the data (the sanitizers watch), never an endless loop.

#include "FuzzSupport.h"
#include "JpegEighth.h"

#include <cstdint>

using namespace kovra;
using namespace kovra::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QImage image = decodeJpegEighth(bytes);
    if (!image.isNull()) {
        check(image.width() >= 1 && image.height() >= 1 && image.width() <= 8191 && image.height() <= 8191,
              "eighth of impossible size");
        check(image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_Grayscale8,
              "eighth of another format");
    }
    return 0;
}
