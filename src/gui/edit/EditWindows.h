#pragma once

class frmMain;

namespace kovra::edit {

// Lets the main window open the area arrangement and item registration windows, save the arrangement as
// that window's "登録" does, and answers its placement-mode question from the open arrangement window (a
// closed one counts as unticked).
void installWindows(frmMain& main);

} // namespace kovra::edit
