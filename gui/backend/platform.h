// The platform routines of system/view/platform, which the runtime's stubs find here on
// their first call (gui_entry/view_routines.cpp).
#pragma once

namespace vyr::gui {

// Gives the runtime the platform routines' code and the error box.
void install_platform_routines();

// Runs system/view/platform/refresh-screens: the screen faces follow the displays.
void refresh_screens();

}  // namespace vyr::gui
