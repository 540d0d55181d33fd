// ListBox: a list of text items with one selection, scrolled by its own bars, the wheel and
// the keyboard. Only the items in view are drawn, so painting costs the same for ten items
// and a hundred thousand. With LBS_NOTIFY the user's selection changes and double clicks
// are told to the parent; LB_ messages change nothing that the parent is told of. With
// LBS_EXTENDEDSEL a press picks one item, Ctrl adds or takes one, Shift takes the run from
// the anchor (keys alike); with LBS_MULTIPLESEL a press toggles its item.
// ComboLBox is the same list dropped by a combo box: it reports to its combo, never takes
// the focus and shows the item under the pointer as selected.
#include <algorithm>

#include <cairo.h>

#include "gui/win/controls/common.h"
#include "gui/win/controls/controls.h"
#include "gui/win/scrollbar.h"

namespace vyr::win {
using namespace ctl;

namespace {
struct item {
  std::string text;
  LPARAM data = 0;
};

struct listbox : state {
  std::vector<item> items;
  std::vector<uint8_t> marks;   // the selected items of a list of several selections
  int anchor = -1;              // where a Shift run begins
  int sel = -1, caret = 0, top = 0;
  int64_t scroll_x = 0;
  int extent = 0;        // horizontal extent (LB_SETHORIZONTALEXTENT)
  int item_height = 0;   // 0: from the font
  bool tracking = false, dropped_list = false;
  HWND combo{};
  std::string search;
  uint32_t search_time = 0;
};

int count(const listbox& l) { return int(l.items.size()); }

bool several(HWND h) { return style_of(h) & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL); }

bool selected(HWND h, const listbox& l, int i) {
  if (several(h)) return i >= 0 && size_t(i) < l.marks.size() && l.marks[size_t(i)];
  return i == l.sel;
}

// Marks the items from a to b (either order), after clearing the others when asked.
void mark_run(listbox& l, int a, int b, bool clear) {
  l.marks.resize(l.items.size());
  if (clear) std::fill(l.marks.begin(), l.marks.end(), 0);
  if (a < 0 || b < 0) return;
  for (int i = std::min(a, b); i <= std::max(a, b) && i < int(l.marks.size()); ++i) l.marks[size_t(i)] = 1;
}

int item_height(HWND h, const listbox& l) {
  return l.item_height > 0 ? l.item_height : line_height(font_or_default(h, l.font)) + px(h, 2);
}

int visible(HWND h, const listbox& l) {
  RECT rc;
  GetClientRect(h, rc);
  return std::max(1, rc.height() / item_height(h, l));
}

bool lower_prefix(std::string_view text, std::string_view prefix, bool exact) {
  if (exact ? text.size() != prefix.size() : text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char a = text[i], b = prefix[i];
    if (a >= 'A' && a <= 'Z') a = char(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = char(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

// The first item after `start` (wrapping) whose text begins with (or is) `prefix`.
int find(const listbox& l, int start, std::string_view prefix, bool exact) {
  int n = count(l);
  for (int k = 1; k <= n; ++k) {
    int i = ((start < 0 ? -1 : start) + k) % n;
    if (lower_prefix(l.items[size_t(i)].text, prefix, exact)) return i;
  }
  return LB_ERR;
}

void update_bars(HWND h, listbox& l) {
  uint32_t style = style_of(h);
  int n = count(l), vis = visible(h, l);
  l.top = std::clamp(l.top, 0, std::max(0, n - vis));
  if (style & WS_VSCROLL) {
    bool need = n > vis || (style & LBS_DISABLENOSCROLL);
    if (scroll_bar_shown(h, SB_VERT) != need) ShowScrollBar(h, SB_VERT, need);
    vis = visible(h, l);
    l.top = std::clamp(l.top, 0, std::max(0, n - vis));
    SCROLLINFO si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = std::max(0, n - 1);
    si.nPage = uint32_t(vis);
    si.nPos = l.top;
    SetScrollInfo(h, SB_VERT, si, true);
  }
  if (style & WS_HSCROLL) {
    RECT rc;
    GetClientRect(h, rc);
    bool need = l.extent > rc.width();
    if (scroll_bar_shown(h, SB_HORZ) != need) ShowScrollBar(h, SB_HORZ, need);
    GetClientRect(h, rc);
    l.scroll_x = std::clamp<int64_t>(l.scroll_x, 0, std::max(0, l.extent - rc.width()));
    SCROLLINFO si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = std::max(0, l.extent - 1);
    si.nPage = uint32_t(std::max(1, rc.width()));
    si.nPos = int32_t(l.scroll_x);
    SetScrollInfo(h, SB_HORZ, si, true);
  }
}

void changed(HWND h, listbox& l) {
  update_bars(h, l);
  InvalidateRect(h, nullptr, false);
}

void into_view(HWND h, listbox& l, int i) {
  if (i < 0) return;
  int vis = visible(h, l);
  if (i < l.top) l.top = i;
  else if (i >= l.top + vis) l.top = i - vis + 1;
}

// Selects an item (or none with -1) and scrolls it into view; answers whether it changed.
bool select(HWND h, listbox& l, int i) {
  if (i >= count(l)) i = -1;
  bool moved = i != l.sel;
  if (several(h)) {
    // One item alone, where the next Shift run begins.
    l.marks.resize(l.items.size());
    moved = moved || std::count(l.marks.begin(), l.marks.end(), 1) != (i >= 0 ? 1 : 0) || (i >= 0 && !l.marks[size_t(i)]);
    mark_run(l, i, i, true);
    l.anchor = i;
  }
  l.sel = i;
  if (i >= 0) l.caret = i;
  into_view(h, l, i);
  changed(h, l);
  return moved;
}

int index_at(HWND h, const listbox& l, POINT p, bool* outside = nullptr) {
  RECT rc;
  GetClientRect(h, rc);
  int64_t i = l.top + (p.y >= 0 ? p.y / item_height(h, l) : -1);
  bool out = !rc.contains(p) || i >= count(l) || i < 0;
  if (outside) *outside = out;
  return int(std::clamp<int64_t>(i, 0, std::max(0, count(l) - 1)));
}

void user_select(HWND h, listbox& l, int i) {
  if (select(h, l, i) && (style_of(h) & LBS_NOTIFY)) command(h, LBN_SELCHANGE);
}

// A press or a key on item i of a list of several selections, with its modifiers.
void user_mark(HWND h, listbox& l, int i, bool ctrl, bool shift) {
  if (!(style_of(h) & LBS_EXTENDEDSEL)) {
    l.marks.resize(l.items.size());
    l.marks[size_t(i)] ^= 1;
  } else if (shift && l.anchor >= 0) {
    mark_run(l, l.anchor, i, !ctrl);
  } else if (ctrl) {
    l.marks.resize(l.items.size());
    l.marks[size_t(i)] ^= 1;
    l.anchor = i;
  } else {
    mark_run(l, i, i, true);
    l.anchor = i;
  }
  l.sel = l.caret = i;
  into_view(h, l, i);
  changed(h, l);
  if (style_of(h) & LBS_NOTIFY) command(h, LBN_SELCHANGE);
}

void paint(HWND h, listbox& l) {
  painting pt(h, l.font);
  HDC dc = pt.dc;
  cairo_t* cr = pt.cr;
  const RECT& rc = pt.rc;
  fill(cr, rc, ask_colors(h, dc, WM_CTLCOLORLISTBOX, IsWindowEnabled(h) ? part::field : part::field_disabled));
  COLORREF text = GetTextColor(dc);
  int ih = item_height(h, l), pad = px(h, 2);
  bool active = l.focused || l.dropped_list;
  SetBkMode(dc, TRANSPARENT);
  for (int i = l.top, y = 0; i < count(l) && y < rc.height(); ++i, y += ih) {
    RECT r{rc.left, y, rc.right, y + ih};
    if (selected(h, l, i)) {
      fill(cr, r, theme_color(h, active ? part::selection : part::selection_inactive));
      SetTextColor(dc, theme_color(h, active ? part::selection_text : part::selection_inactive_text));
    } else {
      SetTextColor(dc, text);
    }
    RECT tr{int(rc.left + pad - l.scroll_x), y, rc.right, y + ih};
    DrawText(dc, l.items[size_t(i)].text, tr, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    if (l.focused && i == l.caret) outline(cr, r, theme_color(h, part::focus));
  }
}

void scroll_message(HWND h, listbox& l, uint32_t msg, WPARAM wp) {
  bool vertical = msg == WM_VSCROLL;
  RECT rc;
  GetClientRect(h, rc);
  int64_t page = vertical ? visible(h, l) : std::max(1, rc.width() * 3 / 4), line = vertical ? 1 : px(h, 8);
  int64_t at = vertical ? l.top : l.scroll_x;
  if (!scrollbar::target(h, vertical ? SB_VERT : SB_HORZ, LOWORD(wp), line, page, at)) return;
  if (vertical) l.top = int(std::clamp<int64_t>(at, 0, INT32_MAX));
  else l.scroll_x = std::max<int64_t>(0, at);
  changed(h, l);
}

void key(HWND h, listbox& l, uint32_t vk) {
  int n = count(l);
  if (n == 0) return;
  int at = l.sel >= 0 ? l.sel : l.caret, vis = visible(h, l);
  switch (vk) {
    case VK_UP: at -= 1; break;
    case VK_DOWN: at += 1; break;
    case VK_PRIOR: at -= vis - 1; break;
    case VK_NEXT: at += vis - 1; break;
    case VK_HOME: at = 0; break;
    case VK_END: at = n - 1; break;
    default: return;
  }
  at = std::clamp(at, 0, n - 1);
  if (style_of(h) & LBS_EXTENDEDSEL) user_mark(h, l, at, false, GetKeyState(VK_SHIFT) < 0);
  else user_select(h, l, at);
}

void typed(HWND h, listbox& l, uint32_t c) {
  if (c < 0x20 || count(l) == 0) return;
  uint32_t now = GetMessageTime();
  // Letters typed in quick succession make one prefix.
  if (now - l.search_time > 1000) l.search.clear();
  l.search_time = now;
  l.search += to_utf8(std::u16string(1, char16_t(c)));
  int start = l.search.size() == 1 ? l.sel : l.sel - 1;
  int i = find(l, start, l.search, false);
  if (i != LB_ERR) user_select(h, l, i);
}

LRESULT insert(HWND h, listbox& l, int at, const char* text) {
  if (at < 0 || at > count(l)) at = count(l);
  l.items.insert(l.items.begin() + at, item{text ? text : "", 0});
  if (!l.marks.empty()) l.marks.insert(l.marks.begin() + std::min<size_t>(size_t(at), l.marks.size()), 0);
  if (l.sel >= at) ++l.sel;
  if (l.caret >= at && count(l) > 1) ++l.caret;
  changed(h, l);
  return at;
}

LRESULT list_proc(HWND h, uint32_t msg, WPARAM wp, LPARAM lp, bool dropped_list) {
  listbox& l = state_of<listbox>(h);
  l.dropped_list = dropped_list;
  LRESULT answer = 0;
  if (common_message(h, l, msg, wp, lp, answer)) {
    if (msg == WM_SETFONT) update_bars(h, l);
    return answer;
  }
  uint32_t style = style_of(h);
  auto index_ok = [&](WPARAM i) { return int64_t(int32_t(wp)) >= 0 && int64_t(i) < count(l); };
  switch (msg) {
    case WM_PAINT:
      paint(h, l);
      return 0;
    case WM_SIZE:
      update_bars(h, l);
      InvalidateRect(h, nullptr, false);
      return 0;
    case WM_MOUSEACTIVATE:
      if (dropped_list) return 3;   // MA_NOACTIVATE: a dropped list leaves the focus where it is
      break;
    case LB_ADDSTRING: {
      const char* text = reinterpret_cast<const char*>(lp);
      int at = count(l);
      if (style & LBS_SORT) {
        std::string_view t = text ? text : "";
        at = int(std::upper_bound(l.items.begin(), l.items.end(), t,
                                  [](std::string_view a, const item& b) { return a < std::string_view(b.text); }) -
                 l.items.begin());
      }
      return insert(h, l, at, text);
    }
    case LB_INSERTSTRING:
      if (int32_t(wp) > count(l)) return LB_ERR;
      return insert(h, l, int32_t(wp), reinterpret_cast<const char*>(lp));
    case LB_DELETESTRING: {
      if (!index_ok(wp)) return LB_ERR;
      int i = int(wp);
      l.items.erase(l.items.begin() + i);
      if (size_t(i) < l.marks.size()) l.marks.erase(l.marks.begin() + i);
      if (l.sel == i) l.sel = -1;
      else if (l.sel > i) --l.sel;
      if (l.caret >= count(l)) l.caret = std::max(0, count(l) - 1);
      changed(h, l);
      return count(l);
    }
    case LB_RESETCONTENT:
      l.items.clear();
      l.marks.clear();
      l.anchor = -1;
      l.sel = -1;
      l.caret = l.top = 0;
      changed(h, l);
      return 0;
    case LB_SETCURSEL:
      select(h, l, index_ok(wp) ? int(wp) : -1);
      return index_ok(wp) ? LRESULT(wp) : LB_ERR;
    case LB_GETCURSEL:
      return l.sel;
    case LB_GETSEL:
      return index_ok(wp) ? LRESULT(selected(h, l, int(wp))) : LB_ERR;
    case LB_SETSEL: {
      // wParam: select or not; lParam: the item, or -1 for all of them.
      if (!several(h) || (lp != -1 && (lp < 0 || lp >= count(l)))) return LB_ERR;
      l.marks.resize(l.items.size());
      if (lp == -1) std::fill(l.marks.begin(), l.marks.end(), wp ? 1 : 0);
      else l.marks[size_t(lp)] = wp ? 1 : 0;
      InvalidateRect(h, nullptr, false);
      return 0;
    }
    case LB_GETSELCOUNT:
      if (!several(h)) return LB_ERR;
      return LRESULT(std::count(l.marks.begin(), l.marks.end(), 1));
    case LB_GETSELITEMS: {
      // wParam: room in the buffer of 32-bit indexes at lParam; answers how many it got.
      if (!several(h) || !lp) return LB_ERR;
      auto* out = reinterpret_cast<int32_t*>(lp);
      LRESULT n = 0;
      for (size_t i = 0; i < l.marks.size() && n < LRESULT(wp); ++i)
        if (l.marks[i]) out[n++] = int32_t(i);
      return n;
    }
    case LB_GETTEXT:
      if (!index_ok(wp)) return LB_ERR;
      return copy_text(l.items[wp].text, l.items[wp].text.size() + 1, lp);
    case LB_GETTEXTLEN:
      return index_ok(wp) ? LRESULT(l.items[wp].text.size()) : LB_ERR;
    case LB_GETCOUNT:
      return count(l);
    case LB_FINDSTRING:
    case LB_FINDSTRINGEXACT:
    case LB_SELECTSTRING: {
      if (!lp || count(l) == 0) return LB_ERR;
      int i = find(l, int32_t(wp), reinterpret_cast<const char*>(lp), msg == LB_FINDSTRINGEXACT);
      if (msg == LB_SELECTSTRING && i != LB_ERR) select(h, l, i);
      return i;
    }
    case LB_GETTOPINDEX:
      return l.top;
    case LB_SETTOPINDEX:
      if (!index_ok(wp)) return LB_ERR;
      l.top = int(wp);
      changed(h, l);
      return 0;
    case LB_GETITEMRECT: {
      if (!index_ok(wp) || !lp) return LB_ERR;
      RECT rc;
      GetClientRect(h, rc);
      int ih = item_height(h, l), y = (int(wp) - l.top) * ih;
      *reinterpret_cast<RECT*>(lp) = RECT{rc.left, y, rc.right, y + ih};
      return 1;
    }
    case LB_GETITEMDATA:
      return index_ok(wp) ? l.items[wp].data : LB_ERR;
    case LB_SETITEMDATA:
      if (!index_ok(wp)) return LB_ERR;
      l.items[wp].data = lp;
      return 0;
    case LB_SETCARETINDEX:
      if (!index_ok(wp)) return LB_ERR;
      l.caret = int(wp);
      into_view(h, l, l.caret);
      changed(h, l);
      return 0;
    case LB_GETCARETINDEX:
      return l.caret;
    case LB_SETITEMHEIGHT:
      l.item_height = std::clamp(int(LOWORD(lp)), 0, 255);
      changed(h, l);
      return 0;
    case LB_GETITEMHEIGHT:
      return item_height(h, l);
    case LB_SETHORIZONTALEXTENT:
      l.extent = std::max(0, int32_t(wp));
      changed(h, l);
      return 0;
    case LB_GETHORIZONTALEXTENT:
      return l.extent;
    case LB_ITEMFROMPOINT: {
      bool outside = false;
      int i = index_at(h, l, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}, &outside);
      return MAKELPARAM(i, outside ? 1 : 0);
    }
    case WM_VSCROLL:
    case WM_HSCROLL:
      if (lp == 0) scroll_message(h, l, msg, wp);
      return 0;
    case WM_MOUSEWHEEL:
      l.top = std::max(0, l.top - 3 * int16_t(HIWORD(wp)) / WHEEL_DELTA);
      changed(h, l);
      return 0;
    case WM_SETFOCUS:
      command(h, LBN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      l.tracking = false;
      command(h, LBN_KILLFOCUS);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (!dropped_list && GetFocus() != h) SetFocus(h);
      if (!IsWindow(h)) return 0;
      bool outside = false;
      int i = index_at(h, l, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}, &outside);
      if (outside || count(l) == 0) return 0;
      if (msg == WM_LBUTTONDBLCLK) {
        user_select(h, l, i);
        if (IsWindow(h) && (style & LBS_NOTIFY)) command(h, LBN_DBLCLK);
        return 0;
      }
      l.tracking = true;
      SetCapture(h);
      if (several(h)) user_mark(h, l, i, wp & MK_CONTROL, wp & MK_SHIFT);
      else user_select(h, l, i);
      return 0;
    }
    case WM_MOUSEMOVE: {
      POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      if (dropped_list) {
        // The item under the pointer shows selected, silently.
        bool outside = false;
        int i = index_at(h, l, p, &outside);
        if (!outside && i != l.sel) select(h, l, i);
        return 0;
      }
      if (!l.tracking || GetCapture() != h || count(l) == 0) return 0;
      // Dragging above or below the list scrolls it one item at a time.
      int i = index_at(h, l, p);
      RECT rc;
      GetClientRect(h, rc);
      if (p.y < 0) i = std::max(0, l.top - 1);
      else if (p.y >= rc.height()) i = std::min(count(l) - 1, l.top + visible(h, l));
      if (style_of(h) & LBS_EXTENDEDSEL) {
        // A drag takes the run from where the press began.
        if (i != l.caret) user_mark(h, l, i, wp & MK_CONTROL, true);
      } else if (!several(h)) {
        user_select(h, l, i);
      }
      return 0;
    }
    case WM_LBUTTONUP:
      l.tracking = false;
      if (GetCapture() == h) ReleaseCapture();
      return 0;
    case WM_CAPTURECHANGED:
      if (HWND(uint32_t(lp)) != h) l.tracking = false;
      return 0;
    case WM_KEYDOWN:
      key(h, l, uint32_t(wp));
      return 0;
    case WM_CHAR:
      typed(h, l, uint32_t(wp));
      return 0;
  }
  return DefWindowProc(h, msg, wp, lp);
}
}  // namespace

LRESULT listbox_proc(HWND h, uint32_t msg, WPARAM wp, LPARAM lp) { return list_proc(h, msg, wp, lp, false); }
LRESULT combolbox_proc(HWND h, uint32_t msg, WPARAM wp, LPARAM lp) { return list_proc(h, msg, wp, lp, true); }

namespace ctl {
void set_combo_of(HWND list, HWND combo) { state_of<listbox>(list).combo = combo; }
}  // namespace ctl

HWND owning_control(HWND h) {
  if (reinterpret_cast<WNDPROC>(GetWindowLong(h, GWLP_WNDPROC)) != combolbox_proc) return HWND{};
  listbox* l = control_of<listbox>(h);
  return l && IsWindow(l->combo) ? l->combo : HWND{};
}

int LBItemFromPt(HWND h, POINT screen, bool auto_scroll) {
  auto proc = reinterpret_cast<WNDPROC>(GetWindowLong(h, GWLP_WNDPROC));
  listbox* l = control_of<listbox>(h);
  if (!l || (proc != listbox_proc && proc != combolbox_proc)) return -1;
  POINT p = screen;
  ScreenToClient(h, p);
  RECT rc;
  GetClientRect(h, rc);
  if (auto_scroll && p.x >= rc.left && p.x < rc.right && (p.y < 0 || p.y >= rc.height())) {
    l->top = std::clamp(l->top + (p.y < 0 ? -1 : 1), 0, std::max(0, count(*l) - visible(h, *l)));
    changed(h, *l);
    return -1;
  }
  bool outside = false;
  int i = index_at(h, *l, p, &outside);
  return outside ? -1 : i;
}

}  // namespace vyr::win
