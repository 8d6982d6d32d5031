#include "frmSearch.h"

#include "AreaFiles.h"
#include "BusyScope.h"
#include "Catalogue.h"
#include "GaugeBox.h"
#include "MessageBox.h"
#include "Numbers.h"
#include "ShownImage.h"
#include "Ui.h"

#include <QApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QShowEvent>
#include <QToolButton>

namespace {

constexpr int ClientWidth = 518;
constexpr int ClientHeight = 296;
// Lives for the whole run, across openings of the window; 0 until a row is clicked.
qint16 s_rememberedRow = 0;

} // namespace

frmSearch::frmSearch(kovra::Catalogue& catalogue, kovra::ui::MainWindowView& mainWindow)
    : m_catalogue(catalogue), m_main(mainWindow)
{
    setObjectName(QStringLiteral("frmSearch"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setWindowTitle(QStringLiteral("アイテムの検索"));
    setWindowIcon(QIcon(kovra::ui::icon("main_search.svg")));
    setFont(kovra::ui::defaultFont());
    setFixedSize(ClientWidth, ClientHeight);
    createControls();
    // The main window owns it: it stays in front of the main window and has no taskbar entry of its own.
    kovra::ui::setOwner(this, mainWindow.ownerWindow());
    m_text1->setFocus();
}

frmSearch::~frmSearch() = default;

int frmSearch::rememberedRow()
{
    return s_rememberedRow;
}

void frmSearch::createControls()
{
    const QFont gothic12 = kovra::ui::japaneseFont(QStringLiteral("ＭＳ ゴシック"), 12);

    m_label1 = new QLabel(QStringLiteral("検索ｱｲﾃﾑ名："), this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setGeometry(4, 12, 71, 12);

    // Japanese input stays possible: no input-method hint is set that would restrict it. There is no
    // portable way to switch the input method to hiragana when the box gets the focus.
    m_text1 = new QLineEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setFont(gothic12);
    m_text1->setToolTip(QStringLiteral("検索したいｱｲﾃﾑ名を入力します"));
    m_text1->setGeometry(80, 8, 361, 25);

    m_list1 = new QListWidget(this);
    m_list1->setObjectName(QStringLiteral("List1"));
    m_list1->setFont(gothic12);
    m_list1->setToolTip(QStringLiteral("ﾀﾞﾌﾞﾙｸﾘｯｸでｱｲﾃﾑをを表示します"));
    m_list1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list1->setGeometry(8, 44, 433, 212);

    auto button = [this](const char* name, const char* picture, const QString& text, const QString& tip, int top) {
        auto* b = kovra::ui::pictureButton(this, name, picture, text, tip, QRect(448, top, 65, 57));
        b->setFocusPolicy(Qt::StrongFocus); // a clicked button takes the focus, and Enter then presses it
        return b;
    };
    m_command5 =
        button("Command5", "search_start.svg", QStringLiteral("検索開始"), QStringLiteral("検索を実行します"), 8);
    m_command1 = button("Command1", "search_show.svg", QStringLiteral("ｱｲﾃﾑ表示"),
                        QStringLiteral("検索結果からｱｲﾃﾑを表示します"), 72);
    m_command2 =
        button("Command2", "search_clear.svg", QStringLiteral("ｸﾘｱ"), QStringLiteral("検索結果をｸﾘｱします"), 136);
    m_command3 = button("Command3", "cross.svg", QStringLiteral("ｷｬﾝｾﾙ"), QStringLiteral("このｳｨﾝﾄﾞｳを閉じます"), 200);

    m_label2 = new QLabel(QStringLiteral("進行ｹﾞｰｼﾞ"), this);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label2->setGeometry(16, 272, 53, 12);

    m_picture1 = new GaugeBox(QStringLiteral("Picture1"), this);
    m_picture1->move(78, 264);
    m_picture1->setToolTip(QStringLiteral("検索の進捗状況を表示します"));

    // The full gauge lies below the client area, out of sight, and only lends its picture.
    m_picture2 = new GaugeBox(QStringLiteral("Picture2"), this);
    m_picture2->move(8, 304);
    m_picture2->setPicture(QImage(kovra::ui::icon("gauge.png")).convertToFormat(QImage::Format_RGB32));

    auto hiddenList = [this](const char* name, const QRect& geometry) {
        auto* l = new QListWidget(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setGeometry(geometry);
        l->setFocusPolicy(Qt::NoFocus);
        l->hide();
        return l;
    };
    m_list2 = hiddenList("List2", QRect(8, 336, 497, 64));
    m_list3 = hiddenList("List3", QRect(8, 408, 497, 64));
    m_list4 = hiddenList("List4", QRect(8, 480, 497, 40));

    setTabOrder(m_text1, m_command5);
    setTabOrder(m_command5, m_command1);
    setTabOrder(m_command1, m_command2);
    setTabOrder(m_command2, m_command3);
    setTabOrder(m_command3, m_list1);

    connect(m_command5, &QToolButton::clicked, this, &frmSearch::search);
    connect(m_command1, &QToolButton::clicked, this, &frmSearch::showItem);
    connect(m_command2, &QToolButton::clicked, this, &frmSearch::clear);
    connect(m_command3, &QToolButton::clicked, this, &QWidget::close);
    // A row chosen by mouse or keys becomes the remembered row; a focus that merely lands on a row does not.
    connect(m_list1, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> selected = m_list1->selectedItems();
        if (!selected.isEmpty())
            s_rememberedRow = qint16(m_list1->row(selected.first()));
    });
    connect(m_list1, &QListWidget::itemDoubleClicked, this, [this] { showItem(); });
}

void frmSearch::search()
{
    const QString text = m_text1->text();
    if (text.isEmpty()) {
        kovra::MessageBox::notice(this, QStringLiteral("[検索アイテム名]を入力してください．"));
        m_text1->setFocus();
        return;
    }
    {
        // Nothing of the program takes input while the scan runs, and it cannot be interrupted.
        kovra::ui::BusyScope busy;
        m_picture1->clear();
        m_picture1->repaint();

        m_list1->clear();
        m_list2->clear();
        m_list3->clear();
        m_list4->clear();
        m_rows.clear();

        // Between folders the windows are repainted and the window manager's ping is answered, so the
        // program never looks hung; the input that arrives meanwhile reaches the blocker only.
        m_rows = m_catalogue.search(text, [&](int position, int count) {
            gaugeStep(position, count);
            busy.keepAnswering();
        });
        for (const kovra::SearchRow& row : std::as_const(m_rows)) {
            m_list1->addItem(row.title);
            m_list2->addItem(row.picturePath);
            m_list3->addItem(kovra::numbers::formatDecimal(row.folderPosition));
            m_list4->addItem(row.hitAreaText());
        }
    }
    if (m_list1->count() == 0)
        kovra::MessageBox::notice(this, QStringLiteral("見つかりませんでした．"));
}

void frmSearch::gaugeStep(int position, int count)
{
    const std::optional<int> w = gaugeWidth(position, count);
    if (!w)
        return;
    // The revealed part only ever grows: a step that would not widen it costs no drawing and no repaint.
    if (qMin(*w, m_picture1->contentsRect().width()) <= m_picture1->revealedWidth())
        return;
    m_picture1->reveal(m_picture2->image(), *w);
    m_picture1->repaint();
}

void frmSearch::clear()
{
    m_catalogue.shownImage().stopAnimation();
    m_text1->clear();
    m_list1->clear();
    m_list2->clear();
    m_rows.clear();
    m_picture1->clear();
    m_text1->setFocus();
}

void frmSearch::showItem()
{
    // Only a row of the results on screen is shown. A remembered row from an earlier search, from before
    // a clear or from a closed window names nothing here, and must not blank the main window's picture
    // or mark areas of another image.
    const int r = s_rememberedRow;
    if (r < 0 || r >= m_rows.size() || r >= m_list1->count() || r >= m_list2->count() || r >= m_list4->count())
        return;
    const kovra::SearchRow& row = m_rows[r];
    // An image deleted since the search is no longer in the image list: there is nothing to show.
    if (!m_catalogue.isListed(row.folder))
        return;
    // The image is read again, the one shown included: unsaved layout edits are asked about first.
    if (!m_main.mayLeaveShownImage(this))
        return;
    // The image of the row with its hit areas marked, as one action of the shown image: the picture is
    // read once, and the marks are shown even when this image is already the selected one.
    m_catalogue.shownImage().showHitsOf(row.folder, row.hitAreas);
}

void frmSearch::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // Centred at every opening; a window restored from the taskbar stays where it was.
    if (!event->spontaneous())
        kovra::ui::placeOnScreen(this, 2);
}

void frmSearch::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        // Enter presses the button that has the focus, anywhere else the default button "検索開始".
        QWidget* focused = focusWidget();
        for (QToolButton* b : {m_command5, m_command1, m_command2, m_command3}) {
            if (focused == b) {
                b->click();
                event->accept();
                return;
            }
        }
        m_command5->click();
        event->accept();
        return;
    }
    case Qt::Key_Escape:
        // "ｷｬﾝｾﾙ" is not a cancel button: Esc does nothing.
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}
