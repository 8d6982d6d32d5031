// The real program under a window manager (openbox): the registration, arrangement and search windows are
// owned by the main window (transient for it, above it after a click on its picture, minimised and restored
// with it), every window is placed by its outer frame, and the main window's frame comes back where the user
// dragged it after a restart.
#include "FixtureCatalogue.h"
#include "ProfileFile.h"
#include "XDesktop.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace kovra::e2e;

namespace {

struct Window
{
    const char* title;
    bool owned;
    int topDivisor; // placement: top = (screen height - frame height) / divisor
};

// Opened in this order: the version window by a double-click on the free surface, the item window by a
// click on marker 0, then the three windows of the buttons.
const Window Windows[] = {
    {"ﾊﾞｰｼﾞｮﾝ情報", false, 2},  {"ｱｲﾃﾑ登録", false, 2},      {"イメージの登録", true, 2},
    {"ｱｲﾃﾑｴﾘｱの配置", true, 3}, {"アイテムの検索", true, 2},
};

QString stateOf(const QString& id)
{
    return xprop(id, "WM_STATE").section(QStringLiteral("window state: "), 1).section(QLatin1Char('\n'), 0, 0);
}

} // namespace

class tst_E2eDesktop : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_exe;
    QString m_main;
    QMap<QString, QString> m_ids; // title -> window id

    void click(const QString& id, int x, int y, int clicks = 1)
    {
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), id, QString::number(x), QString::number(y),
                 QStringLiteral("click"), QStringLiteral("--repeat"), QString::number(clicks), QStringLiteral("1")});
    }

    void closeWithYes(const QString& id)
    {
        click(id, 628, 36); // Command1
        const QString box = findWindow(QStringLiteral("お疲れ様でした"));
        QVERIFY2(!box.isEmpty(), "no confirmation");
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), box});
        xdotool({QStringLiteral("key"), QStringLiteral("--window"), box, QStringLiteral("y")});
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(!xprop(QString(), "_NET_SUPPORTING_WM_CHECK").contains(QStringLiteral("not found")),
                 "needs a window manager (with_openbox.sh)");
        const QString root = m_dir.path();
        m_exe = root + QStringLiteral("/kovra");
        QVERIFY(QFile::copy(qEnvironmentVariable("KOVRA_BIN_DIR") + QStringLiteral("/kovra"), m_exe));
        const QString folder = root + QStringLiteral("/20240101000000");
        QImage image(640, 480, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QVERIFY(QDir().mkpath(folder) && image.save(folder + QStringLiteral("/p.png")));
        const QByteArray f = folder.toLocal8Bit();
        QVERIFY(
            kovra::test::writeBytes(folder + QStringLiteral("/IMAGE.INI"),
                                    "[ImageFile]\r\nPath=" + f + "\r\nFilename=" + f + "/p.png\r\nTitle=Shelf\r\n"));
        QVERIFY(kovra::test::writeBytes(folder + QStringLiteral("/Area0.INI"),
                                        "[Area]\r\nVisible=True\r\nLeft=300\r\nTop=200\r\nWidth=80\r\nHeight=60\r\n"));
    }

    void ownedWindowsStayAboveTheMainWindow()
    {
        QProcess kovra;
        kovra.start(m_exe, QStringList());
        QVERIFY(kovra.waitForStarted());
        m_main = findWindow(QStringLiteral("Kovra!"));
        QVERIFY2(!m_main.isEmpty(), "the main window did not come up");
        QCOMPARE(xprop(m_main, "WM_CLASS"), QStringLiteral("WM_CLASS(STRING) = \"kovra\", \"Kovra\""));

        click(m_main, 300, 68, 2);         // the window's own surface between the image list and the picture
        click(m_main, 348, 288);           // marker 0 (the picture box starts at 8, 80)
        for (const int x : {44, 116, 188}) // Command4, Command2, Command6
            click(m_main, x, 40);
        for (const Window& w : Windows) {
            const QString id = findWindow(QString::fromUtf8(w.title));
            QVERIFY2(!id.isEmpty(), w.title);
            m_ids.insert(QString::fromUtf8(w.title), id);
            // Owned: transient for the main window. Unowned: transient for nothing of ours.
            QCOMPARE(windowIds(xprop(id, "WM_TRANSIENT_FOR")).contains(m_main), w.owned);
            QCOMPARE(xprop(id, "_NET_WM_STATE").contains(QStringLiteral("_NET_WM_STATE_SKIP_TASKBAR")), w.owned);
            // Placed by the outer frame, centred across and at the divisor down.
            const QRect screen = QGuiApplication::primaryScreen()->geometry();
            auto placed = [&] {
                const QRect frame = frameRect(id);
                return frame.topLeft() ==
                       QPoint((screen.width() - frame.width()) / 2, (screen.height() - frame.height()) / w.topDivisor);
            };
            QTRY_VERIFY2_WITH_TIMEOUT(placed(),
                                      qPrintable(QString::fromUtf8(w.title) + QLatin1Char(' ') +
                                                 QString::number(frameRect(id).x()) + QLatin1Char(',') +
                                                 QString::number(frameRect(id).y()) + QLatin1Char(' ') +
                                                 QString::number(frameRect(id).width()) + QLatin1Char('x') +
                                                 QString::number(frameRect(id).height()) + QLatin1Char(' ') +
                                                 xprop(id, "_NET_FRAME_EXTENTS")),
                                      2000);
            QVERIFY2(xprop(id, "_NET_FRAME_EXTENTS").contains(QLatin1Char('=')), w.title); // framed
        }

        click(m_main, 60, 500); // the bare picture, beside every other window
        QTRY_COMPARE(windowIds(xprop(QString(), "_NET_ACTIVE_WINDOW")).value(0), m_main);
        const QStringList stacking = windowIds(xprop(QString(), "_NET_CLIENT_LIST_STACKING")); // bottom to top
        QVERIFY(stacking.contains(m_main));
        for (const Window& w : Windows)
            if (w.owned)
                QVERIFY2(stacking.indexOf(m_ids.value(QString::fromUtf8(w.title))) > stacking.indexOf(m_main), w.title);

        // Minimised with the main window, and restored with it.
        xdotool({QStringLiteral("windowminimize"), QStringLiteral("--sync"), m_main});
        for (const Window& w : Windows)
            if (w.owned)
                QTRY_COMPARE(stateOf(m_ids.value(QString::fromUtf8(w.title))), QStringLiteral("Iconic"));
        QCOMPARE(stateOf(m_ids.value(QStringLiteral("ｱｲﾃﾑ登録"))), QStringLiteral("Normal"));
        run(QStringLiteral("wmctrl"), {QStringLiteral("-i"), QStringLiteral("-a"), m_main});
        QTRY_COMPARE(stateOf(m_main), QStringLiteral("Normal"));
        for (const Window& w : Windows)
            if (w.owned)
                QTRY_COMPARE(stateOf(m_ids.value(QString::fromUtf8(w.title))), QStringLiteral("Normal"));

        QTRY_VERIFY(
            run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), m_main}).contains(QStringLiteral("IsViewable")));
        QTest::qWait(300);
        closeWithYes(m_main);
        QVERIFY(kovra.waitForFinished(10000));
        QCOMPARE(kovra.exitCode(), 0);
    }

    // The user drags the title bar; Top and Left keep the frame's corner, so a restart puts it back exactly.
    void aDraggedMainWindowComesBackAtTheSameFramePosition()
    {
        QProcess kovra;
        kovra.start(m_exe, QStringList());
        QVERIFY(kovra.waitForStarted());
        const QString id = findWindow(QStringLiteral("Kovra!"));
        QVERIFY(!id.isEmpty());
        const QRect before = frameRect(id);
        const QPoint title = before.topLeft() + QPoint(300, 8);
        xdotool({QStringLiteral("mousemove"), QString::number(title.x()), QString::number(title.y()),
                 QStringLiteral("mousedown"), QStringLiteral("1")});
        for (int step = 1; step <= 4; ++step)
            xdotool({QStringLiteral("mousemove"), QString::number(title.x() + 31 * step),
                     QString::number(title.y() + 23 * step)});
        xdotool({QStringLiteral("mouseup"), QStringLiteral("1")});
        const QPoint moved = before.topLeft() + QPoint(124, 92);
        QTRY_COMPARE(framePosition(id), moved);
        closeWithYes(id);
        QVERIFY(kovra.waitForFinished(10000));
        const auto ini = kovra::ProfileFile::load(m_dir.filePath(QStringLiteral("KOVRA.INI")));
        QCOMPARE(ini.read(u"Window", u"Left", u"", 26), QString::number(moved.x() * 15));
        QCOMPARE(ini.read(u"Window", u"Top", u"", 26), QString::number(moved.y() * 15));

        QProcess again;
        again.start(m_exe, QStringList());
        QVERIFY(again.waitForStarted());
        const QString id2 = findWindow(QStringLiteral("Kovra!"));
        QVERIFY(!id2.isEmpty());
        QCOMPARE(framePosition(id2), moved);
        closeWithYes(id2);
        QVERIFY(again.waitForFinished(10000));
    }
};

QTEST_MAIN(tst_E2eDesktop)
#include "tst_e2e_desktop.moc"
