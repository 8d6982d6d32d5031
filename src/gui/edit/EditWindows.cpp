#include "EditWindows.h"

#include "PictureCanvas.h"
#include "frmItemArrangement.h"
#include "frmItemRegist.h"
#include "frmMain.h"

namespace kovra::edit {

namespace {

// The arrangement window while it is open (shown), else nullptr.
const frmItemArrangement* openArrangement(const frmMain& main)
{
    const auto* w = qobject_cast<const frmItemArrangement*>(main.openedWindow(frmMain::Window::AreaArrangement));
    return w && !w->isHidden() ? w : nullptr;
}

} // namespace

void installWindows(frmMain& main)
{
    main.setWindowFactory(frmMain::Window::AreaArrangement, [m = &main] {
        auto* w = new frmItemArrangement(m->catalogue(), *m);
        // Delete on the picture is its delete button, with the same messages.
        QObject::connect(&m->canvas(), &PictureCanvas::deleteAreaRequested, w, &frmItemArrangement::deleteSelectedArea);
        return w;
    });
    main.setWindowFactory(frmMain::Window::ItemRegistration,
                          [m = &main] { return new frmItemRegist(m->catalogue(), *m); });
    main.setArrangementSaver(
        [m = &main](QWidget* parent) { return frmItemArrangement::saveShownArrangement(m->catalogue(), parent); });
    main.setPlacementModeQuery([m = &main] {
        const frmItemArrangement* w = openArrangement(*m);
        return w && w->placementMode();
    });
    main.canvas().setArrangementOpenQuery([m = &main] { return openArrangement(*m) != nullptr; });
}

} // namespace kovra::edit
