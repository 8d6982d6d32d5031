#include "MarkGeometry.h"

#include "Numbers.h"

#include <algorithm>

namespace kovra::marks {
namespace {

// One axis of an edge resize: the low and high edge, which of them move, and the picture's extent.
struct Axis
{
    double lo, hi;
    bool moveLo, moveHi;
    double boundLo, boundHi;
    bool bounded;
};

void resizeAxis(const Axis& a, double delta, double& lo, double& hi)
{
    lo = a.lo;
    hi = a.hi;
    if (a.moveHi) {
        hi = a.hi + delta;
        if (a.bounded)
            hi = std::clamp(hi, std::min(a.boundLo, a.hi), std::max(a.boundHi, a.hi));
        hi = std::max(hi, lo + MinimumSize);
    }
    if (a.moveLo) {
        lo = a.lo + delta;
        if (a.bounded)
            lo = std::clamp(lo, std::min(a.boundLo, a.lo), std::max(a.boundHi, a.lo));
        lo = std::min(lo, hi - MinimumSize);
    }
}

double moveAxis(double lo, double size, double delta, double boundLo, double boundHi, bool bounded)
{
    const double moved = lo + delta;
    if (!bounded)
        return moved;
    return std::clamp(moved, std::min(lo, boundLo), std::max(lo, boundHi - size));
}

// The drawn extent on one axis: clipped, then grown to the minimum (backwards at the far bound).
void drawnAxis(double a, double b, double boundLo, double boundHi, bool bounded, double& lo, double& hi)
{
    lo = std::min(a, b);
    hi = std::max(a, b);
    if (bounded) {
        lo = std::clamp(lo, boundLo, boundHi);
        hi = std::clamp(hi, boundLo, boundHi);
    }
    if (hi - lo < MinimumSize) {
        hi = lo + MinimumSize;
        if (bounded && hi > boundHi) {
            hi = boundHi;
            lo = std::max(boundLo, hi - MinimumSize);
        }
    }
}

} // namespace

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
        r.setWidth(std::max(MinimumSize, dx));
    const double dy = last.y() - rect.top();
    if (dy > 0)
        r.setHeight(std::max(MinimumSize, dy));
    return r;
}

Qt::Edges grabbedEdges(const QRectF& rect, QPointF point, double grip)
{
    const QRectF r = rect.normalized();
    if (!r.contains(point))
        return {};
    const double gx = std::min(grip, r.width() / 3);
    const double gy = std::min(grip, r.height() / 3);
    Qt::Edges edges;
    if (point.x() < r.left() + gx)
        edges |= Qt::LeftEdge;
    else if (point.x() >= r.right() - gx)
        edges |= Qt::RightEdge;
    if (point.y() < r.top() + gy)
        edges |= Qt::TopEdge;
    else if (point.y() >= r.bottom() - gy)
        edges |= Qt::BottomEdge;
    return edges;
}

Qt::CursorShape cursorFor(Qt::Edges edges)
{
    const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
    const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
    if (horizontal && vertical) {
        const bool falling = bool(edges & Qt::LeftEdge) == bool(edges & Qt::TopEdge); // top-left or bottom-right
        return falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor;
    }
    if (horizontal)
        return Qt::SizeHorCursor;
    if (vertical)
        return Qt::SizeVerCursor;
    return Qt::ArrowCursor;
}

QRectF resizedEdges(const QRectF& rect, Qt::Edges edges, QPointF delta, const QRectF& bounds)
{
    const QRectF r = rect.normalized();
    const bool bounded = !bounds.isEmpty();
    double l, rr, t, b;
    resizeAxis({r.left(), r.right(), bool(edges & Qt::LeftEdge), bool(edges & Qt::RightEdge), bounds.left(),
                bounds.right(), bounded},
               delta.x(), l, rr);
    resizeAxis({r.top(), r.bottom(), bool(edges & Qt::TopEdge), bool(edges & Qt::BottomEdge), bounds.top(),
                bounds.bottom(), bounded},
               delta.y(), t, b);
    return QRectF(QPointF(l, t), QPointF(rr, b));
}

QRectF movedWithin(const QRectF& rect, QPointF delta, const QRectF& bounds)
{
    const QRectF r = rect.normalized();
    const bool bounded = !bounds.isEmpty();
    const double l = moveAxis(r.left(), r.width(), delta.x(), bounds.left(), bounds.right(), bounded);
    const double t = moveAxis(r.top(), r.height(), delta.y(), bounds.top(), bounds.bottom(), bounded);
    return QRectF(QPointF(l, t), r.size());
}

QRectF drawnRect(QPointF from, QPointF to, const QRectF& bounds)
{
    const QPoint a = roundedPoint(from);
    const QPoint b = roundedPoint(to);
    const bool bounded = !bounds.isEmpty();
    double l, r, t, bt;
    drawnAxis(a.x(), b.x(), bounds.left(), bounds.right(), bounded, l, r);
    drawnAxis(a.y(), b.y(), bounds.top(), bounds.bottom(), bounded, t, bt);
    return QRectF(QPointF(l, t), QPointF(r, bt));
}

QPointF hitIconPlace(const QRectF& area, QSizeF icon, const QRectF& box)
{
    const QRectF a = area.normalized();
    if (a.width() >= icon.width() && a.height() >= icon.height())
        return a.topLeft();
    const double midX = a.center().x() - icon.width() / 2;
    const double midY = a.center().y() - icon.height() / 2;
    const QPointF beside[] = {
        {a.left() - icon.width(), midY},
        {midX, a.top() - icon.height()},
        {a.right(), midY},
        {midX, a.bottom()},
    };
    QPointF best = beside[0];
    double bestInside = -1;
    for (const QPointF& at : beside) {
        const QRectF r(at, icon);
        if (box.contains(r))
            return at;
        const QRectF in = r.intersected(box);
        const double inside = in.isEmpty() ? 0 : in.width() * in.height();
        if (inside > bestInside) {
            best = at;
            bestInside = inside;
        }
    }
    return best;
}

QPointF handlePlace(const QRectF& marker, QSizeF handle)
{
    const QRectF m = marker.normalized();
    if (m.width() < 2 * handle.width() || m.height() < 2 * handle.height())
        return m.bottomRight();
    return m.topLeft();
}

} // namespace kovra::marks
