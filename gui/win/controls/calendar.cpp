// SysMonthCal32: one month as a grid of days, weeks from Sunday, English names. A click on a
// day and the arrow, page, Home and End keys select a date and tell the parent (MCN_SELECT);
// the title's arrows turn the month (with MCS_NOSELCHANGEONNAV the selection stays).
// MCM_ messages select silently. Years run from 1601 to 9999.
#include <algorithm>
#include <cstdio>
#include <ctime>

#include <cairo.h>

#include "gui/win/controls/common.h"
#include "gui/win/controls/controls.h"

namespace vyr::win {
using namespace ctl;

namespace {
constexpr int PREV = 1000, NEXT = 1001;

struct date {
  int y = 2000, m = 1, d = 1;
  bool operator==(const date&) const = default;
};

// Days since 1970-01-01 of a civil date, and back.
int64_t day_number(date v) {
  int64_t y = v.y - (v.m <= 2);
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (v.m + (v.m > 2 ? -3 : 9)) + 2) / 5 + v.d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

date from_day_number(int64_t z) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  date r;
  r.d = int(doy - (153 * mp + 2) / 5 + 1);
  r.m = int(mp < 10 ? mp + 3 : mp - 9);
  r.y = int(yoe + era * 400 + (r.m <= 2));
  return r;
}

int days_in(int y, int m) {
  static const int d[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : d[m - 1];
}

int weekday(date v) {   // 0 Sunday
  int64_t w = (day_number(v) + 4) % 7;
  return int(w < 0 ? w + 7 : w);
}

date clamp_date(date v) {
  if (v.y < 1601) return date{1601, 1, 1};
  if (v.y > 9999) return date{9999, 12, 31};
  return v;
}

bool valid(const SYSTEMTIME& s) {
  return s.wMonth >= 1 && s.wMonth <= 12 && s.wDay >= 1 && s.wYear >= 1601 && s.wYear <= 9999 &&
         s.wDay <= days_in(s.wYear, s.wMonth);
}

SYSTEMTIME to_systemtime(date v) {
  SYSTEMTIME s;
  s.wYear = uint16_t(v.y);
  s.wMonth = uint16_t(v.m);
  s.wDay = uint16_t(v.d);
  s.wDayOfWeek = uint16_t(weekday(v));
  return s;
}

date today_now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return clamp_date(date{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday});
}

struct calendar : state {
  date sel = today_now(), today = today_now();
  int shown_y = sel.y, shown_m = sel.m;
  COLORREF colors[6] = {CLR_DEFAULT, CLR_DEFAULT, CLR_DEFAULT, CLR_DEFAULT, CLR_DEFAULT, CLR_DEFAULT};
};

struct grid {
  RECT title, prev, next, names;
  int cell_w = 1, cell_h = 1, left = 0, top = 0;
  RECT today_line;
};

int lh_of(HWND h, const calendar& c) { return line_height(font_or_default(h, c.font)); }

grid layout(HWND h, const calendar& c) {
  grid g;
  RECT rc;
  GetClientRect(h, rc);
  int lh = lh_of(h, c);
  int title_h = lh + px(h, 10), names_h = lh + px(h, 4);
  int today_h = (style_of(h) & MCS_NOTODAY) ? 0 : lh + px(h, 6);
  g.title = RECT{rc.left, rc.top, rc.right, rc.top + title_h};
  int bw = std::min(px(h, 24), rc.width() / 4);
  g.prev = RECT{rc.left + px(h, 2), rc.top + px(h, 2), rc.left + px(h, 2) + bw, rc.top + title_h - px(h, 2)};
  g.next = RECT{rc.right - px(h, 2) - bw, g.prev.top, rc.right - px(h, 2), g.prev.bottom};
  g.names = RECT{rc.left, g.title.bottom, rc.right, g.title.bottom + names_h};
  int margin = px(h, 4);
  g.cell_w = std::max(1, (rc.width() - 2 * margin) / 7);
  g.cell_h = std::max(1, (rc.height() - g.names.bottom - today_h - margin) / 6);
  g.left = rc.left + (rc.width() - 7 * g.cell_w) / 2;
  g.top = g.names.bottom;
  g.today_line = RECT{rc.left, rc.bottom - today_h, rc.right, rc.bottom};
  return g;
}

// The first date shown in the grid: the Sunday on or before the first of the month.
int64_t grid_start(const calendar& c) {
  date first{c.shown_y, c.shown_m, 1};
  return day_number(first) - weekday(first);
}

COLORREF color(HWND h, const calendar& c, uint32_t which) {
  if (c.colors[which] != CLR_DEFAULT) return c.colors[which];
  switch (which) {
    case MCSC_BACKGROUND: return theme_color(h, part::field);
    case MCSC_TEXT: return theme_color(h, part::text);
    case MCSC_TITLEBK: return theme_color(h, part::face);
    case MCSC_TITLETEXT: return theme_color(h, part::text);
    case MCSC_MONTHBK: return color(h, c, MCSC_BACKGROUND);
    case MCSC_TRAILINGTEXT: return theme_color(h, part::text_cue);
  }
  return 0;
}

const char* const month_names[] = {"January", "February", "March", "April", "May", "June", "July",
                                   "August", "September", "October", "November", "December"};

void paint(HWND h, calendar& c) {
  painting pt(h, c.font);
  HDC dc = pt.dc;
  cairo_t* cr = pt.cr;
  const RECT& rc = pt.rc;
  SetBkMode(dc, TRANSPARENT);
  grid g = layout(h, c);
  uint32_t style = style_of(h);
  fill(cr, rc, color(h, c, MCSC_BACKGROUND));
  fill(cr, RECT{rc.left, g.names.top, rc.right, g.top + 6 * g.cell_h}, color(h, c, MCSC_MONTHBK));
  fill(cr, g.title, color(h, c, MCSC_TITLEBK));
  char buf[64];
  std::snprintf(buf, sizeof buf, "%s %d", month_names[c.shown_m - 1], c.shown_y);
  SetTextColor(dc, color(h, c, MCSC_TITLETEXT));
  RECT tt = g.title;
  DrawText(dc, buf, tt, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
  for (int id : {PREV, NEXT}) {
    RECT a = id == PREV ? g.prev : g.next;
    if (c.parts.shows_hot(id)) fill(cr, a, theme_color(h, c.parts.shows_pressed(id) ? part::face_pressed : part::face_hot));
    double cx = a.left + a.width() / 2.0, cy = a.top + a.height() / 2.0, d = std::max(2, px(h, 4));
    double s = id == PREV ? 1 : -1;
    set_color(cr, theme_color(h, IsWindowEnabled(h) ? part::glyph : part::glyph_disabled));
    cairo_move_to(cr, cx + s * d / 2, cy - d);
    cairo_line_to(cr, cx - s * d / 2, cy);
    cairo_line_to(cr, cx + s * d / 2, cy + d);
    cairo_close_path(cr);
    cairo_fill(cr);
  }
  static const char* const shortest[] = {"Su", "Mo", "Tu", "We", "Th", "Fr", "Sa"};
  static const char* const abbreviated[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  SetTextColor(dc, color(h, c, MCSC_TEXT));
  for (int i = 0; i < 7; ++i) {
    RECT r{g.left + i * g.cell_w, g.names.top, g.left + (i + 1) * g.cell_w, g.names.bottom};
    DrawText(dc, (style & MCS_SHORTDAYSOFWEEK) ? shortest[i] : abbreviated[i], r,
             DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
  }
  set_color(cr, theme_color(h, part::frame));
  cairo_set_line_width(cr, 1);
  cairo_move_to(cr, g.left, g.names.bottom - 0.5);
  cairo_line_to(cr, g.left + 7 * g.cell_w, g.names.bottom - 0.5);
  cairo_stroke(cr);
  int64_t start = grid_start(c);
  for (int k = 0; k < 42; ++k) {
    date d = from_day_number(start + k);
    RECT r{g.left + (k % 7) * g.cell_w, g.top + (k / 7) * g.cell_h, g.left + (k % 7 + 1) * g.cell_w,
           g.top + (k / 7 + 1) * g.cell_h};
    bool in_month = d.m == c.shown_m && d.y == c.shown_y;
    COLORREF text = in_month ? color(h, c, MCSC_TEXT) : color(h, c, MCSC_TRAILINGTEXT);
    if (d == c.sel) {
      fill(cr, RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1},
           theme_color(h, c.focused ? part::selection : part::selection_inactive));
      text = theme_color(h, c.focused ? part::selection_text : part::selection_inactive_text);
    }
    if (d == c.today && !(style & MCS_NOTODAYCIRCLE)) outline(cr, RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1},
                                                             theme_color(h, part::accent));
    SetTextColor(dc, text);
    std::snprintf(buf, sizeof buf, "%d", d.d);
    DrawText(dc, buf, r, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
  }
  if (!(style & MCS_NOTODAY)) {
    SetTextColor(dc, color(h, c, MCSC_TEXT));
    std::snprintf(buf, sizeof buf, "Today: %d/%d/%d", c.today.m, c.today.d, c.today.y);
    RECT r = g.today_line;
    DrawText(dc, buf, r, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
  }
}

int part_at(HWND h, const calendar& c, POINT p, date* out) {
  grid g = layout(h, c);
  if (g.prev.contains(p)) return PREV;
  if (g.next.contains(p)) return NEXT;
  if (p.x < g.left || p.x >= g.left + 7 * g.cell_w || p.y < g.top || p.y >= g.top + 6 * g.cell_h) return -1;
  int k = (p.y - g.top) / g.cell_h * 7 + (p.x - g.left) / g.cell_w;
  if (out) *out = from_day_number(grid_start(c) + k);
  return k;
}

void show_month(calendar& c, int y, int m) {
  date d = clamp_date(date{y, m, 1});
  c.shown_y = d.y;
  c.shown_m = d.m;
}

// The user's choice of a date: shown, selected, told.
void choose(HWND h, calendar& c, date d) {
  d = clamp_date(d);
  c.sel = d;
  show_month(c, d.y, d.m);
  InvalidateRect(h, nullptr, false);
  NMSELCHANGE sc;
  sc.stSelStart = sc.stSelEnd = to_systemtime(d);
  notify(h, sc.nmhdr, MCN_SELECT);
}

void turn(HWND h, calendar& c, int months) {
  int idx = c.shown_y * 12 + (c.shown_m - 1) + months;
  if (!(style_of(h) & MCS_NOSELCHANGEONNAV)) {
    int y = idx / 12, m = idx % 12 + 1;
    return choose(h, c, date{y, m, std::min(c.sel.d, days_in(y, m))});
  }
  show_month(c, idx / 12, idx % 12 + 1);
  InvalidateRect(h, nullptr, false);
}
}  // namespace

LRESULT calendar_proc(HWND h, uint32_t msg, WPARAM wp, LPARAM lp) {
  calendar& c = state_of<calendar>(h);
  LRESULT answer = 0;
  if (common_message(h, c, msg, wp, lp, answer)) return answer;
  POINT p{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
  switch (msg) {
    case WM_PAINT:
      paint(h, c);
      return 0;
    case WM_SIZE:
      InvalidateRect(h, nullptr, false);
      return 0;
    case MCM_GETCURSEL:
      if (!lp) return 0;
      *reinterpret_cast<SYSTEMTIME*>(lp) = to_systemtime(c.sel);
      return 1;
    case MCM_SETCURSEL: {
      if (!lp || !valid(*reinterpret_cast<const SYSTEMTIME*>(lp))) return 0;
      const SYSTEMTIME& s = *reinterpret_cast<const SYSTEMTIME*>(lp);
      c.sel = date{s.wYear, s.wMonth, s.wDay};
      show_month(c, c.sel.y, c.sel.m);
      InvalidateRect(h, nullptr, false);
      return 1;
    }
    case MCM_GETTODAY:
      if (!lp) return 0;
      *reinterpret_cast<SYSTEMTIME*>(lp) = to_systemtime(c.today);
      return 1;
    case MCM_SETTODAY:
      c.today = lp && valid(*reinterpret_cast<const SYSTEMTIME*>(lp))
                  ? date{reinterpret_cast<const SYSTEMTIME*>(lp)->wYear, reinterpret_cast<const SYSTEMTIME*>(lp)->wMonth,
                         reinterpret_cast<const SYSTEMTIME*>(lp)->wDay}
                  : today_now();
      InvalidateRect(h, nullptr, false);
      return 0;
    case MCM_SETCOLOR: {
      if (wp > MCSC_TRAILINGTEXT) return LRESULT(-1);
      COLORREF old = c.colors[wp];
      c.colors[wp] = COLORREF(lp);
      InvalidateRect(h, nullptr, false);
      return old == CLR_DEFAULT ? LRESULT(-1) : LRESULT(old);
    }
    case MCM_GETCOLOR:
      return wp > MCSC_TRAILINGTEXT ? LRESULT(-1) : LRESULT(color(h, c, uint32_t(wp)));
    case MCM_GETFIRSTDAYOFWEEK:
      return 6;   // Sunday, counted from Monday as 0
    case MCM_GETMINREQRECT: {
      if (!lp) return 0;
      int lh = lh_of(h, c);
      int cell_w = px(h, 28), cell_h = lh + px(h, 4);
      int today_h = (style_of(h) & MCS_NOTODAY) ? 0 : lh + px(h, 6);
      *reinterpret_cast<RECT*>(lp) = RECT{0, 0, 7 * cell_w + 2 * px(h, 4),
                                          lh + px(h, 10) + lh + px(h, 4) + 6 * cell_h + today_h + px(h, 4)};
      return 1;
    }
    case WM_MOUSEMOVE: {
      int at = part_at(h, c, p, nullptr);
      hover(h, c, at == PREV || at == NEXT ? at : -1);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (GetFocus() != h) SetFocus(h);
      if (!IsWindow(h)) return 0;
      date d;
      int at = part_at(h, c, p, &d);
      if (at == PREV || at == NEXT) {
        SetCapture(h);
        redraw_if(h, c.parts.press(at));
      } else if (at >= 0) {
        choose(h, c, d);
      }
      return 0;
    }
    case WM_LBUTTONUP: {
      int at = part_at(h, c, p, nullptr);
      behavior::answer a = redraw_if(h, c.parts.release(at == PREV || at == NEXT ? at : -1));
      if (GetCapture() == h) ReleaseCapture();
      if (a.activated == PREV || a.activated == NEXT) turn(h, c, a.activated == PREV ? -1 : 1);
      return 0;
    }
    case WM_KEYDOWN: {
      int64_t n = day_number(c.sel);
      date d = c.sel;
      switch (wp) {
        case VK_LEFT: d = from_day_number(n - 1); break;
        case VK_RIGHT: d = from_day_number(n + 1); break;
        case VK_UP: d = from_day_number(n - 7); break;
        case VK_DOWN: d = from_day_number(n + 7); break;
        case VK_PRIOR: case VK_NEXT: {
          int idx = d.y * 12 + (d.m - 1) + (wp == VK_PRIOR ? -1 : 1);
          int y = idx / 12, m = idx % 12 + 1;
          d = date{y, m, std::min(d.d, days_in(y, m))};
          break;
        }
        case VK_HOME: d.d = 1; break;
        case VK_END: d.d = days_in(d.y, d.m); break;
        default: return 0;
      }
      choose(h, c, d);
      return 0;
    }
  }
  return DefWindowProc(h, msg, wp, lp);
}

}  // namespace vyr::win
