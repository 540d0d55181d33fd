// The face readers.
#include "gui/face/face.h"

#include "runtime/api/values.h"

namespace vyr::gui {

cell* facet(const cell* object, u32 index) {
  if (!object || (type_of(object) != TYPE_OBJECT && type_of(object) != TYPE_ERROR)) return nullptr;
  if (index >= api::_context::value_count(api::object::context(object))) return nullptr;
  return api::object::get_values(object) + index;
}

face_type type_of_face(const cell* face) {
  const cell* t = facet(face, facet_index::type);
  if (!t || type_of(t) != TYPE_WORD) return face_type::none;
  return face_types::of_symbol(api::word::symbol_id(t));
}

const face_type_record* record_of_face(const cell* face) {
  return face_types::record_of(type_of_face(face));
}

const face_type_record& slots_of(const cell* face) { return face_types::slots(type_of_face(face)); }

bool screen_face_q(const cell* face) { return type_of_face(face) == face_type::screen; }

logical_xy xy_of(const cell* c) {
  logical_xy s;
  if (!c) return s;
  if (type_of(c) == TYPE_PAIR) {
    s.x = float(api::pair::x_of(c));
    s.y = float(api::pair::y_of(c));
    s.pair = true;
  } else if (type_of(c) == TYPE_POINT2D) {
    s.x = api::point_axis(c, 0);
    s.y = api::point_axis(c, 1);
  }
  return s;
}

std::string text_of(const cell* c) {
  if (!c || type_of(c) != TYPE_STRING) return {};
  return api::string::to_utf8(c);
}

bool logic_true(const cell* c) { return c && type_of(c) == TYPE_LOGIC && api::logic::get(c); }

i64 color_of(const cell* values, u32 index) {
  if (!values) return -1;
  const cell* c = values + index;
  if (type_of(c) != TYPE_TUPLE) return -1;
  return api::tuple::byte_at(c, 0) | (api::tuple::byte_at(c, 1) << 8) | (i64(api::tuple::byte_at(c, 2)) << 16);
}

u32 get_flags(const cell* flags) {
  static const struct { const char* name; u32 bit; } table[] = {
#define VYR_FACE_FLAG_ROW(member, word, bit) {word, bit},
      VYR_FACE_FLAGS(VYR_FACE_FLAG_ROW)
#undef VYR_FACE_FLAG_ROW
  };
  auto one = [&](const cell* w) -> u32 {
    if (type_of(w) == TYPE_WORD)
      for (auto& t : table)
        if (api::symbol::same_q(api::word::symbol_id(w), api::symbol::make(t.name))) return t.bit;
    cell v = *w;
    api::fire("script", "invalid-arg", &v);
  };
  cell f = *flags;
  if (type_of(&f) == TYPE_WORD) return one(&f);
  if (type_of(&f) != TYPE_BLOCK) return 0;
  u32 mask = 0;
  i32 n = api::block::rs_length_q(&f);
  u32 head = u32(api::head_index(&f));
  for (i32 i = 0; i < n; i++) {
    cell w = *api::block::rs_abs_at(&f, head + u32(i));
    mask |= one(&w);
  }
  return mask;
}

// The name's symbol is made before the block is read: making a new one may collect, and
// the collector moves the cells `options` points into. The block's node stays.
const cell* option_after(const cell* options_in, const char* name) {
  if (!options_in || type_of(options_in) != TYPE_BLOCK) return nullptr;
  cell block = *options_in;
  api::root_guard g(&block);
  const cell* options = &block;
  u32 sym = api::symbol::make(name);
  i32 n = api::block::rs_length_q(options);
  u32 head = u32(api::head_index(options));
  for (i32 i = 0; i + 1 < n; ++i) {
    const cell* c = api::block::rs_abs_at(options, head + u32(i));
    if (api::word::any_word_q(type_of(c)) && api::symbol::same_q(api::word::symbol_id(c), sym))
      return api::block::rs_abs_at(options, head + u32(i + 1));
  }
  return nullptr;
}

const cell* option_pair(const cell* options_in, const char* name, bool set_words) {
  if (!options_in || type_of(options_in) != TYPE_BLOCK) return nullptr;
  cell block = *options_in;
  api::root_guard g(&block);
  const cell* options = &block;
  u32 sym = api::symbol::make(name);
  i32 n = api::block::rs_length_q(options);
  if (n <= 0 || n % 2) return nullptr;
  u32 head = u32(api::head_index(options));
  const cell* found = nullptr;
  for (i32 i = 0; i + 1 < n; i += 2) {
    const cell* k = api::block::rs_abs_at(options, head + u32(i));
    bool key = set_words ? type_of(k) == TYPE_SET_WORD : api::word::any_word_q(type_of(k));
    if (key && api::symbol::same_q(api::word::symbol_id(k), sym)) found = k + 1;
  }
  return found;
}

}  // namespace vyr::gui
