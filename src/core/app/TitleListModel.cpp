#include "TitleListModel.h"

namespace kovra {

int TitleListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
}

QVariant TitleListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_entries.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return m_entries[index.row()].title;
    return {};
}

void TitleListModel::setEntries(QList<TitleEntry> entries)
{
    beginResetModel();
    m_entries = std::move(entries);
    endResetModel();
}

} // namespace kovra
