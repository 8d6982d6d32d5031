// Saves that merge with what another writer stored since the areas or the items were read.
#include "AreaFiles.h"
#include "FailingFileOps.h"
#include "FileOps.h"
#include "FixtureCatalogue.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace kovra;
using kovra::test::areaSection;
using kovra::test::itemSections;
using kovra::test::readBytes;
using kovra::test::writeBytes;

Q_DECLARE_METATYPE(kovra::WriteStatus)

namespace {

// Rows written as words: "" is no row, "_" an empty row.
QList<QByteArray> rows(const QByteArray& words)
{
    QList<QByteArray> r;
    for (const QByteArray& w : words.split(' '))
        if (!w.isEmpty())
            r.append(w == "_" ? QByteArray() : w);
    return r;
}

// No file at all.
const QByteArray NoFile = "<none>";

} // namespace

class tst_AreaMerge : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    int m_n = 0;
    QString newFolder()
    {
        const QString f = m_tmp.filePath(QStringLiteral("img%1").arg(++m_n));
        QDir().mkpath(f);
        return f;
    }
    static void put(const QString& folder, int i, const QByteArray& bytes)
    {
        if (bytes == NoFile)
            QFile::remove(areaFilePath(folder, i));
        else
            QVERIFY(writeBytes(areaFilePath(folder, i), bytes));
    }

private slots:
    void itemMerge_data()
    {
        QTest::addColumn<QByteArray>("base");
        QTest::addColumn<QByteArray>("mine");
        QTest::addColumn<QByteArray>("theirs");
        QTest::addColumn<QByteArray>("merged");
        const auto row = [](const char* tag, const char* base, const char* mine, const char* theirs,
                            const char* merged) {
            QTest::newRow(tag) << QByteArray(base) << QByteArray(mine) << QByteArray(theirs) << QByteArray(merged);
        };
        row("nobody else wrote", "A B C", "A C D", "A B C", "A C D");
        row("additions on both sides", "A B", "A B X", "A B Y", "A B Y X");
        row("removal here kept there", "A B C", "A C", "A B C Y", "A C Y");
        row("removal there kept here", "A B C", "A B C X", "A C", "A C X");
        row("the same row removed on both sides", "A B", "A", "A", "A");
        row("all removed here, one added there", "A B", "", "A B C", "C");
        row("their addition kept in its place", "A B", "A B X", "A Y B", "A Y B X");
        row("the second of two equal rows removed", "A B A", "A B", "A B A", "A B");
        row("the first of two equal rows removed", "A B A", "B A", "A B A", "B A");
        row("equal row removed, fewer left there", "A A A", "A A", "A A", "A");
        row("equal row removed, gone there", "A B", "B", "B", "B");
        row("a duplicate added", "A", "A A", "A", "A A");
        row("the same name added on both sides", "", "A", "A", "A A");
        row("removed and added again", "A B", "B A", "A B", "B A");
        row("empty base", "", "X Y", "P", "P X Y");
        row("empty base, nothing there", "", "X", "", "X");
        row("nothing anywhere", "", "", "", "");
        row("empty rows by occurrence", "_ A", "A", "_ A _", "A _");
        row("unchanged here", "A B", "A B", "C", "C");
    }
    void itemMerge()
    {
        QFETCH(QByteArray, base);
        QFETCH(QByteArray, mine);
        QFETCH(QByteArray, theirs);
        QFETCH(QByteArray, merged);
        QCOMPARE(mergeItemRows(rows(base), rows(mine), rows(theirs)), rows(merged));
    }

    // On disk: the stored rows are the merge of what is there under the lock, written exactly as a plain
    // save of the merged rows writes them, the rest of the file kept.
    void itemMergeOnDisk()
    {
        const QString folder = newFolder(), plain = newFolder();
        const QByteArray area = areaSection(true, 1, 2, 3, 4);
        put(folder, 2, area + itemSections({"pen", "cup", "ink"}));
        put(plain, 2, area + itemSections({"pen", "cup", "ink"}));
        const ItemMerge m = mergeItemBytes(folder, 2, rows("pen cup"), rows("cup key"));
        QCOMPARE(m.status, WriteStatus::Ok);
        QCOMPARE(m.rows, rows("cup ink key"));
        QCOMPARE(readItemBytes(folder, 2), m.rows);
        QCOMPARE(saveItemBytes(plain, 2, m.rows), WriteStatus::Ok);
        QCOMPARE(readBytes(areaFilePath(folder, 2)), readBytes(areaFilePath(plain, 2)));
        QVERIFY(readBytes(areaFilePath(folder, 2)).startsWith(area));
    }

    void itemMergeRefusals_data()
    {
        QTest::addColumn<QList<QByteArray>>("mine");
        QTest::addColumn<QString>("failingOp");
        QTest::addColumn<WriteStatus>("status");
        QTest::newRow("a line break") << QList<QByteArray>{"a\nb"} << QString() << WriteStatus::InvalidInput;
        QTest::newRow("disk full") << rows("X") << QStringLiteral("write") << WriteStatus::Failed;
    }
    void itemMergeRefusals()
    {
        QFETCH(QList<QByteArray>, mine);
        QFETCH(QString, failingOp);
        QFETCH(WriteStatus, status);
        const QString folder = newFolder();
        const QByteArray old = itemSections({"pen"});
        put(folder, 0, old);
        test::FailingFileOps ops;
        ops.failWhen = [&](const QString& op, const QString&) { return op == failingOp; };
        const ScopedFileOps scope(&ops);
        const ItemMerge m = mergeItemBytes(folder, 0, rows("pen"), mine);
        QCOMPARE(m.status, status);
        QVERIFY(m.rows.isEmpty());
        QCOMPARE(readBytes(areaFilePath(folder, 0)), old);
    }

    // Area 3 as read, as another writer left it meanwhile (or unchanged), and as shown here.
    void arrangementMerge_data()
    {
        QTest::addColumn<QByteArray>("read");
        QTest::addColumn<QByteArray>("there"); // empty: nobody else wrote
        QTest::addColumn<bool>("visible");
        QTest::addColumn<QRectF>("rect");
        QTest::addColumn<bool>("changedHere");
        QTest::addColumn<bool>("leaveAlone");
        QTest::addColumn<bool>("written");
        QTest::addColumn<bool>("named");
        const QByteArray items = itemSections({"pen"});
        const QByteArray at10 = areaSection(true, 10, 20, 30, 40) + items;
        const QByteArray moved = areaSection(true, 70, 80, 30, 40) + items;
        const QByteArray gone = areaSection(false, 10, 20, 30, 40) + items;
        const QByteArray none;
        const QRectF r10(10, 20, 30, 40), mine(5, 6, 30, 40);
        QTest::newRow("untouched on both sides") << at10 << none << true << r10 << false << false << true << false;
        QTest::newRow("untouched here, moved there")
            << at10 << moved << true << r10 << false << false << false << false;
        QTest::newRow("untouched here, deleted there")
            << at10 << gone << true << r10 << false << false << false << false;
        QTest::newRow("untouched here, new there")
            << NoFile << at10 << false << QRectF() << false << false << false << false;
        QTest::newRow("moved here") << at10 << none << true << mine << true << false << true << false;
        QTest::newRow("moved here and there") << at10 << moved << true << mine << true << false << true << true;
        QTest::newRow("moved alike here and there")
            << at10 << moved << true << QRectF(70, 80, 30, 40) << true << false << true << false;
        QTest::newRow("only the leftovers changed there")
            << gone << areaSection(false, 1, 1, 1, 1) << false << r10 << false << false << true << false;
        QTest::newRow("deleted here") << at10 << none << false << r10 << true << false << true << false;
        QTest::newRow("deleted here, moved there") << at10 << moved << false << r10 << true << false << true << true;
        QTest::newRow("deleted on both sides") << at10 << gone << false << r10 << true << false << true << false;
        QTest::newRow("new here") << NoFile << none << true << mine << true << false << true << false;
        QTest::newRow("new here and there") << NoFile << at10 << true << mine << true << false << true << true;
        QTest::newRow("unread, changed there") << at10 << moved << true << mine << true << true << false << false;
    }
    void arrangementMerge()
    {
        QFETCH(QByteArray, read);
        QFETCH(QByteArray, there);
        QFETCH(bool, visible);
        QFETCH(QRectF, rect);
        QFETCH(bool, changedHere);
        QFETCH(bool, leaveAlone);
        QFETCH(bool, written);
        QFETCH(bool, named);
        const QString folder = newFolder(), plain = newFolder();
        put(folder, 3, read);
        put(plain, 3, read);
        std::array<ArrangementArea, AreaCount> areas{};
        for (int i = 0; i < AreaCount; ++i)
            areas[size_t(i)].read = readImageArea(folder, i);
        areas[3].marker = {visible, rect};
        areas[3].changedHere = changedHere;
        areas[3].leaveAlone = leaveAlone;
        if (!there.isEmpty())
            put(folder, 3, there);
        const QByteArray onDisk = readBytes(areaFilePath(folder, 3));

        const ArrangementMerge m = mergeArrangement(folder, areas);
        QCOMPARE(m.status, WriteStatus::Ok);
        QCOMPARE(m.written[3], written);
        QCOMPARE(m.changedElsewhere, named ? QList<int>{3} : QList<int>{});
        if (written) {
            // Exactly what the plain save writes of that marker over what the file holds now.
            put(plain, 3, there.isEmpty() ? read : there);
            std::array<AreaMarker, AreaCount> markers{};
            markers[3] = {visible, rect};
            std::array<bool, AreaCount> only3;
            only3.fill(true);
            only3[3] = false;
            QCOMPARE(saveArrangement(plain, markers, only3), WriteStatus::Ok);
            QCOMPARE(readBytes(areaFilePath(folder, 3)), readBytes(areaFilePath(plain, 3)));
        } else {
            QCOMPARE(readBytes(areaFilePath(folder, 3)), onDisk);
        }
        if (leaveAlone)
            QVERIFY(sameReading(m.disk[3], areas[3].read));
        else
            QVERIFY(sameReading(m.disk[3], readImageArea(folder, 3)));
        // The other areas, untouched on both sides, are written as before: all files exist afterwards.
        for (int i = 0; i < AreaCount; ++i)
            QVERIFY(i == 3 || QFile::exists(areaFilePath(folder, i)));
    }

    // A refusal on the last file before the renames changes no file, another writer's included.
    void arrangementMergeIsAllOrNothing()
    {
        const QString folder = newFolder();
        const QByteArray old = areaSection(true, 1, 2, 3, 4);
        for (int i = 0; i < AreaCount; ++i)
            put(folder, i, old);
        std::array<ArrangementArea, AreaCount> areas{};
        for (int i = 0; i < AreaCount; ++i) {
            areas[size_t(i)].read = readImageArea(folder, i);
            areas[size_t(i)].marker = {true, QRectF(5, 6, 7, 8)};
            areas[size_t(i)].changedHere = true;
        }
        test::FailingFileOps ops;
        ops.failWhen = [&](const QString& op, const QString& path) {
            return op == u"write" && path.contains(QStringLiteral("Area29.INI"));
        };
        const ScopedFileOps scope(&ops);
        QVERIFY(mergeArrangement(folder, areas).status != WriteStatus::Ok);
        QCOMPARE(ops.count(QStringLiteral("rename")), 0);
        for (int i = 0; i < AreaCount; ++i)
            QCOMPARE(readBytes(areaFilePath(folder, i)), old);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), AreaCount);
    }
};

QTEST_GUILESS_MAIN(tst_AreaMerge)
#include "tst_areamerge.moc"
