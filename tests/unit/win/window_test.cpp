// Classes and windows: creation and destruction order, superclassing, the default
// procedure, geometry, focus, capture and the mouse.
#include <cairo.h>

#include "gui/win/headless/answers.h"
#include "tests/unit/win/win_fixture.h"

namespace vyr::win::test {

TEST_F(layer, CreationSendsNcCreateCreateSizeMoveInOrder) {
  HWND h = top(10, 20, 200, 100, WS_POPUP);
  ASSERT_FALSE(is_null(h));
  EXPECT_EQ(seen_of({WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW}),
            (std::vector<uint32_t>{WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}));
  EXPECT_EQ(GetWindowText(h), "top");
  EXPECT_EQ(GetClassName(h), "Recorder");
}

static LRESULT refuse_create(HWND h, uint32_t m, WPARAM wp, LPARAM lp) {
  if (m == WM_CREATE) return -1;
  return DefWindowProc(h, m, wp, lp);
}

TEST_F(layer, AFailedCreateLeavesNoWindowAndClassesAreCaseInsensitive) {
  WNDCLASSEX wc;
  wc.lpszClassName = "Refuser";
  wc.lpfnWndProc = refuse_create;
  ASSERT_TRUE(RegisterClassEx(wc));
  EXPECT_FALSE(RegisterClassEx(wc));
  EXPECT_TRUE(is_null(CreateWindowEx(0, "REFUSER", "", WS_POPUP, 0, 0, 10, 10, HWND{}, HMENU{}, nullptr)));
  EXPECT_TRUE(top_levels().empty());
  WNDCLASSEX out;
  EXPECT_TRUE(GetClassInfoEx("recorder", out));
  EXPECT_TRUE(is_null(CreateWindowEx(0, "NoSuchClass", "", WS_POPUP, 0, 0, 10, 10, HWND{}, HMENU{}, nullptr)));
}

TEST_F(layer, DeadHandlesAreRefusedEvenWhenTheSlotIsReused) {
  HWND a = top();
  ASSERT_TRUE(DestroyWindow(a));
  HWND b = top();
  EXPECT_EQ(raw(a) & 0xFFFFF, raw(b) & 0xFFFFF);   // same slot
  EXPECT_NE(a, b);
  EXPECT_FALSE(IsWindow(a));
  EXPECT_FALSE(SetWindowText(a, "x"));
  EXPECT_EQ(SendMessage(a, WM_USER, 0, 0), 0);
  EXPECT_EQ(extra(a), nullptr);
  EXPECT_FALSE(DestroyWindow(a));
  EXPECT_TRUE(IsWindow(b));
}

TEST_F(layer, ExtremeGeometryIsClampedNotOverflowed) {
  HWND h = top(2000000000, -2000000000, 2000000000, 2000000000);
  ASSERT_FALSE(is_null(h));
  HWND c = CreateWindowEx(0, "Recorder", "", WS_CHILD | WS_VISIBLE, 2000000000, 0, 2000000000, 10, h, HMENU{}, nullptr);
  extra(c)->flags = 1;
  EXPECT_EQ(GetWindowLong(c, 48), 1);
  SetWindowPos(c, 0, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX, SWP_NOZORDER);
  RECT r;
  GetWindowRect(c, r);
  EXPECT_GE(r.width(), 0);
  // Surfaces are bounded: 16384 a side, 64 M pixels in all.
  HWND p = top();
  HWND wide = CreateWindowEx(0, "Recorder", "", WS_CHILD | WS_VISIBLE, 0, 0, 100000, 20, p, HMENU{}, nullptr);
  HWND tall = CreateWindowEx(0, "Recorder", "", WS_CHILD, 0, 0, 16384, 100000, p, HMENU{}, nullptr);
  pump();
  cairo_surface_t* s = window_surface(wide);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(cairo_image_surface_get_width(s), 16384);
  EXPECT_EQ(cairo_image_surface_get_height(s), 20);
  HDC dc = GetDC(tall);   // makes the surface without painting it
  s = window_surface(tall);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(int64_t(cairo_image_surface_get_width(s)) * cairo_image_surface_get_height(s), int64_t(1) << 26);
  ReleaseDC(tall, dc);
}

TEST_F(layer, DestroySendsDestroyParentFirstAndNcDestroyChildFirst) {
  HWND p = top();
  HWND c = child(p, 0, 0, 10, 10);
  g_seen.clear();
  DestroyWindow(p);
  std::vector<std::pair<HWND, uint32_t>> got;
  for (auto& s : g_seen) if (s.msg == WM_DESTROY || s.msg == WM_NCDESTROY) got.push_back({s.hwnd, s.msg});
  EXPECT_EQ(got, (std::vector<std::pair<HWND, uint32_t>>{{p, WM_DESTROY}, {c, WM_DESTROY}, {c, WM_NCDESTROY}, {p, WM_NCDESTROY}}));
  EXPECT_FALSE(IsWindow(c));
}

static WNDPROC g_base_proc;
static std::vector<std::string> g_chain;
static LRESULT derived_proc(HWND h, uint32_t m, WPARAM wp, LPARAM lp) {
  if (m == WM_USER) g_chain.push_back("derived");
  return CallWindowProc(g_base_proc, h, m, wp, lp);
}
static LRESULT base_proc(HWND h, uint32_t m, WPARAM wp, LPARAM lp) {
  if (m == WM_USER) { g_chain.push_back("base"); return 42; }
  return DefWindowProc(h, m, wp, lp);
}

TEST_F(layer, SuperclassChainsToTheBaseProcedure) {
  WNDCLASSEX wc;
  wc.lpszClassName = "Base";
  wc.lpfnWndProc = base_proc;
  wc.style = CS_DBLCLKS;
  ASSERT_TRUE(RegisterClassEx(wc));
  WNDCLASSEX sc;
  ASSERT_TRUE(GetClassInfoEx("Base", sc));
  g_base_proc = sc.lpfnWndProc;
  sc.lpszClassName = "Derived";
  sc.lpfnWndProc = derived_proc;
  sc.cbWndExtra = 80;
  ASSERT_TRUE(RegisterClassEx(sc));
  HWND h = CreateWindowEx(0, "Derived", "", WS_POPUP, 0, 0, 10, 10, HWND{}, HMENU{}, nullptr);
  g_chain.clear();
  EXPECT_EQ(SendMessage(h, WM_USER, 0, 0), 42);
  EXPECT_EQ(g_chain, (std::vector<std::string>{"derived", "base"}));
  // Subclassing one window through its procedure slot.
  int64_t old = SetWindowLong(h, GWLP_WNDPROC, reinterpret_cast<int64_t>(&base_proc));
  EXPECT_EQ(old, reinterpret_cast<int64_t>(&derived_proc));
  g_chain.clear();
  SendMessage(h, WM_USER, 0, 0);
  EXPECT_EQ(g_chain, (std::vector<std::string>{"base"}));
}

TEST_F(layer, ExtraRecordIsReadAtByteOffsets) {
  HWND h = top();
  extra(h)->face_slot = 17;
  extra(h)->flags = 0x18;
  EXPECT_EQ(GetWindowLong(h, 60), 17);
  EXPECT_EQ(GetWindowLong(h, 48), 0x18);
  SetWindowLong(h, 76, -1);
  EXPECT_EQ(extra(h)->face_flags, 0xFFFFFFFFu);
  EXPECT_EQ(GetWindowLong(h, 80), 0);   // outside the record
  EXPECT_EQ(GetWindowLong(h, 61), 0);   // not aligned
}

TEST_F(layer, DefWindowProcClosesAndValidates) {
  HWND h = top();
  pump();
  PostMessage(h, WM_CLOSE, 0, 0);
  pump();
  EXPECT_FALSE(IsWindow(h));
}

TEST_F(layer, NoSpinWhenDefWindowProcPaints) {
  HWND h = top();
  int n = pump();
  EXPECT_LT(n, 5);
  InvalidateRect(h, nullptr, true);
  g_seen.clear();
  EXPECT_EQ(pump(), 1);
  EXPECT_EQ(seen_of({WM_PAINT, WM_ERASEBKGND}), (std::vector<uint32_t>{WM_PAINT, WM_ERASEBKGND}));
  // A procedure that never validates gets WM_PAINT again and again: the caller's fault.
  g_validate_paint = false;
  InvalidateRect(h, nullptr, false);
  EXPECT_EQ(pump(10), 10);
}

TEST_F(layer, SetWindowPosSendsChangingChangedMoveAndSize) {
  HWND h = top(0, 0, 100, 100);
  pump();
  g_seen.clear();
  SetWindowPos(h, 0, 5, 6, 120, 80, SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(seen_of({WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}),
            (std::vector<uint32_t>{WM_WINDOWPOSCHANGING, WM_WINDOWPOSCHANGED, WM_MOVE, WM_SIZE}));
  RECT r;
  GetWindowRect(h, r);
  EXPECT_EQ(r, (RECT{5, 6, 125, 86}));
  g_seen.clear();
  SetWindowPos(h, 0, 50, 50, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(seen_of({WM_MOVE, WM_SIZE}), (std::vector<uint32_t>{WM_MOVE}));
}

TEST_F(layer, DeferredBatchAppliesInOrderAtTheEnd) {
  HWND p = top();
  HWND a = child(p, 0, 0, 10, 10), b = child(p, 20, 0, 10, 10);
  g_seen.clear();
  HDWP d = BeginDeferWindowPos(2);
  d = DeferWindowPos(d, b, 0, 1, 1, 5, 5, SWP_NOZORDER);
  d = DeferWindowPos(d, a, 0, 2, 2, 5, 5, SWP_NOZORDER);
  EXPECT_TRUE(g_seen.empty());
  ASSERT_TRUE(EndDeferWindowPos(d));
  std::vector<HWND> order;
  for (auto& s : g_seen) if (s.msg == WM_WINDOWPOSCHANGED) order.push_back(s.hwnd);
  EXPECT_EQ(order, (std::vector<HWND>{b, a}));
  EXPECT_FALSE(EndDeferWindowPos(d));
}

TEST_F(layer, MaximizeAndRestoreChangeStateWithStateChanged) {
  HWND h = top(100, 100, 300, 200, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  pump();
  g_seen.clear();
  ShowWindow(h, SW_MAXIMIZE);
  EXPECT_TRUE(IsZoomed(h));
  WPARAM kind = 99;
  bool statechanged = false;
  for (auto& s : g_seen) {
    if (s.msg == WM_SIZE) kind = s.wp;
    if (s.msg == WM_WINDOWPOSCHANGED) statechanged = reinterpret_cast<const WINDOWPOS*>(s.lp)->flags & SWP_STATECHANGED;
  }
  EXPECT_EQ(kind, SIZE_MAXIMIZED);
  EXPECT_TRUE(statechanged);
  RECT c;
  GetClientRect(h, c);
  EXPECT_EQ(c, (RECT{0, 0, 1920, 1080}));
  ShowWindow(h, SW_RESTORE);
  RECT r;
  GetWindowRect(h, r);
  EXPECT_EQ(r, (RECT{100, 100, 400, 300}));
  ShowWindow(h, SW_MINIMIZE);
  EXPECT_TRUE(IsIconic(h));
}

TEST_F(layer, ActivationMovesFocusAndSendsActivatePairs) {
  HWND a = top(0, 0, 100, 100), b = top(200, 0, 100, 100);
  pump();
  EXPECT_EQ(GetActiveWindow(), b);
  EXPECT_EQ(GetFocus(), b);   // the default procedure focuses an activated window
  HWND c = child(a, 0, 0, 10, 10);
  g_seen.clear();
  SetFocus(c);
  EXPECT_EQ(GetActiveWindow(), a);
  EXPECT_EQ(GetFocus(), c);
  std::vector<std::pair<HWND, uint32_t>> got;
  for (auto& s : g_seen)
    if (s.msg == WM_ACTIVATE || s.msg == WM_SETFOCUS || s.msg == WM_KILLFOCUS) got.push_back({s.hwnd, s.msg});
  EXPECT_EQ(got, (std::vector<std::pair<HWND, uint32_t>>{
                     {b, WM_ACTIVATE}, {b, WM_KILLFOCUS}, {a, WM_ACTIVATE}, {a, WM_SETFOCUS}, {a, WM_KILLFOCUS}, {c, WM_SETFOCUS}}));
}

TEST_F(layer, ClicksGoToTheRightChildAndDoubleClicksNeedTimeAndPlace) {
  HWND p = top(100, 100, 400, 300);
  HWND left = child(p, 0, 0, 100, 100), right = child(p, 200, 0, 100, 100);
  pump();
  g_seen.clear();
  hd->click({100 + 250, 100 + 50});
  pump();
  ASSERT_FALSE(g_seen.empty());
  bool found = false;
  for (auto& s : g_seen)
    if (s.msg == WM_LBUTTONDOWN) { EXPECT_EQ(s.hwnd, right); EXPECT_EQ(s.lp, MAKELPARAM(50, 50)); found = true; }
  EXPECT_TRUE(found);
  (void)left;
  struct { int dx; int64_t delay_us; uint32_t second; } cases[] = {
    {0, 100000, WM_LBUTTONDBLCLK}, {2, 499000, WM_LBUTTONDBLCLK}, {3, 1000, WM_LBUTTONDOWN}, {0, 501000, WM_LBUTTONDOWN}};
  for (auto& c : cases) {
    hd->advance(2000000);
    hd->click({350, 150});
    hd->advance(c.delay_us);
    hd->click({350 + c.dx, 150});
    g_seen.clear();
    pump();
    auto downs = seen_of({WM_LBUTTONDOWN, WM_LBUTTONDBLCLK});
    ASSERT_EQ(downs.size(), 2u);
    EXPECT_EQ(downs[1], c.second) << c.dx << " " << c.delay_us;
  }
}

TEST_F(layer, CaptureKeepsTheMouseAndReportsItsLoss) {
  HWND p = top(0, 0, 400, 300);
  HWND a = child(p, 0, 0, 100, 100), b = child(p, 200, 0, 100, 100);
  pump();
  SetCapture(a);
  g_seen.clear();
  hd->move({250, 50});
  hd->button(1, true);
  pump();
  for (auto& s : g_seen)
    if (s.msg == WM_MOUSEMOVE || s.msg == WM_LBUTTONDOWN) {
      EXPECT_EQ(s.hwnd, a);
      EXPECT_EQ(s.lp, MAKELPARAM(250, 50));
    }
  g_seen.clear();
  SetCapture(b);
  ASSERT_EQ(g_seen.size(), 1u);
  EXPECT_EQ(g_seen[0].hwnd, a);
  EXPECT_EQ(g_seen[0].msg, WM_CAPTURECHANGED);
  ReleaseCapture();
  EXPECT_TRUE(is_null(GetCapture()));
  EXPECT_EQ(g_seen.back().msg, WM_CAPTURECHANGED);
  EXPECT_EQ(g_seen.back().hwnd, b);
}

TEST_F(layer, MouseLeaveXButtonsAndWheel) {
  HWND p = top(0, 0, 400, 300);
  HWND a = child(p, 0, 0, 100, 100);
  pump();
  hd->move({10, 10});
  pump();
  TRACKMOUSEEVENT t;
  t.dwFlags = TME_LEAVE;
  t.hwndTrack = a;
  ASSERT_TRUE(TrackMouseEvent(t));
  g_seen.clear();
  hd->move({300, 200});
  pump();
  EXPECT_EQ(seen_of({WM_MOUSELEAVE}).size(), 1u);
  g_seen.clear();
  hd->button(4, true);
  hd->button(5, false);
  hd->wheel(-240);
  pump();
  std::vector<std::pair<uint32_t, uint32_t>> got;
  for (auto& s : g_seen)
    if (s.msg == WM_XBUTTONDOWN || s.msg == WM_XBUTTONUP || s.msg == WM_MOUSEWHEEL) got.push_back({s.msg, HIWORD(s.wp)});
  EXPECT_EQ(got, (std::vector<std::pair<uint32_t, uint32_t>>{{WM_XBUTTONDOWN, XBUTTON1}, {WM_XBUTTONUP, XBUTTON2}, {WM_MOUSEWHEEL, uint16_t(-240)}}));
}

TEST_F(layer, UserMoveSizeAndCloseFromTheDisplay) {
  HWND h = top(0, 0, 100, 100, WS_OVERLAPPEDWINDOW | WS_VISIBLE);
  pump();
  g_seen.clear();
  hd->move_size(h, {{0, 0, 120, 100}, {0, 0, 140, 110}}, true);
  EXPECT_EQ(seen_of({WM_ENTERSIZEMOVE, WM_SIZING, WM_EXITSIZEMOVE}),
            (std::vector<uint32_t>{WM_ENTERSIZEMOVE, WM_SIZING, WM_SIZING, WM_EXITSIZEMOVE}));
  RECT r;
  GetWindowRect(h, r);
  EXPECT_EQ(r.width(), 140);
  hd->close(h);
  pump();
  EXPECT_FALSE(IsWindow(h));
}

TEST_F(layer, DpiChangeReachesTheWindowOnThatMonitor) {
  shutdown();
  start("1000x800+0+0@96,1000x800+1000+0@144");
  HWND a = top(1100, 100, 200, 100);
  EXPECT_EQ(GetDpiForWindow(a), 144u);
  g_seen.clear();
  hd->set_monitor_dpi(1, 192);
  ASSERT_EQ(seen_of({WM_DPICHANGED}).size(), 1u);
  EXPECT_EQ(GetDpiForWindow(a), 192u);
}

TEST_F(layer, OwnScrollBarsScrollWithLParamZero) {
  HWND p = top(0, 0, 300, 300);
  HWND c = child(p, 0, 0, 100, 200);
  ShowScrollBar(c, SB_VERT, true);
  SCROLLINFO si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  si.nMin = 0;
  si.nMax = 99;
  si.nPage = 10;
  si.nPos = 50;
  SetScrollInfo(c, SB_VERT, si, true);
  pump();
  // Track 200 - 2 x 17 = 166 pixels; the thumb spans 17 + 83 .. 17 + 83 + 16.
  struct { int y; uint32_t code; } cases[] = {{5, SB_LINEUP}, {195, SB_LINEDOWN}, {40, SB_PAGEUP}, {150, SB_PAGEDOWN}, {105, SB_THUMBPOSITION}};
  for (auto& k : cases) {
    g_seen.clear();
    hd->advance(1000000);
    hd->click({92, k.y});
    pump();
    std::vector<std::pair<uint32_t, LPARAM>> got;
    for (auto& s : g_seen) if (s.msg == WM_VSCROLL) got.push_back({LOWORD(s.wp), s.lp});
    EXPECT_EQ(got, (std::vector<std::pair<uint32_t, LPARAM>>{{k.code, 0}, {SB_ENDSCROLL, 0}})) << k.y;
    EXPECT_TRUE(seen_of({WM_LBUTTONDOWN}).empty());
  }
}

TEST_F(layer, ClassCursorReachesTheDisplay) {
  WNDCLASSEX wc;
  wc.lpszClassName = "Text";
  wc.lpfnWndProc = recording_proc;
  wc.hCursor = LoadCursor(IDC_IBEAM);
  RegisterClassEx(wc);
  HWND p = top(0, 0, 300, 300);
  CreateWindowEx(0, "Text", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, p, HMENU{}, nullptr);
  pump();
  hd->move({50, 50});
  pump();
  EXPECT_EQ(cursor_shape(hd->cursor()), IDC_IBEAM);
  hd->move({200, 200});
  pump();
  EXPECT_EQ(cursor_shape(hd->cursor()), IDC_ARROW);
}

static LRESULT limited_proc(HWND h, uint32_t m, WPARAM wp, LPARAM lp) {
  if (m == WM_GETMINMAXINFO) {
    auto* mm = reinterpret_cast<MINMAXINFO*>(lp);
    mm->ptMinTrackSize = {200, 150};
    mm->ptMaxTrackSize = {400, 300};
    mm->ptMaxSize = {500, 400};
    mm->ptMaxPosition = {10, 20};
    return 0;
  }
  return DefWindowProc(h, m, wp, lp);
}

TEST_F(layer, SizeLimitsComeFromGetMinMaxInfo) {
  WNDCLASSEX wc;
  wc.lpszClassName = "Limited";
  wc.lpfnWndProc = limited_proc;
  RegisterClassEx(wc);
  HWND h = CreateWindowEx(0, "Limited", "", WS_POPUP | WS_THICKFRAME | WS_VISIBLE, 0, 0, 900, 900, HWND{}, HMENU{}, nullptr);
  RECT r;
  GetWindowRect(h, r);
  EXPECT_EQ(r, (RECT{0, 0, 400, 300}));   // made no larger than the limit
  hd->move_size(h, {{0, 0, 100, 100}}, true);
  GetWindowRect(h, r);
  EXPECT_EQ(r, (RECT{0, 0, 200, 150}));
  hd->move_size(h, {{0, 0, 1000, 1000}}, true);
  GetWindowRect(h, r);
  EXPECT_EQ(r, (RECT{0, 0, 400, 300}));
  ShowWindow(h, SW_MAXIMIZE);
  GetWindowRect(h, r);
  EXPECT_EQ(r, (RECT{10, 20, 510, 420}));
}

TEST(headless_screens, DescriptionsParseOrAreRefused) {
  auto ok = headless_display::parse_screens("2880x1620+0+0@144,800x600+-800+10@96");
  ASSERT_TRUE(ok);
  ASSERT_EQ(ok->size(), 2u);
  EXPECT_EQ((*ok)[1].rect, (RECT{-800, 10, 0, 610}));
  EXPECT_EQ((*ok)[0].dpi, 144u);
  for (const char* bad : {"", "1920x1080", "1920x1080+0+0@", "0x10+0+0@96", "10x10+0+0@96,", "99999999x1+0+0@96", "1x1+0+0@96x"})
    EXPECT_FALSE(headless_display::parse_screens(bad)) << bad;
}

TEST(answer_queue, DialogAnswersAreTakenInOrderAndUnexpectedOnesFail) {
  answer_queue q;
  q.queue_dialog({"file", {"/tmp/a.txt", "/tmp/b.txt"}});
  testing::internal::CaptureStderr();
  EXPECT_FALSE(q.request_folder({}));   // a file answer waits for a file dialog
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "headless display: no answer queued for a folder dialog\n");
  dialogs::file_request open;
  auto a = q.request_file(open);
  ASSERT_TRUE(a);
  EXPECT_EQ(*a, std::vector<std::string>{"/tmp/a.txt"});   // one file unless multi
  testing::internal::CaptureStderr();
  EXPECT_FALSE(q.request_file(open));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "headless display: no answer queued for a open-file dialog\n");
  EXPECT_EQ(q.unexpected, 2u);
  // `cancel` answers any dialog, once.
  q.queue_dialog({"cancel", {}});
  q.queue_dialog({"dir", {"/tmp"}});
  EXPECT_FALSE(q.request_file(open));
  EXPECT_EQ(q.request_folder({}), "/tmp/");
  EXPECT_EQ(q.unexpected, 2u);
}

TEST(answer_queue, AnswerLinesAreChecked) {
  struct { std::vector<std::string> line; bool ok; } cases[] = {
      {{"cancel"}, true},
      {{"file", "/a/b.txt", "/a/c.txt"}, true},
      {{"file", "/a/b.txt", "/x/c.txt"}, false},   // one folder
      {{"file", "b.txt"}, false},                  // absolute
      {{"file"}, false},
      {{"dir", "/home"}, true},
      {{"dir", "home"}, false},
      {{"font", "DejaVu Sans", "12"}, true},
      {{"font", "DejaVu Sans", "12", ""}, true},
      {{"font", "DejaVu Sans", "12", "bold italic"}, true},
      {{"font", "DejaVu Sans", "12", "heavy"}, false},
      {{"font", "DejaVu Sans", "x"}, false},
      {{"menu", "File/Run..."}, true},
      {{"menu"}, false},
      {{"colour", "red"}, false},
  };
  for (auto& c : cases) EXPECT_EQ(!answer_queue::bad_line(c.line), c.ok) << c.line[0];
}

TEST_F(layer, MemoryClipboardRoundTrip) {
  EXPECT_FALSE(GetClipboardText());
  SetClipboardText("h\xC3\xA9llo");
  EXPECT_EQ(GetClipboardText(), "h\xC3\xA9llo");
}

}  // namespace vyr::win::test
