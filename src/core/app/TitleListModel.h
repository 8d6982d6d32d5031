#pragma once

#include "ImageFolders.h"

#include <QAbstractListModel>
#include <QList>

namespace kovra {

// A title list as a list view shows it: one row per entry, its title as the text. Set whole, so that a
// list of many thousand titles is handed to the view at once instead of inserted row by row.
class TitleListModel : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    const QList<TitleEntry>& entries() const { return m_entries; }
    void setEntries(QList<TitleEntry> entries);

private:
    QList<TitleEntry> m_entries;
};

} // namespace kovra
