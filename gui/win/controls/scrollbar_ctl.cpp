// SCROLLBAR: a scroll bar as a control of its own (SBS_VERT upright), drawn, hit and followed
// by the same engine as a window's own bars. It keeps its scroll information; a press tells
// the parent (WM_HSCROLL or WM_VSCROLL with the control's handle), which moves it.
#include <algorithm>

#include "gui/win/controls/common.h"
#include "gui/win/controls/controls.h"
#include "gui/win/scrollbar.h"

namespace vyr::win {
using namespace ctl;

namespace {
struct bar : state {
  SCROLLINFO info;   // nMin 0, nMax 100 until told otherwise
  bar() { info.nMax = 100; }
};

// Win32's clamping: the page fits the range, the position the range less the page.
void normalise(SCROLLINFO& s) {
  int64_t range = int64_t(s.nMax) - s.nMin + 1;
  if (range < 0) range = 0;
  if (s.nPage > range) s.nPage = uint32_t(range);
  int64_t hi = int64_t(s.nMax) - std::max<int64_t>(int64_t(s.nPage) - 1, 0);
  s.nPos = int32_t(std::clamp<int64_t>(s.nPos, s.nMin, std::max<int64_t>(hi, s.nMin)));
}

void paint(HWND h, bar& b) {
  painting pt(h, b.font);
  HDC dc = pt.dc;
  scrollbar::look l;
  l.hot = b.parts.hot;
  l.pressed = scrollbar::pressed_part(h, SB_CTL);
  l.enabled = IsWindowEnabled(h);
  l.dark = dark_theme(h);
  scrollbar::draw(cairo_of(dc), scrollbar::geometry_of(h, SB_CTL), l);
}
}  // namespace

LRESULT scrollbar_proc(HWND h, uint32_t msg, WPARAM wp, LPARAM lp) {
  bar& b = state_of<bar>(h);
  LRESULT answer = 0;
  if (common_message(h, b, msg, wp, lp, answer)) return answer;
  switch (msg) {
    case WM_PAINT:
      paint(h, b);
      return 0;
    case SBM_SETSCROLLINFO: {
      if (!lp) return b.info.nPos;
      const SCROLLINFO& in = *reinterpret_cast<const SCROLLINFO*>(lp);
      if (in.fMask & SIF_RANGE) {
        b.info.nMin = in.nMin;
        b.info.nMax = in.nMax;
      }
      if (in.fMask & SIF_PAGE) b.info.nPage = in.nPage;
      if (in.fMask & SIF_POS) b.info.nPos = in.nPos;
      normalise(b.info);
      if (wp) InvalidateRect(h, nullptr, false);
      return b.info.nPos;
    }
    case SBM_GETSCROLLINFO: {
      if (!lp) return 0;
      SCROLLINFO& out = *reinterpret_cast<SCROLLINFO*>(lp);
      uint32_t mask = out.fMask;
      out = b.info;
      out.fMask = mask;
      out.nTrackPos = b.info.nPos;   // GetScrollInfo puts a dragged thumb's position here
      return 1;
    }
    case SBM_SETPOS: {
      int32_t old = b.info.nPos;
      b.info.nPos = int32_t(wp);
      normalise(b.info);
      if (lp) InvalidateRect(h, nullptr, false);
      return old;
    }
    case SBM_GETPOS:
      return b.info.nPos;
    case SBM_SETRANGE:
    case SBM_SETRANGEREDRAW:
      b.info.nMin = int32_t(wp);
      b.info.nMax = int32_t(lp);
      normalise(b.info);
      if (msg == SBM_SETRANGEREDRAW) InvalidateRect(h, nullptr, false);
      return b.info.nPos;
    case SBM_GETRANGE:
      if (wp) *reinterpret_cast<int32_t*>(wp) = b.info.nMin;
      if (lp) *reinterpret_cast<int32_t*>(lp) = b.info.nMax;
      return 1;
    case WM_MOUSEMOVE:
      hover(h, b, scrollbar::hit(scrollbar::geometry_of(h, SB_CTL), POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)}));
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      scrollbar::track(h, SB_CTL, POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)});
      return 0;
  }
  return DefWindowProc(h, msg, wp, lp);
}

}  // namespace vyr::win
