// msctls_trackbar32: a thumb on a channel. Dragging the thumb, clicking the channel beside it
// (a page towards the click), the arrow, page, Home and End keys and the wheel move it and
// tell the parent with WM_HSCROLL (WM_VSCROLL with TBS_VERT) carrying the trackbar's handle;
// a move ends with TB_ENDTRACK. TBM_ messages move it silently. Upright, the minimum is at
// the top.
#include <algorithm>

#include <cairo.h>

#include "gui/win/controls/common.h"
#include "gui/win/controls/controls.h"

namespace vyr::win {
using namespace ctl;

namespace {
enum { THUMB = 0, BEFORE = 1, AFTER = 2 };

struct trackbar : state {
  int32_t low = 0, high = 100, pos = 0;
  int32_t page = -1, line = 1;   // page -1: a fifth of the range
  int64_t grab = 0;              // where in the thumb a drag took it
  bool paging = false;           // a press on the channel, ended by TB_ENDTRACK
};

struct layout_t {
  bool vertical;
  RECT channel;     // the line the thumb runs on
  RECT thumb;
  int64_t start, len;   // the thumb's centre runs over [start, start + len] along the bar
};

int32_t page_of(const trackbar& t) {
  return t.page >= 0 ? t.page : std::max<int32_t>(1, int32_t((int64_t(t.high) - t.low) / 5));
}

layout_t layout(HWND h, const trackbar& t) {
  layout_t l;
  l.vertical = style_of(h) & TBS_VERT;
  RECT rc;
  GetClientRect(h, rc);
  int thick = px(h, 11), tall = std::min(px(h, 21), l.vertical ? rc.width() : rc.height());
  int64_t along = l.vertical ? rc.height() : rc.width();
  l.start = thick / 2 + px(h, 2);
  l.len = std::max<int64_t>(0, along - 2 * l.start);
  int64_t span = int64_t(t.high) - t.low;
  int64_t c = l.start + (span > 0 ? l.len * (int64_t(t.pos) - t.low) / span : 0);
  int cw = px(h, 4);
  if (l.vertical) {
    int mid = rc.width() / 2;
    l.channel = RECT{mid - cw / 2, int(l.start), mid - cw / 2 + cw, int(l.start + l.len)};
    l.thumb = RECT{mid - tall / 2, int(c - thick / 2), mid - tall / 2 + tall, int(c - thick / 2 + thick)};
  } else {
    int mid = rc.height() / 2;
    l.channel = RECT{int(l.start), mid - cw / 2, int(l.start + l.len), mid - cw / 2 + cw};
    l.thumb = RECT{int(c - thick / 2), mid - tall / 2, int(c - thick / 2 + thick), mid - tall / 2 + tall};
  }
  return l;
}

int64_t along(const layout_t& l, POINT p) { return l.vertical ? p.y : p.x; }

int part_at(HWND h, const trackbar& t, POINT p) {
  layout_t l = layout(h, t);
  RECT rc;
  GetClientRect(h, rc);
  if (!rc.contains(p)) return -1;
  if (l.thumb.contains(p)) return THUMB;
  int64_t thumb_start = l.vertical ? l.thumb.top : l.thumb.left;
  return along(l, p) < thumb_start ? BEFORE : AFTER;
}

int32_t clamp_pos(const trackbar& t, int64_t v) { return int32_t(std::clamp<int64_t>(v, t.low, std::max(t.low, t.high))); }

// Moves the thumb and tells the parent; positions only go out with the thumb codes.
void move_to(HWND h, trackbar& t, int64_t v, uint32_t code) {
  int32_t p = clamp_pos(t, v);
  bool moved = p != t.pos;
  t.pos = p;
  if (moved) InvalidateRect(h, nullptr, false);
  bool thumb_code = code == TB_THUMBTRACK || code == TB_THUMBPOSITION;
  if (moved || code == TB_THUMBPOSITION || code == TB_ENDTRACK) {
    HWND parent = GetParent(h);
    uint32_t msg = (style_of(h) & TBS_VERT) ? WM_VSCROLL : WM_HSCROLL;
    if (!is_null(parent)) SendMessage(parent, msg, MAKEWPARAM(code, thumb_code ? uint32_t(p) : 0), LPARAM(raw(h)));
  }
}

void paint(HWND h, trackbar& t) {
  painting pt(h, t.font);
  HDC dc = pt.dc;
  cairo_t* cr = pt.cr;
  const RECT& rc = pt.rc;
  fill(cr, rc, ask_colors(h, dc, WM_CTLCOLORSTATIC, part::face));
  layout_t l = layout(h, t);
  bool enabled = IsWindowEnabled(h);
  fill(cr, l.channel, theme_color(h, part::track));
  outline(cr, l.channel, theme_color(h, part::frame));
  part thumb = !enabled ? part::frame_disabled : t.parts.shows_pressed(THUMB) ? part::accent_pressed
             : t.parts.shows_hot(THUMB) ? part::accent_hot : part::accent;
  fill(cr, l.thumb, theme_color(h, thumb));
  if (t.focused) focus_ring(cr, rc, theme_color(h, part::focus), 1);
}

uint32_t key_code(uint32_t vk) {
  switch (vk) {
    case VK_LEFT: case VK_UP: return TB_LINEUP;
    case VK_RIGHT: case VK_DOWN: return TB_LINEDOWN;
    case VK_PRIOR: return TB_PAGEUP;
    case VK_NEXT: return TB_PAGEDOWN;
    case VK_HOME: return TB_TOP;
    case VK_END: return TB_BOTTOM;
  }
  return TB_ENDTRACK;
}
}  // namespace

LRESULT trackbar_proc(HWND h, uint32_t msg, WPARAM wp, LPARAM lp) {
  trackbar& t = state_of<trackbar>(h);
  LRESULT answer = 0;
  if (common_message(h, t, msg, wp, lp, answer)) return answer;
  POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  switch (msg) {
    case WM_PAINT:
      paint(h, t);
      return 0;
    case TBM_GETPOS: return t.pos;
    case TBM_GETRANGEMIN: return t.low;
    case TBM_GETRANGEMAX: return t.high;
    case TBM_SETPOS:
      t.pos = clamp_pos(t, int32_t(lp));
      if (wp) InvalidateRect(h, nullptr, false);
      return 0;
    case TBM_SETRANGE:
    case TBM_SETRANGEMIN:
    case TBM_SETRANGEMAX:
      if (msg == TBM_SETRANGE) {
        t.low = int16_t(LOWORD(lp));
        t.high = int16_t(HIWORD(lp));
      } else if (msg == TBM_SETRANGEMIN) {
        t.low = int32_t(lp);
      } else {
        t.high = int32_t(lp);
      }
      t.pos = clamp_pos(t, t.pos);
      if (wp) InvalidateRect(h, nullptr, false);
      return 0;
    case TBM_SETPAGESIZE: {
      int32_t old = page_of(t);
      t.page = int32_t(lp);
      return old;
    }
    case TBM_GETPAGESIZE: return page_of(t);
    case TBM_SETLINESIZE: {
      int32_t old = t.line;
      t.line = int32_t(lp);
      return old;
    }
    case TBM_GETLINESIZE: return t.line;
    case TBM_GETTHUMBRECT:
    case TBM_GETCHANNELRECT:
      if (lp) *reinterpret_cast<RECT*>(lp) = msg == TBM_GETTHUMBRECT ? layout(h, t).thumb : layout(h, t).channel;
      return 0;
    case WM_MOUSEMOVE:
      if (GetCapture() == h && t.parts.pressed == THUMB) {
        layout_t l = layout(h, t);
        int64_t span = int64_t(t.high) - t.low;
        int64_t at = along(l, p) - t.grab - l.start;
        int64_t v = l.len > 0 ? t.low + (span * at * 2 + l.len) / (2 * l.len) : t.low;
        move_to(h, t, v, TB_THUMBTRACK);
        return 0;
      }
      hover(h, t, part_at(h, t, p) == THUMB ? THUMB : -1);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      SetFocus(h);
      if (!IsWindow(h)) return 0;
      int part_hit = part_at(h, t, p);
      if (part_hit < 0) return 0;
      SetCapture(h);
      redraw_if(h, t.parts.press(part_hit));
      layout_t l = layout(h, t);
      if (part_hit == THUMB) {
        int64_t centre = l.vertical ? (l.thumb.top + l.thumb.bottom) / 2 : (l.thumb.left + l.thumb.right) / 2;
        t.grab = along(l, p) - centre;
      } else {
        t.paging = true;
        move_to(h, t, int64_t(t.pos) + (part_hit == BEFORE ? -page_of(t) : page_of(t)),
                part_hit == BEFORE ? TB_PAGEUP : TB_PAGEDOWN);
      }
      return 0;
    }
    case WM_LBUTTONUP: {
      bool thumb = t.parts.pressed == THUMB;
      redraw_if(h, t.parts.release(part_at(h, t, p) == THUMB ? THUMB : -1));
      if (GetCapture() == h) ReleaseCapture();
      if (thumb) move_to(h, t, t.pos, TB_THUMBPOSITION);
      if (thumb || t.paging) move_to(h, t, t.pos, TB_ENDTRACK);
      t.paging = false;
      InvalidateRect(h, nullptr, false);
      return 0;
    }
    case WM_KEYDOWN: {
      uint32_t code = key_code(uint32_t(wp));
      int64_t v = t.pos;
      switch (code) {
        case TB_LINEUP: v -= t.line; break;
        case TB_LINEDOWN: v += t.line; break;
        case TB_PAGEUP: v -= page_of(t); break;
        case TB_PAGEDOWN: v += page_of(t); break;
        case TB_TOP: v = t.low; break;
        case TB_BOTTOM: v = t.high; break;
        default: return DefWindowProc(h, msg, wp, lp);
      }
      move_to(h, t, v, code);
      return 0;
    }
    case WM_KEYUP:
      if (key_code(uint32_t(wp)) != TB_ENDTRACK) move_to(h, t, t.pos, TB_ENDTRACK);
      return 0;
    case WM_MOUSEWHEEL: {
      int steps = int16_t(HIWORD(wp)) / WHEEL_DELTA;
      if (steps == 0) return 0;
      move_to(h, t, int64_t(t.pos) - int64_t(steps) * t.line, steps > 0 ? TB_LINEUP : TB_LINEDOWN);
      move_to(h, t, t.pos, TB_ENDTRACK);
      return 0;
    }
  }
  return DefWindowProc(h, msg, wp, lp);
}

}  // namespace vyr::win
