// The X11 display against a private Xvfb server, driven through XTest from a second
// connection, and the GUI console started on such a server. Skipped, with a message, when
// Xvfb is not installed.
#include <atomic>
#include <chrono>
#include <cstring>
#include <deque>
#include <functional>
#include <thread>

// gtest first: the X headers define macros (None, Bool) that its templates use as names.
#include "gui/win/controls/controls.h"
#include "gui/win/dialogs/dialog.h"
#include "gui/win/dialogs/modal.h"
#include "gui/win/menus/menus.h"
#include "gui/win/x11/display.h"
#include "tests/unit/win/win_fixture.h"
#include "tests/unit/xvfb.h"
#include "tests/x11/xlib_client.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <X11/XKBlib.h>
#include <cairo.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vyr::win::test {

using vyr::test::have_program;
using vyr::test::xvfb;

static std::unique_ptr<xvfb> g_server;

static LRESULT red_proc(HWND h, uint32_t m, WPARAM wp, LPARAM lp) {
  g_seen.push_back({h, m, wp, lp});
  if (m == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, ps);
    RECT r;
    GetClientRect(h, r);
    FillRect(dc, r, RGB(255, 0, 0));
    EndPaint(h, ps);
    return 0;
  }
  return DefWindowProc(h, m, wp, lp);
}

class x11 : public ::testing::Test {
 protected:
  x11_display* xd = nullptr;
  Display* other = nullptr;

  static void SetUpTestSuite() {
    if (!have_program("Xvfb")) return;
    g_server = std::make_unique<xvfb>();
    if (!g_server->start()) g_server.reset();
  }
  static void TearDownTestSuite() { g_server.reset(); }

  void SetUp() override {
    if (!have_program("Xvfb")) GTEST_SKIP() << "Xvfb is not installed: the X11 display is not tested";
    ASSERT_TRUE(g_server) << "Xvfb did not start";
    auto d = x11_display::open(g_server->display.c_str());
    ASSERT_TRUE(d);
    xd = d.get();
    install(std::move(d));
    other = XOpenDisplay(g_server->display.c_str());
    ASSERT_TRUE(other);
    g_seen.clear();
    WNDCLASSEX wc;
    wc.lpszClassName = "Red";
    wc.lpfnWndProc = red_proc;
    RegisterClassEx(wc);
    wc.lpszClassName = "Recorder";
    wc.lpfnWndProc = recording_proc;
    wc.hbrBackground = RGB(255, 255, 255);
    RegisterClassEx(wc);
  }
  void TearDown() override {
    if (other) XCloseDisplay(other);
    shutdown();
  }

  // Runs the loop until `done` or `ms` of real time.
  template <class F>
  bool run_until(F done, int ms = 5000) {
    uintptr_t t = SetTimer(HWND{}, 0, 20);
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    MSG m;
    bool ok = false;
    while (std::chrono::steady_clock::now() < until) {
      if (done()) { ok = true; break; }
      if (GetMessage(m, HWND{}, 0, 0) <= 0) break;
      TranslateMessage(m);
      DispatchMessage(m);
    }
    KillTimer(HWND{}, t);
    return ok;
  }
  bool saw(uint32_t msg) {
    for (auto& s : g_seen) if (s.msg == msg) return true;
    return false;
  }
  // The server's keyboard focus is on the top level. A window's own request for it comes on
  // another connection than keys the test types, and the server may take the keys first.
  bool server_focus_on(HWND top) {
    Window w = None;
    int revert = 0;
    XGetInputFocus(other, &w, &revert);
    return w != None && w == Window(xd->native(top));
  }
  HWND shown(const char* cls, RECT r) {
    HWND h = CreateWindowEx(0, cls, "vyr test", WS_POPUP | WS_VISIBLE, r.left, r.top, r.width(), r.height(),
                            HWND{}, HMENU{}, nullptr);
    EXPECT_TRUE(run_until([&] { return xd->mapped(h); }));
    return h;
  }
};

// No input method answers on this server: over-the-spot pre-edit cannot be had, and keys
// type through the fall-back context, composing nothing.
TEST_F(x11, KeyComesAsKeyDownAndCharThroughTheInputMethodsFallBack) {
  HWND h = shown("Recorder", {10, 10, 210, 160});
  EXPECT_STREQ(xd->preedit_style(h), "nothing");
  run_until([&] { return GetFocus() == h; });
  XSetInputFocus(other, Window(xd->native(h)), RevertToParent, CurrentTime);
  XSync(other, False);
  KeyCode a = XKeysymToKeycode(other, XK_a);
  XTestFakeKeyEvent(other, a, True, 0);
  XTestFakeKeyEvent(other, a, False, 0);
  XFlush(other);
  ASSERT_TRUE(run_until([&] { return saw(WM_KEYUP); }));
  std::vector<std::pair<uint32_t, WPARAM>> got;
  for (auto& s : g_seen)
    if (s.msg == WM_KEYDOWN || s.msg == WM_CHAR || s.msg == WM_KEYUP) got.push_back({s.msg, s.wp});
  EXPECT_EQ(got, (std::vector<std::pair<uint32_t, WPARAM>>{{WM_KEYDOWN, 'A'}, {WM_CHAR, 'a'}, {WM_KEYUP, 'A'}}));
  EXPECT_FALSE(saw(WM_IME_STARTCOMPOSITION));
}

TEST_F(x11, ClickReachesTheChildUnderThePointer) {
  HWND h = shown("Recorder", {10, 10, 310, 210});
  HWND left = CreateWindowEx(0, "Recorder", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 100, h, HMENU{}, nullptr);
  HWND right = CreateWindowEx(0, "Recorder", "", WS_CHILD | WS_VISIBLE, 150, 0, 100, 100, h, HMENU{}, nullptr);
  (void)left;
  XTestFakeMotionEvent(other, 0, 10 + 170, 10 + 30, 0);
  XTestFakeButtonEvent(other, 1, True, 0);
  XTestFakeButtonEvent(other, 1, False, 0);
  XFlush(other);
  ASSERT_TRUE(run_until([&] { return saw(WM_LBUTTONUP); }));
  for (auto& s : g_seen)
    if (s.msg == WM_LBUTTONDOWN) {
      EXPECT_EQ(s.hwnd, right);
      EXPECT_EQ(s.lp, MAKELPARAM(20, 30));
    }
}

// A window shown and activated just before another: the server's report that the first got
// the focus may come only after the second was activated, and must not take it back.
TEST_F(x11, AFocusChangeOlderThanTheLastActivationIsNotFollowed) {
  HWND first = shown("Recorder", {10, 10, 110, 110});
  ASSERT_TRUE(run_until([&] { return GetActiveWindow() == first; }));
  // The focus taken from the first window and given back by another client.
  auto refocus_first = [&] {
    XSetInputFocus(other, PointerRoot, RevertToParent, CurrentTime);
    XSync(other, False);
    XSetInputFocus(other, Window(xd->native(first)), RevertToParent, CurrentTime);
    XSync(other, False);
  };
  // Changes the server makes before it reads the next activation's requests.
  refocus_first();
  HWND second = CreateWindowEx(0, "Recorder", "", WS_POPUP, 200, 10, 100, 100, HWND{}, HMENU{}, nullptr);
  SetActiveWindow(second);
  run_until([] { return false; }, 300);
  EXPECT_EQ(GetActiveWindow(), second);
  // A change the server makes afterwards is followed.
  refocus_first();
  EXPECT_TRUE(run_until([&] { return GetActiveWindow() == first; }));
}

// With the keys on the pointer's root, giving a window the focus tells it first that the
// pointer's focus left: the field focused in it keeps the focus.
TEST_F(x11, TheFocusedFieldStaysWhenTheFocusLeavesThePointersRoot) {
  XSetInputFocus(other, PointerRoot, RevertToPointerRoot, CurrentTime);
  XTestFakeMotionEvent(other, 0, 60, 60, 0);
  XSync(other, False);
  HWND h = CreateWindowEx(0, "Recorder", "vyr test", WS_POPUP, 10, 10, 200, 150, HWND{}, HMENU{}, nullptr);
  HWND field = CreateWindowEx(0, "Recorder", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 30, h, HMENU{}, nullptr);
  ShowWindow(h, SW_SHOW);
  SetActiveWindow(h);
  SetFocus(field);
  ASSERT_TRUE(run_until([&] { return server_focus_on(h); }));
  run_until([] { return false; }, 300);
  EXPECT_EQ(GetActiveWindow(), h);
  EXPECT_EQ(GetFocus(), field);
}

TEST_F(x11, DeleteWindowBecomesWmClose) {
  HWND h = shown("Recorder", {10, 10, 110, 110});
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = Window(xd->native(h));
  e.xclient.message_type = XInternAtom(other, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = long(XInternAtom(other, "WM_DELETE_WINDOW", False));
  XSendEvent(other, e.xclient.window, False, 0, &e);
  XFlush(other);
  ASSERT_TRUE(run_until([&] { return !IsWindow(h); }));
  EXPECT_TRUE(saw(WM_CLOSE));
}

TEST_F(x11, PresentedPixelsReachTheScreen) {
  HWND h = shown("Red", {20, 30, 120, 90});
  (void)h;
  auto pixel = [&] {
    cairo_surface_t* s = xd->capture({20, 30, 120, 90});
    if (!s) return 0u;
    uint32_t px;
    std::memcpy(&px, cairo_image_surface_get_data(s) + 10 * cairo_image_surface_get_stride(s) + 10 * 4, 4);
    cairo_surface_destroy(s);
    return px;
  };
  run_until([&] { return pixel() == 0xFFFF0000u; });
  EXPECT_EQ(pixel(), 0xFFFF0000u);
}

TEST_F(x11, ClipboardRoundTripsWithAnotherProgram) {
  const std::string ours = "gr\xC3\xBC\xC3\x9F \xF0\x9F\x98\x80";
  SetClipboardText(ours);
  std::string got;
  std::atomic<bool> done{false};
  std::string name = g_server->display;
  std::thread reader([&] {
    Display* d = XOpenDisplay(name.c_str());
    Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    Atom clip = XInternAtom(d, "CLIPBOARD", False), utf8 = XInternAtom(d, "UTF8_STRING", False);
    Atom prop = XInternAtom(d, "TEST_PROP", False);
    XConvertSelection(d, clip, utf8, prop, w, CurrentTime);
    XFlush(d);
    XEvent e;
    for (;;) {
      XNextEvent(d, &e);
      if (e.type == SelectionNotify) break;
    }
    Atom type;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    if (e.xselection.property != None &&
        XGetWindowProperty(d, w, prop, 0, 1 << 20, True, AnyPropertyType, &type, &format, &n, &after, &data) == Success && data) {
      got.assign(reinterpret_cast<char*>(data), n);
      XFree(data);
    }
    XCloseDisplay(d);
    done = true;
  });
  bool ok = run_until([&] { return done.load(); });
  reader.join();
  ASSERT_TRUE(ok);
  EXPECT_EQ(got, ours);

  // And back: another program owns the clipboard and serves it.
  const std::string theirs = "from elsewhere \xC3\xA9";
  std::atomic<bool> ready{false};
  std::thread owner([&] {
    Display* d = XOpenDisplay(name.c_str());
    Window w = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
    Atom clip = XInternAtom(d, "CLIPBOARD", False), utf8 = XInternAtom(d, "UTF8_STRING", False);
    XSetSelectionOwner(d, clip, w, CurrentTime);
    XSync(d, False);
    ready = true;
    XEvent e;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < until) {
      if (!XPending(d)) { usleep(2000); continue; }
      XNextEvent(d, &e);
      if (e.type != SelectionRequest) continue;
      XSelectionRequestEvent& q = e.xselectionrequest;
      if (q.target == utf8)
        XChangeProperty(d, q.requestor, q.property, utf8, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(theirs.data()), int(theirs.size()));
      xlib_client::reply(d, q, q.target == utf8 ? q.property : None);
      if (q.target == utf8) break;   // other targets asked first (TARGETS) are refused
    }
    XCloseDisplay(d);
  });
  while (!ready) usleep(1000);
  auto text = GetClipboardText();
  owner.join();
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, theirs);
}

TEST_F(x11, MovesByAnotherClientAreAUserMoveEndedByQuiet) {
  HWND h = CreateWindowEx(0, "Recorder", "", WS_POPUP | WS_THICKFRAME | WS_VISIBLE, 10, 10, 100, 100, HWND{}, HMENU{}, nullptr);
  ASSERT_TRUE(run_until([&] { return xd->mapped(h); }));
  g_seen.clear();
  Window w = Window(xd->native(h));
  XMoveResizeWindow(other, w, 30, 40, 150, 110);
  XFlush(other);
  run_until([&] { return saw(WM_SIZING); });
  XMoveResizeWindow(other, w, 30, 40, 160, 110);
  XFlush(other);
  ASSERT_TRUE(run_until([&] { return saw(WM_EXITSIZEMOVE); }));
  EXPECT_EQ(seen_of({WM_ENTERSIZEMOVE, WM_SIZING, WM_EXITSIZEMOVE}),
            (std::vector<uint32_t>{WM_ENTERSIZEMOVE, WM_SIZING, WM_SIZING, WM_EXITSIZEMOVE}));
  RECT r;
  GetWindowRect(h, r);
  EXPECT_EQ(r, (RECT{30, 40, 190, 150}));
}

TEST_F(x11, WaitMessageSleepsAfterPostedMessagesWereTaken) {
  HWND h = shown("Recorder", {10, 10, 60, 60});
  run_until([&] { return false; }, 100);
  PostMessage(h, WM_USER, 0, 0);
  MSG m;
  ASSERT_TRUE(PeekMessage(m, HWND{}, WM_USER, WM_USER, PM_REMOVE));
  SetTimer(h, 3, 100);
  auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(WaitMessage());
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_GE(ms, 80);   // it slept until the timer, not spun on a stale wake-up
  KillTimer(h, 3);
}

TEST_F(x11, XftDpiSetsTheMonitorsDpi) {
  shutdown();
  const char* db = "Xft.dpi:\t144\n";
  XChangeProperty(other, DefaultRootWindow(other), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(db), int(std::strlen(db)));
  XSync(other, False);
  auto d = x11_display::open(g_server->display.c_str());
  ASSERT_TRUE(d);
  EXPECT_EQ(d->xft_dpi(), 144u);
  EXPECT_EQ(d->monitors().at(0).dpi, 144u);
  XDeleteProperty(other, DefaultRootWindow(other), XA_RESOURCE_MANAGER);
  XSync(other, False);
  install(std::move(d));
}

// A top level asks the window manager for its position as the user's, for its client area.
TEST_F(x11, PositionHintsPlaceTheClientArea) {
  HWND h = shown("Recorder", {200, 120, 840, 600});
  XSizeHints sh{};
  long supplied = 0;
  ASSERT_TRUE(XGetWMNormalHints(other, Window(xd->native(h)), &sh, &supplied));
  EXPECT_TRUE(sh.flags & USPosition);
  ASSERT_TRUE(sh.flags & PWinGravity);
  EXPECT_EQ(sh.win_gravity, StaticGravity);
  EXPECT_EQ(sh.x, 200);
  EXPECT_EQ(sh.y, 120);
  MoveWindow(h, 260, 90, 640, 480, true);
  // The new hints reach the server once the loop flushes the display's connection.
  EXPECT_TRUE(run_until([&] {
    return XGetWMNormalHints(other, Window(xd->native(h)), &sh, &supplied) && sh.x == 260 && sh.y == 90;
  }));
}

// A settings daemon's XSETTINGS give the caret its blink phase; without one it is 500 ms.
TEST_F(x11, XSettingsGiveTheCaretBlinkTime) {
  EXPECT_EQ(xd->caret_blink_ms(), 500);
  EXPECT_EQ(GetCaretBlinkTime(), 500u);
  shutdown();
  Window owner = XCreateSimpleWindow(other, DefaultRootWindow(other), 0, 0, 1, 1, 0, 0, 0);
  Atom selection = XInternAtom(other, "_XSETTINGS_S0", False);
  Atom prop = XInternAtom(other, "_XSETTINGS_SETTINGS", False);
  auto publish = [&](const std::string& name, int32_t v) {
    // One integer setting, least significant byte first, as a daemon writes it.
    std::string b = {0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, char(name.size()), 0};
    b += name;
    b.append((4 - name.size() % 4) % 4, '\0');
    b.append(4, '\0');
    for (int i = 0; i < 4; ++i) b += char(uint32_t(v) >> (8 * i));
    XChangeProperty(other, owner, prop, prop, 8, PropModeReplace, reinterpret_cast<const unsigned char*>(b.data()),
                    int(b.size()));
    XSetSelectionOwner(other, selection, owner, CurrentTime);
    XSync(other, False);
  };
  publish("Net/CursorBlinkTime", 1060);
  auto d = x11_display::open(g_server->display.c_str());
  ASSERT_TRUE(d);
  EXPECT_EQ(d->caret_blink_ms(), 530);
  d.reset();
  publish("Net/CursorBlink", 0);
  d = x11_display::open(g_server->display.c_str());
  ASSERT_TRUE(d);
  EXPECT_EQ(d->caret_blink_ms(), -1);
  install(std::move(d));
  EXPECT_EQ(GetCaretBlinkTime(), INFINITE);
  XDestroyWindow(other, owner);
  XSync(other, False);
}

// The controls on a real X server, clicked and typed at through XTest.
class x11_controls : public x11 {
 protected:
  void SetUp() override {
    x11::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    register_control_classes();
  }
  std::vector<uint16_t> commands() {
    std::vector<uint16_t> out;
    for (auto& s : g_seen) if (s.msg == WM_COMMAND) out.push_back(HIWORD(s.wp));
    return out;
  }
  void click_at(int x, int y) {
    XTestFakeMotionEvent(other, 0, x, y, 0);
    XTestFakeButtonEvent(other, 1, True, 0);
    XTestFakeButtonEvent(other, 1, False, 0);
    XFlush(other);
  }
};

TEST_F(x11_controls, AButtonClickIsBnClicked) {
  HWND top = shown("Recorder", {10, 10, 310, 210});
  CreateWindowEx(0, "BUTTON", "OK", WS_CHILD | WS_VISIBLE, 20, 20, 100, 30, top, HMENU{}, nullptr);
  click_at(10 + 60, 10 + 35);
  ASSERT_TRUE(run_until([&] { return !commands().empty(); }));
  EXPECT_EQ(commands(), std::vector<uint16_t>{BN_CLICKED});
}

TEST_F(x11_controls, TypingGoesIntoAField) {
  HWND top = shown("Recorder", {10, 10, 310, 210});
  HWND e = CreateWindowEx(0, "EDIT", "", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL, 20, 20, 200, 24, top, HMENU{}, nullptr);
  click_at(10 + 40, 10 + 30);
  ASSERT_TRUE(run_until([&] { return GetFocus() == e; }));
  XSetInputFocus(other, Window(xd->native(top)), RevertToParent, CurrentTime);
  XSync(other, False);
  for (KeySym k : {XK_h, XK_i}) {
    KeyCode c = XKeysymToKeycode(other, k);
    XTestFakeKeyEvent(other, c, True, 0);
    XTestFakeKeyEvent(other, c, False, 0);
  }
  XFlush(other);
  ASSERT_TRUE(run_until([&] { return GetWindowText(e) == "hi"; }));
  std::vector<uint16_t> c = commands();
  EXPECT_EQ(std::count(c.begin(), c.end(), EN_CHANGE), 2);
}

TEST_F(x11_controls, ADropListPicksFromItsPopUp) {
  HWND top = shown("Recorder", {10, 10, 310, 250});
  HWND c = CreateWindowEx(0, "ComboBox", "", WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_HASSTRINGS, 20, 20, 200,
                          24, top, HMENU{}, nullptr);
  for (const char* item : {"one", "two", "three"}) SendMessage(c, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
  click_at(10 + 60, 10 + 30);
  ASSERT_TRUE(run_until([&] { return SendMessage(c, CB_GETDROPPEDSTATE, 0, 0) == 1; }));
  RECT lr;
  SendMessage(c, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&lr));
  HWND list = WindowFromPoint(POINT{lr.left + 5, lr.top + 5});
  ASSERT_TRUE(run_until([&] { return xd->mapped(list); }));
  // The pop-up is the layer's alone to place: the window manager does not frame it.
  XWindowAttributes wa;
  XGetWindowAttributes(other, Window(xd->native(list)), &wa);
  EXPECT_TRUE(wa.override_redirect);
  RECT item;
  SendMessage(list, LB_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&item));
  click_at(lr.left + 10, lr.top + 1 + (item.top + item.bottom) / 2);
  ASSERT_TRUE(run_until([&] { return SendMessage(c, CB_GETDROPPEDSTATE, 0, 0) == 0; }));
  EXPECT_EQ(SendMessage(c, CB_GETCURSEL, 0, 0), 2);
  EXPECT_EQ(GetWindowText(c), "three");
  std::vector<uint16_t> got = commands();
  EXPECT_NE(std::find(got.begin(), got.end(), CBN_SELCHANGE), got.end());
}

// Menus and dialogs on a real X server: their own loops run while XTest clicks and types,
// from steps a hidden window's timer plays inside those loops.
std::deque<std::function<bool()>> g_steps;   // each is tried on every tick until it answers true
std::chrono::steady_clock::time_point g_give_up;

LRESULT stepper_proc(HWND h, uint32_t m, WPARAM wp, LPARAM lp) {
  if (m != WM_TIMER) return DefWindowProc(h, m, wp, lp);
  if (!g_steps.empty() && g_steps.front()()) g_steps.pop_front();
  // A test whose input went astray ends its menu and dialogs rather than hang.
  if (std::chrono::steady_clock::now() > g_give_up) {
    EndMenu();
    for (HWND d : dialogs::running_dialogs()) PostMessage(d, WM_CLOSE, 0, 0);
  }
  return 0;
}

class x11_menus_dialogs : public x11_controls {
 protected:
  // Long enough for a dialog's first showing on a loaded machine (its fonts, its folder
  // listing): the guard is there to end a test whose input went astray, not to time it.
  static constexpr std::chrono::seconds give_up_after{60};
  HWND stepper{};
  void SetUp() override {
    x11_controls::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    g_steps.clear();
    g_give_up = std::chrono::steady_clock::now() + give_up_after;
    WNDCLASSEX wc;
    wc.lpszClassName = "Stepper";
    wc.lpfnWndProc = stepper_proc;
    RegisterClassEx(wc);
    stepper = CreateWindowEx(0, "Stepper", "", WS_POPUP, 0, 0, 1, 1, HWND{}, HMENU{}, nullptr);
    SetTimer(stepper, 1, 30);
  }
  void TearDown() override {
    g_steps.clear();
    x11_controls::TearDown();
  }
  // The top level of a class, once it shows on the server.
  HWND mapped_of(const char* cls) {
    for (HWND t : top_levels())
      if (GetClassName(t) == cls && xd->mapped(t)) return t;
    return HWND{};
  }
  void type_keys(std::initializer_list<KeySym> keys) {
    for (KeySym k : keys) {
      KeyCode c = XKeysymToKeycode(other, k);
      XTestFakeKeyEvent(other, c, True, 0);
      XTestFakeKeyEvent(other, c, False, 0);
    }
    XFlush(other);
  }
};

TEST_F(x11_menus_dialogs, APopupMenuIsChosenByClicks) {
  HWND owner = shown("Recorder", {10, 10, 410, 310});
  HMENU m = CreatePopupMenu();
  for (const char* c : {"Copy", "Paste", "Select All"}) {
    MENUITEMINFO mi;
    mi.fMask = MIIM_ID | MIIM_STRING;
    mi.wID = uint32_t(GetMenuItemCount(m));
    mi.dwTypeData = c;
    InsertMenuItem(m, mi.wID, true, mi);
  }
  bool redirected = false;
  g_steps.push_back([&] {
    HWND pop = mapped_of("#32768");
    if (is_null(pop)) return false;
    XWindowAttributes wa;
    XGetWindowAttributes(other, Window(xd->native(pop)), &wa);
    redirected = wa.override_redirect;
    RECT r = menus::item_rect(m, 1);
    click_at(r.left + r.width() / 2, r.top + r.height() / 2);
    return true;
  });
  g_seen.clear();
  TrackPopupMenuEx(m, TPM_LEFTBUTTON, 60, 60, owner);
  ASSERT_TRUE(run_until([&] { return saw(WM_COMMAND); }));
  EXPECT_TRUE(redirected);
  EXPECT_EQ(seen_of({WM_ENTERMENULOOP, WM_MENUSELECT, WM_EXITMENULOOP, WM_COMMAND}),
            (std::vector<uint32_t>{WM_ENTERMENULOOP, WM_MENUSELECT, WM_MENUSELECT, WM_EXITMENULOOP, WM_COMMAND}));
  for (auto& e : g_seen)
    if (e.msg == WM_COMMAND) EXPECT_EQ(e.wp, 1u);
  DestroyMenu(m);
}

TEST_F(x11_menus_dialogs, AFileNameIsTypedInTheDialog) {
  shown("Recorder", {10, 10, 410, 310});
  char t[] = "/tmp/vyr-x11-dialog-XXXXXX";
  std::string folder = std::string(mkdtemp(t)) + "/";
  dialogs::file_request q;
  q.folder = folder;
  q.filters = dialogs::default_filters();
  g_steps.push_back([&] {
    HWND d = mapped_of("#32770");
    if (is_null(d) || GetClassName(GetFocus()) != "EDIT" || !server_focus_on(d)) return false;
    type_keys({XK_t, XK_y, XK_p, XK_e, XK_d, XK_period, XK_t, XK_x, XK_t, XK_Return});
    return true;
  });
  auto r = dialogs::run_file_dialog(q);
  rmdir(folder.c_str());
  ASSERT_TRUE(r);
  EXPECT_EQ(*r, std::vector<std::string>{folder + "typed.txt"});
}

TEST_F(x11_menus_dialogs, AMessageBoxClosesOnEnter) {
  shown("Recorder", {10, 10, 410, 310});
  g_steps.push_back([&] {
    HWND d = mapped_of("#32770");
    if (is_null(d) || !server_focus_on(d)) return false;
    type_keys({XK_Return});
    return true;
  });
  auto t0 = std::chrono::steady_clock::now();
  dialogs::show_message_box({"Vyr", "Closed by Enter"});
  EXPECT_LT(std::chrono::steady_clock::now() - t0, give_up_after);
  EXPECT_TRUE(is_null(mapped_of("#32770")));
}

// A server that goes away makes GetMessage answer -1; the process goes on.
TEST(x11_lost, GetMessageGivesMinusOneWhenTheServerDies) {
  if (!have_program("Xvfb")) GTEST_SKIP() << "Xvfb is not installed: the X11 display is not tested";
  auto server = std::make_unique<xvfb>();
  ASSERT_TRUE(server->start());
  auto d = x11_display::open(server->display.c_str());
  ASSERT_TRUE(d);
  install(std::move(d));
  WNDCLASSEX wc;
  wc.lpszClassName = "Plain";
  wc.lpfnWndProc = DefWindowProc;
  RegisterClassEx(wc);
  HWND h = CreateWindowEx(0, "Plain", "", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, HWND{}, HMENU{}, nullptr);
  ASSERT_FALSE(is_null(h));
  server.reset();   // stops the server
  SetTimer(HWND{}, 0, 10);
  MSG m;
  int r = 1;
  for (int i = 0; i < 1000 && (r = GetMessage(m, HWND{}, 0, 0)) == 1; ++i) DispatchMessage(m);
  EXPECT_EQ(r, -1);
  DestroyWindow(h);
  shutdown();
}

// The GUI console as a person meets it on X11: `vyr` with DISPLAY set opens "Vyr Console",
// typed keys reach its prompt, its CLIPBOARD reaches another client and back, and a typed
// `quit` ends it with status 0.
static Window find_named(Display* d, Window w, const char* name) {
  char* got = nullptr;
  if (XFetchName(d, w, &got) && got) {
    bool same = std::strcmp(got, name) == 0;
    XFree(got);
    XWindowAttributes a;
    if (same && XGetWindowAttributes(d, w, &a) && a.map_state == IsViewable) return w;
  }
  Window root, parent, *kids = nullptr;
  unsigned n = 0;
  Window found = 0;
  if (XQueryTree(d, w, &root, &parent, &kids, &n)) {
    for (unsigned i = 0; i < n && !found; ++i) found = find_named(d, kids[i], name);
    if (kids) XFree(kids);
  }
  return found;
}

static void type_text(Display* d, const std::string& text) {
  KeyCode shift = XKeysymToKeycode(d, XK_Shift_L);
  for (char c : text) {
    KeySym ks = c == '\n' ? XK_Return : KeySym(static_cast<unsigned char>(c));
    KeyCode kc = XKeysymToKeycode(d, ks);
    bool shifted = c != '\n' && XkbKeycodeToKeysym(d, kc, 0, 0) != ks;
    if (shifted) XTestFakeKeyEvent(d, shift, True, 0);
    XTestFakeKeyEvent(d, kc, True, 0);
    XTestFakeKeyEvent(d, kc, False, 0);
    if (shifted) XTestFakeKeyEvent(d, shift, False, 0);
    XSync(d, False);
    usleep(5000);
  }
}

// The file's content, or "" when it cannot be read.
static std::string file_text(const std::string& path) {
  std::string text;
  if (FILE* f = std::fopen(path.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
  }
  return text;
}

// Waits up to 20 s for the file to hold something; its content.
static std::string file_when_written(const std::string& path) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  std::string text;
  while ((text = file_text(path)).empty() && std::chrono::steady_clock::now() < until) usleep(50000);
  return text;
}

// The console as a person starts it, on a private server, in a fresh HOME: no forced front
// end, display or collector stress. A script run first keeps the window hidden until the
// first prompt shows it, so that a viewable window means a prompt waits for the keys.
struct x11_console_run {
  xvfb server;
  char dir[32] = "/tmp/vyr-x11-console-XXXXXX";
  pid_t pid = -1;
  Display* x = nullptr;
  Window console = 0;

  // Starts the console and waits for its window to stay shown; false with a failure added.
  bool start() {
    server.screen = "1280x1024x24";   // room for the window and its bar at its place
    if (!server.start()) { ADD_FAILURE() << "Xvfb did not start"; return false; }
    if (!mkdtemp(dir)) { ADD_FAILURE() << "no temporary folder"; return false; }
    pid = fork();
    if (pid == 0) {
      if (chdir(dir) != 0) _exit(126);
      setenv("DISPLAY", server.display.c_str(), 1);
      setenv("HOME", dir, 1);
      for (const char* v : {"VYR_CONSOLE", "VYR_DISPLAY", "VYR_HEADLESS_INPUT", "VYR_GC_STRESS"}) unsetenv(v);
      int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      if (FILE* f = std::fopen("first.vyr", "w")) {
        std::fputs("Vyr [] x: 1\n", f);
        std::fclose(f);
      }
      execl(VYR_EXE, VYR_EXE, "--catch", "first.vyr", static_cast<char*>(nullptr));
      _exit(127);
    }
    x = XOpenDisplay(server.display.c_str());
    if (!x) { ADD_FAILURE() << "no connection to Xvfb"; return false; }
    // The window may show for a moment while it is made; the prompt's shows it for good.
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < until) {
      Window w = find_named(x, DefaultRootWindow(x), "Vyr Console");
      if (w && w == console) break;
      console = w;
      usleep(w ? 1000000 : 50000);
    }
    if (!console) { ADD_FAILURE() << "no \"Vyr Console\" window"; return false; }
    XSetInputFocus(x, console, RevertToParent, CurrentTime);
    XSync(x, False);
    usleep(300000);
    return true;
  }
  // Waits for the console to end; its exit status, or -1 when it had to be killed.
  int finish() {
    int status = -1;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < until) {
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      usleep(50000);
    }
    return -1;
  }
  // A file of the console's folder (its HOME).
  std::string path(const std::string& name) const { return std::string(dir) + "/" + name; }
  ~x11_console_run() {
    if (x) XCloseDisplay(x);
    if (pid > 0) kill(pid, SIGKILL), waitpid(pid, nullptr, 0);
    if (dir[std::strlen(dir) - 1] != 'X') std::system((std::string("rm -rf ") + dir).c_str());
  }
};

class x11_console : public ::testing::Test {
 protected:
  x11_console_run run;
  void SetUp() override {
    if (!have_program("Xvfb")) GTEST_SKIP() << "Xvfb is not installed: the X11 console is not tested";
    ASSERT_TRUE(run.start());
  }
};

// Keys typed while a command runs reach no prompt and are dropped (as keys typed after
// Enter, before the prompt's loop has ended, are): each command is typed once the one
// before it has shown its effect.
TEST_F(x11_console, TypedCommandsReachThePromptAndQuitEndsIt) {
  Display* x = run.x;
  type_text(x, "write %typed.txt append \"o\" \"k\"\n");
  EXPECT_EQ(file_when_written(run.path("typed.txt")), "ok");
  // The CLIPBOARD, served to a second client and read from one, when xclip is there.
  std::string served;
  bool clipboard_tested = false;
  if (have_program("xclip")) {
    type_text(x, "write-clipboard \"served\"\n");
    std::string env = "DISPLAY=" + run.server.display + " ";
    for (int i = 0; i < 40 && served != "served"; ++i) {
      usleep(250000);
      if (FILE* p = popen((env + "timeout 10 xclip -o -selection clipboard 2>/dev/null").c_str(), "r")) {
        char buf[64];
        size_t n = std::fread(buf, 1, sizeof buf, p);
        served.assign(buf, n);
        pclose(p);
      }
    }
    std::system(("printf fetched | " + env + "timeout 20 xclip -i -selection clipboard").c_str());
    type_text(x, "write %pasted.txt read-clipboard\n");
    EXPECT_EQ(file_when_written(run.path("pasted.txt")), "fetched");
    clipboard_tested = true;
  }
  type_text(x, "quit\n");
  EXPECT_EQ(run.finish(), 0);
  if (clipboard_tested) EXPECT_EQ(served, "served");
}

// The console window opens where its settings say (the defaults: 640x480 at 200, 200), F12
// takes its menu bar away (the window keeps its place, the client area takes the bar's
// room), and a typed `quit` saves that in the settings file and ends with status 0.
TEST_F(x11_console, TheWindowKeepsItsSettings) {
  Display* x = run.x;
  XWindowAttributes a;
  ASSERT_TRUE(XGetWindowAttributes(x, run.console, &a));
  int left = 0, top = 0;
  Window child;
  XTranslateCoordinates(x, run.console, DefaultRootWindow(x), 0, 0, &left, &top, &child);
  EXPECT_EQ(a.width, 640);
  EXPECT_EQ(left, 200);
  // The X window shows the menu bar above the client area, which starts at y 200.
  EXPECT_GT(a.height, 480);
  EXPECT_EQ(top + a.height - 480, 200);
  KeyCode f12 = XKeysymToKeycode(x, XK_F12);
  XTestFakeKeyEvent(x, f12, True, 0);
  XTestFakeKeyEvent(x, f12, False, 0);
  XSync(x, False);
  int shown_height = a.height;
  type_text(x, "quit\n");
  EXPECT_EQ(run.finish(), 0);
  std::string cfg = file_text(run.path(".vyr/Vyr-Console/console-cfg.vyr"));
  EXPECT_NE(cfg.find("Purpose: \"Vyr Console Configuration File\""), std::string::npos) << cfg;
  EXPECT_NE(cfg.find("menu-bar?: false"), std::string::npos) << cfg;
  EXPECT_NE(cfg.find("win-pos: (200, 200)"), std::string::npos) << cfg;
  EXPECT_NE(cfg.find("win-size: 640x" + std::to_string(shown_height)), std::string::npos) << cfg;
  EXPECT_NE(cfg.find("\"quit\""), std::string::npos) << cfg;   // the history
}

}  // namespace vyr::win::test
