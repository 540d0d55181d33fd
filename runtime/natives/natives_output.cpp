// Comparisons, identity, reduce, compose, print/prin, new-line markers and stats (see
// natives_output.h).
#include "runtime/natives/natives_output.h"

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
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/datatypes/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/natives/natives.h"
#include "runtime/stack.h"
#include "runtime/memory_stats.h"
#include "runtime/platform.h"
#include "runtime/print_hooks.h"
#include "runtime/word_tables.h"

namespace vyr::natives {

bool last_print_line_break = true;

namespace {
using stack::arguments;
using interpreter::pending;

using logic::falsy;

bool function_q(u32 t) {
  return t == TYPE_FUNCTION || t == TYPE_NATIVE || t == TYPE_ACTION || t == TYPE_OP ||
         t == TYPE_ROUTINE;
}

// The scratch block print reduces into: nested prints stack their values at its tail and
// take them off again, so one block serves them all.
cell print_scratch{TYPE_NONE, 0, 0, 0};

// Adds values to a target block: at the tail of a block! or hash!, otherwise inserted at a
// cursor that advances so the values keep their order.
class inserter {
 public:
  explicit inserter(const cell* target)
      : cursor_(*target), guard_(&cursor_),
        append_(type_of(target) == TYPE_BLOCK || type_of(target) == TYPE_HASH) {}
  void add(const cell* v) {
    if (append_) {
      cells::append(cursor_.data2, v);
    } else {
      block::insert_value(&cursor_, v, false, true);
    }
  }

 private:
  cell cursor_;
  collector::root_guard guard_;
  bool append_;
};

// Tells the owner of an /into target which of its cells were added: `before` is the
// target's length before.
void notify_added(const cell* target, u32 before) {
  i32 added = i32(cells::length(target->data2)) - i32(before);
  if (added <= 0) return;
  bool appended = type_of(target) == TYPE_BLOCK || type_of(target) == TYPE_HASH;
  i32 index = appended ? i32(before) : i32(target->data1);
  series::notify(target, &words::word_inserted, nullptr, index, added);
}

// A shallow copy of a block value's cells from its head, as a block! (written to out).
void copy_cells(const cell* block, cell* out) {
  cell b = *block;
  collector::root_guard g(&b);
  u32 n = cells::remaining(&b);
  cells::make_block(out, n);
  if (n) {
    cell from = b;
    block::rs_append_block(out, &from);
  }
}

// Evaluates one value as an expression and leaves its result at stack::top - 1.
void eval_single(const cell* value) {
  cell block;
  cells::make_block(&block, 1);
  collector::root_guard g(&block);
  cells::append(block.data2, value);
  interpreter::eval_one(block.data2, 0, true);
}
}  // namespace

// ---- Identity -----------------------------------------------------------------------------

bool same_q(const cell* a, const cell* b) {
  u32 t = type_of(a);
  if (t != type_of(b)) return false;
  switch (t) {
    case TYPE_DATATYPE: case TYPE_LOGIC: case TYPE_OBJECT:
      return a->data1 == b->data1;
    case TYPE_CHAR: case TYPE_INTEGER: case TYPE_BITSET:
      return a->data2 == b->data2;
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_PATH: case TYPE_LIT_PATH:
    case TYPE_SET_PATH: case TYPE_GET_PATH: case TYPE_HASH: case TYPE_STRING:
    case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
    case TYPE_BINARY: case TYPE_VECTOR: case TYPE_IMAGE:
    case TYPE_NATIVE: case TYPE_ACTION: case TYPE_POINT2D:
      return a->data1 == b->data1 && a->data2 == b->data2;
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_PAIR: case TYPE_TIME: case TYPE_OP:
      return a->data2 == b->data2 && a->data3 == b->data3;
    case TYPE_TUPLE:
      return ((a->header >> 19) & 0xF) == ((b->header >> 19) & 0xF) &&
             actions::compare_value(a, b, compare_op::EQUAL) == 0;
    case TYPE_NONE: case TYPE_UNSET:
      return true;
    case TYPE_MONEY:
      return actions::compare_value(a, b, compare_op::SAME) == 0;
    default:
      return a->data1 == b->data1 && a->data2 == b->data2 && a->data3 == b->data3;
  }
}

// ---- reduce and compose -------------------------------------------------------------------

bool reduce_into(const cell* block_in, const cell* target) {
  // The expressions run from a copy, so that what they do to the block (or adding to it as
  // the target) cannot change what is being reduced.
  cell block;
  copy_cells(block_in, &block);
  collector::root_guard g(&block);
  inserter ins(target);
  u32 node = block.data2;
  for (u32 pos = 0; pos < cells::length(node);) {
    pos = interpreter::eval_one(node, pos, true);
    if (pending) return false;
    cell v = *(stack::top - 1);
    stack::top--;
    clear_new_line(&v);
    ins.add(&v);
  }
  return true;
}

bool compose_into(const cell* block_in, const cell* target, bool deep, bool only) {
  cell block = *block_in;
  collector::root_guard g(&block);
  if (block.data2 == target->data2) {
    cell copy;
    copy_cells(&block, &copy);
    block = copy;
  }
  inserter ins(target);
  u32 node = block.data2;
  for (u32 i = block.data1; i < cells::length(node); i++) {
    cell c = *cells::at(node, i);
    u32 t = type_of(&c);
    if (t == TYPE_BLOCK) {
      if (deep) {
        cell inner;
        cells::make_block(&inner, cells::remaining(&c));
        collector::root_guard ig(&inner);
        // The cycle stack bounds the depth: a block that holds itself ends in too-deep,
        // not in a machine-stack overflow.
        cycles::guard depth(c.data2);
        if (!compose_into(&c, &inner, true, only)) return false;
        inner.header |= c.header & HEADER_NEW_LINE;
        ins.add(&inner);
      } else {
        ins.add(&c);
      }
      continue;
    }
    if (t != TYPE_PAREN) {
      ins.add(&c);
      continue;
    }
    if (cells::remaining(&c) == 0) continue;
    interpreter::eval_block(&c, false);
    if (pending) return false;
    cell v = *(stack::top - 1);
    stack::top--;
    collector::root_guard vg(&v);
    if (type_of(&v) == TYPE_UNSET) continue;
    if (type_of(&v) == TYPE_BLOCK && !only) {
      for (u32 k = v.data1; k < cells::length(v.data2); k++) {
        cell e = *cells::at(v.data2, k);
        ins.add(&e);
      }
      continue;
    }
    ins.add(&v);
  }
  return true;
}

// ---- Output -------------------------------------------------------------------------------

void console_value_hook(const cell* value, bool flag) {
  u32 t = type_of(value);
  if (t != TYPE_STRING && t != TYPE_FILE && t != TYPE_URL) return;
  platform::print_text(string::to_utf8(value), flag);
}

namespace {

// Reduces the block into the scratch block's tail and forms what it added; the added cells
// are taken off again on every exit. Answers false when an exit became pending.
bool form_reduced(const cell* block, cell* text) {
  u32 node = print_scratch.data2;
  u32 start = cells::length(node);
  struct restore {
    u32 node, start;
    ~restore() {
      series_buffer* b = buffer_of(node);
      if (b->used_units() > start) b->tail = b->offset + start * 16;
    }
  } r{node, start};
  cell at{TYPE_BLOCK, start, node, 0};
  if (!reduce_into(block, &at)) return false;
  *text = *actions::form_to_string(&at);
  return true;
}

void output(bool line_break) {
  cell value = *arguments;
  cell text{TYPE_NONE, 0, 0, 0};
  collector::root_guard tg(&text);
  {
    stack::guard g;
    if (type_of(&value) == TYPE_BLOCK) {
      if (!form_reduced(&value, &text)) return;
    } else if (type_of(&value) == TYPE_STRING) {
      text = value;
      u32 n = buffer_of(text.data2)->used_units();
      if (text.data1 > n) text.data1 = n;
    } else {
      text = *actions::form_to_string(&value);
    }
  }
  last_print_line_break = line_break;
  platform::fire_value_print_hooks(&text, line_break);
  stack::set_last(cell{TYPE_UNSET, 0, 0, 0});
}

void print_entry(bool, const i32*) { output(true); }
void prin_entry(bool, const i32*) { output(false); }

// ---- Comparisons -----------------------------------------------------------------------

template <i32 OP> void compare_entry(bool, const i32*) {
  bool r;
  if (type_of(arguments) == TYPE_INTEGER && type_of(arguments + 1) == TYPE_INTEGER) {
    // The commonest comparison, without the dispatch.
    i32 a = i32(arguments->data2), b = i32(arguments[1].data2);
    switch (OP) {
      case compare_op::EQUAL: case compare_op::STRICT_EQUAL: r = a == b; break;
      case compare_op::NOT_EQUAL: r = a != b; break;
      case compare_op::LESSER: r = a < b; break;
      case compare_op::LESSER_OR_EQUAL: r = a <= b; break;
      case compare_op::GREATER: r = a > b; break;
      default: r = a >= b; break;
    }
  } else {
    r = actions::compare(arguments, arguments + 1, OP);
  }
  stack::set_last(*logic::of(r));
}

void same_q_entry(bool, const i32*) {
  stack::set_last(*logic::of(same_q(arguments, arguments + 1)));
}
void not_entry(bool, const i32*) { stack::set_last(*logic::of(falsy(arguments))); }

// ---- reduce and compose ----------------------------------------------------------------

void reduce_entry(bool, const i32* refs) {
  cell value = arguments[0];
  bool into = refs[0] != -1;
  cell out{TYPE_NONE, 0, 0, 0};
  if (into) out = arguments[refs[0]];
  collector::root_guard vg(&value), og(&out);
  if (!into && type_of(&value) == TYPE_BLOCK) cells::make_block(&out, cells::remaining(&value));
  u32 before = type_of(&out) == TYPE_NONE ? 0 : cells::length(out.data2);
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
  cell out{TYPE_NONE, 0, 0, 0};
  if (into) out = arguments[refs[2]];
  else cells::make_block(&out, cells::remaining(&value));
  collector::root_guard vg(&value), og(&out);
  u32 before = cells::length(out.data2);
  if (!compose_into(&value, &out, deep, only)) return;
  if (into) notify_added(&out, before);
  stack::set_last(out);
}

// ---- New-line markers ------------------------------------------------------------------

void new_line_entry(bool, const i32* refs) {
  cell pos = arguments[0];
  bool mark = !falsy(arguments + 1);
  bool all = refs[0] != -1, skip = refs[1] != -1;
  u32 n = cells::length(pos.data2);
  if (!all && !skip) {
    if (pos.data1 < n) {
      cell* c = cells::at(pos.data2, pos.data1);
      if (mark) c->header |= HEADER_NEW_LINE; else clear_new_line(c);
    }
    return stack::set_last(pos);
  }
  i32 step = 1;
  if (skip) {
    const cell* size = arguments + refs[1];
    step = i32(size->data2);
    if (step <= 0) fire("script", "out-of-range", size);
  }
  for (u32 i = pos.data1, k = 0; i < n; i++, k++) {
    bool on_step = step == 1 || k % u32(step) == 0;
    cell* c = cells::at(pos.data2, i);
    if (on_step == mark) c->header |= HEADER_NEW_LINE; else clear_new_line(c);
  }
  stack::set_last(pos);
}

void new_line_q_entry(bool, const i32*) {
  cell pos = arguments[0];
  bool on = pos.data1 < cells::length(pos.data2) &&
            (cells::at(pos.data2, pos.data1)->header & HEADER_NEW_LINE);
  stack::set_last(*logic::of(on));
}

// ---- stats -----------------------------------------------------------------------------

void stats_entry(bool, const i32* refs) {
  bool show = refs[0] != -1, info = refs[1] != -1;
  if (!show && !info) return stack::set_last(memory::count_value(memory::stats(nullptr, 1)));
  cell block;
  cells::make_block(&block, 5);
  collector::root_guard g(&block);
  memory::stats(&block, 2);
  if (!show) return stack::set_last(block);
  // The library prints the block; without it there is nothing to show it with.
  cell w = _context::global_word(symbol::make("show-memory-stats"));
  const cell* fn = _context::get(&w);
  if (!function_q(type_of(fn))) fire("internal", "not-done");
  cell f = *fn;
  collector::root_guard fg(&f);
  cell ignored;
  interpreter::call(&f, &block, 1, &ignored);
  stack::set_last(cell{TYPE_UNSET, 0, 0, 0});
}
}  // namespace

void install_output() {
  if (type_of(&print_scratch) != TYPE_BLOCK) {
    cells::make_block(&print_scratch, 16);
    collector::add_root(&print_scratch);
  }
  install("print", print_entry);
  install("prin", prin_entry);
  install("equal?", compare_entry<compare_op::EQUAL>);
  install("not-equal?", compare_entry<compare_op::NOT_EQUAL>);
  install("strict-equal?", compare_entry<compare_op::STRICT_EQUAL>);
  install("lesser?", compare_entry<compare_op::LESSER>);
  install("greater?", compare_entry<compare_op::GREATER>);
  install("lesser-or-equal?", compare_entry<compare_op::LESSER_OR_EQUAL>);
  install("greater-or-equal?", compare_entry<compare_op::GREATER_OR_EQUAL>);
  install("same?", same_q_entry);
  install("not", not_entry);
  install("reduce", reduce_entry);
  install("compose", compose_entry);
  install("stats", stats_entry);
  install("new-line", new_line_entry);
  install("new-line?", new_line_q_entry);
}

}  // namespace vyr::natives
