// Rich-text layouts kept in a face's `handles`: painted and measured from one layout until a
// change of the face marks it stale; released by the collector with the face.
#include "tests/unit/gui/events_fixture.h"

#include "gui/draw/internal.h"
#include "gui/text/handles.h"
#include "gui/text/text_box.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/point.h"
#include "runtime/externals.h"

namespace vyr::test {

class rich_text : public lifecycle {
 protected:
  // A rich-text face kept by the word `name`, with the three words of its style.
  cell rich(const std::string& name, const std::string& text, const std::string& data) {
    return run(name + ": make object! [type: 'rich-text offset: 10x10 size: 200x100 text: " + text +
               " image: none color: 255.255.255 menu: none data: " + data +
               " enabled?: true visible?: true selected: flags: options: parent: pane: state: rate: "
               "edge: para: font: actors: extra: draw: none tabs: line-spacing: handles: none] " + name);
  }
  // The table entry of the kept layout's handle.
  i32 entry(const std::string& name) {
    cell h = run(name + "/handles/1");
    return type_of(&h) == TYPE_HANDLE ? handle::external_of(&h) : -2;
  }
  void paint(win::HWND h) {
    win::InvalidateRect(h, nullptr, false);
    pump();
  }
};

TEST_F(rich_text, AShownFacePaintsFromOneLayoutUntilAChangeMarksItStale) {
  open_top();
  std::string lines;
  for (int i = 1; i <= 60; i++) lines += "line " + std::to_string(i) + "^/";
  cell f = rich("rt", "\"" + lines + "\"", "[1x4 bold 6x3 0.0.200]");
  u32 h = OS_make_view(&f, win::raw(top));
  ASSERT_NE(h, 0u);
  u64 before = text_box::layouts_made();
  realise(f, h);
  pump();
  for (int i = 0; i < 10; i++) paint(win::HWND(h));
  EXPECT_EQ(text_box::layouts_made() - before, 1u);
  EXPECT_EQ(form_text(run("reduce [length? rt/handles type? rt/handles/1 type? rt/handles/2 "
                          "same? rt/text rt/handles/3 rt/handles/4]")),
            "4 handle handle true false");
  i32 kept = entry("rt");
  ASSERT_GE(kept, 0);
  // A change of `data` marks the layout stale and repaints: one new layout, in the same
  // entry of the table; then the new one serves again.
  run("rt/data: [1x4 italic]");
  push_change(f, facet_index::data);
  pump();
  EXPECT_EQ(text_box::layouts_made() - before, 2u);
  EXPECT_EQ(entry("rt"), kept);
  for (int i = 0; i < 5; i++) paint(win::HWND(h));
  EXPECT_EQ(text_box::layouts_made() - before, 2u);
  // The measures come from the kept layout too, while the handles say it is current.
  cell none{TYPE_NONE, 0, 0, 0}, lines_out;
  text_box::metrics(&f, &none, text_box::LINE_COUNT, &lines_out);
  EXPECT_EQ(form_text(lines_out), "61");
  EXPECT_EQ(text_box::layouts_made() - before, 2u);
}

TEST_F(rich_text, MeasuresFollowTheHandlesAndAnUnshownFaceIsMarkedByUpdateView) {
  cell f = rich("m", "\"ab\"", "none");
  cell none{TYPE_NONE, 0, 0, 0}, size;
  auto width = [&] {
    text_box::metrics(&f, &none, text_box::SIZE_TEXT, &size);
    return point::get(&size, 0);
  };
  u64 before = text_box::layouts_made();
  float narrow = width();
  EXPECT_EQ(text_box::layouts_made() - before, 1u);   // `handles` was none
  EXPECT_EQ(form_text(run("m/handles/4")), "false");
  width();
  EXPECT_EQ(text_box::layouts_made() - before, 1u);
  // An unshown face's change comes through update-view, which marks the layout stale.
  run("m/text: \"abcdef\"");
  OS_update_view(&f);
  EXPECT_EQ(form_text(run("m/handles/4")), "true");
  EXPECT_GT(width(), narrow);
  EXPECT_EQ(text_box::layouts_made() - before, 2u);
  // The View engine's size-text sets the mark itself.
  run("m/handles/4: true");
  width();
  EXPECT_EQ(text_box::layouts_made() - before, 3u);
  EXPECT_TRUE(text_box::layout_needed_q(&f) == false);
}

TEST_F(rich_text, AnUnshownFaceInDrawIsComparedByContentAndItsLayoutGoesWithIt) {
  cell f = rich("u", "\"one\"", "none");
  cell img = run("img: make image! 60x20 draw img compose [text 0x0 (u)] img");
  collector::root_guard gi(&img);
  // Drawn by DRAW, an unshown face keeps nothing: its changes cannot mark a layout stale.
  EXPECT_EQ(form_text(run("u/handles")), "none");
  collector::do_cycle();   // what earlier tests left goes first
  u32 live = externals::live_count();
  cell none{TYPE_NONE, 0, 0, 0}, out;
  text_box::metrics(&f, &none, text_box::LINE_COUNT, &out);
  EXPECT_EQ(externals::live_count(), live + 1);
  run("u: none");
  collector::do_cycle();
  EXPECT_EQ(externals::live_count(), live);
}

// A long wrapped text is laid out in pieces of rows: its rows and caret places are those of
// the whole text laid out at once, and a text edited from a kept one (typing at its end, an
// insertion and a removal inside it) measures as the same text laid out afresh.
TEST_F(rich_text, ALongTextInPiecesMeasuresAsTheWholeTextAndAsAFreshLayoutAfterEdits) {
  run("long: make string! 40000 repeat i 3600 [append long pick [\"alpha \" \"b \" \"gamma, \" "
      "\"d^(E9)j^(E0)-vu \" \"^(6F22)^(5B57) \" \"xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx \"] i % 6 + 1]");
  cell f = rich("lt", "long", "none");
  auto metric = [&](i32 kind, const cell& arg) {
    cell out, a = arg;
    text_box::metrics(&f, &a, kind, &out);
    return form_text(out);
  };
  auto integer = [](i64 n) { return cell{TYPE_INTEGER, 0, u32(i32(n)), 0}; };
  i64 length = 0;
  // Line count, caret places every 97 characters and at the end, and the characters under
  // points across the rows.
  auto measures = [&] {
    length = i32(run("length? lt/text").data2);
    std::string all = metric(text_box::LINE_COUNT, integer(0));
    for (i64 i = 1; i <= length + 1; i += 97) all += " " + metric(text_box::CARET_TO_OFFSET, integer(i));
    all += " " + metric(text_box::CARET_TO_OFFSET, integer(length + 1));
    for (int y = 0; y < 40000; y += 733)
      for (int x : {0, 57, 190}) all += " " + metric(text_box::OFFSET_TO_CARET, cell{TYPE_PAIR, 0, u32(x), u32(y)});
    return all;
  };
  auto fresh = [&] {
    draw::drop_kept_layouts();
    run("lt/handles/4: true");
    std::string m = measures();
    run("lt/handles/4: true");
    return m;
  };

  // Against the whole text laid out in one layout.
  draw::context c;
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  draw::begin_on_surface(c, s, 96);
  cairo_surface_destroy(s);
  draw::drawing_state st;
  std::string text;
  PangoLayout* whole = draw::face_layout(c, &f, st, nullptr, &text, nullptr, nullptr);
  ASSERT_GT(text.size(), 30000u);
  EXPECT_EQ(metric(text_box::LINE_COUNT, integer(0)), std::to_string(pango_layout_get_line_count(whole)));
  length = i32(run("length? lt/text").data2);
  for (i64 i = 1; i <= length + 1; i += 89) {
    PangoRectangle r;
    pango_layout_index_to_pos(whole, int(draw::byte_of_char(text, i - 1)), &r);
    cell expected{TYPE_POINT2D, 0, 0, 0};
    point::set(&expected, 0, float(double(r.x) / PANGO_SCALE));
    point::set(&expected, 1, float(std::max(0.0, double(r.y) / PANGO_SCALE)));
    ASSERT_EQ(metric(text_box::CARET_TO_OFFSET, integer(i)), form_text(expected)) << "at " << i;
  }
  g_object_unref(whole);

  std::string start = measures();
  EXPECT_EQ(start, fresh());
  const char* edits[] = {
      "append lt/text \"y\"", "append lt/text \"yy yy\"", "insert at lt/text 20000 \"inserted words \"",
      "remove/part at lt/text 3000 40", "insert at lt/text 12 \"^(E9)\"", "clear at lt/text 25000",
  };
  for (const char* edit : edits) {
    run(edit);
    OS_update_view(&f);
    std::string edited = measures();
    EXPECT_EQ(edited, fresh()) << edit;
  }
}

}  // namespace vyr::test
