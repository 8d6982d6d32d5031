#include "MarkGeometry.h"

#include <QTest>

using namespace kovra::marks;

class tst_MarkGeometry : public QObject
{
    Q_OBJECT

private slots:
    // Twips from the press become pixels rounded half to even, at any twips per pixel.
    void grabOffsetRoundsHalfToEven_data()
    {
        QTest::addColumn<QPointF>("twips");
        QTest::addColumn<double>("tpp");
        QTest::addColumn<QPoint>("grab");
        QTest::newRow("whole") << QPointF(150, 45) << 15.0 << QPoint(10, 3);
        QTest::newRow("halves to even") << QPointF(37.5, 52.5) << 15.0 << QPoint(2, 4);
        QTest::newRow("120 dpi") << QPointF(30, 18) << 12.0 << QPoint(2, 2);
    }
    void grabOffsetRoundsHalfToEven()
    {
        QFETCH(QPointF, twips);
        QFETCH(double, tpp);
        QFETCH(QPoint, grab);
        QCOMPARE(grabOffset(twips, tpp), grab);
    }

    void resizeKeepsAtLeastOnePixel()
    {
        // A fractional left (set by another window) must not give a width below one pixel.
        QCOMPARE(resizedTo(QRectF(10.5, 20.25, 5, 5), QPoint(11, 21)), QRectF(10.5, 20.25, 1, 1));
        QCOMPARE(resizedTo(QRectF(10, 20, 5, 5), QPoint(-3, 40)), QRectF(10, 20, 5, 20));
    }

    // The border of a marker grabs its edges and corners, the middle moves it; a small marker keeps a
    // middle. Marker 100 x 60 box pixels at (10, 20), grip 5.
    void grabbedEdgesByZone_data()
    {
        QTest::addColumn<QRectF>("marker");
        QTest::addColumn<QPointF>("point");
        QTest::addColumn<int>("edges");
        QTest::addColumn<int>("cursor");
        const QRectF m(10, 20, 100, 60);
        const int none = 0;
        QTest::newRow("middle") << m << QPointF(60, 50) << none << int(Qt::ArrowCursor);
        QTest::newRow("left") << m << QPointF(12, 50) << int(Qt::LeftEdge) << int(Qt::SizeHorCursor);
        QTest::newRow("right") << m << QPointF(108, 50) << int(Qt::RightEdge) << int(Qt::SizeHorCursor);
        QTest::newRow("top") << m << QPointF(60, 20) << int(Qt::TopEdge) << int(Qt::SizeVerCursor);
        QTest::newRow("bottom") << m << QPointF(60, 79.5) << int(Qt::BottomEdge) << int(Qt::SizeVerCursor);
        QTest::newRow("top-left") << m << QPointF(11, 21) << int(Qt::TopEdge | Qt::LeftEdge)
                                  << int(Qt::SizeFDiagCursor);
        QTest::newRow("bottom-right") << m << QPointF(109, 79) << int(Qt::BottomEdge | Qt::RightEdge)
                                      << int(Qt::SizeFDiagCursor);
        QTest::newRow("top-right") << m << QPointF(109, 21) << int(Qt::TopEdge | Qt::RightEdge)
                                   << int(Qt::SizeBDiagCursor);
        QTest::newRow("bottom-left") << m << QPointF(11, 79) << int(Qt::BottomEdge | Qt::LeftEdge)
                                     << int(Qt::SizeBDiagCursor);
        QTest::newRow("just inside the grip") << m << QPointF(14.9, 50) << int(Qt::LeftEdge) << int(Qt::SizeHorCursor);
        QTest::newRow("just past the grip") << m << QPointF(15, 50) << none << int(Qt::ArrowCursor);
        QTest::newRow("outside") << m << QPointF(5, 50) << none << int(Qt::ArrowCursor);
        // 9 x 6: the grip is 3 across and 2 down, so the middle still moves.
        const QRectF small(0, 0, 9, 6);
        QTest::newRow("small, middle") << small << QPointF(4.5, 3) << none << int(Qt::ArrowCursor);
        QTest::newRow("small, left") << small << QPointF(2.5, 3) << int(Qt::LeftEdge) << int(Qt::SizeHorCursor);
        QTest::newRow("small, right") << small << QPointF(6, 3) << int(Qt::RightEdge) << int(Qt::SizeHorCursor);
        QTest::newRow("small, bottom") << small << QPointF(4.5, 4) << int(Qt::BottomEdge) << int(Qt::SizeVerCursor);
    }
    void grabbedEdgesByZone()
    {
        QFETCH(QRectF, marker);
        QFETCH(QPointF, point);
        QFETCH(int, edges);
        QFETCH(int, cursor);
        const Qt::Edges grabbed = grabbedEdges(marker, point, 5);
        QCOMPARE(int(grabbed), edges);
        QCOMPARE(int(cursorFor(grabbed)), cursor);
    }

    // Each grabbed edge follows the delta and the opposite one stays; the minimum size and the picture's
    // bounds (0, 0, 400, 300) hold. Marker (100, 50, 80, 40).
    void resizedByEdges_data()
    {
        QTest::addColumn<int>("edges");
        QTest::addColumn<QPointF>("delta");
        QTest::addColumn<QRectF>("bounds");
        QTest::addColumn<QRectF>("expected");
        const QRectF pic(0, 0, 400, 300);
        const int l = Qt::LeftEdge, t = Qt::TopEdge, r = Qt::RightEdge, b = Qt::BottomEdge;
        QTest::newRow("left") << l << QPointF(-30, 7) << pic << QRectF(70, 50, 110, 40);
        QTest::newRow("right") << r << QPointF(20, -9) << pic << QRectF(100, 50, 100, 40);
        QTest::newRow("top") << t << QPointF(5, -20) << pic << QRectF(100, 30, 80, 60);
        QTest::newRow("bottom") << b << QPointF(5, 15) << pic << QRectF(100, 50, 80, 55);
        QTest::newRow("top-left") << (t | l) << QPointF(10, 10) << pic << QRectF(110, 60, 70, 30);
        QTest::newRow("top-right") << (t | r) << QPointF(10, 10) << pic << QRectF(100, 60, 90, 30);
        QTest::newRow("bottom-left") << (b | l) << QPointF(10, 10) << pic << QRectF(110, 50, 70, 50);
        QTest::newRow("bottom-right") << (b | r) << QPointF(-10, -10) << pic << QRectF(100, 50, 70, 30);
        QTest::newRow("left past the right edge") << l << QPointF(200, 0) << pic << QRectF(179, 50, 1, 40);
        QTest::newRow("bottom above the top") << b << QPointF(0, -100) << pic << QRectF(100, 50, 80, 1);
        QTest::newRow("left beyond the picture") << l << QPointF(-500, 0) << pic << QRectF(0, 50, 180, 40);
        QTest::newRow("bottom-right beyond it") << (b | r) << QPointF(900, 900) << pic << QRectF(100, 50, 300, 250);
        QTest::newRow("no picture: no bounds") << l << QPointF(-500, 0) << QRectF() << QRectF(-400, 50, 580, 40);
    }
    void resizedByEdges()
    {
        QFETCH(int, edges);
        QFETCH(QPointF, delta);
        QFETCH(QRectF, bounds);
        QFETCH(QRectF, expected);
        QCOMPARE(resizedEdges(QRectF(100, 50, 80, 40), Qt::Edges(edges), delta, bounds), expected);
    }

    // A marker already partly outside the picture (moves are not bounded) may come back, never go further.
    void outsideEdgeGoesNoFurtherOut()
    {
        const QRectF pic(0, 0, 400, 300);
        const QRectF out(-20, 10, 60, 40);
        QCOMPARE(resizedEdges(out, Qt::LeftEdge, QPointF(-5, 0), pic), out);
        QCOMPARE(resizedEdges(out, Qt::LeftEdge, QPointF(30, 0), pic), QRectF(10, 10, 30, 40));
        QCOMPARE(movedWithin(out, QPointF(-10, 0), pic), out);
        QCOMPARE(movedWithin(out, QPointF(5, 0), pic), QRectF(-15, 10, 60, 40));
    }

    void movedWithinThePicture_data()
    {
        QTest::addColumn<QPointF>("delta");
        QTest::addColumn<QPointF>("topLeft");
        QTest::newRow("one right") << QPointF(1, 0) << QPointF(301, 100);
        QTest::newRow("ten up") << QPointF(0, -10) << QPointF(300, 90);
        QTest::newRow("stops at the right edge") << QPointF(30, 0) << QPointF(320, 100);
        QTest::newRow("stops at the bottom") << QPointF(0, 500) << QPointF(300, 260);
        QTest::newRow("stops at the top") << QPointF(0, -500) << QPointF(300, 0);
    }
    void movedWithinThePicture()
    {
        QFETCH(QPointF, delta);
        QFETCH(QPointF, topLeft);
        QCOMPARE(movedWithin(QRectF(300, 100, 80, 40), delta, QRectF(0, 0, 400, 300)), QRectF(topLeft, QSizeF(80, 40)));
    }

    // Any direction gives the same rectangle, in whole pixels, clipped, never below the minimum.
    void drawnRectangles_data()
    {
        QTest::addColumn<QPointF>("from");
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<QRectF>("expected");
        QTest::newRow("down-right") << QPointF(10, 20) << QPointF(110, 70) << QRectF(10, 20, 100, 50);
        QTest::newRow("up-left") << QPointF(110, 70) << QPointF(10, 20) << QRectF(10, 20, 100, 50);
        QTest::newRow("up-right") << QPointF(10, 70) << QPointF(110, 20) << QRectF(10, 20, 100, 50);
        QTest::newRow("rounded half to even") << QPointF(10.5, 19.6) << QPointF(109.5, 70.4) << QRectF(10, 20, 100, 50);
        QTest::newRow("clipped") << QPointF(-30, 250) << QPointF(350, 400) << QRectF(0, 250, 350, 50);
        QTest::newRow("a line grows to the minimum") << QPointF(40, 50) << QPointF(40, 90) << QRectF(40, 50, 1, 40);
        QTest::newRow("at the far edge, backwards") << QPointF(400, 10) << QPointF(450, 40) << QRectF(399, 10, 1, 30);
    }
    void drawnRectangles()
    {
        QFETCH(QPointF, from);
        QFETCH(QPointF, to);
        QFETCH(QRectF, expected);
        QCOMPARE(drawnRect(from, to, QRectF(0, 0, 400, 300)), expected);
    }
    // A hit icon (32 x 32) on an area it would hide goes beside it, inside the box (600 x 400) if it can.
    void hitIconBesideSmallAreas_data()
    {
        QTest::addColumn<QRectF>("area");
        QTest::addColumn<QPointF>("icon");
        QTest::newRow("large: its corner") << QRectF(100, 100, 200, 150) << QPointF(100, 100);
        QTest::newRow("as large as the icon: its corner") << QRectF(100, 100, 32, 32) << QPointF(100, 100);
        QTest::newRow("small: left of it") << QRectF(100, 100, 10, 8) << QPointF(68, 88);
        QTest::newRow("wide but low: left of it") << QRectF(100, 100, 200, 10) << QPointF(68, 89);
        QTest::newRow("at the left end: above") << QRectF(20, 100, 10, 8) << QPointF(9, 68);
        QTest::newRow("at the top-left: right of it") << QRectF(5, 20, 10, 8) << QPointF(15, 8);
        QTest::newRow("in the corner: most inside") << QRectF(5, 5, 10, 8) << QPointF(-6, 13);
    }
    void hitIconBesideSmallAreas()
    {
        QFETCH(QRectF, area);
        QFETCH(QPointF, icon);
        const QPointF at = hitIconPlace(area, QSizeF(32, 32), QRectF(0, 0, 600, 400));
        QCOMPARE(at, icon);
        if (area.width() < 32 || area.height() < 32)
            QVERIFY(!QRectF(at, QSizeF(32, 32)).intersects(area)); // the frame stays in sight
    }

    void handleOutsideSmallMarkers_data()
    {
        QTest::addColumn<QRectF>("marker");
        QTest::addColumn<QPointF>("handle");
        QTest::newRow("large: its corner") << QRectF(10, 10, 40, 30) << QPointF(10, 10);
        QTest::newRow("twice the handle: its corner") << QRectF(10, 10, 18, 18) << QPointF(10, 10);
        QTest::newRow("narrow: beyond the bottom-right") << QRectF(10, 10, 17, 40) << QPointF(27, 50);
        QTest::newRow("low: beyond the bottom-right") << QRectF(10, 10, 40, 5) << QPointF(50, 15);
    }
    void handleOutsideSmallMarkers()
    {
        QFETCH(QRectF, marker);
        QFETCH(QPointF, handle);
        QCOMPARE(handlePlace(marker, QSizeF(9, 9)), handle);
    }
};

QTEST_MAIN(tst_MarkGeometry)
#include "tst_markgeometry.moc"
