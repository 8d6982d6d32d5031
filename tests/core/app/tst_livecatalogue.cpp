#include "Catalogue.h"
#include "FixtureCatalogue.h"
#include "ShownImage.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

using kovra::Catalogue;
using kovra::ShownImage;
using kovra::test::CatalogueBuilder;
using namespace Qt::StringLiterals;

namespace {

constexpr int Patience = 5000; // ms; the catalogue takes a change within a second

QStringList foldersOf(const Catalogue& c)
{
    QStringList names;
    for (const kovra::TitleEntry& e : c.imageList())
        names << QDir(e.folder).dirName();
    return names;
}

} // namespace

// The catalogue following changes made on disk by others while it runs.
class tst_LiveCatalogue : public QObject
{
    Q_OBJECT

private slots:
    // Folders made, removed and renamed from outside: the list follows, the shown image stays by folder.
    void listFollowsFolders_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<QString>("shownAfter");
        const QString a = QStringLiteral("20240101000000"), b = QStringLiteral("20240102000000"),
                      c = QStringLiteral("20240103000000");
        QTest::newRow("created before") << u"create 20230101000000"_s << QStringList{u"20230101000000"_s, a, b, c} << b;
        QTest::newRow("created after") << u"create 20250101000000"_s << QStringList{a, b, c, u"20250101000000"_s} << b;
        QTest::newRow("removed other") << u"remove "_s + a << QStringList{b, c} << b;
        QTest::newRow("renamed other") << u"rename "_s + c << QStringList{a, b, u"20240103000001"_s} << b;
        QTest::newRow("removed shown") << u"remove "_s + b << QStringList{a, c} << a; // the first, as after deletion
        QTest::newRow("renamed shown") << u"rename "_s + b << QStringList{a, u"20240102000001"_s, c} << a;
        QTest::newRow("title changed") << u"title "_s + c << QStringList{a, b, c} << b;
    }
    void listFollowsFolders()
    {
        QFETCH(QString, change);
        QFETCH(QStringList, expected);
        QFETCH(QString, shownAfter);
        CatalogueBuilder fx;
        for (const char* n : {"20240101000000", "20240102000000", "20240103000000"})
            fx.addImage(QString::fromLatin1(n), QByteArray("T") + n);
        Catalogue cat(fx.path());
        cat.rebuildImageList();
        cat.shownImage().chooseImage(fx.folder(QStringLiteral("20240102000000")));
        QVERIFY(cat.followDisk());
        QSignalSpy spy(&cat, &Catalogue::imageListChanged);
        bool followed = false;
        connect(&cat, &Catalogue::imageListChanged, this, [&] { followed = cat.listFollowedDisk(); });

        const QStringList words = change.split(u' ');
        const QString target = fx.folder(words[1]);
        if (words[0] == u"create") {
            fx.addImage(words[1], "New");
        } else if (words[0] == u"remove") {
            QVERIFY(QDir(target).removeRecursively());
        } else if (words[0] == u"rename") {
            QVERIFY(QDir().rename(target, target.chopped(1) + u'1'));
        } else {
            fx.write(words[1] + QStringLiteral("/IMAGE.INI"), "[ImageFile]\r\nTitle=Changed\r\n");
        }
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, Patience);
        QVERIFY(followed);
        QCOMPARE(foldersOf(cat), expected);
        QCOMPARE(QDir(cat.shownImage().folder()).dirName(), shownAfter);
        if (words[0] == u"title")
            QCOMPARE(cat.imageList().last().title, QStringLiteral("Changed"));
        const bool shownWent = shownAfter != u"20240102000000";
        QCOMPARE(cat.shownImage().notice().isEmpty(), !shownWent);
    }

    // A sync program writes a folder's files one after another: one change for the whole burst.
    void burstTakenOnce()
    {
        CatalogueBuilder fx;
        fx.addImage(QStringLiteral("20240101000000"), "A");
        Catalogue cat(fx.path());
        cat.rebuildImageList();
        QVERIFY(cat.followDisk());
        QSignalSpy spy(&cat, &Catalogue::imageListChanged);
        for (int i = 0; i < 5; ++i) {
            const QString name = QStringLiteral("2024020100000%1").arg(i);
            fx.makeImage(name, "B", QStringLiteral("p.png"));
            fx.makePicture(name + QStringLiteral("/p.png"), QSize(8, 8), Qt::red);
            fx.writeArea(name, 0, CatalogueBuilder::area("True", 1, 1, 4, 4));
        }
        QTRY_COMPARE_WITH_TIMEOUT(cat.imageList().size(), 6, Patience);
        QCOMPARE(spy.count(), 1);
    }

    // An area file changed elsewhere: read again when nothing here is unsaved; kept, with one notice, when
    // the layout here is modified. The program's own save changes nothing and says nothing.
    void shownAreasFollowDisk_data()
    {
        QTest::addColumn<bool>("modifiedHere");
        QTest::newRow("unmodified") << false;
        QTest::newRow("modified") << true;
    }
    void shownAreasFollowDisk()
    {
        QFETCH(bool, modifiedHere);
        CatalogueBuilder fx;
        const QString folder = fx.addImage(QStringLiteral("20240101000000"), "A");
        fx.writeArea(QStringLiteral("20240101000000"), 0, CatalogueBuilder::area("True", 10, 10, 50, 40));
        Catalogue cat(fx.path());
        cat.rebuildImageList();
        QVERIFY(cat.followDisk());
        ShownImage& m = cat.shownImage();
        m.chooseImage(folder);
        QVERIFY(m.isShown(0));
        if (modifiedHere)
            m.moveArea(0, QPointF(20, 20));
        QCOMPARE(m.isModified(), modifiedHere);
        fx.writeArea(QStringLiteral("20240101000000"), 3, CatalogueBuilder::area("True", 100, 50, 30, 30));
        if (!modifiedHere) {
            QTRY_VERIFY_WITH_TIMEOUT(m.isShown(3), Patience);
            QCOMPARE(m.areaRect(3), QRectF(100, 50, 30, 30));
            QVERIFY(m.notice().isEmpty());
            QCOMPARE(cat.saveArrangement(), kovra::WriteStatus::Ok);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT(!m.notice().isEmpty(), Patience);
            QVERIFY(!m.isShown(3));
            QCOMPARE(m.areaRect(0).topLeft(), QPointF(20, 20));
            QVERIFY(m.isModified());
            m.setNotice(QString());
            fx.writeArea(QStringLiteral("20240101000000"), 4, CatalogueBuilder::area("True", 1, 1, 5, 5));
            cat.takeDiskChanges();
            QVERIFY2(m.notice().isEmpty(), "told once per image");
        }
    }

    // A sync program's conflict copy arriving while the program runs: merged into the file, the copy gone,
    // the shown image showing the merged area, and the merge announced once.
    void arrivingConflictCopyMerged()
    {
        CatalogueBuilder fx;
        const QString name = QStringLiteral("20240101000000");
        const QString folder = fx.addImage(name, "A");
        fx.addArea(name, 0, true, QRect(10, 10, 50, 40), {u"pen"_s});
        Catalogue cat(fx.path());
        cat.rebuildImageList();
        QVERIFY(cat.followDisk());
        ShownImage& m = cat.shownImage();
        m.chooseImage(folder);
        QSignalSpy merged(&cat, &Catalogue::conflictCopiesMerged);
        const QString copy = u"Area0.sync-conflict-20261209-101010-ABCDEFG.INI"_s;
        fx.writeArea(name, 0,
                     CatalogueBuilder::area("True", 10, 10, 50, 40) +
                         "[ItemCount]\r\nSum=2\r\n[Items]\r\nItem0=pen\r\nItem1=ruler\r\n");
        QVERIFY(QFile::rename(folder + u"/Area0.INI"_s, folder + u"/"_s + copy));
        fx.addArea(name, 0, true, QRect(10, 10, 50, 40), {u"pen"_s, u"tape"_s});
        QTRY_COMPARE_WITH_TIMEOUT(merged.count(), 1, Patience);
        QVERIFY(!QFile::exists(folder + u"/"_s + copy));
        QCOMPARE(cat.readItems(folder, 0), (QList<QByteArray>{"pen", "tape", "ruler"}));
        const auto reports = merged.first().first().value<QList<kovra::ConflictMerge>>();
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports.first().itemsAdded, QList<QByteArray>{"ruler"});
        QVERIFY(m.isShown(0));
        QVERIFY(!m.isModified());
    }

    // IMAGE.INI names a picture not in the folder yet: arriving, markers shown; it shows once it lands.
    void arrivingPicture()
    {
        CatalogueBuilder fx;
        const QString folder = fx.makeImage(QStringLiteral("20240101000000"), "A", QStringLiteral("late.png"));
        fx.writeArea(QStringLiteral("20240101000000"), 2, CatalogueBuilder::area("True", 5, 5, 20, 20));
        Catalogue cat(fx.path());
        cat.rebuildImageList();
        QVERIFY(cat.followDisk());
        ShownImage& m = cat.shownImage();
        m.chooseImage(folder);
        QCOMPARE(m.pictureState(), ShownImage::PictureState::Arriving);
        QCOMPARE(m.pictureFile(), folder + QStringLiteral("/late.png"));
        QVERIFY(m.isShown(2));
        QVERIFY(!m.picture());
        // Half a file first: still arriving, not refused.
        const QByteArray png = kovra::test::picture(QStringLiteral("late.png"), QSize(40, 30), Qt::blue);
        fx.write(QStringLiteral("20240101000000/late.png"), png.left(10));
        cat.takeDiskChanges();
        QCOMPARE(m.pictureState(), ShownImage::PictureState::Arriving);
        fx.write(QStringLiteral("20240101000000/late.png"), png);
        QTRY_COMPARE_WITH_TIMEOUT(m.pictureState(), ShownImage::PictureState::Shown, Patience);
        QCOMPARE(m.picture()->uprightSize(), QSize(40, 30));
        QVERIFY(m.isShown(2));
    }

    // A picture present but broken is refused at once, as before.
    void presentBrokenPictureIsNotArriving()
    {
        CatalogueBuilder fx;
        const QString folder = fx.makeImage(QStringLiteral("20240101000000"), "A", QStringLiteral("b.jpg"));
        fx.write(QStringLiteral("20240101000000/b.jpg"), "not a picture");
        ShownImage m;
        m.chooseImage(folder);
        QCOMPARE(m.pictureState(), ShownImage::PictureState::Unreadable);
    }

    // The shown folder removed while its layout is unsaved: it stays shown, with the notice.
    void removedWithUnsavedEditsStays()
    {
        CatalogueBuilder fx;
        fx.addImage(QStringLiteral("20240101000000"), "A");
        const QString b = fx.addImage(QStringLiteral("20240102000000"), "B");
        Catalogue cat(fx.path());
        cat.rebuildImageList();
        QVERIFY(cat.followDisk());
        cat.shownImage().chooseImage(b);
        QVERIFY(cat.shownImage().openNewArea(QRectF(1, 1, 20, 20)) >= 0);
        QVERIFY(QDir(b).removeRecursively());
        QTRY_COMPARE_WITH_TIMEOUT(cat.imageList().size(), 1, Patience);
        QCOMPARE(cat.shownImage().folder(), b);
        QCOMPARE(cat.shownImage().notice(), QStringLiteral("この画像は他の場所で削除されました．"));
    }

    // A search walks the list as it was; changes noted during it are taken after it.
    void searchSeesIndexChangesAfterLiveDrain()
    {
        CatalogueBuilder fx;
        const QString a = fx.addImage(QStringLiteral("20240101000000"), "A");
        fx.addArea(QStringLiteral("20240101000000"), 0, true, QRect(1, 1, 9, 9), {QStringLiteral("pen")});
        Catalogue cat(fx.path());
        cat.rebuildImageList();
        QVERIFY(cat.followDisk());
        QCOMPARE(cat.search(QStringLiteral("pen")).size(), 1);
        QCOMPARE(cat.search(QStringLiteral("pen")).size(), 1); // from memory now
        fx.addArea(QStringLiteral("20240101000000"), 0, true, QRect(1, 1, 9, 9), {QStringLiteral("cup")});
        cat.takeDiskChanges(); // drained by the live catalogue, not by the search
        QCOMPARE(cat.search(QStringLiteral("pen")).size(), 0);
        QCOMPARE(cat.search(QStringLiteral("cup")).size(), 1);
        Q_UNUSED(a);
    }
};

QTEST_GUILESS_MAIN(tst_LiveCatalogue)
#include "tst_livecatalogue.moc"
