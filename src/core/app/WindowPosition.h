#pragma once

#include "ProfileFile.h"

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QtGlobal>

namespace kovra {

// The window whose position the settings file keeps, in twips from the screen's top-left corner.
class PositionedWindow
{
public:
    virtual ~PositionedWindow() = default;
    virtual double topTwips() const = 0;
    virtual double leftTwips() const = 0;
    virtual void setTopTwips(double twips) = 0;
    virtual void setLeftTwips(double twips) = 0;
};

// Section "Window", keys "Top" then "Left", default "300", 25 characters at most, leading-number rule.
void readWindowPosition(const QString& settingsPath, PositionedWindow& window);

// Writes "Top" then "Left". The result may be ignored, as the old program did.
WriteStatus saveWindowPosition(const QString& settingsPath, const PositionedWindow& window);

// Section "Window", keys "Width" and "Height": the main window's client size in twips (keys the earlier
// build ignores). An empty size when either is missing or not a positive number.
QSizeF readWindowSize(const QString& settingsPath);
WriteStatus saveWindowSize(const QString& settingsPath, QSizeF twips);

// Section "Window", key "Maximized" (ignored by the earlier build): exactly "True" when the window was
// left maximised; Top, Left, Width and Height then keep its normal placement beneath.
bool readWindowMaximized(const QString& settingsPath);
WriteStatus saveWindowMaximized(const QString& settingsPath, bool maximized);

// How pictures are shown when an image is chosen: at their own size from the top-left corner, or whole.
enum class ZoomMode { Actual, Fit };

// Section "Window", key "Zoom" (ignored by the earlier build): "Fit" or "100". Anything else, and no key,
// is 100 %, the earlier build's only view.
ZoomMode readZoomMode(const QString& settingsPath);
WriteStatus saveZoomMode(const QString& settingsPath, ZoomMode mode);

// The normal placement of a window in pixels: the outer frame's top-left corner and the client size.
struct WindowPlacement
{
    QPoint framePos;
    QSize size;
    friend bool operator==(const WindowPlacement&, const WindowPlacement&) = default;
};

// A stored placement as a screen can show it: the client size no larger than the available area leaves
// inside the frame, never smaller than minimum (which wins on a screen too small for it); the frame moved
// no more than needed for its whole title bar (frame.top() high, the frame's width) to lie in the area, or,
// in a direction its size was cut in, for the whole frame. The left end first where it cannot all fit.
WindowPlacement fitOnScreen(const WindowPlacement& stored, QSize minimum, const QRect& available,
                            const QMargins& frame);

// A place for a window's frame (frame: where it is now) clear of the rectangle avoid, all of it within
// available: the nearest of the places right of, left of, below and above avoid (gap pixels away), in
// that order on a tie. covered is 0 then. When none is clear: the place among those and the present one
// (kept on the screen) that covers the least of avoid, and that area as covered.
struct ClearPlace
{
    QPoint framePos;
    qint64 covered = 0;
};
ClearPlace placeClearOf(const QRect& frame, const QRect& avoid, const QRect& available, int gap);

} // namespace kovra
