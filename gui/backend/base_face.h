// `base` faces and layered windows.
#pragma once
#include <vector>

#include "gui/backend/backend.h"

namespace vyr::gui {

constexpr i64 THROTTLE_US = 16600;   // one frame at 60 Hz

struct base_state {
  bool painting = false;       // a paint is being handled (guards nested loops)
  u32 last_painted = 0;        // the window painted last
  i64 frame_start_us = -1000000000;   // the frame clock, restarted by each draw-begin
  struct held_paint { u32 window; win::RECT rect; };
  std::vector<held_paint> held;   // regions the throttle held back
  u32 paints = 0, ignored = 0, throttled = 0;   // counts, for tests and tracing
};
base_state& base();

// Bits of a base window's flags slot.
constexpr u32 BASE_CLIPPED = 0x1, BASE_IS_CARET = 0x2;

bool layered_q(win::HWND);
// False only for a 3-byte colour, or a 4-byte one whose alpha byte is 0 (opaque).
bool needs_layered_q(const cell* color, const cell* image);
void compose_layered(win::HWND);
void init_base_window(win::HWND, win::HWND parent, const cell* face);
// A caret face (its options name the face whose window owns the caret): the native caret
// made in the owner's window at the face's size and placed at its offset.
void place_caret(win::HWND caret_window, const cell* face);
// The changed facets of a caret face: a new offset moves the caret, a change of
// `visible?` makes or destroys it.
void sync_caret(win::HWND caret_window, const cell* face, u32 mask);
win::LRESULT base_wndproc(win::HWND, u32 msg, win::WPARAM, win::LPARAM);

}  // namespace vyr::gui
