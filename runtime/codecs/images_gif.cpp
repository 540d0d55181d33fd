// GIF adapter on giflib: the first frame placed on the logical screen (outside it
// transparent), its transparent index as alpha 0. Written through our own median-cut
// quantiser (exact up to 255 colours), alpha below 128 becoming the transparent index.
// giflib reports errors by return codes; the frame's size is checked before its raster
// is allocated.
#include <gif_lib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "runtime/codecs/images.h"

namespace vyr::image_codecs {

namespace {

struct source {
  const u8* data;
  u64 size, pos;
};

int read_bytes(GifFileType* g, GifByteType* out, int n) {
  auto* s = static_cast<source*>(g->UserData);
  u64 k = std::min<u64>(static_cast<u64>(n < 0 ? 0 : n), s->size - s->pos);
  std::memcpy(out, s->data + s->pos, k);
  s->pos += k;
  return static_cast<int>(k);
}

int write_bytes(GifFileType* g, const GifByteType* in, int n) {
  return membuf_put(static_cast<membuf*>(g->UserData), in, static_cast<u64>(n)) ? n : 0;
}

status read_first_frame(GifFileType* g, u32** pixels_out, u32* w_out, u32* h_out) {
  int transparent = -1;
  for (;;) {
    GifRecordType type;
    if (DGifGetRecordType(g, &type) == GIF_ERROR) return CORRUPT;
    if (type == IMAGE_DESC_RECORD_TYPE) break;
    if (type == TERMINATE_RECORD_TYPE) return CORRUPT;
    if (type == EXTENSION_RECORD_TYPE) {
      int code;
      GifByteType* ext;
      if (DGifGetExtension(g, &code, &ext) == GIF_ERROR) return CORRUPT;
      if (code == GRAPHICS_EXT_FUNC_CODE && ext && ext[0] >= 4)
        transparent = (ext[1] & 1) ? ext[4] : -1;
      while (ext)
        if (DGifGetExtensionNext(g, &ext) == GIF_ERROR) return CORRUPT;
    }
  }
  if (DGifGetImageDesc(g) == GIF_ERROR) return CORRUPT;
  const GifImageDesc& d = g->Image;
  if (d.Left < 0 || d.Top < 0 || d.Width <= 0 || d.Height <= 0) return CORRUPT;
  u64 fw = u64(d.Width), fh = u64(d.Height);
  u64 sw = g->SWidth > 0 ? u64(g->SWidth) : u64(d.Left) + fw;
  u64 sh = g->SHeight > 0 ? u64(g->SHeight) : u64(d.Top) + fh;
  if (sw > image::MAX_SIDE || sh > image::MAX_SIDE || fw > image::MAX_SIDE || fh > image::MAX_SIDE)
    return TOO_LARGE;
  if (!image::within_bound(sw, sh) || !image::within_bound(fw, 1)) return NO_MEMORY;
  // Every row of the frame is read (the decoder needs them in order) into one line buffer.
  const ColorMapObject* map = d.ColorMap ? d.ColorMap : g->SColorMap;
  if (!map || !map->Colors || map->ColorCount <= 0) return CORRUPT;
  u32 lut[256];
  for (int i = 0; i < 256; i++) {
    if (i == transparent) {
      lut[i] = 0;
    } else if (i < map->ColorCount) {
      const GifColorType& c = map->Colors[i];
      lut[i] = 0xFF000000u | u32(c.Red) << 16 | u32(c.Green) << 8 | c.Blue;
    } else {
      lut[i] = 0xFF000000u;  // an index past the map: black
    }
  }
  u32* pixels = static_cast<u32*>(std::calloc(sw * sh, 4));
  GifPixelType* line = static_cast<GifPixelType*>(std::malloc(fw));
  if (!pixels || !line) {
    std::free(pixels);
    std::free(line);
    return NO_MEMORY;
  }
  static const u64 starts[4] = {0, 4, 2, 1}, steps[4] = {8, 8, 4, 2};
  u32 passes = d.Interlace ? 4 : 1;
  for (u32 p = 0; p < passes; p++) {
    u64 first = d.Interlace ? starts[p] : 0, step = d.Interlace ? steps[p] : 1;
    for (u64 y = first; y < fh; y += step) {
      if (DGifGetLine(g, line, static_cast<int>(fw)) == GIF_ERROR) {
        std::free(pixels);
        std::free(line);
        return CORRUPT;
      }
      u64 sy = u64(d.Top) + y;
      if (sy >= sh) continue;
      u32* dst = pixels + sy * sw;
      for (u64 x = 0; x < fw; x++) {
        u64 sx = u64(d.Left) + x;
        if (sx < sw) dst[sx] = lut[line[x]];
      }
    }
  }
  std::free(line);
  *pixels_out = pixels;
  *w_out = static_cast<u32>(sw);
  *h_out = static_cast<u32>(sh);
  return OK;
}

// ---- Median cut ----------------------------------------------------------------------------

// A box over the 15-bit colour histogram.
struct box {
  u32 lo[3], hi[3];
  u64 weight;
};

u32 bin_of(u32 p) { return ((p >> 19) & 31) << 10 | ((p >> 11) & 31) << 5 | ((p >> 3) & 31); }

void shrink(box& b, const std::vector<u32>& hist) {
  u32 lo[3] = {31, 31, 31}, hi[3] = {0, 0, 0};
  u64 weight = 0;
  for (u32 r = b.lo[0]; r <= b.hi[0]; r++)
    for (u32 g = b.lo[1]; g <= b.hi[1]; g++)
      for (u32 bl = b.lo[2]; bl <= b.hi[2]; bl++) {
        u32 n = hist[r << 10 | g << 5 | bl];
        if (!n) continue;
        weight += n;
        u32 c[3] = {r, g, bl};
        for (int k = 0; k < 3; k++) { lo[k] = std::min(lo[k], c[k]); hi[k] = std::max(hi[k], c[k]); }
      }
  b.weight = weight;
  if (weight) std::memcpy(b.lo, lo, sizeof lo), std::memcpy(b.hi, hi, sizeof hi);
}

}  // namespace

quantised quantise(const u32* pixels, u64 count, u32 max_colours) {
  quantised q;
  q.indexes.resize(count);
  // Exact palette while the distinct colours fit.
  std::unordered_map<u32, u8> exact;
  bool fits = true;
  u32 last = 0xFFFFFFFFu;
  u8 last_index = 0;
  for (u64 i = 0; i < count; i++) {
    u32 c = pixels[i] & 0xFFFFFF;
    if (c == last) { q.indexes[i] = last_index; continue; }
    auto it = exact.find(c);
    if (it == exact.end()) {
      if (exact.size() >= max_colours) { fits = false; break; }
      it = exact.emplace(c, static_cast<u8>(exact.size())).first;
      q.palette.push_back(c);
    }
    last = c;
    last_index = it->second;
    q.indexes[i] = last_index;
  }
  if (fits) return q;
  // Median cut over a 32 x 32 x 32 histogram: split the heaviest splittable box along its
  // longest side at the weighted median, then give each box its mean colour.
  // One pass gathers each bin's count and channel sums (the boxes' means come from them).
  std::vector<u32> hist(32768, 0);
  std::vector<u64> bin_sums(32768 * 3, 0);
  for (u64 i = 0; i < count; i++) {
    u32 p = pixels[i], bin = bin_of(p);
    hist[bin]++;
    u64* s = &bin_sums[bin * 3];
    s[0] += (p >> 16) & 255;
    s[1] += (p >> 8) & 255;
    s[2] += p & 255;
  }
  std::vector<box> boxes{box{{0, 0, 0}, {31, 31, 31}, 0}};
  shrink(boxes[0], hist);
  while (boxes.size() < max_colours) {
    int best = -1;
    for (size_t i = 0; i < boxes.size(); i++) {
      const box& b = boxes[i];
      bool splittable = b.hi[0] > b.lo[0] || b.hi[1] > b.lo[1] || b.hi[2] > b.lo[2];
      if (splittable && (best < 0 || b.weight > boxes[best].weight)) best = static_cast<int>(i);
    }
    if (best < 0) break;
    box b = boxes[best];
    int axis = 0;
    for (int k = 1; k < 3; k++)
      if (b.hi[k] - b.lo[k] > b.hi[axis] - b.lo[axis]) axis = k;
    std::vector<u64> plane(32, 0);
    for (u32 r = b.lo[0]; r <= b.hi[0]; r++)
      for (u32 g = b.lo[1]; g <= b.hi[1]; g++)
        for (u32 bl = b.lo[2]; bl <= b.hi[2]; bl++) {
          u32 c[3] = {r, g, bl};
          plane[c[axis]] += hist[r << 10 | g << 5 | bl];
        }
    u64 half = b.weight / 2, run = 0;
    u32 cut = b.lo[axis];
    for (u32 v = b.lo[axis]; v < b.hi[axis]; v++) {
      run += plane[v];
      cut = v;
      if (run >= half) break;
    }
    box left = b, right = b;
    left.hi[axis] = cut;
    right.lo[axis] = cut + 1;
    shrink(left, hist);
    shrink(right, hist);
    boxes[best] = left;
    if (right.weight) boxes.push_back(right);
  }
  // Mean colours from the full-precision sums, then each bin's nearest palette entry.
  std::vector<u64> sums(boxes.size() * 4, 0);
  for (size_t i = 0; i < boxes.size(); i++)
    for (u32 r = boxes[i].lo[0]; r <= boxes[i].hi[0]; r++)
      for (u32 g = boxes[i].lo[1]; g <= boxes[i].hi[1]; g++)
        for (u32 bl = boxes[i].lo[2]; bl <= boxes[i].hi[2]; bl++) {
          u32 bin = r << 10 | g << 5 | bl;
          u64* s = &sums[i * 4];
          s[0] += bin_sums[bin * 3];
          s[1] += bin_sums[bin * 3 + 1];
          s[2] += bin_sums[bin * 3 + 2];
          s[3] += hist[bin];
        }
  q.palette.clear();
  for (size_t i = 0; i < boxes.size(); i++) {
    u64* s = &sums[i * 4];
    u64 n = s[3] ? s[3] : 1;
    q.palette.push_back(u32((s[0] + n / 2) / n) << 16 | u32((s[1] + n / 2) / n) << 8 |
                        u32((s[2] + n / 2) / n));
  }
  std::vector<int16_t> nearest(32768, -1);
  for (u64 i = 0; i < count; i++) {
    u32 bin = bin_of(pixels[i]);
    if (nearest[bin] < 0) {
      i32 r = ((bin >> 10) << 3) + 4, g = (((bin >> 5) & 31) << 3) + 4, bl = ((bin & 31) << 3) + 4;
      i64 best_d = INT64_MAX;
      for (size_t k = 0; k < q.palette.size(); k++) {
        i32 dr = r - i32(q.palette[k] >> 16), dg = g - i32((q.palette[k] >> 8) & 255),
            db = bl - i32(q.palette[k] & 255);
        i64 dist = i64(dr) * dr + i64(dg) * dg + i64(db) * db;
        if (dist < best_d) { best_d = dist; nearest[bin] = static_cast<int16_t>(k); }
      }
    }
    q.indexes[i] = static_cast<u8>(nearest[bin]);
  }
  return q;
}

namespace {

status gif_encode_c(const u8* indexes, u32 w, u32 h, const GifColorType* colours, int map_size,
                    int transparent, membuf* out) {
  int err = 0;
  GifFileType* g = EGifOpen(out, write_bytes, &err);
  if (!g) return NO_MEMORY;
  ColorMapObject* map = GifMakeMapObject(map_size, colours);
  if (!map) {
    EGifCloseFile(g, &err);
    return NO_MEMORY;
  }
  EGifSetGifVersion(g, transparent >= 0);
  bool ok = EGifPutScreenDesc(g, static_cast<int>(w), static_cast<int>(h), map->BitsPerPixel, 0,
                              map) != GIF_ERROR;
  if (ok && transparent >= 0) {
    GifByteType gce[4] = {0x01, 0, 0, static_cast<GifByteType>(transparent)};
    ok = EGifPutExtension(g, GRAPHICS_EXT_FUNC_CODE, 4, gce) != GIF_ERROR;
  }
  ok = ok && EGifPutImageDesc(g, 0, 0, static_cast<int>(w), static_cast<int>(h), false, nullptr) != GIF_ERROR;
  for (u32 y = 0; ok && y < h; y++)
    ok = EGifPutLine(g, const_cast<GifPixelType*>(indexes + u64(y) * w), static_cast<int>(w)) != GIF_ERROR;
  GifFreeMapObject(map);
  if (EGifCloseFile(g, &err) == GIF_ERROR) ok = false;
  return ok ? OK : NO_MEMORY;
}

}  // namespace

status decode_gif(const u8* bytes, u64 n, image::raster& out) {
  source s{bytes, n, 0};
  int err = 0;
  GifFileType* g = DGifOpen(&s, read_bytes, &err);
  if (!g) return CORRUPT;
  u32* pixels = nullptr;
  u32 w = 0, h = 0;
  status st = read_first_frame(g, &pixels, &w, &h);
  DGifCloseFile(g, &err);
  if (st == OK) {
    out.pixels = pixels;
    out.width = w;
    out.height = h;
  }
  return st;
}

status encode_gif(const u32* pixels, u32 w, u32 h, std::vector<u8>& out) {
  u64 count = u64(w) * h;
  // Opaque pixels go through the quantiser; alpha below 128 takes the transparent index.
  bool any_transparent = false;
  for (u64 i = 0; i < count && !any_transparent; i++) any_transparent = (pixels[i] >> 24) < 128;
  std::vector<u32> opaque;
  if (any_transparent) {
    opaque.reserve(count);
    for (u64 i = 0; i < count; i++)
      if ((pixels[i] >> 24) >= 128) opaque.push_back(pixels[i]);
  }
  quantised q = any_transparent ? quantise(opaque.data(), opaque.size(), 255)
                                : quantise(pixels, count, 256);
  int transparent = any_transparent ? static_cast<int>(q.palette.size()) : -1;
  int used = static_cast<int>(q.palette.size()) + (any_transparent ? 1 : 0);
  int map_size = 2;
  while (map_size < used) map_size *= 2;
  std::vector<GifColorType> colours(static_cast<size_t>(map_size), GifColorType{0, 0, 0});
  for (size_t i = 0; i < q.palette.size(); i++)
    colours[i] = GifColorType{static_cast<GifByteType>(q.palette[i] >> 16),
                              static_cast<GifByteType>(q.palette[i] >> 8),
                              static_cast<GifByteType>(q.palette[i])};
  std::vector<u8> indexes;
  if (any_transparent) {
    indexes.resize(count);
    for (u64 i = 0, k = 0; i < count; i++)
      indexes[i] = (pixels[i] >> 24) < 128 ? static_cast<u8>(transparent) : q.indexes[k++];
  } else {
    indexes = std::move(q.indexes);
  }
  opaque = {};
  q.indexes = {};
  membuf m{nullptr, 0, 0};
  status s = gif_encode_c(indexes.data(), w, h, colours.data(), map_size, transparent, &m);
  if (s == OK) out.assign(m.data, m.data + m.size);
  std::free(m.data);
  return s;
}

}  // namespace vyr::image_codecs
