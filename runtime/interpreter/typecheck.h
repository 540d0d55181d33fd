// Argument type checks against typesets. The one place that reads a typeset cell's
// membership on the hot path. Layout (typeset!'s own): a 96-bit map in words 1-3, the bit
// of type id t in map byte t / 8 under mask 0x80 >> t % 8. The interpreter's argument cache
// keeps the argument's symbol in word 3 of its typesets, which holds ids 64-95: no type has
// such an id.
#pragma once
#include "runtime/cell.h"
#include "runtime/datatypes/datatype.h"
#include "runtime/datatypes/typeset.h"
#include <cstring>

namespace vyr::typecheck {

constexpr u64 ALL_TYPES = (u64{1} << TYPE_TOTAL_COUNT) - 2;  // every id but 0
constexpr u64 bit(u32 type) { return u64{1} << type; }

inline bool accepts(const cell* ts, u32 type) {
  if (type >= 64) return false;
  const u8* map = typeset::map(ts);
  return map[type >> 3] & (0x80u >> (type & 7));
}

// Conversions between the map and a 64-bit mask (bit t for type id t).
inline u64 mask_of(const cell* ts) {
  u64 m = 0;
  for (u32 t = 0; t < 64; t++)
    if (accepts(ts, t)) m |= bit(t);
  return m;
}
inline void set_mask(cell* ts, u64 mask) {
  u8* map = typeset::map(ts);
  std::memset(map, 0, 8);  // the map's first 64 bits; word 3 is left as it is
  for (u32 t = 0; t < 64; t++)
    if (mask & bit(t)) map[t >> 3] |= u8(0x80u >> (t & 7));
}

// The bits a type-spec item names: a datatype!, a typeset!, or 0 for anything else.
inline u64 bits_of(const cell* item) {
  if (type_of(item) == TYPE_DATATYPE) return bit(datatype::id(item));
  if (type_of(item) == TYPE_TYPESET) return mask_of(item);
  return 0;
}

}  // namespace vyr::typecheck
