#include "BackgroundTask.h"
#include "Catalogue.h"
#include "CodePage.h"
#include "ConflictNotice.h"
#include "EditWindows.h"
#include "ImageFolders.h"
#include "MessageBox.h"
#include "ProgramFolder.h"
#include "RegisterWindows.h"
#include "Ui.h"
#include "frmAbout.h"
#include "frmImageRsgist.h"
#include "frmMain.h"
#include "frmSearch.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QPointer>
#include <QTimer>
#include <QTranslator>

namespace {

// Window placement needs a platform that lets a program place its windows: X11 (also XWayland).
// Chosen only when the user has not chosen a platform and the xcb plugin is installed.
void preferXcb()
{
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || qEnvironmentVariableIsEmpty("DISPLAY"))
        return;
    const QDir platforms(QLibraryInfo::path(QLibraryInfo::PluginsPath) + QStringLiteral("/platforms"));
    if (!platforms.entryList({QStringLiteral("libqxcb*")}, QDir::Files).isEmpty())
        qputenv("QT_QPA_PLATFORM", "xcb");
}

} // namespace

int main(int argc, char* argv[])
{
    preferXcb();
    QApplication app(argc, argv);
    // The application name is the windows' X11 class (WM_CLASS "kovra", "Kovra"), which the desktop entry's
    // StartupWMClass names; the desktop file name is the Wayland application id.
    QApplication::setApplicationName(QStringLiteral("Kovra"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.kovra.kovra"));
    QApplication::setApplicationVersion(QStringLiteral(KOVRA_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/app.svg")));

    // Standard buttons in Japanese (はい / いいえ) where Qt's translations are installed.
    QTranslator qtJapanese;
    if (qtJapanese.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtJapanese);

    kovra::ui::nameWidgetsByToolTips(&app);

    // Without the code page every name and item would show garbled, no search would find anything and
    // every write would be refused with a wrong reason: say so once, before any window.
    QString reason;
    if (!kovra::codepage::available(&reason)) {
        qCritical("%s", qPrintable(reason));
        kovra::MessageBox::critical(
            nullptr,
            QStringLiteral("文字コードの変換（コードページ932）を利用できないため，プログラムを起動できません．"));
        return 1;
    }

    // Temporary files of a write that a crash or a pulled stick interrupted; the old files are whole. The
    // program folder's at once, the image folders' behind the window (our own writes' are left alone).
    kovra::removeTempLeftovers(kovra::programFolder());
    const kovra::BackgroundTask sweep(
        [](const std::atomic<bool>& stop) { kovra::removeImageFolderLeftovers(kovra::programFolder(), stop); },
        kovra::BackgroundTask::Priority::Low);
    kovra::Catalogue catalogue(kovra::programFolder());
    // What sync programs kept as conflict copies goes into the files before anything reads them.
    const QList<kovra::ConflictMerge> merged = catalogue.mergeConflictCopies();
    auto* mainWindow = new frmMain(catalogue);
    mainWindow->setAttribute(Qt::WA_DeleteOnClose);
    mainWindow->setWindowFactory(frmMain::Window::About, [] { return new frmAbout; });
    mainWindow->setWindowFactory(frmMain::Window::ImageRegistration,
                                 [&catalogue, mainWindow] { return new frmImageRsgist(catalogue, *mainWindow); });
    // Files dropped on the main window open the registration window with them.
    kovra::registration::installMainWindowDrop(*mainWindow);
    kovra::edit::installWindows(*mainWindow); // area arrangement, item registration, placement mode
    mainWindow->setWindowFactory(frmMain::Window::Search,
                                 [&catalogue, mainWindow] { return new frmSearch(catalogue, *mainWindow); });
    QObject::connect(mainWindow, &frmMain::programEnding, &app, &QApplication::quit, Qt::QueuedConnection);
    mainWindow->show();
    QTimer::singleShot(0, mainWindow, [mainWindow, merged] { kovra::tellMergedConflicts(mainWindow, merged); });
    // Copies that arrive later, while the program follows the disk, are merged and told the same way.
    QObject::connect(&catalogue, &kovra::Catalogue::conflictCopiesMerged, mainWindow,
                     [mainWindow](const QList<kovra::ConflictMerge>& m) { kovra::tellMergedConflicts(mainWindow, m); });
    const QPointer<frmMain> open(mainWindow);
    const int status = app.exec();
    delete open.data(); // the windows draw the catalogue's shown image: they go first
    return status;
}
