// The edit types' shared steps.
#include "gui/widgets/edits.h"

#include "gui/backend/events.h"
#include "gui/backend/text_measure.h"
#include "gui/win/controls/controls.h"
#include "runtime/api/values.h"

namespace vyr::gui::widgets {

using namespace win;
namespace ev = api::event;

namespace {
bool multiline(HWND h) { return GetWindowLong(h, GWL_STYLE) & ES_MULTILINE; }

// The control's selection into the face's `selected`, then a `select` event.
void selection_event(HWND h, u32 msg, WPARAM w, LPARAM l) {
  const cell* face = face_of_window(h);
  if (!face) return;
  get_area_selection(h, face);
  control_event(h, msg, w, l, ev::SELECT, 0xFFFFFFFFu);
}

// An area's text grew: its limit keeps room and its bars follow the text.
void area_grew(HWND h) {
  paste_size(h, 16);
  update_area_scrollbars(h, nullptr);
}
}  // namespace

LRESULT area_wndproc(HWND h, u32 msg, WPARAM w, LPARAM l) {
  switch (msg) {
    case WM_PASTE:
      if (auto clip = GetClipboardText()) paste_size(h, i64(to_utf32(*clip).size()));
      break;
    case WM_CHAR:
      if (!multiline(h) && (w == '\r' || w == '\t')) return 0;
      if (multiline(h) && w == 1) {
        SendMessage(h, EM_SETSEL, 0, -1);
        return 1;
      }
      break;
    case WM_LBUTTONUP:
    case WM_KEYUP:
      selection_event(h, msg, w, l);
      if (!IsWindow(h)) return 0;
      break;
  }
  return CallWindowProc(edit_proc, h, msg, w, l);
}

LRESULT edit_notify(const cell* face, HWND h, u32 msg, WPARAM w, LPARAM l) {
  if (msg != WM_COMMAND) return 0;
  switch (HIWORD(w)) {
    case EN_CHANGE:
      get_text_alt(face, h, -1);
      if (face_type_is(face_of_window(h), face_type::area)) area_grew(h);
      control_event(h, msg, w, l, ev::CHANGE);
      break;
    case EN_SETFOCUS:
      set_edit_selection(h, facet(face, facet_index::selected));
      control_event(h, msg, w, l, ev::FOCUS);
      break;
    case EN_KILLFOCUS:
      control_event(h, msg, w, l, ev::UNFOCUS);
      break;
  }
  return 0;
}

void sync_edit(const cell* face_in, HWND h, u32 mask) {
  cell face = *face_in;
  api::root_guard guard(&face);
  auto bit = [&](u32 n) { return (mask >> n) & 1; };
  bool area = face_type_is(&face, face_type::area);
  if (area && bit(facet_index::text)) {
    // The limit makes room for a program's text, with room to spare for typing.
    std::string text = text_of(facet(&face, facet_index::text));
    paste_size(h, i64(to_utf32(text).size()));
    SetWindowText(h, text);
    update_area_scrollbars(h, nullptr);
    if (SendMessage(h, EM_GETLIMITTEXT, 0, 0) <= SendMessage(h, EM_GETTEXTLENGTHEX, 0, 0)) {
      SendMessage(h, EM_LIMITTEXT, WPARAM(SendMessage(h, EM_GETLIMITTEXT, 0, 0) + 16), 0);
      SetWindowText(h, text);
    }
    mask &= ~(1u << facet_index::text);
  } else if (bit(facet_index::text) && GetWindowText(h) == text_of(facet(&face, facet_index::text))) {
    // The text the field shows already, as after the user's own typing was read back:
    // setting it again would move the caret and report one more change.
    mask &= ~(1u << facet_index::text);
  }
  sync_control(&face, h, mask);
  if (!IsWindow(h)) return;
  if (bit(facet_index::selected)) set_edit_selection(h, facet(&face, facet_index::selected));
  if (bit(facet_index::flags) && !area) {
    bool password = get_flags(facet(&face, facet_index::flags)) & face_flag::password;
    bool shown = GetWindowLong(h, GWL_STYLE) & ES_PASSWORD;
    if (password != shown) {
      SendMessage(h, EM_SETPASSWORDCHAR, password ? PASSWORD_CHAR : 0, 0);
      SetFocus(h);
    }
  }
}

}  // namespace vyr::gui::widgets
