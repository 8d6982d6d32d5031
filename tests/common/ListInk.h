#pragma once
// Header only, for the window tests (QtWidgets); the fixture library itself stays QtCore only.

#include <QAbstractItemView>
#include <QImage>

namespace kovra::test {

// The rightmost dark pixel of a row of a list as drawn: a text drawn as its characters reaches as far as
// its plain width; one taken for markup (tags hidden) ends far short of it.
inline int inkRight(QAbstractItemView* list, int row)
{
    list->clearSelection();
    const QImage shot = list->viewport()->grab().toImage();
    const QRect rect = list->visualRect(list->model()->index(row, 0));
    int right = -1;
    for (int x = 0; x < shot.width(); ++x)
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            if (qGray(shot.pixel(x, y)) < 128)
                right = qMax(right, x);
    return right;
}

inline bool drawnAsPlainText(QAbstractItemView* list, int row)
{
    const QString text = list->model()->index(row, 0).data().toString();
    return inkRight(list, row) >= list->fontMetrics().horizontalAdvance(text) * 9 / 10;
}

} // namespace kovra::test
