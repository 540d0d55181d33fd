// Small helpers for datatype tests: literal cells, calling stack-form actions, texts of
// values and the category/id of a raised error.
#pragma once
#include <string>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/string.h"
#include "runtime/fire.h"
#include "runtime/interpreter/actions.h"
#include "runtime/interpreter/stack.h"
#include "tests/unit/fixture.h"

namespace vyr::test {

// Empties the data stack and reserves its first cell as the result slot that action
// implementations write into, so that they never overwrite a test's own stack cells.
inline void fresh_stack() {
  ensure_runtime();
  stack::reset();
  *stack::push_slot() = cell{TYPE_NONE, 0, 0, 0};
}

inline cell int_cell(i32 v) { return cell{TYPE_INTEGER, 0, static_cast<u32>(v), 0}; }
inline cell float_cell(double d, u32 type = TYPE_FLOAT) {
  cell c{type, 0, 0, 0};
  set_cell_float(&c, d);
  return c;
}

// Runs a stack-form action on (a, b) from an empty stack and returns the result slot.
inline cell call2(void (*entry)(), const cell& a, const cell& b) {
  stack::reset();
  stack::push_copy(&a);
  stack::push_copy(&b);
  entry();
  cell r = *stack::arguments;
  stack::reset();
  return r;
}

inline std::string form_text(const cell& v) {
  stack::guard g;
  return string::to_utf8(actions::form_to_string(&v));
}
inline std::string mold_text(const cell& v, bool all = false) {
  stack::guard g;
  return string::to_utf8(actions::mold_to_string(&v, all));
}

// "integer! 3", "float! 3.5": the type's name and the value's form (float text through
// form, which does not depend on the shortest-digits formatter).
inline std::string describe(const cell& v) {
  return std::string(datatype::name_of(type_of(&v))) + " " + form_text(v);
}

// "category/id" of the error raised by f, or "" when nothing was raised.
template <class F> std::string error_of(F f) {
  try {
    f();
  } catch (const thrown& t) {
    return std::string(t.category) + "/" + t.id;
  }
  return "";
}

}  // namespace vyr::test
