// Text to a scalar value for make/to (pair!, points, tuple!, date!): the datatype modules
// sit below the lexer, so the lexer installs the loader when it starts.
#pragma once
#include "runtime/cell.h"
#include "runtime/hooks.h"

namespace vyr::scalar_text {

// Through `loader`; internal not-done until the lexer has installed it.
bool load_first(const cell* text, u32 type, cell* out);

// Whether a type is one of the string-like types make/to read as text.
bool text_q(u32 type);

}  // namespace vyr::scalar_text
