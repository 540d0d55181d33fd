// integer!: constructors, the math core, actions and registration. Every intermediate that
// may leave the 32-bit range is computed in 64 bits.
#include "runtime/datatypes/integer.h"

#include <algorithm>

#include <cmath>
#include <charconv>
#include <cstdio>
#include <utility>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/vector.h"
#include "runtime/fire.h"
#include "runtime/random.h"
#include "runtime/stack.h"
#include "runtime/memory.h"

namespace vyr::integer {

text_reader_fn text_reader = nullptr;

namespace {
bool fits(i64 v) { return v >= INT32_MIN && v <= INT32_MAX; }

[[noreturn]] void math_error(const char* id) { fire("math", id); }

// "incompatible argument for <word> of <type>"
[[noreturn]] void not_related(const char* word, u32 type) {
  datatype::fire_word_type("not-related", word, type);
}

// "cannot MAKE/TO <type> from: <value>"
[[noreturn]] void bad_to_arg(const cell* spec) {
  datatype::fire_with_type("bad-to-arg", TYPE_INTEGER, spec);
}
}  // namespace

// ---- Constructors -----------------------------------------------------------------------

cell* make_at(cell* c, i32 value) {
  *c = cell{TYPE_INTEGER, 0, static_cast<u32>(value), 0};
  return c;
}
cell* make_in(const cell* block, i32 value) {
  series_buffer* b = buffer_of(block->data2);
  return make_at(memory::alloc_tail_cell(b), value);
}
cell* push(i32 value) { return make_at(stack::push_slot(), value); }
cell* box(i32 value) { return make_at(stack::arguments, value); }
i32 get_arg() { return get(stack::arguments); }
i32 get_arg_or_zero() {
  return type_of(stack::arguments) == TYPE_INTEGER ? get(stack::arguments) : 0;
}

// ---- Support ----------------------------------------------------------------------------

i32 get_sign(i32 value) { return value < 0 ? -1 : value > 0 ? 1 : 0; }

i32 abs(i32 value) {
  if (value == INT32_MIN) math_error("overflow");
  return value < 0 ? -value : value;
}

bool overflow_q(const cell* f) {
  double d = cell_float(f);
  return !(d <= 2147483647.0 && d >= -2147483648.0);  // NaN fails both tests
}

const char* form_signed(i32 value) {
  // "-2147483648" and its NUL take 12 characters.
  static char text[12];
  *std::to_chars(text, text + sizeof text - 1, value).ptr = 0;
  return text;
}

i32 do_math_op(i32 left, i32 right, i32 op, cell* result) {
  i64 l = left, r = right, v = 0;
  switch (op) {
    case math_op::ADD: v = l + r; break;
    case math_op::SUBTRACT: v = l - r; break;
    case math_op::MULTIPLY: v = l * r; break;
    case math_op::DIVIDE:
    case math_op::REMAINDER:
      if (right == 0) math_error("zero-divide");
      if (left == INT32_MIN && right == -1) math_error("overflow");
      if (op == math_op::REMAINDER) {
        v = l % r;
      } else if (l % r != 0 && result) {
        float_::make_at(result, static_cast<double>(l) / static_cast<double>(r));
        return static_cast<i32>(l / r);
      } else {
        v = l / r;
      }
      break;
    case math_op::OR: v = left | right; break;
    case math_op::AND: v = left & right; break;
    case math_op::XOR: v = left ^ right; break;
    default: fire("internal", "not-done");
  }
  if (!fits(v)) {
    if (!result) math_error("overflow");
    // Exact in double: both operands are 32-bit and the product has at most 62 bits
    // of which double keeps the nearest.
    float_::make_at(result, static_cast<double>(v));
    return static_cast<i32>(v);
  }
  if (result) make_at(result, static_cast<i32>(v));
  return static_cast<i32>(v);
}

i32 from_binary(const cell* binary) {
  series_buffer* b = buffer_of(binary->data2);
  u32 n = b->used_units();
  u32 head = binary->data1 < n ? binary->data1 : n;
  u32 count = n - head < 4 ? n - head : 4;
  const u8* p = reinterpret_cast<const u8*>(b->head()) + head;
  u32 v = 0;
  for (u32 i = 0; i < count; i++) v = (v << 8) | p[i];
  return static_cast<i32>(v);
}

i32 from_hex(const cell* issue) {
  std::string_view name = symbol::name(issue->data2);
  bool ok = !name.empty() && name.size() <= 8;
  u32 v = 0;
  for (size_t i = 0; ok && i < name.size(); i++) {
    int d = string::hex_digit(static_cast<u8>(name[i]));
    if (d < 0) ok = false;
    v = (v << 4) | u32(d);
  }
  if (!ok) {
    cell copy = *issue;
    fire("script", "invalid-data", &copy);
  }
  return static_cast<i32>(v);
}

// ---- Actions ----------------------------------------------------------------------------

const cell* to(const cell* proto, const cell* spec, u32 type) {
  switch (type_of(spec)) {
    case TYPE_INTEGER:
      return box(get(spec));
    case TYPE_CHAR:
      return box(static_cast<i32>(spec->data2));
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF: {
      if (!text_reader) fire("internal", "not-done");
      series_buffer* b = buffer_of(spec->data2);
      i64 count = i64{b->used_units()} - i64{spec->data1};
      if (count <= 0) bad_to_arg(spec);
      i32 error = 0;
      i32 v = text_reader(b->head() + u64{spec->data1} * b->unit(), static_cast<i32>(count),
                          b->unit(), &error);
      if (error) bad_to_arg(spec);
      return box(v);
    }
    case TYPE_FLOAT: case TYPE_PERCENT:
      if (overflow_q(spec)) datatype::fire_with_type("type-limit", TYPE_INTEGER);
      return box(static_cast<i32>(cell_float(spec)));
    case TYPE_TIME: {
      // Whole seconds, halves away from zero in both directions.
      double s = std::round(cell_float(spec));
      if (!(s <= 2147483647.0 && s >= -2147483648.0))
        datatype::fire_with_type("type-limit", TYPE_INTEGER);
      return box(static_cast<i32>(s));
    }
    case TYPE_BINARY:
      return box(from_binary(spec));
    case TYPE_ISSUE:
      return box(from_hex(spec));
    case TYPE_MONEY: {
      cell m = *spec;
      return box(money::to_integer(&m));
    }
    case TYPE_DATE:
      return box(date::to_epoch(spec));
    default:
      bad_to_arg(spec);
  }
}

const cell* make(const cell* proto, const cell* spec, u32 type) {
  if (type_of(spec) == TYPE_LOGIC) return box(spec->data1 == 1 ? 1 : 0);
  return to(proto, spec, type);
}

const cell* random(cell* value, bool seed, bool secure, bool only) {
  i32 n = get(value);
  if (seed) {
    random::seed(static_cast<u32>(n));
    return unset::push_last();
  }
  // char! inherits this action: the drawn code point stays a char!.
  u32 type = type_of(value);
  if (type == TYPE_CHAR && n >= 0xD800) {
    // The surrogate halves are no characters: the draw skips over them.
    i32 gap = std::min(n, 0xDFFF) - 0xD800 + 1;
    i32 r = random::int_in_range(secure, n - gap);
    if (r >= 0xD800) r += gap;
    cell* out = box(r);
    set_type(out, type);
    return out;
  }
  cell* out = box(random::int_in_range(secure, n));
  set_type(out, type);
  return out;
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return datatype::append_text(out, form_signed(get(value)), budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  return datatype::append_text(out, form_signed(get(value)), budget);
}

i32 compare(const cell* a, const cell* b, i32 op) {
  u32 tb = type_of(b);
  // same? and strict-equal? never equate different types. Find equality does for
  // integer! against float! only, so that `find [1 2.0 3] 2` finds 2.0 as equal? would.
  if ((op == compare_op::STRICT_EQUAL || op == compare_op::SAME) && tb != TYPE_INTEGER) return 1;
  if (op == compare_op::FIND && tb != TYPE_INTEGER && tb != TYPE_FLOAT) return 1;
  switch (tb) {
    case TYPE_INTEGER: case TYPE_CHAR: {
      i32 x = get(a), y = static_cast<i32>(b->data2);
      return x < y ? -1 : x > y ? 1 : 0;
    }
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: {
      cell as_float;
      float_::make_at(&as_float, static_cast<double>(get(a)));
      return float_::compare(&as_float, b, op == compare_op::FIND ? compare_op::EQUAL : op);
    }
    case TYPE_MONEY: {
      cell as_money;
      money::from_integer(&as_money, get(a));
      return money::compare(&as_money, b, op);
    }
    default:
      return COMPARE_NOT_COMPARABLE;
  }
}

namespace {
// The stack-form arithmetic: integer! at stack::arguments, the second operand after it.
void arith(i32 op) {
  cell* a = stack::arg(0);
  const cell* b = stack::arg(1);
  u32 tb = type_of(b);
  if (tb == TYPE_VECTOR) return vector::number_first(op);
  switch (tb) {
    case TYPE_INTEGER: case TYPE_CHAR:
      do_math_op(get(a), static_cast<i32>(b->data2), op, a);
      return;
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME:
      float_::do_math(op);
      return;
    case TYPE_PAIR: case TYPE_POINT2D: case TYPE_POINT3D:
      if (op == math_op::DIVIDE) not_related("divide", TYPE_INTEGER);
      // The number stays the left operand: 10 - 3x4 is 7x6, 10 % 3x4 is 1x2.
      if (tb == TYPE_PAIR) pair::number_first(op);
      else point::number_first(op);
      return;
    case TYPE_TUPLE:
      tuple::number_first(op);  // refuses subtract and divide
      return;
    case TYPE_DATE: {
      if (op != math_op::ADD) not_related("subtract", TYPE_INTEGER);
      std::swap(*stack::arg(0), *stack::arg(1));  // n + date is date + n
      date::add();
      return;
    }
    case TYPE_MONEY:
      money::do_math(op);
      return;
    case TYPE_VECTOR:
      fire("internal", "not-done");
    default:
      datatype::fire_with_type("invalid-type", tb);
  }
}
}  // namespace

void absolute() { make_at(stack::arg(0), abs(get(stack::arg(0)))); }
void add() { arith(math_op::ADD); }
void subtract() { arith(math_op::SUBTRACT); }
void multiply() { arith(math_op::MULTIPLY); }
void divide() { arith(math_op::DIVIDE); }
void remainder() { arith(math_op::REMAINDER); }
void and_() { arith(math_op::AND); }
void or_() { arith(math_op::OR); }
void xor_() { arith(math_op::XOR); }

void power() {
  cell* base = stack::arg(0);
  const cell* exponent = stack::arg(1);
  u32 te = type_of(exponent);
  if (te != TYPE_INTEGER && te != TYPE_FLOAT) {
    datatype::fire_expect_arg("power", te, "exponent");
  }
  if (te == TYPE_INTEGER && get(exponent) >= 0) {
    // Squaring in 64 bits; the first product that leaves the 32-bit range sends the
    // whole computation to the float power.
    i64 result = 1, b = get(base);
    u32 e = static_cast<u32>(get(exponent));
    bool overflow = false;
    while (e && !overflow) {
      if (e & 1) {
        result *= b;
        overflow = !fits(result);
      }
      e >>= 1;
      if (e && !overflow) {
        b *= b;
        overflow = !fits(b);
      }
    }
    if (!overflow) {
      make_at(base, static_cast<i32>(result));
      return;
    }
  }
  float_::make_at(base, static_cast<double>(get(base)));
  float_::power();
}

const cell* negate(cell* value) {
  if (get(value) == INT32_MIN) math_error("overflow");
  return make_at(value, -get(value));
}

const cell* complement(cell* value) { return make_at(value, ~get(value)); }

const cell* round(cell* value, const cell* scale, const round_flags& mode) {
  if (scale && type_of(scale) == TYPE_MONEY) not_related("round", TYPE_MONEY);
  i64 h = 1;
  if (scale) {
    if (type_of(scale) != TYPE_INTEGER) {
      float_::make_at(value, static_cast<double>(get(value)));
      return float_::round(value, scale, mode);
    }
    h = abs(get(scale));
  }
  if (h == 0) return value;
  i64 x = get(value);
  bool negative = x < 0;
  i64 v = negative ? -x : x;  // 64 bits: the magnitude of -2147483648 fits
  i64 r = v % h;
  if (r == 0) return value;
  i64 d = h - r;
  i64 down = v - r, up = v + d;
  i64 chosen;
  if (mode.down) {
    chosen = down;
  } else if (mode.floor) {
    chosen = negative ? up : down;
  } else if (mode.ceiling) {
    chosen = negative ? down : up;
  } else if (r < d) {
    chosen = down;
  } else if (r > d) {
    chosen = up;
  } else if (mode.even) {
    chosen = (v / h) % 2 ? up : down;
  } else if (mode.half_down) {
    chosen = down;
  } else if (mode.half_ceiling) {
    chosen = negative ? down : up;
  } else {
    chosen = up;
  }
  i64 result = negative ? -chosen : chosen;
  if (!fits(result)) math_error("overflow");
  return make_at(value, static_cast<i32>(result));
}

bool even_q(const cell* value) { return (get(value) & 1) == 0; }
bool odd_q(const cell* value) { return (get(value) & 1) != 0; }

// ---- Registration -----------------------------------------------------------------------

void init() {
  action_row row;
  row.make = make;
  row.random = random;
  row.to = to;
  row.form = form;
  row.mold = mold;
  row.compare = compare;
  row.absolute = absolute;
  row.add = add;
  row.divide = divide;
  row.multiply = multiply;
  row.negate = negate;
  row.power = power;
  row.remainder = remainder;
  row.round = round;
  row.subtract = subtract;
  row.even_q = even_q;
  row.odd_q = odd_q;
  row.and_ = and_;
  row.complement = complement;
  row.or_ = or_;
  row.xor_ = xor_;
  datatype::register_(TYPE_INTEGER, 0, "integer!", row);
}

}  // namespace vyr::integer
