// What every control class shares: its font, its DPI, notifying its parent, asking the
// parent for colours, and the few drawing strokes of the flat look. Only the controls
// include this.
#pragma once
#include <string>
#include <string_view>

#include "gui/win/behavior.h"
#include "gui/win/controls/ctlnum.h"
#include "gui/win/theme.h"

namespace vyr::win::ctl {

using theme::part;

uint32_t style_of(HWND);
uint32_t dpi_of(HWND);
// A length in 96-DPI units at the window's DPI.
int px(HWND, double units);

// The message font at a DPI, made once per DPI and layer.
HFONT default_font(uint32_t dpi);
// The font set with WM_SETFONT when it still exists, else the default at the window's DPI.
HFONT font_or_default(HWND, HFONT set);
// A font's metrics and the height of a line of text in it.
TEXTMETRIC text_metrics(HFONT);
int line_height(HFONT);

// The window a control reports to: its parent, or for a dropped list its combo box.
HWND report_to(HWND);
// Links a dropped list to the combo box that made it.
void set_combo_of(HWND list, HWND combo);

// WM_COMMAND to the parent: the control's id and `code`, the control's handle.
void command(HWND, uint16_t code);
// WM_NOTIFY to the parent with the header filled in; the parent's answer.
LRESULT notify(HWND, NMHDR& header, int32_t code);

// Asks the parent for the colours of a paint with `message` (WM_CTLCOLOR...): the DC starts
// with the theme's text colour and `background` as its background colour; the parent may
// change them and answer a brush. Answers the colour to fill with: the brush's, or the
// theme's `background` when the parent answered none.
COLORREF ask_colors(HWND, HDC, uint32_t message, part background);


// Text without the "&" of mnemonics: "&&" is one "&".
std::string strip_mnemonics(std::string_view);

// Strokes of the flat look.
void fill(cairo_t*, const RECT&, COLORREF);
void outline(cairo_t*, const RECT&, COLORREF, double width = 1);
void set_color(cairo_t*, COLORREF);
// A dotted-free focus ring just inside r.
void focus_ring(cairo_t*, const RECT&, COLORREF, double width);

// The base of every control's state: its font, its pressable parts, whether it has the focus.
struct state : control_state {
  HFONT font{};
  behavior parts;
  bool leave_tracked = false;
  bool focused = false;
};

// The state of a control of class T, made at the first message.
template <class T>
T& state_of(HWND h) {
  if (T* s = control_of<T>(h)) return *s;
  auto made = std::make_unique<T>();
  T& r = *made;
  SetControlState(h, std::move(made));
  return r;
}

// The messages every control answers alike: WM_SETFONT and WM_GETFONT, WM_ERASEBKGND (it
// paints all of itself), WM_ENABLE (a repaint) and WM_MOUSELEAVE (no part hot any more).
// Answers whether it took the message. WM_SETFOCUS and WM_KILLFOCUS set `focused` and
// repaint, and WM_CAPTURECHANGED to another window lets go of a pressed part; these are left
// to the control as well (answers false).
bool common_message(HWND, state&, uint32_t msg, WPARAM, LPARAM, LRESULT& answer);

// Repaints the control when a step of its pressable parts changed what shows; answers the step.
behavior::answer redraw_if(HWND, const behavior::answer&);

// The pointer moved over `part` (-1: none): WM_MOUSELEAVE is asked for once, the part
// becomes hot, the control repaints when that changed.
void hover(HWND, state&, int part);

// One WM_PAINT of a control: begun at making, ended at the end of the scope, with the
// control's font selected into the DC.
struct painting {
  painting(HWND, HFONT set);
  ~painting();
  painting(const painting&) = delete;
  painting& operator=(const painting&) = delete;
  HWND h;
  PAINTSTRUCT ps;
  HDC dc;
  cairo_t* cr;
  RECT rc;
};

// Clears what the DC paints on to transparent: what lies under shows where nothing is drawn.
void clear(cairo_t*);

}  // namespace vyr::win::ctl
