// What `progress` and `slider` share: an upright face (taller than wide) and a range of 0 to
// its long side in logical units.
#pragma once
#include "gui/backend/backend.h"

namespace vyr::gui::widgets {

struct long_side {
  bool upright = false;
  i32 range = 0;   // the long side, rounded to whole units
};
long_side long_side_of(const cell* face);

// The facets of such a face: every control's, then for a new `data` or `size` the style's
// `upright_bits` as the size says and the range and position set again by `place`.
void sync_long_side(const cell* face, win::HWND, u32 mask, u32 upright_bits, void (*place)(win::HWND, const cell*));

}  // namespace vyr::gui::widgets
