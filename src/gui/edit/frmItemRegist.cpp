#include "frmItemRegist.h"

#include "AreaFiles.h"
#include "Catalogue.h"
#include "MessageBox.h"
#include "ShownImage.h"
#include "Ui.h"

#include <QIcon>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QToolButton>

#include <algorithm>
#include <limits>

namespace {

constexpr int ClientWidthTwips = 7740;
constexpr int ClientHeightTwips = 3960;

} // namespace

frmItemRegist::frmItemRegist(kovra::Catalogue& catalogue, const kovra::ui::MainWindowView& main, QWidget* parent)
    : QWidget(parent), m_catalogue(catalogue)
{
    setObjectName(QStringLiteral("frmItemRegist"));
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("ｱｲﾃﾑ登録"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/items_add.svg")));
    setFont(kovra::ui::defaultFont());
    createControls(main.twipsPerPixel());

    // The target is fixed now: later selections on the main window do not move it.
    m_folder = catalogue.shownImage().folder();
    m_area = catalogue.shownImage().selectedAreaIndex();
    m_picked = -1;
    m_loaded = catalogue.readItems(m_folder, m_area);
    m_rows->setRows(m_loaded);
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

    m_rows = new kovra::ItemRows(this);
    m_list1 = new QListView(this);
    m_list1->setObjectName(QStringLiteral("List1"));
    m_list1->setFont(listFont);
    m_list1->setModel(m_rows);
    m_list1->setUniformItemSizes(true); // a long list lays out at once
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
        const QModelIndexList selected = m_list1->selectionModel()->selectedRows();
        if (!m_removing && !selected.isEmpty())
            m_picked = selected.first().row();
    });
    connect(m_command5, &QToolButton::clicked, this, &frmItemRegist::command5Click);
    connect(m_command1, &QToolButton::clicked, this, &frmItemRegist::command1Click);
    connect(m_command3, &QToolButton::clicked, this, &frmItemRegist::command3Click);
    connect(m_command2, &QToolButton::clicked, this, &QWidget::close);
}

QStringList frmItemRegist::rows() const
{
    QStringList r;
    r.reserve(m_rows->bytes().size());
    for (const QByteArray& b : m_rows->bytes())
        r.append(kovra::ItemRows::readable(b));
    return r;
}

// Add: the text exactly as typed, empty and repeated text included; text the area file cannot hold is
// refused here, while the user can still change it, rather than at the save.
void frmItemRegist::command5Click()
{
    const kovra::ItemCheck check = kovra::Catalogue::checkItem(m_text1->text(), m_rows->rowCount());
    switch (check.status) {
    case kovra::ItemCheck::Status::Ok:
        break;
    case kovra::ItemCheck::Status::LineBreak:
        kovra::MessageBox::notice(this, QStringLiteral("ｱｲﾃﾑ名に改行は使えません．"));
        m_text1->setFocus();
        return;
    case kovra::ItemCheck::Status::Unencodable:
        kovra::MessageBox::notice(this, QStringLiteral("ｱｲﾃﾑ名に登録できない文字「") + check.character +
                                            QStringLiteral("」が含まれています．別の文字に置き換えてください．"));
        m_text1->setFocus();
        return;
    case kovra::ItemCheck::Status::TooMany:
        kovra::MessageBox::notice(this, QStringLiteral("１つのｱｲﾃﾑｴﾘｱに登録できるｱｲﾃﾑは３２７６７個までです．"));
        m_text1->setFocus();
        return;
    }
    m_rows->append(check.bytes);
    m_text1->clear();
    m_text1->setFocus();
}

// Remove the picked row, after asking; the pick stays where it was, so the row that moved up is next.
void frmItemRegist::command1Click()
{
    const bool exists = m_picked >= 0 && m_picked < m_rows->rowCount();
    const QString text = exists ? m_rows->data(m_rows->index(m_picked)).toString() : QString();
    if (!kovra::MessageBox::confirm(this,
                                    QStringLiteral("「") + text + QStringLiteral("」を削除します．よろしいですか？"),
                                    QStringLiteral("ｱｲﾃﾑの削除")))
        return;
    if (!exists)
        return;
    m_removing = true;
    m_rows->remove(m_picked);
    // Show which row the next press names.
    m_list1->clearSelection();
    if (m_picked < m_rows->rowCount())
        m_list1->selectionModel()->setCurrentIndex(m_rows->index(m_picked), QItemSelectionModel::ClearAndSelect);
    m_removing = false;
}

// Save into the area fixed at opening, then close; a failed save keeps the window and its rows.
void frmItemRegist::command3Click()
{
    if (m_folder.isEmpty() || m_area < 0 || m_area >= kovra::AreaCount)
        return;
    switch (SaveItem(m_folder, m_area, m_rows->rowCount())) {
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
    const kovra::ItemMerge saved = m_catalogue.saveItems(fldpath, sn, m_loaded, m_rows->bytes().mid(0, cnt));
    if (saved.status == kovra::WriteStatus::Ok) {
        // The list shows what is stored now, another writer's rows included, and a second save starts there.
        m_loaded = saved.rows;
        m_rows->setRows(saved.rows);
    }
    return saved.status;
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
