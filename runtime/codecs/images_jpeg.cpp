// JPEG adapter on libjpeg-turbo: read into BGRA (CMYK and YCCK converted, Adobe's inverted
// CMYK recognised; no EXIF rotation); written at quality 90 with the alpha dropped.
// libjpeg reports errors through error_exit, which longjmps back into the C-style wrapper.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include "runtime/codecs/images.h"

namespace vyr::image_codecs {

namespace {

struct error_mgr {
  jpeg_error_mgr pub;
  jmp_buf jump;
};

void on_error(j_common_ptr c) { longjmp(reinterpret_cast<error_mgr*>(c->err)->jump, 1); }
void on_message(j_common_ptr, int) {}
void on_output(j_common_ptr) {}

void quiet(error_mgr* e) {
  jpeg_std_error(&e->pub);
  e->pub.error_exit = on_error;
  e->pub.emit_message = on_message;
  e->pub.output_message = on_output;
}

status jpeg_decode_c(const u8* data, u64 n, u32** pixels_out, u32* w_out, u32* h_out) {
  if (n > 0xFFFFFFFFull) return CORRUPT;
  jpeg_decompress_struct ci;
  error_mgr e;
  quiet(&e);
  ci.err = &e.pub;
  u32* volatile pixels = nullptr;
  u8* volatile line = nullptr;
  volatile status result = CORRUPT;
  if (setjmp(e.jump)) {
    jpeg_destroy_decompress(&ci);
    std::free(pixels);
    std::free(line);
    return result;
  }
  jpeg_create_decompress(&ci);
  jpeg_mem_src(&ci, data, static_cast<unsigned long>(n));
  jpeg_read_header(&ci, TRUE);
  u32 w = ci.image_width, h = ci.image_height;
  if (w == 0 || h == 0 || w > image::MAX_SIDE || h > image::MAX_SIDE) {
    jpeg_destroy_decompress(&ci);
    return w > image::MAX_SIDE || h > image::MAX_SIDE ? TOO_LARGE : CORRUPT;
  }
  if (!image::within_bound(w, h)) {
    jpeg_destroy_decompress(&ci);
    return NO_MEMORY;
  }
  bool cmyk = ci.jpeg_color_space == JCS_CMYK || ci.jpeg_color_space == JCS_YCCK;
  ci.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
  // Coefficient buffers of progressive files scale with the pixel count: keep them under
  // the same bound as the pixels.
  ci.mem->max_memory_to_use = static_cast<long>(image::max_pixel_bytes * 2);
  jpeg_start_decompress(&ci);
  if (ci.output_width != w || ci.output_height != h || ci.output_components != 4) {
    jpeg_destroy_decompress(&ci);
    return CORRUPT;
  }
  pixels = static_cast<u32*>(std::malloc(u64(w) * h * 4));
  if (cmyk) line = static_cast<u8*>(std::malloc(u64(w) * 4));
  if (!pixels || (cmyk && !line)) {
    result = NO_MEMORY;
    longjmp(e.jump, 1);
  }
  bool inverted = ci.saw_Adobe_marker;
  while (ci.output_scanline < h) {
    u32 y = ci.output_scanline;
    JSAMPROW row = cmyk ? line : reinterpret_cast<JSAMPROW>(pixels + u64(y) * w);
    if (jpeg_read_scanlines(&ci, &row, 1) != 1) longjmp(e.jump, 1);
    if (cmyk) {
      u32* dst = pixels + u64(y) * w;
      for (u32 x = 0; x < w; x++) {
        u32 c = line[4 * x], m = line[4 * x + 1], yy = line[4 * x + 2], k = line[4 * x + 3];
        if (!inverted) { c = 255 - c; m = 255 - m; yy = 255 - yy; k = 255 - k; }
        u32 r = (c * k + 127) / 255, g = (m * k + 127) / 255, b = (yy * k + 127) / 255;
        dst[x] = 0xFF000000u | r << 16 | g << 8 | b;
      }
    }
  }
  // The trailer is not read: data after the last scan line must not fail a good image.
  jpeg_destroy_decompress(&ci);
  std::free(line);
  *pixels_out = pixels;
  *w_out = w;
  *h_out = h;
  return OK;
}

status jpeg_encode_c(const u32* pixels, u32 w, u32 h, u8** out, unsigned long* out_size) {
  jpeg_compress_struct ci;
  error_mgr e;
  quiet(&e);
  ci.err = &e.pub;
  if (setjmp(e.jump)) {
    jpeg_destroy_compress(&ci);
    return NO_MEMORY;
  }
  jpeg_create_compress(&ci);
  jpeg_mem_dest(&ci, out, out_size);
  ci.image_width = w;
  ci.image_height = h;
  ci.input_components = 4;
  ci.in_color_space = JCS_EXT_BGRA;
  jpeg_set_defaults(&ci);
  jpeg_set_quality(&ci, 90, TRUE);
  jpeg_start_compress(&ci, TRUE);
  while (ci.next_scanline < h) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(const_cast<u32*>(pixels + u64(ci.next_scanline) * w));
    jpeg_write_scanlines(&ci, &row, 1);
  }
  jpeg_finish_compress(&ci);
  jpeg_destroy_compress(&ci);
  return OK;
}

}  // namespace

status decode_jpeg(const u8* bytes, u64 n, image::raster& out) {
  u32* pixels = nullptr;
  u32 w = 0, h = 0;
  status s = jpeg_decode_c(bytes, n, &pixels, &w, &h);
  if (s == OK) {
    out.pixels = pixels;
    out.width = w;
    out.height = h;
  }
  return s;
}

status encode_jpeg(const u32* pixels, u32 w, u32 h, std::vector<u8>& out) {
  if (w > 65500 || h > 65500) return TOO_LARGE;  // the format's own limit
  u8* data = nullptr;
  unsigned long size = 0;
  status s = jpeg_encode_c(pixels, w, h, &data, &size);
  if (s == OK) out.assign(data, data + size);
  std::free(data);
  return s;
}

}  // namespace vyr::image_codecs
