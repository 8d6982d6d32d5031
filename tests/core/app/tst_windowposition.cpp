#include "FailingFileOps.h"
#include "FixtureCatalogue.h"
#include "ProgramFolder.h"
#include "WindowPosition.h"

#include <QTemporaryDir>
#include <QTest>

using namespace kovra;
using kovra::test::readBytes;
using kovra::test::writeBytes;

namespace {

// Records the order of the calls, as the main window would take them.
class FakeWindow : public PositionedWindow
{
public:
    double top = 0;
    double left = 0;
    QStringList calls;

    double topTwips() const override { return top; }
    double leftTwips() const override { return left; }
    void setTopTwips(double twips) override
    {
        calls.append(QStringLiteral("top"));
        top = twips;
    }
    void setLeftTwips(double twips) override
    {
        calls.append(QStringLiteral("left"));
        left = twips;
    }
};

} // namespace

Q_DECLARE_METATYPE(kovra::WindowPlacement)

class tst_WindowPosition : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString settings() const { return settingsFilePath(m_dir.path()); }

private slots:
    void init() { QFile::remove(settings()); }

    void settingsPath()
    {
        QCOMPARE(settingsFilePath(QStringLiteral("/opt/Kovra")), QStringLiteral("/opt/Kovra/KOVRA.INI"));
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<double>("top");
        QTest::addColumn<double>("left");
        QTest::newRow("no file") << QByteArray() << 300.0 << 300.0;
        QTest::newRow("no section") << QByteArray("[Other]\r\nTop=1\r\n") << 300.0 << 300.0;
        QTest::newRow("one key missing") << QByteArray("[Window]\r\nLeft=15\r\n") << 300.0 << 15.0;
        QTest::newRow("blanks around") << QByteArray("[Window]\r\nTop= 4500 \r\nLeft=\t4500\r\n") << 4500.0 << 4500.0;
        QTest::newRow("letters after") << QByteArray("[Window]\r\nTop=12abc\r\nLeft=7.5x\r\n") << 12.0 << 7.5;
        QTest::newRow("letters only and empty") << QByteArray("[Window]\r\nTop=abc\r\nLeft=\r\n") << 0.0 << 0.0;
        QTest::newRow("negative") << QByteArray("[Window]\r\nTop=-150\r\nLeft=-0\r\n") << -150.0 << 0.0;
        // 22 zeros and 12345: the first 25 characters are 22 zeros and 123.
        QTest::newRow("25-character cut") << QByteArray("[Window]\r\nTop=000000000000000000000012345\r\nLeft="
                                                        "1234567890123456789012345678\r\n")
                                          << 123.0 << 1234567890123456789012345.0;
        QTest::newRow("case and quotes") << QByteArray("[WINDOW]\r\ntop=\"60\"\r\n") << 60.0 << 300.0;
    }
    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(double, top);
        QFETCH(double, left);
        if (!bytes.isNull())
            QVERIFY(writeBytes(settings(), bytes));
        FakeWindow w;
        readWindowPosition(settings(), w);
        QCOMPARE(w.top, top);
        QCOMPARE(w.left, left);
        QCOMPARE(w.calls, QStringList({QStringLiteral("top"), QStringLiteral("left")}));
    }

    void firstRunWritesBothKeys()
    {
        FakeWindow w;
        readWindowPosition(settings(), w);
        QCOMPARE(saveWindowPosition(settings(), w), WriteStatus::Ok);
        QCOMPARE(readBytes(settings()), QByteArray("[Window]\r\nTop=300\r\nLeft=300\r\n"));
    }

    void saveKeepsOtherSections()
    {
        QVERIFY(writeBytes(settings(), kovra::test::fixture::settingsIni()));
        FakeWindow w;
        readWindowPosition(settings(), w);
        QCOMPARE(w.top, 4500.0);
        QCOMPARE(w.left, -150.0);
        w.top = 1215;
        w.left = -45;
        QCOMPARE(saveWindowPosition(settings(), w), WriteStatus::Ok);
        QCOMPARE(readBytes(settings()), QByteArray("[Window]\r\nTop=1215\r\nLeft=-45\r\n[Mine]\r\nNote=kept\r\n"));
        FakeWindow again;
        readWindowPosition(settings(), again);
        QCOMPARE(again.top, 1215.0);
        QCOMPARE(again.left, -45.0);
    }

    void readSize_data()
    {
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<QSizeF>("size");
        QTest::newRow("stored") << QByteArray("Width=13500\r\nHeight=10500") << QSizeF(13500, 10500);
        QTest::newRow("one missing") << QByteArray("Width=13500") << QSizeF();
        QTest::newRow("letters") << QByteArray("Width=abc\r\nHeight=10500") << QSizeF();
        QTest::newRow("zero and negative") << QByteArray("Width=0\r\nHeight=-10500") << QSizeF();
        // Huge but a number: the screen cuts it down.
        QTest::newRow("twenty digits") << QByteArray("Width=99999999999999999999\r\nHeight=2000000000")
                                       << QSizeF(1e20, 2e9);
    }
    void readSize()
    {
        QFETCH(QByteArray, keys);
        QFETCH(QSizeF, size);
        QVERIFY(writeBytes(settings(), "[Window]\r\n" + keys + "\r\n"));
        QCOMPARE(readWindowSize(settings()), size);
    }

    void maximized_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("maximized");
        QTest::newRow("missing") << QByteArray("[Window]\r\nTop=1\r\n") << false;
        QTest::newRow("True") << QByteArray("[Window]\r\nMaximized=True\r\n") << true;
        QTest::newRow("False") << QByteArray("[Window]\r\nMaximized=False\r\n") << false;
        QTest::newRow("other text") << QByteArray("[Window]\r\nMaximized=1\r\n") << false;
    }
    void maximized()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, maximized);
        QVERIFY(writeBytes(settings(), bytes));
        QCOMPARE(readWindowMaximized(settings()), maximized);
    }

    void maximizedIsSavedBesideThePosition()
    {
        QVERIFY(writeBytes(settings(), "[Window]\r\nTop=1\r\nLeft=2\r\n"));
        QCOMPARE(saveWindowMaximized(settings(), true), WriteStatus::Ok);
        QCOMPARE(readBytes(settings()), QByteArray("[Window]\r\nTop=1\r\nLeft=2\r\nMaximized=True\r\n"));
        QCOMPARE(saveWindowMaximized(settings(), false), WriteStatus::Ok);
        QCOMPARE(readBytes(settings()), QByteArray("[Window]\r\nTop=1\r\nLeft=2\r\nMaximized=False\r\n"));
    }

    void fitOnScreen_data()
    {
        QTest::addColumn<QRect>("available");
        QTest::addColumn<WindowPlacement>("stored");
        QTest::addColumn<WindowPlacement>("fitted");
        const QRect full(0, 0, 1920, 1080);
        const QSize minimum(658, 567);
        // Frame of the rows: 1 px sides, a 20 px title bar, a 5 px bottom edge.
        QTest::newRow("fits: unchanged") << full << WindowPlacement{{200, 100}, {900, 700}}
                                         << WindowPlacement{{200, 100}, {900, 700}};
        QTest::newRow("partly off, title bar on")
            << full << WindowPlacement{{-100, 900}, {900, 700}} << WindowPlacement{{0, 900}, {900, 700}};
        QTest::newRow("title bar below the screen")
            << full << WindowPlacement{{1500, 1070}, {900, 700}} << WindowPlacement{{1018, 1060}, {900, 700}};
        QTest::newRow("above the screen")
            << full << WindowPlacement{{300, -5}, {900, 700}} << WindowPlacement{{300, 0}, {900, 700}};
        QTest::newRow("huge: the whole screen")
            << full << WindowPlacement{{-1994, -2215}, {16777216, 16777216}} << WindowPlacement{{0, 0}, {1918, 1055}};
        QTest::newRow("ends of int") << full << WindowPlacement{{INT_MAX, INT_MIN}, {INT_MAX, 700}}
                                     << WindowPlacement{{0, 0}, {1918, 700}};
        QTest::newRow("taller than a smaller screen")
            << QRect(0, 0, 1366, 768) << WindowPlacement{{200, 100}, {900, 800}}
            << WindowPlacement{{200, 0}, {900, 743}};
        QTest::newRow("minimum wins on a small screen")
            << QRect(0, 0, 640, 480) << WindowPlacement{{100, 100}, {900, 700}} << WindowPlacement{{0, 0}, minimum};
        QTest::newRow("smaller than the minimum")
            << full << WindowPlacement{{10, 10}, {100, 100}} << WindowPlacement{{10, 10}, minimum};
        QTest::newRow("second screen under a panel")
            << QRect(1920, 30, 1280, 994) << WindowPlacement{{100, 0}, {900, 700}}
            << WindowPlacement{{1920, 30}, {900, 700}};
        // QT_SCALE_FACTOR=1.5 on 1920 x 1080: 1280 x 720 of Qt's pixels.
        QTest::newRow("scaled screen") << QRect(0, 0, 1280, 720) << WindowPlacement{{200, 20}, {900, 700}}
                                       << WindowPlacement{{200, 0}, {900, 695}};
    }
    void fitOnScreen()
    {
        QFETCH(QRect, available);
        QFETCH(WindowPlacement, stored);
        QFETCH(WindowPlacement, fitted);
        const WindowPlacement got = kovra::fitOnScreen(stored, QSize(658, 567), available, QMargins(1, 20, 1, 5));
        QCOMPARE(got.framePos, fitted.framePos);
        QCOMPARE(got.size, fitted.size);
    }

    void zoomMode_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("mode");
        QTest::newRow("no file") << QByteArray() << int(ZoomMode::Actual);
        QTest::newRow("earlier build: no key")
            << QByteArray("[Window]\r\nTop=1\r\nLeft=2\r\n") << int(ZoomMode::Actual);
        QTest::newRow("Fit") << QByteArray("[Window]\r\nZoom=Fit\r\n") << int(ZoomMode::Fit);
        QTest::newRow("blanks around Fit") << QByteArray("[window]\r\nzoom= Fit \r\n") << int(ZoomMode::Fit);
        QTest::newRow("100") << QByteArray("[Window]\r\nZoom=100\r\n") << int(ZoomMode::Actual);
        QTest::newRow("garbage") << QByteArray("[Window]\r\nZoom=\x82\xa0"
                                               "Fit\r\n")
                                 << int(ZoomMode::Actual);
    }
    void zoomMode()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, mode);
        if (!bytes.isNull())
            QVERIFY(writeBytes(settings(), bytes));
        QCOMPARE(int(readZoomMode(settings())), mode);
    }

    void zoomModeIsSavedBesideTheOthers()
    {
        QVERIFY(writeBytes(settings(), kovra::test::fixture::settingsIni()));
        const QByteArray before = readBytes(settings());
        QCOMPARE(saveZoomMode(settings(), ZoomMode::Fit), WriteStatus::Ok);
        QCOMPARE(readZoomMode(settings()), ZoomMode::Fit);
        QCOMPARE(saveZoomMode(settings(), ZoomMode::Actual), WriteStatus::Ok);
        QCOMPARE(readBytes(settings()), QByteArray(before).replace("[Mine]", "Zoom=100\r\n[Mine]"));
        // A refused write leaves every setting as it was.
        test::FailingFileOps ops;
        ops.failWhen = [](const QString& op, const QString&) { return op == u"write"; };
        const ScopedFileOps scope(&ops);
        QCOMPARE(saveZoomMode(settings(), ZoomMode::Fit), WriteStatus::Failed);
        QCOMPARE(readBytes(settings()), QByteArray(before).replace("[Mine]", "Zoom=100\r\n[Mine]"));
    }

    // A window frame of 530 x 330 on a screen of 1280 x 1000, 12 pixels from what it must leave clear.
    void placeClearOf_data()
    {
        QTest::addColumn<QRect>("frame");
        QTest::addColumn<QRect>("avoid");
        QTest::addColumn<QPoint>("place");
        QTest::addColumn<qint64>("covered");
        const QRect centred(375, 335, 530, 330);
        QTest::newRow("clear already: stays") << centred << QRect(0, 0, 100, 100) << QPoint(375, 335) << qint64(0);
        QTest::newRow("partly off the screen: back on it")
            << QRect(-100, 900, 530, 330) << QRect(0, 0, 100, 100) << QPoint(0, 670) << qint64(0);
        QTest::newRow("hit in the centre: the nearest side, below")
            << centred << QRect(600, 450, 100, 80) << QPoint(375, 542) << qint64(0);
        QTest::newRow("wide hit: below, the nearer")
            << centred << QRect(100, 460, 1000, 60) << QPoint(375, 532) << qint64(0);
        QTest::newRow("wide low hit: above, the nearer")
            << centred << QRect(100, 560, 1000, 60) << QPoint(375, 218) << qint64(0);
        QTest::newRow("tall hit at the right: left of it")
            << centred << QRect(900, 100, 300, 800) << QPoint(358, 335) << qint64(0);
        QTest::newRow("tall hit at the left: right of it")
            << centred << QRect(80, 0, 300, 1000) << QPoint(392, 335) << qint64(0);
        QTest::newRow("hits everywhere: the least covered")
            << centred << QRect(50, 50, 1180, 900) << QPoint(375, 670) << qint64(280 * 530);
    }
    void placeClearOf()
    {
        QFETCH(QRect, frame);
        QFETCH(QRect, avoid);
        QFETCH(QPoint, place);
        QFETCH(qint64, covered);
        const QRect available(0, 0, 1280, 1000);
        const ClearPlace got = kovra::placeClearOf(frame, avoid, available, 12);
        QCOMPARE(got.framePos, place);
        QCOMPARE(got.covered, covered);
        const QRect moved(got.framePos, frame.size());
        QVERIFY(available.contains(moved));
        if (covered == 0)
            QVERIFY(!moved.intersects(avoid.adjusted(-11, -11, 11, 11)));
    }

    void failedSaveIsReportedAndHarmless()
    {
        QVERIFY(writeBytes(settings(), "[Window]\r\nTop=1\r\nLeft=2\r\n"));
        test::FailingFileOps ops;
        ops.failWhen = [](const QString& op, const QString&) { return op == u"write"; };
        const ScopedFileOps scope(&ops);
        FakeWindow w;
        w.top = 10;
        QCOMPARE(saveWindowPosition(settings(), w), WriteStatus::Failed);
        QCOMPARE(readBytes(settings()), QByteArray("[Window]\r\nTop=1\r\nLeft=2\r\n"));
    }
};

QTEST_GUILESS_MAIN(tst_WindowPosition)
#include "tst_windowposition.moc"
