#include "AreaFiles.h"
#include "CatalogueGenerator.h"
#include "CodePage.h"
#include "FailingFileOps.h"
#include "FixtureCatalogue.h"
#include "ImageFolders.h"
#include "ProfileFile.h"
#include "SearchIndex.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <memory>
#include <random>
#include <unistd.h>

using namespace kovra;
using namespace Qt::Literals::StringLiterals;

namespace {

const QStringList Texts = {u"ペン"_s, u"電池"_s, u"usb"_s, u"ｹｰﾌﾞﾙ"_s, u"ぱそこん"_s, u"新品"_s, u"棚"_s, u"x"_s};

using kovra::test::cp932Lines;

QByteArray areaBytes(const QStringList& items)
{
    QStringList lines = {u"[Area]"_s, u"Visible=True"_s, u"[ItemCount]"_s, u"Sum="_s + QString::number(items.size()),
                         u"[Items]"_s};
    for (qsizetype k = 0; k < items.size(); ++k)
        lines.append(u"Item%1="_s.arg(k) + items[k]);
    return cp932Lines(lines);
}

// In place: the same file (inode) truncated and written, as an editor that keeps links does.
void writeInPlace(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

// A new file renamed over the old one, as the program's own writes and sync tools do.
void replaceByRename(const QString& path, const QByteArray& bytes)
{
    const QString temp = QFileInfo(path).path() + u"/.tmp-"_s + QString::number(::getpid());
    writeInPlace(temp, bytes);
    QVERIFY(QFile::rename(temp, path) || (QFile::remove(path) && QFile::rename(temp, path)));
}

QString describe(const QList<SearchRow>& rows)
{
    QStringList out;
    for (const SearchRow& r : rows)
        out << u"%1 %2 %3 %4"_s.arg(r.folderPosition).arg(r.folder, r.title, r.hitAreaText()) + u' ' + r.picturePath;
    return out.join(u'\n');
}

// Asserts that the index answers as the scan does, now, for text.
bool sameAsScan(SearchIndex& index, const QString& root, const QString& text)
{
    const QStringList folders = folderList(root);
    const Matcher matcher(text);
    QList<int> progressed;
    const QList<SearchRow> fromIndex = index.search(folders, matcher, [&](int p, int) { progressed.append(p); });
    const QList<SearchRow> fromScan = searchFolders(folders, matcher);
    QList<int> expected(folders.size());
    std::iota(expected.begin(), expected.end(), 0);
    if (fromIndex != fromScan || progressed != expected) {
        qWarning().noquote() << "text" << text << "\nindex:\n"
                             << describe(fromIndex) << "\nscan:\n"
                             << describe(fromScan);
        return false;
    }
    return true;
}

} // namespace

class tst_searchindex : public QObject
{
    Q_OBJECT

private slots:
    void answersAsScanUnderRandomChanges();
    void changesOutsideWatchedFoldersAreSeen_data();
    void changesOutsideWatchedFoldersAreSeen();
    void repeatedSearchReadsNothing();
    void quickSuccessionStillBuildsTheIndex();
    void failedReadsAreReadAgain();
    void textThatNoItemCanHoldFindsNothing();
    void cancelledSearchesKeepWhatTheyRead();
};

// Random edits, creations, deletions and renames of files and folders, each followed by a search of the
// index held against the scan; edits come in bursts within one second, between two searches too.
void tst_searchindex::answersAsScanUnderRandomChanges()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString root = dir.path() + u"/program"_s;
    QVERIFY(bench::generateCatalogue(root, 40, 7));
    const quint32 seed =
        qEnvironmentVariableIsSet("KOVRA_SEED") ? quint32(qEnvironmentVariableIntValue("KOVRA_SEED")) : 20261209u;
    std::mt19937 rng(seed);
    auto below = [&](int n) { return int(rng() % quint32(n)); };
    const QStringList words = {u"ボールペン"_s, u"電池"_s, u"USBケーブル"_s, u"ﾊﾟｿｺﾝ"_s,
                               u"新品の棚"_s,   u"box"_s,  u"ぺんけーす"_s,  u"単三電池"_s};
    auto randomItems = [&] {
        QStringList items;
        for (int k = below(4); k > 0; --k)
            items.append(words[below(int(words.size()))] + QString::number(below(3)));
        return items;
    };
    auto someFolder = [&] {
        const QStringList folders = folderList(root);
        return folders.isEmpty() ? QString() : folders[below(int(folders.size()))];
    };

    // Now and then a new index, through another FileOps or the default one: its first search scans and
    // it reads everything in the background, while the next edits are made.
    FileOps passThrough;
    bool throughPassThrough = false;
    auto index = std::make_unique<SearchIndex>();
    int edits = 0, searches = 0, mismatches = 0, serial = 0;
    for (int round = 0; round < 400; ++round) {
        const QString folder = someFolder();
        if (folder.isEmpty() || QFileInfo(folder).fileName() == u"manual")
            continue;
        const QString area = areaFilePath(folder, below(AreaCount));
        switch (below(12)) {
        case 0:
            writeInPlace(area, areaBytes(randomItems()));
            break;
        case 1:
        case 2:
            replaceByRename(area, areaBytes(randomItems()));
            break;
        case 3: // the program's own write of one key
            writeProfileString(u"Items", u"Item0", words[below(int(words.size()))], area);
            break;
        case 4:
            QFile::remove(area);
            break;
        case 5: // a new title, in place or replaced
            writeProfileString(u"ImageFile", u"Title", words[below(int(words.size()))], imageIniPath(folder));
            break;
        case 6: { // a new image folder, made beside and renamed into place
            const QString made = dir.path() + u"/made"_s + QString::number(++serial);
            QDir().mkpath(made);
            writeInPlace(made + u"/IMAGE.INI"_s, cp932Lines({u"[ImageFile]"_s, u"Title=新しい棚"_s}));
            writeInPlace(areaFilePath(made, below(AreaCount)), areaBytes(randomItems()));
            QVERIFY(QDir().rename(made, root + u"/2030%1"_s.arg(serial, 10, 10, QLatin1Char('0'))));
            break;
        }
        case 7: // a folder renamed: the folder list's order changes
            QDir().rename(folder, root + u"/1999"_s + QString::number(++serial));
            break;
        case 8:
            QDir(folder).removeRecursively();
            break;
        case 9: { // a folder replaced whole by another one under the same name
            const QString other = someFolder();
            const QString moved = dir.path() + u"/old"_s + QString::number(++serial);
            if (other != folder && QDir().rename(folder, moved))
                QDir().rename(other, folder);
            break;
        }
        case 10: { // the picture goes or comes back: the resolved picture path changes
            const QString picture = picturePathOf(folder, SearchFilenameBufferSize);
            if (QFileInfo::exists(picture))
                QFile::remove(picture);
            else if (picture.startsWith(folder + u'/'))
                writeInPlace(picture, "picture");
            break;
        }
        case 11:
            throughPassThrough = !throughPassThrough;
            index = std::make_unique<SearchIndex>(throughPassThrough ? passThrough : FileOps::current());
            break;
        }
        ++edits;
        // Now and then a search the user ends early: what it read must not make a later answer wrong.
        if (below(4) == 0) {
            const QStringList folders = folderList(root);
            const int stopAt = below(int(folders.size()) + 1);
            try {
                index->search(folders, Matcher(Texts[below(int(Texts.size()))]), [&](int p, int) {
                    if (p == stopAt)
                        throw SearchCancelled{};
                });
            } catch (const SearchCancelled&) {
            }
        }
        // Searches after most edits, sometimes two in a row, sometimes none (edits pile up).
        for (int k = below(3); k > 0; --k) {
            ++searches;
            if (!sameAsScan(*index, root, Texts[below(int(Texts.size()))]))
                ++mismatches;
        }
    }
    qInfo("seed %u: %d edits, %d searches, %d mismatches", seed, edits, searches, mismatches);
    QCOMPARE(mismatches, 0);
    QVERIFY(searches > 200);
}

// Changes the folder watches cannot report: a link's target, a folder reached through a link, a picture
// outside the folder. What depends on them is looked at again at every search.
void tst_searchindex::changesOutsideWatchedFoldersAreSeen_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("area file is a link") << u"file link"_s;
    QTest::newRow("picture is a link") << u"picture link"_s;
    QTest::newRow("picture elsewhere") << u"picture elsewhere"_s;
    QTest::newRow("image folder is a link") << u"folder link"_s;
}

void tst_searchindex::changesOutsideWatchedFoldersAreSeen()
{
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString root = dir.path() + u"/program"_s;
    const QString elsewhere = dir.path() + u"/elsewhere"_s;
    QDir().mkpath(root + u"/20240101000000"_s);
    QDir().mkpath(elsewhere);
    const QString folder = root + u"/20240101000000"_s;
    const QString outside = elsewhere + u"/Area3.INI"_s;
    writeInPlace(outside, areaBytes({u"辞書"_s}));
    if (kind == u"file link")
        QVERIFY(QFile::link(outside, areaFilePath(folder, 3)));
    else if (kind == u"folder link") {
        QDir(folder).removeRecursively();
        QVERIFY(QFile::link(elsewhere, folder));
    } else {
        // The picture's resolution depends on a file outside the watched folder, or behind a link.
        writeInPlace(areaFilePath(folder, 3), areaBytes({u"ペン"_s}));
        const QString picture = kind == u"picture link" ? folder + u"/link.jpg"_s : elsewhere + u"/away.jpg"_s;
        if (kind == u"picture link")
            QVERIFY(QFile::link(elsewhere + u"/away.jpg"_s, picture));
        writeInPlace(folder + u"/IMAGE.INI"_s, cp932Lines({u"[ImageFile]"_s, u"Filename="_s + picture}));
        SearchIndex index;
        QVERIFY(sameAsScan(index, root, u"ペン"_s));
        writeInPlace(elsewhere + u"/away.jpg"_s, "picture");
        QVERIFY(sameAsScan(index, root, u"ペン"_s));
        QFile::remove(elsewhere + u"/away.jpg"_s);
        QVERIFY(sameAsScan(index, root, u"ペン"_s));
        return;
    }
    SearchIndex index;
    QVERIFY(sameAsScan(index, root, u"ペン"_s));
    writeInPlace(outside, areaBytes({u"ボールペン"_s}));
    QVERIFY(sameAsScan(index, root, u"ペン"_s));
    QCOMPARE(index.search(folderList(root), Matcher(u"ペン"_s)).size(), 1);
}

void tst_searchindex::repeatedSearchReadsNothing()
{
    QTemporaryDir dir;
    QVERIFY(bench::generateCatalogue(dir.path(), 20, 3));
    test::FailingFileOps ops; // logs every read of the index
    SearchIndex index(ops);
    const QStringList folders = folderList(dir.path());
    index.search(folders, Matcher(u"電池"_s));
    QCOMPARE(index.stats().readLastSearch, folders.size());
    index.search(folders, Matcher(u"電池"_s));
    QCOMPARE(index.stats().current, int(folders.size())); // read in the background
    ops.log.clear();
    const QList<SearchRow> rows = index.search(folders, Matcher(u"ペン"_s));
    // The titles of hits first needed now are read; no area file is.
    QVERIFY2(ops.log.filter(u"Area"_s).isEmpty(), qPrintable(ops.log.join(u'\n')));
    QVERIFY(!ops.log.isEmpty());
    QCOMPARE(rows, searchFolders(folders, Matcher(u"ペン"_s)));
    const SearchIndex::Stats stats = index.stats();
    QCOMPARE(stats.readLastSearch, 0);
    QCOMPARE(stats.current, int(folders.size()));
    QVERIFY(stats.notifications);
    QVERIFY(stats.watches > folders.size()); // one per folder and one for the program folder
    QVERIFY(stats.memoryBytes > 0 && stats.memoryBytes < 64 * 20 * 1024);
}

// Searches in quick succession: the second stops the background reading at once and reads the rest
// itself, so the third answers from memory.
void tst_searchindex::quickSuccessionStillBuildsTheIndex()
{
    QTemporaryDir dir;
    QVERIFY(bench::generateCatalogue(dir.path(), 60, 3));
    const QStringList folders = folderList(dir.path());
    SearchIndex index;
    for (const QString& text : {u"電池"_s, u"ペン"_s, u"棚"_s})
        QCOMPARE(index.search(folders, Matcher(text)), searchFolders(folders, Matcher(text)));
    const SearchIndex::Stats stats = index.stats();
    QCOMPARE(stats.readLastSearch, 0);
    QCOMPARE(stats.current, int(folders.size()));
}

// The index's FileOps fails reads, then reads again: the disk did not change, the answer does.
void tst_searchindex::failedReadsAreReadAgain()
{
    QTemporaryDir dir;
    QVERIFY(bench::generateCatalogue(dir.path(), 10, 5));
    const QStringList folders = folderList(dir.path());
    test::FailingFileOps ops;
    std::atomic<bool> failing{true}; // changed while the index reads in the background
    ops.failWhen = [&](const QString& op, const QString&) { return failing && op == u"read"; };
    SearchIndex index(ops);
    QVERIFY(index.search(folders, Matcher(u"電池"_s)).isEmpty());
    failing = false;
    const QList<SearchRow> rows = index.search(folders, Matcher(u"電池"_s));
    QVERIFY(!rows.isEmpty());
    QCOMPARE(rows, searchFolders(folders, Matcher(u"電池"_s)));
}

void tst_searchindex::textThatNoItemCanHoldFindsNothing()
{
    QTemporaryDir dir;
    QVERIFY(bench::generateCatalogue(dir.path(), 10, 5));
    SearchIndex index;
    QVERIFY(sameAsScan(index, dir.path(), u"ペン"_s));
    QVERIFY(sameAsScan(index, dir.path(), QString(QChar(0xFFFF))));
    QVERIFY(sameAsScan(index, dir.path(), u"ペン"_s + QChar(0xFFFF) + u"ペン"_s));
}

// Searches ended early at random folders, as typing ends them, the first one too: each keeps the folders
// it read, so they add up and the search after them reads only what none of them reached.
void tst_searchindex::cancelledSearchesKeepWhatTheyRead()
{
    QTemporaryDir dir;
    QVERIFY(bench::generateCatalogue(dir.path(), 80, 13));
    const QStringList folders = folderList(dir.path());
    const int n = int(folders.size());
    std::mt19937 rng(7);
    SearchIndex index;
    int reached = -1;
    for (int round = 0; round < 12; ++round) {
        const int stopAt = int(rng() % quint32(n - 1));
        bool cancelled = false;
        try {
            index.search(folders, Matcher(Texts[round % Texts.size()]), [&](int p, int) {
                if (p == stopAt)
                    throw SearchCancelled{};
            });
        } catch (const SearchCancelled&) {
            cancelled = true;
        }
        QVERIFY(cancelled);
        reached = std::max(reached, stopAt);
    }
    QVERIFY(reached > 0);
    QVERIFY(sameAsScan(index, dir.path(), u"電池"_s));
    // Up to the furthest folder every one was read by some search (the background reading may have
    // read more); at most the rest is read now, and then nothing.
    QVERIFY2(index.stats().readLastSearch <= n - 1 - reached,
             qPrintable(u"read %1 of %2, reached %3"_s.arg(index.stats().readLastSearch).arg(n).arg(reached)));
    QVERIFY(sameAsScan(index, dir.path(), u"ペン"_s));
    QCOMPARE(index.stats().readLastSearch, 0);
    QCOMPARE(index.stats().current, n);
}

QTEST_GUILESS_MAIN(tst_searchindex)
#include "tst_searchindex.moc"
