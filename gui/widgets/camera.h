// What the rest of the backend asks of `camera` faces: releasing a face's capture, and
// taking its next frame as a picture.
#pragma once
#include "gui/win/win.h"
#include "runtime/cell.h"

namespace vyr::gui {

// Takes the next frame of the camera window into `out` as an image!, waiting up to 3.0 s of
// real time; none without a device, or when no frame came.
void grab_frame(win::HWND, cell* out);
// Stops the window's capture (returning once its thread has ended) and lets its device go.
void release_camera(win::HWND);

}  // namespace vyr::gui
