// DEFLATE: the compressor (fixed Huffman codes, 1,024 x 4 position hash, greedy matches), the
// zlib and gzip writers, and the readers of all three framings over zlib's raw inflater.
// Every reader accepts exactly one complete stream and checks the framing's trailer.
#include "runtime/codecs/deflate.h"

#include <zlib.h>

#include <array>
#include <climits>
#include <cstring>

#include "runtime/checksum.h"
#include "runtime/codecs/bit_writer.h"
#include "runtime/memory.h"

namespace vyr::deflate {

namespace {

// ---- Fixed Huffman codes -----------------------------------------------------------------

// A code ready for the LSB-first bit writer: Huffman bits reversed, extra bits above them.
struct code {
  u32 bits;
  u32 count;
};

constexpr u32 reverse(u32 v, u32 n) {
  u32 r = 0;
  for (u32 i = 0; i < n; i++) r |= ((v >> i) & 1) << (n - 1 - i);
  return r;
}

constexpr code fixed_literal(u32 symbol) {
  if (symbol < 144) return {reverse(0x30 + symbol, 8), 8};
  if (symbol < 256) return {reverse(0x190 + symbol - 144, 9), 9};
  if (symbol < 280) return {reverse(symbol - 256, 7), 7};
  return {reverse(0xC0 + symbol - 280, 8), 8};
}

struct tables {
  std::array<code, 256> literal{};
  std::array<code, 259> length{};    // by match length 3-258: symbol code and extra bits
  std::array<code, 30> distance{};   // by distance symbol: the 5-bit code only
  std::array<u16, 30> distance_base{};
  std::array<u8, 30> distance_extra{};
};

constexpr tables make_tables() {
  tables t{};
  for (u32 s = 0; s < 256; s++) t.literal[s] = fixed_literal(s);
  constexpr u16 length_base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                   31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  constexpr u8 length_extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                   2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  for (u32 s = 0; s < 29; s++) {
    u32 last = s == 28 ? 258 : length_base[s + 1] - 1;
    if (s == 27) last = 257;  // 258 has its own symbol
    for (u32 len = length_base[s]; len <= last; len++) {
      code c = fixed_literal(257 + s);
      t.length[len] = {c.bits | (len - length_base[s]) << c.count, c.count + length_extra[s]};
    }
  }
  for (u32 s = 0; s < 30; s++) {
    t.distance[s] = {reverse(s, 5), 5};
    u32 extra = s < 4 ? 0 : s / 2 - 1;
    t.distance_extra[s] = static_cast<u8>(extra);
    t.distance_base[s] = static_cast<u16>(s < 4 ? s + 1 : ((2 + (s & 1)) << extra) + 1);
  }
  return t;
}
constexpr tables fixed = make_tables();

// The distance code of a distance 1-32,768, extra bits included.
inline code distance_code(u32 distance) {
  u32 b = distance - 1;
  u32 s;
  if (b < 4) {
    s = b;
  } else {
    u32 j = 31 - static_cast<u32>(__builtin_clz(b));
    s = 2 * j + ((b >> (j - 1)) & 1);
  }
  const code& c = fixed.distance[s];
  return {c.bits | (distance - fixed.distance_base[s]) << 5, 5u + fixed.distance_extra[s]};
}

// ---- Compressor ----------------------------------------------------------------------------

constexpr u32 BUCKETS = 1024, SLOTS = 4, EMPTY = 0xFFFFFFFF;
constexpr u32 MAX_DISTANCE = 32767, MAX_LENGTH = 258;

inline u32 bucket_of(u32 x) {
  x ^= x >> 16;
  x *= 0x7feb352du;
  x ^= x >> 15;
  x *= 0x846ca68bu;
  x ^= x >> 16;
  return x & (BUCKETS - 1);
}

// The three bytes at p as a 24-bit value; bytes past the input count as zeros.
inline u32 triple(const u8* in, u64 length, u64 p) {
  if (p + 3 <= length) return static_cast<u32>(in[p]) << 16 | static_cast<u32>(in[p + 1]) << 8 | in[p + 2];
  u32 x = 0;
  for (u64 i = 0; i < 3; i++) x = x << 8 | (p + i < length ? in[p + i] : 0);
  return x;
}

using codecs::bit_writer;

inline u32 common_length(const u8* a, const u8* b, u32 max) {
  u32 n = 0;
  while (n + 8 <= max) {
    u64 x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) return n + static_cast<u32>(__builtin_ctzll(x ^ y)) / 8;
    n += 8;
  }
  while (n < max && a[n] == b[n]) n++;
  return n;
}

// Writes one final fixed-Huffman block at w; the caller reserved the worst case.
void write_stream(const u8* in, u64 length, bit_writer& w) {
  u32 table[BUCKETS * SLOTS];
  std::memset(table, 0xFF, sizeof table);
  w.put(1 | 1 << 1, 3);  // final block, type 1
  u64 p = 0;
  u32 x = triple(in, length, 0);
  while (p < length) {
    u64 start = p;
    u32 bucket = bucket_of(x);
    u32 best = 0, distance = 0;
    if (p >= 3 && length - p >= 3) {
      const u32* slots = table + bucket * SLOTS;
      for (u32 s = 0; s < SLOTS; s++) {
        u32 c = slots[s];
        if (c == EMPTY || c >= p || p - c > MAX_DISTANCE) continue;
        if (in[c] != in[p] || in[c + 1] != in[p + 1] || in[c + 2] != in[p + 2]) continue;
        u64 left = length - p;
        u32 max = left < MAX_LENGTH ? static_cast<u32>(left) : MAX_LENGTH;
        best = 3 + common_length(in + c + 3, in + p + 3, max - 3);
        distance = static_cast<u32>(p - c);
        break;
      }
    }
    if (best) {
      const code& l = fixed.length[best];
      code d = distance_code(distance);
      w.put(l.bits | d.bits << l.count, l.count + d.count);
      p += best;
    } else {
      const code& l = fixed.literal[in[p]];
      w.put(l.bits, l.count);
      p++;
    }
    x = triple(in, length, p);
    // A token with fewer than three bytes left can never be matched: it is not entered.
    if (start + 3 <= length) table[bucket * SLOTS + (((x >> 14) - x) & 3)] = static_cast<u32>(start);
  }
  w.put(0, 7);  // end of block
  w.flush();
}

// ---- Framing helpers ---------------------------------------------------------------------------

void put_be32(u8* p, u32 v) {
  p[0] = static_cast<u8>(v >> 24);
  p[1] = static_cast<u8>(v >> 16);
  p[2] = static_cast<u8>(v >> 8);
  p[3] = static_cast<u8>(v);
}
void put_le32(u8* p, u32 v) {
  p[0] = static_cast<u8>(v);
  p[1] = static_cast<u8>(v >> 8);
  p[2] = static_cast<u8>(v >> 16);
  p[3] = static_cast<u8>(v >> 24);
}
u32 get_be32(const u8* p) {
  return static_cast<u32>(p[0]) << 24 | static_cast<u32>(p[1]) << 16 | static_cast<u32>(p[2]) << 8 | p[3];
}
u32 get_le32(const u8* p) {
  return p[0] | static_cast<u32>(p[1]) << 8 | static_cast<u32>(p[2]) << 16 | static_cast<u32>(p[3]) << 24;
}

// ---- Inflater ------------------------------------------------------------------------------

struct inflater {
  z_stream z{};
  inflater() {
    if (inflateInit2(&z, -15) != Z_OK) fire_no_memory();
  }
  ~inflater() { inflateEnd(&z); }
};

// Inflates one raw stream that must fill [in, in + length) exactly. False when it does not.
bool inflate_raw(const u8* in, u64 length, u64 first_capacity, codecs::byte_buffer& out) {
  u64 cap = first_capacity;
  if (cap > length * MAX_EXPANSION) cap = length * MAX_EXPANSION;
  if (cap > SERIES_MAX_BYTES) cap = SERIES_MAX_BYTES;
  if (cap < 64) cap = 64;
  out.reserve(cap);
  inflater f;
  z_stream& z = f.z;
  const u8* next = in;
  u64 left = length;
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(cap);
  for (;;) {
    if (z.avail_in == 0 && left > 0) {
      u32 n = left < (1u << 30) ? static_cast<u32>(left) : 1u << 30;
      z.next_in = const_cast<Bytef*>(next);
      z.avail_in = n;
      next += n;
      left -= n;
    }
    int r = inflate(&z, left == 0 ? Z_FINISH : Z_NO_FLUSH);
    if (r == Z_STREAM_END) break;
    if (r == Z_MEM_ERROR) fire_no_memory();
    if (r != Z_OK && r != Z_BUF_ERROR) return false;
    if (z.avail_out == 0) {
      // More output than the capacity: grow geometrically up to the series limit.
      u64 produced = static_cast<u64>(z.next_out - out.data());
      if (cap >= SERIES_MAX_BYTES) fire_no_memory();
      cap = cap * 2 < SERIES_MAX_BYTES ? cap * 2 : SERIES_MAX_BYTES;
      out.reserve(cap);
      z.next_out = out.data() + produced;
      z.avail_out = static_cast<uInt>(cap - produced);
      continue;
    }
    if (z.avail_in == 0 && left == 0) return false;  // the input ended inside the stream
    if (r == Z_BUF_ERROR) return false;
  }
  // The final block's end code must be the stream's last: no bytes may follow it.
  if (z.avail_in != 0 || left != 0) return false;
  out.set_size(static_cast<u64>(z.next_out - out.data()));
  return true;
}

bool zlib_header_ok(u8 cmf, u8 flg) {
  return (cmf * 256u + flg) % 31 == 0 && (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && !(flg & 0x20);
}

constexpr u8 FHCRC = 2, FEXTRA = 4, FNAME = 8, FCOMMENT = 16;

// The length of a gzip member's header within the first `limit` bytes, or 0 when the
// header is malformed, does not fit or fails its own CRC.
u64 gzip_header_length(const u8* in, u64 limit) {
  if (limit < 10 || in[0] != 0x1F || in[1] != 0x8B || in[2] != 8 || (in[3] & 0xE0)) return 0;
  u8 flags = in[3];
  u64 p = 10;
  if (flags & FEXTRA) {
    if (limit - p < 2) return 0;
    u64 n = in[p] | static_cast<u32>(in[p + 1]) << 8;
    p += 2;
    if (limit - p < n) return 0;
    p += n;
  }
  for (u8 flag : {FNAME, FCOMMENT}) {
    if (!(flags & flag)) continue;
    const void* nul = std::memchr(in + p, 0, limit - p);
    if (!nul) return 0;
    p = static_cast<u64>(static_cast<const u8*>(nul) - in) + 1;
  }
  if (flags & FHCRC) {
    if (limit - p < 2) return 0;
    u32 crc = checksum::crc32(in, static_cast<u32>(p)) & 0xFFFF;
    if (crc != (in[p] | static_cast<u32>(in[p + 1]) << 8)) return 0;
    p += 2;
  }
  return p;
}

}  // namespace

void compress(const u8* input, u64 length, framing how, codecs::byte_buffer& out) {
  if (length > SERIES_MAX_BYTES) fire_no_memory();
  u64 head = how == ZLIB ? 2 : how == GZIP ? 10 : 0;
  u64 tail = how == ZLIB ? 4 : how == GZIP ? 8 : 0;
  // Nine bits a literal at worst, the block header, the end code, the padding, and room for
  // the writer's last 4-byte store.
  u64 stream_max = (length * 9 + 3 + 7 + 7) / 8;
  out.clear();
  out.reserve(head + stream_max + tail + 8);
  u8* o = out.data();
  if (how == ZLIB) {
    o[0] = 0x78;
    o[1] = 0x01;
  } else if (how == GZIP) {
    static constexpr u8 header[10] = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0, 4, 4};
    std::memcpy(o, header, 10);
  }
  bit_writer w{o + head};
  write_stream(input, length, w);
  u8* end = w.out;
  u32 n = static_cast<u32>(length);
  if (how == ZLIB) {
    put_be32(end, checksum::adler32(input, n));
  } else if (how == GZIP) {
    put_le32(end, checksum::crc32(input, n));
    put_le32(end + 4, n);
  }
  out.set_size(static_cast<u64>(end - o) + tail);
}

bool decompress(const u8* input, u64 length, framing how, u64 size_hint, codecs::byte_buffer& out) {
  out.clear();
  // Without a hint the first guess is four times the input, about what text compresses to.
  u64 guess = size_hint ? size_hint : length * 4;
  bool ok = false;
  if (how == RAW) {
    ok = inflate_raw(input, length, guess, out);
  } else if (how == ZLIB) {
    ok = length >= 6 && zlib_header_ok(input[0], input[1]) &&
         inflate_raw(input + 2, length - 6, guess, out) &&
         checksum::adler32(out.data(), static_cast<u32>(out.size())) == get_be32(input + length - 4);
  } else if (length >= 18) {
    u64 header = gzip_header_length(input, length - 8);
    const u8* trailer = input + length - 8;
    u32 isize = get_le32(trailer + 4);
    ok = header != 0 && inflate_raw(input + header, length - 8 - header, isize, out) &&
         static_cast<u32>(out.size()) == isize &&
         checksum::crc32(out.data(), static_cast<u32>(out.size())) == get_le32(trailer);
  }
  if (!ok) out.clear();
  return ok;
}

}  // namespace vyr::deflate
