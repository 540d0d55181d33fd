// The GUI module's entry point: run by the runtime's loader once the module is in, it
// installs the backend's hooks into the runtime.
#include "gui/events.h"

namespace {
// The module carries its own copy of the unwinder, whose register table is filled on its
// first throw. Errors raised by the runtime unwind through the module's frames with the
// module's personality routine, which reads that table: fill it now, so those unwinds do
// not abort.
[[gnu::noinline]] void prime_unwinder() {
  try {
    throw 0;
  } catch (int) {
  }
}
}  // namespace

extern "C" __attribute__((visibility("default"))) void vyr_gui_module_init() {
  prime_unwinder();
  vyr::gui::install_runtime_hooks();
}
