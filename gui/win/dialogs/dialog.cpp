// The modal dialogs' window class, loop and keyboard.
#include "gui/win/dialogs/dialog.h"

#include <algorithm>

#include <cairo.h>

#include "gui/win/controls/controls.h"
#include "gui/win/theme.h"

namespace vyr::win::dialogs {

namespace {
constexpr const char* DIALOG_CLASS = "#32770";
constexpr uint32_t DLGC_WANTALLKEYS = 0x4;
std::vector<HWND> g_running;

dialog* dialog_of(HWND h) { return reinterpret_cast<dialog*>(GetWindowLong(h, GWLP_USERDATA)); }

bool is_input(uint32_t m) {
  return (m >= WM_KEYDOWN && m <= WM_SYSCHAR) || (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) ||
         (m >= WM_NCMOUSEMOVE && m <= WM_NCRBUTTONUP);
}

bool is_press(uint32_t m) {
  return m == WM_LBUTTONDOWN || m == WM_RBUTTONDOWN || m == WM_MBUTTONDOWN || m == WM_NCLBUTTONDOWN ||
         m == WM_LBUTTONDBLCLK;
}

// Whether the control holding the focus wants a key for itself (a dropped combo box, a
// control that asks for all keys).
bool control_wants(HWND dlg, HWND focus) {
  HWND c = child_of(dlg, focus);
  if (is_null(c)) return false;
  if (GetClassName(c) == "ComboBox" && SendMessage(c, CB_GETDROPPEDSTATE, 0, 0)) return true;
  return SendMessage(focus, WM_GETDLGCODE, 0, 0) & DLGC_WANTALLKEYS;
}
}  // namespace

HWND child_of(HWND dlg, HWND h) {
  while (!is_null(h) && IsWindow(h)) {
    HWND p = GetParent(h);
    if (p == dlg && (GetWindowLong(h, GWL_STYLE) & WS_CHILD)) return h;
    if (!(GetWindowLong(h, GWL_STYLE) & WS_CHILD)) return HWND{};
    h = p;
  }
  return HWND{};
}

std::vector<HWND> running_dialogs() { return g_running; }

LRESULT dialog_proc(HWND h, uint32_t msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCT*>(lp);
    SetWindowLong(h, GWLP_USERDATA, reinterpret_cast<int64_t>(cs->lpCreateParams));
    return DefWindowProc(h, msg, wp, lp);
  }
  dialog* d = dialog_of(h);
  if (!d) return DefWindowProc(h, msg, wp, lp);
  switch (msg) {
    case WM_COMMAND:
      d->command(LOWORD(wp), HIWORD(wp), HWND(uint32_t(lp)));
      return 0;
    case WM_CLOSE:
      d->command(IDCANCEL, BN_CLICKED, HWND{});
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, ps);
      RECT rc;
      GetClientRect(h, rc);
      FillRect(dc, rc, theme_color(h, theme::part::face));
      d->paint(dc);
      EndPaint(h, ps);
      return 0;
    }
    case WM_DESTROY:
      SetWindowLong(h, GWLP_USERDATA, 0);
      break;
    default: {
      bool handled = false;
      LRESULT r = d->message(msg, wp, lp, handled);
      if (handled) return r;
    }
  }
  return DefWindowProc(h, msg, wp, lp);
}

int dialog::px(double units) const { return int(units * dpi_ / 96.0 + 0.5); }

void dialog::command(int id, int, HWND) {
  if (id == IDOK || id == IDCANCEL) end(id);
}

HWND dialog::add(const char* cls, std::string_view text, uint32_t style, RECT r, int id, uint32_t exstyle) {
  HWND c = CreateWindowEx(exstyle, cls, text, style | WS_CHILD | WS_VISIBLE, r.left, r.top, r.width(), r.height(),
                          h_, HMENU{uint32_t(id)}, nullptr);
  if (!is_null(c)) SendMessage(c, WM_SETFONT, uint32_t(font_), 0);
  return c;
}

HWND dialog::item(int id) const {
  for (HWND c : children(h_))
    if (GetWindowLong(c, GWLP_ID) == id) return c;
  return HWND{};
}

void dialog::end(int code) {
  done_ = true;
  code_ = code;
}

void dialog::tab(bool back) {
  std::vector<HWND> stops;
  for (HWND c : children(h_)) {
    uint32_t s = uint32_t(GetWindowLong(c, GWL_STYLE));
    if ((s & WS_TABSTOP) && (s & WS_VISIBLE) && !(s & WS_DISABLED)) stops.push_back(c);
  }
  if (stops.empty()) return;
  HWND at = child_of(h_, GetFocus());
  auto it = std::find(stops.begin(), stops.end(), at);
  size_t n = stops.size(), i;
  if (it == stops.end()) i = back ? n - 1 : 0;
  else i = (size_t(it - stops.begin()) + (back ? n - 1 : 1)) % n;
  HWND next = stops[i];
  SetFocus(next);
  // Tabbing into a field selects its whole text.
  if (GetClassName(next) == "EDIT") SendMessage(next, EM_SETSEL, 0, -1);
}

bool dialog::pre_translate(const MSG& m) {
  if (!is_input(m.message) || is_null(m.hwnd)) return false;
  HWND root = GetAncestor(m.hwnd, GA_ROOT);
  if (!IsWindowEnabled(root)) {
    // Input for the windows the dialog disabled goes nowhere; a press there brings the
    // dialog back to the front.
    if (is_press(m.message)) SetActiveWindow(h_);
    return true;
  }
  if (root != h_ || (m.message != WM_KEYDOWN && m.message != WM_SYSKEYDOWN)) return false;
  uint32_t vk = uint32_t(m.wParam);
  if (key(vk)) return true;
  if (m.message != WM_KEYDOWN) return false;
  bool ctrl = GetKeyState(VK_CONTROL) < 0;
  switch (vk) {
    case VK_TAB:
      if (ctrl) return false;
      tab(GetKeyState(VK_SHIFT) < 0);
      return true;
    case VK_RETURN: {
      if (control_wants(h_, GetFocus())) return false;
      HWND focus = child_of(h_, GetFocus());
      // A focused push button is the one Enter presses; else the default button.
      HWND button{};
      if (!is_null(focus) && GetClassName(focus) == "BUTTON" &&
          (GetWindowLong(focus, GWL_STYLE) & BS_TYPEMASK) <= BS_DEFPUSHBUTTON)
        button = focus;
      for (HWND c : children(h_))
        if (is_null(button) && GetClassName(c) == "BUTTON" &&
            (GetWindowLong(c, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
          button = c;
      if (!is_null(button) && !IsWindowEnabled(button)) return true;
      int id = is_null(button) ? IDOK : int(GetWindowLong(button, GWLP_ID));
      SendMessage(h_, WM_COMMAND, MAKEWPARAM(uint32_t(id), BN_CLICKED), LPARAM(uint32_t(button)));
      return true;
    }
    case VK_ESCAPE:
      if (control_wants(h_, GetFocus())) return false;
      SendMessage(h_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      return true;
  }
  return false;
}

int dialog::run(HWND owner) {
  if (!is_null(owner)) owner = GetAncestor(owner, GA_ROOT);
  if (is_null(owner)) owner = GetActiveWindow();
  WNDCLASSEX wc;
  if (!GetClassInfoEx(DIALOG_CLASS, wc)) {
    wc = WNDCLASSEX{};
    wc.lpfnWndProc = dialog_proc;
    wc.hCursor = LoadCursor(IDC_ARROW);
    wc.lpszClassName = DIALOG_CLASS;
    RegisterClassEx(wc);
  }
  // The owner's monitor, else the one under the pointer.
  POINT pt;
  GetCursorPos(pt);
  RECT anchor{pt.x, pt.y, pt.x, pt.y};
  if (IsWindow(owner) && IsWindowVisible(owner)) GetWindowRect(owner, anchor);
  HMONITOR mon = MonitorFromRect(anchor, MONITOR_DEFAULTTONEAREST);
  MONITORINFO mi;
  GetMonitorInfo(mon, mi);
  dpi_ = IsWindow(owner) ? GetDpiForWindow(owner) : GetDpiForMonitor(mon);
  if (dpi_ == 0) dpi_ = 96;
  font_ = CreateFontIndirect(message_font(dpi_));
  SIZE client = size();
  uint32_t style = WS_POPUP | WS_CAPTION | WS_SYSMENU, ex = WS_EX_DLGMODALFRAME;
  RECT r{0, 0, client.cx, client.cy};
  AdjustWindowRectExForDpi(r, style, false, ex, dpi_);
  int w = r.width(), hgt = r.height();
  if (IsWindow(owner) && IsWindowVisible(owner)) mi.rcWork = anchor;   // centred on the owner
  int x = mi.rcWork.left + (mi.rcWork.width() - w) / 2, y = mi.rcWork.top + (mi.rcWork.height() - hgt) / 2;
  MONITORINFO screen;
  GetMonitorInfo(mon, screen);
  x = std::max(screen.rcWork.left, std::min(x, screen.rcWork.right - w));
  y = std::max(screen.rcWork.top, std::min(y, screen.rcWork.bottom - hgt));
  h_ = CreateWindowEx(ex, DIALOG_CLASS, title(), style, x, y, w, hgt, owner, HMENU{}, this);
  if (is_null(h_)) {
    DeleteObject(font_);
    return IDCANCEL;
  }
  build();
  // Task-modal: every other top level waits.
  std::vector<HWND> disabled;
  for (HWND t : top_levels())
    if (t != h_ && IsWindowEnabled(t)) {
      EnableWindow(t, false);
      disabled.push_back(t);
    }
  ReleaseCapture();
  g_running.push_back(h_);
  ShowWindow(h_, SW_SHOW);
  SetActiveWindow(h_);
  HWND first = first_focus();
  if (is_null(first)) {
    tab(false);
  } else {
    SetFocus(first);
    if (GetClassName(first) == "EDIT") SendMessage(first, EM_SETSEL, 0, -1);
  }
  bool quit = false;
  int quit_code = 0;
  while (!done_ && IsWindow(h_)) {
    MSG m;
    int got = GetMessage(m, HWND{}, 0, 0);
    if (got == 0) {
      quit = true;
      quit_code = int(m.wParam);
      break;
    }
    if (got < 0) break;
    if (pre_translate(m)) continue;
    TranslateMessage(m);
    DispatchMessage(m);
  }
  for (HWND t : disabled)
    if (IsWindow(t)) EnableWindow(t, true);
  g_running.erase(std::remove(g_running.begin(), g_running.end(), h_), g_running.end());
  if (IsWindow(h_)) {
    SetWindowLong(h_, GWLP_USERDATA, 0);
    DestroyWindow(h_);
  }
  if (IsWindow(owner)) SetActiveWindow(owner);
  DeleteObject(font_);
  h_ = HWND{};
  // The quit that ended the loop is the outer loop's.
  if (quit) PostQuitMessage(quit_code);
  return done_ ? code_ : IDCANCEL;
}

}  // namespace vyr::win::dialogs
