// Small block helpers the interpreter and the function kinds share: making a block value,
// appending to it, reading its cells. Every helper re-fetches the buffer through the node,
// so none keeps a buffer pointer across an allocation.
#pragma once
#include "runtime/assert.h"
#include "runtime/datatypes/series.h"
#include "runtime/memory.h"

namespace vyr::cells {

using series::block_like_q;

// A new empty block! value with room for n cells.
inline cell* make_block(cell* out, u32 n, u32 type = TYPE_BLOCK) {
  u32 node = memory::alloc_cells(n ? n : 1);
  *out = cell{type, 0, node, 0};
  return out;
}

// Appends a copy of the value (which may live anywhere, even in the block itself).
inline void append(u32 node, const cell* value) {
  cell v = *value;
  series_buffer* b = buffer_of(node);
  VYR_ASSERT(b->unit() == sizeof(cell));
  *memory::alloc_tail_cell(b) = v;
}

// Cell series only: the unit is always 16 bytes, so a shift replaces the division.
inline u32 length(u32 node) {
  const series_buffer* b = buffer_of(node);
  VYR_ASSERT(b->unit() == sizeof(cell));
  return b->used_bytes() >> 4;
}
// Cell i from the head: any cell of the buffer's data area (the tail and spare room too).
// `get` reads; `at` hands out the cell for writing and bumps the buffer's write stamp.
inline const cell* get(u32 node, u32 i) {
  const series_buffer* b = read_buffer(node);
  VYR_ASSERT(b->unit() == sizeof(cell));
  VYR_ASSERT(u64(b->offset) + u64(i) * sizeof(cell) <= b->end_offset());
  return b->cells() + i;
}
inline cell* at(u32 node, u32 i) {
  series_buffer* b = buffer_of(node);
  VYR_ASSERT(b->unit() == sizeof(cell));
  VYR_ASSERT(u64(b->offset) + u64(i) * sizeof(cell) <= b->end_offset());
  return b->cells() + i;
}
// Cell i of a buffer never evaluated as code (an argument cache, a function's more-block
// slots, a context's values), for writing without bumping the stamp.
inline cell* unstamped_at(u32 node, u32 i) {
  series_buffer* b = buffer_of(node);
  VYR_ASSERT(b->unit() == sizeof(cell));
  VYR_ASSERT(u64(b->offset) + u64(i) * sizeof(cell) <= b->end_offset());
  return b->unstamped_cells() + i;
}

// Cells from a block value's head index to its tail (0 when the head lies past it).
inline u32 remaining(const cell* block) {
  VYR_ASSERT(block_like_q(type_of(block)));
  u32 n = length(series::node(block));
  return series::index(block) < n ? n - series::index(block) : 0;
}

}  // namespace vyr::cells
