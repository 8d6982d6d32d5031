#include "FailingFileOps.h"
#include "FixtureCatalogue.h"
#include "FlatBlocksJpeg.h"
#include "PeakMemory.h"
#include "ProfileFile.h"
#include "ShownImage.h"
#include "TestPhotos.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImageWriter>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using kovra::ShownImage;
using kovra::test::CatalogueBuilder;
using State = ShownImage::AreaState;

class tst_ShownImage : public QObject
{
    Q_OBJECT

private:
    // Area 0 valid, area 2 with a Width that is no number, area 4 in use behind it.
    static QString brokenShelf(const CatalogueBuilder& fx)
    {
        const QString img = fx.makeImage(QStringLiteral("20240101000000"), "Shelf", QStringLiteral("p.png"));
        fx.makePicture(QStringLiteral("20240101000000/p.png"), QSize(320, 240), Qt::gray);
        fx.writeArea(QStringLiteral("20240101000000"), 0, CatalogueBuilder::area("True", 10, 10, 50, 40));
        fx.writeArea(QStringLiteral("20240101000000"), 2,
                     "[Area]\r\nVisible=True\r\nLeft=1\r\nTop=2\r\nWidth=abc\r\nHeight=4\r\n");
        fx.writeArea(QStringLiteral("20240101000000"), 4, CatalogueBuilder::area("True", 220, 20, 80, 80));
        return img;
    }

    // Areas 0 and 1 in use, the rest free.
    static QString editedShelf(const CatalogueBuilder& fx)
    {
        const QString img = fx.makeImage(QStringLiteral("20240101000000"), "Shelf");
        fx.writeArea(QStringLiteral("20240101000000"), 0, CatalogueBuilder::area("True", 12, 3, 40, 30));
        fx.writeArea(QStringLiteral("20240101000000"), 1, CatalogueBuilder::area("True", 60, 70, 80, 90));
        return img;
    }
    // Every area's state and stored numbers, to compare layouts exactly.
    static QStringList layoutOf(const ShownImage& m)
    {
        QStringList l;
        for (int i = 0; i < kovra::AreaCount; ++i) {
            const QRectF r = m.areaRect(i);
            l << QStringLiteral("%1:%2 %3 %4 %5 %6")
                     .arg(i)
                     .arg(int(m.area(i).state))
                     .arg(r.x(), 0, 'g', 17)
                     .arg(r.y(), 0, 'g', 17)
                     .arg(r.width(), 0, 'g', 17)
                     .arg(r.height(), 0, 'g', 17);
        }
        return l;
    }

private slots:
    // Each edit is one step: undo gives back the areas exactly, with the selection and handle of before;
    // redo the areas and selection of after. Undoing to the stored layout is no change.
    void undoAndRedoGiveBackTheStoredNumbers_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<int>("selectedAfter");
        QTest::addColumn<bool>("handleAfter");
        QTest::newRow("move") << QStringLiteral("move") << 1 << true;
        QTest::newRow("resize") << QStringLiteral("resize") << 1 << true;
        QTest::newRow("new area") << QStringLiteral("new") << 2 << true;
        QTest::newRow("delete") << QStringLiteral("delete") << 1 << false;
        QTest::newRow("hide all") << QStringLiteral("hide") << 1 << false;
    }
    void undoAndRedoGiveBackTheStoredNumbers()
    {
        QFETCH(QString, edit);
        QFETCH(int, selectedAfter);
        QFETCH(bool, handleAfter);
        CatalogueBuilder fx;
        ShownImage m;
        m.chooseImage(editedShelf(fx));
        m.selectArea(1);
        m.showHandle();
        QSignalSpy modified(&m, &ShownImage::modifiedChanged);
        const QStringList before = layoutOf(m);
        if (edit == u"move")
            m.moveArea(1, QPointF(1.0 / 3, -7)); // redone as the same single-precision value
        else if (edit == u"resize")
            m.setAreaRect(1, QRectF(60, 70, 100.1, 5));
        else if (edit == u"new")
            QCOMPARE(m.openNewArea(QRectF(0, 0, 150, 35)), 2);
        else if (edit == u"delete")
            QVERIFY(m.deleteSelectedArea());
        else
            m.hideAllAreas();
        const QStringList after = layoutOf(m);
        QVERIFY(after != before);
        QVERIFY(m.isModified());

        QVERIFY(m.undo());
        QCOMPARE(layoutOf(m), before);
        QVERIFY(!m.isModified());
        QCOMPARE(m.selectedAreaIndex(), 1);
        QVERIFY(m.isHandleShown());
        QVERIFY(!m.canUndo());
        QVERIFY(!m.undo());

        QVERIFY(m.redo());
        QCOMPARE(layoutOf(m), after);
        QVERIFY(m.isModified());
        QCOMPARE(m.selectedAreaIndex(), selectedAfter);
        QCOMPARE(m.isHandleShown(), handleAfter);
        QVERIFY(!m.canRedo());
        QCOMPARE(modified.count(), 3);
        QCOMPARE(modified.at(1).at(0).toBool(), false);
        QCOMPARE(modified.at(2).at(0).toBool(), true);
    }

    // The edits between the outermost beginEdit and endEdit are one step; outside a gesture each edit is
    // one; a new edit drops what could be redone; reading the image ends an open gesture.
    void gesturesMakeOneStep()
    {
        CatalogueBuilder fx;
        const QString img = editedShelf(fx);
        ShownImage m;
        m.chooseImage(img);
        const QStringList stored = layoutOf(m);

        m.beginEdit();
        for (int k = 1; k <= 20; ++k)
            m.setAreaRect(0, QRectF(12, 3, 40 + k, 30 + k));
        m.beginEdit();
        m.moveArea(1, QPointF(0, 0));
        m.endEdit();
        QVERIFY(!m.undo()); // not while the gesture is open
        m.endEdit();
        QVERIFY(m.undo());
        QCOMPARE(layoutOf(m), stored);
        QVERIFY(!m.canUndo());

        m.setAreaRect(0, QRectF(1, 1, 10, 10));
        const QStringList first = layoutOf(m);
        m.setAreaRect(0, QRectF(2, 2, 10, 10));
        QVERIFY(!m.canRedo());
        QVERIFY(m.undo());
        QCOMPARE(layoutOf(m), first);
        m.moveArea(1, QPointF(5, 5)); // drops the redo
        QVERIFY(!m.canRedo());
        QVERIFY(m.undo());
        QVERIFY(m.undo());
        QCOMPARE(layoutOf(m), stored);

        // A gesture without a visible change is no step; a stray endEdit does nothing.
        m.beginEdit();
        m.setAreaRect(0, m.areaRect(0));
        m.endEdit();
        m.endEdit();
        QVERIFY(!m.canUndo());

        m.beginEdit();
        m.setAreaRect(0, QRectF(3, 3, 3, 3));
        m.chooseImage(img); // the gesture's release never comes
        QVERIFY(!m.canUndo());
        m.setAreaRect(0, QRectF(4, 4, 4, 4));
        m.endEdit();
        QVERIFY(m.undo());
        QCOMPARE(layoutOf(m), stored);
    }

    // What is not an edit, or gives the stored layout back, leaves the image unmodified.
    void unmodifiedWhileTheLayoutIsTheStoredOne_data()
    {
        QTest::addColumn<QString>("what");
        QTest::newRow("selection, handle, hit marks") << QStringLiteral("marks");
        QTest::newRow("moved back by hand") << QStringLiteral("back");
        QTest::newRow("new area deleted again") << QStringLiteral("newdeleted");
    }
    void unmodifiedWhileTheLayoutIsTheStoredOne()
    {
        QFETCH(QString, what);
        CatalogueBuilder fx;
        ShownImage m;
        m.chooseImage(editedShelf(fx));
        QSignalSpy modified(&m, &ShownImage::modifiedChanged);
        if (what == u"marks") {
            m.selectArea(0);
            m.showHandle();
            m.showHitMark(1, {qint16(1), qint16(2), qint16(3), qint16(4)});
            m.deselect();
            QVERIFY(!m.canUndo());
        } else if (what == u"back") {
            m.moveArea(0, QPointF(20, 20));
            m.moveArea(0, QPointF(12, 3));
        } else {
            m.openNewArea(QRectF(0, 0, 150, 35));
            m.deleteSelectedArea();
        }
        QVERIFY(!m.isModified());
        QCOMPARE(modified.count() % 2, 0);
    }

    // Saving, reading and discarding make the layout the stored one and end the history; a failed save
    // keeps both.
    void savedLayoutEndsTheHistory_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("modifiedAfter");
        QTest::addColumn<QString>("area0Left"); // in the file afterwards
        QTest::newRow("save") << QStringLiteral("save") << false << QStringLiteral("99");
        QTest::newRow("failed save") << QStringLiteral("failedsave") << true << QStringLiteral("12");
        QTest::newRow("another image") << QStringLiteral("other") << false << QStringLiteral("12");
        QTest::newRow("the same image again") << QStringLiteral("same") << false << QStringLiteral("12");
        QTest::newRow("discard") << QStringLiteral("discard") << false << QStringLiteral("12");
        QTest::newRow("no image") << QStringLiteral("clear") << false << QStringLiteral("12");
    }
    void savedLayoutEndsTheHistory()
    {
        QFETCH(QString, how);
        QFETCH(bool, modifiedAfter);
        QFETCH(QString, area0Left);
        CatalogueBuilder fx;
        const QString img = editedShelf(fx);
        const QString other = fx.makeImage(QStringLiteral("20240102000000"), "Other");
        ShownImage m;
        m.chooseImage(img);
        const QStringList stored = layoutOf(m);
        m.moveArea(0, QPointF(99, 3));
        QVERIFY(m.isModified());
        if (how == u"save") {
            QCOMPARE(m.saveArrangement(), kovra::WriteStatus::Ok);
        } else if (how == u"failedsave") {
            kovra::test::FailingFileOps failing;
            failing.failWhen = [](const QString& op, const QString&) { return op == u"write"; };
            const kovra::ScopedFileOps scoped(&failing);
            QVERIFY(m.saveArrangement() != kovra::WriteStatus::Ok);
        } else if (how == u"other") {
            m.chooseImage(other);
        } else if (how == u"same") {
            m.chooseImage(img);
        } else if (how == u"discard") {
            m.discardEdits();
            QCOMPARE(layoutOf(m), stored);
        } else {
            m.clear();
        }
        QCOMPARE(m.isModified(), modifiedAfter);
        QCOMPARE(m.canUndo(), modifiedAfter);
        QCOMPARE(kovra::ProfileFile::load(kovra::test::areaFile(img, 0)).read(u"Area", u"Left", u"", 16), area0Left);
        if (how == u"save") {
            m.moveArea(0, QPointF(12, 3)); // the saved layout is the one on disk now
            QVERIFY(m.isModified());
        }
    }

    // Another writer changed areas this model left alone: the save keeps them and the model shows them
    // as its saved layout (no steps, not modified; moving one back is an edit). A change made here wins.
    void mergedSaveShowsTheOtherWritersAreas_data()
    {
        QTest::addColumn<QString>("here"); // "": nothing changed here
        QTest::addColumn<QStringList>("layoutAfter");
        QTest::addColumn<QList<int>>("named");
        const QString other1 = QStringLiteral("1:1 61 71 80 90");
        QTest::newRow("nothing here") << QString()
                                      << QStringList{QStringLiteral("0:1 12 3 40 30"), other1,
                                                     QStringLiteral("2:1 5 6 7 8")}
                                      << QList<int>{};
        QTest::newRow("area 0 moved here")
            << QStringLiteral("move0")
            << QStringList{QStringLiteral("0:1 99 3 40 30"), other1, QStringLiteral("2:1 5 6 7 8")} << QList<int>{};
        QTest::newRow("area 1 moved on both sides")
            << QStringLiteral("move1")
            << QStringList{QStringLiteral("0:1 12 3 40 30"), QStringLiteral("1:1 99 70 80 90"),
                           QStringLiteral("2:1 5 6 7 8")}
            << QList<int>{1};
        QTest::newRow("area 2 opened on both sides")
            << QStringLiteral("new")
            << QStringList{QStringLiteral("0:1 12 3 40 30"), other1, QStringLiteral("2:1 0 0 150 35")} << QList<int>{2};
    }
    void mergedSaveShowsTheOtherWritersAreas()
    {
        QFETCH(QString, here);
        QFETCH(QStringList, layoutAfter);
        QFETCH(QList<int>, named);
        CatalogueBuilder fx;
        const QString img = editedShelf(fx);
        ShownImage m;
        m.chooseImage(img);
        if (here == u"move0")
            m.moveArea(0, QPointF(99, 3));
        else if (here == u"move1")
            m.moveArea(1, QPointF(99, 70));
        else if (here == u"new")
            QCOMPARE(m.openNewArea(QRectF(0, 0, 150, 35)), 2);
        // The other writer: area 1 moved, area 2 opened.
        fx.writeArea(QStringLiteral("20240101000000"), 1, CatalogueBuilder::area("True", 61, 71, 80, 90));
        fx.writeArea(QStringLiteral("20240101000000"), 2, CatalogueBuilder::area("True", 5, 6, 7, 8));
        QSignalSpy changed(&m, &ShownImage::changed);
        QList<int> changedElsewhere{-1};
        QCOMPARE(m.saveArrangement(&changedElsewhere), kovra::WriteStatus::Ok);
        QCOMPARE(changedElsewhere, named);
        QVERIFY(changed.count() > 0);
        QCOMPARE(layoutOf(m).mid(0, 3), layoutAfter);
        QVERIFY(!m.isModified());
        QVERIFY(!m.canUndo());
        // What shows is what a fresh reading of the files shows.
        ShownImage fresh;
        fresh.chooseImage(img);
        QCOMPARE(layoutOf(fresh).mid(0, 3), layoutAfter);
        // The disk's state is the saved one: an edit away from it and back is measured against it.
        const QRectF r1 = m.areaRect(1);
        m.moveArea(1, QPointF(0, 0));
        QVERIFY(m.isModified());
        QVERIFY(m.undo());
        QCOMPARE(m.areaRect(1), r1);
        QVERIFY(!m.isModified());
        // A second save, with nobody else writing, names nothing, fractions included.
        m.setAreaRect(0, QRectF(10.5, 3, 187.5, 43.75));
        QCOMPARE(m.saveArrangement(&changedElsewhere), kovra::WriteStatus::Ok);
        QCOMPARE(changedElsewhere, QList<int>{});
        m.setAreaRect(1, QRectF(1, 2, 3, 4));
        QCOMPARE(m.saveArrangement(&changedElsewhere), kovra::WriteStatus::Ok);
        QCOMPARE(changedElsewhere, QList<int>{});
        QCOMPARE(m.areaRect(0), QRectF(10.5, 3, 187.5, 43.75));
    }

    // Areas the reader did not reach or could not read are neither shown nor free, and a save leaves
    // their files exactly as they are.
    void unreadAreasAreLeftAlone()
    {
        CatalogueBuilder fx;
        const QString img = brokenShelf(fx);
        const QByteArray area2 = fx.read(QStringLiteral("20240101000000/Area2.INI"));
        const QByteArray area4 = fx.read(QStringLiteral("20240101000000/Area4.INI"));
        ShownImage m;
        m.chooseImage(img);
        QCOMPARE(m.area(0).state, State::InUse);
        QCOMPARE(m.area(1).state, State::Free);
        for (int i = 2; i < kovra::AreaCount; ++i) {
            QCOMPARE(m.area(i).state, State::Unread);
            QVERIFY(!m.isShown(i));
        }
        QCOMPARE(m.freeCount(), 1);
        QCOMPARE(m.openNewArea(QRectF(0, 0, 150, 35)), 1);
        QCOMPARE(m.openNewArea(QRectF(0, 0, 150, 35)), -1); // never an unread area's index
        QCOMPARE(m.saveArrangement(), kovra::WriteStatus::Ok);
        QCOMPARE(fx.read(QStringLiteral("20240101000000/Area2.INI")), area2);
        QCOMPARE(fx.read(QStringLiteral("20240101000000/Area4.INI")), area4);
        QVERIFY(!QFile::exists(fx.folder(QStringLiteral("20240101000000/Area5.INI"))));
        QVERIFY(fx.read(QStringLiteral("20240101000000/Area1.INI")).contains("Visible=True\r\nLeft=0"));
    }

    // Whatever the previous image had in use, the new image's unread areas are unread.
    void previousFlagsNeverLeak()
    {
        CatalogueBuilder fx;
        const QString first = fx.makeImage(QStringLiteral("20240100000000"), "First");
        for (int i = 0; i < kovra::AreaCount; ++i)
            fx.writeArea(QStringLiteral("20240100000000"), i, CatalogueBuilder::area("True", i, i, 5, 5));
        const QString second = brokenShelf(fx);
        ShownImage m;
        m.chooseImage(first);
        QCOMPARE(m.freeCount(), 0);
        m.chooseImage(second);
        QCOMPARE(m.area(1).state, State::Free);
        QCOMPARE(m.area(3).state, State::Unread);
        QVERIFY(!m.isShown(3));
    }

    // The handle shows only at a shown marker; the selection itself stays.
    void handleOnlyAtAShownMarker()
    {
        CatalogueBuilder fx;
        const QString one = fx.makeImage(QStringLiteral("20240101000000"), "One");
        fx.writeArea(QStringLiteral("20240101000000"), 3, CatalogueBuilder::area("True", 5, 5, 20, 20));
        const QString two = fx.makeImage(QStringLiteral("20240102000000"), "Two");
        ShownImage m;
        m.chooseImage(one);
        m.selectArea(3);
        m.showHandle();
        QVERIFY(m.isHandleShown());
        m.chooseImage(two);
        QCOMPARE(m.selectedAreaIndex(), 3);
        m.showHandle();
        QVERIFY(!m.isHandleShown());
        QVERIFY(!m.deleteSelectedArea());
    }

    void deleteFreesTheSelectedArea()
    {
        CatalogueBuilder fx;
        const QString img = fx.makeImage(QStringLiteral("20240101000000"), "One");
        fx.writeArea(QStringLiteral("20240101000000"), 2, CatalogueBuilder::area("True", 5, 6, 20, 30));
        ShownImage m;
        m.chooseImage(img);
        m.selectArea(2);
        m.showHandle();
        QVERIFY(m.deleteSelectedArea());
        QCOMPARE(m.area(2).state, State::Free);
        QCOMPARE(m.areaRect(2), QRectF(5, 6, 20, 30)); // kept for the save
        QCOMPARE(m.selectedAreaIndex(), 2);
        QVERIFY(!m.isHandleShown());
        QCOMPARE(m.firstFree(), 0);
    }

    // Page Down and Page Up go through the shown areas 2, 5 and 17 in index order, round and round;
    // from no selection they start at an end, from a hidden one at its neighbours.
    void pageKeysStepThroughShownAreas_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("step");
        QTest::addColumn<int>("expected");
        QTest::newRow("none, down") << -1 << 1 << 2;
        QTest::newRow("none, up") << -1 << -1 << 17;
        QTest::newRow("2, down") << 2 << 1 << 5;
        QTest::newRow("5, up") << 5 << -1 << 2;
        QTest::newRow("17, down: wraps") << 17 << 1 << 2;
        QTest::newRow("2, up: wraps") << 2 << -1 << 17;
        QTest::newRow("hidden 9, down") << 9 << 1 << 17;
        QTest::newRow("hidden 9, up") << 9 << -1 << 5;
    }
    void pageKeysStepThroughShownAreas()
    {
        QFETCH(int, selected);
        QFETCH(int, step);
        QFETCH(int, expected);
        CatalogueBuilder fx;
        const QString img = fx.makeImage(QStringLiteral("20240101000000"), "One");
        for (int i : {2, 5, 17})
            fx.writeArea(QStringLiteral("20240101000000"), i, CatalogueBuilder::area("True", i, i, 10, 10));
        fx.writeArea(QStringLiteral("20240101000000"), 9, CatalogueBuilder::area("False", 9, 9, 10, 10));
        ShownImage m;
        m.chooseImage(img);
        m.selectArea(selected);
        QCOMPARE(m.selectNextShownArea(step), expected);
        QCOMPARE(m.selectedAreaIndex(), expected);
        QVERIFY(m.isHandleShown());
    }

    void pageKeysWithoutShownAreas()
    {
        ShownImage m;
        m.selectArea(4);
        QCOMPARE(m.selectNextShownArea(1), -1);
        QCOMPARE(m.selectedAreaIndex(), 4);
        QVERIFY(!m.isHandleShown());
    }

    // The arrow keys work in the upright photo, stored in the file's grid: on a photo turned right
    // (orientation 6, 120 x 80 in the file, 80 x 120 upright) file area (10, 20, 30, 40) is upright
    // (20, 10, 40, 30), and a step right on screen is a step up in the file. The photo bounds the upright
    // rectangle; Ctrl resizes by the upright bottom-right corner down to the minimum.
    void keysMoveAndResizeUpright_data()
    {
        QTest::addColumn<bool>("resize");
        QTest::addColumn<QPointF>("delta");
        QTest::addColumn<int>("times");
        QTest::addColumn<QRectF>("expected");
        QTest::newRow("right 1") << false << QPointF(1, 0) << 1 << QRectF(10, 19, 30, 40);
        QTest::newRow("down 10") << false << QPointF(0, 10) << 1 << QRectF(20, 20, 30, 40);
        QTest::newRow("right 10, three times: stops at the edge")
            << false << QPointF(10, 0) << 3 << QRectF(10, 0, 30, 40);
        QTest::newRow("up 10, twice: stops at the top") << false << QPointF(0, -10) << 2 << QRectF(0, 20, 30, 40);
        QTest::newRow("wider by 5") << true << QPointF(5, 0) << 1 << QRectF(10, 15, 30, 45);
        QTest::newRow("taller by 10") << true << QPointF(0, 10) << 1 << QRectF(10, 20, 40, 40);
        QTest::newRow("narrower to the minimum") << true << QPointF(-10, 0) << 5 << QRectF(10, 59, 30, 1);
        QTest::newRow("wider to the edge") << true << QPointF(10, 0) << 4 << QRectF(10, 0, 30, 60);
    }
    void keysMoveAndResizeUpright()
    {
        QFETCH(bool, resize);
        QFETCH(QPointF, delta);
        QFETCH(int, times);
        QFETCH(QRectF, expected);
        CatalogueBuilder fx;
        const QString img = fx.makeImage(QStringLiteral("20240101000000"), "Turned", QStringLiteral("p.jpg"));
        QVERIFY(photos::writeJpeg(fx.folder(QStringLiteral("20240101000000/p.jpg")), photos::shelf(QSize(120, 80)), 6));
        fx.writeArea(QStringLiteral("20240101000000"), 3, CatalogueBuilder::area("True", 10, 20, 30, 40));
        ShownImage m;
        m.chooseImage(img);
        QCOMPARE(m.picture()->uprightSize(), QSize(80, 120));
        m.selectArea(3);
        m.showHandle();
        for (int k = 0; k < times; ++k)
            QVERIFY(resize ? m.resizeSelectedArea(delta) : m.nudgeSelectedArea(delta));
        QCOMPARE(m.areaRect(3), expected);
        QVERIFY(m.isHandleShown());
    }

    // The keys act on the area whose handle shows; without a picture nothing bounds it.
    void keysNeedTheHandle()
    {
        ShownImage m;
        QCOMPARE(m.openNewArea(QRectF(5, 5, 20, 20)), 0);
        m.hideHandle();
        QVERIFY(!m.nudgeSelectedArea(QPointF(1, 0)));
        QVERIFY(!m.resizeSelectedArea(QPointF(1, 0)));
        QCOMPARE(m.areaRect(0), QRectF(5, 5, 20, 20));
        m.showHandle();
        QVERIFY(m.nudgeSelectedArea(QPointF(-10, 0)));
        QCOMPARE(m.areaRect(0), QRectF(-5, 5, 20, 20));
    }

    // Rectangles are kept as single-precision values, as the area files store them.
    void rectanglesAreSinglePrecision()
    {
        ShownImage m;
        m.setAreaRect(0, QRectF(0.1, 1e-9, 3, 4));
        QCOMPARE(m.areaRect(0).x(), double(0.1f));
        m.moveArea(0, QPointF(1.0 / 3, 2));
        QCOMPARE(m.areaRect(0).x(), double(float(1.0 / 3)));
        QCOMPARE(m.areaRect(0).y(), 2.0);
        QCOMPARE(m.areaRect(0).size(), QSizeF(3, 4));
    }

    // Show item: the image chosen, its hits marked in list order, the animation running.
    void showHitsOfAResultRow()
    {
        CatalogueBuilder fx;
        const QString img = fx.makeImage(QStringLiteral("20240101000000"), "One", QStringLiteral("p.png"));
        fx.makePicture(QStringLiteral("20240101000000/p.png"), QSize(400, 300), Qt::gray);
        fx.writeArea(QStringLiteral("20240101000000"), 5, CatalogueBuilder::area("False", 300, 200, 40, 30));
        fx.writeArea(QStringLiteral("20240101000000"), 2, CatalogueBuilder::area("True", 10, 20, 30, 40));
        ShownImage m;
        QSignalSpy chosen(&m, &ShownImage::imageChosen);
        m.showHitsOf(img, {5, 2});
        QCOMPARE(chosen.count(), 1);
        QCOMPARE(m.pictureState(), ShownImage::PictureState::Shown);
        QVERIFY(m.hit(5).frameShown && m.hit(5).iconShown && m.hit(2).frameShown);
        QCOMPARE(m.hit(5).frame, QRectF(300, 200, 40, 30)); // Visible is not read for hits
        QCOMPARE(m.hitBounds(true), QRectF(300, 200, 40, 30));
        QCOMPARE(m.hitBounds(false), QRectF(10, 20, 330, 210));
        QVERIFY(m.isAnimating());
        m.chooseImage(img);
        QVERIFY(!m.isAnimating());
        QVERIFY(!m.hit(5).frameShown && !m.hit(5).iconShown);
        // Showing the same unchanged picture again keeps its decoded picture: no second decode.
        const auto picture = m.picture();
        m.showHitsOf(img, {2});
        QCOMPARE(m.picture(), picture);
    }

    // A picture that cannot be shown leaves no photo behind, only the name of the refused file.
    void unreadablePictureLeavesNoPhoto()
    {
        CatalogueBuilder fx;
        const QString good = fx.makeImage(QStringLiteral("20240101000000"), "Good", QStringLiteral("a.png"));
        fx.makePicture(QStringLiteral("20240101000000/a.png"), QSize(30, 30), Qt::red);
        const QString broken = fx.makeImage(QStringLiteral("20240102000000"), "Broken", QStringLiteral("b.jpg"));
        fx.write(QStringLiteral("20240102000000/b.jpg"), "not a picture");
        ShownImage m;
        m.chooseImage(good);
        QVERIFY(m.picture());
        m.chooseImage(broken);
        QVERIFY(!m.picture());
        QCOMPARE(m.pictureState(), ShownImage::PictureState::Unreadable);
        QCOMPARE(QFileInfo(m.pictureFile()).fileName(), QStringLiteral("b.jpg"));
        QCOMPARE(m.folder(), broken);
    }
    // A small file that declares a huge picture. A progressive or several-scan one would make libjpeg hold
    // every coefficient of the whole picture: it is refused at once with the notice. A baseline one is still
    // shown at fit, and so is a progressive photo of an ordinary size. Run in a child process whose address
    // space may grow by 3 GiB at most.
    void hugeDeclaredSize_data()
    {
        QTest::addColumn<QByteArray>("jpeg");
        QTest::addColumn<bool>("shown");
        QByteArray progressive;
        {
            QBuffer buffer(&progressive);
            buffer.open(QIODevice::WriteOnly);
            QImageWriter writer(&buffer, "jpeg");
            writer.setProgressiveScanWrite(true);
            QVERIFY(writer.write(photos::shelf(QSize(2000, 1500))));
        }
        const QByteArray baseline = photos::jpegBytes(photos::shelf(QSize(2000, 1500)));
        const QByteArray cmyk =
            kovra::test::flatBlocksJpeg(16, 16, 4, 0, [](int c, int x, int y) { return (c * 60 + x * 8 + y) & 255; });
        using kovra::test::withDeclaredSize;
        QTest::newRow("progressive 2000x1500") << progressive << true;
        QTest::newRow("progressive 30000x30000") << withDeclaredSize(progressive, QSize(30000, 30000)) << false;
        QTest::newRow("progressive 65500x65500") << withDeclaredSize(progressive, QSize(65500, 65500)) << false;
        QTest::newRow("CMYK progressive 20000x20000") << withDeclaredSize(cmyk, QSize(20000, 20000), true) << false;
        QTest::newRow("CMYK progressive 65500x65500") << withDeclaredSize(cmyk, QSize(65500, 65500), true) << false;
        QTest::newRow("baseline 30000x30000") << withDeclaredSize(baseline, QSize(30000, 30000)) << true;
    }
    void hugeDeclaredSize()
    {
        QFETCH(QByteArray, jpeg);
        QFETCH(bool, shown);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("huge.jpg"));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(jpeg) == jpeg.size());
        }
        const kovra::test::ChildRun run = kovra::test::runInChild(
            [&] {
                QElapsedTimer timer;
                timer.start();
                ShownImage m;
                m.showPicture(path);
                bool decoded = false;
                if (const auto picture = m.picture()) {
                    const QSize upright = picture->uprightSize();
                    decoded = !picture->image(std::min(640.0 / upright.width(), 480.0 / upright.height())).isNull();
                }
                return QByteArray::number(int(m.pictureState())) + ' ' + (decoded ? '1' : '0') + ' ' +
                       QByteArray::number(timer.elapsed());
            },
            qint64(3) << 30);
        QVERIFY(run.finished);
        const QList<QByteArray> out = run.output.split(' ');
        QCOMPARE(out.size(), 3);
        const auto state = ShownImage::PictureState(out[0].toInt());
        qInfo("peak %ld MiB, %s ms", run.peakKib / 1024, out[2].constData());
        QVERIFY2(qint64(run.peakKib) * 1024 < kovra::PictureSource::MemoryBudget,
                 qPrintable(QString::number(run.peakKib)));
        if (shown) {
            QCOMPARE(state, ShownImage::PictureState::Shown);
            QCOMPARE(out[1], QByteArray("1"));
        } else {
            QCOMPARE(state, ShownImage::PictureState::Unreadable);
            QVERIFY2(out[2].toInt() < 2000, out[2].constData());
        }
    }
};

QTEST_GUILESS_MAIN(tst_ShownImage)
#include "tst_shownimage.moc"
