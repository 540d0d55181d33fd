// float!: the 64-bit IEEE double in words 2-3 (low half first). percent! and the seconds
// of time! share the layout, so the math core, the comparison and the text form here
// serve them too. IEEE rules throughout: no error for infinities and NaN.
#pragma once
#include "runtime/datatypes/action_slots.h"
#include "runtime/hooks.h"

namespace vyr::float_ {

extern u32 pretty_print_q;  // 1: form hides binary noise (see form_float)
extern u32 full_support_q;  // set by system/options/float; nothing reads it here

constexpr double EPSILON = 2.220446049250313e-16;        // zero threshold and tolerance
constexpr double ROUNDING_BIAS = 0.49999999999999994;

// Constructors
cell* make_at(cell* c, double value);
cell* make_in(const cell* block, u32 low, u32 high);
cell* push(double value);
cell* push64(u32 low, u32 high);
cell* box(double value);  // into the result slot at stack::arguments
inline double get(const cell* c) { return cell_float(c); }

// Support
bool nan_q(double value);
bool nan_bits_q(double value);   // exponent all ones, mantissa not zero
bool special_q(double value);    // an infinity or NaN
i32 round_to_int(double value);  // adds the rounding bias, truncates toward zero
double get_number(const cell* c);  // integer! or float!, else script bad-to-arg

// Text for form. Kinds: 0 vector float element, 1 float!, 2 vector percent element
// (already times 100), 3 percent! (already times 100), 4 time! seconds, 5 point
// coordinate. The text lives in a static buffer until the next call.
enum form_kind : i32 {
  FORM_VECTOR_FLOAT = 0, FORM_FLOAT = 1, FORM_VECTOR_PERCENT = 2, FORM_PERCENT = 3,
  FORM_TIME = 4, FORM_POINT = 5
};
const char* form_float(double value, i32 kind);

// Math core: the two cells at stack::arguments, math_op codes 0-4; the result replaces
// the first. An integer! first operand is converted.
void do_math(i32 op);
double do_op(double x, double y, i32 op);
bool almost_equal_q(double a, double b);

// Actions (arguments as the action slots define them)
const cell* make(const cell* proto, const cell* spec, u32 type);  // also `to`
const cell* random(cell* value, bool seed, bool secure, bool only);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
i32 compare(const cell* a, const cell* b, i32 op);
void absolute();
void add();
void subtract();
void multiply();
void divide();
void remainder();
void power();
const cell* negate(cell* value);
const cell* round(cell* value, const cell* scale, const round_flags& mode);
bool even_q(const cell* value);
bool odd_q(const cell* value);

void init();  // registers float!

}  // namespace vyr::float_
