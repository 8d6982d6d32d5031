#pragma once

#include "HitThumbnails.h"
#include "SearchResults.h"

#include <QPointer>
#include <QStyledItemDelegate>

class QAbstractItemView;

// Paints a search result row with the picture of its hits: in a list, the picture at the left and the title
// beside it; in a grid, the picture above the title. Pictures are asked for as rows are painted (only the
// visible ones), and the view is painted again when one arrives.
class ResultDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    static constexpr int FolderRole = SearchResults::FolderRole;           // QString: the image folder
    static constexpr int PicturePathRole = SearchResults::PicturePathRole; // QString: its picture file
    static constexpr int HitAreasRole = SearchResults::HitAreasRole;       // QList<int>: the areas with hits

    static constexpr QSize ListPicture{160, 120}; // logical pixels
    static constexpr int ListRowHeight = 128;
    static constexpr QSize GridCell{168, 150};
    static constexpr QSize GridPicture{160, 112};

    ResultDelegate(kovra::HitThumbnails& thumbnails, QObject* parent);

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

signals:
    // A picture arrived: the view that shows the rows should be painted again.
    void repaintNeeded();

private:
    void paintPicture(QPainter* painter, const QRect& box, const QModelIndex& index, qreal ratio) const;

    kovra::HitThumbnails& m_thumbnails;
    mutable QPointer<QAbstractItemView> m_view; // the last view painted through this delegate
};
