// The series and set natives: the block builders `reduce` and `compose`, the new-line
// marker natives, the set operations (union, intersect, unique, difference, exclude), `as`
// and `extend`. The set natives check what the argument types allow and hand the work to
// the block, string, typeset and bitset set engines.
#include "runtime/natives/series_sets.h"

#include <cstring>
#include <optional>
#include <string>

#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/bitset.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/typeset.h"
#include "runtime/datatypes/integer.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/natives/natives.h"
#include "runtime/stack.h"
#include "runtime/natives/domains.h"
#include "runtime/word_tables.h"

namespace vyr::natives {

namespace {
using stack::arguments;
using interpreter::pending;

using logic::falsy;

bool function_q(u32 t) {
  return t == TYPE_FUNCTION || t == TYPE_NATIVE || t == TYPE_ACTION || t == TYPE_OP ||
         t == TYPE_ROUTINE;
}

// Adds values to a target block: at the tail of a block! or hash!, otherwise inserted at a
// cursor that advances so the values keep their order.
class inserter {
 public:
  explicit inserter(const cell* target)
      : cursor_(*target), guard_(&cursor_),
        append_(type_of(target) == TYPE_BLOCK || type_of(target) == TYPE_HASH) {}
  void add(const cell* v) {
    if (append_) {
      cells::append(series::node(&cursor_), v);
    } else {
      block::insert_value(&cursor_, v, false, true);
    }
  }

 private:
  cell cursor_;
  collector::root_guard guard_;
  bool append_;
};

// Gathers the values for a target on the data stack (where the collector sees them) while
// no code runs, and adds them in one go: a fresh target (none! given) is made then, at the
// size of what is gathered plus what is left to read, rather than grown value by value.
// Call flush() before anything that may run code, so that code finds the stack (and its
// limit) as it did; with no room on the stack a value is added at once. The caller keeps
// `target` and each value it adds alive. The first flush of a fresh target adds a root
// guard, which must nest in the caller's: declare the stacker after them.
class stacker {
 public:
  explicit stacker(cell* target) : target_(target), base_(stack::top) {
    if (type_of(target) != TYPE_NONE) ins_.emplace(target);
  }
  stacker(const stacker&) = delete;
  stacker& operator=(const stacker&) = delete;
  // `left` is how many more values are expected, at least.
  void add(const cell* v, u32 left) {
    if (stack::top + 1 < stack::push_limit) [[likely]] {
      *stack::push_slot() = *v;
      return;
    }
    flush(left + 1);
    ins_->add(v);
  }
  void flush(u32 left) {
    u32 n = u32(stack::top - base_);
    if (!ins_) {
      cells::make_block(target_, n + left);
      if (n) {
        series_buffer* dst = buffer_of(series::node(target_));
        std::memcpy(dst->tail_cell(), base_, size_t{n} * sizeof(cell));
        dst->tail += n * u32{sizeof(cell)};
      }
      ins_.emplace(target_);
    } else {
      // Adding may grow the target, and growing may collect: the values stay on the stack
      // until all are added.
      for (u32 i = 0; i < n; i++) ins_->add(base_ + i);
    }
    stack::top = base_;
  }

 private:
  cell* target_;
  cell* base_;
  std::optional<inserter> ins_;
};

// Tells the owner of an /into target which of its cells were added: `before` is the
// target's length before.
void notify_added(const cell* target, u32 before) {
  i32 added = i32(cells::length(series::node(target))) - i32(before);
  if (added <= 0) return;
  bool appended = type_of(target) == TYPE_BLOCK || type_of(target) == TYPE_HASH;
  i32 index = appended ? i32(before) : i32(series::index(target));
  series::notify(target, &words::word_inserted, nullptr, index, added);
}

// A shallow copy of a block value's cells from its head, as a block! (written to out).
void copy_cells(const cell* block, cell* out) {
  cell b = *block;
  collector::root_guard g(&b);
  u32 n = cells::remaining(&b);
  cells::make_block(out, n);
  if (n) {
    // The new block has room for all n; the source is read after the allocation moved it.
    series_buffer* dst = buffer_of(series::node(out));
    std::memcpy(dst->tail_cell(), cells::get(series::node(&b), series::index(&b)),
                size_t{n} * sizeof(cell));
    dst->tail += n * u32{sizeof(cell)};
  }
}

// Evaluates one value as an expression and leaves its result at stack::top - 1.
void eval_single(const cell* value) {
  cell block;
  cells::make_block(&block, 1);
  collector::root_guard g(&block);
  cells::append(series::node(&block), value);
  interpreter::eval_one(series::node(&block), 0, true);
}
}  // namespace

// ---- reduce and compose -------------------------------------------------------------------

bool reduce_into(const cell* block_in, cell* target) {
  cell source = *block_in;
  cell v{TYPE_NONE, 0, 0, 0};
  collector::root_guard g(&source), vg(&v);
  stacker out(target);  // after the guards: it may add one of its own (they nest)
  u32 node = series::node(&source), from = series::index(&source);
  u32 tail = cells::length(node), pos = from;
  // Values that take no call to compute run no code, so nothing can change the block while
  // they are read in place (unless it is the target too: then all is read from the copy).
  if (type_of(target) == TYPE_NONE || series::node(target) != node) {
    while (pos < tail) {
      u32 after = interpreter::simple_expression(node, pos, &v);
      if (!after) break;
      clear_new_line(&v);
      out.add(&v, tail - after);
      pos = after;
    }
  }
  out.flush(tail - pos);
  if (pos >= tail) return true;
  // The expressions run from a copy, so that what they do to the block (or adding to it as
  // the target) cannot change what is being reduced. The copy holds the block from its
  // index, as an error report near an expression shows it.
  cell block;
  copy_cells(&source, &block);
  collector::root_guard bg(&block);
  node = series::node(&block);
  tail = cells::length(node);
  for (pos -= from; pos < tail;) {
    pos = interpreter::eval_one(node, pos, true);
    if (pending) return false;
    v = *(stack::top - 1);
    stack::top--;
    clear_new_line(&v);
    out.add(&v, 0);
    out.flush(tail - pos);
  }
  return true;
}

bool compose_into(const cell* block_in, cell* target, bool deep, bool only) {
  cell block = *block_in;
  collector::root_guard g(&block);
  if (type_of(target) != TYPE_NONE && series::node(&block) == series::node(target)) {
    cell copy;
    copy_cells(&block, &copy);
    block = copy;
  }
  // Values are gathered while no code runs: literal values and parens that take no call to
  // compute (simple_block_value). Anything else adds what is gathered first.
  cell v{TYPE_NONE, 0, 0, 0};  // a paren's value
  collector::root_guard vg(&v);
  stacker out(target);  // after the guards: it may add one of its own (they nest)
  u32 node = series::node(&block);
  for (u32 i = series::index(&block); i < cells::length(node); i++) {
    u32 left = cells::length(node) - i - 1;
    cell c = *cells::get(node, i);
    u32 t = type_of(&c);
    if (t == TYPE_BLOCK) {
      if (deep) {
        out.flush(left + 1);
        cell inner{TYPE_NONE, 0, 0, 0};
        collector::root_guard ig(&inner);
        // The cycle stack bounds the depth: a block that holds itself ends in too-deep,
        // not in a machine-stack overflow.
        cycles::guard depth(series::node(&c));
        if (!compose_into(&c, &inner, true, only)) return false;
        inner.header |= c.header & HEADER_NEW_LINE;
        out.add(&inner, left);
      } else {
        out.add(&c, left);
      }
      continue;
    }
    if (t != TYPE_PAREN) {
      out.add(&c, left);
      continue;
    }
    if (cells::remaining(&c) == 0) continue;
    bool simple = interpreter::simple_block_value(&c, &v);
    if (simple && type_of(&v) == TYPE_BLOCK && !only && type_of(target) != TYPE_NONE &&
        series::node(&v) == series::node(target)) {
      // A paren that names the target splices it as it is by now: what was gathered goes
      // in first, as before code that may run.
      out.flush(left + 1);
    }
    if (!simple) {
      out.flush(left + 1);
      interpreter::eval_block(&c, false);
      if (pending) return false;
      v = *(stack::top - 1);
      stack::top--;
      if (type_of(&v) == TYPE_UNSET) continue;
    }
    if (type_of(&v) == TYPE_BLOCK && !only) {
      // Spliced as the value was: when it is the target's own block, what is added to it
      // is not spliced again.
      u32 vn = series::node(&v), end = cells::length(vn);
      for (u32 k = series::index(&v); k < end && k < cells::length(vn); k++) {
        cell e = *cells::get(vn, k);
        out.add(&e, left);
      }
      continue;
    }
    out.add(&v, left);
  }
  out.flush(0);
  return true;
}

namespace {

inline bool present(const i32* refs, u32 i) { return refs[i] != -1; }

cell datatype_of(u32 type) {
  cell t;
  datatype::make_at(&t, type);
  return t;
}

// ---- Set operations -----------------------------------------------------------------------

inline bool block_kind(u32 t) { return t == TYPE_BLOCK || t == TYPE_HASH; }

// Refinements of every set native: /case, then /skip with its size.
void set_op(i32 op, const i32* refs) {
  bool case_sensitive = present(refs, 0);
  cell skip = present(refs, 1) ? arguments[refs[1]] : cell{TYPE_NONE, 0, 0, 0};
  const cell* skip_arg = present(refs, 1) ? &skip : nullptr;
  u32 ta = type_of(arguments);
  // The engines read the cell after the first set even for unique, where it holds the
  // /case flag: it is given the set itself (the refinements are read by now).
  if (op == block::SET_UNIQUE) arguments[1] = arguments[0];
  if (op != block::SET_UNIQUE) {
    u32 tb = type_of(arguments + 1);
    bool agree = block_kind(ta) ? block_kind(tb) : ta == tb;
    if (!agree) {
      cell a = datatype_of(ta), b = datatype_of(tb);
      fire("script", "expect-val", &a, &b);
    }
  }
  switch (ta) {
    case TYPE_BLOCK:
    case TYPE_HASH:
      block::do_set_op(case_sensitive, skip_arg, op);
      break;
    case TYPE_STRING:
      string::do_set_op(case_sensitive, skip_arg, op);
      break;
    case TYPE_TYPESET:
      typeset::do_bitwise(op);
      break;
    case TYPE_BITSET:
      bitset::do_bitwise(op);
      break;
    case TYPE_DATE:
      if (op == block::SET_DIFFERENCE) {
        // The time between two dates.
        cell r;
        date::difference(arguments, arguments + 1, &r);
        *arguments = r;
        break;
      }
      [[fallthrough]];
    default: {
      cell fn = stack::current_call_word();
      cell t = datatype_of(ta);
      cell arg;
      datatype::word_of_name(op == block::SET_UNIQUE ? "set" : "set1", &arg);
      fire("script", "expect-arg", &fn, &t, &arg);
    }
  }
  stack::keep_first();
}

void union_entry(bool, const i32* refs) { set_op(block::SET_UNION, refs); }
void intersect_entry(bool, const i32* refs) { set_op(block::SET_INTERSECT, refs); }
void unique_entry(bool, const i32* refs) { set_op(block::SET_UNIQUE, refs); }
void difference_entry(bool, const i32* refs) { set_op(block::SET_DIFFERENCE, refs); }
void exclude_entry(bool, const i32* refs) { set_op(block::SET_EXCLUDE, refs); }

// ---- reduce and compose ----------------------------------------------------------------

void reduce_entry(bool, const i32* refs) {
  cell value = arguments[0];
  bool into = refs[0] != -1;
  cell out{TYPE_NONE, 0, 0, 0};
  if (into) out = arguments[refs[0]];
  collector::root_guard vg(&value), og(&out);
  // A block's reduction makes its own target (none! here) at the size it needs.
  u32 before = type_of(&out) == TYPE_NONE ? 0 : cells::length(series::node(&out));
  if (type_of(&value) == TYPE_BLOCK) {
    if (!reduce_into(&value, &out)) return;
    if (into) notify_added(&out, before);
    return stack::set_last(out);
  }
  if (function_q(type_of(&value)) && !into) return stack::set_last(value);
  cell v = value;
  if (!function_q(type_of(&value))) {
    eval_single(&value);
    if (pending) return;
    v = *(stack::top - 1);
    stack::top--;
  }
  if (!into) return stack::set_last(v);
  collector::root_guard g(&v);
  clear_new_line(&v);
  inserter(&out).add(&v);
  notify_added(&out, before);
  stack::set_last(out);
}

void compose_entry(bool, const i32* refs) {
  cell value = arguments[0];
  if (type_of(&value) != TYPE_BLOCK) {
    cell want, got;
    datatype::make_at(&want, TYPE_BLOCK);
    datatype::make_at(&got, type_of(&value));
    fire("script", "expect-val", &want, &got);
  }
  bool deep = refs[0] != -1, only = refs[1] != -1, into = refs[2] != -1;
  cell out{TYPE_NONE, 0, 0, 0};  // without /into, compose_into makes it
  if (into) out = arguments[refs[2]];
  collector::root_guard vg(&value), og(&out);
  u32 before = into ? cells::length(series::node(&out)) : 0;
  if (!compose_into(&value, &out, deep, only)) return;
  if (into) notify_added(&out, before);
  stack::set_last(out);
}

// ---- New-line markers ------------------------------------------------------------------

void new_line_entry(bool, const i32* refs) {
  cell pos = arguments[0];
  bool mark = !falsy(arguments + 1);
  bool all = refs[0] != -1, skip = refs[1] != -1;
  u32 n = cells::length(series::node(&pos));
  if (!all && !skip) {
    if (series::index(&pos) < n) {
      cell* c = cells::at(series::node(&pos), series::index(&pos));
      if (mark) c->header |= HEADER_NEW_LINE; else clear_new_line(c);
    }
    return stack::set_last(pos);
  }
  i32 step = 1;
  if (skip) {
    const cell* size = arguments + refs[1];
    step = integer::get(size);
    if (step <= 0) fire("script", "out-of-range", size);
  }
  for (u32 i = series::index(&pos), k = 0; i < n; i++, k++) {
    bool on_step = step == 1 || k % u32(step) == 0;
    cell* c = cells::at(series::node(&pos), i);
    if (on_step == mark) c->header |= HEADER_NEW_LINE; else clear_new_line(c);
  }
  stack::set_last(pos);
}

void new_line_q_entry(bool, const i32*) {
  cell pos = arguments[0];
  bool on = series::index(&pos) < cells::length(series::node(&pos)) &&
            (cells::get(series::node(&pos), series::index(&pos))->header & HEADER_NEW_LINE);
  stack::set_last(*logic::of(on));
}

// ---- extend and as ------------------------------------------------------------------------

// Objects are not extended by this native; map! brings its own routine.
void extend_entry(bool, const i32* refs) {
  if (type_of(arguments) != TYPE_MAP) fire("internal", "not-done");
  cell m = arguments[0];
  collector::root_guard g(&m);
  map::extend(&m, arguments + 1, present(refs, 0));
  stack::set_last(m);
}

// ---- Conversion -----------------------------------------------------------------------------

inline bool block_family(u32 t) {
  return t == TYPE_BLOCK || t == TYPE_PAREN || t == TYPE_PATH || t == TYPE_LIT_PATH ||
         t == TYPE_SET_PATH || t == TYPE_GET_PATH;
}
inline bool string_family(u32 t) {
  return t == TYPE_STRING || t == TYPE_FILE || t == TYPE_URL || t == TYPE_TAG ||
         t == TYPE_EMAIL || t == TYPE_REF;
}

// The same series, seen as another type of its family: no data is copied.
void as_entry(bool, const i32*) {
  u32 target = type_of(arguments) == TYPE_DATATYPE ? datatype::id(arguments) : type_of(arguments);
  cell spec = arguments[1];
  u32 from = type_of(&spec);
  bool related = (block_family(target) && block_family(from)) ||
                 (string_family(target) && string_family(from));
  if (!related) {
    cell a = datatype_of(target), b = datatype_of(from);
    fire("script", "not-related", &a, &b);
  }
  set_type(&spec, target);
  stack::set_last(spec);
}

}  // namespace

void install_series_sets() {
  install(id::reduce, reduce_entry);
  install(id::compose, compose_entry);
  install(id::new_line, new_line_entry);
  install(id::new_line_q, new_line_q_entry);
  install(id::union_, union_entry);
  install(id::intersect, intersect_entry);
  install(id::unique, unique_entry);
  install(id::difference, difference_entry);
  install(id::exclude, exclude_entry);
  install(id::extend, extend_entry);
  install(id::as, as_entry);
}

}  // namespace vyr::natives
