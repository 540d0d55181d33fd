// float!: constructors, the text form, the shared math core and comparison, actions and
// registration. Text never depends on the C locale.
#include "runtime/datatypes/float.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "runtime/collector.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/unset.h"
#include "runtime/dtoa.h"
#include "runtime/fire.h"
#include "runtime/random.h"
#include "runtime/stack.h"
#include "runtime/memory.h"

namespace vyr::float_ {

u32 pretty_print_q = 1;
u32 full_support_q = 0;
text_reader_fn text_reader = nullptr;
value_loader_fn value_loader = nullptr;

namespace {
u64 bits_of(double d) {
  u64 b;
  std::memcpy(&b, &d, sizeof b);
  return b;
}

bool float_layout(u32 type) {
  return type == TYPE_FLOAT || type == TYPE_PERCENT || type == TYPE_TIME;
}

// "cannot MAKE/TO <type> from: <value>"
[[noreturn]] void bad_to_arg(u32 type, const cell* spec) {
  datatype::fire_with_type("bad-to-arg", type, spec);
}

const char* op_word(i32 op) {
  static const char* const words[] = {"add", "subtract", "multiply", "divide", "remainder",
                                      "or~", "and~", "xor~"};
  return op >= 0 && op < 8 ? words[op] : "math";
}
}  // namespace

// ---- Constructors -----------------------------------------------------------------------

cell* make_at(cell* c, double value) {
  *c = cell{TYPE_FLOAT, 0, 0, 0};
  set_cell_float(c, value);
  return c;
}
cell* make_in(const cell* block, u32 low, u32 high) {
  series_buffer* b = buffer_of(block->data2);
  cell* c = memory::alloc_tail_cell(b);
  *c = cell{TYPE_FLOAT, 0, low, high};
  return c;
}
cell* push(double value) { return make_at(stack::push_slot(), value); }
cell* push64(u32 low, u32 high) {
  cell* c = stack::push_slot();
  *c = cell{TYPE_FLOAT, 0, low, high};
  return c;
}
cell* box(double value) { return make_at(stack::arguments, value); }

// ---- Support ----------------------------------------------------------------------------

bool nan_q(double value) { return value != value; }
bool nan_bits_q(double value) {
  u64 b = bits_of(value);
  return (b & 0x7FF0000000000000ull) == 0x7FF0000000000000ull && (b & 0x000FFFFFFFFFFFFFull);
}
bool special_q(double value) { return std::isinf(value) || nan_q(value); }

i32 round_to_int(double value) {
  double v = std::trunc(value + ROUNDING_BIAS);
  if (!(v <= 2147483647.0 && v >= -2147483648.0)) return INT32_MIN;  // as the CPU answers
  return static_cast<i32>(v);
}

double get_number(const cell* c) {
  switch (type_of(c)) {
    case TYPE_INTEGER: return static_cast<i32>(c->data2);
    case TYPE_FLOAT: return cell_float(c);
    default: bad_to_arg(TYPE_FLOAT, c);
  }
}

// ---- Text -------------------------------------------------------------------------------

namespace {
char text[32];

void format_g(double value, int precision) {
  auto r = std::to_chars(text, text + sizeof text - 1, value, std::chars_format::general,
                         precision);
  *r.ptr = 0;
}
}  // namespace

const char* form_float(double value, i32 kind) {
  if ((bits_of(value) & 0x7FF0000000000000ull) == 0x7FF0000000000000ull) {
    if (nan_bits_q(value)) return "1.#NaN";
    return value < 0 ? "-1.#INF" : "1.#INF";
  }
  if (pretty_print_q && std::fabs(value) < EPSILON) {
    if (kind == FORM_VECTOR_PERCENT || kind == FORM_PERCENT) return "0%";
    return kind == FORM_POINT ? "0" : "0.0";
  }
  switch (kind) {
    case FORM_VECTOR_FLOAT: case FORM_VECTOR_PERCENT: case FORM_POINT: format_g(value, 7); break;
    case FORM_PERCENT: format_g(value, 13); break;
    case FORM_TIME: {
      std::string s = dtoa::form_float(value, 6, false);
      std::snprintf(text, sizeof text, "%s", s.c_str());
      break;
    }
    default: format_g(value, 16); break;
  }
  // Binary noise: a long text ending in ...01 or ...99 is formatted again with fewer
  // digits, once.
  if (pretty_print_q) {
    size_t len = std::strlen(text);
    const char* e = std::strchr(text, 'e');
    size_t mantissa = e ? static_cast<size_t>(e - text) : len;
    bool candidate;
    if (e) {
      candidate = mantissa > 16;
    } else {
      const char* p = text[0] == '-' ? text + 1 : text;
      candidate = len > (*p == '0' ? 17u : 16u);
    }
    if (candidate) {
      const char* last2 = text + mantissa - 2;
      if ((last2[0] == '0' && last2[1] == '1') || (last2[0] == '9' && last2[1] == '9')) {
        bool short_kind = kind == FORM_VECTOR_FLOAT || kind == FORM_TIME || kind == FORM_POINT;
        format_g(value, short_kind ? 5 : 14);
      }
    }
  }
  // Exponent: no "+", no leading zeros ("1e+20" -> "1e20", "1e-05" -> "1e-5").
  if (char* e = std::strchr(text, 'e')) {
    char* src = e + 1;
    char* dst = e + 1;
    if (*src == '+') src++;
    else if (*src == '-') *dst++ = *src++;
    while (*src == '0' && src[1]) src++;
    std::memmove(dst, src, std::strlen(src) + 1);
  }
  if (kind == FORM_VECTOR_PERCENT || kind == FORM_PERCENT) {
    std::strcat(text, "%");
  } else if ((kind == FORM_VECTOR_FLOAT || kind == FORM_FLOAT) && !std::strchr(text, '.')) {
    if (char* e = std::strchr(text, 'e')) {
      std::memmove(e + 2, e, std::strlen(e) + 1);
      e[0] = '.';
      e[1] = '0';
    } else {
      std::strcat(text, ".0");
    }
  }
  return text;
}

// ---- Math core --------------------------------------------------------------------------

double do_op(double x, double y, i32 op) {
  switch (op) {
    case math_op::ADD: return x + y;
    case math_op::SUBTRACT: return x - y;
    case math_op::MULTIPLY: return x * y;
    case math_op::DIVIDE: return x / y;
    case math_op::REMAINDER:
      if (y * 0.0 == 0.0) return std::fmod(x, y);  // y finite; fmod(x, 0) is NaN
      if (nan_q(y)) return y;
      return std::isinf(x) || nan_q(x) ? std::nan("") : x;  // y infinite
    default:
      datatype::fire_word_type("cannot-use", op_word(op), TYPE_FLOAT);
  }
}

void do_math(i32 op) {
  cell* a = stack::arg(0);
  const cell* b = stack::arg(1);
  u32 ta = type_of(a), tb = type_of(b);
  if (tb == TYPE_VECTOR && ta != TYPE_TIME) return vector::number_first(op);
  switch (tb) {
    case TYPE_TUPLE:
      tuple::number_first(op);  // refuses subtract and divide
      return;
    case TYPE_MONEY:
      money::do_math(op);
      return;
    case TYPE_VECTOR:
      fire("internal", "not-done");  // handed to those types' math when they exist
    case TYPE_PAIR: case TYPE_POINT2D: case TYPE_POINT3D:
      if (ta != TYPE_TIME) {
        if (op == math_op::SUBTRACT || op == math_op::DIVIDE)
          datatype::fire_word_type("not-related", op_word(op), tb);
        // The number stays the left operand of each component (10.0 % 3x4 is 1x2).
        if (tb == TYPE_PAIR) pair::number_first(op);
        else point::number_first(op);
        return;
      }
      datatype::fire_with_type("invalid-type", tb);
    case TYPE_INTEGER: case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME:
      break;
    case TYPE_CHAR:
      if (ta == TYPE_TIME || ta == TYPE_PERCENT) datatype::fire_with_type("invalid-type", tb);
      break;
    default:
      datatype::fire_with_type("invalid-type", tb);
  }
  double x = ta == TYPE_INTEGER ? static_cast<i32>(a->data2) : cell_float(a);
  double y = tb == TYPE_INTEGER || tb == TYPE_CHAR ? static_cast<double>(static_cast<i32>(b->data2))
                                                   : cell_float(b);
  double r = do_op(x, y, op);
  u32 result_type = TYPE_FLOAT;
  if ((ta == TYPE_TIME) != (tb == TYPE_TIME)) result_type = TYPE_TIME;
  else if (ta == TYPE_PERCENT) result_type = TYPE_PERCENT;
  // A number op time (2 * 1:00:00) is a time! too: it must stay within the time range.
  if (result_type == TYPE_TIME) time::check(r);
  make_at(a, r);
  set_type(a, result_type);
}

bool almost_equal_q(double a, double b) {
  if (nan_q(a) || nan_q(b)) return false;
  if (a == b) return true;
  if (std::fabs(a - b) < EPSILON) return true;
  // Ordered keys: +0.0 and -0.0 share one; neighbours differ by one.
  auto key = [](double d) {
    u64 k = bits_of(d);
    return (k >> 63) ? ~k + 1 : k | 0x8000000000000000ull;
  };
  u64 ka = key(a), kb = key(b);
  u32 ha = static_cast<u32>(ka >> 32), hb = static_cast<u32>(kb >> 32);
  if ((ha > hb ? ha - hb : hb - ha) > 1) return false;
  return (ka > kb ? ka - kb : kb - ka) <= 10;
}

// ---- Actions ----------------------------------------------------------------------------

namespace {
// The one value a text loads to, as a percent!'s fraction: "5%" is 0.05, "5" is 5.0.
double percent_of_text(const cell* spec) {
  if (!value_loader) fire("internal", "not-done");
  cell text = *spec, v;
  collector::root_guard g(&text);
  if (!value_loader(&text, &v)) bad_to_arg(TYPE_PERCENT, &text);
  switch (type_of(&v)) {
    case TYPE_INTEGER: return static_cast<i32>(v.data2);
    case TYPE_FLOAT: case TYPE_PERCENT: return cell_float(&v);
    default: bad_to_arg(TYPE_PERCENT, &text);
  }
}
}  // namespace

const cell* make(const cell* proto, const cell* spec, u32 type) {
  double v = 0;
  switch (type_of(spec)) {
    case TYPE_INTEGER: case TYPE_CHAR:
      v = static_cast<i32>(spec->data2);
      break;
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME:
      v = cell_float(spec);
      break;
    case TYPE_BINARY: {
      // Up to 8 bytes from the head, big-endian, as the low-order bytes of the pattern.
      series_buffer* b = buffer_of(spec->data2);
      u32 n = b->used_units();
      u32 head = spec->data1 < n ? spec->data1 : n;
      u32 count = n - head < 8 ? n - head : 8;
      const u8* p = reinterpret_cast<const u8*>(b->head()) + head;
      u64 bits = 0;
      for (u32 i = 0; i < count; i++) bits = (bits << 8) | p[i];
      std::memcpy(&v, &bits, sizeof v);
      break;
    }
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: {
      series_buffer* b = buffer_of(spec->data2);
      i64 count = i64{b->used_units()} - i64{spec->data1};
      if (count != 2) bad_to_arg(type, spec);
      const cell* m = b->cells() + spec->data1;
      const cell* e = m + 1;
      for (const cell* c : {m, e})
        if (type_of(c) != TYPE_INTEGER && type_of(c) != TYPE_FLOAT) bad_to_arg(type, spec);
      double mant = get_number(m);
      double exp = std::trunc(get_number(e));
      v = mant * std::pow(10.0, exp);
      break;
    }
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF: {
      if (type == TYPE_PERCENT) {
        v = percent_of_text(spec);
        break;
      }
      if (!text_reader) fire("internal", "not-done");
      series_buffer* b = buffer_of(spec->data2);
      i64 count = i64{b->used_units()} - i64{spec->data1};
      if (count <= 0) bad_to_arg(type, spec);
      i32 error = 0;
      v = text_reader(b->head() + u64{spec->data1} * b->unit(), static_cast<i32>(count),
                      b->unit(), &error);
      if (error) bad_to_arg(type, spec);
      break;
    }
    case TYPE_MONEY:
      v = money::to_float(spec);
      break;
    default:
      bad_to_arg(type, spec);
  }
  cell* r = box(v);
  set_type(r, type);
  return r;
}

const cell* random(cell* value, bool seed, bool secure, bool only) {
  double v = cell_float(value);
  if (seed) {
    random::seed(value->data2 ^ value->data3);
    return unset::push_last();
  }
  double r = random::float_in_range(secure, v);
  u32 type = type_of(value);
  cell* out = box(r);
  set_type(out, type);
  return out;
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return datatype::append_text(out, form_float(cell_float(value), FORM_FLOAT), budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  std::string s = dtoa::form_float(cell_float(value), 0, true);
  return datatype::append_text(out, s.c_str(), budget);
}

i32 compare(const cell* a, const cell* b, i32 op) {
  u32 ta = type_of(a), tb = type_of(b);
  if (ta != tb) {
    if (op == compare_op::STRICT_EQUAL || op == compare_op::SAME) return 1;
    // Find equality compares float! with integer! as equal? does (`find [1 2.0 3] 2`).
    if (op == compare_op::FIND && !(ta == TYPE_FLOAT && tb == TYPE_INTEGER)) return 1;
  }
  double x = cell_float(a), y;
  if (tb == TYPE_INTEGER) {
    y = static_cast<i32>(b->data2);
  } else if (float_layout(tb)) {
    y = cell_float(b);
  } else if (tb == TYPE_MONEY) {
    return money::compare_float(x, b, op);
  } else {
    return COMPARE_NOT_COMPARABLE;
  }
  switch (op) {
    case compare_op::EQUAL: case compare_op::NOT_EQUAL: case compare_op::FIND:
      return almost_equal_q(x, y) ? 0 : 1;
    case compare_op::STRICT_EQUAL:
      return x == y ? 0 : 1;
    case compare_op::SAME:
      return bits_of(x) == bits_of(y) ? 0 : 1;
    default:
      if (nan_q(x) || nan_q(y)) {
        // Every ordering test with NaN is false.
        if (op == compare_op::LESSER || op == compare_op::LESSER_OR_EQUAL) return 1;
        if (op == compare_op::GREATER || op == compare_op::GREATER_OR_EQUAL) return -1;
        return 0;
      }
      return x < y ? -1 : x > y ? 1 : 0;
  }
}

void absolute() {
  cell* a = stack::arg(0);
  a->data3 &= 0x7FFFFFFFu;  // the sign bit of the high half
}
void add() { do_math(math_op::ADD); }
void subtract() { do_math(math_op::SUBTRACT); }
void multiply() { do_math(math_op::MULTIPLY); }
void divide() { do_math(math_op::DIVIDE); }
void remainder() { do_math(math_op::REMAINDER); }

void power() {
  cell* a = stack::arg(0);
  const cell* e = stack::arg(1);
  u32 te = type_of(e);
  if (te != TYPE_INTEGER && te != TYPE_FLOAT) {
    datatype::fire_expect_arg("power", te, "exponent");
  }
  double y = te == TYPE_INTEGER ? static_cast<i32>(e->data2) : cell_float(e);
  set_cell_float(a, std::pow(cell_float(a), y));
}

const cell* negate(cell* value) {
  set_cell_float(value, 0.0 - cell_float(value));
  return value;
}

const cell* round(cell* value, const cell* scale, const round_flags& mode) {
  if (scale && type_of(scale) == TYPE_MONEY)
    datatype::fire_word_type("not-related", "round", TYPE_MONEY);
  u32 type = type_of(value);
  double n = cell_float(value);
  double s = type == TYPE_PERCENT ? 0.01 : 1.0;
  if (scale) {
    u32 ts = type_of(scale);
    if (ts == TYPE_INTEGER) s = std::fabs(static_cast<double>(static_cast<i32>(scale->data2)));
    else if (float_layout(ts)) s = std::fabs(cell_float(scale));
    else datatype::fire_with_type("invalid-type", ts);
    if (type == TYPE_PERCENT) s /= 100.0;
  }
  // A zero scale, or one below the value's precision, leaves the value as it is (zero
  // itself included: its reciprocal would make a NaN of it).
  if (s == 0 || s < std::ldexp(std::fabs(n), -53)) return value;

  bool big = s >= 1.0;
  int exponent = 0;
  double r = 1.0;
  if (big) {
    n = n / s;
  } else {
    double m = std::frexp(s, &exponent);
    if (exponent <= -1022) {
      // A subnormal scale: work with its mantissa, n scaled up to match.
      s = m;
      n = std::ldexp(n, -exponent);
    } else {
      exponent = 0;
    }
    r = 1.0 / s;
    n = n * r;
  }

  double a = std::fabs(n);
  double rounded;
  bool restore_sign = true;
  if (mode.down) {
    rounded = std::floor(a);
  } else if (mode.floor) {
    rounded = std::floor(n);
    restore_sign = false;
  } else if (mode.ceiling) {
    rounded = std::ceil(n);
    restore_sign = false;
  } else {
    double half = std::floor(a) + 0.5;
    if (a > half) {
      rounded = std::ceil(a);
    } else if (a < half) {
      rounded = std::floor(a);
    } else if (mode.even) {
      rounded = std::fmod(a, 2.0) >= 1.0 ? std::ceil(a) : std::floor(a);
    } else if (mode.half_down) {
      rounded = std::floor(a);
    } else if (mode.half_ceiling) {
      rounded = std::ceil(n);
      restore_sign = false;
    } else {
      rounded = std::ceil(a);
    }
  }
  if (restore_sign && n < 0) rounded = -rounded;

  double result;
  if (big) {
    result = rounded * s;
    if (!(std::fabs(result) < DBL_MAX)) fire("math", "overflow");
  } else {
    result = std::ldexp(rounded / r, exponent);
  }

  if (scale && type_of(scale) == TYPE_INTEGER) {
    double t = std::trunc(result);
    if (!(t <= 2147483647.0 && t >= -2147483648.0)) fire("math", "overflow");
    *value = cell{TYPE_INTEGER, 0, static_cast<u32>(static_cast<i32>(t)), 0};
    return value;
  }
  u32 result_type = scale ? type_of(scale) : type;
  make_at(value, result);
  set_type(value, result_type);
  return value;
}

namespace {
bool odd(const cell* value) {
  double t = std::trunc(cell_float(value));
  if (!std::isfinite(t)) return false;  // no integer part: counts as even
  return std::fabs(std::fmod(t, 2.0)) == 1.0;
}
}  // namespace

bool even_q(const cell* value) { return !odd(value); }
bool odd_q(const cell* value) { return odd(value); }

// ---- Registration -----------------------------------------------------------------------

void init() {
  action_row row;
  row.make = make;
  row.random = random;
  row.to = make;
  row.form = form;
  row.mold = mold;
  row.compare = compare;
  row.absolute = absolute;
  row.add = add;
  row.subtract = subtract;
  row.multiply = multiply;
  row.divide = divide;
  row.remainder = remainder;
  row.negate = negate;
  row.power = power;
  row.round = round;
  row.even_q = even_q;
  row.odd_q = odd_q;
  datatype::register_(TYPE_FLOAT, 0, "float!", row);
}

}  // namespace vyr::float_
