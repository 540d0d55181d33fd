// UTF-8 decoding: the lexer's table-driven decoder and the strict loader into string
// buffers, on ASCII, Latin-1, mixed BMP and emoji-heavy text.
#include <benchmark/benchmark.h>

#include <string>

#include "boot/init.h"
#include "runtime/collector.h"
#include "runtime/unicode.h"

using namespace vyr;

namespace {

std::string sample(int kind, size_t bytes) {
  const char* pieces[] = {
      "The quick brown fox jumps over the lazy dog. ",
      "Caf\xC3\xA9 cr\xC3\xA8me br\xC3\xBBl\xC3\xA9\x65, na\xC3\xAFve fa\xC3\xA7\x61\x64\x65. ",
      "price \xE2\x82\xAC" "42 \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E text \xD0\xBF\xD1\x80\xD0\xB8. ",
      "smile \xF0\x9F\x98\x80 rocket \xF0\x9F\x9A\x80 ok. ",
  };
  std::string s;
  while (s.size() < bytes) s += pieces[kind];
  return s;
}

const char* kind_names[] = {"ascii", "latin1", "bmp", "emoji"};

void BM_FastDecode(benchmark::State& state) {
  std::string text = sample(int(state.range(0)), 1 << 20);
  auto p = reinterpret_cast<const u8*>(text.data());
  for (auto _ : state) {
    benchmark::DoNotOptimize(unicode::count_utf8_chars(p, p + text.size()));
  }
  state.SetBytesProcessed(i64(state.iterations()) * i64(text.size()));
  state.SetLabel(kind_names[state.range(0)]);
}
BENCHMARK(BM_FastDecode)->DenseRange(0, 3);

void BM_LoadUtf8(benchmark::State& state) {
  boot::init_runtime();
  std::string text = sample(int(state.range(0)), 1 << 20);
  auto p = reinterpret_cast<const u8*>(text.data());
  for (auto _ : state) {
    u32 node = unicode::load_utf8(p, u32(text.size()));
    benchmark::DoNotOptimize(node);
    collector::collect();  // the string is garbage again at once
  }
  state.SetBytesProcessed(i64(state.iterations()) * i64(text.size()));
  state.SetLabel(kind_names[state.range(0)]);
}
BENCHMARK(BM_LoadUtf8)->DenseRange(0, 3);

}  // namespace
