// Action dispatch: calls the implementation registered for the type of an action's first
// argument. Typed dispatchers take explicit arguments; stack entries (`*_entry`) take the
// operands at stack::arguments, the cells after it, and leave the result there.
#pragma once
#include "runtime/datatypes/datatype.h"

namespace vyr::actions {

// The action word of a slot ("add", "even?", "eval-path"); "" for the empty slot 8.
const char* name_of(u32 slot_number);

// Look-up: the implementation, or script expect-arg naming the action, the value's
// datatype and the argument when the type does not support the slot.
datatype::generic_fn lookup(u32 type, u32 slot_number);
template <u32 N> inline typename slot_signature<N>::type lookup_for(const cell* value) {
  return reinterpret_cast<typename slot_signature<N>::type>(lookup(type_of(value), N));
}
template <u32 N> inline typename slot_signature<N>::type lookup_first();

// ---- Typed dispatchers ----------------------------------------------------------------

// make and to: when `proto` is a datatype! the type it names is made, otherwise the
// prototype's own type. The result is at stack::arguments.
const cell* make(const cell* proto, const cell* spec);
const cell* to(const cell* proto, const cell* spec);
const cell* random(cell* value, bool seed, bool secure, bool only);

// form and mold append to the string! `out` (kept alive by the caller) and return the
// budget less the characters appended. NO_LIMIT is the budget without /part.
constexpr i32 NO_LIMIT = 0x7FFFFFFF;
i32 form(const cell* value, cell* out, const cell* part = nullptr, i32 budget = NO_LIMIT);
i32 mold(const cell* value, cell* out, bool only = false, bool all = false,
         bool flat = false, const cell* part = nullptr, i32 budget = NO_LIMIT,
         i32 indent = 0);
// Pushes a new string! holding the value's form (mold) and returns that stack cell.
cell* form_to_string(const cell* value);
cell* mold_to_string(const cell* value, bool all = false);

// compare: the truth value of `op` (a compare_op code) for a against b, by a's type.
// Values that cannot be ordered raise script invalid-compare under the ordering codes
// (3-8) and are simply unequal under the equality codes.
bool compare(const cell* a, const cell* b, i32 op);
// The ordering a against b as a's compare implementation answers it (-1, 0, 1), or -2
// when they cannot be compared (also when a's type has no compare).
i32 compare_value(const cell* a, const cell* b, i32 op);
// Ordering for block elements: logic! by the difference of the values, every other type
// through its compare implementation.
i32 compare_raw(const cell* a, const cell* b, i32 op);

const cell* negate(cell* value);
const cell* complement(cell* value);
const cell* round(cell* value, const cell* scale, const round_flags& mode);
bool even_q(const cell* value);
bool odd_q(const cell* value);

// ---- Stack entries of the stack-form number actions ------------------------------------
void absolute_entry();
void add_entry();
void subtract_entry();
void multiply_entry();
void divide_entry();
void remainder_entry();
void power_entry();
void and_entry();
void or_entry();
void xor_entry();

// ---- Stack entries of every action (the entries action! values call) -----------------
// Arguments at stack::arguments in argument order, then the arguments of the refinements that
// are present; `refs` has one integer per refinement in declared order: -1 when absent, else
// the index (from stack::arguments) of its first argument cell. The result is left in the
// result slot. Slots 7 (path evaluation) and 8 have no stack entry.
using entry_fn = void (*)(const i32* refs);
entry_fn entry(u32 slot_number);
// Replaces the stack entry of a slot (port! puts its forwarding in front of the entries).
void set_entry(u32 slot_number, entry_fn fn);
void init_entries();
// The entries of calls with no refinement, their arguments at stack::arguments: the stack
// entry for most actions. insert, pick, select, find, put and copy enter the
// implementation of the first argument's type at once, without the stack entry's
// look-ups; a port! or a type without the action takes the stack entry.
extern entry_fn lean_entries[ACTION_COUNT];
inline entry_fn lean_entry(u32 slot_number) {
  return slot_number >= 1 && slot_number <= ACTION_COUNT ? lean_entries[slot_number - 1] : nullptr;
}
// pick on a block! by an integer! (nothing can fail, allocate or run code): the element
// or none! into `out`, and true; false, with nothing done, for any other arguments.
bool pick_block(const cell* series, const cell* index, cell* out);

}  // namespace vyr::actions

#include "runtime/stack.h"

template <vyr::u32 N>
inline typename vyr::slot_signature<N>::type vyr::actions::lookup_first() {
  return lookup_for<N>(stack::arguments);
}
