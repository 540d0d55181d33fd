// The controls' costs that grow with their content: a keystroke in a long EDIT (typed and
// painted), filling a ListBox, and painting one, which must not grow with its length.
#include <benchmark/benchmark.h>

#include <string>

#include "gui/win/controls/controls.h"
#include "gui/win/headless/display.h"

namespace {
using namespace vyr::win;

struct layer {
  HWND top{};
  layer() {
    install(std::make_unique<headless_display>(""));
    register_control_classes();
    WNDCLASSEX wc;
    wc.lpszClassName = "Bench";
    wc.lpfnWndProc = DefWindowProc;
    wc.hbrBackground = RGB(240, 240, 240);
    RegisterClassEx(wc);
    top = CreateWindowEx(0, "Bench", "", WS_POPUP | WS_VISIBLE, 0, 0, 800, 600, HWND{}, HMENU{}, nullptr);
  }
  ~layer() { shutdown(); }
};

// A keystroke in the middle of 10,000 lines: the character typed, the control repainted.
// Each keystroke lands in one of the lines in view, a column further each round, so every
// one lays out a line of ordinary length anew. Argument: 1 wraps (an area with a para), 0
// scrolls sideways (one without).
void BM_EditKeystrokeIn10000Lines(benchmark::State& state) {
  layer l;
  std::string text;
  for (int i = 0; i < 10000; ++i) text += "line " + std::to_string(i) + " of the text that fills the area\n";
  uint32_t style = ES_MULTILINE | ES_AUTOVSCROLL | WS_VSCROLL | (state.range(0) ? 0 : ES_AUTOHSCROLL | WS_HSCROLL);
  HWND e = CreateWindowEx(0, "EDIT", text, WS_CHILD | WS_VISIBLE | style, 10, 10, 400, 300, l.top, HMENU{}, nullptr);
  SendMessage(e, EM_LIMITTEXT, 0, 0);
  SetFocus(e);
  LRESULT mid = SendMessage(e, EM_LINEINDEX, 5000, 0);
  SendMessage(e, EM_SETSEL, mid, mid);
  UpdateWindow(l.top);
  int64_t n = 0;
  for (auto _ : state) {
    int line = 4990 + int(n % 10), column = 5 + int(n / 10 % 40);
    LRESULT at = SendMessage(e, EM_LINEINDEX, line, 0) + column;
    SendMessage(e, EM_SETSEL, at, at);
    SendMessage(e, WM_CHAR, 'x', 0);
    UpdateWindow(l.top);
    ++n;
  }
}
BENCHMARK(BM_EditKeystrokeIn10000Lines)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Filling a list with 100,000 items, as setting a text-list's data does.
void BM_ListBoxFill100000(benchmark::State& state) {
  layer l;
  HWND list = CreateWindowEx(0, "ListBox", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOTIFY, 10, 10, 300, 400,
                             l.top, HMENU{}, nullptr);
  std::vector<std::string> items;
  for (int i = 0; i < 100000; ++i) items.push_back("item number " + std::to_string(i));
  for (auto _ : state) {
    SendMessage(list, LB_RESETCONTENT, 0, 0);
    for (auto& s : items) SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s.c_str()));
    UpdateWindow(l.top);
  }
}
BENCHMARK(BM_ListBoxFill100000)->Unit(benchmark::kMillisecond);

// Painting a list of n items: the same for 100 and 100,000.
void BM_ListBoxPaint(benchmark::State& state) {
  layer l;
  HWND list = CreateWindowEx(0, "ListBox", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL, 10, 10, 300, 400, l.top, HMENU{},
                             nullptr);
  for (int64_t i = 0; i < state.range(0); ++i)
    SendMessage(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(("item " + std::to_string(i)).c_str()));
  SendMessage(list, LB_SETCURSEL, WPARAM(state.range(0) / 2), 0);
  for (auto _ : state) {
    InvalidateRect(list, nullptr, false);
    UpdateWindow(list);
  }
}
BENCHMARK(BM_ListBoxPaint)->Arg(100)->Arg(100000)->Unit(benchmark::kMicrosecond);

}  // namespace
