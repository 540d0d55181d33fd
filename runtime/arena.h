// The arena: one 4 GiB reservation that holds every runtime buffer, so that 32-bit words
// can address them. Offset 0 is null; `at` is the one way to turn an offset into a pointer.
#pragma once
#include "runtime/assert.h"
#include "runtime/cell.h"
#include <cstddef>

namespace vyr::arena {

extern char* base;  // start of the reservation (the page at offset 0 is never handed out)

void init();  // reserve the region; idempotent

template <class T = void>
inline T* at(u32 offset) { return reinterpret_cast<T*>(base + offset); }

inline u32 offset_of(const void* p) {
  VYR_ASSERT(static_cast<const char*>(p) >= base &&
             static_cast<u64>(static_cast<const char*>(p) - base) <= 0xFFFFFFFFull);
  return static_cast<u32>(static_cast<const char*>(p) - base);
}

// Page-granular blocks: `take` commits zeroed read-write pages (nullptr offset 0 when the
// arena is exhausted), `give_back` decommits them for reuse. Sizes are rounded up to pages.
// `align` (a power of two, at least a page) aligns the block's address, not only its offset:
// a block aligned to 2 MiB can be backed by one huge page.
u32 take(u64 bytes, u64 align = 4096);
void give_back(u32 offset, u64 bytes);

u64 committed();  // bytes currently committed

// Makes whole pages inaccessible (a guard after a block: an overrun faults at once).
void guard(u32 offset, u64 bytes);

}  // namespace vyr::arena
