// The controls' shared pieces, and the registration of their classes.
#include "gui/win/controls/common.h"

#include <algorithm>
#include <map>

#include <cairo.h>

#include "base/colour.h"
#include "gui/win/controls/controls.h"

namespace vyr::win {

int register_control_classes() {
  int n = 0;
#define VYR_REGISTER_CONTROL(name, proc, styles, cursor) \
  {                                                      \
    WNDCLASSEX wc;                                       \
    wc.style = (styles) | CS_GLOBALCLASS;                \
    wc.lpfnWndProc = proc;                               \
    wc.cbWndExtra = 80;                                  \
    wc.hCursor = LoadCursor(cursor);                     \
    wc.lpszClassName = name;                             \
    n += RegisterClassEx(wc);                            \
  }
  VYR_CONTROL_CLASSES(VYR_REGISTER_CONTROL)
#undef VYR_REGISTER_CONTROL
  return n;
}

void unregister_control_classes() {
#define VYR_UNREGISTER_CONTROL(name, proc, styles, cursor) UnregisterClass(name);
  VYR_CONTROL_CLASSES(VYR_UNREGISTER_CONTROL)
#undef VYR_UNREGISTER_CONTROL
}

}  // namespace vyr::win

namespace vyr::win::ctl {

uint32_t style_of(HWND h) { return uint32_t(GetWindowLong(h, GWL_STYLE)); }

uint32_t dpi_of(HWND h) {
  uint32_t d = GetDpiForWindow(h);
  return d ? d : 96;
}

int px(HWND h, double units) { return int(units * dpi_of(h) / 96.0 + 0.5); }

HFONT default_font(uint32_t dpi) {
  // Font handles die with the layer: a cached one is checked before it is given out.
  static std::map<uint32_t, HFONT> made;
  HFONT& f = made[dpi];
  LOGFONT lf;
  if (is_null(f) || !GetObject(f, lf)) f = CreateFontIndirect(message_font(dpi, false));
  return f;
}

HFONT font_or_default(HWND h, HFONT set) {
  LOGFONT lf;
  if (!is_null(set) && GetObject(set, lf)) return set;
  return default_font(dpi_of(h));
}

TEXTMETRIC text_metrics(HFONT f) {
  // Asking pango for a font's metrics shapes a sample text, which costs more than a list's
  // whole paint: each font's metrics are kept, checked against its description, which a
  // reused handle would change.
  struct known { LOGFONT lf; TEXTMETRIC tm; };
  static std::map<uint32_t, known> cache;
  LOGFONT lf;
  bool live = GetObject(f, lf);
  auto it = cache.find(uint32_t(f));
  if (live && it != cache.end() && it->second.lf.lfHeight == lf.lfHeight &&
      it->second.lf.lfWeight == lf.lfWeight && it->second.lf.lfItalic == lf.lfItalic &&
      it->second.lf.lfFaceName == lf.lfFaceName)
    return it->second.tm;
  HDC dc = GetDC(HWND{});
  SelectObject(dc, f);
  TEXTMETRIC tm;
  GetTextMetrics(dc, tm);
  ReleaseDC(HWND{}, dc);
  tm.tmHeight = std::max(1, tm.tmHeight);
  tm.tmAveCharWidth = std::max(1, tm.tmAveCharWidth);
  if (live) cache[uint32_t(f)] = known{lf, tm};
  return tm;
}

int line_height(HFONT f) { return text_metrics(f).tmHeight; }

HWND report_to(HWND h) {
  HWND owner = owning_control(h);
  return is_null(owner) ? GetParent(h) : owner;
}

void command(HWND h, uint16_t code) {
  HWND parent = report_to(h);
  if (is_null(parent)) return;
  SendMessage(parent, WM_COMMAND, MAKEWPARAM(uint32_t(GetWindowLong(h, GWLP_ID)), code), LPARAM(raw(h)));
}

LRESULT notify(HWND h, NMHDR& hdr, int32_t code) {
  hdr.hwndFrom = h;
  hdr.idFrom = uintptr_t(GetWindowLong(h, GWLP_ID));
  hdr.code = code;
  HWND parent = report_to(h);
  if (is_null(parent)) return 0;
  return SendMessage(parent, WM_NOTIFY, hdr.idFrom, reinterpret_cast<LPARAM>(&hdr));
}

COLORREF ask_colors(HWND h, HDC dc, uint32_t message, part background) {
  COLORREF bg = theme_color(h, background);
  SetTextColor(dc, theme_color(h, IsWindowEnabled(h) ? part::text : part::text_disabled));
  SetBkColor(dc, bg);
  SetBkMode(dc, OPAQUE);
  HWND parent = report_to(h);
  if (is_null(parent)) return bg;
  LRESULT answer = SendMessage(parent, message, WPARAM(uint32_t(dc)), LPARAM(raw(h)));
  COLORREF c = answer ? brush_color(HBRUSH(uint32_t(answer)), dc) : NO_COLOR;
  return c == NO_COLOR ? bg : c;
}

std::string strip_mnemonics(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '&') out += s[i];
    else if (i + 1 < s.size()) out += s[++i];
  }
  return out;
}

void set_color(cairo_t* cr, COLORREF c) {
  colour::set_source(cr, c);
}

void fill(cairo_t* cr, const RECT& r, COLORREF c) {
  if (r.empty() || c == NO_COLOR) return;
  set_color(cr, c);
  cairo_rectangle(cr, r.left, r.top, r.width(), r.height());
  cairo_fill(cr);
}

void outline(cairo_t* cr, const RECT& r, COLORREF c, double width) {
  if (r.empty()) return;
  set_color(cr, c);
  cairo_set_line_width(cr, width);
  double h = width / 2;
  cairo_rectangle(cr, r.left + h, r.top + h, r.width() - width, r.height() - width);
  cairo_stroke(cr);
}

void focus_ring(cairo_t* cr, const RECT& r, COLORREF c, double width) {
  RECT in{r.left + int(width), r.top + int(width), r.right - int(width), r.bottom - int(width)};
  outline(cr, in, c, width);
}

bool common_message(HWND h, state& s, uint32_t msg, WPARAM wp, LPARAM lp, LRESULT& answer) {
  answer = 0;
  switch (msg) {
    case WM_SETFONT:
      s.font = HFONT(uint32_t(wp));
      if (LOWORD(lp)) InvalidateRect(h, nullptr, true);
      return true;
    case WM_GETFONT:
      answer = LRESULT(uint32_t(s.font));
      return true;
    case WM_ERASEBKGND:
      answer = 1;
      return true;
    case WM_ENABLE:
      InvalidateRect(h, nullptr, false);
      return true;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      s.focused = msg == WM_SETFOCUS;
      InvalidateRect(h, nullptr, false);
      return false;
    case WM_CAPTURECHANGED:
      if (HWND(uint32_t(lp)) != h) redraw_if(h, s.parts.cancel());
      return false;
    case WM_MOUSELEAVE:
      s.leave_tracked = false;
      redraw_if(h, s.parts.leave());
      return true;
  }
  return false;
}

behavior::answer redraw_if(HWND h, const behavior::answer& a) {
  if (a.redraw) InvalidateRect(h, nullptr, false);
  return a;
}

void hover(HWND h, state& s, int part) {
  if (!s.leave_tracked) {
    TRACKMOUSEEVENT t;
    t.dwFlags = TME_LEAVE;
    t.hwndTrack = h;
    TrackMouseEvent(t);
    s.leave_tracked = true;
  }
  redraw_if(h, s.parts.move(part));
}

painting::painting(HWND w, HFONT set) : h(w), dc(BeginPaint(w, ps)), cr(cairo_of(dc)) {
  GetClientRect(w, rc);
  SelectObject(dc, font_or_default(w, set));
}

painting::~painting() { EndPaint(h, ps); }

void clear(cairo_t* cr) {
  cairo_save(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  cairo_restore(cr);
}

}  // namespace vyr::win::ctl
