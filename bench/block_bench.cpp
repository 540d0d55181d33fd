// block!: append and insert of single values, find by value, deep copy and mold of large
// blocks. Blocks are rooted for the whole run of each benchmark.
#include <benchmark/benchmark.h>

#include "boot/init.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/actions.h"
#include "runtime/stack.h"

using namespace vyr;

namespace {
cell int_cell(i32 v) { return cell{TYPE_INTEGER, 0, static_cast<u32>(v), 0}; }

// n integers, every tenth a nested block of three.
void fill(cell* b, i32 n) {
  for (i32 i = 0; i < n; i++) {
    if (i % 10 == 9) {
      cell inner;
      block::make_at(&inner, 3);
      collector::root_guard keep(&inner);
      for (i32 j = 0; j < 3; j++) {
        cell v = int_cell(j);
        block::rs_append(&inner, &v);
      }
      block::rs_append(b, &inner);
    } else {
      cell v = int_cell(i);
      block::rs_append(b, &v);
    }
  }
}

// A block of n values from fill(), rooted while it lives.
struct filled_block {
  cell b{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep{&b};
  explicit filled_block(i64 n) {
    block::make_at(&b, 1);
    fill(&b, static_cast<i32>(n));
  }
};
}  // namespace

// `count` one-cell appends to the tail, or inserts at the head, of a block that starts empty.
static void append_each(benchmark::State& state, bool at_tail) {
  boot::init_runtime();
  for (auto _ : state) {
    cell b;
    block::make_at(&b, 1);
    collector::root_guard keep(&b);
    cell v = int_cell(1);
    for (i64 i = 0; i < state.range(0); i++) {
      stack::reset();
      cell* s = stack::push_copy(&b);
      block::append(s, &v, -1, false, 1, at_tail);
    }
  }
  stack::reset();
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

static void BM_BlockAppend(benchmark::State& state) { append_each(state, true); }
BENCHMARK(BM_BlockAppend)->Arg(1000)->Arg(100000);

static void BM_BlockInsertHead(benchmark::State& state) { append_each(state, false); }
BENCHMARK(BM_BlockInsertHead)->Arg(1000)->Arg(10000);

static void BM_BlockFind(benchmark::State& state) {
  boot::init_runtime();
  filled_block blk(state.range(0));
  cell& b = blk.b;
  cell last = int_cell(static_cast<i32>(state.range(0) - 2));  // near the tail
  for (auto _ : state) {
    stack::reset();
    cell* s = stack::push_copy(&b);
    benchmark::DoNotOptimize(block::find(s, &last, find_args{}));
  }
  stack::reset();
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BlockFind)->Arg(1000)->Arg(100000);

static void BM_BlockCopyDeep(benchmark::State& state) {
  boot::init_runtime();
  filled_block blk(state.range(0));
  cell& b = blk.b;
  for (auto _ : state) {
    cell out;
    block::copy(&b, &out, nullptr, true, nullptr);
    benchmark::DoNotOptimize(out);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BlockCopyDeep)->Arg(1000)->Arg(100000);

static void BM_BlockMold(benchmark::State& state) {
  boot::init_runtime();
  filled_block blk(state.range(0));
  cell& b = blk.b;
  for (auto _ : state) {
    stack::reset();
    benchmark::DoNotOptimize(actions::mold_to_string(&b));
  }
  stack::reset();
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BlockMold)->Arg(1000)->Arg(100000);
