// paren!: a block that the evaluator runs as a sub-expression. Only its mold is its own:
// parentheses around the block layout.
#include "runtime/collector.h"
#include "runtime/cycles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/path.h"
#include "runtime/stack.h"

namespace vyr::paren {

cell* push(cell* c) {
  set_type(c, TYPE_PAREN);
  return stack::push_copy(c);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  if (cycles::find(value->data2)) return datatype::append_text(out, "(...)", budget);
  if (!only) budget = datatype::append_text(out, "(", budget);
  bool stopped = false;
  budget = block::mold_body(value, out, only, all, flat, part, budget, indent, &stopped);
  if (!stopped && !only) budget = datatype::append_text(out, ")", budget);
  return budget;
}

void init() {
  action_row row;
  row.mold = mold;
  datatype::register_(TYPE_PAREN, TYPE_BLOCK, "paren!", row);
}

}  // namespace vyr::paren
