// The GUI module: the windowing layer and the GUI backend live in a shared module
// (vyr-gui.so beside the executable) that is loaded on the first GUI use, so that start-up
// never pays for loading cairo, pango and X11. This folder (gui_entry) is the one door
// between them, built into the executable: the loader and the hook table here, the
// routines that reach the GUI (view_routines.cpp), the `draw` entry (draw.cpp) and the
// choice of display (display_choice.h). The module's entry point `vyr_gui_module_init`
// installs the hooks (the event field reads, the table below, the collector's mark
// callback). The runtime never links the GUI libraries.
#pragma once
#include <string>

#include "runtime/api/gui_module.h"
#include "runtime/api/host.h"
#include "runtime/cell.h"

namespace vyr::gui_module {

hooks& table();

// The host API's table the module is started with (gui_entry/host_api.cpp).
const api::host_table& host_api();
// The module's entry point `vyr_gui_module_init`: binds the host table and installs the
// module's hooks; false when the module was built against a longer host table.
using entry_fn = bool (*)(const api::host_table* host);

// The module's file: VYR_GUI_MODULE when set, else vyr-gui.so in the executable's folder.
std::string module_path();
// Loads the module once and runs its entry point. False with the reason in `error` when
// the module cannot be loaded or has no entry point; a later call tries again.
bool load(std::string* error = nullptr);
bool loaded();
// A program that links the module's code itself (a test) runs its entry point here; the
// module then counts as loaded.
void adopt(entry_fn entry);
// As `load`, raising internal not-done ("the GUI module could not be loaded") on failure.
void require();

// The body of the routine send-event-os: loads the module on first use, then posts or
// sends the event through it.
bool send_event_os(const cell* event, bool queued);

// Registers the routines that reach the GUI: the platform routines (each loads the module
// on its first call), `gui-init` (the start-up part of system/view/platform/init, which
// loads the module only when a display other than the headless one is wanted),
// `send-event-os`, `event?`, `find-flag?` and `gui-error-box` (a script's uncaught error in a
// message box, once the module is in).
// Also sets the runtime's `to image!` hook for faces: any face that `face?` accepts is
// drawn by the module, which is loaded on that first call.
void register_routines();

}  // namespace vyr::gui_module
