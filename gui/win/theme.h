// The palette of the layer's own drawing: every colour a control or the compositor paints
// is a named part, looked up in the light or the dark table. A window takes the dark table
// when it (or, unless it chose for itself, an ancestor) was given the dark theme.
#pragma once
#include <string_view>

#include "gui/win/win.h"

namespace vyr::win {

namespace theme {

// The system colours (GetSysColor), as constants the rest of the GUI can check its own
// defaults against.
constexpr COLORREF sys_color(int index) {
  switch (index) {
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_BTNFACE: return RGB(240, 240, 240);
    case COLOR_HIGHLIGHT: return RGB(0, 120, 215);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    case COLOR_GRAYTEXT: return RGB(109, 109, 109);
  }
  return 0;
}

enum class part : uint8_t {
  face,                 // buttons, tab strips, calendar titles
  face_hot,
  face_pressed,
  face_disabled,
  frame,                // the border of a button, a tab, a box
  frame_hot,
  frame_disabled,
  focus,                // the focus ring and a focused field's border
  text,
  text_disabled,
  text_cue,             // a field's cue banner, a calendar's days of other months
  field,                // the inside of edits, lists and calendars
  field_frame,          // the border of a field
  field_disabled,
  selection,            // selected text and items, with the focus
  selection_text,
  selection_inactive,   // selected items without the focus
  selection_inactive_text,
  item_hot,             // the item under the pointer in a dropped list
  accent,               // check marks' boxes, progress fill, slider thumbs, today
  accent_hot,
  accent_pressed,
  accent_text,          // a glyph drawn on the accent (the tick of a check)
  track,                // scroll-bar tracks, slider channels, progress backgrounds
  thumb,
  thumb_hot,
  thumb_pressed,
  glyph,                // arrows
  glyph_disabled,
  page,                 // the body of a tab control
  error,                // the mark of an error (a message box's icon)
  count
};

// The colour of a part in the light or the dark table.
COLORREF color(part, bool dark);
}  // namespace theme

// "DarkMode_Explorer" (or any name starting with "DarkMode") gives the window the dark
// table, "Explorer" or another name the light one, an empty name its parent's again.
// Sends the window WM_THEMECHANGED, then repaints it and its children.
bool SetWindowTheme(HWND, std::string_view sub_app_name);
bool dark_theme(HWND);
inline COLORREF theme_color(HWND h, theme::part p) { return theme::color(p, dark_theme(h)); }

}  // namespace vyr::win
