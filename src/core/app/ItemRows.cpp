#include "ItemRows.h"

#include "CodePage.h"

#include <algorithm>

namespace kovra {

int ItemRows::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant ItemRows::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rows.size())
        return {};
    return shown(m_rows[index.row()]);
}

void ItemRows::setRows(QList<QByteArray> rows)
{
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

void ItemRows::append(const QByteArray& row)
{
    const int n = int(m_rows.size());
    beginInsertRows(QModelIndex(), n, n);
    m_rows.append(row);
    endInsertRows();
}

void ItemRows::remove(int row)
{
    if (row < 0 || row >= m_rows.size())
        return;
    beginRemoveRows(QModelIndex(), row, row);
    m_rows.removeAt(row);
    endRemoveRows();
}

QString ItemRows::readable(QByteArrayView bytes)
{
    const QString decoded = codepage::decode(bytes);
    if (!decoded.contains(QChar(0xFFFD)) && !decoded.contains(QChar(u'\0')))
        return decoded; // no byte of the code page decodes to U+FFFD: nothing to mark
    auto mark = [](QString& out, unsigned char b) {
        out += QStringLiteral("\\x") + QString::number(b, 16).toUpper().rightJustified(2, u'0');
    };
    QString out;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype n = codepage::isLeadByte(p[i]) && i + 1 < bytes.size() ? 2 : 1;
        const QString c = codepage::decode(bytes.sliced(i, n));
        if (c != QChar(0xFFFD) && c != QChar(u'\0')) {
            out += c;
            i += n;
        } else {
            mark(out, p[i]); // a bad pair marks its first byte; the second is read on its own
            ++i;
        }
    }
    return out;
}

QString ItemRows::shown(QByteArrayView bytes)
{
    // Only the beginning is decoded: a very long item costs no more than a short one to show.
    constexpr qsizetype Head = 2 * ShownLength + 2;
    const bool longer = bytes.size() > Head;
    QString text = readable(longer ? bytes.first(codepage::safeCut(bytes, Head)) : bytes);
    if (text.size() > ShownLength || longer) {
        qsizetype cut = std::min<qsizetype>(text.size(), ShownLength);
        if (cut > 0 && text.at(cut - 1).isHighSurrogate())
            --cut;
        text = text.left(cut) + QStringLiteral("…");
    }
    return text;
}

} // namespace kovra
