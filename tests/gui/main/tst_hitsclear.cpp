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

} // namespace

class tst_HitsClear : public QObject
{
    Q_OBJECT

private slots:
    void searchWindowLeavesTheHitsClear_data()
    {
        QTest::addColumn<bool>("fit");
        QTest::addColumn<bool>("maximised");
        // Hits: centre as parts of the screen's available area (x, y <= 1) or a corner in picture pixels,
        // and the size in picture pixels.
        QTest::addColumn<QList<QRectF>>("hits");
        QTest::addColumn<int>("clear"); // 2: all hits clear, 1: the first one, 0: no more hidden than before
        const QList<QRectF> centre{{0.5, 0.5, 120, 80}};
        QTest::newRow("100 %") << false << false << centre << 2;
        QTest::newRow("100 %, maximised") << false << true << centre << 2;
        QTest::newRow("fit") << true << false << centre << 2;
        QTest::newRow("fit, maximised") << true << true << centre << 2;
        QTest::newRow("two hits") << false << true << QList<QRectF>{{0.5, 0.5, 120, 80}, {0.5, 0.35, 120, 80}} << 2;
        QTest::newRow("the picture's far corner") << false << false << QList<QRectF>{{2200, 1650, 120, 80}} << 2;
        // A tall hit through the window's middle and a wide one below: on a small screen only scrolling
        // frees the first.
        QTest::newRow("no place clear of both")
            << false << false << QList<QRectF>{{0.5, 0.3, 80, 1400}, {0, 1500, 2400, 60}} << 1;
        QTest::newRow("a hit over the whole photo") << true << true << QList<QRectF>{{60, 60, 2280, 1680}} << 0;
    }
    void searchWindowLeavesTheHitsClear()
    {
        QFETCH(bool, fit);
        QFETCH(bool, maximised);
        QFETCH(QList<QRectF>, hits);
        QFETCH(int, clear);
        kovra::MessageBoxRecorder boxes;
        CatalogueBuilder fx;
        const QString image = fx.addImage(QStringLiteral("20240101000000"), cp932(QStringLiteral("棚")),
                                          QStringLiteral("p.png"), PhotoSize, Qt::lightGray);
        // The main window at 1200 x 850 pixels (twips at 15 a pixel), fitted to the screen where smaller.
        fx.write(QStringLiteral("KOVRA.INI"), QByteArray("[Window]\r\nWidth=18000\r\nHeight=12750\r\n") +
                                                  (fit ? "Zoom=Fit\r\n" : "") +
                                                  (maximised ? "Maximized=True\r\n" : ""));
        frmMain w(fx.path());
        w.setWindowFactory(frmMain::Window::Search, [&w] { return new frmSearch(w.catalogue(), w); });
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QTRY_COMPARE(w.isMaximized(), maximised);
        const QRect available = w.screen()->availableGeometry();
        for (int a = 0; a < hits.size(); ++a) {
            QRectF r = hits[a];
            if (r.x() <= 1 && r.y() <= 1) { // the picture point under that point of the screen
                const QPoint at =
                    available.topLeft() + QPoint(int(available.width() * r.x()), int(available.height() * r.y()));
                const QPointF file = w.canvas().view().boxToFile(QPointF(picture(w)->mapFromGlobal(at)));
                r.moveCenter(file);
            }
            fx.addArea(image, a, true, r.toRect(), {QStringLiteral("ペン")});
        }
        auto* search = qobject_cast<frmSearch*>(w.openWindow(frmMain::Window::Search));
        QVERIFY(QTest::qWaitForWindowExposed(search));
        const QRect centred = search->frameGeometry();
        search->findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QStringLiteral("ペン"));
        search->search();
        search->showItem();
        QCOMPARE(w.shownImage().hitOrder().size(), hits.size());

        const QRect frame = search->frameGeometry();
        const QRect all = hitsOnScreen(w, false);
        QVERIFY(available.contains(frame));
        QVERIFY(search->isVisible());
        QCOMPARE(search->parentWidget(), &w); // still owned: in front of the main window
        if (clear == 0)
            QVERIFY(overlap(frame, all) <= overlap(centred, all));
        else
            QVERIFY(!frame.intersects(hitsOnScreen(w, clear == 1)) && !hitsOnScreen(w, true).isEmpty());
        // Only Show item moves it: the next opening is centred again.
        search->close();
        QTRY_VERIFY(!w.openedWindow(frmMain::Window::Search));
        QCOMPARE(w.openWindow(frmMain::Window::Search)->frameGeometry(), centred);
        QVERIFY(w.close());
    }
};

QTEST_MAIN(tst_HitsClear)
#include "tst_hitsclear.moc"
