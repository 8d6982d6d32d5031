// The item registration window against a real main window and area files on disk.
#include "EditMainWindow.h"
#include "MessageBox.h"
#include "frmItemArrangement.h"
#include "frmItemRegist.h"

#include "CodePage.h"
#include "ListInk.h"
#include "SearchScan.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QListView>
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

QToolButton* button(QWidget* w, const char* name)
{
    return w->findChild<QToolButton*>(QString::fromLatin1(name));
}
QLineEdit* text1(QWidget* w)
{
    return w->findChild<QLineEdit*>(QStringLiteral("Text1"));
}
QListView* list1(QWidget* w)
{
    return w->findChild<QListView*>(QStringLiteral("List1"));
}
QString rowText(QListView* list, int row)
{
    return list->model()->index(row, 0).data().toString();
}
void setCurrentRow(QListView* list, int row)
{
    list->setCurrentIndex(list->model()->index(row, 0));
}
QRect rowRect(QListView* list, int row)
{
    return list->visualRect(list->model()->index(row, 0));
}

void add(frmItemRegist* w, const QString& text)
{
    text1(w)->setText(text);
    button(w, "Command5")->click();
}

// Closes a window that is still open at the end of a test (it has no owner to take it along).
struct Closer
{
    QPointer<QWidget> w;
    ~Closer() { delete w.data(); }
};

// A click on an area marker of the main window, as the user makes it.
void clickMarker(frmMain& main, int area)
{
    auto* marker = main.findChild<QWidget*>(QStringLiteral("ImgArea%1").arg(area));
    QVERIFY(marker);
    const QPointF p(2, 2);
    QMouseEvent press(QEvent::MouseButtonPress, p, marker->mapToGlobal(p), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(marker, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, p, marker->mapToGlobal(p), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(marker, &release);
}

} // namespace

class tst_ItemRegist : public QObject
{
    Q_OBJECT

private:
    CatalogueBuilder* m_cat = nullptr;
    QString m_image;
    std::unique_ptr<frmMain> m_main;

    // The window for area, opened as the main window opens it.
    frmItemRegist* open(int area)
    {
        m_main->shownImage().selectArea(area);
        return qobject_cast<frmItemRegist*>(m_main->openWindow(frmMain::Window::ItemRegistration));
    }

private slots:
    void init();
    void cleanup();

    void windowLayout();
    void readsTheList_data();
    void readsTheList();
    void addKeepsEmptyAndDuplicateRows();
    void enterAddsEscCloses();
    void refusesTextTheFileCannotHold_data();
    void refusesTextTheFileCannotHold();
    void removeWithoutPick();
    void removeFollowsThePickedRow();
    void saveEmptyList();
    void saveThreeOverFive();
    void targetFixedAtOpening();
    void noImageWritesNothing();
    void itemsForAnAreaNeverArranged();
    void longItemSurvivesOpenAndSave();
    void failedSaveKeepsWindowAndRows();
    void listFullIsRefused();
    void typedFormsAreStoredInTheCodePage();
    void userTextIsPlain();
    void undecodableRowsShownMarkedAndKept();
    void veryLongItemOpensAndSavesQuickly();
};

void tst_ItemRegist::init()
{
    m_cat = new CatalogueBuilder;
    m_image = m_cat->addImage(QStringLiteral("20240101000000"), "One");
    for (const int i : {3, 5})
        QVERIFY(writeBytes(areaFile(m_image, i), areaSection(true, 40 * i, 10, 30, 30)));
    m_main = fixture::openMain(*m_cat);
}

void tst_ItemRegist::cleanup()
{
    if (QWidget* w = m_main->openedWindow(frmMain::Window::ItemRegistration))
        delete w;
    m_main.reset();
    delete m_cat;
    m_cat = nullptr;
}

void tst_ItemRegist::windowLayout()
{
    frmItemRegist* w = open(3);
    QCOMPARE(w->windowTitle(), QStringLiteral("ｱｲﾃﾑ登録"));
    QCOMPARE(w->size(), QSize(516, 264));
    QVERIFY(w->isWindow());
    QCOMPARE(w->parentWidget(), nullptr); // not owned by the main window
    const QRect screen = w->screen()->geometry();
    const QRect frame = w->frameGeometry();
    QCOMPARE(frame.left(), (screen.width() - frame.width()) / 2);
    QCOMPARE(frame.top(), (screen.height() - frame.height()) / 2);
    QCOMPARE(w->focusWidget(), text1(w));
    QCOMPARE(text1(w)->maxLength(), std::numeric_limits<int>::max()); // no length limit
    QVERIFY(qobject_cast<kovra::ItemRows*>(list1(w)->model()));       // the rows in file order, unsorted

    QCOMPARE(fixture::tabChain(text1(w)),
             (QStringList{QStringLiteral("Text1"), QStringLiteral("List1"), QStringLiteral("Command5"),
                          QStringLiteral("Command1"), QStringLiteral("Command3"), QStringLiteral("Command2")}));
}

void tst_ItemRegist::readsTheList_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("no item sections") << areaSection(true, 0, 0, 9, 9) << QStringList();
    QTest::newRow("two items") << itemSections({"\x95\x5c", "cup"}) // 表, whose second byte is a backslash
                               << QStringList{QStringLiteral("表"), QStringLiteral("cup")};
    QTest::newRow("Sum larger than the keys") << QByteArray("[ItemCount]\r\nSum=3\r\n[Items]\r\nItem0=a\r\n")
                                              << QStringList{QStringLiteral("a"), QString(), QString()};
}

void tst_ItemRegist::readsTheList()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, rows);
    QVERIFY(writeBytes(areaFile(m_image, 7), file));
    frmItemRegist* w = open(7);
    QCOMPARE(w->rows(), rows);
    QCOMPARE(w->targetArea(), 7);
    QCOMPARE(w->targetFolder(), m_image);
}

void tst_ItemRegist::addKeepsEmptyAndDuplicateRows()
{
    frmItemRegist* w = open(3);
    add(w, QStringLiteral("ﾗﾝﾌﾟ"));
    add(w, QStringLiteral(" spaced "));
    add(w, QStringLiteral("ﾗﾝﾌﾟ"));
    add(w, QString());
    QCOMPARE(w->rows(),
             (QStringList{QStringLiteral("ﾗﾝﾌﾟ"), QStringLiteral(" spaced "), QStringLiteral("ﾗﾝﾌﾟ"), QString()}));
    QVERIFY(text1(w)->text().isEmpty());
    QCOMPARE(w->focusWidget(), text1(w));

    QPointer<frmItemRegist> guard = w;
    button(w, "Command3")->click();
    QTRY_VERIFY(guard.isNull());
    // ﾗﾝﾌﾟ is D7 DD CC DF; the blanks are written as typed (the reader trims them).
    QCOMPARE(readBytes(areaFile(m_image, 3)),
             areaSection(true, 120, 10, 30, 30) +
                 QByteArray("[ItemCount]\r\nSum=4\r\n[Items]\r\nItem0=\xD7\xDD\xCC\xDF\r\nItem1= spaced \r\n"
                            "Item2=\xD7\xDD\xCC\xDF\r\nItem3=\r\n"));
}

void tst_ItemRegist::enterAddsEscCloses()
{
    QPointer<frmItemRegist> w = open(3);
    QTest::keyClicks(text1(w), QStringLiteral("key"));
    QTest::keyClick(text1(w), Qt::Key_Return);
    QCOMPARE(w->rows(), QStringList{QStringLiteral("key")});
    QVERIFY(text1(w)->text().isEmpty());
    // Enter in the list presses the default button too.
    list1(w)->setFocus();
    text1(w)->setText(QStringLiteral("key"));
    QTest::keyClick(list1(w), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(w->rows(), (QStringList{QStringLiteral("key"), QStringLiteral("key")}));

    const QByteArray before = readBytes(areaFile(m_image, 3));
    QTest::keyClick(text1(w), Qt::Key_Escape);
    QTRY_VERIFY(w.isNull());
    QCOMPARE(readBytes(areaFile(m_image, 3)), before);
}

void tst_ItemRegist::refusesTextTheFileCannotHold_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("named");
    QTest::newRow("outside the code page") << QStringLiteral("𠮷野家の箱") << QStringLiteral("𠮷");
    QTest::newRow("emoji") << QStringLiteral("box 📦") << QStringLiteral("📦");
    QTest::newRow("accented") << QStringLiteral("café") << QStringLiteral("é");
    QTest::newRow("line break") << QStringLiteral("two\nlines") << QString();
}

void tst_ItemRegist::refusesTextTheFileCannotHold()
{
    QFETCH(QString, text);
    QFETCH(QString, named);
    frmItemRegist* w = open(3);
    add(w, QStringLiteral("kept"));
    kovra::MessageBoxRecorder boxes;
    add(w, text);
    QCOMPARE(boxes.requests().size(), size_t(1));
    QCOMPARE(boxes.requests()[0].icon, MessageBox::Icon::Information);
    QCOMPARE(boxes.requests()[0].caption, QStringLiteral("Kovra"));
    QVERIFY(boxes.requests()[0].text.endsWith(QStringLiteral("．")));
    if (!named.isEmpty())
        QVERIFY(boxes.requests()[0].text.contains(QStringLiteral("「") + named + QStringLiteral("」")));
    QCOMPARE(text1(w)->text(), text); // kept for the user to change
    QCOMPARE(w->rows(), QStringList{QStringLiteral("kept")});
}

void tst_ItemRegist::removeWithoutPick()
{
    frmItemRegist* w = open(3);
    add(w, QStringLiteral("A"));
    add(w, QStringLiteral("B"));
    kovra::MessageBoxRecorder boxes;
    button(w, "Command1")->click();
    QCOMPARE(boxes.requests().size(), size_t(1));
    QCOMPARE(boxes.requests()[0].text, QStringLiteral("「」を削除します．よろしいですか？"));
    QCOMPARE(boxes.requests()[0].caption, QStringLiteral("ｱｲﾃﾑの削除"));
    QCOMPARE(boxes.requests()[0].icon, MessageBox::Icon::Question);
    QCOMPARE(boxes.requests()[0].buttons, MessageBox::Buttons::YesNo);
    QCOMPARE(w->rows(), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
    // Tabbing into the list makes its first row current but picks nothing: still no row is named.
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    list1(w)->setFocus(Qt::TabFocusReason);
    QCOMPARE(list1(w)->currentIndex().row(), 0);
    QCOMPARE(w->pickedRow(), -1);
    button(w, "Command1")->click();
    QCOMPARE(boxes.requests().back().text, QStringLiteral("「」を削除します．よろしいですか？"));
    QCOMPARE(w->rows(), (QStringList{QStringLiteral("A"), QStringLiteral("B")}));
}

void tst_ItemRegist::removeFollowsThePickedRow()
{
    frmItemRegist* w = open(3);
    for (const char* t : {"A", "B", "C"})
        add(w, QString::fromLatin1(t));
    // A pick by mouse.
    QListView* list = list1(w);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowRect(list, 1).center());
    QCOMPARE(w->pickedRow(), 1);

    kovra::MessageBoxRecorder boxes;
    button(w, "Command1")->click();
    QCOMPARE(boxes.requests().back().text, QStringLiteral("「B」を削除します．よろしいですか？"));
    QCOMPARE(w->rows(), (QStringList{QStringLiteral("A"), QStringLiteral("C")}));
    QCOMPARE(w->pickedRow(), 1);

    boxes.answerNext(MessageBox::Answer::No);
    button(w, "Command1")->click();
    QCOMPARE(boxes.requests().back().text, QStringLiteral("「C」を削除します．よろしいですか？"));
    QCOMPARE(w->rows(), (QStringList{QStringLiteral("A"), QStringLiteral("C")}));

    button(w, "Command1")->click(); // C goes; the pick now lies past the end
    QCOMPARE(w->rows(), QStringList{QStringLiteral("A")});
    button(w, "Command1")->click();
    QCOMPARE(boxes.requests().back().text, QStringLiteral("「」を削除します．よろしいですか？"));
    QCOMPARE(w->rows(), QStringList{QStringLiteral("A")});

    // A pick by keyboard.
    add(w, QStringLiteral("D"));
    list->setFocus();
    setCurrentRow(list, 1);
    QTest::keyClick(list, Qt::Key_Up);
    QCOMPARE(w->pickedRow(), 0);
    button(w, "Command1")->click();
    QCOMPARE(boxes.requests().back().text, QStringLiteral("「A」を削除します．よろしいですか？"));
    QCOMPARE(w->rows(), QStringList{QStringLiteral("D")});
}

void tst_ItemRegist::saveEmptyList()
{
    QVERIFY(writeBytes(areaFile(m_image, 3), areaSection(true, 1, 1, 5, 5) + itemSections({"a", "b"})));
    QPointer<frmItemRegist> w = open(3);
    kovra::MessageBoxRecorder boxes;
    setCurrentRow(list1(w), 0);
    button(w, "Command1")->click();
    button(w, "Command1")->click();
    QCOMPARE(w->rows(), QStringList());
    button(w, "Command3")->click();
    QTRY_VERIFY(w.isNull());
    QCOMPARE(readBytes(areaFile(m_image, 3)), areaSection(true, 1, 1, 5, 5) + QByteArray("[ItemCount]\r\nSum=0\r\n"));
}

void tst_ItemRegist::saveThreeOverFive()
{
    QVERIFY(writeBytes(areaFile(m_image, 3), itemSections({"1", "2", "3", "4", "5"})));
    QPointer<frmItemRegist> w = open(3);
    kovra::MessageBoxRecorder boxes;
    setCurrentRow(list1(w), 0);
    button(w, "Command1")->click();
    button(w, "Command1")->click();
    add(w, QStringLiteral("6"));
    QCOMPARE(w->rows(),
             (QStringList{QStringLiteral("3"), QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6")}));
    setCurrentRow(list1(w), 3);
    button(w, "Command1")->click();
    button(w, "Command3")->click();
    QTRY_VERIFY(w.isNull());
    QCOMPARE(readBytes(areaFile(m_image, 3)), itemSections({"3", "4", "5"}));
}

void tst_ItemRegist::targetFixedAtOpening()
{
    QPointer<frmItemRegist> w = open(3);
    add(w, QStringLiteral("unsaved"));
    const QByteArray area5 = readBytes(areaFile(m_image, 5));
    clickMarker(*m_main, 5);
    QCOMPARE(m_main->shownImage().selectedAreaIndex(), 5);
    QCOMPARE(m_main->openedWindow(frmMain::Window::ItemRegistration), w.data()); // brought to the front
    QCOMPARE(w->targetArea(), 3);
    QCOMPARE(w->rows(), QStringList{QStringLiteral("unsaved")}); // not read again
    button(w, "Command3")->click();
    QTRY_VERIFY(w.isNull());
    QCOMPARE(kovra::readItems(m_image, 3), QStringList{QStringLiteral("unsaved")});
    QCOMPARE(readBytes(areaFile(m_image, 5)), area5);
}

void tst_ItemRegist::noImageWritesNothing()
{
    CatalogueBuilder empty;
    auto main = fixture::openMain(empty);
    auto* arrangement = qobject_cast<frmItemArrangement*>(main->openWindow(frmMain::Window::AreaArrangement));
    arrangement->findChild<QToolButton*>(QStringLiteral("Command5"))->click(); // a marker on the empty picture
    clickMarker(*main, 0);
    QPointer<frmItemRegist> w = qobject_cast<frmItemRegist*>(main->openedWindow(frmMain::Window::ItemRegistration));
    QVERIFY(w);
    const Closer closer{w.data()};
    QCOMPARE(w->rows(), QStringList());
    add(w, QStringLiteral("x"));
    kovra::MessageBoxRecorder boxes;
    button(w, "Command3")->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(w);
    QVERIFY(w->isVisible());
    QCOMPARE(boxes.requests().size(), size_t(0));
    QCOMPARE(QDir(empty.root()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList());
}

void tst_ItemRegist::itemsForAnAreaNeverArranged()
{
    auto* arrangement = qobject_cast<frmItemArrangement*>(m_main->openWindow(frmMain::Window::AreaArrangement));
    arrangement->findChild<QToolButton*>(QStringLiteral("Command5"))->click(); // area 0, never saved
    QCOMPARE(m_main->shownImage().selectedAreaIndex(), 0);
    clickMarker(*m_main, 0);
    QPointer<frmItemRegist> w = qobject_cast<frmItemRegist*>(m_main->openedWindow(frmMain::Window::ItemRegistration));
    add(w, QStringLiteral("tape"));
    button(w, "Command3")->click();
    QTRY_VERIFY(w.isNull());
    QCOMPARE(readBytes(areaFile(m_image, 0)), itemSections({"tape"}));
    // Not in use until the arrangement is saved.
    m_main->selectImage(m_image);
    QVERIFY(!m_main->shownImage().isShown(0));
}

void tst_ItemRegist::longItemSurvivesOpenAndSave()
{
    // 150 full-width characters (300 bytes), and 256 as the tooltip promises (512 bytes).
    const QByteArray long300 = QByteArray("\x83\x5c").repeated(150);
    const QByteArray long512 = QByteArray("\x88\x9f").repeated(256);
    const QByteArray file = itemSections({long300, "short", long512});
    QVERIFY(writeBytes(areaFile(m_image, 3), file));
    QPointer<frmItemRegist> w = open(3);
    QCOMPARE(w->rows().at(0), QStringLiteral("ソ").repeated(150));
    button(w, "Command3")->click();
    QTRY_VERIFY(w.isNull());
    QCOMPARE(readBytes(areaFile(m_image, 3)), file);
}

void tst_ItemRegist::failedSaveKeepsWindowAndRows()
{
    const QByteArray file = areaSection(true, 120, 10, 30, 30) + itemSections({"a", "b", "c", "d", "e"});
    QVERIFY(writeBytes(areaFile(m_image, 3), file));
    QPointer<frmItemRegist> w = open(3);
    setCurrentRow(list1(w), 0);
    kovra::MessageBoxRecorder boxes;
    button(w, "Command1")->click();
    add(w, QStringLiteral("f"));
    const QStringList rows = w->rows();
    boxes.clear();
    {
        fixture::FullDisk full;
        kovra::ScopedFileOps failing(&full);
        button(w, "Command3")->click();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(w);
    QVERIFY(w->isVisible());
    QCOMPARE(w->rows(), rows);
    QCOMPARE(boxes.requests().size(), size_t(1));
    QCOMPARE(boxes.requests()[0].icon, MessageBox::Icon::Critical);
    QVERIFY(boxes.requests()[0].text.startsWith(QStringLiteral("ｱｲﾃﾑを保存できませんでした．")));
    QCOMPARE(readBytes(areaFile(m_image, 3)), file);
    QCOMPARE(areaFiles(m_image), (QStringList{QStringLiteral("Area3.INI"), QStringLiteral("Area5.INI")}));

    button(w, "Command3")->click(); // the retry saves and closes
    QTRY_VERIFY(w.isNull());
    QCOMPARE(kovra::readItems(m_image, 3), rows);
}

void tst_ItemRegist::listFullIsRefused()
{
    // Sum is read back as a 16-bit number: a list one row longer would come back empty.
    QVERIFY(writeBytes(areaFile(m_image, 3), QByteArray("[ItemCount]\r\nSum=32767\r\n")));
    frmItemRegist* w = open(3);
    QCOMPARE(w->rows().size(), 32767);
    kovra::MessageBoxRecorder boxes;
    add(w, QStringLiteral("one more"));
    QCOMPARE(boxes.requests().size(), size_t(1));
    QCOMPARE(w->rows().size(), 32767);
    QCOMPARE(text1(w)->text(), QStringLiteral("one more"));
}

// What input methods type is stored in the code page's forms, and the search finds it by either form.
void tst_ItemRegist::typedFormsAreStoredInTheCodePage()
{
    QVERIFY(writeBytes(areaFile(m_image, 4), itemSections({"C:\\tmp"})));
    QPointer<frmItemRegist> w = open(3);
    add(w, QStringLiteral("〜−¥"));
    QCOMPARE(w->rows(), QStringList{QStringLiteral("～－\\")});
    button(w, "Command3")->click();
    QTRY_VERIFY(w.isNull());
    QCOMPARE(readBytes(areaFile(m_image, 3)),
             areaSection(true, 120, 10, 30, 30) + itemSections({"\x81\x60\x81\x7c\\"}));
    for (const QString& text : {QStringLiteral("〜"), QStringLiteral("～"), QStringLiteral("−"), QStringLiteral("¥")}) {
        const QList<kovra::SearchRow> rows = kovra::searchFolders({m_image}, kovra::Matcher(text));
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].hitAreaText(), text == QStringLiteral("¥") ? QStringLiteral(",3,4") : QStringLiteral(",3"));
    }
}

// An item is never taken for markup, neither in the list nor in the removal question.
void tst_ItemRegist::userTextIsPlain()
{
    QVERIFY(writeBytes(areaFile(m_image, 3), itemSections({"<b>pen</b>"})));
    frmItemRegist* w = open(3);
    QListView* list = list1(w);
    QCOMPARE(rowText(list, 0), QStringLiteral("<b>pen</b>"));
    QVERIFY(kovra::test::drawnAsPlainText(list, 0));
    kovra::MessageBoxRecorder boxes;
    boxes.answerNext(MessageBox::Answer::No);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rowRect(list, 0).center());
    button(w, "Command1")->click();
    QCOMPARE(boxes.requests().back().text, QStringLiteral("「<b>pen</b>」を削除します．よろしいですか？"));
}

// Rows the code page cannot decode are shown with their bad bytes marked and saved back as they were;
// only the rows the user typed are converted.
void tst_ItemRegist::undecodableRowsShownMarkedAndKept()
{
    const QByteArray file =
        areaSection(true, 120, 10, 30, 30) + itemSections({"a\x80z", "\xa0\xfd", "\x83", "\x81\x20x", "\x95\x5c\\"});
    QVERIFY(writeBytes(areaFile(m_image, 3), file));
    QPointer<frmItemRegist> w = open(3);
    const QStringList shown{QStringLiteral("a\\x80z"), QStringLiteral("\\xA0\\xFD"), QStringLiteral("\\x83"),
                            QStringLiteral("\\x81 x"), QStringLiteral("表\\")};
    QCOMPARE(w->rows(), shown);
    for (int i = 0; i < shown.size(); ++i)
        QCOMPARE(rowText(list1(w), i), shown[i]);
    add(w, QStringLiteral("\\x80"));
    kovra::MessageBoxRecorder boxes;
    button(w, "Command3")->click();
    QTRY_VERIFY(w.isNull());
    QVERIFY(boxes.requests().empty());
    QCOMPARE(readBytes(areaFile(m_image, 3)),
             areaSection(true, 120, 10, 30, 30) +
                 itemSections({"a\x80z", "\xa0\xfd", "\x83", "\x81\x20x", "\x95\x5c\\", "\\x80"}));
}

// A 10 MB item: shown shortened, saved whole, each step well under a second.
void tst_ItemRegist::veryLongItemOpensAndSavesQuickly()
{
    const QByteArray huge = QByteArray("\x83\x5c"
                                       "ab")
                                .repeated(10 * 1024 * 1024 / 4);
    const QByteArray file = itemSections({"short", huge, "last"});
    QVERIFY(writeBytes(areaFile(m_image, 3), file));
    QElapsedTimer clock;
    clock.start();
    QPointer<frmItemRegist> w = open(3);
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const qint64 opened = clock.restart();
    QCOMPARE(list1(w)->model()->rowCount(), 3);
    const QString row = rowText(list1(w), 1);
    QCOMPARE(row.size(), kovra::ItemRows::ShownLength + 1);
    QVERIFY(row.endsWith(QStringLiteral("…")));
    QVERIFY(row.startsWith(QStringLiteral("ソabソab")));
    add(w, QStringLiteral("new"));
    clock.restart();
    button(w, "Command3")->click();
    const qint64 saved = clock.elapsed();
    QTRY_VERIFY(w.isNull());
    QCOMPARE(readBytes(areaFile(m_image, 3)), itemSections({"short", huge, "last", "new"}));
    qInfo("10 MB item: opened in %lld ms, saved in %lld ms", opened, saved);
    QVERIFY2(opened < 1000, qPrintable(QString::number(opened)));
    QVERIFY2(saved < 1000, qPrintable(QString::number(saved)));
}

QTEST_MAIN(tst_ItemRegist)
#include "tst_itemregist.moc"
