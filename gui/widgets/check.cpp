// `check` faces: check boxes on BUTTON, three-state with the `tri-state` flag. A click steps
// a three-state box once more itself (the control stepped it already), so its `data` goes
// false, none, true, false; then `data` is read back and a `change` event follows.
#include "gui/backend/events.h"
#include "gui/widgets/buttons.h"
#include "runtime/api/values.h"

namespace vyr::gui::widgets {

using namespace win;

namespace {
HWND make_check(const cell* face, HWND parent, u32 flags) {
  u32 kind = (flags & face_flag::tri_state) ? BS_AUTO3STATE : BS_AUTOCHECKBOX;
  HWND h = make_control(face, parent, flags, "VyrButton", WS_TABSTOP | kind, 0,
                        text_of(facet(face, facet_index::text)));
  if (!is_null(h)) set_check(h, face, true);
  return h;
}

void sync(const cell* face, HWND h, u32 mask) { sync_button(face, h, mask, true, true, false); }

LRESULT notify(const cell* face, HWND h, u32 msg, WPARAM w, LPARAM l) {
  if (msg == WM_COMMAND && HIWORD(w) == BN_CLICKED) {
    if (get_flags(facet(face, facet_index::flags)) & face_flag::tri_state) {
      static const u32 next[] = {BST_CHECKED, BST_INDETERMINATE, BST_UNCHECKED};
      LRESULT state = SendMessage(h, BM_GETCHECK, 0, 0);
      SendMessage(h, BM_SETCHECK, next[state >= 0 && state <= 2 ? state : 0], 0);
    }
    get_check(h);
    control_event(h, msg, w, l, api::event::CHANGE);
    return 0;
  }
  return button_common_notify(face, h, msg, w, l);
}
}  // namespace

extern const face_type_record check_record = {
    .window_class = "VyrButton",
    .make = make_check,
    .sync = sync,
    .notify = notify,
    .colour = control_colour,
    .base_class = "BUTTON",
    .para = &check_para,
};

}  // namespace vyr::gui::widgets
