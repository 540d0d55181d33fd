// unset!: constructors, actions and registration.
#include "runtime/datatypes/unset.h"

#include "runtime/datatypes/datatype.h"
#include "runtime/stack.h"
#include "runtime/memory.h"

namespace vyr::unset {

// ---- Constructors -----------------------------------------------------------------------

cell* make_in(const cell* block) {
  series_buffer* b = buffer_of(block->data2);
  return copy_cell(&unset_value, memory::alloc_tail_cell(b));
}
cell* push() { return stack::push_copy(&unset_value); }
cell* push_last() { return copy_cell(&unset_value, stack::arguments); }

// ---- Actions ----------------------------------------------------------------------------

const cell* make(const cell* proto, const cell* spec, u32 type) { return push_last(); }

i32 form(const cell* value, cell* out, const cell* part, i32 budget) { return budget; }

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  return datatype::append_text(out, all ? "#(unset)" : "unset", budget);
}

i32 compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != TYPE_UNSET) return COMPARE_NOT_COMPARABLE;
  switch (op) {
    case compare_op::EQUAL: case compare_op::NOT_EQUAL: case compare_op::STRICT_EQUAL:
    case compare_op::SORT: case compare_op::CASE_SORT: case compare_op::SAME:
    case compare_op::FIND:
      return 0;
    default:
      return COMPARE_NOT_COMPARABLE;
  }
}

// ---- Registration -----------------------------------------------------------------------

void init() {
  action_row row;
  row.make = make;
  row.to = make;
  row.form = form;
  row.mold = mold;
  row.compare = compare;
  datatype::register_(TYPE_UNSET, 0, "unset!", row);
}

}  // namespace vyr::unset
