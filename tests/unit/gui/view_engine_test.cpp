// The View engine over the backend in this process, on two headless screens: what the
// window procedure hands the engine (a display change, a closed window, real keys and
// pointer moves for the `tab` and `dragging` handlers) and what the engine hands the
// backend (a face moved to another window).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "boot/environment.h"
#include "gui/backend/backend.h"
#include "gui_entry/module.h"
#include "gui/module.h"
#include "gui/win/headless/display.h"
#include "runtime/collector.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "tests/unit/fixture.h"
#include "tests/unit/gui/gui_fixture.h"

namespace vyr::test {

namespace {
constexpr const char* two_screens = "1920x1080+0+0@96,1280x1024+1920+0@96";
}  // namespace

class view_engine : public ::testing::Test {
 protected:
  win::headless_display* hd = nullptr;
  void SetUp() override {
    ensure_runtime();
    setenv("VYR_HEADLESS_SCREENS", two_screens, 1);
    boot::build_environment();
    if (!gui_module::loaded()) gui_module::adopt(vyr_gui_module_init);
    // The first platform routine starts the backend once; a test before may have ended it.
    run("system/view/platform/make-null-handle");
    if (!win::current_display()) {
      cell r{TYPE_NONE, 0, 0, 0};
      gui_module::table().gui_init(&r, 0);
      run("system/view/platform/refresh-screens");
    }
    hd = static_cast<win::headless_display*>(win::current_display());
  }
  void TearDown() override {
    run("unview/all");
    gui::shutdown();
    unsetenv("VYR_HEADLESS_SCREENS");
  }
  cell run(const std::string& text) { return run_reporting(text); }
  i32 number(const std::string& text) {
    cell r = run(text);
    return type_of(&r) == TYPE_INTEGER ? integer::get(&r) : -1;
  }
  bool yes(const std::string& text) {
    cell r = run(text);
    return type_of(&r) == TYPE_LOGIC && logic::get(&r);
  }
  void pump() { run("loop 10 [do-events/no-wait]"); }
  void press(u32 vk, bool shift = false) {
    if (shift) hd->key(win::VK_SHIFT, true, "", win::key_side::left);
    hd->key(vk, true);
    hd->key(vk, false);
    if (shift) hd->key(win::VK_SHIFT, false, "", win::key_side::left);
    pump();
  }
  win::HWND window_of(const std::string& face) {
    cell h = run(face + "/state/1");
    return win::HWND(type_of(&h) == TYPE_HANDLE ? handle::get(&h) : 0);
  }
};

TEST_F(view_engine, ADisplayChangeRefreshesTheScreens) {
  run("w: view/no-wait make face! [type: 'window size: 100x100] second-screen: system/view/screens/2");
  ASSERT_EQ(number("length? system/view/screens"), 2);
  hd->set_monitors(*win::headless_display::parse_screens("1920x1080+0+0@96"));
  EXPECT_EQ(number("length? system/view/screens"), 1);
  EXPECT_TRUE(yes("same? w/parent system/view/screens/1"));
  hd->set_monitors(*win::headless_display::parse_screens(two_screens));
  EXPECT_EQ(number("length? system/view/screens"), 2);
  // The screen that came back is a face of its own again.
  EXPECT_FALSE(yes("same? second-screen system/view/screens/2"));
}

TEST_F(view_engine, ClosingItsWindowEndsABlockingView) {
  run("w: make face! [type: 'window size: 100x100]");
  hd->script([&] { hd->close(window_of("w")); });
  hd->script([] {}, 1000000);   // left for later: the loop must end by the close, not idle
  run("view w");
  EXPECT_EQ(hd->script_left(), 1u);
  EXPECT_TRUE(yes("none? w/state"));
  EXPECT_TRUE(yes("system/view/platform/all-windows-closed?"));
}

TEST_F(view_engine, AFaceMovedToAnotherWindowsPaneMovesItsWindow) {
  run("a: view/no-wait make face! [type: 'window size: 100x100 offset: 10x10 pane: reduce [f: make face! [type: 'base size: 10x10]]]"
      " b: view/no-wait make face! [type: 'window size: 100x100 offset: 300x10 pane: copy []]");
  win::HWND face = window_of("f");
  ASSERT_FALSE(win::is_null(face));
  EXPECT_EQ(win::GetParent(face), window_of("a"));
  run("move find a/pane f tail b/pane");
  EXPECT_EQ(win::GetParent(face), window_of("b"));
  EXPECT_TRUE(yes("same? f/parent b"));
  EXPECT_TRUE(win::IsWindowVisible(face));
}

TEST_F(view_engine, TabAndShiftTabMoveTheNativeFocusAndWrap) {
  run("mk: func [x] [make face! [type: 'base size: 20x20 offset: as-pair x 0 flags: 'focusable]]"
      "f1: mk 0 f2: mk 30 f3: make face! [type: 'base size: 20x20 offset: 60x0] f4: mk 90 "
      "w: make face! [type: 'window offset: 50x50 size: 200x100 pane: reduce [f1 f2 f3 f4]] "
      "view/no-wait w set-focus f1");
  pump();
  win::HWND h1 = window_of("f1"), h2 = window_of("f2"), h4 = window_of("f4");
  ASSERT_FALSE(win::is_null(h1) || win::is_null(h2) || win::is_null(h4));
  EXPECT_EQ(win::GetFocus(), h1);
  press(win::VK_TAB);
  EXPECT_EQ(win::GetFocus(), h2);
  EXPECT_TRUE(yes("same? w/selected f2"));
  press(win::VK_TAB);   // f3 is not focusable
  EXPECT_EQ(win::GetFocus(), h4);
  press(win::VK_TAB);   // around to the first
  EXPECT_EQ(win::GetFocus(), h1);
  press(win::VK_TAB, true);   // and back to the last
  EXPECT_EQ(win::GetFocus(), h4);
  press(win::VK_TAB, true);
  EXPECT_EQ(win::GetFocus(), h2);
}

TEST_F(view_engine, APointerDragMovesABaseFaceAndTheFrameShowsItThere) {
  run("d: make face! [type: 'base size: 20x20 offset: 10x10 color: 255.0.0 "
      "options: [drag-on: 'down]] "
      "w: make face! [type: 'window offset: 100x100 size: 200x150 color: 255.255.255 "
      "pane: reduce [d]] view/no-wait w");
  pump();
  win::HWND top = window_of("w");
  ASSERT_FALSE(win::is_null(top));
  EXPECT_EQ(hd->pixel(top, 20, 20), 0xFFFF0000u);
  win::POINT p{15, 15};
  win::ClientToScreen(top, p);
  hd->move(p);
  hd->button(1, true);
  pump();
  EXPECT_TRUE(yes("block? d/state/4"));
  for (int step = 1; step <= 3; step++) {
    hd->move(win::POINT{p.x + 10 * step, p.y + 7 * step});
    pump();
  }
  hd->button(1, false);
  pump();
  EXPECT_TRUE(yes("40x31 = to-pair d/offset"));
  EXPECT_TRUE(yes("none? d/state/4"));
  EXPECT_TRUE(yes("none? d/flags"));
  // The kept frame: the face at its new place, the old place uncovered.
  EXPECT_EQ(hd->pixel(top, 50, 40), 0xFFFF0000u);
  EXPECT_NE(hd->pixel(top, 15, 15), 0xFFFF0000u);
  // A move after the release moves nothing.
  hd->move(win::POINT{p.x + 60, p.y + 60});
  pump();
  EXPECT_TRUE(yes("40x31 = to-pair d/offset"));
}

TEST_F(view_engine, AViewedLayoutOfBaseAndPanelFacesPresentsItsFrame) {
  run("w: view/no-wait layout [base 20x20 255.0.0 "
      "p: panel [base 30x30 0.0.255] below base 20x10 0.255.0]");
  pump();
  win::HWND top = window_of("w");
  ASSERT_FALSE(win::is_null(top));
  // The base at the origin, the panel after the spacing with its own base at its origin,
  // and the column below the row.
  EXPECT_TRUE(yes("40x10 = p/offset"));
  EXPECT_EQ(hd->pixel(top, 15, 15), 0xFFFF0000u);
  EXPECT_EQ(hd->pixel(top, 29, 29), 0xFFFF0000u);
  EXPECT_EQ(hd->pixel(top, 55, 25), 0xFF0000FFu);
  EXPECT_EQ(hd->pixel(top, 79, 49), 0xFF0000FFu);
  // The gap between them shows the window's background.
  EXPECT_EQ(hd->pixel(top, 35, 15), hd->pixel(top, 95, 15));
  EXPECT_NE(hd->pixel(top, 35, 15), 0xFFFF0000u);
  EXPECT_TRUE(yes("100x10 = w/pane/3/offset"));
  EXPECT_EQ(hd->pixel(top, 105, 15), 0xFF00FF00u);
}

// A scrollable face the backend draws has its bars from its creation, before any scroller
// of it is set; a face without the flag has none.
TEST_F(view_engine, AScrollableFaceShowsItsBarsFromItsCreation) {
  run("w: view/no-wait layout [b: base 100x100 scrollable r: rich-text 100x100 scrollable "
      "p: panel 100x100 scrollable [] c: base 100x100]");
  for (const char* face : {"b", "r", "p"}) {
    win::HWND h = window_of(face);
    ASSERT_FALSE(win::is_null(h)) << face;
    EXPECT_TRUE(win::scroll_bar_shown(h, win::SB_VERT)) << face;
    EXPECT_TRUE(win::scroll_bar_shown(h, win::SB_HORZ)) << face;
  }
  EXPECT_FALSE(win::scroll_bar_shown(window_of("c"), win::SB_VERT));
}

TEST_F(view_engine, AWindowShownWithoutWaitingIsPaintedWhileTheScriptWaits) {
  run("w: view/no-wait layout [b: base 40x40 255.0.0]");
  win::HWND top = window_of("w");
  ASSERT_FALSE(win::is_null(top));
  EXPECT_EQ(hd->pixel(top, 20, 20), 0xFFFF0000u);
  // What the window showed at each moment inside the wait, from its first sleep on: the
  // change made just before the wait, painted at once.
  std::vector<u32> shown;
  looking_store store([&] { shown.push_back(hd->pixel(top, 20, 20)); });
  clipboard::install(&store);
  run("b/color: 0.0.255 wait 0.05");
  clipboard::install(nullptr);
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.front(), 0xFF0000FFu);
  EXPECT_EQ(shown.back(), 0xFF0000FFu);
  EXPECT_TRUE(yes("none? wait 0"));
}

TEST_F(view_engine, ACursorNamedInALayoutReachesTheBackend) {
  // The lit-word the layout is written with reaches the backend as a word.
  run("w: view/no-wait layout [b: base cursor 'hand c: base]");
  pump();
  win::HWND b = window_of("b"), c = window_of("c");
  ASSERT_FALSE(win::is_null(b) || win::is_null(c));
  EXPECT_EQ(win::extra(b)->cursor,
            static_cast<u32>(win::LoadCursor(win::IDC_HAND)) | gui::CURSOR_FROM_OPTION);
  EXPECT_EQ(win::extra(c)->cursor, 0u);
}

}  // namespace vyr::test
