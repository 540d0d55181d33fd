// The GUI console as a front end (see front_end.h).
#include "console/gui/front_end.h"

#include "console/gui/cfg_file.h"
#include "console/gui/print_capture.h"

namespace vyr::gui_console {

namespace {
// Everything the window needs is routed by its launch; no terminal is changed.
void nothing() {}
void run() { console::call_global({"gui-console-ctx", "launch"}); }
}  // namespace

const console::front_end& front() {
  static const console::front_end f{nothing, run, nothing};
  return f;
}

void register_routines() {
  cfg_file::register_routines();
  print_capture::install();
}

}  // namespace vyr::gui_console
