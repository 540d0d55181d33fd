// image!: a series of pixels in row order over an image record of the imaging backend.
// Cell: word 1 the head (a pixel index), word 2 the record's node (0 for an image without
// pixels), word 3 the size (width in bits 0-15, height in bits 16-31). Pixels are seen from
// the language as R.G.B.T tuples, T being 255 minus the stored alpha.
#pragma once
#include <vector>

#include "runtime/datatypes/action_slots.h"
#include "runtime/hooks.h"

namespace vyr::image {

// ---- Constructors and accessors ---------------------------------------------------------
cell* make_at(cell* c, u32 record);  // head 0; a null record gives an image without pixels
inline u32 record_of(const cell* c) { return c->data2; }  // 0: no pixels
inline u32 width_of(const cell* c) { return c->data3 & 0xFFFF; }
inline u32 height_of(const cell* c) { return c->data3 >> 16; }
inline i64 pixel_count(const cell* c) { return i64(width_of(c)) * height_of(c); }

// Channel modes of extract-data and set-data.
constexpr i32 MODE_ALPHA = 0, MODE_RGB = 1, MODE_ARGB = 2;
// A new binary! of all pixels (from pixel 0) in the mode, into `out` (rooted by the caller).
void extract_data(const cell* image, i32 mode, cell* out);
// Sets every pixel's channel from a binary!, a tuple! (rgb, argb) or an integer! (alpha);
// any other pairing raises script invalid-arg. The image's owner is told.
void set_data(const cell* image, const cell* value, i32 mode);
// foreach: sets the word (or the n words of a block) to the pixels from the head.
void set_many(cell* image, const cell* words, u32 n);

// Codecs: a binary! of a known format decodes into an image! (corrupt data raises access
// bad-media), unknown bytes give none!; a file! is read and decoded (cannot-open when it
// cannot be read). The answer goes to `out`.
void decode(const cell* data, cell* out);
// Encodes the image in a format number 0-4 (BMP, PNG, GIF, JPEG, TIFF) into a binary! at
// `out`; an empty image raises access bad-media, another number script invalid-arg.
void encode(const cell* image, i32 format, cell* out);
// A new image! scaled to w x h (nearest neighbour); sides above 65,535 raise out-of-range.
void resize(const cell* image, i64 w, i64 h, cell* out);
// Releases the pixels and the drawing bitmap (the GUI layer's call).
void delete_(const cell* image);

// ---- Actions ------------------------------------------------------------------------------
const cell* make(const cell* proto, const cell* spec, u32 type);
const cell* to(const cell* proto, const cell* spec, u32 type);
i32 form(const cell* value, cell* out, const cell* part, i32 budget);
i32 mold(const cell* value, cell* out, bool only, bool all, bool flat, const cell* part,
         i32 budget, i32 indent);
const cell* eval_path(cell* parent, cell* element, cell* value, const path_args& walk);
i32 compare(const cell* a, const cell* b, i32 op);
const cell* change(cell* series, const cell* value, i32 part, bool only, i32 dup);
const cell* copy(const cell* value, cell* dest, const cell* part, bool deep, const cell* types);
const cell* pick(cell* series, i32 index, const cell* index_cell);
const cell* poke(cell* series, i32 index, const cell* value, const cell* index_cell);
i32 length_q(const cell* value);

void init();  // registers image! (after series!) and the codec routines

}  // namespace vyr::image
