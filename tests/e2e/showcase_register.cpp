// The main window with the image registration window open beside it, a picture file dropped and a name
// typed in, for screenshots of the program (the manual's pictures).
//   kovra_showcase_register PROGRAM_FOLDER PICTURE_FILE NAME
#include "frmImageRsgist.h"
#include "frmMain.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QTimer>
#include <QTranslator>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments();
    if (args.size() < 4)
        return 2;
    QTranslator qtJapanese;
    if (qtJapanese.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtJapanese);

    frmMain main(args[1]);
    main.setWindowFactory(frmMain::Window::ImageRegistration,
                          [m = &main] { return new frmImageRsgist(m->catalogue(), *m); });
    main.show();

    auto* window = static_cast<frmImageRsgist*>(main.openWindow(frmMain::Window::ImageRegistration));
    // The same handling a drop on the window's target gets.
    if (window->dropFile(args[2]) != kovra::DropCheck::Accepted)
        return 1;
    window->findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(args[3]);
    // Beside the main window rather than over it, for the picture: once the window has placed itself.
    QTimer::singleShot(300, window, [window, &main] { window->move(main.frameGeometry().right() + 16, main.y()); });
    return app.exec();
}
