// EDIT on the headless display: what typing, keys, the pointer and the clipboard do, what
// its messages answer, and which of them notify.
#include "tests/unit/win/controls_fixture.h"

namespace vyr::win::test {

class edit_control : public controls {
 protected:
  std::pair<uint32_t, uint32_t> sel(HWND e) {
    uint32_t a = 0, b = 0;
    SendMessage(e, EM_GETSEL, reinterpret_cast<WPARAM>(&a), reinterpret_cast<LPARAM>(&b));
    return {a, b};
  }
  void chord(char key) {
    hd->chord(MK_CONTROL, uint32_t(key));
    pump();
  }
};

TEST_F(edit_control, TypingNotifiesAndProgramsMostlyDoNot) {
  HWND e = make("EDIT", ES_AUTOHSCROLL, {10, 10, 210, 34});
  SetFocus(e);
  pump();
  EXPECT_EQ(codes(WM_COMMAND), std::vector<int32_t>{EN_SETFOCUS});
  g_notes.clear();
  hd->type("hi");
  pump();
  EXPECT_EQ(codes(WM_COMMAND), (std::vector<int32_t>{EN_UPDATE, EN_CHANGE, EN_UPDATE, EN_CHANGE}));
  EXPECT_EQ(GetWindowText(e), "hi");
  // A program's text changes a single-line field as typing does; selections and
  // replacements are silent.
  g_notes.clear();
  SetWindowText(e, "new");
  SendMessage(e, EM_SETSEL, 0, 1);
  SendMessage(e, EM_REPLACESEL, 1, reinterpret_cast<LPARAM>("N"));
  EXPECT_EQ(codes(WM_COMMAND), std::vector<int32_t>{EN_CHANGE});
  EXPECT_EQ(GetWindowText(e), "New");
  HWND area = make("EDIT", ES_MULTILINE, {10, 40, 210, 140});
  g_notes.clear();
  SetWindowText(area, "a\nb");
  EXPECT_TRUE(g_notes.empty());
  SetFocus(parent);
  pump();
  EXPECT_EQ(codes(WM_COMMAND), std::vector<int32_t>{EN_KILLFOCUS});
}

TEST_F(edit_control, PositionsCountCodePointsOverLineFeeds) {
  HWND e = make("EDIT", ES_MULTILINE | ES_AUTOHSCROLL, {10, 10, 210, 110});
  SetWindowText(e, "a\n\U0001F600b");
  EXPECT_EQ(SendMessage(e, WM_GETTEXTLENGTH, 0, 0), 7);   // bytes of UTF-8
  SetFocus(e);
  hd->chord(MK_CONTROL, VK_END);
  hd->chord(MK_SHIFT, VK_LEFT);
  hd->chord(MK_SHIFT, VK_LEFT);
  pump();
  EXPECT_EQ(sel(e), (std::pair<uint32_t, uint32_t>{2, 4}));
  EXPECT_EQ(SendMessage(e, EM_LINEFROMCHAR, 3, 0), 1);
  EXPECT_EQ(SendMessage(e, EM_LINEINDEX, 1, 0), 2);
  SendMessage(e, EM_SETSEL, 1, 3);
  EXPECT_EQ(SendMessage(e, EM_GETSEL, 0, 0), MAKELPARAM(1, 3));
}

TEST_F(edit_control, ClipboardKeysAndOneUndo) {
  HWND e = make("EDIT", ES_MULTILINE | ES_AUTOHSCROLL, {10, 10, 210, 110});
  SetFocus(e);
  hd->type("one two");
  pump();
  chord('A');
  EXPECT_EQ(sel(e), (std::pair<uint32_t, uint32_t>{0, 7}));
  chord('C');
  EXPECT_EQ(GetClipboardText().value_or(""), "one two");
  chord('X');
  EXPECT_EQ(GetWindowText(e), "");
  SetClipboardText("x\r\ny\rz");
  chord('V');
  EXPECT_EQ(GetWindowText(e), "x\ny\nz");   // line feeds only
  chord('Z');
  EXPECT_EQ(GetWindowText(e), "");
  chord('Z');
  EXPECT_EQ(GetWindowText(e), "x\ny\nz");
  // A single-line field keeps the first line of what is pasted.
  HWND f = make("EDIT", ES_AUTOHSCROLL, {10, 120, 210, 144});
  SetFocus(f);
  chord('V');
  EXPECT_EQ(GetWindowText(f), "x");
}

TEST_F(edit_control, TheLimitStopsTypingAndPasteAndSaysSo) {
  HWND e = make("EDIT", ES_AUTOHSCROLL, {10, 10, 210, 34});
  EXPECT_EQ(SendMessage(e, EM_GETLIMITTEXT, 0, 0), 32767);
  SendMessage(e, EM_LIMITTEXT, 4, 0);
  SetFocus(e);
  hd->type("abcdef");
  pump();
  EXPECT_EQ(GetWindowText(e), "abcd");
  std::vector<int32_t> c = codes(WM_COMMAND);
  EXPECT_EQ(std::count(c.begin(), c.end(), int32_t(EN_MAXTEXT)), 2);
  SetWindowText(e, "longer than four");   // a program's text is not limited
  EXPECT_EQ(GetWindowText(e), "longer than four");
}

TEST_F(edit_control, PasswordsShowBulletsAndNeverLeave) {
  HWND e = make("EDIT", ES_AUTOHSCROLL | ES_PASSWORD, {10, 10, 210, 34});
  EXPECT_EQ(SendMessage(e, EM_GETPASSWORDCHAR, 0, 0), 0x25CF);
  SetClipboardText("before");
  SetFocus(e);
  hd->type("secret");
  pump();
  chord('A');
  chord('C');
  chord('X');
  EXPECT_EQ(GetClipboardText().value_or(""), "before");
  EXPECT_EQ(GetWindowText(e), "secret");
  SendMessage(e, EM_SETPASSWORDCHAR, 0, 0);
  chord('C');
  EXPECT_EQ(GetClipboardText().value_or(""), "secret");
}

TEST_F(edit_control, CueBannerShowsOnlyWhileEmptyAndUnfocused) {
  HWND e = make("EDIT", ES_AUTOHSCROLL, {10, 10, 210, 34});
  SendMessage(e, EM_SETCUEBANNER, 0, reinterpret_cast<LPARAM>("type here"));
  pump();
  auto inked = [&] {
    int n = 0;
    for (int x = 14; x < 80; ++x)
      for (int y = 12; y < 32; ++y) n += pixel(x, y) != argb(theme::color(theme::part::field, false));
    return n;
  };
  EXPECT_GT(inked(), 20);
  SetFocus(e);
  pump();
  EXPECT_LT(inked(), 20);   // the caret at most
  char buf[32];
  EXPECT_TRUE(SendMessage(e, EM_GETCUEBANNER, reinterpret_cast<WPARAM>(buf), 32));
  EXPECT_STREQ(buf, "type here");
}

TEST_F(edit_control, PointerPlacesSelectsWordsAndDrags) {
  HWND e = make("EDIT", ES_AUTOHSCROLL, {10, 10, 310, 34});
  SetWindowText(e, "alpha beta gamma");
  click(e, 290, 12);
  EXPECT_EQ(sel(e), (std::pair<uint32_t, uint32_t>{16, 16}));
  POINT beta = POINT{GET_X_LPARAM(SendMessage(e, EM_POSFROMCHAR, 7, 0)), 12};
  hd->advance(600000);
  hd->click(screen(e, beta.x, beta.y));
  hd->click(screen(e, beta.x, beta.y));
  pump();
  EXPECT_EQ(sel(e), (std::pair<uint32_t, uint32_t>{6, 10}));
  POINT start = POINT{GET_X_LPARAM(SendMessage(e, EM_POSFROMCHAR, 0, 0)), 12};
  press(e, start.x, start.y);
  hd->move(screen(e, beta.x, beta.y));
  pump();
  release_at(e, beta.x, beta.y);
  pump();
  EXPECT_EQ(sel(e), (std::pair<uint32_t, uint32_t>{0, 7}));
  EXPECT_EQ(SendMessage(e, EM_CHARFROMPOS, 0, MAKELPARAM(beta.x, beta.y)) & 0xFFFF, 7);
}

TEST_F(edit_control, MultiLineWrapsUnlessItScrollsSideways) {
  std::string longline(60, 'w');
  HWND wrap = make("EDIT", ES_MULTILINE, {10, 10, 160, 200}, longline);
  HWND side = make("EDIT", ES_MULTILINE | ES_AUTOHSCROLL, {200, 10, 350, 200}, longline);
  int y_wrap = GET_Y_LPARAM(SendMessage(wrap, EM_POSFROMCHAR, 59, 0));
  int y_side = GET_Y_LPARAM(SendMessage(side, EM_POSFROMCHAR, 59, 0));
  EXPECT_GT(y_wrap, GET_Y_LPARAM(SendMessage(wrap, EM_POSFROMCHAR, 0, 0)));
  EXPECT_EQ(y_side, GET_Y_LPARAM(SendMessage(side, EM_POSFROMCHAR, 0, 0)));
  EXPECT_EQ(SendMessage(wrap, EM_GETLINECOUNT, 0, 0), 1);   // logical lines
}

TEST_F(edit_control, BarsFollowTheTextAndScrollIt) {
  std::string text;
  for (int i = 0; i < 50; ++i) text += "line " + std::to_string(i) + "\n";
  HWND e = make("EDIT", ES_MULTILINE | ES_AUTOHSCROLL | WS_VSCROLL, {10, 10, 210, 110}, text);
  EXPECT_TRUE(scroll_bar_shown(e, SB_VERT));
  SCROLLINFO si;
  si.fMask = SIF_ALL;
  GetScrollInfo(e, SB_VERT, si);
  EXPECT_EQ(si.nMax, 50);   // 51 rows: the text ends in a line feed
  EXPECT_GT(si.nPage, 3u);
  SetFocus(e);
  hd->chord(MK_CONTROL, VK_END);
  pump();
  EXPECT_EQ(SendMessage(e, EM_GETFIRSTVISIBLELINE, 0, 0), 51 - int(si.nPage));
  g_notes.clear();
  SendMessage(e, WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(SendMessage(e, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
  EXPECT_EQ(codes(WM_COMMAND), std::vector<int32_t>{EN_VSCROLL});
  // The window's own bar, clicked below its thumb, pages down.
  RECT bar = scroll_bar_rect(e, SB_VERT);
  click(e, bar.left + 5, bar.bottom - 25);
  EXPECT_EQ(SendMessage(e, EM_GETFIRSTVISIBLELINE, 0, 0), int(si.nPage));
}

TEST_F(edit_control, TextGrowsWithTheDpi) {
  HWND e = make("EDIT", ES_MULTILINE, {10, 10, 210, 110}, "a\nb");
  int row96 = GET_Y_LPARAM(SendMessage(e, EM_POSFROMCHAR, 2, 0)) - GET_Y_LPARAM(SendMessage(e, EM_POSFROMCHAR, 0, 0));
  shutdown();
  start("1920x1080+0+0@144");
  ASSERT_GT(register_control_classes(), 10);
  WNDCLASSEX wc;
  wc.lpszClassName = "Parent";
  wc.lpfnWndProc = parent_proc;
  RegisterClassEx(wc);
  parent = CreateWindowEx(0, "Parent", "", WS_POPUP | WS_VISIBLE, 0, 0, 640, 480, HWND{}, HMENU{}, nullptr);
  e = make("EDIT", ES_MULTILINE, {10, 10, 210, 110}, "a\nb");
  int row144 = GET_Y_LPARAM(SendMessage(e, EM_POSFROMCHAR, 2, 0)) - GET_Y_LPARAM(SendMessage(e, EM_POSFROMCHAR, 0, 0));
  EXPECT_NEAR(row144, row96 * 3 / 2, 2);
}

}  // namespace vyr::win::test
