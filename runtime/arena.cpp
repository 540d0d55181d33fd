// Arena pages: a bump region plus a first-fit list of returned ranges, merged on return.
// Pages are never mapped executable.
#include "runtime/arena.h"

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <map>

namespace vyr::arena {

#ifndef VYR_ARENA_ADDRESS
char* base = nullptr;
#endif

namespace {
bool reserved = false;
constexpr u64 MAX_RESERVE = 1ull << 32;
constexpr u64 PAGE = 4096;
u64 reserve_size = MAX_RESERVE;
u64 bump = PAGE;                      // offset 0 stays unmapped so that 0 means null
std::map<u64, u64> free_ranges;       // offset -> length, disjoint and merged
u64 committed_bytes = 0;
std::map<u64, u64> guards;            // offset -> length of the inaccessible pages inside
bool file_pages = false;  // some pages were mapped from a file: returned ones are remapped

u64 round_pages(u64 n) { return (n + PAGE - 1) & ~(PAGE - 1); }
}  // namespace

void set_size(u64 bytes) {
  if (reserved) return;
  bytes &= ~(PAGE - 1);
  reserve_size = bytes < MAX_RESERVE ? bytes : MAX_RESERVE;
}

u64 size() { return reserve_size; }

void init() {
  if (reserved) return;
#ifdef VYR_ARENA_ADDRESS
  // Never over another mapping: the kernel refuses the address rather than replace one.
  void* p = mmap(base, reserve_size, PROT_NONE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
  if (p != MAP_FAILED && p != base) {  // a kernel that takes the address as a hint only
    munmap(p, reserve_size);
    p = MAP_FAILED;
  }
#else
  void* p = mmap(nullptr, reserve_size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
#endif
  if (p == MAP_FAILED) {
    std::fputs("*** Runtime Error 94: cannot reserve the memory arena\n", stderr);
    std::exit(94);
  }
#ifndef VYR_ARENA_ADDRESS
  base = static_cast<char*>(p);
#endif
  reserved = true;
}

u32 take(u64 bytes, u64 align) {
  init();
  if (bytes == 0 || bytes > reserve_size - PAGE) return 0;
  u64 len = round_pages(bytes);
  u64 off = 0;
  if (align > PAGE) {
    // From the bump region only; the pages skipped to reach the boundary join the
    // returned ranges (reserved, inaccessible, free for a later block).
    u64 at = reinterpret_cast<u64>(base) + bump;
    u64 aligned = (at + align - 1) & ~(align - 1);
    u64 start = bump + (aligned - at);
    if (start + len > reserve_size) return 0;
    if (start > bump) free_ranges.emplace(bump, start - bump);
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
    if (bump + len > reserve_size) return 0;
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
  for (auto g = guards.lower_bound(off); g != guards.end() && g->first < off + len;) g = guards.erase(g);
  if (file_pages) {
    // A private file page would come back with the file's bytes, not zeroed.
    mmap(base + off, len, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED | MAP_NORESERVE, -1, 0);
  } else {
    madvise(base + off, len, MADV_DONTNEED);  // the pages come back zeroed on next use
    mprotect(base + off, len, PROT_NONE);
  }
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

layout current_layout() {
  layout l;
  l.bump = bump;
  l.committed = committed_bytes;
  l.free_ranges.assign(free_ranges.begin(), free_ranges.end());
  l.guards.assign(guards.begin(), guards.end());
  return l;
}

std::vector<std::pair<u64, u64>> committed_ranges() {
  // [PAGE, bump) less the returned ranges (guard pages stay inside committed ranges).
  std::vector<std::pair<u64, u64>> out;
  u64 at = PAGE;
  for (auto [off, len] : free_ranges) {
    if (off > at) out.emplace_back(at, off - at);
    at = off + len;
  }
  if (bump > at) out.emplace_back(at, bump - at);
  return out;
}

void adopt_layout(const layout& l) {
  init();
  if (bump > PAGE)
    mmap(base + PAGE, bump - PAGE, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED | MAP_NORESERVE, -1, 0);
  bump = l.bump;
  committed_bytes = l.committed;
  free_ranges.clear();
  for (auto r : l.free_ranges) free_ranges.insert(r);
  for (auto [off, len] : committed_ranges()) mprotect(base + off, len, PROT_READ | PROT_WRITE);
  guards.clear();
  for (auto [off, len] : l.guards) guard(u32(off), len);
}

bool map_file(u32 offset, u64 len, int fd, u64 file_offset) {
  file_pages = true;
  void* p = mmap(base + offset, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED, fd,
                 static_cast<off_t>(file_offset));
  return p != MAP_FAILED;
}

void guard(u32 offset, u64 bytes) {
  mprotect(base + offset, round_pages(bytes), PROT_NONE);
  guards[offset] = round_pages(bytes);
}

}  // namespace vyr::arena
