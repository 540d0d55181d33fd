// percent!: a float! that reads and prints as a percentage. The cell holds the fraction
// (50% holds 0.5) in words 2-3 exactly as float! does; every action but the text comes
// from float!, so percent! must register after it.
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::percent {

// Constructors
cell* make_at(cell* c, double value);
cell* make_in(const cell* block, u32 low, u32 high);
cell* set(cell* c, u32 low, u32 high);
cell* push(double value);
cell* push64(u32 low, u32 high);
cell* box(double value);  // into the result slot at stack::arguments
inline double get(const cell* c) { return cell_float(c); }

// Actions: the value times 100 with "%" ("50%", "12.5%"); mold gives the same text.
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);

void init();  // registers percent! (after float!)

}  // namespace vyr::percent
