#include "runtime/stamp_check.h"

#if VYR_ASSERTIONS
#include <cstdio>
#include <unordered_map>
#include <vector>

#include "runtime/memory.h"

namespace vyr::memory {

namespace {
struct shadow {
  u32 stamp, epoch, head;
  std::vector<cell> cells;
};
std::unordered_map<u32, shadow> shadows;
// Bodies larger than this are not copied: the check would cost more than the run.
constexpr u32 MAX_CELLS = 4096;
}  // namespace

void check_stamp(u32 node) {
  const series_buffer* b = read_buffer(node);
  if (b->unit() != sizeof(cell)) return;
  u32 n = b->used_bytes() / sizeof(cell);
  if (n > MAX_CELLS) return;
  const cell* c = b->cells();
  auto [it, fresh] = shadows.try_emplace(node);
  shadow& s = it->second;
  if (!fresh && s.stamp == b->stamp() && s.epoch == stamp_epoch) {
    bool same = s.head == b->offset - b->data_offset() && s.cells.size() == n &&
                (n == 0 || std::memcmp(s.cells.data(), c, n * sizeof(cell)) == 0);
    if (!same) {
      std::fprintf(stderr, "block node %u changed under an unchanged write stamp\n", node);
      VYR_ASSERT(same);
    }
    return;
  }
  s.stamp = b->stamp();
  s.epoch = stamp_epoch;
  s.head = b->offset - b->data_offset();
  s.cells.assign(c, c + n);
}

void forget_stamp(u32 node) { shadows.erase(node); }

}  // namespace vyr::memory
#endif
