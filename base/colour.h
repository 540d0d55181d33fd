// Colour words (red in the low byte, then green and blue; the top byte, where kept, is the
// transparency) as cairo takes them: channels from 0 to 1.
#pragma once
#include <cairo.h>

#include <cstdint>

namespace vyr::colour {

struct rgb { double r, g, b; };

constexpr rgb channels(uint32_t c) {
  return {(c & 0xFF) / 255.0, ((c >> 8) & 0xFF) / 255.0, ((c >> 16) & 0xFF) / 255.0};
}

// The opacity of a colour word whose top byte is its transparency (0: opaque).
constexpr double opacity(uint32_t c) { return (255 - (c >> 24)) / 255.0; }

// The colour as cairo's source, opaque.
inline void set_source(cairo_t* cr, uint32_t c) {
  rgb v = channels(c);
  cairo_set_source_rgb(cr, v.r, v.g, v.b);
}

}  // namespace vyr::colour
