// Device frames to straight BGRA: YUYV (BT.601, limited range, rounded), MJPEG (through the
// status-returning JPEG decoder), RGB24, BGR24 and BGRA. Never reads outside the frame's
// bytes; a frame that does not hold a whole picture is refused, never half converted.
#pragma once
#include <cstdint>

#include "gui/camera/provider.h"

namespace vyr::camera {

// The fewest bytes a row of `width` pixels takes in `format` (0 for MJPEG).
uint64_t row_bytes(pixel_format format, uint32_t width);

// Converts `frame` into width x height opaque BGRA words at `out`, rows top-down and packed.
// False when the bytes are too few for the size and stride, the stride is below a row, or
// the JPEG does not decode to that size; `out` may then hold part of a frame.
bool convert(const raw_frame& frame, uint32_t width, uint32_t height, uint32_t* out);

}  // namespace vyr::camera
