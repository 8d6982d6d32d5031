#include "PictureCanvas.h"
#include "ShownImage.h"
#include "TestPhotos.h"

#include <QApplication>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

using kovra::PictureCanvas;
using kovra::ShownImage;

namespace {

const QColor Background(90, 70, 50); // photos::shelf's, with its yellow block at three quarters

// The shown photo's colour at a box pixel, as the box draws it.
QColor at(const PictureCanvas& canvas, QPoint p)
{
    return canvas.viewport()->grab().toImage().pixelColor(p);
}

bool near(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) < 12 && std::abs(a.green() - b.green()) < 12 &&
           std::abs(a.blue() - b.blue()) < 12;
}

} // namespace

// At 100 % a JPEG shows the part in view first, then the whole photo decoded behind it.
class tst_CanvasPicture : public QObject
{
    Q_OBJECT

private:
    QString photo(const QString& name, QColor background, int orientation = 0)
    {
        const QString path = m_dir.filePath(name);
        if (!photos::writeJpeg(path, photos::shelf(QSize(3000, 2000), background), orientation, 90))
            qFatal("no photo");
        return path;
    }

    void show(PictureCanvas& canvas)
    {
        canvas.resize(660, 500);
        canvas.show();
        if (!QTest::qWaitForWindowExposed(&canvas))
            qFatal("not exposed");
        canvas.showActual();
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // The part is the photo's own pixels in upright coordinates: drawn as the whole draws it, at the
    // top-left corner and again where a scroll takes the view before the whole is there.
    void partThenWhole_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::newRow("upright") << 1;
        QTest::newRow("quarter clockwise") << 6;
        QTest::newRow("half turn") << 3;
        QTest::newRow("transposed") << 5;
    }
    void partThenWhole()
    {
        QFETCH(int, orientation);
        const QString path = photo(QStringLiteral("o%1.jpg").arg(orientation), Background, orientation);
        ShownImage model;
        QWidget dragLayer;
        PictureCanvas canvas(&model, &dragLayer, nullptr);
        show(canvas);
        QVERIFY(model.showPicture(path));
        QVERIFY(canvas.hasPhoto());
        QVERIFY(canvas.showsPartOnly()); // the whole is reported through the event loop only
        const QImage partTopLeft = canvas.viewport()->grab().toImage();
        QVERIFY(near(partTopLeft.pixelColor(20, 20), Background));

        // Scrolled to the far corner before the whole came: that part is decoded too, never left white.
        auto* h = canvas.findChild<QScrollBar*>(QStringLiteral("Picture1HScroll"));
        auto* v = canvas.findChild<QScrollBar*>(QStringLiteral("Picture1VScroll"));
        QVERIFY(h && v);
        h->setValue(h->maximum());
        v->setValue(v->maximum());
        QVERIFY(canvas.showsPartOnly());
        const QImage partCorner = canvas.viewport()->grab().toImage();
        QVERIFY(!near(partCorner.pixelColor(300, 300), Qt::white));

        QTRY_VERIFY(!canvas.showsPartOnly());
        QVERIFY(canvas.hasPhoto());
        QCOMPARE(canvas.viewport()->grab().toImage(), partCorner);
        h->setValue(0);
        v->setValue(0);
        QCOMPARE(canvas.viewport()->grab().toImage(), partTopLeft);
    }

    // Another photo chosen while the whole of the first is decoded: the first's never shows.
    void newerChoiceDiscardsTheStaleWhole()
    {
        const QString first = photo(QStringLiteral("first.jpg"), QColor(200, 30, 30));
        const QString second = photo(QStringLiteral("second.jpg"), QColor(30, 30, 200));
        ShownImage model;
        QWidget dragLayer;
        PictureCanvas canvas(&model, &dragLayer, nullptr);
        show(canvas);
        QVERIFY(model.showPicture(first));
        QVERIFY(canvas.showsPartOnly());
        QTest::qWait(1); // the first's whole may finish now: its report must not replace the second
        QVERIFY(model.showPicture(second));
        QVERIFY(near(at(canvas, QPoint(20, 20)), QColor(30, 30, 200)));
        QTRY_VERIFY(!canvas.showsPartOnly());
        QTest::qWait(200);
        QVERIFY(near(at(canvas, QPoint(20, 20)), QColor(30, 30, 200)));
        QCOMPARE(model.picture()->path(), second);
        QVERIFY(model.picture()->hasFullImage());
    }

    // The fit view needs no full size: no part, no decode behind it; back at 100 % the part comes first.
    void fitShowsNoPart()
    {
        const QString path = photo(QStringLiteral("fit.jpg"), Background);
        ShownImage model;
        QWidget dragLayer;
        PictureCanvas canvas(&model, &dragLayer, nullptr);
        show(canvas);
        canvas.showFit();
        QVERIFY(model.showPicture(path));
        QVERIFY(canvas.hasPhoto());
        QVERIFY(!canvas.showsPartOnly());
        QVERIFY(!model.picture()->hasFullImage());
        canvas.showActual();
        QVERIFY(canvas.showsPartOnly());
        canvas.showFit(); // the whole decode stops: the fit view does not keep a full-size photo
        QVERIFY(!canvas.showsPartOnly());
        QTest::qWait(100);
        QVERIFY(!model.picture()->hasFullImage());
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(tst_CanvasPicture)
#include "tst_canvaspicture.moc"
