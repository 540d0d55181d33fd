// The natives table: 120 slots of stack entries, one per native of the natives list
// (native_list.h) plus room for test probes. A native! value (and a boot image) indexes it
// by the native's fixed number; each domain file installs its entries at start-up (see
// domains.h), and a slot nobody installed holds no entry.
#pragma once
#include "runtime/cell.h"
#include "runtime/natives/native_list.h"

namespace vyr::natives {

constexpr u32 TABLE_SIZE = 120;
static_assert(COUNT <= TABLE_SIZE, "the natives table has room for every listed native");

// A native's stack entry: `check` asks it to verify its argument types itself (the
// interpreter passes false: it checked them while gathering); `refs` holds one integer per
// refinement in declared order: -1 when absent, else the index (from stack::arguments) of the
// cell that holds the refinement's first argument.
using entry_fn = void (*)(bool check, const i32* refs);

// The word of native `index` (1-based) in the natives list; "" past the list.
const char* name_of(u32 index);

// The entry installed at `index` (1-based); null for a slot with none: a native! can only be
// made for an installed entry.
entry_fn entry(u32 index);

// Puts the entry of listed native `index` (an `id::` constant) into its slot.
void install(u32 index, entry_fn f);

// Puts `f` into the first free slot past the listed natives and answers its index: test
// probes only, the natives themselves are installed by their fixed numbers.
u32 register_(entry_fn f);

void init();  // installs the entries of every domain file (once)

}  // namespace vyr::natives
