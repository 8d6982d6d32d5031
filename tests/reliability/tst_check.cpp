// kovra-cli check: one line per thing the program cannot use, nothing changed, exit 0 when clean.

#include "AreaFiles.h"
#include "CliRunner.h"
#include "FixtureCatalogue.h"
#include "ImageFolders.h"
#include "WindowPosition.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace kovra;
using kovra::test::readBytes;
using kovra::test::writeBytes;

namespace {

using Run = kovra::test::CliRun;

// Path, bytes and modification time of every entry: check must leave all of them as they were.
QStringList state(const QString& root)
{
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo info(path);
        out.append(path + u' ' + QString::number(info.lastModified().toMSecsSinceEpoch()) + u' ' +
                   QString::fromLatin1(readBytes(path).toHex()));
    }
    out.sort();
    return out;
}

struct Window : PositionedWindow
{
    double topTwips() const override { return 4500; }
    double leftTwips() const override { return 1200; }
    void setTopTwips(double) override {}
    void setLeftTwips(double) override {}
};

} // namespace

class tst_Check : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_root;
    QString m_cli;

    Run check(const QStringList& extra = {}) const
    {
        test::CliOptions options;
        options.timeoutMs = 60000;
        return test::runCli(QStringList{QStringLiteral("--root"), m_root, QStringLiteral("check")} + extra, options);
    }

    // A catalogue as the program writes it: settings, one registered image with areas and items.
    QString writeSoundCatalogue() const
    {
        if (saveWindowPosition(m_root + QStringLiteral("/KOVRA.INI"), Window{}) != WriteStatus::Ok ||
            !QDir(m_root).mkpath(QStringLiteral("manual")))
            return {};
        const QString picture = m_tmp.filePath(QStringLiteral("drop/shelf.bmp"));
        writeBytes(picture, test::tinyBmp());
        const CreateResult made = createImageFolder(m_root, picture, QStringLiteral("shelf.bmp"), QStringLiteral("棚"),
                                                    QDateTime(QDate(2003, 4, 5), QTime(6, 7, 8)));
        if (made.error != CreateError::None)
            return {};
        std::array<AreaMarker, AreaCount> markers{};
        markers[0] = {true, QRectF(-20, 12.5, 150, 187.5)};
        markers[7] = {true, QRectF(300, 40, 30, 30)};
        if (saveArrangement(made.folder, markers) != WriteStatus::Ok ||
            saveItems(made.folder, 0, {QStringLiteral("ボールペン"), QString(), QStringLiteral("～①㈱")}) !=
                WriteStatus::Ok ||
            saveItems(made.folder, 7, {}) != WriteStatus::Ok)
            return {};
        return made.folder;
    }

private slots:
    void initTestCase()
    {
        m_cli = test::cliProgram();
        QVERIFY2(QFileInfo(m_cli).isExecutable(), qPrintable(m_cli));
    }
    void init()
    {
        m_root = m_tmp.filePath(QStringLiteral("Kovra"));
        QDir(m_root).removeRecursively();
        QVERIFY(QDir().mkpath(m_root));
    }

    // The catalogue the Windows build leaves behind: what cannot be used is named, nothing is touched.
    void fixtureCatalogue()
    {
        QVERIFY(test::fixture::create(m_root));
        const QStringList before = state(m_root);
        const Run r = check();
        QCOMPARE(r.code, 1);
        QCOMPARE(r.err, QString());
        QCOMPARE(
            r.out.split(u'\n', Qt::SkipEmptyParts),
            QStringList({
                QStringLiteral("20030405060708/Area0.INI\tSum は 5 ですが 2 個の項目がありません（Item2, "
                               "Item4）．空の行として読まれます．"),
                QStringLiteral("20030405060708/Area1.INI\tVisible の値 \"true\" は \"True\" でも \"False\" "
                               "でもありません．使われていないエリアになります．"),
                QStringLiteral("20040101000000\t画像フォルダではありません（IMAGE.INI もエリアファイルもありません）．"
                               "一覧には \"Non Titled\" として並びます．"),
                QStringLiteral("Photos\t画像フォルダではありません（IMAGE.INI もエリアファイルもありません）．"
                               "一覧には \"Non Titled\" として並びます．"),
            }));
        QCOMPARE(state(m_root), before);
    }

    // Whatever the program itself writes, check finds nothing in.
    void programsOwnCatalogueIsClean()
    {
        QVERIFY(!writeSoundCatalogue().isEmpty());
        const Run r = check();
        QCOMPARE(r.out, QString());
        QCOMPARE(r.code, 0);
    }

    // Each problem on its own in an otherwise sound catalogue gives exactly one line.
    void oneLinePerProblem_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("line");
        const QByteArray area = "[Area]\r\nVisible=True\r\nLeft=1\r\nTop=2\r\nWidth=3\r\nHeight=4\r\n";
        auto row = [](const char* name, const char* file, const QByteArray& bytes, const char* message) {
            QTest::newRow(name) << QString::fromUtf8(file) << bytes
                                << QString::fromUtf8(file) + u'\t' + QString::fromUtf8(message);
        };
        row("Sum that is no number", "Area3.INI", "[ItemCount]\r\nSum=abc\r\n[Items]\r\nItem0=a\r\n",
            "Sum の値 \"abc\" は項目の数として読めません．項目は読まれません．");
        row("Sum past 16 bits", "Area3.INI", "[ItemCount]\r\nSum=40000\r\n",
            "Sum の値 \"40000\" は項目の数として読めません．項目は読まれません．");
        row("negative Sum", "Area3.INI", "[ItemCount]\r\nSum=-1\r\n", "Sum の値 \"-1\" が負です．項目は読まれません．");
        row("more item keys than Sum", "Area3.INI", "[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=a\r\nItem1=b\r\n",
            "Items の 1 個のキーは Sum=1 の項目に入らず、読まれません（\"Item1\"）．");
        row("a key that is no item number", "Area3.INI", "[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=a\r\nItem00=b\r\n",
            "Items の 1 個のキーは Sum=1 の項目に入らず、読まれません（\"Item00\"）．");
        row("fewer item keys than Sum", "Area3.INI", "[ItemCount]\r\nSum=3\r\n[Items]\r\nItem0=a\r\n",
            "Sum は 3 ですが 2 個の項目がありません（Item1, Item2）．空の行として読まれます．");
        row("items without Sum", "Area3.INI", "[Items]\r\nItem0=a\r\n",
            "Items に 1 個のキーがありますが Sum がありません．項目は読まれません．");
        row("geometry that stops the markers", "Area3.INI", "[Area]\r\nVisible=True\r\nLeft=1\r\nTop=x\r\n",
            "Visible=True ですが Top の値 \"x\" を 16 ビットの整数にできません．エリア 3 から後の枠は表示されません．");
        row("geometry missing", "Area3.INI", "[Area]\r\nVisible=True\r\nLeft=1\r\nTop=2\r\nWidth=3\r\n",
            "Visible=True ですが Height がありません．エリア 3 から後の枠は表示されません．");
        row("Visible in lower case", "Area3.INI", "[Area]\r\nVisible=true\r\n",
            "Visible の値 \"true\" は \"True\" でも \"False\" でもありません．使われていないエリアになります．");
        row("bytes of no character", "Area3.INI", area + "[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=\x85\x40\r\n",
            "10 行目に code page 932 の文字でないバイトがあります．");
        row("NUL byte", "Area3.INI", QByteArray("[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=a\0b\r\n", 40),
            "4 行目に NUL 文字があります．その先はその行の値として読まれません．");
        row("UTF-8 without a mark", "Area3.INI", "[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=\xf0\x9f\x98\x80\r\n",
            "UTF-8 で書かれているようです（4 行目に code page 932 にない文字があります）．");
        row("UTF-16", "Area3.INI", QByteArray("\xff\xfe[\0I\0", 6),
            "UTF-16 で書かれています．code page 932 のファイルとしては読めません．");
        row("item past 255 bytes", "Area3.INI",
            "[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=" + QByteArray(300, 'x') + "\r\n",
            "Item0 は 300 バイトあり、検索では先頭 255 バイトだけが照合されます．");
        row("picture nowhere", "IMAGE.INI",
            "[ImageFile]\r\nPath=C:\\Kovra\\20030405060708\r\nFilename=C:\\Kovra\\20030405060708\\gone.jpg\r\nTitle="
            "t\r\n",
            "Filename \"C:\\Kovra\\20030405060708\\gone.jpg\" "
            "の画像ファイルが、その場所にも画像フォルダの中にもありません．");
        row("no Filename", "IMAGE.INI", "[ImageFile]\r\nTitle=t\r\n", "Filename がありません．画像は表示されません．");
        row("no Title", "IMAGE.INI", "[ImageFile]\r\nFilename=shelf.bmp\r\n",
            "Title がありません．題名は \"Non Titled\" になります．");
        row("Title without equals", "IMAGE.INI", "[ImageFile]\r\nFilename=shelf.bmp\r\nTitle\r\n",
            "Title がありません．題名は \"Non Titled\" になります．");
        row("leftover of a write", ".Area3.INI.kovra-tmp-4242-0a1b2c3d", "[Area]\r\nVisi",
            "書き込みの途中で残った一時ファイルです．次の起動で消されます．");
    }
    void oneLinePerProblem()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, line);
        const QString folder = writeSoundCatalogue();
        QVERIFY(!folder.isEmpty());
        QVERIFY(writeBytes(folder + u'/' + file, bytes));
        const Run r = check();
        QCOMPARE(r.out, QFileInfo(folder).fileName() + u'/' + line + u'\n');
        QCOMPARE(r.code, 1);
    }

    // What the main window resolves and shows, check does not report.
    void agreesWithTheProgram_data()
    {
        QTest::addColumn<QString>("remove");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("Filename past 253 bytes")
            << QString() << QStringLiteral("IMAGE.INI")
            << "[ImageFile]\r\nFilename=/" + QByteArray(300, 'd') + "/shelf.bmp\r\nTitle=t\r\n";
        QTest::newRow("picture named in other case")
            << QString() << QStringLiteral("IMAGE.INI")
            << QByteArray("[ImageFile]\r\nFilename=C:\\Kovra\\20030405060708\\SHELF.BMP\r\nTitle=t\r\n");
        QTest::newRow("IMAGE.INI in lower case") << QStringLiteral("IMAGE.INI") << QStringLiteral("image.ini")
                                                 << QByteArray("[ImageFile]\r\nFilename=shelf.bmp\r\nTitle=t\r\n");
        QTest::newRow("area file in lower case")
            << QStringLiteral("Area0.INI") << QStringLiteral("area0.ini") << QByteArray("[Area]\r\nVisible=False\r\n");
        QTest::newRow("hidden folder") << QString() << QStringLiteral("../.git/HEAD") << QByteArray("\xff\xfe");
    }
    void agreesWithTheProgram()
    {
        QFETCH(QString, remove);
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        const QString folder = writeSoundCatalogue();
        QVERIFY(!folder.isEmpty());
        QVERIFY(remove.isEmpty() || QFile::remove(folder + u'/' + remove));
        QVERIFY(writeBytes(folder + u'/' + file, bytes));
        const Run r = check();
        QCOMPARE(r.out, QString());
        QCOMPARE(r.code, 0);
    }

    // A sparse area file of gigabytes is named with its size at once; the other commands read it as empty.
    void oversizedFile()
    {
        const QString folder = writeSoundCatalogue();
        QVERIFY(!folder.isEmpty());
        const QString name = QFileInfo(folder).fileName();
        const QString path = folder + QStringLiteral("/Area7.INI");
        QVERIFY(QFile::resize(path, qint64(3) << 30));
        const Run r = check();
        QCOMPARE(r.out,
                 name + QStringLiteral("/Area7.INI\t3221225472 バイトあり、INI ファイルとして大きすぎるため（上限 "
                                       "16777216 バイト）読みません．中身は空として扱われ、書き込みもできません．\n"));
        QCOMPARE(r.code, 1);
        const Run get = test::runCli({QStringLiteral("--root"), m_root, QStringLiteral("ini"), QStringLiteral("get"),
                                      name + QStringLiteral("/Area7.INI"), QStringLiteral("Area"),
                                      QStringLiteral("Visible"), QStringLiteral("--default"), QStringLiteral("d")});
        QCOMPARE(get.out, QStringLiteral("d\n"));
        for (const Run* run : {&r, &get})
            QVERIFY2(run->ms < 3000, qPrintable(QString::number(run->ms)));
        QCOMPARE(QFileInfo(path).size(), qint64(3) << 30);
    }

    // Names in code page 932 bytes (from a Windows archive) are read, and check names them.
    void namesThatAreNoUtf8()
    {
        QVERIFY(!writeSoundCatalogue().isEmpty());
        const QByteArray named = QFile::encodeName(m_root) + "/\x8e\xca";
        QVERIFY(test::rawMkdir(named));
        QVERIFY(test::rawWrite(named + "/IMAGE.INI", "[ImageFile]\r\nFilename=a.bmp\r\nTitle=t\r\n"));
        QVERIFY(test::rawWrite(named + "/a.bmp", test::tinyBmp()));
        const Run r = check();
        QCOMPARE(r.out, QStringLiteral("\\x8E\\xCA\tフォルダ名に UTF-8 でないバイトがあります（\\xNN で示します）．"
                                       "画像として読み書きはできますが，このフォルダのパスは INI "
                                       "ファイルに保存できません．\n"));
        QCOMPARE(r.code, 1);
    }

    void badUsage()
    {
        const Run r = check({QStringLiteral("extra")});
        QCOMPARE(r.code, 2);
        QCOMPARE(r.out, QString());
        QVERIFY(r.err.startsWith(QStringLiteral("kovra-cli: ")));
    }
};

QTEST_GUILESS_MAIN(tst_Check)
#include "tst_check.moc"
