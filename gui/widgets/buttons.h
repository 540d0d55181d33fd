// What the four face types on BUTTON share: their images, the caption drawn in the font's
// colour, the radio group, the facets they all take.
#pragma once
#include "gui/widgets/controls.h"

namespace vyr::gui::widgets {

// The para's style bits: BS_LEFT/CENTER/RIGHT and BS_TOP/VCENTER/BOTTOM, centred when the
// alignment is none of those; a check box or radio button starts at the left then.
inline constexpr para_style button_para{
    {0x100, 0x300, 0x200, 0x300}, {0x400, 0xC00, 0x800, 0xC00}, 0, 0, 0xF00};
inline constexpr para_style check_para{
    {0x100, 0x300, 0x200, 0x100}, {0x400, 0xC00, 0x800, 0xC00}, 0, 0, 0xF00};

// The button's image list from the face's `image`: an image! (at its size), a block of
// images (at the face's size; values that are no image with pixels are skipped), or a
// block of one image and a pair! (at that size); six entries for several images (the
// states normal, hot, pressed, disabled, defaulted, stylus-hot, image 1 where the images
// run out), one for one. Anything else, or no image, leaves the button without a list.
void set_button_images(win::HWND, const cell* face);

// NM_CUSTOMDRAW of a button whose face has a `font` object: the caption in the font's
// colour with the para's alignment (centred without a para), 16 units right of the box
// for `check` and `radio`. CDRF_SKIPDEFAULT when drawn, else 0.
win::LRESULT custom_draw_button(const cell* face, const win::NMCUSTOMDRAW&);

// A radio button became checked: the other radio buttons of its parent window are cleared
// and their `data` becomes false, without events.
void clear_other_radios(win::HWND radio);

// The notifications the button types share (NM_CUSTOMDRAW); 0 for the others.
win::LRESULT button_common_notify(const cell* face, win::HWND, u32 msg, win::WPARAM, win::LPARAM);

// The facets the button types take beyond every control's: `data` as the check state
// (`tri` for `check`), `image` as the image list (`images`).
void sync_button(const cell* face, win::HWND, u32 mask, bool checks, bool tri, bool images);

}  // namespace vyr::gui::widgets
