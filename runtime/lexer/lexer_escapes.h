// Caret escapes of string, char and quoted file text ("^/", "^(tab)", "^(1F600)"), and
// the UTF-8 text decoding the string-like loaders share. Malformed text decodes to false.
#pragma once
#include "runtime/datatypes/string.h"
#include "runtime/lexer/lexer.h"

namespace vyr::lexer {

// The escape after a '^'; p points just past the caret. Returns the bytes it takes (0 when
// malformed: an empty or unknown "^(...)", more than 6 hexadecimal digits, a code point
// above 10FFFF or a surrogate, undecodable UTF-8, nothing after the caret).
u32 decode_escape(const u8* p, const u8* end, u32* cp);

// Decodes [p, end) to code points, with caret escapes when `escapes`; false on failure.
template <class Put>
bool decode_text(const u8* p, const u8* end, bool escapes, Put&& put) {
  while (p < end) {
    u32 cp, n;
    if (escapes && *p == '^') {
      n = decode_escape(p + 1, end, &cp);
      if (n == 0) return false;
      n++;
    } else {
      n = decode_utf8(p, end, &cp);
      if (n == 0) return false;
    }
    put(cp);
    p += n;
  }
  return true;
}

// The text between the quotes of a char literal: exactly one character (escapes allowed).
bool decode_char(const u8* p, const u8* end, u32* cp);

// Widest code unit (1, 2 or 4) the decoded text needs; 0 when it does not decode.
u32 decoded_unit(const u8* p, const u8* end, bool escapes);

}  // namespace vyr::lexer
