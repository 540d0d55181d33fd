// The steps the widget files share.
#include "gui/widgets/widgets.h"

#include "gui/backend/base_face.h"
#include "gui/backend/events.h"
#include "gui/backend/lifecycle.h"
#include "gui/backend/menus.h"
#include "runtime/api/values.h"

namespace vyr::gui::widgets {

using namespace win;

logical_xy take_offset(const cell* face) {
  cell* offset_cell = facet(face, facet_index::offset);
  logical_xy offset = xy_of(offset_cell);
  if (offset_cell && type_of(offset_cell) == TYPE_PAIR) *offset_cell = api::make_point(offset.x, offset.y);
  return offset;
}

HWND create_child(const cell* face, HWND parent, u32 flags, const char* cls, u32 exstyle, u32 style,
                  std::string_view text) {
  logical_xy offset = take_offset(face);
  logical_xy size = xy_of(facet(face, facet_index::size));
  style |= WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
  if (logic_true(facet(face, facet_index::visible))) style |= WS_VISIBLE;
  const cell* enabled = facet(face, facet_index::enabled);
  if (enabled && type_of(enabled) == TYPE_LOGIC && !api::logic::get(enabled)) style |= WS_DISABLED;
  if (flags & face_flag::scrollable) style |= WS_HSCROLL | WS_VSCROLL;
  RECT r{to_pixels(offset.x), to_pixels(offset.y), 0, 0};
  r.right = add32(r.left, to_pixels(size.x));
  r.bottom = add32(r.top, to_pixels(size.y));
  HWND h = CreateWindowEx(exstyle, cls, text, style, r.left, r.top, r.width(),
                          r.height(), parent, HMENU{}, const_cast<cell*>(face));
  // A face shown later stands over the ones before it, as the pane's order stacks them
  // when it is re-stacked: the new child goes to the top of its siblings.
  if (!is_null(h)) SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
  return h;
}

void show_own_scroll_bars(HWND h, u32 flags) {
  if ((flags & face_flag::scrollable) && !is_null(h)) ShowScrollBar(h, SB_BOTH, true);
}

void attach(HWND h, const cell* face, u32 flags) {
  if (window_extra* x = extra(h)) x->face_flags = flags;
  attach_face(h, face);
  set_cursor_option(h, facet(face, facet_index::options));
}

void recompose(HWND h) {
  if (layered_q(h)) compose_layered(h);
  else InvalidateRect(h, nullptr, true);
}

void sync_window(const cell* face, HWND h, u32 mask) {
  auto bit = [&](u32 n) { return (mask >> n) & 1; };
  bool window = face_type_is(face, face_type::window);
  const face_type_record* record = record_of_face(face);
  bool composed = record && record->composed;
  if (bit(facet_index::offset) || bit(facet_index::size)) {
    logical_xy o = xy_of(facet(face, facet_index::offset)), s = xy_of(facet(face, facet_index::size));
    RECT r{to_pixels(o.x), to_pixels(o.y), 0, 0};
    r.right = add32(r.left, to_pixels(s.x));
    r.bottom = add32(r.top, to_pixels(s.y));
    u32 style = u32(GetWindowLong(h, GWL_STYLE)), ex = u32(GetWindowLong(h, GWL_EXSTYLE));
    if (window) AdjustWindowRectForMenu(r, style, GetMenu(h), ex, GetDpiForWindow(h));
    u32 f = SWP_NOZORDER | SWP_NOACTIVATE;
    if (!bit(facet_index::offset)) f |= SWP_NOMOVE;
    if (!bit(facet_index::size)) f |= SWP_NOSIZE;
    SetWindowPos(h, 0, r.left, r.top, r.width(), r.height(), f);
  }
  if (bit(facet_index::text)) {
    if (composed && !window) recompose(h);
    else SetWindowText(h, text_of(facet(face, facet_index::text)));
  }
  // A rich-text face shows its `data` as the style list of its text.
  if (bit(facet_index::data) && face_type_is(face, face_type::rich_text)) recompose(h);
  if (bit(facet_index::enabled)) EnableWindow(h, logic_true(facet(face, facet_index::enabled)));
  if (bit(facet_index::visible)) {
    bool shown = logic_true(facet(face, facet_index::visible));
    ShowWindow(h, !shown ? SW_HIDE : face_type_is(face, face_type::base) ? SW_SHOWNA : SW_SHOW);
  }
  if (bit(facet_index::selected) && window) {
    const cell* sel = facet(face, facet_index::selected);
    if (sel && type_of(sel) == TYPE_OBJECT) focus_selected(h);
    else SetFocus(h);
  }
  if (bit(facet_index::flags))
    if (window_extra* x = extra(h)) x->face_flags = get_flags(facet(face, facet_index::flags));
  if (bit(facet_index::draw) && composed) recompose(h);
  if (bit(facet_index::color)) {
    if (composed) recompose(h);
    else InvalidateRect(h, nullptr, true);
  }
  if (bit(facet_index::pane)) {
    restack_children(face);
    // A pane made again (GPU? switched, say) took the focused control with it: the
    // window's focused face has the keys again, as the window is still the active one.
    if (window && GetActiveWindow() == h && (is_null(GetFocus()) || GetFocus() == h)) focus_selected(h);
  }
  if (bit(facet_index::rate)) {
    cell r = *facet(face, facet_index::rate);
    set_rate(h, &r);
  }
  if (bit(facet_index::font) || bit(facet_index::para)) {
    if (composed) recompose(h);
    else InvalidateRect(h, nullptr, true);
  }
  if (bit(facet_index::menu) && window) update_menu_bar(face, h);
  if (bit(facet_index::image) && composed) recompose(h);
  if (bit(facet_index::options)) set_cursor_option(h, facet(face, facet_index::options));
  if (bit(facet_index::offset) || bit(facet_index::visible)) sync_caret(h, face, mask);
}

}  // namespace vyr::gui::widgets
