// unset!: the value of nothing. `unset_value` is the one shared, read-only unset! cell.
#pragma once
#include "runtime/cell.h"

namespace vyr {
inline constexpr cell unset_value{TYPE_UNSET, 0, 0, 0};
}

namespace vyr::unset {

cell* make_in(const cell* block);
cell* push();
cell* push_last();  // overwrites the result slot at stack::arguments

const cell* make(const cell* proto, const cell* spec, u32 type);  // also `to`
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
i32 compare(const cell* a, const cell* b, i32 op);

void init();  // registers unset!

}  // namespace vyr::unset
