// Events on the headless display: injected input through the loop, the pre-filter and the
// window procedure reaches a recording `awake` with the fields it should carry; nested
// loops end as the View engine's closing of their windows asks.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "boot/environment.h"
#include "gui/backend/base_face.h"
#include "gui/backend/draw_face.h"
#include "gui/backend/events.h"
#include "gui/backend/lifecycle.h"
#include "gui/module.h"
#include "gui/face/face_values.h"
#include "runtime/datatypes/image.h"
#include "runtime/imaging/imaging.h"
#include <cairo.h>
#include "gui/win/headless/answers.h"
#include "gui/win/headless/display.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/event.h"
#include "runtime/datatypes/none.h"
#include "runtime/datatypes/word.h"
#include "runtime/interpreter/trace.h"
#include "tests/unit/fixture.h"
#include "tests/unit/gui/gui_fixture.h"
#include "tests/unit/value_helpers.h"
#include "tests/unit/gui/events_fixture.h"

namespace vyr::test {

TEST_F(events, KeysGiveKeyDownAndKeyWithTheirWordsOrCharacters) {
  cell f = face("f", "window");
  win::HWND h = show(f);
  pump();
  seen.clear();
  hd->key(win::VK_UP, true);
  hd->key(win::VK_UP, false);
  pump();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(prefix(seen[0], "key-down up "), "key-down up ");
  EXPECT_EQ(prefix(seen[1], "key up "), "key up ");
  EXPECT_EQ(prefix(seen[2], "key-up up "), "key-up up ");
  seen.clear();
  hd->type("A");
  pump();
  // Shift down, A down, the character, A up, shift up.
  EXPECT_EQ(types(), (std::vector<std::string>{"key-down", "key-down", "key", "key-up", "key-up"}));
  EXPECT_EQ(prefix(seen[1], "key-down #\"A\""), "key-down #\"A\"");
  EXPECT_EQ(prefix(seen[2], "key #\"A\""), "key #\"A\"");
  EXPECT_NE(seen[2].find("[shift]"), std::string::npos);
  seen.clear();
  hd->chord(win::MK_CONTROL, 'C', "c");
  pump();
  std::vector<std::string> keys;
  for (auto& s : seen) if (s.rfind("key ", 0) == 0) keys.push_back(s);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(prefix(keys[0], "key #\"^C\""), "key #\"^C\"");
  EXPECT_NE(keys[0].find("[control]"), std::string::npos);
  (void)h;
}

TEST_F(events, AnEmojiIsOneKeyEventWithTheWholeCodePointAndNoFlags) {
  cell f = face("f", "window");
  show(f);
  pump();
  seen.clear();
  hd->type("\xF0\x9F\x98\x80");
  pump();
  std::vector<std::string> keys;
  for (auto& s : seen) if (s.rfind("key ", 0) == 0) keys.push_back(s);
  ASSERT_EQ(keys.size(), 1u);
  EXPECT_EQ(prefix(keys[0], "key #\"\xF0\x9F\x98\x80\""), "key #\"\xF0\x9F\x98\x80\"");
  EXPECT_NE(keys[0].find(" []"), std::string::npos);
}

TEST_F(events, StopOnKeyDownKeepsTheCharacterOut) {
  cell f = face("f", "window");
  show(f);
  pump();
  seen.clear();
  answers["key-down"] = "stop";
  hd->type("x");
  pump();
  EXPECT_EQ(types(), (std::vector<std::string>{"key-down", "key-up"}));
}

TEST_F(events, MouseOverOnceAwayOnLeaveClicksAndTheWheel) {
  cell f = face("f", "window");
  win::HWND h = show(f);
  pump();
  win::POINT origin;
  win::ClientToScreen(h, origin);
  seen.clear();
  hd->move({origin.x + 10, origin.y + 10});
  pump();
  hd->move({origin.x + 20, origin.y + 10});   // no all-over: no second over
  pump();
  ASSERT_EQ(types(), (std::vector<std::string>{"over"}));
  EXPECT_NE(seen[0].find("(10, 10)"), std::string::npos);
  seen.clear();
  hd->button(1, true);
  hd->button(1, false);
  hd->button(1, true);
  hd->button(1, false);
  pump();
  EXPECT_EQ(types(), (std::vector<std::string>{"down", "up", "down", "dbl-click", "up"}));
  EXPECT_NE(seen[0].find("[down]"), std::string::npos);
  seen.clear();
  hd->wheel(240);
  pump();
  ASSERT_EQ(types(), (std::vector<std::string>{"wheel"}));
  EXPECT_EQ(seen[0], "wheel wheel (20, 10) 2.0 []");
  seen.clear();
  hd->move({5, 5});   // off the window: the leave message comes with away?
  pump();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back().substr(0, 5), "over ");
  EXPECT_NE(seen.back().find("[away]"), std::string::npos);
}

TEST_F(events, AllOverGivesEveryMoveButNotARepeatedOne) {
  cell f = face("f", "window", "'all-over");
  win::HWND h = show(f);
  pump();
  win::POINT o;
  win::ClientToScreen(h, o);
  seen.clear();
  hd->move({o.x + 10, o.y + 10});
  pump();
  hd->move({o.x + 11, o.y + 10});
  pump();
  win::PostMessage(h, win::WM_MOUSEMOVE, 0, win::MAKELPARAM(11, 10));   // same place again
  pump();
  EXPECT_EQ(types(), (std::vector<std::string>{"over", "over"}));
}

TEST_F(events, CloseNeverDestroysAndStopPostsTheQuit) {
  cell f = face("f", "window");
  win::HWND h = show(f);
  pump();
  seen.clear();
  answers["close"] = "stop";
  hd->close(h);
  hd->script([] {}, 1000000);   // something left to do after the quit: the loop must end first
  do_events(false);
  EXPECT_EQ(types(), (std::vector<std::string>{"close"}));
  EXPECT_TRUE(win::IsWindow(h));
  EXPECT_EQ(hd->script_left(), 1u);
}

TEST_F(events, NestedLoopsEndAsTheirWindowsClose) {
  cell a = face("a", "window"), b = face("b", "window");
  win::HWND outer = show(a), inner{};
  pump();
  seen.clear();
  // A click on the outer window opens an inner loop; closing the inner window ends only it.
  bool inner_ran = false;
  on_event = [&](const std::string& type) {
    if (type == "down" && !inner_ran) {
      inner_ran = true;
      inner = show(b, 600, 100);
      hd->script([&] { hd->close(inner); });
      do_events(false);
      seen.push_back("inner-ended");
    } else if (type == "close") {
      win::HWND which = inner;
      if (win::IsWindow(which)) {
        loop_owner_destroyed();
        win::DestroyWindow(which);
      }
    }
  };
  win::POINT o;
  win::ClientToScreen(outer, o);
  hd->script([&] { hd->click({o.x + 5, o.y + 5}); });
  hd->script([&] { hd->script([] {}, 1000000); });
  do_events(false);
  auto t = types();
  auto close_at = std::find(t.begin(), t.end(), "close");
  auto end_at = std::find(t.begin(), t.end(), "inner-ended");
  ASSERT_NE(close_at, t.end());
  ASSERT_NE(end_at, t.end());
  EXPECT_LT(close_at, end_at);
  EXPECT_EQ(loop().pending_exits, 0);
  EXPECT_EQ(loop().depth, 1);   // the outer loop's own count stays
}

TEST_F(events, PendingExitsNeverGoBelowZero) {
  loop().pending_exits = 0;
  win::PostQuitMessage(0);
  do_events(false);
  win::PostQuitMessage(0);
  do_events(false);
  EXPECT_EQ(loop().pending_exits, 0);
}

TEST_F(events, MinimisingGivesMinimizeAndNoMove) {
  cell f = face("f", "window");
  win::HWND h = show(f);
  pump();
  seen.clear();
  hd->set_state(h, win::SW_MINIMIZE);
  pump();
  auto t = types();
  EXPECT_NE(std::find(t.begin(), t.end(), "minimize"), t.end());
  EXPECT_EQ(std::find(t.begin(), t.end(), "move"), t.end());
  seen.clear();
  hd->set_state(h, win::SW_RESTORE);
  pump();
  t = types();
  EXPECT_NE(std::find(t.begin(), t.end(), "restore"), t.end());
}

TEST_F(events, ADragGivesMovingEventsAndOneMove) {
  cell f = face("f", "window");
  win::HWND h = show(f);
  pump();
  win::RECT r;
  win::GetWindowRect(h, r);
  seen.clear();
  std::vector<win::RECT> steps;
  for (int i = 1; i <= 3; i++)
    steps.push_back(win::RECT{r.left + 10 * i, r.top, r.right + 10 * i, r.bottom});
  hd->move_size(h, steps, false);
  pump();
  auto t = types();
  EXPECT_EQ(std::count(t.begin(), t.end(), "moving"), 3);
  EXPECT_EQ(std::count(t.begin(), t.end(), "move"), 1);
  EXPECT_EQ(t.back(), "move");
}

TEST_F(events, AUserResizeKeepsAWindowFacesClientAreaAtLeastOnePixel) {
  cell f = face("f", "window");
  win::HWND h = show(f);
  pump();
  win::RECT r;
  win::GetWindowRect(h, r);
  // Far below the system's smallest track size: the face's own limit holds.
  hd->move_size(h, {win::RECT{r.left, r.top, r.left + 40, r.top + 30}, win::RECT{r.left, r.top, r.left, r.top}}, true);
  pump();
  win::RECT c;
  win::GetClientRect(h, c);
  EXPECT_EQ(c.width(), 1);
  EXPECT_EQ(c.height(), 1);
  const cell* size = facet(face_of_window(h), facet_index::size);
  ASSERT_NE(size, nullptr);
  EXPECT_EQ(mold_text(*size), "1x1");
  win::MINMAXINFO mm;
  EXPECT_EQ(win::SendMessage(h, win::WM_GETMINMAXINFO, 0, reinterpret_cast<win::LPARAM>(&mm)), 0);
  win::GetWindowRect(h, r);
  EXPECT_EQ(mm.ptMinTrackSize.x, r.width());
  EXPECT_EQ(mm.ptMinTrackSize.y, r.height());
}

TEST_F(events, ResizeGoesOutTwiceAfterSize) {
  cell f = face("f", "window");
  win::HWND h = show(f);
  pump();
  seen.clear();
  win::SetWindowPos(h, 0, 0, 0, 400, 300, win::SWP_NOMOVE | win::SWP_NOZORDER);
  pump();
  auto t = types();
  EXPECT_EQ(std::count(t.begin(), t.end(), "resize"), 2);
}

TEST_F(events, AHandlerErrorIsCaughtAndTheLoopGoesOn) {
  cell f = face("f", "window");
  show(f);
  pump();
  seen.clear();
  on_event = [](const std::string& type) {
    if (type == "key-down") fire("script", "not-done");
  };
  hd->type("q");
  pump();
  EXPECT_EQ(types(), (std::vector<std::string>{"key-down", "key", "key-up"}));
  EXPECT_FALSE(caught_errors.empty());
}

TEST_F(events, SentEventsReachTheHandlerOrThePostedQueue) {
  cell f = face("f", "window");
  win::HWND h = show(f);
  pump();
  run("f/state: reduce [none]");
  // The handle is filled here: the View engine's make-view does it with the window.
  cell* state = facet(&f, facet_index::state);
  block::rs_abs_at(state, 0)[0] = cell{TYPE_HANDLE, 3, win::raw(h), 0xFFFFFFFFu};
  seen.clear();
  cell e = run("ev: make event! [type: 'key key: #\"^(1F600)\" face: f]");   // kept by the word
  EXPECT_TRUE(OS_send_event(&e, false));
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(prefix(seen[0], "key #\"\xF0\x9F\x98\x80\""), "key #\"\xF0\x9F\x98\x80\"");
  seen.clear();
  e = run("ev: make event! [type: 'down offset: 3x4 face: f flags: [control]]");
  EXPECT_TRUE(OS_send_event(&e, true));
  EXPECT_TRUE(seen.empty());
  pump();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_NE(seen[0].find("(3, 4)"), std::string::npos);
  EXPECT_NE(seen[0].find("control"), std::string::npos);
  e = run("ev: make event! [type: 'maximize face: f]");
  EXPECT_TRUE(OS_send_event(&e, false));
  EXPECT_TRUE(win::IsZoomed(h));
  e = run("make event! [type: 'click]");
  EXPECT_FALSE(OS_send_event(&e, false));
}

}  // namespace vyr::test

namespace vyr::test {

TEST_F(events, RatesTickOnTheVirtualClockAndBadRatesAreRefused) {
  cell f = face("f", "window");
  win::HWND h = show(f);
  pump();
  struct { const char* rate; int ticks; } cases[] = {
    {"3", 3}, {"0:0:0.5", 2}, {"2000", 100}, {"none", 0}};
  for (auto& c : cases) {
    cell r = run(c.rate);
    set_rate(h, &r);
    seen.clear();
    hd->script([] { win::PostQuitMessage(0); }, 1000000 + 1000);
    do_events(false);
    set_rate(h, &none_value);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "time none none 0 []"), c.ticks) << c.rate;
    EXPECT_EQ(types().size(), size_t(c.ticks)) << c.rate;
  }
  for (const char* bad : {"0", "-1", "0:0:0", "\"x\""}) {
    cell r = run(bad);
    try {
      set_rate(h, &r);
      ADD_FAILURE() << bad << " was taken";
    } catch (thrown& t) {
      EXPECT_STREQ(t.id, "invalid-facet-type") << bad;
    }
  }
}

}  // namespace vyr::test

namespace vyr::test {

TEST_F(base_faces, LayeredOnlyWithTransparencyOrNoColour) {
  struct { const char* color; bool layered; } cases[] = {
    {"255.255.255", false}, {"255.255.255.0", false}, {"255.255.255.100", true},
    {"none", true}, {"1.2.3.4.5", true}};
  for (auto& c : cases) {
    cell v = run(c.color);
    EXPECT_EQ(needs_layered_q(&v, nullptr), c.layered) << c.color;
  }
}

TEST_F(base_faces, TwoPressesCaptureOnceAndEachReleaseLowersTheCount) {
  open_top();
  cell b = face("b", "base");
  win::HWND h = child(b);
  EXPECT_EQ(win::SendMessage(h, win::WM_LBUTTONDOWN, win::MK_LBUTTON, 0), 0);
  EXPECT_EQ(win::GetCapture(), h);
  win::SendMessage(h, win::WM_LBUTTONDOWN, win::MK_LBUTTON, 0);
  EXPECT_EQ(win::extra(h)->font_or_count, 2u);
  EXPECT_EQ(win::SendMessage(h, win::WM_LBUTTONUP, 0, 0), 0);
  EXPECT_EQ(win::extra(h)->font_or_count, 1u);
  EXPECT_TRUE(win::is_null(win::GetCapture()));
  win::SendMessage(h, win::WM_LBUTTONUP, 0, 0);
  EXPECT_EQ(win::extra(h)->font_or_count, 0u);
  win::SendMessage(h, win::WM_LBUTTONUP, 0, 0);   // to the default procedure
  EXPECT_EQ(win::extra(h)->font_or_count, 0u);
}

TEST_F(base_faces, DrawingEventsPaintAndAPaintInANestedLoopWaits) {
  open_top();
  cell b = face("b", "base");
  win::HWND h = child(b);
  int drawings = 0;
  on_event = [&](const std::string& type) {
    if (type != "drawing") return;
    if (++drawings == 1) {
      // The handler runs a nested loop while another paint of its window is due.
      win::InvalidateRect(h, nullptr, false);
      hd->script([] { win::PostQuitMessage(0); }, 1000);
      do_events(false);
    }
  };
  win::InvalidateRect(h, nullptr, false);
  seen.clear();
  pump();
  EXPECT_GE(base().ignored, 1u);
  EXPECT_EQ(drawings, 2);   // the held paint came again after the first ended
  EXPECT_TRUE(base().held.empty());
}


TEST_F(base_faces, APaintDrawsTheFacesDrawBlockOverItsColour) {
  open_top();
  cell b = face("db", "base");
  run("db/color: 0.0.255 db/draw: [pen off fill-pen 255.0.0 box 5x5 15x15]");
  win::HWND h = child(b);
  seen.clear();
  win::InvalidateRect(h, nullptr, false);
  pump();
  EXPECT_TRUE(seen.empty());   // a `draw` block paints without a `drawing` event
  EXPECT_EQ(surface_pixel(h, 10, 10), 0xFFFF0000u);   // inside the box
  EXPECT_EQ(surface_pixel(h, 2, 2), 0xFF0000FFu);     // the face's colour
  EXPECT_EQ(surface_pixel(h, 30, 30), 0xFF0000FFu);
  // A faulty block is printed and dropped: what came before it is drawn, the window lives.
  run("db/draw: [pen off fill-pen 0.255.0 box 0x0 10x10 bogus box 20x20 30x30]");
  win::InvalidateRect(h, nullptr, false);
  EXPECT_NO_THROW(pump());
  EXPECT_EQ(surface_pixel(h, 5, 5), 0xFF00FF00u);
  EXPECT_EQ(surface_pixel(h, 25, 25), 0xFF0000FFu);
  EXPECT_TRUE(win::IsWindow(h));
  EXPECT_EQ(g().scope_depth, 0);
}

TEST_F(base_faces, ALayeredFaceComposesItsDrawBlockOverTransparency) {
  open_top();
  cell b = face("lb", "base");
  run("lb/draw: [pen off fill-pen 255.0.0 box 0x0 10x10]");
  win::HWND h = child(b);
  win::SetWindowLong(h, win::GWL_EXSTYLE, win::WS_EX_LAYERED);
  compose_layered(h);
  EXPECT_EQ(surface_pixel(h, 5, 5), 0xFFFF0000u);
  EXPECT_EQ(surface_pixel(h, 20, 20), 0x00000000u);   // no colour: transparent
}

TEST_F(base_faces, DrawingHandlersDrawThroughThePaintsRun) {
  open_top();
  cell b = face("tb", "base");
  run("tb/color: 255.255.255 line-a: [pen off fill-pen 255.0.0 box 0x0 10x10] "
      "line-b: [fill-pen 0.255.0 box 10x0 20x10 nonsense box 20x0 30x10]");
  cell a = run("line-a"), c = run("line-b");
  collector::root_guard ga(&a), gc(&c);
  win::HWND h = child(b);
  int drawings = 0;
  on_event = [&](const std::string& type) {
    if (type != "drawing") return;
    drawings++;
    ASSERT_NE(paint_run(h), nullptr);
    OS_draw_face(h, &a);
    OS_draw_face(h, &c);   // its error is printed and dropped
  };
  win::InvalidateRect(h, nullptr, false);
  pump();
  EXPECT_GE(drawings, 1);
  EXPECT_EQ(paint_run(h), nullptr);   // the slot is cleared once the paint ends
  EXPECT_EQ(surface_pixel(h, 5, 5), 0xFFFF0000u);
  EXPECT_EQ(surface_pixel(h, 15, 5), 0xFF00FF00u);
  EXPECT_EQ(surface_pixel(h, 25, 5), 0xFFFFFFFFu);
  EXPECT_EQ(g().scope_depth, 0);
}

TEST_F(base_faces, AWindowDestroyedByItsDrawingHandlerLeavesNoRunBehind) {
  open_top();
  cell b1 = face("d1", "base"), b2 = face("d2", "base");
  run("d1/color: 255.255.255 d2/color: 255.255.255");
  win::HWND h1 = child(b1, 10), h2 = child(b2, 80);
  u32 second_slot = 0;
  on_event = [&](const std::string& type) {
    if (type != "drawing") return;
    if (win::IsWindow(h1) && paint_run(h1)) {
      win::DestroyWindow(h1);
    } else if (window_run* r = paint_run(h2)) {
      second_slot = r->slot;
    }
  };
  win::InvalidateRect(h1, nullptr, false);
  pump();
  EXPECT_FALSE(win::IsWindow(h1));
  win::InvalidateRect(h2, nullptr, false);
  pump();
  EXPECT_EQ(second_slot, 1u);   // the destroyed window's entry was let go
  EXPECT_EQ(g().scope_depth, 0);
}

// Dark pixels of a window's surface in the rectangle [x0, x1) x [y0, y1).
int ink(win::HWND h, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int y = y0; y < y1; y++)
    for (int x = x0; x < x1; x++)
      if ((surface_pixel(h, x, y) & 0xFF) < 128) n++;
  return n;
}

TEST_F(base_faces, AFacesTextIsCentredAndItsDataIsNoStyleList) {
  open_top();
  cell b = face("tx", "base");
  // Not a style list: a base face's data is its own.
  run("tx/color: 255.255.255 tx/size: 50x40 tx/text: \"II\" tx/data: [1 2 3] tx/font: make object! [name: none "
      "size: 9 style: none angle: 0 color: none anti-alias?: none shadow: none state: none parent: none]");
  win::HWND h = child(b);   // 50x40
  win::InvalidateRect(h, nullptr, false);
  EXPECT_NO_THROW(pump());
  EXPECT_GT(ink(h, 15, 10, 35, 30), 0);   // in the middle
  EXPECT_EQ(ink(h, 0, 0, 15, 40), 0);     // nothing at the left
  EXPECT_EQ(ink(h, 0, 0, 50, 10), 0);     // nor at the top
  // A rich-text face's style list is read, and a faulty one is reported, not raised.
  cell r = face("rx", "rich-text");
  run("rx/color: 255.255.255 rx/text: \"II\" rx/data: [1x2 bogus]");
  win::HWND hr = child(r, 80);
  win::InvalidateRect(hr, nullptr, false);
  EXPECT_NO_THROW(pump());
  EXPECT_TRUE(win::IsWindow(hr));
  EXPECT_EQ(g().scope_depth, 0);
}

TEST_F(base_faces, PaintsAfterALayeredOneWaitForTheFrameAndAreNotLost) {
  open_top();
  cell layered = face("lb", "base"), plain = face("pb", "base");
  run("pb/color: 255.255.255");
  win::HWND l = child(layered, 10);
  win::HWND p = child(plain, 80);
  win::SetWindowLong(l, win::GWL_EXSTYLE, win::WS_EX_LAYERED);
  pump();
  seen.clear();
  compose_layered(l);   // t = 0: a layered frame; no drawing event for it
  EXPECT_TRUE(seen.empty());
  u32 paints = base().paints;
  win::InvalidateRect(p, nullptr, false);
  pump();
  EXPECT_EQ(base().paints, paints);   // held back at 0 ms
  EXPECT_EQ(base().throttled, 1u);
  hd->advance(THROTTLE_US - 1000);
  pump();
  EXPECT_EQ(base().paints, paints);
  hd->advance(1400);   // timers count whole milliseconds: the held paint is due at 17 ms
  pump();
  EXPECT_EQ(base().paints, paints + 1);
  EXPECT_EQ(types(), (std::vector<std::string>{"drawing"}));
}

}  // namespace vyr::test

namespace vyr::test {

TEST_F(events, AFaceHeldOnlyByItsWindowSurvivesACollection) {
  win::HWND h;
  {
    cell f = run("make object! [type: 'window offset: 0x0 size: 300x200 text: image: color: menu: "
                 "data: none enabled?: true visible?: true selected: none flags: none options: "
                 "parent: pane: none state: [] rate: edge: para: font: actors: extra: draw: none]");
    collector::root_guard until_shown(&f);
    h = show(f);
  }
  run("loop 3 [make block! 100000]");
  collector::collect();
  pump();
  seen.clear();
  hd->type("k");
  pump();
  ASSERT_FALSE(seen.empty());
  const cell* f = face_of_window(h);
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(face_type_is(f, face_type::window));
  cell* size = facet(f, facet_index::size);
  ASSERT_NE(size, nullptr);
  EXPECT_EQ(type_of(size), u32(TYPE_PAIR));
}

}  // namespace vyr::test

namespace vyr::test {

TEST_F(lifecycle, AWindowOfNegativeWidthOpens200WideAndMovesByItsMask) {
  cell f = run("f: make object! [type: 'window offset: 10x20 size: -1x300 text: \"T\" image: color: menu: "
               "data: none enabled?: true visible?: true selected: none flags: none options: "
               "parent: pane: none state: none rate: edge: para: font: actors: extra: draw: none] f");
  u32 h = OS_make_view(&f, 0);
  ASSERT_NE(h, 0u);
  realise(f, h);
  win::RECT c;
  win::GetClientRect(win::HWND(h), c);
  EXPECT_EQ(c.width(), 200);
  EXPECT_EQ(c.height(), 300);
  EXPECT_EQ(win::GetWindowText(win::HWND(h)), "T");
  EXPECT_TRUE(win::extra(win::HWND(h))->flags & WINDOW_SIZE_IS_PAIR);
  run("f/offset: 50x60");
  push_change(f, facet_index::offset);
  win::POINT o;
  win::ClientToScreen(win::HWND(h), o);
  EXPECT_EQ(o.x, 50);
  EXPECT_EQ(o.y, 60);
  // The mask is cleared once applied.
  cell st = *facet(&f, facet_index::state);
  EXPECT_EQ(block::rs_abs_at(&st, 1)->data2, 0u);
}

TEST_F(lifecycle, TypesWithoutAControlFailAsACreateFailureAndUnknownTypesAreRefused) {
  cell b = face("img", "image");
  testing::internal::CaptureStderr();
  EXPECT_EQ(OS_make_view(&b, 0), 0u);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "*** View Error: CreateWindowEx failed!\n");
  cell x = face("odd", "gizmo");
  try {
    OS_make_view(&x, 0);
    ADD_FAILURE() << "gizmo was made";
  } catch (thrown& t) {
    EXPECT_STREQ(t.id, "face-type");
  }
}

TEST_F(lifecycle, AnUnshownFaceHasNoPicturesAndABaseFacePaintsItsOwn) {
  open_top();
  cell b = face("b", "base");
  run("b/color: 255.255.255");
  EXPECT_EQ(face_to_surface(&b), nullptr);
  u32 h = OS_make_view(&b, win::raw(top));
  ASSERT_NE(h, 0u);
  realise(b, h);
  EXPECT_FALSE(layered_q(win::HWND(h)));
  on_event = [&](const std::string& type) {
    if (type != "drawing") return;
    window_run* run = paint_run(win::HWND(h));
    ASSERT_NE(run, nullptr);
    cairo_t* cr = run->ctx.cr;
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_paint(cr);
  };
  cairo_surface_t* s = face_to_surface(&b);
  ASSERT_NE(s, nullptr);
  cairo_surface_flush(s);
  auto* px = reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s));
  EXPECT_EQ(px[0], 0xFFFF0000u);
  EXPECT_EQ(cairo_image_surface_get_width(s), 300);   // the face's size
  cairo_surface_destroy(s);
}

TEST_F(lifecycle, DestroyingALoopOwnerEndsItsLoop) {
  cell f = face("f", "window");
  u32 h = OS_make_view(&f, 0);
  realise(f, h);
  OS_show_window(win::HWND(h));
  on_event = [&](const std::string& type) {
    if (type == "close") OS_destroy_view(&f, true);
  };
  hd->script([&] { hd->close(win::HWND(h)); });
  hd->script([] {}, 1000000);
  do_events(false);   // ends on the quit the dispatcher posts, with a step still left
  EXPECT_EQ(hd->script_left(), 1u);
  EXPECT_EQ(loop().depth, 0);
  EXPECT_EQ(loop().pending_exits, 0);
  EXPECT_EQ(face_handle_q(&f), 0u);
}

TEST_F(lifecycle, TheErrorBoxIsRecordedHeadless) {
  auto* answers = dynamic_cast<win::answer_queue*>(win::dialogs::current());
  ASSERT_NE(answers, nullptr);
  answers->boxes.clear();
  error_message_box("Vyr", "out of memory");
  EXPECT_EQ(answers->boxes, (std::vector<std::string>{"Vyr: out of memory"}));
}

}  // namespace vyr::test

namespace vyr::test {

TEST_F(events, ColoursAndPointsConvert) {
  cell c = run("255.0.0");
  EXPECT_EQ(tuple_to_color(&c), 0x000000FFu);
  EXPECT_EQ(color_to_argb(&c), 0xFFFF0000u);
  EXPECT_EQ(color_to_argb_translucent(&c), 0xFEFF0000u);
  c = run("255.0.0.0");
  EXPECT_EQ(tuple_to_color(&c), 0x000000FFu);
  c = run("0.0.255.128");
  EXPECT_EQ(color_to_argb(&c), 0x7F0000FFu);
  cell p = run("3x-4");
  pair_to_point2D(&p);
  EXPECT_EQ(type_of(&p), u32(TYPE_POINT2D));
  p = run("(2.9, -2.9)");
  point2D_to_pair(&p);
  EXPECT_EQ(mold_text(p), "2x-2");
}

TEST_F(events, FlagMasksFromWordsAndBlocks) {
  run("fl-b: [modal] fl-bad: [modal foo]");   // the words keep the blocks
  cell a = run("'modal"), b = run("fl-b"), n = run("5"), bad = run("fl-bad");
  EXPECT_EQ(get_flags(&a), 0x02000000u);
  EXPECT_EQ(get_flags(&b), 0x02000000u);
  EXPECT_EQ(get_flags(&n), 0u);
  try {
    get_flags(&bad);
    ADD_FAILURE();
  } catch (thrown& t) {
    EXPECT_STREQ(t.id, "invalid-arg");
  }
}

TEST_F(events, AFontKeepsItsFacesBehindItsHead) {
  cell font = run("fnt: make object! [name: size: style: angle: color: anti-alias?: shadow: state: parent: none] fnt");
  cell f1 = face("f1", "base"), f2 = face("f2", "base"), f3 = face("f3", "base");
  for (int round = 0; round < 2; round++) {   // the second round links nothing new
    link_font_parent(&f1, &font);
    link_font_parent(&f2, &font);
    link_font_parent(&f3, &font);
  }
  EXPECT_EQ(form_text(run("mold fnt/parent")), "[]");
  EXPECT_EQ(form_text(run("length? head fnt/parent")), "3");
  unlink_face(&font, &f2, facet_index::font_parent);
  EXPECT_EQ(form_text(run("length? head fnt/parent")), "2");
  EXPECT_EQ(form_text(run("same? f3 pick head fnt/parent 2")), "true");
  EXPECT_EQ(form_text(run("tail? fnt/parent")), "true");
}

TEST_F(events, TheVectorHolds64PairsAndTimeStampsRenew) {
  assoc_vector v;
  for (u32 i = 1; i <= 65; i++) vector_push(v, i, i * 10);
  EXPECT_EQ(v.count, 64u);
  EXPECT_EQ(vector_find(v, 64), 640u);
  EXPECT_EQ(vector_find(v, 65), 0u);
  i64 stamp = time_stamp();
  hd->advance(2500);
  EXPECT_DOUBLE_EQ(elapsed_ms(stamp), 2.5);
  stamp = time_stamp() + 1000000;   // from the future: renewed
  EXPECT_DOUBLE_EQ(elapsed_ms(stamp), 0x7FFFFFFF / 1000.0);
  EXPECT_EQ(stamp, time_stamp());
}

TEST_F(events, AWindowMovesToTheScreenOfItsMonitor) {
  cell s1 = face("s1", "screen"), s2 = face("s2", "screen"), w = face("w", "window");
  run("s1/pane: reduce [w] s2/pane: reduce [f2: make object! [a: 1]] w/parent: s1");
  run("s1/state: reduce [none] s2/state: reduce [none]");
  cell st = *facet(&s2, facet_index::state);
  *block::rs_abs_at(&st, 0) = cell{TYPE_HANDLE, 2, 77, 0xFFFFFFFFu};
  cell screens = run("screens: reduce [s1 s2]");   // kept by the word
  move_window_to_screen(77, &w, &s1, &screens);
  EXPECT_EQ(form_text(run("length? s1/pane")), "0");
  EXPECT_EQ(form_text(run("same? w pick s2/pane 1")), "true");
  EXPECT_EQ(form_text(run("same? w/parent s2")), "true");
}

}  // namespace vyr::test

namespace vyr::test {

TEST_F(lifecycle, UpdateViewsMovesSiblingsInOneBatchAndAppliesTheRest) {
  open_top();
  cell a = face("ca", "base"), b = face("cb", "base");
  run("ca/color: 255.255.255 cb/color: 255.255.255");
  u32 ha = OS_make_view(&a, win::raw(top)), hb = OS_make_view(&b, win::raw(top));
  realise(a, ha);
  realise(b, hb);
  run("ca/offset: 5x6 cb/offset: 70x8 cb/visible?: false cb/text: \"x\"");
  for (const cell* f : {&a, &b}) {
    cell st = *facet(f, facet_index::state);
    block::rs_abs_at(&st, 1)->data2 |= (1u << facet_index::offset) | (1u << facet_index::visible);
  }
  cell st = *facet(&b, facet_index::state);
  block::rs_abs_at(&st, 1)->data2 |= 1u << facet_index::text;
  cell list = run("views: reduce [ca cb]");   // kept by the word
  OS_update_views(&list);
  win::RECT r;
  win::GetWindowRect(win::HWND(ha), r);
  win::POINT o;
  win::ClientToScreen(top, o);
  EXPECT_EQ(r.left - o.x, 5);
  EXPECT_EQ(r.top - o.y, 6);
  win::GetWindowRect(win::HWND(hb), r);
  EXPECT_EQ(r.left - o.x, 70);
  EXPECT_TRUE(win::IsWindowVisible(win::HWND(ha)));
  EXPECT_FALSE(win::IsWindowVisible(win::HWND(hb)));
  for (const cell* f : {&a, &b}) {
    cell s2 = *facet(f, facet_index::state);
    EXPECT_EQ(block::rs_abs_at(&s2, 1)->data2, 0u);
  }
}

}  // namespace vyr::test

namespace vyr::test {

TEST_F(events, ActivationScrollBarsAndTracingOffInHandlers) {
  cell a = face("a", "window"), b = face("b", "window");
  win::HWND ha = show(a), hb = show(b, 500, 100);
  pump();
  seen.clear();
  bool traced_inside = true;
  on_event = [&](const std::string&) { traced_inside = trace::active; };
  trace::active = true;
  win::SetActiveWindow(ha);
  pump();
  trace::active = false;
  EXPECT_FALSE(traced_inside);
  auto t = types();
  EXPECT_NE(std::find(t.begin(), t.end(), "unfocus"), t.end());
  EXPECT_NE(std::find(t.begin(), t.end(), "focus"), t.end());
  seen.clear();
  win::SendMessage(hb, win::WM_VSCROLL, 3, 0);   // page down on the window's own bar
  win::SendMessage(hb, win::WM_HSCROLL, 7, 0);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(prefix(seen[0], "scroll page-down"), "scroll page-down");
  EXPECT_EQ(prefix(seen[1], "scroll end"), "scroll end");
}

}  // namespace vyr::test

namespace vyr::test {

TEST_F(events, OneHandlerClosingTwoLoopOwnersEndsBothLoops) {
  cell a = face("a", "window"), b = face("b", "window");
  win::HWND outer = show(a), inner{};
  pump();
  bool opened = false;
  std::vector<std::string> ends;
  on_event = [&](const std::string& type) {
    if (type == "down" && !opened) {
      opened = true;
      inner = show(b, 600, 100);
      hd->script([&] { hd->close(inner); });
      hd->script([] {}, 5000000);   // still there when both loops have ended
      do_events(false);
      ends.push_back("inner");
    } else if (type == "close") {
      for (win::HWND h : {inner, outer}) {
        loop_owner_destroyed();
        win::DestroyWindow(h);
      }
    }
  };
  win::POINT o;
  win::ClientToScreen(outer, o);
  hd->script([&] { hd->click({o.x + 5, o.y + 5}); });
  loop().depth = 0;
  do_events(false);
  ends.push_back("outer");
  EXPECT_EQ(ends, (std::vector<std::string>{"inner", "outer"}));
  EXPECT_EQ(hd->script_left(), 1u);   // the outer loop ended on the passed-on quit
  EXPECT_EQ(loop().pending_exits, 0);
  EXPECT_EQ(loop().depth, 0);
}

TEST_F(events, TheWheelFoldsBeyond24000) {
  cell f = face("f", "window");
  win::HWND h = show(f);
  pump();
  seen.clear();
  for (int d : {25000, -25000, 240}) {
    win::PostMessage(h, win::WM_MOUSEWHEEL, win::WPARAM(u32(u16(int16_t(d))) << 16), 0);
    pump();
  }
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_NE(seen[0].find(" -47.66666666666666"), std::string::npos) << seen[0];
  EXPECT_NE(seen[1].find(" 47.66666666666666"), std::string::npos) << seen[1];
  EXPECT_NE(seen[2].find(" 2.0 "), std::string::npos) << seen[2];
}

}  // namespace vyr::test

namespace vyr::test {

TEST_F(lifecycle, ToImageOfFacesAndOtherObjects) {
  open_top();
  cell b = face("ti", "base");
  run("ti/color: 255.255.255");
  cell out;
  EXPECT_TRUE(face_to_image(&b, &out));
  EXPECT_EQ(type_of(&out), u32(TYPE_NONE));   // never shown
  u32 h = OS_make_view(&b, win::raw(top));
  realise(b, h);
  on_event = [&](const std::string& type) {
    if (type != "drawing") return;
    window_run* run = paint_run(win::HWND(h));
    ASSERT_NE(run, nullptr);
    cairo_t* cr = run->ctx.cr;
    cairo_set_source_rgba(cr, 0, 0, 1, 0.5);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_paint(cr);
  };
  EXPECT_TRUE(face_to_image(&b, &out));
  ASSERT_EQ(type_of(&out), u32(TYPE_IMAGE));
  collector::root_guard g(&out);
  EXPECT_EQ(image::width_of(&out), 300u);
  EXPECT_EQ(image::height_of(&out), 200u);
  // Straight colour back from the premultiplied picture: blue, half transparent.
  EXPECT_EQ(image::get_pixel(out.data2, 0) & 0x00FFFFFF, 0x0000FFu);
  cell o = run("make object! [a: 1]");
  EXPECT_FALSE(face_to_image(&o, &out));
}

}  // namespace vyr::test
