// Small helpers for datatype tests: literal cells, calling stack-form actions, texts of
// values and the category/id of a raised error.
#pragma once
#include <initializer_list>
#include <string>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/string.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"
#include "runtime/stack.h"
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
inline cell char_cell(u32 cp) { return cell{TYPE_CHAR, 0, cp, 0}; }
inline cell float_cell(double d, u32 type = TYPE_FLOAT) {
  cell c{type, 0, 0, 0};
  set_cell_float(&c, d);
  return c;
}

// A block of the given cells, on the data stack (a root); the items stay rooted while the
// block is allocated.
inline cell* block_of(std::initializer_list<cell> items) {
  cell* held = stack::push_slot();
  *held = cell{TYPE_NONE, 0, 0, 0};
  for (const cell& c : items) stack::push_copy(&c);
  u32 node = memory::alloc_cells(u32(items.size()) + 1);
  series_buffer* b = buffer_of(node);
  for (u32 i = 0; i < items.size(); i++) *memory::alloc_tail_cell(b) = held[1 + i];
  *held = cell{TYPE_BLOCK, 0, node, 0};
  stack::pop_cells(u32(items.size()));
  return held;
}

// A text value of `type` from ASCII `text`, on the data stack, its index at `head`.
inline cell* push_string(const char* text, u32 type = TYPE_STRING, u32 head = 0) {
  cell* s = stack::push_slot();
  s->header = TYPE_UNSET;
  string::make_at(s, 16);
  string::concatenate_literal(s, text);
  set_type(s, type);
  s->data1 = head;
  return s;
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
// The same, with "none" when nothing was raised.
template <class F> std::string error_id(F f) {
  std::string e = error_of(f);
  return e.empty() ? "none" : e;
}

// f's result as `show` gives it ("type form" by default), or "category/id" of its error.
template <class F> std::string outcome_of(F f, std::string (*show)(const cell&) = describe) {
  cell r{};
  std::string err = error_of([&] { r = f(); });
  return err.empty() ? show(r) : err;
}
// The same for a stack-form action on (a, b).
inline std::string outcome(void (*entry)(), const cell& a, const cell& b,
                           std::string (*show)(const cell&) = describe) {
  return outcome_of([&] { return call2(entry, a, b); }, show);
}

}  // namespace vyr::test
