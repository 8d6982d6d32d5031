// The main window with the area arrangement and item registration windows open beside it, for
// screenshots of the program (checks of the layout, the manual's pictures).
//   kovra_showcase_edit PROGRAM_FOLDER ITEM_AREA
// The arrangement window has opened one new area and has placement mode ticked; the item window
// shows ITEM_AREA's list with its second row picked and a name typed in.
#include "EditWindows.h"
#include "frmMain.h"

#include <QApplication>
#include <QCheckBox>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QToolButton>
#include <QTranslator>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 3)
        return 2;
    QTranslator qtJapanese;
    if (qtJapanese.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtJapanese);

    frmMain main(args[1]);
    kovra::edit::installWindows(main);
    main.show();

    // Beside the main window rather than over it, for the picture.
    const int right = main.frameGeometry().right() + 16;
    QWidget* arrangement = main.openWindow(frmMain::Window::AreaArrangement);
    arrangement->findChild<QToolButton*>(QStringLiteral("Command5"))->click();
    arrangement->findChild<QCheckBox*>(QStringLiteral("Check1"))->setChecked(true);
    arrangement->move(right, main.y());

    main.shownImage().selectArea(args[2].toInt());
    QWidget* items = main.openWindow(frmMain::Window::ItemRegistration);
    items->findChild<QListWidget*>(QStringLiteral("List1"))->setCurrentRow(1);
    items->findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QStringLiteral("単三電池"));
    items->move(right, arrangement->frameGeometry().bottom() + 24);
    return app.exec();
}
