// The combo box types' shared steps. The user's selection sets `selected` and the text,
// gives `select`, then `change` unless `select` answered stop; an edited text is read back
// and gives `change`; focus comes and goes as `focus` and `unfocus`.
#include "gui/backend/events.h"
#include "gui/backend/menus.h"
#include "gui/widgets/lists.h"
#include "gui/win/controls/controls.h"
#include "runtime/api/values.h"

namespace vyr::gui::widgets {

using namespace win;
namespace ev = api::event;

// A combo box may own a context menu (its edit's): the menu's selection and command come
// here; the rest is the control's.
LRESULT combo_wndproc(HWND h, u32 msg, WPARAM w, LPARAM l) {
  if (msg == WM_COMMAND && menu_command(h, w, l)) return 0;
  if (msg == WM_MENUSELECT && u32(w) != 0xFFFF0000u) {
    menu_selected(w, l);
    return 0;
  }
  return CallWindowProc(combobox_proc, h, msg, w, l);
}

HWND make_combo(const cell* face, HWND parent, u32 flags, bool drop_list) {
  u32 style = drop_list ? CBS_DROPDOWNLIST | CBS_HASSTRINGS : CBS_DROPDOWN | CBS_HASSTRINGS | CBS_AUTOHSCROLL;
  HWND h = make_control(face, parent, flags, "VyrCombo", style, 0);
  if (!is_null(h)) set_combo_data(h, face, drop_list);
  return h;
}

void sync_combo(const cell* face_in, HWND h, u32 mask) {
  sync_then(face_in, h, mask, [&](const cell* face) {
    if ((mask >> facet_index::data) & 1) set_combo_data(h, face, face_type_is(face, face_type::drop_list));
    if ((mask >> facet_index::selected) & 1) {
      const cell* sel = facet(face, facet_index::selected);
      if (sel && type_of(sel) == TYPE_INTEGER) SendMessage(h, CB_SETCURSEL, WPARAM(api::integer::get(sel) - 1), 0);
    }
  });
}

LRESULT combo_notify(const cell* face, HWND h, u32 msg, WPARAM w, LPARAM l) {
  if (msg != WM_COMMAND) return 0;
  switch (HIWORD(w)) {
    case CBN_SELCHANGE: {
      i32 index = i32(SendMessage(h, CB_GETCURSEL, 0, 0));
      get_text_alt(face, h, -1);
      select_then_change(h, msg, w, l, index);
      break;
    }
    case CBN_SETFOCUS:
      control_event(h, msg, w, l, ev::FOCUS);
      break;
    case CBN_KILLFOCUS:
      control_event(h, msg, w, l, ev::UNFOCUS);
      break;
    case CBN_EDITCHANGE:
      get_text_alt(face, h, -1);
      control_event(h, msg, w, l, ev::CHANGE);
      break;
  }
  return 0;
}

void combo_data_changed(const cell* face, HWND h, const cell* changed, const cell* action, const cell* value,
                        i32 index, i32 count) {
  sync_list_data(face, h, changed, action, value, index, count, list_kind::combo_box);
}

}  // namespace vyr::gui::widgets
