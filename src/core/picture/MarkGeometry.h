#pragma once

#include <QPoint>
#include <QPointF>
#include <QRectF>

// The arithmetic of moving and resizing the area markers, kept apart from the widgets.
namespace kovra::marks {

// Where inside the marker the user pressed, in whole pixels: the position in twips divided by the
// twips per pixel, each rounded half to even.
QPoint grabOffset(QPointF twipsInMarker, double twipsPerPixel);

// The pointer position of a move, rounded half to even.
QPoint roundedPoint(QPointF pixels);

// The dragged marker's new top-left corner for a drop with the pointer at pointer (picture pixels).
QPointF droppedTopLeft(QPointF pointer, QPoint grab);

// The marker with its bottom-right corner at last: a dimension changes only when last lies beyond the
// top-left corner in that direction, and never becomes smaller than 1 pixel.
QRectF resizedTo(const QRectF& rect, QPoint last);

} // namespace kovra::marks
