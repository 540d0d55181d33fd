// VYRBIN: encoding and decoding, through both writers, a block of a million mixed values
// (integers, floats, strings, words, nested blocks), the same list that
// bench/vyrbin_pickle.py hands to CPython's pickle (protocol 5); and encoding blocks of
// 20,000 and 40,000 distinct words, whose times should differ by about 2x (linear).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "boot/init.h"
#include "runtime/codecs/vyrbin.h"
#include "runtime/collector.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/cells.h"
#include "runtime/stack.h"

using namespace vyr;

namespace {

// Item i of the mixed list: i % 5 picks an integer, a float, a string, a word (of 1,000
// names) or a block of an integer and a string.
void append_item(u32 node, i32 i) {
  cell v{TYPE_NONE, 0, 0, 0};
  collector::root_guard g(&v);
  switch (i % 5) {
    case 0: v = cell{TYPE_INTEGER, 0, u32(i), 0}; break;
    case 1: float_::make_at(&v, i * 0.5); break;
    case 2: {
      std::string s = "item-" + std::to_string(i % 1000);
      string::make_at(&v, u32(s.size()));
      string::concatenate_literal(&v, s.c_str());
      break;
    }
    case 3: {
      std::string s = "word" + std::to_string(i % 1000);
      word::make_at(symbol::make(s.c_str()), &v);
      break;
    }
    default: {
      cells::make_block(&v, 2);
      cell n{TYPE_INTEGER, 0, u32(i), 0};
      cells::append(v.data2, &n);
      cell s{TYPE_NONE, 0, 0, 0};
      collector::root_guard gs(&s);
      string::make_at(&s, 1);
      string::concatenate_literal(&s, "x");
      cells::append(v.data2, &s);
    }
  }
  cells::append(node, &v);
}

struct mixed_block {
  cell b{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep{&b};
  explicit mixed_block(i32 n) {
    cells::make_block(&b, u32(n));
    for (i32 i = 0; i < n; i++) append_item(b.data2, i);
  }
};

void encode_mixed(benchmark::State& state, bool compact) {
  boot::init_runtime();
  mixed_block m(1000000);
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard g(&out);
  for (auto _ : state) {
    if (compact) vyrbin::encode_compact(&m.b, &out); else vyrbin::encode(&m.b, &out);
    benchmark::DoNotOptimize(out);
  }
  state.counters["bytes"] = double(binary::rs_length_q(&out));
}

void decode_mixed(benchmark::State& state, bool compact) {
  boot::init_runtime();
  cell doc{TYPE_NONE, 0, 0, 0};
  collector::root_guard g(&doc);
  {
    mixed_block m(1000000);
    if (compact) vyrbin::encode_compact(&m.b, &doc); else vyrbin::encode(&m.b, &doc);
  }
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard go(&out);
  for (auto _ : state) {
    vyrbin::decode_value(&doc, &out);
    benchmark::DoNotOptimize(out);
  }
}

void encode_words(benchmark::State& state) {
  boot::init_runtime();
  i32 n = i32(state.range(0));
  cell b{TYPE_NONE, 0, 0, 0};
  collector::root_guard g(&b);
  cells::make_block(&b, u32(n));
  for (i32 i = 0; i < n; i++) {
    std::string s = "distinct-" + std::to_string(i);
    cell w;
    word::make_at(symbol::make(s.c_str()), &w);
    cells::append(b.data2, &w);
  }
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard go(&out);
  for (auto _ : state) {
    vyrbin::encode_compact(&b, &out);
    benchmark::DoNotOptimize(out);
  }
}

}  // namespace

BENCHMARK_CAPTURE(encode_mixed, compact, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(encode_mixed, standard, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode_mixed, compact, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(decode_mixed, standard, false)->Unit(benchmark::kMillisecond);
BENCHMARK(encode_words)->Arg(20000)->Arg(40000)->Unit(benchmark::kMillisecond);
