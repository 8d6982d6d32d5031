#include "EditWindows.h"

#include "frmItemArrangement.h"
#include "frmItemRegist.h"
#include "frmMain.h"

namespace kovra::edit {

void installWindows(frmMain& main)
{
    main.setWindowFactory(frmMain::Window::AreaArrangement, [](frmMain* m) { return new frmItemArrangement(m); });
    main.setWindowFactory(frmMain::Window::ItemRegistration, [](frmMain* m) { return new frmItemRegist(*m); });
    main.setPlacementModeQuery([m = &main] {
        const auto* w = qobject_cast<const frmItemArrangement*>(m->openedWindow(frmMain::Window::AreaArrangement));
        return w && !w->isHidden() && w->placementMode();
    });
}

} // namespace kovra::edit
