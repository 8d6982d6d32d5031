#pragma once

#include "SearchScan.h"

#include <QAbstractTableModel>
#include <QList>

// The rows of a search as the result lists show them: one row an image with hits, column 0 its title,
// 1 its picture path, 2 its position in the folder list, 3 its hit area list (",2,5"). The lists are
// views on one column each, so a result of any size is shown at once and only the visible rows are drawn.
class SearchResults : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column { Title, PicturePath, Position, HitAreas, ColumnCount };
    // Of column 0, for the picture drawn beside the title.
    enum Role { FolderRole = Qt::UserRole + 1, PicturePathRole, HitAreasRole };

    using QAbstractTableModel::QAbstractTableModel;

    void setRows(QList<kovra::SearchRow> rows);
    void clear() { setRows({}); }
    const QList<kovra::SearchRow>& rows() const { return m_rows; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    QList<kovra::SearchRow> m_rows;
};
