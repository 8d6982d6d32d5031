#include "FixtureCatalogue.h"
#include "MainWindowProbe.h"
#include "MessageBox.h"
#include "PeakMemory.h"
#include "PictureCanvas.h"
#include "TestPhotos.h"
#include "frmMain.h"

#include <QApplication>
#include <QComboBox>
#include <QMouseEvent>
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
        QCoreApplication::processEvents();
        const long before = kovra::test::statusKib("VmRSS");
        QVERIFY(kovra::test::resetPeak());
        w->selectImage(fx.folder(QStringLiteral("20240102000000")));
        QCoreApplication::processEvents();
        QVERIFY(w->hasPicture());
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
