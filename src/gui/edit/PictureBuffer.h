#pragma once

#include <QFrame>
#include <QImage>

// A picture box that keeps what is drawn into it: its client pixels live in an image, copied into
// with plain copies and painted from there, so they are still there after the window was covered.
class PictureBuffer : public QFrame
{
    Q_OBJECT

public:
    // size: the box with its border (a sunken 3D border when border is true); the client pixels inside
    // it are filled with background at first.
    PictureBuffer(QSize size, const QColor& background, bool border, QWidget* parent = nullptr);

    const QImage& image() const { return m_image; }
    // Replaces the client pixels by image (cut or padded with the background to the client size).
    void setImage(const QImage& image);
    // Plain copy of source's rectangle to `to` in the client pixels, then repaints (BitBlt with SRCCOPY).
    void copyFrom(const QImage& source, const QRect& sourceRect, QPoint to);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
    QColor m_background;
};
