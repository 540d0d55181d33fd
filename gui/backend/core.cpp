// The backend's core helpers: coordinates, the link between a window and its face, facet
// access, value helpers, text-field options, the scroller, the caret, releasing a face's
// native side and the default GUI font. None of them raises: a missing face, handle or a
// facet of the wrong type gives a null result or leaves the native side as it was.
#include <algorithm>
#include <cmath>

#include "gui/backend/backend.h"
#include "gui/face/face_values.h"
#include "gui/backend/fonts.h"
#include "gui/win/controls/controls.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/context.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/integer.h"
#include "runtime/value_slots.h"

namespace vyr::gui {

// ---- coordinates -----------------------------------------------------------------------------

// Truncation toward zero of value x scale + 0.5: halves round up for positive values, and
// -1.6 at scale 1 gives -1.
i32 to_pixels(float value) {
  float v = value * g().scale + 0.5f;
  if (!(v > -2147483648.0f)) return INT32_MIN;   // NaN and the far negative end
  if (v >= 2147483647.0f) return INT32_MAX;
  return static_cast<i32>(v);
}

float to_logical(i32 pixels) { return static_cast<float>(pixels) / g().scale; }

// ---- windows and faces -----------------------------------------------------------------------

u32 has_face_q(win::HWND h) {
  win::window_extra* ex = win::extra(h);
  return ex ? ex->face_slot : 0;
}

const cell* face_of_window(win::HWND h) {
  u32 slot = has_face_q(h);
  return slot ? value_slots::get(slot) : nullptr;
}

cell* face_values(win::HWND h) {
  const cell* f = face_of_window(h);
  return f ? facet(f, 0) : nullptr;
}

u32 face_handle_q(const cell* face) {
  cell* state = facet(face, facet_index::state);
  if (!state || type_of(state) != TYPE_BLOCK || block::rs_tail_q(state)) return 0;
  const cell* first = block::rs_abs_at(state, static_cast<u32>(series::head_index(state)));
  return type_of(first) == TYPE_HANDLE ? handle::get(first) : 0;
}

// Reads like face_handle_q: a face whose state is not a block must not crash the backend.
u32 get_face_handle(const cell* face) { return face_handle_q(face); }

u32 selected_face_handle(win::HWND h) {
  const cell* f = face_of_window(h);
  if (!f) return 0;
  cell* sel = facet(f, facet_index::selected);
  return sel && type_of(sel) == TYPE_OBJECT ? face_handle_q(sel) : 0;
}

void focus_selected(win::HWND h) {
  u32 s = selected_face_handle(h);
  if (s) win::SetFocus(win::HWND(s));
}

void attach_face(win::HWND h, const cell* face) {
  win::window_extra* ex = win::extra(h);
  if (!ex || ex->face_slot || !face) return;
  u32 slot = value_slots::add(face);
  if ((ex = win::extra(h))) ex->face_slot = slot;
  else value_slots::free(slot);
}

u32 event_window(const win::MSG& m) {
  if (has_face_q(m.hwnd)) return win::raw(m.hwnd);
  // A window a control made for itself (a combo box's dropped list) belongs to that control.
  if (win::HWND own = win::owning_control(m.hwnd); has_face_q(own)) return win::raw(own);
  win::HWND parent = win::GetParent(m.hwnd);
  if (!win::is_null(parent) && has_face_q(parent)) return win::raw(parent);
  win::HWND under = win::WindowFromPoint(m.pt);
  // Every window of the layer belongs to this process.
  if (win::is_null(under) || under == g().console_window) return NO_WINDOW;
  if (has_face_q(under)) return win::raw(under);
  win::HWND owner = win::owning_control(under);
  if (has_face_q(owner)) return win::raw(owner);
  return NO_WINDOW;
}

cell* event_face_values(const win::MSG& m) {
  u32 h = event_window(m);
  return h == NO_WINDOW ? nullptr : face_values(win::HWND(h));
}

cell* event_facet(const win::MSG& m, u32 index) {
  u32 h = event_window(m);
  if (h == NO_WINDOW) return nullptr;
  return facet(face_of_window(win::HWND(h)), index);
}

win::HWND child_at(win::HWND h, win::POINT p) {
  win::HWND c = win::ChildWindowFromPointEx(h, p, win::CWP_SKIPINVISIBLE | win::CWP_SKIPTRANSPARENT);
  return win::is_null(c) ? h : c;
}

void clear_current_event() { g().current_event = nullptr; }

const win::GESTUREINFO& gesture_info(win::LPARAM l) {
  static win::GESTUREINFO r;
  r = win::GESTUREINFO{};
  win::GetGestureInfo(l, r);
  return r;
}

void window_frame(win::HWND h, i32* x, i32* y, i32* dx, i32* dy) {
  win::RECT c, w;
  if (!win::GetClientRect(h, c) || c.width() == 0 || !win::GetWindowRect(h, w)) return;
  win::POINT p{w.left, w.top};
  win::HWND parent = win::GetAncestor(h, win::GA_PARENT);
  if (!win::is_null(parent) && parent != win::GetDesktopWindow()) win::ScreenToClient(parent, p);
  if (x) *x = p.x;
  if (y) *y = p.y;
  if (dx) *dx = w.width() - c.width();
  if (dy) *dy = w.height() - c.height();
}

void clear_window_slots(win::HWND h) {
  for (int off : {slot::type, slot::move_offset, slot::frame_size, slot::last_sizing, slot::cursor})
    win::SetWindowLong(h, off, 0);
}

// ---- values ----------------------------------------------------------------------------------

const cell* ratio_of(const cell* object) {
  if (!object || type_of(object) != TYPE_OBJECT) return nullptr;
  cell w = word::intern("ratio");
  return object::get_field(object, &w);
}

double scale_by(const cell* v, double x) {
  if (v && (type_of(v) == TYPE_FLOAT || type_of(v) == TYPE_PERCENT)) return x * cell_float(v);
  return 0.0;
}

double unit_value(const cell* v) {
  double d;
  if (!v) return -1.0;
  switch (type_of(v)) {
    case TYPE_INTEGER: d = integer::get(v); break;
    case TYPE_FLOAT:
    case TYPE_PERCENT: d = cell_float(v); break;
    default: return -1.0;
  }
  if (std::isnan(d)) return 0.0;
  return std::clamp(d, 0.0, 1.0);
}

bool transparent_color_q(const cell* c) {
  return c && type_of(c) == TYPE_TUPLE && tuple::count_of(c) != 3 && tuple::byte_at(c, 3) != 0;
}

// ---- options blocks --------------------------------------------------------------------------

void set_hint(win::HWND h, const cell* options) {
  const cell* v = option_after(options, "hint");
  if (!v || type_of(v) != TYPE_STRING) return;
  std::string text = text_of(v);
  win::SendMessage(h, win::EM_SETCUEBANNER, 0, reinterpret_cast<win::LPARAM>(text.c_str()));
}

u32 accelerated_style(const cell* options, bool windows8) {
  const cell* v = option_after(options, "accelerated");
  if (!v || type_of(v) != TYPE_LOGIC || !logic::get(v)) return 0;
  return windows8 ? win::WS_EX_LAYERED : (win::WS_EX_LAYERED | win::WS_EX_TOOLWINDOW);
}

void set_tabs(win::HWND h, const cell* options) {
  i32 stop = 16;
  win::SendMessage(h, win::EM_SETTABSTOPS, 1, reinterpret_cast<win::LPARAM>(&stop));
  const cell* v = option_after(options, "tabs");
  if (v && type_of(v) == TYPE_INTEGER) {
    stop = static_cast<i32>(std::clamp<i64>(i64(integer::get(v)) * 4, INT32_MIN, INT32_MAX));
    win::SendMessage(h, win::EM_SETTABSTOPS, 1, reinterpret_cast<win::LPARAM>(&stop));
  }
}

// The layer's edit controls report selections in characters of their text, so the offsets
// need no mapping from UTF-16 units here. The face is passed rather than its value cells:
// the control's procedure may run code that allocates, after which they may have moved.
void get_area_selection(win::HWND h, const cell* face) {
  u32 start = 0, end = 0;
  win::SendMessage(h, win::EM_GETSEL, reinterpret_cast<win::WPARAM>(&start), reinterpret_cast<win::LPARAM>(&end));
  cell* sel = facet(face, facet_index::selected);
  if (!sel) return;
  if (start == end) *sel = cell{TYPE_NONE, 0, 0, 0};
  else pair::make_at(sel, static_cast<i32>(start) + 1, static_cast<i32>(end));
}

void update_scroller(const cell* scroller, i32 field) {
  const cell* parent = facet(scroller, facet_index::scroller_parent);
  u32 h = parent ? face_handle_q(parent) : 0;
  if (!h) return;
  const cell* vertical = facet(scroller, facet_index::scroller_vertical);
  int bar = vertical && type_of(vertical) == TYPE_LOGIC && logic::get(vertical) ? win::SB_VERT : win::SB_HORZ;
  auto int_of = [&](u32 i) {
    const cell* c = facet(scroller, i);
    return c && type_of(c) == TYPE_INTEGER ? integer::get(c) : 0;
  };
  win::SCROLLINFO si;
  si.cbSize = 28;
  switch (field) {
    case 0:
      si.fMask = win::SIF_POS | win::SIF_DISABLENOSCROLL;
      si.nPos = int_of(facet_index::scroller_position);
      win::SetScrollInfo(win::HWND(h), bar, si, true);
      break;
    case 1:
    case 3:
      si.fMask = win::SIF_PAGE | win::SIF_RANGE | win::SIF_DISABLENOSCROLL;
      si.nMin = 1;
      si.nMax = int_of(facet_index::scroller_max_size);
      si.nPage = static_cast<u32>(std::max(0, int_of(facet_index::scroller_page_size)));
      win::SetScrollInfo(win::HWND(h), bar, si, true);
      break;
    case 4: {
      const cell* v = facet(scroller, facet_index::scroller_visible);
      win::ShowScrollBar(win::HWND(h), bar, v && type_of(v) == TYPE_LOGIC && logic::get(v));
      break;
    }
  }
}

void create_caret(win::HWND h, const cell* values) {
  if (!values || !win::IsWindow(h)) return;
  const cell* size = values + facet_index::size;
  i32 w, hh;
  if (type_of(size) == TYPE_PAIR) { w = pair::x_of(size); hh = pair::y_of(size); }
  else if (type_of(size) == TYPE_POINT2D) {
    w = static_cast<i32>(std::clamp(point::get(size, 0), -1e9f, 1e9f));
    hh = static_cast<i32>(std::clamp(point::get(size, 1), -1e9f, 1e9f));
  } else return;
  win::HWND owner{static_cast<u32>(win::GetWindowLong(h, slot::caret_owner))};
  if (!win::IsWindow(owner)) return;
  if (win::CreateCaret(owner, w, hh))
    win::SetWindowLong(owner, slot::flags, win::GetWindowLong(owner, slot::flags) | WINDOW_OWNS_CARET);
}

void release_window_extras(win::HWND h) {
  win::window_extra* ex = win::extra(h);
  if (!ex) return;
  // The render record itself belongs to the drawing code, which keeps it by this slot.
  ex->render_target = 0;
  if (ex->flags & WINDOW_OWNS_CARET) {
    ex->flags &= ~WINDOW_OWNS_CARET;
    win::DestroyCaret();
  }
}

namespace {
// Takes the face out of the `parent` list of the object in its facet `which`.
void unlink_from(const cell* face, u32 which, u32 list_index) {
  const cell* owner = facet(face, which);
  if (!owner || type_of(owner) != TYPE_OBJECT) return;
  cell o = *owner;
  unlink_face(&o, face, list_index);
  const cell* list = facet(&o, list_index);
  if (which == facet_index::font && list && type_of(list) == TYPE_BLOCK &&
      buffer_of(series::node(list))->used_units() == 0)
    free_font(face, &o);
}
}  // namespace

void free_face(const cell* face, bool close) {
  u32 h32 = face_handle_q(face);
  if (!h32) return;
  win::HWND h{h32};
  const face_type_record& type = slots_of(face);
  if (type.top_level) {
    win::SetWindowPos(h, 0, 0, 0, 0, 0, win::SWP_NOSIZE | win::SWP_NOMOVE | win::SWP_NOZORDER | win::SWP_HIDEWINDOW);
  } else if (win::IsWindow(h)) {
    // The control goes when its posted close runs; until then it is neither drawn (a
    // picture of the window taken now shows the pane without it) nor holds the keys (its
    // window keeps them, and gives them to the focused face of a pane made again).
    win::HWND focus = win::GetFocus();
    if (focus == h || win::IsChild(h, focus)) win::SetFocus(win::GetAncestor(h, win::GA_ROOT));
    win::SetWindowPos(h, 0, 0, 0, 0, 0,
                      win::SWP_NOSIZE | win::SWP_NOMOVE | win::SWP_NOZORDER | win::SWP_NOACTIVATE | win::SWP_HIDEWINDOW);
  }
  const cell* rate = facet(face, facet_index::rate);
  if (rate && type_of(rate) != TYPE_NONE) win::KillTimer(h, 1);
  // The face leaves its font's and para's `parent` lists; a font that no face uses any
  // more lets its native fonts go.
  unlink_from(face, facet_index::font, facet_index::font_parent);
  unlink_from(face, facet_index::para, facet_index::para_parent);
  cell* pane = facet(face, facet_index::pane);
  if (pane && type_of(pane) == TYPE_BLOCK) {
    cell pane_copy = *pane;
    i32 n = block::rs_length_q(&pane_copy);
    u32 head = static_cast<u32>(series::head_index(&pane_copy));
    for (i32 i = 0; i < n; ++i) {
      if (block::rs_length_q(&pane_copy) <= i) break;   // a child's release may edit the pane
      cell child = *block::rs_abs_at(&pane_copy, head + static_cast<u32>(i));
      free_face(&child, false);
    }
  }
  if (!win::IsWindow(h)) return;
  u32 face_slot = has_face_q(h);
  u32 icon = win::extra(h)->cursor_icon;
  if (type.release) type.release(face, h);
  if (icon) win::DestroyCursor(win::HCURSOR(icon));
  if (face_slot) value_slots::free(face_slot);
  if (win::window_extra* ex = win::extra(h)) {
    ex->face_slot = 0;
    ex->cursor_icon = 0;
  }
  if (cell* state = facet(face, facet_index::state)) *state = cell{TYPE_NONE, 0, 0, 0};
  if (close) win::PostMessage(h, win::WM_CLOSE, 0, 0);
}

void load_default_font(win::HWND h) {
  globals& s = g();
  s.default_face.clear();
  if (win::window_extra* ex = win::extra(h); ex && ex->font_or_count) {
    win::DeleteObject(win::HFONT(ex->font_or_count));
    ex->font_or_count = 0;
  }
  // The generic family keeps fontconfig out of start-up; it resolves on first need.
  win::LOGFONT lf = win::message_font(static_cast<u32>(s.dpi_y), false);
  s.default_size = -(lf.lfHeight * 72 / s.dpi_y);
  if (!win::is_null(s.default_font)) win::DeleteObject(s.default_font);
  s.default_font = win::CreateFontIndirect(lf);
  win::HFONT own{};
  if (win::is_null(s.default_font)) s.default_font = win::GetStockFont(win::DEFAULT_GUI_FONT);
  else if (win::IsWindow(h)) own = win::CreateFontIndirect(lf);
  if (win::window_extra* ex = win::extra(h)) ex->font_or_count = static_cast<u32>(own);
}

const std::string& default_font_face() {
  globals& s = g();
  if (s.default_face.empty()) s.default_face = win::message_font(static_cast<u32>(s.dpi_y), true).lfFaceName;
  return s.default_face;
}

}  // namespace vyr::gui
