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

// A window `w` at `at` holding a base face `o` at `owner_at`, whose caret a caret face `c`
// (2x12 at 10x5 in `o`) carries; answers the owner's window.
win::HWND with_caret(window_faces& t, const std::string& at, const std::string& owner_at) {
  win::HWND h = t.shown(t.make("w", "window", "offset: " + at + " size: 300x200"));
  win::HWND ho = t.shown(t.make("o", "base", "offset: " + owner_at + " size: 200x100 color: 255.255.255"),
                         win::raw(h));
  t.shown(t.make("c", "base", "offset: 10x5 size: 2x12 color: 0.0.0 options: reduce [quote caret: o]"),
          win::raw(ho));
  return ho;
}

TEST_F(window_faces, ACaretFaceCarriesTheCaretOfItsOwner) {
  win::HWND ho = with_caret(*this, "0x0", "0x0");
  cell c = run("c");
  auto caret = [] {
    win::POINT p;
    if (!win::GetCaretPos(p)) return std::string("none");
    return std::to_string(p.x) + "x" + std::to_string(p.y);
  };
  EXPECT_EQ(caret(), "10x5");
  EXPECT_TRUE(win::GetWindowLong(ho, gui::slot::flags) & WINDOW_OWNS_CARET);
  run("c/offset: 30x5");
  push_change(c, facet_index::offset);
  EXPECT_EQ(caret(), "30x5");
  run("c/visible?: false");
  push_change(c, facet_index::visible);
  EXPECT_EQ(caret(), "none");
  EXPECT_FALSE(win::GetWindowLong(ho, gui::slot::flags) & WINDOW_OWNS_CARET);
  run("c/offset: 40x17 c/visible?: true");
  push_change(c, facet_index::offset);
  push_change(c, facet_index::visible);
  EXPECT_EQ(caret(), "40x17");
}

TEST_F(window_faces, TheInputMethodsKeysAndCommittedTextReachTheCaretsOwner) {
  win::HWND ho = with_caret(*this, "100x100", "20x30");
  win::HWND h = win::GetParent(ho);
  // The input method is told to compose at the caret's foot, in the window's client area.
  EXPECT_EQ(hd->spot_top, h);
  EXPECT_EQ(hd->spot.x, 20 + 10);
  EXPECT_EQ(hd->spot.y, 30 + 5 + 12);
  win::SetFocus(ho);
  pump();
  seen.clear();
  hd->compose(true);
  hd->key(win::VK_PROCESSKEY, true);   // a key it takes while composing
  hd->key('N', false);
  pump();
  EXPECT_TRUE(loop().ime_active);
  hd->key(win::VK_PROCESSKEY, true, "\xE6\x97\xA5\xE6\x9C\xAC");   // it commits two characters
  hd->compose(false);
  pump();
  EXPECT_FALSE(loop().ime_active);
  auto t = types();
  EXPECT_EQ(t, (std::vector<std::string>{"key-up", "key", "key"}));
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(prefix(seen[1], "key #\"\xE6\x97\xA5\""), "key #\"\xE6\x97\xA5\"");
  EXPECT_EQ(prefix(seen[2], "key #\"\xE6\x9C\xAC\""), "key #\"\xE6\x9C\xAC\"");
  // A window that does not own the caret is not composing for it.
  win::SetFocus(h);
  hd->compose(true);
  pump();
  EXPECT_FALSE(loop().ime_active);
}

TEST_F(window_faces, GesturesReachTheFaceUnderThemWithTheirPlaceAndMeasure) {
  // Neither display reports touch: the gestures are injected as the system would send them.
  cell w = make("w", "window", "offset: 100x100 size: 300x200");
  win::HWND h = shown(w);
  shown(make("b", "base", "offset: 100x50 size: 80x60 color: 255.255.255"), win::raw(h));
  win::POINT o;
  win::ClientToScreen(h, o);
  hd->move({o.x + 120, o.y + 70});   // over the base face
  hd->gesture(win::GID_BEGIN);
  for (uint64_t distance : {100, 150, 120}) hd->gesture(win::GID_ZOOM, distance);
  hd->gesture(win::GID_END);
  hd->gesture(win::GID_BEGIN);
  hd->gesture(win::GID_ZOOM, 90);   // a new gesture has nothing to compare with
  hd->move({o.x + 10, o.y + 10});   // over the window itself
  hd->gesture(win::GID_PAN, 0x100000025u);
  hd->gesture(win::GID_ROTATE, 0xFFFFFFFFu);
  hd->gesture(win::GID_TWOFINGERTAP, 7);
  hd->gesture(win::GID_PRESSANDTAP, 8);
  hd->gesture(win::GID_END);
  seen.clear();
  pump();
  std::vector<std::string> got;
  for (auto& line : seen)
    if (prefix(line, "over") != "over") got.push_back(line.substr(0, line.rfind(' ')));
  EXPECT_EQ(got, (std::vector<std::string>{
                     "zoom none (20, 20) none", "zoom none (20, 20) 150%", "zoom none (20, 20) 80%",
                     "zoom none (20, 20) none", "pan none (10, 10) 37", "rotate none (10, 10) -1",
                     "two-tap none (10, 10) 7", "press-tap none (10, 10) 8"}));
  // A handle the layer no longer keeps names no gesture.
  win::GESTUREINFO g;
  EXPECT_FALSE(win::GetGestureInfo(12345678, g));
}

// Two screens side by side, as faces in system/view/screens.
class screen_faces : public window_faces {
 protected:
  void SetUp() override {
    screens = "1000x800+0+0@96,1000x800+1000+0@96";
    window_faces::SetUp();
  }
  void list_screens() {
    run("system/view/screens: make block! 2 system/view/platform/refresh-screens");
  }
};

TEST_F(screen_faces, ADpiChangeSizesTheWindowAndItsChildrenAnew) {
  list_screens();
  cell w = make("w", "window", "offset: 100x100 size: 200x100 parent: system/view/screens/1");
  run("append w/parent/pane w");
  win::HWND h = shown(w);
  cell p = make("p", "panel", "offset: 10x20 size: 50x40 color: 0.255.0");
  win::HWND hp = shown(p, win::raw(h));
  cell b = make("b", "base", "offset: 5x5 size: 20x10 color: 255.0.0");
  win::HWND hb = shown(b, win::raw(hp));
  run("p/pane: reduce [b] w/pane: reduce [p]");
  auto client = [](win::HWND x) {
    win::RECT r;
    win::GetClientRect(x, r);
    return std::to_string(r.width()) + "x" + std::to_string(r.height());
  };
  auto at = [&](win::HWND x) {
    win::POINT o{0, 0};
    win::MapWindowPoints(x, win::GetParent(x), &o, 1);
    return std::to_string(o.x) + "x" + std::to_string(o.y);
  };
  EXPECT_EQ(client(h) + " " + client(hp) + " " + at(hp) + " " + client(hb) + " " + at(hb),
            "200x100 50x40 10x20 20x10 5x5");
  seen.clear();
  hd->set_monitor_dpi(0, 192);
  pump();
  EXPECT_EQ(client(h) + " " + client(hp) + " " + at(hp) + " " + client(hb) + " " + at(hb),
            "400x200 100x80 20x40 40x20 10x10");
  EXPECT_EQ(form_text(run("reduce [w/size p/size b/size]")), "200x100 50x40 20x10");
  EXPECT_EQ(g().dpi_x, 192);
  win::LOGFONT lf;
  ASSERT_TRUE(win::GetObject(g().default_font, lf));
  EXPECT_EQ(lf.lfHeight, -24);   // 9 points at 192 DPI
  EXPECT_NE(std::find(types().begin(), types().end(), "resize"), types().end());
  EXPECT_EQ(shown_pixel(h, 20 + 10 + 2, 40 + 10 + 2), 0xFFFF0000u);   // the base face, drawn anew
  // On the other screen's monitor a DPI change moves the window to that screen's face.
  win::SetWindowPos(h, 0, 1200, 100, 0, 0, win::SWP_NOSIZE | win::SWP_NOZORDER);
  hd->set_monitor_dpi(1, 120);
  pump();
  EXPECT_EQ(form_text(run("reduce [same? w/parent system/view/screens/2 length? system/view/screens/1/pane "
                          "same? w first system/view/screens/2/pane]")),
            "true 0 true");
}

TEST_F(screen_faces, ADisplayChangeListsTheScreensAgainAndRedraws) {
  list_screens();
  cell w = make("w", "window", "offset: 100x100 size: 200x100 color: 0.0.255");
  win::HWND h = shown(w);
  EXPECT_EQ(form_text(run("reduce [length? system/view/screens system/view/screens/2/offset]")), "2 1000x0");
  std::vector<win::monitor> one(1);
  one[0].rect = {0, 0, 1600, 900};
  one[0].work = one[0].rect;
  hd->set_monitors(one);
  EXPECT_TRUE(win::GetUpdateRect(h, nullptr, false));   // to be drawn anew
  pump();
  EXPECT_EQ(form_text(run("reduce [length? system/view/screens system/view/screens/1/size]")), "1 1600x900");
  EXPECT_EQ(surface_pixel(h, 10, 10), 0xFF0000FFu);
}

}  // namespace vyr::test
