// Paint: invalid regions, BeginPaint/EndPaint with WM_ERASEBKGND, device contexts over each
// window's ARGB32 surface, the compositor of a top level, scroll bars, the caret and cursors;
// also the monitors and system values the display reports.
#include <algorithm>
#include <cmath>

#include <cairo.h>

#include "base/colour.h"
#include "gui/win/internal.h"
#include "gui/win/scrollbar.h"
#include "gui/win/menubar.h"
#include "gui/win/theme.h"

namespace vyr::win {
using namespace detail;

namespace detail {

void free_window_paint(window* w) {
  if (w->surface) cairo_surface_destroy(w->surface);
  w->surface = nullptr;
}

void mark_dirty(window* w) {
  if (window* t = top_of(w)) t->dirty = true;
}

}  // namespace detail

// The record of a device context, or null when there is none (or no display).
static dc* dc_of(HDC hdc) { return installed() ? st().dcs.get(uint32_t(hdc)) : nullptr; }

static void set_rgb(cairo_t* cr, COLORREF c) {
  colour::set_source(cr, c);
}

// Window surfaces stop at 16384 pixels a side and 64 M pixels (256 MiB) in all; what lies
// beyond is not drawn.
constexpr int MAX_SURFACE_SIDE = 16384;
constexpr int64_t MAX_SURFACE_PIXELS = int64_t(1) << 26;

static int surface_side(int64_t v) { return int(std::clamp<int64_t>(v, 1, MAX_SURFACE_SIDE)); }
static int surface_height(int w, int64_t h) {
  return int(std::min<int64_t>(surface_side(h), std::max<int64_t>(1, MAX_SURFACE_PIXELS / w)));
}

static cairo_surface_t* ensure_surface(window* w) {
  RECT c = client_rect_in_window(w);
  int cw = surface_side(c.width()), ch = surface_height(cw, c.height());
  if (w->surface && cairo_image_surface_get_width(w->surface) == cw &&
      cairo_image_surface_get_height(w->surface) == ch)
    return w->surface;
  free_window_paint(w);
  w->surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cw, ch);
  return w->surface;
}

cairo_surface_t* window_surface(HWND h) {
  window* w = win_of(h);
  return w ? w->surface : nullptr;
}

// ---- invalidation ---------------------------------------------------------------------------

static void invalidate(window* w, const RECT* r, bool erase, bool children) {
  RECT c;
  GetClientRect(w->self, c);
  cairo_rectangle_int_t ri;
  if (r) {
    RECT x{std::max(r->left, 0), std::max(r->top, 0), std::min(r->right, c.right), std::min(r->bottom, c.bottom)};
    if (x.empty()) return;
    ri = {x.left, x.top, x.width(), x.height()};
  } else {
    if (c.empty()) return;
    ri = {0, 0, c.width(), c.height()};
  }
  if (!w->invalid) w->invalid = cairo_region_create_rectangle(&ri);
  else cairo_region_union_rectangle(w->invalid, &ri);
  if (erase) w->erase = true;
  if (children) {
    for (HWND ch : w->children) {
      window* cw = win_of(ch);
      if (!cw) continue;
      RECT cr = cw->rect;
      if (r) {
        RECT inner = client_rect_in_window(cw);
        int64_t dx = -int64_t(cr.left) - inner.left, dy = -int64_t(cr.top) - inner.top;
        RECT rr{add32(r->left, dx), add32(r->top, dy), add32(r->right, dx), add32(r->bottom, dy)};
        invalidate(cw, &rr, erase, true);
      } else {
        invalidate(cw, nullptr, erase, true);
      }
    }
  }
}

static void validate(window* w, const RECT* r) {
  if (!w->invalid) return;
  if (!r) {
    cairo_region_destroy(w->invalid);
    w->invalid = nullptr;
    w->erase = false;
    return;
  }
  cairo_rectangle_int_t ri{r->left, r->top, r->width(), r->height()};
  cairo_region_subtract_rectangle(w->invalid, &ri);
  if (cairo_region_is_empty(w->invalid)) {
    cairo_region_destroy(w->invalid);
    w->invalid = nullptr;
    w->erase = false;
  }
}

bool InvalidateRect(HWND h, const RECT* r, bool erase) {
  window* w = win_of(h);
  if (!w) return false;
  // A window without WS_CLIPCHILDREN repaints its children too; they have their own
  // surfaces here, so only the window itself needs painting either way.
  invalidate(w, r, erase, false);
  return true;
}

bool ValidateRect(HWND h, const RECT* r) {
  window* w = win_of(h);
  if (!w) return false;
  validate(w, r);
  return true;
}

bool GetUpdateRect(HWND h, RECT* r, bool erase) {
  window* w = win_of(h);
  if (!w) return false;
  if (!w->invalid) {
    if (r) *r = {};
    return false;
  }
  cairo_rectangle_int_t e;
  cairo_region_get_extents(w->invalid, &e);
  if (r) *r = {e.x, e.y, e.x + e.width, e.y + e.height};
  return true;
}

static void update_now(HWND h, bool children) {
  window* w = win_of(h);
  if (!w || !IsWindowVisible(h)) return;
  if (w->invalid || w->internal_paint) {
    w->internal_paint = false;
    SendMessage(h, WM_PAINT, 0, 0);
  }
  if (!children || !(w = win_of(h))) return;
  auto kids = w->children;
  for (auto it = kids.rbegin(); it != kids.rend(); ++it) update_now(*it, true);
}

bool UpdateWindow(HWND h) {
  if (!IsWindow(h)) return false;
  update_now(h, true);
  return true;
}

bool RedrawWindow(HWND h, const RECT* r, uint32_t flags) {
  window* w = win_of(h);
  if (!w) return false;
  bool kids = flags & RDW_ALLCHILDREN;
  if (flags & RDW_INVALIDATE) invalidate(w, r, (flags & RDW_ERASE) && !(flags & RDW_NOERASE), kids);
  if (flags & RDW_INTERNALPAINT) w->internal_paint = true;
  if (flags & RDW_VALIDATE) validate(w, r);
  if (flags & RDW_NOINTERNALPAINT) w->internal_paint = false;
  if (flags & RDW_FRAME) mark_dirty(w);
  if (flags & (RDW_UPDATENOW | RDW_ERASENOW)) update_now(h, !(flags & RDW_NOCHILDREN));
  return true;
}

// ---- device contexts ------------------------------------------------------------------------

static HDC new_dc(HWND h, cairo_t* cr, cairo_surface_t* scratch) {
  auto d = std::make_unique<dc>();
  d->hwnd = h;
  d->cr = cr;
  d->scratch = scratch;
  d->font = GetStockFont(DEFAULT_GUI_FONT);
  return HDC{st().dcs.add(std::move(d))};
}

HDC BeginPaint(HWND h, PAINTSTRUCT& ps) {
  window* w = win_of(h);
  ps = PAINTSTRUCT{};
  if (!w) return HDC{};
  caret_hide_for_paint(h);
  cairo_surface_t* s = ensure_surface(w);
  cairo_t* cr = cairo_create(s);
  cairo_region_t* region = w->invalid;
  w->invalid = nullptr;
  bool erase = w->erase;
  w->erase = false;
  if (region) {
    int n = cairo_region_num_rectangles(region);
    for (int i = 0; i < n; ++i) {
      cairo_rectangle_int_t ri;
      cairo_region_get_rectangle(region, i, &ri);
      cairo_rectangle(cr, ri.x, ri.y, ri.width, ri.height);
    }
    cairo_clip(cr);
    cairo_rectangle_int_t e;
    cairo_region_get_extents(region, &e);
    ps.rcPaint = {e.x, e.y, e.x + e.width, e.y + e.height};
    cairo_region_destroy(region);
  }
  HDC hdc = new_dc(h, cr, nullptr);
  st().dcs.get(uint32_t(hdc))->paint = true;
  ps.hdc = hdc;
  if (erase) {
    // What was there is gone: a window that erases nothing shows through (alpha 0).
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_restore(cr);
    ps.fErase = !SendMessage(h, WM_ERASEBKGND, uint64_t(uint32_t(hdc)), 0);
  }
  return hdc;
}

bool EndPaint(HWND h, const PAINTSTRUCT& ps) {
  ReleaseDC(h, ps.hdc);
  if (window* w = win_of(h)) mark_dirty(w);
  // Shows again only what this paint hid: a caret made while it painted stays hidden until
  // it is shown.
  caret_state& c = st().caret;
  if (c.hwnd == h && c.paint_hide > 0) {
    --c.paint_hide;
    if (c.hide > 0) --c.hide;
  }
  return true;
}

HDC GetDC(HWND h) {
  if (!installed()) return HDC{};
  window* w = win_of(h);
  if (!w || h == GetDesktopWindow()) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    return new_dc(HWND{}, cairo_create(s), s);
  }
  return new_dc(h, cairo_create(ensure_surface(w)), nullptr);
}

HDC GetWindowDC(HWND h) { return GetDC(h); }

int ReleaseDC(HWND h, HDC hdc) {
  dc* d = dc_of(hdc);
  if (!d) return 0;
  if (d->cr) {
    cairo_surface_flush(cairo_get_target(d->cr));
    cairo_destroy(d->cr);
  }
  if (d->scratch) cairo_surface_destroy(d->scratch);
  if (window* w = win_of(d->hwnd)) mark_dirty(w);
  st().dcs.remove(uint32_t(hdc));
  return 1;
}

int GetDeviceCaps(HDC hdc, int index) {
  if (!installed()) return 0;
  dc* d = st().dcs.get(uint32_t(hdc));
  uint32_t dpi = 96;
  if (d && !is_null(d->hwnd)) dpi = GetDpiForWindow(d->hwnd);
  else dpi = GetDpiForMonitor(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY));
  switch (index) {
    case HORZRES: return GetSystemMetrics(SM_CXSCREEN);
    case VERTRES: return GetSystemMetrics(SM_CYSCREEN);
    case LOGPIXELSX: case LOGPIXELSY: return int(dpi);
  }
  return 0;
}

cairo_t* cairo_of(HDC hdc) {
  dc* d = dc_of(hdc);
  return d ? d->cr : nullptr;
}

HFONT SelectObject(HDC hdc, HFONT f) {
  dc* d = dc_of(hdc);
  if (!d) return HFONT{};
  HFONT old = d->font;
  d->font = f;
  return old;
}

COLORREF SetTextColor(HDC hdc, COLORREF c) {
  dc* d = dc_of(hdc);
  if (!d) return NO_COLOR;
  std::swap(d->text_color, c);
  return c;
}

COLORREF GetTextColor(HDC hdc) {
  dc* d = dc_of(hdc);
  return d ? d->text_color : NO_COLOR;
}

COLORREF SetBkColor(HDC hdc, COLORREF c) {
  dc* d = dc_of(hdc);
  if (!d) return NO_COLOR;
  std::swap(d->bk_color, c);
  return c;
}

int SetBkMode(HDC hdc, int mode) {
  dc* d = dc_of(hdc);
  if (!d) return 0;
  std::swap(d->bk_mode, mode);
  return mode;
}

bool FillRect(HDC hdc, const RECT& r, COLORREF c) {
  cairo_t* cr = cairo_of(hdc);
  if (!cr || c == NO_COLOR) return false;
  cairo_save(cr);
  set_rgb(cr, c);
  cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
  cairo_fill(cr);
  cairo_restore(cr);
  return true;
}

// ---- brushes and bitmaps ---------------------------------------------------------------------

namespace detail {
bitmap::~bitmap() {
  if (surface) cairo_surface_destroy(surface);
}
}  // namespace detail

static HBRUSH add_brush(COLORREF c, int stock) {
  auto b = std::make_unique<brush>();
  b->color = c;
  b->stock = stock;
  return HBRUSH{st().brushes.add(std::move(b))};
}

HBRUSH CreateSolidBrush(COLORREF c) {
  return installed() ? add_brush(c & 0xFFFFFF, -1) : HBRUSH{};
}

// System and stock brushes are made once per layer and never deleted.
static HBRUSH shared_brush(int key, COLORREF c) {
  auto& m = st().stock_brushes;
  auto it = m.find(key);
  if (it != m.end() && st().brushes.get(uint32_t(it->second))) return it->second;
  HBRUSH b = add_brush(c, key);
  m[key] = b;
  return b;
}

HBRUSH GetSysColorBrush(int index) {
  return installed() ? shared_brush(index, GetSysColor(index)) : HBRUSH{};
}

HBRUSH GetStockBrush(int id) {
  if (!installed() || (id != WHITE_BRUSH && id != NULL_BRUSH && id != DC_BRUSH)) return HBRUSH{};
  return shared_brush(1000 + id, id == WHITE_BRUSH ? RGB(255, 255, 255) : NO_COLOR);
}

COLORREF SetDCBrushColor(HDC hdc, COLORREF c) {
  dc* d = dc_of(hdc);
  if (!d) return NO_COLOR;
  std::swap(d->dc_brush, c);
  return c;
}

bool DeleteObject(HBRUSH h) {
  brush* b = installed() ? st().brushes.get(uint32_t(h)) : nullptr;
  if (!b || b->stock >= 0) return false;
  st().brushes.remove(uint32_t(h));
  return true;
}

COLORREF brush_color(HBRUSH h, HDC hdc) {
  brush* b = installed() ? st().brushes.get(uint32_t(h)) : nullptr;
  if (!b) return NO_COLOR;
  if (b->stock == 1000 + DC_BRUSH) {
    dc* d = st().dcs.get(uint32_t(hdc));
    return d ? d->dc_brush : NO_COLOR;
  }
  return b->color;
}

bool FillRect(HDC hdc, const RECT& r, HBRUSH h) {
  return FillRect(hdc, r, brush_color(h, hdc));
}

HBITMAP CreateBitmapARGB(int width, int height, const uint32_t* pixels) {
  if (!installed() || width <= 0 || height <= 0 || width > MAX_SURFACE_SIDE || height > MAX_SURFACE_SIDE)
    return HBITMAP{};
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(s);
    return HBITMAP{};
  }
  cairo_surface_flush(s);
  unsigned char* data = cairo_image_surface_get_data(s);
  int stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + size_t(y) * size_t(stride));
    for (int x = 0; x < width; ++x) {
      uint32_t p = pixels ? pixels[size_t(y) * size_t(width) + size_t(x)] : 0;
      uint32_t a = p >> 24;
      auto pm = [a](uint32_t c) { return (c * a + 127) / 255; };
      row[x] = (a << 24) | (pm((p >> 16) & 0xFF) << 16) | (pm((p >> 8) & 0xFF) << 8) | pm(p & 0xFF);
    }
  }
  cairo_surface_mark_dirty(s);
  auto b = std::make_unique<bitmap>();
  b->surface = s;
  return HBITMAP{st().bitmaps.add(std::move(b))};
}

bool DeleteObject(HBITMAP h) {
  if (!installed() || !st().bitmaps.get(uint32_t(h))) return false;
  st().bitmaps.remove(uint32_t(h));
  return true;
}

cairo_surface_t* bitmap_surface(HBITMAP h) {
  bitmap* b = installed() ? st().bitmaps.get(uint32_t(h)) : nullptr;
  return b ? b->surface : nullptr;
}

// ---- the compositor -------------------------------------------------------------------------

// The frame the layer draws around a child: a one-pixel line for WS_BORDER; for a client
// edge a field's frame (the focus colour while the window has the focus) around a ring of
// the field's colour.
static void draw_frame(cairo_t* cr, window* w, double x, double y) {
  bool dark = dark_theme(w->self);
  auto line = [&](double inset, COLORREF c) {
    colour::set_source(cr, c);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, x + inset + 0.5, y + inset + 0.5, w->rect.width() - 2 * inset - 1, w->rect.height() - 2 * inset - 1);
    cairo_stroke(cr);
  };
  double inset = 0;
  if (w->style & WS_BORDER) {
    line(0, theme::color(theme::part::frame, dark));
    inset = 1;
  }
  if (w->exstyle & WS_EX_CLIENTEDGE) {
    bool focused = st().focus == w->self || IsChild(w->self, st().focus);
    line(inset, theme::color(focused ? theme::part::focus : theme::part::field_frame, dark));
    line(inset + 1, theme::color((w->style & WS_DISABLED) ? theme::part::field_disabled : theme::part::field, dark));
  }
}

// A window's own scroll bar drawn at (x, y), the client origin of the window in `cr`.
static void draw_own_bar(cairo_t* cr, window* w, int bar, double x, double y) {
  scrollbar::geometry g = scrollbar::geometry_of(w->self, bar);
  if (g.area.empty()) return;
  scrollbar::look l;
  l.pressed = scrollbar::pressed_part(w->self, bar);
  l.enabled = !(w->style & WS_DISABLED);
  l.dark = dark_theme(w->self);
  cairo_save(cr);
  cairo_translate(cr, x, y);
  scrollbar::draw(cr, g, l);
  cairo_restore(cr);
}

static void draw_caret(cairo_t* cr, const window* w) {
  const caret_state& c = st().caret;
  if (c.hwnd != w->self || c.hide > 0) return;
  uint32_t phase = GetCaretBlinkTime();
  int64_t blink = phase == INFINITE ? 0 : int64_t(phase) * 1000;
  if (blink > 0 && ((clock_us() - c.epoch_us) / blink) % 2 == 1) return;
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_DIFFERENCE);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_rectangle(cr, c.x, c.y, c.w, c.h);
  cairo_fill(cr);
  cairo_restore(cr);
}

// Draws window `w` with its client origin at (ox, oy) of `cr`, then its children bottom to
// top, each clipped to the client area of its parent.
static void compose_into(cairo_t* cr, window* w, double ox, double oy) {
  RECT c = client_rect_in_window(w);
  cairo_save(cr);
  cairo_rectangle(cr, ox, oy, c.width(), c.height());
  cairo_clip(cr);
  if (w->surface) {
    cairo_set_source_surface(cr, w->surface, ox, oy);
    cairo_paint(cr);
  }
  draw_caret(cr, w);
  for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
    window* cw = win_of(*it);
    if (!cw || !(cw->style & WS_VISIBLE)) continue;
    RECT cc = client_rect_in_window(cw);
    double wx = ox + cw->rect.left, wy = oy + cw->rect.top;
    cairo_save(cr);
    cairo_rectangle(cr, wx, wy, cw->rect.width(), cw->rect.height());
    cairo_clip(cr);
    if (cw->style & WS_BORDER || cw->exstyle & WS_EX_CLIENTEDGE) draw_frame(cr, cw, wx, wy);
    for (int bar : {SB_VERT, SB_HORZ})
      if (cw->bars[bar].shown) draw_own_bar(cr, cw, bar, wx + cc.left, wy + cc.top);
    compose_into(cr, cw, wx + cc.left, wy + cc.top);
    cairo_restore(cr);
  }
  cairo_restore(cr);
}

cairo_surface_t* compose(HWND top) {
  window* w = win_of(top);
  if (!w) return nullptr;
  // The shown area: the client area, with the menu bar above it when there is one.
  RECT shown = shown_in_window(w);
  RECT c = client_rect_in_window(w);
  int cw = surface_side(shown.width());
  cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cw, surface_height(cw, shown.height()));
  cairo_t* cr = cairo_create(out);
  RECT band = menu_band(w);
  if (!band.empty()) {
    RECT at{band.left - shown.left, band.top - shown.top, band.right - shown.left, band.bottom - shown.top};
    HDC dc = new_dc(HWND{}, cairo_reference(cr), nullptr);
    menu_ops()->paint(top, w->menu, dc, at);
    ReleaseDC(HWND{}, dc);
    if (!(w = win_of(top))) {
      cairo_destroy(cr);
      return out;
    }
  }
  compose_into(cr, w, c.left - shown.left, c.top - shown.top);
  cairo_destroy(cr);
  cairo_surface_flush(out);
  return out;
}

bool PrintWindow(HWND h, cairo_t* target) {
  window* w = win_of(h);
  if (!w || !target) return false;
  RedrawWindow(h, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  if (!(w = win_of(h))) return false;
  compose_into(target, w, 0, 0);
  return true;
}

void present_all() {
  if (!installed()) return;
  auto tops = st().tops;
  for (HWND t : tops) {
    window* w = win_of(t);
    if (!w || !w->dirty || !(w->style & WS_VISIBLE)) continue;
    w->dirty = false;
    cairo_surface_t* frame = compose(t);
    st().disp->present(t, frame);
    cairo_surface_destroy(frame);
  }
}

// ---- scroll bars ----------------------------------------------------------------------------

int SetScrollInfo(HWND h, int bar, const SCROLLINFO& si, bool redraw) {
  if (bar == SB_CTL) return int(SendMessage(h, SBM_SETSCROLLINFO, redraw, reinterpret_cast<LPARAM>(&si)));
  window* w = win_of(h);
  if (!w || (bar != SB_HORZ && bar != SB_VERT)) return 0;
  SCROLLINFO& s = w->bars[bar].info;
  if (si.fMask & SIF_RANGE) { s.nMin = si.nMin; s.nMax = si.nMax; }
  if (si.fMask & SIF_PAGE) s.nPage = si.nPage;
  if (si.fMask & SIF_POS) s.nPos = si.nPos;
  int64_t range = int64_t(s.nMax) - s.nMin + 1;
  if (range < 0) range = 0;
  if (s.nPage > range) s.nPage = static_cast<uint32_t>(range);
  int64_t hi = int64_t(s.nMax) - std::max<int64_t>(int64_t(s.nPage) - 1, 0);
  if (s.nPos > hi) s.nPos = static_cast<int32_t>(hi);
  if (s.nPos < s.nMin) s.nPos = s.nMin;
  int pos = s.nPos;
  // SIF_DISABLENOSCROLL keeps the bar on screen (disabled when there is nothing to scroll),
  // so it also brings up a hidden one: an owner that only sets the range and position, as
  // the View engine does for a face's own scroller, must not leave an empty strip where
  // its bar belongs.
  if ((si.fMask & SIF_DISABLENOSCROLL) && !w->bars[bar].shown) {
    ShowScrollBar(h, bar, true);  // may resize the client: the window can answer anything
    if (!(w = win_of(h))) return pos;
  }
  if (redraw) mark_dirty(w);
  return pos;
}

bool GetScrollInfo(HWND h, int bar, SCROLLINFO& si) {
  window* w = win_of(h);
  if (!w) return false;
  if (bar == SB_CTL) {
    if (!SendMessage(h, SBM_GETSCROLLINFO, 0, reinterpret_cast<LPARAM>(&si))) return false;
  } else if (bar == SB_HORZ || bar == SB_VERT) {
    uint32_t mask = si.fMask;
    si = w->bars[bar].info;
    si.fMask = mask;
    si.nTrackPos = si.nPos;
  } else {
    return false;
  }
  // While a press drags the thumb, the track position is where the thumb is.
  const scroll_track& t = st().sb_track;
  if (t.hwnd == h && t.bar == bar && t.part == scrollbar::THUMB) si.nTrackPos = t.track_pos;
  return true;
}

bool ShowScrollBar(HWND h, int bar, bool show) {
  window* w = win_of(h);
  if (!w) return false;
  bool changed = false;
  for (int b = 0; b < 2; ++b) {
    if (bar != b && bar != SB_BOTH) continue;
    if (w->bars[b].shown != show) { w->bars[b].shown = show; changed = true; }
  }
  if (changed) SetWindowPos(h, 0, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  return true;
}

bool scroll_bar_shown(HWND h, int bar) {
  window* w = win_of(h);
  return w && (bar == SB_HORZ || bar == SB_VERT) && w->bars[bar].shown;
}

RECT scroll_bar_rect(HWND h, int bar) {
  window* w = win_of(h);
  if (!w || (bar != SB_HORZ && bar != SB_VERT) || !w->bars[bar].shown) return RECT{};
  RECT c = client_rect_in_window(w);
  if (bar == SB_VERT)
    return RECT{c.width(), 0, add32(c.width(), GetSystemMetricsForDpi(SM_CXVSCROLL, w->dpi)), c.height()};
  return RECT{0, c.height(), c.width(), add32(c.height(), GetSystemMetricsForDpi(SM_CYHSCROLL, w->dpi))};
}

// ---- the caret ------------------------------------------------------------------------------

namespace detail {
void caret_hide_for_paint(HWND h) {
  caret_state& c = st().caret;
  if (c.hwnd != h) return;
  ++c.hide;
  ++c.paint_hide;
}
}  // namespace detail

// The input method composes over the caret (its foot, in the client coordinates of its top
// level): the display hears where it is whenever the caret is made or moved.
static void tell_text_spot() {
  const caret_state& c = st().caret;
  HWND top = GetAncestor(c.hwnd, GA_ROOT);
  if (is_null(top)) return;
  POINT p{c.x, add32(c.y, c.h)};
  MapWindowPoints(c.hwnd, top, &p, 1);
  st().disp->set_text_spot(top, p);
}

bool CreateCaret(HWND h, int width, int height) {
  if (!IsWindow(h)) return false;
  DestroyCaret();
  caret_state& c = st().caret;
  c.hwnd = h;
  c.w = width > 0 ? width : 1;
  c.h = height > 0 ? height : 1;
  c.x = c.y = 0;
  c.hide = 1;
  c.epoch_us = clock_us();
  tell_text_spot();
  return true;
}

bool DestroyCaret() {
  if (!installed()) return false;
  caret_state& c = st().caret;
  if (is_null(c.hwnd)) return false;
  if (window* w = win_of(c.hwnd)) mark_dirty(w);
  c = caret_state{};
  return true;
}

bool SetCaretPos(int x, int y) {
  if (!installed() || is_null(st().caret.hwnd)) return false;
  caret_state& c = st().caret;
  c.x = x;
  c.y = y;
  c.epoch_us = clock_us();
  if (window* w = win_of(c.hwnd)) mark_dirty(w);
  tell_text_spot();
  return true;
}

bool GetCaretPos(POINT& p) {
  if (!installed() || is_null(st().caret.hwnd)) return false;
  p = {st().caret.x, st().caret.y};
  return true;
}

bool ShowCaret(HWND h) {
  if (!installed()) return false;
  caret_state& c = st().caret;
  if (is_null(c.hwnd) || (!is_null(h) && h != c.hwnd)) return false;
  if (c.hide > 0) --c.hide;
  c.epoch_us = clock_us();
  if (window* w = win_of(c.hwnd)) mark_dirty(w);
  return true;
}

bool HideCaret(HWND h) {
  if (!installed()) return false;
  caret_state& c = st().caret;
  if (is_null(c.hwnd) || (!is_null(h) && h != c.hwnd)) return false;
  ++c.hide;
  if (window* w = win_of(c.hwnd)) mark_dirty(w);
  return true;
}

uint32_t GetCaretBlinkTime() {
  int32_t ms = installed() ? st().disp->caret_blink_ms() : 500;
  return ms < 0 ? INFINITE : uint32_t(ms);
}

// ---- cursors --------------------------------------------------------------------------------

HCURSOR LoadCursor(uint32_t id) {
  if (!installed()) return HCURSOR{};
  static const uint32_t known[] = {IDC_ARROW, IDC_IBEAM, IDC_WAIT, IDC_CROSS, IDC_UPARROW, IDC_SIZENWSE,
                                   IDC_SIZENESW, IDC_SIZEWE, IDC_SIZENS, IDC_SIZEALL, IDC_NO, IDC_HAND,
                                   IDC_APPSTARTING, IDC_HELP};
  if (std::find(std::begin(known), std::end(known), id) == std::end(known)) return HCURSOR{};
  auto& shared = st().shared_cursors;
  auto it = shared.find(id);
  if (it != shared.end()) return it->second;
  auto c = std::make_unique<cursor>();
  c->shape = id;
  HCURSOR h{st().cursors.add(std::move(c))};
  shared[id] = h;
  return h;
}

HCURSOR CreateCursorFromARGB(int width, int height, int hot_x, int hot_y, const uint32_t* px) {
  if (!installed() || width <= 0 || height <= 0 || width > 1024 || height > 1024 || !px) return HCURSOR{};
  auto c = std::make_unique<cursor>();
  c->w = width;
  c->h = height;
  c->hx = std::clamp(hot_x, 0, width - 1);
  c->hy = std::clamp(hot_y, 0, height - 1);
  c->px.assign(px, px + size_t(width) * size_t(height));
  return HCURSOR{st().cursors.add(std::move(c))};
}

bool DestroyCursor(HCURSOR h) {
  if (!installed()) return false;
  cursor* c = st().cursors.get(uint32_t(h));
  if (!c || c->shape) return false;   // shared cursors stay
  if (st().current_cursor == h) SetCursor(LoadCursor(IDC_ARROW));
  st().cursors.remove(uint32_t(h));
  return true;
}

HCURSOR SetCursor(HCURSOR h) {
  if (!installed()) return HCURSOR{};
  HCURSOR old = st().current_cursor;
  if (!is_null(h) && !st().cursors.get(uint32_t(h))) return old;
  st().current_cursor = h;
  // The display hears of it every time: the pointer may have gone over another top level
  // with the same cursor, which that top level does not show yet.
  HWND under = WindowFromPoint(st().cursor_pos);
  HWND top = GetAncestor(is_null(st().capture) ? under : st().capture, GA_ROOT);
  if (!is_null(top)) st().disp->set_cursor(top, h);
  return old;
}

HCURSOR GetCursor() { return installed() ? st().current_cursor : HCURSOR{}; }

uint32_t cursor_shape(HCURSOR h) {
  cursor* c = installed() ? st().cursors.get(uint32_t(h)) : nullptr;
  return c ? c->shape : 0;
}

bool cursor_image(HCURSOR h, int& w, int& hh, int& hx, int& hy, std::vector<uint32_t>& px) {
  cursor* c = installed() ? st().cursors.get(uint32_t(h)) : nullptr;
  if (!c || c->shape) return false;
  w = c->w; hh = c->h; hx = c->hx; hy = c->hy; px = c->px;
  return true;
}

// ---- monitors and system values -------------------------------------------------------------

std::vector<HMONITOR> EnumDisplayMonitors() {
  std::vector<HMONITOR> r;
  if (!installed()) return r;
  auto ms = st().disp->monitors();
  for (size_t i = 0; i < ms.size(); ++i) r.push_back(HMONITOR(uint32_t(i + 1)));
  return r;
}

static int64_t dist2(RECT r, POINT p) {
  int64_t dx = p.x < r.left ? r.left - p.x : p.x >= r.right ? p.x - r.right + 1 : 0;
  int64_t dy = p.y < r.top ? r.top - p.y : p.y >= r.bottom ? p.y - r.bottom + 1 : 0;
  return dx * dx + dy * dy;
}

HMONITOR MonitorFromPoint(POINT p, uint32_t flags) {
  if (!installed()) return HMONITOR{};
  auto ms = st().disp->monitors();
  if (ms.empty()) return HMONITOR{};
  size_t best = 0;
  int64_t bd = -1;
  for (size_t i = 0; i < ms.size(); ++i) {
    if (ms[i].rect.contains(p)) return HMONITOR(uint32_t(i + 1));
    int64_t d = dist2(ms[i].rect, p);
    if (bd < 0 || d < bd) { bd = d; best = i; }
  }
  if (flags == MONITOR_DEFAULTTONULL) return HMONITOR{};
  if (flags == MONITOR_DEFAULTTOPRIMARY) return HMONITOR(1u);
  return HMONITOR(uint32_t(best + 1));
}

HMONITOR MonitorFromRect(const RECT& r, uint32_t flags) {
  if (!installed()) return HMONITOR{};
  auto ms = st().disp->monitors();
  int64_t best_area = 0;
  size_t best = 0;
  for (size_t i = 0; i < ms.size(); ++i) {
    RECT m = ms[i].rect;
    int64_t w = int64_t(std::min(m.right, r.right)) - std::max(m.left, r.left);
    int64_t h = int64_t(std::min(m.bottom, r.bottom)) - std::max(m.top, r.top);
    if (w > 0 && h > 0 && w * h > best_area) { best_area = w * h; best = i; }
  }
  if (best_area > 0) return HMONITOR(uint32_t(best + 1));
  return MonitorFromPoint({add32(r.left, r.width() / 2), add32(r.top, r.height() / 2)}, flags);
}

HMONITOR MonitorFromWindow(HWND h, uint32_t flags) {
  RECT r;
  if (!GetWindowRect(GetAncestor(h, GA_ROOT), r)) return MonitorFromPoint({0, 0}, flags);
  return MonitorFromRect(r, flags);
}

bool GetMonitorInfo(HMONITOR m, MONITORINFO& mi) {
  if (!installed()) return false;
  auto ms = st().disp->monitors();
  uint32_t i = uint32_t(m);
  if (i == 0 || i > ms.size()) return false;
  mi.rcMonitor = ms[i - 1].rect;
  mi.rcWork = ms[i - 1].work;
  mi.primary = i == 1;
  mi.dpi = ms[i - 1].dpi;
  return true;
}

uint32_t GetDpiForMonitor(HMONITOR m) {
  MONITORINFO mi;
  return GetMonitorInfo(m, mi) && mi.dpi ? mi.dpi : 96;
}

uint32_t GetDpiForWindow(HWND h) {
  window* w = win_of(GetAncestor(h, GA_ROOT));
  return w ? w->dpi : 0;
}

int GetSystemMetricsForDpi(int index, uint32_t dpi) {
  auto scale = [&](int v) { return int((int64_t(v) * dpi + 48) / 96); };
  switch (index) {
    case SM_CXVSCROLL: case SM_CYVSCROLL: case SM_CXHSCROLL: case SM_CYHSCROLL: return scale(17);
    case SM_CYCAPTION: return scale(23);
    case SM_CYMENU: return scale(20);
    case SM_CXBORDER: case SM_CYBORDER: return 1;
    case SM_CXFRAME: case SM_CYFRAME: return scale(4);
    case SM_CXDOUBLECLK: case SM_CYDOUBLECLK: return 4;
    case SM_CXMINTRACK: return scale(136);
    case SM_CYMINTRACK: return scale(39);
  }
  return GetSystemMetrics(index);
}

int GetSystemMetrics(int index) {
  if (!installed()) return 0;
  auto ms = st().disp->monitors();
  switch (index) {
    case SM_CXSCREEN: return ms.empty() ? 0 : ms[0].rect.width();
    case SM_CYSCREEN: return ms.empty() ? 0 : ms[0].rect.height();
    case SM_CMONITORS: return int(ms.size());
    case SM_CXDOUBLECLK: case SM_CYDOUBLECLK: return 4;
  }
  return GetSystemMetricsForDpi(index, ms.empty() ? 96 : ms[0].dpi);
}

COLORREF GetSysColor(int index) { return theme::sys_color(index); }

bool OpenClipboard(HWND) { return installed(); }
bool CloseClipboard() { return installed(); }

bool SetClipboardText(const std::string& s) {
  if (!installed()) return false;
  clipboard_content c;
  c.kind = clipboard_content::TEXT;
  c.text = s;
  return st().disp->set_clipboard(c);
}

std::optional<std::string> GetClipboardText() {
  clipboard_content c;
  if (!installed() || !st().disp->get_clipboard(&c) || c.kind != clipboard_content::TEXT)
    return std::nullopt;
  return c.text;
}

}  // namespace vyr::win
