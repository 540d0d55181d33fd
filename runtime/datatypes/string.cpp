// string! storage: makers, accessors and writers with upward widening.
#include "runtime/datatypes/string.h"

#include <string>

#include "runtime/collector.h"
#include "runtime/fire.h"

namespace vyr::string {


cell* make_at_unit(cell* c, u32 size, u32 unit) {
  c->header = TYPE_UNSET;
  u32 node = memory::alloc_units(size, unit);
  *c = cell{TYPE_STRING, 0, node, 0};
  return c;
}

cell* make_at(cell* c, u32 size) { return make_at_unit(c, size ? size : 1, 1); }

u32 get_char(const char* p, u32 unit) {
  switch (unit) {
    case 1: return static_cast<u8>(*p);
    case 2: { u16 v; std::memcpy(&v, p, 2); return v; }
    default: { u32 v; std::memcpy(&v, p, 4); return v; }
  }
}

i32 rs_length_q(const cell* value) {
  series_buffer* b = buffer_of(value->data2);
  i64 n = i64(b->used_units()) - i64(value->data1);
  return n > 0 ? static_cast<i32>(n) : 0;
}

series_buffer* append_char(series_buffer* b, u32 cp) {
  u32 unit = b->unit();
  u32 want = cp <= 0x7F ? 1 : cp <= 0xFFFF ? 2 : 4;
  if (want > unit) {
    // Widen: copy the units into a wider buffer.
    u32 node = b->node;
    u32 n = b->used_units();
    u32 nb_node = memory::alloc_series(n + 16, want, 0);
    series_buffer* src = buffer_of(node);
    series_buffer* dst = buffer_of(nb_node);
    char* s = src->head();
    char* d = dst->data();
    for (u32 i = 0; i < n; i++) {
      u32 c = get_char(s + i * unit, unit);
      std::memcpy(d + i * want, &c, want);
    }
    dst->tail = dst->offset + n * want;
    // The value keeps its node: move the new buffer under it.
    dst->node = node;
    node_word(node) = arena::offset_of(dst);
    src->node = 0;
    src->flags &= ~SERIES_IN_USE;
    node_word(nb_node) = 0;
    memory::free_node(nb_node);
    b = dst;
    unit = want;
  }
  char* p = memory::alloc_tail_bytes(b, unit);
  std::memcpy(p, &cp, unit);  // little-endian: low bytes first
  return b;
}

series_buffer* concatenate_literal(cell* value, const char* text) {
  return concatenate_literal_part(value, text, static_cast<u32>(std::strlen(text)));
}

series_buffer* concatenate_literal_part(cell* value, const char* text, u32 n) {
  series_buffer* b = buffer_of(value->data2);
  for (u32 i = 0; i < n; i++) b = append_char(b, static_cast<u8>(text[i]));
  return b;
}

std::string to_utf8(const cell* value) {
  series_buffer* b = buffer_of(value->data2);
  u32 unit = b->unit();
  std::string out;
  u32 n = b->used_units();
  for (u32 i = value->data1; i < n; i++) {
    u32 c = get_char(b->head() + i * unit, unit);
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace vyr::string
