// `panel` faces: child windows that hold other faces and are drawn as their colour, image
// and `draw` block say.
#include "gui/backend/events.h"
#include "gui/widgets/widgets.h"

namespace vyr::gui::widgets {

using namespace win;

namespace {
HWND make_panel(const cell* face, HWND parent, u32 flags) {
  HWND h = create_child(face, parent, flags, "VyrPanel", 0);
  if (!is_null(h)) {
    attach(h, face, flags);
    show_own_scroll_bars(h, flags);
  }
  return h;
}

void release(const cell*, HWND h) { DestroyWindow(h); }
}  // namespace

extern const face_type_record panel_record = {
    .window_class = "VyrPanel",
    .procedure = window_wndproc,
    .make = make_panel,
    .sync = sync_window,
    .composed = true,
    .release = release,
};

}  // namespace vyr::gui::widgets
