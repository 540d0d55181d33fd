// GUI costs: what headless start-up adds, composing a full-HD window of 100 children, and
// repainting a shown rich-text face whose text did not change, and the file dialog over a
// folder of 10,000 files.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <string>

#include "boot/environment.h"
#include "gui/backend/backend.h"
#include "gui/backend/events.h"
#include "gui/backend/lifecycle.h"
#include "gui/text/handles.h"
#include "gui/win/controls/controls.h"
#include "gui/win/dialogs/dialog.h"
#include "gui/win/dialogs/modal.h"
#include "gui/win/headless/display.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/handle.h"
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

// A rich-text face of `lines` lines of 40 characters with a style list, shown in a window
// on the headless display and painted again and again unchanged: its layout is made on the
// first paint and kept in its `handles` (the counter says how many were made). 60 lines are 2.4 KB of text, 150 lines 6 KB (more than the
// 4 KB a layout kept by content may hold).
void BM_RichTextFaceRepaint(benchmark::State& state) {
  test::ensure_runtime();
  boot::build_environment();
  setenv("VYR_HEADLESS_SCREENS", "1920x1080+0+0@96", 1);
  gui::init();
  gui::register_classes();
  std::string text;
  for (int i = 0; i < state.range(0); i++) {
    std::string line = "line " + std::to_string(i) + ": the quick brown fox jumps";
    line.resize(39, '.');
    text += line + "^/";
  }
  std::string spec =
      "bench-face: make object! [type: 'rich-text offset: 0x0 size: 800x2400 text: \"" + text +
      "\" image: none color: 255.255.255 menu: none data: [1x5 bold 7x10 0.0.200 20x30 italic "
      "60x40 200.0.0] enabled?: true visible?: true selected: flags: options: parent: pane: "
      "state: rate: edge: para: font: actors: extra: draw: none tabs: line-spacing: handles: none] "
      "bench-window: make bench-face [type: 'window size: 800x600 color: 240.240.240 text: none "
      "data: none state: none]";
  boot::do_source(spec.data(), u32(spec.size()), false, nullptr);
  cell window, face;
  const char* wname = "bench-window";
  const char* fname = "bench-face";
  boot::do_source(wname, 12, false, &window);
  boot::do_source(fname, 10, false, &face);
  collector::root_guard g1(&window), g2(&face);
  u32 top = gui::OS_make_view(&window, 0);
  u32 h = gui::OS_make_view(&face, top);
  gui::OS_show_window(win::HWND(top));
  // The state block `show` gives, so that the face counts as shown.
  std::string show = "bench-face/state: reduce [none 0 none false]";
  boot::do_source(show.data(), u32(show.size()), false, nullptr);
  cell st = *gui::facet(&face, gui::facet_index::state);
  handle::make_at(block::rs_abs_at(&st, 0), h, gui::HANDLE_WINDOW);
  u64 made = text_box::layouts_made();
  for (auto _ : state) {
    win::InvalidateRect(win::HWND(h), nullptr, false);
    win::UpdateWindow(win::HWND(h));
  }
  state.counters["layouts"] = double(text_box::layouts_made() - made);
  gui::shutdown();
}
BENCHMARK(BM_RichTextFaceRepaint)->Arg(60)->Arg(150)->Iterations(10)->Repetitions(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RichTextFaceRepaint)->Arg(60)->Arg(150)->Unit(benchmark::kMillisecond);

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
