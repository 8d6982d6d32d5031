// The real message box behind the seam (no handler installed).
#include "MessageBox.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using kovra::MessageBox;

class tst_MessageBox : public QObject
{
    Q_OBJECT

private slots:
    void userTextIsShownAsPlainText_data()
    {
        QTest::addColumn<MessageBox::Buttons>("buttons");
        QTest::newRow("notice") << MessageBox::Buttons::Ok;
        QTest::newRow("question") << MessageBox::Buttons::YesNo;
    }
    void userTextIsShownAsPlainText()
    {
        QFETCH(MessageBox::Buttons, buttons);
        const QString text = QStringLiteral("「<b>pen</b>」を削除します．よろしいですか？");
        Qt::TextFormat format = Qt::RichText;
        QString shown;
        bool seen = false;
        // Looks at the box once it is up, then answers it.
        auto inspect = [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return false;
            const auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            format = label ? label->textFormat() : Qt::RichText;
            shown = label ? label->text() : QString();
            seen = true;
            box->buttons().constFirst()->click();
            return true;
        };
        QTimer timer;
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, this, [&] {
            if (inspect())
                timer.stop();
        });
        timer.start();
        MessageBox::show(nullptr, MessageBox::Icon::Question, text, QStringLiteral("ｱｲﾃﾑの削除"), buttons);
        QVERIFY(seen);
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(shown, text);
    }
};

QTEST_MAIN(tst_MessageBox)
#include "tst_messagebox.moc"
