#include "AreaFiles.h"
#include "CatalogueGenerator.h"
#include "CodePage.h"
#include "FailingFileOps.h"
#include "FixtureCatalogue.h"
#include "ImageFolders.h"
#include "ReferenceScan.h"
#include "SearchScan.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace kovra;
using namespace Qt::Literals::StringLiterals;

namespace {

// Files in code page 932 with CR LF, written byte for byte here rather than by the writer.
using kovra::test::writeCp932;

class Catalogue
{
public:
    Catalogue() { QVERIFY(m_dir.isValid()); }
    QString root() const { return m_dir.path(); }

    // An image folder with IMAGE.INI (title and picture) unless told otherwise.
    QString image(const QString& name, const QString& title = u"棚"_s, bool withIni = true)
    {
        const QString folder = root() + u'/' + name;
        QDir().mkpath(folder);
        if (withIni) {
            if (!writeCp932(folder + u"/IMAGE.INI"_s, {u"[ImageFile]"_s, u"Path="_s + folder,
                                                       u"Filename="_s + folder + u"/shelf.jpg"_s, u"Title="_s + title}))
                QTest::qFail("IMAGE.INI not written", __FILE__, __LINE__);
            QFile picture(folder + u"/shelf.jpg"_s);
            picture.open(QIODevice::WriteOnly);
            picture.write("\xFF\xD8\xFF\xD9");
        }
        return folder;
    }

    // An area file with Visible and the items, as the program's writers leave it.
    void area(const QString& folder, int index, const QStringList& items, bool visible = true)
    {
        QStringList lines = {u"[Area]"_s,    visible ? u"Visible=True"_s : u"Visible=False"_s,
                             u"Left=10"_s,   u"Top=10"_s,
                             u"Width=100"_s, u"Height=80"_s};
        lines << u"[ItemCount]"_s << u"Sum="_s + QString::number(items.size());
        if (!items.isEmpty()) {
            lines << u"[Items]"_s;
            for (int k = 0; k < items.size(); ++k)
                lines << u"Item%1="_s.arg(k) + items[k];
        }
        QVERIFY(writeCp932(areaFilePath(folder, index), lines));
    }

    void rawArea(const QString& folder, int index, const QStringList& lines)
    {
        QVERIFY(writeCp932(areaFilePath(folder, index), lines));
    }

    QList<SearchRow> search(const QString& text, int threads = 0) const
    {
        const QStringList folders = folderList(root());
        const QList<SearchRow> rows = searchFolders(folders, Matcher(text), {}, threads);
        // Every case here doubles as a check that the parsed scan equals the one-read-per-key scan.
        if (rows != bench::referenceSearch(folders, text))
            QTest::qFail(qPrintable(u"parsed scan and per-key scan differ for "_s + text), __FILE__, __LINE__);
        return rows;
    }

private:
    QTemporaryDir m_dir;
};

QStringList positionsAndAreas(const QList<SearchRow>& rows)
{
    QStringList out;
    for (const SearchRow& row : rows)
        out << QString::number(row.folderPosition) + row.hitAreaText();
    return out;
}

} // namespace

class tst_SearchScan : public QObject
{
    Q_OBJECT

private slots:
    void twoHitsInOneAreaGiveOneEntry()
    {
        Catalogue c;
        const QString f = c.image(u"20240101000000"_s);
        c.area(f, 3, {u"ボールペン"_s, u"ねじ"_s, u"ペンチ"_s});
        const auto rows = c.search(u"ペン"_s);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].hitAreaText(), u",3"_s);
        QCOMPARE(rows[0].hitAreas, QList<int>{3});
    }

    void hitAreasAscending()
    {
        Catalogue c;
        const QString f = c.image(u"20240101000000"_s);
        c.area(f, 12, {u"pen"_s});
        c.area(f, 0, {u"PEN"_s});
        c.area(f, 7, {u"ｐｅｎ"_s});
        c.area(f, 5, {u"鉛筆"_s});
        const auto rows = c.search(u"Pen"_s);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].hitAreaText(), u",0,7,12"_s);
    }

    void rowsInFolderListOrderWhateverTitles()
    {
        Catalogue c;
        const QString a = c.image(u"20240101000000"_s, u"Zの棚"_s);
        const QString b = c.image(u"20240102000000"_s, u"Aの棚"_s);
        c.image(u"20240103000000"_s, u"空"_s);
        const QString d = c.image(u"20240104000000"_s, u"Mの棚"_s);
        for (const QString& f : {a, b, d})
            c.area(f, 1, {u"電池"_s});
        const auto rows = c.search(u"電池"_s);
        QCOMPARE(positionsAndAreas(rows), (QStringList{u"0,1"_s, u"1,1"_s, u"3,1"_s}));
        QCOMPARE(rows[0].title, u"Zの棚"_s);
        QCOMPARE(rows[1].title, u"Aの棚"_s);
        QCOMPARE(rows[2].title, u"Mの棚"_s);
        QCOMPARE(rows[2].folder, d);
        QCOMPARE(rows[2].picturePath, d + u"/shelf.jpg"_s);
    }

    void titleAndPictureFallbacks()
    {
        Catalogue c;
        const QString noTitle = c.image(u"20240101000000"_s);
        QVERIFY(writeCp932(noTitle + u"/IMAGE.INI"_s, {u"[ImageFile]"_s, u"Path=x"_s}));
        const QString noIni = c.image(u"20240102000000"_s, {}, false);
        const QString windows = c.image(u"20240103000000"_s);
        QVERIFY(writeCp932(windows + u"/IMAGE.INI"_s,
                           {u"[ImageFile]"_s, u"Path=C:\\Kovra\\20240103000000"_s,
                            u"Filename=C:\\Kovra\\20240103000000\\shelf.jpg"_s, u"Title="_s + QString(70, u'長')}));
        for (const QString& f : {noTitle, noIni, windows})
            c.area(f, 0, {u"傘"_s});
        const auto rows = c.search(u"傘"_s);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows[0].title, u"Non Titled"_s);
        QCOMPARE(rows[0].picturePath, QString());
        QCOMPARE(rows[1].title, u"Non Titled"_s);
        QCOMPARE(rows[1].picturePath, QString());
        QCOMPARE(rows[2].title, QString(62, u'長')); // 125 bytes, never half a character
        QCOMPARE(rows[2].picturePath, windows + u"/shelf.jpg"_s);
    }

    void pictureLongerThanTheSearchReads()
    {
        Catalogue c;
        const QString f = c.image(u"20240101000000"_s);
        const QString picture = f + u'/' + QString(60, u'写') + u".jpg"_s; // past 125 bytes
        QFile(picture).open(QIODevice::WriteOnly);
        QVERIFY(writeCp932(f + u"/IMAGE.INI"_s, {u"[ImageFile]"_s, u"Filename="_s + picture, u"Title=棚"_s}));
        c.area(f, 0, {u"傘"_s});
        const auto rows = c.search(u"傘"_s);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].picturePath, picture);
    }

    void visibleIsNotConsulted()
    {
        Catalogue c;
        const QString f = c.image(u"20240101000000"_s);
        c.area(f, 4, {u"ペンチ"_s}, false);
        c.rawArea(f, 6, {u"[ItemCount]"_s, u"Sum=1"_s, u"[Items]"_s, u"Item0=ペンチ"_s}); // no section Area
        QCOMPARE(positionsAndAreas(c.search(u"ペンチ"_s)), QStringList{u"0,4,6"_s});
    }

    void sumDecidesHowManyItems_data()
    {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("hit");
        const QString head = u"[ItemCount]"_s;
        QTest::newRow("Sum larger than the stored keys")
            << QStringList{head, u"Sum=5"_s, u"[Items]"_s, u"Item2=ペン"_s} << true;
        QTest::newRow("key beyond Sum not read")
            << QStringList{head, u"Sum=2"_s, u"[Items]"_s, u"Item2=ペン"_s} << false;
        QTest::newRow("Sum 2.5 reads two") << QStringList{head, u"Sum=2.5"_s, u"[Items]"_s, u"Item1=ペン"_s} << true;
        QTest::newRow("Sum 2.5 not three") << QStringList{head, u"Sum=2.5"_s, u"[Items]"_s, u"Item2=ペン"_s} << false;
        QTest::newRow("non-numeric Sum counts 0")
            << QStringList{head, u"Sum=abc"_s, u"[Items]"_s, u"Item0=ペン"_s} << false;
        QTest::newRow("Sum past 16 bits counts 0")
            << QStringList{head, u"Sum=40000"_s, u"[Items]"_s, u"Item0=ペン"_s} << false;
        QTest::newRow("negative Sum") << QStringList{head, u"Sum=-3"_s, u"[Items]"_s, u"Item0=ペン"_s} << false;
        QTest::newRow("missing Sum") << QStringList{u"[Items]"_s, u"Item0=ペン"_s} << false;
        QTest::newRow("names in any case")
            << QStringList{u"[itemcount]"_s, u"SUM=1"_s, u"[ITEMS]"_s, u"item0=ペン"_s} << true;
        QTest::newRow("first key of a name wins")
            << QStringList{head, u"Sum=1"_s, u"[Items]"_s, u"Item0=箱"_s, u"Item0=ペン"_s} << false;
        QTest::newRow("Item01 is not Item1") << QStringList{head, u"Sum=2"_s, u"[Items]"_s, u"Item01=ペン"_s} << false;
        // Long sections and files of many sections are looked up through an index: same rules there.
        QStringList longSection{head, u"Sum=40"_s, u"[Items]"_s};
        for (int k = 0; k < 40; ++k)
            longSection << (k == 35 ? u"ITEM35=箱"_s : u"Item%1=箱"_s.arg(k));
        QTest::newRow("long section, first key wins") << (QStringList(longSection) << u"Item35=ペン"_s) << false;
        longSection[3 + 35] = u"item35=ペン"_s;
        QTest::newRow("long section, any case") << longSection << true;
        QStringList manySections;
        for (int k = 0; k < 30; ++k)
            manySections << u"[Other%1]"_s.arg(k) << u"Item0=ペン"_s;
        manySections << u"[ITEMCOUNT]"_s << u"Sum=1"_s;
        QTest::newRow("many sections, first section wins")
            << (QStringList(manySections) << u"[Items]"_s << u"Item0=箱"_s << u"[items]"_s << u"Item0=ペン"_s) << false;
        QTest::newRow("many sections, any case")
            << (QStringList(manySections) << u"[iTeMs]"_s << u"Item0=ペン"_s) << true;
        QTest::newRow("empty item") << QStringList{head, u"Sum=1"_s, u"[Items]"_s, u"Item0="_s} << false;
    }
    void sumDecidesHowManyItems()
    {
        QFETCH(QStringList, lines);
        QFETCH(bool, hit);
        Catalogue c;
        const QString f = c.image(u"20240101000000"_s);
        c.rawArea(f, 9, lines);
        QCOMPARE(c.search(u"ペン"_s).size(), hit ? 1 : 0);
    }

    void emptyItemNeverAHit()
    {
        Catalogue c;
        const QString f = c.image(u"20240101000000"_s);
        c.rawArea(f, 0, {u"[ItemCount]"_s, u"Sum=2"_s, u"[Items]"_s, u"Item0="_s, u"Item1=   "_s});
        QVERIFY(c.search(u" "_s).isEmpty());
        QVERIFY(c.search(QString()).isEmpty());
        c.area(f, 1, {u"単三 電池"_s});
        QCOMPARE(positionsAndAreas(c.search(u" "_s)), QStringList{u"0,1"_s});
    }

    void itemsMatchOnTheirFirst255Bytes_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hit");
        QTest::newRow("text within 255 bytes") << QString(253, u'a') + u"ペン"_s << u"ペ"_s << true;
        QTest::newRow("character across byte 255") << QString(253, u'a') + u"ペン"_s << u"ペン"_s << false;
        QTest::newRow("character ending at byte 256") << QString(254, u'a') + u"ペ"_s << u"ペ"_s << false;
        QTest::newRow("text past 255 bytes") << QString(300, u'x') + u"ペン"_s << u"ペン"_s << false;
        QTest::newRow("long item, text at the start") << u"ペン"_s + QString(300, u'x') << u"ペン"_s << true;
    }
    void itemsMatchOnTheirFirst255Bytes()
    {
        QFETCH(QString, item);
        QFETCH(QString, text);
        QFETCH(bool, hit);
        Catalogue c;
        const QString f = c.image(u"20240101000000"_s);
        c.area(f, 2, {item});
        QCOMPARE(c.search(text).size(), hit ? 1 : 0);
    }

    void foldersWithoutImages()
    {
        Catalogue c;
        const QString noIni = c.image(u"20240101000000"_s, {}, false); // areas but no IMAGE.INI
        c.area(noIni, 0, {u"ドライバー"_s});
        QDir().mkpath(c.root() + u"/manual"_s);
        QFile(c.root() + u"/manual/manual.htm"_s).open(QIODevice::WriteOnly);
        QDir().mkpath(c.root() + u"/Photos/2019"_s);             // a foreign subfolder without area files
        const QString zz = c.image(u"zz"_s, u"Foreign"_s, true); // a foreign subfolder holding area files
        c.area(zz, 29, {u"ﾄﾞﾗｲﾊﾞｰ"_s});
        QDir().mkpath(noIni + u"/Area3.INI"_s); // a folder where an area file belongs: read as missing
        const auto rows = c.search(u"どらいばー"_s);
        QCOMPARE(positionsAndAreas(rows), (QStringList{u"0,0"_s, u"3,29"_s}));
        QCOMPARE(rows[0].title, u"Non Titled"_s);
        QCOMPARE(rows[1].title, u"Foreign"_s);
        QVERIFY(c.search(u"Kovra"_s).isEmpty()); // the manual is no image
    }

    void progressAfterEachFolderOnTheCallersThread()
    {
        Catalogue c;
        for (int i = 0; i < 40; ++i) {
            const QString f = c.image(u"202401010000%1"_s.arg(i, 2, 10, QChar(u'0')));
            c.area(f, i % 30, {i % 3 ? u"箱"_s : u"ペン"_s});
        }
        const QStringList folders = folderList(c.root());
        for (int threads : {1, 2}) {
            QList<int> positions;
            bool otherThread = false;
            QThread* const caller = QThread::currentThread();
            const auto rows = searchFolders(
                folders, Matcher(u"ぺん"_s),
                [&](int position, int count) {
                    QCOMPARE(count, 40);
                    positions.append(position);
                    otherThread |= QThread::currentThread() != caller;
                },
                threads);
            QList<int> expected;
            for (int i = 0; i < 40; ++i)
                expected.append(i);
            QCOMPARE(positions, expected);
            QVERIFY(!otherThread);
            QCOMPARE(rows.size(), 14);
            QCOMPARE(rows.first().folderPosition, 0);
            QCOMPARE(rows.last().folderPosition, 39);
        }
    }

    // No cache between searches, but within one every area file is read from disk exactly once; a file
    // that cannot be read counts as missing and the scan goes on.
    void eachAreaFileReadOnceUnreadableAsMissing()
    {
        Catalogue c;
        for (int i = 0; i < 20; ++i) {
            const QString f = c.image(u"202401010000%1"_s.arg(i, 2, 10, QChar(u'0')));
            c.area(f, 5, {i % 2 ? u"箱"_s : u"ペン"_s});
        }
        const QStringList folders = folderList(c.root());
        test::FailingFileOps ops;
        ops.failWhen = [](const QString& op, const QString& path) {
            return op == u"read" && path.endsWith(u"20240101000004/Area5.INI");
        };
        const ScopedFileOps scoped(&ops);
        const auto rows = searchFolders(folders, Matcher(u"ペン"_s), {}, 2);
        QCOMPARE(positionsAndAreas(rows), (QStringList{u"0,5"_s, u"2,5"_s, u"6,5"_s, u"8,5"_s, u"10,5"_s, u"12,5"_s,
                                                       u"14,5"_s, u"16,5"_s, u"18,5"_s}));
        QStringList areaReads = ops.log.filter(u".INI"_s).filter(u"/Area"_s);
        QCOMPARE(areaReads.size(), 20 * AreaCount);
        areaReads.removeDuplicates();
        QCOMPARE(areaReads.size(), 20 * AreaCount);
        // IMAGE.INI only for the folders with hits.
        for (const QString& line : ops.log.filter(u"IMAGE.INI"_s))
            QVERIFY2(rows.end() != std::find_if(rows.begin(), rows.end(),
                                                [&](const SearchRow& row) { return line.contains(row.folder); }),
                     qPrintable(line));
    }

    void noFoldersNoRows()
    {
        int calls = 0;
        QVERIFY(searchFolders({}, Matcher(u"ペン"_s), [&](int, int) { ++calls; }).isEmpty());
        QCOMPARE(calls, 0);
    }

    // The generated catalogue mixes widths, kana, long items, deleted areas and Windows paths.
    void sameResultsAsOneReadPerKey()
    {
        QTemporaryDir dir;
        QString error;
        QVERIFY2(bench::generateCatalogue(dir.path(), 60, 7, &error), qPrintable(error));
        const QStringList folders = folderList(dir.path());
        QCOMPARE(folders.size(), 61); // and the manual
        int found = 0;
        for (const QString& text :
             {u"ペン"_s, u"ｹｰﾌﾞﾙ"_s, u"usb"_s, u"でんち"_s, u"電池"_s, u"、"_s, u" "_s, u"ＡＣ"_s, u"存在しない"_s}) {
            const QList<SearchRow> reference = bench::referenceSearch(folders, text);
            QCOMPARE(searchFolders(folders, Matcher(text), {}, 1), reference);
            QCOMPARE(searchFolders(folders, Matcher(text), {}, 2), reference);
            found += int(reference.size());
        }
        QVERIFY(found > 60);
    }

    void generatorIsDeterministic()
    {
        QTemporaryDir a;
        QTemporaryDir b;
        QVERIFY(bench::generateCatalogue(a.path(), 3, 11));
        QVERIFY(bench::generateCatalogue(b.path(), 3, 11));
        const QStringList fa = folderList(a.path());
        const QStringList fb = folderList(b.path());
        QCOMPARE(fa.size(), fb.size());
        for (int i = 0; i < fa.size(); ++i) {
            QFile x(areaFilePath(fa[i], 0));
            QFile y(areaFilePath(fb[i], 0));
            if (!x.open(QIODevice::ReadOnly))
                continue; // the manual
            QVERIFY(y.open(QIODevice::ReadOnly));
            const QByteArray bytes = x.readAll();
            QCOMPARE(bytes, y.readAll());
            QVERIFY(bytes.contains("\r\n"));
        }
    }
};

QTEST_GUILESS_MAIN(tst_SearchScan)
#include "tst_searchscan.moc"
