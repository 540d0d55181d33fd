// The comparison natives, `same?` and `not`.
#include "runtime/collector.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/actions.h"
#include "runtime/stack.h"
#include "runtime/natives/domains.h"
#include "runtime/natives/natives.h"

namespace vyr::natives {

namespace {
using stack::arguments;
using logic::falsy;

// Identity: the same series at the same position, bit-identical scalars, the same word
// binding... (see `same?`).
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

}  // namespace

void install_comparison() {
  install(id::equal_q, compare_entry<compare_op::EQUAL>);
  install(id::not_equal_q, compare_entry<compare_op::NOT_EQUAL>);
  install(id::strict_equal_q, compare_entry<compare_op::STRICT_EQUAL>);
  install(id::lesser_q, compare_entry<compare_op::LESSER>);
  install(id::greater_q, compare_entry<compare_op::GREATER>);
  install(id::lesser_or_equal_q, compare_entry<compare_op::LESSER_OR_EQUAL>);
  install(id::greater_or_equal_q, compare_entry<compare_op::GREATER_OR_EQUAL>);
  install(id::same_q, same_q_entry);
  install(id::not_, not_entry);
}

}  // namespace vyr::natives
