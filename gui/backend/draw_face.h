// DRAW runs on a window's surface: draw/begin and draw-end around a paint, gui/run-draw for
// a face's `draw` block. The surface counts 96-DPI units at the window's DPI; the face's
// colour, image and text are painted first.
#pragma once
#include <optional>

#include "gui/backend/backend.h"
#include "gui/draw/draw.h"

namespace vyr::gui {

struct window_run {
  draw::context ctx;
  // The DPI saved on entering the window's DPI scope; -1 until then, so a run whose begin
  // never got that far leaves the current DPI alone at its end.
  i32 saved_dpi = -1;
  win::HWND hwnd{};
  u32 slot = 0;   // the run's entry in the paint-run table while a paint keeps it, 1-based
};

// A face's background, one rule for both fills (the erase and the paint of a face drawn on
// cairo): its colour tuple (alpha in the top byte), else for a top level the panel colour of
// its palette; nullopt for a child without a colour, so what lies below shows.
std::optional<u32> background_colour(win::HWND h, const cell* face);
// gui/fill-background: the client area in the background colour (24 bits), untouched when
// there is none.
void fill_background(win::HWND h, win::HDC dc, const cell* face);

// Enters the window's DPI scope and binds its surface; answers false (scope left, saved
// DPI -1) when the window has no surface. The face's background is painted.
bool draw_begin(window_run& r, win::HWND h);
void draw_end(window_run& r);
// gui/run-draw on a window: begin, the block, end always. With `catch_errors` a DRAW
// error is printed and dropped; otherwise it is raised after the end.
void run_draw(win::HWND h, const cell* commands, bool catch_errors);

// The terminal's road: a paint keeps its run in the window's draw-context slot while the
// `drawing` event is handled, and gui/OS-draw-face draws each block on that run, printing
// and dropping its errors. A null run clears the slot; with `keep` false the run's own
// entry is let go (draw_end does it, also for a window destroyed meanwhile).
void set_paint_run(win::HWND, window_run*, bool keep = true);
window_run* paint_run(win::HWND);
void OS_draw_face(win::HWND, const cell* commands);

}  // namespace vyr::gui
