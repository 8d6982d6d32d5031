#include "FixtureCatalogue.h"
#include "MessageBox.h"
#include "ShellOpen.h"
#include "frmMain.h"

#include <QTest>
#include <QToolButton>

using kovra::MessageBox;
using kovra::MessageBoxRecorder;
using kovra::test::CatalogueBuilder;
namespace shell = kovra::shell;

namespace {

// Replaces the desktop launcher for one test and counts its calls.
class FakeLauncher
{
public:
    explicit FakeLauncher(int result)
    {
        m_previous = shell::setLauncher([this, result](const QString& file, const QString&, int) {
            files.append(file);
            return result;
        });
    }
    ~FakeLauncher() { shell::setLauncher(std::move(m_previous)); }
    QStringList files;

private:
    shell::Launcher m_previous;
};

} // namespace

class tst_ShellOpen : public QObject
{
    Q_OBJECT

private slots:
    void errorTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << QStringLiteral("システムメモリが不足しています。");
        QTest::newRow("2") << 2 << QStringLiteral("ファイルが見つかりません。");
        QTest::newRow("3") << 3 << QStringLiteral("ファイルのパスが無効です。");
        QTest::newRow("8") << 8 << QStringLiteral("メモリが不足しています。");
        QTest::newRow("5") << 5 << QStringLiteral(" 5:起動エラー ファイルのパスを確認してください。 ");
        QTest::newRow("31") << 31 << QStringLiteral(" 31:起動エラー ファイルのパスを確認してください。 ");
        QTest::newRow("negative") << -1 << QStringLiteral("-1:起動エラー ファイルのパスを確認してください。 ");
    }
    void errorTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(shell::errorText(code), text);
    }

    // The manual button: one press, at most one message, the shell's codes for each failure.
    void manualButton_data()
    {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<bool>("page");
        QTest::addColumn<int>("launcherResult");
        QTest::addColumn<int>("launches");
        QTest::addColumn<QString>("message"); // empty: none
        QTest::newRow("present") << true << true << shell::Started << 1 << QString();
        QTest::newRow("page missing") << true << false << shell::Started << 0
                                      << QStringLiteral("ファイルが見つかりません。");
        QTest::newRow("folder missing") << false << false << shell::Started << 0
                                        << QStringLiteral("ファイルのパスが無効です。");
        QTest::newRow("no program for HTML") << true << true << shell::NoAssociation << 1
                                             << QStringLiteral(" 31:起動エラー ファイルのパスを確認してください。 ");
    }
    void manualButton()
    {
        QFETCH(bool, folder);
        QFETCH(bool, page);
        QFETCH(int, launcherResult);
        QFETCH(int, launches);
        QFETCH(QString, message);
        CatalogueBuilder fx;
        if (folder)
            fx.makeFolder(QStringLiteral("manual"));
        if (page)
            fx.write(QStringLiteral("manual/manual.htm"), "<html></html>");
        FakeLauncher launcher(launcherResult);
        MessageBoxRecorder boxes;
        frmMain w(fx.path());
        w.findChild<QToolButton*>(QStringLiteral("Command3"))->click();
        QCOMPARE(launcher.files.size(), launches);
        if (launches)
            QCOMPARE(launcher.files[0], fx.folder(QStringLiteral("manual/manual.htm")));
        if (message.isEmpty()) {
            QVERIFY(boxes.requests().empty());
            return;
        }
        QCOMPARE(boxes.requests().size(), size_t(1));
        const auto& r = boxes.requests()[0];
        QCOMPARE(r.text, message);
        QCOMPARE(r.caption, QStringLiteral("Kovra"));
        QVERIFY(r.icon == MessageBox::Icon::Critical && r.buttons == MessageBox::Buttons::Ok);
    }
};

QTEST_MAIN(tst_ShellOpen)
#include "tst_shellopen.moc"
