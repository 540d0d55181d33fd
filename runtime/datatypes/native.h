// native!, action! and op!: built-in functions reached through table indexes (word 1), with
// their argument block (word 2) and a more-block (word 3: a copy of the context! cell of
// the function-like context made from the argument block, the argument cache, and a block!
// cell on the context's node, which keeps that node alive for its words). An op! carries the words of the value it wraps
// and the wrapped type in header bits 16-23.
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::native {

// Word 1 of a native!, action! or op!: the index in its entry table (an op! keeps the
// wrapped value's word 1).
constexpr u32 table_index(const cell* f) { return f->data1; }
constexpr u32& table_index(cell* f) { return f->data1; }

// Constructors: a native! (type 21) or action! (type 22) from an argument block value and a
// table index (not checked here), written into `out`. May allocate.
cell* make_at(cell* out, const cell* spec, u32 index, u32 type);
// What `make native! [spec index]` (or action!) builds, written into `out`: the entry must
// exist and, once one value was made for it, every later one must take its arguments alike.
// Raises bad-make-arg otherwise. May allocate.
cell* make_checked_at(cell* out, const cell* spec, u32 type);

// Actions
const cell* make(const cell* proto, const cell* spec, u32 type);
const cell* reflect(const cell* value, u32 field);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
i32 compare(const cell* a, const cell* b, i32 op);

void init();  // registers native!

}  // namespace vyr::native

namespace vyr::action {
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
void init();  // registers action!
}  // namespace vyr::action

namespace vyr::op {
constexpr u32 WRAPPED_SHIFT = 16;
inline u32 wrapped_type(const cell* c) { return (c->header >> WRAPPED_SHIFT) & 0xFF; }

// An op! wrapping `value` (a native!, action!, function! or routine! of two arguments),
// written into `out` (which may be `value` itself).
cell* make_at(cell* out, const cell* value);

const cell* make(const cell* proto, const cell* spec, u32 type);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
void init();  // registers op!
}  // namespace vyr::op
