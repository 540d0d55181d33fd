// Helpers for the text datatype tests: string-like values made from UTF-8 on the data
// stack (a root), with the result slot kept free below them.
#pragma once
#include <cstring>
#include <string>

#include "runtime/datatypes/char.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "tests/unit/value_helpers.h"

namespace vyr::test {

// A text value on the stack; `unit` forces the buffer's width (1, 2 or 4).
inline cell* text(const std::string& utf8, u32 type = TYPE_STRING, u32 unit = 0) {
  cell* c = stack::push_slot();
  c->header = TYPE_UNSET;
  string::load_at(utf8.data(), static_cast<u32>(utf8.size()), c, string::ENCODING_UTF8);
  if (unit > buffer_of(c->data2)->unit())
    string::widen_to(buffer_of(c->data2), buffer_of(c->data2)->unit(), unit);
  set_type(c, type);
  return c;
}

// The UTF-8 text of a text value from its head.
inline std::string utf8(const cell* c) { return string::to_utf8(c); }

}  // namespace vyr::test
