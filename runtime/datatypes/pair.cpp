// pair!: constructors, text, comparison, the component math with its fall-back to
// point2D!, paths and registration.
#include "runtime/datatypes/pair.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/scalar_text.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/stack.h"
#include "runtime/memory.h"
#include "runtime/random.h"
#include "runtime/word_tables.h"

namespace vyr::pair {

namespace {
bool fits(double d) { return d >= -2147483648.0 && d < 2147483648.0; }  // false for NaN

[[noreturn]] void bad_to_arg(const cell* spec) {
  datatype::fire_with_type("bad-to-arg", TYPE_PAIR, spec);
}

// The selector of a path or pick: 1 or 2 (index or word), else 0.
u32 axis_of(const cell* selector) {
  u32 t = type_of(selector);
  if (t == TYPE_INTEGER) {
    i32 n = static_cast<i32>(selector->data2);
    return n == 1 || n == 2 ? static_cast<u32>(n) : 0;
  }
  return word::any_word_q(t) ? axis(selector) : 0;
}

// One component through the integer core: false when the answer is no integer (an
// overflow or an inexact division), which sends the whole pair to point2D!.
bool component(i32 l, i32 r, i32 op, i32* out) {
  if ((op == math_op::DIVIDE || op == math_op::REMAINDER) && r == -1 && l == INT32_MIN) {
    if (op == math_op::DIVIDE) return false;  // 2147483648 is no integer
    *out = 0;
    return true;
  }
  cell result;
  i32 v = integer::do_math_op(l, r, op, &result);
  if (type_of(&result) != TYPE_INTEGER) return false;
  *out = v;
  return true;
}
}  // namespace

// ---- Constructors -------------------------------------------------------------------------

cell* make_at(cell* c, i32 x, i32 y) {
  *c = cell{TYPE_PAIR, 0, static_cast<u32>(x), static_cast<u32>(y)};
  return c;
}
cell* make_in(const cell* block, i32 x, i32 y) {
  series_buffer* b = buffer_of(block->data2);
  return make_at(memory::alloc_tail_cell(b), x, y);
}
cell* push(i32 x, i32 y) { return make_at(stack::push_slot(), x, y); }

u32 axis(const cell* word) {
  u32 id = symbol::resolve(word->data2);
  if (id == symbol::resolve(words::sym_x)) return 1;
  if (id == symbol::resolve(words::sym_y)) return 2;
  return 0;
}

void to_point2D(u32 index) {
  cell* c = stack::arg(index);
  point2D::make_at(c, x_of(c), y_of(c));
}

i32 component_of(double d, const cell* culprit) {
  double t = std::trunc(d);  // NaN stays NaN and fails the range test
  if (!fits(t)) {
    cell copy = *culprit;
    fire("script", "invalid-arg", &copy);
  }
  return static_cast<i32>(t);
}

// ---- Math ---------------------------------------------------------------------------------

void do_math(i32 op, bool reversed) {
  cell* a = stack::arg(0);
  const cell* b = stack::arg(1);
  u32 tb = type_of(b);
  i32 ax = x_of(a), ay = y_of(a), bx, by;
  switch (tb) {
    case TYPE_INTEGER:
      bx = by = static_cast<i32>(b->data2);
      break;
    case TYPE_FLOAT: case TYPE_PERCENT: {
      double d = cell_float(b);
      if (op == math_op::MULTIPLY || op == math_op::DIVIDE) {
        // A scale: the point2D! of the scaled components.
        if (op == math_op::MULTIPLY ? !std::isfinite(d) : std::isnan(d)) {
          cell copy = *b;
          fire("script", "invalid-arg", &copy);
        }
        double x = ax, y = ay;
        if (op == math_op::MULTIPLY) point2D::make_at(a, x * d, y * d);
        else if (reversed) point2D::make_at(a, d / x, d / y);
        else point2D::make_at(a, x / d, y / d);
        return;
      }
      bx = by = component_of(d, b);
      break;
    }
    case TYPE_PAIR:
      bx = x_of(b);
      by = y_of(b);
      break;
    case TYPE_POINT2D:
      to_point2D(0);
      point::do_math(op, reversed);
      return;
    default:
      datatype::fire_with_type("invalid-type", tb);
  }
  i32 rx, ry;
  bool exact = reversed ? component(bx, ax, op, &rx) && component(by, ay, op, &ry)
                        : component(ax, bx, op, &rx) && component(ay, by, op, &ry);
  if (exact) {
    make_at(a, rx, ry);
    return;
  }
  // Redone in floats: the pair (still unchanged) becomes a point2D!; the operand stays as
  // given, a pair operand being taken as a point by point2D!'s math.
  to_point2D(0);
  point::do_math(op, reversed);
}

void number_first(i32 op) {
  std::swap(*stack::arg(0), *stack::arg(1));
  do_math(op, true);
}

void add() { do_math(math_op::ADD); }
void subtract() { do_math(math_op::SUBTRACT); }
void multiply() { do_math(math_op::MULTIPLY); }
void divide() { do_math(math_op::DIVIDE); }
void remainder() { do_math(math_op::REMAINDER); }
void and_() { do_math(math_op::AND); }
void or_() { do_math(math_op::OR); }
void xor_() { do_math(math_op::XOR); }

// ---- make and to --------------------------------------------------------------------------

const cell* make(const cell* proto, const cell* spec, u32 type) {
  u32 ts = type_of(spec);
  i32 x = 0, y = 0;
  switch (ts) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: {
      series_buffer* b = buffer_of(spec->data2);
      u32 used = b->used_units();
      u32 head = spec->data1 < used ? spec->data1 : used;
      bool ok = used - head >= 2;
      i32 v[2] = {0, 0};
      for (u32 i = 0; ok && i < 2; i++) {
        const cell* item = read_buffer(spec->data2)->cells() + head + i;
        u32 t = type_of(item);
        if (t == TYPE_INTEGER) v[i] = static_cast<i32>(item->data2);
        else if (t == TYPE_FLOAT) v[i] = component_of(cell_float(item), item);
        else ok = false;
      }
      if (!ok) {
        cell copy = *spec;
        fire("syntax", "malconstruct", &copy);
      }
      x = v[0];
      y = v[1];
      break;
    }
    case TYPE_PAIR:
      x = x_of(spec);
      y = y_of(spec);
      break;
    case TYPE_INTEGER:
      x = y = static_cast<i32>(spec->data2);
      break;
    case TYPE_FLOAT:
      x = y = component_of(cell_float(spec), spec);
      break;
    case TYPE_POINT2D:
      x = component_of(point::get(spec, 0), spec);
      y = component_of(point::get(spec, 1), spec);
      break;
    case TYPE_STRING: {
      cell copy = *spec, v;
      if (!scalar_text::load_first(&copy, TYPE_PAIR, &v)) bad_to_arg(&copy);
      x = x_of(&v);
      y = y_of(&v);
      break;
    }
    default:
      bad_to_arg(spec);
  }
  return make_at(stack::arguments, x, y);
}

// ---- Text ---------------------------------------------------------------------------------

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  char text[32];
  std::snprintf(text, sizeof text, "%dx%d", x_of(value), y_of(value));
  return datatype::append_text(out, text, budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  return form(value, out, part, budget);
}

// ---- Comparison ---------------------------------------------------------------------------

i32 compare(const cell* a, const cell* b, i32 op) {
  u32 tb = type_of(b);
  if (tb == TYPE_POINT2D) {
    cell p;
    point2D::make_at(&p, x_of(a), y_of(a));
    return point::compare(&p, b, op);
  }
  if (tb != TYPE_PAIR) return COMPARE_NOT_COMPARABLE;
  i32 ax = x_of(a), bx = x_of(b);
  if (ax != bx) return ax < bx ? -1 : 1;
  i32 ay = y_of(a), by = y_of(b);
  return ay < by ? -1 : ay > by ? 1 : 0;
}

// ---- Other actions ------------------------------------------------------------------------

const cell* random(cell* value, bool seed, bool secure, bool only) {
  i32 x = x_of(value), y = y_of(value);
  if (seed) {
    random::seed(static_cast<u32>(x) ^ static_cast<u32>(y));
    return unset::push_last();
  }
  // int_in_range keeps 0 as 0 and draws n ... -1 for a negative n.
  i32 rx = random::int_in_range(secure, x);
  i32 ry = random::int_in_range(secure, y);
  return make_at(stack::arguments, rx, ry);
}

void absolute() {
  cell* a = stack::arg(0);
  make_at(a, integer::abs(x_of(a)), integer::abs(y_of(a)));
}

const cell* negate(cell* value) {
  // Two's complement, as documented: the smallest integer stays itself.
  value->data2 = 0u - value->data2;
  value->data3 = 0u - value->data3;
  return value;
}

const cell* round(cell* value, const cell* scale, const round_flags& mode) {
  if (scale && type_of(scale) == TYPE_MONEY)
    datatype::fire_word_type("not-related", "round", TYPE_MONEY);
  cell s = scale ? *scale : none_value;
  i32 r[2];
  for (u32 i = 0; i < 2; i++) {
    cell c;
    integer::make_at(&c, i == 0 ? x_of(value) : y_of(value));
    cell own;
    const cell* axis_scale = scale ? &s : nullptr;
    if (scale && type_of(&s) == TYPE_PAIR) {
      integer::make_at(&own, i == 0 ? x_of(&s) : y_of(&s));
      axis_scale = &own;
    }
    const cell* got = integer::round(&c, axis_scale, mode);
    if (type_of(got) == TYPE_INTEGER) {
      r[i] = static_cast<i32>(got->data2);
    } else {
      // A float scale rounds in floats: the result truncated back to an integer.
      double d = cell_float(got);
      if (!fits(d)) fire("math", "overflow");
      r[i] = static_cast<i32>(std::trunc(d));
    }
  }
  return make_at(value, r[0], r[1]);
}

const cell* pick(cell* value, i32 index, const cell* index_cell) {
  cell sel = index_cell ? *index_cell : cell{TYPE_INTEGER, 0, static_cast<u32>(index), 0};
  u32 a = axis_of(&sel);
  if (!a) fire("script", "out-of-range", &sel);
  return integer::make_at(stack::arguments, a == 1 ? x_of(value) : y_of(value));
}

const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk) {
  u32 a = axis_of(element);
  if (!a) {
    cell path = walk.path ? *walk.path : none_value, e = *element;
    fire("script", "invalid-path", &path, &e);
  }
  if (!value) return integer::make_at(stack::push_slot(), a == 1 ? x_of(parent) : y_of(parent));
  if (type_of(value) != TYPE_INTEGER) datatype::fire_with_type("invalid-type", type_of(value));
  (a == 1 ? parent->data2 : parent->data3) = value->data2;
  return parent;
}

const cell* reverse(cell* value, const cell* part, const cell* skip) {
  cell v = *value;
  return make_at(stack::arguments, y_of(&v), x_of(&v));
}

// ---- Registration -------------------------------------------------------------------------

void init() {
  action_row row;
  row.make = make;
  row.to = make;
  row.random = random;
  row.form = form;
  row.mold = mold;
  row.eval_path = eval_path;
  row.compare = compare;
  row.absolute = absolute;
  row.negate = negate;
  row.add = add;
  row.subtract = subtract;
  row.multiply = multiply;
  row.divide = divide;
  row.remainder = remainder;
  row.and_ = and_;
  row.or_ = or_;
  row.xor_ = xor_;
  row.round = round;
  row.pick = pick;
  row.reverse = reverse;
  datatype::register_(TYPE_PAIR, 0, "pair!", row);
}

}  // namespace vyr::pair
