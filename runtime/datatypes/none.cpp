// none!: constructors, actions and registration.
#include "runtime/datatypes/none.h"

#include "runtime/datatypes/datatype.h"
#include "runtime/stack.h"
#include "runtime/memory.h"

namespace vyr::none {

// ---- Constructors -----------------------------------------------------------------------

cell* make_in(const cell* block) {
  series_buffer* b = buffer_of(block->data2);
  return copy_cell(&none_value, memory::alloc_tail_cell(b));
}
cell* push() { return stack::push_copy(&none_value); }
cell* push_last() { return copy_cell(&none_value, stack::arguments); }

// ---- Actions ----------------------------------------------------------------------------

const cell* make(const cell* proto, const cell* spec, u32 type) { return push_last(); }

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return datatype::append_text(out, "none", budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  return datatype::append_text(out, all ? "#(none)" : "none", budget);
}

i32 compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != TYPE_NONE) return COMPARE_NOT_COMPARABLE;
  switch (op) {
    case compare_op::EQUAL: case compare_op::NOT_EQUAL: case compare_op::STRICT_EQUAL:
    case compare_op::SORT: case compare_op::CASE_SORT: case compare_op::SAME:
    case compare_op::FIND:
      return 0;
    default:
      return COMPARE_NOT_COMPARABLE;
  }
}

i32 length_q(const cell* value) { return -1; }

namespace {
const cell* clear(cell* value) { return push_last(); }
const cell* find(cell* series, const cell* value, const find_args& opts) { return push_last(); }
const cell* remove(cell* series, const cell* part, const cell* key) { return push_last(); }
const cell* take(cell* series, const cell* part, bool deep, bool last) { return push_last(); }
}  // namespace

// ---- Registration -----------------------------------------------------------------------

void init() {
  action_row row;
  row.make = make;
  row.to = make;
  row.form = form;
  row.mold = mold;
  row.compare = compare;
  row.clear = clear;
  row.find = find;
  row.length_q = length_q;
  row.remove = remove;
  row.select = find;
  row.take = take;
  datatype::register_(TYPE_NONE, 0, "none!", row);
}

}  // namespace vyr::none
