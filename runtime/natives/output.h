// The output natives `print` and `prin` and `stats` (output.cpp): what the console and the
// library's routines read of them.
#pragma once
#include "runtime/cell.h"

namespace vyr::natives {

// The line-break flag of the last `print` (true) or `prin` (false); the console reads it
// to know whether its prompt starts on a fresh line.
extern bool last_print_line_break;

// The default value-print hook: writes a string! value's text to the text hooks, with a
// line break when `flag` is set.
void console_value_hook(const cell* value, bool flag);

}  // namespace vyr::natives
