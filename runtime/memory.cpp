// Memory manager: frames and buffers in the arena. Invariants: nodes never move; a buffer's
// `node` names the node that points to it (0 when abandoned); every size is computed in 64
// bits and checked before it reaches an allocator.
#include "runtime/memory.h"
#include "runtime/snapshot.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "base/checked.h"
#include "runtime/collector.h"
#include "runtime/fire.h"
#include "runtime/stamp_check.h"

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace vyr {
u32 stamp_epoch = 0;
}

namespace vyr::memory {

record mem;
side_marks image_marks;

namespace {
// The image's mark bits and, for each series frame the image holds, the end of its
// contents there (the floor): below it a collection reads but never writes, so that the
// image's pages stay shared with the file. Dead buffers below a floor stay in place until
// they add up to enough to be worth the copies; the floors are then dropped and the frames
// compact as any other. Process state, never part of an image.
// Taken with calloc: for a bitmap this size the pages come from the system untouched, and
// only those of the frames a collection marks ever become present.
u64* image_bits = nullptr;
std::vector<std::pair<u32, u32>> floors;  // (frame, floor), in frame order
u64 image_bytes = 0;                      // bytes below the floors
u64 image_dead = 0;
// Dead image bytes that make the next collection compact the image: a quarter of it, and
// never for less than this.
constexpr u64 IMAGE_DEAD_FLOOR = 0x10000;

u32 floor_of(u32 f, u32 data_offset) {
  for (auto [frame, fl] : floors)
    if (frame == f) return fl;
  return data_offset;
}

std::vector<u32> node_frames_sorted;  // node frame offsets in address order
std::vector<u32> fixed_buffers;       // fixed buffers in the general heap
u32 big_buffers = 0;

constexpr u32 NODE_FRAME_HEADER = sizeof(node_frame);

u32 round16(u64 n) { return static_cast<u32>((n + 15) & ~u64{15}); }

node_frame* nframe(u32 off) { return arena::at<node_frame>(off); }
series_frame* sframe(u32 off) { return arena::at<series_frame>(off); }

// The frame that answered the last lookup and the node range it holds: a sweep frees the
// nodes of neighbouring dead buffers, which mostly come from one frame. Forgotten whenever
// a frame is released.
u32 last_frame = 0, last_first = 0, last_end = 0;
void forget_last_frame() { last_frame = last_first = last_end = 0; }

u32 frame_of_node(u32 node) {
  if (node >= last_first && node < last_end) return last_frame;
  auto it = std::upper_bound(node_frames_sorted.begin(), node_frames_sorted.end(), node);
  if (it == node_frames_sorted.begin()) return 0;
  u32 f = *(it - 1);
  u32 first = f + NODE_FRAME_HEADER;
  if (node < first || node >= first + nframe(f)->capacity * 4) return 0;
  last_frame = f;
  last_first = first;
  last_end = first + nframe(f)->capacity * 4;
  return f;
}

void init_buffer(series_buffer* b, u32 size, u32 unit, i32 offset, u32 extra_flags) {
  b->size = size;
  b->flags = unit | SERIES_MADE | SERIES_IN_USE | extra_flags;
  b->node = 0;
  u32 head_off;
  if (offset == -1) {
    head_off = (size >> 1) & ~(unit - 1);  // centred, kept on a unit boundary
    if (unit == 16) head_off &= ~15u;
    b->flags |= SERIES_CENTRED;
  } else {
    head_off = static_cast<u32>(offset);
  }
  // A new buffer: nothing was decided about its cells yet.
  b->offset.set_unstamped(b->data_offset() + head_off);
  b->tail.set_unstamped(b->offset);
}
}  // namespace

u64 checked_size(u64 count, u64 unit) {
  u64 s;
  if (!checked::product(count, unit, SERIES_MAX_BYTES, s)) fire_no_memory();
  return s;
}

void init() {
  arena::init();
  forget_last_frame();
  mem = record{};
  static bool kept = false;
  if (kept) return;
  kept = true;
  snapshot::keep("memory.record", &mem);
  snapshot::keep("memory.stamp-epoch", &stamp_epoch);
  snapshot::keep("memory.big-buffers", &big_buffers);
  snapshot::keep_vector("memory.node-frames", &node_frames_sorted);
  snapshot::keep_vector("memory.fixed-buffers", &fixed_buffers);
  snapshot::keep_custom("memory.last-frame", nullptr, [](void*, std::string&) {},
                        [](void*, const char*, size_t) {
                          forget_last_frame();
                          return true;
                        });
}

void adopt_image() {
  arena::layout l = arena::current_layout();
  u64 span = l.bump > 4096 ? (l.bump - 4096 + 255) & ~u64{255} : 0;
  std::free(image_bits);
  image_bits = span ? static_cast<u64*>(std::calloc(span / 256, sizeof(u64))) : nullptr;
  if (span && !image_bits) span = 0;  // no room for the side marks: flags, as elsewhere
  image_marks = side_marks{4096, u32(span), image_bits};
  floors.clear();
  image_bytes = image_dead = 0;
  for (u32 f = mem.series_first; f; f = sframe(f)->next) {
    if (sframe(f)->bump == sframe(f)->data_offset()) continue;
    floors.emplace_back(f, sframe(f)->bump);
    image_bytes += sframe(f)->bump - sframe(f)->data_offset();
  }
}

u64 image_dead_bytes() { return image_dead; }

u32 allocate_virtual(u64 size, u64 align) {
  if (size > 0xFFFF0000ull) fire_no_memory();  // beyond the arena: never wrap
  u64 want = size + 4;
  u64 rounded = (want + 4095) & ~u64{4095};
  // One more page stays inaccessible after the block, so that writing past a frame or a
  // big buffer faults where it happens instead of corrupting the next block.
  u32 block = arena::take(rounded + 4096, align);
  if (!block) fire_no_memory();
  arena::guard(block + static_cast<u32>(rounded), 4096);
  // Asked before the size word below is written: once a small page is in the range, the
  // range can no longer take a huge one.
  if (align >= HUGE_PAGE && rounded >= HUGE_PAGE)
    madvise(arena::at<char>(block), rounded, MADV_HUGEPAGE);
  *arena::at<u32>(block) = static_cast<u32>(rounded + 4096);
  mem.total += rounded + 4096;
  return block + 4;
}

void free_virtual(u32 area) {
  u32 block = area - 4;
  u32 size = *arena::at<u32>(block);
  mem.total -= size;
  arena::give_back(block, size);
}

u32 new_node_frame(u32 n) {
  u32 f = allocate_virtual(NODE_FRAME_HEADER + u64{n} * 4);
  node_frame* fr = nframe(f);
  // Every node is linked into the free list below, so every page is written at once: one
  // call makes them present for less than a fault on each (a kernel that refuses the
  // advice leaves the faults).
  madvise(arena::at<char>((f - 4) & ~u32{4095}), NODE_FRAME_HEADER + u64{n} * 4 + 4,
          MADV_POPULATE_WRITE);
  *fr = node_frame{0, mem.node_last, n, 0, 0, collector::state.series_cycles, 0, 0, 0};
  u32 first = f + NODE_FRAME_HEADER;
  for (u32 i = 0; i < n; i++) fr->nodes()[i] = (i + 1 < n) ? first + (i + 1) * 4 : 0;
  fr->free = first;
  if (mem.node_last) nframe(mem.node_last)->next = f;
  mem.node_last = f;
  if (!mem.node_first) mem.node_first = mem.node_current = f;
  node_frames_sorted.insert(
      std::upper_bound(node_frames_sorted.begin(), node_frames_sorted.end(), f), f);
  return f;
}

u32 alloc_node() {
  node_frame* cur = mem.node_current ? nframe(mem.node_current) : nullptr;
  if (!cur || !cur->free) {
    u32 f = mem.node_first;
    while (f && (!nframe(f)->free || nframe(f)->release)) f = nframe(f)->next;
    if (!f) f = new_node_frame(NODES_PER_FRAME);
    mem.node_current = f;
    cur = nframe(f);
  }
  u32 node = cur->free;
  VYR_ASSERT(node != 0 && cur->used < cur->capacity);
  cur->free = node_word(node);
  node_word(node) = 0;
  cur->used++;
  return node;
}

void free_node(u32 node) {
  VYR_ASSERT(node != 0);
  u32 f = frame_of_node(node);
  if (!f) return;
  node_frame* fr = nframe(f);
  VYR_ASSERT(fr->used > 0);
  forget_stamp(node);
  node_word(node) = fr->free;
  fr->free = node;
  fr->used--;
}

u32 new_series_frame() {
  u32 size = mem.next_frame_size;
  if (size < BIG_THRESHOLD) mem.next_frame_size = size * 2;
  const bool first = !mem.series_first;
  // The first frame is one huge page where the system gives them (transparent huge pages
  // on request): start-up fills about 1.5 MiB of it, and one fault for the whole page costs
  // far less than one for each of its 4 KiB pages. The frame, its size word and its
  // header take the 2 MiB exactly, aligned; the guard page follows.
  if (first) size = u32(HUGE_PAGE - sizeof(series_frame) - 4);
  u32 f = allocate_virtual(u64{size} + sizeof(series_frame), first ? HUGE_PAGE : 4096);
  // Without a huge page, its first MiB is made present by one call (start-up fills it
  // whole), which costs about a third less than a fault on each 4 KiB page (kernels before
  // 5.14 refuse the advice, and the pages then come one fault at a time).
  if (first) madvise(arena::at<char>(f & ~u32{4095}), BASE_FRAME_SIZE, MADV_POPULATE_WRITE);
  series_frame* fr = sframe(f);
  fr->size = size + sizeof(series_frame);
  fr->bump = fr->data_offset();
  fr->end = f + size + sizeof(series_frame);
  fr->next = fr->prev = 0;
  // Keep the list in address order.
  if (!mem.series_first) {
    mem.series_first = mem.series_last = mem.series_current = f;
  } else if (f < mem.series_first) {
    fr->next = mem.series_first;
    sframe(mem.series_first)->prev = f;
    mem.series_first = f;
  } else {
    u32 p = mem.series_first;
    while (sframe(p)->next && sframe(p)->next < f) p = sframe(p)->next;
    fr->prev = p;
    fr->next = sframe(p)->next;
    if (fr->next) sframe(fr->next)->prev = f; else mem.series_last = f;
    sframe(p)->next = f;
  }
  return f;
}

namespace {
// Big buffers made since the last collection, and how many bytes of them it takes to call
// for the next one: what was live after that collection, at least BIG_BUDGET_FLOOR. A
// collection before every big buffer would mark the whole heap each time a large series
// doubles (a growing map!, a long text being rebuilt), for at most one dead buffer's worth
// of memory; this way the marking done stays in proportion to the bytes allocated.
constexpr u64 BIG_BUDGET_FLOOR = u64{16} << 20;
// From this footprint a buffer that no frame has room for takes its own block.
constexpr u64 OWN_BLOCK_FROM = 0x40000;
u64 big_since_cycle = 0;
u64 big_budget = BIG_BUDGET_FLOOR;

bool big_collection_due(u64 footprint) {
  if (big_since_cycle + footprint > big_budget) return true;
  // Near a full arena, dead big buffers go back before another is taken.
  return arena::committed() + 2 * footprint >= arena::size() / 2;
}

// After a collection: whether the frames' free room is less than what their live buffers
// take. The frames then get another, so that the next collection comes after at least as
// many bytes as it has to mark, not after a fixed few: a program making many short-lived
// buffers beside the live library otherwise spends its time marking the library.
bool frames_crowded() {
  u64 live = 0, room = 0;
  for (u32 f = mem.series_first; f; f = sframe(f)->next) {
    live += sframe(f)->bump - sframe(f)->data_offset();
    room += sframe(f)->end - sframe(f)->bump;
  }
  return room < live;
}
}  // namespace

u32 find_frame(u32 footprint) {
  for (u32 f = mem.series_first; f; f = sframe(f)->next)
    if (u64{sframe(f)->bump} + footprint < sframe(f)->end) return f;
  return 0;
}

series_buffer* alloc_big(u32 footprint) {
  u32 blk = allocate_virtual(u64{footprint} + sizeof(big_block));
  big_block* bb = arena::at<big_block>(blk);
  bb->next = 0;
  bb->zero = 0;
  bb->requested = footprint;
  if (!mem.big_first) {
    mem.big_first = blk;
  } else {
    u32 p = mem.big_first;
    while (arena::at<big_block>(p)->next) p = arena::at<big_block>(p)->next;
    arena::at<big_block>(p)->next = blk;
  }
  big_buffers++;
  return bb->buffer();
}

void free_big(series_buffer* b) {
  u32 blk = arena::offset_of(b) - sizeof(big_block);
  u32 prev = 0;
  for (u32 p = mem.big_first; p; prev = p, p = arena::at<big_block>(p)->next) {
    if (p != blk) continue;
    u32 next = arena::at<big_block>(p)->next;
    if (prev) arena::at<big_block>(prev)->next = next; else mem.big_first = next;
    free_virtual(blk);
    big_buffers--;
    return;
  }
}

u32 alloc_buffer(u32 units, u32 unit, i32 offset) {
  VYR_ASSERT(unit >= 1 && unit <= SERIES_UNIT_MASK);  // the unit lives in five flag bits
  u64 size = round16(checked_size(units, unit));
  u64 footprint = size + sizeof(series_buffer) + 4;
  if (offset >= 0 && static_cast<u64>(offset) > size) fire_no_memory();
  if (collector::stress()) collector::collect();
  series_buffer* b;
  u32 extra = 0;
  u32 fp = static_cast<u32>(footprint);
  u32 f = 0;
  bool own = footprint >= BIG_THRESHOLD;
  if (!own) {
    f = mem.series_current;
    if (!f || u64{sframe(f)->bump} + fp >= sframe(f)->end) {
      f = find_frame(fp);
      // A large buffer the frames have no room for takes its own block, under the big
      // buffers' budget, rather than call a collection at once: a few such buffers fill a
      // frame, and a collection each time would mark the whole heap for every few of them
      // (a long text rebuilt once costs a full marking otherwise).
      own = !f && footprint >= OWN_BLOCK_FROM;
      if (f) mem.series_current = f;
    }
  }
  if (own) {
    if (big_collection_due(footprint)) collector::collect();
    big_since_cycle += footprint;
    b = alloc_big(static_cast<u32>(footprint));
    extra = SERIES_BIG;
  } else {
    if (!f) {
      collector::collect();
      f = find_frame(fp);
      if (!f || sframe(f)->end - sframe(f)->bump < FRAME_LEFTOVER || frames_crowded()) {
        if (fp >= BIG_THRESHOLD) mem.next_frame_size = BIG_THRESHOLD;
        f = new_series_frame();
        // As many frames as it takes for the room to match the live buffers (one frame
        // is 2 MiB at most): with much live data, one frame a collection would mark it
        // all again every 2 MiB allocated. Only while the arena stays half free, so that
        // a full arena still collects more often rather than fail.
        while (frames_crowded() &&
               arena::committed() + 2 * u64{mem.next_frame_size} < arena::size() / 2)
          new_series_frame();
      }
      mem.series_current = f;
    }
    b = arena::at<series_buffer>(sframe(f)->bump);
    sframe(f)->bump += fp;
  }
  init_buffer(b, static_cast<u32>(size), unit, offset, extra);
  return arena::offset_of(b);
}

u32 alloc_series(u32 units, u32 unit, i32 offset) {
  u32 buf = alloc_buffer(units, unit, offset);
  // The fresh buffer has no node yet, so a collection inside alloc_node (there is none
  // today: nodes come from frames without collecting) could not see it.
  u32 node = alloc_node();
  arena::at<series_buffer>(buf)->node = node;
  node_word(node) = buf;
  VYR_ASSERT(buffer_of(node)->node == node);
  return node;
}

u32 alloc_fixed_series(u32 units, u32 unit, u32 offset) {
  u64 size = round16(checked_size(units, unit));
  if (offset > size) fire_no_memory();
  u32 area = allocate_virtual(size + sizeof(series_buffer) + 4);
  series_buffer* b = arena::at<series_buffer>(area);
  init_buffer(b, static_cast<u32>(size), unit, static_cast<i32>(offset), SERIES_FIXED);
  fixed_buffers.push_back(area);
  u32 node = alloc_node();
  b->node = node;
  node_word(node) = area;
  return node;
}

void free_fixed_series(u32 node) {
  u32 area = node_word(node);
  fixed_buffers.erase(std::remove(fixed_buffers.begin(), fixed_buffers.end(), area),
                      fixed_buffers.end());
  free_virtual(area);
  node_word(node) = 0;
  free_node(node);
}

u32 alloc_cells(u32 n) { return alloc_series(n, 16, 0); }

u32 alloc_unset_cells(u32 n) {
  u32 node = alloc_cells(n);
  series_buffer* b = buffer_of(node);
  cell* c = reinterpret_cast<cell*>(b->data());
  for (u32 i = 0; i < b->size / 16; i++) c[i] = cell{TYPE_UNSET, 0, 0, 0};
  return node;
}

u32 alloc_bytes(u32 n) { return alloc_series(n ? n : 16, 1, 0); }

u32 alloc_units(u32 n, u32 unit) {
  if (n == 0) n = 16 / unit;
  return alloc_series(n, unit, 0);
}

u32 alloc_bytes_filled(u32 n, u8 byte) {
  u32 node = alloc_bytes(n);
  series_buffer* b = buffer_of(node);
  std::memset(b->data(), byte, b->size);
  return node;
}

void set_series_flags(u32 node, u32 bits) { buffer_of(node)->flags |= bits; }

namespace {
// Moves the series to a new buffer of at least `new_size` bytes; `old` receives the old
// buffer's address after the allocation (which may have collected and moved it).
series_buffer* grow_impl(series_buffer* b, u64 new_size, series_buffer** old) {
  u32 node = b->node;
  // Only a live buffer grows: it names its node and the node names it back.
  VYR_ASSERT(node != 0 && buffer_of(node) == b && (b->flags & SERIES_IN_USE));
  VYR_ASSERT(!(b->flags & SERIES_FIXED));  // fixed buffers never move
  if (new_size == 0) new_size = u64{b->size} * 2;
  if (new_size < 1) fire_no_memory();
  // Never below the data in use: the used units must fit in the new buffer.
  if (new_size < b->used_bytes()) new_size = b->used_bytes();
  u32 unit = b->unit();
  u64 units = (new_size + unit - 1) / unit;
  if (units > 0xFFFFFFFFull) fire_no_memory();
  u32 nb_off = alloc_buffer(static_cast<u32>(units), unit, 0);
  b = buffer_of(node);  // the collection inside alloc_buffer may have moved it
  series_buffer* nb = arena::at<series_buffer>(nb_off);
  // Carry the old flags but recompute the big bit and drop the centred bit: the data
  // now starts at the data start.
  nb->flags = (b->flags & ~(SERIES_BIG | SERIES_CENTRED | SERIES_MARK)) | (nb->flags & SERIES_BIG);
  nb->node = node;
  node_word(node) = nb_off;
  nb->tail = nb->offset + b->used_bytes();
  b->node = 0;
  b->flags &= ~SERIES_IN_USE;
  *old = b;
  return nb;
}
}  // namespace

series_buffer* grow_buffer(series_buffer* b, u64 new_size) {
  series_buffer* old;
  return grow_impl(b, new_size, &old);
}

series_buffer* expand_series(series_buffer* b, u64 new_size) {
  series_buffer* old;
  series_buffer* nb = grow_impl(b, new_size, &old);
  std::memcpy(nb->head(), old->head(), old->used_bytes());
  // A big buffer has its own block: give it back now rather than at the next sweep.
  if (old->flags & SERIES_BIG) free_big(old);
  return nb;
}

series_buffer* expand_series_filled(series_buffer* b, u64 new_size, u8 byte) {
  u32 old_size = b->size;
  series_buffer* nb = expand_series(b, new_size);
  if (nb->size > old_size) std::memset(nb->data() + old_size, byte, nb->size - old_size);
  return nb;
}

u32 copy_series(series_buffer* b) {
  u32 src_node = b->node;
  VYR_ASSERT(src_node != 0 && buffer_of(src_node) == b);
  u32 unit = b->unit();
  u32 node = alloc_series(b->size / unit, unit, 0);
  b = buffer_of(src_node);
  series_buffer* nb = buffer_of(node);
  nb->flags = (b->flags & ~(SERIES_BIG | SERIES_MARK | SERIES_FIXED | SERIES_CENTRED)) |
              (nb->flags & SERIES_BIG);
  u32 used = b->used_bytes();
  std::memcpy(nb->head(), b->head(), used);
  nb->tail = nb->offset + used;
  return node;
}

cell* alloc_tail_cell(series_buffer*& b) {
  VYR_ASSERT(b->unit() == sizeof(cell));
  if (b->tail + 16 > b->end_offset()) b = expand_series(b, u64{b->size} * 2);
  cell* c = arena::at<cell>(b->tail);
  c->header = TYPE_UNSET;
  b->tail += 16;  // the stamp's bump
  return c;
}

char* alloc_tail_bytes(series_buffer*& b, u32 n) {
  VYR_ASSERT(b->offset <= b->tail && b->tail <= b->end_offset());
  if (u64{b->tail} + n > b->end_offset()) {
    u64 want = b->size < n ? u64{n} * 2 : u64{b->size} * 2;
    // The used part plus n must fit, whatever the head offset was.
    if (want < u64{b->used_bytes()} + n) want = u64{b->used_bytes()} + n;
    b = expand_series(b, want);
  }
  char* p = arena::at<char>(b->tail);
  b->tail += n;  // the stamp's bump
  return p;
}

char* replicate(char* p, i32 n, i32 count) {
  if (n <= 0 || count <= 0) return p;
  u64 total = u64(n) * u64(count);
  u64 run = u64(n);
  while (total - run >= run) {
    std::memcpy(p + run, p, run);
    run *= 2;
  }
  if (run < total) std::memcpy(p + run, p, total - run);
  return p + total;
}

void sweep_big() {
  u32 prev = 0;
  for (u32 p = mem.big_first; p;) {
    big_block* bb = arena::at<big_block>(p);
    u32 next = bb->next;
    series_buffer* b = bb->buffer();
    if (marked(b) && (b->flags & SERIES_IN_USE)) {
      unmark(b);
      prev = p;
    } else {
      if ((b->flags & SERIES_IN_USE) && b->node) free_node(b->node);
      if (prev) arena::at<big_block>(prev)->next = next; else mem.big_first = next;
      free_virtual(p);
      big_buffers--;
    }
    p = next;
  }
}

namespace {
void release_series_frame(u32 f) {
  series_frame* fr = sframe(f);
  for (auto it = floors.begin(); it != floors.end(); ++it)
    if (it->first == f) { floors.erase(it); break; }
  if (fr->prev) sframe(fr->prev)->next = fr->next; else mem.series_first = fr->next;
  if (fr->next) sframe(fr->next)->prev = fr->prev; else mem.series_last = fr->prev;
  if (mem.series_current == f) mem.series_current = mem.series_last;
  free_virtual(f);
}

// Slides the live buffers of one frame down over the dead ones. Dead buffers' nodes are
// released; live buffers' nodes are re-pointed and their head and tail lowered.
void compact_frame(u32 f) {
  series_frame* fr = sframe(f);
  u32 p = fr->data_offset();
  // The image's part: read only (its dead buffers are counted, not freed).
  for (u32 fl = floors.empty() ? p : floor_of(f, p); p < fl;) {
    series_buffer* b = arena::at<series_buffer>(p);
    if ((b->flags & SERIES_IN_USE) && marked(b)) unmark(b);
    else image_dead += sizeof(series_buffer) + b->size + 4;
    p += sizeof(series_buffer) + b->size + 4;
  }
  u32 dst = p;
  while (p < fr->bump) {
    series_buffer* b = arena::at<series_buffer>(p);
    u32 fp = sizeof(series_buffer) + b->size + 4;
    bool live = (b->flags & SERIES_IN_USE) && marked(b);
    if (!live) {
      if ((b->flags & SERIES_IN_USE) && b->node) free_node(b->node);
    } else {
      unmark(b);
      if (dst != p) {
        u32 dist = p - dst;
        std::memmove(arena::at<char>(dst), b, fp);
        series_buffer* nb = arena::at<series_buffer>(dst);
        // The cells move whole and keep their stamp: decisions about them still hold.
        nb->offset.set_unstamped(nb->offset - dist);
        nb->tail.set_unstamped(nb->tail - dist);
        if (nb->node) node_word(nb->node) = dst;
      }
      dst += fp;
    }
    p += fp;
  }
  if (collector::stress() && dst < fr->bump)
    std::memset(arena::at<char>(dst), 0xDD, fr->bump - dst);  // stale pointers read garbage
  if (fr->bump != dst) fr->bump = dst;  // an image frame's header is written only on change
}
}  // namespace

void sweep_frames() {
  u64 live = 0, room = 0;
  image_dead = 0;
  for (u32 f = mem.series_first; f; f = sframe(f)->next) {
    compact_frame(f);
    live += sframe(f)->bump - sframe(f)->data_offset();
    room += sframe(f)->end - sframe(f)->bump;
  }
  // Empty frames go back while the room left stays at least what the live buffers take
  // (see frames_crowded).
  for (u32 f = mem.series_first; f;) {
    u32 next = sframe(f)->next;
    u32 size = sframe(f)->end - sframe(f)->data_offset();
    if (sframe(f)->bump == sframe(f)->data_offset() && next && room - size >= live) {
      release_series_frame(f);
      room -= size;
    }
    f = next;
  }
  // Enough of the image died: the next collection compacts its frames.
  if (!floors.empty() && image_dead >= std::max(IMAGE_DEAD_FLOOR, image_bytes / 4)) floors.clear();
  sweep_big();
  u64 big_live = 0;
  for (u32 p = mem.big_first; p; p = arena::at<big_block>(p)->next)
    big_live += arena::at<big_block>(p)->requested;
  big_since_cycle = 0;
  big_budget = std::max(BIG_BUDGET_FLOOR, live + big_live);
}

void clear_fixed_marks() {
  for (u32 b : fixed_buffers) unmark(arena::at<series_buffer>(b));
}

void update_node_frames() {
  u32 chosen = 0;
  for (u32 f = mem.node_first; f;) {
    node_frame* fr = nframe(f);
    u32 next = fr->next;
    if (fr->used == 0 || fr->release) {
      if (fr->prev) nframe(fr->prev)->next = fr->next; else mem.node_first = fr->next;
      if (fr->next) nframe(fr->next)->prev = fr->prev; else mem.node_last = fr->prev;
      node_frames_sorted.erase(
          std::lower_bound(node_frames_sorted.begin(), node_frames_sorted.end(), f));
      forget_last_frame();
      if (mem.node_current == f) mem.node_current = 0;
      free_virtual(f);
    } else if (!chosen && fr->used < fr->capacity) {
      chosen = f;
    }
    f = next;
  }
  mem.node_current = chosen ? chosen : mem.node_last;
}

void release_all() {
  for (u32 f = mem.node_first; f;) { u32 n = nframe(f)->next; free_virtual(f); f = n; }
  for (u32 f = mem.series_first; f;) { u32 n = sframe(f)->next; free_virtual(f); f = n; }
  for (u32 p = mem.big_first; p;) { u32 n = arena::at<big_block>(p)->next; free_virtual(p); p = n; }
  for (u32 b : fixed_buffers) free_virtual(b);
  fixed_buffers.clear();
  node_frames_sorted.clear();
  floors.clear();
  forget_last_frame();
  big_buffers = 0;
  mem = record{};
}

u32 node_frame_count() { return static_cast<u32>(node_frames_sorted.size()); }
u32 series_frame_count() {
  u32 n = 0;
  for (u32 f = mem.series_first; f; f = sframe(f)->next) n++;
  return n;
}
u32 big_count() { return big_buffers; }
u32 fixed_count() { return static_cast<u32>(fixed_buffers.size()); }
u32 fixed_size(u32 i) { return arena::at<series_buffer>(fixed_buffers[i])->size; }

u64 used_bytes() {
  u64 n = 0;
  for (u32 f = mem.series_first; f; f = sframe(f)->next) n += sframe(f)->bump - sframe(f)->data_offset();
  for (u32 p = mem.big_first; p; p = arena::at<big_block>(p)->next) n += arena::at<big_block>(p)->requested;
  return n;
}

}  // namespace vyr::memory
