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

// Conversions between the map and a 64-bit mask (bit t for type id t). A map byte holds its
// lowest type id in its top bit, so each byte is the mask's byte reversed: a byte at a time,
// since every function made (the boot image makes hundreds) converts its argument types.
constexpr u8 reverse_bits(u8 b) {
  b = u8((b & 0xF0u) >> 4 | (b & 0x0Fu) << 4);
  b = u8((b & 0xCCu) >> 2 | (b & 0x33u) << 2);
  return u8((b & 0xAAu) >> 1 | (b & 0x55u) << 1);
}
inline u64 mask_of(const cell* ts) {
  const u8* map = typeset::map(ts);
  u64 m = 0;
  for (u32 i = 0; i < 8; i++) m |= u64(reverse_bits(map[i])) << (8 * i);
  return m;
}
inline void set_mask(cell* ts, u64 mask) {
  u8* map = typeset::map(ts);  // the map's first 64 bits; word 3 is left as it is
  for (u32 i = 0; i < 8; i++) map[i] = reverse_bits(u8(mask >> (8 * i)));
}

// The bits a type-spec item names: a datatype!, a typeset!, or 0 for anything else.
inline u64 bits_of(const cell* item) {
  if (type_of(item) == TYPE_DATATYPE) return bit(datatype::id(item));
  if (type_of(item) == TYPE_TYPESET) return mask_of(item);
  return 0;
}

}  // namespace vyr::typecheck
