#include "CatalogueGenerator.h"
#include "CliRunner.h"
#include "MessageBox.h"
#include "Numbers.h"
#include "frmMain.h"
#include "frmSearch.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

// The window's rows on a generated catalogue must be exactly those of kovra-cli search, column by
// column; both are timed, and the ratio window / kovra-cli printed.
// KOVRA_SEARCH_TIMING_ROOT names an existing catalogue to use instead (the benchmark's 10,000 images).
class tst_frmSearchTiming : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sameRowsAsCli_data();
    void sameRowsAsCli();

private:
    QTemporaryDir m_dir;
    QString m_root;
};

void tst_frmSearchTiming::initTestCase()
{
    m_root = qEnvironmentVariable("KOVRA_SEARCH_TIMING_ROOT");
    if (m_root.isEmpty()) {
        QVERIFY(m_dir.isValid());
        m_root = m_dir.path();
        QString error;
        QVERIFY2(kovra::bench::generateCatalogue(m_root, 300, 7, &error), qPrintable(error));
    }
}

void tst_frmSearchTiming::sameRowsAsCli_data()
{
    QTest::addColumn<QString>("text");
    // The benchmark's texts.
    QTest::newRow("ペン") << QStringLiteral("ペン");
    QTest::newRow("電池") << QStringLiteral("電池");
    QTest::newRow("usb") << QStringLiteral("usb");
}

void tst_frmSearchTiming::sameRowsAsCli()
{
    QFETCH(QString, text);
    const QStringList args{QStringLiteral("--root"), m_root, QStringLiteral("search"), text};
    auto runCli = [&](QString* out) {
        kovra::test::CliOptions options;
        options.timeoutMs = 120000;
        const kovra::test::CliRun r = kovra::test::runCli(args, options);
        QVERIFY(r.normalExit);
        *out = r.out;
    };
    QString cliOut;
    runCli(&cliOut); // warms the page cache for both

    kovra::MessageBoxRecorder boxes;
    frmMain main(m_root);
    main.setWindowFactory(frmMain::Window::Search, [m = &main] { return new frmSearch(m->catalogue(), *m); });
    main.show();
    auto* w = qobject_cast<frmSearch*>(main.openWindow(frmMain::Window::Search));
    QVERIFY(QTest::qWaitForWindowExposed(w));
    w->findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(text);
    auto* start = w->findChild<QToolButton*>(QStringLiteral("Command5"));

    QElapsedTimer clock;
    clock.start();
    start->click();
    const qint64 windowNs = clock.nsecsElapsed();
    clock.restart();
    runCli(&cliOut);
    const qint64 cliNs = clock.nsecsElapsed();

    QStringList expected = cliOut.split(u'\n', Qt::SkipEmptyParts);
    QVERIFY(!expected.isEmpty()); // each text is one the generator writes
    QStringList shown;
    auto cell = [&](const char* name, int r) {
        const auto* l = w->findChild<QListView*>(QString::fromLatin1(name));
        return l->model()->index(r, l->modelColumn()).data().toString();
    };
    for (int r = 0; r < w->findChild<QListView*>(QStringLiteral("List1"))->model()->rowCount(); ++r) {
        const QString position = cell("List3", r);
        const QString folder = main.catalogue().folderList().value(kovra::numbers::toInt16(position).value_or(-1));
        shown << QStringList{position, folder.mid(folder.lastIndexOf(u'/') + 1), cell("List1", r), cell("List4", r),
                             cell("List2", r)}
                     .join(u'\t');
    }
    QCOMPARE(shown, expected);
    QVERIFY(boxes.requests().empty());
    qInfo("%s: %lld folders, %lld rows; window %.1f ms, kovra-cli %.1f ms, ratio %.2f", qPrintable(text),
          qlonglong(main.catalogue().folderList().size()), qlonglong(shown.size()), double(windowNs) / 1e6,
          double(cliNs) / 1e6, double(windowNs) / double(cliNs));
}

QTEST_MAIN(tst_frmSearchTiming)
#include "tst_frmSearchTiming.moc"
