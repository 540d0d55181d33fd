// Format detection, the dispatch to the codec adapters and the mapping of their outcomes
// to language errors.
#include "runtime/codecs/images.h"

#include <cstdlib>
#include <cstring>

#include "runtime/fire.h"
#include "runtime/stack.h"
#include "runtime/datatypes/integer.h"

namespace vyr::image_codecs {

i32 format_of(const u8* p, u64 n) {
  auto starts = [&](const char* sig, u64 k) { return n >= k && std::memcmp(p, sig, k) == 0; };
  if (starts("\x89PNG", 4)) return PNG;
  if (starts("\xFF\xD8\xFF", 3)) return JPEG;
  if (starts("BM", 2)) return BMP;
  if (starts("GIF87a", 6) || starts("GIF89a", 6)) return GIF;
  if (starts("II\x2A\x00", 4) || starts("MM\x00\x2A", 4)) return TIFF;
  return UNKNOWN;
}

bool membuf_put(membuf* m, const void* bytes, u64 n) {
  if (n > m->capacity - m->size) {
    u64 cap = m->capacity ? m->capacity : 4096;
    while (cap - m->size < n) {
      if (cap > (u64(1) << 40)) return false;
      cap *= 2;
    }
    void* grown = std::realloc(m->data, cap);
    if (!grown) return false;
    m->data = static_cast<u8*>(grown);
    m->capacity = cap;
  }
  std::memcpy(m->data + m->size, bytes, n);
  m->size += n;
  return true;
}

image::raster decode(const u8* bytes, u64 n, i32 format) {
  image::raster out;
  status s = CORRUPT;
  switch (format) {
    case PNG: s = decode_png(bytes, n, out); break;
    case JPEG: s = decode_jpeg(bytes, n, out); break;
    case GIF: s = decode_gif(bytes, n, out); break;
    case TIFF: s = decode_tiff(bytes, n, out); break;
    case BMP: s = decode_bmp(bytes, n, out); break;
    default: break;
  }
  if (s == NO_MEMORY) fire_no_memory();
  if (s != OK || !out.pixels || out.width == 0 || out.height == 0 ||
      out.width > image::MAX_SIDE || out.height > image::MAX_SIDE)
    fire("access", "bad-media");
  return out;
}

std::vector<u8> encode(const u32* pixels, u32 w, u32 h, i32 format) {
  std::vector<u8> out;
  status s = CORRUPT;
  switch (format) {
    case PNG: s = encode_png(pixels, w, h, out); break;
    case JPEG: s = encode_jpeg(pixels, w, h, out); break;
    case GIF: s = encode_gif(pixels, w, h, out); break;
    case TIFF: s = encode_tiff(pixels, w, h, out); break;
    case BMP: s = encode_bmp(pixels, w, h, out); break;
    default: {
      cell number;
      integer::make_at(&number, format);
      fire("script", "invalid-arg", &number);
    }
  }
  if (s == NO_MEMORY) fire_no_memory();
  if (s != OK) fire("access", "bad-media");  // TOO_LARGE: past the format's own limit
  return out;
}

}  // namespace vyr::image_codecs
