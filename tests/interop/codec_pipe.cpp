// A filter over the codecs for the interop tests and for making fuzz seeds: `codec_pipe
// compress|decompress raw|zlib|gzip|lz` reads standard input and writes the result to
// standard output; a stream the codec refuses (or input LZ does not compress) exits with 1.
#include <cstdio>
#include <cstring>
#include <vector>

#include "runtime/codecs/deflate.h"
#include "runtime/codecs/lz.h"

using namespace vyr;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: codec_pipe compress|decompress raw|zlib|gzip|lz\n");
    return 2;
  }
  deflate::framing how = !std::strcmp(argv[2], "zlib") ? deflate::ZLIB
                         : !std::strcmp(argv[2], "gzip") ? deflate::GZIP
                                                         : deflate::RAW;
  std::vector<u8> in;
  u8 chunk[65536];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, stdin)) > 0;) in.insert(in.end(), chunk, chunk + n);
  codecs::byte_buffer out;
  bool compress = !std::strcmp(argv[1], "compress");
  if (!std::strcmp(argv[2], "lz")) {
    if (compress ? lz::compress(in.data(), in.size(), out) < 0 : !lz::decompress(in.data(), in.size(), out)) {
      std::fprintf(stderr, compress ? "not compressed\n" : "invalid data\n");
      return 1;
    }
  } else if (compress) {
    deflate::compress(in.data(), in.size(), how, out);
  } else if (!deflate::decompress(in.data(), in.size(), how, 0, out)) {
    std::fprintf(stderr, "invalid data\n");
    return 1;
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
