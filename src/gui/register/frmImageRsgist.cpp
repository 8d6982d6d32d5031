#include "frmImageRsgist.h"

#include "BusyScope.h"
#include "GifCheck.h"
#include "MessageBox.h"
#include "NativePath.h"
#include "ShownImage.h"
#include "TitleListModel.h"
#include "Ui.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <limits>
#include <optional>

namespace {

constexpr int ClientWidthTwips = 5670;
constexpr int ClientHeightTwips = 4290; // a row under the list for the file button and the skip
constexpr int IconSize = 32;

QString createErrorText(kovra::CreateError error)
{
    using kovra::CreateError;
    switch (error) {
    case CreateError::CopyPicture:
        return QStringLiteral("イメージを登録できませんでした．ドロップしたファイルが移動・削除されていないか，"
                              "ディスクの空きが足りているかを確認してください．");
    case CreateError::InvalidInput: // a name that would take the place of the folder's own files
        return QStringLiteral("イメージを登録できませんでした．このファイル名はイメージのフォルダの中で使えません．"
                              "ファイル名を変更してからドロップしてください．");
    case CreateError::Unencodable:
        return QStringLiteral(
            "イメージを登録できませんでした．ファイル名かイメージ名に保存できない文字が含まれています．");
    case CreateError::FolderExists:
    case CreateError::MakeFolder:
    case CreateError::WriteIni:
    case CreateError::None:
        break;
    }
    return QStringLiteral("イメージを登録できませんでした．プログラムのフォルダに書き込めるか，"
                          "ディスクの空きが足りているかを確認してください．");
}

// A fixed caption at its place; the stand-in Japanese fonts run wider than the ones the window was drawn
// for, so a caption that would be cut grows to the right into the free space beside it.
void placeCaption(QLabel* label, const QRect& geometry)
{
    label->setGeometry(geometry);
    label->resize(qMax(geometry.width(), label->sizeHint().width()), geometry.height());
}

// Always a copy: a move would let the file manager delete the user's file.
void acceptCopy(QDropEvent* event)
{
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

// A drag over the window that offers local files is taken; anything else is left to others.
bool acceptFileDrag(QDragMoveEvent* event)
{
    if (frmImageRsgist::localFilesOf(event->mimeData()).isEmpty())
        return false;
    acceptCopy(event);
    return true;
}

// The files are handed to the window once the drop is over, so that a message never holds up the
// program they came from.
bool takeFileDrop(frmImageRsgist* window, QDropEvent* event)
{
    const QStringList paths = frmImageRsgist::localFilesOf(event->mimeData());
    if (paths.isEmpty())
        return false;
    acceptCopy(event);
    QTimer::singleShot(0, window, [window, paths] { window->dropFiles(paths); });
    return true;
}

// Image1: the drop target under its hint. The rest of the window takes the same drops.
class DropTarget : public QLabel
{
public:
    explicit DropTarget(frmImageRsgist* window) : QLabel(window), m_window(window) { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override { acceptFileDrag(event); }
    void dragMoveEvent(QDragMoveEvent* event) override { acceptFileDrag(event); }
    void dropEvent(QDropEvent* event) override { takeFileDrop(m_window, event); }

private:
    frmImageRsgist* m_window;
};

// Text1: dragged or pasted text goes into the title, but never a file: URLs dropped on it are the
// window's drop, and Ctrl+V with copied files or a copied picture is the window's paste.
class TitleEdit : public QLineEdit
{
public:
    explicit TitleEdit(frmImageRsgist* window) : QLineEdit(window), m_window(window) {}

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (!event->mimeData()->hasUrls())
            QLineEdit::dragEnterEvent(event);
        else if (!acceptFileDrag(event))
            event->ignore();
    }
    void dragMoveEvent(QDragMoveEvent* event) override
    {
        if (!event->mimeData()->hasUrls())
            QLineEdit::dragMoveEvent(event);
        else if (!acceptFileDrag(event))
            event->ignore();
    }
    void dropEvent(QDropEvent* event) override
    {
        if (!event->mimeData()->hasUrls())
            QLineEdit::dropEvent(event);
        else if (!takeFileDrop(m_window, event))
            event->ignore();
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->matches(QKeySequence::Paste) && m_window->clipboardOffersPicture()) {
            event->accept();
            m_window->paste();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }

private:
    frmImageRsgist* m_window;
};

// The file dialog of the program: Qt's own, so that it speaks Japanese with the program's translations
// and matches the patterns without regard to case on every desktop.
QStringList chooseWithDialog(QWidget* parent, const QString& caption, const QStringList& filters)
{
    static QString lastFolder;
    if (lastFolder.isEmpty()) {
        const QString pictures = QStandardPaths::writableLocation(QStandardPaths::PicturesLocation);
        lastFolder = QFileInfo(pictures).isDir() ? pictures : QDir::homePath();
    }
    QFileDialog dialog(parent, caption, lastFolder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(filters);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    lastFolder = dialog.directory().absolutePath();
    return dialog.selectedFiles();
}

frmImageRsgist::FileChooser& fileChooser()
{
    static frmImageRsgist::FileChooser chooser = chooseWithDialog;
    return chooser;
}

} // namespace

frmImageRsgist::frmImageRsgist(kovra::Catalogue& catalogue, kovra::ui::MainWindowView& mainWindow)
    : QWidget(nullptr), m_catalogue(catalogue), m_main(mainWindow), m_tpp(mainWindow.twipsPerPixel())
{
    setObjectName(QStringLiteral("frmImageRsgist"));
    kovra::ui::setOwner(this, mainWindow.ownerWindow());
    setWindowTitle(QStringLiteral("イメージの登録"));
    setWindowIcon(QIcon(kovra::ui::icon("main_register.svg")));
    setFont(kovra::ui::defaultFont());
    setAcceptDrops(true); // a file dropped anywhere on the window, not only on Image1
    createControls();
    listupImageTitle();
    showCurrent();
    m_text1->setFocus();
}

frmImageRsgist::FileChooser frmImageRsgist::setFileChooser(FileChooser chooser)
{
    FileChooser previous = fileChooser();
    fileChooser() = chooser ? std::move(chooser) : FileChooser(chooseWithDialog);
    return previous;
}

QStringList frmImageRsgist::fileFilters()
{
    QStringList patterns;
    for (const QString& suffix : kovra::RegistrationQueue::pictureSuffixes())
        patterns << QStringLiteral("*.") + suffix;
    return {QStringLiteral("画像ﾌｧｲﾙ (") + patterns.join(u' ') + u')', QStringLiteral("すべてのﾌｧｲﾙ (*)")};
}

void frmImageRsgist::createControls()
{
    auto px = [this](int l, int t, int w, int h) {
        return QRect(kovra::ui::twips(l, m_tpp), kovra::ui::twips(t, m_tpp), kovra::ui::twips(w, m_tpp),
                     kovra::ui::twips(h, m_tpp));
    };
    setFixedSize(kovra::ui::twips(ClientWidthTwips, m_tpp), kovra::ui::twips(ClientHeightTwips, m_tpp));

    auto* image1 = new DropTarget(this);
    image1->setObjectName(QStringLiteral("Image1"));
    image1->setPixmap(QIcon(kovra::ui::icon("register_drop.svg")).pixmap(IconSize, IconSize));
    image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    image1->setToolTip(QStringLiteral("BMP,JPEGﾌｧｲﾙをﾄﾞﾗｯｸ&ﾄﾞﾛｯﾌﾟします"));
    image1->setGeometry(px(480, 240, 540, 540));

    auto* label4 = new QLabel(QStringLiteral("ここにﾄﾞﾛｯﾌﾟします"), this);
    label4->setObjectName(QStringLiteral("Label4"));
    label4->setFont(kovra::ui::japaneseFont(QStringLiteral("ＭＳ Ｐゴシック"), 9.75));
    QPalette blue = label4->palette();
    blue.setColor(QPalette::WindowText, Qt::blue);
    label4->setPalette(blue);
    placeCaption(label4, px(120, 840, 1485, 195));

    auto button = [&](const char* name, const char* picture, const QString& text, const QString& tip,
                      const QRect& geometry) {
        auto* b = kovra::ui::pictureButton(this, name, picture, text, tip, geometry);
        b->setFocusPolicy(Qt::StrongFocus);
        return b;
    };
    m_command1 = button("Command1", "register_add.svg", QStringLiteral("登録"),
                        QStringLiteral("登録を実行して，ﾌｧｲﾙへ保存します"), px(2160, 120, 855, 855));
    m_command3 = button("Command3", "trash.svg", QStringLiteral("削除"),
                        QStringLiteral("ｲﾒｰｼﾞの登録を抹消して，ﾌｧｲﾙを削除します"), px(3240, 120, 855, 855));
    m_command2 = button("Command2", "cross.svg", QStringLiteral("ｷｬﾝｾﾙ"), QStringLiteral("このｳｨﾝﾄﾞｳを閉じます"),
                        px(4320, 120, 855, 855));

    auto* label10 = new QLabel(QStringLiteral("登録ファイル名："), this);
    label10->setObjectName(QStringLiteral("Label1_0"));
    placeCaption(label10, px(120, 1260, 1245, 180));

    m_label2 = new QLabel(this);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label2->setTextFormat(Qt::PlainText); // a file name, never markup
    m_label2->setFont(kovra::ui::japaneseFont(QStringLiteral("ＭＳ Ｐゴシック"), 11.25));
    m_label2->setAutoFillBackground(true);
    QPalette white = m_label2->palette();
    white.setColor(QPalette::Window, Qt::white);
    m_label2->setPalette(white);
    m_label2->setToolTip(QStringLiteral("ﾄﾞﾗｯｸ&ﾄﾞﾛｯﾌﾟされたﾌｧｲﾙ名が表示されます"));
    m_label2->setGeometry(px(1440, 1170, 4095, 300));

    auto* label11 = new QLabel(QStringLiteral("イメージの名前："), this);
    label11->setObjectName(QStringLiteral("Label1_1"));
    placeCaption(label11, px(120, 1650, 1260, 180));

    const QFont gothic = kovra::ui::japaneseFont(QStringLiteral("ＭＳ ゴシック"), 11.25);
    m_text1 = new TitleEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setFont(gothic);
    m_text1->setMaxLength(std::numeric_limits<int>::max());
    m_text1->setToolTip(QStringLiteral("ｲﾒｰｼﾞ名を入力します．全角２８文字以内を推奨します"));
    m_text1->setGeometry(px(1440, 1560, 4095, 315));

    // A view over the title list, handed over whole: many thousand rows inserted one by one take seconds.
    m_titles = new kovra::TitleListModel(this);
    m_list1 = new QListView(this);
    m_list1->setObjectName(QStringLiteral("List1"));
    m_list1->setModel(m_titles);
    m_list1->setUniformItemSizes(true);
    m_list1->setFont(gothic);
    m_list1->setToolTip(QStringLiteral("既に登録してあるｲﾒｰｼﾞの一覧を表示します"));
    m_list1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list1->setGeometry(px(120, 2040, 5415, 1635));

    // The row under the list: the other ways in, and the way through several pictures.
    m_command4 = new QPushButton(QStringLiteral("ファイルを選択..."), this);
    m_command4->setObjectName(QStringLiteral("Command4"));
    m_command4->setToolTip(QStringLiteral("登録する画像ﾌｧｲﾙを選択します"));
    m_command4->setGeometry(px(120, 3795, 1815, 375));

    m_label5 = new QLabel(this);
    m_label5->setObjectName(QStringLiteral("Label5"));
    m_label5->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_label5->setToolTip(QStringLiteral("複数のﾌｧｲﾙを登録するとき，何番目のﾌｧｲﾙかが表示されます"));
    m_label5->setGeometry(px(2160, 3795, 2040, 375));

    m_command5 = new QPushButton(QStringLiteral("ｽｷｯﾌﾟ"), this);
    m_command5->setObjectName(QStringLiteral("Command5"));
    m_command5->setToolTip(QStringLiteral("このﾌｧｲﾙを登録せずに，次のﾌｧｲﾙへ進みます"));
    m_command5->setGeometry(px(4320, 3795, 1215, 375));
    for (QPushButton* b : {m_command4, m_command5}) {
        b->setFocusPolicy(Qt::StrongFocus);
        b->setAutoDefault(false);
    }

    setTabOrder(m_text1, m_command1);
    setTabOrder(m_command1, m_command3);
    setTabOrder(m_command3, m_command2);
    setTabOrder(m_command2, m_list1);
    setTabOrder(m_list1, m_command4);
    setTabOrder(m_command4, m_command5);

    connect(m_command1, &QToolButton::clicked, this, [this] { registerImage(); });
    connect(m_command3, &QToolButton::clicked, this, [this] { deleteSelectedImage(); });
    connect(m_command2, &QToolButton::clicked, this, &QWidget::close);
    connect(m_command4, &QPushButton::clicked, this, [this] { chooseFiles(); });
    connect(m_command5, &QPushButton::clicked, this, [this] { skipFile(); });
    connect(m_text1, &QLineEdit::returnPressed, this, [this] { registerImage(); });

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
    auto* open = new QShortcut(QKeySequence::Open, this);
    connect(open, &QShortcut::activated, this, [this] { chooseFiles(); });
    // Text1 takes its own Ctrl+V (TitleEdit); this is the paste everywhere else in the window.
    auto* pasteKey = new QShortcut(QKeySequence::Paste, this);
    connect(pasteKey, &QShortcut::activated, this, [this] { paste(); });
}

void frmImageRsgist::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_placed) {
        m_placed = true;
        kovra::ui::placeOnScreen(this, 2);
    }
}

void frmImageRsgist::dragEnterEvent(QDragEnterEvent* event)
{
    if (!acceptFileDrag(event))
        event->ignore();
}

void frmImageRsgist::dragMoveEvent(QDragMoveEvent* event)
{
    if (!acceptFileDrag(event))
        event->ignore();
}

void frmImageRsgist::dropEvent(QDropEvent* event)
{
    if (!takeFileDrop(this, event))
        event->ignore();
}

// Fills List1 from the freshly read folder list and selects its first entry.
void frmImageRsgist::listupImageTitle()
{
    m_titles->setEntries(m_catalogue.registeredImages());
    if (!m_titles->entries().isEmpty())
        m_list1->setCurrentIndex(m_titles->index(0));
}

QStringList frmImageRsgist::localFilesOf(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    QStringList paths;
    const QList<QUrl> urls = data->urls();
    for (const QUrl& url : urls)
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths << url.toLocalFile();
    return paths;
}

bool frmImageRsgist::clipboardOffersPicture() const
{
    const QMimeData* offered = QGuiApplication::clipboard()->mimeData();
    return offered && (!localFilesOf(offered).isEmpty() || offered->hasImage());
}

kovra::DropCheck frmImageRsgist::dropFiles(const QStringList& paths)
{
    return offer(kovra::RegistrationQueue::ofPaths(paths));
}

void frmImageRsgist::chooseFiles()
{
    const QStringList paths = fileChooser()(this, QStringLiteral("登録する画像ファイルの選択"), fileFilters());
    if (!paths.isEmpty())
        dropFiles(paths);
}

void frmImageRsgist::paste()
{
    const QMimeData* offered = QGuiApplication::clipboard()->mimeData();
    if (!offered)
        return;
    if (const QStringList files = localFilesOf(offered); !files.isEmpty()) {
        dropFiles(files);
        return;
    }
    if (!offered->hasImage())
        return; // text: nothing to register, as a drop of text
    kovra::PastedPicture pasted;
    {
        kovra::ui::BusyScope busy; // a large picture takes a moment to write
        pasted = m_catalogue.stagePastedPicture(qvariant_cast<QImage>(offered->imageData()));
    }
    switch (pasted.status) {
    case kovra::PastedPicture::Status::Ok:
        offer(kovra::RegistrationQueue::ofPasted(pasted.path));
        return;
    case kovra::PastedPicture::Status::NoPicture:
        kovra::MessageBox::notice(this, QStringLiteral("貼り付けた画像を読み取れませんでした．"));
        return;
    case kovra::PastedPicture::Status::WriteFailed:
        kovra::MessageBox::notice(this, QStringLiteral("貼り付けた画像を一時ファイルに保存できませんでした．"
                                                       "ディスクの空きが足りているかを確認してください．"));
        return;
    }
}

void frmImageRsgist::skipFile()
{
    if (!m_queue.isBatch() || m_queue.atEnd())
        return;
    m_queue.skip();
    offerNext();
}

// The new pictures take the place of the ones offered before only once one of them passes: a drop that
// brings nothing usable leaves the window as it was.
kovra::DropCheck frmImageRsgist::offer(kovra::RegistrationQueue incoming)
{
    for (const kovra::RegistrationQueue::Folder& folder : incoming.folders()) {
        const QString name = kovra::displayPath(
            QFileInfo(folder.path).fileName().isEmpty() ? folder.path : QFileInfo(folder.path).fileName());
        if (folder.pictures == 0)
            kovra::MessageBox::notice(this, QStringLiteral("フォルダ「") + name +
                                                QStringLiteral("」には登録できる画像ファイルがありません．"));
        else if (folder.gifs > 0) // one message for the folder, not one for each of its GIF files
            kovra::MessageBox::notice(this, QStringLiteral("フォルダ「") + name +
                                                QStringLiteral("」のGIF形式のファイルは，ライセンスの制約上"
                                                               "利用することができないため除きました．"));
    }
    kovra::DropCheck check = kovra::DropCheck::Ignored;
    for (; !incoming.atEnd(); incoming.skip()) {
        check = showFile(incoming.currentPath());
        if (check == kovra::DropCheck::Accepted) {
            m_queue = std::move(incoming);
            showCurrent();
            break;
        }
    }
    return check;
}

// After a picture of the queue was registered or skipped: the next one that passes, or the end.
void frmImageRsgist::offerNext()
{
    for (; !m_queue.atEnd(); m_queue.skip()) {
        if (showFile(m_queue.currentPath()) == kovra::DropCheck::Accepted) {
            showCurrent();
            return;
        }
    }
    if (m_queue.isComplete()) {
        close();
        return;
    }
    // Every picture was skipped: nothing is left to register.
    m_label2->clear();
    m_text1->clear();
    showCurrent();
}

// The title proposed for the current picture, its position among several, and the skip button.
void frmImageRsgist::showCurrent()
{
    if (const std::optional<QString> title = m_queue.proposedTitle(m_text1->text())) {
        m_text1->setText(*title);
        m_text1->selectAll(); // typing replaces it
        m_text1->setFocus();
    }
    m_label5->setText(m_queue.positionText());
    m_command5->setEnabled(m_queue.isBatch() && !m_queue.atEnd());
}

kovra::DropCheck frmImageRsgist::showFile(const QString& path)
{
    using kovra::DropCheck;
    const DropCheck check = m_catalogue.checkDroppedFile(path);
    switch (check) {
    case DropCheck::Ignored:
        return check;
    case DropCheck::RefusedByExtension:
        kovra::MessageBox::notice(this, kovra::registration::extensionRefusedText());
        return check;
    case DropCheck::RefusedByContent:
        kovra::MessageBox::critical(this, kovra::registration::contentRefusedText());
        return check;
    case DropCheck::Undecodable:
        kovra::MessageBox::notice(this, QStringLiteral("「") + kovra::displayPath(QFileInfo(path).fileName()) +
                                            QStringLiteral("」は表示できない画像のため登録できません．"));
        return check;
    case DropCheck::UnstorableName:
        kovra::MessageBox::notice(this, QStringLiteral("ファイル名に保存できない文字が含まれています．"
                                                       "ファイル名を変更してからドロップしてください．"));
        return check;
    case DropCheck::UnstorableProgramFolder:
        kovra::MessageBox::notice(this,
                                  QStringLiteral("プログラムのフォルダのパスに保存できない文字が含まれているため，"
                                                 "イメージを登録できません．"));
        return check;
    case DropCheck::BlankAroundName:
        kovra::MessageBox::notice(this, QStringLiteral("ファイル名の先頭または末尾に空白があるため登録できません．"
                                                       "ファイル名を変更してください．"));
        return check;
    case DropCheck::Accepted:
        break;
    }

    m_catalogue.shownImage().showPreview(path);
    m_label2->setText(QFileInfo(path).fileName());
    return check;
}

bool frmImageRsgist::registerImage()
{
    if (m_queue.atEnd()) {
        kovra::MessageBox::notice(this, QStringLiteral("イメージファイルをドラッグして登録してください．"));
        return false;
    }
    // What the user typed, in the code page's forms: checked, compared and stored as such.
    const QString title = kovra::Catalogue::titleOf(m_text1->text());
    switch (kovra::Catalogue::checkTitle(title, m_titles->entries())) {
    case kovra::TitleCheck::Ok:
        break;
    case kovra::TitleCheck::Empty:
        kovra::MessageBox::notice(this, QStringLiteral("イメージ名を付けてください．"));
        m_text1->setFocus();
        return false;
    case kovra::TitleCheck::Taken:
        kovra::MessageBox::notice(this, QStringLiteral("同じタイトルが既に登録されています．"));
        m_text1->clear();
        m_text1->setFocus();
        return false;
    case kovra::TitleCheck::Unstorable:
        kovra::MessageBox::notice(this, QStringLiteral("イメージ名に保存できない文字が含まれています．"
                                                       "別の文字に置き換えてください．"));
        m_text1->setFocus();
        return false;
    case kovra::TitleCheck::ChangedByReader:
        kovra::MessageBox::notice(this,
                                  QStringLiteral("イメージ名の先頭または末尾に空白か引用符があるため登録できません．"
                                                 "イメージ名を変更してください．"));
        m_text1->setFocus();
        return false;
    }

    // A new image rebuilds the image list, which shows its first image: unsaved layout edits first.
    if (!m_main.mayLeaveShownImage(this))
        return false;
    kovra::CreateResult result;
    {
        // The registration must not be changed or ended under its feet while the picture is copied.
        kovra::ui::BusyScope busy;
        result =
            m_catalogue.registerImage(m_queue.currentPath(), title, [&busy](qint64, qint64) { busy.keepAnswering(); });
    }
    if (result.error != kovra::CreateError::None) {
        kovra::MessageBox::notice(this, createErrorText(result.error));
        return false;
    }
    m_queue.registered();
    if (!m_queue.atEnd())
        listupImageTitle(); // the next title is checked against this one too
    offerNext();
    return true;
}

void frmImageRsgist::deleteSelectedImage()
{
    // Only a highlighted row is deleted: a click on the list's blank part leaves none.
    const QModelIndexList selected = m_list1->selectionModel()->selectedRows();
    const int row = selected.isEmpty() ? -1 : selected.first().row();
    if (row < 0 || row >= m_titles->entries().size())
        return;
    const kovra::TitleEntry entry = m_titles->entries()[row];
    if (!kovra::MessageBox::confirm(
            this, QStringLiteral("「") + entry.title + QStringLiteral("」を削除します．よろしいですか？"),
            QStringLiteral("ｲﾒｰｼﾞの削除")))
        return;
    // The list is rebuilt and shows its first image. The edits of the image deleted go with it.
    if (entry.folder != m_catalogue.shownImage().folder() && !m_main.mayLeaveShownImage(this))
        return;
    const bool deleted = m_catalogue.deleteImage(entry.folder);
    // Both lists show what is on the disk now, whatever of the folder is left.
    listupImageTitle();
    if (!deleted)
        kovra::MessageBox::notice(this, QStringLiteral("イメージを削除できませんでした．ファイルが読み取り専用か，"
                                                       "使用中の可能性があります．"));
}
