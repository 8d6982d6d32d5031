// Several writers of one file at once, as separate processes (kovra-cli) and the program's own writer on a
// thread: each sets its own key, many times over. Every value must be kept, and every writer's exit status
// must tell what happened to its own write.

#include "CliRunner.h"
#include "ProfileFile.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

using namespace kovra;

class tst_WriteRace : public QObject
{
    Q_OBJECT

private slots:
    void everyWriterKeepsItsValue()
    {
        constexpr int CliWriters = 3;
        constexpr int Rounds = 30;
        const QString cli = test::cliProgram();
        QVERIFY2(QFileInfo(cli).isExecutable(), qPrintable(cli));
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString path = tmp.filePath(QStringLiteral("Area0.INI"));
        int lost = 0, misreported = 0, writes = 0;
        for (int round = 0; round < Rounds; ++round) {
            QFile::remove(path);
            {
                QFile f(path);
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write("[Area]\r\nVisible=True\r\n");
            }
            auto value = [round](int writer) { return QStringLiteral("r%1w%2").arg(round).arg(writer); };
            std::vector<std::unique_ptr<QProcess>> processes;
            for (int w = 0; w < CliWriters; ++w) {
                processes.push_back(std::make_unique<QProcess>());
                test::startCli(*processes.back(),
                               {QStringLiteral("--root"), tmp.path(), QStringLiteral("ini"), QStringLiteral("set"),
                                path, QStringLiteral("Items"), QStringLiteral("Key%1").arg(w), value(w)});
            }
            // The program's own writer joins in while the processes run.
            WriteStatus own = WriteStatus::Failed;
            for (auto& p : processes)
                QVERIFY(p->waitForStarted());
            std::thread program([&] {
                own = writeProfileString(u"Items", QStringLiteral("Key%1").arg(CliWriters), value(CliWriters), path);
            });
            std::vector<int> exits;
            for (auto& p : processes) {
                QVERIFY(p->waitForFinished(30000));
                exits.push_back(p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1);
            }
            program.join();
            exits.push_back(own == WriteStatus::Ok ? 0 : 1);
            const ProfileFile f = ProfileFile::load(path);
            for (int w = 0; w <= CliWriters; ++w) {
                ++writes;
                const bool landed = f.value(u"Items", QStringLiteral("Key%1").arg(w)) == value(w);
                const bool saidOk = exits[size_t(w)] == 0;
                lost += saidOk && !landed ? 1 : 0;
                misreported += saidOk != landed ? 1 : 0;
                QVERIFY2(landed, qPrintable(QStringLiteral("round %1: writer %2 lost its value").arg(round).arg(w)));
            }
            QCOMPARE(f.value(u"Area", u"Visible"), QStringLiteral("True"));
            QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Area0.INI")});
        }
        qInfo("writers %d (%d kovra-cli, 1 in-process), rounds %d, writes %d, values lost %d, misreports %d",
              CliWriters + 1, CliWriters, Rounds, writes, lost, misreported);
        QCOMPARE(lost, 0);
        QCOMPARE(misreported, 0);
    }
};

QTEST_GUILESS_MAIN(tst_WriteRace)
#include "tst_writerace.moc"
