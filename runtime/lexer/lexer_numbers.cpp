// Text to number scanners over code units and token text. None reads past its count.
#include "runtime/lexer/lexer_numbers.h"

#include <cstring>

#include "runtime/datatypes/string.h"
#include "runtime/datatypes/tuple.h"

namespace vyr::lexer {

namespace {
u32 unit_at(const char* p, i32 i, u32 unit) { return string::get_char(p + i64(i) * unit, unit); }
bool digit_q(u32 c) { return c >= '0' && c <= '9'; }
}  // namespace

i32 string_to_integer(const char* p, i32 count, u32 unit, i32* error) {
  i32 i = 0;
  bool negative = false;
  if (count > 0) {
    u32 c = unit_at(p, 0, unit);
    if (c == '+' || c == '-') { negative = c == '-'; i = 1; }
  }
  // Magnitude limit: one more for a negative text, whose smallest value has no positive twin.
  const u32 limit = negative ? 0x80000000u : 0x7FFFFFFFu;
  u32 v = 0;
  bool any = false;
  for (; i < count; i++) {
    u32 c = unit_at(p, i, unit);
    if (c == '\'') continue;
    if (!digit_q(c)) { *error = -1; return 0; }
    u32 d = c - '0';
    if (v > (limit - d) / 10) { *error = -2; return 0; }
    v = v * 10 + d;
    any = true;
  }
  // An empty text or a sign alone is not a number.
  if (!any) { *error = -1; return 0; }
  return negative ? static_cast<i32>(0u - v) : static_cast<i32>(v);
}

bool float_syntax_q(const char* s, const char* e) {
  const char* p = s;
  if (p < e && (*p == '+' || *p == '-')) p++;
  int digits = 0;
  auto run = [&](bool separators) {
    int n = 0;
    while (p < e && (digit_q(static_cast<u8>(*p)) || (separators && n > 0 && *p == '\''))) {
      if (*p != '\'') n++;
      p++;
    }
    return n;
  };
  digits += run(true);
  if (p < e && *p == '.') { p++; digits += run(true); }
  if (digits == 0) return false;
  if (p < e && (*p == 'e' || *p == 'E')) {
    p++;
    if (p < e && (*p == '+' || *p == '-')) p++;
    if (run(false) == 0) return false;
  }
  return p == e;
}

bool string_to_money(const char* p, i32 count, u32 unit, money_parts* out) {
  *out = money_parts{};
  if (count < 1) return false;
  i32 i = 0;
  u32 c = unit_at(p, 0, unit);
  if (c == '+' || c == '-') { out->negative = c == '-'; i++; }
  auto letter = [](u32 ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); };
  bool currency = false;
  if (i < count && letter(unit_at(p, i, unit))) {
    if (count - i < 5) return false;
    for (int k = 0; k < 3; k++) {
      u32 ch = unit_at(p, i + k, unit);
      if (!letter(ch)) return false;
      out->currency[k] = static_cast<char>(ch);
    }
    i += 3;
    currency = true;
  }
  if (i < count && unit_at(p, i, unit) == '$') {
    i++;
    if (i >= count) return false;
  } else if (currency) {
    return false;
  }
  // The amount.
  i32 first = i;
  bool point = false, last_sep = false;
  for (; i < count; i++) {
    u32 ch = unit_at(p, i, unit);
    bool at_edge = i == first || i == count - 1;
    if (digit_q(ch)) {
      if (out->int_digits + out->frac_digits >= sizeof out->digits - 1) return false;
      out->digits[out->int_digits + out->frac_digits] = static_cast<char>(ch);
      (point ? out->frac_digits : out->int_digits)++;
      last_sep = false;
    } else if (ch == '\'') {
      if (at_edge || last_sep || point) return false;
      last_sep = true;
    } else if (ch == '.') {
      if (at_edge || point || last_sep) return false;
      point = true;
    } else {
      return false;
    }
  }
  return out->int_digits + out->frac_digits > 0;
}

void string_to_tuple(const char* p, i32 count, u32 unit, cell* dst) {
  u8 parts[12] = {};
  u32 n = 0, v = 0;
  bool digits = false;
  auto fail = [&] { dst->header = 0xFFFFFFFFu; };
  for (i32 i = 0; i <= count; i++) {
    u32 c = i < count ? unit_at(p, i, unit) : '.';
    if (digit_q(c)) {
      v = v * 10 + (c - '0');
      if (v > 255) return fail();
      digits = true;
    } else if (c == '.') {
      if (!digits || n == 12) return fail();
      parts[n++] = static_cast<u8>(v);
      v = 0;
      digits = false;
    } else {
      return fail();
    }
  }
  *dst = cell{TYPE_TUPLE | (n << 19), 0, 0, 0};
  std::memcpy(tuple::bytes(dst), parts, tuple::MAX_BYTES);
}

integer_text scan_integer_text(const char* s, const char* e, i32* out) {
  const char* p = s;
  bool negative = false;
  if (p < e && (*p == '+' || *p == '-')) negative = *p++ == '-';
  u64 v = 0;
  int digits = 0;
  bool last_sep = false;
  for (; p < e; p++) {
    if (*p == '\'') {
      if (last_sep || digits == 0) return INTEGER_BAD;
      last_sep = true;
      continue;
    }
    if (!digit_q(static_cast<u8>(*p))) return INTEGER_BAD;
    last_sep = false;
    if (++digits <= 11) v = v * 10 + static_cast<u64>(*p - '0');
  }
  if (digits == 0) return INTEGER_BAD;
  if (digits > 10) return INTEGER_AS_FLOAT;
  if (negative ? v > 0x80000000ull : v > 0x7FFFFFFFull) return INTEGER_AS_FLOAT;
  *out = negative ? static_cast<i32>(0u - static_cast<u32>(v)) : static_cast<i32>(v);
  return INTEGER_OK;
}

bool scan_hex_text(const char* s, const char* e, i32* out) {
  if (e - s < 3 || e - s > 9 || e[-1] != 'h') return false;
  u32 v = 0;
  for (const char* p = s; p < e - 1; p++) {
    char c = *p;
    u32 d;
    if (c >= '0' && c <= '9') d = static_cast<u32>(c - '0');
    else if (c >= 'A' && c <= 'F') d = static_cast<u32>(c - 'A' + 10);
    else return false;
    v = (v << 4) | d;
  }
  *out = static_cast<i32>(v);
  return true;
}

}  // namespace vyr::lexer
