#include "PictureSource.h"
#include "TestPhotos.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <sys/time.h>

using kovra::PictureSource;

namespace {

const QColor Red(255, 0, 0);
const QColor Green(0, 255, 0);

// A JPEG of size `size`: white, a red block at the top-left corner and a green one at the top-right, each
// a quarter of the height. With an orientation, a minimal EXIF APP1 segment (big-endian TIFF, IFD0 holding
// only tag 0x0112) follows the start-of-image marker.
QByteArray cornerJpeg(QSize size, int orientation = 0)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    const int block = size.height() / 4;
    QPainter(&image).fillRect(0, 0, block, block, Red);
    QPainter(&image).fillRect(size.width() - block, 0, block, block, Green);
    QByteArray jpeg = photos::jpegBytes(image, 90);
    if (orientation > 0 && !jpeg.isEmpty())
        jpeg.insert(2, photos::exifOrientationSegment(orientation));
    return jpeg;
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

bool isNear(QColor c, QColor want)
{
    return std::abs(c.red() - want.red()) < 60 && std::abs(c.green() - want.green()) < 60 &&
           std::abs(c.blue() - want.blue()) < 60;
}

// The colour at the middle of the corner block `corner` (0 TL, 1 TR, 2 BR, 3 BL) of an upright image.
QColor cornerColour(const QImage& image, int corner)
{
    const int inset = std::min(image.width(), image.height()) / 8;
    const int x = corner == 1 || corner == 2 ? image.width() - 1 - inset : inset;
    const int y = corner >= 2 ? image.height() - 1 - inset : inset;
    return image.pixelColor(x, y);
}

} // namespace

class tst_PictureSource : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

    QString file(const QString& name) const { return dir.filePath(name); }

private slots:
    void initTestCase() { QVERIFY(dir.isValid()); }

    // Each EXIF orientation: the file's red top-left and green top-right blocks land on the expected corners
    // of the upright picture, at full size and at a reduced decode, and fileToUpright() maps them there.
    void orientation_data()
    {
        QTest::addColumn<int>("exif");
        QTest::addColumn<int>("redCorner");
        QTest::addColumn<int>("greenCorner");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QSize>("fileSize");
        const QSize small(256, 128);
        QTest::newRow("absent") << 0 << 0 << 1 << 1.0 << small;
        for (double scale : {1.0, 0.25, 0.125}) {
            const QByteArray at = scale == 1.0 ? " full" : scale == 0.25 ? " reduced" : " eighth";
            QTest::newRow(("1 normal" + at).constData()) << 1 << 0 << 1 << scale << small;
            QTest::newRow(("2 mirrored" + at).constData()) << 2 << 1 << 0 << scale << small;
            QTest::newRow(("3 half turn" + at).constData()) << 3 << 2 << 3 << scale << small;
            QTest::newRow(("4 flipped" + at).constData()) << 4 << 3 << 2 << scale << small;
            QTest::newRow(("5 transposed" + at).constData()) << 5 << 0 << 3 << scale << small;
            QTest::newRow(("6 quarter clockwise" + at).constData()) << 6 << 1 << 2 << scale << small;
            QTest::newRow(("7 transversed" + at).constData()) << 7 << 2 << 1 << scale << small;
            QTest::newRow(("8 quarter anticlockwise" + at).constData()) << 8 << 3 << 0 << scale << small;
        }
        // Large enough (34 megapixels) for a quarter turn within the decoded buffer, both ways.
        const QSize large(8192, 4160);
        QTest::newRow("6 quarter clockwise large") << 6 << 1 << 2 << 1.0 << large;
        QTest::newRow("8 quarter anticlockwise large") << 8 << 3 << 0 << 1.0 << large;
    }
    void orientation()
    {
        QFETCH(int, exif);
        QFETCH(int, redCorner);
        QFETCH(int, greenCorner);
        QFETCH(double, scale);
        QFETCH(QSize, fileSize);
        const QString path = file(QStringLiteral("orient%1.jpg").arg(exif));
        QVERIFY(writeFile(path, cornerJpeg(fileSize, exif)));
        const auto source = PictureSource::open(path);
        QVERIFY(source);
        QCOMPARE(source->fileSize(), fileSize);
        QCOMPARE(source->orientation(), exif == 0 ? 1 : exif);
        const QSize upright = exif >= 5 ? fileSize.transposed() : fileSize;
        QCOMPARE(source->uprightSize(), upright);

        const QImage image = source->image(scale);
        QCOMPARE(image.size(), upright * scale);
        QVERIFY2(isNear(cornerColour(image, redCorner), Red), qPrintable(cornerColour(image, redCorner).name()));
        QVERIFY2(isNear(cornerColour(image, greenCorner), Green), qPrintable(cornerColour(image, greenCorner).name()));

        // The mapping takes the file's blocks onto the same corners of the upright grid.
        const QRect corners[] = {{0, 0, 32, 32},
                                 {upright.width() - 32, 0, 32, 32},
                                 {upright.width() - 32, upright.height() - 32, 32, 32},
                                 {0, upright.height() - 32, 32, 32}};
        const QTransform map = source->fileToUpright();
        QCOMPARE(map.mapRect(QRect(0, 0, 32, 32)), corners[redCorner]);
        QCOMPARE(map.mapRect(QRect(fileSize.width() - 32, 0, 32, 32)), corners[greenCorner]);
    }

    // The reduction is the largest of 8, 4, 2 whose size (rounded down) still covers the shown size.
    void reductionChoice_data()
    {
        QTest::addColumn<QSize>("upright");
        QTest::addColumn<double>("scale");
        QTest::addColumn<int>("reduction");
        const QSize photo(4000, 3000);
        QTest::newRow("100 %") << photo << 1.0 << 1;
        QTest::newRow("200 %") << photo << 2.0 << 1;
        QTest::newRow("just under 100 %") << photo << 0.99 << 1;
        QTest::newRow("just over half") << photo << 0.51 << 1;
        QTest::newRow("half") << photo << 0.5 << 2;
        QTest::newRow("quarter") << photo << 0.25 << 4;
        QTest::newRow("just over an eighth") << photo << 0.13 << 4;
        QTest::newRow("eighth") << photo << 0.125 << 8;
        QTest::newRow("tiny") << photo << 0.01 << 8;
        QTest::newRow("fit 24 MP into 640x480") << QSize(6000, 4000) << 480.0 / 4000 << 8;
        QTest::newRow("fit 4032x3024 into 640x480") << QSize(4032, 3024) << 640.0 / 4032 << 4;
        QTest::newRow("odd side rounds down") << QSize(4001, 3001) << 0.125 << 4;
        QTest::newRow("a side under eight pixels") << QSize(7, 7) << 0.1 << 4;
        QTest::newRow("no scale") << photo << 0.0 << 8;
    }
    void reductionChoice()
    {
        QFETCH(QSize, upright);
        QFETCH(double, scale);
        QFETCH(int, reduction);
        QCOMPARE(PictureSource::reductionFor(upright, scale), reduction);
    }

    // What the decode gives: the upright size divided by the reduction, rounded down.
    void reducedDecodeSize_data()
    {
        QTest::addColumn<QSize>("fileSize");
        QTest::addColumn<double>("scale");
        QTest::addColumn<QSize>("decoded");
        QTest::newRow("even eighth") << QSize(808, 600) << 0.1 << QSize(101, 75);
        QTest::newRow("odd eighth") << QSize(811, 601) << 0.1 << QSize(101, 75);
        QTest::newRow("half") << QSize(808, 600) << 0.3 << QSize(404, 300);
        QTest::newRow("full") << QSize(808, 600) << 0.7 << QSize(808, 600);
    }
    void reducedDecodeSize()
    {
        QFETCH(QSize, fileSize);
        QFETCH(double, scale);
        QFETCH(QSize, decoded);
        const QString path = file(QStringLiteral("size.jpg"));
        QVERIFY(writeFile(path, cornerJpeg(fileSize)));
        const auto source = PictureSource::open(path);
        QVERIFY(source);
        QCOMPARE(source->image(scale).size(), decoded);
    }

    // Qt's default allocation limit (128 MB) refuses these; the source's own limit lets them through.
    void largePhotoLoads_data()
    {
        QTest::addColumn<QByteArray>("format");
        QTest::addColumn<QSize>("size");
        QTest::newRow("60 MP JPEG") << QByteArray("jpeg") << QSize(9000, 6667);
        QTest::newRow("36 MP BMP") << QByteArray("bmp") << QSize(7360, 4912);
    }
    void largePhotoLoads()
    {
        QFETCH(QByteArray, format);
        QFETCH(QSize, size);
        const QString path = file(QStringLiteral("big.") + QString::fromLatin1(format));
        {
            QImage image(size, QImage::Format_RGB32);
            image.fill(Qt::darkCyan);
            QImageWriter writer(path, format);
            writer.setQuality(80);
            QVERIFY(writer.write(image));
        }
        const auto source = PictureSource::open(path);
        QVERIFY(source);
        QCOMPARE(source->fileSize(), size);
        QCOMPARE(source->image(1.0).size(), size);
        QCOMPARE(source->image(0.1).size(), size / 8);
        QVERIFY(isNear(source->image(0.1).pixelColor(10, 10), Qt::darkCyan));
        QFile::remove(path);
    }

    // Never blocks and never opens what is not a regular picture file.
    void unopenable_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << QStringLiteral("missing.jpg");
        QTest::newRow("fifo") << QStringLiteral("fifo.jpg");
        QTest::newRow("folder") << QStringLiteral("folder.jpg");
        QTest::newRow("text") << QStringLiteral("text.jpg");
        QTest::newRow("empty") << QStringLiteral("empty.jpg");
        QTest::newRow("header cut") << QStringLiteral("cut.jpg");
    }
    void unopenable()
    {
        QFETCH(QString, name);
        const QString path = file(name);
        if (name == QLatin1String("fifo.jpg") && !QFile::exists(path))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0644), 0);
        if (name == QLatin1String("folder.jpg"))
            QDir().mkpath(path);
        if (name == QLatin1String("text.jpg"))
            QVERIFY(writeFile(path, "not a picture\n"));
        if (name == QLatin1String("empty.jpg"))
            QVERIFY(writeFile(path, {}));
        if (name == QLatin1String("cut.jpg"))
            QVERIFY(writeFile(path, cornerJpeg(QSize(64, 64)).left(12)));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!PictureSource::open(path));
        QVERIFY(!kovra::openPictureCached(path));
        QVERIFY2(timer.elapsed() < 2000, "opening must never wait");
    }

    // Data that is not what its name says, or ends early: decoded or a null image, never a crash.
    void damagedData_data()
    {
        QTest::addColumn<QByteArray>("data");
        // A 1x1 GIF.
        QTest::newRow("gif named .jpg") << QByteArray::fromHex(
            "47494638396101000100800000000000ffffff21f90401000000002c00000000010001000002024401003b");
        const QByteArray jpeg = cornerJpeg(QSize(320, 240));
        QTest::newRow("jpeg cut in half") << jpeg.left(jpeg.size() / 2);
        QTest::newRow("jpeg cut after the header") << jpeg.left(700);
        QByteArray garbled = jpeg;
        for (qsizetype i = 700; i < garbled.size() - 2; i += 37)
            garbled[i] = char(0xff);
        QTest::newRow("jpeg with garbled data") << garbled;
    }
    void damagedData()
    {
        QFETCH(QByteArray, data);
        const QString path = file(QStringLiteral("damaged.jpg"));
        QVERIFY(writeFile(path, data));
        const auto source = PictureSource::open(path);
        if (!source)
            return; // refused at the header: the box stays empty
        for (double scale : {1.0, 0.5, 0.1}) {
            const QImage image = source->image(scale);
            QVERIFY(image.isNull() ||
                    image.size() == source->uprightSize() / PictureSource::reductionFor(source->uprightSize(), scale));
        }
    }

    // The same unchanged file gives the same source and its decoded image; a changed file is read again.
    void cacheKeepsTheLastPicture()
    {
        const QString path = file(QStringLiteral("cached.jpg"));
        QVERIFY(writeFile(path, cornerJpeg(QSize(200, 100))));
        const auto first = kovra::openPictureCached(path);
        QVERIFY(first);
        const QImage shown = first->image(1.0);
        const auto again = kovra::openPictureCached(path);
        QCOMPARE(again.get(), first.get());
        QCOMPARE(again->image(1.0).cacheKey(), shown.cacheKey());
        QCOMPARE(first->image(0.1).cacheKey(), first->image(0.1).cacheKey());

        // Same size, new modification time.
        struct timeval times[2] = {{1000000000, 0}, {1000000000, 0}};
        QCOMPARE(::utimes(QFile::encodeName(path).constData(), times), 0);
        const auto touched = kovra::openPictureCached(path);
        QVERIFY(touched && touched.get() != first.get());

        // New content of another size.
        QVERIFY(writeFile(path, cornerJpeg(QSize(100, 60))));
        QCOMPARE(::utimes(QFile::encodeName(path).constData(), times), 0); // the same time: the size tells
        const auto rewritten = kovra::openPictureCached(path);
        QVERIFY(rewritten && rewritten.get() != touched.get());
        QCOMPARE(rewritten->fileSize(), QSize(100, 60));

        // Another path replaces the kept picture; the first path is then opened afresh.
        const QString other = file(QStringLiteral("other.jpg"));
        QVERIFY(writeFile(other, cornerJpeg(QSize(50, 40))));
        QVERIFY(kovra::openPictureCached(other));
        QVERIFY(kovra::openPictureCached(path).get() != rewritten.get());
    }
};

QTEST_MAIN(tst_PictureSource)
#include "tst_picturesource.moc"
