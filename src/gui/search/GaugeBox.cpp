#include "GaugeBox.h"

#include <QPainter>

namespace {

constexpr int DrawWidth = GaugeBox::OuterWidth - 2 * GaugeBox::Border;
constexpr int DrawHeight = GaugeBox::OuterHeight - 2 * GaugeBox::Border;

} // namespace

GaugeBox::GaugeBox(const QString& objectName, QWidget* parent)
    : QFrame(parent), m_image(DrawWidth, DrawHeight, QImage::Format_RGB32)
{
    setObjectName(objectName);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(Border);
    setFixedSize(OuterWidth, OuterHeight);
    // The persistent image covers the whole drawing area: nothing below it needs painting first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_image.fill(Qt::white);
}

void GaugeBox::setPicture(const QImage& picture)
{
    m_image.fill(Qt::white);
    QPainter painter(&m_image);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, picture);
    m_revealed = 0;
    update();
}

void GaugeBox::clear()
{
    m_image.fill(Qt::white);
    m_revealed = 0;
    update();
}

int GaugeBox::reveal(const QImage& source, int width)
{
    const int w = qBound(0, width, DrawWidth);
    if (w > 0) {
        // A plain copy of the source pixels, as a raster copy between two surfaces would do.
        QPainter painter(&m_image);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPoint(0, 0), source, QRect(0, 0, w, qMin(OuterHeight, DrawHeight)));
    }
    m_revealed = qMax(m_revealed, w);
    update();
    return m_revealed;
}

void GaugeBox::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event); // the sunken border
    QPainter painter(this);
    painter.drawImage(contentsRect().topLeft(), m_image);
}

std::optional<int> gaugeWidth(int position, int count)
{
    if (count <= 1)
        return std::nullopt;
    // Whole numbers throughout, so that a half is seen exactly and goes to the even neighbour.
    const qint64 numerator = qint64(position) * GaugeBox::OuterWidth;
    const qint64 denominator = count - 1;
    qint64 q = numerator / denominator;
    const qint64 twiceRest = 2 * (numerator % denominator);
    if (twiceRest > denominator || (twiceRest == denominator && (q & 1)))
        ++q;
    return int(q);
}
