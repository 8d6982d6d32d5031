#include "EditWindows.h"

#include "frmItemArrangement.h"
#include "frmItemRegist.h"
#include "frmMain.h"

namespace kovra::edit {

void installWindows(frmMain& main)
{
    main.setWindowFactory(frmMain::Window::AreaArrangement,
                          [m = &main] { return new frmItemArrangement(m->catalogue(), *m); });
    main.setWindowFactory(frmMain::Window::ItemRegistration,
                          [m = &main] { return new frmItemRegist(m->catalogue(), *m); });
    main.setArrangementSaver(
        [m = &main](QWidget* parent) { return frmItemArrangement::saveShownArrangement(m->catalogue(), parent); });
    main.setPlacementModeQuery([m = &main] {
        const auto* w = qobject_cast<const frmItemArrangement*>(m->openedWindow(frmMain::Window::AreaArrangement));
        return w && !w->isHidden() && w->placementMode();
    });
}

} // namespace kovra::edit
