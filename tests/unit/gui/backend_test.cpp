// The backend's start-up, DPI state and core helpers, on the headless display.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "boot/environment.h"
#include "gui/win/controls/ctlnum.h"
#include "gui/backend/backend.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/float.h"
#include "runtime/datatypes/percent.h"
#include "gui_entry/display_choice.h"
#include "gui/win/headless/answers.h"
#include "gui/win/headless/display.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/series.h"
#include "runtime/stack.h"
#include "runtime/lexer/lexer_load.h"
#include "runtime/value_slots.h"
#include "tests/unit/fixture.h"
#include "tests/unit/value_helpers.h"
#include "gui/backend/displays.h"

namespace vyr::test {
using namespace vyr::gui;

class backend : public ::testing::Test {
 protected:
  win::headless_display* hd = nullptr;
  void SetUp() override { ensure_runtime(); }
  void TearDown() override {
    gui::shutdown();
    unsetenv("VYR_HEADLESS_SCREENS");
    unsetenv("VYR_DISPLAY");
    unsetenv("VYR_DARK_MODE");
  }
  void start(const char* screens) {
    gui::shutdown();
    setenv("VYR_HEADLESS_SCREENS", screens, 1);
    gui::init();
    hd = static_cast<win::headless_display*>(win::current_display());
  }
  // A block loaded from source text, kept as a root by the caller.
  cell load(const char* text) {
    cell out{TYPE_NONE, 0, 0, 0};
    lexer::scan(&out, reinterpret_cast<const u8*>(text), u32(std::strlen(text)));
    return out;
  }
  cell run(const std::string& text) { return run_in_environment(text); }
};

TEST_F(backend, HeadlessScreensSetTheStartingDpi) {
  start("2880x1620+0+0@144");
  EXPECT_EQ(g().dpi_x, 144);
  EXPECT_EQ(g().metrics.dpi, 144);
  EXPECT_EQ(g().metrics.scroller_x, 26);   // 17 at 96 DPI through to-pixels at 1.5
  EXPECT_EQ(get_screen_size().cx, 1920);
  EXPECT_EQ(get_screen_size().cy, 1080);
  EXPECT_EQ(g().metrics.panel[0], 240);
  EXPECT_EQ(g().default_size, 9);
}

TEST_F(backend, InitWritesIntoTheViewObjects) {
  run("gui-m: make object! [screen-size: dpi: none paddings: margins: def-heights: fixed-heights: misc: make map! 32 "
      "colors: make map! 10] gui-f: make object! [system: fixed: sans-serif: serif: size: none] "
      "gui-p: make object! [version: build: product: none]");
  cell m = run("gui-m"), f = run("gui-f"), p = run("gui-p");   // kept by their words
  set_view_objects(&m, &f, &p);
  start("2880x1620+0+0@144");
  cell r = run("mold reduce [gui-m/dpi select gui-m/misc 'scroller select gui-m/colors 'panel "
               "select gui-m/colors 'text gui-f/system gui-f/size gui-p/version gui-p/build gui-p/product]");
  EXPECT_EQ(form_text(r), "[144 26x26 240.240.240 0.0.0 \"sans-serif\" 9 10.0.0 0 1]");
  set_view_objects(nullptr, nullptr, nullptr);
}

TEST_F(backend, ToPixelsTruncatesValueTimesScalePlusAHalf) {
  start("1920x1080+0+0@96");
  struct { i32 dpi; float v; i32 px; } cases[] = {
    {96, 10.5f, 11}, {96, 10.4f, 10}, {96, -1.2f, 0}, {96, -1.6f, -1},
    {144, 10.5f, 16}, {144, 10.4f, 16}, {144, -1.2f, -1}, {144, -1.6f, -1}};
  for (auto& c : cases) {
    set_dpi(c.dpi);
    EXPECT_EQ(to_pixels(c.v), c.px) << c.dpi << " " << c.v;
  }
  set_dpi(144);
  EXPECT_FLOAT_EQ(to_logical(15), 10.0f);
}

TEST_F(backend, DpiIsNeverZero) {
  start("1920x1080+0+0@96");
  set_dpi(0);
  EXPECT_EQ(g().dpi_x, 96);
  EXPECT_EQ(get_screen_size().cx, 1920);
  EXPECT_FLOAT_EQ(to_logical(96), 96.0f);
}

TEST_F(backend, DpiFromRectSettlesAcrossScreensOfDifferentDpi) {
  start("1000x1000+0+0@96,1000x1000+1000+0@144");
  struct { i32 start; float x, w; i32 want; } cases[] = {
    {96, 100, 200, 96}, {96, 1200, 200, 144}, {144, 100, 200, 96},
    // Mostly on the right at 96 DPI, and still there once scaled by 1.5.
    {96, 900, 300, 144}};
  for (auto& c : cases) {
    set_dpi(c.start);
    set_dpi_from_rect(c.x, 100, c.w, 100);
    EXPECT_EQ(g().dpi_x, c.want) << c.x;
  }
  // A rectangle that flips between the screens at each scale: the cursor's screen decides.
  start("1000x1000+0+0@144,1000x1000+1000+0@96");
  win::SetCursorPos(1500, 500);
  set_dpi(96);
  set_dpi_from_rect(600, 100, 300, 100);
  EXPECT_EQ(g().dpi_x, 96);
  win::SetCursorPos(500, 500);
  set_dpi(96);
  set_dpi_from_rect(600, 100, 300, 100);
  EXPECT_EQ(g().dpi_x, 144);
}

TEST_F(backend, DpiScopesRestore) {
  start("1000x1000+0+0@96,1000x1000+1000+0@144");
  win::WNDCLASSEX wc;
  wc.lpszClassName = "Plain";
  wc.lpfnWndProc = win::DefWindowProc;
  win::RegisterClassEx(wc);
  win::HWND right = win::CreateWindowEx(0, "Plain", "", win::WS_POPUP, 1100, 100, 100, 100, win::HWND{}, win::HMENU{}, nullptr);
  set_dpi(96);
  i32 saved = enter_dpi_scope(right);
  EXPECT_EQ(g().dpi_x, 144);
  i32 inner = enter_dpi_scope(win::HWND{});
  leave_dpi_scope(inner);
  EXPECT_EQ(g().dpi_x, 144);
  leave_dpi_scope(saved);
  EXPECT_EQ(g().dpi_x, 96);
  EXPECT_EQ(g().scope_depth, 0);
}

TEST_F(backend, ScreensAreListedAndTheTableGrows) {
  std::string many;
  for (int i = 0; i < 12; ++i) many += (i ? "," : "") + std::to_string(100) + "x100+" + std::to_string(i * 100) + "+0@" + (i % 2 ? "144" : "96");
  start(many.c_str());
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard guard(&out);
  OS_fetch_all_screens(&out);
  ASSERT_EQ(block::rs_length_q(&out), 12);
  EXPECT_EQ(g().monitors.size(), 12u);
  cell second = *block::rs_abs_at(&out, 1);
  ASSERT_EQ(type_of(&second), u32(TYPE_BLOCK));
  ASSERT_EQ(block::rs_length_q(&second), 4);
  const cell* offset = block::rs_abs_at(&second, 0);
  const cell* scale = block::rs_abs_at(&second, 2);
  const cell* handle = block::rs_abs_at(&second, 3);
  EXPECT_EQ(type_of(offset), u32(TYPE_PAIR));
  EXPECT_EQ(pair::x_of(offset), 100);
  EXPECT_DOUBLE_EQ(cell_float(scale), 1.5);
  EXPECT_EQ(handle::kind_of(handle), HANDLE_MONITOR);
  EXPECT_EQ(g().monitors[11].dpi, 144);
  cell cur;
  OS_get_current_screen(&cur);
  EXPECT_EQ(type_of(&cur), u32(TYPE_HANDLE));
}

TEST_F(backend, DarkModeFollowsThePreferenceUnlessHighContrast) {
  start("1920x1080+0+0@96");
  EXPECT_FALSE(system_dark_mode_q());
  setenv("VYR_DARK_MODE", "1", 1);
  EXPECT_TRUE(system_dark_mode_q());
  EXPECT_TRUE(support_dark_mode_q());
  hd->contrast = true;
  EXPECT_FALSE(system_dark_mode_q());
  EXPECT_FALSE(support_dark_mode_q());
}

TEST(display_choice, TheFrontEndAndTheDisplayFromTheSwitchAndTheEnvironment) {
  using namespace gui_module;
  const front_end T = front_end::text, G = front_end::gui;
  const display_kind H = display_kind::headless, X = display_kind::x11;
  struct row { bool cli; const char *console, *display, *vyr_display; front_end front; display_kind want; };
  const row rows[] = {
      {false, "", "", "", T, H},                 // no display: text mode, silently
      {false, "", ":0", "", G, X},               // a DISPLAY: the GUI console on X11
      {true, "", ":0", "", T, H},                // --cli wins over everything
      {true, "gui", ":0", "x11", T, X},
      {false, "gui", "", "", G, H},              // asked for, with no X: headless
      {false, "gui", ":0", "", G, X},
      {false, "gui", ":0", "headless", G, H},
      {false, "gui", "", "x11", G, X},
      {false, "", "", "headless", T, H},         // VYR_DISPLAY=headless alone never the GUI
      {false, "", ":0", "headless", T, H},
      {false, "", "", "x11", T, X},              // a script's windows on X, the console in text
      {false, "text", "", "", T, H},
      {false, "", ":0", "wayland", G, X},
  };
  for (const row& r : rows) {
    display_choice_t c = choose({r.cli, r.console, r.display, r.vyr_display});
    EXPECT_EQ(c.front, r.front) << r.cli << " " << r.console << " " << r.display << " " << r.vyr_display;
    EXPECT_EQ(c.display, r.want) << r.cli << " " << r.console << " " << r.display << " " << r.vyr_display;
  }
  EXPECT_TRUE(cli_switch({"vyr", "--catch", "--cli", "a.vyr"}));
  EXPECT_FALSE(cli_switch({"vyr", "a.vyr", "--cli"}));
  EXPECT_FALSE(cli_switch({"vyr", "--", "--cli"}));
}

TEST_F(backend, TheDisplayOpensAsChosenWithItsDialogs) {
  auto headless = [](const opened_display& o) {
    return dynamic_cast<win::headless_display*>(o.display.get()) != nullptr &&
           dynamic_cast<win::answer_queue*>(o.dialogs.get()) != nullptr;
  };
  setenv("VYR_DISPLAY", "headless", 1);
  opened_display o = open_display();
  EXPECT_TRUE(headless(o));
  EXPECT_TRUE(o.warning.empty());
  setenv("VYR_DISPLAY", "x11", 1);
  std::string saved = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
  setenv("DISPLAY", ":987654", 1);
  o = open_display();
  EXPECT_TRUE(headless(o));
  EXPECT_FALSE(o.warning.empty());
  if (saved.empty()) unsetenv("DISPLAY"); else setenv("DISPLAY", saved.c_str(), 1);
  unsetenv("VYR_DISPLAY");
  setenv("VYR_HEADLESS_SCREENS", "nonsense", 1);
  o = open_display();
  EXPECT_EQ(o.display->monitors()[0].rect.width(), 1920);
  EXPECT_NE(o.warning.find("VYR_HEADLESS_SCREENS"), std::string::npos);
}

// One clipboard: the headless display's is the host's store, what read-clipboard and
// write-clipboard use, from before the GUI started and after.
TEST_F(backend, TheHeadlessClipboardIsTheHostStore) {
  cell wrote = run("write-clipboard \"before\"");
  ASSERT_EQ(type_of(&wrote), u32(TYPE_LOGIC));
  start("1920x1080+0+0@96");
  EXPECT_EQ(win::GetClipboardText(), "before");
  EXPECT_TRUE(win::SetClipboardText("from the display"));
  cell got = run("read-clipboard");
  EXPECT_EQ(string::to_utf8(&got), "from the display");
  run("write-clipboard none");
  EXPECT_FALSE(win::GetClipboardText());
}

TEST_F(backend, UnitValueClampsNumbers) {
  cell pct;
  percent::make_at(&pct, 1.5);
  cell neg{TYPE_INTEGER, 0, static_cast<u32>(-5), 0};
  cell half;
  float_::make_at(&half, 0.25);
  cell text{TYPE_STRING, 0, 0, 0};
  EXPECT_EQ(unit_value(&pct), 1.0);
  EXPECT_EQ(unit_value(&neg), 0.0);
  EXPECT_EQ(unit_value(&half), 0.25);
  EXPECT_EQ(unit_value(&text), -1.0);
  EXPECT_EQ(scale_by(&half, 8), 2.0);
  EXPECT_EQ(scale_by(&neg, 8), 0.0);
  u8 rgba[4] = {1, 2, 3, 9};
  cell c3, c4, c4clear;
  tuple::make_at(&c3, rgba, 3);
  tuple::make_at(&c4, rgba, 4);
  u8 opaque[4] = {1, 2, 3, 0};
  tuple::make_at(&c4clear, opaque, 4);
  EXPECT_EQ(color_of(&c3, 0), 0x030201);
  EXPECT_EQ(color_of(&text, 0), -1);
  EXPECT_FALSE(transparent_color_q(&c3));
  EXPECT_TRUE(transparent_color_q(&c4));
  EXPECT_FALSE(transparent_color_q(&c4clear));
}

TEST_F(backend, CursorOptionPicksTheSharedCursor) {
  start("1920x1080+0+0@96");
  win::WNDCLASSEX wc;
  wc.lpszClassName = "Plain";
  wc.lpfnWndProc = win::DefWindowProc;
  win::RegisterClassEx(wc);
  win::HWND h = win::CreateWindowEx(0, "Plain", "", win::WS_POPUP, 0, 0, 10, 10, win::HWND{}, win::HMENU{}, nullptr);
  struct { const char* options; u32 shape; } cases[] = {
    {"[cursor: I-beam]", win::IDC_IBEAM}, {"[cursor: hand]", win::IDC_HAND}, {"[cursor: resize-ew]", win::IDC_SIZEWE},
    {"[cursor: arrow]", win::IDC_ARROW}, {"[cursor: whatever]", win::IDC_ARROW}, {"[cursor: 12]", 0},
    {"[cursor: hand extra]", 0}, {"[other: hand]", 0}};
  for (auto& c : cases) {
    cell b = load(c.options);
    collector::root_guard guard(&b);
    cell first = *block::rs_abs_at(&b, 0);   // the scanner answers a block holding the items
    set_cursor_option(h, type_of(&first) == TYPE_BLOCK ? &first : &b);
    u32 slot = win::extra(h)->cursor;
    if (c.shape == 0) {
      EXPECT_EQ(slot, 0u) << c.options;
    } else {
      EXPECT_TRUE(slot & CURSOR_FROM_OPTION) << c.options;
      EXPECT_EQ(win::cursor_shape(win::HCURSOR(slot & ~CURSOR_FROM_OPTION)), c.shape) << c.options;
    }
  }
}

// A text field stand-in that records the edit messages it gets.
static std::vector<std::pair<uint32_t, std::string>> g_edit;
static u32 g_sel_start, g_sel_end;
static win::LRESULT edit_proc(win::HWND h, uint32_t m, win::WPARAM wp, win::LPARAM lp) {
  switch (m) {
    case win::EM_SETCUEBANNER: g_edit.push_back({m, reinterpret_cast<const char*>(lp)}); return 1;
    case win::EM_SETTABSTOPS: g_edit.push_back({m, std::to_string(*reinterpret_cast<const i32*>(lp))}); return 1;
    case win::EM_GETSEL:
      *reinterpret_cast<u32*>(wp) = g_sel_start;
      *reinterpret_cast<u32*>(lp) = g_sel_end;
      return 0;
  }
  return win::DefWindowProc(h, m, wp, lp);
}

TEST_F(backend, FieldOptionsSendEditMessages) {
  start("1920x1080+0+0@96");
  win::WNDCLASSEX wc;
  wc.lpszClassName = "RecordingEdit";
  wc.lpfnWndProc = edit_proc;
  win::RegisterClassEx(wc);
  win::HWND h = win::CreateWindowEx(0, "RecordingEdit", "", win::WS_POPUP, 0, 0, 10, 10, win::HWND{}, win::HMENU{}, nullptr);
  g_edit.clear();
  cell opts = run("reduce ['hint \"type h\u00e9re\" 'tabs 8 'accelerated true]");
  collector::root_guard guard(&opts);
  set_hint(h, &opts);
  set_tabs(h, &opts);
  EXPECT_EQ(g_edit, (std::vector<std::pair<uint32_t, std::string>>{
                        {win::EM_SETCUEBANNER, "type h\u00e9re"}, {win::EM_SETTABSTOPS, "16"}, {win::EM_SETTABSTOPS, "32"}}));
  EXPECT_EQ(accelerated_style(&opts, true), win::WS_EX_LAYERED);
  EXPECT_EQ(accelerated_style(&opts, false), win::WS_EX_LAYERED | win::WS_EX_TOOLWINDOW);
  cell plain = run("[tabs]");
  collector::root_guard guard2(&plain);
  g_edit.clear();
  set_tabs(h, &plain);
  EXPECT_EQ(g_edit.size(), 1u);
  EXPECT_EQ(accelerated_style(&plain, true), 0u);
  cell face = run("make object! [type: offset: size: text: image: color: menu: data: enabled?: visible?: selected: none]");
  collector::root_guard guard3(&face);
  g_sel_start = 2;
  g_sel_end = 5;
  get_area_selection(h, &face);
  EXPECT_EQ(type_of(facet(&face, facet_index::selected)), u32(TYPE_PAIR));
  EXPECT_EQ(pair::x_of(facet(&face, facet_index::selected)), 3);
  EXPECT_EQ(pair::y_of(facet(&face, facet_index::selected)), 5);
  g_sel_start = g_sel_end = 4;
  get_area_selection(h, &face);
  EXPECT_EQ(type_of(facet(&face, facet_index::selected)), u32(TYPE_NONE));
}

TEST_F(backend, FacesAttachToWindowsAndAreReleased) {
  start("1920x1080+0+0@96");
  win::WNDCLASSEX wc;
  wc.lpszClassName = "Plain";
  wc.lpfnWndProc = win::DefWindowProc;
  win::RegisterClassEx(wc);
  win::HWND top = win::CreateWindowEx(0, "Plain", "", win::WS_POPUP | win::WS_VISIBLE, 0, 0, 300, 200, win::HWND{}, win::HMENU{}, nullptr);
  win::HWND kid = win::CreateWindowEx(0, "Plain", "", win::WS_CHILD | win::WS_VISIBLE, 10, 10, 50, 50, top, win::HMENU{}, nullptr);
  cell face = run(
      "make object! [type: 'window offset: size: text: image: color: menu: data: enabled?: visible?: "
      "selected: none flags: options: parent: none pane: [] state: [0 0 none false] rate: edge: para: font: "
      "actors: extra: draw: facet-23: facet-24: none]");
  collector::root_guard guard(&face);
  ASSERT_EQ(type_of(&face), u32(TYPE_OBJECT));
  cell* state = facet(&face, facet_index::state);
  handle::make_at(block::rs_abs_at(state, 0), win::raw(top), HANDLE_WINDOW);
  EXPECT_EQ(face_handle_q(&face), win::raw(top));
  EXPECT_EQ(facet(&face, 99), nullptr);
  attach_face(top, &face);
  u32 slot = has_face_q(top);
  ASSERT_NE(slot, 0u);
  attach_face(top, &face);   // a window keeps its first face
  EXPECT_EQ(has_face_q(top), slot);
  EXPECT_EQ(type_of(face_values(top) + facet_index::type), u32(TYPE_WORD));
  // Events of a child without a face belong to its parent's face.
  win::MSG m;
  m.hwnd = kid;
  EXPECT_EQ(event_window(m), win::raw(top));
  m.hwnd = win::HWND{};
  m.pt = {1500, 900};
  EXPECT_EQ(event_window(m), NO_WINDOW);
  EXPECT_EQ(child_at(top, {20, 20}), kid);
  EXPECT_EQ(child_at(top, {200, 150}), top);
  i32 x = -1, y = -1, dx = -1, dy = -1;
  window_frame(kid, &x, &y, &dx, &dy);
  EXPECT_EQ(x, 10);
  EXPECT_EQ(dx, 0);
  // A child face in the pane is released with it.
  cell kid_face = run(
      "make object! [type: 'base offset: size: text: image: color: menu: data: enabled?: visible?: "
      "selected: flags: options: parent: pane: none state: [0 0 none false] rate: 5 edge: para: font: "
      "actors: extra: draw: facet-23: facet-24: none]");
  collector::root_guard kid_guard(&kid_face);
  handle::make_at(block::rs_abs_at(facet(&kid_face, facet_index::state), 0), win::raw(kid), HANDLE_WINDOW);
  attach_face(kid, &kid_face);
  cell pane = *facet(&face, facet_index::pane);   // the block's node stays put
  block::rs_append(&pane, &kid_face);
  win::SetTimer(kid, 1, 50);
  free_face(&face, true);
  EXPECT_EQ(has_face_q(kid), 0u);
  EXPECT_EQ(type_of(facet(&kid_face, facet_index::state)), u32(TYPE_NONE));
  EXPECT_FALSE(win::KillTimer(kid, 1));   // the rate timer went with the face
  EXPECT_EQ(has_face_q(top), 0u);
  EXPECT_EQ(type_of(facet(&face, facet_index::state)), u32(TYPE_NONE));
  EXPECT_FALSE(win::IsWindowVisible(top));
  win::MSG q;
  ASSERT_TRUE(win::PeekMessage(q, win::HWND{}, win::WM_CLOSE, win::WM_CLOSE, win::PM_REMOVE));
  EXPECT_EQ(q.hwnd, top);
}

TEST_F(backend, ScrollerFieldsDriveTheParentsBar) {
  start("1920x1080+0+0@96");
  win::WNDCLASSEX wc;
  wc.lpszClassName = "Plain";
  wc.lpfnWndProc = win::DefWindowProc;
  win::RegisterClassEx(wc);
  win::HWND h = win::CreateWindowEx(0, "Plain", "", win::WS_POPUP, 0, 0, 100, 300, win::HWND{}, win::HMENU{}, nullptr);
  cell sc = run(
      "make object! [position: 30 page-size: 10 min-size: 5 max-size: 100 visible?: true vertical?: true "
      "parent: make object! [type: offset: size: text: image: color: menu: data: enabled?: visible?: selected: "
      "flags: options: parent: pane: none state: [0 0 none false]]]");
  collector::root_guard guard(&sc);
  cell* parent = facet(&sc, facet_index::scroller_parent);
  handle::make_at(block::rs_abs_at(facet(parent, facet_index::state), 0), win::raw(h), HANDLE_WINDOW);
  update_scroller(&sc, 2);   // min-size alone does not touch the bar
  win::SCROLLINFO si;
  win::GetScrollInfo(h, win::SB_VERT, si);
  EXPECT_EQ(si.nMax, 0);
  update_scroller(&sc, 3);
  update_scroller(&sc, 0);
  update_scroller(&sc, 4);
  win::GetScrollInfo(h, win::SB_VERT, si);
  EXPECT_EQ(si.nMin, 1);
  EXPECT_EQ(si.nMax, 100);
  EXPECT_EQ(si.nPage, 10u);
  EXPECT_EQ(si.nPos, 30);
  EXPECT_TRUE(win::scroll_bar_shown(h, win::SB_VERT));
  EXPECT_FALSE(win::scroll_bar_shown(h, win::SB_HORZ));
}

TEST_F(backend, CaretGoesToTheOwnerAndIsReleasedWithIt) {
  start("1920x1080+0+0@96");
  win::WNDCLASSEX wc;
  wc.lpszClassName = "Plain";
  wc.lpfnWndProc = win::DefWindowProc;
  win::RegisterClassEx(wc);
  win::HWND owner = win::CreateWindowEx(0, "Plain", "", win::WS_POPUP, 0, 0, 100, 100, win::HWND{}, win::HMENU{}, nullptr);
  win::HWND caret = win::CreateWindowEx(0, "Plain", "", win::WS_CHILD, 0, 0, 2, 12, owner, win::HMENU{}, nullptr);
  win::SetWindowLong(caret, gui::slot::caret_owner, win::raw(owner));
  cell values[3];
  values[0] = cell{TYPE_NONE, 0, 0, 0};
  values[1] = values[0];
  point2D::make_at(&values[2], 2.9f, 14.2f);
  create_caret(caret, values);
  win::POINT p;
  EXPECT_TRUE(win::GetCaretPos(p));
  EXPECT_TRUE(win::GetWindowLong(owner, gui::slot::flags) & WINDOW_OWNS_CARET);
  release_window_extras(owner);
  EXPECT_FALSE(win::GetCaretPos(p));
  EXPECT_FALSE(win::GetWindowLong(owner, gui::slot::flags) & WINDOW_OWNS_CARET);
}

TEST_F(backend, DefaultFontIsNinePointsAndResolvesLazily) {
  start("2880x1620+0+0@144");
  win::LOGFONT lf;
  ASSERT_TRUE(win::GetObject(g().default_font, lf));
  EXPECT_EQ(lf.lfHeight, -18);
  EXPECT_EQ(g().default_size, 9);
  EXPECT_FALSE(default_font_face().empty());
  EXPECT_NE(default_font_face(), "sans-serif");
  // A window gets its own copy, replaced on reload.
  win::WNDCLASSEX wc;
  wc.lpszClassName = "Plain";
  wc.lpfnWndProc = win::DefWindowProc;
  win::RegisterClassEx(wc);
  win::HWND h = win::CreateWindowEx(0, "Plain", "", win::WS_POPUP, 0, 0, 10, 10, win::HWND{}, win::HMENU{}, nullptr);
  load_default_font(h);
  u32 first = u32(win::GetWindowLong(h, gui::slot::own_font));
  ASSERT_NE(first, 0u);
  load_default_font(h);
  EXPECT_FALSE(win::GetObject(win::HFONT(first), lf));
  EXPECT_NE(u32(win::GetWindowLong(h, gui::slot::own_font)), 0u);
}

}  // namespace vyr::test
