// Measuring face text and the scroll bars of `area` faces, on the headless display.
#include <gtest/gtest.h>

#include <string>

#include "boot/environment.h"
#include "gui/backend/text_measure.h"
#include "gui/win/headless/display.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/point.h"
#include "tests/unit/gui/gui_fixture.h"

namespace vyr::test {
using namespace vyr::gui;

class text_measure : public headless_gui {
 protected:
  void SetUp() override {
    headless_gui::SetUp();
    start();
  }
  cell face(const std::string& type, const std::string& text, const std::string& size = "none") {
    return run("make object! [type: '" + type + " offset: none size: " + size + " text: " + text +
               " image: color: menu: data: enabled?: visible?: selected: none flags: options: "
               "parent: none pane: [] state: [0 0 none false] rate: edge: para: font: actors: "
               "extra: draw: facet-23: facet-24: none]");
  }
};

TEST_F(text_measure, AreaScrollBarsCountEveryCharacterOfALine) {
  win::HWND h = win::CreateWindowEx(0, "Plain", "", win::WS_POPUP, 0, 0, 100, 200, win::HWND{},
                                    win::HMENU{}, nullptr);
  win::HDC dc = win::GetDC(h);
  win::SelectObject(dc, g().default_font);
  i32 cw = i32(win::GetTabbedTextExtent(dc, "M") & 0xFFFF);
  win::ReleaseDC(h, dc);
  ASSERT_GT(cw, 0);
  // The shortest run of M wider than the window: one M fewer fits.
  i32 k = 100 / cw + 1;
  std::string line(size_t(k), 'M');
  cell f = face("area", "\"" + line + "\"");
  collector::root_guard fg(&f);
  attach_face(h, &f);
  update_area_scrollbars(h, nullptr);
  EXPECT_TRUE(win::scroll_bar_shown(h, win::SB_HORZ));
  EXPECT_FALSE(win::scroll_bar_shown(h, win::SB_VERT));
  cell shorter = run("\"" + line.substr(1) + "\"");
  update_area_scrollbars(h, &shorter);
  EXPECT_FALSE(win::scroll_bar_shown(h, win::SB_HORZ));
  // Enough lines for the height bring the vertical bar.
  std::string many;
  for (int i = 0; i < 40; i++) many += "a^/";
  cell tall = run("\"" + many + "\"");
  update_area_scrollbars(h, &tall);
  EXPECT_TRUE(win::scroll_bar_shown(h, win::SB_VERT));
  cell num = run("12");
  update_area_scrollbars(h, &num);  // not a string: the face's text
  EXPECT_TRUE(win::scroll_bar_shown(h, win::SB_HORZ));
}

TEST_F(text_measure, SizeTextOfBaseLikeAndOtherFaces) {
  cell b = face("base", "\"Hello\"");
  collector::root_guard g1(&b);
  cell t = face("text", "\"Hello\"");
  collector::root_guard g2(&t);
  cell none{TYPE_NONE, 0, 0, 0}, sb, st;
  get_text_size(&b, &none, &sb);
  get_text_size(&t, &none, &st);
  EXPECT_GT(point::get(&sb, 0), 10.0f);
  EXPECT_GT(point::get(&sb, 1), 5.0f);
  EXPECT_GT(point::get(&st, 0), 10.0f);
  cell longer = run("\"Hello, world\""), sl;
  get_text_size(&b, &longer, &sl);
  EXPECT_GT(point::get(&sl, 0), point::get(&sb, 0));
}

TEST_F(text_measure, SizeTextOfCentredTextIsItsWidthWhateverTheBox) {
  // A base face centres its text: the width is the text's, not where its right edge falls.
  cell narrow = face("base", "\"Hello\"", "100x30");
  collector::root_guard g1(&narrow);
  cell wide = face("base", "\"Hello\"", "200x30");
  collector::root_guard g2(&wide);
  cell none{TYPE_NONE, 0, 0, 0}, sn, sw;
  get_text_size(&narrow, &none, &sn);
  get_text_size(&wide, &none, &sw);
  EXPECT_GT(point::get(&sn, 0), 15.0f);
  EXPECT_LT(point::get(&sn, 0), 40.0f);
  EXPECT_FLOAT_EQ(point::get(&sn, 0), point::get(&sw, 0));
}

}  // namespace vyr::test
