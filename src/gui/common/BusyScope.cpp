#include "BusyScope.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>

namespace kovra::ui {
namespace {

// Milliseconds between two rounds of window events: often enough for a smooth repaint, rarely enough to
// cost the long step nothing measurable.
constexpr int EventInterval = 15;

bool isInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
    case QEvent::Gesture:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
        return true;
    default:
        return false;
    }
}

} // namespace

BusyScope::BusyScope()
{
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QCoreApplication::instance()->installEventFilter(this);
    m_sinceEvents.start();
}

BusyScope::~BusyScope()
{
    // Input that arrived since the last round is delivered now, into this filter, and dropped.
    QCoreApplication::processEvents();
    QCoreApplication::instance()->removeEventFilter(this);
    QGuiApplication::restoreOverrideCursor();
}

void BusyScope::keepAnswering()
{
    if (m_sinceEvents.elapsed() < EventInterval)
        return;
    QCoreApplication::processEvents();
    m_sinceEvents.restart();
}

bool BusyScope::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Close) {
        event->ignore(); // an eaten close that stayed accepted would still close the window
        return true;
    }
    if (isInput(event->type()))
        return true;
    return QObject::eventFilter(watched, event);
}

} // namespace kovra::ui
