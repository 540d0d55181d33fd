// Data stack and frame stack storage: one fixed (never moving) series of cells and one C++
// array of frame records, both with a guard region past their limit. The collector marks
// the cells base..top and, through the frames, the contexts and blocks they name.
#include "runtime/stack.h"
#include "runtime/halt.h"

#include <cstdlib>
#include <new>

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/series.h"
#include "runtime/fire.h"
#include "runtime/word_tables.h"

namespace vyr::stack {

cell* base = nullptr;
cell* limit = nullptr;
cell* push_limit = nullptr;
cell* top = nullptr;
cell* arguments = nullptr;
frame* frames = nullptr;
u32 frame_top = 0;
u32 frame_mask = ~0u;
u32 frame_end = FRAME_COUNT;
u32 frame_room = FRAME_COUNT;
u32 frame_count = FRAME_COUNT;

namespace {
// What one frame record may cost in machine stack, with a wide margin (deep recursion
// through functions, do, reduce, compose, sort/compare, try or catch takes 300 to 700
// bytes a record), and what the walks that push no records need besides: data nested to
// the cycle stack's depth, parse rules, the codecs, the signal handlers.
constexpr u64 MACHINE_BYTES_PER_FRAME = 8192;
constexpr u64 MACHINE_RESERVE = u64(16) << 20;
// Start-up itself needs this many.
constexpr u32 MIN_FRAMES = 256;

u32 stack_node = 0;
cell* hard_limit = nullptr;

void mark_stack() {
  if (!base) return;
  collector::mark_values(base, top);
  for (u32 i = 0; i < frame_top; i++) {
    const frame& f = frames[i];
    if (f.word_ctx) collector::mark_context(f.word_ctx);
    if (u32 ctx = attached_context(f)) collector::mark_context(ctx);
    if (f.block) collector::mark_block(f.block);
  }
}

// A stack-valued context's values reference is a frame index + 1: the frame's own
// arguments are the context's value cells.
cell* frame_cells(u32 ref, u32* count) {
  if (ref == 0 || ref > frame_top) return nullptr;
  const frame& f = frames[ref - 1];
  *count = slot_count(f);
  return base + f.own_args;
}

// Pops the innermost record, restoring the context it attached.
inline frame& pop_record() {
  VYR_ASSERT(frame_top > 0);
  frame& f = frames[--frame_top];
  if (f.header & FLAG_ATTACHED) restore_values(f);
  return f;
}
}  // namespace


void init() {
  if (stack_node) return;
  stack_node = memory::alloc_fixed_series(SIZE + GUARD_CELLS, sizeof(cell), 0);
  series_buffer* b = buffer_of(stack_node);
  base = reinterpret_cast<cell*>(b->data());
  limit = base + SIZE;
  hard_limit = base + SIZE + GUARD_CELLS;
  push_limit = limit;
  top = arguments = base;
  // calloc: a fresh mapping is zero already, so the records cost no page until used.
  frames = static_cast<frame*>(std::calloc(FRAME_COUNT + GUARD_FRAMES, sizeof(frame)));
  if (!frames) throw std::bad_alloc();
  frame_top = 0;
  frame_end = frame_room = frame_count;
  collector::add_root_node(&stack_node);
  collector::register_callback(mark_stack);
  _context::frame_cells = frame_cells;
}

void fit_machine_stack(u64 bytes) {
  u64 room = bytes > MACHINE_RESERVE ? bytes - MACHINE_RESERVE : 0;
  u64 n = room / MACHINE_BYTES_PER_FRAME;
  frame_count = n >= FRAME_COUNT ? FRAME_COUNT : n < MIN_FRAMES ? MIN_FRAMES : u32(n);
  if (frame_top < frame_count) {
    frame_room = frame_count;
    if (frame_end != 0) frame_end = frame_count;
  }
}

u64 machine_stack_wanted() { return FRAME_COUNT * MACHINE_BYTES_PER_FRAME + MACHINE_RESERVE; }

void reset() {
  unwind_frames(0);
  top = arguments = base;
  close_guards();
}

void close_guards() {
  if (top < limit) push_limit = limit;
  // A pending outside halt keeps the frame push trapping until it is delivered.
  if (frame_top < frame_count) {
    frame_room = frame_count;
    open_frames();
  }
}

void frame_limit() {
  // The poll thread writes its request before frame_end, so a poll served in between (at a
  // loop iteration) can leave frame_end 0 with nothing requested; and it may ask again while
  // this one is served. Only frame_room tells an overflow.
  if (halt::requested) halt::trap();
  if (frame_top < frame_room) {
    if (!halt::requested) open_frames();
    return;
  }
  overflow();
}

void open_frames() {
  frame_end = frame_room;
  // Checked after the store: a request made meanwhile keeps the push trapping.
  if (halt::requested) frame_end = 0;
}

void overflow() {
  if (halt::requested == halt::HALT) halt::deliver();
  // The guard regions give the error room to be built and raised; they close again when a
  // catching point restores the stacks. A second overflow inside the guard is a fault
  // below the language.
  if (push_limit == hard_limit && frame_room == frame_count + GUARD_FRAMES) fire_no_memory();
  push_limit = hard_limit;
  frame_end = frame_room = frame_count + GUARD_FRAMES;
  // The guard gives the error its room. Cells are given back only when the guard was
  // already spent on an earlier overflow: below the top they may belong to the calls under
  // the catching point (a frame-less call keeps its arguments there), which go on running
  // once the error is caught.
  if (top + OVERFLOW_HEADROOM >= hard_limit) {
    top = top - OVERFLOW_HEADROOM < base ? base : top - OVERFLOW_HEADROOM;
    if (arguments > top) arguments = top;
  }
  cycles::reset();
  fire("internal", "stack-overflow");
}


void pop_cells(u32 n) {
  VYR_ASSERT(top >= base);
  top = static_cast<u32>(top - base) < n ? base : top - n;
}

cell* last_pushed() { return top == base ? base : top - 1; }
u32 last_type() { return type_of(last_pushed()); }

cell* set_result(const cell* value) {
  VYR_ASSERT(arguments >= base && arguments < push_limit);
  return copy_cell(value, arguments);
}
void set_last(const cell* value) {
  VYR_ASSERT(arguments >= base && arguments < push_limit);
  copy_cell(value, arguments);
  top = arguments + 1;
}

void set_try_result() {
  VYR_ASSERT(arguments >= base && arguments < push_limit);
  if (top > arguments && type_of(top - 1) == TYPE_ERROR) copy_cell(top - 1, arguments);
  top = arguments + 1;
}

// ---- Frames -------------------------------------------------------------------------------

frame* top_frame() { return frame_top ? &frames[frame_top - 1] : nullptr; }
u32 depth() { return frame_top; }


void leave_reset() {
  frame& f = pop_record();
  arguments = base + f.saved_args;
  top = arguments;
}

void unwind_frames(u32 new_top) {
  VYR_ASSERT(frame_top <= frame_room);
  while (frame_top > new_top) pop_record();
}

state_guard::state_guard()
    : args_(arguments), top_(top), frame_top_(frame_top), cycles_(cycles::depth()) {}

state_guard::~state_guard() {
  if (active_) restore();
}

void state_guard::restore() {
  // A guard is restored in the scope that made it: the frames it saw are still there.
  VYR_ASSERT(frame_top_ <= frame_top);
  unwind_frames(frame_top_);
  arguments = args_;
  restore_top(top_);
  if (cycles::depth() > cycles_) cycles::pop_n(cycles::depth() - cycles_);
  close_guards();
}

bool eval_q(i32 from, bool only_next) {
  i32 i = from < 0 ? i32(frame_top) - 1 : from;
  if (only_next) return i >= 0 && (frames[i].header & FLAG_INTERP);
  for (; i >= 0; i--)
    if (frames[i].header & FLAG_INTERP) return true;
  return false;
}

// ---- Walks ----------------------------------------------------------------------------

namespace {
// The word a frame was called by: bound in `ctx`, or the global word when there is none.
cell frame_word(u32 ctx, u32 symbol) {
  return ctx ? word::find_or_global(ctx, symbol) : _context::add_global(symbol, false, false);
}
}  // namespace

bool marker_q(u32 symbol) {
  return symbol == 0 || symbol == word::symbol_id(&words::word_body) ||
         symbol == word::symbol_id(&words::word_anon);
}

cell current_call_word() {
  for (i32 i = i32(frame_top) - 1; i >= 0; i--) {
    const frame& f = frames[i];
    if (marker_q(f.symbol)) continue;
    return frame_word(f.word_ctx, f.symbol);
  }
  return words::word_not_found;
}

cell current_call_word_past(const u32* once, u32 once_count, const u32* any, u32 any_count) {
  for (i32 i = i32(frame_top) - 1; i >= 0; i--) {
    const frame& f = frames[i];
    if (marker_q(f.symbol)) continue;
    bool skip = false;
    while (once_count > 0 && !skip) {
      skip = f.symbol == once[0];
      once++;
      once_count--;
    }
    for (u32 k = 0; k < any_count && !skip; k++) skip = f.symbol == any[k];
    if (skip) continue;
    return frame_word(f.word_ctx, f.symbol);
  }
  return words::word_not_found;
}

cell current_call_name() {
  for (i32 i = i32(frame_top) - 1; i >= 0; i--) {
    if (marker_q(frames[i].symbol)) continue;
    return cell{TYPE_WORD, 0, frames[i].symbol, word::NO_INDEX};
  }
  return words::word_not_found;
}

namespace {
void append_cell(cell* block, const cell* value) {
  cell v = *value;
  series_buffer* b = buffer_of(series::node(block));
  *memory::alloc_tail_cell(b) = v;
}
}  // namespace

void collect_calls(cell* block) {
  collector::root_guard g(block);
  for (i32 i = i32(frame_top) - 1; i >= 1; i--) {
    frame f = frames[i];
    if (marker_q(f.symbol)) continue;
    cell w = frame_word(attached_context(f), f.symbol);
    append_cell(block, &w);
    cell n{TYPE_INTEGER, 0, f.saved_args, 0};
    append_cell(block, &n);
  }
}

void collect_trace(i32 level, cell* block, u32 end) {
  collector::root_guard g(block);
  if (end > frame_top) end = frame_top;
  for (u32 i = 0; i < end; i++) {
    frame f = frames[i];
    if (marker_q(f.symbol)) continue;
    cell w = frame_word(f.word_ctx, f.symbol);
    if (level <= 1) {
      const cell* v = nullptr;
      try {
        v = _context::get(&w);
      } catch (const thrown&) {
        continue;
      }
      if (type_of(v) != TYPE_FUNCTION) continue;
    }
    append_cell(block, &w);
  }
}

}  // namespace vyr::stack
