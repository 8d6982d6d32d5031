#include "MessageBox.h"

#include <QMessageBox>
#include <QPushButton>

namespace kovra {
namespace {

MessageBox::Handler& handler()
{
    static MessageBox::Handler h;
    return h;
}

} // namespace

MessageBox::Answer MessageBox::show(QWidget* parent, Icon icon, const QString& text, const QString& caption,
                                    Buttons buttons)
{
    if (handler())
        return handler()(Request{icon, text, caption, buttons});
    QMessageBox box(parent);
    box.setWindowTitle(caption);
    box.setTextFormat(Qt::PlainText); // texts carry file names, titles and items: never markup
    box.setText(text);
    box.setIcon(icon == Icon::Information ? QMessageBox::Information
                : icon == Icon::Question  ? QMessageBox::Question
                                          : QMessageBox::Critical);
    switch (buttons) {
    case Buttons::YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.button(QMessageBox::Yes)->setText(QStringLiteral("はい(&Y)"));
        box.button(QMessageBox::No)->setText(QStringLiteral("いいえ(&N)"));
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case Buttons::SaveDiscardCancel:
        box.setStandardButtons(QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
        box.button(QMessageBox::Save)->setText(QStringLiteral("保存(&S)"));
        box.button(QMessageBox::Discard)->setText(QStringLiteral("破棄(&D)"));
        box.button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
        box.setDefaultButton(QMessageBox::Save);
        box.setEscapeButton(QMessageBox::Cancel);
        break;
    case Buttons::Ok:
        box.setStandardButtons(QMessageBox::Ok);
        box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
        break;
    }
    const int r = box.exec();
    switch (buttons) {
    case Buttons::YesNo:
        return r == QMessageBox::Yes ? Answer::Yes : Answer::No;
    case Buttons::SaveDiscardCancel:
        return r == QMessageBox::Save ? Answer::Save : r == QMessageBox::Discard ? Answer::Discard : Answer::Cancel;
    case Buttons::Ok:
        break;
    }
    return Answer::Ok;
}

void MessageBox::notice(QWidget* parent, const QString& text)
{
    show(parent, Icon::Information, text, applicationTitle(), Buttons::Ok);
}

void MessageBox::critical(QWidget* parent, const QString& text)
{
    show(parent, Icon::Critical, text, applicationTitle(), Buttons::Ok);
}

bool MessageBox::confirm(QWidget* parent, const QString& text, const QString& caption)
{
    return show(parent, Icon::Question, text, caption, Buttons::YesNo) == Answer::Yes;
}

MessageBox::Answer MessageBox::askToSave(QWidget* parent, const QString& text, const QString& caption)
{
    return show(parent, Icon::Question, text, caption, Buttons::SaveDiscardCancel);
}

MessageBox::Handler MessageBox::setHandler(Handler h)
{
    Handler previous = std::move(handler());
    handler() = std::move(h);
    return previous;
}

MessageBoxRecorder::MessageBoxRecorder()
{
    m_previous = MessageBox::setHandler([this](const MessageBox::Request& r) {
        m_requests.push_back(r);
        if (r.buttons == MessageBox::Buttons::Ok)
            return MessageBox::Answer::Ok;
        if (m_answers.empty())
            return r.buttons == MessageBox::Buttons::SaveDiscardCancel ? MessageBox::Answer::Discard
                                                                       : MessageBox::Answer::Yes;
        const MessageBox::Answer a = m_answers.front();
        m_answers.erase(m_answers.begin());
        return a;
    });
}

MessageBoxRecorder::~MessageBoxRecorder()
{
    MessageBox::setHandler(std::move(m_previous));
}

} // namespace kovra
