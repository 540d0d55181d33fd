// Fuzz target for the controls that take the most input: sequences of messages, keys,
// characters and clicks into EDIT (one and many lines), ListBox and ComboBox (drop-down and
// drop-list), on the headless display. After every step the controls must still agree with
// themselves: selections inside the text, the text valid UTF-8, list selections inside the
// lists.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "gui/win/controls/controls.h"
#include "gui/win/headless/display.h"

using namespace vyr::win;

namespace {
struct reader {
  const uint8_t* p;
  size_t n;
  uint8_t byte() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
  std::string text() {
    size_t len = byte() % 12;
    std::string s;
    for (size_t i = 0; i < len; ++i) {
      uint8_t b = byte();
      // Some of everything: ASCII, line ends, multi-byte characters, broken sequences.
      switch (b % 8) {
        case 0: s += "\r\n"; break;
        case 1: s += "\xF0\x9F\x98\x80"; break;
        case 2: s += "\xC3\xA9"; break;
        case 3: s += char(0x80 | (b & 0x3F)); break;
        default: s += char(' ' + b % 90); break;
      }
    }
    return s;
  }
};

LRESULT parent_proc(HWND h, uint32_t m, WPARAM wp, LPARAM lp) {
  // A parent that sometimes answers with a brush and refuses nothing.
  if (m >= WM_CTLCOLOREDIT && m <= WM_CTLCOLORSTATIC) return LRESULT(uint32_t(GetSysColorBrush(COLOR_WINDOW)));
  if (m == WM_CLOSE) return 0;   // Alt+F4 is a key like the others here
  return DefWindowProc(h, m, wp, lp);
}

void pump() {
  MSG m;
  for (int i = 0; i < 200 && PeekMessage(m, HWND{}, 0, 0, PM_REMOVE); ++i) {
    if (m.message == WM_QUIT) continue;
    TranslateMessage(m);
    DispatchMessage(m);
  }
}

bool valid_utf8(const std::string& s) { return to_utf8(to_utf32(s)) == s; }

void check_edit(HWND e) {
  std::string t = GetWindowText(e);
  if (!valid_utf8(t)) __builtin_trap();
  uint32_t a = 0, b = 0;
  SendMessage(e, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
  if (a > b || b > to_utf32(t).size()) __builtin_trap();
  if (!(GetWindowLong(e, GWL_STYLE) & ES_MULTILINE) && t.find('\n') != std::string::npos) __builtin_trap();
}

void check_list(HWND l, uint32_t count, uint32_t cur) {
  LRESULT n = SendMessage(l, count, 0, 0), s = SendMessage(l, cur, 0, 0);
  if (n < 0 || s < -1 || s >= n) __builtin_trap();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One layer for the whole run (fonts load once); every input gets fresh windows.
  static bool ready = false;
  if (!ready) {
    install(std::make_unique<headless_display>());
    register_control_classes();
    WNDCLASSEX wc;
    wc.lpszClassName = "FuzzParent";
    wc.lpfnWndProc = parent_proc;
    RegisterClassEx(wc);
    ready = true;
  }
  HWND top = CreateWindowEx(0, "FuzzParent", "", WS_POPUP | WS_VISIBLE, 0, 0, 500, 300, HWND{}, HMENU{}, nullptr);
  auto child = [&](const char* cls, uint32_t style, int x, int y, int w, int h) {
    return CreateWindowEx(0, cls, "", WS_CHILD | WS_VISIBLE | style, x, y, w, h, top, HMENU{1}, nullptr);
  };
  HWND area = child("EDIT", ES_MULTILINE | WS_VSCROLL, 0, 0, 150, 100);
  HWND field = child("EDIT", ES_AUTOHSCROLL, 0, 110, 150, 24);
  HWND list = child("ListBox", LBS_NOTIFY | WS_VSCROLL | WS_HSCROLL, 160, 0, 150, 100);
  HWND drop = child("ComboBox", CBS_DROPDOWN | CBS_HASSTRINGS, 160, 110, 150, 24);
  HWND droplist = child("ComboBox", CBS_DROPDOWNLIST | CBS_HASSTRINGS, 320, 110, 150, 24);
  HWND targets[] = {area, field, list, drop, droplist};
  headless_display* hd = static_cast<headless_display*>(current_display());
  static const uint32_t keys[] = {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_HOME, VK_END, VK_PRIOR, VK_NEXT,
                                  VK_DELETE, VK_BACK, VK_RETURN, VK_ESCAPE, VK_F4, VK_INSERT, VK_TAB, 'A'};
  reader r{data, size};
  for (int step = 0; step < 64 && r.n > 0; ++step) {
    HWND t = targets[r.byte() % 5];
    switch (r.byte() % 14) {
      case 0: SetFocus(t); hd->type(r.text()); break;
      case 1: {
        SetFocus(t);
        uint8_t k = r.byte();
        hd->chord((k & 0x10 ? MK_SHIFT : 0) | (k & 0x20 ? MK_CONTROL : 0) | (k & 0x40 ? 0x100 : 0), keys[k % 16]);
        break;
      }
      case 2: SendMessage(t, EM_SETSEL, WPARAM(int8_t(r.byte())), LPARAM(int8_t(r.byte()))); break;
      case 3: {
        std::string s = r.text();
        SendMessage(t, EM_REPLACESEL, r.byte() & 1, reinterpret_cast<LPARAM>(s.c_str()));
        break;
      }
      case 4: SetWindowText(t, r.text()); break;
      case 5: {
        POINT p{r.byte() % 200, r.byte() % 140};
        ClientToScreen(t, p);
        hd->advance(r.byte() & 1 ? 100000 : 700000);
        hd->click(p);
        break;
      }
      case 6: SendMessage(t, EM_LIMITTEXT, r.byte() % 20, 0); break;
      case 7: {
        std::string s = r.text();
        uint32_t ops[] = {LB_ADDSTRING, LB_INSERTSTRING, LB_DELETESTRING, LB_SETCURSEL, LB_RESETCONTENT};
        SendMessage(list, ops[r.byte() % 5], WPARAM(int8_t(r.byte())), reinterpret_cast<LPARAM>(s.c_str()));
        break;
      }
      case 8: {
        std::string s = r.text();
        HWND c = r.byte() & 1 ? drop : droplist;
        uint32_t ops[] = {CB_ADDSTRING, CB_INSERTSTRING, CB_DELETESTRING, CB_SETCURSEL, CB_RESETCONTENT,
                          CB_SHOWDROPDOWN, CB_SELECTSTRING};
        SendMessage(c, ops[r.byte() % 7], WPARAM(int8_t(r.byte())), reinterpret_cast<LPARAM>(s.c_str()));
        break;
      }
      case 9: SetClipboardText(r.text()); SendMessage(t, WM_PASTE, 0, 0); break;
      case 10: SendMessage(t, r.byte() & 1 ? WM_UNDO : WM_CUT, 0, 0); break;
      case 11: {
        POINT p{r.byte() % 200, r.byte() % 140};
        ClientToScreen(t, p);
        hd->move(p);
        hd->wheel(int8_t(r.byte()) * 10);
        break;
      }
      case 12: SetWindowPos(t, 0, 0, 0, 1 + r.byte(), 1 + r.byte() % 120, SWP_NOMOVE | SWP_NOZORDER); break;
      case 13: SendMessage(t, WM_VSCROLL, r.byte() % 9, 0); break;
    }
    pump();
    check_edit(area);
    check_edit(field);
    check_list(list, LB_GETCOUNT, LB_GETCURSEL);
    check_list(drop, CB_GETCOUNT, CB_GETCURSEL);
    check_list(droplist, CB_GETCOUNT, CB_GETCURSEL);
  }
  ReleaseCapture();
  DestroyWindow(top);
  pump();
  return 0;
}
