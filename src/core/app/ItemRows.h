#pragma once

#include <QAbstractListModel>
#include <QByteArray>
#include <QList>

namespace kovra {

// The item list of one area as the item window edits it: each row keeps the bytes a save writes (a row
// read from the file byte for byte, a typed row as it was converted when added); the view shows them
// through data().
class ItemRows : public QAbstractListModel
{
    Q_OBJECT

public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    const QList<QByteArray>& bytes() const { return m_rows; }
    void setRows(QList<QByteArray> rows);
    void append(const QByteArray& row);
    void remove(int row);

    // A row's bytes as text for the eye: undecodable bytes and NUL become \xNN, the rest decodes.
    static QString readable(QByteArrayView bytes);
    // What the list shows of a row: the readable text, cut after ShownLength characters with "…".
    static QString shown(QByteArrayView bytes);
    static constexpr int ShownLength = 200;

private:
    QList<QByteArray> m_rows;
};

} // namespace kovra
