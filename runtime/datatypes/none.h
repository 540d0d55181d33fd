// none!: the empty value that failed look-ups return. `none_value` is the one shared,
// read-only none! cell.
#pragma once
#include "runtime/cell.h"

namespace vyr {
inline constexpr cell none_value{TYPE_NONE, 0, 0, 0};
}

namespace vyr::none {

cell* make_in(const cell* block);
cell* push();
cell* push_last();  // overwrites the result slot at stack::arguments

const cell* make(const cell* proto, const cell* spec, u32 type);  // also `to`
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
i32 compare(const cell* a, const cell* b, i32 op);
// clear, find, remove, select and take of none answer none.
i32 length_q(const cell* value);  // -1: `length?` answers none

void init();  // registers none!

}  // namespace vyr::none
