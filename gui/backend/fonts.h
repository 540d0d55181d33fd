// Fonts of font! objects as the windowing layer's fonts, cached in the font's `state`
// block ([current-DPI font, text format, 96-DPI font]); para! alignment as style bits; the
// font dialog.
#pragma once
#include "gui/backend/backend.h"

namespace vyr::gui {

// font! fields by position.
namespace font_field {
constexpr u32 name = 0, size = 1, style = 2, angle = 3, color = 4, anti_alias = 5, shadow = 6,
              state = 7, parent = 8;
}
// para! fields by position.
namespace para_field {
constexpr u32 origin = 0, padding = 1, scroll = 2, align = 3, v_align = 4, wrap = 5, parent = 6;
}

// The LOGFONT a font object asks for (size, DPI, angle, quality, name, style).
win::LOGFONT font_request(const cell* font, bool current_dpi);
win::HFONT make_font(const cell* face, const cell* font, bool current_dpi);
inline win::HFONT font_for_face(const cell* face, const cell* font) { return make_font(face, font, true); }
win::HFONT font_handle(const cell* font, u32 cell_index);  // cell 1 or 3 of `state`; null when none
win::HFONT face_font(const cell* face, const cell* font);
bool free_font(const cell* face, const cell* font);
void update_font(const cell* face, const cell* font, i32 field);
void set_control_font(win::HWND, const cell* face);

u32 para_flags(const cell* type_word, const cell* para);
void update_para(const cell* face);

// The font dialog: fills `result` (a font! object) from the answer, or makes it none.
void OS_request_font(cell* result, const cell* font, bool mono);

}  // namespace vyr::gui
