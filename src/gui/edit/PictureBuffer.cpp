#include "PictureBuffer.h"

#include <QPainter>

PictureBuffer::PictureBuffer(QSize size, const QColor& background, bool border, QWidget* parent)
    : QFrame(parent), m_background(background)
{
    if (border) {
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        setLineWidth(2);
    }
    resize(size);
    m_image = QImage(contentsRect().size(), QImage::Format_RGB32);
    m_image.fill(background);
}

void PictureBuffer::setImage(const QImage& image)
{
    m_image.fill(m_background);
    copyFrom(image.convertToFormat(QImage::Format_RGB32), image.rect(), QPoint(0, 0));
}

void PictureBuffer::copyFrom(const QImage& source, const QRect& sourceRect, QPoint to)
{
    {
        QPainter painter(&m_image);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(to, source, sourceRect);
    }
    update();
}

void PictureBuffer::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    QPainter painter(this);
    painter.drawImage(contentsRect().topLeft(), m_image);
}
