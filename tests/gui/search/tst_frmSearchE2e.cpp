// The real program on an X server: its search window finds "usb" in a fixture catalogue and a double-click
// on the first result shows the hit on the main window. The screenshot script does the driving and checks
// the picture's pixels; here it runs on the test's own display.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class tst_frmSearchE2e : public QObject
{
    Q_OBJECT

private slots:
    void searchAndShowInTheRealProgram();
};

void tst_frmSearchE2e::searchAndShowInTheRealProgram()
{
    const QString script = QDir::cleanPath(QStringLiteral(KOVRA_TEST_DATA_DIR "/../e2e/screenshot_search.sh"));
    QVERIFY(QFileInfo::exists(script));
    QTemporaryDir out;
    QVERIFY(out.isValid());
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KOVRA_IN_XVFB"), QStringLiteral("1")); // ctest already gives a display
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));                    // the program picks xcb itself
    p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("bash"),
            {script, qEnvironmentVariable("KOVRA_BIN_DIR"), out.filePath(QStringLiteral("s.png"))});
    QVERIFY(p.waitForFinished(90000));
    const QByteArray log = p.readAll();
    QVERIFY2(p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0, log.constData());
    QVERIFY(log.contains("ok: frame of area 2") && log.contains("ok: frame of area 5"));
}

QTEST_GUILESS_MAIN(tst_frmSearchE2e)
#include "tst_frmSearchE2e.moc"
