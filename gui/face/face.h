// Reading faces: the facet positions of face!, font!, para! and scroller! objects, the face
// flags, and the readers every backend and widget file uses on facets (the type, offset and
// size as logical floats, text as UTF-8, logic, colour, the flag mask, the options block).
// None of them raises except `get_flags`, on a word that names no flag; a missing facet or
// one of another type reads as null, 0, false or empty. Pointers they answer are valid
// until the next allocation.
#pragma once
#include <string>

#include "gui/face/face_types.h"
#include "runtime/cell.h"

namespace vyr::gui {

// Facet positions of face!, font!, para! and scroller! objects.
namespace facet_index {
constexpr u32 type = 0, offset = 1, size = 2, text = 3, image = 4, color = 5, menu = 6, data = 7,
  enabled = 8, visible = 9, selected = 10, flags = 11, options = 12, parent = 13, pane = 14,
  state = 15, rate = 16, edge = 17, para = 18, font = 19, actors = 20, extra = 21, draw = 22;
constexpr u32 font_parent = 8, para_parent = 6;
constexpr u32 scroller_position = 0, scroller_page_size = 1, scroller_min_size = 2,
  scroller_max_size = 3, scroller_visible = 4, scroller_vertical = 5, scroller_parent = 6;
}  // namespace facet_index

// The flag words of a face's `flags` facet and their bits: X(member, word, bit).
#define VYR_FACE_FLAGS(X)                 \
  X(all_over, "all-over", 0x1)            \
  X(focusable, "focusable", 0x2)          \
  X(tri_state, "tri-state", 0x20000)      \
  X(scrollable, "scrollable", 0x40000)    \
  X(password, "password", 0x80000)        \
  X(no_sync, "no-sync", 0x100000)         \
  X(fullscreen, "fullscreen", 0x200000)   \
  X(popup, "popup", 0x1000000)            \
  X(modal, "modal", 0x2000000)            \
  X(resize, "resize", 0x4000000)          \
  X(no_buttons, "no-buttons", 0x8000000)  \
  X(no_max, "no-max", 0x10000000)         \
  X(no_min, "no-min", 0x20000000)         \
  X(no_title, "no-title", 0x40000000)     \
  X(no_border, "no-border", 0x80000000u)

namespace face_flag {
enum : u32 {
#define VYR_FACE_FLAG_BIT(member, word, bit) member = bit,
  VYR_FACE_FLAGS(VYR_FACE_FLAG_BIT)
#undef VYR_FACE_FLAG_BIT
};
}  // namespace face_flag

// The facet at `index` of an object (or error!) value; null when there is no such facet.
cell* facet(const cell* object, u32 index);

// The face's type: its `type` facet when that is a word! naming a face type, else none.
face_type type_of_face(const cell* face);
inline bool face_type_is(const cell* face, face_type t) { return type_of_face(face) == t; }
// The record of the face's type, null when it has none (gui/face/face_types.h).
const face_type_record* record_of_face(const cell* face);
// The slots of the face's type: its record, or an empty one (every slot left out) for a type
// without one.
const face_type_record& slots_of(const cell* face);
// The face stands for the screen: it has no window of its own, and its picture is the display's.
bool screen_face_q(const cell* face);

// A pair! or point2D! as logical floats (`pair` tells which it was); 0x0 for anything else.
struct logical_xy { float x = 0, y = 0; bool pair = false; };
logical_xy xy_of(const cell* c);
// A string!'s text as UTF-8; empty for anything else.
std::string text_of(const cell* c);
// True only for logic! true.
bool logic_true(const cell* c);
// A tuple! cell at values[index] as 0x00BBGGRR, or -1.
i64 color_of(const cell* values, u32 index);

// The flag mask of a `flags` facet value (a word counts as a block of one word); a word that
// names no flag raises invalid-arg.
u32 get_flags(const cell* flags);

// Options blocks. `option_after`: the value after the first word (of any kind) `name`,
// anywhere in the block. `option_pair`: the block read as key/value pairs (an odd length
// holds none), the value of the last key `name` (a set-word! only, with `set_words`).
const cell* option_after(const cell* options, const char* name);
const cell* option_pair(const cell* options, const char* name, bool set_words);

}  // namespace vyr::gui
