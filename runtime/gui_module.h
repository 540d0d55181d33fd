// The GUI module: the windowing layer and the GUI backend live in a shared module
// (vyr-gui.so beside the executable) that is loaded on the first GUI use, so that start-up
// never pays for loading cairo, pango and X11. The runtime owns the hooks; the module's
// entry point `vyr_gui_module_init` installs them (the event field reads, the table below,
// the collector's mark callback). The runtime never links the GUI libraries.
#pragma once
#include <string>

#include "runtime/cell.h"

namespace vyr::gui_module {

// What the runtime asks of the GUI once the module is in; every entry is null until then.
struct hooks {
  // send-event-os: posts (queued) or sends the event to its face's window.
  bool (*send_event)(const cell* event, bool queued) = nullptr;
  // wait's pass over the GUI messages that are already pending, without blocking.
  void (*pump_pending)() = nullptr;
  // Blocks in the message loop until the last window closes or the loop is ended.
  void (*do_events)(bool no_wait) = nullptr;
  // The body of the routine gui/draw-image (DRAW on cairo).
  void (*draw_image)(cell* args, u32 count) = nullptr;
};
hooks& table();

// The module's file: VYR_GUI_MODULE when set, else vyr-gui.so in the executable's folder.
std::string module_path();
// Loads the module once and runs its entry point. False with the reason in `error` when
// the module cannot be loaded or has no entry point; a later call tries again.
bool load(std::string* error = nullptr);
bool loaded();
// As `load`, raising internal not-done ("the GUI module could not be loaded") on failure.
void require();

// The body of the routine send-event-os: loads the module on first use, then posts or
// sends the event through it.
bool send_event_os(const cell* event, bool queued);

}  // namespace vyr::gui_module
