#include "FixtureCatalogue.h"
#include "GaugeBox.h"
#include "MessageBox.h"
#include "frmMain.h"
#include "frmSearch.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <memory>

namespace {

using Box = kovra::MessageBox;
using kovra::test::CatalogueBuilder;
using kovra::test::cp932;

// What the user sees of the main window, as far as the search can change it.
struct MainView
{
    QString folder;
    QRgb pictureColour = 0; // a point of the picture that no mark covers
    QList<bool> markers, frames, icons;
    QList<QRect> frameRects;
    QList<QPoint> iconPositions;
    bool animating = false;
    bool operator==(const MainView&) const = default;
};

MainView viewOf(frmMain& main)
{
    MainView v;
    v.folder = main.shownImage().folder();
    v.pictureColour = main.findChild<QWidget*>(QStringLiteral("Picture1"))->grab().toImage().pixel(110, 85);
    for (int i = 0; i < kovra::AreaCount; ++i) {
        const auto* frame = main.findChild<QWidget*>(QStringLiteral("spKoKo%1").arg(i));
        const auto* icon = main.findChild<QWidget*>(QStringLiteral("ImgFind%1").arg(i));
        v.markers << main.shownImage().isShown(i);
        v.frames << !frame->isHidden();
        v.icons << !icon->isHidden();
        v.frameRects << frame->geometry();
        v.iconPositions << icon->pos();
    }
    v.animating = main.shownImage().isAnimating();
    return v;
}

QList<int> shown(const QList<bool>& flags)
{
    QList<int> r;
    for (int i = 0; i < flags.size(); ++i)
        if (flags[i])
            r << i;
    return r;
}

// A result list's rows as it shows them: its column of the results.
QStringList rows(const QListView* list)
{
    QStringList r;
    for (int i = 0; i < list->model()->rowCount(); ++i)
        r << list->model()->index(i, list->modelColumn()).data().toString();
    return r;
}

// Records, at every paint of the gauge, how far it is revealed, its drawing and the pointer shape.
class GaugePaints : public QObject
{
public:
    explicit GaugePaints(GaugeBox* gauge) : m_gauge(gauge) { gauge->installEventFilter(this); }
    QList<int> widths;
    QList<QImage> images;
    QList<Qt::CursorShape> cursors;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_gauge && event->type() == QEvent::Paint) {
            widths << m_gauge->revealedWidth();
            images << m_gauge->image();
            const QCursor* c = QGuiApplication::overrideCursor();
            cursors << (c ? c->shape() : Qt::ArrowCursor);
        }
        return false;
    }

private:
    GaugeBox* m_gauge;
};

// Each image's picture: a BMP of one colour, which the shown image's colour tells apart.
const QString Photo = QStringLiteral("photo.bmp");
constexpr QSize PhotoSize(120, 90);

// The fixture catalogue: three images and the manual folder.
//   机       red:   area 0 (in use) "ノート"
//   本棚     green: area 0 "辞書"; area 2 "ボールペン", "USBケーブル"; area 5 "ﾍﾟﾝﾁ"; area 7 deleted, "ノートパソコン"
//   押し入れ blue:  area 3 "ぺんけーす"
// "ペン" finds 本棚 (,2,5) and 押し入れ (,3); "usb" finds 本棚 (,2) only.
struct Program
{
    CatalogueBuilder cat;
    QString desk, shelf, closet;
    std::unique_ptr<frmMain> main;
    kovra::MessageBoxRecorder boxes;

    Program()
    {
        desk = cat.addImage(QStringLiteral("20240101000000"), cp932(QStringLiteral("机")), Photo, PhotoSize, Qt::red);
        cat.addArea(desk, 0, true, QRect(10, 10, 30, 20), {QStringLiteral("ノート")});
        shelf =
            cat.addImage(QStringLiteral("20240102000000"), cp932(QStringLiteral("本棚")), Photo, PhotoSize, Qt::green);
        cat.addArea(shelf, 0, true, QRect(5, 5, 20, 20), {QStringLiteral("辞書")});
        cat.addArea(shelf, 2, true, QRect(40, 10, 50, 30),
                    {QStringLiteral("ボールペン"), QStringLiteral("USBケーブル")});
        cat.addArea(shelf, 5, true, QRect(60, 50, 30, 20), {QStringLiteral("ﾍﾟﾝﾁ")});
        cat.addArea(shelf, 7, false, QRect(70, 5, 10, 10), {QStringLiteral("ノートパソコン")});
        closet = cat.addImage(QStringLiteral("20240103000000"), cp932(QStringLiteral("押し入れ")), Photo, PhotoSize,
                              Qt::blue);
        cat.addArea(closet, 3, true, QRect(0, 40, 30, 30), {QStringLiteral("ぺんけーす")});
        QDir(cat.path()).mkdir(QStringLiteral("manual"));
        start();
    }
    // n image folders, each with the item 電池 in area 4.
    explicit Program(int n)
    {
        for (int i = 0; i < n; ++i)
            cat.addArea(cat.addImage(QStringLiteral("202401%1000000").arg(i + 1, 2, 10, QLatin1Char('0')),
                                     cp932(QStringLiteral("棚%1").arg(i)), Photo, PhotoSize, Qt::gray),
                        4, true, QRect(0, 0, 10, 10), {QStringLiteral("電池")});
        start();
    }

    void start()
    {
        main = std::make_unique<frmMain>(cat.path());
        main->setWindowFactory(frmMain::Window::Search, [m = main.get()] { return new frmSearch(m->catalogue(), *m); });
        main->show();
    }

    frmSearch* open() { return qobject_cast<frmSearch*>(main->openWindow(frmMain::Window::Search)); }
};

template <typename T>
T* child(QWidget* w, const char* name)
{
    return w->findChild<T*>(QString::fromLatin1(name));
}

void searchFor(frmSearch* w, const QString& text)
{
    child<QLineEdit>(w, "Text1")->setText(text);
    child<QToolButton>(w, "Command5")->click();
}

void clickRow(frmSearch* w, int row)
{
    auto* list = child<QListView>(w, "List1");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(row, list->modelColumn())).center());
}

void doubleClickRow(frmSearch* w, int row)
{
    auto* list = child<QListView>(w, "List1");
    const QPoint at = list->visualRect(list->model()->index(row, list->modelColumn())).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

} // namespace

class tst_frmSearch : public QObject
{
    Q_OBJECT

private slots:
    // Must stay first: nothing has been clicked yet in this run.
    void showBeforeAnyClickShowsFirstRow();
    void layout();
    void gaugeWidth_data();
    void gaugeWidth();
    void gaugeGrowsAfterEachFolder();
    void oneFolderLeavesGaugeWhite();
    void searchFillsRowsOrReportsNothing();
    void emptyTextKeepsOldRows();
    void enterSearchesEscDoesNothing();
    void inputDuringScanIsDropped();
    void doubleClickAndShowButtonAgree();
    void showMarksHitAreas();
    void secondShowReplacesMarks();
    void clearLeavesFramesAndStopsIcons();
    void invalidRememberedRowDoesNothing_data();
    void invalidRememberedRowDoesNothing();
    void reopenIsEmptyAndCentredRowSurvives();
    void typedResultsEqualSearchStart_data();
    void typedResultsEqualSearchStart();
    void typingCoalescesAndOutrunsSearch();
    void actionsWaitForTypedSearch();
};

void tst_frmSearch::showBeforeAnyClickShowsFirstRow()
{
    Program p;
    frmSearch* w = p.open();
    QVERIFY(w);
    QCOMPARE(frmSearch::rememberedRow(), 0);
    searchFor(w, QStringLiteral("ペン"));
    child<QToolButton>(w, "Command1")->click();
    QCOMPARE(p.main->shownImage().folder(), p.shelf);
    QCOMPARE(shown(viewOf(*p.main).frames), (QList<int>{2, 5}));
}

void tst_frmSearch::layout()
{
    Program p;
    frmSearch* w = p.open();
    QCOMPARE(w->windowTitle(), QStringLiteral("アイテムの検索"));
    // It opens taller; at its smallest every control stands in its place.
    QVERIFY(w->height() > 296);
    QCOMPARE(w->minimumSize(), QSize(518, 296));
    w->resize(w->minimumSize());
    QVERIFY(w->isWindow());
    QCOMPARE(w->parentWidget(), p.main.get()); // owned by the main window
    struct Control
    {
        const char* name;
        QRect geometry;
        QString text, tip;
    };
    const Control controls[] = {
        {"Label1", {4, 12, 71, 12}, QStringLiteral("検索ｱｲﾃﾑ名："), {}},
        {"Text1", {80, 8, 361, 25}, {}, QStringLiteral("検索したいｱｲﾃﾑ名を入力します")},
        {"List1", {8, 44, 433, 212}, {}, QStringLiteral("ﾀﾞﾌﾞﾙｸﾘｯｸでｱｲﾃﾑをを表示します")},
        {"Command5", {448, 8, 65, 57}, QStringLiteral("検索開始"), QStringLiteral("検索を実行します")},
        {"Command1", {448, 72, 65, 57}, QStringLiteral("ｱｲﾃﾑ表示"), QStringLiteral("検索結果からｱｲﾃﾑを表示します")},
        {"Command2", {448, 136, 65, 57}, QStringLiteral("ｸﾘｱ"), QStringLiteral("検索結果をｸﾘｱします")},
        {"Command3", {448, 200, 65, 57}, QStringLiteral("ｷｬﾝｾﾙ"), QStringLiteral("このｳｨﾝﾄﾞｳを閉じます")},
        {"Label2", {16, 272, 53, 12}, QStringLiteral("進行ｹﾞｰｼﾞ"), {}},
        {"Picture1", {78, 264, 404, 25}, {}, QStringLiteral("検索の進捗状況を表示します")},
        {"Picture2", {8, 304, 404, 25}, {}, {}},
        {"List2", {8, 336, 497, 64}, {}, {}},
        {"List3", {8, 408, 497, 64}, {}, {}},
        {"List4", {8, 480, 497, 40}, {}, {}},
    };
    for (const Control& c : controls) {
        auto* x = child<QWidget>(w, c.name);
        QVERIFY2(x, c.name);
        QCOMPARE(x->geometry(), c.geometry);
        QCOMPARE(x->property("text").toString(), c.text);
        QCOMPARE(x->toolTip(), c.tip);
        if (auto* b = qobject_cast<QToolButton*>(x))
            QVERIFY(!b->icon().isNull() && b->iconSize() == QSize(32, 32));
    }
    for (const char* hidden : {"List2", "List3", "List4"})
        QVERIFY(!child<QWidget>(w, hidden)->isVisible());
    for (const char* gothic : {"Text1", "List1"})
        QCOMPARE(child<QWidget>(w, gothic)->font().pointSizeF(), 12.0);
    // Japanese input must stay possible in the search box.
    QCOMPARE(child<QWidget>(w, "Text1")->inputMethodHints() & (Qt::ImhLatinOnly | Qt::ImhDigitsOnly), Qt::ImhNone);

    // The focus starts in the search box and goes round the window in this order.
    QWidget* f = child<QWidget>(w, "Text1");
    QCOMPARE(w->focusWidget(), f);
    QStringList order;
    while (order.size() < 6) {
        if ((f->focusPolicy() & Qt::TabFocus) && f->isVisible() && !f->objectName().isEmpty())
            order << f->objectName();
        f = f->nextInFocusChain();
    }
    QCOMPARE(order, (QStringList{QStringLiteral("Text1"), QStringLiteral("Command5"), QStringLiteral("Command1"),
                                 QStringLiteral("Command2"), QStringLiteral("Command3"), QStringLiteral("List1")}));
}

void tst_frmSearch::gaugeWidth_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("width"); // -1: nothing drawn
    QTest::newRow("one folder") << 0 << 1 << -1;
    QTest::newRow("first of five") << 0 << 5 << 0;
    QTest::newRow("second of five") << 1 << 5 << 101;
    QTest::newRow("last of five") << 4 << 5 << 404;
    QTest::newRow("50.5 to even 50") << 1 << 9 << 50;
    QTest::newRow("151.5 to even 152") << 3 << 9 << 152;
    QTest::newRow("below a half") << 1 << 10000 << 0;
    QTest::newRow("middle of 10000") << 5000 << 10000 << 202;
    QTest::newRow("last of 10000") << 9999 << 10000 << 404;
}

void tst_frmSearch::gaugeWidth()
{
    QFETCH(int, position);
    QFETCH(int, count);
    QFETCH(int, width);
    QCOMPARE(::gaugeWidth(position, count).value_or(-1), width);
}

void tst_frmSearch::gaugeGrowsAfterEachFolder()
{
    Program p(5);
    frmSearch* w = p.open();
    QVERIFY(QTest::qWaitForWindowExposed(w)); // repaints reach a window on the screen only
    const QImage full = child<GaugeBox>(w, "Picture2")->image();
    QCOMPARE(full, QImage(QStringLiteral(":/icons/gauge.png")).convertToFormat(QImage::Format_RGB32));
    GaugePaints paints(child<GaugeBox>(w, "Picture1"));

    searchFor(w, QStringLiteral("電池"));

    QCOMPARE(int(rows(child<QListView>(w, "List1")).size()), 5);
    // White first, then growing as the folders are read (at most one paint a frame), the whole at the end;
    // the first folder's step reveals nothing and costs no repaint.
    QCOMPARE(paints.widths.first(), 0);
    QCOMPARE(paints.widths.last(), 400);
    for (qsizetype k = 1; k < paints.widths.size(); ++k)
        QVERIFY(paints.widths[k] > paints.widths[k - 1] && QList<int>({101, 202, 303, 400}).contains(paints.widths[k]));
    QImage white(400, 21, QImage::Format_RGB32);
    white.fill(Qt::white);
    for (qsizetype k = 0; k < paints.images.size(); ++k) {
        const int x = paints.widths[k];
        QCOMPARE(paints.images[k].copy(0, 0, x, 21), full.copy(0, 0, x, 21));
        QCOMPARE(paints.images[k].copy(x, 0, 400 - x, 21), white.copy(x, 0, 400 - x, 21));
        QCOMPARE(paints.cursors[k], Qt::WaitCursor);
    }
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
    QVERIFY(p.boxes.requests().empty());
}

void tst_frmSearch::oneFolderLeavesGaugeWhite()
{
    Program p(1);
    frmSearch* w = p.open();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    auto* gauge = child<GaugeBox>(w, "Picture1");
    GaugePaints paints(gauge);
    searchFor(w, QStringLiteral("電池"));
    QCOMPARE(rows(child<QListView>(w, "List4")), QStringList{QStringLiteral(",4")});
    QCOMPARE(paints.widths, QList<int>{0});
    QImage white(400, 21, QImage::Format_RGB32);
    white.fill(Qt::white);
    QCOMPARE(gauge->image(), white);
}

void tst_frmSearch::searchFillsRowsOrReportsNothing()
{
    Program p;
    frmSearch* w = p.open();
    searchFor(w, QStringLiteral("ノート"));
    QCOMPARE(rows(child<QListView>(w, "List1")), (QStringList{QStringLiteral("机"), QStringLiteral("本棚")}));
    QCOMPARE(rows(child<QListView>(w, "List2")),
             (QStringList{p.desk + QStringLiteral("/photo.bmp"), p.shelf + QStringLiteral("/photo.bmp")}));
    QCOMPARE(rows(child<QListView>(w, "List3")), (QStringList{QStringLiteral("0"), QStringLiteral("1")}));
    QCOMPARE(rows(child<QListView>(w, "List4")), (QStringList{QStringLiteral(",0"), QStringLiteral(",7")}));
    QVERIFY(p.boxes.requests().empty());

    // A search that finds nothing replaces the rows all the same, and says so.
    searchFor(w, QStringLiteral("xyz"));
    for (const char* list : {"List1", "List2", "List3", "List4"})
        QCOMPARE(int(rows(child<QListView>(w, list)).size()), 0);
    QCOMPARE(p.boxes.requests().size(), size_t(1));
    const Box::Request& r = p.boxes.requests().front();
    QCOMPARE(r.text, QStringLiteral("見つかりませんでした．"));
    QCOMPARE(r.icon, Box::Icon::Information);
    QCOMPARE(r.caption, QStringLiteral("Kovra"));
}

void tst_frmSearch::emptyTextKeepsOldRows()
{
    Program p;
    frmSearch* w = p.open();
    searchFor(w, QStringLiteral("ペン"));
    child<QToolButton>(w, "Command2")->setFocus();
    searchFor(w, QString());
    QCOMPARE(p.boxes.requests().size(), size_t(1));
    QCOMPARE(p.boxes.requests().front().text, QStringLiteral("[検索アイテム名]を入力してください．"));
    QCOMPARE(p.boxes.requests().front().icon, Box::Icon::Information);
    QCOMPARE(rows(child<QListView>(w, "List1")), (QStringList{QStringLiteral("本棚"), QStringLiteral("押し入れ")}));
    QCOMPARE(rows(child<QListView>(w, "List4")), (QStringList{QStringLiteral(",2,5"), QStringLiteral(",3")}));
    QCOMPARE(w->focusWidget(), child<QWidget>(w, "Text1"));

    // A single blank is a text like any other.
    p.boxes.clear();
    searchFor(w, QStringLiteral(" "));
    QCOMPARE(p.boxes.requests().size(), size_t(1));
    QCOMPARE(p.boxes.requests().front().text, QStringLiteral("見つかりませんでした．"));
}

void tst_frmSearch::enterSearchesEscDoesNothing()
{
    Program p;
    frmSearch* w = p.open();
    auto* text = child<QLineEdit>(w, "Text1");
    auto* list = child<QListView>(w, "List1");
    text->setFocus();
    QTest::keyClicks(text, QStringLiteral("usb"));
    QTest::keyClick(text, Qt::Key_Return);
    QCOMPARE(rows(list), QStringList{QStringLiteral("本棚")});

    QTest::keyClick(text, Qt::Key_Escape);
    QTest::keyClick(list, Qt::Key_Escape);
    QCoreApplication::processEvents();
    QVERIFY(w->isVisible());
    QCOMPARE(text->text(), QStringLiteral("usb"));
    QCOMPARE(list->model()->rowCount(), 1);

    // Enter in the result list presses the default button too; on a focused button, that button.
    text->setText(QStringLiteral("ペン"));
    QTest::keyClick(list, Qt::Key_Return);
    QCOMPARE(list->model()->rowCount(), 2);
    auto* clearButton = child<QToolButton>(w, "Command2");
    clearButton->setFocus();
    QTest::keyClick(clearButton, Qt::Key_Return);
    QCOMPARE(list->model()->rowCount(), 0);
    QVERIFY(text->text().isEmpty());
    QVERIFY(p.boxes.requests().empty());
}

void tst_frmSearch::inputDuringScanIsDropped()
{
    Program p;
    frmSearch* w = p.open();
    auto* text = child<QLineEdit>(w, "Text1");
    text->setText(QStringLiteral("ペン"));
    text->setFocus();
    // Typed and clicked while the scan runs: queued, not yet delivered when the scan starts.
    QCoreApplication::postEvent(text, new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x")));
    auto* cancel = child<QToolButton>(w, "Command3");
    const QPoint c = cancel->rect().center();
    QCoreApplication::postEvent(cancel, new QMouseEvent(QEvent::MouseButtonPress, c, cancel->mapToGlobal(c),
                                                        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(cancel, new QMouseEvent(QEvent::MouseButtonRelease, c, cancel->mapToGlobal(c),
                                                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier));
    QPointer<frmSearch> alive(w);
    child<QToolButton>(w, "Command5")->click();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(alive);
    QCOMPARE(text->text(), QStringLiteral("ペン"));
    QCOMPARE(int(rows(child<QListView>(w, "List1")).size()), 2);

    // Afterwards the window takes input again.
    QTest::keyClicks(text, QStringLiteral("x"));
    QCOMPARE(text->text(), QStringLiteral("ペンx"));
}

void tst_frmSearch::doubleClickAndShowButtonAgree()
{
    Program p;
    frmSearch* w = p.open();
    searchFor(w, QStringLiteral("ペン"));
    doubleClickRow(w, 1);
    QCOMPARE(frmSearch::rememberedRow(), 1);
    const MainView byDoubleClick = viewOf(*p.main);
    QCOMPARE(byDoubleClick.folder, p.closet);

    p.main->selectImage(p.desk); // back to another image with no marks
    QVERIFY(!(viewOf(*p.main) == byDoubleClick));
    clickRow(w, 1);
    QCOMPARE(p.main->shownImage().folder(), p.desk); // a click alone only remembers the row
    child<QToolButton>(w, "Command1")->click();
    QCOMPARE(viewOf(*p.main), byDoubleClick);
}

void tst_frmSearch::showMarksHitAreas()
{
    Program p;
    frmSearch* w = p.open();
    searchFor(w, QStringLiteral("ペン"));
    QCOMPARE(rows(child<QListView>(w, "List4")).value(0), QStringLiteral(",2,5"));
    clickRow(w, 0);
    child<QToolButton>(w, "Command1")->click();

    const MainView v = viewOf(*p.main);
    QCOMPARE(v.folder, p.shelf);
    QCOMPARE(QColor(v.pictureColour), QColor(Qt::green));
    QCOMPARE(shown(v.markers), (QList<int>{0, 2, 5})); // the areas in use, not the deleted area 7
    QCOMPARE(shown(v.frames), (QList<int>{2, 5}));
    QCOMPARE(shown(v.icons), (QList<int>{2, 5}));
    QCOMPARE(v.frameRects[2], QRect(40, 10, 50, 30));
    QCOMPARE(v.frameRects[5], QRect(60, 50, 30, 20));
    // Both areas are lower than the icon: it lies left of each, centred, keeping the red frame in sight.
    QCOMPARE(v.iconPositions[2], QPoint(40 - 32, 25 - 16));
    QCOMPARE(v.iconPositions[5], QPoint(60 - 32, 60 - 16));
    QVERIFY(v.animating);
    auto* icon = p.main->findChild<QLabel*>(QStringLiteral("ImgFind2"));
    const qint64 frame = icon->pixmap().cacheKey();
    QTRY_VERIFY(icon->pixmap().cacheKey() != frame); // waving

    // Shown again while that image is already selected: its markers come back all the same.
    p.main->shownImage().hideAllAreas();
    p.main->shownImage().hideHandle();
    child<QToolButton>(w, "Command1")->click();
    QCOMPARE(shown(viewOf(*p.main).markers), (QList<int>{0, 2, 5}));
    QCOMPARE(shown(viewOf(*p.main).frames), (QList<int>{2, 5}));
    QVERIFY(!p.main->shownImage().isHandleShown());
}

void tst_frmSearch::secondShowReplacesMarks()
{
    Program p;
    frmSearch* w = p.open();
    searchFor(w, QStringLiteral("ペン"));
    doubleClickRow(w, 0);
    QCOMPARE(shown(viewOf(*p.main).frames), (QList<int>{2, 5}));
    doubleClickRow(w, 1);
    const MainView v = viewOf(*p.main);
    QCOMPARE(v.folder, p.closet);
    QCOMPARE(QColor(v.pictureColour), QColor(Qt::blue));
    QCOMPARE(shown(v.frames), QList<int>{3});
    QCOMPARE(shown(v.icons), QList<int>{3});
    QCOMPARE(v.frameRects[3], QRect(0, 40, 30, 30));
    QVERIFY(v.animating);
}

void tst_frmSearch::clearLeavesFramesAndStopsIcons()
{
    Program p;
    frmSearch* w = p.open();
    searchFor(w, QStringLiteral("ペン"));
    doubleClickRow(w, 0);
    child<QToolButton>(w, "Command1")->setFocus();
    child<QToolButton>(w, "Command2")->click();

    const MainView v = viewOf(*p.main);
    QCOMPARE(shown(v.frames), (QList<int>{2, 5}));
    QCOMPARE(shown(v.icons), (QList<int>{2, 5}));
    QVERIFY(!v.animating);
    QVERIFY(child<QLineEdit>(w, "Text1")->text().isEmpty());
    QCOMPARE(int(rows(child<QListView>(w, "List1")).size()), 0);
    QCOMPARE(int(rows(child<QListView>(w, "List2")).size()), 0);
    QCOMPARE(int(rows(child<QListView>(w, "List3")).size()), 2);
    QCOMPARE(int(rows(child<QListView>(w, "List4")).size()), 2);
    QCOMPARE(child<GaugeBox>(w, "Picture1")->revealedWidth(), 0);
    QCOMPARE(child<GaugeBox>(w, "Picture1")->image().pixel(399, 20), qRgb(255, 255, 255));
    QCOMPARE(w->focusWidget(), child<QWidget>(w, "Text1"));
}

void tst_frmSearch::invalidRememberedRowDoesNothing_data()
{
    QTest::addColumn<QString>("situation");
    QTest::newRow("before any search") << QStringLiteral("fresh");
    QTest::newRow("search with fewer rows") << QStringLiteral("fewer");
    QTest::newRow("after clear") << QStringLiteral("clear");
    QTest::newRow("after reopening") << QStringLiteral("reopen");
    QTest::newRow("image deleted since") << QStringLiteral("deleted");
}

void tst_frmSearch::invalidRememberedRowDoesNothing()
{
    QFETCH(QString, situation);
    Program p;
    frmSearch* w = p.open();
    searchFor(w, QStringLiteral("ペン"));
    clickRow(w, 1);
    child<QToolButton>(w, "Command1")->click(); // marks of this search on the main window
    QCOMPARE(p.main->shownImage().folder(), p.closet);

    if (situation == u"fresh" || situation == u"reopen") {
        w->close();
        QPointer<frmSearch> old(w);
        QTRY_VERIFY(old.isNull());
        w = p.open();
    } else if (situation == u"fewer") {
        searchFor(w, QStringLiteral("usb")); // one row; the remembered row is 1
    } else if (situation == u"clear") {
        child<QToolButton>(w, "Command2")->click();
    } else if (situation == u"deleted") {
        QVERIFY(QDir(p.closet).removeRecursively());
        p.main->rebuildImageList();
    }
    QCOMPARE(frmSearch::rememberedRow(), 1);
    p.main->selectImage(p.desk);
    const MainView before = viewOf(*p.main);
    child<QToolButton>(w, "Command1")->click();
    QCOMPARE(viewOf(*p.main), before);
    QVERIFY(p.main->hasPicture());
}

void tst_frmSearch::reopenIsEmptyAndCentredRowSurvives()
{
    Program p;
    frmSearch* w = p.open();
    searchFor(w, QStringLiteral("ペン"));
    doubleClickRow(w, 1);
    const MainView marked = viewOf(*p.main);
    w->move(0, 0);
    child<QToolButton>(w, "Command3")->click();
    QPointer<frmSearch> old(w);
    QTRY_VERIFY(old.isNull());
    // Closing leaves the main window's marks and animation as they are.
    QCOMPARE(viewOf(*p.main), marked);
    QVERIFY(p.main->shownImage().isAnimating());

    w = p.open();
    QVERIFY(w);
    QVERIFY(child<QLineEdit>(w, "Text1")->text().isEmpty());
    for (const char* list : {"List1", "List2", "List3", "List4"})
        QCOMPARE(int(rows(child<QListView>(w, list)).size()), 0);
    QCOMPARE(child<GaugeBox>(w, "Picture1")->revealedWidth(), 0);
    QCOMPARE(w->focusWidget(), child<QWidget>(w, "Text1"));
    const QRect screen = w->screen()->geometry();
    const QSize outer = w->frameGeometry().size();
    QCOMPARE(w->frameGeometry().topLeft(), QPoint(screen.left() + (screen.width() - outer.width()) / 2,
                                                  screen.top() + (screen.height() - outer.height()) / 2));
    QCOMPARE(frmSearch::rememberedRow(), 1);

    // The close box closes it as well.
    w->close();
    QPointer<frmSearch> again(w);
    QTRY_VERIFY(again.isNull());
    QCOMPARE(p.main->openedWindow(frmMain::Window::Search), nullptr);
}

// Every column of every row the four lists show.
QList<QStringList> allRows(frmSearch* w)
{
    QList<QStringList> r;
    for (const char* list : {"List1", "List2", "List3", "List4"})
        r << rows(child<QListView>(w, list));
    return r;
}

void tst_frmSearch::typedResultsEqualSearchStart_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("found");
    QTest::newRow("two images") << QStringLiteral("ペン") << 2;
    QTest::newRow("letters of another case") << QStringLiteral("usb") << 1;
    QTest::newRow("half-width katakana") << QStringLiteral("ﾍﾟﾝ") << 2;
    QTest::newRow("hiragana") << QStringLiteral("ぺん") << 2;
    QTest::newRow("an area no longer in use") << QStringLiteral("パソコン") << 1;
    QTest::newRow("one blank") << QStringLiteral(" ") << 0;
    QTest::newRow("nothing") << QStringLiteral("存在しない") << 0;
}

// The rows that follow the typed text are the rows 検索開始 gives for it; typing shows no message.
void tst_frmSearch::typedResultsEqualSearchStart()
{
    QFETCH(QString, text);
    QFETCH(int, found);
    Program p;
    frmSearch* w = p.open();
    searchFor(w, QStringLiteral("ノート")); // rows of another text, to be replaced
    p.boxes.clear();
    auto* box = child<QLineEdit>(w, "Text1");
    box->setFocus();
    box->clear();
    box->insert(text); // as an input method commits it
    QTRY_VERIFY(w->typedSearches() >= 1 && !w->isSearchingTypedText());
    QCoreApplication::processEvents();
    const QList<QStringList> typed = allRows(w);
    QCOMPARE(typed.first().size(), found);
    QVERIFY(p.boxes.requests().empty());

    child<QToolButton>(w, "Command5")->click();
    QCOMPARE(allRows(w), typed);
    QCOMPARE(p.boxes.requests().size(), size_t(found == 0 ? 1 : 0));

    // Emptying the box keeps the rows and says nothing.
    p.boxes.clear();
    box->clear();
    QCoreApplication::processEvents();
    QCOMPARE(allRows(w), typed);
    QVERIFY(p.boxes.requests().empty());
}

// Keys that arrive together cost one search; a key typed while a search runs is taken at once, stops
// it, and the rows follow the last text.
void tst_frmSearch::typingCoalescesAndOutrunsSearch()
{
    // The first search over fresh folders reads them all; a key typed during it is taken at once.
    Program p(99);
    frmSearch* w = p.open();
    auto* box = child<QLineEdit>(w, "Text1");
    box->setFocus();
    box->setText(QStringLiteral("電池"));
    bool typedDuringSearch = false;
    QTimer::singleShot(2, w, [&] {
        typedDuringSearch = w->isSearchingTypedText();
        QTest::keyClick(box, Qt::Key_A);
    });
    QTRY_VERIFY(w->typedSearches() >= 2 && !w->isSearchingTypedText());
    QVERIFY(typedDuringSearch);
    QCOMPARE(box->text(), QStringLiteral("電池a"));
    QVERIFY(rows(child<QListView>(w, "List1")).isEmpty());

    // Keys that arrive together cost one search.
    const int before = w->typedSearches();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, QStringLiteral("xyz"));
    for (int k = 0; k < 3; ++k)
        QTest::keyClick(box, Qt::Key_Backspace);
    box->setText(QStringLiteral("電池"));
    QTRY_VERIFY(w->typedSearches() > before && !w->isSearchingTypedText());
    QCoreApplication::processEvents();
    QCOMPARE(w->typedSearches(), before + 1);
    QCOMPARE(rows(child<QListView>(w, "List1")).size(), 99);
}

// 検索開始 and closing the window while a typed search runs: the typed search stops, then both act.
void tst_frmSearch::actionsWaitForTypedSearch()
{
    Program p(99);
    QPointer<frmSearch> w = p.open();
    bool deferred = false;
    child<QLineEdit>(w, "Text1")->setText(QStringLiteral("電池"));
    QTimer::singleShot(2, w, [&] {
        deferred = w->isSearchingTypedText();
        child<QToolButton>(w, "Command5")->click();
        w->close();
        deferred = deferred && w->isVisible();
    });
    QTRY_VERIFY(!w || !w->isVisible());
    QVERIFY(deferred);
    QVERIFY(p.boxes.requests().empty()); // the search found its rows: no message
}

QTEST_MAIN(tst_frmSearch)
#include "tst_frmSearch.moc"
