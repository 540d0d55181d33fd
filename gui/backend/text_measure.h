// Measuring face text: gui/get-text-size (size-text) and the scroll bars of an `area`
// that follow its text.
#pragma once
#include "gui/backend/backend.h"

namespace vyr::gui {

// A point2D! of the text's size in 96-DPI units: base-like faces through their pango
// layout (para and all, width x 0.98), other faces through the layer's DrawText with the
// face's font. `text` is a string!, or none for the face's own text.
cell* get_text_size(const cell* face, const cell* text, cell* out);

// Shows the scroll bars an `area` window's text needs; `text` null means the face's text.
void update_area_scrollbars(win::HWND h, const cell* text);

}  // namespace vyr::gui
