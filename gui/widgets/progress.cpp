// `progress` faces: progress bars (VyrProgress), upright when taller than wide, whose range
// is their long side and whose position is `data` (0 to 1) of it.
#include <cmath>

#include "gui/widgets/controls.h"
#include "gui/widgets/ranges.h"

namespace vyr::gui::widgets {

using namespace win;

long_side long_side_of(const cell* face) {
  logical_xy s = xy_of(facet(face, facet_index::size));
  long_side l;
  l.upright = s.y > s.x;
  float side = l.upright ? s.y : s.x;
  l.range = std::isfinite(side) && side > 0 ? i32(std::min(side + 0.5f, 1e9f)) : 0;
  return l;
}

void sync_long_side(const cell* face, HWND h, u32 mask, u32 upright_bits, void (*place)(HWND, const cell*)) {
  sync_then(face, h, mask, [&](const cell* f) {
    if (!((mask >> facet_index::data) & 1) && !((mask >> facet_index::size) & 1)) return;
    u32 style = u32(GetWindowLong(h, GWL_STYLE));
    u32 want = long_side_of(f).upright ? style | upright_bits : style & ~upright_bits;
    if (want != style) SetWindowLong(h, GWL_STYLE, want);
    place(h, f);
  });
}

namespace {
// The range from the face's size and the position from its `data`.
void set_range_and_pos(HWND h, const cell* face) {
  long_side l = long_side_of(face);
  SendMessage(h, PBM_SETRANGE32, 0, l.range);
  double v = unit_value(facet(face, facet_index::data));
  if (v >= 0) SendMessage(h, PBM_SETPOS, WPARAM(i32(std::lround(v * l.range))), 0);
}

HWND make(const cell* face, HWND parent, u32 flags) {
  u32 style = long_side_of(face).upright ? PBS_VERTICAL : 0;
  HWND h = make_control(face, parent, flags, "VyrProgress", style, 0);
  if (!is_null(h)) set_range_and_pos(h, face);
  return h;
}

void sync(const cell* face, HWND h, u32 mask) { sync_long_side(face, h, mask, PBS_VERTICAL, set_range_and_pos); }
}  // namespace

extern const face_type_record progress_record = {
    .window_class = "VyrProgress",
    .make = make,
    .sync = sync,
    .colour = control_colour,
    .base_class = "msctls_progress32",
};

}  // namespace vyr::gui::widgets
