#pragma once

#include <QFont>
#include <QString>

class QCoreApplication;
class QRect;
class QToolButton;
class QWidget;

namespace kovra {
class ShownImage;
}

// Small helpers shared by every window: twips, fonts, placement and ownership.
namespace kovra::ui {

// Path of one of the program's pictures compiled in under ":/icons/".
inline QString icon(const char* name)
{
    return QStringLiteral(":/icons/") + QString::fromLatin1(name);
}

// A button showing a 32 × 32 picture, with its text under the picture when it has one. A button with a
// picture only is named by its tooltip for screen readers.
QToolButton* pictureButton(QWidget* parent, const char* objectName, const char* picture, const QString& text,
                           const QString& toolTip, const QRect& geometry);

// Screen's horizontal twips per pixel: 1440 / logical DPI (15 at 96 DPI).
double twipsPerPixel();

// Twips to whole pixels with the given twips per pixel (rounded half to even).
int twips(double value, double twipsPerPixel);

// A Japanese font: the named family when installed, else an installed Japanese family; size in points.
QFont japaneseFont(const QString& family, double pointSize);
// The program's ordinary UI font ("ＭＳ Ｐゴシック" 9 pt or its stand-in).
QFont defaultFont();

// Places a top-level window: left = (screen width - frame width) / 2, top = (screen height - frame height) / divisor.
// Before a window manager has framed the window, the frame of another framed window of the program stands in
// for its frame; once the window is exposed it is placed again by its own frame if that differs.
void placeOnScreen(QWidget* window, int topDivisor);

// Makes owner the owner of window: a dialog-type top-level child, which X11 marks transient for owner, so the
// window manager keeps it in front of owner, minimises and restores it with owner and lists it in no taskbar.
void setOwner(QWidget* window, QWidget* owner);

// Ctrl+Z undoes, Ctrl+Shift+Z and Ctrl+Y redo the layout edits of the shown image while window is active
// (a text box of another window keeps these keys for its text).
void addLayoutUndoKeys(QWidget* window, ShownImage& image);

// From now on every widget that gets a tooltip and has no accessible name of its own is named by its tooltip,
// so that a screen reader says what a picture, a list or a picture button is for.
void nameWidgetsByToolTips(QCoreApplication* app);

} // namespace kovra::ui
