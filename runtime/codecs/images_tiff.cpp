// TIFF adapter on libtiff, over memory through client procedures. 8-bit contiguous RGB(A)
// strips with unassociated alpha are read scan line by scan line, so they come back exact;
// everything else goes through libtiff's RGBA interface (associated alpha undone). Written
// as 8-bit RGBA with unassociated alpha, LZW-compressed. Errors and warnings are
// swallowed per open; libtiff's single allocations are held under the pixel bound.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "runtime/codecs/images.h"

namespace vyr::image_codecs {

namespace {

struct stream {
  const u8* data;  // reading
  membuf* out;     // writing (data grows here)
  u64 size, pos;
};

tmsize_t read_proc(thandle_t h, void* buf, tmsize_t n) {
  auto* s = static_cast<stream*>(h);
  if (n < 0 || s->pos >= s->size) return 0;
  u64 k = std::min<u64>(u64(n), s->size - s->pos);
  std::memcpy(buf, (s->out ? s->out->data : s->data) + s->pos, k);
  s->pos += k;
  return static_cast<tmsize_t>(k);
}

tmsize_t write_proc(thandle_t h, void* buf, tmsize_t n) {
  auto* s = static_cast<stream*>(h);
  if (!s->out || n < 0) return -1;
  u64 end = s->pos + u64(n);
  if (end > s->out->size) {
    u64 grow = end - s->out->size;
    static const u8 zeros[4096] = {};
    while (grow) {
      u64 k = std::min<u64>(grow, sizeof zeros);
      if (!membuf_put(s->out, zeros, k)) return -1;
      grow -= k;
    }
  }
  std::memcpy(s->out->data + s->pos, buf, u64(n));
  s->pos = end;
  s->size = s->out->size;
  return n;
}

toff_t seek_proc(thandle_t h, toff_t off, int whence) {
  auto* s = static_cast<stream*>(h);
  u64 base = whence == SEEK_CUR ? s->pos : whence == SEEK_END ? s->size : 0;
  u64 target = base + off;
  if (target > (u64(1) << 40)) return static_cast<toff_t>(-1);
  s->pos = target;
  return target;
}

int close_proc(thandle_t) { return 0; }
toff_t size_proc(thandle_t h) { return static_cast<stream*>(h)->size; }
int map_proc(thandle_t, void**, toff_t*) { return 0; }
void unmap_proc(thandle_t, void*, toff_t) {}
int quiet(::TIFF*, void*, const char*, const char*, va_list) { return 1; }

::TIFF* open(stream* s, const char* mode) {
  TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
  if (!opts) return nullptr;
  TIFFOpenOptionsSetMaxSingleMemAlloc(opts, static_cast<tmsize_t>(image::max_pixel_bytes + 4096));
  TIFFOpenOptionsSetErrorHandlerExtR(opts, quiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(opts, quiet, nullptr);
  ::TIFF* t = TIFFClientOpenExt("memory", mode, s, read_proc, write_proc, seek_proc, close_proc,
                              size_proc, map_proc, unmap_proc, opts);
  TIFFOpenOptionsFree(opts);
  return t;
}

status read_pixels(::TIFF* t, u32** pixels_out, u32* w_out, u32* h_out) {
  uint32_t w = 0, h = 0;
  if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h))
    return CORRUPT;
  if (w == 0 || h == 0) return CORRUPT;
  if (w > image::MAX_SIDE || h > image::MAX_SIDE) return TOO_LARGE;
  if (!image::within_bound(w, h)) return NO_MEMORY;
  uint16_t bits = 0, spp = 0, photometric = 0, planar = PLANARCONFIG_CONTIG, extra_count = 0;
  uint16_t* extra = nullptr;
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
  TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(t, TIFFTAG_EXTRASAMPLES, &extra_count, &extra);
  bool has_photometric = TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric);
  bool unassociated = extra_count >= 1 && extra && extra[0] == EXTRASAMPLE_UNASSALPHA;
  bool associated = extra_count >= 1 && extra && extra[0] == EXTRASAMPLE_ASSOCALPHA;
  u32* pixels = static_cast<u32*>(std::malloc(u64(w) * h * 4));
  if (!pixels) return NO_MEMORY;
  bool plain = has_photometric && photometric == PHOTOMETRIC_RGB && bits == 8 &&
               planar == PLANARCONFIG_CONTIG && !TIFFIsTiled(t) &&
               (spp == 3 || (spp == 4 && extra_count == 1 && !associated));
  if (plain && TIFFScanlineSize64(t) >= u64(w) * spp) {
    u8* line = static_cast<u8*>(std::malloc(static_cast<size_t>(TIFFScanlineSize64(t))));
    if (!line) {
      std::free(pixels);
      return NO_MEMORY;
    }
    for (u32 y = 0; y < h; y++) {
      if (TIFFReadScanline(t, line, y, 0) < 0) {
        std::free(line);
        std::free(pixels);
        return CORRUPT;
      }
      u32* dst = pixels + u64(y) * w;
      for (u32 x = 0; x < w; x++) {
        const u8* p = line + u64(x) * spp;
        u32 a = spp == 4 ? p[3] : 255;
        dst[x] = a << 24 | u32(p[0]) << 16 | u32(p[1]) << 8 | p[2];
      }
    }
    std::free(line);
  } else {
    if (!TIFFReadRGBAImageOriented(t, w, h, pixels, ORIENTATION_TOPLEFT, 0)) {
      std::free(pixels);
      return CORRUPT;
    }
    // The RGBA interface answers A B G R bytes from the high end, alpha premultiplied.
    bool undo = unassociated || associated;
    for (u64 i = 0, n = u64(w) * h; i < n; i++) {
      u32 p = pixels[i];
      u32 r = TIFFGetR(p), g = TIFFGetG(p), b = TIFFGetB(p), a = TIFFGetA(p);
      if (undo && a < 255) {
        if (a == 0) {
          r = g = b = 0;
        } else {
          r = std::min<u32>(255, (r * 255 + a / 2) / a);
          g = std::min<u32>(255, (g * 255 + a / 2) / a);
          b = std::min<u32>(255, (b * 255 + a / 2) / a);
        }
      }
      pixels[i] = a << 24 | r << 16 | g << 8 | b;
    }
  }
  *pixels_out = pixels;
  *w_out = w;
  *h_out = h;
  return OK;
}

}  // namespace

status decode_tiff(const u8* bytes, u64 n, image::raster& out) {
  stream s{bytes, nullptr, n, 0};
  ::TIFF* t = open(&s, "rm");
  if (!t) return CORRUPT;
  u32* pixels = nullptr;
  u32 w = 0, h = 0;
  status st = read_pixels(t, &pixels, &w, &h);
  TIFFClose(t);
  if (st == OK) {
    out.pixels = pixels;
    out.width = w;
    out.height = h;
  }
  return st;
}

status encode_tiff(const u32* pixels, u32 w, u32 h, std::vector<u8>& out) {
  membuf m{nullptr, 0, 0};
  stream s{nullptr, &m, 0, 0};
  ::TIFF* t = open(&s, "wm");
  if (!t) return NO_MEMORY;
  uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
  bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w) && TIFFSetField(t, TIFFTAG_IMAGELENGTH, h) &&
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8) && TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 4) &&
            TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra) &&
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
            TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
            TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
  u8* line = ok ? static_cast<u8*>(std::malloc(u64(w) * 4)) : nullptr;
  ok = ok && line;
  for (u32 y = 0; ok && y < h; y++) {
    const u32* src = pixels + u64(y) * w;
    for (u32 x = 0; x < w; x++) {
      u32 p = src[x];
      line[4 * x] = static_cast<u8>(p >> 16);
      line[4 * x + 1] = static_cast<u8>(p >> 8);
      line[4 * x + 2] = static_cast<u8>(p);
      line[4 * x + 3] = static_cast<u8>(p >> 24);
    }
    ok = TIFFWriteScanline(t, line, y, 0) >= 0;
  }
  std::free(line);
  ok = ok && TIFFFlush(t);
  TIFFClose(t);
  if (ok) out.assign(m.data, m.data + m.size);
  std::free(m.data);
  return ok ? OK : NO_MEMORY;
}

}  // namespace vyr::image_codecs
