// The settings file as a viewer in a Linux file manager's window keeps it:
// read when the viewer is made, written when the user changes word wrap or
// the options from the viewer's own context menu. For every toolkit.
#pragma once

#include <string>

#include "settings/Settings.h"
#include "viewer/ViewerCore.h"

namespace pagelet {

// The new core of such a viewer set up: black on white (the defaults) shown
// as the toolkit theme's colours, word wrap as last chosen in the context menu
// (the host gives no wrap command of its own), the font and back colour of
// iniPath. The core already calls the back end, which must reach it.
void ApplyKeptSettings(TViewerCore& core, const std::u16string& iniPath);

// The context menu's "Word wrap": switches wrap and keeps the choice in iniPath.
void ToggleKeptWordWrap(TViewerCore& core, const std::u16string& iniPath);

// What the options dialog chose: kept in iniPath, the font and back colour shown.
void ApplyKeptOptions(TViewerCore& core, const TViewerOptions& options, const std::u16string& iniPath);

}  // namespace pagelet
