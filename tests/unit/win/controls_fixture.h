// A headless layer with the control classes registered and a parent window that records
// what its controls tell it (WM_COMMAND, WM_NOTIFY, scroll messages) and can answer.
#pragma once
#include <functional>

#include "gui/win/controls/controls.h"
#include "gui/win/theme.h"
#include "tests/unit/win/win_fixture.h"

namespace vyr::win::test {

struct note {
  uint32_t msg;     // WM_COMMAND, WM_NOTIFY, WM_HSCROLL, WM_VSCROLL
  int32_t code;     // the notification code, or the scroll code
  HWND from;
  int32_t pos = 0;  // scroll messages: the position in the high word
  SYSTEMTIME date;  // MCN_SELECT: the date chosen
};
inline std::vector<note> g_notes;
inline LRESULT g_notify_answer = 0;   // what WM_NOTIFY answers (TCN_SELCHANGING, NM_CUSTOMDRAW)
inline HBRUSH g_brush{};              // what WM_CTLCOLOR* answers
inline std::function<void(const note&)> g_on_note;

inline LRESULT parent_proc(HWND h, uint32_t m, WPARAM wp, LPARAM lp) {
  note n{m, 0, HWND{}, 0, {}};
  switch (m) {
    case WM_COMMAND:
      n.code = HIWORD(wp);
      n.from = HWND(uint32_t(lp));
      break;
    case WM_NOTIFY: {
      auto* hdr = reinterpret_cast<NMHDR*>(lp);
      n.code = hdr->code;
      n.from = hdr->hwndFrom;
      if (n.code == MCN_SELECT) n.date = reinterpret_cast<NMSELCHANGE*>(lp)->stSelStart;
      g_notes.push_back(n);
      if (g_on_note) g_on_note(n);
      return g_notify_answer;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
      n.code = LOWORD(wp);
      n.pos = int16_t(HIWORD(wp));
      n.from = HWND(uint32_t(lp));
      break;
    case WM_CTLCOLOREDIT: case WM_CTLCOLORLISTBOX: case WM_CTLCOLORSTATIC: case WM_CTLCOLORBTN:
      return LRESULT(uint32_t(g_brush));
    default:
      return DefWindowProc(h, m, wp, lp);
  }
  g_notes.push_back(n);
  if (g_on_note) g_on_note(n);
  return 0;
}

class controls : public layer {
 protected:
  HWND parent{};
  void SetUp() override {
    layer::SetUp();
    ASSERT_GT(register_control_classes(), 10);
    WNDCLASSEX wc;
    wc.lpszClassName = "Parent";
    wc.lpfnWndProc = parent_proc;
    wc.hbrBackground = RGB(200, 220, 240);
    RegisterClassEx(wc);
    parent = CreateWindowEx(0, "Parent", "", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, HWND{}, HMENU{}, nullptr);
    g_notes.clear();
    g_notify_answer = 0;
    g_brush = HBRUSH{};
    g_on_note = nullptr;
  }
  void TearDown() override {
    g_on_note = nullptr;
    layer::TearDown();
  }
  HWND make(std::string_view cls, uint32_t style, RECT r, std::string_view text = "", HWND in = HWND{}) {
    return CreateWindowEx(0, cls, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.width(), r.height(),
                          is_null(in) ? parent : in, HMENU{7}, nullptr);
  }
  // The notifications seen so far, as (message, code) pairs.
  std::vector<std::pair<uint32_t, int32_t>> notes() const {
    std::vector<std::pair<uint32_t, int32_t>> out;
    for (auto& n : g_notes) out.push_back({n.msg, n.code});
    return out;
  }
  std::vector<int32_t> codes(uint32_t msg) const {
    std::vector<int32_t> out;
    for (auto& n : g_notes) if (n.msg == msg) out.push_back(n.code);
    return out;
  }
  POINT screen(HWND h, int x, int y) {
    POINT p{x, y};
    ClientToScreen(h, p);
    return p;
  }
  void click(HWND h, int x, int y) {
    hd->advance(600000);   // never a double click unless asked
    hd->click(screen(h, x, y));
    pump();
  }
  // A press, taken before anything else is injected: input goes where the pointer is when
  // it is injected, so a capture set by the press must be in place first.
  void press(HWND h, int x, int y) {
    hd->advance(600000);
    hd->move(screen(h, x, y));
    hd->button(1, true);
    pump();
  }
  void release_at(HWND h, int x, int y) {
    hd->move(screen(h, x, y));
    hd->button(1, false);
  }
  uint32_t pixel(int x, int y) { return hd->pixel(parent, x, y); }
};

// 0xAARRGGBB of a COLORREF, as the frames hold pixels.
constexpr uint32_t argb(COLORREF c) {
  return 0xFF000000u | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}

}  // namespace vyr::win::test
