// The imaging backend: the pixels of every image! value, kept as straight BGRA words
// (A << 24 | R << 16 | G << 8 | B) in a C++ store that lives in the external resource table
// under the class "image". The image record (a 24-byte series) holds the flags, the size
// word and the slot id; no pixel ever lives in the arena, so pixel pointers survive any
// allocation as long as the record is reachable.
#pragma once
#include <memory>

#include "runtime/api/pixels.h"
#include "runtime/cell.h"
#include "runtime/collector.h"

namespace vyr::image {

constexpr u32 MAX_SIDE = 65535;  // width and height share one 32-bit size word

// Record flags (word 0 of the record).
constexpr u32 FLAG_PIXELS = 0x01;     // the straight pixels are valid
constexpr u32 FLAG_WRITTEN = 0x02;    // written through a write lock: the draw copy is stale
constexpr u32 FLAG_DRAW_COPY = 0x08;  // a premultiplied copy exists that drawing writes into
constexpr u32 FLAG_PREMULTIPLIED = 0x10;
constexpr u32 FLAG_STALE = 0x20;      // drawing changed the copy: rebuild the straight pixels
constexpr u32 FLAG_DRAWN = 0x40;      // the drawing bitmap was used since the last collection

// Bound on width x height x 4 before anything is allocated; beyond it internal no-memory.
extern u64 max_pixel_bytes;

// An owned block of width x height pixel words (malloc'd, so plain C code may fill it).
struct raster {
  u32 width = 0, height = 0;
  u32* pixels = nullptr;
  raster() = default;
  raster(raster&& o) noexcept : width(o.width), height(o.height), pixels(o.pixels) {
    o.pixels = nullptr;
    o.width = o.height = 0;
  }
  raster& operator=(raster&& o) noexcept;
  raster(const raster&) = delete;
  raster& operator=(const raster&) = delete;
  ~raster();
  u64 count() const { return u64(width) * height; }
};

// Whether w x h x 4 fits the bound (sides 1..65535 assumed checked by the caller).
bool within_bound(u64 w, u64 h);
// A raster of w x h uninitialised pixels; raises internal no-memory past the bound or when
// the allocation fails.
raster allocate(u32 w, u32 h);

// The GUI layer's cached drawing bitmap: whatever it keeps, destroyed when released.
struct drawing_bitmap {
  virtual ~drawing_bitmap() = default;
};


void init_backend();  // registers the resource class "image"

// ---- Records ---------------------------------------------------------------------------
// A new record over the pixels (flags FLAG_PIXELS); answers its node. May collect: the
// caller stores the node in a rooted cell before its next allocation.
u32 make_record(raster&& pixels);
u32 flags_of(u32 record);
u32 size_word(u32 record);
inline u32 width_q(u32 record) { return size_word(record) & 0xFFFF; }
inline u32 height_q(u32 record) { return size_word(record) >> 16; }

// A filled bitmap: the colour (R, G, B bytes and transparency, -1 for none) for every
// pixel, or else R, G, B from `rgb` (its length taken down to a multiple of 3; white once
// it runs out) and alpha 255 minus the next `alpha` byte (255 once it runs out). 0 (no
// record) when a side is 0. The byte runs are read before anything is allocated.
u32 make_bitmap(u32 w, u32 h, const u8* rgb, u64 rgb_len, const u8* alpha, u64 alpha_len,
                const u8* colour, u32 colour_len);
// A record over a copy of caller pixels (stride 0 means w x 4).
u32 make_from_memory(u32 w, u32 h, u32 stride, const u8* pixels);
u32 copy_record(u32 record);
// The rectangle clipped to the image; 0 when nothing is left.
u32 crop_record(u32 record, i64 x, i64 y, i64 w, i64 h);
u32 scale(u32 record, u32 w, u32 h);  // nearest neighbour; 0 when a side is 0
u32 flip_vertical(u32 record);
// Releases the pixels and the drawing bitmap; later locks raise bad-media.
void delete_record(u32 record);

u32 get_pixel(u32 record, u64 index);
void set_pixel(u32 record, u64 index, u32 pixel);

// ---- Locks -----------------------------------------------------------------------------
// A lock over the whole straight pixel block of an image! value. Holds the value rooted,
// so the pixels stay valid for the lock's life; a write lock marks the draw copy stale.
// A record without pixels, or a write lock while another lock is held, raises access
// bad-media.
class lock {
 public:
  lock(const cell* image, bool write);
  ~lock();
  lock(const lock&) = delete;
  lock& operator=(const lock&) = delete;
  u32* data() const { return data_; }
  u64 size() const { return count_ * 4; }  // bytes
  u64 count() const { return count_; }
  pixel_view view() const;

 private:
  cell image_;
  collector::root_guard guard_;
  u32 record_;
  bool write_;
  u32* data_ = nullptr;
  u64 count_ = 0;
};

// ---- Drawing ---------------------------------------------------------------------------
// The premultiplied copy drawing writes into (made on first use, rebuilt after a write).
pixel_view get_draw_target(u32 record);
// Drawing changed the copy: the next pixel access rebuilds the straight pixels from it,
// and the cached drawing bitmap is dropped.
void mark_changed(u32 record);
drawing_bitmap* get_cached_bitmap(u32 record);  // null when none; marks it used
void set_cached_bitmap(u32 record, std::unique_ptr<drawing_bitmap> bitmap);

// ---- Collector -------------------------------------------------------------------------
void mark_record(u32 record);   // marks the slot; drops an unused drawing bitmap
void release_record(u64 handle);  // the class's release routine

}  // namespace vyr::image
