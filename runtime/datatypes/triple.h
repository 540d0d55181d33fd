// triple!: three signed 32-bit integers in words 1-3. Nothing in the language makes one;
// the type exists so that such cells print. Every action but form and mold is unsupported.
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::triple {

cell* make_at(cell* c, i32 a, i32 b, i32 c3);

// "make triple! [1 2 3]" for form and mold alike.
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);

void init();  // registers triple!

}  // namespace vyr::triple
