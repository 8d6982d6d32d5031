// Unsaved area layouts on the main window: the question before anything reads the areas again, and undo
// and redo of the edits, with every window wired as the program wires them.
#include "EditWindows.h"
#include "FileOps.h"
#include "FixtureCatalogue.h"
#include "MainWindowProbe.h"
#include "MessageBox.h"
#include "ProfileFile.h"
#include "frmImageRsgist.h"
#include "frmItemArrangement.h"
#include "frmSearch.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

using kovra::MessageBox;
using kovra::MessageBoxRecorder;
using kovra::test::CatalogueBuilder;
using Answer = MessageBox::Answer;

namespace {

// A disk that refuses every write.
class FullDisk : public kovra::FileOps
{
public:
    bool writeFile(const QString&, const QByteArray&) override { return false; }
};

// Two images: "One" with area 0 holding a pen, "Two" with area 3 holding a pen case.
struct Program
{
    MessageBoxRecorder boxes;
    CatalogueBuilder cat;
    QString one, two;
    std::unique_ptr<frmMain> main;

    Program()
    {
        one = cat.addImage(QStringLiteral("20240101000000"), "One");
        cat.addArea(one, 0, true, QRect(10, 10, 40, 30), {QStringLiteral("pen")});
        two = cat.addImage(QStringLiteral("20240102000000"), "Two");
        cat.addArea(two, 3, true, QRect(50, 60, 20, 20), {QStringLiteral("pencase")});
        main = std::make_unique<frmMain>(cat.root());
        kovra::edit::installWindows(*main);
        main->setWindowFactory(frmMain::Window::Search, [m = main.get()] { return new frmSearch(m->catalogue(), *m); });
        main->setWindowFactory(frmMain::Window::ImageRegistration,
                               [m = main.get()] { return new frmImageRsgist(m->catalogue(), *m); });
        main->show();
        if (!QTest::qWaitForWindowExposed(main.get()))
            qFatal("window not exposed");
        activate(main.get());
    }

    static void activate(QWidget* w)
    {
        w->activateWindow();
        if (!QTest::qWaitForWindowActive(w))
            qFatal("window not active");
    }
    kovra::ShownImage& image() const { return main->shownImage(); }
    QComboBox* combo() const { return main->findChild<QComboBox*>(QStringLiteral("Combo1")); }
    frmItemArrangement* arrangement() const
    {
        return qobject_cast<frmItemArrangement*>(main->openWindow(frmMain::Window::AreaArrangement));
    }
    QString storedLeft(const QString& folder, int area) const
    {
        return kovra::ProfileFile::load(kovra::test::areaFile(folder, area)).read(u"Area", u"Left", u"", 16);
    }
    // Area 0 of One dragged by its middle 100 box pixels to the right: one gesture.
    void dragArea0()
    {
        QWidget* m = marker(*main, 0);
        mouse(m, QEvent::MouseButtonPress, {20, 15}, Qt::LeftButton, Qt::LeftButton);
        mouse(m, QEvent::MouseMove, {70, 15}, Qt::NoButton, Qt::LeftButton);
        mouse(m, QEvent::MouseMove, {120, 15}, Qt::NoButton, Qt::LeftButton);
        mouse(m, QEvent::MouseButtonRelease, {120, 15}, Qt::LeftButton, Qt::NoButton);
    }
    // Area 0 selected, then Shift-dragged on the picture through several moves: one gesture.
    void shiftDragArea0()
    {
        image().selectArea(0);
        QWidget* p = picture(*main);
        mouse(p, QEvent::MouseButtonPress, {300, 200}, Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
        for (int x = 60; x <= 100; x += 10)
            mouse(p, QEvent::MouseMove, QPointF(x, x), Qt::NoButton, Qt::LeftButton, Qt::ShiftModifier);
        mouse(p, QEvent::MouseButtonRelease, {100, 100}, Qt::LeftButton, Qt::NoButton, Qt::ShiftModifier);
    }
    // The questions about unsaved layouts asked so far.
    int questions() const
    {
        int n = 0;
        for (const MessageBox::Request& r : boxes.requests()) {
            if (r.buttons != MessageBox::Buttons::SaveDiscardCancel)
                continue;
            if (r.text != QStringLiteral("ｱｲﾃﾑｴﾘｱの配置が変更されています．保存しますか？") ||
                r.caption != QStringLiteral("ｱｲﾃﾑｴﾘｱの配置") || r.icon != MessageBox::Icon::Question)
                qFatal("another question: %s", qPrintable(r.text));
            ++n;
        }
        return n;
    }
};

// Chooses the second image as the user would: ↓ on the list, a wheel notch over it, or the mouse on the
// dropped-down list.
void chooseSecond(Program& p, const QString& way)
{
    QComboBox* combo = p.combo();
    if (way == u"mouse") {
        combo->showPopup();
        QAbstractItemView* view = combo->view();
        QTRY_VERIFY(view->isVisible());
        const QPoint at = view->visualRect(view->model()->index(1, 0)).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
        return;
    }
    Program::activate(p.main.get());
    combo->setFocus();
    QTRY_VERIFY(combo->hasFocus());
    if (way == u"key") {
        QTest::keyClick(combo, Qt::Key_Down);
    } else {
        QWheelEvent e(QPointF(5, 5), combo->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(combo, &e);
    }
}

} // namespace

class tst_LayoutGuard : public QObject
{
    Q_OBJECT

private slots:
    // Another image chosen in the list with an edited layout: キャンセル keeps the image, the list's entry and
    // the edits; 破棄 goes on and leaves the files; 保存 writes, then goes on.
    void choosingAnotherImageAsks_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<Answer>("answer");
        for (const char* way : {"key", "wheel", "mouse"}) {
            const QString w = QString::fromLatin1(way);
            QTest::addRow("%s, cancel", way) << w << Answer::Cancel;
            QTest::addRow("%s, discard", way) << w << Answer::Discard;
            QTest::addRow("%s, save", way) << w << Answer::Save;
        }
    }
    void choosingAnotherImageAsks()
    {
        QFETCH(QString, way);
        QFETCH(Answer, answer);
        Program p;
        p.dragArea0();
        QCOMPARE(p.image().areaRect(0), QRectF(110, 10, 40, 30));
        p.boxes.answerNext(answer);
        int listedWhileAsked = -1;
        const MessageBox::Handler recorder = MessageBox::setHandler({});
        MessageBox::setHandler([&](const MessageBox::Request& r) {
            listedWhileAsked = p.combo()->currentIndex();
            return recorder(r);
        });
        chooseSecond(p, way);
        MessageBox::setHandler(recorder);
        QCOMPARE(p.questions(), 1);
        QCOMPARE(listedWhileAsked, 0); // the image still shown
        if (answer == Answer::Cancel) {
            QCOMPARE(p.image().folder(), p.one);
            QCOMPARE(p.combo()->currentIndex(), 0);
            QCOMPARE(p.image().areaRect(0), QRectF(110, 10, 40, 30));
            QVERIFY(p.image().isModified());
            QVERIFY(p.image().canUndo());
        } else {
            QCOMPARE(p.image().folder(), p.two);
            QCOMPARE(p.combo()->currentIndex(), 1);
            QVERIFY(!p.image().canUndo());
        }
        QCOMPARE(p.storedLeft(p.one, 0), answer == Answer::Save ? QStringLiteral("110") : QStringLiteral("10"));
    }

    // Nothing to ask: no edit, edits undone back to the stored layout, or saved.
    void unchangedLayoutAsksNothing_data()
    {
        QTest::addColumn<QString>("before");
        QTest::newRow("nothing changed") << QStringLiteral("none");
        QTest::newRow("undone to the stored layout") << QStringLiteral("undone");
        QTest::newRow("saved by the arrangement window") << QStringLiteral("saved");
        QTest::newRow("selection and handle only") << QStringLiteral("selection");
    }
    void unchangedLayoutAsksNothing()
    {
        QFETCH(QString, before);
        Program p;
        if (before == u"undone") {
            p.dragArea0();
            p.shiftDragArea0();
            QTest::keyClick(p.main.get(), Qt::Key_Z, Qt::ControlModifier);
            QTest::keyClick(p.main.get(), Qt::Key_Z, Qt::ControlModifier);
        } else if (before == u"saved") {
            QPointer<frmItemArrangement> w = p.arrangement();
            w->findChild<QToolButton*>(QStringLiteral("Command5"))->click();
            w->findChild<QToolButton*>(QStringLiteral("Command1"))->click();
            QTRY_VERIFY(w.isNull());
        } else if (before == u"selection") {
            p.image().selectArea(0);
            p.image().showHandle();
            p.image().deselect();
        }
        chooseSecond(p, QStringLiteral("key"));
        QCOMPARE(p.questions(), 0);
        QCOMPARE(p.image().folder(), p.two);
    }

    // Show item reads its image again, also the one shown: it asks first.
    void showItemAsks_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<Answer>("answer");
        QTest::newRow("another image, cancel") << 1 << Answer::Cancel;
        QTest::newRow("the same image, cancel") << 0 << Answer::Cancel;
        QTest::newRow("the same image, discard") << 0 << Answer::Discard;
    }
    void showItemAsks()
    {
        QFETCH(int, row);
        QFETCH(Answer, answer);
        Program p;
        auto* w = qobject_cast<frmSearch*>(p.main->openWindow(frmMain::Window::Search));
        w->findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QStringLiteral("pen"));
        w->search();
        auto* list = w->findChild<QListView*>(QStringLiteral("List1"));
        QCOMPARE(list->model()->rowCount(), 2);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, 0)).center());
        p.dragArea0();
        p.boxes.answerNext(answer);
        w->showItem();
        QCOMPARE(p.questions(), 1);
        if (answer == Answer::Cancel) {
            QCOMPARE(p.image().folder(), p.one);
            QCOMPARE(p.image().areaRect(0), QRectF(110, 10, 40, 30));
            QVERIFY(!p.image().hit(0).frameShown);
        } else {
            QCOMPARE(p.image().areaRect(0), QRectF(10, 10, 40, 30));
            QVERIFY(p.image().hit(0).frameShown);
        }
    }

    // Closing the arrangement window without saving asks: キャンセル keeps it open with the new area, 破棄
    // reads the stored layout again, 保存 writes; "登録" saves without a question.
    void closingTheArrangementAsks_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<bool>("stillOpen");
        QTest::addColumn<bool>("area1Shown");
        QTest::addColumn<int>("questions");
        QTest::newRow("Command2, cancel") << QStringLiteral("Command2") << Answer::Cancel << true << true << 1;
        QTest::newRow("Esc, discard") << QStringLiteral("Esc") << Answer::Discard << false << false << 1;
        QTest::newRow("close box, save") << QStringLiteral("close") << Answer::Save << false << true << 1;
        QTest::newRow("Command1 saves") << QStringLiteral("Command1") << Answer::Cancel << false << true << 0;
    }
    void closingTheArrangementAsks()
    {
        QFETCH(QString, way);
        QFETCH(Answer, answer);
        QFETCH(bool, stillOpen);
        QFETCH(bool, area1Shown);
        QFETCH(int, questions);
        Program p;
        QPointer<frmItemArrangement> w = p.arrangement();
        w->findChild<QToolButton*>(QStringLiteral("Command5"))->click();
        QVERIFY(p.image().isShown(1));
        p.boxes.answerNext(answer);
        if (way == u"Esc")
            QTest::keyClick(w, Qt::Key_Escape);
        else if (way == u"close")
            w->close();
        else
            w->findChild<QToolButton*>(way)->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(p.questions(), questions);
        QCOMPARE(!w.isNull(), stillOpen);
        QCOMPARE(p.image().isShown(1), area1Shown);
        QCOMPARE(p.image().isModified(), stillOpen);
        QCOMPARE(QFile::exists(kovra::test::areaFile(p.one, 1)), !stillOpen && area1Shown);
    }

    // The end asks once, after "終了してもいいですか", also with the arrangement window open; a failed save
    // tells it and keeps the program running.
    void endingAsks_data()
    {
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<bool>("fullDisk");
        QTest::addColumn<bool>("ends");
        QTest::newRow("cancel") << Answer::Cancel << false << false;
        QTest::newRow("discard") << Answer::Discard << false << true;
        QTest::newRow("save") << Answer::Save << false << true;
        QTest::newRow("save on a full disk") << Answer::Save << true << false;
    }
    void endingAsks()
    {
        QFETCH(Answer, answer);
        QFETCH(bool, fullDisk);
        QFETCH(bool, ends);
        Program p;
        QPointer<frmItemArrangement> w = p.arrangement();
        p.shiftDragArea0();
        QCOMPARE(p.image().areaRect(0), QRectF(10, 10, 90, 90));
        QSignalSpy ending(p.main.get(), &frmMain::programEnding);
        p.boxes.answerNext(Answer::Yes);
        p.boxes.answerNext(answer);
        {
            FullDisk full;
            const kovra::ScopedFileOps failing(fullDisk ? &full : &kovra::FileOps::current());
            p.main->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(p.questions(), 1);
        QCOMPARE(ending.count(), ends ? 1 : 0);
        QCOMPARE(p.main->isVisible(), !ends);
        QCOMPARE(w.isNull(), ends);
        QCOMPARE(p.image().areaRect(0),
                 ends && answer == Answer::Discard ? QRectF(10, 10, 40, 30) : QRectF(10, 10, 90, 90));
        const auto& last = p.boxes.requests().back();
        QCOMPARE(last.icon == MessageBox::Icon::Critical, fullDisk);
        if (fullDisk)
            QVERIFY(last.text.startsWith(QStringLiteral("ｱｲﾃﾑｴﾘｱの配置を保存できませんでした．")));
    }

    // A registration or a deletion rebuilds the list, which shows its first image: asked first. Deleting
    // the shown image itself takes its edits along without a question.
    void registrationAndDeletionAsk()
    {
        Program p;
        p.dragArea0();
        auto* r = qobject_cast<frmImageRsgist*>(p.main->openWindow(frmMain::Window::ImageRegistration));
        QTemporaryDir source;
        const QString file = source.filePath(QStringLiteral("new.bmp"));
        QVERIFY(kovra::test::writeBytes(file, kovra::test::tinyBmp()));
        QCOMPARE(r->dropFile(file), kovra::DropCheck::Accepted);
        r->findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QStringLiteral("Three"));
        p.boxes.answerNext(Answer::Cancel);
        QVERIFY(!r->registerImage());
        QCOMPARE(p.questions(), 1);
        QCOMPARE(p.main->catalogue().imageList().size(), 2);
        QVERIFY(p.image().isModified());

        auto* list = r->findChild<QListView*>(QStringLiteral("List1"));
        list->setCurrentIndex(list->model()->index(1, 0)); // Two, not shown
        p.boxes.answerNext(Answer::Yes);
        p.boxes.answerNext(Answer::Cancel);
        r->deleteSelectedImage();
        QCOMPARE(p.questions(), 2);
        QVERIFY(QFile::exists(p.two));
        QVERIFY(p.image().isModified());

        list->setCurrentIndex(list->model()->index(0, 0)); // One, shown
        p.boxes.answerNext(Answer::Yes);
        r->deleteSelectedImage();
        QCOMPARE(p.questions(), 2);
        QVERIFY(!QFile::exists(p.one));
        QCOMPARE(p.image().folder(), p.two);
    }

    // Ctrl+Z undoes one gesture, Ctrl+Shift+Z and Ctrl+Y redo it, on the main window and on the
    // arrangement window alike.
    void undoKeysTakeOneGesture_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<bool>("inArrangement");
        QTest::addColumn<bool>("shiftZ"); // else Ctrl+Y
        QTest::addColumn<QRectF>("edited");
        const QRectF dragged(110, 10, 40, 30);
        const QRectF resized(10, 10, 90, 90);
        QTest::newRow("drag, main, Ctrl+Shift+Z") << QStringLiteral("drag") << false << true << dragged;
        QTest::newRow("Shift-drag, main, Ctrl+Y") << QStringLiteral("shift") << false << false << resized;
        QTest::newRow("Shift-drag, arrangement, Ctrl+Shift+Z") << QStringLiteral("shift") << true << true << resized;
        QTest::newRow("drag, arrangement, Ctrl+Y") << QStringLiteral("drag") << true << false << dragged;
    }
    void undoKeysTakeOneGesture()
    {
        QFETCH(QString, gesture);
        QFETCH(bool, inArrangement);
        QFETCH(bool, shiftZ);
        QFETCH(QRectF, edited);
        Program p;
        QWidget* keys = p.main.get();
        if (inArrangement) {
            keys = p.arrangement();
            // Clear of the picture's drop point, which must lie on the main window.
            keys->move(p.main->mapToGlobal(QPoint(p.main->width(), p.main->height())) - QPoint(keys->width(), 0));
            Program::activate(keys);
        }
        if (gesture == u"drag")
            p.dragArea0();
        else
            p.shiftDragArea0();
        QCOMPARE(p.image().areaRect(0), edited);
        QTest::keyClick(keys, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(p.image().areaRect(0), QRectF(10, 10, 40, 30));
        QVERIFY(!p.image().isModified());
        QVERIFY(!p.image().canUndo());
        if (shiftZ)
            QTest::keyClick(keys, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        else
            QTest::keyClick(keys, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(p.image().areaRect(0), edited);
        QCOMPARE(marker(*p.main, 0)->geometry(), edited.toRect());
        QVERIFY(p.image().isModified());
    }

    // After a choice by the mouse the keys go to the picture: ↓ then leaves the image alone. A choice by
    // the keys keeps them in the list.
    void mouseChoiceHandsTheKeysToThePicture()
    {
        Program p;
        chooseSecond(p, QStringLiteral("mouse"));
        QCOMPARE(p.image().folder(), p.two);
        QTRY_COMPARE(QApplication::focusWidget(), picture(*p.main));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
        QCOMPARE(p.image().folder(), p.two);

        p.combo()->setFocus();
        QTest::keyClick(p.combo(), Qt::Key_Up);
        QCOMPARE(p.image().folder(), p.one);
        QCOMPARE(QApplication::focusWidget(), p.combo());
    }
};

QTEST_MAIN(tst_LayoutGuard)
#include "tst_layoutguard.moc"
