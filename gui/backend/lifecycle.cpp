// Making, updating and destroying the native windows of faces.
#include "gui/backend/lifecycle.h"

#include <cairo.h>

#include <cstdio>
#include <cstring>

#include "gui/backend/base_face.h"
#include "runtime/api/values.h"
#include "gui/backend/events.h"
#include "gui/face/face.h"
#include "gui/backend/fonts.h"
#include "gui/text/handles.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/cells.h"
#include "runtime/datatypes/object.h"
#include "runtime/datatypes/symbol.h"
#include "runtime/datatypes/word.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/integer.h"
#include "runtime/datatypes/logic.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/string.h"
#include "runtime/collector.h"
#include "runtime/fire.h"
#include "runtime/datatypes/image.h"
#include "runtime/imaging/imaging.h"
#include "gui/win/dialogs/provider.h"
#include "gui/win/display.h"
#include <algorithm>

namespace vyr::gui {

using namespace win;

namespace {
// The state block's change mask cell, or null.
cell* mask_cell(const cell* face) {
  cell* state = facet(face, facet_index::state);
  if (!state || type_of(state) != TYPE_BLOCK) return nullptr;
  cell st = *state;
  if (block::rs_length_q(&st) < 2) return nullptr;
  cell* m = block::rs_abs_at(&st, u32(series::head_index(&st)) + 1);
  return type_of(m) == TYPE_INTEGER ? m : nullptr;
}
}  // namespace

u32 make_view_core(const cell* face, u32 parent) {
  face_type type = type_of_face(face);
  if (type == face_type::none) {
    const cell* t = facet(face, facet_index::type);
    cell v = t ? *t : cell{TYPE_NONE, 0, 0, 0};
    api::fire("script", "face-type", &v);
  }
  const face_type_record* record = face_types::record_of(type);
  // A type whose native side is still to come fails as a failed CreateWindowEx does.
  HWND h{};
  if (record) h = record->make(face, HWND{parent}, get_flags(facet(face, facet_index::flags)));
  if (is_null(h)) {
    std::fprintf(stderr, "*** View Error: CreateWindowEx failed!\n");
    return 0;
  }
  // A page of a tab-panel lies over the tab control's display area; a group box's frame
  // stays below what is put in it.
  const cell* parent_face = facet(face, facet_index::parent);
  if (parent_face && type_of(parent_face) == TYPE_OBJECT)
    if (auto place = slots_of(parent_face).place_page) place(face, h);
  HWND holder = GetParent(h);
  if (auto made = slots_of(face_of_window(holder)).child_window_made) made(holder);
  const cell* rate = facet(face, facet_index::rate);
  if (rate && type_of(rate) != TYPE_NONE) {
    cell r2 = *rate;
    set_rate(h, &r2);
  }
  return raw(h);
}

u32 OS_make_view(const cell* face, u32 parent) {
  i32 saved = enter_dpi_scope(HWND{parent});
  u32 h;
  try {
    h = make_view_core(face, parent);
  } catch (...) {
    leave_dpi_scope(saved);
    throw;
  }
  leave_dpi_scope(saved);
  return h;
}

void sync_face(const cell* face, HWND h) {
  cell* m = mask_cell(face);
  if (!m) return;
  u32 mask = m->data2;
  m->data2 = 0;
  // A rich-text face's kept layout is stale once anything of the face changed.
  const face_type_record* record = record_of_face(face);
  if (mask && face_types::text_of(type_of_face(face)) == face_text::box) text_box::mark_stale(face);
  (record ? record : &face_types::plain_record())->sync(face, h, mask);
}

void OS_update_view(const cell* face) {
  u32 h = face_handle_q(face);
  if (!h || !IsWindow(HWND(h))) {
    // An unrealised rich-text face is laid out again when it is next measured or drawn.
    if (face_types::text_of(type_of_face(face)) == face_text::box) text_box::mark_stale(face);
    return;
  }
  i32 saved = enter_dpi_scope(HWND(h));
  try {
    sync_face(face, HWND(h));
  } catch (...) {
    leave_dpi_scope(saved);
    throw;
  }
  leave_dpi_scope(saved);
}

namespace {
// A child whose geometry can go out in one batch with its siblings'.
bool batchable(const cell* face, HWND h) {
  if (is_null(GetParent(h))) return false;
  switch (slots_of(face).geometry) {
    case geometry_batch::with_siblings: return true;
    case geometry_batch::alone: return false;
    case geometry_batch::alone_when_layered: return !layered_q(h);
  }
  return true;
}

struct held_geometry { HWND window; HWND parent; u32 bits; RECT rect; bool visible; };
}  // namespace

void OS_update_views(const cell* faces) {
  if (type_of(faces) != TYPE_BLOCK) return;
  cell b = *faces;
  collector::root_guard guard(&b);
  constexpr u32 GEOMETRY = (1u << facet_index::offset) | (1u << facet_index::size) |
                           (1u << facet_index::visible);
  std::vector<held_geometry> held;
  for (i32 i = 0; i < block::rs_length_q(&b); i++) {
    cell f = *block::rs_abs_at(&b, u32(series::head_index(&b)) + u32(i));
    if (type_of(&f) != TYPE_OBJECT) continue;
    u32 h = face_handle_q(&f);
    if (!h || !IsWindow(HWND(h))) continue;
    cell* m = mask_cell(&f);
    if (m && (m->data2 & GEOMETRY) && batchable(&f, HWND(h))) {
      // The geometry waits for the batch; the other changes apply now.
      held_geometry g{HWND(h), GetParent(HWND(h)), m->data2 & GEOMETRY, {}, false};
      m->data2 &= ~GEOMETRY;
      logical_xy o = xy_of(facet(&f, facet_index::offset)), s = xy_of(facet(&f, facet_index::size));
      g.rect = RECT{to_pixels(o.x), to_pixels(o.y), 0, 0};
      g.rect.right = add32(g.rect.left, to_pixels(s.x));
      g.rect.bottom = add32(g.rect.top, to_pixels(s.y));
      g.visible = logic_true(facet(&f, facet_index::visible));
      held.push_back(g);
    }
    OS_update_view(&f);
  }
  // One deferred batch per parent window.
  std::vector<bool> done(held.size(), false);
  for (size_t i = 0; i < held.size(); i++) {
    if (done[i]) continue;
    HWND parent = held[i].parent;
    int n = 0;
    for (size_t j = i; j < held.size(); j++) n += held[j].parent == parent;
    HDWP batch = BeginDeferWindowPos(n);
    for (size_t j = i; j < held.size(); j++) {
      if (held[j].parent != parent) continue;
      done[j] = true;
      const held_geometry& g = held[j];
      u32 flags = SWP_NOZORDER | SWP_NOACTIVATE;
      if (!(g.bits & (1u << facet_index::offset))) flags |= SWP_NOMOVE;
      if (!(g.bits & (1u << facet_index::size))) flags |= SWP_NOSIZE;
      if (g.bits & (1u << facet_index::visible)) flags |= g.visible ? SWP_SHOWWINDOW : SWP_HIDEWINDOW;
      batch = DeferWindowPos(batch, g.window, 0, g.rect.left, g.rect.top, g.rect.width(),
                             g.rect.height(), flags);
    }
    EndDeferWindowPos(batch);
  }
}

void OS_show_window(HWND h) {
  window_extra* x = extra(h);
  if (!x) return;
  if (IsWindowVisible(h) && x->shown == 0) {
    UpdateWindow(h);
    return;
  }
  x->shown = 0;
  ShowWindow(h, SW_SHOWDEFAULT);
  UpdateWindow(h);
  SetForegroundWindow(h);
  focus_selected(h);
  set_dpi_from_window(h);
}

void layout_children(const cell* face_in) {
  cell face = *face_in;
  collector::root_guard guard(&face);
  const cell* pane = facet(&face, facet_index::pane);
  if (!pane || type_of(pane) != TYPE_BLOCK) return;
  cell p = *pane;
  collector::root_guard keep(&p);
  // The length is read at every step: a child's sizing may run handlers that edit the pane.
  for (i32 i = 0; i < block::rs_length_q(&p); i++) {
    cell child = *block::rs_abs_at(&p, u32(series::head_index(&p)) + u32(i));
    u32 ch = type_of(&child) == TYPE_OBJECT ? face_handle_q(&child) : 0;
    if (!ch) continue;
    collector::root_guard keep_child(&child);
    logical_xy o = xy_of(facet(&child, facet_index::offset)), s = xy_of(facet(&child, facet_index::size));
    RECT r{to_pixels(o.x), to_pixels(o.y), 0, 0};
    r.right = add32(r.left, to_pixels(s.x));
    r.bottom = add32(r.top, to_pixels(s.y));
    SetWindowPos(HWND(ch), 0, r.left, r.top, r.width(), r.height(), SWP_NOZORDER | SWP_NOACTIVATE);
    const face_type_record* rec = record_of_face(&child);
    const cell* font = facet(&child, facet_index::font);
    if (rec && rec->base_class && !(font && type_of(font) == TYPE_OBJECT)) set_control_font(HWND(ch), &child);
    layout_children(&child);
  }
}

void OS_redraw(HWND h) {
  InvalidateRect(h, nullptr, false);
  UpdateWindow(h);
}

void attach_child(const cell* face, const cell* parent) {
  u32 h = face_handle_q(face);
  bool has_parent = parent && type_of(parent) == TYPE_OBJECT;
  bool page = has_parent && slots_of(parent).place_page;
  if (!page)
    if (cell* v = facet(face, facet_index::visible)) logic::make_at(v, has_parent);
  if (!h) return;
  if (has_parent) {
    u32 p = face_handle_q(parent);
    if (page) return;
    SetParent(HWND(h), HWND(p));
    OS_show_window(HWND(h));
  } else {
    ShowWindow(HWND(h), SW_HIDE);
    SetParent(HWND(h), HWND{});
  }
}

namespace {
bool word_named(const cell* w, const char* name) {
  return w && word::kind_q(type_of(w)) && symbol::same_q(word::symbol_id(w), symbol::make(name));
}

// The change mask of the face gets the facet's bit.
void mark_facet(const cell* face, const cell* word) {
  i32 i = object::field_index(face, word::symbol_id(word));
  cell* m = mask_cell(face);
  if (m && i >= 0 && i < 32) m->data2 |= 1u << i;
}
}  // namespace

void OS_update_facet(const cell* owner, const cell* word, const cell* value, const cell* action,
                     const cell* new_value, i32 index, i32 part) {
  cell face = *owner, target = *value;
  collector::root_guard g1(&face), g2(&target);
  if (!word_named(word, "pane")) {
    // A change inside `data` of a type whose control shows it reaches the control's items;
    // every other facet goes out through the mask, as update-view sends it.
    u32 h = face_handle_q(&face);
    const face_type_record* record = record_of_face(&face);
    if (h && word_named(word, "data") && record && record->data_changed && IsWindow(HWND(h))) {
      record->data_changed(&face, HWND(h), &target, action, new_value, index, part);
      return;
    }
    mark_facet(&face, word);
    OS_update_view(&face);
    return;
  }
  // The faces a change added (after it is made) join the owner's window; a reordering or
  // a change announced before it is made only re-stacks what is there.
  bool added = false;
  for (const char* w : {"inserted", "appended", "poked", "changed", "moved"}) added |= word_named(action, w);
  if (added && type_of(&target) == TYPE_BLOCK && index >= 0 && part > 0) {
    for (i32 i = index; i < index + part; i++) {
      if (u32(i) >= cells::length(series::node(&target))) break;
      cell child = *cells::get(series::node(&target), u32(i));
      if (type_of(&child) != TYPE_OBJECT) continue;
      collector::root_guard gc(&child);
      attach_child(&child, &face);
    }
  }
  if (face_handle_q(&face)) restack_children(&face);
}

void restack_children(const cell* face) {
  const cell* pane = facet(face, facet_index::pane);
  if (!pane || type_of(pane) != TYPE_BLOCK) return;
  cell p = *pane;
  i32 n = block::rs_length_q(&p);
  u32 head = u32(series::head_index(&p));
  HDWP batch = BeginDeferWindowPos(n);
  for (i32 i = 0; i < n; i++) {
    const cell* child = block::rs_abs_at(&p, head + u32(i));
    if (u32 ch = face_handle_q(child))
      batch = DeferWindowPos(batch, HWND(ch), HWND_TOP, 0, 0, 0, 0,
                             SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
  }
  EndDeferWindowPos(batch);
  // Pages are its children's children: they keep the same order.
  for (i32 i = 0; i < n; i++) {
    cell child = *block::rs_abs_at(&p, head + u32(i));
    if (slots_of(&child).place_page) restack_children(&child);
  }
}


void OS_destroy_view(const cell* face, bool loop_owner) {
  free_face(face, true);
  if (loop_owner) loop_owner_destroyed();
}

cairo_surface_t* face_to_surface(const cell* face) {
  u32 h = face_handle_q(face);
  if (!h || !IsWindow(HWND(h))) return nullptr;
  HWND w{h};
  if (slots_of(face).repaint_for_picture) {
    // Painted afresh so that the picture is the face's own.
    InvalidateRect(w, nullptr, false);
    UpdateWindow(w);
  }
  RECT r;
  GetWindowRect(w, r);
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, r.width(), r.height());
  cairo_t* cr = cairo_create(s);
  PrintWindow(w, cr);
  cairo_destroy(cr);
  return s;
}

bool face_to_image(const cell* object, cell* out) {
  cell f = *object;
  const cell* type = facet(&f, facet_index::type);
  if (!type || type_of(type) != TYPE_WORD || !facet(&f, facet_index::draw)) return false;
  if (auto picture = slots_of(&f).picture) {
    picture(&f, HWND(face_handle_q(&f)), out);
    return true;
  }
  cairo_surface_t* s = nullptr;
  if (screen_face_q(&f)) {
    logical_xy size = xy_of(facet(&f, facet_index::size));
    if (display* d = current_display())
      s = d->capture(RECT{0, 0, to_pixels(size.x), to_pixels(size.y)});
  } else {
    s = face_to_surface(&f);
  }
  if (!s) {
    *out = cell{TYPE_NONE, 0, 0, 0};
    return true;
  }
  cairo_surface_flush(s);
  int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  int stride = cairo_image_surface_get_stride(s);
  const u8* data = cairo_image_surface_get_data(s);
  // cairo keeps premultiplied pixels; images keep straight ones.
  std::vector<u32> straight(size_t(w) * size_t(h));
  for (int y = 0; y < h; y++) {
    const u32* row = reinterpret_cast<const u32*>(data + size_t(y) * size_t(stride));
    for (int x = 0; x < w; x++) {
      u32 p = row[x], a = p >> 24;
      if (a != 0 && a != 255) {
        u32 r = ((p >> 16) & 0xFF) * 255 / a, g_ = ((p >> 8) & 0xFF) * 255 / a, b = (p & 0xFF) * 255 / a;
        p = (a << 24) | (std::min(r, 255u) << 16) | (std::min(g_, 255u) << 8) | std::min(b, 255u);
      }
      straight[size_t(y) * size_t(w) + size_t(x)] = p;
    }
  }
  cairo_surface_destroy(s);
  u32 record = image::make_from_memory(u32(w), u32(h), 0, reinterpret_cast<const u8*>(straight.data()));
  image::make_at(out, record);
  return true;
}

void install_lifecycle_hooks() { api::gui_module::table().face_to_image = face_to_image; }

void error_message_box(const std::string& caption, const std::string& text) {
  // Without dialogs (the GUI never started) the report on standard error stands alone.
  if (win::dialogs::provider* d = win::dialogs::current()) d->message_box({caption, text});
}

}  // namespace vyr::gui
