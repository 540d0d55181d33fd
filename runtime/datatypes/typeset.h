// typeset!: a set of datatypes held in the cell itself (a 96-bit map in words 1-3; the bit
// of type id t is in map byte t / 8 under mask 0x80 >> t % 8). No node, no buffer.
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::typeset {

// Set-operation codes of `do_bitwise` besides and~/or~/xor~ (math_op AND, OR, XOR).
constexpr i32 OP_UNIQUE = 8;
constexpr i32 OP_UNION = 9;
constexpr i32 OP_INTERSECT = 10;
constexpr i32 OP_EXCLUDE = 11;
constexpr i32 OP_DIFFERENCE = 12;

// The 96-bit type map in words 1-3, as bytes (byte t / 8 under mask 0x80 >> t % 8).
inline const u8* map(const cell* ts) { return reinterpret_cast<const u8*>(&ts->data1); }
inline u8* map(cell* ts) { return reinterpret_cast<u8*>(&ts->data1); }

// Bits
bool has_q(const cell* ts, u32 type);  // false for ids past the map
void set_bit(cell* ts, u32 type);      // ids past the map raise internal limit-hit
u32 count(const cell* ts);             // set bits among the registered ids

// Constructors
cell* clear_at(cell* c);               // an empty typeset
cell* make_in(u32 block, u32 w1, u32 w2, u32 w3);  // appended; valid until an allocation
cell* make_default(cell* c);           // every type but unset!
// From a type block of a function's arguments: a word is replaced by its value; a datatype! sets its
// bit, a typeset! merges, a word (a word valued word) adds object!, a nested block is
// skipped; anything else raises script invalid-type-spec.
cell* make_with(cell* c, const cell* type_block);
u32 to_block(const cell* ts);          // a new block of the datatype! values of the set

// Actions
const cell* make(const cell* proto, const cell* spec, u32 type);  // also `to`
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
i32 compare(const cell* a, const cell* b, i32 op);
// Operands at stack::arguments and the cell after it; result into stack::arguments.
void do_bitwise(i32 op);
void and_();
void or_();
void xor_();
const cell* complement(cell* value);
const cell* find(cell* ts, const cell* value, const find_args& opts);

void init();  // registers typeset! (no parent)

}  // namespace vyr::typeset
