// Fuzz target for the camera converters: the bytes pick a format, a frame size, a stride and
// a reported byte count, and the rest is the frame, held in a buffer of exactly that many
// bytes. A frame must convert or be refused, never read outside its bytes or write outside
// the picture.
#include <cstdint>
#include <cstring>
#include <vector>

#include "gui/camera/convert.h"
#include "gui_entry/module.h"

using namespace vyr::camera;

// MJPEG frames decode through the host API, bound as the module's entry point binds it.
static const bool bound = vyr::api::bind(&vyr::gui_module::host_api());

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 6) return 0;
  const pixel_format formats[] = {pixel_format::bgra, pixel_format::yuyv, pixel_format::mjpeg,
                                  pixel_format::rgb24, pixel_format::bgr24};
  pixel_format f = formats[data[0] % 5];
  uint32_t w = data[1] % 65, h = data[2] % 65;   // 0 must be refused too
  uint32_t stride = uint32_t(row_bytes(f, w)) + data[3] % 9 - 2;   // a little below to above a row
  size_t rest = size - 6;
  size_t used = (size_t(data[4]) << 8 | data[5]) % (rest + 1);
  std::vector<uint8_t> bytes(data + 6, data + 6 + used);
  std::vector<uint32_t> out(size_t(w) * h + 1, 0xDEADBEEF);
  raw_frame frame{f, bytes.data(), bytes.size(), stride, 0};
  bool whole = convert(frame, w, h, out.data());
  if (out.back() != 0xDEADBEEF) __builtin_trap();   // written past the picture
  if (whole)
    for (size_t i = 0; i + 1 < out.size(); i++)
      if (out[i] >> 24 != 0xFF) __builtin_trap();   // every pixel converted, opaque
  return 0;
}
