#include "JpegLayout.h"

#include <QIODevice>
#include <algorithm>
#include <vector>

namespace kovra {
namespace {

bool byte(QIODevice& d, int& value)
{
    char c;
    if (!d.getChar(&c))
        return false;
    value = uchar(c);
    return true;
}

bool word(QIODevice& d, int& value)
{
    int hi = 0;
    int lo = 0;
    if (!byte(d, hi) || !byte(d, lo))
        return false;
    value = hi << 8 | lo;
    return true;
}

// The next marker code as libjpeg's next_marker finds it: anything up to a 0xFF skipped, fill bytes
// skipped, a stuffed zero not a marker.
bool nextMarker(QIODevice& d, int& marker)
{
    for (;;) {
        int c = 0;
        do {
            if (!byte(d, c))
                return false;
        } while (c != 0xFF);
        do {
            if (!byte(d, c))
                return false;
        } while (c == 0xFF);
        if (c != 0) {
            marker = c;
            return true;
        }
    }
}

struct Component
{
    int h = 1;
    int v = 1;
};

} // namespace

std::optional<JpegLayout> readJpegLayout(QIODevice& d)
{
    int c0 = 0;
    int c1 = 0;
    if (!byte(d, c0) || !byte(d, c1) || c0 != 0xFF || c1 != 0xD8)
        return std::nullopt;
    JpegLayout layout;
    bool progressive = false;
    std::vector<Component> components;
    for (;;) {
        int marker = 0;
        if (!nextMarker(d, marker))
            return std::nullopt;
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01)
            continue; // no parameters
        if (marker == 0xD8 || marker == 0xD9)
            return std::nullopt; // a second start, or the end before any scan
        const bool frame = marker == 0xC0 || marker == 0xC1 || marker == 0xC2 || marker == 0xC9 || marker == 0xCA;
        if (!frame && marker != 0xDA && marker != 0xC4 && marker != 0xCC && marker != 0xDB && marker != 0xDD &&
            marker != 0xDC && marker != 0xFE && !(marker >= 0xE0 && marker <= 0xEF))
            return std::nullopt; // unsupported processes and unknown markers stop libjpeg
        int length = 0;
        if (!word(d, length))
            return std::nullopt;
        if (frame) {
            int precision = 0;
            int height = 0;
            int width = 0;
            int count = 0;
            if (!components.empty() || !byte(d, precision) || !word(d, height) || !word(d, width) || !byte(d, count) ||
                precision != 8 || width <= 0 || height <= 0 || count <= 0 || length != 8 + 3 * count)
                return std::nullopt;
            for (int i = 0; i < count; ++i) {
                int id = 0;
                int sampling = 0;
                int table = 0;
                if (!byte(d, id) || !byte(d, sampling) || !byte(d, table))
                    return std::nullopt;
                const Component c{sampling >> 4, sampling & 15};
                if (c.h < 1 || c.h > 4 || c.v < 1 || c.v > 4)
                    return std::nullopt;
                components.push_back(c);
            }
            layout.size = QSize(width, height);
            layout.components = count;
            progressive = marker == 0xC2 || marker == 0xCA;
            continue;
        }
        if (marker == 0xDA) {
            int inScan = 0;
            if (components.empty() || !byte(d, inScan) || inScan < 1)
                return std::nullopt;
            if (progressive || inScan < layout.components) {
                int hMax = 1;
                int vMax = 1;
                for (const Component& c : components) {
                    hMax = std::max(hMax, c.h);
                    vMax = std::max(vMax, c.v);
                }
                const auto blocks = [](qint64 samples, int factor, int maxFactor) {
                    const qint64 n = (samples * factor + 8 * maxFactor - 1) / (8 * maxFactor);
                    return (n + factor - 1) / factor * factor;
                };
                for (const Component& c : components)
                    layout.coefficientBytes +=
                        blocks(layout.size.width(), c.h, hMax) * blocks(layout.size.height(), c.v, vMax) * 64 * 2;
            }
            return layout;
        }
        if (length < 2 || d.skip(length - 2) != length - 2)
            return std::nullopt;
    }
}

} // namespace kovra
