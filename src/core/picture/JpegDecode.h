#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QRect>
#include <atomic>

namespace kovra {

// A JPEG decoded at full size by libjpeg-turbo directly, into the buffer the window draws (RGB32 for colour,
// Grayscale8 for grey): libjpeg's user time equals djpeg's, where Qt's reader decodes into a line of its own
// and converts every pixel after (kovra-displaybench: 1.1 to 1.2 times less wall time than Qt's). Either the whole
// picture or one rectangle of it (libjpeg's column crop and line skip), in the file's own pixel grid, not turned
// upright.
//
// libjpeg's errors end the decode (a failure, never the process); its warnings do not: a cut file gives
// its decoded part above grey, as Qt's reader gives it. Four-component files (CMYK, YCCK) are the general
// reader's (Unsupported).
struct JpegDecode
{
    enum class Status { Decoded, Unsupported, Failed, Stopped };
    Status status = Status::Failed;
    QImage image;
};

struct JpegDecodeOptions
{
    QRect fileRect;                          // empty: the whole picture; else clipped to it
    const std::atomic<bool>* stop = nullptr; // read between lines: Stopped, no image
    qint64 memoryLimit = 0;                  // libjpeg's own buffers (max_memory_to_use); 0: libjpeg's default
};

// From an open descriptor, read with pread from offset 0 (thread-safe against other users of the
// descriptor: its file position is never used).
JpegDecode decodeJpegFile(int fd, const JpegDecodeOptions& options = {});
// From bytes in memory.
JpegDecode decodeJpegBytes(QByteArrayView data, const JpegDecodeOptions& options = {});

} // namespace kovra
