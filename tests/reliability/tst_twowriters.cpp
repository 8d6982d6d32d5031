// Two program instances on one program folder, as two computers syncing it or two windows of the program:
// a save keeps what the other instance saved in between, of the areas and of the items.
#include "AreaFiles.h"
#include "EditWindows.h"
#include "FixtureCatalogue.h"
#include "MessageBox.h"
#include "frmItemArrangement.h"
#include "frmItemRegist.h"
#include "frmMain.h"

#include <QLineEdit>
#include <QListView>
#include <QPointer>
#include <QToolButton>
#include <QtTest>

#include <memory>

using kovra::test::areaFile;
using kovra::test::areaSection;
using kovra::test::CatalogueBuilder;
using kovra::test::itemSections;
using kovra::test::readBytes;
using kovra::test::writeBytes;
using namespace Qt::StringLiterals;

namespace {

const QString Image = QStringLiteral("20240101000000");

std::unique_ptr<frmMain> openInstance(const CatalogueBuilder& cat)
{
    auto main = std::make_unique<frmMain>(cat.root());
    kovra::edit::installWindows(*main);
    main->show();
    return main;
}

QToolButton* button(QWidget* w, const char* name)
{
    return w->findChild<QToolButton*>(QString::fromLatin1(name));
}

QWidget* arrangement(frmMain& main)
{
    return main.openWindow(frmMain::Window::AreaArrangement);
}

QWidget* items(frmMain& main, int area)
{
    main.shownImage().selectArea(area);
    return main.openWindow(frmMain::Window::ItemRegistration);
}

void add(QWidget* w, const QString& text)
{
    w->findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(text);
    button(w, "Command5")->click();
}

void removeRow(QWidget* w, int row)
{
    auto* list = w->findChild<QListView*>(QStringLiteral("List1"));
    list->setCurrentIndex(list->model()->index(row, 0));
    kovra::MessageBoxRecorder boxes;
    boxes.answerNext(kovra::MessageBox::Answer::Yes);
    button(w, "Command1")->click();
}

} // namespace

class tst_TwoWriters : public QObject
{
    Q_OBJECT

private slots:
    void unchangedArrangementKeepsTheOtherArea();
    void areaChangedInBothPlaces();
    void itemSaveKeepsTheOtherItems_data();
    void itemSaveKeepsTheOtherItems();
};

// The other instance opens area 7 with an item; this one presses 登録 without changing anything.
void tst_TwoWriters::unchangedArrangementKeepsTheOtherArea()
{
    CatalogueBuilder cat;
    const QString image = cat.addImage(Image, "One");
    for (int i = 0; i < 7; ++i)
        QVERIFY(writeBytes(areaFile(image, i), areaSection(true, 10 * i, 5, 30, 20)));
    auto mine = openInstance(cat);
    auto theirs = openInstance(cat);
    QPointer<QWidget> myWindow = arrangement(*mine);

    QPointer<QWidget> theirWindow = arrangement(*theirs);
    button(theirWindow, "Command5")->click();
    QCOMPARE(theirs->shownImage().selectedAreaIndex(), 7);
    theirs->shownImage().setAreaRect(7, QRectF(200, 100, 50, 40));
    button(theirWindow, "Command1")->click();
    QTRY_VERIFY(theirWindow.isNull());
    QWidget* theirItems = items(*theirs, 7);
    add(theirItems, QStringLiteral("key"));
    button(theirItems, "Command3")->click();
    const QByteArray area7 = readBytes(areaFile(image, 7));
    QCOMPARE(area7, areaSection(true, 200, 100, 50, 40) + itemSections({"key"}));

    kovra::MessageBoxRecorder boxes;
    QVERIFY(!mine->shownImage().isModified());
    button(myWindow, "Command1")->click();
    QTRY_VERIFY(myWindow.isNull());
    QCOMPARE(boxes.requests().size(), size_t(0));
    QCOMPARE(readBytes(areaFile(image, 7)), area7);
    for (int i = 0; i < 7; ++i)
        QCOMPARE(readBytes(areaFile(image, i)), areaSection(true, 10 * i, 5, 30, 20));
    // This instance now shows what the disk holds, as the saved layout.
    QVERIFY(mine->shownImage().isShown(7));
    QCOMPARE(mine->shownImage().areaRect(7), QRectF(200, 100, 50, 40));
    QVERIFY(!mine->shownImage().isModified());
    QCOMPARE(mine->shownImage().freeCount(), 22);
}

// Area 3 moved here and there, area 5 deleted there, area 1 resized here: this instance's areas are
// written, the other's change to an area untouched here stays, and the user is told about area 3.
void tst_TwoWriters::areaChangedInBothPlaces()
{
    CatalogueBuilder cat;
    const QString image = cat.addImage(Image, "One");
    for (int i = 0; i < 6; ++i)
        QVERIFY(writeBytes(areaFile(image, i), areaSection(true, 10 * i, 5, 30, 20)));
    auto mine = openInstance(cat);
    auto theirs = openInstance(cat);
    QPointer<QWidget> myWindow = arrangement(*mine);
    mine->shownImage().moveArea(3, QPointF(60, 70));
    mine->shownImage().setAreaRect(1, QRectF(10, 5, 44, 33));

    QPointer<QWidget> theirWindow = arrangement(*theirs);
    theirs->shownImage().moveArea(3, QPointF(80, 90));
    theirs->shownImage().selectArea(5);
    {
        kovra::MessageBoxRecorder boxes;
        boxes.answerNext(kovra::MessageBox::Answer::Yes);
        button(theirWindow, "Command3")->click();
    }
    QVERIFY(!theirs->shownImage().isShown(5));
    button(theirWindow, "Command1")->click();
    QTRY_VERIFY(theirWindow.isNull());

    kovra::MessageBoxRecorder boxes;
    button(myWindow, "Command1")->click();
    QTRY_VERIFY(myWindow.isNull());
    QCOMPARE(readBytes(areaFile(image, 3)), areaSection(true, 60, 70, 30, 20));
    QCOMPARE(readBytes(areaFile(image, 1)), areaSection(true, 10, 5, 44, 33));
    QCOMPARE(readBytes(areaFile(image, 5)), areaSection(false, 50, 5, 30, 20));
    QVERIFY(!mine->shownImage().isShown(5));
    QCOMPARE(mine->shownImage().areaRect(3), QRectF(60, 70, 30, 20));
    QCOMPARE(boxes.requests().size(), size_t(1));
    QCOMPARE(boxes.requests()[0].text, QStringLiteral("ｴﾘｱ 3 は他の場所でも変更されていました．"
                                                      "こちらの配置で保存しました．"));
    QCOMPARE(boxes.requests()[0].caption, QStringLiteral("Kovra"));
    QCOMPARE(boxes.requests()[0].icon, kovra::MessageBox::Icon::Information);
}

// Both instances have the item window of area 2 open; the other one saves first.
void tst_TwoWriters::itemSaveKeepsTheOtherItems_data()
{
    QTest::addColumn<QStringList>("theirAdds");
    QTest::addColumn<int>("theirRemove"); // -1: none
    QTest::addColumn<QStringList>("myAdds");
    QTest::addColumn<int>("myRemove");
    QTest::addColumn<QStringList>("stored");
    const QStringList none;
    QTest::newRow("an item added on each side") << QStringList{u"ink"_s} << -1 << QStringList{u"key"_s} << -1
                                                << QStringList{u"pen"_s, u"cup"_s, u"ink"_s, u"key"_s};
    QTest::newRow("removed here, added there")
        << QStringList{u"ink"_s} << -1 << none << 0 << QStringList{u"cup"_s, u"ink"_s};
    QTest::newRow("removed there, added here")
        << none << 1 << QStringList{u"key"_s} << -1 << QStringList{u"pen"_s, u"key"_s};
    QTest::newRow("the same row removed on both sides") << none << 0 << none << 0 << QStringList{u"cup"_s};
    QTest::newRow("the same name added on both sides") << QStringList{u"ink"_s} << -1 << QStringList{u"ink"_s} << -1
                                                       << QStringList{u"pen"_s, u"cup"_s, u"ink"_s, u"ink"_s};
}

void tst_TwoWriters::itemSaveKeepsTheOtherItems()
{
    QFETCH(QStringList, theirAdds);
    QFETCH(int, theirRemove);
    QFETCH(QStringList, myAdds);
    QFETCH(int, myRemove);
    QFETCH(QStringList, stored);
    CatalogueBuilder cat;
    const QString image = cat.addImage(Image, "One");
    QVERIFY(writeBytes(areaFile(image, 2), areaSection(true, 10, 10, 30, 30) + itemSections({"pen", "cup"})));
    auto mine = openInstance(cat);
    auto theirs = openInstance(cat);
    QPointer<QWidget> myWindow = items(*mine, 2);
    QPointer<QWidget> theirWindow = items(*theirs, 2);

    for (const QString& t : theirAdds)
        add(theirWindow, t);
    if (theirRemove >= 0)
        removeRow(theirWindow, theirRemove);
    button(theirWindow, "Command3")->click();
    QTRY_VERIFY(theirWindow.isNull());

    for (const QString& t : myAdds)
        add(myWindow, t);
    if (myRemove >= 0)
        removeRow(myWindow, myRemove);
    button(myWindow, "Command3")->click();
    QTRY_VERIFY(myWindow.isNull());
    QCOMPARE(kovra::readItems(image, 2), stored);
    // What a window opened now reads.
    auto third = openInstance(cat);
    auto* reader = qobject_cast<frmItemRegist*>(items(*third, 2));
    QVERIFY(reader);
    QCOMPARE(reader->rows(), stored);
    delete reader;
}

QTEST_MAIN(tst_TwoWriters)
#include "tst_twowriters.moc"
