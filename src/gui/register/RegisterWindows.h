#pragma once

class frmMain;

namespace kovra::registration {

// Files and folders dropped on the main window open the image registration window (or bring the open one
// forward) and are offered there as a drop on it. The window's factory must be set.
void installMainWindowDrop(frmMain& main);

} // namespace kovra::registration
