// EDIT: the editing engine put on the screen with pango. This file only translates: keys,
// characters, the pointer and EM_ messages into the engine's edits and moves, and the
// engine's text, caret and selection into rows of pango lines, scroll bars and the caret.
// Multi-line text wraps at the control's width unless ES_AUTOHSCROLL is set. Each logical
// line's row count and width are cached, and an edit re-measures only the lines it touched,
// so a keystroke costs the same in a short text and a long one.
#include <algorithm>
#include <cmath>
#include <unordered_map>

#include <cairo.h>
#include <pango/pangocairo.h>

#include "gui/win/controls/common.h"
#include "gui/win/controls/controls.h"
#include "gui/win/controls/edit_engine.h"
#include "gui/win/scrollbar.h"

namespace vyr::win {
using namespace ctl;

namespace {
struct line_cache {
  int rows = -1;    // rows the line takes (1 when not wrapping)
  int width = -1;   // widest row in pixels
};

// Laid-out lines by their shown text, for as long as font, width and tabs stay: a keystroke
// lays out the line it changed, not every line in view.
struct layout_cache {
  std::unordered_map<std::u32string, PangoLayout*> by_text;
  void clear() {
    for (auto& [t, l] : by_text) g_object_unref(l);
    by_text.clear();
  }
  ~layout_cache() { clear(); }
};

struct edit_ctl : state {
  edit::engine e;
  layout_cache layouts;
  // The text as UTF-8, made when asked for and kept until the text changes.
  std::string utf8;
  uint64_t utf8_revision = 0;
  const std::string& text_utf8() {
    if (utf8_revision != e.revision) {
      utf8 = to_utf8(e.text());
      utf8_revision = e.revision;
    }
    return utf8;
  }
  std::u32string cue;
  bool cue_when_focused = false;
  std::vector<int> tab_units;   // tab stops in dialog units; empty: every 32
  int64_t scroll_x = 0, top_row = 0;
  int desired_x = -1;           // the x an up or down move keeps
  char16_t high_surrogate = 0;
  bool selecting = false;
  std::vector<line_cache> cache;
  int cache_width = -2;
  HFONT cache_font{};
  uint32_t cache_dpi = 0;
};

// What the geometry of one moment depends on.
struct metrics {
  HFONT font{};
  int lh = 1, ascent = 0, avg = 1;
  RECT fmt;          // the formatting rectangle: where text goes
  bool multi = false, wrap = false;
  uint32_t align = ES_LEFT;
};

// A DC of the control with its font selected, released at the end of the scope.
struct dc_scope {
  HWND h;
  HDC dc;
  bool own;
  dc_scope(HWND hh, HFONT f, HDC given = HDC{}) : h(hh), dc(is_null(given) ? GetDC(hh) : given), own(is_null(given)) {
    SelectObject(dc, f);
  }
  ~dc_scope() {
    if (own) ReleaseDC(h, dc);
  }
};

metrics metrics_of(HWND h, edit_ctl& s, HDC dc) {
  metrics m;
  uint32_t style = style_of(h);
  m.font = font_or_default(h, s.font);
  TEXTMETRIC tm = text_metrics(m.font);
  m.lh = tm.tmHeight;
  m.ascent = tm.tmAscent;
  m.avg = tm.tmAveCharWidth;
  m.multi = style & ES_MULTILINE;
  m.wrap = m.multi && !(style & ES_AUTOHSCROLL);
  m.align = style & 3;
  RECT rc;
  GetClientRect(h, rc);
  int margin = px(h, 2);
  m.fmt = RECT{rc.left + margin, rc.top, std::max(rc.left + margin, rc.right - margin), rc.bottom};
  if (m.multi) {
    m.fmt.top += px(h, 1);
  } else {
    // One line, centred in the height.
    int top = std::max(0, (rc.height() - m.lh) / 2);
    m.fmt.top = rc.top + top;
    m.fmt.bottom = std::min(rc.bottom, m.fmt.top + m.lh);
  }
  if (m.fmt.bottom < m.fmt.top) m.fmt.bottom = m.fmt.top;
  return m;
}

int visible_rows(const metrics& m) { return std::max(1, m.fmt.height() / m.lh); }

// Byte offsets of the UTF-8 of a line, for pango, from code-point offsets and back.
int byte_of(const std::u32string& line, size_t cp) {
  int b = 0;
  for (size_t i = 0; i < cp && i < line.size(); ++i) {
    char32_t c = line[i];
    b += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  }
  return b;
}

size_t cp_of(const std::u32string& line, int byte) {
  int b = 0;
  size_t i = 0;
  for (; i < line.size() && b < byte; ++i) {
    char32_t c = line[i];
    b += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  }
  return i;
}

std::u32string line_text(const edit_ctl& s, size_t line) {
  return s.e.shown(s.e.line_start(line), s.e.line_length(line));
}

// The layout of a line's shown text; the cache owns it.
PangoLayout* layout_of(HDC dc, edit_ctl& s, const metrics& m, const std::u32string& text) {
  auto known = s.layouts.by_text.find(text);
  if (known != s.layouts.by_text.end()) return known->second;
  if (s.layouts.by_text.size() >= 512) s.layouts.clear();
  PangoLayout* l = CreateTextLayout(dc, to_utf8(text));
  if (!l) return nullptr;
  s.layouts.by_text.emplace(text, l);
  // Tab stops: dialog units are a quarter of the average character width.
  int du = std::max(1, m.avg);
  std::vector<int> stops = s.tab_units.empty() ? std::vector<int>{32} : s.tab_units;
  int n = 64;
  PangoTabArray* tabs = pango_tab_array_new(n, TRUE);
  int64_t at = 0;
  for (int i = 0; i < n; ++i) {
    int64_t step = size_t(i) < stops.size() ? (i == 0 ? stops[0] : stops[size_t(i)] - stops[size_t(i) - 1])
                                            : (stops.size() == 1 ? stops[0] : stops.back() - stops[stops.size() - 2]);
    at += std::max<int64_t>(1, step) * du / 4;
    pango_tab_array_set_tab(tabs, i, PANGO_TAB_LEFT, int(std::min<int64_t>(at, 1 << 20)));
  }
  pango_layout_set_tabs(l, tabs);
  pango_tab_array_free(tabs);
  if (m.wrap) {
    pango_layout_set_width(l, std::max(1, m.fmt.width()) * PANGO_SCALE);
    pango_layout_set_wrap(l, PANGO_WRAP_WORD_CHAR);
  }
  return l;
}

// Keeps the cache in step with the text: call after every change of the text.
void text_changed(edit_ctl& s) {
  size_t now = s.e.line_count();
  if (s.cache.empty()) {
    s.cache.assign(now, line_cache{});
    return;
  }
  const edit::change& c = s.e.last;
  size_t first = s.e.line_of(c.pos);
  size_t last_new = s.e.line_of(c.pos + c.inserted);
  size_t new_span = last_new - first + 1;
  int64_t delta = int64_t(now) - int64_t(s.cache.size());
  int64_t old_span = int64_t(new_span) - delta;
  if (first > s.cache.size() || old_span < 1 || first + size_t(old_span) > s.cache.size()) {
    s.cache.assign(now, line_cache{});
    return;
  }
  s.cache.erase(s.cache.begin() + int64_t(first), s.cache.begin() + int64_t(first) + old_span);
  s.cache.insert(s.cache.begin() + int64_t(first), new_span, line_cache{});
}

void check_cache(HWND h, edit_ctl& s, const metrics& m) {
  int width = m.wrap ? m.fmt.width() : -1;
  uint32_t dpi = dpi_of(h);
  if (width != s.cache_width || m.font != s.cache_font || dpi != s.cache_dpi || s.cache.size() != s.e.line_count()) {
    s.cache.assign(s.e.line_count(), line_cache{});
    s.layouts.clear();
    s.cache_width = width;
    s.cache_font = m.font;
    s.cache_dpi = dpi;
  }
}

line_cache& measure(HDC dc, edit_ctl& s, const metrics& m, size_t line) {
  line_cache& c = s.cache[line];
  if (c.rows >= 0) return c;
  PangoLayout* l = layout_of(dc, s, m, line_text(s, line));
  int w = 0, hh = 0;
  pango_layout_get_pixel_size(l, &w, &hh);
  c.rows = m.wrap ? std::max(1, pango_layout_get_line_count(l)) : 1;
  c.width = w;
  return c;
}

int rows_of(HDC dc, edit_ctl& s, const metrics& m, size_t line) {
  return m.wrap ? measure(dc, s, m, line).rows : 1;
}

int64_t rows_before(HDC dc, edit_ctl& s, const metrics& m, size_t line) {
  if (!m.wrap) return int64_t(line);
  int64_t r = 0;
  for (size_t i = 0; i < line; ++i) r += rows_of(dc, s, m, i);
  return r;
}

int64_t total_rows(HDC dc, edit_ctl& s, const metrics& m) { return rows_before(dc, s, m, s.e.line_count()); }

// The logical line holding visual row `row`, and the row within it.
std::pair<size_t, int> line_at_row(HDC dc, edit_ctl& s, const metrics& m, int64_t row) {
  size_t n = s.e.line_count();
  if (row < 0) return {0, 0};
  if (!m.wrap) return row < int64_t(n) ? std::pair<size_t, int>{size_t(row), 0} : std::pair<size_t, int>{n - 1, 0};
  int64_t r = 0;
  for (size_t i = 0; i < n; ++i) {
    int k = rows_of(dc, s, m, i);
    if (row < r + k) return {i, int(row - r)};
    r += k;
  }
  return {n - 1, std::max(0, rows_of(dc, s, m, n - 1) - 1)};
}

int widest(HDC dc, edit_ctl& s, const metrics& m) {
  int w = 0;
  for (size_t i = 0; i < s.e.line_count(); ++i) w = std::max(w, measure(dc, s, m, i).width);
  return w;
}

// The x where a pango line starts, for the control's alignment.
int align_offset(const metrics& m, PangoLayoutLine* pl) {
  if (m.align == ES_LEFT || !pl) return 0;
  PangoRectangle ink, logical;
  pango_layout_line_get_pixel_extents(pl, &ink, &logical);
  int room = m.fmt.width() - logical.width;
  if (room <= 0) return 0;
  return m.align == ES_CENTER ? room / 2 : room;
}

// Where a text position is drawn: the client point of its caret (top of the row).
POINT point_of(HDC dc, edit_ctl& s, const metrics& m, size_t pos, int64_t* row_out = nullptr, int* x_out = nullptr) {
  size_t line = s.e.line_of(pos);
  std::u32string t = line_text(s, line);
  PangoLayout* l = layout_of(dc, s, m, t);
  int ln = 0, xp = 0;
  pango_layout_index_to_line_x(l, byte_of(t, pos - s.e.line_start(line)), 0, &ln, &xp);
  int x = xp / PANGO_SCALE + align_offset(m, pango_layout_get_line_readonly(l, ln));
  int64_t row = rows_before(dc, s, m, line) + ln;
  if (row_out) *row_out = row;
  if (x_out) *x_out = x;
  return POINT{int(m.fmt.left + x - s.scroll_x), int(m.fmt.top + (row - s.top_row) * m.lh)};
}

// The text position at a visual row and an x inside the text (not scrolled).
size_t pos_at_row(HDC dc, edit_ctl& s, const metrics& m, int64_t row, int x) {
  int64_t total = total_rows(dc, s, m);
  row = std::clamp<int64_t>(row, 0, std::max<int64_t>(0, total - 1));
  auto [line, sub] = line_at_row(dc, s, m, row);
  std::u32string t = line_text(s, line);
  PangoLayout* l = layout_of(dc, s, m, t);
  PangoLayoutLine* pl = pango_layout_get_line_readonly(l, sub);
  int index = 0, trailing = 0;
  if (pl) {
    pango_layout_line_x_to_index(pl, (x - align_offset(m, pl)) * PANGO_SCALE, &index, &trailing);
    // A wrapped row ends before the character that opened the next row.
    int end = pl->start_index + pl->length;
    if (trailing > 0 && sub + 1 < pango_layout_get_line_count(l) && index + 1 >= end) trailing = 0;
  }
  size_t cp = cp_of(t, index) + size_t(std::max(0, trailing));
  return s.e.line_start(line) + std::min(cp, t.size());
}

size_t pos_at_point(HDC dc, edit_ctl& s, const metrics& m, POINT p) {
  int64_t row = s.top_row + int64_t(std::floor(double(p.y - m.fmt.top) / m.lh));
  return pos_at_row(dc, s, m, row, int(p.x - m.fmt.left + s.scroll_x));
}

// The first and past-the-end position of the visual row holding `pos`.
std::pair<size_t, size_t> row_span(HDC dc, edit_ctl& s, const metrics& m, size_t pos) {
  size_t line = s.e.line_of(pos);
  size_t start = s.e.line_start(line);
  std::u32string t = line_text(s, line);
  PangoLayout* l = layout_of(dc, s, m, t);
  int ln = 0, xp = 0;
  pango_layout_index_to_line_x(l, byte_of(t, pos - start), 0, &ln, &xp);
  PangoLayoutLine* pl = pango_layout_get_line_readonly(l, ln);
  size_t a = start + cp_of(t, pl->start_index), b = start + cp_of(t, pl->start_index + pl->length);
  bool last_row = ln + 1 >= pango_layout_get_line_count(l);
  // The end of a wrapped row stands before the space it broke at.
  if (!last_row && b > a && b - 1 < s.e.text().size() && (s.e.text()[b - 1] == ' ' || s.e.text()[b - 1] == '\t')) --b;
  return {a, b};
}

void update_bars(HWND h, edit_ctl& s, HDC dc, const metrics& m) {
  uint32_t style = style_of(h);
  if (style & WS_VSCROLL) {
    SCROLLINFO si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = int32_t(std::min<int64_t>(total_rows(dc, s, m) - 1, INT32_MAX));
    si.nPage = uint32_t(visible_rows(m));
    si.nPos = int32_t(std::min<int64_t>(s.top_row, INT32_MAX));
    SetScrollInfo(h, SB_VERT, si, true);
  }
  if ((style & WS_HSCROLL) && !m.wrap) {
    SCROLLINFO si;
    si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    si.nMin = 0;
    si.nMax = widest(dc, s, m) + px(h, 2);
    si.nPage = uint32_t(std::max(1, m.fmt.width()));
    si.nPos = int32_t(std::min<int64_t>(s.scroll_x, INT32_MAX));
    SetScrollInfo(h, SB_HORZ, si, true);
  }
}

void place_caret(HWND h, edit_ctl& s, HDC dc, const metrics& m) {
  if (!s.focused) return;
  POINT p = point_of(dc, s, m, s.e.caret());
  SetCaretPos(p.x, p.y);
}

void clamp_scroll(HDC dc, edit_ctl& s, const metrics& m) {
  int64_t max_top = std::max<int64_t>(0, total_rows(dc, s, m) - visible_rows(m));
  s.top_row = std::clamp<int64_t>(s.top_row, 0, m.multi ? max_top : 0);
  if (m.wrap) s.scroll_x = 0;
  else s.scroll_x = std::clamp<int64_t>(s.scroll_x, 0, std::max<int64_t>(0, widest(dc, s, m) + 2 - m.fmt.width()));
}

// Scrolls the caret into view, then shows the caret and the bars where they now are.
void show_caret_area(HWND h, edit_ctl& s) {
  dc_scope d(h, font_or_default(h, s.font));
  metrics m = metrics_of(h, s, d.dc);
  check_cache(h, s, m);
  int64_t row = 0;
  int x = 0;
  point_of(d.dc, s, m, s.e.caret(), &row, &x);
  int64_t vis = visible_rows(m);
  if (row < s.top_row) s.top_row = row;
  else if (row >= s.top_row + vis) s.top_row = row - vis + 1;
  if (!m.wrap) {
    int w = m.fmt.width();
    // Out of view sideways, the caret is brought a quarter of the width in.
    if (x < s.scroll_x) s.scroll_x = std::max<int64_t>(0, x - w / 4);
    else if (x >= s.scroll_x + w) s.scroll_x = x - w + w / 4;
  }
  clamp_scroll(d.dc, s, m);
  update_bars(h, s, d.dc, m);
  place_caret(h, s, d.dc, m);
  InvalidateRect(h, nullptr, false);
}

// After an edit the user asked for: the limit's notice, then the text's.
void after_edit(HWND h, edit_ctl& s, edit::outcome o) {
  if (o.changed) {
    text_changed(s);
    s.desired_x = -1;
    show_caret_area(h, s);
  }
  if (o.limited) {
    command(h, EN_MAXTEXT);
    if (!IsWindow(h)) return;
  }
  if (o.changed) {
    command(h, EN_UPDATE);
    if (IsWindow(h)) command(h, EN_CHANGE);
  }
}

void moved(HWND h, edit_ctl& s, bool keep_x = false) {
  if (!keep_x) s.desired_x = -1;
  show_caret_area(h, s);
}

void paint(HWND h, edit_ctl& s) {
  painting pt(h, s.font);
  HDC dc = pt.dc;
  cairo_t* cr = pt.cr;
  const RECT& rc = pt.rc;
  uint32_t style = style_of(h);
  bool enabled = IsWindowEnabled(h), read_only = style & ES_READONLY;
  // Read-only and disabled fields ask as labels do.
  uint32_t ask = !enabled || read_only ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT;
  fill(cr, rc, ask_colors(h, dc, ask, enabled && !read_only ? part::field : part::field_disabled));
  COLORREF text_color = GetTextColor(dc);
  metrics m = metrics_of(h, s, dc);
  check_cache(h, s, m);
  cairo_save(cr);
  cairo_rectangle(cr, m.fmt.left, m.fmt.top, m.fmt.width(), std::max(m.fmt.height(), m.lh));
  cairo_clip(cr);
  if (s.e.text().empty() && !s.cue.empty() && (!s.focused || s.cue_when_focused)) {
    SetTextColor(dc, theme_color(h, part::text_cue));
    SetBkMode(dc, TRANSPARENT);
    RECT r = m.fmt;
    DrawText(dc, to_utf8(s.cue), r, DT_NOPREFIX | DT_SINGLELINE);
  }
  bool show_sel = s.e.has_selection() && (s.focused || (style & ES_NOHIDESEL));
  COLORREF sel_bg = theme_color(h, s.focused ? part::selection : part::selection_inactive);
  COLORREF sel_fg = theme_color(h, s.focused ? part::selection_text : part::selection_inactive_text);
  int64_t vis = visible_rows(m) + 1;
  auto [line, sub] = line_at_row(dc, s, m, s.top_row);
  int64_t row = s.top_row - sub;
  for (; line < s.e.line_count() && row < s.top_row + vis; ++line) {
    std::u32string t = line_text(s, line);
    PangoLayout* l = layout_of(dc, s, m, t);
    size_t start = s.e.line_start(line);
    int nlines = pango_layout_get_line_count(l);
    for (int i = 0; i < nlines; ++i, ++row) {
      if (row < s.top_row) continue;
      PangoLayoutLine* pl = pango_layout_get_line_readonly(l, i);
      double x = m.fmt.left - s.scroll_x + align_offset(m, pl);
      double y = m.fmt.top + (row - s.top_row) * m.lh;
      std::vector<RECT> sel;
      if (show_sel) {
        size_t a = std::max(s.e.sel_start(), start), b = std::min(s.e.sel_end(), start + t.size());
        if (a < b) {
          int* ranges = nullptr;
          int n = 0;
          pango_layout_line_get_x_ranges(pl, byte_of(t, a - start), byte_of(t, b - start), &ranges, &n);
          for (int k = 0; k < n; ++k)
            sel.push_back(RECT{int(x + ranges[2 * k] / PANGO_SCALE), int(y), int(x + ranges[2 * k + 1] / PANGO_SCALE),
                               int(y + m.lh)});
          g_free(ranges);
        }
      }
      for (const RECT& r : sel) fill(cr, r, sel_bg);
      set_color(cr, text_color);
      cairo_move_to(cr, x, y + m.ascent);
      pango_cairo_show_layout_line(cr, pl);
      if (!sel.empty()) {
        cairo_save(cr);
        for (const RECT& r : sel) cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
        cairo_clip(cr);
        set_color(cr, sel_fg);
        cairo_move_to(cr, x, y + m.ascent);
        pango_cairo_show_layout_line(cr, pl);
        cairo_restore(cr);
      }
    }
  }
  cairo_restore(cr);
}

void scroll_rows(HWND h, edit_ctl& s, int64_t rows) {
  s.top_row += rows;
  dc_scope d(h, font_or_default(h, s.font));
  metrics m = metrics_of(h, s, d.dc);
  check_cache(h, s, m);
  clamp_scroll(d.dc, s, m);
  update_bars(h, s, d.dc, m);
  place_caret(h, s, d.dc, m);
  InvalidateRect(h, nullptr, false);
}

void scroll_message(HWND h, edit_ctl& s, uint32_t msg, WPARAM wp) {
  dc_scope d(h, font_or_default(h, s.font));
  metrics m = metrics_of(h, s, d.dc);
  check_cache(h, s, m);
  bool vertical = msg == WM_VSCROLL;
  int64_t page = vertical ? visible_rows(m) : std::max(1, m.fmt.width() * 3 / 4);
  int64_t line = vertical ? 1 : m.avg;
  int64_t& at = vertical ? s.top_row : s.scroll_x;
  if (!scrollbar::target(h, vertical ? SB_VERT : SB_HORZ, LOWORD(wp), line, page, at)) return;
  clamp_scroll(d.dc, s, m);
  update_bars(h, s, d.dc, m);
  place_caret(h, s, d.dc, m);
  InvalidateRect(h, nullptr, false);
  command(h, vertical ? EN_VSCROLL : EN_HSCROLL);
}

// A move of the caret by a key.
void key_move(HWND h, edit_ctl& s, uint32_t vk, bool shift, bool ctrl) {
  edit::engine& e = s.e;
  dc_scope d(h, font_or_default(h, s.font));
  metrics m = metrics_of(h, s, d.dc);
  check_cache(h, s, m);
  size_t caret = e.caret();
  bool collapse = e.has_selection() && !shift;
  if (!m.multi && (vk == VK_UP || vk == VK_DOWN)) vk = vk == VK_UP ? VK_LEFT : VK_RIGHT;
  switch (vk) {
    case VK_LEFT:
      if (collapse && !ctrl) return e.move_to(e.sel_start(), false), moved(h, s);
      e.move_to(ctrl ? e.word_left(caret) : caret > 0 ? caret - 1 : 0, shift);
      return moved(h, s);
    case VK_RIGHT:
      if (collapse && !ctrl) return e.move_to(e.sel_end(), false), moved(h, s);
      e.move_to(ctrl ? e.word_right(caret) : caret + 1, shift);
      return moved(h, s);
    case VK_HOME:
      e.move_to(ctrl ? 0 : row_span(d.dc, s, m, caret).first, shift);
      return moved(h, s);
    case VK_END:
      e.move_to(ctrl ? e.text().size() : row_span(d.dc, s, m, caret).second, shift);
      return moved(h, s);
    case VK_UP: case VK_DOWN: case VK_PRIOR: case VK_NEXT: {
      int64_t row = 0;
      int x = 0;
      point_of(d.dc, s, m, caret, &row, &x);
      if (s.desired_x < 0) s.desired_x = x;
      int64_t step = vk == VK_UP ? -1 : vk == VK_DOWN ? 1 : vk == VK_PRIOR ? -visible_rows(m) : visible_rows(m);
      int64_t target = row + step;
      if (vk == VK_PRIOR || vk == VK_NEXT) s.top_row += step;
      size_t pos = target < 0 ? 0 : target >= total_rows(d.dc, s, m) ? e.text().size()
                                                                   : pos_at_row(d.dc, s, m, target, s.desired_x);
      e.move_to(pos, shift);
      return moved(h, s, true);
    }
  }
}

void paste(HWND h, edit_ctl& s) {
  std::optional<std::string> clip = GetClipboardText();
  if (!clip || (style_of(h) & ES_READONLY)) return;
  after_edit(h, s, s.e.insert(edit::engine::normalise(to_utf32(*clip), s.e.multiline)));
}

void copy_out(const edit_ctl& s) {
  std::u32string out;
  if (s.e.copy(out)) SetClipboardText(to_utf8(out));
}

// A character typed (WM_CHAR, in UTF-16 units).
void typed(HWND h, edit_ctl& s, uint32_t unit) {
  if (unit >= 0xD800 && unit < 0xDC00) {
    s.high_surrogate = char16_t(unit);
    return;
  }
  char32_t c = unit;
  if (unit >= 0xDC00 && unit < 0xE000) {
    if (!s.high_surrogate) return;
    c = 0x10000 + ((char32_t(s.high_surrogate) - 0xD800) << 10) + (unit - 0xDC00);
  }
  s.high_surrogate = 0;
  switch (c) {
    case 1: s.e.select_all(); return moved(h, s);              // Ctrl+A
    case 3: SendMessage(h, WM_COPY, 0, 0); return;             // Ctrl+C
    case 22: SendMessage(h, WM_PASTE, 0, 0); return;           // Ctrl+V
    case 24: SendMessage(h, WM_CUT, 0, 0); return;             // Ctrl+X
    case 26: SendMessage(h, WM_UNDO, 0, 0); return;            // Ctrl+Z
    case 8: return after_edit(h, s, s.e.erase_back());
    case '\r': case '\n':
      if (s.e.multiline) after_edit(h, s, s.e.type('\n'));
      return;
    case '\t':
      if (s.e.multiline) after_edit(h, s, s.e.type('\t'));
      return;
  }
  if (c < 0x20 || c == 0x7F) return;
  if (style_of(h) & ES_READONLY) return;
  after_edit(h, s, s.e.type(c));
}

void set_tabs(edit_ctl& s, WPARAM count, LPARAM list) {
  s.tab_units.clear();
  const auto* stops = reinterpret_cast<const int32_t*>(list);
  for (WPARAM i = 0; i < count && stops && i < 64; ++i) s.tab_units.push_back(std::max(1, stops[i]));
  s.cache.clear();
}
}  // namespace

LRESULT edit_proc(HWND h, uint32_t msg, WPARAM wp, LPARAM lp) {
  edit_ctl& s = state_of<edit_ctl>(h);
  LRESULT answer = 0;
  if (common_message(h, s, msg, wp, lp, answer)) {
    if (msg == WM_SETFONT) {
      s.cache.clear();
      if (s.focused) {
        CreateCaret(h, std::max(1, px(h, 1)), line_height(font_or_default(h, s.font)));
        ShowCaret(h);
      }
      show_caret_area(h, s);
    }
    return answer;
  }
  edit::engine& e = s.e;
  uint32_t style = style_of(h);
  switch (msg) {
    case WM_NCCREATE: {
      e.multiline = style & ES_MULTILINE;
      e.password = style & ES_PASSWORD;
      e.read_only = style & ES_READONLY;
      if (auto* cs = reinterpret_cast<CREATESTRUCT*>(lp)) e.set_text(to_utf32(cs->lpszName));
      return DefWindowProc(h, msg, wp, lp);
    }
    case WM_CREATE:
      if (style & WS_VSCROLL) ShowScrollBar(h, SB_VERT, true);
      if (style & WS_HSCROLL) ShowScrollBar(h, SB_HORZ, true);
      show_caret_area(h, s);
      return 0;
    case WM_PAINT:
      paint(h, s);
      return 0;
    case WM_SIZE:
      s.cache.clear();
      show_caret_area(h, s);
      return 0;
    case WM_SETTEXT: {
      e.set_text(to_utf32(lp ? reinterpret_cast<const char*>(lp) : ""));
      s.cache.clear();
      s.top_row = s.scroll_x = 0;
      show_caret_area(h, s);
      // A program's new text changes a single-line field as typing does.
      if (!e.multiline) command(h, EN_CHANGE);
      return 1;
    }
    case WM_GETTEXTLENGTH:
      return LRESULT(s.text_utf8().size());
    case WM_GETTEXT:
      return copy_text(s.text_utf8(), wp, lp);
    case EM_GETTEXTLENGTHEX:
      return LRESULT(e.text().size());
    case EM_GETSEL: {
      size_t a = e.sel_start(), b = e.sel_end();
      if (wp) *reinterpret_cast<uint32_t*>(wp) = uint32_t(std::min<size_t>(a, UINT32_MAX));
      if (lp) *reinterpret_cast<uint32_t*>(lp) = uint32_t(std::min<size_t>(b, UINT32_MAX));
      return a > 0xFFFF || b > 0xFFFF ? -1 : LRESULT((b << 16) | a);
    }
    case EM_SETSEL:
      e.select(int32_t(wp), int32_t(lp));
      moved(h, s);
      return 0;
    case EM_REPLACESEL: {
      edit::outcome o = e.insert(edit::engine::normalise(to_utf32(lp ? reinterpret_cast<const char*>(lp) : ""),
                                                         e.multiline), wp != 0);
      if (o.changed) {
        text_changed(s);
        show_caret_area(h, s);
      }
      return 0;
    }
    case EM_LIMITTEXT:
      e.limit = wp ? size_t(wp) : 0x7FFFFFFEu;
      return 0;
    case EM_GETLIMITTEXT:
      return LRESULT(e.limit);
    case EM_CANUNDO:
      return e.can_undo();
    case EM_EMPTYUNDOBUFFER:
      e.empty_undo();
      return 0;
    case EM_GETMODIFY:
      return e.modified;
    case EM_SETMODIFY:
      e.modified = wp != 0;
      return 0;
    case EM_GETLINECOUNT:
      return LRESULT(e.line_count());
    case EM_LINEINDEX: {
      size_t line = int32_t(wp) < 0 ? e.line_of(e.caret()) : size_t(wp);
      return line < e.line_count() ? LRESULT(e.line_start(line)) : -1;
    }
    case EM_LINELENGTH:
      return LRESULT(e.line_length(e.line_of(int32_t(wp) < 0 ? e.caret() : size_t(wp))));
    case EM_LINEFROMCHAR:
      return LRESULT(e.line_of(int32_t(wp) < 0 ? e.caret() : size_t(wp)));
    case EM_GETFIRSTVISIBLELINE:
      return LRESULT(s.top_row);
    case EM_SETTABSTOPS:
      set_tabs(s, wp, lp);
      InvalidateRect(h, nullptr, false);
      return 1;
    case EM_SETPASSWORDCHAR:
      e.password = wp != 0;
      if (wp) e.password_char = char32_t(wp);
      SetWindowLong(h, GWL_STYLE, wp ? style | ES_PASSWORD : style & ~ES_PASSWORD);
      s.cache.clear();
      show_caret_area(h, s);
      return 0;
    case EM_GETPASSWORDCHAR:
      return e.password ? LRESULT(e.password_char) : 0;
    case EM_SETREADONLY:
      e.read_only = wp != 0;
      SetWindowLong(h, GWL_STYLE, wp ? style | ES_READONLY : style & ~ES_READONLY);
      InvalidateRect(h, nullptr, false);
      return 1;
    case EM_SETCUEBANNER:
      s.cue = to_utf32(lp ? reinterpret_cast<const char*>(lp) : "");
      s.cue_when_focused = wp != 0;
      InvalidateRect(h, nullptr, false);
      return 1;
    case EM_GETCUEBANNER:
      return copy_text(to_utf8(s.cue), WPARAM(lp), LPARAM(wp)) > 0 || s.cue.empty();
    case EM_GETRECT:
      if (lp) {
        dc_scope d(h, font_or_default(h, s.font));
        *reinterpret_cast<RECT*>(lp) = metrics_of(h, s, d.dc).fmt;
      }
      return 0;
    case EM_POSFROMCHAR: {
      dc_scope d(h, font_or_default(h, s.font));
      metrics m = metrics_of(h, s, d.dc);
      check_cache(h, s, m);
      POINT p = point_of(d.dc, s, m, std::min<size_t>(wp, e.text().size()));
      return MAKELPARAM(p.x, p.y);
    }
    case EM_CHARFROMPOS: {
      dc_scope d(h, font_or_default(h, s.font));
      metrics m = metrics_of(h, s, d.dc);
      check_cache(h, s, m);
      size_t pos = pos_at_point(d.dc, s, m, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
      return LRESULT((std::min<size_t>(e.line_of(pos), 0xFFFF) << 16) | std::min<size_t>(pos, 0xFFFF));
    }
    case EM_SCROLLCARET:
      show_caret_area(h, s);
      return 1;
    case EM_LINESCROLL:
      s.scroll_x += int64_t(int32_t(wp)) * 8;
      scroll_rows(h, s, int32_t(lp));
      return 1;
    case EM_SCROLL:
      scroll_message(h, s, WM_VSCROLL, wp);
      return 1;
    case WM_VSCROLL:
    case WM_HSCROLL:
      if (lp == 0) scroll_message(h, s, msg, wp);
      return 0;
    case WM_MOUSEWHEEL:
      if (e.multiline) {
        scroll_rows(h, s, -3 * int64_t(int16_t(HIWORD(wp))) / WHEEL_DELTA);
        command(h, EN_VSCROLL);
      }
      return 0;
    case WM_SETFOCUS:
      CreateCaret(h, std::max(1, px(h, 1)), line_height(font_or_default(h, s.font)));
      show_caret_area(h, s);
      ShowCaret(h);
      command(h, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      s.selecting = false;
      DestroyCaret();
      InvalidateRect(h, nullptr, false);
      command(h, EN_KILLFOCUS);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
      if (GetFocus() != h) SetFocus(h);
      if (!IsWindow(h)) return 0;
      dc_scope d(h, font_or_default(h, s.font));
      metrics m = metrics_of(h, s, d.dc);
      check_cache(h, s, m);
      size_t pos = pos_at_point(d.dc, s, m, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
      if (msg == WM_LBUTTONDBLCLK) {
        auto [a, b] = e.word_at(pos);
        e.select(int64_t(a), int64_t(b));
      } else {
        e.move_to(pos, wp & MK_SHIFT);
        s.selecting = true;
        SetCapture(h);
      }
      moved(h, s);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (s.selecting && GetCapture() == h) {
        dc_scope d(h, font_or_default(h, s.font));
        metrics m = metrics_of(h, s, d.dc);
        check_cache(h, s, m);
        size_t pos = pos_at_point(d.dc, s, m, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
        if (pos != e.caret()) {
          e.move_to(pos, true);
          moved(h, s);
        }
      }
      return 0;
    case WM_LBUTTONUP:
      s.selecting = false;
      if (GetCapture() == h) ReleaseCapture();
      return 0;
    case WM_CAPTURECHANGED:
      if (HWND(uint32_t(lp)) != h) s.selecting = false;
      return 0;
    case WM_KEYDOWN: {
      bool shift = GetKeyState(VK_SHIFT) < 0, ctrl = GetKeyState(VK_CONTROL) < 0;
      switch (wp) {
        case VK_LEFT: case VK_RIGHT: case VK_UP: case VK_DOWN: case VK_HOME: case VK_END:
        case VK_PRIOR: case VK_NEXT:
          key_move(h, s, uint32_t(wp), shift, ctrl);
          return 0;
        case VK_DELETE:
          if (shift) SendMessage(h, WM_CUT, 0, 0);
          else if (!(style & ES_READONLY)) after_edit(h, s, e.erase_forward());
          return 0;
        case VK_INSERT:
          if (ctrl) SendMessage(h, WM_COPY, 0, 0);
          else if (shift) SendMessage(h, WM_PASTE, 0, 0);
          return 0;
      }
      return 0;
    }
    case WM_CHAR:
      typed(h, s, uint32_t(wp));
      return 0;
    case WM_COPY:
      copy_out(s);
      return 0;
    case WM_CUT: {
      std::u32string out;
      if (style & ES_READONLY) return 0;
      edit::outcome o = e.cut(out);
      if (o.changed) SetClipboardText(to_utf8(out));
      after_edit(h, s, o);
      return 0;
    }
    case WM_PASTE:
      paste(h, s);
      return 0;
    case WM_CLEAR:
      if (e.has_selection() && !(style & ES_READONLY)) after_edit(h, s, e.erase_back());
      return 0;
    case WM_UNDO:
    case EM_UNDO:
      after_edit(h, s, e.undo());
      return 1;
  }
  return DefWindowProc(h, msg, wp, lp);
}

}  // namespace vyr::win
