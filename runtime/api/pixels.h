// Pixels as the GUI layer sees them, shared by the imaging backend and the module.
#pragma once
#include "runtime/cell.h"

namespace vyr::image {

// Rows of `stride` bytes of BGRA words.
struct pixel_view {
  u32* pixels = nullptr;
  u32 stride = 0;
  u32 width = 0, height = 0;
};

}  // namespace vyr::image
