// External resource slots: platform objects (bitmaps, fonts, handles) are kept here and
// referred to by slot index from cells. Unmarked slots are released after each collection.
#pragma once
#include "runtime/cell.h"

namespace vyr::externals {

using release_fn = void (*)(u64 handle);
constexpr u32 MAX_CLASSES = 20;

void init();
u32 register_class(const char* name, release_fn release);  // 1-based class id
i32 add(u64 handle, u32 class_id);
void set_handle(i32 slot, u64 handle);
void remove(i32 slot, bool release);
bool mark(i32 slot, u64 handle, bool has_handle);  // true when newly marked
u64 handle_of(i32 slot);
// Whether `slot` is an index of a slot in use (of class `class_id` when that is not 0).
bool live_q(i32 slot, u32 class_id = 0);
void for_each_of_class(u32 class_id, void (*fn)(u64 handle));
void sweep();
u32 capacity();
u32 live_count();

}  // namespace vyr::externals
