// Float <-> decimal text: shortest round-trip digits, correctly rounded parsing, the
// special texts ("1.#INF", "-1.#INF", "1.#NaN") and the float! literal layout.
// Never depends on the C locale.
#pragma once
#include <string>

#include "runtime/cell.h"

namespace vyr::dtoa {

// Text of a double laid out as a float! literal. precision <= 0: shortest round trip;
// > 0: that many significant digits. keep_point: "1.0" rather than "1".
std::string form_float(double value, int precision, bool keep_point);

// Parses already-checked decimal text in [start, end). `adjust` is added to the decimal
// exponent (-2 for percent). `unconsumed`, when given, receives end minus the stop point.
double string_to_float(const char* start, const char* end, int adjust, i32* unconsumed);

}  // namespace vyr::dtoa
