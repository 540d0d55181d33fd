// The slot block keeps its tail at its capacity; free slots are integer! cells chained by
// the index of the next free slot (-1 ends). A live/free bitmap beside it lets every
// operation check the slot's state, so a double free cannot corrupt the chain.
#include "runtime/value_slots.h"

#include <vector>

#include "runtime/collector.h"
#include "runtime/fire.h"
#include "runtime/memory.h"

namespace vyr::value_slots {

namespace {
u32 block = 0;  // node of the slot block
u32 cap = 0;
i32 free_head = -1;
std::vector<bool> live;

cell* slot_cell(u32 i) { return buffer_of(block)->cells() + i; }

void link_free(u32 first) {
  for (u32 i = first; i < cap; i++)
    *slot_cell(i) = cell{TYPE_INTEGER, 0, (i + 1 < cap) ? i + 1 : 0xFFFFFFFFu, 0};
  free_head = first < cap ? i32(first) : -1;
  series_buffer* b = buffer_of(block);
  b->tail = b->offset + cap * 16;
  live.resize(cap, false);
}

void mark() { if (block) collector::mark_block(block); }
}  // namespace

void init() {
  static bool registered = false;
  if (!registered) {
    collector::register_callback(mark);
    registered = true;
  }
  cap = 100;
  block = memory::alloc_cells(cap);
  live.assign(cap, false);
  link_free(0);
}

u32 add(const cell* value) {
  if (!block) init();
  if (free_head < 0) {
    cell keep = *value;  // the value may live in the block that is about to move
    collector::root_guard g(&keep);
    u32 old = cap;
    series_buffer* b = buffer_of(block);
    memory::expand_series(b, memory::checked_size(u64{cap} * 2, 16));
    cap *= 2;
    link_free(old);
    u32 i = static_cast<u32>(free_head);
    free_head = static_cast<i32>(slot_cell(i)->data2);
    copy_cell(&keep, slot_cell(i));
    live[i] = true;
    return i + 1;
  }
  u32 i = static_cast<u32>(free_head);
  free_head = static_cast<i32>(slot_cell(i)->data2);
  copy_cell(value, slot_cell(i));
  live[i] = true;
  return i + 1;
}

cell* get(u32 slot) {
  if (slot == 0 || slot > cap || !live[slot - 1]) fire("internal", "wrong-mem");
  return slot_cell(slot - 1);
}

void free(u32 slot) {
  if (slot == 0) return;
  if (slot > cap || !live[slot - 1]) fire("internal", "wrong-mem");
  u32 i = slot - 1;
  *slot_cell(i) = cell{TYPE_INTEGER, 0, static_cast<u32>(free_head), 0};
  live[i] = false;
  free_head = static_cast<i32>(i);
}

u32 capacity() { return cap; }

}  // namespace vyr::value_slots
