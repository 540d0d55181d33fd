// char!: one Unicode code point (word 2, 0 to 0x10FFFF). Registered under integer!, whose
// math core it reuses; every result is checked back into the code point range.
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::char_ {

constexpr u32 MAX_CODE_POINT = 0x10FFFF;

// Constructors
cell* make_at(cell* c, u32 cp);
cell* make_in(const cell* block, u32 cp);  // at the block's tail (valid until allocation)
cell* push(u32 cp);
inline u32 get(const cell* c) { return c->data2; }

// The code point of the UTF-8 sequence at the start of `n` bytes. The decoder is bounded
// by n, not by the length the first byte announces: an empty input raises script
// bad-to-arg with `spec`, a cut sequence raises access invalid-utf8.
u32 from_utf8(const u8* bytes, u32 n, const cell* spec);

// Actions (arguments as the action slots define them)
const cell* make(const cell* proto, const cell* spec, u32 type);  // also `to`
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
i32 compare(const cell* a, const cell* b, i32 op);
void do_math(i32 op);  // stack form, math_op codes
void add();
void subtract();
void multiply();
void divide();
void remainder();
void and_();
void or_();
void xor_();

void init();  // registers char! (after integer!)

}  // namespace vyr::char_
