#include "FixtureCatalogue.h"
#include "MainWindowProbe.h"
#include "MessageBox.h"
#include "PictureCanvas.h"
#include "WindowPosition.h"
#include "frmAbout.h"
#include "frmMain.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>

using kovra::MessageBox;
using kovra::MessageBoxRecorder;
using kovra::test::CatalogueBuilder;
using Window = frmMain::Window;

namespace {

// A point of the picture in the coordinates of another widget of the window.
QPoint pictureToWidget(const frmMain& w, QWidget* target, QPoint p)
{
    return target->mapFrom(&w, picture(w)->mapTo(&w, p));
}

QStringList comboTexts(const frmMain& w)
{
    auto* combo = w.findChild<QComboBox*>(QStringLiteral("Combo1"));
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

// A window that records the order in which windows were closed.
class RecordingWindow : public QWidget
{
public:
    RecordingWindow(QString name, QStringList* log) : m_name(std::move(name)), m_log(log) {}

protected:
    void closeEvent(QCloseEvent* e) override
    {
        m_log->append(m_name);
        QWidget::closeEvent(e);
    }

private:
    QString m_name;
    QStringList* m_log;
};

} // namespace

class tst_frmMain : public QObject
{
    Q_OBJECT

private:
    // One image with markers 3 (10,10,40,30) and 7 (200,100,60,50) in use, on a 400 x 300 picture.
    std::unique_ptr<frmMain> twoMarkers(const CatalogueBuilder& fx)
    {
        fx.makeImage(QStringLiteral("20240101000000"), "Shelf", QStringLiteral("p.png"));
        fx.makePicture(QStringLiteral("20240101000000/p.png"), QSize(400, 300), Qt::darkGreen);
        fx.writeArea(QStringLiteral("20240101000000"), 3, CatalogueBuilder::area("True", 10, 10, 40, 30));
        fx.writeArea(QStringLiteral("20240101000000"), 7, CatalogueBuilder::area("True", 200, 100, 60, 50));
        auto w = std::make_unique<frmMain>(fx.path());
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            qFatal("window not exposed");
        return w;
    }

    // Press the left button on marker i at local point grab, move to picture point to and release there.
    void dragMarker(frmMain& w, int i, QPoint grab, QPoint toPicture)
    {
        QWidget* m = marker(w, i);
        mouse(m, QEvent::MouseButtonPress, grab, Qt::LeftButton, Qt::LeftButton);
        const QPoint to = pictureToWidget(w, m, toPicture);
        mouse(m, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        mouse(m, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }

private slots:
    void layoutFollowsTheTwipsTable()
    {
        CatalogueBuilder fx;
        frmMain w(fx.path());
        QCOMPARE(w.twipsPerPixel(), 15.0);
        QCOMPARE(w.windowTitle(), QStringLiteral("Kovra!"));
        QCOMPARE(w.size(), QSize(658, 567));
        const struct
        {
            const char* name;
            QRect geometry;
        } controls[] = {
            {"Command4", {8, 8, 73, 65}},    {"Command2", {80, 8, 73, 65}},        {"Command6", {152, 8, 73, 65}},
            {"Label1", {240, 16, 59, 13}},   {"Combo1", {232, 32, 329, 24}},       {"Command3", {568, 16, 41, 41}},
            {"Command1", {608, 16, 41, 41}}, {"Picture1Frame", {8, 80, 640, 480}},
        };
        for (const auto& c : controls)
            QCOMPARE(child(w, QString::fromLatin1(c.name))->geometry(), c.geometry);
        QCOMPARE(w.findChild<QToolButton*>(QStringLiteral("Command4"))->text(), QStringLiteral("ｲﾒｰｼﾞ登録"));
        QCOMPARE(child(w, QStringLiteral("Picture1"))->toolTip(), QStringLiteral("右ﾎﾞﾀﾝｸﾘｯｸでｱｲﾃﾑﾏｰｶｰを非表示"));
        QCOMPARE(marker(w, 29)->toolTip(), QStringLiteral("[Shift]+ﾏｳｽﾄﾞﾗｯｸﾞでｱｲﾃﾑｴﾘｱにｻｲｽﾞ変更"));
        QCOMPARE(w.findChild<QTimer*>(QStringLiteral("Timer1"))->interval(), 250);
        QVERIFY(!w.shownImage().isAnimating());
        QCOMPARE(w.shownImage().selectedAreaIndex(), -1);
    }

    void positionComesFromTheSettingsFile_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QPoint>("pos");
        QTest::newRow("no file") << QByteArray() << QPoint(20, 20);
        QTest::newRow("stored") << QByteArray("[Window]\r\nTop= 4500 \r\nLeft=-150\r\n") << QPoint(-10, 300);
        // 25 digits of a hand-edited file: clamped, never an overflowing conversion.
        QTest::newRow("huge") << QByteArray(
                                     "[Window]\r\nTop=9999999999999999999999999\r\nLeft=-9999999999999999999999999\r\n")
                              << QPoint(-(1 << 24), 1 << 24);
    }
    void positionComesFromTheSettingsFile()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QPoint, pos);
        CatalogueBuilder fx;
        if (!ini.isEmpty())
            fx.write(QStringLiteral("KOVRA.INI"), ini);
        frmMain w(fx.path());
        QCOMPARE(w.pos(), pos);
    }

    // Shown, the stored placement fits the screen: never more than it holds (nor less than the least size),
    // the whole title bar on it, and the whole frame where the size was cut.
    void shownPlacementFitsTheScreen_data()
    {
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<bool>("cut");
        QTest::newRow("huge") << QByteArray("Top=-33225\r\nLeft=-29910\r\nWidth=2000000000\r\nHeight=2000000000")
                              << true;
        QTest::newRow("twenty digits") << QByteArray("Width=99999999999999999999\r\nHeight=99999999999999999999")
                                       << true;
        QTest::newRow("far right and below")
            << QByteArray("Top=9999999999999999999999999\r\nLeft=9999999999999999999999999") << false;
        QTest::newRow("garbage size") << QByteArray("Top=-150\r\nWidth=abc\r\nHeight=-5") << false;
    }
    void shownPlacementFitsTheScreen()
    {
        QFETCH(QByteArray, keys);
        QFETCH(bool, cut);
        CatalogueBuilder fx;
        fx.write(QStringLiteral("KOVRA.INI"), "[Window]\r\n" + keys + "\r\n");
        frmMain w(fx.path());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect available = w.screen()->availableGeometry();
        const QRect frame = w.frameGeometry();
        const QRect titleBar(frame.topLeft(), QSize(frame.width(), std::max(w.geometry().top() - frame.top(), 1)));
        QVERIFY(available.contains(titleBar));
        QVERIFY(w.width() >= 658 && w.height() >= 567);
        QVERIFY(w.width() <= std::max(658, available.width()) && w.height() <= std::max(567, available.height()));
        if (cut)
            QVERIFY(available.contains(frame));
        else
            QCOMPARE(w.size(), QSize(658, 567));
    }

    void maximisedComesBackOverItsNormalPlacement()
    {
        CatalogueBuilder fx;
        const QByteArray ini = "[Window]\r\nTop=600\r\nLeft=900\r\nWidth=9900\r\nHeight=8550\r\n";
        fx.write(QStringLiteral("KOVRA.INI"), ini);
        MessageBoxRecorder boxes;
        {
            frmMain w(fx.path());
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            w.setWindowState(Qt::WindowMaximized);
            QTRY_VERIFY(w.size() != QSize(660, 570));
            QVERIFY(w.close());
        }
        QCOMPARE(fx.read(QStringLiteral("KOVRA.INI")), ini + "Maximized=True\r\n");
        {
            frmMain w(fx.path()); // closed still maximised: the normal placement stays
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            QVERIFY(w.isMaximized());
            QVERIFY(w.close());
        }
        QCOMPARE(fx.read(QStringLiteral("KOVRA.INI")), ini + "Maximized=True\r\n");
        frmMain w(fx.path());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.isMaximized());
        w.setWindowState(Qt::WindowNoState);
        QTRY_COMPARE(w.size(), QSize(660, 570));
        QCOMPARE(w.pos(), QPoint(60, 40));
        QVERIFY(w.close());
        QCOMPARE(fx.read(QStringLiteral("KOVRA.INI")), ini + "Maximized=False\r\n");
    }

    // The zoom mode goes to the settings file as the user changes it, and the next start shows the first
    // image in it; a file without the key, or with a value it does not know, starts at 100 %.
    void zoomModeIsKeptInTheSettings_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("startsFit");
        QTest::newRow("first start") << QByteArray() << false;
        QTest::newRow("earlier build's file") << kovra::test::fixture::settingsIni() << false;
        QTest::newRow("Fit") << QByteArray("[Window]\r\nZoom=Fit\r\n") << true;
        QTest::newRow("garbage") << QByteArray("[Window]\r\nZoom=fit!\r\n") << false;
    }
    void zoomModeIsKeptInTheSettings()
    {
        QFETCH(QByteArray, ini);
        QFETCH(bool, startsFit);
        CatalogueBuilder fx;
        fx.addImage(QStringLiteral("20240101000000"), "Big", QStringLiteral("p.png"), QSize(2400, 1800), Qt::gray);
        if (!ini.isNull())
            fx.write(QStringLiteral("KOVRA.INI"), ini);
        const QString settings = fx.folder(QStringLiteral("KOVRA.INI"));
        auto mode = [](const frmMain& w) { return w.canvas().view().mode(); };
        frmMain w(fx.path());
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QCOMPARE(mode(w) == kovra::PictureView::Mode::Fit, startsFit);
        QCOMPARE(w.canvas().view().zoom() < 0.5, startsFit);
        QCOMPARE(fx.read(QStringLiteral("KOVRA.INI")), ini); // starting writes nothing

        QTest::keyClick(&w, Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(kovra::readZoomMode(settings), kovra::ZoomMode::Fit);
        QTest::keyClick(&w, Qt::Key_1, Qt::ControlModifier);
        QCOMPARE(kovra::readZoomMode(settings), kovra::ZoomMode::Actual);
        QVERIFY(fx.read(QStringLiteral("KOVRA.INI")).contains("Zoom=100\r\n"));
        qobject_cast<QToolButton*>(child(w, QStringLiteral("ZoomFit")))->click();
        QCOMPARE(kovra::readZoomMode(settings), kovra::ZoomMode::Fit);
        // A zoom of the user's own: the next image, and the next start, begin at 100 %.
        qobject_cast<QToolButton*>(child(w, QStringLiteral("ZoomIn")))->click();
        QCOMPARE(mode(w), kovra::PictureView::Mode::Custom);
        QCOMPARE(kovra::readZoomMode(settings), kovra::ZoomMode::Actual);
        QTest::keyClick(&w, Qt::Key_0, Qt::ControlModifier);
        if (ini.contains("Note=kept")) // the rest of the file stays
            QVERIFY(fx.read(QStringLiteral("KOVRA.INI")).startsWith(ini.left(ini.indexOf("[Mine]"))));

        frmMain again(fx.path());
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        QCOMPARE(mode(again), kovra::PictureView::Mode::Fit);
        QVERIFY(again.canvas().view().zoom() < 0.5);
    }

    void startUpWithoutImages_data()
    {
        QTest::addColumn<QStringList>("folders");
        QTest::newRow("empty program folder") << QStringList();
        QTest::newRow("only manual") << QStringList{QStringLiteral("manual")};
        QTest::newRow("manual in any case")
            << QStringList{QStringLiteral("MANUAL"), QStringLiteral("ManuAL"), QStringLiteral("usermanual")};
    }
    void startUpWithoutImages()
    {
        QFETCH(QStringList, folders);
        CatalogueBuilder fx;
        for (const QString& f : folders)
            fx.makeFolder(f);
        frmMain w(fx.path());
        QCOMPARE(w.catalogue().folderList().size(), folders.size());
        QVERIFY(w.catalogue().imageList().isEmpty());
        QCOMPARE(w.selectedImagePosition(), -1);
        QVERIFY(w.shownImage().folder().isEmpty());
        QVERIFY(!w.hasPicture());
        for (int i = 0; i < kovra::AreaCount; ++i)
            QVERIFY(!w.shownImage().isShown(i));
    }

    void titlesInFolderOrder()
    {
        CatalogueBuilder fx;
        fx.makeImage(QStringLiteral("20240102000000"), "Box");
        fx.makeImage(QStringLiteral("20240101000000"), "Box");
        fx.makeFolder(QStringLiteral("Manual"));
        fx.makeFolder(QStringLiteral("manuals"));        // does not end in "manual": listed
        fx.makeFolder(QStringLiteral("20240103000000")); // no IMAGE.INI: empty title at start-up
        // 124 ASCII bytes, then a double-byte character that a 125-byte cut would split.
        fx.makeImage(QStringLiteral("20240104000000"), QByteArray(124, 'a') + "\x82\xa0" + "tail");
        fx.makeImage(QStringLiteral("20240105000000"), QByteArray(130, 'b'));
        frmMain w(fx.path());
        QCOMPARE(comboTexts(w), (QStringList{QStringLiteral("Box"), QStringLiteral("Box"), QString(),
                                             QString(124, u'a'), QString(125, u'b'), QString()}));
        const auto entries = w.catalogue().imageList();
        QCOMPARE(entries[0].folder, fx.folder(QStringLiteral("20240101000000")));
        QCOMPARE(entries[1].folder, fx.folder(QStringLiteral("20240102000000")));
        QCOMPARE(entries.last().folder, fx.folder(QStringLiteral("manuals")));
        QCOMPARE(w.selectedImagePosition(), 0);
        QCOMPARE(w.shownImage().folder(), fx.folder(QStringLiteral("20240101000000")));
    }

    // A folder sorting after "manual" must not shift the list against the folder list.
    void selectionFollowsTheEntrysFolder()
    {
        CatalogueBuilder fx;
        fx.makeImage(QStringLiteral("20240101000000"), "One", QStringLiteral("a.png"));
        fx.makePicture(QStringLiteral("20240101000000/a.png"), QSize(20, 20), Qt::red);
        fx.makeFolder(QStringLiteral("manual"));
        fx.makeImage(QStringLiteral("Photos"), "Foreign");
        fx.makeImage(QStringLiteral("zz"), "Last", QStringLiteral("z.png"));
        fx.makePicture(QStringLiteral("zz/z.png"), QSize(20, 20), Qt::blue);
        frmMain w(fx.path());
        QSignalSpy selected(&w, &frmMain::imageSelected);
        auto* combo = w.findChild<QComboBox*>(QStringLiteral("Combo1"));
        combo->setCurrentIndex(2);
        emit combo->activated(2); // as a user's choice
        QCOMPARE(w.shownImage().folder(), fx.folder(QStringLiteral("zz")));
        QVERIFY(w.hasPicture());
        w.selectImage(fx.folder(QStringLiteral("Photos")));
        QCOMPARE(w.selectedImagePosition(), 1);
        QCOMPARE(w.shownImage().folder(), fx.folder(QStringLiteral("Photos")));
        QVERIFY(!w.hasPicture()); // no Filename: the picture is cleared
        w.selectImage(fx.folder(QStringLiteral("manual")));
        QCOMPARE(w.shownImage().folder(), fx.folder(QStringLiteral("Photos")));
        QCOMPARE(selected.count(), 2);
    }

    // The previous photo never stays under the new image's title: the box is left without a photo.
    void pictureLoadFailureClearsTheBox()
    {
        CatalogueBuilder fx;
        fx.makeImage(QStringLiteral("20240101000000"), "Good", QStringLiteral("a.png"));
        fx.makePicture(QStringLiteral("20240101000000/a.png"), QSize(30, 30), Qt::red);
        fx.makeImage(QStringLiteral("20240102000000"), "Broken", QStringLiteral("b.jpg"));
        fx.write(QStringLiteral("20240102000000/b.jpg"), "not a picture");
        fx.writeArea(QStringLiteral("20240102000000"), 1, CatalogueBuilder::area("True", 1, 2, 3, 4));
        frmMain w(fx.path());
        QVERIFY(w.hasPicture());
        w.selectImage(fx.folder(QStringLiteral("20240102000000")));
        QVERIFY(!w.hasPicture());
        QCOMPARE(w.shownImage().folder(), fx.folder(QStringLiteral("20240102000000")));
        QVERIFY(w.shownImage().isShown(1));
    }

    void markersForVisibleTrueOnly()
    {
        CatalogueBuilder fx;
        const QString img = QStringLiteral("20240101000000");
        fx.makeImage(img, "Shelf");
        fx.writeArea(img, 0, CatalogueBuilder::area("True", 60, 120, 240, 280));
        fx.writeArea(img, 5, "[area]\r\n  visible = True \r\nLEFT=350\r\nTop=80\r\nWidth=250\r\nHeight=12.5\r\n");
        fx.writeArea(img, 6, CatalogueBuilder::area("true", 1, 1, 5, 5));
        fx.writeArea(img, 7, CatalogueBuilder::area("False", 1, 1, 5, 5));
        frmMain w(fx.path());
        for (int i = 0; i < kovra::AreaCount; ++i) {
            QCOMPARE(w.shownImage().isShown(i), i == 0 || i == 5);
            QCOMPARE(w.shownImage().table().shown[size_t(i)], i == 0 || i == 5);
        }
        QCOMPARE(w.shownImage().areaRect(0), QRectF(60, 120, 240, 280));
        QCOMPARE(w.shownImage().areaRect(5), QRectF(350, 80, 250, 12));
        QCOMPARE(marker(w, 0)->geometry(), QRect(60, 120, 240, 280));
    }

    // A bad value stops the reading: that area keeps what was set before it and stays hidden, and the
    // flags of it and the later areas keep their old values.
    void readingStopsAtTheFirstBadValue()
    {
        CatalogueBuilder fx;
        const QString first = QStringLiteral("20240101000000");
        const QString second = QStringLiteral("20240102000000");
        fx.makeImage(first, "First");
        for (int i : {2, 3, 4})
            fx.writeArea(first, i, CatalogueBuilder::area("True", 1, 1, 5, 5));
        fx.makeImage(second, "Second");
        fx.writeArea(second, 0, CatalogueBuilder::area("True", 7, 8, 9, 10));
        fx.writeArea(second, 2, "[Area]\r\nVisible=True\r\nLeft=33\r\nTop=abc\r\nWidth=1\r\nHeight=1\r\n");
        fx.writeArea(second, 3, CatalogueBuilder::area("True", 50, 50, 5, 5));
        fx.writeArea(second, 4, CatalogueBuilder::area("False", 1, 1, 5, 5));
        frmMain w(fx.path());
        QVERIFY(w.shownImage().table().shown[2] && w.shownImage().table().shown[3] && w.shownImage().table().shown[4]);
        w.selectImage(fx.folder(second));
        QVERIFY(w.shownImage().isShown(0));
        QVERIFY(!w.shownImage().isShown(2));
        QVERIFY(!w.shownImage().isShown(3));
        QCOMPARE(w.shownImage().areaRect(2).left(), 33.0);
        QCOMPARE(w.shownImage().areaRect(2).top(), 1.0);
        QVERIFY(w.shownImage().table().shown[2] && w.shownImage().table().shown[3] && w.shownImage().table().shown[4]);
    }

    void choosingAnImageStopsTheHitMarks()
    {
        CatalogueBuilder fx;
        fx.makeImage(QStringLiteral("20240101000000"), "One");
        frmMain w(fx.path());
        w.shownImage().selectArea(4);
        w.shownImage().selectArea(4);
        w.shownImage().showHandle();
        w.shownImage().showHitMark(4, {qint16(10), qint16(20), qint16(40), qint16(40)});
        w.shownImage().showHitMark(9, {qint16(-5), std::nullopt, qint16(48), qint16(48)});
        w.shownImage().startAnimation();
        QCOMPARE(child(w, QStringLiteral("spKoKo4"))->geometry(), QRect(10, 20, 40, 40));
        QCOMPARE(child(w, QStringLiteral("ImgFind4"))->geometry(), QRect(10, 20, 32, 32));
        QCOMPARE(child(w, QStringLiteral("ImgFind9"))->pos(), QPoint(-5, 0));
        QVERIFY(!child(w, QStringLiteral("ImgFind4"))->isHidden());
        QVERIFY(w.shownImage().isAnimating());
        w.selectImage(fx.folder(QStringLiteral("20240101000000"))); // already selected: still a full selection
        QVERIFY(!w.shownImage().isAnimating());
        QVERIFY(!w.shownImage().isHandleShown());
        QCOMPARE(w.shownImage().selectedAreaIndex(), 4);
        for (int i = 0; i < kovra::AreaCount; ++i) {
            QVERIFY(child(w, QStringLiteral("spKoKo%1").arg(i))->isHidden());
            QVERIFY(child(w, QStringLiteral("ImgFind%1").arg(i))->isHidden());
        }
    }

    void hitIconsCycleThroughTheFourFrames()
    {
        CatalogueBuilder fx;
        frmMain w(fx.path());
        std::array<QLabel*, 4> frames{};
        for (int k = 0; k < 4; ++k) {
            frames[size_t(k)] = w.findChild<QLabel*>(QStringLiteral("ImgIcon1_%1").arg(k));
            QPixmap p(32, 32);
            p.fill(QColor(k * 60, 0, 0));
            frames[size_t(k)]->setPixmap(p);
        }
        auto* timer = w.findChild<QTimer*>(QStringLiteral("Timer1"));
        QSignalSpy ticks(timer, &QTimer::timeout);
        w.shownImage().startAnimation();
        QTRY_VERIFY_WITH_TIMEOUT(ticks.count() >= 3, 5000);
        w.shownImage().stopAnimation();
        const qint64 shown = w.findChild<QLabel*>(QStringLiteral("ImgFind17"))->pixmap().cacheKey();
        QCOMPARE(shown, frames[size_t(ticks.count() & 3)]->pixmap().cacheKey());
    }

    // --- Mouse on the marks

    void clickOnAMarkerOpensTheItemWindow()
    {
        CatalogueBuilder fx;
        auto w = twoMarkers(fx);
        int made = 0;
        int indexAtOpen = -2;
        w->setWindowFactory(Window::ItemRegistration, [&] {
            ++made;
            indexAtOpen = w->shownImage().selectedAreaIndex();
            return new QWidget;
        });
        QWidget* m = marker(*w, 7);
        mouse(m, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
        QVERIFY(w->shownImage().isHandleShown());
        QCOMPARE(child(*w, QStringLiteral("SpHandle"))->geometry(), QRect(200, 100, 9, 9));
        mouse(m, QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(w->shownImage().areaRect(7), QRectF(200, 100, 60, 50));
        QCOMPARE(made, 1);
        QCOMPARE(indexAtOpen, 7);
        // A double-click on another marker brings the same window forward.
        mouse(marker(*w, 3), QEvent::MouseButtonDblClick, {1, 1}, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(made, 1);
        QCOMPARE(w->shownImage().selectedAreaIndex(), 3);
        QVERIFY(w->openedWindow(Window::ItemRegistration));
    }

    void anyButtonSelectsOnlyLeftDrags()
    {
        CatalogueBuilder fx;
        auto w = twoMarkers(fx);
        QWidget* m = marker(*w, 3);
        mouse(m, QEvent::MouseButtonPress, {2, 2}, Qt::RightButton, Qt::RightButton);
        QCOMPARE(w->shownImage().selectedAreaIndex(), 3);
        QVERIFY(!w->shownImage().isHandleShown());
        const QPoint to = pictureToWidget(*w, m, {300, 250});
        mouse(m, QEvent::MouseMove, to, Qt::NoButton, Qt::RightButton);
        mouse(m, QEvent::MouseButtonRelease, to, Qt::RightButton, Qt::NoButton);
        QCOMPARE(w->shownImage().areaRect(3), QRectF(10, 10, 40, 30));
    }

    void dropMovesByTheGrabOffset_data()
    {
        QTest::addColumn<int>("dragged");
        QTest::addColumn<QPoint>("grab");
        QTest::addColumn<QPoint>("to"); // picture pixels
        QTest::addColumn<QRectF>("expected");
        QTest::newRow("on the picture") << 3 << QPoint(20, 15) << QPoint(150, 200) << QRectF(130, 185, 40, 30);
        QTest::newRow("onto another marker") << 3 << QPoint(20, 15) << QPoint(230, 120) << QRectF(210, 105, 40, 30);
        QTest::newRow("onto itself") << 7 << QPoint(10, 10) << QPoint(230, 140) << QRectF(220, 130, 60, 50);
        QTest::newRow("negative position") << 7 << QPoint(50, 40) << QPoint(5, 3) << QRectF(-45, -37, 60, 50);
    }
    void dropMovesByTheGrabOffset()
    {
        QFETCH(int, dragged);
        QFETCH(QPoint, grab);
        QFETCH(QPoint, to);
        QFETCH(QRectF, expected);
        CatalogueBuilder fx;
        auto w = twoMarkers(fx);
        dragMarker(*w, dragged, grab, to);
        QCOMPARE(w->shownImage().areaRect(dragged), expected);
        QVERIFY(w->shownImage().isHandleShown());
        QCOMPARE(child(*w, QStringLiteral("SpHandle"))->pos(), expected.topLeft().toPoint());
        QVERIFY(child(*w, QStringLiteral("DragOutline"))->isHidden());
    }

    void dropElsewhereDoesNothing()
    {
        CatalogueBuilder fx;
        auto w = twoMarkers(fx);
        w->shownImage().showHitMark(0, {qint16(300), qint16(200), qint16(50), qint16(50)});
        QWidget* m = marker(*w, 3);
        const QRectF before = w->shownImage().areaRect(3);
        // Onto a hit icon.
        dragMarker(*w, 3, {5, 5}, {310, 210});
        QCOMPARE(w->shownImage().areaRect(3), before);
        // Outside the picture, onto the button row.
        mouse(m, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
        const QPoint outside = m->mapFrom(w.get(), QPoint(300, 40));
        mouse(m, QEvent::MouseMove, outside, Qt::NoButton, Qt::LeftButton);
        QVERIFY(!child(*w, QStringLiteral("DragOutline"))->isHidden());
        mouse(m, QEvent::MouseButtonRelease, outside, Qt::LeftButton, Qt::NoButton);
        QCOMPARE(w->shownImage().areaRect(3), before);
    }

    void shiftDragResizesFromTheBottomRight_data()
    {
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<QRectF>("expected");
        QTest::addColumn<QPoint>("handle");
        const QPoint corner(10, 10);
        QTest::newRow("below and right") << QPoint(100, 90) << QRectF(10, 10, 90, 80) << corner;
        QTest::newRow("left of the corner: height only") << QPoint(4, 60) << QRectF(10, 10, 40, 50) << corner;
        QTest::newRow("above the corner: width only") << QPoint(70, 2) << QRectF(10, 10, 60, 30) << corner;
        QTest::newRow("on the corner: unchanged") << QPoint(10, 10) << QRectF(10, 10, 40, 30) << corner;
        // The handle would hide a small marker: it goes beyond its bottom-right corner.
        QTest::newRow("one pixel") << QPoint(11, 11) << QRectF(10, 10, 1, 1) << QPoint(11, 11);
        QTest::newRow("low") << QPoint(60, 14) << QRectF(10, 10, 50, 4) << QPoint(60, 14);
    }
    void shiftDragResizesFromTheBottomRight()
    {
        QFETCH(QPoint, to);
        QFETCH(QRectF, expected);
        QFETCH(QPoint, handle);
        CatalogueBuilder fx;
        auto w = twoMarkers(fx);
        QWidget* m = marker(*w, 3);
        mouse(m, QEvent::MouseButtonPress, {1, 1}, Qt::LeftButton, Qt::LeftButton);
        mouse(m, QEvent::MouseButtonRelease, {1, 1}, Qt::LeftButton, Qt::NoButton);
        QWidget* p = picture(*w);
        mouse(p, QEvent::MouseButtonPress, {300, 250}, Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
        QVERIFY(!w->shownImage().isHandleShown());
        mouse(p, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
        QCOMPARE(w->shownImage().areaRect(3), expected);
        mouse(p, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, Qt::ShiftModifier);
        QVERIFY(w->shownImage().isHandleShown());
        QCOMPARE(child(*w, QStringLiteral("SpHandle"))->pos(), handle);
    }

    void resizeNeedsShiftAloneOrPlacementMode_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("placement");
        QTest::addColumn<bool>("resized");
        QTest::newRow("no shift") << int(Qt::NoModifier) << false << false;
        QTest::newRow("shift with ctrl") << int(Qt::ShiftModifier | Qt::ControlModifier) << false << false;
        QTest::newRow("placement mode") << int(Qt::NoModifier) << true << true;
    }
    void resizeNeedsShiftAloneOrPlacementMode()
    {
        QFETCH(int, modifiers);
        QFETCH(bool, placement);
        QFETCH(bool, resized);
        CatalogueBuilder fx;
        auto w = twoMarkers(fx);
        w->setPlacementModeQuery([placement] { return placement; });
        w->shownImage().selectArea(3);
        QWidget* p = picture(*w);
        const auto mods = Qt::KeyboardModifiers(modifiers);
        mouse(p, QEvent::MouseButtonPress, {300, 250}, Qt::LeftButton, Qt::LeftButton, mods);
        mouse(p, QEvent::MouseMove, {100, 100}, Qt::NoButton, Qt::LeftButton, mods);
        QCOMPARE(w->shownImage().areaRect(3) != QRectF(10, 10, 40, 30), resized);
        // A left click without resizing hides the handle during the press and brings it back on release.
        mouse(p, QEvent::MouseButtonRelease, {100, 100}, Qt::LeftButton, Qt::NoButton, mods);
        QVERIFY(w->shownImage().isHandleShown());
        QCOMPARE(w->shownImage().selectedAreaIndex(), 3);
    }

    void rightClickOnThePictureDeselects()
    {
        CatalogueBuilder fx;
        auto w = twoMarkers(fx);
        QWidget* m = marker(*w, 3);
        mouse(m, QEvent::MouseButtonPress, {1, 1}, Qt::LeftButton, Qt::LeftButton);
        mouse(m, QEvent::MouseButtonRelease, {1, 1}, Qt::LeftButton, Qt::NoButton);
        QWidget* p = picture(*w);
        mouse(p, QEvent::MouseButtonPress, {300, 250}, Qt::RightButton, Qt::RightButton);
        mouse(p, QEvent::MouseButtonRelease, {300, 250}, Qt::RightButton, Qt::NoButton);
        QCOMPARE(w->shownImage().selectedAreaIndex(), -1);
        QVERIFY(!w->shownImage().isHandleShown());
        // A following Shift-drag does nothing.
        mouse(p, QEvent::MouseButtonPress, {300, 250}, Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
        mouse(p, QEvent::MouseMove, {200, 200}, Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
        mouse(p, QEvent::MouseButtonRelease, {200, 200}, Qt::LeftButton, Qt::NoButton, Qt::ShiftModifier);
        QCOMPARE(w->shownImage().areaRect(3), QRectF(10, 10, 40, 30));
        QVERIFY(!w->shownImage().isHandleShown());
    }

    // --- Windows and closing

    void windowsOpenOnceAndAboutOnTheFreeSurface()
    {
        CatalogueBuilder fx;
        frmMain w(fx.path());
        int made = 0;
        w.setWindowFactory(Window::About, [&] {
            ++made;
            return new QWidget;
        });
        QVERIFY(!w.openWindow(Window::Search)); // no factory yet: nothing
        mouse(child(w, QStringLiteral("Label1")), QEvent::MouseButtonDblClick, {2, 2}, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(made, 0);
        mouse(&w, QEvent::MouseButtonDblClick, {640, 70}, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(made, 1);
        QWidget* about = w.openedWindow(Window::About);
        QVERIFY(about && about->isVisible());
        about->hide();
        QCOMPARE(w.openWindow(Window::About), about);
        QVERIFY(about->isVisible());
        about->close(); // closing destroys it; the next open makes a new one
        QTRY_VERIFY(!w.openedWindow(Window::About));
        w.openWindow(Window::About);
        QCOMPARE(made, 2);
    }

    void aboutIsCentredAndClosedByOk()
    {
        CatalogueBuilder fx;
        frmMain w(fx.path());
        w.setWindowFactory(Window::About, [] { return new frmAbout; });
        QWidget* about = w.openWindow(Window::About);
        QVERIFY(QTest::qWaitForWindowExposed(about));
        QCOMPARE(about->windowTitle(), QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"));
        QVERIFY(!about->isModal());
        const QRect screen = about->screen()->geometry();
        QVERIFY(qAbs(about->frameGeometry().center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(about->frameGeometry().center().y() - screen.center().y()) <= 1);
        auto* ok = about->findChild<QPushButton*>(QStringLiteral("Command1"));
        QCOMPARE(ok->text(), QStringLiteral("OK"));
        ok->click();
        QTRY_VERIFY(!w.openedWindow(Window::About));
    }

    void closeAnsweredNoChangesNothing()
    {
        CatalogueBuilder fx;
        const QByteArray ini = "; mine\r\n[Window]\r\nTop=600\r\n";
        fx.write(QStringLiteral("KOVRA.INI"), ini);
        frmMain w(fx.path());
        w.setWindowFactory(Window::Search, [] { return new QWidget; });
        QWidget* search = w.openWindow(Window::Search);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        MessageBoxRecorder boxes;
        boxes.answerNext(MessageBox::Answer::No);
        QSignalSpy ending(&w, &frmMain::programEnding);
        w.findChild<QToolButton*>(QStringLiteral("Command1"))->click();
        QCOMPARE(boxes.requests().size(), size_t(1));
        const auto& r = boxes.requests()[0];
        QCOMPARE(r.text, QStringLiteral("終了してもいいですか"));
        QCOMPARE(r.caption, QStringLiteral("お疲れ様でした"));
        QVERIFY(r.icon == MessageBox::Icon::Question && r.buttons == MessageBox::Buttons::YesNo);
        QVERIFY(w.isVisible());
        QVERIFY(search->isVisible());
        QCOMPARE(ending.count(), 0);
        QCOMPARE(fx.read(QStringLiteral("KOVRA.INI")), ini);
    }

    void closeAnsweredYesSavesAndClosesNewestFirst()
    {
        CatalogueBuilder fx;
        fx.write(QStringLiteral("KOVRA.INI"), "; mine\r\n[Window]\r\nTop=600\r\n");
        frmMain w(fx.path());
        QStringList closed;
        w.setWindowFactory(Window::Search, [&] { return new RecordingWindow(QStringLiteral("search"), &closed); });
        w.setWindowFactory(Window::ImageRegistration,
                           [&] { return new RecordingWindow(QStringLiteral("register"), &closed); });
        w.setWindowFactory(Window::About, [&] { return new RecordingWindow(QStringLiteral("about"), &closed); });
        w.openWindow(Window::Search);
        w.openWindow(Window::ImageRegistration);
        w.openWindow(Window::About);
        w.openWindow(Window::Search); // only brought forward: still the first opened
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.move(45, 90);
        MessageBoxRecorder boxes;
        QSignalSpy ending(&w, &frmMain::programEnding);
        QVERIFY(w.close());
        QCOMPARE(ending.count(), 1);
        QCOMPARE(closed, (QStringList{QStringLiteral("about"), QStringLiteral("register"), QStringLiteral("search")}));
        QCOMPARE(fx.read(QStringLiteral("KOVRA.INI")), QByteArray("; mine\r\n[Window]\r\nTop=1350\r\nLeft=675\r\n"));
    }

    void rebuildingTheListUsesNonTitledAndEmptiesTheView()
    {
        CatalogueBuilder fx;
        const QString img = fx.makeImage(QStringLiteral("20240101000000"), "Only", QStringLiteral("a.png"));
        fx.makePicture(QStringLiteral("20240101000000/a.png"), QSize(20, 20), Qt::red);
        fx.writeArea(QStringLiteral("20240101000000"), 2, CatalogueBuilder::area("True", 1, 1, 5, 5));
        frmMain w(fx.path());
        fx.makeFolder(QStringLiteral("20240102000000"));
        w.rebuildImageList();
        QCOMPARE(comboTexts(w), (QStringList{QStringLiteral("Only"), QStringLiteral("Non Titled")}));
        QVERIFY(QDir(img).removeRecursively());
        QVERIFY(QDir(fx.folder(QStringLiteral("20240102000000"))).removeRecursively());
        w.rebuildImageList();
        QVERIFY(comboTexts(w).isEmpty());
        QVERIFY(!w.hasPicture());
        QVERIFY(!w.shownImage().isShown(2));
        QVERIFY(w.shownImage().folder().isEmpty());
    }

    // Combo1 follows folders made and removed elsewhere, keeping the shown image by its folder; while its
    // list is open nothing moves. The shown folder removed: the first image, with the notice over it.
    void combo1FollowsTheDisk()
    {
        CatalogueBuilder fx;
        fx.addImage(QStringLiteral("20240101000000"), "A");
        const QString b = fx.addImage(QStringLiteral("20240102000000"), "B");
        frmMain w(fx.path());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.selectImage(b);
        auto* combo = w.findChild<QComboBox*>(QStringLiteral("Combo1"));
        QCOMPARE(combo->currentIndex(), 1);

        QElapsedTimer delay;
        delay.start();
        fx.addImage(QStringLiteral("20230101000000"), "Z");
        QTRY_COMPARE_WITH_TIMEOUT(comboTexts(w).size(), 3, 5000);
        qInfo("Combo1 followed after %lld ms", delay.elapsed());
        QCOMPARE(comboTexts(w).first(), QStringLiteral("Z"));
        QCOMPARE(combo->currentIndex(), 2);
        QCOMPARE(w.shownImage().folder(), b);

        combo->showPopup();
        QTRY_VERIFY(combo->view()->isVisible());
        fx.addImage(QStringLiteral("20250101000000"), "N");
        w.catalogue().takeDiskChanges(); // held while the list is open
        QCOMPARE(comboTexts(w).size(), 3);
        combo->hidePopup();
        QTRY_COMPARE_WITH_TIMEOUT(comboTexts(w).size(), 4, 5000);

        QVERIFY(QDir(b).removeRecursively());
        QTRY_COMPARE_WITH_TIMEOUT(comboTexts(w).size(), 3, 5000);
        QCOMPARE(combo->currentIndex(), 0);
        QCOMPARE(w.shownImage().folder(), fx.folder(QStringLiteral("20230101000000")));
        auto* notice = w.findChild<QLabel*>(QStringLiteral("LiveNotice"));
        QVERIFY(notice && notice->isVisible());
        QCOMPARE(notice->text(), QStringLiteral("表示していた画像は他の場所で削除されました．"));
        w.selectImage(fx.folder(QStringLiteral("20240101000000")));
        QVERIFY(!notice->isVisible());
    }

    // A picture still on its way: no photo, the markers shown; the photo once the file lands.
    void arrivingPictureLands()
    {
        CatalogueBuilder fx;
        fx.makeImage(QStringLiteral("20240101000000"), "A", QStringLiteral("late.png"));
        fx.writeArea(QStringLiteral("20240101000000"), 0, CatalogueBuilder::area("True", 5, 5, 20, 20));
        frmMain w(fx.path());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.shownImage().pictureState(), kovra::ShownImage::PictureState::Arriving);
        QVERIFY(!w.hasPicture());
        QWidget* marker = w.findChild<QWidget*>(QStringLiteral("ImgArea0"));
        QVERIFY(marker && marker->isVisible());
        fx.makePicture(QStringLiteral("20240101000000/late.png"), QSize(60, 40), Qt::green);
        QTRY_VERIFY_WITH_TIMEOUT(w.hasPicture(), 5000);
        QVERIFY(marker->isVisible());
    }
};

QTEST_MAIN(tst_frmMain)
#include "tst_frmmain.moc"
