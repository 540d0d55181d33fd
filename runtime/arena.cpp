// Arena pages: a bump region plus a first-fit list of returned ranges, merged on return.
// Pages are never mapped executable.
#include "runtime/arena.h"

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>

namespace vyr::arena {

char* base = nullptr;

namespace {
constexpr u64 RESERVE = 1ull << 32;
constexpr u64 PAGE = 4096;
u64 bump = PAGE;                      // offset 0 stays unmapped so that 0 means null
std::map<u64, u64> free_ranges;       // offset -> length, disjoint and merged
u64 committed_bytes = 0;

u64 round_pages(u64 n) { return (n + PAGE - 1) & ~(PAGE - 1); }
}  // namespace

void init() {
  if (base) return;
  void* p = mmap(nullptr, RESERVE, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) {
    std::fputs("*** Runtime Error 94: cannot reserve the memory arena\n", stderr);
    std::exit(94);
  }
  base = static_cast<char*>(p);
}

u32 take(u64 bytes, u64 align) {
  init();
  if (bytes == 0 || bytes > RESERVE - PAGE) return 0;
  u64 len = round_pages(bytes);
  u64 off = 0;
  if (align > PAGE) {
    // From the bump region only; the pages skipped to reach the boundary stay reserved.
    u64 at = reinterpret_cast<u64>(base) + bump;
    u64 aligned = (at + align - 1) & ~(align - 1);
    u64 start = bump + (aligned - at);
    if (start + len > RESERVE) return 0;
    off = start;
    bump = start + len;
  }
  for (auto it = free_ranges.begin(); !off && it != free_ranges.end(); ++it) {
    if (it->second >= len) {
      off = it->first;
      u64 rest = it->second - len;
      free_ranges.erase(it);
      if (rest) free_ranges.emplace(off + len, rest);
      break;
    }
  }
  if (!off) {
    if (bump + len > RESERVE) return 0;
    off = bump;
    bump += len;
  }
  if (mprotect(base + off, len, PROT_READ | PROT_WRITE) != 0) {
    committed_bytes += len;  // give_back subtracts it again
    give_back(static_cast<u32>(off), len);
    return 0;
  }
  committed_bytes += len;
  return static_cast<u32>(off);
}

void give_back(u32 offset, u64 bytes) {
  u64 len = round_pages(bytes);
  u64 off = offset;
  madvise(base + off, len, MADV_DONTNEED);  // the pages come back zeroed on next use
  mprotect(base + off, len, PROT_NONE);
  committed_bytes -= len;
  auto next = free_ranges.lower_bound(off);
  if (next != free_ranges.end() && off + len == next->first) {
    len += next->second;
    next = free_ranges.erase(next);
  }
  if (next != free_ranges.begin()) {
    auto prev = std::prev(next);
    if (prev->first + prev->second == off) {
      prev->second += len;
      return;
    }
  }
  free_ranges.emplace(off, len);
}

u64 committed() { return committed_bytes; }

void guard(u32 offset, u64 bytes) { mprotect(base + offset, round_pages(bytes), PROT_NONE); }

}  // namespace vyr::arena
