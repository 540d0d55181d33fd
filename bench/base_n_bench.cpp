// Throughput of the base-N codecs over 1 MiB, and the cost of appending to a binary! one
// byte at a time at growing sizes (the fitted complexity should be linear).
#include <benchmark/benchmark.h>

#include <vector>

#include "boot/init.h"
#include "runtime/codecs/base_n.h"
#include "runtime/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/series.h"

using namespace vyr;

namespace {
const std::vector<u8>& data() {
  static std::vector<u8> d = [] {
    std::vector<u8> v(1 << 20);
    for (size_t i = 0; i < v.size(); i++) v[i] = static_cast<u8>(i * 131 + 7);
    return v;
  }();
  return d;
}

void BM_Encode(benchmark::State& st) {
  i32 base = i32(st.range(0));
  auto& d = data();
  u32 n = base == 58 ? 4096 : u32(d.size());  // base 58 is quadratic by nature
  std::vector<char> out(base_n::encoded_room(base, n));
  for (auto _ : st) benchmark::DoNotOptimize(base_n::encode(base, out.data(), d.data(), n));
  st.SetBytesProcessed(st.iterations() * i64(n));
}
BENCHMARK(BM_Encode)->Arg(2)->Arg(16)->Arg(58)->Arg(64);

void BM_Decode(benchmark::State& st) {
  i32 base = i32(st.range(0));
  auto& d = data();
  u32 n = base == 58 ? 4096 : u32(d.size());
  std::vector<char> text(base_n::encoded_room(base, n));
  char* end = base_n::encode(base, text.data(), d.data(), n);
  std::vector<u8> out;
  for (auto _ : st) {
    base_n::decode(base, text.data(), u32(end - text.data()), 1, out);
    benchmark::DoNotOptimize(out.data());
  }
  st.SetBytesProcessed(st.iterations() * i64(n));
}
BENCHMARK(BM_Decode)->Arg(2)->Arg(16)->Arg(58)->Arg(64);

void BM_BinaryAppendByte(benchmark::State& st) {
  boot::init_runtime();
  u32 n = u32(st.range(0));
  for (auto _ : st) {
    cell b{TYPE_UNSET, 0, 0, 0};
    collector::root_guard keep(&b);
    binary::make_at(&b, 0);
    u8 byte = 7;
    for (u32 i = 0; i < n; i++) binary::rs_append(&b, &byte, 1);
    benchmark::DoNotOptimize(series::node(&b));
  }
  st.SetComplexityN(n);
}
BENCHMARK(BM_BinaryAppendByte)->RangeMultiplier(2)->Range(1 << 18, 1 << 21)->Complexity(benchmark::oN);
}  // namespace
