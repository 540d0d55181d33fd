// The text-mode console and script runner that `vyr` starts until the console engine
// exists: console input evaluated line by line with "== " results, scripts run from a
// file, and the error report of uncaught errors.
#pragma once
#include <string>

#include "runtime/fire.h"

namespace vyr::console {

// The report text of an error: "*** <title>: <message>", then the Where and Near lines.
std::string error_report(const thrown& t);

// Evaluates console input from stdin until it ends; prompts only when stdin is a terminal.
int run_console();
// Runs a script file (a `Vyr [...]` header is required); 1 after an uncaught error.
int run_script(const char* path);

// Installs the stand-in error builder (where and near are recorded for the report) when
// the error module has not installed its own.
void install_error_support();

}  // namespace vyr::console
