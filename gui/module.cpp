// The GUI module's entry point: run by the runtime's loader once the module is in, it
// installs each subsystem's hooks into the runtime, one line each.
#include "gui/draw/draw.h"
#include "gui/backend/events.h"
#include "gui/backend/lifecycle.h"
#include "gui/module.h"
#include "gui/backend/platform.h"

extern "C" __attribute__((visibility("default"))) bool vyr_gui_module_init(
    const vyr::api::host_table* host) {
  if (!vyr::api::bind(host)) return false;
  vyr::gui::install_event_hooks();
  vyr::gui::install_lifecycle_hooks();
  vyr::draw::install_hooks();
  vyr::gui::install_platform_routines();
  return true;
}
