// msctls_progress32: a bar filled in proportion to its position within its range, from the
// left, or from the bottom with PBS_VERTICAL. It takes no input and tells nothing.
#include <algorithm>

#include <cairo.h>

#include "gui/win/controls/common.h"
#include "gui/win/controls/controls.h"

namespace vyr::win {
using namespace ctl;

namespace {
struct progress : state {
  int32_t low = 0, high = 100, pos = 0, step = 10;
  COLORREF bar = CLR_DEFAULT, back = CLR_DEFAULT;
};

int32_t clamp_pos(const progress& p, int64_t v) {
  return int32_t(std::clamp<int64_t>(v, std::min(p.low, p.high), std::max(p.low, p.high)));
}

LRESULT set_pos(HWND h, progress& p, int64_t v) {
  int32_t old = p.pos;
  p.pos = clamp_pos(p, v);
  if (p.pos != old) InvalidateRect(h, nullptr, false);
  return old;
}

void paint(HWND h, progress& p) {
  painting pt(h, p.font);
  cairo_t* cr = pt.cr;
  const RECT& rc = pt.rc;
  fill(cr, rc, p.back != CLR_DEFAULT ? p.back : theme_color(h, part::track));
  outline(cr, rc, theme_color(h, part::frame));
  int64_t span = int64_t(p.high) - p.low;
  if (span > 0) {
    RECT in{rc.left + 1, rc.top + 1, rc.right - 1, rc.bottom - 1};
    bool vertical = style_of(h) & PBS_VERTICAL;
    int64_t len = vertical ? in.height() : in.width();
    int64_t done = len * (int64_t(p.pos) - p.low) / span;
    RECT bar = vertical ? RECT{in.left, int(in.bottom - done), in.right, in.bottom}
                        : RECT{in.left, in.top, int(in.left + done), in.bottom};
    fill(cr, bar, p.bar != CLR_DEFAULT ? p.bar : theme_color(h, IsWindowEnabled(h) ? part::accent : part::frame_disabled));
  }
}
}  // namespace

LRESULT progress_proc(HWND h, uint32_t msg, WPARAM wp, LPARAM lp) {
  progress& p = state_of<progress>(h);
  LRESULT answer = 0;
  if (common_message(h, p, msg, wp, lp, answer)) return answer;
  switch (msg) {
    case WM_PAINT:
      paint(h, p);
      return 0;
    case PBM_SETRANGE:
    case PBM_SETRANGE32: {
      LRESULT old = MAKELPARAM(p.low, p.high);
      if (msg == PBM_SETRANGE) {
        p.low = int16_t(LOWORD(lp));
        p.high = int16_t(HIWORD(lp));
      } else {
        p.low = int32_t(wp);
        p.high = int32_t(lp);
      }
      p.pos = clamp_pos(p, p.pos);
      InvalidateRect(h, nullptr, false);
      return old;
    }
    case PBM_GETRANGE:
      return wp ? p.low : p.high;
    case PBM_SETPOS:
      return set_pos(h, p, int32_t(wp));
    case PBM_DELTAPOS:
      return set_pos(h, p, int64_t(p.pos) + int32_t(wp));
    case PBM_GETPOS:
      return p.pos;
    case PBM_SETSTEP: {
      int32_t old = p.step;
      p.step = int32_t(wp);
      return old;
    }
    case PBM_STEPIT: {
      // Stepping past the end wraps to the start, as a busy bar does.
      int64_t next = int64_t(p.pos) + p.step;
      if (next > std::max(p.low, p.high)) next = p.low + (next - std::max(p.low, p.high));
      return set_pos(h, p, next);
    }
    case PBM_SETBARCOLOR:
    case PBM_SETBKCOLOR: {
      COLORREF& c = msg == PBM_SETBARCOLOR ? p.bar : p.back;
      COLORREF old = c;
      c = COLORREF(lp);
      InvalidateRect(h, nullptr, false);
      return old;
    }
  }
  return DefWindowProc(h, msg, wp, lp);
}

}  // namespace vyr::win
