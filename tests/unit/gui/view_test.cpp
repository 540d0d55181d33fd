// The View engine over the backend on the headless display, driven by real input: the
// `tab` handler moves the native focus, the `dragging` handler moves a face under the
// pointer and the window's next frame shows it there.
#include <gtest/gtest.h>

#include <string>

#include "gui/entry/module.h"
#include "gui/module.h"
#include "gui/win/headless/display.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/logic.h"
#include "tests/unit/gui/gui_fixture.h"

namespace vyr::test {

class view_engine : public headless_gui {
 protected:
  win::headless_display* hd = nullptr;
  void SetUp() override {
    headless_gui::SetUp();
    start();
    hd = static_cast<win::headless_display*>(win::current_display());
    // The GUI is linked into this program: its entry point installs the hooks the
    // module's loader would; its start-up takes this display (each test has a new one).
    vyr_gui_module_init();
    run("none");
    cell r{TYPE_NONE, 0, 0, 0};
    collector::root_guard g(&r);
    gui_module::table().gui_init(&r, 0);
    run("system/view/platform/refresh-screens");
  }
  void TearDown() override {
    run("unview/all");
    headless_gui::TearDown();
  }
  win::HWND handle(const std::string& face) {
    cell h = run(face + "/state/1");
    return win::HWND{type_of(&h) == TYPE_HANDLE ? handle::get(&h) : 0u};
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
};

TEST_F(view_engine, TabAndShiftTabMoveTheNativeFocusAndWrap) {
  run("mk: func [x] [make face! [type: 'base size: 20x20 offset: as-pair x 0 flags: 'focusable]]"
      "f1: mk 0 f2: mk 30 f3: make face! [type: 'base size: 20x20 offset: 60x0] f4: mk 90 "
      "w: make face! [type: 'window offset: 50x50 size: 200x100 pane: reduce [f1 f2 f3 f4]] "
      "view/no-wait w set-focus f1");
  pump();
  win::HWND h1 = handle("f1"), h2 = handle("f2"), h4 = handle("f4");
  ASSERT_TRUE(win::raw(h1) && win::raw(h2) && win::raw(h4));
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
  win::HWND top = handle("w");
  ASSERT_TRUE(win::raw(top));
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

}  // namespace vyr::test
