// Float text speed: molding doubles of different shapes and reading literals back.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "runtime/dtoa.h"

namespace {

std::vector<double> sample_doubles(bool short_literals) {
  std::mt19937_64 rng(7);
  std::vector<double> v;
  for (int i = 0; i < 4096; i++) {
    if (short_literals) {
      v.push_back(static_cast<double>(rng() % 100000) / 100.0);
    } else {
      vyr::u64 bits = rng() & 0x7FEFFFFFFFFFFFFFull;
      double d;
      std::memcpy(&d, &bits, sizeof d);
      v.push_back(d);
    }
  }
  return v;
}

void BM_FormFloat(benchmark::State& state) {
  auto values = sample_doubles(state.range(0) != 0);
  size_t i = 0;
  for (auto _ : state) {
    std::string t = vyr::dtoa::form_float(values[i++ & 4095], 0, true);
    benchmark::DoNotOptimize(t);
  }
}
BENCHMARK(BM_FormFloat)->Arg(1)->Arg(0)->ArgNames({"short"});

void BM_FormFloatPrecision22(benchmark::State& state) {
  auto values = sample_doubles(false);
  size_t i = 0;
  for (auto _ : state) {
    std::string t = vyr::dtoa::form_float(values[i++ & 4095], 22, true);
    benchmark::DoNotOptimize(t);
  }
}
BENCHMARK(BM_FormFloatPrecision22);

void BM_StringToFloat(benchmark::State& state) {
  std::vector<std::string> texts;
  for (double d : sample_doubles(state.range(0) != 0)) texts.push_back(vyr::dtoa::form_float(d, 0, true));
  size_t i = 0;
  for (auto _ : state) {
    const std::string& t = texts[i++ & 4095];
    double d = vyr::dtoa::string_to_float(t.data(), t.data() + t.size(), 0, nullptr);
    benchmark::DoNotOptimize(d);
  }
}
BENCHMARK(BM_StringToFloat)->Arg(1)->Arg(0)->ArgNames({"short"});

}  // namespace
