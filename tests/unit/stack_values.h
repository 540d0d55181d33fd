// Blocks, words and strings for tests, held on the data stack (a root) so they survive
// collections; callers open a stack::guard.
#pragma once
#include <string>

#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/stack.h"
#include "runtime/memory.h"
#include "tests/unit/value_helpers.h"

namespace vyr::test {

inline cell word_cell(const char* name, u32 type = TYPE_WORD) {
  cell w;
  word::make_at(symbol::make(name), &w);
  set_type(&w, type);
  return w;
}

inline cell* string_of(const char* text) {
  cell* c = stack::push_slot();
  *c = cell{TYPE_NONE, 0, 0, 0};
  cell s{};
  string::load_at(text, u32(std::strlen(text)), &s, string::ENCODING_UTF8);
  *c = s;
  return c;
}

inline cell* block_item(const cell* block, u32 i) {
  return buffer_of(block->data2)->cells() + block->data1 + i;
}

}  // namespace vyr::test
