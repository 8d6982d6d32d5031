#include "MarkGeometry.h"

#include "Numbers.h"

#include <algorithm>

namespace kovra::marks {

QPoint grabOffset(QPointF twipsInMarker, double twipsPerPixel)
{
    return roundedPoint(twipsInMarker / twipsPerPixel);
}

QPoint roundedPoint(QPointF pixels)
{
    return QPoint(int(numbers::roundHalfEven(pixels.x())), int(numbers::roundHalfEven(pixels.y())));
}

QPointF droppedTopLeft(QPointF pointer, QPoint grab)
{
    return pointer - QPointF(grab);
}

QRectF resizedTo(const QRectF& rect, QPoint last)
{
    QRectF r = rect;
    const double dx = last.x() - rect.left();
    if (dx > 0)
        r.setWidth(std::max(1.0, dx));
    const double dy = last.y() - rect.top();
    if (dy > 0)
        r.setHeight(std::max(1.0, dy));
    return r;
}

} // namespace kovra::marks
