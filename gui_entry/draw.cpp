// The runtime's side of DRAW: `draw-image` loads the GUI module on its first call and hands
// over to the module's body, which the module installs in the runtime's hook table; `draw`
// and `draw-image` are made by view/draw.vyr.
#include "gui_entry/draw.h"

#include "runtime/datatypes/function.h"
#include "runtime/fire.h"
#include "gui_entry/module.h"

namespace vyr::draw {

namespace {
// gui/draw-image: image cmds, drawn by the module. A program that links the drawing code
// itself installs the body without loading anything.
void draw_image_routine(cell* args, u32 count) {
  auto& t = gui_module::table();
  if (!t.draw_image) gui_module::require();
  if (!t.draw_image) fire("internal", "not-done");
  t.draw_image(args, count);
}
}  // namespace

void init() {
  if (!routine::find("gui/draw-image")) {
    routine::register_("gui/draw-image", draw_image_routine);
  }
}

}  // namespace vyr::draw
