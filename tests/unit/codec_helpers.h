// Test data for the codecs: seeded random, repetitive and mixed byte strings, and an
// LSB-first bit packer for hand-built streams.
#pragma once
#include <string>
#include <vector>

#include "runtime/cell.h"

namespace vyr::test {

using bytes = std::vector<u8>;

inline bytes random_bytes(size_t n, u32 seed) {
  bytes b(n);
  u64 s = seed * 0x9E3779B97F4A7C15ull + 1;
  for (auto& x : b) {
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    x = static_cast<u8>(s >> 56);
  }
  return b;
}

// Words from a small vocabulary with numbers and stretches of noise: compresses like text
// with some binary in it, roughly 3:1.
inline bytes mixed_bytes(size_t n, u32 seed) {
  static const char* words[] = {"block", "series", "value ", "word", "compress", "\n", "the ",
                                "0x7FFF", "index ", "[", "]", ": ", "func", "  ", "string!"};
  bytes b;
  b.reserve(n + 16);
  u64 s = seed + 7;
  while (b.size() < n) {
    s = s * 6364136223846793005ull + 1442695040888963407ull;
    u32 r = static_cast<u32>(s >> 33);
    if (r % 17 == 0) {
      for (u32 i = 0; i < 1 + r % 13; i++) b.push_back(static_cast<u8>(r >> (i % 24)) ^ static_cast<u8>(i * 37));
    } else if (r % 5 == 0) {
      for (char c : std::to_string(r % 100000)) b.push_back(static_cast<u8>(c));
    } else {
      for (const char* w = words[r % 15]; *w; w++) b.push_back(static_cast<u8>(*w));
    }
  }
  b.resize(n);
  return b;
}

// Packs fields least significant bit first; `huffman` writes a code most significant bit
// first, as DEFLATE stores its codes.
struct bit_packer {
  bytes out;
  u32 count = 0;
  void put(u32 value, u32 n) {
    for (u32 i = 0; i < n; i++, count++) {
      if (count % 8 == 0) out.push_back(0);
      out.back() |= static_cast<u8>(((value >> i) & 1) << (count % 8));
    }
  }
  void huffman(u32 code, u32 n) {
    for (u32 i = n; i-- > 0;) put((code >> i) & 1, 1);
  }
};

}  // namespace vyr::test
