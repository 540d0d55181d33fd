// Value slots: language values held for native objects, addressed by 1-based slot numbers.
// The slots live in one block that the collector marks as a root.
#pragma once
#include "runtime/cell.h"

namespace vyr::value_slots {

void init();
u32 add(const cell* value);
cell* get(u32 slot);      // raises internal error for a slot that is not live
void free(u32 slot);      // 0 is ignored; a free or out-of-range slot raises internal error
u32 capacity();

}  // namespace vyr::value_slots
