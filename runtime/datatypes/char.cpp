// char!: constructors, conversions, mold through the string escapes, comparison and the
// arithmetic that keeps a character a character. Every way in checks the code point range
// before it stores anything.
#include "runtime/datatypes/char.h"

#include <cmath>

#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/vector.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/fire.h"
#include "runtime/stack.h"
#include "runtime/memory.h"
#include "runtime/unicode.h"

namespace vyr::char_ {

namespace {
[[noreturn]] void bad_to_arg(const cell* spec) {
  datatype::fire_with_type("bad-to-arg", TYPE_CHAR, spec);
}

[[noreturn]] void out_of_range(const cell* spec) {
  cell v = *spec;
  fire("script", "out-of-range", &v);
}

// UTF-16 surrogate halves are no characters: text holding one cannot be written as
// UTF-8 and read back, and the lexer refuses them.
bool surrogate_q(u32 cp) { return cp >= 0xD800 && cp <= 0xDFFF; }

// A float operand as a code point: NaN and values outside 0..0x10FFFF are refused before
// the truncation, which would otherwise be undefined for them.
u32 float_code_point(const cell* spec) {
  double d = cell_float(spec);
  if (!(d > -1.0 && d < static_cast<double>(MAX_CODE_POINT) + 1.0)) out_of_range(spec);
  u32 cp = static_cast<u32>(static_cast<i64>(d));  // toward zero: -0.5 gives 0
  if (surrogate_q(cp)) out_of_range(spec);
  return cp;
}
}  // namespace

// ---- Constructors -----------------------------------------------------------------------

cell* make_at(cell* c, u32 cp) {
  *c = cell{TYPE_CHAR, 0, cp, 0};
  return c;
}
cell* make_in(const cell* block, u32 cp) {
  series_buffer* b = buffer_of(block->data2);
  return make_at(memory::alloc_tail_cell(b), cp);
}
cell* push(u32 cp) { return make_at(stack::push_slot(), cp); }

u32 from_utf8(const u8* bytes, u32 n, const cell* spec) {
  if (n == 0) bad_to_arg(spec);
  i32 count = static_cast<i32>(n > 4 ? 4 : n);  // what is really there, never more
  i32 cp = unicode::decode_utf8_char(bytes, &count);
  if (cp < 0) {
    // The sequence is cut by the end of the data.
    cell bin = unicode::small_binary(bytes, n > 4 ? 4 : n);
    fire("access", "invalid-utf8", &bin);
  }
  return static_cast<u32>(cp);
}

// ---- Actions ----------------------------------------------------------------------------

const cell* make(const cell* proto, const cell* spec, u32 type) {
  u32 cp = 0;
  switch (type_of(spec)) {
    case TYPE_CHAR: case TYPE_INTEGER: {
      i32 v = static_cast<i32>(spec->data2);
      if (v < 0 || static_cast<u32>(v) > MAX_CODE_POINT || surrogate_q(static_cast<u32>(v)))
        out_of_range(spec);
      cp = static_cast<u32>(v);
      break;
    }
    case TYPE_FLOAT: case TYPE_PERCENT:
      cp = float_code_point(spec);
      break;
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF: {
      series_buffer* b = buffer_of(spec->data2);
      if (spec->data1 >= b->used_units()) bad_to_arg(spec);
      cp = string::rs_abs_at(spec, spec->data1);
      break;
    }
    case TYPE_BINARY: {
      series_buffer* b = buffer_of(spec->data2);
      u32 used = b->used_units();
      u32 head = spec->data1 < used ? spec->data1 : used;
      cell s = *spec;
      cp = from_utf8(reinterpret_cast<const u8*>(b->head()) + head, used - head, &s);
      break;
    }
    default:
      bad_to_arg(spec);
  }
  return make_at(stack::arguments, cp);
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  series_buffer* b = buffer_of(out->data2);
  string::append_char(b, get(value));
  return budget - 1;
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  u32 text[12];
  text[0] = '#';
  text[1] = '"';
  u32 n = 2 + string::escape_char(get(value), all, false, text + 2);
  text[n++] = '"';
  series_buffer* b = buffer_of(out->data2);
  for (u32 i = 0; i < n; i++) b = string::append_char(b, text[i]);
  return budget - static_cast<i32>(n);
}

i32 compare(const cell* a, const cell* b, i32 op) {
  u32 tb = type_of(b);
  if ((op == compare_op::STRICT_EQUAL || op == compare_op::FIND) && tb != TYPE_CHAR) return 1;
  if (tb != TYPE_CHAR && tb != TYPE_INTEGER) return COMPARE_NOT_COMPARABLE;
  i32 x = static_cast<i32>(get(a)), y = static_cast<i32>(b->data2);
  return x < y ? -1 : x > y ? 1 : 0;
}

void do_math(i32 op) {
  cell* a = stack::arg(0);
  const cell* b = stack::arg(1);
  if (type_of(b) == TYPE_VECTOR) return vector::number_first(op);
  i32 right;
  switch (type_of(b)) {
    case TYPE_CHAR: case TYPE_INTEGER:
      right = static_cast<i32>(b->data2);
      break;
    case TYPE_FLOAT: {
      // Checked before the truncation: a float outside 32 bits cannot give a character.
      double d = cell_float(b);
      if (!(d > -2147483649.0 && d < 2147483648.0)) fire("math", "overflow");
      right = static_cast<i32>(d);
      break;
    }
    case TYPE_VECTOR:
      fire("internal", "not-done");  // vector! brings its element-wise math
    default:
      datatype::fire_with_type("invalid-type", type_of(b));
  }
  // Without a result cell the engine divides as integers and raises overflow itself.
  i32 v = integer::do_math_op(static_cast<i32>(get(a)), right, op, nullptr);
  if (v < 0 || static_cast<u32>(v) > MAX_CODE_POINT || surrogate_q(static_cast<u32>(v)))
    fire("math", "overflow");
  make_at(a, static_cast<u32>(v));
}

void add() { do_math(math_op::ADD); }
void subtract() { do_math(math_op::SUBTRACT); }
void multiply() { do_math(math_op::MULTIPLY); }
void divide() { do_math(math_op::DIVIDE); }
void remainder() { do_math(math_op::REMAINDER); }
void or_() { do_math(math_op::OR); }
void and_() { do_math(math_op::AND); }
void xor_() { do_math(math_op::XOR); }

// ---- Registration -----------------------------------------------------------------------

void init() {
  action_row row;  // every entry starts as INHERIT
  row.make = make;
  row.to = make;
  row.form = form;
  row.mold = mold;
  row.compare = compare;
  row.add = add;
  row.subtract = subtract;
  row.multiply = multiply;
  row.divide = divide;
  row.remainder = remainder;
  row.and_ = and_;
  row.or_ = or_;
  row.xor_ = xor_;
  // random, absolute, even? and odd? stay inherited from integer!; the rest is refused.
  row.reflect = nullptr;
  row.eval_path = nullptr;
  row.negate = nullptr;
  row.power = nullptr;
  row.round = nullptr;
  row.complement = nullptr;
  datatype::register_(TYPE_CHAR, TYPE_INTEGER, "char!", row);
}

}  // namespace vyr::char_
