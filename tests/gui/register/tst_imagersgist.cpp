#include "CodePage.h"
#include "FailingFileOps.h"
#include "FileOps.h"
#include "FixtureCatalogue.h"
#include "ListInk.h"
#include "MessageBox.h"
#include "ProfileFile.h"
#include "RegisterWindows.h"
#include "Ui.h"
#include "frmImageRsgist.h"
#include "frmMain.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QImage>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>
#include <QUrl>
#include <memory>
#include <sys/resource.h>
#include <sys/stat.h>

using kovra::MessageBox;
using kovra::test::readBytes;
using kovra::test::writeBytes;
using namespace Qt::StringLiterals;

namespace {

// Everything under a folder, recursively, to show that a failed step left nothing behind.
QStringList tree(const QString& root)
{
    QStringList all;
    const QDir dir(root);
    for (const QFileInfo& i :
         dir.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name | QDir::IgnoreCase)) {
        all << i.fileName();
        if (i.isDir())
            for (const QString& inner : tree(i.absoluteFilePath()))
                all << i.fileName() + u'/' + inner;
    }
    return all;
}

// The resident memory of this process now, in kB.
qint64 residentKb()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

} // namespace

class tst_ImageRsgist : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_program;
    std::unique_ptr<QTemporaryDir> m_source; // where dropped files come from
    std::unique_ptr<kovra::MessageBoxRecorder> m_boxes;
    std::unique_ptr<frmMain> m_main;
    QPointer<frmImageRsgist> m_window;

    // Opens the main window on the program folder, then the registration window from it.
    void start(const QString& programFolder = {})
    {
        m_main = std::make_unique<frmMain>(programFolder.isEmpty() ? m_program->path() : programFolder);
        m_main->setWindowFactory(frmMain::Window::ImageRegistration,
                                 [m = m_main.get()] { return new frmImageRsgist(m->catalogue(), *m); });
        m_main->show();
        m_window = qobject_cast<frmImageRsgist*>(m_main->openWindow(frmMain::Window::ImageRegistration));
        QVERIFY(m_window);
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }

    template <class T = QWidget>
    T* child(const char* name) const
    {
        return m_window->findChild<T*>(QString::fromLatin1(name));
    }
    QString label2() const { return child<QLabel>("Label2")->text(); }
    QListView* list1View() const { return child<QListView>("List1"); }
    // The row highlighted and current, as a click makes it.
    void selectList1Row(int row) const { list1View()->setCurrentIndex(list1View()->model()->index(row, 0)); }
    int list1Row() const { return list1View()->currentIndex().row(); }
    QStringList list1() const
    {
        QStringList titles;
        const QAbstractItemModel* model = list1View()->model();
        for (int i = 0; i < model->rowCount(); ++i)
            titles << model->index(i, 0).data().toString();
        return titles;
    }
    QStringList mainTitles() const
    {
        QStringList titles;
        for (const kovra::TitleEntry& e : m_main->catalogue().imageList())
            titles << e.title;
        return titles;
    }

    // An image folder as a registration leaves it, with an optional picture.
    QString imageFolder(const QString& name, const QByteArray& title, const QString& picture = {})
    {
        QDir(m_program->path()).mkdir(name);
        const QString folder = m_program->filePath(name);
        QByteArray ini = "[ImageFile]\r\nPath=" + folder.toUtf8() + "\r\n";
        if (!picture.isEmpty()) {
            QFile::copy(picture, folder + u'/' + QFileInfo(picture).fileName());
            ini += "Filename=" + folder.toUtf8() + '/' + QFileInfo(picture).fileName().toUtf8() + "\r\n";
        }
        writeBytes(folder + QStringLiteral("/IMAGE.INI"), ini + "Title=" + title + "\r\n");
        return folder;
    }
    QString picture(const QString& name, Qt::GlobalColor color = Qt::darkCyan)
    {
        QImage image(40, 30, QImage::Format_RGB32);
        image.fill(color);
        const QString path = m_source->filePath(name);
        if (!image.save(path, QFileInfo(name).suffix().isEmpty() ? "PNG" : nullptr))
            qFatal("cannot save the picture fixture");
        return path;
    }
    QString file(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_source->filePath(name);
        writeBytes(path, bytes);
        return path;
    }

    // A drop on Image1 as the window system delivers it. False when the drop target turned it away.
    bool dropMime(QMimeData* data) { return dropMimeOn(child("Image1"), data); }
    bool dropMimeOn(QWidget* target, QMimeData* data)
    {
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(QPoint(5, 5), offered, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        if (!enter.isAccepted())
            return false;
        QDropEvent drop(QPointF(5, 5), offered, data, Qt::LeftButton, Qt::NoModifier);
        drop.setDropAction(Qt::MoveAction);
        QApplication::sendEvent(target, &drop);
        if (!drop.isAccepted() || drop.dropAction() != Qt::CopyAction) // never a move of the user's file
            return false;
        QCoreApplication::sendPostedEvents(); // the file is taken once the drop is over
        return true;
    }
    bool drop(const QStringList& paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        data.setUrls(urls);
        return dropMime(&data);
    }
    bool drop(const QString& path) { return drop(QStringList{path}); }
    static QMimeData* filesData(const QStringList& paths, QMimeData* data)
    {
        QList<QUrl> urls;
        for (const QString& p : paths)
            urls << QUrl::fromLocalFile(p);
        data->setUrls(urls);
        return data;
    }
    QString title() const { return child<QLineEdit>("Text1")->text(); }
    QString position() const { return child<QLabel>("Label5")->text(); }
    // The window gets the keyboard, as when the user works in it: its shortcuts need it active.
    void activate()
    {
        m_window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_window));
    }
    QStringList registeredFiles() const
    {
        QStringList files;
        for (const kovra::TitleEntry& e : m_main->catalogue().imageList())
            for (const QString& f : QDir(e.folder).entryList(QDir::Files))
                if (f != u"IMAGE.INI")
                    files << e.title + u'=' + f;
        return files;
    }

    void typeTitle(const QString& title) { child<QLineEdit>("Text1")->setText(title); }
    void click(const char* button) { QTest::mouseClick(child<QAbstractButton>(button), Qt::LeftButton); }
    const MessageBox::Request& lastBox() const { return m_boxes->requests().back(); }
    static QString deleteFailedText()
    {
        return u"イメージを削除できませんでした．ファイルが読み取り専用か，使用中の可能性があります．"_s;
    }

private slots:
    void init()
    {
        m_program = std::make_unique<QTemporaryDir>();
        m_source = std::make_unique<QTemporaryDir>();
        m_boxes = std::make_unique<kovra::MessageBoxRecorder>();
        QVERIFY(m_program->isValid() && m_source->isValid());
    }
    void cleanup()
    {
        m_main.reset(); // closes the registration window with it
        m_boxes.reset();
        frmImageRsgist::setFileChooser({});
        QGuiApplication::clipboard()->clear();
    }

    void layout_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tip");
        QTest::addColumn<double>("points"); // 0: the window's font
        QTest::newRow("Image1") << u"Image1"_s << QRect(480, 240, 540, 540) << QString()
                                << QStringLiteral("BMP,JPEGﾌｧｲﾙをﾄﾞﾗｯｸ&ﾄﾞﾛｯﾌﾟします") << 0.0;
        QTest::newRow("Label4") << u"Label4"_s << QRect(120, 840, 1485, 195) << QStringLiteral("ここにﾄﾞﾛｯﾌﾟします")
                                << QString() << 9.75;
        QTest::newRow("Command1") << u"Command1"_s << QRect(2160, 120, 855, 855) << QStringLiteral("登録")
                                  << QStringLiteral("登録を実行して，ﾌｧｲﾙへ保存します") << 0.0;
        QTest::newRow("Command3") << u"Command3"_s << QRect(3240, 120, 855, 855) << QStringLiteral("削除")
                                  << QStringLiteral("ｲﾒｰｼﾞの登録を抹消して，ﾌｧｲﾙを削除します") << 0.0;
        QTest::newRow("Command2") << u"Command2"_s << QRect(4320, 120, 855, 855) << QStringLiteral("ｷｬﾝｾﾙ")
                                  << QStringLiteral("このｳｨﾝﾄﾞｳを閉じます") << 0.0;
        QTest::newRow("Label1(0)") << u"Label1_0"_s << QRect(120, 1260, 1245, 180) << QStringLiteral("登録ファイル名：")
                                   << QString() << 0.0;
        QTest::newRow("Label2") << u"Label2"_s << QRect(1440, 1170, 4095, 300) << QString()
                                << QStringLiteral("ﾄﾞﾗｯｸ&ﾄﾞﾛｯﾌﾟされたﾌｧｲﾙ名が表示されます") << 11.25;
        QTest::newRow("Label1(1)") << u"Label1_1"_s << QRect(120, 1650, 1260, 180) << QStringLiteral("イメージの名前：")
                                   << QString() << 0.0;
        QTest::newRow("Text1") << u"Text1"_s << QRect(1440, 1560, 4095, 315) << QString()
                               << QStringLiteral("ｲﾒｰｼﾞ名を入力します．全角２８文字以内を推奨します") << 11.25;
        QTest::newRow("List1") << u"List1"_s << QRect(120, 2040, 5415, 1635) << QString()
                               << QStringLiteral("既に登録してあるｲﾒｰｼﾞの一覧を表示します") << 11.25;
        // The row under the list: the file dialog, the position among several pictures, the skip.
        QTest::newRow("Command4") << u"Command4"_s << QRect(120, 3795, 1815, 375) << u"ファイルを選択..."_s
                                  << u"登録する画像ﾌｧｲﾙを選択します"_s << 0.0;
        QTest::newRow("Label5") << u"Label5"_s << QRect(2160, 3795, 2040, 375) << QString()
                                << u"複数のﾌｧｲﾙを登録するとき，何番目のﾌｧｲﾙかが表示されます"_s << 0.0;
        QTest::newRow("Command5") << u"Command5"_s << QRect(4320, 3795, 1215, 375) << u"ｽｷｯﾌﾟ"_s
                                  << u"このﾌｧｲﾙを登録せずに，次のﾌｧｲﾙへ進みます"_s << 0.0;
    }
    void layout()
    {
        QFETCH(QString, name);
        QFETCH(QRect, twips);
        QFETCH(QString, text);
        QFETCH(QString, tip);
        QFETCH(double, points);
        start();
        const double tpp = m_main->twipsPerPixel();
        auto px = [tpp](int t) { return kovra::ui::twips(t, tpp); };
        QCOMPARE(m_window->size(), QSize(px(5670), px(4290)));
        QWidget* w = child(name.toLatin1().constData());
        QVERIFY(w);
        const QRect box(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height()));
        if (auto* label = qobject_cast<QLabel*>(w); label && !text.isEmpty()) {
            QCOMPARE(label->text(), text);
            // A caption is never cut: with a wider stand-in font it grows to the right only.
            QCOMPARE(w->geometry().topLeft(), box.topLeft());
            QCOMPARE(w->height(), box.height());
            QVERIFY(w->width() >= box.width() && w->width() >= label->sizeHint().width());
            QVERIFY(w->geometry().right() < child("Command1")->x());
        } else {
            QCOMPARE(w->geometry(), box);
        }
        if (auto* button = qobject_cast<QToolButton*>(w)) {
            QCOMPARE(button->text(), text);
            QCOMPARE(button->iconSize(), QSize(32, 32));
            QVERIFY(!button->icon().isNull());
        }
        if (auto* button = qobject_cast<QPushButton*>(w)) {
            QCOMPARE(button->text(), text);
            QVERIFY(button->sizeHint().width() <= button->width()); // the text is not cut
        }
        QCOMPARE(w->toolTip(), tip);
        QCOMPARE(w->font().pointSizeF(), points > 0 ? points : m_window->font().pointSizeF());
    }

    void windowOpensModelessOwnedCentredWithFocusInText1()
    {
        start();
        QCOMPARE(m_window->windowTitle(), QStringLiteral("イメージの登録"));
        QVERIFY(!m_window->isModal());
        QVERIFY(m_window->isWindow());
        QCOMPARE(m_window->parentWidget(), m_main.get());
        QCOMPARE(m_main->openWindow(frmMain::Window::ImageRegistration), m_window.data());
        QCOMPARE(m_window->focusWidget(), child("Text1"));
        const QRect screen = m_window->screen()->geometry();
        const QRect frame = m_window->frameGeometry();
        QVERIFY(qAbs(frame.center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(frame.center().y() - screen.center().y()) <= 1);

        QStringList order;
        QWidget* w = child("Text1");
        do {
            if (w->focusPolicy() & Qt::TabFocus)
                order << w->objectName();
            w = w->nextInFocusChain();
        } while (w != child("Text1"));
        QCOMPARE(order, (QStringList{u"Text1"_s, u"Command1"_s, u"Command3"_s, u"Command2"_s, u"List1"_s, u"Command4"_s,
                                     u"Command5"_s}));
    }

    // Only the picture of the main window changes: its selection and current image stay.
    void dropOfThreeFilesTakesTheFirst()
    {
        const QString shown = imageFolder(u"20200101000000"_s, "Kitchen", picture(u"kitchen.png"_s, Qt::red));
        imageFolder(u"20200202000000"_s, "Garage");
        start();
        const QString first = picture(QStringLiteral("a.png"));
        QVERIFY(drop({first, picture(QStringLiteral("b.png")), picture(QStringLiteral("c.png"))}));
        QCOMPARE(label2(), QStringLiteral("a.png"));
        QCOMPARE(m_window->droppedPath(), first);
        QVERIFY(m_main->hasPicture());
        QVERIFY(m_boxes->requests().empty());
        QCOMPARE(m_main->selectedImagePosition(), 0);
        QCOMPARE(m_main->shownImage().folder(), shown);
        QCOMPARE(mainTitles(), (QStringList{u"Kitchen"_s, u"Garage"_s}));
    }

    void dropsWithoutAFileAreIgnored()
    {
        start();
        QMimeData text;
        text.setText(QStringLiteral("/tmp/photo.jpg"));
        QVERIFY(!dropMime(&text));
        QMimeData web;
        web.setUrls({QUrl(QStringLiteral("https://example.org/photo.jpg"))});
        QVERIFY(!dropMime(&web));
        QCOMPARE(m_window->dropFile(QString()), kovra::DropCheck::Ignored);
        QVERIFY(label2().isEmpty());
        QVERIFY(m_boxes->requests().empty());
    }

    // Accepted drops show the last path component as written; registering stores a byte-for-byte copy
    // under that name and IMAGE.INI with Path, Filename and Title in this order, in code page 932.
    void acceptedDropRegisters_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes"); // empty: a real picture
        QTest::addColumn<bool>("preview");
        QTest::newRow("photo.jpg") << u"photo.jpg"_s << QByteArray() << true;
        QTest::newRow("scan.jpeg") << u"scan.jpeg"_s << QByteArray() << true;
        QTest::newRow("quoted name") << u"\"quoted.bmp\""_s << kovra::test::tinyBmp() << true;
        QTest::newRow("markup in the name") << u"<u>under.bmp"_s << kovra::test::tinyBmp() << true;
    }
    void acceptedDropRegisters()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, preview);
        start();
        QVERIFY(drop(picture(QStringLiteral("before.png")))); // the preview must be replaced, not kept
        const QString path = bytes.isEmpty() ? picture(name) : file(name, bytes);
        QVERIFY(drop(path));
        QVERIFY(m_boxes->requests().empty());
        QCOMPARE(label2(), name);
        QCOMPARE(child<QLabel>("Label2")->textFormat(), Qt::PlainText);
        QCOMPARE(m_main->hasPicture(), preview);

        typeTitle(QStringLiteral("本棚"));
        click("Command1");
        QVERIFY(m_boxes->requests().empty());
        const QStringList folders = QDir(m_program->path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(folders.size(), 1);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{14}$")).match(folders[0]).hasMatch());
        const QString folder = m_program->filePath(folders[0]);
        QVERIFY(QFileInfo(folder + u'/' + name).isFile());
        QCOMPARE(readBytes(folder + u'/' + name), readBytes(path));
        QCOMPARE(readBytes(folder + QStringLiteral("/IMAGE.INI")), "[ImageFile]\r\nPath=" + folder.toUtf8() +
                                                                       "\r\nFilename=" + folder.toUtf8() + '/' +
                                                                       name.toUtf8() + "\r\nTitle=\x96{\x92I\r\n");
        QTRY_VERIFY(m_window.isNull()); // closed after the registration
        QCOMPARE(mainTitles(), QStringList{u"本棚"_s});
        // The picture is found again through what IMAGE.INI reads back.
        const auto stored =
            kovra::ProfileFile::load(folder + QStringLiteral("/IMAGE.INI")).value(u"ImageFile", u"Filename");
        QCOMPARE(stored.value_or(QString()), folder + u'/' + name);
    }

    // A refused drop shows its message and changes nothing: registering afterwards stores the file accepted before.
    void refusedDropChangesNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<MessageBox::Icon>("icon");
        QTest::addColumn<QString>("text"); // the whole text, or a part of it
        const QString byName = QStringLiteral("GIF形式は，ライセンスの制約上利用することができません．");
        const QString byContent =
            QStringLiteral("このファイルはGIF形式であると判別されました．ライセンスの制約上利用することができません．");
        const QString unstorable = QStringLiteral("ファイル名に保存できない文字が含まれています．");
        const QByteArray gif("GIF89a\x01\x00\x01\x00\x80", 11);
        const auto info = MessageBox::Icon::Information;
        QTest::newRow("scan.GIF") << u"scan.GIF"_s << gif << info << byName;
        QTest::newRow("scan.gif") << u"scan.gif"_s << QByteArray("not a gif") << info << byName;
        QTest::newRow("GIF named jpg") << u"photo.jpg"_s << gif << MessageBox::Icon::Critical << byContent;
        QTest::newRow("café.jpg") << QStringLiteral("café.jpg") << QByteArray("jpeg") << info << unstorable;
        QTest::newRow("hangul") << QStringLiteral("사진.jpg") << QByteArray("jpeg") << info << unstorable;
        QTest::newRow("emoji") << QStringLiteral("箱😀.jpg") << QByteArray("jpeg") << info << unstorable;
        QTest::newRow("line break") << QStringLiteral("a\nb.jpg") << QByteArray("jpeg") << info << unstorable;
        // The profile reader trims the stored Filename: such a copy could never be found again.
        const QString blank = QStringLiteral("ファイル名の先頭または末尾に空白があるため登録できません．");
        QTest::newRow("trailing blank") << u"trail.bmp "_s << QByteArray("BM") << info << blank;
        QTest::newRow("trailing tab") << u"trail.bmp\t"_s << QByteArray("BM") << info << blank;
        QTest::newRow("leading blank") << u" lead.bmp"_s << QByteArray("BM") << info << blank;
        // What the main window cannot show is refused once the GIF tests have passed it.
        auto undecodable = [](const QString& name) {
            return u"「"_s + name + u"」は表示できない画像のため登録できません．"_s;
        };
        QTest::newRow("text file") << u"notes.txt"_s << QByteArray("shelf\r\n") << info << undecodable(u"notes.txt"_s);
        QTest::newRow("starts with gif") << u"gift.txt"_s << QByteArray("gift") << info << undecodable(u"gift.txt"_s);
        QTest::newRow("0 bytes") << u"empty.bmp"_s << QByteArray() << info << undecodable(u"empty.bmp"_s);
        QTest::newRow("1 byte") << u"one.jpg"_s << QByteArray("G") << info << undecodable(u"one.jpg"_s);
        QTest::newRow("2 bytes") << u"two.jpg"_s << QByteArray("GI") << info << undecodable(u"two.jpg"_s);
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        QTest::newRow("every byte value") << u"raw.bmp"_s << all.repeated(300) << info << undecodable(u"raw.bmp"_s);
        QTest::newRow("BMP header only") << u"cut.bmp"_s << QByteArray("BM") << info << undecodable(u"cut.bmp"_s);
    }
    void refusedDropChangesNothing()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(MessageBox::Icon, icon);
        QFETCH(QString, text);
        start();
        const QString accepted = picture(QStringLiteral("keep.png"));
        QVERIFY(drop(accepted));
        QVERIFY(drop(file(name, bytes)));
        QCOMPARE(m_boxes->requests().size(), size_t(1));
        QCOMPARE(lastBox().icon, icon);
        QVERIFY2(lastBox().text.startsWith(text), qPrintable(lastBox().text));
        QCOMPARE(lastBox().caption, QStringLiteral("Kovra"));
        QCOMPARE(lastBox().buttons, MessageBox::Buttons::Ok);
        QCOMPARE(label2(), QStringLiteral("keep.png"));
        QCOMPARE(m_window->droppedPath(), accepted);
        QVERIFY(m_main->hasPicture());

        typeTitle(QStringLiteral("Shelf"));
        click("Command1");
        QTRY_VERIFY(m_window.isNull());
        const QString folder = m_main->catalogue().imageList().value(0).folder;
        QCOMPARE(readBytes(folder + QStringLiteral("/keep.png")), readBytes(accepted));
        QCOMPARE(QDir(folder).entryList(QDir::Files), (QStringList{u"IMAGE.INI"_s, u"keep.png"_s}));
    }

    void programFolderThatCannotBeStoredIsRefusedAtTheDrop()
    {
        QTemporaryDir program(QDir::tempPath() + QStringLiteral("/kovra-é-XXXXXX"));
        QVERIFY(program.isValid());
        start(program.path());
        QVERIFY(drop(picture(QStringLiteral("photo.png"))));
        QCOMPARE(m_boxes->requests().size(), size_t(1));
        QVERIFY(lastBox().text.contains(QStringLiteral("プログラムのフォルダ")));
        QVERIFY(label2().isEmpty());
        QVERIFY(!m_main->hasPicture());
        m_main.reset();
    }

    void registerChecksInOrder()
    {
        imageFolder(QStringLiteral("20200101000000"), "Box");
        start();
        auto expectBox = [this](const QString& text) {
            QCOMPARE(lastBox().text, text);
            QCOMPARE(lastBox().icon, MessageBox::Icon::Information);
            QCOMPARE(lastBox().caption, QStringLiteral("Kovra"));
            m_boxes->clear();
        };
        typeTitle(QStringLiteral("Shelf"));
        click("Command1"); // no file, although a title is typed
        expectBox(QStringLiteral("イメージファイルをドラッグして登録してください．"));

        QVERIFY(drop(picture(QStringLiteral("photo.png"))));
        typeTitle(QString());
        child("Command3")->setFocus();
        click("Command1");
        expectBox(QStringLiteral("イメージ名を付けてください．"));
        QCOMPARE(m_window->focusWidget(), child("Text1"));

        typeTitle(QStringLiteral("Box"));
        child("Command3")->setFocus();
        click("Command1");
        expectBox(QStringLiteral("同じタイトルが既に登録されています．"));
        QVERIFY(child<QLineEdit>("Text1")->text().isEmpty());
        QCOMPARE(m_window->focusWidget(), child("Text1"));
        QCOMPARE(QDir(m_program->path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);

        typeTitle(QStringLiteral("box")); // the comparison is exact
        click("Command1");
        QVERIFY(m_boxes->requests().empty());
        QTRY_VERIFY(m_window.isNull());
        QCOMPARE(mainTitles(), (QStringList{u"Box"_s, u"box"_s}));
    }

    void titleThatCannotBeStoredWritesNothing_data()
    {
        QTest::addColumn<QString>("title");
        QTest::newRow("surrogate pair") << QStringLiteral("𠮷野家の箱");
        QTest::newRow("emoji") << QStringLiteral("箱😀");
    }
    void titleThatCannotBeStoredWritesNothing()
    {
        QFETCH(QString, title);
        start();
        QVERIFY(drop(picture(QStringLiteral("photo.png"))));
        typeTitle(title);
        click("Command1");
        QCOMPARE(m_boxes->requests().size(), size_t(1));
        QVERIFY(lastBox().text.startsWith(QStringLiteral("イメージ名に保存できない文字")));
        QCOMPARE(child<QLineEdit>("Text1")->text(), title);
        QVERIFY(tree(m_program->path()).isEmpty());
        QVERIFY(m_window && m_window->isVisible());
    }

    // Titles are typed text: stored in the code page's forms, compared in them, and refused when the reader
    // would give them back changed.
    void typedTitle_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("stored"); // empty: refused
        QTest::addColumn<QString>("says");
        const QString duplicate = u"同じタイトルが既に登録されています．"_s;
        const QString outer = u"イメージ名の先頭または末尾に空白か引用符があるため登録できません．"_s;
        QTest::newRow("wave dash typed") << u"棚〜2"_s
                                         << QByteArray("\x92I\x81\x60"
                                                       "2")
                                         << QString();
        QTest::newRow("yen sign typed") << u"¥100"_s << QByteArray("\\100") << QString();
        QTest::newRow("typed form of a listed title") << u"箱〜"_s << QByteArray() << duplicate;
        QTest::newRow("trailing blank") << u"Shelf "_s << QByteArray() << outer;
        QTest::newRow("leading blank") << u" Shelf"_s << QByteArray() << outer;
        QTest::newRow("quoted") << u"\"Shelf\""_s << QByteArray() << outer;
        QTest::newRow("quotes inside") << u"the \"red\" box"_s << QByteArray("the \"red\" box") << QString();
        QTest::newRow("markup") << u"A<s>Old</s>"_s << QByteArray("A<s>Old</s>") << QString();
    }
    void typedTitle()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, stored);
        QFETCH(QString, says);
        imageFolder(u"20200101000000"_s, "\x94\xa0\x81\x60"); // 箱～
        const QStringList before = tree(m_program->path());
        start();
        QVERIFY(drop(picture(u"photo.png"_s)));
        typeTitle(typed);
        click("Command1");
        if (stored.isEmpty()) {
            QCOMPARE(m_boxes->requests().size(), size_t(1));
            QVERIFY2(lastBox().text.startsWith(says), qPrintable(lastBox().text));
            QCOMPARE(tree(m_program->path()), before);
            QVERIFY(m_window && m_window->isVisible());
            return;
        }
        QVERIFY(m_boxes->requests().empty());
        QTRY_VERIFY(m_window.isNull());
        const QString folder = m_main->catalogue().imageList().value(1).folder;
        QVERIFY(readBytes(folder + u"/IMAGE.INI"_s).endsWith("\r\nTitle=" + stored + "\r\n"));
        QCOMPARE(mainTitles().value(1), kovra::codepage::decode(stored));
    }

    void registrationShowsTheOldestImage()
    {
        const QString oldest = imageFolder(QStringLiteral("20000101000000"), "Oldest", picture(u"old.png"_s, Qt::red));
        start();
        QVERIFY(drop(picture(QStringLiteral("new.png"), Qt::blue)));
        typeTitle(QStringLiteral("Newest"));
        click("Command1");
        QTRY_VERIFY(m_window.isNull());
        QCOMPARE(mainTitles(), (QStringList{u"Oldest"_s, u"Newest"_s}));
        QCOMPARE(m_main->selectedImagePosition(), 0);
        QCOMPARE(m_main->shownImage().folder(), oldest);
        QVERIFY(m_main->hasPicture());
    }

    // Registration is all or nothing: a failing step removes what the registration made, says so, and the
    // window stays open with its input.
    void failedRegistrationLeavesNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("fail"); // the file operation that fails; "vanish": the dropped file is gone
        QTest::addColumn<QString>("says");
        const QString disk = u"プログラムのフォルダに書き込めるか"_s;
        QTest::newRow("folder refused") << u"photo.png"_s << u"mkdir"_s << disk;
        QTest::newRow("disk full writing IMAGE.INI") << u"photo.png"_s << u"write"_s << disk;
        QTest::newRow("IMAGE.INI not renamed") << u"photo.png"_s << u"rename"_s << disk;
        QTest::newRow("copy fails") << u"photo.png"_s << u"copy"_s << u"ドロップしたファイル"_s;
        QTest::newRow("dropped file vanished") << u"photo.png"_s << u"vanish"_s << u"ドロップしたファイル"_s;
        QTest::newRow("named IMAGE.INI") << u"image.ini"_s << QString() << u"このファイル名"_s;
        QTest::newRow("named like an area file") << u"Area12.INI"_s << QString() << u"このファイル名"_s;
    }
    void failedRegistrationLeavesNothing()
    {
        QFETCH(QString, name);
        QFETCH(QString, fail);
        QFETCH(QString, says);
        imageFolder(QStringLiteral("20200101000000"), "Box");
        const QStringList before = tree(m_program->path());
        start();
        const QString dropped = file(name, kovra::test::picture(u"p.png"_s, QSize(8, 6), Qt::red));
        QVERIFY(drop(dropped));
        typeTitle(QStringLiteral("Shelf"));
        kovra::test::FailingFileOps ops;
        ops.failWhen = [fail](const QString& op, const QString&) { return op == fail; };
        if (fail == u"vanish")
            QVERIFY(QFile::remove(dropped));
        {
            const kovra::ScopedFileOps scope(&ops);
            click("Command1");
        }
        QCOMPARE(m_boxes->requests().size(), size_t(1));
        QCOMPARE(lastBox().icon, MessageBox::Icon::Information);
        QVERIFY(lastBox().text.startsWith(QStringLiteral("イメージを登録できませんでした．")));
        QVERIFY2(lastBox().text.contains(says), qPrintable(lastBox().text));
        QCOMPARE(tree(m_program->path()), before);
        QVERIFY(m_window && m_window->isVisible());
        QCOMPARE(label2(), name);
        QCOMPARE(child<QLineEdit>("Text1")->text(), QStringLiteral("Shelf"));
        QCOMPARE(mainTitles(), QStringList{u"Box"_s});
    }

    // A FIFO dropped in place of a picture never holds the program up: it is refused at the drop as a picture
    // that cannot be shown, and leaves nothing behind.
    void fifoNeverHangs()
    {
        imageFolder(u"20200101000000"_s, "Box");
        const QStringList before = tree(m_program->path());
        start();
        const QString fifo = m_source->filePath(u"pipe.jpg"_s);
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(drop(fifo));
        QVERIFY(clock.elapsed() < 5000);
        QCOMPARE(m_boxes->requests().size(), size_t(1));
        QCOMPARE(lastBox().text, u"「pipe.jpg」は表示できない画像のため登録できません．"_s);
        QVERIFY(label2().isEmpty());
        QVERIFY(m_window->droppedPath().isEmpty());
        QCOMPARE(tree(m_program->path()), before);
        QVERIFY(m_window && m_window->isVisible());
    }

    // While the picture is copied the windows are painted and timers run, the busy cursor shows, and no click,
    // key or close reaches either window, then or afterwards. KOVRA_COPY_MB sets the picture's size (the
    // measurement of a large registration); the copy of a small one is slowed down chunk by chunk.
    void windowsPaintedButDeafWhileCopying()
    {
        const qint64 mb =
            qEnvironmentVariableIntValue("KOVRA_COPY_MB") > 0 ? qEnvironmentVariableIntValue("KOVRA_COPY_MB") : 8;
        const QString big = m_source->filePath(u"big.bmp"_s);
        {
            QFile f(big);
            QVERIFY(f.open(QIODevice::WriteOnly));
            const QByteArray header = kovra::test::bmpHeader(1024, int(mb * 256)); // mb MB of pixels
            QCOMPARE(f.write(header), header.size());
            QByteArray chunk(1 << 20, 'k');
            for (qint64 i = 0; i < mb; ++i) {
                chunk[0] = char(i);
                QCOMPARE(f.write(chunk), chunk.size());
            }
        }
        imageFolder(u"20200101000000"_s, "Box");
        start();
        QVERIFY(drop(big));
        typeTitle(u"Big"_s);

        struct SlowCopy : kovra::test::FailingFileOps
        {
            bool slow = true;
            bool copyFile(const QString& from, const QString& to, const kovra::CopyProgress& progress) override
            {
                return FileOps::copyFile(from, to, [&](qint64 done, qint64 total) {
                    if (slow)
                        QThread::msleep(15);
                    progress(done, total);
                });
            }
        } ops;
        ops.slow = qEnvironmentVariableIntValue("KOVRA_COPY_MB") == 0;

        int paints = 0;
        bool fired = false, midCopy = false, busyCursor = false, deaf = false;
        struct PaintCounter : QObject
        {
            int* paints;
            bool eventFilter(QObject*, QEvent* e) override
            {
                *paints += e->type() == QEvent::Paint ? 1 : 0;
                return false;
            }
        } counter;
        counter.paints = &paints;
        QTimer::singleShot(0, m_window, [&] {
            fired = true;
            midCopy = QDir(m_program->path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size() == 2;
            busyCursor = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
            QTest::mouseClick(child<QToolButton>("Command3"), Qt::LeftButton); // would ask to delete
            QTest::keyClicks(child("Text1"), u"x"_s);
            QCloseEvent closeMain;
            QApplication::sendEvent(m_main.get(), &closeMain);
            QCloseEvent closeWindow;
            QApplication::sendEvent(m_window, &closeWindow);
            deaf = m_boxes->requests().empty() && child<QLineEdit>("Text1")->text() == u"Big"_s &&
                   !closeMain.isAccepted() && !closeWindow.isAccepted();
            m_window->installEventFilter(&counter);
            m_window->update();
        });
        const qint64 rssBefore = residentKb();
        QElapsedTimer clock;
        clock.start();
        {
            const kovra::ScopedFileOps scope(&ops);
            click("Command1");
        }
        const qint64 took = clock.elapsed();
        struct rusage after;
        ::getrusage(RUSAGE_SELF, &after);
        qInfo("registration of %lld MB: %lld ms, peak resident %lld kB above the %lld kB before", mb, took,
              qint64(after.ru_maxrss) - rssBefore, rssBefore);
        QVERIFY(fired && midCopy);
        QVERIFY(busyCursor);
        QVERIFY(deaf);
        QVERIFY(paints > 0);
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(m_boxes->requests().empty()); // nothing was queued for later either
        QTRY_VERIFY(m_window.isNull());
        QVERIFY(m_main->isVisible());
        QCOMPARE(mainTitles(), (QStringList{u"Box"_s, u"Big"_s}));
        QCOMPARE(QFileInfo(m_main->catalogue().imageList().value(1).folder + u"/big.bmp"_s).size(),
                 QFileInfo(big).size());
    }

    void deleteAnsweredNoThenYes()
    {
        const QString alpha = imageFolder(QStringLiteral("20200101000000"), "Alpha");
        const QString beta = imageFolder(QStringLiteral("20200202000000"), "Beta", picture(u"b.png"_s));
        start();
        QCOMPARE(list1(), (QStringList{u"Alpha"_s, u"Beta"_s}));
        selectList1Row(1);

        m_boxes->answerNext(MessageBox::Answer::No);
        click("Command3");
        QCOMPARE(m_boxes->requests().size(), size_t(1));
        QCOMPARE(lastBox().text, QStringLiteral("「Beta」を削除します．よろしいですか？"));
        QCOMPARE(lastBox().caption, QStringLiteral("ｲﾒｰｼﾞの削除"));
        QCOMPARE(lastBox().icon, MessageBox::Icon::Question);
        QCOMPARE(lastBox().buttons, MessageBox::Buttons::YesNo);
        QVERIFY(QFileInfo::exists(beta));
        QCOMPARE(list1(), (QStringList{u"Alpha"_s, u"Beta"_s}));
        QCOMPARE(list1Row(), 1);

        m_boxes->answerNext(MessageBox::Answer::Yes);
        click("Command3");
        QVERIFY(!QFileInfo::exists(beta));
        QVERIFY(QFileInfo::exists(alpha + QStringLiteral("/IMAGE.INI")));
        QCOMPARE(list1(), QStringList{u"Alpha"_s});
        QCOMPARE(list1Row(), 0);
        QCOMPARE(mainTitles(), QStringList{u"Alpha"_s});
        QCOMPARE(m_main->shownImage().folder(), alpha);
        QVERIFY(m_window->isVisible()); // several deletions in a row
    }

    void deletingTheOnlyImageEmptiesBothLists()
    {
        imageFolder(QStringLiteral("20200101000000"), "Only", picture(u"only.png"_s));
        start();
        QVERIFY(m_main->hasPicture());
        click("Command3");
        QVERIFY(list1().isEmpty());
        QVERIFY(m_main->catalogue().imageList().isEmpty());
        QVERIFY(!m_main->hasPicture());
        QVERIFY(tree(m_program->path()).isEmpty());
        m_boxes->clear();
        click("Command3"); // nothing left to delete: no question
        QVERIFY(m_boxes->requests().empty());
    }

    // A foreign folder that sorts after "manual" is listed last: deletions go by folder, never by a position
    // in the folder list, which would hit "manual" for the last entry.
    void deletionGoesByFolder_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QStringList>("left");
        QTest::newRow("last image folder")
            << 1 << u"Beta"_s
            << QStringList{u"20200101000000"_s, u"20200101000000/IMAGE.INI"_s, u"manual"_s, u"manual/manual.htm"_s,
                           u"Photos"_s,         u"Photos/holiday.jpg"_s};
        QTest::newRow("last entry") << 2 << u"Non Titled"_s
                                    << QStringList{u"20200101000000"_s, u"20200101000000/IMAGE.INI"_s,
                                                   u"20200202000000"_s, u"20200202000000/IMAGE.INI"_s,
                                                   u"manual"_s,         u"manual/manual.htm"_s};
    }
    void deletionGoesByFolder()
    {
        QFETCH(int, row);
        QFETCH(QString, title);
        QFETCH(QStringList, left);
        imageFolder(QStringLiteral("20200101000000"), "Alpha");
        imageFolder(QStringLiteral("20200202000000"), "Beta");
        QDir(m_program->path()).mkpath(QStringLiteral("manual"));
        writeBytes(m_program->filePath(QStringLiteral("manual/manual.htm")), "<html></html>");
        QDir(m_program->path()).mkpath(QStringLiteral("Photos"));
        writeBytes(m_program->filePath(QStringLiteral("Photos/holiday.jpg")), "jpeg");
        start();
        QCOMPARE(list1(), (QStringList{u"Alpha"_s, u"Beta"_s, u"Non Titled"_s}));
        selectList1Row(row);
        click("Command3");
        QCOMPARE(lastBox().text, QStringLiteral("「") + title + QStringLiteral("」を削除します．よろしいですか？"));
        QCOMPARE(tree(m_program->path()), left);
        QStringList titles{u"Alpha"_s, u"Beta"_s, u"Non Titled"_s};
        titles.removeAt(row);
        QCOMPARE(list1(), titles);
        QCOMPARE(mainTitles(), titles);
    }

    // A folder that cannot be removed whole (it holds a subfolder) loses its files and is listed again.
    void folderNotRemovedWholeStaysListed()
    {
        const QString folder = imageFolder(u"20200101000000"_s, "Boxes");
        QVERIFY(QDir(folder).mkdir(u"extra"_s));
        start();
        click("Command3");
        QVERIFY(QFileInfo::exists(folder + u"/extra"_s));
        QVERIFY(!QFileInfo::exists(folder + u"/IMAGE.INI"_s));
        QCOMPARE(list1(), QStringList{u"Non Titled"_s});
        QCOMPARE(mainTitles(), QStringList{u"Non Titled"_s});
        QCOMPARE(lastBox().text, deleteFailedText());
    }

    // A deletion that leaves files behind says so, and both lists show what is still on the disk.
    void failedDeletionIsReported_data()
    {
        QTest::addColumn<bool>("readOnly"); // else: every removal fails
        QTest::newRow("nothing can be removed") << false;
        QTest::newRow("a read-only picture stays") << true;
    }
    void failedDeletionIsReported()
    {
        QFETCH(bool, readOnly);
        imageFolder(u"20200101000000"_s, "Alpha");
        const QString beta = imageFolder(u"20200202000000"_s, "Beta", picture(u"b.png"_s));
        if (readOnly)
            QVERIFY(QFile::setPermissions(beta + u"/b.png"_s, QFile::ReadOwner | QFile::ReadGroup));
        start();
        selectList1Row(1);
        kovra::test::FailingFileOps ops;
        ops.failWhen = [readOnly](const QString& op, const QString&) { return !readOnly && op == u"remove"; };
        {
            const kovra::ScopedFileOps scope(&ops);
            click("Command3");
        }
        QCOMPARE(m_boxes->requests().size(), size_t(2));
        QCOMPARE(lastBox().text, deleteFailedText());
        QCOMPARE(lastBox().icon, MessageBox::Icon::Information);
        QCOMPARE(lastBox().caption, u"Kovra"_s);
        QVERIFY(QFileInfo::exists(beta + u"/b.png"_s));
        const QStringList listed = readOnly ? QStringList{u"Alpha"_s, u"Non Titled"_s} // IMAGE.INI went
                                            : QStringList{u"Alpha"_s, u"Beta"_s};
        QCOMPARE(list1(), listed);
        QCOMPARE(mainTitles(), listed);
        QFile::setPermissions(beta + u"/b.png"_s, QFile::ReadOwner | QFile::WriteOwner);
    }

    // The question and the deletion go by the highlighted row: a click on the list's blank part leaves none.
    void deleteWithoutHighlightedRowDoesNothing()
    {
        const QString alpha = imageFolder(u"20200101000000"_s, "Alpha");
        const QString beta = imageFolder(u"20200202000000"_s, "Beta");
        start();
        auto* list = list1View();
        selectList1Row(1);
        const QPoint blank(5, list->visualRect(list->model()->index(1, 0)).bottom() + 20);
        QVERIFY(!list->indexAt(blank).isValid());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, blank);
        QVERIFY(list->selectionModel()->selectedRows().isEmpty());
        click("Command3");
        QVERIFY(m_boxes->requests().empty());
        QVERIFY(QFileInfo::exists(alpha) && QFileInfo::exists(beta));
        QCOMPARE(list1(), (QStringList{u"Alpha"_s, u"Beta"_s}));
    }

    // User text is never taken for markup: not in the shown file name, not in the lists, not in questions.
    void userTextIsPlain()
    {
        imageFolder(u"20200101000000"_s, "A<s>Old</s>");
        start();
        auto* list = list1View();
        QCOMPARE(list1().value(0), u"A<s>Old</s>"_s);
        QVERIFY(kovra::test::drawnAsPlainText(list, 0));
        selectList1Row(0);
        m_boxes->answerNext(MessageBox::Answer::No);
        click("Command3");
        QCOMPARE(m_boxes->requests().front().text, u"「A<s>Old</s>」を削除します．よろしいですか？"_s);
        QVERIFY(drop(picture(u"<u>under.bmp"_s)));
        QCOMPARE(child<QLabel>("Label2")->textFormat(), Qt::PlainText);
        // The drop path is kept by the window, never in a widget of its own.
        QVERIFY(!m_window->findChild<QLabel*>(QStringLiteral("Label3")));
    }

    void cancelClosesAtOnceAndKeepsThePreview()
    {
        start();
        QVERIFY(drop(picture(QStringLiteral("photo.png"))));
        typeTitle(QStringLiteral("Shelf"));
        click("Command2");
        QTRY_VERIFY(m_window.isNull());
        QVERIFY(m_boxes->requests().empty());
        QVERIFY(m_main->hasPicture());
        QVERIFY(tree(m_program->path()).isEmpty());
    }

    // The new row lies inside the client area, clear of every other control; only Image1 and Text1 take a
    // drop themselves, so a drop anywhere else reaches the window.
    void controlsDoNotOverlapAndDropsReachTheWindow()
    {
        start();
        const QRect client = m_window->rect();
        const QList<QWidget*> controls = m_window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        for (const char* name : {"Command4", "Label5", "Command5"}) {
            QWidget* w = child(name);
            QVERIFY(client.contains(w->geometry()));
            for (QWidget* other : controls)
                if (other != w && other->isVisibleTo(m_window))
                    QVERIFY2(!other->geometry().intersects(w->geometry()),
                             qPrintable(QString::fromLatin1(name) + u" overlaps "_s + other->objectName()));
        }
        QVERIFY(m_window->acceptDrops());
        for (QWidget* w : m_window->findChildren<QWidget*>())
            if (w->objectName() != u"Image1" && w->objectName() != u"Text1")
                QVERIFY2(!w->acceptDrops(), qPrintable(w->objectName()));
    }

    // Several files in one drop are offered in turn, each named after its file; one that is refused says why
    // and the next is offered; the window closes after the last.
    void severalFilesInTurn_data()
    {
        QTest::addColumn<QString>("middle");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<MessageBox::Icon>("icon");
        QTest::addColumn<QString>("says");
        QTest::newRow("GIF by name") << u"b.gif"_s << kovra::test::tinyBmp() << MessageBox::Icon::Information
                                     << u"GIF形式は，ライセンスの制約上利用することができません．"_s;
        QTest::newRow("GIF by content")
            << u"b.jpg"_s << QByteArray("GIF89a") << MessageBox::Icon::Critical
            << u"このファイルはGIF形式であると判別されました．ライセンスの制約上利用することができません．"_s;
        QTest::newRow("cannot be shown") << u"b.jpg"_s << QByteArray("text") << MessageBox::Icon::Information
                                         << u"「b.jpg」は表示できない画像のため登録できません．"_s;
    }
    void severalFilesInTurn()
    {
        QFETCH(QString, middle);
        QFETCH(QByteArray, bytes);
        QFETCH(MessageBox::Icon, icon);
        QFETCH(QString, says);
        imageFolder(u"20200101000000"_s, "Box");
        start();
        QVERIFY(drop({picture(u"kitchen.jpg"_s), file(middle, bytes), picture(u"shelf.png"_s, Qt::red)}));
        QVERIFY(m_boxes->requests().empty());
        QCOMPARE(label2(), u"kitchen.jpg"_s);
        QCOMPARE(title(), u"kitchen"_s);
        QCOMPARE(position(), u"1/3"_s);
        QVERIFY(child("Command5")->isEnabled());
        QVERIFY(m_main->hasPicture());

        click("Command1");
        QVERIFY(m_window && m_window->isVisible());
        QCOMPARE(m_boxes->requests().size(), size_t(1));
        QCOMPARE(lastBox().text, says);
        QCOMPARE(lastBox().icon, icon);
        QCOMPARE(label2(), u"shelf.png"_s);
        QCOMPARE(title(), u"shelf"_s);
        QCOMPARE(position(), u"3/3"_s);
        QCOMPARE(list1(), (QStringList{u"Box"_s, u"kitchen"_s}));
        QVERIFY(m_main->hasPicture()); // the preview, over the image the rebuilt list chose

        click("Command1");
        QTRY_VERIFY(m_window.isNull());
        QCOMPARE(m_boxes->requests().size(), size_t(1));
        QCOMPARE(registeredFiles(), (QStringList{u"kitchen=kitchen.jpg"_s, u"shelf=shelf.png"_s}));
        QCOMPARE(m_main->selectedImagePosition(), 0); // the spec's end: the first image of the list
    }

    // Skipped pictures are not registered; the window closes after the last picture when one was
    // registered, and otherwise stays with nothing left to register.
    void skippingInABatch_data()
    {
        QTest::addColumn<QString>("steps"); // r: register, s: skip
        QTest::addColumn<QStringList>("registered");
        QTest::newRow("middle registered") << u"srs"_s << QStringList{u"b=b.png"_s};
        QTest::newRow("last registered") << u"ssr"_s << QStringList{u"c=c.png"_s};
        QTest::newRow("all skipped") << u"sss"_s << QStringList();
    }
    void skippingInABatch()
    {
        QFETCH(QString, steps);
        QFETCH(QStringList, registered);
        start();
        QVERIFY(drop({picture(u"a.png"_s), picture(u"b.png"_s), picture(u"c.png"_s)}));
        for (int i = 0; i < steps.size(); ++i) {
            QVERIFY(m_window);
            QCOMPARE(position(), QString::number(i + 1) + u"/3"_s);
            click(steps[i] == u'r' ? "Command1" : "Command5");
        }
        QVERIFY(m_boxes->requests().empty());
        QCOMPARE(registeredFiles(), registered);
        if (!registered.isEmpty()) {
            QTRY_VERIFY(m_window.isNull());
            return;
        }
        QVERIFY(m_window->isVisible());
        QVERIFY(label2().isEmpty() && title().isEmpty() && position().isEmpty());
        QVERIFY(!child("Command5")->isEnabled());
        click("Command1");
        QCOMPARE(lastBox().text, u"イメージファイルをドラッグして登録してください．"_s);
    }

    // Each title of a batch is checked against the ones registered before it in the same batch.
    void batchTitlesMeetTheOnesJustRegistered()
    {
        QTemporaryDir other;
        const QString second = other.filePath(u"box.png"_s);
        QVERIFY(QFile::copy(picture(u"box.png"_s), second));
        start();
        QVERIFY(drop({m_source->filePath(u"box.png"_s), second}));
        click("Command1");
        QCOMPARE(title(), u"box"_s);
        QCOMPARE(position(), u"2/2"_s);
        click("Command1");
        QCOMPARE(m_boxes->requests().size(), size_t(1));
        QCOMPARE(lastBox().text, u"同じタイトルが既に登録されています．"_s);
        QVERIFY(title().isEmpty());
        typeTitle(u"box 2"_s);
        click("Command1");
        QTRY_VERIFY(m_window.isNull());
        QCOMPARE(registeredFiles(), (QStringList{u"box=box.png"_s, u"box 2=box.png"_s}));
    }

    // One file: its name is proposed only into an empty title box, and nothing shows a position.
    void singleFileProposesItsNameIntoAnEmptyBox()
    {
        start();
        QVERIFY(drop(picture(u"photo.jpg"_s)));
        QCOMPARE(title(), u"photo"_s);
        QVERIFY(position().isEmpty());
        QVERIFY(!child("Command5")->isEnabled());
        typeTitle(u"本棚"_s);
        QVERIFY(drop(picture(u"other.png"_s)));
        QCOMPARE(label2(), u"other.png"_s);
        QCOMPARE(title(), u"本棚"_s);
    }

    // A folder offers the pictures directly inside it, in name order; its GIF files are left out with one
    // message; a folder with nothing to register says so and changes nothing.
    void folderDrop()
    {
        start();
        QVERIFY(drop(picture(u"keep.png"_s)));
        const QString photos = m_source->filePath(u"photos"_s);
        QVERIFY(QDir().mkpath(photos + u"/sub"_s));
        for (const char* name : {"b.jpg", "A.png", ".hidden.png", "sub/inner.png"})
            QVERIFY(QFile::copy(m_source->filePath(u"keep.png"_s), photos + u'/' + QString::fromLatin1(name)));
        writeBytes(photos + u"/anim.gif"_s, "GIF89a");
        writeBytes(photos + u"/fake.jpg"_s, "GIF89a");
        writeBytes(photos + u"/notes.txt"_s, "notes");
        const QString empty = m_source->filePath(u"empty"_s);
        QVERIFY(QDir().mkpath(empty));
        writeBytes(empty + u"/only.gif"_s, "GIF89a");

        QVERIFY(drop(empty));
        QCOMPARE(m_boxes->requests().size(), size_t(1));
        QCOMPARE(lastBox().text, u"フォルダ「empty」には登録できる画像ファイルがありません．"_s);
        QCOMPARE(lastBox().icon, MessageBox::Icon::Information);
        QCOMPARE(label2(), u"keep.png"_s); // as before the drop

        m_boxes->clear();
        QVERIFY(drop(photos));
        QCOMPARE(m_boxes->requests().size(), size_t(1));
        QCOMPARE(
            lastBox().text,
            u"フォルダ「photos」のGIF形式のファイルは，ライセンスの制約上利用することができないため除きました．"_s);
        QCOMPARE(label2(), u"A.png"_s);
        QCOMPARE(title(), u"A"_s);
        QCOMPARE(position(), u"1/2"_s);
        click("Command5");
        QCOMPARE(label2(), u"b.jpg"_s);
        QCOMPARE(m_window->droppedPath(), photos + u"/b.jpg"_s);
        click("Command1");
        QTRY_VERIFY(m_window.isNull());
        QCOMPARE(registeredFiles(), QStringList{u"b=b.jpg"_s});
    }

    // Ctrl+V: a copied picture is registered as a PNG named for the time of the paste, reading back pixel for
    // pixel; copied files are taken as a drop; copied text is pasted into the title as text.
    void pastePicture()
    {
        start();
        activate();
        QImage image(30, 20, QImage::Format_RGB32);
        image.fill(Qt::darkGreen);
        image.setPixelColor(29, 19, Qt::yellow);
        QGuiApplication::clipboard()->setImage(image);
        QTest::keyClick(child("Text1"), Qt::Key_V, Qt::ControlModifier);
        QVERIFY(m_boxes->requests().empty());
        QVERIFY2(QRegularExpression(u"^\\d{14}\\.png$"_s).match(label2()).hasMatch(), qPrintable(label2()));
        QVERIFY(title().isEmpty()); // no name of the user's to propose
        QVERIFY(m_main->hasPicture());
        const QString name = label2();
        typeTitle(u"貼り付けた写真"_s);
        click("Command1");
        QTRY_VERIFY(m_window.isNull());
        const QString folder = m_main->catalogue().imageList().value(0).folder;
        QCOMPARE(QDir(folder).entryList(QDir::Files), (QStringList{name, u"IMAGE.INI"_s}));
        QCOMPARE(QImage(folder + u'/' + name).convertToFormat(QImage::Format_RGB32), image);
    }

    void pasteFilesOrText_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::newRow("in the title box") << u"Text1"_s;
        QTest::newRow("in the list") << u"List1"_s;
    }
    void pasteFilesOrText()
    {
        QFETCH(QString, focus);
        start();
        activate();
        QWidget* target = child(focus.toLatin1().constData());
        target->setFocus();
        auto* copied = new QMimeData;
        filesData({picture(u"a.png"_s), picture(u"b.png"_s)}, copied);
        copied->setText(u"a.png\nb.png"_s); // what file managers put beside the list
        QGuiApplication::clipboard()->setMimeData(copied);
        QTest::keyClick(target, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(label2(), u"a.png"_s);
        QCOMPARE(title(), u"a"_s); // the proposal, not the copied text
        QCOMPARE(position(), u"1/2"_s);

        QGuiApplication::clipboard()->setText(u"棚"_s);
        typeTitle(QString());
        child("Text1")->setFocus();
        QTest::keyClick(child("Text1"), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(title(), u"棚"_s);
        QCOMPARE(label2(), u"a.png"_s);
        QVERIFY(m_boxes->requests().empty());
    }

    void pastedPictureThatCannotBeWritten()
    {
        start();
        activate();
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::red);
        QGuiApplication::clipboard()->setImage(image);
        kovra::test::FailingFileOps ops;
        ops.failWhen = [](const QString& op, const QString&) { return op == u"write"; };
        {
            const kovra::ScopedFileOps scope(&ops);
            QTest::keyClick(child("Text1"), Qt::Key_V, Qt::ControlModifier);
        }
        QCOMPARE(m_boxes->requests().size(), size_t(1));
        QVERIFY(lastBox().text.startsWith(u"貼り付けた画像を一時ファイルに保存できませんでした．"_s));
        QVERIFY(label2().isEmpty());
    }

    // Enter in the title box registers; Esc closes the window at once, wherever the focus is.
    void enterRegistersEscCloses_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("focus");
        QTest::newRow("Enter") << int(Qt::Key_Return) << u"Text1"_s;
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << u"Text1"_s;
        QTest::newRow("Esc in the title box") << int(Qt::Key_Escape) << u"Text1"_s;
        QTest::newRow("Esc in the list") << int(Qt::Key_Escape) << u"List1"_s;
    }
    void enterRegistersEscCloses()
    {
        QFETCH(int, key);
        QFETCH(QString, focus);
        imageFolder(u"20200101000000"_s, "Box");
        start();
        activate();
        QVERIFY(drop(picture(u"photo.png"_s)));
        QWidget* target = child(focus.toLatin1().constData());
        target->setFocus();
        QTest::keyClick(target, Qt::Key(key));
        QTRY_VERIFY(m_window.isNull());
        QVERIFY(m_boxes->requests().empty());
        const QStringList expected = key == Qt::Key_Escape ? QStringList{u"Box"_s} : QStringList{u"Box"_s, u"photo"_s};
        QCOMPARE(mainTitles(), expected);
    }

    // Command4 and Ctrl+O ask the file dialog with the picture filter first; the files chosen are offered as
    // a drop of them, a cancelled dialog changes nothing.
    void fileDialog()
    {
        start();
        activate();
        QStringList answer{picture(u"one.jpg"_s), picture(u"two.png"_s)};
        QStringList captions;
        QList<QStringList> filters;
        frmImageRsgist::setFileChooser([&](QWidget* parent, const QString& caption, const QStringList& f) {
            [&] { QCOMPARE(parent, m_window.data()); }();
            captions << caption;
            filters << f;
            return answer;
        });
        click("Command4");
        QCOMPARE(captions, QStringList{u"登録する画像ファイルの選択"_s});
        QCOMPARE(filters.value(0),
                 (QStringList{u"画像ﾌｧｲﾙ (*.jpg *.jpeg *.jpe *.jfif *.png *.bmp *.webp *.heic *.heif *.avif)"_s,
                              u"すべてのﾌｧｲﾙ (*)"_s}));
        QCOMPARE(label2(), u"one.jpg"_s);
        QCOMPARE(position(), u"1/2"_s);

        answer.clear(); // cancelled
        QTest::keyClick(child("List1"), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(captions.size(), 2);
        QCOMPARE(label2(), u"one.jpg"_s);
        QCOMPARE(position(), u"1/2"_s);
        QVERIFY(m_boxes->requests().empty());
    }

    // The program's own dialog: Qt's, in Japanese with Qt's translations, several files at once, and the
    // picture filter matching names in any case.
    void realFileDialog()
    {
        QTranslator japanese;
        if (!japanese.load(u"qtbase_ja"_s, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QSKIP("Qt's Japanese translations are not installed");
        QCoreApplication::installTranslator(&japanese);
        start();
        picture(u"UPPER.JPG"_s);
        picture(u"Mixed.Png"_s);
        writeBytes(m_source->filePath(u"notes.txt"_s), "notes");
        QStringList listed;
        QString accept, mode;
        QTimer poll; // the dialog runs its own event loop: it is looked at from a timer in that loop
        poll.setInterval(20);
        connect(&poll, &QTimer::timeout, m_window, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            poll.stop();
            mode = dialog->fileMode() == QFileDialog::ExistingFiles ? u"files"_s : u"other"_s;
            accept = dialog->labelText(QFileDialog::Accept);
            dialog->setDirectory(m_source->path());
            auto* model = dialog->findChild<QFileSystemModel*>();
            const QModelIndex folder = model ? model->index(m_source->path()) : QModelIndex();
            // The listing comes in from the model's own thread.
            for (int i = 0; model && i < 100 && model->rowCount(folder) < 2; ++i)
                QTest::qWait(20);
            QTest::qWait(100);
            for (int i = 0; model && i < model->rowCount(folder); ++i)
                listed << model->index(i, 0, folder).data().toString();
            listed.sort();
            // Two files typed in the name box, as the dialog itself writes a selection of several.
            if (auto* name = dialog->findChild<QLineEdit*>(u"fileNameEdit"_s))
                name->setText(u"\"UPPER.JPG\" \"Mixed.Png\""_s);
            QMetaObject::invokeMethod(dialog, "accept");
            if (dialog->isVisible()) // never left open: the test would wait for it for ever
                dialog->reject();
        });
        poll.start();
        click("Command4");
        QCoreApplication::removeTranslator(&japanese);
        QCOMPARE(mode, u"files"_s);
        QCOMPARE(listed, (QStringList{u"Mixed.Png"_s, u"UPPER.JPG"_s}));
        QVERIFY2(accept.startsWith(u"開く"_s), qPrintable(accept)); // "開く(&O)"
        QCOMPARE(label2(), u"UPPER.JPG"_s);
        QCOMPARE(position(), u"1/2"_s);
    }

    // Files dropped on the title box are the window's drop and never become its text; text dragged there
    // is still typed in; the window's free surface takes a drop as Image1 does.
    void dropsOnTheTitleBoxAndTheWindow()
    {
        start();
        QMimeData files;
        QVERIFY(dropMimeOn(child("Text1"), filesData({picture(u"a.png"_s), picture(u"b.png"_s)}, &files)));
        QCOMPARE(label2(), u"a.png"_s);
        QCOMPARE(title(), u"a"_s);
        QMimeData web;
        web.setUrls({QUrl(u"https://example.org/c.jpg"_s)});
        web.setText(u"https://example.org/c.jpg"_s);
        QVERIFY(!dropMimeOn(child("Text1"), &web));
        QCOMPARE(title(), u"a"_s);

        typeTitle(QString());
        QMimeData text;
        text.setText(u"押入れ"_s);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(child("Text1"), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(child("Text1"), &dropped);
        QCOMPARE(title(), u"押入れ"_s);

        QMimeData other;
        QVERIFY(dropMimeOn(m_window, filesData({picture(u"c.png"_s)}, &other)));
        QCOMPARE(label2(), u"c.png"_s);
        QCOMPARE(title(), u"押入れ"_s); // one file: what was typed stays
        QVERIFY(!dropMimeOn(m_window, &text));
    }

    // Files dropped anywhere on the main window open the registration window with them; its controls take no
    // drop of their own, so every drop on it reaches the window.
    void dropOnTheMainWindowOpensTheRegistration()
    {
        m_main = std::make_unique<frmMain>(m_program->path());
        m_main->setWindowFactory(frmMain::Window::ImageRegistration,
                                 [m = m_main.get()] { return new frmImageRsgist(m->catalogue(), *m); });
        kovra::registration::installMainWindowDrop(*m_main);
        m_main->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_main.get()));
        for (QWidget* w : m_main->findChildren<QWidget*>())
            QVERIFY2(!w->acceptDrops(), qPrintable(w->objectName()));
        QMimeData text;
        text.setText(u"/tmp/photo.jpg"_s);
        QVERIFY(!dropMimeOn(m_main.get(), &text));
        QVERIFY(!m_main->findChild<frmImageRsgist*>());

        QMimeData files;
        QVERIFY(dropMimeOn(m_main.get(), filesData({picture(u"a.png"_s), picture(u"b.png"_s)}, &files)));
        m_window = m_main->findChild<frmImageRsgist*>();
        QVERIFY(m_window && m_window->isVisible());
        QCOMPARE(label2(), u"a.png"_s);
        QCOMPARE(position(), u"1/2"_s);
        QMimeData more;
        QVERIFY(dropMimeOn(m_main.get(), filesData({picture(u"c.png"_s)}, &more))); // the open window takes it
        QCOMPARE(m_main->findChildren<frmImageRsgist*>().size(), 1);
        QCOMPARE(label2(), u"c.png"_s);
    }
};

QTEST_MAIN(tst_ImageRsgist)
#include "tst_imagersgist.moc"
