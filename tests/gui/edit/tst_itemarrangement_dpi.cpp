// A new area on a 120-dpi screen: 12 twips per pixel give a fractional size, kept through the save.
#include "EditMainWindow.h"
#include "MessageBox.h"
#include "frmItemArrangement.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

using kovra::test::areaFile;
using kovra::test::areaFiles;
using kovra::test::areaSection;
using kovra::test::CatalogueBuilder;
using kovra::test::itemSections;
using kovra::test::readBytes;
using kovra::test::writeBytes;

class tst_ItemArrangementDpi : public QObject
{
    Q_OBJECT

private slots:
    void newAreaKeepsFractionalSize();
};

void tst_ItemArrangementDpi::newAreaKeepsFractionalSize()
{
    CatalogueBuilder cat;
    const QString image = cat.addImage(QStringLiteral("20240101000000"), "One");
    auto main = fixture::openMain(cat);
    QCOMPARE(main->twipsPerPixel(), 12.0);
    auto* w = qobject_cast<frmItemArrangement*>(main->openWindow(frmMain::Window::AreaArrangement));
    QCOMPARE(w->size(), QSize(378, 92)); // 4530 x 1110 twips: 377.5 and 92.5, rounded half to even
    w->findChild<QToolButton*>(QStringLiteral("Command5"))->click();
    QCOMPARE(main->shownImage().areaRect(0), QRectF(0, 0, 187.5, 43.75));
    w->findChild<QToolButton*>(QStringLiteral("Command1"))->click();
    QCOMPARE(readBytes(areaFile(image, 0)),
             QByteArray("[Area]\r\nVisible=True\r\nLeft=0\r\nTop=0\r\nWidth=187.5\r\nHeight=43.75\r\n"));
}

// The offscreen platform with one 120-dpi screen, chosen before the application starts.
int main(int argc, char* argv[])
{
    QTemporaryDir config;
    const QString path = config.filePath(QStringLiteral("screens.json"));
    if (!writeBytes(path, R"({"screens": [{"name": "dpi120", "x": 0, "y": 0, "width": 1280, "height": 1024,
                                  "logicalDpi": 120, "logicalBaseDpi": 96, "dpr": 1}]})"))
        return 1;
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(path));
    qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication app(argc, argv);
    tst_ItemArrangementDpi test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_itemarrangement_dpi.moc"
