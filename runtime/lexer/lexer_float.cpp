// Float text of `make`/`to float!`: the source-text float syntax, then correctly rounded
// conversion. Kept apart so that only its users link the float text converter.
#include <cmath>
#include <limits>

#include "runtime/datatypes/string.h"
#include "runtime/dtoa.h"
#include "runtime/lexer/lexer_numbers.h"

namespace vyr::lexer {

double string_to_float(const char* p, i32 count, u32 unit, i32* error) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  if (count < 1 || count > 312) { *error = -1; return nan; }
  char buf[313];
  i32 n = 0;
  for (i32 i = 0; i < count; i++) {
    u32 c = string::get_char(p + i64(i) * unit, unit);
    if (c == 0 || c > 0x7F) { *error = -1; return nan; }
    buf[n++] = c == ',' ? '.' : static_cast<char>(c);
  }
  if (!float_syntax_q(buf, buf + n)) { *error = -1; return nan; }
  i32 m = 0;
  for (i32 i = 0; i < n; i++)
    if (buf[i] != '\'') buf[m++] = buf[i];
  buf[m] = 0;
  i32 unconsumed = 0;
  double d = dtoa::string_to_float(buf, buf + m, 0, &unconsumed);
  if (unconsumed != 0) { *error = -1; return nan; }
  return d;
}

}  // namespace vyr::lexer
