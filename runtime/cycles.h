// The cycle stack: nodes being walked by mold, form, compare and ownership, so that a
// series that contains itself is seen once. Use `cycles::guard` so that an error leaving
// a walk never leaves its entry behind.
#pragma once
#include "runtime/cell.h"

namespace vyr::cycles {

constexpr u32 CAPACITY = 1000;

// The stack itself, for the inline operations below (every walk of a block asks them).
namespace detail {
extern u32 entries[CAPACITY];
extern u32 top;
[[noreturn]] void overflow();
}  // namespace detail

// Raises internal too-deep (after emptying) when full.
inline void push(u32 node) {
  detail::entries[detail::top++] = node;
  if (detail::top >= CAPACITY) detail::overflow();
}
inline void pop() { if (detail::top > 0) detail::top--; }
void pop_n(u32 n);
void reset();
inline bool find(u32 node) {
  for (u32 i = 0; i < detail::top; i++)
    if (detail::entries[i] == node) return true;
  return false;
}
u32 depth();

class guard {
 public:
  explicit guard(u32 node) { push(node); }
  ~guard() { pop(); }
  guard(const guard&) = delete;
  guard& operator=(const guard&) = delete;
};

}  // namespace vyr::cycles
