// The modal loop of menus, for the bar and for pop-ups alike: levels of open menus (the bar,
// then a pop-up window per open menu), the pointer and the keyboard taken while it runs (the
// owner holds the capture, the display grabs), everything else dispatched as usual so that
// paint, timers and posted messages go on. A click outside closes the menu and goes no
// further; the release of the right button that opened a pop-up never chooses.
#include <algorithm>
#include <cstdio>
#include <deque>
#include <map>
#include <utility>

#include "gui/win/display.h"
#include "gui/win/internal.h"
#include "gui/win/menubar.h"
#include "gui/win/menus/menu_impl.h"
#include "gui/win/theme.h"

namespace vyr::win {

namespace menus::detail {

namespace {

// Posted to the owner while a played path runs: the next item of the path.
constexpr uint32_t WM_MENU_STEP = 0x01E5;
constexpr uintptr_t SUBMENU_TIMER = 0xE001;
// SC_KEYMENU's key that starts a played path.
constexpr uint32_t PLAY_KEY = 0xFFFFFFFFu;
constexpr const char* POPUP_CLASS = "#32768";

struct level {
  HMENU menu{};
  HWND wnd{};       // the pop-up window; null for the bar
  int hot = -1;
  int open = -1;    // the item whose submenu is the next level
};

struct tracker {
  HWND owner{}, top{};
  bool bar = false;            // level 0 is the bar of `top`
  bool popup_call = false;     // run by TrackPopupMenuEx
  uint32_t flags = 0;
  uint32_t dpi = 96;
  std::vector<level> levels;
  bool done = false;
  bool chosen = false;
  uint32_t chosen_id = 0;
  bool cues = false;           // the keyboard is in use: mnemonics show
  bool right_held = false;     // the right button that opened the pop-up is still down
  std::deque<int> script;      // the positions of a played path still to come
  size_t script_level = 0;
  uint32_t last_select = ~0u;  // the last WM_MENUSELECT's wParam and menu
  HMENU last_select_menu{};
  uint32_t swallow = 0;        // a press ended the menu: the virtual key of its button
};

tracker* g_active = nullptr;
std::map<HWND, int> g_hover;                                // bars' items under the pointer
std::deque<std::pair<HWND, std::vector<int>>> g_played;     // paths waiting for their bar
popup_answerer g_answerer;

bool notify(const tracker& t) { return !(t.flags & TPM_NONOTIFY); }

menu* level_menu(const level& l) { return menu_of(l.menu); }

bool selectable(const menu* m, int k) {
  return m && k >= 0 && size_t(k) < m->items.size() && !m->items[size_t(k)].separator();
}

// The screen rectangle of the band of `top`, and its geometry.
RECT band_screen(HWND top) {
  win::detail::window* w = win::detail::win_of(top);
  if (!w) return {};
  RECT b = win::detail::menu_band(w);
  RECT wr;
  GetWindowRect(top, wr);
  return RECT{add32(wr.left, b.left), add32(wr.top, b.top), add32(wr.left, b.right), add32(wr.top, b.bottom)};
}

void redraw_level(tracker& t, size_t L) {
  if (L >= t.levels.size()) return;
  if (is_null(t.levels[L].wnd)) RedrawWindow(t.top, nullptr, RDW_FRAME);
  else InvalidateRect(t.levels[L].wnd, nullptr, false);
}

void send_select(tracker& t, size_t L, int k, bool mouse) {
  menu* m = level_menu(t.levels[L]);
  if (!selectable(m, k) || !notify(t)) return;
  const item& i = m->items[size_t(k)];
  uint32_t flags = MF_HILITE | (is_null(i.sub) ? 0 : MF_POPUP) | (mouse ? MF_MOUSESELECT : 0) |
                   (i.disabled() ? MF_GRAYED | MF_DISABLED : 0) | ((i.state & MFS_CHECKED) ? MF_CHECKED : 0);
  uint32_t id = is_null(i.sub) ? i.id : uint32_t(k);
  uint32_t wp = (id & 0xFFFF) | (flags << 16);
  t.last_select = wp;
  t.last_select_menu = t.levels[L].menu;
  SendMessage(t.owner, WM_MENUSELECT, wp, LPARAM(uint32_t(t.levels[L].menu)));
}

void set_hot(tracker& t, size_t L, int k, bool mouse) {
  if (L >= t.levels.size()) return;
  menu* m = level_menu(t.levels[L]);
  if (!selectable(m, k)) k = -1;
  if (t.levels[L].hot == k) return;
  t.levels[L].hot = k;
  redraw_level(t, L);
  if (k >= 0) send_select(t, L, k, mouse);
}

void close_from(tracker& t, size_t L) {
  while (t.levels.size() > L) {
    HWND w = t.levels.back().wnd;
    t.levels.pop_back();
    if (IsWindow(w)) DestroyWindow(w);
  }
  if (L > 0 && L - 1 < t.levels.size()) {
    t.levels[L - 1].open = -1;
    redraw_level(t, L - 1);
  }
}

// The work area of the monitor nearest a point.
RECT work_at(POINT p) {
  MONITORINFO mi;
  GetMonitorInfo(MonitorFromPoint(p, MONITOR_DEFAULTTONEAREST), mi);
  return mi.rcWork;
}

// A pop-up window for `h` at screen point (x, y), kept on its monitor.
HWND make_popup(tracker& t, HMENU h, RECT anchor, bool beside) {
  menu* m = menu_of(h);
  if (!m) return HWND{};
  SIZE sz = popup_layout(*m, t.dpi).size;
  POINT at{anchor.left, anchor.top};
  RECT work = work_at(at);
  int x = anchor.left, y = anchor.top;
  if (beside) {
    // A submenu: to the right of its item, else to the left of its parent.
    if (add32(x, sz.cx) > work.right) x = add32(anchor.right, -int64_t(sz.cx));
  } else if (!t.bar) {
    // The pop-up of TrackPopupMenuEx, aligned on its point as asked, flipped when it would
    // leave the monitor.
    if (t.flags & TPM_RIGHTALIGN) x = add32(x, -int64_t(sz.cx));
    else if (t.flags & TPM_CENTERALIGN) x = add32(x, -int64_t(sz.cx) / 2);
    if (t.flags & TPM_BOTTOMALIGN) y = add32(y, -int64_t(sz.cy));
    else if (t.flags & TPM_VCENTERALIGN) y = add32(y, -int64_t(sz.cy) / 2);
    if (add32(x, sz.cx) > work.right && add32(anchor.left, -int64_t(sz.cx)) >= work.left)
      x = add32(anchor.left, -int64_t(sz.cx));
    if (add32(y, sz.cy) > work.bottom && add32(anchor.top, -int64_t(sz.cy)) >= work.top)
      y = add32(anchor.top, -int64_t(sz.cy));
  } else {
    // A bar's menu: below its item, above it when there is no room below.
    y = anchor.bottom;
    if (add32(y, sz.cy) > work.bottom && add32(anchor.top, -int64_t(sz.cy)) >= work.top)
      y = add32(anchor.top, -int64_t(sz.cy));
  }
  x = std::max(work.left, std::min(x, add32(work.right, -int64_t(sz.cx))));
  y = std::max(work.top, std::min(y, add32(work.bottom, -int64_t(sz.cy))));
  HWND w = CreateWindowEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE, POPUP_CLASS, "", WS_POPUP, x, y,
                          sz.cx, sz.cy, t.owner, HMENU{}, nullptr);
  if (!is_null(w)) ShowWindow(w, SW_SHOWNA);
  return w;
}

// Opens the submenu of the lit item of level L; its first item lit when `first` (the
// keyboard opens so).
void open_sub(tracker& t, size_t L, bool first) {
  if (L >= t.levels.size()) return;
  level& l = t.levels[L];
  menu* m = level_menu(l);
  if (!selectable(m, l.hot)) return;
  const item& i = m->items[size_t(l.hot)];
  if (is_null(i.sub) || !menu_of(i.sub)) return;
  if (t.levels.size() > L + 1 && l.open == l.hot) {
    if (first && t.levels[L + 1].hot < 0) set_hot(t, L + 1, 0, false);
    return;
  }
  close_from(t, L + 1);
  RECT anchor;
  bool beside = !is_null(t.levels[L].wnd);
  if (!beside) {
    RECT b = band_screen(t.top);
    RECT r = bar_layout(*m, b.width(), t.dpi).items[size_t(l.hot)];
    anchor = RECT{add32(b.left, r.left), add32(b.top, r.top), add32(b.left, r.right), add32(b.top, r.bottom)};
  } else {
    RECT pr;
    GetWindowRect(l.wnd, pr);
    RECT r = popup_layout(*m, t.dpi).items[size_t(l.hot)];
    int edge = r.left;
    // Right of the parent, the first item level with this one; `right` of the anchor is
    // where the submenu ends when it has to go left.
    anchor = RECT{add32(pr.right, -int64_t(edge)), add32(pr.top, r.top - edge), add32(pr.left, edge), 0};
  }
  HWND w = make_popup(t, i.sub, anchor, beside);
  if (is_null(w)) return;
  t.levels[L].open = t.levels[L].hot;
  t.levels.push_back(level{i.sub, w, -1, -1});
  redraw_level(t, L);
  if (first) {
    menu* sm = menu_of(i.sub);
    for (size_t k = 0; sm && k < sm->items.size(); ++k)
      if (selectable(sm, int(k))) {
        set_hot(t, t.levels.size() - 1, int(k), false);
        break;
      }
  }
}

void choose(tracker& t, size_t L, int k, bool mouse) {
  menu* m = level_menu(t.levels[L]);
  if (!selectable(m, k)) return;
  const item& i = m->items[size_t(k)];
  if (i.disabled() || !is_null(i.sub)) return;
  // The chosen item is the last one selected, even when it was clicked at once.
  if (t.levels[L].hot != k || t.last_select_menu != t.levels[L].menu ||
      (t.last_select & 0xFFFF) != (i.id & 0xFFFF)) {
    t.levels[L].hot = k;
    send_select(t, L, k, mouse);
  }
  t.chosen = true;
  t.chosen_id = i.id;
  t.done = true;
}

// The next selectable item of a level after `from` in direction `dir`, wrapping; -1 when
// it has none.
int step_item(menu* m, int from, int dir) {
  if (!m || m->items.empty()) return -1;
  int n = int(m->items.size());
  int k = from;
  for (int tries = 0; tries < n; ++tries) {
    k = k < 0 ? (dir > 0 ? 0 : n - 1) : (k + dir + n) % n;
    if (selectable(m, k)) return k;
  }
  return -1;
}

// Where a screen point falls: a level and an item of it (-1 on none of its items), or
// level -1 outside every open menu and the bar.
std::pair<int, int> hit(tracker& t, POINT p) {
  for (size_t L = t.levels.size(); L-- > 0;) {
    level& l = t.levels[L];
    menu* m = level_menu(l);
    if (!m) continue;
    if (is_null(l.wnd)) {
      RECT b = band_screen(t.top);
      if (!b.contains(p)) continue;
      return {int(L), item_at(bar_layout(*m, b.width(), t.dpi).items, POINT{p.x - b.left, p.y - b.top})};
    }
    RECT r;
    GetWindowRect(l.wnd, r);
    if (!r.contains(p)) continue;
    return {int(L), item_at(popup_layout(*m, t.dpi).items, POINT{p.x - r.left, p.y - r.top})};
  }
  return {-1, -1};
}

void on_mouse(tracker& t, const MSG& msg) {
  POINT p = msg.pt;
  auto [L, k] = hit(t, p);
  uint32_t m = msg.message;
  bool down = m == WM_LBUTTONDOWN || m == WM_LBUTTONDBLCLK || m == WM_RBUTTONDOWN || m == WM_RBUTTONDBLCLK ||
              m == WM_MBUTTONDOWN || m == WM_NCLBUTTONDOWN || m == WM_NCRBUTTONDOWN || m == WM_XBUTTONDOWN;
  bool up = m == WM_LBUTTONUP || m == WM_RBUTTONUP || m == WM_NCLBUTTONUP;
  bool move = m == WM_MOUSEMOVE || m == WM_NCMOUSEMOVE;
  if (move) {
    if (L < 0) {
      // Off every menu: the deepest pop-up lets its item go, unless that item's submenu is open.
      level& d = t.levels.back();
      if (!is_null(d.wnd) && d.open < 0) set_hot(t, t.levels.size() - 1, -1, true);
      return;
    }
    size_t l = size_t(L);
    if (is_null(t.levels[l].wnd)) {
      // Along the bar the open menu follows the pointer at once.
      if (k >= 0 && k != t.levels[l].hot && selectable(level_menu(t.levels[l]), k)) {
        bool was_open = t.levels.size() > 1;
        close_from(t, 1);
        set_hot(t, 0, k, true);
        if (was_open) open_sub(t, 0, false);
      }
      return;
    }
    int was = t.levels[l].hot;
    if (selectable(level_menu(t.levels[l]), k)) set_hot(t, l, k, true);
    else if (t.levels[l].open < 0) set_hot(t, l, -1, true);
    // Deeper menus follow after the pointer rests, so that it can cross to a submenu.
    if (t.levels[l].hot != was) SetTimer(t.levels[l].wnd, SUBMENU_TIMER, MENU_SHOW_DELAY_MS);
    return;
  }
  if (down) {
    // A press that ends the menu goes no further, nor does its release.
    auto end = [&] {
      t.done = true;
      t.swallow = m == WM_RBUTTONDOWN || m == WM_RBUTTONDBLCLK ? VK_RBUTTON
                : m == WM_MBUTTONDOWN ? VK_MBUTTON : m == WM_XBUTTONDOWN ? 0 : VK_LBUTTON;
    };
    if (L < 0) {
      end();   // a press outside closes the menu
      return;
    }
    size_t l = size_t(L);
    menu* lm = level_menu(t.levels[l]);
    if (is_null(t.levels[l].wnd)) {
      if (!selectable(lm, k)) {
        end();
        return;
      }
      if (k == t.levels[l].hot && t.levels.size() > 1) {
        end();   // the open item pressed again: the menu closes
        return;
      }
      close_from(t, 1);
      set_hot(t, 0, k, true);
      open_sub(t, 0, false);
      return;
    }
    if (!selectable(lm, k)) return;
    set_hot(t, l, k, true);
    if (!is_null(lm->items[size_t(k)].sub)) open_sub(t, l, false);
    return;
  }
  if (up) {
    bool right = m == WM_RBUTTONUP;
    if (right && std::exchange(t.right_held, false)) return;
    if (right && !(t.flags & TPM_RIGHTBUTTON)) return;
    if (L < 0 || is_null(t.levels[size_t(L)].wnd)) return;
    choose(t, size_t(L), k, true);
  }
}

void on_timer(tracker& t, HWND w) {
  KillTimer(w, SUBMENU_TIMER);
  for (size_t L = 0; L < t.levels.size(); ++L) {
    if (t.levels[L].wnd != w) continue;
    level& l = t.levels[L];
    if (l.open >= 0 && l.open != l.hot) close_from(t, L + 1);
    menu* m = level_menu(l);
    if (selectable(m, l.hot) && !is_null(m->items[size_t(l.hot)].sub)) open_sub(t, L, false);
    return;
  }
}

// Acts on the lit item of level L as Enter does: opens its submenu or chooses it.
void enter(tracker& t, size_t L) {
  level& l = t.levels[L];
  menu* m = level_menu(l);
  if (!selectable(m, l.hot)) return;
  if (!is_null(m->items[size_t(l.hot)].sub)) open_sub(t, L, true);
  else choose(t, L, l.hot, false);
}

void on_key(tracker& t, uint32_t vk) {
  if (!t.cues) {
    t.cues = true;
    for (size_t L = 0; L < t.levels.size(); ++L) redraw_level(t, L);
  }
  size_t L = t.levels.size() - 1;
  level& d = t.levels[L];
  menu* m = level_menu(d);
  bool on_bar = t.bar && L == 0;
  switch (vk) {
    case VK_ESCAPE:
      if (L == 0) t.done = true;
      else close_from(t, L);
      return;
    case VK_MENU: case VK_F10:
      t.done = true;
      return;
    case VK_UP: case VK_DOWN:
      if (on_bar) {
        open_sub(t, 0, true);
        return;
      }
      set_hot(t, L, step_item(m, d.hot, vk == VK_DOWN ? 1 : -1), false);
      return;
    case VK_HOME: case VK_END:
      if (on_bar) return;
      set_hot(t, L, step_item(m, -1, vk == VK_HOME ? 1 : -1), false);
      return;
    case VK_LEFT: case VK_RIGHT: {
      bool right = vk == VK_RIGHT;
      if (right && !on_bar && selectable(m, d.hot) && !is_null(m->items[size_t(d.hot)].sub)) {
        open_sub(t, L, true);
        return;
      }
      if (!right && L >= 1 && !(t.bar && L == 1)) {
        close_from(t, L);
        return;
      }
      if (!t.bar) return;
      // Along the bar: the next item, with its menu open when one was.
      bool was_open = t.levels.size() > 1;
      close_from(t, 1);
      set_hot(t, 0, step_item(level_menu(t.levels[0]), t.levels[0].hot, right ? 1 : -1), false);
      if (was_open) open_sub(t, 0, true);
      return;
    }
    case VK_RETURN:
      if (on_bar) open_sub(t, 0, true);
      else enter(t, L);
      return;
  }
}

void on_char(tracker& t, uint32_t ch) {
  if (ch < 0x20) return;
  size_t L = t.levels.size() - 1;
  level& d = t.levels[L];
  menu* m = level_menu(d);
  if (!m) return;
  uint32_t key = fold(ch);
  std::vector<int> hits;
  for (size_t k = 0; k < m->items.size(); ++k)
    if (selectable(m, int(k)) && parse_caption(m->items[k].text).mnemonic == key) hits.push_back(int(k));
  if (hits.empty()) return;
  if (hits.size() > 1) {
    // Several items share the letter: each press lights the next of them.
    auto next = std::upper_bound(hits.begin(), hits.end(), d.hot);
    set_hot(t, L, next == hits.end() ? hits.front() : *next, false);
    return;
  }
  set_hot(t, L, hits.front(), false);
  if (t.bar && L == 0) open_sub(t, 0, true);
  else enter(t, L);
}

void on_step(tracker& t) {
  if (t.script.empty()) return;
  int k = t.script.front();
  t.script.pop_front();
  size_t L = t.script_level++;
  if (L >= t.levels.size()) {
    t.done = true;
    return;
  }
  menu* m = level_menu(t.levels[L]);
  if (!selectable(m, k)) {
    t.done = true;
    return;
  }
  set_hot(t, L, k, true);
  if (is_null(m->items[size_t(k)].sub)) {
    choose(t, L, k, true);
    return;
  }
  open_sub(t, L, false);
  if (!t.script.empty()) PostMessage(t.owner, WM_MENU_STEP, 0, 0);
}

bool is_popup_of(const tracker& t, HWND w) {
  for (auto& l : t.levels)
    if (!is_null(l.wnd) && l.wnd == w) return true;
  return false;
}

void handle(tracker& t, MSG& m) {
  uint32_t id = m.message;
  if ((id >= WM_MOUSEFIRST && id <= WM_MOUSELAST) || (id >= WM_NCMOUSEMOVE && id <= WM_NCRBUTTONUP)) {
    on_mouse(t, m);
    return;
  }
  switch (id) {
    case WM_KEYDOWN: case WM_SYSKEYDOWN:
      on_key(t, uint32_t(m.wParam));
      // The key's character, for mnemonics, only while the menu stays: none reaches the
      // window after the menu.
      if (!t.done) TranslateMessage(m);
      // A key the menu took spoils a lone Alt: its release must not open the bar again.
      win::detail::st().alt_alone = false;
      return;
    case WM_CHAR: case WM_SYSCHAR:
      on_char(t, uint32_t(m.wParam));
      return;
    case WM_KEYUP: case WM_SYSKEYUP: case WM_DEADCHAR:
      return;
    case WM_TIMER:
      if (m.wParam == SUBMENU_TIMER && is_popup_of(t, m.hwnd)) {
        on_timer(t, m.hwnd);
        return;
      }
      break;
    case WM_MENU_STEP:
      if (m.hwnd == t.owner) {
        on_step(t);
        return;
      }
      break;
  }
  DispatchMessage(m);
}

// The loop. `start` opens the first level once WM_ENTERMENULOOP went out.
template <class F>
void run(tracker& t, F start) {
  g_active = &t;
  HWND owner = t.owner;
  if (notify(t)) SendMessage(owner, WM_ENTERMENULOOP, t.popup_call, 0);
  bool quit = false;
  int quit_code = 0;
  if (IsWindow(owner)) {
    SetCapture(owner);
    if (display* d = current_display()) d->grab(GetAncestor(owner, GA_ROOT), true);
    start();
    while (!t.done && !t.levels.empty()) {
      if (!IsWindow(owner)) break;
      bool dead = false;
      for (auto& l : t.levels) dead |= !menu_of(l.menu);
      if (dead) break;
      MSG m;
      int r = GetMessage(m, HWND{}, 0, 0);
      if (r == 0) {
        quit = true;
        quit_code = int(m.wParam);
        break;
      }
      if (r < 0) break;
      handle(t, m);
    }
  }
  close_from(t, 0);
  // The release of the press that ended the menu is the menu's too.
  while (t.swallow && !quit && IsWindow(owner) && GetKeyState(t.swallow) < 0) {
    MSG m;
    int r = GetMessage(m, HWND{}, 0, 0);
    if (r == 0) {
      quit = true;
      quit_code = int(m.wParam);
    }
    if (r <= 0) break;
    bool mouse = (m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST) ||
                 (m.message >= WM_NCMOUSEMOVE && m.message <= WM_NCRBUTTONUP);
    if (!mouse) DispatchMessage(m);
  }
  if (display* d = current_display()) d->grab(HWND{}, false);
  if (IsWindow(owner) && GetCapture() == owner) ReleaseCapture();
  g_active = nullptr;
  if (t.bar && IsWindow(t.top)) RedrawWindow(t.top, nullptr, RDW_FRAME);
  if (IsWindow(owner) && notify(t)) {
    SendMessage(owner, WM_MENUSELECT, 0xFFFF0000u, 0);
    SendMessage(owner, WM_EXITMENULOOP, t.popup_call, 0);
  }
  // The quit that ended the loop belongs to the loop outside it.
  if (quit) PostQuitMessage(quit_code);
}

// ---- the pop-up windows ----------------------------------------------------------------------

LRESULT popup_proc(HWND h, uint32_t msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(h, ps);
      if (g_active)
        for (auto& l : g_active->levels)
          if (l.wnd == h)
            if (menu* m = menu_of(l.menu)) {
              look lk;
              lk.hot = l.hot;
              lk.cues = g_active->cues;
              lk.dark = dark_theme(g_active->owner);
              paint_popup(dc, *m, g_active->dpi, lk);
            }
      EndPaint(h, ps);
      return 0;
    }
    case WM_ERASEBKGND: return 1;
    case WM_MOUSEACTIVATE: return MA_NOACTIVATE;
  }
  return DefWindowProc(h, msg, wp, lp);
}

// The class of the pop-up windows, registered with the layer that runs now.
void ensure_class() {
  WNDCLASSEX wc;
  if (GetClassInfoEx(POPUP_CLASS, wc)) return;
  wc = WNDCLASSEX{};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = popup_proc;
  wc.hCursor = LoadCursor(IDC_ARROW);
  wc.lpszClassName = POPUP_CLASS;
  RegisterClassEx(wc);
}

tracker make_tracker(HWND owner, bool bar, uint32_t flags) {
  tracker t;
  t.owner = owner;
  t.top = GetAncestor(owner, GA_ROOT);
  t.bar = bar;
  t.flags = flags;
  uint32_t dpi = GetDpiForWindow(t.top);
  t.dpi = dpi ? dpi : 96;
  ensure_class();
  return t;
}

// ---- the bar's operations --------------------------------------------------------------------

bool bar_valid(HMENU h) { return menu_of(h) != nullptr; }

int bar_height(HMENU h, int width, uint32_t dpi) {
  menu* m = menu_of(h);
  return m ? bar_layout(*m, width, dpi ? dpi : 96).height : 0;
}

void bar_paint(HWND top, HMENU h, HDC dc, RECT band) {
  menu* m = menu_of(h);
  if (!m) return;
  look lk;
  if (g_active && g_active->bar && g_active->top == top && !g_active->levels.empty()) {
    lk.hot = g_active->levels[0].hot;
    lk.open = g_active->levels.size() > 1;
    lk.cues = g_active->cues;
  } else {
    auto it = g_hover.find(top);
    lk.hot = it == g_hover.end() ? -1 : it->second;
  }
  lk.dark = dark_theme(top);
  uint32_t dpi = GetDpiForWindow(top);
  paint_bar(dc, band, *m, dpi ? dpi : 96, lk);
}

int bar_item_at(HWND top, POINT p) {
  menu* m = menu_of(GetMenu(top));
  if (!m) return -1;
  RECT b = band_screen(top);
  uint32_t dpi = GetDpiForWindow(top);
  int k = item_at(bar_layout(*m, b.width(), dpi ? dpi : 96).items, POINT{p.x - b.left, p.y - b.top});
  return selectable(m, k) ? k : -1;
}

void bar_hover(HWND top, POINT p, bool over) {
  if (g_active) return;
  int k = over ? bar_item_at(top, p) : -1;
  int& was = g_hover[top];
  if (!over) g_hover.erase(top);
  if ((over ? was : -2) == k) return;
  if (over) was = k;
  RedrawWindow(top, nullptr, RDW_FRAME);
}

void bar_press(HWND top, POINT p) {
  if (g_active) return;
  int k = bar_item_at(top, p);
  if (k < 0) return;
  g_hover.erase(top);
  tracker t = make_tracker(top, true, 0);
  t.levels.push_back(level{GetMenu(top), HWND{}, -1, -1});
  run(t, [&] {
    set_hot(t, 0, k, true);
    open_sub(t, 0, false);
  });
  if (t.chosen && IsWindow(top)) PostMessage(top, WM_COMMAND, t.chosen_id & 0xFFFF, 0);
}

void bar_key(HWND top, uint32_t key) {
  if (g_active) return;
  HMENU h = GetMenu(top);
  menu* m = menu_of(h);
  if (!m) return;
  tracker t = make_tracker(top, true, 0);
  t.levels.push_back(level{h, HWND{}, -1, -1});
  if (key == PLAY_KEY) {
    auto it = std::find_if(g_played.begin(), g_played.end(), [&](auto& e) { return e.first == top; });
    if (it == g_played.end()) return;
    t.script.assign(it->second.begin(), it->second.end());
    g_played.erase(it);
    PostMessage(top, WM_MENU_STEP, 0, 0);
    run(t, [] {});
  } else if (key == 0) {
    // F10 or a lone Alt: the first item lights, nothing opens yet.
    t.cues = true;
    run(t, [&] { set_hot(t, 0, step_item(m, -1, 1), false); });
  } else {
    uint32_t k = fold(key);
    int found = -1;
    for (size_t i = 0; i < m->items.size(); ++i)
      if (selectable(m, int(i)) && parse_caption(m->items[i].text).mnemonic == k) {
        found = int(i);
        break;
      }
    if (found < 0) return;
    t.cues = true;
    run(t, [&] {
      set_hot(t, 0, found, false);
      open_sub(t, 0, true);
    });
  }
  if (t.chosen && IsWindow(top)) PostMessage(top, WM_COMMAND, t.chosen_id & 0xFFFF, 0);
}

void bar_destroy(HMENU h) { DestroyMenu(h); }

const menu_bar_ops bar_ops = {bar_valid, bar_height, bar_paint, bar_hover, bar_press, bar_key, bar_destroy};

}  // namespace

void register_bar() { set_menu_bar_ops(&bar_ops); }

}  // namespace menus::detail

using namespace menus::detail;

int TrackPopupMenuEx(HMENU h, uint32_t flags, int x, int y, HWND owner, const void*) {
  if (g_active || !menu_of(h) || !IsWindow(owner)) return 0;
  register_bar();
  tracker t = make_tracker(owner, false, flags);
  t.popup_call = true;
  t.right_held = GetKeyState(VK_RBUTTON) < 0;
  // An answer given in the user's place is played into the running menu as keys.
  if (g_answerer) {
    menus::popup_answer a = g_answerer(menus::captions(h));
    auto key = [&](uint32_t vk) { PostMessage(owner, WM_KEYDOWN, vk, 1 | (MapVirtualKey(vk, MAPVK_VK_TO_VSC) << 16)); };
    if (a.kind == menus::popup_answer::path) {
      std::vector<int> path = menus::find_path(h, a.item_path);
      if (path.empty()) {
        std::fprintf(stderr, "menus: the pop-up menu has no item %s\n", a.item_path.c_str());
        key(VK_ESCAPE);
      }
      HMENU at = h;
      for (size_t n = 0; n < path.size(); ++n) {
        menu* m = menu_of(at);
        // From none lit (the first menu) or the first item lit (a submenu opened by Right).
        int lit = n == 0 ? -1 : step_item(m, -1, 1);
        while (lit != path[n]) {
          lit = step_item(m, lit, 1);
          key(VK_DOWN);
        }
        key(n + 1 < path.size() ? VK_RIGHT : VK_RETURN);
        at = m->items[size_t(path[n])].sub;
      }
    } else if (a.kind == menus::popup_answer::cancel) {
      key(VK_ESCAPE);
    }
  }
  t.levels.reserve(4);
  run(t, [&] {
    HWND w = make_popup(t, h, RECT{x, y, x, y}, false);
    if (!is_null(w)) t.levels.push_back(level{h, w, -1, -1});
  });
  if (!t.chosen) return (flags & TPM_RETURNCMD) ? 0 : 1;
  if (flags & TPM_RETURNCMD) return int(t.chosen_id);
  if (IsWindow(owner)) PostMessage(owner, WM_COMMAND, t.chosen_id & 0xFFFF, 0);
  return 1;
}

bool EndMenu() {
  if (!g_active) return false;
  g_active->done = true;
  PostMessage(g_active->owner, WM_NULL, 0, 0);
  return true;
}

namespace menus {

bool play_bar_path(HWND top, std::string_view path) {
  HMENU h = GetMenu(top);
  std::vector<int> p = find_path(h, path);
  if (p.empty()) return false;
  // The last item must be one that can be chosen.
  HMENU at = h;
  for (size_t n = 0; n + 1 < p.size(); ++n) at = GetSubMenu(at, p[n]);
  MENUITEMINFO mi;
  mi.fMask = MIIM_STATE;
  if (!GetMenuItemInfo(at, uint32_t(p.back()), true, mi) || (mi.fState & MFS_DISABLED)) return false;
  g_played.emplace_back(top, std::move(p));
  return PostMessage(top, WM_SYSCOMMAND, SC_KEYMENU, LPARAM(PLAY_KEY));
}

void set_popup_answerer(popup_answerer a) { g_answerer = std::move(a); }

RECT item_rect(HMENU h, int k) {
  menu* m = menu_of(h);
  if (!m || k < 0 || size_t(k) >= m->items.size()) return {};
  auto on_bar = [&](HWND top) {
    RECT b = band_screen(top);
    uint32_t dpi = GetDpiForWindow(top);
    RECT r = bar_layout(*m, b.width(), dpi ? dpi : 96).items[size_t(k)];
    return RECT{add32(b.left, r.left), add32(b.top, r.top), add32(b.left, r.right), add32(b.top, r.bottom)};
  };
  if (g_active)
    for (auto& l : g_active->levels) {
      if (l.menu != h) continue;
      if (is_null(l.wnd)) return on_bar(g_active->top);
      RECT w;
      GetWindowRect(l.wnd, w);
      RECT r = popup_layout(*m, g_active->dpi).items[size_t(k)];
      return RECT{add32(w.left, r.left), add32(w.top, r.top), add32(w.left, r.right), add32(w.top, r.bottom)};
    }
  for (HWND t : top_levels())
    if (GetMenu(t) == h) return on_bar(t);
  return {};
}

}  // namespace menus

}  // namespace vyr::win
