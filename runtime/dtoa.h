// Float <-> decimal text: shortest round-trip digits, correctly rounded parsing, the
// special texts ("1.#INF", "-1.#INF", "1.#NaN") and the float! literal layout.
// Never depends on the C locale.
#pragma once
#include <string>

#include "runtime/cell.h"

namespace vyr::dtoa {

// Point positions reported for the specials; form_float hands such results back as they are.
constexpr int POINT_SPECIAL = 9999;  // infinity, NaN
constexpr int POINT_ZERO = 9998;     // +0.0, -0.0

// The decimal digits of a double: value = 0.d1d2...dn x 10^point, no trailing zeros.
// For the specials (point >= POINT_ZERO) `digits` holds the whole text instead
// ("1.#INF", "-1.#INF", "1.#NaN", "0.0"/"-0.0" with keep_point, else "0"/"-0").
struct float_digits {
  std::string digits;
  int point = 0;
  bool negative = false;
};

// precision <= 0: the shortest digits that read back to the same double; > 0: that many
// significant digits, correctly rounded (trailing zeros dropped).
float_digits float_to_digits(double value, int precision, bool keep_point);

// Text of a double laid out as a float! literal. precision <= 0: shortest round trip;
// > 0: that many significant digits. keep_point: "1.0" rather than "1".
std::string form_float(double value, int precision, bool keep_point);

// Parses already-checked decimal text in [start, end). `adjust` is added to the decimal
// exponent (-2 for percent). `unconsumed`, when given, receives end minus the stop point.
// Too large gives +-infinity and too small +-0.0, without error.
double string_to_float(const char* start, const char* end, int adjust, i32* unconsumed);

}  // namespace vyr::dtoa
