// The runtime's side of DRAW: `draw-image` loads the GUI module on its first call and hands
// over to the module's body, which the module installs in the runtime's hook table.
#include "gui_entry/draw.h"

#include <cstring>

#include "boot/environment.h"
#include "runtime/collector.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/word.h"
#include "runtime/fire.h"
#include "gui_entry/module.h"
#include "runtime/stack.h"

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

const char* draw_source = R"(Vyr [Title: "draw"]
draw: func [
    "Draws scalable vector graphics to an image"
    image [image! pair!] "Image or size for an image"
    cmd [block!] "Draw commands"
    /transparent "Make a transparent image, if pair! spec is used"
][
    if pair! = type? image [
        image: either transparent [make image! reduce [image 0.0.0.255]] [make image! image]
    ]
    draw-image image cmd
    image
]
)";
}  // namespace

void init() {
  if (!routine::find("gui/draw-image")) {
    routine::register_("gui/draw-image", draw_image_routine);
  }
}

void install() {
  cell spec;
  // A result type keeps the interpreter from clearing the first argument before the call.
  const char* text = "[image [image!] cmd [block!] return: [unset!]]";
  boot::do_source(text, u32(std::strlen(text)), false, &spec);
  collector::root_guard g(&spec);
  cell* r = routine::push_named("gui/draw-image", &spec, false);
  cell w = word::intern("draw-image");
  set_type(&w, TYPE_SET_WORD);
  _context::set(&w, r);
  stack::top--;
  boot::do_source(draw_source, u32(std::strlen(draw_source)), true, nullptr);
}

}  // namespace vyr::draw
