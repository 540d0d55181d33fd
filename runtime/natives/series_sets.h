// The block builders shared by the series natives and `print`.
#pragma once
#include "runtime/cell.h"

namespace vyr::natives {

// Evaluates each expression of `block` (a block value) and adds each result, new-line
// marker cleared, to `target`: appended at the tail of a block! or hash!, inserted (in
// order) at the position of any other block kind; a none! target is replaced by a new
// block! of the results. Answers false when an exit became pending (the caller returns at
// once). `target` must be kept alive by the caller.
bool reduce_into(const cell* block, cell* target);

// Composes `block` into `target` (same insertion rules as reduce_into): parens are
// evaluated and their results inserted (a block result spliced unless `only`), nested
// blocks composed too with `deep`. Answers false when an exit became pending.
bool compose_into(const cell* block, cell* target, bool deep, bool only);

}  // namespace vyr::natives
