// The evaluator: walks blocks one expression at a time, looks words up, applies infix
// operators left to right with equal precedence and hands every call to the one dispatch
// (interpreter_inline.h; the calls themselves are in calls.cpp, path walking in paths.cpp).
// Hot paths: word lookup (one indexed load through the word's binding) and the integer
// operators done in place. Nothing here allocates per expression.
#include "runtime/interpreter/interpreter_inline.h"
#include "runtime/interpreter/loop_pass.h"
#include "runtime/interpreter/native_stack.h"

#include "runtime/collector.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/word.h"
#include "runtime/natives/natives.h"
#include "runtime/stamp_check.h"
#include <algorithm>
#include <cstring>

namespace vyr::interpreter {

u32 pending = 0;
u32 pending_target = 0;
cell pending_value{TYPE_UNSET, 0, 0, 0};
const cell* position_ref = nullptr;
bool tracing = false;
bool library_quiet = false;
load_fn load_hook = nullptr;
do_file_fn do_file_hook = nullptr;

namespace internal {
u32 global_values = 0;
u32 global_node = ~0u;
u8 fast_native[FAST_NATIVES];
u8 fast_action[ACTION_COUNT + 1];
const i32 no_refinements[MAX_REFINEMENTS] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                             -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                             -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
u32 if_index = 0, unless_index = 0, either_index = 0;

void init_fast_ops() {
  fast_action[slot::add] = FAST_ADD;
  fast_action[slot::subtract] = FAST_SUBTRACT;
  fast_action[slot::multiply] = FAST_MULTIPLY;
  namespace id = natives::id;
  const struct { u32 index; u8 code; } natives_table[] = {
      {id::equal_q, FAST_EQUAL}, {id::strict_equal_q, FAST_STRICT_EQUAL},
      {id::same_q, FAST_SAME}, {id::not_equal_q, FAST_NOT_EQUAL}, {id::lesser_q, FAST_LESSER},
      {id::lesser_or_equal_q, FAST_LESSER_OR_EQUAL}, {id::greater_q, FAST_GREATER},
      {id::greater_or_equal_q, FAST_GREATER_OR_EQUAL}};
  for (const auto& n : natives_table)
    if (n.index < FAST_NATIVES) fast_native[n.index] = n.code;
  if_index = id::if_;
  unless_index = id::unless;
  either_index = id::either;
}

bool float_fast(u32 code, cell* left, const cell* r) {
  double x = cell_float(left);
  double y = type_of(r) == TYPE_INTEGER ? double(integer::get(r)) : cell_float(r);
  double v;
  bool t;
  switch (code) {
    case FAST_ADD: v = x + y; break;
    case FAST_SUBTRACT: v = x - y; break;
    case FAST_MULTIPLY: v = x * y; break;
    case FAST_EQUAL: t = float_::almost_equal_q(x, y); goto logic;
    case FAST_NOT_EQUAL: t = !float_::almost_equal_q(x, y); goto logic;
    case FAST_STRICT_EQUAL: t = type_of(r) == TYPE_FLOAT && x == y; goto logic;
    case FAST_SAME: return false;  // same? has its own rules; its native decides
    case FAST_LESSER: t = x < y; goto logic;
    case FAST_LESSER_OR_EQUAL: t = x <= y; goto logic;
    case FAST_GREATER: t = x > y; goto logic;
    default: t = x >= y; goto logic;
  }
  *left = cell{TYPE_FLOAT, 0, 0, 0};
  set_cell_float(left, v);
  return true;
logic:
  *left = cell{TYPE_LOGIC, t ? 1u : 0u, 0, 0};
  return true;
}

[[gnu::noinline, gnu::cold]] void trace_at(u32 bit, u32 node, u32 pos, const cell* ref, const cell* v) {
  cell code{TYPE_BLOCK, 0, node, 0};
  trace::event(bit, &code, pos, ref, v);
}
[[gnu::noinline, gnu::cold]] void trace_push(u32 node, u32 pos, const cell* v) {
  trace_at(trace::EV_PUSH, node, pos, nullptr, v);
}
[[gnu::noinline, gnu::cold]] void trace_block(u32 bit, const cell* block, u32 pos, const cell* v) {
  cell code = *block;
  trace::event(bit, &code, pos, nullptr, v);
}

// Stores the value a set-word's frame computed (on top of the stack) in the word, and
// leaves the frame. What ran may have switched tracing on.
inline void store_set_word(u32 node, u32 pos, cell* w) {
  cell value = *(stack::top - 1);
  if (type_of(&value) == TYPE_UNSET) fire("script", "need-value", w);
  if (tracing) [[unlikely]] trace_at(trace::EV_SET, node, pos, w, &value);
  cell* slot = settable(w);
  if (slot) *slot = value; else _context::set(w, &value);
  *stack::arguments = value;
  stack::leave();
}

u32 set_word_step(u32 node, u32 pos, u32 tail) {
  native_stack::check();
  cell* start = stack::top;
  cell v = *cells::get(node, pos);
  pos++;
  stack::push_frame(&v, stack::HEADER_INTERP_NATIVE);
  pos = seq_step(node, pos, tail);
  if (leave_on_exit()) return pos;
  store_set_word(node, pos, &v);
  return apply_infix(node, pos, tail, start);
}

[[gnu::noinline, gnu::cold]] void trace_call(u32 bit, const cell* name, const cell* v) {
  trace::event(bit, nullptr, 0, name, v);
}

[[gnu::noinline, gnu::cold]] void run_pass_traced(cell* at) {
  cell block = *at;
  collector::root_guard g(&block);
  u32 node = series::node(at);
  u32 pos = series::index(at);
  u32 tail = cells::length(node);
  trace_block(trace::EV_ENTER, &block, pos, nullptr);
  if (pos >= tail) {
    stack::set_last(cell{TYPE_UNSET, 0, 0, 0});
  } else {
    memory::check_stamp(node);
    for (;;) {
      series::index(at) = pos;
      pos = eval_next(node, pos, tail, 0);
      if (exit_pending()) break;
      tail = cells::length(node);
      if (pos >= tail) break;
      stack::clear_args();
    }
  }
  if (tracing) trace_block(trace::EV_EXIT, &block, cells::length(node), stack::arguments);
}
}  // namespace internal

using namespace internal;

// ---- Non-local exits ------------------------------------------------------------------------

void raise_pending() {
  if (!pending) return;
  thrown t{};
  t.level = pending;
  t.value = pending_value;
  t.name = cell{TYPE_INTEGER, pending_target, 0, 0};
  t.category = "throw";
  t.id = "pending";
  pending = 0;
  pending_value = cell{TYPE_UNSET, 0, 0, 0};
  throw t;
}

namespace {
// Entering a block while tracing or while a library block holds tracing off: a library
// block holds it off, any other block turns it back on. The previous state comes back when
// the block is left, errors included.
class library_scope {
 public:
  explicit library_scope(u32 node) {
    bool flagged = buffer_of(node)->flags & SERIES_LIBRARY;
    if (tracing == flagged) {
      on_ = true;
      saved_tracing_ = tracing;
      saved_quiet_ = library_quiet;
      tracing = !flagged;
      library_quiet = flagged;
    }
  }
  ~library_scope() {
    if (!on_) return;
    tracing = saved_tracing_ && !trace::switched_off;
    library_quiet = saved_quiet_;
  }
  library_scope(const library_scope&) = delete;
  library_scope& operator=(const library_scope&) = delete;
 private:
  bool on_ = false, saved_tracing_ = false, saved_quiet_ = false;
};
}  // namespace

[[gnu::noinline, gnu::cold]] static void resume_user_tracing() {
  trace::resume_pending = false;
  tracing = trace::active;
  library_quiet = false;
}

// Entering a library block from user code or a user block from library code: the frames
// pushed inside are marked interpreted only in user code. The previous mask comes back when
// the block is left, errors included.
class interp_scope {
 public:
  explicit interp_scope(bool library) : saved_(stack::frame_mask) {
    stack::frame_mask = library ? ~stack::FLAG_INTERP : ~0u;
  }
  ~interp_scope() {
    stack::frame_mask = saved_;
    // Back in user code after `trace on` was asked for in library code.
    if (trace::resume_pending && saved_ == ~0u) [[unlikely]] resume_user_tracing();
  }
  interp_scope(const interp_scope&) = delete;
  interp_scope& operator=(const interp_scope&) = delete;
 private:
  u32 saved_;
};

void eval_block_plain(const cell* block_in, bool chain);

namespace internal {
VYR_HOT void eval_seq_plain(const cell* block) {
  cell* start = push_cell(block);
  u32 node = series::node(start), pos = series::index(start), tail = cells::length(node);
  if (pos + 1 >= tail) [[unlikely]] {  // one test for both shortcuts
    if (pos >= tail) {
      *start = cell{TYPE_UNSET, 0, 0, 0};
      return;
    }
    if (const cell* v = lone_value(node, pos)) {
      *start = *v;
      return;
    }
  }
  native_stack::check();
  memory::check_stamp(node);
  // The block's cell at `start` is this evaluation's own copy: it keeps the position.
  position_scope ps;
  position_ref = start;
  cell* first = start + 1;
  for (;;) {
    series::index(start) = pos;
    pos = seq_step(node, pos, tail, true);
    if (exit_pending()) return;
    tail = cells::length(node);  // the block may have been changed by what ran
    if (pos >= tail) break;
    stack::top = first;
  }
  *start = *first;
  stack::top = first;
}

// A block entered while tracing or while a library block holds tracing off (see
// library_scope), away from the hot path.
[[gnu::noinline, gnu::cold]] void eval_seq_library(const cell* block) {
  library_scope ls(series::node(block));
  if (tracing) {
    // A user block that library code evaluates for its caller is traced whole: its enter,
    // exit and expressions, as eval_block sends them. The result is pushed like a paren's.
    stack::push_frame_sym(body_symbol(), 0, stack::HEADER_INTERP_NATIVE);
    eval_block_plain(block, true);
    stack::leave();
    return;
  }
  eval_seq_plain(block);
}

void eval_seq(const cell* block);

// A block entered from code of the other kind (library or user), away from the hot path.
[[gnu::noinline, gnu::cold]] void eval_seq_crossing(const cell* block, bool library) {
  interp_scope is(library);
  eval_seq(block);
}

// True when a block with these buffer flags is of the other kind (library or user code)
// than the code running: its library flag equals the interpreted flag of the frame mask.
// One shift and one compare, as every block entry asks it.
VYR_HOT bool crossing(u32 flags) {
  static_assert(stack::FLAG_INTERP == 0x80000000u && SERIES_LIBRARY == 1u << 6);
  return static_cast<i32>((flags << 25) ^ stack::frame_mask) >= 0;
}

void eval_seq(const cell* block) {
  u32 flags = buffer_of(series::node(block))->flags;
  if (crossing(flags)) [[unlikely]]
    return eval_seq_crossing(block, (flags & SERIES_LIBRARY) != 0);
  if (tracing || library_quiet) [[unlikely]] return eval_seq_library(block);
  eval_seq_plain(block);
}

}  // namespace internal

// ---- Evaluation -------------------------------------------------------------------------------

void eval_block_plain(const cell* block_in, bool chain);
void eval_block(const cell* block_in, bool chain) {
  VYR_ASSERT(!pending);  // a pending exit returns through every level: nothing new runs
  VYR_ASSERT(series::block_like_q(type_of(block_in)));
  native_stack::check();
  bool library = (buffer_of(series::node(block_in))->flags & SERIES_LIBRARY) != 0;
  if (library == (stack::frame_mask == ~0u)) [[unlikely]] {
    interp_scope is(library);
    return eval_block(block_in, chain);
  }
  if (tracing || library_quiet) [[unlikely]] {
    library_scope ls(series::node(block_in));
    return eval_block_plain(block_in, chain);
  }
  eval_block_plain(block_in, chain);
}

void eval_block_plain(const cell* block_in, bool chain) {
  cell block = *block_in;
  u32 node = series::node(&block);
  u32 pos = series::index(&block);
  u32 tail = cells::length(node);
  // A block of one value that is its own result, or a word holding one (compose's parens,
  // say): nothing can fail or look at a frame, so with no events to send the value is left
  // as the frame would leave it, without one. Only while both stacks have room for the
  // frame and its value, so that an overflow is raised exactly where it was.
  if (pos + 1 == tail && !tracing && stack::frame_top < stack::frame_end &&
      stack::top + 1 < stack::push_limit) {
    if (const cell* v = lone_value(node, pos)) {
      cell* result = push_cell(v);
      if (chain) *stack::arguments = *result;
      return;
    }
  }
  memory::check_stamp(node);
  position_scope ps;
  cell at = block;
  stack::push_frame_sym(body_symbol(), 0, stack::HEADER_BLOCK);
  stack::frames[stack::frame_top - 1].block = node;
  if (tracing) [[unlikely]] trace_block(trace::EV_ENTER, &block, pos, nullptr);
  if (pos >= tail) {
    stack::set_last(cell{TYPE_UNSET, 0, 0, 0});
  } else {
    position_ref = &at;
    for (;;) {
      series::index(&at) = pos;
      pos = eval_next(node, pos, tail, 0);
      if (exit_pending()) break;
      tail = cells::length(node);  // the block may have been changed by what ran
      if (pos >= tail) break;
      stack::clear_args();
    }
  }
  if (tracing) [[unlikely]] trace_block(trace::EV_EXIT, &block, cells::length(node), stack::arguments);
  if (chain) stack::leave_return(); else stack::leave();
}

void eval_branch(const cell* block) {
  VYR_ASSERT(!pending);
  if (tracing) [[unlikely]] return eval_block(block, true);
  eval_seq(block);
  if (exit_pending()) return;
  stack::set_last(*(stack::top - 1));
}

u32 eval_one(u32 node, u32 pos, bool push) {
  VYR_ASSERT(!pending);
  u32 tail = cells::length(node);
  if (!tracing && !library_quiet && pos < tail) [[likely]] {
    // A value that takes no call to compute (reduce's commonest element): nothing can fail
    // or run code on the way, so it needs neither a frame nor a step of the evaluator.
    cell v;
    if (u32 after = simple_value(node, pos, tail, &v)) {
      if (push) *stack::push_slot() = v; else stack::set_last(v);
      return after;
    }
  }
  cell* start = stack::top;
  position_scope ps;
  cell at{TYPE_BLOCK, pos, node, 0};
  position_ref = &at;
  stack::push_frame_sym(body_symbol(), 0, stack::HEADER_INTERP_NATIVE);
  stack::frames[stack::frame_top - 1].block = node;
  pos = eval_next(node, pos, cells::length(node), 0);
  stack::leave();
  if (!push && !exit_pending()) {
    stack::set_last(*start);
  }
  return pos;
}

u32 eval_next(u32 node, u32 pos, u32 tail, u32 flags) {
  native_stack::check();
  cell* start = stack::top;
  cell v = *cells::get(node, pos);
  if (tracing) [[unlikely]] trace_at(trace::EV_FETCH, node, pos, nullptr, &v);
  pos++;
  switch (type_of(&v)) {
    case TYPE_WORD: {
      const cell* val = peek(&v);
      if (!val) [[unlikely]] val = _context::get(&v);
      u32 vt = type_of(val);
      if (callable(vt)) {
        cell f = *val;
        pos = dispatch_call(f, node, pos, tail, &v);
        if (exit_pending()) return pos;
      } else if (vt == TYPE_UNSET) {
        fire("script", "no-value", &v);
      } else if (vt == TYPE_OP) {
        fire("script", "no-op-arg", &v);
      } else {
        *stack::push_slot() = *val;
        if (tracing) [[unlikely]] trace_push(node, pos - 1, stack::top - 1);
      }
      break;
    }
    case TYPE_SET_WORD: {
      if (pos >= tail) fire("script", "need-value", &v);
      if (!tracing && !(flags & EVAL_TRIED_SIMPLE)) [[likely]] {
        // A value that takes no call to compute, going straight into its cell: nothing can
        // fail or run code on the way, so the set-word needs no frame of its own.
        cell value;
        u32 after = simple_value(node, pos, tail, &value);
        cell* slot = after ? settable(&v) : nullptr;
        if (slot) {
          *slot = value;
          *stack::push_slot() = value;
          pos = after;
          break;
        }
      }
      stack::push_frame(&v, stack::HEADER_INTERP_NATIVE);
      pos = eval_next(node, pos, tail, EVAL_PUSH);
      if (leave_on_exit()) return pos;
      store_set_word(node, pos, &v);
      break;
    }
    case TYPE_PAREN: {
      if (tracing) [[unlikely]] {
        stack::push_frame_sym(body_symbol(), 0, stack::HEADER_INTERP_NATIVE);
        eval_block(&v, true);
        stack::leave();
      } else {
        eval_seq(&v);
      }
      if (exit_pending()) return pos;
      break;
    }
    case TYPE_LIT_WORD:
      set_type(&v, TYPE_WORD);
      *stack::push_slot() = v;
      break;
    case TYPE_GET_WORD:
      *stack::push_slot() = *_context::get(&v);
      break;
    case TYPE_ISSUE: {
      u32 s = symbol::resolve(word::symbol_id(&v));
      if ((s == symbol::resolve(words::sym_system) || s == symbol::resolve(words::sym_system_global)) &&
          pos < tail && type_of(cells::get(node, pos)) == TYPE_BLOCK)
        fire("internal", "vyr-system");
      *stack::push_slot() = v;
      break;
    }
    case TYPE_NATIVE: case TYPE_ACTION: case TYPE_FUNCTION: case TYPE_ROUTINE:
      if (flags & EVAL_FETCH_ONLY) {
        *stack::push_slot() = v;
      } else {
        pos = call_function(&v, node, pos, tail, nullptr, nullptr, 0, false);
        if (exit_pending()) return pos;
      }
      break;
    case TYPE_OP:
      fire("internal", "not-done");
    case TYPE_PATH:
      pos = eval_path(&v, node, pos, tail, false, false, true);
      if (exit_pending()) return pos;
      break;
    case TYPE_LIT_PATH:
      v.header = TYPE_PATH | (v.header & ~HEADER_TYPE_MASK);
      v.data3 = 0;
      *stack::push_slot() = v;
      break;
    case TYPE_SET_PATH: {
      if (pos >= tail) fire("script", "need-value", &v);
      stack::push_frame(&words::word_set_path, stack::HEADER_INTERP_NATIVE);
      pos = eval_next(node, pos, tail, EVAL_PUSH);
      if (leave_on_exit()) return pos;
      if (tracing) [[unlikely]] trace_at(trace::EV_SET, node, pos, &v, stack::top - 1);
      eval_path(&v, node, pos, tail, true, false, true);
      *stack::arguments = *(stack::top - 1);
      stack::leave();
      break;
    }
    case TYPE_GET_PATH:
      pos = eval_path(&v, node, pos, tail, false, true, true);
      break;
    default:
      *stack::push_slot() = v;
      if (tracing) [[unlikely]] trace_push(node, pos - 1, &v);
  }
  if (!(flags & EVAL_NO_INFIX)) {
    pos = apply_infix(node, pos, tail, start);
    if (exit_pending()) return pos;
  }
  if (!(flags & EVAL_PUSH) && start != stack::arguments) {
    stack::set_last(*start);
  }
  if (tracing && !(flags & EVAL_PUSH)) [[unlikely]] trace_at(trace::EV_EXPR, node, pos, nullptr, stack::arguments);
  return pos;
}

// ---- Public entry points ----------------------------------------------------------------------

bool simple_block_value(const cell* block, cell* out) {
  VYR_ASSERT(series::block_like_q(type_of(block)));
  return simple_block_value_inline(block, out);
}

u32 simple_expression(u32 node, u32 pos, cell* out) {
  u32 tail = cells::length(node);
  if (tracing || library_quiet || pos >= tail) return 0;
  return simple_value(node, pos, tail, out);
}

void do_block(const cell* block, cell* result) {
  VYR_ASSERT(!pending);  // C++ callers never hold a pending exit (see interpreter.h)
  cell b = *block;
  collector::root_guard g(&b);
  stack::guard sg;
  // The outer frame belongs to the block's code: library code pushes no interpreted frame.
  interp_scope is((buffer_of(series::node(&b))->flags & SERIES_LIBRARY) != 0);
  stack::push_frame_sym(body_symbol(), 0, stack::HEADER_INTERP_NATIVE);
  struct frame_scope {
    u32 depth;
    ~frame_scope() { stack::unwind_frames(depth); }
  } fs{stack::frame_top - 1};
  eval_block(&b, true);
  raise_pending();
  *result = *stack::arguments;
}

void do_block_into_result(const cell* block) {
  VYR_ASSERT(!pending);
  cell b = *block;
  collector::root_guard g(&b);
  cell* result = stack::arguments;
  cell r;
  do_block(&b, &r);
  *result = r;
  stack::top = result + 1;
}


namespace {
error_builder_fn error_module_builder = nullptr;

// no-memory and stack-overflow are pre-built, as they must be raised without memory or
// stack to spare, but they still name the call
// it left, through the call's symbol alone (no allocation): a decoder filling its output
// names that native. The value is shared, and every raise clears what the last one wrote.
void name_call(const char* id, const cell* e) {
  if ((std::strcmp(id, "no-memory") != 0 && std::strcmp(id, "stack-overflow") != 0) ||
      stack::frame_top == 0)
    return;
  cell w = stack::current_call_name();
  error::set_where(e, &w);
}

// Errors are built where they are raised: the innermost call names their `where`.
void build_error(const char* category, const char* id, const cell* args, int argc, cell* out) {
  error_module_builder(category, id, args, argc, out);
  if (type_of(out) != TYPE_ERROR) return;
  // The other pre-built fatal errors are never changed.
  if (std::strcmp(category, "internal") == 0 && error::prebuilt(id)) {
    name_call(id, out);
    return;
  }
  if (stack::frame_top == 0) return;
  cell e = *out;
  collector::root_guard g(&e);
  cell w = stack::current_call_word();
  error::set_where(&e, &w);
}

prebuilt_error_fn error_module_prebuilt = nullptr;
const cell* prebuilt_named(const char* id) {
  const cell* e = error_module_prebuilt(id);
  if (e) name_call(id, e);
  return e;
}

// Outside any evaluation there is no position: the error's near stays none!.
const cell* near_position() {
  return position_ref;
}

// The Stack line of a report: the call words from the frame base up to `position`.
i32 call_words(i32 position, i32 max, cell* out, i32 budget) {
  i32 n = 0;
  u32 end = position < 0 ? 0 : std::min(u32(position), stack::frame_top);
  for (u32 i = 0; i < end && n < max; i++) {
    if (stack::marker_q(stack::frames[i].symbol)) continue;
    if (n++) budget = datatype::append_text(out, " ", budget);
    cell w = _context::add_global(stack::frames[i].symbol, false, false);
    collector::root_guard g(&w);
    budget = actions::form(&w, out, nullptr, budget);
  }
  return budget;
}

void mark_interpreter() {
  collector::mark_values(&pending_value, &pending_value + 1);
  if (position_ref) collector::mark_values(position_ref, position_ref + 1);
}
}  // namespace

void init() {
  static bool done = false;
  if (done) return;
  done = true;
  collector::register_callback(mark_interpreter);
  init_fast_ops();
  if (_context::global) {
    global_values = _context::values(_context::context_cell(_context::global));
    if (global_values) global_node = _context::global;
  }
  error::near_hook = near_position;
  error::call_words_hook = call_words;
  if (error_builder && error_builder != build_error) {
    error_module_builder = error_builder;
    error_builder = build_error;
  }
  if (prebuilt_error && prebuilt_error != prebuilt_named) {
    error_module_prebuilt = prebuilt_error;
    prebuilt_error = prebuilt_named;
  }
}

}  // namespace vyr::interpreter
