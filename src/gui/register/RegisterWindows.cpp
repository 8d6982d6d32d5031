#include "RegisterWindows.h"

#include "frmImageRsgist.h"
#include "frmMain.h"

#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>

namespace kovra::registration {
namespace {

// Watches the main window itself: its controls take no drop, so a drop anywhere on it arrives there.
class MainWindowDrop : public QObject
{
public:
    explicit MainWindowDrop(frmMain& main) : QObject(&main), m_main(main) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != &m_main)
            return false;
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (frmImageRsgist::localFilesOf(drag->mimeData()).isEmpty())
                return false;
            drag->setDropAction(Qt::CopyAction); // never a move that lets the file manager delete the file
            drag->accept();
            return true;
        }
        case QEvent::Drop: {
            auto* drop = static_cast<QDropEvent*>(event);
            const QStringList paths = frmImageRsgist::localFilesOf(drop->mimeData());
            if (paths.isEmpty())
                return false;
            drop->setDropAction(Qt::CopyAction);
            drop->accept();
            // Once the drop is over, so that no message holds up the program the files came from.
            QTimer::singleShot(0, &m_main, [main = &m_main, paths] {
                if (auto* window = qobject_cast<frmImageRsgist*>(main->openWindow(frmMain::Window::ImageRegistration)))
                    window->dropFiles(paths);
            });
            return true;
        }
        default:
            return false;
        }
    }

private:
    frmMain& m_main;
};

} // namespace

void installMainWindowDrop(frmMain& main)
{
    main.setAcceptDrops(true);
    main.installEventFilter(new MainWindowDrop(main));
}

} // namespace kovra::registration
