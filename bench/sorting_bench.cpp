// Sorting speed on 16-byte records (cells) in random and nearly ordered order.
#include <benchmark/benchmark.h>

#include <random>
#include <utility>
#include <vector>

#include "runtime/sorting.h"

namespace {

struct rec {
  vyr::i32 key;
  vyr::u32 rest[3];
};

vyr::i32 by_key(const void* a, const void* b, uintptr_t, uintptr_t) {
  vyr::i32 x = static_cast<const rec*>(a)->key, y = static_cast<const rec*>(b)->key;
  return x < y ? -1 : x > y ? 1 : 0;
}

std::vector<rec> input(size_t n, bool nearly) {
  std::mt19937 rng(11);
  std::vector<rec> v(n);
  for (size_t i = 0; i < n; i++) v[i].key = nearly ? static_cast<vyr::i32>(i) : static_cast<vyr::i32>(rng());
  if (nearly)
    for (size_t k = 0; k < n / 100; k++) std::swap(v[rng() % n], v[rng() % n]);
  return v;
}

template <void (*Sort)(void*, vyr::u32, vyr::u32, uintptr_t, uintptr_t, vyr::sorting::compare_fn)>
void BM_Sort(benchmark::State& state) {
  auto base = input(static_cast<size_t>(state.range(0)), state.range(1) != 0);
  for (auto _ : state) {
    state.PauseTiming();
    auto v = base;
    state.ResumeTiming();
    Sort(v.data(), static_cast<vyr::u32>(v.size()), sizeof(rec), 0, 0, by_key);
    benchmark::DoNotOptimize(v.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Sort<vyr::sorting::merge_sort>)->Args({100000, 0})->Args({100000, 1})->ArgNames({"n", "nearly"});
BENCHMARK(BM_Sort<vyr::sorting::quick_sort>)->Args({100000, 0})->Args({100000, 1})->ArgNames({"n", "nearly"});

}  // namespace
