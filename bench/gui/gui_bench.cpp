// GUI costs: what headless start-up adds, composing a full-HD window of 100 children, and
// the file dialog over a folder of 10,000 files.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "gui/backend.h"
#include "gui/win/controls/controls.h"
#include "gui/win/dialogs/dialog.h"
#include "gui/win/dialogs/modal.h"
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

// The file dialog over a folder of 10,000 files: from the call until the dialog shows them
// (listed, sorted, filled in and painted; Esc then closes it).
void BM_FileDialogOf10000Files(benchmark::State& state) {
  static std::string folder = [] {
    char t[] = "/tmp/vyr-bench-files-XXXXXX";
    std::string f = std::string(mkdtemp(t)) + "/";
    for (int i = 0; i < 10000; ++i)
      if (FILE* out = std::fopen((f + "file-" + std::to_string(i * 7919 % 10000) + ".txt").c_str(), "w"))
        std::fclose(out);
    return f;
  }();
  auto d = std::make_unique<win::headless_display>("");
  win::headless_display* hd = d.get();
  win::install(std::move(d));
  win::register_control_classes();
  win::dialogs::file_request q;
  q.folder = folder;
  q.filters = win::dialogs::default_filters();
  size_t shown = 0;
  for (auto _ : state) {
    hd->script([&] {
      for (win::HWND c : win::children(win::dialogs::running_dialogs().back()))
        if (win::GetClassName(c) == "ListBox") shown = size_t(win::SendMessage(c, win::LB_GETCOUNT, 0, 0));
      hd->key(win::VK_ESCAPE, true);
    });
    benchmark::DoNotOptimize(win::dialogs::run_file_dialog(q));
  }
  state.counters["files"] = double(shown);
  win::shutdown();
  std::system(("rm -rf '" + folder + "'").c_str());
}
BENCHMARK(BM_FileDialogOf10000Files)->Unit(benchmark::kMillisecond)->Iterations(5);
