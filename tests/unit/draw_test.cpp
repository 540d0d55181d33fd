// DRAW internals: the saved state and clips across errors, code point and byte positions,
// and pictures compared with reviewed reference PNGs (per channel, with a tolerance).
// VYR_DRAW_REFS=dir writes the pictures there instead, for review.
#include <cairo.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "boot/environment.h"
#include "gui/draw/draw.h"
#include "gui/text/text_box.h"
#include "gui_entry/module.h"
#include "runtime/datatypes/point.h"
#include "runtime/collector.h"
#include "runtime/datatypes/image.h"
#include "runtime/fire.h"
#include "runtime/imaging/imaging.h"
#include "runtime/stack.h"
#include "tests/unit/fixture.h"

#include <cstring>

namespace vyr::test {
namespace {

// DejaVu only, grayscale and unhinted, with the Windows family aliases, cache in the build
// tree: set before fontconfig starts, so text pixels are the same on every machine.
const bool fonts_ready = [] {
  const char* conf =
      "<?xml version=\"1.0\"?><!DOCTYPE fontconfig SYSTEM \"fonts.dtd\"><fontconfig>"
      "<dir>/usr/share/fonts/truetype/dejavu</dir><cachedir>fontcache</cachedir>"
      "<alias><family>Consolas</family><prefer><family>DejaVu Sans Mono</family></prefer></alias>"
      "<alias><family>Courier New</family><prefer><family>DejaVu Sans Mono</family></prefer></alias>"
      "<alias><family>Segoe UI</family><prefer><family>DejaVu Sans</family></prefer></alias>"
      "<alias><family>Arial</family><prefer><family>DejaVu Sans</family></prefer></alias>"
      "<alias><family>Times New Roman</family><prefer><family>DejaVu Serif</family></prefer></alias>"
      "<match target=\"font\"><edit name=\"antialias\"><bool>true</bool></edit>"
      "<edit name=\"hinting\"><bool>false</bool></edit>"
      "<edit name=\"rgba\"><const>none</const></edit></match></fontconfig>";
  char dir[4096];
  std::string path = std::string(getcwd(dir, sizeof dir) ? dir : "/tmp") + "/draw_fonts.conf";
  std::ofstream(path) << conf;
  setenv("FONTCONFIG_FILE", path.c_str(), 1);
  return true;
}();

class Draw : public ::testing::Test {
 protected:
  void SetUp() override {
    ensure_runtime();
    boot::build_environment();
    // This program links the drawing code: no module to load.
    api::bind(&gui_module::host_api());
    draw::install_hooks();
    stack::reset();
  }
  void TearDown() override { stack::reset(); }

 public:
  cell run(const std::string& text) {
    cell r{TYPE_UNSET, 0, 0, 0};
    collector::root_guard g(&r);
    boot::do_source(text.data(), u32(text.size()), false, &r);
    return r;
  }
};

TEST_F(Draw, CodePointsAndBytesRoundTripAcrossAnAstralCharacter) {
  const std::string text = "a\xF0\x9F\x98\x80" "b\xC3\xA9";  // a U+1F600 b U+00E9
  const u32 bytes[] = {0, 1, 5, 6, 8};
  for (i64 ch = 0; ch <= 4; ch++) {
    EXPECT_EQ(draw::byte_of_char(text, ch), bytes[ch]) << ch;
    EXPECT_EQ(draw::char_of_byte(text, bytes[ch]), ch) << ch;
  }
  EXPECT_EQ(draw::byte_of_char(text, -3), 0u);
  EXPECT_EQ(draw::byte_of_char(text, 99), 8u);
}

// Runs a block on a fresh image and answers the context's clip depth after the error.
u32 depth_after_error(Draw& t, const char* block) {
  cell img = t.run("make image! 8x8");
  collector::root_guard g1(&img);
  cell blk = t.run(block);
  collector::root_guard g2(&blk);
  draw::context c;
  draw::begin_on_image(c, &img);
  bool raised = false;
  try {
    draw::parse(c, &blk);
  } catch (const thrown&) {
    raised = true;
  }
  EXPECT_TRUE(raised) << block;
  u32 depth = c.clip_depth;
  EXPECT_EQ(cairo_status(c.cr), CAIRO_STATUS_SUCCESS);
  draw::end(c);
  return depth;
}

TEST_F(Draw, AClipOrPushWithABlockRestoresTheStateWhenAnErrorLeavesIt) {
  EXPECT_EQ(depth_after_error(*this, "[clip 0x0 2x2 [line box]]"), 0u);
  EXPECT_EQ(depth_after_error(*this, "[push [clip 0x0 2x2 clip [move 0x0 line 2x2 0x2] foo]]"), 0u);
  EXPECT_EQ(depth_after_error(*this, "[rotate 30 [clip 1x1 3x3 [box 0x0]]]"), 0u);
  // A clip outside any block stays in force until the end of the run.
  EXPECT_EQ(depth_after_error(*this, "[clip 0x0 2x2 clip 0x0 1x1 foo]"), 2u);
}

TEST_F(Draw, ClipsNestDeeperThanThirtyTwo) {
  cell img = run("make image! 8x8");
  collector::root_guard g1(&img);
  cell blk = run("b: copy [] loop 100 [append b [clip 0x0 4x4]] b");
  collector::root_guard g2(&blk);
  draw::context c;
  draw::begin_on_image(c, &img);
  draw::parse(c, &blk);
  EXPECT_EQ(c.clip_depth, 100u);
  draw::end(c);
  EXPECT_EQ(c.clip_depth, 0u);
}

// ---- Text-box metrics ---------------------------------------------------------------------
TEST_F(Draw, CaretPositionsRoundTripAcrossAnAstralCharacter) {
  cell face = run("make object! [text: \"a\xF0\x9F\x98\x80" "b\" data: none size: 200x20 font: none]");
  collector::root_guard g(&face);
  float last_x = -1;
  for (i32 caret = 1; caret <= 4; caret++) {
    cell arg{TYPE_INTEGER, 0, u32(caret), 0}, p, back;
    text_box::metrics(&face, &arg, text_box::CARET_TO_OFFSET, &p);
    ASSERT_EQ(type_of(&p), TYPE_POINT2D);
    float x = point::get(&p, 0);
    EXPECT_GT(x, last_x) << caret;
    last_x = x;
    // Just right of the caret's leading edge, half a line down: the same caret.
    cell at{TYPE_POINT2D, 0, 0, 0};
    point::set(&at, 0, x + 0.5f);
    point::set(&at, 1, 5);
    text_box::metrics(&face, &at, text_box::OFFSET_TO_CARET, &back);
    EXPECT_EQ(i32(back.data2), caret);
    text_box::metrics(&face, &at, text_box::OFFSET_TO_CHAR, &back);
    EXPECT_EQ(i32(back.data2), std::min(caret, 3));
  }
}

TEST_F(Draw, LineHeightsCountLinesInCodePoints) {
  // Lines "ab", "cd<U+1F600>" at 30 points, "ef": characters 4-7 are the second line.
  cell face = run("make object! [text: \"ab^/cd\xF0\x9F\x98\x80^/ef\" data: [4x3 30] "
                  "size: 400x200 font: none]");
  collector::root_guard g(&face);
  auto height = [&](i32 index) {
    cell arg{TYPE_INTEGER, 0, u32(index), 0}, out;
    text_box::metrics(&face, &arg, text_box::LINE_HEIGHT, &out);
    return cell_float(&out);
  };
  double small = height(1), big = height(4);
  EXPECT_GT(big, small * 2);
  EXPECT_EQ(height(7), big);
  EXPECT_EQ(height(8), small);
  EXPECT_EQ(height(99), small);  // past the end: the last line
  cell none{TYPE_NONE, 0, 0, 0}, count;
  text_box::metrics(&face, &none, text_box::LINE_COUNT, &count);
  EXPECT_EQ(i32(count.data2), 3);
}

TEST_F(Draw, SizeTextLeavesOutTrailingBlanks) {
  cell a = run("make object! [text: \"ab\" data: none size: none font: none]");
  collector::root_guard g1(&a);
  cell b = run("make object! [text: \"ab   \" data: none size: none font: none]");
  collector::root_guard g2(&b);
  cell none{TYPE_NONE, 0, 0, 0}, sa, sb;
  text_box::metrics(&a, &none, text_box::SIZE_TEXT, &sa);
  text_box::metrics(&b, &none, text_box::SIZE_TEXT, &sb);
  EXPECT_GT(point::get(&sa, 0), 5.0f);
  EXPECT_EQ(point::get(&sa, 0), point::get(&sb, 0));
  EXPECT_EQ(point::get(&sa, 1), point::get(&sb, 1));
  // A range of 12 points is 16 pixels high at 96 DPI, whatever the default.
  cell c = run("make object! [text: \"ab\" data: [1x2 12] size: none font: none]");
  collector::root_guard g3(&c);
  cell d = run("make object! [text: \"ab\" data: none size: none font: make object! [name: none size: 12 style: none color: none]]");
  collector::root_guard g4(&d);
  cell sc, sd;
  text_box::metrics(&c, &none, text_box::SIZE_TEXT, &sc);
  text_box::metrics(&d, &none, text_box::SIZE_TEXT, &sd);
  EXPECT_EQ(point::get(&sc, 0), point::get(&sd, 0));
  cell text = run("\"ab  \""), st;
  text_box::text_size(&d, &text, &st);
  EXPECT_EQ(point::get(&st, 0), point::get(&sd, 0));
}

// The straight ARGB pixels of an image! value, row by row.
std::vector<u32> pixels_of(const cell& img) {
  cell copy = img;
  image::lock l(&copy, false);
  return std::vector<u32>(l.data(), l.data() + image::pixel_count(&copy));
}

TEST_F(Draw, ARichTextFaceWithoutAFontTakesTheDefaultFontInsideDraw) {
  // DRAW's current font is 30 points; the face has none of its own, so it is drawn as it
  // is outside DRAW, in the default font.
  cell plain = run("r: make object! [type: 'rich-text text: \"Wg\" data: none size: 60x40 "
                   "color: none font: none] draw 60x40 compose [pen 0.0.0 text 0x0 (r)]");
  collector::root_guard g1(&plain);
  cell after_font = run("draw 60x40 compose [pen 0.0.0 font (make object! [name: \"Arial\" "
                        "size: 30 style: none color: none]) text 0x0 (r)]");
  collector::root_guard g2(&after_font);
  EXPECT_TRUE(pixels_of(plain) == pixels_of(after_font));
}

TEST_F(Draw, ABackdropPaintsOnlyTheLinesThatHoldItsRange) {
  // "aaaa bbbb" wraps after the blank; the range holds the second line only.
  cell img = run("r: make object! [type: 'rich-text text: \"aaaa bbbb\" data: [6x4 backdrop 255.255.0] "
                 "size: 45x40 color: none font: none] draw 60x40 compose [pen 0.0.0 text 0x0 (r)]");
  collector::root_guard g(&img);
  cell face = run("r");
  collector::root_guard gf(&face);
  cell none{TYPE_NONE, 0, 0, 0}, lines, second;
  text_box::metrics(&face, &none, text_box::LINE_COUNT, &lines);
  ASSERT_EQ(i32(lines.data2), 2);
  cell six{TYPE_INTEGER, 0, 6, 0};
  text_box::metrics(&face, &six, text_box::CARET_TO_OFFSET, &second);
  int top_of_second = int(point::get(&second, 1));
  ASSERT_GT(top_of_second, 5);
  std::vector<u32> px = pixels_of(img);
  auto yellow_rows = [&](int from, int to) {
    int n = 0;
    for (int y = from; y < to; y++)
      for (int x = 0; x < 60; x++)
        if (px[size_t(y) * 60 + size_t(x)] == 0xFFFFFF00u) n++;
    return n;
  };
  EXPECT_EQ(yellow_rows(0, top_of_second), 0);
  EXPECT_GT(yellow_rows(top_of_second, 40), 20);
}

// ---- Reference pictures --------------------------------------------------------------------
struct picture {
  const char* name;
  const char* source;  // evaluates to an image!
};

const picture pictures[] = {
    {"gradients",
     "draw 48x24 [pen off fill-pen linear 255.0.0 0.255.0 0.0.255 box 0x0 24x12 "
     "fill-pen radial 255.255.0 0.0.128 36x6 10 box 24x0 48x12 "
     "fill-pen linear 0.0.0 255.255.255 0x0 8x0 reflect box 0x12 24x24 "
     "fill-pen diamond 255.0.255 0.255.255 box 24x12 48x24]"},
    {"shadows",
     "draw 40x40 [shadow 4x4 3 0 0.0.0.100 shadow -2x-2 0 1 0.0.255 pen off "
     "fill-pen 255.200.0 box 8x8 24x24 shadow off fill-pen 0.160.0 circle 32x32 5]"},
    {"arcs",
     "draw 40x40 [pen 0.0.0 line-width 2 arc 20x20 15x10 30 200 fill-pen 255.0.0 "
     "arc 12x30 8x8 0 90 closed pen 0.0.255 shape [move 2x2 arc 38x2 18 18 0 sweep "
     "'arc 0x6 4 3 0 large]]"},
    {"splines",
     "draw 40x40 [pen 0.0.0 spline 2x30 12x5 25x35 38x10 pen 255.0.0 spline 10x10 30x10 "
     "30x30 10x30 closed pen 0.0.255 curve 2x38 20x20 38x38]"},
    {"perspective",
     "s: draw 8x8 [pen off fill-pen 255.0.0 box 0x0 4x4 box 4x4 8x8 fill-pen 0.0.255 "
     "box 4x0 8x4 box 0x4 4x8] draw 40x40 [image s 4x4 36x8 30x36 10x30]"},
    {"text",
     "f: make object! [name: \"Arial\" size: 10 style: none color: none] "
     "r: make object! [text: \"bold it\" data: [1x4 bold 6x2 0.0.255 backdrop 255.255.0] "
     "size: 60x12 color: none font: none] "
     "draw 60x24 compose [pen 0.0.0 font (f) text 2x0 \"Vyr ok\" pen 200.0.0 text 2x12 (r)]"},
};

// Straight R, G, B, A of a pixel word.
void channels(u32 p, int out[4]) {
  out[0] = (p >> 16) & 0xFF, out[1] = (p >> 8) & 0xFF, out[2] = p & 0xFF, out[3] = p >> 24;
}

TEST_F(Draw, PicturesMatchTheirReviewedReferences) {
  const char* write_dir = std::getenv("VYR_DRAW_REFS");
  for (const picture& p : pictures) {
    cell img = run(p.source);
    collector::root_guard g(&img);
    ASSERT_EQ(type_of(&img), TYPE_IMAGE) << p.name;
    image::lock l(&img, false);
    u32 w = image::width_of(&img), h = image::height_of(&img);
    std::string here = __FILE__;
    here = here.substr(0, here.rfind('/')) + "/draw_refs";
    std::string file = std::string(write_dir ? write_dir : here) + "/" + p.name + ".png";
    if (write_dir) {
      cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, int(w), int(h));
      u8* d = cairo_image_surface_get_data(s);
      int stride = cairo_image_surface_get_stride(s);
      for (u32 y = 0; y < h; y++)
        for (u32 x = 0; x < w; x++) {
          int ch[4];
          channels(l.data()[y * w + x], ch);
          u32 q = u32(ch[3]) << 24 | u32(ch[0] * ch[3] / 255) << 16 | u32(ch[1] * ch[3] / 255) << 8 |
                  u32(ch[2] * ch[3] / 255);
          std::memcpy(d + y * stride + x * 4, &q, 4);
        }
      cairo_surface_mark_dirty(s);
      cairo_surface_write_to_png(s, file.c_str());
      cairo_surface_destroy(s);
      continue;
    }
    cairo_surface_t* ref = cairo_image_surface_create_from_png(file.c_str());
    ASSERT_EQ(cairo_surface_status(ref), CAIRO_STATUS_SUCCESS) << file;
    ASSERT_EQ(cairo_image_surface_get_width(ref), int(w)) << p.name;
    ASSERT_EQ(cairo_image_surface_get_height(ref), int(h)) << p.name;
    const u8* d = cairo_image_surface_get_data(ref);
    int stride = cairo_image_surface_get_stride(ref);
    int worst = 0;
    for (u32 y = 0; y < h; y++)
      for (u32 x = 0; x < w; x++) {
        u32 q;
        std::memcpy(&q, d + y * stride + x * 4, 4);
        int a = int(q >> 24), want[4], got[4];
        // The reference is premultiplied: back to straight channels.
        for (int k = 0; k < 3; k++) {
          int v = int((q >> (16 - 8 * k)) & 0xFF);
          want[k] = a ? (v * 255 + a / 2) / a : 0;
        }
        want[3] = a;
        channels(l.data()[y * w + x], got);
        for (int k = 0; k < 4; k++) {
          // Colour means little where a pixel is almost transparent.
          if (k < 3 && a < 16) continue;
          worst = std::max(worst, std::abs(want[k] - got[k]));
        }
      }
    cairo_surface_destroy(ref);
    EXPECT_LE(worst, 6) << p.name;
  }
}

}  // namespace
}  // namespace vyr::test
