// Print capture for the GUI console: a value-print hook and a text-print hook that hand
// everything printed to `terminal/vprint`, the raw text through one reused string! kept in
// the root block; and the caret blink time the console window reads.
#pragma once
#include <string_view>

#include "runtime/cell.h"

namespace vyr::print_capture {

// Installs both hooks (value hook first) and the buffer cell. Once per process.
void add_gui_print();

// The value hook: `str` with `lf` (true for print, false for prin) to `terminal/vprint`,
// with tracing off meanwhile. Raises internal stack-overflow when the stacks are nearly
// full instead of printing.
void vyr_print_gui(const cell* str, bool lf);
// The text hook: `len` UTF-8 bytes (a negative `len`: up to the NUL), decoded into the
// reused buffer string, then printed as a value.
void rs_print_gui(const char* text, i64 len, bool lf);

// The reused string of raw prints (unset! before the first one).
const cell* gui_console_buffer();

// The caret's blink period in milliseconds: Linux has no system setting, so 500.
i32 get_caret_blink_time();

// Installs the entries of `add-gui-print` and `get-caret-blink-time`, which
// console/gui/natives.vyr makes (before the environment is built). Once per process.
void install();

}  // namespace vyr::print_capture
