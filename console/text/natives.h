// The text front end's points of contact with the language: `ask` (/hide, /history) and
// `input` reading through the line editor, `halt`, the console history, and the observer of
// standard output that lets a question continue the row a `prin` left open.
#pragma once
#include <optional>
#include <string>

#include "runtime/cell.h"
#include "runtime/fire.h"

namespace vyr::text {

// Registers the `system/console/init` routine (before the environment is built).
void register_routines();

// Defines `ask`, `input`, `console-visible?` and a no-op `_save-cfg` (after the bootstrap
// environment) and, for text mode, sends printed values to standard output and watches
// them. The GUI console keeps these values until its launch rebinds them, but nothing of
// it reaches standard output. Once per process.
void install(bool text_mode = true);

// A console line: the prompt shown (terminal only), the shared history (newest first:
// `system/console/history` once that exists, else the front end's own block), Tab completion
// through `vyr-complete-input` when the library has it. Nothing at the end of input.
std::optional<std::string> read_command(const std::string& prompt);

// True when `t` is the halt (the word `halt-request` thrown with the name `console`).
bool is_halt(const thrown& t);

}  // namespace vyr::text
