// Every kind of write on a disk that fails: full (a write stops half-way), a rename that fails, a file
// that cannot be read first, a real read-only bit, and a crash between the temporary file and the rename.
// The old files stay byte for byte, nothing half-written remains, and the next start removes only our
// own leftovers.

#include "AreaFiles.h"
#include "FailingFileOps.h"
#include "FileOps.h"
#include "FixtureCatalogue.h"
#include "ImageFolders.h"
#include "NativePath.h"
#include "WindowPosition.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace kovra;
using kovra::test::FailingFileOps;
using kovra::test::readBytes;
using kovra::test::writeBytes;
namespace fixture = kovra::test::fixture;

namespace {

// Every regular file under root, relative path -> bytes; links are not followed.
QMap<QString, QByteArray> snapshot(const QString& root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(root).relativeFilePath(path), readBytes(path));
    }
    return files;
}

QStringList leftovers(const QString& root)
{
    QStringList found;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (isTempName(QFileInfo(path).fileName()))
            found.append(QDir(root).relativeFilePath(path));
    }
    return found;
}

// The pid of a process that has ended (a child, reaped).
pid_t endedProcess()
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

struct Window : PositionedWindow
{
    double top = 1234, left = -56;
    double topTwips() const override { return top; }
    double leftTwips() const override { return left; }
    void setTopTwips(double t) override { top = t; }
    void setLeftTwips(double l) override { left = l; }
};

enum class Kind { Settings, Registration, Arrangement, Items };

} // namespace

Q_DECLARE_METATYPE(Kind)

class tst_FailingDisk : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_root;
    QString shelf() const { return m_root + u'/' + QString::fromUtf16(fixture::ShelfFolder); }
    QString settings() const { return m_root + QStringLiteral("/KOVRA.INI"); }

    // The files a kind of write replaces, all of them present before it.
    QStringList targets(Kind kind) const
    {
        switch (kind) {
        case Kind::Settings:
            return {settings()};
        case Kind::Registration:
            return {};
        case Kind::Arrangement: {
            QStringList all;
            for (int i = 0; i < AreaCount; ++i)
                all.append(areaFilePath(shelf(), i));
            return all;
        }
        case Kind::Items:
            return {areaFilePath(shelf(), 0)};
        }
        return {};
    }

    // Runs one write of the kind; true when it reported success.
    bool write(Kind kind) const
    {
        switch (kind) {
        case Kind::Settings:
            return saveWindowPosition(settings(), Window{}) == WriteStatus::Ok;
        case Kind::Registration: {
            const QString picture = m_tmp.filePath(QStringLiteral("drop/new.bmp"));
            writeBytes(picture, test::tinyBmp());
            return createImageFolder(m_root, picture, QStringLiteral("new.bmp"), QStringLiteral("新しい棚"),
                                     QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)))
                       .error == CreateError::None;
        }
        case Kind::Arrangement: {
            std::array<AreaMarker, AreaCount> markers{};
            for (int i = 0; i < AreaCount; ++i)
                markers[size_t(i)] = AreaMarker{i % 3 == 0, QRectF(i, 2 * i, 150, 187.5)};
            return saveArrangement(shelf(), markers) == WriteStatus::Ok;
        }
        case Kind::Items:
            return saveItems(shelf(), 0, {QStringLiteral("新しい電池"), QString(), QStringLiteral("ボールペン")}) ==
                   WriteStatus::Ok;
        }
        return false;
    }

    // The kinds of write that replace files which exist before them.
    static void replacingKinds()
    {
        QTest::addColumn<Kind>("kind");
        QTest::newRow("settings") << Kind::Settings;
        QTest::newRow("arrangement") << Kind::Arrangement;
        QTest::newRow("items") << Kind::Items;
    }

private slots:
    void init()
    {
        QVERIFY(m_tmp.isValid());
        m_root = m_tmp.filePath(QStringLiteral("Kovra"));
        QDir(m_root).removeRecursively();
        QVERIFY(QDir().mkpath(m_root));
        QVERIFY(fixture::create(m_root));
        // Every area file of the image exists, so an arrangement save replaces 30 old files.
        for (int i = 3; i < AreaCount; ++i)
            QVERIFY(writeBytes(areaFilePath(shelf(), i), "[Area]\r\nVisible=False\r\n[Items]\r\nItem0=old\r\n"));
    }
    void cleanup()
    {
        // Read-only bits of a failed row must not stop the next init from clearing the folder.
        QDirIterator it(m_root, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            QFile::setPermissions(it.next(), QFile::ReadOwner | QFile::WriteOwner);
    }

    // A failing disk at each step that can fail: the write reports failure and leaves every old file byte
    // for byte, with no temporary file and no half-made image folder.
    void failingStepKeepsOldFiles_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::addColumn<QString>("step");
        auto rows = [](const char* step, std::initializer_list<Kind> kinds) {
            for (Kind k : kinds) {
                const char* name = k == Kind::Settings       ? "settings"
                                   : k == Kind::Registration ? "registration"
                                   : k == Kind::Arrangement  ? "arrangement"
                                                             : "items";
                QTest::addRow("%s, %s fails", name, step) << k << QString::fromLatin1(step);
            }
        };
        const auto all = {Kind::Settings, Kind::Registration, Kind::Arrangement, Kind::Items};
        rows("write", all);  // a full disk: the temporary file stops half-way
        rows("rename", all); // the replacement itself
        rows("read", {Kind::Settings, Kind::Arrangement, Kind::Items}); // the old file cannot be read first
        rows("mkdir", {Kind::Registration});
        rows("copy", {Kind::Registration});
    }
    void failingStepKeepsOldFiles()
    {
        QFETCH(Kind, kind);
        QFETCH(QString, step);
        const auto before = snapshot(m_root);
        FailingFileOps ops;
        ops.failWhen = [&](const QString& op, const QString& path) {
            // Reads of the picture to register stay possible; the catalogue's files fail.
            return op == step && path.startsWith(m_root);
        };
        {
            const ScopedFileOps scoped(&ops);
            QVERIFY2(!write(kind), "a failed write reported success");
        }
        QVERIFY2(ops.count(step) > 0, "the failing step was never reached");
        QCOMPARE(leftovers(m_root), QStringList());
        QCOMPARE(snapshot(m_root), before);
        // The disk is back: the same write now succeeds, a leftover of the failure does not stand in its way.
        QVERIFY(write(kind));
        QCOMPARE(leftovers(m_root), QStringList());
    }

    // Real read-only bits (the Windows read-only attribute) on every file a write would replace: nothing
    // of them changes, even for root, and the write reports the failure.
    void readOnlyFilesStay_data() { replacingKinds(); }
    void readOnlyFilesStay()
    {
        QFETCH(Kind, kind);
        for (const QString& path : targets(kind))
            QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        const auto before = snapshot(m_root);
        QVERIFY(!write(kind));
        QCOMPARE(snapshot(m_root), before);
        QCOMPARE(leftovers(m_root), QStringList());
        for (const QString& path : targets(kind))
            QCOMPARE(QFile::permissions(path) & QFile::WriteOwner, QFileDevice::Permissions());
    }

    // One read-only area file among thirty: the arrangement save is all or nothing, so no file changes,
    // no temporary file remains, and it says it failed.
    void arrangementWithOneReadOnlyFile()
    {
        const QString locked = areaFilePath(shelf(), 4);
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner));
        const auto before = snapshot(m_root);
        QVERIFY(!write(Kind::Arrangement));
        QCOMPARE(snapshot(m_root), before);
        QCOMPARE(leftovers(m_root), QStringList());
    }

    // Each save reaches the disk in the order that survives a power cut: the new content is written and
    // flushed under a temporary name, renamed over the old file, and the folder is flushed after it. An
    // arrangement writes and flushes all its files before the first rename.
    void savesAreDurableInOrder_data() { replacingKinds(); }
    void savesAreDurableInOrder()
    {
        QFETCH(Kind, kind);
        FailingFileOps ops;
        {
            const ScopedFileOps scoped(&ops);
            QVERIFY(write(kind));
        }
        QStringList steps; // op and file name, reads left out
        for (const QString& line : ops.log) {
            const qsizetype space = line.indexOf(u' ');
            const QString op = line.left(space);
            if (op == u"write" || op == u"sync" || op == u"rename" || op == u"syncdir")
                steps.append(op + u' ' + QFileInfo(line.mid(space + 1)).fileName());
        }
        const QStringList files = targets(kind);
        QStringList expected;
        for (const QString& target : files) {
            const QString name = QFileInfo(target).fileName();
            const QString prefix = QStringLiteral("write .") + name + u'.';
            const auto it = std::find_if(steps.cbegin(), steps.cend(),
                                         [&](const QString& step) { return step.startsWith(prefix); });
            const qsizetype at = it == steps.cend() ? -1 : it - steps.cbegin();
            QVERIFY2(at >= 0, qPrintable(steps.join(u'\n')));
            const QString temp = steps[at].mid(6);
            QVERIFY(isTempName(temp));
            QCOMPARE(steps.value(at + 1), QStringLiteral("sync ") + temp);
            expected.append(QStringLiteral("write ") + temp);
            expected.append(QStringLiteral("sync ") + temp);
        }
        for (const QString& target : files)
            expected.append(QStringLiteral("rename ") + QFileInfo(target).fileName());
        expected.append(QStringLiteral("syncdir ") + QFileInfo(QFileInfo(files.first()).absolutePath()).fileName());
        QCOMPARE(steps, expected);
    }

    // Temporary names: hidden, beside the target, of our exact form, new for every write; names a user
    // may give a file never are of that form.
    void tempNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("ours");
        QTest::newRow("ours") << QStringLiteral(".Area0.INI.kovra-tmp-4242-0a1b2c3d") << true;
        QTest::newRow("ours, Japanese name") << QStringLiteral(".棚.jpg.kovra-tmp-7-ffffffff") << true;
        QTest::newRow("old suffix") << QStringLiteral("Area0.INI.kovra-tmp") << false;
        QTest::newRow("photo") << QStringLiteral("photo.kovra-tmp") << false;
        QTest::newRow("not hidden") << QStringLiteral("Area0.INI.kovra-tmp-4242-0a1b2c3d") << false;
        QTest::newRow("upper-case hex") << QStringLiteral(".a.kovra-tmp-4242-0A1B2C3D") << false;
        QTest::newRow("short random") << QStringLiteral(".a.kovra-tmp-4242-0a1b2c3") << false;
        QTest::newRow("no pid") << QStringLiteral(".a.kovra-tmp--0a1b2c3d") << false;
        QTest::newRow("pid 0") << QStringLiteral(".a.kovra-tmp-0-0a1b2c3d") << false;
        QTest::newRow("more after") << QStringLiteral(".a.kovra-tmp-42-0a1b2c3d.txt") << false;
        QTest::newRow("no target name") << QStringLiteral("..kovra-tmp-42-0a1b2c3d") << false;
    }
    void tempNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, ours);
        QCOMPARE(isTempName(name), ours);
    }
    void everyWriteHasItsOwnTempFile()
    {
        FailingFileOps ops;
        {
            const ScopedFileOps scoped(&ops);
            QVERIFY(write(Kind::Items));
            QVERIFY(write(Kind::Items));
        }
        QStringList temps;
        for (const QString& line : ops.log)
            if (line.startsWith(QStringLiteral("write ")))
                temps.append(line.mid(6));
        QCOMPARE(temps.size(), 2);
        QVERIFY(temps[0] != temps[1]);
        for (const QString& temp : temps) {
            QCOMPARE(QFileInfo(temp).absolutePath(), shelf());
            QVERIFY(QFileInfo(temp).fileName().startsWith(QStringLiteral(".Area0.INI.kovra-tmp-") +
                                                          QString::number(::getpid()) + u'-'));
        }
    }

    // A read-only file survives the deletion of its image (as on the earlier platform): it and its folder
    // stay, the deletion says it failed; the other files go.
    void deletionKeepsReadOnlyFile()
    {
        const QString locked = shelf() + QStringLiteral("/shelf.jpg");
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::ReadGroup));
        const QByteArray picture = readBytes(locked);
        QVERIFY(!deleteImageFolder(m_root, shelf()));
        QVERIFY(QFileInfo(shelf()).isDir());
        QCOMPARE(readBytes(locked), picture);
        QCOMPARE(QDir(shelf()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("shelf.jpg")});
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(deleteImageFolder(m_root, shelf()));
        QVERIFY(!QFileInfo::exists(shelf()));
    }

    // An image folder whose name holds code page 932 bytes (not UTF-8) is deleted, its files first.
    void deletionOfFolderNamedInCodePage()
    {
        const QByteArray root = nativePath(m_root);
        const QString folder = fromNativePath(root + "/\x83\x5c\x83\x74\x83\x40");
        const QByteArray native = nativePath(folder);
        QVERIFY(folder.contains(QChar(0xDC83)));
        QCOMPARE(::mkdir(native.constData(), 0755), 0);
        for (const char* name : {"/IMAGE.INI", "/\x8a\x4f.jpg"}) {
            FILE* f = std::fopen((native + name).constData(), "w");
            QVERIFY(f);
            std::fclose(f);
        }
        QVERIFY(deleteImageFolder(m_root, folder));
        struct stat st;
        QCOMPARE(::lstat(native.constData(), &st), -1);
    }

    // Pictures are opened so that nothing can block: a FIFO (no writer), a folder or a missing file give
    // nothing at once; a regular file reads as usual, with a descriptor that blocks again.
    void openRegularFileNeverBlocks()
    {
        const QString fifo = m_tmp.filePath(QStringLiteral("photo.jpg"));
        QFile::remove(fifo);
        QCOMPARE(::mkfifo(fifo.toLocal8Bit().constData(), 0644), 0);
        QVERIFY(!openRegularFile(fifo));
        QVERIFY(!openRegularFile(shelf()));
        QVERIFY(!openRegularFile(m_tmp.filePath(QStringLiteral("missing.jpg"))));
        const auto file = openRegularFile(shelf() + QStringLiteral("/shelf.jpg"));
        QVERIFY(file);
        QCOMPARE(file->readAll(), readBytes(shelf() + QStringLiteral("/shelf.jpg")));
        QCOMPARE(file->fileName(), shelf() + QStringLiteral("/shelf.jpg"));
        // A copy from the FIFO fails at once and leaves nothing behind.
        const QString target = m_tmp.filePath(QStringLiteral("copy.jpg"));
        QVERIFY(!FileOps::current().copyFile(fifo, target));
        QVERIFY(!QFileInfo::exists(target));
    }

    // A copy streams in chunks, reports its progress between them, and never replaces an existing file.
    void copyStreamsWithProgress()
    {
        QByteArray data(5 * 1024 * 1024 + 17, Qt::Uninitialized);
        for (qsizetype i = 0; i < data.size(); ++i)
            data[i] = char(i * 7 + i / 4096);
        const QString from = m_tmp.filePath(QStringLiteral("big.bmp"));
        const QString to = m_tmp.filePath(QStringLiteral("big copy.bmp"));
        QFile::remove(to);
        QVERIFY(writeBytes(from, data));
        QList<qint64> seen;
        QVERIFY(FileOps::current().copyFile(from, to, [&](qint64 done, qint64 total) {
            QCOMPARE(total, data.size());
            seen.append(done);
        }));
        QCOMPARE(readBytes(to), data);
        QVERIFY2(seen.size() >= 5, "the progress was not reported between chunks");
        QVERIFY(std::is_sorted(seen.cbegin(), seen.cend()));
        QCOMPARE(seen.last(), data.size());
        QVERIFY(writeBytes(to, "kept"));
        QVERIFY(!FileOps::current().copyFile(from, to));
        QCOMPARE(readBytes(to), QByteArray("kept"));
        // A registration hands its window the same progress.
        qint64 reported = 0;
        const CreateResult made = createImageFolder(m_root, from, QStringLiteral("big.bmp"), QStringLiteral("大"),
                                                    QDateTime(QDate(2024, 1, 2), QTime(3, 4, 5)),
                                                    [&](qint64 done, qint64) { reported = done; });
        QCOMPARE(made.error, CreateError::None);
        QCOMPARE(reported, data.size());
    }

    // A crash between the temporary file and the rename (the rename fails and so does every removal, as
    // if the process had died there): the old files are whole, and the next start removes the temporary
    // files of our naming, in the program folder and in the image folders, and nothing else.
    void crashBeforeRenameThenNextStart_data()
    {
        QTest::addColumn<Kind>("kind");
        QTest::newRow("settings") << Kind::Settings;
        QTest::newRow("arrangement") << Kind::Arrangement;
        QTest::newRow("items") << Kind::Items;
        QTest::newRow("registration") << Kind::Registration;
    }
    void crashBeforeRenameThenNextStart()
    {
        QFETCH(Kind, kind);
        const QStringList userFiles = {m_root + QStringLiteral("/notes.tmp"),
                                       m_root + QStringLiteral("/KOVRA.INI.bak"),
                                       shelf() + QStringLiteral("/Area0.INI.kovra-tmp.txt"),
                                       shelf() + QStringLiteral("/photo.KOVRA-TMP"),
                                       shelf() + QStringLiteral("/photo.kovra-tmp"),
                                       shelf() + QStringLiteral("/Area0.INI.kovra-tmp"),
                                       shelf() + QStringLiteral("/.Area1.INI.kovra-tmp-1-0a1b2c3d.bak"),
                                       m_root + QStringLiteral("/manual/page.kovra-tmpl")};
        for (const QString& path : userFiles)
            QVERIFY(writeBytes(path, "the user's own"));
        QVERIFY(QDir(shelf()).mkdir(QStringLiteral("kept.kovra-tmp"))); // a folder is never ours to remove
        const auto before = snapshot(m_root);

        FailingFileOps ops;
        ops.failWhen = [&](const QString& op, const QString&) {
            return op == u"rename" || op == u"remove" || op == u"rmdir";
        };
        {
            const ScopedFileOps scoped(&ops);
            QVERIFY(!write(kind));
        }
        // The old files are whole; what the crash left is ours alone.
        auto after = snapshot(m_root);
        const QStringList left = leftovers(m_root);
        QVERIFY2(!left.isEmpty() || kind == Kind::Registration, "the crash left no temporary file to clean");
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));

        // A writer that still runs (here: this process) keeps its temporary files.
        removeLeftovers(m_root);
        QCOMPARE(leftovers(m_root), left);
        // The crashed writer is gone: its files carry a process id that no longer runs.
        const QString ownPid = u'-' + QString::number(::getpid()) + u'-';
        const QString deadPid = u'-' + QString::number(endedProcess()) + u'-';
        for (const QString& name : left) {
            const QString path = m_root + u'/' + name;
            QVERIFY(QFile::rename(path, QString(path).replace(ownPid, deadPid)));
        }
        removeLeftovers(m_root); // the next start
        QCOMPARE(leftovers(m_root), QStringList());
        after = snapshot(m_root);
        for (auto it = after.cbegin(); it != after.cend(); ++it)
            QVERIFY2(before.contains(it.key()) || kind == Kind::Registration, qPrintable(it.key()));
        for (auto it = before.cbegin(); it != before.cend(); ++it)
            QVERIFY2(after.value(it.key()) == it.value(), qPrintable(it.key()));
        for (const QString& path : userFiles)
            QCOMPARE(readBytes(path), QByteArray("the user's own"));
        QVERIFY(QFileInfo(shelf() + QStringLiteral("/kept.kovra-tmp")).isDir());
    }
};

QTEST_GUILESS_MAIN(tst_FailingDisk)
#include "tst_failingdisk.moc"
