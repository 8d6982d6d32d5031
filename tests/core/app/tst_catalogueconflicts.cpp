// The catalogue's merge of sync programs' conflict copies over a whole program folder.
#include "Catalogue.h"
#include "FailingFileOps.h"
#include "FixtureCatalogue.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

using namespace kovra;
using namespace kovra::test;
using namespace Qt::StringLiterals;

namespace {

const QString SyncCopy = u"Area0.sync-conflict-20261209-031500-ABCD123.INI"_s;
const QString NextcloudCopy = u"Area2 (conflicted copy 2026-12-09 031500).INI"_s;

} // namespace

class tst_CatalogueConflicts : public QObject
{
    Q_OBJECT

private slots:
    void mergesEveryImageFolder()
    {
        CatalogueBuilder cat;
        const QString shelf = cat.addImage(u"20240101000000"_s, cp932(u"棚"_s));
        const QString box = cat.addImage(u"20240101000001"_s, cp932(u"箱"_s));
        const QString manual = cat.makeFolder(u"manual"_s);
        cat.addArea(shelf, 0, true, QRect(1, 2, 3, 4), {u"ペン"_s});
        const QByteArray shelfArea0 = cat.read(shelf + u"/Area0.INI"_s);
        cat.writeArea(shelf, 2, areaSection(false, 0, 0, 0, 0));
        cat.write(shelf + u'/' + SyncCopy, areaSection(true, 9, 9, 9, 9) + itemSections({cp932(u"鉛筆"_s)}));
        cat.write(shelf + u'/' + NextcloudCopy, areaSection(true, 5, 6, 7, 8) + itemSections({}));
        cat.write(box + u'/' + SyncCopy, itemSections({"x"}));
        cat.write(manual + u'/' + SyncCopy, itemSections({"m"}));
        cat.write(box + u"/picture.sync-conflict-20261209-031500-ABCD123.png"_s, "not merged");

        Catalogue catalogue(cat.path());
        catalogue.readFolderList();
        QCOMPARE(catalogue.folderList().size(), 3);
        QVERIFY(catalogue.scan(u"鉛筆"_s).isEmpty()); // no search finds what only a copy holds

        const QList<ConflictMerge> preview = catalogue.mergeConflictCopies(ConflictMode::Preview);
        QCOMPARE(preview.size(), 3);
        QVERIFY(QFileInfo::exists(shelf + u'/' + SyncCopy));

        FailingFileOps ops;
        const ScopedFileOps scoped(&ops);
        const QList<ConflictMerge> r = catalogue.mergeConflictCopies();
        QCOMPARE(r.size(), 3);
        // Folder-list order, then name order within a folder.
        QCOMPARE(r[0].folder, shelf);
        QCOMPARE(r[0].title, u"棚"_s);
        QCOMPARE(r[0].copyName, SyncCopy);
        QCOMPARE(r[0].itemsAdded, QList<QByteArray>{cp932(u"鉛筆"_s)});
        QVERIFY(!r[0].rectTaken);
        QCOMPARE(r[1].copyName, NextcloudCopy);
        QVERIFY(r[1].rectTaken);
        QCOMPARE(r[2].folder, box);
        QCOMPARE(r[2].title, u"箱"_s);
        QVERIFY(r[2].copyBecameFile);
        for (const ConflictMerge& m : r) {
            QCOMPARE(m.problem, ConflictMerge::Problem::None);
            QVERIFY(m.copyRemoved);
            // Each copy went after its file's rename and the folder's sync.
            const qsizetype removed = ops.log.indexOf(u"remove "_s + m.folder + u'/' + m.copyName);
            const qsizetype renamed = ops.log.indexOf(u"rename "_s + m.folder + u'/' + m.fileName);
            QVERIFY2(renamed >= 0 && removed > renamed, qPrintable(m.copyName));
            QVERIFY(ops.log.mid(renamed, removed - renamed).contains(u"syncdir "_s + m.folder));
        }

        QCOMPARE(cat.read(shelf + u"/Area0.INI"_s), shelfArea0.left(shelfArea0.indexOf("[ItemCount]")) +
                                                        itemSections({cp932(u"ペン"_s), cp932(u"鉛筆"_s)}));
        QCOMPARE(cat.read(shelf + u"/Area2.INI"_s), areaSection(true, 5, 6, 7, 8));
        QCOMPARE(cat.read(box + u"/Area0.INI"_s), itemSections({"x"}));
        QCOMPARE(fileNames(shelf), (QStringList{u"Area0.INI"_s, u"Area2.INI"_s, u"IMAGE.INI"_s, u"picture.png"_s}));
        // The manual folder and pictures are never merged.
        QVERIFY(QFileInfo::exists(manual + u'/' + SyncCopy));
        QVERIFY(QFileInfo::exists(box + u"/picture.sync-conflict-20261209-031500-ABCD123.png"_s));

        QCOMPARE(catalogue.scan(u"鉛筆"_s).size(), 1);
        QVERIFY(catalogue.mergeConflictCopies().isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_CatalogueConflicts)
#include "tst_catalogueconflicts.moc"
