#include "PictureView.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace kovra {
namespace {

// The zoom steps of Ctrl++ and Ctrl+-.
constexpr std::array<double, 17> Steps = {0.02, 0.05, 0.1, 0.125, 0.167, 0.25, 0.333, 0.5, 0.667,
                                          1.0,  1.5,  2.0, 3.0,   4.0,   5.0,  6.0,   8.0};

} // namespace

void PictureView::setPicture(QSize uprightSize, const QTransform& fileToUpright)
{
    m_upright = uprightSize;
    m_toUpright = fileToUpright;
    m_toFile = fileToUpright.inverted();
    reset();
}

void PictureView::setBox(QSize box)
{
    m_box = box.expandedTo(QSize(1, 1));
    if (m_mode == Mode::Fit)
        m_zoom = fitZoom();
    clampScroll();
}

double PictureView::fitZoom() const
{
    if (m_upright.isEmpty())
        return 1.0;
    // A photo smaller than the box is shown at its own size.
    const double z = std::min(double(m_box.width()) / m_upright.width(), double(m_box.height()) / m_upright.height());
    return std::clamp(z, MinZoom, 1.0);
}

void PictureView::showActual()
{
    m_mode = Mode::Actual;
    reset();
}

void PictureView::showFit()
{
    m_mode = Mode::Fit;
    reset();
}

void PictureView::reset()
{
    if (m_mode == Mode::Custom)
        m_mode = Mode::Actual;
    m_zoom = m_mode == Mode::Fit ? fitZoom() : 1.0;
    m_scroll = QPointF();
}

void PictureView::zoomAbout(double zoom, QPointF boxPoint)
{
    zoom = std::clamp(zoom, MinZoom, MaxZoom);
    const QPointF upright = boxToUpright(boxPoint);
    m_zoom = zoom;
    m_mode = zoom == 1.0 ? Mode::Actual : Mode::Custom;
    m_scroll = upright * m_zoom - boxPoint;
    clampScroll();
}

void PictureView::zoomIn(QPointF boxPoint)
{
    const auto next = std::upper_bound(Steps.begin(), Steps.end(), m_zoom * 1.001);
    zoomAbout(next == Steps.end() ? MaxZoom : *next, boxPoint);
}

void PictureView::zoomOut(QPointF boxPoint)
{
    auto prev = std::lower_bound(Steps.begin(), Steps.end(), m_zoom * 0.999);
    zoomAbout(prev == Steps.begin() ? MinZoom : *(prev - 1), boxPoint);
}

void PictureView::setScroll(QPointF scroll)
{
    m_scroll = scroll;
    clampScroll();
}

void PictureView::scrollBy(QPointF delta)
{
    setScroll(m_scroll + delta);
}

QSize PictureView::contentSize() const
{
    return QSize(int(std::ceil(m_upright.width() * m_zoom - 1e-9)), int(std::ceil(m_upright.height() * m_zoom - 1e-9)));
}

QPointF PictureView::maxScroll() const
{
    const QSize c = contentSize();
    return QPointF(std::max(0, c.width() - m_box.width()), std::max(0, c.height() - m_box.height()));
}

void PictureView::clampScroll()
{
    const QPointF m = maxScroll();
    // Whole box pixels, so that the picture and the marks drawn over it stay on the same pixel grid.
    m_scroll =
        QPointF(std::round(std::clamp(m_scroll.x(), 0.0, m.x())), std::round(std::clamp(m_scroll.y(), 0.0, m.y())));
}

void PictureView::scrollIntoView(const QRectF& fileRect, const QRectF& room)
{
    const QRectF r = fileToBox(fileRect);
    const QRectF in = room.isEmpty() ? QRectF(QPointF(), QSizeF(m_box)) : room;
    QPointF s = m_scroll;
    auto axis = [](double lo, double hi, double first, double last, double& scroll) {
        if (hi - lo > last - first || lo < first)
            scroll += lo - first; // too big or before the room: its start at the room's start
        else if (hi > last)
            scroll += hi - last;
    };
    axis(r.left(), r.right(), in.left(), in.right(), s.rx());
    axis(r.top(), r.bottom(), in.top(), in.bottom(), s.ry());
    setScroll(s);
}

QPointF PictureView::scrollOutFrom(const QRectF& fileRect, const QRectF& covered) const
{
    const QRectF box(QPointF(0, 0), QSizeF(m_box));
    const QRectF c = covered & box;
    auto area = [](const QRectF& r) { return r.isEmpty() ? 0.0 : r.width() * r.height(); };
    auto shown = [&](const PictureView& v) {
        const QRectF inView = v.fileToBox(fileRect) & box;
        return area(inView) - area(inView & c);
    };
    QPointF best = m_scroll;
    double bestShown = shown(*this);
    if (c.isEmpty())
        return best;
    const QRectF rooms[] = {
        QRectF(QPointF(box.left(), box.top()), QPointF(c.left(), box.bottom())),
        QRectF(QPointF(c.right(), box.top()), QPointF(box.right(), box.bottom())),
        QRectF(QPointF(box.left(), box.top()), QPointF(box.right(), c.top())),
        QRectF(QPointF(box.left(), c.bottom()), QPointF(box.right(), box.bottom())),
    };
    for (const QRectF& room : rooms) {
        if (room.isEmpty())
            continue;
        PictureView v = *this;
        v.scrollIntoView(fileRect, room);
        const double s = shown(v);
        if (s > bestShown) {
            best = v.m_scroll;
            bestShown = s;
        }
    }
    return best;
}

QPointF PictureView::fileToBox(QPointF file) const
{
    return uprightToBox(m_toUpright.map(file));
}

QPointF PictureView::boxToFile(QPointF box) const
{
    return m_toFile.map(boxToUpright(box));
}

QRectF PictureView::fileToBox(const QRectF& file) const
{
    const QRectF u = fileToUpright(file);
    return QRectF(uprightToBox(u.topLeft()), u.size() * m_zoom);
}

QRectF PictureView::boxToFile(const QRectF& box) const
{
    return uprightToFile(QRectF(boxToUpright(box.topLeft()), box.normalized().size() / m_zoom));
}

QRectF PictureView::visibleUpright() const
{
    return QRectF(boxToUpright(QPointF()), QSizeF(m_box) / m_zoom);
}

} // namespace kovra
