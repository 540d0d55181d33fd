// The LZ bit-stream codec: a bounded decoder that trusts nothing in the block, and the greedy
// compressor with its 3-byte head table and 4-byte hash chains. Keeps no state between calls.
#include "runtime/codecs/lz.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "runtime/codecs/bit_writer.h"
#include "runtime/memory.h"

namespace vyr::lz {

namespace {

u32 read32(const u8* p) {
  return p[0] | static_cast<u32>(p[1]) << 8 | static_cast<u32>(p[2]) << 16 |
         static_cast<u32>(p[3]) << 24;
}

void write32(u8* p, u32 v) {
  p[0] = static_cast<u8>(v);
  p[1] = static_cast<u8>(v >> 8);
  p[2] = static_cast<u8>(v >> 16);
  p[3] = static_cast<u8>(v >> 24);
}

// A match of 566 bytes takes at least 22 bits (a match bit, 14 bits of length, 7 of
// distance), so a payload byte gives at most 566 * 8 / 22 < 206 bytes.
constexpr u64 MAX_BYTES_PER_PAYLOAD_BYTE = 206;

// LSB-first reader over [p, end). Bits above `count` in `bits` are either zero or the
// bytes that follow p, so peeking a few bits past the count never invents data: every
// field is checked against the count before it is taken.
struct bit_reader {
  const u8* p;
  const u8* end;
  u64 bits = 0;
  u32 count = 0;

  void refill() {
    if (end - p >= 8) {
      u64 w;
      std::memcpy(&w, p, 8);
      bits |= w << count;
      p += (63 - count) >> 3;
      count |= 56;
    } else {
      while (count <= 56 && p < end) {
        bits |= static_cast<u64>(*p++) << count;
        count += 8;
      }
    }
  }
  u32 take(u32 n) {
    u32 v = static_cast<u32>(bits & ((u64(1) << n) - 1));
    bits >>= n;
    count -= n;
    return v;
  }
  // The reader's next whole byte: unread whole bytes go back, the padding bits are dropped.
  const u8* byte_position() const { return p - (count >> 3); }
};

// Decodes one chunk of `length` bytes into out[0, length). False when corrupt.
bool decode_chunk(bit_reader& r, u8* out, u32 length) {
  u32 produced = 0;
  while (produced < length) {
    r.refill();
    if (r.count < 1) return false;
    if (r.take(1) == 0) {
      if (r.count < 8) return false;
      out[produced++] = static_cast<u8>(r.take(8));
      continue;
    }
    // Length class: up to five prefix bits, the position of the first 1 bit picks the class.
    u32 prefix = static_cast<u32>(r.bits & 31);
    u32 n;
    if (prefix == 0) {
      if (r.count < 14) return false;
      r.take(5);
      n = 52 + r.take(9);
    } else {
      static constexpr u8 extra[5] = {2, 2, 2, 3, 5};
      static constexpr u8 base[5] = {0, 4, 8, 12, 20};
      u32 zeros = static_cast<u32>(__builtin_ctz(prefix));
      if (r.count < zeros + 1 + extra[zeros]) return false;
      r.take(zeros + 1);
      n = base[zeros] + r.take(extra[zeros]);
    }
    if (r.count < 4) return false;
    u32 j = r.take(4) + 2;
    u32 b;
    if (j == 2) {
      if (r.count < 3) return false;
      b = r.take(3);
    } else {
      if (r.count < j) return false;
      b = (u32(1) << j) + r.take(j);
    }
    u32 match = n + 3;
    if (b >= produced || match > length - produced) return false;
    u32 distance = b + 1;
    u8* to = out + produced;
    const u8* from = to - distance;
    if (distance >= match) {
      std::memcpy(to, from, match);
    } else {
      for (u32 i = 0; i < match; i++) to[i] = from[i];  // overlapping: byte by byte
    }
    produced += match;
  }
  return true;
}

using codecs::bit_writer;

void put_match(bit_writer& w, u32 length, u32 distance) {
  w.put(1, 1);
  u32 n = length - 3;
  // Prefix bits are written in reading order: the first bit read is bit 0 of the value.
  if (n < 4) {
    w.put(1, 1);
    w.put(n, 2);
  } else if (n < 8) {
    w.put(2, 2);
    w.put(n - 4, 2);
  } else if (n < 12) {
    w.put(4, 3);
    w.put(n - 8, 2);
  } else if (n < 20) {
    w.put(8, 4);
    w.put(n - 12, 3);
  } else if (n < 52) {
    w.put(16, 5);
    w.put(n - 20, 5);
  } else {
    w.put(0, 5);
    w.put(n - 52, 9);
  }
  u32 b = distance - 1;
  if (b < 8) {
    w.put(0, 4);
    w.put(b, 3);
  } else {
    u32 j = 31 - static_cast<u32>(__builtin_clz(b));
    w.put(j - 2, 4);
    w.put(b - (u32(1) << j), j);
  }
}

constexpr u32 HEAD3 = 0x80000, HEAD4 = 0x100000, CHAIN = 0x40000;

u32 match_length(const u8* buf, u32 candidate, u32 pos, u32 max) {
  u32 n = 0;
  while (n < max && buf[candidate + n] == buf[pos + n]) n++;
  return n;
}

// Compresses one chunk of `length` bytes held in buf (followed by MAX_MATCH zero bytes).
// The tables hold positions plus one, so that 0 is empty and the head tables of a fresh
// call need no clearing (they come zeroed from calloc, untouched pages never faulted in).
void encode_chunk(bit_writer& w, const u8* buf, u32 length, u32* heads, u32* chain) {
  u32* head3 = heads;
  u32* head4 = heads + HEAD3;
  u32 h3 = 0, h4 = 0;
  for (u32 i = 0; i < 3; i++) h3 = (h3 * 128 + buf[i]) & (HEAD3 - 1);
  for (u32 i = 0; i < 4; i++) h4 = (h4 * 32 + buf[i]) & (HEAD4 - 1);
  u32 pos = 0;
  while (pos < length) {
    u32 max = length - pos < MAX_MATCH ? length - pos : MAX_MATCH;
    i64 window_start = static_cast<i64>(pos) - WINDOW;
    if (window_start < 0) window_start = 0;
    u32 best = 2, best_distance = WINDOW;
    i64 c = static_cast<i64>(head3[h3]) - 1;
    if (c >= window_start) {
      u32 n = match_length(buf, static_cast<u32>(c), pos, max);
      if (n > best) {
        best = n;
        best_distance = pos - static_cast<u32>(c);
      }
    }
    c = static_cast<i64>(head4[h4]) - 1;
    // A farther match must be longer by one byte for each factor of 8 in its distance
    // beyond the best one's, as its distance code costs more bits.
    for (u32 tries = 256; best < max && tries > 0 && c >= window_start; tries--) {
      u32 cand = static_cast<u32>(c);
      if (buf[cand + best] == buf[pos + best]) {
        u32 n = match_length(buf, cand, pos, max);
        u32 distance = pos - cand;
        u32 x = distance / 16, penalty = 0;
        while (x > best_distance) {
          x /= 8;
          penalty++;
        }
        if (n > best + penalty) {
          best = n;
          best_distance = distance;
        }
      }
      c = static_cast<i64>(chain[cand & (CHAIN - 1)]) - 1;
    }
    if (best == 3 && best_distance > 0x10000) best = 2;
    u32 consumed;
    if (best < 3) {
      w.put(0, 1);
      w.put(buf[pos], 8);
      consumed = 1;
    } else {
      put_match(w, best, best_distance);
      consumed = best;
    }
    for (u32 end = pos + consumed; pos < end; pos++) {
      head3[h3] = pos + 1;
      chain[pos & (CHAIN - 1)] = head4[h4];
      head4[h4] = pos + 1;
      h3 = (h3 * 128 + buf[pos + 3]) & (HEAD3 - 1);
      h4 = (h4 * 32 + buf[pos + 4]) & (HEAD4 - 1);
    }
  }
  w.flush();
}

}  // namespace

bool decompress(const u8* block, u64 length, codecs::byte_buffer& out) {
  out.clear();
  if (length < HEADER_SIZE) return false;
  u64 payload = read32(block);
  u64 size = read32(block + 4);
  if (payload > length - HEADER_SIZE) return false;
  if (size > SERIES_MAX_BYTES || size > payload * MAX_BYTES_PER_PAYLOAD_BYTE) return false;
  out.reserve(size > 0 ? size : 1);
  const u8* p = block + HEADER_SIZE;
  const u8* end = p + payload;
  u64 produced = 0;
  while (p < end) {
    if (end - p < 4) return false;
    u32 chunk = read32(p);
    p += 4;
    if (chunk < 1 || chunk > CHUNK_SIZE || chunk > size - produced) return false;
    bit_reader r{p, end};
    if (!decode_chunk(r, out.data() + produced, chunk)) return false;
    produced += chunk;
    p = r.byte_position();
  }
  if (produced != size) return false;
  out.set_size(size);
  return true;
}

i64 compress(const u8* source, u64 length, codecs::byte_buffer& out) {
  out.clear();
  if (length < MIN_INPUT || length > SERIES_MAX_BYTES) return -1;
  // Worst case: nine bits a byte, a 4-byte length and a padding byte a chunk.
  u64 chunks = (length + CHUNK_SIZE - 1) / CHUNK_SIZE;
  out.reserve(HEADER_SIZE + (length * 9 + 7) / 8 + chunks * 5 + 8);
  struct freer {
    void operator()(void* p) const { std::free(p); }
  };
  std::unique_ptr<u32[], freer> heads(static_cast<u32*>(std::calloc(HEAD3 + HEAD4, sizeof(u32))));
  std::unique_ptr<u32[], freer> chain(static_cast<u32*>(std::malloc(CHAIN * sizeof(u32))));
  if (!heads || !chain) fire_no_memory();
  std::vector<u8> buf((length < CHUNK_SIZE ? length : CHUNK_SIZE) + MAX_MATCH + 8);
  bit_writer w{out.data() + HEADER_SIZE};
  for (u64 at = 0; at < length; at += CHUNK_SIZE) {
    u32 chunk = static_cast<u32>(length - at < CHUNK_SIZE ? length - at : CHUNK_SIZE);
    std::memcpy(buf.data(), source + at, chunk);
    std::memset(buf.data() + chunk, 0, MAX_MATCH + 8);
    write32(w.out, chunk);
    w.out += 4;
    if (at > 0) std::memset(heads.get(), 0, (HEAD3 + HEAD4) * sizeof(u32));
    encode_chunk(w, buf.data(), chunk, heads.get(), chain.get());
  }
  u64 total = static_cast<u64>(w.out - out.data());
  if (total > length) {
    out.clear();
    return -1;
  }
  write32(out.data(), static_cast<u32>(total - HEADER_SIZE));
  write32(out.data() + 4, static_cast<u32>(length));
  out.set_size(total);
  return static_cast<i64>(total);
}

}  // namespace vyr::lz
