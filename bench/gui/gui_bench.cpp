// GUI costs: what headless start-up adds, and composing a full-HD window of 100 children.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cstdlib>

#include "gui/backend.h"
#include "gui/win/headless/display.h"
#include "tests/unit/fixture.h"

namespace {
using namespace vyr;

void BM_HeadlessGuiInit(benchmark::State& state) {
  test::ensure_runtime();
  unsetenv("VYR_HEADLESS_SCREENS");
  unsetenv("VYR_DISPLAY");
  for (auto _ : state) {
    gui::init();
    state.PauseTiming();
    gui::shutdown();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_HeadlessGuiInit)->Unit(benchmark::kMicrosecond);

win::LRESULT fill_proc(win::HWND h, uint32_t m, win::WPARAM wp, win::LPARAM lp) {
  if (m == win::WM_PAINT) {
    win::PAINTSTRUCT ps;
    cairo_t* cr = win::cairo_of(win::BeginPaint(h, ps));
    uint32_t n = win::raw(h) & 0xFF;
    cairo_set_source_rgba(cr, (n % 7) / 7.0, (n % 5) / 5.0, (n % 3) / 3.0, 0.8);
    cairo_paint(cr);
    win::EndPaint(h, ps);
    return 0;
  }
  return win::DefWindowProc(h, m, wp, lp);
}

void BM_Compose1080pWith100Children(benchmark::State& state) {
  win::install(std::make_unique<win::headless_display>(""));
  win::WNDCLASSEX wc;
  wc.lpszClassName = "Fill";
  wc.lpfnWndProc = fill_proc;
  win::RegisterClassEx(wc);
  win::HWND top = win::CreateWindowEx(0, "Fill", "", win::WS_POPUP | win::WS_VISIBLE, 0, 0, 1920, 1080,
                                      win::HWND{}, win::HMENU{}, nullptr);
  for (int i = 0; i < 100; ++i)
    win::CreateWindowEx(0, "Fill", "", win::WS_CHILD | win::WS_VISIBLE, (i % 10) * 190, (i / 10) * 105, 180, 100,
                        top, win::HMENU{}, nullptr);
  win::UpdateWindow(top);
  for (auto _ : state) {
    cairo_surface_t* s = win::compose(top);
    benchmark::DoNotOptimize(s);
    cairo_surface_destroy(s);
  }
  win::shutdown();
}
BENCHMARK(BM_Compose1080pWith100Children)->Unit(benchmark::kMillisecond);

}  // namespace
