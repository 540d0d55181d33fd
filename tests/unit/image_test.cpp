// The imaging backend and the image codecs: round trips through the codec routines, the
// signatures, the refusals (corrupt data, sizes past 16 bits, the pixel bound, unknown
// encoders), locks, the draw copy, the one-cycle rule of the drawing bitmap, and the
// collector's release of dropped images.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>
#include <zlib.h>
#include <jpeglib.h>

#include "runtime/codecs/images.h"
#include "runtime/datatypes/binary.h"
#include "runtime/datatypes/function.h"
#include "runtime/datatypes/image.h"
#include "runtime/datatypes/object.h"
#include "runtime/externals.h"
#include "runtime/host/clipboard.h"
#include "runtime/imaging/imaging.h"
#include "runtime/datatypes/cells.h"
#include "tests/unit/value_helpers.h"

using namespace vyr;
using namespace vyr::test;

namespace {

struct Image : ::testing::Test {
  void SetUp() override { fresh_stack(); }
};

// A w x h image whose pixels come from f(x, y) (stored BGRA words), on the data stack.
template <class F> cell* image_from(u32 w, u32 h, F f) {
  image::raster r = image::allocate(w, h);
  for (u32 y = 0; y < h; y++)
    for (u32 x = 0; x < w; x++) r.pixels[u64(y) * w + x] = f(x, y);
  cell* c = stack::push_slot();
  image::make_at(c, image::make_record(std::move(r)));
  return c;
}

std::vector<u32> pixels_of(const cell* img) {
  image::lock l(img, false);
  return std::vector<u32>(l.data(), l.data() + l.count());
}

// Calls a codec routine by name on one or two argument cells; answers args[0].
cell run_routine(const char* name, const cell& a) {
  u32 index = routine::find(name);
  EXPECT_NE(index, 0u) << name;
  cell* args = stack::push_slot();
  *args = a;
  routine::code(index)(args, 1);
  return *args;
}

cell* binary_of(const std::vector<u8>& bytes) {
  cell* c = stack::push_slot();
  *c = cell{TYPE_NONE, 0, 0, 0};
  binary::make_at(c, static_cast<u32>(bytes.size()));
  binary::rs_append(c, bytes.data(), static_cast<u32>(bytes.size()));
  return c;
}

u32 argb(u32 a, u32 r, u32 g, u32 b) { return a << 24 | r << 16 | g << 8 | b; }

// A pattern with every alpha class: opaque, transparent, and the values around 128.
u32 pattern(u32 x, u32 y) {
  static const u32 alphas[] = {255, 0, 1, 127, 128, 254};
  return argb(alphas[(x + y) % 6], (x * 37) & 255, (y * 59) & 255, (x * y) & 255);
}

}  // namespace

TEST_F(Image, LosslessFormatsRoundTripPixelExactWithAlpha) {
  cell* img = image_from(37, 23, pattern);
  std::vector<u32> before = pixels_of(img);
  for (const char* name : {"image/encode-png", "image/encode-bmp", "image/encode-tiff"}) {
    cell bin = run_routine(name, *img);
    ASSERT_EQ(type_of(&bin), TYPE_BINARY) << name;
    cell* kept = stack::push_copy(&bin);
    cell back = run_routine("image/decode", *kept);
    ASSERT_EQ(type_of(&back), TYPE_IMAGE) << name;
    EXPECT_EQ(back.data3, img->data3) << name;
    // Every pixel is exact, the colour of fully transparent ones included.
    std::vector<u32> after = pixels_of(stack::push_copy(&back));
    for (size_t i = 0; i < before.size(); i++) ASSERT_EQ(after[i], before[i]) << name << " pixel " << i;
  }
}

TEST_F(Image, OpaqueImagesBecomeRgbPngs) {
  cell* img = image_from(4, 4, [](u32 x, u32 y) { return argb(255, x, y, 7); });
  cell bin = run_routine("image/encode-png", *img);
  std::vector<u8> bytes = binary::bytes_of(&bin);
  ASSERT_GT(bytes.size(), 26u);
  EXPECT_EQ(bytes[25], 2);  // IHDR colour type: RGB
  img = image_from(4, 4, [](u32 x, u32) { return argb(x ? 255 : 10, 1, 2, 3); });
  bin = run_routine("image/encode-png", *img);
  EXPECT_EQ(binary::bytes_of(&bin)[25], 6);  // RGBA
}

TEST_F(Image, GifIsExactUpTo255ColoursWithATransparentPixel) {
  // 200 colours, one transparent pixel, and alpha 100 (below 128) also transparent.
  cell* img = image_from(20, 11, [](u32 x, u32 y) {
    if (x == 0 && y == 0) return argb(0, 1, 2, 3);
    if (x == 1 && y == 0) return argb(100, 9, 9, 9);
    u32 k = (y * 20 + x) % 200;
    return argb(255, k, 255 - k, (k * 7) & 255);
  });
  std::vector<u32> before = pixels_of(img);
  cell bin = run_routine("image/encode-gif", *img);
  cell back = run_routine("image/decode", *stack::push_copy(&bin));
  ASSERT_EQ(type_of(&back), TYPE_IMAGE);
  std::vector<u32> after = pixels_of(stack::push_copy(&back));
  EXPECT_EQ(after[0] >> 24, 0u);
  EXPECT_EQ(after[1] >> 24, 0u);
  for (size_t i = 2; i < before.size(); i++) ASSERT_EQ(after[i], before[i]) << i;
}

TEST_F(Image, GifQuantisesManyColoursCloseToTheOriginal) {
  cell* img = image_from(64, 64, [](u32 x, u32 y) { return argb(255, x * 4, y * 4, (x + y) * 2); });
  std::vector<u32> before = pixels_of(img);
  cell bin = run_routine("image/encode-gif", *img);
  cell back = run_routine("image/decode", *stack::push_copy(&bin));
  std::vector<u32> after = pixels_of(stack::push_copy(&back));
  double total = 0;
  for (size_t i = 0; i < before.size(); i++)
    for (int s = 0; s < 24; s += 8)
      total += std::abs(int((before[i] >> s) & 255) - int((after[i] >> s) & 255));
  EXPECT_LT(total / (before.size() * 3), 6.0);  // mean error per channel
  image_codecs::quantised q = image_codecs::quantise(before.data(), before.size(), 256);
  EXPECT_LE(q.palette.size(), 256u);
}

TEST_F(Image, JpegRoundTripsWithinTolerance) {
  // A smooth image: quality 90 keeps every channel within 12 and the mean within 2.
  cell* img = image_from(48, 40, [](u32 x, u32 y) { return argb(77, x * 5, y * 6, 128); });
  std::vector<u32> before = pixels_of(img);
  cell bin = run_routine("image/encode-jpeg", *img);
  cell back = run_routine("image/decode", *stack::push_copy(&bin));
  ASSERT_EQ(back.data3, img->data3);
  std::vector<u32> after = pixels_of(stack::push_copy(&back));
  double total = 0;
  for (size_t i = 0; i < before.size(); i++) {
    EXPECT_EQ(after[i] >> 24, 255u);  // alpha dropped
    for (int s = 0; s < 24; s += 8) {
      int d = std::abs(int((before[i] >> s) & 255) - int((after[i] >> s) & 255));
      ASSERT_LE(d, 12) << i;
      total += d;
    }
  }
  EXPECT_LT(total / (before.size() * 3), 2.0);
}

TEST_F(Image, SignaturesPickTheFormat) {
  struct { std::vector<u8> bytes; i32 format; } cases[] = {
      {{0x89, 'P', 'N', 'G'}, image_codecs::PNG},
      {{0x89, 'P', 'N'}, image_codecs::UNKNOWN},
      {{0xFF, 0xD8, 0xFF}, image_codecs::JPEG},
      {{'B', 'M'}, image_codecs::BMP},
      {{'B'}, image_codecs::UNKNOWN},
      {{'G', 'I', 'F', '8', '9', 'a'}, image_codecs::GIF},
      {{'G', 'I', 'F', '8', '7', 'a'}, image_codecs::GIF},
      {{'G', 'I', 'F', '8', '8', 'a'}, image_codecs::UNKNOWN},
      {{'I', 'I', 0x2A, 0}, image_codecs::TIFF},
      {{'M', 'M', 0, 0x2A}, image_codecs::TIFF},
      {{'M', 'M', 0x2A, 0}, image_codecs::UNKNOWN},
      {{}, image_codecs::UNKNOWN},
  };
  for (const auto& c : cases)
    EXPECT_EQ(image_codecs::format_of(c.bytes.data(), c.bytes.size()), c.format);
}

TEST_F(Image, DecodeRefusesCorruptDataAndAnswersNoneForUnknownBytes) {
  cell* unknown = binary_of({'h', 'e', 'l', 'l', 'o'});
  EXPECT_EQ(type_of(&(*stack::push_copy(unknown) = run_routine("image/decode", *unknown))), TYPE_NONE);
  std::vector<std::vector<u8>> corrupt = {
      {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 1, 2, 3},
      {0xFF, 0xD8, 0xFF, 0xE0, 0, 0},
      {'B', 'M', 0, 0},
      {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0},
      {'I', 'I', 0x2A, 0, 8, 0, 0, 0},
  };
  for (const auto& bytes : corrupt) {
    cell* b = binary_of(bytes);
    EXPECT_EQ(error_of([&] { run_routine("image/decode", *b); }), "access/bad-media");
  }
}

namespace {
// A PNG header of the given size (an 8-bit RGBA IHDR with its CRC), then an empty IDAT.
std::vector<u8> png_header(u32 w, u32 h) {
  std::vector<u8> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto be32 = [&](u32 v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(u8(v >> s));
  };
  be32(13);
  size_t start = out.size();
  for (char c : std::string("IHDR")) out.push_back(u8(c));
  be32(w);
  be32(h);
  out.insert(out.end(), {8, 6, 0, 0, 0});
  be32(static_cast<u32>(crc32(0, out.data() + start, 17)));
  be32(0);
  start = out.size();
  for (char c : std::string("IDAT")) out.push_back(u8(c));
  be32(static_cast<u32>(crc32(0, out.data() + start, 4)));
  return out;
}
// A 24-bit BMP header of the given size with no pixel data.
std::vector<u8> bmp_header(i32 w, i32 h) {
  std::vector<u8> out(54, 0);
  auto put = [&](size_t at, u32 v) {
    for (int i = 0; i < 4; i++) out[at + i] = u8(v >> (8 * i));
  };
  out[0] = 'B';
  out[1] = 'M';
  put(10, 54);
  put(14, 40);
  put(18, u32(w));
  put(22, u32(h));
  out[26] = 1;
  out[28] = 24;
  return out;
}
}  // namespace

TEST_F(Image, SidesPastSixteenBitsAndThePixelBoundAreRefused) {
  for (const auto& bytes : {png_header(70000, 1), bmp_header(70000, 1), bmp_header(1, -70000)}) {
    cell* b = binary_of(bytes);
    EXPECT_EQ(error_of([&] { run_routine("image/decode", *b); }), "access/bad-media");
  }
  // Within 16 bits but past the pixel bound: internal no-memory, before any allocation.
  u64 saved = image::max_pixel_bytes;
  image::max_pixel_bytes = 1 << 20;
  for (const auto& bytes : {png_header(1024, 1024)}) {
    cell* b = binary_of(bytes);
    EXPECT_EQ(error_of([&] { run_routine("image/decode", *b); }), "internal/no-memory");
  }
  EXPECT_EQ(error_of([] { image::allocate(1024, 1024); }), "internal/no-memory");
  image::max_pixel_bytes = saved;
  cell* img = image_from(2, 2, pattern);
  cell out;
  EXPECT_EQ(error_of([&] { image::resize(img, 70000, 2, &out); }), "script/out-of-range");
  EXPECT_EQ(error_of([&] { image::resize(img, 3, 65535, &out); }), "");
  EXPECT_EQ(out.data3, 65535u << 16 | 3);
}

TEST_F(Image, EncodeRefusesUnknownFormatsAndEmptyImages) {
  cell* img = image_from(2, 2, pattern);
  cell out;
  EXPECT_EQ(error_of([&] { image::encode(img, 5, &out); }), "script/invalid-arg");
  EXPECT_EQ(error_of([&] { image::encode(img, -1, &out); }), "script/invalid-arg");
  cell empty{TYPE_IMAGE, 0, 0, 0};
  EXPECT_EQ(error_of([&] { image::encode(&empty, 1, &out); }), "access/bad-media");
}

TEST_F(Image, ResizeIsNearestNeighbour) {
  cell* img = image_from(2, 2, [](u32 x, u32 y) { return argb(255, x, y, 0); });
  cell* out = stack::push_slot();
  image::resize(img, 4, 1, out);
  std::vector<u32> p = pixels_of(out);
  ASSERT_EQ(p.size(), 4u);
  EXPECT_EQ(p[0], argb(255, 0, 0, 0));
  EXPECT_EQ(p[1], argb(255, 0, 0, 0));
  EXPECT_EQ(p[2], argb(255, 1, 0, 0));
  EXPECT_EQ(p[3], argb(255, 1, 0, 0));
}

TEST_F(Image, CropIsClippedToTheImage) {
  cell* img = image_from(4, 3, [](u32 x, u32 y) { return argb(255, x, y, 0); });
  u32 rec = img->data2;
  struct { i64 x, y, w, h; u32 size; } cases[] = {
      {2, 1, 10, 10, 2u << 16 | 2}, {-5, -5, 6, 6, 1u << 16 | 1},
      {4, 0, 1, 1, 0},              {0, 0, -3, 2, 0},
      {-100, 1, 1000, 1, 1u << 16 | 4},
  };
  for (const auto& c : cases) {
    u32 r = image::crop_record(rec, c.x, c.y, c.w, c.h);
    EXPECT_EQ(r ? image::size_word(r) : 0u, c.size) << c.x << "," << c.y;
  }
  cell* crop = stack::push_slot();
  image::make_at(crop, image::crop_record(rec, 2, 1, 10, 10));
  EXPECT_EQ(pixels_of(crop)[0], argb(255, 2, 1, 0));
}

TEST_F(Image, LocksAreExclusiveForWritingAndReleasedOnEveryExit) {
  cell* img = image_from(2, 2, pattern);
  {
    image::lock reading(img, false);
    image::lock reading_too(img, false);
    EXPECT_EQ(error_of([&] { image::lock w(img, true); }), "access/bad-media");
    EXPECT_EQ(error_of([&] { image::set_pixel(img->data2, 0, 0); }), "access/bad-media");
  }
  try {
    image::lock w(img, true);
    fire("script", "invalid-arg");
  } catch (const thrown&) {
  }
  EXPECT_EQ(error_of([&] { image::lock w(img, true); }), "");
  image::delete_(img);
  EXPECT_EQ(error_of([&] { image::lock r(img, false); }), "access/bad-media");
  EXPECT_EQ(error_of([&] { image::get_pixel(img->data2, 0); }), "access/bad-media");
}

TEST_F(Image, DrawCopyIsPremultipliedAndChangesComeBack) {
  cell* img = image_from(2, 1, [](u32 x, u32) { return x ? argb(128, 200, 100, 50) : argb(255, 1, 2, 3); });
  u32 rec = img->data2;
  image::pixel_view v = image::get_draw_target(rec);
  ASSERT_EQ(v.width, 2u);
  EXPECT_EQ(v.stride, 8u);
  EXPECT_EQ(v.pixels[1], argb(128, 100, 50, 25));
  EXPECT_TRUE(image::flags_of(rec) & image::FLAG_PREMULTIPLIED);
  // Drawing writes the copy; after mark-changed the straight pixels follow it.
  v.pixels[0] = argb(128, 64, 32, 16);
  image::mark_changed(rec);
  EXPECT_EQ(image::get_pixel(rec, 0), argb(128, 128, 64, 32));
  // A pixel write makes the next draw target rebuild from the straight pixels.
  image::set_pixel(rec, 1, argb(255, 9, 9, 9));
  EXPECT_EQ(image::get_draw_target(rec).pixels[1], argb(255, 9, 9, 9));
}

namespace {
int live_bitmaps = 0;
struct fake_bitmap : image::drawing_bitmap {
  fake_bitmap() { live_bitmaps++; }
  ~fake_bitmap() override { live_bitmaps--; }
};
}  // namespace

TEST_F(Image, DrawingBitmapLivesOneCollectionAfterItsLastUse) {
  cell* img = image_from(2, 2, pattern);
  u32 rec = img->data2;
  live_bitmaps = 0;
  image::set_cached_bitmap(rec, std::make_unique<fake_bitmap>());
  ASSERT_NE(image::get_cached_bitmap(rec), nullptr);  // used
  collector::do_cycle();
  EXPECT_EQ(live_bitmaps, 1);  // used since the last collection: kept
  collector::do_cycle();
  EXPECT_EQ(live_bitmaps, 0);  // a whole cycle without use: dropped
  EXPECT_EQ(image::get_cached_bitmap(rec), nullptr);
  // A pixel write drops it at once.
  image::set_cached_bitmap(rec, std::make_unique<fake_bitmap>());
  image::set_pixel(rec, 0, 0);
  EXPECT_EQ(live_bitmaps, 0);
}

TEST_F(Image, CollectorReleasesDroppedImagesAndKeepsHeldOnes) {
  collector::do_cycle();
  u32 base = externals::live_count();
  cell* held = block_of({});
  {
    cell* img = image_from(3, 3, pattern);
    cell copy = *img;
    cell* blk = block_of({copy});
    *held = *blk;
  }
  image_from(5, 5, pattern);
  EXPECT_EQ(externals::live_count(), base + 2);
  stack::reset();
  cell* keep = stack::push_slot();
  *keep = *held;  // only the block survives
  collector::do_cycle();
  EXPECT_EQ(externals::live_count(), base + 1);
  cell in_block = *cells::get(keep->data2, 0);
  EXPECT_EQ(pixels_of(stack::push_copy(&in_block))[4], pattern(1, 1));
  stack::reset();
  collector::do_cycle();
  EXPECT_EQ(externals::live_count(), base);
}

// Python (zlib and struct only) writes PNG and BMP files of many layouts for us to decode,
// and reads back the PNG and BMP files we write.
TEST_F(Image, PythonOracleFilesDecodeAndOursReadBack) {
  namespace fs = std::filesystem;
  if (!fs::exists("/usr/bin/python3.11")) GTEST_SKIP() << "no /usr/bin/python3.11";
  fs::path script = fs::path(__FILE__).parent_path().parent_path() / "oracles" / "image_files.py";
  fs::path dir = fs::temp_directory_path() / ("vyr_image_oracle_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::string cmd = "/usr/bin/python3.11 " + script.string() + " write " + dir.string();
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream list(dir / "expected.txt");
  std::string name, hex;
  u32 w, h, checked = 0;
  while (list >> name >> w >> h >> hex) {
    std::ifstream f(dir / name, std::ios::binary);
    std::vector<u8> bytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    cell* b = binary_of(bytes);
    cell img = run_routine("image/decode", *b);
    ASSERT_EQ(type_of(&img), TYPE_IMAGE) << name;
    ASSERT_EQ(img.data3, h << 16 | w) << name;
    std::vector<u32> px = pixels_of(stack::push_copy(&img));
    ASSERT_EQ(hex.size(), px.size() * 8) << name;
    for (size_t i = 0; i < px.size(); i++)
      ASSERT_EQ(px[i], static_cast<u32>(std::stoul(hex.substr(i * 8, 8), nullptr, 16)))
          << name << " pixel " << i;
    checked++;
    stack::reset();
    *stack::push_slot() = cell{TYPE_NONE, 0, 0, 0};
  }
  EXPECT_GE(checked, 10u);
  // Ours, for Python to read: the same pattern it expects.
  cell* img = image_from(13, 7, pattern);
  for (const char* fmt : {"png", "bmp"}) {
    cell bin = run_routine((std::string("image/encode-") + fmt).c_str(), *img);
    std::vector<u8> bytes = binary::bytes_of(&bin);
    std::ofstream(dir / (std::string("ours.") + fmt), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  cell* opaque = image_from(13, 7, [](u32 x, u32 y) { return pattern(x, y) | 0xFF000000u; });
  cell bin = run_routine("image/encode-png", *opaque);
  std::vector<u8> bytes = binary::bytes_of(&bin);
  std::ofstream(dir / "ours-opaque.png", std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  cmd = "/usr/bin/python3.11 " + script.string() + " check " + dir.string();
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  fs::remove_all(dir);
}

TEST_F(Image, MemoryPixelsWithAStrideAndAVerticalFlip) {
  u32 rows[2][3] = {{argb(255, 1, 1, 1), argb(255, 2, 2, 2), 0xDEADBEEF},
                    {argb(255, 3, 3, 3), argb(255, 4, 4, 4), 0xDEADBEEF}};
  cell* img = stack::push_slot();
  image::make_at(img, image::make_from_memory(2, 2, 12, reinterpret_cast<const u8*>(rows)));
  EXPECT_EQ(pixels_of(img), (std::vector<u32>{rows[0][0], rows[0][1], rows[1][0], rows[1][1]}));
  cell* flipped = stack::push_slot();
  image::make_at(flipped, image::flip_vertical(img->data2));
  EXPECT_EQ(pixels_of(flipped), (std::vector<u32>{rows[1][0], rows[1][1], rows[0][0], rows[0][1]}));
  EXPECT_EQ(image::make_from_memory(0, 5, 0, nullptr), 0u);
}

TEST_F(Image, AdobeCmykJpegIsConverted) {
  // Adobe's convention stores inverted inks: 255, 0, 0, 255 is pure red.
  jpeg_compress_struct ci;
  jpeg_error_mgr err;
  ci.err = jpeg_std_error(&err);
  jpeg_create_compress(&ci);
  u8* buf = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&ci, &buf, &size);
  ci.image_width = 16;
  ci.image_height = 16;
  ci.input_components = 4;
  ci.in_color_space = JCS_CMYK;
  jpeg_set_defaults(&ci);
  jpeg_set_quality(&ci, 100, TRUE);
  jpeg_start_compress(&ci, TRUE);
  std::vector<u8> row(16 * 4);
  for (u32 x = 0; x < 16; x++) { row[4 * x] = 255; row[4 * x + 1] = 0; row[4 * x + 2] = 0; row[4 * x + 3] = 255; }
  while (ci.next_scanline < 16) {
    JSAMPROW r = row.data();
    jpeg_write_scanlines(&ci, &r, 1);
  }
  jpeg_finish_compress(&ci);
  jpeg_destroy_compress(&ci);
  std::vector<u8> bytes(buf, buf + size);
  std::free(buf);
  cell img = run_routine("image/decode", *binary_of(bytes));
  ASSERT_EQ(type_of(&img), TYPE_IMAGE);
  u32 p = pixels_of(stack::push_copy(&img))[17];
  EXPECT_GE((p >> 16) & 255, 250u);
  EXPECT_LE((p >> 8) & 255, 5u);
  EXPECT_LE(p & 255, 5u);
}

TEST_F(Image, FilesDecodeOrRaiseCannotOpen) {
  namespace fs = std::filesystem;
  cell* img = image_from(3, 2, pattern);
  cell bin = run_routine("image/encode-png", *img);
  std::vector<u8> bytes = binary::bytes_of(&bin);
  fs::path path = fs::temp_directory_path() / ("vyr_image_" + std::to_string(::getpid()) + ".png");
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  cell* file = push_string(path.c_str(), TYPE_FILE);
  cell* out = stack::push_slot();
  image::decode(file, out);
  ASSERT_EQ(type_of(out), TYPE_IMAGE);
  EXPECT_EQ(pixels_of(out), pixels_of(img));
  fs::remove(path);
  EXPECT_EQ(error_of([&] { image::decode(file, out); }), "access/cannot-open");
}

TEST_F(Image, ClipboardCarriesImagesAsPng) {
  cell* img = image_from(5, 4, pattern);
  ASSERT_TRUE(clipboard::write(img));
  cell* out = stack::push_slot();
  clipboard::read(out);
  ASSERT_EQ(type_of(out), TYPE_IMAGE);
  EXPECT_EQ(pixels_of(out), pixels_of(img));
  // An image without pixels empties the clipboard.
  cell empty{TYPE_IMAGE, 0, 0, 0};
  EXPECT_TRUE(clipboard::write(&empty));
  clipboard::read(out);
  EXPECT_EQ(type_of(out), TYPE_LOGIC);
}

namespace {
bool face_test_answer = false;  // what the test's face check answers
}  // namespace

TEST_F(Image, ToImageOfAnObjectGoesThroughTheFaceHook) {
  cell& obj = *stack::push_slot();
  obj = cell{TYPE_NONE, 0, 0, 0};
  object::make_at(&obj, 4);
  cell proto{TYPE_DATATYPE, TYPE_IMAGE, 0, 0};
  // Start-up sets the hook to the View engine's; this test puts its own in its place.
  image::face_to_image_fn saved = image::face_to_image;
  image::face_to_image = nullptr;
  EXPECT_EQ(error_of([&] { image::to(&proto, &obj, TYPE_IMAGE); }), "script/bad-to-arg");
  image::face_to_image = [](const cell* o, cell* out) {
    if (!face_test_answer || type_of(o) != TYPE_OBJECT) return false;  // not a face
    image::make_at(out, image::make_bitmap(3, 1, nullptr, 0, nullptr, 0, nullptr, 0));
    return true;
  };
  EXPECT_EQ(error_of([&] { image::to(&proto, &obj, TYPE_IMAGE); }), "script/bad-to-arg");
  face_test_answer = true;
  const cell* r = image::to(&proto, &obj, TYPE_IMAGE);
  EXPECT_EQ(type_of(r), TYPE_IMAGE);
  EXPECT_EQ(r->data3, 1u << 16 | 3);
  image::face_to_image = saved;
}

TEST_F(Image, MoldWithPartStopsEarlyOnHugeImages) {
  cell* img = stack::push_slot();
  image::make_at(img, image::make_bitmap(4000, 4000, nullptr, 0, nullptr, 0, nullptr, 0));
  cell out{TYPE_NONE, 0, 0, 0};
  collector::root_guard keep(&out);
  string::make_at(&out, 64);
  cell part = int_cell(20);
  i32 left = image::mold(img, &out, false, false, false, &part, 20, 0);
  EXPECT_EQ(string::to_utf8(&out), "make image! [4000x40");
  EXPECT_EQ(left, 0);
}
