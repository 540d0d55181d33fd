// Image file codecs: PNG (libpng), JPEG (libjpeg-turbo), GIF (giflib, with our own
// median-cut quantiser), TIFF (libtiff) and BMP (our own). Each adapter decodes into a
// raster of straight BGRA pixels or encodes one into file bytes. Library calls that report
// errors by longjmp run inside plain C-style wrappers that hold no C++ object with a
// destructor; the raise happens after they return.
#pragma once
#include <vector>

#include "runtime/imaging/imaging.h"

namespace vyr::image_codecs {

// Encoder format numbers.
enum format : i32 { BMP = 0, PNG = 1, GIF = 2, JPEG = 3, TIFF = 4, UNKNOWN = -1 };

// The format whose signature the bytes start with, else UNKNOWN.
i32 format_of(const u8* bytes, u64 n);

// Outcome of a C-style adapter.
enum status : int { OK = 0, CORRUPT = 1, TOO_LARGE = 2, NO_MEMORY = 3 };

// Decodes bytes of a known format. Corrupt data, or a side above 65,535, raises access
// bad-media; pixels past image::max_pixel_bytes or a failed allocation internal no-memory.
image::raster decode(const u8* bytes, u64 n, i32 format);
// Encodes w x h pixels (rows of w words). An unknown format raises script invalid-arg, a
// size the format cannot hold access bad-media, a failed allocation internal no-memory.
std::vector<u8> encode(const u32* pixels, u32 w, u32 h, i32 format);

// The adapters (`out` receives malloc'd pixels on OK).
status decode_png(const u8* bytes, u64 n, image::raster& out);
status decode_jpeg(const u8* bytes, u64 n, image::raster& out);
status decode_gif(const u8* bytes, u64 n, image::raster& out);
status decode_tiff(const u8* bytes, u64 n, image::raster& out);
status decode_bmp(const u8* bytes, u64 n, image::raster& out);
status encode_png(const u32* pixels, u32 w, u32 h, std::vector<u8>& out);
status encode_jpeg(const u32* pixels, u32 w, u32 h, std::vector<u8>& out);  // quality 90
status encode_gif(const u32* pixels, u32 w, u32 h, std::vector<u8>& out);
status encode_tiff(const u32* pixels, u32 w, u32 h, std::vector<u8>& out);
status encode_bmp(const u32* pixels, u32 w, u32 h, std::vector<u8>& out);

// The GIF palette: at most `max_colours` colours for the opaque pixels (exact when they
// hold no more distinct colours), and the palette index of every pixel.
struct quantised {
  std::vector<u32> palette;  // 0x00RRGGBB
  std::vector<u8> indexes;
};
quantised quantise(const u32* pixels, u64 count, u32 max_colours);

// Growable byte buffer for the C-style adapters (malloc/realloc, no destructor).
struct membuf {
  u8* data;
  u64 size, capacity;
};
bool membuf_put(membuf* m, const void* bytes, u64 n);

}  // namespace vyr::image_codecs
