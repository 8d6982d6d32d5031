#include "frmMain.h"

#include "Catalogue.h"
#include "MessageBox.h"
#include "PictureCanvas.h"
#include "ProgramFolder.h"
#include "ShellOpen.h"
#include "ShownImage.h"
#include "TitleListModel.h"
#include "Ui.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <deque>
#include <utility>

namespace {

// Client area and controls in twips, as the window was drawn; the client area is also the least size.
constexpr int ClientWidthTwips = 9870;
constexpr int ClientHeightTwips = 8505;
constexpr int NewAreaWidthTwips = 2250;
constexpr int NewAreaHeightTwips = 525;
// Pixels kept between the hits and a window moved off them.
constexpr int HitClearance = 12;

// The image list changes with the wheel only while it has the focus: a wheel notch over it must not
// choose another image (and throw away unsaved marker changes) by accident.
class FocusWheelFilter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Wheel) {
            auto* w = qobject_cast<QWidget*>(watched);
            if (w && !w->hasFocus()) {
                event->ignore();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

// --- Window state

struct frmMain::Private
{
    struct OpenWindow
    {
        Window which;
        QPointer<QWidget> widget;
    };

    frmMain* q;
    kovra::Catalogue* catalogue = nullptr;
    QString settingsPath;
    double tpp = 15.0;
    kovra::ShownImage* model = nullptr;

    // Controls
    QToolButton* command4 = nullptr;
    QToolButton* command2 = nullptr;
    QToolButton* command6 = nullptr;
    QLabel* label1 = nullptr;
    QComboBox* combo1 = nullptr;
    kovra::TitleListModel* titles = nullptr; // what Combo1 lists: the catalogue's image list
    QToolButton* command3 = nullptr;
    QToolButton* command1 = nullptr;
    kovra::PictureCanvas* canvas = nullptr;
    QToolButton* zoomOut = nullptr;
    QToolButton* zoomValue = nullptr;
    QToolButton* zoomIn = nullptr;
    QToolButton* zoomFit = nullptr;

    std::function<bool(QWidget*)> saveArrangement;
    QWidget* popupViewport = nullptr; // the list Combo1 drops down
    bool mouseChoice = false;         // the mouse was released on that list a moment ago

    std::map<Window, WindowFactory> factories;
    std::vector<OpenWindow> openWindows; // in opening order

    kovra::ZoomMode zoomMode = kovra::ZoomMode::Actual; // as the settings file holds it
    bool zoomKnown = false;                             // it does (read, or written since)

    bool placed = false;
    bool startMaximized = false;
    QMargins fittedBy;                     // the frame margins the placement was last fitted with
    kovra::WindowPlacement stored, fitted; // from the settings file, and as last fitted
    QTimer* framePoll = nullptr;
    // The placements the window had while it was neither maximised nor minimised, newest last: a window
    // manager may resize the window before it tells it is maximised, so the last ones may be the maximised.
    std::deque<kovra::WindowPlacement> normalPlacements;

    explicit Private(frmMain* owner) : q(owner) {}

    int px(double twips) const { return kovra::ui::twips(twips, tpp); }
    QRect pxRect(int l, int t, int w, int h) const { return QRect(px(l), px(t), px(w), px(h)); }
    QSize clientSize() const { return QSize(px(ClientWidthTwips), px(ClientHeightTwips)); }

    void createControls();
    void createZoomControl();
    void layoutPicture();
    void fillImageList();
    void userChoice();
    void combo1Click();
    void showEntryOf(const QString& folder);
    void imageChosen(const QString& folder);
    void openItemRegistration(int i);
    void zoomModeChanged(kovra::PictureView::Mode mode);
    void keepHitsClear();

    static constexpr Qt::WindowStates NotNormal = Qt::WindowMaximized | Qt::WindowMinimized | Qt::WindowFullScreen;
    kovra::WindowPlacement placement() const { return {q->pos(), q->size()}; }
    void noteNormalPlacement();
    kovra::WindowPlacement normalPlacement() const;
    void placeOnScreen();
    void fitAgainWhenFramed();
    QMargins frameMargins() const
    {
        const QRect f = q->frameGeometry();
        const QRect g = q->geometry();
        return QMargins(g.left() - f.left(), g.top() - f.top(), f.right() - g.right(), f.bottom() - g.bottom());
    }
};

void frmMain::Private::noteNormalPlacement()
{
    if (!q->isVisible() || (q->windowState() & NotNormal))
        return;
    if (normalPlacements.empty() || normalPlacements.back() != placement())
        normalPlacements.push_back(placement());
    if (normalPlacements.size() > 4)
        normalPlacements.pop_front();
}

kovra::WindowPlacement frmMain::Private::normalPlacement() const
{
    if (!(q->windowState() & NotNormal) || normalPlacements.empty())
        return placement();
    return normalPlacements.back();
}

void frmMain::Private::placeOnScreen()
{
    // Before the window manager frames the window its frame is not known: the style's title bar stands in,
    // and the window is fitted again by its own frame once that arrives (a little after the mapping, later
    // on a busy machine, not always with a move: looked at every 100 ms for the first seconds).
    QMargins frame = frameMargins();
    if (frame.isNull()) {
        frame.setTop(q->style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, q));
        if (!startMaximized) {
            framePoll = new QTimer(q);
            QObject::connect(framePoll, &QTimer::timeout, q, [this] { fitAgainWhenFramed(); });
            framePoll->start(100);
            QTimer::singleShot(5000, framePoll, [this] {
                framePoll->deleteLater();
                framePoll = nullptr;
            });
        }
    }
    fittedBy = frame;
    stored = placement();
    const QScreen* screen =
        QGuiApplication::screenAt(stored.framePos + QPoint(stored.size.width() / 2, frame.top() / 2));
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    fitted = kovra::fitOnScreen(stored, q->minimumSize(), screen->availableGeometry(), frame);
    q->resize(fitted.size);
    q->move(fitted.framePos);
    normalPlacements.assign(1, fitted); // beneath a window shown maximised
    if (startMaximized)
        q->setWindowState(q->windowState() | Qt::WindowMaximized);
}

void frmMain::Private::fitAgainWhenFramed()
{
    const QMargins frame = frameMargins();
    if (!framePoll || !q->isVisible() || frame.isNull() || frame == fittedBy)
        return;
    fittedBy = frame;
    const QScreen* screen = q->screen();
    if (!screen || (q->windowState() & NotNormal))
        return;
    // Fitting leaves a placement that fits alone, wherever the user may have put it meanwhile.
    const kovra::WindowPlacement fit =
        kovra::fitOnScreen(placement(), q->minimumSize(), screen->availableGeometry(), frame);
    if (fit.size != q->size())
        q->resize(fit.size);
    if (fit.framePos != q->pos())
        q->move(fit.framePos);
}

void frmMain::Private::createControls()
{
    q->setFont(kovra::ui::defaultFont());
    q->setMinimumSize(clientSize());
    q->resize(clientSize());
    q->setWindowIcon(QIcon(kovra::ui::icon("app.svg")));

    auto button = [&](const char* name, const char* picture, const QString& text, const QString& tip,
                      const QRect& geometry) {
        return kovra::ui::pictureButton(q, name, picture, text, tip, geometry);
    };
    command4 = button("Command4", "main_register.svg", QStringLiteral("ｲﾒｰｼﾞ登録"),
                      QStringLiteral("ｲﾒｰｼﾞ登録用のｳｨﾝﾄﾞｳをｵｰﾌﾟﾝします"), pxRect(120, 120, 1095, 975));
    command2 = button("Command2", "main_arrange.svg", QStringLiteral("ｴﾘｱ配置"),
                      QStringLiteral("ｱｲﾃﾑｴﾘｱ配置用のｳｨﾝﾄﾞｳをｵｰﾌﾟﾝします"), pxRect(1200, 120, 1095, 975));
    command6 = button("Command6", "main_search.svg", QStringLiteral("ｱｲﾃﾑ検索"),
                      QStringLiteral("ｱｲﾃﾑ検索用ｳｨﾝﾄﾞｳをｵｰﾌﾟﾝします"), pxRect(2280, 120, 1095, 975));

    label1 = new QLabel(QStringLiteral("ｲﾒｰｼﾞ一覧"), q);
    label1->setObjectName(QStringLiteral("Label1"));
    QPalette blue = label1->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    label1->setPalette(blue);
    label1->setGeometry(pxRect(3600, 240, 885, 195));
    label1->installEventFilter(q);

    combo1 = new QComboBox(q);
    combo1->setObjectName(QStringLiteral("Combo1"));
    combo1->setEditable(false);
    combo1->setFont(kovra::ui::japaneseFont(QStringLiteral("ＭＳ ゴシック"), 12));
    combo1->setToolTip(QStringLiteral("ｲﾒｰｼﾞの一覧を表示します"));
    combo1->setGeometry(pxRect(3480, 480, 4935, 360));
    combo1->setFocusPolicy(Qt::StrongFocus); // no focus by the wheel
    combo1->installEventFilter(new FocusWheelFilter(combo1));
    // The list handed over whole: many thousand titles inserted one by one take seconds.
    titles = new kovra::TitleListModel(combo1);
    combo1->setModel(titles);
    popupViewport = combo1->view()->viewport();
    popupViewport->installEventFilter(q);

    command3 = button("Command3", "main_manual.svg", QString(), QStringLiteral("使用ﾏﾆｭｱﾙを表示します"),
                      pxRect(8520, 240, 615, 615));
    command1 = button("Command1", "main_exit.svg", QString(), QStringLiteral("ﾌﾟﾛｸﾞﾗﾑを終了します"),
                      pxRect(9120, 240, 615, 615));

    // The picture box: a sunken border around the view of the shown image.
    canvas = new kovra::PictureCanvas(model, q, q);
    canvas->installEventFilter(q);
    QWidget::setTabOrder(combo1, canvas->viewport()); // the picture takes the keys right after the list
    layoutPicture();
    createZoomControl();

    QObject::connect(combo1, &QComboBox::activated, q, [this] { userChoice(); });
    kovra::ui::addLayoutUndoKeys(q, *model);
    QObject::connect(model, &kovra::ShownImage::imageChosen, q, [this](const QString& f) { imageChosen(f); });
    QObject::connect(canvas, &kovra::PictureCanvas::markerClicked, q, [this](int i) { openItemRegistration(i); });
    QObject::connect(command4, &QToolButton::clicked, q, [this] { q->openWindow(Window::ImageRegistration); });
    QObject::connect(command2, &QToolButton::clicked, q, [this] { q->openWindow(Window::AreaArrangement); });
    QObject::connect(command6, &QToolButton::clicked, q, [this] { q->openWindow(Window::Search); });
    QObject::connect(command3, &QToolButton::clicked, q, [this] {
        kovra::ShellOpenFile(q, catalogue->programFolder() + QStringLiteral("/manual/manual.htm"), QString(), 1);
    });
    QObject::connect(command1, &QToolButton::clicked, q, [this] { q->close(); });
}

// The zoom control in the free strip above the picture's right end: smaller, the zoom (a click
// returns to 100 %), larger, the whole photo. The keys do the same anywhere in the window.
void frmMain::Private::createZoomControl()
{
    auto tool = [&](const char* name, const QString& text, const QString& tip, int left, int width) {
        auto* b = new QToolButton(q);
        b->setObjectName(QString::fromLatin1(name));
        b->setText(text);
        b->setToolTip(tip);
        b->setAccessibleName(tip);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setGeometry(px(left), px(855), px(width), px(330));
        return b;
    };
    zoomOut = tool("ZoomOut", QStringLiteral("−"), QStringLiteral("写真を縮小して表示します（Ctrl+-）"), 7860, 330);
    zoomValue =
        tool("ZoomValue", QStringLiteral("100%"), QStringLiteral("等倍（100%）で表示します（Ctrl+1）"), 8190, 720);
    zoomIn = tool("ZoomIn", QStringLiteral("＋"), QStringLiteral("写真を拡大して表示します（Ctrl++）"), 8910, 330);
    zoomFit = tool("ZoomFit", QStringLiteral("全体"), QStringLiteral("写真全体を表示します（Ctrl+0）"), 9240, 480);
    QObject::connect(zoomOut, &QToolButton::clicked, canvas, &kovra::PictureCanvas::zoomOut);
    QObject::connect(zoomValue, &QToolButton::clicked, canvas, &kovra::PictureCanvas::showActual);
    QObject::connect(zoomIn, &QToolButton::clicked, canvas, &kovra::PictureCanvas::zoomIn);
    QObject::connect(zoomFit, &QToolButton::clicked, canvas, &kovra::PictureCanvas::showFit);
    QObject::connect(canvas, &kovra::PictureCanvas::zoomChanged, q, [this](double zoom, kovra::PictureView::Mode mode) {
        zoomValue->setText(QStringLiteral("%1%").arg(qRound(zoom * 100)));
        zoomFit->setDown(mode == kovra::PictureView::Mode::Fit);
    });

    const struct
    {
        QKeySequence keys;
        void (kovra::PictureCanvas::*action)();
    } shortcuts[] = {
        {QKeySequence(Qt::CTRL | Qt::Key_Plus), &kovra::PictureCanvas::zoomIn},
        {QKeySequence(Qt::CTRL | Qt::Key_Equal), &kovra::PictureCanvas::zoomIn},
        {QKeySequence(Qt::CTRL | Qt::Key_Semicolon), &kovra::PictureCanvas::zoomIn},
        {QKeySequence(Qt::CTRL | Qt::Key_Minus), &kovra::PictureCanvas::zoomOut},
        {QKeySequence(Qt::CTRL | Qt::Key_0), &kovra::PictureCanvas::showFit},
        {QKeySequence(Qt::CTRL | Qt::Key_1), &kovra::PictureCanvas::showActual},
    };
    for (const auto& s : shortcuts) {
        auto* sc = new QShortcut(s.keys, q);
        QObject::connect(sc, &QShortcut::activated, canvas, s.action);
    }
}

// The picture box grows with the window; the buttons and the image list keep their places.
void frmMain::Private::layoutPicture()
{
    const QRect drawn = pxRect(120, 1200, 9600, 7200);
    const QSize margin = clientSize() - QSize(drawn.right() + 1, drawn.bottom() + 1);
    canvas->setGeometry(
        QRect(drawn.topLeft(), QPoint(q->width() - margin.width() - 1, q->height() - margin.height() - 1)));
}

// Combo1 shows the catalogue's image list; a new list selects its first entry, which loads that image.
void frmMain::Private::fillImageList()
{
    const QList<kovra::TitleEntry> entries = catalogue->imageList();
    if (catalogue->listFollowedDisk()) {
        // A change made elsewhere: the list names the image shown, which stays (the catalogue chose
        // another one already if it went); none while a removed image with unsaved edits is shown.
        const QSignalBlocker block(combo1);
        titles->setEntries(entries);
        int shown = -1;
        for (qsizetype p = 0; p < entries.size() && shown < 0; ++p)
            if (entries[p].folder == model->folder())
                shown = int(p);
        combo1->setCurrentIndex(shown);
        return;
    }
    {
        const QSignalBlocker block(combo1);
        titles->setEntries(entries);
        combo1->setCurrentIndex(entries.isEmpty() ? -1 : 0);
    }
    if (!entries.isEmpty())
        combo1Click();
}

// The user chose an entry (mouse, keys, wheel): the list has already moved to it. It goes there only once
// the unsaved layout may be left; a choice by the mouse hands the keys to the picture, so that an arrow
// key then moves the view instead of choosing the next image.
void frmMain::Private::userChoice()
{
    const bool byMouse = std::exchange(mouseChoice, false);
    const int chosen = combo1->currentIndex();
    showEntryOf(model->folder()); // while asked, and after キャンセル, the list names the image shown
    if (!q->mayLeaveShownImage(q))
        return;
    {
        const QSignalBlocker block(combo1);
        combo1->setCurrentIndex(chosen);
    }
    combo1Click();
    if (byMouse)
        canvas->viewport()->setFocus(Qt::MouseFocusReason);
}

void frmMain::Private::combo1Click()
{
    const QList<kovra::TitleEntry> entries = catalogue->imageList();
    const int p = combo1->currentIndex();
    model->chooseImage(p >= 0 && p < entries.size() ? entries[p].folder : model->folder());
}

void frmMain::Private::showEntryOf(const QString& folder)
{
    const QList<kovra::TitleEntry> entries = catalogue->imageList();
    for (qsizetype p = 0; p < entries.size(); ++p) {
        if (entries[p].folder == folder && combo1->currentIndex() != int(p)) {
            const QSignalBlocker block(combo1);
            combo1->setCurrentIndex(int(p));
        }
    }
}

// Every full image selection, whoever made it (the list, Show item): the list shows its entry.
void frmMain::Private::imageChosen(const QString& folder)
{
    showEntryOf(folder);
    emit q->imageSelected(folder);
}

// The mode the next image starts in goes to the settings file as soon as the user changes it (a zoom of
// its own starts the next image at 100 %). A failed write leaves the file as it was; the next change tries again.
void frmMain::Private::zoomModeChanged(kovra::PictureView::Mode mode)
{
    const kovra::ZoomMode now = mode == kovra::PictureView::Mode::Fit ? kovra::ZoomMode::Fit : kovra::ZoomMode::Actual;
    if (zoomKnown && now == zoomMode)
        return;
    zoomKnown = kovra::saveZoomMode(settingsPath, now) == kovra::WriteStatus::Ok;
    zoomMode = now;
}

// After Show item the search window, wherever it was opened, must not hide the hits in view: it moves
// beside them on its screen; where no place is clear the view scrolls the hits (or the first one) out
// from under it, and it takes the place that hides the least of what is left.
void frmMain::Private::keepHitsClear()
{
    QWidget* w = q->openedWindow(Window::Search);
    if (!w || !w->isVisible() || !w->screen())
        return;
    const QRect available = w->screen()->availableGeometry();
    const QRect frame = w->frameGeometry();
    QRect hits = canvas->hitsOnScreen(false);
    if (hits.isEmpty())
        return;
    kovra::ClearPlace place = kovra::placeClearOf(frame, hits, available, HitClearance);
    if (place.covered > 0) {
        canvas->scrollHitsClearOf(frame.adjusted(-HitClearance, -HitClearance, HitClearance, HitClearance));
        hits = canvas->hitsOnScreen(false);
        place = kovra::placeClearOf(frame, hits, available, HitClearance);
        if (place.covered > 0)
            place = kovra::placeClearOf(frame, canvas->hitsOnScreen(true), available, HitClearance);
    }
    if (place.framePos != frame.topLeft())
        w->move(place.framePos);
    w->raise();
}

void frmMain::Private::openItemRegistration(int i)
{
    model->selectArea(i);
    q->openWindow(Window::ItemRegistration);
}

// --- frmMain

frmMain::frmMain(kovra::Catalogue& catalogue, QWidget* parent) : QWidget(parent), d(std::make_unique<Private>(this))
{
    d->catalogue = &catalogue;
    d->settingsPath = catalogue.settingsFilePath();
    d->tpp = kovra::ui::twipsPerPixel(); // needed to place the controls; recorded again below
    d->model = &catalogue.shownImage();
    d->createControls();
    connect(&catalogue, &kovra::Catalogue::imageListChanged, this, [this] { d->fillImageList(); });
    // The list follows the disk while the program runs; an open list waits until it closes.
    catalogue.setDiskFollowHold([this] { return d->combo1->view()->isVisible(); });
    catalogue.followDisk();

    kovra::readWindowPosition(d->settingsPath, *this);
    const QSizeF stored = kovra::readWindowSize(d->settingsPath);
    if (!stored.isEmpty())
        resize(QSize(kovra::ui::twips(stored.width(), d->tpp), kovra::ui::twips(stored.height(), d->tpp))
                   .expandedTo(d->clientSize()));
    d->startMaximized = kovra::readWindowMaximized(d->settingsPath);
    // The first image already opens in the mode the user left.
    d->zoomMode = kovra::readZoomMode(d->settingsPath);
    d->zoomKnown = true;
    if (d->zoomMode == kovra::ZoomMode::Fit)
        d->canvas->showFit();
    connect(d->canvas, &kovra::PictureCanvas::zoomChanged, this,
            [this](double, kovra::PictureView::Mode mode) { d->zoomModeChanged(mode); });
    connect(d->model, &kovra::ShownImage::hitsShown, this, [this] { d->keepHitsClear(); });
    setWindowTitle(QStringLiteral("Kovra!"));
    // All marks start hidden and nothing is selected (the model starts so).
    d->tpp = kovra::ui::twipsPerPixel();
    // At start the titles default to an empty text.
    catalogue.rebuildImageList(QString(), false);
}

frmMain::frmMain(const QString& programFolder, QWidget* parent) : frmMain(*new kovra::Catalogue(programFolder), parent)
{
    d->catalogue->setParent(this);
}

frmMain::~frmMain()
{
    d->catalogue->setDiskFollowHold({});
    // The other windows live no longer than the main window, also when it goes without being closed
    // (a test, or a crash handler); newest first, as closing does.
    const auto windows = d->openWindows;
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        delete it->widget.data();
}

kovra::Catalogue& frmMain::catalogue() const
{
    return *d->catalogue;
}
kovra::ShownImage& frmMain::shownImage() const
{
    return *d->model;
}
kovra::PictureCanvas& frmMain::canvas() const
{
    return *d->canvas;
}
double frmMain::twipsPerPixel() const
{
    return d->tpp;
}

QRectF frmMain::newAreaRect() const
{
    return d->canvas->newAreaRect(QSizeF(NewAreaWidthTwips / d->tpp, NewAreaHeightTwips / d->tpp));
}

int frmMain::selectedImagePosition() const
{
    return d->combo1->currentIndex();
}

void frmMain::rebuildImageList()
{
    d->catalogue->rebuildImageList();
}

void frmMain::selectImage(const QString& folder)
{
    const QList<kovra::TitleEntry> entries = d->catalogue->imageList();
    for (qsizetype p = 0; p < entries.size(); ++p) {
        if (entries[p].folder == folder) {
            {
                const QSignalBlocker block(d->combo1);
                d->combo1->setCurrentIndex(int(p));
            }
            d->combo1Click();
            return;
        }
    }
}

bool frmMain::hasPicture() const
{
    return d->canvas->hasPhoto();
}

void frmMain::setWindowFactory(Window which, WindowFactory factory)
{
    d->factories[which] = std::move(factory);
}

QWidget* frmMain::openWindow(Window which)
{
    auto& list = d->openWindows;
    std::erase_if(list, [](const Private::OpenWindow& w) { return w.widget.isNull(); });
    for (auto it = list.begin(); it != list.end(); ++it) {
        if (it->which != which)
            continue;
        QWidget* w = it->widget;
        if (w->isHidden()) {
            // Shown again after it was hidden: it counts as opened now.
            Private::OpenWindow again = *it;
            list.erase(it);
            list.push_back(again);
            w->show();
        }
        if (w->isMinimized())
            w->showNormal();
        w->raise();
        w->activateWindow();
        return w;
    }
    const auto f = d->factories.find(which);
    if (f == d->factories.end() || !f->second)
        return nullptr;
    QWidget* w = f->second();
    if (!w)
        return nullptr;
    w->setAttribute(Qt::WA_DeleteOnClose);
    list.push_back({which, w});
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

QWidget* frmMain::openedWindow(Window which) const
{
    for (const auto& w : d->openWindows)
        if (w.which == which && !w.widget.isNull())
            return w.widget;
    return nullptr;
}

void frmMain::setPlacementModeQuery(std::function<bool()> query)
{
    d->canvas->setPlacementModeQuery(std::move(query));
}

void frmMain::setArrangementSaver(std::function<bool(QWidget*)> save)
{
    d->saveArrangement = std::move(save);
}

bool frmMain::mayLeaveShownImage(QWidget* asking)
{
    kovra::ShownImage& image = *d->model;
    // Areas opened with no image shown have no files to go to.
    if (!image.isModified() || image.folder().isEmpty())
        return true;
    QWidget* parent = asking ? asking : this;
    switch (kovra::MessageBox::askToSave(parent, QStringLiteral("ｱｲﾃﾑｴﾘｱの配置が変更されています．保存しますか？"),
                                         QStringLiteral("ｱｲﾃﾑｴﾘｱの配置"))) {
    case kovra::MessageBox::Answer::Save:
        // A failed write is told by the saver and leaves everything as it was.
        if (d->saveArrangement)
            return d->saveArrangement(parent);
        return d->catalogue->saveArrangement() == kovra::WriteStatus::Ok;
    case kovra::MessageBox::Answer::Discard:
        image.discardEdits();
        return true;
    default:
        return false;
    }
}

double frmMain::topTwips() const
{
    return d->normalPlacement().framePos.y() * d->tpp;
}

double frmMain::leftTwips() const
{
    return d->normalPlacement().framePos.x() * d->tpp;
}

void frmMain::setTopTwips(double twips)
{
    move(pos().x(), kovra::ui::twips(twips, d->tpp));
}

void frmMain::setLeftTwips(double twips)
{
    move(kovra::ui::twips(twips, d->tpp), pos().y());
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (!kovra::MessageBox::confirm(this, QStringLiteral("終了してもいいですか"), QStringLiteral("お疲れ様でした")) ||
        !mayLeaveShownImage(this)) {
        event->ignore();
        return;
    }
    kovra::saveWindowPosition(d->settingsPath, *this);
    // Size and state only once they differ from the drawn ones (or were stored before): a settings file of
    // the earlier build keeps just its own keys.
    const QSize normal = d->normalPlacement().size;
    if (normal != d->clientSize() || !kovra::readWindowSize(d->settingsPath).isEmpty())
        kovra::saveWindowSize(d->settingsPath, QSizeF(normal.width() * d->tpp, normal.height() * d->tpp));
    const bool maximized = windowState() & Qt::WindowMaximized;
    if (maximized || kovra::readWindowMaximized(d->settingsPath))
        kovra::saveWindowMaximized(d->settingsPath, maximized);
    // Newest first; each runs its own closing. Nothing of theirs is saved here.
    const auto windows = d->openWindows;
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (!it->widget.isNull())
            it->widget->close();
    d->openWindows.clear();
    d->model->stopAnimation();
    event->accept();
    emit programEnding();
}

void frmMain::setVisible(bool visible)
{
    if (visible && !d->placed) {
        d->placed = true;
        d->placeOnScreen();
    }
    QWidget::setVisible(visible);
    d->noteNormalPlacement();
    d->fitAgainWhenFramed();
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (d->canvas)
        d->layoutPicture();
    d->noteNormalPlacement();
    d->fitAgainWhenFramed();
}

void frmMain::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    d->noteNormalPlacement();
    d->fitAgainWhenFramed();
}

void frmMain::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // Fitting again is for the first frame only: the window manager restores a window it unmaximises.
    if (event->type() == QEvent::WindowStateChange && d->framePoll) {
        d->framePoll->deleteLater();
        d->framePoll = nullptr;
    }
    // Placements noted at the maximised size came before the news of the state: not the normal ones.
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMaximized))
        while (d->normalPlacements.size() > 1 && d->normalPlacements.back().size == size())
            d->normalPlacements.pop_back();
}

void frmMain::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        openWindow(Window::About);
    event->accept();
}

// The label and the picture's border are controls of their own: a double-click on them is not one on
// the window's free surface.
bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    // A release on the dropped-down list chooses its entry right after this (activated); anything else
    // that chooses comes later than the next turn of the event loop.
    if (watched == d->popupViewport && event->type() == QEvent::MouseButtonRelease) {
        d->mouseChoice = true;
        QTimer::singleShot(0, this, [this] { d->mouseChoice = false; });
        return false;
    }
    if ((watched == d->label1 || watched == d->canvas) &&
        (event->type() == QEvent::MouseButtonDblClick || event->type() == QEvent::MouseButtonPress ||
         event->type() == QEvent::MouseButtonRelease))
        return true;
    return QWidget::eventFilter(watched, event);
}
