// Classes and windows: registration, creation and destruction in Win32's message order,
// the default procedure, geometry (SetWindowPos, deferred batches, ShowWindow) and the
// window tree. Every call refuses a dead handle.
#include <algorithm>
#include <cstring>

#include <cairo.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include "gui/win/internal.h"
#include "gui/win/theme.h"
#include "gui/win/scrollbar.h"
#include "gui/win/menubar.h"

namespace vyr::win {
using namespace detail;

namespace detail {

static state* g_state = nullptr;

state& st() { return *g_state; }
bool installed() { return g_state != nullptr; }
window* win_of(HWND h) { return g_state ? g_state->windows.get(raw(h)) : nullptr; }

window::~window() { free_window_paint(this); }

window* top_of(window* w) {
  while (w && !is_null(w->parent)) w = win_of(w->parent);
  return w;
}

std::string lower(std::string_view s) {
  std::string r(s);
  for (auto& c : r) if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return r;
}

static const menu_bar_ops* g_menu_ops = nullptr;
const menu_bar_ops* menu_ops() { return g_menu_ops; }

// What the display draws around a top level (its window manager's frame).
static RECT display_frame(const window* w) {
  if (!is_null(w->parent) || (w->style & WS_MINIMIZE) || !g_state->disp) return {};
  return g_state->disp->frame_extents(w->style, w->exstyle);
}

// The height of a top level's menu bar inside the display's frame `f`; 0 without one.
static int band_height(const window* w, RECT f) {
  if (!is_null(w->parent) || is_null(w->menu) || (w->style & (WS_MINIMIZE | WS_CHILD)) || !g_menu_ops ||
      !g_menu_ops->valid(w->menu))
    return 0;
  int width = std::max(0, w->rect.width() - f.left - f.right);
  return std::max(0, g_menu_ops->height(w->menu, width, w->dpi));
}

RECT menu_band(const window* w) {
  RECT f = display_frame(w);
  int b = band_height(w, f);
  if (b == 0) return {};
  return {f.left, f.top, std::max(f.left, w->rect.width() - f.right), add32(f.top, b)};
}

RECT frame_of(const window* w) {
  RECT f;
  if (is_null(w->parent)) {
    f = display_frame(w);
    f.top = add32(f.top, band_height(w, f));
  } else {
    if (w->style & WS_BORDER) f = {1, 1, 1, 1};
    if (w->exstyle & WS_EX_CLIENTEDGE) { f.left += 2; f.top += 2; f.right += 2; f.bottom += 2; }
  }
  if (w->bars[SB_VERT].shown) f.right += GetSystemMetricsForDpi(SM_CXVSCROLL, w->dpi);
  if (w->bars[SB_HORZ].shown) f.bottom += GetSystemMetricsForDpi(SM_CYHSCROLL, w->dpi);
  return f;
}

RECT client_rect_in_window(const window* w) {
  RECT f = frame_of(w);
  RECT r{f.left, f.top, w->rect.width() - f.right, w->rect.height() - f.bottom};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

RECT shown_in_window(const window* w) {
  RECT c = client_rect_in_window(w);
  RECT b = menu_band(w);
  if (!b.empty()) c.top = std::min(c.top, b.top);
  return c;
}

POINT client_origin_screen(const window* w) {
  RECT c = client_rect_in_window(w);
  POINT p{add32(w->rect.left, c.left), add32(w->rect.top, c.top)};
  if (!is_null(w->parent)) {
    if (window* pw = win_of(w->parent)) {
      POINT o = client_origin_screen(pw);
      p.x = add32(p.x, o.x);
      p.y = add32(p.y, o.y);
    }
  }
  return p;
}

}  // namespace detail

RECT display::frame_extents(uint32_t style, uint32_t exstyle) {
  if ((style & WS_CAPTION) == WS_CAPTION) return {8, 31, 8, 8};
  if (style & WS_THICKFRAME) return {8, 8, 8, 8};
  if (style & WS_BORDER) return {1, 1, 1, 1};
  return {};
}

void set_menu_bar_ops(const menu_bar_ops* ops) { g_menu_ops = ops; }

static LRESULT desktop_proc(HWND, uint32_t, WPARAM, LPARAM) { return 0; }
static HWND g_desktop{};

void install(std::unique_ptr<display> d) {
  if (g_state) shutdown();
  g_state = new state;
  g_state->disp = std::move(d);
  // Made before any other thread can post, so that posting threads only ever read it.
  g_state->wake_fd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  auto dw = std::make_unique<window>();
  dw->proc = desktop_proc;
  dw->cls = "#32769";
  RECT all;
  for (auto& m : g_state->disp->monitors()) {
    all.left = std::min(all.left, m.rect.left);
    all.top = std::min(all.top, m.rect.top);
    all.right = std::max(all.right, m.rect.right);
    all.bottom = std::max(all.bottom, m.rect.bottom);
  }
  dw->rect = all;
  dw->style = WS_VISIBLE;
  g_desktop = HWND{g_state->windows.add(std::move(dw))};
  win_of(g_desktop)->self = g_desktop;
  g_state->cursor_pos = g_state->disp->cursor_pos();
}

display* current_display() { return g_state ? g_state->disp.get() : nullptr; }

void shutdown() {
  if (!g_state) return;
  auto tops = g_state->tops;
  for (HWND h : tops) DestroyWindow(h);
  g_state->windows.clear();
  text_shutdown();
  g_state->dcs.each([](uint32_t, dc& d) {
    if (d.cr) cairo_destroy(d.cr);
    if (d.scratch) cairo_surface_destroy(d.scratch);
  });
  g_state->dcs.clear();
  if (g_state->wake_fd >= 0) ::close(g_state->wake_fd);
  delete g_state;
  g_state = nullptr;
  g_desktop = HWND{};
}

// ---- classes -------------------------------------------------------------------------------

bool RegisterClassEx(const WNDCLASSEX& wc) {
  if (!g_state || wc.lpszClassName.empty() || !wc.lpfnWndProc) return false;
  std::string key = lower(wc.lpszClassName);
  if (g_state->classes.count(key)) return false;
  g_state->classes[key] = window_class{wc};
  return true;
}

bool UnregisterClass(std::string_view name) {
  if (!g_state) return false;
  std::string key = lower(name);
  bool used = false;
  g_state->windows.each([&](uint32_t, window& w) { if (lower(w.cls) == key) used = true; });
  if (used) return false;
  return g_state->classes.erase(key) > 0;
}

bool GetClassInfoEx(std::string_view name, WNDCLASSEX& out) {
  if (!g_state) return false;
  auto it = g_state->classes.find(lower(name));
  if (it == g_state->classes.end()) return false;
  out = it->second.wc;
  return true;
}

// ---- windows -------------------------------------------------------------------------------

// A rectangle from a position and a size, worked out in 64 bits: a negative size is empty,
// and no edge passes the 32-bit range.
static RECT rect_of(int32_t x, int32_t y, int32_t cx, int32_t cy) {
  auto edge = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  return {x, y, edge(int64_t(x) + std::max(0, cx)), edge(int64_t(y) + std::max(0, cy))};
}

constexpr int32_t CW_USEDEFAULT = int32_t(0x80000000);

static uint32_t dpi_at(RECT r) {
  return GetDpiForMonitor(MonitorFromRect(r, MONITOR_DEFAULTTONEAREST));
}

HWND CreateWindowEx(uint32_t exstyle, std::string_view cls, std::string_view text, uint32_t style,
                    int32_t x, int32_t y, int32_t cx, int32_t cy, HWND parent, HMENU menu,
                    void* param) {
  if (!g_state) return HWND{};
  auto it = g_state->classes.find(lower(cls));
  if (it == g_state->classes.end()) return HWND{};
  const WNDCLASSEX& wc = it->second.wc;
  window* pw = win_of(parent);
  if ((style & WS_CHILD) && (!pw || parent == g_desktop)) return HWND{};
  if (x == CW_USEDEFAULT) { x = 100; y = 100; }
  if (cx == CW_USEDEFAULT) { cx = 640; cy = 480; }
  auto w = std::make_unique<window>();
  window* p = w.get();
  p->cls = wc.lpszClassName;
  p->cls_style = wc.style;
  p->proc = wc.lpfnWndProc;
  p->style = style & ~WS_VISIBLE;
  p->exstyle = exstyle;
  p->rect = rect_of(x, y, cx, cy);
  p->restore = p->rect;
  p->cls_cursor = wc.hCursor;
  p->background = wc.hbrBackground;
  if (style & WS_CHILD) {
    p->parent = parent;
    p->id = static_cast<uint32_t>(menu);
    p->dpi = pw->dpi;
  } else {
    if (pw && parent != g_desktop) p->owner = GetAncestor(parent, GA_ROOT);
    p->menu = menu;
    p->dpi = dpi_at(p->rect);
  }
  uint32_t h32 = g_state->windows.add(std::move(w));
  if (!h32) return HWND{};
  HWND h{h32};
  p->self = h;
  if (!(style & WS_CHILD)) {
    // A top level learns its limits before anything else; it is made no larger than them.
    MINMAXINFO mm = min_max_of(h);
    if (!(p = win_of(h))) return HWND{};
    p->rect.right = add32(p->rect.left, std::min(p->rect.width(), mm.ptMaxTrackSize.x));
    p->rect.bottom = add32(p->rect.top, std::min(p->rect.height(), mm.ptMaxTrackSize.y));
    p->restore = p->rect;
  }
  // Children start at the bottom of their siblings; top levels at the top.
  if (style & WS_CHILD) pw->children.push_back(h);
  else {
    g_state->tops.insert(g_state->tops.begin(), h);
    g_state->disp->create_top(h);
  }
  CREATESTRUCT cs;
  cs.lpCreateParams = param;
  cs.hMenu = menu;
  cs.hwndParent = parent;
  cs.x = x; cs.y = y; cs.cx = cx; cs.cy = cy;
  cs.style = style;
  cs.lpszName = std::string(text);
  cs.lpszClass = std::string(cls);
  cs.dwExStyle = exstyle;
  if (!SendMessage(h, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    DestroyWindow(h);
    return HWND{};
  }
  if (!IsWindow(h)) return HWND{};
  if (SendMessage(h, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(h);
    return HWND{};
  }
  if (!(p = win_of(h))) return HWND{};
  RECT c = client_rect_in_window(p);
  p->client_told = c;
  SendMessage(h, WM_SIZE, SIZE_RESTORED, MAKELPARAM(c.width(), c.height()));
  if ((p = win_of(h))) SendMessage(h, WM_MOVE, 0, MAKELPARAM(add32(p->rect.left, c.left), add32(p->rect.top, c.top)));
  if (!IsWindow(h)) return HWND{};
  if (style & WS_VISIBLE) {
    if (style & WS_MAXIMIZE) ShowWindow(h, SW_SHOWMAXIMIZED);
    else if (style & WS_MINIMIZE) ShowWindow(h, SW_SHOWMINIMIZED);
    else ShowWindow(h, SW_SHOW);
  }
  return IsWindow(h) ? h : HWND{};
}

bool IsWindow(HWND h) { return win_of(h) != nullptr; }

bool IsWindowVisible(HWND h) {
  for (window* w = win_of(h); w; w = win_of(w->parent)) {
    if (!(w->style & WS_VISIBLE)) return false;
    if (is_null(w->parent)) return true;
  }
  return false;
}

bool IsWindowEnabled(HWND h) {
  window* w = win_of(h);
  return w && !(w->style & WS_DISABLED);
}

bool IsChild(HWND parent, HWND h) {
  for (window* w = win_of(h); w && !is_null(w->parent); w = win_of(w->parent))
    if (w->parent == parent) return true;
  return false;
}

bool EnableWindow(HWND h, bool enable) {
  window* w = win_of(h);
  if (!w) return false;
  bool was_disabled = w->style & WS_DISABLED;
  if (was_disabled == !enable) return was_disabled;
  if (!enable) {
    if (g_state->focus == h || IsChild(h, g_state->focus)) SetFocus(HWND{});
    if (g_state->capture == h) ReleaseCapture();
  }
  if ((w = win_of(h))) {
    if (enable) w->style &= ~WS_DISABLED; else w->style |= WS_DISABLED;
    SendMessage(h, WM_ENABLE, enable, 0);
  }
  return was_disabled;
}

LRESULT SendMessage(HWND h, uint32_t m, WPARAM wp, LPARAM lp) {
  window* w = win_of(h);
  if (!w || !w->proc) return 0;
  return w->proc(h, m, wp, lp);
}

LRESULT CallWindowProc(WNDPROC proc, HWND h, uint32_t m, WPARAM wp, LPARAM lp) {
  if (!proc || !IsWindow(h)) return 0;
  return proc(h, m, wp, lp);
}

static void send_destroy(HWND h) {
  window* w = win_of(h);
  if (!w) return;
  if (g_state->focus == h) g_state->focus = HWND{};
  if (g_state->capture == h) g_state->capture = HWND{};
  if (g_state->tracking == h) g_state->tracking = HWND{};
  if (g_state->caret.hwnd == h) DestroyCaret();
  SendMessage(h, WM_DESTROY, 0, 0);
  if (!(w = win_of(h))) return;
  auto kids = w->children;
  for (HWND c : kids) send_destroy(c);
}

static void send_ncdestroy(HWND h) {
  window* w = win_of(h);
  if (!w) return;
  auto kids = w->children;
  for (HWND c : kids) send_ncdestroy(c);
  SendMessage(h, WM_NCDESTROY, 0, 0);
  // A top level's bar dies with it.
  if ((w = win_of(h)) && is_null(w->parent) && !is_null(w->menu)) {
    HMENU m = w->menu;
    w->menu = HMENU{};
    if (g_menu_ops && g_menu_ops->valid(m)) g_menu_ops->destroy(m);
  }
  auto& t = g_state->timers;
  t.erase(std::remove_if(t.begin(), t.end(), [&](const timer& x) { return x.hwnd == h; }), t.end());
  g_state->windows.remove(raw(h));
}

bool DestroyWindow(HWND h) {
  window* w = win_of(h);
  if (!w || w->destroying || h == g_desktop) return false;
  w->destroying = true;
  bool top = is_null(w->parent);
  // Owned top levels go first, as their owner disappears.
  if (top) {
    std::vector<HWND> owned;
    g_state->windows.each([&](uint32_t id, window& o) { if (o.owner == h) owned.push_back(HWND{id}); });
    for (HWND o : owned) DestroyWindow(o);
  }
  if ((w = win_of(h)) && (w->style & WS_VISIBLE))
    SetWindowPos(h, 0, 0, 0, 0, 0, SWP_HIDEWINDOW | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  bool was_active = g_state->active == h;
  send_destroy(h);
  if (!(w = win_of(h))) return true;
  HWND parent = w->parent;
  if (window* pw = win_of(parent)) {
    auto& c = pw->children;
    c.erase(std::remove(c.begin(), c.end(), h), c.end());
    mark_dirty(pw);
  } else {
    auto& t = g_state->tops;
    t.erase(std::remove(t.begin(), t.end(), h), t.end());
    g_state->disp->destroy_top(h);
  }
  if (g_state->active == h) g_state->active = HWND{};
  send_ncdestroy(h);
  if (was_active) {
    for (HWND t : g_state->tops)
      if (IsWindowVisible(t) && IsWindowEnabled(t)) { SetActiveWindow(t); break; }
  }
  return true;
}

// ---- the default procedure -----------------------------------------------------------------

LRESULT DefWindowProc(HWND h, uint32_t m, WPARAM wp, LPARAM lp) {
  window* w = win_of(h);
  if (!w) return 0;
  switch (m) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCT*>(lp);
      if (cs) w->text = cs->lpszName;
      return 1;
    }
    case WM_CLOSE: DestroyWindow(h); return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(h, ps);
      EndPaint(h, ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      if (w->background == NO_COLOR) return 0;
      // The button face of a class under the dark theme is the dark palette's face, which
      // the controls on it take too.
      COLORREF c = w->background;
      if (c == theme::sys_color(COLOR_BTNFACE) && dark_theme(h)) c = theme_color(h, theme::part::face);
      RECT r;
      GetClientRect(h, r);
      FillRect(HDC(wp), r, c);
      return 1;
    }
    case WM_SETTEXT:
      w->text = lp ? reinterpret_cast<const char*>(lp) : "";
      if (is_null(w->parent)) g_state->disp->place_top(h);
      return 1;
    case WM_GETTEXTLENGTH: return static_cast<LRESULT>(w->text.size());
    case WM_GETTEXT: return copy_text(w->text, wp, lp);
    case WM_SETCURSOR: {
      // The parent goes first and may claim the pointer by answering 1; the default
      // procedure sets its class cursor but answers 0, so a child still sets its own.
      if (!is_null(w->parent) && SendMessage(w->parent, WM_SETCURSOR, wp, lp)) return 1;
      if ((w = win_of(h)) && LOWORD(lp) == HTCLIENT)
        SetCursor(is_null(w->cls_cursor) ? LoadCursor(IDC_ARROW) : w->cls_cursor);
      return 0;
    }
    case WM_NCHITTEST: {
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      RECT wr;
      GetWindowRect(h, wr);
      if (!wr.contains(p)) return HTNOWHERE;
      RECT c = client_rect_in_window(w);
      POINT q{p.x - wr.left, p.y - wr.top};
      if (c.contains(q)) return HTCLIENT;
      if (w->bars[SB_VERT].shown && q.x >= c.right && q.y < c.bottom) return HTVSCROLL;
      if (w->bars[SB_HORZ].shown && q.y >= c.bottom && q.x < c.right) return HTHSCROLL;
      if (menu_band(w).contains(q)) return HTMENU;
      if (is_null(w->parent) && (w->style & WS_CAPTION) == WS_CAPTION && q.y < c.top) return HTCAPTION;
      return HTBORDER;
    }
    case WM_MOUSEACTIVATE:
      if (!is_null(w->parent)) {
        LRESULT r = SendMessage(w->parent, WM_MOUSEACTIVATE, wp, lp);
        if (r) return r;
      }
      return 1;
    case WM_WINDOWPOSCHANGED: {
      auto* pos = reinterpret_cast<const WINDOWPOS*>(lp);
      RECT c = client_rect_in_window(w);
      if (!(pos->flags & 0x1000))
        SendMessage(h, WM_MOVE, 0, MAKELPARAM(add32(w->rect.left, c.left), add32(w->rect.top, c.top)));
      if ((w = win_of(h)) && (!(pos->flags & 0x800) || (pos->flags & SWP_STATECHANGED))) {
        uint32_t kind = (w->style & WS_MINIMIZE) ? SIZE_MINIMIZED
                      : (w->style & WS_MAXIMIZE) ? SIZE_MAXIMIZED : SIZE_RESTORED;
        SendMessage(h, WM_SIZE, kind, MAKELPARAM(c.width(), c.height()));
      }
      return 0;
    }
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE && !HIWORD(wp)) SetFocus(h);
      return 0;
    case WM_SYSCOMMAND:
      switch (wp & 0xFFF0) {
        case SC_CLOSE: SendMessage(h, WM_CLOSE, 0, 0); break;
        case SC_MINIMIZE: ShowWindow(h, SW_MINIMIZE); break;
        case SC_MAXIMIZE: ShowWindow(h, SW_MAXIMIZE); break;
        case SC_RESTORE: ShowWindow(h, SW_RESTORE); break;
        case SC_KEYMENU: {
          // The keyboard's way into the bar of the top level, whichever window has the focus.
          HWND root = GetAncestor(h, GA_ROOT);
          window* r = win_of(root);
          if (r && !menu_band(r).empty()) g_menu_ops->key(root, uint32_t(lp));
          break;
        }
      }
      return 0;
    case WM_SYSKEYDOWN:
      if (wp == VK_F4 && (lp & (1 << 29))) {
        HWND root = GetAncestor(h, GA_ROOT);
        SendMessage(root, WM_SYSCOMMAND, SC_CLOSE, 0);
      }
      if (wp == VK_F10 && GetKeyState(VK_SHIFT) >= 0) g_state->f10_down = true;
      return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP: {
      // The bar opens when F10, or an Alt pressed alone, is released.
      bool alt = (wp == VK_MENU || wp == VK_LMENU || wp == VK_RMENU) && g_state->alt_alone;
      bool f10 = wp == VK_F10 && g_state->f10_down;
      g_state->alt_alone = g_state->f10_down = false;
      if (alt || f10) SendMessage(GetAncestor(h, GA_ROOT), WM_SYSCOMMAND, SC_KEYMENU, 0);
      return 0;
    }
    case WM_SYSCHAR:
      // Alt and a character: the bar item whose mnemonic it is.
      if ((lp & (1 << 29)) && wp != '\t' && wp != 0x1B && wp != ' ')
        SendMessage(GetAncestor(h, GA_ROOT), WM_SYSCOMMAND, SC_KEYMENU, LPARAM(wp));
      return 0;
    case WM_NCMOUSEMOVE:
      if (wp == HTMENU && !menu_band(w).empty()) g_menu_ops->hover(h, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}, true);
      return 0;
    case WM_NCMOUSELEAVE:
      if (!menu_band(w).empty()) g_menu_ops->hover(h, POINT{}, false);
      return 0;
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
      if (!is_null(w->parent)) return SendMessage(w->parent, m, wp, lp);
      return 0;
    case WM_NCLBUTTONDOWN:
      if (wp == HTMENU && !menu_band(w).empty()) {
        g_menu_ops->press(h, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        return 0;
      }
      if (wp == HTVSCROLL || wp == HTHSCROLL) {
        POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        ScreenToClient(h, p);
        scrollbar::track(h, wp == HTVSCROLL ? SB_VERT : SB_HORZ, p);
      }
      return 0;
    case WM_PRINTCLIENT:
      return 0;
  }
  return 0;
}

// ---- long values and text ------------------------------------------------------------------

window_extra* extra(HWND h) {
  window* w = win_of(h);
  return w ? &w->extra : nullptr;
}

control_state* GetControlState(HWND h) {
  window* w = win_of(h);
  return w ? w->control.get() : nullptr;
}

void SetControlState(HWND h, std::unique_ptr<control_state> c) {
  if (window* w = win_of(h)) w->control = std::move(c);
}

int64_t GetWindowLong(HWND h, int index) {
  window* w = win_of(h);
  if (!w) return 0;
  switch (index) {
    case GWLP_WNDPROC: return reinterpret_cast<int64_t>(w->proc);
    case GWL_STYLE: return static_cast<int32_t>(w->style);
    case GWL_EXSTYLE: return static_cast<int32_t>(w->exstyle);
    case GWLP_USERDATA: return w->user_data;
    case GWLP_ID: return w->id;
    case GWLP_HWNDPARENT: return raw(is_null(w->parent) ? w->owner : w->parent);
  }
  if (index < 0 || index % 4 || index + 4 > int(sizeof(window_extra))) return 0;
  int32_t v;
  std::memcpy(&v, reinterpret_cast<const char*>(&w->extra) + index, 4);
  return v;
}

int64_t SetWindowLong(HWND h, int index, int64_t value) {
  window* w = win_of(h);
  if (!w) return 0;
  int64_t old = GetWindowLong(h, index);
  switch (index) {
    case GWLP_WNDPROC: w->proc = reinterpret_cast<WNDPROC>(value); return old;
    case GWL_STYLE: w->style = static_cast<uint32_t>(value); return old;
    case GWL_EXSTYLE: w->exstyle = static_cast<uint32_t>(value); return old;
    case GWLP_USERDATA: w->user_data = value; return old;
    case GWLP_ID: w->id = static_cast<uint32_t>(value); return old;
  }
  if (index < 0 || index % 4 || index + 4 > int(sizeof(window_extra))) return 0;
  uint32_t v = static_cast<uint32_t>(value);
  std::memcpy(reinterpret_cast<char*>(&w->extra) + index, &v, 4);
  return old;
}

std::string GetClassName(HWND h) {
  window* w = win_of(h);
  return w ? w->cls : std::string();
}

bool SetWindowText(HWND h, std::string_view text) {
  if (!IsWindow(h)) return false;
  std::string s(text);
  return SendMessage(h, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(s.c_str())) != 0;
}

std::string GetWindowText(HWND h) {
  if (!IsWindow(h)) return {};
  // Asked, not read: a control keeps its text itself.
  LRESULT n = SendMessage(h, WM_GETTEXTLENGTH, 0, 0);
  if (n <= 0) return {};
  std::string s(size_t(n) + 1, '\0');
  LRESULT got = SendMessage(h, WM_GETTEXT, s.size(), reinterpret_cast<LPARAM>(s.data()));
  s.resize(size_t(std::clamp<LRESULT>(got, 0, n)));
  return s;
}

LRESULT copy_text(std::string_view text, WPARAM capacity, LPARAM buffer) {
  if (!buffer || capacity == 0) return 0;
  size_t n = std::min<size_t>(text.size(), capacity - 1);
  // Never half a character: step back over continuation bytes.
  while (n > 0 && n < text.size() && (uint8_t(text[n]) & 0xC0) == 0x80) --n;
  std::memcpy(reinterpret_cast<char*>(buffer), text.data(), n);
  reinterpret_cast<char*>(buffer)[n] = 0;
  return static_cast<LRESULT>(n);
}

// ---- the tree ------------------------------------------------------------------------------

HWND GetParent(HWND h) {
  window* w = win_of(h);
  if (!w) return HWND{};
  return is_null(w->parent) ? w->owner : w->parent;
}

HWND SetParent(HWND h, HWND parent) {
  window* w = win_of(h);
  window* np = win_of(parent);
  if (!w || (!is_null(parent) && !np) || h == parent || IsChild(h, parent)) return HWND{};
  HWND old = w->parent;
  if (window* op = win_of(old)) {
    auto& c = op->children;
    c.erase(std::remove(c.begin(), c.end(), h), c.end());
    mark_dirty(op);
  } else {
    auto& t = g_state->tops;
    t.erase(std::remove(t.begin(), t.end(), h), t.end());
    g_state->disp->destroy_top(h);
  }
  if (np && parent != g_desktop) {
    w->parent = parent;
    w->style = (w->style & ~WS_POPUP) | WS_CHILD;
    np->children.insert(np->children.begin(), h);
    mark_dirty(np);
  } else {
    w->parent = HWND{};
    w->style &= ~WS_CHILD;
    g_state->tops.insert(g_state->tops.begin(), h);
    g_state->disp->create_top(h);
    if (w->style & WS_VISIBLE) g_state->disp->show_top(h, true);
  }
  InvalidateRect(h, nullptr, true);
  return is_null(old) ? g_desktop : old;
}

HWND GetAncestor(HWND h, int flags) {
  window* w = win_of(h);
  if (!w || h == g_desktop) return HWND{};
  if (flags == GA_PARENT) return is_null(w->parent) ? g_desktop : w->parent;
  while (!is_null(w->parent)) w = win_of(w->parent);
  if (flags == GA_ROOTOWNER)
    while (window* o = win_of(w->owner)) w = o;
  return w->self;
}

HWND GetDesktopWindow() { return g_desktop; }

std::vector<HWND> children(HWND h) {
  window* w = win_of(h);
  if (!w) return {};
  if (h == g_desktop) return g_state->tops;
  return w->children;
}

std::vector<HWND> top_levels() { return g_state ? g_state->tops : std::vector<HWND>{}; }

HWND GetWindow(HWND h, uint32_t cmd) {
  window* w = win_of(h);
  if (!w) return HWND{};
  if (cmd == GW_CHILD) return w->children.empty() ? HWND{} : w->children.front();
  if (cmd == GW_OWNER) return w->owner;
  const std::vector<HWND>* sib = &g_state->tops;
  if (window* p = win_of(w->parent)) sib = &p->children;
  auto it = std::find(sib->begin(), sib->end(), h);
  if (it == sib->end()) return HWND{};
  switch (cmd) {
    case GW_HWNDFIRST: return sib->front();
    case GW_HWNDLAST: return sib->back();
    case GW_HWNDNEXT: return it + 1 == sib->end() ? HWND{} : *(it + 1);
    case GW_HWNDPREV: return it == sib->begin() ? HWND{} : *(it - 1);
  }
  return HWND{};
}

bool GetWindowRect(HWND h, RECT& r) {
  window* w = win_of(h);
  if (!w) return false;
  r = w->rect;
  if (window* p = win_of(w->parent)) {
    POINT o = client_origin_screen(p);
    r = {add32(r.left, o.x), add32(r.top, o.y), add32(r.right, o.x), add32(r.bottom, o.y)};
  }
  return true;
}

bool GetClientRect(HWND h, RECT& r) {
  window* w = win_of(h);
  if (!w) return false;
  RECT c = client_rect_in_window(w);
  r = {0, 0, c.width(), c.height()};
  return true;
}

bool ClientToScreen(HWND h, POINT& p) {
  window* w = win_of(h);
  if (!w) return false;
  POINT o = client_origin_screen(w);
  p.x = add32(p.x, o.x);
  p.y = add32(p.y, o.y);
  return true;
}

bool ScreenToClient(HWND h, POINT& p) {
  window* w = win_of(h);
  if (!w) return false;
  POINT o = client_origin_screen(w);
  p.x = add32(p.x, -int64_t(o.x));
  p.y = add32(p.y, -int64_t(o.y));
  return true;
}

int MapWindowPoints(HWND from, HWND to, POINT* pts, int n) {
  POINT a{}, b{};
  if (window* f = win_of(from); f && from != g_desktop) a = client_origin_screen(f);
  if (window* t = win_of(to); t && to != g_desktop) b = client_origin_screen(t);
  int64_t dx = int64_t(a.x) - b.x, dy = int64_t(a.y) - b.y;
  for (int i = 0; i < n; ++i) { pts[i].x = add32(pts[i].x, dx); pts[i].y = add32(pts[i].y, dy); }
  return MAKELPARAM(int32_t(dx), int32_t(dy));
}

bool AdjustWindowRectExForDpi(RECT& r, uint32_t style, bool menu, uint32_t exstyle, uint32_t dpi) {
  RECT f;
  if (style & WS_CHILD) {
    if (style & WS_BORDER) f = {1, 1, 1, 1};
    if (exstyle & WS_EX_CLIENTEDGE) { f.left += 2; f.top += 2; f.right += 2; f.bottom += 2; }
    menu = false;
  } else if (g_state) {
    f = g_state->disp->frame_extents(style, exstyle);
  }
  int bar = menu ? GetSystemMetricsForDpi(SM_CYMENU, dpi) : 0;
  r = {add32(r.left, -int64_t(f.left)), add32(r.top, -int64_t(f.top) - bar), add32(r.right, f.right),
       add32(r.bottom, f.bottom)};
  return true;
}

bool AdjustWindowRectForMenu(RECT& r, uint32_t style, HMENU menu, uint32_t exstyle, uint32_t dpi) {
  bool bar = !is_null(menu) && !(style & WS_CHILD) && g_menu_ops && g_menu_ops->valid(menu);
  RECT c = r;
  AdjustWindowRectExForDpi(r, style, false, exstyle, dpi);
  if (bar) r.top = add32(r.top, -int64_t(std::max(0, g_menu_ops->height(menu, std::max(0, c.width()), dpi))));
  return true;
}

bool AdjustWindowRectEx(RECT& r, uint32_t style, bool menu, uint32_t exstyle) {
  return AdjustWindowRectExForDpi(r, style, menu, exstyle, g_state ? GetDpiForMonitor(HMONITOR{1}) : 96);
}

bool SetMenu(HWND h, HMENU m) {
  window* w = win_of(h);
  if (!w || !is_null(w->parent) || (w->style & WS_CHILD)) return false;
  if (!is_null(m) && !(g_menu_ops && g_menu_ops->valid(m))) return false;
  w->menu = m;
  SetWindowPos(h, 0, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  return true;
}

HMENU GetMenu(HWND h) {
  window* w = win_of(h);
  return w && is_null(w->parent) ? w->menu : HMENU{};
}

// The bar's items changed: it is laid out again, and may take more or fewer rows.
bool DrawMenuBar(HWND h) {
  window* w = win_of(h);
  if (!w || menu_band(w).empty()) return false;
  SetWindowPos(h, 0, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  return true;
}

RECT shown_rect(HWND h) {
  window* w = win_of(h);
  if (!w) return {};
  RECT s = shown_in_window(w);
  RECT wr;
  GetWindowRect(h, wr);
  return {add32(wr.left, s.left), add32(wr.top, s.top), add32(wr.left, s.right), add32(wr.top, s.bottom)};
}

// ---- geometry ------------------------------------------------------------------------------

static void restack(window* w, uint32_t after) {
  std::vector<HWND>* sib = &g_state->tops;
  if (window* p = win_of(w->parent)) sib = &p->children;
  auto it = std::find(sib->begin(), sib->end(), w->self);
  if (it == sib->end()) return;
  sib->erase(it);
  if (after == HWND_BOTTOM) sib->push_back(w->self);
  else if (after == HWND_TOP || after == HWND_TOPMOST || after == HWND_NOTOPMOST) sib->insert(sib->begin(), w->self);
  else {
    auto at = std::find(sib->begin(), sib->end(), HWND{after});
    if (at == sib->end()) sib->insert(sib->begin(), w->self);
    else sib->insert(at + 1, w->self);
  }
  if (after == HWND_TOPMOST) w->exstyle |= WS_EX_TOPMOST;
  if (after == HWND_NOTOPMOST) w->exstyle &= ~WS_EX_TOPMOST;
}

bool SetWindowPos(HWND h, uint32_t after, int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t flags) {
  window* w = win_of(h);
  if (!w || h == g_desktop) return false;
  WINDOWPOS wp{h, after, x, y, cx, cy, flags};
  if (flags & SWP_NOMOVE) { wp.x = w->rect.left; wp.y = w->rect.top; }
  if (flags & SWP_NOSIZE) { wp.cx = w->rect.width(); wp.cy = w->rect.height(); }
  if (!(flags & SWP_NOSENDCHANGING)) {
    SendMessage(h, WM_WINDOWPOSCHANGING, 0, reinterpret_cast<LPARAM>(&wp));
    if (!(w = win_of(h))) return false;
  }
  RECT old = w->rect;
  RECT old_client = (flags & SWP_FRAMECHANGED) ? w->client_told : client_rect_in_window(w);
  RECT nr = rect_of(wp.x, wp.y, wp.cx, wp.cy);
  bool moved = nr.left != old.left || nr.top != old.top;
  bool sized = nr.width() != old.width() || nr.height() != old.height();
  w->rect = nr;
  bool was_visible = w->style & WS_VISIBLE;
  if (wp.flags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
  if (wp.flags & SWP_HIDEWINDOW) w->style &= ~WS_VISIBLE;
  bool vis_changed = was_visible != bool(w->style & WS_VISIBLE);
  if (!(wp.flags & SWP_NOZORDER)) restack(w, wp.hwndInsertAfter);
  RECT nc = client_rect_in_window(w);
  w->client_told = nc;
  bool client_sized = nc.width() != old_client.width() || nc.height() != old_client.height();
  if (client_sized || (wp.flags & SWP_FRAMECHANGED)) {
    free_window_paint(w);
    InvalidateRect(h, nullptr, true);
  }
  if (vis_changed && (w->style & WS_VISIBLE)) InvalidateRect(h, nullptr, true);
  if (vis_changed && !(w->style & WS_VISIBLE)) {
    if (g_state->focus == h || IsChild(h, g_state->focus)) g_state->focus = HWND{};
    if (g_state->capture == h || IsChild(h, g_state->capture)) ReleaseCapture();
  }
  if (!(w = win_of(h))) return true;
  mark_dirty(w);
  if (is_null(w->parent)) {
    if (moved || sized || (wp.flags & (SWP_FRAMECHANGED | SWP_STATECHANGED))) g_state->disp->place_top(h);
    if (vis_changed) g_state->disp->show_top(h, w->style & WS_VISIBLE);
    if (moved || sized) w->dpi = dpi_at(w->rect);
  } else if (window* p = win_of(w->parent)) {
    mark_dirty(p);
  }
  bool state_changed = wp.flags & SWP_STATECHANGED;
  if (moved || sized || vis_changed || state_changed || !(wp.flags & SWP_NOZORDER) ||
      (wp.flags & SWP_FRAMECHANGED)) {
    WINDOWPOS done = wp;
    done.x = w->rect.left; done.y = w->rect.top; done.cx = w->rect.width(); done.cy = w->rect.height();
    if (!moved) done.flags |= SWP_NOMOVE | 0x1000;   // no client move
    if (!sized && !client_sized) done.flags |= SWP_NOSIZE | 0x800;   // no client size
    SendMessage(h, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&done));
  }
  if (!(wp.flags & SWP_NOACTIVATE) && IsWindow(h) && is_null(win_of(h)->parent) &&
      (win_of(h)->style & WS_VISIBLE) && !(win_of(h)->exstyle & WS_EX_NOACTIVATE) &&
      (vis_changed || !(wp.flags & SWP_NOZORDER)))
    SetActiveWindow(h);
  return true;
}

bool MoveWindow(HWND h, int32_t x, int32_t y, int32_t cx, int32_t cy, bool repaint) {
  return SetWindowPos(h, 0, x, y, cx, cy, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

HDWP BeginDeferWindowPos(int n) {
  if (!g_state || n < 0) return HDWP{};
  g_state->defer_batches.emplace_back();
  g_state->defer_batches.back().reserve(static_cast<size_t>(n));
  return HDWP(static_cast<uint32_t>(g_state->defer_batches.size()));
}

HDWP DeferWindowPos(HDWP d, HWND h, uint32_t after, int32_t x, int32_t y, int32_t cx, int32_t cy, uint32_t flags) {
  uint32_t i = static_cast<uint32_t>(d);
  if (!g_state || i == 0 || i > g_state->defer_batches.size() || !IsWindow(h)) return HDWP{};
  g_state->defer_batches[i - 1].push_back({h, WINDOWPOS{h, after, x, y, cx, cy, flags}});
  return d;
}

// The batch is applied in the order it was given, once; only the innermost batch may end.
bool EndDeferWindowPos(HDWP d) {
  uint32_t i = static_cast<uint32_t>(d);
  if (!g_state || i == 0 || i != g_state->defer_batches.size()) return false;
  auto batch = std::move(g_state->defer_batches.back());
  g_state->defer_batches.pop_back();
  for (auto& [h, p] : batch) SetWindowPos(h, p.hwndInsertAfter, p.x, p.y, p.cx, p.cy, p.flags);
  return true;
}

static RECT work_area_of(window* w) {
  MONITORINFO mi;
  GetMonitorInfo(MonitorFromRect(w->rect, MONITOR_DEFAULTTONEAREST), mi);
  RECT r = mi.rcWork;
  RECT f = g_state->disp->frame_extents(w->style & ~WS_MINIMIZE, w->exstyle);
  return {r.left - f.left, r.top - f.top, r.right + f.right, r.bottom + f.bottom};
}

namespace detail {
// The size limits of a top level: the defaults, then what its procedure says.
MINMAXINFO min_max_of(HWND h) {
  MINMAXINFO mm;
  window* w = win_of(h);
  if (!w) return mm;
  RECT work = work_area_of(w);
  RECT f = g_state->disp->frame_extents(w->style & ~WS_MINIMIZE, w->exstyle);
  mm.ptMaxSize = {work.width(), work.height()};
  mm.ptMaxPosition = {-f.left, -f.top};
  mm.ptMinTrackSize = {GetSystemMetricsForDpi(SM_CXMINTRACK, w->dpi), GetSystemMetricsForDpi(SM_CYMINTRACK, w->dpi)};
  RECT all = win_of(g_desktop)->rect;
  mm.ptMaxTrackSize = {all.width() + f.left + f.right, all.height() + f.top + f.bottom};
  SendMessage(h, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mm));
  return mm;
}
}  // namespace detail

bool ShowWindow(HWND h, int cmd) {
  window* w = win_of(h);
  if (!w) return false;
  bool was_visible = w->style & WS_VISIBLE;
  bool top = is_null(w->parent);
  uint32_t base = SWP_NOZORDER | SWP_NOACTIVATE;
  auto show_msg = [&](bool on) {
    if (on != was_visible) SendMessage(h, WM_SHOWWINDOW, on, 0);
    return IsWindow(h);
  };
  switch (cmd) {
    case SW_HIDE: {
      if (!was_visible) return false;
      if (!show_msg(false)) return true;
      bool active = g_state->active == h;
      SetWindowPos(h, 0, 0, 0, 0, 0, base | SWP_NOMOVE | SWP_NOSIZE | SWP_HIDEWINDOW);
      if (active) {
        g_state->active = HWND{};
        for (HWND t : g_state->tops)
          if (t != h && IsWindowVisible(t)) { SetActiveWindow(t); break; }
      }
      return true;
    }
    case SW_SHOWMINIMIZED:
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE: {
      if (!show_msg(true)) return true;
      uint32_t f = base | SWP_SHOWWINDOW;
      if (!(w->style & WS_MINIMIZE)) {
        if (!(w->style & WS_MAXIMIZE)) w->restore = w->rect;
        w->style = (w->style | WS_MINIMIZE) & ~WS_MAXIMIZE;
        f |= SWP_STATECHANGED | SWP_FRAMECHANGED;
      }
      SetWindowPos(h, 0, w->rect.left, w->rect.top, w->rect.width(), w->rect.height(), f);
      if (top && g_state->active == h && cmd != SW_SHOWMINIMIZED) {
        for (HWND t : g_state->tops)
          if (t != h && IsWindowVisible(t) && !IsIconic(t)) { SetActiveWindow(t); break; }
      }
      return was_visible;
    }
    case SW_MAXIMIZE: {
      if (!show_msg(true)) return true;
      uint32_t f = SWP_NOZORDER | SWP_SHOWWINDOW;
      if (!(w->style & WS_MAXIMIZE) && top) {
        if (!(w->style & WS_MINIMIZE)) w->restore = w->rect;
        w->style = (w->style | WS_MAXIMIZE) & ~WS_MINIMIZE;
        f |= SWP_STATECHANGED | SWP_FRAMECHANGED;
      }
      RECT r = w->rect;
      if (top) {
        MINMAXINFO mm = min_max_of(h);
        if (!(w = win_of(h))) return true;
        MONITORINFO mi;
        GetMonitorInfo(MonitorFromRect(w->rect, MONITOR_DEFAULTTONEAREST), mi);
        r.left = add32(mi.rcWork.left, mm.ptMaxPosition.x);
        r.top = add32(mi.rcWork.top, mm.ptMaxPosition.y);
        r.right = add32(r.left, std::max(0, mm.ptMaxSize.x));
        r.bottom = add32(r.top, std::max(0, mm.ptMaxSize.y));
      }
      SetWindowPos(h, 0, r.left, r.top, r.width(), r.height(), f);
      return was_visible;
    }
    case SW_RESTORE:
    case SW_SHOWNORMAL:
    case SW_SHOWDEFAULT: {
      if (!show_msg(true)) return true;
      uint32_t f = SWP_NOZORDER | SWP_SHOWWINDOW;
      RECT r = w->rect;
      if (w->style & (WS_MINIMIZE | WS_MAXIMIZE)) {
        w->style &= ~(WS_MINIMIZE | WS_MAXIMIZE);
        r = w->restore;
        f |= SWP_STATECHANGED | SWP_FRAMECHANGED;
      }
      SetWindowPos(h, 0, r.left, r.top, r.width(), r.height(), f);
      return was_visible;
    }
    case SW_SHOW:
      if (!show_msg(true)) return true;
      SetWindowPos(h, 0, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
      return was_visible;
    case SW_SHOWNA:
    case SW_SHOWNOACTIVATE:
      if (!show_msg(true)) return true;
      SetWindowPos(h, 0, 0, 0, 0, 0, base | SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
      return was_visible;
  }
  return was_visible;
}

bool IsIconic(HWND h) { window* w = win_of(h); return w && (w->style & WS_MINIMIZE); }
bool IsZoomed(HWND h) { window* w = win_of(h); return w && (w->style & WS_MAXIMIZE); }

static HWND child_at(window* w, POINT client, uint32_t flags) {
  for (HWND c : w->children) {
    window* cw = win_of(c);
    if (!cw) continue;
    if ((flags & CWP_SKIPINVISIBLE) && !(cw->style & WS_VISIBLE)) continue;
    if ((flags & CWP_SKIPDISABLED) && (cw->style & WS_DISABLED)) continue;
    if ((flags & CWP_SKIPTRANSPARENT) && (cw->exstyle & WS_EX_TRANSPARENT)) continue;
    if (cw->rect.contains(client)) return c;
  }
  return HWND{};
}

HWND ChildWindowFromPointEx(HWND h, POINT client, uint32_t flags) {
  window* w = win_of(h);
  if (!w) return HWND{};
  RECT r;
  GetClientRect(h, r);
  if (!r.contains(client)) return HWND{};
  HWND c = child_at(w, client, flags);
  return is_null(c) ? h : c;
}

// The child of `w` at client point `q` (screen point `p`) that takes the pointer: visible,
// not WS_EX_TRANSPARENT, and not answering HTTRANSPARENT to its hit test (a group box's
// frame, a label); a child that lets the pointer through leaves it to those below.
static HWND child_through(window* w, POINT q, POINT p) {
  auto kids = w->children;
  for (HWND c : kids) {
    window* cw = win_of(c);
    if (!cw || !(cw->style & WS_VISIBLE) || (cw->exstyle & WS_EX_TRANSPARENT) || !cw->rect.contains(q)) continue;
    if (!(cw->style & WS_DISABLED) && SendMessage(c, WM_NCHITTEST, 0, MAKELPARAM(p.x, p.y)) == HTTRANSPARENT)
      continue;
    return c;
  }
  return HWND{};
}

HWND WindowFromPoint(POINT p) {
  if (!g_state) return HWND{};
  for (HWND t : g_state->tops) {
    window* w = win_of(t);
    if (!w || !(w->style & WS_VISIBLE) || (w->style & WS_MINIMIZE) || !w->rect.contains(p)) continue;
    HWND h = t;
    for (;;) {
      POINT q = p;
      ScreenToClient(h, q);
      window* cur = win_of(h);
      RECT c;
      GetClientRect(h, c);
      if (!c.contains(q)) break;
      HWND c2 = child_through(cur, q, p);
      if (is_null(c2)) break;
      if (!IsWindowEnabled(c2)) { h = c2; break; }
      h = c2;
    }
    return h;
  }
  return HWND{};
}

}  // namespace vyr::win
