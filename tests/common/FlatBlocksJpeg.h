#pragma once

// JPEGs made by hand for the reduced decoder's tests and fuzz seeds: what Qt's writer never makes.

#include <QByteArray>
#include <QSize>
#include <cstdlib>
#include <functional>
#include <utility>
#include <vector>

namespace kovra::test {

// A baseline JPEG of flat 8x8 blocks (full-size chroma), the sample value of component c of block (x, y)
// given by value, with a restart marker after every `interval` MCUs (0: none). Qt's writer makes none.
inline QByteArray flatBlocksJpeg(int blocksWide, int blocksHigh, int components, int interval,
                                 const std::function<int(int, int, int)>& value, bool wrongRestartNumber = false)
{
    auto segment = [](uchar marker, const QByteArray& body) {
        const int length = int(body.size()) + 2;
        return QByteArray("\xff", 1) + char(marker) + char(length >> 8) + char(length & 255) + body;
    };
    QByteArray out("\xff\xd8", 2);
    out += segment(0xDB, QByteArray(1, 0) + QByteArray(64, 8)); // step 8: a DC coefficient is mean - 128
    QByteArray frame(1, 8);
    frame += char((blocksHigh * 8) >> 8) + QByteArray(1, char((blocksHigh * 8) & 255));
    frame += char((blocksWide * 8) >> 8) + QByteArray(1, char((blocksWide * 8) & 255));
    frame += char(components);
    for (int c = 0; c < components; ++c)
        frame += QByteArray(1, char(c + 1)) + char(0x11) + char(0);
    out += segment(0xC0, frame);
    // DC: the usual luminance table, sizes 0..11; AC: one code, end of block, "0".
    const uchar dcCounts[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    QByteArray dht(1, 0x00);
    dht += QByteArray(reinterpret_cast<const char*>(dcCounts), 16);
    for (int v = 0; v < 12; ++v)
        dht += char(v);
    dht += char(0x10) + QByteArray(1, 1) + QByteArray(15, 0) + QByteArray(1, 0);
    out += segment(0xC4, dht);
    if (interval)
        out += segment(0xDD, QByteArray(1, char(interval >> 8)) + char(interval & 255));
    QByteArray sos(1, char(components));
    for (int c = 0; c < components; ++c)
        sos += QByteArray(1, char(c + 1)) + char(0x00);
    out += segment(0xDA, sos + QByteArray(1, 0) + char(63) + char(0));

    // The DC codes of the table above, by size: code, length.
    const std::pair<int, int> dcCode[12] = {{0, 2},  {2, 3},  {3, 3},  {4, 3},   {5, 3},   {6, 3},
                                            {14, 4}, {30, 5}, {62, 6}, {126, 7}, {254, 8}, {510, 9}};
    quint32 acc = 0;
    int bits = 0;
    auto put = [&](quint32 code, int length) {
        for (int i = length - 1; i >= 0; --i) {
            acc = acc << 1 | ((code >> i) & 1);
            if (++bits == 8) {
                out += char(acc);
                if (acc == 0xFF)
                    out += char(0); // stuffed
                acc = 0;
                bits = 0;
            }
        }
    };
    auto align = [&] {
        while (bits)
            put(1, 1);
    };
    std::vector<int> predictor(size_t(components), 0);
    int restarts = 0;
    for (int m = 0; m < blocksWide * blocksHigh; ++m) {
        if (interval && m > 0 && m % interval == 0) {
            align();
            out += QByteArray("\xff", 1) + char(0xD0 + (restarts++ + (wrongRestartNumber ? 1 : 0)) % 8);
            std::fill(predictor.begin(), predictor.end(), 0);
        }
        for (int c = 0; c < components; ++c) {
            const int dc = value(c, m % blocksWide, m / blocksWide) - 128;
            const int diff = dc - predictor[size_t(c)];
            predictor[size_t(c)] = dc;
            int size = 0;
            while ((std::abs(diff) >> size) != 0)
                ++size;
            put(quint32(dcCode[size].first), dcCode[size].second);
            if (size)
                put(quint32(diff < 0 ? diff + (1 << size) - 1 : diff), size);
            put(0, 1); // end of block
        }
    }
    align();
    return out + QByteArray("\xff\xd9", 2);
}

// The JPEG with its frame declaring `size` instead, the data left as it is: a small file that claims a huge
// picture. With `progressive`, a sequential frame becomes a progressive one whose first scan carries the DC
// coefficients only.
inline QByteArray withDeclaredSize(QByteArray jpeg, QSize size, bool progressive = false)
{
    for (qsizetype at = 2; at + 4 <= jpeg.size();) {
        const auto marker = uchar(jpeg[at + 1]);
        const qsizetype body = at + 4;
        if (marker >= 0xC0 && marker <= 0xC2) {
            if (body + 5 > jpeg.size())
                break;
            jpeg[body + 1] = char(size.height() >> 8);
            jpeg[body + 2] = char(size.height() & 255);
            jpeg[body + 3] = char(size.width() >> 8);
            jpeg[body + 4] = char(size.width() & 255);
            if (progressive)
                jpeg[at + 1] = char(0xC2);
        } else if (marker == 0xDA) {
            if (progressive && body < jpeg.size())
                jpeg[body + 1 + 2 * uchar(jpeg[body]) + 1] = 0; // the spectral selection ends at the DC
            break;
        }
        at += 2 + (qsizetype(uchar(jpeg[at + 2])) << 8 | uchar(jpeg[at + 3]));
    }
    return jpeg;
}

} // namespace kovra::test
