// What `field` and `area` share: their class procedure over EDIT, the notifications that
// become events, and the facets they take.
#pragma once
#include "gui/widgets/controls.h"

namespace vyr::gui::widgets {

// The para's style bits: ES_LEFT/CENTER/RIGHT, ES_MULTILINE for `middle`, and the auto
// scrolls of a field that does not wrap.
inline constexpr para_style edit_para{{0, 1, 2, 0}, {0, 0x200, 0, 0}, 0, 0xC0, 0x2C3};

// The procedure of VyrField and VyrArea: a paste grows the limit first; a single-line field
// swallows Enter and Tab; Ctrl+A selects all of an area; a release of the button or of a key
// reads the selection into `selected` and is a `select` event; the rest is EDIT's.
win::LRESULT area_wndproc(win::HWND, u32 msg, win::WPARAM, win::LPARAM);

// EN_CHANGE reads the text back (an area's limit grows and its bars follow) and is a
// `change` event; EN_SETFOCUS puts `selected` back into the control and is a `focus` event;
// EN_KILLFOCUS is an `unfocus` event.
win::LRESULT edit_notify(const cell* face, win::HWND, u32 msg, win::WPARAM, win::LPARAM);

// The facets both take beyond every control's: `text` (an area's limit and bars follow),
// `selected` as the selection, `flags` (a field's password character).
void sync_edit(const cell* face, win::HWND, u32 mask);

}  // namespace vyr::gui::widgets
