// Function calls and argument gathering: the argument cache of each function value, the
// call paths the evaluator's one dispatch chooses between (a conditional with its branches
// read in place, the lean call of plain arguments, the action call of arguments that need
// no evaluation, the general call), the one gathering loop of the general call (fed from a
// block or, for C++ callers, from an array of values), and the one place where natives and
// actions are entered. Nothing here allocates per call.
#include "runtime/interpreter/interpreter_inline.h"
#include "runtime/interpreter/native_stack.h"

#include "runtime/collector.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/word.h"
#include "runtime/natives/natives.h"
#include <new>

namespace vyr::interpreter {
using namespace internal;

namespace {
cell arg_word(u32 symbol) { return _context::add_global(symbol, false, false); }

[[noreturn]] void no_arg(u32 arg_symbol) {
  cell fn = stack::current_call_word();
  cell arg = arg_word(arg_symbol);
  fire("script", "no-arg", &fn, &arg);
}

// ---- The argument cache -------------------------------------------------------------------
// A block: [0] integer! (word 1 slot count, word 2 refinement count, word 3 local count),
// then one typeset! per argument (kind in header bits 20-21, mask in words 1-2, the
// argument's symbol in word 3) and one refinement! per refinement (symbol in word 2, its
// number in word 3), in declared order. `return:` and /local are not listed.

u64 mask_of_types(const cell* types) {
  u64 mask = 0;
  for (u32 i = series::index(types); i < cells::length(series::node(types)); i++) {
    const cell* item = cells::get(series::node(types), i);
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
  u32 spec = function::spec(&f);
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
  if (i < n && type_of(cells::get(spec, i)) == TYPE_BLOCK) i++;  // attributes
  for (; i < n; i++) {
    cell c = *cells::get(spec, i);
    u32 t = type_of(&c);
    if (t == TYPE_WORD || t == TYPE_GET_WORD || t == TYPE_LIT_WORD) {
      u32 kind = t == TYPE_WORD ? ARG_NORMAL : t == TYPE_GET_WORD ? ARG_GET : ARG_LIT;
      u64 mask = typecheck::ALL_TYPES & ~typecheck::bit(TYPE_UNSET);
      if (i + 1 < n && type_of(cells::get(spec, i + 1)) == TYPE_BLOCK) {
        cell types = *cells::get(spec, i + 1);
        if (cells::remaining(&types) > 0) mask = mask_of_types(&types);
        i++;
      }
      cell e{TYPE_TYPESET | (kind << KIND_SHIFT), 0, 0, word::symbol_id(&c)};
      typecheck::set_mask(&e, mask);
      cells::append(cache, &e);
      slots++;
    } else if (t == TYPE_SET_WORD) {
      if (!symbol::same_q(word::symbol_id(&c), words::sym_return)) {
        fire("script", "bad-func-def", &c);
      }
      if (i + 1 < n && type_of(cells::get(spec, i + 1)) == TYPE_BLOCK) i++;
    } else if (t == TYPE_REFINEMENT) {
      if (symbol::same_q(word::symbol_id(&c), word::symbol_id(&words::ref_local))) {
        if (is_fn) locals = u32(function::count_locals(spec, i, false));
        slots += locals;
        break;
      }
      refs++;
      cell e{TYPE_REFINEMENT, 0, word::symbol_id(&c), refs};
      cells::append(cache, &e);
      slots++;
    }
  }
  if (refs > MAX_REFINEMENTS) fire("script", "bad-func-def", &f);
  bool plain = true;
  u32 fixed = 0;
  for (u32 k = 1; k < cells::length(cache); k++) {
    const cell* e = cells::get(cache, k);
    if (type_of(e) != TYPE_TYPESET) break;
    if (((e->header >> KIND_SHIFT) & 3) != ARG_NORMAL) plain = false;
    fixed++;
  }
  cell* h = cells::unstamped_at(cache, 0);
  if (plain && fixed <= LEAN_MAX_ARGS) h->header |= PLAIN | (fixed << FIXED_SHIFT);
  function::cache_slots(h) = slots;
  function::cache_refs(h) = refs;
  function::cache_locals(h) = locals;
  return cache;
}
}  // namespace

namespace {
// An argument cache as build_cache makes it: a header (integer! with the slot, refinement
// and local counts) and one entry per argument (typeset!) or refinement (numbered from 1).
[[maybe_unused]] bool cache_holds(u32 cache) {
  u32 n = cells::length(cache);
  if (n == 0) return false;
  const cell* h = cells::get(cache, 0);
  if (type_of(h) != TYPE_INTEGER || function::cache_refs(h) > MAX_REFINEMENTS) return false;
  u32 refs = 0;
  for (u32 i = 1; i < n; i++) {
    const cell* e = cells::get(cache, i);
    if (type_of(e) == TYPE_REFINEMENT) {
      if (function::ref_number(e) != ++refs) return false;
    } else if (type_of(e) != TYPE_TYPESET) {
      return false;
    }
  }
  return refs == function::cache_refs(h) && function::cache_slots(h) >= n - 1 &&
         fixed_count(h) <= n - 1;
}

[[gnu::noinline]] u32 cache_spec_slow(const cell* fn) {
  cell f = *fn;
  collector::root_guard g(&f);
  u32 cache = build_cache(&f);
  VYR_ASSERT(cache_holds(cache));
  // A function's context has one word per frame slot the cache counts.
  VYR_ASSERT(type_of(&f) != TYPE_FUNCTION ||
             _context::word_count(function::context(&f)) ==
                 function::cache_slots(cells::get(cache, 0)));
  *cells::unstamped_at(function::more(&f), function::MORE_CACHE) = cell{TYPE_BLOCK, 0, cache, 0};
  return cache;
}

inline u32 cache_of(const cell* fn) {
  const cell* slot = cells::get(function::more(fn), function::MORE_CACHE);
  if (type_of(slot) == TYPE_BLOCK) [[likely]] return series::node(slot);
  return cache_spec_slow(fn);
}
}  // namespace

u32 cache_spec(const cell* fn) {
  VYR_ASSERT(function::more(fn) != 0);  // function-like values carry their more-block
  return cache_of(fn);
}

bool same_call_shape(u32 a, u32 b) {
  u32 n = cells::length(a);
  if (n != cells::length(b)) return false;
  for (u32 i = 0; i < n; i++) {
    const cell* x = cells::get(a, i);
    const cell* y = cells::get(b, i);
    if (x->header != y->header) return false;  // type, argument kind and the header flags
    if (i == 0 || type_of(x) == TYPE_TYPESET) {
      if (!same_words(x, y, WORD_1 | WORD_2)) return false;  // counts, or the mask
      if (i == 0 && !same_words(x, y, WORD_3)) return false;
    } else if (!same_words(x, y, WORD_3)) {
      return false;  // a refinement's number
    }
  }
  return true;
}


namespace {
// ---- Entering the callee ------------------------------------------------------------------

void eval_function_traced(const cell& fn, u32 me, u32 slots);
// eval_function's work, answering the cell that holds the body's value when the body ran
// to its end untraced (the data-stack top just past it; the lean call moves it to its
// caller's cell at once), else null with the frame's result set or an exit pending.
VYR_HOT const cell* run_body(const cell& fn, u32 me, u32 slots, bool traced) {
  if (!traced && (tracing || (fn.header & (function::FLAG_TRACE | function::FLAG_NO_TRACE))))
      [[unlikely]] {
    eval_function_traced(fn, me, slots);
    return nullptr;
  }
  VYR_ASSERT(me == stack::frame_top - 1);
  stack::attach_context(function::context(&fn), slots, stack::FLAG_FUNCTION);
  const cell* body = cells::get(function::more(&fn), function::MORE_BODY);
  if (type_of(body) == TYPE_NONE) {
    stack::set_last(cell{TYPE_UNSET, 0, 0, 0});
    return nullptr;
  }
  try {
    if (tracing) [[unlikely]] {
      cell b = *body;
      eval_block(&b, true);
    } else {
      eval_seq(body);  // copies the body before anything can move it
      if (!exit_pending()) [[likely]] return stack::top - 1;
    }
  } catch (thrown& t) {
    if ((t.level != THROW_RETURN && t.level != THROW_EXIT) || exit_target(t) != me) throw;
    stack::unwind_frames(me + 1);
    stack::arguments = stack::base + stack::frames[me].own_args;
    stack::set_last(t.level == THROW_RETURN ? t.value : cell{TYPE_UNSET, 0, 0, 0});
    stack::close_guards();
    return nullptr;
  }
  if (pending && pending_target == me && (pending == THROW_RETURN || pending == THROW_EXIT)) {
    stack::set_last(pending == THROW_RETURN ? pending_value : cell{TYPE_UNSET, 0, 0, 0});
    pending = 0;
  }
  return nullptr;
}

// Runs a function!'s body with its context pointing at the frame `me`, its value left as
// the frame's result. While tracing, or when the function carries a trace flag (it switches
// tracing for its body), the body runs through the trace layer, which calls back here with
// `traced` set.
VYR_HOT void eval_function(const cell& fn, u32 me, u32 slots, bool traced = false) {
  if (const cell* r = run_body(fn, me, slots, traced)) stack::set_last(*r);
}

[[gnu::noinline, gnu::cold]] void eval_function_traced(const cell& fn, u32 me, u32 slots) {
  trace::function_body(
      fn, [](const cell& f, u32 m, u32 n) { eval_function(f, m, n, true); }, me, slots);
}

// Calls a routine's code with the arguments of the current frame, checked already.
VYR_HOT void call_routine(const cell& fn, u32 slots) {
  u32 arity = routine::get_arity(&fn);
  cell* args = stack::arguments;
  u32 more = function::more(&fn);
  routine::code_fn code = routine::code(integer::get(cells::get(more, function::MORE_CODE)));
  if (!code) fire("internal", "not-done");
  u32 result_type = integer::get(cells::get(more, function::MORE_CODE2));
  // Without a result type the result is what the code leaves in the first argument's
  // cell (the argument itself when it writes nothing); with no argument that cell holds
  // no value of the call, so the result is unset!, never what the stack held before.
  if (result_type == 0 && arity == 0) *args = cell{TYPE_UNSET, 0, 0, 0};
  // The result cell stays below the top even without arguments, so that the collector
  // scans what the code builds there.
  stack::top = args + (slots ? slots : 1);
  code(args, arity);
  if (result_type == TYPE_LOGIC && type_of(args) != TYPE_LOGIC) {
    bool t = type_of(args) == TYPE_INTEGER ? integer::get(args) != 0 : type_of(args) != TYPE_NONE;
    *args = cell{TYPE_LOGIC, t ? 1u : 0u, 0, 0};
  }
  stack::keep_first();
}

[[gnu::noinline]] void check_routine_args(const cell& fn, cell* args, u32 arity) {
  // Each argument must have the type its type block names (any-type! accepts anything).
  u32 spec = function::spec(&fn);
  u32 k = 0;
  for (u32 i = 0; i < cells::length(spec) && k < arity; i++) {
    const cell* c = cells::get(spec, i);
    u32 t = type_of(c);
    if (t == TYPE_REFINEMENT || t == TYPE_SET_WORD) break;
    if (t != TYPE_WORD) continue;
    if (i + 1 < cells::length(spec) && type_of(c + 1) == TYPE_BLOCK && cells::remaining(c + 1)) {
      cell item = *cells::get(series::node(&c[1]), series::index(&c[1]));
      if (type_of(&item) != TYPE_WORD) fire("script", "invalid-type-spec", &item);
      if (!symbol::same_q(word::symbol_id(&item), words::sym_any_type_type)) {
        const cell* tv = peek(&item);
        u64 bits = tv ? typecheck::bits_of(tv) : 0;
        if (!((bits >> type_of(args + k)) & 1)) expect_arg(args + k, word::symbol_id(c));
      }
    }
    k++;
  }
}


// A function's slots for its refinements from cache entry `from` on (the first
// refinement): a false slot per refinement and a none! slot per refinement argument.
void push_refinement_slots(u32 cache, u32 from) {
  for (u32 i = from, n = cells::length(cache); i < n; i++) {
    if (type_of(cells::get(cache, i)) == TYPE_TYPESET) *stack::push_slot() = cell{TYPE_NONE, 0, 0, 0};
    else *stack::push_slot() = cell{TYPE_LOGIC, 0, 0, 0};
  }
}

// Pushes the slots a function's or routine's call takes beyond the arguments gathered in
// its frame, and answers how many it has in all. The lean call gathered the fixed arguments
// only: refinements not given are off. Then come the local slots.
VYR_HOT u32 fill_slots(u32 cache, bool lean) {
  const cell* h = cells::get(cache, 0);
  u32 slots = function::cache_slots(h);
  if (lean && function::cache_refs(h)) [[unlikely]] {
    push_refinement_slots(cache, 1 + ((h->header >> FIXED_SHIFT) & FIXED_MASK));
    h = cells::get(cache, 0);
  }
  if (function::cache_locals(h)) function::init_locals(function::cache_locals(h));
  return slots;
}

// Runs a routine's call whose arguments are gathered in the current frame: its slots for
// refinements the lean call did not gather and for locals, then the code. The lean call
// checked the arguments against the cache while it gathered them; any other call checks
// them here. Inline in the lean call only: the code of a predicate costs less than the
// entry of a call.
VYR_HOT void run_routine(const cell& fn, u32 cache, bool lean) {
  u32 slots = fill_slots(cache, lean);
  if (!lean) check_routine_args(fn, stack::arguments, routine::get_arity(&fn));
  call_routine(fn, slots);
}
[[gnu::noinline]] void run_routine_checked(const cell& fn, u32 cache) {
  run_routine(fn, cache, false);
}

// Enters action `n` whose arguments are gathered in the innermost frame. A lean call gives
// no refinement: the hot actions take their direct entry.
VYR_HOT void enter_action(u32 n, const i32* refs, bool lean) {
  try {
    (lean ? actions::lean_entry(n) : actions::entry(n))(refs);
  } catch (const std::bad_alloc&) {
    fire_no_memory();
  }
}

// Runs a call whose arguments and refinements are gathered in frame `me`, by the kind of
// the function value (`cache` is its argument cache, read only by functions and routines
// for their slot and local counts): the one place natives and actions are entered. A C++
// container of the runtime that cannot grow inside a native or action is the language's
// no-memory error, raised from that call like any other: the session goes on.
VYR_HOT void run_call(const cell& fn, u32 me, u32 cache, const i32* refs,
                      bool lean = false) {
  switch (type_of(&fn)) {
    case TYPE_FUNCTION: {
      eval_function(fn, me, fill_slots(cache, lean));
      break;
    }
    case TYPE_NATIVE:
      try {
        natives::entry(native::table_index(&fn))(false, refs);
      } catch (const std::bad_alloc&) {
        fire_no_memory();
      }
      break;
    case TYPE_ACTION:
      enter_action(native::table_index(&fn), refs, lean);
      break;
    case TYPE_ROUTINE:
      if (lean) run_routine(fn, cache, true);
      else run_routine_checked(fn, cache);
      break;
    default:
      fire("internal", "not-done");
  }
}

// Opens the frame of a call of `fn` named by `name` (or anonymous): a copy of the function
// value first unless `copy` is false (an infix call, whose left operand sits there), the
// frame's block keeping the cache and body alive while the arguments are gathered. Answers
// the frame's index.
VYR_HOT u32 open_call(const cell& fn, const cell* name, bool copy,
                      u32 header, bool word_or_null = false) {
  u32 sym = anon_symbol(), word_ctx = 0;
  if (name && (word_or_null || word::any_word_q(type_of(name)))) [[likely]] {
    sym = word::symbol_id(name);
    word_ctx = word::context(name);
  }
  if (copy) push_cell(&fn);
  stack::push_frame_sym(sym, word_ctx, header, function::more(&fn));
  return stack::frame_top - 1;
}
VYR_HOT u32 open_call(const cell& fn, const cell* name, bool copy,
                      bool word_or_null = false) {
  return open_call(fn, name, copy,
                   type_of(&fn) == TYPE_FUNCTION ? stack::HEADER_INTERP_FUNCTION
                                                 : stack::HEADER_INTERP_NATIVE,
                   word_or_null);
}

// ---- Argument sources ---------------------------------------------------------------------
// Where the general gathering loop takes each fixed argument from: `fetch` pushes it and
// answers false when an exit is pending.

// The refinement slots of a block or array source: all off, their arguments none!.
struct refinements_off {
  void optional(const cell&) { *stack::push_slot() = cell{TYPE_NONE, 0, 0, 0}; }
  void flag(const cell&) { *stack::push_slot() = cell{TYPE_LOGIC, 0, 0, 0}; }
};

u32 fetch_one(const cell& entry, u32 node, u32 pos, u32 tail, bool infix) {
  u32 kind = (entry.header >> KIND_SHIFT) & 3;
  tail = live_tail(node, tail);  // an argument before this one may have shortened the block
  if (pos >= tail) {
    if (kind == ARG_LIT && typecheck::accepts(&entry, TYPE_UNSET)) {
      *stack::push_slot() = cell{TYPE_UNSET, 0, 0, 0};
      return pos;
    }
    no_arg(function::arg_symbol(&entry));
  }
  if (kind == ARG_NORMAL) {
    // An inert value or a word holding one, with no operator after it (or none wanted),
    // is the argument itself: no need for a full expression step.
    const cell* c = cells::get(node, pos);
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
      if (tracing) [[unlikely]] {
        // The shortcut still reads the value from the block: report it as eval_next would.
        cell read = *cells::get(node, pos);
        trace_at(trace::EV_FETCH, node, pos, nullptr, &read);
        start = stack::top - 1;
        trace_push(node, pos, start);
      }
      if (infix || pos + 1 >= tail || !op_word(cells::get(node, pos + 1))) return pos + 1;
      // An operator follows: the value is its left operand, as eval_next would have it.
      return apply_infix(node, pos + 1, tail, start, true);
    }
    return eval_next(node, pos, tail, EVAL_PUSH | (infix ? EVAL_NO_INFIX : 0));
  }
  cell v = *cells::get(node, pos);
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

// The arguments that follow in the block under evaluation.
struct block_source : refinements_off {
  u32 node, pos, tail;
  bool infix;
  bool fetch(const cell& entry) {
    pos = fetch_one(entry, node, pos, tail, infix);
    return !exit_pending();
  }
};

// Values given by C++ code, each taken as given.
struct array_source : refinements_off {
  const cell* args;
  u32 n, k;
  bool fetch(const cell& entry) {
    if (k >= n) no_arg(function::arg_symbol(&entry));
    *stack::push_slot() = args[k++];
    return true;
  }
};

// Every slot of a function's argument list given in order by C++ code: each refinement as
// a logic! (on when true) followed by its arguments; missing slots are none! or off.
struct slot_source {
  const cell* slots;
  u32 n, k;
  bool fetch(const cell& entry) {
    *stack::push_slot() = k < n ? slots[k] : cell{TYPE_NONE, 0, 0, 0};
    k++;
    return true;
  }
  void optional(const cell& entry) {
    cell* a = stack::push_slot();
    *a = k < n ? slots[k] : cell{TYPE_NONE, 0, 0, 0};
    k++;
    if (type_of(a) != TYPE_NONE) check_arg(entry, a);
  }
  void flag(const cell& entry) {
    bool on = k < n && type_of(&slots[k]) == TYPE_LOGIC && logic::get(&slots[k]);
    k++;
    *stack::push_slot() = cell{TYPE_LOGIC, on ? 1u : 0u, 0, 0};
  }
};

// The general gathering loop: the fixed arguments from `src`, each checked against its
// entry (the first skipped when `have_first`: an infix call's left operand, already in
// place), then for functions a slot per refinement and per refinement argument, as the
// source gives them. Answers false when an exit is pending.
template <class Source>
bool gather(Source& src, u32 cache, bool is_fn, bool have_first) {
  bool fixed = true, first = true;
  u32 n = cells::length(cache);
  for (u32 i = 1; i < n; i++) {
    cell e = *cells::get(cache, i);
    if (type_of(&e) == TYPE_TYPESET) {
      if (fixed) {
        if (!(have_first && first)) {
          if (!src.fetch(e)) return false;
        }
        check_arg(e, stack::top - 1);
        first = false;
      } else if (is_fn) {
        src.optional(e);
      }
    } else {
      fixed = false;
      if (!is_fn) break;
      src.flag(e);
    }
  }
  return true;
}

// The frame slot of cache entry `i` of a function (entries before it each take one slot).
inline u32 slot_of(u32 i) { return i - 1; }

u32 path_refinements(bool is_fn, u32 cache, const cell* path, u32 from,
                     i32* refs, u32 node, u32 pos, u32 tail) {
  cell p = *path;
  collector::root_guard pg(&p);
  for (u32 k = from; k < cells::length(series::node(&p)); k++) {
    cell e = *cells::get(series::node(&p), k);
    bool on = true;
    if (type_of(&e) == TYPE_GET_WORD) {
      const cell* v = _context::get(&e);
      on = !logic::falsy(v);
    } else if (type_of(&e) != TYPE_WORD) {
      fire("script", "bad-refine", &e);
    }
    u32 i = switch_refinement(cache, word::symbol_id(&e), on, is_fn, refs, &p);
    u32 number = function::ref_number(cells::get(cache, i));
    for (u32 a = i + 1; a < cells::length(cache); a++) {
      cell entry = *cells::get(cache, a);
      if (type_of(&entry) != TYPE_TYPESET) break;
      pos = fetch_one(entry, node, pos, tail, false);
      if (exit_pending()) return pos;
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

}  // namespace

namespace internal {
// The rest of the call of an operator (`fn`, the function it wraps) whose paren operand
// (the data-stack top cell) is evaluated already in the operator's frame: the check and the
// entry call that a number result does without.
[[gnu::noinline]] void paren_operand_call(const cell& fn, cell* operand) {
  check_arg(*cells::get(cache_of(&fn), 2), operand);
  run_call(fn, stack::frame_top - 1, 0, no_refinements);
}

// An infix call of an operator with a fast code whose left operand (at `start`, the
// data-stack top just past it) is an integer!, a float! or a money!: exactly the frame,
// gathering, checks and trace sites of call_function, with the entry call skipped when the
// result is a number operation that cannot fail (money! always takes the call). Every
// native or action made for the entry behind a fast code takes the built-in arguments (make
// refuses others), and those accept all three.
[[gnu::noinline]] u32 number_op_call(cell fn, cell op_word, u32 code, u32 node, u32 pos,
                                      u32 tail, cell* start) {
  const cell* name = &op_word;
  fn.header = op::wrapped_type(&fn);
  if (!tracing && pos < tail && type_of(cells::get(node, pos)) == TYPE_PAREN) [[likely]] {
    paren_operand(code, fn, name, cells::get(node, pos), start);
    return pos + 1;
  }
  native_stack::check();
  if (tracing) [[unlikely]] trace_at(trace::EV_OPEN, node, pos, nullptr, name);
  stack::push_frame_sym(word::symbol_id(name), word::context(name), stack::HEADER_INTERP_NATIVE,
                        function::more(&fn));
  u32 me = stack::frame_top - 1;
  u32 cache = cache_of(&fn);
  stack::top++;
  cell left = *cells::get(cache, 1), right = *cells::get(cache, 2);
  check_arg(left, stack::top - 1);
  pos = fetch_one(right, node, pos, tail, true);
  if (leave_on_exit()) return pos;
  check_arg(right, stack::top - 1);
  cell* operand = stack::top - 1;
  // A word the operand's evaluation answers is the operand itself, never one to look up.
  if (tracing || type_of(operand) == TYPE_WORD || !number_fast(code, start, operand)) {
    if (tracing) [[unlikely]] trace_call(trace::EV_CALL, name, &fn);
    i32 refs[1] = {-1};
    run_call(fn, me, 0, refs);
    stack::leave();
    if (tracing) [[unlikely]] trace_call(trace::EV_RETURN, name, stack::top - 1);
    return pos;
  }
  stack::leave();
  return pos;
}

}  // namespace internal

namespace {
// ---- The lean call ----------------------------------------------------------------------------
// A prefix call, not traced and with no refinement path, of a function!, native! or action!
// whose fixed arguments are all plain (no get- or lit-argument): the same frame, gathering,
// type checks and results as the general call, with its tests for the rarer shapes left out.

// One plain argument, pushed: fetch_one's cases for a normal argument of a prefix call.
VYR_HOT u32 fetch_plain(u32 node, u32 pos, u32 tail) {
  const cell* c = cells::get(node, pos);
  const cell* v = nullptr;
  u32 ct = type_of(c);
  if (inert(ct)) {
    v = c;
  } else if (ct == TYPE_WORD) {
    v = peek(c);
    if (v && !inert(type_of(v))) v = nullptr;
  } else if (ct == TYPE_LIT_WORD) {
    cell* s = push_cell(c);
    set_type(s, TYPE_WORD);  // what its evaluation pushes
    return apply_infix(node, pos + 1, tail, s, true);
  }
  if (!v) {
    // Nested calls recurse through here without passing eval_seq or eval_next.
    native_stack::check();
    return seq_step(node, pos, tail);
  }
  cell* s = push_cell(v);
  // apply_infix stops at once when no operator follows.
  return apply_infix(node, pos + 1, tail, s, true);
}

// Gathers the plain arguments of cache entries [from, to) at `pos`, each checked against
// its entry, and answers the position after them. When an exit is pending it returns at
// once; the caller leaves its frame. Nothing has run since `tail` was read from the block;
// an argument may run code that shortens it for the next one.
VYR_HOT u32 gather_plain(u32 cache, u32 from, u32 to, u32 node, u32 pos,
                         u32 tail) {
  if (from >= to) return pos;
  for (u32 i = from;;) {
    if (pos >= tail) [[unlikely]] no_arg(function::arg_symbol(cells::get(cache, i)));
    pos = fetch_plain(node, pos, tail);
    if (exit_pending()) [[unlikely]] return pos;
    const cell* a = stack::top - 1;
    const cell* e = cells::get(cache, i);  // gathering may have moved the cache's buffer
    if (!map_accepts(map_word(e), type_of(a))) [[unlikely]] expect_arg(a, function::arg_symbol(e));
    if (++i >= to) return pos;
    tail = live_tail(node, tail);  // this argument may have shortened the block
  }
}

// Runs the branch a conditional chose (no lone value, not tracing) in the conditional's
// frame, its value landing in the first argument cell: eval_branch without its call.
// eval_seq copies the block before anything can move it.
VYR_HOT void run_chosen(const cell* branch) {
  cell* a = stack::arguments;
  eval_seq(branch);
  if (!exit_pending()) {
    *a = *(stack::top - 1);
    stack::top = a + 1;
  }
}

// The conditional's result from its condition (the frame's first argument cell) and its
// branches (`blocks`, two of them for either): the chosen branch runs here, in the native's
// frame (reports still name it), its value landing in the first argument cell.
VYR_HOT void run_branch(u32 kind, const cell* blocks) {
  cell* a = stack::arguments;
  const cell* branch = blocks;
  bool falsy = type_of(a) == TYPE_NONE || (type_of(a) == TYPE_LOGIC && logic::get(a) == 0);
  if (kind == COND_EITHER) {
    if (type_of(a) == TYPE_UNSET) [[unlikely]] fire("script", "no-return");
    if (falsy) branch = blocks + 1;
  } else if (falsy != (kind == COND_UNLESS)) {
    branch = nullptr;
  }
  if (!branch) {
    stack::set_last(cell{TYPE_NONE, 0, 0, 0});
  } else if (tracing) [[unlikely]] {
    cell b = *branch;
    eval_branch(&b);  // argument evaluation switched tracing on
  } else {
    // A branch of one value needs no evaluation (eval_seq's own shortcut, without its call).
    u32 node = series::node(branch), pos = series::index(branch);
    if (pos + 1 == cells::length(node)) {
      if (const cell* v = lone_value(node, pos)) {
        *a = *v;
        stack::top = a + 1;
        return;
      }
    }
    run_chosen(branch);
  }
}
}  // namespace

namespace internal {
// The framed part of a call of a built-in conditional (see conditional_call): the lean
// call's frame, gathering and checks, with literal branch blocks read in place. No copy of
// the native goes below its arguments: its frame's block keeps what it needs alive, and the
// result is left in the first argument cell, where the caller wants it.
void call_chosen(const cell& fn, const cell* name, const cell& cond, const cell* branch) {
  // The branch is chosen already: run_branch would choose it again.
  open_call(fn, name, false, stack::HEADER_INTERP_NATIVE, true);
  push_cell(&cond);
  run_chosen(branch);
  stack::leave();
}

u32 conditional_entry(const cell& fn, u32 kind, u32 node, u32 pos, u32 tail, const cell* name) {
  return conditional_call(fn, kind, node, pos, tail, name);
}

u32 call_conditional(const cell& fn, u32 kind, u32 node, u32 pos, u32 tail, const cell* name,
                     u32 after, const cell& cond) {
  u32 nblocks = kind == COND_EITHER ? 2 : 1;
  if (after && literal_branches(node, after, tail, nblocks)) {
    // The frame and the condition as fetch_plain leaves them, in the same order.
    open_call(fn, name, false, stack::HEADER_INTERP_NATIVE, true);
    push_cell(&cond);
    run_branch(kind, cells::get(node, after));
    stack::leave();
    return after + nblocks;
  }
  open_call(fn, name, false, stack::HEADER_INTERP_NATIVE, true);
  if (pos >= tail) [[unlikely]] no_arg(function::arg_symbol(cells::get(cache_of(&fn), 1)));
  pos = fetch_plain(node, pos, tail);  // the condition: any value is accepted
  if (leave_on_exit()) [[unlikely]] return pos;
  tail = live_tail(node, tail);  // the condition may have shortened the block
  const cell* blocks = cells::get(node, pos);
  if (literal_branches(node, pos, tail, nblocks) && !tracing) [[likely]] {
    pos += nblocks;
    run_branch(kind, blocks);
  } else {
    // Any other shape: the branches are gathered and checked as the lean call does.
    pos = gather_plain(cache_of(&fn), 2, 2 + nblocks, node, pos, tail);
    if (leave_on_exit()) [[unlikely]] return pos;
    run_branch(kind, stack::arguments + 1);
  }
  stack::leave();
  return pos;
}

// Neither the lean nor the conditional call checks the machine stack: every way they can
// recurse passes through eval_seq or eval_next, which do.
u32 call_lean(const cell& fn, u32 cache, u32 node, u32 pos, u32 tail, const cell* name) {
  cell* start = stack::top;
  u32 me = open_call(fn, name, true, true);  // a word or nothing names it (see dispatch_call)
  u32 fixed = fixed_count(cells::get(cache, 0));
  pos = gather_plain(cache, 1, 1 + fixed, node, pos, tail);
  if (leave_on_exit()) [[unlikely]] return pos;
  if (type_of(&fn) == TYPE_FUNCTION) [[likely]] {
    // The body's value goes straight over the function's copy, without passing through
    // the frame's result cell.
    if (const cell* r = run_body(fn, me, fill_slots(cache, true), false)) [[likely]] {
      cell v;
      std::memcpy(&v, r, sizeof v);
      stack::leave();
      std::memcpy(start, &v, sizeof v);
      stack::top = start + 1;
      return pos;
    }
  } else {
    // Refinements not given are off: the table of a native or action says so for all of
    // them (run_call gives a routine its slots for them).
    run_call(fn, me, cache, no_refinements, true);
  }
  stack::leave();
  move_result(start);
  return pos;
}

// call_action's frame when the argument at `pos` needs evaluating: the `taken` arguments
// before it pushed as they are, then the lean call's gathering from there on. `callee` is
// the function a word at `pos` holds, or null: the call it starts is made here, as
// fetch_plain and seq_step would make it, without looking the word up again.
[[gnu::noinline]] u32 finish_action(const cell& fn, u32 cache, const cell* args, u32 taken,
                                    u32 node, u32 pos, u32 tail, const cell* name,
                                    const cell* callee) {
  cell* start = stack::top;
  open_call(fn, name, true, true);
  for (u32 i = 0; i < taken; i++) push_cell(&args[i]);
  u32 from = 1 + taken, to = 1 + fixed_count(cells::get(cache, 0));
  if (callee) {
    native_stack::check();
    cell f = *callee;
    cell* s = stack::top;
    pos = dispatch_call(f, node, pos + 1, tail, cells::get(node, pos));
    if (!exit_pending()) pos = apply_infix(node, pos, tail, s);
    if (leave_on_exit()) [[unlikely]] return pos;
    const cell* a = stack::top - 1;
    const cell* e = cells::get(cache, from);
    if (!map_accepts(map_word(e), type_of(a))) [[unlikely]] expect_arg(a, function::arg_symbol(e));
    tail = live_tail(node, tail);  // the call may have shortened the block
    from++;
  }
  pos = gather_plain(cache, from, to, node, pos, tail);
  if (leave_on_exit()) [[unlikely]] return pos;
  enter_action(native::table_index(&fn), no_refinements, true);
  stack::leave();
  move_result(start);
  return pos;
}

// The lean call of an action. Its leading arguments that need no evaluation (an inert
// value, a word holding one, a lit-word) with no operator after them are taken as they
// are, checked as the lean call checks them; the lean call's gathering goes on from the
// first one that needs evaluating. Nothing runs before that one, so the frame and the
// arguments are what the lean call makes of them. pick on a block! by an integer!, which
// can neither fail, allocate nor run code, needs no frame at all: its result is pushed
// while both stacks have room for the call it stands for (an overflow is raised where the
// call would raise it).
//
// The calls handed back to the lean call (an operator after the first argument, say
// `remainder x * 75 + 74 65537`) are decided here, before anything is copied: the taking
// of arguments below needs a large frame, which the ones handed back need not pay for.
constexpr u32 MAX_TAKEN = 3;

// `second` is the value of a word after the first argument, as call_action found it.
[[gnu::noinline]] u32 take_action(const cell& fn, u32 cache, u32 node, u32 pos, u32 tail,
                                  const cell* name, const cell* second) {
  const cell* h = cells::get(cache, 0);
  u32 fixed = fixed_count(h);
  const cell* c = cells::get(node, pos);
  cell args[MAX_TAKEN];
  u32 taken = 0;
  const cell* callee = nullptr;
  for (; taken < fixed; taken++) {
    const cell* v = c + taken;
    u32 t = type_of(v);
    if (t == TYPE_LIT_WORD) {
      std::memcpy(&args[taken], v, sizeof(cell));
      set_type(&args[taken], TYPE_WORD);  // what its evaluation pushes
      t = TYPE_WORD;
    } else {
      if (!inert(t)) {
        if (t != TYPE_WORD) break;
        v = taken == 1 ? second : peek(v);
        if (!v) break;
        t = type_of(v);
        // An operator takes the argument before it as its left operand: that one is
        // gathered with the rest.
        if (t == TYPE_OP) {
          if (taken == 0) return call_lean(fn, cache, node, pos, tail, name);
          taken--;
          break;
        }
        if (!inert(t)) {
          if (callable(t)) callee = v;
          break;
        }
      }
      std::memcpy(&args[taken], v, sizeof(cell));
    }
    if (!map_accepts(map_word(h + 1 + taken), t))
      return call_lean(fn, cache, node, pos, tail, name);  // it reports the type
  }
  if (taken == 0 && !callee) return call_lean(fn, cache, node, pos, tail, name);
  u32 after = pos + taken;
  if (taken < fixed) return finish_action(fn, cache, args, taken, node, after, tail, name, callee);
  if (fixed > 1 && after < tail && op_word(c + fixed))
    return finish_action(fn, cache, args, fixed - 1, node, after - 1, tail, name, nullptr);
  u32 n = native::table_index(&fn);
  if (n == slot::pick && stack::frame_top < stack::frame_end &&
      stack::top + fixed + 1 < stack::push_limit) {
    cell r;
    if (actions::pick_block(&args[0], &args[1], &r)) {
      push_cell(&r);
      return after;
    }
  }
  cell* start = stack::top;
  open_call(fn, name, true, true);
  for (u32 i = 0; i < fixed; i++) push_cell(&args[i]);
  enter_action(n, no_refinements, true);
  stack::leave();
  move_result(start);
  return after;
}

u32 call_action(const cell& fn, u32 cache, u32 node, u32 pos, u32 tail, const cell* name) {
  u32 fixed = fixed_count(cells::get(cache, 0));
  if (fixed == 0 || fixed > MAX_TAKEN || u64{pos} + fixed > tail)
    return call_lean(fn, cache, node, pos, tail, name);
  // An operator after the first argument takes it as its left operand, so nothing can be
  // taken as it is: the lean call gathers them all. The value found for a word there is
  // kept for the taking, which takes it as the second argument.
  const cell* second = nullptr;
  const cell* next = cells::get(node, pos) + 1;
  if (pos + 1 < tail && type_of(next) == TYPE_WORD) {
    second = peek(next);
    if (second && type_of(second) == TYPE_OP) return call_lean(fn, cache, node, pos, tail, name);
  }
  return take_action(fn, cache, node, pos, tail, name, second);
}

// ---- The general call -------------------------------------------------------------------------
// Any call: infix, traced, with refinements from a path, get- and lit-arguments, routines.
u32 call_general(cell fn, u32 node, u32 pos, u32 tail, const cell* name, const cell* path,
                 u32 path_from, bool infix) {
  native_stack::check();
  cell* start = stack::top;
  if (tracing) [[unlikely]] trace_at(trace::EV_OPEN, node, pos, nullptr, name ? name : &fn);
  u32 me = open_call(fn, name, !infix);
  u32 cache = cache_of(&fn);
  u32 t = type_of(&fn);
  bool is_fn = t == TYPE_FUNCTION || t == TYPE_ROUTINE;
  i32 refs[MAX_REFINEMENTS];
  for (u32 r = 0, nrefs = function::cache_refs(cells::get(cache, 0)); r < nrefs; r++) refs[r] = -1;
  if (infix) stack::top++;
  block_source src{{}, node, pos, tail, infix};
  bool gathered = gather(src, cache, is_fn, infix);
  pos = src.pos;
  if (!gathered) {
    stack::leave();
    return pos;
  }
  if (path) {
    pos = path_refinements(is_fn, cache, path, path_from, refs, node, pos, tail);
    if (leave_on_exit()) return pos;
  }
  if (tracing) [[unlikely]] trace_call(trace::EV_CALL, name, &fn);
  run_call(fn, me, cache, refs);
  stack::leave();
  if (tracing) [[unlikely]] trace_call(trace::EV_RETURN, name, stack::top - 1);
  if (!infix) move_result(start);
  return pos;
}
}  // namespace internal

u32 call_function(const cell* fn_in, u32 node, u32 pos, u32 tail, const cell* name,
                  const cell* path, u32 path_from, bool infix) {
  VYR_ASSERT(!pending);
  cell fn = *fn_in;
  if (!infix && !path && !tracing) [[likely]] {
    // The lean and conditional calls take a word or nothing for the name (a value reached
    // through a path may be named by any element).
    if (name && !word::any_word_q(type_of(name))) name = nullptr;
    return dispatch_call(fn, node, pos, tail, name);
  }
  return call_general(fn, node, pos, tail, name, path, path_from, infix);
}

void call(const cell* fn_in, const cell* args, u32 n, cell* result) {
  VYR_ASSERT(!pending);  // C++ callers never hold a pending exit (see interpreter.h)
  cell fn = *fn_in;
  collector::root_guard g(&fn);
  stack::guard sg;
  u32 depth = stack::frame_top;
  struct frame_scope {
    u32 depth;
    ~frame_scope() { stack::unwind_frames(depth); }
  } fs{depth};
  if (type_of(&fn) == TYPE_OP) fn.header = op::wrapped_type(&fn);
  u32 cache = cache_spec(&fn);
  u32 me = open_call(fn, nullptr, true);
  i32 refs[MAX_REFINEMENTS];
  for (u32 r = 0, nrefs = function::cache_refs(cells::get(cache, 0)); r < nrefs; r++) refs[r] = -1;
  // The arguments are gathered and checked by the general loop, each taken as given.
  array_source src{{}, args, n, 0};
  gather(src, cache, type_of(&fn) == TYPE_FUNCTION || type_of(&fn) == TYPE_ROUTINE, false);
  run_gathered(&fn, me, refs);
  raise_pending();
  *result = *stack::arguments;
}

void call_slots(const cell* fn_in, const cell* slots, u32 n, const cell* name, cell* result) {
  VYR_ASSERT(!pending);
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
  stack::push_copy(&fn);
  stack::push_frame_sym(name ? word::symbol_id(name) : anon_symbol(), 0,
                        stack::HEADER_INTERP_FUNCTION, function::more(&fn));
  u32 me = stack::frame_top - 1;
  slot_source src{slots, n, 0};
  gather(src, cache, true, false);
  run_gathered(&fn, me, no_refinements);
  raise_pending();
  *result = *stack::arguments;
}

// Runs a call whose frame `me` (pushed over a copy of the function) already holds its
// gathered arguments: what `apply` uses after gathering by its own modes.
void run_gathered(const cell* fn_in, u32 me, const i32* refs) {
  VYR_ASSERT(!pending && me < stack::frame_top);
  cell fn = *fn_in;
  run_call(fn, me, cache_of(&fn), refs);
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
  VYR_ASSERT(cache_holds(cache));
  u32 canon = symbol::resolve(symbol), i = 1, n = cells::length(cache);
  for (; i < n; i++) {
    const cell* e = cells::get(cache, i);
    if (type_of(e) == TYPE_REFINEMENT && symbol::resolve(word::symbol_id(e)) == canon) break;
  }
  if (i == n) {
    cell fw = stack::current_call_word();
    cell r{TYPE_REFINEMENT, 0, symbol, word::NO_INDEX};
    fire("script", "no-refine", &fw, &r);
  }
  if (is_fn) {
    cell* flag = stack::arguments + (i - 1);  // one frame slot per cache entry before it
    if (type_of(flag) == TYPE_LOGIC && logic::get(flag)) fire("script", "dup-refine", dup_arg);
    *flag = cell{TYPE_LOGIC, on ? 1u : 0u, 0, 0};
  } else {
    u32 number = function::ref_number(cells::get(cache, i));
    if (refs[number - 1] != -1) fire("script", "dup-refine", dup_arg);
    refs[number - 1] = on ? i32(stack::top - stack::arguments) : -2;
  }
  return i;
}

}  // namespace vyr::interpreter
