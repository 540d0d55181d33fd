// Window and panel faces on the headless display: their colour and `draw` block painted,
// the cursors their options ask for, the messages of sizing and state, DPI and display
// changes, caret faces and the input method's messages.
#include "tests/unit/gui/events_fixture.h"

#include "runtime/datatypes/handle.h"

namespace vyr::test {

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

TEST_F(window_faces, ThePointerTakesTheCursorOfTheFaceUnderIt) {
  cell w = make("w", "window", "offset: 100x100 size: 200x100 options: [cursor: hand]");
  win::HWND h = shown(w);
  // A base face with an image for a cursor: its pixels, the hot spot at its centre.
  cell b = make("b", "base", "offset: 100x0 size: 50x50 color: 255.255.255 "
                "options: compose [cursor: (make image! [6x4 255.0.0])]");
  win::HWND hb = shown(b, win::raw(h));
  cell p = make("p", "panel", "offset: 0x60 size: 40x40");   // no cursor of its own
  shown(p, win::raw(h));
  win::POINT origin;
  win::ClientToScreen(h, origin);
  auto over = [&](int x, int y) {
    hd->move({origin.x + x, origin.y + y});
    pump();
    return win::GetCursor();
  };
  EXPECT_EQ(over(20, 20), win::LoadCursor(win::IDC_HAND));
  EXPECT_EQ(hd->cursor(), win::LoadCursor(win::IDC_HAND));   // the display shows it
  win::HCURSOR image = over(120, 20);
  EXPECT_EQ(win::cursor_shape(image), 0u);
  int cw, ch, hx, hy;
  std::vector<uint32_t> px;
  ASSERT_TRUE(win::cursor_image(image, cw, ch, hx, hy, px));
  EXPECT_EQ(std::vector<int>({cw, ch, hx, hy}), std::vector<int>({6, 4, 3, 2}));
  EXPECT_EQ(px[0], 0xFFFF0000u);
  EXPECT_EQ(over(10, 80), win::LoadCursor(win::IDC_ARROW));   // the panel's class cursor
  EXPECT_EQ(over(20, 20), win::LoadCursor(win::IDC_HAND));
  // New options choose again, and the image cursor goes with its face.
  run("w/options: [cursor: I-beam]");
  push_change(w, facet_index::options);
  EXPECT_EQ(over(21, 20), win::LoadCursor(win::IDC_IBEAM));
  free_face(&b, false);
  EXPECT_FALSE(win::cursor_image(image, cw, ch, hx, hy, px));
  (void)hb;
}

TEST_F(window_faces, SizeMessagesGiveResizeByTheSizingUnderWayAndTheState) {
  cell w = make("w", "window", "offset: 50x50 size: 300x200 flags: [resize]");
  win::HWND h = shown(w);
  struct { bool interactive; win::WPARAM kind; int resizes; const char* size; } rows[] = {
      {false, win::SIZE_RESTORED, 2, "150x90"},
      {true, win::SIZE_RESTORED, 1, "151x90"},    // the user's sizing ends in a `resize` of its own
      {false, win::SIZE_MAXIMIZED, 2, "152x90"},
      {true, win::SIZE_MAXIMIZED, 2, "153x90"},
      {false, win::SIZE_MINIMIZED, 0, "153x90"},  // a minimised window keeps its size
  };
  int n = 0;
  for (auto& r : rows) {
    seen.clear();
    loop().in_size_move = r.interactive;
    win::SendMessage(h, win::WM_SIZE, r.kind, win::MAKELPARAM(150 + n++, 90));
    loop().in_size_move = false;
    auto t = types();
    EXPECT_EQ(std::count(t.begin(), t.end(), "resize"), r.resizes) << r.interactive << " " << r.kind;
    EXPECT_EQ(form_text(run("w/size")), r.size) << r.interactive << " " << r.kind;
  }
  // A new state is told with the size and offset it brings; `resize` follows.
  std::string at_maximize;
  on_event = [&](const std::string& type) {
    if (type == "maximize") at_maximize = form_text(run("w/size"));
  };
  seen.clear();
  hd->set_state(h, win::SW_MAXIMIZE);
  pump();
  win::RECT c;
  win::GetClientRect(h, c);
  EXPECT_EQ(at_maximize, std::to_string(c.width()) + "x" + std::to_string(c.height()));
  auto t = types();
  ASSERT_FALSE(t.empty());
  EXPECT_EQ(t.front(), "maximize");
  EXPECT_EQ(std::count(t.begin(), t.end(), "resize"), 2);
  on_event = nullptr;
  seen.clear();
  hd->set_state(h, win::SW_MINIMIZE);
  pump();
  EXPECT_EQ(types(), std::vector<std::string>{"minimize"});
  EXPECT_EQ(form_text(run("w/size")), std::to_string(c.width()) + "x" + std::to_string(c.height()));
}

}  // namespace vyr::test
