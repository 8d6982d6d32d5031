#include "HeifPicture.h"
#include "PeakMemory.h"
#include "TestPhotos.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

using kovra::HeifPicture;

namespace {

// An ftyp box: its size (given, or the real one), major brand, minor version, compatible brands.
QByteArray ftyp(const QByteArray& major, const QList<QByteArray>& compatible, quint32 size = 0,
                const QByteArray& minor = QByteArray(4, 0))
{
    QByteArray body = major + minor;
    for (const QByteArray& b : compatible)
        body += b;
    QByteArray box(4, 0);
    qToBigEndian<quint32>(size ? size : quint32(body.size() + 8), box.data());
    return box + "ftyp" + body;
}

// A photo-like picture: gradients and fine noise, which the codecs cannot flatten away.
QImage noisy(QSize size, bool alpha)
{
    QImage image(size, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
    quint32 noise = 12345;
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int n = int(noise >> 27);
            line[x] = qRgba((x * 255 / size.width() + n) & 0xff, (y * 255 / size.height() + n) & 0xff,
                            ((x + y) / 8 + n) & 0xff, alpha ? 128 + n : 255);
        }
    }
    return image;
}

} // namespace

class tst_HeifPicture : public QObject
{
    Q_OBJECT

private slots:
    // By content alone: an ftyp box at the start naming a HEIF brand, major or compatible, within the
    // box's own size.
    void recognised_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<bool>("heif");
        QTest::newRow("iPhone HEIC") << ftyp("heic", {"mif1", "MiHE", "MiPr", "miaf", "MiHB", "heic"}) << true;
        QTest::newRow("10-bit HEIC") << ftyp("heix", {"mif1", "heix"}) << true;
        QTest::newRow("generic brand first") << ftyp("mif1", {"heic", "miaf"}) << true;
        QTest::newRow("only mif1") << ftyp("mif1", {}) << true;
        QTest::newRow("AVIF") << ftyp("avif", {"mif1", "miaf", "MA1B"}) << true;
        QTest::newRow("animated AVIF") << ftyp("avis", {"msf1", "miaf"}) << true;
        QTest::newRow("HEVC sequence") << ftyp("hevc", {"msf1"}) << true;
        QTest::newRow("compatible brand last") << ftyp("isom", {"mp41", "iso2", "avif"}) << true;
        QTest::newRow("64-bit box size") << [] {
            QByteArray b = ftyp("heic", {"mif1"});
            QByteArray large(8, 0);
            qToBigEndian<quint64>(quint64(b.size() + 8), large.data());
            return QByteArray("\x00\x00\x00\x01", 4) + "ftyp" + large + b.mid(8);
        }() << true;
        QTest::newRow("MP4 video") << ftyp("isom", {"isom", "iso2", "avc1", "mp41"}) << false;
        QTest::newRow("QuickTime") << ftyp("qt  ", {"qt  "}) << false;
        QTest::newRow("brand only as minor version") << ftyp("isom", {"mp41"}, 0, "heic") << false;
        QTest::newRow("brand beyond the box's size") << ftyp("isom", {"mp41", "heic"}, 20) + "heic" << false;
        QTest::newRow("box too small for a brand") << ftyp("heic", {}, 12) << false;
        QTest::newRow("head cut short") << ftyp("heic", {"mif1"}).left(10) << false;
        QTest::newRow("ftyp not first") << QByteArray(4, 0) + ftyp("heic", {"mif1"}) << false;
        QTest::newRow("JPEG") << QByteArray::fromHex("ffd8ffe000104a46494600010100000100010000") << false;
        QTest::newRow("empty") << QByteArray() << false;
    }
    void recognised()
    {
        QFETCH(QByteArray, head);
        QFETCH(bool, heif);
        QCOMPARE(HeifPicture::isHeif(head), heif);
    }

    // The estimate that the memory budget is held to is never below what a decode holds: measured in a
    // child process from its resident size before the decode (the free heap returned) to its peak.
    void decodeWithinEstimate_data()
    {
        QTest::addColumn<bool>("av1");
        QTest::addColumn<int>("bitDepth");
        QTest::addColumn<bool>("fullChroma");
        QTest::addColumn<bool>("alpha");
        QTest::addColumn<bool>("grid");
        QTest::newRow("HEIC 8-bit 4:2:0") << false << 8 << false << false << false;
        QTest::newRow("HEIC 10-bit 4:2:0") << false << 10 << false << false << false;
        QTest::newRow("HEIC 10-bit 4:4:4 alpha") << false << 10 << true << true << false;
        QTest::newRow("HEIC grid 8-bit 4:2:0") << false << 8 << false << false << true;
        QTest::newRow("HEIC grid 10-bit 4:2:0") << false << 10 << false << false << true;
        QTest::newRow("AVIF 8-bit 4:2:0") << true << 8 << false << false << false;
        QTest::newRow("AVIF 8-bit 4:4:4 alpha") << true << 8 << true << true << false;
        QTest::newRow("AVIF grid 8-bit 4:2:0") << true << 8 << false << false << true;
    }
    void decodeWithinEstimate()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the sanitizer's own bookkeeping is part of every allocation");
#endif
        QFETCH(bool, av1);
        QFETCH(int, bitDepth);
        QFETCH(bool, fullChroma);
        QFETCH(bool, alpha);
        QFETCH(bool, grid);
        const QSize size(1600, 1200);
        const photos::HeifOptions options{.av1 = av1, .bitDepth = bitDepth, .fullChroma = fullChroma, .quality = 80};
        const QByteArray bytes = grid ? photos::heifGridBytes(noisy(size, alpha), QSize(512, 512), options)
                                      : photos::heifBytes(noisy(size, alpha), options);
        QVERIFY(!bytes.isEmpty());
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("noisy.heic"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        }
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const auto picture = HeifPicture::open(fd);
        QVERIFY(picture);
        QCOMPARE(picture->size(), size);
        QCOMPARE(picture->hasAlpha(), alpha);
        QCOMPARE(picture->bitDepth(), bitDepth);
        // Once here, so that the codec's first-use set-up is not counted as the decode's.
        QVERIFY(!HeifPicture::open(fd)->decode().isNull());
        const kovra::test::ChildRun run = kovra::test::runInChild(
            [&] {
                // What the encoder and the first decode freed stays resident in the heap unless returned.
                ::malloc_trim(0);
                kovra::test::resetPeak();
                const long before = kovra::test::statusKib("VmRSS");
                const QImage image = picture->decode();
                return QByteArray::number(qlonglong(before)) + ' ' + (image.size() == size ? '1' : '0');
            },
            qint64(2) << 30);
        ::close(fd);
        QVERIFY(run.finished);
        const QList<QByteArray> out = run.output.split(' ');
        QCOMPARE(out.value(1), QByteArray("1"));
        const qint64 held = (qint64(run.peakKib) - out[0].toLongLong()) * 1024;
        const double pixels = double(size.width()) * size.height();
        qInfo("held %.1f bytes a pixel, estimated %.1f, coded %.2f", double(held) / pixels,
              double(picture->decodeBytes()) / pixels, double(bytes.size()) / pixels);
        QVERIFY2(held <= picture->decodeBytes(), qPrintable(QString::number(held)));
    }

    // A grid whose own data names a larger canvas than its header would be allocated at that size by
    // libheif: such a file does not open. One that names its header's size opens and decodes.
    void gridCanvasAgainstHeader_data()
    {
        QTest::addColumn<bool>("av1");
        QTest::addColumn<QSize>("declared");
        QTest::addColumn<bool>("opens");
        QTest::newRow("HEIC as coded") << false << QSize(96, 64) << true;
        QTest::newRow("HEIC header smaller") << false << QSize(48, 32) << false;
        QTest::newRow("HEIC header long and thin") << false << QSize(96, 1) << false;
        QTest::newRow("AVIF header smaller") << true << QSize(95, 64) << false;
    }
    void gridCanvasAgainstHeader()
    {
        QFETCH(bool, av1);
        QFETCH(QSize, declared);
        QFETCH(bool, opens);
        const QSize size(96, 64);
        const QByteArray grid =
            photos::heifGridBytes(noisy(size, false), QSize(64, 64), photos::HeifOptions{.av1 = av1, .fast = true});
        QVERIFY(!grid.isEmpty());
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("grid.heic"));
        {
            QFile f(path);
            const QByteArray bytes = photos::withHeifDeclaredSize(grid, size, declared);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
        }
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        const auto picture = HeifPicture::open(fd);
        QCOMPARE(bool(picture), opens);
        if (picture)
            QCOMPARE(picture->decode().size(), size);
        ::close(fd);
    }
};

QTEST_GUILESS_MAIN(tst_HeifPicture)
#include "tst_heifpicture.moc"
