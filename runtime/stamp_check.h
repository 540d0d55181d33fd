// The check behind every decision cached about a block's cells (Debug builds only): such a
// decision is trusted while the block's write stamp is unchanged, so a write that forgets
// the stamp would run stale code. Where the evaluator enters a body, `check_stamp` keeps a
// shadow copy of its cells with the stamp; entering it again with the stamp unchanged, the
// cells must equal the copy, or the assertion names the write path that skipped the stamp.
#pragma once
#include "runtime/assert.h"
#include "runtime/cell.h"

namespace vyr::memory {

#if VYR_ASSERTIONS
void check_stamp(u32 node);
// The node is freed: its next buffer is another series.
void forget_stamp(u32 node);
#else
inline void check_stamp(u32) {}
inline void forget_stamp(u32) {}
#endif

}  // namespace vyr::memory
