// Fuzz target for the LZ decoder: any block must be refused or expanded to exactly its
// declared size, never crash, hang or read outside the given length.
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/codecs/lz.h"
#include "runtime/fire.h"

using namespace vyr;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<u8> in(data, data + size);  // its own buffer: reads past it are caught
  codecs::byte_buffer out;
  try {
    if (!lz::decompress(in.data(), in.size(), out)) {
      if (out.size() != 0) __builtin_trap();
      return 0;
    }
    u32 declared;
    std::memcpy(&declared, in.data() + 4, 4);
    if (out.size() != declared) __builtin_trap();
  } catch (thrown&) {
  }
  return 0;
}
