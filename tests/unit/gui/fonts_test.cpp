// Fonts of font! objects and para! style bits, on the headless display.
#include <gtest/gtest.h>

#include <string>

#include "boot/environment.h"
#include "gui/backend/fonts.h"
#include "gui/win/headless/answers.h"
#include "gui/win/headless/display.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/cells.h"
#include "tests/unit/gui/gui_fixture.h"
#include "tests/unit/value_helpers.h"

namespace vyr::test {
using namespace vyr::gui;

class fonts : public headless_gui {
 protected:
  cell font(const std::string& fields) {
    return run("make object! [name: size: style: angle: color: anti-alias?: shadow: state: "
               "parent: none " + fields + "]");
  }
  cell face(const std::string& type, const std::string& para) {
    return run("make object! [type: '" + type + " offset: size: text: image: color: menu: data: "
               "enabled?: visible?: selected: none flags: options: parent: none pane: [] state: "
               "[0 0 none false] rate: edge: none para: " + para +
               " font: actors: extra: draw: facet-23: facet-24: none]");
  }
  cell para(const std::string& fields) {
    return run("make object! [origin: padding: scroll: align: v-align: wrap?: parent: none " + fields + "]");
  }
};

TEST_F(fonts, RequestsFollowTheFontObject) {
  start("1000x1000+0+0@144");
  struct { const char* fields; i32 height; i32 weight; bool underline; u8 quality; } rows[] = {
      {"size: 10", -20, 0, false, 0},
      {"size: 0", -18, 0, false, 0},      // the default size, 9 points
      {"size: -4", -18, 0, false, 0},
      {"size: 10.0", -18, 0, false, 0},   // a float! size takes the default
      {"size: 10 style: [bold underline]", -20, 700, true, 0},
      {"size: 10 style: 'wavy", -20, 0, false, 0},
      {"size: 10 anti-alias?: 'cleartype", -20, 0, false, 5},
      {"size: 10 anti-alias?: true", -20, 0, false, 4},
  };
  for (auto& r : rows) {
    cell f = font(r.fields);
    collector::root_guard g(&f);
    win::LOGFONT lf = font_request(&f, true);
    EXPECT_EQ(lf.lfHeight, r.height) << r.fields;
    EXPECT_EQ(lf.lfWeight, r.weight) << r.fields;
    EXPECT_EQ(lf.lfUnderline, r.underline) << r.fields;
    EXPECT_EQ(lf.lfQuality, r.quality) << r.fields;
  }
  cell f = font("size: 10 name: \"0123456789012345678901234567890123456789\"");
  collector::root_guard g(&f);
  EXPECT_EQ(font_request(&f, false).lfHeight, -13);
  EXPECT_EQ(font_request(&f, false).lfFaceName, "0123456789012345678901234567890");
}

TEST_F(fonts, FontsAreCachedInTheStateAndFreed) {
  start();
  cell f = font("size: 12");
  collector::root_guard g1(&f);
  cell fc = face("text", "none");
  collector::root_guard g2(&fc);
  win::HFONT h = font_for_face(&fc, &f);
  ASSERT_NE(h, win::HFONT{});
  EXPECT_EQ(font_handle(&f, 1), h);
  EXPECT_EQ(font_handle(&f, 3), win::HFONT{});  // a new state holds only the current-DPI font
  EXPECT_EQ(face_font(&fc, &f), h);              // cached
  h = font_for_face(&fc, &f);                    // with a state: the 96-DPI font too
  EXPECT_EQ(font_handle(&f, 1), h);
  EXPECT_NE(font_handle(&f, 3), win::HFONT{});
  const cell* parent = facet(&f, font_field::parent);
  ASSERT_EQ(type_of(parent), TYPE_BLOCK);
  EXPECT_EQ(cells::length(series::node(parent)), 1u);  // the face is recorded once,
  EXPECT_EQ(cells::remaining(parent), 0u);             // behind the list's head
  update_font(&fc, &f, 4);                  // a colour change keeps the fonts
  EXPECT_EQ(font_handle(&f, 1), h);
  EXPECT_TRUE(free_font(&fc, &f));
  EXPECT_EQ(type_of(facet(&f, font_field::state)), TYPE_NONE);
  EXPECT_FALSE(free_font(&fc, &f));
  update_font(&fc, &f, 1);  // a size change makes a new one
  EXPECT_NE(font_handle(&f, 1), win::HFONT{});
}

TEST_F(fonts, AFreedFaceLeavesItsFontAndParaAndTheLastOneReleasesTheFont) {
  start();
  run("fnt: make object! [name: size: style: angle: color: anti-alias?: shadow: state: parent: none "
      "size: 12]");
  run("par: make object! [origin: padding: scroll: align: v-align: wrap?: parent: none]");
  cell f1 = run("f1: make object! [type: 'text offset: size: text: image: color: menu: data: "
                "enabled?: visible?: selected: none flags: options: parent: none pane: [] state: "
                "[0 0 none false] rate: edge: none para: par font: fnt actors: extra: draw: "
                "facet-23: facet-24: none]");
  collector::root_guard g1(&f1);
  cell f2 = run("f2: make f1 [state: [0 0 none false]]");
  collector::root_guard g2(&f2);
  run("par/parent: reduce [f1 f2]");
  for (cell* f : {&f1, &f2}) {
    win::HWND h = win::CreateWindowEx(0, "Plain", "", win::WS_POPUP, 0, 0, 10, 10, win::HWND{},
                                      win::HMENU{}, nullptr);
    handle::make_at(block::rs_abs_at(facet(f, facet_index::state), 0), win::raw(h), HANDLE_WINDOW);
    ASSERT_NE(font_for_face(f, facet(f, facet_index::font)), win::HFONT{});
  }
  EXPECT_EQ(form_text(run("reduce [length? head fnt/parent length? head par/parent]")), "2 2");
  free_face(&f1, false);
  EXPECT_EQ(form_text(run("reduce [length? head fnt/parent same? f2 first head fnt/parent "
                        "length? head par/parent same? f2 first head par/parent block? fnt/state]")),
            "1 true 1 true true");
  free_face(&f2, false);
  // The font's last face went: its native fonts go too.
  EXPECT_EQ(form_text(run("reduce [length? head fnt/parent length? head par/parent fnt/state]")),
            "0 0 none");
}

TEST_F(fonts, ParaFlagsByFaceType) {
  start();
  struct { const char* type; const char* para; u32 flags; } rows[] = {
      {"text", "wrap?: false align: 'right", 0x4002},
      {"text", "v-align: 'middle", 0x200},
      {"base", "", 1 | 4 | 16},
      {"base", "align: 'left v-align: 'bottom wrap?: false", 8},
      {"rich-text", "", 16},
      {"button", "", 0x300 | 0xC00},
      {"check", "", 0x100 | 0xC00},
      {"field", "wrap?: false align: 'center", 0xC1},
      {"area", "v-align: 'middle", 0x200},
      {"camera", "align: 'right", 0},
  };
  for (auto& r : rows) {
    cell p = para(r.para);
    collector::root_guard g(&p);
    cell t = run(std::string("'") + r.type);
    EXPECT_EQ(para_flags(&t, &p), r.flags) << r.type << " " << r.para;
  }
  cell t = run("'text");
  cell none{TYPE_NONE, 0, 0, 0};
  EXPECT_EQ(para_flags(&t, &none), 0u);
}

TEST_F(fonts, UpdateParaClearsEveryBitTheTableSets) {
  start();
  for (const char* type : {"text", "base"}) {
    cell p = para("v-align: 'middle");
    collector::root_guard gp(&p);
    cell fc = face(type, "none");
    collector::root_guard gf(&fc);
    *facet(&fc, facet_index::para) = p;
    win::HWND h = win::CreateWindowEx(0, "Plain", "", win::WS_POPUP, 0, 0, 10, 10, win::HWND{},
                                      win::HMENU{}, nullptr);
    cell* state = facet(&fc, facet_index::state);
    handle::make_at(block::rs_abs_at(state, 0), win::raw(h), HANDLE_WINDOW);
    update_para(&fc);
    u32 middle = u32(win::GetWindowLong(h, win::GWL_STYLE));
    EXPECT_EQ(middle & 0x200, std::string(type) == "text" ? 0x200u : 0u) << type;
    cell p2 = para("v-align: 'top wrap?: false");
    *facet(&fc, facet_index::para) = p2;  // held by the face from here on
    update_para(&fc);
    u32 top = u32(win::GetWindowLong(h, win::GWL_STYLE));
    // No vertical centring and no wrap left; `base` centres horizontally by default.
    EXPECT_EQ(top & 0x21F, std::string(type) == "text" ? 0u : 1u) << type;
    if (std::string(type) == "text") {
      EXPECT_EQ(top & 0x4000, 0x4000u);
    }
    state = facet(&fc, facet_index::state);
    EXPECT_EQ(cells::get(state->data2, 1)->data2 & 0x40000, 0x40000u);
  }
}

TEST_F(fonts, TheDialogFillsTheFontFromItsAnswer) {
  start();
  auto* answers = dynamic_cast<win::answer_queue*>(win::dialogs::current());
  ASSERT_NE(answers, nullptr);
  answers->queue_dialog({"font", {"DejaVu Sans", "12", "bold italic"}});
  answers->queue_dialog({"font", {"DejaVu Serif", "10"}});
  answers->queue_dialog({"cancel", {}});
  cell none{TYPE_NONE, 0, 0, 0};
  cell r = font("");
  collector::root_guard g(&r);
  OS_request_font(&r, &none, false);
  ASSERT_EQ(type_of(&r), TYPE_OBJECT);
  EXPECT_EQ(string::to_utf8(facet(&r, font_field::name)), "DejaVu Sans");
  EXPECT_EQ(i32(facet(&r, font_field::size)->data2), 12);
  EXPECT_EQ(type_of(facet(&r, font_field::style)), TYPE_BLOCK);
  cell r2 = font("");
  collector::root_guard g2(&r2);
  OS_request_font(&r2, &none, true);
  EXPECT_EQ(type_of(facet(&r2, font_field::style)), TYPE_NONE);  // regular: no style
  cell r3 = font("");
  collector::root_guard g3(&r3);
  OS_request_font(&r3, &none, false);
  EXPECT_EQ(type_of(&r3), TYPE_NONE);
  // With no answer queued the dialog gives none, as a cancel does, and says so.
  cell r4 = font("");
  collector::root_guard g4(&r4);
  testing::internal::CaptureStderr();
  OS_request_font(&r4, &none, false);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "headless display: no answer queued for a font dialog\n");
  EXPECT_EQ(type_of(&r4), TYPE_NONE);
  EXPECT_EQ(answers->unexpected, 1u);
}

}  // namespace vyr::test
