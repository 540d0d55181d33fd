// The memory manager: node frames, series frames with bump-carved buffers, big buffers and
// fixed buffers, all inside the arena. Values hold nodes; a node holds its buffer's offset,
// so buffers may move (growth, compaction) while nodes stay where they are for their life.
#pragma once
#include "runtime/arena.h"
#include "runtime/assert.h"

namespace vyr {

// Series buffer header flags: the unit in bits 0-4, the flags in bits 5-14, the write stamp
// in bits 16-31 (see below).
constexpr u32 SERIES_UNIT_MASK = 0x1F;
constexpr u32 SERIES_OWNED = 1u << 5;
// A block or paren of the library (made from the environment's sources, or a body copy of
// one): tracing sees its calls but not inside it.
constexpr u32 SERIES_LIBRARY = 1u << 6;
constexpr u32 SERIES_COMPLEMENT = 1u << 7;
constexpr u32 SERIES_FIXED = 1u << 8;
// A function body literal of the environment's sources that is evaluated once and reachable
// only through its source block: the function made from it may take it as its body instead
// of a copy (see function::push). Never copied to another series.
constexpr u32 SERIES_BODY_ONCE = 1u << 9;
constexpr u32 SERIES_BIG = 1u << 10;
constexpr u32 SERIES_MARK = 1u << 11;
constexpr u32 SERIES_CENTRED = 1u << 12;
constexpr u32 SERIES_MADE = 1u << 13;
constexpr u32 SERIES_IN_USE = 1u << 14;

// Largest data area a buffer may have; larger requests raise internal no-memory.
constexpr u64 SERIES_MAX_BYTES = 0x7FFF0000ull;

// The write stamp: the top 16 bits of the flags, bumped by every write to the buffer
// (through a writing accessor below, or by moving its head or tail), so that what was
// decided from a block's cells (the evaluator's cached steps) can be trusted while the stamp
// is unchanged. A bump is one addition whose carry falls off the top: each wrap bumps
// `stamp_epoch`, which distrusts every decision at once, so a stamp and the epoch together
// never repeat.
constexpr u32 SERIES_STAMP_SHIFT = 16;
constexpr u32 SERIES_STAMP_ONE = 1u << SERIES_STAMP_SHIFT;
constexpr u32 SERIES_STAMP_MASK = 0xFFFFu << SERIES_STAMP_SHIFT;
extern u32 stamp_epoch;

inline void bump_stamp(u32& flags) {
  if (__builtin_add_overflow(flags, SERIES_STAMP_ONE, &flags)) [[unlikely]] stamp_epoch++;
}

// A buffer's head or tail offset (at byte POS of the buffer's header, whose flags are
// at byte 0): reading is free, setting it changes what the series holds and bumps the stamp.
template <u32 POS>
class stamped_offset {
 public:
  operator u32() const { return v; }
  stamped_offset& operator=(u32 x) { return set(x); }
  stamped_offset& operator=(const stamped_offset& o) { return set(o.v); }
  stamped_offset& operator+=(u32 n) { return set(v + n); }
  stamped_offset& operator-=(u32 n) { return set(v - n); }
  // Setting without a stamp: only where the cells stay the same (a buffer moved whole).
  void set_unstamped(u32 x) { v = x; }

 private:
  stamped_offset& set(u32 x) {
    bump_stamp(*reinterpret_cast<u32*>(reinterpret_cast<char*>(this) - POS));
    v = x;
    return *this;
  }
  u32 v;
};

struct series_buffer {
  u32 flags;
  u32 node;    // the node that points here; 0 once abandoned by a grow
  u32 size;    // bytes of the data area, a multiple of 16
  stamped_offset<12> offset;  // arena offset of the head (first used unit)
  stamped_offset<16> tail;    // arena offset just past the last used unit

  u32 unit() const { return flags & SERIES_UNIT_MASK; }
  u32 stamp() const { return flags & SERIES_STAMP_MASK; }
  void bump() { bump_stamp(flags); }
  u32 data_offset() const { return arena::offset_of(this) + sizeof(series_buffer); }
  u32 end_offset() const { return data_offset() + size; }
  // The accessors that hand out writable memory bump the stamp: a writer cannot reach the
  // data without it. Readers take the const ones (through a const buffer, `read_buffer`).
  char* data() { bump(); return reinterpret_cast<char*>(this) + sizeof(series_buffer); }
  char* head() { bump(); return arena::at<char>(offset); }
  char* tail_ptr() { bump(); return arena::at<char>(tail); }
  char* end() { bump(); return raw_data() + size; }
  cell* cells() { bump(); return arena::at<cell>(offset); }
  cell* tail_cell() { bump(); return arena::at<cell>(tail); }
  const char* data() const { return reinterpret_cast<const char*>(this) + sizeof(series_buffer); }
  const char* head() const { return arena::at<const char>(offset); }
  const char* tail_ptr() const { return arena::at<const char>(tail); }
  const char* end() const { return data() + size; }
  const cell* cells() const { return arena::at<const cell>(offset); }
  const cell* tail_cell() const { return arena::at<const cell>(tail); }
  // Writable data without a stamp: for buffers never evaluated as code (a context's values
  // and word table, the symbol table, the argument caches, hash tables' items), whose
  // writes are the hot path of `set` and word look-up, and for a writer that bumps the
  // stamp itself once for many writes.
  cell* unstamped_cells() { return arena::at<cell>(offset); }
  char* unstamped_head() { return arena::at<char>(offset); }
  char* raw_data() { return reinterpret_cast<char*>(this) + sizeof(series_buffer); }
  u32 used_bytes() const {
    VYR_ASSERT(offset <= tail);
    return tail - offset;
  }
  u32 used_units() const {
    VYR_ASSERT(unit() != 0 && offset <= tail);
    return (tail - offset) / unit();
  }
};
static_assert(sizeof(series_buffer) == 20);

// A node is one 32-bit word in a node frame that holds its buffer's offset.
inline u32& node_word(u32 node) {
  VYR_ASSERT(node != 0);
  return *arena::at<u32>(node);
}
inline series_buffer* buffer_of(u32 node) {
  VYR_ASSERT(node_word(node) != 0);  // a node in use names a buffer
  return arena::at<series_buffer>(node_word(node));
}
// The buffer for reading only: its accessors leave the stamp alone.
inline const series_buffer* read_buffer(u32 node) { return buffer_of(node); }

namespace memory {

constexpr u32 NODES_PER_FRAME = 10000;
constexpr u32 BASE_FRAME_SIZE = 0x100000;
constexpr u32 HUGE_PAGE = 0x200000;  // the first series frame's block, when the system has them
constexpr u32 BIG_THRESHOLD = 0x200000;
constexpr u32 FRAME_LEFTOVER = 0xCCCC;  // a frame with less room than this is passed over

struct node_frame {
  u32 next, prev, capacity, free, used, stamp, last_used, history, release;
  u32* nodes() { return reinterpret_cast<u32*>(this + 1); }
};
struct series_frame {
  u32 next, prev, size, bump, end;
  u32 data_offset() const { return arena::offset_of(this) + sizeof(series_frame); }
};
struct big_block {
  u32 next, zero, requested;
  series_buffer* buffer() { return reinterpret_cast<series_buffer*>(this + 1); }
};

struct record {
  u64 total = 0;  // bytes of virtual memory held
  u32 node_first = 0, node_last = 0, node_current = 0;
  u32 series_first = 0, series_current = 0, series_last = 0;
  u32 next_frame_size = BASE_FRAME_SIZE;
  u32 big_first = 0;
};
extern record mem;

// The mark bits of the buffers inside the start-up image's address range live in a side
// bitmap (one bit for each 4 bytes of the range) rather than in their flags: the image is
// mapped copy-on-write, and a collection setting and clearing a flag in every live buffer
// would copy nearly every page of it. The buffers themselves stay ordinary arena contents.
struct side_marks {
  u32 lo = 0, span = 0;  // the range [lo, lo + span); span 0: no image
  u64* bits = nullptr;
};
extern side_marks image_marks;
inline bool marked(const series_buffer* b) {
  u32 off = arena::offset_of(b);
  u32 i = off - image_marks.lo;
  if (i < image_marks.span) return (image_marks.bits[i >> 8] >> ((i >> 2) & 63)) & 1;
  return (b->flags & SERIES_MARK) != 0;
}
// Sets the mark; true when it was not set.
inline bool set_mark(series_buffer* b) {
  u32 off = arena::offset_of(b);
  u32 i = off - image_marks.lo;
  if (i < image_marks.span) {
    u64& w = image_marks.bits[i >> 8];
    u64 bit = u64{1} << ((i >> 2) & 63);
    if (w & bit) return false;
    w |= bit;
    return true;
  }
  if (b->flags & SERIES_MARK) return false;
  b->flags |= SERIES_MARK;
  return true;
}
inline void unmark(series_buffer* b) {
  u32 off = arena::offset_of(b);
  u32 i = off - image_marks.lo;
  if (i < image_marks.span) image_marks.bits[i >> 8] &= ~(u64{1} << ((i >> 2) & 63));
  else if (b->flags & SERIES_MARK) b->flags &= ~SERIES_MARK;
}
// Called once the arena holds a mapped start-up image: the range it covers takes side
// marks, and its series frames keep their contents in place (see sweep_frames).
void adopt_image();
// Bytes of dead buffers the image's frames hold in place, as of the last collection.
u64 image_dead_bytes();

// 64-bit size arithmetic for every count x unit; raises internal no-memory past the cap.
u64 checked_size(u64 count, u64 unit);

void init();
// Returns the usable area's offset (after the size word); `align` as for arena::take.
u32 allocate_virtual(u64 size, u64 align = 4096);
void free_virtual(u32 block);

u32 new_node_frame(u32 n);
u32 alloc_node();
void free_node(u32 node);  // finds the node's frame itself

u32 alloc_buffer(u32 units, u32 unit, i32 offset);  // returns the buffer's offset; -1 centres
u32 alloc_series(u32 units, u32 unit, i32 offset);  // returns the node
u32 alloc_fixed_series(u32 units, u32 unit, u32 offset);
void free_fixed_series(u32 node);
u32 alloc_cells(u32 n);
u32 alloc_unset_cells(u32 n);
u32 alloc_bytes(u32 n);
u32 alloc_units(u32 n, u32 unit);
u32 alloc_bytes_filled(u32 n, u8 byte);
void set_series_flags(u32 node, u32 bits);

series_buffer* grow_buffer(series_buffer* b, u64 new_size);
series_buffer* expand_series(series_buffer* b, u64 new_size);
series_buffer* expand_series_filled(series_buffer* b, u64 new_size, u8 byte);
u32 copy_series(series_buffer* b);  // returns the new node

u32 new_series_frame();
u32 find_frame(u32 footprint);
series_buffer* alloc_big(u32 footprint);
void free_big(series_buffer* b);
void sweep_big();
void update_node_frames();
void release_all();

// Cells and bytes at the tail.
cell* alloc_tail_cell(series_buffer*& b);
char* alloc_tail_bytes(series_buffer*& b, u32 n);
char* replicate(char* p, i32 n, i32 count);

// Collector support: sweep and compact every series frame (dead buffers' nodes are freed),
// then the big buffers; clear the marks left on fixed buffers.
void sweep_frames();
void clear_fixed_marks();
u32 node_frame_count();
u32 series_frame_count();
u32 big_count();
u64 used_bytes();  // bytes taken by live buffers in frames and big blocks (after a sweep)
// Fixed buffers live in heap blocks of their own outside the frames: their count and the
// data size of the i-th.
u32 fixed_count();
u32 fixed_size(u32 i);

}  // namespace memory
}  // namespace vyr
