// The value loaders: each checks its token's text and builds one value from it. A literal
// whose datatype is not registered yet is refused with that datatype's syntax error, so no
// value of an unknown layout is ever made.
#include "runtime/lexer/lexer_loaders.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "runtime/datatypes/context.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/date.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/money.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/url.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/time.h"
#include "runtime/datatypes/unset.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/series.h"
#include "runtime/lexer/lexer_escapes.h"
#include "runtime/lexer/lexer_numbers.h"

namespace vyr::lexer {

namespace {

[[noreturn]] void fail(scanner& s, const token& t, u32 type) {
  s.throw_error(t.start, t.end, static_cast<i32>(type));
}

// Literals of a datatype that has not registered are refused, whatever their text.
void require(scanner& s, const token& t, u32 type) {
  if (!datatype::registered_q(type)) fail(s, t, type);
}

bool high_bytes_q(const u8* p, const u8* e) {
  for (; p < e; p++)
    if (*p >= 0x80) return true;
  return false;
}

// Code points of a text, reused between tokens (the loader never nests).
std::vector<u32>& scratch_points() {
  static std::vector<u32> v;
  return v;
}

// A string-like value of `type` holding the code points.
void make_text_value(const std::vector<u32>& cps, u32 unit, u32 type, cell* out) {
  u32 n = static_cast<u32>(cps.size());
  string::make_at_unit(out, n, unit);
  set_type(out, type);
  series_buffer* b = buffer_of(series::node(out));
  char* p = b->head();
  for (u32 cp : cps) {
    switch (unit) {
      case 1: *p = static_cast<char>(cp); break;
      case 2: { u16 v = static_cast<u16>(cp); std::memcpy(p, &v, 2); break; }
      default: std::memcpy(p, &cp, 4); break;
    }
    p += unit;
  }
  b->tail = b->offset + n * unit;
}

u32 unit_for(u32 cp) { return cp <= 0xFF ? 1 : cp <= 0xFFFF ? 2 : 4; }

// The text [p, e) of a string-like token: UTF-8 with caret escapes when `escapes`.
void load_text(scanner& s, const token& t, const u8* p, const u8* e, bool escapes, u32 type,
               bool build, cell* out) {
  if (!escapes && !high_bytes_q(p, e)) {  // plain ASCII: nothing to decode
    if (!build) return;
    u32 n = static_cast<u32>(e - p);
    u32 start = static_cast<u32>(p - s.head());
    string::make_at_unit(out, n, 1);
    set_type(out, type);
    series_buffer* b = buffer_of(series::node(out));
    std::memcpy(b->head(), s.head() + start, n);  // the input never lies in a series buffer
    b->tail = b->offset + n;
    return;
  }
  std::vector<u32>& cps = scratch_points();
  cps.clear();
  if (!decode_text(p, e, escapes, [&](u32 cp) { cps.push_back(cp); }))
    fail(s, t, type);
  if (!build) return;
  u32 unit = token_unit(t.flags);
  for (u32 cp : cps) unit = std::max(unit, unit_for(cp));
  make_text_value(cps, unit, type, out);
}

// File and URL text: %XX escapes become bytes, the bytes are read as UTF-8. A '%' not
// followed by two hexadecimal digits stands for itself.
void load_percent_text(scanner& s, const token& t, const u8* p, const u8* e, u32 type,
                       bool build, cell* out) {
  if (!(t.flags & FLAG_PERCENT)) return load_text(s, t, p, e, false, type, build, out);
  std::vector<u8> bytes;
  bytes.reserve(static_cast<size_t>(e - p));
  for (const u8* q = p; q < e; q++) {
    u8 b;
    if (url::decode_hex_pair_q(reinterpret_cast<const char*>(q), u64(e - q), &b)) {
      bytes.push_back(b);
      q += 2;
    } else {
      bytes.push_back(*q);
    }
  }
  std::vector<u32>& cps = scratch_points();
  cps.clear();
  if (!decode_text(bytes.data(), bytes.data() + bytes.size(), false,
                   [&](u32 cp) { cps.push_back(cp); }))
    fail(s, t, type);
  if (!build) return;
  u32 unit = 1;
  for (u32 cp : cps) unit = std::max(unit, cp < 0x80 ? 1u : unit_for(cp) == 1 ? 2u : unit_for(cp));
  make_text_value(cps, unit, type, out);
}

// Words of every kind. A ':' is allowed only as the get-word prefix or the set-word suffix.
void load_word(scanner& s, const token& t, bool build, cell* out) {
  const u8* p = s.head() + t.start;
  const u8* e = s.head() + t.end;
  u32 type = TYPE_WORD;
  if (t.kind) {                      // a path head: a word!, without its prefix
    if (p < e && (*p == '\'' || *p == ':')) p++;
  } else if (p < e && *p == ':') {
    type = TYPE_GET_WORD;
    p++;
  } else if (p < e && *p == '\'') {
    type = TYPE_LIT_WORD;
    p++;
    if (e > p && e[-1] == ':') fail(s, t, TYPE_LIT_WORD);
  }
  if (type == TYPE_WORD && !t.kind && e > p && e[-1] == ':') {
    type = TYPE_SET_WORD;
    e--;
  }
  if (p == e) fail(s, t, type);
  for (const u8* q = p; q < e; q++)
    if (*q == ':') fail(s, t, TYPE_WORD);
  if (high_bytes_q(p, e)) {
    u32 cp;
    for (const u8* q = p; q < e;) {
      u32 n = decode_utf8(q, e, &cp);
      if (n == 0) fail(s, t, TYPE_WORD);
      q += n;
    }
  }
  if (!build) return;
  u32 sym = symbol::make_from_bytes(reinterpret_cast<const char*>(p), static_cast<u32>(e - p));
  word::make_at(sym, out);
  set_type(out, type);
}

// The name after the '/' of a refinement or the '#' of an issue: not empty, no ':' or '/',
// well-formed UTF-8.
void check_name(scanner& s, const token& t, const u8* p, const u8* e, u32 type) {
  if (p >= e) fail(s, t, type);
  for (const u8* q = p; q < e; q++) {
    if (*q == ':' || *q == '/') fail(s, t, type);
    if (*q >= 0x80) {
      u32 cp, k = decode_utf8(q, e, &cp);
      if (k == 0) fail(s, t, type);
      q += k - 1;
    }
  }
}

// "/x" refinement!, "/" the word "/", "'/" "/:" ":/" the other kinds of that word.
void load_refinement(scanner& s, const token& t, bool build, cell* out) {
  const u8* p = s.head() + t.start;
  const u8* e = s.head() + t.end;
  u32 n = static_cast<u32>(e - p);
  u32 type = TYPE_REFINEMENT;
  if (n == 1 && *p == '/') type = TYPE_WORD;
  else if (n == 2 && p[0] == '\'' && p[1] == '/') type = TYPE_LIT_WORD, p++;
  else if (n == 2 && p[0] == ':' && p[1] == '/') type = TYPE_GET_WORD, p++;
  else if (n == 2 && p[0] == '/' && p[1] == ':') type = TYPE_SET_WORD, e--;
  if (type != TYPE_REFINEMENT) {
    if (!build) return;
    word::make_at(symbol::make_from_bytes("/", 1), out);
    set_type(out, type);
    return;
  }
  p++;  // the '/'
  check_name(s, t, p, e, TYPE_REFINEMENT);
  if (!build) return;
  u32 sym = symbol::make_from_bytes(reinterpret_cast<const char*>(p), static_cast<u32>(e - p));
  *out = cell{TYPE_REFINEMENT, 0, sym, word::NO_INDEX};
}

void load_issue(scanner& s, const token& t, bool build, cell* out) {
  const u8* p = s.head() + t.start + 1;
  const u8* e = s.head() + t.end;
  check_name(s, t, p, e, TYPE_ISSUE);
  if (!build) return;
  u32 sym = symbol::make_from_bytes(reinterpret_cast<const char*>(p), static_cast<u32>(e - p));
  *out = cell{TYPE_ISSUE, _context::global, sym, word::NO_INDEX};
}

// Decimal text with ''' separators to a double; false when the float syntax refuses it.
bool decimal_value(const char* p, const char* e, double* v) {
  if (e - p > 312 || !float_syntax_q(p, e)) return false;
  char buf[320];
  u32 n = 0;
  for (const char* q = p; q < e; q++)
    if (*q != '\'') buf[n++] = *q;
  i32 err = 0;
  *v = string::to_float(buf, 0, n, &err);
  return err == 0;
}

// "1.#INF", "-1.#inf", "1.#NaN": the letters after "1.#" in any case.
bool special_float(const char* p, const char* e, double* v) {
  bool negative = false;
  if (p < e && (*p == '+' || *p == '-')) negative = *p++ == '-';
  if (e - p != 6 || std::memcmp(p, "1.#", 3) != 0) return false;
  auto ci = [&](const char* word) {
    for (int i = 0; i < 3; i++)
      if ((p[3 + i] | 0x20) != word[i]) return false;
    return true;
  };
  if (ci("inf")) {
    *v = negative ? -std::numeric_limits<double>::infinity()
                  : std::numeric_limits<double>::infinity();
    return true;
  }
  if (ci("nan")) {
    *v = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  return false;
}

void load_number(scanner& s, const token& t, bool build, cell* out) {
  const char* p = reinterpret_cast<const char*>(s.head() + t.start);
  const char* e = reinterpret_cast<const char*>(s.head() + t.end);
  double d;
  i32 v;
  switch (t.state) {
    case T_INTEGER:
      switch (scan_integer_text(p, e, &v)) {
        case INTEGER_OK:
          if (build) *out = cell{TYPE_INTEGER, 0, static_cast<u32>(v), 0};
          return;
        case INTEGER_AS_FLOAT:
          if (!decimal_value(p, e, &d)) fail(s, t, TYPE_INTEGER);
          break;
        default:
          fail(s, t, TYPE_INTEGER);
      }
      break;
    case T_HEX:
      if (!scan_hex_text(p, e, &v)) fail(s, t, TYPE_INTEGER);
      if (build) *out = cell{TYPE_INTEGER, 0, static_cast<u32>(v), 0};
      return;
    case T_FLOAT:
      if (!decimal_value(p, e, &d)) fail(s, t, TYPE_FLOAT);
      break;
    case T_SPECIAL_FLOAT:
      if (!special_float(p, e, &d)) fail(s, t, TYPE_FLOAT);
      break;
    case T_PERCENT:
      require(s, t, TYPE_PERCENT);
      if (e > p && e[-1] == '%') e--;
      if (!decimal_value(p, e, &d) && !special_float(p, e, &d)) fail(s, t, TYPE_PERCENT);
      d /= 100.0;
      if (build) {
        *out = cell{TYPE_PERCENT, 0, 0, 0};
        set_cell_float(out, d);
      }
      return;
    default:
      return;
  }
  if (build) {
    *out = cell{TYPE_FLOAT, 0, 0, 0};
    set_cell_float(out, d);
  }
}

// "$1.50", "USD$1'000", "-$0,5": the decimal point may be a comma.
void load_money(scanner& s, const token& t, bool build, cell* out) {
  require(s, t, TYPE_MONEY);
  const u8* p = s.head() + t.start;
  const u8* e = s.head() + t.end;
  char text[64];
  if (e - p >= static_cast<i64>(sizeof text)) fail(s, t, TYPE_MONEY);
  i32 n = static_cast<i32>(e - p);
  for (i32 i = 0; i < n; i++) text[i] = p[i] == ',' ? '.' : static_cast<char>(p[i]);
  cell v;
  if (!scan_money_text(text, n, 1, &v)) fail(s, t, TYPE_MONEY);
  if (build) *out = v;
}

// "12:30", "1:02:03.5", "-1:30", "m:s.f": time!'s own reading of the text; a time whose
// hours do not fit is refused like any other bad time text.
void load_time(scanner& s, const token& t, bool build, cell* out) {
  require(s, t, TYPE_TIME);
  double seconds;
  if (time::scan_seconds(reinterpret_cast<const char*>(s.head() + t.start),
                         reinterpret_cast<const char*>(s.head() + t.end), &seconds) != time::SCAN_OK)
    fail(s, t, TYPE_TIME);
  if (!build) return;
  *out = cell{TYPE_TIME, 0, 0, 0};
  set_cell_float(out, seconds);
}

void load_pair(scanner& s, const token& t, bool build, cell* out) {
  require(s, t, TYPE_PAIR);
  const char* p = reinterpret_cast<const char*>(s.head() + t.start);
  const char* e = reinterpret_cast<const char*>(s.head() + t.end);
  const char* x = p + 1;  // the 'x' is never first: a sign or digit comes before it
  while (x < e && *x != 'x' && *x != 'X') x++;
  i32 a, b;
  if (x >= e || std::memchr(p, '.', static_cast<size_t>(e - p)) ||
      scan_integer_text(p, x, &a) != INTEGER_OK || scan_integer_text(x + 1, e, &b) != INTEGER_OK)
    fail(s, t, TYPE_PAIR);
  if (build) *out = cell{TYPE_PAIR, 0, static_cast<u32>(a), static_cast<u32>(b)};
}

void load_tuple(scanner& s, const token& t, bool build, cell* out) {
  require(s, t, TYPE_TUPLE);
  cell c;
  string_to_tuple(reinterpret_cast<const char*>(s.head() + t.start),
                  static_cast<i32>(t.end - t.start), 1, &c);
  if (c.header == 0xFFFFFFFFu || ((c.header >> 19) & 0xF) < 3) fail(s, t, TYPE_TUPLE);
  if (build) *out = c;
}

// "(x, y)" or "(x, y, z)": floats (special floats too) between blanks, commas and ')'.
void load_point(scanner& s, const token& t, bool build, cell* out) {
  u32 type = t.commas == 2 ? TYPE_POINT3D : TYPE_POINT2D;
  require(s, t, type);
  if (t.commas > 2) fail(s, t, TYPE_POINT3D);  // no point has four coordinates
  const char* p = reinterpret_cast<const char*>(s.head() + t.start);
  const char* e = reinterpret_cast<const char*>(s.head() + t.end);
  if (p < e && *p == '(') p++;
  float parts[3] = {0, 0, 0};
  u32 n = t.commas + 1;
  for (u32 i = 0; i < n; i++) {
    while (p < e && (*p == ' ' || *p == '\t')) p++;
    const char* start = p;
    while (p < e && *p != ',' && *p != ')' && *p != ' ' && *p != '\t') p++;
    if (p - start >= 313) fail(s, t, TYPE_FLOAT);
    double d;
    if (!decimal_value(start, p, &d) && !special_float(start, p, &d))
      fail(s, t, i == 2 ? TYPE_POINT3D : TYPE_POINT2D);
    parts[i] = static_cast<float>(d);
    while (p < e && (*p == ' ' || *p == '\t')) p++;
    char want = i + 1 < n ? ',' : ')';
    if (p >= e || *p != want) fail(s, t, i == 2 ? TYPE_POINT3D : TYPE_POINT2D);
    p++;
  }
  if (!build) return;
  *out = cell{type, 0, 0, 0};
  for (u32 i = 0; i < n; i++) point::set(out, i, parts[i]);
}

// The date forms (day-month-year, year-month-day, yyyymmddThhmm, week and ordinal dates,
// each with an optional time and zone) as date!'s own reading of the text.
void load_date(scanner& s, const token& t, bool build, cell* out) {
  require(s, t, TYPE_DATE);
  cell d;
  if (!date::scan_text(reinterpret_cast<const char*>(s.head() + t.start),
                       reinterpret_cast<const char*>(s.head() + t.end), &d))
    fail(s, t, TYPE_DATE);
  if (build) *out = d;
}

// Binary text in base 2, 16 (no prefix) or 64, with blanks, line feeds and ';' comments.
void load_binary(scanner& s, const token& t, bool build, cell* out) {
  require(s, t, TYPE_BINARY);
  const u8* p = s.head() + t.start;
  const u8* e = s.head() + t.end;
  u32 base = 16;
  if (*p != '#') {
    base = 0;
    while (p < e && *p >= '0' && *p <= '9') base = base * 10 + (*p++ - '0');
    if (base != 2 && base != 16 && base != 64) fail(s, t, TYPE_BINARY);
  }
  p += 2;                                   // "#{"
  if (e <= p || e[-1] != '}') fail(s, t, TYPE_BINARY);
  e--;
  std::vector<u8> bytes;
  u32 acc = 0, bits = 0, pads = 0, chars = 0;
  for (; p < e; p++) {
    u8 c = *p;
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == ';') {
      while (p < e && *p != '\n') p++;
      continue;
    }
    int v = -1;
    if (base == 16) v = string::hex_digit(c);
    else if (base == 2) v = c == '0' ? 0 : c == '1' ? 1 : -1;
    else if (c == '=') { pads++; continue; }
    else if (pads == 0) {
      v = c >= 'A' && c <= 'Z' ? c - 'A' : c >= 'a' && c <= 'z' ? c - 'a' + 26
          : c >= '0' && c <= '9' ? c - '0' + 52 : c == '+' ? 62 : c == '/' ? 63 : -1;
    }
    if (v < 0) fail(s, t, TYPE_BINARY);
    chars++;
    u32 width = base == 16 ? 4 : base == 2 ? 1 : 6;
    acc = (acc << width) | static_cast<u32>(v);
    bits += width;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<u8>(acc >> bits));
      acc &= (1u << bits) - 1;
    }
  }
  // Base 16 and 2 leave nothing over; base 64 comes in whole groups of four characters,
  // '=' padding included, whose spare bits are zero.
  bool complete = bits == 0;
  if (base == 64) {
    u32 group = (chars + pads) % 4, tail = chars % 4;
    complete = group == 0 && acc == 0 &&
               ((tail == 0 && pads == 0) || (tail == 2 && pads == 2) || (tail == 3 && pads == 1));
  }
  if (!complete) fail(s, t, TYPE_BINARY);
  if (!build) return;
  u32 n = static_cast<u32>(bytes.size());
  *out = cell{TYPE_BINARY, 0, memory::alloc_bytes(n), 0};
  series_buffer* b = buffer_of(series::node(out));
  if (n) std::memcpy(b->head(), bytes.data(), n);
  b->tail = b->offset + n;
}

}  // namespace

void load_construct(const token& t, cell* out) {
  switch (t.kind) {
    case CONSTRUCT_TRUE: *out = true_value; break;
    case CONSTRUCT_FALSE: *out = false_value; break;
    case CONSTRUCT_NONE: *out = none_value; break;
    case CONSTRUCT_UNSET: *out = unset_value; break;
    default: *out = cell{TYPE_DATATYPE, t.kind, 0, 0}; break;
  }
}

void load_value(scanner& s, const token& t, bool build, cell* out) {
  const u8* p = s.head() + t.start;
  const u8* e = s.head() + t.end;
  switch (t.state) {
    case T_STRING:
      return load_text(s, t, p + 1, e - 1, t.flags & FLAG_CARET, TYPE_STRING, build, out);
    case T_RBRACE:     // a braced string, from its '{' to its '}'
      return load_text(s, t, p + 1, e - 1, t.flags & FLAG_CARET, TYPE_STRING, build, out);
    case T_RAW_STRING: {
      u32 n = 0;
      while (p + n < e && p[n] == '%') n++;
      if (e - p < 2 * static_cast<i64>(n) + 2) fail(s, t, TYPE_STRING);
      return load_text(s, t, p + n + 1, e - n - 1, false, TYPE_STRING, build, out);
    }
    case T_WORD:
      return load_word(s, t, build, out);
    case T_ISSUE:
      return load_issue(s, t, build, out);
    case T_REFINEMENT:
      return load_refinement(s, t, build, out);
    case T_INTEGER: case T_HEX: case T_FLOAT: case T_SPECIAL_FLOAT: case T_PERCENT:
      return load_number(s, t, build, out);
    case T_CHAR: {
      u32 cp;
      if (e - p < 3 || e[-1] != '"' || !decode_char(p + 2, e - 1, &cp)) fail(s, t, TYPE_CHAR);
      if (build) *out = cell{TYPE_CHAR, 0, cp, 0};
      return;
    }
    case T_FILE:
      if (e - p >= 2 && p[1] == '"') {
        if (e - p < 3 || e[-1] != '"') fail(s, t, TYPE_FILE);
        return load_text(s, t, p + 2, e - 1, t.flags & FLAG_CARET, TYPE_FILE, build, out);
      }
      return load_percent_text(s, t, p + 1, e, TYPE_FILE, build, out);
    case T_URL:
      if (*p == ':') fail(s, t, TYPE_GET_WORD);
      if (*p == '\'') fail(s, t, TYPE_LIT_WORD);
      return load_percent_text(s, t, p, e, TYPE_URL, build, out);
    case T_TAG:
      require(s, t, TYPE_TAG);
      if (*p != '<' || e - p < 2 || e[-1] != '>') fail(s, t, TYPE_TAG);
      return load_text(s, t, p + 1, e - 1, false, TYPE_TAG, build, out);
    case T_EMAIL:
      require(s, t, TYPE_EMAIL);
      return load_text(s, t, p, e, false, TYPE_EMAIL, build, out);
    case T_REF:
      require(s, t, TYPE_REF);
      return load_text(s, t, p + 1, e, false, TYPE_REF, build, out);
    case T_TIME:
      return load_time(s, t, build, out);
    case T_PAIR:
      return load_pair(s, t, build, out);
    case T_TUPLE:
      return load_tuple(s, t, build, out);
    case T_POINT:
      return load_point(s, t, build, out);
    case T_BINARY:
      return load_binary(s, t, build, out);
    case T_DATE:
      return load_date(s, t, build, out);
    case T_MONEY:
      return load_money(s, t, build, out);
    default:
      return;
  }
}

bool scan_money_text(const char* p, i32 count, u32 unit, cell* out) {
  money_parts m;
  if (!string_to_money(p, count, unit, &m)) return false;
  return money::make_at(out, m.negative, m.currency[0] ? m.currency : nullptr, m.digits,
                        m.int_digits, m.digits + m.int_digits, m.frac_digits) != nullptr;
}

}  // namespace vyr::lexer
