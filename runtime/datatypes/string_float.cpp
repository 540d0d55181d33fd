// string/to-float: decimal text to a double through the float text module. Kept apart from
// string.cpp so that linking the string core does not pull in the float conversion.
#include "runtime/datatypes/string.h"
#include "runtime/dtoa.h"

namespace vyr::string {

double to_float(const char* text, u32 start, u32 length, i32* error) {
  i32 unconsumed = 0;
  double d = dtoa::string_to_float(text + start, text + start + length, 0, &unconsumed);
  if (error) *error = unconsumed != 0 ? 1 : 0;
  return d;
}

}  // namespace vyr::string
