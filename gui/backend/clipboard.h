// One clipboard: the host's clipboard store (runtime/host/clipboard.h, what read-clipboard
// and write-clipboard use) and a display's clipboard (gui/win/display.h) carry the same
// record. The headless display's clipboard is the host's store itself, so scripts, scripted
// input and controls share it, and what was written before the GUI module loaded is there.
#pragma once
#include "gui/win/headless/display.h"
#include "gui/win/x11/display.h"

namespace vyr::gui {

// The host's store in use (clipboard::current()) as the headless display's clipboard.
win::headless_display::shared_clipboard host_clipboard();

// The X11 display's clipboard (the desktop's CLIPBOARD selection) as the host's store while
// the display is open: shared when it opens, with what the in-process store held, and
// given back before it closes.
void share_display_clipboard(win::x11_display* d);
void unshare_display_clipboard();

}  // namespace vyr::gui
