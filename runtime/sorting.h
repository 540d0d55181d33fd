// In-place sorting of fixed-width records with a comparison callback: a stable run-adaptive
// merge sort and an adaptive quicksort. Whatever the callback answers, throws or writes into
// the records, no access leaves [base, base + count x width) and a throw leaves the array a
// permutation of its records at the time of the throw.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace vyr::sorting {

// Negative when a sorts before b, 0 when equal, positive when after. word1 and word2 are
// the caller's own, passed through unchanged.
using compare_fn = i32 (*)(const void* a, const void* b, uintptr_t word1, uintptr_t word2);

// The records must not move while a sort runs: a caller whose callback may allocate (and so
// collect and move series buffers) sorts a copy held outside the collector's reach and
// writes it back.

// Stable. Takes a scratch buffer of (count / 2) x width bytes from the C heap: script error
// too-long when that exceeds 31 bits, internal no-memory when it cannot be had.
void merge_sort(void* base, u32 count, u32 width, uintptr_t word1, uintptr_t word2,
                compare_fn compare);

// Not stable; allocates nothing.
void quick_sort(void* base, u32 count, u32 width, uintptr_t word1, uintptr_t word2,
                compare_fn compare);

// Exchanges two records of `width` bytes, 32 bits at a time unless `bytewise`.
void swap(void* a, void* b, u32 width, bool bytewise);

}  // namespace vyr::sorting
