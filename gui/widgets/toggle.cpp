// `toggle` faces: push-like check buttons on BUTTON whose state is their `data`; a click
// reads the state back and is a `change` event.
#include "gui/backend/events.h"
#include "gui/widgets/buttons.h"
#include "runtime/api/values.h"

namespace vyr::gui::widgets {

using namespace win;

namespace {
HWND make_toggle(const cell* face, HWND parent, u32 flags) {
  HWND h = make_control(face, parent, flags, "VyrButton", BS_AUTOCHECKBOX | BS_PUSHLIKE, 0,
                        text_of(facet(face, facet_index::text)));
  if (is_null(h)) return h;
  set_button_images(h, face);
  set_check(h, face, false);
  return h;
}

void sync(const cell* face, HWND h, u32 mask) { sync_button(face, h, mask, true, false, true); }

LRESULT notify(const cell* face, HWND h, u32 msg, WPARAM w, LPARAM l) {
  if (msg == WM_COMMAND && HIWORD(w) == BN_CLICKED) {
    get_check(h);
    control_event(h, msg, w, l, api::event::CHANGE);
    return 0;
  }
  return button_common_notify(face, h, msg, w, l);
}
}  // namespace

extern const face_type_record toggle_record = {
    .window_class = "VyrButton",
    .make = make_toggle,
    .sync = sync,
    .notify = notify,
    .colour = control_colour,
    .base_class = "BUTTON",
    .para = &button_para,
};

}  // namespace vyr::gui::widgets
