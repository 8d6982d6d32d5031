#pragma once

#include <QPoint>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <Qt>

// The arithmetic of moving and resizing the area markers, kept apart from the widgets.
namespace kovra::marks {

// No resize leaves a marker narrower or lower than this, in picture pixels.
inline constexpr double MinimumSize = 1.0;

// Where inside the marker the user pressed, in whole pixels: the position in twips divided by the
// twips per pixel, each rounded half to even.
QPoint grabOffset(QPointF twipsInMarker, double twipsPerPixel);

// The pointer position of a move, rounded half to even.
QPoint roundedPoint(QPointF pixels);

// The dragged marker's new top-left corner for a drop with the pointer at pointer (picture pixels).
QPointF droppedTopLeft(QPointF pointer, QPoint grab);

// The marker with its bottom-right corner at last: a dimension changes only when last lies beyond the
// top-left corner in that direction, and never becomes smaller than MinimumSize.
QRectF resizedTo(const QRectF& rect, QPoint last);

// The edges of a marker (rect, box pixels) that a press at point grabs: those it lies within grip of,
// inside the marker. On a small marker the grip shrinks to a third of its width or height, so that its
// middle still moves it. No edge: the middle, a move.
Qt::Edges grabbedEdges(const QRectF& rect, QPointF point, double grip);

// The pointer shape over grabbed edges: sideways, up and down, or along a diagonal; the arrow for none.
Qt::CursorShape cursorFor(Qt::Edges edges);

// In upright picture pixels, bounds being the picture (empty: no picture, nothing bounds the marker):
// rect with the grabbed edges moved by delta while the others stay. A moved edge stays within bounds, or
// within where it started when it started outside them, and at least MinimumSize from its opposite edge.
QRectF resizedEdges(const QRectF& rect, Qt::Edges edges, QPointF delta, const QRectF& bounds);

// rect moved by delta as far as it stays within bounds; a marker lying partly outside goes no further out.
QRectF movedWithin(const QRectF& rect, QPointF delta, const QRectF& bounds);

// The area drawn by a drag from one pointer position to another: the rectangle between them in whole
// pixels (any direction), clipped to bounds and at least MinimumSize each way.
QRectF drawnRect(QPointF from, QPointF to, const QRectF& bounds);

// Where a hit icon goes, in box pixels, for the hit area shown at area: on its top-left corner; but when
// area is smaller than the icon either way the icon would hide it, so it goes beside it, outside it and
// centred on it: left of it, above, right of it or below, the first lying wholly in box, else the one
// with most of it in box.
QPointF hitIconPlace(const QRectF& area, QSizeF icon, const QRectF& box);

// Where the selection handle goes, in box pixels: on the marker's top-left corner; on a marker smaller
// than twice the handle either way it would cover most of it, so it goes just outside the marker's
// bottom-right corner.
QPointF handlePlace(const QRectF& marker, QSizeF handle);

} // namespace kovra::marks
