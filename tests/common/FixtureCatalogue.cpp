#include "FixtureCatalogue.h"

#include "CodePage.h"
#include "FlatBlocksJpeg.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kovra::test {

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray readBytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool rawMkdir(const QByteArray& path)
{
    return ::mkdir(path.constData(), 0755) == 0;
}

bool rawWrite(const QByteArray& path, const QByteArray& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const bool ok = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && ok;
}

QByteArray rawRead(const QByteArray& path)
{
    QByteArray out;
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return out;
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
        out.append(buf, n);
    ::close(fd);
    return out;
}

QStringList fileNames(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

QByteArray cp932(const QString& text)
{
    const auto bytes = codepage::encode(text);
    if (!bytes)
        qFatal("Not code page 932: %s", qPrintable(text));
    return *bytes;
}

QByteArray cp932Lines(const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += cp932(line) + "\r\n";
    return bytes;
}

bool writeCp932(const QString& path, const QString& text)
{
    const auto bytes = codepage::encode(text);
    return bytes && writeBytes(path, *bytes);
}

bool writeCp932(const QString& path, const QStringList& lines)
{
    QByteArray bytes;
    for (const QString& line : lines) {
        const auto encoded = codepage::encode(line);
        if (!encoded)
            return false;
        bytes += *encoded + "\r\n";
    }
    return writeBytes(path, bytes);
}

Rgb::Rgb(Qt::GlobalColor colour) : red(0), green(0), blue(0)
{
    // As QColor has them, so that a test may compare with QColor(colour).
    auto set = [this](int r, int g, int b) {
        red = r;
        green = g;
        blue = b;
    };
    switch (colour) {
    case Qt::white:
    case Qt::color1:
        set(255, 255, 255);
        break;
    case Qt::red:
        set(255, 0, 0);
        break;
    case Qt::darkRed:
        set(128, 0, 0);
        break;
    case Qt::green:
        set(0, 255, 0);
        break;
    case Qt::darkGreen:
        set(0, 128, 0);
        break;
    case Qt::blue:
        set(0, 0, 255);
        break;
    case Qt::darkBlue:
        set(0, 0, 128);
        break;
    case Qt::cyan:
        set(0, 255, 255);
        break;
    case Qt::darkCyan:
        set(0, 128, 128);
        break;
    case Qt::magenta:
        set(255, 0, 255);
        break;
    case Qt::darkMagenta:
        set(128, 0, 128);
        break;
    case Qt::yellow:
        set(255, 255, 0);
        break;
    case Qt::darkYellow:
        set(128, 128, 0);
        break;
    case Qt::gray:
        set(160, 160, 164);
        break;
    case Qt::darkGray:
        set(128, 128, 128);
        break;
    case Qt::lightGray:
        set(192, 192, 192);
        break;
    case Qt::black:
    case Qt::color0:
    case Qt::transparent:
        break;
    }
}

namespace {

void appendLittleEndian(QByteArray& out, quint32 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

void appendBigEndian(QByteArray& out, quint32 v)
{
    for (int i = 3; i >= 0; --i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

quint32 crc32(const QByteArray& bytes)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= uchar(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

QByteArray pngChunk(const char* type, const QByteArray& data)
{
    QByteArray out;
    appendBigEndian(out, quint32(data.size()));
    const QByteArray typed = QByteArray(type) + data;
    out += typed;
    appendBigEndian(out, crc32(typed));
    return out;
}

int clampByte(double v)
{
    return std::clamp(int(v + 0.5), 0, 255);
}

} // namespace

QByteArray bmpPicture(QSize size, Rgb colour)
{
    const int rowBytes = (size.width() * 3 + 3) / 4 * 4;
    QByteArray row;
    for (int x = 0; x < size.width(); ++x)
        row.append(char(colour.blue)).append(char(colour.green)).append(char(colour.red));
    row.append(QByteArray(rowBytes - row.size(), 0));
    QByteArray b("BM");
    appendLittleEndian(b, quint32(54 + size.height() * rowBytes), 4);
    appendLittleEndian(b, 0, 4);
    appendLittleEndian(b, 54, 4);
    appendLittleEndian(b, 40, 4); // BITMAPINFOHEADER
    appendLittleEndian(b, quint32(size.width()), 4);
    appendLittleEndian(b, quint32(size.height()), 4);
    appendLittleEndian(b, 1, 2);
    appendLittleEndian(b, 24, 2);
    appendLittleEndian(b, 0, 4);
    appendLittleEndian(b, quint32(size.height() * rowBytes), 4);
    appendLittleEndian(b, 2835, 4);
    appendLittleEndian(b, 2835, 4);
    appendLittleEndian(b, 0, 4);
    appendLittleEndian(b, 0, 4);
    for (int y = 0; y < size.height(); ++y)
        b += row;
    return b;
}

QByteArray pngPicture(QSize size, Rgb colour)
{
    QByteArray header;
    appendBigEndian(header, quint32(size.width()));
    appendBigEndian(header, quint32(size.height()));
    header.append("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, no filter, no interlace
    QByteArray row(1, 0);                     // filter: none
    for (int x = 0; x < size.width(); ++x)
        row.append(char(colour.red)).append(char(colour.green)).append(char(colour.blue));
    QByteArray pixels;
    for (int y = 0; y < size.height(); ++y)
        pixels += row;
    // qCompress is a zlib stream behind a 4-byte length of its own.
    const QByteArray zlib = qCompress(pixels).mid(4);
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", header) + pngChunk("IDAT", zlib) +
           pngChunk("IEND", QByteArray());
}

QByteArray jpegPicture(QSize size, Rgb colour)
{
    const double r = colour.red, g = colour.green, b = colour.blue;
    const int ycc[3] = {clampByte(0.299 * r + 0.587 * g + 0.114 * b),
                        clampByte(128 - 0.168736 * r - 0.331264 * g + 0.5 * b),
                        clampByte(128 + 0.5 * r - 0.418688 * g - 0.081312 * b)};
    QByteArray out = flatBlocksJpeg((size.width() + 7) / 8, (size.height() + 7) / 8, 3, 0,
                                    [&ycc](int c, int, int) { return ycc[c]; });
    // The frame says the size itself; the decoder crops the last blocks to it.
    const qsizetype frame = out.indexOf(QByteArray("\xff\xc0", 2));
    out[frame + 5] = char(size.height() >> 8);
    out[frame + 6] = char(size.height() & 255);
    out[frame + 7] = char(size.width() >> 8);
    out[frame + 8] = char(size.width() & 255);
    return out;
}

QByteArray pictureFor(const QString& fileName, QSize size, Rgb colour)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == u"bmp")
        return bmpPicture(size, colour);
    if (suffix == u"png")
        return pngPicture(size, colour);
    if (suffix == u"jpg" || suffix == u"jpeg")
        return jpegPicture(size, colour);
    return QByteArray();
}

QByteArray tinyBmp()
{
    auto le = appendLittleEndian;
    const int rowBytes = 8; // 2 pixels of 3 bytes, padded to 4
    QByteArray b("BM");
    le(b, 54 + 2 * rowBytes, 4);
    le(b, 0, 4);
    le(b, 54, 4);
    le(b, 40, 4); // BITMAPINFOHEADER
    le(b, 2, 4);
    le(b, 2, 4);
    le(b, 1, 2);
    le(b, 24, 2);
    le(b, 0, 4);
    le(b, 2 * rowBytes, 4);
    le(b, 2835, 4);
    le(b, 2835, 4);
    le(b, 0, 4);
    le(b, 0, 4);
    b.append("\x00\x00\xff\x00\xff\x00\x00\x00", 8); // red, green
    b.append("\xff\x00\x00\xff\xff\xff\x00\x00", 8); // blue, white
    return b;
}

QByteArray tinyJpeg()
{
    return readBytes(QStringLiteral(KOVRA_TEST_DATA_DIR "/shelf.jpg"));
}

namespace fixture {

QString shelfTitle()
{
    return QStringLiteral("ソファ横の棚");
}

QByteArray longTitleBytes()
{
    QByteArray t;
    for (int i = 0; i < 32; ++i)
        t.append("\x83\x5c\x83\x5d"); // ソゾ
    t.append("\x92\x49");             // 棚
    return t;
}

QByteArray shelfImageIni()
{
    return QByteArray("[ImageFile]\r\n"
                      "Path=C:\\Program Files\\Kovra\\20030405060708\r\n"
                      "Filename=C:\\Program Files\\Kovra\\20030405060708\\shelf.jpg\r\n"
                      "Title=\x83\x5c\x83\x74\x83\x40\x89\xa1\x82\xcc\x92\x49\r\n");
}

QByteArray shelfArea0()
{
    return QByteArray("[Area]\r\n"
                      "Visible=True\r\n"
                      "Left=12.5\r\n"
                      "Top=20\r\n"
                      "Width=150\r\n"
                      "Height=187.5\r\n"
                      "[ItemCount]\r\n"
                      "Sum=5\r\n"
                      "[Items]\r\n"
                      "Item0=\x83\x5c\x81\x5b\x83\x58\r\n"                     // ソース
                      "Item1=\"\x83\x5d\x83\x45\x82\xcc\x92\x75\x95\xa8\"\r\n" // "ゾウの置物"
                      "Item3=\x93\x64\x92\x72\r\n");                           // 電池
}

QByteArray settingsIni()
{
    return QByteArray("[Window]\r\n"
                      "Top=4500\r\n"
                      "Left=-150\r\n"
                      "[Mine]\r\n"
                      "Note=kept\r\n");
}

bool create(const QString& root)
{
    const QDir r(root);
    const QString shelf = r.filePath(QString::fromUtf16(ShelfFolder));
    const QString box = r.filePath(QString::fromUtf16(BoxFolder));
    bool ok = writeBytes(r.filePath(QStringLiteral("KOVRA.INI")), settingsIni());
    ok = ok && writeBytes(r.filePath(QStringLiteral("manual/manual.htm")), "<html><body>manual</body></html>\r\n");
    ok = ok && writeBytes(shelf + QStringLiteral("/IMAGE.INI"), shelfImageIni());
    ok = ok && writeBytes(shelf + QStringLiteral("/shelf.jpg"), tinyJpeg()) && !tinyJpeg().isEmpty();
    ok = ok && writeBytes(shelf + QStringLiteral("/Area0.INI"), shelfArea0());
    ok = ok && writeBytes(shelf + QStringLiteral("/Area1.INI"), "[Area]\r\n"
                                                                "Visible=true\r\n"
                                                                "Left=1\r\n"
                                                                "Top=2\r\n"
                                                                "Width=3\r\n"
                                                                "Height=4\r\n");
    ok = ok && writeBytes(shelf + QStringLiteral("/Area2.INI"), "[Area]\r\n"
                                                                "Visible=True\r\n"
                                                                "Left=-20\r\n"
                                                                "Top=13.5\r\n"
                                                                "Width=40\r\n"
                                                                "Height=30\r\n");
    ok = ok &&
         writeBytes(box + QStringLiteral("/IMAGE.INI"), "[ImageFile]\r\n"
                                                        "Path=C:\\Program Files\\Kovra\\20030405060709\r\n"
                                                        "Filename=C:\\Program Files\\Kovra\\20030405060709\\box.bmp\r\n"
                                                        "Title=" +
                                                            longTitleBytes() + "\r\n");
    ok = ok && writeBytes(box + QStringLiteral("/box.bmp"), tinyBmp());
    ok = ok && r.mkpath(QString::fromUtf16(BareFolder));
    ok = ok && r.mkpath(QString::fromUtf16(UserFolder));
    return ok;
}

} // namespace fixture

namespace {

void mustWrite(const QString& path, const QByteArray& bytes)
{
    if (!writeBytes(path, bytes))
        qFatal("Test set-up: cannot write %s", qPrintable(path));
}

} // namespace

CatalogueBuilder::CatalogueBuilder()
{
    if (!m_dir.isValid())
        qFatal("Test set-up: no temporary folder: %s", qPrintable(m_dir.errorString()));
}

QString CatalogueBuilder::folder(const QString& relative) const
{
    return QDir::isAbsolutePath(relative) ? relative : m_dir.path() + u'/' + relative;
}

QString CatalogueBuilder::makeFolder(const QString& name) const
{
    const QString f = folder(name);
    if (!QDir().mkpath(f))
        qFatal("Test set-up: cannot make %s", qPrintable(f));
    return f;
}

void CatalogueBuilder::write(const QString& relative, const QByteArray& bytes) const
{
    mustWrite(folder(relative), bytes);
}

QByteArray CatalogueBuilder::read(const QString& relative) const
{
    return readBytes(folder(relative));
}

QString CatalogueBuilder::makeImage(const QString& name, const QByteArray& title, const QString& picture) const
{
    const QString f = makeFolder(name);
    QByteArray ini = "[ImageFile]\r\nPath=" + f.toLocal8Bit() + "\r\n";
    if (!picture.isEmpty())
        ini += "Filename=" + f.toLocal8Bit() + "/" + picture.toLocal8Bit() + "\r\n";
    ini += "Title=" + title + "\r\n";
    write(f + QStringLiteral("/IMAGE.INI"), ini);
    return f;
}

void CatalogueBuilder::makePicture(const QString& relative, QSize size, Rgb colour) const
{
    const QByteArray bytes = pictureFor(relative, size, colour);
    if (bytes.isEmpty())
        qFatal("Test set-up: no picture of the kind of %s", qPrintable(relative));
    write(relative, bytes);
}

QString CatalogueBuilder::addImage(const QString& name, const QByteArray& title, const QString& picture, QSize size,
                                   Rgb colour) const
{
    const QString f = makeImage(name, title, picture);
    makePicture(f + u'/' + picture, size, colour);
    return f;
}

void CatalogueBuilder::writeArea(const QString& image, int index, const QByteArray& body) const
{
    write(areaFile(image, index), body);
}

void CatalogueBuilder::addArea(const QString& image, int index, bool visible, const QRect& r, const QStringList& items,
                               const QString& left) const
{
    QStringList lines{QStringLiteral("[Area]"),
                      visible ? QStringLiteral("Visible=True") : QStringLiteral("Visible=False"),
                      QStringLiteral("Left=") + (left.isEmpty() ? QString::number(r.left()) : left),
                      QStringLiteral("Top=") + QString::number(r.top()),
                      QStringLiteral("Width=") + QString::number(r.width()),
                      QStringLiteral("Height=") + QString::number(r.height()),
                      QStringLiteral("[ItemCount]"),
                      QStringLiteral("Sum=") + QString::number(items.size()),
                      QStringLiteral("[Items]")};
    for (qsizetype k = 0; k < items.size(); ++k)
        lines.append(QStringLiteral("Item%1=").arg(k) + items[k]);
    writeArea(image, index, cp932Lines(lines));
}

QString areaFile(const QString& folder, int index)
{
    return folder + QStringLiteral("/Area%1.INI").arg(index);
}

QStringList areaFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("Area*"), QStringLiteral(".*.kovra-tmp-*")},
                                  QDir::Files | QDir::Hidden, QDir::Name);
}

QByteArray CatalogueBuilder::area(const char* visible, int left, int top, int width, int height)
{
    return QByteArray("[Area]\r\nVisible=") + visible + "\r\nLeft=" + QByteArray::number(left) +
           "\r\nTop=" + QByteArray::number(top) + "\r\nWidth=" + QByteArray::number(width) +
           "\r\nHeight=" + QByteArray::number(height) + "\r\n";
}

QByteArray areaSection(bool visible, int left, int top, int width, int height)
{
    return CatalogueBuilder::area(visible ? "True" : "False", left, top, width, height);
}

QByteArray itemSections(const QList<QByteArray>& items)
{
    QByteArray b = "[ItemCount]\r\nSum=" + QByteArray::number(items.size()) + "\r\n";
    if (items.isEmpty())
        return b;
    b += "[Items]\r\n";
    for (qsizetype k = 0; k < items.size(); ++k)
        b += "Item" + QByteArray::number(k) + "=" + items[k] + "\r\n";
    return b;
}

bool CatalogueBuilder::addFixtureCatalogue() const
{
    return fixture::create(m_dir.path());
}

} // namespace kovra::test
