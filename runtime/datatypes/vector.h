// vector!: packed numbers of one element type (char!, integer!, float! or percent!, id in
// word 3) and one width (the buffer's unit: 1, 2 or 4 bytes for char! and integer!, 4 or 8
// for float!, 8 for percent!). Invariant: every element store checks that the value has
// the vector's element type, so a slot only ever holds a value written in its own
// representation.
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::vector {

// Word 3 of a vector!: the element type id.
constexpr u32 element_type(const cell* v) { return v->data3; }
constexpr u32& element_type(cell* v) { return v->data3; }

u32 width_of(const cell* v);
i32 rs_length_q(const cell* v);  // elements from the head to the tail
// The element at an absolute index as a cell of the element type.
cell get_value(const cell* v, i64 index);
// Stores a value in the slot at an absolute index (no type check).
void set_value(const cell* v, i64 index, const cell* value);
// An empty vector with room for `count` elements of the type and width (bytes).
cell* make_at(cell* c, i64 count, u32 element_type, u32 width);
// string!'s sort serves vector! too, over raw element slots of a vector of element type
// `et` and width `w`: the numeric order of two slots of a number vector (-1, 0 or 1; NaN
// after every number), the value of a slot, and a new vector of `n` slots.
i32 order_slots(u32 et, u32 w, const char* a, const char* b);
cell slot_value(u32 et, u32 w, const char* p);
cell* from_slots(cell* out, u32 et, u32 w, const char* p, u32 n);
// A new block of the elements from the head, as cells of the element type.
cell to_block(const cell* v);
// integer!, float! or char! math with a vector! second operand (operands at stack::arguments).
void number_first(i32 op);

// ---- Actions ----------------------------------------------------------------------------
const cell* make(const cell* proto, const cell* spec, u32 type);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
i32 compare(const cell* a, const cell* b, i32 op);
const cell* append(cell* series, const cell* value, i32 part, bool only, i32 dup,
                   bool append);
const cell* change(cell* series, const cell* value, i32 part, bool only, i32 dup);
const cell* pick(cell* series, i32 index, const cell* index_cell);
const cell* poke(cell* series, i32 index, const cell* value, const cell* index_cell);
const cell* find(cell* series, const cell* value, const find_args& opts);
const cell* select(cell* series, const cell* value, const find_args& opts);
const cell* take(cell* series, const cell* part, bool deep, bool last);

void init();  // registers vector! (after string!)

}  // namespace vyr::vector
