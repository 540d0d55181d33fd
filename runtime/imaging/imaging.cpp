// The imaging backend: pixel stores behind image records, their locks, the premultiplied
// draw copy and the cached drawing bitmap. Every operation that makes pixels finishes them
// in a raster (outside the arena) before the record is allocated, so a failure never leaves
// a half-made record and an allocation never moves bytes being read.
#include "runtime/imaging/imaging.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "runtime/externals.h"
#include "runtime/fire.h"
#include "runtime/memory.h"

namespace vyr::image {

u64 max_pixel_bytes = u64(1) << 30;

namespace {

// What the external slot holds for one record.
struct store {
  raster straight;
  raster premultiplied;  // the draw copy (FLAG_DRAW_COPY)
  std::unique_ptr<drawing_bitmap> cache;
  u32 readers = 0;
  bool writing = false;
};

u32 class_id = 0;

// Record words, in order.
enum : u32 { W_FLAGS, W_SOURCE, W_PIXELS, W_SIZE, W_SLOT, W_DRAWING, RECORD_WORDS };

u32 word(u32 record, u32 i) {
  u32 v;
  std::memcpy(&v, buffer_of(record)->head() + 4 * i, 4);
  return v;
}
void set_word(u32 record, u32 i, u32 v) { std::memcpy(buffer_of(record)->head() + 4 * i, &v, 4); }

store* store_of(u32 record) {
  return reinterpret_cast<store*>(externals::handle_of(static_cast<i32>(word(record, W_SLOT))));
}

void release_cache(u32 record, store* s) {
  s->cache.reset();
  set_word(record, W_DRAWING, 0);
  set_word(record, W_FLAGS, word(record, W_FLAGS) & ~FLAG_DRAWN);
}

u32 premultiply(u32 p) {
  u32 a = p >> 24;
  if (a == 255) return p;
  auto m = [a](u32 c) { return (c * a + 127) / 255; };
  return a << 24 | m((p >> 16) & 255) << 16 | m((p >> 8) & 255) << 8 | m(p & 255);
}
u32 unpremultiply(u32 p) {
  u32 a = p >> 24;
  if (a == 255) return p;
  if (a == 0) return 0;
  auto d = [a](u32 c) { return std::min<u32>(255, (c * 255 + a / 2) / a); };
  return a << 24 | d((p >> 16) & 255) << 16 | d((p >> 8) & 255) << 8 | d(p & 255);
}

// The straight pixels, rebuilt from the draw copy when drawing changed it.
store* pixels_of(u32 record) {
  store* s = store_of(record);
  u32 f = word(record, W_FLAGS);
  if (f & FLAG_STALE) {
    f &= ~(FLAG_STALE | FLAG_PIXELS);
    if (s->premultiplied.pixels && s->straight.pixels) {
      u64 n = s->straight.count();
      for (u64 i = 0; i < n; i++) s->straight.pixels[i] = unpremultiply(s->premultiplied.pixels[i]);
    }
  }
  if (s->straight.pixels) f |= FLAG_PIXELS;
  set_word(record, W_FLAGS, f);
  return s;
}

[[noreturn]] void bad_media() { fire("access", "bad-media"); }

}  // namespace

raster& raster::operator=(raster&& o) noexcept {
  if (this != &o) {
    std::free(pixels);
    width = o.width;
    height = o.height;
    pixels = o.pixels;
    o.pixels = nullptr;
    o.width = o.height = 0;
  }
  return *this;
}
raster::~raster() { std::free(pixels); }

bool within_bound(u64 w, u64 h) { return w * h * 4 <= max_pixel_bytes; }

raster allocate(u32 w, u32 h) {
  if (!within_bound(w, h)) fire_no_memory();
  raster r;
  u64 bytes = u64(w) * h * 4;
  r.pixels = static_cast<u32*>(std::malloc(bytes ? bytes : 4));
  if (!r.pixels) fire_no_memory();
  r.width = w;
  r.height = h;
  return r;
}

void init_backend() {
  class_id = externals::register_class("image", release_record);
}

// ---- Records ---------------------------------------------------------------------------

u32 make_record(raster&& pixels) {
  if (pixels.width > MAX_SIDE || pixels.height > MAX_SIDE) fire_no_memory();
  if (class_id == 0) init_backend();
  u32 node = memory::alloc_bytes(RECORD_WORDS * 4);  // may collect: nothing is registered yet
  series_buffer* b = buffer_of(node);
  b->tail = b->offset + RECORD_WORDS * 4;
  store* s = new store;
  s->straight = std::move(pixels);
  i32 slot = externals::add(reinterpret_cast<u64>(s), class_id);
  set_word(node, W_FLAGS, FLAG_PIXELS);
  set_word(node, W_SOURCE, 0);
  set_word(node, W_PIXELS, 0);
  set_word(node, W_SIZE, s->straight.height << 16 | s->straight.width);
  set_word(node, W_SLOT, static_cast<u32>(slot));
  set_word(node, W_DRAWING, 0);
  return node;
}

u32 flags_of(u32 record) { return word(record, W_FLAGS); }
u32 size_word(u32 record) { return word(record, W_SIZE); }

u32 make_bitmap(u32 w, u32 h, const u8* rgb, u64 rgb_len, const u8* alpha, u64 alpha_len,
                const u8* colour, u32 colour_len) {
  if (w == 0 || h == 0) return 0;
  raster r = allocate(w, h);
  u64 n = r.count();
  if (colour) {
    u32 a = colour_len > 3 ? 255u - colour[3] : 255u;
    u32 p = a << 24 | u32(colour[0]) << 16 | u32(colour[1]) << 8 | colour[2];
    std::fill(r.pixels, r.pixels + n, p);
  } else {
    u64 triples = rgb ? rgb_len / 3 : 0;
    if (!alpha) alpha_len = 0;
    for (u64 i = 0; i < n; i++) {
      u32 red = 255, green = 255, blue = 255, a = 255;
      if (i < triples) {
        red = rgb[3 * i];
        green = rgb[3 * i + 1];
        blue = rgb[3 * i + 2];
      }
      if (i < alpha_len) a = 255u - alpha[i];
      r.pixels[i] = a << 24 | red << 16 | green << 8 | blue;
    }
  }
  return make_record(std::move(r));
}

u32 make_from_memory(u32 w, u32 h, u32 stride, const u8* pixels) {
  if (w == 0 || h == 0) return 0;
  if (w > MAX_SIDE || h > MAX_SIDE) fire("script", "out-of-range");
  raster r = allocate(w, h);
  u64 row = u64(w) * 4, step = stride ? stride : row;
  for (u32 y = 0; y < h; y++)
    std::memcpy(r.pixels + u64(y) * w, pixels + u64(y) * step, row);
  return make_record(std::move(r));
}

u32 copy_record(u32 record) {
  return crop_record(record, 0, 0, width_q(record), height_q(record));
}

u32 crop_record(u32 record, i64 x, i64 y, i64 w, i64 h) {
  i64 iw = width_q(record), ih = height_q(record);
  i64 x0 = std::clamp<i64>(x, 0, iw), y0 = std::clamp<i64>(y, 0, ih);
  i64 x1 = std::clamp<i64>(x + std::max<i64>(w, 0), 0, iw);
  i64 y1 = std::clamp<i64>(y + std::max<i64>(h, 0), 0, ih);
  if (x1 <= x0 || y1 <= y0) return 0;
  store* s = pixels_of(record);
  if (!s->straight.pixels) bad_media();
  raster r = allocate(u32(x1 - x0), u32(y1 - y0));
  for (i64 row = y0; row < y1; row++)
    std::memcpy(r.pixels + u64(row - y0) * r.width, s->straight.pixels + u64(row) * iw + x0,
                u64(r.width) * 4);
  return make_record(std::move(r));
}

u32 scale(u32 record, u32 w, u32 h) {
  if (w == 0 || h == 0) return 0;
  u32 iw = width_q(record), ih = height_q(record);
  store* s = pixels_of(record);
  if (!s->straight.pixels || iw == 0 || ih == 0) bad_media();
  raster r = allocate(w, h);
  for (u32 y = 0; y < h; y++) {
    u64 sy = u64(y) * ih / h;
    const u32* src = s->straight.pixels + sy * iw;
    u32* dst = r.pixels + u64(y) * w;
    for (u32 x = 0; x < w; x++) dst[x] = src[u64(x) * iw / w];
  }
  return make_record(std::move(r));
}

u32 flip_vertical(u32 record) {
  u32 w = width_q(record), h = height_q(record);
  store* s = pixels_of(record);
  if (!s->straight.pixels) bad_media();
  raster r = allocate(w, h);
  for (u32 y = 0; y < h; y++)
    std::memcpy(r.pixels + u64(y) * w, s->straight.pixels + u64(h - 1 - y) * w, u64(w) * 4);
  return make_record(std::move(r));
}

void delete_record(u32 record) {
  store* s = store_of(record);
  if (s->readers || s->writing) bad_media();
  s->straight = raster{};
  s->premultiplied = raster{};
  release_cache(record, s);
  set_word(record, W_FLAGS, 0);
}

u32 get_pixel(u32 record, u64 index) {
  store* s = pixels_of(record);
  if (!s->straight.pixels || s->writing || index >= s->straight.count()) bad_media();
  return s->straight.pixels[index];
}

void set_pixel(u32 record, u64 index, u32 pixel) {
  store* s = pixels_of(record);
  if (!s->straight.pixels || s->writing || s->readers || index >= s->straight.count())
    bad_media();
  s->straight.pixels[index] = pixel;
  set_word(record, W_FLAGS, word(record, W_FLAGS) | FLAG_WRITTEN);
  release_cache(record, s);
}

// ---- Locks -----------------------------------------------------------------------------

lock::lock(const cell* image, bool write) : image_(*image), guard_(&image_), write_(write) {
  record_ = image_.data2;
  if (!record_) bad_media();
  store* s = pixels_of(record_);
  if (!s->straight.pixels || s->writing || (write && s->readers)) bad_media();
  if (write) {
    s->writing = true;
    set_word(record_, W_FLAGS, word(record_, W_FLAGS) | FLAG_WRITTEN);
    release_cache(record_, s);
  } else {
    s->readers++;
  }
  data_ = s->straight.pixels;
  count_ = s->straight.count();
}

lock::~lock() {
  store* s = store_of(record_);
  if (write_) s->writing = false;
  else if (s->readers) s->readers--;
}

pixel_view lock::view() const {
  u32 w = width_q(record_), h = height_q(record_);
  return pixel_view{data_, w * 4, w, h};
}

// ---- Drawing ---------------------------------------------------------------------------

pixel_view get_draw_target(u32 record) {
  store* s = pixels_of(record);
  if (!s->straight.pixels) bad_media();
  u32 f = word(record, W_FLAGS);
  if (!(f & FLAG_DRAW_COPY) || (f & FLAG_WRITTEN) || !s->premultiplied.pixels) {
    if (!s->premultiplied.pixels) s->premultiplied = allocate(s->straight.width, s->straight.height);
    u64 n = s->straight.count();
    for (u64 i = 0; i < n; i++) s->premultiplied.pixels[i] = premultiply(s->straight.pixels[i]);
    f = (f & ~FLAG_WRITTEN) | FLAG_DRAW_COPY | FLAG_PREMULTIPLIED;
    set_word(record, W_FLAGS, f);
  }
  return pixel_view{s->premultiplied.pixels, s->premultiplied.width * 4,
                    s->premultiplied.width, s->premultiplied.height};
}

void mark_changed(u32 record) {
  store* s = store_of(record);
  set_word(record, W_FLAGS, word(record, W_FLAGS) | FLAG_STALE);
  release_cache(record, s);
}

drawing_bitmap* get_cached_bitmap(u32 record) {
  store* s = store_of(record);
  if (s->cache) set_word(record, W_FLAGS, word(record, W_FLAGS) | FLAG_DRAWN);
  return s->cache.get();
}

void set_cached_bitmap(u32 record, std::unique_ptr<drawing_bitmap> bitmap) {
  store* s = store_of(record);
  s->cache = std::move(bitmap);
  set_word(record, W_DRAWING, s->cache ? 1 : 0);
}

// ---- Collector -------------------------------------------------------------------------

void mark_record(u32 record) {
  i32 slot = static_cast<i32>(word(record, W_SLOT));
  if (!externals::mark(slot, 0, false)) return;  // seen already in this cycle
  u32 f = word(record, W_FLAGS);
  if (f & FLAG_DRAWN) {
    set_word(record, W_FLAGS, f & ~FLAG_DRAWN);
  } else {
    store* s = reinterpret_cast<store*>(externals::handle_of(slot));
    if (s->cache) release_cache(record, s);
  }
}

void release_record(u64 handle) { delete reinterpret_cast<store*>(handle); }

}  // namespace vyr::image
