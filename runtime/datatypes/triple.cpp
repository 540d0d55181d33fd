// triple!: the constructor, the text and registration.
#include "runtime/datatypes/triple.h"

#include <cstdio>

#include "runtime/datatypes/datatype.h"

namespace vyr::triple {

// ---- Constructors -----------------------------------------------------------------------

cell* make_at(cell* c, i32 a, i32 b, i32 c3) {
  *c = cell{TYPE_TRIPLE, static_cast<u32>(a), static_cast<u32>(b), static_cast<u32>(c3)};
  return c;
}

// ---- Actions ----------------------------------------------------------------------------

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  // Three "-2147483648" and the frame fit in 64 characters.
  char text[64];
  std::snprintf(text, sizeof text, "make triple! [%d %d %d]", static_cast<i32>(value->data1),
                static_cast<i32>(value->data2), static_cast<i32>(value->data3));
  return datatype::append_text(out, text, budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  return form(value, out, part, budget);
}

// ---- Registration -----------------------------------------------------------------------

void init() {
  action_row row;  // no parent: every other slot stays unsupported
  row.form = form;
  row.mold = mold;
  datatype::register_(TYPE_TRIPLE, 0, "triple!", row);
}

}  // namespace vyr::triple
