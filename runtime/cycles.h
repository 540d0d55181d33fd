// The cycle stack: nodes being walked by mold, form, compare and ownership, so that a
// series that contains itself is seen once. Use `cycles::guard` so that an error leaving
// a walk never leaves its entry behind.
#pragma once
#include "runtime/cell.h"

namespace vyr::cycles {

constexpr u32 CAPACITY = 1000;

void push(u32 node);      // raises internal too-deep (after emptying) when full
void pop();
void pop_n(u32 n);
void reset();
bool find(u32 node);
u32 depth();

class guard {
 public:
  explicit guard(u32 node) { push(node); }
  ~guard() { pop(); }
  guard(const guard&) = delete;
  guard& operator=(const guard&) = delete;
};

}  // namespace vyr::cycles
