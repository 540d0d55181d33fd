// The geometry and the painting of menus: pop-ups (a gutter, the label, the right-aligned
// shortcut, an arrow for a submenu) and bars (items side by side in rows of the menu
// height, wrapping when the window is too narrow), in the message font at the owner's DPI
// and in the palette's colours.
#include <algorithm>
#include <map>

#include <cairo.h>

#include "base/colour.h"
#include "gui/win/menus/menu_impl.h"
#include "gui/win/theme.h"

namespace vyr::win::menus::detail {

namespace {

struct metrics {
  HFONT font{};
  int text_h = 0, ascent = 0;
  int item_h = 0, separator_h = 0, edge = 0, gutter = 0, gap = 0, right = 0, min_w = 0, bar_pad = 0, row_h = 0;
};

int scaled(int v, uint32_t dpi) { return int((int64_t(v) * dpi + 48) / 96); }

// The message font at a DPI, made once (and again when the layer that made it is gone).
HFONT font_at(uint32_t dpi) {
  static std::map<uint32_t, HFONT> fonts;
  HFONT& f = fonts[dpi];
  LOGFONT lf;
  if (is_null(f) || !GetObject(f, lf)) f = CreateFontIndirect(message_font(dpi));
  return f;
}

metrics metrics_at(uint32_t dpi) {
  if (dpi == 0) dpi = 96;
  metrics m;
  m.font = font_at(dpi);
  HDC dc = GetDC(HWND{});
  SelectObject(dc, m.font);
  TEXTMETRIC tm;
  GetTextMetrics(dc, tm);
  ReleaseDC(HWND{}, dc);
  m.text_h = tm.tmHeight;
  m.ascent = tm.tmAscent;
  m.item_h = std::max(scaled(22, dpi), m.text_h + scaled(6, dpi));
  m.separator_h = scaled(9, dpi);
  m.edge = scaled(3, dpi);
  m.gutter = scaled(28, dpi);
  m.gap = scaled(24, dpi);
  m.right = scaled(22, dpi);
  m.min_w = scaled(100, dpi);
  m.bar_pad = scaled(7, dpi);
  m.row_h = GetSystemMetricsForDpi(SM_CYMENU, dpi);
  return m;
}

int text_width(HDC dc, std::string_view s) {
  SIZE sz;
  return s.empty() || !GetTextExtentPoint32(dc, s, sz) ? 0 : sz.cx;
}

void fill(cairo_t* cr, RECT r, COLORREF c) {
  colour::set_source(cr, c);
  cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
  cairo_fill(cr);
}

void set_colour(cairo_t* cr, COLORREF c) {
  colour::set_source(cr, c);
}

// A label at (x, y) in the DC's font and colour, its mnemonic underlined when asked.
void draw_label(HDC dc, int x, int y, const caption& c, bool cues, int ascent, COLORREF colour) {
  TextOut(dc, x, y, c.label);
  if (!cues || c.mnemonic_at == std::string::npos) return;
  int x0 = x + text_width(dc, std::string_view(c.label).substr(0, c.mnemonic_at));
  int w = text_width(dc, std::string_view(c.label).substr(c.mnemonic_at, c.mnemonic_len));
  cairo_t* cr = cairo_of(dc);
  set_colour(cr, colour);
  cairo_rectangle(cr, x0, y + ascent + 1, std::max(1, w), 1);
  cairo_fill(cr);
}

}  // namespace

int item_at(const std::vector<RECT>& items, POINT p) {
  for (size_t k = 0; k < items.size(); ++k)
    if (items[k].contains(p)) return int(k);
  return -1;
}

const popup_geometry& popup_layout(menu& m, uint32_t dpi) {
  if (m.popup_version == m.version && m.popup_dpi == dpi) return m.popup_geo;
  metrics mt = metrics_at(dpi);
  HDC dc = GetDC(HWND{});
  SelectObject(dc, mt.font);
  int label_w = 0, accel_w = 0;
  for (auto& i : m.items) {
    if (i.separator()) continue;
    caption c = parse_caption(i.text);
    label_w = std::max(label_w, text_width(dc, c.label));
    accel_w = std::max(accel_w, text_width(dc, c.accel));
  }
  ReleaseDC(HWND{}, dc);
  int width = 2 * mt.edge + mt.gutter + label_w + (accel_w ? mt.gap + accel_w : 0) + mt.right;
  width = std::max(width, mt.min_w);
  popup_geometry& g = m.popup_geo;
  g.items.clear();
  int y = mt.edge;
  for (auto& i : m.items) {
    int h = i.separator() ? mt.separator_h : mt.item_h;
    g.items.push_back(RECT{mt.edge, y, width - mt.edge, add32(y, h)});
    y = add32(y, h);
  }
  g.size = SIZE{width, add32(y, mt.edge)};
  m.popup_version = m.version;
  m.popup_dpi = dpi;
  return g;
}

const bar_geometry& bar_layout(menu& m, int width, uint32_t dpi) {
  if (m.bar_version == m.version && m.bar_dpi == dpi && m.bar_width == width) return m.bar_geo;
  metrics mt = metrics_at(dpi);
  HDC dc = GetDC(HWND{});
  SelectObject(dc, mt.font);
  bar_geometry& g = m.bar_geo;
  g.items.clear();
  int x = 0, y = 0;
  for (auto& i : m.items) {
    int w = i.separator() ? mt.bar_pad : text_width(dc, parse_caption(i.text).label) + 2 * mt.bar_pad;
    // An item that does not fit starts a new row, unless it is a row's first.
    if (x > 0 && add32(x, w) > width) {
      x = 0;
      y = add32(y, mt.row_h);
    }
    g.items.push_back(RECT{x, y, add32(x, w), add32(y, mt.row_h)});
    x = add32(x, w);
  }
  ReleaseDC(HWND{}, dc);
  g.height = add32(y, mt.row_h);
  m.bar_version = m.version;
  m.bar_dpi = dpi;
  m.bar_width = width;
  return g;
}

void paint_popup(HDC dc, menu& m, uint32_t dpi, const look& lk) {
  using theme::part;
  const popup_geometry& g = popup_layout(m, dpi);
  metrics mt = metrics_at(dpi);
  cairo_t* cr = cairo_of(dc);
  if (!cr) return;
  auto colour = [&](part p) { return theme::color(p, lk.dark); };
  fill(cr, RECT{0, 0, g.size.cx, g.size.cy}, colour(part::face));
  set_colour(cr, colour(part::frame));
  cairo_set_line_width(cr, 1);
  cairo_rectangle(cr, 0.5, 0.5, g.size.cx - 1, g.size.cy - 1);
  cairo_stroke(cr);
  SelectObject(dc, mt.font);
  SetBkMode(dc, TRANSPARENT);
  for (size_t k = 0; k < m.items.size() && k < g.items.size(); ++k) {
    const item& i = m.items[k];
    RECT r = g.items[k];
    if (i.separator()) {
      fill(cr, RECT{r.left + mt.gutter, r.top + r.height() / 2, r.right, r.top + r.height() / 2 + 1},
           colour(part::frame_disabled));
      continue;
    }
    if (int(k) == lk.hot) fill(cr, r, colour(i.disabled() ? part::face_hot : part::face_pressed));
    COLORREF text = colour(i.disabled() ? part::text_disabled : part::text);
    SetTextColor(dc, text);
    caption c = parse_caption(i.text);
    int y = r.top + (r.height() - mt.text_h) / 2;
    draw_label(dc, r.left + mt.gutter, y, c, lk.cues, mt.ascent, text);
    if (!c.accel.empty()) TextOut(dc, r.right - mt.right - text_width(dc, c.accel), y, c.accel);
    double cy = r.top + r.height() / 2.0, half = mt.text_h / 4.0;
    if (!is_null(i.sub)) {
      // The submenu's arrow, in the middle of the right margin.
      double x = r.right - mt.right / 2.0 - half / 2;
      set_colour(cr, text);
      cairo_move_to(cr, x, cy - half);
      cairo_line_to(cr, x + half, cy);
      cairo_line_to(cr, x, cy + half);
      cairo_close_path(cr);
      cairo_fill(cr);
    }
    if (i.state & MFS_CHECKED) {
      double x = r.left + mt.gutter / 2.0;
      set_colour(cr, text);
      cairo_set_line_width(cr, std::max(1.0, dpi / 64.0));
      cairo_move_to(cr, x - half, cy);
      cairo_line_to(cr, x - half / 3, cy + half * 0.7);
      cairo_line_to(cr, x + half, cy - half * 0.8);
      cairo_stroke(cr);
    }
  }
}

void paint_bar(HDC dc, RECT band, menu& m, uint32_t dpi, const look& lk) {
  using theme::part;
  const bar_geometry& g = bar_layout(m, band.width(), dpi);
  metrics mt = metrics_at(dpi);
  cairo_t* cr = cairo_of(dc);
  if (!cr) return;
  auto colour = [&](part p) { return theme::color(p, lk.dark); };
  fill(cr, band, colour(part::field));
  SelectObject(dc, mt.font);
  SetBkMode(dc, TRANSPARENT);
  for (size_t k = 0; k < m.items.size() && k < g.items.size(); ++k) {
    const item& i = m.items[k];
    if (i.separator()) continue;
    RECT r = g.items[k];
    r = RECT{band.left + r.left, band.top + r.top, band.left + r.right, band.top + r.bottom};
    if (r.top >= band.bottom) break;
    if (int(k) == lk.hot) fill(cr, r, colour(lk.open ? part::face_pressed : part::item_hot));
    COLORREF text = colour(i.disabled() ? part::text_disabled : part::text);
    SetTextColor(dc, text);
    caption c = parse_caption(i.text);
    draw_label(dc, r.left + mt.bar_pad, r.top + (r.height() - mt.text_h) / 2, c, lk.cues, mt.ascent, text);
  }
}

}  // namespace vyr::win::menus::detail
