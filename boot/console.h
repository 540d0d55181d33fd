// The text-mode console and script runner that `vyr` starts until the console engine
// exists: console input evaluated line by line with "== " results, scripts run from a
// file, and the error report of uncaught errors.
#pragma once
#include <string>

#include "runtime/fire.h"

namespace vyr::console {

// The report text of an error (the form of its error! value).
std::string error_report(const thrown& t);

// Evaluates console input from stdin until it ends; prompts (and the banner, when asked
// for) only when stdin is a terminal.
int run_console(bool banner = true);
// Runs a script file (a `Vyr [...]` header is required); 1 after an uncaught error.
// `readable` (when given) tells whether the file could be read at all.
int run_script(const char* path, bool* readable = nullptr);

}  // namespace vyr::console
