// Argument type checks against typesets. The one place that reads a typeset cell's
// membership, so the typeset! module's own layout can be switched in here alone.
// Layout used: bit n of a 64-bit mask for type id n, low word in word 1, high in word 2.
#pragma once
#include "runtime/cell.h"

namespace vyr::typecheck {

constexpr u64 ALL_TYPES = (u64{1} << TYPE_TOTAL_COUNT) - 2;  // every id but 0
constexpr u64 bit(u32 type) { return u64{1} << type; }

inline u64 mask_of(const cell* ts) { return u64{ts->data1} | (u64{ts->data2} << 32); }
inline void set_mask(cell* ts, u64 mask) {
  ts->data1 = static_cast<u32>(mask);
  ts->data2 = static_cast<u32>(mask >> 32);
}
inline bool accepts(const cell* ts, u32 type) { return (mask_of(ts) >> type) & 1; }

// The bits a type-spec item names: a datatype!, a typeset!, or 0 for anything else.
inline u64 bits_of(const cell* item) {
  if (type_of(item) == TYPE_DATATYPE) return bit(item->data1);
  if (type_of(item) == TYPE_TYPESET) return mask_of(item);
  return 0;
}

}  // namespace vyr::typecheck
