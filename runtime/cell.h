// The value cell: four 32-bit words (header, three payload words), and the type ids.
// A cell never holds a machine pointer; series and contexts are reached through node offsets.
#pragma once
#include <cstdint>
#include <cstring>

namespace vyr {

using u8 = uint8_t;
using u16 = uint16_t;
using u32 = uint32_t;
using i32 = int32_t;
using u64 = uint64_t;
using i64 = int64_t;

enum type_id : u32 {
  TYPE_VALUE = 0,  // no type: a cleared cell
  TYPE_DATATYPE = 1, TYPE_UNSET, TYPE_NONE, TYPE_LOGIC, TYPE_BLOCK, TYPE_PAREN,
  TYPE_STRING, TYPE_FILE, TYPE_URL, TYPE_CHAR, TYPE_INTEGER, TYPE_FLOAT,
  TYPE_SYMBOL, TYPE_CONTEXT, TYPE_WORD, TYPE_SET_WORD, TYPE_LIT_WORD,
  TYPE_GET_WORD, TYPE_REFINEMENT, TYPE_ISSUE, TYPE_NATIVE, TYPE_ACTION,
  TYPE_OP, TYPE_FUNCTION, TYPE_PATH, TYPE_LIT_PATH, TYPE_SET_PATH,
  TYPE_GET_PATH, TYPE_ROUTINE, TYPE_BITSET, TYPE_TRIPLE, TYPE_OBJECT,
  TYPE_TYPESET, TYPE_ERROR, TYPE_VECTOR, TYPE_HASH, TYPE_PAIR, TYPE_PERCENT,
  TYPE_TUPLE, TYPE_MAP, TYPE_BINARY, TYPE_SERIES, TYPE_TIME, TYPE_TAG,
  TYPE_EMAIL, TYPE_HANDLE, TYPE_DATE, TYPE_PORT, TYPE_MONEY, TYPE_REF,
  TYPE_POINT2D, TYPE_POINT3D, TYPE_IMAGE, TYPE_EVENT,
  TYPE_TOTAL_COUNT  // one past the last type id
};

// Header bits shared by every type.
constexpr u32 HEADER_TYPE_MASK = 0xFFu;
constexpr u32 HEADER_NEW_LINE = 1u << 30;

struct cell {
  u32 header;
  u32 data1;
  u32 data2;
  u32 data3;
};
static_assert(sizeof(cell) == 16, "a cell is four 32-bit words");

inline u32 type_of(const cell* c) { return c->header & HEADER_TYPE_MASK; }

// Cells are copied as whole four-word units.
inline cell* copy_cell(const cell* src, cell* dst) {
  if (src != dst) std::memcpy(dst, src, sizeof(cell));
  return dst;
}

inline void set_type(cell* c, u32 type) { c->header = (c->header & ~HEADER_TYPE_MASK) | type; }
inline void clear_new_line(cell* c) { c->header &= ~HEADER_NEW_LINE; }

// A float!'s double (and other 8-byte payloads) lives in words 2-3; cells are only 4-byte
// aligned, so the double is read and written through memcpy.
inline double cell_float(const cell* c) {
  double d;
  std::memcpy(&d, &c->data2, sizeof d);
  return d;
}
inline void set_cell_float(cell* c, double d) { std::memcpy(&c->data2, &d, sizeof d); }

}  // namespace vyr
