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

// ---- Layouts ---------------------------------------------------------------------------
// What each payload word holds, per type. Code outside the owning datatype module reads
// and writes the words through that module's named accessors (`series::index`,
// `series::node`, `word::context`, `word::symbol_id`, `word::index`, `function::spec`,
// `function::more`, `integer::get`, ...), never as data1/data2/data3; tools/check_cell_fields.py
// (run by CTest) holds the count of raw uses outside cell.h and runtime/datatypes/ to a
// baseline. "-" is a word no one reads. Rows are in type-id order; the static_assert below
// keeps the table complete when a type is added.
struct cell_layout {
  u32 type;
  const char* word1;
  const char* word2;
  const char* word3;
};

inline constexpr cell_layout cell_layouts[] = {
    {TYPE_VALUE, "-", "-", "-"},
    {TYPE_DATATYPE, "type id (datatype::id)", "-", "-"},
    {TYPE_UNSET, "-", "-", "-"},
    {TYPE_NONE, "-", "-", "-"},
    {TYPE_LOGIC, "1 true, 0 false (logic::get)", "-", "-"},
    {TYPE_BLOCK, "head index (series::index)", "block node (series::node)", "-"},
    {TYPE_PAREN, "head index", "block node", "-"},
    {TYPE_STRING, "head index", "unit buffer node", "conversion buffer node (string::cache)"},
    {TYPE_FILE, "head index", "unit buffer node", "conversion buffer node"},
    {TYPE_URL, "head index", "unit buffer node", "conversion buffer node"},
    {TYPE_CHAR, "-", "code point (char_::get)", "-"},
    {TYPE_INTEGER, "-", "signed 32-bit value (integer::get, integer::set)", "-"},
    {TYPE_FLOAT, "-", "double, low half (cell_float)", "double, high half"},
    {TYPE_SYMBOL, "alias id or -1 (symbol table rows)", "cached string! node", "name bytes node"},
    {TYPE_CONTEXT, "word table node (_context::table)", "value block node or stack reference (_context::values)", "-"},
    {TYPE_WORD, "context node (word::context)", "symbol id as written (word::symbol_id)", "value index or -1 (word::index)"},
    {TYPE_SET_WORD, "context node", "symbol id", "value index"},
    {TYPE_LIT_WORD, "context node", "symbol id", "value index"},
    {TYPE_GET_WORD, "context node", "symbol id", "value index"},
    {TYPE_REFINEMENT, "context node", "symbol id", "value index"},
    {TYPE_ISSUE, "context node", "symbol id", "value index"},
    {TYPE_NATIVE, "native table index (native::table_index)", "argument block node (function::spec)", "more-block node (function::more)"},
    {TYPE_ACTION, "action table index", "argument block node", "more-block node"},
    {TYPE_OP, "wrapped value's word 1", "argument block node", "more-block node"},
    {TYPE_FUNCTION, "context node (function::context)", "argument block node", "more-block node"},
    {TYPE_PATH, "head index", "block node", "-"},
    {TYPE_LIT_PATH, "head index", "block node", "-"},
    {TYPE_SET_PATH, "head index", "block node", "-"},
    {TYPE_GET_PATH, "head index", "block node", "-"},
    {TYPE_ROUTINE, "context node", "argument block node", "more-block node"},
    {TYPE_BITSET, "-", "byte buffer node (series::node)", "-"},
    {TYPE_TRIPLE, "signed 32-bit", "signed 32-bit", "signed 32-bit"},
    {TYPE_OBJECT, "context node (object::context)", "class id (object::class_id)", "event record node or 0 (object::events)"},
    {TYPE_TYPESET, "type map bytes 0-3 (typeset::map)", "type map bytes 4-7", "type map bytes 8-11"},
    {TYPE_ERROR, "context node", "class id", "event record node or 0"},
    {TYPE_VECTOR, "head index", "element buffer node", "element type id (vector::element_type)"},
    {TYPE_HASH, "head index", "block node", "kind-0 hash table node or 0 (hash::table)"},
    {TYPE_PAIR, "-", "x (pair::x_of)", "y (pair::y_of)"},
    {TYPE_PERCENT, "-", "double, low half (cell_float)", "double, high half"},
    {TYPE_TUPLE, "bytes 1-4", "bytes 5-8", "bytes 9-12"},
    {TYPE_MAP, "head index (0)", "pair block node", "kind-1 hash table node (map::table)"},
    {TYPE_BINARY, "head index", "byte buffer node", "-"},
    {TYPE_SERIES, "head index", "buffer node", "-"},
    {TYPE_TIME, "-", "seconds, double low half (cell_float)", "double, high half"},
    {TYPE_TAG, "head index", "unit buffer node", "conversion buffer node"},
    {TYPE_EMAIL, "head index", "unit buffer node", "conversion buffer node"},
    {TYPE_HANDLE, "kind (handle::kind_of)", "handle value (handle::get)", "-1"},
    {TYPE_DATE, "packed date", "UTC seconds, double low half", "double, high half"},
    {TYPE_PORT, "context node", "class id", "event record node or 0"},
    {TYPE_MONEY, "currency index (byte 4), digits from byte 5", "packed digits", "packed digits"},
    {TYPE_REF, "head index", "unit buffer node", "conversion buffer node"},
    {TYPE_POINT2D, "x (float)", "y (float)", "-"},
    {TYPE_POINT3D, "x (float)", "y (float)", "z (float)"},
    {TYPE_IMAGE, "head (pixel index)", "pixel record node or 0", "width bits 0-15, height 16-31"},
    {TYPE_EVENT, "type code", "message record index or block node", "key or picked value | flags"},
};

constexpr bool cell_layouts_complete() {
  if (sizeof cell_layouts / sizeof cell_layouts[0] != TYPE_TOTAL_COUNT) return false;
  for (u32 t = 0; t < TYPE_TOTAL_COUNT; t++)
    if (cell_layouts[t].type != t) return false;
  return true;
}
static_assert(cell_layouts_complete(), "cell_layouts has one row per type id, in order");

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
