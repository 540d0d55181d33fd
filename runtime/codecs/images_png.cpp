// PNG adapter on libpng: palette, grey, 16-bit and tRNS input expanded to 8-bit BGRA (no
// gamma); written as 8-bit RGBA, or RGB when every pixel is opaque. libpng reports errors
// by longjmp, so the two wrappers hold only plain C data and volatile locals.
#include <png.h>

#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "runtime/codecs/images.h"

namespace vyr::image_codecs {

namespace {

struct reader {
  const u8* data;
  u64 size, pos;
};

void read_bytes(png_structp png, png_bytep out, size_t n) {
  auto* r = static_cast<reader*>(png_get_io_ptr(png));
  if (n > r->size - r->pos) png_error(png, "truncated");
  std::memcpy(out, r->data + r->pos, n);
  r->pos += n;
}
void write_bytes(png_structp png, png_bytep in, size_t n) {
  if (!membuf_put(static_cast<membuf*>(png_get_io_ptr(png)), in, n)) png_error(png, "memory");
}
void flush_bytes(png_structp) {}
void on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void on_warning(png_structp, png_const_charp) {}

// Plain C: on OK *pixels holds w x h BGRA words (malloc'd).
status png_decode_c(const u8* data, u64 n, u32** pixels_out, u32* w_out, u32* h_out) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
  if (!png) return NO_MEMORY;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return NO_MEMORY;
  }
  reader r{data, n, 0};
  u32* volatile pixels = nullptr;
  png_bytep* volatile rows = nullptr;
  volatile status result = CORRUPT;
  if (setjmp(png_jmpbuf(png))) {
    std::free(pixels);
    std::free(rows);
    png_destroy_read_struct(&png, &info, nullptr);
    return result;
  }
  png_set_read_fn(png, &r, read_bytes);
  png_set_user_limits(png, image::MAX_SIDE, image::MAX_SIDE);
  png_read_info(png, info);
  u32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  if (w == 0 || h == 0) png_error(png, "empty");
  if (!image::within_bound(w, h)) {
    result = NO_MEMORY;
    png_error(png, "bound");
  }
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != u64(w) * 4) png_error(png, "layout");
  pixels = static_cast<u32*>(std::malloc(u64(w) * h * 4));
  rows = static_cast<png_bytep*>(std::malloc(u64(h) * sizeof(png_bytep)));
  if (!pixels || !rows) {
    result = NO_MEMORY;
    png_error(png, "memory");
  }
  for (u32 y = 0; y < h; y++) rows[y] = reinterpret_cast<png_bytep>(pixels + u64(y) * w);
  png_read_image(png, rows);
  png_destroy_read_struct(&png, &info, nullptr);
  std::free(rows);
  *pixels_out = pixels;
  *w_out = w;
  *h_out = h;
  return OK;
}

status png_encode_c(const u32* pixels, u32 w, u32 h, bool opaque, membuf* out) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
  if (!png) return NO_MEMORY;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return NO_MEMORY;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return NO_MEMORY;  // the only failure left is the output buffer's growth
  }
  png_set_write_fn(png, out, write_bytes, flush_bytes);
  png_set_IHDR(png, info, w, h, 8, opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  if (opaque) png_set_filler(png, 0, PNG_FILLER_AFTER);  // drops the alpha byte on write
  for (u32 y = 0; y < h; y++)
    png_write_row(png, reinterpret_cast<png_const_bytep>(pixels + u64(y) * w));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return OK;
}

}  // namespace

status decode_png(const u8* bytes, u64 n, image::raster& out) {
  u32* pixels = nullptr;
  u32 w = 0, h = 0;
  status s = png_decode_c(bytes, n, &pixels, &w, &h);
  if (s == OK) {
    out.pixels = pixels;
    out.width = w;
    out.height = h;
  }
  return s;
}

status encode_png(const u32* pixels, u32 w, u32 h, std::vector<u8>& out) {
  bool opaque = true;
  for (u64 i = 0, n = u64(w) * h; i < n && opaque; i++) opaque = (pixels[i] >> 24) == 255;
  membuf m{nullptr, 0, 0};
  status s = png_encode_c(pixels, w, h, opaque, &m);
  if (s == OK) out.assign(m.data, m.data + m.size);
  std::free(m.data);
  return s;
}

}  // namespace vyr::image_codecs
