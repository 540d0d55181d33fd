// Cells of pair!, percent!, tuple!, point2D! and handle! as the backend reads and writes
// them: fixed cell layouts (pair: x, y in words 2-3; handle: kind in word 1, handle in word 2,
// -1 in word 3; tuple: length in header bits 19-22, parts from byte 4; point2D: float32 x, y
// in words 1-2; percent: a double in words 2-3).
#pragma once
#include <cstring>

#include "runtime/cell.h"

namespace vyr::gui::cells {

inline cell* make_pair(cell* c, i32 x, i32 y) {
  *c = cell{TYPE_PAIR, 0, static_cast<u32>(x), static_cast<u32>(y)};
  return c;
}
inline i32 pair_x(const cell* c) { return static_cast<i32>(c->data2); }
inline i32 pair_y(const cell* c) { return static_cast<i32>(c->data3); }

inline cell* make_handle(cell* c, u32 handle, u32 kind) {
  *c = cell{TYPE_HANDLE, kind, handle, 0xFFFFFFFFu};
  return c;
}
inline u32 handle_kind(const cell* c) { return c->data1; }
inline u32 handle_value(const cell* c) { return c->data2; }

inline cell* make_float(cell* c, double d, u32 type = TYPE_FLOAT) {
  *c = cell{type, 0, 0, 0};
  set_cell_float(c, d);
  return c;
}

inline float point_x(const cell* c) { float f; std::memcpy(&f, &c->data1, 4); return f; }
inline float point_y(const cell* c) { float f; std::memcpy(&f, &c->data2, 4); return f; }
inline cell* make_point(cell* c, float x, float y) {
  *c = cell{TYPE_POINT2D, 0, 0, 0};
  std::memcpy(&c->data1, &x, 4);
  std::memcpy(&c->data2, &y, 4);
  return c;
}

inline u32 tuple_length(const cell* c) { return (c->header >> 19) & 0xF; }
inline u8 tuple_part(const cell* c, u32 i) { return reinterpret_cast<const u8*>(c)[4 + i]; }
inline cell* make_tuple(cell* c, const u8* parts, u32 n) {
  *c = cell{TYPE_TUPLE | (n << 19), 0, 0, 0};
  std::memcpy(reinterpret_cast<u8*>(c) + 4, parts, n);
  return c;
}

}  // namespace vyr::gui::cells
