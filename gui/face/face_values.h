// Small conversions and shared records the backend uses on faces: colours, points, the
// link from a font to the faces using it, the 64-pair association vector and time stamps.
#pragma once
#include "gui/face/face.h"

namespace vyr::gui {

u32 tuple_to_color(const cell* tuple);          // 0x00BBGGRR, alpha (stored inverted) on top
u32 color_to_argb(const cell* tuple);           // 0xAARRGGBB, opaque when alpha 0 is stored
u32 color_to_argb_translucent(const cell* tuple);  // as color_to_argb, 0xFF alpha made 0xFE
void pair_to_point2D(cell* c);
void point2D_to_pair(cell* c);

// Appends the face to the font's `parent` block (once, by identity) and leaves the block's
// head at its tail: it shows empty and keeps every linked face behind its head.
void link_font_parent(const cell* face, const cell* font);
// Removes the face from a font's (index 8) or para's (index 6) `parent` block the same way.
void unlink_face(const cell* owner, const cell* face, u32 index);

struct assoc_vector {
  struct item { u32 key, value; };
  item items[64];
  u32 count = 0;
};
u32 vector_find(const assoc_vector&, u32 key);          // 0 when absent
void vector_push(assoc_vector&, u32 key, u32 value);     // a 65th pair is dropped

// The layer clock in microseconds; elapsed_ms renews a stamp from the future.
i64 time_stamp();
double elapsed_ms(i64& stamp);

// Moves a window face to the screen face (among `screens`) whose state holds the monitor
// handle: out of the old screen's pane, to the head of the new one's, with the new parent.
void move_window_to_screen(u32 monitor, const cell* window_face, const cell* current_screen,
                           const cell* screens);

}  // namespace vyr::gui
