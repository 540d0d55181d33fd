// The terminal's road: one paint of 60 rich-text lines, each a `pen`, `text` and a
// rich-text face whose style list holds 5 ranges, all through one drawing context on an
// 800x1000 image, each line a text of its own. Target: under 8 ms per paint. The first
// paint shapes the lines; later paints of the same lines reuse their kept layouts, as a
// terminal's repaints do. The second benchmark lets go of them before every paint.
#include <benchmark/benchmark.h>

#include <string>

#include "boot/environment.h"
#include "boot/init.h"
#include "gui/draw/draw.h"
#include "gui_entry/module.h"
#include "runtime/collector.h"

namespace {

void BM_TerminalPaint60Lines(benchmark::State& state) {
  vyr::boot::init_runtime();
  vyr::boot::build_environment();
  vyr::api::bind(&vyr::gui_module::host_api());
  const std::string setup = R"(
    bench-img: make image! 800x1000
    bench-cmds: copy []
    repeat n 60 [
      face: make object! [
        text: rejoin ["print [" n " + 2 ^"a string^" 'word %file.txt 3.14 now] ; comment"]
        data: [1x5 0.0.200 7x1 100.100.100 9x5 200.0.0 15x10 0.128.0 bold 60x10 128.128.128 italic]
        size: 800x16 color: none font: none
      ]
      append bench-cmds reduce ['pen 20.20.20 'text as-pair 4 n - 1 * 16 face]
    ]
  )";
  vyr::boot::do_source(setup.data(), vyr::u32(setup.size()), false, nullptr);
  vyr::cell img, cmds;
  const char* a = "bench-img";
  const char* b = "bench-cmds";
  vyr::boot::do_source(a, 9, false, &img);
  vyr::boot::do_source(b, 10, false, &cmds);
  vyr::collector::root_guard g1(&img), g2(&cmds);
  for (auto _ : state) {
    if (state.range(0)) {
      state.PauseTiming();
      vyr::draw::drop_kept_layouts();
      state.ResumeTiming();
    }
    vyr::draw::run_draw_on_image(&img, &cmds);
  }
}
BENCHMARK(BM_TerminalPaint60Lines)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TerminalPaint60Lines)->Arg(1)->Name("BM_TerminalPaint60LinesUnkept")->Unit(benchmark::kMillisecond);

}  // namespace
