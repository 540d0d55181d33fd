// `scroller` faces: scroll bars (VyrScroller), upright when taller than wide, over a range
// of 0 to 10000. `data` (0 to 1) is the position, `selected` (0 to 1) the page; a press
// moves it by a line (the `steps` option, else a tenth of the range) or a page, or drags
// it, then writes `data` and `selected` back and gives `change`.
#include <algorithm>
#include <cmath>

#include "gui/backend/events.h"
#include "gui/widgets/controls.h"
#include "gui/win/scrollbar.h"
#include "runtime/api/values.h"

namespace vyr::gui::widgets {

using namespace win;

namespace {
constexpr i32 RANGE = 10000;

bool upright(const cell* face) {
  logical_xy s = xy_of(facet(face, facet_index::size));
  return s.y > s.x;
}

void set_page(HWND h, const cell* face) {
  const cell* sel = facet(face, facet_index::selected);
  if (!sel || (type_of(sel) != TYPE_FLOAT && type_of(sel) != TYPE_PERCENT)) return;
  double r = cell_float(sel);
  if (!(r >= 0)) return;
  SCROLLINFO si;
  si.fMask = SIF_PAGE;
  si.nPage = u32(std::lround(std::min(r, 1.0) * RANGE));
  SetScrollInfo(h, SB_CTL, si, true);
}

void set_pos(HWND h, const cell* face) {
  const cell* data = facet(face, facet_index::data);
  if (!data || (type_of(data) != TYPE_FLOAT && type_of(data) != TYPE_PERCENT)) return;
  double v = std::clamp(cell_float(data), 0.0, 1.0);
  if (std::isnan(v)) v = 0;
  SCROLLINFO si;
  si.fMask = SIF_POS;
  si.nPos = i32(std::lround(v * RANGE));
  SetScrollInfo(h, SB_CTL, si, true);
}

HWND make(const cell* face, HWND parent, u32 flags) {
  HWND h = make_control(face, parent, flags, "VyrScroller", upright(face) ? SBS_VERT : 0, 0);
  if (is_null(h)) return h;
  SCROLLINFO si;
  si.fMask = SIF_RANGE;
  si.nMin = 0;
  si.nMax = RANGE;
  SetScrollInfo(h, SB_CTL, si, true);
  set_page(h, face);
  set_pos(h, face);
  return h;
}

void sync(const cell* face_in, HWND h, u32 mask) {
  sync_then(face_in, h, mask, [&](const cell* face) {
    if ((mask >> facet_index::size) & 1) {
      // A scroller turned taller than wide becomes upright, and back.
      u32 style = u32(GetWindowLong(h, GWL_STYLE));
      u32 want = upright(face) ? style | SBS_VERT : style & ~u32(SBS_VERT);
      if (want != style) {
        SetWindowLong(h, GWL_STYLE, want);
        InvalidateRect(h, nullptr, false);
      }
    }
    if ((mask >> facet_index::data) & 1) set_pos(h, face);
    if ((mask >> facet_index::selected) & 1) set_page(h, face);
  });
}

// gui/get-scroller: `data` := the position over the range, `selected` := the page over it
// (0 over a range of none).
void get_scroller(HWND h, const SCROLLINFO& si) {
  const cell* face = face_of_window(h);
  if (!face) return;
  double span = double(si.nMax) - si.nMin;
  if (cell* data = facet(face, facet_index::data)) api::float_::make_at(data, span > 0 ? (si.nPos - si.nMin) / span : 0.0);
  if (cell* sel = facet(face, facet_index::selected)) api::percent::make_at(sel, span > 0 ? si.nPage / span : 0.0);
}

LRESULT notify(const cell* face, HWND h, u32 msg, WPARAM w, LPARAM l) {
  if (msg != WM_HSCROLL && msg != WM_VSCROLL) return 0;
  SCROLLINFO si;
  si.fMask = SIF_ALL;
  GetScrollInfo(h, SB_CTL, si);
  double span = double(si.nMax) - si.nMin;
  const cell* steps = option_after(facet(face, facet_index::options), "steps");
  double step = steps && (type_of(steps) == TYPE_FLOAT || type_of(steps) == TYPE_PERCENT) ? cell_float(steps) : 0.1;
  i64 pos = si.nPos;
  // SB_ENDSCROLL: the move is over.
  if (!scrollbar::target(h, SB_CTL, LOWORD(w), std::llround(span * step), si.nPage, pos)) return 0;
  SCROLLINFO to;
  to.fMask = SIF_POS;
  to.nPos = i32(std::clamp<i64>(pos, INT32_MIN, INT32_MAX));
  SetScrollInfo(h, SB_CTL, to, true);
  si.fMask = SIF_ALL;
  GetScrollInfo(h, SB_CTL, si);
  get_scroller(h, si);
  control_event(h, msg, w, l, api::event::CHANGE);
  return 0;
}
}  // namespace

extern const face_type_record scroller_record = {
    .window_class = "VyrScroller",
    .make = make,
    .sync = sync,
    .notify = notify,
    .colour = control_colour,
    .base_class = "SCROLLBAR",
};

}  // namespace vyr::gui::widgets
