// The GUI console as a front end (console/front_end.h): its window is opened by
// `gui-console-ctx/launch`, which binds the prompt (`ask`, `input`) and the quit-time save to
// the window and sends printed values to its terminal.
#pragma once
#include "console/front_end.h"

namespace vyr::gui_console {

const console::front_end& front();

// The settings file's routines and the native entries of print capture.
void register_routines();

}  // namespace vyr::gui_console
