// point2D! and point3D!: constructors, text, comparison, math by float!'s core, paths and
// registration. Coordinates are doubles while computed and 32-bit floats when stored.
#include "runtime/datatypes/point.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/scalar_text.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/hashtable.h"
#include "runtime/stack.h"
#include "runtime/memory.h"
#include "runtime/random.h"
#include "runtime/word_tables.h"

namespace vyr::point {

namespace {
u32* words_of(cell* c) { return &c->data1; }
const u32* words_of(const cell* c) { return &c->data1; }

// A plain conversion: no extended precision, the nearest float (infinite beyond its range).
float narrow(double d) { return static_cast<float>(d); }

cell blank(u32 type) { return cell{type, 0, 0, 0}; }

[[noreturn]] void bad_to_arg(u32 type, const cell* spec) {
  datatype::fire_with_type("bad-to-arg", type, spec);
}

// The axis of a path or pick selector: 1-based index, or the word x, y, z; 0 when none.
u32 axis_of(const cell* selector, u32 axes) {
  u32 t = type_of(selector);
  if (t == TYPE_INTEGER) {
    i32 n = static_cast<i32>(selector->data2);
    return n >= 1 && static_cast<u32>(n) <= axes ? static_cast<u32>(n) : 0;
  }
  if (word::any_word_q(t)) {
    u32 id = symbol::resolve(selector->data2);
    if (id == symbol::resolve(words::sym_x)) return 1;
    if (id == symbol::resolve(words::sym_y)) return 2;
    if (axes == 3 && id == symbol::resolve(words::sym_z)) return 3;
  }
  return 0;
}

// The operand of the math as one double per axis.
void operand_axes(const cell* b, u32 axes, i32 op, double out[3]) {
  u32 tb = type_of(b);
  switch (tb) {
    case TYPE_INTEGER:
      out[0] = out[1] = out[2] = static_cast<i32>(b->data2);
      return;
    case TYPE_FLOAT: case TYPE_PERCENT: {
      double d = cell_float(b);
      // Scaling uses the number itself; the other operations its 32-bit value.
      if (op != math_op::MULTIPLY && op != math_op::DIVIDE) d = narrow(d);
      out[0] = out[1] = out[2] = d;
      return;
    }
    case TYPE_PAIR:
      if (axes == 2) {
        out[0] = static_cast<i32>(b->data2);
        out[1] = static_cast<i32>(b->data3);
        return;
      }
      break;
    case TYPE_POINT2D: case TYPE_POINT3D:
      if (axes_of(tb) == axes) {
        for (u32 i = 0; i < axes; i++) out[i] = get(b, i);
        return;
      }
      break;
    default:
      break;
  }
  datatype::fire_with_type("invalid-type", tb);
}
}  // namespace

namespace {
u32& word_at(cell* c, u32 i) { return i == 0 ? c->data1 : i == 1 ? c->data2 : c->data3; }
}  // namespace

float get(const cell* c, u32 i) {
  u32 w = i == 0 ? c->data1 : i == 1 ? c->data2 : c->data3;
  float f;
  std::memcpy(&f, &w, sizeof f);
  return f;
}

void set(cell* c, u32 i, float v) { std::memcpy(&word_at(c, i), &v, sizeof v); }

u32 axes_of(u32 type) { return type == TYPE_POINT3D ? 3 : 2; }

bool float32_equal_q(float a, float b) {
  if (std::isnan(a) || std::isnan(b)) return false;
  if (a == b) return true;
  u32 ba, bb;
  std::memcpy(&ba, &a, 4);
  std::memcpy(&bb, &b, 4);
  u32 ma = ba & 0x7FFFFFFFu, mb = bb & 0x7FFFFFFFu;
  if (ma <= 0x7F7FFFFEu && mb <= 0x7F7FFFFEu) {
    if (ma == 0 && mb == 0) return true;
    // Ordered keys: a negative value's pattern negated, all offset by 2^31.
    auto key = [](u32 bits) -> i64 {
      i64 m = bits & 0x7FFFFFFFu;
      return (bits >> 31) ? -m : m;
    };
    i64 d = key(ba) - key(bb);
    return (d < 0 ? -d : d) <= 10;
  }
  // An infinity (or the largest finite value) on either side.
  if ((ba >> 31) != (bb >> 31)) return false;
  return (ma > mb ? ma - mb : mb - ma) < 0x100000u;
}

// ---- Math ---------------------------------------------------------------------------------

void do_math(i32 op, bool reversed) {
  cell* a = stack::arg(0);
  const cell* b = stack::arg(1);
  u32 axes = axes_of(type_of(a));
  if (op > math_op::REMAINDER) datatype::fire_with_type("invalid-type", type_of(b));
  double other[3] = {0, 0, 0};
  operand_axes(b, axes, op, other);
  for (u32 i = 0; i < axes; i++) {
    double x = get(a, i);
    double r = reversed ? float_::do_op(other[i], x, op) : float_::do_op(x, other[i], op);
    set(a, i, narrow(r));
  }
}

void number_first(i32 op) {
  std::swap(*stack::arg(0), *stack::arg(1));
  do_math(op, true);
}

void add() { do_math(math_op::ADD, false); }
void subtract() { do_math(math_op::SUBTRACT, false); }
void multiply() { do_math(math_op::MULTIPLY, false); }
void divide() { do_math(math_op::DIVIDE, false); }
void remainder() { do_math(math_op::REMAINDER, false); }

// ---- make and to --------------------------------------------------------------------------

const cell* make(const cell* proto, const cell* spec, u32 type) {
  u32 axes = axes_of(type);
  u32 ts = type_of(spec);
  cell out = blank(type);
  switch (ts) {
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: {
      series_buffer* b = buffer_of(spec->data2);
      u32 used = b->used_units();
      u32 head = spec->data1 < used ? spec->data1 : used;
      bool ok = used - head >= axes;
      for (u32 i = 0; ok && i < axes; i++) {
        const cell* item = b->cells() + head + i;
        u32 t = type_of(item);
        if (t == TYPE_INTEGER) set(&out, i, narrow(static_cast<i32>(item->data2)));
        else if (t == TYPE_FLOAT) set(&out, i, narrow(cell_float(item)));
        else ok = false;
      }
      if (!ok) {
        cell copy = *spec;
        fire("syntax", "malconstruct", &copy);
      }
      break;
    }
    case TYPE_INTEGER: case TYPE_FLOAT: {
      float v = narrow(ts == TYPE_INTEGER ? static_cast<i32>(spec->data2) : cell_float(spec));
      for (u32 i = 0; i < axes; i++) set(&out, i, v);
      break;
    }
    case TYPE_PAIR:
      set(&out, 0, narrow(static_cast<i32>(spec->data2)));
      set(&out, 1, narrow(static_cast<i32>(spec->data3)));
      break;
    case TYPE_POINT2D:
      set(&out, 0, get(spec, 0));
      set(&out, 1, get(spec, 1));
      break;
    case TYPE_POINT3D:
      if (type != TYPE_POINT3D) bad_to_arg(type, spec);
      out = *spec;
      break;
    default:
      if (scalar_text::text_q(ts)) {
        cell copy = *spec;
        cell v;
        if (!scalar_text::load_first(&copy, type, &v)) bad_to_arg(type, &copy);
        out = v;
        break;
      }
      bad_to_arg(type, spec);
  }
  clear_new_line(&out);
  *stack::arguments = out;
  return stack::arguments;
}

// ---- Text ---------------------------------------------------------------------------------

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  cell v = *value;  // the text may allocate
  u32 axes = axes_of(type_of(&v));
  budget = datatype::append_text(out, "(", budget);
  for (u32 i = 0; i < axes; i++) {
    if (i) budget = datatype::append_text(out, ", ", budget);
    budget = datatype::append_text(out, float_::form_float(get(&v, i), float_::FORM_POINT), budget);
  }
  return datatype::append_text(out, ")", budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  return form(value, out, part, budget);
}

// ---- Comparison ---------------------------------------------------------------------------

i32 compare(const cell* a, const cell* b_in, i32 op) {
  u32 ta = type_of(a), tb = type_of(b_in);
  cell b = *b_in;
  if (tb == TYPE_PAIR && ta == TYPE_POINT2D) {
    cell p = blank(TYPE_POINT2D);
    set(&p, 0, narrow(static_cast<i32>(b.data2)));
    set(&p, 1, narrow(static_cast<i32>(b.data3)));
    b = p;
  } else if (tb != ta) {
    return COMPARE_NOT_COMPARABLE;
  }
  u32 axes = axes_of(ta);
  switch (op) {
    case compare_op::EQUAL: case compare_op::NOT_EQUAL: case compare_op::FIND:
      for (u32 i = 0; i < axes; i++)
        if (!float32_equal_q(get(a, i), get(&b, i))) return 1;
      return 0;
    case compare_op::STRICT_EQUAL:
      for (u32 i = 0; i < axes; i++)
        if (!(get(a, i) == get(&b, i))) return 1;
      return 0;
    case compare_op::SAME:
      return std::memcmp(words_of(a), words_of(&b), axes * 4) == 0 ? 0 : 1;
    default:
      for (u32 i = 0; i < axes; i++) {
        float x = get(a, i), y = get(&b, i);
        if (float32_equal_q(x, y)) continue;
        double d = static_cast<double>(x) - static_cast<double>(y);
        if (d < 0) return -1;
        if (d > 0) return 1;
      }
      return 0;
  }
}

// ---- Other actions ------------------------------------------------------------------------

const cell* random(cell* value, bool seed, bool secure, bool only) {
  cell v = *value;
  u32 axes = axes_of(type_of(&v));
  if (seed) {
    random::seed(hashtable::murmur3_32(words_of(&v), axes * 4));
    return unset::push_last();
  }
  for (u32 i = 0; i < axes; i++) {
    float c = get(&v, i);
    if (c != 0.0f) set(&v, i, narrow(random::float_in_range(secure, c)));
  }
  *stack::arguments = v;
  return stack::arguments;
}

void absolute() {
  cell* a = stack::arg(0);
  for (u32 i = 0, n = axes_of(type_of(a)); i < n; i++) set(a, i, std::fabs(get(a, i)));
}

const cell* negate(cell* value) {
  for (u32 i = 0, n = axes_of(type_of(value)); i < n; i++)
    set(value, i, narrow(0.0 - static_cast<double>(get(value, i))));
  return value;
}

const cell* round(cell* value, const cell* scale, const round_flags& mode) {
  if (scale && type_of(scale) == TYPE_MONEY)
    datatype::fire_word_type("not-related", "round", TYPE_MONEY);
  u32 axes = axes_of(type_of(value));
  u32 ts = scale ? type_of(scale) : 0;
  cell s = scale ? *scale : none_value;
  // An integer! scale would make float!'s round answer an integer!: the coordinates stay
  // floats.
  if (ts == TYPE_INTEGER) float_::make_at(&s, static_cast<i32>(s.data2));
  for (u32 i = 0; i < axes; i++) {
    cell c;
    float_::make_at(&c, get(value, i));
    const cell* axis_scale = scale ? &s : nullptr;
    cell own;
    if (ts == TYPE_PAIR) {
      // A pair has no z: the z coordinate is rounded as without a scale.
      if (i < 2) float_::make_at(&own, static_cast<i32>(i == 0 ? s.data2 : s.data3));
      else axis_scale = nullptr;
      if (i < 2) axis_scale = &own;
    } else if (ts == TYPE_POINT2D || ts == TYPE_POINT3D) {
      if (i < axes_of(ts)) {
        float_::make_at(&own, get(&s, i));
        axis_scale = &own;
      } else {
        axis_scale = nullptr;
      }
    }
    float_::round(&c, axis_scale, mode);
    set(value, i, narrow(cell_float(&c)));
  }
  return value;
}

const cell* pick(cell* value, i32 index, const cell* index_cell) {
  u32 axes = axes_of(type_of(value));
  cell sel = index_cell ? *index_cell : cell{TYPE_INTEGER, 0, static_cast<u32>(index), 0};
  u32 axis = axis_of(&sel, axes);
  if (!axis) fire("script", "out-of-range", &sel);
  return float_::make_at(stack::arguments, get(value, axis - 1));
}

const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk) {
  u32 axes = axes_of(type_of(parent));
  u32 axis = axis_of(element, axes);
  if (!axis) {
    cell path = walk.path ? *walk.path : none_value, e = *element;
    fire("script", "invalid-path", &path, &e);
  }
  if (!value) return float_::make_at(stack::push_slot(), get(parent, axis - 1));
  u32 tv = type_of(value);
  double v;
  if (tv == TYPE_INTEGER) v = static_cast<i32>(value->data2);
  else if (tv == TYPE_FLOAT) v = cell_float(value);
  else datatype::fire_with_type("invalid-type", tv);
  set(parent, axis - 1, narrow(v));
  return parent;
}

const cell* reverse(cell* value, const cell* part, const cell* skip) {
  u32 last = axes_of(type_of(value)) - 1;
  float x = get(value, 0);
  set(value, 0, get(value, last));
  set(value, last, x);
  *stack::arguments = *value;
  return stack::arguments;
}

// The same entries for both types.
void fill_row(action_row& row) {
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
  row.round = round;
  row.pick = pick;
  row.reverse = reverse;
}

}  // namespace vyr::point

namespace vyr::point2D {

cell* make_at(cell* c, double x, double y) {
  *c = cell{TYPE_POINT2D, 0, 0, 0};
  point::set(c, 0, static_cast<float>(x));
  point::set(c, 1, static_cast<float>(y));
  return c;
}
cell* make_in(const cell* block, double x, double y) {
  series_buffer* b = buffer_of(block->data2);
  return make_at(memory::alloc_tail_cell(b), x, y);
}
cell* push(double x, double y) { return make_at(stack::push_slot(), x, y); }
void do_math(i32 op) { point::do_math(op, false); }

void init() {
  action_row row;
  point::fill_row(row);
  datatype::register_(TYPE_POINT2D, 0, "point2D!", row);
}

}  // namespace vyr::point2D

namespace vyr::point3D {

cell* make_at(cell* c, double x, double y, double z) {
  *c = cell{TYPE_POINT3D, 0, 0, 0};
  point::set(c, 0, static_cast<float>(x));
  point::set(c, 1, static_cast<float>(y));
  point::set(c, 2, static_cast<float>(z));
  return c;
}
cell* make_in(const cell* block, double x, double y, double z) {
  series_buffer* b = buffer_of(block->data2);
  return make_at(memory::alloc_tail_cell(b), x, y, z);
}
cell* push(double x, double y, double z) { return make_at(stack::push_slot(), x, y, z); }
void do_math(i32 op) { point::do_math(op, false); }

void init() {
  action_row row;
  point::fill_row(row);
  datatype::register_(TYPE_POINT3D, 0, "point3D!", row);
}

}  // namespace vyr::point3D
