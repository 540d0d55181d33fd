// ListBox and ComboBox on the headless display: items, selection by messages (silent) and by
// the user (told), scrolling, the dropped list and the edit field of a drop-down.
#include "tests/unit/win/controls_fixture.h"

namespace vyr::win::test {

class lists : public controls {
 protected:
  void fill(HWND h, uint32_t add, int n) {
    for (int i = 0; i < n; ++i) SendMessage(h, add, 0, reinterpret_cast<LPARAM>(("item " + std::to_string(i)).c_str()));
  }
  int item_y(HWND list, int i) {
    RECT r;
    SendMessage(list, LB_GETITEMRECT, WPARAM(i), reinterpret_cast<LPARAM>(&r));
    return (r.top + r.bottom) / 2;
  }
  std::string text_of(HWND h, uint32_t len_msg, uint32_t get_msg, int i) {
    std::string s(size_t(SendMessage(h, len_msg, WPARAM(i), 0)) + 1, '\0');
    SendMessage(h, get_msg, WPARAM(i), reinterpret_cast<LPARAM>(s.data()));
    s.pop_back();
    return s;
  }
};

TEST_F(lists, ListBoxTellsOnlyWhatTheUserDoes) {
  HWND l = make("ListBox", LBS_NOTIFY | WS_VSCROLL, {10, 10, 210, 210});
  fill(l, LB_ADDSTRING, 5);
  EXPECT_EQ(SendMessage(l, LB_INSERTSTRING, 1, reinterpret_cast<LPARAM>("inserted")), 1);
  EXPECT_EQ(SendMessage(l, LB_INSERTSTRING, 9, reinterpret_cast<LPARAM>("far")), LB_ERR);
  EXPECT_EQ(SendMessage(l, LB_SETCURSEL, 2, 0), 2);
  EXPECT_EQ(text_of(l, LB_GETTEXTLEN, LB_GETTEXT, 1), "inserted");
  EXPECT_EQ(SendMessage(l, LB_DELETESTRING, 0, 0), 5);
  EXPECT_EQ(SendMessage(l, LB_GETCURSEL, 0, 0), 1);   // the selection follows its item
  g_notes.clear();
  EXPECT_EQ(SendMessage(l, LB_FINDSTRINGEXACT, WPARAM(-1), reinterpret_cast<LPARAM>("ITEM 3")), 3);
  EXPECT_TRUE(codes(WM_COMMAND).empty());
  click(l, 20, item_y(l, 3));
  EXPECT_EQ(codes(WM_COMMAND), (std::vector<int32_t>{LBN_SETFOCUS, LBN_SELCHANGE}));
  g_notes.clear();
  click(l, 20, item_y(l, 3));   // the same item again changes nothing
  hd->key(VK_DOWN, true);
  hd->key(VK_DOWN, false);
  pump();
  EXPECT_EQ(codes(WM_COMMAND), std::vector<int32_t>{LBN_SELCHANGE});
  EXPECT_EQ(SendMessage(l, LB_GETCURSEL, 0, 0), 4);
  g_notes.clear();
  hd->advance(600000);
  hd->click(screen(l, 20, item_y(l, 0)));
  hd->click(screen(l, 20, item_y(l, 0)));
  pump();
  EXPECT_EQ(codes(WM_COMMAND), (std::vector<int32_t>{LBN_SELCHANGE, LBN_DBLCLK}));
  HWND quiet = make("ListBox", 0, {220, 10, 320, 210});
  fill(quiet, LB_ADDSTRING, 3);
  g_notes.clear();
  click(quiet, 10, item_y(quiet, 1));
  EXPECT_EQ(codes(WM_COMMAND), (std::vector<int32_t>{LBN_KILLFOCUS, LBN_SETFOCUS}));
  EXPECT_EQ(SendMessage(quiet, LB_GETCURSEL, 0, 0), 1);
}

TEST_F(lists, ListBoxScrollsAndFindsItemsUnderThePointer) {
  HWND l = make("ListBox", WS_VSCROLL | WS_HSCROLL, {10, 10, 210, 110});
  fill(l, LB_ADDSTRING, 2);
  EXPECT_FALSE(scroll_bar_shown(l, SB_VERT));
  fill(l, LB_ADDSTRING, 98);
  EXPECT_TRUE(scroll_bar_shown(l, SB_VERT));
  SendMessage(l, LB_SETCURSEL, 90, 0);
  int top = int(SendMessage(l, LB_GETTOPINDEX, 0, 0));
  EXPECT_GT(top, 80);
  EXPECT_LE(top, 90);
  EXPECT_EQ(LBItemFromPt(l, screen(l, 10, item_y(l, 91)), false), 91);
  EXPECT_EQ(LBItemFromPt(l, screen(l, 10, -5), false), -1);
  EXPECT_EQ(LBItemFromPt(l, screen(l, 10, -5), true), -1);
  EXPECT_EQ(SendMessage(l, LB_GETTOPINDEX, 0, 0), top - 1);   // auto-scroll went up one
  EXPECT_EQ(LBItemFromPt(parent, screen(l, 10, 10), false), -1);
  // The wheel turns the list under the pointer, though the focus is elsewhere.
  HWND other = make("EDIT", 0, {300, 10, 400, 30});
  SetFocus(other);
  hd->move(screen(l, 20, 20));
  hd->wheel(WHEEL_DELTA);
  pump();
  EXPECT_EQ(SendMessage(l, LB_GETTOPINDEX, 0, 0), top - 4);
  EXPECT_EQ(GetFocus(), other);
  EXPECT_FALSE(scroll_bar_shown(l, SB_HORZ));
  SendMessage(l, LB_SETHORIZONTALEXTENT, 1000, 0);
  EXPECT_TRUE(scroll_bar_shown(l, SB_HORZ));
  SendMessage(l, LB_RESETCONTENT, 0, 0);
  EXPECT_EQ(SendMessage(l, LB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(SendMessage(l, LB_GETCURSEL, 0, 0), -1);
}

TEST_F(lists, DropListPicksWithThePointerAndTheKeys) {
  HWND c = make("ComboBox", CBS_DROPDOWNLIST | CBS_HASSTRINGS, {10, 10, 210, 34});
  fill(c, CB_ADDSTRING, 5);
  EXPECT_EQ(SendMessage(c, CB_SETCURSEL, 1, 0), 1);
  EXPECT_EQ(GetWindowText(c), "item 1");
  EXPECT_TRUE(g_notes.empty());
  click(c, 50, 12);
  EXPECT_EQ(SendMessage(c, CB_GETDROPPEDSTATE, 0, 0), 1);
  EXPECT_EQ(codes(WM_COMMAND), (std::vector<int32_t>{CBN_SETFOCUS, CBN_DROPDOWN}));
  // The dropped list is a pop-up whose events belong to the combo box.
  RECT lr;
  SendMessage(c, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&lr));
  HWND list = WindowFromPoint(POINT{lr.left + 5, lr.top + 5});
  EXPECT_EQ(owning_control(list), c);
  EXPECT_TRUE(is_null(owning_control(c)));
  g_notes.clear();
  POINT item3{lr.left + 10, lr.top + 1 + item_y(list, 3)};
  hd->advance(600000);
  hd->click(item3);
  pump();
  EXPECT_EQ(codes(WM_COMMAND), (std::vector<int32_t>{CBN_SELENDOK, CBN_CLOSEUP, CBN_SELCHANGE}));
  EXPECT_EQ(SendMessage(c, CB_GETCURSEL, 0, 0), 3);
  EXPECT_FALSE(IsWindowVisible(list));
  // Escape closes a dropped list unchanged.
  g_notes.clear();
  hd->chord(0x100, VK_DOWN);   // Alt+Down drops it
  pump();
  hd->key(VK_DOWN, true);
  hd->key(VK_DOWN, false);
  hd->key(VK_ESCAPE, true);
  hd->key(VK_ESCAPE, false);
  pump();
  EXPECT_EQ(codes(WM_COMMAND), (std::vector<int32_t>{CBN_DROPDOWN, CBN_SELCHANGE, CBN_SELENDCANCEL, CBN_CLOSEUP}));
  EXPECT_EQ(SendMessage(c, CB_GETCURSEL, 0, 0), 3);
  // Closed, the arrows step the selection; a press outside a dropped list closes it.
  g_notes.clear();
  hd->key(VK_UP, true);
  hd->key(VK_UP, false);
  pump();
  EXPECT_EQ(codes(WM_COMMAND), std::vector<int32_t>{CBN_SELCHANGE});
  EXPECT_EQ(SendMessage(c, CB_GETCURSEL, 0, 0), 2);
  SendMessage(c, CB_SHOWDROPDOWN, 1, 0);
  click(parent, 400, 400);
  EXPECT_EQ(SendMessage(c, CB_GETDROPPEDSTATE, 0, 0), 0);
  EXPECT_EQ(SendMessage(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("nothing")), CB_ERR);
  SetWindowText(c, "item 4");
  EXPECT_EQ(SendMessage(c, CB_GETCURSEL, 0, 0), 4);
}

TEST_F(lists, DropDownEditsItsTextInAnEditField) {
  HWND c = make("ComboBox", CBS_DROPDOWN | CBS_HASSTRINGS | CBS_AUTOHSCROLL, {10, 10, 210, 34});
  fill(c, CB_ADDSTRING, 3);
  SetWindowText(c, "typed");
  SendMessage(c, CB_SETCURSEL, 2, 0);
  EXPECT_EQ(GetWindowText(c), "item 2");
  EXPECT_TRUE(g_notes.empty());
  click(c, 20, 12);
  EXPECT_EQ(codes(WM_COMMAND), std::vector<int32_t>{CBN_SETFOCUS});
  HWND edit = GetFocus();
  EXPECT_EQ(GetParent(edit), c);
  EXPECT_EQ(GetWindowLong(edit, GWLP_ID), int64_t(COMBO_EDIT_ID));
  g_notes.clear();
  hd->key(VK_END, true);
  hd->key(VK_END, false);
  hd->type("!");
  pump();
  EXPECT_EQ(codes(WM_COMMAND), (std::vector<int32_t>{CBN_EDITUPDATE, CBN_EDITCHANGE}));
  EXPECT_EQ(GetWindowText(c), "item 2!");
  EXPECT_EQ(SendMessage(c, CB_GETCURSEL, 0, 0), 2);
  // The list's keys reach the combo box through its field.
  g_notes.clear();
  hd->key(VK_UP, true);
  hd->key(VK_UP, false);
  pump();
  EXPECT_EQ(codes(WM_COMMAND), std::vector<int32_t>{CBN_SELCHANGE});
  EXPECT_EQ(GetWindowText(c), "item 1");
  g_notes.clear();
  SetFocus(parent);
  pump();
  EXPECT_EQ(codes(WM_COMMAND), std::vector<int32_t>{CBN_KILLFOCUS});
}

}  // namespace vyr::win::test
