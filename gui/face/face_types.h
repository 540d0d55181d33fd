// The face types: every type word the View engine makes faces of, listed once. The enum,
// the words and the table of records are generated from the list, and this header is the
// only place a type word is compared: everything else asks `face_types::of_symbol` (or
// the face readers of gui/face/face.h) for a `face_type` and compares those.
//
// A type whose native side exists has a record: its window class and procedure, how it is
// made from its facets, how changed facets reach its window, and what its control reports.
// The record lives in the type's own file, gui/widgets/<type>.cpp; a new one is that file
// plus `widget` in its row here. Making a face of a type without a record fails as a failed
// CreateWindowEx does.
#pragma once
#include "gui/win/win.h"
#include "runtime/api/values.h"
#include "runtime/cell.h"

namespace vyr::gui {

// X(member, word, record, text): `record` is `widget` for a type with a record, `none` for one
// whose native side is still to come; `text` is how its text is laid out (face_text, read by
// the drawing code, which is built without the records). Members are the words mapped to
// C++ (`-` -> `_`).
#define VYR_FACE_TYPES(X)                  \
  X(screen, "screen", none, plain)         \
  X(window, "window", widget, plain)       \
  X(button, "button", widget, plain)       \
  X(toggle, "toggle", widget, plain)       \
  X(check, "check", widget, plain)         \
  X(radio, "radio", widget, plain)         \
  X(field, "field", widget, plain)         \
  X(area, "area", widget, plain)           \
  X(text, "text", widget, plain)           \
  X(text_list, "text-list", widget, plain) \
  X(progress, "progress", widget, plain)   \
  X(slider, "slider", widget, plain)       \
  X(drop_down, "drop-down", widget, plain) \
  X(drop_list, "drop-list", widget, plain) \
  X(image, "image", none, plain)           \
  X(base, "base", widget, centred)         \
  X(panel, "panel", widget, plain)         \
  X(tab_panel, "tab-panel", widget, plain) \
  X(group_box, "group-box", widget, plain) \
  X(camera, "camera", widget, plain)       \
  X(caret, "caret", none, plain)           \
  X(scroller, "scroller", widget, plain)   \
  X(rich_text, "rich-text", widget, box)   \
  X(calendar, "calendar", widget, plain)

// `none`: no face type (not a word, or a word that names none).
enum class face_type : u8 {
  none,
#define VYR_FACE_TYPE_MEMBER(member, word, record, text) member,
  VYR_FACE_TYPES(VYR_FACE_TYPE_MEMBER)
#undef VYR_FACE_TYPE_MEMBER
};

// How a face's text is laid out: `plain` from the left, `centred` unless its para says
// otherwise, `box` as a text box (a kept pango layout styled by `data`, stale once the face
// changes).
enum class face_text : u8 { plain, centred, box };

// Style bits a para sets on a type's window: by horizontal alignment (left, center, right,
// anything else), by vertical alignment (top, middle, bottom, anything else), with and
// without wrapping. `mask` holds every bit a para may set, all cleared before a change.
struct para_style { u32 h[4], v[4], wrap, nowrap, mask; };

// Whether a face's geometry may go out in one batch with its siblings'.
enum class geometry_batch : u8 { with_siblings, alone, alone_when_layered };

// What a type with a native side does; the procedures get the face of the window. Records
// are written with designated initialisers: a slot left out is null, false or the first
// choice, which is what a plain child window wants.
struct face_type_record {
  const char* window_class;   // registered with `procedure` when the GUI starts
  win::WNDPROC procedure;
  // Makes the face's window under `parent` with the face's flag mask (gui/face/face.h); a null
  // handle when creation failed.
  win::HWND (*make)(const cell* face, win::HWND parent, u32 flags);
  // Applies the facets whose bits are set in `mask` (the face's change mask, already
  // cleared) to the window.
  void (*sync)(const cell* face, win::HWND, u32 mask);
  // Turns a notification of the face's control (WM_COMMAND or WM_NOTIFY) into events;
  // null when the type has no control.
  win::LRESULT (*notify)(const cell* face, win::HWND, u32 message, win::WPARAM, win::LPARAM);
  // Answers WM_CTLCOLOR* for the face's control; null for the default colours.
  win::LRESULT (*colour)(const cell* face, win::HWND, u32 message, win::WPARAM, win::LPARAM);
  // The backend paints the face itself (DRAW, its colour, image and pango text): changed
  // looks recompose it, and its text is measured through its pango layout.
  bool composed;
  // The control class of the windowing layer that `window_class` superclasses (taking its
  // procedure when `procedure` is null), or null for a class of the backend's own.
  const char* base_class;
  // A change inside the face's `data` series (Part of on-change-facet): `changed` is the
  // series changed, `action` the action's word, `value` the new value (or null), `index`
  // and `count` where and how much; null for a type whose control does not show `data`.
  void (*data_changed)(const cell* face, win::HWND, const cell* changed, const cell* action,
                       const cell* value, i32 index, i32 count);
  // Lets go what the type's window holds beyond what every window holds, when its face is
  // released; null when there is nothing.
  void (*release)(const cell* face, win::HWND);
  // The face's picture (to-image) into `out`; null when it is its window as painted. The
  // window is null for a face not shown.
  void (*picture)(cell* face, win::HWND, cell* out);
  // Repainted before its picture is taken, so the picture is the face's own.
  bool repaint_for_picture;
  // The style bits a para sets; null when a para sets none.
  const para_style* para;
  // A para change makes the window anew (a control that takes its wrapping only when made).
  bool remade_on_para;
  geometry_batch geometry;
  // Reads the text the user edited back into the face (update-text); null when the control
  // edits none.
  void (*read_text)(const cell* face, win::HWND);
  // A top-level window: it hides rather than goes, takes window commands, a menu bar and a
  // dark frame, and is filled with the palette's panel colour.
  bool top_level;
  // Its procedure chooses the cursor off its client area when no `cursor` option did.
  bool own_cursor;
  // Its procedure takes the mouse on a press and counts presses in the window's
  // font_or_count slot: a release gives the mouse back, a dialog opened meanwhile drops one.
  bool counts_presses;
  // Enter in its control is also an `enter` event.
  bool enter_event;
  // Its pane's faces are pages: placed over its display area when made (this slot), filled
  // with their own or its colour, not shown or hidden by attaching. Null for other types.
  void (*place_page)(const cell* page, win::HWND);
  // A window was made inside the type's window `parent`; null when nothing follows.
  void (*child_window_made)(win::HWND parent);
};

namespace face_types {

constexpr const char* words[] = {
#define VYR_FACE_TYPE_WORD(member, word, record, text) word,
    VYR_FACE_TYPES(VYR_FACE_TYPE_WORD)
#undef VYR_FACE_TYPE_WORD
};
constexpr u32 count = sizeof words / sizeof words[0];

constexpr face_text texts[] = {
#define VYR_FACE_TYPE_TEXT(member, word, record, text) face_text::text,
    VYR_FACE_TYPES(VYR_FACE_TYPE_TEXT)
#undef VYR_FACE_TYPE_TEXT
};

// How a face type's text is laid out; plain for none.
constexpr face_text text_of(face_type t) {
  return t == face_type::none ? face_text::plain : texts[static_cast<u32>(t) - 1];
}

// The type word of a face type; "" for none.
constexpr const char* word_of(face_type t) {
  return t == face_type::none ? "" : words[static_cast<u32>(t) - 1];
}

// The symbols of the words, interned on the first call. Interning may allocate: code that
// holds pointers into series calls this first (the GUI's start-up does).
inline const u32* symbols() {
  static u32 ids[count];
  static bool done = false;
  if (!done) {
    for (u32 i = 0; i < count; i++) ids[i] = api::symbol::make(words[i]);
    done = true;
  }
  return ids;
}

// The face type a word's symbol names, compared by canonical symbol; none when it names none.
inline face_type of_symbol(u32 sym) {
  const u32* ids = symbols();
  for (u32 i = 0; i < count; i++)
    if (api::symbol::same_q(sym, ids[i])) return static_cast<face_type>(i + 1);
  return face_type::none;
}

// The record of a type with a native side; null for none and for a type still without one.
const face_type_record* record_of(face_type);
// The record of a type, or an empty one (every slot left out) for none and for a type
// without one.
const face_type_record& slots(face_type);
// The record whose sync serves a window whose face names a type without one.
const face_type_record& plain_record();

}  // namespace face_types

}  // namespace vyr::gui
