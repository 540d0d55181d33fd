// `button` faces: push buttons on BUTTON, wrapping their caption, with the face's images; a
// click is a `click` event.
#include "gui/backend/events.h"
#include "gui/widgets/buttons.h"
#include "runtime/api/values.h"

namespace vyr::gui::widgets {

using namespace win;

namespace {
HWND make_button(const cell* face, HWND parent, u32 flags) {
  HWND h = make_control(face, parent, flags, "VyrButton", BS_MULTILINE, 0, text_of(facet(face, facet_index::text)));
  if (!is_null(h)) set_button_images(h, face);
  return h;
}

void sync(const cell* face, HWND h, u32 mask) { sync_button(face, h, mask, false, false, true); }

LRESULT notify(const cell* face, HWND h, u32 msg, WPARAM w, LPARAM l) {
  if (msg == WM_COMMAND && HIWORD(w) == BN_CLICKED) {
    control_event(h, msg, w, l, api::event::CLICK);
    return 0;
  }
  return button_common_notify(face, h, msg, w, l);
}
}  // namespace

extern const face_type_record button_record = {
    .window_class = "VyrButton",
    .make = make_button,
    .sync = sync,
    .notify = notify,
    .colour = control_colour,
    .base_class = "BUTTON",
    .para = &button_para,
};

}  // namespace vyr::gui::widgets
