#include "FailingFileOps.h"
#include "FixtureCatalogue.h"
#include "ImageFolders.h"

#include "AreaFiles.h"
#include "CodePage.h"
#include "NativePath.h"
#include "ProfileFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kovra;
using kovra::test::fileNames;
using kovra::test::rawMkdir;
using kovra::test::rawRead;
using kovra::test::rawWrite;
using kovra::test::readBytes;
using kovra::test::writeBytes;
namespace fixture = kovra::test::fixture;

Q_DECLARE_METATYPE(kovra::CreateError)

namespace {

QStringList names(const QStringList& paths)
{
    QStringList out;
    for (const QString& p : paths)
        out.append(QFileInfo(p).fileName());
    return out;
}

// Every file under folder with its bytes, to prove that nothing changed.
QMap<QString, QByteArray> snapshot(const QString& folder)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(folder, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(folder).relativeFilePath(path),
                     QFileInfo(path).isDir() ? QByteArray("<dir>") : readBytes(path));
    }
    return files;
}

using kovra::test::cp932;

} // namespace

class tst_ImageFolders : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_root;
    QString at(const QString& name) const { return QDir(m_root).filePath(name); }
    QString at(const char16_t* name) const { return at(QString::fromUtf16(name)); }

private slots:
    void init()
    {
        QVERIFY(m_tmp.isValid());
        m_root = m_tmp.filePath(QStringLiteral("Kovra") + QString::fromLatin1(QTest::currentTestFunction()));
        QDir(m_root).removeRecursively();
        QVERIFY(QDir().mkpath(m_root));
        QVERIFY(fixture::create(m_root));
    }

    void folderListOrder()
    {
        // Hidden folders are no images: they are left out.
        for (const char* n : {"b", "A", "zz", "MANUAL2", "_x", ".git", ".stfolder", ".thumbnails"})
            QVERIFY(QDir(m_root).mkdir(QString::fromLatin1(n)));
        QVERIFY(writeBytes(at(QStringLiteral("afile")), "x"));
        QCOMPARE(names(folderList(m_root)),
                 QStringList({QStringLiteral("20030405060708"), QStringLiteral("20030405060709"),
                              QStringLiteral("20040101000000"), QStringLiteral("_x"), QStringLiteral("A"),
                              QStringLiteral("b"), QStringLiteral("manual"), QStringLiteral("MANUAL2"),
                              QStringLiteral("Photos"), QStringLiteral("zz")}));
        QCOMPARE(folderList(m_tmp.filePath(QStringLiteral("none"))), QStringList());
    }

    void manualFolders_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("skipped");
        QTest::newRow("manual") << QStringLiteral("manual") << true;
        QTest::newRow("upper case") << QStringLiteral("MANUAL") << true;
        QTest::newRow("mixed case") << QStringLiteral("ManUal") << true;
        QTest::newRow("ends in manual") << QStringLiteral("UserManual") << true;
        QTest::newRow("manual with more") << QStringLiteral("manuals") << false;
        QTest::newRow("digits") << QStringLiteral("20030405060708") << false;
    }
    void manualFolders()
    {
        QFETCH(QString, name);
        QFETCH(bool, skipped);
        QCOMPARE(isManualFolder(m_root + u'/' + name), skipped);
    }

    void titlesCarryTheirFolder()
    {
        QVERIFY(QDir(m_root).mkdir(QStringLiteral("OldManual")));
        QVERIFY(writeBytes(at(QStringLiteral("Photos/IMAGE.INI")), "[ImageFile]\r\nPath=x\r\n"));
        const QStringList folders = folderList(m_root);
        const QList<TitleEntry> list = titleList(folders, nonTitled());
        QStringList titles, entryFolders;
        QList<int> positions;
        for (const TitleEntry& e : list) {
            titles.append(e.title);
            entryFolders.append(QFileInfo(e.folder).fileName());
            positions.append(e.folderPosition);
            QCOMPARE(folders.at(e.folderPosition), e.folder);
        }
        // 130 bytes are listed as the 124 bytes before the character that would be cut.
        const QString cut = codepage::decode(fixture::longTitleBytes().left(124));
        QCOMPARE(titles, QStringList({fixture::shelfTitle(), cut, nonTitled(), nonTitled()}));
        QCOMPARE(entryFolders, QStringList({QStringLiteral("20030405060708"), QStringLiteral("20030405060709"),
                                            QStringLiteral("20040101000000"), QStringLiteral("Photos")}));
        QCOMPARE(positions, QList<int>({0, 1, 2, 5})); // manual and OldManual are 3 and 4

        // The main window's list at start-up uses an empty default.
        const QList<TitleEntry> startUp = titleList(folders, QString());
        QCOMPARE(startUp.at(2).title, QString());
        QCOMPARE(startUp.at(3).title, QString());
    }

    void emptyTitleLists()
    {
        QTemporaryDir empty;
        QVERIFY(titleList(folderList(empty.path()), nonTitled()).isEmpty());
        QVERIFY(QDir(empty.path()).mkdir(QStringLiteral("manual")));
        QVERIFY(titleList(folderList(empty.path()), nonTitled()).isEmpty());
    }

    void pictureFallback_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("expected"); // "<local>": the file inside the folder; "<stored>": as stored
        QTest::newRow("Windows path") << QStringLiteral("C:\\Program Files\\Kovra\\20030405060708\\shelf.jpg")
                                      << QStringLiteral("<local>");
        QTest::newRow("moved catalogue") << QStringLiteral("/old/place/Kovra/20030405060708/shelf.jpg")
                                         << QStringLiteral("<local>");
        QTest::newRow("bare name") << QStringLiteral("shelf.jpg") << QStringLiteral("<local>");
        QTest::newRow("existing path as stored") << QStringLiteral("<existing>") << QStringLiteral("<stored>");
        QTest::newRow("no such picture anywhere")
            << QStringLiteral("C:\\Kovra\\1\\gone.jpg") << QStringLiteral("<stored>");
        QTest::newRow("names a folder") << QStringLiteral("C:\\Kovra\\..") << QStringLiteral("<stored>");
        // A backup copy of the program folder: the original still exists, the copy shows its own picture.
        QTest::newRow("original of a copy exists") << QStringLiteral("<original>") << QStringLiteral("<local>");
        QTest::newRow("inside the folder") << QStringLiteral("<inside>") << QStringLiteral("<local>");
        // A copy through a system that changes case.
        QTest::newRow("other case inside the folder") << QStringLiteral("<inside-upper>") << QStringLiteral("<local>");
        QTest::newRow("other case, Windows path")
            << QStringLiteral("C:\\Kovra\\20030405060708\\SHELF.JPG") << QStringLiteral("<local>");
        QTest::newRow("empty") << QString() << QString();
    }
    void pictureFallback()
    {
        QFETCH(QString, stored);
        QFETCH(QString, expected);
        const QString folder = at(fixture::ShelfFolder);
        const QString elsewhere = m_tmp.filePath(QStringLiteral("elsewhere.jpg"));
        QVERIFY(writeBytes(elsewhere, test::tinyJpeg()));
        const QString original = m_tmp.filePath(QStringLiteral("Original/20030405060708/shelf.jpg"));
        QVERIFY(writeBytes(original, test::tinyJpeg()));
        if (stored == u"<existing>")
            stored = elsewhere;
        else if (stored == u"<original>")
            stored = original;
        else if (stored == u"<inside>")
            stored = folder + QStringLiteral("/shelf.jpg");
        else if (stored == u"<inside-upper>")
            stored = folder + QStringLiteral("/SHELF.JPG");
        const QString local = folder + QStringLiteral("/shelf.jpg");
        expected = expected == u"<local>" ? local : expected == u"<stored>" ? stored : expected;
        QCOMPARE(resolvePicturePath(folder, stored), expected);
    }

    void relativeStoredPathIsNotTakenFromWorkingFolder()
    {
        // A picture of the same name in the working folder must not stand in for the image's own.
        const QString cwd = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_tmp.path()));
        QVERIFY(writeBytes(m_tmp.filePath(QStringLiteral("box.bmp")), "not this one"));
        const QString folder = at(fixture::BoxFolder);
        const QString resolved = resolvePicturePath(folder, QStringLiteral("box.bmp"));
        QVERIFY(QDir::setCurrent(cwd));
        QCOMPARE(resolved, folder + QStringLiteral("/box.bmp"));
    }

    void existingPath_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("exact") << QStringLiteral("a.ini") << QStringLiteral("a.ini");
        QTest::newRow("other case") << QStringLiteral("A.INI") << QStringLiteral("a.ini");
        QTest::newRow("stored upper") << QStringLiteral("b.ini") << QStringLiteral("B.INI");
        QTest::newRow("exact among two") << QStringLiteral("dup.txt") << QStringLiteral("dup.txt");
        QTest::newRow("two match: as asked") << QStringLiteral("Dup.txt") << QStringLiteral("Dup.txt");
        QTest::newRow("full-width letters") << QStringLiteral("ａ.jpg") << QStringLiteral("Ａ.jpg");
        QTest::newRow("missing") << QStringLiteral("none.ini") << QStringLiteral("none.ini");
        QTest::newRow("folder too") << QStringLiteral("SUB") << QStringLiteral("sub");
    }
    void existingPath()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        const QString folder = at(u"Case");
        for (const char* f : {"a.ini", "B.INI", "dup.txt", "DUP.txt"})
            QVERIFY(writeBytes(folder + u'/' + QString::fromLatin1(f), "x"));
        QVERIFY(writeBytes(folder + QStringLiteral("/Ａ.jpg"), "x"));
        QVERIFY(QDir(folder).mkdir(QStringLiteral("sub")));
        QCOMPARE(kovra::existingPath(folder + u'/' + name), folder + u'/' + expected);
    }

    // The listing behind a lookup is kept for a folder that has not changed, never past a change.
    void existingPathSeesChanges()
    {
        const QString folder = at(u"Settled");
        QVERIFY(QDir(folder).mkpath(QStringLiteral(".")));
        auto backdate = [&] {
            const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
            return ::utimensat(AT_FDCWD, nativePath(folder).constData(), old, 0) == 0;
        };
        QVERIFY(backdate());
        const QString asked = folder + QStringLiteral("/Area5.INI");
        QCOMPARE(kovra::existingPath(asked), asked);
        QVERIFY(writeBytes(folder + QStringLiteral("/area5.ini"), "x"));
        QCOMPARE(kovra::existingPath(asked), folder + QStringLiteral("/area5.ini"));
        // A rename in the same clock tick as the listing before it.
        QVERIFY(QFile::rename(folder + QStringLiteral("/area5.ini"), folder + QStringLiteral("/AREA5.ini")));
        QCOMPARE(kovra::existingPath(asked), folder + QStringLiteral("/AREA5.ini"));
    }

    void caseChangedCatalogueReadsAndWrites()
    {
        // image.ini, area0.ini and PHOTO2.JPG as a case-changing copy leaves them.
        const QString folder = at(u"20240101000000");
        QVERIFY(writeBytes(folder + QStringLiteral("/image.ini"),
                           "[ImageFile]\r\nFilename=" + cp932(folder) +
                               "/photo2.jpg\r\nTitle=" + cp932(QStringLiteral("棚")) + "\r\n"));
        QVERIFY(writeBytes(folder + QStringLiteral("/area0.ini"), "[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=pen\r\n"));
        QVERIFY(writeBytes(folder + QStringLiteral("/PHOTO2.JPG"), test::tinyJpeg()));
        // Two files for one name: neither is taken.
        QVERIFY(writeBytes(folder + QStringLiteral("/area1.ini"), "[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=a\r\n"));
        QVERIFY(writeBytes(folder + QStringLiteral("/AREA1.INI"), "[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=b\r\n"));

        QCOMPARE(titleList({folder}, nonTitled()).value(0).title, QStringLiteral("棚"));
        QCOMPARE(readItems(folder, 0), QStringList({QStringLiteral("pen")}));
        QCOMPARE(picturePathOf(folder), folder + QStringLiteral("/PHOTO2.JPG"));
        QCOMPARE(readItems(folder, 1), QStringList());

        // A write goes to the file that is there; with two candidates, to the exact name.
        QCOMPARE(saveItems(folder, 0, {QStringLiteral("ink")}), WriteStatus::Ok);
        QCOMPARE(saveItems(folder, 1, {QStringLiteral("c")}), WriteStatus::Ok);
        QCOMPARE(fileNames(folder),
                 QStringList({QStringLiteral("AREA1.INI"), QStringLiteral("Area1.INI"), QStringLiteral("PHOTO2.JPG"),
                              QStringLiteral("area0.ini"), QStringLiteral("area1.ini"), QStringLiteral("image.ini")}));
        QCOMPARE(readItems(folder, 0), QStringList({QStringLiteral("ink")}));
        QCOMPARE(readBytes(folder + QStringLiteral("/area1.ini")),
                 QByteArray("[ItemCount]\r\nSum=1\r\n[Items]\r\nItem0=a\r\n"));
    }

    void nativePathRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("escaped");
        QTest::newRow("ascii") << QByteArray("/tmp/Kovra/20240101000000") << false;
        QTest::newRow("UTF-8 Japanese") << QByteArray("/tmp/\xe5\x86\x99\xe7\x9c\x9f") << false;
        QTest::newRow("UTF-8 outside the BMP") << QByteArray("/\xf0\xa0\xae\xb7") << false;
        QTest::newRow("code page 932") << QByteArray("/tmp/\x8e\xca\x90\x5e") << true;
        QTest::newRow("lone byte FF") << QByteArray("a\xff") << true;
        QTest::newRow("cut sequence") << QByteArray("a\xe3\x81") << true;
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << true;
        QTest::newRow("encoded surrogate") << QByteArray("\xed\xb2\x80") << true;
        QTest::newRow("past U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << true;
    }
    void nativePathRoundTrip()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, escaped);
        const QString text = fromNativePath(bytes);
        QCOMPARE(nativePath(text), bytes);
        QCOMPARE(hasEscapedBytes(text), escaped);
        if (!escaped)
            QCOMPARE(text, QString::fromUtf8(bytes));
        // Such a path has no text in the code page: registration refuses it as unstorable.
        if (escaped)
            QVERIFY(!codepage::canEncode(text));
    }

    void namesInCodePageBytes()
    {
        // A program folder unpacked from a Windows archive: code page 932 bytes in its name and in the
        // name of an image folder and of a picture.
        const QByteArray root = nativePath(m_tmp.path()) + "/Kovra\x83\x4a\x83\x6f";
        const QByteArray shelf = root + "/20240101000000";
        const QByteArray named = root + "/\x8e\xca\x90\x5e"; // 写真
        const QByteArray picture = cp932(QStringLiteral("写真.jpg"));
        QVERIFY(rawMkdir(root) && rawMkdir(shelf) && rawMkdir(named) && rawMkdir(root + "/.hidden"));
        QVERIFY(rawWrite(shelf + "/IMAGE.INI", "[ImageFile]\r\nFilename=C:\\Kovra\\20240101000000\\" + picture +
                                                   "\r\nTitle=" + cp932(QStringLiteral("棚")) + "\r\n"));
        QVERIFY(rawWrite(shelf + '/' + picture, test::tinyJpeg()));
        QVERIFY(rawWrite(named + "/IMAGE.INI", "[ImageFile]\r\nTitle=" + cp932(QStringLiteral("写真")) + "\r\n"));

        const QString program = fromNativePath(root);
        const QStringList folders = folderList(program);
        QCOMPARE(folders.size(), 2);
        QCOMPARE(nativePath(folders.at(0)), shelf);
        QCOMPARE(nativePath(folders.at(1)), named);
        const QList<TitleEntry> titles = titleList(folders, nonTitled());
        QCOMPARE(titles.value(0).title, QStringLiteral("棚"));
        QCOMPARE(titles.value(1).title, QStringLiteral("写真"));
        QCOMPARE(nativePath(picturePathOf(folders.at(0))), shelf + '/' + picture);

        QCOMPARE(writeProfileString(u"ItemCount", u"Sum", u"0", areaFilePath(folders.at(1), 0)), WriteStatus::Ok);
        QCOMPARE(rawRead(named + "/Area0.INI"), QByteArray("[ItemCount]\r\nSum=0\r\n"));
        QVERIFY(!codepage::canEncode(program));
        // 8E is no UTF-8 start, CA 90 happens to be U+0290: messages show the byte that is not UTF-8.
        QCOMPARE(displayPath(folders.at(1)), displayPath(program) + QStringLiteral("/\\x8E") + QChar(0x0290) + u'^');
        QVERIFY(displayPath(program).endsWith(QStringLiteral("/Kovra\\x83J\\x83o")));
    }

    void picturePathOfFixture()
    {
        QCOMPARE(picturePathOf(at(fixture::ShelfFolder)), at(fixture::ShelfFolder) + QStringLiteral("/shelf.jpg"));
        QCOMPARE(picturePathOf(at(fixture::BoxFolder), SearchFilenameBufferSize),
                 at(fixture::BoxFolder) + QStringLiteral("/box.bmp"));
        QCOMPARE(picturePathOf(at(fixture::BareFolder)), QString());
        QCOMPARE(readBytes(imageIniPath(at(fixture::ShelfFolder))), fixture::shelfImageIni()); // stored value stays
    }

    void longPictureCopyPathStillShows()
    {
        // Our own registration in a deep program folder stores a Filename longer than the readers' buffers.
        const QString deep = m_root + u'/' + QString(120, u'd') + u'/' + QString(120, u'e');
        QVERIFY(QDir().mkpath(deep));
        const QString picture = m_tmp.filePath(QStringLiteral("long.jpg"));
        QVERIFY(writeBytes(picture, test::tinyJpeg()));
        const CreateResult r = createImageFolder(deep, picture, QStringLiteral("long.jpg"), QStringLiteral("t"),
                                                 QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9)));
        QCOMPARE(r.error, CreateError::None);
        QVERIFY(codepage::encode(r.folder + QStringLiteral("/long.jpg"))->size() > FilenameBufferSize);
        QCOMPARE(picturePathOf(r.folder), r.folder + QStringLiteral("/long.jpg"));
        QCOMPARE(picturePathOf(r.folder, SearchFilenameBufferSize), r.folder + QStringLiteral("/long.jpg"));
    }

    void folderNames_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QString>("name");
        QTest::newRow("padded") << QDateTime(QDate(2007, 1, 7), QTime(5, 3, 9)) << QStringLiteral("20070107050309");
        QTest::newRow("year end") << QDateTime(QDate(2023, 12, 31), QTime(23, 59, 59))
                                  << QStringLiteral("20231231235959");
        QTest::newRow("midnight") << QDateTime(QDate(2024, 2, 29), QTime(0, 0, 0)) << QStringLiteral("20240229000000");
    }
    void folderNames()
    {
        QFETCH(QDateTime, time);
        QFETCH(QString, name);
        QCOMPARE(imageFolderName(time), name);
    }

    void createWritesIniAndCopy()
    {
        const QString picture = m_tmp.filePath(QStringLiteral("in/棚の写真.jpg"));
        QVERIFY(writeBytes(picture, test::tinyJpeg()));
        const QDateTime when(QDate(2024, 1, 7), QTime(5, 3, 9));
        const CreateResult r =
            createImageFolder(m_root, picture, QStringLiteral("棚の写真.jpg"), QStringLiteral("ソファ横 ～①"), when);
        QCOMPARE(r.error, CreateError::None);
        QCOMPARE(r.folder, at(QStringLiteral("20240107050309")));
        const QByteArray folder = *codepage::encode(r.folder);
        QCOMPARE(
            readBytes(imageIniPath(r.folder)),
            "[ImageFile]\r\nPath=" + folder + "\r\nFilename=" + folder +
                "/\x92\x49\x82\xcc\x8e\xca\x90\x5e.jpg\r\nTitle=\x83\x5c\x83\x74\x83\x40\x89\xa1 \x81\x60\x87\x40\r\n");
        QCOMPARE(readBytes(r.folder + QStringLiteral("/棚の写真.jpg")), test::tinyJpeg());
        QCOMPARE(fileNames(r.folder), QStringList({QStringLiteral("IMAGE.INI"), QStringLiteral("棚の写真.jpg")}));
        QCOMPARE(titleList({r.folder}, nonTitled()).at(0).title, QStringLiteral("ソファ横 ～①"));
    }

    void createTakesNextFreeSecond()
    {
        const QString picture = at(QStringLiteral("20030405060709/box.bmp"));
        const auto before = snapshot(m_root);
        const QDateTime when(QDate(2003, 4, 5), QTime(6, 7, 8)); // the shelf's name, and the box's a second later
        const CreateResult r =
            createImageFolder(m_root, picture, QStringLiteral("box.bmp"), QStringLiteral("new"), when);
        QCOMPARE(r.error, CreateError::None);
        QCOMPARE(QFileInfo(r.folder).fileName(), QStringLiteral("20030405060710"));
        auto after = snapshot(m_root);
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QCOMPARE(after.value(it.key()), it.value());
        // A dangling link holds a name too.
        QVERIFY(QFile::link(m_tmp.filePath(QStringLiteral("nowhere")), at(QStringLiteral("20030405060711"))));
        const CreateResult r2 =
            createImageFolder(m_root, picture, QStringLiteral("box.bmp"), QStringLiteral("next"), when.addSecs(5));
        QCOMPARE(QFileInfo(r2.folder).fileName(), QStringLiteral("20030405060713"));
        const CreateResult r3 = createImageFolder(m_root, picture, QStringLiteral("box.bmp"), QStringLiteral("next"),
                                                  when.addSecs(3)); // 711 is the link
        QCOMPARE(r3.error, CreateError::None);
        QCOMPARE(QFileInfo(r3.folder).fileName(), QStringLiteral("20030405060712"));
    }

    void createIsAllOrNothing_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<QString>("pathPart");
        QTest::addColumn<CreateError>("expected");
        QTest::newRow("folder refused") << QStringLiteral("mkdir") << QString() << CreateError::MakeFolder;
        QTest::newRow("disk full on IMAGE.INI")
            << QStringLiteral("write") << QStringLiteral("IMAGE.INI") << CreateError::WriteIni;
        QTest::newRow("rename of IMAGE.INI")
            << QStringLiteral("rename") << QStringLiteral("IMAGE.INI") << CreateError::WriteIni;
        QTest::newRow("disk full on the copy")
            << QStringLiteral("write") << QStringLiteral("pic.bmp") << CreateError::CopyPicture;
        QTest::newRow("picture unreadable")
            << QStringLiteral("read") << QStringLiteral("source.bmp") << CreateError::CopyPicture;
    }
    void createIsAllOrNothing()
    {
        QFETCH(QString, op);
        QFETCH(QString, pathPart);
        QFETCH(CreateError, expected);
        const QString picture = m_tmp.filePath(QStringLiteral("source.bmp"));
        QVERIFY(writeBytes(picture, test::tinyBmp()));
        const auto before = snapshot(m_root);
        test::FailingFileOps ops;
        ops.failWhen = [&](const QString& o, const QString& path) { return o == op && path.contains(pathPart); };
        const ScopedFileOps scope(&ops);
        const CreateResult r = createImageFolder(m_root, picture, QStringLiteral("pic.bmp"), QStringLiteral("t"),
                                                 QDateTime(QDate(2024, 1, 1), QTime(1, 2, 3)));
        QCOMPARE(r.error, expected);
        QVERIFY(r.folder.isEmpty());
        QCOMPARE(snapshot(m_root), before);
    }

    void createRefusesBadInput_data()
    {
        QTest::addColumn<QString>("copyName");
        QTest::addColumn<QString>("title");
        QTest::addColumn<CreateError>("expected");
        QTest::newRow("title out of the code page")
            << QStringLiteral("p.bmp") << QStringLiteral("𠮷の箱") << CreateError::Unencodable;
        QTest::newRow("line break in title")
            << QStringLiteral("p.bmp") << QStringLiteral("a\nb") << CreateError::InvalidInput;
        QTest::newRow("name out of the code page")
            << QStringLiteral("😀.bmp") << QStringLiteral("t") << CreateError::Unencodable;
        QTest::newRow("name climbing out")
            << QStringLiteral("../KOVRA.INI") << QStringLiteral("t") << CreateError::InvalidInput;
        QTest::newRow("name of the description")
            << QStringLiteral("image.ini") << QStringLiteral("t") << CreateError::InvalidInput;
        QTest::newRow("name of an area file")
            << QStringLiteral("AREA12.ini") << QStringLiteral("t") << CreateError::InvalidInput;
        QTest::newRow("empty name") << QString() << QStringLiteral("t") << CreateError::InvalidInput;
        QTest::newRow("dot dot") << QStringLiteral("..") << QStringLiteral("t") << CreateError::InvalidInput;
    }
    void createRefusesBadInput()
    {
        QFETCH(QString, copyName);
        QFETCH(QString, title);
        QFETCH(CreateError, expected);
        const auto before = snapshot(m_root);
        const CreateResult r = createImageFolder(m_root, at(QStringLiteral("20030405060709/box.bmp")), copyName, title,
                                                 QDateTime(QDate(2024, 1, 1), QTime(1, 2, 3)));
        QCOMPARE(r.error, expected);
        QCOMPARE(snapshot(m_root), before);
    }

    void deleteRemovesFilesThenFolder()
    {
        const QString folder = at(fixture::ShelfFolder);
        test::FailingFileOps ops;
        {
            const ScopedFileOps scope(&ops);
            QVERIFY(deleteImageFolder(m_root, folder));
        }
        QVERIFY(!QFileInfo::exists(folder));
        QCOMPARE(ops.log.size(), 6); // IMAGE.INI, shelf.jpg, three area files, the folder
        QCOMPARE(ops.log.last(), QStringLiteral("rmdir ") + folder);
        QCOMPARE(ops.count(QStringLiteral("remove")), 5);
        QCOMPARE(names(folderList(m_root)).size(), 4);
        QVERIFY(QFileInfo::exists(at(QStringLiteral("KOVRA.INI"))));
    }

    void deleteKeepsFolderWithSubfolder()
    {
        const QString folder = at(fixture::BoxFolder);
        QVERIFY(writeBytes(folder + QStringLiteral("/sub/keep.txt"), "keep"));
        const QString outside = m_tmp.filePath(QStringLiteral("outside.txt"));
        QVERIFY(writeBytes(outside, "outside"));
        QVERIFY(QFile::link(outside, folder + QStringLiteral("/link.txt")));
        QVERIFY(!deleteImageFolder(m_root, folder));
        QCOMPARE(fileNames(folder), QStringList());
        QCOMPARE(readBytes(folder + QStringLiteral("/sub/keep.txt")), QByteArray("keep"));
        QCOMPARE(readBytes(outside), QByteArray("outside")); // the link went, not its target
        const QList<TitleEntry> list = titleList(folderList(m_root), nonTitled());
        QCOMPARE(list.at(1).folder, folder);
        QCOMPARE(list.at(1).title, nonTitled());
    }

    void deleteRefuses_data()
    {
        QTest::addColumn<QString>("target");
        QTest::newRow("link to another image") << QStringLiteral("<root>/20050101000000");
        QTest::newRow("link with a trailing slash") << QStringLiteral("<root>/20050101000000/");
        QTest::newRow("link to the program folder") << QStringLiteral("<root>/20060101000000");
        QTest::newRow("the program folder") << QStringLiteral("<root>");
        QTest::newRow("the program folder through a dot") << QStringLiteral("<root>/.");
        QTest::newRow("the program folder with a slash") << QStringLiteral("<root>/");
        QTest::newRow("up from an image") << QStringLiteral("<root>/20030405060709/..");
        QTest::newRow("manual") << QStringLiteral("<root>/manual");
        QTest::newRow("manual with a slash") << QStringLiteral("<root>/manual/");
        QTest::newRow("another manual") << QStringLiteral("<root>/OldManual");
        QTest::newRow("outside the program folder") << QStringLiteral("<tmp>/other/20030405060708");
        QTest::newRow("nested image folder") << QStringLiteral("<root>/20030405060708/inner");
        QTest::newRow("missing") << QStringLiteral("<root>/20990101000000");
        QTest::newRow("a file") << QStringLiteral("<root>/KOVRA.INI");
        QTest::newRow("empty") << QString();
    }
    void deleteRefuses()
    {
        QFETCH(QString, target);
        QVERIFY(QFile::link(at(fixture::ShelfFolder), at(QStringLiteral("20050101000000"))));
        QVERIFY(QFile::link(m_root, at(QStringLiteral("20060101000000"))));
        QVERIFY(QDir(m_root).mkdir(QStringLiteral("OldManual")));
        QVERIFY(writeBytes(at(QStringLiteral("OldManual/page.htm")), "p"));
        QVERIFY(writeBytes(at(QStringLiteral("20030405060708/inner/IMAGE.INI")), "[ImageFile]\r\n"));
        QVERIFY(writeBytes(m_tmp.filePath(QStringLiteral("other/20030405060708/IMAGE.INI")), "[ImageFile]\r\n"));
        target.replace(QStringLiteral("<root>"), m_root).replace(QStringLiteral("<tmp>"), m_tmp.path());
        const auto before = snapshot(m_tmp.path());
        QVERIFY(!deleteImageFolder(m_root, target));
        QCOMPARE(snapshot(m_tmp.path()), before);
    }

    void deleteRefusesAMountedFolder_data()
    {
        QTest::addColumn<bool>("bind");
        QTest::newRow("a folder of the same disk bound onto it") << true;
        QTest::newRow("another file system") << false;
    }
    void deleteRefusesAMountedFolder()
    {
        QFETCH(bool, bind);
        if (::geteuid() != 0)
            QSKIP("mounting needs root");
        const QString folder = at(fixture::ShelfFolder);
        const QString mine = m_tmp.filePath(QStringLiteral("mine"));
        QVERIFY(QDir(mine).removeRecursively());
        QVERIFY(writeBytes(mine + QStringLiteral("/a.txt"), "a") && writeBytes(mine + QStringLiteral("/b.txt"), "b"));
        const auto mineBefore = snapshot(mine);
        const auto folderBefore = snapshot(folder);
        // The mount lives in a namespace of the child's own and goes with it.
        const pid_t child = ::fork();
        if (child == 0) {
            int code = 2;
            const QByteArray target = nativePath(folder);
            if (::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                (bind ? ::mount(nativePath(mine).constData(), target.constData(), nullptr, MS_BIND, nullptr)
                      : ::mount("tmpfs", target.constData(), "tmpfs", 0, nullptr)) == 0 &&
                writeBytes(folder + QStringLiteral("/c.txt"), "c")) {
                const auto mounted = snapshot(folder);
                code = deleteImageFolder(m_root, folder) ? 1 : snapshot(folder) == mounted ? 0 : 3;
            }
            ::_exit(code);
        }
        int status = 0;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        if (WEXITSTATUS(status) == 2)
            QSKIP("no mount namespace here");
        QCOMPARE(WEXITSTATUS(status), 0);
        QCOMPARE(snapshot(folder), folderBefore);
        // The bound folder got the child's file, and kept every one.
        auto mineAfter = snapshot(mine);
        QCOMPARE(mineAfter.take(QStringLiteral("c.txt")), bind ? QByteArray("c") : QByteArray());
        QCOMPARE(mineAfter, mineBefore);
    }
};

QTEST_GUILESS_MAIN(tst_ImageFolders)
#include "tst_imagefolders.moc"
