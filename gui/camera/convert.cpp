// Frame converters. YUYV takes eight pixels a step in 16-bit vector lanes where the machine
// has them (every x86-64 does), and the rest of a row pixel by pixel with the same integers.
#include "gui/camera/convert.h"

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "runtime/api/host.h"

namespace vyr::camera {

namespace {

// BT.601, limited range: R = 1.164(Y-16) + 1.596(V-128), G = 1.164(Y-16) - 0.392(U-128) -
// 0.813(V-128), B = 1.164(Y-16) + 2.017(U-128). Each term is the high half of a 16-bit
// product (inputs scaled by 128, coefficients by 4096), so terms carry three fraction bits;
// the sum is rounded and clamped. The vector path and the scalar one compute the same
// integers, so a pixel comes out alike wherever it sits in a row.
constexpr int16_t KY = 4769, KRV = 6537, KGU = -1605, KGV = -3330, KBU = 8263;

inline int32_t mulhi(int32_t a, int32_t b) { return (a * b) >> 16; }
inline uint32_t clamp8(int32_t v) {
  v >>= 3;
  return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

// A pair of pixels (or one, when `second` is null) from Y0 U Y1 V.
inline void yuyv_pair(const uint8_t* s, uint32_t* out, bool second) {
  int32_t d = (s[1] - 128) * 128, e = (s[3] - 128) * 128;
  int32_t r = mulhi(e, KRV), g = mulhi(d, KGU) + mulhi(e, KGV), b = mulhi(d, KBU);
  for (int i = 0; i < (second ? 2 : 1); i++) {
    int32_t y = mulhi((s[i * 2] - 16) * 128, KY) + 4;
    out[i] = 0xFF000000u | clamp8(y + r) << 16 | clamp8(y + g) << 8 | clamp8(y + b);
  }
}

void yuyv_row(const uint8_t* src, uint32_t width, uint32_t* out) {
  uint32_t x = 0;
#ifdef __SSE2__
  const __m128i low = _mm_set1_epi16(0xFF), k16 = _mm_set1_epi16(16), k128 = _mm_set1_epi16(128),
                four = _mm_set1_epi16(4), opaque = _mm_set1_epi8(-1);
  for (; x + 8 <= width; x += 8, src += 16, out += 8) {
    __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    __m128i y = _mm_slli_epi16(_mm_sub_epi16(_mm_and_si128(v, low), k16), 7);
    __m128i uv = _mm_slli_epi16(_mm_sub_epi16(_mm_srli_epi16(v, 8), k128), 7);   // U0 V0 U1 V1 ...
    __m128i u = _mm_shufflehi_epi16(_mm_shufflelo_epi16(uv, _MM_SHUFFLE(2, 2, 0, 0)), _MM_SHUFFLE(2, 2, 0, 0));
    __m128i w = _mm_shufflehi_epi16(_mm_shufflelo_epi16(uv, _MM_SHUFFLE(3, 3, 1, 1)), _MM_SHUFFLE(3, 3, 1, 1));
    __m128i ty = _mm_add_epi16(_mm_mulhi_epi16(y, _mm_set1_epi16(KY)), four);
    __m128i r = _mm_srai_epi16(_mm_add_epi16(ty, _mm_mulhi_epi16(w, _mm_set1_epi16(KRV))), 3);
    __m128i g = _mm_srai_epi16(_mm_add_epi16(ty, _mm_add_epi16(_mm_mulhi_epi16(u, _mm_set1_epi16(KGU)),
                                                               _mm_mulhi_epi16(w, _mm_set1_epi16(KGV)))), 3);
    __m128i b = _mm_srai_epi16(_mm_add_epi16(ty, _mm_mulhi_epi16(u, _mm_set1_epi16(KBU))), 3);
    __m128i bg = _mm_unpacklo_epi8(_mm_packus_epi16(b, b), _mm_packus_epi16(g, g));
    __m128i ra = _mm_unpacklo_epi8(_mm_packus_epi16(r, r), opaque);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(bg, ra));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), _mm_unpackhi_epi16(bg, ra));
  }
#endif
  for (; x + 2 <= width; x += 2, src += 4, out += 2) yuyv_pair(src, out, true);
  if (x < width) yuyv_pair(src, out, false);
}

template <int R, int B>
void rgb_row(const uint8_t* src, uint32_t width, uint32_t* out) {
  for (uint32_t x = 0; x < width; x++, src += 3)
    out[x] = 0xFF000000u | uint32_t(src[R]) << 16 | uint32_t(src[1]) << 8 | src[B];
}

void bgra_row(const uint8_t* src, uint32_t width, uint32_t* out) {
  std::memcpy(out, src, size_t(width) * 4);
  for (uint32_t x = 0; x < width; x++) out[x] |= 0xFF000000u;
}

bool mjpeg(const raw_frame& f, uint32_t width, uint32_t height, uint32_t* out) {
  return api::host().decode_jpeg(f.bytes, f.size, width, height, out);
}

}  // namespace

uint64_t row_bytes(pixel_format format, uint32_t width) {
  switch (format) {
    case pixel_format::bgra: return uint64_t(width) * 4;
    case pixel_format::yuyv: return (uint64_t(width) + 1) / 2 * 4;
    case pixel_format::rgb24:
    case pixel_format::bgr24: return uint64_t(width) * 3;
    case pixel_format::mjpeg: return 0;
  }
  return 0;
}

bool convert(const raw_frame& f, uint32_t width, uint32_t height, uint32_t* out) {
  if (!frame_size_ok(width, height) || !f.bytes) return false;
  if (f.format == pixel_format::mjpeg) return mjpeg(f, width, height, out);
  uint64_t row = row_bytes(f.format, width);
  if (f.stride < row) return false;
  // The last row need not carry the stride's padding.
  if (uint64_t(f.stride) * (height - 1) + row > f.size) return false;
  void (*convert_row)(const uint8_t*, uint32_t, uint32_t*) = nullptr;
  switch (f.format) {
    case pixel_format::yuyv: convert_row = yuyv_row; break;
    case pixel_format::rgb24: convert_row = rgb_row<0, 2>; break;
    case pixel_format::bgr24: convert_row = rgb_row<2, 0>; break;
    case pixel_format::bgra: convert_row = bgra_row; break;
    case pixel_format::mjpeg: return false;
  }
  for (uint32_t y = 0; y < height; y++)
    convert_row(f.bytes + size_t(y) * f.stride, width, out + size_t(y) * width);
  return true;
}

}  // namespace vyr::camera
