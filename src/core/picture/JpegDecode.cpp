#include "JpegDecode.h"

#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <memory>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace kovra {
namespace {

// Read at once from the descriptor: a few system calls per megabyte, and little of the file read ahead of
// a crop near the top.
constexpr size_t ChunkBytes = size_t(256) << 10;
// Columns and lines decoded around a crop and cut off after: libjpeg's upsampling at the crop's own edges
// replicates them, so the pixels there would differ slightly from the whole picture's.
constexpr int CropMargin = 16;

// From this size on an image's buffer is a mapping of its own whose pages another thread makes present
// (MADV_POPULATE_WRITE, contents untouched, so it may run under the decoder's writes) ahead of the decoder:
// the kernel's first touch of a 96 MB buffer in 4 KB pages is about a third of a 24 MP decode's time,
// which djpeg, writing line by line, never pays.
constexpr size_t PopulatedMin = size_t(8) << 20;
constexpr size_t PopulateStep = size_t(4) << 20;

struct Mapping
{
    void* start;
    size_t bytes;
};

// A plain QImage when small or when the mapping fails.
QImage allocateImage(QSize size, QImage::Format format, size_t* mappedBytes)
{
    *mappedBytes = 0;
    const qsizetype line = format == QImage::Format_Grayscale8 ? (qsizetype(size.width()) + 3) & ~qsizetype(3)
                                                               : qsizetype(size.width()) * 4;
    const size_t bytes = size_t(line) * size_t(size.height());
    if (bytes < PopulatedMin || size.isEmpty())
        return QImage(size, format);
    void* start = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED)
        return QImage(size, format);
    auto* mapping = new Mapping{start, bytes};
    QImage image(
        static_cast<uchar*>(start), size.width(), size.height(), line, format,
        [](void* info) {
            auto* m = static_cast<Mapping*>(info);
            ::munmap(m->start, m->bytes);
            delete m;
        },
        mapping);
    if (image.isNull()) {
        ::munmap(start, bytes);
        delete mapping;
        return {};
    }
    *mappedBytes = bytes;
    return image;
}

// Makes the buffer's pages present from its start, a step at a time, until done or told to end.
class Populator
{
public:
    Populator(uchar* start, size_t bytes)
    {
        if (bytes > 0)
            m_thread = std::thread([this, start, bytes] {
                for (size_t at = 0; at < bytes && !m_end.load(std::memory_order_relaxed); at += PopulateStep) {
                    if (::madvise(start + at, std::min(PopulateStep, bytes - at), MADV_POPULATE_WRITE) != 0)
                        break; // an older kernel: the decoder's writes fault the pages in
                }
            });
    }
    ~Populator()
    {
        m_end.store(true);
        if (m_thread.joinable())
            m_thread.join();
    }
    Populator(const Populator&) = delete;
    Populator& operator=(const Populator&) = delete;

private:
    std::atomic<bool> m_end{false};
    std::thread m_thread;
};

struct ErrorManager
{
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void errorExit(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings (a cut file, a bad restart marker) are not printed: the decode goes on as Qt's reader does.
void silent(j_common_ptr) {}

struct FdSource
{
    jpeg_source_mgr pub;
    int fd = -1;
    off_t offset = 0;
    std::vector<JOCTET> buffer;
};

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

boolean fillInput(j_decompress_ptr cinfo)
{
    auto* s = reinterpret_cast<FdSource*>(cinfo->src);
    ssize_t n;
    do {
        n = ::pread(s->fd, s->buffer.data(), s->buffer.size(), s->offset);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        // As libjpeg's own sources do at the end of the data: a warning and an end of image.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        s->buffer[0] = 0xFF;
        s->buffer[1] = JPEG_EOI;
        n = 2;
    } else {
        s->offset += n;
    }
    s->pub.next_input_byte = s->buffer.data();
    s->pub.bytes_in_buffer = size_t(n);
    return TRUE;
}

void skipInput(j_decompress_ptr cinfo, long count)
{
    auto* s = reinterpret_cast<FdSource*>(cinfo->src);
    if (count <= 0)
        return;
    if (size_t(count) <= s->pub.bytes_in_buffer) {
        s->pub.next_input_byte += count;
        s->pub.bytes_in_buffer -= size_t(count);
        return;
    }
    s->offset += off_t(size_t(count) - s->pub.bytes_in_buffer);
    s->pub.next_input_byte = s->buffer.data();
    s->pub.bytes_in_buffer = 0;
}

// Everything the decode changes lives here, behind a pointer, so that it is intact after libjpeg's error
// jumps back (no automatic variable is modified between setjmp and longjmp).
struct Context
{
    jpeg_decompress_struct cinfo{};
    ErrorManager error{};
    FdSource fdSource;
    bool fromFd = false;
    QByteArrayView bytes;
    JpegDecodeOptions options;
    JpegDecode result;
    QImage lines; // what libjpeg writes: the whole picture, or the crop with its margins
    QRect cut;    // the part of `lines` asked for
    std::vector<JSAMPROW> rows;
    std::unique_ptr<Populator> populator; // ended before the decode returns, whatever way it ends
};

// The steps between setjmp and the end; returns false after libjpeg's error.
bool run(Context& c)
{
    jpeg_decompress_struct& cinfo = c.cinfo;
    if (setjmp(c.error.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    if (c.options.memoryLimit > 0)
        cinfo.mem->max_memory_to_use = long(c.options.memoryLimit);
    if (c.fromFd) {
        cinfo.src = &c.fdSource.pub;
        c.fdSource.pub.init_source = initSource;
        c.fdSource.pub.fill_input_buffer = fillInput;
        c.fdSource.pub.skip_input_data = skipInput;
        c.fdSource.pub.resync_to_restart = jpeg_resync_to_restart;
        c.fdSource.pub.term_source = termSource;
        c.fdSource.pub.bytes_in_buffer = 0;
        c.fdSource.pub.next_input_byte = nullptr;
    } else {
        jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(c.bytes.data()),
                     static_cast<unsigned long>(c.bytes.size()));
    }
    jpeg_read_header(&cinfo, TRUE);
    const bool grey = cinfo.num_components == 1;
    if (!grey &&
        (cinfo.num_components != 3 || cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK)) {
        c.result.status = JpegDecode::Status::Unsupported;
        jpeg_destroy_decompress(&cinfo);
        return true;
    }
    // QImage::Format_RGB32 is a 32-bit 0xffRRGGBB word: B, G, R, X in memory on little-endian machines.
    cinfo.out_color_space =
        grey ? JCS_GRAYSCALE : (QSysInfo::ByteOrder == QSysInfo::LittleEndian ? JCS_EXT_BGRA : JCS_EXT_ARGB);
    cinfo.dct_method = JDCT_ISLOW;
    jpeg_start_decompress(&cinfo);

    const QRect whole(0, 0, int(cinfo.output_width), int(cinfo.output_height));
    QRect wanted = whole;
    QRect decoded = whole;
    if (!c.options.fileRect.isEmpty()) {
        wanted = c.options.fileRect & whole;
        if (wanted.isEmpty()) {
            jpeg_destroy_decompress(&cinfo);
            return true; // Failed: nothing of the picture asked for
        }
        decoded = wanted.adjusted(-CropMargin, -CropMargin, CropMargin, CropMargin) & whole;
        if (decoded.width() < whole.width()) {
            // libjpeg moves the left edge to a block column boundary and widens accordingly.
            JDIMENSION x = JDIMENSION(decoded.x());
            JDIMENSION w = JDIMENSION(decoded.width());
            jpeg_crop_scanline(&cinfo, &x, &w);
            decoded.setX(int(x));
            decoded.setWidth(int(w));
        }
        if (decoded.y() > 0 && jpeg_skip_scanlines(&cinfo, JDIMENSION(decoded.y())) != JDIMENSION(decoded.y())) {
            jpeg_destroy_decompress(&cinfo);
            return true;
        }
    }
    size_t mapped = 0;
    c.lines = allocateImage(decoded.size(), grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32, &mapped);
    if (c.lines.isNull()) {
        jpeg_destroy_decompress(&cinfo);
        return true;
    }
    if (mapped > 0)
        c.populator = std::make_unique<Populator>(c.lines.bits(), mapped);
    c.rows.resize(size_t(std::max(1, cinfo.rec_outbuf_height)));
    int y = 0;
    while (y < decoded.height()) {
        if (c.options.stop && c.options.stop->load(std::memory_order_relaxed)) {
            c.result.status = JpegDecode::Status::Stopped;
            c.populator.reset(); // before its pages go
            c.lines = QImage();
            jpeg_destroy_decompress(&cinfo);
            return true;
        }
        const int batch = std::min(int(c.rows.size()), decoded.height() - y);
        for (int i = 0; i < batch; ++i)
            c.rows[size_t(i)] = c.lines.scanLine(y + i);
        const JDIMENSION got = jpeg_read_scanlines(&cinfo, c.rows.data(), JDIMENSION(batch));
        if (got == 0)
            break; // cannot happen with a blocking source; the lines left stay as allocated
        y += int(got);
    }
    // The whole picture ends as Qt's reader ends it: up to the end-of-image marker, where a marker the
    // damaged data left behind fails it. A crop stops at its last line.
    if (decoded == whole)
        jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    c.cut = wanted.translated(-decoded.topLeft());
    c.result.status = JpegDecode::Status::Decoded;
    return true;
}

JpegDecode decode(Context& c)
{
    c.cinfo.err = jpeg_std_error(&c.error.pub);
    c.error.pub.error_exit = errorExit;
    c.error.pub.output_message = silent;
    const bool ran = run(c);
    c.populator.reset();
    if (!ran)
        return {JpegDecode::Status::Failed, {}};
    if (c.result.status == JpegDecode::Status::Decoded)
        c.result.image = c.cut == c.lines.rect() ? std::move(c.lines) : c.lines.copy(c.cut);
    if (c.result.image.isNull() && c.result.status == JpegDecode::Status::Decoded)
        c.result.status = JpegDecode::Status::Failed;
    return std::move(c.result);
}

} // namespace

JpegDecode decodeJpegFile(int fd, const JpegDecodeOptions& options)
{
    auto c = std::make_unique<Context>();
    c->fromFd = true;
    c->fdSource.fd = fd;
    c->fdSource.buffer.resize(ChunkBytes);
    c->options = options;
    return decode(*c);
}

JpegDecode decodeJpegBytes(QByteArrayView data, const JpegDecodeOptions& options)
{
    if (data.isEmpty())
        return {};
    auto c = std::make_unique<Context>();
    c->bytes = data;
    c->options = options;
    return decode(*c);
}

} // namespace kovra
