// Fuzz target for the inflater in its three framings: any bytes must be refused or inflated,
// never crash or read outside the input; whatever inflates must compress and inflate back.
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/codecs/deflate.h"
#include "runtime/fire.h"

using namespace vyr;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  deflate::framing how = static_cast<deflate::framing>(data[0] % 3);
  u64 hint = data[1] < 128 ? 0 : u64(data[1]) << (data[1] & 15);
  std::vector<u8> in(data + 2, data + size);  // its own buffer: reads past it are caught
  codecs::byte_buffer out;
  try {
    if (!deflate::decompress(in.data(), in.size(), how, hint, out)) {
      if (out.size() != 0) __builtin_trap();
      return 0;
    }
    codecs::byte_buffer packed, back;
    deflate::compress(out.data(), out.size(), how, packed);
    if (!deflate::decompress(packed.data(), packed.size(), how, 0, back)) __builtin_trap();
    if (back.size() != out.size() || (out.size() && std::memcmp(back.data(), out.data(), out.size())))
      __builtin_trap();
  } catch (thrown&) {
  }
  return 0;
}
