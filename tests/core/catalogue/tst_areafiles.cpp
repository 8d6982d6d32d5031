#include "AreaFiles.h"
#include "CodePage.h"
#include "FailingFileOps.h"
#include "FixtureCatalogue.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

using namespace kovra;
using kovra::test::readBytes;
using kovra::test::writeBytes;
namespace fixture = kovra::test::fixture;
using State = kovra::LoadedArea::State;
using Geometry = std::array<std::optional<qint16>, 4>;

Q_DECLARE_METATYPE(kovra::LoadedArea::State)

class tst_AreaFiles : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_folder; // an empty image folder
    QString area(int n) const { return areaFilePath(m_folder, n); }

private slots:
    void init()
    {
        m_folder = m_tmp.filePath(QStringLiteral("img_") + QString::fromLatin1(QTest::currentTestFunction()) +
                                  QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_'));
        QDir(m_folder).removeRecursively();
        QVERIFY(QDir().mkpath(m_folder));
    }

    void fileNames()
    {
        QCOMPARE(QFileInfo(areaFilePath(m_folder, 0)).fileName(), QStringLiteral("Area0.INI"));
        QCOMPARE(QFileInfo(areaFilePath(m_folder, 5)).fileName(), QStringLiteral("Area5.INI"));
        QCOMPARE(QFileInfo(areaFilePath(m_folder, 10)).fileName(), QStringLiteral("Area10.INI"));
        QCOMPARE(QFileInfo(areaFilePath(m_folder, 29)).fileName(), QStringLiteral("Area29.INI"));
    }

    void loadsFixtureAreas()
    {
        QVERIFY(fixture::create(m_folder));
        const auto areas = loadImageAreas(m_folder + u'/' + QString::fromUtf16(fixture::ShelfFolder));
        QCOMPARE(areas[0].state, State::InUse);
        QCOMPARE(areas[0].geometry, (Geometry{12, 20, 150, 188})); // 12.5 and 187.5 to even
        QCOMPARE(areas[1].state, State::NotInUse);                 // Visible=true
        QCOMPARE(areas[2].state, State::InUse);
        QCOMPARE(areas[2].geometry, (Geometry{-20, 14, 40, 30}));
        for (int i = 3; i < AreaCount; ++i)
            QCOMPARE(areas[size_t(i)].state, State::NotInUse);
        // The hit mark reads the rectangle whatever Visible says.
        QCOMPARE(readAreaGeometry(m_folder + u'/' + QString::fromUtf16(fixture::ShelfFolder), 1),
                 (Geometry{1, 2, 3, 4}));
        QCOMPARE(readAreaGeometry(m_folder, 7), (Geometry{}));
    }

    void loadStopsAtFirstBadValue_data()
    {
        QTest::addColumn<QByteArray>("area3");
        QTest::addColumn<State>("state");
        QTest::addColumn<Geometry>("geometry");
        auto file = [](const char* visible, const char* l, const char* t, const char* w, const char* h) {
            QByteArray b = QByteArray("[Area]\r\nVisible=") + visible + "\r\n";
            for (auto [key, v] : {std::pair{"Left", l}, {"Top", t}, {"Width", w}, {"Height", h}})
                if (v)
                    b += QByteArray(key) + '=' + v + "\r\n";
            return b;
        };
        QTest::newRow("all good") << file("True", "1", "2", "3", "4") << State::InUse << Geometry{1, 2, 3, 4};
        QTest::newRow("quoted and blank")
            << file(" \"True\" ", " -5 ", "'6'", "7", "8") << State::InUse << Geometry{-5, 6, 7, 8};
        QTest::newRow("lower case") << file("true", "1", "2", "3", "4") << State::NotInUse << Geometry{};
        QTest::newRow("upper case") << file("TRUE", "1", "2", "3", "4") << State::NotInUse << Geometry{};
        QTest::newRow("False") << file("False", "x", "x", "x", "x") << State::NotInUse << Geometry{};
        QTest::newRow("letters in Top") << file("True", "5", "abc", "3", "4") << State::Failed
                                        << Geometry{5, {}, {}, {}};
        QTest::newRow("missing Width") << file("True", "5", "6", nullptr, "4") << State::Failed
                                       << Geometry{5, 6, {}, {}};
        QTest::newRow("Height out of range")
            << file("True", "5", "6", "7", "40000") << State::Failed << Geometry{5, 6, 7, {}};
        QTest::newRow("number then letters") << file("True", "12abc", "6", "7", "8") << State::Failed << Geometry{};
        QTest::newRow("cut to 15 bytes first")
            << file("True", "7              x", "6", "7", "8") << State::InUse << Geometry{7, 6, 7, 8};
    }
    void loadStopsAtFirstBadValue()
    {
        QFETCH(QByteArray, area3);
        QFETCH(State, state);
        QFETCH(Geometry, geometry);
        const QByteArray inUse = "[Area]\r\nVisible=True\r\nLeft=10\r\nTop=20\r\nWidth=30\r\nHeight=40\r\n";
        QVERIFY(writeBytes(area(0), inUse));
        QVERIFY(writeBytes(area(3), area3));
        QVERIFY(writeBytes(area(4), inUse));
        QVERIFY(writeBytes(area(29), inUse));
        const auto areas = loadImageAreas(m_folder);
        QCOMPARE(areas[0].state, State::InUse);
        QCOMPARE(areas[3].state, state);
        QCOMPARE(areas[3].geometry, geometry);
        const State later = state == State::Failed ? State::Unread : State::InUse;
        QCOMPARE(areas[4].state, later);
        QCOMPARE(areas[29].state, later);
        QCOMPARE(areas[5].state, state == State::Failed ? State::Unread : State::NotInUse);
    }

    void saveArrangementWritesAllFiles()
    {
        // Area 0 holds items from before; area 4 holds items but no section Area.
        QVERIFY(writeBytes(area(0), "[Area]\r\nVisible=False\r\nLeft=1\r\nTop=2\r\nWidth=3\r\nHeight=4\r\n"
                                    "[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=\x83\x5c\r\n"));
        QVERIFY(writeBytes(area(4), "[ItemCount]\r\nSum=0\r\n"));
        std::array<AreaMarker, AreaCount> markers;
        markers[0] = {true, QRectF(150, 35, 187.5, 100)};
        markers[1] = {true, QRectF(-20, -5, 40, 30)};
        markers[2] = {false, QRectF(1.25, 2, 3, 4)};
        QCOMPARE(saveArrangement(m_folder, markers), WriteStatus::Ok);
        QCOMPARE(readBytes(area(0)), QByteArray("[Area]\r\nVisible=True\r\nLeft=150\r\nTop=35\r\nWidth=187.5\r\n"
                                                "Height=100\r\n[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=\x83\x5c\r\n"));
        QCOMPARE(readBytes(area(1)),
                 QByteArray("[Area]\r\nVisible=True\r\nLeft=-20\r\nTop=-5\r\nWidth=40\r\nHeight=30\r\n"));
        QCOMPARE(readBytes(area(2)),
                 QByteArray("[Area]\r\nVisible=False\r\nLeft=1.25\r\nTop=2\r\nWidth=3\r\nHeight=4\r\n"));
        QCOMPARE(readBytes(area(4)),
                 QByteArray(
                     "[ItemCount]\r\nSum=0\r\n[Area]\r\nVisible=False\r\nLeft=0\r\nTop=0\r\nWidth=0\r\nHeight=0\r\n"));
        for (int i = 5; i < AreaCount; ++i)
            QCOMPARE(readBytes(area(i)),
                     QByteArray("[Area]\r\nVisible=False\r\nLeft=0\r\nTop=0\r\nWidth=0\r\nHeight=0\r\n"));
        QCOMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden).size(), AreaCount);
        const auto areas = loadImageAreas(m_folder);
        QCOMPARE(areas[1].geometry, (Geometry{-20, -5, 40, 30}));
        QCOMPARE(areas[2].state, State::NotInUse);
    }

    void saveArrangementFailureKeepsThatFile()
    {
        const QByteArray old5 = "[Area]\r\nVisible=True\r\nLeft=1\r\nTop=2\r\nWidth=3\r\nHeight=4\r\n";
        QVERIFY(writeBytes(area(5), old5));
        test::FailingFileOps ops;
        ops.failWhen = [&](const QString& op, const QString& path) { return op == u"rename" && path == area(5); };
        const ScopedFileOps scope(&ops);
        QCOMPARE(saveArrangement(m_folder, {}), WriteStatus::Failed);
        QCOMPARE(readBytes(area(5)), old5);
        QCOMPARE(readBytes(area(6)),
                 QByteArray("[Area]\r\nVisible=False\r\nLeft=0\r\nTop=0\r\nWidth=0\r\nHeight=0\r\n"));
        QCOMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden).size(), AreaCount);
    }

    // A failure anywhere before the renames (here on the last of the 30 files) changes no file and
    // leaves no temporary file.
    void saveArrangementIsAllOrNothing_data()
    {
        QTest::addColumn<QString>("op");
        QTest::newRow("disk full") << QStringLiteral("write");
        QTest::newRow("flush refused") << QStringLiteral("sync");
        QTest::newRow("permissions refused") << QStringLiteral("chmod");
        QTest::newRow("unreadable") << QStringLiteral("read");
    }
    void saveArrangementIsAllOrNothing()
    {
        QFETCH(QString, op);
        const QByteArray old = "[Area]\r\nVisible=True\r\nLeft=1\r\nTop=2\r\nWidth=3\r\nHeight=4\r\n";
        for (int i = 0; i < AreaCount; ++i)
            QVERIFY(writeBytes(area(i), old));
        test::FailingFileOps ops;
        ops.failWhen = [&](const QString& o, const QString& path) {
            return o == op && path.contains(QStringLiteral("Area29.INI"));
        };
        const ScopedFileOps scope(&ops);
        std::array<AreaMarker, AreaCount> markers{};
        markers[0] = {true, QRectF(5, 6, 7, 8)};
        QVERIFY(saveArrangement(m_folder, markers) != WriteStatus::Ok);
        QCOMPARE(ops.count(QStringLiteral("rename")), 0);
        for (int i = 0; i < AreaCount; ++i)
            QCOMPARE(readBytes(area(i)), old);
        QCOMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden).size(), AreaCount);
    }

    void readItems_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("no file") << QByteArray() << QStringList();
        QTest::newRow("fixture: Sum larger than the keys, quoted item")
            << fixture::shelfArea0()
            << QStringList{QStringLiteral("ソース"), QStringLiteral("ゾウの置物"), QString(), QStringLiteral("電池"),
                           QString()};
        QTest::newRow("Sum 3, only Item0") << QByteArray("[ItemCount]\r\nSum=3\r\n[Items]\r\nItem0=a\r\n")
                                           << QStringList{QStringLiteral("a"), QString(), QString()};
        QTest::newRow("Sum smaller than the keys")
            << QByteArray("[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=a\r\nItem1=b\r\n")
            << QStringList{QStringLiteral("a")};
        QTest::newRow("Sum not a number")
            << QByteArray("[ItemCount]\r\nSum=two\r\n[Items]\r\nItem0=a\r\n") << QStringList();
        QTest::newRow("Sum negative") << QByteArray("[ItemCount]\r\nSum=-2\r\n[Items]\r\nItem0=a\r\n") << QStringList();
        QTest::newRow("Sum cut to 9 bytes") << QByteArray("[ItemCount]\r\nSum=1        x\r\n[Items]\r\nItem0=a\r\n")
                                            << QStringList{QStringLiteral("a")};
        QTest::newRow("no Sum") << QByteArray("[Items]\r\nItem0=a\r\n") << QStringList();
        QTest::newRow("blanks and quotes go")
            << QByteArray("[ItemCount]\r\nSum=3\r\n[Items]\r\nItem0=  pen  \r\nItem1='x'\r\nItem2=\" y \"\r\n")
            << QStringList{QStringLiteral("pen"), QStringLiteral("x"), QStringLiteral(" y ")};
        QTest::newRow("items without section Area")
            << QByteArray("[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=\x83\x5d\r\n") << QStringList{QStringLiteral("ゾ")};
    }
    void readItems()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, items);
        if (!bytes.isNull())
            QVERIFY(writeBytes(area(7), bytes));
        QCOMPARE(kovra::readItems(m_folder, 7), items);
    }

    void saveItems_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QByteArray>("after");
        const QByteArray five = "[Area]\r\nVisible=True\r\nLeft=1\r\n[ItemCount]\r\nSum=5\r\n[Items]\r\n"
                                "Item0=1\r\nItem1=2\r\nItem2=3\r\nItem3=4\r\nItem4=5\r\n";
        QTest::newRow("2 over 5") << five << QStringList{QStringLiteral("a"), QStringLiteral("ソ")}
                                  << QByteArray("[Area]\r\nVisible=True\r\nLeft=1\r\n[ItemCount]\r\nSum=2\r\n"
                                                "[Items]\r\nItem0=a\r\nItem1=\x83\x5c\r\n");
        QTest::newRow("empty list") << five << QStringList()
                                    << QByteArray("[Area]\r\nVisible=True\r\nLeft=1\r\n[ItemCount]\r\nSum=0\r\n");
        QTest::newRow("new file with an empty row")
            << QByteArray() << QStringList{QStringLiteral("a"), QString(), QStringLiteral(" b ")}
            << QByteArray("[ItemCount]\r\nSum=3\r\n[Items]\r\nItem0=a\r\nItem1=\r\nItem2= b \r\n");
        QTest::newRow("Items before ItemCount")
            << QByteArray("[Items]\r\nItem0=old\r\n[ItemCount]\r\nSum=1\r\n") << QStringList{QStringLiteral("new")}
            << QByteArray("[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=new\r\n");
        QTest::newRow("every section Items goes")
            << QByteArray("[ItemCount]\r\nSum=3\r\n[Items]\r\nItem0=a\r\n[items]\r\nItem1=b\r\nItem2=c\r\n")
            << QStringList{QStringLiteral("x")} << QByteArray("[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=x\r\n");
    }
    void saveItems()
    {
        QFETCH(QByteArray, before);
        QFETCH(QStringList, items);
        QFETCH(QByteArray, after);
        if (!before.isNull())
            QVERIFY(writeBytes(area(3), before));
        QCOMPARE(kovra::saveItems(m_folder, 3, items), WriteStatus::Ok);
        QCOMPARE(readBytes(area(3)), after);
        for (QString& item : items)
            item = item.trimmed(); // written as given, read back without outer blanks
        QCOMPARE(kovra::readItems(m_folder, 3), items);
    }

    void longItemsSurviveASave()
    {
        QString longItem;
        for (int i = 0; i < 100; ++i)
            longItem += QStringLiteral("ソゾ"); // 400 bytes
        const QStringList items = {longItem, QStringLiteral("a") + longItem};
        QCOMPARE(kovra::saveItems(m_folder, 0, items), WriteStatus::Ok);
        QCOMPARE(kovra::readItems(m_folder, 0), items);
        QCOMPARE(kovra::saveItems(m_folder, 0, kovra::readItems(m_folder, 0)), WriteStatus::Ok);
        const ProfileFile f = ProfileFile::load(area(0));
        QCOMPARE(f.rawValue(u"Items", u"Item0")->size(), 400);
        // The search's read: 255 bytes at most, never half a character.
        QCOMPARE(f.readBytes(u"Items", u"Item0", u"", ItemBufferSize).size(), 254);
        QCOMPARE(f.readBytes(u"Items", u"Item1", u"", ItemBufferSize).size(), 255);
    }

    // A very long item (10 MB, from a paste) opens and saves in bounded time, whole.
    void tenMegabyteItemInBoundedTime()
    {
        QByteArray huge(10 * 1024 * 1024, 'a');
        for (qsizetype i = 0; i < huge.size(); i += 1000)
            huge[i] = '\x83', huge[i + 1] = '\x5c';
        const QList<QByteArray> items = {QByteArray("pen"), huge, QByteArray("cup")};
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(saveItemBytes(m_folder, 0, items), WriteStatus::Ok);
        const qint64 firstSave = timer.restart();
        QCOMPARE(readItemBytes(m_folder, 0), items);
        const qint64 read = timer.restart();
        QCOMPARE(saveItemBytes(m_folder, 0, items), WriteStatus::Ok); // over the file that holds it
        const qint64 save = timer.elapsed();
        qInfo("10 MB item: save %lld ms, read %lld ms, save over it %lld ms", firstSave, read, save);
        QVERIFY(firstSave < 1000 && read < 1000 && save < 1000);
    }

    void saveItemsRefusesAndFailsWhole_data()
    {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<QString>("failingOp");
        QTest::addColumn<WriteStatus>("expected");
        QTest::newRow("line break") << QStringList{QStringLiteral("a"), QStringLiteral("b\nc")} << QString()
                                    << WriteStatus::InvalidInput;
        QTest::newRow("emoji") << QStringList{QStringLiteral("a"), QStringLiteral("😀")} << QString()
                               << WriteStatus::Unencodable;
        QTest::newRow("disk full") << QStringList{QStringLiteral("a")} << QStringLiteral("write")
                                   << WriteStatus::Failed;
        QTest::newRow("rename refused") << QStringList{QStringLiteral("a")} << QStringLiteral("rename")
                                        << WriteStatus::Failed;
    }
    void saveItemsRefusesAndFailsWhole()
    {
        QFETCH(QStringList, items);
        QFETCH(QString, failingOp);
        QFETCH(WriteStatus, expected);
        const QByteArray before = "[ItemCount]\r\nSum=2\r\n[Items]\r\nItem0=x\r\nItem1=y\r\n";
        QVERIFY(writeBytes(area(2), before));
        test::FailingFileOps ops;
        ops.failWhen = [&](const QString& op, const QString&) { return op == failingOp; };
        const ScopedFileOps scope(&ops);
        QCOMPARE(kovra::saveItems(m_folder, 2, items), expected);
        QCOMPARE(readBytes(area(2)), before);
        QCOMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Area2.INI")});
    }

    // Values that are no valid code page text (written by another program) come back and go out again
    // byte for byte; only a line break, which would split the line, is refused.
    void itemBytesRoundTrip()
    {
        const QList<QByteArray> odd = {QByteArray("\x81", 1), QByteArray("\x80\xa0\xfd", 3), QByteArray("a\0b", 3),
                                       QByteArray(), QByteArray("\x83\x5c")};
        QVERIFY(writeBytes(area(6), "[ItemCount]\r\nSum=6\r\n[Items]\r\nItem0=\x81\r\nItem1=\x80\xa0\xfd\r\n"
                                    "Item2=" +
                                        QByteArray("a\0b", 3) + "\r\nItem4=\x83\x5c\r\n"));
        QCOMPARE(readItemBytes(m_folder, 6), odd + QList<QByteArray>{QByteArray()});
        QCOMPARE(saveItemBytes(m_folder, 1, odd), WriteStatus::Ok);
        QCOMPARE(readItemBytes(m_folder, 1), odd);
        QCOMPARE(readBytes(area(1)),
                 QByteArray("[ItemCount]\r\nSum=5\r\n[Items]\r\nItem0=\x81\r\nItem1=\x80\xa0\xfd\r\n"
                            "Item2=") +
                     QByteArray("a\0b", 3) + QByteArray("\r\nItem3=\r\nItem4=\x83\x5c\r\n"));
        for (const QByteArray& bad : {QByteArray("a\rb"), QByteArray("a\nb")}) {
            QCOMPARE(saveItemBytes(m_folder, 1, {QByteArray("x"), bad}), WriteStatus::InvalidInput);
            QCOMPARE(readItemBytes(m_folder, 1), odd);
        }
    }

    // Areas the caller marks are neither read for writing nor replaced; the others are written.
    void saveArrangementLeavesMaskedAreasAlone()
    {
        const QByteArray odd = "[Area]\r\nVisible=True\r\nLeft=220\r\nTop=20\r\nWidth=abc\r\n";
        QVERIFY(writeBytes(area(2), odd));
        QVERIFY(writeBytes(area(4), odd));
        test::FailingFileOps ops;
        const ScopedFileOps scope(&ops);
        std::array<bool, AreaCount> leaveAlone{};
        leaveAlone[2] = leaveAlone[4] = leaveAlone[29] = true;
        std::array<AreaMarker, AreaCount> markers{};
        markers[0] = {true, QRectF(1, 2, 3, 4)};
        QCOMPARE(saveArrangement(m_folder, markers, leaveAlone), WriteStatus::Ok);
        QCOMPARE(readBytes(area(2)), odd);
        QCOMPARE(readBytes(area(4)), odd);
        QVERIFY(!QFileInfo::exists(area(29)));
        QCOMPARE(readBytes(area(0)),
                 QByteArray("[Area]\r\nVisible=True\r\nLeft=1\r\nTop=2\r\nWidth=3\r\nHeight=4\r\n"));
        QCOMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden).size(), AreaCount - 1);
        for (int i : {2, 4, 29})
            for (const QString& line : ops.log)
                QVERIFY2(!line.endsWith(u'/' + QFileInfo(area(i)).fileName()), qPrintable(line));
    }

    void areaTable()
    {
        AreaTable t;
        QCOMPARE(t.freeCount(), 30);
        QCOMPARE(t.firstFree(), 0);
        t.shown[0] = t.shown[1] = t.shown[3] = true;
        QCOMPARE(t.freeCount(), 27);
        QCOMPARE(t.firstFree(), 2);
        t.shown.fill(true);
        QCOMPARE(t.freeCount(), 0);
        QCOMPARE(t.firstFree(), -1);
    }
};

QTEST_GUILESS_MAIN(tst_AreaFiles)
#include "tst_areafiles.moc"
