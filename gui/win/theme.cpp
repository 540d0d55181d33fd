// The light and dark palettes, one row per part, and each window's choice between them.
#include "gui/win/theme.h"

#include "gui/win/internal.h"

namespace vyr::win {
using namespace detail;

namespace theme {
namespace {
struct row { part p; COLORREF light, dark; };
constexpr row rows[] = {
  {part::face, RGB(240, 240, 240), RGB(43, 43, 43)},
  {part::face_hot, RGB(229, 241, 251), RGB(69, 69, 69)},
  {part::face_pressed, RGB(204, 228, 247), RGB(88, 88, 88)},
  {part::face_disabled, RGB(244, 244, 244), RGB(38, 38, 38)},
  {part::frame, RGB(173, 173, 173), RGB(110, 110, 110)},
  {part::frame_hot, RGB(0, 120, 215), RGB(150, 150, 150)},
  {part::frame_disabled, RGB(204, 204, 204), RGB(70, 70, 70)},
  {part::focus, RGB(0, 120, 215), RGB(100, 170, 235)},
  {part::text, RGB(0, 0, 0), RGB(255, 255, 255)},
  {part::text_disabled, RGB(131, 131, 131), RGB(118, 118, 118)},
  {part::text_cue, RGB(109, 109, 109), RGB(150, 150, 150)},
  {part::field, RGB(255, 255, 255), RGB(25, 25, 25)},
  {part::field_frame, RGB(122, 122, 122), RGB(120, 120, 120)},
  {part::field_disabled, RGB(240, 240, 240), RGB(43, 43, 43)},
  {part::selection, RGB(0, 120, 215), RGB(0, 95, 184)},
  {part::selection_text, RGB(255, 255, 255), RGB(255, 255, 255)},
  {part::selection_inactive, RGB(204, 204, 204), RGB(75, 75, 75)},
  {part::selection_inactive_text, RGB(0, 0, 0), RGB(255, 255, 255)},
  {part::item_hot, RGB(229, 243, 255), RGB(60, 60, 60)},
  {part::accent, RGB(0, 120, 215), RGB(76, 160, 224)},
  {part::accent_hot, RGB(0, 84, 153), RGB(110, 180, 235)},
  {part::accent_pressed, RGB(0, 62, 115), RGB(140, 198, 240)},
  {part::accent_text, RGB(255, 255, 255), RGB(0, 0, 0)},
  {part::track, RGB(231, 231, 231), RGB(58, 58, 58)},
  {part::thumb, RGB(194, 194, 194), RGB(104, 104, 104)},
  {part::thumb_hot, RGB(166, 166, 166), RGB(140, 140, 140)},
  {part::thumb_pressed, RGB(120, 120, 120), RGB(175, 175, 175)},
  {part::glyph, RGB(96, 96, 96), RGB(200, 200, 200)},
  {part::glyph_disabled, RGB(191, 191, 191), RGB(90, 90, 90)},
  {part::page, RGB(255, 255, 255), RGB(32, 32, 32)},
  {part::error, RGB(196, 43, 28), RGB(232, 72, 58)},
};
static_assert(sizeof(rows) / sizeof(rows[0]) == size_t(part::count), "one row per part");

constexpr bool in_order() {
  for (size_t i = 0; i < size_t(part::count); ++i)
    if (size_t(rows[i].p) != i) return false;
  return true;
}
static_assert(in_order(), "rows in the order of the parts");
}  // namespace

COLORREF color(part p, bool dark) {
  size_t i = size_t(p);
  if (i >= size_t(part::count)) return 0;
  return dark ? rows[i].dark : rows[i].light;
}
}  // namespace theme

bool SetWindowTheme(HWND h, std::string_view name) {
  window* w = win_of(h);
  if (!w) return false;
  w->theme = name.empty() ? -1 : name.substr(0, 8) == "DarkMode" ? 1 : 0;
  SendMessage(h, WM_THEMECHANGED, 0, 0);
  if (IsWindow(h)) RedrawWindow(h, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
  return true;
}

bool dark_theme(HWND h) {
  // A pop-up (a dropped list) follows its owner.
  for (window* w = win_of(h); w; w = win_of(is_null(w->parent) ? w->owner : w->parent))
    if (w->theme >= 0) return w->theme == 1;
  return false;
}

}  // namespace vyr::win
