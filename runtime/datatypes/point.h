// point2D! and point3D!: vectors of 32-bit floats (point2D! x, y in words 1-2; point3D!
// x, y, z in words 1-3). Every coordinate is computed in double precision and rounded to a
// 32-bit float by a plain conversion when stored. The two types share one implementation
// parameterised by their axis count; the namespaces point2D and point3D hold each type's
// own entries.
#pragma once
#include "runtime/datatypes/action_slots.h"

namespace vyr::point {

// Coordinate i (0-based) of a point cell.
float get(const cell* c, u32 i);
void set(cell* c, u32 i, float v);
u32 axes_of(u32 type);  // 2 for point2D!, 3 for point3D!

// The tolerant equality of two 32-bit floats: at most 10 units in the last place apart
// (zeros of either sign equal, NaN never); infinities with nearby bit patterns.
bool float32_equal_q(float a, float b);

// The math of a point at stack::arguments with the operand after it (op codes 0-4). With
// `reversed` the operand is the left side of each operation (a number first: 10 % (3, 4)
// is (1, 2)).
void do_math(i32 op, bool reversed);

// A number (integer!, float!, percent!) at stack::arguments with a point after it: the
// point's math with the number as the left operand. Subtract and divide are refused by
// the callers before this.
void number_first(i32 op);

// Actions shared by both types.
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
const cell* round(cell* value, const cell* scale, const round_flags& mode);
const cell* pick(cell* value, i32 index, const cell* index_cell);
const cell* reverse(cell* value, const cell* part, const cell* skip);
void fill_row(action_row& row);  // the entries both types register

}  // namespace vyr::point

namespace vyr::point2D {
cell* make_at(cell* c, double x, double y);
cell* make_in(const cell* block, double x, double y);
cell* push(double x, double y);
void do_math(i32 op);
void init();  // registers point2D!
}  // namespace vyr::point2D

namespace vyr::point3D {
cell* make_at(cell* c, double x, double y, double z);
cell* make_in(const cell* block, double x, double y, double z);
cell* push(double x, double y, double z);
void do_math(i32 op);
void init();  // registers point3D!
}  // namespace vyr::point3D
