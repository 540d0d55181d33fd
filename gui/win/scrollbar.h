// The scroll-bar engine: geometry, hit test, drawing and the following of a press, for a
// window's own bars (beside its client area) and for SCROLLBAR controls alike. The painter
// and the hit test read the same geometry, so what is seen is what is hit.
#pragma once
#include "gui/win/win.h"

namespace vyr::win::scrollbar {

// The parts in order along the bar.
enum part : int { NONE = -1, LINE_UP = 0, PAGE_UP = 1, THUMB = 2, PAGE_DOWN = 3, LINE_DOWN = 4 };

struct geometry {
  RECT area;
  bool vertical = true;
  RECT parts[5];          // by part; the thumb and the page parts are empty when inactive
  int track_start = 0;    // along the bar, from the area's start: the track between the arrows
  int track_len = 0;
  int thumb_len = 0;
  bool active = false;    // there is a thumb: the range is larger than the page
};

// The bar laid out in `area` for this scroll information at this DPI; `enabled` false
// draws and hits no thumb.
geometry layout(RECT area, bool vertical, const SCROLLINFO& si, uint32_t dpi, bool enabled = true);
int hit(const geometry&, POINT);
// The position that puts the thumb's leading edge `offset` pixels into the track.
int32_t position_at(const geometry&, const SCROLLINFO&, int64_t offset);
// The notification code a press on a part sends (SB_LINEUP ... SB_LINEDOWN, SB_THUMBTRACK).
uint32_t code_of(int part);

struct look {
  int hot = NONE;
  int pressed = NONE;
  bool enabled = true;
  bool dark = false;
};
void draw(cairo_t*, const geometry&, const look&);

// The scroll information of a bar: a window's own (SB_HORZ, SB_VERT) or a SCROLLBAR
// control's (SB_CTL), with the thumb where a press being followed holds it.
SCROLLINFO info_of(HWND, int bar);
// The geometry of a window's own bar in its client coordinates, or of a SCROLLBAR control
// filling its client area.
geometry geometry_of(HWND, int bar);
// The part held down on this bar, NONE when no press on it is followed.
int pressed_part(HWND, int bar);

// The position a scroll message (the low word of its wParam, `code`) asks of bar `bar` now
// at `at`: a line or a page either way, the ends of the range, or the thumb's track
// position. False for a code that moves nothing (SB_ENDSCROLL).
bool target(HWND, int bar, uint32_t code, int64_t line, int64_t page, int64_t& at);

// Follows a press of the left button at `client` (a point of `h`'s client coordinates) on
// bar `bar` until the button goes up: arrows and the track repeat while held, the thumb is
// dragged. Notifications go as Win32's: WM_HSCROLL/WM_VSCROLL to the window itself with
// lParam 0 for its own bars, to the parent with the control's handle for SB_CTL; the last
// is SB_ENDSCROLL. Runs its own message loop, as a modal press does.
void track(HWND h, int bar, POINT client);

}  // namespace vyr::win::scrollbar
