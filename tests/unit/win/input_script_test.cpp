// Input scripts of the headless display: the parser's table and the player's messages and
// clock.
#include <gtest/gtest.h>

#include <cstdio>

#include <cairo.h>

#include "gui/win/headless/input_script.h"
#include "gui/win/menus/menus.h"
#include "win_fixture.h"

namespace vyr::win::test {

TEST(input_script, ParsesEveryCommandAndNamesTheFirstBadLine) {
  script_parse p = parse_input_script(
      "# a comment\n\ntext  two  spaces\nkey Ctrl+Shift+Left\nkey Alt+a\nkey F12\nkey 7\n"
      "down 10 20.5\nrup -3 4\nwheel 0.2\nwheel -2 ctrl\nime \xC3\xA9t\xC3\xA9\nwait 250\n"
      "clip a\\nb\\\\c\\t\nclip-files /a /b c\nclip-image\nresize 300 200\nmove-window -100000 100000\n"
      "focus\nunfocus\nclose\nframe out.png\r\n");
  ASSERT_EQ(p.error, "");
  ASSERT_EQ(p.commands.size(), 20u);
  const auto& c = p.commands;
  EXPECT_EQ(c[0].text, " two  spaces");
  EXPECT_EQ(c[0].line, 3);
  EXPECT_EQ(c[1].vk, VK_LEFT);
  EXPECT_EQ(c[1].modifiers, uint32_t(MK_CONTROL | MK_SHIFT));
  EXPECT_EQ(c[2].vk, uint32_t('A'));
  EXPECT_EQ(c[2].modifiers, 0x100u);
  EXPECT_EQ(c[3].vk, VK_F12);
  EXPECT_EQ(c[4].vk, uint32_t('7'));
  EXPECT_EQ(c[5].verb, script_command::DOWN);
  EXPECT_DOUBLE_EQ(c[5].y, 20.5);
  EXPECT_EQ(c[6].verb, script_command::RUP);
  EXPECT_DOUBLE_EQ(c[6].x, -3);
  EXPECT_EQ(c[7].wheel_delta, 24);
  EXPECT_EQ(c[8].wheel_delta, -240);
  EXPECT_EQ(c[8].modifiers, uint32_t(MK_CONTROL));
  EXPECT_EQ(c[9].text, "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(c[10].wait_us, 250000);
  EXPECT_EQ(c[11].text, "a\nb\\c\t");
  EXPECT_EQ(c[12].files, (std::vector<std::string>{"/a", "/b", "c"}));
  EXPECT_EQ(c[14].verb, script_command::RESIZE);
  EXPECT_EQ(c[15].verb, script_command::MOVE_WINDOW);
  EXPECT_EQ(c[19].text, "out.png");

  // Captions and texts keep their inner blanks.
  script_parse m = parse_input_script("menu Options/Choose Font...\nclick-text Mouse Copy&Paste\n");
  ASSERT_EQ(m.error, "");
  ASSERT_EQ(m.commands.size(), 2u);
  EXPECT_EQ(m.commands[0].verb, script_command::MENU);
  EXPECT_EQ(m.commands[0].text, "Options/Choose Font...");
  EXPECT_EQ(m.commands[1].verb, script_command::CLICK_TEXT);
  EXPECT_EQ(m.commands[1].text, "Mouse Copy&Paste");

  const struct { const char* text; const char* error; } bad[] = {
      {"text a\njump 1 2\n", "VYR_HEADLESS_INPUT line 2: unknown command: jump 1 2"},
      {"key Hyper+A\n", "VYR_HEADLESS_INPUT line 1: unknown key: key Hyper+A"},
      {"key F13\n", "VYR_HEADLESS_INPUT line 1: unknown key: key F13"},
      {"down 1\n", "VYR_HEADLESS_INPUT line 1: expected X Y: down 1"},
      {"wheel x\n", "VYR_HEADLESS_INPUT line 1: expected wheel N [ctrl]: wheel x"},
      {"wheel 1 shift\n", "VYR_HEADLESS_INPUT line 1: expected wheel N [ctrl]: wheel 1 shift"},
      {"wait -1\n", "VYR_HEADLESS_INPUT line 1: expected wait MS: wait -1"},
      {"clip a\\q\n", "VYR_HEADLESS_INPUT line 1: bad escape: clip a\\q"},
      {"resize 0 10\n", "VYR_HEADLESS_INPUT line 1: size out of range: resize 0 10"},
      {"resize 10 100001\n", "VYR_HEADLESS_INPUT line 1: size out of range: resize 10 100001"},
      // Coordinates no screen holds, whose pixels would overflow the display's integers.
      {"move-window 1e308 1e308\n", "VYR_HEADLESS_INPUT line 1: point out of range: move-window 1e308 1e308"},
      {"move-window 0 -100001\n", "VYR_HEADLESS_INPUT line 1: point out of range: move-window 0 -100001"},
      {"down 100000.5 0\n", "VYR_HEADLESS_INPUT line 1: point out of range: down 100000.5 0"},
      {"up 0 -3e9\n", "VYR_HEADLESS_INPUT line 1: point out of range: up 0 -3e9"},
      {"move 4e9 1\n", "VYR_HEADLESS_INPUT line 1: point out of range: move 4e9 1"},
      {"rdown -1e300 5\n", "VYR_HEADLESS_INPUT line 1: point out of range: rdown -1e300 5"},
      {"rup 1 2147483648\n", "VYR_HEADLESS_INPUT line 1: point out of range: rup 1 2147483648"},
      {"text\n", "VYR_HEADLESS_INPUT line 1: no text: text"},
      {"focus now\n", "VYR_HEADLESS_INPUT line 1: takes no argument: focus now"},
      {"menu\n", "VYR_HEADLESS_INPUT line 1: expected menu CAPTION/PATH: menu"},
      {"click-text  \n", "VYR_HEADLESS_INPUT line 1: expected click-text TEXT: click-text  "},
  };
  for (auto& b : bad) {
    script_parse q = parse_input_script(b.text);
    EXPECT_EQ(q.error, b.error);
    EXPECT_TRUE(q.commands.empty());
  }
}

class input_script_play : public layer {
 protected:
  HWND w{};
  void SetUp() override {
    layer::SetUp();
    w = top(100, 100, 400, 300);
    SetActiveWindow(w);
    SetFocus(w);
    pump();
    g_seen.clear();
  }
  // Runs the message loop until the input ends; returns the clock's advance in ms.
  int64_t run(std::string_view script) {
    script_parse p = parse_input_script(script);
    EXPECT_EQ(p.error, "");
    play_input_script(*hd, std::move(p.commands));
    int64_t t0 = now_us();
    MSG m;
    int r;
    while ((r = GetMessage(m, HWND{}, 0, 0)) > 0) {
      TranslateMessage(m);
      DispatchMessage(m);
    }
    EXPECT_EQ(r, -1);
    return (now_us() - t0) / 1000;
  }
  std::vector<seen> of(uint32_t msg) {
    std::vector<seen> out;
    for (auto& s : g_seen) if (s.msg == msg) out.push_back(s);
    return out;
  }
};

TEST_F(input_script_play, KeysGiveWin32sCharactersAndAltTypesNothing) {
  run("text aB\nkey Enter\nkey Ctrl+Backspace\nkey Ctrl+H\nkey Backspace\nkey Alt+A\nkey Ctrl+Shift+Left\n");
  std::vector<WPARAM> chars;
  for (auto& s : of(WM_CHAR)) chars.push_back(s.wp);
  EXPECT_EQ(chars, (std::vector<WPARAM>{'a', 'B', '\r', 0x7F, 8, 8}));
  auto sys = of(WM_SYSKEYDOWN);
  ASSERT_FALSE(sys.empty());
  EXPECT_EQ(sys.back().wp, WPARAM('A'));
  bool left = false;
  for (auto& s : of(WM_KEYDOWN)) left = left || s.wp == VK_LEFT;
  EXPECT_TRUE(left);
}

TEST_F(input_script_play, TheClockMovesOnlyOnWaitAndTheEndEndsInputWithTimersPending) {
  SetTimer(w, 7, 100);
  EXPECT_EQ(run("text a\nwait 250\ntext b\n"), 250);
  EXPECT_EQ(of(WM_TIMER).size(), 2u);
  // Without waits, no tick at all: the end comes first.
  g_seen.clear();
  EXPECT_EQ(run("text c\n"), 0);
  EXPECT_TRUE(of(WM_TIMER).empty());
}

TEST_F(input_script_play, PointerWheelWindowAndClipboardCommands) {
  hd->set_monitor_dpi(0, 144);
  pump();
  g_seen.clear();
  run("down 10 20\nup 10 20\nrdown 2 2\nrup 2 2\nwheel 0.2\nwheel -2 ctrl\n"
      "clip a\\nb\nresize 300 200\nunfocus\nfocus\nclose\n");
  auto down = of(WM_LBUTTONDOWN);
  ASSERT_EQ(down.size(), 1u);
  EXPECT_EQ(LOWORD(down[0].lp), 15);   // logical units at 144 DPI
  EXPECT_EQ(HIWORD(down[0].lp), 30);
  EXPECT_EQ(of(WM_RBUTTONDOWN).size(), 1u);
  auto wheels = of(WM_MOUSEWHEEL);
  ASSERT_EQ(wheels.size(), 2u);
  EXPECT_EQ(int16_t(HIWORD(wheels[0].wp)), 24);
  EXPECT_EQ(int16_t(HIWORD(wheels[1].wp)), -240);
  EXPECT_TRUE(LOWORD(wheels[1].wp) & MK_CONTROL);
  clipboard_content cc;
  ASSERT_TRUE(hd->get_clipboard(&cc));
  EXPECT_EQ(cc.text, "a\nb");
  auto sizes = of(WM_SIZE);
  ASSERT_FALSE(sizes.empty());
  EXPECT_EQ(LOWORD(sizes.back().lp), 450);   // the client size, in logical units
  EXPECT_EQ(HIWORD(sizes.back().lp), 300);
  EXPECT_EQ(of(WM_CLOSE).size(), 1u);
  EXPECT_FALSE(of(WM_KILLFOCUS).empty());
}

TEST_F(input_script_play, FrameWritesTheClientAreaAsRgba) {
  std::string path = ::testing::TempDir() + "input_script_frame.png";
  std::remove(path.c_str());
  run("frame " + path + "\n");
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  ASSERT_EQ(cairo_surface_status(s), CAIRO_STATUS_SUCCESS);
  RECT r;
  GetClientRect(w, r);
  EXPECT_EQ(cairo_image_surface_get_width(s), r.width());
  EXPECT_EQ(cairo_image_surface_get_height(s), r.height());
  cairo_surface_flush(s);
  // The recorder's white background.
  EXPECT_EQ(*reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s)), 0xFFFFFFFFu);
  cairo_surface_destroy(s);
  std::remove(path.c_str());
}

// A window with the bar File [Run... (id 11), ---, Quit (id 13)] and two labelled children.
class input_script_window : public input_script_play {
 protected:
  HWND ok{}, cancel{};
  void SetUp() override {
    input_script_play::SetUp();
    HMENU file = CreatePopupMenu();
    const struct { const char* caption; uint32_t id; } items[] = {{"&Run...\tCtrl+R", 11}, {"---", 12}, {"&Quit", 13}};
    for (auto& it : items) {
      MENUITEMINFO mi;
      mi.fMask = MIIM_ID | (std::string(it.caption) == "---" ? MIIM_FTYPE : MIIM_STRING);
      mi.fType = std::string(it.caption) == "---" ? MFT_SEPARATOR : MFT_STRING;
      mi.dwTypeData = it.caption;
      mi.wID = it.id;
      InsertMenuItem(file, uint32_t(GetMenuItemCount(file)), true, mi);
    }
    HMENU bar = CreateMenu();
    MENUITEMINFO mi;
    mi.fMask = MIIM_STRING | MIIM_SUBMENU;
    mi.dwTypeData = "&File";
    mi.hSubMenu = file;
    InsertMenuItem(bar, 0, true, mi);
    SetMenu(w, bar);
    ok = child(w, 20, 40, 80, 24);
    SetWindowText(ok, "&OK");
    cancel = child(w, 120, 40, 80, 24);
    SetWindowText(cancel, "Cancel");
    pump();
    g_seen.clear();
  }
};

TEST_F(input_script_window, MenuPlaysTheBarsClicksAndClickTextHitsTheControlsCentre) {
  run("menu File/Run...\nclick-text OK\nclick-text Cancel\n");
  auto commands = of(WM_COMMAND);
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].hwnd, w);
  EXPECT_EQ(LOWORD(commands[0].wp), 11);
  EXPECT_FALSE(of(WM_ENTERMENULOOP).empty());
  auto downs = of(WM_LBUTTONDOWN);
  ASSERT_EQ(downs.size(), 2u);
  EXPECT_EQ(downs[0].hwnd, ok);
  EXPECT_EQ(downs[0].lp, MAKELPARAM(40, 12));
  EXPECT_EQ(downs[1].hwnd, cancel);
  EXPECT_EQ(of(WM_LBUTTONUP).size(), 2u);
}

TEST_F(input_script_window, AnUnknownCaptionPathOrTextIsABadLine) {
  const struct { const char* script; const char* report; } bad[] = {
      {"text a\nmenu File/Open...\n", "VYR_HEADLESS_INPUT line 2: no menu item File/Open...\n"},
      {"menu File\n", "VYR_HEADLESS_INPUT line 1: no menu item File\n"},
      {"menu File/---\n", "VYR_HEADLESS_INPUT line 1: no menu item File/---\n"},
      {"click-text Help\n", "VYR_HEADLESS_INPUT line 1: no control shows Help\n"},
  };
  for (auto& b : bad) EXPECT_EXIT(run(b.script), ::testing::ExitedWithCode(2), b.report) << b.script;
  // A hidden control shows nothing.
  ShowWindow(cancel, SW_HIDE);
  EXPECT_EXIT(run("click-text Cancel\n"), ::testing::ExitedWithCode(2), "no control shows Cancel");
}

}  // namespace vyr::win::test
