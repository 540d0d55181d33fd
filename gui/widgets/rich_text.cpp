// `rich-text` faces: `base` windows whose text takes the style list in their `data`
// (gui/draw/text.cpp) and answers the text-box metrics (gui/text/text_box.cpp).
#include "gui/base_face.h"
#include "gui/widgets/widgets.h"

namespace vyr::gui::widgets {

extern const face_type_record rich_text_record = {
    "VyrBase", base_wndproc, make_base, sync_window, nullptr, nullptr, true, nullptr, nullptr};

}  // namespace vyr::gui::widgets
