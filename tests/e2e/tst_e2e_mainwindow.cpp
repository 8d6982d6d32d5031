// The real program in a program folder of its own, on an X server: it comes up with the first image
// of the fixture, ends only through its confirmation, and keeps the position of its outer frame in KOVRA.INI.
#include "ProfileFile.h"
#include "XDesktop.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

using kovra::e2e::findWindow;
using kovra::e2e::framePosition;
using kovra::e2e::xdotool;

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

class tst_E2eMainWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString stage()
    {
        const QString root = m_dir.path();
        const QString exe = root + QStringLiteral("/kovra");
        if (!QFile::exists(exe))
            QFile::copy(qEnvironmentVariable("KOVRA_BIN_DIR") + QStringLiteral("/kovra"), exe);
        // Two images, the first one magenta; a manual folder that must stay out of the list.
        for (const auto& [name, colour, title] :
             {std::tuple{"20230101000000", QColor(Qt::magenta), QByteArray("\x96\x7b\x92\x49")}, // 本棚
              std::tuple{"20230202000000", QColor(Qt::blue), QByteArray("Box")}}) {
            const QString folder = root + QLatin1Char('/') + QLatin1String(name);
            QDir().mkpath(folder);
            QImage image(700, 520, QImage::Format_RGB32);
            image.fill(colour);
            image.save(folder + QStringLiteral("/p.png"));
            writeFile(folder + QStringLiteral("/IMAGE.INI"), "[ImageFile]\r\nPath=" + folder.toLocal8Bit() +
                                                                 "\r\nFilename=" + folder.toLocal8Bit() +
                                                                 "/p.png\r\nTitle=" + title + "\r\n");
        }
        QDir().mkpath(root + QStringLiteral("/manual"));
        return exe;
    }

    // Presses the exit button and answers the confirmation with the given key (y or n).
    void closeThroughConfirmation(const QString& id, const char* key)
    {
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), id, QStringLiteral("628"),
                 QStringLiteral("36"), QStringLiteral("click"), QStringLiteral("1")});
        const QString box = findWindow(QStringLiteral("お疲れ様でした"));
        QVERIFY2(!box.isEmpty(), "no confirmation");
        xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), box});
        xdotool({QStringLiteral("key"), QStringLiteral("--window"), box, QString::fromLatin1(key)});
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(!qEnvironmentVariableIsEmpty("DISPLAY"), "needs an X server (xvfb-run)");
        QVERIFY(!QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty());
    }

    void startsShowsTheFirstImageAndKeepsItsPosition()
    {
        const QString exe = stage();
        QVERIFY(QFile::exists(exe));
        QProcess kovra;
        kovra.setProgram(exe);
        kovra.setWorkingDirectory(QDir::rootPath()); // the program folder is where the executable is
        kovra.start();
        QVERIFY(kovra.waitForStarted());

        const QString id = findWindow(QStringLiteral("Kovra!"));
        QVERIFY2(!id.isEmpty(), "the main window did not come up");
        QCOMPARE(framePosition(id), QPoint(20, 20)); // 300 twips without a settings file

        // The first image of the list is the one shown: its picture fills the picture box.
        QTRY_COMPARE_WITH_TIMEOUT(
            QGuiApplication::primaryScreen()->grabWindow(id.toULongLong()).toImage().pixelColor(300, 300),
            QColor(Qt::magenta), 5000);

        xdotool({QStringLiteral("windowmove"), id, QStringLiteral("100"), QStringLiteral("150")});
        QTRY_COMPARE(framePosition(id), QPoint(100, 150));

        closeThroughConfirmation(id, "n");
        QTest::qWait(500);
        QCOMPARE(kovra.state(), QProcess::Running);
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("KOVRA.INI"))));

        closeThroughConfirmation(id, "y");
        QVERIFY(kovra.waitForFinished(10000));
        QCOMPARE(kovra.exitCode(), 0);
        const auto ini = kovra::ProfileFile::load(m_dir.filePath(QStringLiteral("KOVRA.INI")));
        QCOMPARE(ini.read(u"Window", u"Top", u"", 26), QStringLiteral("2250"));
        QCOMPARE(ini.read(u"Window", u"Left", u"", 26), QStringLiteral("1500"));

        // Started again, it comes back where it was left.
        QProcess again;
        again.setProgram(exe);
        again.start();
        QVERIFY(again.waitForStarted());
        const QString id2 = findWindow(QStringLiteral("Kovra!"));
        QVERIFY(!id2.isEmpty());
        QCOMPARE(framePosition(id2), QPoint(100, 150));
        closeThroughConfirmation(id2, "y");
        QVERIFY(again.waitForFinished(10000));
    }
};

QTEST_MAIN(tst_E2eMainWindow)
#include "tst_e2e_mainwindow.moc"
