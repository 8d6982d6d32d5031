// The main window on a given program folder with hit marks placed as the search display places them,
// for screenshots of the program (the manual's pictures, checks of the layout).
//   kovra_showcase PROGRAM_FOLDER [SELECTED_AREA [HIT_AREA...]]
//   kovra_showcase PROGRAM_FOLDER about        (the version window as a double-click opens it)
#include "AreaFiles.h"
#include "frmAbout.h"
#include "frmMain.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 2)
        return 2;
    QTranslator qtJapanese;
    if (qtJapanese.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtJapanese);

    frmMain w(args[1]);
    w.setWindowFactory(frmMain::Window::About, [](frmMain*) { return new frmAbout; });
    if (args.size() > 2 && args[2] == QStringLiteral("about")) {
        w.show();
        w.openWindow(frmMain::Window::About);
        return app.exec();
    }
    if (args.size() > 2 && args[2].toInt() >= 0) {
        w.setSelectedAreaIndex(args[2].toInt());
        w.showHandleAt(args[2].toInt());
    }
    for (qsizetype i = 3; i < args.size(); ++i) {
        const int area = args[i].toInt();
        w.showHitMark(area, kovra::readAreaGeometry(w.currentImageFolder(), area));
    }
    if (args.size() > 3)
        w.startAnimation();
    w.show();
    return app.exec();
}
