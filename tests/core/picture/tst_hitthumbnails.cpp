#include "FixtureCatalogue.h"
#include "HitThumbnails.h"
#include "TestPhotos.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <sys/time.h>

using kovra::HitThumbnails;
using State = HitThumbnails::State;
using namespace kovra::test;

namespace {

// Red and green tell the column and row a pixel came from (256 x 256: one unit a pixel), blue is 0.
QImage positionPicture()
{
    QImage image(256, 256, QImage::Format_RGB32);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            image.setPixel(x, y, qRgb(x, y, 0));
    return image;
}

bool isRed(QColor c)
{
    return c.red() > 200 && c.green() < 70 && c.blue() < 70;
}

// The thumbnail once it is no longer pending.
HitThumbnails::Thumbnail awaited(HitThumbnails& thumbnails, const HitThumbnails::Request& request, QSize pixels)
{
    QSignalSpy spy(&thumbnails, &HitThumbnails::ready);
    HitThumbnails::Thumbnail t = thumbnails.thumbnail(request, pixels);
    for (int i = 0; i < 50 && t.state == State::Pending; ++i) {
        spy.wait(200);
        t = thumbnails.thumbnail(request, pixels);
    }
    return t;
}

QStringList cacheFiles(const QString& dir)
{
    return QDir(dir).entryList(QDir::Files, QDir::Name);
}

qint64 cacheBytes(const QString& dir)
{
    qint64 total = 0;
    for (const QFileInfo& f : QDir(dir).entryInfoList(QDir::Files))
        total += f.size();
    return total;
}

void setMtime(const QString& path, qint64 secondsFromNow)
{
    const struct timeval now[2] = {{time(nullptr) + secondsFromNow, 0}, {time(nullptr) + secondsFromNow, 0}};
    QVERIFY(::utimes(QFile::encodeName(path).constData(), now) == 0);
}

} // namespace

class TestHitThumbnails : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void crop_data();
    void crop();
    void upright();
    void diskCache();
    void changes();
    void twoFoldersOnePicture();
    void corruptCacheFile();
    void limit();
    void failed_data();
    void failed();
    void measure();

private:
    QTemporaryDir m_home;
};

void TestHitThumbnails::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_home.path()));
    QVERIFY(HitThumbnails::defaultDirectory().startsWith(m_home.path()));
}

void TestHitThumbnails::crop_data()
{
    QTest::addColumn<QList<QRect>>("areas");
    QTest::addColumn<QRect>("crop");
    // The union of the hits, 15 % of its size added on each side.
    QTest::newRow("two hits") << QList<QRect>{{100, 100, 40, 30}, {200, 150, 20, 20}} << QRect(82, 89, 156, 92);
    // At least 8 pixels, and clipped to the photo.
    QTest::newRow("small hit") << QList<QRect>{{120, 120, 10, 10}} << QRect(112, 112, 26, 26);
    QTest::newRow("at the corner") << QList<QRect>{{2, 3, 20, 10}} << QRect(0, 0, 30, 21);
    QTest::newRow("at the far corner") << QList<QRect>{{230, 240, 20, 10}} << QRect(222, 232, 34, 24);
    // An area without a rectangle is left out; with none left, the whole photo.
    QTest::newRow("one without rectangle") << QList<QRect>{{0, 0, 0, 0}, {120, 120, 10, 10}} << QRect(112, 112, 26, 26);
    QTest::newRow("none with rectangle") << QList<QRect>{{0, 0, 0, 0}} << QRect(0, 0, 256, 256);
}

void TestHitThumbnails::crop()
{
    QFETCH(QList<QRect>, areas);
    QFETCH(QRect, crop);
    CatalogueBuilder b;
    const QString folder = b.makeFolder(QStringLiteral("img"));
    QVERIFY(positionPicture().save(folder + QStringLiteral("/p.png")));
    QList<int> hits;
    for (int i = 0; i < areas.size(); ++i) {
        const QRect& r = areas[i];
        b.writeArea(folder, i * 3, areaSection(true, r.x(), r.y(), r.width(), r.height()));
        hits << i * 3;
    }
    HitThumbnails thumbnails(b.path() + QStringLiteral("/cache"));
    // Asked at the crop's own size: one thumbnail pixel per file pixel.
    const auto t = awaited(thumbnails, {folder, folder + QStringLiteral("/p.png"), hits}, crop.size());
    QCOMPARE(t.state, State::Ready);
    QCOMPARE(t.image.size(), crop.size());
    QCOMPARE(t.image.pixelColor(0, 0), QColor(crop.left(), crop.top(), 0));
    QCOMPARE(t.image.pixelColor(crop.width() - 1, crop.height() - 1), QColor(crop.right(), crop.bottom(), 0));
    // Each hit outlined in red, two pixels wide, inside its rectangle.
    for (const QRect& r : areas) {
        if (r.isEmpty())
            continue;
        const QPoint corner = r.topLeft() - crop.topLeft();
        QCOMPARE(t.image.pixelColor(corner), QColor(Qt::red));
        QCOMPARE(t.image.pixelColor(corner + QPoint(1, 1)), QColor(Qt::red));
        QCOMPARE(t.image.pixelColor(corner + QPoint(2, 2)),
                 QColor(corner.x() + crop.x() + 2, corner.y() + crop.y() + 2, 0));
        QVERIFY(!isRed(t.image.pixelColor(corner - QPoint(1, 1))));
    }
    // Asked smaller: fitted, keeping proportions.
    const QSize half = crop.size() / 2;
    const auto small = awaited(thumbnails, {folder, folder + QStringLiteral("/p.png"), hits}, half);
    QCOMPARE(small.state, State::Ready);
    QCOMPARE(small.image.size(), crop.size().scaled(half, Qt::KeepAspectRatio));
}

void TestHitThumbnails::upright()
{
    // Stored 256 x 128 with a red block at the file's top-left; orientation 6 shows it at the top-right.
    CatalogueBuilder b;
    const QString folder = b.makeFolder(QStringLiteral("img"));
    QImage stored(256, 128, QImage::Format_RGB32);
    stored.fill(Qt::white);
    QPainter(&stored).fillRect(0, 0, 32, 32, Qt::red);
    QVERIFY(photos::writeJpeg(folder + QStringLiteral("/p.jpg"), stored, 6, 95));
    HitThumbnails thumbnails(b.path() + QStringLiteral("/cache"));

    const auto whole = awaited(thumbnails, {folder, folder + QStringLiteral("/p.jpg"), {}}, QSize(100, 100));
    QCOMPARE(whole.state, State::Ready);
    QCOMPARE(whole.image.size(), QSize(50, 100));
    QVERIFY(isRed(whole.image.pixelColor(46, 4)));
    QVERIFY(!isRed(whole.image.pixelColor(4, 4)));

    // The hit (file 0,0 to 40,40 with its margin) is upright 88,0 to 128,40: the block is at its right.
    b.writeArea(folder, 4, areaSection(true, 0, 0, 32, 32));
    const auto hit = awaited(thumbnails, {folder, folder + QStringLiteral("/p.jpg"), {4}}, QSize(40, 40));
    QCOMPARE(hit.state, State::Ready);
    QCOMPARE(hit.image.size(), QSize(40, 40));
    QVERIFY(isRed(hit.image.pixelColor(24, 16)));
    QVERIFY(!isRed(hit.image.pixelColor(3, 16)));
}

void TestHitThumbnails::diskCache()
{
    CatalogueBuilder b;
    const QString folder = b.makeFolder(QStringLiteral("img"));
    QVERIFY(positionPicture().save(folder + QStringLiteral("/p.png")));
    b.writeArea(folder, 0, areaSection(true, 100, 100, 40, 30));
    const HitThumbnails::Request request{folder, folder + QStringLiteral("/p.png"), {0}};
    const QString cache = b.path() + QStringLiteral("/cache");
    QImage first;
    {
        HitThumbnails thumbnails(cache);
        QSignalSpy spy(&thumbnails, &HitThumbnails::ready);
        const int made = HitThumbnails::madeCount();
        QCOMPARE(thumbnails.thumbnail(request, QSize(64, 48)).state, State::Pending);
        QCOMPARE(thumbnails.thumbnail(request, QSize(64, 48)).state, State::Pending); // queued once
        QVERIFY(spy.wait(5000));
        QCOMPARE(spy.takeFirst().at(0).toString(), HitThumbnails::keyOf(request, QSize(64, 48)));
        first = thumbnails.thumbnail(request, QSize(64, 48)).image;
        QCOMPARE(HitThumbnails::madeCount(), made + 1);
        QVERIFY(!spy.wait(300));
        QCOMPARE(cacheFiles(cache).size(), 1);
        QVERIFY(cacheFiles(cache).at(0).endsWith(QStringLiteral(".png")));
    }
    // A fresh object reads the disk cache.
    HitThumbnails thumbnails(cache);
    const int made = HitThumbnails::madeCount();
    const auto t = awaited(thumbnails, request, QSize(64, 48));
    QCOMPARE(t.state, State::Ready);
    QCOMPARE(t.image.convertToFormat(QImage::Format_RGB32), first.convertToFormat(QImage::Format_RGB32));
    QCOMPARE(HitThumbnails::madeCount(), made);
}

void TestHitThumbnails::changes()
{
    CatalogueBuilder b;
    const QString folder = b.makeFolder(QStringLiteral("img"));
    QVERIFY(positionPicture().save(folder + QStringLiteral("/p.png")));
    b.writeArea(folder, 0, areaSection(true, 100, 100, 40, 30));
    const HitThumbnails::Request request{folder, folder + QStringLiteral("/p.png"), {0}};
    const QString cache = b.path() + QStringLiteral("/cache");
    HitThumbnails thumbnails(cache);
    QCOMPARE(awaited(thumbnails, request, QSize(64, 48)).state, State::Ready);
    const int made = HitThumbnails::madeCount();

    // A new search: the known thumbnail is shown at once and checked again; unchanged, nothing is made.
    thumbnails.dropPending();
    QSignalSpy spy(&thumbnails, &HitThumbnails::ready);
    QCOMPARE(thumbnails.thumbnail(request, QSize(64, 48)).state, State::Ready);
    QVERIFY(spy.wait(5000));
    QCOMPARE(HitThumbnails::madeCount(), made);

    // The picture touched: made again, on this object and on a fresh one.
    setMtime(folder + QStringLiteral("/p.png"), -100);
    thumbnails.dropPending();
    QCOMPARE(thumbnails.thumbnail(request, QSize(64, 48)).state, State::Ready);
    QVERIFY(spy.wait(5000));
    QCOMPARE(HitThumbnails::madeCount(), made + 1);
    setMtime(folder + QStringLiteral("/p.png"), -200);
    {
        HitThumbnails fresh(cache);
        QCOMPARE(awaited(fresh, request, QSize(64, 48)).state, State::Ready);
        QCOMPARE(HitThumbnails::madeCount(), made + 2);
    }

    // The area moved: the new crop.
    b.writeArea(folder, 0, areaSection(true, 10, 20, 40, 30));
    thumbnails.dropPending();
    spy.clear();
    thumbnails.thumbnail(request, QSize(64, 48));
    QVERIFY(spy.wait(5000));
    QCOMPARE(HitThumbnails::madeCount(), made + 3);
    const QImage moved = thumbnails.thumbnail(request, QSize(64, 48)).image;
    // The crop now starts at 10 - 8 = 2, 20 - 9 = 11 (scaled 64/56).
    QVERIFY(qAbs(moved.pixelColor(0, 0).red() - 4) <= 3);
    QCOMPARE(cacheFiles(cache).size(), 4);
}

// Two image folders naming the same picture: each thumbnail is cropped by its own folder's areas.
void TestHitThumbnails::twoFoldersOnePicture()
{
    CatalogueBuilder b;
    const QString one = b.makeFolder(QStringLiteral("one"));
    const QString two = b.makeFolder(QStringLiteral("two"));
    QVERIFY(positionPicture().save(one + QStringLiteral("/p.png")));
    b.writeArea(one, 0, areaSection(true, 100, 100, 40, 30));
    b.writeArea(two, 0, areaSection(true, 20, 30, 40, 30));
    HitThumbnails thumbnails(b.path() + QStringLiteral("/cache"));
    const auto a = awaited(thumbnails, {one, one + QStringLiteral("/p.png"), {0}}, QSize(56, 46));
    const auto c = awaited(thumbnails, {two, one + QStringLiteral("/p.png"), {0}}, QSize(56, 46));
    QCOMPARE(a.image.pixelColor(0, 0), QColor(92, 92, 0));
    QCOMPARE(c.image.pixelColor(0, 0), QColor(12, 22, 0));
}

void TestHitThumbnails::corruptCacheFile()
{
    CatalogueBuilder b;
    const QString folder = b.makeFolder(QStringLiteral("img"));
    QVERIFY(positionPicture().save(folder + QStringLiteral("/p.png")));
    const HitThumbnails::Request request{folder, folder + QStringLiteral("/p.png"), {}};
    const QString cache = b.path() + QStringLiteral("/cache");
    {
        HitThumbnails thumbnails(cache);
        QCOMPARE(awaited(thumbnails, request, QSize(64, 64)).state, State::Ready);
    }
    QCOMPARE(cacheFiles(cache).size(), 1);
    const QString file = cache + u'/' + cacheFiles(cache).at(0);
    b.write(file, QByteArray("\x89PNG\r\n\x1a\n broken", 16));
    const int made = HitThumbnails::madeCount();
    HitThumbnails thumbnails(cache);
    const auto t = awaited(thumbnails, request, QSize(64, 64));
    QCOMPARE(t.state, State::Ready);
    QCOMPARE(t.image.size(), QSize(64, 64));
    QCOMPARE(HitThumbnails::madeCount(), made + 1);
    QCOMPARE(cacheFiles(cache).size(), 1);
    QCOMPARE(QImage(file).size(), QSize(64, 64));
}

void TestHitThumbnails::limit()
{
    // Noise does not compress: each cache file is about 64 x 64 x 3 bytes.
    CatalogueBuilder b;
    const QString folder = b.makeFolder(QStringLiteral("img"));
    QImage noise(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            noise.setPixel(x, y, QRandomGenerator::global()->generate() | 0xff000000);
    const QString cache = b.path() + QStringLiteral("/cache");
    const qint64 limit = 40000;
    HitThumbnails thumbnails(cache, limit);
    for (int i = 0; i < 10; ++i) {
        const QString picture = folder + QStringLiteral("/p%1.png").arg(i);
        QVERIFY(noise.save(picture));
        QCOMPARE(awaited(thumbnails, {folder, picture, {}}, QSize(64, 64)).state, State::Ready);
        QVERIFY2(cacheBytes(cache) <= limit, qPrintable(QString::number(cacheBytes(cache))));
        setMtime(cache + u'/' + cacheFiles(cache).first(), 0); // the last one written is not the oldest
    }
    QVERIFY(cacheFiles(cache).size() >= 2);
    QVERIFY(cacheFiles(cache).size() < 10);
}

void TestHitThumbnails::failed_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("missing") << QByteArray();
    QTest::newRow("undecodable") << QByteArrayLiteral("\xff\xd8\xff\xe0 not really a JPEG");
}

void TestHitThumbnails::failed()
{
    QFETCH(QByteArray, bytes);
    CatalogueBuilder b;
    const QString folder = b.makeFolder(QStringLiteral("img"));
    if (!bytes.isEmpty())
        b.write(folder + QStringLiteral("/p.jpg"), bytes);
    HitThumbnails thumbnails(b.path() + QStringLiteral("/cache"));
    const auto t = awaited(thumbnails, {folder, folder + QStringLiteral("/p.jpg"), {}}, QSize(64, 64));
    QCOMPARE(t.state, State::Failed);
    QVERIFY(t.image.isNull());
    QVERIFY(cacheFiles(b.path() + QStringLiteral("/cache")).isEmpty());
}

// Timings over copies of a large photo named by KOVRA_THUMB_PHOTO (not part of the ordinary run).
void TestHitThumbnails::measure()
{
    const QString photo = qEnvironmentVariable("KOVRA_THUMB_PHOTO");
    if (photo.isEmpty())
        QSKIP("KOVRA_THUMB_PHOTO not set");
    CatalogueBuilder b;
    const QString folder = b.makeFolder(QStringLiteral("img"));
    b.writeArea(folder, 0, areaSection(true, 1200, 900, 600, 400));
    QList<HitThumbnails::Request> requests;
    for (int i = 0; i < 100; ++i) {
        const QString copy = folder + QStringLiteral("/p%1.jpg").arg(i);
        QVERIFY(QFile::copy(photo, copy));
        requests.append({folder, copy, {0}});
    }
    const QString cache = b.path() + QStringLiteral("/cache");
    const QSize pixels(160, 120);
    // As a view does: every row asked again when a picture arrives, until all are there.
    auto all = [&](HitThumbnails& t, int n) {
        QElapsedTimer timer;
        timer.start();
        QSignalSpy spy(&t, &HitThumbnails::ready);
        for (;;) {
            int done = 0;
            for (int i = 0; i < n; ++i)
                done += t.thumbnail(requests[i], pixels).state == State::Ready ? 1 : 0;
            if (done == n)
                return timer.elapsed();
            if (!spy.wait(20000))
                return qint64(-1);
        }
    };
    {
        HitThumbnails t(cache);
        qInfo("cold, first 6: %lld ms", all(t, 6));
    }
    QDir(cache).removeRecursively();
    {
        HitThumbnails t(cache);
        qInfo("cold, all 100: %lld ms", all(t, 100));
    }
    {
        HitThumbnails t(cache);
        qInfo("warm disk cache, fresh object, first 6: %lld ms", all(t, 6));
    }
    {
        HitThumbnails t(cache);
        qInfo("warm disk cache, fresh object, all 100: %lld ms", all(t, 100));
    }
}

QTEST_GUILESS_MAIN(TestHitThumbnails)
#include "tst_hitthumbnails.moc"
