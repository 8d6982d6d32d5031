#pragma once

#include <QRectF>

class QWidget;

namespace kovra::ui {

// What the other windows may ask of the main window: their owner, its twips, and where a new area opens.
// Everything else they do goes through the catalogue and its shown image.
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
};

} // namespace kovra::ui
