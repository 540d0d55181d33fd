// The controls on the headless display: for each, messages change its state silently and
// the user's input notifies, in Win32's order; colours come from the parent or the palette.
#include <cairo.h>

#include "gui/win/scrollbar.h"
#include "tests/unit/win/controls_fixture.h"

namespace vyr::win::test {

TEST_F(controls, ButtonClicksOnReleaseInsideOrSpace) {
  HWND b = make("BUTTON", BS_PUSHBUTTON, {10, 10, 110, 40}, "OK");
  click(b, 50, 15);
  EXPECT_EQ(codes(WM_COMMAND), std::vector<int32_t>{BN_CLICKED});
  EXPECT_EQ(GetFocus(), b);
  // Pressed inside, released outside: no click.
  g_notes.clear();
  press(b, 50, 15);
  release_at(b, 300, 300);
  pump();
  EXPECT_TRUE(codes(WM_COMMAND).empty());
  // Space pressed and released on the focused button clicks it once.
  hd->key(VK_SPACE, true, " ");
  pump();
  EXPECT_TRUE(SendMessage(b, BM_GETSTATE, 0, 0) & BST_PUSHED);
  hd->key(VK_SPACE, false);
  pump();
  EXPECT_EQ(codes(WM_COMMAND), std::vector<int32_t>{BN_CLICKED});
}

TEST_F(controls, AutoButtonsChangeBeforeTheyTellAndMessagesAreSilent) {
  HWND check = make("BUTTON", BS_AUTOCHECKBOX, {10, 10, 150, 30}, "check");
  HWND tri = make("BUTTON", BS_AUTO3STATE, {10, 40, 150, 60}, "tri");
  HWND radio = make("BUTTON", BS_RADIOBUTTON, {10, 70, 150, 90}, "radio");
  std::vector<LRESULT> seen;
  g_on_note = [&](const note& n) {
    if (n.msg == WM_COMMAND) seen.push_back(SendMessage(n.from, BM_GETCHECK, 0, 0));
  };
  click(check, 5, 10);
  click(check, 5, 10);
  EXPECT_EQ(seen, (std::vector<LRESULT>{BST_CHECKED, BST_UNCHECKED}));
  seen.clear();
  for (int i = 0; i < 3; ++i) click(tri, 5, 10);
  EXPECT_EQ(seen, (std::vector<LRESULT>{BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED}));
  seen.clear();
  click(radio, 5, 10);   // a plain radio button leaves its state to the parent
  EXPECT_EQ(seen, std::vector<LRESULT>{BST_UNCHECKED});
  g_notes.clear();
  SendMessage(radio, BM_SETCHECK, BST_CHECKED, 0);
  SendMessage(check, BM_SETCHECK, BST_INDETERMINATE, 0);   // a two-state box takes it as checked
  EXPECT_EQ(SendMessage(radio, BM_GETCHECK, 0, 0), LRESULT(BST_CHECKED));
  EXPECT_EQ(SendMessage(check, BM_GETCHECK, 0, 0), LRESULT(BST_CHECKED));
  EXPECT_TRUE(g_notes.empty());
}

TEST_F(controls, GroupBoxAndLabelLetThePointerThrough) {
  HWND under = make("BUTTON", BS_PUSHBUTTON, {20, 40, 100, 70}, "under");
  HWND group = make("BUTTON", BS_GROUPBOX, {10, 10, 200, 150}, "Group");
  HWND label = make("STATIC", SS_LEFT, {20, 80, 100, 100}, "label");
  HWND notify = make("STATIC", SS_NOTIFY, {20, 110, 100, 130}, "notify");
  SetWindowPos(group, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(WindowFromPoint(screen(parent, 30, 50)), under);    // through the box
  EXPECT_EQ(WindowFromPoint(screen(parent, 30, 90)), parent);   // through the label
  EXPECT_EQ(WindowFromPoint(screen(parent, 30, 120)), notify);
  click(notify, 5, 5);
  EXPECT_EQ(codes(WM_COMMAND), std::vector<int32_t>{STN_CLICKED});
  (void)label;
}

TEST_F(controls, ColoursFromTheParentsBrushElseThePalette) {
  HWND label = make("STATIC", 0, {10, 10, 60, 30}, "");
  HWND field = make("EDIT", 0, {10, 40, 100, 60}, "");
  pump();
  EXPECT_EQ(pixel(30, 20), argb(theme::color(theme::part::face, false)));
  EXPECT_EQ(pixel(50, 50), argb(theme::color(theme::part::field, false)));
  g_brush = CreateSolidBrush(RGB(255, 0, 0));
  InvalidateRect(label, nullptr, true);
  InvalidateRect(field, nullptr, true);
  pump();
  EXPECT_EQ(pixel(30, 20), 0xFFFF0000u);
  EXPECT_EQ(pixel(50, 50), 0xFFFF0000u);
  // The DC brush answers with the colour set in the DC.
  g_brush = GetStockBrush(DC_BRUSH);
  HDC dc = GetDC(label);
  SetDCBrushColor(dc, RGB(0, 0, 255));
  EXPECT_EQ(brush_color(g_brush, dc), RGB(0, 0, 255));
  ReleaseDC(label, dc);
  EXPECT_FALSE(DeleteObject(g_brush));   // stock brushes stay
}

TEST_F(controls, DarkPaletteFollowsTheWindowAndItsAncestors) {
  HWND panel = make("Recorder", 0, {0, 0, 300, 200});
  HWND b = make("BUTTON", BS_PUSHBUTTON, {10, 10, 110, 40}, "", panel);
  HWND light = make("BUTTON", BS_PUSHBUTTON, {10, 50, 110, 80}, "", panel);
  SetWindowTheme(panel, "DarkMode_Explorer");
  SetWindowTheme(light, "Explorer");
  EXPECT_TRUE(dark_theme(b));
  EXPECT_FALSE(dark_theme(light));
  pump();
  EXPECT_EQ(pixel(60, 25), argb(theme::color(theme::part::face, true)));
  EXPECT_EQ(pixel(60, 65), argb(theme::color(theme::part::face, false)));
  SetWindowTheme(panel, "");
  EXPECT_FALSE(dark_theme(b));
}

TEST_F(controls, ADarkWindowErasesItsButtonFaceDark) {
  WNDCLASSEX wc;
  wc.lpszClassName = "Faced";
  wc.lpfnWndProc = DefWindowProc;
  wc.hbrBackground = theme::sys_color(COLOR_BTNFACE);
  RegisterClassEx(wc);
  HWND dark = make("Faced", 0, {0, 0, 100, 100});
  HWND light = make("Faced", 0, {100, 0, 200, 100});
  SetWindowTheme(dark, "DarkMode_Explorer");
  SetWindowTheme(parent, "DarkMode_Explorer");   // a colour of its own stays
  SetWindowTheme(light, "Explorer");
  pump();
  EXPECT_EQ(pixel(50, 50), argb(theme::color(theme::part::face, true)));
  EXPECT_EQ(pixel(150, 50), argb(theme::sys_color(COLOR_BTNFACE)));
  EXPECT_EQ(pixel(300, 300), argb(RGB(200, 220, 240)));
}

TEST_F(controls, CustomDrawLetsTheParentDrawTheCaption) {
  HWND b = make("BUTTON", BS_AUTOCHECKBOX, {10, 10, 150, 30}, "text");
  g_notify_answer = CDRF_SKIPDEFAULT;
  pump();
  ASSERT_EQ(codes(WM_NOTIFY), std::vector<int32_t>{NM_CUSTOMDRAW});
  (void)b;
}

TEST_F(controls, ImageListButtonsShowTheImageOfTheirState) {
  HWND b = make("BUTTON", BS_PUSHBUTTON | BS_BITMAP, {10, 10, 60, 60}, "x");
  HIMAGELIST il = ImageList_Create(20, 20, ILC_COLOR32, 6, 0);
  uint32_t colours[] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
  for (int i = 0; i < 6; ++i) {
    std::vector<uint32_t> px(400, colours[i < 3 ? i : 0]);
    HBITMAP bm = CreateBitmapARGB(20, 20, px.data());
    EXPECT_EQ(ImageList_Add(il, bm, HBITMAP{}), i);
    DeleteObject(bm);
  }
  BUTTON_IMAGELIST bil{il, {}, BUTTON_IMAGELIST_ALIGN_CENTER};
  EXPECT_EQ(SendMessage(b, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&bil)), 1);
  pump();
  EXPECT_EQ(pixel(35, 35), 0xFFFF0000u);   // normal: the first image, centred
  hd->move(screen(b, 25, 25));
  pump();
  EXPECT_EQ(pixel(35, 35), 0xFF00FF00u);   // hot: the second
  hd->button(1, true);
  pump();
  EXPECT_EQ(pixel(35, 35), 0xFF0000FFu);   // pressed: the third
  hd->button(1, false);
  pump();
  EXPECT_TRUE(ImageList_Destroy(il));
  EXPECT_FALSE(ImageList_Destroy(il));
  EXPECT_FALSE(ImageList_Destroy(NO_IMAGELIST));
}

TEST_F(controls, ProgressClampsAndFillsItsShare) {
  HWND p = make("msctls_progress32", 0, {10, 10, 112, 30});
  EXPECT_EQ(SendMessage(p, PBM_SETRANGE32, 0, 200), MAKELPARAM(0, 100));
  EXPECT_EQ(SendMessage(p, PBM_SETPOS, 500, 0), 0);
  EXPECT_EQ(SendMessage(p, PBM_GETPOS, 0, 0), 200);
  SendMessage(p, PBM_SETPOS, 50, 0);
  pump();
  COLORREF accent = theme::color(theme::part::accent, false), track = theme::color(theme::part::track, false);
  EXPECT_EQ(pixel(20, 20), argb(accent));   // a quarter of 100 pixels filled from the left
  EXPECT_EQ(pixel(40, 20), argb(track));
  HWND up = make("msctls_progress32", PBS_VERTICAL, {200, 10, 220, 112});
  SendMessage(up, PBM_SETPOS, 50, 0);
  pump();
  EXPECT_EQ(pixel(210, 100), argb(accent));   // upright: from the bottom
  EXPECT_EQ(pixel(210, 20), argb(track));
  EXPECT_TRUE(g_notes.empty());
}

TEST_F(controls, TrackbarKeysDragAndSilentMessages) {
  HWND t = make("msctls_trackbar32", TBS_HORZ, {10, 10, 230, 40});
  SendMessage(t, TBM_SETRANGE, 0, MAKELPARAM(0, 200));
  SendMessage(t, TBM_SETPOS, 1, 100);
  EXPECT_EQ(SendMessage(t, TBM_GETPOS, 0, 0), 100);
  EXPECT_EQ(SendMessage(t, TBM_GETPAGESIZE, 0, 0), 40);
  EXPECT_TRUE(g_notes.empty());
  SetFocus(t);
  hd->key(VK_RIGHT, true);
  hd->key(VK_RIGHT, false);
  hd->key(VK_NEXT, true);
  hd->key(VK_NEXT, false);
  pump();
  EXPECT_EQ(codes(WM_HSCROLL), (std::vector<int32_t>{TB_LINEDOWN, TB_ENDTRACK, TB_PAGEDOWN, TB_ENDTRACK}));
  EXPECT_EQ(SendMessage(t, TBM_GETPOS, 0, 0), 141);
  for (auto& n : g_notes) EXPECT_EQ(n.from, t);
  // The thumb dragged to the end: tracks, then its position, then the end.
  g_notes.clear();
  RECT thumb;
  SendMessage(t, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  press(t, (thumb.left + thumb.right) / 2, (thumb.top + thumb.bottom) / 2);
  release_at(t, 400, 20);
  pump();
  std::vector<int32_t> c = codes(WM_HSCROLL);
  ASSERT_GE(c.size(), 3u);
  EXPECT_EQ(c[0], int32_t(TB_THUMBTRACK));
  EXPECT_EQ(c[c.size() - 2], int32_t(TB_THUMBPOSITION));
  EXPECT_EQ(c.back(), int32_t(TB_ENDTRACK));
  EXPECT_EQ(g_notes[g_notes.size() - 2].pos, 200);
  // Upright, the minimum is at the top and the parent hears WM_VSCROLL.
  HWND v = make("msctls_trackbar32", TBS_VERT, {300, 10, 330, 210});
  g_notes.clear();
  SetFocus(v);
  hd->key(VK_END, true);
  hd->key(VK_END, false);
  pump();
  EXPECT_EQ(codes(WM_VSCROLL), (std::vector<int32_t>{TB_BOTTOM, TB_ENDTRACK}));
  SendMessage(v, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
  EXPECT_GT(thumb.top, 150);
}

TEST_F(controls, ScrollbarControlTellsItsParentWhichMovesIt) {
  HWND s = make("SCROLLBAR", SBS_VERT, {10, 10, 27, 210});
  SCROLLINFO si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMax = 99;
  si.nPage = 10;
  si.nPos = 20;
  EXPECT_EQ(SetScrollInfo(s, SB_CTL, si, true), 20);
  click(s, 8, 195);   // the lower arrow
  EXPECT_EQ(codes(WM_VSCROLL), (std::vector<int32_t>{SB_LINEDOWN, SB_ENDSCROLL}));
  EXPECT_EQ(g_notes[0].from, s);
  SCROLLINFO got;
  got.fMask = SIF_ALL;
  GetScrollInfo(s, SB_CTL, got);
  EXPECT_EQ(got.nPos, 20);   // the control does not move itself
  // The parent moves it while the thumb is dragged.
  g_notes.clear();
  g_on_note = [&](const note& n) {
    if (n.code == SB_THUMBTRACK || n.code == SB_THUMBPOSITION) {
      SCROLLINFO p;
      p.fMask = SIF_POS;
      p.nPos = n.pos;
      SetScrollInfo(s, SB_CTL, p, true);
    }
  };
  scrollbar::geometry g = scrollbar::geometry_of(s, SB_CTL);
  RECT th = g.parts[scrollbar::THUMB];
  // All of the drag is there before the press is taken: the press follows it in its own loop.
  hd->move(screen(s, 8, th.top + 2));
  hd->button(1, true);
  hd->move(screen(s, 8, th.top + 52));
  release_at(s, 8, th.top + 52);
  pump();
  std::vector<int32_t> c = codes(WM_VSCROLL);
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0], int32_t(SB_THUMBTRACK));
  EXPECT_EQ(c[1], int32_t(SB_THUMBPOSITION));
  EXPECT_EQ(c[2], int32_t(SB_ENDSCROLL));
  GetScrollInfo(s, SB_CTL, got);
  EXPECT_EQ(got.nPos, g_notes[1].pos);
  EXPECT_GT(got.nPos, 45);
}

TEST_F(controls, HeldArrowsRepeatUntilTheBarStops) {
  HWND c = make("Recorder", 0, {10, 10, 110, 210});
  ShowScrollBar(c, SB_VERT, true);
  SCROLLINFO si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMax = 20;
  si.nPage = 5;
  si.nPos = 0;
  SetScrollInfo(c, SB_VERT, si, true);
  WNDPROC old = reinterpret_cast<WNDPROC>(GetWindowLong(c, GWLP_WNDPROC));
  static int lines;
  lines = 0;
  // The window moves its bar a line at each SB_LINEDOWN.
  SetWindowLong(c, GWLP_WNDPROC, reinterpret_cast<int64_t>(+[](HWND h, uint32_t m, WPARAM wp, LPARAM lp) -> LRESULT {
    if (m == WM_VSCROLL && LOWORD(wp) == SB_LINEDOWN) {
      ++lines;
      SCROLLINFO p;
      p.fMask = SIF_POS;
      GetScrollInfo(h, SB_VERT, p);
      p.nPos += 1;
      SetScrollInfo(h, SB_VERT, p, true);
    }
    return recording_proc(h, m, wp, lp);
  }));
  // Held on the lower arrow with no release: the repeats stop where the bar does.
  hd->move(screen(c, 95, 195));
  hd->button(1, true);
  pump();
  EXPECT_EQ(lines, 17);   // 0 to 16, then one that moves nothing
  SetWindowLong(c, GWLP_WNDPROC, reinterpret_cast<int64_t>(old));
}

TEST_F(controls, TabsAskBeforeTheyChangeAndMessagesAreSilent) {
  HWND t = make("SysTabControl32", 0, {10, 10, 310, 210});
  for (const char* name : {"One", "Two", "Three"}) {
    TCITEM it;
    it.mask = TCIF_TEXT;
    it.pszText = const_cast<char*>(name);
    SendMessage(t, TCM_INSERTITEM, SendMessage(t, TCM_GETITEMCOUNT, 0, 0), reinterpret_cast<LPARAM>(&it));
  }
  // The first tab made is the current one.
  EXPECT_EQ(SendMessage(t, TCM_SETCURFOCUS, 0, 0), 0);
  EXPECT_TRUE(g_notes.empty());
  RECT second;
  SendMessage(t, TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&second));
  g_notify_answer = 1;   // refused
  click(t, second.left + 5, second.top + 5);
  EXPECT_EQ(codes(WM_NOTIFY), std::vector<int32_t>{TCN_SELCHANGING});
  EXPECT_EQ(SendMessage(t, TCM_GETCURSEL, 0, 0), 0);
  g_notes.clear();
  g_notify_answer = 0;
  click(t, second.left + 5, second.top + 5);
  EXPECT_EQ(codes(WM_NOTIFY), (std::vector<int32_t>{TCN_SELCHANGING, TCN_SELCHANGE}));
  EXPECT_EQ(SendMessage(t, TCM_GETCURSEL, 0, 0), 1);
  g_notes.clear();
  hd->key(VK_RIGHT, true);
  hd->key(VK_RIGHT, false);
  pump();
  EXPECT_EQ(codes(WM_NOTIFY), (std::vector<int32_t>{TCN_SELCHANGING, TCN_SELCHANGE}));
  EXPECT_EQ(SendMessage(t, TCM_GETCURSEL, 0, 0), 2);
  // The display rectangle and back.
  RECT r{0, 0, 300, 200};
  SendMessage(t, TCM_ADJUSTRECT, 0, reinterpret_cast<LPARAM>(&r));
  EXPECT_GT(r.top, 10);
  EXPECT_LT(r.width(), 300);
  SendMessage(t, TCM_ADJUSTRECT, 1, reinterpret_cast<LPARAM>(&r));
  EXPECT_EQ(r, (RECT{0, 0, 300, 200}));
  char buf[16];
  TCITEM it;
  it.mask = TCIF_TEXT;
  it.pszText = buf;
  it.cchTextMax = 16;
  SendMessage(t, TCM_GETITEM, 2, reinterpret_cast<LPARAM>(&it));
  EXPECT_STREQ(buf, "Three");
  SendMessage(t, TCM_DELETEITEM, 2, 0);
  EXPECT_EQ(SendMessage(t, TCM_GETCURSEL, 0, 0), -1);
}

TEST_F(controls, CalendarClicksAndKeysSelectAndTell) {
  HWND c = make("SysMonthCal32", MCS_NOTODAY | MCS_SHORTDAYSOFWEEK | MCS_NOSELCHANGEONNAV, {10, 10, 250, 210});
  SYSTEMTIME st;
  st.wYear = 2024;
  st.wMonth = 2;
  st.wDay = 14;
  EXPECT_EQ(SendMessage(c, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&st)), 1);
  st.wDay = 30;   // no 30 February
  EXPECT_EQ(SendMessage(c, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&st)), 0);
  EXPECT_TRUE(g_notes.empty());
  SetFocus(c);
  hd->key(VK_DOWN, true);
  hd->key(VK_DOWN, false);
  pump();
  ASSERT_EQ(codes(WM_NOTIFY), std::vector<int32_t>{MCN_SELECT});
  EXPECT_EQ(g_notes[0].date.wDay, 21);
  SYSTEMTIME got;
  SendMessage(c, MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&got));
  EXPECT_EQ(got.wDay, 21);
  EXPECT_EQ(got.wDayOfWeek, 3);   // a Wednesday
  // February 2024 starts on a Thursday: the grid's first cell is Sunday 28 January; a click
  // on it selects that day and shows January.
  g_notes.clear();
  st = {};
  st.wYear = 2024;
  st.wMonth = 2;
  st.wDay = 1;
  SendMessage(c, MCM_SETCURSEL, 0, reinterpret_cast<LPARAM>(&st));
  RECT rc;
  GetClientRect(c, rc);
  // The first row lies below the title (a line and 10 pixels) and the day names (a line
  // and 4).
  HDC dc = GetDC(c);
  SelectObject(dc, CreateFontIndirect(message_font(96, false)));
  TEXTMETRIC tm;
  GetTextMetrics(dc, tm);
  ReleaseDC(c, dc);
  click(c, 12, 2 * tm.tmHeight + 14 + 3);
  ASSERT_EQ(codes(WM_NOTIFY), std::vector<int32_t>{MCN_SELECT});
  EXPECT_EQ(g_notes.back().date.wMonth, 1);
  EXPECT_EQ(g_notes.back().date.wDay, 28);
  // The title's arrows turn the month and keep the selection.
  g_notes.clear();
  click(c, rc.right - 12, 8);
  SendMessage(c, MCM_GETCURSEL, 0, reinterpret_cast<LPARAM>(&got));
  EXPECT_EQ(got.wMonth, 1);
  EXPECT_EQ(got.wDay, 28);
  EXPECT_TRUE(g_notes.empty());
}

}  // namespace vyr::win::test
