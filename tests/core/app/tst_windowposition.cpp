#include "FailingFileOps.h"
#include "FixtureCatalogue.h"
#include "ProgramFolder.h"
#include "WindowPosition.h"

#include <QTemporaryDir>
#include <QTest>

using namespace kovra;
using kovra::test::readBytes;
using kovra::test::writeBytes;

namespace {

// Records the order of the calls, as the main window would take them.
class FakeWindow : public PositionedWindow
{
public:
    double top = 0;
    double left = 0;
    QStringList calls;

    double topTwips() const override { return top; }
    double leftTwips() const override { return left; }
    void setTopTwips(double twips) override
    {
        calls.append(QStringLiteral("top"));
        top = twips;
    }
    void setLeftTwips(double twips) override
    {
        calls.append(QStringLiteral("left"));
        left = twips;
    }
};

} // namespace

class tst_WindowPosition : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString settings() const { return settingsFilePath(m_dir.path()); }

private slots:
    void init() { QFile::remove(settings()); }

    void settingsPath()
    {
        QCOMPARE(settingsFilePath(QStringLiteral("/opt/Kovra")), QStringLiteral("/opt/Kovra/KOVRA.INI"));
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<double>("top");
        QTest::addColumn<double>("left");
        QTest::newRow("no file") << QByteArray() << 300.0 << 300.0;
        QTest::newRow("no section") << QByteArray("[Other]\r\nTop=1\r\n") << 300.0 << 300.0;
        QTest::newRow("one key missing") << QByteArray("[Window]\r\nLeft=15\r\n") << 300.0 << 15.0;
        QTest::newRow("blanks around") << QByteArray("[Window]\r\nTop= 4500 \r\nLeft=\t4500\r\n") << 4500.0 << 4500.0;
        QTest::newRow("letters after") << QByteArray("[Window]\r\nTop=12abc\r\nLeft=7.5x\r\n") << 12.0 << 7.5;
        QTest::newRow("letters only and empty") << QByteArray("[Window]\r\nTop=abc\r\nLeft=\r\n") << 0.0 << 0.0;
        QTest::newRow("negative") << QByteArray("[Window]\r\nTop=-150\r\nLeft=-0\r\n") << -150.0 << 0.0;
        // 22 zeros and 12345: the first 25 characters are 22 zeros and 123.
        QTest::newRow("25-character cut") << QByteArray("[Window]\r\nTop=000000000000000000000012345\r\nLeft="
                                                        "1234567890123456789012345678\r\n")
                                          << 123.0 << 1234567890123456789012345.0;
        QTest::newRow("case and quotes") << QByteArray("[WINDOW]\r\ntop=\"60\"\r\n") << 60.0 << 300.0;
    }
    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(double, top);
        QFETCH(double, left);
        if (!bytes.isNull())
            QVERIFY(writeBytes(settings(), bytes));
        FakeWindow w;
        readWindowPosition(settings(), w);
        QCOMPARE(w.top, top);
        QCOMPARE(w.left, left);
        QCOMPARE(w.calls, QStringList({QStringLiteral("top"), QStringLiteral("left")}));
    }

    void firstRunWritesBothKeys()
    {
        FakeWindow w;
        readWindowPosition(settings(), w);
        QCOMPARE(saveWindowPosition(settings(), w), WriteStatus::Ok);
        QCOMPARE(readBytes(settings()), QByteArray("[Window]\r\nTop=300\r\nLeft=300\r\n"));
    }

    void saveKeepsOtherSections()
    {
        QVERIFY(writeBytes(settings(), kovra::test::fixture::settingsIni()));
        FakeWindow w;
        readWindowPosition(settings(), w);
        QCOMPARE(w.top, 4500.0);
        QCOMPARE(w.left, -150.0);
        w.top = 1215;
        w.left = -45;
        QCOMPARE(saveWindowPosition(settings(), w), WriteStatus::Ok);
        QCOMPARE(readBytes(settings()), QByteArray("[Window]\r\nTop=1215\r\nLeft=-45\r\n[Mine]\r\nNote=kept\r\n"));
        FakeWindow again;
        readWindowPosition(settings(), again);
        QCOMPARE(again.top, 1215.0);
        QCOMPARE(again.left, -45.0);
    }

    void failedSaveIsReportedAndHarmless()
    {
        QVERIFY(writeBytes(settings(), "[Window]\r\nTop=1\r\nLeft=2\r\n"));
        test::FailingFileOps ops;
        ops.failWhen = [](const QString& op, const QString&) { return op == u"write"; };
        const ScopedFileOps scope(&ops);
        FakeWindow w;
        w.top = 10;
        QCOMPARE(saveWindowPosition(settings(), w), WriteStatus::Failed);
        QCOMPARE(readBytes(settings()), QByteArray("[Window]\r\nTop=1\r\nLeft=2\r\n"));
    }
};

QTEST_GUILESS_MAIN(tst_WindowPosition)
#include "tst_windowposition.moc"
