// BMP, our own: reads 1-, 4-, 8-, 16-, 24- and 32-bit files, BI_RGB and BI_BITFIELDS, in
// both row orders, with core, info and V2-V5 headers; writes 32-bit BGRA with a V5 header
// and an alpha mask, bottom-up. Every offset and size is checked against the file in 64 bits
// before it is read.
#include <cstdlib>
#include <cstring>

#include "runtime/codecs/images.h"

namespace vyr::image_codecs {

namespace {

u32 le16(const u8* p) { return u32(p[0]) | u32(p[1]) << 8; }
u32 le32(const u8* p) { return u32(p[0]) | u32(p[1]) << 8 | u32(p[2]) << 16 | u32(p[3]) << 24; }
void put16(std::vector<u8>& o, u32 v) { o.push_back(u8(v)); o.push_back(u8(v >> 8)); }
void put32(std::vector<u8>& o, u32 v) { put16(o, v & 0xFFFF); put16(o, v >> 16); }

// One channel of a bit-field mask: shift and width, and the 8-bit value of a sample.
struct field {
  u32 mask = 0, shift = 0, bits = 0;
  explicit field(u32 m = 0) : mask(m) {
    if (!m) return;
    while (!((m >> shift) & 1)) shift++;
    while (shift + bits < 32 && ((m >> (shift + bits)) & 1)) bits++;
  }
  u32 get(u32 px, u32 absent) const {
    if (!bits) return absent;
    u32 v = (px & mask) >> shift;
    if (bits >= 8) return v >> (bits - 8);
    u32 max = (1u << bits) - 1;
    return (v * 255 + max / 2) / max;
  }
};

}  // namespace

status decode_bmp(const u8* p, u64 n, image::raster& out) {
  if (n < 26 || p[0] != 'B' || p[1] != 'M') return CORRUPT;
  u64 data_at = le32(p + 10);
  u64 header = le32(p + 14);
  if (header < 12 || 14 + header > n) return CORRUPT;
  i64 w, h;
  u32 bpp, compression = 0, colours_used = 0;
  u64 palette_at = 14 + header, entry = 4;
  if (header == 12) {
    w = le16(p + 18);
    h = static_cast<int16_t>(le16(p + 20));
    bpp = le16(p + 24);
    entry = 3;
  } else {
    if (header < 40) return CORRUPT;
    w = static_cast<i32>(le32(p + 18));
    h = static_cast<i32>(le32(p + 22));
    bpp = le16(p + 28);
    compression = le32(p + 30);
    colours_used = le32(p + 46);
  }
  bool top_down = h < 0;
  if (top_down) h = -h;
  if (w <= 0 || h <= 0) return CORRUPT;
  if (w > image::MAX_SIDE || h > image::MAX_SIDE) return TOO_LARGE;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return CORRUPT;
  bool bitfields = compression == 3 || compression == 6;
  if (compression != 0 && !bitfields) return CORRUPT;  // run-length and embedded formats
  if (bitfields && bpp != 16 && bpp != 32) return CORRUPT;
  field red, green, blue, alpha;
  if (bitfields) {
    u64 at = 54;  // masks follow a 40-byte header, or lie inside a longer one
    u32 count = compression == 6 || header >= 56 ? 4 : 3;
    if (at + 4 * count > n) return CORRUPT;
    red = field(le32(p + at));
    green = field(le32(p + at + 4));
    blue = field(le32(p + at + 8));
    if (count == 4) alpha = field(le32(p + at + 12));
    if (header == 40) palette_at += 4 * count;
  } else if (bpp == 16) {
    red = field(0x7C00);
    green = field(0x03E0);
    blue = field(0x001F);
  } else if (bpp == 32 && header >= 56 && le32(p + 66)) {
    alpha = field(le32(p + 66));  // a V4/V5 alpha mask on a plain 32-bit file
    red = field(0x00FF0000);
    green = field(0x0000FF00);
    blue = field(0x000000FF);
  }
  u32 palette[256];
  if (bpp <= 8) {
    u64 count = colours_used ? colours_used : (1u << bpp);
    if (count > (1u << bpp)) count = 1u << bpp;
    if (palette_at + count * entry > n) return CORRUPT;
    for (u32 i = 0; i < 256; i++) palette[i] = 0xFF000000u;
    for (u64 i = 0; i < count; i++) {
      const u8* e = p + palette_at + i * entry;
      palette[i] = 0xFF000000u | u32(e[2]) << 16 | u32(e[1]) << 8 | e[0];
    }
  }
  u64 stride = ((u64(w) * bpp + 31) / 32) * 4;
  // Pixels start after the headers (and the masks that follow a 40-byte one): an offset
  // inside them would build the image from header bytes.
  if (data_at < palette_at || data_at > n || stride * u64(h) > n - data_at) return CORRUPT;
  if (!image::within_bound(u64(w), u64(h))) return NO_MEMORY;
  u32* pixels = static_cast<u32*>(std::malloc(u64(w) * u64(h) * 4));
  if (!pixels) return NO_MEMORY;
  // Straight BGRA words (what we write) are copied row by row: the file's little-endian
  // words are the pixel words of this x86-64 host.
  bool bgra = bpp == 32 && red.mask == 0x00FF0000 && green.mask == 0x0000FF00 &&
              blue.mask == 0x000000FF && alpha.mask == 0xFF000000u;
  for (i64 y = 0; y < h; y++) {
    const u8* row = p + data_at + stride * u64(top_down ? y : h - 1 - y);
    u32* dst = pixels + u64(y) * u64(w);
    if (bgra) {
      std::memcpy(dst, row, u64(w) * 4);
      continue;
    }
    for (i64 x = 0; x < w; x++) {
      u32 px;
      switch (bpp) {
        case 1: px = palette[(row[x >> 3] >> (7 - (x & 7))) & 1]; break;
        case 4: px = palette[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15]; break;
        case 8: px = palette[row[x]]; break;
        case 16: {
          u32 v = le16(row + 2 * x);
          px = alpha.get(v, 255) << 24 | red.get(v, 0) << 16 | green.get(v, 0) << 8 | blue.get(v, 0);
          break;
        }
        case 24:
          px = 0xFF000000u | u32(row[3 * x + 2]) << 16 | u32(row[3 * x + 1]) << 8 | row[3 * x];
          break;
        default: {
          u32 v = le32(row + 4 * x);
          if (red.mask || alpha.mask)
            px = alpha.get(v, 255) << 24 | red.get(v, 0) << 16 | green.get(v, 0) << 8 | blue.get(v, 0);
          else
            px = 0xFF000000u | (v & 0xFFFFFF);  // BI_RGB: the fourth byte is not alpha
          break;
        }
      }
      dst[x] = px;
    }
  }
  out.pixels = pixels;
  out.width = static_cast<u32>(w);
  out.height = static_cast<u32>(h);
  return OK;
}

status encode_bmp(const u32* pixels, u32 w, u32 h, std::vector<u8>& out) {
  u64 data = u64(w) * h * 4, total = 14 + 124 + data;
  if (total > 0xFFFFFFFFull) return TOO_LARGE;
  out.clear();
  out.reserve(total);
  out.push_back('B');
  out.push_back('M');
  put32(out, static_cast<u32>(total));
  put32(out, 0);
  put32(out, 14 + 124);
  put32(out, 124);                 // V5 header
  put32(out, w);
  put32(out, h);                   // bottom-up
  put16(out, 1);
  put16(out, 32);
  put32(out, 3);                   // BI_BITFIELDS
  put32(out, static_cast<u32>(data));
  put32(out, 2835);
  put32(out, 2835);
  put32(out, 0);
  put32(out, 0);
  put32(out, 0x00FF0000);
  put32(out, 0x0000FF00);
  put32(out, 0x000000FF);
  put32(out, 0xFF000000);
  put32(out, 0x73524742);          // 'sRGB'
  for (int i = 0; i < 9 + 3; i++) put32(out, 0);  // endpoints and gamma
  put32(out, 4);                   // LCS_GM_IMAGES
  put32(out, 0);
  put32(out, 0);
  put32(out, 0);
  for (u32 y = h; y-- > 0;) {
    const u8* row = reinterpret_cast<const u8*>(pixels + u64(y) * w);
    out.insert(out.end(), row, row + u64(w) * 4);  // little-endian words are B, G, R, A
  }
  return OK;
}

}  // namespace vyr::image_codecs
