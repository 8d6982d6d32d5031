// The main window on a given program folder with hit marks placed as the search display places them,
// for screenshots of the program (the manual's pictures, checks of the layout).
//   kovra_showcase PROGRAM_FOLDER [SELECTED_AREA [HIT_AREA...]]
//   kovra_showcase PROGRAM_FOLDER about        (the version window as a double-click opens it)
// KOVRA_SHOWCASE_VIEW=fit shows the whole photo, a number (200) that zoom in per cent; KOVRA_SHOWCASE_SIZE=WxH
// resizes the window, KOVRA_SHOWCASE_SCROLL=X,Y scrolls (box pixels).
#include "AreaFiles.h"
#include "PictureCanvas.h"
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
    w.setWindowFactory(frmMain::Window::About, [] { return new frmAbout; });
    if (args.size() > 2 && args[2] == QStringLiteral("about")) {
        w.show();
        w.openWindow(frmMain::Window::About);
        return app.exec();
    }
    const QStringList size = qEnvironmentVariable("KOVRA_SHOWCASE_SIZE").split(u'x');
    if (size.size() == 2)
        w.resize(size[0].toInt(), size[1].toInt());
    const QString view = qEnvironmentVariable("KOVRA_SHOWCASE_VIEW");
    if (view == QStringLiteral("fit"))
        w.canvas().showFit();
    else if (view.toInt() > 0)
        w.canvas().view().zoomAbout(view.toInt() / 100.0, QPointF());
    const QStringList scroll = qEnvironmentVariable("KOVRA_SHOWCASE_SCROLL").split(u',');
    if (scroll.size() == 2)
        w.canvas().view().setScroll(QPointF(scroll[0].toDouble(), scroll[1].toDouble()));
    QList<int> hits;
    for (qsizetype i = 3; i < args.size(); ++i)
        hits.append(args[i].toInt());
    if (!hits.isEmpty())
        w.shownImage().showHitsOf(w.shownImage().folder(), hits); // as Show item does
    if (args.size() > 2 && args[2].toInt() >= 0) {
        w.shownImage().selectArea(args[2].toInt());
        w.shownImage().selectArea(args[2].toInt());
        w.shownImage().showHandle();
    }
    w.show();
    return app.exec();
}
