// Printing, comparisons and small natives (see natives_extra.h).
#include "runtime/interpreter/natives_extra.h"

#include <cmath>
#include <string>

#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/interpreter/actions.h"
#include "runtime/interpreter/cells.h"
#include "runtime/interpreter/interpreter.h"
#include "runtime/interpreter/natives.h"
#include "runtime/interpreter/stack.h"
#include "runtime/platform.h"
#include "runtime/word_tables.h"

namespace vyr::natives {

namespace {
using stack::arguments;
using interpreter::pending;

inline bool falsy(const cell* v) {
  return type_of(v) == TYPE_NONE || (type_of(v) == TYPE_LOGIC && v->data1 == 0);
}
inline void set_result(const cell& v) {
  *arguments = v;
  stack::keep_first();
}
}  // namespace

void reduce_block(const cell* block_in, cell* out) {
  cell block = *block_in;
  collector::root_guard g(&block);
  cell result;
  cells::make_block(&result, cells::remaining(&block));
  collector::root_guard rg(&result);
  for (u32 pos = block.data1; pos < cells::length(block.data2);) {
    pos = interpreter::eval_one(block.data2, pos, true);
    interpreter::raise_pending();
    cell v = *(stack::top - 1);
    stack::top--;
    cells::append(result.data2, &v);
  }
  *out = result;
}

namespace {
// ---- Output -----------------------------------------------------------------------------

std::string form_value(const cell* v) {
  stack::guard g;
  cell value = *v;
  collector::root_guard rg(&value);
  if (type_of(&value) == TYPE_BLOCK) {
    cell reduced;
    reduce_block(&value, &reduced);
    value = reduced;
  }
  return string::to_utf8(actions::form_to_string(&value));
}

void print_entry(bool, const i32*) {
  platform::print_text(form_value(arguments), true);
  set_result(cell{TYPE_UNSET, 0, 0, 0});
}

void prin_entry(bool, const i32*) {
  platform::print_text(form_value(arguments), false);
  set_result(cell{TYPE_UNSET, 0, 0, 0});
}

// ---- Comparisons and small natives ------------------------------------------------------

template <i32 OP> void compare_entry(bool, const i32*) {
  bool r;
  if (type_of(arguments) == TYPE_INTEGER && type_of(arguments + 1) == TYPE_INTEGER) {
    // The commonest comparison, without the dispatch.
    i32 a = i32(arguments->data2), b = i32(arguments[1].data2);
    switch (OP) {
      case compare_op::EQUAL: case compare_op::STRICT_EQUAL: case compare_op::SAME: r = a == b; break;
      case compare_op::NOT_EQUAL: r = a != b; break;
      case compare_op::LESSER: r = a < b; break;
      case compare_op::LESSER_OR_EQUAL: r = a <= b; break;
      case compare_op::GREATER: r = a > b; break;
      default: r = a >= b; break;
    }
  } else {
    r = actions::compare(arguments, arguments + 1, OP);
  }
  set_result(cell{TYPE_LOGIC, r ? 1u : 0u, 0, 0});
}

void not_entry(bool, const i32*) { set_result(cell{TYPE_LOGIC, falsy(arguments) ? 1u : 0u, 0, 0}); }

void reduce_entry(bool, const i32*) {
  if (type_of(arguments) != TYPE_BLOCK) return stack::keep_first();
  cell out;
  reduce_block(arguments, &out);
  set_result(out);
}

}  // namespace

void install_extra() {
  install("print", print_entry);
  install("prin", prin_entry);
  install("equal?", compare_entry<compare_op::EQUAL>);
  install("not-equal?", compare_entry<compare_op::NOT_EQUAL>);
  install("strict-equal?", compare_entry<compare_op::STRICT_EQUAL>);
  install("lesser?", compare_entry<compare_op::LESSER>);
  install("greater?", compare_entry<compare_op::GREATER>);
  install("lesser-or-equal?", compare_entry<compare_op::LESSER_OR_EQUAL>);
  install("greater-or-equal?", compare_entry<compare_op::GREATER_OR_EQUAL>);
  install("same?", compare_entry<compare_op::SAME>);
  install("not", not_entry);
  install("reduce", reduce_entry);
}

}  // namespace vyr::natives
