// Caret escape decoding, the reading direction of the escape letter table that string!
// and char! mold write with.
#include "runtime/lexer/lexer_escapes.h"

#include "runtime/datatypes/string.h"

namespace vyr::lexer {

namespace {

// Code point a caret letter stands for, -1 when the character stands for itself: the
// escape letter table inverted (a later code point wins, so "^^" is the caret
// itself), then the letters that table leaves to the control-letter rule ("^I", "^j") and
// the three escapes above its range.
struct caret_table {
  i32 cp[128];
  caret_table() : cp() {
    for (int c = 0; c < 128; c++) cp[c] = -1;
    for (int c = 'A'; c <= '_'; c++) cp[c] = c - 'A' + 1;
    for (int c = 'a'; c <= 'z'; c++) cp[c] = c - 'a' + 1;
    for (u32 code = 0; code < sizeof string::escape_letters; code++)
      if (string::escape_letters[code]) cp[static_cast<u8>(string::escape_letters[code])] = code;
    cp[u8('{')] = '{';
    cp[u8('}')] = '}';
    cp[u8('~')] = 127;
  }
};
const caret_table caret_letters;

struct named { const char* name; u32 cp; };
constexpr named escape_names[] = {{"null", 0}, {"back", 8}, {"tab", 9}, {"line", 10},
                                  {"page", 12}, {"esc", 27}, {"del", 127}};

}  // namespace

u32 decode_escape(const u8* p, const u8* end, u32* cp) {
  if (p >= end) return 0;
  if (*p == '(') {
    const u8* q = p + 1;
    while (q < end && *q != ')') q++;
    if (q >= end) return 0;
    u32 n = static_cast<u32>(q - p - 1);
    const u8* text = p + 1;
    u32 taken = n + 2;
    for (const named& e : escape_names) {
      u32 k = 0;
      while (e.name[k] && k < n && (text[k] | 0x20) == static_cast<u8>(e.name[k])) k++;
      if (!e.name[k] && k == n) { *cp = e.cp; return taken; }
    }
    if (n == 0 || n > 6) return 0;
    u32 v = 0;
    for (u32 i = 0; i < n; i++) {
      int d = string::hex_digit(text[i]);
      if (d < 0) return 0;
      v = v * 16 + static_cast<u32>(d);
    }
    // Only Unicode scalar values: nothing past 10FFFF, no surrogate halves.
    if (v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
    *cp = v;
    return taken;
  }
  if (*p < 0x80) {
    i32 v = caret_letters.cp[*p];
    *cp = v < 0 ? *p : static_cast<u32>(v);
    return 1;
  }
  return decode_utf8(p, end, cp);
}

bool decode_char(const u8* p, const u8* end, u32* cp) {
  u32 n = 0;
  bool ok = decode_text(p, end, true, [&](u32 c) { *cp = c; n++; });
  return ok && n == 1;
}

u32 decoded_unit(const u8* p, const u8* end, bool escapes) {
  u32 widest = 0;
  if (!decode_text(p, end, escapes, [&](u32 c) { if (c > widest) widest = c; })) return 0;
  return widest < 0x80 ? 1 : widest <= 0xFFFF ? 2 : 4;
}

}  // namespace vyr::lexer
