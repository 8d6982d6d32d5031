#include "frmImageRsgist.h"

#include "BusyScope.h"
#include "FileOps.h"
#include "GifCheck.h"
#include "MessageBox.h"
#include "ShownImage.h"
#include "Ui.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPointer>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <limits>

namespace {

constexpr int ClientWidthTwips = 5670;
constexpr int ClientHeightTwips = 3810;
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

// Image1: the drop target. It takes the first local file of a drop and hands it to the window once the
// drop is over, so that a message never holds up the program the file came from.
class DropTarget : public QLabel
{
public:
    explicit DropTarget(frmImageRsgist* window) : QLabel(window), m_window(window) { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override
    {
        if (offersFile(event->mimeData()))
            acceptCopy(event);
    }
    void dragMoveEvent(QDragMoveEvent* event) override
    {
        if (offersFile(event->mimeData()))
            acceptCopy(event);
    }
    void dropEvent(QDropEvent* event) override
    {
        if (!offersFile(event->mimeData()))
            return;
        const QString path = frmImageRsgist::localFileOf(event->mimeData());
        acceptCopy(event);
        QTimer::singleShot(0, m_window, [window = m_window, path] { window->dropFile(path); });
    }

private:
    static bool offersFile(const QMimeData* data)
    {
        const QString path = frmImageRsgist::localFileOf(data);
        return !path.isEmpty() && !QFileInfo(path).isDir();
    }
    // Always a copy: a move would let the file manager delete the user's file.
    static void acceptCopy(QDropEvent* event)
    {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }

    frmImageRsgist* m_window;
};

} // namespace

frmImageRsgist::frmImageRsgist(kovra::Catalogue& catalogue, kovra::ui::MainWindowView& mainWindow)
    : QWidget(nullptr), m_catalogue(catalogue), m_main(mainWindow), m_tpp(mainWindow.twipsPerPixel())
{
    setObjectName(QStringLiteral("frmImageRsgist"));
    kovra::ui::setOwner(this, mainWindow.ownerWindow());
    setWindowTitle(QStringLiteral("イメージの登録"));
    setWindowIcon(QIcon(kovra::ui::icon("main_register.svg")));
    setFont(kovra::ui::defaultFont());
    createControls();
    listupImageTitle();
    m_text1->setFocus();
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
    m_text1 = new QLineEdit(this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setFont(gothic);
    m_text1->setMaxLength(std::numeric_limits<int>::max());
    m_text1->setToolTip(QStringLiteral("ｲﾒｰｼﾞ名を入力します．全角２８文字以内を推奨します"));
    m_text1->setGeometry(px(1440, 1560, 4095, 315));

    m_list1 = new QListWidget(this);
    m_list1->setObjectName(QStringLiteral("List1"));
    m_list1->setFont(gothic);
    m_list1->setToolTip(QStringLiteral("既に登録してあるｲﾒｰｼﾞの一覧を表示します"));
    m_list1->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list1->setGeometry(px(120, 2040, 5415, 1635));

    setTabOrder(m_text1, m_command1);
    setTabOrder(m_command1, m_command3);
    setTabOrder(m_command3, m_command2);
    setTabOrder(m_command2, m_list1);

    connect(m_command1, &QToolButton::clicked, this, [this] { registerImage(); });
    connect(m_command3, &QToolButton::clicked, this, [this] { deleteSelectedImage(); });
    connect(m_command2, &QToolButton::clicked, this, &QWidget::close);
}

void frmImageRsgist::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (!m_placed) {
        m_placed = true;
        kovra::ui::placeOnScreen(this, 2);
    }
}

// Fills List1 from the freshly read folder list and selects its first entry.
void frmImageRsgist::listupImageTitle()
{
    m_entries = m_catalogue.registeredImages();
    m_list1->clear();
    for (const kovra::TitleEntry& e : m_entries)
        m_list1->addItem(e.title);
    if (!m_entries.isEmpty())
        m_list1->setCurrentRow(0);
}

QString frmImageRsgist::localFileOf(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    const QList<QUrl> urls = data->urls();
    for (const QUrl& url : urls)
        if (url.isLocalFile())
            return url.toLocalFile();
    return {};
}

kovra::DropCheck frmImageRsgist::dropFile(const QString& path)
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

    m_droppedPath = path;
    // Only a regular file is loaded: a FIFO or device would hold the program up in its open.
    kovra::ShownImage& shown = m_catalogue.shownImage();
    if (kovra::openRegularFile(path))
        shown.showPreview(path);
    else
        shown.clearPicture();
    m_label2->setText(QFileInfo(path).fileName());
    return check;
}

bool frmImageRsgist::registerImage()
{
    if (m_droppedPath.isEmpty()) {
        kovra::MessageBox::notice(this, QStringLiteral("イメージファイルをドラッグして登録してください．"));
        return false;
    }
    // What the user typed, in the code page's forms: checked, compared and stored as such.
    const QString title = kovra::Catalogue::titleOf(m_text1->text());
    switch (kovra::Catalogue::checkTitle(title, m_entries)) {
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
        result = m_catalogue.registerImage(m_droppedPath, title, [&busy](qint64, qint64) { busy.keepAnswering(); });
    }
    if (result.error != kovra::CreateError::None) {
        kovra::MessageBox::notice(this, createErrorText(result.error));
        return false;
    }
    close();
    return true;
}

void frmImageRsgist::deleteSelectedImage()
{
    // Only a highlighted row is deleted: a click on the list's blank part leaves none.
    const QList<QListWidgetItem*> selected = m_list1->selectedItems();
    const int row = selected.isEmpty() ? -1 : m_list1->row(selected.first());
    if (row < 0 || row >= m_entries.size())
        return;
    const kovra::TitleEntry entry = m_entries[row];
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
