// The runtime's side of DRAW: the routine behind `draw-image` and the `draw` function are
// defined at start-up, but the drawing itself (cairo, pango) lives in the GUI module, loaded
// on the first call, so that start-up never loads those libraries.
#pragma once

namespace vyr::draw {

void init();  // registers the routine gui/draw-image (view/draw.vyr makes `draw-image`)

}  // namespace vyr::draw
