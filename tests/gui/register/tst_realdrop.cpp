// A real drop under X: the program runs from a temporary program folder, this test is the program the file
// is dragged from, and xdotool moves the pointer as a user would. The file must arrive by the window
// system's drag and drop, be registered, and the drag must end as a copy (the user's file stays).
#include "Ui.h"

#include <QDir>
#include <QDrag>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

QString xdotool(const QStringList& args)
{
    QProcess p;
    p.start(u"xdotool"_s, args);
    if (!p.waitForFinished(20000) || p.exitCode() != 0)
        return {};
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// Top-left corner of the first visible window whose name matches, waiting for it to appear.
QPoint windowAt(const QString& name)
{
    const QString id = xdotool({u"search"_s, u"--sync"_s, u"--onlyvisible"_s, u"--name"_s, name}).section(u'\n', 0, 0);
    // The client area's corner as xwininfo gives it (xdotool's geometry is off by the frame under a window manager).
    QProcess info;
    info.start(u"xwininfo"_s, {u"-id"_s, id});
    info.waitForFinished(10000);
    QPoint at(-1, -1);
    for (const QString& line : QString::fromUtf8(info.readAllStandardOutput()).split(u'\n')) {
        if (line.contains(u"Absolute upper-left X:"))
            at.setX(line.section(u':', 1).trimmed().toInt());
        if (line.contains(u"Absolute upper-left Y:"))
            at.setY(line.section(u':', 1).trimmed().toInt());
    }
    return at;
}

QByteArray bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

class DragSource : public QLabel
{
public:
    QString file;
    std::optional<Qt::DropAction> result;
    using QLabel::QLabel;

protected:
    void mousePressEvent(QMouseEvent*) override
    {
        auto* drag = new QDrag(this);
        auto* mime = new QMimeData;
        mime->setUrls({QUrl::fromLocalFile(file)});
        drag->setMimeData(mime);
        result = drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
    }
};

} // namespace

class tst_RealDrop : public QObject
{
    Q_OBJECT

private slots:
    // Image1 is the drop target under its hint; the title box and the list take the drop for the window; a
    // drop on the main window's picture opens the registration window with the file.
    void dropFromAnotherProgramRegisters_data()
    {
        QTest::addColumn<QRect>("target"); // twips in the registration window, or in the main window
        QTest::addColumn<bool>("onMain");
        QTest::newRow("Image1") << QRect(480, 240, 540, 540) << false;
        QTest::newRow("Text1") << QRect(1440, 1560, 4095, 315) << false;
        QTest::newRow("List1") << QRect(120, 2040, 5415, 1635) << false;
        QTest::newRow("main window") << QRect(120, 1200, 9600, 7200) << true;
    }
    void dropFromAnotherProgramRegisters()
    {
        QFETCH(QRect, target);
        QFETCH(bool, onMain);
        QTemporaryDir program, source;
        QVERIFY(program.isValid() && source.isValid());
        const QString exe = program.filePath(u"kovra"_s);
        QVERIFY(QFile::copy(qEnvironmentVariable("KOVRA_BIN_DIR") + u"/kovra"_s, exe));
        QImage image(60, 40, QImage::Format_RGB32);
        image.fill(Qt::darkYellow);
        const QString dropped = source.filePath(u"shelf.png"_s);
        QVERIFY(image.save(dropped));

        QProcess kovra;
        kovra.setProgram(exe);
        kovra.start();
        QVERIFY(kovra.waitForStarted());
        auto stop = qScopeGuard([&kovra] {
            kovra.kill();
            kovra.waitForFinished();
        });
        const double tpp = kovra::ui::twipsPerPixel();
        auto px = [tpp](int twips) { return kovra::ui::twips(twips, tpp); };
        auto click = [&px](QPoint window, int left, int top, int width, int height) {
            xdotool({u"mousemove"_s, QString::number(window.x() + px(left + width / 2)),
                     QString::number(window.y() + px(top + height / 2)), u"click"_s, u"1"_s});
        };

        const QPoint main = windowAt(u"^Kovra!$"_s);
        QVERIFY(main.x() >= 0);
        QTest::qWait(500);
        QPoint registration;
        if (!onMain) {
            click(main, 120, 120, 1095, 975); // Command4
            registration = windowAt(u"^イメージの登録$"_s);
            QVERIFY(registration.x() >= 0);
            QTest::qWait(500);
        }

        DragSource from(u"shelf.png"_s);
        from.file = dropped;
        from.setGeometry(40, 900, 120, 60);
        from.show();
        QVERIFY(QTest::qWaitForWindowExposed(&from));
        const QPoint start = from.mapToGlobal(from.rect().center());
        const QPoint over = onMain ? main : registration;
        const QPoint to(over.x() + px(target.center().x()), over.y() + px(target.center().y()));
        QString moves = u"xdotool mousemove %1 %2 mousedown 1; sleep 0.3"_s.arg(start.x()).arg(start.y());
        for (int i = 1; i <= 10; ++i)
            moves += u"; xdotool mousemove %1 %2; sleep 0.1"_s.arg(start.x() + (to.x() - start.x()) * i / 10)
                         .arg(start.y() + (to.y() - start.y()) * i / 10);
        moves += u"; sleep 0.3; xdotool mouseup 1"_s;
        QVERIFY(QProcess::startDetached(u"sh"_s, {u"-c"_s, moves}));
        QTRY_VERIFY_WITH_TIMEOUT(from.result.has_value(), 20000);
        QCOMPARE(*from.result, Qt::CopyAction);
        QVERIFY(QFileInfo::exists(dropped));
        // The program fetches the dropped data from this process after the drag has ended here: serve it
        // before the pointer moves on.
        QTest::qWait(1500);
        if (onMain) {
            registration = windowAt(u"^イメージの登録$"_s);
            QVERIFY(registration.x() >= 0);
            QTest::qWait(500);
        }

        click(registration, 1440, 1560, 4095, 315); // Text1, which proposes the file's name
        xdotool({u"key"_s, u"ctrl+a"_s});
        xdotool({u"type"_s, u"--delay"_s, u"30"_s, u"Shelf"_s});
        click(registration, 2160, 120, 855, 855); // Command1
        QStringList folders;
        QTRY_VERIFY_WITH_TIMEOUT(
            (folders = QDir(program.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot)).size() == 1, 10000);
        const QString folder = program.filePath(folders[0]);
        QTRY_COMPARE(bytes(folder + u"/shelf.png"_s), bytes(dropped));
        QTRY_VERIFY(bytes(folder + u"/IMAGE.INI"_s).endsWith("\r\nTitle=Shelf\r\n"));
    }
};

QTEST_MAIN(tst_RealDrop)
#include "tst_realdrop.moc"
