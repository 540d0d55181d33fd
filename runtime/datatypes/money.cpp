// money!: constructors, the digit services, the text, the exact arithmetic, comparison,
// rounding and registration. Amounts are computed as whole numbers of 0.00001 (below
// 10^22, so every product and shifted dividend fits 128 bits) and stored back as packed
// digits; no binary floating point touches an amount except the float! conversions.
#include "runtime/datatypes/money.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "runtime/collector.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "runtime/stack.h"
#include "runtime/memory.h"
#include "runtime/random.h"
#include "runtime/word_tables.h"

namespace vyr::money {

cell currencies{TYPE_NONE, 0, 0, 0};
text_scanner_fn text_scanner = nullptr;

namespace {
using u128 = unsigned __int128;

constexpr u64 E8 = 100000000ull;
constexpr u64 E16 = E8 * E8;
constexpr u128 LIMIT = static_cast<u128>(E16) * 1000000;  // 10^22: one past the largest amount
constexpr u64 UNIT = 100000;                              // $1 in steps of 0.00001

// An amount: its magnitude in steps of 0.00001, its sign and its currency index.
struct amount {
  u128 mag = 0;
  bool neg = false;
  u32 currency = 0;
};

[[noreturn]] void type_limit() { datatype::fire_with_type("type-limit", TYPE_MONEY); }
[[noreturn]] void bad_make_arg(const cell* spec) {
  datatype::fire_with_type("bad-make-arg", TYPE_MONEY, spec);
}
[[noreturn]] void bad_to_arg(const cell* spec) {
  datatype::fire_with_type("bad-to-arg", TYPE_MONEY, spec);
}
[[noreturn]] void invalid_type(u32 type) { datatype::fire_with_type("invalid-type", type); }
[[noreturn]] void wrong_denom(const cell* a, const cell* b) {
  cell x = *a, y = *b;
  fire("script", "wrong-denom", &x, &y);
}

// Eight bytes of packed digits (the first byte the most significant) as a number: the
// nibbles are folded pairwise into bytes, 16-bit and 32-bit lanes without a loop.
[[gnu::always_inline]] inline u64 from_packed(u64 v) {
  v = (v & 0x0F0F0F0F0F0F0F0Full) + ((v >> 4) & 0x0F0F0F0F0F0F0F0Full) * 10;
  v = (v & 0x00FF00FF00FF00FFull) + ((v >> 8) & 0x00FF00FF00FF00FFull) * 100;
  v = (v & 0x0000FFFF0000FFFFull) + ((v >> 16) & 0x0000FFFF0000FFFFull) * 10000;
  return (v & 0xFFFFFFFFull) + (v >> 32) * E8;
}

// x below 10^8 as four bytes of packed digits, the most significant in the top byte: each
// lane split by a multiply-shift division that cannot carry into its neighbour.
[[gnu::always_inline]] inline u32 to_packed(u32 x) {
  u64 v = (u64{x / 10000} << 32) | (x % 10000);            // two lanes below 10^4
  u64 q = ((v * 5243) >> 19) & 0x0000007F0000007Full;       // lane / 100
  v = (q << 16) | (v - q * 100);                            // four lanes below 100
  u64 t = ((v * 103) >> 10) & 0x000F000F000F000Full;        // lane / 10
  v = (t << 4) | (v - t * 10);                              // a packed byte per lane
  v = (v | (v >> 8)) & 0x0000FFFF0000FFFFull;
  return static_cast<u32>(v | (v >> 16));
}

// Positions 1-6 in bytes 0-2, positions 7-22 in bytes 3-10.
u128 magnitude(const cell* c) {
  const u8* d = digits_of(c);
  u64 lo;
  std::memcpy(&lo, d + 3, 8);
  u64 l = lo ? from_packed(__builtin_bswap64(lo)) : 0;
  u64 hi = (u64{d[0]} << 16) | (u64{d[1]} << 8) | d[2];
  return hi ? static_cast<u128>(from_packed(hi)) * E16 + l : l;
}

// `m` must be below LIMIT.
void store_magnitude(cell* c, u128 m) {
  u64 hi, lo;
  if (!(m >> 64)) {
    hi = static_cast<u64>(m) / E16;
    lo = static_cast<u64>(m) % E16;
  } else {
    hi = static_cast<u64>(m / E16);
    lo = static_cast<u64>(m % E16);
  }
  // Small amounts leave their leading bytes zero without converting them.
  u8* d = digits_of(c);
  u32 h = hi ? __builtin_bswap32(to_packed(static_cast<u32>(hi))) : 0;
  u32 a = lo >= E8 ? __builtin_bswap32(to_packed(static_cast<u32>(lo / E8))) : 0;
  u32 b = __builtin_bswap32(to_packed(static_cast<u32>(lo % E8)));
  std::memcpy(d, reinterpret_cast<const u8*>(&h) + 1, 3);
  std::memcpy(d + 3, &a, 4);
  std::memcpy(d + 7, &b, 4);
}

amount read(const cell* c) {
  amount a;
  a.mag = magnitude(c);
  a.neg = get_sign(c) && a.mag != 0;
  a.currency = get_currency(c);
  return a;
}

// Writes a whole money! cell; a zero amount carries no sign.
cell* write(cell* c, const amount& a) {
  if (a.mag >= LIMIT) type_limit();
  *c = cell{TYPE_MONEY | (a.neg && a.mag ? SIGN_MASK : 0), 0, 0, 0};
  set_currency(c, a.currency);
  store_magnitude(c, a.mag);
  return c;
}

amount of_integer(i32 v) {
  amount a;
  i64 x = v;
  a.neg = x < 0;
  a.mag = static_cast<u128>(static_cast<u64>(x < 0 ? -x : x)) * UNIT;
  return a;
}

// The amount of a double (see from_float); `spec` is the cell named by the error.
amount of_float(double value, bool strict, const cell* spec) {
  double a = std::fabs(value);
  if (!std::isfinite(value) || (a != 0 && a < 1e-5) || a >= 1e17) bad_make_arg(spec);
  // The shortest digits that read back to the double: 0.1 is "0.1", not its binary noise.
  char text[64];
  auto r = std::to_chars(text, text + sizeof text, a, std::chars_format::fixed);
  const char* p = text;
  const char* e = r.ptr;
  u64 integer = 0;
  while (p < e && *p != '.') integer = integer * 10 + static_cast<u64>(*p++ - '0');
  u64 fraction = 0;
  u32 n = 0;
  if (p < e) p++;
  for (; p < e; p++) {
    if (n == FRACTION_DIGITS) {
      if (strict && *p != '0') bad_make_arg(spec);
      continue;
    }
    fraction = fraction * 10 + static_cast<u64>(*p - '0');
    n++;
  }
  for (; n < FRACTION_DIGITS; n++) fraction *= 10;
  amount m;
  m.mag = static_cast<u128>(integer) * UNIT + fraction;
  m.neg = value < 0;
  return m;
}

// A number operand of the math or of round as an amount; other types raise `invalid`.
amount operand(const cell* c) {
  switch (type_of(c)) {
    case TYPE_MONEY: return read(c);
    case TYPE_INTEGER: return of_integer(static_cast<i32>(c->data2));
    case TYPE_FLOAT: case TYPE_PERCENT: return of_float(cell_float(c), false, c);
    default: invalid_type(type_of(c));
  }
}

i32 compare_amounts(const amount& x, const amount& y) {
  i32 sx = x.mag ? (x.neg ? -1 : 1) : 0, sy = y.mag ? (y.neg ? -1 : 1) : 0;
  if (sx != sy) return sx < sy ? -1 : 1;
  i32 c = x.mag < y.mag ? -1 : x.mag > y.mag ? 1 : 0;
  return sx < 0 ? -c : c;
}

// The ordering of a money! against a double: signs first, so that a large or tiny double
// of the other sign never wins on magnitude alone; only then the magnitude shortcuts for
// doubles no amount can equal, else the double converted strictly.
i32 against_float(const cell* m, double x, const cell* spec) {
  if (std::isnan(x)) bad_make_arg(spec);
  i32 sm = sign_q(m), sx = (x > 0) - (x < 0);
  if (sm != sx) return sm < sx ? -1 : 1;
  if (sx == 0) return 0;
  double a = std::fabs(x);
  if (a < 1e-5) return sx > 0 ? 1 : -1;   // every non-zero amount is larger in magnitude
  if (a >= 1e17) return sx > 0 ? -1 : 1;  // and every amount smaller
  return compare_amounts(read(m), of_float(x, true, spec));
}

amount add_amounts(amount x, const amount& y) {
  if (x.neg == y.neg || !x.mag || !y.mag) {
    if (!x.mag) x.neg = y.neg;
    x.mag += y.mag;
    if (x.mag >= LIMIT) type_limit();
    return x;
  }
  if (x.mag >= y.mag) {
    x.mag -= y.mag;
  } else {
    x.mag = y.mag - x.mag;
    x.neg = y.neg;
  }
  return x;
}

amount multiply_amounts(const amount& x, const amount& y) {
  amount r;
  if (!x.mag || !y.mag) return r;
  // A product beyond 128 bits is beyond 10^27, whose fifth part is already too large.
  u128 p;
  if (__builtin_mul_overflow(x.mag, y.mag, &p)) type_limit();
  r.mag = p >> 64 ? p / UNIT : static_cast<u64>(p) / UNIT;  // truncated to five fraction digits
  // No digit is dropped: a product beyond 17 integer digits is an overflow, and one that
  // truncates to zero an underflow.
  if (r.mag >= LIMIT || r.mag == 0) type_limit();
  r.neg = x.neg != y.neg;
  return r;
}

amount divide_amounts(const amount& x, const amount& y, bool remainder) {
  if (!y.mag) fire("math", "zero-divide");
  amount r;
  if (!x.mag) return r;
  if (remainder) {
    r.mag = x.mag % y.mag;
    r.neg = x.neg;  // the sign of the dividend, as integer! and float! give it
    return r;
  }
  r.mag = x.mag * UNIT / y.mag;  // x below 10^22: the shifted dividend fits 128 bits
  if (r.mag == 0 || r.mag >= LIMIT) type_limit();
  r.neg = x.neg != y.neg;
  return r;
}

// ---- The common case in 64 bits --------------------------------------------------------
// Amounts below 10^16 steps ($100 billion) have their first three digit bytes zero; sums,
// differences and products by an integer! of such amounts that stay below it need neither
// 128-bit arithmetic nor those bytes. Anything else is left to the general path.

constexpr u64 SMALL = E16;

[[gnu::always_inline]] inline bool small_magnitude(const cell* c, u64* m) {
  const u8* d = digits_of(c);
  if (d[0] | d[1] | d[2]) return false;
  u64 lo;
  std::memcpy(&lo, d + 3, 8);
  *m = lo ? from_packed(__builtin_bswap64(lo)) : 0;
  return true;
}

// `m` below SMALL.
[[gnu::always_inline]] inline void store_small(cell* c, u64 m, bool negative, u32 currency) {
  *c = cell{TYPE_MONEY | (negative && m ? SIGN_MASK : 0), 0, 0, 0};
  set_currency(c, currency);
  u8* d = digits_of(c);
  u32 a = m >= E8 ? __builtin_bswap32(to_packed(static_cast<u32>(m / E8))) : 0;
  u32 b = __builtin_bswap32(to_packed(static_cast<u32>(m % E8)));
  std::memcpy(d + 3, &a, 4);
  std::memcpy(d + 7, &b, 4);
}

// A (a money!) op B done here when it is of the common case; false leaves both untouched.
bool small_math(cell* a, const cell* b, i32 op) {
  u64 x, y;
  if (!small_magnitude(a, &x)) return false;
  bool xn = get_sign(a);
  u32 ca = get_currency(a);
  if (type_of(b) == TYPE_MONEY) {
    if (op != math_op::ADD && op != math_op::SUBTRACT) return false;
    u32 cb = get_currency(b);
    if ((ca && cb && ca != cb) || !small_magnitude(b, &y)) return false;
    bool yn = get_sign(b) != (op == math_op::SUBTRACT);
    u64 r;
    bool rn;
    if (xn == yn) {
      r = x + y;
      rn = xn;
    } else if (x >= y) {
      r = x - y;
      rn = xn;
    } else {
      r = y - x;
      rn = yn;
    }
    if (r >= SMALL) return false;
    store_small(a, r, rn, cb ? cb : ca);
    return true;
  }
  if (type_of(b) == TYPE_INTEGER && op == math_op::MULTIPLY) {
    i64 n = static_cast<i32>(b->data2);
    u64 r;
    if (__builtin_mul_overflow(x, static_cast<u64>(n < 0 ? -n : n), &r) || r >= SMALL)
      return false;
    store_small(a, r, xn != (n < 0), ca);
    return true;
  }
  return false;
}

const char* currency_name(u32 index, char* buffer) {
  cell w;
  currency_word(index, &w);
  buffer[0] = 0;
  if (type_of(&w) == TYPE_NONE) return buffer;
  std::string_view n = symbol::name(w.data2);
  size_t len = n.size() < 15 ? n.size() : 15;
  std::memcpy(buffer, n.data(), len);
  buffer[len] = 0;
  return buffer;
}

// 1 code, 2 amount, 0 anything else.
int selector_of(const cell* element) {
  u32 t = type_of(element);
  if (t == TYPE_INTEGER) {
    i32 n = static_cast<i32>(element->data2);
    return n == 1 || n == 2 ? n : 0;
  }
  if (!word::any_word_q(t)) return 0;
  u32 id = symbol::resolve(element->data2);
  if (id == symbol::resolve(words::sym_money_code)) return 1;
  if (id == symbol::resolve(words::sym_amount)) return 2;
  return 0;
}

cell* selected(const cell* value, int selector, cell* out) {
  if (selector == 1) return currency_word(get_currency(value), out);
  copy_cell(value, out);
  set_currency(out, 0);
  return out;
}
}  // namespace

// ---- The currency list ------------------------------------------------------------------

void set_currencies(const cell* block) { currencies = *block; }

i32 get_currency_index(const cell* w) {
  if (type_of(&currencies) != TYPE_BLOCK) return -1;
  u32 id = symbol::resolve(w->data2);
  series_buffer* b = buffer_of(currencies.data2);
  u32 used = b->used_units();
  for (u32 i = currencies.data1, n = 1; i < used && n <= MAX_CURRENCIES; i++, n++) {
    const cell* c = b->cells() + i;
    if (word::any_word_q(type_of(c)) && symbol::resolve(c->data2) == id) return static_cast<i32>(n);
  }
  return -1;
}

i32 currency_index_of_text(const char* text, u32 length) {
  cell w{TYPE_WORD, 0, symbol::make_from_bytes(text, length), 0};
  return get_currency_index(&w);
}

cell* currency_word(u32 index, cell* out) {
  *out = none_value;
  if (index == 0 || type_of(&currencies) != TYPE_BLOCK) return out;
  series_buffer* b = buffer_of(currencies.data2);
  u64 at = u64{currencies.data1} + index - 1;
  if (at < b->used_units()) {
    *out = b->cells()[at];
    set_type(out, TYPE_WORD);
    clear_new_line(out);
  }
  return out;
}

i32 money_digits() { return 2; }

// ---- Constructors -----------------------------------------------------------------------

cell* make_at(cell* c, bool negative, const char* currency, const char* int_digits,
              u32 int_count, const char* fraction_digits, u32 fraction_count) {
  amount a;
  if (currency) {
    i32 index = currency_index_of_text(currency, 3);
    if (index < 0) return nullptr;
    a.currency = static_cast<u32>(index);
  }
  u64 integer = 0;
  u32 significant = 0;
  for (u32 i = 0; i < int_count; i++) {
    char ch = int_digits[i];
    if (ch == '\'') continue;
    if (ch < '0' || ch > '9') return nullptr;
    if (significant || ch != '0') significant++;
    if (significant > INTEGER_DIGITS) return nullptr;
    integer = integer * 10 + static_cast<u64>(ch - '0');
  }
  u64 fraction = 0;
  u32 n = 0;
  for (u32 i = 0; i < fraction_count; i++) {
    char ch = fraction_digits[i];
    if (ch == '\'') continue;
    if (ch < '0' || ch > '9' || n == FRACTION_DIGITS) return nullptr;
    fraction = fraction * 10 + static_cast<u64>(ch - '0');
    n++;
  }
  for (; n < FRACTION_DIGITS; n++) fraction *= 10;
  a.mag = static_cast<u128>(integer) * UNIT + fraction;
  a.neg = negative;
  return write(c, a);
}

cell* load_at(cell* c, bool negative, u32 currency, const u8* digits) {
  *c = cell{TYPE_MONEY | (negative ? SIGN_MASK : 0), 0, 0, 0};
  set_currency(c, currency);
  std::memcpy(digits_of(c), digits, DIGIT_BYTES);
  return c;
}

cell* push(bool negative, u32 currency, const u8* digits) {
  return load_at(stack::push_slot(), negative, currency, digits);
}

cell* from_integer(cell* c, i32 value) { return write(c, of_integer(value)); }

i32 to_integer(const cell* c) {
  amount a = read(c);
  u128 integer = a.mag / UNIT;
  if (integer > (a.neg ? 2147483648u : 2147483647u))
    datatype::fire_with_type("type-limit", TYPE_INTEGER);
  i64 v = static_cast<i64>(integer);
  return static_cast<i32>(a.neg ? -v : v);
}

cell* from_float(cell* c, double value, bool strict) {
  cell spec;
  float_::make_at(&spec, value);
  return write(c, of_float(value, strict, &spec));
}

double to_float(const cell* c) {
  amount a = read(c);
  if (!a.mag) return 0.0;
  char text[40];
  u64 integer = static_cast<u64>(a.mag / UNIT), fraction = static_cast<u64>(a.mag % UNIT);
  auto r = std::to_chars(text, text + 24, integer);
  *r.ptr++ = '.';
  for (i32 i = 4; i >= 0; i--) {
    r.ptr[i] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  double d = 0;
  std::from_chars(text, r.ptr + 5, d);  // correctly rounded
  return a.neg ? -d : d;
}

// ---- Digit services ---------------------------------------------------------------------

u32 get_digit(const u8* digits, u32 position) {
  u8 b = digits[(position - 1) / 2];
  return position & 1 ? b >> 4 : b & 15;
}

void set_digit(u8* digits, u32 position, u32 digit) {
  u8& b = digits[(position - 1) / 2];
  b = position & 1 ? static_cast<u8>((b & 0x0F) | (digit << 4))
                   : static_cast<u8>((b & 0xF0) | (digit & 15));
}

u32 digit_count(const u8* digits) {
  for (u32 p = 1; p <= DIGITS; p++)
    if (get_digit(digits, p)) return DIGITS - p + 1;
  return 1;
}

void shift_left(u8* buffer, u32 bytes, u32 n) {
  u32 total = bytes * 2;
  for (u32 p = 1; p <= total; p++) set_digit(buffer, p, p + n <= total ? get_digit(buffer, p + n) : 0);
}

void shift_right(u8* buffer, u32 bytes, u32 n) {
  for (u32 p = bytes * 2; p >= 1; p--) set_digit(buffer, p, p > n ? get_digit(buffer, p - n) : 0);
}

i32 compare_digits(const u8* a, const u8* b) {
  int c = std::memcmp(a, b, DIGIT_BYTES);
  return (c > 0) - (c < 0);
}

bool zero_digits_q(const cell* c) {
  const u8* d = digits_of(c);
  for (u32 i = 0; i < DIGIT_BYTES; i++)
    if (d[i]) return false;
  return true;
}

i32 sign_q(const cell* c) {
  if (zero_digits_q(c)) return 0;
  return get_sign(c) ? -1 : 1;
}
bool negative_q(const cell* c) { return sign_q(c) < 0; }
bool zero_q(const cell* c) { return zero_digits_q(c); }
bool positive_q(const cell* c) { return sign_q(c) > 0; }

// ---- Text -------------------------------------------------------------------------------

i32 serialize(const cell* value, cell* out, bool grouping, bool all, i32 budget) {
  char text[80];
  char* p = text;
  if (sign_q(value) < 0) *p++ = '-';
  if (u32 index = get_currency(value)) {
    char name[16];
    currency_name(index, name);
    for (const char* q = name; *q; q++) *p++ = *q;
  }
  *p++ = '$';
  const u8* d = digits_of(value);
  u32 first = 1;
  while (first < INTEGER_DIGITS && get_digit(d, first) == 0) first++;
  for (u32 pos = first; pos <= INTEGER_DIGITS; pos++) {
    *p++ = static_cast<char>('0' + get_digit(d, pos));
    // Every three digits counted back from the units.
    if (grouping && pos < INTEGER_DIGITS && (INTEGER_DIGITS - pos) % 3 == 0) *p++ = '\'';
  }
  i32 f = money_digits();
  if (all || f > static_cast<i32>(FRACTION_DIGITS)) f = FRACTION_DIGITS;
  if (f >= 1) {
    *p++ = '.';
    for (i32 i = 0; i < f; i++) *p++ = static_cast<char>('0' + get_digit(d, INTEGER_DIGITS + 1 + i));
  }
  *p = 0;
  return datatype::append_text(out, text, budget);
}

i32 compare_float(double x, const cell* m, i32 op) {
  cell spec;
  float_::make_at(&spec, x);
  return -against_float(m, x, &spec);
}

// ---- Actions ----------------------------------------------------------------------------

void do_math(i32 op) {
  cell* a = stack::arg(0);
  const cell* b = stack::arg(1);
  u32 ta = type_of(a), tb = type_of(b);
  if (ta == TYPE_MONEY && small_math(a, b, op)) return;
  if (op == math_op::MULTIPLY && ta == TYPE_MONEY && tb == TYPE_MONEY) invalid_type(ta);
  if ((op == math_op::DIVIDE || op == math_op::REMAINDER) && ta != TYPE_MONEY && tb == TYPE_MONEY)
    invalid_type(ta);
  amount x = operand(a), y = operand(b);
  if (x.currency && y.currency && x.currency != y.currency) wrong_denom(a, b);
  u32 currency = y.currency ? y.currency : x.currency;
  amount r;
  switch (op) {
    case math_op::ADD: r = add_amounts(x, y); break;
    case math_op::SUBTRACT: y.neg = !y.neg; r = add_amounts(x, y); break;
    case math_op::MULTIPLY: r = multiply_amounts(x, y); break;
    case math_op::DIVIDE: r = divide_amounts(x, y, false); break;
    case math_op::REMAINDER: r = divide_amounts(x, y, true); break;
    default: datatype::fire_word_type("cannot-use", "math", TYPE_MONEY);
  }
  r.currency = currency;
  if (op == math_op::DIVIDE && ta == TYPE_MONEY && tb == TYPE_MONEY) {
    cell q;
    write(&q, r);
    float_::make_at(a, to_float(&q));  // a ratio of two amounts is a number
    return;
  }
  write(a, r);
}

const cell* to(const cell* proto, const cell* spec, u32 type) {
  cell* out = stack::arguments;
  switch (type_of(spec)) {
    case TYPE_MONEY:
      return copy_cell(spec, out);
    case TYPE_INTEGER:
      return from_integer(out, static_cast<i32>(spec->data2));
    case TYPE_FLOAT: {
      cell s = *spec;
      return write(out, of_float(cell_float(&s), true, &s));
    }
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL:
    case TYPE_REF: {
      if (!text_scanner) fire("internal", "not-done");
      // The scanner may intern the currency's word: copy the text out of the buffer first.
      // No money text is longer than a few dozen characters.
      cell s = *spec;
      series_buffer* b = buffer_of(s.data2);
      u32 used = b->used_units();
      u32 head = s.data1 < used ? s.data1 : used;
      u32 n = used - head;
      char text[64];
      if (n >= sizeof text) bad_to_arg(&s);
      u32 unit = b->unit();
      const char* p = b->head() + u64{head} * unit;
      for (u32 i = 0; i < n; i++) {
        u32 ch = string::get_char(p + u64{i} * unit, unit);
        if (ch > 0x7F) bad_to_arg(&s);  // money text is ASCII
        text[i] = static_cast<char>(ch);
      }
      cell v;
      if (!text_scanner(text, static_cast<i32>(n), 1, &v)) bad_to_arg(&s);
      return copy_cell(&v, out);
    }
    default:
      bad_to_arg(spec);
  }
}

namespace {
// [currency? integer fraction?] or [currency? float]; the fraction is five digits.
const cell* from_block(const cell* spec) {
  cell block = *spec;
  series_buffer* b = buffer_of(block.data2);
  u32 used = b->used_units();
  u32 head = block.data1 < used ? block.data1 : used;
  u32 count = used - head;
  if (count < 1 || count > 3) bad_make_arg(&block);
  cell items[3];
  for (u32 i = 0; i < count; i++) items[i] = b->cells()[head + i];
  collector::root_guard g(items, count);
  u32 i = 0, currency = 0;
  if (type_of(&items[0]) == TYPE_WORD) {
    i32 index = get_currency_index(&items[0]);
    if (index < 0) bad_make_arg(&items[0]);
    currency = static_cast<u32>(index);
    i++;
  }
  if (i == count) bad_make_arg(&block);
  amount a;
  const cell* item = &items[i++];
  if (type_of(item) == TYPE_FLOAT) {
    if (i < count) bad_make_arg(&items[i]);
    a = of_float(cell_float(item), true, item);
  } else if (type_of(item) == TYPE_INTEGER) {
    a = of_integer(static_cast<i32>(item->data2));
    if (i < count) {
      item = &items[i++];
      i32 f = static_cast<i32>(item->data2);
      if (type_of(item) != TYPE_INTEGER || f < 0 || f > 99999) bad_make_arg(item);
      a.mag += static_cast<u128>(f);
      if (i < count) bad_make_arg(&items[i]);
    }
  } else {
    bad_make_arg(item);
  }
  a.currency = currency;
  return write(stack::arguments, a);
}
}  // namespace

const cell* make(const cell* proto, const cell* spec, u32 type) {
  switch (type_of(spec)) {
    case TYPE_WORD: {
      i32 index = get_currency_index(spec);
      if (index < 0) bad_make_arg(spec);
      amount a;
      a.currency = static_cast<u32>(index);
      return write(stack::arguments, a);
    }
    case TYPE_BLOCK:
      return from_block(spec);
    default:
      return to(proto, spec, type);
  }
}

const cell* random(cell* value, bool seed, bool secure, bool only) {
  if (seed) {
    random::seed(value->data1 ^ value->data2 ^ value->data3 ^ (value->header & SIGN_MASK));
    return unset::push_last();
  }
  cell r = *value;
  u8* d = digits_of(&r);
  auto next = [secure] { return static_cast<u32>(secure ? random::next_secure() : random::next()); };
  bool started = false, limited = true;
  for (u32 pos = 1; pos <= DIGITS; pos++) {
    u32 limit = get_digit(d, pos);
    if (!started) {
      if (!limit) continue;
      started = true;
    }
    u32 digit;
    if (limited) {
      // The full digit is kept only when two more draws agree: rarely.
      for (;;) {
        digit = next() % (limit + 1);
        if (digit != limit) break;
        u32 g1 = next(), g2 = next();
        if (g1 % 1000 == g2 % 1000) break;
      }
      if (digit < limit) limited = false;
    } else {
      digit = next() % 10;
    }
    set_digit(d, pos, digit);
  }
  return copy_cell(&r, stack::arguments);
}

i32 form(const cell* value, cell* out, const cell* part, i32 budget) {
  return serialize(value, out, true, false, budget);
}

i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent) {
  return serialize(value, out, false, all, budget);
}

const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk) {
  cell path = walk.path ? *walk.path : none_value, e = *element;
  if (value) fire("script", "bad-path-set", &path, &e);
  int selector = selector_of(element);
  if (!selector) fire("script", "invalid-path", &path, &e);
  return selected(parent, selector, stack::push_slot());
}

i32 compare(const cell* a, const cell* b, i32 op) {
  u32 tb = type_of(b);
  if ((op == compare_op::STRICT_EQUAL || op == compare_op::SAME || op == compare_op::FIND) &&
      tb != TYPE_MONEY)
    return 1;
  switch (tb) {
    case TYPE_MONEY: {
      u32 ca = get_currency(a), cb = get_currency(b);
      switch (op) {
        case compare_op::LESSER: case compare_op::LESSER_OR_EQUAL:
        case compare_op::GREATER: case compare_op::GREATER_OR_EQUAL:
          if (ca && cb && ca != cb) wrong_denom(a, b);
          break;
        case compare_op::SORT: case compare_op::CASE_SORT:
          if (ca != cb) {
            // By the currency's code, none first.
            if (!ca || !cb) return ca ? 1 : -1;
            char na[16], nb[16];
            int c = std::strcmp(currency_name(ca, na), currency_name(cb, nb));
            return c < 0 ? -1 : 1;
          }
          break;
        case compare_op::FIND:
          if (cb && ca != cb) return 1;  // a currency-less value matches any currency
          break;
        case compare_op::STRICT_EQUAL: case compare_op::SAME:
          if (ca != cb) return 1;
          break;
        default:
          if (ca && cb && ca != cb) return 1;
          break;
      }
      return compare_amounts(read(a), read(b));
    }
    case TYPE_INTEGER: {
      amount x = read(a);
      return compare_amounts(x, of_integer(static_cast<i32>(b->data2)));
    }
    case TYPE_FLOAT:
      return against_float(a, cell_float(b), b);
    default:
      return COMPARE_NOT_COMPARABLE;
  }
}

void absolute() { set_sign(stack::arg(0), false); }
void add() { do_math(math_op::ADD); }
void subtract() { do_math(math_op::SUBTRACT); }
void multiply() { do_math(math_op::MULTIPLY); }
void divide() { do_math(math_op::DIVIDE); }
void remainder() { do_math(math_op::REMAINDER); }

const cell* negate(cell* value) {
  set_sign(value, !get_sign(value));
  return value;
}

const cell* round(cell* value, const cell* scale_cell, const round_flags& mode) {
  u128 s = UNIT;
  if (scale_cell) {
    switch (type_of(scale_cell)) {
      case TYPE_MONEY: s = magnitude(scale_cell); break;
      case TYPE_INTEGER: s = of_integer(static_cast<i32>(scale_cell->data2)).mag; break;
      case TYPE_FLOAT: {
        cell sc = *scale_cell;
        s = of_float(cell_float(&sc), true, &sc).mag;
        break;
      }
      default: datatype::fire_word_type("not-related", "round", type_of(scale_cell));
    }
  }
  if (!s) return value;
  amount x = read(value);
  u128 v = x.mag, r = v % s;
  if (!r) return value;  // already a multiple: every mode keeps it
  u128 c = s - r, down = v - r, up = v + c;
  bool tie = 2 * r == s;
  u128 nearest = r < c ? down : up;
  bool negative = x.neg;
  u128 chosen;
  if (mode.down) chosen = down;
  else if (mode.floor) chosen = negative ? up : down;
  else if (mode.ceiling) chosen = negative ? down : up;
  else if (mode.even) chosen = tie && ((v - r) / s) % 2 == 0 ? down : nearest;
  else if (mode.half_down) chosen = tie ? down : nearest;
  else if (mode.half_ceiling) chosen = tie ? (negative ? down : up) : nearest;
  else chosen = nearest;
  x.mag = chosen;
  return write(value, x);
}

bool even_q(const cell* value) { return get_digit(digits_of(value), INTEGER_DIGITS) % 2 == 0; }
bool odd_q(const cell* value) { return get_digit(digits_of(value), INTEGER_DIGITS) % 2 != 0; }

const cell* pick(cell* value, i32 index, const cell* index_cell) {
  int selector = index_cell && word::any_word_q(type_of(index_cell)) ? selector_of(index_cell)
                 : index == 1 || index == 2                           ? index
                                                                      : 0;
  if (!selector) {
    cell i = index_cell ? *index_cell : cell{TYPE_INTEGER, 0, static_cast<u32>(index), 0};
    fire("script", "out-of-range", &i);
  }
  cell v = *value;
  return selected(&v, selector, stack::arguments);
}

// ---- Registration -----------------------------------------------------------------------

void init() {
  collector::add_root(&currencies);
  action_row row;
  row.make = make;
  row.random = random;
  row.to = to;
  row.form = form;
  row.mold = mold;
  row.eval_path = eval_path;
  row.compare = compare;
  row.absolute = absolute;
  row.add = add;
  row.subtract = subtract;
  row.multiply = multiply;
  row.divide = divide;
  row.remainder = remainder;
  row.negate = negate;
  row.round = round;
  row.even_q = even_q;
  row.odd_q = odd_q;
  row.pick = pick;
  datatype::register_(TYPE_MONEY, 0, "money!", row);
}

}  // namespace vyr::money
