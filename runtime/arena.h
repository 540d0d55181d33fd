// The arena: one reservation of at most 4 GiB that holds every runtime buffer, so that
// 32-bit words can address them. Offset 0 is null; `at` is the one way to turn an offset into a pointer.
#pragma once
#include "runtime/assert.h"
#include "runtime/cell.h"
#include <cstddef>
#include <utility>
#include <vector>

namespace vyr::arena {

// Start of the reservation (the page at offset 0 is never handed out). Where the build fixes
// its address, turning an offset into a pointer is one addressing mode with a constant
// displacement, and no store through a pointer can make the compiler load the base again.
#ifdef VYR_ARENA_ADDRESS
inline char* const base = reinterpret_cast<char*>(VYR_ARENA_ADDRESS);
#else
extern char* base;
#endif

// The size `init` reserves: 4 GiB unless set smaller before (under an address-space cap).
void set_size(u64 bytes);
u64 size();
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

// The layout of the reservation, for a saved environment: the bump offset, the committed
// bytes and the returned ranges, and the committed ranges as (offset, length) pairs.
struct layout {
  u64 bump = 0, committed = 0;
  std::vector<std::pair<u64, u64>> free_ranges;
  std::vector<std::pair<u64, u64>> guards;  // inaccessible pages inside committed ranges
};
layout current_layout();
std::vector<std::pair<u64, u64>> committed_ranges();  // guard pages included
// Drops every committed page and takes the layout given, whose committed ranges are then
// mapped read-write and zeroed; `fill` may map file pages over parts of them afterwards.
// Pages so mapped are given back as zero pages like any other.
void adopt_layout(const layout& l);
// Maps `len` bytes of the file `fd` at `file_offset` (page-aligned both) at the offset, a
// private copy-on-write view; false when the system refuses.
bool map_file(u32 offset, u64 len, int fd, u64 file_offset);

// Makes whole pages inaccessible (a guard after a block: an overrun faults at once).
void guard(u32 offset, u64 bytes);

}  // namespace vyr::arena
