#include "FixtureCatalogue.h"
#include "MainWindowProbe.h"
#include "MessageBox.h"
#include "PictureCanvas.h"
#include "frmMain.h"
#include "frmSearch.h"

#include <QLineEdit>
#include <QScreen>
#include <QTest>

using kovra::test::CatalogueBuilder;
using kovra::test::cp932;

// After Show item the search window lies clear of the hits in view, on its screen, at 100 % and at fit,
// with the main window normal and maximised. ctest runs this on several screens and scale factors.
namespace {

constexpr QSize PhotoSize(2400, 1800);

qint64 overlap(const QRect& a, const QRect& b)
{
    const QRect i = a & b;
    return i.isEmpty() ? 0 : qint64(i.width()) * i.height();
}

// The hit frames and icons on screen, as far as the picture box shows them (global pixels).
QRect hitsOnScreen(const frmMain& w, bool firstOnly)
{
    const QWidget* box = picture(w);
    const QRect view(box->mapToGlobal(QPoint(0, 0)), box->size());
    QRect r;
    for (int i : w.shownImage().hitOrder()) {
        for (const QString& name : {QStringLiteral("spKoKo%1"), QStringLiteral("ImgFind%1")}) {
            const QWidget* mark = child(w, name.arg(i));
            if (!mark->isHidden())
                r |= QRect(mark->mapToGlobal(QPoint(0, 0)), mark->size());
        }
        if (firstOnly)
            break;
    }
    return r & view;
}

QString text(const QRect& r)
{
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

} // namespace

class tst_HitsClear : public QObject
{
    Q_OBJECT

private slots:
    void searchWindowLeavesTheHitsClear_data()
    {
        QTest::addColumn<bool>("fit");
        QTest::addColumn<bool>("maximised");
        QTest::addColumn<QList<QPointF>>("onScreen"); // hit centres as parts of the screen's available area
        QTest::addColumn<QList<QRect>>("inPicture");  // further hits in picture pixels
        QTest::addColumn<bool>("clear");              // a place clear of all of them exists
        const QSize hit(120, 80);
        const QList<QPointF> centre{{0.5, 0.5}};
        QTest::newRow("100 %, centre of the screen") << false << false << centre << QList<QRect>() << true;
        QTest::newRow("100 %, maximised") << false << true << centre << QList<QRect>() << true;
        QTest::newRow("fit") << true << false << centre << QList<QRect>() << true;
        QTest::newRow("fit, maximised") << true << true << centre << QList<QRect>() << true;
        QTest::newRow("100 %, maximised, two hits")
            << false << true << QList<QPointF>{{0.5, 0.5}, {0.5, 0.35}} << QList<QRect>() << true;
        // Far from the top-left corner: the view scrolls to it first.
        QTest::newRow("100 %, the picture's far corner")
            << false << false << QList<QPointF>() << QList<QRect>{{2200, 1650, 120, 80}} << true;
        // Hits over nearly the whole photo: no place is clear; the window hides no more than it did.
        QTest::newRow("fit, a hit over the whole photo")
            << true << true << QList<QPointF>() << QList<QRect>{{60, 60, 2280, 1680}} << false;
    }
    void searchWindowLeavesTheHitsClear()
    {
        QFETCH(bool, fit);
        QFETCH(bool, maximised);
        QFETCH(QList<QPointF>, onScreen);
        QFETCH(QList<QRect>, inPicture);
        QFETCH(bool, clear);
        kovra::MessageBoxRecorder boxes;
        CatalogueBuilder fx;
        const QString image = fx.addImage(QStringLiteral("20240101000000"), cp932(QStringLiteral("棚")),
                                          QStringLiteral("p.png"), PhotoSize, Qt::lightGray);
        // The main window at 1200 x 850 pixels (twips at 15 a pixel), fitted to the screen where smaller.
        QByteArray ini = "[Window]\r\nTop=300\r\nLeft=300\r\nWidth=18000\r\nHeight=12750\r\n";
        if (fit)
            ini += "Zoom=Fit\r\n";
        if (maximised)
            ini += "Maximized=True\r\n";
        fx.write(QStringLiteral("KOVRA.INI"), ini);

        frmMain w(fx.path());
        w.setWindowFactory(frmMain::Window::Search, [&w] { return new frmSearch(w.catalogue(), w); });
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_COMPARE(w.isMaximized(), maximised);
        QCOMPARE(w.canvas().view().mode() == kovra::PictureView::Mode::Fit, fit);
        const QRect available = w.screen()->availableGeometry();

        // The hits: their areas hold the searched item.
        int area = 0;
        for (const QPointF& part : onScreen) {
            const QPoint at(available.left() + int(available.width() * part.x()),
                            available.top() + int(available.height() * part.y()));
            const QPointF file = w.canvas().view().boxToFile(QPointF(picture(w)->mapFromGlobal(at)));
            const QRect r(file.toPoint() - QPoint(60, 40), QSize(120, 80));
            QVERIFY2(QRect(QPoint(), PhotoSize).contains(r), qPrintable(text(r)));
            fx.addArea(image, area++, true, r, {QStringLiteral("ペン")});
        }
        for (const QRect& r : inPicture)
            fx.addArea(image, area++, true, r, {QStringLiteral("ペン")});

        auto* search = qobject_cast<frmSearch*>(w.openWindow(frmMain::Window::Search));
        QVERIFY(QTest::qWaitForWindowExposed(search));
        const QRect centred = search->frameGeometry();
        search->findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QStringLiteral("ペン"));
        search->search();
        QVERIFY(boxes.requests().empty()); // found
        search->showItem();
        QCOMPARE(w.shownImage().hitOrder().size(), area);

        const QRect hits = hitsOnScreen(w, false);
        QVERIFY(!hits.isEmpty());
        QTRY_VERIFY(search->frameGeometry().topLeft() == search->pos()); // the move has landed
        const QRect frame = search->frameGeometry();
        QVERIFY2(available.contains(frame), qPrintable(text(frame) + QStringLiteral(" on ") + text(available)));
        QVERIFY(search->isVisible());
        QCOMPARE(search->parentWidget(), &w); // still owned: in front of the main window
        if (clear)
            QVERIFY2(!frame.intersects(hits), qPrintable(text(frame) + QStringLiteral(" over ") + text(hits)));
        else
            QVERIFY(overlap(frame, hits) <= overlap(centred, hits));
        // The move is Show item's only: the next opening is centred again.
        search->close();
        QTRY_VERIFY(!w.openedWindow(frmMain::Window::Search));
        search = qobject_cast<frmSearch*>(w.openWindow(frmMain::Window::Search));
        QVERIFY(QTest::qWaitForWindowExposed(search));
        QCOMPARE(search->frameGeometry(), centred);
        QVERIFY(w.close());
    }

    // Where no place beside the hits is clear (a small screen, the window in their midst), the view
    // scrolls them out from under the window: at least the first one.
    void viewScrollsTheFirstHitClear()
    {
        kovra::MessageBoxRecorder boxes;
        CatalogueBuilder fx;
        const QString image = fx.addImage(QStringLiteral("20240101000000"), cp932(QStringLiteral("棚")),
                                          QStringLiteral("p.png"), PhotoSize, Qt::lightGray);
        frmMain w(fx.path());
        w.setWindowFactory(frmMain::Window::Search, [&w] { return new frmSearch(w.catalogue(), w); });
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* search = qobject_cast<frmSearch*>(w.openWindow(frmMain::Window::Search));
        QVERIFY(QTest::qWaitForWindowExposed(search));
        // A tall hit under the window's middle and a wide one across the view below it.
        const QPoint middle = picture(w)->mapFromGlobal(search->frameGeometry().center());
        const QRect box = picture(w)->rect();
        fx.addArea(image, 0, true, QRect(middle - QPoint(40, 0), QSize(80, 1700 - middle.y())),
                   {QStringLiteral("ペン")});
        fx.addArea(image, 1, true, QRect(0, box.bottom() - 100, 2400, 60), {QStringLiteral("ペン")});
        search->findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QStringLiteral("ペン"));
        search->search();
        search->showItem();
        QVERIFY(w.canvas().view().scroll() != QPointF(0, 0));
        const QRect first = hitsOnScreen(w, true);
        QVERIFY(!first.isEmpty());
        QVERIFY2(!search->frameGeometry().intersects(first),
                 qPrintable(text(search->frameGeometry()) + QStringLiteral(" over ") + text(first)));
        QVERIFY(w.screen()->availableGeometry().contains(search->frameGeometry()));
        QVERIFY(w.close());
    }
};

QTEST_MAIN(tst_HitsClear)
#include "tst_hitsclear.moc"
