#include "JpegEighth.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

namespace kovra {
namespace {

// Bits of a code looked up at once; longer codes (rare in photos) take the slow path.
constexpr int Look = 10;
// Bits of AC symbols skipped at once.
constexpr int Run = 14;
// Zero bytes after the entropy data: a block reads at most 64 symbols of at most 31 bits past its start,
// which is checked against the data's end, so every read stays inside the buffer.
constexpr size_t Padding = 64 * 32 / 8 + 16;
// Beyond this many blocks the general reader (with its allocation limit) decides.
constexpr qint64 MaxBlocks = qint64(64) << 20;

struct Huffman
{
    bool defined = false;
    std::array<uint8_t, 1 << Look> fastLength{}; // 0: a longer code, or none
    std::array<uint8_t, 1 << Look> fastValue{};
    // AC tables: the bits of code and value together, and the step of the coefficient index (0 ends the
    // block), for the codes found by the fast lookup.
    std::array<uint8_t, 1 << Look> acBits{};
    std::array<uint8_t, 1 << Look> acStep{};
    std::array<int32_t, 17> maxCode{};
    std::array<int32_t, 17> minCode{};
    std::array<int32_t, 17> firstValue{};
    std::array<uint8_t, 256> values{};

    // AC tables: the whole symbols (code and value) within the next Run bits, up to and with an end of
    // block: their bits, the step of the coefficient index, whether the block ended. Zero bits: the first
    // symbol does not fit.
    struct Symbols
    {
        uint8_t bits = 0;
        uint8_t step = 0;
        bool end = false;
    };
    std::vector<Symbols> runs;

    // From the counts of codes of each length 1..16 and their values; false for a table no prefix code has.
    bool build(const uint8_t* counts, const uint8_t* vals, int total, bool acTable)
    {
        std::copy(vals, vals + total, values.begin());
        fastLength.fill(0);
        uint32_t code = 0;
        int k = 0;
        for (int length = 1; length <= 16; ++length) {
            const int n = counts[length - 1];
            minCode[size_t(length)] = int32_t(code);
            firstValue[size_t(length)] = k;
            maxCode[size_t(length)] = n ? int32_t(code + uint32_t(n) - 1) : -1;
            for (int i = 0; i < n; ++i, ++k, ++code) {
                if (code >= (1u << length))
                    return false;
                if (length <= Look) {
                    const uint32_t from = code << (Look - length);
                    const uint32_t to = (code + 1) << (Look - length);
                    for (uint32_t e = from; e < to; ++e) {
                        fastLength[e] = uint8_t(length);
                        fastValue[e] = values[size_t(k)];
                    }
                }
            }
            code <<= 1;
        }
        for (size_t e = 0; e < fastLength.size(); ++e) {
            const int rs = fastValue[e];
            const int size = rs & 15;
            const int run = rs >> 4;
            acBits[e] = fastLength[e] ? uint8_t(fastLength[e] + size) : 0;
            acStep[e] = uint8_t(size ? run + 1 : run == 15 ? 16 : 0);
        }
        runs.clear();
        if (acTable) {
            runs.resize(size_t(1) << Run);
            for (uint32_t window = 0; window < (1u << Run); ++window) {
                Symbols& r = runs[window];
                for (int used = 0; used < Run && !r.end;) {
                    const uint32_t next = ((window << used) & ((1u << Run) - 1)) >> (Run - Look);
                    const int bits = acBits[next];
                    if (!bits || fastLength[next] > Run - used || bits > Run - used || r.step + acStep[next] > 63)
                        break;
                    used += bits;
                    r.bits = uint8_t(used);
                    r.step = uint8_t(r.step + acStep[next]);
                    r.end = acStep[next] == 0;
                }
            }
        }
        defined = true;
        return true;
    }

    // A code longer than the fast lookup: its value and length, or nullopt when no code matches.
    std::optional<std::pair<int, int>> slow(uint64_t bits) const
    {
        for (int length = Look + 1; length <= 16; ++length) {
            const auto code = int32_t(bits >> (64 - length));
            if (code <= maxCode[size_t(length)])
                return std::pair{int(values[size_t(firstValue[size_t(length)] + code - minCode[size_t(length)])]),
                                 length};
        }
        return std::nullopt;
    }
};

struct Component
{
    int id = 0;
    int h = 1;
    int v = 1;
    int quant = 0;
    int dcTable = 0;
    int acTable = 0;
    int blocksWide = 0; // of its plane
    int blocksHigh = 0;
    std::vector<uint8_t> plane; // the mean of every block, as a pixel value
};

inline uint64_t peek(const uint8_t* data, uint64_t bit)
{
    uint64_t w;
    std::memcpy(&w, data + (bit >> 3), sizeof w);
    return __builtin_bswap64(w) << (bit & 7);
}

inline int extend(uint32_t value, int size)
{
    return value < (1u << (size - 1)) ? int(value) - int((1u << size) - 1) : int(value);
}

// One block: the difference of its DC coefficient; the AC coefficients skipped by the lengths of codes
// and values. False for a code no table holds or a DC size 8-bit samples cannot have.
inline bool decodeBlock(const uint8_t* bytes, uint64_t& bit, const Huffman& dc, const Huffman& ac, int& diff)
{
    uint64_t w = peek(bytes, bit);
    int size = dc.fastValue[w >> (64 - Look)];
    int length = dc.fastLength[w >> (64 - Look)];
    if (!length) {
        const auto code = dc.slow(w);
        if (!code)
            return false;
        size = code->first;
        length = code->second;
    }
    if (size > 11)
        return false;
    bit += uint64_t(length);
    diff = 0;
    if (size) {
        diff = extend(uint32_t(peek(bytes, bit) >> (64 - size)), size);
        bit += uint64_t(size);
    }
    for (int k = 1; k < 64;) {
        w = peek(bytes, bit);
        // Several symbols at once, while the block cannot end within them but by an end of block.
        if (const Huffman::Symbols& r = ac.runs[size_t(w >> (64 - Run))]; r.bits && k + r.step < 64) {
            bit += r.bits;
            if (r.end)
                break;
            k += r.step;
            continue;
        }
        const size_t e = size_t(w >> (64 - Look));
        if (ac.acBits[e]) {
            bit += ac.acBits[e];
            if (!ac.acStep[e])
                break;
            k += ac.acStep[e];
            continue;
        }
        const auto code = ac.slow(w);
        if (!code)
            return false;
        const int rs = code->first;
        bit += uint64_t(code->second + (rs & 15));
        if (rs & 15)
            k += (rs >> 4) + 1;
        else if ((rs >> 4) == 15)
            k += 16;
        else
            break;
    }
    return true;
}

struct Slot
{
    Component* component;
    size_t plane; // the component's index
    const Huffman* dc;
    const Huffman* ac;
    int bx;
    int by;
    int64_t step; // the DC quantisation step
};

class Decoder
{
public:
    explicit Decoder(QByteArrayView data)
        : m_data(reinterpret_cast<const uint8_t*>(data.data())), m_size(size_t(data.size()))
    {}

    QImage decode()
    {
        if (m_size < 4 || m_data[0] != 0xFF || m_data[1] != 0xD8)
            return {};
        size_t at = 2;
        for (;;) {
            // A marker: 0xFF, any fill bytes 0xFF, its code.
            if (at >= m_size || m_data[at] != 0xFF)
                return {};
            while (at < m_size && m_data[at] == 0xFF)
                ++at;
            if (at >= m_size)
                return {};
            const uint8_t marker = m_data[at++];
            if (marker == 0xD8 || marker == 0xD9 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01)
                return {}; // no picture before its scan
            if (at + 2 > m_size)
                return {};
            const size_t length = size_t(m_data[at]) << 8 | m_data[at + 1];
            if (length < 2 || at + length > m_size)
                return {};
            const uint8_t* segment = m_data + at + 2;
            const size_t n = length - 2;
            at += length;
            switch (marker) {
            case 0xC0: // baseline
            case 0xC1: // extended sequential, Huffman
                if (!frame(segment, n))
                    return {};
                break;
            case 0xC4:
                if (!huffmanTables(segment, n))
                    return {};
                break;
            case 0xDB:
                if (!quantTables(segment, n))
                    return {};
                break;
            case 0xDD:
                if (n != 2)
                    return {};
                m_restartInterval = int(segment[0]) << 8 | segment[1];
                break;
            case 0xEE: // Adobe: its colour transforms are the general reader's
                return {};
            case 0xDA:
                return scan(segment, n, at);
            default:
                if ((marker >= 0xC2 && marker <= 0xCF) && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
                    return {}; // progressive, lossless, hierarchical, arithmetic
                break;         // APPn, COM, DNL and the like
            }
        }
    }

private:
    bool frame(const uint8_t* s, size_t n)
    {
        if (m_haveFrame || n < 6 || s[0] != 8)
            return false;
        m_height = int(s[1]) << 8 | s[2];
        m_width = int(s[3]) << 8 | s[4];
        const int count = s[5];
        if (m_width < 8 || m_height < 8 || (count != 1 && count != 3) || n != size_t(6 + 3 * count))
            return false;
        int sampling = 0;
        for (int c = 0; c < count; ++c) {
            Component comp;
            comp.id = s[6 + 3 * c];
            comp.h = s[7 + 3 * c] >> 4;
            comp.v = s[7 + 3 * c] & 15;
            comp.quant = s[8 + 3 * c];
            if (comp.h < 1 || comp.h > 4 || comp.v < 1 || comp.v > 4 || comp.quant > 3)
                return false;
            if (count == 1)
                comp.h = comp.v = 1; // a single component is never interleaved: one block an MCU
            sampling += comp.h * comp.v;
            m_components.push_back(comp);
        }
        // Ids R, G, B without JFIF: an RGB picture, the general reader's.
        if (count == 3 && m_components[0].id == 'R' && m_components[1].id == 'G' && m_components[2].id == 'B')
            return false;
        m_haveFrame = sampling <= 10;
        return m_haveFrame;
    }

    bool huffmanTables(const uint8_t* s, size_t n)
    {
        size_t at = 0;
        while (at < n) {
            if (at + 17 > n)
                return false;
            const int kind = s[at] >> 4;
            const int slot = s[at] & 15;
            if (kind > 1 || slot > 3)
                return false;
            const uint8_t* counts = s + at + 1;
            int total = 0;
            for (int i = 0; i < 16; ++i)
                total += counts[i];
            if (total > 256 || at + 17 + size_t(total) > n)
                return false;
            Huffman& table = kind == 0 ? m_dc[size_t(slot)] : m_ac[size_t(slot)];
            if (!table.build(counts, s + at + 17, total, kind == 1))
                return false;
            at += 17 + size_t(total);
        }
        return true;
    }

    bool quantTables(const uint8_t* s, size_t n)
    {
        size_t at = 0;
        while (at < n) {
            const int precision = s[at] >> 4;
            const int slot = s[at] & 15;
            const size_t size = precision == 0 ? 64 : 128;
            if (precision > 1 || slot > 3 || at + 1 + size > n)
                return false;
            // Only the DC step is needed.
            m_quant[size_t(slot)] = precision == 0 ? s[at + 1] : (int(s[at + 1]) << 8 | s[at + 2]);
            m_haveQuant[size_t(slot)] = true;
            at += 1 + size;
        }
        return true;
    }

    // The scan header, then the entropy-coded data that follows it at `at`.
    QImage scan(const uint8_t* header, size_t n, size_t at)
    {
        if (!m_haveFrame || n < 1)
            return {};
        const int count = header[0];
        if (count != int(m_components.size()) || n != size_t(4 + 2 * count))
            return {};
        // Spectral selection 0..63 and no successive approximation: sequential.
        if (header[1 + 2 * count] != 0 || header[2 + 2 * count] != 63 || header[3 + 2 * count] != 0)
            return {};
        std::vector<Component*> order;
        for (int c = 0; c < count; ++c) {
            const int id = header[1 + 2 * c];
            const auto it =
                std::find_if(m_components.begin(), m_components.end(), [&](const Component& k) { return k.id == id; });
            if (it == m_components.end() || std::find(order.begin(), order.end(), &*it) != order.end())
                return {};
            it->dcTable = header[2 + 2 * c] >> 4;
            it->acTable = header[2 + 2 * c] & 15;
            if (it->dcTable > 3 || it->acTable > 3 || !m_dc[size_t(it->dcTable)].defined ||
                !m_ac[size_t(it->acTable)].defined || !m_haveQuant[size_t(it->quant)])
                return {};
            order.push_back(&*it);
        }

        int hMax = 1, vMax = 1;
        for (const Component& c : m_components) {
            hMax = std::max(hMax, c.h);
            vMax = std::max(vMax, c.v);
        }
        const int mcusWide = (m_width + 8 * hMax - 1) / (8 * hMax);
        const int mcusHigh = (m_height + 8 * vMax - 1) / (8 * vMax);
        qint64 blocks = 0;
        for (Component& c : m_components) {
            c.blocksWide = mcusWide * c.h;
            c.blocksHigh = mcusHigh * c.v;
            blocks += qint64(c.blocksWide) * c.blocksHigh;
        }
        if (blocks > MaxBlocks)
            return {};

        entropyData(at);
        // Every block takes at least two bits (its DC size and its end): too little data is a truncated file.
        const uint64_t totalBits = uint64_t(m_bytes.size() - Padding) * 8;
        if (totalBits < uint64_t(blocks) * 2)
            return {};
        for (Component& c : m_components)
            c.plane.resize(size_t(c.blocksWide) * size_t(c.blocksHigh));

        // The blocks of one MCU in stream order.
        std::vector<Slot> layout;
        for (Component* c : order)
            for (int by = 0; by < c->v; ++by)
                for (int bx = 0; bx < c->h; ++bx)
                    layout.push_back({c, size_t(c - m_components.data()), &m_dc[size_t(c->dcTable)],
                                      &m_ac[size_t(c->acTable)], bx, by, m_quant[size_t(c->quant)]});

        const uint8_t* bytes = m_bytes.data();
        const qint64 mcus = qint64(mcusWide) * mcusHigh;
        uint64_t bit = 0;
        std::array<int, 3> predictor{};
        auto place = [&](const Slot& slot, qint64 m, int diff) {
            int& pred = predictor[slot.plane];
            pred += diff;
            if (pred > 32767 || pred < -32768)
                return false;
            // The block's mean as libjpeg's 1x1 transform gives it.
            const int64_t mean = ((int64_t(pred) * slot.step + 4) >> 3) + 128;
            Component& c = *slot.component;
            const size_t x = size_t(int(m % mcusWide) * c.h + slot.bx);
            const size_t y = size_t(int(m / mcusWide) * c.v + slot.by);
            c.plane[y * size_t(c.blocksWide) + x] = uint8_t(std::clamp<int64_t>(mean, 0, 255));
            return true;
        };
        for (qint64 m = 0; m < mcus; ++m) {
            if (m_restartInterval > 0 && m > 0 && m % m_restartInterval == 0) {
                const qint64 r = m / m_restartInterval - 1;
                if (r >= qint64(m_restarts.size()) || m_restarts[size_t(r)].second != int(r % 8))
                    return {};
                bit = uint64_t(m_restarts[size_t(r)].first) * 8;
                predictor.fill(0);
            }
            for (size_t s = 0; s < layout.size(); ++s) {
                if (bit > totalBits)
                    return {};
                int diff = 0;
                if (!decodeBlock(bytes, bit, *layout[s].dc, *layout[s].ac, diff) || !place(layout[s], m, diff))
                    return {};
            }
        }
        if (bit > totalBits)
            return {};
        return picture(hMax, vMax);
    }

    // The entropy-coded bytes with the stuffed zero bytes removed and the restart markers taken out (the
    // offset where each interval begins, with the marker's number), padded with zeros.
    void entropyData(size_t at)
    {
        m_bytes.clear();
        m_bytes.reserve(m_size - at + Padding);
        while (at < m_size) {
            const void* ff = std::memchr(m_data + at, 0xFF, m_size - at);
            const size_t end = ff ? size_t(static_cast<const uint8_t*>(ff) - m_data) : m_size;
            m_bytes.insert(m_bytes.end(), m_data + at, m_data + end);
            at = end;
            if (at >= m_size)
                break;
            size_t next = at + 1;
            while (next < m_size && m_data[next] == 0xFF)
                ++next;
            if (next >= m_size)
                break;
            const uint8_t marker = m_data[next];
            if (marker == 0x00) {
                m_bytes.push_back(0xFF);
            } else if (marker >= 0xD0 && marker <= 0xD7) {
                m_restarts.emplace_back(m_bytes.size(), marker - 0xD0);
            } else {
                break; // the end of the scan
            }
            at = next + 1;
        }
        m_bytes.insert(m_bytes.end(), Padding, 0);
    }

    QImage picture(int hMax, int vMax) const
    {
        const int w = m_width / 8;
        const int h = m_height / 8;
        if (m_components.size() == 1) {
            QImage image(w, h, QImage::Format_Grayscale8);
            if (image.isNull())
                return {};
            const Component& c = m_components[0];
            for (int y = 0; y < h; ++y)
                std::memcpy(image.scanLine(y), c.plane.data() + size_t(y) * size_t(c.blocksWide), size_t(w));
            return image;
        }
        QImage image(w, h, QImage::Format_RGB32);
        if (image.isNull())
            return {};
        const Component& cy = m_components[0];
        const Component& cb = m_components[1];
        const Component& cr = m_components[2];
        // Each component's block under a pixel of the eighth: plain replication of subsampled ones.
        const auto columns = size_t(w);
        std::vector<size_t> cbX(columns), crX(columns), yX(columns);
        for (int x = 0; x < w; ++x) {
            yX[size_t(x)] = size_t(x * cy.h / hMax);
            cbX[size_t(x)] = size_t(x * cb.h / hMax);
            crX[size_t(x)] = size_t(x * cr.h / hMax);
        }
        for (int y = 0; y < h; ++y) {
            const uint8_t* rowY = cy.plane.data() + size_t(y * cy.v / vMax) * size_t(cy.blocksWide);
            const uint8_t* rowCb = cb.plane.data() + size_t(y * cb.v / vMax) * size_t(cb.blocksWide);
            const uint8_t* rowCr = cr.plane.data() + size_t(y * cr.v / vMax) * size_t(cr.blocksWide);
            auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
            for (int x = 0; x < w; ++x) {
                // libjpeg's fixed-point YCbCr to RGB (16 fraction bits).
                const int luma = rowY[yX[size_t(x)]];
                const int blue = rowCb[cbX[size_t(x)]] - 128;
                const int red = rowCr[crX[size_t(x)]] - 128;
                const int r = luma + ((91881 * red + 32768) >> 16);
                const int g = luma + ((-22554 * blue - 46802 * red + 32768) >> 16);
                const int b = luma + ((116130 * blue + 32768) >> 16);
                out[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
            }
        }
        return image;
    }

    const uint8_t* m_data;
    size_t m_size;
    bool m_haveFrame = false;
    int m_width = 0;
    int m_height = 0;
    int m_restartInterval = 0;
    std::vector<Component> m_components;
    std::array<Huffman, 4> m_dc{};
    std::array<Huffman, 4> m_ac{};
    std::array<int, 4> m_quant{};
    std::array<bool, 4> m_haveQuant{};
    std::vector<uint8_t> m_bytes;
    std::vector<std::pair<size_t, int>> m_restarts;
};

} // namespace

QImage decodeJpegEighth(QByteArrayView data)
{
    return Decoder(data).decode();
}

} // namespace kovra
