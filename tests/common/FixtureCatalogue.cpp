#include "FixtureCatalogue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
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

QByteArray tinyBmp()
{
    auto le = [](QByteArray& out, quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.append(char((v >> (8 * i)) & 0xFF));
    };
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
} // namespace kovra::test
