#include "ResultDelegate.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QListView>
#include <QPainter>
#include <QPainterPath>

namespace {

constexpr int Padding = 4;
const QColor PendingFill(235, 235, 235);
const QColor PendingFrame(200, 200, 200);
const QColor FailedFill(215, 215, 215);
const QColor FailedInk(120, 120, 120);

bool isGrid(const QStyleOptionViewItem& option)
{
    const auto* list = qobject_cast<const QListView*>(option.widget);
    return list && list->viewMode() == QListView::IconMode;
}

// A picture that could not be shown: a landscape card torn in two, and the words.
void paintFailed(QPainter* p, const QRect& box)
{
    p->fillRect(box, FailedFill);
    p->setPen(QPen(FailedInk, 1));
    p->drawRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5));
    const int side = std::min(box.width(), box.height()) / 3;
    const QRect card(box.center().x() - side / 2, box.top() + box.height() / 2 - side * 3 / 4, side, side * 3 / 4);
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    p->setPen(QPen(FailedInk, 1.5));
    p->setBrush(Qt::NoBrush);
    // The card's outline broken by a zig-zag crack down its middle.
    QPainterPath crack;
    const int cx = card.center().x();
    crack.moveTo(cx, card.top());
    crack.lineTo(cx - side / 8, card.top() + card.height() / 3);
    crack.lineTo(cx + side / 8, card.top() + card.height() * 2 / 3);
    crack.lineTo(cx, card.bottom());
    p->drawRect(card);
    p->drawPath(crack);
    // A mountain and a sun on the card.
    p->drawLine(card.left() + 2, card.bottom() - 2, card.left() + side / 3, card.top() + card.height() / 2);
    p->drawLine(card.left() + side / 3, card.top() + card.height() / 2, cx - side / 8, card.bottom() - 2);
    p->drawEllipse(QPointF(card.right() - side / 5, card.top() + side / 6), side / 10.0, side / 10.0);
    p->restore();
    p->setPen(FailedInk);
    const QRect text(box.left(), card.bottom() + 2, box.width(), box.bottom() - card.bottom() - 2);
    p->drawText(text, Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine,
                p->fontMetrics().elidedText(QStringLiteral("表示できません"), Qt::ElideRight, box.width()));
}

} // namespace

ResultDelegate::ResultDelegate(kovra::HitThumbnails& thumbnails, QObject* parent)
    : QStyledItemDelegate(parent), m_thumbnails(thumbnails)
{
    connect(&m_thumbnails, &kovra::HitThumbnails::ready, this, [this] {
        if (m_view)
            m_view->viewport()->update();
        emit repaintNeeded();
    });
}

QSize ResultDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (isGrid(option))
        return GridCell;
    // Narrow: a list row spans the view's width anyway, and the title is elided to it instead of the view
    // scrolling sideways.
    const QSize text = QStyledItemDelegate::sizeHint(option, index);
    const int someText = option.fontMetrics.averageCharWidth() * 8;
    return {ListPicture.width() + 3 * Padding + std::min(text.width(), someText),
            std::max(ListRowHeight, text.height())};
}

void ResultDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    if (auto* view = qobject_cast<QAbstractItemView*>(const_cast<QWidget*>(option.widget)))
        m_view = view;
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget ? widget->style() : QApplication::style();
    // The row's background and selection as the style paints them, without its text and icon.
    opt.text.clear();
    opt.icon = QIcon();
    style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

    const qreal ratio = widget ? widget->devicePixelRatioF() : 1.0;
    const QString title = index.data(Qt::DisplayRole).toString();
    const QRect r = option.rect;
    QRect pictureBox;
    QRect textBox;
    int alignment = 0;
    if (isGrid(option)) {
        pictureBox = QRect(r.left() + (r.width() - GridPicture.width()) / 2, r.top() + Padding, GridPicture.width(),
                           GridPicture.height());
        textBox = QRect(r.left() + Padding, pictureBox.bottom() + 1, r.width() - 2 * Padding,
                        r.bottom() - pictureBox.bottom());
        alignment = Qt::AlignHCenter | Qt::AlignVCenter;
    } else {
        pictureBox = QRect(r.left() + Padding, r.top() + (r.height() - ListPicture.height()) / 2, ListPicture.width(),
                           ListPicture.height());
        textBox = QRect(pictureBox.right() + 1 + 2 * Padding, r.top(), r.right() - pictureBox.right() - 3 * Padding,
                        r.height());
        alignment = Qt::AlignLeft | Qt::AlignVCenter;
    }
    painter->save();
    paintPicture(painter, pictureBox, index, ratio);
    const bool selected = option.state & QStyle::State_Selected;
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->setFont(opt.font);
    painter->drawText(textBox, alignment | Qt::TextSingleLine,
                      opt.fontMetrics.elidedText(title, Qt::ElideRight, textBox.width()));
    painter->restore();
}

void ResultDelegate::paintPicture(QPainter* painter, const QRect& box, const QModelIndex& index, qreal ratio) const
{
    const kovra::HitThumbnails::Request request{index.data(FolderRole).toString(),
                                                index.data(PicturePathRole).toString(),
                                                index.data(HitAreasRole).value<QList<int>>()};
    const QSize pixels(qRound(box.width() * ratio), qRound(box.height() * ratio));
    const kovra::HitThumbnails::Thumbnail t = m_thumbnails.thumbnail(request, pixels);
    switch (t.state) {
    case kovra::HitThumbnails::State::Ready: {
        QImage image = t.image;
        image.setDevicePixelRatio(ratio);
        const QSizeF shown = image.deviceIndependentSize();
        const QPointF at(box.left() + (box.width() - shown.width()) / 2,
                         box.top() + (box.height() - shown.height()) / 2);
        painter->drawImage(at, image);
        break;
    }
    case kovra::HitThumbnails::State::Pending:
        painter->fillRect(box, PendingFill);
        painter->setPen(QPen(PendingFrame, 1));
        painter->drawRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5));
        break;
    case kovra::HitThumbnails::State::Failed:
        paintFailed(painter, box);
        break;
    }
}
