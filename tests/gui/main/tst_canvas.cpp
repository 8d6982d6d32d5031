#include "FixtureCatalogue.h"
#include "MainWindowProbe.h"
#include "MarkGeometry.h"
#include "MessageBox.h"
#include "PeakMemory.h"
#include "PictureCanvas.h"
#include "TestPhotos.h"
#include "frmMain.h"

#include <QApplication>
#include <QComboBox>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>
#include <memory>

using kovra::test::CatalogueBuilder;

namespace {

// Press the left button on marker i at its local point grab, move by `by` box pixels and release.
void drag(frmMain& w, int i, QPoint grab, QPoint by)
{
    QWidget* m = marker(w, i);
    mouse(m, QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
    mouse(m, QEvent::MouseMove, grab + by, Qt::NoButton, Qt::LeftButton);
    mouse(m, QEvent::MouseButtonRelease, grab + by, Qt::LeftButton, Qt::NoButton);
}

std::unique_ptr<frmMain> shown(const CatalogueBuilder& fx)
{
    auto w = std::make_unique<frmMain>(fx.path());
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()))
        qFatal("window not exposed");
    w->activateWindow();
    if (!QTest::qWaitForWindowActive(w.get()))
        qFatal("window not active");
    return w;
}

} // namespace

class tst_Canvas : public QObject
{
    Q_OBJECT

private:
    // A 12-megapixel phone photo with area 0 at (3500, 2500, 300, 200) and area 1 near its corner.
    std::unique_ptr<frmMain> phonePhoto(const CatalogueBuilder& fx)
    {
        fx.makeImage(QStringLiteral("20240101000000"), "Shelf", QStringLiteral("p.jpg"));
        if (!photos::writeJpeg(fx.folder(QStringLiteral("20240101000000/p.jpg")), photos::shelf(QSize(4032, 3024))))
            qFatal("no photo");
        fx.writeArea(QStringLiteral("20240101000000"), 0, CatalogueBuilder::area("True", 3500, 2500, 300, 200));
        fx.writeArea(QStringLiteral("20240101000000"), 1, CatalogueBuilder::area("True", 100, 100, 300, 200));
        return shown(fx);
    }

    // A 400 x 300 picture at 100 % with area 0 at (10, 10, 40, 30).
    std::unique_ptr<frmMain> smallPhoto(const CatalogueBuilder& fx, int inUse = 1)
    {
        fx.addImage(QStringLiteral("20240101000000"), "Small", QStringLiteral("p.png"), QSize(400, 300), Qt::gray);
        fx.writeArea(QStringLiteral("20240101000000"), 0, CatalogueBuilder::area("True", 10, 10, 40, 30));
        for (int i = 1; i < inUse; ++i) // small ones along the right edge, away from the drags
            fx.writeArea(QStringLiteral("20240101000000"), i, CatalogueBuilder::area("True", 380, 9 * i, 5, 5));
        return shown(fx);
    }

private slots:
    void fitShowsAFarArea()
    {
        CatalogueBuilder fx;
        auto w = phonePhoto(fx);
        QVERIFY(!picture(*w)->rect().contains(marker(*w, 0)->geometry())); // 100 %: off the box
        QVERIFY(!child(*w, QStringLiteral("Picture1HScroll"))->isHidden());
        QTest::keyClick(w.get(), Qt::Key_0, Qt::ControlModifier);
        const double zoom = w->canvas().view().zoom();
        QVERIFY(zoom < 0.2);
        QVERIFY(child(*w, QStringLiteral("Picture1HScroll"))->isHidden());
        QVERIFY(picture(*w)->rect().contains(marker(*w, 0)->geometry()));
        QCOMPARE(marker(*w, 0)->geometry(), QRectF(3500 * zoom, 2500 * zoom, 300 * zoom, 200 * zoom).toRect());
        QVERIFY(w->hasPicture());
        // The photo under the yellow block at the lower right is yellow on screen.
        const QImage screen = picture(*w)->grab().toImage();
        const QColor c = screen.pixelColor(int(4032 * 0.8 * zoom), int(3024 * 0.8 * zoom));
        QVERIFY2(c.red() > 200 && c.green() > 200 && c.blue() < 80, qPrintable(c.name()));
        // Ctrl+1 returns to 100 % at the top-left corner.
        QTest::keyClick(w.get(), Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(w->canvas().view().zoom(), 1.0);
        QCOMPARE(marker(*w, 1)->geometry(), QRect(100, 100, 300, 200));
    }

    // The stored position is in picture pixels whatever the zoom: 100 box pixels at 50 % are 200.
    void dragMovesByPicturePixels()
    {
        CatalogueBuilder fx;
        auto w = phonePhoto(fx);
        QTest::keyClick(w.get(), Qt::Key_Minus, Qt::ControlModifier);
        QTest::keyClick(w.get(), Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(w->canvas().view().zoom(), 0.5);
        w->canvas().view().setScroll(QPointF()); // the marker at (50, 50) on screen
        w->shownImage().selectArea(-1);          // let the canvas place the marks again
        drag(*w, 1, QPoint(10, 10), QPoint(100, 60));
        QCOMPARE(w->shownImage().areaRect(1), QRectF(300, 220, 300, 200));

        // At fit zoom: the drop lands where the pointer is, within one picture pixel per box pixel.
        QTest::keyClick(w.get(), Qt::Key_0, Qt::ControlModifier);
        const double zoom = w->canvas().view().zoom();
        drag(*w, 0, QPoint(5, 5), QPoint(-100, -50));
        const QRectF r = w->shownImage().areaRect(0);
        QVERIFY2(qAbs(r.left() - (3500 - 100 / zoom)) <= 1 / zoom && qAbs(r.top() - (2500 - 50 / zoom)) <= 1 / zoom,
                 qPrintable(QStringLiteral("%1,%2").arg(r.left()).arg(r.top())));
        QCOMPARE(r.size(), QSizeF(300, 200));
        QCOMPARE(r.left(), std::round(r.left())); // whole picture pixels
        // A Shift-drag at fit zoom sets the corner in picture pixels too.
        mouse(picture(*w), QEvent::MouseButtonPress, QPointF(600, 450), Qt::LeftButton, Qt::LeftButton,
              Qt::ShiftModifier);
        mouse(picture(*w), QEvent::MouseMove, QPointF(600, 450), Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
        QCOMPARE(w->shownImage().areaRect(0).right(), std::round(600 / zoom));
    }

    void showItemScrollsTheHitIntoView()
    {
        CatalogueBuilder fx;
        auto w = phonePhoto(fx);
        w->shownImage().showHitsOf(w->shownImage().folder(), {0});
        const QRect box = picture(*w)->rect();
        QCOMPARE(w->canvas().view().zoom(), 1.0);
        QVERIFY(box.contains(child(*w, QStringLiteral("spKoKo0"))->geometry()));
        QVERIFY(box.contains(child(*w, QStringLiteral("ImgFind0"))->geometry()));
        QVERIFY(box.contains(marker(*w, 0)->geometry()));
        // Choosing an image again starts at the top-left corner.
        w->selectImage(w->shownImage().folder());
        QCOMPARE(w->canvas().view().scroll(), QPointF(0, 0));
    }

    // On an area smaller than the marks at the zoom shown, the hit icon lies beside its red frame and the
    // handle beyond the marker's bottom-right corner; on a larger one both sit on its top-left corner.
    void marksBesideSmallAreas_data()
    {
        QTest::addColumn<bool>("fit");
        QTest::addColumn<QRect>("area"); // picture pixels
        QTest::addColumn<bool>("small");
        QTest::newRow("100 %, large") << false << QRect(500, 400, 200, 150) << false;
        QTest::newRow("100 %, small") << false << QRect(500, 400, 20, 12) << true;
        QTest::newRow("fit, small on screen") << true << QRect(500, 400, 120, 80) << true;
        QTest::newRow("fit, large enough") << true << QRect(500, 400, 600, 400) << false;
    }
    void marksBesideSmallAreas()
    {
        QFETCH(bool, fit);
        QFETCH(QRect, area);
        QFETCH(bool, small);
        CatalogueBuilder fx;
        auto w = phonePhoto(fx);
        if (fit)
            QTest::keyClick(w.get(), Qt::Key_0, Qt::ControlModifier);
        w->shownImage().showHitMark(2,
                                    {qint16(area.x()), qint16(area.y()), qint16(area.width()), qint16(area.height())});
        w->shownImage().setAreaRect(1, QRectF(area));
        w->shownImage().selectArea(1);
        w->shownImage().showHandle();
        const QRect frame = child(*w, QStringLiteral("spKoKo2"))->geometry();
        const QRect icon = child(*w, QStringLiteral("ImgFind2"))->geometry();
        const QRect m = marker(*w, 1)->geometry();
        QVERIFY(picture(*w)->rect().contains(icon));
        QCOMPARE(icon.intersects(frame), !small);
        QCOMPARE(child(*w, QStringLiteral("SpHandle"))->pos(), small ? m.bottomRight() + QPoint(1, 1) : m.topLeft());
    }

    // The fit mode stays for the next image; a new area opens at the corner of the part in view.
    void modeStaysAndNewAreasOpenInView()
    {
        CatalogueBuilder fx;
        auto w = phonePhoto(fx);
        fx.makeImage(QStringLiteral("20240102000000"), "Other", QStringLiteral("q.jpg"));
        QVERIFY(photos::writeJpeg(fx.folder(QStringLiteral("20240102000000/q.jpg")), photos::shelf(QSize(3000, 2000))));
        w->rebuildImageList();
        w->canvas().view().setScroll(QPointF(200, 100));
        w->shownImage().selectArea(-1);
        QCOMPARE(w->newAreaRect(), QRectF(200, 100, 150, 35));
        QTest::keyClick(w.get(), Qt::Key_0, Qt::ControlModifier);
        const double zoom = w->canvas().view().zoom();
        const QRectF fitted = w->newAreaRect();
        QCOMPARE(fitted.topLeft(), QPointF(0, 0));
        QVERIFY(qAbs(fitted.width() - 150 / zoom) <= 1);
        w->selectImage(fx.folder(QStringLiteral("20240102000000")));
        QCOMPARE(w->canvas().view().mode(), kovra::PictureView::Mode::Fit);
        QVERIFY(w->canvas().view().zoom() != zoom);
    }

    void ctrlWheelZoomsAboutThePointer()
    {
        CatalogueBuilder fx;
        auto w = phonePhoto(fx);
        QWidget* p = picture(*w);
        const QPointF at(300, 200);
        const QPointF before = w->canvas().view().boxToFile(at);
        QWheelEvent e(at, p->mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::ControlModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(p, &e);
        QCOMPARE(w->canvas().view().zoom(), 1.5);
        QVERIFY((w->canvas().view().fileToBox(before) - at).manhattanLength() <= 1);
        // Without Ctrl the wheel scrolls down, with Shift sideways.
        const QPointF scroll = w->canvas().view().scroll();
        QWheelEvent down(at, p->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                         Qt::NoScrollPhase, false);
        QApplication::sendEvent(p, &down);
        QVERIFY(w->canvas().view().scroll().y() > scroll.y());
        QWheelEvent side(at, p->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::ShiftModifier,
                         Qt::NoScrollPhase, false);
        QApplication::sendEvent(p, &side);
        QVERIFY(w->canvas().view().scroll().x() > scroll.x());
    }

    // A sideways photo is shown upright; its area, stored in the file's own grid, lies on the same thing.
    void orientationSixIsShownUpright()
    {
        CatalogueBuilder fx;
        fx.makeImage(QStringLiteral("20240101000000"), "Portrait", QStringLiteral("p.jpg"));
        QImage file(120, 80, QImage::Format_RGB32); // as stored: red left half, blue right half
        file.fill(Qt::blue);
        QPainter(&file).fillRect(0, 0, 60, 80, Qt::red);
        QVERIFY(photos::writeJpeg(fx.folder(QStringLiteral("20240101000000/p.jpg")), file, 6));
        fx.writeArea(QStringLiteral("20240101000000"), 0, CatalogueBuilder::area("True", 0, 0, 60, 80));
        auto w = shown(fx);
        QCOMPARE(w->shownImage().picture()->uprightSize(), QSize(80, 120));
        // Turned right: the file's left half is the upright top half.
        QCOMPARE(marker(*w, 0)->geometry(), QRect(0, 0, 80, 60));
        const QImage screen = picture(*w)->grab().toImage();
        const QColor top = screen.pixelColor(40, 30);
        const QColor bottom = screen.pixelColor(40, 90);
        QVERIFY2(top.red() > 200 && top.blue() < 60, qPrintable(top.name()));
        QVERIFY2(bottom.blue() > 200 && bottom.red() < 60, qPrintable(bottom.name()));
        // Upright y is the file's x: a drag down by 10 moves the area along the file's x by 10.
        drag(*w, 0, QPoint(20, 20), QPoint(0, 10));
        QCOMPARE(w->shownImage().areaRect(0), QRectF(10, 0, 60, 80));
    }

    // The marker's black line has a light edge outside it, so it shows on a dark photo.
    void markerShowsOnADarkPhoto()
    {
        CatalogueBuilder fx;
        fx.makeImage(QStringLiteral("20240101000000"), "Dark", QStringLiteral("d.png"));
        fx.makePicture(QStringLiteral("20240101000000/d.png"), QSize(400, 300), Qt::black);
        fx.writeArea(QStringLiteral("20240101000000"), 0, CatalogueBuilder::area("True", 50, 40, 100, 80));
        auto w = shown(fx);
        const QImage screen = picture(*w)->grab().toImage();
        QCOMPARE(screen.pixelColor(50, 60), QColor(Qt::black));
        QVERIFY(screen.pixelColor(49, 60).lightness() > 200);
        QVERIFY(screen.pixelColor(149, 60).lightness() < 10); // the right edge's black line
        QVERIFY(screen.pixelColor(150, 60).lightness() > 200);
        QCOMPARE(screen.pixelColor(100, 39).lightness() > 200, true);
    }

    // A picture that cannot be shown leaves the box without a photo, with a short notice in it.
    void unreadablePictureShowsANotice()
    {
        CatalogueBuilder fx;
        fx.makeImage(QStringLiteral("20240101000000"), "Good", QStringLiteral("a.png"));
        fx.makePicture(QStringLiteral("20240101000000/a.png"), QSize(640, 480), Qt::red);
        const QString broken = fx.makeImage(QStringLiteral("20240102000000"), "Broken", QStringLiteral("b.jpg"));
        fx.write(QStringLiteral("20240102000000/b.jpg"), "not a picture");
        fx.writeArea(QStringLiteral("20240102000000"), 1, CatalogueBuilder::area("True", 1, 2, 3, 4));
        auto w = shown(fx);
        w->shownImage().showHitsOf(broken, {1});
        QVERIFY(!w->hasPicture());
        QVERIFY(w->shownImage().isShown(1));
        const QImage screen = picture(*w)->grab().toImage();
        int red = 0;
        int dark = 0;
        for (int y = 0; y < screen.height(); y += 2)
            for (int x = 0; x < screen.width(); x += 2) {
                if (QRect(0, 0, 40, 40).contains(x, y))
                    continue; // the marks of area 1 and its hit
                const QColor c = screen.pixelColor(x, y);
                red += c == QColor(Qt::red) ? 1 : 0;
                dark += c.lightness() < 180 ? 1 : 0;
            }
        QCOMPARE(red, 0);   // nothing of the previous photo
        QVERIFY(dark > 20); // the notice's text
    }

    // No ghost handle: the selection left from another image shows no handle and resizes nothing.
    void noHandleAtAHiddenMarker()
    {
        CatalogueBuilder fx;
        const QString one = fx.makeImage(QStringLiteral("20240101000000"), "One");
        fx.writeArea(QStringLiteral("20240101000000"), 3, CatalogueBuilder::area("True", 10, 10, 40, 30));
        const QString two = fx.makeImage(QStringLiteral("20240102000000"), "Two");
        auto w = shown(fx);
        mouse(marker(*w, 3), QEvent::MouseButtonPress, QPointF(2, 2), Qt::LeftButton, Qt::LeftButton);
        mouse(marker(*w, 3), QEvent::MouseButtonRelease, QPointF(2, 2), Qt::LeftButton, Qt::NoButton);
        w->selectImage(two);
        QCOMPARE(w->shownImage().selectedAreaIndex(), 3);
        QWidget* p = picture(*w);
        mouse(p, QEvent::MouseButtonPress, QPointF(100, 100), Qt::LeftButton, Qt::LeftButton);
        mouse(p, QEvent::MouseButtonRelease, QPointF(100, 100), Qt::LeftButton, Qt::NoButton);
        QVERIFY(!w->shownImage().isHandleShown());
        QVERIFY(child(*w, QStringLiteral("SpHandle"))->isHidden());
        mouse(p, QEvent::MouseButtonPress, QPointF(100, 100), Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
        mouse(p, QEvent::MouseMove, QPointF(200, 200), Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
        QCOMPARE(w->shownImage().areaRect(3), QRectF(10, 10, 40, 30));
        QCOMPARE(w->shownImage().selectedAreaIndex(), 3);
    }

    // Drawing on a 4000 x 3000 photo at fit: the new area is the dragged rectangle of the box in picture
    // pixels (whole ones), whichever way it was dragged, opened as the New area button opens one.
    void drawnAreaAtFitIsInPicturePixels_data()
    {
        QTest::addColumn<QPointF>("from");
        QTest::addColumn<QPointF>("to");
        QTest::newRow("down and right") << QPointF(100, 80) << QPointF(301, 203);
        QTest::newRow("up and left") << QPointF(301, 203) << QPointF(100, 80);
        QTest::newRow("down and left") << QPointF(301, 80) << QPointF(100, 203);
    }
    void drawnAreaAtFitIsInPicturePixels()
    {
        QFETCH(QPointF, from);
        QFETCH(QPointF, to);
        CatalogueBuilder fx;
        fx.makeImage(QStringLiteral("20240101000000"), "Shelf", QStringLiteral("p.jpg"));
        QVERIFY(photos::writeJpeg(fx.folder(QStringLiteral("20240101000000/p.jpg")), photos::shelf(QSize(4000, 3000))));
        auto w = shown(fx);
        w->canvas().setArrangementOpenQuery([] { return true; });
        QTest::keyClick(w.get(), Qt::Key_0, Qt::ControlModifier);
        const kovra::PictureView& view = w->canvas().view();
        QVERIFY(view.zoom() < 0.2);
        const QRectF expected(kovra::marks::roundedPoint(view.boxToFile(QRectF(from, to).normalized().topLeft())),
                              kovra::marks::roundedPoint(view.boxToFile(QRectF(from, to).normalized().bottomRight())));

        QWidget* p = picture(*w);
        QWidget* outline = child(*w, QStringLiteral("DragOutline"));
        mouse(p, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        mouse(p, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        QVERIFY(outline->isVisible()); // the dotted outline over the rectangle to be
        const QRect onScreen(w->mapFromGlobal(p->mapToGlobal(QRectF(from, to).normalized().topLeft().toPoint())),
                             QRectF(from, to).normalized().size().toSize());
        QVERIFY((outline->geometry().topLeft() - onScreen.topLeft()).manhattanLength() <= 2);
        QVERIFY((QPoint(outline->width(), outline->height()) - QPoint(onScreen.width(), onScreen.height()))
                    .manhattanLength() <= 2);
        QCOMPARE(w->shownImage().freeCount(), kovra::AreaCount); // nothing opened before the release
        mouse(p, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
        QVERIFY(!outline->isVisible());
        QVERIFY(w->shownImage().isShown(0));
        QCOMPARE(w->shownImage().areaRect(0), expected);
        QVERIFY(qAbs(expected.width() - 201 / view.zoom()) <= 2 / view.zoom());
        QCOMPARE(w->shownImage().selectedAreaIndex(), 0);
        QVERIFY(w->shownImage().isHandleShown());
        QCOMPARE(child(*w, QStringLiteral("SpHandle"))->pos(), marker(*w, 0)->pos());
    }

    // Which press on the bare picture draws: none with Shift, Ctrl or Alt, none while the placement mode
    // resizes a selected marker, none with the arrangement window closed or all 30 areas in use, none
    // starting off the photo, and a press without movement stays a click. The Part's resizes go on as before.
    void whenDrawingStarts_data()
    {
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("placement");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<int>("inUse");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QPointF>("from");
        QTest::addColumn<QPointF>("to");
        QTest::addColumn<QRectF>("drawn"); // area 1 afterwards, empty for none
        QTest::addColumn<QRectF>("area0");
        const QRectF none;
        const QRectF area0(10, 10, 40, 30);
        const QRectF resized0(10, 10, 190, 170); // bottom-right corner at the end of the drag
        const QPointF a(100, 100);
        const QPointF b(200, 180);
        const int plain = Qt::NoModifier;
        QTest::newRow("draws") << true << false << false << 1 << plain << a << b << QRectF(100, 100, 100, 80) << area0;
        QTest::newRow("draws beside a selected marker")
            << true << false << true << 1 << plain << a << b << QRectF(100, 100, 100, 80) << area0;
        QTest::newRow("placement mode, nothing selected")
            << true << true << false << 1 << plain << a << b << QRectF(100, 100, 100, 80) << area0;
        QTest::newRow("clipped to the photo")
            << true << false << false << 1 << plain << a << QPointF(520, 400) << QRectF(100, 100, 300, 200) << area0;
        QTest::newRow("a click") << true << false << true << 1 << plain << a << a + QPointF(1, 1) << none << area0;
        QTest::newRow("arrangement window closed") << false << false << false << 1 << plain << a << b << none << area0;
        QTest::newRow("all 30 in use") << true << false << false << 30 << plain << a << b << none << area0;
        QTest::newRow("off the photo") << true << false << false << 1 << plain << QPointF(500, 400) << b << none
                                       << area0;
        QTest::newRow("Ctrl") << true << false << true << 1 << int(Qt::ControlModifier) << a << b << none << area0;
        QTest::newRow("Shift: the Part's resize")
            << true << false << true << 1 << int(Qt::ShiftModifier) << a << b << none << resized0;
        QTest::newRow("placement mode: the Part's resize")
            << true << true << true << 1 << plain << a << b << none << resized0;
    }
    void whenDrawingStarts()
    {
        QFETCH(bool, open);
        QFETCH(bool, placement);
        QFETCH(bool, selected);
        QFETCH(int, inUse);
        QFETCH(int, modifiers);
        QFETCH(QPointF, from);
        QFETCH(QPointF, to);
        QFETCH(QRectF, drawn);
        QFETCH(QRectF, area0);
        CatalogueBuilder fx;
        auto w = smallPhoto(fx, inUse);
        w->canvas().setArrangementOpenQuery([open] { return open; });
        w->setPlacementModeQuery([placement] { return placement; });
        if (selected) {
            w->shownImage().selectArea(0);
            w->shownImage().showHandle();
        }
        const int freeBefore = w->shownImage().freeCount();
        QWidget* p = picture(*w);
        const auto mods = Qt::KeyboardModifiers(modifiers);
        mouse(p, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, mods);
        mouse(p, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, mods);
        QCOMPARE(child(*w, QStringLiteral("DragOutline"))->isVisible(), !drawn.isEmpty());
        mouse(p, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, mods);
        QVERIFY(child(*w, QStringLiteral("DragOutline"))->isHidden());
        QCOMPARE(w->shownImage().areaRect(0), area0);
        if (drawn.isEmpty()) {
            QCOMPARE(w->shownImage().freeCount(), freeBefore);
            QCOMPARE(w->shownImage().selectedAreaIndex(), selected ? 0 : -1);
            QCOMPARE(w->shownImage().isHandleShown(), selected); // hidden during the press, back at the release
        } else {
            QCOMPARE(w->shownImage().freeCount(), freeBefore - 1);
            QCOMPARE(w->shownImage().areaRect(1), drawn);
            QCOMPARE(w->shownImage().selectedAreaIndex(), 1);
            QVERIFY(w->shownImage().isHandleShown());
        }
    }

    // At 50 %, marker 0 (picture 100, 100, 200, 100) lies at box (50, 50, 100, 50). A press on its border
    // grabs that edge or corner, shown by the pointer's shape; the drag moves only the grabbed edges, by
    // two picture pixels per box pixel, within the picture. A press without movement is a click, as
    // anywhere on the marker.
    void resizeByAnyEdge_data()
    {
        QTest::addColumn<QPoint>("at"); // in the marker
        QTest::addColumn<QPoint>("by"); // box pixels
        QTest::addColumn<int>("cursor");
        QTest::addColumn<QRectF>("expected");
        QTest::addColumn<int>("clicks");
        const int h = Qt::SizeHorCursor, v = Qt::SizeVerCursor, f = Qt::SizeFDiagCursor, bd = Qt::SizeBDiagCursor;
        QTest::newRow("left") << QPoint(1, 25) << QPoint(-10, 5) << h << QRectF(80, 100, 220, 100) << 0;
        QTest::newRow("right") << QPoint(98, 25) << QPoint(10, 5) << h << QRectF(100, 100, 220, 100) << 0;
        QTest::newRow("top") << QPoint(50, 1) << QPoint(7, -10) << v << QRectF(100, 80, 200, 120) << 0;
        QTest::newRow("bottom") << QPoint(50, 48) << QPoint(7, 10) << v << QRectF(100, 100, 200, 120) << 0;
        QTest::newRow("top-left") << QPoint(1, 1) << QPoint(10, 10) << f << QRectF(120, 120, 180, 80) << 0;
        QTest::newRow("bottom-right") << QPoint(98, 48) << QPoint(10, 10) << f << QRectF(100, 100, 220, 120) << 0;
        QTest::newRow("top-right") << QPoint(98, 1) << QPoint(10, 10) << bd << QRectF(100, 120, 220, 80) << 0;
        QTest::newRow("bottom-left") << QPoint(1, 48) << QPoint(10, 10) << bd << QRectF(120, 100, 180, 120) << 0;
        QTest::newRow("middle: a move") << QPoint(50, 25) << QPoint(-10, 5) << int(Qt::ArrowCursor)
                                        << QRectF(80, 110, 200, 100) << 0;
        QTest::newRow("left beyond the picture")
            << QPoint(1, 25) << QPoint(-200, 0) << h << QRectF(0, 100, 300, 100) << 0;
        QTest::newRow("a click on the edge") << QPoint(1, 25) << QPoint(1, 0) << h << QRectF(100, 100, 200, 100) << 1;
    }
    void resizeByAnyEdge()
    {
        QFETCH(QPoint, at);
        QFETCH(QPoint, by);
        QFETCH(int, cursor);
        QFETCH(QRectF, expected);
        QFETCH(int, clicks);
        CatalogueBuilder fx;
        fx.addImage(QStringLiteral("20240101000000"), "One", QStringLiteral("p.png"), QSize(800, 600), Qt::gray);
        fx.writeArea(QStringLiteral("20240101000000"), 0, CatalogueBuilder::area("True", 100, 100, 200, 100));
        auto w = shown(fx);
        QTest::keyClick(w.get(), Qt::Key_Minus, Qt::ControlModifier);
        QTest::keyClick(w.get(), Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(w->canvas().view().zoom(), 0.5);
        w->canvas().view().setScroll(QPointF());
        w->shownImage().selectArea(-1); // let the canvas place the marks again
        QWidget* m = marker(*w, 0);
        QCOMPARE(m->geometry(), QRect(50, 50, 100, 50));
        QSignalSpy clicked(&w->canvas(), &kovra::PictureCanvas::markerClicked);
        mouse(m, QEvent::MouseMove, at, Qt::NoButton, Qt::NoButton);
        QCOMPARE(int(m->cursor().shape()), cursor);
        mouse(m, QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
        mouse(m, QEvent::MouseMove, at + by, Qt::NoButton, Qt::LeftButton);
        mouse(m, QEvent::MouseButtonRelease, at + by, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(w->shownImage().areaRect(0), expected);
        QCOMPARE(w->shownImage().selectedAreaIndex(), 0);
        QVERIFY(w->shownImage().isHandleShown());
        QCOMPARE(child(*w, QStringLiteral("SpHandle"))->pos(), marker(*w, 0)->pos());
        QCOMPARE(clicked.count(), clicks);
    }

    // The keys on the picture at 50 %: the arrows move the selected marker by 1 picture pixel (Shift:
    // 10), Ctrl resizes it by its bottom-right corner; with Alt nothing happens.
    void keysMoveAndResizeTheSelectedMarker_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QRectF>("expected");
        QTest::newRow("right") << int(Qt::Key_Right) << int(Qt::NoModifier) << QRectF(101, 100, 300, 200);
        QTest::newRow("up") << int(Qt::Key_Up) << int(Qt::NoModifier) << QRectF(100, 99, 300, 200);
        QTest::newRow("Shift+left") << int(Qt::Key_Left) << int(Qt::ShiftModifier) << QRectF(90, 100, 300, 200);
        QTest::newRow("Shift+down") << int(Qt::Key_Down) << int(Qt::ShiftModifier) << QRectF(100, 110, 300, 200);
        QTest::newRow("Ctrl+right") << int(Qt::Key_Right) << int(Qt::ControlModifier) << QRectF(100, 100, 301, 200);
        QTest::newRow("Ctrl+up") << int(Qt::Key_Up) << int(Qt::ControlModifier) << QRectF(100, 100, 300, 199);
        QTest::newRow("Ctrl+Shift+down") << int(Qt::Key_Down) << int(Qt::ControlModifier | Qt::ShiftModifier)
                                         << QRectF(100, 100, 300, 210);
        QTest::newRow("Alt+right") << int(Qt::Key_Right) << int(Qt::AltModifier) << QRectF(100, 100, 300, 200);
    }
    void keysMoveAndResizeTheSelectedMarker()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QRectF, expected);
        CatalogueBuilder fx;
        auto w = phonePhoto(fx);
        QTest::keyClick(w.get(), Qt::Key_Minus, Qt::ControlModifier);
        QTest::keyClick(w.get(), Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(w->canvas().view().zoom(), 0.5);
        w->shownImage().selectArea(1);
        w->shownImage().showHandle();
        QWidget* p = picture(*w);
        p->setFocus();
        QTest::keyClick(p, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(w->shownImage().areaRect(1), expected);
        QCOMPARE(w->shownImage().areaRect(0), QRectF(3500, 2500, 300, 200));
    }

    // Without a selected marker the arrows scroll; the zoom keys keep working while the picture has the focus.
    void arrowsScrollWithoutASelection()
    {
        CatalogueBuilder fx;
        auto w = phonePhoto(fx);
        QWidget* p = picture(*w);
        p->setFocus();
        QTest::keyClick(p, Qt::Key_Right);
        QTest::keyClick(p, Qt::Key_Down);
        QTest::keyClick(p, Qt::Key_Down);
        QCOMPARE(w->canvas().view().scroll(), QPointF(20, 40));
        QCOMPARE(w->shownImage().areaRect(1), QRectF(100, 100, 300, 200));
        QTest::keyClick(p, Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(w->canvas().view().mode(), kovra::PictureView::Mode::Fit);
        QTest::keyClick(p, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(w->canvas().view().zoom(), 1.0);
    }

    // Page Down/Up step through the shown markers, wrapping, and bring the selected one into view.
    void pageKeysStepAndScroll()
    {
        CatalogueBuilder fx;
        auto w = phonePhoto(fx);
        QWidget* p = picture(*w);
        p->setFocus();
        const QList<std::pair<Qt::Key, int>> steps = {
            {Qt::Key_PageDown, 0}, {Qt::Key_PageDown, 1}, {Qt::Key_PageDown, 0}, {Qt::Key_PageUp, 1}};
        for (const auto& [key, expected] : steps) {
            QTest::keyClick(p, key);
            QCOMPARE(w->shownImage().selectedAreaIndex(), expected);
            QVERIFY(w->shownImage().isHandleShown());
            QVERIFY2(p->rect().contains(marker(*w, expected)->geometry()),
                     qPrintable(QStringLiteral("marker %1 out of view").arg(expected)));
        }
    }

    // Enter opens the selected marker's items as a click does; Escape deselects; Delete goes to the
    // arrangement window only while it is open.
    void enterEscapeAndDelete()
    {
        CatalogueBuilder fx;
        auto w = smallPhoto(fx);
        int opened = 0;
        w->setWindowFactory(frmMain::Window::ItemRegistration, [&] {
            ++opened;
            return new QWidget;
        });
        bool open = false;
        w->canvas().setArrangementOpenQuery([&open] { return open; });
        QSignalSpy clicked(&w->canvas(), &kovra::PictureCanvas::markerClicked);
        QSignalSpy deletes(&w->canvas(), &kovra::PictureCanvas::deleteAreaRequested);
        QWidget* p = picture(*w);
        p->setFocus();
        QTest::keyClick(p, Qt::Key_Return); // nothing selected: nothing opens
        QTest::keyClick(p, Qt::Key_Delete);
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(deletes.count(), 0);
        QTest::keyClick(p, Qt::Key_PageDown);
        QTest::keyClick(p, Qt::Key_Enter);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0).at(0).toInt(), 0);
        QCOMPARE(opened, 1);
        QTest::keyClick(p, Qt::Key_Delete);
        QCOMPARE(deletes.count(), 0);
        open = true;
        QTest::keyClick(p, Qt::Key_Delete);
        QCOMPARE(deletes.count(), 1);
        QTest::keyClick(p, Qt::Key_Escape);
        QCOMPARE(w->shownImage().selectedAreaIndex(), -1);
        QVERIFY(!w->shownImage().isHandleShown());
        QVERIFY(w->shownImage().isShown(0)); // the canvas itself deletes nothing
    }

    // Tab goes from the image list to the picture and on again; the picture shows that it has the focus.
    void tabReachesThePictureAndLeavesIt()
    {
        CatalogueBuilder fx;
        auto w = smallPhoto(fx);
        auto* combo = w->findChild<QComboBox*>(QStringLiteral("Combo1"));
        QWidget* p = picture(*w);
        combo->setFocus();
        QVERIFY(combo->hasFocus());
        const QImage unfocused = p->grab().toImage();
        QTest::keyClick(combo, Qt::Key_Tab);
        QVERIFY(p->hasFocus());
        const QImage focused = p->grab().toImage();
        const QColor highlight = p->palette().color(QPalette::Highlight);
        QCOMPARE(focused.pixelColor(1, 150), highlight);
        QVERIFY(unfocused.pixelColor(1, 150) != highlight);
        QCOMPARE(focused.pixelColor(200, 150), unfocused.pixelColor(200, 150));
        QTest::keyClick(p, Qt::Key_Tab);
        QVERIFY(!p->hasFocus());
        QVERIFY(w->focusWidget());
        QTest::keyClick(w->focusWidget(), Qt::Key_Backtab);
        QVERIFY(p->hasFocus());
        QTest::keyClick(p, Qt::Key_Backtab);
        QVERIFY(combo->hasFocus());
    }

    void wheelOverTheListNeedsItsFocus()
    {
        CatalogueBuilder fx;
        fx.makeImage(QStringLiteral("20240101000000"), "One");
        fx.makeImage(QStringLiteral("20240102000000"), "Two");
        auto w = shown(fx);
        auto* combo = w->findChild<QComboBox*>(QStringLiteral("Combo1"));
        picture(*w)->setFocus();
        QVERIFY(!combo->hasFocus());
        QWheelEvent e(QPointF(5, 5), combo->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(combo, &e);
        QCOMPARE(combo->currentIndex(), 0);
        QCOMPARE(w->shownImage().folder(), fx.folder(QStringLiteral("20240101000000")));
        combo->setFocus();
        if (combo->hasFocus()) {
            QApplication::sendEvent(combo, &e);
            QCOMPARE(combo->currentIndex(), 1);
        }
    }

    // A drop over another window lying above the picture is a drop anywhere else: nothing moves.
    void dropOverAnotherWindowDoesNothing()
    {
        CatalogueBuilder fx;
        fx.makeImage(QStringLiteral("20240101000000"), "One");
        fx.writeArea(QStringLiteral("20240101000000"), 3, CatalogueBuilder::area("True", 10, 10, 40, 30));
        auto w = shown(fx);
        QWidget above;
        above.setGeometry(QRect(picture(*w)->mapToGlobal(QPoint(200, 150)), QSize(200, 150)));
        above.show();
        QVERIFY(QTest::qWaitForWindowExposed(&above));
        drag(*w, 3, QPoint(5, 5), QPoint(250, 200));
        QCOMPARE(w->shownImage().areaRect(3), QRectF(10, 10, 40, 30));
        above.hide();
        drag(*w, 3, QPoint(5, 5), QPoint(250, 200));
        QCOMPARE(w->shownImage().areaRect(3), QRectF(260, 210, 40, 30));
    }

    // A nudge of a few pixels moves the marker; less is a click.
    void smallNudgeMoves_data()
    {
        QTest::addColumn<QPoint>("by");
        QTest::addColumn<bool>("moved");
        QTest::newRow("two pixels: a click") << QPoint(1, 1) << false;
        QTest::newRow("three pixels") << QPoint(3, 0) << true;
        QTest::newRow("four pixels") << QPoint(2, 2) << true;
    }
    void smallNudgeMoves()
    {
        QFETCH(QPoint, by);
        QFETCH(bool, moved);
        CatalogueBuilder fx;
        fx.makeImage(QStringLiteral("20240101000000"), "One");
        fx.writeArea(QStringLiteral("20240101000000"), 3, CatalogueBuilder::area("True", 10, 10, 40, 30));
        auto w = shown(fx);
        int opened = 0;
        w->setWindowFactory(frmMain::Window::ItemRegistration, [&] {
            ++opened;
            return new QWidget;
        });
        drag(*w, 3, QPoint(5, 5), by);
        QCOMPARE(w->shownImage().areaRect(3).topLeft(), moved ? QPointF(10, 10) + QPointF(by) : QPointF(10, 10));
        QCOMPARE(opened, moved ? 0 : 1);
    }

    // The window can grow (not shrink below its drawn size); the picture box grows with it and the size
    // is kept in the settings file.
    void windowGrowsWithThePicture()
    {
        CatalogueBuilder fx;
        auto w = shown(fx);
        QCOMPARE(w->minimumSize(), QSize(658, 567));
        const QRect button = child(*w, QStringLiteral("Command4"))->geometry();
        w->resize(900, 700);
        QTRY_COMPARE(child(*w, QStringLiteral("Picture1Frame"))->geometry(), QRect(8, 80, 640 + 242, 480 + 133));
        QCOMPARE(child(*w, QStringLiteral("Command4"))->geometry(), button);
        kovra::MessageBoxRecorder boxes;
        QVERIFY(w->close());
        const QByteArray ini = fx.read(QStringLiteral("KOVRA.INI"));
        QVERIFY2(ini.contains("Width=13500\r\nHeight=10500\r\n"), ini.constData());
        frmMain again(fx.path());
        QCOMPARE(again.size(), QSize(900, 700));
    }
    // One full decode at a time: the previous photo's goes before the next one is decoded at 100 %, and the
    // fit view lets it go. Resident memory measured around each step (a decode here is 96 MB).
    void oneFullDecodeAtATime()
    {
        CatalogueBuilder fx;
        const QSize size(6000, 4000);
        const long decodedKib = long(size.width()) * size.height() * 4 / 1024;
        for (const QString& name : {QStringLiteral("20240101000000"), QStringLiteral("20240102000000")}) {
            fx.makeImage(name, "Photo", QStringLiteral("p.jpg"));
            QVERIFY(photos::writeJpeg(fx.folder(name + QStringLiteral("/p.jpg")), photos::shelf(size)));
        }
        auto w = shown(fx);
        w->selectImage(fx.folder(QStringLiteral("20240101000000")));
        QCOMPARE(w->canvas().view().zoom(), 1.0);
        QVERIFY(w->hasPicture());
        QTRY_VERIFY(!w->canvas().showsPartOnly()); // the whole photo, decoded behind the part in view
        QCoreApplication::processEvents();
        const long before = kovra::test::statusKib("VmRSS");
        QVERIFY(kovra::test::resetPeak());
        w->selectImage(fx.folder(QStringLiteral("20240102000000")));
        QCoreApplication::processEvents();
        QVERIFY(w->hasPicture());
        QTRY_VERIFY(!w->canvas().showsPartOnly());
        const long peak = kovra::test::statusKib("VmHWM");
        const long atFull = kovra::test::statusKib("VmRSS");
        QVERIFY2(peak - before < decodedKib / 2, qPrintable(QStringLiteral("%1 -> %2 KiB").arg(before).arg(peak)));
        QTest::keyClick(w.get(), Qt::Key_0, Qt::ControlModifier);
        QCoreApplication::processEvents();
        QVERIFY(w->hasPicture());
        const long atFit = kovra::test::statusKib("VmRSS");
        QVERIFY2(atFull - atFit > decodedKib / 2, qPrintable(QStringLiteral("%1 -> %2 KiB").arg(atFull).arg(atFit)));
    }
};

QTEST_MAIN(tst_Canvas)
#include "tst_canvas.moc"
