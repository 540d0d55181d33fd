// Sizes computed from counts that input controls: a product that would wrap or pass a
// limit is refused, never wrapped into a small allocation. The callers decide what a
// refusal means (the arena raises no-memory; a decoder refuses the file).
#pragma once
#include <cstdint>

namespace vyr::checked {

// count * unit into `out`; false when it wraps 64 bits or exceeds `limit`.
inline bool product(uint64_t count, uint64_t unit, uint64_t limit, uint64_t& out) {
  return !__builtin_mul_overflow(count, unit, &out) && out <= limit;
}

}  // namespace vyr::checked
