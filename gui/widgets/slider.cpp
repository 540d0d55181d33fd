// `slider` faces: trackbars (VyrSlider), upright when taller than wide, whose range is their
// long side. `data` (0 to 1) places the thumb, counted from the bottom when upright; moving
// it writes `data` back as a percent! and gives `change`.
#include <cmath>

#include "gui/backend/events.h"
#include "gui/widgets/controls.h"
#include "gui/widgets/ranges.h"
#include "runtime/api/values.h"

namespace vyr::gui::widgets {

using namespace win;

namespace {
void set_range_and_pos(HWND h, const cell* face) {
  long_side l = long_side_of(face);
  SendMessage(h, TBM_SETRANGE, 0, MAKELPARAM(0, std::min(l.range, 0x7FFF)));
  double v = unit_value(facet(face, facet_index::data));
  if (v < 0) return;
  i32 pos = i32(std::lround(v * l.range));
  SendMessage(h, TBM_SETPOS, 1, l.upright ? l.range - pos : pos);
}

HWND make(const cell* face, HWND parent, u32 flags) {
  u32 style = long_side_of(face).upright ? TBS_VERT | TBS_DOWNISLEFT : 0;
  HWND h = make_control(face, parent, flags, "VyrSlider", style, 0);
  if (!is_null(h)) set_range_and_pos(h, face);
  return h;
}

void sync(const cell* face, HWND h, u32 mask) {
  sync_long_side(face, h, mask, TBS_VERT | TBS_DOWNISLEFT, set_range_and_pos);
}

// gui/get-slider: `data` := the thumb's position over the range (0 on a face of no length).
void get_slider(HWND h) {
  const cell* face = face_of_window(h);
  cell* data = face ? facet(face, facet_index::data) : nullptr;
  if (!data) return;
  long_side l = long_side_of(face);
  double pos = double(SendMessage(h, TBM_GETPOS, 0, 0));
  if (l.upright) pos = l.range - pos;
  double v = l.range > 0 ? pos / l.range : 0.0;
  if (type_of(data) == TYPE_FLOAT) api::float_::make_at(data, v);
  else api::percent::make_at(data, v);
}

LRESULT notify(const cell*, HWND h, u32 msg, WPARAM w, LPARAM l) {
  if (msg != WM_HSCROLL && msg != WM_VSCROLL) return 0;
  // One click or key gives the trackbar's step and then its end of track: a `change` goes
  // only when the thumb's place changed `data`.
  const cell* face = face_of_window(h);
  const cell* data = face ? facet(face, facet_index::data) : nullptr;
  bool had = data && (type_of(data) == TYPE_FLOAT || type_of(data) == TYPE_PERCENT);
  u32 old_type = had ? type_of(data) : 0;
  double old = had ? cell_float(data) : 0.0;
  get_slider(h);
  face = face_of_window(h);
  data = face ? facet(face, facet_index::data) : nullptr;
  if (had && data && type_of(data) == old_type && cell_float(data) == old) return 0;
  control_event(h, msg, w, l, api::event::CHANGE);
  return 0;
}
}  // namespace

extern const face_type_record slider_record = {
    .window_class = "VyrSlider",
    .make = make,
    .sync = sync,
    .notify = notify,
    .colour = control_colour,
    .base_class = "msctls_trackbar32",
};

}  // namespace vyr::gui::widgets
