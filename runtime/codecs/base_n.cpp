// Base-N text codecs. Every decoder sizes its output once from the character count and
// works with the character's full code point, so no character above 127 can alias an
// ASCII digit or index past a 128-entry table.
#include "runtime/codecs/base_n.h"

#include <cstring>

namespace vyr::base_n {

namespace {

const char hex_digits[] = "0123456789ABCDEF";
const char b64_alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char b58_alphabet[] = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";

// Table values: 0-63 digits, SKIP blanks, COMMENT the comment start, PAD the base-64 pad,
// BAD anything else.
constexpr u8 BAD = 0xFF, SKIP = 0xFE, COMMENT = 0xFD, PAD = 0xFC;

struct tables {
  u8 hex[128], b64[128], b58[128], bin[128];
  // The two hexadecimal digits of every byte, and the hexadecimal table over all 256 byte
  // values (BAD above 127): the byte-text loops read these without a test per character.
  char hex_pair[512];
  u8 hex_byte[256];
  tables() {
    std::memset(hex, BAD, sizeof hex);
    std::memset(b64, BAD, sizeof b64);
    std::memset(b58, BAD, sizeof b58);
    std::memset(bin, BAD, sizeof bin);
    for (int c = 0; c <= 32; c++) hex[c] = bin[c] = SKIP;
    for (int c = 0; c < 16; c++) {
      hex[static_cast<u8>(hex_digits[c])] = static_cast<u8>(c);
      if (c >= 10) hex[static_cast<u8>(hex_digits[c] - 'A' + 'a')] = static_cast<u8>(c);
    }
    bin['0'] = 0;
    bin['1'] = 1;
    for (int c = 0; c < 64; c++) b64[static_cast<u8>(b64_alphabet[c])] = static_cast<u8>(c);
    for (int c = 0; c < 58; c++) b58[static_cast<u8>(b58_alphabet[c])] = static_cast<u8>(c);
    for (u8 c : {u8{8}, u8{9}, u8{10}, u8{12}, u8{13}, u8{32}, u8{'\''}}) b64[c] = b58[c] = SKIP;
    b64['='] = PAD;
    hex[';'] = b64[';'] = b58[';'] = bin[';'] = COMMENT;
    for (int b = 0; b < 256; b++) {
      hex_pair[2 * b] = hex_digits[b >> 4];
      hex_pair[2 * b + 1] = hex_digits[b & 15];
      hex_byte[b] = b < 128 ? hex[b] : BAD;
    }
  }
};
const tables& tab() {
  static const tables t;
  return t;
}

// Reads the characters of a 1-, 2- or 4-byte buffer.
template <u32 U> inline u32 char_at(const u8* p, u64 i) {
  if constexpr (U == 1) {
    return p[i];
  } else if constexpr (U == 2) {
    u16 v;
    std::memcpy(&v, p + i * 2, 2);
    return v;
  } else {
    u32 v;
    std::memcpy(&v, p + i * 4, 4);
    return v;
  }
}

// The table class of each character, comments skipped: calls `each(value)` for every
// digit or pad mark; answers false at the first invalid character (or when `each` does).
template <u32 U, class F>
bool walk(const u8* table, const void* chars, u32 count, F&& each) {
  const u8* p = static_cast<const u8*>(chars);
  for (u64 i = 0; i < count; i++) {
    u32 c = char_at<U>(p, i);
    if (c > 127) return false;
    u8 v = table[c];
    if (v == SKIP) continue;
    if (v == COMMENT) {
      while (i + 1 < count && char_at<U>(p, i + 1) != '\n') i++;
      continue;
    }
    if (v == BAD) return false;
    if (!each(v)) return true;  // the walker stopped early: the text read so far stands
  }
  return true;
}

template <class F>
bool walk_unit(const u8* table, const void* chars, u32 count, u32 unit, F&& each) {
  switch (unit) {
    case 1: return walk<1>(table, chars, count, each);
    case 2: return walk<2>(table, chars, count, each);
    case 4: return walk<4>(table, chars, count, each);
    default: return false;
  }
}

}  // namespace

bool known_base_q(i32 base) { return base == 2 || base == 16 || base == 58 || base == 64; }

u64 encoded_room(i32 base, u64 n) {
  switch (base) {
    case 2: return 8 * n + 2 * (n / 8) + 4;
    case 16: return 2 * n + n / 32 + 32;
    case 58: return 2 * n + 1;
    case 64: return 4 * (n / 3) + (4 * (n % 3)) / 3 + 2 * (n / 32) + 5;
    default: return 0;
  }
}

// ---- Encoders -------------------------------------------------------------------------------

char* encode_2(char* dst, const u8* src, u32 n) {
  for (u32 i = 0; i < n; i++)
    for (int b = 7; b >= 0; b--) *dst++ = static_cast<char>('0' + ((src[i] >> b) & 1));
  return dst;
}

char* encode_16(char* dst, const u8* src, u32 n) {
  const char* pairs = tab().hex_pair;
  for (u32 i = 0; i < n; i++, dst += 2) std::memcpy(dst, pairs + 2 * src[i], 2);
  return dst;
}

char* encode_64(char* dst, const u8* src, u32 n) {
  u32 i = 0;
  for (; i + 3 <= n; i += 3) {
    u32 v = u32{src[i]} << 16 | u32{src[i + 1]} << 8 | src[i + 2];
    dst[0] = b64_alphabet[v >> 18];
    dst[1] = b64_alphabet[(v >> 12) & 63];
    dst[2] = b64_alphabet[(v >> 6) & 63];
    dst[3] = b64_alphabet[v & 63];
    dst += 4;
  }
  if (n - i == 1) {
    u32 v = u32{src[i]} << 16;
    *dst++ = b64_alphabet[v >> 18];
    *dst++ = b64_alphabet[(v >> 12) & 63];
    *dst++ = '=';
    *dst++ = '=';
  } else if (n - i == 2) {
    u32 v = u32{src[i]} << 16 | u32{src[i + 1]} << 8;
    *dst++ = b64_alphabet[v >> 18];
    *dst++ = b64_alphabet[(v >> 12) & 63];
    *dst++ = b64_alphabet[(v >> 6) & 63];
    *dst++ = '=';
  }
  return dst;
}

char* encode_58(char* dst, const u8* src, u32 n) {
  u32 zeros = 0;
  while (zeros < n && src[zeros] == 0) zeros++;
  for (u32 i = 0; i < zeros; i++) *dst++ = '1';
  // Base-58 digits, least significant first: each byte multiplies the number by 256.
  std::vector<u8> digits;
  digits.reserve((u64{n - zeros} * 138) / 100 + 1);
  for (u32 i = zeros; i < n; i++) {
    u32 carry = src[i];
    for (u8& d : digits) {
      carry += u32{d} << 8;
      d = static_cast<u8>(carry % 58);
      carry /= 58;
    }
    while (carry) {
      digits.push_back(static_cast<u8>(carry % 58));
      carry /= 58;
    }
  }
  for (size_t k = digits.size(); k-- > 0;) *dst++ = b58_alphabet[digits[k]];
  return dst;
}

char* encode(i32 base, char* dst, const u8* src, u32 n) {
  switch (base) {
    case 2: return encode_2(dst, src, n);
    case 16: return encode_16(dst, src, n);
    case 58: return encode_58(dst, src, n);
    default: return encode_64(dst, src, n);
  }
}

// ---- Decoders -------------------------------------------------------------------------------

bool decode_2(const void* chars, u32 count, u32 unit, std::vector<u8>& out) {
  out.clear();
  out.reserve(count / 8);
  u32 acc = 0, bits = 0;
  bool ok = walk_unit(tab().bin, chars, count, unit, [&](u8 v) {
    acc = acc << 1 | v;
    if (++bits == 8) {
      out.push_back(static_cast<u8>(acc));
      acc = bits = 0;
    }
    return true;
  });
  return ok && bits == 0;  // a partial byte at the end is invalid
}

bool decode_16(const void* chars, u32 count, u32 unit, std::vector<u8>& out) {
  out.clear();
  u32 acc = 0;
  bool half = false;
  if (unit == 1) {
    // The walk below for a text of bytes, written into room sized once: every two digits
    // make one byte, so there are never more than count / 2.
    const u8* p = static_cast<const u8*>(chars);
    const u8* table = tab().hex;
    const u8* byte_table = tab().hex_byte;
    out.resize(count / 2);
    u8* o = out.data();
    u64 k = 0;
    bool ok = true;
    for (u64 i = 0; i < count; i++) {
      if (!half) {
        // Two digits in a row, as nearly all of such a text is: a byte at a time.
        while (i + 1 < count) {
          u8 a = byte_table[p[i]], b = byte_table[p[i + 1]];
          if ((a | b) >= 16) break;
          o[k++] = static_cast<u8>(a << 4 | b);
          i += 2;
        }
        if (i >= count) break;
      }
      u32 c = p[i];
      u8 v = c > 127 ? BAD : table[c];
      if (v < 16) [[likely]] {
        if (half) o[k++] = static_cast<u8>(acc << 4 | v);
        else acc = v;
        half = !half;
      } else if (v == COMMENT) {
        while (i + 1 < count && p[i + 1] != '\n') i++;
      } else if (v != SKIP) {
        ok = false;
        break;
      }
    }
    out.resize(k);
    return ok;  // a trailing single digit is dropped
  }
  out.reserve(count / 2);
  bool ok = walk_unit(tab().hex, chars, count, unit, [&](u8 v) {
    if (half) out.push_back(static_cast<u8>(acc << 4 | v));
    else acc = v;
    half = !half;
    return true;
  });
  return ok;  // a trailing single digit is dropped
}

bool decode_64(const void* chars, u32 count, u32 unit, std::vector<u8>& out) {
  out.clear();
  out.reserve((u64{count} + 3) * 3 / 4);
  u32 acc = 0, pending = 0;
  bool padded = false;
  bool ok = walk_unit(tab().b64, chars, count, unit, [&](u8 v) {
    if (v == PAD) {
      padded = true;
      return false;  // "=" ends the text; what follows is ignored
    }
    acc = acc << 6 | v;
    if (++pending == 4) {
      out.push_back(static_cast<u8>(acc >> 16));
      out.push_back(static_cast<u8>(acc >> 8));
      out.push_back(static_cast<u8>(acc));
      acc = pending = 0;
    }
    return true;
  });
  if (!ok) return false;
  // Two or three characters left over give one or two bytes, with or without padding;
  // a single one, or padding after a whole group, cannot stand for any byte.
  if (pending == 1 || (padded && pending == 0)) return false;
  if (pending == 2) out.push_back(static_cast<u8>(acc >> 4));
  if (pending == 3) {
    out.push_back(static_cast<u8>(acc >> 10));
    out.push_back(static_cast<u8>(acc >> 2));
  }
  return true;
}

bool decode_58(const void* chars, u32 count, u32 unit, std::vector<u8>& out) {
  std::vector<u8> digits;
  digits.reserve(count);
  bool ok = walk_unit(tab().b58, chars, count, unit, [&](u8 v) {
    digits.push_back(v);
    return true;
  });
  out.clear();
  if (!ok) return false;
  size_t ones = 0;
  while (ones < digits.size() && digits[ones] == 0) ones++;
  // Base-256 bytes, least significant first: each digit multiplies the number by 58.
  std::vector<u8> bytes;
  bytes.reserve((digits.size() - ones) * 733 / 1000 + 1);
  for (size_t i = ones; i < digits.size(); i++) {
    u32 carry = digits[i];
    for (u8& b : bytes) {
      carry += u32{b} * 58;
      b = static_cast<u8>(carry);
      carry >>= 8;
    }
    while (carry) {
      bytes.push_back(static_cast<u8>(carry));
      carry >>= 8;
    }
  }
  out.assign(ones, 0);
  out.insert(out.end(), bytes.rbegin(), bytes.rend());
  return true;
}

bool decode(i32 base, const void* chars, u32 count, u32 unit, std::vector<u8>& out) {
  switch (base) {
    case 2: return decode_2(chars, count, unit, out);
    case 16: return decode_16(chars, count, unit, out);
    case 58: return decode_58(chars, count, unit, out);
    case 64: return decode_64(chars, count, unit, out);
    default: out.clear(); return false;
  }
}

}  // namespace vyr::base_n
