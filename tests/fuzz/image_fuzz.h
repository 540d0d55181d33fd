// Shared body of the image decoder fuzz targets: any bytes given to one decoder end in a
// raster within 65,535 x 65,535 and the pixel bound, or in a language error, never in a
// crash, a hang or an allocation past the bound (kept small here so runs stay fast).
#pragma once
#include <cstdint>

#include "boot/init.h"
#include "runtime/codecs/images.h"
#include "runtime/fire.h"
#include "runtime/stack.h"

namespace vyr::fuzz {

inline int decode_one(const uint8_t* data, size_t size, i32 format) {
  static bool ready = [] {
    boot::init_runtime();
    image::max_pixel_bytes = u64(16) << 20;
    return true;
  }();
  (void)ready;
  try {
    image::raster r = image_codecs::decode(data, size, format);
    if (!r.pixels || r.width == 0 || r.height == 0 || r.width > image::MAX_SIDE ||
        r.height > image::MAX_SIDE || r.count() * 4 > image::max_pixel_bytes)
      __builtin_trap();
    volatile u32 sink = r.pixels[r.count() - 1];  // the whole block is addressable
    (void)sink;
  } catch (const thrown&) {
  }
  stack::reset();
  return 0;
}

}  // namespace vyr::fuzz
