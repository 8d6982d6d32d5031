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
};

QTEST_MAIN(tst_MarkGeometry)
#include "tst_markgeometry.moc"
