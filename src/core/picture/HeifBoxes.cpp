#include "HeifBoxes.h"

#include <QByteArray>
#include <QtEndian>

namespace kovra::heifboxes {
namespace {

// The metadata of a still picture is small; a larger meta box is not a picture this reader shows.
constexpr qint64 MaxMetaBytes = qint64(4) << 20;
constexpr int MaxTopLevelBoxes = 1024;

// A cursor over bytes that never reads past them: every read reports whether the bytes were there.
class Bytes
{
public:
    Bytes(const char* data, qint64 size) : m_data(data), m_size(size) {}
    bool skip(qint64 n)
    {
        if (n < 0 || n > m_size - m_at)
            return false;
        m_at += n;
        return true;
    }
    // An unsigned big-endian number of `width` bytes (0, 1, 2, 4 or 8).
    bool number(int width, quint64& value)
    {
        if (width < 0 || width > 8 || width > m_size - m_at)
            return false;
        value = 0;
        for (int i = 0; i < width; ++i)
            value = (value << 8) | quint8(m_data[m_at + i]);
        m_at += width;
        return true;
    }
    qint64 at() const { return m_at; }
    qint64 left() const { return m_size - m_at; }
    const char* here() const { return m_data + m_at; }

private:
    const char* m_data;
    qint64 m_size;
    qint64 m_at = 0;
};

struct Box
{
    quint32 type = 0;
    qint64 payload = 0; // offset of the payload
    qint64 size = 0;    // of the payload
};

constexpr quint32 fourcc(const char (&s)[5])
{
    return quint32(quint8(s[0])) << 24 | quint32(quint8(s[1])) << 16 | quint32(quint8(s[2])) << 8 | quint8(s[3]);
}

// The box header at `at` of a region of `end` bytes.
std::optional<Box> boxAt(const char* header, qint64 available, qint64 at, qint64 end)
{
    Bytes b(header, available);
    quint64 size = 0, type = 0;
    if (!b.number(4, size) || !b.number(4, type))
        return std::nullopt;
    qint64 head = 8;
    if (size == 1) {
        if (!b.number(8, size))
            return std::nullopt;
        head = 16;
    } else if (size == 0) {
        size = quint64(end - at);
    }
    if (size < quint64(head) || size > quint64(end - at))
        return std::nullopt;
    return Box{quint32(type), at + head, qint64(size) - head};
}

// The children of a payload held in memory.
template <typename Visit>
bool eachChild(const QByteArray& data, qint64 from, qint64 to, Visit&& visit)
{
    for (qint64 at = from; at < to;) {
        const auto box = boxAt(data.constData() + at, to - at, at, to);
        if (!box)
            return false;
        if (!visit(*box))
            return true;
        at = box->payload + box->size;
    }
    return true;
}

struct Location
{
    int method = 0; // 0: in the file, 1: in the idat box
    quint64 offset = 0;
    quint64 length = 0; // 0: to the end
};

std::optional<Location> locate(const QByteArray& meta, const Box& iloc, quint32 itemId)
{
    Bytes b(meta.constData() + iloc.payload, iloc.size);
    quint64 version = 0, sizes = 0, more = 0, count = 0;
    if (!b.number(1, version) || !b.skip(3) || version > 2 || !b.number(1, sizes) || !b.number(1, more))
        return std::nullopt;
    const int offsetSize = int(sizes >> 4), lengthSize = int(sizes & 15), baseSize = int(more >> 4);
    const int indexSize = version >= 1 ? int(more & 15) : 0;
    if (!b.number(version < 2 ? 2 : 4, count))
        return std::nullopt;
    for (quint64 i = 0; i < count; ++i) {
        quint64 id = 0, method = 0, base = 0, extents = 0;
        if (!b.number(version < 2 ? 2 : 4, id))
            return std::nullopt;
        if (version >= 1 && !b.number(2, method))
            return std::nullopt;
        if (!b.skip(2) || !b.number(baseSize, base) || !b.number(2, extents))
            return std::nullopt;
        std::optional<Location> first;
        for (quint64 e = 0; e < extents; ++e) {
            quint64 index = 0, offset = 0, length = 0;
            if (!b.number(indexSize, index) || !b.number(offsetSize, offset) || !b.number(lengthSize, length))
                return std::nullopt;
            if (e == 0)
                first = Location{int(method & 15), base + offset, length};
        }
        if (id == itemId)
            return first;
    }
    return std::nullopt;
}

} // namespace

ItemCanvas derivedCanvas(const ReadAt& read, qint64 fileSize, quint32 itemId)
{
    ItemCanvas result;
    // The meta box among the top-level boxes.
    std::optional<Box> metaBox;
    qint64 at = 0;
    for (int n = 0; at < fileSize && n < MaxTopLevelBoxes && !metaBox; ++n) {
        char header[16];
        const qint64 have = std::min<qint64>(16, fileSize - at);
        if (!read(at, have, header))
            return result;
        const auto box = boxAt(header, have, at, fileSize);
        if (!box)
            return result;
        if (box->type == fourcc("meta"))
            metaBox = box;
        at = box->payload + box->size;
    }
    if (!metaBox || metaBox->size > MaxMetaBytes || metaBox->size < 4)
        return result;
    QByteArray meta(metaBox->size, Qt::Uninitialized);
    if (!read(metaBox->payload, metaBox->size, meta.data()))
        return result;

    std::optional<Box> iinf, iloc, idat;
    eachChild(meta, 4, meta.size(), [&](const Box& box) {
        if (box.type == fourcc("iinf"))
            iinf = box;
        else if (box.type == fourcc("iloc"))
            iloc = box;
        else if (box.type == fourcc("idat"))
            idat = box;
        return true;
    });
    if (!iinf || iinf->size < 4)
        return result;

    // The item's type from its infe entry (versions 2 and 3 carry it).
    quint32 type = 0;
    {
        Bytes b(meta.constData() + iinf->payload, iinf->size);
        quint64 version = 0;
        b.number(1, version);
        const qint64 entries = iinf->payload + 4 + (version == 0 ? 2 : 4);
        eachChild(meta, entries, iinf->payload + iinf->size, [&](const Box& box) {
            if (box.type != fourcc("infe"))
                return true;
            Bytes e(meta.constData() + box.payload, box.size);
            quint64 v = 0, id = 0, t = 0;
            if (!e.number(1, v) || !e.skip(3) || v < 2 || !e.number(v == 2 ? 2 : 4, id) || !e.skip(2) ||
                !e.number(4, t))
                return true;
            if (id != itemId)
                return true;
            type = quint32(t);
            return false;
        });
    }
    const bool grid = type == fourcc("grid");
    if (!grid && type != fourcc("iovl"))
        return result;
    result.derived = true;
    if (!iloc)
        return result;
    const auto where = locate(meta, *iloc, itemId);
    if (!where)
        return result;

    // The item data: a grid's flags, rows and columns, then its size; an overlay's flags, four fill
    // values, then its size. Bit 0 of the flags makes the size 32 bits a side.
    const qint64 want = grid ? 4 + 8 : 2 + 8 + 8;
    char data[20] = {};
    qint64 have = 0;
    if (where->method == 1) {
        if (!idat || where->offset >= quint64(idat->size))
            return result;
        have = std::min<qint64>(want, idat->size - qint64(where->offset));
        std::memcpy(data, meta.constData() + idat->payload + qint64(where->offset), size_t(have));
    } else if (where->method == 0) {
        if (where->offset >= quint64(fileSize))
            return result;
        have = std::min<qint64>(want, fileSize - qint64(where->offset));
        if (!read(qint64(where->offset), have, data))
            return result;
    } else {
        return result;
    }
    if (where->length > 0)
        have = std::min<qint64>(have, qint64(std::min<quint64>(where->length, quint64(want))));
    Bytes b(data, have);
    quint64 flags = 0, w = 0, h = 0;
    if (!b.skip(1) || !b.number(1, flags) || !b.skip(grid ? 2 : 8))
        return result;
    const int side = (flags & 1) ? 4 : 2;
    if (!b.number(side, w) || !b.number(side, h))
        return result;
    if (w > quint64(std::numeric_limits<int>::max()) || h > quint64(std::numeric_limits<int>::max()))
        w = h = quint64(std::numeric_limits<int>::max());
    result.size = QSize(int(w), int(h));
    return result;
}

} // namespace kovra::heifboxes
