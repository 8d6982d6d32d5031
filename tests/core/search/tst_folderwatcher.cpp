#include "FolderWatcher.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

using namespace kovra;
using namespace Qt::Literals::StringLiterals;

namespace {

void write(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Append));
    QCOMPARE(f.write(bytes), bytes.size());
}

// More notifications than the kernel queues, all of them in one folder.
void flood(const QString& folder)
{
    QFile limit(u"/proc/sys/fs/inotify/max_queued_events"_s);
    QVERIFY(limit.open(QIODevice::ReadOnly));
    const int events = limit.readAll().trimmed().toInt();
    if (events <= 0 || events > (1 << 20))
        QSKIP("no usable limit of queued notifications");
    // Writes to two files by turns: the kernel merges a notification only with the one queued last.
    QFile one(folder + u"/flood1"_s), two(folder + u"/flood2"_s);
    QVERIFY(one.open(QIODevice::WriteOnly | QIODevice::Unbuffered) &&
            two.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    for (int i = 0; i < events; ++i) {
        QCOMPARE(one.write("x", 1), 1);
        QCOMPARE(two.write("x", 1), 1);
    }
}

} // namespace

class tst_folderwatcher : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void changeMarksTheFoldersItTouches_data();
    void changeMarksTheFoldersItTouches();
    void onlyWatchedPlainFoldersAreTrusted_data();
    void onlyWatchedPlainFoldersAreTrusted();
    void drainDuringReadKeepsItOld_data();
    void drainDuringReadKeepsItOld();
    void changesReachTheHandler();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_holder;
    QString folder(const QString& name) const { return m_holder + u'/' + name; }
};

// A holding folder with two image folders a and b and the name of a third one, c, not made yet.
void tst_folderwatcher::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_holder = m_dir->path() + u"/program"_s;
    for (const QString& name : {u"a"_s, u"b"_s}) {
        QVERIFY(QDir().mkpath(folder(name)));
        write(folder(name) + u"/IMAGE.INI"_s, "[ImageFile]\r\n");
        write(folder(name) + u"/Area0.INI"_s, "[Items]\r\n");
    }
}

void tst_folderwatcher::changeMarksTheFoldersItTouches_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("drain");         // false: only holder() looks again
    QTest::addColumn<QStringList>("marked"); // of a, b and c

    QTest::newRow("nothing") << u"nothing"_s << true << QStringList{};
    QTest::newRow("file written") << u"write"_s << true << QStringList{u"a"_s};
    QTest::newRow("file created") << u"create"_s << true << QStringList{u"a"_s};
    QTest::newRow("file removed") << u"remove"_s << true << QStringList{u"a"_s};
    QTest::newRow("folder renamed") << u"rename folder"_s << true << QStringList{u"a"_s};
    QTest::newRow("folder removed") << u"remove folder"_s << true << QStringList{u"a"_s};
    QTest::newRow("missing folder made") << u"make c"_s << true << QStringList{u"c"_s};
    QTest::newRow("holding folder renamed") << u"rename holder"_s << true << QStringList{u"a"_s, u"b"_s, u"c"_s};
    QTest::newRow("holding folder removed") << u"remove holder"_s << true << QStringList{u"a"_s, u"b"_s, u"c"_s};
    QTest::newRow("holding path names another folder")
        << u"replace holder"_s << false << QStringList{u"a"_s, u"b"_s, u"c"_s};
    QTest::newRow("queue overflow") << u"flood"_s << true << QStringList{u"a"_s, u"b"_s, u"c"_s};
}

void tst_folderwatcher::changeMarksTheFoldersItTouches()
{
    QFETCH(QString, change);
    QFETCH(bool, drain);
    QFETCH(QStringList, marked);
    FolderWatcher watcher;
    if (!watcher.notifies())
        QSKIP("no inotify");
    const FolderWatcher::Holder holder = watcher.holder(m_holder);
    QVERIFY(holder.trusted);
    const QStringList names = {u"a"_s, u"b"_s, u"c"_s};
    for (const QString& name : names) {
        const FolderWatcher::Watch watch = watcher.watch(folder(name), holder);
        QVERIFY(watch.trusted);
        watcher.commit(folder(name), watch, true);
        QVERIFY(watcher.isCurrent(folder(name)));
    }

    const QString a = folder(u"a"_s);
    if (change == u"write")
        write(a + u"/Area0.INI"_s, "Item0=pen\r\n");
    else if (change == u"create")
        write(a + u"/Area7.INI"_s, "[Items]\r\n");
    else if (change == u"remove")
        QVERIFY(QFile::remove(a + u"/Area0.INI"_s));
    else if (change == u"rename folder")
        QVERIFY(QDir().rename(a, folder(u"a2"_s)));
    else if (change == u"remove folder")
        QVERIFY(QDir(a).removeRecursively());
    else if (change == u"make c")
        QVERIFY(QDir().mkdir(folder(u"c"_s)));
    else if (change == u"rename holder")
        QVERIFY(QDir().rename(m_holder, m_holder + u"-old"_s));
    else if (change == u"remove holder")
        QVERIFY(QDir(m_holder).removeRecursively());
    else if (change == u"replace holder") {
        QVERIFY(QDir().rename(m_holder, m_holder + u"-old"_s));
        QVERIFY(QDir().mkdir(m_holder));
    } else if (change == u"flood")
        flood(a);

    if (drain)
        watcher.drain();
    else
        watcher.holder(m_holder);
    QStringList stale;
    for (const QString& name : names)
        if (!watcher.isCurrent(folder(name)))
            stale.append(name);
    QCOMPARE(stale, marked);
}

void tst_folderwatcher::onlyWatchedPlainFoldersAreTrusted_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("trusted"); // the watch
    QTest::addColumn<bool>("plain");
    QTest::addColumn<bool>("current"); // after the read

    QTest::newRow("plain folder") << u"plain"_s << true << true << true;
    QTest::newRow("missing folder") << u"missing"_s << true << false << true;
    QTest::newRow("folder is a link") << u"folder link"_s << false << false << false;
    QTest::newRow("area file is a link") << u"area link"_s << false << false << false;
    QTest::newRow("IMAGE.INI is a link, any case") << u"ini link"_s << false << false << false;
    QTest::newRow("picture is a link") << u"picture link"_s << true << false << true;
    QTest::newRow("holding folder missing") << u"no holder"_s << false << false << false;
    QTest::newRow("a file was not read") << u"unread"_s << true << true << false;
}

void tst_folderwatcher::onlyWatchedPlainFoldersAreTrusted()
{
    QFETCH(QString, kind);
    QFETCH(bool, trusted);
    QFETCH(bool, plain);
    QFETCH(bool, current);
    FolderWatcher watcher;
    if (!watcher.notifies())
        QSKIP("no inotify");
    const QString a = folder(u"a"_s);
    QString f = a;
    QString holderPath = m_holder;
    if (kind == u"missing")
        f = folder(u"c"_s);
    else if (kind == u"folder link")
        QVERIFY(QFile::link(a, f = folder(u"link"_s)));
    else if (kind == u"area link")
        QVERIFY(QFile::link(folder(u"b"_s) + u"/Area0.INI"_s, a + u"/Area3.INI"_s));
    else if (kind == u"ini link")
        QVERIFY(QFile::remove(a + u"/IMAGE.INI"_s) &&
                QFile::link(folder(u"b"_s) + u"/IMAGE.INI"_s, a + u"/image.ini"_s));
    else if (kind == u"picture link")
        QVERIFY(QFile::link(folder(u"b"_s) + u"/Area0.INI"_s, a + u"/photo.jpg"_s));
    else if (kind == u"no holder")
        f = (holderPath = m_dir->path() + u"/gone"_s) + u"/a"_s;

    const FolderWatcher::Holder holder = watcher.holder(holderPath);
    const FolderWatcher::Watch watch = watcher.watch(f, holder);
    QCOMPARE(watch.trusted, trusted);
    QCOMPARE(watch.plain, plain);
    watcher.commit(f, watch, kind != u"unread");
    watcher.drain();
    QCOMPARE(watcher.isCurrent(f), current);
}

// The live catalogue drains at any time: a notification drained between a read's watch and its commit
// leaves the folder not current, for a folder seen before (its watch mapped) and one new to the watcher.
// Without a drain in between the read is current, as before.
void tst_folderwatcher::drainDuringReadKeepsItOld_data()
{
    QTest::addColumn<bool>("known");
    QTest::addColumn<bool>("changeBetween");
    QTest::newRow("new, changed") << false << true;
    QTest::newRow("new, unchanged") << false << false;
    QTest::newRow("known, changed") << true << true;
    QTest::newRow("known, unchanged") << true << false;
}

void tst_folderwatcher::drainDuringReadKeepsItOld()
{
    QFETCH(bool, known);
    QFETCH(bool, changeBetween);
    FolderWatcher watcher;
    if (!watcher.notifies())
        QSKIP("no inotify");
    const FolderWatcher::Holder holder = watcher.holder(m_holder);
    const QString a = folder(u"a"_s);
    if (known) {
        watcher.commit(a, watcher.watch(a, holder), true);
        write(a + u"/Area0.INI"_s, "x");
        watcher.drain();
        QVERIFY(!watcher.isCurrent(a));
        watcher.forgetNotified();
    }
    const FolderWatcher::Watch w = watcher.watch(a, holder);
    if (changeBetween)
        write(a + u"/Area0.INI"_s, "y");
    watcher.drain(); // the notifier's drain, while the read is under way
    watcher.commit(a, w, true);
    QCOMPARE(watcher.isCurrent(a), !changeBetween);
    watcher.forgetNotified();
    watcher.commit(a, watcher.watch(a, holder), true);
    QVERIFY(watcher.isCurrent(a));
}

// Followed folders and the holding folder tell the handler what changed; an unfollowed one does not.
void tst_folderwatcher::changesReachTheHandler()
{
    FolderWatcher watcher;
    if (!watcher.notifies())
        QSKIP("no inotify");
    QList<FolderWatcher::Change> seen;
    watcher.setChangeHandler([&](const FolderWatcher::Change& c) { seen.append(c); });
    watcher.holder(m_holder);
    watcher.follow({folder(u"a"_s)});
    QVERIFY(watcher.isFollowed(folder(u"a"_s)));
    QVERIFY(watcher.notifyPromptly());
    write(folder(u"a"_s) + u"/Area3.INI"_s, "z");
    write(folder(u"b"_s) + u"/Area3.INI"_s, "z");
    QVERIFY(QDir().mkpath(folder(u"c"_s)));
    QTRY_VERIFY_WITH_TIMEOUT(seen.size() >= 2, 5000);
    watcher.drain();
    auto has = [&](const QString& f, const QString& name, bool isFolder) {
        return std::any_of(seen.begin(), seen.end(), [&](const FolderWatcher::Change& c) {
            return c.folder == f && c.name == name && c.isFolder == isFolder;
        });
    };
    QVERIFY(has(folder(u"a"_s), u"Area3.INI"_s, false));
    QVERIFY(has(m_holder, u"c"_s, true));
    QVERIFY(!std::any_of(seen.begin(), seen.end(),
                         [&](const FolderWatcher::Change& c) { return c.folder == folder(u"b"_s); }));
    watcher.follow({});
    QVERIFY(!watcher.isFollowed(folder(u"a"_s)));
}

QTEST_GUILESS_MAIN(tst_folderwatcher)
#include "tst_folderwatcher.moc"
