// The value-level work of the math natives. Composite values are read and written by their
// cell layouts (pair!: two 32-bit integers in words 2-3; point2D!/point3D!: 32-bit floats
// in words 1-2(-3); tuple!: its length in header bits 19-22, one byte per part from byte 4).
#include "runtime/natives/math_helpers.h"

#include <cmath>
#include <cstring>
#include <utility>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/datatypes/actions.h"

namespace vyr::natives {

namespace {
constexpr double PI = 3.141592653589793;
constexpr double EPSILON = 2.220446049250313e-16;

bool float_layout(u32 t) { return t == TYPE_FLOAT || t == TYPE_PERCENT || t == TYPE_TIME; }
bool plain_number(u32 t) { return t == TYPE_INTEGER || t == TYPE_FLOAT || t == TYPE_PERCENT; }
bool composite(u32 t) {
  return t == TYPE_PAIR || t == TYPE_POINT2D || t == TYPE_POINT3D || t == TYPE_TUPLE;
}

float get_f32(const u32* word) {
  float f;
  std::memcpy(&f, word, sizeof f);
  return f;
}
void set_f32(u32* word, float f) { std::memcpy(word, &f, sizeof f); }
u32* coords(cell* c) { return &c->data1; }  // points: x, y(, z) from word 1

constexpr u32 TUPLE_LENGTH_SHIFT = 19;
u32 tuple_length(const cell* c) { return (c->header >> TUPLE_LENGTH_SHIFT) & 0xF; }
u8* tuple_bytes(cell* c) { return reinterpret_cast<u8*>(&c->data1); }

template <class T> T pick_of(T a, T b, bool max) { return max ? (a > b ? a : b) : (a < b ? a : b); }

bool fits_i32(double d) { return d >= -2147483648.0 && d < 2147483648.0; }  // false for NaN

// A pair! as a point2D! (its coordinates as 32-bit floats).
void pair_to_point(cell* c) {
  float x = static_cast<float>(static_cast<i32>(c->data2));
  float y = static_cast<float>(static_cast<i32>(c->data3));
  *c = cell{TYPE_POINT2D, 0, 0, 0};
  set_f32(&c->data1, x);
  set_f32(&c->data2, y);
}

// Coordinate-by-coordinate over points: the second operand's NaN always wins.
void point_max_min(cell* v1, const cell* v2, u32 n, bool max) {
  float other[3];
  u32 t2 = type_of(v2);
  if (t2 == TYPE_INTEGER || t2 == TYPE_FLOAT) {
    float s = t2 == TYPE_INTEGER ? static_cast<float>(static_cast<i32>(v2->data2))
                                 : static_cast<float>(cell_float(v2));
    other[0] = other[1] = other[2] = s;
  } else if (t2 == TYPE_PAIR) {
    other[0] = static_cast<float>(static_cast<i32>(v2->data2));
    other[1] = static_cast<float>(static_cast<i32>(v2->data3));
    other[2] = 0;
  } else {
    const u32* w = &v2->data1;
    for (u32 i = 0; i < n; i++) other[i] = get_f32(w + i);
  }
  u32* w = coords(v1);
  for (u32 i = 0; i < n; i++) {
    float a = get_f32(w + i), b = other[i];
    set_f32(w + i, std::isnan(b) ? b : pick_of(a, b, max));
  }
}
}  // namespace

// ---- Sign tests -------------------------------------------------------------------------

i32 sign_of(const cell* value, const char* native) {
  u32 t = type_of(value);
  if (t == TYPE_INTEGER) {
    i32 v = static_cast<i32>(value->data2);
    return (v > 0) - (v < 0);
  }
  if (float_layout(t)) {
    double d = cell_float(value);
    return (d > 0) - (d < 0);  // NaN: 0
  }
  if (t == TYPE_MONEY) return money::sign_q(value);
  datatype::fire_expect_arg(native, t, "number");
}

bool negative_q(const cell* value) { return sign_of(value, "negative?") < 0; }
bool positive_q(const cell* value) { return sign_of(value, "positive?") > 0; }

bool zero_q(const cell* value) {
  switch (type_of(value)) {
    case TYPE_CHAR: case TYPE_INTEGER: return value->data2 == 0;
    case TYPE_FLOAT: case TYPE_PERCENT: case TYPE_TIME: return cell_float(value) == 0.0;
    case TYPE_PAIR: return value->data2 == 0 && value->data3 == 0;
    case TYPE_POINT2D: return get_f32(&value->data1) == 0.0f && get_f32(&value->data2) == 0.0f;
    case TYPE_POINT3D:
      return get_f32(&value->data1) == 0.0f && get_f32(&value->data2) == 0.0f &&
             get_f32(&value->data3) == 0.0f;
    case TYPE_TUPLE: {
      cell c = *value;
      const u8* b = tuple_bytes(&c);
      for (u32 i = 0, n = tuple_length(&c); i < n && i < 12; i++)
        if (b[i]) return false;
      return true;
    }
    case TYPE_MONEY: return money::zero_q(value);
    default: return false;
  }
}

bool nan_value_q(const cell* value) {
  if (!float_layout(type_of(value))) return false;
  u64 bits;
  std::memcpy(&bits, &value->data2, sizeof bits);
  return (bits & 0x7FF0000000000000ull) == 0x7FF0000000000000ull &&
         (bits & 0x000FFFFFFFFFFFFFull) != 0;
}

// ---- max and min ------------------------------------------------------------------------

cell* max_min(cell* v1, cell* v2, bool max) {
  u32 t1 = type_of(v1), t2 = type_of(v2);
  // A NaN wins against any plain number, on either side.
  if (t1 != TYPE_INTEGER && plain_number(t1) && std::isnan(cell_float(v1)) && plain_number(t2))
    return v1;
  if (t2 != TYPE_INTEGER && plain_number(t2) && std::isnan(cell_float(v2)) && plain_number(t1))
    return copy_cell(v2, v1);
  // The composite goes first so that the result has its type.
  if (composite(t2) && (t1 == TYPE_INTEGER || t1 == TYPE_FLOAT)) {
    std::swap(*v1, *v2);
    std::swap(t1, t2);
  }
  switch (t1) {
    case TYPE_PAIR:
      if (t2 == TYPE_INTEGER || (t2 == TYPE_FLOAT && fits_i32(cell_float(v2)))) {
        i32 n = t2 == TYPE_INTEGER ? static_cast<i32>(v2->data2)
                                   : static_cast<i32>(std::trunc(cell_float(v2)));
        v1->data2 = static_cast<u32>(pick_of(static_cast<i32>(v1->data2), n, max));
        v1->data3 = static_cast<u32>(pick_of(static_cast<i32>(v1->data3), n, max));
        return v1;
      }
      if (t2 == TYPE_PAIR) {
        v1->data2 = static_cast<u32>(
            pick_of(static_cast<i32>(v1->data2), static_cast<i32>(v2->data2), max));
        v1->data3 = static_cast<u32>(
            pick_of(static_cast<i32>(v1->data3), static_cast<i32>(v2->data3), max));
        return v1;
      }
      if (t2 == TYPE_FLOAT || t2 == TYPE_POINT2D) {
        // A float no integer can hold: compare as points.
        pair_to_point(v1);
        point_max_min(v1, v2, 2, max);
        return v1;
      }
      break;
    case TYPE_POINT2D:
      if (t2 == TYPE_INTEGER || t2 == TYPE_FLOAT || t2 == TYPE_PAIR || t2 == TYPE_POINT2D) {
        point_max_min(v1, v2, 2, max);
        return v1;
      }
      break;
    case TYPE_POINT3D:
      if (t2 == TYPE_INTEGER || t2 == TYPE_FLOAT || t2 == TYPE_POINT3D) {
        point_max_min(v1, v2, 3, max);
        return v1;
      }
      break;
    case TYPE_TUPLE: {
      u32 n = tuple_length(v1);
      if (n > 12) n = 12;
      if (t2 == TYPE_INTEGER || t2 == TYPE_FLOAT) {
        i32 s;
        if (t2 == TYPE_INTEGER) {
          s = static_cast<i32>(v2->data2);
        } else {
          double d = cell_float(v2);
          if (!fits_i32(d)) {
            cell t;
            datatype::make_at(&t, TYPE_INTEGER);
            fire("script", "type-limit", &t);
          }
          s = static_cast<i32>(std::trunc(d));
        }
        u8 byte = static_cast<u8>(s < 0 ? 0 : s > 255 ? 255 : s);
        u8* b = tuple_bytes(v1);
        for (u32 i = 0; i < n; i++) b[i] = pick_of(b[i], byte, max);
        return v1;
      }
      if (t2 == TYPE_TUPLE && tuple_length(v2) == tuple_length(v1)) {
        u8* b = tuple_bytes(v1);
        const u8* o = tuple_bytes(v2);
        for (u32 i = 0; i < n; i++) b[i] = pick_of(b[i], o[i], max);
        return v1;
      }
      break;
    }
    default:
      break;
  }
  // Everything else by the compare action; ties give max v1 and min v2.
  bool lesser = actions::compare(v1, v2, compare_op::LESSER);
  return (max ? lesser : !lesser) ? copy_cell(v2, v1) : v1;
}

// ---- Integers ---------------------------------------------------------------------------

i32 shift(i32 data, i32 bits, bool left, bool logical) {
  if (bits < 0) bits = 0;
  if (left) return bits < 32 ? static_cast<i32>(static_cast<u32>(data) << bits) : 0;
  if (logical) return bits < 32 ? static_cast<i32>(static_cast<u32>(data) >> bits) : 0;
  if (bits < 32) return data >> bits;  // arithmetic: C++20 defines it so
  return data < 0 ? -1 : 0;
}

std::string to_hex_digits(i32 value, bool sized, i32 length) {
  if (sized && length <= 0) {
    cell l{TYPE_INTEGER, 0, static_cast<u32>(length), 0};
    fire("script", "invalid-arg", &l);
  }
  static const char digits[] = "0123456789ABCDEF";
  std::string text(8, '0');
  u32 v = static_cast<u32>(value);
  for (int i = 7; i >= 0; i--, v >>= 4) text[static_cast<size_t>(i)] = digits[v & 0xF];
  if (sized && length < 8) text.erase(0, static_cast<size_t>(8 - length));
  return text;
}

cell to_hex(i32 value, bool sized, i32 length) {
  return issue::intern(to_hex_digits(value, sized, length).c_str());
}

// ---- Trigonometry -----------------------------------------------------------------------

double degrees_to_radians(double angle, int mode) {
  double a = std::fmod(angle, 360.0);
  if (a > 180 || a < -180) a = a >= 0 ? a - 360 : a + 360;
  if (a > 90 || a < -90) {
    if (mode == TRIG_TANGENT) a = a >= 0 ? a - 180 : a + 180;
    else if (mode == TRIG_SINE) a = a >= 0 ? 180 - a : -180 - a;
  }
  return a * PI / 180;
}

namespace {
double snap_zero(double r) { return std::fabs(r) < EPSILON ? 0.0 : r; }
double to_degrees(double r, bool radians) { return radians ? r : r * 180 / PI; }
}  // namespace

double sine(double angle, bool radians) {
  return snap_zero(std::sin(radians ? angle : degrees_to_radians(angle, TRIG_SINE)));
}
double cosine(double angle, bool radians) {
  return snap_zero(std::cos(radians ? angle : degrees_to_radians(angle, TRIG_COSINE)));
}
double tangent(double angle, bool radians) {
  double r = radians ? angle : degrees_to_radians(angle, TRIG_TANGENT);
  if (r == PI / 2) return HUGE_VAL;
  if (r == PI / -2) return -HUGE_VAL;
  return std::tan(r);
}
double arcsine(double value, bool radians) { return to_degrees(std::asin(value), radians); }
double arccosine(double value, bool radians) { return to_degrees(std::acos(value), radians); }
double arctangent(double value, bool radians) { return to_degrees(std::atan(value), radians); }
double arctangent2(double y, double x, bool radians) {
  double r = std::atan2(y, x);
  return radians ? r : r * (180 / PI);
}

// ---- Logarithms and powers --------------------------------------------------------------

double log_2(double x) { return std::log(x) / 0.6931471805599453; }
double log_10(double x) { return std::log10(x); }
double log_e(double x) { return std::log(x); }
double exp(double x) { return std::pow(2.718281828459045, x); }
double square_root(double x) { return std::sqrt(x); }

double number_of(const cell* value, const char* native) {
  u32 t = type_of(value);
  if (t == TYPE_INTEGER) return static_cast<i32>(value->data2);
  if (t == TYPE_FLOAT || t == TYPE_PERCENT) return cell_float(value);
  datatype::fire_expect_arg(native, t, "value");
}

}  // namespace vyr::natives
