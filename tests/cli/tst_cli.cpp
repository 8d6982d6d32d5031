#include "CliRunner.h"
#include "CodePage.h"
#include "FixtureCatalogue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using kovra::test::readBytes;
using kovra::test::writeBytes;
namespace fixture = kovra::test::fixture;

namespace {

// Arguments written as one UTF-8 text, separated by '|'.
QStringList words(const char* args)
{
    return QString::fromUtf8(args).split(u'|');
}

using Run = kovra::test::CliRun;

} // namespace

class tst_Cli : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_root;
    QString m_cli;

    Run run(const QStringList& args, const QString& program = {}) const
    {
        kovra::test::CliOptions options;
        options.program = program;
        return kovra::test::runCli(args, options);
    }
    Run cli(QStringList args) const { return run(QStringList{QStringLiteral("--root"), m_root} + args); }
    QString at(const QString& name) const { return m_root + u'/' + name; }

private slots:
    void initTestCase()
    {
        m_cli = kovra::test::cliProgram();
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
        const Run r = cli(words("list"));
        QCOMPARE(r.err, QString());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, expected);

        // Without --root the program folder is the one that holds the executable.
        const QString copy = at(QStringLiteral("kovra-cli"));
        QVERIFY(QFile::copy(m_cli, copy));
        const Run own = run(words("list"), copy);
        QCOMPARE(own.code, 0);
        QCOMPARE(own.out, expected);
    }

    // A program folder named in code page 932 bytes, given by --root or holding the executable: the
    // bytes of argv and of /proc/self/exe reach the files unchanged.
    void programFolderThatIsNoUtf8()
    {
        const QByteArray root = QFile::encodeName(m_root) + "/K\x83J";
        QVERIFY(kovra::test::rawMkdir(root) && kovra::test::rawMkdir(root + "/20240101000000"));
        QVERIFY(
            kovra::test::rawWrite(root + "/20240101000000/IMAGE.INI", "[ImageFile]\r\nFilename=a.bmp\r\nTitle=t\r\n"));
        QVERIFY(kovra::test::rawWrite(root + "/20240101000000/a.bmp", kovra::test::tinyBmp()));
        QVERIFY(kovra::test::rawWrite(root + "/kovra-cli", readBytes(m_cli)));
        QVERIFY(::chmod((root + "/kovra-cli").constData(), 0755) == 0);
        // The shell passes the bytes on: QProcess would encode the arguments as UTF-8.
        const QString script = QStringLiteral("r=\"$(printf '%s/K\\203J' \"$1\")\"; shift; "
                                              "if [ \"$1\" = own ]; then shift; exec \"$r/kovra-cli\" \"$@\"; fi; "
                                              "c=$1; sfx=$2; shift 2; exec \"$c\" --root \"$r$sfx\" \"$@\"");
        auto shell = [&](const char* args) {
            return run(QStringList{QStringLiteral("-c"), script, QStringLiteral("sh"), m_root} +
                           words(args).replaceInStrings(QStringLiteral("<cli>"), m_cli),
                       QStringLiteral("/bin/sh"));
        };
        const QString shown = m_root + QStringLiteral("/K\\x83J");
        const QString line = QStringLiteral("20240101000000\tt\t") + shown + QStringLiteral("/20240101000000/a.bmp\n");
        const Run own = shell("own|list");
        QCOMPARE(own.err, QString());
        QCOMPARE(own.out, line);
        QCOMPARE(shell("<cli>||list").out, line);
        QCOMPARE(shell("<cli>||ini|set|20240101000000/Area0.INI|ItemCount|Sum|0").code, 0);
        QCOMPARE(kovra::test::rawRead(root + "/20240101000000/Area0.INI"), QByteArray("[ItemCount]\r\nSum=0\r\n"));
        const Run missing = shell("<cli>|/none|list");
        QCOMPARE(missing.code, 2);
        QCOMPARE(missing.err,
                 QStringLiteral("kovra-cli: フォルダがありません: ") + shown + QStringLiteral("/none．\n"));
    }

    void get_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("expected");
        const QString longTitle = kovra::codepage::decode(fixture::longTitleBytes());
        auto row = [](const char* name, const char* args, const QString& expected) {
            QTest::newRow(name) << words(args) << expected;
        };
        row("settings", "KOVRA.INI|window|TOP", QStringLiteral("4500"));
        row("quoted item", "20030405060708/Area0.INI|Items|Item1", QStringLiteral("ゾウの置物"));
        row("missing key, empty default", "20030405060708/Area0.INI|Items|Item2", QString());
        row("default loses trailing spaces", "20030405060708/Area0.INI|Items|Item2|--default|なし  ",
            QStringLiteral("なし"));
        row("missing file", "nowhere.ini|S|K|--default|d", QStringLiteral("d"));
        row("size 256 by default", "20030405060709/IMAGE.INI|ImageFile|Title", longTitle);
        row("title list's size", "20030405060709/IMAGE.INI|ImageFile|Title|--size|126", longTitle.left(62));
        row("options first, cut before a double-byte char", "--size|4|20030405060708/IMAGE.INI|ImageFile|Title",
            QStringLiteral("ソ"));
        row("windows path as stored", "20030405060708/IMAGE.INI|ImageFile|Filename",
            QStringLiteral("C:\\Program Files\\Kovra\\20030405060708\\shelf.jpg"));
        row("after --", "--default|v|--|KOVRA.INI|Mine|--size", QStringLiteral("v"));
    }
    void get()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, expected);
        const Run r = cli(words("ini|get") + args);
        QCOMPARE(r.err, QString());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, expected + u'\n');
        // An absolute FILE outside the program folder (here kovra-cli's own) is taken as given with --outside.
        if (QTest::currentDataTag() == QByteArrayView("settings")) {
            const QStringList outside{at(QStringLiteral("KOVRA.INI")), QStringLiteral("Window"),
                                      QStringLiteral("Left")};
            QCOMPARE(run(words("ini|get|--outside") + outside).out, QStringLiteral("-150\n"));
            QCOMPARE(run(words("ini|get") + outside).code, 2);
        }
    }

    void setAndRemoveSection()
    {
        QCOMPARE(cli(words("ini|set|KOVRA.INI|window|top|150")).code, 0);
        QCOMPARE(cli(words("ini|set|KOVRA.INI|Mine|棚| ソ～ ")).code, 0);
        QCOMPARE(
            readBytes(at(QStringLiteral("KOVRA.INI"))),
            QByteArray("[Window]\r\nTop=150\r\nLeft=-150\r\n[Mine]\r\nNote=kept\r\n\x92\x49= \x83\x5c\x81\x60 \r\n"));
        const Run removed = cli(words("ini|remove-section|KOVRA.INI|WINDOW"));
        QCOMPARE(removed.code, 0);
        QCOMPARE(removed.out + removed.err, QString());
        QCOMPARE(readBytes(at(QStringLiteral("KOVRA.INI"))),
                 QByteArray("[Mine]\r\nNote=kept\r\n\x92\x49= \x83\x5c\x81\x60 \r\n"));
        QCOMPARE(cli(words("ini|set|20040101000000/IMAGE.INI|ImageFile|Title|箱")).code, 0);
        QCOMPARE(readBytes(at(QStringLiteral("20040101000000/IMAGE.INI"))),
                 QByteArray("[ImageFile]\r\nTitle=\x94\xa0\r\n"));
    }

    void refusedWrites_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("line break") << words("set|KOVRA.INI|Window|Top|1\n2");
        QTest::newRow("bracket in section") << words("set|KOVRA.INI|a]b|k|v");
        QTest::newRow("equals in key") << words("set|KOVRA.INI|Window|a=b|v");
        QTest::newRow("out of the code page") << words("set|KOVRA.INI|Window|Top|𠮷");
        QTest::newRow("read-only") << words("set|KOVRA.INI|Window|Top|1");
        QTest::newRow("remove read-only") << words("remove-section|KOVRA.INI|Window");
        QTest::newRow("remove empty name") << (words("remove-section|KOVRA.INI") << QString());
        QTest::newRow("missing folder") << words("set|no/such.ini|S|k|v");
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

    // Typed as a Linux input method gives them, values are stored as the item window stores them.
    void typedValues_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("wave dash") << QStringLiteral("10〜20")
                                   << QByteArray("10\x81\x60"
                                                 "20");
        QTest::newRow("minus sign") << QStringLiteral("−5")
                                    << QByteArray("\x81\x7c"
                                                  "5");
        QTest::newRow("double bar") << QStringLiteral("‖") << QByteArray("\x81\x61");
        QTest::newRow("cent") << QStringLiteral("¢") << QByteArray("\x81\x91");
        QTest::newRow("pound") << QStringLiteral("£") << QByteArray("\x81\x92");
        QTest::newRow("not") << QStringLiteral("¬") << QByteArray("\x81\xca");
        QTest::newRow("em dash") << QStringLiteral("—") << QByteArray("\x81\x5c");
        QTest::newRow("yen") << QStringLiteral("¥500") << QByteArray("\\500");
    }
    void typedValues()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, stored);
        const Run r = cli(words("ini|set|KOVRA.INI|Mine|k") << value);
        QCOMPARE(r.err, QString());
        QCOMPARE(r.code, 0);
        QVERIFY(readBytes(at(QStringLiteral("KOVRA.INI"))).endsWith("\r\nk=" + stored + "\r\n"));
        // File, section and key names are taken as written.
        QCOMPARE(cli(words("ini|set|KOVRA.INI|Mine") << value << QStringLiteral("v")).code, 1);
        QCOMPARE(cli(words("ini|set|KOVRA.INI") << value << QStringLiteral("k") << QStringLiteral("v")).code, 1);
    }

    // FILE stays inside the program folder, whatever '..' and symbolic links make of the text, unless
    // an absolute FILE comes with --outside.
    void filesOutsideTheProgramFolder_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("written"); // relative to the program folder; empty: nothing anywhere
        QTest::newRow("dot-dot") << words("set|../../x.ini|S|k|v") << 2 << QString();
        QTest::newRow("dot-dot to a sibling") << words("set|../<out>/x.ini|S|k|v") << 2 << QString();
        QTest::newRow("absolute") << words("set|<outside>/x.ini|S|k|v") << 2 << QString();
        QTest::newRow("relative with --outside") << words("set|--outside|../<out>/x.ini|S|k|v") << 2 << QString();
        QTest::newRow("folder link") << words("set|link/x.ini|S|k|v") << 2 << QString();
        QTest::newRow("dot-dot after a folder link") << words("set|link/../x.ini|S|k|v") << 2 << QString();
        QTest::newRow("file link") << words("get|file.ini|S|k") << 2 << QString();
        QTest::newRow("remove-section") << words("remove-section|<outside>/t.ini|S") << 2 << QString();
        QTest::newRow("get") << words("get|<outside>/t.ini|S|k") << 2 << QString();
        QTest::newRow("absolute with --outside")
            << words("set|--outside|<outside>/x.ini|S|k|v") << 0 << QStringLiteral("../<out>/x.ini");
        QTest::newRow("get with --outside last") << words("get|<outside>/t.ini|S|k|--outside") << 0 << QString();
        QTest::newRow("dot-dot back inside")
            << words("set|20030405060708/../new.ini|S|k|v") << 0 << QStringLiteral("new.ini");
        QTest::newRow("absolute inside") << words("set|<root>/new.ini|S|k|v") << 0 << QStringLiteral("new.ini");
    }
    void filesOutsideTheProgramFolder()
    {
        QFETCH(QStringList, args);
        QFETCH(int, code);
        QFETCH(QString, written);
        const QString outName = QFileInfo(m_root).fileName() + QStringLiteral("_outside");
        const QString outside = m_tmp.filePath(outName);
        QVERIFY(QDir().mkpath(outside));
        QVERIFY(writeBytes(outside + QStringLiteral("/t.ini"), "[S]\r\nk=1\r\n"));
        QVERIFY(QFile::link(outside, at(QStringLiteral("link"))));
        QVERIFY(QFile::link(outside + QStringLiteral("/t.ini"), at(QStringLiteral("file.ini"))));
        for (const auto& [from, to] : {std::pair{u"<outside>", outside}, {u"<root>", m_root}, {u"<out>", outName}})
            args.replaceInStrings(QString::fromUtf16(from), to);
        written.replace(QStringLiteral("<out>"), outName);
        const QStringList before = QDir(m_tmp.path()).entryList() + QDir(outside).entryList();
        const Run r = cli(QStringList{QStringLiteral("ini")} + args);
        QCOMPARE(r.code, code);
        if (code == 2) {
            QVERIFY2(r.err.startsWith(QStringLiteral("kovra-cli: ")) && r.err.contains(QStringLiteral("--outside")) &&
                         r.err.count(u'\n') == 1,
                     qPrintable(r.err));
            QCOMPARE(r.out, QString());
        }
        if (!written.isEmpty())
            QCOMPARE(readBytes(at(written)), QByteArray("[S]\r\nk=v\r\n"));
        QStringList after = QDir(m_tmp.path()).entryList() + QDir(outside).entryList();
        after.removeOne(QFileInfo(written).fileName());
        QCOMPARE(after, before);
        QCOMPARE(readBytes(outside + QStringLiteral("/t.ini")), QByteArray("[S]\r\nk=1\r\n"));
    }

    void badUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("nothing") << QStringList{};
        QTest::newRow("--root alone") << words("--root");
        QTest::newRow("no command") << words("--root|<root>");
        QTest::newRow("unknown command") << words("--root|<root>|lst");
        QTest::newRow("option after command") << words("list|--root|<root>");
        QTest::newRow("missing root") << words("--root|<root>/none|list");
        QTest::newRow("root is a file") << words("--root|<root>/KOVRA.INI|list");
        QTest::newRow("ini alone") << words("--root|<root>|ini");
        QTest::newRow("unknown ini action") << words("--root|<root>|ini|put");
        QTest::newRow("get without key") << words("--root|<root>|ini|get|KOVRA.INI|Window");
        QTest::newRow("size zero") << words("--root|<root>|ini|get|KOVRA.INI|Window|Top|--size|0");
        QTest::newRow("size not a number") << words("--root|<root>|ini|get|KOVRA.INI|Window|Top|--size|x");
        QTest::newRow("default without text") << words("--root|<root>|ini|get|KOVRA.INI|Window|Top|--default");
        QTest::newRow("unknown option") << words("--root|<root>|ini|get|KOVRA.INI|Window|Top|--bogus");
        QTest::newRow("set without value") << words("--root|<root>|ini|set|KOVRA.INI|Window|Top");
        QTest::newRow("list with arguments") << words("--root|<root>|list|x");
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
        const Run r = run(words("--help"));
        QCOMPARE(r.code, 0);
        QVERIFY(r.out.contains(QStringLiteral("kovra-cli [--root DIR] ini remove-section [--outside] FILE SECTION")));
        QVERIFY(r.out.contains(QStringLiteral("絶対パスで指定し、--outside を付けたとき")));
    }
};

QTEST_GUILESS_MAIN(tst_Cli)
#include "tst_cli.moc"
