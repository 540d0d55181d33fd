// The executable's side of the host API: the table of runtime functions the GUI module is
// started with.
#include "runtime/api/host.h"

#include "gui_entry/module.h"
#include "runtime/codecs/images.h"
#include "runtime/imaging/imaging.h"

namespace vyr::gui_module {

namespace {

bool decode_jpeg(const u8* bytes, u64 n, u32 width, u32 height, u32* out) {
  image::raster r;
  if (image_codecs::decode_jpeg(bytes, n, r) != image_codecs::OK) return false;
  if (r.width != width || r.height != height) return false;
  for (u64 i = 0, count = r.count(); i < count; i++) out[i] = r.pixels[i] | 0xFF000000u;
  return true;
}

}  // namespace

const api::host_table& host_api() {
  static const api::host_table table = {
      .size = sizeof(api::host_table),
      .decode_jpeg = decode_jpeg,
  };
  return table;
}

}  // namespace vyr::gui_module
