// Argument helpers on cells (module `cell`, namespace `cell_`).
#pragma once
#include "runtime/cell.h"

namespace vyr::cell_ {

// integer! gives its value; float! is truncated toward zero after a range check
// (script out-of-range for NaN or values outside 32 bits); other types: script expect-arg.
i32 get_int_checked(const cell* value);

}  // namespace vyr::cell_
