#include "PictureView.h"

#include <QTest>

using kovra::PictureView;

namespace {

// The file-to-upright transform of each EXIF orientation for a file of w x h pixels, built from turns
// and mirrors as the orientation tag describes them.
QTransform orientationTransform(int orientation, double w, double h)
{
    const QTransform mirror = QTransform::fromScale(-1, 1) * QTransform::fromTranslate(w, 0);
    const QTransform right = QTransform().rotate(90) * QTransform::fromTranslate(h, 0); // turned clockwise
    const QTransform left = QTransform().rotate(-90) * QTransform::fromTranslate(0, w);
    const QTransform half = QTransform().rotate(180) * QTransform::fromTranslate(w, h);
    switch (orientation) {
    case 2:
        return mirror;
    case 3:
        return half;
    case 4:
        return mirror * half;
    case 5:
        return mirror * left;
    case 6:
        return right;
    case 7:
        return mirror * right;
    case 8:
        return left;
    default:
        return QTransform();
    }
}

PictureView view(QSize upright, QSize box, const QTransform& t = QTransform())
{
    PictureView v;
    v.setPicture(upright, t);
    v.setBox(box);
    return v;
}

} // namespace

class tst_PictureView : public QObject
{
    Q_OBJECT

private slots:
    // At 100 % from the top-left corner a file pixel is a box pixel, as the earlier build showed it.
    void actualSizeIsTheIdentity()
    {
        PictureView v = view(QSize(4032, 3024), QSize(636, 476));
        QCOMPARE(v.zoom(), 1.0);
        QCOMPARE(v.fileToBox(QRectF(10.5, -3, 187.5, 43.75)), QRectF(10.5, -3, 187.5, 43.75));
        QCOMPARE(v.boxToFile(QPointF(300, 200)), QPointF(300, 200));
        QCOMPARE(v.maxScroll(), QPointF(4032 - 636, 3024 - 476));
    }

    void fitShowsTheWholePhoto()
    {
        PictureView v = view(QSize(4032, 3024), QSize(636, 476));
        v.showFit();
        QCOMPARE(v.zoom(), 476.0 / 3024);
        QCOMPARE(v.maxScroll(), QPointF(0, 0));
        const QRectF r = v.fileToBox(QRectF(3500, 2500, 300, 200));
        QVERIFY(QRectF(0, 0, 636, 476).contains(r));
        QCOMPARE(r.topLeft(), QPointF(3500, 2500) * (476.0 / 3024));
        // A photo smaller than the box stays at its own size.
        PictureView small = view(QSize(320, 240), QSize(636, 476));
        small.showFit();
        QCOMPARE(small.zoom(), 1.0);
        // The mode stays for the next picture.
        v.setPicture(QSize(1000, 4000), QTransform());
        QCOMPARE(v.mode(), PictureView::Mode::Fit);
        QCOMPARE(v.zoom(), 476.0 / 4000);
    }

    void zoomKeepsThePointUnderThePointer_data()
    {
        QTest::addColumn<bool>("in");
        QTest::addColumn<QPointF>("pointer");
        QTest::newRow("in at the middle") << true << QPointF(318, 238);
        QTest::newRow("in near a corner") << true << QPointF(600, 20);
        QTest::newRow("out") << false << QPointF(100, 400);
    }
    void zoomKeepsThePointUnderThePointer()
    {
        QFETCH(bool, in);
        QFETCH(QPointF, pointer);
        PictureView v = view(QSize(4032, 3024), QSize(636, 476));
        v.setScroll(QPointF(1000, 800));
        const QPointF before = v.boxToFile(pointer);
        if (in)
            v.zoomIn(pointer);
        else
            v.zoomOut(pointer);
        QCOMPARE(v.zoom(), in ? 1.5 : 0.667);
        QCOMPARE(v.mode(), PictureView::Mode::Custom);
        // Within the whole-pixel rounding of the scroll position.
        QVERIFY2((v.fileToBox(before) - pointer).manhattanLength() <= 1.0, "the point moved");
        v.showActual();
        QCOMPARE(v.zoom(), 1.0);
        QCOMPARE(v.scroll(), QPointF(0, 0));
    }

    void scrollStaysOnThePicture()
    {
        PictureView v = view(QSize(1000, 800), QSize(600, 400));
        v.setScroll(QPointF(-50, 5000));
        QCOMPARE(v.scroll(), QPointF(0, 400));
        v.setScroll(QPointF(123.4, 7.6));
        QCOMPARE(v.scroll(), QPointF(123, 8)); // whole box pixels
    }

    void scrollIntoViewBringsTheRectIn_data()
    {
        QTest::addColumn<QRectF>("rect");
        QTest::addColumn<QRectF>("room");
        QTest::addColumn<QPointF>("scroll");
        QTest::newRow("already in view") << QRectF(10, 10, 50, 50) << QRectF() << QPointF(0, 0);
        QTest::newRow("far right and below")
            << QRectF(3500, 2500, 300, 200) << QRectF() << QPointF(3800 - 636, 2700 - 476);
        QTest::newRow("larger than the box: its corner")
            << QRectF(1000, 900, 2000, 2000) << QRectF() << QPointF(1000, 900);
        // The left part of the box only: the rect goes as far as the room's right end.
        QTest::newRow("into the left strip")
            << QRectF(3000, 2500, 300, 200) << QRectF(0, 0, 400, 476) << QPointF(3300 - 400, 2700 - 476);
        QTest::newRow("a strip at the right: to its right end")
            << QRectF(1000, 100, 100, 50) << QRectF(300, 0, 336, 476) << QPointF(1100 - 636, 0);
        QTest::newRow("larger than the room: its corner at the room's")
            << QRectF(1000, 900, 300, 300) << QRectF(0, 300, 636, 176) << QPointF(1300 - 636, 900 - 300);
    }
    void scrollIntoViewBringsTheRectIn()
    {
        QFETCH(QRectF, rect);
        QFETCH(QRectF, room);
        QFETCH(QPointF, scroll);
        PictureView v = view(QSize(4032, 3024), QSize(636, 476));
        v.scrollIntoView(rect, room);
        QCOMPARE(v.scroll(), scroll);
    }

    // A window over the middle of the box (120, 90, 400 x 300): the rect goes where the most of it shows.
    void scrollOutFromAWindow_data()
    {
        QTest::addColumn<QRectF>("rect");
        QTest::addColumn<QPointF>("scroll");
        QTest::newRow("clear already: stays") << QRectF(10, 10, 50, 50) << QPointF(0, 0);
        QTest::newRow("under it: left of it, the first of equals") << QRectF(300, 200, 60, 40) << QPointF(240, 0);
        QTest::newRow("tall: left of it, its top at the box's") << QRectF(300, 100, 60, 2000) << QPointF(240, 100);
        QTest::newRow("wide at the picture's start: above it") << QRectF(10, 150, 200, 40) << QPointF(0, 100);
    }
    void scrollOutFromAWindow()
    {
        QFETCH(QRectF, rect);
        QFETCH(QPointF, scroll);
        PictureView v = view(QSize(4032, 3024), QSize(636, 476));
        QCOMPARE(v.scrollOutFrom(rect, QRectF(120, 90, 400, 300)), scroll);
        QCOMPARE(v.scroll(), QPointF(0, 0)); // only asked
        QCOMPARE(v.scrollOutFrom(rect, QRectF()), QPointF(0, 0));
    }

    // Each orientation turns the file upright; a rectangle of the file's grid goes there and back.
    void orientationMapsTheFileGrid_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QRectF>("upright"); // where file rect (0, 0, 10, 5) of a 40 x 30 file lies
        QTest::newRow("1") << 1 << QRectF(0, 0, 10, 5);
        QTest::newRow("2 mirrored") << 2 << QRectF(30, 0, 10, 5);
        QTest::newRow("3 upside down") << 3 << QRectF(30, 25, 10, 5);
        QTest::newRow("4 flipped") << 4 << QRectF(0, 25, 10, 5);
        QTest::newRow("5 transposed") << 5 << QRectF(0, 0, 5, 10);
        QTest::newRow("6 turned right") << 6 << QRectF(25, 0, 5, 10);
        QTest::newRow("7 transversed") << 7 << QRectF(25, 30, 5, 10);
        QTest::newRow("8 turned left") << 8 << QRectF(0, 30, 5, 10);
    }
    void orientationMapsTheFileGrid()
    {
        QFETCH(int, orientation);
        QFETCH(QRectF, upright);
        const QSize size = orientation >= 5 ? QSize(30, 40) : QSize(40, 30);
        PictureView v = view(size, QSize(600, 400), orientationTransform(orientation, 40, 30));
        const QRectF file(0, 0, 10, 5);
        QCOMPARE(v.fileToUpright(file), upright);
        QCOMPARE(v.uprightToFile(upright), file);
        v.zoomAbout(2.0, QPointF());
        QCOMPARE(v.fileToBox(file), QRectF(upright.topLeft() * 2, upright.size() * 2));
        QCOMPARE(v.boxToFile(v.fileToBox(file)), file);
    }

    // Dragging by a box distance moves by that distance divided by the zoom.
    void dragDistanceScalesWithTheZoom()
    {
        PictureView v = view(QSize(4032, 3024), QSize(636, 476));
        v.zoomOut(QPointF());
        v.zoomOut(QPointF());
        QCOMPARE(v.zoom(), 0.5);
        QCOMPARE(v.boxToFile(QPointF(150, 80)) - v.boxToFile(QPointF(50, 20)), QPointF(200, 120));
    }
};

QTEST_APPLESS_MAIN(tst_PictureView)
#include "tst_pictureview.moc"
