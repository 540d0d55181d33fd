// Window and panel faces on the headless display: their colour and `draw` block painted,
// the cursors their options ask for, the messages of sizing and state, DPI and display
// changes, caret faces and the input method's messages.
#include "tests/unit/gui/events_fixture.h"

#include "runtime/datatypes/handle.h"

namespace vyr::test {

class window_faces : public lifecycle {
 protected:
  // A face of `type` kept by the word `name`, made from `spec` over every facet's default.
  cell make(const std::string& name, const char* type, const std::string& spec) {
    return run(name + ": make object! [type: '" + type +
               " offset: 0x0 size: 100x100 text: image: color: menu: data: none enabled?: true "
               "visible?: true selected: flags: options: parent: pane: state: rate: edge: para: "
               "font: actors: extra: draw: none " + spec + "] " + name);
  }
  // Made and realised as `show` does, under `parent` (0: a top level), and painted.
  win::HWND shown(const cell& f, u32 parent = 0) {
    u32 h = OS_make_view(&f, parent);
    EXPECT_NE(h, 0u);
    realise(f, h);
    if (!parent) OS_show_window(win::HWND(h));
    pump();
    return win::HWND(h);
  }
  // The composed pixel of a top level at client (x, y), as the display was last shown it.
  u32 shown_pixel(win::HWND top_level, int x, int y) {
    cairo_surface_t* s = win::compose(top_level);
    cairo_surface_flush(s);
    u32 p = *reinterpret_cast<const u32*>(cairo_image_surface_get_data(s) +
                                          y * cairo_image_surface_get_stride(s) + x * 4);
    cairo_surface_destroy(s);
    return p;
  }
};

TEST_F(window_faces, WindowsAndPanelsPaintTheirColourAndDrawBlock) {
  cell w = make("w", "window", "size: 120x80 color: 0.0.255 draw: [pen off fill-pen 255.0.0 box 0x0 50x50]");
  win::HWND h = shown(w);
  EXPECT_EQ(surface_pixel(h, 10, 10), 0xFFFF0000u);   // the box
  EXPECT_EQ(surface_pixel(h, 100, 70), 0xFF0000FFu);  // the window's colour around it
  // A panel with a colour and a block, one with a colour only, one with neither.
  cell p1 = make("p1", "panel", "offset: 60x0 size: 40x40 color: 0.255.0 draw: [pen off fill-pen 255.255.0 box 0x0 10x10]");
  cell p2 = make("p2", "panel", "offset: 60x40 size: 20x20 color: 255.0.255");
  cell p3 = make("p3", "panel", "offset: 80x40 size: 20x20");
  win::HWND h1 = shown(p1, win::raw(h)), h2 = shown(p2, win::raw(h)), h3 = shown(p3, win::raw(h));
  (void)h3;
  EXPECT_EQ(surface_pixel(h1, 5, 5), 0xFFFFFF00u);
  EXPECT_EQ(surface_pixel(h1, 30, 30), 0xFF00FF00u);
  EXPECT_EQ(surface_pixel(h2, 10, 10), 0xFFFF00FFu);
  EXPECT_EQ(shown_pixel(h, 90, 50), 0xFF0000FFu);   // the colourless panel shows its window
  // A window without a colour is the panel colour of windows, its block drawn over it.
  cell bare = make("bare", "window", "offset: 300x0 draw: [pen off fill-pen 255.0.0 box 0x0 10x10]");
  win::HWND hb = shown(bare);
  EXPECT_EQ(surface_pixel(hb, 50, 50), 0xFFF0F0F0u);
  EXPECT_EQ(surface_pixel(hb, 5, 5), 0xFFFF0000u);
  // A new colour and a new block reach the window through its change mask.
  run("w/color: 0.128.0 w/draw: [pen off fill-pen 255.255.255 box 0x0 20x20]");
  push_change(w, facet_index::color);
  push_change(w, facet_index::draw);
  pump();
  EXPECT_EQ(surface_pixel(h, 10, 10), 0xFFFFFFFFu);
  EXPECT_EQ(surface_pixel(h, 40, 40), 0xFF008000u);
  // Without a block the colour is the window's background.
  run("w/draw: none");
  push_change(w, facet_index::draw);
  pump();
  EXPECT_EQ(surface_pixel(h, 10, 10), 0xFF008000u);
}

}  // namespace vyr::test
