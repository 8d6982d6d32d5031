// The pictures of one drop, choice or paste, taken in turn, without any window: what a folder gives,
// which picture is current, its position, the title proposed for it and when the registration is done.
#include "FixtureCatalogue.h"
#include "RegistrationQueue.h"

#include <QDir>
#include <QTest>
#include <sys/stat.h>

using namespace kovra;
using namespace kovra::test;
using namespace Qt::StringLiterals;

namespace {

// The paths of the queue from its current picture on, relative to root; the queue is used up.
QStringList drain(RegistrationQueue queue, const QString& root)
{
    QStringList paths;
    for (; !queue.atEnd(); queue.skip())
        paths << QDir(root).relativeFilePath(queue.currentPath());
    return paths;
}

} // namespace

class tst_RegistrationQueue : public QObject
{
    Q_OBJECT

private slots:
    void pictureNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("picture");
        for (const char* name : {"a.jpg", "a.JPG", "a.Jpeg", "a.jpe", "a.jfif", "a.png", "a.bmp", "a.webp", "a.HEIC",
                                 "a.heif", "a.avif", "x.y.png"})
            QTest::newRow(name) << QString::fromLatin1(name) << true;
        for (const char* name : {"a.gif", "a.txt", "jpg", "a.jpg.txt", "a.", "a.pngx", "apng"})
            QTest::newRow(name) << QString::fromLatin1(name) << false;
    }
    void pictureNames()
    {
        QFETCH(QString, name);
        QFETCH(bool, picture);
        QCOMPARE(RegistrationQueue::isPictureName(name), picture);
    }

    // Files as given, in their order, whatever they are; a folder by its pictures directly inside, in name
    // order, each folder's GIF files counted instead of taken.
    void queueOfPaths()
    {
        CatalogueBuilder dir; // any folder will do
        const QByteArray png = picture(u"p.png"_s, QSize(2, 2), Qt::red);
        const QString photos = dir.makeFolder(u"photos"_s);
        for (const char* name : {"b.jpg", "A.png", "a.png", "C.BMP", "c10.webp", "c2.webp"})
            dir.write(u"photos/"_s + QString::fromLatin1(name), png);
        dir.write(u"photos/.hidden.png"_s, png);           // the desktop's or another program's
        dir.write(u"photos/notes.txt"_s, "notes");         // no picture name
        dir.write(u"photos/anim.gif"_s, "GIF89a");         // GIF by name
        dir.write(u"photos/Anim2.GIF"_s, png);             // GIF by name, whatever it holds
        dir.write(u"photos/fake.jpg"_s, "GIF89a\x01\x00"); // GIF by content
        dir.write(u"photos/sub/inner.png"_s, png);         // subfolders are not entered
        dir.makeFolder(u"photos/folder.png"_s);            // nor a folder with a picture name
        QVERIFY(::mkfifo(QFile::encodeName(photos + u"/pipe.png"_s).constData(), 0600) == 0); // never opened
        const QString empty = dir.makeFolder(u"empty"_s);
        const QString gifsOnly = dir.makeFolder(u"gifs"_s);
        dir.write(u"gifs/a.gif"_s, "GIF89a");
        dir.write(u"loose.txt"_s, "not a picture, but given by name");

        const RegistrationQueue queue = RegistrationQueue::ofPaths(
            {dir.folder(u"loose.txt"_s), photos + u'/', QString(), empty, gifsOnly, dir.folder(u"photos/b.jpg"_s)});
        QCOMPARE(drain(queue, dir.path()),
                 (QStringList{u"loose.txt"_s, u"photos/A.png"_s, u"photos/a.png"_s, u"photos/b.jpg"_s,
                              u"photos/C.BMP"_s, u"photos/c10.webp"_s, u"photos/c2.webp"_s, u"photos/b.jpg"_s}));
        QCOMPARE(queue.folders().size(), 3);
        QCOMPARE(queue.folders()[0].pictures, 6);
        QCOMPARE(queue.folders()[0].gifs, 3);
        QCOMPARE(queue.folders()[1].path, empty);
        QCOMPARE(queue.folders()[1].pictures, 0);
        QCOMPARE(queue.folders()[1].gifs, 0);
        QCOMPARE(queue.folders()[2].pictures, 0);
        QCOMPARE(queue.folders()[2].gifs, 1);
        QVERIFY(RegistrationQueue::ofPaths({QString(), empty}).isEmpty());
    }

    // Through a batch of three: the position of each, the title proposed whatever was typed, and the end
    // once the last is done with, complete only when one was registered.
    void batchInTurn_data()
    {
        QTest::addColumn<QString>("steps"); // r: registered, s: skipped
        QTest::addColumn<bool>("complete");
        QTest::newRow("all registered") << u"rrr"_s << true;
        QTest::newRow("middle skipped") << u"rsr"_s << true;
        QTest::newRow("only the last registered") << u"ssr"_s << true;
        QTest::newRow("all skipped") << u"sss"_s << false;
    }
    void batchInTurn()
    {
        QFETCH(QString, steps);
        QFETCH(bool, complete);
        RegistrationQueue queue = RegistrationQueue::ofPaths({u"/p/kitchen.jpg"_s, u"/p/a.b.png"_s, u"/p/box"_s});
        const QStringList titles{u"kitchen"_s, u"a.b"_s, u"box"_s};
        QVERIFY(queue.isBatch());
        for (int i = 0; i < 3; ++i) {
            QVERIFY(!queue.isComplete());
            QCOMPARE(queue.number(), i + 1);
            QCOMPARE(queue.positionText(), QString::number(i + 1) + u"/3"_s);
            QCOMPARE(queue.proposedTitle(u"typed"_s), std::optional<QString>(titles[i]));
            if (steps[i] == u'r')
                queue.registered();
            else
                queue.skip();
        }
        QVERIFY(queue.atEnd());
        QCOMPARE(queue.number(), 0);
        QVERIFY(queue.currentPath().isEmpty());
        QVERIFY(queue.positionText().isEmpty());
        QCOMPARE(queue.proposedTitle(QString()), std::nullopt);
        QCOMPARE(queue.isComplete(), complete);
        QCOMPARE(queue.registeredCount(), int(steps.count(u'r')));
        queue.registered(); // nothing left to register
        QCOMPARE(queue.registeredCount(), int(steps.count(u'r')));
    }

    // One picture: no position, and its name proposed only into an empty title box; a pasted picture has
    // no name of the user's to propose.
    void singlePicture_data()
    {
        QTest::addColumn<bool>("pasted");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<std::optional<QString>>("proposed");
        QTest::newRow("empty box") << false << QString() << std::optional<QString>(u"shelf"_s);
        QTest::newRow("typed before") << false << u"本棚"_s << std::optional<QString>();
        QTest::newRow("pasted") << true << QString() << std::optional<QString>();
    }
    void singlePicture()
    {
        QFETCH(bool, pasted);
        QFETCH(QString, typed);
        QFETCH(std::optional<QString>, proposed);
        RegistrationQueue queue = pasted ? RegistrationQueue::ofPasted(u"/tmp/x/20240102030405.png"_s)
                                         : RegistrationQueue::ofPaths({u"/p/shelf.jpeg"_s});
        QVERIFY(!queue.isBatch());
        QVERIFY(queue.positionText().isEmpty());
        QCOMPARE(queue.proposedTitle(typed), proposed);
        queue.registered();
        QVERIFY(queue.isComplete());
    }
};

QTEST_GUILESS_MAIN(tst_RegistrationQueue)
#include "tst_registrationqueue.moc"
