// Colours, points, font links, the association vector, time stamps and screen moves.
#include "gui/face/face_values.h"

#include "runtime/collector.h"
#include "runtime/datatypes/block.h"
#include "runtime/datatypes/handle.h"
#include "runtime/datatypes/pair.h"
#include "runtime/datatypes/point.h"
#include "runtime/datatypes/series.h"
#include "runtime/datatypes/tuple.h"
#include "runtime/datatypes/object.h"

namespace vyr::gui {

u32 tuple_to_color(const cell* t) {
  u32 n = tuple::count_of(t);
  u32 c = 0;
  for (u32 i = 0; i < 4 && i < n; i++) c |= u32(tuple::byte_at(t, i)) << (8 * i);
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
  if (type_of(c) == TYPE_PAIR) point2D::make_at(c, pair::x_of(c), pair::y_of(c));
}

void point2D_to_pair(cell* c) {
  if (type_of(c) == TYPE_POINT2D) {
    float x = point::get(c, 0), y = point::get(c, 1);
    auto whole = [](float v) -> i32 {
      if (!(v > -2147483648.0f)) return v != v ? 0 : INT32_MIN;
      if (v >= 2147483648.0f) return INT32_MAX;
      return i32(v);
    };
    pair::make_at(c, whole(x), whole(y));
  }
}

namespace {
// Index (from the buffer's start) of `face` in the block by identity, or -1.
i32 find_same(const cell* block, const cell* face) {
  series_buffer* b = buffer_of(series::node(block));
  u32 n = b->used_units();
  for (u32 i = 0; i < n; i++) {
    const cell* c = b->cells() + i;
    if (type_of(c) == TYPE_OBJECT && object::context(c) == object::context(face)) return i32(i);
  }
  return -1;
}
}  // namespace

void link_font_parent(const cell* face, const cell* font) {
  if (!face || !font || type_of(face) != TYPE_OBJECT || type_of(font) != TYPE_OBJECT) return;
  cell f = *face, fo = *font;
  collector::root_guard g1(&f), g2(&fo);
  cell* parent = facet(&fo, facet_index::font_parent);
  if (!parent) return;
  if (type_of(parent) != TYPE_BLOCK) {
    cell b;
    block::make_at(&b, 4);
    parent = facet(&fo, facet_index::font_parent);
    *parent = b;
  }
  series::index(parent) = 0;
  cell list = *parent;
  if (find_same(&list, &f) < 0) block::rs_append(&list, &f);
  parent = facet(&fo, facet_index::font_parent);
  series::index(parent) = buffer_of(series::node(parent))->used_units();
}

void unlink_face(const cell* owner, const cell* face, u32 index) {
  if (!owner || !face || type_of(owner) != TYPE_OBJECT) return;
  cell* parent = facet(owner, index);
  if (!parent || type_of(parent) != TYPE_BLOCK) return;
  cell list = *parent;
  series::index(&list) = 0;
  i32 at = find_same(&list, face);
  if (at >= 0) {
    series_buffer* b = buffer_of(series::node(&list));
    cell* cells = b->cells();
    u32 n = b->used_units();
    for (u32 i = u32(at); i + 1 < n; i++) cells[i] = cells[i + 1];
    block::rs_remove_last(&list);
  }
  parent = facet(owner, index);
  series::index(parent) = buffer_of(series::node(parent))->used_units();
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
  collector::root_guard g1(&list), g2(&win_face), g3(&cur);
  cell target{TYPE_NONE, 0, 0, 0};
  collector::root_guard g4(&target);
  i32 n = block::rs_length_q(&list);
  u32 head = u32(series::head_index(&list));
  for (i32 i = 0; i < n; i++) {
    cell s = *block::rs_abs_at(&list, head + u32(i));
    cell* state = facet(&s, facet_index::state);
    if (!state || type_of(state) != TYPE_BLOCK || block::rs_length_q(state) < 1) continue;
    const cell* h = block::rs_abs_at(state, u32(series::head_index(state)));
    if (type_of(h) == TYPE_HANDLE && handle::kind_of(h) == 2 && handle::get(h) == monitor) {
      target = s;
      break;
    }
  }
  if (type_of(&target) != TYPE_OBJECT) return;
  if (type_of(&cur) == TYPE_OBJECT && object::context(&cur) == object::context(&target)) return;
  bool removed = false;
  if (cell* pane = facet(&cur, facet_index::pane); pane && type_of(pane) == TYPE_BLOCK) {
    cell p = *pane;
    i32 at = find_same(&p, &win_face);
    if (at >= 0 && at >= i32(series::head_index(&p))) {
      series_buffer* b = buffer_of(series::node(&p));
      cell* cells = b->cells();
      u32 count = b->used_units();
      for (u32 i = u32(at); i + 1 < count; i++) cells[i] = cells[i + 1];
      block::rs_remove_last(&p);
      removed = true;
    }
  }
  if (cell* pane = facet(&target, facet_index::pane); pane && type_of(pane) == TYPE_BLOCK) {
    cell p = *pane;
    if (removed) block::insert_value(&p, &win_face, false, false);
    else block::rs_append(&p, &win_face);
  }
  if (cell* parent = facet(&win_face, facet_index::parent)) *parent = target;
}

}  // namespace vyr::gui
