// The data stack and the frame stack. The data stack is a fixed array of 20,000 cells holding
// the arguments and results of the running calls; the frame stack a fixed array of 12,000
// call-frame records, one for every call, block evaluation, loop, try or catch in progress
// (fewer are usable when the machine stack is too small for all of them).
// Invariants: base <= arguments <= top < limit; frames below frame_top are live. Both stacks
// keep a guard region past their limit that only the stack-overflow error may use.
#pragma once
#include "runtime/assert.h"
#include "runtime/cell.h"
#include "runtime/memory.h"

namespace vyr::stack {

constexpr u32 SIZE = 20000;           // cells
constexpr u32 GUARD_CELLS = 256;      // past `limit`, for building the overflow error
constexpr u32 OVERFLOW_HEADROOM = 5;  // cells given back on overflow to build the error
constexpr u32 FRAME_COUNT = 12000;    // records
constexpr u32 GUARD_FRAMES = 64;      // past the frame end, for raising the overflow error

// Records usable before the stack-overflow error: FRAME_COUNT, or fewer on a small machine
// stack, so that running out of frames comes before running out of machine stack.
extern u32 frame_count;
// Fits frame_count to a machine stack of `bytes` (the thread that evaluates).
void fit_machine_stack(u64 bytes);
// The machine stack that all FRAME_COUNT records fit in.
u64 machine_stack_wanted();

extern cell* base;       // the first cell
extern cell* limit;      // one past the last usable cell
extern cell* push_limit; // what push_slot tests: limit, or the guard's end during overflow
extern cell* top;        // the next free cell
extern cell* arguments;  // first argument cell of the innermost call, also its result slot

void init();   // allocates both stacks once; arguments = top = base; no frames
void reset();  // arguments = top = base, no frames, guard regions closed

// Reserves the cell at top; raises internal stack-overflow when the new top would reach
// the limit (the guard region is opened for the error and the cycle stack reset).
inline cell* push_slot();  // the new cell reads as none! until written
inline void keep_top();    // reserves the top cell without touching it
// Copies the value into a reserved cell, written whole at once (nothing runs between
// reserving and writing it, so it needs no none! first).
inline cell* push_copy(const cell* value);
void pop_cells(u32 n);                  // never below base
cell* last_pushed();                    // top - 1, or base when the stack is empty
u32 last_type();

cell* set_result(const cell* value);    // copies into the cell at arguments, answers that cell
void set_last(const cell* value);       // set_result, then top = arguments + 1
inline void clear_args() { top = arguments; }
inline void keep_first() {
  VYR_ASSERT(arguments >= base && arguments < push_limit);
  top = arguments + 1;
}
// A native's result: left in its first argument cell, the stack cut just above it.
inline void set_last(const cell& value) {
  VYR_ASSERT(arguments >= base && arguments < push_limit);
  *arguments = value;
  keep_first();
}
void set_try_result();                  // an error! last pushed becomes the result; keep 1

// The i-th argument cell (0 is the result slot).
inline cell* arg(u32 i) {
  VYR_ASSERT(arguments + i < push_limit);
  return arguments + i;
}

// ---- Frames ---------------------------------------------------------------------------

// Frame kinds (header bits 24-27) and flags.
constexpr u32 KIND_FUNCTION = 1, KIND_NATIVE = 2, KIND_TRY = 4, KIND_TRY_ALL = 5,
              KIND_CATCH = 6, KIND_BLOCK = 7, KIND_LOOP = 8;
constexpr u32 FLAG_FUNCTION = 0x10000000u;  // return and exit stop here
constexpr u32 FLAG_ATTACHED = 0x20000000u;  // fn_ctx and saved_values hold a context
constexpr u32 FLAG_INTERP = 0x80000000u;    // pushed by the interpreter
constexpr u32 HEADER_INTERP_FUNCTION = 0x81000000u;
constexpr u32 HEADER_INTERP_NATIVE = 0x82000000u;
constexpr u32 HEADER_BLOCK = 0x87000000u;
// The header's low bits: the slot count of the context attached to the frame (0 when none).
// A frame's slots lie on the data stack, so the count always fits.
constexpr u32 COUNT_MASK = 0x00FFFFFFu;
static_assert(SIZE + GUARD_CELLS <= COUNT_MASK);

// One call-frame record, 32 bytes. A push writes only the first six words: the header, the
// two argument positions, the block, and the label (the word's context and full symbol id,
// side by side as in a word cell so that they are copied as one unit). The attached context
// and its saved values reference are written and read only under FLAG_ATTACHED.
struct frame {
  u32 header;        // kind << 24 | flags, and the attached context's slot count
  u32 saved_args;    // the caller's arguments (cell index from base)
  u32 own_args;      // this frame's own arguments (cell index from base)
  u32 block;         // node of the block evaluated under this frame (a root), or 0
  u32 word_ctx;      // context node of the frame's word, 0 when none
  u32 symbol;        // the full symbol id of the frame's word
  u32 fn_ctx;        // context whose values reference this frame changed (FLAG_ATTACHED)
  u32 saved_values;  // that context's values reference before the change
};
static_assert(sizeof(frame) == 32);

// The cells of a function call's frame (arguments, refinements, locals): its context's slots.
inline u32 slot_count(const frame& f) { return f.header & COUNT_MASK; }
// The context attached to the frame, or 0.
inline u32 attached_context(const frame& f) { return f.header & FLAG_ATTACHED ? f.fn_ctx : 0; }

extern frame* frames;    // the frame base
extern u32 frame_top;    // records in use
extern u32 frame_end;    // records usable, or 0 while an outside halt or poll waits
extern u32 frame_room;   // records usable apart from that trap (moves into the guard on overflow)
// ANDed into every frame header pushed: clears FLAG_INTERP while a library block runs, so
// that only frames of user code count as interpreted (eval_q, system/state/interpreted?).
extern u32 frame_mask;

inline u32 kind_of(const frame& f) { return (f.header >> 24) & 0x0F; }

// The common pusher: a record named by the word (a word cell, or null for none) with the
// header flags; the callee's arguments start at top. Raises stack-overflow when full.
// `block` (a node or 0) is kept alive by the frame while it lives.
inline cell* push_frame_sym(u32 symbol, u32 word_ctx, u32 flags, u32 block = 0);
inline cell* push_frame(const cell* word, u32 flags) {
  return push_frame_sym(word ? word->data2 : 0, word ? word->data1 : 0, flags);
}
frame* top_frame();      // the innermost record, or null when there is none
u32 depth();             // frame_top

// Points a function context's values reference at the innermost frame's arguments (the
// frame remembers the previous reference and puts it back when it is left or unwound).
inline void attach_context(u32 ctx, u32 count, u32 flags = 0);

// Leaving the innermost frame (each pops exactly one record and restores an attached
// context): leave keeps the callee's first cell as the caller's newest value; leave_return
// also copies it into the caller's first argument cell; leave_reset keeps nothing.
inline void leave();
inline void leave_return();
void leave_reset();

// Drops every record above `new_top`, restoring the contexts they attached. Catching
// points call it (through `state_guard`) before they look at what they caught.
void unwind_frames(u32 new_top);

// Saves the stacks' positions and the cycle stack depth; `restore` puts them back,
// unwinding frames, and closes guard regions that an overflow opened. The destructor
// restores too unless `release` was called, so every exit leaves the stacks balanced.
class state_guard {
 public:
  state_guard();
  ~state_guard();
  void restore();
  void release() { active_ = false; }
  u32 frame_depth() const { return frame_top_; }
  state_guard(const state_guard&) = delete;
  state_guard& operator=(const state_guard&) = delete;
 private:
  cell* args_;
  cell* top_;
  u32 frame_top_;
  u32 cycles_;
  bool active_ = true;
};

// Sets top back to a saved position. Cells between the current top and a higher saved one
// were not roots meanwhile (the collector may have freed what they named): they come back
// as none!, never as stale values.
inline void restore_top(cell* saved) {
  VYR_ASSERT(saved >= base && saved <= push_limit);
  for (cell* c = top; c < saved; c++) *c = cell{TYPE_NONE, 0, 0, 0};
  top = saved;
}

// Restores arguments and top on every exit from a scope (errors included).
class guard {
 public:
  guard() : args_(arguments), top_(top) {}
  ~guard() { arguments = args_; restore_top(top_); }
  guard(const guard&) = delete;
  guard& operator=(const guard&) = delete;
 private:
  cell* args_;
  cell* top_;
};

// True when a frame with the interpreter flag lies at or below `from` (the frame top when
// -1); with only_next, only the frame just below is looked at.
bool eval_q(i32 from, bool only_next);

// Walks that name frames skip the marker frames `<body>` and `<anon>`.
bool marker_q(u32 symbol);
// The word of the innermost named frame (bound to its context), or `<not-found>`.
cell current_call_word();
// The same, past the innermost frames named by `once`, in that order (each one optional),
// then past any frames named by `any`: the calls that only raise an error made elsewhere
// and the control words around them, so that the error names the function that wanted it
// raised.
cell current_call_word_past(const u32* once, u32 once_count, const u32* any, u32 any_count);
// The same name unbound, found without allocating (for the errors raised when memory ran out).
cell current_call_name();
// Appends, from the innermost frame down, each frame's word and saved argument position.
void collect_calls(cell* block);
// Appends the words of frames up to `end` whose word's value is a function (all with
// level > 1).
void collect_trace(i32 level, cell* block, u32 end);

// The overflow guard regions: open while the overflow error is being raised; closed again
// by the first catching point that restores the stacks below their limits.
void close_guards();

[[noreturn]] void overflow();
// The frame push's trap: serves an outside halt or poll, else overflows.
void frame_limit();
// frame_end back at frame_room, unless an outside halt or poll is pending.
void open_frames();

}  // namespace vyr::stack

// Reserves the cell at top keeping what it holds: for a callback that runs while the
// evaluator keeps a value there unreserved (the left operand of an operator).
inline void vyr::stack::keep_top() {
  VYR_ASSERT(top >= base);
  if (top + 1 >= push_limit) [[unlikely]] overflow();
  top++;
}

// The reserved cell reads as none! until the caller writes it: a collection that runs
// before then (the caller allocating the value) must not see what the slot held earlier.
inline vyr::cell* vyr::stack::push_slot() {
  VYR_ASSERT(top >= base);
  if (top + 1 >= push_limit) [[unlikely]] overflow();
  top->header = TYPE_NONE;
  return top++;
}

inline vyr::cell* vyr::stack::push_copy(const cell* value) {
  VYR_ASSERT(top >= base);
  if (top + 1 >= push_limit) [[unlikely]] overflow();
  cell v = *value;
  cell* c = top++;
  *c = v;
  return c;
}

namespace vyr::stack {
// Puts back the values reference a frame changed (word 2 of the context cell, which is the
// first cell of the context's buffer).
inline void restore_values(const frame& f) {
  VYR_ASSERT((f.header & FLAG_ATTACHED) && f.fn_ctx != 0);
  buffer_of(f.fn_ctx)->unstamped_cells()->data2 = f.saved_values;
}

inline void attach_context(u32 ctx, u32 count, u32 flags) {
  VYR_ASSERT(frame_top > 0 && ctx != 0);
  frame& f = frames[frame_top - 1];
  VYR_ASSERT(!(f.header & FLAG_ATTACHED));  // one attached context per frame
  cell* c = buffer_of(ctx)->unstamped_cells();
  VYR_ASSERT(count <= COUNT_MASK && slot_count(f) == 0);
  f.fn_ctx = ctx;
  f.saved_values = c->data2;
  f.header |= FLAG_ATTACHED | flags | count;
  c->data2 = frame_top;  // frame index + 1
}

inline void leave_return() {
  VYR_ASSERT(frame_top > 0);
  VYR_ASSERT(arguments >= base && arguments < push_limit);
  VYR_ASSERT(frames[frame_top - 1].saved_args <= u32(arguments - base));
  frame& f = frames[--frame_top];
  if (f.header & FLAG_ATTACHED) restore_values(f);
  cell* result = arguments;
  arguments = base + f.saved_args;
  *arguments = *result;
  top = result + 1;
}

inline cell* push_frame_sym(u32 symbol, u32 word_ctx, u32 flags, u32 block) {
  VYR_ASSERT(base <= arguments && arguments <= top && top < push_limit);
  if (frame_top >= frame_end) [[unlikely]] frame_limit();
  frame& f = frames[frame_top++];
  f.header = flags & frame_mask;
  f.saved_args = static_cast<u32>(arguments - base);
  f.own_args = static_cast<u32>(top - base);
  f.block = block;
  f.word_ctx = word_ctx;
  f.symbol = symbol;
  arguments = top;
  return arguments;
}

inline void leave() {
  VYR_ASSERT(frame_top > 0);
  VYR_ASSERT(arguments >= base && arguments < push_limit);
  VYR_ASSERT(frames[frame_top - 1].saved_args <= u32(arguments - base));
  frame& f = frames[--frame_top];
  if (f.header & FLAG_ATTACHED) restore_values(f);
  top = arguments + 1;
  arguments = base + f.saved_args;
}
}  // namespace vyr::stack
