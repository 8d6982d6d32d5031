// Regression tests for what the fuzzers and the hostile catalogues found in the core.

#include "AreaFiles.h"
#include "FixtureCatalogue.h"
#include "ImageFolders.h"
#include "ProfileFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace kovra;
using kovra::test::readBytes;
using kovra::test::writeBytes;

namespace {

// Every read of these names gives the same answer in both files.
void compareReads(const ProfileFile& edited, const ProfileFile& fresh, const char* step)
{
    static const QStringList sections = {QStringLiteral("S"), QStringLiteral("t"), QStringLiteral("Items"),
                                         QStringLiteral("ItemCount"), QStringLiteral("New")};
    static const QStringList keys = {QStringLiteral("k"),     QStringLiteral("J"),   QStringLiteral("Item0"),
                                     QStringLiteral("Item1"), QStringLiteral("Sum"), QStringLiteral("new")};
    for (const QString& s : sections) {
        QVERIFY2(edited.hasSection(s) == fresh.hasSection(s), step);
        QVERIFY2(edited.keyNames(s) == fresh.keyNames(s), step);
        for (const QString& k : keys)
            QVERIFY2(edited.rawValue(s, k) == fresh.rawValue(s, k),
                     qPrintable(QStringLiteral("%1: [%2] %3").arg(QLatin1StringView(step), s, k)));
    }
}

} // namespace

class tst_CoreFixes : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;

private slots:
    // Each edit used to re-parse the whole file, so saving n items took n^2 steps: 5,000 items took 26 s.
    void manyItemsSaveInLinearTime()
    {
        const QString folder = m_tmp.filePath(QStringLiteral("20030405060708"));
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeBytes(areaFilePath(folder, 0), "[Area]\r\nVisible=True\r\n[Items]\r\nItem0=old\r\nItem9=old\r\n"));
        QStringList items;
        QByteArray expected = "[Area]\r\nVisible=True\r\n[ItemCount]\r\nSum=5000\r\n[Items]\r\n";
        for (int k = 0; k < 5000; ++k) {
            items.append(QStringLiteral("ボールペン%1").arg(k));
            expected += "Item" + QByteArray::number(k) + "=\x83\x7b\x81\x5b\x83\x8b\x83\x79\x83\x93" +
                        QByteArray::number(k) + "\r\n";
        }
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(saveItems(folder, 0, items), WriteStatus::Ok);
        const qint64 ms = timer.elapsed();
        qInfo("5,000 items saved in %lld ms", ms);
        QVERIFY2(ms < 5000, qPrintable(QStringLiteral("saving 5,000 items took %1 ms").arg(ms)));
        QCOMPARE(readBytes(areaFilePath(folder, 0)), expected);
        QCOMPARE(readItems(folder, 0), items);
    }

    // Edits re-parse only from the changed line on; the result must read exactly as a fresh parse of the
    // same bytes, whatever the shape of the file around the edit.
    void editsReadAsFreshParse_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("no final line end") << QByteArray("[S]\r\nk=1\r\n[t]\r\nJ=2");
        QTest::newRow("header ends the file") << QByteArray("[S]\r\nk=1\r\n[T]");
        QTest::newRow("CR alone") << QByteArray("[S]\rk=1\r[T]\rJ=2\r");
        QTest::newRow("LF alone") << QByteArray("[S]\nk=1\n\n[T]\nJ=2\n");
        QTest::newRow("lines before the first section") << QByteArray("k=0\r\nJ=0\r\n[S]\r\nk=1\r\n");
        QTest::newRow("twice the same section") << QByteArray("[S]\r\nk=1\r\n[t]\r\nj=2\r\n[s]\r\nk=3\r\nJ=4\r\n");
        QTest::newRow("comments and blanks between keys")
            << QByteArray("[S]\r\n; note\r\n\r\nk=1\r\n  ;k=2\r\n\r\n[T]\r\n");
        QTest::newRow("items file") << test::fixture::shelfArea0();
        // Past the sizes where names are looked up through indexes: those must follow every edit too.
        QByteArray big = "[S]\r\n";
        for (int i = 0; i < 40; ++i)
            big += "a" + QByteArray::number(i) + "=x\r\n";
        big += "k=1\r\nJ=2\r\n";
        for (int i = 0; i < 30; ++i)
            big += "[X" + QByteArray::number(i) + "]\r\nv=" + QByteArray::number(i) + "\r\n";
        big += "[t]\r\n";
        for (int i = 0; i < 30; ++i)
            big += "Item" + QByteArray::number(i) + "=y\r\n";
        big += "[s]\r\nk=later\r\n[Items]\r\nItem0=z";
        QTest::newRow("many sections and keys") << big;
    }
    void editsReadAsFreshParse()
    {
        QFETCH(QByteArray, bytes);
        ProfileFile f(bytes);
        compareReads(f, ProfileFile(f.bytes()), "loaded");
        auto step = [&](WriteStatus st, const char* what) {
            QCOMPARE(st, WriteStatus::Ok);
            compareReads(f, ProfileFile(f.bytes()), what);
        };
        step(f.set(u"S", u"k", u"replaced"), "replace a value");
        step(f.set(u"s", u"new", u"added"), "add a key to the first section");
        step(f.set(u"T", u"J", u"x"), "a key of a later section");
        step(f.set(u"New", u"Item0", u"a"), "a new section");
        step(f.set(u"New", u"Item1", u"b"), "a key of the new section");
        step(f.removeSection(u"S"), "remove the first section");
        step(f.set(u"S", u"k", u"again"), "a key of a removed section");
        step(f.removeSection(u"New"), "remove the last section");
        step(f.set(u"ItemCount", u"Sum", u"2"), "Sum");
        while (f.hasSection(u"Items"))
            step(f.removeSection(u"Items"), "remove Items");
        step(f.set(u"Items", u"Item0", u"電池"), "Item0");
        step(f.set(u"Items", u"Item1", u""), "Item1");
        QCOMPARE(f.value(u"Items", u"Item0"), QStringLiteral("電池"));
    }

    // Links in the program folder that lead nowhere, loop, or lead back to the program folder are no
    // image folders: the title lists, the search and deletion never take them for one.
    void folderListSkipsLinksThatAreNoImage()
    {
        const QString root = m_tmp.filePath(QStringLiteral("links"));
        QVERIFY(QDir().mkpath(root + QStringLiteral("/20030405060708")));
        QVERIFY(QDir().mkpath(root + QStringLiteral("/manual")));
        QVERIFY(QDir().mkpath(m_tmp.filePath(QStringLiteral("elsewhere"))));
        auto link = [&](const QString& target, const char* name) {
            QVERIFY(QFile::link(target, root + u'/' + QLatin1StringView(name)));
        };
        link(QStringLiteral("20030405060701"), "20030405060701"); // itself
        link(QStringLiteral("20030405060703"), "20030405060702"); // a loop of two
        link(QStringLiteral("20030405060702"), "20030405060703");
        link(QStringLiteral("gone"), "20030405060704");                      // dangling
        link(QStringLiteral("."), "20030405060705");                         // the program folder
        link(root, "20030405060706");                                        // the same, absolute
        link(QStringLiteral("20030405060708"), "20030405060709");            // another image: listed
        link(m_tmp.filePath(QStringLiteral("elsewhere")), "20030405060710"); // a folder elsewhere: listed
        const QStringList expected = {root + QStringLiteral("/20030405060708"),
                                      root + QStringLiteral("/20030405060709"),
                                      root + QStringLiteral("/20030405060710"), root + QStringLiteral("/manual")};
        QCOMPARE(folderList(root), expected);
        QCOMPARE(titleList(folderList(root), nonTitled()).size(), 3);
    }

    void keyNamesOfTheFirstSection()
    {
        const ProfileFile f(QByteArray("[Items]\r\nItem1=a\r\n item0 = b\r\n;Item2=c\r\nItem1=d\r\nnovalue\r\n"
                                       "[items]\r\nItem5=e\r\n"));
        // A line without '=' is no key.
        QCOMPARE(f.keyNames(u"ITEMS"), (QList<QByteArray>{"Item1", "item0", "Item1"}));
        QCOMPARE(f.keyNames(u"Missing"), QList<QByteArray>());
    }
};

QTEST_GUILESS_MAIN(tst_CoreFixes)
#include "tst_corefixes.moc"
