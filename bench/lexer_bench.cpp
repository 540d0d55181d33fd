// Lexer speed over a large generated source text: scanning alone, and loading into values.
#include <benchmark/benchmark.h>

#include <string>

#include "boot/init.h"
#include "runtime/lexer/lexer.h"
#include "runtime/lexer/lexer_load.h"

using namespace vyr;
using namespace vyr::lexer;

namespace {

// Whole rounds of `lines` until the text holds at least `bytes`.
template <size_t N> std::string repeat_lines(const char* const (&lines)[N], size_t bytes) {
  std::string out;
  out.reserve(bytes + 128);
  for (size_t i = 0; out.size() < bytes || i % N != 0; i++) out += lines[i % N];
  return out;
}

// About `bytes` of typical source: definitions, blocks, paths, strings and numbers.
std::string source(size_t bytes) {
  static const char* const lines[] = {
      "count-words: func [text [string!] /local words n] [\n",
      "    words: split text #\" \" n: 0\n",
      "    foreach w words [if not empty? w [n: n + 1]]\n",
      "    print [\"count:\" n 1.5e3 12:30 $1.50 1.2.3 10x20]\n",
      "    system/options/path: %scripts/main.vyr ; comment\n",
      "    data: #{DEADBEEF} url: http://example.com/a?b=c mail: a@b.com\n",
      "    note: {multi-line\n text with {nested} braces}\n",
      "]\n",
  };
  return repeat_lines(lines, bytes);
}

void BM_ScanSource(benchmark::State& state) {
  boot::init_runtime();
  std::string text = source(static_cast<size_t>(state.range(0)));
  size_t tokens = 0;
  for (auto _ : state) {
    struct counter : listener {
      size_t n = 0;
      void token_done(scanner&, const token&) override { n++; }
    } c;
    scanner s(reinterpret_cast<const u8*>(text.data()), static_cast<u32>(text.size()), &c);
    benchmark::DoNotOptimize(s.run());
    tokens = c.n;
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.counters["tokens"] = static_cast<double>(tokens);
}
BENCHMARK(BM_ScanSource)->Arg(64 << 10)->Arg(4 << 20);

// Source whose every literal loads with the datatypes present: words, paths, numbers,
// strings, files, URLs, chars, issues and nested blocks.
std::string loadable_source(size_t bytes) {
  static const char* const lines[] = {
      "count-words: func [text [string!] /local words n] [\n",
      "    words: split text #\" \" n: 0 #issue 'lit :get\n",
      "    foreach w words [if not empty? w [n: n + 1]]\n",
      "    print [\"count:\" n 1.5e3 -42 FFh 1'000 {braced ^/ text}]\n",
      "    system/options/path: %scripts/main.vyr ; comment\n",
      "    url: http://example.com/a?b=c (n * 2) \"caf\xC3\xA9\"\n",
      "]\n",
  };
  return repeat_lines(lines, bytes);
}

void BM_LoadSource(benchmark::State& state) {
  boot::init_runtime();
  std::string text = loadable_source(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    cell out{TYPE_NONE, 0, 0, 0};
    benchmark::DoNotOptimize(lexer::scan(&out, reinterpret_cast<const u8*>(text.data()),
                                         static_cast<u32>(text.size())));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BM_LoadSource)->Arg(64 << 10)->Arg(4 << 20);

}  // namespace
