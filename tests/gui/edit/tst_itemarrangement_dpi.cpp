// A new area on a 120-dpi screen: 12 twips per pixel give a fractional size, kept through the save.
#include "EditFixture.h"
#include "frmItemArrangement.h"

#include <QApplication>
#include <QToolButton>

class tst_ItemArrangementDpi : public QObject
{
    Q_OBJECT

private slots:
    void newAreaKeepsFractionalSize();
};

void tst_ItemArrangementDpi::newAreaKeepsFractionalSize()
{
    fixture::Catalogue cat;
    const QString image = cat.addImage(QStringLiteral("20240101000000"), "One");
    auto main = cat.openMain();
    QCOMPARE(main->twipsPerPixel(), 12.0);
    auto* w = qobject_cast<frmItemArrangement*>(main->openWindow(frmMain::Window::AreaArrangement));
    QCOMPARE(w->size(), QSize(378, 92)); // 4530 x 1110 twips: 377.5 and 92.5, rounded half to even
    w->findChild<QToolButton*>(QStringLiteral("Command5"))->click();
    QCOMPARE(main->shownImage().areaRect(0), QRectF(0, 0, 187.5, 43.75));
    w->findChild<QToolButton*>(QStringLiteral("Command1"))->click();
    QCOMPARE(fixture::readBytes(fixture::areaFile(image, 0)),
             QByteArray("[Area]\r\nVisible=True\r\nLeft=0\r\nTop=0\r\nWidth=187.5\r\nHeight=43.75\r\n"));
}

// The offscreen platform with one 120-dpi screen, chosen before the application starts.
int main(int argc, char* argv[])
{
    QTemporaryDir config;
    const QString path = config.filePath(QStringLiteral("screens.json"));
    fixture::writeBytes(path, R"({"screens": [{"name": "dpi120", "x": 0, "y": 0, "width": 1280, "height": 1024,
                                  "logicalDpi": 120, "logicalBaseDpi": 96, "dpr": 1}]})");
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(path));
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication app(argc, argv);
    tst_ItemArrangementDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_itemarrangement_dpi.moc"
