// The scroll-bar engine. Geometry follows Win32's arithmetic: arrows of the system's
// scroll-bar size at both ends (halved when the bar is too short for both), a thumb as long
// as the page is of the range (never below the minimum thumb), placed by the position
// within [nMin, nMax - nPage + 1].
#include "gui/win/scrollbar.h"

#include <algorithm>

#include <cairo.h>

#include "base/colour.h"
#include "gui/win/internal.h"
#include "gui/win/theme.h"

namespace vyr::win::scrollbar {
using namespace detail;

namespace {
constexpr uintptr_t REPEAT_TIMER = 0x5C0117;
constexpr uint32_t FIRST_REPEAT_MS = 350, REPEAT_MS = 50;

int64_t along_of(const geometry& g, POINT p) {
  return g.vertical ? int64_t(p.y) - g.area.top : int64_t(p.x) - g.area.left;
}

// A span [from, to) along the bar as a rectangle across the whole thickness.
RECT span(const geometry& g, int64_t from, int64_t to) {
  if (to <= from) return RECT{};
  if (g.vertical) return RECT{g.area.left, add32(g.area.top, from), g.area.right, add32(g.area.top, to)};
  return RECT{add32(g.area.left, from), g.area.top, add32(g.area.left, to), g.area.bottom};
}

void set_color(cairo_t* cr, COLORREF c) {
  colour::set_source(cr, c);
}

void fill(cairo_t* cr, const RECT& r, COLORREF c) {
  if (r.empty()) return;
  set_color(cr, c);
  cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
  cairo_fill(cr);
}

// A small filled chevron pointing up (or left) for the first arrow, down (or right) for the
// second, centred in r.
void arrow_glyph(cairo_t* cr, const RECT& r, bool vertical, bool first, COLORREF c) {
  double cx = r.left + r.width() / 2.0, cy = r.top + r.height() / 2.0;
  double s = std::min(r.width(), r.height()) / 4.0;
  if (s < 1) return;
  set_color(cr, c);
  double d = first ? -1 : 1;
  if (vertical) {
    cairo_move_to(cr, cx - s, cy - d * s / 2);
    cairo_line_to(cr, cx + s, cy - d * s / 2);
    cairo_line_to(cr, cx, cy + d * s / 2);
  } else {
    cairo_move_to(cr, cx - d * s / 2, cy - s);
    cairo_line_to(cr, cx - d * s / 2, cy + s);
    cairo_line_to(cr, cx + d * s / 2, cy);
  }
  cairo_close_path(cr);
  cairo_fill(cr);
}
}  // namespace

geometry layout(RECT area, bool vertical, const SCROLLINFO& si, uint32_t dpi, bool enabled) {
  geometry g;
  g.area = area;
  g.vertical = vertical;
  int64_t len = vertical ? area.height() : area.width();
  if (len <= 0 || area.empty()) return g;
  int64_t arrow = GetSystemMetricsForDpi(vertical ? SM_CYVSCROLL : SM_CXHSCROLL, dpi ? dpi : 96);
  if (len < 2 * arrow) arrow = len / 2;
  g.track_start = int(arrow);
  g.track_len = int(std::max<int64_t>(0, len - 2 * arrow));
  g.parts[LINE_UP] = span(g, 0, arrow);
  g.parts[LINE_DOWN] = span(g, len - arrow, len);
  int64_t range = int64_t(si.nMax) - si.nMin + 1;
  if (range <= 0) return g;
  int64_t page = std::min<int64_t>(si.nPage, range);
  int64_t max_pos = int64_t(si.nMax) - std::max<int64_t>(page - 1, 0);
  if (!enabled || max_pos <= si.nMin || g.track_len <= 0) return g;
  int64_t min_thumb = std::max<int64_t>(1, (8 * int64_t(dpi ? dpi : 96) + 48) / 96);
  int64_t thumb = page == 0 ? arrow : g.track_len * page / range;
  thumb = std::max(thumb, min_thumb);
  if (thumb >= g.track_len) return g;
  g.thumb_len = int(thumb);
  g.active = true;
  int64_t pos = std::clamp<int64_t>(si.nPos, si.nMin, max_pos);
  int64_t offset = (g.track_len - thumb) * (pos - si.nMin) / (max_pos - si.nMin);
  int64_t t0 = arrow + offset;
  g.parts[PAGE_UP] = span(g, arrow, t0);
  g.parts[THUMB] = span(g, t0, t0 + thumb);
  g.parts[PAGE_DOWN] = span(g, t0 + thumb, arrow + g.track_len);
  return g;
}

int hit(const geometry& g, POINT p) {
  if (!g.active || !g.area.contains(p)) return NONE;
  for (int i = LINE_UP; i <= LINE_DOWN; ++i)
    if (g.parts[i].contains(p)) return i;
  return NONE;
}

int32_t position_at(const geometry& g, const SCROLLINFO& si, int64_t offset) {
  int64_t range = int64_t(si.nMax) - si.nMin + 1;
  int64_t page = std::min<int64_t>(si.nPage, std::max<int64_t>(range, 0));
  int64_t max_pos = int64_t(si.nMax) - std::max<int64_t>(page - 1, 0);
  int64_t free = int64_t(g.track_len) - g.thumb_len;
  if (free <= 0 || max_pos <= si.nMin) return si.nMin;
  offset = std::clamp<int64_t>(offset, 0, free);
  // Rounded to the nearest position, so the thumb lands where it was let go.
  int64_t pos = si.nMin + ((max_pos - si.nMin) * offset * 2 + free) / (2 * free);
  return int32_t(std::clamp<int64_t>(pos, si.nMin, max_pos));
}

uint32_t code_of(int part) {
  switch (part) {
    case LINE_UP: return SB_LINEUP;
    case PAGE_UP: return SB_PAGEUP;
    case THUMB: return SB_THUMBTRACK;
    case PAGE_DOWN: return SB_PAGEDOWN;
    case LINE_DOWN: return SB_LINEDOWN;
  }
  return SB_ENDSCROLL;
}

void draw(cairo_t* cr, const geometry& g, const look& l) {
  if (g.area.empty()) return;
  using theme::part;
  auto c = [&](part p) { return theme::color(p, l.dark); };
  cairo_save(cr);
  fill(cr, g.area, c(part::track));
  bool live = l.enabled && g.active;
  for (int a : {LINE_UP, LINE_DOWN}) {
    const RECT& r = g.parts[a];
    if (r.empty()) continue;
    COLORREF glyph = live ? c(part::glyph) : c(part::glyph_disabled);
    if (live && l.pressed == a) {
      fill(cr, r, c(part::thumb_pressed));
      glyph = c(part::field);
    } else if (live && l.hot == a) {
      fill(cr, r, c(part::thumb));
    }
    arrow_glyph(cr, r, g.vertical, a == LINE_UP, glyph);
  }
  if (live) {
    RECT t = g.parts[THUMB];
    // The thumb stands a little inside the track's thickness.
    int inset = std::max(1, (g.vertical ? g.area.width() : g.area.height()) / 8);
    if (g.vertical) { t.left += inset; t.right -= inset; }
    else { t.top += inset; t.bottom -= inset; }
    part p = l.pressed == THUMB ? part::thumb_pressed : l.hot == THUMB ? part::thumb_hot : part::thumb;
    fill(cr, t, c(p));
  }
  cairo_restore(cr);
}

SCROLLINFO info_of(HWND h, int bar) {
  SCROLLINFO si;
  si.fMask = SIF_ALL;
  GetScrollInfo(h, bar, si);
  const scroll_track& t = st().sb_track;
  if (t.hwnd == h && t.bar == bar && t.part == THUMB) si.nPos = t.track_pos;
  return si;
}

geometry geometry_of(HWND h, int bar) {
  window* w = win_of(h);
  if (!w) return geometry{};
  SCROLLINFO si = info_of(h, bar);
  bool enabled = !(w->style & WS_DISABLED);
  if (bar == SB_CTL) {
    RECT r;
    GetClientRect(h, r);
    return layout(r, w->style & 1 /* SBS_VERT */, si, w->dpi, enabled);
  }
  return layout(scroll_bar_rect(h, bar), bar == SB_VERT, si, w->dpi, enabled);
}

int pressed_part(HWND h, int bar) {
  if (!installed()) return NONE;
  const scroll_track& t = st().sb_track;
  if (t.hwnd != h || t.bar != bar) return NONE;
  return t.part == THUMB || t.over ? t.part : NONE;
}

namespace {
void redraw(HWND h, int bar) {
  if (bar == SB_CTL) InvalidateRect(h, nullptr, false);
  else RedrawWindow(h, nullptr, RDW_FRAME);
}

// Sends one notification; answers whether the bar's position moved.
bool notify(HWND h, int bar, bool vertical, uint32_t code, int32_t pos) {
  SCROLLINFO before = info_of(h, bar);
  WPARAM wp = (WPARAM(uint16_t(pos)) << 16) | code;
  if (bar == SB_CTL) SendMessage(GetParent(h), vertical ? WM_VSCROLL : WM_HSCROLL, wp, LPARAM(raw(h)));
  else SendMessage(h, bar == SB_VERT ? WM_VSCROLL : WM_HSCROLL, wp, 0);
  return IsWindow(h) && info_of(h, bar).nPos != before.nPos;
}
}  // namespace

bool target(HWND h, int bar, uint32_t code, int64_t line, int64_t page, int64_t& at) {
  SCROLLINFO si;
  si.fMask = SIF_ALL;
  switch (code) {
    case SB_LINEUP: at -= line; return true;
    case SB_LINEDOWN: at += line; return true;
    case SB_PAGEUP: at -= page; return true;
    case SB_PAGEDOWN: at += page; return true;
    case SB_TOP: GetScrollInfo(h, bar, si); at = si.nMin; return true;
    case SB_BOTTOM: GetScrollInfo(h, bar, si); at = si.nMax; return true;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION: GetScrollInfo(h, bar, si); at = si.nTrackPos; return true;
  }
  return false;
}

void track(HWND h, int bar, POINT client) {
  if (!installed() || !is_null(st().sb_track.hwnd)) return;
  geometry g = geometry_of(h, bar);
  int p = hit(g, client);
  if (p == NONE) return;
  SCROLLINFO si = info_of(h, bar);
  st().sb_track = scroll_track{h, bar, p, true, si.nPos};
  SetCapture(h);
  redraw(h, bar);
  // Where in the thumb it was taken: the thumb keeps that point under the pointer.
  int64_t grab = along_of(g, client) - (g.vertical ? int64_t(g.parts[THUMB].top) - g.area.top
                                                   : int64_t(g.parts[THUMB].left) - g.area.left);
  POINT last = client;
  if (p != THUMB && notify(h, bar, g.vertical, code_of(p), 0)) SetTimer(h, REPEAT_TIMER, FIRST_REPEAT_MS);
  bool cancelled = false;
  for (;;) {
    if (!IsWindow(h) || GetCapture() != h) break;
    MSG m;
    if (!PeekMessage(m, HWND{}, 0, 0, PM_REMOVE)) {
      if (!WaitMessage()) break;
      continue;
    }
    if (m.message == WM_QUIT) {
      PostQuitMessage(int(m.wParam));
      break;
    }
    if (m.hwnd == h && m.message == WM_MOUSEMOVE) {
      last = POINT{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
      scroll_track& t = st().sb_track;
      if (p == THUMB) {
        int32_t pos = position_at(g, si, along_of(g, last) - grab - g.track_start);
        if (pos != t.track_pos) {
          t.track_pos = pos;
          redraw(h, bar);
          notify(h, bar, g.vertical, SB_THUMBTRACK, pos);
        }
      } else {
        // Repeats pause while the pointer is off the part pressed and go on when it is back.
        bool over = hit(geometry_of(h, bar), last) == p;
        if (over != t.over) {
          t.over = over;
          redraw(h, bar);
          if (over) SetTimer(h, REPEAT_TIMER, REPEAT_MS);
          else KillTimer(h, REPEAT_TIMER);
        }
      }
      continue;
    }
    // A release taken before the capture was set comes as a non-client one.
    if (m.hwnd == h && (m.message == WM_LBUTTONUP || m.message == WM_NCLBUTTONUP)) break;
    if (m.hwnd == h && m.message == WM_TIMER && m.wParam == REPEAT_TIMER) {
      // The track repeats only until the thumb comes under the pointer, and only while each
      // repeat moves the bar.
      bool over = hit(geometry_of(h, bar), last) == p;
      if (over != st().sb_track.over) redraw(h, bar);
      st().sb_track.over = over;
      if (over && notify(h, bar, g.vertical, code_of(p), 0)) SetTimer(h, REPEAT_TIMER, REPEAT_MS);
      else KillTimer(h, REPEAT_TIMER);
      continue;
    }
    if (m.message == WM_KEYDOWN && m.wParam == VK_ESCAPE) {
      cancelled = true;
      break;
    }
    TranslateMessage(m);
    DispatchMessage(m);
  }
  int32_t final_pos = cancelled ? si.nPos : st().sb_track.track_pos;
  st().sb_track = scroll_track{};
  if (!IsWindow(h)) return;
  KillTimer(h, REPEAT_TIMER);
  if (GetCapture() == h) ReleaseCapture();
  if (p == THUMB) notify(h, bar, g.vertical, SB_THUMBPOSITION, final_pos);
  if (IsWindow(h)) notify(h, bar, g.vertical, SB_ENDSCROLL, 0);
  if (IsWindow(h)) redraw(h, bar);
}

}  // namespace vyr::win::scrollbar
