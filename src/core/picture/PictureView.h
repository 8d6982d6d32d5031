#pragma once

#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QTransform>

namespace kovra {

// The mapping between the picture file's pixels and the box that shows it: the file is turned upright
// (EXIF orientation), scaled by the zoom and shifted by the scroll position. No widgets; the canvas
// keeps one and asks it for every position it draws or receives.
class PictureView
{
public:
    enum class Mode { Actual, Fit, Custom }; // 100 %, the whole photo in the box, any other zoom

    static constexpr double MinZoom = 0.02;
    static constexpr double MaxZoom = 8.0;

    // The picture (its upright size and file-to-upright transform) and the box it is shown in.
    void setPicture(QSize uprightSize, const QTransform& fileToUpright);
    void setBox(QSize box);
    QSize box() const { return m_box; }
    QSize uprightSize() const { return m_upright; }

    Mode mode() const { return m_mode; }
    double zoom() const { return m_zoom; }
    QPointF scroll() const { return m_scroll; }

    // 100 % from the top-left corner, or the whole photo; the mode stays for the next picture.
    void showActual();
    void showFit();
    // The zoom about a point of the box (it keeps showing the same picture point).
    void zoomAbout(double zoom, QPointF boxPoint);
    void zoomIn(QPointF boxPoint);
    void zoomOut(QPointF boxPoint);
    // Back to the mode's own view (top-left corner at 100 %, the fitted zoom in fit mode).
    void reset();
    void setScroll(QPointF scroll); // clamped to the picture
    void scrollBy(QPointF delta);
    QSize contentSize() const; // the upright picture at the current zoom, in box pixels
    QPointF maxScroll() const;
    // Scrolls as little as possible so that rect (file pixels) lies in room (box pixels; empty: the whole
    // box); when it is larger than room its top-left corner comes into it. The picture's ends may stop it.
    void scrollIntoView(const QRectF& fileRect, const QRectF& room = QRectF());
    // The scroll position that shows the most of rect (file pixels) outside covered (box pixels, a window
    // lying over the view): rect brought into the box's part left of, right of, above and below covered in
    // turn, the present position first and kept on a tie.
    QPointF scrollOutFrom(const QRectF& fileRect, const QRectF& covered) const;
    double fitZoom() const;

    // File pixels <-> box pixels.
    QPointF fileToBox(QPointF file) const;
    QPointF boxToFile(QPointF box) const;
    QRectF fileToBox(const QRectF& file) const;
    QRectF boxToFile(const QRectF& box) const;
    // Upright picture pixels <-> box pixels, and file <-> upright.
    QPointF uprightToBox(QPointF upright) const { return upright * m_zoom - m_scroll; }
    QPointF boxToUpright(QPointF box) const { return (box + m_scroll) / m_zoom; }
    QRectF fileToUpright(const QRectF& file) const { return m_toUpright.mapRect(file.normalized()); }
    QRectF uprightToFile(const QRectF& upright) const { return m_toFile.mapRect(upright.normalized()); }
    // The part of the picture in view, upright pixels.
    QRectF visibleUpright() const;

private:
    void clampScroll();

    QSize m_upright;
    QTransform m_toUpright;
    QTransform m_toFile;
    QSize m_box{1, 1};
    Mode m_mode = Mode::Actual;
    double m_zoom = 1.0;
    QPointF m_scroll;
};

} // namespace kovra
