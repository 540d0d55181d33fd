// percent!: constructors, the text, and registration over float!'s row.
#include "runtime/datatypes/percent.h"

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/stack.h"
#include "runtime/memory.h"

namespace vyr::percent {

// ---- Constructors -----------------------------------------------------------------------

cell* make_at(cell* c, double value) {
  *c = cell{TYPE_PERCENT, 0, 0, 0};
  set_cell_float(c, value);
  return c;
}
cell* set(cell* c, u32 low, u32 high) {
  *c = cell{TYPE_PERCENT, 0, low, high};
  return c;
}
cell* make_in(const cell* block, u32 low, u32 high) {
  series_buffer* b = buffer_of(block->data2);
  return set(memory::alloc_tail_cell(b), low, high);
}
cell* push(double value) { return make_at(stack::push_slot(), value); }
cell* push64(u32 low, u32 high) { return set(stack::push_slot(), low, high); }
cell* box(double value) { return make_at(stack::arguments, value); }

// ---- Actions ----------------------------------------------------------------------------

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  const char* text = float_::form_float(get(value) * 100.0, float_::FORM_PERCENT);
  return datatype::append_text(out, text, budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  return form(value, out, part, budget);
}

// ---- Registration -----------------------------------------------------------------------

void init() {
  action_row row;  // make, random, to, compare and the math come from float!
  row.form = form;
  row.mold = mold;
  datatype::register_(TYPE_PERCENT, TYPE_FLOAT, "percent!", row);
}

}  // namespace vyr::percent
