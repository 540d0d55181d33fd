// Float <-> decimal text on std::to_chars / std::from_chars, which round correctly and do
// not look at the C locale. This module owns the specials and the float! literal layout.
#include "runtime/dtoa.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

namespace vyr::dtoa {

namespace {

// A double's exact decimal expansion has at most 767 significant digits, so asking for more
// only adds zeros; the cap keeps the conversion buffer bounded.
constexpr int MAX_PRECISION = 800;

// Digits kept when parsing. Any midpoint between two doubles is exact within 768 digits, so
// digits past the cap can only matter through being non-zero; that is kept as one extra
// digit 1 (a sticky digit), which rounds exactly as the full text would.
constexpr int PARSE_DIGITS = 800;

// Decimal exponents beyond this give infinity or zero whatever the digits (at most
// PARSE_DIGITS + 1 of them), so the accumulated exponent is capped here instead of
// overflowing.
constexpr i64 EXPONENT_CAP = 100000;

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

float_digits float_to_digits(double value, int precision, bool keep_point) {
  float_digits r;
  r.negative = std::signbit(value);
  if (std::isnan(value)) {
    r.negative = false;
    r.digits = "1.#NaN";
    r.point = POINT_SPECIAL;
    return r;
  }
  if (std::isinf(value)) {
    r.digits = r.negative ? "-1.#INF" : "1.#INF";
    r.point = POINT_SPECIAL;
    return r;
  }
  if (value == 0) {
    r.digits = keep_point ? (r.negative ? "-0.0" : "0.0") : (r.negative ? "-0" : "0");
    r.point = POINT_ZERO;
    return r;
  }

  // Scientific form gives d[.ddd]e[+-]xx with the first digit non-zero.
  char buf[MAX_PRECISION + 32];
  double a = std::fabs(value);
  std::to_chars_result res =
      precision <= 0
          ? std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific)
          : std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific,
                          std::min(precision, MAX_PRECISION) - 1);
  const char* p = buf;
  const char* end = res.ptr;
  r.digits.reserve(static_cast<size_t>(end - buf));
  for (; p < end && *p != 'e'; p++)
    if (*p != '.') r.digits.push_back(*p);
  int exp = 0;
  if (p < end) {
    p++;
    if (*p == '+') p++;
    std::from_chars(p, end, exp);
  }
  while (r.digits.size() > 1 && r.digits.back() == '0') r.digits.pop_back();
  r.point = exp + 1;
  return r;
}

std::string form_float(double value, int precision, bool keep_point) {
  float_digits d = float_to_digits(value, precision, keep_point);
  if (d.point >= POINT_ZERO) return std::move(d.digits);

  const std::string& g = d.digits;
  const int n = static_cast<int>(g.size());
  const int p = d.point;
  std::string out;
  out.reserve(static_cast<size_t>(n) + 32);
  if (d.negative) out.push_back('-');

  // A point that would end the text (or the mantissa) gets a 0 or goes away.
  auto close_point = [&] {
    if (keep_point) out.push_back('0');
    else out.pop_back();
  };

  if (p >= 18 || p < -6) {
    out.push_back(g[0]);
    out.push_back('.');
    if (n > 1) out.append(g, 1, std::string::npos);
    else close_point();
    out.push_back('e');
    char e[16];
    out.append(e, std::to_chars(e, e + sizeof e, p - 1).ptr);
  } else if (p <= 0) {
    out.append("0.");
    out.append(static_cast<size_t>(-p), '0');
    out.append(g);
  } else if (p < n) {
    out.append(g, 0, static_cast<size_t>(p));
    out.push_back('.');
    out.append(g, static_cast<size_t>(p), std::string::npos);
  } else {
    out.append(g);
    out.append(static_cast<size_t>(p - n), '0');
    out.push_back('.');
    close_point();
  }
  return out;
}

double string_to_float(const char* start, const char* end, int adjust, i32* unconsumed) {
  const char* s = start;
  bool negative = false;
  if (s < end && (*s == '+' || *s == '-')) {
    negative = *s == '-';
    s++;
  }

  // value = 0.digits x 10^point
  char text[PARSE_DIGITS + 32];
  int nd = 0;
  bool sticky = false;
  i64 point = 0;
  auto take = [&](char c) {
    if (nd < PARSE_DIGITS) text[nd++] = c;
    else if (c != '0') sticky = true;
  };

  const char* p = s;
  for (; p < end && is_digit(*p); p++) {
    if (nd == 0 && *p == '0') continue;  // leading zeros
    take(*p);
    point++;
  }

  // After one digit, ".#I" and ".#N" spell the specials; their letters are consumed.
  if (p - s == 1 && end - p >= 3 && p[0] == '.' && p[1] == '#') {
    char c = p[2];
    if (c == 'I' || c == 'i' || c == 'N' || c == 'n') {
      p += 3;
      while (p < end && ((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z'))) p++;
      if (unconsumed) *unconsumed = static_cast<i32>(end - p);
      if (c == 'N' || c == 'n') return std::numeric_limits<double>::quiet_NaN();
      double inf = std::numeric_limits<double>::infinity();
      return negative ? -inf : inf;
    }
  }

  if (p < end && *p == '.') {
    for (p++; p < end && is_digit(*p); p++) {
      if (nd == 0 && *p == '0') {
        point--;
        continue;
      }
      take(*p);
    }
  }

  i64 exponent = 0;
  if (p < end && (*p == 'e' || *p == 'E') && end - p >= 2) {
    const char* q = p + 1;
    bool exp_negative = false;
    if (*q == '+' || *q == '-') {
      exp_negative = *q == '-';
      q++;
    }
    if (q < end && is_digit(*q)) {
      for (; q < end && is_digit(*q); q++)
        if (exponent < EXPONENT_CAP) exponent = exponent * 10 + (*q - '0');
      if (exp_negative) exponent = -exponent;
      p = q;
    }
  }
  if (unconsumed) *unconsumed = static_cast<i32>(end - p);

  if (!sticky)
    while (nd > 0 && text[nd - 1] == '0') nd--;
  if (nd == 0) return negative ? -0.0 : 0.0;

  // Rebuild as d.ddd[1]eX for from_chars.
  i64 x = point - 1 + exponent + adjust;
  if (x > EXPONENT_CAP) x = EXPONENT_CAP;
  if (x < -EXPONENT_CAP) x = -EXPONENT_CAP;
  char canon[PARSE_DIGITS + 48];
  char* c = canon;
  *c++ = text[0];
  *c++ = '.';
  for (int i = 1; i < nd; i++) *c++ = text[i];
  if (sticky) *c++ = '1';
  *c++ = 'e';
  c = std::to_chars(c, canon + sizeof canon, x).ptr;

  double v = 0;
  std::from_chars_result res = std::from_chars(canon, c, v, std::chars_format::scientific);
  if (res.ec == std::errc::result_out_of_range)
    v = x > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  return negative ? -v : v;
}

}  // namespace vyr::dtoa
