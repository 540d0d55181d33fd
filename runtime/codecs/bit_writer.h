// The LSB-first bit writer both compressors share: bits go out in the order they are put,
// the first bit put being bit 0 of the first byte. It writes into a buffer its caller sized
// for the worst case beforehand and never checks room.
#pragma once
#include "runtime/cell.h"

namespace vyr::codecs {

struct bit_writer {
  u8* out;
  u64 bits = 0;
  u32 count = 0;

  void put(u32 value, u32 n) {
    bits |= static_cast<u64>(value) << count;
    count += n;
    if (count >= 32) {
      u32 w = static_cast<u32>(bits);
      out[0] = static_cast<u8>(w);
      out[1] = static_cast<u8>(w >> 8);
      out[2] = static_cast<u8>(w >> 16);
      out[3] = static_cast<u8>(w >> 24);
      out += 4;
      bits >>= 32;
      count -= 32;
    }
  }
  // Pads with zero bits to the next byte boundary and writes what is left.
  void flush() {
    while (count > 0) {
      *out++ = static_cast<u8>(bits);
      bits >>= 8;
      count = count > 8 ? count - 8 : 0;
    }
    bits = 0;
  }
};

}  // namespace vyr::codecs
