// The codecs on 16 MiB of mixed data against zlib in the same binary: our compressor
// against compress2 level 6, the decompress native on a zlib stream (checks and the new
// binary! included) and LZ decompression against uncompress. Each reports its ratio
// (compressed / original) beside the speed.
#include <benchmark/benchmark.h>
#include <zlib.h>

#include <sys/mman.h>

#include <cstring>
#include <string>
#include <vector>

#include "boot/environment.h"
#include "boot/init.h"
#include "runtime/codecs/deflate.h"
#include "runtime/codecs/lz.h"

using namespace vyr;

namespace {

// Words and numbers with stretches of noise and repeats: zlib level 6 packs it to 43%.
const std::vector<u8>& mixed() {
  static std::vector<u8> d = [] {
    static const char* words[] = {"block ", "series", "value ", "word", "compress", "\n", "the ",
                                  "0x7FFF", "index ", "[", "]", ": ", "func", "  ", "string!"};
    std::vector<u8> b;
    const size_t n = 16u << 20;
    b.reserve(n + 4096);
    u64 s = 12345;
    while (b.size() < n) {
      s = s * 6364136223846793005ull + 1442695040888963407ull;
      u32 r = static_cast<u32>(s >> 33);
      if (r % 29 == 0) {
        for (u32 i = 0; i < 1 + r % 200; i++) b.push_back(static_cast<u8>((s >> (i % 56)) * 31 + i));
      } else if (r % 41 == 0 && b.size() > 5000) {
        size_t from = b.size() - 1 - r % 4000, len = 20 + r % 300;
        for (size_t i = 0; i < len; i++) b.push_back(b[from + i]);
      } else if (r % 5 == 0) {
        for (char c : std::to_string(r % 100000)) b.push_back(static_cast<u8>(c));
      } else {
        for (const char* w = words[r % 15]; *w; w++) b.push_back(static_cast<u8>(*w));
      }
    }
    b.resize(n);
    return b;
  }();
  return d;
}

const std::vector<u8>& zlib_level6() {
  static std::vector<u8> z = [] {
    auto& d = mixed();
    uLongf n = compressBound(d.size());
    std::vector<u8> out(n);
    compress2(out.data(), &n, d.data(), d.size(), 6);
    out.resize(n);
    return out;
  }();
  return z;
}

void report(benchmark::State& st, u64 packed) {
  st.SetBytesProcessed(st.iterations() * static_cast<i64>(mixed().size()));
  st.counters["ratio"] = static_cast<double>(packed) / static_cast<double>(mixed().size());
}

void BM_ZlibCompress2Level6(benchmark::State& st) {
  auto& d = mixed();
  std::vector<u8> out(compressBound(d.size()));
  uLongf n = 0;
  for (auto _ : st) {
    n = out.size();
    compress2(out.data(), &n, d.data(), d.size(), 6);
    benchmark::DoNotOptimize(out.data());
  }
  report(st, n);
}
BENCHMARK(BM_ZlibCompress2Level6)->Unit(benchmark::kMillisecond);

void BM_DeflateCompressZlib(benchmark::State& st) {
  auto& d = mixed();
  codecs::byte_buffer out;
  for (auto _ : st) {
    deflate::compress(d.data(), d.size(), deflate::ZLIB, out);
    benchmark::DoNotOptimize(out.data());
  }
  report(st, out.size());
}
BENCHMARK(BM_DeflateCompressZlib)->Unit(benchmark::kMillisecond);

void BM_ZlibUncompress(benchmark::State& st) {
  auto& d = mixed();
  auto& z = zlib_level6();
  std::vector<u8> out(d.size());
  for (auto _ : st) {
    uLongf n = out.size();
    if (uncompress(out.data(), &n, z.data(), z.size()) != Z_OK) st.SkipWithError("uncompress");
    benchmark::DoNotOptimize(out.data());
  }
  report(st, z.size());
}
BENCHMARK(BM_ZlibUncompress)->Unit(benchmark::kMillisecond);

// uncompress into new memory from the system each time, as the native's binary! is: the
// page faults of a fresh 16 MiB cost about as much as a fifth of the inflation.
void BM_ZlibUncompressFreshBuffer(benchmark::State& st) {
  auto& d = mixed();
  auto& z = zlib_level6();
  for (auto _ : st) {
    void* p = mmap(nullptr, d.size(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    uLongf n = d.size();
    if (uncompress(static_cast<u8*>(p), &n, z.data(), z.size()) != Z_OK) st.SkipWithError("uncompress");
    benchmark::DoNotOptimize(p);
    munmap(p, d.size());
  }
  report(st, z.size());
}
BENCHMARK(BM_ZlibUncompressFreshBuffer)->Unit(benchmark::kMillisecond);

// The decompress native itself on a binary! of the stream: inflation with the framing
// checks and the new binary! of the result (the call's own text is a few words).
void BM_DecompressNativeZlib(benchmark::State& st) {
  boot::init_runtime();
  boot::build_environment();
  static const char digits[] = "0123456789ABCDEF";
  std::string define = "packed: #{";
  for (u8 b : zlib_level6()) define += digits[b >> 4], define += digits[b & 15];
  define += "}";
  boot::do_source(define.data(), static_cast<u32>(define.size()), false, nullptr);
  const std::string call = "decompress packed 'zlib";
  for (auto _ : st) {
    cell r;
    boot::do_source(call.data(), static_cast<u32>(call.size()), false, &r);
    benchmark::DoNotOptimize(r);
  }
  report(st, zlib_level6().size());
}
BENCHMARK(BM_DecompressNativeZlib)->Unit(benchmark::kMillisecond);

void BM_LzDecompress(benchmark::State& st) {
  auto& d = mixed();
  static codecs::byte_buffer packed;
  if (packed.empty()) lz::compress(d.data(), d.size(), packed);
  codecs::byte_buffer out;
  for (auto _ : st) {
    if (!lz::decompress(packed.data(), packed.size(), out)) st.SkipWithError("lz");
    benchmark::DoNotOptimize(out.data());
  }
  report(st, packed.size());
}
BENCHMARK(BM_LzDecompress)->Unit(benchmark::kMillisecond);

}  // namespace
