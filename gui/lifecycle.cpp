// Making, updating and destroying the native windows of faces.
#include "gui/lifecycle.h"

#include <cairo.h>

#include <cstdio>
#include <cstring>

#include "gui/base_face.h"
#include "gui/events.h"
#include "runtime/datatypes/block.h"
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
#include <algorithm>

namespace vyr::gui {

using namespace win;

std::vector<std::string> message_boxes;

namespace {
struct fsize { float x = 0, y = 0; bool pair = false; };

fsize read_xy(const cell* c) {
  fsize s;
  if (!c) return s;
  if (type_of(c) == TYPE_PAIR) {
    s.x = float(pair::x_of(c));
    s.y = float(pair::y_of(c));
    s.pair = true;
  } else if (type_of(c) == TYPE_POINT2D) {
    s.x = point::get(c, 0);
    s.y = point::get(c, 1);
  }
  return s;
}

bool logic_true(const cell* c) { return c && type_of(c) == TYPE_LOGIC && logic::get(c); }

const char* const control_types[] = {"button", "toggle", "check", "radio", "field", "area", "text",
                                      "text-list", "progress", "slider", "drop-down", "drop-list",
                                      "image", "tab-panel", "group-box", "camera", "caret",
                                      "scroller", "calendar"};

std::string text_of(const cell* c) {
  if (!c || type_of(c) != TYPE_STRING) return {};
  cell s = *c;
  return string::to_utf8(&s);
}

// The state block's change mask cell, or null.
cell* mask_cell(const cell* face) {
  cell* state = facet(face, facet_index::state);
  if (!state || type_of(state) != TYPE_BLOCK) return nullptr;
  cell st = *state;
  if (block::rs_length_q(&st) < 2) return nullptr;
  cell* m = block::rs_abs_at(&st, u32(series::head_index(&st)) + 1);
  return type_of(m) == TYPE_INTEGER ? m : nullptr;
}

void recompose(HWND h) {
  if (layered_q(h)) compose_layered(h);
  else InvalidateRect(h, nullptr, true);
}
}  // namespace

u32 make_view_core(const cell* face, u32 parent) {
  const cell* type = facet(face, facet_index::type);
  bool known = false;
  for (const char* t : control_types)
    if (face_type_q(face, t)) known = true;
  const char* cls = nullptr;
  bool window = face_type_q(face, "window");
  if (window) cls = "VyrWindow";
  else if (face_type_q(face, "panel")) cls = "VyrPanel";
  else if (face_type_q(face, "base") || face_type_q(face, "rich-text")) cls = "VyrBase";
  if (!cls) {
    if (!known) {
      cell t = type ? *type : cell{TYPE_NONE, 0, 0, 0};
      fire("script", "face-type", &t);
    }
    // Controls get their classes with the widget code; until then creation fails as a
    // failed CreateWindowEx does.
    std::fprintf(stderr, "*** View Error: CreateWindowEx failed!\n");
    return 0;
  }
  u32 flags = get_flags(facet(face, facet_index::flags));
  cell* offset_cell = facet(face, facet_index::offset);
  fsize offset = read_xy(offset_cell);
  if (offset_cell && type_of(offset_cell) == TYPE_PAIR) point2D::make_at(offset_cell, offset.x, offset.y);
  fsize size = read_xy(facet(face, facet_index::size));
  u32 style = WS_CHILD | WS_CLIPSIBLINGS, exstyle = 0;
  if (logic_true(facet(face, facet_index::visible)) && !window) style |= WS_VISIBLE;
  const cell* enabled = facet(face, facet_index::enabled);
  if (enabled && type_of(enabled) == TYPE_LOGIC && !logic::get(enabled)) style |= WS_DISABLED;
  if (flags & 0x40000) style |= WS_HSCROLL | WS_VSCROLL;
  HWND owner{parent};
  if (!window) {
    style |= WS_CLIPCHILDREN;
    if (cls == std::string("VyrBase") &&
        needs_layered_q(facet(face, facet_index::color), facet(face, facet_index::image)))
      exstyle |= WS_EX_LAYERED;
  } else {
    style = WS_CAPTION | WS_CLIPCHILDREN;
    if (!(flags & 0x20000000)) style |= WS_MINIMIZEBOX;
    if (!(flags & 0x10000000)) style |= WS_MAXIMIZEBOX;
    if (!(flags & 0x08000000)) style |= WS_SYSMENU;
    if (flags & 0x01000000) exstyle |= WS_EX_TOOLWINDOW;
    if (flags & 0x04000000) style |= WS_THICKFRAME;
    else style &= ~WS_MAXIMIZEBOX;
    if (flags & 0x40000000) style = WS_POPUP | WS_BORDER;
    if (flags & 0x80000000u) style = WS_POPUP;
    if (size.x < 0) size.x = 200;
    if (size.y < 0) size.y = 200;
    if (flags & 0x02000000) owner = GetActiveWindow();
    set_dpi_from_rect(offset.x, offset.y, size.x, size.y);
  }
  RECT r{to_pixels(offset.x), to_pixels(offset.y), 0, 0};
  r.right = add32(r.left, to_pixels(size.x));
  r.bottom = add32(r.top, to_pixels(size.y));
  i32 used_dpi = g().dpi_x;
  if (window) AdjustWindowRectEx(r, style, false, exstyle);
  std::string text = window ? text_of(facet(face, facet_index::text)) : std::string();
  HWND h = CreateWindowEx(exstyle, cls, text, style, r.left, r.top, r.width(), r.height(),
                          owner, HMENU{}, const_cast<cell*>(face));
  if (is_null(h)) {
    std::fprintf(stderr, "*** View Error: CreateWindowEx failed!\n");
    return 0;
  }
  if (window) {
    i32 dpi = window_dpi(h);
    if (dpi != used_dpi) {
      // The monitor the window landed on has another DPI: size it for that one.
      set_dpi(dpi);
      RECT c{0, 0, to_pixels(size.x), to_pixels(size.y)};
      AdjustWindowRectEx(c, style, false, exstyle);
      SetWindowPos(h, 0, 0, 0, c.width(), c.height(), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (size.pair) if (window_extra* x = extra(h)) x->flags |= WINDOW_SIZE_IS_PAIR;
    SetWindowPos(h, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  if (window_extra* x = extra(h)) x->face_flags = flags;
  attach_face(h, face);
  set_cursor_option(h, facet(face, facet_index::options));
  if (cls == std::string("VyrBase")) {
    init_base_window(h, owner, face);
    if (layered_q(h)) compose_layered(h);
  }
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
  auto bit = [&](u32 n) { return (mask >> n) & 1; };
  bool window = face_type_q(face, "window");
  bool composed = window || face_type_q(face, "base") || face_type_q(face, "rich-text") ||
                  face_type_q(face, "panel");
  if (bit(facet_index::offset) || bit(facet_index::size)) {
    fsize o = read_xy(facet(face, facet_index::offset)), s = read_xy(facet(face, facet_index::size));
    RECT r{to_pixels(o.x), to_pixels(o.y), 0, 0};
    r.right = add32(r.left, to_pixels(s.x));
    r.bottom = add32(r.top, to_pixels(s.y));
    u32 style = u32(GetWindowLong(h, GWL_STYLE)), ex = u32(GetWindowLong(h, GWL_EXSTYLE));
    if (window) AdjustWindowRectEx(r, style, false, ex);
    u32 f = SWP_NOZORDER | SWP_NOACTIVATE;
    if (!bit(facet_index::offset)) f |= SWP_NOMOVE;
    if (!bit(facet_index::size)) f |= SWP_NOSIZE;
    SetWindowPos(h, 0, r.left, r.top, r.width(), r.height(), f);
  }
  if (bit(facet_index::text)) {
    if (composed && !window) recompose(h);
    else SetWindowText(h, text_of(facet(face, facet_index::text)));
  }
  if (bit(facet_index::enabled)) EnableWindow(h, logic_true(facet(face, facet_index::enabled)));
  if (bit(facet_index::visible)) {
    bool shown = logic_true(facet(face, facet_index::visible));
    ShowWindow(h, !shown ? SW_HIDE : face_type_q(face, "base") ? SW_SHOWNA : SW_SHOW);
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
    const cell* pane = facet(face, facet_index::pane);
    if (pane && type_of(pane) == TYPE_BLOCK) {
      cell p = *pane;
      i32 n = block::rs_length_q(&p);
      u32 head = u32(series::head_index(&p));
      for (i32 i = 0; i < n; i++) {
        cell child = *block::rs_abs_at(&p, head + u32(i));
        u32 ch = face_handle_q(&child);
        if (ch) SetWindowPos(HWND(ch), HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
      }
    }
  }
  if (bit(facet_index::rate)) {
    cell r = *facet(face, facet_index::rate);
    set_rate(h, &r);
  }
  if (bit(facet_index::font) || bit(facet_index::para)) {
    if (composed) recompose(h);
    else InvalidateRect(h, nullptr, true);
  }
  if (bit(facet_index::image) && composed) recompose(h);
  if (bit(facet_index::options)) set_cursor_option(h, facet(face, facet_index::options));
}

void OS_update_view(const cell* face) {
  u32 h = face_handle_q(face);
  if (!h || !IsWindow(HWND(h))) return;
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
  for (const char* t : {"window", "tab-panel", "group-box", "area", "camera"})
    if (face_type_q(face, t)) return false;
  return !(face_type_q(face, "base") && layered_q(h));
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
      fsize o = read_xy(facet(&f, facet_index::offset)), s = read_xy(facet(&f, facet_index::size));
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

void OS_redraw(HWND h) {
  InvalidateRect(h, nullptr, false);
  UpdateWindow(h);
}

void attach_child(const cell* face, const cell* parent) {
  u32 h = face_handle_q(face);
  bool has_parent = parent && type_of(parent) == TYPE_OBJECT;
  if (!(has_parent && face_type_q(parent, "tab-panel")))
    if (cell* v = facet(face, facet_index::visible)) logic::make_at(v, has_parent);
  if (!h) return;
  if (has_parent) {
    u32 p = face_handle_q(parent);
    if (face_type_q(parent, "tab-panel")) return;
    SetParent(HWND(h), HWND(p));
    OS_show_window(HWND(h));
  } else {
    ShowWindow(HWND(h), SW_HIDE);
    SetParent(HWND(h), HWND{});
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
  if (face_type_q(face, "base")) {
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
  cairo_surface_t* s = nullptr;
  if (face_type_q(&f, "screen")) {
    fsize size = read_xy(facet(&f, facet_index::size));
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

void error_message_box(const std::string& caption, const std::string& text) {
  display* d = current_display();
  if (d && std::strcmp(d->name(), "headless") == 0) {
    message_boxes.push_back(caption + ": " + text);
    return;
  }
  // Until the GUI has its own message box, the report goes to stderr.
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
}

}  // namespace vyr::gui
