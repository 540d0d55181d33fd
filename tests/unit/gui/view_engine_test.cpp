// The View engine over the backend in this process, on two headless screens: what the
// window procedure hands the engine (a display change, a closed window) and what the
// engine hands the backend (a face moved to another window).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "boot/environment.h"
#include "gui/backend.h"
#include "gui/entry/module.h"
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
}

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
  cell run(const std::string& text) { return run_or_fail(text); }
  i32 number(const std::string& text) {
    cell r = run(text);
    return type_of(&r) == TYPE_INTEGER ? integer::get(&r) : -1;
  }
  bool yes(const std::string& text) {
    cell r = run(text);
    return type_of(&r) == TYPE_LOGIC && logic::get(&r);
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

}  // namespace vyr::test
