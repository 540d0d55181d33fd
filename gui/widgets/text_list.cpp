// `text-list` faces: list boxes of the string-like values of `data`. The user's selection
// sets `selected`, gives `select`, then `change` unless `select` answered stop.
#include "gui/backend/events.h"
#include "gui/widgets/lists.h"
#include "runtime/api/values.h"

namespace vyr::gui::widgets {

using namespace win;
namespace ev = api::event;

namespace {
HWND make(const cell* face, HWND parent, u32 flags) {
  u32 exstyle = (flags & face_flag::no_border) ? 0 : WS_EX_CLIENTEDGE;
  HWND h = make_control(face, parent, flags, "VyrListBox",
                        LBS_NOTIFY | WS_HSCROLL | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, exstyle);
  if (!is_null(h)) set_list_data(h, face);
  return h;
}

void sync(const cell* face_in, HWND h, u32 mask) {
  sync_then(face_in, h, mask, [&](const cell* face) {
    // Any new `data` as at creation: a block!, hash! or map! gives its strings, anything
    // else no items.
    if ((mask >> facet_index::data) & 1) set_list_data(h, face);
    if ((mask >> facet_index::selected) & 1) {
      const cell* sel = facet(face, facet_index::selected);
      i32 n = sel && type_of(sel) == TYPE_INTEGER ? api::integer::get(sel) : 0;
      SendMessage(h, LB_SETCURSEL, WPARAM(n > 0 ? n - 1 : -1), 0);
    }
  });
}

LRESULT notify(const cell*, HWND h, u32 msg, WPARAM w, LPARAM l) {
  if (msg != WM_COMMAND) return 0;
  switch (HIWORD(w)) {
    case LBN_SELCHANGE:
      select_then_change(h, msg, w, l, i32(SendMessage(h, LB_GETCURSEL, 0, 0)));
      break;
    case LBN_SETFOCUS:
      control_event(h, msg, w, l, ev::FOCUS);
      break;
    case LBN_KILLFOCUS:
      control_event(h, msg, w, l, ev::UNFOCUS);
      break;
  }
  return 0;
}

void data_changed(const cell* face, HWND h, const cell* changed, const cell* action, const cell* value, i32 index,
                  i32 count) {
  sync_list_data(face, h, changed, action, value, index, count, list_kind::list_box);
}
}  // namespace

extern const face_type_record text_list_record = {
    .window_class = "VyrListBox",
    .make = make,
    .sync = sync,
    .notify = notify,
    .colour = control_colour,
    .base_class = "ListBox",
    .data_changed = data_changed,
};

}  // namespace vyr::gui::widgets
