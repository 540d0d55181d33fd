// What `progress` and `slider` share: an upright face (taller than wide) and a range of 0 to
// its long side in logical units.
#pragma once
#include "gui/backend.h"

namespace vyr::gui::widgets {

struct long_side {
  bool upright = false;
  i32 range = 0;   // the long side, rounded to whole units
};
long_side long_side_of(const cell* face);

}  // namespace vyr::gui::widgets
