#include "PeakMemory.h"
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

// A picture of size `size`: the background, a red block at the top-left corner and a green one at the
// top-right, each a quarter of the height.
QImage cornerPicture(QSize size, QColor background = Qt::white)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(background);
    const int block = size.height() / 4;
    QPainter(&image).fillRect(0, 0, block, block, Red);
    QPainter(&image).fillRect(size.width() - block, 0, block, block, Green);
    return image;
}

// The corner picture as a JPEG. With an orientation, a minimal EXIF APP1 segment (big-endian TIFF, IFD0
// holding only tag 0x0112) follows the start-of-image marker.
QByteArray cornerJpeg(QSize size, int orientation = 0)
{
    QByteArray jpeg = photos::jpegBytes(cornerPicture(size), 90);
    if (orientation > 0 && !jpeg.isEmpty())
        jpeg.insert(2, photos::exifOrientationSegment(orientation));
    return jpeg;
}

// Where the red top-left and green top-right blocks of a stored picture show, for each orientation.
struct Turn
{
    int exif;
    int redCorner;
    int greenCorner;
    QByteArray name;
};
const Turn Turns[] = {{1, 0, 1, "1 normal"},      {2, 1, 0, "2 mirrored"},
                      {3, 2, 3, "3 half turn"},   {4, 3, 2, "4 flipped"},
                      {5, 0, 3, "5 transposed"},  {6, 1, 2, "6 quarter clockwise"},
                      {7, 2, 1, "7 transversed"}, {8, 3, 0, "8 quarter anticlockwise"}};

// What a damaged file may give. Sound: anything but a crash or a picture of another size.
enum Damage { Sound, Refused, Shown };

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
            for (const Turn& t : Turns)
                QTest::newRow((t.name + at).constData()) << t.exif << t.redCorner << t.greenCorner << scale << small;
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

    // A HEIF file is turned upright by its own transformations (irot, imir): its grid is the upright one,
    // so fileSize, uprightSize and the identity mapping agree with the picture drawn, at full size and
    // reduced, for HEIC and AVIF alike, as one coded picture or as a phone's grid of tiles (decoded on
    // several threads, edge tiles cropped).
    void heifOrientation_data()
    {
        QTest::addColumn<bool>("av1");
        QTest::addColumn<bool>("grid");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("redCorner");
        QTest::addColumn<int>("greenCorner");
        QTest::addColumn<double>("scale");
        for (double scale : {1.0, 0.25}) {
            const QByteArray at = scale == 1.0 ? " full" : " reduced";
            for (const Turn& t : Turns) {
                const bool turn = t.exif == 1 || t.exif == 3 || t.exif == 6 || t.exif == 8;
                QTest::newRow(("HEIC " + t.name + at).constData())
                    << false << false << t.exif << t.redCorner << t.greenCorner << scale;
                if (t.exif == 1 || t.exif == 3 || t.exif == 6 || t.exif == 7)
                    QTest::newRow(("AVIF " + t.name + at).constData())
                        << true << false << t.exif << t.redCorner << t.greenCorner << scale;
                if (turn)
                    QTest::newRow(("HEIC grid " + t.name + at).constData())
                        << false << true << t.exif << t.redCorner << t.greenCorner << scale;
                if (t.exif == 6)
                    QTest::newRow(("AVIF grid " + t.name + at).constData())
                        << true << true << t.exif << t.redCorner << t.greenCorner << scale;
            }
        }
    }
    void heifOrientation()
    {
        QFETCH(bool, av1);
        QFETCH(bool, grid);
        QFETCH(int, orientation);
        QFETCH(int, redCorner);
        QFETCH(int, greenCorner);
        QFETCH(double, scale);
        // A grid: 3 x 2 tiles of 96 x 64, the right and bottom ones cropped.
        const QSize stored = grid ? QSize(256, 120) : QSize(256, 128);
        const QString path = file(QStringLiteral("turned.heic"));
        const photos::HeifOptions options{.av1 = av1, .orientation = orientation};
        QVERIFY(writeFile(path, grid ? photos::heifGridBytes(cornerPicture(stored), QSize(96, 64), options)
                                     : photos::heifBytes(cornerPicture(stored), options)));
        const auto source = PictureSource::open(path);
        QVERIFY(source);
        const QSize upright = orientation >= 5 ? stored.transposed() : stored;
        QCOMPARE(source->fileSize(), upright);
        QCOMPARE(source->orientation(), 1);
        QCOMPARE(source->uprightSize(), upright);
        QVERIFY(source->fileToUpright().isIdentity());

        const QImage image = source->image(scale);
        const int reduction = PictureSource::reductionFor(upright, scale);
        QCOMPARE(image.size(), QSize(upright.width() / reduction, upright.height() / reduction));
        QCOMPARE(image.format(), QImage::Format_RGB32);
        QVERIFY2(isNear(cornerColour(image, redCorner), Red), qPrintable(cornerColour(image, redCorner).name()));
        QVERIFY2(isNear(cornerColour(image, greenCorner), Green), qPrintable(cornerColour(image, greenCorner).name()));
        // White in the middle and at the middle of each edge, away from the corner blocks: no tile missing,
        // misplaced, or its padding left in view.
        const int w = image.width() - 1, h = image.height() - 1;
        for (const QPoint at :
             {QPoint(w / 2, h / 2), QPoint(w / 2, 0), QPoint(w / 2, h), QPoint(0, h / 2), QPoint(w, h / 2)})
            QVERIFY2(isNear(image.pixelColor(at), Qt::white), qPrintable(image.pixelColor(at).name()));
    }

    // The file's transformations are the only turn: an Exif orientation inside a HEIF file is not applied
    // on top of them.
    void heifExifOrientationIgnored()
    {
        const QSize stored(256, 128);
        const QByteArray bytes = photos::heifBytes(cornerPicture(stored), {.exifOrientation = 6});
        QVERIFY(bytes.contains(photos::exifOrientationSegment(6).mid(10))); // the TIFF block as written
        const QString path = file(QStringLiteral("exif.heic"));
        QVERIFY(writeFile(path, bytes));
        const auto source = PictureSource::open(path);
        QVERIFY(source);
        QCOMPARE(source->fileSize(), stored);
        QCOMPARE(source->orientation(), 1);
        const QImage image = source->image(1.0);
        QVERIFY(isNear(cornerColour(image, 0), Red));
        QVERIFY(isNear(cornerColour(image, 1), Green));
    }

    // A reduced view comes from the embedded thumbnail (blue here, the picture white) exactly when the
    // thumbnail has the picture's proportions and covers the reduction's whole size; else, and after a full
    // decode, from the picture itself. Either way of the reduction's exact size, upright.
    void heifThumbnail_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("thumbnailPicture");
        QTest::addColumn<int>("thumbnailSide");
        QTest::addColumn<double>("scale");
        QTest::addColumn<bool>("fullFirst");
        QTest::addColumn<bool>("fromThumbnail");
        const QSize same(256, 128);
        QTest::newRow("covers the half") << 1 << same << 128 << 0.5 << false << true;
        QTest::newRow("covers the quarter") << 1 << same << 128 << 0.25 << false << true;
        QTest::newRow("short of the half") << 1 << same << 100 << 0.5 << false << false;
        QTest::newRow("enough for the quarter") << 1 << same << 100 << 0.25 << false << true;
        QTest::newRow("never at 100 %") << 1 << same << 128 << 1.0 << false << false;
        QTest::newRow("other proportions") << 1 << QSize(200, 200) << 100 << 0.25 << false << false;
        QTest::newRow("turned with the picture") << 6 << same << 128 << 0.5 << false << true;
        QTest::newRow("mirrored with the picture") << 4 << same << 128 << 0.25 << false << true;
        QTest::newRow("after a full decode") << 1 << same << 128 << 0.5 << true << false;
    }
    void heifThumbnail()
    {
        QFETCH(int, orientation);
        QFETCH(QSize, thumbnailPicture);
        QFETCH(int, thumbnailSide);
        QFETCH(double, scale);
        QFETCH(bool, fullFirst);
        QFETCH(bool, fromThumbnail);
        const QSize stored(256, 128);
        const QColor blue(0, 0, 255);
        const QString path = file(QStringLiteral("thumbnail.heic"));
        QVERIFY(photos::writeHeif(path, cornerPicture(stored),
                                  {.orientation = orientation,
                                   .thumbnail = cornerPicture(thumbnailPicture, blue),
                                   .thumbnailSide = thumbnailSide}));
        const auto source = PictureSource::open(path);
        QVERIFY(source);
        if (fullFirst)
            QCOMPARE(source->image(1.0).size(), source->uprightSize());
        const QImage image = source->image(scale);
        const int reduction = PictureSource::reductionFor(source->uprightSize(), scale);
        QCOMPARE(image.size(),
                 QSize(source->uprightSize().width() / reduction, source->uprightSize().height() / reduction));
        const QColor middle = image.pixelColor(image.width() / 2, image.height() / 2);
        QVERIFY2(isNear(middle, fromThumbnail ? blue : QColor(Qt::white)), qPrintable(middle.name()));
        const Turn& turn = Turns[orientation - 1];
        QVERIFY(isNear(cornerColour(image, turn.redCorner), Red));
        QVERIFY(isNear(cornerColour(image, turn.greenCorner), Green));
    }

    // Depth, alpha, subsampling and several images: 8-bit RGB(A) of the right colours, alpha
    // premultiplied, the primary image shown whatever comes before it in the file.
    void heifKinds_data()
    {
        QTest::addColumn<bool>("av1");
        QTest::addColumn<int>("bitDepth");
        QTest::addColumn<bool>("fullChroma");
        QTest::addColumn<bool>("alpha");
        QTest::addColumn<bool>("imageBefore");
        QTest::newRow("HEIC 10-bit") << false << 10 << false << false << false;
        QTest::newRow("HEIC 4:4:4") << false << 8 << true << false << false;
        QTest::newRow("HEIC alpha") << false << 8 << false << true << false;
        QTest::newRow("HEIC 10-bit alpha") << false << 10 << false << true << false;
        QTest::newRow("AVIF 4:4:4") << true << 8 << true << false << false;
        QTest::newRow("AVIF alpha") << true << 8 << false << true << false;
        QTest::newRow("HEIC primary after another image") << false << 8 << false << false << true;
        QTest::newRow("AVIF primary after another image") << true << 8 << false << false << true;
    }
    void heifKinds()
    {
        QFETCH(bool, av1);
        QFETCH(int, bitDepth);
        QFETCH(bool, fullChroma);
        QFETCH(bool, alpha);
        QFETCH(bool, imageBefore);
        const QSize size(256, 128);
        // Opaque: the corner picture. With alpha: transparent left third, half-transparent green middle
        // third, opaque red right third.
        QImage picture = cornerPicture(size);
        if (alpha) {
            picture = QImage(size, QImage::Format_ARGB32);
            picture.fill(Qt::transparent);
            QPainter p(&picture);
            p.setCompositionMode(QPainter::CompositionMode_Source);
            p.fillRect(size.width() / 3, 0, size.width() / 3, size.height(), QColor(0, 255, 0, 128));
            p.fillRect(size.width() * 2 / 3, 0, size.width() - size.width() * 2 / 3, size.height(), Red);
        }
        photos::HeifOptions options{.av1 = av1, .bitDepth = bitDepth, .fullChroma = fullChroma};
        if (imageBefore) {
            options.before = QImage(QSize(64, 200), QImage::Format_RGB32);
            options.before.fill(Qt::blue);
        }
        const QString path = file(QStringLiteral("kind.heic"));
        QVERIFY(photos::writeHeif(path, picture, options));
        const auto source = PictureSource::open(path);
        QVERIFY(source);
        QCOMPARE(source->fileSize(), size);
        const QImage image = source->image(1.0);
        QCOMPARE(image.size(), size);
        if (!alpha) {
            QCOMPARE(image.format(), QImage::Format_RGB32);
            QVERIFY(isNear(cornerColour(image, 0), Red));
            QVERIFY(isNear(cornerColour(image, 1), Green));
            QVERIFY(isNear(cornerColour(image, 2), Qt::white));
            return;
        }
        QCOMPARE(image.format(), QImage::Format_ARGB32_Premultiplied);
        const int y = size.height() / 2;
        const QRgb clear = image.pixel(size.width() / 6, y);
        const QRgb half = image.pixel(size.width() / 2, y);
        const QRgb opaque = image.pixel(size.width() * 5 / 6, y);
        QVERIFY2(qAlpha(clear) < 20, qPrintable(QString::number(qAlpha(clear))));
        QVERIFY2(std::abs(qAlpha(half) - 128) < 30, qPrintable(QString::number(qAlpha(half))));
        // Premultiplied: no colour above its alpha, the colour itself green.
        QVERIFY(qRed(half) <= qAlpha(half) && qGreen(half) <= qAlpha(half) && qBlue(half) <= qAlpha(half));
        QVERIFY(isNear(QColor::fromRgba(qUnpremultiply(half)).toRgb(), Green));
        QVERIFY(qAlpha(opaque) > 235 && isNear(QColor::fromRgba(opaque), Red));
    }

    // The content decides, not the name.
    void heifByContent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("heif");
        QTest::newRow("HEIC named .jpg") << QStringLiteral("photo.jpg") << true;
        QTest::newRow("HEIC without extension") << QStringLiteral("photo") << true;
        QTest::newRow("JPEG named .heic") << QStringLiteral("photo.heic") << false;
        QTest::newRow("JPEG named .avif") << QStringLiteral("photo.avif") << false;
    }
    void heifByContent()
    {
        QFETCH(QString, name);
        QFETCH(bool, heif);
        const QString path = file(name);
        const QSize size(200, 100);
        QVERIFY(heif ? photos::writeHeif(path, cornerPicture(size)) : writeFile(path, cornerJpeg(size)));
        const auto source = PictureSource::open(path);
        QVERIFY(source);
        QCOMPARE(source->fileSize(), size);
        QVERIFY(isNear(cornerColour(source->image(1.0), 1), Green));
        QFile::remove(path);
    }

    // Cut or damaged HEIF files never crash and never give a picture of another size. A cut file does not
    // open, even with its coded data declared to run to the end of the file: libheif checks the top-level
    // boxes and the extents of every item's data against the file's size while it reads the header.
    void heifDamaged_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<int>("expect");
        const QByteArray plain = photos::heifBytes(cornerPicture(QSize(256, 128)));
        QVERIFY(!plain.isEmpty());
        const qsizetype mdat = plain.indexOf("mdat") - 4;
        QVERIFY(mdat > 0);
        for (qsizetype cut : {qsizetype(0), qsizetype(11), qsizetype(16), qsizetype(40), mdat / 2, mdat - 1, mdat,
                              mdat + 8, mdat + 20, (mdat + plain.size()) / 2, plain.size() - 1})
            QTest::addRow("cut at %lld", qlonglong(cut)) << plain.left(cut) << int(Refused);
        QByteArray toTheEnd = plain;
        toTheEnd.replace(mdat, 4, QByteArray(4, 0)); // size 0: the box runs to the end of the file
        QTest::newRow("data to the end") << toTheEnd << int(Shown);
        for (qsizetype cut : {mdat + 20, (mdat + plain.size()) / 2, plain.size() - 1})
            QTest::addRow("data to the end, cut at %lld", qlonglong(cut)) << toTheEnd.left(cut) << int(Refused);

        const QByteArray withThumbnail = photos::heifBytes(
            cornerPicture(QSize(256, 128)), {.thumbnail = cornerPicture(QSize(256, 128)), .thumbnailSide = 128});
        QVERIFY(!withThumbnail.isEmpty());
        const QByteArray avif = photos::heifBytes(cornerPicture(QSize(256, 128)), {.av1 = true});
        QVERIFY(!avif.isEmpty());
        for (const auto& [kind, good] : {std::pair{"HEIC", withThumbnail}, std::pair{"AVIF", avif}}) {
            for (int i = 1; i < 24; ++i) {
                QByteArray flipped = good;
                const qsizetype at = flipped.size() * i / 24;
                flipped[at] = char(flipped[at] ^ 0x5a);
                QTest::addRow("%s flipped at %lld", kind, qlonglong(at)) << flipped << int(Sound);
            }
            QByteArray garbled = good;
            for (qsizetype at = good.indexOf("mdat") + 16; at < garbled.size(); at += 7)
                garbled[at] = char(0xff);
            QTest::addRow("%s coded data garbled", kind) << garbled << int(Sound);
        }
    }
    void heifDamaged()
    {
        QFETCH(QByteArray, data);
        QFETCH(int, expect);
        const QString path = file(QStringLiteral("damaged.heic"));
        QVERIFY(writeFile(path, data));
        const auto source = PictureSource::open(path);
        if (expect == Refused)
            QVERIFY(!source);
        if (expect == Shown) {
            QVERIFY(source);
            QVERIFY(isNear(cornerColour(source->image(1.0), 1), Green));
        }
        if (!source)
            return;
        for (double scale : {1.0, 0.5, 0.1}) {
            const QImage image = source->image(scale);
            const int reduction = PictureSource::reductionFor(source->uprightSize(), scale);
            QVERIFY(image.isNull() || image.size() == QSize(source->uprightSize().width() / reduction,
                                                            source->uprightSize().height() / reduction));
        }
    }

    // A small HEIF file that declares a huge picture is refused from its header alone, at once, before
    // any decode; one that declares a size its coded data does not have opens and gives no picture. Run in
    // a child process whose address space may grow by 3 GiB at most.
    void heifHugeDeclaredSize_data()
    {
        QTest::addColumn<QSize>("declared");
        QTest::addColumn<bool>("opens");
        QTest::newRow("30000x30000") << QSize(30000, 30000) << false;
        QTest::newRow("12000x9000") << QSize(12000, 9000) << false;
        QTest::newRow("side beyond 32767") << QSize(40000, 100) << false;
        QTest::newRow("4000x3000 over 256x128 data") << QSize(4000, 3000) << true;
    }
    void heifHugeDeclaredSize()
    {
        QFETCH(QSize, declared);
        QFETCH(bool, opens);
        const QSize coded(256, 128);
        const QByteArray data = photos::withHeifDeclaredSize(photos::heifBytes(cornerPicture(coded)), coded, declared);
        QVERIFY(data.size() > 100);
        const QString path = file(QStringLiteral("huge.heic"));
        QVERIFY(writeFile(path, data));
        const kovra::test::ChildRun run = kovra::test::runInChild(
            [&] {
                QElapsedTimer timer;
                timer.start();
                const auto source = PictureSource::open(path);
                const bool decoded = source && !source->image(1.0).isNull();
                return QByteArray::number(source ? 1 : 0) + ' ' + (decoded ? '1' : '0') + ' ' +
                       QByteArray::number(timer.elapsed());
            },
            qint64(3) << 30);
        QVERIFY(run.finished);
        const QList<QByteArray> out = run.output.split(' ');
        QCOMPARE(out.size(), 3);
        QCOMPARE(out[0], QByteArray(opens ? "1" : "0"));
        QCOMPARE(out[1], QByteArray("0"));
        QVERIFY2(out[2].toInt() < 2000, out[2].constData());
        QVERIFY2(qint64(run.peakKib) * 1024 < PictureSource::MemoryBudget, qPrintable(QString::number(run.peakKib)));
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
