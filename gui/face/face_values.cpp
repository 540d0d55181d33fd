// Colours, points, font links, the association vector, time stamps and screen moves.
#include "gui/face/face_values.h"

#include "runtime/api/values.h"

namespace vyr::gui {

u32 tuple_to_color(const cell* t) {
  u32 n = api::tuple::count_of(t);
  u32 c = 0;
  for (u32 i = 0; i < 4 && i < n; i++) c |= u32(api::tuple::byte_at(t, i)) << (8 * i);
  return n == 3 ? c & 0xFFFFFF : c;
}

u32 color_to_argb(const cell* t) {
  u32 c = tuple_to_color(t);
  u32 r = c & 0xFF, g_ = (c >> 8) & 0xFF, b = (c >> 16) & 0xFF, a = 0xFF - (c >> 24);
  return (a << 24) | (r << 16) | (g_ << 8) | b;
}

u32 color_to_argb_translucent(const cell* t) {
  u32 c = color_to_argb(t);
  return (c >> 24) == 0xFF ? (c & 0x00FFFFFF) | 0xFE000000u : c;
}

void pair_to_point2D(cell* c) {
  if (type_of(c) == TYPE_PAIR) *c = api::make_point(float(api::pair::x_of(c)), float(api::pair::y_of(c)));
}

void point2D_to_pair(cell* c) {
  if (type_of(c) == TYPE_POINT2D) {
    float x = api::point_axis(c, 0), y = api::point_axis(c, 1);
    auto whole = [](float v) -> i32 {
      if (!(v > -2147483648.0f)) return v != v ? 0 : INT32_MIN;
      if (v >= 2147483648.0f) return INT32_MAX;
      return i32(v);
    };
    api::pair::make_at(c, whole(x), whole(y));
  }
}

namespace {
// Index (from the buffer's start) of `face` in the block by identity, or -1.
i32 find_same(const cell* block, const cell* face) {
  u32 node = api::series::node(block), n = api::cells::length(node);
  for (u32 i = 0; i < n; i++) {
    const cell* c = api::cells::at(node, i);
    if (type_of(c) == TYPE_OBJECT && api::object::context(c) == api::object::context(face)) return i32(i);
  }
  return -1;
}
}  // namespace

void link_font_parent(const cell* face, const cell* font) {
  if (!face || !font || type_of(face) != TYPE_OBJECT || type_of(font) != TYPE_OBJECT) return;
  cell f = *face, fo = *font;
  api::root_guard g1(&f), g2(&fo);
  cell* parent = facet(&fo, facet_index::font_parent);
  if (!parent) return;
  if (type_of(parent) != TYPE_BLOCK) {
    cell b;
    api::block::make_at(&b, 4);
    parent = facet(&fo, facet_index::font_parent);
    *parent = b;
  }
  api::series::index(parent) = 0;
  cell list = *parent;
  if (find_same(&list, &f) < 0) api::block::rs_append(&list, &f);
  parent = facet(&fo, facet_index::font_parent);
  api::series::index(parent) = api::cells::length(api::series::node(parent));
}

void unlink_face(const cell* owner, const cell* face, u32 index) {
  if (!owner || !face || type_of(owner) != TYPE_OBJECT) return;
  cell* parent = facet(owner, index);
  if (!parent || type_of(parent) != TYPE_BLOCK) return;
  cell list = *parent;
  api::series::index(&list) = 0;
  i32 at = find_same(&list, face);
  if (at >= 0) {
    u32 node = api::series::node(&list), n = api::cells::length(node);
    cell* cells = api::cells::at(node, 0);
    for (u32 i = u32(at); i + 1 < n; i++) cells[i] = cells[i + 1];
    api::block::rs_remove_last(&list);
  }
  parent = facet(owner, index);
  api::series::index(parent) = api::cells::length(api::series::node(parent));
}

u32 vector_find(const assoc_vector& v, u32 key) {
  for (u32 i = 0; i < v.count; i++)
    if (v.items[i].key == key) return v.items[i].value;
  return 0;
}

void vector_push(assoc_vector& v, u32 key, u32 value) {
  if (v.count >= 64) return;
  v.items[v.count++] = {key, value};
}

i64 time_stamp() { return win::now_us(); }

double elapsed_ms(i64& stamp) {
  i64 now = win::now_us();
  i64 d = now - stamp;
  if (d < 0) {
    stamp = now;
    d = 0x7FFFFFFF;
  }
  return double(d) / 1000.0;
}

void move_window_to_screen(u32 monitor, const cell* window_face, const cell* current,
                           const cell* screens) {
  if (!screens || type_of(screens) != TYPE_BLOCK) return;
  cell list = *screens, win_face = *window_face, cur = current ? *current : cell{TYPE_NONE, 0, 0, 0};
  api::root_guard g1(&list), g2(&win_face), g3(&cur);
  cell target{TYPE_NONE, 0, 0, 0};
  api::root_guard g4(&target);
  i32 n = api::block::rs_length_q(&list);
  u32 head = u32(api::head_index(&list));
  for (i32 i = 0; i < n; i++) {
    cell s = *api::block::rs_abs_at(&list, head + u32(i));
    cell* state = facet(&s, facet_index::state);
    if (!state || type_of(state) != TYPE_BLOCK || api::block::rs_length_q(state) < 1) continue;
    const cell* h = api::block::rs_abs_at(state, u32(api::head_index(state)));
    if (type_of(h) == TYPE_HANDLE && api::handle_kind_of(h) == 2 && api::handle_value(h) == monitor) {
      target = s;
      break;
    }
  }
  if (type_of(&target) != TYPE_OBJECT) return;
  if (type_of(&cur) == TYPE_OBJECT && api::object::context(&cur) == api::object::context(&target)) return;
  bool removed = false;
  if (cell* pane = facet(&cur, facet_index::pane); pane && type_of(pane) == TYPE_BLOCK) {
    cell p = *pane;
    i32 at = find_same(&p, &win_face);
    if (at >= 0 && at >= i32(api::head_index(&p))) {
      u32 node = api::series::node(&p), count = api::cells::length(node);
      cell* cells = api::cells::at(node, 0);
      for (u32 i = u32(at); i + 1 < count; i++) cells[i] = cells[i + 1];
      api::block::rs_remove_last(&p);
      removed = true;
    }
  }
  if (cell* pane = facet(&target, facet_index::pane); pane && type_of(pane) == TYPE_BLOCK) {
    cell p = *pane;
    if (removed) api::block::insert_value(&p, &win_face, false, false);
    else api::block::rs_append(&p, &win_face);
  }
  if (cell* parent = facet(&win_face, facet_index::parent)) *parent = target;
}

}  // namespace vyr::gui
