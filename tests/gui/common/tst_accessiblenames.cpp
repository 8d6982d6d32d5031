// Every picture-only button, picture box and list of every window is named for screen readers by its
// tooltip, through the application-wide naming the program installs at start-up.
#include "EditWindows.h"
#include "FixtureCatalogue.h"
#include "Ui.h"
#include "frmAbout.h"
#include "frmImageRsgist.h"
#include "frmMain.h"
#include "frmSearch.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

class tst_AccessibleNames : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<frmMain> m_main;

    QWidget* window(const QString& name)
    {
        if (name == u"frmMain")
            return m_main.get();
        static const QHash<QString, frmMain::Window> windows = {
            {QStringLiteral("frmImageRsgist"), frmMain::Window::ImageRegistration},
            {QStringLiteral("frmItemArrangement"), frmMain::Window::AreaArrangement},
            {QStringLiteral("frmSearch"), frmMain::Window::Search},
            {QStringLiteral("frmItemRegist"), frmMain::Window::ItemRegistration},
        };
        return m_main->openWindow(windows.value(name));
    }

private slots:
    void initTestCase()
    {
        kovra::ui::nameWidgetsByToolTips(qApp);
        QVERIFY(kovra::test::fixture::create(m_dir.path()));
        m_main = std::make_unique<frmMain>(m_dir.path());
        m_main->setWindowFactory(frmMain::Window::ImageRegistration,
                                 [m = m_main.get()] { return new frmImageRsgist(m->catalogue(), *m); });
        kovra::edit::installWindows(*m_main);
        m_main->setWindowFactory(frmMain::Window::Search,
                                 [m = m_main.get()] { return new frmSearch(m->catalogue(), *m); });
        m_main->show();
    }

    void namedByTheTooltip_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("control");
        const char* rows[][2] = {
            {"frmMain", "Command3"},
            {"frmMain", "Command1"},
            {"frmMain", "Picture1"},
            {"frmMain", "Combo1"},
            {"frmItemArrangement", "Command5"},
            {"frmItemArrangement", "Command3"},
            {"frmItemArrangement", "Command1"},
            {"frmItemArrangement", "Command2"},
            {"frmItemArrangement", "Picture1_0"},
            {"frmImageRsgist", "Image1"},
            {"frmImageRsgist", "List1"},
            {"frmImageRsgist", "Label2"},
            {"frmSearch", "List1"},
            {"frmSearch", "Picture1"},
            {"frmItemRegist", "List1"},
        };
        for (const auto& [w, c] : rows)
            QTest::addRow("%s.%s", w, c) << QString::fromLatin1(w) << QString::fromLatin1(c);
    }

    void namedByTheTooltip()
    {
        QFETCH(QString, window);
        QFETCH(QString, control);
        QWidget* w = this->window(window);
        QVERIFY(w);
        auto* c = w->findChild<QWidget*>(control);
        QVERIFY2(c, qPrintable(control));
        QVERIFY(!c->toolTip().isEmpty());
        QCOMPARE(c->accessibleName(), c->toolTip());
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(c);
        QVERIFY(a);
        // What a screen reader is told (Qt on Linux tells a drop-down list by its chosen entry instead).
        if (!qobject_cast<QComboBox*>(c))
            QCOMPARE(a->text(QAccessible::Name), c->toolTip());
    }

    // A name given on purpose stays; a name taken from a tooltip follows the tooltip.
    void anOwnNameStays()
    {
        QWidget own;
        own.setAccessibleName(QStringLiteral("own"));
        own.setToolTip(QStringLiteral("tip"));
        QCOMPARE(own.accessibleName(), QStringLiteral("own"));
        QWidget named;
        named.setToolTip(QStringLiteral("first"));
        named.setToolTip(QStringLiteral("second"));
        QCOMPARE(named.accessibleName(), QStringLiteral("second"));
    }

    // Buttons with a caption are read by their caption.
    void captionedButtonsKeepTheirCaption()
    {
        auto* b = m_main->findChild<QToolButton*>(QStringLiteral("Command4"));
        QVERIFY(b);
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(b);
        QVERIFY(a);
        QCOMPARE(a->text(QAccessible::Name), QStringLiteral("ｲﾒｰｼﾞ登録"));
    }
};

QTEST_MAIN(tst_AccessibleNames)
#include "tst_accessiblenames.moc"
