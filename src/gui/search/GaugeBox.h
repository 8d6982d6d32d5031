#pragma once

#include <QFrame>
#include <QImage>
#include <optional>

// A picture box with a 2-pixel sunken border around a drawing area that keeps what is drawn on it:
// the drawing lives in a persistent image, copied to the screen on every paint, so it survives
// being covered by other windows.
class GaugeBox : public QFrame
{
    Q_OBJECT

public:
    static constexpr int OuterWidth = 404;
    static constexpr int OuterHeight = 25;
    static constexpr int Border = 2;

    GaugeBox(const QString& objectName, QWidget* parent);

    const QImage& image() const { return m_image; }
    // Replaces the drawing with picture (cut at the drawing area, white where it is smaller).
    void setPicture(const QImage& picture);
    // Whitens the whole drawing area.
    void clear();
    // Copies the left width × OuterHeight pixels of source to the drawing area's top-left corner; what falls
    // outside the drawing area is clipped. Returns the width that is revealed now.
    int reveal(const QImage& source, int width);
    // Width of the revealed part since the last clear (0 when white).
    int revealedWidth() const { return m_revealed; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
    int m_revealed = 0;
};

// The gauge's width after the folder at position (0-based) of count folders: position × 404 / (count − 1),
// rounded half to even; nullopt for a single folder, where the fraction has no meaning and nothing is drawn.
std::optional<int> gaugeWidth(int position, int count);
