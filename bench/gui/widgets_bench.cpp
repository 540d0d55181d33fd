// The widgets' costs that grow with a face's data: setting a text-list's data of 100,000
// strings, and a keystroke in an area of 10,000 lines with all the backend does for it
// (the text read back into the face, the limit, the bars, the change event).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "boot/environment.h"
#include "gui/backend/backend.h"
#include "gui_entry/module.h"
#include "gui/backend/events.h"
#include "gui/module.h"
#include "gui/win/controls/ctlnum.h"
#include "runtime/collector.h"
#include "runtime/datatypes/handle.h"
#include "tests/unit/fixture.h"

namespace {
using namespace vyr;

cell run(const std::string& text) {
  cell r{TYPE_UNSET, 0, 0, 0};
  collector::root_guard g(&r);
  boot::do_source(text.data(), u32(text.size()), false, &r);
  return r;
}

// A window with one face made from `spec`, named `f`, on the headless display.
win::HWND start(const std::string& spec) {
  test::ensure_runtime();
  boot::build_environment();
  setenv("VYR_HEADLESS_SCREENS", "1920x1080+0+0@96", 1);
  gui::init();
  gui::register_classes();
  gui_module::adopt(vyr_gui_module_init);
  gui::awake = [](const cell*) { return cell{TYPE_NONE, 0, 0, 0}; };
  run(R"(
    face!: make object! [
      type: 'face offset: 0x0 size: 100x24 text: none image: none color: none menu: none data: none
      enabled?: true visible?: true selected: none flags: none options: none parent: none pane: none
      state: none rate: none edge: none para: none font: none actors: none extra: none draw: none
    ]
    show-face: func [f p] [f/state: reduce [system/view/platform/make-view f p 0 none false]]
    push: func [f word] [
      f/state/2: f/state/2 or shift/left 1 (index? find words-of f word) - 1
      system/view/platform/update-view f
    ]
    win: make face! [type: 'window size: 800x600]
    show-face win system/view/platform/make-null-handle
  )");
  run("f: make face! " + spec + " f/parent: win show-face f win/state/1");
  cell h = run("f/state/1");
  return win::HWND(handle::get(&h));
}

void stop() {
  gui::awake = nullptr;
  gui::shutdown();
}

void BM_SetListData100000(benchmark::State& state) {
  start("[type: 'text-list size: 300x400]");
  run("big: make block! 100000 repeat i 100000 [append big rejoin [\"item number \" i]]");
  for (auto _ : state) run("f/data: big push f 'data");
  stop();
}
BENCHMARK(BM_SetListData100000)->Unit(benchmark::kMillisecond);

void BM_AreaKeystrokeIn10000Lines(benchmark::State& state) {
  win::HWND h = start("[type: 'area size: 400x300]");
  run("t: make string! 500000 repeat i 10000 [append t rejoin [\"line \" i \" of the text that fills the area^/\"]] "
      "f/text: t push f 'text");
  win::SetFocus(h);
  int64_t n = 0;
  for (auto _ : state) {
    int line = 4990 + int(n % 10), column = 5 + int(n / 10 % 40);
    win::LRESULT at = win::SendMessage(h, win::EM_LINEINDEX, line, 0) + column;
    win::SendMessage(h, win::EM_SETSEL, at, at);
    win::SendMessage(h, win::WM_CHAR, 'x', 0);
    win::UpdateWindow(h);
    ++n;
  }
  stop();
}
BENCHMARK(BM_AreaKeystrokeIn10000Lines)->Unit(benchmark::kMicrosecond);

}  // namespace
