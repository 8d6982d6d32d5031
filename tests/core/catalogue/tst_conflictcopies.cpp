#include "AreaFiles.h"
#include "ConflictCopies.h"
#include "FailingFileOps.h"
#include "FixtureCatalogue.h"

#include <QDir>
#include <QTest>

using namespace kovra;
using kovra::test::fileNames;
using kovra::test::readBytes;
using kovra::test::writeBytes;
using Source = kovra::ConflictName::Source;
using Problem = kovra::ConflictMerge::Problem;

Q_DECLARE_METATYPE(kovra::ConflictName::Source)
Q_DECLARE_METATYPE(kovra::ConflictMerge::Problem)

namespace {

QByteArray area(const char* visible, int left, int top, int width, int height)
{
    return kovra::test::CatalogueBuilder::area(visible, left, top, width, height);
}

QByteArray items(const QList<QByteArray>& rows)
{
    return kovra::test::itemSections(rows);
}

const QString SyncCopy = QStringLiteral("Area0.sync-conflict-20261209-031500-ABCD123.INI");
const QString DropboxCopy = QStringLiteral("Area0 (Taro's conflicted copy 2026-12-09).INI");

} // namespace

class tst_ConflictCopies : public QObject
{
    Q_OBJECT

    kovra::test::CatalogueBuilder m_catalogue;
    QString m_folder;
    QString at(const QString& name) const { return m_folder + u'/' + name; }

private slots:
    void init()
    {
        m_folder = m_catalogue.makeImage(QString::fromLatin1(QTest::currentTestFunction()) +
                                             QString::number(qHash(QString::fromLatin1(QTest::currentDataTag()))),
                                         "Shelf");
    }

    void names_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("original"); // empty: no conflict copy
        QTest::addColumn<int>("area");
        QTest::addColumn<Source>("source");

        const auto row = [](const char* tag, const char* name, const char* original, int area, Source source) {
            QTest::newRow(tag) << QString::fromUtf8(name) << QString::fromUtf8(original) << area << source;
        };
        const Source none = Source::Syncthing;
        row("syncthing area", "Area0.sync-conflict-20261209-031500-ABCD123.INI", "Area0.INI", 0, Source::Syncthing);
        row("syncthing image", "IMAGE.sync-conflict-20261209-031500-7QX2ZZ9.INI", "IMAGE.INI", -1, Source::Syncthing);
        row("syncthing area 29", "Area29.sync-conflict-20000101-000000-AAAAAAA.INI", "Area29.INI", 29,
            Source::Syncthing);
        row("syncthing lower case name", "area7.sync-conflict-20261209-031500-ABCD123.ini", "Area7.INI", 7,
            Source::Syncthing);
        row("nextcloud", "Area3 (conflicted copy 2026-12-09 031500).INI", "Area3.INI", 3, Source::Nextcloud);
        row("nextcloud image", "Image (conflicted copy 2026-12-09 031500).ini", "IMAGE.INI", -1, Source::Nextcloud);
        row("dropbox", "Area0 (Taro's conflicted copy 2026-12-09).INI", "Area0.INI", 0, Source::Dropbox);
        row("dropbox numbered", "Area12 (太郎's conflicted copy 2026-12-09 (1)).INI", "Area12.INI", 12,
            Source::Dropbox);
        row("dropbox bare", "IMAGE (conflicted copy).INI", "IMAGE.INI", -1, Source::Dropbox);
        row("nextcloud wrong digits is dropbox style", "Area1 (conflicted copy 2026-12-9 0315).INI", "Area1.INI", 1,
            Source::Dropbox);

        row("the file itself", "Area0.INI", "", -1, none);
        row("image itself", "IMAGE.INI", "", -1, none);
        row("syncthing six-char device", "Area0.sync-conflict-20261209-031500-ABCD12.INI", "", -1, none);
        row("syncthing lower-case device", "Area0.sync-conflict-20261209-031500-abcd123.INI", "", -1, none);
        row("syncthing short date", "Area0.sync-conflict-2026129-031500-ABCD123.INI", "", -1, none);
        row("syncthing short time", "Area0.sync-conflict-20261209-03150-ABCD123.INI", "", -1, none);
        row("syncthing other word", "Area0.sync-conflicts-20261209-031500-ABCD123.INI", "", -1, none);
        row("other extension", "Area0.sync-conflict-20261209-031500-ABCD123.txt", "", -1, none);
        row("ini.bak", "Area0 (conflicted copy 2026-12-09 031500).INI.bak", "", -1, none);
        row("picture", "shelf.sync-conflict-20261209-031500-ABCD123.jpg", "", -1, none);
        row("picture dropbox", "shelf (Taro's conflicted copy 2026-12-09).jpg", "", -1, none);
        row("other ini", "KOVRA.sync-conflict-20261209-031500-ABCD123.INI", "", -1, none);
        row("area 30", "Area30.sync-conflict-20261209-031500-ABCD123.INI", "", -1, none);
        row("leading zero", "Area05 (conflicted copy 2026-12-09 031500).INI", "", -1, none);
        row("no blank before parenthesis", "Area0(conflicted copy 2026-12-09 031500).INI", "", -1, none);
        row("other words", "Area0 (copy 2026-12-09).INI", "", -1, none);
        row("temporary of ours", ".Area0.INI.kovra-tmp-123-0123abcd", "", -1, none);
        row("no extension", "Area0 (conflicted copy)", "", -1, none);
    }
    void names()
    {
        QFETCH(QString, name);
        QFETCH(QString, original);
        QFETCH(int, area);
        QFETCH(Source, source);
        const auto found = conflictCopyOf(name);
        QCOMPARE(found.has_value(), !original.isEmpty());
        if (!found)
            return;
        QCOMPARE(found->original, original);
        QCOMPARE(found->area, area);
        QCOMPARE(found->source, source);
    }

    void mergeAreas_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("copy");
        QTest::addColumn<QByteArray>("merged");
        QTest::addColumn<QList<QByteArray>>("added");
        QTest::addColumn<bool>("rectTaken");

        const QByteArray used = area("True", 10, 20, 30, 40);
        const QByteArray unused = area("False", 1, 2, 3, 4);
        const QByteArray pen = "\x83\x79\x83\x93"; // ペン
        QTest::newRow("same") << used + items({"a", "b"}) << used + items({"a", "b"}) << used + items({"a", "b"})
                              << QList<QByteArray>{} << false;
        QTest::newRow("items united, file's first")
            << used + items({"a", "b"}) << area("True", 0, 0, 5, 5) + items({"c", "a", pen})
            << used + items({"a", "b", "c", pen}) << QList<QByteArray>{"c", pen} << false;
        QTest::newRow("by occurrence") << used + items({"a", "b"}) << used + items({"a", "a", "b", "a"})
                                       << used + items({"a", "b", "a", "a"}) << QList<QByteArray>{"a", "a"} << false;
        QTest::newRow("empty rows count too") << used + items({"a"}) << used + items({"", "a", ""})
                                              << used + items({"a", "", ""}) << QList<QByteArray>{"", ""} << false;
        QTest::newRow("copy has fewer") << used + items({"a", "b", "c"}) << used + items({"b"})
                                        << used + items({"a", "b", "c"}) << QList<QByteArray>{} << false;
        QTest::newRow("rect taken when file's is not in use")
            << unused + items({"a"}) << used + items({"a"}) << used + items({"a"}) << QList<QByteArray>{} << true;
        QTest::newRow("rect kept when both are in use")
            << area("True", 5, 5, 5, 5) << used << area("True", 5, 5, 5, 5) << QList<QByteArray>{} << false;
        QTest::newRow("rect kept when copy's is not in use")
            << unused << area("False", 9, 9, 9, 9) << unused << QList<QByteArray>{} << false;
        QTest::newRow("lower-case true is not in use")
            << unused << area("true", 9, 9, 9, 9) << unused << QList<QByteArray>{} << false;
        QTest::newRow("copy's rect not convertible")
            << unused << QByteArray("[Area]\r\nVisible=True\r\nLeft=x\r\nTop=1\r\nWidth=1\r\nHeight=1\r\n") << unused
            << QList<QByteArray>{} << false;
        QTest::newRow("file without section Area takes rect at the end")
            << items({"a"}) << used << items({"a"}) + "Visible=True\r\n"
            << QList<QByteArray>{} << true;
        QTest::newRow("file without items takes them")
            << used << unused + items({"x"}) << used + items({"x"}) << QList<QByteArray>{"x"} << false;
        QTest::newRow("stale keys of the file go")
            << used + "[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=a\r\nItem1=old\r\n"
            << used + items({"b"}) << used + items({"a", "b"}) << QList<QByteArray>{"b"} << false;
    }
    void mergeAreas()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, copy);
        QFETCH(QByteArray, merged);
        QFETCH(QList<QByteArray>, added);
        QFETCH(bool, rectTaken);
        const AreaMerge m = mergeAreaFile(ProfileFile(file), ProfileFile(copy));
        QCOMPARE(m.itemsAdded, added);
        QCOMPARE(m.rectTaken, rectTaken);
        QCOMPARE(m.changed, file != m.bytes);
        if (QTest::currentDataTag() == QByteArrayLiteral("file without section Area takes rect at the end")) {
            // Appended in the arrangement window's order; read back as the main window reads it.
            const ProfileFile back(m.bytes);
            QCOMPARE(back.read(u"Area", u"Visible", u"", 16), QStringLiteral("True"));
            QCOMPARE(back.read(u"Area", u"Left", u"", 16), QStringLiteral("10"));
            QCOMPARE(back.read(u"Area", u"Height", u"", 16), QStringLiteral("40"));
            QCOMPARE(back.keyNames(u"Area"), (QList<QByteArray>{"Visible", "Left", "Top", "Width", "Height"}));
            QVERIFY(m.bytes.startsWith(items({"a"})));
            return;
        }
        QCOMPARE(m.bytes, merged);
    }

    // Sum counts to 32767: a union past that is not made, and the copy stays.
    void tooManyItems_data()
    {
        QTest::addColumn<int>("fileRows");
        QTest::addColumn<bool>("tooMany");
        QTest::newRow("fills the count") << 32766 << false;
        QTest::newRow("passes it") << 32767 << true;
    }
    void tooManyItems()
    {
        QFETCH(int, fileRows);
        QFETCH(bool, tooMany);
        QList<QByteArray> rows(fileRows, "a");
        const QByteArray file = area("True", 1, 1, 1, 1) + items(rows);
        writeBytes(at(QStringLiteral("Area0.INI")), file);
        writeBytes(at(SyncCopy), area("True", 1, 1, 1, 1) + items({"new"}));
        const AreaMerge m = mergeAreaFile(ProfileFile(file), ProfileFile(readBytes(at(SyncCopy))));
        QCOMPARE(m.tooManyItems, tooMany);
        QCOMPARE(m.changed, !tooMany);
        const QList<ConflictMerge> r = mergeConflictCopies(m_folder, ConflictMode::Merge);
        QCOMPARE(r.size(), 1);
        QCOMPARE(r[0].problem, tooMany ? Problem::TooManyItems : Problem::None);
        QCOMPARE(QFileInfo::exists(at(SyncCopy)), tooMany);
        QCOMPARE(readItemBytes(m_folder, 0).size(), tooMany ? fileRows : fileRows + 1);
    }

    // The folder, merged: the file byte for byte, the copy gone.
    void mergesAndRemovesTheCopy()
    {
        const QByteArray file = area("False", 1, 2, 3, 4) + items({"a"});
        const QByteArray copy = area("True", 10, 20, 30, 40) + items({"a", "b"});
        writeBytes(at(QStringLiteral("Area0.INI")), file);
        writeBytes(at(SyncCopy), copy);

        const QList<ConflictMerge> preview = mergeConflictCopies(m_folder, ConflictMode::Preview);
        QCOMPARE(preview.size(), 1);
        QCOMPARE(preview[0].itemsAdded, (QList<QByteArray>{"b"}));
        QVERIFY(preview[0].rectTaken);
        QVERIFY(preview[0].fileChanged);
        QVERIFY(!preview[0].copyRemoved);
        QCOMPARE(readBytes(at(QStringLiteral("Area0.INI"))), file);
        QCOMPARE(readBytes(at(SyncCopy)), copy);

        const QList<ConflictMerge> done = mergeConflictCopies(m_folder, ConflictMode::Merge);
        QCOMPARE(done.size(), 1);
        QCOMPARE(done[0].problem, Problem::None);
        QCOMPARE(done[0].title, QStringLiteral("Shelf"));
        QCOMPARE(done[0].fileName, QStringLiteral("Area0.INI"));
        QCOMPARE(done[0].area, 0);
        QVERIFY(done[0].copyRemoved);
        QCOMPARE(readBytes(at(QStringLiteral("Area0.INI"))), area("True", 10, 20, 30, 40) + items({"a", "b"}));
        QCOMPARE(fileNames(m_folder), (QStringList{QStringLiteral("Area0.INI"), QStringLiteral("IMAGE.INI")}));
        QVERIFY(mergeConflictCopies(m_folder, ConflictMode::Merge).isEmpty());
    }

    void copiesOfOneFileAddUp()
    {
        writeBytes(at(QStringLiteral("area0.ini")), area("True", 1, 1, 1, 1) + items({"a"}));
        writeBytes(at(SyncCopy), area("True", 1, 1, 1, 1) + items({"b"}));
        writeBytes(at(DropboxCopy), area("True", 1, 1, 1, 1) + items({"c", "b"}));
        for (const ConflictMode mode : {ConflictMode::Preview, ConflictMode::Merge}) {
            const QList<ConflictMerge> r = mergeConflictCopies(m_folder, mode);
            QCOMPARE(r.size(), 2);
            QCOMPARE(r[0].copyName, DropboxCopy); // name order
            QCOMPARE(r[0].fileName, QStringLiteral("area0.ini"));
            QCOMPARE(r[0].itemsAdded, (QList<QByteArray>{"c", "b"}));
            QCOMPARE(r[1].itemsAdded, QList<QByteArray>{});
        }
        // The file keeps the case of its name.
        QCOMPARE(readBytes(at(QStringLiteral("area0.ini"))), area("True", 1, 1, 1, 1) + items({"a", "c", "b"}));
        QCOMPARE(fileNames(m_folder), (QStringList{QStringLiteral("IMAGE.INI"), QStringLiteral("area0.ini")}));
    }

    void missingFileBecomesTheCopy()
    {
        const QByteArray copy = area("True", 1, 2, 3, 4) + items({"x"});
        writeBytes(at(QStringLiteral("Area5 (conflicted copy 2026-12-09 031500).INI")), copy);
        const QList<ConflictMerge> r = mergeConflictCopies(m_folder, ConflictMode::Merge);
        QCOMPARE(r.size(), 1);
        QVERIFY(r[0].copyBecameFile);
        QVERIFY(r[0].copyRemoved);
        QCOMPARE(readBytes(at(QStringLiteral("Area5.INI"))), copy);
        QCOMPARE(fileNames(m_folder), (QStringList{QStringLiteral("Area5.INI"), QStringLiteral("IMAGE.INI")}));
    }

    void unusableCopiesStay_data()
    {
        QTest::addColumn<QByteArray>("copy");
        QTest::addColumn<Problem>("problem");
        QTest::newRow("not an INI") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) << Problem::CopyUnreadable;
        QTest::newRow("UTF-16") << QByteArray("\xFF\xFE[\0A\0r\0e\0a\0]\0", 14) << Problem::CopyUnreadable;
        QTest::newRow("too large") << QByteArray(int(MaxProfileFileSize) + 1, 'a') << Problem::CopyTooLarge;
    }
    void unusableCopiesStay()
    {
        QFETCH(QByteArray, copy);
        QFETCH(Problem, problem);
        const QByteArray file = area("False", 1, 2, 3, 4);
        writeBytes(at(QStringLiteral("Area0.INI")), file);
        writeBytes(at(SyncCopy), copy);
        const QList<ConflictMerge> r = mergeConflictCopies(m_folder, ConflictMode::Merge);
        QCOMPARE(r.size(), 1);
        QCOMPARE(r[0].problem, problem);
        QVERIFY(!r[0].copyRemoved);
        QCOMPARE(readBytes(at(QStringLiteral("Area0.INI"))), file);
        QCOMPARE(readBytes(at(SyncCopy)), copy);
    }

    void imageIniTitleDiffers()
    {
        const QByteArray file = readBytes(at(QStringLiteral("IMAGE.INI")));
        const QString copyName = QStringLiteral("IMAGE.sync-conflict-20261209-031500-ABCD123.INI");
        writeBytes(at(copyName), "[ImageFile]\r\nTitle=\x96\x7b\x92\x49\r\n"); // 本棚
        const QList<ConflictMerge> r = mergeConflictCopies(m_folder, ConflictMode::Merge);
        QCOMPARE(r.size(), 1);
        QCOMPARE(r[0].area, -1);
        QCOMPARE(r[0].copyTitle, std::optional<QString>(QStringLiteral("本棚")));
        QVERIFY(!r[0].fileChanged);
        QVERIFY(r[0].copyRemoved);
        QCOMPARE(readBytes(at(QStringLiteral("IMAGE.INI"))), file);

        writeBytes(at(copyName), file);
        const QList<ConflictMerge> same = mergeConflictCopies(m_folder, ConflictMode::Merge);
        QCOMPARE(same.size(), 1);
        QVERIFY(!same[0].copyTitle);
        QVERIFY(!same[0].takesOver());
    }

    // A copy goes only after the merged file was renamed into place and its folder synced.
    void copyRemovedOnlyAfterTheFileLanded_data()
    {
        QTest::addColumn<QString>("failing"); // the operation that fails, on which path
        QTest::addColumn<Problem>("problem");
        QTest::addColumn<bool>("merged"); // the file holds the merge
        QTest::newRow("nothing fails") << QString() << Problem::None << true;
        QTest::newRow("rename") << QStringLiteral("rename Area0.INI") << Problem::WriteFailed << false;
        QTest::newRow("write") << QStringLiteral("write") << Problem::WriteFailed << false;
        QTest::newRow("folder sync") << QStringLiteral("syncdir") << Problem::WriteFailed << true;
        QTest::newRow("remove") << QStringLiteral("remove ") + SyncCopy << Problem::RemoveFailed << true;
    }
    void copyRemovedOnlyAfterTheFileLanded()
    {
        QFETCH(QString, failing);
        QFETCH(Problem, problem);
        QFETCH(bool, merged);
        const QByteArray file = area("True", 1, 1, 1, 1) + items({"a"});
        const QByteArray copy = area("True", 1, 1, 1, 1) + items({"b"});
        writeBytes(at(QStringLiteral("Area0.INI")), file);
        writeBytes(at(SyncCopy), copy);

        kovra::test::FailingFileOps ops;
        const QString op = failing.section(u' ', 0, 0);
        const QString name = failing.section(u' ', 1);
        ops.failWhen = [&](const QString& o, const QString& path) {
            return !failing.isEmpty() && o == op && (name.isEmpty() || path.endsWith(u'/' + name));
        };
        const ScopedFileOps scoped(&ops);
        const QList<ConflictMerge> r = mergeConflictCopies(m_folder, ConflictMode::Merge);
        QCOMPARE(r.size(), 1);
        QCOMPARE(r[0].problem, problem);
        QCOMPARE(readBytes(at(QStringLiteral("Area0.INI"))) == area("True", 1, 1, 1, 1) + items({"a", "b"}), merged);
        QCOMPARE(r[0].copyRemoved, problem == Problem::None);
        QCOMPARE(QFileInfo::exists(at(SyncCopy)), problem != Problem::None);
        if (problem != Problem::None)
            QCOMPARE(readBytes(at(SyncCopy)), copy);
        else {
            // rename, folder sync, unlink, folder sync: in this order.
            const auto index = [&](const QString& line) { return ops.log.indexOf(line); };
            const qsizetype renamed = index(QStringLiteral("rename ") + at(QStringLiteral("Area0.INI")));
            const qsizetype removed = index(QStringLiteral("remove ") + at(SyncCopy));
            QVERIFY(renamed >= 0);
            QVERIFY(removed > renamed);
            QVERIFY(ops.log.mid(renamed, removed - renamed).contains(QStringLiteral("syncdir ") + m_folder));
            QCOMPARE(ops.log.mid(removed).count(QStringLiteral("syncdir ") + m_folder), 1);
        }
    }

    void unreadableFileGetsNothing()
    {
        writeBytes(at(QStringLiteral("Area0.INI")), area("True", 1, 1, 1, 1));
        writeBytes(at(SyncCopy), area("True", 1, 1, 1, 1) + items({"b"}));
        kovra::test::FailingFileOps ops;
        ops.failWhen = [](const QString& o, const QString& path) {
            return o == QStringLiteral("read") && path.endsWith(QStringLiteral("/Area0.INI"));
        };
        const ScopedFileOps scoped(&ops);
        const QList<ConflictMerge> r = mergeConflictCopies(m_folder, ConflictMode::Merge);
        QCOMPARE(r.size(), 1);
        QCOMPARE(r[0].problem, Problem::FileUnreadable);
        QVERIFY(QFileInfo::exists(at(SyncCopy)));
    }

    void picturesAndFoldersAreNoCopies()
    {
        writeBytes(at(QStringLiteral("shelf.sync-conflict-20261209-031500-ABCD123.jpg")), "x");
        QVERIFY(QDir(m_folder).mkdir(SyncCopy));
        writeBytes(at(QStringLiteral("elsewhere.ini")), area("True", 1, 1, 1, 1));
        QVERIFY(QFile::link(at(QStringLiteral("elsewhere.ini")), at(DropboxCopy)));
        QVERIFY(conflictCopies(m_folder).isEmpty());
        QVERIFY(mergeConflictCopies(m_folder, ConflictMode::Merge).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_ConflictCopies)
#include "tst_conflictcopies.moc"
