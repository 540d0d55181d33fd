// The `menu` facet on the headless display: bars of windows, context menus, the `menu`
// event and its picked word; and a dialog opened by a `down` handler.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "boot/environment.h"
#include "gui/backend/events.h"
#include "gui/backend/file_dialogs.h"
#include "gui/backend/lifecycle.h"
#include "gui/backend/menus.h"
#include "gui/module.h"
#include "gui/win/headless/answers.h"
#include "gui/win/headless/display.h"
#include "gui/win/menus/menus.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/event.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "tests/unit/fixture.h"
#include "tests/unit/gui/gui_fixture.h"
#include "tests/unit/value_helpers.h"

namespace vyr::test {
using namespace vyr::gui;
namespace ev = vyr::event;

namespace {
// What the recorder saw: "type picked" per event.
std::vector<std::string> heard;
std::function<void(const std::string&)> during;

cell menu_recorder(const cell* e) {
  cell type, picked;
  ev::get_field(e, ev::F_TYPE, &type);
  std::string t = mold_text(type);
  ev::get_field(e, ev::F_PICKED, &picked);
  heard.push_back(t + " " + mold_text(picked));
  if (during) during(t);
  return cell{TYPE_NONE, 0, 0, 0};
}

std::vector<std::string> only(const std::string& type) {
  std::vector<std::string> out;
  for (auto& h : heard)
    if (h.rfind(type + " ", 0) == 0) out.push_back(h.substr(type.size() + 1));
  return out;
}
}  // namespace

class face_menus : public ::testing::Test {
 protected:
  win::headless_display* hd = nullptr;
  win::answer_queue* answers = nullptr;
  void SetUp() override {
    hd = start_gui_module();
    answers = dynamic_cast<win::answer_queue*>(win::dialogs::current());
    heard.clear();
    during = nullptr;
    awake = menu_recorder;
    quiet_errors = true;
    loop() = loop_state{};
  }
  void TearDown() override {
    awake = nullptr;
    during = nullptr;
    stop_gui_module();
  }
  cell run(const std::string& text) { return run_in_environment(text); }
  // A face kept by the word `name`, shown as the View engine shows it.
  win::HWND make(const std::string& name, const char* type, const std::string& facets, u32 parent = 0) {
    cell f = run(name + ": make object! [type: '" + type +
                 " offset: 10x10 size: 300x200 text: image: color: menu: data: none enabled?: true "
                 "visible?: true selected: none flags: options: parent: pane: none state: none rate: edge: "
                 "para: font: actors: extra: draw: none " + facets + "] " + name);
    collector::root_guard g(&f);
    u32 h = OS_make_view(&f, parent);
    run(name + "/state: reduce [none 0 none false]");
    cell* state = facet(&f, facet_index::state);
    cell st = *state;
    *block::rs_abs_at(&st, 0) = cell{TYPE_HANDLE, 3, h, 0xFFFFFFFFu};
    if (!parent) OS_show_window(win::HWND(h));
    return win::HWND(h);
  }
  void pump() { while (do_events(true)) {} }
};

TEST_F(face_menus, ABarOfASubmenuAndAnItemSendsThePickedWord) {
  win::HWND w = make("w", "window", R"(menu: ["File" ["Open" open "Save" save] "Quit" quit])");
  win::HMENU bar = win::GetMenu(w);
  ASSERT_TRUE(win::IsMenu(bar));
  EXPECT_EQ(win::menus::captions(bar), (std::vector<std::string>{"File", "Quit"}));
  EXPECT_EQ(win::menus::captions(win::GetSubMenu(bar, 0)), (std::vector<std::string>{"Open", "Save"}));
  win::RECT c;
  win::GetClientRect(w, c);
  EXPECT_EQ(c.height(), 200);   // the bar is in the frame
  ASSERT_TRUE(win::menus::play_bar_path(w, "File/Save"));
  pump();
  EXPECT_EQ(only("menu"), (std::vector<std::string>{"save"}));
  ASSERT_TRUE(win::menus::play_bar_path(w, "Quit"));
  pump();
  EXPECT_EQ(only("menu"), (std::vector<std::string>{"save", "quit"}));
}

TEST_F(face_menus, ItemsWithoutAWordSeparatorsAndSkippedValues) {
  // A caption with no word has data -1 (picked none); `---` takes a position; 5 is skipped.
  win::HWND w = make("w", "window", R"(menu: ["Sub" ["A" 5 "B" b ---  "C" c]])");
  win::HMENU sub = win::GetSubMenu(win::GetMenu(w), 0);
  EXPECT_EQ(win::menus::captions(sub), (std::vector<std::string>{"A", "B", "---", "C"}));
  EXPECT_EQ(menu_item_data(sub, 0), 0xFFFFFFFFu);
  win::MENUITEMINFO mi;
  mi.fMask = win::MIIM_ID;
  ASSERT_TRUE(win::GetMenuItemInfo(sub, 3, true, mi));
  EXPECT_EQ(mi.wID, 3u);   // its position, counting the separator
  ASSERT_TRUE(win::menus::play_bar_path(w, "Sub/A"));
  pump();
  ASSERT_TRUE(win::menus::play_bar_path(w, "Sub/C"));
  pump();
  EXPECT_EQ(only("menu"), (std::vector<std::string>{"none", "c"}));
}

TEST_F(face_menus, AMenuBlockHoldingItselfEnds) {
  run("loop-menu: copy [\"Again\"] append/only loop-menu loop-menu append loop-menu [\"Out\" out]");
  win::HWND w = make("w", "window", "menu: loop-menu");
  win::HMENU bar = win::GetMenu(w);
  // The block inside itself counts as none: a caption with no data.
  EXPECT_EQ(win::menus::captions(bar), (std::vector<std::string>{"Again", "Out"}));
  EXPECT_TRUE(is_null(win::GetSubMenu(bar, 0)));
  EXPECT_EQ(menu_item_data(bar, 0), 0xFFFFFFFFu);
  // Two levels down, the outer block met again counts as none too.
  run("outer: copy [\"In\"] inner: reduce [\"Deeper\" outer] append/only outer inner");
  win::HWND w2 = make("w2", "window", "menu: outer");
  win::HMENU in = win::GetSubMenu(win::GetMenu(w2), 0);
  ASSERT_TRUE(win::IsMenu(in));
  EXPECT_TRUE(is_null(win::GetSubMenu(in, 0)));
}

TEST_F(face_menus, AWordWithASymbolIdPast65535IsPickedWhole) {
  // Enough words that the last one's symbol lies past 16 bits (interned without a collection
  // each, so that the collector's stress run stays quick).
  {
    collector::no_collect hold;
    for (int i = 1; i <= 70000; i++) symbol::make(("menu-word-" + std::to_string(i)).c_str());
  }
  cell last = run("'menu-word-70000");
  ASSERT_GT(word::symbol_id(&last), 65535u);
  win::HWND w = make("w", "window", R"(menu: ["Far" menu-word-70000])");
  ASSERT_TRUE(win::menus::play_bar_path(w, "Far"));
  pump();
  EXPECT_EQ(only("menu"), (std::vector<std::string>{"menu-word-70000"}));
}

TEST_F(face_menus, PopupMakesAContextMenuNotABar) {
  win::HWND w = make("w", "window", R"(menu: [popup "Copy" copy "Paste" paste])");
  EXPECT_TRUE(is_null(win::GetMenu(w)));
  win::RECT c;
  win::GetClientRect(w, c);
  EXPECT_EQ(c.height(), 200);
  answers->queue_dialog({"menu", {"Paste"}});
  win::POINT at{50, 50};
  win::ClientToScreen(w, at);
  hd->click(at, 3);
  pump();
  EXPECT_EQ(only("alt-down").size(), 1u);
  EXPECT_EQ(only("menu"), (std::vector<std::string>{"paste"}));
  // The press went no further: the window procedure never saw it, and the release is an
  // `alt-up` of its own.
  EXPECT_EQ(answers->left(), 0u);
}

TEST_F(face_menus, ARightClickWithoutAMenuGoesOn) {
  win::HWND w = make("w", "window", "");
  win::HWND b = make("b", "base", "size: 100x100 color: 255.255.255", win::raw(w));
  // A base face with a context menu: alt-down, the menu, the item's event to the base face.
  win::HWND b2 = make("b2", "base", R"(offset: 150x10 size: 50x50 color: 255.255.255 menu: ["X" x "Y" y])", win::raw(w));
  pump();
  heard.clear();
  win::POINT p{5, 5};
  win::ClientToScreen(b, p);
  hd->click(p, 3);
  pump();
  EXPECT_EQ(only("alt-down").size(), 1u);
  EXPECT_TRUE(only("menu").empty());
  heard.clear();
  answers->queue_dialog({"menu", {"Y"}});
  win::POINT q{5, 5};
  win::ClientToScreen(b2, q);
  hd->click(q, 3);
  pump();
  EXPECT_EQ(only("alt-down").size(), 1u);
  EXPECT_EQ(only("menu"), (std::vector<std::string>{"y"}));
  // With no answer the menu is cancelled and says so; nothing is picked.
  heard.clear();
  hd->advance(1000000);   // not a double click
  testing::internal::CaptureStderr();
  hd->click(q, 3);
  pump();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "headless display: no answer queued for a menu dialog\n");
  EXPECT_TRUE(only("menu").empty());
}

TEST_F(face_menus, ChangingTheMenuFacetRebuildsOrRemovesTheBar) {
  win::HWND w = make("w", "window", R"(menu: ["A" a])");
  win::HMENU before = win::GetMenu(w);
  run(R"(w/menu: ["B" b "C" c])");
  cell f = run("w");
  cell* state = facet(&f, facet_index::state);
  cell st = *state;
  block::rs_abs_at(&st, 1)->data2 |= 1u << facet_index::menu;
  OS_update_view(&f);
  win::HMENU after = win::GetMenu(w);
  EXPECT_FALSE(win::IsMenu(before));
  EXPECT_EQ(win::menus::captions(after), (std::vector<std::string>{"B", "C"}));
  run("w/menu: none");
  f = run("w");
  st = *facet(&f, facet_index::state);
  block::rs_abs_at(&st, 1)->data2 |= 1u << facet_index::menu;
  OS_update_view(&f);
  EXPECT_TRUE(is_null(win::GetMenu(w)));
  EXPECT_FALSE(win::IsMenu(after));
  win::RECT c;
  win::GetClientRect(w, c);
  EXPECT_GT(c.height(), 200);   // the band went to the client area
}

TEST_F(face_menus, ADialogOpenedInADownHandlerLeavesNoCapture) {
  win::HWND w = make("w", "window", "");
  win::HWND b = make("b", "base", "size: 100x100 color: 255.255.255", win::raw(w));
  pump();
  answers->queue_dialog({"cancel", {}});
  answers->queue_dialog({"cancel", {}});
  during = [&](const std::string& type) {
    if (type != "down") return;
    cell out, none{TYPE_NONE, 0, 0, 0};
    OS_request_dir(&none, &none, false, &out);
  };
  win::POINT p{5, 5};
  win::ClientToScreen(b, p);
  hd->click(p);
  pump();
  EXPECT_TRUE(is_null(win::GetCapture()));
  // A window face's press goes no further either.
  win::POINT q{200, 150};
  win::ClientToScreen(w, q);
  hd->click(q);
  pump();
  EXPECT_TRUE(is_null(win::GetCapture()));
  EXPECT_EQ(answers->left(), 0u);
}

}  // namespace vyr::test
