// The GUI module's entry point: run by the runtime's loader once the module is in, it
// installs the backend's hooks into the runtime.
#include "gui/events.h"

extern "C" __attribute__((visibility("default"))) void vyr_gui_module_init() {
  vyr::gui::install_runtime_hooks();
}
