// The steps the control widgets share.
#include "gui/widgets/controls.h"

#include <algorithm>

#include "gui/backend/events.h"
#include "gui/backend/fonts.h"
#include "runtime/api/values.h"

namespace vyr::gui::widgets {

using namespace win;
namespace ev = api::event;

HWND make_control(const cell* face, HWND parent, u32 flags, const char* cls, u32 style, u32 exstyle,
                  std::string_view text) {
  style |= para_flags(facet(face, facet_index::type), facet(face, facet_index::para));
  HWND h = create_child(face, parent, flags, cls, exstyle, style, text);
  if (is_null(h)) return h;
  set_control_font(h, face);
  attach(h, face, flags);
  return h;
}

void sync_control(const cell* face, HWND h, u32 mask) {
  sync_window(face, h, mask);
  if ((mask >> facet_index::font) & 1) {
    set_control_font(h, face);
    InvalidateRect(h, nullptr, true);
  }
}

namespace {
// The face a control's colours are asked for: its own, else its parent's (a group box's
// frame, a combo box's edit field), as events resolve it.
const cell* colour_face(HWND control) {
  if (const cell* f = face_of_window(control)) return f;
  return face_of_window(GetParent(control));
}
}  // namespace

LRESULT control_colour(const cell*, HWND control, u32 message, WPARAM wp, LPARAM) {
  const cell* face = colour_face(control);
  if (!face) return 0;
  HDC dc{u32(wp)};
  i64 text = -1;
  const cell* font = facet(face, facet_index::font);
  if (font && type_of(font) == TYPE_OBJECT) text = color_of(facet(font, 0), font_field::color);
  i64 back = color_of(facet(face, 0), facet_index::color);
  if (text >= 0) SetTextColor(dc, COLORREF(text));
  if (back >= 0) {
    SetBkColor(dc, COLORREF(back));
    SetDCBrushColor(dc, COLORREF(back));
    if (text < 0) SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    return LRESULT(u32(GetStockBrush(DC_BRUSH)));
  }
  if (text < 0) return 0;
  if (message == WM_CTLCOLORSTATIC) {
    SetBkMode(dc, TRANSPARENT);
    return LRESULT(u32(GetSysColorBrush(COLOR_BTNFACE)));
  }
  return LRESULT(u32(GetStockBrush(DC_BRUSH)));
}

int control_event(HWND control, u32 message, WPARAM wp, LPARAM lp, u32 type, u32 extra) {
  return dispatch_event(message_record(control, message, wp, lp), extra, type);
}

void select_then_change(HWND control, u32 message, WPARAM wp, LPARAM lp, i32 index) {
  if (const cell* face = face_of_window(control))
    if (cell* sel = facet(face, facet_index::selected)) api::integer::make_at(sel, index + 1);
  if (control_event(control, message, wp, lp, ev::SELECT, u32(index)) != 0 && IsWindow(control))
    control_event(control, message, wp, lp, ev::CHANGE);
}

bool string_like(const cell* c) {
  switch (type_of(c)) {
    case TYPE_STRING: case TYPE_FILE: case TYPE_URL: case TYPE_TAG: case TYPE_EMAIL: case TYPE_REF:
      return true;
  }
  return false;
}

std::string string_like_text(const cell* c) {
  if (!string_like(c)) return {};
  cell s = *c;
  return api::string::to_utf8(&s);
}

void set_check(HWND h, const cell* face, bool tri) {
  const cell* data = facet(face, facet_index::data);
  u32 state = BST_CHECKED;
  if (!data || type_of(data) == TYPE_NONE) {
    bool tri_state = get_flags(facet(face, facet_index::flags)) & face_flag::tri_state;
    state = tri && tri_state ? BST_INDETERMINATE : BST_UNCHECKED;
  } else if (type_of(data) == TYPE_LOGIC) {
    state = api::logic::get(data) ? BST_CHECKED : BST_UNCHECKED;
  }
  SendMessage(h, BM_SETCHECK, state, 0);
}

void get_check(HWND control) {
  LRESULT state = SendMessage(control, BM_GETCHECK, 0, 0);
  const cell* face = face_of_window(control);
  cell* data = face ? facet(face, facet_index::data) : nullptr;
  if (!data) return;
  if (state == BST_INDETERMINATE) *data = cell{TYPE_NONE, 0, 0, 0};
  else api::logic::make_at(data, state == BST_CHECKED);
}

void get_text_alt(const cell* face_in, HWND h, i32 item) {
  cell face = *face_in;
  api::root_guard guard(&face);
  LRESULT n = item < 0 ? SendMessage(h, WM_GETTEXTLENGTH, 0, 0) : SendMessage(h, CB_GETLBTEXTLEN, WPARAM(item), 0);
  if (n < 0) return;
  std::string text(size_t(n) + 1, '\0');
  LRESULT got = n == 0 ? 0
              : item < 0 ? SendMessage(h, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))
                         : SendMessage(h, CB_GETLBTEXT, WPARAM(item), reinterpret_cast<LPARAM>(text.data()));
  text.resize(size_t(std::clamp<LRESULT>(got, 0, n)));
  cell* slot = facet(&face, facet_index::text);
  if (!slot) return;
  cell old = *slot;
  api::root_guard keep_old(&old);
  // The text the face holds already (a program's text the control reports as changed):
  // nothing new for its handlers.
  bool fresh = type_of(slot) != TYPE_STRING || text_of(slot) != text;
  cell loaded;
  api::string::load_at(text.data(), u32(text.size()), &loaded, api::string::ENCODING_UTF8);
  api::root_guard keep(&loaded);
  slot = facet(&face, facet_index::text);
  if (type_of(slot) == TYPE_STRING) {
    // Loaded back into the face's own string, which keeps its identity.
    cell value = *slot;
    api::root_guard keep_value(&value);
    api::string::rs_reset(&value);
    api::string::concatenate(&value, &loaded, -1, 0, false, api::string::CONCAT_APPEND);
    *facet(&face, facet_index::text) = value;
  } else {
    *slot = loaded;
  }
  cell word = api::word::intern("text"), owned = *facet(&face, facet_index::text);
  api::root_guard keep_word(&word), keep_owned(&owned);
  api::ownership::set_owner(&owned, &face, &word);
  // A field's `data` follows what the user typed: its text handler runs as for a set of
  // `text` (the loaded value, the `default` or `sync` options, the reactions); the text it
  // would push back is the control's own, so the control is left as it is. An error there
  // (a reaction's) is reported as an actor's would be.
  if (fresh && (face_type_is(&face, face_type::field) || face_type_is(&face, face_type::text))) {
    cell* saved_top = api::stack::top();
    try {
      api::object::fire_on_set(&face, &word, &old, &owned);
    } catch (thrown& t) {
      api::stack::top() = saved_top;
      if (t.level != THROW_ERROR) throw;
      report_handler_error(t, handler_site::event);
    }
  }
}

void paste_size(HWND h, i64 added) {
  i64 limit = SendMessage(h, EM_GETLIMITTEXT, 0, 0);
  i64 length = SendMessage(h, EM_GETTEXTLENGTHEX, 0, 0);
  if (limit < length + added) SendMessage(h, EM_LIMITTEXT, WPARAM(length + added + 0x8000), 0);
}

void set_edit_selection(HWND h, const cell* selected) {
  if (!selected || type_of(selected) != TYPE_PAIR) {
    SendMessage(h, EM_SETSEL, WPARAM(-1), 0);
    return;
  }
  i64 a = api::pair::x_of(selected), b = api::pair::y_of(selected);
  if (b < a) std::swap(a, b);
  SendMessage(h, EM_SETSEL, WPARAM(std::max<i64>(a - 1, 0)), LPARAM(std::max<i64>(b, 0)));
}

}  // namespace vyr::gui::widgets
