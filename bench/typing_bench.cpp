// kovra-benchtyping DIR: the search window over the program folder DIR in the real window system. With
// the index current it types ordinary texts key by key (an input method's commit for each Japanese
// character) and reports, from the key to the painted result list, the median and the 95th percentile;
// then 検索開始 to the painted list against the index query alone, for each text, with the rows found.
// kovra-benchtyping --pictures TEXT DIR: from typing TEXT to the first screenful of result rows painted
// with their pictures, with an empty picture cache and again with the cache written by the first run.
#include "Catalogue.h"
#include "SearchIndex.h"
#include "frmMain.h"
#include "frmSearch.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <QToolButton>
#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

// Notes when the result list is painted.
class Paints : public QObject
{
public:
    qint64 last = -1;
    QElapsedTimer* clock = nullptr;
    std::function<bool()> answered; // only a paint of the answer counts, not one while it is sought
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && (!answered || answered()))
            last = clock->nsecsElapsed();
        return false;
    }
};

double percentile(QList<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[std::min<qsizetype>(v.size() - 1, qsizetype(p * double(v.size() - 1) + 0.5))];
}

// Whether every row of the list's first screenful shows its picture: the red outline of its hits.
bool picturesShown(QListView* list)
{
    const QImage shot = list->viewport()->grab().toImage();
    const qreal ratio = shot.devicePixelRatio();
    int rows = 0;
    for (int r = 0; r < list->model()->rowCount(); ++r) {
        const QRect box = list->visualRect(list->model()->index(r, 0)) & list->viewport()->rect();
        if (box.height() < 100)
            break;
        int red = 0;
        for (int y = int(box.top() * ratio); y < int(box.bottom() * ratio); y += 1)
            for (int x = int(box.left() * ratio); x < int((box.left() + 170) * ratio) && x < shot.width(); ++x) {
                const QRgb c = shot.pixel(x, y);
                red += qRed(c) > 200 && qGreen(c) < 50 && qBlue(c) < 50;
            }
        if (red < 100)
            return false;
        ++rows;
    }
    return rows > 0;
}

int pictures(const QString& text, const QString& dir)
{
    frmMain window(dir);
    window.setWindowFactory(frmMain::Window::Search, [&window] { return new frmSearch(window.catalogue(), window); });
    window.show();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    window.catalogue().search(text);
    window.catalogue().searchIndex().stats();
    for (const char* run : {"cold", "warm"}) {
        auto* search = qobject_cast<frmSearch*>(window.openWindow(frmMain::Window::Search));
        auto* list = search->findChild<QListView*>(QStringLiteral("List1"));
        clock.restart();
        while (clock.elapsed() < 500)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        clock.restart();
        search->findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(text);
        qint64 rowsAt = -1;
        while (clock.elapsed() < 20000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (rowsAt < 0 && list->model()->rowCount() > 0)
                rowsAt = clock.nsecsElapsed();
            if (rowsAt >= 0 && picturesShown(list))
                break;
        }
        std::printf("pictures\t%s cache\trows %d\tlist %.1f ms\tfirst screenful with pictures %.1f ms\n", run,
                    list->model()->rowCount(), double(rowsAt) / 1e6, double(clock.nsecsElapsed()) / 1e6);
        search->close();
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    std::fflush(stdout);
    std::_Exit(0);
}

} // namespace

int main(int argc, char** argv)
{
    // The pictures' cache of this run only, empty at its start.
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() == 3 && args[0] == u"--pictures")
        return pictures(args[1], args[2]);
    if (args.size() != 1) {
        std::fputs("usage: kovra-benchtyping [--pictures TEXT] DIR\n", stderr);
        return 2;
    }
    frmMain window(args[0]);
    window.setWindowFactory(frmMain::Window::Search, [&window] { return new frmSearch(window.catalogue(), window); });
    window.show();
    auto* search = qobject_cast<frmSearch*>(window.openWindow(frmMain::Window::Search));
    auto* box = search->findChild<QLineEdit*>(QStringLiteral("Text1"));
    auto* list = search->findChild<QListView*>(QStringLiteral("List1"));
    QElapsedTimer clock;
    clock.start();
    Paints paints;
    paints.clock = &clock;
    list->viewport()->installEventFilter(&paints);
    while (clock.elapsed() < 1000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    // The index current: one search reads everything, the background reading finishes.
    kovra::Catalogue& catalogue = window.catalogue();
    catalogue.search(QStringLiteral("ペン"));
    catalogue.searchIndex().stats();
    catalogue.search(QStringLiteral("ペン"));

    const QStringList texts = {
        QStringLiteral("ペン"),          QStringLiteral("電池"),     QStringLiteral("usb"),
        QStringLiteral("懐中電灯"),      QStringLiteral("ケーブル"), QStringLiteral("ドライバー"),
        QStringLiteral("はさみ"),        QStringLiteral("tape"),     QStringLiteral("充電器"),
        QStringLiteral("ノート"),        QStringLiteral("カメラ"),   QStringLiteral("工具箱"),
        QStringLiteral("存在しない品物")};
    // Waits until the typed text's search has finished and its rows are painted.
    int searchesBefore = 0;
    paints.answered = [&] { return search->typedSearches() > searchesBefore && !search->isSearchingTypedText(); };
    auto settle = [&](qint64 start) -> double {
        for (;;) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            if (search->typedSearches() > searchesBefore && !search->isSearchingTypedText() && paints.last > start)
                return double(paints.last - start) / 1e6;
            if (clock.nsecsElapsed() - start > qint64(5e9))
                return -1;
        }
    };
    QList<double> keys;
    for (const QString& text : texts) {
        box->clear();
        QCoreApplication::processEvents();
        for (qsizetype k = 0; k < text.size() && keys.size() < 50; ++k) {
            searchesBefore = search->typedSearches();
            paints.last = -1;
            const qint64 start = clock.nsecsElapsed();
            if (text[k].unicode() < 128) {
                QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(text[k]));
                QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(text[k]));
                QCoreApplication::sendEvent(box, &press);
                QCoreApplication::sendEvent(box, &release);
            } else {
                QInputMethodEvent commit;
                commit.setCommitString(QString(text[k]));
                QCoreApplication::sendEvent(box, &commit);
            }
            const double ms = settle(start);
            if (ms >= 0)
                keys << ms;
        }
    }
    std::printf("typing\tkeys %lld\tmedian %.2f ms\tp95 %.2f ms\tmax %.2f ms\n", qlonglong(keys.size()),
                percentile(keys, 0.5), percentile(keys, 0.95), percentile(keys, 1.0));

    // 検索開始 against the query alone, for each text: the list is emptied first and filled at the end.
    auto* start = search->findChild<QToolButton*>(QStringLiteral("Command5"));
    paints.answered = [&] { return list->model()->rowCount() > 0; };
    for (const QString& text : texts) {
        box->setText(text);
        QCoreApplication::processEvents();
        QList<double> query, window5;
        qsizetype rows = 0;
        for (int r = 0; r < 7; ++r) {
            QElapsedTimer q;
            q.start();
            rows = catalogue.search(text).size();
            query << double(q.nsecsElapsed()) / 1e6;
            if (rows == 0)
                continue; // the message box would wait for an answer
            paints.last = -1;
            const qint64 t = clock.nsecsElapsed();
            start->click();
            while (paints.last < t && clock.nsecsElapsed() - t < qint64(5e9))
                QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            window5 << double(paints.last - t) / 1e6;
        }
        std::printf("search\t%s\trows %lld\tquery %.2f ms\tto painted list %.2f ms\tratio %.2f\n",
                    text.toUtf8().constData(), qlonglong(rows), percentile(query, 0.5), percentile(window5, 0.5),
                    window5.isEmpty() ? 0.0 : percentile(window5, 0.5) / percentile(query, 0.5));
    }
    std::fflush(stdout);
    std::_Exit(0); // the main window would ask before closing
}
