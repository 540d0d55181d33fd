// The face types: every type word the View engine makes faces of, listed once. The enum,
// the words and the table of records are generated from the list, and this header is the
// only place a type word is compared: everything else asks `face_types::of_symbol` (or
// the face readers of gui/face.h) for a `face_type` and compares those.
//
// A type whose native side exists has a record: its window class and procedure, how it is
// made from its facets, how changed facets reach its window, and what its control reports.
// The record lives in the type's own file, gui/widgets/<type>.cpp; a new one is that file
// plus `widget` in its row here. Making a face of a type without a record fails as a failed
// CreateWindowEx does.
#pragma once
#include "gui/win/win.h"
#include "runtime/cell.h"
#include "runtime/datatypes/symbol.h"

namespace vyr::gui {

// X(member, word, record): `record` is `widget` for a type with a record, `none` for one
// whose native side is still to come. Members are the words mapped to C++ (`-` -> `_`).
#define VYR_FACE_TYPES(X)           \
  X(screen, "screen", none)         \
  X(window, "window", widget)       \
  X(button, "button", widget)       \
  X(toggle, "toggle", widget)       \
  X(check, "check", widget)         \
  X(radio, "radio", widget)         \
  X(field, "field", widget)         \
  X(area, "area", widget)           \
  X(text, "text", widget)           \
  X(text_list, "text-list", widget) \
  X(progress, "progress", widget)   \
  X(slider, "slider", widget)       \
  X(drop_down, "drop-down", widget) \
  X(drop_list, "drop-list", widget) \
  X(image, "image", none)           \
  X(base, "base", widget)           \
  X(panel, "panel", widget)         \
  X(tab_panel, "tab-panel", widget) \
  X(group_box, "group-box", widget) \
  X(camera, "camera", widget)       \
  X(caret, "caret", none)           \
  X(scroller, "scroller", widget)   \
  X(rich_text, "rich-text", widget) \
  X(calendar, "calendar", widget)

// `none`: no face type (not a word, or a word that names none).
enum class face_type : u8 {
  none,
#define VYR_FACE_TYPE_MEMBER(member, word, record) member,
  VYR_FACE_TYPES(VYR_FACE_TYPE_MEMBER)
#undef VYR_FACE_TYPE_MEMBER
};

// What a type with a native side does; the procedures get the face of the window.
struct face_type_record {
  const char* window_class;   // registered with `procedure` when the GUI starts
  win::WNDPROC procedure;
  // Makes the face's window under `parent` with the face's flag mask (gui/face.h); a null
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
};

namespace face_types {

constexpr const char* words[] = {
#define VYR_FACE_TYPE_WORD(member, word, record) word,
    VYR_FACE_TYPES(VYR_FACE_TYPE_WORD)
#undef VYR_FACE_TYPE_WORD
};
constexpr u32 count = sizeof words / sizeof words[0];

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
    for (u32 i = 0; i < count; i++) ids[i] = symbol::make(words[i]);
    done = true;
  }
  return ids;
}

// The face type a word's symbol names, compared by canonical symbol; none when it names none.
inline face_type of_symbol(u32 sym) {
  const u32* ids = symbols();
  for (u32 i = 0; i < count; i++)
    if (symbol::same_q(sym, ids[i])) return static_cast<face_type>(i + 1);
  return face_type::none;
}

// The record of a type with a native side; null for none and for a type still without one.
const face_type_record* record_of(face_type);

}  // namespace face_types

}  // namespace vyr::gui
