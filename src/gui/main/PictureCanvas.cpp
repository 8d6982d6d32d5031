#include "PictureCanvas.h"

#include "MarkGeometry.h"

#include <QApplication>
#include <QFileInfo>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>
#include <cmath>
#include <utility>

namespace kovra {
namespace {

constexpr int HandleSize = 9;
constexpr int IconSize = 32;
constexpr int HitFrameWidth = 2;
// Movement (box pixels) after which a press on a marker is a drag, not a click: small, so that a
// marker can be nudged.
constexpr int DragThreshold = 3;
// Width of the grab zones along a marker's border that resize it, in device pixels.
constexpr int GripDevicePixels = 5;
// Box pixels that an arrow key or a scroll bar's arrow scrolls; the marker keys step 1 or 10 picture pixels.
constexpr int ScrollStep = 20;
constexpr double NudgeStep = 1;
constexpr double BigNudgeStep = 10;
constexpr QColor LightEdge(255, 255, 255, 210);

// Only Shift, Ctrl and Alt count as the shift state.
Qt::KeyboardModifiers shiftState(Qt::KeyboardModifiers m)
{
    return m & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
}

// The widget rectangle for a rectangle in box pixels, placed as the earlier build's controls were.
QRect widgetRect(const QRectF& r)
{
    return r.toRect().normalized();
}

// Draws in whole device pixels: the painter's coordinates become device pixels of the window, so a
// line never falls between two pixels (or outside the clip) at a fractional scale factor.
class DevicePixels
{
public:
    DevicePixels(QPainter& p, const QWidget* w) : m_p(p), m_dpr(w->devicePixelRatioF())
    {
        const QTransform t = p.deviceTransform();
        m_origin = QPointF(t.dx(), t.dy());
        p.save();
        p.setWorldTransform(QTransform(1 / m_dpr, 0, 0, 1 / m_dpr, -m_origin.x() / m_dpr, -m_origin.y() / m_dpr));
    }
    ~DevicePixels() { m_p.restore(); }
    // The device pixels that lie wholly inside logical rectangle r (at least one pixel each way).
    QRect inside(const QRectF& r) const
    {
        const int l = int(std::ceil(m_origin.x() + r.left() * m_dpr - 1e-6));
        const int t = int(std::ceil(m_origin.y() + r.top() * m_dpr - 1e-6));
        const int rr = int(std::floor(m_origin.x() + r.right() * m_dpr + 1e-6));
        const int b = int(std::floor(m_origin.y() + r.bottom() * m_dpr + 1e-6));
        return QRect(QPoint(l, t), QPoint(std::max(l, rr - 1), std::max(t, b - 1)));
    }
    int px(double logical) const { return std::max(1, int(std::lround(logical * m_dpr))); }
    // A frame of width w device pixels along the inside of r.
    void frame(const QRect& r, int w, const QColor& c)
    {
        w = std::min({w, (r.width() + 1) / 2, (r.height() + 1) / 2});
        m_p.fillRect(QRect(r.left(), r.top(), r.width(), w), c);
        m_p.fillRect(QRect(r.left(), r.bottom() - w + 1, r.width(), w), c);
        m_p.fillRect(QRect(r.left(), r.top(), w, r.height()), c);
        m_p.fillRect(QRect(r.right() - w + 1, r.top(), w, r.height()), c);
    }

private:
    QPainter& m_p;
    double m_dpr;
    QPointF m_origin;
};

} // namespace

// --- The marks: widgets for their names, places and the mouse; the view draws them.

class CanvasViewport : public QWidget
{
public:
    CanvasViewport(PictureCanvas* c, QWidget* parent) : QWidget(parent), m_c(c)
    {
        setObjectName(QStringLiteral("Picture1"));
        setAttribute(Qt::WA_OpaquePaintEvent);
        setMouseTracking(true);          // the last pointer position is kept on every move
        setFocusPolicy(Qt::StrongFocus); // a click on the picture takes the keys from the image list
    }

protected:
    void paintEvent(QPaintEvent* e) override
    {
        QPainter p(this);
        m_c->paintViewport(p, e->rect());
    }
    void mousePressEvent(QMouseEvent* e) override { m_c->picturePress(e); }
    void mouseMoveEvent(QMouseEvent* e) override { m_c->pictureMove(e); }
    void mouseReleaseEvent(QMouseEvent* e) override { m_c->pictureRelease(e); }
    void wheelEvent(QWheelEvent* e) override { m_c->wheel(e); }
    void keyPressEvent(QKeyEvent* e) override { m_c->keyPress(e); }
    void focusInEvent(QFocusEvent* e) override
    {
        QWidget::focusInEvent(e);
        update();
    }
    void focusOutEvent(QFocusEvent* e) override
    {
        QWidget::focusOutEvent(e);
        update();
    }

private:
    PictureCanvas* m_c;
};

class AreaMarkerItem : public QWidget
{
public:
    AreaMarkerItem(PictureCanvas* c, int index, QWidget* parent) : QWidget(parent), m_c(c), m_index(index)
    {
        setObjectName(QStringLiteral("ImgArea%1").arg(index));
        setAttribute(Qt::WA_NoSystemBackground);
        setToolTip(QStringLiteral("[Shift]+ﾏｳｽﾄﾞﾗｯｸﾞでｱｲﾃﾑｴﾘｱにｻｲｽﾞ変更"));
        setMouseTracking(true); // the pointer's shape shows the edges that a press would grab
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {}
    void mousePressEvent(QMouseEvent* e) override { m_c->markerPress(m_index, e); }
    void mouseMoveEvent(QMouseEvent* e) override { m_c->markerMove(m_index, e); }
    void mouseReleaseEvent(QMouseEvent* e) override { m_c->markerRelease(m_index, e); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { m_c->markerDoubleClick(m_index, e); }
    void wheelEvent(QWheelEvent* e) override { m_c->wheel(e); }

private:
    PictureCanvas* m_c;
    int m_index;
};

// Red frame and yellow handle: the mouse goes through to what lies below.
class OutlineItem : public QWidget
{
public:
    OutlineItem(const QString& name, QWidget* parent) : QWidget(parent)
    {
        setObjectName(name);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override {}
};

// A hit icon takes presses and does nothing with them; drops on it are refused.
class HitIconItem : public QLabel
{
public:
    HitIconItem(int index, QWidget* parent) : QLabel(parent)
    {
        setObjectName(QStringLiteral("ImgFind%1").arg(index));
        resize(IconSize, IconSize);
        hide();
    }

protected:
    void mousePressEvent(QMouseEvent* e) override { e->accept(); }
    void mouseReleaseEvent(QMouseEvent* e) override { e->accept(); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { e->accept(); }
};

// The outline that follows the pointer while a marker is dragged.
class DragOutline : public QWidget
{
public:
    explicit DragOutline(QWidget* parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("DragOutline"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.drawRect(QRect(0, 0, width() - 1, height() - 1));
        painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
        painter.drawRect(QRect(1, 1, width() - 3, height() - 3));
    }
};

// --- The canvas

PictureCanvas::PictureCanvas(ShownImage* model, QWidget* dragLayer, QWidget* parent)
    : QFrame(parent), m_model(model), m_dragLayer(dragLayer)
{
    setObjectName(QStringLiteral("Picture1Frame"));
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    m_viewport = new CanvasViewport(this, this);
    m_viewport->setToolTip(QStringLiteral("右ﾎﾞﾀﾝｸﾘｯｸでｱｲﾃﾑﾏｰｶｰを非表示"));
    m_hbar = new QScrollBar(Qt::Horizontal, this);
    m_hbar->setObjectName(QStringLiteral("Picture1HScroll"));
    m_vbar = new QScrollBar(Qt::Vertical, this);
    m_vbar->setObjectName(QStringLiteral("Picture1VScroll"));
    m_hbar->hide();
    m_vbar->hide();

    // Stacking, bottom to top: markers (higher index above lower), hit frames, the handle, hit icons.
    for (int i = 0; i < AreaCount; ++i)
        m_markers[size_t(i)] = new AreaMarkerItem(this, i, m_viewport);
    for (int i = 0; i < AreaCount; ++i)
        m_frames[size_t(i)] = new OutlineItem(QStringLiteral("spKoKo%1").arg(i), m_viewport);
    m_handle = new OutlineItem(QStringLiteral("SpHandle"), m_viewport);
    m_handle->resize(HandleSize, HandleSize);
    for (int i = 0; i < 4; ++i) {
        auto* l = new QLabel(this);
        l->setObjectName(QStringLiteral("ImgIcon1_%1").arg(i));
        l->setPixmap(QIcon(QStringLiteral(":/icons/dog%1.svg").arg(i)).pixmap(IconSize, IconSize));
        l->hide();
        m_iconFrames[size_t(i)] = l;
    }
    for (int i = 0; i < AreaCount; ++i) {
        m_icons[size_t(i)] = new HitIconItem(i, m_viewport);
        m_icons[size_t(i)]->setPixmap(m_iconFrames[0]->pixmap());
    }
    m_outline = new DragOutline(dragLayer);
    // What happened elsewhere to the shown image: a line over the picture, not a box to answer.
    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("LiveNotice"));
    m_notice->setTextFormat(Qt::PlainText);
    m_notice->setWordWrap(true);
    m_notice->setAutoFillBackground(true);
    m_notice->setStyleSheet(QStringLiteral("QLabel { background: #fff8c4; color: black; padding: 3px; }"));
    m_notice->hide();

    connect(&m_whole, &QFutureWatcher<void>::finished, this, &PictureCanvas::wholeDecoded);
    connect(m_model, &ShownImage::changed, this, &PictureCanvas::modelChanged);
    connect(m_model, &ShownImage::imageChosen, this, &PictureCanvas::imageChosen);
    connect(m_model, &ShownImage::hitsShown, this, &PictureCanvas::hitsShown);
    connect(m_model, &ShownImage::animationStepped, this, &PictureCanvas::animationStepped);
    auto scrolled = [this] {
        if (m_syncingBars)
            return;
        m_view.setScroll(QPointF(m_hbar->value(), m_vbar->value()));
        viewChanged();
    };
    connect(m_hbar, &QScrollBar::valueChanged, this, scrolled);
    connect(m_vbar, &QScrollBar::valueChanged, this, scrolled);
}

QWidget* PictureCanvas::viewport() const
{
    return m_viewport;
}

void PictureCanvas::resizeEvent(QResizeEvent* event)
{
    QFrame::resizeEvent(event);
    layoutBars();
    viewChanged();
    placeNotice();
}

// The box is the frame's inside less the scroll bars the picture needs at the current zoom.
void PictureCanvas::layoutBars()
{
    const QRect inner = contentsRect();
    const int hb = m_hbar->sizeHint().height();
    const int vb = m_vbar->sizeHint().width();
    bool needH = false;
    bool needV = false;
    for (int pass = 0; pass < 3; ++pass) {
        m_view.setBox(QSize(inner.width() - (needV ? vb : 0), inner.height() - (needH ? hb : 0)));
        const QSize c = m_view.contentSize();
        const bool h = c.width() > m_view.box().width();
        const bool v = c.height() > m_view.box().height();
        if (h == needH && v == needV)
            break;
        needH = needH || h;
        needV = needV || v;
    }
    m_viewport->setGeometry(QRect(inner.topLeft(), m_view.box()));
    m_hbar->setVisible(needH);
    m_vbar->setVisible(needV);
    m_hbar->setGeometry(inner.left(), inner.top() + m_view.box().height(), m_view.box().width(), hb);
    m_vbar->setGeometry(inner.left() + m_view.box().width(), inner.top(), vb, m_view.box().height());
}

void PictureCanvas::viewChanged()
{
    ensureImage();
    const QPointF max = m_view.maxScroll();
    m_syncingBars = true;
    m_hbar->setRange(0, int(max.x()));
    m_hbar->setPageStep(m_view.box().width());
    m_hbar->setSingleStep(ScrollStep);
    m_hbar->setValue(int(m_view.scroll().x()));
    m_vbar->setRange(0, int(max.y()));
    m_vbar->setPageStep(m_view.box().height());
    m_vbar->setSingleStep(ScrollStep);
    m_vbar->setValue(int(m_view.scroll().y()));
    m_syncingBars = false;
    placeMarks();
    m_viewport->update();
    emit zoomChanged(m_view.zoom(), m_view.mode());
}

// The picture decoded for the current zoom, decoded again only when the zoom needs more detail (or
// far less, to keep memory small). At full size a JPEG shows the part in view first, decoded alone in a
// fraction of the whole's time; the whole follows from a thread of its own (wholeDecoded).
void PictureCanvas::ensureImage()
{
    const auto source = m_model->pictureState() == ShownImage::PictureState::Shown ? m_model->picture() : nullptr;
    if (source != m_source && m_source) {
        // Another picture: the previous one's whole decode ends here, before the next one's starts.
        m_source->stopFullDecode();
        m_wholeFor = nullptr;
    }
    if (!source) {
        m_source.reset();
        m_image = QImage();
        m_part = QImage();
        return;
    }
    const double need = std::min(1.0, m_view.zoom());
    const double have = m_image.isNull() || source->uprightSize().width() <= 0
                            ? 0.0
                            : double(m_image.width()) / source->uprightSize().width();
    // Asked again only for a new picture or a new zoom: a source that can only give one size (a format
    // without scaled decoding) is not asked on every scroll.
    const bool zoomMoved = m_view.zoom() != m_requestedZoom;
    if (source != m_source || (zoomMoved && (m_image.isNull() || have < need * 0.999 || have > need * 2.01))) {
        // The previous decode goes before the next one is made: two large photos are never held at once.
        m_image = QImage();
        m_part = QImage();
        m_source = source;
        m_requestedZoom = m_view.zoom();
        if (PictureSource::reductionFor(source->uprightSize(), m_view.zoom()) == 1 && source->decodesRegions() &&
            !source->hasFullImage()) {
            m_partRect = m_view.visibleUpright().toAlignedRect() & QRect(QPoint(), source->uprightSize());
            m_part = source->region(m_partRect);
            if (!m_part.isNull()) {
                m_wholeFor = source.get();
                m_whole.setFuture(source->decodeFullInBackground());
                return;
            }
        }
        m_image = source->image(m_view.zoom());
    } else if (m_image.isNull() && m_wholeFor == source.get()) {
        // The view left the part before the whole came: the part now in view, decoded alone as well.
        const QRect want = m_view.visibleUpright().toAlignedRect() & QRect(QPoint(), source->uprightSize());
        if (!m_partRect.contains(want)) {
            m_part = QImage();
            m_partRect = want;
            m_part = source->region(want);
        }
    }
}

// The whole photo replaces the part when it is still the one shown at full size.
void PictureCanvas::wholeDecoded()
{
    if (!m_source || m_source.get() != m_wholeFor || !m_image.isNull())
        return;
    m_wholeFor = nullptr;
    if (PictureSource::reductionFor(m_source->uprightSize(), m_view.zoom()) != 1)
        return;
    // Normally the decode just made; one stopped by another user of the same source is made here, and a
    // failed one leaves the part shown.
    QImage whole = m_source->image(m_view.zoom());
    if (whole.isNull())
        return;
    m_image = std::move(whole);
    m_part = QImage();
    m_viewport->update();
}

void PictureCanvas::placeNotice()
{
    const QString text = m_model->notice();
    if (m_notice->text() != text)
        m_notice->setText(text);
    if (!text.isEmpty()) {
        const QRect area = m_viewport->geometry();
        m_notice->setGeometry(area.left(), area.top(), area.width(), m_notice->heightForWidth(area.width()));
        m_notice->raise();
    }
    m_notice->setVisible(!text.isEmpty());
}

void PictureCanvas::modelChanged()
{
    placeNotice();
    const auto source = m_model->pictureState() == ShownImage::PictureState::Shown ? m_model->picture() : nullptr;
    if (source != m_source) {
        if (source)
            m_view.setPicture(source->uprightSize(), source->fileToUpright());
        else
            m_view.setPicture(QSize(), QTransform());
        layoutBars();
        viewChanged();
        return;
    }
    placeMarks();
    m_viewport->update();
}

// Every image choice starts at the mode's own view: 100 % at the top-left corner, or the whole photo.
void PictureCanvas::imageChosen()
{
    m_view.reset();
    layoutBars();
    viewChanged();
}

// After Show item the hits lie in view: all of them when they fit, else the first one.
void PictureCanvas::hitsShown()
{
    const QRectF all = m_model->hitBounds(false);
    if (all.isNull())
        return;
    const QRectF box = m_view.fileToBox(all);
    m_view.scrollIntoView(
        box.width() <= m_view.box().width() && box.height() <= m_view.box().height() ? all : m_model->hitBounds(true));
    viewChanged();
}

QRect PictureCanvas::hitsOnScreen(bool firstOnly) const
{
    QRect r;
    for (int i : m_model->hitOrder()) {
        for (const QWidget* mark :
             {static_cast<const QWidget*>(m_frames[size_t(i)]), static_cast<const QWidget*>(m_icons[size_t(i)])})
            if (!mark->isHidden())
                r |= mark->geometry();
        if (firstOnly)
            break;
    }
    r &= m_viewport->rect();
    return r.isEmpty() ? QRect() : QRect(m_viewport->mapToGlobal(r.topLeft()), r.size());
}

void PictureCanvas::scrollHitsClearOf(const QRect& covered)
{
    // An icon's width around the window: an icon beside its area stays in sight too.
    const QRectF mine = QRectF(QRect(m_viewport->mapFromGlobal(covered.topLeft()), covered.size()))
                            .adjusted(-IconSize, -IconSize, IconSize, IconSize);
    const QRectF all = m_model->hitBounds(false);
    if (all.isNull())
        return;
    PictureView v = m_view;
    v.setScroll(v.scrollOutFrom(all, mine));
    if (v.fileToBox(all).intersects(mine))
        v.setScroll(m_view.scrollOutFrom(m_model->hitBounds(true), mine));
    m_view.setScroll(v.scroll());
    viewChanged();
}

void PictureCanvas::animationStepped(int frame)
{
    const QPixmap p = m_iconFrames[size_t(frame)]->pixmap();
    for (HitIconItem* icon : m_icons)
        icon->setPixmap(p);
}

void PictureCanvas::placeMarks()
{
    for (int i = 0; i < AreaCount; ++i) {
        AreaMarkerItem* m = m_markers[size_t(i)];
        m->setGeometry(widgetRect(m_view.fileToBox(m_model->areaRect(i))));
        m->setVisible(m_model->isShown(i));
        const ShownImage::Hit& h = m_model->hit(i);
        OutlineItem* f = m_frames[size_t(i)];
        f->setGeometry(widgetRect(m_view.fileToBox(h.frame)));
        f->setVisible(h.frameShown);
        // The icon sits at the area's top-left corner as seen upright, or beside an area it would hide.
        HitIconItem* icon = m_icons[size_t(i)];
        const QRectF at = m_view.fileToBox(QRectF(h.icon, h.frame.size()));
        icon->move(marks::hitIconPlace(at, QSizeF(icon->size()), QRectF(m_viewport->rect())).toPoint());
        icon->setVisible(h.iconShown);
    }
    const int s = m_model->selectedAreaIndex();
    if (m_model->isHandleShown())
        m_handle->move(
            marks::handlePlace(QRectF(widgetRect(m_view.fileToBox(m_model->areaRect(s)))), QSizeF(m_handle->size()))
                .toPoint());
    m_handle->setVisible(m_model->isHandleShown());
}

void PictureCanvas::paintViewport(QPainter& p, const QRect& exposed)
{
    const QSize box = m_viewport->size();
    const double dpr = m_viewport->devicePixelRatioF();
    // The photo as last drawn, made again only when the view or the picture changed.
    const QString key = QStringLiteral("%1 %2 %3 %4 %5 %6")
                            .arg(m_view.zoom())
                            .arg(m_view.scroll().x())
                            .arg(m_view.scroll().y())
                            .arg(box.width())
                            .arg(box.height())
                            .arg(dpr) +
                        u' ' + QString::number(int(m_model->pictureState())) + u' ' + m_model->pictureFile();
    const qint64 pictureKey = m_image.isNull() ? m_part.cacheKey() : m_image.cacheKey();
    if (m_rendered.isNull() || m_renderedKey != pictureKey || m_renderedFor != key) {
        m_rendered = QPixmap(QSize(int(std::ceil(box.width() * dpr)), int(std::ceil(box.height() * dpr))));
        m_rendered.setDevicePixelRatio(dpr);
        m_rendered.fill(Qt::white);
        QPainter r(&m_rendered);
        if (!m_image.isNull()) {
            const double scale = double(m_image.width()) / std::max(1, m_view.uprightSize().width());
            const QRectF visible = m_view.visibleUpright();
            const QRectF source(visible.topLeft() * scale, visible.size() * scale);
            r.setRenderHint(QPainter::SmoothPixmapTransform, m_view.zoom() < 1.0);
            r.drawImage(QRectF(QPointF(), QSizeF(box)), m_image, source);
        } else if (!m_part.isNull()) {
            // Outside the part the box stays white until the whole photo is there.
            const QRectF shown = m_view.visibleUpright() & QRectF(m_partRect);
            if (!shown.isEmpty()) {
                const QRectF target(m_view.uprightToBox(shown.topLeft()), shown.size() * m_view.zoom());
                r.setRenderHint(QPainter::SmoothPixmapTransform, m_view.zoom() < 1.0); // as the whole is drawn
                r.drawImage(target, m_part, shown.translated(-QPointF(m_partRect.topLeft())));
            }
        } else if (m_model->pictureState() == ShownImage::PictureState::Unreadable) {
            // Plain text: the file name is the user's own.
            r.setPen(Qt::darkGray);
            const QString name = QFileInfo(m_model->pictureFile()).fileName();
            r.drawText(QRect(QPoint(), box).adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                       QStringLiteral("画像を表示できません") + u'\n' + name);
        } else if (m_model->pictureState() == ShownImage::PictureState::Arriving) {
            // The markers are drawn over the empty box while the picture is on its way.
            r.setPen(Qt::darkGray);
            const QString name = QFileInfo(m_model->pictureFile()).fileName();
            r.drawText(QRect(QPoint(), box).adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                       QStringLiteral("画像を受信中です") + u'\n' + name);
        }
        m_renderedKey = pictureKey;
        m_renderedFor = key;
    }
    p.drawPixmap(exposed, m_rendered, QRectF(QPointF(exposed.topLeft()) * dpr, QSizeF(exposed.size()) * dpr));

    // The marks in whole device pixels: a light edge outside each marker's black line keeps it visible
    // on dark photos; the handle and hit frames lie above the markers.
    DevicePixels d(p, m_viewport);
    // The keys act on the picture while it has the focus: a frame along the box says so, beneath the marks.
    if (m_viewport->hasFocus())
        d.frame(d.inside(QRectF(m_viewport->rect())), d.px(2), m_viewport->palette().color(QPalette::Highlight));
    for (const AreaMarkerItem* m : m_markers) {
        if (m->isHidden())
            continue;
        const QRect r = d.inside(m->geometry());
        const int w = d.px(1);
        d.frame(r.adjusted(-w, -w, w, w), w, LightEdge);
        d.frame(r, w, Qt::black);
    }
    for (const OutlineItem* f : m_frames)
        if (!f->isHidden())
            d.frame(d.inside(f->geometry()), d.px(HitFrameWidth), Qt::red);
    if (!m_handle->isHidden()) {
        const QRect r = d.inside(m_handle->geometry());
        p.fillRect(r, Qt::yellow);
        d.frame(r, d.px(1), Qt::black);
    }
}

QRectF PictureCanvas::newAreaRect(QSizeF boxSize) const
{
    // The corner in whole picture pixels; the size as the screen gives it (at 100 % exactly the twips
    // divided by the twips per pixel, fractions kept as before).
    const QRectF visible = m_view.visibleUpright();
    const QPointF topLeft(std::max(0.0, visible.left()), std::max(0.0, visible.top()));
    return m_view.uprightToFile(QRectF(marks::roundedPoint(topLeft), boxSize / m_view.zoom()));
}

void PictureCanvas::showActual()
{
    m_view.showActual();
    layoutBars();
    viewChanged();
}

void PictureCanvas::showFit()
{
    m_view.showFit();
    layoutBars();
    viewChanged();
}

void PictureCanvas::zoomIn()
{
    m_view.zoomIn(QPointF(m_view.box().width() / 2.0, m_view.box().height() / 2.0));
    layoutBars();
    viewChanged();
}

void PictureCanvas::zoomOut()
{
    m_view.zoomOut(QPointF(m_view.box().width() / 2.0, m_view.box().height() / 2.0));
    layoutBars();
    viewChanged();
}

// --- Mouse

QPointF PictureCanvas::viewportPos(QWidget* from, QPointF local) const
{
    return from == m_viewport ? local : QPointF(from->mapTo(m_viewport, QPoint(0, 0))) + local;
}

void PictureCanvas::beginGesture()
{
    endGesture();
    m_gesture = true;
    m_model->beginEdit();
}

void PictureCanvas::endGesture()
{
    if (!m_gesture)
        return;
    m_gesture = false;
    m_model->endEdit();
}

// A press on a marker: at its border it grabs that edge or corner to resize it, in its middle the whole
// marker to move it; either way, without movement it is a click.
void PictureCanvas::markerPress(int i, QMouseEvent* e)
{
    e->accept();
    m_model->selectArea(i);
    if (e->button() != Qt::LeftButton || e->buttons() != Qt::LeftButton)
        return;
    AreaMarkerItem* marker = m_markers[size_t(i)];
    const QPointF at = viewportPos(marker, e->position());
    const QRectF upright = m_view.fileToUpright(m_model->areaRect(i));
    m_dragMoved = false;
    m_dragStart = e->globalPosition();
    beginGesture();
    const Qt::Edges edges = marks::grabbedEdges(QRectF(QPointF(), QSizeF(marker->size())), e->position(),
                                                GripDevicePixels / marker->devicePixelRatioF());
    if (edges) {
        m_resizing = i;
        m_resizeEdges = edges;
        m_resizeFrom = upright;
        m_resizePress = marks::roundedPoint(m_view.boxToUpright(at));
        m_model->showHandle();
        return;
    }
    // Where inside the marker it was grabbed, in whole picture pixels of the upright photo.
    m_grab = marks::roundedPoint(m_view.boxToUpright(at) - upright.topLeft());
    m_grabBox = at - QPointF(marker->pos());
    m_dragging = i;
    marker->setCursor(Qt::ClosedHandCursor);
    m_model->showHandle();
}

void PictureCanvas::markerHover(int i, QMouseEvent* e)
{
    AreaMarkerItem* marker = m_markers[size_t(i)];
    const Qt::Edges edges = marks::grabbedEdges(QRectF(QPointF(), QSizeF(marker->size())), e->position(),
                                                GripDevicePixels / marker->devicePixelRatioF());
    if (edges)
        marker->setCursor(marks::cursorFor(edges));
    else
        marker->unsetCursor();
}

// The grabbed edges follow the pointer by whole picture pixels; the opposite ones stay.
void PictureCanvas::resizeByEdges(QPointF globalPos)
{
    const int i = m_resizing;
    if (!m_model->isShown(i))
        return;
    const QPoint now = marks::roundedPoint(m_view.boxToUpright(m_viewport->mapFromGlobal(globalPos)));
    const QRectF bounds(QPointF(), QSizeF(m_view.uprightSize()));
    const QRectF r = marks::resizedEdges(m_resizeFrom, m_resizeEdges, QPointF(now - m_resizePress), bounds);
    m_model->setAreaRect(i, m_view.uprightToFile(r));
}

void PictureCanvas::markerMove(int i, QMouseEvent* e)
{
    e->accept();
    if (e->buttons() == Qt::NoButton) {
        markerHover(i, e);
        return;
    }
    if (m_resizing == i) {
        if (!m_dragMoved && (e->globalPosition() - m_dragStart).manhattanLength() < DragThreshold)
            return;
        m_dragMoved = true;
        resizeByEdges(e->globalPosition());
        return;
    }
    if (m_dragging != i)
        return;
    if (!m_dragMoved && (e->globalPosition() - m_dragStart).manhattanLength() < DragThreshold)
        return;
    m_dragMoved = true;
    const QPointF inLayer = m_dragLayer->mapFromGlobal(e->globalPosition());
    m_outline->setGeometry(QRect((inLayer - m_grabBox).toPoint(), m_markers[size_t(i)]->size()));
    m_outline->show();
    m_outline->raise();
}

void PictureCanvas::markerRelease(int i, QMouseEvent* e)
{
    e->accept();
    if (e->button() == Qt::LeftButton && m_resizing == i) {
        m_resizing = -1;
        endGesture();
        if (!m_dragMoved)
            emit markerClicked(i);
        return;
    }
    if (m_dragging != i || e->button() != Qt::LeftButton)
        return;
    m_dragging = -1;
    m_outline->hide();
    m_markers[size_t(i)]->unsetCursor();
    if (m_dragMoved)
        dropAt(e->globalPosition());
    endGesture();
    if (!m_dragMoved)
        emit markerClicked(i); // a click without movement
}

void PictureCanvas::markerDoubleClick(int i, QMouseEvent* e)
{
    e->accept();
    if (e->button() == Qt::LeftButton)
        emit markerClicked(i);
}

// A drop of the dragged marker: on the picture or on any marker it moves by the grab offset; anywhere
// else (outside the picture, on a hit icon, over another window lying above) nothing happens.
void PictureCanvas::dropAt(QPointF globalPos)
{
    const int s = m_model->selectedAreaIndex();
    if (!m_model->isShown(s))
        return;
    const QPoint global = globalPos.toPoint();
    if (QApplication::topLevelAt(global) != window())
        return;
    QWidget* target = m_viewport->childAt(m_viewport->mapFromGlobal(global));
    if (!m_viewport->rect().contains(m_viewport->mapFromGlobal(global)))
        return;
    if (target && !dynamic_cast<AreaMarkerItem*>(target))
        return;
    const QPointF at = m_viewport->mapFromGlobal(globalPos);
    const QPoint pointer = marks::roundedPoint(m_view.boxToUpright(at));
    const QRectF upright = m_view.fileToUpright(m_model->areaRect(s));
    const QRectF moved(marks::droppedTopLeft(pointer, m_grab), upright.size());
    m_model->beginEdit();
    m_model->setAreaRect(s, m_view.uprightToFile(moved));
    m_model->showHandle();
    m_model->endEdit();
}

// A left press on the bare picture. With Shift alone, or with the placement mode on and a shown marker
// selected, the drag resizes the selected marker by its bottom-right corner. Otherwise, without Shift, Ctrl
// or Alt, while the arrangement window is open and an area is free, a drag that starts on the photo draws
// a new area. A press without movement stays a click.
void PictureCanvas::picturePress(QMouseEvent* e)
{
    e->accept();
    m_resizeMode = false;
    m_drawing = Drawing::None;
    if (e->button() == Qt::LeftButton && e->buttons() == Qt::LeftButton) {
        beginGesture();
        if (mayDrawAt(e)) {
            m_drawing = Drawing::Pending;
            m_drawFrom = m_view.boxToUpright(e->position());
            m_dragStart = e->globalPosition();
        }
    }
    if (m_model->selectedAreaIndex() == -1)
        return;
    m_model->hideHandle();
    m_resizeMode = true;
}

bool PictureCanvas::mayDrawAt(QMouseEvent* e) const
{
    if (!m_arrangementOpen || !m_arrangementOpen())
        return false;
    if (shiftState(e->modifiers()) != Qt::NoModifier)
        return false;
    const bool placement = m_placementMode && m_placementMode();
    if (placement && m_model->isShown(m_model->selectedAreaIndex()))
        return false;
    if (m_model->firstFree() < 0 || !hasPhoto())
        return false;
    return QRectF(QPointF(), QSizeF(m_view.uprightSize())).contains(m_view.boxToUpright(e->position()));
}

// The drawn area from the press to the pointer, upright picture pixels.
QRectF PictureCanvas::drawnUpright(QPointF boxPos) const
{
    return marks::drawnRect(m_drawFrom, m_view.boxToUpright(boxPos), QRectF(QPointF(), QSizeF(m_view.uprightSize())));
}

// The dotted outline over a rectangle of the box, cut to the part in view.
void PictureCanvas::showOutline(const QRectF& box)
{
    const QRect inView = widgetRect(box).intersected(m_viewport->rect());
    if (inView.isEmpty()) {
        m_outline->hide();
        return;
    }
    m_outline->setGeometry(QRect(m_viewport->mapTo(m_dragLayer, inView.topLeft()), inView.size()));
    m_outline->show();
    m_outline->raise();
}

void PictureCanvas::pictureMove(QMouseEvent* e)
{
    e->accept();
    m_last = marks::roundedPoint(m_view.boxToUpright(e->position()));
    if (m_drawing != Drawing::None && e->buttons() == Qt::LeftButton) {
        // Shift before the pointer moved away: the resize of the selected marker, as without drawing.
        if (m_drawing == Drawing::Pending && shiftState(e->modifiers()) == Qt::ShiftModifier)
            m_drawing = Drawing::None;
        else if (m_drawing == Drawing::Pending &&
                 (e->globalPosition() - m_dragStart).manhattanLength() >= DragThreshold)
            m_drawing = Drawing::Active;
        if (m_drawing == Drawing::Active) {
            const QRectF r = drawnUpright(e->position());
            showOutline(QRectF(m_view.uprightToBox(r.topLeft()), r.size() * m_view.zoom()));
            return;
        }
    }
    const int s = m_model->selectedAreaIndex();
    // A hidden marker (deleted, or left from another image) is never resized.
    if (e->buttons() != Qt::LeftButton || !m_model->isShown(s))
        return;
    const bool placement = m_placementMode && m_placementMode();
    if (shiftState(e->modifiers()) != Qt::ShiftModifier && !placement)
        return;
    if (!m_resizeMode)
        return;
    const QRectF upright = m_view.fileToUpright(m_model->areaRect(s));
    m_model->setAreaRect(s, m_view.uprightToFile(marks::resizedTo(upright, m_last)));
}

void PictureCanvas::pictureRelease(QMouseEvent* e)
{
    e->accept();
    if (e->button() == Qt::LeftButton && m_drawing == Drawing::Active) {
        m_drawing = Drawing::None;
        m_resizeMode = false;
        m_outline->hide();
        // The same opening as the New area button's: the lowest free index, selected with its handle.
        m_model->openNewArea(m_view.uprightToFile(drawnUpright(e->position())));
        endGesture();
        return;
    }
    if (e->button() == Qt::LeftButton) {
        m_drawing = Drawing::None;
        endGesture();
    }
    if (m_model->selectedAreaIndex() == -1)
        return;
    m_resizeMode = false;
    if (e->button() == Qt::LeftButton)
        m_model->showHandle();
    else
        m_model->deselect();
}

// The wheel scrolls (Shift: sideways); with Ctrl it zooms about the pointer.
void PictureCanvas::wheel(QWheelEvent* e)
{
    e->accept();
    const QPointF at = m_viewport->mapFromGlobal(e->globalPosition());
    const QPoint delta = e->angleDelta();
    if (e->modifiers() & Qt::ControlModifier) {
        const int notches = (delta.y() != 0 ? delta.y() : delta.x()) / 120;
        for (int k = 0; k < std::abs(notches); ++k) {
            if (notches > 0)
                m_view.zoomIn(at);
            else
                m_view.zoomOut(at);
        }
        layoutBars();
        viewChanged();
        return;
    }
    const double step = QApplication::wheelScrollLines() * 20.0 / 120.0;
    QPointF by(-delta.x() * step, -delta.y() * step);
    if (e->modifiers() & Qt::ShiftModifier)
        by = QPointF(by.y() != 0 ? by.y() : by.x(), 0);
    m_view.scrollBy(by);
    viewChanged();
}

// --- Keys on the picture

void PictureCanvas::scrollToArea(int i)
{
    m_view.scrollIntoView(m_model->areaRect(i));
    viewChanged();
}

// Page Down/Up step through the shown markers; the arrows move the selected one (Shift: 10 picture pixels)
// or, with nothing selected, scroll; Ctrl+arrows resize it by its bottom-right corner; Enter opens its
// items, Delete deletes it through the arrangement window, Escape deselects. Everything else (Tab, the
// zoom keys) goes on to the window.
void PictureCanvas::keyPress(QKeyEvent* e)
{
    const Qt::KeyboardModifiers mods = shiftState(e->modifiers());
    const double step = mods & Qt::ShiftModifier ? BigNudgeStep : NudgeStep;
    QPointF direction;
    switch (e->key()) {
    case Qt::Key_Left:
        direction = QPointF(-1, 0);
        break;
    case Qt::Key_Right:
        direction = QPointF(1, 0);
        break;
    case Qt::Key_Up:
        direction = QPointF(0, -1);
        break;
    case Qt::Key_Down:
        direction = QPointF(0, 1);
        break;
    default:
        break;
    }
    if (!direction.isNull()) {
        if (mods & Qt::AltModifier) {
            e->ignore();
            return;
        }
        if (mods & Qt::ControlModifier) {
            if (m_model->resizeSelectedArea(direction * step))
                e->accept();
            else
                e->ignore();
            return;
        }
        if (!m_model->nudgeSelectedArea(direction * step)) {
            m_view.scrollBy(direction * ScrollStep);
            viewChanged();
        }
        e->accept();
        return;
    }
    if (mods != Qt::NoModifier) {
        e->ignore();
        return;
    }
    switch (e->key()) {
    case Qt::Key_PageDown:
    case Qt::Key_PageUp:
        if (const int i = m_model->selectNextShownArea(e->key() == Qt::Key_PageDown ? 1 : -1); i >= 0)
            scrollToArea(i);
        e->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!m_model->isHandleShown())
            break;
        e->accept();
        emit markerClicked(m_model->selectedAreaIndex());
        return;
    case Qt::Key_Delete:
        if (!m_arrangementOpen || !m_arrangementOpen())
            break;
        e->accept();
        m_model->beginEdit();
        emit deleteAreaRequested();
        m_model->endEdit();
        return;
    case Qt::Key_Escape:
        if (m_model->selectedAreaIndex() == -1)
            break;
        e->accept();
        m_model->deselect();
        return;
    default:
        break;
    }
    e->ignore();
}

} // namespace kovra
