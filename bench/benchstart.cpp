// kovra-benchstart DIR: starts the main window on the program folder DIR as the program does (clean-up
// of interrupted writes, the window with its image list) and prints, when the image list is first
// painted, the wall clock in milliseconds since the epoch and the number of titles, then quits. The
// caller subtracts the moment it started the process.
#include "BackgroundTask.h"
#include "Catalogue.h"
#include "FileOps.h"
#include "ImageFolders.h"
#include "frmMain.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <cstdio>
#include <cstdlib>

namespace {

class FirstPaint : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_seen) {
            m_seen = true;
            const auto* combo = static_cast<QComboBox*>(watched);
            std::printf("%lld\t%d\n", QDateTime::currentMSecsSinceEpoch(), combo->count());
            std::fflush(stdout);
            // Gone at once: the main window would ask before closing.
            std::_Exit(0);
        }
        return false;
    }

private:
    bool m_seen = false;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() != 1) {
        std::fputs("usage: kovra-benchstart DIR\n", stderr);
        return 2;
    }
    // As the program starts: the program folder's leftovers, the image folders' behind the window, the
    // conflict copies merged, the main window over the catalogue.
    kovra::removeTempLeftovers(args[0]);
    const kovra::BackgroundTask sweep(
        [&](const std::atomic<bool>& stop) { kovra::removeImageFolderLeftovers(args[0], stop); },
        kovra::BackgroundTask::Priority::Low);
    kovra::Catalogue catalogue(args[0]);
    catalogue.mergeConflictCopies();
    frmMain window(catalogue);
    auto* combo = window.findChild<QComboBox*>(QStringLiteral("Combo1"));
    if (!combo)
        return 1;
    FirstPaint paint;
    combo->installEventFilter(&paint);
    window.show();
    return app.exec();
}
