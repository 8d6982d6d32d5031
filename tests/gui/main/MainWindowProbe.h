#pragma once

// Reaching the main window's marks by their names and sending them the mouse, as the tests of the main
// window and its canvas do.

#include "frmMain.h"

#include <QApplication>
#include <QMouseEvent>

namespace {

// Sends one mouse event straight to a widget, as the window system delivers it to the widget that has
// the mouse (the pressed widget keeps it until the release).
inline void mouse(QWidget* target, QEvent::Type type, QPointF local, Qt::MouseButton button, Qt::MouseButtons buttons,
                  Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent e(type, local, target->mapToGlobal(local), button, buttons, modifiers);
    QApplication::sendEvent(target, &e);
}

inline QWidget* child(const QWidget& w, const QString& name)
{
    auto* c = w.findChild<QWidget*>(name);
    if (!c)
        qFatal("no child %s", qPrintable(name));
    return c;
}

inline QWidget* marker(const frmMain& w, int i)
{
    return child(w, QStringLiteral("ImgArea%1").arg(i));
}

inline QWidget* picture(const frmMain& w)
{
    return child(w, QStringLiteral("Picture1"));
}

} // namespace
