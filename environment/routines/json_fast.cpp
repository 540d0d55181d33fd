// `json-fast-decode`: load-json's fast path. It accepts exactly the texts the decoder's
// grammar accepts and builds the same values (escapes as `unescape` decodes them, keys of
// word syntax as words, numbers as the scanner reads them, objects as `make map!` of their
// items). It never reports a failure itself: for any text it does not accept, and for
// nesting deeper than it goes, it answers none, and load-json runs the grammar, which
// gives the error value (or raises) with its line, index and column.
#include <string>

#include "environment/routines/routines.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/word.h"
#include "runtime/interpreter/stack.h"
#include "runtime/lexer/lexer_load.h"

namespace vyr::routines {

namespace {

constexpr int MAX_DEPTH = 200;

struct bail {};  // not accepted here: the grammar decides

struct decoder {
  std::u32string s;
  size_t i = 0;
  int depth = 0;

  u32 peek() const { return i < s.size() ? s[i] : 0xFFFFFFFFu; }
  void ws() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t' || s[i] == '\r' || s[i] == '\n')) i++;
  }
  void lit(const char* w) {
    for (; *w; w++, i++)
      if (i >= s.size() || s[i] != u32(u8(*w))) throw bail{};
  }
  static int hex(u32 c) {
    if (c >= '0' && c <= '9') return int(c - '0');
    if (c >= 'a' && c <= 'f') return int(c - 'a' + 10);
    if (c >= 'A' && c <= 'F') return int(c - 'A' + 10);
    return -1;
  }
  int hex4() {
    if (i + 4 > s.size()) throw bail{};
    int v = 0;
    for (int k = 0; k < 4; k++) {
      int d = hex(s[i + k]);
      if (d < 0) throw bail{};
      v = v * 16 + d;
    }
    i += 4;
    return v;
  }
  static void utf8(std::string& o, u32 c) {
    if (c < 0x80) {
      o += char(c);
    } else if (c < 0x800) {
      o += char(0xC0 | (c >> 6));
      o += char(0x80 | (c & 63));
    } else if (c < 0x10000) {
      o += char(0xE0 | (c >> 12));
      o += char(0x80 | ((c >> 6) & 63));
      o += char(0x80 | (c & 63));
    } else {
      o += char(0xF0 | (c >> 18));
      o += char(0x80 | ((c >> 12) & 63));
      o += char(0x80 | ((c >> 6) & 63));
      o += char(0x80 | (c & 63));
    }
  }
  // A string literal's text, decoded; the opening quote is at i.
  std::string text() {
    i++;
    std::string o;
    for (;;) {
      if (i >= s.size()) throw bail{};
      u32 c = s[i++];
      if (c == '"') return o;
      if (c < 32) throw bail{};
      if (c != '\\') {
        utf8(o, c);
        continue;
      }
      if (i >= s.size()) throw bail{};
      u32 e = s[i++];
      switch (e) {
        case '"': case '\\': case '/': o += char(e); break;
        case 'b': o += '\b'; break;
        case 'f': o += '\f'; break;
        case 'n': o += '\n'; break;
        case 'r': o += '\r'; break;
        case 't': o += '\t'; break;
        case 'u': {
          int code = hex4();
          // Surrogates the grammar would hand to unescape, which raises: let it.
          if (code >= 0xDC00 && code <= 0xDFFF) throw bail{};
          if (code >= 0xD800 && code <= 0xDBFF) {
            if (i + 2 > s.size() || s[i] != '\\' || s[i + 1] != 'u') throw bail{};
            i += 2;
            int low = hex4();
            if (low < 0xDC00 || low > 0xDFFF) throw bail{};
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          }
          utf8(o, u32(code));
          break;
        }
        default: throw bail{};
      }
    }
  }
  static bool not_word_char(u32 c) {
    switch (c) {
      case '/': case '\\': case '^': case ',': case '[': case ']': case '(': case ')':
      case '{': case '}': case '"': case '#': case '%': case '$': case '@': case ':':
      case ';': case '\n': case 0xA0: case ' ': case '\t': case '\r': case '<': case '>':
        return true;
      default: return false;
    }
  }
  static bool word_key(const std::string& k) {
    // The decoded key, read back as code points.
    cell tmp{TYPE_NONE, 0, 0, 0};
    (void)tmp;
    if (k.empty()) return false;
    std::u32string cps;
    for (size_t p = 0; p < k.size();) {
      u8 b = u8(k[p]);
      u32 c;
      int n;
      if (b < 0x80) { c = b; n = 1; }
      else if (b < 0xE0) { c = b & 0x1F; n = 2; }
      else if (b < 0xF0) { c = b & 0x0F; n = 3; }
      else { c = b & 0x07; n = 4; }
      for (int q = 1; q < n; q++) c = (c << 6) | (u8(k[p + size_t(q)]) & 63);
      p += size_t(n);
      cps.push_back(c);
    }
    u32 f = cps[0];
    if (not_word_char(f) || (f >= '0' && f <= '9') || f == '\'') return false;
    for (u32 c : cps)
      if (not_word_char(c)) return false;
    return true;
  }
  void number(cell* out) {
    size_t start = i;
    bool simple = true;
    if (peek() == '-') i++;
    if (peek() == '0') {
      i++;
    } else if (peek() >= '1' && peek() <= '9') {
      while (peek() >= '0' && peek() <= '9') i++;
    } else {
      throw bail{};
    }
    if (peek() == '.') {
      simple = false;
      i++;
      if (!(peek() >= '0' && peek() <= '9')) throw bail{};
      while (peek() >= '0' && peek() <= '9') i++;
    }
    if (peek() == 'e' || peek() == 'E') {
      simple = false;
      i++;
      if (peek() == '+' || peek() == '-') i++;
      if (!(peek() >= '0' && peek() <= '9')) throw bail{};
      while (peek() >= '0' && peek() <= '9') i++;
    }
    std::string t;
    for (size_t k = start; k < i; k++) t += char(s[k]);
    size_t digits = t.size() - (t[0] == '-' ? 1 : 0);
    if (simple && digits <= 9) {
      *out = cell{TYPE_INTEGER, 0, u32(i32(std::stol(t))), 0};
      return;
    }
    // What the scanner makes of the text, as the grammar's `transcode` does.
    cell blk{TYPE_NONE, 0, 0, 0};
    collector::root_guard g(&blk);
    lexer::scan(&blk, reinterpret_cast<const u8*>(t.data()), u32(t.size()));
    if (type_of(&blk) != TYPE_BLOCK || block::rs_length_q(&blk) < 1) throw bail{};
    *out = *block::rs_head(&blk);
  }
  void string_value(cell* out, const std::string& t) {
    string::load_at(t.data(), u32(t.size()), out, string::ENCODING_UTF8);
  }
  // One JSON value with the white space around it, into `out` (a stack slot).
  void value(cell* out) {
    ws();
    u32 c = peek();
    switch (c) {
      case 't': lit("true"); *out = cell{TYPE_LOGIC, 1, 0, 0}; break;
      case 'f': lit("false"); *out = cell{TYPE_LOGIC, 0, 0, 0}; break;
      case 'n': lit("null"); *out = cell{TYPE_NONE, 0, 0, 0}; break;
      case '"': string_value(out, text()); break;
      case '[': {
        if (++depth > MAX_DEPTH) throw bail{};
        i++;
        block::make_at(out, 8);
        ws();
        if (peek() != ']') {
          for (;;) {
            stack::guard g;
            cell* e = stack::push_slot();
            value(e);
            block::rs_append(out, e);
            if (peek() == ',') { i++; continue; }
            break;
          }
        }
        if (peek() != ']') throw bail{};
        i++;
        depth--;
        break;
      }
      case '{': {
        if (++depth > MAX_DEPTH) throw bail{};
        i++;
        stack::guard g;
        cell* items = stack::push_slot();
        block::make_at(items, 8);
        ws();
        if (peek() != '}') {
          for (;;) {
            ws();
            if (peek() != '"') throw bail{};
            std::string k = text();
            ws();
            if (peek() != ':') throw bail{};
            i++;
            stack::guard g2;
            cell* e = stack::push_slot();
            if (word_key(k)) {
              *e = word::intern(k.c_str());
            } else {
              string_value(e, k);
            }
            block::rs_append(items, e);
            value(e);
            block::rs_append(items, e);
            if (peek() == ',') { i++; continue; }
            break;
          }
        }
        if (peek() != '}') throw bail{};
        i++;
        map::make_at(out, items, 0);
        depth--;
        break;
      }
      default:
        if (c == '-' || (c >= '0' && c <= '9')) {
          number(out);
        } else {
          throw bail{};
        }
    }
    ws();
  }
};

void json_fast_decode_code(cell* a, u32) {
  if (type_of(a) != TYPE_STRING) {
    *a = cell{TYPE_NONE, 0, 0, 0};
    return;
  }
  decoder d;
  {
    i32 n = string::rs_length_q(a);
    series_buffer* b = buffer_of(a->data2);
    u32 unit = b->unit();
    const char* p = string::rs_head(a);
    d.s.reserve(size_t(n > 0 ? n : 0));
    for (i32 k = 0; k < n; ++k) d.s.push_back(string::get_char(p + size_t(k) * unit, unit));
  }
  stack::guard g;
  cell* out = stack::push_slot();
  try {
    d.value(out);
    if (d.i != d.s.size()) throw bail{};
  } catch (bail&) {
    *a = cell{TYPE_NONE, 0, 0, 0};
    return;
  }
  // The result: a block holding the value, so that a decoded null is told from a miss.
  cell blk;
  block::make_at(&blk, 1);
  collector::root_guard bg(&blk);
  block::rs_append(&blk, out);
  *a = blk;
}

}  // namespace

void register_json_fast() { routine::register_("json-fast-decode", json_fast_decode_code); }

}  // namespace vyr::routines
