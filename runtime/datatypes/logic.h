// logic! and the truth rule: only none! and a logic! whose word 1 is not 1 are false.
// `true_value` and `false_value` are the shared, read-only logic! cells.
#pragma once
#include "runtime/cell.h"

namespace vyr {
inline constexpr cell true_value{TYPE_LOGIC, 1, 0, 0};
inline constexpr cell false_value{TYPE_LOGIC, 0, 0, 0};
}

namespace vyr::logic {

// Constructors
cell* make_at(cell* c, bool value);
cell* make_in(const cell* block, bool value);
cell* push(bool value);
cell* box(bool value);  // overwrites the result slot at stack::arguments
inline u32 get(const cell* c) { return c->data1; }
inline const cell* of(bool value) { return value ? &true_value : &false_value; }

// Truth tests
// The truth rule: only none! and logic! false are false (unset! included as true).
inline bool falsy(const cell* v) {
  u32 t = type_of(v);
  return t == TYPE_NONE || (t == TYPE_LOGIC && v->data1 != 1);
}
// With `check`, an unset! value raises script no-value with `word` as argument.
bool true_q(const cell* value, bool check = false, const cell* word = nullptr);
bool arg_true_q();   // the result slot; unset! raises script no-return
bool arg_false_q();  // the result slot; unset! counts as true
bool top_true_q();   // the last cell pushed after stack::arguments, else the result slot

// Actions
const cell* make(const cell* proto, const cell* spec, u32 type);
const cell* to(const cell* proto, const cell* spec, u32 type);
const cell* random(cell* value, bool seed, bool secure, bool only);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
i32 compare(const cell* a, const cell* b, i32 op);
const cell* complement(cell* value);
void and_();  // stack form
void or_();
void xor_();

void init();  // registers logic!

}  // namespace vyr::logic
