#pragma once

#include "PictureView.h"
#include "ShownImage.h"

#include <QFrame>
#include <QFutureWatcher>
#include <QImage>
#include <QPixmap>
#include <array>
#include <functional>

class QLabel;
class QScrollBar;

namespace kovra {

class CanvasViewport;
class AreaMarkerItem;
class OutlineItem;
class HitIconItem;
class DragOutline;

// The main window's picture box: a sunken frame around the view of the shown image, with scroll bars
// when the picture is larger than the box. It owns the view mapping (zoom, scroll, orientation) and
// places every mark through it; mouse actions on the marks become operations of the model, in
// picture-file pixels.
//
// Children, found by their names: the view "Picture1"; in it, bottom to top, the markers
// "ImgArea0".."ImgArea29", the hit frames "spKoKo0".., the handle "SpHandle" and the hit icons
// "ImgFind0"..; the animation frames "ImgIcon1_0".."ImgIcon1_3" (hidden). Markers, frames and the handle
// are drawn by the view itself on whole device pixels, so every edge shows at any scale factor.
//
// The mouse, first match wins: on a marker, its border grabs that edge or corner (resize), its middle
// the marker (move); on the bare picture, Shift alone or the placement mode with a shown marker selected
// resizes that marker by its bottom-right corner; else, without modifiers and while the arrangement
// window is open, a drag starting on the photo draws a new area. Without movement each is a click.
// The view takes the focus for the keys (see keyPress).
class PictureCanvas : public QFrame
{
    Q_OBJECT

public:
    // dragLayer: the widget the drag outline lies in (the window, so the outline can leave the box).
    PictureCanvas(ShownImage* model, QWidget* dragLayer, QWidget* parent);

    PictureView& view() { return m_view; }
    const PictureView& view() const { return m_view; }
    QWidget* viewport() const;
    // Asked on every move over the picture: is the arrangement window's placement mode on?
    void setPlacementModeQuery(std::function<bool()> query) { m_placementMode = std::move(query); }
    // Asked at a press on the picture and at the Delete key: is the arrangement window open? Only then does
    // a drag on the bare picture draw a new area, and Delete delete the selected one.
    void setArrangementOpenQuery(std::function<bool()> query) { m_arrangementOpen = std::move(query); }
    // The rectangle of a new area in picture-file pixels: size on screen (box pixels) at the top-left
    // corner of the part of the photo in view.
    QRectF newAreaRect(QSizeF boxSize) const;
    // Has a photo on screen (not the empty box or its notice).
    bool hasPhoto() const { return !m_image.isNull() || !m_part.isNull(); }
    // Only the part in view is decoded yet: the whole photo is on its way.
    bool showsPartOnly() const { return m_image.isNull() && !m_part.isNull(); }

    // The hit frames and icons shown (the first hit's only), as far as they lie in view, in global pixels;
    // empty when none is in view.
    QRect hitsOnScreen(bool firstOnly) const;
    // Scrolls so that the hits lie outside covered (global pixels, a window over the view) as far as the
    // picture's ends allow: all of them, else as much as can be of the first one.
    void scrollHitsClearOf(const QRect& covered);

    // The view's actions (keys, wheel and the zoom control use them too).
    void showActual();
    void showFit();
    void zoomIn();
    void zoomOut();

signals:
    void markerClicked(int area); // a click or double-click on a marker, or Enter on the selected one
    // Delete on the picture while the arrangement window is open: its delete button's work, messages and all.
    void deleteAreaRequested();
    void zoomChanged(double zoom, PictureView::Mode mode);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class CanvasViewport;
    friend class AreaMarkerItem;

    void modelChanged();
    void placeNotice();
    void imageChosen();
    void hitsShown();
    void animationStepped(int frame);
    void layoutBars();
    void placeMarks();
    void viewChanged();
    void ensureImage();
    void wholeDecoded();
    void paintViewport(QPainter& painter, const QRect& exposed);

    // Mouse on the marks and the picture.
    void markerPress(int i, QMouseEvent* e);
    void markerMove(int i, QMouseEvent* e);
    void markerRelease(int i, QMouseEvent* e);
    void markerDoubleClick(int i, QMouseEvent* e);
    void picturePress(QMouseEvent* e);
    void pictureMove(QMouseEvent* e);
    void pictureRelease(QMouseEvent* e);
    void wheel(QWheelEvent* e);
    void dropAt(QPointF globalPos);
    QPointF viewportPos(QWidget* from, QPointF local) const;
    void markerHover(int i, QMouseEvent* e);
    void resizeByEdges(QPointF globalPos);
    bool mayDrawAt(QMouseEvent* e) const;
    QRectF drawnUpright(QPointF boxPos) const;
    void showOutline(const QRectF& box);
    // One edit gesture of the model from a press to its release; a press whose release never came (the
    // grab was lost) is closed by the next one.
    void beginGesture();
    void endGesture();

    // Keys on the picture.
    void keyPress(QKeyEvent* e);
    void scrollToArea(int i);

    ShownImage* m_model;
    QWidget* m_dragLayer;
    PictureView m_view;
    CanvasViewport* m_viewport;
    QScrollBar* m_hbar;
    QScrollBar* m_vbar;
    std::array<AreaMarkerItem*, AreaCount> m_markers{};
    std::array<OutlineItem*, AreaCount> m_frames{};
    OutlineItem* m_handle;
    std::array<HitIconItem*, AreaCount> m_icons{};
    std::array<QLabel*, 4> m_iconFrames{};
    DragOutline* m_outline;
    QLabel* m_notice;
    std::function<bool()> m_placementMode;
    std::function<bool()> m_arrangementOpen;

    // The decoded picture and what it was decoded for.
    std::shared_ptr<const PictureSource> m_source;
    QImage m_image;
    double m_requestedZoom = 0;
    // At full size, first the part in view (upright pixels m_partRect), until the whole decoded on its own
    // thread replaces it; m_wholeFor is the source that decode belongs to.
    QImage m_part;
    QRect m_partRect;
    QFutureWatcher<void> m_whole;
    const PictureSource* m_wholeFor = nullptr;
    QPixmap m_rendered; // the box as last drawn, kept while only marks change
    qint64 m_renderedKey = 0;
    QString m_renderedFor;

    // Mouse state, in upright picture pixels.
    bool m_resizeMode = false;
    QPoint m_grab;     // where inside the dragged marker it was grabbed
    QPointF m_grabBox; // the same in box pixels, for the outline
    QPoint m_last;     // last pointer position over the picture
    int m_dragging = -1;
    QPointF m_dragStart; // global position of the press
    bool m_dragMoved = false;
    bool m_syncingBars = false;
    bool m_gesture = false; // beginEdit given, endEdit due
    // An edge or corner of a marker being dragged: which marker, which edges, its rectangle and the
    // pointer at the press.
    int m_resizing = -1;
    Qt::Edges m_resizeEdges;
    QRectF m_resizeFrom;
    QPoint m_resizePress;
    // A new area drawn on the bare picture: possible after the press, drawn once the pointer moved.
    enum class Drawing { None, Pending, Active };
    Drawing m_drawing = Drawing::None;
    QPointF m_drawFrom; // upright point of the press
};

} // namespace kovra
