// The interpreter's hot paths: calls with argument gathering (recursive fib), a counting
// loop (word lookup, set-words, infix operators) and return-heavy calls.
#include <benchmark/benchmark.h>

#include <string>

#include "boot/environment.h"
#include "boot/init.h"
#include "runtime/collector.h"

namespace {

void setup() {
  vyr::boot::init_runtime();
  vyr::boot::build_environment();
}

void run(benchmark::State& state, const std::string& define, const std::string& call) {
  setup();
  vyr::boot::do_source(define.data(), vyr::u32(define.size()), false, nullptr);
  for (auto _ : state) {
    vyr::cell r;
    vyr::boot::do_source(call.data(), vyr::u32(call.size()), false, &r);
    benchmark::DoNotOptimize(r);
  }
}

void BM_Fib20(benchmark::State& state) {
  run(state, "fib: func [n] [either n < 2 [n] [(fib n - 1) + (fib n - 2)]]", "fib 20");
}
BENCHMARK(BM_Fib20);

void BM_FibReturn20(benchmark::State& state) {
  run(state, "fibr: func [n] [if n < 2 [return n] return (fibr n - 1) + (fibr n - 2)]", "fibr 20");
}
BENCHMARK(BM_FibReturn20);

void BM_While100k(benchmark::State& state) {
  run(state, "", "i: 0 while [i < 100000] [i: i + 1]");
}
BENCHMARK(BM_While100k);

}  // namespace
