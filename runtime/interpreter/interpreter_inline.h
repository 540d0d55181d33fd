// The evaluator's internal header: the hot inline helpers shared by its three files
// (interpreter.cpp evaluates, calls.cpp calls and gathers arguments, paths.cpp walks paths)
// and the one call dispatch. Not for use outside runtime/interpreter/.
//
// Two protocols repeat through these files and are named here:
// - exit_pending() / leave_on_exit(): after anything that may run code, a pending exit
//   (see interpreter.h) makes every level return at once; a level that pushed a frame
//   leaves it first.
// - move_result(start): a prefix call pushes a copy of the function value at `start` and
//   its frame above it; the result, left in the frame's first cell (start + 1), moves down
//   over the copy and the stack is cut just above it. A value that becomes the innermost
//   frame's result goes there through stack::set_last.
#pragma once
#include "runtime/interpreter/interpreter.h"

#include "runtime/datatypes/context.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/cells.h"
#include "runtime/stack.h"
#include "runtime/interpreter/trace.h"
#include "runtime/interpreter/typecheck.h"
#include "runtime/word_tables.h"
#include <cstring>

// The hot paths are inlined whole in optimised builds. An unoptimised build (the sanitizer
// build) inlines nothing: there every inlined copy's locals would stay in its caller's
// machine-stack frame, and deep recursion would use up the machine stack (or the part a
// sanitizer can clear when an error unwinds it) before the frame stack fills.
#ifdef __OPTIMIZE__
#define VYR_HOT [[gnu::always_inline]] inline
#else
#define VYR_HOT inline
#endif

namespace vyr::interpreter::internal {

// eval_next flag of the sequence step: the set-word's value was found to need a call.
constexpr u32 EVAL_TRIED_SIMPLE = 8;
static_assert(!(EVAL_TRIED_SIMPLE & (EVAL_NO_INFIX | EVAL_PUSH | EVAL_FETCH_ONLY)));
constexpr u32 KIND_SHIFT = 20;
constexpr u32 ARG_NORMAL = 0, ARG_GET = 1, ARG_LIT = 2;
constexpr u32 MAX_REFINEMENTS = 32;
// Cache header flags: PLAIN when every fixed argument is a normal one (refinements may
// follow), with the number of fixed arguments in bits 8-15 (up to LEAN_MAX_ARGS).
constexpr u32 PLAIN = 1u << 31;
constexpr u32 FIXED_SHIFT = 8, FIXED_MASK = 0xFF;
inline u32 fixed_count(const cell* cache_header) {
  return (cache_header->header >> FIXED_SHIFT) & FIXED_MASK;
}

inline u32 body_symbol() { return word::symbol_id(&words::word_body); }
inline u32 anon_symbol() { return word::symbol_id(&words::word_anon); }

// ---- Exit and result protocols ----------------------------------------------------------
VYR_HOT bool exit_pending() { return pending != 0; }
// Leaves the innermost frame when an exit is pending and answers true.
VYR_HOT bool leave_on_exit() {
  if (!pending) [[likely]] return false;
  stack::leave();
  return true;
}
VYR_HOT void move_result(cell* start) {
  *start = *(start + 1);
  stack::top = start + 1;
}

// ---- Trace event sites --------------------------------------------------------------------
// Called only while `tracing` is set; each site in the evaluator is one test of that flag.
void trace_at(u32 bit, u32 node, u32 pos, const cell* ref, const cell* v);
void trace_push(u32 node, u32 pos, const cell* v);
void trace_block(u32 bit, const cell* block, u32 pos, const cell* v);
void trace_call(u32 bit, const cell* name, const cell* v);
// A loop's pass while tracing (see run_pass): the block's enter event, each expression
// through eval_next, the exit event with the result.
void run_pass_traced(cell* at);

// Restores the current-position cell on every exit.
struct position_scope {
  const cell* saved;
  position_scope() : saved(position_ref) {}
  ~position_scope() { position_ref = saved; }
};

// ---- Buffers and words ----------------------------------------------------------------------
// Buffer look-ups for the hot paths, given the arena's base in a local: the base never
// changes once the arena is reserved, and a local copy spares the reload the compiler must
// otherwise do after every store (the build lets any pointer alias a global). A cell
// pointer got this way is good only until the next thing that may allocate or run code
// (a collection compacts, a grow moves, code may change the block): re-resolve after it.
VYR_HOT series_buffer* buffer_in(char* base, u32 node) {
  return reinterpret_cast<series_buffer*>(base + *reinterpret_cast<const u32*>(base + node));
}
VYR_HOT cell* cells_in(char* base, u32 node) {
  return reinterpret_cast<cell*>(base + buffer_in(base, node)->offset);
}

// Pushes a copy of the value, moved as one 16-byte unit: the copy the compiler makes of a
// cell read field by field costs several instructions more, on every call and argument.
VYR_HOT cell* push_cell(const cell* value) {
  if (stack::top + 1 >= stack::push_limit) [[unlikely]] stack::overflow();
  cell v;
  std::memcpy(&v, value, sizeof v);
  cell* c = stack::top++;
  std::memcpy(c, &v, sizeof v);
  return c;
}

// The global context's values series: most words a program uses are bound there, and
// neither node changes for the life of the runtime (nodes never move), so a word of that
// context goes straight to the values.
extern u32 global_values;
// The global context's node once global_values is known, else a value no node takes: one
// comparison tells a word of that context.
extern u32 global_node;

// The value of a word when its context can answer without an error, else null: the infix
// look-ahead must never raise for a word that is not an operator.
VYR_HOT const cell* peek(const cell* w) {
  u32 ctx = word::context(w), index = word::index(w);
  char* const base = arena::base;
  // (An index of NO_INDEX fails the bound checks below.)
  if (ctx == global_node) {
    const series_buffer* b = buffer_in(base, global_values);
    if (index >= (b->used_bytes() >> 4)) return nullptr;
    return reinterpret_cast<const cell*>(base + b->offset) + index;
  }
  if (!ctx) return nullptr;
  const cell* cc = cells_in(base, ctx);
  if (cc->header & _context::ON_STACK) {
    u32 ref = _context::values(cc);
    if (!ref || ref > stack::frame_top) return nullptr;
    const stack::frame& f = stack::frames[ref - 1];
    if (index >= stack::slot_count(f)) return nullptr;
    return stack::base + f.own_args + index;
  }
  const series_buffer* b = buffer_in(base, _context::values(cc));
  if (index >= (b->used_bytes() >> 4)) return nullptr;
  return reinterpret_cast<const cell*>(base + b->offset) + index;
}

// Values that evaluate to themselves (no word, path, paren, function or issue).
constexpr u64 ACTIVE_TYPES =
    typecheck::bit(TYPE_WORD) | typecheck::bit(TYPE_SET_WORD) | typecheck::bit(TYPE_LIT_WORD) |
    typecheck::bit(TYPE_GET_WORD) | typecheck::bit(TYPE_ISSUE) | typecheck::bit(TYPE_PAREN) |
    typecheck::bit(TYPE_PATH) | typecheck::bit(TYPE_LIT_PATH) | typecheck::bit(TYPE_SET_PATH) |
    typecheck::bit(TYPE_GET_PATH) | typecheck::bit(TYPE_NATIVE) | typecheck::bit(TYPE_ACTION) |
    typecheck::bit(TYPE_OP) | typecheck::bit(TYPE_FUNCTION) | typecheck::bit(TYPE_ROUTINE) |
    typecheck::bit(TYPE_UNSET);
static_assert(TYPE_TOTAL_COUNT <= 64);
inline bool inert(u32 t) { return !((ACTIVE_TYPES >> (t & 63)) & 1); }

VYR_HOT bool op_word(const cell* c) {
  if (type_of(c) != TYPE_WORD) return false;
  const cell* v = peek(c);
  return v && type_of(v) == TYPE_OP;
}

inline bool callable(u32 t) {
  return t == TYPE_NATIVE || t == TYPE_ACTION || t == TYPE_FUNCTION || t == TYPE_ROUTINE;
}

// ---- Built-in operators done in place ---------------------------------------------------------
// `+ - *` and the comparisons of an integer! with an integer!, and of a float! with a float!
// or an integer!, are done in place, without a call frame: the result is what the action
// or native would answer. Anything else (another type, an integer overflow that turns the
// result into a float!, tracing on) takes the full call.
enum : u8 { FAST_NONE, FAST_ADD, FAST_SUBTRACT, FAST_MULTIPLY, FAST_EQUAL, FAST_NOT_EQUAL,
            FAST_LESSER, FAST_LESSER_OR_EQUAL, FAST_GREATER, FAST_GREATER_OR_EQUAL,
            FAST_STRICT_EQUAL, FAST_SAME };
constexpr u32 FAST_NATIVES = 256;
extern u8 fast_native[FAST_NATIVES];
extern u8 fast_action[ACTION_COUNT + 1];
// The refinement table of a call that gives none.
extern const i32 no_refinements[MAX_REFINEMENTS];
// The natives whose chosen branch the conditional call runs itself, in their own frame.
extern u32 if_index, unless_index, either_index;
void init_fast_ops();

// The fast code of an op! value, or FAST_NONE.
VYR_HOT u32 fast_op(const cell* op_value) {
  u32 w = op::wrapped_type(op_value), i = native::table_index(op_value);
  if (w == TYPE_ACTION) return i <= ACTION_COUNT ? u32(fast_action[i]) : u32(FAST_NONE);
  if (w == TYPE_NATIVE) return i < FAST_NATIVES ? u32(fast_native[i]) : u32(FAST_NONE);
  return FAST_NONE;
}

// The float! operators: `left` is a float!, `r` an integer! or a float!. Equality is the
// tolerant one of equal?, strict-equal? wants the same type and value (same? is left to its
// native); every ordering test with NaN is false, as IEEE has it.
[[gnu::noinline]] bool float_fast(u32 code, cell* left, const cell* r);

// Applies the operator to the number at `left` (an integer! or a float!) and the operand
// cell (a number or a word holding one), writing the result over `left`. False when it
// cannot be done here.
VYR_HOT bool number_fast(u32 code, cell* left, const cell* operand) {
  u32 lt = type_of(left);
  if (lt != TYPE_INTEGER && lt != TYPE_FLOAT) [[unlikely]] return false;
  const cell* r = operand;
  if (type_of(r) == TYPE_WORD) {
    r = peek(r);
    if (!r) return false;
  }
  if (lt != TYPE_INTEGER || type_of(r) != TYPE_INTEGER) [[unlikely]] {
    if (lt != TYPE_FLOAT || (type_of(r) != TYPE_FLOAT && type_of(r) != TYPE_INTEGER))
      return false;
    return float_fast(code, left, r);
  }
  i64 a = integer::get(left), b = integer::get(r), v;
  bool logic = true;
  switch (code) {
    case FAST_ADD: v = a + b; logic = false; break;
    case FAST_SUBTRACT: v = a - b; logic = false; break;
    case FAST_MULTIPLY: v = a * b; logic = false; break;
    case FAST_EQUAL: case FAST_STRICT_EQUAL: case FAST_SAME: v = a == b; break;
    case FAST_NOT_EQUAL: v = a != b; break;
    case FAST_LESSER: v = a < b; break;
    case FAST_LESSER_OR_EQUAL: v = a <= b; break;
    case FAST_GREATER: v = a > b; break;
    default: v = a >= b; break;
  }
  if (logic) {
    *left = cell{TYPE_LOGIC, u32(v), 0, 0};
    return true;
  }
  if (v < INT32_MIN || v > INT32_MAX) return false;
  integer::set(left, i32(v));
  return true;
}

// An infix call of a fast-coded operator whose left operand at `start` is a number (an
// integer!, float! or money!) and whose right operand needs evaluating (calls.cpp).
u32 number_op_call(cell op_value, cell op_word, u32 code, u32 node, u32 pos, u32 tail,
                    cell* start);

// The rest of the call of an operator (the function it wraps) on a paren operand that is
// not done in place (calls.cpp).
void paren_operand_call(const cell& fn, cell* operand);
void eval_seq(const cell* block);

// An operator's paren operand evaluated in the operator's frame (`fn` the function it wraps,
// named by `name`), pushed over the left operand at `start`: the left operand is known to be
// accepted, and a number result needs neither the right operand's check nor the entry call.
// The result is left at `start`. May return with an exit pending.
VYR_HOT void paren_operand(u32 code, const cell& fn, const cell* name, const cell* paren,
                           cell* start) {
  stack::top = start;
  stack::push_frame_sym(word::symbol_id(name), word::context(name), stack::HEADER_INTERP_NATIVE,
                        function::more(&fn));
  stack::top++;
  eval_seq(paren);  // copied at once, before anything can move it
  if (leave_on_exit()) [[unlikely]] return;
  // A word the paren answers is the operand itself, never a word to look up.
  cell* operand = stack::top - 1;
  if (type_of(operand) == TYPE_WORD || !number_fast(code, start, operand))
    paren_operand_call(fn, operand);
  stack::leave();
}

// The block's tail as the caller last saw it, or its length now when code that ran since
// has shortened it: a position past what is left is never read (the cells there are stale).
VYR_HOT u32 live_tail(u32 node, u32 tail) {
  u32 n = cells::length(node);
  return n < tail ? n : tail;
}

// The infix look-ahead after an expression whose value sits at `start`: applies each
// operator that follows, left to right, the result staying at `start`. May return with an
// exit pending. `fresh` says that nothing has run since `tail` was read from the block;
// otherwise what ran may have shortened it, and only what is left is read.
// `own_paren` has a paren operand's frame and evaluation done here rather than in
// number_op_call: only eval_seq's step asks it, where fib-like code spends its time; every
// other copy stays small, for the loops it is inlined in.
VYR_HOT u32 apply_infix(u32 node, u32 pos, u32 tail, cell* start, bool fresh = false,
                        bool own_paren = false) {
  while (pos < tail) {
    const series_buffer* b = buffer_in(arena::base, node);
    if (!fresh) {
      if (u32 len = b->used_bytes() >> 4; len < tail) {
        tail = len;
        if (pos >= tail) break;
      }
    }
    const cell* nx = b->cells() + pos;
    if (type_of(nx) != TYPE_WORD) break;
    const cell* val = peek(nx);
    if (!val || type_of(val) != TYPE_OP) break;
    if (!tracing && (type_of(start) == TYPE_INTEGER || type_of(start) == TYPE_FLOAT ||
                     type_of(start) == TYPE_MONEY)) [[likely]] {
      u32 code = fast_op(val);
      if (code && pos + 1 < tail) {
        if (own_paren && type_of(nx + 1) == TYPE_PAREN) {
          cell op_value = *val;
          op_value.header = op::wrapped_type(&op_value);
          paren_operand(code, op_value, nx, nx + 1, start);
          pos += 2;
          if (exit_pending()) [[unlikely]] return pos;
          fresh = false;
          continue;
        }
        if (number_fast(code, start, nx + 1)) {
          stack::top = start + 1;
          pos += 2;
          continue;
        }
        // An operand that needs evaluating (a paren, a path...): the operator's frame is
        // still pushed around it, but a number result needs no entry call.
        stack::top = start;
        pos = number_op_call(*val, *nx, code, node, pos + 1, tail, start);
        if (exit_pending()) return pos;
        fresh = false;
        continue;
      }
    }
    // Copied first: the trace callback may collect and move the block and the values.
    cell op_value = *val;
    cell op_word = *nx;
    if (tracing) [[unlikely]] trace_at(trace::EV_FETCH, node, pos, nullptr, &op_word);
    op_value.header = op::wrapped_type(&op_value);
    stack::top = start;
    pos = call_function(&op_value, node, pos + 1, tail, &op_word, nullptr, 0, true);
    if (exit_pending()) return pos;
    fresh = false;
  }
  return pos;
}

// ---- The one call dispatch ------------------------------------------------------------------
// Every prefix call the evaluator makes is decided here, once: a built-in conditional with
// its branches read in place, the lean call (plain fixed arguments; an action's arguments
// that need no evaluation are taken as they are), or the general call (refinements from
// a path, get- and lit-arguments, routines, tracing, the first call of a function whose
// argument cache is not built yet).

// A typeset's map read as one 64-bit word: the bit of type t sits at t ^ 7 (map byte t / 8
// under 0x80 >> t % 8, bytes in memory order).
inline u64 map_word(const cell* ts) {
  u64 m;
  std::memcpy(&m, typeset::map(ts), sizeof m);
  return m;
}
inline bool map_accepts(u64 map, u32 type) { return type < 64 && ((map >> (type ^ 7)) & 1); }

constexpr u32 LEAN_MAX_ARGS = 8;

// The lean call's cache when it applies to this call (a prefix call with no refinement
// path of a function whose fixed arguments are all normal ones, at most LEAN_MAX_ARGS of
// them), else 0.
inline u32 lean_cache(const cell& fn) {
  u32 t = type_of(&fn);
  if (t != TYPE_FUNCTION && t != TYPE_NATIVE && t != TYPE_ACTION && t != TYPE_ROUTINE) return 0;
  const cell* slot = cells::get(function::more(&fn), function::MORE_CACHE);
  if (type_of(slot) != TYPE_BLOCK) [[unlikely]] return 0;
  u32 cache = series::node(slot);
  if (!(cells::get(cache, 0)->header & PLAIN)) return 0;
  return cache;
}

// if, unless, either: the conditionals are the commonest calls of all, and their branches
// nearly always follow as literal blocks. Every native made for these entries takes the
// built-in arguments (any condition, block! branches): make refuses others.
constexpr u32 COND_IF = 1, COND_UNLESS = 2, COND_EITHER = 3;

// The conditional kind of a native value, or 0.
VYR_HOT u32 conditional_kind(const cell* v) {
  u32 i = native::table_index(v);
  if (i == either_index) return COND_EITHER;
  if (i == if_index) return COND_IF;
  if (i == unless_index) return COND_UNLESS;
  return 0;
}

// The call paths (calls.cpp); call_action is the lean call of an action, which takes
// the arguments that need no evaluation as they are. Each takes the function value, the source block's node
// with the position of the first argument and the tail, and the word that names the call
// (or null; the general call also takes any other value there), which may point into that
// block: they read it before anything can move it.
u32 call_lean(const cell& fn, u32 cache, u32 node, u32 pos, u32 tail, const cell* name);
u32 call_action(const cell& fn, u32 cache, u32 node, u32 pos, u32 tail, const cell* name);
u32 call_general(cell fn, u32 node, u32 pos, u32 tail, const cell* name, const cell* path,
                 u32 path_from, bool infix);

// The conditional's call with its branch chosen: its frame, the condition, the branch.
void call_chosen(const cell& fn, const cell* name, const cell& cond, const cell* branch);
// Any other call of a conditional; `after` is what simple_value answered for its condition
// (held in `cond`), 0 when the condition is of another shape.
u32 call_conditional(const cell& fn, u32 kind, u32 node, u32 pos, u32 tail, const cell* name,
                     u32 after, const cell& cond);

// A call of a built-in conditional (defined below, after the helpers it uses).
VYR_HOT u32 conditional_call(const cell& fn, u32 kind, u32 node, u32 pos, u32 tail,
                             const cell* name);
// The same, not inlined (calls.cpp).
u32 conditional_entry(const cell& fn, u32 kind, u32 node, u32 pos, u32 tail, const cell* name);

// A prefix call with no refinement path. Answers the position after the arguments, the
// result pushed; may return with an exit pending.
// `own_conditional` has a conditional's branch chosen here rather than in a call (see
// apply_infix's `own_paren`).
VYR_HOT u32 dispatch_call(const cell& fn, u32 node, u32 pos, u32 tail,
                          const cell* name, bool own_conditional = false) {
  if (!tracing) [[likely]] {
    if (type_of(&fn) == TYPE_NATIVE) {
      if (u32 kind = conditional_kind(&fn)) {
        if (own_conditional) return conditional_call(fn, kind, node, pos, tail, name);
        return conditional_entry(fn, kind, node, pos, tail, name);
      }
    }
    if (u32 cache = lean_cache(fn)) [[likely]] {
      if (type_of(&fn) == TYPE_ACTION) return call_action(fn, cache, node, pos, tail, name);
      return call_lean(fn, cache, node, pos, tail, name);
    }
  }
  return call_general(fn, node, pos, tail, name, nullptr, 0, false);
}

// The value cell a set-word may write directly: a bound word of a function's running call
// or of a context that is no object (objects notify and mark changed fields). Else null.
inline cell* settable(const cell* w) {
  u32 ctx = word::context(w);
  if (!ctx || word::index(w) == word::NO_INDEX) return nullptr;
  const cell* cc = _context::context_cell(ctx);
  if (cc->header & _context::ON_STACK) {
    u32 ref = _context::values(cc);
    if (!ref || ref > stack::frame_top) return nullptr;
    const stack::frame& f = stack::frames[ref - 1];
    if (word::index(w) >= stack::slot_count(f)) return nullptr;
    return stack::base + f.own_args + word::index(w);
  }
  if (((cc->header & _context::KIND_MASK) >> _context::KIND_SHIFT) == _context::KIND_OBJECT)
    return nullptr;
  if (word::index(w) >= cells::length(_context::values(cc))) return nullptr;
  return cells::unstamped_at(_context::values(cc), word::index(w));
}

// The value of the expression at `pos` when it needs no call: an inert value, or a word
// holding one, followed only by built-in operators done in place on numbers (see
// number_fast) whose operands are the same (and no other operator). Answers the position
// after it, or 0 when the expression is not of that shape; nothing is changed either way,
// so the caller can evaluate it in full.
VYR_HOT u32 simple_value(u32 node, u32 pos, u32 tail, cell* out) {
  const cell* c = cells::get(node, pos);
  const cell* v = c;
  if (!inert(type_of(c))) {
    if (type_of(c) != TYPE_WORD) return 0;
    v = peek(c);
    if (!v || !inert(type_of(v))) return 0;
  }
  cell acc = *v;
  const cell* nx = c + 1;
  for (pos++; pos < tail; pos += 2, nx += 2) {
    if (type_of(nx) != TYPE_WORD) break;
    const cell* op = peek(nx);
    if (!op || type_of(op) != TYPE_OP) break;
    if ((type_of(&acc) != TYPE_INTEGER && type_of(&acc) != TYPE_FLOAT) || pos + 1 >= tail)
      return 0;
    u32 code = fast_op(op);
    if (!code || !number_fast(code, &acc, nx + 1)) return 0;
  }
  *out = acc;
  return pos;
}

// The value of a block whose one value (at `pos`) is its own result or a word holding one,
// else null: nothing can follow it and nothing can fail, so it needs no evaluation step.
VYR_HOT const cell* lone_value(u32 node, u32 pos) {
  const cell* c = cells::get(node, pos);
  if (inert(type_of(c))) return c;
  if (type_of(c) == TYPE_WORD) {
    const cell* v = peek(c);
    if (v && inert(type_of(v))) return v;
  }
  return nullptr;
}

// The cells at `pos` are the conditional's `nblocks` branches as literal blocks, with no
// operator after them (it would take the last one as its left operand).
VYR_HOT bool literal_branches(u32 node, u32 pos, u32 tail, u32 nblocks) {
  const cell* blocks = cells::get(node, pos);
  return pos + nblocks <= tail && type_of(blocks) == TYPE_BLOCK &&
         (nblocks == 1 || type_of(blocks + 1) == TYPE_BLOCK) &&
         (pos + nblocks == tail || !op_word(blocks + nblocks));
}

// A call of a built-in conditional (see conditional_kind). A condition that takes no call
// to compute (simple_value) cannot fail or run code, so the frame is pushed only once it is
// known: when the branch it picks is a lone value (or there is none), nothing can fail or
// look at the frame, and the call needs none. The frame is skipped only while both stacks
// have room for it, so that an overflow is raised exactly where the framed call raises it.
VYR_HOT u32 conditional_call(const cell& fn, u32 kind, u32 node, u32 pos, u32 tail,
                             const cell* name) {
  u32 nblocks = kind == COND_EITHER ? 2 : 1;
  cell cond;
  u32 after = pos < tail ? simple_value(node, pos, tail, &cond) : 0;
  if (after && literal_branches(node, after, tail, nblocks) &&
      stack::frame_top < stack::frame_end && stack::top + 1 < stack::push_limit) [[likely]] {
    bool falsy = type_of(&cond) == TYPE_NONE ||
                 (type_of(&cond) == TYPE_LOGIC && logic::get(&cond) == 0);
    const cell* branch = cells::get(node, after);
    if (kind == COND_EITHER) {
      if (falsy) branch++;
    } else if (falsy != (kind == COND_UNLESS)) {
      const cell none{TYPE_NONE, 0, 0, 0};
      push_cell(&none);
      return after + nblocks;
    }
    u32 bnode = series::node(branch), bpos = series::index(branch);
    if (bpos + 1 == cells::length(bnode)) {
      if (const cell* v = lone_value(bnode, bpos)) {
        push_cell(v);
        return after + nblocks;
      }
    }
    call_chosen(fn, name, cond, branch);
    return after + nblocks;
  }
  return call_conditional(fn, kind, node, pos, tail, name, after, cond);
}

// Evaluates the expressions of a block value in the innermost frame, with no frame of its
// own: marker frames name nothing a report shows, so a paren, a function body or a branch
// of `if`/`either` needs none. The block is kept at `start` (the data-stack top on entry,
// a root while it runs) and each value is pushed just above it; the last value (unset! for
// an empty block) ends at `start`, top just past it. May return with an exit pending. Not
// used while tracing: eval_block sends the block's enter and exit events.
void eval_seq(const cell* block);

// eval_next's set-word case (with EVAL_PUSH) for a value that simple_value found to need a
// call, the value's own step taken by seq_step (interpreter.cpp). Not while tracing.
u32 set_word_step(u32 node, u32 pos, u32 tail);

// One expression, pushed: eval_next with EVAL_PUSH, its commonest cases (a paren, a word
// naming a function, a set-word of a value that takes no call) entered without its step.
// The step of eval_seq, the loop passes and argument gathering.
// `own` is eval_seq's: there a conditional's branch and an operator's paren operand are
// taken in place (see dispatch_call and apply_infix).
VYR_HOT u32 seq_step(u32 node, u32 pos, u32 tail, bool own = false) {
  if (!tracing) [[likely]] {
    const cell* c = cells::get(node, pos);
    u32 ct = type_of(c);
    cell* start = stack::top;
    if (ct == TYPE_PAREN) {
      cell v = *c;
      eval_seq(&v);
      if (exit_pending()) return pos + 1;
      return apply_infix(node, pos + 1, tail, start, false, own);
    }
    if (ct == TYPE_WORD) {
      const cell* val = peek(c);
      if (val && callable(type_of(val))) {
        // The calls read their name word before anything can move the block, so it is
        // passed in place; the function value is copied, as it is used throughout.
        cell f = *val;
        pos = dispatch_call(f, node, pos + 1, tail, c, own);
        if (exit_pending()) return pos;
        return apply_infix(node, pos, tail, start, false, own);
      }
    } else if (ct == TYPE_SET_WORD && pos + 1 < tail) {
      // eval_next's set-word case for a value that takes no call to compute (no operator
      // can follow it: simple_value took them all).
      cell value;
      u32 after = simple_value(node, pos + 1, tail, &value);
      cell* slot = after ? settable(c) : nullptr;
      if (slot) {
        *slot = value;
        *stack::push_slot() = value;
        return after;
      }
      return set_word_step(node, pos, tail);
    }
  }
  return eval_next(node, pos, tail, EVAL_PUSH);
}


}  // namespace vyr::interpreter::internal
