#pragma once

#include <QRectF>

class QWidget;

namespace kovra::ui {

// What the other windows may ask of the main window: their owner, its twips, where a new area opens, and
// whether the shown image may be left. Everything else they do goes through the catalogue and its shown
// image.
class MainWindowView
{
public:
    virtual ~MainWindowView() = default;
    virtual QWidget* ownerWindow() = 0;
    // The screen's twips per pixel, recorded when the main window was created.
    virtual double twipsPerPixel() const = 0;
    // A new area's default size on screen at the top-left corner of the part of the photo in view, in
    // picture-file pixels.
    virtual QRectF newAreaRect() const = 0;
    // Before anything that reads the shown image's areas again (another image, the same one once more, a
    // rebuilt image list, the end): with unsaved layout edits the user is asked to save them (true once
    // saved), to discard them (the stored layout is read again; true) or to stay (false: change nothing).
    // asking: the window the question belongs to.
    virtual bool mayLeaveShownImage(QWidget* asking) = 0;
};

} // namespace kovra::ui
