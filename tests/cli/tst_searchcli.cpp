#include "AreaFiles.h"
#include "CliRunner.h"
#include "CodePage.h"
#include "FixtureCatalogue.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace kovra;
using namespace Qt::Literals::StringLiterals;

namespace {

using kovra::test::writeCp932;
using Run = kovra::test::CliRun;
using kovra::test::runCli;

} // namespace

class tst_SearchCli : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString root = m_dir.path();
        const QString a = root + u"/20240101000000"_s;
        const QString b = root + u"/20240102000000"_s;
        QDir().mkpath(a);
        QDir().mkpath(b);
        QDir().mkpath(root + u"/manual"_s);
        QVERIFY(writeCp932(a + u"/IMAGE.INI"_s, u"[ImageFile]\r\nPath=C:\\Kovra\\20240101000000\r\n"
                                                u"Filename=C:\\Kovra\\20240101000000\\棚.jpg\r\nTitle=居間の棚\r\n"_s));
        QVERIFY(writeCp932(a + u"/棚.jpg"_s, u"jpg"_s));
        QVERIFY(writeCp932(areaFilePath(a, 3),
                           u"[ItemCount]\r\nSum=2\r\n[Items]\r\nItem0=ボールペン\r\nItem1=ペンチ\r\n"_s));
        QVERIFY(writeCp932(areaFilePath(a, 12), u"[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=ﾍﾟﾝ立て\r\n"_s));
        QVERIFY(writeCp932(areaFilePath(b, 0), u"[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=万年筆\r\n"_s));
    }

    void found()
    {
        const Run r = runCli({u"--root"_s, m_dir.path(), u"search"_s, u"ぺん"_s});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, u"0\t20240101000000\t居間の棚\t,3,12\t"_s + m_dir.path() + u"/20240101000000/棚.jpg\n"_s);
        QVERIFY(r.err.isEmpty());
    }

    void nothingFound()
    {
        const Run r = runCli({u"--root"_s, m_dir.path(), u"search"_s, u"鉛筆"_s});
        QCOMPARE(r.code, 1);
        QVERIFY(r.out.isEmpty());
    }

    void badUsage_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("no text") << QStringList{u"search"_s};
        QTest::newRow("two texts") << QStringList{u"search"_s, u"a"_s, u"b"_s};
        QTest::newRow("empty text") << QStringList{u"search"_s, QString()};
    }
    void badUsage()
    {
        QFETCH(QStringList, args);
        const Run r = runCli(QStringList{u"--root"_s, m_dir.path()} + args);
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
        QCOMPARE(r.err.count(u'\n'), 1);
    }

    void unreadableFolder()
    {
        const Run r = runCli({u"--root"_s, m_dir.path() + u"/none"_s, u"search"_s, u"ペン"_s});
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
    }

    // The catalogue as the Windows build leaves it: Windows paths, a Sum larger than the stored keys,
    // ソ with its trail byte 5C, a quoted item, a folder without IMAGE.INI, Photos after manual.
    void fixtureCatalogue_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("rows");
        QTest::newRow("電池") << u"電池"_s << u"0\t20030405060708\tソファ横の棚\t,0\t@/20030405060708/shelf.jpg\n"_s;
        QTest::newRow("ｿｰｽ") << u"ｿｰｽ"_s << u"0\t20030405060708\tソファ横の棚\t,0\t@/20030405060708/shelf.jpg\n"_s;
        QTest::newRow("quotes are not part of the item") << u"\"ゾ"_s << QString();
    }
    void fixtureCatalogue()
    {
        QFETCH(QString, text);
        QFETCH(QString, rows);
        test::CatalogueBuilder dir;
        QVERIFY(dir.addFixtureCatalogue());
        const Run r = runCli({u"--root"_s, dir.path(), u"search"_s, text});
        QCOMPARE(r.out, QString(rows).replace(u'@', dir.path()));
        QCOMPARE(r.code, rows.isEmpty() ? 1 : 0);
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(tst_SearchCli)
#include "tst_searchcli.moc"
