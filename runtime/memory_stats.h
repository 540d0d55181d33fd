// Memory statistics for `stats` and `recycle`: the bytes in use, or a block describing
// every node frame, series frame and big buffer. Reads the memory manager's lists and never
// changes them.
#pragma once
#include "runtime/cell.h"

namespace vyr::memory {

// Level 1: answers the bytes in use (4 a used node, the used bytes of every series frame,
// the size of every big buffer). Level 2 and above: answers 0 and appends to the block
// `out` (a block value, kept alive by the caller): a block of [free used total] node
// blocks, one of [free used size] series-frame blocks, one of big-buffer sizes, the bytes
// reserved by all of them plus the tracked heap blocks, and the bytes of those heap blocks
// alone. Collection is off while it runs.
double stats(const cell* out, i32 level);

// An integer! when the count fits in 31 bits, else a float!.
cell count_value(double bytes);

}  // namespace vyr::memory
