#include "frmSearch.h"

#include "AreaFiles.h"
#include "BusyScope.h"
#include "Catalogue.h"
#include "GaugeBox.h"
#include "HitThumbnails.h"
#include "MessageBox.h"
#include "ResultDelegate.h"
#include "SearchResults.h"
#include "ShownImage.h"
#include "Ui.h"

#include <QApplication>
#include <QCloseEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QScreen>
#include <QShowEvent>
#include <QToolButton>

namespace {

// The smallest client area, where every control has its place of old; the window opens taller, so that
// a few results show with their pictures, and may be widened to show them as a grid.
constexpr int ClientWidth = 518;
constexpr int ClientHeight = 296;
constexpr int OpeningHeight = 560;
// A list this wide shows the results as a grid of pictures.
constexpr int GridFromWidth = 3 * ResultDelegate::GridCell.width() + 24;
// Input is handled this often while a search for typed text runs, and the gauge painted at most this
// often (the drawing itself follows every folder).
constexpr int TypingEventInterval = 8;
constexpr int GaugePaintInterval = 16;
// Lives for the whole run, across openings of the window; 0 until a row is clicked.
qint16 s_rememberedRow = 0;

} // namespace

frmSearch::frmSearch(kovra::Catalogue& catalogue, kovra::ui::MainWindowView& mainWindow)
    : m_catalogue(catalogue), m_main(mainWindow)
{
    setObjectName(QStringLiteral("frmSearch"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("アイテムの検索"));
    setWindowIcon(QIcon(kovra::ui::icon("main_search.svg")));
    setFont(kovra::ui::defaultFont());
    setMinimumSize(ClientWidth, ClientHeight);
    m_results = new SearchResults(this);
    m_kept = new SearchResults(this);
    m_thumbnails = new kovra::HitThumbnails(kovra::HitThumbnails::defaultDirectory(), 64 << 20, this);
    createControls();
    // Taller by the screen's room: two fifths of it leave a place beside the hits for Show item.
    const QScreen* room =
        mainWindow.ownerWindow() ? mainWindow.ownerWindow()->screen() : QGuiApplication::primaryScreen();
    const int tall = room ? int(room->availableGeometry().height() * 0.4) : ClientHeight;
    resize(ClientWidth, std::clamp(tall, ClientHeight, OpeningHeight));
    // Zero time: the keys that arrived together are one change, and the answer follows at once.
    m_typedTimer.setSingleShot(true);
    m_typedTimer.setInterval(0);
    connect(&m_typedTimer, &QTimer::timeout, this, &frmSearch::searchWhileTyping);
    connect(m_text1, &QLineEdit::textChanged, this, [this] {
        m_stopTyping = m_typing;
        m_typedTimer.start();
    });
    // The main window owns it: it stays in front of the main window and has no taskbar entry of its own.
    kovra::ui::setOwner(this, mainWindow.ownerWindow());
    m_text1->setFocus();
}

frmSearch::~frmSearch() = default;

int frmSearch::rememberedRow()
{
    return s_rememberedRow;
}

const QList<kovra::SearchRow>& frmSearch::results() const
{
    return m_results->rows();
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

    m_list1 = new QListView(this);
    m_list1->setObjectName(QStringLiteral("List1"));
    m_list1->setFont(gothic12);
    m_list1->setToolTip(QStringLiteral("ﾀﾞﾌﾞﾙｸﾘｯｸでｱｲﾃﾑをを表示します"));
    m_list1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list1->setUniformItemSizes(true);
    m_list1->setModel(m_results);
    m_list1->setModelColumn(SearchResults::Title);
    auto* pictures = new ResultDelegate(*m_thumbnails, m_list1);
    m_list1->setItemDelegate(pictures);
    connect(pictures, &ResultDelegate::repaintNeeded, m_list1->viewport(), qOverload<>(&QWidget::update));
    // Pictures of earlier results not yet made are not wanted any more.
    connect(m_results, &QAbstractItemModel::modelReset, m_thumbnails, &kovra::HitThumbnails::dropPending);

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

    auto hiddenList = [this](const char* name, SearchResults* model, int column) {
        auto* l = new QListView(this);
        l->setObjectName(QString::fromLatin1(name));
        l->setFocusPolicy(Qt::NoFocus);
        l->setModel(model);
        l->setModelColumn(column);
        l->hide();
        return l;
    };
    m_list2 = hiddenList("List2", m_results, SearchResults::PicturePath);
    m_list3 = hiddenList("List3", m_kept, SearchResults::Position);
    m_list4 = hiddenList("List4", m_kept, SearchResults::HitAreas);

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
    connect(m_list1->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        const QModelIndexList selected = m_list1->selectionModel()->selectedIndexes();
        if (!selected.isEmpty())
            s_rememberedRow = qint16(selected.first().row());
    });
    connect(m_list1, &QListView::doubleClicked, this, [this] { showItem(); });
    layoutControls();
}

// At the smallest size every control stands where it always has; more room goes to the list, the
// buttons keep to the right edge and the gauge to the bottom.
void frmSearch::layoutControls()
{
    const int dx = std::max(0, width() - ClientWidth);
    const int dy = std::max(0, height() - ClientHeight);
    m_text1->setGeometry(80, 8, 361 + dx, 25);
    m_list1->setGeometry(8, 44, 433 + dx, 212 + dy);
    const QList<QToolButton*> buttons{m_command5, m_command1, m_command2, m_command3};
    for (int i = 0; i < buttons.size(); ++i)
        buttons[i]->move(448 + dx, 8 + 64 * i);
    m_label2->move(16, 272 + dy);
    m_picture1->move(78, 264 + dy);
    m_picture2->move(8, 304 + dy);
    m_list2->setGeometry(8, 336 + dy, 497, 64);
    m_list3->setGeometry(8, 408 + dy, 497, 64);
    m_list4->setGeometry(8, 480 + dy, 497, 40);

    const bool grid = m_list1->width() >= GridFromWidth;
    if (grid != (m_list1->viewMode() == QListView::IconMode)) {
        m_list1->setViewMode(grid ? QListView::IconMode : QListView::ListMode);
        m_list1->setMovement(QListView::Static);
        m_list1->setResizeMode(QListView::Adjust);
        m_list1->setWrapping(grid);
        m_list1->setGridSize(grid ? ResultDelegate::GridCell : QSize());
        m_list1->setFlow(grid ? QListView::LeftToRight : QListView::TopToBottom);
    }
}

void frmSearch::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutControls();
}

bool frmSearch::deferWhileTyping(std::function<void()> action)
{
    if (!m_typing)
        return false;
    m_stopTyping = true;
    m_after.append(std::move(action));
    return true;
}

void frmSearch::searchWhileTyping()
{
    const QString text = m_text1->text();
    // An empty text keeps the rows; a search already running sees the change and comes back here.
    if (m_typing || text.isEmpty())
        return;
    m_typing = true;
    m_stopTyping = false;
    ++m_typedSearches;
    m_picture1->clear();
    m_picture1->update();
    m_sinceEvents.start();
    m_sinceGaugePaint.invalidate();
    std::optional<QList<kovra::SearchRow>> rows;
    try {
        rows = m_catalogue.search(text, [&](int position, int count) {
            gaugeStep(position, count);
            // Keys and clicks are taken while it runs; a newer text or an action stops it here.
            if (m_sinceEvents.elapsed() >= TypingEventInterval) {
                QCoreApplication::processEvents();
                m_sinceEvents.restart();
            }
            if (m_stopTyping)
                throw kovra::SearchCancelled{};
        });
    } catch (const kovra::SearchCancelled&) {
    }
    m_typing = false;
    m_stopTyping = false;
    if (rows && m_text1->text() == text) {
        m_results->setRows(*rows);
        m_kept->setRows(std::move(*rows));
    } else if (m_text1->text() != text) {
        m_typedTimer.start();
    }
    const QPointer<frmSearch> self(this);
    for (const auto& action : std::exchange(m_after, {}))
        if (self)
            action();
}

void frmSearch::search()
{
    if (deferWhileTyping([this] { search(); }))
        return;
    // This search gives what the one for the same typed text would.
    m_typedTimer.stop();
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

        m_results->clear();
        m_kept->clear();
        m_sinceGaugePaint.invalidate();

        // Between folders the windows are repainted and the window manager's ping is answered, so the
        // program never looks hung; the input that arrives meanwhile reaches the blocker only.
        QList<kovra::SearchRow> rows = m_catalogue.search(text, [&](int position, int count) {
            gaugeStep(position, count);
            busy.keepAnswering();
        });
        m_results->setRows(rows);
        m_kept->setRows(std::move(rows));
    }
    if (m_results->rowCount() == 0)
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
    // Shown as it grows, at most once a frame: a repaint of its own for each of hundreds of folders
    // would cost more than the search. The last step is always shown at once.
    if (position == count - 1 || !m_sinceGaugePaint.isValid() || m_sinceGaugePaint.elapsed() >= GaugePaintInterval) {
        m_picture1->repaint();
        m_sinceGaugePaint.start();
    } else {
        m_picture1->update();
    }
}

void frmSearch::clear()
{
    if (deferWhileTyping([this] { clear(); }))
        return;
    m_catalogue.shownImage().stopAnimation();
    m_text1->clear();
    m_typedTimer.stop();
    m_results->clear(); // List1 and List2; List3 and List4 keep their rows until the next search
    m_picture1->clear();
    m_text1->setFocus();
}

void frmSearch::showItem()
{
    // Only a row of the results on screen is shown. A remembered row from an earlier search, from before
    // a clear or from a closed window names nothing here, and must not blank the main window's picture
    // or mark areas of another image.
    if (deferWhileTyping([this] { showItem(); }))
        return;
    const int r = s_rememberedRow;
    if (r < 0 || r >= m_results->rowCount() || r >= m_kept->rowCount())
        return;
    const kovra::SearchRow row = m_results->rows()[r];
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

void frmSearch::closeEvent(QCloseEvent* event)
{
    // A search for typed text is stopped first; the window closes once it has returned.
    if (deferWhileTyping([this] { close(); })) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
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
