// tuple!: 3 to 12 bytes held in the cell (words 1-3 in memory order, first byte first),
// the count in header bits 19-22. Math saturates at 0 and 255.
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::tuple {

constexpr u32 COUNT_SHIFT = 19;
constexpr u32 COUNT_MASK = 0xFu << COUNT_SHIFT;
constexpr u32 MAX_BYTES = 12;

// The value's bytes (words 1-3 in memory order; the count is in the header).
inline u8* bytes(cell* c) { return reinterpret_cast<u8*>(&c->data1); }
inline const u8* bytes(const cell* c) { return reinterpret_cast<const u8*>(&c->data1); }

u32 count_of(const cell* c);  // 3 to 12
u8 byte_at(const cell* c, u32 i);
void set_byte(cell* c, u32 i, u8 v);

// Constructors: from up to 12 bytes (fewer than 3 are padded with zeros), from the three
// payload words, and an RGB or RGBA colour.
cell* make_at(cell* c, const u8* bytes, u32 n);
cell* push(u32 n, u32 w1, u32 w2, u32 w3);
cell* make_colour(cell* c, u8 r, u8 g, u8 b, i32 alpha = -1);  // alpha < 0: 3 bytes

bool zero_q(const cell* c);

// The math of a tuple at stack::arguments with the operand after it (math_op codes 0-7);
// with `reversed` the operand is the left side of each operation.
void do_math(i32 op, bool reversed = false);
// A number at stack::arguments with a tuple after it: subtract and divide raise
// not-related; the others run the tuple's math with the number as the left operand
// (10 % 1.2.3 is 0.0.1).
void number_first(i32 op);

// Actions (arguments as the action slots define them)
const cell* make(const cell* proto, const cell* spec, u32 type);
const cell* to(const cell* proto, const cell* spec, u32 type);
const cell* random(cell* value, bool seed, bool secure, bool only);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk);
i32 compare(const cell* a, const cell* b, i32 op);
void add();
void subtract();
void multiply();
void divide();
void remainder();
void and_();
void or_();
void xor_();
const cell* complement(cell* value);
i32 length_q(const cell* value);
const cell* pick(cell* value, i32 index, const cell* index_cell);
// The byte store of poke and of path sets: an integer is clamped to 0..255, none cuts the
// tuple before index `index` (1-based), leaving at least 3 bytes.
void poke_byte(cell* value, i32 index, const cell* v);
const cell* reverse(cell* value, const cell* part, const cell* skip);

void init();  // registers tuple!

}  // namespace vyr::tuple
