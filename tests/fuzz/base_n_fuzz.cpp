// Fuzz target for the base-N decoders: any text of 1-, 2- or 4-byte characters, in every
// base, must decode or be refused without reading outside the text; whatever decodes must
// encode again to text that decodes to the same bytes.
#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/codecs/base_n.h"

using namespace vyr;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 8192) return 0;
  static const i32 bases[4] = {2, 16, 58, 64};
  i32 base = bases[data[0] & 3];
  u32 unit = (data[0] >> 2) & 3;
  unit = unit == 0 ? 1 : unit == 1 ? 2 : 4;
  size_t count = (size - 1) / unit;
  // The characters in a buffer of exactly their size, so that an overread is caught.
  std::vector<u8> chars(data + 1, data + 1 + count * unit);
  std::vector<u8> out;
  bool ok = base_n::decode(base, chars.data(), static_cast<u32>(count), unit, out);
  if (!ok) return 0;
  if (base == 58 && out.size() > 600) return 0;  // quadratic both ways: keep runs short
  std::vector<char> text(base_n::encoded_room(base, out.size()));
  char* end = base_n::encode(base, text.data(), out.data(), static_cast<u32>(out.size()));
  if (end < text.data() || static_cast<size_t>(end - text.data()) > text.size()) __builtin_trap();
  std::vector<u8> again;
  if (!base_n::decode(base, text.data(), static_cast<u32>(end - text.data()), 1, again))
    __builtin_trap();
  if (again != out) __builtin_trap();
  return 0;
}
