// STATIC: a label. It fills itself with the brush its parent answers to WM_CTLCOLORSTATIC and
// draws its text aligned and wrapped as its style says. Without SS_NOTIFY the pointer goes
// through it to what lies under it; with it, clicks are told to the parent.
#include <cairo.h>

#include "gui/win/controls/common.h"
#include "gui/win/controls/controls.h"

namespace vyr::win {
using namespace ctl;

namespace {
struct label : state {};

void paint(HWND h, label& s) {
  painting pt(h, s.font);
  HDC dc = pt.dc;
  cairo_t* cr = pt.cr;
  RECT rc = pt.rc;
  fill(cr, rc, ask_colors(h, dc, WM_CTLCOLORSTATIC, part::face));
  uint32_t style = style_of(h);
  uint32_t type = style & SS_TYPEMASK;
  uint32_t flags = type == SS_CENTER ? DT_CENTER : type == SS_RIGHT ? DT_RIGHT : DT_LEFT;
  if (type == SS_SIMPLE || type == SS_LEFTNOWORDWRAP) flags |= DT_SINGLELINE;
  else if (style & SS_CENTERIMAGE) flags |= DT_SINGLELINE | DT_VCENTER;
  else flags |= DT_WORDBREAK;
  if (style & SS_NOPREFIX) flags |= DT_NOPREFIX;
  if (style & SS_ENDELLIPSIS) flags |= DT_END_ELLIPSIS;
  SetBkMode(dc, TRANSPARENT);
  DrawText(dc, GetWindowText(h), rc, flags);
}
}  // namespace

LRESULT static_proc(HWND h, uint32_t msg, WPARAM wp, LPARAM lp) {
  label& s = state_of<label>(h);
  LRESULT answer = 0;
  if (common_message(h, s, msg, wp, lp, answer)) return answer;
  switch (msg) {
    case WM_NCHITTEST:
      return (style_of(h) & SS_NOTIFY) ? HTCLIENT : HTTRANSPARENT;
    case WM_PAINT:
      paint(h, s);
      return 0;
    case WM_SETTEXT: {
      LRESULT r = DefWindowProc(h, msg, wp, lp);
      InvalidateRect(h, nullptr, false);
      return r;
    }
    case WM_LBUTTONDOWN:
      if (style_of(h) & SS_NOTIFY) command(h, STN_CLICKED);
      return 0;
    case WM_LBUTTONDBLCLK:
      if (style_of(h) & SS_NOTIFY) command(h, STN_DBLCLK);
      return 0;
  }
  return DefWindowProc(h, msg, wp, lp);
}

}  // namespace vyr::win
