// `radio` faces: radio buttons on BUTTON. A click on one not yet checked (and not reached by
// Tab) checks it, clears the other radio buttons of its window (their `data` false, no
// events), reads its `data` back and is a `click` event. A `data` that becomes true does
// the same through notification 3, which is a `change` event.
#include "gui/backend/events.h"
#include "gui/widgets/buttons.h"
#include "runtime/api/values.h"

namespace vyr::gui::widgets {

using namespace win;

namespace {
HWND make_radio(const cell* face, HWND parent, u32 flags) {
  HWND h = make_control(face, parent, flags, "VyrButton", WS_TABSTOP | BS_RADIOBUTTON, 0,
                        text_of(facet(face, facet_index::text)));
  if (is_null(h)) return h;
  set_check(h, face, false);
  if (logic_true(facet(face, facet_index::data))) clear_other_radios(h);
  return h;
}

void sync(const cell* face, HWND h, u32 mask) { sync_button(face, h, mask, true, false, false); }

LRESULT notify(const cell* face, HWND h, u32 msg, WPARAM w, LPARAM l) {
  if (msg == WM_COMMAND && HIWORD(w) == BN_CLICKED) {
    bool checked = SendMessage(h, BM_GETSTATE, 0, 0) & BST_CHECKED;
    if (checked || GetKeyState(VK_TAB) < 0) return 0;
    SendMessage(h, BM_SETCHECK, BST_CHECKED, 0);
    clear_other_radios(h);
    get_check(h);
    control_event(h, msg, w, l, api::event::CLICK);
    return 0;
  }
  if (msg == WM_COMMAND && HIWORD(w) == 3) {
    control_event(h, msg, w, l, api::event::CHANGE);
    return 0;
  }
  return button_common_notify(face, h, msg, w, l);
}
}  // namespace

extern const face_type_record radio_record = {
    .window_class = "VyrButton",
    .make = make_radio,
    .sync = sync,
    .notify = notify,
    .colour = control_colour,
    .base_class = "BUTTON",
    .para = &check_para,
};

}  // namespace vyr::gui::widgets
