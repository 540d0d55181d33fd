// `json-fast-decode`: load-json's fast path. It accepts exactly the texts the decoder's
// grammar accepts and builds the same values (escapes as `unescape` decodes them, keys of
// word syntax as words, numbers as the scanner reads them, objects as `make map!` of their
// items). It never reports a failure itself: for any text it does not accept, and for
// nesting deeper than it goes, it answers none, and load-json runs the grammar, which
// gives the error value (or raises) with its line, index and column.
#include <string>
#include <vector>

#include "base/utf8.h"
#include "environment/routines/routines.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/series.h"
#include "runtime/dtoa.h"
#include "runtime/stack.h"
#include "runtime/lexer/lexer_load.h"

namespace vyr::routines {

namespace {

constexpr int MAX_DEPTH = 200;

struct bail {};  // not accepted here: the grammar decides

// The text's units, copied once out of the arena (allocations may move its buffer), at
// the string's own width so that the copy of ASCII text costs one byte a character.
struct units {
  std::string raw;
  u32 unit = 1;
  size_t n = 0;
  size_t size() const { return n; }
  u32 operator[](size_t k) const {
    const char* p = raw.data() + k * unit;
    if (unit == 1) return u8(*p);
    return string::get_char(p, unit);
  }
};

struct decoder {
  units s;
  size_t i = 0;
  int depth = 0;

  u32 peek() const { return i < s.size() ? s[i] : 0xFFFFFFFFu; }
  void ws() {
    while (i < s.size()) {
      u32 c = s[i];
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n') break;
      i++;
    }
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
        utf8::append(o, c);
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
          utf8::append(o, u32(code));
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
  // The code points of UTF-8 text this file wrote (well-formed; a cut sequence stops).
  static std::u32string code_points(std::string_view k) {
    std::u32string cps;
    const u8* p = reinterpret_cast<const u8*>(k.data());
    for (size_t i = 0; i < k.size();) {
      // A lone low surrogate of a string comes back refused, its code point spelled out.
      utf8::decoded d = utf8::decode(p + i, k.size() - i);
      if (d.status == utf8::outcome::cut || d.status == utf8::outcome::bad) break;
      cps.push_back(d.cp);
      i += d.size;
    }
    return cps;
  }
  static bool word_key(const std::string& k) {
    if (k.empty()) return false;
    std::u32string cps = code_points(k);
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
    if (!simple && t.size() <= 64) {
      // The scanner's own correctly rounded conversion, without a scan per number.
      i32 unconsumed = 0;
      double d = dtoa::string_to_float(t.data(), t.data() + t.size(), 0, &unconsumed);
      if (unconsumed == 0) {
        *out = cell{TYPE_FLOAT, 0, 0, 0};
        set_cell_float(out, d);
        return;
      }
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
  static void fill(cell* out, const std::vector<cell>& items) {
    block::make_at(out, i32(items.size()));
    for (const cell& c : items) block::rs_append(out, &c);
  }
  // One JSON value with the white space around it, into `out`.
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
        // Items gather here and the block is made at its final size: no regrowth leaves
        // dead buffers behind. Safe outside the roots, as no collection runs meanwhile.
        std::vector<cell> items;
        ws();
        if (peek() != ']') {
          for (;;) {
            cell e{TYPE_NONE, 0, 0, 0};
            value(&e);
            items.push_back(e);
            if (peek() == ',') { i++; continue; }
            break;
          }
        }
        if (peek() != ']') throw bail{};
        i++;
        fill(out, items);
        depth--;
        break;
      }
      case '{': {
        if (++depth > MAX_DEPTH) throw bail{};
        i++;
        std::vector<cell> items;
        ws();
        if (peek() != '}') {
          for (;;) {
            ws();
            if (peek() != '"') throw bail{};
            std::string k = text();
            ws();
            if (peek() != ':') throw bail{};
            i++;
            cell key{TYPE_NONE, 0, 0, 0};
            if (word_key(k)) {
              key = word::intern(k.c_str());
            } else {
              string_value(&key, k);
            }
            items.push_back(key);
            cell e{TYPE_NONE, 0, 0, 0};
            value(&e);
            items.push_back(e);
            if (peek() == ',') { i++; continue; }
            break;
          }
        }
        if (peek() != '}') throw bail{};
        i++;
        // Pairs go straight into a map made at its size; `put` leaves its result in the
        // routine's argument cell, which holds nothing needed any more (the text is copied).
        map::make_at(out, nullptr, i32(items.size() / 2));
        for (size_t k = 0; k + 1 < items.size(); k += 2) map::put(out, &items[k], &items[k + 1], true);
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
    d.s.unit = buffer_of(series::node(a))->unit();
    d.s.n = size_t(n > 0 ? n : 0);
    const char* p = string::rs_head(a);
    d.s.raw.assign(p, d.s.n * d.s.unit);
  }
  stack::guard g;
  cell* out = stack::push_slot();
  // Everything made here is reachable from `out` or dropped at once: a collection would
  // only mark the growing result over and over.
  collector::no_collect nc;
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

void register_json_fast_encode();
void register_json_fast() {
  routine::register_("json-fast-decode", json_fast_decode_code);
  register_json_fast_encode();
}

}  // namespace vyr::routines

// `json-fast-encode`: to-json's fast path for the common values (none!, logic!, integer!,
// float!, percent!, string!, block!, and map! with word or string keys). It answers none
// for anything else anywhere in the data, and for nesting deeper than it goes (a cycle
// among them), and to-json then runs its own functions, which handle every type and raise
// no-cycle.
namespace vyr::routines {

namespace {

struct encoder {
  std::string out;
  std::string indent;
  bool pretty = false;
  bool ascii = false;
  int level = 0;
  int depth = 0;

  void emit_indent(int by) {
    level += by;
    for (int k = 0; k < level; k++) out += indent;
  }
  void u_escape(u32 code) {
    static const char d[] = "0123456789ABCDEF";
    out += "\\u";
    for (int sh = 12; sh >= 0; sh -= 4) out += d[(code >> sh) & 15];
  }
  void character(u32 c) {
    switch (c) {
      case '"': out += "\\\""; return;
      case '\\': out += "\\\\"; return;
      case 8: out += "\\b"; return;
      case 12: out += "\\f"; return;
      case 10: out += "\\n"; return;
      case 13: out += "\\r"; return;
      case 9: out += "\\t"; return;
      default: break;
    }
    if (c < 32 || (ascii && c > 127)) {
      if (c <= 0xFFFF) {
        u_escape(c);
      } else {
        u32 m = c - 0x10000;
        u_escape((m >> 10) + 0xD800);
        u_escape((m & 1023) + 0xDC00);
      }
    } else {
      utf8::append(out, c);
    }
  }
  void str(const cell* v) {
    out += '"';
    series_buffer* b = buffer_of(series::node(v));
    u32 unit = b->unit();
    i32 n = string::rs_length_q(v);
    const char* p = string::rs_head(const_cast<cell*>(v));
    for (i32 k = 0; k < n; k++) character(string::get_char(p + size_t(k) * unit, unit));
    out += '"';
  }
  // A word's name (UTF-8) as a JSON string.
  void name(std::string_view t) {
    out += '"';
    for (u32 c : decoder::code_points(t)) character(c);
    out += '"';
  }
  void number(double d) {
    if (d != d || d - d != 0.0) {
      out += "null";
    } else {
      out += dtoa::form_float(d, 0, true);
    }
  }
  void open(char c) {
    out += c;
    if (pretty) {
      out += '\n';
      emit_indent(1);
    }
  }
  void next_item() {
    out += ',';
    if (pretty) {
      out += '\n';
      emit_indent(0);
    }
  }
  void close(char c) {
    if (pretty) {
      out += '\n';
      emit_indent(-1);
    }
    out += c;
  }
  void value(const cell* v) {
    switch (type_of(v)) {
      case TYPE_NONE: out += "null"; return;
      case TYPE_LOGIC: out += logic::get(v) ? "true" : "false"; return;
      case TYPE_INTEGER: out += std::to_string(integer::get(v)); return;
      case TYPE_FLOAT: number(cell_float(v)); return;
      case TYPE_STRING: str(v); return;
      case TYPE_BLOCK: {
        if (++depth > MAX_DEPTH) throw bail{};
        i32 n = block::rs_length_q(v);
        if (n <= 0) {
          out += "[]";
        } else {
          open('[');
          for (i32 k = 0; k < n; k++) {
            if (k) next_item();
            // Nothing here allocates in the arena: the item is read afresh each time.
            cell item = block::rs_head(const_cast<cell*>(v))[k];
            value(&item);
          }
          close(']');
        }
        depth--;
        return;
      }
      case TYPE_MAP: {
        if (++depth > MAX_DEPTH) throw bail{};
        cell body = map::body_of(v);
        collector::root_guard g(&body);
        i32 n = block::rs_length_q(&body);
        if (n <= 0) {
          out += "{}";
        } else {
          open('{');
          for (i32 k = 0; k + 1 < n; k += 2) {
            if (k) next_item();
            cell key = block::rs_head(&body)[k];
            u32 t = type_of(&key);
            if (t >= TYPE_WORD && t <= TYPE_LIT_WORD) {
              std::string text(symbol::name(word::symbol_id(&key)));
              name(text);
            } else if (t == TYPE_STRING) {
              str(&key);
            } else {
              throw bail{};
            }
            out += pretty ? ": " : ":";
            cell item = block::rs_head(&body)[k + 1];
            value(&item);
          }
          close('}');
        }
        depth--;
        return;
      }
      default:
        if (type_of(v) == TYPE_PERCENT) {
          number(cell_float(v));
          return;
        }
        throw bail{};
    }
  }
};

void json_fast_encode_code(cell* a, u32) {
  encoder e;
  e.pretty = logic::get(&a[1]) != 0;
  if (e.pretty) e.indent = string::to_utf8(a + 2);
  e.ascii = logic::get(&a[3]) != 0;
  cell data = a[0];
  collector::root_guard g(&data);
  try {
    e.value(&data);
  } catch (bail&) {
    *a = cell{TYPE_NONE, 0, 0, 0};
    return;
  }
  cell s{TYPE_NONE, 0, 0, 0};
  string::load_at(e.out.data(), u32(e.out.size()), &s, string::ENCODING_UTF8);
  *a = s;
}

}  // namespace

void register_json_fast_encode() {
  routine::register_("json-fast-encode", json_fast_encode_code);
}

}  // namespace vyr::routines
