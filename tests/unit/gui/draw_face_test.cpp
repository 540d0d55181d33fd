// DRAW on a window's surface, on the headless display: the face's colour first, the block
// in 96-DPI units at the window's DPI, and the DPI scope left only when it was entered.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "boot/environment.h"
#include "gui/backend/draw_face.h"
#include "gui/win/headless/display.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/handle.h"
#include "runtime/fire.h"
#include "tests/unit/gui/gui_fixture.h"

namespace vyr::test {
using namespace vyr::gui;

class draw_face : public headless_gui {
 protected:
  // A window with a base face of the colour, and its pixel (x, y) as 0xAARRGGBB.
  win::HWND window(int x, int w, int h, cell* face) {
    win::HWND hwnd = win::CreateWindowEx(0, "Plain", "", win::WS_POPUP | win::WS_VISIBLE, x, 0, w, h,
                                         win::HWND{}, win::HMENU{}, nullptr);
    *face = run(
        "make object! [type: 'base offset: size: text: image: none color: 0.0.255 menu: data: "
        "enabled?: visible?: selected: none flags: options: parent: none pane: [] state: [0 0 none "
        "false] rate: edge: para: font: actors: extra: draw: facet-23: facet-24: none]");
    handle::make_at(block::rs_abs_at(facet(face, facet_index::state), 0), win::raw(hwnd), HANDLE_WINDOW);
    attach_face(hwnd, face);
    return hwnd;
  }
  static u32 pixel(win::HWND h, int x, int y) {
    cairo_surface_t* s = win::window_surface(h);
    cairo_surface_flush(s);
    u32 p;
    std::memcpy(&p, cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s) + x * 4, 4);
    return p;
  }
};

TEST_F(draw_face, TheBlockDrawsInLogicalUnitsOverTheFaceColour) {
  start("1000x1000+0+0@96,1000x1000+1000+0@192");
  for (int screen = 0; screen < 2; screen++) {
    cell face;
    win::HWND h = window(screen ? 1100 : 100, 40, 40, &face);
    collector::root_guard fg(&face);
    cell block = run("[pen off fill-pen 255.0.0 box 0x0 10x10]");
    collector::root_guard gb(&block);
    set_dpi(96);
    run_draw(h, &block, false);
    int scale = screen ? 2 : 1;
    EXPECT_EQ(pixel(h, 5, 5), 0xFFFF0000u);
    EXPECT_EQ(pixel(h, 10 * scale - 1, 10 * scale - 1), 0xFFFF0000u) << screen;
    EXPECT_EQ(pixel(h, 10 * scale + 1, 10 * scale + 1), 0xFF0000FFu) << screen;
    EXPECT_EQ(g().scope_depth, 0);  // the scope was left
  }
}

TEST_F(draw_face, ErrorsArePrintedWithCatchAndRaisedWithout) {
  start("1000x1000+0+0@96");
  cell face;
  win::HWND h = window(100, 20, 20, &face);
  collector::root_guard fg(&face);
  cell block = run("[pen off fill-pen 255.0.0 box 0x0 5x5 foo]");
  collector::root_guard gb(&block);
  EXPECT_NO_THROW(run_draw(h, &block, true));
  EXPECT_EQ(pixel(h, 2, 2), 0xFFFF0000u);  // drawn before the error
  EXPECT_THROW(run_draw(h, &block, false), thrown);
  EXPECT_EQ(g().scope_depth, 0);
}

TEST_F(draw_face, AnEndWithoutABegunScopeKeepsTheDpi) {
  start("1000x1000+0+0@96");
  set_dpi(120);
  window_run r;
  draw_end(r);  // draw-begin never ran
  EXPECT_EQ(g().dpi_x, 120);
  EXPECT_EQ(g().scope_depth, 0);
}

TEST_F(draw_face, ThePaintRunServesEachDrawFaceCallAndPrintsErrors) {
  start("1000x1000+0+0@96");
  cell face;
  win::HWND h = window(100, 40, 20, &face);
  collector::root_guard fg(&face);
  cell line1 = run("[pen 0.0.0 fill-pen 255.0.0 pen off box 0x0 10x10]");
  collector::root_guard g1(&line1);
  cell line2 = run("[fill-pen 0.255.0 box 10x0 20x10 foo box 20x0 30x10]");
  collector::root_guard g2(&line2);
  window_run r;
  ASSERT_TRUE(draw_begin(r, h));
  set_paint_run(h, &r);
  EXPECT_EQ(paint_run(h), &r);
  OS_draw_face(h, &line1);
  EXPECT_NO_THROW(OS_draw_face(h, &line2));  // printed and dropped
  set_paint_run(h, nullptr);
  OS_draw_face(h, &line1);  // no paint in progress: nothing
  draw_end(r);
  EXPECT_EQ(paint_run(h), nullptr);
  EXPECT_EQ(pixel(h, 5, 5), 0xFFFF0000u);
  EXPECT_EQ(pixel(h, 15, 5), 0xFF00FF00u);
  EXPECT_EQ(pixel(h, 25, 5), 0xFF0000FFu);  // after the error: the face colour
}

}  // namespace vyr::test
