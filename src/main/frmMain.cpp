#include "frmMain.h"

#include "MarkGeometry.h"
#include "MessageBox.h"
#include "ProgramFolder.h"
#include "ShellOpen.h"
#include "Ui.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QTimer>
#include <QToolButton>

namespace {

constexpr int HandleSize = 9;
constexpr int IconSize = 32;
constexpr int FrameCount = 4;

// Client area and controls in twips, as the window was drawn.
constexpr int ClientWidthTwips = 9870;
constexpr int ClientHeightTwips = 8505;

// Only Shift, Ctrl and Alt count as the shift state.
Qt::KeyboardModifiers shiftState(Qt::KeyboardModifiers m)
{
    return m & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
}

} // namespace

// --- The marks and the picture box. Each forwards its mouse events to the window's state.

class MouseSink
{
public:
    virtual ~MouseSink() = default;
    virtual void markerPress(int i, QMouseEvent* e) = 0;
    virtual void markerMove(int i, QMouseEvent* e) = 0;
    virtual void markerRelease(int i, QMouseEvent* e) = 0;
    virtual void markerDoubleClick(int i, QMouseEvent* e) = 0;
    virtual void picturePress(QMouseEvent* e) = 0;
    virtual void pictureMove(QMouseEvent* e) = 0;
    virtual void pictureRelease(QMouseEvent* e) = 0;
};

class PictureBox : public QWidget
{
public:
    PictureBox(MouseSink* d, QWidget* parent) : QWidget(parent), m_d(d)
    {
        setObjectName(QStringLiteral("Picture1"));
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, Qt::white);
        setPalette(p);
        setMouseTracking(true); // the last pointer position is kept on every move
    }
    QPixmap picture;

protected:
    void paintEvent(QPaintEvent*) override
    {
        if (picture.isNull())
            return;
        QPainter painter(this);
        painter.drawPixmap(0, 0, picture); // unscaled from the top-left corner; the widget cuts the rest
    }
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    MouseSink* m_d;
};

class AreaMarker : public QWidget
{
public:
    AreaMarker(MouseSink* d, int index, QWidget* parent) : QWidget(parent), m_d(d), m_index(index)
    {
        setObjectName(QStringLiteral("ImgArea%1").arg(index));
    }
    QRectF rect; // picture pixels as set, fractions kept

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(QRect(0, 0, width() - 1, height() - 1));
    }
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    MouseSink* m_d;
    int m_index;
};

// Red frame and yellow handle: drawn only, the mouse goes through to what lies below.
class OutlineMark : public QWidget
{
public:
    OutlineMark(const QColor& line, int lineWidth, const QColor& fill, QWidget* parent)
        : QWidget(parent), m_line(line), m_lineWidth(lineWidth), m_fill(fill)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (m_fill.isValid())
            painter.fillRect(rect(), m_fill);
        painter.setPen(Qt::NoPen);
        painter.setBrush(m_line);
        const int w = m_lineWidth;
        painter.drawRect(0, 0, width(), w);
        painter.drawRect(0, height() - w, width(), w);
        painter.drawRect(0, 0, w, height());
        painter.drawRect(width() - w, 0, w, height());
    }

private:
    QColor m_line;
    int m_lineWidth;
    QColor m_fill;
};

// A hit icon takes presses and does nothing with them; drops on it are refused.
class HitIcon : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void mousePressEvent(QMouseEvent* e) override { e->accept(); }
    void mouseReleaseEvent(QMouseEvent* e) override { e->accept(); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { e->accept(); }
};

// The outline that follows the pointer while a marker is dragged.
class DragOutline : public QWidget
{
public:
    explicit DragOutline(QWidget* parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("DragOutline"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        hide();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setPen(QPen(Qt::black, 1, Qt::DotLine));
        painter.drawRect(QRect(0, 0, width() - 1, height() - 1));
        painter.setPen(QPen(Qt::white, 1, Qt::DotLine));
        painter.drawRect(QRect(1, 1, width() - 3, height() - 3));
    }
};

// --- Window state

struct frmMain::Private : MouseSink
{
    struct OpenWindow
    {
        Window which;
        QPointer<QWidget> widget;
    };

    frmMain* q;
    QString programFolder;
    QString settingsPath;
    QString currentImageFolder;
    int selectedAreaIndex = -1;
    double tpp = 15.0;
    kovra::AreaTable areaTable;

    QStringList folders;              // Dir1
    QList<kovra::TitleEntry> entries; // Combo1's entries with their folders

    // Marks and mouse state
    bool resizeMode = false;
    QPoint grab;
    QPoint lastPointer;
    int dragging = -1;      // marker being dragged, -1 for none
    QPointF dragStart;      // press position in window coordinates
    bool dragMoved = false; // the outline has appeared
    qint16 animationCounter = 0;

    // Controls
    QToolButton* command4 = nullptr;
    QToolButton* command2 = nullptr;
    QToolButton* command6 = nullptr;
    QLabel* label1 = nullptr;
    QComboBox* combo1 = nullptr;
    QToolButton* command3 = nullptr;
    QToolButton* command1 = nullptr;
    QFrame* pictureFrame = nullptr;
    PictureBox* picture1 = nullptr;
    std::array<AreaMarker*, kovra::AreaCount> imgArea{};
    std::array<OutlineMark*, kovra::AreaCount> spKoKo{};
    OutlineMark* spHandle = nullptr;
    std::array<HitIcon*, kovra::AreaCount> imgFind{};
    std::array<QLabel*, FrameCount> imgIcon1{};
    DragOutline* outline = nullptr;
    QTimer* timer1 = nullptr;

    std::map<Window, WindowFactory> factories;
    std::vector<OpenWindow> openWindows; // in opening order
    std::function<bool()> placementMode;

    explicit Private(frmMain* owner) : q(owner) {}

    int px(double twips) const { return kovra::ui::twips(twips, tpp); }
    QRect pxRect(int l, int t, int w, int h) const { return QRect(px(l), px(t), px(w), px(h)); }

    void createControls();
    void listupImageTitle();
    void fillImageList(const QString& defaultTitle);
    void combo1Click();
    void timer1Timer();
    void setMarkerRect(int i, const QRectF& r);
    bool validArea(int i) const { return i >= 0 && i < kovra::AreaCount; }

    void markerPress(int i, QMouseEvent* e) override;
    void markerMove(int i, QMouseEvent* e) override;
    void markerRelease(int i, QMouseEvent* e) override;
    void markerDoubleClick(int i, QMouseEvent* e) override;
    void dropAt(QPointF windowPos);
    void picturePress(QMouseEvent* e) override;
    void pictureMove(QMouseEvent* e) override;
    void pictureRelease(QMouseEvent* e) override;
    void openItemRegistration(int i);
};

void PictureBox::mousePressEvent(QMouseEvent* e)
{
    m_d->picturePress(e);
}
void PictureBox::mouseMoveEvent(QMouseEvent* e)
{
    m_d->pictureMove(e);
}
void PictureBox::mouseReleaseEvent(QMouseEvent* e)
{
    m_d->pictureRelease(e);
}
void AreaMarker::mousePressEvent(QMouseEvent* e)
{
    m_d->markerPress(m_index, e);
}
void AreaMarker::mouseMoveEvent(QMouseEvent* e)
{
    m_d->markerMove(m_index, e);
}
void AreaMarker::mouseReleaseEvent(QMouseEvent* e)
{
    m_d->markerRelease(m_index, e);
}
void AreaMarker::mouseDoubleClickEvent(QMouseEvent* e)
{
    m_d->markerDoubleClick(m_index, e);
}

void frmMain::Private::createControls()
{
    q->setFont(kovra::ui::defaultFont());
    q->setFixedSize(px(ClientWidthTwips), px(ClientHeightTwips));
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

    command3 = button("Command3", "main_manual.svg", QString(), QStringLiteral("使用ﾏﾆｭｱﾙを表示します"),
                      pxRect(8520, 240, 615, 615));
    command1 = button("Command1", "main_exit.svg", QString(), QStringLiteral("ﾌﾟﾛｸﾞﾗﾑを終了します"),
                      pxRect(9120, 240, 615, 615));

    // The picture box: a sunken border around the inner area whose pixels are the marks' coordinates.
    pictureFrame = new QFrame(q);
    pictureFrame->setObjectName(QStringLiteral("Picture1Frame"));
    pictureFrame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pictureFrame->setLineWidth(2);
    pictureFrame->setGeometry(pxRect(120, 1200, 9600, 7200));
    pictureFrame->installEventFilter(q);
    picture1 = new PictureBox(this, pictureFrame);
    picture1->setGeometry(pictureFrame->contentsRect());
    picture1->setToolTip(QStringLiteral("右ﾎﾞﾀﾝｸﾘｯｸでｱｲﾃﾑﾏｰｶｰを非表示"));

    // Stacking, bottom to top: markers (higher index above lower), hit frames, the handle, hit icons.
    // The handle and frames let the mouse through; hit icons take it, so a press on an icon does nothing.
    for (int i = 0; i < kovra::AreaCount; ++i)
        imgArea[size_t(i)] = new AreaMarker(this, i, picture1);
    for (int i = 0; i < kovra::AreaCount; ++i) {
        auto* f = new OutlineMark(Qt::red, 2, QColor(), picture1);
        f->setObjectName(QStringLiteral("spKoKo%1").arg(i));
        f->hide();
        spKoKo[size_t(i)] = f;
    }
    spHandle = new OutlineMark(Qt::black, 1, Qt::yellow, picture1);
    spHandle->setObjectName(QStringLiteral("SpHandle"));
    spHandle->resize(HandleSize, HandleSize);
    spHandle->hide();
    for (int i = 0; i < FrameCount; ++i) {
        auto* l = new QLabel(q);
        l->setObjectName(QStringLiteral("ImgIcon1_%1").arg(i));
        l->setPixmap(QIcon(kovra::ui::icon("dog%1.svg").arg(i)).pixmap(IconSize, IconSize));
        l->hide();
        imgIcon1[size_t(i)] = l;
    }
    for (int i = 0; i < kovra::AreaCount; ++i) {
        auto* f = new HitIcon(picture1);
        f->setObjectName(QStringLiteral("ImgFind%1").arg(i));
        f->resize(IconSize, IconSize);
        f->setPixmap(imgIcon1[0]->pixmap());
        imgFind[size_t(i)] = f;
    }

    outline = new DragOutline(q);

    timer1 = new QTimer(q);
    timer1->setObjectName(QStringLiteral("Timer1"));
    timer1->setInterval(250);

    QObject::connect(combo1, &QComboBox::activated, q, [this] { combo1Click(); });
    QObject::connect(timer1, &QTimer::timeout, q, [this] { timer1Timer(); });
    QObject::connect(command4, &QToolButton::clicked, q, [this] { q->openWindow(Window::ImageRegistration); });
    QObject::connect(command2, &QToolButton::clicked, q, [this] { q->openWindow(Window::AreaArrangement); });
    QObject::connect(command6, &QToolButton::clicked, q, [this] { q->openWindow(Window::Search); });
    QObject::connect(command3, &QToolButton::clicked, q, [this] {
        kovra::ShellOpenFile(q, programFolder + QStringLiteral("/manual/manual.htm"), QString(), 1);
    });
    QObject::connect(command1, &QToolButton::clicked, q, [this] { q->close(); });
}

void frmMain::Private::listupImageTitle()
{
    folders = kovra::folderList(programFolder);
    if (folders.isEmpty())
        return;
    fillImageList(QString());
}

// Fills Combo1 from the folder list and selects its first entry, which loads that image.
void frmMain::Private::fillImageList(const QString& defaultTitle)
{
    entries = kovra::titleList(folders, defaultTitle);
    {
        const QSignalBlocker block(combo1);
        combo1->clear();
        for (const kovra::TitleEntry& e : entries)
            combo1->addItem(e.title);
        if (!entries.isEmpty())
            combo1->setCurrentIndex(0);
    }
    if (!entries.isEmpty())
        combo1Click();
}

void frmMain::Private::combo1Click()
{
    q->hideAreaMarkers();
    q->hideHandle();
    const int p = combo1->currentIndex();
    if (p >= 0 && p < entries.size()) {
        const QString folder = entries[p].folder;
        const QString file = kovra::picturePathOf(folder);
        if (file.isEmpty())
            q->clearPicture();
        else
            q->loadPicture(file); // an unreadable file leaves the old picture
        currentImageFolder = folder;
    }
    q->hideHitFrames();
    q->loadImageArea(currentImageFolder);
    q->stopAnimation();
    q->hideHitIcons();
    emit q->imageSelected(currentImageFolder);
}

void frmMain::Private::timer1Timer()
{
    ++animationCounter;
    const int k = animationCounter & 3;
    const QPixmap frame = imgIcon1[size_t(k)]->pixmap();
    for (HitIcon* icon : imgFind)
        icon->setPixmap(frame);
    if (animationCounter > 30000)
        animationCounter = 0;
}

void frmMain::Private::setMarkerRect(int i, const QRectF& r)
{
    AreaMarker* m = imgArea[size_t(i)];
    m->rect = r;
    m->setGeometry(r.toRect().normalized());
}

// --- Mouse on the marks

void frmMain::Private::markerPress(int i, QMouseEvent* e)
{
    e->accept();
    selectedAreaIndex = i;
    if (e->button() != Qt::LeftButton || e->buttons() != Qt::LeftButton)
        return;
    // The position in twips inside the marker, as the old controls reported it, back to pixels.
    grab = kovra::marks::grabOffset(e->position() * tpp, tpp);
    dragging = i;
    dragMoved = false;
    dragStart = imgArea[size_t(i)]->mapTo(q, e->position());
    imgArea[size_t(i)]->setCursor(Qt::ClosedHandCursor);
    q->showHandleAt(i);
}

void frmMain::Private::markerMove(int i, QMouseEvent* e)
{
    e->accept();
    if (dragging != i)
        return;
    const QPointF pos = imgArea[size_t(i)]->mapTo(q, e->position());
    if (!dragMoved && (pos - dragStart).manhattanLength() < QApplication::startDragDistance())
        return;
    dragMoved = true;
    outline->setGeometry(QRect((pos - QPointF(grab)).toPoint(), imgArea[size_t(i)]->size()));
    outline->show();
    outline->raise();
}

void frmMain::Private::markerRelease(int i, QMouseEvent* e)
{
    e->accept();
    if (dragging != i || e->button() != Qt::LeftButton)
        return;
    dragging = -1;
    outline->hide();
    imgArea[size_t(i)]->unsetCursor();
    if (dragMoved)
        dropAt(imgArea[size_t(i)]->mapTo(q, e->position()));
    else
        openItemRegistration(i); // a click without movement
}

void frmMain::Private::markerDoubleClick(int i, QMouseEvent* e)
{
    e->accept();
    if (e->button() == Qt::LeftButton)
        openItemRegistration(i);
}

void frmMain::Private::openItemRegistration(int i)
{
    selectedAreaIndex = i;
    q->openWindow(Window::ItemRegistration);
}

// A drop of the dragged marker: on the picture or on any marker it moves by the grab offset;
// anywhere else (outside the picture, on a hit icon) nothing happens.
void frmMain::Private::dropAt(QPointF windowPos)
{
    const int s = selectedAreaIndex;
    if (!validArea(s))
        return;
    QWidget* target = q->childAt(windowPos.toPoint());
    QPointF pointer;
    if (target == picture1) {
        pointer = picture1->mapFrom(q, windowPos);
    } else if (auto* marker = dynamic_cast<AreaMarker*>(target)) {
        pointer = marker->rect.topLeft() + marker->mapFrom(q, windowPos);
    } else {
        return;
    }
    const QRectF old = imgArea[size_t(s)]->rect;
    setMarkerRect(s, QRectF(kovra::marks::droppedTopLeft(pointer, grab), old.size()));
    q->showHandleAt(s);
}

void frmMain::Private::picturePress(QMouseEvent* e)
{
    e->accept();
    resizeMode = false;
    if (selectedAreaIndex == -1)
        return;
    q->hideHandle();
    resizeMode = true;
}

void frmMain::Private::pictureMove(QMouseEvent* e)
{
    e->accept();
    lastPointer = kovra::marks::roundedPoint(e->position());
    if (e->buttons() != Qt::LeftButton || !validArea(selectedAreaIndex))
        return;
    const bool placement = placementMode && placementMode();
    if (shiftState(e->modifiers()) != Qt::ShiftModifier && !placement)
        return;
    if (!resizeMode)
        return;
    const int s = selectedAreaIndex;
    setMarkerRect(s, kovra::marks::resizedTo(imgArea[size_t(s)]->rect, lastPointer));
}

void frmMain::Private::pictureRelease(QMouseEvent* e)
{
    e->accept();
    if (selectedAreaIndex == -1)
        return;
    resizeMode = false;
    if (e->button() == Qt::LeftButton) {
        q->showHandleAt(selectedAreaIndex);
    } else {
        q->hideHandle();
        selectedAreaIndex = -1;
    }
}

// --- frmMain

frmMain::frmMain(const QString& programFolder, QWidget* parent) : QWidget(parent), d(std::make_unique<Private>(this))
{
    d->programFolder = programFolder;
    d->settingsPath = kovra::settingsFilePath(programFolder);
    d->tpp = kovra::ui::twipsPerPixel(); // needed to place the controls; recorded again below
    d->createControls();

    kovra::readWindowPosition(d->settingsPath, *this);
    setWindowTitle(QStringLiteral("Kovra!"));
    for (AreaMarker* m : d->imgArea)
        m->hide();
    for (AreaMarker* m : d->imgArea)
        m->setToolTip(QStringLiteral("[Shift]+ﾏｳｽﾄﾞﾗｯｸﾞでｱｲﾃﾑｴﾘｱにｻｲｽﾞ変更"));
    hideHitIcons();
    d->resizeMode = false;
    d->selectedAreaIndex = -1;
    d->tpp = kovra::ui::twipsPerPixel();
    d->listupImageTitle();
}

frmMain::~frmMain()
{
    // The other windows live no longer than the main window, also when it goes without being closed
    // (a test, or a crash handler); newest first, as closing does.
    const auto windows = d->openWindows;
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        delete it->widget.data();
}

QString frmMain::programFolder() const
{
    return d->programFolder;
}
QString frmMain::settingsFilePath() const
{
    return d->settingsPath;
}
QString frmMain::currentImageFolder() const
{
    return d->currentImageFolder;
}
int frmMain::selectedAreaIndex() const
{
    return d->selectedAreaIndex;
}
void frmMain::setSelectedAreaIndex(int index)
{
    d->selectedAreaIndex = d->validArea(index) ? index : -1;
}
double frmMain::twipsPerPixel() const
{
    return d->tpp;
}
kovra::AreaTable& frmMain::areaTable()
{
    return d->areaTable;
}

QStringList frmMain::folderList() const
{
    return d->folders;
}
void frmMain::refreshFolderList()
{
    d->folders = kovra::folderList(d->programFolder);
}
QList<kovra::TitleEntry> frmMain::imageEntries() const
{
    return d->entries;
}
int frmMain::selectedImagePosition() const
{
    return d->combo1->currentIndex();
}

void frmMain::rebuildImageList()
{
    refreshFolderList();
    d->fillImageList(kovra::nonTitled());
    if (d->entries.isEmpty()) {
        // The last image is gone: show nothing rather than a deleted picture with its markers.
        clearPicture();
        hideAreaMarkers();
        hideHandle();
        hideHitFrames();
        stopAnimation();
        hideHitIcons();
        d->currentImageFolder.clear();
        d->areaTable = kovra::AreaTable{};
    }
}

void frmMain::selectImage(const QString& folder)
{
    for (qsizetype p = 0; p < d->entries.size(); ++p) {
        if (d->entries[p].folder == folder) {
            {
                const QSignalBlocker block(d->combo1);
                d->combo1->setCurrentIndex(int(p));
            }
            d->combo1Click();
            return;
        }
    }
}

void frmMain::loadImageArea(const QString& folder)
{
    if (folder.isEmpty()) {
        // No image chosen: nothing is in use (and no file outside the program folder is read).
        for (int i = 0; i < kovra::AreaCount; ++i) {
            d->areaTable.shown[size_t(i)] = false;
            d->imgArea[size_t(i)]->hide();
        }
        return;
    }
    const auto areas = kovra::loadImageAreas(folder);
    for (int i = 0; i < kovra::AreaCount; ++i) {
        const kovra::LoadedArea& a = areas[size_t(i)];
        AreaMarker* m = d->imgArea[size_t(i)];
        switch (a.state) {
        case kovra::LoadedArea::State::NotInUse:
            d->areaTable.shown[size_t(i)] = false;
            m->hide();
            break;
        case kovra::LoadedArea::State::InUse:
        case kovra::LoadedArea::State::Failed: {
            // Left, Top, Width, Height in this order; a failed area keeps what was set before the failure.
            QRectF r = m->rect;
            if (a.geometry[0])
                r.moveLeft(*a.geometry[0]);
            if (a.geometry[1])
                r.moveTop(*a.geometry[1]);
            if (a.geometry[2])
                r.setWidth(*a.geometry[2]);
            if (a.geometry[3])
                r.setHeight(*a.geometry[3]);
            d->setMarkerRect(i, r);
            if (a.state == kovra::LoadedArea::State::InUse) {
                d->areaTable.shown[size_t(i)] = true;
                m->show();
            }
            break;
        }
        case kovra::LoadedArea::State::Unread:
            break;
        }
    }
}

bool frmMain::loadPicture(const QString& path)
{
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QImage image = reader.read();
    if (image.isNull())
        return false;
    d->picture1->picture = QPixmap::fromImage(image);
    d->picture1->update();
    return true;
}

void frmMain::clearPicture()
{
    d->picture1->picture = QPixmap();
    d->picture1->update();
}

void frmMain::showPreview(const QString& path)
{
    clearPicture();
    loadPicture(path);
}

bool frmMain::hasPicture() const
{
    return !d->picture1->picture.isNull();
}

bool frmMain::isMarkerShown(int area) const
{
    return d->validArea(area) && !d->imgArea[size_t(area)]->isHidden();
}

void frmMain::setMarkerShown(int area, bool shown)
{
    if (d->validArea(area))
        d->imgArea[size_t(area)]->setVisible(shown);
}

QRectF frmMain::markerRect(int area) const
{
    return d->validArea(area) ? d->imgArea[size_t(area)]->rect : QRectF();
}

void frmMain::setMarkerRect(int area, const QRectF& rect)
{
    if (d->validArea(area))
        d->setMarkerRect(area, rect);
}

void frmMain::hideAreaMarkers()
{
    for (AreaMarker* m : d->imgArea)
        m->hide();
}

void frmMain::showHandleAt(int area)
{
    if (!d->validArea(area))
        return;
    d->spHandle->move(d->imgArea[size_t(area)]->rect.topLeft().toPoint());
    d->spHandle->show();
}

void frmMain::hideHandle()
{
    d->spHandle->hide();
}

bool frmMain::isHandleShown() const
{
    return !d->spHandle->isHidden();
}

void frmMain::hideHitFrames()
{
    for (OutlineMark* f : d->spKoKo)
        f->hide();
}

void frmMain::hideHitIcons()
{
    for (HitIcon* i : d->imgFind)
        i->hide();
}

void frmMain::showHitMark(int area, const std::array<std::optional<qint16>, 4>& g)
{
    if (!d->validArea(area))
        return;
    OutlineMark* frame = d->spKoKo[size_t(area)];
    QRect r = frame->geometry();
    if (g[0])
        r.moveLeft(*g[0]);
    if (g[1])
        r.moveTop(*g[1]);
    if (g[2])
        r.setWidth(*g[2]);
    if (g[3])
        r.setHeight(*g[3]);
    frame->setGeometry(r);
    HitIcon* icon = d->imgFind[size_t(area)];
    QPoint p = icon->pos();
    if (g[0])
        p.setX(*g[0]);
    if (g[1])
        p.setY(*g[1]);
    icon->move(p);
    frame->show();
    icon->show();
}

void frmMain::startAnimation()
{
    d->timer1->start();
}

void frmMain::stopAnimation()
{
    d->timer1->stop();
}

bool frmMain::isAnimating() const
{
    return d->timer1->isActive();
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
    QWidget* w = f->second(this);
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
    d->placementMode = std::move(query);
}

double frmMain::topTwips() const
{
    return pos().y() * d->tpp;
}

double frmMain::leftTwips() const
{
    return pos().x() * d->tpp;
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
    if (!kovra::MessageBox::confirm(this, QStringLiteral("終了してもいいですか"), QStringLiteral("お疲れ様でした"))) {
        event->ignore();
        return;
    }
    kovra::saveWindowPosition(d->settingsPath, *this);
    // Newest first; each runs its own closing. Nothing of theirs is saved here.
    const auto windows = d->openWindows;
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        if (!it->widget.isNull())
            it->widget->close();
    d->openWindows.clear();
    stopAnimation();
    event->accept();
    emit programEnding();
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
    if ((watched == d->label1 || watched == d->pictureFrame) &&
        (event->type() == QEvent::MouseButtonDblClick || event->type() == QEvent::MouseButtonPress ||
         event->type() == QEvent::MouseButtonRelease))
        return true;
    return QWidget::eventFilter(watched, event);
}
