// What the face types on the windowing layer's controls share: making the control, its font,
// its colours, the events its notifications become, and the pieces several types use (check
// states, string-like values, the text read back, edit selections).
#pragma once
#include <string>
#include <string_view>

#include "gui/widgets/widgets.h"
#include "gui/win/controls/ctlnum.h"
#include "runtime/api/values.h"

namespace vyr::gui::widgets {

// A control for the face: a child of class `cls` (as `create_child`) with `style` and
// `exstyle` added, the para's style bits of its type, `text` as its window text; then its
// font (`set_control_font`) and its link to the face. Null when creation failed.
win::HWND make_control(const cell* face, win::HWND parent, u32 flags, const char* cls, u32 style,
                       u32 exstyle, std::string_view text = {});

// The facets every control takes (sync_window); a new `font` is set on the control again.
void sync_control(const cell* face, win::HWND, u32 mask);
// A type's facets: every control's first, then `more` (the face rooted, the window alive).
template <class F>
void sync_then(const cell* face_in, win::HWND h, u32 mask, F more) {
  cell face = *face_in;
  api::root_guard guard(&face);
  sync_control(&face, h, mask);
  if (win::IsWindow(h)) more(&face);
}

// WM_CTLCOLOREDIT, WM_CTLCOLORLISTBOX and WM_CTLCOLORSTATIC for a control's face: a `font`
// object's colour is the text colour; the face's `color` the background and the DC brush,
// which is answered (with the window's text colour when the font gave none); with a font
// colour alone a label draws over a transparent background on the button-face brush and
// the others on the DC brush; with neither, the default (0).
win::LRESULT control_colour(const cell* face, win::HWND control, u32 message, win::WPARAM dc,
                            win::LPARAM);

// Dispatches an event of `type` for the control, in a message record of the notification
// (the control's handle, the message, wParam and lParam); answers 0 when the handler
// stopped it.
int control_event(win::HWND control, u32 message, win::WPARAM, win::LPARAM, u32 type, u32 extra = 0);

// `selected` := index + 1, `select` for it, then `change` unless `select` answered stop.
void select_then_change(win::HWND control, u32 message, win::WPARAM, win::LPARAM, i32 index);

// string!, file!, url!, tag!, email!, ref!: the values lists and tabs show.
bool string_like(const cell*);
std::string string_like_text(const cell*);

// The check state from `data`: BST_INDETERMINATE for none when `tri` and the face has the
// tri-state flag, BST_UNCHECKED for none otherwise, the logic! value, else BST_CHECKED.
void set_check(win::HWND, const cell* face, bool tri);
// `data` of the control's face from its check state: none for indeterminate, else logic!.
void get_check(win::HWND control);

// The control's text into the face's `text` (Part of get-text-alt): `item` -1 reads the
// window text, else a combo box's item; the face becomes the owner of its string.
void get_text_alt(const cell* face, win::HWND, i32 item);
// The whole text of the control read back into the face (update-text).
inline void read_text(const cell* face, win::HWND h) { get_text_alt(face, h, -1); }

// An edit control's limit grows to hold `added` more characters: to the sum plus 0x8000
// when it is smaller than the text's length plus `added`.
void paste_size(win::HWND, i64 added);

// A `selected` pair! start x end (swapped when end < start) as the edit selection; the
// edit controls count characters of the text, as strings do, so no mapping is needed.
void set_edit_selection(win::HWND, const cell* selected);

}  // namespace vyr::gui::widgets
