// Range-checked integer extraction.
#include "runtime/cell_checks.h"

#include <cmath>

#include "runtime/fire.h"

namespace vyr::cell_ {

i32 get_int_checked(const cell* v) {
  if (type_of(v) == TYPE_INTEGER) return static_cast<i32>(v->data2);
  if (type_of(v) == TYPE_FLOAT) {
    double d = cell_float(v);
    if (std::isnan(d) || d > 2147483647.0 || d < -2147483648.0) fire("script", "out-of-range", v);
    return static_cast<i32>(std::trunc(d));
  }
  fire("script", "invalid-arg", v);
}

}  // namespace vyr::cell_
