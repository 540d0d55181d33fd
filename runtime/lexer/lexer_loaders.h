// The value loaders: the text of one value token to one value. Shared by the loading layer
// only; every failure is raised through scanner::throw_error with the datatype it names.
#pragma once
#include "runtime/lexer/lexer.h"

namespace vyr::lexer {

// Checks the token's text and, when `build`, makes its value in `out` (a cell outside any
// series buffer; the call may allocate and collect). A path head (t.kind a path kind) is
// made a word! whatever its prefix.
void load_value(scanner& s, const token& t, bool build, cell* out);

// The value of a construction token "#(...)" (its kind from the scanner).
void load_construct(const token& t, cell* out);

// Money text (code units of `unit` bytes) to a money! at `out`: money!'s text scanner and
// the literal loader's. False when the text is not money, names an unknown currency or
// holds more than 17 integer or 5 fraction digits.
bool scan_money_text(const char* p, i32 count, u32 unit, cell* out);

}  // namespace vyr::lexer
