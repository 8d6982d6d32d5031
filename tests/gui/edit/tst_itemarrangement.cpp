// The area arrangement window against a real main window and area files on disk.
#include "EditMainWindow.h"
#include "MessageBox.h"
#include "ProfileFile.h"
#include "frmItemArrangement.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using kovra::MessageBox;
using kovra::test::areaFile;
using kovra::test::areaFiles;
using kovra::test::areaSection;
using kovra::test::CatalogueBuilder;
using kovra::test::itemSections;
using kovra::test::readBytes;
using kovra::test::writeBytes;

namespace {

constexpr QPoint TensAt(6, 3);
constexpr QPoint UnitsAt(19, 3);
constexpr int GlyphWidth = 13;
constexpr int GlyphHeight = 18;

QImage strip()
{
    return QImage(QStringLiteral(":/icons/digits.png")).convertToFormat(QImage::Format_RGB32);
}

bool glyphAt(const QImage& display, QPoint at, int digit)
{
    return display.copy(QRect(at, QSize(GlyphWidth, GlyphHeight))) ==
           strip().copy(QRect(GlyphWidth * digit, 0, GlyphWidth, GlyphHeight));
}

// Reads the two digits back from the counter's pixels; "??" when a place holds no glyph of the strip.
QString counter(const frmItemArrangement* w)
{
    const QImage display = w->counterImage();
    QString text;
    for (const QPoint at : {TensAt, UnitsAt}) {
        QChar c = u'?';
        for (int d = 0; d <= 9; ++d)
            if (glyphAt(display, at, d))
                c = QChar(u'0' + d);
        text += c;
    }
    return text;
}

QToolButton* button(QWidget* w, const char* name)
{
    return w->findChild<QToolButton*>(QString::fromLatin1(name));
}

frmItemArrangement* openArrangement(frmMain& main)
{
    return qobject_cast<frmItemArrangement*>(main.openWindow(frmMain::Window::AreaArrangement));
}

void sendMouse(QWidget* target, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers)
{
    QMouseEvent e(type, QPointF(pos), QPointF(target->mapToGlobal(pos)), button, buttons, modifiers);
    QApplication::sendEvent(target, &e);
}

QWidget* picture(frmMain& main)
{
    return main.findChild<QWidget*>(QStringLiteral("Picture1"));
}

// A left-button drag without modifiers on the main window's bare picture.
void drawOnPicture(frmMain& main, QPoint from, QPoint to)
{
    QWidget* p = picture(main);
    sendMouse(p, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    sendMouse(p, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    sendMouse(p, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
}

} // namespace

class tst_ItemArrangement : public QObject
{
    Q_OBJECT

private slots:
    void windowLayout();
    void newAreaOnFreshImage();
    void lowestFreeIndexReused();
    void allAreasInUse();
    void deleteMessages();
    void saveWithoutImageWritesNothing();
    void closeWithoutSavingDiscardsToTheStoredLayout();
    void saveWritesEveryFileAndKeepsItems();
    void saveLeavesUnreadAreasAlone();
    void counterPixels_data();
    void counterPixels();
    void counterFollowsTheShownImage();
    void drawingNeedsTheOpenWindow();
    void deleteKeyIsTheDeleteButton();
    void reopenBringsToFront();
    void placementModeResizesWithoutShift_data();
    void placementModeResizesWithoutShift();
    void failedSaveKeepsWindowOpen();
};

void tst_ItemArrangement::windowLayout()
{
    CatalogueBuilder cat;
    cat.addImage(QStringLiteral("20240101000000"), "One");
    auto main = fixture::openMain(cat);
    QCOMPARE(main->twipsPerPixel(), 15.0);
    frmItemArrangement* w = openArrangement(*main);
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("ｱｲﾃﾑｴﾘｱの配置"));
    QCOMPARE(w->size(), QSize(302, 74));
    QVERIFY(w->isWindow());
    QCOMPARE(w->parentWidget(), main.get()); // owned: stays in front of the main window
    QVERIFY(!w->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    QVERIFY(!w->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

    const QRect screen = w->screen()->geometry();
    const QRect frame = w->frameGeometry();
    QCOMPARE(frame.left(), (screen.width() - frame.width()) / 2);
    QCOMPARE(frame.top(), (screen.height() - frame.height()) / 3);

    // The digit strip lies below the visible client area.
    auto* strip = w->findChild<QWidget*>(QStringLiteral("Picture1_2"));
    QVERIFY(strip);
    QVERIFY(strip->geometry().top() >= w->height());

    QCOMPARE(fixture::tabChain(button(w, "Command5")),
             (QStringList{QStringLiteral("Command5"), QStringLiteral("Command3"), QStringLiteral("Command1"),
                          QStringLiteral("Command2"), QStringLiteral("Check1")}));
}

void tst_ItemArrangement::newAreaOnFreshImage()
{
    CatalogueBuilder cat;
    const QString image = cat.addImage(QStringLiteral("20240101000000"), "One");
    auto main = fixture::openMain(cat);
    frmItemArrangement* w = openArrangement(*main);
    QCOMPARE(counter(w), QStringLiteral("30"));
    QVERIFY(!w->placementMode());

    button(w, "Command5")->click();
    QVERIFY(main->shownImage().isShown(0));
    QVERIFY(main->shownImage().table().shown[0]);
    QCOMPARE(main->shownImage().areaRect(0), QRectF(0, 0, 150, 35));
    QCOMPARE(main->shownImage().selectedAreaIndex(), 0);
    QVERIFY(main->shownImage().isHandleShown());
    QCOMPARE(main->findChild<QWidget*>(QStringLiteral("SpHandle"))->pos(), QPoint(0, 0));
    QCOMPARE(counter(w), QStringLiteral("29"));
    for (int i = 1; i < kovra::AreaCount; ++i)
        QVERIFY(!main->shownImage().isShown(i));
    QCOMPARE(areaFiles(image), QStringList()); // nothing reaches the disk
}

void tst_ItemArrangement::lowestFreeIndexReused()
{
    CatalogueBuilder cat;
    const QString image = cat.addImage(QStringLiteral("20240101000000"), "One");
    for (int i = 0; i < 5; ++i)
        QVERIFY(writeBytes(areaFile(image, i), areaSection(true, 10 * i, 20, 50, 30)));
    auto main = fixture::openMain(cat);
    frmItemArrangement* w = openArrangement(*main);
    QCOMPARE(counter(w), QStringLiteral("25"));

    main->shownImage().selectArea(2);
    kovra::MessageBoxRecorder boxes;
    button(w, "Command3")->click();
    QCOMPARE(boxes.requests().size(), size_t(1));
    QVERIFY(!main->shownImage().isShown(2));
    QVERIFY(!main->shownImage().table().shown[2]);
    QCOMPARE(counter(w), QStringLiteral("26"));

    button(w, "Command5")->click();
    QCOMPARE(main->shownImage().selectedAreaIndex(), 2);
    QVERIFY(main->shownImage().isShown(2));
    QCOMPARE(main->shownImage().areaRect(2), QRectF(0, 0, 150, 35));
    QCOMPARE(counter(w), QStringLiteral("25"));
    button(w, "Command5")->click();
    QCOMPARE(main->shownImage().selectedAreaIndex(), 5);
    QCOMPARE(counter(w), QStringLiteral("24"));
}

void tst_ItemArrangement::allAreasInUse()
{
    CatalogueBuilder cat;
    const QString image = cat.addImage(QStringLiteral("20240101000000"), "One");
    for (int i = 0; i < kovra::AreaCount; ++i)
        QVERIFY(writeBytes(areaFile(image, i), areaSection(true, i, 2 * i, 40, 30)));
    auto main = fixture::openMain(cat);
    main->shownImage().selectArea(7);
    main->shownImage().selectArea(7);
    main->shownImage().showHandle();
    frmItemArrangement* w = openArrangement(*main);
    QCOMPARE(counter(w), QStringLiteral("00"));

    kovra::MessageBoxRecorder boxes;
    button(w, "Command5")->click();
    QCOMPARE(boxes.requests().size(), size_t(0));
    QCOMPARE(counter(w), QStringLiteral("00"));
    QCOMPARE(main->shownImage().selectedAreaIndex(), 7);
    QVERIFY(main->shownImage().isHandleShown());
    QCOMPARE(main->findChild<QWidget*>(QStringLiteral("SpHandle"))->pos(), QPoint(7, 14));
    for (int i = 0; i < kovra::AreaCount; ++i) {
        QVERIFY(main->shownImage().isShown(i));
        QCOMPARE(main->shownImage().areaRect(i), QRectF(i, 2 * i, 40, 30));
    }
}

void tst_ItemArrangement::deleteMessages()
{
    CatalogueBuilder cat;
    const QString image = cat.addImage(QStringLiteral("20240101000000"), "One");
    QVERIFY(writeBytes(areaFile(image, 3), areaSection(true, 5, 6, 70, 80)));
    auto main = fixture::openMain(cat);
    frmItemArrangement* w = openArrangement(*main);
    kovra::MessageBoxRecorder boxes;

    // Nothing selected.
    button(w, "Command3")->click();
    QCOMPARE(boxes.requests().size(), size_t(1));
    QCOMPARE(boxes.requests()[0].text, QStringLiteral("削除するｱｲﾃﾑｴﾘｱを選択してください．"));
    QCOMPARE(boxes.requests()[0].caption, QStringLiteral("Kovra"));
    QCOMPARE(boxes.requests()[0].icon, MessageBox::Icon::Information);
    QCOMPARE(boxes.requests()[0].buttons, MessageBox::Buttons::Ok);

    // Answered No: nothing changes.
    main->shownImage().selectArea(3);
    main->shownImage().selectArea(3);
    main->shownImage().showHandle();
    boxes.clear();
    boxes.answerNext(MessageBox::Answer::No);
    button(w, "Command3")->click();
    QCOMPARE(boxes.requests().size(), size_t(1));
    QCOMPARE(boxes.requests()[0].text, QStringLiteral("選択されたｱｲﾃﾑｴﾘｱを削除します．よろしいですか？"));
    QCOMPARE(boxes.requests()[0].caption, QStringLiteral("ｱｲﾃﾑｴﾘｱの削除"));
    QCOMPARE(boxes.requests()[0].icon, MessageBox::Icon::Question);
    QCOMPARE(boxes.requests()[0].buttons, MessageBox::Buttons::YesNo);
    QVERIFY(main->shownImage().isShown(3));
    QVERIFY(main->shownImage().table().shown[3]);
    QVERIFY(main->shownImage().isHandleShown());
    QCOMPARE(counter(w), QStringLiteral("29"));

    // Yes: the marker goes, the selection stays on it.
    boxes.clear();
    button(w, "Command3")->click();
    QCOMPARE(boxes.requests().size(), size_t(1));
    QVERIFY(!main->shownImage().isShown(3));
    QVERIFY(!main->shownImage().table().shown[3]);
    QVERIFY(!main->shownImage().isHandleShown());
    QCOMPARE(main->shownImage().selectedAreaIndex(), 3);
    QCOMPARE(counter(w), QStringLiteral("30"));

    // Again on the same area: the second message.
    boxes.clear();
    button(w, "Command3")->click();
    QCOMPARE(boxes.requests().size(), size_t(1));
    QCOMPARE(boxes.requests()[0].text, QStringLiteral("削除するｱｲﾃﾑｴﾘｱを確認してください．"));
    QCOMPARE(boxes.requests()[0].icon, MessageBox::Icon::Information);
    QCOMPARE(boxes.requests()[0].caption, QStringLiteral("Kovra"));
    QCOMPARE(areaFiles(image), QStringList{QStringLiteral("Area3.INI")});
    QCOMPARE(readBytes(areaFile(image, 3)), areaSection(true, 5, 6, 70, 80));
}

void tst_ItemArrangement::saveWithoutImageWritesNothing()
{
    CatalogueBuilder cat; // no image at all
    auto main = fixture::openMain(cat);
    QVERIFY(main->shownImage().folder().isEmpty());
    QPointer<frmItemArrangement> w = openArrangement(*main);
    QCOMPARE(counter(w), QStringLiteral("30"));
    button(w, "Command5")->click(); // opens a marker on the empty picture and counts it
    QVERIFY(main->shownImage().isShown(0));
    QCOMPARE(counter(w), QStringLiteral("29"));

    kovra::MessageBoxRecorder boxes;
    button(w, "Command1")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(w);
    QVERIFY(w->isVisible());
    QCOMPARE(boxes.requests().size(), size_t(0));
    QCOMPARE(QDir(cat.root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

// Closing without saving asks about the unsaved areas; 破棄 reads the stored layout again.
void tst_ItemArrangement::closeWithoutSavingDiscardsToTheStoredLayout()
{
    CatalogueBuilder cat;
    const QString image = cat.addImage(QStringLiteral("20240101000000"), "One");
    const QByteArray stored = areaSection(true, 40, 50, 60, 70);
    QVERIFY(writeBytes(areaFile(image, 0), stored));
    auto main = fixture::openMain(cat);

    for (const bool byEscape : {false, true}) {
        kovra::MessageBoxRecorder boxes;
        boxes.answerNext(MessageBox::Answer::Discard);
        QPointer<frmItemArrangement> w = openArrangement(*main);
        button(w, "Command5")->click();
        button(w, "Command5")->click();
        if (byEscape)
            QTest::keyClick(w, Qt::Key_Escape);
        else
            button(w, "Command2")->click();
        QTRY_VERIFY(w.isNull());
        QCOMPARE(boxes.requests().size(), size_t(1));
        QCOMPARE(boxes.requests()[0].buttons, MessageBox::Buttons::SaveDiscardCancel);
    }
    // The new areas are gone again; the file is as it was.
    QVERIFY(main->shownImage().isShown(0));
    for (int i = 1; i < 5; ++i) {
        QVERIFY(!main->shownImage().isShown(i));
        QVERIFY(!main->shownImage().table().shown[size_t(i)]);
    }
    QVERIFY(!main->shownImage().isModified());
    QCOMPARE(main->shownImage().areaRect(0), QRectF(40, 50, 60, 70));
    QCOMPARE(areaFiles(image), QStringList{QStringLiteral("Area0.INI")});
    QCOMPARE(readBytes(areaFile(image, 0)), stored);

    // Choosing the image again shows the saved state.
    main->selectImage(image);
    QVERIFY(main->shownImage().isShown(0));
    QVERIFY(!main->shownImage().isShown(1));
}

void tst_ItemArrangement::saveWritesEveryFileAndKeepsItems()
{
    CatalogueBuilder cat;
    const QString image = cat.addImage(QStringLiteral("20240101000000"), "One");
    QVERIFY(writeBytes(areaFile(image, 0), areaSection(true, 1, 2, 3, 4)));
    const QByteArray items = itemSections({"\x83\x5c\x83\x74\x83\x40", "lamp"}); // ソファ
    QVERIFY(writeBytes(areaFile(image, 4), areaSection(true, -20, 12, 100, 50) + items));
    auto main = fixture::openMain(cat);
    QPointer<frmItemArrangement> w = openArrangement(*main);

    main->shownImage().selectArea(4);
    kovra::MessageBoxRecorder boxes;
    button(w, "Command3")->click(); // delete area 4
    main->shownImage().setAreaRect(0, QRectF(10.5, -3, 187.5, 43.75));
    button(w, "Command1")->click();
    QTRY_VERIFY(w.isNull());
    QCOMPARE(boxes.requests().size(), size_t(1)); // the confirmation only

    QStringList expected;
    for (int i = 0; i < kovra::AreaCount; ++i)
        expected << QStringLiteral("Area%1.INI").arg(i);
    QStringList files = areaFiles(image);
    files.sort();
    expected.sort();
    QCOMPARE(files, expected);
    QCOMPARE(readBytes(areaFile(image, 0)),
             QByteArray("[Area]\r\nVisible=True\r\nLeft=10.5\r\nTop=-3\r\nWidth=187.5\r\nHeight=43.75\r\n"));
    QCOMPARE(readBytes(areaFile(image, 4)),
             "[Area]\r\nVisible=False\r\nLeft=-20\r\nTop=12\r\nWidth=100\r\nHeight=50\r\n" + items);
    QCOMPARE(kovra::ProfileFile::load(areaFile(image, 17)).read(u"Area", u"Visible", u"", 16), QStringLiteral("False"));
    QCOMPARE(kovra::ProfileFile::load(areaFile(image, 9)).read(u"Area", u"Visible", u"", 16), QStringLiteral("False"));
    QVERIFY(!main->shownImage().table().shown[9]);
    QVERIFY(main->shownImage().table().shown[0]);
    QCOMPARE(main->shownImage().table().freeCount(), 29);
}

// The reader stops at a bad value: the areas from there on were never seen, so they are neither free
// for a new area nor overwritten by the save.
void tst_ItemArrangement::saveLeavesUnreadAreasAlone()
{
    CatalogueBuilder cat;
    const QString image = cat.addImage(QStringLiteral("20240101000000"), "One");
    QVERIFY(writeBytes(areaFile(image, 0), areaSection(true, 10, 10, 50, 40)));
    QVERIFY(writeBytes(areaFile(image, 2), "[Area]\r\nVisible=True\r\nLeft=1\r\nTop=2\r\nWidth=abc\r\nHeight=4\r\n"));
    const QByteArray area4 = areaSection(true, 220, 20, 80, 80) + itemSections({"lamp"});
    QVERIFY(writeBytes(areaFile(image, 4), area4));
    auto main = fixture::openMain(cat);
    QVERIFY(main->shownImage().isShown(0));
    QVERIFY(!main->shownImage().isShown(4));
    QPointer<frmItemArrangement> w = openArrangement(*main);
    QCOMPARE(counter(w), QStringLiteral("01"));
    button(w, "Command5")->click();
    QCOMPARE(main->shownImage().selectedAreaIndex(), 1);
    button(w, "Command5")->click(); // nothing left that may be taken
    QCOMPARE(main->shownImage().selectedAreaIndex(), 1);
    QCOMPARE(counter(w), QStringLiteral("00"));
    button(w, "Command1")->click();
    QTRY_VERIFY(w.isNull());
    QCOMPARE(readBytes(areaFile(image, 4)), area4);
    QCOMPARE(readBytes(areaFile(image, 2)),
             QByteArray("[Area]\r\nVisible=True\r\nLeft=1\r\nTop=2\r\nWidth=abc\r\nHeight=4\r\n"));
    QCOMPARE(areaFiles(image), (QStringList{QStringLiteral("Area0.INI"), QStringLiteral("Area1.INI"),
                                            QStringLiteral("Area2.INI"), QStringLiteral("Area4.INI")}));
}

void tst_ItemArrangement::counterPixels_data()
{
    QTest::addColumn<int>("inUse");
    QTest::addColumn<int>("tens");
    QTest::addColumn<int>("units");
    QTest::newRow("30 free") << 0 << 3 << 0;
    QTest::newRow("27 free") << 3 << 2 << 7;
    QTest::newRow("18 free") << 12 << 1 << 8;
    QTest::newRow("09 free") << 21 << 0 << 9;
    QTest::newRow("00 free") << 30 << 0 << 0;
}

void tst_ItemArrangement::counterPixels()
{
    QFETCH(int, inUse);
    QFETCH(int, tens);
    QFETCH(int, units);
    CatalogueBuilder cat;
    const QString image = cat.addImage(QStringLiteral("20240101000000"), "One");
    for (int i = 0; i < inUse; ++i)
        QVERIFY(writeBytes(areaFile(image, i), areaSection(true, 0, 0, 10, 10)));
    auto main = fixture::openMain(cat);
    frmItemArrangement* w = openArrangement(*main);
    const QImage display = w->counterImage();
    QVERIFY(display.width() >= UnitsAt.x() + GlyphWidth);
    QVERIFY(display.height() >= UnitsAt.y() + GlyphHeight);
    QVERIFY(glyphAt(display, TensAt, tens));
    QVERIFY(glyphAt(display, UnitsAt, units));
    // Plain copies onto black: every other pixel stays black.
    const QRect glyphs(TensAt, QPoint(UnitsAt.x() + GlyphWidth - 1, UnitsAt.y() + GlyphHeight - 1));
    for (int y = 0; y < display.height(); ++y)
        for (int x = 0; x < display.width(); ++x)
            if (!glyphs.contains(x, y))
                QCOMPARE(display.pixel(x, y), qRgb(0, 0, 0));

    // DrawX reads two digit characters; an empty text draws 0 and 0.
    w->DrawX(QStringLiteral("47"));
    QCOMPARE(counter(w), QStringLiteral("47"));
    w->DrawX(QString());
    QCOMPARE(counter(w), QStringLiteral("00"));
}

// The counter shows the shown image's free areas whoever changes them: another image chosen, an area drawn
// on the picture, deleted by the Delete key, opened or freed by the model itself.
void tst_ItemArrangement::counterFollowsTheShownImage()
{
    CatalogueBuilder cat;
    const QString first = cat.addImage(QStringLiteral("20240101000000"), "One");
    const QString second = cat.addImage(QStringLiteral("20240102000000"), "Two");
    for (int i = 0; i < 2; ++i)
        QVERIFY(writeBytes(areaFile(second, i), areaSection(true, 200, 10 * i, 10, 10)));
    auto main = fixture::openMain(cat);
    QCOMPARE(main->shownImage().folder(), first);
    frmItemArrangement* w = openArrangement(*main);
    QCOMPARE(counter(w), QStringLiteral("30"));
    main->selectImage(second);
    QCOMPARE(counter(w), QStringLiteral("28"));
    button(w, "Command5")->click();
    QCOMPARE(main->shownImage().selectedAreaIndex(), 2);
    QCOMPARE(counter(w), QStringLiteral("27"));
    drawOnPicture(*main, QPoint(40, 60), QPoint(140, 120));
    QCOMPARE(main->shownImage().selectedAreaIndex(), 3);
    QCOMPARE(counter(w), QStringLiteral("26"));
    kovra::MessageBoxRecorder boxes;
    picture(*main)->setFocus();
    QTest::keyClick(picture(*main), Qt::Key_Delete);
    QCOMPARE(boxes.requests().size(), size_t(1));
    QCOMPARE(counter(w), QStringLiteral("27"));
    main->shownImage().openNewArea(QRectF(1, 2, 3, 4));
    QCOMPARE(counter(w), QStringLiteral("26"));
    main->shownImage().hideAllAreas();
    QCOMPARE(counter(w), QStringLiteral("30"));
}

// Drawing on the picture opens the next free area while the window is open, and not after it closed.
void tst_ItemArrangement::drawingNeedsTheOpenWindow()
{
    CatalogueBuilder cat;
    const QString image = cat.addImage(QStringLiteral("20240101000000"), "One");
    auto main = fixture::openMain(cat);
    QPointer<frmItemArrangement> w = openArrangement(*main);
    drawOnPicture(*main, QPoint(120, 90), QPoint(20, 30));
    QVERIFY(main->shownImage().isShown(0));
    QCOMPARE(main->shownImage().areaRect(0), QRectF(20, 30, 100, 60));
    QCOMPARE(main->shownImage().selectedAreaIndex(), 0);
    QCOMPARE(counter(w), QStringLiteral("29"));
    QCOMPARE(areaFiles(image), QStringList()); // on screen only, until the save
    kovra::MessageBoxRecorder boxes;
    boxes.answerNext(MessageBox::Answer::Save); // closing keeps the drawn area
    w->close();
    QTRY_VERIFY(w.isNull());
    drawOnPicture(*main, QPoint(150, 100), QPoint(250, 200));
    QVERIFY(!main->shownImage().isShown(1));
    QCOMPARE(main->shownImage().areaRect(0), QRectF(20, 30, 100, 60));
}

// Delete on the picture is the window's Command3: the same messages in the same order, and nothing at all
// once the window is closed.
void tst_ItemArrangement::deleteKeyIsTheDeleteButton()
{
    CatalogueBuilder cat;
    const QString image = cat.addImage(QStringLiteral("20240101000000"), "One");
    QVERIFY(writeBytes(areaFile(image, 3), areaSection(true, 5, 6, 70, 80)));
    auto main = fixture::openMain(cat);
    QPointer<frmItemArrangement> w = openArrangement(*main);
    QWidget* p = picture(*main);
    p->setFocus();
    kovra::MessageBoxRecorder boxes;
    QTest::keyClick(p, Qt::Key_Delete);
    QCOMPARE(boxes.requests().size(), size_t(1));
    QCOMPARE(boxes.requests()[0].text, QStringLiteral("削除するｱｲﾃﾑｴﾘｱを選択してください．"));

    QTest::keyClick(p, Qt::Key_PageDown); // selects area 3
    QCOMPARE(main->shownImage().selectedAreaIndex(), 3);
    boxes.clear();
    boxes.answerNext(MessageBox::Answer::No);
    QTest::keyClick(p, Qt::Key_Delete);
    QCOMPARE(boxes.requests().size(), size_t(1));
    QCOMPARE(boxes.requests()[0].text, QStringLiteral("選択されたｱｲﾃﾑｴﾘｱを削除します．よろしいですか？"));
    QCOMPARE(boxes.requests()[0].caption, QStringLiteral("ｱｲﾃﾑｴﾘｱの削除"));
    QCOMPARE(boxes.requests()[0].buttons, MessageBox::Buttons::YesNo);
    QVERIFY(main->shownImage().isShown(3));

    boxes.clear();
    QTest::keyClick(p, Qt::Key_Delete);
    QVERIFY(!main->shownImage().isShown(3));
    QCOMPARE(counter(w), QStringLiteral("30"));
    boxes.clear();
    QTest::keyClick(p, Qt::Key_Delete);
    QCOMPARE(boxes.requests().size(), size_t(1));
    QCOMPARE(boxes.requests()[0].text, QStringLiteral("削除するｱｲﾃﾑｴﾘｱを確認してください．"));

    w->close();
    QTRY_VERIFY(w.isNull());
    main->shownImage().openNewArea(QRectF(0, 0, 10, 10));
    boxes.clear();
    QTest::keyClick(p, Qt::Key_Delete);
    QCOMPARE(boxes.requests().size(), size_t(0));
    QVERIFY(main->shownImage().isShown(0));
}

void tst_ItemArrangement::reopenBringsToFront()
{
    CatalogueBuilder cat;
    cat.addImage(QStringLiteral("20240101000000"), "One");
    auto main = fixture::openMain(cat);
    QPointer<frmItemArrangement> w = openArrangement(*main);
    auto* check = w->findChild<QCheckBox*>(QStringLiteral("Check1"));
    check->setChecked(true);
    button(w, "Command5")->click();
    w->move(10, 10);
    QCOMPARE(openArrangement(*main), w.data());
    QVERIFY(check->isChecked());
    QCOMPARE(w->pos(), QPoint(10, 10)); // not placed again
    QCOMPARE(counter(w), QStringLiteral("29"));

    kovra::MessageBoxRecorder boxes;
    boxes.answerNext(MessageBox::Answer::Save); // the new area stays for the next opening
    button(w, "Command2")->click();
    QTRY_VERIFY(w.isNull());
    frmItemArrangement* again = openArrangement(*main);
    QVERIFY(!again->placementMode()); // unticked at every opening
    QCOMPARE(counter(again), QStringLiteral("29"));
}

void tst_ItemArrangement::placementModeResizesWithoutShift_data()
{
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<bool>("closeWindow");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QRectF>("expected");
    QTest::newRow("ticked") << true << false << int(Qt::NoModifier) << QRectF(0, 0, 200, 100);
    QTest::newRow("unticked") << false << false << int(Qt::NoModifier) << QRectF(0, 0, 150, 35);
    QTest::newRow("unticked, Shift") << false << false << int(Qt::ShiftModifier) << QRectF(0, 0, 200, 100);
    QTest::newRow("ticked, then closed") << true << true << int(Qt::NoModifier) << QRectF(0, 0, 150, 35);
}

void tst_ItemArrangement::placementModeResizesWithoutShift()
{
    QFETCH(bool, ticked);
    QFETCH(bool, closeWindow);
    QFETCH(int, modifiers);
    QFETCH(QRectF, expected);
    CatalogueBuilder cat;
    cat.addImage(QStringLiteral("20240101000000"), "One");
    auto main = fixture::openMain(cat);
    QPointer<frmItemArrangement> w = openArrangement(*main);
    button(w, "Command5")->click(); // area 0 selected, 150 x 35 at the corner
    w->findChild<QCheckBox*>(QStringLiteral("Check1"))->setChecked(ticked);
    kovra::MessageBoxRecorder boxes;
    boxes.answerNext(MessageBox::Answer::Save); // closing keeps the new area
    if (closeWindow) {
        w->close();
        QTRY_VERIFY(w.isNull());
    }

    auto* picture = main->findChild<QWidget*>(QStringLiteral("Picture1"));
    QVERIFY(picture);
    const auto mods = Qt::KeyboardModifiers(modifiers);
    sendMouse(picture, QEvent::MouseButtonPress, QPoint(300, 200), Qt::LeftButton, Qt::LeftButton, mods);
    sendMouse(picture, QEvent::MouseMove, QPoint(250, 150), Qt::NoButton, Qt::LeftButton, mods);
    sendMouse(picture, QEvent::MouseMove, QPoint(200, 100), Qt::NoButton, Qt::LeftButton, mods);
    sendMouse(picture, QEvent::MouseButtonRelease, QPoint(200, 100), Qt::LeftButton, Qt::NoButton, mods);
    QCOMPARE(main->shownImage().areaRect(0), expected);
}

void tst_ItemArrangement::failedSaveKeepsWindowOpen()
{
    CatalogueBuilder cat;
    const QString image = cat.addImage(QStringLiteral("20240101000000"), "One");
    const QByteArray stored = areaSection(true, 1, 2, 3, 4) + itemSections({"cup"});
    QVERIFY(writeBytes(areaFile(image, 0), stored));
    auto main = fixture::openMain(cat);
    QPointer<frmItemArrangement> w = openArrangement(*main);
    button(w, "Command5")->click();
    kovra::MessageBoxRecorder boxes;
    {
        fixture::FullDisk full;
        kovra::ScopedFileOps failing(&full);
        button(w, "Command1")->click();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(w);
    QVERIFY(w->isVisible());
    QCOMPARE(boxes.requests().size(), size_t(1));
    QCOMPARE(boxes.requests()[0].icon, MessageBox::Icon::Critical);
    QCOMPARE(boxes.requests()[0].caption, QStringLiteral("Kovra"));
    QVERIFY(boxes.requests()[0].text.startsWith(QStringLiteral("ｱｲﾃﾑｴﾘｱの配置を保存できませんでした．")));
    QCOMPARE(areaFiles(image), QStringList{QStringLiteral("Area0.INI")});
    QCOMPARE(readBytes(areaFile(image, 0)), stored);
    QVERIFY(main->shownImage().isShown(1)); // the layout on screen is still there to retry

    // The retry on a working disk saves and closes.
    button(w, "Command1")->click();
    QTRY_VERIFY(w.isNull());
    QCOMPARE(boxes.requests().size(), size_t(1));
    QCOMPARE(kovra::ProfileFile::load(areaFile(image, 1)).read(u"Area", u"Visible", u"", 16), QStringLiteral("True"));
    QCOMPARE(kovra::readItems(image, 0), QStringList{QStringLiteral("cup")});
}

QTEST_MAIN(tst_ItemArrangement)
#include "tst_itemarrangement.moc"
