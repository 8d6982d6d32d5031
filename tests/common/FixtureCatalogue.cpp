#include "FixtureCatalogue.h"

#include "CodePage.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
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

namespace {

void appendLittleEndian(QByteArray& out, quint32 v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(char((v >> (8 * i)) & 0xFF));
}

} // namespace

QByteArray picture(const QString& fileName, QSize size, const QColor& colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QByteArray format = QFileInfo(fileName).suffix().toLower().toLatin1();
    return image.save(&buffer, format.constData()) ? bytes : QByteArray();
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

QByteArray bmpHeader(int width, int height)
{
    auto le = appendLittleEndian;
    const quint32 pixelBytes = quint32(width) * quint32(height) * 4;
    QByteArray b("BM");
    le(b, 54 + pixelBytes, 4);
    le(b, 0, 4);
    le(b, 54, 4);
    le(b, 40, 4); // BITMAPINFOHEADER
    le(b, quint32(width), 4);
    le(b, quint32(height), 4);
    le(b, 1, 2);
    le(b, 32, 2);
    le(b, 0, 4); // no compression
    le(b, pixelBytes, 4);
    le(b, 2835, 4);
    le(b, 2835, 4);
    le(b, 0, 4);
    le(b, 0, 4);
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

void CatalogueBuilder::makePicture(const QString& relative, QSize size, const QColor& colour) const
{
    const QByteArray bytes = picture(relative, size, colour);
    if (bytes.isEmpty())
        qFatal("Test set-up: no picture of the kind of %s", qPrintable(relative));
    write(relative, bytes);
}

QString CatalogueBuilder::addImage(const QString& name, const QByteArray& title, const QString& picture, QSize size,
                                   const QColor& colour) const
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
