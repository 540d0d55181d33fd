// bitset!: the bit array, its membership rule and the specification walker.
#include "runtime/datatypes/bitset.h"

#include <cstring>

#include "runtime/fire.h"

namespace vyr::bitset {

bool complement_q(const cell* bits) {
  return (buffer_of(bits->data2)->flags & SERIES_COMPLEMENT) != 0;
}

bool test_q(const cell* bits, u64 n) {
  series_buffer* b = buffer_of(bits->data2);
  u64 byte = n >> 3;
  if (byte >= b->used_bytes()) return (b->flags & SERIES_COMPLEMENT) != 0;
  return (static_cast<u8>(b->head()[byte]) & (0x80u >> (n & 7))) != 0;
}

std::vector<u8> bytes_of(const cell* bits) {
  series_buffer* b = buffer_of(bits->data2);
  const u8* p = reinterpret_cast<const u8*>(b->head());
  return std::vector<u8>(p, p + b->used_bytes());
}

u8* rs_head(const cell* bits) { return reinterpret_cast<u8*>(buffer_of(bits->data2)->head()); }

cell* make_at(cell* c, u32 bytes, bool complemented) {
  c->header = TYPE_UNSET;
  u32 node = memory::alloc_bytes_filled(bytes ? bytes : 1, complemented ? 0xFF : 0x00);
  series_buffer* b = buffer_of(node);
  b->tail = b->offset + bytes;
  if (complemented) b->flags |= SERIES_COMPLEMENT;
  *c = cell{TYPE_BITSET, 0, node, 0};
  return c;
}

void do_bitwise(i32) { fire("internal", "not-done"); }

void init() {}

}  // namespace vyr::bitset
