// integer!: the 32-bit signed integer (word 2). Arithmetic never wraps: a sum, difference
// or product that does not fit and an inexact division give a float! instead; only the
// cases without a float answer raise math errors.
#pragma once
#include "runtime/datatypes/action_slots.h"
#include "runtime/hooks.h"

namespace vyr::integer {

// Constructors
cell* make_at(cell* c, i32 value);
cell* make_in(const cell* block, i32 value);
cell* push(i32 value);
cell* box(i32 value);  // into the result slot at stack::arguments
inline i32 get(const cell* c) { return static_cast<i32>(c->data2); }
inline void set(cell* c, i32 value) { c->data2 = static_cast<u32>(value); }
i32 get_arg();          // of the cell at stack::arguments
i32 get_arg_or_zero();  // of that cell when it is an integer!, else 0

// Support
i32 get_sign(i32 value);        // -1, 0 or 1
i32 abs(i32 value);             // -2147483648 raises math overflow
bool overflow_q(const cell* f); // a float-layout cell outside the integer range, or NaN
// Decimal text in a static buffer, valid until the next call.
const char* form_signed(i32 value);
// left op right (math_op codes 0-7). With a result cell, an overflow or an inexact
// division turns it into a float! holding the exact answer; without one they raise math
// overflow. An integer result is also stored in the result cell when one is given.
i32 do_math_op(i32 left, i32 right, i32 op, cell* result);
// The first (at most 4) bytes of a binary! from its head, most significant first.
i32 from_binary(const cell* binary);
i32 from_hex(const cell* issue);  // 1 to 8 hexadecimal digits, else script invalid-data

// Actions (arguments as the action slots define them)
const cell* make(const cell* proto, const cell* spec, u32 type);
const cell* to(const cell* proto, const cell* spec, u32 type);
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
void and_();
void or_();
void xor_();
const cell* negate(cell* value);
const cell* complement(cell* value);
const cell* round(cell* value, const cell* scale, const round_flags& mode);
bool even_q(const cell* value);
bool odd_q(const cell* value);

void init();  // registers integer!

}  // namespace vyr::integer
