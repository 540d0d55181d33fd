// tuple!: constructors, conversions (blocks, text, hexadecimal colours, binaries), text,
// comparison, saturating math, paths and registration.
#include "runtime/datatypes/tuple.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string_view>
#include <utility>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/scalar_text.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/fire.h"
#include "runtime/stack.h"
#include "runtime/random.h"
#include "runtime/word_tables.h"

namespace vyr::tuple {

namespace {
[[noreturn]] void bad_to_arg(const cell* spec) {
  datatype::fire_with_type("bad-to-arg", TYPE_TUPLE, spec);
}

[[noreturn]] void out_of_range(i32 index) {
  cell i{TYPE_INTEGER, 0, static_cast<u32>(index), 0};
  fire("script", "out-of-range", &i);
}

u8 clamp(i64 v) { return static_cast<u8>(v < 0 ? 0 : v > 255 ? 255 : v); }

// A float truncated toward zero and clamped (NaN counts as 0).
u8 clamp_float(double d) {
  if (std::isnan(d)) return 0;
  if (d <= 0) return 0;
  if (d >= 255) return 255;
  return static_cast<u8>(std::trunc(d));
}

void set_count(cell* c, u32 n) { c->header = (c->header & ~COUNT_MASK) | (n << COUNT_SHIFT); }

// Hexadecimal colour: 3 digits (each doubled), 6 or 8 digits. Characters outside ASCII are
// refused rather than cut to 7 bits, which would read "Á" as "A".
void from_issue(const cell* issue, cell* out) {
  cell copy = *issue;
  std::string_view name = symbol::name(copy.data2);
  u8 digits[8];
  size_t n = name.size();
  bool ok = n == 3 || n == 6 || n == 8;
  for (size_t i = 0; ok && i < n; i++) {
    u8 ch = static_cast<u8>(name[i]);
    int d = ch < 32 || ch > 127 ? -1 : string::hex_digit(ch);
    if (d < 0) ok = false;
    else digits[i] = static_cast<u8>(d);
  }
  if (!ok) fire("script", "invalid-data", &copy);
  u8 bytes[4];
  u32 count;
  if (n == 3) {
    for (u32 i = 0; i < 3; i++) bytes[i] = static_cast<u8>(digits[i] * 17);
    count = 3;
  } else {
    count = static_cast<u32>(n / 2);
    for (u32 i = 0; i < count; i++) bytes[i] = static_cast<u8>(digits[2 * i] << 4 | digits[2 * i + 1]);
  }
  make_at(out, bytes, count);
}
}  // namespace

// ---- Cells --------------------------------------------------------------------------------

u32 count_of(const cell* c) {
  u32 n = (c->header & COUNT_MASK) >> COUNT_SHIFT;
  return n < 3 ? 3 : n > MAX_BYTES ? MAX_BYTES : n;
}

u8 byte_at(const cell* c, u32 i) {
  u8 bytes[MAX_BYTES];
  std::memcpy(bytes, &c->data1, MAX_BYTES);
  return bytes[i];
}

void set_byte(cell* c, u32 i, u8 v) {
  u8 bytes[MAX_BYTES];
  std::memcpy(bytes, &c->data1, MAX_BYTES);
  bytes[i] = v;
  std::memcpy(&c->data1, bytes, MAX_BYTES);
}

cell* make_at(cell* c, const u8* bytes, u32 n) {
  if (n > MAX_BYTES) n = MAX_BYTES;
  u8 all[MAX_BYTES] = {};
  if (n) std::memcpy(all, bytes, n);
  *c = cell{TYPE_TUPLE | ((n < 3 ? 3 : n) << COUNT_SHIFT), 0, 0, 0};
  std::memcpy(&c->data1, all, MAX_BYTES);
  return c;
}

cell* push(u32 n, u32 w1, u32 w2, u32 w3) {
  cell* c = stack::push_slot();
  *c = cell{TYPE_TUPLE | ((n < 3 ? 3 : n > MAX_BYTES ? MAX_BYTES : n) << COUNT_SHIFT), w1, w2, w3};
  return c;
}

cell* make_colour(cell* c, u8 r, u8 g, u8 b, i32 alpha) {
  u8 bytes[4] = {r, g, b, static_cast<u8>(alpha < 0 ? 0 : alpha)};
  return make_at(c, bytes, alpha < 0 ? 3 : 4);
}

bool zero_q(const cell* c) {
  for (u32 i = 0, n = count_of(c); i < n; i++)
    if (byte_at(c, i)) return false;
  return true;
}

// ---- make and to --------------------------------------------------------------------------

const cell* to(const cell* proto, const cell* spec, u32 type) {
  cell out;
  u32 ts = type_of(spec);
  switch (ts) {
    case TYPE_TUPLE:
      out = *spec;
      break;
    case TYPE_BLOCK: case TYPE_PAREN: case TYPE_HASH: {
      series_buffer* b = buffer_of(spec->data2);
      u32 used = b->used_units();
      u32 head = spec->data1 < used ? spec->data1 : used;
      u32 n = used - head;
      if (n > MAX_BYTES) bad_to_arg(spec);
      u8 bytes[MAX_BYTES] = {};
      for (u32 i = 0; i < n; i++) {
        const cell* item = b->cells() + head + i;
        u32 t = type_of(item);
        double v;
        if (t == TYPE_INTEGER || t == TYPE_CHAR) v = static_cast<i32>(item->data2);
        else if (t == TYPE_FLOAT) v = std::trunc(cell_float(item));
        else bad_to_arg(spec);
        if (!(v >= 0 && v <= 255)) bad_to_arg(spec);
        bytes[i] = static_cast<u8>(v);
      }
      make_at(&out, bytes, n);
      break;
    }
    case TYPE_ISSUE:
      from_issue(spec, &out);
      break;
    case TYPE_BINARY: {
      series_buffer* b = buffer_of(spec->data2);
      u32 used = b->used_units();
      u32 head = spec->data1 < used ? spec->data1 : used;
      u32 n = used - head < MAX_BYTES ? used - head : MAX_BYTES;
      make_at(&out, reinterpret_cast<const u8*>(b->head()) + head, n);
      break;
    }
    default:
      if (scalar_text::text_q(ts)) {
        cell copy = *spec;
        if (!scalar_text::load_first(&copy, TYPE_TUPLE, &out)) bad_to_arg(&copy);
        break;
      }
      bad_to_arg(spec);
  }
  clear_new_line(&out);
  *stack::arguments = out;
  return stack::arguments;
}

const cell* make(const cell* proto, const cell* spec, u32 type) { return to(proto, spec, type); }

// ---- Text ---------------------------------------------------------------------------------

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  char text[4 * MAX_BYTES + 1];
  char* p = text;
  for (u32 i = 0, n = count_of(value); i < n; i++)
    p += std::snprintf(p, 5, i ? ".%u" : "%u", byte_at(value, i));
  return datatype::append_text(out, text, budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  return form(value, out, part, budget);
}

// ---- Comparison ---------------------------------------------------------------------------

i32 compare(const cell* a, const cell* b, i32 op) {
  if (type_of(b) != TYPE_TUPLE) return COMPARE_NOT_COMPARABLE;
  u32 na = count_of(a), nb = count_of(b);
  for (u32 i = 0, n = na > nb ? na : nb; i < n; i++) {
    u8 x = i < na ? byte_at(a, i) : 0, y = i < nb ? byte_at(b, i) : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

// ---- Math ---------------------------------------------------------------------------------

void do_math(i32 op, bool reversed) {
  cell* a = stack::arg(0);
  const cell* b = stack::arg(1);
  u32 tb = type_of(b);
  u32 na = count_of(a);
  cell r = *a;
  switch (tb) {
    case TYPE_INTEGER: case TYPE_TUPLE: {
      u32 n = na;
      if (tb == TYPE_TUPLE && count_of(b) > n) n = count_of(b);
      u32 nb = tb == TYPE_TUPLE ? count_of(b) : 0;
      for (u32 i = 0; i < n; i++) {
        i32 x = i < na ? byte_at(a, i) : 0;
        i32 y = tb == TYPE_INTEGER ? static_cast<i32>(b->data2) : i < nb ? byte_at(b, i) : 0;
        if (reversed) std::swap(x, y);
        cell result;
        integer::do_math_op(x, y, op, &result);
        u8 v;
        if (type_of(&result) == TYPE_INTEGER) v = clamp(static_cast<i32>(result.data2));
        else if (op == math_op::DIVIDE) v = clamp(x / y);  // inexact: truncated
        else v = cell_float(&result) > 0 ? 255 : 0;      // beyond 32 bits
        set_byte(&r, i, v);
      }
      set_count(&r, n);
      break;
    }
    case TYPE_FLOAT: case TYPE_PERCENT: {
      if (op > math_op::REMAINDER) datatype::fire_with_type("invalid-type", tb);
      double f = cell_float(b);
      for (u32 i = 0; i < na; i++) {
        double x = byte_at(a, i);
        set_byte(&r, i, clamp_float(reversed ? float_::do_op(f, x, op) : float_::do_op(x, f, op)));
      }
      break;
    }
    default:
      datatype::fire_with_type("invalid-type", tb);
  }
  *a = r;
}

void number_first(i32 op) {
  if (op == math_op::SUBTRACT || op == math_op::DIVIDE)
    datatype::fire_word_type("not-related", op == math_op::SUBTRACT ? "subtract" : "divide",
                             type_of(stack::arg(0)));
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

// ---- Other actions ------------------------------------------------------------------------

const cell* complement(cell* value) {
  for (u32 i = 0, n = count_of(value); i < n; i++) set_byte(value, i, static_cast<u8>(~byte_at(value, i)));
  return value;
}

i32 length_q(const cell* value) { return static_cast<i32>(count_of(value)); }

const cell* random(cell* value, bool seed, bool secure, bool only) {
  cell v = *value;
  if (seed) {
    random::seed(v.data1 ^ v.data2 ^ v.data3);
    return unset::push_last();
  }
  for (u32 i = 0, n = count_of(&v); i < n; i++) {
    // 0 ... b: one more than the byte, drawn from 1 ... b + 1.
    i32 b = byte_at(&v, i);
    set_byte(&v, i, static_cast<u8>(random::int_in_range(secure, b + 1) - 1));
  }
  *stack::arguments = v;
  return stack::arguments;
}

const cell* pick(cell* value, i32 index, const cell* index_cell) {
  if (index_cell && type_of(index_cell) != TYPE_INTEGER)
    datatype::fire_with_type("invalid-type", type_of(index_cell));
  if (index < 1 || static_cast<u32>(index) > count_of(value)) out_of_range(index);
  return integer::make_at(stack::arguments, byte_at(value, static_cast<u32>(index - 1)));
}

void poke_byte(cell* value, i32 index, const cell* v) {
  u32 n = count_of(value);
  if (index < 1 || static_cast<u32>(index) > n) out_of_range(index);
  u32 i = static_cast<u32>(index - 1);
  if (type_of(v) == TYPE_NONE) {
    for (u32 k = i; k < MAX_BYTES; k++) set_byte(value, k, 0);
    set_count(value, i < 3 ? 3 : i);
    return;
  }
  if (type_of(v) != TYPE_INTEGER) datatype::fire_with_type("invalid-type", type_of(v));
  set_byte(value, i, clamp(static_cast<i32>(v->data2)));
}

const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk) {
  if (type_of(element) != TYPE_INTEGER) datatype::fire_with_type("invalid-type", type_of(element));
  i32 index = static_cast<i32>(element->data2);
  if (!value) {
    if (index < 1 || static_cast<u32>(index) > count_of(parent)) out_of_range(index);
    return integer::make_at(stack::push_slot(), byte_at(parent, static_cast<u32>(index - 1)));
  }
  poke_byte(parent, index, value);
  return parent;
}

const cell* reverse(cell* value, const cell* part, const cell* skip) {
  cell v = *value;
  i64 n = count_of(&v);
  i64 p = n, k = 1;
  if (part) {
    if (type_of(part) != TYPE_INTEGER) series::invalid_refine(&words::ref_part, part);
    p = static_cast<i32>(part->data2);
    if (p < 0) series::out_of_range(p);
    if (p > n) p = n;
  }
  if (skip) {
    if (type_of(skip) != TYPE_INTEGER) series::invalid_refine(&words::ref_skip, skip);
    k = static_cast<i32>(skip->data2);
    if (k < 1) series::out_of_range(k);
  }
  if (k != p) {
    if (k > p || p % k) series::invalid_refine(&words::ref_skip, skip);
    // Records of k bytes swapped pairwise from both ends (k = 1: the bytes themselves).
    for (i64 lo = 0, hi = p - k; lo < hi; lo += k, hi -= k)
      for (i64 j = 0; j < k; j++) {
        u8 t = byte_at(&v, static_cast<u32>(lo + j));
        set_byte(&v, static_cast<u32>(lo + j), byte_at(&v, static_cast<u32>(hi + j)));
        set_byte(&v, static_cast<u32>(hi + j), t);
      }
  }
  *stack::arguments = v;
  return stack::arguments;
}

// ---- Registration -------------------------------------------------------------------------

void init() {
  action_row row;
  row.make = make;
  row.to = to;
  row.random = random;
  row.form = form;
  row.mold = mold;
  row.eval_path = eval_path;
  row.compare = compare;
  row.add = add;
  row.subtract = subtract;
  row.multiply = multiply;
  row.divide = divide;
  row.remainder = remainder;
  row.and_ = and_;
  row.or_ = or_;
  row.xor_ = xor_;
  row.complement = complement;
  row.length_q = length_q;
  row.pick = pick;
  row.reverse = reverse;
  datatype::register_(TYPE_TUPLE, 0, "tuple!", row);
}

}  // namespace vyr::tuple
