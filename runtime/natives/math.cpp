// Stack entries of the math natives (see domains.h); the value-level work is in
// math_helpers. Results are written into the first argument cell.
#include "runtime/natives/domains.h"

#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/money.h"
#include "runtime/fire.h"
#include "runtime/natives/math_helpers.h"
#include "runtime/natives/natives.h"
#include "runtime/stack.h"

namespace vyr::natives {

namespace {
using stack::arguments;

inline cell float_cell(double d) {
  cell c{TYPE_FLOAT, 0, 0, 0};
  set_cell_float(&c, d);
  return c;
}
inline i32 int_arg(u32 i) { return static_cast<i32>(arguments[i].data2); }

void negative_q_entry(bool, const i32*) { stack::set_last(*logic::of(negative_q(arguments))); }
void positive_q_entry(bool, const i32*) { stack::set_last(*logic::of(positive_q(arguments))); }
void sign_q_entry(bool, const i32*) {
  stack::set_last(cell{TYPE_INTEGER, 0, static_cast<u32>(sign_of(arguments, "sign?")), 0});
}
void zero_q_entry(bool, const i32*) { stack::set_last(*logic::of(zero_q(arguments))); }
void nan_q_entry(bool, const i32*) { stack::set_last(*logic::of(nan_value_q(arguments))); }

template <bool MAX> void max_min_entry(bool, const i32*) {
  max_min(arguments, arguments + 1, MAX);
  stack::keep_first();
}

void shift_entry(bool, const i32* refs) {
  i32 r = shift(int_arg(0), int_arg(1), refs[0] != -1, refs[1] != -1);
  stack::set_last(cell{TYPE_INTEGER, 0, static_cast<u32>(r), 0});
}

void to_hex_entry(bool, const i32* refs) {
  bool sized = refs[0] != -1;
  stack::set_last(to_hex(int_arg(0), sized, sized ? int_arg(u32(refs[0])) : 0));
}

// ---- Trigonometry: the angle as a number (integer! converted, percent! as stored) ---------

template <double (*F)(double, bool)> void trig_entry(bool, const i32* refs) {
  double a = number_of(arguments, "angle");
  stack::set_last(float_cell(F(a, refs[0] != -1)));
}

void arctangent2_entry(bool, const i32* refs) {
  double y = number_of(arguments, "y");
  double x = number_of(arguments + 1, "x");
  arguments[1] = float_cell(arctangent2(y, x, refs[0] != -1));
  stack::set_last(arguments[1]);
}

// A coordinate of as-pair: a float truncated toward zero, refused when no integer holds it.
i32 pair_coordinate(const cell* c) {
  if (type_of(c) == TYPE_INTEGER) return int_arg(static_cast<u32>(c - arguments));
  return pair::component_of(cell_float(c), c);
}
double point_coordinate(const cell* c) {
  return type_of(c) == TYPE_INTEGER ? static_cast<i32>(c->data2) : cell_float(c);
}

void as_pair_entry(bool, const i32*) {
  i32 x = pair_coordinate(arguments), y = pair_coordinate(arguments + 1);
  cell r;
  stack::set_last(*pair::make_at(&r, x, y));
}
void as_point2D_entry(bool, const i32*) {
  cell r;
  stack::set_last(*point2D::make_at(&r, point_coordinate(arguments),
                                    point_coordinate(arguments + 1)));
}
void as_point3D_entry(bool, const i32*) {
  cell r;
  stack::set_last(*point3D::make_at(&r, point_coordinate(arguments),
                                    point_coordinate(arguments + 1),
                                    point_coordinate(arguments + 2)));
}

// as-money currency amount: an unknown currency is refused before the amount is made.
void as_money_entry(bool, const i32*) {
  i32 index = money::get_currency_index(arguments);
  if (index < 0) {
    cell w = arguments[0];
    fire("script", "bad-denom", &w);
  }
  cell m;
  if (type_of(arguments + 1) == TYPE_INTEGER) money::from_integer(&m, int_arg(1));
  else money::from_float(&m, cell_float(arguments + 1), true);
  money::set_currency(&m, static_cast<u32>(index));
  stack::set_last(m);
}

template <double (*F)(double)> void float_fn_entry(bool, const i32*) {
  stack::set_last(float_cell(F(number_of(arguments, "value"))));
}
}  // namespace

void install_math() {
  install(id::negative_q, negative_q_entry);
  install(id::positive_q, positive_q_entry);
  install(id::sign_q, sign_q_entry);
  install(id::zero_q, zero_q_entry);
  install(id::max, max_min_entry<true>);
  install(id::min, max_min_entry<false>);
  install(id::shift, shift_entry);
  install(id::to_hex, to_hex_entry);
  install(id::sine, trig_entry<sine>);
  install(id::cosine, trig_entry<cosine>);
  install(id::tangent, trig_entry<tangent>);
  install(id::arcsine, trig_entry<arcsine>);
  install(id::arccosine, trig_entry<arccosine>);
  install(id::arctangent, trig_entry<arctangent>);
  install(id::arctangent2, arctangent2_entry);
  install(id::nan_q, nan_q_entry);
  install(id::as_money, as_money_entry);
  install(id::log_2, float_fn_entry<natives::log_2>);
  install(id::log_10, float_fn_entry<natives::log_10>);
  install(id::log_e, float_fn_entry<natives::log_e>);
  install(id::exp, float_fn_entry<natives::exp>);
  install(id::square_root, float_fn_entry<natives::square_root>);
  install(id::as_pair, as_pair_entry);
  install(id::as_point2D, as_point2D_entry);
  install(id::as_point3D, as_point3D_entry);
}

}  // namespace vyr::natives
