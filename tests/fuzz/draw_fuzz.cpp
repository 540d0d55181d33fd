// Fuzz target for DRAW and SHAPE: the bytes pick tokens from the dialects' vocabulary
// (keywords, points, numbers, colours, nested blocks, lit-words, set-words) into a block
// that is drawn onto a 32x32 image. Any block must draw or raise a language error, never
// crash, hang or touch memory outside the image. The drawing code is linked in, as in the GUI
// module, so that the inputs reach it.
#include <cstdint>
#include <string>

#include "boot/environment.h"
#include "gui/draw/draw.h"
#include "gui_entry/module.h"
#include "runtime/api/host.h"
#include "runtime/fire.h"

using namespace vyr;

namespace {
const char* const words[] = {
    "line", "triangle", "polygon", "box", "circle", "ellipse", "arc", "curve", "spline",
    "text", "pen", "fill-pen", "line-width", "line-join", "line-cap", "line-pattern",
    "anti-alias", "image img", "shadow", "clip", "shape", "rotate", "scale", "translate",
    "skew", "transform", "matrix", "reset-matrix", "invert-matrix", "push", "closed", "off",
    "linear", "radial", "diamond", "pad", "repeat", "reflect", "pattern", "bitmap img",
    "flip-x", "flip-y", "flip-xy", "clamp", "tile", "border", "crop", "inset", "intersect",
    "move", "hline", "vline", "curv", "qcurve", "qcurv", "close", "sweep", "large", "'line",
    "'move", "'curve", "'arc", "'hline", "'pen", "'fill-pen", "round", "bevel", "square",
    "img", "foo", "x:", "fnt", "(rt)", "(fnt)"};
const char* const values[] = {"0x0", "31x31", "-5x40", "16x8", "1000000x-1000000", "(1.5, 2.5)",
                              "(1e30, -1e30)", "0", "1", "-3", "45", "2.5", "0.0", "1e300",
                              "50%", "255.0.0", "0.0.255.128", "1.2.3.4", "\"Hi\"", "[]"};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool ready = [] {
    boot::build_environment();
    // This program links the drawing code: no module to load.
    api::bind(&gui_module::host_api());
    draw::install_hooks();
    const char* setup =
        "img: make image! 3x2 fnt: make object! [name: \"Arial\" size: 12 style: [bold] "
        "color: none] rt: make object! [text: \"a😀b\" data: [1x2 bold 2x5 255.0.0 "
        "backdrop 0.0.255] size: 20x10 color: 1.1.1 font: none]";
    cell r;
    boot::do_source(setup, u32(std::char_traits<char>::length(setup)), false, &r);
    return true;
  }();
  (void)ready;
  if (size > 400) return 0;
  std::string src = "draw 32x32 compose/deep [";
  int depth = 0;
  for (size_t i = 0; i < size; i++) {
    uint8_t b = data[i];
    if (b < 8 && depth < 6) {
      src += " [";
      depth++;
    } else if (b < 14 && depth > 0) {
      src += "] ";
      depth--;
    } else if (b < 140) {
      src += ' ';
      src += words[b % (sizeof words / sizeof *words)];
    } else {
      src += ' ';
      src += values[b % (sizeof values / sizeof *values)];
    }
  }
  while (depth-- > 0) src += "]";
  src += "]";
  try {
    cell r;
    boot::do_source(src.data(), u32(src.size()), false, &r);
  } catch (const thrown&) {
  }
  return 0;
}
