// A loader of Vyr text into blocks for start-up and the console until the lexer's own
// loading layer exists: the scanner's tokens become words, numbers, strings, chars, issues,
// refinements, blocks, parens and paths, all words bound to the global context.
#pragma once
#include "runtime/cell.h"

namespace vyr::boot {

// Loads UTF-8 text into a block! value written to `out` (which must not lie in a series
// buffer). Syntax errors are raised by the scanner.
void load_text(const char* utf8, u32 length, cell* out);

}  // namespace vyr::boot
