// Throughput of the checksums and digests over 64 KiB, HMAC on short messages, and the
// random draws.
#include <benchmark/benchmark.h>

#include <vector>

#include "boot/init.h"
#include "runtime/checksum.h"
#include "runtime/random.h"

using namespace vyr;

namespace {
const std::vector<u8>& data() {
  static std::vector<u8> d = [] {
    std::vector<u8> v(65536);
    for (size_t i = 0; i < v.size(); i++) v[i] = static_cast<u8>(i * 131 + 7);
    return v;
  }();
  return d;
}

template <u32 (*F)(const u8*, u32)> void BM_Sum(benchmark::State& st) {
  boot::init_runtime();
  auto& d = data();
  for (auto _ : st) benchmark::DoNotOptimize(F(d.data(), u32(d.size())));
  st.SetBytesProcessed(st.iterations() * i64(d.size()));
}
BENCHMARK(BM_Sum<checksum::crc32>)->Name("BM_Crc32");
BENCHMARK(BM_Sum<checksum::adler32>)->Name("BM_Adler32");
BENCHMARK(BM_Sum<checksum::tcp>)->Name("BM_Tcp");

void BM_Digest(benchmark::State& st) {
  boot::init_runtime();
  auto& d = data();
  i32 code = i32(st.range(0));
  for (auto _ : st) benchmark::DoNotOptimize(checksum::digest(d.data(), u32(d.size()), code));
  st.SetBytesProcessed(st.iterations() * i64(d.size()));
}
BENCHMARK(BM_Digest)->DenseRange(checksum::CODE_MD5, checksum::CODE_SHA512);

void BM_HmacShort(benchmark::State& st) {
  boot::init_runtime();
  const u8 key[] = "a secret key";
  auto& d = data();
  for (auto _ : st) benchmark::DoNotOptimize(checksum::hmac(d.data(), 64, key, 12, checksum::CODE_SHA256));
  st.SetItemsProcessed(st.iterations());
}
BENCHMARK(BM_HmacShort);

void BM_RandomNext(benchmark::State& st) {
  boot::init_runtime();
  for (auto _ : st) benchmark::DoNotOptimize(random::next());
  st.SetItemsProcessed(st.iterations());
}
BENCHMARK(BM_RandomNext);

void BM_RandomIntInRange(benchmark::State& st) {
  boot::init_runtime();
  for (auto _ : st) benchmark::DoNotOptimize(random::int_in_range(st.range(0) != 0, 1000));
  st.SetItemsProcessed(st.iterations());
}
BENCHMARK(BM_RandomIntInRange)->Arg(0)->Arg(1);
}  // namespace
