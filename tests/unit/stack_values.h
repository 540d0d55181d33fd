// Blocks, words and strings for tests, held on the data stack (a root) so they survive
// collections; callers open a stack::guard.
#pragma once
#include <initializer_list>
#include <string>

#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/interpreter/stack.h"
#include "runtime/memory.h"
#include "tests/unit/value_helpers.h"

namespace vyr::test {

inline cell word_cell(const char* name, u32 type = TYPE_WORD) {
  cell w;
  word::make_at(symbol::make(name), &w);
  set_type(&w, type);
  return w;
}

// A block of the given cells, on the data stack.
inline cell* block_of(std::initializer_list<cell> items) {
  cell* held = stack::push_slot();
  *held = cell{TYPE_NONE, 0, 0, 0};
  for (const cell& c : items) stack::push_copy(&c);  // the items stay rooted meanwhile
  u32 node = memory::alloc_cells(u32(items.size()) + 1);
  series_buffer* b = buffer_of(node);
  for (u32 i = 0; i < items.size(); i++) *memory::alloc_tail_cell(b) = held[1 + i];
  *held = cell{TYPE_BLOCK, 0, node, 0};
  stack::pop_cells(u32(items.size()));
  return held;
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
