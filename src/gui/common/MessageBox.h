#pragma once

#include <QString>
#include <functional>
#include <vector>

class QWidget;

namespace kovra {

// Every message box of the program goes through here, so that tests can answer and record them.
class MessageBox
{
public:
    enum class Icon { Information, Question, Critical };
    enum class Buttons { Ok, YesNo, SaveDiscardCancel };
    enum class Answer { Ok, Yes, No, Save, Discard, Cancel };

    struct Request
    {
        Icon icon;
        QString text;
        QString caption;
        Buttons buttons;
    };
    using Handler = std::function<Answer(const Request&)>;

    static Answer show(QWidget* parent, Icon icon, const QString& text, const QString& caption, Buttons buttons);

    // Notice: information icon, OK, the application title "Kovra".
    static void notice(QWidget* parent, const QString& text);
    // Critical icon, OK, the application title.
    static void critical(QWidget* parent, const QString& text);
    // Confirmation: question icon, Yes and No, a caption of its own; true only for Yes.
    static bool confirm(QWidget* parent, const QString& text, const QString& caption);
    // Unsaved changes: question icon, 保存, 破棄 and キャンセル (also Esc and the close box).
    static Answer askToSave(QWidget* parent, const QString& text, const QString& caption);

    static QString applicationTitle() { return QStringLiteral("Kovra"); }

    // Replaces the real box (tests); an empty handler restores it. Returns the previous handler.
    static Handler setHandler(Handler handler);
};

// Test helper: answers boxes from a queue and records every request. With the queue empty: OK, Yes, or for
// unsaved changes 破棄 (going on as if nothing had been changed).
class MessageBoxRecorder
{
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    void answerNext(MessageBox::Answer answer) { m_answers.push_back(answer); }
    const std::vector<MessageBox::Request>& requests() const { return m_requests; }
    void clear() { m_requests.clear(); }

private:
    std::vector<MessageBox::Answer> m_answers;
    std::vector<MessageBox::Request> m_requests;
    MessageBox::Handler m_previous;
};

} // namespace kovra
