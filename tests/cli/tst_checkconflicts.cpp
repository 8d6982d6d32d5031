// kovra-cli check and check --merge on conflict copies of sync programs.
#include "CliRunner.h"
#include "FixtureCatalogue.h"

#include <QFileInfo>
#include <QTest>

using namespace kovra::test;
using namespace Qt::StringLiterals;

namespace {

const QString Shelf = u"20240101000000"_s;
const QString SyncCopy = u"Area0.sync-conflict-20261209-031500-ABCD123.INI"_s;
const QString TitleCopy = u"IMAGE (Taro's conflicted copy 2026-12-09).INI"_s;
const QString BadCopy = u"Area3 (conflicted copy 2026-12-09 031500).INI"_s;

} // namespace

class tst_CheckConflicts : public QObject
{
    Q_OBJECT

    CliRun check(const CatalogueBuilder& cat, const QStringList& extra = {}) const
    {
        return runCli(QStringList{u"--root"_s, cat.root(), u"check"_s} + extra);
    }

    // One sound image: picture, title, Area0 with one item.
    static QString addShelf(const CatalogueBuilder& cat)
    {
        const QString folder = cat.addImage(Shelf, cp932(u"棚"_s));
        cat.writeArea(folder, 0, areaSection(false, 0, 0, 0, 0) + itemSections({cp932(u"ペン"_s)}));
        return folder;
    }

private slots:
    void cleanCatalogue_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("check") << QStringList{};
        QTest::newRow("check --merge") << QStringList{u"--merge"_s};
    }
    void cleanCatalogue()
    {
        QFETCH(QStringList, args);
        CatalogueBuilder cat;
        addShelf(cat);
        const CliRun r = check(cat, args);
        QCOMPARE(r.out, QString());
        QCOMPARE(r.code, 0);
    }

    void reportsWithoutWriting()
    {
        CatalogueBuilder cat;
        const QString folder = addShelf(cat);
        const QByteArray copy = areaSection(true, 1, 2, 3, 4) + itemSections({cp932(u"鉛筆"_s), cp932(u"ペン"_s)});
        cat.write(folder + u'/' + SyncCopy, copy);
        const QByteArray area0 = cat.read(folder + u"/Area0.INI"_s);

        const CliRun r = check(cat);
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out.split(u'\n', Qt::SkipEmptyParts),
                 QStringList{Shelf + u'/' + SyncCopy +
                             u"\tArea0.INI の同期の競合コピーです（Syncthing）．項目 1 個（\"鉛筆\"）を加えます．"
                             u"使われていないエリアにコピーの枠を取り込みます．"
                             u"kovra-cli check --merge でまとめ，コピーを消します．"_s});
        QCOMPARE(cat.read(folder + u'/' + SyncCopy), copy);
        QCOMPARE(cat.read(folder + u"/Area0.INI"_s), area0);
    }

    void mergeReportsWhatItDid()
    {
        CatalogueBuilder cat;
        const QString folder = addShelf(cat);
        cat.write(folder + u'/' + SyncCopy, areaSection(true, 1, 2, 3, 4) + itemSections({cp932(u"鉛筆"_s)}));
        cat.write(folder + u'/' + TitleCopy, "[ImageFile]\r\nTitle=" + cp932(u"本棚"_s) + "\r\n");
        const QByteArray imageIni = cat.read(folder + u"/IMAGE.INI"_s);

        const CliRun r = check(cat, {u"--merge"_s});
        QCOMPARE(
            r.out.split(u'\n', Qt::SkipEmptyParts),
            (QStringList{Shelf + u'/' + SyncCopy +
                             u"\tArea0.INI の同期の競合コピーです（Syncthing）．項目 1 個（\"鉛筆\"）を加えました．"
                             u"使われていないエリアにコピーの枠を取り込みました．コピーを消しました．"_s,
                         Shelf + u'/' + TitleCopy +
                             u"\tIMAGE.INI の同期の競合コピーです（Dropbox）．コピーの題名 \"本棚\" は使わず，"
                             u"ファイルの題名のままにしました．コピーを消しました．"_s}));
        QCOMPARE(r.code, 0); // merged copies leave the catalogue clean
        QCOMPARE(cat.read(folder + u"/Area0.INI"_s),
                 areaSection(true, 1, 2, 3, 4) + itemSections({cp932(u"ペン"_s), cp932(u"鉛筆"_s)}));
        QCOMPARE(cat.read(folder + u"/IMAGE.INI"_s), imageIni);
        QCOMPARE(fileNames(folder), (QStringList{u"Area0.INI"_s, u"IMAGE.INI"_s, u"picture.png"_s}));
        QCOMPARE(check(cat).code, 0);
    }

    void unusableCopyIsKept_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("check") << QStringList{};
        QTest::newRow("check --merge") << QStringList{u"--merge"_s};
    }
    void unusableCopyIsKept()
    {
        QFETCH(QStringList, args);
        CatalogueBuilder cat;
        const QString folder = addShelf(cat);
        const QByteArray bad("\xFF\xFE[\0A\0r\0e\0a\0]\0", 14);
        cat.write(folder + u'/' + BadCopy, bad);
        const CliRun r = check(cat, args);
        QCOMPARE(r.out.split(u'\n', Qt::SkipEmptyParts),
                 QStringList{Shelf + u'/' + BadCopy +
                             u"\tArea3.INI の同期の競合コピーです（Nextcloud/ownCloud）．読めないか，INI ファイルでは"
                             u"ありません．まとめず，コピーは残します．"_s});
        QCOMPARE(r.code, 1);
        QCOMPARE(cat.read(folder + u'/' + BadCopy), bad);
        QVERIFY(!QFileInfo::exists(folder + u"/Area3.INI"_s));
    }

    void badUsage()
    {
        CatalogueBuilder cat;
        const CliRun r = check(cat, {u"--merge"_s, u"extra"_s});
        QCOMPARE(r.code, 2);
        QCOMPARE(r.out, QString());
        QVERIFY(r.err.contains(u"check [--merge]"_s));
    }
};

QTEST_GUILESS_MAIN(tst_CheckConflicts)
#include "tst_checkconflicts.moc"
