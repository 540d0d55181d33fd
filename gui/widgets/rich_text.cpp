// `rich-text` faces: `base` windows whose text takes the style list in their `data`
// (gui/draw/text.cpp) and answers the text-box metrics (gui/text/text_box.cpp).
#include "gui/backend/base_face.h"
#include "gui/widgets/widgets.h"

namespace vyr::gui::widgets {

// The base's style bits, starting at the top left when the alignment is none it knows.
constexpr para_style rich_para{{0, 1, 2, 0}, {0, 4, 8, 0}, 16, 0, 0x1F};

extern const face_type_record rich_text_record = {
    .window_class = "VyrBase",
    .procedure = base_wndproc,
    .make = make_base,
    .sync = sync_window,
    .composed = true,
    .para = &rich_para,
    .own_cursor = true,
};

}  // namespace vyr::gui::widgets
