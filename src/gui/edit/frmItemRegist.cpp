#include "frmItemRegist.h"

#include "AreaFiles.h"
#include "CodePage.h"
#include "MessageBox.h"
#include "Ui.h"
#include "frmMain.h"

#include <QIcon>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QToolButton>

#include <algorithm>
#include <limits>

namespace {

constexpr int ClientWidthTwips = 7740;
constexpr int ClientHeightTwips = 3960;
// Sum is read back as a 16-bit number: a longer list would read as an empty one.
constexpr int MaxRows = 32767;

// The first character of text that code page 932 cannot hold, or an empty text when there is none.
QString firstUnencodable(const QString& text)
{
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString c = text.mid(i, n);
        if (!kovra::codepage::canEncode(c))
            return c;
        i += n;
    }
    return QString();
}

bool hasLineBreak(const QString& text)
{
    return text.contains(u'\r') || text.contains(u'\n') || text.contains(QChar(u'\0'));
}

} // namespace

frmItemRegist::frmItemRegist(const frmMain& main, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("frmItemRegist"));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("ｱｲﾃﾑ登録"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/items_add.svg")));
    setFont(kovra::ui::defaultFont());
    createControls(main.twipsPerPixel());

    // The target is fixed now: later selections on the main window do not move it.
    m_folder = main.currentImageFolder();
    m_area = main.selectedAreaIndex();
    m_picked = -1;
    if (!m_folder.isEmpty() && m_area >= 0 && m_area < kovra::AreaCount) {
        m_list1->setUpdatesEnabled(false);
        for (const QByteArray& item : kovra::readItemBytes(m_folder, m_area))
            appendRow(item);
        m_list1->setUpdatesEnabled(true);
    }
    m_text1->setFocus();
}

void frmItemRegist::createControls(double tpp)
{
    auto px = [tpp](int twips) { return kovra::ui::twips(twips, tpp); };
    auto rect = [&](int l, int t, int w, int h) { return QRect(px(l), px(t), px(w), px(h)); };
    setFixedSize(px(ClientWidthTwips), px(ClientHeightTwips));
    const QFont listFont = kovra::ui::japaneseFont(QStringLiteral("ＭＳ ゴシック"), 12);

    m_label1 = new QLabel(QStringLiteral("ｱｲﾃﾑ名："), this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    const QSize hint = m_label1->sizeHint();
    m_label1->setGeometry(px(120), px(180), std::max(px(705), hint.width()), std::max(px(180), hint.height()));

    m_text1 = new QLineEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setFont(listFont);
    m_text1->setMaxLength(std::numeric_limits<int>::max());
    m_text1->setToolTip(QStringLiteral("ｱｲﾃﾑ名を入力します．全角２５６字まで登録できます"));
    m_text1->setGeometry(rect(960, 120, 5655, 375));

    m_list1 = new QListWidget(this);
    m_list1->setObjectName(QStringLiteral("List1"));
    m_list1->setFont(listFont);
    m_list1->setSortingEnabled(false);
    m_list1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list1->setToolTip(QStringLiteral("同じｴﾘｱ内に，登録されているｱｲﾃﾑが表示されます"));
    m_list1->setGeometry(rect(120, 660, 6495, 3180));

    auto button = [&](const char* name, const char* picture, const QString& text, const QString& tip, int top) {
        return kovra::ui::pictureButton(this, name, picture, text, tip, rect(6720, top, 855, 855));
    };
    m_command5 = button("Command5", "items_add.svg", QStringLiteral("追加"),
                        QStringLiteral("入力した「ｱｲﾃﾑ名」をﾘｽﾄに登録します．ﾌｧｲﾙ保存は「登録」ﾎﾞﾀﾝで行います"), 120);
    m_command1 = button("Command1", "trash.svg", QStringLiteral("削除"),
                        QStringLiteral("選択したｱｲﾃﾑをﾘｽﾄから削除します．ﾌｧｲﾙ保存は「登録」ﾎﾞﾀﾝで行います"), 1080);
    m_command3 = button("Command3", "tick.svg", QStringLiteral("登録"),
                        QStringLiteral("ﾘｽﾄに表示された内容で，ﾌｧｲﾙへ保存します"), 2040);
    m_command2 = button("Command2", "cross.svg", QStringLiteral("ｷｬﾝｾﾙ"), QStringLiteral("このｳｨﾝﾄﾞｳを閉じます"), 3000);

    setTabOrder(m_text1, m_list1);
    setTabOrder(m_list1, m_command5);
    setTabOrder(m_command5, m_command1);
    setTabOrder(m_command1, m_command3);
    setTabOrder(m_command3, m_command2);

    // A pick by mouse or keyboard selects a row; moving the focus into the list alone picks nothing.
    connect(m_list1->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QList<QListWidgetItem*> selected = m_list1->selectedItems();
        if (!m_removing && !selected.isEmpty())
            m_picked = m_list1->row(selected.first());
    });
    connect(m_command5, &QToolButton::clicked, this, &frmItemRegist::command5Click);
    connect(m_command1, &QToolButton::clicked, this, &frmItemRegist::command1Click);
    connect(m_command3, &QToolButton::clicked, this, &frmItemRegist::command3Click);
    connect(m_command2, &QToolButton::clicked, this, &QWidget::close);
}

QStringList frmItemRegist::rows() const
{
    QStringList r;
    r.reserve(m_bytes.size());
    for (const QByteArray& b : m_bytes)
        r.append(readable(b));
    return r;
}

QString frmItemRegist::readable(QByteArrayView bytes)
{
    const QString decoded = kovra::codepage::decode(bytes);
    if (!decoded.contains(QChar(0xFFFD)) && !decoded.contains(QChar(u'\0')))
        return decoded; // no byte of the code page decodes to U+FFFD: nothing to mark
    auto mark = [](QString& out, unsigned char b) {
        out += QStringLiteral("\\x") + QString::number(b, 16).toUpper().rightJustified(2, u'0');
    };
    QString out;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype n = kovra::codepage::isLeadByte(p[i]) && i + 1 < bytes.size() ? 2 : 1;
        const QString c = kovra::codepage::decode(bytes.sliced(i, n));
        if (c != QChar(0xFFFD) && c != QChar(u'\0')) {
            out += c;
            i += n;
        } else {
            mark(out, p[i]); // a bad pair marks its first byte; the second is read on its own
            ++i;
        }
    }
    return out;
}

QString frmItemRegist::shown(QByteArrayView bytes)
{
    // Only the beginning is decoded: a very long item costs no more than a short one to show.
    constexpr qsizetype Head = 2 * ShownLength + 2;
    const bool longer = bytes.size() > Head;
    QString text = readable(longer ? bytes.first(kovra::codepage::safeCut(bytes, Head)) : bytes);
    if (text.size() > ShownLength || longer) {
        qsizetype cut = std::min<qsizetype>(text.size(), ShownLength);
        if (cut > 0 && text.at(cut - 1).isHighSurrogate())
            --cut;
        text = text.left(cut) + QStringLiteral("…");
    }
    return text;
}

void frmItemRegist::appendRow(const QByteArray& bytes)
{
    m_bytes.append(bytes);
    m_list1->addItem(shown(bytes));
}

// Add: the text exactly as typed, empty and repeated text included; text the area file cannot hold is
// refused here, while the user can still change it, rather than at the save.
void frmItemRegist::command5Click()
{
    const QString text = kovra::codepage::mapTyped(m_text1->text());
    if (hasLineBreak(text)) {
        kovra::MessageBox::notice(this, QStringLiteral("ｱｲﾃﾑ名に改行は使えません．"));
        m_text1->setFocus();
        return;
    }
    const QString bad = firstUnencodable(text);
    if (!bad.isEmpty()) {
        kovra::MessageBox::notice(this, QStringLiteral("ｱｲﾃﾑ名に登録できない文字「") + bad +
                                            QStringLiteral("」が含まれています．別の文字に置き換えてください．"));
        m_text1->setFocus();
        return;
    }
    if (m_list1->count() >= MaxRows) {
        kovra::MessageBox::notice(this, QStringLiteral("１つのｱｲﾃﾑｴﾘｱに登録できるｱｲﾃﾑは３２７６７個までです．"));
        m_text1->setFocus();
        return;
    }
    appendRow(kovra::codepage::encode(text).value_or(QByteArray()));
    m_text1->clear();
    m_text1->setFocus();
}

// Remove the picked row, after asking; the pick stays where it was, so the row that moved up is next.
void frmItemRegist::command1Click()
{
    const bool exists = m_picked >= 0 && m_picked < m_list1->count();
    const QString text = exists ? m_list1->item(m_picked)->text() : QString();
    if (!kovra::MessageBox::confirm(this,
                                    QStringLiteral("「") + text + QStringLiteral("」を削除します．よろしいですか？"),
                                    QStringLiteral("ｱｲﾃﾑの削除")))
        return;
    if (!exists)
        return;
    m_removing = true;
    delete m_list1->takeItem(m_picked);
    m_bytes.removeAt(m_picked);
    // Show which row the next press names.
    m_list1->clearSelection();
    if (m_picked < m_list1->count())
        m_list1->setCurrentRow(m_picked, QItemSelectionModel::ClearAndSelect);
    m_removing = false;
}

// Save into the area fixed at opening, then close; a failed save keeps the window and its rows.
void frmItemRegist::command3Click()
{
    if (m_folder.isEmpty() || m_area < 0 || m_area >= kovra::AreaCount)
        return;
    switch (SaveItem(m_folder, m_area, m_list1->count())) {
    case kovra::WriteStatus::Ok:
        break;
    case kovra::WriteStatus::InvalidInput: // the rows themselves, not the disk
    case kovra::WriteStatus::Unencodable:
        kovra::MessageBox::critical(this, QStringLiteral("ｱｲﾃﾑを保存できませんでした．"
                                                         "ﾌｧｲﾙに保存できない文字を含むｱｲﾃﾑがあります．"
                                                         "そのｱｲﾃﾑを削除して入力し直してください．"));
        return;
    case kovra::WriteStatus::ReadOnly:
    case kovra::WriteStatus::Unreadable:
    case kovra::WriteStatus::Failed:
        kovra::MessageBox::critical(this, QStringLiteral("ｱｲﾃﾑを保存できませんでした．"
                                                         "ﾌｧｲﾙやﾌｫﾙﾀﾞが書き込み禁止になっていないか，"
                                                         "ﾃﾞｨｽｸに空きがあるかを確認してください．"));
        return;
    }
    close();
}

kovra::WriteStatus frmItemRegist::SaveItem(const QString& fldpath, int sn, int cnt)
{
    return kovra::saveItemBytes(fldpath, sn, m_bytes.mid(0, cnt));
}

// Placed once, when it first appears and its frame is known; showing it again moves nothing.
void frmItemRegist::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_placed) {
        m_placed = true;
        kovra::ui::placeOnScreen(this, 2);
    }
}

// Enter presses the focused button, else the default button "追加"; Esc closes without saving.
void frmItemRegist::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        m_command2->click();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        auto* focused = qobject_cast<QToolButton*>(focusWidget());
        (focused ? focused : m_command5)->click();
        return;
    }
    QWidget::keyPressEvent(event);
}
