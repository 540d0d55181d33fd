// The comparison natives, `same?`, `not`, the block builders `reduce` and `compose`, the
// output natives `print` and `prin`, the new-line marker natives and `stats`. Installed
// at their fixed indexes by `install_output` (after the interpreter's first entries, which
// these replace).
#pragma once
#include "runtime/cell.h"

namespace vyr::natives {

void install_output();

// The line-break flag of the last `print` (true) or `prin` (false); the console reads it
// to know whether its prompt starts on a fresh line.
extern bool last_print_line_break;

// Identity: the same series at the same position, bit-identical scalars, the same word
// binding... (see `same?`).
bool same_q(const cell* a, const cell* b);

// Evaluates each expression of `block` (a block value) and adds each result, new-line
// marker cleared, to `target`: appended at the tail of a block! or hash!, inserted (in
// order) at the position of any other block kind. Answers false when an exit became
// pending (the caller returns at once). `target` must be kept alive by the caller.
bool reduce_into(const cell* block, const cell* target);

// Composes `block` into `target` (same insertion rules as reduce_into): parens are
// evaluated and their results inserted (a block result spliced unless `only`), nested
// blocks composed too with `deep`. Answers false when an exit became pending.
bool compose_into(const cell* block, const cell* target, bool deep, bool only);

// The default value-print hook: writes a string! value's text to the text hooks, with a
// line break when `flag` is set.
void console_value_hook(const cell* value, bool flag);

}  // namespace vyr::natives
