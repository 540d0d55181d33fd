// The value-level work of the math natives (sign tests, zero?, max/min, shift, to-hex,
// trigonometry in degrees, logarithms, NaN?), kept apart from the evaluator so the natives
// stay thin: a native's entry checks its arguments and calls one of these.
#pragma once
#include <string>

#include "runtime/cell.h"

namespace vyr::natives {

// ---- Sign tests: integer!, float!, percent!, time! (money! once it exists) ---------------
// `native` names the calling native in the expect-arg error raised for other types.
// A NaN is neither negative nor positive and has sign 0.
i32 sign_of(const cell* value, const char* native);
bool negative_q(const cell* value);
bool positive_q(const cell* value);
// char!, integer!, float!, percent!, time!, pair!, point2D!, point3D!, tuple!; any other
// type answers false. A NaN is not zero.
bool zero_q(const cell* value);
// True only for a float-layout value holding a NaN; integer! (and every other type) false.
bool nan_value_q(const cell* value);

// ---- max and min ----------------------------------------------------------------------
// Writes the greater (max) or lesser (min) of the two into `v1` and returns it. Composite
// values (pair!, point2D!, point3D!, tuple!) against a scalar keep the composite's type,
// whichever side it was on; other values are ordered by their compare action (ties: max
// gives v1, min gives v2). `v2` may be rewritten.
cell* max_min(cell* v1, cell* v2, bool max);

// ---- Integers -----------------------------------------------------------------------------
i32 shift(i32 data, i32 bits, bool left, bool logical);
// The eight upper-case hexadecimal digits of the value (two's complement), only the last
// `length` of them when `sized` (/size); a length <= 0 raises script invalid-arg.
std::string to_hex_digits(i32 value, bool sized, i32 length);
cell to_hex(i32 value, bool sized, i32 length);  // the digits as an issue!

// ---- Trigonometry ---------------------------------------------------------------------
enum trig_mode : int { TRIG_TANGENT = 0, TRIG_COSINE = 1, TRIG_SINE = 2 };
// Degrees folded into the range where the function keeps its value, then in radians;
// folding makes sine 180 and cosine 90 exactly 0.
double degrees_to_radians(double angle, int mode);
double sine(double angle, bool radians);
double cosine(double angle, bool radians);
double tangent(double angle, bool radians);  // +-90 degrees give +-infinity
double arcsine(double value, bool radians);
double arccosine(double value, bool radians);
double arctangent(double value, bool radians);
double arctangent2(double y, double x, bool radians);

// ---- Logarithms and powers (C library domain rules: NaN or infinity, no error) -----------
double log_2(double x);
double log_10(double x);
double log_e(double x);
double exp(double x);  // a power of the stored constant e
double square_root(double x);

// The number of an integer!, float! or percent! argument (percent! as stored, 50% is 0.5);
// script expect-arg naming `native` for any other type.
double number_of(const cell* value, const char* native);

}  // namespace vyr::natives
