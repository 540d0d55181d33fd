// `base` faces: child windows the backend paints itself (gui/base_face.cpp); one whose colour
// has transparency, or none, is layered and blended over what lies below.
#include "gui/base_face.h"
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

extern const face_type_record base_record = {
    "VyrBase", base_wndproc, make_base, sync_window, nullptr, nullptr, true, nullptr, nullptr};

}  // namespace vyr::gui::widgets
