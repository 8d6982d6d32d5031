// The HEIF reader on arbitrary bytes: the brand test never reads past the head it is given; opening gives
// nothing or a plausible picture; a small picture decodes to its header's size or to nothing; never a read
// outside the data (the sanitizers watch our side of libheif), never an endless loop.

#include "FuzzSupport.h"
#include "HeifPicture.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

using namespace kovra;
using namespace kovra::fuzz;

namespace {

// The input as a file: the reader takes a descriptor, as the picture source gives it.
int memoryFile(const uint8_t* data, size_t size)
{
    const int fd = memfd_create("heif", MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) {
            close(fd);
            return -1;
        }
        done += size_t(n);
    }
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const bool heif = HeifPicture::isHeif(bytes.first(std::min<qsizetype>(bytes.size(), HeifPicture::HeadBytes)));
    if (!heif)
        return 0;
    const int fd = memoryFile(data, size);
    if (fd < 0)
        return 0;
    if (const auto picture = HeifPicture::open(fd)) {
        const QSize s = picture->size();
        check(s.width() >= 1 && s.height() >= 1 && s.width() <= 32767 && s.height() <= 32767, "implausible size");
        check(picture->decodeBytes() >= qint64(s.width()) * s.height() * 4, "estimate below the image");
        // Only small pictures decode here: the coded data of a fuzzed file is mostly noise.
        if (qint64(s.width()) * s.height() <= 256 * 256) {
            const QImage image = picture->decode();
            check(image.isNull() || image.size() == s, "decoded at another size");
        }
        const int t = picture->thumbnailCovering(QSize(1, 1));
        if (t >= 0) {
            const QSize ts = picture->thumbnailSize(t);
            check(ts.width() >= 1 && ts.height() >= 1, "implausible thumbnail");
            if (qint64(ts.width()) * ts.height() <= 256 * 256) {
                const QImage thumb = picture->decodeThumbnail(t);
                check(thumb.isNull() || thumb.size() == ts, "thumbnail at another size");
            }
        }
    }
    close(fd);
    return 0;
}
