// Cycle stack storage: a fixed array of CAPACITY nodes.
#include "runtime/cycles.h"

#include "runtime/fire.h"

namespace vyr::cycles {

namespace {
u32 entries[CAPACITY];
u32 top = 0;
}  // namespace

void push(u32 node) {
  entries[top++] = node;
  if (top >= CAPACITY) {
    // The guards of the walks being unwound pop entries that are no longer there.
    top = 0;
    fire("internal", "too-deep");
  }
}

void pop() { if (top > 0) top--; }
void pop_n(u32 n) { top = n > top ? 0 : top - n; }
void reset() { top = 0; }
u32 depth() { return top; }

bool find(u32 node) {
  for (u32 i = 0; i < top; i++)
    if (entries[i] == node) return true;
  return false;
}

}  // namespace vyr::cycles
