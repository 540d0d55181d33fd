// Hashing and interning: MurmurHash3 over short and long keys, symbol interning of new and
// known names, context word lookup, and hash! lookups of integers.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "boot/init.h"
#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/hash.h"
#include "runtime/datatypes/map.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/series.h"
#include "runtime/hashtable.h"

using namespace vyr;

static void BM_Murmur3(benchmark::State& state) {
  std::string data(size_t(state.range(0)), 'x');
  for (auto _ : state) benchmark::DoNotOptimize(hashtable::murmur3_32(data.data(), u32(data.size())));
  state.SetBytesProcessed(i64(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Murmur3)->Arg(8)->Arg(64)->Arg(4096);

static void BM_InternKnown(benchmark::State& state) {
  boot::init_runtime();
  std::vector<std::string> names;
  for (int i = 0; i < 1000; i++) names.push_back("known-name-" + std::to_string(i));
  for (auto& n : names) symbol::make(n.c_str());
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(symbol::make(names[i++ % names.size()].c_str()));
}
BENCHMARK(BM_InternKnown);

static void BM_InternNew(benchmark::State& state) {
  boot::init_runtime();
  static u64 serial = 0;
  std::vector<std::string> names;
  names.reserve(state.max_iterations);
  for (i64 i = 0; i < state.max_iterations; i++) names.push_back("fresh-" + std::to_string(serial++));
  size_t i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(symbol::make(names[i++].c_str()));
}
BENCHMARK(BM_InternNew);

static void BM_ContextFind(benchmark::State& state) {
  boot::init_runtime();
  std::vector<u32> syms;
  for (int i = 0; i < 500; i++) {
    syms.push_back(symbol::make(("ctx-bench-" + std::to_string(i)).c_str()));
    _context::add_word(_context::global, syms.back());
  }
  size_t i = 0;
  for (auto _ : state)
    benchmark::DoNotOptimize(_context::find_word(_context::global, syms[i++ % syms.size()], true));
}
BENCHMARK(BM_ContextFind);

static void BM_HashFindInteger(benchmark::State& state) {
  boot::init_runtime();
  cell h{TYPE_HASH, 0, memory::alloc_cells(u32(state.range(0))), 0};
  collector::root_guard g(&h);
  for (i64 k = 0; k < state.range(0); k++) {
    series_buffer* b = buffer_of(series::node(&h));
    *memory::alloc_tail_cell(b) = cell{TYPE_INTEGER, 0, u32(k), 0};
  }
  cell blk{TYPE_BLOCK, 0, series::node(&h), 0};
  hash::table(&h) = hashtable::init(u32(state.range(0)), &blk, hashtable::KIND_HASH, 0);
  u32 k = 0;
  for (auto _ : state) {
    cell key{TYPE_INTEGER, 0, k++ % u32(state.range(0)), 0};
    benchmark::DoNotOptimize(hashtable::find(hash::table(&h), &key, hashtable::OP_EQUAL));
  }
}
BENCHMARK(BM_HashFindInteger)->Arg(1000)->Arg(100000);

// 300,000 string-key puts into a map! made empty (growing through every doubling) and into
// one made for them all: growth should cost little beside the puts themselves. The keys
// are made beforehand, so each put's own cost is what is measured.
static void MapPuts(benchmark::State& state, i32 capacity) {
  boot::init_runtime();
  constexpr u32 N = 300000;
  cell keys{TYPE_BLOCK, 0, memory::alloc_cells(N), 0};
  collector::root_guard gk(&keys);
  for (u32 i = 1; i <= N; i++) {
    cell s;
    string::make_at(&s, 8);
    collector::root_guard gs(&s);
    string::concatenate_literal(&s, ("k" + std::to_string(i)).c_str());
    series_buffer* b = buffer_of(series::node(&keys));
    *memory::alloc_tail_cell(b) = s;
  }
  for (auto _ : state) {
    cell m;
    map::make_at(&m, nullptr, capacity);
    collector::root_guard gm(&m);
    for (u32 i = 0; i < N; i++) {
      cell key = read_buffer(series::node(&keys))->cells()[i];
      cell value{TYPE_INTEGER, 0, i, 0};
      map::put(&m, &key, &value, false);
    }
    benchmark::DoNotOptimize(map::size_q(&m));
  }
  state.SetItemsProcessed(i64(state.iterations()) * N);
}
static void BM_MapPutsGrowing(benchmark::State& state) { MapPuts(state, 0); }
static void BM_MapPutsPresized(benchmark::State& state) { MapPuts(state, 300000); }
BENCHMARK(BM_MapPutsGrowing)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(false);
BENCHMARK(BM_MapPutsPresized)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(false);
