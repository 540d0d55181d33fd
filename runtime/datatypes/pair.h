// pair!: a two-dimensional integer vector (x in word 2, y in word 3, signed 32 bits).
// Arithmetic is per component on the integer core; a component that cannot stay an integer
// (an overflow, an inexact division, a scale by a float) turns the result into a point2D!.
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::pair {

cell* make_at(cell* c, i32 x, i32 y);
cell* make_in(const cell* block, i32 x, i32 y);
cell* push(i32 x, i32 y);
inline i32 x_of(const cell* c) { return static_cast<i32>(c->data2); }
inline i32 y_of(const cell* c) { return static_cast<i32>(c->data3); }

// 1 for the word x, 2 for y, else 0.
u32 axis(const cell* word);

// The argument cell `index` (0 or 1 at stack::arguments) rewritten as a point2D!.
void to_point2D(u32 index);

// A float as a pair component: truncated toward zero; NaN, an infinity or a value outside
// the 32-bit range raises script invalid-arg with `culprit`.
i32 component_of(double d, const cell* culprit);

// The math of a pair at stack::arguments with the operand after it (math_op codes 0-7).
// With `reversed` the operand is the left side of each operation.
void do_math(i32 op, bool reversed = false);

// A number at stack::arguments with a pair after it: the pair's math with the number as
// the left operand (10 - 3x4 is 7x6, 10 % 3x4 is 1x2).
void number_first(i32 op);

// Actions (arguments as the action slots define them)
const cell* make(const cell* proto, const cell* spec, u32 type);  // also `to`
const cell* random(cell* value, bool seed, bool secure, bool only);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk);
i32 compare(const cell* a, const cell* b, i32 op);
void absolute();
const cell* negate(cell* value);
void add();
void subtract();
void multiply();
void divide();
void remainder();
void and_();
void or_();
void xor_();
const cell* round(cell* value, const cell* scale, const round_flags& mode);
const cell* pick(cell* value, i32 index, const cell* index_cell);
const cell* reverse(cell* value, const cell* part, const cell* skip);

void init();  // registers pair!

}  // namespace vyr::pair
