#pragma once

#include "ProfileFile.h"

#include <QSizeF>
#include <QString>

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

} // namespace kovra
