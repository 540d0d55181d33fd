// `tab-panel` faces: tab controls (VyrTabpanel) with a tab for each string-like value of
// `data` and a page for each face of `pane`. A page is a window of the tab control's
// parent placed over the tab control's display area; the selected tab's page shows.
// Choosing a tab asks first (`select`, whose stop keeps the tab), then shows its page and
// gives `change`.
#include "gui/backend/events.h"
#include "gui/widgets/lists.h"
#include "gui/widgets/tab_pages.h"
#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/event.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/series.h"

namespace vyr::gui::widgets {

using namespace win;
namespace ev = vyr::event;

namespace {
// The face at 0-based `index` of the tab-panel's pane, or none.
cell page_at(const cell* face, i32 index) {
  const cell* pane = facet(face, facet_index::pane);
  if (!pane || type_of(pane) != TYPE_BLOCK || index < 0 || index >= block::rs_length_q(pane))
    return cell{TYPE_NONE, 0, 0, 0};
  return *block::rs_abs_at(pane, u32(series::head_index(pane)) + u32(index));
}

void show_page(const cell* page, bool shown) {
  if (type_of(page) != TYPE_OBJECT) return;
  if (cell* v = facet(page, facet_index::visible)) logic::make_at(v, shown);
  if (u32 h = face_handle_q(page)) {
    ShowWindow(HWND(h), shown ? SW_SHOW : SW_HIDE);
    if (shown) SetWindowPos(HWND(h), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

// Hides every page but the one at `except` (-1: all of them). A script that sets
// `selected` has changed it before the tab control reports the change, so the old
// `selected` cannot say which page showed.
void hide_pages(const cell* face, i32 except) {
  const cell* pane = facet(face, facet_index::pane);
  i32 n = pane && type_of(pane) == TYPE_BLOCK ? block::rs_length_q(pane) : 0;
  for (i32 i = 0; i < n; ++i) {
    if (i == except) continue;
    cell page = page_at(face, i);
    collector::root_guard keep(&page);
    show_page(&page, false);
  }
}

// gui/show-tab-page: the page at `index` shows and comes to the top; the others hide.
void show_tab_page(const cell* face, i32 index) {
  cell page = page_at(face, index);
  collector::root_guard guard(&page);
  show_page(&page, true);
  hide_pages(face, index);
}

HWND make(const cell* face, HWND parent, u32 flags) {
  HWND h = make_control(face, parent, flags, "VyrTabpanel", 0, 0);
  if (!is_null(h)) set_tab_items(h, face);
  return h;
}

// gui/tab-panel-changed: the pages follow the tab control's place and size, and its
// visibility.
void tab_panel_changed(const cell* face, HWND h, u32 index) {
  const cell* pane = facet(face, facet_index::pane);
  if (index == facet_index::visible) {
    const cell* sel = facet(face, facet_index::selected);
    i32 current = sel && type_of(sel) == TYPE_INTEGER ? integer::get(sel) - 1 : -1;
    cell page = page_at(face, current);
    collector::root_guard guard(&page);
    bool shown = logic_true(facet(face, facet_index::visible));
    show_page(&page, shown);
    hide_pages(face, shown ? current : -1);
    return;
  }
  if (!pane || type_of(pane) != TYPE_BLOCK) return;
  cell panes = *pane;
  collector::root_guard guard(&panes);
  for (i32 i = 0; i < block::rs_length_q(&panes); ++i) {
    cell page = *block::rs_abs_at(&panes, u32(series::head_index(&panes)) + u32(i));
    if (type_of(&page) != TYPE_OBJECT) continue;
    collector::root_guard keep(&page);
    fit_tab_page(&page, h);
    u32 ph = face_handle_q(&page);
    if (!ph) continue;
    logical_xy o = xy_of(facet(&page, facet_index::offset)), s = xy_of(facet(&page, facet_index::size));
    if (index == facet_index::offset) place_tab_page(HWND(ph), h, o.x, o.y);
    else SetWindowPos(HWND(ph), 0, 0, 0, to_pixels(s.x), to_pixels(s.y), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void sync(const cell* face_in, HWND h, u32 mask) {
  sync_then(face_in, h, mask, [&](const cell* face) {
    auto bit = [&](u32 n) { return (mask >> n) & 1; };
    if (bit(facet_index::offset)) tab_panel_changed(face, h, facet_index::offset);
    if (bit(facet_index::size)) tab_panel_changed(face, h, facet_index::size);
    if (bit(facet_index::data)) set_tab_items(h, face);
    if (bit(facet_index::visible)) tab_panel_changed(face, h, facet_index::visible);
    if (bit(facet_index::selected)) {
      const cell* sel = facet(face, facet_index::selected);
      if (sel && type_of(sel) == TYPE_INTEGER) select_tab(h, integer::get(sel) - 1);
    }
  });
}

LRESULT notify(const cell* face, HWND h, u32 msg, WPARAM w, LPARAM l) {
  if (msg != WM_NOTIFY) return 0;
  switch (reinterpret_cast<const NMHDR*>(l)->code) {
    case TCN_SELCHANGING: {
      i32 current = i32(SendMessage(h, TCM_GETCURSEL, 0, 0));
      // A stop refuses the change.
      return control_event(h, msg, w, l, ev::SELECT, u32(current)) == 0 ? 1 : 0;
    }
    case TCN_SELCHANGE: {
      i32 now = i32(SendMessage(h, TCM_GETCURSEL, 0, 0));
      show_tab_page(face, now);
      control_event(h, msg, w, l, ev::CHANGE, u32(now + 1));
      if (const cell* f = face_of_window(h))
        if (cell* sel = facet(f, facet_index::selected)) integer::make_at(sel, now + 1);
      return 0;
    }
  }
  return 0;
}

void data_changed(const cell* face, HWND h, const cell* changed, const cell* action, const cell* value, i32 index,
                  i32 count) {
  sync_list_data(face, h, changed, action, value, index, count, list_kind::tabs);
}
}  // namespace

void select_tab(HWND h, i32 index) {
  NMHDR hdr;
  hdr.hwndFrom = h;
  hdr.idFrom = 0;
  hdr.code = TCN_SELCHANGING;
  HWND parent = GetParent(h);
  if (!is_null(parent)) SendMessage(parent, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&hdr));
  if (!IsWindow(h)) return;
  SendMessage(h, TCM_SETCURFOCUS, WPARAM(index), 0);
  hdr.code = TCN_SELCHANGE;
  if (!is_null(parent) && IsWindow(h)) SendMessage(parent, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&hdr));
}

HWND current_tab_page(HWND h) {
  const cell* face = face_of_window(h);
  if (!face) return HWND{};
  const cell* sel = facet(face, facet_index::selected);
  cell page = page_at(face, sel && type_of(sel) == TYPE_INTEGER ? integer::get(sel) - 1 : -1);
  return HWND{face_handle_q(&page)};
}

void place_tab_page(HWND page, HWND tab, float x, float y) {
  const cell* face = face_of_window(tab);
  if (!face || !face_type_is(face, face_type::tab_panel)) return;
  SetParent(page, GetParent(tab));
  logical_xy o = xy_of(facet(face, facet_index::offset));
  SetWindowPos(page, 0, to_pixels(o.x + x), to_pixels(o.y + y), 0, 0, SWP_NOZORDER | SWP_NOSIZE | SWP_NOACTIVATE);
}

void fit_tab_page(const cell* page, HWND tab) {
  const cell* parent = facet(page, facet_index::parent);
  if (!parent || type_of(parent) != TYPE_OBJECT || !face_type_is(parent, face_type::tab_panel)) return;
  RECT client;
  GetClientRect(tab, client);
  RECT display = client;
  SendMessage(tab, TCM_ADJUSTRECT, 0, reinterpret_cast<LPARAM>(&display));
  float dx = float(display.left - client.left), dy = float(display.top - client.top);
  float w = float(display.width()), h = float(display.height());
  float scale = g().scale;
  // At scale 1 the page reaches over the display area's inner margins onto the border.
  bool unit = scale == 1.0f;
  if (cell* offset = facet(page, facet_index::offset))
    point2D::make_at(offset, unit ? dx - 3 : dx / scale, unit ? dy - 1 : dy / scale);
  cell* size = facet(page, facet_index::size);
  if (!size) return;
  float sw = unit ? w + 4 : w / scale, sh = unit ? h + 3 : h / scale;
  if (type_of(size) == TYPE_PAIR) pair::make_at(size, i32(sw), i32(sh));
  else point2D::make_at(size, sw, sh);
}

void place_in_tab_panel(const cell* page, HWND h) {
  const cell* parent = facet(page, facet_index::parent);
  if (!parent || type_of(parent) != TYPE_OBJECT || !face_type_is(parent, face_type::tab_panel)) return;
  u32 tab = face_handle_q(parent);
  if (!tab) return;
  fit_tab_page(page, HWND(tab));
  logical_xy o = xy_of(facet(page, facet_index::offset)), s = xy_of(facet(page, facet_index::size));
  SetWindowPos(h, 0, 0, 0, to_pixels(s.x), to_pixels(s.y), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  place_tab_page(h, HWND(tab), o.x, o.y);
}

extern const face_type_record tab_panel_record = {
    .window_class = "VyrTabpanel",
    .make = make,
    .sync = sync,
    .notify = notify,
    .colour = control_colour,
    .base_class = "SysTabControl32",
    .data_changed = data_changed,
    .geometry = geometry_batch::alone,
    .place_page = place_in_tab_panel,
};

}  // namespace vyr::gui::widgets
