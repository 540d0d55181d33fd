// Allocation, growth and collection of many small series; collection cost at two sizes
// of live data (it should grow linearly with what is live).
#include <benchmark/benchmark.h>

#include "boot/init.h"
#include "runtime/collector.h"
#include "runtime/memory.h"
#include "runtime/datatypes/series.h"

using namespace vyr;

namespace {
void setup() { boot::init_runtime(); }

void BM_AllocSmallSeries(benchmark::State& st) {
  setup();
  for (auto _ : st) {
    for (int i = 0; i < 1000; i++) benchmark::DoNotOptimize(memory::alloc_bytes(24));
  }
  st.SetItemsProcessed(st.iterations() * 1000);
}
BENCHMARK(BM_AllocSmallSeries);

void BM_GrowSeries(benchmark::State& st) {
  setup();
  for (auto _ : st) {
    u32 node = memory::alloc_bytes(16);
    collector::node_guard g(&node);
    series_buffer* b = buffer_of(node);
    for (int i = 0; i < 4096; i++) *memory::alloc_tail_bytes(b, 1) = 'x';
  }
}
BENCHMARK(BM_GrowSeries);

// Builds a block of `n` small strings, then times full collections with it live.
void BM_CollectLive(benchmark::State& st) {
  setup();
  u32 n = static_cast<u32>(st.range(0));
  cell blk{TYPE_BLOCK, 0, memory::alloc_cells(n), 0};
  collector::root_guard g(&blk);
  for (u32 i = 0; i < n; i++) {
    u32 s = memory::alloc_bytes(16);
    series_buffer* b = buffer_of(series::node(&blk));
    *memory::alloc_tail_cell(b) = cell{TYPE_STRING, 0, s, 0};
  }
  for (auto _ : st) collector::do_cycle();
  st.SetComplexityN(n);
}
BENCHMARK(BM_CollectLive)->Arg(10000)->Arg(100000)->Complexity(benchmark::oN);
}  // namespace
