#include "frmItemArrangement.h"

#include "AreaFiles.h"
#include "Catalogue.h"
#include "MessageBox.h"
#include "PictureBuffer.h"
#include "ShownImage.h"
#include "Ui.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QToolButton>

#include <algorithm>

namespace {

constexpr int ClientWidthTwips = 4530;
constexpr int ClientHeightTwips = 1110;

// The digit strip: eleven glyphs side by side, 0 to 9 and one with every segment dark.
constexpr int GlyphWidth = 13;
constexpr int GlyphHeight = 18;
constexpr QPoint TensAt(6, 3);
constexpr QPoint UnitsAt(19, 3);

// The counter's text: the count with two digits, leading zero.
QString counterText(int count)
{
    return QString::number(count).rightJustified(2, u'0');
}

// The value of one digit character; anything else counts as 0.
int digitAt(const QString& text, qsizetype i)
{
    if (i >= text.size())
        return 0;
    const int d = text.at(i).digitValue();
    return d >= 0 && d <= 9 ? d : 0;
}

} // namespace

frmItemArrangement::frmItemArrangement(kovra::Catalogue& catalogue, kovra::ui::MainWindowView& main)
    : QWidget(nullptr), m_catalogue(catalogue), m_main(main)
{
    setObjectName(QStringLiteral("frmItemArrangement"));
    // A fixed dialog border without minimize and maximize buttons, owned by the main window so that
    // it stays in front of it.
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    kovra::ui::setOwner(this, main.ownerWindow());
    setWindowTitle(QStringLiteral("ｱｲﾃﾑｴﾘｱの配置"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/arrange.svg")));
    setFont(kovra::ui::defaultFont());
    createControls();
    countFreeAreas();
    // Areas are opened, drawn and deleted on the main window too, and another image may be chosen there.
    connect(&m_catalogue.shownImage(), &kovra::ShownImage::changed, this, [this] {
        if (m_catalogue.shownImage().freeCount() != m_drawnCount)
            countFreeAreas();
    });
    kovra::ui::addLayoutUndoKeys(this, catalogue.shownImage());
}

void frmItemArrangement::createControls()
{
    const double tpp = m_main.twipsPerPixel();
    auto px = [tpp](int twips) { return kovra::ui::twips(twips, tpp); };
    auto rect = [&](int l, int t, int w, int h) { return QRect(px(l), px(t), px(w), px(h)); };
    setFixedSize(px(ClientWidthTwips), px(ClientHeightTwips));

    auto button = [&](const char* name, const char* picture, const QString& tip, const QRect& geometry) {
        return kovra::ui::pictureButton(this, name, picture, QString(), tip, geometry);
    };
    // Labels sit under their buttons; they grow to their text where the font is larger than the drawn one.
    auto label = [&](int index, const QString& text, int left, int top) {
        auto* l = new QLabel(text, this);
        l->setObjectName(QStringLiteral("Label1_%1").arg(index));
        const QSize hint = l->sizeHint();
        l->setGeometry(px(left), px(top), hint.width(), std::max(px(180), hint.height()));
        return l;
    };

    m_command5 = button("Command5", "arrange.svg",
                        QStringLiteral("新しいｱｲﾃﾑｴﾘｱ（最大３０個）をｵｰﾌﾟﾝします．ﾄﾞﾗｯｸﾞ&ﾄﾞﾛｯﾌﾟで配置してください"),
                        rect(240, 120, 615, 615));

    m_check1 = new QCheckBox(QStringLiteral("ｴﾘｱ配置"), this);
    m_check1->setObjectName(QStringLiteral("Check1"));
    m_check1->setGeometry(rect(60, 805, 975, 300));
    m_check1->setChecked(false);

    // The counter: a black display box; glyphs are copied into its client pixels.
    m_counter = new PictureBuffer(rect(1200, 240, 615, 435).size(), Qt::black, true, this);
    m_counter->setObjectName(QStringLiteral("Picture1_0"));
    m_counter->move(px(1200), px(240));
    m_counter->setToolTip(QStringLiteral("配置できるｱｲﾃﾑｴﾘｱの残数を表示します"));
    label(4, QStringLiteral("ｴﾘｱ残数"), 1140, 840);

    m_command3 =
        button("Command3", "trash.svg", QStringLiteral("選択したｱｲﾃﾑｴﾘｱ（黄色いｱｲﾃﾑﾏｰｶｰで示されます）を削除します"),
               rect(2160, 120, 615, 615));
    label(1, QStringLiteral("ｴﾘｱ削除"), 2040, 840);
    m_command1 =
        button("Command1", "tick.svg", QStringLiteral("現在表示されているｱｲﾃﾑｴﾘｱの状態を，登録・ﾌｧｲﾙへ保存します"),
               rect(3000, 120, 615, 615));
    label(2, QStringLiteral("登 録"), 3120, 840);
    m_command2 = button("Command2", "cross.svg", QStringLiteral("このｳｨﾝﾄﾞｳを閉じます"), rect(3840, 120, 615, 615));
    label(3, QStringLiteral("ｷｬﾝｾﾙ"), 3900, 840);

    // The digit strip, below the visible client area.
    const QImage strip(QStringLiteral(":/icons/digits.png"));
    m_strip = new PictureBuffer(rect(960, 3480, 2145, 270).size(), Qt::black, false, this);
    m_strip->setObjectName(QStringLiteral("Picture1_2"));
    m_strip->setImage(strip);
    m_strip->move(px(960), px(3480));

    // The picture boxes show nothing to act upon and take no focus; the rest keep the drawn order.
    setTabOrder(m_command5, m_command3);
    setTabOrder(m_command3, m_command1);
    setTabOrder(m_command1, m_command2);
    setTabOrder(m_command2, m_check1);

    connect(m_command5, &QToolButton::clicked, this, &frmItemArrangement::command5Click);
    connect(m_command3, &QToolButton::clicked, this, &frmItemArrangement::deleteSelectedArea);
    connect(m_command1, &QToolButton::clicked, this, &frmItemArrangement::command1Click);
    connect(m_command2, &QToolButton::clicked, this, &QWidget::close);
}

void frmItemArrangement::DrawX(const QString& Buf)
{
    const QImage& strip = m_strip->image();
    m_counter->copyFrom(strip, QRect(GlyphWidth * digitAt(Buf, 0), 0, GlyphWidth, GlyphHeight), TensAt);
    m_counter->copyFrom(strip, QRect(GlyphWidth * digitAt(Buf, 1), 0, GlyphWidth, GlyphHeight), UnitsAt);
}

QImage frmItemArrangement::counterImage() const
{
    return m_counter->image();
}

bool frmItemArrangement::placementMode() const
{
    return m_check1->isChecked();
}

void frmItemArrangement::countFreeAreas()
{
    m_drawnCount = m_catalogue.shownImage().freeCount();
    DrawX(counterText(m_drawnCount));
}

// New area: the lowest free index, with the default size at the top-left corner of the part of the
// picture in view, selected with its handle.
void frmItemArrangement::command5Click()
{
    m_catalogue.shownImage().openNewArea(m_main.newAreaRect());
    countFreeAreas();
}

// Delete the selected area: only its marker goes; the area file changes at the next save.
void frmItemArrangement::deleteSelectedArea()
{
    kovra::ShownImage& image = m_catalogue.shownImage();
    if (image.selectedAreaIndex() == -1) {
        kovra::MessageBox::notice(this, QStringLiteral("削除するｱｲﾃﾑｴﾘｱを選択してください．"));
        return;
    }
    if (!image.isShown(image.selectedAreaIndex())) {
        kovra::MessageBox::notice(this, QStringLiteral("削除するｱｲﾃﾑｴﾘｱを確認してください．"));
        return;
    }
    if (!kovra::MessageBox::confirm(this, QStringLiteral("選択されたｱｲﾃﾑｴﾘｱを削除します．よろしいですか？"),
                                    QStringLiteral("ｱｲﾃﾑｴﾘｱの削除")))
        return;
    image.deleteSelectedArea();
    countFreeAreas();
}

// Save: the areas as shown into the area files of the shown image, then close. Areas the reader could
// not read are left as they are on disk.
void frmItemArrangement::command1Click()
{
    if (m_catalogue.shownImage().folder().isEmpty())
        return;
    // Not closed as if saved when the write failed: the user retries or closes knowingly.
    if (saveShownArrangement(m_catalogue, this))
        close();
}

bool frmItemArrangement::saveShownArrangement(kovra::Catalogue& catalogue, QWidget* parent)
{
    const kovra::Catalogue::ArrangementSave saved = catalogue.saveArrangement();
    if (saved.status == kovra::WriteStatus::Ok) {
        if (!saved.changedElsewhere.isEmpty()) {
            QStringList areas;
            for (int i : saved.changedElsewhere)
                areas << QString::number(i);
            kovra::MessageBox::notice(parent, QStringLiteral("ｴﾘｱ ") + areas.join(QStringLiteral(", ")) +
                                                  QStringLiteral(" は他の場所でも変更されていました．"
                                                                 "こちらの配置で保存しました．"));
        }
        return true;
    }
    kovra::MessageBox::critical(parent, QStringLiteral("ｱｲﾃﾑｴﾘｱの配置を保存できませんでした．"
                                                       "ﾌｧｲﾙやﾌｫﾙﾀﾞが書き込み禁止になっていないか，"
                                                       "ﾃﾞｨｽｸに空きがあるかを確認してください．"));
    return false;
}

// Saved or discarded edits let it close; キャンセル keeps it open with the edits.
void frmItemArrangement::closeEvent(QCloseEvent* event)
{
    if (!m_main.mayLeaveShownImage(this)) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

// Placed once, when it first appears and its frame is known; showing it again moves nothing.
void frmItemArrangement::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_placed) {
        m_placed = true;
        kovra::ui::placeOnScreen(this, 3);
    }
}

// Esc closes without saving; Enter presses the focused button.
void frmItemArrangement::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        m_command2->click();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        if (auto* b = qobject_cast<QToolButton*>(focusWidget())) {
            b->click();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}
