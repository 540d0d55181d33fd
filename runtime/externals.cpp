// External slot table: a free list and a live chain threaded through one growable array.
// Every operation checks the index and the slot's state: a bad index or a slot in the
// wrong state raises internal error, so the chains can never be corrupted.
#include "runtime/externals.h"

#include <vector>

#include "runtime/fire.h"

namespace vyr::externals {

namespace {
constexpr u32 FREE = 0x40000000;
constexpr u32 MARK = 0x80000000;
struct slot { u32 flags; u64 handle; i32 next; };
struct klass { const char* name; release_fn release; };
std::vector<klass> classes;
std::vector<slot> slots;
i32 free_head = -1;
i32 live_head = -1;
u32 live = 0;

void chain_free(u32 from, u32 to) {  // slots [from, to) free, in index order, ending -1
  for (u32 i = from; i < to; i++) slots[i] = slot{FREE, 0, (i + 1 < to) ? i32(i + 1) : -1};
}

void release(const slot& s) {
  u32 id = s.flags & 0xFF;
  if (id == 0 || id > classes.size()) return;
  if (classes[id - 1].release) classes[id - 1].release(s.handle);
}

slot& live_slot(i32 i) {
  if (i < 0 || u32(i) >= slots.size() || (slots[i].flags & FREE))
    fire("internal", "wrong-mem");
  return slots[i];
}

void unlink(i32 i) {
  if (live_head == i) {
    live_head = slots[i].next;
  } else {
    for (i32 p = live_head; p >= 0; p = slots[p].next)
      if (slots[p].next == i) { slots[p].next = slots[i].next; break; }
  }
  live--;
}
}  // namespace

void init() {
  classes.clear();
  slots.assign(1000, slot{});
  chain_free(0, 1000);
  free_head = 0;
  live_head = -1;
  live = 0;
}

u32 register_class(const char* name, release_fn fn) {
  if (classes.size() >= MAX_CLASSES) fire("internal", "limit-hit");
  classes.push_back({name, fn});
  return static_cast<u32>(classes.size());
}

i32 add(u64 handle, u32 class_id) {
  if (slots.empty()) init();
  if (class_id == 0 || class_id > classes.size()) fire("internal", "wrong-mem");
  if (slots[free_head].next == -1) {  // keep the free list non-empty after every add
    u32 old = static_cast<u32>(slots.size());
    slots.resize(old * 2);
    chain_free(old, old * 2);
    slots[free_head].next = static_cast<i32>(old);
  }
  i32 i = free_head;
  free_head = slots[i].next;
  slots[i] = slot{class_id, handle, live_head};
  live_head = i;
  live++;
  return i;
}

void set_handle(i32 i, u64 handle) {
  slot& s = live_slot(i);
  if (s.handle == handle) return;
  slot old = s;
  s.handle = handle;
  release(old);
}

void remove(i32 i, bool rel) {
  slot& s = live_slot(i);
  if (rel) release(s);
  unlink(i);
  slots[i] = slot{FREE, 0, free_head};
  free_head = i;
}

bool mark(i32 i, u64 handle, bool has_handle) {
  if (i < 0 || u32(i) >= slots.size() || (slots[i].flags & FREE)) return false;
  slot& s = slots[i];
  bool fresh = !(s.flags & MARK);
  s.flags |= MARK;
  if (has_handle && s.handle != handle) {
    // A new handle replaces the old one: the old one would otherwise leak.
    slot old = s;
    s.handle = handle;
    release(old);
  }
  return fresh;
}

u64 handle_of(i32 i) { return live_slot(i).handle; }

bool live_q(i32 i, u32 class_id) {
  if (i < 0 || u32(i) >= slots.size() || (slots[i].flags & FREE)) return false;
  return class_id == 0 || (slots[i].flags & 0xFF) == class_id;
}

void for_each_of_class(u32 id, void (*fn)(u64)) {
  for (i32 p = live_head; p >= 0; p = slots[p].next)
    if ((slots[p].flags & 0xFF) == id) fn(slots[p].handle);
}

void sweep() {
  i32 prev = -1;
  for (i32 p = live_head; p >= 0;) {
    i32 next = slots[p].next;
    if (slots[p].flags & MARK) {
      slots[p].flags &= ~MARK;
      prev = p;
    } else {
      slot dead = slots[p];
      if (prev >= 0) slots[prev].next = next; else live_head = next;
      slots[p] = slot{FREE, 0, free_head};
      free_head = p;
      live--;
      release(dead);
    }
    p = next;
  }
}

u32 capacity() { return static_cast<u32>(slots.size()); }
u32 live_count() { return live; }

}  // namespace vyr::externals
