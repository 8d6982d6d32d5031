#include "SearchResults.h"

#include "Numbers.h"

void SearchResults::setRows(QList<kovra::SearchRow> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

int SearchResults::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int SearchResults::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SearchResults::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const kovra::SearchRow& row = m_rows[index.row()];
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case Title:
            return row.title;
        case PicturePath:
            return row.picturePath;
        case Position:
            return kovra::numbers::formatDecimal(row.folderPosition);
        case HitAreas:
            return row.hitAreaText();
        default:
            return {};
        }
    }
    if (index.column() != Title)
        return {};
    switch (role) {
    case FolderRole:
        return row.folder;
    case PicturePathRole:
        return row.picturePath;
    case HitAreasRole:
        return QVariant::fromValue(row.hitAreas);
    default:
        return {};
    }
}
