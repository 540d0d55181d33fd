// The queue: the order messages come out in, the quit flag, timers, keys and threads.
#include <algorithm>
#include <thread>

#include "tests/unit/win/win_fixture.h"

namespace vyr::win::test {

// The quit comes ahead of input: keys typed after what ends a loop belong to the next loop.
TEST_F(layer, QueueTakesPostedQuitInputPaintTimerInThatOrder) {
  HWND h = top();
  pump();   // the first paint
  SetTimer(h, 7, 10);
  hd->advance(20000);
  InvalidateRect(h, nullptr, false);
  PostQuitMessage(3);
  hd->key('A', true, "a");
  PostMessage(h, WM_USER + 1, 0, 0);
  std::vector<uint32_t> order;
  MSG m;
  for (int i = 0; i < 5 && PeekMessage(m, HWND{}, 0, 0, PM_REMOVE); ++i) {
    order.push_back(m.message);
    if (m.message == WM_PAINT) ValidateRect(m.hwnd, nullptr);
  }
  EXPECT_EQ(order, (std::vector<uint32_t>{WM_USER + 1, WM_QUIT, WM_KEYDOWN, WM_PAINT, WM_TIMER}));
}

TEST_F(layer, PostedMessagesKeepTheirOrderAndFilterByRange) {
  HWND h = top();
  pump();
  for (uint32_t i = 0; i < 5; ++i) PostMessage(h, WM_USER + i, i, 0);
  MSG m;
  ASSERT_TRUE(PeekMessage(m, HWND{}, WM_USER + 3, WM_USER + 3, PM_REMOVE));
  EXPECT_EQ(m.message, WM_USER + 3);
  for (uint32_t want : {0u, 1u, 2u, 4u}) {
    ASSERT_TRUE(PeekMessage(m, HWND{}, 0, 0, PM_REMOVE));
    EXPECT_EQ(m.wParam, want);
  }
}

TEST_F(layer, QuitIsAFlagTwoPostsGiveOneQuit) {
  PostQuitMessage(1);
  PostQuitMessage(2);
  MSG m;
  EXPECT_EQ(GetMessage(m, HWND{}, 0, 0), 0);
  EXPECT_EQ(m.wParam, 2u);
  // Nothing else left: the headless display has no input and says so.
  testing::internal::CaptureStderr();
  EXPECT_EQ(GetMessage(m, HWND{}, 0, 0), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "headless display: no input left\n");
}

TEST_F(layer, TimersCoalesceAndHaveATenMillisecondFloor) {
  HWND h = top();
  pump();
  SetTimer(h, 1, 1);   // raised to 10 ms
  MSG m;
  hd->advance(9000);
  EXPECT_FALSE(PeekMessage(m, HWND{}, WM_TIMER, WM_TIMER, PM_REMOVE));
  hd->advance(1000);
  EXPECT_TRUE(PeekMessage(m, HWND{}, WM_TIMER, WM_TIMER, PM_REMOVE));
  // Many periods late still gives one WM_TIMER.
  hd->advance(100000);
  EXPECT_TRUE(PeekMessage(m, HWND{}, WM_TIMER, WM_TIMER, PM_REMOVE));
  EXPECT_FALSE(PeekMessage(m, HWND{}, WM_TIMER, WM_TIMER, PM_REMOVE));
  EXPECT_TRUE(KillTimer(h, 1));
  EXPECT_FALSE(KillTimer(h, 1));
}

// A timer with a procedure: its WM_TIMER goes to the procedure, never to the window's own
// procedure, whatever the window's class; one killed after it was taken out is not called.
std::vector<std::pair<HWND, uintptr_t>> g_timer_calls;
void timer_proc(HWND h, uint32_t, uintptr_t id, uint32_t) { g_timer_calls.push_back({h, id}); }

TEST_F(layer, ATimersProcedureTakesItsTicksInsteadOfTheWindow) {
  HWND h = top();
  pump();
  g_timer_calls.clear();
  SetTimer(h, 1, 10, timer_proc);
  SetTimer(h, 2, 10);
  hd->advance(10000);
  MSG m;
  for (int i = 0; i < 2 && PeekMessage(m, HWND{}, WM_TIMER, WM_TIMER, PM_REMOVE); ++i) DispatchMessage(m);
  EXPECT_EQ(g_timer_calls, (std::vector<std::pair<HWND, uintptr_t>>{{h, 1}}));
  EXPECT_EQ(seen_of({WM_TIMER}), (std::vector<uint32_t>{WM_TIMER}));   // timer 2 only
  hd->advance(10000);
  ASSERT_TRUE(PeekMessage(m, HWND{}, WM_TIMER, WM_TIMER, PM_REMOVE));
  KillTimer(h, m.wParam);
  DispatchMessage(m);
  EXPECT_EQ(g_timer_calls.size() + seen_of({WM_TIMER}).size(), 2u);
}

TEST_F(layer, GetMessageJumpsTheVirtualClockToTheNextTimer) {
  HWND h = top();
  pump();
  int64_t t0 = hd->now_us();
  SetTimer(h, 5, 250);
  MSG m;
  ASSERT_EQ(GetMessage(m, HWND{}, 0, 0), 1);
  EXPECT_EQ(m.message, WM_TIMER);
  EXPECT_EQ(m.wParam, 5u);
  EXPECT_EQ(hd->now_us() - t0, 250000);
}

TEST_F(layer, ScriptedStepsRunWhenTheQueueIsIdle) {
  HWND h = top();
  pump();
  hd->script([&] { PostMessage(h, WM_USER, 1, 0); }, 5000);
  hd->script([&] { PostQuitMessage(0); });
  MSG m;
  ASSERT_EQ(GetMessage(m, HWND{}, 0, 0), 1);
  EXPECT_EQ(m.message, WM_USER);
  EXPECT_EQ(GetMessage(m, HWND{}, 0, 0), 0);
}

TEST_F(layer, PostMessageFromAnotherThreadWakesTheLoop) {
  HWND h = top();
  pump();
  // A long timer keeps the headless loop from running dry while the thread posts.
  SetTimer(h, 9, 100000);
  std::thread t([h] {
    for (int i = 0; i < 1000; ++i) PostMessage(h, WM_USER, i, 0);
  });
  MSG m;
  uint64_t next = 0;
  while (next < 1000) {
    ASSERT_EQ(GetMessage(m, HWND{}, 0, 0), 1);
    if (m.message == WM_TIMER) continue;
    ASSERT_EQ(m.message, WM_USER);
    ASSERT_EQ(m.wParam, next);
    ++next;
  }
  t.join();
}

TEST_F(layer, TranslateMessageMakesCharsFromTextInUtf16Units) {
  HWND h = top();
  pump();
  SetFocus(h);
  g_seen.clear();
  hd->key('A', true, "\xF0\x9F\x98\x80");   // U+1F600: two UTF-16 units
  hd->key('A', false);
  pump();
  std::vector<WPARAM> chars;
  for (auto& s : g_seen) if (s.msg == WM_CHAR) chars.push_back(s.wp);
  EXPECT_EQ(chars, (std::vector<WPARAM>{0xD83D, 0xDE00}));
  EXPECT_EQ(seen_of({WM_KEYDOWN, WM_CHAR, WM_KEYUP}),
            (std::vector<uint32_t>{WM_KEYDOWN, WM_CHAR, WM_CHAR, WM_KEYUP}));
}

TEST_F(layer, TranslateMessageFallsBackToTheUsLayout) {
  HWND h = top();
  pump();
  SetFocus(h);
  struct { std::vector<std::pair<uint32_t, bool>> keys; std::vector<WPARAM> chars; } cases[] = {
    {{{'A', true}, {'A', false}}, {'a'}},
    {{{VK_SHIFT, true}, {'1', true}, {'1', false}, {VK_SHIFT, false}}, {'!'}},
    {{{VK_CONTROL, true}, {'C', true}, {'C', false}, {VK_CONTROL, false}}, {3}},
    {{{VK_OEM_2, true}, {VK_OEM_2, false}}, {'/'}},
    {{{VK_LEFT, true}, {VK_LEFT, false}}, {}},
  };
  for (auto& c : cases) {
    g_seen.clear();
    for (auto [vk, down] : c.keys) hd->key(vk, down);
    pump();
    std::vector<WPARAM> chars;
    for (auto& s : g_seen) if (s.msg == WM_CHAR) chars.push_back(s.wp);
    EXPECT_EQ(chars, c.chars);
  }
}

TEST_F(layer, ChordsHoldTheirModifiers) {
  HWND h = top();
  pump();
  SetFocus(h);
  g_seen.clear();
  hd->chord(MK_CONTROL | MK_SHIFT, 'Z');
  pump();
  std::vector<std::pair<uint32_t, WPARAM>> got;
  for (auto& s : g_seen) if (s.msg == WM_KEYDOWN || s.msg == WM_KEYUP || s.msg == WM_CHAR) got.push_back({s.msg, s.wp});
  EXPECT_EQ(got, (std::vector<std::pair<uint32_t, WPARAM>>{
                     {WM_KEYDOWN, VK_SHIFT}, {WM_KEYDOWN, VK_CONTROL}, {WM_KEYDOWN, 'Z'}, {WM_CHAR, 26},
                     {WM_KEYUP, 'Z'}, {WM_KEYUP, VK_CONTROL}, {WM_KEYUP, VK_SHIFT}}));
  EXPECT_GE(GetKeyState(VK_CONTROL), 0);
}

TEST_F(layer, KeyStateFollowsTheLastMessageTaken) {
  HWND h = top();
  pump();
  SetFocus(h);
  hd->key(VK_SHIFT, true, "", key_side::right);
  hd->key('B', true);
  MSG m;
  ASSERT_TRUE(PeekMessage(m, HWND{}, 0, 0, PM_REMOVE));
  EXPECT_LT(GetKeyState(VK_SHIFT), 0);
  EXPECT_LT(GetKeyState(VK_RSHIFT), 0);
  EXPECT_GE(GetKeyState(VK_LSHIFT), 0);
  EXPECT_GE(GetKeyState('B'), 0);   // its message is still queued
  ASSERT_TRUE(PeekMessage(m, HWND{}, 0, 0, PM_REMOVE));
  EXPECT_LT(GetKeyState('B'), 0);
  EXPECT_EQ((m.lParam >> 16) & 0xFF, 0x30);   // scan code of B
}

TEST_F(layer, AltKeysAreSystemKeys) {
  HWND h = top();
  pump();
  SetFocus(h);
  g_seen.clear();
  hd->key(VK_MENU, true, "", key_side::left);
  hd->key('X', true);
  pump();
  EXPECT_EQ(seen_of({WM_SYSKEYDOWN, WM_KEYDOWN, WM_SYSCHAR}),
            (std::vector<uint32_t>{WM_SYSKEYDOWN, WM_SYSKEYDOWN, WM_SYSCHAR}));
  auto sys_char = std::find_if(g_seen.begin(), g_seen.end(), [](const seen& s) { return s.msg == WM_SYSCHAR; });
  ASSERT_NE(sys_char, g_seen.end());
  EXPECT_TRUE(sys_char->lp & (1 << 29));
  // Alt and a character ask the top level for its menu bar.
  EXPECT_EQ(g_seen.back().msg, WM_SYSCOMMAND);
  EXPECT_EQ(g_seen.back().wp, SC_KEYMENU);
  EXPECT_EQ(g_seen.back().lp, 'x');
}

// Keys typed into a window that holds them wait, aimed at it, while other input passes; a
// click that moves the focus meanwhile does not take them along, and they come out in
// their order once the window takes keys again.
HWND g_holding{};
bool g_hold = true;
TEST_F(layer, HeldKeysWaitForTheirWindowInOrder) {
  HWND a = top(0, 0, 200, 200), b = top(300, 0, 200, 200);
  pump();
  g_holding = a;
  g_hold = true;
  set_key_hold([](HWND h) { return g_hold && h == g_holding; });
  SetActiveWindow(a);
  SetFocus(a);
  g_seen.clear();
  hd->type("xy");
  hd->click({350, 50});   // b takes the focus
  hd->type("z");
  pump();
  std::vector<std::pair<HWND, WPARAM>> chars;
  auto take = [&] {
    for (auto& s : g_seen) if (s.msg == WM_CHAR) chars.push_back({s.hwnd, s.wp});
    g_seen.clear();
  };
  take();
  EXPECT_EQ(chars, (std::vector<std::pair<HWND, WPARAM>>{{b, 'z'}}));
  EXPECT_EQ(GetFocus(), b);
  chars.clear();
  g_hold = false;
  pump();
  take();
  EXPECT_EQ(chars, (std::vector<std::pair<HWND, WPARAM>>{{a, 'x'}, {a, 'y'}}));
  set_key_hold(nullptr);
}

TEST(keys, MapVirtualKeyAndVkKeyScanShareOneTable) {
  struct { char16_t ch; int16_t scan; } cases[] = {{'a', 'A'}, {'A', 0x100 | 'A'}, {'?', 0x100 | VK_OEM_2}, {'5', '5'}, {' ', VK_SPACE}};
  for (auto& c : cases) {
    EXPECT_EQ(VkKeyScan(c.ch), c.scan) << char(c.ch);
    uint32_t sc = MapVirtualKey(c.scan & 0xFF, MAPVK_VK_TO_VSC);
    EXPECT_NE(sc, 0u);
    EXPECT_EQ(MapVirtualKey(sc, MAPVK_VSC_TO_VK), uint32_t(c.scan & 0xFF));
  }
  EXPECT_EQ(MapVirtualKey(VK_OEM_2, MAPVK_VK_TO_CHAR), uint32_t('/'));
  EXPECT_EQ(MapVirtualKey(0x2A, MAPVK_VSC_TO_VK_EX), VK_LSHIFT);
  EXPECT_EQ(MapVirtualKey(0x36, MAPVK_VSC_TO_VK_EX), VK_RSHIFT);
}

}  // namespace vyr::win::test
