#include "CodePage.h"
#include "FixtureCatalogue.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using kovra::test::readBytes;
using kovra::test::writeBytes;
namespace fixture = kovra::test::fixture;

namespace {

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

} // namespace

class tst_Cli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_root;
    QString m_cli;

    Run run(const QStringList& args, const QString& program = {}) const
    {
        QProcess p;
        p.start(program.isEmpty() ? m_cli : program, args);
        Run r;
        if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit)
            return r;
        r.code = p.exitCode();
        r.out = QString::fromUtf8(p.readAllStandardOutput());
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }
    Run cli(QStringList args) const { return run(QStringList{QStringLiteral("--root"), m_root} + args); }
    QString at(const QString& name) const { return m_root + u'/' + name; }

private slots:
    void initTestCase()
    {
        m_cli = qEnvironmentVariable("KOVRA_BIN_DIR") + QStringLiteral("/kovra-cli");
        QVERIFY2(QFileInfo(m_cli).isExecutable(), qPrintable(m_cli));
    }
    void init()
    {
        m_root = m_tmp.filePath(QString::fromLatin1(QTest::currentTestFunction()) + u'_' +
                                QString::number(qHash(QString::fromLatin1(QTest::currentDataTag()))));
        QVERIFY(QDir().mkpath(m_root));
        QVERIFY(fixture::create(m_root));
    }

    void listsTheCatalogue()
    {
        const QString longTitle = kovra::codepage::decode(fixture::longTitleBytes().left(124));
        const QString expected = QStringLiteral("20030405060708\t") + fixture::shelfTitle() + u'\t' +
                                 at(QStringLiteral("20030405060708/shelf.jpg")) + QStringLiteral("\n20030405060709\t") +
                                 longTitle + u'\t' + at(QStringLiteral("20030405060709/box.bmp")) +
                                 QStringLiteral("\n20040101000000\tNon Titled\t\nPhotos\tNon Titled\t\n");
        const Run r = cli({QStringLiteral("list")});
        QCOMPARE(r.err, QString());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, expected);

        // Without --root the program folder is the one that holds the executable.
        const QString copy = at(QStringLiteral("kovra-cli"));
        QVERIFY(QFile::copy(m_cli, copy));
        const Run own = run({QStringLiteral("list")}, copy);
        QCOMPARE(own.code, 0);
        QCOMPARE(own.out, expected);
    }

    void get_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* name, const QStringList& args, const QString& expected) {
            QTest::newRow(name) << args << expected;
        };
        row("settings", {QStringLiteral("KOVRA.INI"), QStringLiteral("window"), QStringLiteral("TOP")},
            QStringLiteral("4500"));
        row("quoted item",
            {QStringLiteral("20030405060708/Area0.INI"), QStringLiteral("Items"), QStringLiteral("Item1")},
            QStringLiteral("ゾウの置物"));
        row("missing key, empty default",
            {QStringLiteral("20030405060708/Area0.INI"), QStringLiteral("Items"), QStringLiteral("Item2")}, QString());
        row("default loses trailing spaces",
            {QStringLiteral("20030405060708/Area0.INI"), QStringLiteral("Items"), QStringLiteral("Item2"),
             QStringLiteral("--default"), QStringLiteral("なし  ")},
            QStringLiteral("なし"));
        row("missing file",
            {QStringLiteral("nowhere.ini"), QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("--default"),
             QStringLiteral("d")},
            QStringLiteral("d"));
        row("size 256 by default",
            {QStringLiteral("20030405060709/IMAGE.INI"), QStringLiteral("ImageFile"), QStringLiteral("Title")},
            kovra::codepage::decode(fixture::longTitleBytes()));
        row("title list's size",
            {QStringLiteral("20030405060709/IMAGE.INI"), QStringLiteral("ImageFile"), QStringLiteral("Title"),
             QStringLiteral("--size"), QStringLiteral("126")},
            kovra::codepage::decode(fixture::longTitleBytes().left(124)));
        row("options first, cut before a double-byte char",
            {QStringLiteral("--size"), QStringLiteral("4"), QStringLiteral("20030405060708/IMAGE.INI"),
             QStringLiteral("ImageFile"), QStringLiteral("Title")},
            QStringLiteral("ソ"));
        row("windows path as stored",
            {QStringLiteral("20030405060708/IMAGE.INI"), QStringLiteral("ImageFile"), QStringLiteral("Filename")},
            QStringLiteral("C:\\Program Files\\Kovra\\20030405060708\\shelf.jpg"));
        row("after --",
            {QStringLiteral("--default"), QStringLiteral("v"), QStringLiteral("--"), QStringLiteral("KOVRA.INI"),
             QStringLiteral("Mine"), QStringLiteral("--size")},
            QStringLiteral("v"));
    }
    void get()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, expected);
        const Run r = cli(QStringList{QStringLiteral("ini"), QStringLiteral("get")} + args);
        QCOMPARE(r.err, QString());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, expected + u'\n');
    }

    void getWithAbsolutePath()
    {
        const Run r = run({QStringLiteral("ini"), QStringLiteral("get"), at(QStringLiteral("KOVRA.INI")),
                           QStringLiteral("Window"), QStringLiteral("Left")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QStringLiteral("-150\n"));
    }

    void setAndRemoveSection()
    {
        const QString ini = QStringLiteral("KOVRA.INI");
        QCOMPARE(cli({QStringLiteral("ini"), QStringLiteral("set"), ini, QStringLiteral("window"),
                      QStringLiteral("top"), QStringLiteral("150")})
                     .code,
                 0);
        QCOMPARE(cli({QStringLiteral("ini"), QStringLiteral("set"), ini, QStringLiteral("Mine"), QStringLiteral("棚"),
                      QStringLiteral(" ソ～ ")})
                     .code,
                 0);
        QCOMPARE(
            readBytes(at(ini)),
            QByteArray("[Window]\r\nTop=150\r\nLeft=-150\r\n[Mine]\r\nNote=kept\r\n\x92\x49= \x83\x5c\x81\x60 \r\n"));
        const Run removed =
            cli({QStringLiteral("ini"), QStringLiteral("remove-section"), ini, QStringLiteral("WINDOW")});
        QCOMPARE(removed.code, 0);
        QCOMPARE(removed.out + removed.err, QString());
        QCOMPARE(readBytes(at(ini)), QByteArray("[Mine]\r\nNote=kept\r\n\x92\x49= \x83\x5c\x81\x60 \r\n"));
        // A new file in an image folder.
        QCOMPARE(cli({QStringLiteral("ini"), QStringLiteral("set"), QStringLiteral("20040101000000/IMAGE.INI"),
                      QStringLiteral("ImageFile"), QStringLiteral("Title"), QStringLiteral("箱")})
                     .code,
                 0);
        QCOMPARE(readBytes(at(QStringLiteral("20040101000000/IMAGE.INI"))),
                 QByteArray("[ImageFile]\r\nTitle=\x94\xa0\r\n"));
    }

    void refusedWrites_data()
    {
        QTest::addColumn<QStringList>("args");
        const QString f = QStringLiteral("KOVRA.INI");
        const QString set = QStringLiteral("set");
        QTest::newRow("line break") << QStringList{set, f, QStringLiteral("Window"), QStringLiteral("Top"),
                                                   QStringLiteral("1\n2")};
        QTest::newRow("bracket in section")
            << QStringList{set, f, QStringLiteral("a]b"), QStringLiteral("k"), QStringLiteral("v")};
        QTest::newRow("equals in key") << QStringList{set, f, QStringLiteral("Window"), QStringLiteral("a=b"),
                                                      QStringLiteral("v")};
        QTest::newRow("out of the code page")
            << QStringList{set, f, QStringLiteral("Window"), QStringLiteral("Top"), QStringLiteral("𠮷")};
        QTest::newRow("read-only") << QStringList{set, f, QStringLiteral("Window"), QStringLiteral("Top"),
                                                  QStringLiteral("1")};
        QTest::newRow("remove read-only") << QStringList{QStringLiteral("remove-section"), f, QStringLiteral("Window")};
        QTest::newRow("remove empty name") << QStringList{QStringLiteral("remove-section"), f, QString()};
        QTest::newRow("missing folder") << QStringList{set, QStringLiteral("no/such.ini"), QStringLiteral("S"),
                                                       QStringLiteral("k"), QStringLiteral("v")};
    }
    void refusedWrites()
    {
        QFETCH(QStringList, args);
        if (QString::fromLatin1(QTest::currentDataTag()).contains(QStringLiteral("read-only")))
            QVERIFY(QFile::setPermissions(at(QStringLiteral("KOVRA.INI")), QFile::ReadOwner));
        const Run r = cli(QStringList{QStringLiteral("ini")} + args);
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QString());
        QVERIFY(r.err.startsWith(QStringLiteral("kovra-cli: ")));
        QVERIFY2(r.err.endsWith(QStringLiteral("．\n")) && r.err.count(u'\n') == 1, qPrintable(r.err));
        QCOMPARE(readBytes(at(QStringLiteral("KOVRA.INI"))), fixture::settingsIni());
        QCOMPARE(QDir(m_root).entryList(QDir::Files), QStringList{QStringLiteral("KOVRA.INI")});
    }

    void badUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        const QString ini = QStringLiteral("ini");
        const QString get = QStringLiteral("get");
        const QString f = QStringLiteral("KOVRA.INI");
        QTest::newRow("nothing") << QStringList{};
        QTest::newRow("--root alone") << QStringList{QStringLiteral("--root")};
        QTest::newRow("no command") << QStringList{QStringLiteral("--root"), QStringLiteral("<root>")};
        QTest::newRow("unknown command") << QStringList{QStringLiteral("--root"), QStringLiteral("<root>"),
                                                        QStringLiteral("lst")};
        QTest::newRow("option after command")
            << QStringList{QStringLiteral("list"), QStringLiteral("--root"), QStringLiteral("<root>")};
        QTest::newRow("missing root") << QStringList{QStringLiteral("--root"), QStringLiteral("<root>/none"),
                                                     QStringLiteral("list")};
        QTest::newRow("root is a file") << QStringList{QStringLiteral("--root"), QStringLiteral("<root>/KOVRA.INI"),
                                                       QStringLiteral("list")};
        QTest::newRow("ini alone") << QStringList{QStringLiteral("--root"), QStringLiteral("<root>"), ini};
        QTest::newRow("unknown ini action")
            << QStringList{QStringLiteral("--root"), QStringLiteral("<root>"), ini, QStringLiteral("put")};
        QTest::newRow("get without key") << QStringList{QStringLiteral("--root"), QStringLiteral("<root>"), ini, get, f,
                                                        QStringLiteral("Window")};
        QTest::newRow("size zero") << QStringList{QStringLiteral("--root"),
                                                  QStringLiteral("<root>"),
                                                  ini,
                                                  get,
                                                  f,
                                                  QStringLiteral("Window"),
                                                  QStringLiteral("Top"),
                                                  QStringLiteral("--size"),
                                                  QStringLiteral("0")};
        QTest::newRow("size not a number") << QStringList{QStringLiteral("--root"),
                                                          QStringLiteral("<root>"),
                                                          ini,
                                                          get,
                                                          f,
                                                          QStringLiteral("Window"),
                                                          QStringLiteral("Top"),
                                                          QStringLiteral("--size"),
                                                          QStringLiteral("x")};
        QTest::newRow("default without text")
            << QStringList{QStringLiteral("--root"), QStringLiteral("<root>"),   ini, get, f, QStringLiteral("Window"),
                           QStringLiteral("Top"),    QStringLiteral("--default")};
        QTest::newRow("unknown option") << QStringList{
            QStringLiteral("--root"), QStringLiteral("<root>"), ini, get, f, QStringLiteral("Window"),
            QStringLiteral("Top"),    QStringLiteral("--bogus")};
        QTest::newRow("set without value")
            << QStringList{QStringLiteral("--root"), QStringLiteral("<root>"), ini, QStringLiteral("set"), f,
                           QStringLiteral("Window"), QStringLiteral("Top")};
        QTest::newRow("list with arguments") << QStringList{QStringLiteral("--root"), QStringLiteral("<root>"),
                                                            QStringLiteral("list"), QStringLiteral("x")};
    }
    void badUsage()
    {
        QFETCH(QStringList, args);
        args.replaceInStrings(QStringLiteral("<root>"), m_root);
        const Run r = run(args);
        QCOMPARE(r.code, 2);
        QCOMPARE(r.out, QString());
        QVERIFY2(r.err.startsWith(QStringLiteral("kovra-cli: ")) && r.err.count(u'\n') == 1, qPrintable(r.err));
        QCOMPARE(readBytes(at(QStringLiteral("KOVRA.INI"))), fixture::settingsIni());
    }

    void help()
    {
        const Run r = run({QStringLiteral("--help")});
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains(QStringLiteral("kovra-cli [--root DIR] ini remove-section FILE SECTION")));
    }
};

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
