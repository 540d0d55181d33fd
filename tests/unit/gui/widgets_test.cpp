// The control face types on the headless display, driven as the View engine drives them
// (make-view, update-view with the change mask, on-change-facet) and by injected input:
// what the user does becomes events and facets, what the language sets reaches the controls.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "boot/environment.h"
#include "gui/backend/base_face.h"
#include "gui_entry/module.h"
#include "gui/backend/events.h"
#include "gui/module.h"
#include "gui/win/controls/controls.h"
#include "gui/win/headless/display.h"
#include "runtime/collector.h"
#include "runtime/datatypes/event.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/word.h"
#include "tests/unit/fixture.h"
#include "tests/unit/gui/gui_fixture.h"
#include "tests/unit/value_helpers.h"

namespace vyr::test {
using namespace vyr::gui;
namespace ev = vyr::event;

namespace {
// Faces as the View engine makes them, realised through the platform routines.
const char* const prelude = R"(
face!: make object! [
  type: 'face offset: 0x0 size: 100x24 text: none image: none color: none menu: none data: none
  enabled?: true visible?: true selected: none flags: none options: none parent: none pane: none
  state: none rate: none edge: none para: none font: none actors: none extra: none draw: none
]
font!: make object! [name: none size: none style: none angle: 0 color: none anti-alias?: false shadow: none state: none parent: none]
para!: make object! [origin: none padding: none scroll: none align: none v-align: none wrap?: false parent: none]
show-face: func [f [object!] parent [handle!]] [
  f/state: reduce [system/view/platform/make-view f parent 0 none false]
]
push: func [f [object!] word [word!] /local i] [
  i: index? find words-of f word
  f/state/2: f/state/2 or shift/left 1 i - 1
  system/view/platform/update-view f
]
win: make face! [type: 'window size: 600x400 text: "Widgets"]
show-face win system/view/platform/make-null-handle
kid: func [spec [block!] /local f] [
  f: make face! spec
  f/parent: win
  show-face f win/state/1
  f
]
)";

std::vector<std::string> seen;                        // "type text picked", one per event
std::function<std::string(const std::string&)> answer; // type -> word the handler answers

cell recorder(const cell* e) {
  cell out;
  std::string line;
  for (u32 field : {ev::F_TYPE, ev::F_PICKED}) {
    ev::get_field(e, field, &out);
    line += (line.empty() ? "" : " ") + mold_text(out);
  }
  seen.push_back(line);
  std::string a = answer ? answer(line.substr(0, line.find(' '))) : "";
  return a.empty() ? cell{TYPE_NONE, 0, 0, 0} : word::intern(a.c_str());
}
}  // namespace

class widgets : public ::testing::Test {
 protected:
  win::headless_display* hd = nullptr;
  void SetUp() override { start("1920x1080+0+0@96"); }
  void start(const char* screens) {
    hd = start_gui_module(screens);
    seen.clear();
    answer = nullptr;
    awake = recorder;
    quiet_errors = true;
    loop() = loop_state{};
    base() = base_state{};
    run(prelude);
    win::HWND top = hwnd("win");
    win::ShowWindow(top, win::SW_SHOW);
    win::SetActiveWindow(top);
    pump();
    seen.clear();
  }
  void TearDown() override {
    awake = nullptr;
    answer = nullptr;
    stop_gui_module();
  }
  cell run(const std::string& text) { return run_reporting(text); }
  std::string eval(const std::string& text) { return mold_text(run(text)); }
  win::HWND hwnd(const std::string& face) {
    cell h = run(face + "/state/1");
    return type_of(&h) == TYPE_HANDLE ? win::HWND(handle::get(&h)) : win::HWND{};
  }
  void pump() { while (do_events(true)) {} }
  void click(win::HWND h, int x, int y) {
    hd->advance(600000);
    win::POINT p{x, y};
    win::ClientToScreen(h, p);
    hd->click(p);
    pump();
  }
  std::vector<std::string> types() const {
    std::vector<std::string> t;
    for (auto& s : seen) t.push_back(s.substr(0, s.find(' ')));
    return t;
  }
  // The events of a kind, without the pointer's and keys' own.
  std::vector<std::string> control_events() const {
    std::vector<std::string> out;
    for (auto& s : seen) {
      std::string t = s.substr(0, s.find(' '));
      if (t != "over" && t != "down" && t != "up" && t != "key-down" && t != "key-up" && t != "key")
        out.push_back(s);
    }
    return out;
  }
};

TEST_F(widgets, ButtonsClickTogglesAndChecksChangeTriStateSteps) {
  run("b: kid [type: 'button text: \"Go\"] t: kid [type: 'toggle offset: 0x30] "
      "c: kid [type: 'check offset: 0x60 flags: 'tri-state]");
  click(hwnd("b"), 10, 10);
  EXPECT_EQ(control_events(), (std::vector<std::string>{"click 0"}));
  seen.clear();
  click(hwnd("t"), 10, 10);
  EXPECT_EQ(control_events(), (std::vector<std::string>{"change 0"}));
  EXPECT_EQ(eval("t/data"), "true");
  // A three-state check goes false, none, true, false.
  std::vector<std::string> datas;
  for (int i = 0; i < 4; ++i) {
    click(hwnd("c"), 5, 10);
    datas.push_back(eval("c/data"));
  }
  // From none the cycle goes on: true, false, none.
  EXPECT_EQ(datas, (std::vector<std::string>{"true", "false", "none", "true"}));
}

TEST_F(widgets, RadioGroupsKeepOneChecked) {
  run("r1: kid [type: 'radio data: true] r2: kid [type: 'radio offset: 0x30] r3: kid [type: 'radio offset: 0x60]");
  click(hwnd("r2"), 5, 10);
  EXPECT_EQ(control_events(), (std::vector<std::string>{"click 0"}));
  EXPECT_EQ(eval("reduce [r1/data r2/data r3/data]"), "[false true false]");
  EXPECT_EQ(win::SendMessage(hwnd("r1"), win::BM_GETCHECK, 0, 0), 0);
  // A click on the checked one says nothing.
  seen.clear();
  click(hwnd("r2"), 5, 10);
  EXPECT_TRUE(control_events().empty());
  // Data made true checks it, clears the others, and is a change.
  run("r3/data: true push r3 'data");
  EXPECT_EQ(control_events(), (std::vector<std::string>{"change 0"}));
  EXPECT_EQ(eval("reduce [r1/data r2/data r3/data]"), "[false false true]");
  EXPECT_EQ(win::SendMessage(hwnd("r2"), win::BM_GETCHECK, 0, 0), 0);
}

TEST_F(widgets, FieldsReadTextBackAndEnterFollowsItsKey) {
  run("f: kid [type: 'field text: \"\"]");
  win::SetFocus(hwnd("f"));
  pump();
  seen.clear();
  hd->type("ab");
  pump();
  EXPECT_EQ(eval("f/text"), "\"ab\"");
  std::vector<std::string> c = control_events();
  EXPECT_EQ(std::count(c.begin(), c.end(), "change 0"), 2);
  seen.clear();
  hd->key(win::VK_RETURN, true, "\r");
  hd->key(win::VK_RETURN, false);
  pump();
  // The key's release reads the selection back: `select`.
  EXPECT_EQ(types(), (std::vector<std::string>{"key-down", "key", "enter", "key-up", "select"}));
  EXPECT_EQ(eval("f/text"), "\"ab\"");   // no beep, no line
  seen.clear();
  answer = [](const std::string& t) { return t == "key" ? std::string("stop") : std::string(); };
  hd->key(win::VK_RETURN, true, "\r");
  hd->key(win::VK_RETURN, false);
  pump();
  EXPECT_EQ(types(), (std::vector<std::string>{"key-down", "key", "key-up", "select"}));
  // A program's text is a change too; an area's is not.
  answer = nullptr;
  seen.clear();
  run("f/text: \"new\" push f 'text");
  EXPECT_EQ(control_events(), (std::vector<std::string>{"change 0"}));
  run("a: kid [type: 'area size: 200x100 offset: 0x40] a/text: \"x\" push a 'text");
  EXPECT_EQ(control_events(), (std::vector<std::string>{"change 0"}));
}

TEST_F(widgets, AreaSelectionCountsCharactersOverLineFeeds) {
  run("a: kid [type: 'area size: 200x100 text: \"a^/\U0001F600b\"]");
  win::HWND h = hwnd("a");
  run("a/selected: 3x4 push a 'selected");
  uint32_t s = 0, e = 0;
  win::SendMessage(h, win::EM_GETSEL, reinterpret_cast<win::WPARAM>(&s), reinterpret_cast<win::LPARAM>(&e));
  EXPECT_EQ(s, 2u);
  EXPECT_EQ(e, 4u);
  // Ctrl+A selects the whole text, read back on the key's release with a select event.
  win::SetFocus(h);
  pump();
  seen.clear();
  hd->chord(win::MK_CONTROL, 'A');
  pump();
  EXPECT_EQ(eval("a/selected"), "1x4");
  std::vector<std::string> t = types();
  EXPECT_NE(std::find(t.begin(), t.end(), "select"), t.end());
}

TEST_F(widgets, APasteGrowsTheLimitPastIt) {
  run("a: kid [type: 'area size: 200x100 text: \"\"]");
  win::HWND h = hwnd("a");
  win::SendMessage(h, win::EM_LIMITTEXT, 10, 0);
  win::SetClipboardText(std::string(40, 'p'));
  win::SetFocus(h);
  hd->chord(win::MK_CONTROL, 'V');
  pump();
  EXPECT_EQ(eval("length? a/text"), "40");
  EXPECT_EQ(win::SendMessage(h, win::EM_GETLIMITTEXT, 0, 0), 40 + 0x8000);
  hd->type("typed");
  pump();
  EXPECT_EQ(eval("length? a/text"), "45");
}

TEST_F(widgets, TextListsShowStringLikeValuesAndFollowTheirData) {
  run("l: kid [type: 'text-list size: 150x200 data: [\"a\" 1 %b.txt] selected: 2]");
  win::HWND h = hwnd("l");
  EXPECT_EQ(win::SendMessage(h, win::LB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(win::SendMessage(h, win::LB_GETCURSEL, 0, 0), 1);
  run("l/selected: none push l 'data");
  EXPECT_EQ(eval("l/selected"), "-1");
  // Changes inside `data`, as the View engine reports them.
  const char* change = "system/view/platform/on-change-facet l 'data l/data ";
  run("append l/data \"c\"");
  run(std::string(change) + "'appended none 3 1");
  EXPECT_EQ(win::SendMessage(h, win::LB_GETCOUNT, 0, 0), 3);
  run("append l/data 5");
  run(std::string(change) + "'appended none 4 1");
  EXPECT_EQ(win::SendMessage(h, win::LB_GETCOUNT, 0, 0), 3);
  // A move inside data reorders without duplicates.
  run("t: tail l/data");
  run(std::string(change) + "'move t 0 1");
  run("move l/data t");
  run(std::string(change) + "'moved t 0 1");
  EXPECT_EQ(win::SendMessage(h, win::LB_GETCOUNT, 0, 0), 3);
  char buf[16];
  win::SendMessage(h, win::LB_GETTEXT, 0, reinterpret_cast<win::LPARAM>(buf));
  EXPECT_STREQ(buf, "b.txt");
  run(std::string(change) + "'sort none 0 5");
  run("sort l/data");
  run(std::string(change) + "'sorted none 0 5");
  win::SendMessage(h, win::LB_GETTEXT, 0, reinterpret_cast<win::LPARAM>(buf));
  EXPECT_STREQ(buf, "a");
  run(std::string(change) + "'clear none 0 5");
  EXPECT_EQ(win::SendMessage(h, win::LB_GETCOUNT, 0, 0), 0);
}

TEST_F(widgets, AListSelectionSelectsThenChangesUnlessStopped) {
  run("l: kid [type: 'text-list size: 150x200 data: [\"a\" \"b\" \"c\"]]");
  win::HWND h = hwnd("l");
  win::RECT r;
  win::SendMessage(h, win::LB_GETITEMRECT, 2, reinterpret_cast<win::LPARAM>(&r));
  click(h, 10, (r.top + r.bottom) / 2);
  std::vector<std::string> c = control_events();
  EXPECT_EQ(c, (std::vector<std::string>{"focus 0", "select 3", "change 0"}));
  EXPECT_EQ(eval("l/selected"), "3");
  // The pointer's own down names the item under it.
  EXPECT_EQ(seen.front().substr(0, 4) == "over" ? seen[1] : seen[0], "down 3");
  seen.clear();
  answer = [](const std::string& t) { return t == "select" ? std::string("stop") : std::string(); };
  win::SendMessage(h, win::LB_GETITEMRECT, 0, reinterpret_cast<win::LPARAM>(&r));
  click(h, 10, (r.top + r.bottom) / 2);
  EXPECT_EQ(control_events(), (std::vector<std::string>{"select 1"}));
  EXPECT_EQ(eval("l/selected"), "1");
}

TEST_F(widgets, DropListsTakeAppendedStringsOnly) {
  run("d: kid [type: 'drop-list size: 150x24 data: [\"x\" \"y\"] selected: 2]");
  win::HWND h = hwnd("d");
  EXPECT_EQ(win::SendMessage(h, win::CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(win::GetWindowText(h), "y");
  const char* change = "system/view/platform/on-change-facet d 'data d/data ";
  run("append d/data \"z\"");
  run(std::string(change) + "'appended none 2 1");
  run("append d/data 7");
  run(std::string(change) + "'appended none 3 1");
  EXPECT_EQ(win::SendMessage(h, win::CB_GETCOUNT, 0, 0), 3);
  // A pick in the dropped list sets selected and the text.
  click(h, 20, 10);
  win::RECT lr;
  win::SendMessage(h, win::CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<win::LPARAM>(&lr));
  seen.clear();
  hd->advance(600000);
  hd->click(win::POINT{lr.left + 10, lr.bottom - 6});
  pump();
  EXPECT_EQ(eval("reduce [d/selected d/text]"), "[3 \"z\"]");
  std::vector<std::string> c = control_events();
  ASSERT_GE(c.size(), 2u);
  EXPECT_EQ(c[c.size() - 2], "select 3");
  EXPECT_EQ(c.back(), "change 0");
}

TEST_F(widgets, TabPanelsClampTheirSelectionAndAStopKeepsTheTab) {
  run("tp: kid [type: 'tab-panel size: 300x200 data: [\"one\" \"two\"] selected: 5 "
      "pane: reduce [make face! [type: 'panel] make face! [type: 'panel]]] "
      "foreach p tp/pane [p/parent: tp show-face p tp/state/1]");
  win::HWND h = hwnd("tp");
  EXPECT_EQ(win::SendMessage(h, win::TCM_GETITEMCOUNT, 0, 0), 2);
  EXPECT_EQ(win::SendMessage(h, win::TCM_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(eval("tp/selected"), "2");
  // The pages lie over the display area, in the tab control's parent.
  cell page_handle = run("tp/pane/1/state/1");
  win::HWND page = win::HWND(handle::get(&page_handle));
  EXPECT_EQ(win::GetParent(page), hwnd("win"));
  EXPECT_EQ(eval("tp/pane/1/offset/x > 0"), "true");
  seen.clear();
  answer = [](const std::string& t) { return t == "select" ? std::string("stop") : std::string(); };
  win::RECT first;
  win::SendMessage(h, win::TCM_GETITEMRECT, 0, reinterpret_cast<win::LPARAM>(&first));
  click(h, first.left + 5, first.top + 5);
  EXPECT_EQ(win::SendMessage(h, win::TCM_GETCURSEL, 0, 0), 1);
  EXPECT_EQ(control_events(), (std::vector<std::string>{"select 2"}));
  answer = nullptr;
  seen.clear();
  click(h, first.left + 5, first.top + 5);
  EXPECT_EQ(control_events(), (std::vector<std::string>{"select 2", "change 1"}));
  EXPECT_EQ(eval("reduce [tp/selected tp/pane/1/visible? tp/pane/2/visible?]"), "[1 true false]");
  // Tabs follow their data as lists do: string-like values only, appended and poked.
  const char* change = "system/view/platform/on-change-facet tp 'data tp/data ";
  run("append tp/data %three.txt");
  run(std::string(change) + "'appended none 2 1");
  run("append tp/data 4");
  run(std::string(change) + "'appended none 3 1");
  EXPECT_EQ(win::SendMessage(h, win::TCM_GETITEMCOUNT, 0, 0), 3);
  run(std::string(change) + "'poke none 0 1");
  run("poke tp/data 1 <first>");
  run(std::string(change) + "'poked none 0 1");
  char buf[16];
  win::TCITEM it;
  it.mask = win::TCIF_TEXT;
  it.pszText = buf;
  it.cchTextMax = 16;
  for (auto [i, text] : {std::pair{0, "first"}, {2, "three.txt"}}) {
    win::SendMessage(h, win::TCM_GETITEM, i, reinterpret_cast<win::LPARAM>(&it));
    EXPECT_STREQ(buf, text);
  }
  EXPECT_EQ(win::SendMessage(h, win::TCM_GETITEMCOUNT, 0, 0), 3);
}

// A key or a click gives the trackbar a step and then its end of track: one `change`, and
// none for a key that leaves the thumb where it is.
TEST_F(widgets, ASliderSendsOneChangeAMove) {
  run("s: kid [type: 'slider size: 200x20 offset: 0x40 data: 50%]");
  win::SetFocus(hwnd("s"));
  pump();
  seen.clear();
  for (u32 key : {win::VK_RIGHT, win::VK_END, win::VK_END}) {
    hd->key(key, true);
    hd->key(key, false);
    pump();
  }
  EXPECT_EQ(control_events(), (std::vector<std::string>{"change 0", "change 0"}));
  EXPECT_EQ(eval("s/data"), "100%");
  seen.clear();
  click(hwnd("s"), 20, 10);   // a page towards the click
  EXPECT_EQ(control_events().size(), 1u);
}

// A window whose children are made again (as a GPU? switch does) gives the keys back to
// its focused face.
TEST_F(widgets, APaneMadeAgainKeepsTheFocusedFace) {
  run("f1: kid [type: 'field text: \"a\"] f2: kid [type: 'field offset: 0x40 text: \"b\"]");
  run("win/pane: reduce [f1 f2] win/selected: f2 push win 'selected");
  pump();
  ASSERT_EQ(win::GetFocus(), hwnd("f2"));
  run("system/view/platform/destroy-view f2 false show-face f2 win/state/1 push win 'pane");
  pump();
  EXPECT_EQ(win::GetFocus(), hwnd("f2"));
  hd->key('X', true, "x");
  hd->key('X', false);
  pump();
  EXPECT_EQ(eval("f2/text"), "\"xb\"");
}

TEST_F(widgets, CalendarsSlidersScrollersAndImages) {
  run("cal: kid [type: 'calendar size: 250x200 data: 1-Jan-1500]");
  win::SYSTEMTIME st;
  win::SendMessage(hwnd("cal"), win::MCM_GETCURSEL, 0, reinterpret_cast<win::LPARAM>(&st));
  EXPECT_EQ(st.wYear, 1601);
  run("cal/data: 'nothing push cal 'data");
  EXPECT_EQ(eval("date? cal/data"), "true");   // replaced by the control's date
  // An upright slider at its bottom end reads 0.
  run("s: kid [type: 'slider size: 20x200 offset: 300x0 data: 50%]");
  win::SetFocus(hwnd("s"));
  hd->key(win::VK_END, true);
  hd->key(win::VK_END, false);
  pump();
  EXPECT_EQ(eval("s/data"), "0%");
  run("z: kid [type: 'slider size: 0x0 offset: 340x0]");
  win::SetFocus(hwnd("z"));
  hd->key(win::VK_END, true);
  hd->key(win::VK_END, false);
  pump();
  EXPECT_EQ(eval("z/data"), "0%");
  // A scroller pages by its page.
  run("sc: kid [type: 'scroller size: 200x17 offset: 0x300 data: 0.0 selected: 25%]");
  win::SendMessage(hwnd("win"), win::WM_HSCROLL, win::SB_PAGEDOWN, win::LPARAM(win::raw(hwnd("sc"))));
  EXPECT_EQ(eval("reduce [sc/data sc/selected]"), "[0.25 25%]");
  // Made taller than wide it stands upright; a percent places it too.
  run("sc/size: 17x200 push sc 'size sc/data: 50% push sc 'data");
  EXPECT_TRUE(win::GetWindowLong(hwnd("sc"), win::GWL_STYLE) & win::SBS_VERT);
  win::SCROLLINFO si;
  si.fMask = win::SIF_POS;
  win::GetScrollInfo(hwnd("sc"), win::SB_CTL, si);
  EXPECT_EQ(si.nPos, 5000);
  // Three images make six entries: 1 2 3 1 1 1.
  run("img: make image! 4x4 b: kid [type: 'button offset: 0x340 image: reduce [img img img]]");
  win::BUTTON_IMAGELIST bil;
  ASSERT_TRUE(win::SendMessage(hwnd("b"), win::BCM_GETIMAGELIST, 0, reinterpret_cast<win::LPARAM>(&bil)));
  EXPECT_EQ(win::ImageList_GetImageCount(bil.himl), 6);
  run("b/image: [1 2] push b 'image");
  win::SendMessage(hwnd("b"), win::BCM_GETIMAGELIST, 0, reinterpret_cast<win::LPARAM>(&bil));
  EXPECT_EQ(win::ImageList_GetImageCount(bil.himl), 0);   // no images, no list
}

TEST_F(widgets, UpdateParaMakesAnAreaAnewKeepingItsText) {
  run("a: kid [type: 'area size: 200x100 text: \"keep me\" selected: 2x4]");
  win::HWND old = hwnd("a");
  EXPECT_TRUE(win::GetWindowLong(old, win::GWL_STYLE) & win::ES_AUTOHSCROLL);
  run("a/para: make para! [wrap?: true] system/view/platform/update-para a 5");
  win::HWND now = hwnd("a");
  EXPECT_NE(now, old);
  EXPECT_FALSE(win::IsWindow(old));
  EXPECT_FALSE(win::GetWindowLong(now, win::GWL_STYLE) & win::ES_AUTOHSCROLL);
  EXPECT_EQ(win::GetWindowText(now), "keep me");
  uint32_t s = 0, e = 0;
  win::SendMessage(now, win::EM_GETSEL, reinterpret_cast<win::WPARAM>(&s), reinterpret_cast<win::LPARAM>(&e));
  EXPECT_EQ(s, 1u);
  EXPECT_EQ(e, 4u);
  EXPECT_EQ(eval("a/state/2 and 262144"), "262144");
}

TEST_F(widgets, ColoursComeFromTheFaceAndItsFont) {
  run("f: kid [type: 'field color: 255.0.0 offset: 10x10] t: kid [type: 'text text: \"x\" offset: 10x50 "
      "font: make font! [color: 0.0.255]]");
  pump();
  EXPECT_EQ(hd->pixel(hwnd("win"), 60, 22), 0xFFFF0000u);
  // A label with a font colour only stands on the button face.
  EXPECT_EQ(hd->pixel(hwnd("win"), 90, 60), 0xFFF0F0F0u);
}

TEST_F(widgets, DarkModeRepaintsTheControlsAndCaptionsTakeTheFontColour) {
  run("b: kid [type: 'button offset: 10x10 size: 100x30 text: \"MMMM\" font: make font! [color: 255.0.0]]");
  pump();
  win::HWND top = hwnd("win");
  auto reds = [&] {
    int n = 0;
    for (int x = 10; x < 110; ++x)
      for (int y = 10; y < 40; ++y) {
        uint32_t p = hd->pixel(top, x, y);
        n += ((p >> 16) & 0xFF) > 180 && ((p >> 8) & 0xFF) < 90 && (p & 0xFF) < 90;
      }
    return n;
  };
  EXPECT_GT(reds(), 20);   // the caption drawn by the backend in the font's colour
  uint32_t light = hd->pixel(top, 12, 25);
  run("system/view/platform/set-dark-mode win true");
  pump();
  EXPECT_NE(hd->pixel(top, 12, 25), light);
  EXPECT_EQ(hd->pixel(top, 12, 25), 0xFF000000u | 0x2B2B2Bu);   // the dark button face
}

TEST_F(widgets, AGroupBoxFrameStaysUnderWhatItHolds) {
  run("g: kid [type: 'group-box size: 200x120 text: \"Box\"] "
      "in: make face! [type: 'button offset: 20x30 size: 80x24 parent: g] show-face in g/state/1");
  win::HWND box = hwnd("g"), button = hwnd("in");
  std::vector<win::HWND> kids = win::children(box);
  ASSERT_EQ(kids.size(), 2u);
  EXPECT_EQ(kids.front(), button);   // top of the z-order first
  win::POINT p{30, 40};
  win::ClientToScreen(box, p);
  EXPECT_EQ(win::WindowFromPoint(p), button);
  p = win::POINT{150, 90};
  win::ClientToScreen(box, p);
  EXPECT_EQ(win::WindowFromPoint(p), box);   // the frame lets the pointer through
  run("g/text: \"New\" push g 'text");
  EXPECT_EQ(win::GetWindowText(kids.back()), "New");
}

TEST_F(widgets, TheInputMethodSpotFollowsTheFocusedCaret) {
  run("f: kid [type: 'field offset: 50x60 size: 200x24 text: \"abc\"]");
  win::HWND h = hwnd("f");
  win::SetFocus(h);
  win::SendMessage(h, win::EM_SETSEL, 3, 3);
  pump();
  EXPECT_EQ(hd->spot_top, hwnd("win"));
  win::POINT caret;
  win::GetCaretPos(caret);
  EXPECT_GT(hd->spot.x, 50 + caret.x - 1);
  EXPECT_GT(hd->spot.y, 60);
  EXPECT_LT(hd->spot.y, 60 + 24 + 4);
}

class widgets_hidpi : public widgets {
 protected:
  void SetUp() override { start("1920x1080+0+0@144"); }
};

TEST_F(widgets_hidpi, TabPagesFitAtOneAndAHalf) {
  run("tp: kid [type: 'tab-panel size: 300x200 data: [\"one\"] selected: 1 "
      "pane: reduce [make face! [type: 'panel size: 10x10]]] "
      "p: tp/pane/1 p/parent: tp show-face p tp/state/1");
  win::HWND h = hwnd("tp");
  win::RECT client;
  win::GetClientRect(h, client);
  win::RECT d = client;
  win::SendMessage(h, win::TCM_ADJUSTRECT, 0, reinterpret_cast<win::LPARAM>(&d));
  auto near = [&](const char* expr, double v) { EXPECT_NEAR(std::stod(eval(expr)), v, 0.01) << expr; };
  near("p/offset/x", d.left / 1.5);
  near("p/offset/y", d.top / 1.5);
  near("p/size/x", d.width() / 1.5);
  near("p/size/y", d.height() / 1.5);
}

TEST_F(widgets, ADpiChangeGivesControlsTheirNewFontSize) {
  run("a: kid [type: 'area size: 200x100 text: \"a^/b\"]");
  win::HWND h = hwnd("a");
  auto row = [&] {
    return win::GET_Y_LPARAM(win::SendMessage(h, win::EM_POSFROMCHAR, 2, 0)) -
           win::GET_Y_LPARAM(win::SendMessage(h, win::EM_POSFROMCHAR, 0, 0));
  };
  int at96 = row();
  hd->set_monitor_dpi(0, 192);
  pump();
  EXPECT_EQ(win::GetDpiForWindow(h), 192u);
  EXPECT_NEAR(row(), at96 * 2, 2);
}

}  // namespace vyr::test
