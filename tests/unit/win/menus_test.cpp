// Menus on the headless display: the objects, the bar in the frame, and the modal loop
// driven by injected input, with the messages the owner hears in Win32's order.
#include "gui/win/menus/menus.h"
#include "tests/unit/win/win_fixture.h"

#include <string>

namespace vyr::win::test {

namespace {

HMENU menu_of(bool popup, std::initializer_list<const char*> captions) {
  HMENU m = popup ? CreatePopupMenu() : CreateMenu();
  uint32_t pos = 0;
  for (const char* c : captions) {
    MENUITEMINFO mi;
    if (std::string(c) == "---") {
      mi.fMask = MIIM_FTYPE | MIIM_DATA | MIIM_ID;
      mi.fType = MFT_SEPARATOR;
    } else {
      mi.fMask = MIIM_ID | MIIM_DATA | MIIM_STRING;
      mi.dwTypeData = c;
    }
    mi.wID = pos;
    mi.dwItemData = 1000 + pos;
    InsertMenuItem(m, pos++, true, mi);
  }
  return m;
}

void add_sub(HMENU m, const char* caption, HMENU sub) {
  MENUITEMINFO mi;
  mi.fMask = MIIM_ID | MIIM_DATA | MIIM_STRING | MIIM_SUBMENU;
  mi.dwTypeData = caption;
  mi.hSubMenu = sub;
  mi.wID = uint32_t(GetMenuItemCount(m));
  InsertMenuItem(m, uint32_t(GetMenuItemCount(m)), true, mi);
}

POINT centre(RECT r) { return POINT{r.left + r.width() / 2, r.top + r.height() / 2}; }

// The menu messages the recorder saw, in order, as text.
std::string menu_trace() {
  std::string out;
  for (auto& s : g_seen) {
    char buf[64];
    switch (s.msg) {
      case WM_ENTERMENULOOP: std::snprintf(buf, sizeof buf, "enter(%d) ", int(s.wp)); break;
      case WM_EXITMENULOOP: std::snprintf(buf, sizeof buf, "exit(%d) ", int(s.wp)); break;
      case WM_MENUSELECT:
        if (s.wp == 0xFFFF0000u) std::snprintf(buf, sizeof buf, "closed ");
        else std::snprintf(buf, sizeof buf, "select(%d) ", int(s.wp & 0xFFFF));
        break;
      case WM_COMMAND: std::snprintf(buf, sizeof buf, "command(%d,%d) ", int(s.wp), int(s.lp)); break;
      default: continue;
    }
    out += buf;
  }
  if (!out.empty()) out.pop_back();
  return out;
}

int popups_open() {
  int n = 0;
  for (HWND t : top_levels())
    if (GetClassName(t) == "#32768") ++n;
  return n;
}

}  // namespace

class popup_menu : public layer {
 protected:
  HWND owner{};
  void SetUp() override {
    layer::SetUp();
    owner = top(100, 100, 400, 300, WS_POPUP | WS_VISIBLE);
    pump();
    g_seen.clear();
  }
  // The pop-up runs at (x, y) with the scripted steps; then the queue is pumped.
  int run_popup(HMENU m, int x, int y, uint32_t flags = TPM_LEFTBUTTON) {
    int r = TrackPopupMenuEx(m, flags, x, y, owner);
    pump();
    return r;
  }
};

TEST_F(popup_menu, ItemsKeepTheirDataAndSubmenusGoWithTheirMenu) {
  HMENU sub = menu_of(true, {"A", "B"});
  HMENU m = menu_of(true, {"One"});
  add_sub(m, "Sub", sub);
  MENUITEMINFO big;
  big.fMask = MIIM_ID | MIIM_DATA | MIIM_STRING;
  big.dwTypeData = "Big";
  big.dwItemData = 0xFFFFFFF0u;   // 32 bits, kept whole
  InsertMenuItem(m, 9, true, big);
  MENUITEMINFO mi;
  mi.fMask = MIIM_DATA;
  ASSERT_TRUE(GetMenuItemInfo(m, 2, true, mi));
  EXPECT_EQ(mi.dwItemData, 0xFFFFFFF0u);
  EXPECT_EQ(GetSubMenu(m, 1), sub);
  // A menu never holds itself: neither directly nor through a submenu.
  MENUITEMINFO self;
  self.fMask = MIIM_SUBMENU | MIIM_STRING;
  self.hSubMenu = m;
  EXPECT_FALSE(InsertMenuItem(m, 0, true, self));
  EXPECT_FALSE(InsertMenuItem(sub, 0, true, self));
  EXPECT_EQ(menus::captions(m), (std::vector<std::string>{"One", "Sub", "Big"}));
  EXPECT_TRUE(DestroyMenu(m));
  EXPECT_FALSE(IsMenu(m));
  EXPECT_FALSE(IsMenu(sub));
  EXPECT_FALSE(DestroyMenu(m));
}

TEST_F(popup_menu, CaptionsAndPaths) {
  EXPECT_EQ(menus::plain_caption("&Copy\tCtrl+C"), "Copy");
  EXPECT_EQ(menus::plain_caption("Save && &Quit"), "Save & Quit");
  HMENU sub = menu_of(true, {"Run...", "---", "Quit"});
  HMENU bar = menu_of(false, {});
  add_sub(bar, "&File", sub);
  EXPECT_EQ(menus::find_path(bar, "File/Quit"), (std::vector<int>{0, 2}));
  EXPECT_TRUE(menus::find_path(bar, "File/Nothing").empty());
  EXPECT_TRUE(menus::find_path(bar, "File").empty());   // a submenu is not an item to choose
  EXPECT_EQ(menus::captions(sub), (std::vector<std::string>{"Run...", "---", "Quit"}));
  DestroyMenu(bar);
}

TEST_F(popup_menu, AClickedItemIsSelectedThenCommandedInWin32sOrder) {
  HMENU m = menu_of(true, {"Alpha", "Beta", "Gamma"});
  hd->script([&] { hd->move(centre(menus::item_rect(m, 0))); });
  // Pressed at once over another item, without a move over it first.
  hd->script([&] {
    POINT p = centre(menus::item_rect(m, 2));
    SetCursorPos(p.x, p.y);
    hd->button(1, true);
    hd->button(1, false);
  });
  EXPECT_EQ(run_popup(m, 150, 150), 1);
  EXPECT_EQ(menu_trace(), "enter(1) select(0) select(2) closed exit(1) command(2,0)");
  EXPECT_EQ(popups_open(), 0);
  EXPECT_EQ(GetCapture(), HWND{});
  DestroyMenu(m);
}

TEST_F(popup_menu, KeysWalkPastSeparatorsAndEnterChooses) {
  HMENU m = menu_of(true, {"Copy", "---", "Paste", "Select All"});
  hd->script([&] {
    hd->key(VK_DOWN, true);
    hd->key(VK_DOWN, false);
    hd->key(VK_DOWN, true);
    hd->key(VK_DOWN, false);
    hd->key(VK_RETURN, true, "\r");
    hd->key(VK_RETURN, false);
  });
  run_popup(m, 150, 150);
  EXPECT_EQ(menu_trace(), "enter(1) select(0) select(2) closed exit(1) command(2,0)");
  g_seen.clear();
  // Up from nothing lit wraps to the last item; Escape closes with no command.
  hd->script([&] {
    hd->key(VK_UP, true);
    hd->key(VK_ESCAPE, true);
  });
  run_popup(m, 150, 150);
  EXPECT_EQ(menu_trace(), "enter(1) select(3) closed exit(1)");
  DestroyMenu(m);
}

TEST_F(popup_menu, MnemonicsChooseAndSharedOnesTakeTurns) {
  HMENU m = menu_of(true, {"&Open", "&Save", "Sa&ve As", "E&xit"});
  hd->script([&] { hd->type("X"); });   // mnemonics ignore case
  run_popup(m, 150, 150);
  EXPECT_EQ(menu_trace(), "enter(1) select(3) closed exit(1) command(3,0)");
  g_seen.clear();
  HMENU twice = menu_of(true, {"&Alpha", "&Another", "&Beta"});
  hd->script([&] {
    hd->type("a");
    hd->type("a");
    hd->type("a");
    hd->key(VK_RETURN, true, "\r");
  });
  run_popup(twice, 150, 150);
  EXPECT_EQ(menu_trace(), "enter(1) select(0) select(1) select(0) closed exit(1) command(0,0)");
  DestroyMenu(m);
  DestroyMenu(twice);
}

TEST_F(popup_menu, TheRightReleaseAfterTheOpeningPressNeverChooses) {
  HMENU m = menu_of(true, {"Copy", "Paste"});
  // The right button went down where the pop-up's first item will be.
  POINT at{200, 200};
  hd->move(at);
  hd->button(3, true);
  pump();
  g_seen.clear();
  hd->script([&] { hd->button(3, false); });
  hd->script([&] { hd->click(centre(menus::item_rect(m, 1))); });
  run_popup(m, at.x - 10, at.y - 10);
  EXPECT_EQ(menu_trace(), "enter(1) select(1) closed exit(1) command(1,0)");
  DestroyMenu(m);
}

TEST_F(popup_menu, AClickOutsideClosesAndGoesNoFurther) {
  HMENU m = menu_of(true, {"Copy"});
  hd->script([&] { hd->click(POINT{110, 110}); });   // on the owner, away from the pop-up
  run_popup(m, 300, 300);
  EXPECT_EQ(menu_trace(), "enter(1) closed exit(1)");
  EXPECT_TRUE(seen_of({WM_LBUTTONDOWN, WM_LBUTTONUP}).empty());
  DestroyMenu(m);
}

TEST_F(popup_menu, ASubmenuOpensAfterThePointerRests) {
  HMENU sub = menu_of(true, {"Inner"});
  HMENU m = menu_of(true, {"Plain"});
  add_sub(m, "More", sub);
  int before = -1, after = -1;
  hd->script([&] { hd->move(centre(menus::item_rect(m, 1))); });
  hd->script([&] { before = popups_open(); }, 300000);
  hd->script([&] { after = popups_open(); }, 200000);
  hd->script([&] { hd->click(centre(menus::item_rect(sub, 0))); });
  run_popup(m, 150, 150);
  EXPECT_EQ(before, 1);
  EXPECT_EQ(after, 2);
  // The submenu's item is selected in its own menu before the command.
  EXPECT_EQ(menu_trace(), "enter(1) select(1) select(0) closed exit(1) command(0,0)");
  DestroyMenu(m);
}

TEST_F(popup_menu, PaintAndPostedMessagesGoOnWhileAMenuRuns) {
  HMENU m = menu_of(true, {"Copy"});
  hd->script([&] {
    PostMessage(owner, WM_USER + 7, 1, 2);
    InvalidateRect(owner, nullptr, true);
  });
  hd->script([&] { hd->key(VK_ESCAPE, true); });
  run_popup(m, 150, 150);
  EXPECT_EQ(seen_of({WM_USER + 7}).size(), 1u);
  EXPECT_FALSE(seen_of({WM_PAINT}).empty());
  DestroyMenu(m);
}

TEST_F(popup_menu, APopUpStaysOnItsMonitor) {
  HMENU m = menu_of(true, {"One", "Two", "Three"});
  RECT shown{};
  // Near the bottom right corner of the 1920x1080 screen the pop-up opens up and to the left.
  hd->script([&] {
    for (HWND t : top_levels())
      if (GetClassName(t) == "#32768") GetWindowRect(t, shown);
    hd->key(VK_ESCAPE, true);
  });
  run_popup(m, 1915, 1075);
  EXPECT_EQ(shown.right, 1915);
  EXPECT_EQ(shown.bottom, 1075);
  EXPECT_GT(shown.width(), 0);
  DestroyMenu(m);
}

TEST_F(popup_menu, ReturnCmdAnswersTheIdentifierAndPostsNothing) {
  HMENU m = menu_of(true, {"A", "B"});
  hd->script([&] { hd->click(centre(menus::item_rect(m, 1))); });
  EXPECT_EQ(run_popup(m, 150, 150, TPM_RETURNCMD), 1);
  EXPECT_TRUE(seen_of({WM_COMMAND}).empty());
  DestroyMenu(m);
}

class menu_bar : public layer {
 protected:
  HWND w{};
  HMENU bar{}, file{}, edit{};
  void SetUp() override {
    layer::SetUp();
    file = menu_of(true, {"&Run...", "---", "&Quit"});
    edit = menu_of(true, {"Cu&t", "&Copy"});
    bar = CreateMenu();
    add_sub(bar, "&File", file);
    add_sub(bar, "&Edit", edit);
    RECT r{100, 100, 500, 400};
    AdjustWindowRectEx(r, WS_OVERLAPPEDWINDOW, true, 0);
    w = CreateWindowEx(0, "Recorder", "w", WS_OVERLAPPEDWINDOW | WS_VISIBLE, r.left, r.top, r.width(), r.height(),
                       HWND{}, bar, nullptr);
    pump();
    g_seen.clear();
  }
};

TEST_F(menu_bar, TheBarIsPartOfTheFrame) {
  RECT c;
  GetClientRect(w, c);
  EXPECT_EQ(c.width(), 400);
  EXPECT_EQ(c.height(), 300);   // AdjustWindowRectEx counted the bar
  RECT shown = shown_rect(w);
  POINT o{0, 0};
  ClientToScreen(w, o);
  EXPECT_EQ(o.y - shown.top, GetSystemMetricsForDpi(SM_CYMENU, 96));
  EXPECT_EQ(SendMessage(w, WM_NCHITTEST, 0, MAKELPARAM(shown.left + 5, shown.top + 5)), HTMENU);
  // Taken away, the client area grows into the band, and the window is told so; the window
  // keeps its rectangle.
  RECT before;
  GetWindowRect(w, before);
  auto last_size = [] {
    LPARAM lp = -1;
    for (auto& s : g_seen) if (s.msg == WM_SIZE) lp = s.lp;
    return lp;
  };
  SetMenu(w, HMENU{});
  GetClientRect(w, c);
  int band = GetSystemMetricsForDpi(SM_CYMENU, 96);
  EXPECT_EQ(c.height(), 300 + band);
  EXPECT_EQ(last_size(), MAKELPARAM(400, 300 + band));
  RECT after;
  GetWindowRect(w, after);
  EXPECT_EQ(before, after);
  EXPECT_TRUE(SetMenu(w, bar));
  EXPECT_EQ(last_size(), MAKELPARAM(400, 300));
  // Too narrow for its items, the bar takes a second row.
  SetWindowPos(w, 0, 0, 0, 60, 200, SWP_NOMOVE | SWP_NOZORDER);
  POINT o2{0, 0};
  ClientToScreen(w, o2);
  EXPECT_EQ(o2.y - shown_rect(w).top, 2 * GetSystemMetricsForDpi(SM_CYMENU, 96));
}

TEST_F(menu_bar, TheBarDiesWithItsWindow) {
  DestroyWindow(w);
  EXPECT_FALSE(IsMenu(bar));
  EXPECT_FALSE(IsMenu(file));
}

TEST_F(menu_bar, AClickOnTheBarOpensItsMenu) {
  hd->click(centre(menus::item_rect(bar, 0)));
  hd->script([&] { hd->click(centre(menus::item_rect(file, 2))); });
  pump();
  EXPECT_EQ(menu_trace(), "enter(0) select(0) select(2) closed exit(0) command(2,0)");
  // The bar had no WM_LBUTTONDOWN of the client.
  EXPECT_TRUE(seen_of({WM_LBUTTONDOWN}).empty());
}

TEST_F(menu_bar, F10LightsTheFirstItemAndTheArrowsWalkTheBar) {
  hd->key(VK_F10, true);
  hd->key(VK_F10, false);
  hd->script([&] {
    hd->key(VK_RIGHT, true);   // Edit
    hd->key(VK_DOWN, true);    // opens it, Cut lit
    hd->key(VK_DOWN, true);    // Copy
    hd->key(VK_RETURN, true, "\r");
  });
  pump();
  EXPECT_EQ(menu_trace(), "enter(0) select(0) select(1) select(0) select(1) closed exit(0) command(1,0)");
}

TEST_F(menu_bar, AltAndAMnemonicOpenThatMenu) {
  hd->chord(0x100, 'F', "f");
  hd->script([&] { hd->type("q"); });
  pump();
  EXPECT_EQ(menu_trace(), "enter(0) select(0) select(0) select(2) closed exit(0) command(2,0)");
  g_seen.clear();
  // A lone Alt lights the bar; a second Alt leaves it, and its release opens nothing.
  hd->key(VK_MENU, true, "", key_side::left);
  hd->key(VK_MENU, false, "", key_side::left);
  hd->script([&] {
    hd->key(VK_MENU, true, "", key_side::left);
    hd->key(VK_MENU, false, "", key_side::left);
  });
  pump();
  EXPECT_EQ(menu_trace(), "enter(0) select(0) closed exit(0)");
  g_seen.clear();
  // Alt with a letter no item has opens nothing.
  hd->chord(0x100, 'Z', "z");
  pump();
  EXPECT_EQ(menu_trace(), "");
}

TEST_F(menu_bar, APlayedPathSendsWhatAClickSends) {
  EXPECT_FALSE(menus::play_bar_path(w, "File/Nothing"));
  EXPECT_FALSE(menus::play_bar_path(w, "File"));
  EXPECT_TRUE(menus::play_bar_path(w, "Edit/Copy"));
  pump();
  EXPECT_EQ(menu_trace(), "enter(0) select(1) select(1) closed exit(0) command(1,0)");
}

}  // namespace vyr::win::test
