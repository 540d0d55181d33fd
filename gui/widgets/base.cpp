// `base` faces: child windows the backend paints itself (gui/backend/base_face.cpp); one whose colour
// has transparency, or none, is layered and blended over what lies below.
#include "gui/backend/base_face.h"
#include "gui/widgets/widgets.h"

namespace vyr::gui::widgets {

using namespace win;

HWND make_base(const cell* face, HWND parent, u32 flags) {
  u32 exstyle = needs_layered_q(facet(face, facet_index::color), facet(face, facet_index::image))
                    ? WS_EX_LAYERED
                    : 0;
  HWND h = create_child(face, parent, flags, "VyrBase", exstyle);
  if (is_null(h)) return h;
  attach(h, face, flags);
  show_own_scroll_bars(h, flags);
  init_base_window(h, parent, face);
  if (layered_q(h)) compose_layered(h);
  return h;
}

// The para's style bits (the backend's own): the alignment in bits 0-1, the vertical one in
// bits 2-3, centred when it is neither; bit 4 wraps.
constexpr para_style base_para{{0, 1, 2, 1}, {0, 4, 8, 4}, 16, 0, 0x1F};

extern const face_type_record base_record = {
    .window_class = "VyrBase",
    .procedure = base_wndproc,
    .make = make_base,
    .sync = sync_window,
    .composed = true,
    .repaint_for_picture = true,
    .para = &base_para,
    .geometry = geometry_batch::alone_when_layered,
    .own_cursor = true,
    .counts_presses = true,
};

}  // namespace vyr::gui::widgets
