// SysTabControl32: a row of tabs over a page. A click on a tab, or Left, Right, Home and End
// with the focus, asks the parent first (TCN_SELCHANGING: a non-zero answer refuses), then
// selects and tells it (TCN_SELCHANGE); TCM_ messages select silently. Tabs that do not fit
// scroll sideways behind two arrow buttons. The strip beside the tabs is left unpainted, so
// the parent shows through.
#include <algorithm>

#include <cairo.h>

#include "gui/win/controls/common.h"
#include "gui/win/controls/controls.h"

namespace vyr::win {
using namespace ctl;

namespace {
constexpr int LEFT_ARROW = 100000, RIGHT_ARROW = 100001;

struct tab_item {
  std::string text;
  int32_t image = -1;
  LPARAM param = 0;
};

struct tabs : state {
  std::vector<tab_item> items;
  int cur = -1, first = 0;
};

int row_height(HWND h, const tabs& t) { return line_height(font_or_default(h, t.font)) + px(h, 8); }

int text_width(HWND h, const tabs& t, const std::string& s) {
  HDC dc = GetDC(h);
  SelectObject(dc, font_or_default(h, t.font));
  RECT r{0, 0, 0, 0};
  DrawText(dc, s, r, DT_SINGLELINE | DT_CALCRECT);
  ReleaseDC(h, dc);
  return r.width();
}

struct strip {
  std::vector<RECT> rects;   // by item; empty for items out of view
  bool arrows = false;
  RECT left, right;          // the arrow buttons
  int height = 0;
};

strip layout(HWND h, tabs& t) {
  strip s;
  RECT rc;
  GetClientRect(h, rc);
  s.height = row_height(h, t);
  int pad = px(h, 10), n = int(t.items.size());
  std::vector<int> widths(static_cast<size_t>(n));
  int64_t total = 0;
  for (int i = 0; i < n; ++i) {
    widths[size_t(i)] = std::max(px(h, 40), text_width(h, t, strip_mnemonics(t.items[size_t(i)].text)) + 2 * pad);
    total += widths[size_t(i)];
  }
  int start = px(h, 2), avail = rc.width() - start;
  int aw = GetSystemMetricsForDpi(SM_CXVSCROLL, dpi_of(h));
  s.arrows = total > avail && n > 1;
  if (s.arrows) {
    avail -= 2 * aw;
    s.right = RECT{rc.right - aw, rc.top, rc.right, rc.top + s.height - px(h, 2)};
    s.left = RECT{s.right.left - aw, rc.top, s.right.left, s.right.bottom};
  } else {
    t.first = 0;
  }
  t.first = std::clamp(t.first, 0, std::max(0, n - 1));
  s.rects.assign(size_t(n), RECT{});
  int x = start;
  for (int i = t.first; i < n; ++i) {
    int w = widths[size_t(i)];
    if (x + w > start + avail && i > t.first) break;
    s.rects[size_t(i)] = RECT{x, rc.top + px(h, 2), x + w, rc.top + s.height};
    x += w;
  }
  return s;
}

// Brings tab i into view by moving the first tab shown.
void into_view(HWND h, tabs& t, int i) {
  if (i < 0) return;
  if (i < t.first) t.first = i;
  for (int guard = 0; guard < int(t.items.size()); ++guard) {
    strip s = layout(h, t);
    if (size_t(i) >= s.rects.size() || !s.rects[size_t(i)].empty() || t.first >= i) break;
    ++t.first;
  }
}

int part_at(HWND h, tabs& t, POINT p) {
  strip s = layout(h, t);
  if (s.arrows && s.left.contains(p)) return LEFT_ARROW;
  if (s.arrows && s.right.contains(p)) return RIGHT_ARROW;
  for (size_t i = 0; i < s.rects.size(); ++i)
    if (s.rects[i].contains(p)) return int(i);
  return -1;
}

// The user's choice of tab: asked, done, told.
void choose(HWND h, tabs& t, int i) {
  if (i < 0 || i >= int(t.items.size()) || i == t.cur) return;
  NMHDR hdr;
  if (notify(h, hdr, TCN_SELCHANGING) != 0 || !IsWindow(h)) return;
  t.cur = i;
  into_view(h, t, i);
  InvalidateRect(h, nullptr, false);
  notify(h, hdr, TCN_SELCHANGE);
}

RECT display_rect(HWND h, tabs& t, RECT r) {
  return RECT{r.left + px(h, 4), r.top + row_height(h, t) + px(h, 2), r.right - px(h, 2), r.bottom - px(h, 3)};
}

void paint(HWND h, tabs& t) {
  painting pt(h, t.font);
  HDC dc = pt.dc;
  cairo_t* cr = pt.cr;
  const RECT& rc = pt.rc;
  clear(cr);
  bool enabled = IsWindowEnabled(h);
  strip s = layout(h, t);
  RECT body{rc.left, rc.top + s.height, rc.right, rc.bottom};
  fill(cr, body, theme_color(h, part::page));
  COLORREF frame = theme_color(h, enabled ? part::frame : part::frame_disabled);
  outline(cr, body, frame);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, theme_color(h, enabled ? part::text : part::text_disabled));
  for (size_t i = 0; i < s.rects.size(); ++i) {
    RECT r = s.rects[i];
    if (r.empty()) continue;
    bool current = int(i) == t.cur;
    if (current) r.top -= px(h, 2);
    part face = current ? part::page : t.parts.shows_hot(int(i)) ? part::face_hot : part::face;
    RECT inside{r.left, r.top, r.right, current ? r.bottom + 1 : r.bottom};
    fill(cr, inside, theme_color(h, face));
    set_color(cr, frame);
    cairo_set_line_width(cr, 1);
    cairo_move_to(cr, r.left + 0.5, r.bottom);
    cairo_line_to(cr, r.left + 0.5, r.top + 0.5);
    cairo_line_to(cr, r.right - 0.5, r.top + 0.5);
    cairo_line_to(cr, r.right - 0.5, r.bottom);
    cairo_stroke(cr);
    if (current) {
      // The current tab opens into the page.
      set_color(cr, theme_color(h, part::page));
      cairo_rectangle(cr, r.left + 1, r.bottom - 0.5, r.width() - 2, 2);
      cairo_fill(cr);
    }
    DrawText(dc, t.items[i].text, r, DT_SINGLELINE | DT_CENTER | DT_VCENTER);
    if (current && t.focused) focus_ring(cr, r, theme_color(h, part::focus), 1);
  }
  if (s.arrows) {
    for (RECT a : {s.left, s.right}) {
      bool left = a.left == s.left.left;
      int id = left ? LEFT_ARROW : RIGHT_ARROW;
      fill(cr, a, theme_color(h, t.parts.shows_pressed(id) ? part::face_pressed
                                  : t.parts.shows_hot(id) ? part::face_hot : part::face));
      outline(cr, a, frame);
      double cx = a.left + a.width() / 2.0, cy = a.top + a.height() / 2.0, d = std::max(2, px(h, 3));
      set_color(cr, theme_color(h, enabled ? part::glyph : part::glyph_disabled));
      cairo_move_to(cr, cx + (left ? d / 2 : -d / 2), cy - d);
      cairo_line_to(cr, cx + (left ? -d / 2 : d / 2), cy);
      cairo_line_to(cr, cx + (left ? d / 2 : -d / 2), cy + d);
      cairo_close_path(cr);
      cairo_fill(cr);
    }
  }
}

void set_item(tab_item& it, const TCITEM& in) {
  if (in.mask & TCIF_TEXT) it.text = in.pszText ? in.pszText : "";
  if (in.mask & TCIF_IMAGE) it.image = in.iImage;
  if (in.mask & TCIF_PARAM) it.param = in.lParam;
}
}  // namespace

LRESULT tab_proc(HWND h, uint32_t msg, WPARAM wp, LPARAM lp) {
  tabs& t = state_of<tabs>(h);
  LRESULT answer = 0;
  if (common_message(h, t, msg, wp, lp, answer)) return answer;
  int n = int(t.items.size());
  auto index_ok = [&](WPARAM i) { return int32_t(i) >= 0 && int32_t(i) < n; };
  POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  switch (msg) {
    case WM_PAINT:
      paint(h, t);
      return 0;
    case WM_SIZE:
      InvalidateRect(h, nullptr, false);
      return 0;
    case TCM_GETITEMCOUNT:
      return n;
    case TCM_INSERTITEM: {
      if (!lp) return -1;
      int at = std::clamp(int32_t(wp), 0, n);
      tab_item it;
      set_item(it, *reinterpret_cast<const TCITEM*>(lp));
      t.items.insert(t.items.begin() + at, it);
      // The first tab of an empty control becomes its current one, as the pages expect.
      if (n == 0) t.cur = 0;
      else if (t.cur >= at) ++t.cur;
      InvalidateRect(h, nullptr, false);
      return at;
    }
    case TCM_SETITEM:
      if (!index_ok(wp) || !lp) return 0;
      set_item(t.items[wp], *reinterpret_cast<const TCITEM*>(lp));
      InvalidateRect(h, nullptr, false);
      return 1;
    case TCM_GETITEM: {
      if (!index_ok(wp) || !lp) return 0;
      TCITEM& out = *reinterpret_cast<TCITEM*>(lp);
      const tab_item& it = t.items[wp];
      if ((out.mask & TCIF_TEXT) && out.pszText && out.cchTextMax > 0)
        copy_text(it.text, WPARAM(out.cchTextMax), reinterpret_cast<LPARAM>(out.pszText));
      if (out.mask & TCIF_IMAGE) out.iImage = it.image;
      if (out.mask & TCIF_PARAM) out.lParam = it.param;
      return 1;
    }
    case TCM_DELETEITEM: {
      if (!index_ok(wp)) return 0;
      int i = int(wp);
      t.items.erase(t.items.begin() + i);
      if (t.cur == i) t.cur = -1;
      else if (t.cur > i) --t.cur;
      InvalidateRect(h, nullptr, false);
      return 1;
    }
    case TCM_DELETEALLITEMS:
      t.items.clear();
      t.cur = -1;
      t.first = 0;
      InvalidateRect(h, nullptr, false);
      return 1;
    case TCM_GETCURSEL:
    case TCM_GETCURFOCUS:
      return t.cur;
    case TCM_SETCURSEL:
    case TCM_SETCURFOCUS: {
      int old = t.cur;
      if (!index_ok(wp)) return -1;
      t.cur = int(wp);
      into_view(h, t, t.cur);
      InvalidateRect(h, nullptr, false);
      return old;
    }
    case TCM_GETITEMRECT: {
      if (!index_ok(wp) || !lp) return 0;
      *reinterpret_cast<RECT*>(lp) = layout(h, t).rects[wp];
      return 1;
    }
    case TCM_HITTEST: {
      if (!lp) return -1;
      TCHITTESTINFO& hit = *reinterpret_cast<TCHITTESTINFO*>(lp);
      int i = part_at(h, t, hit.pt);
      bool on = i >= 0 && i < n;
      hit.flags = on ? TCHT_ONITEM : TCHT_NOWHERE;
      return on ? i : -1;
    }
    case TCM_ADJUSTRECT: {
      if (!lp) return 0;
      RECT& r = *reinterpret_cast<RECT*>(lp);
      RECT d = display_rect(h, t, RECT{0, 0, 0, 0});
      if (wp) r = RECT{r.left - d.left, r.top - d.top, r.right - d.right, r.bottom - d.bottom};
      else r = display_rect(h, t, r);
      return 0;
    }
    case WM_MOUSEMOVE:
      hover(h, t, part_at(h, t, p));
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      int i = part_at(h, t, p);
      if (i < 0) return 0;
      if (i == LEFT_ARROW || i == RIGHT_ARROW) {
        SetCapture(h);
        redraw_if(h, t.parts.press(i));
        return 0;
      }
      SetFocus(h);
      if (IsWindow(h)) choose(h, t, i);
      return 0;
    }
    case WM_LBUTTONUP: {
      behavior::answer a = redraw_if(h, t.parts.release(part_at(h, t, p)));
      if (GetCapture() == h) ReleaseCapture();
      if (a.activated == LEFT_ARROW || a.activated == RIGHT_ARROW) {
        t.first = std::clamp(t.first + (a.activated == LEFT_ARROW ? -1 : 1), 0, std::max(0, n - 1));
        InvalidateRect(h, nullptr, false);
      }
      return 0;
    }
    case WM_KEYDOWN: {
      if (n == 0) return 0;
      int at = t.cur < 0 ? 0 : t.cur;
      switch (wp) {
        case VK_LEFT: at = std::max(0, at - 1); break;
        case VK_RIGHT: at = std::min(n - 1, at + 1); break;
        case VK_HOME: at = 0; break;
        case VK_END: at = n - 1; break;
        default: return 0;
      }
      choose(h, t, at);
      return 0;
    }
  }
  return DefWindowProc(h, msg, wp, lp);
}

}  // namespace vyr::win
