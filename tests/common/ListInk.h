#pragma once
// Header only, for the window tests (QtWidgets); the fixture library itself stays QtCore only.

#include <QImage>
#include <QListWidget>

namespace kovra::test {

// The rightmost dark pixel of a row of a list as drawn: a text drawn as its characters reaches as far as
// its plain width; one taken for markup (tags hidden) ends far short of it.
inline int inkRight(QListWidget* list, int row)
{
    list->clearSelection();
    const QImage shot = list->viewport()->grab().toImage();
    const QRect rect = list->visualItemRect(list->item(row));
    int right = -1;
    for (int x = 0; x < shot.width(); ++x)
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            if (qGray(shot.pixel(x, y)) < 128)
                right = qMax(right, x);
    return right;
}

inline bool drawnAsPlainText(QListWidget* list, int row)
{
    return inkRight(list, row) >= list->fontMetrics().horizontalAdvance(list->item(row)->text()) * 9 / 10;
}

} // namespace kovra::test
