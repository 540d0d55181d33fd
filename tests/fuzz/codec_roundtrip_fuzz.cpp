// Fuzz target for round trips: any input compressed by either codec comes back unchanged,
// and zlib's own inflater reads our DEFLATE output in every framing as we do.
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "runtime/codecs/deflate.h"
#include "runtime/codecs/lz.h"

using namespace vyr;

namespace {

bool same(const codecs::byte_buffer& b, const uint8_t* data, size_t size) {
  return b.size() == size && (size == 0 || std::memcmp(b.data(), data, size) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const int window_bits[] = {-15, 15, 31};
  for (int f = 0; f < 3; f++) {
    auto how = static_cast<deflate::framing>(f);
    codecs::byte_buffer packed, back;
    deflate::compress(data, size, how, packed);
    if (!deflate::decompress(packed.data(), packed.size(), how, 0, back) || !same(back, data, size))
      __builtin_trap();
    std::vector<u8> theirs(size + 1);
    z_stream z{};
    inflateInit2(&z, window_bits[f]);
    z.next_in = packed.data();
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = theirs.data();
    z.avail_out = static_cast<uInt>(theirs.size());
    int r = inflate(&z, Z_FINISH);
    bool ok = r == Z_STREAM_END && z.avail_in == 0 && z.total_out == size &&
              std::memcmp(theirs.data(), data, size) == 0;
    inflateEnd(&z);
    if (!ok) __builtin_trap();
  }
  codecs::byte_buffer packed, back;
  i64 n = lz::compress(data, size, packed);
  if (n < 0) {
    if (size >= lz::MIN_INPUT && packed.size() != 0) __builtin_trap();
    return 0;
  }
  if (!lz::decompress(packed.data(), packed.size(), back) || !same(back, data, size)) __builtin_trap();
  return 0;
}
