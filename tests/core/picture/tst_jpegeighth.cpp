#include "FlatBlocksJpeg.h"
#include "JpegEighth.h"
#include "TestPhotos.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

using kovra::decodeJpegEighth;

namespace {

// Smooth gradients, hard edges and fine noise: every kind of block a photo has.
QImage scene(QSize size, bool grey = false)
{
    QImage image(size, QImage::Format_RGB32);
    QPainter p(&image);
    QLinearGradient g(0, 0, size.width(), size.height());
    g.setColorAt(0, QColor(20, 40, 200));
    g.setColorAt(0.5, QColor(240, 200, 30));
    g.setColorAt(1, QColor(200, 20, 60));
    p.fillRect(image.rect(), g);
    p.fillRect(QRect(size.width() / 5, size.height() / 4, size.width() / 3, size.height() / 3), QColor(10, 160, 40));
    p.setPen(QPen(Qt::white, 3));
    p.drawEllipse(QRect(QPoint(size.width() / 2, size.height() / 2), size / 3));
    p.end();
    QRandomGenerator rng(7);
    for (int y = size.height() * 2 / 3; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width() / 2; ++x)
            line[x] = qRgb(int(rng.bounded(256)), int(rng.bounded(256)), int(rng.bounded(256)));
    }
    return grey ? image.convertToFormat(QImage::Format_Grayscale8) : image;
}

QByteArray qtJpeg(const QImage& image, int quality = 90)
{
    return photos::jpegBytes(image, quality);
}

// ImageMagick's encoder, for what Qt's writer does not make: other chroma sampling, progressive files.
QByteArray magickJpeg(const QImage& image, const QStringList& options)
{
    QTemporaryDir dir;
    const QString png = dir.filePath(QStringLiteral("in.png"));
    const QString jpg = dir.filePath(QStringLiteral("out.jpg"));
    if (!image.save(png))
        return {};
    QProcess convert;
    convert.start(QStringLiteral("convert"), QStringList{png} + options + QStringList{jpg});
    if (!convert.waitForFinished(30000) || convert.exitCode() != 0)
        return {};
    QFile f(jpg);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The reference: the general reader's full decode, averaged over every whole 8x8 block.
QImage blockMeans(const QByteArray& jpeg)
{
    QBuffer buffer;
    buffer.setData(jpeg);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(1024);
    const QImage full = reader.read().convertToFormat(QImage::Format_RGB32);
    QImage means(full.width() / 8, full.height() / 8, QImage::Format_RGB32);
    for (int by = 0; by < means.height(); ++by)
        for (int bx = 0; bx < means.width(); ++bx) {
            int r = 0, g = 0, b = 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x) {
                    const QRgb c = full.pixel(bx * 8 + x, by * 8 + y);
                    r += qRed(c), g += qGreen(c), b += qBlue(c);
                }
            means.setPixel(bx, by, qRgb((r + 32) / 64, (g + 32) / 64, (b + 32) / 64));
        }
    return means;
}

// libjpeg's own 1/8 decode (sides a multiple of 8: no rescaling by Qt).
QImage libjpegEighth(const QByteArray& jpeg)
{
    QBuffer buffer;
    buffer.setData(jpeg);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    reader.setScaledSize(size / 8);
    return reader.read();
}

struct Difference
{
    double mean = 0;
    int most = 0;
};

Difference compare(const QImage& a, const QImage& b)
{
    Difference d;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    for (int j = 0; j < x.height(); ++j)
        for (int i = 0; i < x.width(); ++i) {
            const QRgb p = x.pixel(i, j), q = y.pixel(i, j);
            const int e =
                std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))});
            d.mean += e;
            d.most = std::max(d.most, e);
        }
    d.mean /= double(x.width()) * x.height();
    return d;
}

} // namespace

class tst_JpegEighth : public QObject
{
    Q_OBJECT

private slots:
    // Each pixel is its block's mean. Where libjpeg's own 1/8 decode replicates chroma as this does (full or
    // horizontally halved chroma, grey) the two agree exactly; with chroma halved both ways libjpeg derives
    // chroma detail from more coefficients, and sizes not a multiple of 16 are rescaled by Qt's reader,
    // so there the full decode averaged per block is the reference, within a bound.
    void blockMeansOfTheFullDecode_data()
    {
        QTest::addColumn<QByteArray>("jpeg");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("grey");
        QTest::addColumn<double>("meanBound"); // 0: exactly libjpeg's eighth
        const QSize even(640, 480), odd(1001, 763);
        auto sampled = [](const QImage& image, const char* factors) {
            return magickJpeg(image, {QStringLiteral("-quality"), QStringLiteral("90"),
                                      QStringLiteral("-sampling-factor"), QString::fromLatin1(factors)});
        };
        QTest::newRow("4:4:4") << sampled(scene(even), "1x1") << even << false << 0.0;
        QTest::newRow("4:2:2") << sampled(scene(even), "2x1") << even << false << 0.0;
        QTest::newRow("grey") << qtJpeg(scene(even, true)) << even << true << 0.0;
        QTest::newRow("4:2:0") << qtJpeg(scene(even)) << even << false << 6.0;
        QTest::newRow("4:2:0 low quality") << qtJpeg(scene(even), 20) << even << false << 6.0;
        QTest::newRow("4:4:0 odd size") << sampled(scene(odd), "1x2") << odd << false << 6.0;
        QTest::newRow("4:2:0 odd size") << qtJpeg(scene(odd)) << odd << false << 6.0;
        QTest::newRow("grey odd size") << qtJpeg(scene(odd, true)) << odd << true << 1.0;
        // A large noisy picture: long codes and many blocks.
        const QSize big(2400, 1808);
        QImage noisy = scene(big);
        QRandomGenerator rng(11);
        for (int y = 0; y < big.height(); y += 2)
            for (int x = 0; x < big.width(); x += 3)
                noisy.setPixel(x, y, qRgb(int(rng.bounded(256)), int(rng.bounded(256)), int(rng.bounded(256))));
        QTest::newRow("large and noisy, 4:4:4") << sampled(noisy, "1x1") << big << false << 0.0;
        QTest::newRow("large and noisy, 4:2:0") << qtJpeg(noisy, 95) << big << false << 6.0;
    }
    void blockMeansOfTheFullDecode()
    {
        QFETCH(QByteArray, jpeg);
        QFETCH(QSize, size);
        QFETCH(bool, grey);
        QFETCH(double, meanBound);
        QVERIFY(!jpeg.isEmpty());
        const QImage eighth = decodeJpegEighth(jpeg);
        QCOMPARE(eighth.size(), size / 8);
        QCOMPARE(eighth.format(), grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
        const Difference d = compare(eighth, meanBound == 0.0 ? libjpegEighth(jpeg) : blockMeans(jpeg));
        const QString text = QStringLiteral("mean %1, most %2").arg(d.mean).arg(d.most);
        if (meanBound == 0.0)
            QVERIFY2(d.most == 0, qPrintable(text));
        else
            QVERIFY2(d.mean < meanBound && d.most < 128, qPrintable(text));
    }

    // Restart markers: the predictors start again at zero after each, and the data continues after it.
    void restartIntervals_data()
    {
        QTest::addColumn<int>("components");
        QTest::addColumn<int>("interval");
        QTest::newRow("grey, every MCU") << 1 << 1;
        QTest::newRow("grey, every 7") << 1 << 7;
        QTest::newRow("colour, every 5") << 3 << 5;
        QTest::newRow("colour, more than eight markers") << 3 << 2;
        QTest::newRow("colour, none") << 3 << 0;
    }
    void restartIntervals()
    {
        QFETCH(int, components);
        QFETCH(int, interval);
        const auto value = [](int c, int x, int y) { return (x * 37 + y * 11 + c * 80) % 256; };
        const QByteArray jpeg = kovra::test::flatBlocksJpeg(23, 9, components, interval, value);
        const QImage eighth = decodeJpegEighth(jpeg);
        QCOMPARE(eighth.size(), QSize(23, 9));
        const QImage reference = libjpegEighth(jpeg);
        QCOMPARE(reference.size(), QSize(23, 9));
        QCOMPARE(compare(eighth, reference).most, 0);
        if (components == 1)
            QCOMPARE(eighth.pixelColor(22, 8).red(), value(0, 22, 8));
        if (interval)
            QVERIFY(decodeJpegEighth(kovra::test::flatBlocksJpeg(23, 9, components, interval, value, true)).isNull());
    }

    // What it does not decode, or decodes wrongly when cut or damaged, is left to the general reader.
    void leavesTheRestToTheGeneralReader_data()
    {
        QTest::addColumn<QByteArray>("data");
        const QImage image = scene(QSize(640, 480));
        const QByteArray jpeg = qtJpeg(image);
        QTest::newRow("progressive") << magickJpeg(image, {QStringLiteral("-interlace"), QStringLiteral("JPEG")});
        QTest::newRow("cut in half") << jpeg.left(jpeg.size() / 2);
        QTest::newRow("cut after the header") << jpeg.left(700);
        QTest::newRow("no end of image, no data") << jpeg.left(jpeg.indexOf("\xff\xda") + 14);
        QTest::newRow("not a JPEG") << QByteArray("GIF89a\x01\x00\x01\x00", 10);
        QTest::newRow("start of image only") << QByteArray("\xff\xd8", 2);
        QTest::newRow("empty") << QByteArray();
        QByteArray wrongTable = jpeg;
        const qsizetype dht = wrongTable.indexOf("\xff\xc4");
        wrongTable[dht + 5] = char(3); // three codes of one bit cannot be
        QTest::newRow("impossible code table") << wrongTable;
        QByteArray twelveBit = jpeg;
        twelveBit[twelveBit.indexOf("\xff\xc0") + 4] = char(12);
        QTest::newRow("12-bit samples") << twelveBit;
    }
    void leavesTheRestToTheGeneralReader()
    {
        QFETCH(QByteArray, data);
        QVERIFY(decodeJpegEighth(data).isNull());
    }

    // Damage anywhere in the data: a null image or one of the right size, never a read outside the data.
    void survivesDamage()
    {
        const QByteArray jpeg = qtJpeg(scene(QSize(320, 240)));
        QRandomGenerator rng(5);
        for (int round = 0; round < 300; ++round) {
            QByteArray damaged = jpeg;
            for (int k = 0; k < 1 + round % 8; ++k)
                damaged[qsizetype(rng.bounded(quint32(damaged.size())))] = char(rng.bounded(256));
            if (round % 3 == 0)
                damaged.truncate(qsizetype(rng.bounded(quint32(damaged.size()))));
            const QImage image = decodeJpegEighth(damaged);
            QVERIFY(image.isNull() ||
                    (image.width() >= 1 && image.height() >= 1 && image.width() <= 8191 && image.height() <= 8191));
        }
    }
};

QTEST_GUILESS_MAIN(tst_JpegEighth)
#include "tst_jpegeighth.moc"
