// UTF-8, decoded and encoded once for the whole tree. Plain bytes in, code points out: no
// cells, no raising; each caller turns a refused sequence into its own answer (the
// language raises, a window's text shows U+FFFD, a folder's name is left out).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace vyr::utf8 {

constexpr uint32_t REPLACEMENT = 0xFFFD;

// ---- The strict decoder ----------------------------------------------------------------

enum class outcome : uint8_t {
  ok,       // a sequence: `cp`, `size` bytes
  cut,      // fewer bytes available than the lead byte announces
  bad,      // a byte that cannot stand where it stands (a lead byte or a continuation)
  refused,  // well-built bytes spelling a refused value (DC00-DCFF, above U+10FFFF)
};

// `size`: ok and refused, the sequence's length; bad, the bytes before the offending one
// (at least 1: a bad lead byte is its own); cut, the lead byte and the continuation bytes
// that follow it.
struct decoded {
  uint32_t cp;
  uint32_t size;
  outcome status;
};

// One sequence from `avail` bytes at p. Overlong forms (C0 80 for NUL) decode to the code
// point they spell, and of the surrogates only the low block DC00-DCFF is refused, so that
// text holding unpaired high halves still loads; leads F8-FF and values above U+10FFFF are
// refused. A sequence is cut only when the bytes run out before its announced length.
constexpr decoded decode(const uint8_t* p, size_t avail) {
  if (avail == 0) return {0, 0, outcome::cut};
  uint32_t b = p[0];
  if (b < 0x80) return {b, 1, outcome::ok};
  if (b < 0xC0 || b >= 0xF8) return {0, 1, outcome::bad};
  uint32_t need = b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
  if (avail < need) {
    uint32_t k = 1;
    while (k < avail && (p[k] & 0xC0) == 0x80) k++;
    return {0, k, outcome::cut};
  }
  uint32_t cp = b & (0x7Fu >> need);
  for (uint32_t i = 1; i < need; i++) {
    uint32_t c = p[i];
    if ((c & 0xC0) != 0x80) return {0, i, outcome::bad};
    cp = (cp << 6) | (c & 0x3F);
  }
  if ((need == 3 && cp >= 0xDC00 && cp <= 0xDCFF) || (need == 4 && cp > 0x10FFFF))
    return {cp, need, outcome::refused};
  return {cp, need, outcome::ok};
}

// A Unicode scalar value: at most U+10FFFF and no surrogate.
constexpr bool scalar(uint32_t cp) { return cp <= 0x10FFFF && !(cp >= 0xD800 && cp <= 0xDFFF); }

// UTF-8 length of a code point: 1-4, 0 above U+10FFFF.
constexpr uint32_t encoded_size(uint32_t cp) {
  return cp <= 0x7F ? 1 : cp <= 0x7FF ? 2 : cp <= 0xFFFF ? 3 : cp <= 0x10FFFF ? 4 : 0;
}

// A decoded sequence that is well-formed in the strictest sense: a scalar value in its
// shortest form.
constexpr bool well_formed(const decoded& d) {
  return d.status == outcome::ok && scalar(d.cp) && d.size == encoded_size(d.cp);
}

// Whether a well-formed sequence can start with byte b (ASCII, C2-F4).
constexpr bool well_formed_lead(uint8_t b) { return b < 0x80 || (b >= 0xC2 && b <= 0xF4); }

// Sequence length announced by a lead byte: 4 for F0-FF, 3 for E0-EF, 2 for C0-DF, 0 for
// ASCII and continuation bytes.
constexpr uint32_t lead_size(uint8_t lead) {
  return lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
}

// The next sequence of text read for showing, where only well-formed sequences count:
// {cp, size, ok} for one, else {U+FFFD, size, bad}, the ill-formed sequence taking its lead
// byte and the continuation bytes that follow it, up to the length the lead announces.
constexpr decoded next_well_formed(const uint8_t* p, size_t avail) {
  if (avail == 0) return {0, 0, outcome::cut};
  if (!well_formed_lead(p[0])) return {REPLACEMENT, 1, outcome::bad};
  decoded d = decode(p, avail);
  if (well_formed(d)) return d;
  return {REPLACEMENT, d.size, outcome::bad};
}

// ---- The fast decoder ------------------------------------------------------------------

// Byte classes (256) then the state transitions (108) of the published DFA UTF-8 decoder:
// state 0 accepts, 12 rejects, the others are multiples of 12. It refuses overlong forms,
// all surrogates and values above U+10FFFF.
constexpr uint8_t DFA_ACCEPT = 0;
constexpr uint8_t DFA_REJECT = 12;
inline constexpr uint8_t dfa[256 + 108] = {
    // 0x00-0x7F
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    // 0x80-0x8F, 0x90-0x9F
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9,
    // 0xA0-0xBF
    7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7, 7,
    // 0xC0-0xC1 (overlong), 0xC2-0xDF
    8, 8, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2,
    // 0xE0, 0xE1-0xEC, 0xED, 0xEE-0xEF, 0xF0, 0xF1-0xF3, 0xF4, 0xF5-0xFF
    10, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 3, 3, 11, 6, 6, 6, 5, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8, 8,
    // transitions: row = state / 12, column = class
    0, 12, 24, 36, 60, 96, 84, 12, 12, 12, 48, 72,
    12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
    12, 0, 12, 12, 12, 12, 12, 0, 12, 0, 12, 12,
    12, 24, 12, 12, 12, 12, 12, 24, 12, 24, 12, 12,
    12, 12, 12, 12, 12, 12, 12, 24, 12, 12, 12, 12,
    12, 24, 12, 12, 12, 12, 12, 12, 12, 24, 12, 12,
    12, 12, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12,
    12, 36, 12, 12, 12, 12, 12, 36, 12, 36, 12, 12,
    12, 36, 12, 12, 12, 12, 12, 12, 12, 12, 12, 12,
};

// One sequence from p (never reading at or past `end`): the position after it, and its
// code point in *cp, -1 when rejected. The rejecting byte is consumed when it stands in a
// continuation position; a sequence the range cuts short is rejected.
inline const uint8_t* fast_decode(const uint8_t* p, const uint8_t* end, int32_t* cp) {
  if (p >= end) {
    *cp = -1;
    return p;
  }
  uint32_t byte = *p++;
  uint32_t cls = dfa[byte];
  uint32_t code = (0xFFu >> cls) & byte;
  uint32_t state = dfa[256 + cls];
  while (state != DFA_ACCEPT && state != DFA_REJECT) {
    if (p >= end) {
      *cp = -1;
      return p;
    }
    byte = *p++;
    code = (code << 6) | (byte & 0x3Fu);
    state = dfa[256 + state + dfa[byte]];
  }
  *cp = state == DFA_ACCEPT ? static_cast<int32_t>(code) : -1;
  return p;
}

// ---- The encoder -----------------------------------------------------------------------

// Writes the 1-4 bytes of cp and returns their count; above U+10FFFF nothing is written
// and 0 returned. Surrogates are written as they are.
template <class Byte>
constexpr uint32_t encode(uint32_t cp, Byte* dest) {
  if (cp <= 0x7F) {
    dest[0] = static_cast<Byte>(cp);
    return 1;
  }
  if (cp <= 0x7FF) {
    dest[0] = static_cast<Byte>(0xC0 | (cp >> 6));
    dest[1] = static_cast<Byte>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp <= 0xFFFF) {
    dest[0] = static_cast<Byte>(0xE0 | (cp >> 12));
    dest[1] = static_cast<Byte>(0x80 | ((cp >> 6) & 0x3F));
    dest[2] = static_cast<Byte>(0x80 | (cp & 0x3F));
    return 3;
  }
  if (cp <= 0x10FFFF) {
    dest[0] = static_cast<Byte>(0xF0 | (cp >> 18));
    dest[1] = static_cast<Byte>(0x80 | ((cp >> 12) & 0x3F));
    dest[2] = static_cast<Byte>(0x80 | ((cp >> 6) & 0x3F));
    dest[3] = static_cast<Byte>(0x80 | (cp & 0x3F));
    return 4;
  }
  return 0;
}

// Appends cp's bytes to `out`; false, and nothing appended, above U+10FFFF.
inline bool append(std::string& out, uint32_t cp) {
  char b[4];
  uint32_t n = encode(cp, b);
  out.append(b, n);
  return n != 0;
}

// Appends cp's bytes to `out`, U+FFFD's for anything but a scalar value: for text that
// goes to a terminal, a window or a file name.
inline void append_scalar(std::string& out, uint32_t cp) { append(out, scalar(cp) ? cp : REPLACEMENT); }

}  // namespace vyr::utf8
