#include "FailingFileOps.h"
#include "FixtureCatalogue.h"
#include "ProfileFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace kovra;
using kovra::test::readBytes;
using kovra::test::writeBytes;

Q_DECLARE_METATYPE(kovra::WriteStatus)

class tst_ProfileFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString file(const QString& name = QStringLiteral("T.INI")) const { return m_dir.filePath(name); }
    QStringList leftovers() const
    {
        return QDir(m_dir.path()).entryList({QStringLiteral(".*.kovra-tmp-*")}, QDir::Files | QDir::Hidden);
    }

private slots:
    void init()
    {
        QVERIFY(m_dir.isValid());
        for (const QString& name : QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System))
            QFile::remove(m_dir.filePath(name));
    }

    // ---- Reading

    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("defaultValue");
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("expected");

        const QString d = QStringLiteral("dflt");
        auto row = [&](const char* name, const QByteArray& bytes, const QString& s, const QString& k, const char* exp,
                       int size = 256) { QTest::newRow(name) << bytes << s << k << d << size << QByteArray(exp); };
        const QString S = QStringLiteral("S");
        const QString K = QStringLiteral("k");
        row("names ignore case", "[wInDoW]\r\ntOP=1\r\n", QStringLiteral("WINDOW"), QStringLiteral("Top"), "1");
        row("blanks trimmed", "  [ S ]  \r\n \t k \t=  v  v \t\r\n", S, K, "v  v");
        row("query names trimmed", "[S]\r\nk=1\r\n", QStringLiteral(" S "), QStringLiteral("\tk "), "1");
        row("double quotes", "[S]\r\nk=\"a b\"\r\n", S, K, "a b");
        row("single quotes", "[S]\r\nk='a b'\r\n", S, K, "a b");
        row("quotes after trimming", "[S]\r\nk=  \" a \"  \r\n", S, K, " a ");
        row("only one outer pair", "[S]\r\nk=\"\"a\"\"\r\n", S, K, "\"a\"");
        row("empty quotes", "[S]\r\nk=\"\"\r\n", S, K, "");
        row("lone quote stays", "[S]\r\nk=\"\r\n", S, K, "\"");
        row("mixed quotes stay", "[S]\r\nk=\"a'\r\n", S, K, "\"a'");
        row("open quote stays", "[S]\r\nk=\"a\r\n", S, K, "\"a");
        row("empty value is no default", "[S]\r\nk=\r\n", S, K, "");
        row("equals in value", "[S]\r\nk=a=b\r\n", S, K, "a=b");
        row("semicolon comment", "[S]\r\n;k=1\r\n  ;k=2\r\nk=3\r\n", S, K, "3");
        row("hash is no comment", "[S]\r\n#k=1\r\n", S, QStringLiteral("#k"), "1");
        row("semicolon inside value", "[S]\r\nk=a;b\r\n", S, K, "a;b");
        row("first key wins", "[S]\r\nk=1\r\nK=2\r\n", S, K, "1");
        row("first section wins", "[S]\r\nk=1\r\n[s]\r\nk=2\r\n", S, K, "1");
        row("later section of the name unseen", "[S]\r\nk=1\r\n[s]\r\nj=2\r\n", S, QStringLiteral("j"), "dflt");
        row("name ends at first bracket", "[a]b]\r\nk=1\r\n", QStringLiteral("a"), K, "1");
        row("rest of header is not the name", "[a]b]\r\nk=1\r\n", QStringLiteral("a]b"), K, "dflt");
        row("lines before first section", "k=0\r\n[S]\r\nk=1\r\n", QString(), K, "dflt");
        row("lines before first section skipped", "k=0\r\n[S]\r\nj=1\r\n", S, K, "dflt");
        row("LF alone", "[S]\nj=0\nk=1\n", S, K, "1");
        row("CR alone", "[S]\rj=0\rk=1\r", S, K, "1");
        row("mixed endings", "[S]\r\nj=0\rk=1\nm=2", S, QStringLiteral("m"), "2");
        row("no final line end", "[S]\r\nk=1", S, K, "1");
        row("missing section", "[T]\r\nk=1\r\n", S, K, "dflt");
        row("missing key", "[S]\r\nj=1\r\n", S, K, "dflt");
        // ソ is 83 5C, ゾ 83 5D, 表 95 5C: their trail bytes are no backslash or bracket.
        row("trail 5D in section name", "[\x83\x5d\x83\x5c]\r\nk=1\r\n", QStringLiteral("ゾソ"), K, "1");
        row("trail 5C and 5D in key and value", "[S]\r\n\x83\x5d\x95\x5c=\x83\x5c\x83\x5d\r\n", S,
            QStringLiteral("ゾ表"), "\x83\x5c\x83\x5d");
        row("value ending in trail 5C", "[S]\r\nk=\x95\x5c\r\nj=2\r\n", S, QStringLiteral("j"), "2");
        // ア is 83 41: folding must not turn its trail byte into that of ヂ (83 61).
        row("trail byte is not folded", "[\x83\x41]\r\nk=1\r\n", QStringLiteral("ヂ"), K, "dflt");
        row("double-byte name matches itself", "[\x83\x41]\r\nk=1\r\n", QStringLiteral("ア"), K, "1");
        row("cut at size - 1", "[S]\r\nk=ABCDE\r\n", S, K, "AB", 3);
        row("cut before a double-byte char",
            "[S]\r\nk=A\x83\x5c"
            "B\r\n",
            S, K, "A", 3);
        row("double-byte char fits",
            "[S]\r\nk=A\x83\x5c"
            "B\r\n",
            S, K, "A\x83\x5c", 4);
        row("size 1 gives nothing", "[S]\r\nk=ABC\r\n", S, K, "", 1);
        row("invalid bytes pass through", "[S]\r\nk=\xa0\xff\r\n", S, K, "\xa0\xff");
        row("line without equals is no key", "[ImageFile]\r\nTitle\r\n", QStringLiteral("ImageFile"),
            QStringLiteral("Title"), "dflt");
        row("key after a line without equals", "[S]\r\nk\r\nk=1\r\n", S, K, "1");
    }
    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, defaultValue);
        QFETCH(int, size);
        QFETCH(QByteArray, expected);
        QVERIFY(writeBytes(file(), bytes));
        const ProfileFile f = ProfileFile::load(file());
        QCOMPARE(f.status(), ProfileFile::Status::Loaded);
        QCOMPARE(f.readBytes(section, key, defaultValue, size), expected);
        QCOMPARE(getProfileString(section, key, defaultValue, size, file()), f.read(section, key, defaultValue, size));
    }

    void defaults_data()
    {
        QTest::addColumn<QString>("defaultValue");
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("expected");
        QTest::newRow("trailing spaces go") << QStringLiteral("  300  ") << 30 << QStringLiteral("  300");
        QTest::newRow("tab stays") << QStringLiteral("a\t") << 30 << QStringLiteral("a\t");
        QTest::newRow("cut like a value") << QStringLiteral("Non Titled") << 5 << QStringLiteral("Non ");
        QTest::newRow("cut before a double-byte char") << QStringLiteral("ソゾ") << 4 << QStringLiteral("ソ");
    }
    void defaults()
    {
        QFETCH(QString, defaultValue);
        QFETCH(int, size);
        QFETCH(QString, expected);
        QCOMPARE(getProfileString(u"S", u"k", defaultValue, size, file(QStringLiteral("none.ini"))), expected);
        QVERIFY(writeBytes(file(), "[S]\r\nj=1\r\n"));
        QCOMPARE(getProfileString(u"S", u"k", defaultValue, size, file()), expected);
        QVERIFY(!QFile::exists(file(QStringLiteral("none.ini"))));
    }

    void readsCodePage932()
    {
        QVERIFY(writeBytes(file(), "[\x8f\xee\x95\xf1]\r\n\x96\xbc\x91\x4f=\x81\x60\x87\x40\x87\x8a\r\n"));
        QCOMPARE(getProfileString(u"情報", u"名前", u"", 256, file()), QStringLiteral("～①㈱"));
    }

    void oneDiskReadAnswersEveryKey()
    {
        const QString folder = m_dir.filePath(QStringLiteral("cat"));
        QVERIFY(test::fixture::create(folder));
        const QString area0 = folder + QStringLiteral("/20030405060708/Area0.INI");
        test::FailingFileOps ops;
        const ScopedFileOps scope(&ops);
        const ProfileFile f = ProfileFile::load(area0);
        const QStringList keys = {QStringLiteral("Item0"), QStringLiteral("Item1"), QStringLiteral("Item2"),
                                  QStringLiteral("Item3"), QStringLiteral("Item9")};
        QStringList once;
        for (const QString& key : keys)
            once.append(f.read(u"Items", key, u"-", 256));
        QCOMPARE(ops.count(QStringLiteral("read")), 1);
        for (qsizetype i = 0; i < keys.size(); ++i)
            QCOMPARE(once[i], getProfileString(u"Items", keys[i], u"-", 256, area0));
        QCOMPARE(once, (QStringList{QStringLiteral("ソース"), QStringLiteral("ゾウの置物"), QStringLiteral("-"),
                                    QStringLiteral("電池"), QStringLiteral("-")}));
    }

    // ---- Writing

    void write_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        const QByteArray settings = "; mine\r\n[Window]\r\nTop = 4500\r\nleft=\"300\"\r\n\r\n[Other]\r\nx=1\r\n";
        QTest::newRow("replace keeps place and spelling")
            << settings << QStringLiteral("WINDOW") << QStringLiteral("top") << QStringLiteral("150")
            << QByteArray("; mine\r\n[Window]\r\nTop=150\r\nleft=\"300\"\r\n\r\n[Other]\r\nx=1\r\n");
        QTest::newRow("new key after the last key line")
            << settings << QStringLiteral("window") << QStringLiteral("Width") << QStringLiteral("20")
            << QByteArray("; mine\r\n[Window]\r\nTop = 4500\r\nleft=\"300\"\r\nWidth=20\r\n\r\n[Other]\r\nx=1\r\n");
        QTest::newRow("new section appended") << settings << QStringLiteral("New") << QStringLiteral("k")
                                              << QStringLiteral("v") << settings + "[New]\r\nk=v\r\n";
        QTest::newRow("new section after a missing line end")
            << QByteArray("[A]\r\nx=1") << QStringLiteral("B") << QStringLiteral("k") << QStringLiteral("v")
            << QByteArray("[A]\r\nx=1\r\n[B]\r\nk=v\r\n");
        QTest::newRow("new key after a missing line end")
            << QByteArray("[A]\r\nx=1") << QStringLiteral("A") << QStringLiteral("y") << QStringLiteral("2")
            << QByteArray("[A]\r\nx=1\r\ny=2\r\n");
        QTest::newRow("new key under a bare header")
            << QByteArray("[A]\r\n[B]\r\ny=2\r\n") << QStringLiteral("a") << QStringLiteral("x") << QStringLiteral("1")
            << QByteArray("[A]\r\nx=1\r\n[B]\r\ny=2\r\n");
        QTest::newRow("new key before trailing comments")
            << QByteArray("[A]\r\nx=1\r\n;note\r\n\r\n[B]\r\n") << QStringLiteral("A") << QStringLiteral("y")
            << QStringLiteral("2") << QByteArray("[A]\r\nx=1\r\ny=2\r\n;note\r\n\r\n[B]\r\n");
        QTest::newRow("LF file keeps its endings")
            << QByteArray("[A]\nx=1\n") << QStringLiteral("A") << QStringLiteral("x") << QStringLiteral("22")
            << QByteArray("[A]\nx=22\n");
        QTest::newRow("first of two sections")
            << QByteArray("[A]\r\nx=1\r\n[a]\r\nx=2\r\n") << QStringLiteral("A") << QStringLiteral("x")
            << QStringLiteral("3") << QByteArray("[A]\r\nx=3\r\n[a]\r\nx=2\r\n");
        QTest::newRow("value as given, names trimmed")
            << QByteArray() << QStringLiteral(" S ") << QStringLiteral("\tk ") << QStringLiteral("  \"v\"  ")
            << QByteArray("[S]\r\nk=  \"v\"  \r\n");
        QTest::newRow("double-byte text")
            << QByteArray("[S]\r\n\x83\x5d=old\r\n") << QStringLiteral("S") << QStringLiteral("ゾ")
            << QStringLiteral("ソ表") << QByteArray("[S]\r\n\x83\x5d=\x83\x5c\x95\x5c\r\n");
        QTest::newRow("other bytes untouched")
            << QByteArray("[X]\r\nbad=\xa0\xff\x83\r\n[S]\r\nk=1\r\n") << QStringLiteral("S") << QStringLiteral("k")
            << QStringLiteral("2") << QByteArray("[X]\r\nbad=\xa0\xff\x83\r\n[S]\r\nk=2\r\n");
        QTest::newRow("line without equals stays beside the new key")
            << QByteArray("[S]\r\nk\r\n") << QStringLiteral("S") << QStringLiteral("k") << QStringLiteral("v")
            << QByteArray("[S]\r\nk=v\r\nk\r\n");
        // A UTF-8 byte-order mark hides the first header, as it does from the code-page reading of Windows.
        QTest::newRow("UTF-8 mark: first header unseen")
            << QByteArray("\xEF\xBB\xBF[S]\r\nk=1\r\n") << QStringLiteral("S") << QStringLiteral("k")
            << QStringLiteral("2") << QByteArray("\xEF\xBB\xBF[S]\r\nk=1\r\n[S]\r\nk=2\r\n");
        QTest::newRow("section name with trail 5D")
            << QByteArray("[\x83\x5d]\r\nk=1\r\n") << QStringLiteral("ゾ") << QStringLiteral("j") << QStringLiteral("2")
            << QByteArray("[\x83\x5d]\r\nk=1\r\nj=2\r\n");
    }
    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        if (!before.isNull())
            QVERIFY(writeBytes(file(), before));
        QCOMPARE(writeProfileString(section, key, value, file()), WriteStatus::Ok);
        QCOMPARE(readBytes(file()), after);
        QVERIFY(leftovers().isEmpty());
    }

    void removeSection_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QByteArray>("after");
        const QByteArray f = "[A]\r\nx=1\r\n;c\r\n\r\n[Items]\r\nItem0=a\r\nItem1=b\r\n[B]\r\ny=2";
        QTest::newRow("middle") << f << QStringLiteral("items") << QByteArray("[A]\r\nx=1\r\n;c\r\n\r\n[B]\r\ny=2");
        QTest::newRow("first with its comments")
            << f << QStringLiteral("A") << QByteArray("[Items]\r\nItem0=a\r\nItem1=b\r\n[B]\r\ny=2");
        QTest::newRow("last") << f << QStringLiteral("B")
                              << QByteArray("[A]\r\nx=1\r\n;c\r\n\r\n[Items]\r\nItem0=a\r\nItem1=b\r\n");
        QTest::newRow("missing") << f << QStringLiteral("C") << f;
        QTest::newRow("only") << QByteArray("[A]\r\nx=1\r\n") << QStringLiteral("A") << QByteArray("");
    }
    void removeSection()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QByteArray, after);
        QVERIFY(writeBytes(file(), before));
        QCOMPARE(removeProfileSection(section, file()), WriteStatus::Ok);
        QCOMPARE(readBytes(file()), after);
    }

    void removeSectionOfMissingFileCreatesNothing()
    {
        QCOMPARE(removeProfileSection(u"A", file()), WriteStatus::Ok);
        QVERIFY(!QFile::exists(file()));
    }

    void removeMissingSectionLeavesReadOnlyFileAlone()
    {
        QVERIFY(writeBytes(file(), "[A]\r\nx=1\r\n"));
        QVERIFY(QFile::setPermissions(file(), QFile::ReadOwner | QFile::ReadGroup));
        QCOMPARE(removeProfileSection(u"B", file()), WriteStatus::Ok);
        QCOMPARE(removeProfileSection(u"A", file()), WriteStatus::ReadOnly);
        QCOMPARE(readBytes(file()), QByteArray("[A]\r\nx=1\r\n"));
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<WriteStatus>("expected");
        const QString s = QStringLiteral("S");
        const QString k = QStringLiteral("k");
        const QString v = QStringLiteral("v");
        const auto bad = WriteStatus::InvalidInput;
        QTest::newRow("CR in value") << s << k << QStringLiteral("a\rb") << bad;
        QTest::newRow("LF in value") << s << k << QStringLiteral("a\nb") << bad;
        QTest::newRow("NUL in value") << s << k << QString(QStringLiteral("ab") + QChar(u'\0')) << bad;
        QTest::newRow("LF in key") << s << QStringLiteral("k\n") << v << bad;
        QTest::newRow("CR in section") << QStringLiteral("S\r") << k << v << bad;
        QTest::newRow("NUL in section") << QString(QChar(u'\0')) << k << v << bad;
        QTest::newRow("empty section") << QString() << k << v << bad;
        QTest::newRow("blank section") << QStringLiteral(" \t ") << k << v << bad;
        QTest::newRow("empty key") << s << QString() << v << bad;
        QTest::newRow("blank key") << s << QStringLiteral("  ") << v << bad;
        QTest::newRow("bracket in section") << QStringLiteral("a]b") << k << v << bad;
        QTest::newRow("equals in key") << s << QStringLiteral("a=b") << v << bad;
        QTest::newRow("key starting with ;") << s << QStringLiteral(" ;k") << v << bad;
        QTest::newRow("key starting with [") << s << QStringLiteral("[k") << v << bad;
        QTest::newRow("surrogate pair in value") << s << k << QStringLiteral("𠮷") << WriteStatus::Unencodable;
        QTest::newRow("emoji in key") << s << QStringLiteral("k😀") << v << WriteStatus::Unencodable;
        QTest::newRow("accent in section") << QStringLiteral("é") << k << v << WriteStatus::Unencodable;
    }
    void refusals()
    {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(WriteStatus, expected);
        const QByteArray before = "[S]\r\nk=old\r\n";
        QVERIFY(writeBytes(file(), before));
        test::FailingFileOps ops;
        const ScopedFileOps scope(&ops);
        QCOMPARE(writeProfileString(section, key, value, file()), expected);
        QCOMPARE(readBytes(file()), before);
        QCOMPARE(ops.count(QStringLiteral("write")), 0);
        // Nothing is created either.
        QCOMPARE(writeProfileString(section, key, value, file(QStringLiteral("new.ini"))), expected);
        QVERIFY(!QFile::exists(file(QStringLiteral("new.ini"))));
    }

    void utf16FileIsNeverWritten_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        // "[S]", CR LF, "k=1" after the mark.
        QTest::newRow("little endian") << QByteArray::fromHex("fffe5b0053005d000d000a006b003d003100");
        QTest::newRow("big endian") << QByteArray::fromHex("feff005b0053005d000d000a006b003d0031");
    }
    void utf16FileIsNeverWritten()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(writeBytes(file(), bytes));
        QCOMPARE(writeProfileString(u"S", u"k", u"2", file()), WriteStatus::Unreadable);
        QCOMPARE(writeProfileString(u"New", u"k", u"2", file()), WriteStatus::Unreadable);
        QCOMPARE(removeProfileSection(u"S", file()), WriteStatus::Unreadable);
        QCOMPARE(readBytes(file()), bytes);
        QVERIFY(leftovers().isEmpty());
    }

    void removeSectionRefusals()
    {
        QVERIFY(writeBytes(file(), "[S]\r\nk=1\r\n"));
        QCOMPARE(removeProfileSection(u"", file()), WriteStatus::InvalidInput);
        QCOMPARE(removeProfileSection(u"S\n", file()), WriteStatus::InvalidInput);
        QCOMPARE(removeProfileSection(u"S]", file()), WriteStatus::InvalidInput);
        QCOMPARE(removeProfileSection(u"😀", file()), WriteStatus::Unencodable);
        QCOMPARE(readBytes(file()), QByteArray("[S]\r\nk=1\r\n"));
    }

    void readOnlyBitIsHonoured()
    {
        const QByteArray before = "[S]\r\nk=1\r\n";
        QVERIFY(writeBytes(file(), before));
        QVERIFY(QFile::setPermissions(file(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        QCOMPARE(writeProfileString(u"S", u"k", u"2", file()), WriteStatus::ReadOnly);
        QCOMPARE(readBytes(file()), before);
        QVERIFY(leftovers().isEmpty());
    }

    void permissionsAreKept()
    {
        QVERIFY(writeBytes(file(), "[S]\r\nk=1\r\n"));
        const auto perms = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup;
        QVERIFY(QFile::setPermissions(file(), perms));
        QCOMPARE(writeProfileString(u"S", u"k", u"2", file()), WriteStatus::Ok);
        QCOMPARE(QFile::permissions(file()) & ~(QFile::ReadUser | QFile::WriteUser), perms);
    }

    void failedWriteLeavesOldFile_data()
    {
        QTest::addColumn<QString>("failingOp");
        QTest::addColumn<WriteStatus>("expected");
        QTest::addColumn<WriteStatus>("newFile");
        const auto failed = WriteStatus::Failed;
        QTest::newRow("disk full") << QStringLiteral("write") << failed << failed;
        QTest::newRow("rename refused") << QStringLiteral("rename") << failed << failed;
        QTest::newRow("permissions not copied") << QStringLiteral("chmod") << failed << WriteStatus::Ok;
        QTest::newRow("read refused") << QStringLiteral("read") << WriteStatus::Unreadable << WriteStatus::Unreadable;
    }
    void failedWriteLeavesOldFile()
    {
        QFETCH(QString, failingOp);
        QFETCH(WriteStatus, expected);
        QFETCH(WriteStatus, newFile);
        const QByteArray before = "[S]\r\nk=1\r\n; \x83\x5c\r\n";
        QVERIFY(writeBytes(file(), before));
        test::FailingFileOps ops;
        ops.failWhen = [&](const QString& op, const QString&) { return op == failingOp; };
        {
            const ScopedFileOps scope(&ops);
            QCOMPARE(writeProfileString(u"S", u"k", u"2", file()), expected);
            QCOMPARE(removeProfileSection(u"S", file()), expected);
            QCOMPARE(writeProfileString(u"S", u"k", u"2", file(QStringLiteral("new.ini"))), newFile);
        }
        QCOMPARE(readBytes(file()), before);
        QVERIFY(leftovers().isEmpty());
        QCOMPARE(QFile::exists(file(QStringLiteral("new.ini"))), newFile == WriteStatus::Ok);
        if (failingOp == u"read")
            QCOMPARE(ops.count(QStringLiteral("write")), 0);
    }

    void severalKeysInOneReplacement()
    {
        const QByteArray before = "[Area]\r\nVisible=False\r\nLeft=1\r\n";
        QVERIFY(writeBytes(file(), before));
        test::FailingFileOps ops;
        const ScopedFileOps scope(&ops);
        ProfileFile f = ProfileFile::load(file());
        QCOMPARE(f.set(u"Area", u"Visible", u"True"), WriteStatus::Ok);
        QCOMPARE(f.set(u"Area", u"Left", u"150"), WriteStatus::Ok);
        QCOMPARE(f.set(u"Area", u"Top", u"187.5"), WriteStatus::Ok);
        QCOMPARE(readBytes(file()), before); // nothing on the disk before save()

        ops.failWhen = [](const QString& op, const QString&) { return op == u"rename"; };
        QCOMPARE(f.save(file()), WriteStatus::Failed);
        QCOMPARE(readBytes(file()), before);

        ops.failWhen = nullptr;
        ops.log.clear();
        QCOMPARE(f.save(file()), WriteStatus::Ok);
        QCOMPARE(readBytes(file()), QByteArray("[Area]\r\nVisible=True\r\nLeft=150\r\nTop=187.5\r\n"));
        QCOMPARE(ops.count(QStringLiteral("rename")), 1);
        QVERIFY(leftovers().isEmpty());
    }

    void refusedEditKeepsEarlierEdits()
    {
        ProfileFile f(QByteArray("[S]\r\nk=1\r\n"));
        QCOMPARE(f.set(u"S", u"k", u"2"), WriteStatus::Ok);
        QCOMPARE(f.set(u"S", u"k", u"a\nb"), WriteStatus::InvalidInput);
        QCOMPARE(f.bytes(), QByteArray("[S]\r\nk=2\r\n"));
    }

    void specialFilesReadAsUnreadable()
    {
        // A FIFO would block a plain read for ever; a folder cannot be read either.
        QVERIFY(::mkfifo(QFile::encodeName(file()).constData(), 0644) == 0);
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("D.INI")));
        for (const QString& path : {file(), file(QStringLiteral("D.INI"))}) {
            QCOMPARE(ProfileFile::load(path).status(), ProfileFile::Status::Unreadable);
            QCOMPARE(getProfileString(u"S", u"k", u"d", 16, path), QStringLiteral("d"));
            QCOMPARE(writeProfileString(u"S", u"k", u"v", path), WriteStatus::Unreadable);
        }
        QVERIFY(QFileInfo(file()).isFile() == false && QFileInfo(file(QStringLiteral("D.INI"))).isDir());
        QDir(m_dir.path()).rmdir(QStringLiteral("D.INI"));
        QFile::remove(file());
    }

    // Sparse files: the size is what counts, and no gigabyte is ever written.
    void oversizedFileIsNeitherReadNorWritten_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("readable");
        QTest::newRow("at the limit") << MaxProfileFileSize << true;
        QTest::newRow("one byte more") << MaxProfileFileSize + 1 << false;
        QTest::newRow("3 GB") << qint64(3) * 1024 * 1024 * 1024 << false;
    }
    void oversizedFileIsNeitherReadNorWritten()
    {
        QFETCH(qint64, size);
        QFETCH(bool, readable);
        QVERIFY(writeBytes(file(), "[S]\r\nk=1\r\n"));
        QVERIFY(QFile::resize(file(), size));
        const ProfileFile f = ProfileFile::load(file());
        QCOMPARE(f.status(), readable ? ProfileFile::Status::Loaded : ProfileFile::Status::TooLarge);
        QCOMPARE(f.bytes().size(), readable ? size : 0);
        QCOMPARE(getProfileString(u"S", u"k", u"d", 16, file()), readable ? QStringLiteral("1") : QStringLiteral("d"));
        if (readable)
            return;
        QCOMPARE(writeProfileString(u"S", u"k", u"2", file()), WriteStatus::Failed);
        QCOMPARE(removeProfileSection(u"S", file()), WriteStatus::Failed);
        ProfileFile edited = f;
        QCOMPARE(edited.set(u"T", u"k", u"2"), WriteStatus::Failed);
        QCOMPARE(edited.save(file()), WriteStatus::Failed);
        QCOMPARE(QFileInfo(file()).size(), size);
        QFile kept(file());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.read(5), QByteArray("[S]\r\n"));
        QVERIFY(leftovers().isEmpty());
    }

    void missingFolderFails()
    {
        QCOMPARE(writeProfileString(u"S", u"k", u"v", m_dir.filePath(QStringLiteral("no/such/T.INI"))),
                 WriteStatus::Failed);
    }
};

QTEST_GUILESS_MAIN(tst_ProfileFile)
#include "tst_profilefile.moc"
