// The evaluator, function calls and argument gathering. Hot paths: word lookup (one indexed
// load through the word's binding), argument gathering (a walk of the argument cache built
// once per function value) and dispatch (one table load). Nothing here allocates per call.
#include "runtime/interpreter/interpreter.h"
#include "runtime/interpreter/native_stack.h"

#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/logic.h"
#include <algorithm>
#include <cstring>
#include <new>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/error.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/interpreter/actions.h"
#include "runtime/interpreter/cells.h"
#include "runtime/natives/natives.h"
#include "runtime/interpreter/stack.h"
#include "runtime/interpreter/trace.h"
#include "runtime/interpreter/typecheck.h"
#include "runtime/word_tables.h"

namespace vyr::interpreter {

u32 pending = 0;
u32 pending_target = 0;
cell pending_value{TYPE_UNSET, 0, 0, 0};
const cell* position_ref = nullptr;
bool tracing = false;
bool library_quiet = false;
load_fn load_hook = nullptr;
do_file_fn do_file_hook = nullptr;

namespace {
constexpr u32 KIND_SHIFT = 20;
constexpr u32 ARG_NORMAL = 0, ARG_GET = 1, ARG_LIT = 2;
constexpr u32 MAX_REFINEMENTS = 32;
constexpr u32 SIMPLE = 1u << 31;  // cache header: only normal arguments, no refinements

inline u32 body_symbol() { return words::word_body.data2; }

// A C++ container of the runtime that cannot grow inside a native or action is the
// language's no-memory error, raised from that call like any other: the session goes on.
[[gnu::always_inline]] inline void call_native(u32 id, const i32* refs) {
  try {
    natives::entry(id)(false, refs);
  } catch (const std::bad_alloc&) {
    fire_no_memory();
  }
}
[[gnu::always_inline]] inline void call_action(u32 id, const i32* refs) {
  try {
    actions::entry(id)(refs);
  } catch (const std::bad_alloc&) {
    fire_no_memory();
  }
}

// ---- Trace event sites ----------------------------------------------------------------------
// Called only while `tracing` is set; each site in the evaluator is one test of that flag.
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
[[gnu::noinline, gnu::cold]] void trace_call(u32 bit, const cell* name, const cell* v) {
  trace::event(bit, nullptr, 0, name, v);
}
inline u32 anon_symbol() { return words::word_anon.data2; }

// Buffer look-ups for the hot paths, given the arena's base in a local: the base never
// changes once the arena is reserved, and a local copy spares the reload the compiler must
// otherwise do after every store (the build lets any pointer alias a global). A cell
// pointer got this way is good only until the next thing that may allocate or run code
// (a collection compacts, a grow moves, code may change the block): re-resolve after it.
[[gnu::always_inline]] inline series_buffer* buffer_in(char* base, u32 node) {
  return reinterpret_cast<series_buffer*>(base + *reinterpret_cast<const u32*>(base + node));
}
[[gnu::always_inline]] inline cell* cells_in(char* base, u32 node) {
  return reinterpret_cast<cell*>(base + buffer_in(base, node)->offset);
}
[[gnu::always_inline]] inline u32 length_in(char* base, u32 node) {
  return buffer_in(base, node)->used_bytes() >> 4;
}

// The value of a word when its context can answer without an error, else null: the infix
// look-ahead must never raise for a word that is not an operator.
// The global context's values series: most words a program uses are bound there, and
// neither node changes for the life of the runtime (nodes never move), so a word of that
// context goes straight to the values.
u32 global_values = 0;

[[gnu::always_inline]] inline const cell* peek(const cell* w) {
  u32 ctx = w->data1, index = w->data3;
  char* const base = arena::base;
  // (An index of NO_INDEX fails the bound checks below.)
  if (ctx == _context::global && global_values) {
    const series_buffer* b = buffer_in(base, global_values);
    if (index >= (b->used_bytes() >> 4)) return nullptr;
    return reinterpret_cast<const cell*>(base + b->offset) + index;
  }
  if (!ctx) return nullptr;
  const cell* cc = cells_in(base, ctx);
  if (cc->header & _context::ON_STACK) {
    u32 ref = cc->data2;
    if (!ref || ref > stack::frame_top) return nullptr;
    const stack::frame& f = stack::frames[ref - 1];
    if (index >= f.count) return nullptr;
    return stack::base + f.own_args + index;
  }
  const series_buffer* b = buffer_in(base, cc->data2);
  if (index >= (b->used_bytes() >> 4)) return nullptr;
  return reinterpret_cast<const cell*>(base + b->offset) + index;
}

// The value cell a set-word may write directly: a bound word of a function's running call
// or of a context that is no object (objects notify and mark changed fields). Else null.
inline cell* settable(const cell* w) {
  u32 ctx = w->data1;
  if (!ctx || w->data3 == word::NO_INDEX) return nullptr;
  const cell* cc = _context::context_cell(ctx);
  if (cc->header & _context::ON_STACK) {
    u32 ref = cc->data2;
    if (!ref || ref > stack::frame_top) return nullptr;
    const stack::frame& f = stack::frames[ref - 1];
    if (w->data3 >= f.count) return nullptr;
    return stack::base + f.own_args + w->data3;
  }
  if (((cc->header & _context::KIND_MASK) >> _context::KIND_SHIFT) == _context::KIND_OBJECT)
    return nullptr;
  if (w->data3 >= cells::length(cc->data2)) return nullptr;
  return cells::at(cc->data2, w->data3);
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

inline bool op_word(const cell* c) {
  if (type_of(c) != TYPE_WORD) return false;
  const cell* v = peek(c);
  return v && type_of(v) == TYPE_OP;
}

inline bool callable(u32 t) {
  return t == TYPE_NATIVE || t == TYPE_ACTION || t == TYPE_FUNCTION || t == TYPE_ROUTINE;
}

cell arg_word(u32 symbol) { return _context::add_global(symbol, false, false); }


[[noreturn]] void no_arg(u32 arg_symbol) {
  cell fn = stack::current_call_word();
  cell arg = arg_word(arg_symbol);
  fire("script", "no-arg", &fn, &arg);
}

// Restores the current-position cell on every exit.
struct position_scope {
  const cell* saved;
  position_scope() : saved(position_ref) {}
  ~position_scope() { position_ref = saved; }
};

// Evaluates the expressions of a block value in the innermost frame, with no frame of its
// own: marker frames name nothing a report shows, so a paren, a function body or a branch
// of `if`/`either` needs none. The block is kept at `start` (the data-stack top on entry,
// a root while it runs) and each value is pushed just above it; the last value (unset! for
// an empty block) ends at `start`, top just past it. May return with an exit pending. Not
// used while tracing: eval_block sends the block's enter and exit events.
void eval_seq(const cell* block);

// ---- The argument cache -------------------------------------------------------------------
// A block: [0] integer! (word 1 slot count, word 2 refinement count, word 3 local count),
// then one typeset! per argument (kind in header bits 20-21, mask in words 1-2, the
// argument's symbol in word 3) and one refinement! per refinement (symbol in word 2, its
// number in word 3), in declared order. `return:` and /local are not listed.

u64 mask_of_types(const cell* types) {
  u64 mask = 0;
  for (u32 i = types->data1; i < cells::length(types->data2); i++) {
    const cell* item = cells::at(types->data2, i);
    u64 bits = typecheck::bits_of(item);
    if (!bits && type_of(item) == TYPE_WORD) {
      const cell* v = peek(item);
      if (v) bits = typecheck::bits_of(v);
    }
    mask |= bits;
  }
  return mask;
}

u32 build_cache(const cell* fn) {
  cell f = *fn;
  collector::root_guard g(&f);
  u32 spec = f.data2;
  u32 cache = memory::alloc_cells(8);
  collector::node_guard cg(&cache);
  cell header{TYPE_INTEGER, 0, 0, 0};
  cells::append(cache, &header);
  bool is_fn = type_of(&f) == TYPE_FUNCTION || type_of(&f) == TYPE_ROUTINE ||
               (type_of(&f) == TYPE_OP && (op::wrapped_type(&f) == TYPE_FUNCTION ||
                                           op::wrapped_type(&f) == TYPE_ROUTINE));
  u32 slots = 0, refs = 0, locals = 0;
  u32 n = cells::length(spec);
  u32 i = 0;
  if (i < n && type_of(cells::at(spec, i)) == TYPE_BLOCK) i++;  // attributes
  for (; i < n; i++) {
    cell c = *cells::at(spec, i);
    u32 t = type_of(&c);
    if (t == TYPE_WORD || t == TYPE_GET_WORD || t == TYPE_LIT_WORD) {
      u32 kind = t == TYPE_WORD ? ARG_NORMAL : t == TYPE_GET_WORD ? ARG_GET : ARG_LIT;
      u64 mask = typecheck::ALL_TYPES & ~typecheck::bit(TYPE_UNSET);
      if (i + 1 < n && type_of(cells::at(spec, i + 1)) == TYPE_BLOCK) {
        cell types = *cells::at(spec, i + 1);
        if (cells::remaining(&types) > 0) mask = mask_of_types(&types);
        i++;
      }
      cell e{TYPE_TYPESET | (kind << KIND_SHIFT), 0, 0, c.data2};
      typecheck::set_mask(&e, mask);
      cells::append(cache, &e);
      slots++;
    } else if (t == TYPE_SET_WORD) {
      if (!symbol::same_q(c.data2, words::sym_return)) {
        fire("script", "bad-func-def", &c);
      }
      if (i + 1 < n && type_of(cells::at(spec, i + 1)) == TYPE_BLOCK) i++;
    } else if (t == TYPE_REFINEMENT) {
      if (symbol::same_q(c.data2, words::ref_local.data2)) {
        if (is_fn) locals = u32(function::count_locals(spec, i, false));
        slots += locals;
        break;
      }
      refs++;
      cell e{TYPE_REFINEMENT, 0, c.data2, refs};
      cells::append(cache, &e);
      slots++;
    }
  }
  if (refs > MAX_REFINEMENTS) fire("script", "bad-func-def", &f);
  bool simple = refs == 0;
  for (u32 k = 1; k < cells::length(cache); k++) {
    const cell* e = cells::at(cache, k);
    if (type_of(e) != TYPE_TYPESET || ((e->header >> KIND_SHIFT) & 3) != ARG_NORMAL) simple = false;
  }
  cell* h = cells::at(cache, 0);
  if (simple) h->header |= SIMPLE;
  h->data1 = slots;
  h->data2 = refs;
  h->data3 = locals;
  return cache;
}
}  // namespace

namespace {
[[gnu::noinline]] u32 cache_spec_slow(const cell* fn) {
  cell f = *fn;
  collector::root_guard g(&f);
  u32 cache = build_cache(&f);
  *cells::at(f.data3, function::MORE_CACHE) = cell{TYPE_BLOCK, 0, cache, 0};
  return cache;
}

inline u32 cache_of(const cell* fn) {
  const cell* slot = cells::at(fn->data3, function::MORE_CACHE);
  if (type_of(slot) == TYPE_BLOCK) [[likely]] return slot->data2;
  return cache_spec_slow(fn);
}
}  // namespace

u32 cache_spec(const cell* fn) { return cache_of(fn); }

bool same_call_shape(u32 a, u32 b) {
  u32 n = cells::length(a);
  if (n != cells::length(b)) return false;
  for (u32 i = 0; i < n; i++) {
    const cell* x = cells::at(a, i);
    const cell* y = cells::at(b, i);
    if (x->header != y->header) return false;  // type, argument kind and the header flags
    if (i == 0 || type_of(x) == TYPE_TYPESET) {
      if (x->data1 != y->data1 || x->data2 != y->data2) return false;  // counts, or the mask
      if (i == 0 && x->data3 != y->data3) return false;
    } else if (x->data3 != y->data3) {
      return false;  // a refinement's number
    }
  }
  return true;
}

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

// ---- Integer operators ------------------------------------------------------------------------
// `+ - *` and the comparisons between two integer! values are done in place, without a call
// frame: the result is what the action or native would answer. Anything else (another type,
// an overflow that must raise, tracing on) takes the full call.

namespace {
enum : u8 { FAST_NONE, FAST_ADD, FAST_SUBTRACT, FAST_MULTIPLY, FAST_EQUAL, FAST_NOT_EQUAL,
            FAST_LESSER, FAST_LESSER_OR_EQUAL, FAST_GREATER, FAST_GREATER_OR_EQUAL };
constexpr u32 FAST_NATIVES = 256;
u8 fast_native[FAST_NATIVES];
// The refinement table of a call that gives none.
const i32 no_refinements[MAX_REFINEMENTS] = {-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                             -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                             -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
u8 fast_action[ACTION_COUNT + 1];
// The natives whose chosen branch the lean call path runs itself, in their own frame.
u32 if_index = 0, unless_index = 0, either_index = 0;

void init_fast_ops() {
  fast_action[slot::add] = FAST_ADD;
  fast_action[slot::subtract] = FAST_SUBTRACT;
  fast_action[slot::multiply] = FAST_MULTIPLY;
  const struct { const char* name; u8 code; } natives_table[] = {
      {"equal?", FAST_EQUAL}, {"strict-equal?", FAST_EQUAL}, {"same?", FAST_EQUAL},
      {"not-equal?", FAST_NOT_EQUAL}, {"lesser?", FAST_LESSER},
      {"lesser-or-equal?", FAST_LESSER_OR_EQUAL}, {"greater?", FAST_GREATER},
      {"greater-or-equal?", FAST_GREATER_OR_EQUAL}};
  for (const auto& n : natives_table) {
    u32 i = natives::index_of(n.name);
    if (i && i < FAST_NATIVES) fast_native[i] = n.code;
  }
  if_index = natives::index_of("if");
  unless_index = natives::index_of("unless");
  either_index = natives::index_of("either");
}

// The fast code of an op! value, or FAST_NONE.
[[gnu::always_inline]] inline u32 fast_op(const cell* op_value) {
  u32 w = op::wrapped_type(op_value), i = op_value->data1;
  if (w == TYPE_ACTION) return i <= ACTION_COUNT ? u32(fast_action[i]) : u32(FAST_NONE);
  if (w == TYPE_NATIVE) return i < FAST_NATIVES ? u32(fast_native[i]) : u32(FAST_NONE);
  return FAST_NONE;
}

// Applies the operator to the integer at `left` and the operand cell (an integer! or a word
// holding one), writing the result over `left`. False when it cannot be done here (`left`
// not an integer! included).
[[gnu::always_inline]] inline bool integer_fast(u32 code, cell* left, const cell* operand) {
  if (type_of(left) != TYPE_INTEGER) return false;
  const cell* r = operand;
  if (type_of(r) == TYPE_WORD) {
    r = peek(r);
    if (!r) return false;
  }
  if (type_of(r) != TYPE_INTEGER) return false;
  i64 a = i32(left->data2), b = i32(r->data2), v;
  bool logic = true;
  switch (code) {
    case FAST_ADD: v = a + b; logic = false; break;
    case FAST_SUBTRACT: v = a - b; logic = false; break;
    case FAST_MULTIPLY: v = a * b; logic = false; break;
    case FAST_EQUAL: v = a == b; break;
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
  left->data2 = u32(i32(v));
  return true;
}

u32 integer_op_call(cell op_value, cell op_word, u32 code, u32 node, u32 pos, u32 tail,
                    cell* start);

// The value of the expression at `pos` when it needs no call: an inert value, or a word
// holding one, followed only by built-in operators on integers whose operands are the same
// (and no other operator). Answers the position after it, or 0 when the expression is not
// of that shape; nothing is changed either way, so the caller can evaluate it in full.
[[gnu::always_inline]] inline u32 simple_value(u32 node, u32 pos, u32 tail, cell* out) {
  const cell* c = cells::at(node, pos);
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
    if (type_of(&acc) != TYPE_INTEGER || pos + 1 >= tail) return 0;
    u32 code = fast_op(op);
    if (!code || !integer_fast(code, &acc, nx + 1)) return 0;
  }
  *out = acc;
  return pos;
}

// The infix look-ahead after an expression whose value sits at `start`: applies each
// operator that follows, left to right, the result staying at `start`. May return with an
// exit pending.
[[gnu::always_inline]] inline u32 apply_infix(u32 node, u32 pos, u32 tail, cell* start) {
  while (pos < tail) {
    const cell* nx = cells::at(node, pos);
    if (type_of(nx) != TYPE_WORD) break;
    const cell* val = peek(nx);
    if (!val || type_of(val) != TYPE_OP) break;
    if (!tracing && (type_of(start) == TYPE_INTEGER || type_of(start) == TYPE_MONEY)) [[likely]] {
      u32 code = fast_op(val);
      if (code && pos + 1 < tail) {
        if (integer_fast(code, start, nx + 1)) {
          stack::top = start + 1;
          pos += 2;
          continue;
        }
        // An operand that needs evaluating (a paren, a path...): the operator's frame is
        // still pushed around it, but the integer result needs no entry call.
        stack::top = start;
        pos = integer_op_call(*val, *nx, code, node, pos + 1, tail, start);
        if (pending) return pos;
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
    if (pending) return pos;
  }
  return pos;
}

// ---- Calls ----------------------------------------------------------------------------------

u32 fetch_one(const cell& entry, u32 node, u32 pos, u32 tail, bool infix) {
  u32 kind = (entry.header >> KIND_SHIFT) & 3;
  if (pos >= tail) {
    if (kind == ARG_LIT && typecheck::accepts(&entry, TYPE_UNSET)) {
      *stack::push_slot() = cell{TYPE_UNSET, 0, 0, 0};
      return pos;
    }
    no_arg(entry.data3);
  }
  if (kind == ARG_NORMAL) {
    // An inert value or a word holding one, with no operator after it (or none wanted),
    // is the argument itself: no need for a full expression step.
    const cell* c = cells::at(node, pos);
    const cell* v = nullptr;
    if (inert(type_of(c))) {
      v = c;
    } else if (type_of(c) == TYPE_WORD) {
      v = peek(c);
      if (v && !inert(type_of(v))) v = nullptr;
    }
    if (v) {
      cell* start = stack::push_slot();
      *start = *v;
      if (tracing) [[unlikely]] trace_push(node, pos, start);
      if (infix || pos + 1 >= tail || !op_word(cells::at(node, pos + 1))) return pos + 1;
      // An operator follows: the value is its left operand, as eval_next would have it.
      return apply_infix(node, pos + 1, tail, start);
    }
    return eval_next(node, pos, tail, EVAL_PUSH | (infix ? EVAL_NO_INFIX : 0));
  }
  cell v = *cells::at(node, pos);
  if (kind == ARG_GET) {
    *stack::push_slot() = v;
    return pos + 1;
  }
  switch (type_of(&v)) {
    case TYPE_PAREN: {
      stack::push_frame_sym(anon_symbol(), 0, stack::HEADER_INTERP_NATIVE);
      eval_block(&v, true);
      stack::leave();
      break;
    }
    case TYPE_GET_WORD:
      *stack::push_slot() = *_context::get(&v);
      break;
    case TYPE_GET_PATH:
      eval_path(&v, node, pos + 1, tail, false, true, true);
      break;
    default:
      *stack::push_slot() = v;
  }
  return pos + 1;
}

// An infix call of an operator with a fast integer code whose left operand (at `start`, the
// data-stack top just past it) is an integer! or a money!: exactly the frame, gathering,
// checks and trace sites of call_function, with the entry call skipped when the result is
// an integer operation that cannot fail. Every native or action made for the entry behind a
// fast code takes the built-in arguments (make refuses others), and those accept both.
[[gnu::noinline]] u32 integer_op_call(cell fn, cell op_word, u32 code, u32 node, u32 pos,
                                      u32 tail, cell* start) {
  const cell* name = &op_word;
  fn.header = op::wrapped_type(&fn);
  u32 t = type_of(&fn);
  if (!tracing && pos < tail && type_of(cells::at(node, pos)) == TYPE_PAREN) [[likely]] {
    // A paren operand of a built-in operator: the left operand is known to be accepted, and
    // an integer result needs neither the right operand's check nor the entry call.
    stack::push_frame_sym(name->data2, name->data1, stack::HEADER_INTERP_NATIVE, fn.data3);
    stack::top++;
    eval_seq(cells::at(node, pos));  // copied at once, before anything can move it
    pos++;
    if (pending) [[unlikely]] {
      stack::leave();
      return pos;
    }
    cell* operand = stack::top - 1;
    if (type_of(operand) != TYPE_INTEGER || !integer_fast(code, start, operand)) {
      check_arg(*cells::at(cache_of(&fn), 2), operand);
      if (t == TYPE_NATIVE) call_native(fn.data1, no_refinements);
      else call_action(fn.data1, no_refinements);
    }
    stack::leave();
    return pos;
  }
  native_stack::check();
  if (tracing) [[unlikely]] trace_at(trace::EV_OPEN, node, pos, nullptr, name);
  stack::push_frame_sym(name->data2, name->data1, stack::HEADER_INTERP_NATIVE, fn.data3);
  u32 cache = cache_of(&fn);
  stack::top++;
  cell left = *cells::at(cache, 1), right = *cells::at(cache, 2);
  check_arg(left, stack::top - 1);
  pos = fetch_one(right, node, pos, tail, true);
  if (pending) {
    stack::leave();
    return pos;
  }
  check_arg(right, stack::top - 1);
  cell* operand = stack::top - 1;
  if (tracing || type_of(operand) != TYPE_INTEGER || !integer_fast(code, start, operand)) {
    if (tracing) [[unlikely]] trace_call(trace::EV_CALL, name, &fn);
    i32 refs[1] = {-1};
    if (t == TYPE_NATIVE) call_native(fn.data1, refs);
    else call_action(fn.data1, refs);
    stack::leave();
    if (tracing) [[unlikely]] trace_call(trace::EV_RETURN, name, stack::top - 1);
    return pos;
  }
  stack::leave();
  return pos;
}

// Runs a function!'s body with its context pointing at the frame `me`. While tracing, or
// when the function carries a trace flag (it switches tracing for its body), the body runs
// through the trace layer, which calls back here with `traced` set.
void eval_function_traced(const cell& fn, u32 me, u32 slots);
[[gnu::always_inline]] inline void eval_function(const cell& fn, u32 me, u32 slots,
                                                bool traced = false) {
  if (!traced && (tracing || (fn.header & (function::FLAG_TRACE | function::FLAG_NO_TRACE))))
      [[unlikely]]
    return eval_function_traced(fn, me, slots);
  stack::attach_context(fn.data1, slots);
  stack::frames[me].header |= stack::FLAG_FUNCTION;
  cell body = *cells::at(fn.data3, function::MORE_BODY);
  if (type_of(&body) == TYPE_NONE) {
    *stack::arguments = cell{TYPE_UNSET, 0, 0, 0};
    stack::keep_first();
    return;
  }
  try {
    if (tracing) [[unlikely]] {
      eval_block(&body, true);
    } else {
      eval_seq(&body);
      if (!pending) {
        *stack::arguments = *(stack::top - 1);
        stack::keep_first();
      }
    }
  } catch (thrown& t) {
    if ((t.level != THROW_RETURN && t.level != THROW_EXIT) || exit_target(t) != me) throw;
    stack::unwind_frames(me + 1);
    stack::arguments = stack::base + stack::frames[me].own_args;
    *stack::arguments = t.level == THROW_RETURN ? t.value : cell{TYPE_UNSET, 0, 0, 0};
    stack::keep_first();
    stack::close_guards();
    return;
  }
  if (pending && pending_target == me && (pending == THROW_RETURN || pending == THROW_EXIT)) {
    *stack::arguments = pending == THROW_RETURN ? pending_value : cell{TYPE_UNSET, 0, 0, 0};
    stack::keep_first();
    pending = 0;
  }
}

[[gnu::noinline, gnu::cold]] void eval_function_traced(const cell& fn, u32 me, u32 slots) {
  trace::function_body(
      fn, [](const cell& f, u32 m, u32 n) { eval_function(f, m, n, true); }, me, slots);
}

// Calls a routine's code with the arguments of the current frame.
void check_routine_args(const cell& fn, cell* args, u32 arity);
void call_routine(const cell& fn, u32 slots, bool checked = false) {
  u32 arity = routine::get_arity(&fn);
  cell* args = stack::arguments;
  if (!checked) check_routine_args(fn, args, arity);
  routine::code_fn code = routine::code(cells::at(fn.data3, function::MORE_CODE)->data2);
  if (!code) fire("internal", "not-done");
  u32 result_type = cells::at(fn.data3, function::MORE_CODE2)->data2;
  // Without a result type the result is what the code leaves in the first argument's
  // cell (the argument itself when it writes nothing); with no argument that cell holds
  // no value of the call, so the result is unset!, never what the stack held before.
  if (result_type == 0 && arity == 0) *args = cell{TYPE_UNSET, 0, 0, 0};
  stack::top = args + slots;
  code(args, arity);
  if (result_type == TYPE_LOGIC && type_of(args) != TYPE_LOGIC) {
    bool t = type_of(args) == TYPE_INTEGER ? args->data2 != 0 : type_of(args) != TYPE_NONE;
    *args = cell{TYPE_LOGIC, t ? 1u : 0u, 0, 0};
  }
  stack::keep_first();
}

void check_routine_args(const cell& fn, cell* args, u32 arity) {
  // Each argument must have the type its type block names (any-type! accepts anything).
  u32 spec = fn.data2;
  u32 k = 0;
  for (u32 i = 0; i < cells::length(spec) && k < arity; i++) {
    const cell* c = cells::at(spec, i);
    u32 t = type_of(c);
    if (t == TYPE_REFINEMENT || t == TYPE_SET_WORD) break;
    if (t != TYPE_WORD) continue;
    if (i + 1 < cells::length(spec) && type_of(c + 1) == TYPE_BLOCK && cells::remaining(c + 1)) {
      cell item = *cells::at(c[1].data2, c[1].data1);
      if (type_of(&item) != TYPE_WORD) fire("script", "invalid-type-spec", &item);
      if (!symbol::same_q(item.data2, words::sym_any_type_type)) {
        const cell* tv = peek(&item);
        u64 bits = tv ? typecheck::bits_of(tv) : 0;
        if (!((bits >> type_of(args + k)) & 1)) expect_arg(args + k, c->data2);
      }
    }
    k++;
  }
}

// Runs a call whose arguments and refinements are gathered in frame `me`, by the kind of
// the function value.
[[gnu::always_inline]] inline void run_call(const cell& fn, u32 me, u32 slots, u32 locals,
                                            const i32* refs) {
  switch (type_of(&fn)) {
    case TYPE_FUNCTION:
      function::init_locals(locals);
      eval_function(fn, me, slots);
      break;
    case TYPE_NATIVE:
      call_native(fn.data1, refs);
      break;
    case TYPE_ACTION:
      call_action(fn.data1, refs);
      break;
    case TYPE_ROUTINE:
      function::init_locals(locals);
      call_routine(fn, slots);
      break;
    default:
      fire("internal", "not-done");
  }
}

// The frame slot of cache entry `i` of a function (entries before it each take one slot).
inline u32 slot_of(u32 i) { return i - 1; }

u32 path_refinements(bool is_fn, u32 cache, const cell* path, u32 from,
                     i32* refs, u32 node, u32 pos, u32 tail) {
  cell p = *path;
  collector::root_guard pg(&p);
  for (u32 k = from; k < cells::length(p.data2); k++) {
    cell e = *cells::at(p.data2, k);
    bool on = true;
    if (type_of(&e) == TYPE_GET_WORD) {
      const cell* v = _context::get(&e);
      on = !logic::falsy(v);
    } else if (type_of(&e) != TYPE_WORD) {
      fire("script", "bad-refine", &e);
    }
    u32 i = switch_refinement(cache, e.data2, on, is_fn, refs, &p);
    u32 number = cells::at(cache, i)->data3;
    for (u32 a = i + 1; a < cells::length(cache); a++) {
      cell entry = *cells::at(cache, a);
      if (type_of(&entry) != TYPE_TYPESET) break;
      pos = fetch_one(entry, node, pos, tail, false);
      if (pending) return pos;
      check_arg(entry, stack::top - 1);
      if (is_fn) {
        if (on) stack::arguments[slot_of(a)] = *(stack::top - 1);
        stack::top--;
      } else if (!on) {
        stack::top--;
      }
    }
    if (!is_fn && !on) refs[number - 1] = -1;
  }
  return pos;
}

// ---- The lean call ----------------------------------------------------------------------------
// A prefix call, not traced, of a function!, native! or action! whose arguments are all
// plain (no refinement, no get- or lit-argument): the same frame, gathering, type checks and
// results as the general path below, with its tests for the rarer shapes left out.

u32 call_general(cell fn, u32 node, u32 pos, u32 tail, const cell* name, const cell* path,
                 u32 path_from, bool infix);

constexpr u32 LEAN_MAX_ARGS = 8;

// A typeset's map read as one 64-bit word: the bit of type t sits at t ^ 7 (map byte t / 8
// under 0x80 >> t % 8, bytes in memory order).
inline u64 map_word(const cell* ts) {
  u64 m;
  std::memcpy(&m, &ts->data1, sizeof m);
  return m;
}
inline bool map_accepts(u64 map, u32 type) { return type < 64 && ((map >> (type ^ 7)) & 1); }

// The lean call's cache when it applies to this call, else 0.
inline u32 lean_cache(const cell& fn) {
  u32 t = type_of(&fn);
  if (t != TYPE_FUNCTION && t != TYPE_NATIVE && t != TYPE_ACTION && t != TYPE_ROUTINE) return 0;
  const cell* slot = cells::at(fn.data3, function::MORE_CACHE);
  if (type_of(slot) != TYPE_BLOCK) [[unlikely]] return 0;
  u32 cache = slot->data2;
  const cell* h = cells::at(cache, 0);
  if (!(h->header & SIMPLE) || cells::length(cache) > LEAN_MAX_ARGS + 1) return 0;
  return cache;
}

u32 call_lean(const cell& fn, u32 cache, u32 node, u32 pos, u32 tail, const cell* name);

// ---- if, unless, either -----------------------------------------------------------------
// The conditionals are the commonest calls of all, and their branches nearly always follow
// as literal blocks: such a call evaluates its condition and then runs the chosen block
// straight from the source, pushing neither block. Every native made for these entries
// takes the built-in arguments (any condition, block! branches): make refuses others.
constexpr u32 COND_IF = 1, COND_UNLESS = 2, COND_EITHER = 3;

// The conditional kind of a native value, or 0.
[[gnu::always_inline]] inline u32 conditional_kind(const cell* v) {
  u32 i = v->data1;
  if (i == either_index) return COND_EITHER;
  if (i == if_index) return COND_IF;
  if (i == unless_index) return COND_UNLESS;
  return 0;
}

u32 call_conditional(const cell& fn, u32 kind, u32 node, u32 pos, u32 tail, const cell* name);

// One expression of eval_seq, pushed: eval_next with EVAL_PUSH, its two commonest cases (a
// paren, a word naming a function the lean call takes) entered without its step.
[[gnu::always_inline]] inline u32 seq_step(u32 node, u32 pos, u32 tail) {
  if (!tracing) [[likely]] {
    const cell* c = cells::at(node, pos);
    u32 ct = type_of(c);
    cell* start = stack::top;
    if (ct == TYPE_PAREN) {
      cell v = *c;
      eval_seq(&v);
      if (pending) return pos + 1;
      return apply_infix(node, pos + 1, tail, start);
    }
    if (ct == TYPE_WORD) {
      const cell* val = peek(c);
      if (val && callable(type_of(val))) {
        // The calls read their name word before anything can move the block, so it is
        // passed in place; the function value is copied, as it is used throughout.
        cell f = *val;
        if (type_of(&f) == TYPE_NATIVE) {
          if (u32 kind = conditional_kind(&f)) {
            pos = call_conditional(f, kind, node, pos + 1, tail, c);
            if (pending) return pos;
            return apply_infix(node, pos, tail, start);
          }
        }
        u32 cache = lean_cache(f);
        if (cache) [[likely]] {
          pos = call_lean(f, cache, node, pos + 1, tail, c);
          if (pending) return pos;
          return apply_infix(node, pos, tail, start);
        }
      }
    }
  }
  return eval_next(node, pos, tail, EVAL_PUSH);
}

// One plain argument, pushed: fetch_one's cases for a normal argument of a prefix call.
[[gnu::always_inline]] inline u32 fetch_plain(u32 node, u32 pos, u32 tail) {
  const cell* c = cells::at(node, pos);
  const cell* v = nullptr;
  u32 ct = type_of(c);
  if (inert(ct)) {
    v = c;
  } else if (ct == TYPE_WORD) {
    v = peek(c);
    if (v && !inert(type_of(v))) v = nullptr;
  }
  if (!v) {
    if (ct == TYPE_PAREN && !tracing) {
      // eval_next's paren case, without its step.
      cell* start = stack::top;
      cell p = *c;
      eval_seq(&p);
      if (pending) return pos + 1;
      return apply_infix(node, pos + 1, tail, start);
    }
    return eval_next(node, pos, tail, EVAL_PUSH);
  }
  cell* s = stack::push_copy(v);
  // apply_infix stops at once when no operator follows.
  return apply_infix(node, pos + 1, tail, s);
}

// Gathers the plain arguments of cache entries [from, to) at `pos`, each checked against
// its entry, and answers the position after them. When an exit is pending it returns at
// once; the caller leaves its frame.
[[gnu::always_inline]] inline u32 gather_plain(u32 cache, u32 from, u32 to, u32 node, u32 pos,
                                               u32 tail) {
  for (u32 i = from; i < to; i++) {
    if (pos >= tail) [[unlikely]] no_arg(cells::at(cache, i)->data3);
    pos = fetch_plain(node, pos, tail);
    if (pending) [[unlikely]] return pos;
    const cell* a = stack::top - 1;
    const cell* e = cells::at(cache, i);  // gathering may have moved the cache's buffer
    if (!map_accepts(map_word(e), type_of(a))) [[unlikely]] expect_arg(a, e->data3);
  }
  return pos;
}

// The conditional's result from its condition (the frame's first argument cell) and its
// branches (`blocks`, two of them for either): the chosen branch runs here, in the native's
// frame (reports still name it), its value landing in the first argument cell.
[[gnu::always_inline]] inline void run_branch(u32 kind, const cell* blocks) {
  cell* a = stack::arguments;
  const cell* branch = blocks;
  bool falsy = type_of(a) == TYPE_NONE || (type_of(a) == TYPE_LOGIC && a->data1 == 0);
  if (kind == COND_EITHER) {
    if (type_of(a) == TYPE_UNSET) [[unlikely]] fire("script", "no-return");
    if (falsy) branch = blocks + 1;
  } else if (falsy != (kind == COND_UNLESS)) {
    branch = nullptr;
  }
  if (!branch) {
    *a = cell{TYPE_NONE, 0, 0, 0};
    stack::keep_first();
  } else if (tracing) [[unlikely]] {
    cell b = *branch;
    eval_branch(&b);  // argument evaluation switched tracing on
  } else {
    // eval_branch without its call; eval_seq copies the block before anything can move it.
    eval_seq(branch);
    if (!pending) {
      *a = *(stack::top - 1);
      stack::top = a + 1;
    }
  }
}

// A call of a built-in conditional (see conditional_kind) named by `name`, its arguments
// at `pos`: call_lean's frame, gathering and checks, with literal branch blocks read in
// place. Like call_lean, it reads `name` only before anything can move it.
u32 call_conditional(const cell& fn, u32 kind, u32 node, u32 pos, u32 tail, const cell* name) {
  // No copy of the native below its arguments: its frame's block keeps what it needs alive,
  // and the result is left in the first argument cell, where the caller wants it.
  stack::push_frame_sym(name->data2, name->data1, stack::HEADER_INTERP_NATIVE, fn.data3);
  u32 nblocks = kind == COND_EITHER ? 2 : 1;
  if (pos >= tail) [[unlikely]] no_arg(cells::at(cache_of(&fn), 1)->data3);
  pos = fetch_plain(node, pos, tail);  // the condition: any value is accepted
  if (pending) [[unlikely]] {
    stack::leave();
    return pos;
  }
  const cell* blocks = cells::at(node, pos);
  bool literal = pos + nblocks <= tail && type_of(blocks) == TYPE_BLOCK &&
                 (nblocks == 1 || type_of(blocks + 1) == TYPE_BLOCK) &&
                 (pos + nblocks == tail || !op_word(blocks + nblocks));
  if (literal && !tracing) [[likely]] {
    pos += nblocks;
    run_branch(kind, blocks);
  } else {
    // Any other shape: the branches are gathered and checked as call_lean does.
    pos = gather_plain(cache_of(&fn), 2, 2 + nblocks, node, pos, tail);
    if (pending) [[unlikely]] {
      stack::leave();
      return pos;
    }
    run_branch(kind, stack::arguments + 1);
  }
  stack::leave();
  return pos;
}

// Neither the lean nor the conditional call checks the machine stack: every way they can
// recurse passes through eval_seq or eval_next, which do. `name` may point into the block
// under evaluation: it is read first, before anything can move that block.
u32 call_lean(const cell& fn, u32 cache, u32 node, u32 pos, u32 tail, const cell* name) {
  cell* start = stack::top;
  u32 t = type_of(&fn);
  u32 sym = anon_symbol(), word_ctx = 0;
  if (name && word::any_word_q(type_of(name))) {
    sym = name->data2;
    word_ctx = name->data1;
  }
  stack::push_copy(&fn);
  // The frame's block keeps the cache and body alive while the arguments are gathered.
  stack::push_frame_sym(sym, word_ctx,
                        t == TYPE_FUNCTION ? stack::HEADER_INTERP_FUNCTION
                                           : stack::HEADER_INTERP_NATIVE,
                        fn.data3);
  u32 me = stack::frame_top - 1;
  pos = gather_plain(cache, 1, cells::length(cache), node, pos, tail);
  if (pending) [[unlikely]] {
    stack::leave();
    return pos;
  }
  if (t == TYPE_FUNCTION) {
    const cell* h = cells::at(cache, 0);
    u32 slots = h->data1;
    if (h->data3) function::init_locals(h->data3);
    eval_function(fn, me, slots);
  } else if (t == TYPE_NATIVE) {
    if (u32 kind = conditional_kind(&fn)) run_branch(kind, stack::arguments + 1);
    else call_native(fn.data1, no_refinements);
  } else if (t == TYPE_ROUTINE) {
    // The arguments were checked against the cache while they were gathered.
    const cell* h = cells::at(cache, 0);
    u32 slots = h->data1;
    if (h->data3) function::init_locals(h->data3);
    call_routine(fn, slots, true);
  } else {
    call_action(fn.data1, no_refinements);
  }
  stack::leave();
  *start = *(start + 1);
  stack::top = start + 1;
  return pos;
}


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
    tracing = saved_tracing_;
    library_quiet = saved_quiet_;
  }
  library_scope(const library_scope&) = delete;
  library_scope& operator=(const library_scope&) = delete;
 private:
  bool on_ = false, saved_tracing_ = false, saved_quiet_ = false;
};

// Entering a library block from user code or a user block from library code: the frames
// pushed inside are marked interpreted only in user code. The previous mask comes back when
// the block is left, errors included.
class interp_scope {
 public:
  explicit interp_scope(bool library) : saved_(stack::frame_mask) {
    stack::frame_mask = library ? ~stack::FLAG_INTERP : ~0u;
  }
  ~interp_scope() { stack::frame_mask = saved_; }
  interp_scope(const interp_scope&) = delete;
  interp_scope& operator=(const interp_scope&) = delete;
 private:
  u32 saved_;
};

void eval_seq_plain(const cell* block);
void eval_seq(const cell* block) {
  bool library = (buffer_of(block->data2)->flags & SERIES_LIBRARY) != 0;
  if (library == (stack::frame_mask == ~0u)) [[unlikely]] {
    interp_scope is(library);
    return eval_seq(block);
  }
  if (tracing || library_quiet) [[unlikely]] {
    library_scope ls(block->data2);
    return eval_seq_plain(block);
  }
  eval_seq_plain(block);
}

void eval_seq_plain(const cell* block) {
  cell* start = stack::push_copy(block);
  u32 node = start->data2, pos = start->data1, tail = cells::length(node);
  if (pos >= tail) {
    *start = cell{TYPE_UNSET, 0, 0, 0};
    return;
  }
  if (pos + 1 == tail) {
    // One value that is its own result, or a word holding one: nothing can follow it and
    // nothing can fail, so no position is needed.
    const cell* c = cells::at(node, pos);
    if (inert(type_of(c))) {
      *start = *c;
      return;
    }
    if (type_of(c) == TYPE_WORD) {
      const cell* v = peek(c);
      if (v && inert(type_of(v))) {
        *start = *v;
        return;
      }
    }
  }
  native_stack::check();
  // The block's cell at `start` is this evaluation's own copy: it keeps the position.
  position_scope ps;
  position_ref = start;
  cell* first = start + 1;
  for (;;) {
    start->data1 = pos;
    pos = seq_step(node, pos, tail);
    if (pending) return;
    tail = cells::length(node);  // the block may have been changed by what ran
    if (pos >= tail) break;
    stack::top = first;
  }
  *start = *first;
  stack::top = first;
}

}  // namespace

u32 call_function(const cell* fn_in, u32 node, u32 pos, u32 tail, const cell* name,
                  const cell* path, u32 path_from, bool infix) {
  cell fn = *fn_in;
  if (!tracing && !infix && !path) [[likely]] {
    u32 cache = lean_cache(fn);
    if (cache) [[likely]] return call_lean(fn, cache, node, pos, tail, name);
  }
  return call_general(fn, node, pos, tail, name, path, path_from, infix);
}

namespace {
u32 call_general(cell fn, u32 node, u32 pos, u32 tail, const cell* name, const cell* path,
                 u32 path_from, bool infix) {
  native_stack::check();
  cell* start = stack::top;
  u32 sym = anon_symbol(), word_ctx = 0;
  if (name && word::any_word_q(type_of(name))) {
    sym = name->data2;
    word_ctx = name->data1;
  }
  if (tracing) [[unlikely]] trace_at(trace::EV_OPEN, node, pos, nullptr, name ? name : &fn);
  if (!infix) *stack::push_slot() = fn;
  u32 t = type_of(&fn);
  stack::push_frame_sym(sym, word_ctx,
                        t == TYPE_FUNCTION ? stack::HEADER_INTERP_FUNCTION
                                           : stack::HEADER_INTERP_NATIVE);
  u32 me = stack::frame_top - 1;
  stack::frames[me].block = fn.data3;  // keeps the cache and body alive while gathering
  u32 cache = cache_of(&fn);
  bool is_fn = t == TYPE_FUNCTION || t == TYPE_ROUTINE;
  i32 refs[MAX_REFINEMENTS];
  const cell* h = cells::at(cache, 0);
  u32 slots = h->data1, nrefs = h->data2, locals = h->data3;

  if ((h->header & SIMPLE) && (t == TYPE_FUNCTION || t == TYPE_NATIVE || t == TYPE_ACTION) && !path) {
    // The common shape: plain arguments only, so no refinement table and no refinement
    // slots; the arguments go straight into the frame.
    if (infix) stack::top++;
    for (u32 i = 1, n = cells::length(cache); i < n; i++) {
      cell e = *cells::at(cache, i);
      if (!(infix && i == 1)) {
        pos = fetch_one(e, node, pos, tail, infix);
        if (pending) {
          stack::leave();
          return pos;
        }
      }
      check_arg(e, stack::top - 1);
    }
    if (tracing) [[unlikely]] trace_call(trace::EV_CALL, name, &fn);
    if (t == TYPE_FUNCTION) {
      function::init_locals(locals);
      eval_function(fn, me, slots);
    } else if (t == TYPE_NATIVE) {
      call_native(fn.data1, refs);
    } else {
      call_action(fn.data1, refs);
    }
    stack::leave();
    if (tracing) [[unlikely]] trace_call(trace::EV_RETURN, name, stack::top - 1);
    if (!infix) {
      *start = *(start + 1);
      stack::top = start + 1;
    }
    return pos;
  }
  for (u32 r = 0; r < nrefs; r++) refs[r] = -1;
  // Gather: the fixed arguments, then (functions) a false slot per refinement and a none!
  // slot per refinement argument.
  if (infix) stack::top++;
  bool fixed = true, first = true;
  u32 n = cells::length(cache);
  for (u32 i = 1; i < n; i++) {
    cell e = *cells::at(cache, i);
    if (type_of(&e) == TYPE_TYPESET) {
      if (fixed) {
        if (!(infix && first)) {
          pos = fetch_one(e, node, pos, tail, infix);
          if (pending) {
            stack::leave();
            return pos;
          }
        }
        check_arg(e, stack::top - 1);
        first = false;
      } else if (is_fn) {
        *stack::push_slot() = cell{TYPE_NONE, 0, 0, 0};
      }
    } else {
      fixed = false;
      if (!is_fn) break;
      *stack::push_slot() = cell{TYPE_LOGIC, 0, 0, 0};
    }
  }
  if (path) {
    pos = path_refinements(is_fn, cache, path, path_from, refs, node, pos, tail);
    if (pending) {
      stack::leave();
      return pos;
    }
  }

  if (tracing) [[unlikely]] trace_call(trace::EV_CALL, name, &fn);
  run_call(fn, me, slots, locals, refs);
  stack::leave();
  if (tracing) [[unlikely]] trace_call(trace::EV_RETURN, name, stack::top - 1);
  if (!infix) {
    *start = *(start + 1);
    stack::top = start + 1;
  }
  return pos;
}

}  // namespace

// ---- Evaluation -------------------------------------------------------------------------------

void eval_block_plain(const cell* block_in, bool chain);
void eval_block(const cell* block_in, bool chain) {
  native_stack::check();
  bool library = (buffer_of(block_in->data2)->flags & SERIES_LIBRARY) != 0;
  if (library == (stack::frame_mask == ~0u)) [[unlikely]] {
    interp_scope is(library);
    return eval_block(block_in, chain);
  }
  if (tracing || library_quiet) [[unlikely]] {
    library_scope ls(block_in->data2);
    return eval_block_plain(block_in, chain);
  }
  eval_block_plain(block_in, chain);
}

void eval_block_plain(const cell* block_in, bool chain) {
  cell block = *block_in;
  u32 node = block.data2;
  position_scope ps;
  cell at = block;
  stack::push_frame_sym(body_symbol(), 0, stack::HEADER_BLOCK);
  stack::frames[stack::frame_top - 1].block = node;
  u32 pos = block.data1;
  u32 tail = cells::length(node);
  if (tracing) [[unlikely]] trace_block(trace::EV_ENTER, &block, pos, nullptr);
  if (pos >= tail) {
    *stack::arguments = cell{TYPE_UNSET, 0, 0, 0};
    stack::keep_first();
  } else {
    position_ref = &at;
    for (;;) {
      at.data1 = pos;
      pos = eval_next(node, pos, tail, 0);
      if (pending) break;
      tail = cells::length(node);  // the block may have been changed by what ran
      if (pos >= tail) break;
      stack::clear_args();
    }
  }
  if (tracing) [[unlikely]] trace_block(trace::EV_EXIT, &block, cells::length(node), stack::arguments);
  if (chain) stack::leave_return(); else stack::leave();
}

void eval_branch(const cell* block) {
  if (tracing) [[unlikely]] return eval_block(block, true);
  eval_seq(block);
  if (pending) return;
  *stack::arguments = *(stack::top - 1);
  stack::keep_first();
}

void eval_in_frame(const cell* block) {
  u32 node = block->data2;
  u32 pos = block->data1;
  u32 tail = cells::length(node);
  if (pos >= tail) {
    *stack::arguments = cell{TYPE_UNSET, 0, 0, 0};
    stack::keep_first();
    return;
  }
  position_scope ps;
  cell at = *block;
  position_ref = &at;
  for (;;) {
    at.data1 = pos;
    pos = eval_next(node, pos, tail, 0);
    if (pending) return;
    tail = cells::length(node);
    if (pos >= tail) return;
    stack::clear_args();
  }
}

u32 eval_one(u32 node, u32 pos, bool push) {
  cell* start = stack::top;
  position_scope ps;
  cell at{TYPE_BLOCK, pos, node, 0};
  position_ref = &at;
  stack::push_frame_sym(body_symbol(), 0, stack::HEADER_INTERP_NATIVE);
  stack::frames[stack::frame_top - 1].block = node;
  pos = eval_next(node, pos, cells::length(node), 0);
  stack::leave();
  if (!push && !pending) {
    *stack::arguments = *start;
    stack::keep_first();
  }
  return pos;
}

u32 eval_next(u32 node, u32 pos, u32 tail, u32 flags) {
  native_stack::check();
  cell* start = stack::top;
  cell v = *cells::at(node, pos);
  if (tracing) [[unlikely]] trace_at(trace::EV_FETCH, node, pos, nullptr, &v);
  pos++;
  switch (type_of(&v)) {
    case TYPE_WORD: {
      const cell* val = peek(&v);
      if (!val) [[unlikely]] val = _context::get(&v);
      u32 vt = type_of(val);
      if (callable(vt)) {
        cell f = *val;
        u32 cache = tracing ? 0 : lean_cache(f);
        u32 kind = cache && vt == TYPE_NATIVE ? conditional_kind(&f) : 0;
        if (kind) pos = call_conditional(f, kind, node, pos, tail, &v);
        else if (cache) [[likely]] pos = call_lean(f, cache, node, pos, tail, &v);
        else pos = call_function(&f, node, pos, tail, &v, nullptr, 0, false);
        if (pending) return pos;
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
      if (!tracing) [[likely]] {
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
      if (pending) {
        stack::leave();
        return pos;
      }
      cell value = *(stack::top - 1);
      if (type_of(&value) == TYPE_UNSET) fire("script", "need-value", &v);
      if (tracing) [[unlikely]] trace_at(trace::EV_SET, node, pos, &v, &value);
      cell* slot = settable(&v);
      if (slot) *slot = value; else _context::set(&v, &value);
      *stack::arguments = value;
      stack::leave();
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
      if (pending) return pos;
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
      u32 s = symbol::resolve(v.data2);
      if ((s == symbol::resolve(words::sym_system) || s == symbol::resolve(words::sym_system_global)) &&
          pos < tail && type_of(cells::at(node, pos)) == TYPE_BLOCK)
        fire("internal", "vyr-system");
      *stack::push_slot() = v;
      break;
    }
    case TYPE_NATIVE: case TYPE_ACTION: case TYPE_FUNCTION: case TYPE_ROUTINE:
      if (flags & EVAL_FETCH_ONLY) {
        *stack::push_slot() = v;
      } else {
        pos = call_function(&v, node, pos, tail, nullptr, nullptr, 0, false);
        if (pending) return pos;
      }
      break;
    case TYPE_OP:
      fire("internal", "not-done");
    case TYPE_PATH:
      pos = eval_path(&v, node, pos, tail, false, false, true);
      if (pending) return pos;
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
      if (pending) {
        stack::leave();
        return pos;
      }
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
    if (pending) return pos;
  }
  if (!(flags & EVAL_PUSH) && start != stack::arguments) {
    *stack::arguments = *start;
    stack::keep_first();
  }
  if (tracing && !(flags & EVAL_PUSH)) [[unlikely]] trace_at(trace::EV_EXPR, node, pos, nullptr, stack::arguments);
  return pos;
}

// ---- Paths -------------------------------------------------------------------------------

namespace {
// Leaves a frame that attached no context, putting the data-stack top at `at`.
void leave_to(cell* at) {
  u32 saved = stack::frames[stack::frame_top - 1].saved_args;
  stack::unwind_frames(stack::frame_top - 1);
  stack::arguments = stack::base + saved;
  stack::top = at;
}

u32 finish(cell* at, u32 pos, bool push) {
  if (!push && !pending) {
    *stack::arguments = *at;
    stack::keep_first();
  }
  return pos;
}

// Stores a scalar whose field a set-path changed back where the walk read it from. The
// walk of a set-path keeps, for each element after the head, the value the element was
// applied to and the element itself: chain[2i] and chain[2i + 1] for step i. Step `i`'s
// value has just been changed in place. Each holder before it is sent the changed value
// as a set through its own eval-path, so an object tells its on-change* handler and an
// owned series its owner exactly as for a set-path that names the field. A holder that is
// itself a scalar answers with its own cell, changed in turn, and the write goes one
// step further back; when it reaches the head, the head word is set.
void write_back(cell* path, cell* head, cell* chain, u32 first, u32 i) {
  while (i > 0) {
    u32 j = i - 1;
    cell* holder = &chain[2 * j];
    auto f = reinterpret_cast<eval_path_fn>(datatype::entry(type_of(holder), slot::eval_path));
    path_args walk;
    walk.path = path;
    walk.position = i32(first + j);
    walk.grandparent = j > 0 ? &chain[2 * (j - 1)] : nullptr;
    walk.owner_flag = j > 0;
    if (f(holder, &chain[2 * j + 1], &chain[2 * i], walk) != holder) return;
    i = j;
  }
  _context::set(head, &chain[0]);
}
}  // namespace

u32 eval_path(const cell* path_in, u32 node, u32 pos, u32 tail, bool set, bool get_only,
              bool push) {
  cell path = *path_in;
  collector::root_guard pg(&path);
  // The result replaces the new value of a set-path, else it is pushed at `at`.
  cell* at = set ? stack::top - 1 : stack::top;
  u32 pnode = path.data2;
  u32 len = cells::length(pnode);
  if (path.data1 >= len) fire("script", "empty-path");
  cell head = *cells::at(pnode, path.data1);
  if (type_of(&head) != TYPE_WORD) fire("script", "word-first", &path);
  const cell* hv = _context::get(&head);
  if (type_of(hv) == TYPE_UNSET) fire("script", "unset-path", &path, &head);
  cell cur = *hv;
  if (callable(type_of(&cur))) {
    if (set) fire("script", "invalid-path-set", &path);
    if (get_only) fire("script", "invalid-path-get", &path);
    stack::top = at;
    pos = call_function(&cur, node, pos, tail, &head, &path, path.data1 + 1, false);
    return finish(at, pos, push);
  }
  // The walk runs in a frame of its own: [0] scratch result slot for the implementations,
  // [1] the current value, [2] the element, [3] the value before the current one.
  stack::push_frame_sym(anon_symbol(), 0, stack::HEADER_INTERP_NATIVE);
  cell* w = stack::push_slot();
  stack::push_slot();
  stack::push_slot();
  stack::push_slot();
  w[0] = cell{TYPE_NONE, 0, 0, 0};
  w[1] = cur;
  w[3] = cell{TYPE_NONE, 0, 0, 0};
  u32 first = path.data1 + 1;
  cell* chain = set && len > first ? stack::push_slot() : nullptr;  // see write_back
  if (chain)
    for (u32 i = 1; i < 2 * u64(len - first); i++) stack::push_slot();
  for (u32 k = first; k < len; k++) {
    cell e = *cells::at(pnode, k);
    if (type_of(&e) == TYPE_GET_WORD) {
      e = *_context::get(&e);
    } else if (type_of(&e) == TYPE_PAREN) {
      stack::push_frame_sym(body_symbol(), 0, stack::HEADER_INTERP_NATIVE);
      eval_block(&e, true);
      stack::leave();
      raise_pending();
      e = *(stack::top - 1);
      stack::top--;
    }
    if (type_of(&e) == TYPE_UNSET) fire("script", "invalid-path", &path, &e);
    w[2] = e;
    bool last = k + 1 == len;
    auto f = reinterpret_cast<eval_path_fn>(datatype::entry(type_of(&w[1]), slot::eval_path));
    if (!f) {
      // "<previous> returned a <type> value, so <path> could not be accessed"
      cell dt;
      datatype::make_at(&dt, type_of(&w[1]));
      cell prev = *cells::at(pnode, k - 1);
      fire("script", "bad-path-type", &path, &dt, &prev);
    }
    path_args walk;
    walk.path = &path;
    walk.position = i32(k);
    walk.grandparent = k > path.data1 + 1 ? &w[3] : nullptr;
    walk.owner_flag = set && last && k >= path.data1 + 2;
    walk.get_only = get_only;
    cell parent = w[1];
    if (chain) {
      chain[2 * (k - first)] = w[1];
      chain[2 * (k - first) + 1] = e;
    }
    const cell* r = f(&w[1], &w[2], set && last ? at : nullptr, walk);
    // An eval-path that changed a field of an immediate value answers the parent's own
    // cell: the changed value goes back to where the parent was read from.
    if (set && last && r == &w[1]) {
      chain[2 * (k - first)] = w[1];
      write_back(&path, &head, chain, first, k - first);
    }
    cell next = *r;
    w[3] = parent;
    w[1] = next;
    if (!set && !get_only && callable(type_of(&next))) {
      leave_to(at);
      pos = call_function(&next, node, pos, tail, &e, last ? nullptr : &path, k + 1, false);
      return finish(at, pos, push);
    }
  }
  cell result = set ? *at : w[1];
  leave_to(at);
  *stack::push_slot() = result;
  return finish(at, pos, push);
}

// ---- Public entry points ----------------------------------------------------------------------

bool simple_block_value(const cell* block, cell* out) {
  if (tracing) return false;
  u32 node = block->data2, pos = block->data1, tail = cells::length(node);
  if (pos >= tail) return false;
  cell v;
  u32 after = simple_value(node, pos, tail, &v);
  if (after != tail) return false;
  *out = v;
  return true;
}

void do_block(const cell* block, cell* result) {
  cell b = *block;
  collector::root_guard g(&b);
  stack::guard sg;
  // The outer frame belongs to the block's code: library code pushes no interpreted frame.
  interp_scope is((buffer_of(b.data2)->flags & SERIES_LIBRARY) != 0);
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
  cell b = *block;
  collector::root_guard g(&b);
  cell* result = stack::arguments;
  cell r;
  do_block(&b, &r);
  *result = r;
  stack::top = result + 1;
}

void call(const cell* fn_in, const cell* args, u32 n, cell* result) {
  cell fn = *fn_in;
  collector::root_guard g(&fn);
  stack::guard sg;
  // The arguments become the source block of the call, so gathering and type checks run
  // as they do for any call (each argument is taken unevaluated: a one-value block each).
  u32 depth = stack::frame_top;
  struct frame_scope {
    u32 depth;
    ~frame_scope() { stack::unwind_frames(depth); }
  } fs{depth};
  cell* start = stack::top;
  // Every argument is taken as given, checked against its type as in any call.
  u32 t = type_of(&fn);
  if (t == TYPE_OP) fn.header = op::wrapped_type(&fn);
  u32 cache = cache_spec(&fn);
  *stack::push_slot() = fn;
  stack::push_frame_sym(anon_symbol(), 0,
                        type_of(&fn) == TYPE_FUNCTION ? stack::HEADER_INTERP_FUNCTION
                                                      : stack::HEADER_INTERP_NATIVE);
  u32 me = stack::frame_top - 1;
  stack::frames[me].block = fn.data3;
  const cell* h = cells::at(cache, 0);
  u32 nrefs = h->data2;
  i32 refs[MAX_REFINEMENTS];
  for (u32 r = 0; r < nrefs; r++) refs[r] = -1;
  bool is_fn = type_of(&fn) == TYPE_FUNCTION || type_of(&fn) == TYPE_ROUTINE;
  bool fixed = true;
  u32 k = 0;
  for (u32 i = 1; i < cells::length(cache); i++) {
    cell e = *cells::at(cache, i);
    if (type_of(&e) == TYPE_TYPESET) {
      if (fixed) {
        if (k >= n) no_arg(e.data3);
        cell* a = stack::push_slot();
        *a = args[k++];
        check_arg(e, a);
      } else if (is_fn) {
        *stack::push_slot() = cell{TYPE_NONE, 0, 0, 0};
      }
    } else {
      fixed = false;
      if (!is_fn) break;
      *stack::push_slot() = cell{TYPE_LOGIC, 0, 0, 0};
    }
  }
  run_gathered(&fn, me, refs);
  raise_pending();
  *result = *stack::arguments;
  (void)start;
}

void call_slots(const cell* fn_in, const cell* slots, u32 n, const cell* name, cell* result) {
  cell fn = *fn_in;
  collector::root_guard g(&fn);
  if (type_of(&fn) != TYPE_FUNCTION) fire("internal", "not-done");
  stack::guard sg;
  u32 depth = stack::frame_top;
  struct frame_scope {
    u32 depth;
    ~frame_scope() { stack::unwind_frames(depth); }
  } fs{depth};
  u32 cache = cache_spec(&fn);
  *stack::push_slot() = fn;
  stack::push_frame_sym(name ? name->data2 : anon_symbol(), 0, stack::HEADER_INTERP_FUNCTION);
  u32 me = stack::frame_top - 1;
  stack::frames[me].block = fn.data3;
  i32 refs[MAX_REFINEMENTS];
  for (u32 r = 0; r < MAX_REFINEMENTS; r++) refs[r] = -1;
  bool fixed = true;
  u32 k = 0;
  for (u32 i = 1; i < cells::length(cache); i++) {
    cell e = *cells::at(cache, i);
    cell* a = stack::push_slot();
    if (type_of(&e) == TYPE_TYPESET) {
      *a = k < n ? slots[k] : cell{TYPE_NONE, 0, 0, 0};
      if (fixed || type_of(a) != TYPE_NONE) check_arg(e, a);
    } else {
      fixed = false;
      bool on = k < n && type_of(&slots[k]) == TYPE_LOGIC && slots[k].data1;
      *a = cell{TYPE_LOGIC, on ? 1u : 0u, 0, 0};
    }
    k++;
  }
  run_gathered(&fn, me, refs);
  raise_pending();
  *result = *stack::arguments;
}

// Runs a call whose frame `me` (pushed over a copy of the function) already holds its
// gathered arguments: what `apply` uses after gathering by its own modes.
void run_gathered(const cell* fn_in, u32 me, const i32* refs) {
  cell fn = *fn_in;
  const cell* h = cells::at(cache_of(&fn), 0);
  u32 slots = h->data1, locals = h->data3;
  run_call(fn, me, slots, locals, refs);
}

namespace {
error_builder_fn error_module_builder = nullptr;

// Errors are built where they are raised: the innermost call names their `where`.
void build_error(const char* category, const char* id, const cell* args, int argc, cell* out) {
  error_module_builder(category, id, args, argc, out);
  // The pre-built fatal errors are shared: they are never changed.
  if (type_of(out) != TYPE_ERROR || (std::strcmp(category, "internal") == 0 && error::prebuilt(id)))
    return;
  if (stack::frame_top == 0) return;
  cell e = *out;
  collector::root_guard g(&e);
  cell w = stack::current_call_word();
  error::set_where(&e, &w);
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
  if (_context::global) global_values = _context::context_cell(_context::global)->data2;
  error::near_hook = near_position;
  error::call_words_hook = call_words;
  if (error_builder && error_builder != build_error) {
    error_module_builder = error_builder;
    error_builder = build_error;
  }
}

void expect_arg(const cell* value, u32 arg_symbol) {
  cell fn = stack::current_call_word();
  cell type;
  datatype::make_at(&type, type_of(value));
  cell arg = _context::add_global(arg_symbol, false, false);
  fire("script", "expect-arg", &fn, &type, &arg);
}

u32 switch_refinement(u32 cache, u32 symbol, bool on, bool is_fn, i32* refs,
                      const cell* dup_arg) {
  u32 canon = symbol::resolve(symbol), i = 1, n = cells::length(cache);
  for (; i < n; i++) {
    const cell* e = cells::at(cache, i);
    if (type_of(e) == TYPE_REFINEMENT && symbol::resolve(e->data2) == canon) break;
  }
  if (i == n) {
    cell fw = stack::current_call_word();
    cell r{TYPE_REFINEMENT, 0, symbol, word::NO_INDEX};
    fire("script", "no-refine", &fw, &r);
  }
  if (is_fn) {
    cell* flag = stack::arguments + (i - 1);  // one frame slot per cache entry before it
    if (type_of(flag) == TYPE_LOGIC && flag->data1) fire("script", "dup-refine", dup_arg);
    *flag = cell{TYPE_LOGIC, on ? 1u : 0u, 0, 0};
  } else {
    u32 number = cells::at(cache, i)->data3;
    if (refs[number - 1] != -1) fire("script", "dup-refine", dup_arg);
    refs[number - 1] = on ? i32(stack::top - stack::arguments) : -2;
  }
  return i;
}

}  // namespace vyr::interpreter
