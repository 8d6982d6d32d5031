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

    // The unsaved-changes question: three Japanese buttons, 保存 the default, Esc is キャンセル.
    void unsavedChangesQuestion_data()
    {
        QTest::addColumn<QString>("press"); // a button's text, or "Esc"
        QTest::addColumn<MessageBox::Answer>("answer");
        QTest::newRow("save") << QStringLiteral("保存(&S)") << MessageBox::Answer::Save;
        QTest::newRow("discard") << QStringLiteral("破棄(&D)") << MessageBox::Answer::Discard;
        QTest::newRow("cancel") << QStringLiteral("キャンセル") << MessageBox::Answer::Cancel;
        QTest::newRow("Esc") << QStringLiteral("Esc") << MessageBox::Answer::Cancel;
    }
    void unsavedChangesQuestion()
    {
        QFETCH(QString, press);
        QFETCH(MessageBox::Answer, answer);
        QStringList texts;
        QString defaultText;
        QTimer timer;
        timer.setInterval(10);
        connect(&timer, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            timer.stop();
            for (QAbstractButton* b : box->buttons())
                texts << b->text();
            defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
            if (press == u"Esc") {
                QTest::keyClick(box, Qt::Key_Escape);
                return;
            }
            for (QAbstractButton* b : box->buttons())
                if (b->text() == press)
                    b->click();
        });
        timer.start();
        QCOMPARE(MessageBox::askToSave(nullptr, QStringLiteral("変更されています．保存しますか？"),
                                       QStringLiteral("ｱｲﾃﾑｴﾘｱの配置")),
                 answer);
        texts.sort();
        QStringList expected{QStringLiteral("保存(&S)"), QStringLiteral("破棄(&D)"), QStringLiteral("キャンセル")};
        expected.sort();
        QCOMPARE(texts, expected);
        QCOMPARE(defaultText, QStringLiteral("保存(&S)"));
    }
};

QTEST_MAIN(tst_MessageBox)
#include "tst_messagebox.moc"
