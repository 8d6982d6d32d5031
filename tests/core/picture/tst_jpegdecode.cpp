#include "JpegDecode.h"
#include "PictureSource.h"
#include "TestPhotos.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QTest>

using kovra::JpegDecode;
using kovra::PictureSource;

namespace {

// Detail everywhere (gradients and noise), so that a crop shifted by a pixel or a block shows.
QImage detailed(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    quint32 noise = 777;
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int n = int(noise >> 27);
            line[x] =
                qRgb((x * 255 / size.width() + n) & 0xff, (y * 255 / size.height() + n) & 0xff, ((x ^ y) + n) & 0xff);
        }
    }
    return image;
}

// The largest difference of one channel between two images of one size; -1 for images of other sizes.
int maxDifference(const QImage& a, const QImage& b)
{
    if (a.size() != b.size() || a.isNull())
        return -1;
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto* p = reinterpret_cast<const QRgb*>(x.constScanLine(row));
        const auto* q = reinterpret_cast<const QRgb*>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            worst = std::max({worst, std::abs(qRed(p[col]) - qRed(q[col])), std::abs(qGreen(p[col]) - qGreen(q[col])),
                              std::abs(qBlue(p[col]) - qBlue(q[col]))});
        }
    }
    return worst;
}

QImage qtDecode(const QByteArray& bytes, bool* ok = nullptr)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "jpeg");
    reader.setAutoTransform(false);
    QImage image;
    const bool read = reader.read(&image);
    if (ok)
        *ok = read;
    return read ? image : QImage();
}

} // namespace

class TestJpegDecode : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // The part in view, decoded alone, is the same part of the whole picture, whatever the orientation.
    void regionMatchesWhole_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("grey");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QRect>("region"); // upright pixels
        const QSize odd(1003, 757);
        const QSize tall(517, 1290);
        for (const int o : {1, 2, 3, 4, 5, 6, 7, 8}) {
            for (const QSize size : {odd, tall}) {
                const QSize upright = o >= 5 ? size.transposed() : size;
                const QString tag = QStringLiteral("%1x%2 o%3 ").arg(size.width()).arg(size.height()).arg(o);
                QTest::newRow(qPrintable(tag + QStringLiteral("top-left view")))
                    << size << false << o << QRect(0, 0, std::min(640, upright.width()), 480);
                QTest::newRow(qPrintable(tag + QStringLiteral("odd middle")))
                    << size << false << o << QRect(211, 137, 333, 219);
                QTest::newRow(qPrintable(tag + QStringLiteral("bottom-right edge")))
                    << size << false << o << QRect(upright.width() - 301, upright.height() - 77, 301, 77);
                QTest::newRow(qPrintable(tag + QStringLiteral("one pixel")))
                    << size << false << o << QRect(99, 45, 1, 1);
            }
        }
        QTest::newRow("grey o6 middle") << odd << true << 6 << QRect(101, 203, 307, 411);
        QTest::newRow("whole picture") << odd << false << 1 << QRect(QPoint(), odd);
        QTest::newRow("clipped to the picture") << odd << false << 1 << QRect(900, 700, 400, 400);
    }
    void regionMatchesWhole()
    {
        QFETCH(QSize, size);
        QFETCH(bool, grey);
        QFETCH(int, orientation);
        QFETCH(QRect, region);
        const QString path = m_dir.filePath(
            QStringLiteral("r-%1x%2-%3-%4.jpg").arg(size.width()).arg(size.height()).arg(orientation).arg(grey));
        if (!QFile::exists(path)) {
            const QImage picture = grey ? detailed(size).convertToFormat(QImage::Format_Grayscale8) : detailed(size);
            QVERIFY(photos::writeJpeg(path, picture, orientation, 90));
        }
        const auto source = PictureSource::open(path);
        QVERIFY(source);
        QVERIFY(source->decodesRegions());
        const QRect clipped = region & QRect(QPoint(), source->uprightSize());
        const QImage part = source->region(region);
        QCOMPARE(part.size(), clipped.size());
        QCOMPARE(part.format(), grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
        const QImage whole = source->image(1.0);
        QCOMPARE(whole.size(), source->uprightSize());
        // The crop decodes a margin around the part, so its upsampled edges are the whole picture's own.
        QCOMPARE(maxDifference(part, whole.copy(clipped)), 0);
        // And the whole is what Qt's reader gives (the same libjpeg settings), turned upright.
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QImageReader reader(&f, "jpeg");
        reader.setAutoTransform(true);
        const QImage byQt = reader.read();
        QVERIFY(maxDifference(byQt, whole) >= 0);
        QVERIFY2(maxDifference(byQt, whole) <= 1, qPrintable(QString::number(maxDifference(byQt, whole))));
    }

    // Damaged files: the picture Qt's reader gives, or a failure; never a crash, never another size.
    void damaged_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("expect"); // 0: as Qt's reader, 1: a failure
        const QByteArray good = photos::jpegBytes(detailed(QSize(640, 480)), 90);
        QVERIFY(!good.isEmpty());
        const qsizetype scan = good.indexOf(QByteArray("\xff\xda", 2));
        QTest::newRow("cut at 70 %") << good.left(good.size() * 7 / 10) << 0;
        QTest::newRow("cut at 30 %") << good.left(good.size() * 3 / 10) << 0;
        QTest::newRow("cut after the scan header") << good.left(scan + 20) << 0;
        QTest::newRow("cut in the headers") << good.left(scan - 30) << 1;
        QByteArray noise = good;
        for (qsizetype i = scan + 400; i < noise.size() - 2; i += 97)
            noise[i] = char(noise[i] ^ 0x5a);
        QTest::newRow("noise in the entropy data") << noise << 0;
        QByteArray badFrame = good;
        const qsizetype sof = badFrame.indexOf(QByteArray("\xff\xc0", 2));
        badFrame[sof + 4] = char(12); // 12-bit samples: libjpeg 8-bit refuses
        QTest::newRow("12-bit frame") << badFrame << 1;
        QByteArray noTable = good;
        const qsizetype dht = noTable.indexOf(QByteArray("\xff\xc4", 2));
        noTable[dht + 1] = char(0xfe); // the Huffman tables become a comment-like APP segment
        QTest::newRow("Huffman tables missing") << noTable << 0;
        QTest::newRow("no JPEG at all") << QByteArray(5000, 'x') << 1;
        QTest::newRow("start of image only") << QByteArray("\xff\xd8", 2) << 1;
    }
    void damaged()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, expect);
        bool qtRead = false;
        const QImage byQt = qtDecode(bytes, &qtRead);
        const JpegDecode ours = kovra::decodeJpegBytes(bytes);
        if (expect == 1) {
            QCOMPARE(ours.status, JpegDecode::Status::Failed);
            QVERIFY(ours.image.isNull());
            QVERIFY(!qtRead);
            return;
        }
        if (!qtRead) {
            QCOMPARE(ours.status, JpegDecode::Status::Failed);
            return;
        }
        QCOMPARE(ours.status, JpegDecode::Status::Decoded);
        QCOMPARE(maxDifference(ours.image, byQt), 0);
        // A crop of it likewise never reads past what is there.
        const JpegDecode part = kovra::decodeJpegBytes(bytes, {.fileRect = QRect(300, 200, 200, 200)});
        QVERIFY(part.status != JpegDecode::Status::Decoded ||
                maxDifference(part.image, byQt.copy(300, 200, 200, 200)) == 0);
    }

    // The whole photo behind the part: decoded once on its own thread, then given without decoding again;
    // a reduced view stops it and lets it go.
    void backgroundWhole()
    {
        const QString path = m_dir.filePath(QStringLiteral("background.jpg"));
        QVERIFY(photos::writeJpeg(path, detailed(QSize(2400, 1600)), 6, 85));
        const auto source = PictureSource::open(path);
        QVERIFY(source);
        QVERIFY(!source->hasFullImage());
        QFuture<void> done = source->decodeFullInBackground();
        // One decode, however often asked: the second request finishes with the first.
        source->decodeFullInBackground().waitForFinished();
        QVERIFY(done.isFinished());
        QVERIFY(source->hasFullImage());
        const QImage whole = source->image(1.0);
        QCOMPARE(whole.size(), QSize(1600, 2400));
        QCOMPARE(source->image(1.0).cacheKey(), whole.cacheKey());
        const auto fresh = PictureSource::open(path);
        QCOMPARE(maxDifference(fresh->image(1.0), whole), 0);

        // Stopped at once: nothing kept, and the full size decodes again when asked.
        const auto other = PictureSource::open(path);
        QFuture<void> stopped = other->decodeFullInBackground();
        other->stopFullDecode();
        QVERIFY(stopped.isFinished());
        QVERIFY(!other->hasFullImage());
        other->decodeFullInBackground();
        QVERIFY(!other->image(0.125).isNull()); // a reduction stops the whole decode too
        QVERIFY(!other->hasFullImage());
        QCOMPARE(maxDifference(other->image(1.0), whole), 0);
        QVERIFY(other->decodeFullInBackground().isFinished()); // the full size is there: nothing to start
    }

    // Pictures the program's decoder leaves to Qt's reader show no part first.
    void noRegionsForOtherFiles()
    {
        const QString png = m_dir.filePath(QStringLiteral("p.png"));
        QVERIFY(detailed(QSize(300, 200)).save(png));
        const auto source = PictureSource::open(png);
        QVERIFY(source);
        QVERIFY(!source->decodesRegions());
        QVERIFY(source->region(QRect(0, 0, 10, 10)).isNull());
        QVERIFY(source->decodeFullInBackground().isFinished());
        QCOMPARE(source->image(1.0).size(), QSize(300, 200));

        const QString progressive = m_dir.filePath(QStringLiteral("p.jpg"));
        QImageWriter writer(progressive, "jpeg");
        writer.setProgressiveScanWrite(true);
        QVERIFY(writer.write(detailed(QSize(300, 200))));
        const auto p = PictureSource::open(progressive);
        QVERIFY(p);
        QVERIFY(!p->decodesRegions());
        QCOMPARE(maxDifference(p->image(1.0), QImage(progressive)), 0);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestJpegDecode)
#include "tst_jpegdecode.moc"
