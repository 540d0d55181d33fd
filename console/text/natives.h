// The text front end's points of contact with the language: `ask` (/hide, /history) and
// `input` reading through the line editor, `halt`, the console history, and the observer of
// standard output that lets a question continue the row a `prin` left open.
#pragma once
#include <optional>
#include <string>

#include "console/front_end.h"
#include "runtime/cell.h"
#include "runtime/fire.h"

namespace vyr::text {

// Registers the text console's routines (`system/console/init` among them) and the entries
// of `ask` and `input`, which console/text/natives.vyr makes (before the environment is
// built). The GUI console keeps these values until its launch rebinds them.
void register_routines();

// The text console as a front end (console/front_end.h): once installed, printed values go
// to standard output, watched so that a question continues the row a `prin` left open.
const console::front_end& front();

// A console line: the prompt shown (terminal only), the shared history (newest first:
// `system/console/history` once that exists, else the front end's own block), Tab completion
// through `vyr-complete-input` when the library has it. Nothing at the end of input.
std::optional<std::string> read_command(const std::string& prompt);

// True when `t` is the halt (the word `halt-request` thrown with the name `console`).
bool is_halt(const thrown& t);

}  // namespace vyr::text
