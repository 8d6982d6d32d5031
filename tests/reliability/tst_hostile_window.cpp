// The main window on the hostile catalogues: start-up (with its cleanup of leftovers), every image of
// the list selected in turn with its pictures and markers, and the hit marks of a search, within a
// time bound that grows with the case's size.

#include "AreaFiles.h"
#include "HostileCases.h"
#include "ImageFolders.h"
#include "MessageBox.h"
#include "SearchScan.h"
#include "frmMain.h"

#include <QComboBox>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {} // namespace

class tst_HostileWindow : public QObject
{
    Q_OBJECT

    QTemporaryDir m_tmp;
    QString m_cases;
    QJsonArray m_manifest;

private slots:
    void initTestCase()
    {
        QVERIFY(m_tmp.isValid());
        m_cases = m_tmp.filePath(QStringLiteral("cases"));
        QString error;
        m_manifest = hostile::makeCases(m_cases, error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(!m_manifest.isEmpty());
    }
    void cleanupTestCase() { hostile::releaseCases(m_cases); }

    void everyCase_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<qint64>("bytes");
        for (const QJsonValue& v : std::as_const(m_manifest)) {
            const QJsonObject c = v.toObject();
            QTest::newRow(qPrintable(c.value(u"name").toString()))
                << c.value(u"name").toString() << qint64(c.value(u"bytes").toDouble());
        }
    }
    void everyCase()
    {
        QFETCH(QString, name);
        QFETCH(qint64, bytes);
        const QString root = m_cases + u'/' + name;
        kovra::MessageBoxRecorder messages; // nothing here may ask the user anything
        QElapsedTimer timer;
        timer.start();

        kovra::removeLeftovers(root);
        frmMain window(root);
        const QList<kovra::TitleEntry> entries = window.catalogue().imageList();
        QCOMPARE(window.findChild<QComboBox*>(QStringLiteral("Combo1"))->count(), entries.size());
        QCOMPARE(entries.size(), kovra::titleList(kovra::folderList(root), QString()).size());
        for (const kovra::TitleEntry& entry : entries) {
            window.selectImage(entry.folder);
            QCOMPARE(window.shownImage().folder(), entry.folder);
        }
        // The hit marks of every row of a search, as Show item places them.
        for (const kovra::SearchRow& row :
             kovra::searchFolders(window.catalogue().folderList(), kovra::Matcher(u"ペン"))) {
            window.selectImage(row.folder);
            for (int area : row.hitAreas)
                window.shownImage().showHitMark(area, kovra::readAreaGeometry(row.folder, area));
        }
        const qint64 ms = timer.elapsed();
        qInfo("%s: %lld ms", qPrintable(name), ms);
        QVERIFY2(ms < hostile::boundMs(bytes), qPrintable(QStringLiteral("took %1 ms").arg(ms)));
        QVERIFY(messages.requests().empty());
    }
};

QTEST_MAIN(tst_HostileWindow)
#include "tst_hostile_window.moc"
