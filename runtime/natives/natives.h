// The natives table: 120 slots of stack entries, 107 used, filled at start-up in the fixed
// registration order that native! values (and the boot image) index by. The entries live
// in one file per domain (see domains.h).
#pragma once
#include "runtime/cell.h"

namespace vyr::natives {

constexpr u32 TABLE_SIZE = 120;
constexpr u32 COUNT = 107;

// A native's stack entry: `check` asks it to verify its argument types itself (the
// interpreter passes false: it checked them while gathering); `refs` holds one integer per
// refinement in declared order: -1 when absent, else the index (from stack::arguments) of the
// cell that holds the refinement's first argument.
using entry_fn = void (*)(bool check, const i32* refs);

// The registration order; `name_of(i)` is the word of native i (1-based).
const char* name_of(u32 index);
u32 index_of(const char* name);   // 0 when no native has that name

// Registered entries (1-based); null for an index that is not registered.
entry_fn entry(u32 index);
u32 registered();                 // how many entries were registered

// Appends one entry at the next index and returns that index.
u32 register_(entry_fn f);
// Replaces a registered entry: modules that build a native later (loops, math, parse...)
// install their entry at its fixed index.
void install(u32 index, entry_fn f);
void install(const char* name, entry_fn f);

void init();  // the table, every slot registered in order (not-done until installed)


}  // namespace vyr::natives
