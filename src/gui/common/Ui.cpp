#include "Ui.h"

#include "Numbers.h"
#include "ShownImage.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QFontDatabase>
#include <QIcon>
#include <QPointer>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <xcb/xcb.h>

namespace kovra::ui {
namespace {

// Marks an accessible name that was taken from the tooltip, so that a later tooltip replaces it.
constexpr char NamedByToolTip[] = "kovraNamedByToolTip";

void nameByToolTip(QWidget* w)
{
    // A button with a caption is named by its caption.
    if (const auto* b = qobject_cast<const QAbstractButton*>(w); b && !b->text().isEmpty())
        return;
    if (w->toolTip().isEmpty() || (!w->accessibleName().isEmpty() && !w->property(NamedByToolTip).toBool()))
        return;
    w->setAccessibleName(w->toolTip());
    w->setProperty(NamedByToolTip, true);
}

class ToolTipNamer : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::ToolTipChange && watched->isWidgetType())
            nameByToolTip(static_cast<QWidget*>(watched));
        return false;
    }
};

QMargins frameMargins(const QWidget* w)
{
    const QRect f = w->frameGeometry();
    const QRect g = w->geometry();
    return QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
}

bool isFixedSize(const QWidget* w)
{
    return w->minimumSize() == w->maximumSize();
}

// The window's own frame when the window manager has framed it, else the frame of another shown window of
// the program, one as resizable as it first: a window manager frames the windows of one program alike, but
// may give resizable ones a grip (openbox: a thicker bottom edge).
QMargins expectedFrame(const QWidget* window)
{
    if (window->isVisible() && !frameMargins(window).isNull())
        return frameMargins(window);
    QMargins other;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (const QWidget* w : windows) {
        if (w == window || !w->isVisible() || frameMargins(w).isNull())
            continue;
        if (isFixedSize(w) == isFixedSize(window))
            return frameMargins(w);
        if (other.isNull())
            other = frameMargins(w);
    }
    return other;
}

struct Placement
{
    QPoint client;  // the client area's corner asked for
    QMargins frame; // the frame margins it was worked out with
};

Placement place(QWidget* window, int topDivisor)
{
    const QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    const QRect area = screen->geometry();
    const QMargins m = expectedFrame(window);
    const QSize frame = window->size().grownBy(m);
    const QPoint corner(area.left() + (area.width() - frame.width()) / 2,
                        area.top() + (area.height() - frame.height()) / topDivisor);
    // Placed by its client area (the frame's corner plus the frame): a window manager puts a client area
    // exactly where it is asked to, whereas a frame position given before Qt knows the frame may be taken
    // as the client area's.
    const QPoint client = corner + QPoint(m.left(), m.top());
    window->setGeometry(QRect(client, window->size()));
    return {client, m};
}

// Places the window again when it is first exposed, and again whenever, during the first seconds, its frame
// reaches Qt with margins other than those it was placed by: the window manager's frame arrives a little
// after the mapping (later still on a busy machine), and a position given before may have been taken as the
// client area's. The margins are also looked at every 100 ms then, since new margins need not come with a
// move. A move by the user keeps the margins and is left alone: once the window stands anywhere but where it
// was put or off from there by its frame (a frame position taken as the client area's), it is not placed
// again, whatever timer comes late on a busy machine.
class PlaceWhenFramed : public QObject
{
public:
    PlaceWhenFramed(QWidget* window, int topDivisor) : QObject(window), m_window(window), m_divisor(topDivisor) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!m_window)
            return false;
        if (event->type() == QEvent::Expose && m_window->windowHandle() == watched &&
            m_window->windowHandle()->isExposed()) {
            watched->removeEventFilter(this);
            placeAgain();
            m_window->installEventFilter(this);
            QTimer::singleShot(FramedWithinMs, this, [this] { deleteLater(); });
            for (const int ms : {100, 400, 1000})
                QTimer::singleShot(ms, this, [this] { placeAgain(); });
            auto* poll = new QTimer(this);
            connect(poll, &QTimer::timeout, this, [this] {
                if (reframed() && !frameMargins(m_window).isNull())
                    placeAgain();
            });
            poll->start(100);
        } else if ((event->type() == QEvent::Move || event->type() == QEvent::Resize) && watched == m_window &&
                   reframed()) {
            QTimer::singleShot(0, this, [this] { placeAgain(); });
        }
        return false;
    }

private:
    void placeAgain()
    {
        if (!m_window || !m_window->isVisible() || movedByUser())
            return;
        m_placedBy = frameMargins(m_window);
        const Placement p = place(m_window, m_divisor);
        m_frameUsed = p.frame;
        m_placedAt = p.client;
    }

    // The frame reached Qt with other margins than the window was last placed by.
    bool reframed() const { return m_window && frameMargins(m_window) != m_placedBy; }

    bool movedByUser()
    {
        if (!m_placedAt)
            return false;
        const QPoint off = m_window->geometry().topLeft() - *m_placedAt;
        if (off.isNull())
            return false;
        for (const QMargins& m : {m_frameUsed, frameMargins(m_window)})
            if (off == QPoint(m.left(), m.top()) || off == -QPoint(m.left(), m.top()))
                return false;
        m_placedAt.reset();
        deleteLater();
        return true;
    }

    static constexpr int FramedWithinMs = 5000;
    QPointer<QWidget> m_window;
    int m_divisor;
    QMargins m_placedBy;
    QMargins m_frameUsed;
    std::optional<QPoint> m_placedAt; // the client area's corner as last placed
};

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return a;
}

// On X11, before the window is mapped: _NET_WM_STATE_SKIP_TASKBAR, so that no taskbar lists the window even
// where being transient for the main window does not keep it out. Qt keeps the states it finds at mapping.
void skipTaskbar(QWidget* window)
{
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 && QGuiApplication::platformName() == u"xcb" ? x11->connection() : nullptr;
    if (!c || !window->windowHandle())
        return;
    const xcb_window_t id = xcb_window_t(window->winId());
    const xcb_atom_t state = atom(c, "_NET_WM_STATE");
    const xcb_atom_t skip = atom(c, "_NET_WM_STATE_SKIP_TASKBAR");
    if (state == XCB_ATOM_NONE || skip == XCB_ATOM_NONE)
        return;
    xcb_get_property_reply_t* reply =
        xcb_get_property_reply(c, xcb_get_property(c, 0, id, state, XCB_ATOM_ATOM, 0, 1024), nullptr);
    bool present = false;
    if (reply && reply->format == 32) {
        const auto* atoms = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply));
        present = std::find(atoms, atoms + xcb_get_property_value_length(reply) / 4, skip) !=
                  atoms + xcb_get_property_value_length(reply) / 4;
    }
    std::free(reply);
    if (!present)
        xcb_change_property(c, XCB_PROP_MODE_APPEND, id, state, XCB_ATOM_ATOM, 32, 1, &skip);
    xcb_flush(c);
}

// Marks an owned window for the window manager each time it is about to be mapped.
class OwnedWindow : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType())
            skipTaskbar(static_cast<QWidget*>(watched));
        return false;
    }
};

} // namespace

double twipsPerPixel()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return dpi > 0 ? 1440.0 / dpi : 15.0;
}

int twips(double value, double tpp)
{
    // A hand-edited settings file may hold any number: keep the result a valid int.
    constexpr double limit = 1 << 24;
    const double pixels = numbers::roundHalfEven(value / tpp);
    if (!(pixels == pixels))
        return 0;
    return int(std::clamp(pixels, -limit, limit));
}

QFont japaneseFont(const QString& family, double pointSize)
{
    static const QStringList fallbacks = {QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"),
                                          QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL Gothic"),
                                          QStringLiteral("TakaoGothic")};
    const QStringList installed = QFontDatabase::families();
    QFont font;
    QStringList families;
    if (installed.contains(family))
        families << family;
    // Proportional request → proportional stand-in first.
    const bool proportional = family.contains(QStringLiteral("Ｐ"));
    if (proportional && installed.contains(QStringLiteral("IPAPGothic")))
        families << QStringLiteral("IPAPGothic");
    for (const QString& f : fallbacks)
        if (installed.contains(f) && !families.contains(f))
            families << f;
    if (families.isEmpty())
        families << family;
    font.setFamilies(families);
    font.setPointSizeF(pointSize);
    return font;
}

QFont defaultFont()
{
    return japaneseFont(QStringLiteral("ＭＳ Ｐゴシック"), 9);
}

QToolButton* pictureButton(QWidget* parent, const char* objectName, const char* picture, const QString& text,
                           const QString& toolTip, const QRect& geometry)
{
    auto* b = new QToolButton(parent);
    b->setObjectName(QString::fromLatin1(objectName));
    b->setIcon(QIcon(icon(picture)));
    b->setIconSize(QSize(32, 32));
    b->setText(text);
    b->setToolTip(toolTip);
    if (text.isEmpty())
        b->setAccessibleName(toolTip);
    b->setToolButtonStyle(text.isEmpty() ? Qt::ToolButtonIconOnly : Qt::ToolButtonTextUnderIcon);
    b->setGeometry(geometry);
    return b;
}

void placeOnScreen(QWidget* window, int topDivisor)
{
    place(window, topDivisor);
    QWindow* handle = window->windowHandle();
    if (handle && !handle->isExposed())
        handle->installEventFilter(new PlaceWhenFramed(window, topDivisor));
}

void setOwner(QWidget* window, QWidget* owner)
{
    const Qt::WindowFlags hints = window->windowFlags() & ~Qt::WindowType_Mask;
    window->setParent(owner, hints | Qt::Dialog);
    window->installEventFilter(new OwnedWindow(window));
}

void nameWidgetsByToolTips(QCoreApplication* app)
{
    app->installEventFilter(new ToolTipNamer(app));
}

void addLayoutUndoKeys(QWidget* window, ShownImage& image)
{
    auto* undo = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), window);
    QObject::connect(undo, &QShortcut::activated, &image, &ShownImage::undo);
    for (const QKeySequence& keys :
         {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)}) {
        auto* redo = new QShortcut(keys, window);
        QObject::connect(redo, &QShortcut::activated, &image, &ShownImage::redo);
    }
}

} // namespace kovra::ui
