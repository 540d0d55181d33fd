// Faces on a real X server (a private Xvfb): what the server shows of them, read back from a
// second connection. Skipped, with a message, when Xvfb is not installed.
#include "tests/unit/gui/events_fixture.h"

#include <algorithm>
#include <chrono>
#include <memory>

#include "runtime/datatypes/handle.h"

// After gtest (the fixture): the X headers define macros its templates use as names.
#include "gui/win/x11/display.h"
#include "tests/unit/xvfb.h"

#include <X11/Xlib.h>
#include <X11/cursorfont.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/Xrandr.h>

namespace vyr::test {

namespace {
std::unique_ptr<xvfb> server;
}  // namespace

class x11_faces : public window_faces {
 protected:
  win::x11_display* xd = nullptr;
  Display* other = nullptr;

  static void SetUpTestSuite() {
    if (!have_program("Xvfb")) return;
    server = std::make_unique<xvfb>();
    server->screen = "800x600x24";
    if (!server->start()) server.reset();
  }
  static void TearDownTestSuite() { server.reset(); }

  void SetUp() override {
    if (!have_program("Xvfb")) GTEST_SKIP() << "Xvfb is not installed: faces on X11 are not tested";
    ASSERT_TRUE(server) << "Xvfb did not start";
    ensure_runtime();
    gui::shutdown();
    auto d = win::x11_display::open(server->display.c_str());
    ASSERT_TRUE(d);
    xd = d.get();
    win::install(std::move(d));
    window_faces::SetUp();   // the GUI starts on the display installed
    other = XOpenDisplay(server->display.c_str());
    ASSERT_TRUE(other);
  }
  void TearDown() override {
    if (other) XCloseDisplay(other);
    window_faces::TearDown();
  }
  // Runs the loop until `done` or `ms` of real time.
  template <class F>
  bool run_until(F done, int ms = 5000) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    uintptr_t t = win::SetTimer(win::HWND{}, 0, 20);
    bool ok = false;
    while (std::chrono::steady_clock::now() < until) {
      if (done()) { ok = true; break; }
      do_events(true);
      win::WaitMessage();
    }
    win::KillTimer(win::HWND{}, t);
    return ok;
  }
  // The cursor the server shows at the pointer.
  struct shown_cursor {
    int w = 0, h = 0, hx = 0, hy = 0;
    std::vector<unsigned long> px;
    bool operator==(const shown_cursor&) const = default;
  };
  shown_cursor pointer_cursor() {
    shown_cursor c;
    if (XFixesCursorImage* img = XFixesGetCursorImage(other)) {
      c = {img->width, img->height, img->xhot, img->yhot,
           std::vector<unsigned long>(img->pixels, img->pixels + size_t(img->width) * img->height)};
      XFree(img);
    }
    return c;
  }
  void warp(int x, int y) {
    XWarpPointer(other, 0, DefaultRootWindow(other), 0, 0, 0, 0, x, y);
    XSync(other, False);
  }
};

TEST_F(x11_faces, ThePointerShowsTheCursorOfTheFaceUnderIt) {
  // What the server shows for the hand and the arrow, from windows of another client.
  auto reference = [&](unsigned shape, int x) {
    Window r = XCreateSimpleWindow(other, DefaultRootWindow(other), x, 400, 40, 40, 0, 0, 0);
    XDefineCursor(other, r, XCreateFontCursor(other, shape));
    XMapWindow(other, r);
    XSync(other, False);
    warp(x + 20, 420);
    shown_cursor c;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while ((c = pointer_cursor()).px.empty() && std::chrono::steady_clock::now() < until) {}
    return c;
  };
  shown_cursor hand = reference(XC_hand2, 300), arrow = reference(XC_left_ptr, 400);
  ASSERT_FALSE(hand == arrow);
  cell w = make("w", "window", "offset: 20x20 size: 200x100 options: [cursor: hand]");
  win::HWND h = shown(w);
  cell b = make("b", "base", "offset: 100x0 size: 50x50 color: 255.255.255 "
                "options: compose [cursor: (make image! [6x4 255.0.0])]");
  shown(b, win::raw(h));
  ASSERT_TRUE(run_until([&] { return xd->mapped(h); }));
  win::POINT o;
  win::ClientToScreen(h, o);
  warp(o.x + 20, o.y + 20);
  EXPECT_TRUE(run_until([&] { return pointer_cursor() == hand; })) << "no hand over the window";
  warp(o.x + 120, o.y + 20);
  shown_cursor image;
  EXPECT_TRUE(run_until([&] { return (image = pointer_cursor()).w == 6; })) << "no image cursor";
  EXPECT_EQ(std::vector<int>({image.w, image.h, image.hx, image.hy}), std::vector<int>({6, 4, 3, 2}));
  ASSERT_EQ(image.px.size(), 24u);
  EXPECT_EQ(image.px[0] & 0xFFFFFFFFu, 0xFFFF0000u);
  warp(o.x + 20, o.y + 80);
  EXPECT_TRUE(run_until([&] { return pointer_cursor() == hand; }));
}

TEST_F(x11_faces, AWindowShownWithoutWaitingIsDrawnWhileTheScriptWaits) {
  run("system/view/screens: make block! 2 system/view/platform/refresh-screens "
      "w: view/no-wait layout [base 40x40 255.0.0]");
  cell hc = run("w/state/1");
  ASSERT_EQ(type_of(&hc), u32(TYPE_HANDLE));
  win::POINT o{20, 20};
  win::ClientToScreen(win::HWND(handle::get(&hc)), o);
  // What the server showed there at each moment inside the wait.
  std::vector<unsigned long> shown;
  looking_store store([&] {
    if (XImage* img = XGetImage(other, DefaultRootWindow(other), o.x, o.y, 1, 1, AllPlanes, ZPixmap)) {
      shown.push_back(XGetPixel(img, 0, 0) & 0xFFFFFF);
      XDestroyImage(img);
    }
  });
  clipboard::install(&store);
  run("wait 0.5");
  clipboard::install(nullptr);
  EXPECT_NE(std::find(shown.begin(), shown.end(), 0xFF0000u), shown.end())
      << "the window is not drawn while the script waits";
}

TEST_F(x11_faces, AScreenChangeThroughXRandRListsTheScreensAgain) {
  run("system/view/screens: make block! 2 system/view/platform/refresh-screens");
  EXPECT_EQ(form_text(run("system/view/screens/1/size")), "800x600");
  cell w = make("w", "window", "offset: 20x20 size: 200x100");
  win::HWND h = shown(w);
  ASSERT_TRUE(run_until([&] { return xd->mapped(h); }));
  // The screen's size set anew (Xvfb can only take its own size back, but the server tells
  // every client all the same): the screen faces are made again from what the monitors say,
  // which puts back the size spoilt here.
  run("system/view/screens/1/size: 1x1");
  XRRSetScreenSize(other, DefaultRootWindow(other), 800, 600, 212, 159);
  XSync(other, False);
  EXPECT_TRUE(run_until([&] { return form_text(run("system/view/screens/1/size")) == "800x600"; }));
}

}  // namespace vyr::test
