// One clipboard: the host's clipboard store (runtime/host/clipboard.h, what read-clipboard
// and write-clipboard use) and a display's clipboard (gui/win/display.h) carry the same
// record. The headless display's clipboard is the host's store itself, so scripts, scripted
// input and controls share it, and what was written before the GUI module loaded is there.
#pragma once
#include "gui/win/headless/display.h"

namespace vyr::gui {

// The host's store in use (clipboard::current()) as the headless display's clipboard.
win::headless_display::shared_clipboard host_clipboard();

}  // namespace vyr::gui
