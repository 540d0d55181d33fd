// Function-making, binding and reflection natives: func, function, does, has, type?, bind,
// in, construct, value?, unset, context? and apply.
#include "runtime/natives/domains.h"

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/native.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/natives/natives.h"
#include "runtime/stack.h"
#include "runtime/interpreter/typecheck.h"
#include "runtime/word_tables.h"

namespace vyr::natives {

namespace {
using stack::arguments;
using interpreter::pending;

constexpr cell UNSET{TYPE_UNSET, 0, 0, 0};
constexpr cell NONE{TYPE_NONE, 0, 0, 0};

inline bool word_kind(u32 t) {
  return t == TYPE_WORD || t == TYPE_SET_WORD || t == TYPE_GET_WORD || t == TYPE_LIT_WORD;
}
// A head index past the tail is clipped to the tail, in the argument cell itself.
inline void clip_head(cell* block) {
  u32 n = cells::length(series::node(block));
  if (series::index(block) > n) series::index(block) = n;
}
// ---- Function makers ---------------------------------------------------------------------

void make_function(const cell& spec_in, const cell& body_in) {
  cell spec = spec_in, body = body_in;
  collector::root_guard g1(&spec), g2(&body);
  clip_head(&spec);
  clip_head(&body);
  u32 flags = function::validate_spec(&spec);
  function::push(&spec, &body, 0, 0, 0, flags);
  stack::set_last(*(stack::top - 1));
}

void func_entry(bool, const i32*) { make_function(arguments[0], arguments[1]); }

void function_entry(bool, const i32*) {
  clip_head(arguments);
  cell spec;
  function::collect_locals(arguments, arguments + 1, &spec);
  collector::root_guard g(&spec);
  make_function(spec, arguments[1]);
}

void does_entry(bool, const i32*) {
  cell spec;
  cells::make_block(&spec, 1);
  collector::root_guard g(&spec);
  make_function(spec, arguments[0]);
}

void has_entry(bool, const i32*) {
  clip_head(arguments);
  // The caller's block stays as it was: /local goes at the head of a copy.
  cell spec;
  cells::make_block(&spec, cells::remaining(arguments) + 1);
  collector::root_guard g(&spec);
  cells::append(series::node(&spec), &words::ref_local);
  for (u32 i = series::index(arguments); i < cells::length(series::node(arguments)); i++) {
    cell w = *cells::get(series::node(arguments), i);
    cells::append(series::node(&spec), &w);
  }
  make_function(spec, arguments[1]);
}

// ---- Reflection --------------------------------------------------------------------------

void type_q_entry(bool, const i32* refs) {
  u32 t = type_of(arguments);
  if (refs[0] != -1) return stack::set_last(*datatype::word_of(t));
  cell dt;
  datatype::make_at(&dt, t);
  stack::set_last(dt);
}

// The value cell of a word in its own context without raising: null when the word is
// unbound, its context has no such slot, or the context is a function's whose call is not
// running (its values then live nowhere).
const cell* peek_word(const cell* w) {
  u32 ctx = word::context(w);
  if (!ctx || word::index(w) == 0xFFFFFFFFu) return nullptr;
  if (read_buffer(ctx)->cells()->header & _context::ON_STACK) {
    u32 ref = _context::values(_context::context_cell(ctx));
    u32 count = 0;
    cell* base = (ref && _context::frame_cells) ? _context::frame_cells(ref, &count) : nullptr;
    if (!base || word::index(w) >= count) return nullptr;
    return base + word::index(w);
  }
  return _context::get(w);
}

void value_q_entry(bool, const i32*) {
  const cell* w = arguments;
  bool has;
  if (word_kind(type_of(w))) {
    const cell* v = peek_word(w);
    has = v && type_of(v) != TYPE_UNSET;
  } else {
    has = type_of(w) != TYPE_UNSET;
  }
  stack::set_last(cell{TYPE_LOGIC, has ? 1u : 0u, 0, 0});
}

void unset_entry(bool, const i32*) {
  cell w = arguments[0];
  if (type_of(&w) == TYPE_WORD) {
    _context::set(&w, &UNSET);
  } else if (type_of(&w) == TYPE_BLOCK) {
    for (u32 i = series::index(&w); i < cells::length(series::node(&w)); i++) {
      cell x = *cells::get(series::node(&w), i);
      if (type_of(&x) == TYPE_WORD) _context::set(&x, &UNSET);
    }
  }
  stack::set_last(UNSET);
}

void context_q_entry(bool, const i32*) {
  u32 ctx = word::context(arguments);
  if (!ctx) return stack::set_last(NONE);
  stack::set_last(*_context::owner_cell(ctx));
}

// ---- Binding -----------------------------------------------------------------------------

// The context a value holds: a word's, an object's, a function's. 0 when it has none.
u32 context_of(const cell* v) {
  switch (type_of(v)) {
    case TYPE_FUNCTION: case TYPE_ROUTINE: case TYPE_OBJECT: case TYPE_ERROR: case TYPE_PORT:
      return function::context(v);
    case TYPE_OP:
      // An op! carries the words of what it wraps.
      if (op::wrapped_type(v) == TYPE_FUNCTION || op::wrapped_type(v) == TYPE_ROUTINE)
        return function::context(v);
      return series::node(cells::get(function::more(v), 2));
    case TYPE_NATIVE: case TYPE_ACTION:
      // The context made from the argument block is kept in the more-block's third cell.
      return series::node(cells::get(function::more(v), 2));
    default:
      return word::kind_q(type_of(v)) ? word::context(v) : 0;
  }
}

void bind_entry(bool, const i32* refs) {
  cell target = arguments[1];
  u32 ctx = context_of(&target);
  if (!ctx) fire("script", "not-defined", &target);
  if (word::kind_q(type_of(arguments))) {
    // Words are looked up as block binding does: letter case does not matter.
    cell w = arguments[0];
    if (_context::bind_word(ctx, &w) >= 0) *arguments = w;
    return stack::keep_first();
  }
  cell block = arguments[0];
  collector::root_guard g(&block);
  if (refs[0] != -1) block::deep_copy_cell(&block);
  _context::bind(&block, ctx, type_of(&target) == TYPE_OBJECT);
  stack::set_last(block);
}

void in_entry(bool, const i32*) {
  u32 ctx = context_of(arguments);
  cell w = arguments[1];
  u32 t = type_of(&w);
  if (!word_kind(t) && t != TYPE_REFINEMENT) return stack::keep_first();
  if (!ctx || _context::bind_word(ctx, &w) < 0) return stack::set_last(NONE);
  if (t == TYPE_REFINEMENT) set_type(&w, TYPE_WORD);
  stack::set_last(w);
}

void construct_entry(bool, const i32* refs) {
  cell spec = arguments[0];
  bool with = refs[0] != -1, only = refs[1] != -1;
  cell proto = with ? arguments[refs[0]] : NONE;
  collector::root_guard g1(&spec), g2(&proto);
  cell out{};
  collector::root_guard g3(&out);
  object::construct(&spec, with ? &proto : nullptr, only, &out);
  stack::set_last(out);
}

// ---- apply -------------------------------------------------------------------------------

// The argument cache as the interpreter builds it: [0] integer! (slots, refinements,
// locals), then a typeset! per argument (kind in header bits 20-21, symbol in word 3) and
// a refinement! per refinement (symbol in word 2, number in word 3).
constexpr u32 ARG_KIND_SHIFT = 20;
constexpr u32 ARG_NORMAL = 0, ARG_GET = 1;
constexpr u32 MAX_REFINEMENTS = 32;
constexpr u32 MODE_ALL = 1, MODE_LIST = 2, MODE_SINGLE = 4;

using interpreter::expect_arg;
inline void check(const cell& entry, const cell* value) { interpreter::check_arg(entry, value); }

// The source of an applied call: the argument block from its head to its tail.
struct source {
  u32 node, pos, tail, mode;
  bool left() const { return pos < tail; }
  // One expression, pushed; in /safer mode it may not reach past its own value.
  void eval_push() {
    u32 end = (mode & MODE_SINGLE) ? pos + 1 : tail;
    pos = interpreter::eval_next(node, pos, end, interpreter::EVAL_PUSH);
  }
};

// Fetches one argument of the entry's kind from the source and pushes it.
void fetch(const cell& entry, source& src) {
  u32 kind = (entry.header >> ARG_KIND_SHIFT) & 3;
  if (kind == ARG_NORMAL) return src.eval_push();
  cell v = *cells::get(src.node, src.pos);
  if (kind == ARG_GET) {
    *stack::push_slot() = v;
    src.pos++;
    return;
  }
  switch (type_of(&v)) {
    case TYPE_PAREN:
      stack::push_frame(&words::word_anon, stack::HEADER_INTERP_NATIVE);
      interpreter::eval_block(&v, true);
      stack::leave();
      break;
    case TYPE_GET_WORD:
      *stack::push_slot() = *_context::get(&v);
      break;
    case TYPE_GET_PATH:
      interpreter::eval_path(&v, src.node, src.pos + 1, src.tail, false, true, true);
      break;
    default:
      *stack::push_slot() = v;
  }
  src.pos++;
}

// Switches a refinement on or off (named by element `e`, from a path or from the source)
// and gathers its arguments from the source.
void take_refinement(const cell& fn, bool is_fn, u32 cache, const cell& e, bool on,
                     i32* refs, source& src) {
  cell named{TYPE_REFINEMENT, 0, word::symbol_id(&e), word::NO_INDEX};
  u32 i = interpreter::switch_refinement(cache, word::symbol_id(&e), on, is_fn, refs, &named);
  u32 number = function::ref_number(cells::get(cache, i));
  for (u32 a = i + 1; a < cells::length(cache); a++) {
    cell entry = *cells::get(cache, a);
    if (type_of(&entry) != TYPE_TYPESET) break;
    if (!src.left()) {
      *stack::push_slot() = NONE;
      if (on) check(entry, stack::top - 1);
    } else {
      fetch(entry, src);
      if (pending) return;
      check(entry, stack::top - 1);
    }
    if (is_fn) {
      if (on) stack::arguments[a - 1] = *(stack::top - 1);
      stack::top--;
    } else if (!on) {
      stack::top--;
    }
  }
  if (!is_fn && !on) refs[number - 1] = -1;
  (void)fn;
}

// A refinement list: the path's elements after its head (word! or get-word!), or what is
// left of the source in plain mode (refinement! or get-word!).
void refinement_list(const cell& fn, bool is_fn, u32 cache, u32 nrefs, const cell* path,
                     i32* refs, source& src) {
  for (u32 k = path ? series::index(path) + 1 : 0;; k++) {
    cell e;
    if (path) {
      if (k >= cells::length(series::node(path))) return;
      e = *cells::get(series::node(path), k);
    } else {
      if (!src.left()) return;
      e = *cells::get(src.node, src.pos);
    }
    bool on = true;
    if (type_of(&e) == TYPE_GET_WORD) {
      const cell* v = _context::get(&e);
      on = !logic::falsy(v);
    } else if (type_of(&e) != (path ? TYPE_WORD : TYPE_REFINEMENT)) {
      if (!nrefs) return;
      fire("script", "bad-refine", &e);
    }
    if (!path) src.pos++;
    take_refinement(fn, is_fn, cache, e, on, refs, src);
    if (pending) return;
  }
}

// Gathers the arguments of `fn` from the block `args` by the mode and runs it; the result
// is left as the newest value (the cell of the pushed function copy).
void apply_call(const cell& fn_in, const cell& name, const cell* path, const cell& args,
                u32 mode) {
  cell fn = fn_in;
  collector::root_guard fg(&fn);
  cell* start = stack::top;
  *stack::push_slot() = fn;
  u32 t = type_of(&fn);
  stack::push_frame(&name, t == TYPE_FUNCTION ? stack::HEADER_INTERP_FUNCTION
                                              : stack::HEADER_INTERP_NATIVE);
  u32 me = stack::frame_top - 1;
  stack::frames[me].block = function::more(&fn);  // keeps the cache and body alive while gathering
  u32 cache = interpreter::cache_spec(&fn);
  collector::node_guard cg(&cache);
  const cell* h = cells::get(cache, 0);
  u32 nrefs = function::cache_refs(h);
  i32 refs[MAX_REFINEMENTS];
  for (u32 r = 0; r < MAX_REFINEMENTS; r++) refs[r] = -1;
  bool is_fn = t == TYPE_FUNCTION || t == TYPE_ROUTINE;
  source src{series::node(&args), series::index(&args), cells::length(series::node(&args)), mode};
  bool positional = (mode & MODE_ALL) && !path;
  bool fixed = true;
  for (u32 i = 1; i < cells::length(cache); i++) {
    cell e = *cells::get(cache, i);
    if (type_of(&e) == TYPE_TYPESET) {
      if (fixed) {
        if (!src.left()) {
          // Tail-completed: the none! is checked like any argument (a native trusts its
          // arguments' types once gathered).
          *stack::push_slot() = NONE;
          check(e, stack::top - 1);
          continue;
        }
        fetch(e, src);
        if (pending) return stack::leave();
        check(e, stack::top - 1);
      } else {
        if (is_fn) *stack::push_slot() = NONE;
        if (positional && src.left()) {
          if (mode & MODE_SINGLE) {
            src.pos++;  // an inactive refinement's value is skipped, not evaluated
          } else {
            cell* keep = stack::top;
            fetch(e, src);
            if (pending) return stack::leave();
            stack::top = keep;
          }
        }
      }
      continue;
    }
    // A refinement.
    if (!positional) {
      fixed = false;
      if (!is_fn) break;
      *stack::push_slot() = cell{TYPE_LOGIC, 0, 0, 0};
      continue;
    }
    bool on = false;
    if (src.left()) {
      cell* at = stack::top;
      src.eval_push();
      if (pending) return stack::leave();
      if (type_of(at) != TYPE_LOGIC) expect_arg(at, word::symbol_id(&e));
      on = logic::get(at) != 0;
      stack::top = at;
    }
    if (is_fn) {
      *stack::push_slot() = cell{TYPE_LOGIC, on ? 1u : 0u, 0, 0};
    } else if (on) {
      refs[function::ref_number(&e) - 1] = i32(stack::top - stack::arguments);
    }
    fixed = on;
  }
  if (path || ((mode & MODE_LIST) && !(mode & MODE_ALL))) {
    refinement_list(fn, is_fn, cache, nrefs, path, refs, src);
    if (pending) return stack::leave();
  }
  interpreter::run_gathered(&fn, me, refs);
  stack::leave();
  *start = *(start + 1);
  stack::top = start + 1;
}

inline bool applicable(u32 t) {
  return t == TYPE_FUNCTION || t == TYPE_ACTION || t == TYPE_NATIVE || t == TYPE_ROUTINE ||
         t == TYPE_OP;
}

void apply_entry(bool, const i32* refs) {
  cell f = arguments[0];
  cell args = arguments[1];
  u32 mode = refs[0] != -1 ? MODE_ALL : MODE_LIST;
  if (refs[1] != -1) mode |= MODE_SINGLE;
  cell fn = f;
  cell name = words::word_applied;
  const cell* path = nullptr;
  u32 t = type_of(&f);
  if (word::any_word_q(t) || (t >= TYPE_PATH && t <= TYPE_GET_PATH)) {
    cell w = f;
    if (t >= TYPE_PATH) {
      path = arguments;
      if (cells::remaining(&f) == 0) fire("script", "invalid-arg", &f);
      w = *cells::get(series::node(&f), series::index(&f));
      if (!word::any_word_q(type_of(&w))) fire("script", "invalid-arg", &f);
    }
    fn = (word::context(&w) && word::index(&w) != 0xFFFFFFFFu) ? *_context::get(&w) : UNSET;
    set_type(&w, TYPE_WORD);
    name = w;
  }
  if (!applicable(type_of(&fn))) fire("script", "invalid-arg", &f);
  if (type_of(&fn) == TYPE_OP) set_type(&fn, op::wrapped_type(&fn));
  collector::root_guard g1(&fn), g2(&name), g3(&args);
  apply_call(fn, name, path, args, mode);
  if (pending) return;
  stack::set_last(*(stack::top - 1));
}

}  // namespace

void install_functions() {
  install(id::func, func_entry);
  install(id::function, function_entry);
  install(id::does, does_entry);
  install(id::has, has_entry);
  install(id::type_q, type_q_entry);
  install(id::bind, bind_entry);
  install(id::in, in_entry);
  install(id::construct, construct_entry);
  install(id::value_q, value_q_entry);
  install(id::unset, unset_entry);
  install(id::context_q, context_q_entry);
  install(id::apply, apply_entry);
}

}  // namespace vyr::natives
