// The hostile catalogues (made at test time by make_hostile_catalogues.py): every case read by the core
// as the windows read it, and by kovra-cli list, search and check, each within a time bound that grows
// with the case's size. Nothing may crash; each case gives the readers' defaults or a clean skip.

#include "AreaFiles.h"
#include "CliRunner.h"
#include "FailingFileOps.h"
#include "FixtureCatalogue.h"
#include "HostileCases.h"
#include "ImageFolders.h"
#include "SearchScan.h"
#include "WindowPosition.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <unistd.h>

using namespace kovra;

namespace {

struct Window : PositionedWindow
{
    double top = 0, left = 0;
    double topTwips() const override { return top; }
    double leftTwips() const override { return left; }
    void setTopTwips(double t) override { top = t; }
    void setLeftTwips(double l) override { left = l; }
};

using Run = test::CliRun;

// What the core gave for one case, for the checks that follow.
struct CoreResult
{
    QStringList folders;
    QList<TitleEntry> titles;
    QList<SearchRow> rows;
    QHash<QString, std::array<LoadedArea, AreaCount>> areas; // by folder name
};

QStringList names(const QStringList& paths)
{
    QStringList out;
    for (const QString& p : paths)
        out.append(QFileInfo(p).fileName());
    return out;
}

QStringList rowText(const QList<SearchRow>& rows)
{
    QStringList out;
    for (const SearchRow& r : rows)
        out.append(QFileInfo(r.folder).fileName() + r.hitAreaText());
    return out;
}

QMap<QString, QByteArray> snapshot(const QString& root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(path, test::readBytes(path));
    }
    return files;
}

} // namespace

class tst_Hostile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_cases;
    QString m_cli;
    QJsonArray m_manifest;
    QStringList m_timings;

    QString root(const QString& name) const { return m_cases + u'/' + name; }

    Run cli(const QString& name, const QStringList& args) const
    {
        // A crash or a hang: code stays -1.
        test::CliOptions options;
        options.timeoutMs = 600000;
        return test::runCli(QStringList{QStringLiteral("--root"), root(name)} + args, options);
    }

    // Everything the windows read from a catalogue, the way they read it.
    static CoreResult readAll(const QString& programFolder)
    {
        CoreResult r;
        Window w;
        readWindowPosition(programFolder + QStringLiteral("/KOVRA.INI"), w);
        r.folders = folderList(programFolder);
        r.titles = titleList(r.folders, QString()); // the main window at start-up
        r.titles = titleList(r.folders, nonTitled());
        for (const TitleEntry& entry : std::as_const(r.titles)) {
            picturePathOf(entry.folder);
            r.areas.insert(QFileInfo(entry.folder).fileName(), loadImageAreas(entry.folder));
            for (int a = 0; a < AreaCount; ++a) {
                readItems(entry.folder, a);
                readAreaGeometry(entry.folder, a);
            }
        }
        r.rows = searchFolders(r.folders, Matcher(u"ペン"));
        return r;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        m_cli = test::cliProgram();
        QVERIFY2(QFileInfo(m_cli).isExecutable(), qPrintable(m_cli));
        m_cases = m_tmp.filePath(QStringLiteral("cases"));
        QString error;
        m_manifest = hostile::makeCases(m_cases, error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(m_manifest.size() >= 15);
        m_timings.append(QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                             .arg(QStringLiteral("case"), -20)
                             .arg(QStringLiteral("bytes"), 11)
                             .arg(QStringLiteral("bound ms"), 9)
                             .arg(QStringLiteral("core ms"), 8)
                             .arg(QStringLiteral("list ms"), 8)
                             .arg(QStringLiteral("search ms"), 9)
                             .arg(QStringLiteral("check ms"), 9));
    }
    void cleanupTestCase()
    {
        for (const QString& line : std::as_const(m_timings))
            qInfo("%s", qPrintable(line));
        hostile::releaseCases(m_cases);
    }

    void everyCase_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("bytes");
        for (const QJsonValue& v : std::as_const(m_manifest)) {
            const QJsonObject c = v.toObject();
            const QString name = c.value(u"name").toString();
            QTest::newRow(qPrintable(name)) << name << qint64(c.value(u"bytes").toDouble());
        }
    }
    void everyCase()
    {
        QFETCH(QString, name);
        QFETCH(qint64, bytes);
        const QString programFolder = root(name);
        const qint64 bound = hostile::boundMs(bytes);

        // The core, in this process. CI runs as root, which reads mode-000 files: the unreadable case
        // fails their reads through the file seam as well.
        test::FailingFileOps ops;
        ops.failWhen = [](const QString& op, const QString& path) {
            return op == u"read" && path.contains(u"/unreadable/") &&
                   (path.endsWith(u"/KOVRA.INI") || path.endsWith(u"20030405060708/IMAGE.INI") ||
                    path.endsWith(u"20030405060708/Area0.INI"));
        };
        QElapsedTimer timer;
        timer.start();
        CoreResult core;
        {
            const ScopedFileOps scoped(&ops);
            core = readAll(programFolder);
        }
        const qint64 coreMs = timer.elapsed();
        QVERIFY2(coreMs < bound, qPrintable(QStringLiteral("core took %1 ms, bound %2 ms").arg(coreMs).arg(bound)));

        // kovra-cli: list, search and check. None crashes; check changes nothing.
        const bool snap = bytes < 20 * 1024 * 1024;
        const auto before = snap ? snapshot(programFolder) : QMap<QString, QByteArray>();
        const Run list = cli(name, {QStringLiteral("list")});
        const Run search = cli(name, {QStringLiteral("search"), QStringLiteral("ペン")});
        const Run check = cli(name, {QStringLiteral("check")});
        if (snap)
            QVERIFY2(snapshot(programFolder) == before, "check changed the catalogue");
        for (const Run* r : {&list, &search, &check})
            QVERIFY2(
                r->code >= 0 && r->ms < bound,
                qPrintable(
                    QStringLiteral("kovra-cli exit %1 after %2 ms, bound %3 ms").arg(r->code).arg(r->ms).arg(bound)));
        QCOMPARE(list.code, 0);
        QCOMPARE(list.out.count(u'\n'), core.titles.size());
        QCOMPARE(search.code, core.rows.isEmpty() && name != u"unreadable" ? 1 : 0);
        const QStringList problems = check.out.split(u'\n', Qt::SkipEmptyParts);
        for (const QString& line : problems)
            QVERIFY2(line.count(u'\t') == 1 && line.endsWith(u'．'), qPrintable(line));
        m_timings.append(QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
                             .arg(name, -20)
                             .arg(bytes, 11)
                             .arg(bound, 9)
                             .arg(coreMs, 8)
                             .arg(list.ms, 8)
                             .arg(search.ms, 9)
                             .arg(check.ms, 9));

        // What each case must give.
        const QString first = QStringLiteral("20030405060708");
        auto checkSays = [&](const QString& text) {
            QVERIFY2(check.out.contains(text),
                     qPrintable(QStringLiteral("check does not say \"%1\":\n%2").arg(text, check.out)));
        };
        if (name == u"clean" || name == u"after_manual") {
            QCOMPARE(check.code, 0);
            QCOMPARE(check.out, QString());
        } else if (name != u"unreadable" || geteuid() != 0) {
            QCOMPARE(check.code, 1);
        }
        if (name == u"clean") {
            QCOMPARE(rowText(core.rows),
                     QStringList({first + QStringLiteral(",0"), QStringLiteral("20030405060709,0")}));
            QCOMPARE(core.titles.value(0).title, QStringLiteral("棚"));
        } else if (name == u"garbage") {
            QVERIFY(rowText(core.rows).contains(QStringLiteral("20040101000000,0")));
            checkSays(QStringLiteral("NUL"));
        } else if (name == u"large_area_file") {
            QCOMPARE(rowText(core.rows), QStringList(first + QStringLiteral(",0,1")));
            const QStringList items = readItems(programFolder + u'/' + first, 1);
            QCOMPARE(items.size(), 32767);
            QCOMPARE(items[32000], QStringLiteral("ボールペン"));
            checkSays(QStringLiteral("Sum=32767 の項目に入らず"));
        } else if (name == u"huge_area_file") {
            // Not read at all: no items, no hits, and check names its size.
            QCOMPARE(rowText(core.rows), QStringList(first + QStringLiteral(",0")));
            QCOMPARE(readItems(programFolder + u'/' + first, 1), QStringList());
            checkSays(QStringLiteral("/Area1.INI\t%1 バイトあり、INI ファイルとして大きすぎる")
                          .arg(QFileInfo(programFolder + u'/' + first + QStringLiteral("/Area1.INI")).size()));
        } else if (name == u"long_line") {
            QCOMPARE(core.titles.value(0).title, QString(62, QChar(u'長')));
            const QStringList items = readItems(programFolder + u'/' + first, 0);
            QCOMPARE(items.size(), 2);
            QCOMPARE(items[0].size(), 1024 * 1024);
            QCOMPARE(rowText(core.rows),
                     QStringList({first + QStringLiteral(",0"), QStringLiteral("20030405060709,0")}));
            checkSays(QStringLiteral("1048576 バイト"));
        } else if (name == u"sum_without_items") {
            // 2.5 reads as 2, " 3 " as 3; -32768, 99999, abc, "", 1e9 and 0x10 read no items.
            QCOMPARE(rowText(core.rows), QStringList(QStringLiteral("20040101000000,3,7")));
            QCOMPARE(readItems(programFolder + QStringLiteral("/20030405060700"), 0), QStringList(32767, QString()));
            checkSays(QStringLiteral("Sum は 32767 ですが 32767 個の項目がありません"));
        } else if (name == u"bad_geometry") {
            const auto& areas = core.areas.value(first);
            QCOMPARE(areas[0].state, LoadedArea::State::InUse);
            QCOMPARE(areas[0].geometry[0], std::optional<qint16>(-32768));
            QCOMPARE(areas[0].geometry[2], std::optional<qint16>(32767));
            QCOMPARE(areas[1].state, LoadedArea::State::Failed); // Left=-40000 stops the reading
            QCOMPARE(areas[2].state, LoadedArea::State::Unread);
            const auto g2 = readAreaGeometry(programFolder + u'/' + first, 2);
            QCOMPARE(g2[1], std::nullopt); // 32767.5 rounds to 32768
            const auto g5 = readAreaGeometry(programFolder + u'/' + first, 5);
            QCOMPARE(g5, (std::array<std::optional<qint16>, 4>{0, 5, 7, -32768}));
            QCOMPARE(rowText(core.rows), QStringList(first + QStringLiteral(",0,1,2,3,4,5,6")));
            checkSays(QStringLiteral("\"-40000\""));
        } else if (name == u"text_geometry") {
            const auto& areas = core.areas.value(first);
            QCOMPARE(areas[0].state, LoadedArea::State::InUse);
            QCOMPARE(areas[1].state, LoadedArea::State::Failed);
            QCOMPARE(readAreaGeometry(programFolder + u'/' + first, 2)[0], std::nullopt); // full-width digits
            checkSays(QStringLiteral("\"abc\""));
        } else if (name == u"truncated_dbcs") {
            QCOMPARE(core.titles.value(0).title, QString(62, QChar(u'ソ')));
            QCOMPARE(rowText(core.rows), QStringList(first + QStringLiteral(",0,1")));
            QVERIFY(core.titles.value(1).title.startsWith(u'棚'));
            checkSays(QStringLiteral("code page 932 の文字でないバイト"));
        } else if (name == u"unicode_files") {
            QCOMPARE(core.rows, QList<SearchRow>());
            QCOMPARE(core.titles.value(0).title, nonTitled());
            checkSays(QStringLiteral("UTF-16 で書かれています"));
            checkSays(QStringLiteral("UTF-8 で書かれています"));
        } else if (name == u"area_is_folder") {
            QCOMPARE(names(core.folders), QStringList({first, QStringLiteral("20030405060709"),
                                                       QStringLiteral("KOVRA.INI"), QStringLiteral("manual")}));
            QCOMPARE(core.areas.value(first)[0].state, LoadedArea::State::NotInUse);
            QCOMPARE(rowText(core.rows), QStringList(QStringLiteral("20030405060709,0")));
            checkSays(QStringLiteral("ファイルではなくフォルダです"));
        } else if (name == u"unreadable") {
            QCOMPARE(core.titles.value(0).title, nonTitled());
            QCOMPARE(rowText(core.rows), QStringList(QStringLiteral("20030405060709,0")));
        } else if (name == u"symlink_loops") {
            QCOMPARE(names(core.folders), QStringList({first, QStringLiteral("manual")}));
            QCOMPARE(core.titles.value(0).title, nonTitled());
            QCOMPARE(rowText(core.rows), QStringList(first + QStringLiteral(",0")));
            checkSays(QStringLiteral("シンボリックリンクの先がありません"));
        } else if (name == u"link_to_program") {
            QCOMPARE(names(core.folders),
                     QStringList({first, QStringLiteral("20030405060711"), QStringLiteral("manual")}));
            QCOMPARE(rowText(core.rows),
                     QStringList({first + QStringLiteral(",0"), QStringLiteral("20030405060711,0")}));
            QVERIFY(!deleteImageFolder(programFolder, programFolder + QStringLiteral("/20030405060711")));
            QVERIFY(QFileInfo::exists(programFolder + QStringLiteral("/KOVRA.INI")));
            checkSays(QStringLiteral("プログラムフォルダを指すシンボリックリンク"));
        } else if (name == u"foreign_subfolders") {
            QCOMPARE(core.titles.size(), 2002);
            QCOMPARE(rowText(core.rows),
                     QStringList({first + QStringLiteral(",0"), QStringLiteral("20991231235959,0")}));
            QCOMPARE(check.out.count(QStringLiteral("画像フォルダではありません")), 2000);
        } else if (name == u"after_manual") {
            QStringList titled;
            for (const TitleEntry& e : std::as_const(core.titles)) {
                titled.append(QFileInfo(e.folder).fileName() + u'=' + e.title);
                QCOMPARE(core.folders.value(e.folderPosition), e.folder);
            }
            QCOMPARE(titled, QStringList({first + QStringLiteral("=棚"), QStringLiteral("Manuals=説明書"),
                                          QStringLiteral("photos=写真"), QStringLiteral("zz=最後")}));
            for (const SearchRow& row : std::as_const(core.rows))
                QCOMPARE(core.folders.value(row.folderPosition), row.folder);
            QVERIFY(rowText(core.rows).contains(QStringLiteral("photos,0")));
            QVERIFY(rowText(core.rows).contains(QStringLiteral("zz,0")));
        }
    }
};

QTEST_GUILESS_MAIN(tst_Hostile)
#include "tst_hostile.moc"
