// string! actions on large texts: appending in a loop, finding a late match case-
// insensitively, and molding texts that take braces (with unbalanced braces, the case a
// per-brace search made quadratic).
#include <benchmark/benchmark.h>

#include <string>

#include "boot/init.h"
#include "runtime/collector.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/string_actions.h"
#include "runtime/datatypes/actions.h"
#include "runtime/stack.h"

using namespace vyr;

namespace {

cell* push_text(const std::string& utf8) {
  cell* c = stack::push_slot();
  c->header = TYPE_UNSET;
  string::load_at(utf8.data(), static_cast<u32>(utf8.size()), c, string::ENCODING_UTF8);
  return c;
}

void BM_AppendChunks(benchmark::State& state) {
  boot::init_runtime();
  for (auto _ : state) {
    stack::reset();
    stack::push_slot()->header = TYPE_UNSET;
    cell* s = push_text("");
    cell* chunk = push_text(state.range(0) ? "caf\xC3\xA9 au lait, " : "coffee with milk ");
    for (int i = 0; i < 10000; i++) string::append(s, chunk, -1, false, 1, true);
    benchmark::DoNotOptimize(s->data2);
  }
  state.SetItemsProcessed(state.iterations() * 10000);
}
BENCHMARK(BM_AppendChunks)->Arg(0)->Arg(1);

void BM_FindLateMatch(benchmark::State& state) {
  boot::init_runtime();
  stack::reset();
  stack::push_slot()->header = TYPE_UNSET;
  std::string big(1 << 20, 'a');
  big += "NEEDLE";
  cell* s = push_text(big);
  cell* needle = push_text("needle");
  for (auto _ : state) {
    const cell* r = string::find(s, needle, find_args{});
    benchmark::DoNotOptimize(r);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<i64>(big.size()));
}
BENCHMARK(BM_FindLateMatch);

void BM_MoldLarge(benchmark::State& state) {
  boot::init_runtime();
  stack::reset();
  stack::push_slot()->header = TYPE_UNSET;
  std::string text;
  // 0: plain lines; 1: unbalanced braces throughout.
  while (text.size() < (1u << 20))
    text += state.range(0) ? "{ \"quoted\" {" : "a line of text\twith a tab\n";
  cell* s = push_text(text);
  for (auto _ : state) {
    stack::guard g;
    cell* m = actions::mold_to_string(s);
    benchmark::DoNotOptimize(m->data2);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<i64>(text.size()));
}
BENCHMARK(BM_MoldLarge)->Arg(0)->Arg(1);

}  // namespace
