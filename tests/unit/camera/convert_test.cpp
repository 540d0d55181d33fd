// The converters against a table of colours, and the frames they must refuse.
#include <gtest/gtest.h>

#include <cstdlib>

#include "gui/camera/convert.h"
#include "runtime/codecs/images.h"

namespace vyr::camera::test {

namespace {

int channel(uint32_t p, int shift) { return int((p >> shift) & 0xFF); }

// Whether p is opaque and within `tol` of r, g, b in every channel.
::testing::AssertionResult near(uint32_t p, int r, int g, int b, int tol) {
  if (p >> 24 == 0xFF && std::abs(channel(p, 16) - r) <= tol && std::abs(channel(p, 8) - g) <= tol &&
      std::abs(channel(p, 0) - b) <= tol)
    return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << std::hex << "pixel 0x" << p << std::dec << " vs " << r << "," << g << "," << b;
}

raw_frame of(pixel_format f, const std::vector<uint8_t>& b, uint32_t stride) {
  return raw_frame{f, b.data(), b.size(), stride, 0};
}

}  // namespace

TEST(CameraConvert, YuyvIsBt601LimitedRangeRounded) {
  struct row { uint8_t y, u, v; int r, g, b; const char* name; };
  const row rows[] = {
      {235, 128, 128, 255, 255, 255, "white"}, {16, 128, 128, 0, 0, 0, "black"},
      {81, 90, 240, 255, 0, 0, "red"},         {145, 54, 34, 0, 255, 0, "green"},
      {41, 240, 110, 0, 0, 255, "blue"},       {126, 128, 128, 128, 128, 128, "grey"},
  };
  for (const row& c : rows) {
    std::vector<uint8_t> b = {c.y, c.u, c.y, c.v};
    uint32_t out[2];
    ASSERT_TRUE(convert(of(pixel_format::yuyv, b, 4), 2, 1, out));
    EXPECT_TRUE(near(out[0], c.r, c.g, c.b, 1)) << c.name;
    EXPECT_EQ(out[0], out[1]) << c.name;
  }
}

TEST(CameraConvert, YuyvRowsConvertAlikeInEightPixelStepsAndPairByPair) {
  std::vector<uint8_t> b(4 * 37);
  uint32_t seed = 12345;
  for (uint8_t& x : b) x = uint8_t((seed = seed * 1103515245 + 12345) >> 16);
  std::vector<uint32_t> wide(74);
  ASSERT_TRUE(convert(of(pixel_format::yuyv, b, 4 * 37), 74, 1, wide.data()));
  for (size_t i = 0; i < 37; i++) {
    std::vector<uint8_t> pair(b.begin() + 4 * i, b.begin() + 4 * i + 4);
    uint32_t out[2];
    ASSERT_TRUE(convert(of(pixel_format::yuyv, pair, 4), 2, 1, out));
    EXPECT_EQ(wide[2 * i], out[0]) << i;
    EXPECT_EQ(wide[2 * i + 1], out[1]) << i;
  }
}

TEST(CameraConvert, YuyvOfOddWidthTakesTheLastPairsFirstLuma) {
  std::vector<uint8_t> b = {16, 128, 16, 128, 235, 128, 99, 128};
  uint32_t out[3];
  ASSERT_TRUE(convert(of(pixel_format::yuyv, b, 8), 3, 1, out));
  EXPECT_EQ(out[2], 0xFFFFFFFFu);
}

TEST(CameraConvert, RgbAndBgrRowsKeepTheirStride) {
  std::vector<uint8_t> b = {10, 20, 30, 40, 50, 60, 0xEE, 0xEE, 70, 80, 90, 1, 2, 3};
  uint32_t out[4];
  ASSERT_TRUE(convert(of(pixel_format::rgb24, b, 8), 2, 2, out));
  EXPECT_EQ(out[0], 0xFF0A141Eu);
  EXPECT_EQ(out[3], 0xFF010203u);
  ASSERT_TRUE(convert(of(pixel_format::bgr24, b, 8), 2, 2, out));
  EXPECT_EQ(out[0], 0xFF1E140Au);
  EXPECT_EQ(out[2], 0xFF5A5046u);
}

TEST(CameraConvert, MjpegDecodesThroughTheStatusDecoder) {
  std::vector<uint32_t> picture(32 * 16, 0xFFC83264);   // R 200, G 50, B 100
  std::vector<uint8_t> jpeg;
  ASSERT_EQ(image_codecs::encode_jpeg(picture.data(), 32, 16, jpeg), image_codecs::OK);
  std::vector<uint32_t> out(32 * 16);
  ASSERT_TRUE(convert(of(pixel_format::mjpeg, jpeg, 0), 32, 16, out.data()));
  EXPECT_TRUE(near(out[0], 200, 50, 100, 3));
  EXPECT_TRUE(near(out[32 * 16 - 1], 200, 50, 100, 3));
  // Another size than agreed, a cut-off stream and bytes that are no JPEG are refused.
  EXPECT_FALSE(convert(of(pixel_format::mjpeg, jpeg, 0), 16, 32, out.data()));
  std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + jpeg.size() / 3);
  EXPECT_FALSE(convert(of(pixel_format::mjpeg, cut, 0), 32, 16, out.data()));
  std::vector<uint8_t> junk(500, 0x41);
  EXPECT_FALSE(convert(of(pixel_format::mjpeg, junk, 0), 32, 16, out.data()));
}

TEST(CameraConvert, FramesThatDoNotHoldAPictureAreRefused) {
  std::vector<uint8_t> b(4 * 2 * 2, 16);
  uint32_t out[8];
  struct row { pixel_format f; size_t size; uint32_t stride, w, h; };
  const row rows[] = {
      {pixel_format::yuyv, 15, 8, 4, 2},    // one byte short
      {pixel_format::yuyv, 16, 6, 4, 2},    // a stride below a row
      {pixel_format::rgb24, 16, 12, 4, 2},  // rows of 12 bytes need 24
      {pixel_format::bgra, 16, 16, 4, 2},   // 32 bytes needed
      {pixel_format::yuyv, 16, 8, 0, 2},    // no width
  };
  for (const row& r : rows) {
    raw_frame f{r.f, b.data(), r.size, r.stride, 0};
    EXPECT_FALSE(convert(f, r.w, r.h, out)) << int(r.f) << " " << r.size;
  }
  EXPECT_TRUE(convert(raw_frame{pixel_format::yuyv, b.data(), 16, 8, 0}, 4, 2, out));
}

}  // namespace vyr::camera::test
