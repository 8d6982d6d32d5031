#include "GifCheck.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace kovra::registration;

class tst_GifCheck : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString file(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir.filePath(name);
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write the fixture");
        return path;
    }

private slots:
    void typeCheck_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<TypeCheck>("expected");
        QTest::addColumn<bool>("contentRead");
        const QByteArray gif("GIF89a\x01\x00\x01\x00", 10);
        QTest::newRow("upper GIF") << "scan.GIF" << gif << TypeCheck::RefusedByExtension << false;
        QTest::newRow("lower gif") << "scan.gif" << QByteArray("\xff\xd8\xff") << TypeCheck::RefusedByExtension
                                   << false;
        QTest::newRow("mixed Gif") << "scan.Gif" << gif << TypeCheck::RefusedByExtension << false;
        QTest::newRow("gif without dot") << "scangif" << QByteArray("text") << TypeCheck::RefusedByExtension << false;
        QTest::newRow("gif named jpg") << "photo.jpg" << gif << TypeCheck::RefusedByContent << true;
        QTest::newRow("text starting GIF")
            << "notes.txt" << QByteArray("GIFT list") << TypeCheck::RefusedByContent << true;
        QTest::newRow("exactly GIF") << "three.bin" << QByteArray("GIF") << TypeCheck::RefusedByContent << true;
        QTest::newRow("text starting gif") << "notes.txt" << QByteArray("gift list") << TypeCheck::Accepted << true;
        QTest::newRow("GIF not at start") << "notes.txt" << QByteArray(" GIF") << TypeCheck::Accepted << true;
        QTest::newRow("0 bytes") << "empty.jpg" << QByteArray() << TypeCheck::Accepted << true;
        QTest::newRow("1 byte") << "one.jpg" << QByteArray("G") << TypeCheck::Accepted << true;
        QTest::newRow("2 bytes") << "two.jpg" << QByteArray("GI") << TypeCheck::Accepted << true;
        QTest::newRow("zero bytes stand in") << "zeros.bmp" << QByteArray("GI\0", 3) << TypeCheck::Accepted << true;
        QTest::newRow("jpeg") << "photo.jpeg" << QByteArray("\xff\xd8\xff\xe0") << TypeCheck::Accepted << true;
    }
    void typeCheck()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(TypeCheck, expected);
        QFETCH(bool, contentRead);
        const QString path = file(name, bytes);
        int reads = 0;
        const TypeCheck got = checkImageType(path, [&reads](const QString& p) {
            ++reads;
            return GifCkF(p);
        });
        QCOMPARE(got, expected);
        QCOMPARE(reads, contentRead ? 1 : 0); // a name refused by extension is never opened
    }

    // A file that cannot be opened counts as not GIF, so the drop goes on.
    void unreadableIsNotGif()
    {
        QVERIFY(!GifCkF(m_dir.filePath(QStringLiteral("gone.jpg"))));
        QVERIFY(!GifCkF(m_dir.path()));
        QCOMPARE(checkImageType(m_dir.filePath(QStringLiteral("gone.jpg"))), TypeCheck::Accepted);
    }

    // A pipe is no picture: it is never read, so neither one without a writer (whose open or read would
    // block for ever) nor one that offers "GIF" holds the check up; both count as not GIF.
    void pipeIsNeverRead_data()
    {
        QTest::addColumn<QByteArray>("offered"); // empty: no writer at all
        QTest::newRow("no writer") << QByteArray();
        QTest::newRow("offers GIF") << QByteArray("GIF89a");
    }
    void pipeIsNeverRead()
    {
        QFETCH(QByteArray, offered);
        const QString fifo = m_dir.filePath(QStringLiteral("pipe%1.jpg").arg(offered.size()));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QFile writer(fifo);
        if (!offered.isEmpty()) {
            // Opening the write end alone would block without a reader: open both ends through read-write.
            QVERIFY(writer.open(QIODevice::ReadWrite | QIODevice::Unbuffered));
            QCOMPARE(writer.write(offered), offered.size());
        }
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!GifCkF(fifo));
        QCOMPARE(checkImageType(fifo), TypeCheck::Accepted);
        QVERIFY(clock.elapsed() < 2000);
    }
};

QTEST_GUILESS_MAIN(tst_GifCheck)
#include "tst_gifcheck.moc"
