// The catalogue object without any window: the lists it keeps, the rules it checks, the operations that
// change the disk and what they announce.
#include "Catalogue.h"
#include "FailingFileOps.h"
#include "FixtureCatalogue.h"
#include "ItemRows.h"
#include "PictureSource.h"
#include "SearchIndex.h"
#include "ShownImage.h"
#include "TestPhotos.h"

#include <QFileInfo>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace kovra;
using namespace kovra::test;
using namespace Qt::StringLiterals;

class tst_Catalogue : public QObject
{
    Q_OBJECT

private slots:
    void imageListFollowsTheDisk()
    {
        CatalogueBuilder cat;
        const QString a = cat.addImage(u"20240101000000"_s, cp932(u"棚"_s));
        cat.makeFolder(u"manual"_s);
        Catalogue catalogue(cat.path());
        QSignalSpy changed(&catalogue, &Catalogue::imageListChanged);
        catalogue.rebuildImageList();
        QCOMPARE(changed.count(), 1);
        QCOMPARE(catalogue.folderList().size(), 2); // the manual folder is listed, not titled
        QCOMPARE(catalogue.imageList().size(), 1);
        QCOMPARE(catalogue.imageList().front().title, u"棚"_s);
        QVERIFY(catalogue.isListed(a));

        catalogue.shownImage().chooseImage(a);
        QVERIFY(catalogue.deleteImage(a));
        QCOMPARE(changed.count(), 2);
        QVERIFY(!catalogue.isListed(a));
        QVERIFY(catalogue.shownImage().folder().isEmpty()); // the last image gone: nothing is shown
    }

    void dropChecks_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<DropCheck>("expected");
        QTest::newRow("bmp") << u"shelf.bmp"_s << tinyBmp() << DropCheck::Accepted;
        QTest::newRow("gif by name") << u"anim.GIF"_s << tinyBmp() << DropCheck::RefusedByExtension;
        QTest::newRow("gif by content") << u"anim.bmp"_s << QByteArray("GIF89a") << DropCheck::RefusedByContent;
        QTest::newRow("outside the code page") << u"caf\u00e9.bmp"_s << tinyBmp() << DropCheck::UnstorableName;
        QTest::newRow("blank at the end") << u"shelf.bmp "_s << tinyBmp() << DropCheck::BlankAroundName;
        // What the main window could not show is refused last: the GIF tests and their messages come first.
        QTest::newRow("png") << u"shelf.png"_s << picture(u"x.png"_s, QSize(3, 2), Qt::red) << DropCheck::Accepted;
        QTest::newRow("jpeg named bmp") << u"shelf.bmp"_s << tinyJpeg() << DropCheck::Accepted;
        QTest::newRow("text") << u"notes.jpg"_s << QByteArray("shelf\r\n") << DropCheck::Undecodable;
        QTest::newRow("empty") << u"empty.png"_s << QByteArray() << DropCheck::Undecodable;
        QTest::newRow("header cut short") << u"cut.bmp"_s << tinyBmp().left(20) << DropCheck::Undecodable;
        QTest::newRow("past the memory budget") << u"huge.bmp"_s << bmpHeader(20000, 20000) << DropCheck::Undecodable;
        QTest::newRow("gif content before decoding")
            << u"anim.jpg"_s << QByteArray("GIF89a\x01") << DropCheck::RefusedByContent;
        QTest::newRow("name before decoding") << u"caf\u00e9.txt"_s << QByteArray("x") << DropCheck::UnstorableName;
    }
    void dropChecks()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(DropCheck, expected);
        CatalogueBuilder cat;
        QTemporaryDir source;
        const QString path = source.filePath(name);
        QVERIFY(writeBytes(path, bytes));
        QCOMPARE(Catalogue(cat.path()).checkDroppedFile(path), expected);
        QCOMPARE(Catalogue(cat.path()).checkDroppedFile(source.path()), DropCheck::Ignored);
    }

    // A pasted picture becomes a PNG file named for the time of the paste, which the drop check accepts and a
    // registration copies into the new image folder under that name, pixel for pixel.
    void pastedPictureRegisters()
    {
        CatalogueBuilder cat;
        Catalogue catalogue(cat.path());
        QImage image(7, 5, QImage::Format_ARGB32);
        image.fill(QColor(10, 200, 30, 128));
        image.setPixelColor(6, 4, Qt::blue);
        const QDateTime when(QDate(2024, 1, 2), QTime(3, 4, 5));
        const PastedPicture first = catalogue.stagePastedPicture(image, when);
        QCOMPARE(first.status, PastedPicture::Status::Ok);
        QCOMPARE(QFileInfo(first.path).fileName(), u"20240102030405.png"_s);
        QVERIFY(!first.path.startsWith(cat.path())); // nothing of it in the program folder
        const PastedPicture second = catalogue.stagePastedPicture(image, when);
        QCOMPARE(QFileInfo(second.path).fileName(), u"20240102030405-2.png"_s);
        QCOMPARE(QImage(first.path), image);
        QCOMPARE(catalogue.checkDroppedFile(first.path), DropCheck::Accepted);

        const CreateResult result = catalogue.registerImage(first.path, u"貼り付け"_s);
        QCOMPARE(result.error, CreateError::None);
        QCOMPARE(fileNames(result.folder), (QStringList{u"20240102030405.png"_s, u"IMAGE.INI"_s}));
        QCOMPARE(QImage(result.folder + u"/20240102030405.png"_s), image);
        QCOMPARE(catalogue.imageList().size(), 1);
    }

    // A phone photo stored turned (HEIC, irot): registered as its own bytes, shown upright, and an area drawn
    // over its upright picture reads back onto the same pixels.
    void turnedHeicKeepsItsBytesAndGrid()
    {
        QImage picture(64, 40, QImage::Format_RGB32);
        picture.fill(Qt::white);
        const QByteArray heic = photos::heifBytes(picture, {.orientation = 6});
        if (heic.isEmpty())
            QSKIP("libheif cannot encode HEIC here");
        CatalogueBuilder cat;
        QTemporaryDir elsewhere;
        const QString source = elsewhere.filePath(u"phone.heic"_s);
        QFile f(source);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(heic);
        f.close();
        Catalogue catalogue(cat.path());
        QCOMPARE(catalogue.checkDroppedFile(source), DropCheck::Accepted);
        const CreateResult result = catalogue.registerImage(source, u"棚"_s);
        QCOMPARE(result.error, CreateError::None);
        QCOMPARE(readBytes(result.folder + u"/phone.heic"_s), heic); // never converted

        cat.addArea(QFileInfo(result.folder).fileName(), 0, true, QRect(4, 50, 30, 10), {u"電池"_s});
        ShownImage& shown = catalogue.shownImage();
        shown.chooseImage(result.folder);
        QCOMPARE(shown.pictureState(), ShownImage::PictureState::Shown);
        QCOMPARE(shown.picture()->fileSize(), QSize(40, 64)); // the grid of the areas: upright
        QCOMPARE(shown.picture()->orientation(), 1);
        QCOMPARE(shown.picture()->image(1.0).size(), QSize(40, 64));
        QVERIFY(shown.isShown(0));
        QCOMPARE(shown.areaRect(0), QRectF(4, 50, 30, 10));
        QVERIFY(QRectF(QPointF(), QSizeF(shown.picture()->uprightSize())).contains(shown.areaRect(0)));
    }

    void pastedPictureFailures()
    {
        CatalogueBuilder cat;
        Catalogue catalogue(cat.path());
        QCOMPARE(catalogue.stagePastedPicture(QImage()).status, PastedPicture::Status::NoPicture);
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        FailingFileOps ops;
        QString written;
        ops.failWhen = [&written](const QString& op, const QString& path) {
            written = path;
            return op == u"write";
        };
        {
            const ScopedFileOps scope(&ops);
            const PastedPicture pasted = catalogue.stagePastedPicture(image);
            QCOMPARE(pasted.status, PastedPicture::Status::WriteFailed);
            QVERIFY(pasted.path.isEmpty());
        }
        QVERIFY(!written.isEmpty());
        QVERIFY(!QFileInfo::exists(written)); // the half-written file is gone
        QCOMPARE(catalogue.stagePastedPicture(image).status, PastedPicture::Status::Ok); // the disk is back
    }

    void titleChecks_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<TitleCheck>("expected");
        QTest::newRow("new") << u"押入れ"_s << TitleCheck::Ok;
        QTest::newRow("empty") << QString() << TitleCheck::Empty;
        QTest::newRow("taken") << u"棚"_s << TitleCheck::Taken;
        QTest::newRow("emoji") << u"棚\U0001F600"_s << TitleCheck::Unstorable;
        QTest::newRow("line break") << u"棚\n2"_s << TitleCheck::Unstorable;
        QTest::newRow("blank around") << u" 棚2"_s << TitleCheck::ChangedByReader;
        QTest::newRow("quoted") << u"\"棚2\""_s << TitleCheck::ChangedByReader;
        QTest::newRow("typed wave dash maps") << u"A\u301CB"_s << TitleCheck::Ok;
    }
    void titleChecks()
    {
        QFETCH(QString, typed);
        QFETCH(TitleCheck, expected);
        const QList<TitleEntry> listed{{u"棚"_s, u"/x/1"_s, 0}};
        QCOMPARE(Catalogue::checkTitle(Catalogue::titleOf(typed), listed), expected);
    }

    void itemChecks_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("rows");
        QTest::addColumn<ItemCheck::Status>("status");
        QTest::addColumn<QString>("character");
        QTest::newRow("plain") << u"鍵"_s << 0 << ItemCheck::Status::Ok << QString();
        QTest::newRow("empty is an item") << QString() << 0 << ItemCheck::Status::Ok << QString();
        QTest::newRow("line break") << u"a\rb"_s << 0 << ItemCheck::Status::LineBreak << QString();
        QTest::newRow("nul") << u"a\0b"_s << 0 << ItemCheck::Status::LineBreak << QString();
        QTest::newRow("first bad character")
            << u"a\u00e9\U0001F600"_s << 0 << ItemCheck::Status::Unencodable << u"\u00e9"_s;
        QTest::newRow("surrogate pair") << u"a\U0001F600"_s << 0 << ItemCheck::Status::Unencodable << u"\U0001F600"_s;
        QTest::newRow("list full") << u"鍵"_s << Catalogue::MaxItems << ItemCheck::Status::TooMany << QString();
    }
    void itemChecks()
    {
        QFETCH(QString, typed);
        QFETCH(int, rows);
        QFETCH(ItemCheck::Status, status);
        QFETCH(QString, character);
        const ItemCheck check = Catalogue::checkItem(typed, rows);
        QCOMPARE(check.status, status);
        QCOMPARE(check.character, character);
        if (status == ItemCheck::Status::Ok)
            QCOMPARE(check.bytes, cp932(typed));
    }

    // The rows keep their bytes through a save, and the index and the scan give the same answer.
    // Two catalogues on one program folder, as two computers syncing it: each save merges with what the
    // other saved since it read, and says which areas both changed.
    void twoCataloguesOnOneFolder()
    {
        CatalogueBuilder cat;
        const QString image = cat.addImage(u"20240101000000"_s, cp932(u"棚"_s));
        cat.writeArea(u"20240101000000"_s, 0,
                      CatalogueBuilder::area("True", 1, 2, 30, 40) + itemSections({cp932(u"赤いペン"_s), "cup"}));
        Catalogue mine(cat.path()), theirs(cat.path());
        mine.rebuildImageList();
        theirs.rebuildImageList();
        mine.shownImage().chooseImage(image);
        theirs.shownImage().chooseImage(image);
        const QList<QByteArray> myLoaded = mine.readItems(image, 0);
        const QList<QByteArray> theirLoaded = theirs.readItems(image, 0);

        const ItemMerge t = theirs.saveItems(image, 0, theirLoaded, theirLoaded + QList<QByteArray>{"ink"});
        QCOMPARE(t.status, WriteStatus::Ok);
        const ItemMerge m = mine.saveItems(image, 0, myLoaded, {"cup", "key"});
        QCOMPARE(m.status, WriteStatus::Ok);
        const QList<QByteArray> merged{"cup", "ink", "key"};
        QCOMPARE(m.rows, merged);
        QCOMPARE(theirs.readItems(image, 0), merged);
        QCOMPARE(theirs.scan(u"ink"_s).size(), 1);

        theirs.shownImage().moveArea(0, QPointF(50, 60));
        QVERIFY(theirs.shownImage().openNewArea(QRectF(7, 8, 9, 10)) == 1);
        QCOMPARE(theirs.saveArrangement().status, WriteStatus::Ok);
        mine.shownImage().moveArea(0, QPointF(70, 80));
        const Catalogue::ArrangementSave saved = mine.saveArrangement();
        QVERIFY(saved == WriteStatus::Ok);
        QCOMPARE(saved.changedElsewhere, QList<int>{0});
        QVERIFY(mine.shownImage().isShown(1));
        QCOMPARE(mine.shownImage().areaRect(1), QRectF(7, 8, 9, 10));
        QCOMPARE(mine.shownImage().areaRect(0), QRectF(70, 80, 30, 40));
        QCOMPARE(mine.readItems(image, 0), merged); // the arrangement keeps the items
    }

    void itemsSavedAreFound()
    {
        CatalogueBuilder cat;
        const QString image = cat.addImage(u"20240101000000"_s, cp932(u"棚"_s));
        Catalogue catalogue(cat.path());
        catalogue.rebuildImageList();
        ItemRows rows;
        rows.setRows({cp932(u"赤いペン"_s), QByteArray("\x81\xff", 2)});
        rows.append(Catalogue::checkItem(u"鍵〜"_s, rows.rowCount()).bytes);
        QCOMPARE(rows.data(rows.index(1)).toString(), u"\\x81\\xFF"_s);
        QCOMPARE(catalogue.saveItems(image, 4, rows.bytes()), WriteStatus::Ok);
        QCOMPARE(catalogue.readItems(image, 4), rows.bytes());

        const QList<SearchRow> found = catalogue.search(u"ペン"_s);
        QCOMPARE(found.size(), 1);
        QCOMPARE(found.front().hitAreas, QList<int>{4});
        QCOMPARE(catalogue.scan(u"ペン"_s), found);
        QCOMPARE(catalogue.search(u"鍵～"_s).size(), 1); // typed and stored forms meet
    }
};

QTEST_GUILESS_MAIN(tst_Catalogue)
#include "tst_catalogue.moc"
